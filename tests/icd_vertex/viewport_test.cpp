// The viewport transform (bias 6144, +0.5, bottom-up and top-down drawables), window unbias,
// the depth range and the clip box from the scissor box.
#include <climits>
#include "tests/icd_vertex/transform_fixture.h"

namespace {
float windowX(const GlViewport &v, float ndc) { return ndc * v.xScale + v.xCenter; }
float windowY(const GlViewport &v, float ndc) { return ndc * v.yScale + v.yCenter; }
}  // namespace

// Make-current set the viewport to the window; clip-space corners land on the biased pixel
// edges, centres on integer + 0.5, exactly.
TEST_F(TransformTest, ViewportCarriesTheBiasExactly) {
    const GlViewport &v = xf().viewport;
    EXPECT_EQ(v.width, kWidth);
    EXPECT_EQ(v.height, kHeight);
    EXPECT_EQ(windowX(v, -1.0f), 6144.5f);
    EXPECT_EQ(windowX(v, 1.0f), 6144.5f + kWidth);
    EXPECT_EQ(windowY(v, -1.0f), 6144.5f);  // bottom-up: clip y -1 is the bottom row
    EXPECT_EQ(windowY(v, 1.0f), 6144.5f + kHeight);
    gl->Viewport(10, 20, 100, 50);
    EXPECT_EQ(v.xScale, 50.0f);
    EXPECT_EQ(v.xCenter, 50.0f + 10 + 6144 + 0.5f);
    EXPECT_EQ(v.yCenter, 25.0f + 20 + 6144 + 0.5f);
    EXPECT_EQ(windowX(v, -1.0f), 6144.5f + 10);
    EXPECT_EQ(windowY(v, -1.0f), 6144.5f + 20);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & 0x1);
    // Unbias gives back the pixel coordinates.
    EXPECT_EQ(__glUnbiasWindowX(ctx, windowX(v, -1.0f)), 10.0f);
    EXPECT_EQ(__glUnbiasWindowY(ctx, windowY(v, 1.0f)), 70.0f);
}

// A drawable whose rows run top-down mirrors y: clip y +1 is the top row, one bias epsilon
// (the smallest step a biased coordinate can take) below the pixel edge.
TEST_F(TransformTest, TopDownDrawableMirrorsY) {
    ctx->handle->drawable->buffers.topDown = 1;
    gl->Viewport(0, 0, kWidth, kHeight);
    const GlViewport &v = xf().viewport;
    const float eps = ctx->roundingEpsilon;
    EXPECT_EQ(eps, std::ldexp(1.0f, -11));
    EXPECT_EQ(v.yScale, -kHeight / 2.0f);
    EXPECT_EQ(windowY(v, 1.0f), 6144.5f - eps);
    EXPECT_EQ(windowY(v, -1.0f), 6144.5f + kHeight - eps);
    EXPECT_EQ(windowX(v, -1.0f), 6144.5f);
    gl->Viewport(0, 40, kWidth, 100);  // 40 rows up from the bottom
    EXPECT_EQ(windowY(v, -1.0f), 6144.5f + kHeight - 40 - eps);
    EXPECT_EQ(windowY(v, 1.0f), 6144.5f + kHeight - 140 - eps);
    // Unbias returns bottom-up GL window coordinates.
    EXPECT_EQ(__glUnbiasWindowY(ctx, windowY(v, -1.0f)), 40.0f);
    EXPECT_EQ(__glUnbiasWindowY(ctx, windowY(v, 1.0f)), 140.0f);
}

TEST_F(TransformTest, ViewportClampsToTheMaximumSize) {
    gl->Viewport(0, 0, 4000, 3000);
    EXPECT_EQ(xf().viewport.width, 2048);
    EXPECT_EQ(xf().viewport.height, 2048);
    EXPECT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
}

