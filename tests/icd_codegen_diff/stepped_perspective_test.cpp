// Perspective textures at the default hint (GL_DONT_CARE) as a program sees them on a 5-5-5 memory
// DC: s and t are divided by q once per run of 16 pixels and stepped linearly in between, a run
// the row ends inside ending on the row's last pixel. The test draws a texture whose texels number
// their own column, so each pixel shows the texel index its coordinate selected, and checks it
// against s/q computed here in double from the vertices: at every run's first pixel the division
// itself, between the ends the straight line between the two divisions. The fast chain and the
// integer span routine must draw the same picture for the same state, including rows shorter
// than a run. An orthographic quad (q/w the same at every vertex) draws the same picture at every
// hint and shows the exact texel on every road.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "icd/core/drv_exports.h"
#include "tests/common/road_program.h"
#include "tests/common/window_triangle.h"

namespace {

constexpr int kW = 128, kH = 24;  // a power of two wide, so that window x is exact in clip units
constexpr int kTexels = 256;      // texels along s; every row of the texture is the same

enum class Road { Chain, Integer, Mmx, Generic };
const char *nameOf(Road r) {
    switch (r) {
    case Road::Chain: return "fast chain";
    case Road::Integer: return "integer span routine";
    case Road::Mmx: return "MMX allowed";
    default: return "generic rasteriser";
    }
}

// A vertex: window position, clip w, s (over q = 1).
struct Vertex {
    double x, y, w, s;
};
struct Triangle {
    Vertex v[3];
};

using kivtest::Plane;
using kivtest::planeOf;
using kivtest::wellInside;
// u = texels x s/q at a window position: s/w and 1/w are the planes, their ratio s.
double uAt(const Triangle &tri, double x, double y) {
    const Plane sw = planeOf(tri, tri.v[0].s / tri.v[0].w, tri.v[1].s / tri.v[1].w, tri.v[2].s / tri.v[2].w);
    const Plane qw = planeOf(tri, 1 / tri.v[0].w, 1 / tri.v[1].w, 1 / tri.v[2].w);
    return kTexels * sw.at(x, y) / qw.at(x, y);
}


// The texel index a coordinate u selects under GL_REPEAT, or -1 within `margin` of a boundary
// (float arithmetic may put it either side).
int texelAt(double u, double margin) {
    if (std::fabs(u - std::round(u)) < margin) return -1;
    const int i = int(std::floor(u));
    return ((i % kTexels) + kTexels) % kTexels;
}

// The texel index a pixel shows: texel i is red i & 31, green i >> 5 (5-bit fields).
int shownTexel(uint16_t p) { return ((p >> 10) & 31) | ((p >> 5) & 31) << 5; }

uint8_t byteOf5(int i) { return uint8_t(std::lround(i * 255.0 / 31.0)); }

// The numbering texture: 256 x 1 RGB, nearest, repeating, in the environment mode.
void numberTexture(GLenum env) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < kTexels; ++i) {
        bytes.push_back(byteOf5(i & 31));
        bytes.push_back(byteOf5(i >> 5));
        bytes.push_back(byteOf5((i * 7) & 31));
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kTexels, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, bytes.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
}

// Triangles in clip coordinates (window x = (x_c / w + 1) kW / 2), in window depth 0.75, with
// the colours given (white for all three when null).
void drawTriangles(const std::vector<Triangle> &tris, const float (*colours)[3] = nullptr) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    int k = 0;
    for (const Triangle &tri : tris)
        for (const Vertex &v : tri.v) {
            if (colours != nullptr) glColor3fv(colours[k++ % 3]);
            else glColor3f(1, 1, 1);
            glTexCoord4f(float(v.s), 0.5f, 0.0f, 1.0f);
            glVertex4d((v.x * 2 / kW - 1) * v.w, (v.y * 2 / kH - 1) * v.w, 0.5 * v.w, v.w);
        }
    glEnd();
    glPopMatrix();
}

// A wall receding to the right: w 1 on the vertical left edge (the start edge, so every row's
// runs start at x = 0, 16, 32, ...), 4 at the right vertex; the texture three times across.
// Its top and bottom rows are shorter than a run.
const Triangle kWall = {{{0, 0, 1, 0}, {0, kH, 1, 0}, {kW - 1, kH / 2.0, 4, 3}}};
// Small triangles: rows of every length below 16, starting anywhere, walked both ways.
const std::vector<Triangle> kSmall = {
    {{{3.5, 1.25, 1, 0.1}, {17.75, 4.5, 2, 0.9}, {6.125, 11.0625, 1.5, 0.4}}},
    {{{60.5, 20.5, 2, 1.7}, {47.25, 13.5, 1, 0.3}, {58.0, 2.25, 3, 1.1}}},
    {{{90.0, 3.0, 1, 0.2}, {125.5, 9.5, 3, 2.6}, {93.0, 22.0, 2, 0.8}}},
};

