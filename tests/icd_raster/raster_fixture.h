// A context made through the driver, with software colour buffers attached to plain memory of a
// chosen pixel layout.
#pragma once
#include <cstring>
#include <vector>
#include "tests/icd_core/icd_fixture.h"
#include "icd/raster/raster.h"

struct PixelLayout {
    const char *name;
    int bytes;
    int colorBits;
    uint32_t red, green, blue, alpha;
};
inline const PixelLayout kR3G3B2{"R3G3B2", 1, 8, 0xE0, 0x1C, 0x03, 0};
inline const PixelLayout kX1R5G5B5{"X1R5G5B5", 2, 16, 0x7C00, 0x03E0, 0x001F, 0};
inline const PixelLayout kR5G6B5{"R5G6B5", 2, 16, 0xF800, 0x07E0, 0x001F, 0};
inline const PixelLayout kB8G8R8{"B8G8R8", 3, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0};
inline const PixelLayout kX8R8G8B8{"X8R8G8B8", 4, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
inline const PixelLayout kA8R8G8B8{"A8R8G8B8", 4, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000};

// The ordered-dither matrix every dithering store must use, indexed [y & 3][x & 3]. Written out
// here rather than read from the driver's table, so that a permuted or transposed table fails.
constexpr int kDitherMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

constexpr int kBias = 6144;  // window coordinates of buffer pixel (0, 0)

// Plain memory behind one buffer descriptor, with hooks that count their calls.
struct PlainMemory {
    GlBufferDescriptor desc{};
    std::vector<uint8_t> bytes;
    int locks = 0, unlocks = 0, fills = 0;
    bool refuseLock = false;
    uint32_t fillPixel = 0;
    int32_t fillRect[4] = {};
    int32_t resizedWidth = 0;

    static PlainMemory *of(GlBufferDescriptor *d) { return static_cast<PlainMemory *>(d->privateData); }
    static BOOL lock(GlBufferDescriptor *d, GlDrawableBuffers *) {
        PlainMemory *m = of(d);
        ++m->locks;
        return !m->refuseLock;
    }
    static void unlock(GlBufferDescriptor *d, GlDrawableBuffers *) { ++of(d)->unlocks; }
    static void fill(GlBufferDescriptor *d, GlDrawableBuffers *, uint32_t pixel, int32_t x, int32_t y, int32_t w,
                     int32_t h) {
        PlainMemory *m = of(d);
        ++m->fills;
        m->fillPixel = pixel;
        int32_t r[4] = {x, y, w, h};
        std::memcpy(m->fillRect, r, sizeof r);
    }
    static int32_t resize(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t w, int32_t h, uint32_t) {
        PlainMemory *m = of(d);
        m->resizedWidth = w;
        d->width = w;
        d->height = h;
        return 1;
    }

    void setUp(int width, int height, int elementSize, int pad = 0) {
        int pitch = ((width + pad) * elementSize + 3) & ~3;
        bytes.assign(size_t(pitch) * height + 16, 0);
        locks = unlocks = fills = 0;
        refuseLock = false;
        desc = {};
        desc.width = width;
        desc.height = height;
        desc.bits = elementSize * 8;
        desc.base = bytes.data();
        desc.size = uint32_t(bytes.size());
        desc.elementSize = elementSize;
        desc.pitchBytes = pitch;
        desc.storage = bytes.data();
        desc.lock = lock;
        desc.unlock = unlock;
        desc.resize = resize;
        desc.privateData = this;
    }
    uint8_t *at(int x, int y) { return desc.base + y * desc.pitchBytes + x * desc.elementSize; }
    uint32_t element(int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, at(x, y), size_t(desc.elementSize));
        return v;
    }
    void setElement(int x, int y, uint32_t v) { std::memcpy(at(x, y), &v, size_t(desc.elementSize)); }
};

class RasterTest : public IcdTest {
protected:
    TestWindow *window = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;
    PlainMemory front, back;

    void SetUp() override {
        IcdTest::SetUp();
        window = new TestWindow(kSingleFormat);
        handle = DrvCreateContext(window->hdc);
        ctx = contextOf(handle);
        ASSERT_NE(ctx, nullptr);
    }
    void TearDown() override {
        DrvDeleteContext(handle);
        delete window;
        IcdTest::TearDown();
    }

