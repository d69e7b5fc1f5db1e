// Colour-index buffers at proc level (no visual the display offers has indices): stores with
// dither, logic op and index mask for 1-, 2- and 4-byte indices, fetches, span stores, the three
// clears, and the coverage an antialiased triangle writes into an index.
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/index_buffer.h"
#include "icd/core/pick.h"
#include "icd/core/services.h"
#include "icd/vertex/vertex.h"

namespace {

class IndexTest : public RasterTest {
protected:
    GlColorBuffer *cb = nullptr;

    // An index buffer of `bits` (8, 16 or 32) over w x h plain memory, drawn into, whole box.
    GlColorBuffer *build(int bits, int w = 16, int h = 8, int pad = 0) {
        GlVisual &v = ctx->visual;
        v.rgbaMode = 0;
        v.colorIndexMode = 1;
        v.colorBits = v.indexBits = bits;
        front.setUp(w, h, bits / 8, pad);
        cb = &colors().front;
        *cb = GlColorBuffer{};
        __glInitColorIndexBuffer(cb, ctx);
        cb->head.attach(&cb->head, &front.desc, ctx);
        colors().frontBuffer = colors().drawColorBuffer = colors().readColorBuffer = cb;
        ctx->state.mode.drawBuffer = GL_FRONT;
        ctx->state.mode.logicOp = GL_COPY;
        ctx->state.color.indexMask = 0xFFFFFFFFu;
        ctx->state.color.clearIndex = 0.0f;
        setClipBox(0, 0, w, h);
        useFlags(0);
        return cb;
    }
    void useFlags(uint32_t flags) {
        raster().shadeFlags = flags;
        cb->pick(ctx, cb);
        __glPickSpanProcs(ctx);
    }
    void put(int x, int y, float index) {
        GlFragment f{kBias + x, kBias + y, 0, {index, 0, 0, 0}};
        cb->storePixel(cb, &f);
    }
    float fetch(int x, int y) {
        float out[4] = {-1, -1, -1, -1};
        cb->fetchPixel(cb, kBias + x, kBias + y, out);
        return out[0];
    }
};

// (2B + 1) / 32 added before truncation: x.5 rounds up where B >= 8.
uint32_t dithered(float index, int x, int y) { return uint32_t(index + (2 * kDitherMatrix[y & 3][x & 3] + 1) / 32.0f); }

TEST_F(IndexTest, StoresAndFetchesAtEveryDepthWithMasksAndLogicOps) {
    struct Case {
        int bits;
        uint32_t glMask, old, expect;  // index 0x123456.25 stored over old
    } cases[] = {
        {8, 0xFFFFFFFF, 0x00, 0x56},         {8, 0x0F, 0xA0, 0xA6},
        {16, 0xFFFFFFFF, 0x0000, 0x3456},    {16, 0x0FF0, 0xFFFF, 0xF45F},
        {32, 0xFFFFFFFF, 0, 0x123456},       {32, 0xFFFF0000, 0xABCDEF01, 0x0012EF01},
    };
    for (const Case &c : cases) {
        build(c.bits);
        ctx->state.color.indexMask = c.glMask;
        useFlags(0);
        EXPECT_EQ(cb->formatCode, c.bits == 8 ? kGlFormatIndex8 : kGlFormatNone);
        front.setElement(3, 2, c.old);
        put(3, 2, float(0x123456) + 0.25f);
        EXPECT_EQ(front.element(3, 2), c.expect) << c.bits << " " << c.glMask;
        EXPECT_EQ(fetch(3, 2), float(c.expect)) << c.bits;
        EXPECT_EQ(front.element(4, 2), 0u);
    }

    build(8);
    ctx->state.mode.logicOp = GL_XOR;
    useFlags(kGlShadeLogicOp);
    front.setElement(1, 1, 0x0F);
    put(1, 1, 0x3C);
    EXPECT_EQ(front.element(1, 1), 0x33u);

    // GL_NONE: nothing is written.
    ctx->state.mode.drawBuffer = GL_NONE;
    useFlags(0);
    put(2, 1, 9);
    EXPECT_EQ(front.element(2, 1), 0u);
}

TEST_F(IndexTest, DitheredStoresAndSpans) {
    build(8);
    useFlags(kGlShadeDither);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            put(x, y, 3.5f);
            EXPECT_EQ(front.element(x, y), kDitherMatrix[y][x] >= 8 ? 4u : 3u) << x << "," << y;
        }

    // Spans of 40 pixels: two mask words.
    build(8, 48, 8);
    float colours[40][4] = {};
    for (int i = 0; i < 40; ++i) colours[i][0] = float(100 + i);
    raster().targetColorBuffer = cb;
    raster().maskWords[0] = 0xAAAAAAAAu;  // every other pixel of the first 32
    raster().maskWords[1] = 0x80000000u;  // pixel 32
    span(0, 5, 40, colours);
    cb->storeSpanMasked(ctx);
    for (int i = 0; i < 40; ++i) {
        const bool live = i < 32 ? (i % 2 == 0) : i == 32;
        EXPECT_EQ(front.element(i, 5), live ? uint32_t(100 + i) : 0u) << i;
    }
    cb->storeSpan(ctx);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(front.element(i, 5), uint32_t(100 + i));
}

