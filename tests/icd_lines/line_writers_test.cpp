// The line run below the program level: the set-up's first pixel and offset, the scissor stage's
// mask words, the direct writers against the generic store, their rounding and dither, a refused
// lock, and wide lines drawn into both colour buffers through the masked tails.
#include <cmath>
#include <vector>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/line.h"
#include "icd/core/pick.h"
#include "icd/vertex/vertex.h"

namespace {

class LineRunTest : public RasterTest {
protected:
    GlLineRaster &run() { return raster().line; }
    // An x-major run of n pixels from buffer (x, y): one step right, and up on a carry.
    void xRun(int x, int y, int n, double slope = 0.0, double fraction = 0.0) {
        GlLineRaster &l = run();
        l.x = kBias + x;
        l.y = kBias + y;
        l.pixelCount = n;
        raster().spanLength = n;
        l.stepX = 1;
        l.stepY = 0;
        l.carryStepX = 1;
        l.carryStepY = 1;
        l.slope = uint32_t(int64_t(slope * 2147483648.0));
        l.fraction = uint32_t(int64_t(fraction * 2147483648.0));
        raster().targetColorBuffer = colors().drawColorBuffer;
    }
    void setColors(const std::vector<float> &rgba) {
        std::memcpy(raster().fragmentColors, rgba.data(), rgba.size() * sizeof(float));
    }
};

GlVertex vertexAt(float x, float y) {
    GlVertex v{};
    v.window[0] = float(kBias) + x;
    v.window[1] = float(kBias) + y;
    v.color = v.frontColor;
    return v;
}

TEST_F(LineRunTest, SetupFindsTheFirstPixelAndItsOffsetInBothDirections) {
    attach(kX8R8G8B8);
    ctx->state.line.lineWidthInt = 1;
    GlVertex a = vertexAt(0.2f, 0.0f), b = vertexAt(4.2f, 0.0f);
    __glSetupLine(ctx, &a, &b);
    EXPECT_EQ(run().pixelCount, 4);
    EXPECT_NEAR(run().startOffset, -0.2f, 1e-3f);
    EXPECT_EQ(run().x, kBias - 1);  // the pixel whose centre is at 0
    __glSetupLine(ctx, &b, &a);
    EXPECT_EQ(run().pixelCount, 4);
    EXPECT_NEAR(run().startOffset, 0.2f, 1e-3f);
    EXPECT_EQ(run().x, kBias + 3);
    __glSetupLine(ctx, &a, &a);
    EXPECT_EQ(run().pixelCount, 0);
}

// An end at a NaN, infinite or huge window coordinate sets up no pixels: such a line lies wholly
// off any drawable, and converting the coordinate to an int would overflow (a NaN becomes
// INT_MIN and the run near 2^31 pixels long).
TEST_F(LineRunTest, SetupOfAnEndFarOffTheWindowGivesNoPixels) {
    attach(kX8R8G8B8);
    ctx->state.line.lineWidthInt = 1;
    ctx->state.line.lineWidth = 1.0f;
    const float nan = std::nanf(""), inf = INFINITY;
    const float far[][2] = {{nan, 3}, {3, nan}, {inf, 3}, {-inf, 3}, {3, inf}, {3e9f, 3}, {-3e9f, 3},
                            {3, 3e9f}, {3, -3e9f}, {1e30f, 1e30f}, {-16777216.0f, 3}, {3, 16777216.0f}};
    for (const auto &f : far) {
        SCOPED_TRACE(testing::Message() << f[0] << "," << f[1]);
        GlVertex a = vertexAt(2.5f, 2.5f), b{};
        b.window[0] = f[0];
        b.window[1] = f[1];
        b.color = b.frontColor;
        for (bool reversed : {false, true}) {
            run().pixelCount = 99;
            __glSetupLine(ctx, reversed ? &b : &a, reversed ? &a : &b);
            EXPECT_EQ(run().pixelCount, 0);
            run().pixelCount = 99;
            __glSetupLineAntiAlias(ctx, reversed ? &b : &a, reversed ? &a : &b);
            EXPECT_EQ(run().pixelCount, 0);
        }
    }
}

TEST_F(LineRunTest, ScissorLeavesTheMaskAloneForARunInsideTheBox) {
    attach(kX8R8G8B8, 16, 8);
    setClipBox(2, 0, 12, 4);
    uint32_t *mask = raster().maskWords;
    mask[0] = 0x12345678;
    xRun(2, 0, 10, 0.3);  // ends at (11, 2)
    EXPECT_EQ(__glLineScissor(ctx), 0);
    EXPECT_EQ(mask[0], 0x12345678u);
    // Leaving the box on the right and at the top: pixels 0, 1 out of x, the last ones out of y.
    xRun(0, 2, 12, 0.5);  // y steps up every second pixel: 2, 2, 3, 3, 4, ...
    EXPECT_EQ(__glLineScissor(ctx), 1);
    EXPECT_EQ(mask[0] >> 20, 0x300u);  // pixels 2 and 3 only: (2,3) and (3,3)
    EXPECT_EQ(raster().spanDone, 0);
    xRun(0, 6, 4);
    raster().spanDone = 0;
    EXPECT_EQ(__glLineScissor(ctx), 1);
    EXPECT_EQ(raster().spanDone, 1);
}

TEST_F(LineRunTest, IndexWritersRoundToNearestEvenAndDither) {
    attach(kR3G3B2, 16, 8);  // one byte a pixel: the index writers' layout
    xRun(0, 0, 4);
    setColors({3.5f, 0, 0, 0, 2.5f, 0, 0, 0, 10.0f, 0, 0, 0, 200.4f, 0, 0, 0});
    EXPECT_EQ(__glLineStoreIndex8Shaded(ctx), 0);
    EXPECT_EQ(front.element(0, 0), 4u);
    EXPECT_EQ(front.element(1, 0), 2u);
    EXPECT_EQ(front.element(2, 0), 10u);
    EXPECT_EQ(front.element(3, 0), 200u);
    __glLineStoreIndex8Flat(ctx);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(front.element(x, 0), 4u);
    // 10.5 goes up where the ordered dither's offset is positive, down where it is negative.
    setColors({10.5f, 0, 0, 0});
    const char *rows[4] = {"-+-+", "+-+-", "-+-+", "+-+-"};
    for (int y = 0; y < 4; ++y) {
        xRun(0, y, 4);
        __glLineStoreIndex8FlatDither(ctx);
        for (int x = 0; x < 4; ++x) EXPECT_EQ(front.element(x, y), rows[y][x] == '+' ? 11u : 10u) << x << "," << y;
    }
    // 10.0 stays 10 where the offset is most negative, (0, 0), and where it is small, (1, 3).
    setColors({10.0f, 0, 0, 0, 10.0f, 0, 0, 0});
    xRun(0, 0, 1);
    __glLineStoreIndex8ShadedDither(ctx);
    EXPECT_EQ(front.element(0, 0), 10u);
    xRun(1, 3, 1);
    __glLineStoreIndex8ShadedDither(ctx);
    EXPECT_EQ(front.element(1, 3), 10u);
}

// The direct 16-bit writers put the same pixels where the generic store does, every pixel or the
// live ones, with and without the dither.
TEST_F(LineRunTest, RgbWritersMatchTheGenericStore) {
    attach(kR5G6B5, 32, 8);
    const int n = 24;
    std::vector<float> rgba;
    for (int i = 0; i < n; ++i) {
        rgba.push_back(float(i) + 0.3f);
        rgba.push_back(float(2 * i) + 0.7f);
        rgba.push_back(float(31 - i) + 0.1f);
        rgba.push_back(0.0f);
    }
    struct Row {
        const char *name;
        GlStageProc direct, generic;
        bool dither;
        bool masked;
    };
    const Row rows[] = {
        {"shaded", __glLineStoreRgb16Shaded, __glLineStore, false, false},
        {"shaded masked", __glLineStoreRgb16ShadedMasked, __glLineStoreMasked, false, true},
        {"dither", __glLineStoreRgb16ShadedDither, __glLineStore, true, false},
        {"dither masked", __glLineStoreRgb16ShadedDitherMasked, __glLineStoreMasked, true, true},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        raster().shadeFlags = kGlShadeRgba | (r.dither ? kGlShadeDither : 0);
        raster().maskWords[0] = 0xA5A5A5A5;
        std::fill(front.bytes.begin(), front.bytes.end(), 0);
        xRun(1, 1, n, 0.27, 0.6);
        setColors(rgba);
        r.direct(ctx);
        std::vector<uint8_t> direct = front.bytes;
        std::fill(front.bytes.begin(), front.bytes.end(), 0);
        setColors(rgba);
        r.generic(ctx);
        EXPECT_EQ(front.bytes, direct);
        int written = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 32; ++x) written += front.element(x, y) != 0;
        EXPECT_EQ(written, r.masked ? n / 2 : n);
    }
    // The flat writer repeats the first colour.
    std::fill(front.bytes.begin(), front.bytes.end(), 0);
    xRun(0, 0, 3);
    setColors({31.0f, 0.0f, 0.0f, 0.0f});
    __glLineStoreRgb16Flat(ctx);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(front.element(x, 0), 0xF800u);
}

