// Image addressing: the layout of a span side from its store modes, tight image sizes, and the
// copy of client images into tight blocks with the unpack modes (glPolygonStipple included).
#include "tests/icd_pixel/pixel_fixture.h"

namespace {

struct LayoutCase {
    const char *what;
    GLenum format, type;
    int32_t rowLength, alignment, skipPixels, skipRows, swap;
    // expected
    int32_t rowBytes, startOffset, bitOffset, direct, components, elementBytes, swapKept;
};

const LayoutCase kLayouts[] = {
    {"rgb ubyte align 4", GL_RGB, GL_UNSIGNED_BYTE, 3, 4, 0, 0, 0, 12, 0, 0, 1, 3, 1, 0},
    {"rgb ubyte align 1", GL_RGB, GL_UNSIGNED_BYTE, 3, 1, 0, 0, 0, 9, 0, 0, 1, 3, 1, 0},
    {"rgba float skips", GL_RGBA, GL_FLOAT, 5, 8, 2, 3, 0, 80, 3 * 80 + 2 * 16, 0, 1, 4, 4, 0},
    {"bitmap skip 11", GL_COLOR_INDEX, GL_BITMAP, 20, 1, 11, 0, 0, 3, 1, 3, 0, 1, 1, 0},
    {"bitmap skip 16", GL_COLOR_INDEX, GL_BITMAP, 20, 1, 16, 0, 0, 3, 2, 0, 1, 1, 1, 0},
    {"bitmap rows align 2", GL_COLOR_INDEX, GL_BITMAP, 17, 2, 0, 2, 0, 4, 8, 0, 1, 1, 1, 0},
    {"swap dropped on bytes", GL_RGBA, GL_UNSIGNED_BYTE, 4, 4, 0, 0, 1, 16, 0, 0, 1, 4, 1, 0},
    {"swap on shorts", GL_LUMINANCE, GL_SHORT, 3, 4, 1, 0, 1, 8, 2, 0, 0, 1, 2, 1},
    {"unknown type", GL_RGBA, 0x1234, 7, 4, 0, 0, 0, 0, 0, 0, 1, 4, 0, 0},
    {"packed 565 code", GL_RGB, kGlTexelCodeRGB565, 5, 4, 1, 0, 0, 12, 2, 0, 1, 1, 2, 0},
    {"packed 4444 type", GL_RGBA, kGlUnsignedShort4444, 3, 4, 0, 0, 0, 8, 0, 0, 1, 1, 2, 0},
    {"bgr int", kGlFormatBGR, GL_INT, 2, 8, 1, 1, 0, 24, 24 + 12, 0, 1, 3, 4, 0},
    {"la pair code", kGlFormatRedAlpha, GL_UNSIGNED_BYTE, 3, 1, 0, 0, 0, 6, 0, 0, 1, 2, 1, 0},
};

}  // namespace

// Both sides derive the same addressing from the same modes; the option bytes are fixed.
TEST_F(PixelTest, LayoutOfBothSides) {
    static uint8_t image[4096];
    for (const LayoutCase &c : kLayouts) {
        SCOPED_TRACE(c.what);
        for (int side = 0; side < 2; ++side) {
            GlPixelSpan span = rowSpan(1);
            GlPixelImageSide &s = side == 0 ? *__glSpanSrc(&span) : *__glSpanDst(&span);
            s.format = c.format, s.type = c.type, s.data = image;
            s.rowLength = c.rowLength, s.alignment = c.alignment;
            s.skipPixels = c.skipPixels, s.skipRows = c.skipRows, s.swapBytes = c.swap;
            if (side == 0) __glComputeSrcImageLayout(nullptr, &span);
            else __glComputeDstImageLayout(nullptr, &span);
            EXPECT_EQ(s.rowBytes, c.rowBytes);
            EXPECT_EQ(s.start - image, c.startOffset);
            EXPECT_EQ(s.bitOffset, c.bitOffset);
            EXPECT_EQ(s.direct, c.direct);
            EXPECT_EQ(s.components, c.components);
            EXPECT_EQ(s.elementBytes, c.elementBytes);
            EXPECT_EQ(s.groupBytes, c.components * c.elementBytes);
            EXPECT_EQ(s.swapBytes, c.swapKept);
            EXPECT_EQ(span.optClearAlpha, 0);
            EXPECT_EQ(span.optChooser, 1);
            EXPECT_EQ(span.optScaleToBuffer, 1);
            EXPECT_EQ(span.optFloatHoldsIntegers, 0);
        }
    }
}

