// The demo's scenes, as an ordinary OpenGL 1.1 program draws them through opengl32, and the
// memory-DC bitmap they are drawn into. The demo, the scene tests and the benchmarks link the
// same library, so the pictures the tests check are the pictures the demo writes.
//
// Every scene draws into the current context at a given size, in window coordinates where it
// can (an orthographic projection of one unit per pixel), so that tests can name the pixels a
// shape must or must not cover. Dithering is off in every scene: the pictures are checked for
// exact arithmetic.
#pragma once
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/opengl32/wgl.h"

namespace kivscenes {

// ---- the bitmap a scene draws into ------------------------------------------------------------

// The header and three colour masks of a 16- or 32-bit DIB section: the layout CreateDIBSection
// reads (a 40-byte header followed by the masks when the compression says bit fields).
struct DibInfo {
    uint32_t size;
    int32_t width, height;  // a negative height is a top-down DIB
    uint16_t planes, bitCount;
    uint32_t compression, sizeImage;
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint32_t clrUsed, clrImportant;
    uint32_t masks[3];
};
static_assert(sizeof(DibInfo) == 52);
constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kDibRgbColors = 0;

// A view of a drawn picture in memory: rows of 16- or 32-bit pixels with their colour masks.
struct Picture {
    const void *bits = nullptr;
    int w = 0, h = 0, pitch = 0, bytesPerPixel = 0;
    bool topDown = true;  // row 0 in memory is the top of the picture
    uint32_t masks[3] = {};

    // The pixel at GL window position (x, y) (y up), as its raw word.
    uint32_t raw(int x, int y) const {
        const int row = topDown ? h - 1 - y : y;
        const uint8_t *p = static_cast<const uint8_t *>(bits) + size_t(row) * pitch + size_t(x) * bytesPerPixel;
        uint32_t v = 0;
        std::memcpy(&v, p, bytesPerPixel);
        return v;
    }
    // One channel (0 red, 1 green, 2 blue) in the buffer's own units, and its largest value.
    int channel(int x, int y, int c) const { return int((raw(x, y) & masks[c]) >> shiftOf(masks[c])); }
    int channelMax(int c) const { return int(masks[c] >> shiftOf(masks[c])); }
    // A colour component in [0, 1] as the buffer stores it, rounded to its nearest value.
    int units(float v, int c) const { return int(std::lround(v * channelMax(c))); }
    // The picture as 8-bit RGB rows, top row first (what an image file wants).
    std::vector<uint8_t> rgb8() const;
    // Memory no scene writes (see BitmapTarget::poison).
    bool untouched(int x, int y) const;
    static int shiftOf(uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }
};

// A memory DC with a top-down DIB section selected, a pixel format set and an OpenGL context
// made current on it. `why` says what was missing when `ok` is false.
class BitmapTarget {
public:
    BitmapTarget(int width, int height) : w(width), h(height) { open(); }
    ~BitmapTarget() { close(); }
    BitmapTarget(const BitmapTarget &) = delete;
    BitmapTarget &operator=(const BitmapTarget &) = delete;

    bool ok = false;
    std::string why;
    int w, h;
    int format = 0;
    bool bitmapFormat = false;  // the format chosen says it draws to bitmaps
    PIXELFORMATDESCRIPTOR pfd{};
    void *bits = nullptr;
    Picture picture;  // the DIB's pixels

    // Fills the bitmap with a word no scene draws, so that untouched memory is recognised.
    void poison();

private:
    HDC screen = nullptr, memdc = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ previous = nullptr;
    HGLRC rc = nullptr;

    bool fail(const std::string &reason);
    bool open();
    void close();
};

// A window on the simulated screen with a double-buffered pixel format and a context made
// current on it: what a windowed program draws into. The display driver's DirectDraw puts its
// buffers in video memory (the chip draws); after swap() the picture is on the screen.
class WindowTarget {
public:
    WindowTarget(int x, int y, int width, int height) : w(width), h(height) { open(x, y); }
    ~WindowTarget() { close(); }
    WindowTarget(const WindowTarget &) = delete;
    WindowTarget &operator=(const WindowTarget &) = delete;

