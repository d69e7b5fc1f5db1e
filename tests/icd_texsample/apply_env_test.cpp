// The environment procs against the environment's definition, the apply procs' choice between
// magnification and minification, and the scale procs.
#include <gtest/gtest.h>
#include "tests/icd_pick/pick_fixture.h"
#include "tests/icd_texsample/tex_fixture.h"
#include "icd/raster/tex_env.h"

namespace {

// A current context (its byte-to-float table and scales set by the first make-current).
class TexContextTest : public PickTest {
protected:
    GlColorBuffer target{};
    GlTexEnvRecord envRecord{};
    GlTexEnvRecord *savedEnv = nullptr;
    GlColorBuffer *savedDraw = nullptr;

    GlRasterState &raster() { return ctx->state.span.raster; }
    GlColorBuffers &colors() { return ctx->buffers.color; }

    void SetUp() override {
        PickTest::SetUp();
        if (HasFatalFailure() || ctx == nullptr) return;
        // Fragment colours are in the drawn buffer's units; distinct scales per channel show a
        // channel taken for another.
        target.redScale = 31.0f;
        target.greenScale = 63.0f;
        target.blueScale = 31.0f;
        target.alphaScale = 255.0f;
        savedDraw = colors().drawColorBuffer;
        colors().drawColorBuffer = &target;
        savedEnv = ctx->state.textures.env[0];
        ctx->state.textures.env[0] = &envRecord;
    }
    void TearDown() override {
        if (ctx == nullptr) return PickTest::TearDown();
        ctx->state.textures.env[0] = savedEnv;
        colors().drawColorBuffer = savedDraw;
        ctx->state.pick.currentTextures[0] = nullptr;
        PickTest::TearDown();
    }
    void scales(float r, float g, float b, float a) {
        target.redScale = r, target.greenScale = g, target.blueScale = b, target.alphaScale = a;
    }
};

// The texture environment as the GL defines it, in double: t the texel's colour and alpha as
// the base format gives them, S the channel scales, cc the environment colour.
void reference(GLenum mode, GLenum base, const float *frag, const uint8_t *texel, const float *cc, const float *S,
               double *out) {
    for (int i = 0; i < 4; ++i) out[i] = frag[i];
    if (base == GL_COLOR_INDEX) {
        const double x = texel[0] / 255.0;
        if (mode == GL_MODULATE) out[0] = frag[0] * x;
        if (mode == GL_REPLACE) out[0] = x;
        if (mode == 0x104) out[0] = frag[0] + x;
        return;
    }
    const bool rgb = base == GL_RGB || base == GL_RGBA;
    const bool hasColor = base != GL_ALPHA;
    const bool hasAlpha = base == GL_ALPHA || base == GL_RGBA || base == GL_LUMINANCE_ALPHA || base == GL_INTENSITY;
    double tc[3], ta = (base == GL_INTENSITY ? texel[0] : texel[3]) / 255.0;
    for (int i = 0; i < 3; ++i) tc[i] = (rgb ? texel[i] : texel[0]) / 255.0;
    switch (mode) {
    case GL_REPLACE:
        for (int i = 0; i < 3 && hasColor; ++i) out[i] = tc[i] * S[i];
        if (hasAlpha) out[3] = ta * S[3];
        break;
    case GL_MODULATE:
        for (int i = 0; i < 3 && hasColor; ++i) out[i] = frag[i] * tc[i];
        if (hasAlpha) out[3] = frag[3] * ta;
        break;
    case GL_DECAL:
        if (base == GL_RGB)
            for (int i = 0; i < 3; ++i) out[i] = tc[i] * S[i];
        if (base == GL_RGBA)
            for (int i = 0; i < 3; ++i) out[i] = frag[i] * (1.0 - ta) + tc[i] * S[i] * ta;
        break;
    case GL_BLEND:
        for (int i = 0; i < 3 && hasColor; ++i) out[i] = frag[i] * (1.0 - tc[i]) + cc[i] * tc[i];
        if (base == GL_INTENSITY)
            out[3] = frag[3] * (1.0 - ta) + cc[3] * ta;
        else if (hasAlpha)
            out[3] = frag[3] * ta;
        break;
    default: break;  // GL_ADD of a colour texture leaves the fragment as it is
    }
}

TEST_F(TexContextTest, EveryModeAndBaseFormatAgainstTheDefinition) {
    const float S[4] = {31.0f, 63.0f, 31.0f, 255.0f};
    const float cc[4] = {0.25f * 31.0f, 0.5f * 63.0f, 0.75f * 31.0f, 255.0f};
    std::memcpy(envRecord.color, cc, sizeof cc);
    const float frag[4] = {0.8f * 31.0f, 0.6f * 63.0f, 0.4f * 31.0f, 0.5f * 255.0f};
    const uint8_t texels[][4] = {{200, 100, 50, 128}, {0, 255, 17, 255}, {255, 0, 0, 0}};
    const GLenum modes[] = {GL_MODULATE, GL_DECAL, GL_BLEND, GL_REPLACE, 0x104};
    const GLenum bases[] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA, GL_ALPHA, GL_INTENSITY, GL_COLOR_INDEX};
    for (GLenum mode : modes)
        for (GLenum base : bases)
            for (const uint8_t *texel : texels) {
                SCOPED_TRACE(testing::Message() << std::hex << "mode " << mode << " base " << base << std::dec
                                                << " texel " << int(texel[0]) << "," << int(texel[3]));
                float color[4];
                std::memcpy(color, frag, sizeof color);
                texSlot<GlTexEnvApplyProc>(__glChooseTexEnvProc(mode, base))(ctx, color, texel);
                double expected[4];
                reference(mode, base, frag, texel, cc, S, expected);
                for (int i = 0; i < 4; ++i) EXPECT_NEAR(color[i], expected[i], 1e-3) << "channel " << i;
            }
}