    GlRasterState &raster() { return ctx->state.span.raster; }
    GlRasterInputs &inputs() { return ctx->state.span.inputs; }
    GlStageList &spanList() { return ctx->state.span.spanList; }
    GlColorBuffers &colors() { return ctx->buffers.color; }
    GlFogState &fog() { return ctx->state.fog; }
    float *clearColor() { return ctx->state.color.clearColor; }
    void colorMaskOff(int channel) { ctx->state.color.colorMask[channel] = 0; }
    // The clip box in buffer coordinates (x1, y1 exclusive).
    void setClipBox(int x0, int y0, int x1, int y1) {
        GlTransformState &t = ctx->state.transform;
        t.clipBoxX0 = kBias + x0;
        t.clipBoxY0 = kBias + y0;
        t.clipBoxX1 = kBias + x1;
        t.clipBoxY1 = kBias + y1;
    }

    void setVisual(const PixelLayout &f) {
        GlVisual &v = ctx->visual;
        v.rgbaMode = 1;
        v.colorIndexMode = 0;
        v.redMask = f.red;
        v.greenMask = f.green;
        v.blueMask = f.blue;
        v.alphaMask = f.alpha;
        v.alphaBits = f.alpha ? 8 : 0;
        v.colorBits = f.colorBits;
    }

    // Sets the visual, builds and attaches the front buffer (and the back one when asked), makes
    // the front buffer the draw buffer over the whole drawable, and validates it.
    GlColorBuffer *attach(const PixelLayout &f, int width = 16, int height = 8, bool withBack = false) {
        setVisual(f);
        front.setUp(width, height, f.bytes);
        GlColorBuffer *cb = &colors().front;
        __glInitRgbaColorBuffer(cb, ctx);
        cb->head.attach(&cb->head, &front.desc, ctx);
        colors().frontBuffer = cb;
        colors().drawColorBuffer = cb;
        if (withBack) {
            back.setUp(width, height, f.bytes);
            __glInitRgbaColorBuffer(&colors().back, ctx);
            colors().back.head.attach(&colors().back.head, &back.desc, ctx);
        }
        ctx->state.mode.drawBuffer = GL_FRONT;
        ctx->state.mode.logicOp = GL_COPY;
        setClipBox(0, 0, width, height);
        std::memset(ctx->state.color.colorMask, 1, 4);
        std::memset(ctx->state.color.clearColor, 0, sizeof ctx->state.color.clearColor);
        inputs().scissorCoversViewport = 1;
        raster().shadeFlags = kGlShadeRgba;
        validate();
        return cb;
    }
    void validate() {
        GlColorBuffer *cb = &colors().front;
        cb->pick(ctx, cb);
        if (colors().back.head.context != nullptr) colors().back.pick(ctx, &colors().back);
        __glPickSpanProcs(ctx);
    }
    void store(int x, int y, float r, float g, float b, float a = 0.0f) {
        GlColorBuffer *cb = colors().drawColorBuffer;
        GlFragment f{kBias + x, kBias + y, 0, {r, g, b, a}};
        cb->storePixel(cb, &f);
    }
    // Sets up one span of n pixels at buffer (x, y) with the given colours.
    void span(int x, int y, int n, const float (*rgba)[4] = nullptr) {
        GlRasterState &rs = raster();
        rs.spanX = kBias + x;
        rs.spanY = kBias + y;
        rs.spanLength = n;
        if (rgba != nullptr) std::memcpy(rs.fragmentColors, rgba, size_t(n) * 16);
    }
};

// The front buffer over `memory` (w x h, `bytes` a pixel), made the front buffer, the drawable's
// first two descriptors carrying the size: the way the program-level tests set it up.
inline void attachPlainFront(GlContext *ctx, PlainMemory &memory, int w, int h, int bytes) {
    memory.setUp(w, h, bytes);
    GlColorBuffer *cb = &ctx->buffers.color.front;
    __glInitRgbaColorBuffer(cb, ctx);
    cb->head.attach(&cb->head, &memory.desc, ctx);
    ctx->buffers.color.frontBuffer = cb;
    for (int i = 0; i < 2; ++i) {
        ctx->tail.drawableBuffers->descriptors[i].width = w;
        ctx->tail.drawableBuffers->descriptors[i].height = h;
    }
}

