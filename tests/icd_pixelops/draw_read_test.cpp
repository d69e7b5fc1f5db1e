// glDrawPixels and glReadPixels through the procs validation installs: round trips over formats
// and types, zoom in every direction, clipping at the window's edges, guard bytes around client
// images, and the fragment operations applied to drawn pixels.
#include <array>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kGrey = 0x808080;

using PixelOpsDrawRead = PixelOpsTest;

// Three pixels, red, green and blue-grey, drawn from each client form and read back as RGB bytes.
TEST_F(PixelOpsDrawRead, RoundTripsOverFormatsAndTypes) {
    const uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 255, 128, 128, 128, 255};
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 128, 128, 128};
    const uint8_t bgra[] = {0, 0, 255, 255, 0, 255, 0, 255, 128, 128, 128, 255};
    const float rgbaf[] = {1, 0, 0, 1, 0, 1, 0, 1, 128.0f / 255, 128.0f / 255, 128.0f / 255, 1};
    const uint16_t rgbus[] = {65535, 0, 0, 0, 65535, 0, 0x8080, 0x8080, 0x8080};
    const uint32_t packed[] = {0xFF0000FFu, 0x00FF00FFu, 0x808080FFu};
    struct Row {
        const char *name;
        GLenum format, type;
        const void *data;
    } rows[] = {
        {"RGBA bytes", GL_RGBA, GL_UNSIGNED_BYTE, rgba},
        {"RGB bytes", GL_RGB, GL_UNSIGNED_BYTE, rgb},
        {"BGRA bytes", kGlFormatBGRA, GL_UNSIGNED_BYTE, bgra},
        {"RGBA floats", GL_RGBA, GL_FLOAT, rgbaf},
        {"RGB shorts", GL_RGB, GL_UNSIGNED_SHORT, rgbus},
        {"RGBA 8888", GL_RGBA, kGlUnsignedInt8888, packed},
    };
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        clearColor();
        GL(glRasterPos2i)(2, 3);
        drawPixels(3, 1, r.format, r.type, r.data);
        EXPECT_EQ(at(1, 3), 0u);
        EXPECT_EQ(at(2, 3), kRed);
        EXPECT_EQ(at(3, 3), kGreen);
        EXPECT_EQ(at(4, 3), kGrey);
        EXPECT_EQ(at(5, 3), 0u);
        uint8_t back[9 + 2] = {};
        back[9] = back[10] = 0xEE;
        readPixels(2, 3, 3, 1, GL_RGB, GL_UNSIGNED_BYTE, back);
        EXPECT_EQ(std::memcmp(back, rgb, 9), 0);
        EXPECT_EQ(back[9], 0xEE);
        EXPECT_EQ(back[10], 0xEE);
    }
}