TEST_F(TexContextTest, BlendOfAnRgbaTexelWithABlueEnvironment) {
    scales(255.0f, 255.0f, 255.0f, 255.0f);
    const float S = 255.0f;
    const float cc[4] = {0.0f, 0.0f, S, S};
    std::memcpy(envRecord.color, cc, sizeof cc);
    float color[4] = {S, S, 0.0f, S};
    const uint8_t texel[4] = {255, 0, 0, 128};
    __glTexEnvBlendRgba(ctx, color, texel);
    EXPECT_FLOAT_EQ(color[0], 0.0f);
    EXPECT_FLOAT_EQ(color[1], S);
    EXPECT_FLOAT_EQ(color[2], 0.0f);
    EXPECT_NEAR(color[3], S * 128.0f / 255.0f, 1e-4);
}

// Replace and decal scale the texel by the drawn buffer's scales, channel by channel.
TEST_F(TexContextTest, ReplaceUsesTheScalesOfTheDrawnBuffer) {
    float color[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const uint8_t texel[4] = {255, 255, 255, 255};
    __glTexEnvReplaceRgba(ctx, color, texel);
    EXPECT_FLOAT_EQ(color[0], 31.0f);
    EXPECT_FLOAT_EQ(color[1], 63.0f);
    EXPECT_FLOAT_EQ(color[2], 31.0f);
    EXPECT_FLOAT_EQ(color[3], 255.0f);
}

// ---- apply procs ---------------------------------------------------------------------------------

// 4 x 4 RGBA texels (10x, 10y, 0, 255) at level 0.
void columns(HandTexture &h) {
    h.define(0, 4, 4, 6, GL_RGBA);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) h.put(0, x, y, uint32_t(10 * x) | uint32_t(10 * y) << 8 | 0xFF000000u);
}

TEST_F(TexContextTest, MinMagSwitchesAtTheThreshold) {
    scales(255.0f, 255.0f, 255.0f, 255.0f);
    HandTexture h;
    columns(h);
    h.choose(GL_LINEAR, GL_NEAREST);
    ctx->state.pick.currentTextures[0] = &h.tex;
    auto apply = texSlot<GlTexApplyProc>(h.tex.apply);
    EXPECT_EQ(apply, __glTexApplyMinMag);
    // s = 1 texel: nearest reads column 1 (10), linear blends columns 0 and 1 (5).
    const std::pair<float, float> rows[] = {{0.0f, 10.0f}, {1.0f, 10.0f}, {1.01f, 5.0f}, {100.0f, 5.0f}};
    for (auto [rho2, red] : rows) {
        float color[4] = {0, 0, 0, 0};
        apply(ctx, color, 0.25f, 0.625f, rho2);
        EXPECT_NEAR(color[0], red, 1e-3) << rho2;
        EXPECT_NEAR(color[1], 20.0f, 1e-3) << rho2;
    }
    // Equal filters: one filter whatever the scale.
    h.choose(GL_NEAREST, GL_NEAREST);
    EXPECT_EQ(texSlot<GlTexApplyProc>(h.tex.apply), __glTexApplySingleFilter);
    float color[4] = {0, 0, 0, 0};
    __glTexApplySingleFilter(ctx, color, 0.25f, 0.625f, 1000.0f);
    EXPECT_NEAR(color[0], 10.0f, 1e-3);
}

