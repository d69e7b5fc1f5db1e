// Spans through the stage list with the stencil and depth stages: which pixels are drawn, the
// depth values and stencil values left behind, the masked twins after a scissor, and the clamped
// runs of polygon offset.
#include <vector>
#include "tests/icd_depth/depth_fixture.h"

namespace {

constexpr uint32_t kRed = 0xC80000;  // spanColor 200, 0, 0 in X8R8G8B8

class DepthSpanTest : public DepthTest {
protected:
    // Expected value of pixel i: exact at every word start, + (zStep >> shift) within a word.
    uint32_t valueAt(uint32_t z, int32_t zStep, int i) {
        uint32_t word = z + uint32_t(i / 32) * (uint32_t(zStep) << 5);
        return db().epochBase + (word >> db().shift) + uint32_t(i % 32) * uint32_t(zStep >> db().shift);
    }
    void run() { spanList().runner(ctx); }
};

TEST_F(DepthSpanTest, DepthTestDrawsAndWritesThePassingPixels) {
    for (bool scissor : {false, true}) {
        SCOPED_TRACE(scissor ? "after a scissor (masked)" : "unmasked");
        build(16, 48, 2);
        std::vector<uint32_t> stored(40);
        for (int i = 0; i < 40; ++i) depthMem.setElement(i, 1, stored[i] = (i % 3 == 0) ? 0 : 0xFFFF);
        inputs().scissorCoversViewport = scissor ? 0 : 1;
        if (scissor) setClipBox(5, 0, 48, 2);
        useFlags(kGlShadeDepthTest);
        const uint32_t z = 0x40000000u;
        const int32_t step = 0x18000;  // 1.5 units: the within-word step rounds down to 1
        spanAt(0, 1, 40, z, step);
        run();
        for (int i = 0; i < 40; ++i) {
            bool live = !scissor || i >= 5;
            bool pass = live && valueAt(z, step, i) < stored[i];
            EXPECT_EQ(colorAt(i, 1), pass ? kRed : 0u) << i;
            EXPECT_EQ(depthMem.element(i, 1), pass ? valueAt(z, step, i) : stored[i]) << i;
        }
        EXPECT_EQ(depthMem.element(32, 1), (z + (uint32_t(step) << 5)) >> 16) << "exact again at the word start";
    }
}

TEST_F(DepthSpanTest, WritesOffAndAlwaysRejectNothingAndLeaveDepth) {
    build(32, 40, 1);
    mode().depthFunc = GL_ALWAYS;
    ctx->state.depthStencil.depthWriteMask = 0;
    __glUpdateDepthEpoch(&db());
    useFlags(kGlShadeDepthTest);
    spanAt(0, 0, 40, 0x1234, 0);
    raster().depthAddress = nullptr;  // never read
    EXPECT_EQ(__glSpanDepthTest(ctx), 0);
    spanAt(0, 0, 40, 0x1234, 0);
    run();
    for (int i = 0; i < 40; ++i) EXPECT_EQ(colorAt(i, 0), kRed);
    EXPECT_EQ(depthMem.element(7, 0), 0u);
}

TEST_F(DepthSpanTest, DepthAndStencilApplyTheDepthPassAndDepthFailOperations) {
    build(16, 40, 1);
    mode().stencilFunc = GL_ALWAYS;
    mode().stencilFail = GL_KEEP;
    mode().stencilDepthFail = GL_INCR;
    mode().stencilDepthPass = GL_REPLACE;
    ctx->state.depthStencil.stencilRef = 7;
    for (int i = 0; i < 40; ++i) {
        depthMem.setElement(i, 0, i < 20 ? 0 : 0xFFFF);
        *stencilMem.at(i, 0) = uint8_t(i);
    }
    useFlags(kGlShadeDepthTest | kGlShadeStencilTest);
    spanAt(0, 0, 40, 0x10000000u, 0);
    run();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(*stencilMem.at(i, 0), i < 20 ? i + 1 : 7) << i;
        EXPECT_EQ(colorAt(i, 0), i < 20 ? 0u : kRed) << i;
    }
    // GL_NEVER with stencil: every pixel takes the depth-fail operation; nothing is drawn.
    mode().depthFunc = GL_NEVER;
    __glUpdateDepthEpoch(&db());
    useFlags(kGlShadeDepthTest | kGlShadeStencilTest);
    front.bytes.assign(front.bytes.size(), 0);
    spanAt(0, 0, 40, 0x10000000u, 0);
    run();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(*stencilMem.at(i, 0), i < 20 ? i + 2 : 8) << i;
        EXPECT_EQ(colorAt(i, 0), 0u);
    }
    // Without stencil, GL_NEVER draws nothing and runs no stage at all.
    useFlags(kGlShadeDepthTest);
    EXPECT_EQ(reinterpret_cast<void *>(spanList().runner), reinterpret_cast<void *>(__glNopProc));
}