TEST_F(PixelTest, ComponentsAndElementSizes) {
    EXPECT_EQ(__glComponentsPerPixel(GL_RGBA, kGlUnsignedInt1010102), 1);
    EXPECT_EQ(__glComponentsPerPixel(GL_RGB, kGlTexelCodeA4), 1);
    EXPECT_EQ(__glComponentsPerPixel(GL_LUMINANCE_ALPHA, GL_FLOAT), 2);
    EXPECT_EQ(__glComponentsPerPixel(kGlFormatABGR, GL_UNSIGNED_BYTE), 4);
    EXPECT_EQ(__glComponentsPerPixel(GL_DEPTH_COMPONENT, GL_FLOAT), 1);
    EXPECT_EQ(__glBytesPerElement(kGlUnsignedByte332), 1);
    EXPECT_EQ(__glBytesPerElement(kGlUnsignedShort5551), 2);
    EXPECT_EQ(__glBytesPerElement(kGlTexelCodeA4), 2);
    EXPECT_EQ(__glBytesPerElement(kGlUnsignedInt8888), 4);
    EXPECT_EQ(__glBytesPerElement(GL_2_BYTES), 0);
}

TEST_F(PixelTest, ImageSizes) {
    EXPECT_EQ(__glImageSize(10, 3, GL_COLOR_INDEX, GL_BITMAP), 6);
    EXPECT_EQ(__glImageSize(10, 3, GL_RGB, GL_UNSIGNED_SHORT), 180);
    EXPECT_EQ(__glImageSize(7, 2, GL_RGBA, kGlUnsignedShort4444), 28);
    EXPECT_EQ(__glImageSize(0, 100, GL_RGBA, GL_FLOAT), 0);
    EXPECT_EQ(__glImageSize(4, 4, GL_RGBA, 0x1234), 0);
    // Sizes that do not fit are refused, never wrapped into a small block.
    EXPECT_EQ(__glImageSize(65536, 65536, GL_RGBA, GL_FLOAT), -1);
    EXPECT_EQ(__glImageSize(0x7FFFFFFF, 0x7FFFFFFF, GL_COLOR_INDEX, GL_BITMAP), -1);
    EXPECT_EQ(__glImageSize(-1, 4, GL_RGBA, GL_UNSIGNED_BYTE), -1);
}

namespace {

struct UnpackCase {
    const char *what;
    GlPixelStoreModes modes;
    GLsizei width, height;
    GLenum format, type;
    std::vector<uint8_t> source;
    std::vector<uint8_t> expected;
};

}  // namespace

// The unpack modes decide where each row starts and how its bytes are read; the result is tight.
TEST_F(PixelTest, UnpackImageWithStoreModes) {
    const UnpackCase cases[] = {
        {"alignment 4 pads rgb rows", {0, 0, {}, 0, 0, 0, 4}, 1, 2, GL_RGB, GL_UNSIGNED_BYTE,
         {1, 2, 3, 0xEE, 4, 5, 6, 0xEE}, {1, 2, 3, 4, 5, 6}},
        {"row length and skips", {0, 0, {}, 3, 1, 1, 1}, 2, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE,
         {9, 9, 9, 9, 7, 8}, {7, 8}},
        {"swap bytes on shorts", {1, 0, {}, 0, 0, 0, 2}, 2, 1, GL_LUMINANCE, GL_UNSIGNED_SHORT,
         {0x12, 0x34, 0x56, 0x78}, {0x34, 0x12, 0x78, 0x56}},
        {"swap bytes on ints", {1, 0, {}, 0, 0, 0, 4}, 1, 1, GL_LUMINANCE, GL_INT,
         {1, 2, 3, 4}, {4, 3, 2, 1}},
        {"swap ignored on bytes", {1, 0, {}, 0, 0, 0, 1}, 2, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE,
         {1, 2}, {1, 2}},
        {"bitmap skip 3 shifts rows left", {0, 0, {}, 16, 0, 3, 1}, 10, 2, GL_COLOR_INDEX, GL_BITMAP,
         {0b10110011, 0b11110000, 0b01010101, 0b11111111}, {0b10011111, 0b10000000, 0b10101111, 0b11000000}},
        {"bitmap lsb first", {0, 1, {}, 0, 0, 0, 1}, 8, 1, GL_COLOR_INDEX, GL_BITMAP, {0b00000001}, {0b10000000}},
        {"bitmap trailing bits cleared", {0, 0, {}, 0, 0, 0, 1}, 3, 1, GL_COLOR_INDEX, GL_BITMAP,
         {0xFF}, {0b11100000}},
        {"bitmap rows aligned", {0, 0, {}, 0, 1, 0, 2}, 4, 1, GL_COLOR_INDEX, GL_BITMAP,
         {0xFF, 0xFF, 0xA0, 0xFF}, {0xA0}},
    };
    for (const UnpackCase &c : cases) {
        SCOPED_TRACE(c.what);
        ctx->state.pixel.store.unpack = c.modes;
        std::vector<uint8_t> out(c.expected.size() + 4, 0xCC);
        ASSERT_NE(__glUnpackImage(ctx, c.width, c.height, c.format, c.type, c.source.data(), out.data()), 0);
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + long(c.expected.size())), c.expected);
        for (size_t i = c.expected.size(); i < out.size(); ++i) EXPECT_EQ(out[i], 0xCC) << "wrote past the image";
    }
}