// A context drawing into a front buffer of 32-bit xRGB pixels over `memory` (w x h).
inline void attachPlainRgb32Front(GlContext *ctx, PlainMemory &memory, int w, int h) {
    GlVisual &v = ctx->visual;
    v.rgbaMode = 1;
    v.colorIndexMode = 0;
    v.redMask = 0xFF0000;
    v.greenMask = 0x00FF00;
    v.blueMask = 0x0000FF;
    v.alphaMask = 0;
    v.alphaBits = 0;
    v.colorBits = 32;
    attachPlainFront(ctx, memory, w, h, 4);
}

// A software depth buffer of `bits` (16, 24 or 32) over `memory` (w x h), the visual saying so.
inline void attachPlainDepth(GlContext *ctx, PlainMemory &memory, int w, int h, int bits) {
    ctx->visual.depthBits = bits;
    GlDepthBuffer *db = &ctx->buffers.depth;
    if (bits == 16) __glInitDepthBuffer16(db, ctx);
    else if (bits == 24) __glInitDepthBuffer24(db, ctx);
    else __glInitDepthBuffer32(db, ctx);
    memory.setUp(w, h, bits == 16 ? 2 : 4);
    db->head.attach(&db->head, &memory.desc, ctx);
}

// An 8-bit software stencil buffer over `memory` (w x h), the visual saying so.
inline void attachPlainStencil(GlContext *ctx, PlainMemory &memory, int w, int h) {
    ctx->visual.hasStencil = 1;
    ctx->visual.stencilBits = 8;
    GlStencilBuffer *sb = &ctx->buffers.stencil;
    __glInitSoftStencilBuffer(sb, ctx);
    memory.setUp(w, h, 1);
    sb->head.attach(&sb->head, &memory.desc, ctx);
}

// The fast path's two 16-bit layouts: name, channel masks and the green channel's width.
struct Rgb16Format {
    const char *name;
    uint32_t redMask, greenMask, blueMask;
    int greenBits;
};
inline constexpr Rgb16Format kRgb16Formats[] = {{"R5G6B5", 0xF800, 0x07E0, 0x001F, 6},
                                                {"X1R5G5B5", 0x7C00, 0x03E0, 0x001F, 5}};

// A 16-bit RGB visual without alpha: 5-bit red and blue, `greenBits` green, at the masks given,
// the context's channel maxima following it (the texture environment colour is kept in them).
inline void setRgb16Visual(GlContext *ctx, uint32_t redMask, uint32_t greenMask, uint32_t blueMask, int greenBits) {
    GlVisual &v = ctx->visual;
    v.rgbaMode = 1;
    v.colorIndexMode = 0;
    v.redMask = redMask;
    v.greenMask = greenMask;
    v.blueMask = blueMask;
    v.alphaMask = 0;
    v.alphaBits = 0;
    v.redBits = 5;
    v.greenBits = greenBits;
    v.blueBits = 5;
    v.colorBits = 16;
    GlColorScales &sc = ctx->scales;
    sc.redMaxOverScale = 31.0f / sc.redScale;
    sc.greenMaxOverScale = float((1 << greenBits) - 1) / sc.greenScale;
    sc.blueMaxOverScale = 31.0f / sc.blueScale;
}

// A picture drawn whole against the same picture under a polygon stipple (which sends its chunks
// down the chain's pixel loops): every pixel the stipple kept has the colour the whole picture has
// there, and at least minKept pixels were kept.
inline void expectStippledMatchesWhole(const std::vector<uint32_t> &whole, const std::vector<uint32_t> &stippled, int side,
                                       int minKept) {
    int kept = 0, differing = 0;
    size_t first = 0;
    for (size_t i = 0; i < whole.size() && i < stippled.size(); ++i) {
        if (stippled[i] == 0) continue;
        ++kept;
        if (stippled[i] != whole[i] && differing++ == 0) first = i;
    }
    EXPECT_EQ(differing, 0) << "first at " << first % size_t(side) << ", " << first / size_t(side);
    EXPECT_GT(kept, minKept);
}
