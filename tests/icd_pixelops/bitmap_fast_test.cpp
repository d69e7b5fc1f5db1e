// glBitmap (patterns, clipping, raster-position moves, the render modes, the renderer choice) and
// the direct DrawPixels writers of 16-bit buffers.
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

using PixelOpsBitmap = PixelOpsTest;

TEST_F(PixelOpsBitmap, DrawsItsBitsAndMovesTheRasterPosition) {
    // 10 x 2, rows bottom first, each row padded to the unpack alignment of 4: 1010000011 / 0110000001
    const uint8_t bits[] = {0xA0, 0xC0, 0, 0, 0x60, 0x40, 0, 0};
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    GL(glRasterPos2i)(3, 4);
    bitmap(10, 2, 0.0f, 0.0f, 11.0f, -1.0f, bits);
    const char *rows[2] = {"1010000011", "0110000001"};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 10; ++c)
            EXPECT_EQ(at(3 + c, 4 + r), rows[r][c] == '1' ? 0xFF0000u : 0u) << c << "," << r;
    EXPECT_FLOAT_EQ(rasterX(), 14.0f);
    EXPECT_FLOAT_EQ(rasterY(), 3.0f);
    // The next bitmap starts at the moved position; the origin moves the first pixel.
    const uint8_t one[] = {0x80};
    ASSERT_EQ(at(10, 4), 0u);
    bitmap(1, 1, 4.0f, -1.0f, 0.0f, 0.0f, one);
    EXPECT_EQ(at(10, 4), 0xFF0000u);
}

// Left of the clip box the drawing starts at the right bit of the first visible byte; a scissor
// box cuts rows and columns alike.
TEST_F(PixelOpsBitmap, ClipsAtTheLeftEdgeAndTheScissorBox) {
    const uint8_t bits[] = {0x1B, 0xFF};  // 16 x 1: 0001101111111111
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    GL(glRasterPos2i)(2, 1);
    bitmap(16, 1, 5.0f, 0.0f, 0.0f, 0.0f, bits);  // first pixel at x = -3
    const char *expect = "1101111111111";       // bits 3.. at x = 0..
    for (int x = 0; x < 13; ++x) EXPECT_EQ(at(x, 1), expect[x] == '1' ? 0x00FF00u : 0u) << x;
    EXPECT_EQ(at(13, 1), 0u);
    clearColor();
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glScissor)(4, 0, 3, 16);
    GL(glRasterPos2i)(0, 1);
    // Two rows of 2 bytes, each padded to the unpack alignment of 4.
    const uint8_t full[] = {0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    bitmap(16, 2, 0.0f, 0.0f, 0.0f, 0.0f, full);
    for (int x = 0; x < 16; ++x) EXPECT_EQ(at(x, 1) != 0, x >= 4 && x < 7) << x;
    GL(glDisable)(GL_SCISSOR_TEST);
}

TEST_F(PixelOpsBitmap, RenderModesAndEmptyBitmaps) {
    const uint8_t bits[] = {0xFF};
    // Width 0 only moves.
    GL(glRasterPos2i)(1, 1);
    bitmap(0, 0, 0.0f, 0.0f, 2.5f, 1.0f, nullptr);
    EXPECT_FLOAT_EQ(rasterX(), 3.5f);
    EXPECT_FLOAT_EQ(rasterY(), 2.0f);
    // Selection draws nothing and still moves.
    GLuint names[8];
    GL(glSelectBuffer)(8, names);
    GL(glRenderMode)(GL_SELECT);
    bitmap(8, 1, 0.0f, 0.0f, 1.0f, 0.0f, bits);
    GL(glRenderMode)(GL_RENDER);
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(kW * kH, 0u));
    EXPECT_FLOAT_EQ(rasterX(), 4.5f);
    // Feedback records the bitmap token at the raster position and moves.
    GLfloat fb[16] = {};
    GL(glFeedbackBuffer)(16, GL_2D, fb);
    GL(glRenderMode)(GL_FEEDBACK);
    GL(glRasterPos2i)(5, 6);
    bitmap(8, 1, 0.0f, 0.0f, 1.0f, 0.0f, bits);
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 3);
    EXPECT_EQ(fb[0], float(GL_BITMAP_TOKEN));
    EXPECT_FLOAT_EQ(fb[1], 5.0f);
    EXPECT_FLOAT_EQ(fb[2], 6.0f);
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(kW * kH, 0u));
    EXPECT_FLOAT_EQ(rasterX(), 6.0f);
    // An invalid raster position: nothing drawn, nothing moved.
    GL(glRasterPos2f)(-50.0f, 1.0f);
    bitmap(8, 1, 0.0f, 0.0f, 100.0f, 0.0f, bits);
    EXPECT_FALSE(ctx->current.rasterPosValid);
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(kW * kH, 0u));
}

// Per-fragment operations take the generic renderer: a depth test rejects the bits behind.
TEST_F(PixelOpsBitmap, FragmentOperationsTakeTheGenericRenderer) {
    const uint8_t bits[] = {0xFF};
    GL(glClearDepth)(0.5);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    GL(glRasterPos3f)(0.0f, 0.0f, -0.5f);  // window depth 0.75: behind
    bitmap(8, 1, 0.0f, 0.0f, 0.0f, 0.0f, bits);
    EXPECT_EQ(ctx->state.pixelOps.bitmapRenderer, __glRenderBitmap);
    EXPECT_EQ(at(0, 0), 0u);
    GL(glRasterPos3f)(0.0f, 0.0f, 0.5f);  // in front
    bitmap(8, 1, 0.0f, 0.0f, 0.0f, 0.0f, bits);
    EXPECT_EQ(at(7, 0), 0xFFFFFFu);
}