class SteppedPerspective : public RoadProgram {
protected:
    void TearDown() override {
        unsetenv("__GL_DISABLE_FAST");
        RoadProgram::TearDown();
    }
    void open(Road r) {
        if (r == Road::Generic) setenv("__GL_DISABLE_FAST", "1", 1);
        else unsetenv("__GL_DISABLE_FAST");
        openRoad(r == Road::Chain ? "1" : "0", r == Road::Mmx ? "1" : "0", kW, kH);
        if (HasFatalFailure()) return;
        describe = reinterpret_cast<decltype(describe)>(GetProcAddress(kivOpenGlDriverModule(), "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
        glDisable(GL_DITHER);
        glClearColor(0, 0, 0, 0);
    }
    std::string line() const {
        std::vector<char> text(512, '\0');
        describe(text.data(), UINT(text.size()));
        return std::string(text.data());
    }
    decltype(&__glDescribeGeneratedCode) describe = nullptr;
};

// The last pixel of row y of a triangle (its centre inside; the wall has no centre on an edge).
int lastPixelOf(const Triangle &tri, int y) {
    for (int x = kW - 1; x >= 0; --x)
        if (wellInside(tri, x + 0.5, y + 0.5, 0.0)) return x;
    return -1;
}

// On the chain and on the integer routine, every pixel of the receding wall shows the texel of
// the straight line between the divisions at its run's ends (16 pixels on, or the row's last
// pixel where the row ends sooner), the division itself at a run's first pixel and at the row's
// last; and somewhere that differs from dividing at the pixel (so the runs do step).
TEST_F(SteppedPerspective, RunEndsDivideAndPixelsBetweenStepLinearly) {
    ASSERT_TRUE(haveIcd()) << "no driver module";
    for (Road r : {Road::Chain, Road::Integer}) {
        SCOPED_TRACE(nameOf(r));
        open(r);
        ASSERT_FALSE(HasFatalFailure());
        glClear(GL_COLOR_BUFFER_BIT);
        numberTexture(GL_REPLACE);
        glEnable(GL_TEXTURE_2D);
        drawTriangles({kWall});
        const std::vector<uint16_t> got = pixels();
        if (r == Road::Integer) {
            EXPECT_NE(line().find("one-routine span routine"), std::string::npos) << line();
        }
        int judged = 0, ends = 0, rowEnds = 0, wrong = 0, steppedApart = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                if (!wellInside(kWall, cx, cy, 0.01)) continue;
                const int start = x & ~15, k = x & 15, end = std::min(start + 16, lastPixelOf(kWall, y));
                const double u0 = uAt(kWall, start + 0.5, cy), u1 = uAt(kWall, end + 0.5, cy);
                const double line = end == start ? u0 : u0 + (u1 - u0) * k / (end - start);
                const int want = texelAt(line, 2e-3);
                if (want < 0) continue;
                const int shown = shownTexel(got[size_t(y * kW + x)]);
                ++judged;
                ends += k == 0;
                rowEnds += x == end && end - start < 16;
                const int exact = texelAt(uAt(kWall, cx, cy), 2e-3);
                if (exact >= 0 && exact != want && shown == want) ++steppedApart;
                if (shown != want && ++wrong <= 4)
                    ADD_FAILURE() << "pixel " << x << "," << y << " shows texel " << shown << ", the run's line gives "
                                  << line << " (the division at the pixel " << uAt(kWall, cx, cy) << ")";
            }
        EXPECT_GT(judged, 1000);
        EXPECT_GT(ends, 60);
        EXPECT_GT(rowEnds, 10);
        EXPECT_EQ(wrong, 0) << "of " << judged;
        EXPECT_GT(steppedApart, 20) << "pixels where stepping and dividing pick different texels";
    }
}

// The chain and the integer routine draw the same picture for the same state at the default
// hint: replaced and modulated (smooth, dithered), with nearer bars the depth test keeps, the
// wall and triangles whose rows are shorter than a run.
TEST_F(SteppedPerspective, ChainAndIntegerRoutineDrawTheSamePicture) {
    ASSERT_TRUE(haveIcd()) << "no driver module";
    struct State {
        GLenum env;
        bool dither, depth;
    };
    const State states[] = {{GL_REPLACE, false, false}, {GL_REPLACE, true, true}, {GL_MODULATE, false, true},
                            {GL_MODULATE, true, false}};
    constexpr float kColours[3][3] = {{1.0f, 0.9f, 0.2f}, {0.1f, 0.3f, 0.9f}, {0.6f, 1.0f, 0.5f}};
    std::vector<Triangle> tris = kSmall;
    tris.push_back(kWall);
    std::vector<std::vector<uint16_t>> pictures[2];
    for (Road r : {Road::Chain, Road::Integer}) {
        open(r);
        ASSERT_FALSE(HasFatalFailure());
        for (const State &k : states) {
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            glDisable(GL_TEXTURE_2D);
            if (k.dither) glEnable(GL_DITHER);
            else glDisable(GL_DITHER);
            if (k.depth) {
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(GL_LESS);
                glShadeModel(GL_FLAT);
                glColor3f(0.9f, 0.8f, 0.1f);
                for (int x0 : {9, 40, 77, 101}) glRectf(float(x0), 0, float(x0 + 1 + x0 % 4), kH);
            } else {
                glDisable(GL_DEPTH_TEST);
            }
            glShadeModel(GL_SMOOTH);
            numberTexture(k.env);
            glEnable(GL_TEXTURE_2D);
            drawTriangles(tris, kColours);
            pictures[r == Road::Chain ? 0 : 1].push_back(pixels());
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            if (r == Road::Integer) {
                EXPECT_NE(line().find("one-routine span routine"), std::string::npos) << line();
            }
        }
    }
    for (size_t i = 0; i < std::size(states); ++i) {
        SCOPED_TRACE(::testing::Message() << "state " << i);
        int differing = 0;
        for (size_t p = 0; p < pictures[0][i].size(); ++p)
            if (pictures[0][i][p] != pictures[1][i][p] && differing++ < 3)
                ADD_FAILURE() << "(" << p % kW << "," << p / kW << "): chain " << std::hex << pictures[0][i][p]
                              << ", integer routine " << pictures[1][i][p];
        EXPECT_EQ(differing, 0);
    }
}

// A quad facing the viewer (w and q 1 at every vertex) maps the texture affinely: under the hints
// that ask for perspective, on every road (with MMX allowed, through the MMX routine chosen for
// the state), each pixel shows the texel its centre lies in and both give the same picture; a
// trilinear modulated texture (perspective under every hint, its filters differing) gives the
// same picture under all three. (GL_FASTEST with equal filters steps s and t in fixed point from
// the set-up and is not held to the texel here.)
TEST_F(SteppedPerspective, AnOrthographicQuadIsTheSameAtEveryHintAndOnEveryRoad) {
    ASSERT_TRUE(haveIcd()) << "no driver module";
    // s from 0.1 to 2.9 across 120 pixels: 5.973 texels a pixel, no centre near a boundary.
    const Triangle quad[2] = {{{{4, 2, 1, 0.1}, {124, 2, 1, 2.9}, {124, 22, 1, 2.9}}},
                              {{{4, 2, 1, 0.1}, {124, 22, 1, 2.9}, {4, 22, 1, 0.1}}}};
    const GLenum hints[] = {GL_FASTEST, GL_DONT_CARE, GL_NICEST};
    for (Road r : {Road::Chain, Road::Integer, Road::Mmx, Road::Generic}) {
        SCOPED_TRACE(nameOf(r));
        open(r);
        ASSERT_FALSE(HasFatalFailure());
        std::vector<uint16_t> numbered[3], trilinear[3];
        for (int h = 0; h < 3; ++h) {
            glHint(GL_PERSPECTIVE_CORRECTION_HINT, hints[h]);
            glClear(GL_COLOR_BUFFER_BIT);
            numberTexture(GL_REPLACE);
            glEnable(GL_TEXTURE_2D);
            drawTriangles({quad[0], quad[1]});
            numbered[h] = pixels();
            // The MMX routine takes the state at the default hint, and hands the quad on itself.
            if (r == Road::Mmx && hints[h] == GL_DONT_CARE) {
                EXPECT_NE(line().find("MMX span routine"), std::string::npos) << line();
            }
            // 64 x 64 mipmaps of changing texels, modulated by smooth colour, dithered.
            glClear(GL_COLOR_BUFFER_BIT);
            glEnable(GL_DITHER);
            for (int level = 0, size = 64; size >= 1; ++level, size /= 2) {
                std::vector<uint8_t> rgba(size_t(size * size * 4));
                for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = uint8_t(i * 37 + level * 91 + 5);
                glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            }
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            constexpr float kColours[3][3] = {{1.0f, 0.9f, 0.2f}, {0.1f, 0.3f, 0.9f}, {0.6f, 1.0f, 0.5f}};
            drawTriangles({quad[0], quad[1]}, kColours);
            trilinear[h] = pixels();
            glDisable(GL_DITHER);
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        }
        int judged = 0, wrong = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double cx = x + 0.5, cy = y + 0.5;
                if (!wellInside(quad[0], cx, cy, 0.01) && !wellInside(quad[1], cx, cy, 0.01)) continue;
                const int want = texelAt(uAt(quad[0], cx, cy), 1e-3);
                if (want < 0) continue;
                ++judged;
                for (int h = 1; h < 3; ++h) {
                    const int shown = shownTexel(numbered[h][size_t(y * kW + x)]);
                    if (shown != want && ++wrong <= 4)
                        ADD_FAILURE() << "hint " << std::hex << hints[h] << std::dec << ": pixel " << x << "," << y
                                      << " shows texel " << shown << ", its centre lies in " << want;
                }
            }
        EXPECT_GT(judged, 1500);
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(numbered[2], numbered[1]) << "numbering texture, GL_NICEST against GL_DONT_CARE";
        for (int h = 1; h < 3; ++h)
            EXPECT_EQ(trilinear[h], trilinear[0]) << "trilinear texture, hint " << std::hex << hints[h];
    }
}

}  // namespace