// The mipmap apply magnifies up to the threshold (2 for a linear magnification with a
// nearest-level minification, else 1) and above it picks levels by lambda.
TEST_F(TexContextTest, MipmapApplyChoosesMagnificationOrALevel) {
    scales(255.0f, 255.0f, 255.0f, 255.0f);
    struct Row {
        GLenum min, mag;
        float rho2;
        float luminance;
    };
    const Row rows[] = {
        {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, 2.0f, 40.0f},    // threshold 2: magnified
        {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR, 2.5f, 80.0f},    // lambda 0.625: level 1
        {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR, 16.0f, 120.0f},  // lambda 2
        {GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, 1.5f, 40.0f},  // threshold 1, lambda 0.25: level 0
        {GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, 1.0f, 40.0f},    // magnified
        {GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, 1.5f, 50.0f},    // levels 0 and 1 by a quarter
        {GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST, 1e30f, 160.0f},  // the last level
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.min << " " << r.mag << std::dec << " rho2 " << r.rho2);
        HandTexture h;
        for (int i = 0; i < 4; ++i) {
            h.define(i, 8 >> i, 8 >> i, 0, GL_LUMINANCE);
            h.fill(i, uint32_t(40 * (i + 1)));
        }
        h.tex.maxLevel = 3;
        h.choose(r.min, r.mag);
        ctx->state.pick.currentTextures[0] = &h.tex;
        float color[4] = {0, 0, 0, 7.0f};
        texSlot<GlTexApplyProc>(h.tex.apply)(ctx, color, 0.5f, 0.5f, r.rho2);
        EXPECT_NEAR(color[0], r.luminance, 1e-3);
        EXPECT_NEAR(color[2], r.luminance, 1e-3);
        EXPECT_EQ(color[3], 7.0f);  // a luminance texture replaces colour only
    }
}

// ---- scale procs ---------------------------------------------------------------------------------

TEST_F(TexContextTest, SpanScaleIsTheLargerSquaredTexelStep) {
    HandTexture h;
    h.define(0, 16, 8, 0, GL_LUMINANCE);
    ctx->state.pick.currentTextures[0] = &h.tex;
    GlRasterState &rs = raster();
    auto set = [&](float dsdx, float dtdx, float dqdx, float dsdy, float dtdy, float dqdy) {
        rs.texCoordStep[0] = dsdx, rs.texCoordStep[1] = dtdx, rs.texCoordStep[2] = dqdx;
        rs.texStepY[0] = dsdy, rs.texStepY[1] = dtdy, rs.texStepY[2] = dqdy;
    };
    // Two texels per pixel in x, one in y: rho2 4 (lambda 1).
    set(0.125f, 0.0f, 0.0f, 0.0f, 0.125f, 0.0f);
    EXPECT_FLOAT_EQ(__glTexRhoSpan(ctx, &rs, 0.3f, 0.7f, 1.0f), 4.0f);
    // The larger direction counts, and t is measured in the level's height.
    set(0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f);
    EXPECT_FLOAT_EQ(__glTexRhoSpan(ctx, &rs, 0.3f, 0.7f, 1.0f), 16.0f);
    set(0.0625f, 0.0625f, 0.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(__glTexRhoSpan(ctx, &rs, 0.3f, 0.7f, 1.0f), 1.0f + 0.25f);
    // With q changing, the quotients either side of the pixel.
    set(0.5f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f);
    const double ds = (1.5 / 2.5 - 0.5 / 1.5) * 16.0, dt = (0.5 / 2.5 - 0.5 / 1.5) * 8.0;
    EXPECT_NEAR(__glTexRhoSpan(ctx, &rs, 1.0f, 0.5f, 2.0f), (ds * ds + dt * dt) * 0.25, 1e-4);
    EXPECT_EQ(__glTexRhoSpanNone(ctx, &rs, 1.0f, 0.5f, 2.0f), 0.0f);
}

TEST_F(TexContextTest, LineScaleIsTheSquaredTexelStepAlongTheLine) {
    HandTexture h;
    h.define(0, 16, 8, 0, GL_LUMINANCE);
    ctx->state.pick.currentTextures[0] = &h.tex;
    GlRasterState &rs = raster();
    rs.texCoordStep[0] = 0.125f;
    rs.texCoordStep[1] = 0.0625f;
    rs.texCoordStep[2] = 0.0f;
    EXPECT_FLOAT_EQ(__glTexRhoLine(ctx, 0.2f, 0.4f, 1.0f), 4.0f + 0.25f);
    EXPECT_EQ(__glTexRhoLineNone(ctx, 0.2f, 0.4f, 1.0f), 0.0f);
}

}  // namespace