TEST_F(IndexTest, ClearsChooseTheirRoutineAndStayInTheBox) {
    struct Case {
        int bits;
        uint32_t glMask;
        bool dither;
        void (*expect)(GlColorBuffer *);
    } cases[] = {
        {8, 0xFFFFFFFF, false, __glClearIndexBufferFast},   {8, 0xFFFFFFFF, true, __glClearIndexBufferDitheredFast},
        {8, 0x0F, false, __glClearIndexBuffer},             {16, 0xFFFFFFFF, false, __glClearIndexBuffer},
        {32, 0xFFFFFFFF, true, __glClearIndexBuffer},
    };
    // 5.25 is raised where B >= 12 only, which tells the matrix from its transpose.
    for (const float index : {5.5f, 5.25f}) {
        for (const Case &c : cases) {
            // An odd row pitch and box start put the rows at every alignment.
            build(c.bits, 21, 8, 1);
            ctx->state.color.indexMask = c.glMask;
            ctx->state.color.clearIndex = index;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 21; ++x) front.setElement(x, y, 0xF0);
            useFlags(c.dither ? kGlShadeDither : 0);
            EXPECT_EQ(cb->clear, c.expect) << c.bits << " " << c.glMask << " " << c.dither;
            setClipBox(1, 1, 20, 7);
            __glClearBuffer(ctx, kGlBufferFront);
            const uint32_t keep = 0xF0 & ~c.glMask;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 21; ++x) {
                    const bool in = x >= 1 && x < 20 && y >= 1 && y < 7;
                    // The dithered fast clear rounds index + (B - 7.5) / 16 to nearest; at x.5 that
                    // is the stores' rule: up where B >= 8.
                    // The plain block fill takes the integer part; the per-pixel clear stores
                    // through the store, which rounds.
                    const uint32_t v = c.dither ? dithered(index, x, y)
                                                : (c.expect == __glClearIndexBufferFast ? 5u : uint32_t(index + 0.5f));
                    const uint32_t expect = in ? ((v & c.glMask) | keep) : 0xF0u;
                    EXPECT_EQ(front.element(x, y), expect) << index << " " << c.bits << " at " << x << "," << y;
                }
        }
    }
    // A refused lock writes nothing.
    build(8);
    ctx->state.color.clearIndex = 9.0f;
    front.refuseLock = true;
    __glClearBuffer(ctx, kGlBufferFront);
    EXPECT_EQ(front.element(0, 0), 0u);
}

TEST_F(IndexTest, AntialiasedTriangleEdgesCarryCoverageInTheLowBits) {
    build(8, 32, 16);
    GlFragmentProcs &fp = ctx->state.span.fragment;
    fp.store = __glStoreFragment;
    fp.storeColor = cb->storePixel;
    ctx->arrays.vertexBuffer.provokingVertex = nullptr;
    // A vertical edge a quarter pixel right of the centres of column 10: one of four sample
    // columns inside.
    GlVertex v[3] = {};
    const float pos[3][2] = {{10.75f, 2.0f}, {20.0f, 7.0f}, {10.75f, 12.0f}};
    for (int i = 0; i < 3; ++i) {
        v[i].window[0] = kBias + 0.5f + pos[i][0];
        v[i].window[1] = kBias + 0.5f + pos[i][1];
        v[i].frontColor[0] = 16.0f;
        v[i].color = v[i].frontColor;
    }
    __glRenderTriangleAntiAlias(ctx, &v[0], &v[1], &v[2]);
    EXPECT_EQ(front.element(10, 7), 20u);  // 16 | (0.25 x 15 + 0.5)
    EXPECT_EQ(front.element(9, 7), 0u);
    EXPECT_EQ(front.element(12, 7), 16u);  // interior: the span store writes the index itself
    EXPECT_EQ(v[0].frontColor[0], 16.0f);
}

TEST_F(IndexTest, AFullMaskByteClearGoesToTheDeviceFillWithoutALock) {
    build(8);
    front.desc.fill = PlainMemory::fill;
    ctx->state.color.clearIndex = 5.75f;
    useFlags(0);
    setClipBox(1, 2, 4, 7);
    __glClearBuffer(ctx, kGlBufferFront);
    EXPECT_EQ(front.fills, 1);
    EXPECT_EQ(front.locks, 0);
    EXPECT_EQ(front.fillPixel, 5u);  // the integer part
    const int32_t rect[4] = {1, 2, 3, 5};  // buffer coordinates, width and height
    for (int i = 0; i < 4; ++i) EXPECT_EQ(front.fillRect[i], rect[i]) << i;
}

int32_t twoClipRects(GlContext *, const RECT **rects) {
    static const RECT r[2] = {{0, 0, 8, 4}, {10, 0, 16, 8}};
    *rects = r;
    return 2;
}

TEST_F(IndexTest, AClippedClearWritesTheClipRectanglesCutToTheClearBox) {
    for (bool dither : {false, true}) {
        build(8);
        inputs().clipRects = twoClipRects;
        ctx->state.color.clearIndex = 7.5f;
        useFlags(kGlShadeFrontClip | (dither ? kGlShadeDither : 0));
        setClipBox(2, 1, 12, 6);
        __glClearBuffer(ctx, kGlBufferFront);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const bool inRect = (x < 8 && y < 4) || x >= 10;
                const bool inBox = x >= 2 && x < 12 && y >= 1 && y < 6;
                const uint32_t v = dither ? dithered(7.5f, x, y) : 7u;
                ASSERT_EQ(front.element(x, y), inRect && inBox ? v : 0u) << dither << " " << x << "," << y;
            }
        EXPECT_EQ(front.locks, 1);
        EXPECT_EQ(front.unlocks, 1);
    }
}

}  // namespace