TEST_F(PixelOpsDrawRead, ReadBackInOtherFormats) {
    setPixel(0, 0, 0x336699);
    setPixel(2, 0, 0x112233);
    setPixel(1, 0, 0xFFFFFF);
    float f[8] = {};
    readPixels(0, 0, 2, 1, GL_RGBA, GL_FLOAT, f);
    EXPECT_FLOAT_EQ(f[0], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(f[1], 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(f[2], 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(f[3], 1.0f);  // no alpha bits: alpha reads one
    // Luminance sums red, green and blue, capped at one.
    uint8_t l[3] = {};
    readPixels(0, 0, 3, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, l);
    EXPECT_EQ(l[2], 0x11 + 0x22 + 0x33);
    EXPECT_EQ(l[0], 255);
    EXPECT_EQ(l[1], 255);
    uint8_t bgr[6] = {};
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    readPixels(0, 0, 2, 1, kGlFormatBGR, GL_UNSIGNED_BYTE, bgr);
    EXPECT_EQ(bgr[0], 0x99);
    EXPECT_EQ(bgr[2], 0x33);
}

// A read rectangle partly outside the drawable fills only the inside part of the client image;
// the rest, and the bytes around the image, keep what they held.
TEST_F(PixelOpsDrawRead, ReadOutsideTheDrawableLeavesTheClientBytes) {
    fillPattern();
    constexpr int w = 6, h = 5;
    uint32_t image[2 + w * h + 2];
    std::fill(std::begin(image), std::end(image), 0xDEADBEEFu);
    readPixels(kW - 3, kH - 2, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image + 2);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const bool inside = x < 3 && y < 2;
            uint32_t v = image[2 + y * w + x];
            if (inside) {
                uint32_t p = at(kW - 3 + x, kH - 2 + y);
                EXPECT_EQ(v, (p >> 16) | (p & 0xFF00) | ((p & 0xFF) << 16) | 0xFF000000u);
            } else {
                EXPECT_EQ(v, 0xDEADBEEFu);
            }
        }
    EXPECT_EQ(image[0], 0xDEADBEEFu);
    EXPECT_EQ(image[1], 0xDEADBEEFu);
    EXPECT_EQ(image[2 + w * h], 0xDEADBEEFu);
    EXPECT_EQ(image[3 + w * h], 0xDEADBEEFu);
    // Left of and below the window: the skipped part is at the start of the image.
    std::fill(std::begin(image), std::end(image), 0xDEADBEEFu);
    readPixels(-2, -1, w, h, GL_RGBA, GL_UNSIGNED_BYTE, image + 2);
    EXPECT_EQ(image[2], 0xDEADBEEFu);
    EXPECT_EQ(image[2 + w + 1], 0xDEADBEEFu);
    EXPECT_NE(image[2 + w + 2], 0xDEADBEEFu);  // pixel (0, 0)
    EXPECT_EQ(image[2 + w * h], 0xDEADBEEFu);
}

// Each zoom draws every source pixel over the destination pixels whose centres it covers.
TEST_F(PixelOpsDrawRead, ZoomInEveryDirection) {
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};  // 2 x 2: R G / B W
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    struct Row {
        const char *name;
        float zx, zy;
        float rx, ry;
        // Expected pixels: (x, y, colour).
        std::vector<std::array<uint32_t, 3>> pixels;
        int count;  // lit pixels in all
    } rows[] = {
        {"zoom 2", 2.0f, 2.0f, 4, 4, {{4, 4, kRed}, {5, 5, kRed}, {6, 4, kGreen}, {7, 5, kGreen}, {4, 6, kBlue}, {7, 7, 0xFFFFFF}}, 16},
        {"zoom x -1 mirrors", -1.0f, 1.0f, 10, 4, {{9, 4, kRed}, {8, 4, kGreen}, {9, 5, kBlue}, {8, 5, 0xFFFFFF}}, 4},
        {"zoom y -1 flips", 1.0f, -1.0f, 10, 4, {{10, 3, kRed}, {11, 3, kGreen}, {10, 2, kBlue}, {11, 2, 0xFFFFFF}}, 4},
        {"zoom -2", -2.0f, -2.0f, 10, 8, {{9, 7, kRed}, {8, 6, kRed}, {7, 7, kGreen}, {6, 6, kGreen}, {9, 5, kBlue}, {6, 4, 0xFFFFFF}}, 16},
        {"zoom 1.5", 1.5f, 1.0f, 4, 4, {{4, 4, kRed}, {5, 4, kGreen}, {6, 4, kGreen}, {4, 5, kBlue}, {6, 5, 0xFFFFFF}}, 6},
        {"zoom 0.5 keeps the pixel over the centre", 0.5f, 0.5f, 4.25f, 4.25f, {{4, 4, kRed}}, 1},
        {"zoom 0.5, later pixels", 0.5f, 0.5f, 3.75f, 3.75f, {{4, 4, 0xFFFFFF}}, 1},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        clearColor();
        GL(glPixelZoom)(r.zx, r.zy);
        GL(glRasterPos2f)(r.rx, r.ry);
        drawPixels(2, 2, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        for (auto &p : r.pixels) EXPECT_EQ(at(int(p[0]), int(p[1])), p[2]) << p[0] << "," << p[1];
        int lit = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) lit += at(x, y) != 0;
        EXPECT_EQ(lit, r.count);
    }
}

// Wide zooms and wide images: every destination column of the row is written once, and nothing
// outside the window.
TEST_F(PixelOpsDrawRead, ClipsAtTheWindowEdges) {
    std::vector<uint8_t> row(3 * 40, 0);
    for (int i = 0; i < 40; ++i) row[size_t(3 * i)] = uint8_t(i + 1);  // red = source column + 1
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    // Right edge: a 40-pixel row from x = 20 draws columns 20..31 only.
    GL(glRasterPos2i)(20, 1);
    drawPixels(40, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data());
    for (int x = 20; x < kW; ++x) EXPECT_EQ(at(x, 1) >> 16, uint32_t(x - 19));
    // Left edge through a raster position moved outside the window, with zoom 2: the first visible
    // column shows source pixel 3 (columns -6..-5 are pixel 0 ... 0..1 pixel 3).
    clearColor();
    GL(glRasterPos2i)(0, 2);
    bitmap(0, 0, 0, 0, -6.0f, 0.0f, nullptr);
    ASSERT_FLOAT_EQ(rasterX(), -6.0f);
    GL(glPixelZoom)(2.0f, 1.0f);
    drawPixels(40, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data());
    for (int x = 0; x < kW; ++x) EXPECT_EQ(at(x, 2) >> 16, uint32_t((x + 6) / 2 + 1)) << x;
    // Nothing at all beyond the buffer: the rows above and below stay black.
    for (int x = 0; x < kW; ++x) {
        EXPECT_EQ(at(x, 1 - 1), 0u);
        EXPECT_EQ(at(x, 3), 0u);
    }
    // An invalid raster position draws nothing.
    clearColor();
    GL(glRasterPos2f)(-100.0f, 2.0f);
    ASSERT_FALSE(ctx->current.rasterPosValid);
    drawPixels(40, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data());
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(kW * kH, 0u));
}

