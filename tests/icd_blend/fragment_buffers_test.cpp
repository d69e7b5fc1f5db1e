// Single fragments through the fragment store into real depth and stencil buffers: what a pass,
// a depth failure and a stencil failure leave in each buffer, and a draw buffer of GL_NONE.
#include "tests/icd_depth/depth_fixture.h"
#include "icd/raster/fragment.h"

namespace {

class FragmentBuffersTest : public DepthTest {
protected:
    void SetUp() override {
        DepthTest::SetUp();
        build(16, 8, 8);
        mode().stencilFunc = GL_EQUAL;
        ctx->state.depthStencil.stencilRef = 1;
        mode().stencilFail = GL_ZERO;
        mode().stencilDepthFail = GL_INCR;
        mode().stencilDepthPass = GL_REPLACE;
        for (auto &b : stencilMem.bytes) b = 1;
        useFlags(kGlShadeDepthTest | kGlShadeStencilTest);
        clearAndValidate();
    }
    void pick(uint32_t flags, GLenum drawBuffer) {
        raster().shadeFlags = kGlShadeRgba | flags;
        mode().drawBuffer = drawBuffer;
        __glPickFragmentStoreProcs(ctx);
    }
    // A fragment at buffer (x, y) with window depth d.
    void send(int x, int y, double d, float red) {
        GlFragment f{kBias + x, kBias + y, uint32_t(double(db().scale) * d), {red, 0, 0, 255}};
        ctx->state.span.fragment.store(colors().drawColorBuffer, &f);
    }
    uint32_t depthAt(int x, int y) { return db().fetch(&db(), kBias + x, kBias + y); }
    uint8_t stencilAt(int x, int y) { return *stencilMem.at(x, y); }
};

TEST_F(FragmentBuffersTest, StencilAndDepthOutcomesReachEveryBuffer) {
    pick(kGlShadeDepthTest | kGlShadeStencilTest, GL_FRONT);
    const uint32_t cleared = depthAt(1, 1);
    send(1, 1, 0.5, 100);  // passes both: depth stored, stencil replaced by the reference
    EXPECT_EQ(colorAt(1, 1), 0x640000u);
    EXPECT_LT(depthAt(1, 1), cleared);
    EXPECT_EQ(stencilAt(1, 1), 1);
    const uint32_t stored = depthAt(1, 1);
    send(1, 1, 0.75, 200);  // fails the depth test: depth-fail operation only
    EXPECT_EQ(colorAt(1, 1), 0x640000u);
    EXPECT_EQ(depthAt(1, 1), stored);
    EXPECT_EQ(stencilAt(1, 1), 2);
    send(1, 1, 0.25, 200);  // the stencil no longer equals 1: fail operation, no depth test
    EXPECT_EQ(colorAt(1, 1), 0x640000u);
    EXPECT_EQ(depthAt(1, 1), stored);
    EXPECT_EQ(stencilAt(1, 1), 0);
}

TEST_F(FragmentBuffersTest, DepthAloneLeavesTheStencilAndNoBufferStillTests) {
    pick(kGlShadeDepthTest, GL_FRONT);
    send(2, 2, 0.5, 100);
    const uint32_t stored = depthAt(2, 2);
    send(2, 2, 0.9, 200);
    EXPECT_EQ(colorAt(2, 2), 0x640000u);
    EXPECT_EQ(depthAt(2, 2), stored);
    EXPECT_EQ(stencilAt(2, 2), 1);
    // GL_NONE: depth and stencil change, the colour does not.
    pick(kGlShadeDepthTest | kGlShadeStencilTest, GL_NONE);
    send(3, 3, 0.5, 100);
    EXPECT_EQ(colorAt(3, 3), 0u);
    EXPECT_LT(depthAt(3, 3), depthAt(4, 4));
    EXPECT_EQ(stencilAt(3, 3), 1);
    send(3, 3, 0.9, 100);
    EXPECT_EQ(stencilAt(3, 3), 2);
}

}  // namespace