    bool ok = false;
    std::string why;
    int w, h;
    HWND hwnd = nullptr;
    HDC hdc = nullptr;

    bool makeCurrent() { return wglMakeCurrent(hdc, rc) != FALSE; }
    bool swap() { return SwapBuffers(hdc) != FALSE; }
    // The window's client area as the screen shows it (empty when no display drives the screen
    // or the window reaches past the screen's edge).
    Picture onScreen() const;
    // The whole screen.
    static Picture screen();

private:
    HGLRC rc = nullptr;
    bool fail(const std::string &reason);
    bool open(int x, int y);
    void close();
};

// ---- the scenes -------------------------------------------------------------------------------

// One unit per pixel, origin at the bottom left, depth range [-1, 1] mapped from z in [1, -1].
void windowProjection(int w, int h);

void startScene(int w, int h, float r, float g, float b);

void quad(float x0, float y0, float x1, float y1, float z = 0.0f);

// A smooth-shaded triangle: red, green and blue corners over a dark grey clear.
struct Triangle {
    static constexpr float kClear[3] = {0.125f, 0.125f, 0.125f};
    // Corners in window coordinates: bottom left, bottom right, top middle.
    static void corners(int w, int h, float out[3][2]);
    static void draw(int w, int h);
};

// Two quads crossing in depth where they overlap (the band 0.4 h .. 0.6 h): the red one goes from
// near (left) to far (right), the green one the other way, so red must show on the left half of
// the band and green on the right. Green is drawn second: without the depth test it would cover
// the whole band.
struct DepthOrder {
    static constexpr float kClear[3] = {0, 0, 0};
    static void draw(int w, int h);
};

// A lit torus of quad strips: one directional light with diffuse and specular parts, a shiny
// material, a non-uniform scale on the modelview so that GL_NORMALIZE matters, depth-tested.
struct Torus {
    static constexpr float kClear[3] = {0.05f, 0.05f, 0.15f};
    static constexpr int kRings = 40, kSides = 20;
    static constexpr float kMajor = 0.6f, kMinor = 0.25f;
    static void draw(int w, int h);
};

// Overlapping blended quads: red, green and blue, each at half alpha, source-alpha blending over
// a black clear; the top bar is white at a quarter alpha over all three.
struct Blend {
    static constexpr float kClear[3] = {0, 0, 0};
    static constexpr float kAlpha = 0.5f, kBarAlpha = 0.25f;
    // Quads as x0, y0, x1, y1 in fractions of the picture, with their colours, in drawing order.
    static constexpr float kQuads[3][7] = {
        {0.05f, 0.30f, 0.55f, 0.80f, 1, 0, 0},
        {0.25f, 0.05f, 0.75f, 0.55f, 0, 1, 0},
        {0.45f, 0.25f, 0.95f, 0.75f, 0, 0, 1},
    };
    static constexpr float kBar[4] = {0.0f, 0.85f, 1.0f, 0.95f};
    static void draw(int w, int h);
};

// A stencil-masked shape: a disc written into the stencil buffer only, then stripes drawn where
// the stencil is 1 and a plain colour where it is not.
struct Stencil {
    static constexpr float kClear[3] = {0, 0, 0};
    static constexpr float kInside[2][3] = {{1, 0.8f, 0}, {0, 0.4f, 1}};  // stripe colours
    static constexpr float kOutside[3] = {0.3f, 0.3f, 0.3f};
    static constexpr int kStripe = 8;  // stripe height in pixels
    static void disc(int w, int h, float *cx, float *cy, float *r);
    static void draw(int w, int h);
};

// Fog over receding geometry: a chequered floor and a row of posts going into the distance in
// perspective, linear fog towards a pale blue-grey.
struct Fog {
    static constexpr float kFogColor[3] = {0.6f, 0.65f, 0.7f};
    static constexpr float kStart = 2.0f, kEnd = 30.0f;
    static void draw(int w, int h);
};

// Client arrays: a chequered board of flat-shaded quads whose corners and colours come from
// interleaved arrays drawn with glDrawElements, and under it a band drawn as one long triangle
// strip with glDrawArrays (long enough to span several of the driver's batches) with a colour
// array giving every vertex pair its own shade of blue.
struct Arrays {
    static constexpr float kClear[3] = {0, 0, 0};
    static constexpr int kCells = 8;                  // board cells per side
    static constexpr float kBoard[4] = {0.1f, 0.35f, 0.9f, 0.95f};  // x0, y0, x1, y1 in fractions
    static constexpr float kLight[3] = {1, 0.85f, 0.3f}, kDark[3] = {0.2f, 0.1f, 0.5f};
    static constexpr int kBandPairs = 61;              // strip vertices: 2 x 61 = 122
    static constexpr float kBand[4] = {0.05f, 0.08f, 0.95f, 0.28f};
    // The band's colour at pair i: blue rising from left to right.
    static float bandBlue(int i) { return float(i) / (kBandPairs - 1); }
    static bool lightCell(int cx, int cy) { return ((cx + cy) & 1) == 0; }
    static void draw(int w, int h);
};

// Lines and points: a grid of one-pixel lines (GL_LINES), a square outline (GL_LINE_LOOP), a
// zigzag line strip with smooth colours, and a row of square points of growing size.
struct Lines {
    static constexpr float kClear[3] = {0.1f, 0.1f, 0.1f};
    static constexpr float kGrid[3] = {0.3f, 0.8f, 0.3f}, kLoop[3] = {1, 1, 0}, kPoint[3] = {1, 0.4f, 0.4f};
    static constexpr int kGridStep = 10;  // grid lines every 10 pixels in the left half
    static constexpr int kPoints = 5;     // point i has size 2 i + 1
    // The grid covers x in [4, w/2), y in [4, h/2): rows and columns 4 + 10 k.
    static void gridBox(int w, int h, int *x1, int *y1);
    // The outline: pixel rows/columns loop[0..3] = x0, y0, x1, y1 (inclusive) in the right half.
    static void loopBox(int w, int h, int box[4]);
    static void pointCentre(int w, int h, int i, int *x, int *y);
    static void draw(int w, int h);
};

// Textures: an 8 x 8 checkerboard texture of two colours on a window-aligned quad, nearest
// filtered and replacing the fragment colour, so every pixel is one of the two texel colours;
// beside it the same texture modulating a smooth-shaded quad.
struct Texture {
    static constexpr float kClear[3] = {0, 0, 0};
    static constexpr int kTexels = 8;
    static constexpr uint8_t kA[3] = {255, 255, 255}, kB[3] = {200, 40, 40};
    static constexpr float kQuad[4] = {0.05f, 0.1f, 0.45f, 0.9f};   // replace, window-aligned
    static constexpr float kQuad2[4] = {0.55f, 0.1f, 0.95f, 0.9f};  // modulate
    static bool texelA(int s, int t) { return ((s + t) & 1) == 0; }
    static void draw(int w, int h);
    static void texturedQuad(const float q[4], int w, int h, bool shaded);
};

// ---- probes: does the picture show the feature at all? ---------------------------------------
// The demo's quick look at a drawn picture: "" when the scene's feature shows, else why not.
// The scene tests check the same pictures exactly.

// The colour at (x, y) within one buffer unit of (r, g, b) in [0, 1].
bool near(const Picture &t, int x, int y, const float rgb[3], int tolerance = 1);
bool near(const Picture &t, int x, int y, float r, float g, float b, int tolerance = 1);

std::string probeAny(const Picture &t, const float clear[3]);

std::string probeTriangle(const Picture &t);

std::string probeDepth(const Picture &t);

std::string probeTorus(const Picture &t);

std::string probeBlend(const Picture &t);

std::string probeStencil(const Picture &t);

std::string probeFog(const Picture &t);

std::string probeArrays(const Picture &t);

std::string probeLines(const Picture &t);

std::string probeTexture(const Picture &t);

struct Scene {
    const char *name;
    const char *uses;  // what the scene exercises, for the demo's line
    void (*draw)(int w, int h);
    std::string (*probe)(const Picture &t);
};

constexpr int kSceneCount = 9;
extern const Scene kScenes[kSceneCount];

const Scene *findScene(const char *name);


}  // namespace kivscenes