TEST_F(DepthSpanTest, StencilValueMaskAppliesInBothForms) {
    build(16, 8, 1);
    mode().stencilFunc = GL_EQUAL;
    mode().stencilValueMask = 0x0F;
    mode().stencilFail = GL_ZERO;
    ctx->state.depthStencil.stencilRef = 5;
    pickAll();
    const uint8_t values[8] = {5, 0x15, 0xF5, 6, 5, 0x25, 0x04, 0x35};
    for (bool masked : {false, true}) {
        for (int i = 0; i < 8; ++i) *stencilMem.at(i, 0) = values[i];
        spanAt(0, 0, 8, 0);
        raster().maskWords[0] = masked ? 0xEF000000u : 0;  // pixel 3 already dead in the masked run
        uint8_t r = masked ? __glSpanStencilTestMasked(ctx) : __glSpanStencilTest(ctx);
        EXPECT_EQ(r, masked ? 0 : 1) << "the unmasked form reports rejections, the masked one an empty span";
        EXPECT_EQ(raster().maskWords[0] & 0xFF000000u, 0xED000000u);
        EXPECT_EQ(*stencilMem.at(3, 0), masked ? 6 : 0) << "a dead pixel keeps its stencil";
        EXPECT_EQ(*stencilMem.at(6, 0), 0);
        EXPECT_EQ(*stencilMem.at(2, 0), 0xF5);
    }
    // Every pixel failing: the unmasked stage reports the span done.
    ctx->state.depthStencil.stencilRef = 9;
    pickAll();
    spanAt(0, 0, 8, 0);
    raster().spanDone = 0;
    EXPECT_EQ(__glSpanStencilTest(ctx), 1);
    EXPECT_EQ(raster().spanDone, 1);
}

TEST_F(DepthSpanTest, StencilWithoutDepthTakesTheDepthPassOperationOnSurvivors) {
    build(16, 8, 1);
    mode().stencilFunc = GL_LESS;  // passes where ref 3 < stored
    mode().stencilFail = GL_DECR;
    mode().stencilDepthPass = GL_INCR;
    ctx->state.depthStencil.stencilRef = 3;
    const uint8_t values[8] = {0, 1, 3, 4, 0xFE, 0xFF, 3, 9};
    for (int i = 0; i < 8; ++i) *stencilMem.at(i, 0) = values[i];
    useFlags(kGlShadeStencilTest);
    spanAt(0, 0, 8, 0);
    run();
    const uint8_t after[8] = {0, 0, 2, 5, 0xFF, 0xFF, 2, 10};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(*stencilMem.at(i, 0), after[i]) << i;
        EXPECT_EQ(colorAt(i, 0), values[i] > 3 ? kRed : 0u) << i;
    }
}

TEST_F(DepthSpanTest, PolygonOffsetRunsClampAtTheLimits) {
    struct Case {
        const char *name;
        float toLimit, fullRange;
        int drawnFrom, drawnTo;  // pixels [from, to) drawn
    } cases[] = {
        {"beyond the far end: nothing", -1.0f, 100.0f, 0, 0},
        {"reaches the far end after 11 pixels", 10.5f, 100.0f, 0, 11},
        {"starts clamped near for 20 pixels", 20.2f, 0.5f, 0, 40},
        {"clamped near all along", 90.0f, 0.5f, 0, 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        build(16, 48, 1);
        for (int i = 0; i < 40; ++i) depthMem.setElement(i, 0, 0xF000);
        useFlags(kGlShadeDepthTest | kGlShadePolygonOffset);
        const int32_t step = 0x10000;
        spanAt(0, 0, 40, 0, step);
        GlRasterState &rs = raster();
        rs.offsetZ = float(0x20000000u);
        rs.offsetNearLimit = 0;
        rs.offsetFarLimit = db().scale;
        rs.offsetPixelsToLimit = c.toLimit;
        rs.offsetPixelsFullRange = c.fullRange;
        run();
        for (int i = 0; i < 40; ++i) {
            bool drawn = i >= c.drawnFrom && i < c.drawnTo;
            EXPECT_EQ(colorAt(i, 0), drawn ? kRed : 0u) << i;
        }
        if (c.fullRange == 0.5f && c.toLimit < 40) {
            // u = 20 pixels at the near limit, then interpolation from offsetZ + 20 steps that
            // continues in the same mask word; the next word starts 12/32 of a word step on.
            const uint32_t z2 = 0x20000000u + 20u * step;
            EXPECT_EQ(depthMem.element(19, 0), 0u);
            EXPECT_EQ(depthMem.element(20, 0), z2 >> 16);
            EXPECT_EQ(depthMem.element(31, 0), (z2 >> 16) + 11);
            EXPECT_EQ(depthMem.element(32, 0), (z2 + (uint32_t(step) << 5) * 12 / 32) >> 16);
        }
        if (c.drawnTo == 11) {
            EXPECT_EQ(depthMem.element(10, 0), (0x20000000u >> 16) + 10);
        }
    }
}

}  // namespace
