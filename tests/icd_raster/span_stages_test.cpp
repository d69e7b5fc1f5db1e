// Each span stage against a table of cases: scissor, polygon stipple, shading, texturing, fog and
// the alpha test, and the fog procs of single fragments and colours.
#include <cmath>
#include <vector>
#include "tests/icd_raster/raster_fixture.h"

namespace {

class SpanStageTest : public RasterTest {
protected:
    void SetUp() override {
        RasterTest::SetUp();
        attach(kX8R8G8B8);
    }
    uint32_t *mask() { return raster().maskWords; }
    float *color(int i) { return raster().fragmentColors + 4 * i; }
};

TEST_F(SpanStageTest, ScissorCutsOnTheRightAndMasksOnTheLeft) {
    const struct {
        const char *name;
        int32_t x, len, x0, x1;
        uint8_t result, done;
        int32_t newLen;
        std::vector<uint32_t> words;
    } cases[] = {
        {"inside", 10, 5, 0, 100, 0, 0, 5, {}},
        {"left of the box", 0, 5, 5, 20, 1, 1, 5, {}},
        {"starts at x1", 20, 5, 5, 20, 1, 1, 5, {}},
        {"past the right edge", 15, 10, 5, 20, 0, 0, 5, {}},
        {"over the left edge", 0, 10, 5, 20, 1, 0, 10, {0x07FFFFFF}},
        {"over both edges", 0, 40, 3, 35, 1, 0, 35, {0x1FFFFFFF, 0xFFFFFFFF}},
        {"left cut longer than a word", 0, 70, 40, 100, 1, 0, 70, {0, 0x00FFFFFF, 0xFFFFFFFF}},
        {"no pixels", 200, 0, 0, 100, 0, 0, 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        setClipBox(c.x0, 0, c.x1, 8);
        raster().spanX = kBias + c.x;
        raster().spanLength = c.len;
        raster().spanDone = 0;
        std::fill(mask(), mask() + 4, 0xDEADBEEF);
        EXPECT_EQ(__glSpanScissor(ctx), c.result);
        EXPECT_EQ(raster().spanDone, c.done);
        EXPECT_EQ(raster().spanLength, c.newLen);
        for (size_t w = 0; w < c.words.size(); ++w) EXPECT_EQ(mask()[w], c.words[w]) << w;
    }
}

TEST_F(SpanStageTest, StippleRotatesTheRowWordToTheSpan) {
    inputs().stippleWords[5] = 0x80000001;  // columns 0 and 31
    inputs().stippleWords[6] = 0xF0000000;
    inputs().stippleWords[2] = 0;
    ctx->state.transform.drawable.height = 8;
    const struct {
        const char *name;
        int32_t x, y, len;
        bool inverted, masked;
        uint8_t result, done;
        uint32_t word;
    } cases[] = {
        {"row 5 from column 3", 3, 5, 40, false, false, 1, 0, 0x0000000C},
        {"row 5 from column 0", 0, 5, 10, false, false, 1, 0, 0x80000001},
        {"empty row", 0, 2, 10, false, false, 1, 1, 0x3000FFFF},  // mask words untouched
        {"rows counted from the top", 1, 1, 10, true, false, 1, 0, 0xE0000001},  // 8 - 1 - 1 = row 6
        {"masked form ANDs", 0, 6, 10, false, true, 0, 0, 0xF0000000 & 0x3000FFFF},
        {"masked form keeps going when nothing is left", 0, 6, 10, false, true, 0, 0, 0},
        {"masked form on an empty row", 0, 2, 10, false, true, 1, 1, 0x3000FFFF},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ctx->state.transform.drawable.yInverted = c.inverted;
        raster().spanX = kBias + c.x;
        raster().spanY = kBias + c.y;
        raster().spanLength = c.len;
        raster().spanDone = 0;
        uint32_t before = ++n == 6 ? 0x0FFFFFFF : 0x3000FFFF;
        mask()[0] = mask()[1] = before;
        EXPECT_EQ(c.masked ? __glSpanPolygonStippleMasked(ctx) : __glSpanPolygonStipple(ctx), c.result);
        EXPECT_EQ(raster().spanDone, c.done);
        EXPECT_EQ(mask()[0], c.word);
        if (c.len > 32) {
            EXPECT_EQ(mask()[1], c.word);
        }
    }
}

TEST_F(SpanStageTest, ShadeStagesFillTheColourArray) {
    GlRasterState &rs = raster();
    const float start[4] = {1, 2, 3, 4}, step[4] = {0.5f, -1, 0, 0.25f};
    std::memcpy(rs.spanColor, start, 16);
    std::memcpy(rs.colorStep, step, 16);
    rs.spanLength = 3;
    EXPECT_EQ(__glSpanShadeRgbaSmooth(ctx), 0);
    EXPECT_EQ(color(2)[0], 2.0f);
    EXPECT_EQ(color(2)[1], 0.0f);
    EXPECT_EQ(color(2)[2], 3.0f);
    EXPECT_EQ(color(2)[3], 4.5f);
    EXPECT_EQ(__glSpanShadeRgbaFlat(ctx), 0);
    EXPECT_EQ(color(2)[0], 1.0f);
    EXPECT_EQ(color(2)[3], 4.0f);
    for (int i = 0; i < 12; ++i) rs.fragmentColors[i] = 9;
    EXPECT_EQ(__glSpanShadeIndexSmooth(ctx), 0);
    EXPECT_EQ(color(1)[0], 1.5f);
    EXPECT_EQ(color(2)[0], 2.0f);
    EXPECT_EQ(color(2)[1], 9.0f);  // only the index is written
    EXPECT_EQ(__glSpanShadeIndexFlat(ctx), 0);
    EXPECT_EQ(color(2)[0], 1.0f);
    EXPECT_EQ(color(2)[3], 9.0f);
}

std::vector<std::array<float, 3>> g_applied;
void recordApply(GlContext *, float *c, float s, float t, float u) {
    g_applied.push_back({s, t, u});
    c[0] = s;
}

TEST_F(SpanStageTest, TextureStageDividesByQAndStepsEveryPixel) {
    GlRasterState &rs = raster();
    inputs().textureApply = recordApply;
    const float start[4] = {2, 4, 2, 6}, step[4] = {2, 0, 2, 2};
    std::memcpy(rs.spanTexCoord, start, 16);
    std::memcpy(rs.texCoordStep, step, 16);
    rs.spanLength = 3;
    g_applied.clear();
    EXPECT_EQ(__glSpanTexture(ctx), 0);
    ASSERT_EQ(g_applied.size(), 3u);
    EXPECT_EQ(g_applied[0], (std::array<float, 3>{1, 2, 3}));
    EXPECT_EQ(g_applied[1], (std::array<float, 3>{1, 1, 2}));
    EXPECT_EQ(color(2)[0], 1.0f);
    // The masked twin skips dead pixels but still steps over them.
    g_applied.clear();
    mask()[0] = 0x40000000;  // only pixel 1
    EXPECT_EQ(__glSpanTextureMasked(ctx), 0);
    ASSERT_EQ(g_applied.size(), 1u);
    EXPECT_EQ(g_applied[0], (std::array<float, 3>{1, 1, 2}));
    // Without a texture-apply proc nothing is touched.
    inputs().textureApply = nullptr;
    color(0)[0] = 7;
    EXPECT_EQ(__glSpanTexture(ctx), 0);
    EXPECT_EQ(color(0)[0], 7.0f);
}

TEST_F(SpanStageTest, FogBlendsByTheClampedFactor) {
    GlRasterState &rs = raster();
    rs.targetColorBuffer = nullptr;  // colours and fog colour both in the context's units
    GlFogState &in = fog();
    const float fogColor[4] = {200, 0, 50, 99};
    std::memcpy(in.fogScaledColor, fogColor, 16);
    in.fogIndex = 10;
    const struct {
        const char *name;
        float start, step;
        bool masked;
        float expected[5][3];  // per pixel r, g, b (alpha stays 7)
    } cases[] = {
        {"factor 1 .. below 0", 1.0f, -0.5f, false,
         {{100, 100, 100}, {150, 50, 75}, {200, 0, 50}, {200, 0, 50}, {200, 0, 50}}},
        {"above 1 clamps", 2.0f, -0.25f, false,
         {{100, 100, 100}, {100, 100, 100}, {100, 100, 100}, {100, 100, 100}, {100, 100, 100}}},
        {"masked twin fogs live pixels only", 1.0f, -0.5f, true,
         {{100, 100, 100}, {150, 50, 75}, {100, 100, 100}, {200, 0, 50}, {100, 100, 100}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < 5; ++i) color(i)[0] = color(i)[1] = color(i)[2] = 100, color(i)[3] = 7;
        rs.spanFog = c.start;
        rs.fogStep = c.step;
        rs.spanLength = 5;
        mask()[0] = 0x50000000;  // pixels 1 and 3
        EXPECT_EQ(c.masked ? __glSpanFogMasked(ctx) : __glSpanFog(ctx), 0);
        for (int i = 0; i < 5; ++i) {
            EXPECT_FLOAT_EQ(color(i)[0], c.expected[i][0]) << i;
            EXPECT_FLOAT_EQ(color(i)[1], c.expected[i][1]) << i;
            EXPECT_FLOAT_EQ(color(i)[2], c.expected[i][2]) << i;
            EXPECT_EQ(color(i)[3], 7.0f);
        }
    }
    // Colour index: the index moves by (1 - f) times the fog index.
    rs.shadeFlags &= ~kGlShadeRgba;
    color(0)[0] = 3;
    rs.spanFog = 0.25f;
    rs.spanLength = 1;
    __glSpanFog(ctx);
    EXPECT_FLOAT_EQ(color(0)[0], 3 + 0.75f * 10);
}

TEST_F(SpanStageTest, NicestFogComputesTheFactorFromTheEyeDistance) {
    GlRasterState &rs = raster();
    GlFogState &in = fog();
    const float fogColor[4] = {100, 100, 100, 0};
    std::memcpy(in.fogScaledColor, fogColor, 16);
    const float e1 = float(std::exp(-1.0));
    const struct {
        GLenum mode;
        float density, start, end, distance, factor;
    } cases[] = {
        {GL_EXP, 0.5f, 0, 0, 2.0f, e1},
        {GL_EXP, 0.5f, 0, 0, -2.0f, e1},  // the sign of the distance is dropped
        {GL_EXP2, 0.5f, 0, 0, 2.0f, e1},
        {GL_LINEAR, 0, 0, 10, -4.0f, 0.6f},
        {GL_LINEAR, 0, 0, 10, 20.0f, 0.0f},
        {GL_LINEAR, 0, 5, 10, 1.0f, 1.0f},
    };
    for (const auto &c : cases) {
        in.fogMode = c.mode;
        in.fogDensity = c.density;
        in.fogStart = c.start;
        in.fogEnd = c.end;
        in.fogOneOverEndMinusStart = 1.0f / (c.end - c.start);
        color(0)[0] = 0;
        color(0)[3] = 5;
        rs.spanFog = c.distance;
        rs.fogStep = 0;
        rs.spanLength = 1;
        EXPECT_EQ(__glSpanFogNicest(ctx), 0);
        EXPECT_NEAR(color(0)[0], (1 - c.factor) * 100, 1e-4) << c.mode << " " << c.distance;
        EXPECT_EQ(color(0)[3], 5.0f);
        EXPECT_NEAR(__glFogFactor(ctx, c.distance), c.factor, 1e-6);
        GlFragment frag{0, 0, 0, {0, 0, 0, 5}};
        __glFogFragment(ctx, &frag, c.distance);
        EXPECT_FLOAT_EQ(frag.color[1], color(0)[0]);
    }
    // Vertex colours are in the buffer's scaled units: they mix with the scaled fog colour.
    const float scaled[4] = {100, 50, 0, 0};
    std::memcpy(in.fogScaledColor, scaled, 16);
    const float vertex[4] = {0, 100, 100, 0.75f};
    float out[4];
    __glFogBlendColor(ctx, out, vertex, 0.25f);
    EXPECT_FLOAT_EQ(out[0], 75.0f);
    EXPECT_FLOAT_EQ(out[1], 62.5f);
    EXPECT_FLOAT_EQ(out[2], 25.0f);
    EXPECT_FLOAT_EQ(out[3], 0.75f);
}

TEST_F(SpanStageTest, AlphaTestLooksUpTheTable) {
    GlRasterInputs &in = inputs();
    in.alphaTestSize = 256;
    in.alphaTestScale = 1.0f;
    for (int i = 0; i < 256; ++i) in.alphaTestTable[i] = i >= 128;
    const struct {
        const char *name;
        std::vector<float> alphas;
        bool masked;
        uint32_t before, after;
        uint8_t result, done;
    } cases[] = {
        {"some fail", {200, 10, 300, -5}, false, 0, 0xAFFFFFFF, 1, 0},  // 300 uses the last entry
        // Alpha rounds to the table's steps, as the reference does: 127.5 is step 128.
        {"none fail", {127.5f, 255.9f}, false, 0, 0xFFFFFFFF, 0, 0},
        {"all fail", {127.4f, 0}, false, 0, 0x3FFFFFFF, 1, 1},
        {"masked: live pixel left", {10, 200, 10}, true, 0xE0000000, 0x40000000, 0, 0},
        {"masked: none left", {10, 200, 10}, true, 0xA0000000, 0x00000000, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t i = 0; i < c.alphas.size(); ++i) color(int(i))[3] = c.alphas[i];
        raster().spanLength = int32_t(c.alphas.size());
        raster().spanDone = 0;
        mask()[0] = c.before;
        EXPECT_EQ(c.masked ? __glSpanAlphaTestMasked(ctx) : __glSpanAlphaTest(ctx), c.result);
        EXPECT_EQ(mask()[0], c.after);
        EXPECT_EQ(raster().spanDone, c.done);
    }
    // Spans longer than one word write every word.
    raster().spanLength = 40;
    for (int i = 0; i < 40; ++i) color(i)[3] = i == 33 ? 0.0f : 200.0f;
    EXPECT_EQ(__glSpanAlphaTest(ctx), 1);
    EXPECT_EQ(mask()[0], 0xFFFFFFFFu);
    EXPECT_EQ(mask()[1], 0xBFFFFFFFu);
}

}  // namespace
