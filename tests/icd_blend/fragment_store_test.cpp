// The fragment store: the table the picker chooses from, the clip box that every entry applies,
// the test order (alpha, stencil, depth with the stencil operations) seen through the buffers'
// test and operation procs, and the colour stores for no buffer and for both buffers.
#include <string>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/fragment.h"

namespace {

std::string g_log;
uint8_t g_stencilPasses, g_depthPasses;

uint8_t fakeStencilTest(GlStencilBuffer *, int32_t, int32_t) {
    g_log += "S";
    return g_stencilPasses;
}
void fakeFail(GlStencilBuffer *, int32_t, int32_t) { g_log += "f"; }
void fakeDepthFail(GlStencilBuffer *, int32_t, int32_t) { g_log += "z"; }
void fakeDepthPass(GlStencilBuffer *, int32_t, int32_t) { g_log += "p"; }
uint8_t fakeDepthTest(GlDepthBuffer *, int32_t, int32_t, uint32_t z) {
    g_log += "D" + std::to_string(z);
    return g_depthPasses;
}

class FragmentStoreTest : public RasterTest {
protected:
    void SetUp() override {
        RasterTest::SetUp();
        attach(kX8R8G8B8, 8, 8, true);
        GlStencilBuffer &sb = ctx->buffers.stencil;
        sb.test = fakeStencilTest;
        sb.applyFail = fakeFail;
        sb.applyDepthFail = fakeDepthFail;
        sb.applyDepthPass = fakeDepthPass;
        ctx->buffers.depth.test = fakeDepthTest;
        g_stencilPasses = g_depthPasses = 1;
        g_log.clear();
        // Alpha passes from 128 up.
        GlRasterInputs &in = inputs();
        for (int i = 0; i < 256; ++i) in.alphaTestTable[i] = i >= 128;
        in.alphaTestSize = 256;
        in.alphaTestScale = 1.0f;
    }
    void pick(uint32_t flags, GLenum drawBuffer = GL_FRONT, bool both = false) {
        raster().shadeFlags = kGlShadeRgba | flags;
        ctx->state.mode.drawBuffer = drawBuffer;
        inputs().drawBothBuffers = both;
        __glPickFragmentStoreProcs(ctx);
    }
    // Sends a fragment at buffer (x, y) with depth z and alpha a; returns what the tests logged.
    std::string send(int x, int y, uint32_t z = 7, float a = 200.0f) {
        g_log.clear();
        GlFragment f{kBias + x, kBias + y, z, {255, 0, 0, a}};
        ctx->state.span.fragment.store(colors().drawColorBuffer, &f);
        return g_log;
    }
    bool drawn(PlainMemory &m, int x, int y) { return m.element(x, y) != 0; }
};

TEST_F(FragmentStoreTest, EveryEntryDropsFragmentsOutsideTheClipBox) {
    const uint32_t tests[] = {kGlShadeAlphaTest, kGlShadeStencilTest, kGlShadeDepthTest};
    for (uint32_t index = 0; index < 8; ++index) {
        uint32_t flags = 0;
        for (int b = 0; b < 3; ++b)
            if (index & (1u << b)) flags |= tests[b];
        SCOPED_TRACE(index);
        setClipBox(2, 3, 6, 7);
        pick(flags);
        EXPECT_EQ(ctx->state.span.fragment.store, __glFragmentStoreProcs[index]);
        front.bytes.assign(front.bytes.size(), 0);
        send(2, 3);
        send(5, 6);
        send(6, 4);
        send(4, 7);
        send(1, 4);
        send(4, 2);
        EXPECT_TRUE(drawn(front, 2, 3));
        EXPECT_TRUE(drawn(front, 5, 6));
        EXPECT_FALSE(drawn(front, 6, 4));
        EXPECT_FALSE(drawn(front, 4, 7));
        EXPECT_FALSE(drawn(front, 1, 4));
        EXPECT_FALSE(drawn(front, 4, 2));
    }
}

TEST_F(FragmentStoreTest, TestsRunInOrderAndOnlyPassingFragmentsAreStored) {
    struct Case {
        uint32_t flags;
        float alpha;
        uint8_t stencil, depth;
        const char *log;
        bool stored;
    };
    const Case cases[] = {
        {kGlShadeAlphaTest | kGlShadeStencilTest | kGlShadeDepthTest, 100, 1, 1, "", false},  // alpha first
        {kGlShadeAlphaTest | kGlShadeStencilTest | kGlShadeDepthTest, 200, 1, 1, "SD7p", true},
        {kGlShadeStencilTest | kGlShadeDepthTest, 200, 0, 1, "Sf", false},
        {kGlShadeStencilTest | kGlShadeDepthTest, 200, 1, 0, "SD7z", false},
        {kGlShadeStencilTest, 200, 1, 0, "Sp", true},
        {kGlShadeStencilTest, 200, 0, 1, "Sf", false},
        {kGlShadeDepthTest, 200, 1, 0, "D7", false},  // a failing depth test touches no stencil
        {kGlShadeDepthTest, 200, 1, 1, "D7", true},
        {kGlShadeAlphaTest, 1000, 1, 1, "", true},  // alpha beyond the table takes its last entry
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.log);
        pick(c.flags);
        g_stencilPasses = c.stencil;
        g_depthPasses = c.depth;
        front.bytes.assign(front.bytes.size(), 0);
        EXPECT_EQ(send(1, 1, 7, c.alpha), c.log);
        EXPECT_EQ(drawn(front, 1, 1), c.stored);
    }
}

TEST_F(FragmentStoreTest, DrawBufferChoosesTheColourStore) {
    // No colour buffer: depth and stencil still change, no colour is written.
    pick(kGlShadeStencilTest | kGlShadeDepthTest, GL_NONE);
    EXPECT_EQ(ctx->state.span.fragment.storeColor, __glStoreColorNone);
    EXPECT_EQ(send(3, 3), "SD7p");
    EXPECT_FALSE(drawn(front, 3, 3));
    // Both buffers of a double-buffered drawable.
    pick(0, GL_FRONT_AND_BACK, true);
    EXPECT_EQ(ctx->state.span.fragment.storeColor, __glStoreColorFrontBack);
    send(4, 4);
    EXPECT_TRUE(drawn(front, 4, 4));
    EXPECT_TRUE(drawn(back, 4, 4));
    // One buffer: its own store; without any test the clip box is still applied.
    pick(0, GL_FRONT);
    EXPECT_EQ(ctx->state.span.fragment.store, __glStoreFragment);
    EXPECT_EQ(ctx->state.span.fragment.storeColor, colors().front.storePixel);
    // An unresolved draw-buffer value leaves both slots as they were.
    pick(kGlShadeDepthTest, GL_FRONT_LEFT);
    EXPECT_EQ(ctx->state.span.fragment.store, __glStoreFragment);
}

}  // namespace