int32_t refuse(GlContext *) { return 0; }

TEST_F(LineRunTest, WriterReportsARefusedLockAndWritesNothing) {
    attach(kR5G6B5, 16, 8);
    xRun(0, 0, 4);
    setColors({31, 63, 31, 0});
    ctx->buffers.drawableLock = refuse;
    EXPECT_EQ(__glLineStoreRgb16Flat(ctx), 1);
    ctx->buffers.drawableLock = nullptr;
    for (uint8_t b : front.bytes) ASSERT_EQ(b, 0);
    EXPECT_EQ(ctx->buffers.lockCount, 0);
}

// A stippled wide line drawn into both buffers: the head's stipple leaves mask words, the wide
// tail repeats the masked stages per row, the front-and-back tail stores each row twice.
TEST_F(LineRunTest, WideStippledLineIntoBothBuffers) {
    attach(kX8R8G8B8, 16, 8, true);
    ctx->state.mode.drawBuffer = GL_FRONT_AND_BACK;
    inputs().drawBothBuffers = 1;
    validate();
    __glPickFragmentStoreProcs(ctx);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth | kGlShadeLineStipple;
    ctx->state.line.lineWidthInt = 2;
    ctx->state.line.lineStipplePattern = 0x3333;  // two on, two off
    ctx->state.line.lineStippleRepeat = 1;
    __glPickLineProcs(ctx);
    ASSERT_EQ(ctx->state.pick.lineList.runner, __glLineRenderStages);
    GlVertex a = vertexAt(1.0f, 3.3f), b = vertexAt(13.0f, 3.3f);  // pixel centres 0.5 .. 11.5
    const GlColorScales &s = ctx->scales;
    const float c0[4] = {s.redScale, 0, 0, s.alphaScale}, c1[4] = {0, 0, s.blueScale, s.alphaScale};
    std::memcpy(a.frontColor, c0, 16);
    std::memcpy(b.frontColor, c1, 16);
    ctx->arrays.vertexBuffer.lineReset = 0;
    __glRenderLine(ctx, &a, &b);
    EXPECT_EQ(front.bytes, back.bytes);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool on = x < 12 && (y == 2 || y == 3) && (x & 2) == 0;
            EXPECT_EQ(front.element(x, y) != 0, on) << x << "," << y;
        }
    // Red falls and blue rises along the line.
    EXPECT_GT(front.element(0, 2) >> 16, front.element(9, 2) >> 16);
    EXPECT_LT(front.element(0, 2) & 0xFF, front.element(9, 2) & 0xFF);
    // The vertices keep their colours.
    EXPECT_EQ(std::memcmp(a.frontColor, c0, 16), 0);
    EXPECT_EQ(std::memcmp(b.frontColor, c1, 16), 0);
}

