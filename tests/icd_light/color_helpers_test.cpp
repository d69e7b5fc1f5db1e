// The colour conversions between [0, 1] colours and colour-buffer units, on one table of inputs.
#include <cmath>
#include <limits>
#include "tests/icd_light/light_fixture.h"

namespace {

TEST_F(LightTest, ColourHelpers) {
    // Distinct scales per channel, so that a helper taking them in the wrong order shows.
    GlColorScales &s = ctx->scales;
    s.redScale = 255.0f, s.greenScale = 63.0f, s.blueScale = 31.0f, s.alphaScale = 1.0f;
    s.oneOverRedScale = 1 / 255.0f, s.oneOverGreenScale = 1 / 63.0f, s.oneOverBlueScale = 1 / 31.0f,
    s.oneOverAlphaScale = 1.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    float out[4];

    const float in[4] = {0.5f, -0.25f, 2.0f, nan};
    __glScaleColor(ctx, out, in);
    EXPECT_EQ(out[0], 127.5f);
    EXPECT_EQ(out[1], -15.75f);
    EXPECT_EQ(out[2], 62.0f);
    EXPECT_TRUE(std::isnan(out[3]));
    __glClampAndScaleColor(ctx, out, in);
    EXPECT_EQ(out[0], 127.5f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[2], 31.0f);
    EXPECT_EQ(out[3], 0.0f);  // not >= 0
    const float edges[4] = {-0.0f, 1.0000001f, -1e-30f, nan};
    __glClampColor(ctx, out, edges);
    EXPECT_TRUE(std::signbit(out[0]) && out[0] == 0.0f);  // -0.0 kept
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 1.0f);  // a positive NaN lies above 1.0 as a pattern
    const float scaled[4] = {300.0f, -0.0f, 30.0f, 0.5f};
    __glClampToColorScale(ctx, out, scaled);
    EXPECT_EQ(out[0], 255.0f);
    EXPECT_EQ(out[2], 30.0f);
    EXPECT_EQ(out[3], 0.5f);
    __glClampScaledColor(ctx, out, scaled);
    EXPECT_EQ(out[0], 255.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_FALSE(std::signbit(out[1]));
    __glUnscaleColor(ctx, out, scaled);
    EXPECT_FLOAT_EQ(out[2], 30.0f / 31.0f);

    const int32_t ints[4] = {INT32_MAX, INT32_MIN, 0, -1};
    // (2c + 1) / 4294964992: the largest integer gives slightly more than 1.
    __glScaleColorFromInt(ctx, out, ints);
    EXPECT_NEAR(out[0], 255.0, 1e-3);
    EXPECT_GT(out[0], 255.0f);
    EXPECT_NEAR(out[1], -63.0, 1e-3);
    EXPECT_NEAR(out[2], 31.0 / 4294964992.0, 1e-12);
    __glClampAndScaleColorFromInt(ctx, out, ints);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    __glClampColorFromInt(ctx, out, ints);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);

    // Back to integers: full scale is (2^32 - 1) / 2 in single precision, held to the range.
    const float back[4] = {1e30f, -63.0f, 0.0f, 1.0f};
    int32_t words[4];
    __glUnscaleColorToInt(ctx, words, back);
    EXPECT_EQ(words[0], INT32_MAX);
    EXPECT_NEAR(words[1], -2147482496.0, 200.0);
    EXPECT_EQ(words[2], 0);
    EXPECT_EQ(words[3], 2147482496);
    const float bad[4] = {nan, -1e30f, 0.5f, 0.0f};
    __glUnscaleColorToInt(ctx, words, bad);
    EXPECT_EQ(words[0], 0);
    EXPECT_EQ(words[1], INT32_MIN);
}

}  // namespace