// A shrinking row that starts left of the window and runs past its right edge: every column
// shows the source pixel over its centre, the last one included.
TEST_F(PixelOpsDrawRead, ShrinkingRowsAcrossBothEdges) {
    std::vector<uint8_t> row(3 * 200, 0);
    for (int i = 0; i < 200; ++i) row[size_t(3 * i)] = uint8_t(i);
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glRasterPos2i)(0, 1);
    bitmap(0, 0, 0, 0, -0.875f, 0.0f, nullptr);
    GL(glPixelZoom)(0.25f, 1.0f);
    drawPixels(200, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data());
    // Pixel i covers [-0.875 + i / 4, -0.625 + i / 4): column c's centre lies in pixel 4c + 5.
    for (int x = 0; x < kW; ++x) EXPECT_EQ(at(x, 1) >> 16, uint32_t(4 * x + 5)) << x;
}

// Drawn pixels are fragments: the depth test and blending apply to them.
TEST_F(PixelOpsDrawRead, FragmentOperationsApplyToDrawnPixels) {
    const uint8_t rgb[] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glClearDepth)(0.5);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glRasterPos3f)(1.0f, 1.0f, 0.5f);  // window depth 0.25: in front
    drawPixels(4, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(at(1, 1), kRed);
    GL(glRasterPos3f)(1.0f, 2.0f, -0.5f);  // window depth 0.75: behind
    drawPixels(4, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    EXPECT_EQ(at(1, 2), 0u);
    GL(glDisable)(GL_DEPTH_TEST);
    // Blending: half the red over a green background.
    for (int x = 0; x < 4; ++x) setPixel(x, 5, kGreen);
    const uint8_t rgba[] = {255, 0, 0, 128, 255, 0, 0, 128};
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glRasterPos2i)(0, 5);
    drawPixels(2, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const uint32_t p = at(0, 5);
    EXPECT_NEAR(int(p >> 16), 128, 2);
    EXPECT_NEAR(int((p >> 8) & 0xFF), 127, 2);
}

}  // namespace