// A composite of type 2 or more is prescaled: it follows the viewport.
TEST_F(TransformTest, ViewportChangeRefreshesTheWindowComposite) {
    gl->Scalef(0.5f, 0.5f, 1);
    EXPECT_EQ(xf().windowCompositeType, uint32_t(kGlMatrixScaleTranslate));
    gl->Viewport(100, 0, 200, 200);
    EXPECT_EQ(xf().windowComposite[0], 0.5f * 100);
    EXPECT_EQ(xf().windowComposite[12], 200.0f + 6144.5f);
}

TEST_F(TransformTest, DepthRangeClampsAndScales) {
    gl->DepthRange(-1, 2);
    EXPECT_EQ(xf().depthNear, 0.0);
    EXPECT_EQ(xf().depthFar, 1.0);
    EXPECT_EQ(ctx->dirtyMask & 0x81, 0x81u);
    gl->DepthRange(0.25, 0.75);  // window z in [0.25, 0.75] x the depth buffer's largest value
    const GlViewport &v = xf().viewport;
    const double z = __glDepthBufferScale(ctx);
    EXPECT_FLOAT_EQ(v.zScale, z / 2.0 * 0.5);
    EXPECT_FLOAT_EQ(v.zCenter, z / 2.0);
    EXPECT_FLOAT_EQ(-1 * v.zScale + v.zCenter, 0.25 * z);
    gl->DepthRange(1, 0);  // reversed ranges are allowed
    EXPECT_FLOAT_EQ(v.zScale, -z / 2.0);
}

// The clip box in window coordinates (bias added) for scissor boxes in and out of the window.
TEST_F(TransformTest, ClipBoxFromTheScissorBox) {
    const int b = 6144;
    auto box = [&] { return std::array<int, 4>{xf().clipBoxX0 - b, xf().clipBoxY0 - b, xf().clipBoxX1 - b, xf().clipBoxY1 - b}; };
    EXPECT_EQ(xf().scissorWidth, kWidth);  // make-current set it to the window
    EXPECT_EQ(box(), (std::array<int, 4>{0, 0, kWidth, kHeight}));
    gl->Scissor(10, 20, 30, 40);
    EXPECT_EQ(box(), (std::array<int, 4>{0, 0, kWidth, kHeight}));  // test off: the whole window
    EXPECT_EQ(ctx->dirtyMask & 0x100, 0x100u);

    ctx->state.enable.enables |= kGlEnableScissorTest;  // as glEnable does, then the box follows
    ctx->slots.computeClipBox(ctx);
    struct Case {
        int x, y, w, h;
        std::array<int, 4> want;
    } cases[] = {
        {10, 20, 30, 40, {10, 20, 40, 60}},
        {-100, 0, 50, 50, {0, 0, 0, 0}},              // entirely left of the window
        {-10, -10, 50, 50, {0, 0, 40, 40}},           // clamped at the origin
        {300, 200, 100, 100, {300, 200, kWidth, kHeight}},
        {kWidth, 0, 10, 10, {0, 0, 0, 0}},            // starts at the right edge
        {5, 5, 0, 10, {0, 0, 0, 0}},                  // empty
        {10, 0, INT_MAX, 10, {10, 0, kWidth, 10}},    // the right edge past INT_MAX does not wrap
    };
    for (const Case &c : cases) {
        gl->Scissor(c.x, c.y, c.w, c.h);
        EXPECT_EQ(box(), c.want) << c.x << "," << c.y << " " << c.w << "x" << c.h;
    }
    // A top-down drawable flips the rows.
    ctx->handle->drawable->buffers.topDown = 1;
    gl->Viewport(0, 0, kWidth, kHeight);
    gl->Scissor(10, 20, 30, 40);
    EXPECT_EQ(box(), (std::array<int, 4>{10, kHeight - 60, 40, kHeight - 20}));
    // An unchanged box changes nothing, not even the dirty bits.
    ctx->dirtyMask = 0;
    ctx->beginMode = kGlOutsideBegin;
    gl->Scissor(10, 20, 30, 40);
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    ctx->state.enable.enables &= ~kGlEnableScissorTest;
}