TEST_F(PixelTest, UnpackImageSlicesAndRefusals) {
    ctx->state.pixel.store.unpack = GlPixelStoreModes{0, 0, {}, 0, 0, 0, 4};
    const uint8_t src[16] = {1, 2, 0, 0, 3, 4, 0, 0, 5, 6, 0, 0, 7, 8, 0, 0};
    uint8_t out[8] = {};
    ASSERT_NE(__glUnpackImageSlices(ctx, 2, 2, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE, src, out), 0);
    const uint8_t expected[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(out, expected, 8), 0);
    EXPECT_EQ(__glUnpackImage(ctx, 2, 2, GL_RGBA, 0x1234, src, out), 0);
}

// glPolygonStipple takes its pattern through the unpack modes.
TEST_F(PixelTest, PolygonStippleUsesTheUnpackModes) {
    uint8_t pattern[32 * 8];
    for (int row = 0; row < 32; ++row)
        for (int b = 0; b < 8; ++b) pattern[row * 8 + b] = uint8_t(b < 4 ? row : 0xEE);
    GL(glPixelStorei)(GL_UNPACK_ROW_LENGTH, 64);
    GL(glPixelStorei)(GL_UNPACK_LSB_FIRST, GL_TRUE);
    GL(glPolygonStipple)(pattern);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    for (int row = 0; row < 32; ++row)
        for (int b = 0; b < 4; ++b) {
            uint8_t v = uint8_t(row), r = 0;
            for (int k = 0; k < 8; ++k) r = uint8_t(r | ((v >> k) & 1) << (7 - k));
            ASSERT_EQ(ctx->state.mode.polygonStipple[row * 4 + b], r) << row << " " << b;
        }
}

// glGetPolygonStipple writes the pattern with every pack mode; bits and bytes around the rows
// keep their values.
TEST_F(PixelTest, GetPolygonStippleUsesThePackModes) {
    for (int i = 0; i < 128; ++i) ctx->state.mode.polygonStipple[i] = uint8_t(i * 37 + 11);
    GL(glPixelStorei)(GL_PACK_ROW_LENGTH, 48);  // 6 bytes a row
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 8);    // 8 bytes a row
    GL(glPixelStorei)(GL_PACK_SKIP_ROWS, 2);
    GL(glPixelStorei)(GL_PACK_SKIP_PIXELS, 5);
    GL(glPixelStorei)(GL_PACK_LSB_FIRST, GL_TRUE);
    std::vector<uint8_t> out(8 * 36, 0xA5);
    GL(glGetPolygonStipple)(out.data());
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    for (int row = 0; row < 36; ++row)
        for (int bit = 0; bit < 64; ++bit) {
            const int got = (out[row * 8 + bit / 8] >> (bit % 8)) & 1;  // least significant first
            const int x = bit - 5, y = row - 2;
            int want = (0xA5 >> (bit % 8)) & 1;
            if (x >= 0 && x < 32 && y >= 0 && y < 32)
                want = (ctx->state.mode.polygonStipple[y * 4 + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(got, want) << "row " << row << " bit " << bit;
        }
}