std::vector<GlFragment> g_fragments;
void recordFragment(GlColorBuffer *, const GlFragment *f) { g_fragments.push_back(*f); }

// A smooth colour-index point: every covered pixel keeps the index's high bits and carries its
// coverage in sixteenths, scaled to 0..15, in the low four.
TEST_F(LineRunTest, SmoothIndexPointCarriesCoverageInTheLowBits) {
    attach(kR3G3B2, 16, 8);
    ctx->visual.rgbaMode = 0;
    ctx->visual.colorIndexMode = 1;
    raster().shadeFlags = 0;
    ctx->state.span.fragment.store = recordFragment;
    ctx->state.pick.pointSizeProc = nullptr;
    ctx->state.point.pointSize = 1.0f;
    GlVertex v = vertexAt(5.0f, 3.0f);  // the centre of pixel (4, 2)
    v.frontColor[0] = 37.0f;
    g_fragments.clear();
    __glRenderPointAntiAliasIndex(ctx, &v);
    ASSERT_EQ(g_fragments.size(), 1u);
    EXPECT_EQ(g_fragments[0].x, kBias + 4);
    EXPECT_EQ(g_fragments[0].y, kBias + 2);
    EXPECT_EQ(g_fragments[0].color[0], 43.0f);  // 32 | round(0.75 * 15)
    EXPECT_EQ(v.frontColor[0], 37.0f);
    g_fragments.clear();
    ctx->state.point.pointSize = 2.0f;
    __glRenderPointAntiAliasIndex(ctx, &v);
    EXPECT_EQ(g_fragments.size(), 9u);  // the centre, four edges at 8/16, four corners at 1/16
    for (const GlFragment &f : g_fragments) {
        const int dx = f.x - (kBias + 4), dy = f.y - (kBias + 2);
        const float want = (dx == 0 && dy == 0) ? 47.0f : (dx == 0 || dy == 0 ? 40.0f : 33.0f);
        EXPECT_EQ(f.color[0], want) << dx << "," << dy;
    }
}

TEST(PointHelpers, CoverageAndIndex) {
    EXPECT_EQ(__glCoverageToIndex(37.0f, 0.5f), 40.0f);
    EXPECT_EQ(__glCoverageToIndex(16.0f, 1.0f), 31.0f);
    EXPECT_EQ(__glAaPointCoverage(0.0f, 0.0f, 0.25f), 0.75f);
    EXPECT_EQ(__glAaPointCoverage(3.0f, 0.0f, 1.0f), 0.0f);
}

}  // namespace
