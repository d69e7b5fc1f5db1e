// Colour-form spans (clamps, expansion into colour-buffer units, reordering, reduction) and the
// pixel-transfer spans with the byte tables that must agree with them.
#include <cmath>
#include "tests/icd_pixel/pixel_fixture.h"

namespace {

constexpr float Rm = 255.0f, Gm = 63.0f, Bm = 31.0f, Am = 127.0f;

struct FormCase {
    const char *what;
    GlPixelSpanProc proc;
    std::vector<float> in;
    std::vector<float> expected;  // one pixel
};

}  // namespace

TEST_F(PixelTest, Clamps) {
    const float in[6] = {1.5f, -0.25f, -0.0f, 1.0f, INFINITY, 0.5f};
    float out[6];
    GlPixelSpan span = rowSpan(3, 2, 2);
    __glClampColors(ctx, &span, in, out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(floatBits(out[2]), 0x80000000u);
    EXPECT_EQ(out[3], 1.0f);
    EXPECT_EQ(out[4], 1.0f);
    EXPECT_EQ(out[5], 0.5f);
    span = rowSpan(2, 1, 3);  // the pack forms count destination components
    __glClampColorsPack(ctx, &span, in, out);
    EXPECT_EQ(out[4], 1.0f);
    __glClampNegativeToZero(ctx, &span, in, out);
    EXPECT_EQ(out[0], 1.5f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_EQ(out[4], INFINITY);
}

TEST_F(PixelTest, ColorFormsInAndOut) {
    setMaxima(Rm, Gm, Bm, Am);
    const FormCase cases[] = {
        {"red", __glExpandRedScaled, {0.5f}, {0.5f * Rm, 0, 0, Am}},
        {"green", __glExpandGreenScaled, {0.5f}, {0, 0.5f * Gm, 0, Am}},
        {"blue", __glExpandBlueScaled, {0.5f}, {0, 0, 0.5f * Bm, Am}},
        {"alpha", __glExpandAlphaScaled, {0.5f}, {0, 0, 0, 0.5f * Am}},
        {"rgb", __glExpandRGBScaled, {0.25f, 0.5f, 1.0f}, {0.25f * Rm, 0.5f * Gm, Bm, Am}},
        {"bgr", __glExpandBGRScaled, {0.0f, 0.5f, 1.0f}, {Rm, 0.5f * Gm, 0, Am}},
        {"luminance", __glExpandLuminanceScaled, {0.5f}, {0.5f * Rm, 0.5f * Gm, 0.5f * Bm, Am}},
        {"luminance alpha", __glExpandLuminanceAlphaScaled, {1.0f, 0.5f}, {Rm, Gm, Bm, 0.5f * Am}},
        {"red alpha pair", __glExpandRedAlphaScaled, {1.0f, 0.5f}, {Rm, 0, 0, 0.5f * Am}},
        {"intensity", __glExpandIntensityScaled, {1.0f}, {Rm, Gm, Bm, Am}},
        {"rgba to buffer", __glScaleRGBAToBuffer, {1, 0.5f, 0, 0.25f}, {Rm, 0.5f * Gm, 0, 0.25f * Am}},
        {"abgr to buffer", __glScaleABGRToBuffer, {0.25f, 0, 0.5f, 1}, {Rm, 0.5f * Gm, 0, 0.25f * Am}},
        {"bgra to buffer", __glScaleBGRAToBuffer, {0, 0.5f, 1, 0.25f}, {Rm, 0.5f * Gm, 0, 0.25f * Am}},
        {"replicate rgb", __glReplicateToRGB, {0.3f}, {0.3f, 0.3f, 0.3f}},
        {"replicate la", __glReplicateLuminanceAlpha, {0.3f, 0.7f}, {0.3f, 0.3f, 0.3f, 0.7f}},
        {"replicate rgba", __glReplicateToRGBA, {0.3f}, {0.3f, 0.3f, 0.3f, 0.3f}},
        {"reverse", __glReverseComponents, {1, 2, 3, 4}, {4, 3, 2, 1}},
        {"swap red blue", __glSwapRedBlue, {1, 2, 3, 4}, {3, 2, 1, 4}},
        {"from buffer", __glScaleRGBAFromBuffer, {Rm, 0, Bm, Am}, {1, 0, 1, 1}},
        {"from buffer 2", __glScaleRGBAFromBuffer2, {0, Gm, 0, 0}, {0, 1, 0, 0}},
        {"to red", __glReduceToRed, {Rm, Gm, 0, 0}, {1}},
        {"to green", __glReduceToGreen, {0, Gm, Bm, 0}, {1}},
        {"to blue", __glReduceToBlue, {0, 0, Bm, 0}, {1}},
        {"to alpha", __glReduceToAlpha, {Rm, 0, 0, 0.5f * Am}, {0.5f}},
        {"to rgb", __glReduceToRGB, {Rm, 0, 0.5f * Bm, Am}, {1, 0, 0.5f}},
        {"to bgr", __glReduceToBGR, {Rm, 0, 0.5f * Bm, Am}, {0.5f, 0, 1}},
        {"to abgr", __glReduceToABGR, {Rm, 0, 0.5f * Bm, 0}, {0, 0.5f, 0, 1}},
        {"to bgra", __glReduceToBGRA, {Rm, Gm, Bm, Am}, {1, 1, 1, 1}},
        {"to bgra order", __glReduceToBGRA, {Rm, 0, 0.5f * Bm, 0}, {0.5f, 0, 1, 0}},
        {"luminance capped", __glReduceToLuminance, {Rm, Gm, Bm, Am}, {1.0f}},
        {"luminance sum", __glReduceToLuminance, {0.25f * Rm, 0.25f * Gm, 0, 0}, {0.5f}},
        {"luminance alpha", __glReduceToLuminanceAlpha, {Rm, Gm, Bm, 0.5f * Am}, {1.0f, 0.5f}},
        {"red alpha pair", __glReduceToRedAlpha, {0.5f * Rm, Gm, Bm, Am}, {0.5f, 1.0f}},
    };
    for (const FormCase &c : cases) {
        SCOPED_TRACE(c.what);
        // Two identical pixels: the second shows the stride of both rows.
        std::vector<float> in = c.in;
        in.insert(in.end(), c.in.begin(), c.in.end());
        std::vector<float> out(c.expected.size() * 2 + 1, -99.0f);
        GlPixelSpan span = rowSpan(2, int32_t(c.in.size()));
        c.proc(ctx, &span, in.data(), out.data());
        for (size_t p = 0; p < 2; ++p)
            for (size_t i = 0; i < c.expected.size(); ++i)
                EXPECT_NEAR(out[p * c.expected.size() + i], c.expected[i], 1e-4f) << p << " " << i;
        EXPECT_EQ(out.back(), -99.0f) << "wrote past the row";
    }
}

class PixelTransferTest : public PixelTest {
protected:
    void SetUp() override {
        PixelTest::SetUp();
        if (HasFatalFailure()) return;
        setMaxima(Rm, Gm, Bm, Am);
        ctx->visual.indexBits = 8;
        ctx->visual.stencilBits = 8;
    }
    GlPixelTransferState &xf() { return ctx->state.pixel.transfer; }
    void map(GLenum m, std::vector<float> values) {
        GL(glPixelMapfv)(m, GLint(values.size()), values.data());
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
    std::vector<float> run(GlPixelSpanProc proc, std::vector<float> in, int32_t width, GLenum dstFormat = GL_RGBA,
                           int outPerPixel = 4) {
        GlPixelSpan span = rowSpan(width);
        span.dstFormat = dstFormat;
        __glComputePixelTransferFlags(ctx);
        std::vector<float> out(size_t(width) * outPerPixel);
        proc(ctx, &span, in.data(), out.data());
        return out;
    }
};

TEST_F(PixelTransferTest, ScaleBiasClampsToTheMaximum) {
    xf().redScale = 2.0f;
    xf().greenBias = -1.0f;
    std::vector<float> out = run(__glTransferRGBA, {0.75f, 0.5f, 0.5f, 1.0f}, 1);
    EXPECT_EQ(out[0], Rm);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_NEAR(out[2], 0.5f * Bm, 1e-4f);
    EXPECT_EQ(out[3], Am);
}

// The components a format lacks come from the transfer of (0, 0, 0, 1), not from plain zeros.
TEST_F(PixelTransferTest, MissingComponentsAreTheTransferredColor) {
    xf().greenBias = 0.5f;
    xf().blueBias = 0.25f;
    xf().alphaScale = 0.5f;
    std::vector<float> out = run(__glTransferRed, {1.0f}, 1);
    EXPECT_EQ(out[0], Rm);
    EXPECT_NEAR(out[1], 0.5f * Gm, 1e-4f);
    EXPECT_NEAR(out[2], 0.25f * Bm, 1e-4f);
    EXPECT_NEAR(out[3], 0.5f * Am, 1e-4f);
    // Each one-, two- and three-component form applies its channels and fills the rest.
    struct Case {
        GlPixelSpanProc proc;
        std::vector<float> in;
        std::vector<float> expected;
    };
    const float G0 = 0.5f * Gm, B0 = 0.25f * Bm, A1 = 0.5f * Am;
    const Case cases[] = {
        {__glTransferGreen, {1.0f}, {0, Gm, B0, A1}},
        {__glTransferBlue, {1.0f}, {0, G0, Bm, A1}},
        {__glTransferAlpha, {1.0f}, {0, G0, B0, A1}},
        {__glTransferRGB, {1.0f, 0.0f, 0.0f}, {Rm, G0, B0, A1}},
        {__glTransferBGR, {0.0f, 0.0f, 1.0f}, {Rm, G0, B0, A1}},
        {__glTransferLuminance, {0.2f}, {0.2f * Rm, Gm * 0.7f, Bm * 0.45f, A1}},
        {__glTransferLuminanceAlpha, {0.2f, 1.0f}, {0.2f * Rm, Gm * 0.7f, Bm * 0.45f, A1}},
        {__glTransferRedAlpha, {0.2f, 1.0f}, {0.2f * Rm, G0, B0, A1}},
        {__glTransferABGR, {1.0f, 0.0f, 0.0f, 1.0f}, {Rm, G0, B0, A1}},
        {__glTransferBGRA, {0.0f, 0.0f, 1.0f, 1.0f}, {Rm, G0, B0, A1}},
    };
    for (const Case &c : cases) {
        std::vector<float> got = run(c.proc, c.in, 1);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], c.expected[k], 1e-3f) << (&c - cases) << " " << k;
    }
}

TEST_F(PixelTransferTest, ColorMapsSelectClampedEntries) {
    xf().mapColor = 1;
    map(GL_PIXEL_MAP_R_TO_R, {0.25f});                     // size 1: every red takes entry 0
    map(GL_PIXEL_MAP_G_TO_G, {0.0f, 0.5f, 1.0f, 0.75f});  // size 4
    xf().greenBias = 0.0f;
    std::vector<float> out = run(__glTransferRGBA, {1.0f, 0.5f, 0, 1, 0.3f, -5.0f, 0, 1, 0.9f, 7.0f, 0, 1}, 3);
    EXPECT_NEAR(out[0], 0.25f * Rm, 1e-4f);
    EXPECT_NEAR(out[4], 0.25f * Rm, 1e-4f);
    EXPECT_NEAR(out[1], 1.0f * Gm, 1e-4f);   // 3 x 0.5 + 0.5 = 2
    EXPECT_NEAR(out[5], 0.0f, 1e-4f);        // negative: entry 0
    EXPECT_NEAR(out[9], 0.75f * Gm, 1e-4f);  // above the map: entry 3
}

TEST_F(PixelTransferTest, DepthScaleBias) {
    xf().depthScale = 4.0f;
    xf().depthBias = -1.0f;
    std::vector<float> out = run(__glTransferDepth, {0.5f, 0.1f, 0.3f}, 3, GL_DEPTH_COMPONENT, 1);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_NEAR(out[2], 0.2f, 1e-6f);
}

TEST_F(PixelTransferTest, IndexShiftOffsetAndMaps) {
    // A shift beyond the index bits is cut to its low five bits, then to the bit count.
    xf().indexShift = 40;  // 40 AND 31 = 8
    EXPECT_EQ(run(__glTransferIndex, {1.0f}, 1, GL_COLOR_INDEX, 1)[0], 256.0f);
    xf().indexShift = 6;
    xf().indexOffset = 3;
    EXPECT_EQ(run(__glTransferIndex, {2.0f}, 1, GL_COLOR_INDEX, 1)[0], 131.0f);
    xf().indexShift = -2;
    xf().indexOffset = 0;
    EXPECT_EQ(run(__glTransferIndex, {17.0f}, 1, GL_COLOR_INDEX, 1)[0], 4.0f);
    EXPECT_EQ(run(__glTransferStencil, {-17.0f}, 1, GL_STENCIL_INDEX, 1)[0], -5.0f);  // arithmetic shift
    // Shifts beyond the word shift every bit out.
    xf().indexShift = -40;
    std::vector<float> far = run(__glTransferIndex, {1000.0f, -1000.0f}, 2, GL_COLOR_INDEX, 1);
    EXPECT_EQ(far[0], 0.0f);
    EXPECT_EQ(far[1], -1.0f);
    ASSERT_TRUE(__glBuildIndexTransferTable(ctx, &ctx->state.pixel.tables));
    EXPECT_EQ(ctx->state.pixel.tables.indexToIndex[255], 0.0f);
    // Maps: the value AND (size - 1) selects an entry.
    xf().indexShift = 0;
    xf().mapColor = 1;
    xf().mapStencil = 1;
    map(GL_PIXEL_MAP_I_TO_I, {10, 11, 12, 13});
    map(GL_PIXEL_MAP_S_TO_S, {20, 21});
    EXPECT_EQ(run(__glTransferIndex, {6.0f}, 1, GL_COLOR_INDEX, 1)[0], 12.0f);
    EXPECT_EQ(run(__glTransferStencil, {7.0f}, 1, GL_STENCIL_INDEX, 1)[0], 21.0f);
    // Indices becoming colours go through the four I_TO_x maps.
    map(GL_PIXEL_MAP_I_TO_R, {0.0f, 1.0f});
    map(GL_PIXEL_MAP_I_TO_A, {0.5f, 0.25f});
    std::vector<float> rgba = run(__glTransferIndex, {3.0f}, 1, GL_RGBA, 4);
    EXPECT_EQ(rgba[0], Rm);
    EXPECT_EQ(rgba[1], 0.0f);
    EXPECT_NEAR(rgba[3], 0.25f * Am, 1e-4f);
}

// The byte tables hold, for every byte value, what the spans produce for that value.
TEST_F(PixelTransferTest, ByteTablesAgreeWithTheSpans) {
    struct Setup {
        const char *what;
        float redScale, greenBias, alphaScale;
        uint8_t mapColor;
        int32_t shift, offset;
    };
    const Setup setups[] = {
        {"identity", 1.0f, 0.0f, 1.0f, 0, 0, 0},
        {"scale and bias", 1.7f, -0.3f, 0.5f, 0, 0, 0},
        {"maps", 1.0f, 0.0f, 1.0f, 1, 0, 0},
        {"shift and offset", 1.0f, 0.0f, 1.0f, 0, 1, 5},
        {"maps shift offset", 0.8f, 0.101f, 1.0f, 1, 2, -3},
    };
    std::vector<float> ramp(256), ramp2(256), iramp(4);
    for (int i = 0; i < 256; ++i) ramp[i] = float(i) / 255.0f, ramp2[i] = float(255 - i) / 255.0f;
    for (int i = 0; i < 4; ++i) iramp[i] = float(i * 40);
    map(GL_PIXEL_MAP_R_TO_R, ramp2);
    map(GL_PIXEL_MAP_G_TO_G, ramp);
    map(GL_PIXEL_MAP_I_TO_I, iramp);
    map(GL_PIXEL_MAP_I_TO_G, ramp2);
    GlPixelTables &t = ctx->state.pixel.tables;
    for (const Setup &s : setups) {
        SCOPED_TRACE(s.what);
        xf().redScale = s.redScale, xf().greenBias = s.greenBias, xf().alphaScale = s.alphaScale;
        xf().mapColor = s.mapColor, xf().indexShift = s.shift, xf().indexOffset = s.offset;
        ASSERT_TRUE(__glBuildUbyteTransferTables(ctx, &t));
        ASSERT_TRUE(__glBuildIndexTransferTable(ctx, &t));
        ASSERT_TRUE(__glBuildIndexToRGBATables(ctx, &t));
        EXPECT_EQ(t.rgbaValid, 1);
        EXPECT_EQ(t.indexValid, 1);
        EXPECT_EQ(t.indexToRGBAValid, 1);
        std::vector<float> rgbaIn(256 * 4), indexIn(256);
        for (int i = 0; i < 256; ++i) {
            for (int k = 0; k < 4; ++k) rgbaIn[i * 4 + k] = ctx->ubyteToFloat[i];
            indexIn[i] = float(i);
        }
        std::vector<float> rgba = run(__glTransferRGBA, rgbaIn, 256);
        std::vector<float> index = run(__glTransferIndex, indexIn, 256, GL_COLOR_INDEX, 1);
        std::vector<float> indexRgba = run(__glTransferIndex, indexIn, 256, GL_RGBA, 4);
        for (int i = 0; i < 256; ++i) {
            for (int k = 0; k < 4; ++k) {
                ASSERT_NEAR(t.rgba[k][i], rgba[i * 4 + k], 1e-3f) << "rgba " << i << " " << k;
                ASSERT_EQ(t.indexToRGBA[k][i], indexRgba[i * 4 + k]) << "index rgba " << i << " " << k;
            }
            ASSERT_EQ(t.indexToIndex[i], float(uint32_t(index[i]) & 0xFFu)) << "index " << i;
        }
    }
}

TEST_F(PixelTransferTest, FlagsAndTransferredColor) {
    GlPixelTables &t = ctx->state.pixel.tables;
    ctx->visual.rgbaMode = 0;
    __glComputePixelTransferFlags(ctx);
    EXPECT_EQ(t.transferRGBA, 0);
    EXPECT_EQ(t.transferIndex, 0);
    EXPECT_EQ(t.transferStencil, 0);
    EXPECT_EQ(t.transferDepth, 0);
    EXPECT_EQ(t.transferredColor[3], 1.0f);  // kept in [0, 1]
    xf().alphaBias = 0.25f;
    xf().indexOffset = 1;
    xf().depthBias = 0.5f;
    t.indexValid = t.indexToRGBAValid = t.rgbaValid = 1;
    __glComputePixelTransferFlags(ctx);
    EXPECT_EQ(t.transferRGBA, 1);
    EXPECT_EQ(t.transferIndex, 1);
    EXPECT_EQ(t.transferStencil, 1);
    EXPECT_EQ(t.transferDepth, 1);
    EXPECT_EQ(t.indexValid, 0);
    EXPECT_EQ(t.indexToRGBAValid, 0);
    EXPECT_EQ(t.rgbaValid, 0);
    EXPECT_EQ(t.transferredColor[3], 1.0f);  // 1.0 + 0.25 clamped
    ctx->visual.rgbaMode = 1;
}

// The plain byte tables follow the colour maxima and the index mask each time they are built, and
// building them marks the transferred colour tables stale.
TEST_F(PixelTransferTest, PlainByteTablesFollowTheBuffer) {
    GlPixelTables &t = ctx->state.pixel.tables;
    float *const red = t.ubyteRed;
    t.rgbaValid = 1;
    ctx->visual.indexBits = 4;
    ASSERT_TRUE(__glBuildPixelByteTables(ctx));
    EXPECT_EQ(t.ubyteRed, red);  // refilled in place
    EXPECT_EQ(t.rgbaValid, 0);
    EXPECT_EQ(t.ubyteRed[0], 0.0f);
    EXPECT_NEAR(t.ubyteRed[255], Rm, 1e-4f);
    EXPECT_NEAR(t.ubyteGreen[255], Gm, 1e-4f);
    EXPECT_NEAR(t.ubyteBlue[51], 0.2f * Bm, 1e-4f);
    EXPECT_NEAR(t.ubyteAlpha[255], Am, 1e-4f);
    EXPECT_EQ(t.ubyteIndex[0x37], 7.0f);
}