// ---- 16-bit buffers: the direct bitmap and DrawPixels writers --------------------------------
class PixelOps16 : public PixelOpsTest {
protected:
    void SetUp() override {
        PixelOpsTest::SetUp();
        if (HasFatalFailure()) return;
        useFront16(kR5G6B5);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    }
    uint32_t px(int x, int y) { return pixel(x, y); }
};

TEST_F(PixelOps16, BitmapWritesOnePixelValue) {
    const uint8_t bits[] = {0xA0};
    GL(glColor3f)(1.0f, 0.5f, 0.0f);
    GL(glRasterPos2i)(1, 1);
    bitmap(3, 1, 0.0f, 0.0f, 0.0f, 0.0f, bits);
    EXPECT_EQ(ctx->state.pixelOps.bitmapRenderer, __glRenderBitmap16);
    EXPECT_EQ(px(1, 1), (31u << 11) | (32u << 5));
    EXPECT_EQ(px(2, 1), 0u);
    EXPECT_EQ(px(3, 1), (31u << 11) | (32u << 5));
}

TEST_F(PixelOps16, DirectWriters) {
    const uint8_t rgb[] = {255, 255, 255, 0, 0, 0, 200, 100, 50, 8, 4, 8};
    // Plain: each component as its nearest 5- or 6-bit value, round(c x max / 255).
    auto nearest = [](uint32_t c, uint32_t max) { return (c * max * 2 + 255) / 510; };
    const uint32_t mixed = nearest(200, 31) << 11 | nearest(100, 63) << 5 | nearest(50, 31);
    GL(glRasterPos2i)(0, 0);
    drawPixels(4, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(px(0, 0), 0xFFFFu);
    EXPECT_EQ(px(1, 0), 0u);
    EXPECT_EQ(px(2, 0), mixed);
    EXPECT_EQ(px(3, 0), 1u << 11 | 1u << 5 | 1u);
    // Mirrored: right to left from the raster position.
    GL(glPixelZoom)(-1.0f, 1.0f);
    GL(glRasterPos2i)(10, 1);
    drawPixels(4, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(px(9, 1), 0xFFFFu);
    EXPECT_EQ(px(7, 1), mixed);
    EXPECT_EQ(px(10, 1), 0u);
    GL(glPixelZoom)(1.0f, 1.0f);
    // Dithered: white stays white and black black at every position.
    GL(glEnable)(GL_DITHER);
    std::vector<uint8_t> wb;
    for (int i = 0; i < 8; ++i) wb.insert(wb.end(), {255, 255, 255, 0, 0, 0});
    for (int y = 2; y < 6; ++y) {
        GL(glRasterPos2i)(0, y);
        drawPixels(16, 1, GL_RGB, GL_UNSIGNED_BYTE, wb.data());
        for (int x = 0; x < 16; ++x) EXPECT_EQ(px(x, y), x % 2 == 0 ? 0xFFFFu : 0u) << x << "," << y;
    }
    GL(glDisable)(GL_DITHER);
    // Alpha tested: failing pixels stay as they were, in every byte order.
    GL(glEnable)(GL_ALPHA_TEST);
    GL(glAlphaFunc)(GL_GREATER, 0.5f);
    const uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 0};
    const uint8_t bgra[] = {0, 0, 255, 255, 0, 255, 0, 0};
    const uint8_t abgr[] = {255, 0, 0, 255, 0, 0, 255, 0};
    const struct {
        GLenum format;
        const uint8_t *data;
    } orders[] = {{GL_RGBA, rgba}, {kGlFormatBGRA, bgra}, {kGlFormatABGR, abgr}};
    for (const auto &o : orders) {
        SCOPED_TRACE(o.format);
        setPixel(0, 7, 0x1234);
        setPixel(1, 7, 0x1234);
        GL(glRasterPos2i)(0, 7);
        drawPixels(2, 1, o.format, GL_UNSIGNED_BYTE, o.data);
        EXPECT_EQ(px(0, 7), 0xF800u);
        EXPECT_EQ(px(1, 7), 0x1234u);
    }
}

// With no colour buffer drawn the direct writers are not used: nothing is written, and the raster
// position still moves.
TEST_F(PixelOps16, DrawBufferNoneWritesNothing) {
    const uint8_t bits[] = {0xFF};
    const uint8_t rgb[] = {255, 255, 255, 255, 255, 255};
    GL(glDrawBuffer)(GL_NONE);
    GL(glRasterPos2i)(1, 1);
    bitmap(8, 1, 0.0f, 0.0f, 3.0f, 0.0f, bits);
    EXPECT_FLOAT_EQ(rasterX(), 4.0f);
    drawPixels(2, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(px(x, y), 0u) << x << "," << y;
}

// Fog is per-fragment work: unsigned bytes with fog on are fogged like any other pixels.
TEST_F(PixelOps16, FogTakesTheGenericPath) {
    const uint8_t red[] = {255, 0, 0};
    GL(glEnable)(GL_FOG);
    GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
    GL(glFogf)(GL_FOG_START, 0.0f);
    GL(glFogf)(GL_FOG_END, 0.1f);
    const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    GL(glFogfv)(GL_FOG_COLOR, blue);
    GL(glRasterPos3f)(2.0f, 2.0f, -0.5f);  // eye distance 0.5: past the fog's end
    drawPixels(1, 1, GL_RGB, GL_UNSIGNED_BYTE, red);
    EXPECT_EQ(px(2, 2) >> 11, 0u);      // no red left
    EXPECT_EQ(px(2, 2) & 0x1F, 0x1Fu);  // all fog blue
}

}  // namespace
