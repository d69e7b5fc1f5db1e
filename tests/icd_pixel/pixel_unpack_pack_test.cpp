// Source spans (bitmaps, compaction, swaps, conversion to floats) and pack spans (floats back to
// every type), checked against tables of stored values and against each other.
#include <cmath>
#include "tests/icd_pixel/pixel_fixture.h"

namespace {

template <typename T>
std::vector<uint8_t> bytesOf(std::initializer_list<T> values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    size_t i = 0;
    for (T v : values) std::memcpy(&out[sizeof(T) * i++], &v, sizeof(T));
    return out;
}

struct UnpackCase {
    const char *what;
    GlPixelSpanProc proc;
    int32_t components, width;  // floats the span reads per pixel, pixels
    std::vector<uint8_t> input;
    std::vector<float> expected;
};

}  // namespace

TEST_F(PixelTest, UnpackToFloats) {
    const float u8 = 1.0f / 255.0f;
    const UnpackCase cases[] = {
        {"ubyte", __glUnpackUnsignedByte, 3, 1, {0, 255, 128}, {0.0f, 1.0f, 128 * u8}},
        {"byte", __glUnpackByte, 1, 3, bytesOf<int8_t>({-128, 127, 0}), {-1.0f, 1.0f, u8}},
        {"ushort", __glUnpackUnsignedShort, 2, 1, bytesOf<uint16_t>({65535, 0}), {1.0f, 0.0f}},
        {"short", __glUnpackShort, 2, 1, bytesOf<int16_t>({-32768, 32767}), {-1.0f, 1.0f}},
        {"uint", __glUnpackUnsignedInt, 1, 2, bytesOf<uint32_t>({0xFFFFFFFFu, 0}), {1.0f, 0.0f}},
        {"int", __glUnpackInt, 1, 2, bytesOf<int32_t>({INT32_MIN, INT32_MAX}), {-1.0f, 1.0f}},
        {"332", __glUnpackUbyte332, 1, 2, {0xE0, 0x1F}, {1, 0, 0, 0, 1, 1}},
        {"4444", __glUnpackUshort4444, 1, 1, bytesOf<uint16_t>({0xF00F}), {1, 0, 0, 1}},
        {"5551 alpha bit", __glUnpackUshort5551, 1, 1, bytesOf<uint16_t>({0x0001}), {0, 0, 0, 1}},
        {"8888", __glUnpackUint8888, 1, 1, bytesOf<uint32_t>({0xFF00FF00u}), {1, 0, 1, 0}},
        {"1010102", __glUnpackUint1010102, 1, 1, bytesOf<uint32_t>({0xFFC00003u}), {1, 0, 0, 1}},
        {"texel 565", __glUnpackTexelRGB565, 1, 2, bytesOf<uint16_t>({0xF800, 0x07E0}), {1, 0, 0, 0, 1, 0}},
        {"texel x555 ignores x", __glUnpackTexelXRGB1555, 1, 1, bytesOf<uint16_t>({0x801F}), {0, 0, 1}},
        {"texel a555 alpha bit", __glUnpackTexelARGB1555, 1, 1, bytesOf<uint16_t>({0x8000}), {0, 0, 0, 1}},
        {"texel 4444 alpha top", __glUnpackTexelARGB4444, 1, 1, bytesOf<uint16_t>({0xF0F0}), {0, 1, 0, 1}},
        {"texel alpha nibble", __glUnpackTexelA4, 1, 2, bytesOf<uint16_t>({0x8000, 0x0FFF}),
         {1, 1, 1, 8.0f / 15.0f, 1, 1, 1, 0}},
        {"index ubyte", __glUnpackIndexUnsignedByte, 1, 2, {200, 7}, {200, 7}},
        {"index byte", __glUnpackIndexByte, 1, 2, bytesOf<int8_t>({-3, 100}), {-3, 100}},
        {"index ushort", __glUnpackIndexUnsignedShort, 1, 1, bytesOf<uint16_t>({65535}), {65535}},
        {"index short", __glUnpackIndexShort, 1, 1, bytesOf<int16_t>({-300}), {-300}},
        {"index uint", __glUnpackIndexUnsignedInt, 1, 1, bytesOf<uint32_t>({70000}), {70000}},
        {"index int", __glUnpackIndexInt, 1, 1, bytesOf<int32_t>({-70000}), {-70000}},
    };
    for (const UnpackCase &c : cases) {
        SCOPED_TRACE(c.what);
        GlPixelSpan span = rowSpan(c.width, c.components);
        std::vector<float> out(c.expected.size() + 1, -99.0f);
        c.proc(ctx, &span, c.input.data(), out.data());
        for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-6f) << i;
        EXPECT_EQ(out.back(), -99.0f) << "wrote past the row";
    }
}

namespace {

struct PackCase {
    const char *what;
    GlPixelSpanProc proc;
    int32_t components, width;
    std::vector<float> input;
    std::vector<uint8_t> expected;
};

}  // namespace

TEST_F(PixelTest, PackFromFloats) {
    const PackCase cases[] = {
        {"ubyte rounds", __glPackUnsignedByte, 3, 1, {0.5f, 1.0f, 0.0f}, {128, 255, 0}},
        {"byte floors half", __glPackByte, 1, 3, {1.0f, -1.0f, 0.0f}, bytesOf<int8_t>({127, -128, 0})},
        {"ushort", __glPackUnsignedShort, 1, 2, {1.0f, 0.5f}, bytesOf<uint16_t>({65535, 32768})},
        {"short", __glPackShort, 1, 2, {1.0f, -1.0f}, bytesOf<int16_t>({32767, -32768})},
        {"uint top is 0xFFFFF700", __glPackUnsignedInt, 1, 1, {1.0f}, bytesOf<uint32_t>({0xFFFFF700u})},
        {"int", __glPackInt, 1, 2, {1.0f, -1.0f}, bytesOf<int32_t>({0x7FFFFB80, -0x7FFFFB80})},
        {"332 truncates", __glPackUbyte332, 1, 1, {0.99f, 0.0f, 0.0f}, {6 << 5}},
        {"4444 white", __glPackUshort4444, 1, 1, {1, 1, 1, 1}, bytesOf<uint16_t>({0xFFFF})},
        {"5551", __glPackUshort5551, 1, 1, {0, 0, 1, 1}, bytesOf<uint16_t>({0x003F})},
        {"8888", __glPackUint8888, 1, 1, {1, 0, 0, 1}, bytesOf<uint32_t>({0xFF0000FFu})},
        {"1010102 alpha x 3", __glPackUint1010102, 1, 1, {0, 0, 0, 1}, bytesOf<uint32_t>({3})},
        {"texel 565", __glPackTexelRGB565, 1, 1, {0, 1, 0}, bytesOf<uint16_t>({0x07E0})},
        {"texel x555 sets x", __glPackTexelXRGB1555, 1, 1, {0, 0, 0}, bytesOf<uint16_t>({0x8000})},
        {"texel a555 alpha rounds", __glPackTexelARGB1555, 1, 1, {0, 0, 0, 0.99f}, bytesOf<uint16_t>({0x8000})},
        {"texel 4444 alpha top", __glPackTexelARGB4444, 1, 1, {1, 0, 0, 1}, bytesOf<uint16_t>({0xFF00})},
        // Values a clamp did not catch saturate instead of wrapping.
        {"uint above 1", __glPackUnsignedInt, 1, 1, {1.0000006f}, bytesOf<uint32_t>({0xFFFFFFFFu})},
        {"ubyte out of range", __glPackUnsignedByte, 1, 2, {1.5f, -0.5f}, {255, 0}},
        {"short out of range", __glPackShort, 1, 2, {1.5f, -1.5f}, bytesOf<int16_t>({32767, -32768})},
        {"4444 out of range", __glPackUshort4444, 1, 1, {1.5f, -0.5f, 2.0f, 0.0f}, bytesOf<uint16_t>({0xF0F0})},
        {"index ubyte", __glPackIndexUnsignedByte, 1, 2, {300, 7.9f}, {44, 7}},
        {"index byte keeps 7 bits", __glPackIndexByte, 1, 1, {300}, {44}},
        {"index ushort", __glPackIndexUnsignedShort, 1, 1, {65537}, bytesOf<uint16_t>({1})},
        {"index short", __glPackIndexShort, 1, 1, {-1}, bytesOf<int16_t>({0x7FFF})},
        {"index uint", __glPackIndexUnsignedInt, 1, 1, {-1}, bytesOf<uint32_t>({0xFFFFFFFFu})},
        {"index int", __glPackIndexInt, 1, 1, {-1}, bytesOf<int32_t>({0x7FFFFFFF})},
    };
    for (const PackCase &c : cases) {
        SCOPED_TRACE(c.what);
        GlPixelSpan span = rowSpan(c.width, 1, c.components);
        std::vector<uint8_t> out(c.expected.size() + 1, 0xCC);
        c.proc(ctx, &span, c.input.data(), out.data());
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end() - 1), c.expected);
        EXPECT_EQ(out.back(), 0xCC) << "wrote past the row";
    }
}

// Every stored value of the byte and 16-bit types survives an unpack and a pack.
TEST_F(PixelTest, UnpackThenPackKeepsEveryStoredValue) {
    struct Pair {
        const char *what;
        GlPixelSpanProc unpack, pack;
        int32_t bytes, floats;  // per element, per element after unpacking
        uint32_t forced;        // bits the pack always sets
    };
    const Pair pairs[] = {
        {"ubyte", __glUnpackUnsignedByte, __glPackUnsignedByte, 1, 1, 0},
        {"byte", __glUnpackByte, __glPackByte, 1, 1, 0},
        {"ushort", __glUnpackUnsignedShort, __glPackUnsignedShort, 2, 1, 0},
        {"short", __glUnpackShort, __glPackShort, 2, 1, 0},
        {"332", __glUnpackUbyte332, __glPackUbyte332, 1, 3, 0},
        {"4444", __glUnpackUshort4444, __glPackUshort4444, 2, 4, 0},
        {"5551", __glUnpackUshort5551, __glPackUshort5551, 2, 4, 0},
        {"texel 565", __glUnpackTexelRGB565, __glPackTexelRGB565, 2, 3, 0},
        {"texel x555", __glUnpackTexelXRGB1555, __glPackTexelXRGB1555, 2, 3, 0x8000},
        {"texel a555", __glUnpackTexelARGB1555, __glPackTexelARGB1555, 2, 4, 0},
        {"texel 4444", __glUnpackTexelARGB4444, __glPackTexelARGB4444, 2, 4, 0},
    };
    for (const Pair &p : pairs) {
        SCOPED_TRACE(p.what);
        const int32_t n = p.bytes == 1 ? 256 : 65536;
        std::vector<uint8_t> in(size_t(n) * p.bytes), back(in.size());
        for (int32_t i = 0; i < n; ++i) std::memcpy(&in[size_t(i) * p.bytes], &i, size_t(p.bytes));
        std::vector<float> floats(size_t(n) * p.floats);
        // Element types count components, packed types count pixels.
        GlPixelSpan span = rowSpan(n, 1, 1);
        p.unpack(ctx, &span, in.data(), floats.data());
        p.pack(ctx, &span, floats.data(), back.data());
        int32_t mismatches = 0;
        for (int32_t i = 0; i < n; ++i) {
            uint32_t a = 0, b = 0;
            std::memcpy(&a, &in[size_t(i) * p.bytes], size_t(p.bytes));
            std::memcpy(&b, &back[size_t(i) * p.bytes], size_t(p.bytes));
            if ((a | p.forced) != b && ++mismatches < 4) ADD_FAILURE() << std::hex << a << " came back as " << b;
        }
        EXPECT_EQ(mismatches, 0);
    }
}

namespace {

// Reference: bit `i` of a bitmap row.
int bitOf(const uint8_t *row, int32_t i, bool lsb) {
    return lsb ? (row[i >> 3] >> (i & 7)) & 1 : (row[i >> 3] >> (7 - (i & 7))) & 1;
}

}  // namespace

// Rows from every bit offset and of every length up to three bytes, in both bit orders; and the
// pack writes them back while keeping the bits around the row.
TEST_F(PixelTest, BitmapRowsBothWays) {
    const uint8_t row[5] = {0xA5, 0x3C, 0xF0, 0x0F, 0x96};
    for (int lsb = 0; lsb < 2; ++lsb)
        for (int32_t offset = 0; offset < 8; ++offset)
            for (int32_t width = 1; width <= 26; ++width) {
                SCOPED_TRACE(testing::Message() << "lsb " << lsb << " offset " << offset << " width " << width);
                GlPixelSpan span = rowSpan(width);
                span.srcBitOffset = span.dstBitOffset = offset;
                span.srcLsbFirst = span.dstLsbFirst = lsb;
                float floats[40];
                floats[width] = -1.0f;
                __glUnpackBitmap(ctx, &span, row, floats);
                for (int32_t i = 0; i < width; ++i) ASSERT_EQ(floats[i], float(bitOf(row, offset + i, lsb))) << i;
                ASSERT_EQ(floats[width], -1.0f);
                // Packing the inverted row into a copy changes exactly the row's bits.
                uint8_t dst[5];
                std::memcpy(dst, row, 5);
                for (int32_t i = 0; i < width; ++i) floats[i] = 1.0f - floats[i];
                __glPackBitmap(ctx, &span, floats, dst);
                for (int32_t i = 0; i < 40; ++i) {
                    const bool inRow = i >= offset && i < offset + width;
                    ASSERT_EQ(bitOf(dst, i, lsb), inRow ? 1 - bitOf(row, i, lsb) : bitOf(row, i, lsb)) << i;
                }
            }
}

TEST_F(PixelTest, BitmapEdgeBits) {
    GlPixelSpan span = rowSpan(1);
    span.srcBitOffset = 7;
    float v = -1.0f;
    const uint8_t lowBit = 0x01, highBit = 0x80;
    __glUnpackBitmap(ctx, &span, &lowBit, &v);
    EXPECT_EQ(v, 1.0f);
    span.srcLsbFirst = 1;
    __glUnpackBitmap(ctx, &span, &highBit, &v);
    EXPECT_EQ(v, 1.0f);
    // Odd integer parts set a bit, even ones clear it.
    GlPixelSpan pack = rowSpan(3);
    pack.dstBitOffset = 2;
    const float odd[3] = {1.0f, 3.7f, 5.0f};
    uint8_t b = 0x00;
    __glPackBitmap(ctx, &pack, odd, &b);
    EXPECT_EQ(b, 0b00111000);
    pack.dstLsbFirst = 1;
    b = 0xFF;
    const float even[3] = {0.0f, 2.0f, 0.5f};
    __glPackBitmap(ctx, &pack, even, &b);
    EXPECT_EQ(b, 0b11100011);
}

// A shrinking zoom keeps one pixel a run entry; the compaction writes exactly the kept pixels and
// reads no run entry past them, also when the row is wider than the run table.
TEST_F(PixelTest, CompactionKeepsTheRunTablePixels) {
    const int16_t run[3] = {2, 3, 2};  // keeps source pixels 0, 2 and 5 of 7
    uint8_t src[7 * 4];
    for (int i = 0; i < 7 * 4; ++i) src[i] = uint8_t(i);
    struct Case {
        const char *what;
        GlPixelSpanProc proc;
        int32_t components, elementBytes;
        bool swap;
    };
    const Case cases[] = {
        {"pixels 1", __glCompactPixels1, 1, 1, false},
        {"pixels 3", __glCompactPixels3, 3, 1, false},
        {"pixels 4", __glCompactPixels4, 4, 1, false},
        {"elements 1", __glCompactElements1, 2, 1, false},
        {"elements 2", __glCompactElements2, 2, 2, false},
        {"elements 4", __glCompactElements4, 1, 4, false},
        {"elements 2 bytewise", __glCompactElements2Bytewise, 1, 2, false},
        {"elements 4 bytewise", __glCompactElements4Bytewise, 1, 4, false},
        {"swap 2", __glSwapElements2Compacted, 2, 2, true},
        {"swap 4", __glSwapElements4Compacted, 1, 4, true},
    };
    const int kept[3] = {0, 2, 5};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int32_t group = c.components * c.elementBytes;
        GlPixelSpan span = rowSpan(6, c.components);  // pixel 6 is beyond the row
        span.srcGroupBytes = group;
        span.srcElementBytes = c.elementBytes;
        span.runTable = run;
        span.keptCount = 3;
        uint8_t out[32];
        std::memset(out, 0xCC, sizeof(out));
        c.proc(ctx, &span, src, out);
        for (int k = 0; k < 3; ++k)
            for (int b = 0; b < group; ++b) {
                const int e = b / c.elementBytes, inElem = b % c.elementBytes;
                const int from = c.swap ? c.elementBytes - 1 - inElem : inElem;
                EXPECT_EQ(out[k * group + b], src[kept[k] * group + e * c.elementBytes + from]) << k << " " << b;
            }
        EXPECT_EQ(out[3 * group], 0xCC) << "wrote a fourth pixel";
    }
    // The bitmap form keeps the same pixels.
    GlPixelSpan span = rowSpan(6);
    span.runTable = run;
    span.keptCount = 3;
    const uint8_t bits = 0b10100100;  // pixels 0, 2 and 5 set
    float out[4] = {-1, -1, -1, -1};
    __glUnpackBitmapCompacted(ctx, &span, &bits, out);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 1.0f);
    EXPECT_EQ(out[3], -1.0f);
    // The stages after the compaction work on the kept pixels.
    EXPECT_EQ(__glSpanPixelCount(&span), 3);
}

TEST_F(PixelTest, SwapsAndCopiesCountTheirSide) {
    const uint8_t in[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    uint8_t out[16];
    GlPixelSpan span = rowSpan(2, 2, 1);  // source 2 elements a pixel, destination 1
    // The groups of elements of E bytes each side's image holds.
    auto groups = [&](int e) {
        span.srcGroupBytes = 2 * e;
        span.dstGroupBytes = e;
    };
    std::memset(out, 0, 16);
    groups(2);
    __glSwapElements2(ctx, &span, in, out);
    const uint8_t swap2[10] = {2, 1, 4, 3, 6, 5, 8, 7, 0, 0};
    EXPECT_EQ(std::memcmp(out, swap2, 10), 0);
    std::memset(out, 0, 16);
    groups(4);
    __glSwapElements4Pack(ctx, &span, in, out);
    const uint8_t swap4[10] = {4, 3, 2, 1, 8, 7, 6, 5, 0, 0};
    EXPECT_EQ(std::memcmp(out, swap4, 10), 0);
    std::memset(out, 0, 16);
    __glCopyElements4(ctx, &span, in, out);
    EXPECT_EQ(std::memcmp(out, in, 16), 0);
    std::memset(out, 0, 16);
    groups(2);
    __glCopyElements2Pack(ctx, &span, in, out);
    EXPECT_EQ(std::memcmp(out, in, 4), 0);
    EXPECT_EQ(out[4], 0);
    std::memset(out, 0, 16);
    __glCopyElements2(ctx, &span, in, out);
    EXPECT_EQ(std::memcmp(out, in, 8), 0);
    EXPECT_EQ(out[8], 0);
    std::memset(out, 0, 16);
    __glSwapElements2Pack(ctx, &span, in, out);
    const uint8_t swap2pack[6] = {2, 1, 4, 3, 0, 0};
    EXPECT_EQ(std::memcmp(out, swap2pack, 6), 0);
    std::memset(out, 0, 16);
    groups(4);
    __glSwapElements4(ctx, &span, in, out);
    const uint8_t swap4src[16] = {4, 3, 2, 1, 8, 7, 6, 5, 12, 11, 10, 9, 16, 15, 14, 13};
    EXPECT_EQ(std::memcmp(out, swap4src, 16), 0);
    // A packed pixel is one element however many components it packs from.
    std::memset(out, 0, 16);
    span.dstComponents = 4;
    span.dstGroupBytes = 2;
    __glSwapElements2Pack(ctx, &span, in, out);
    const uint8_t swapPacked[6] = {2, 1, 4, 3, 0, 0};
    EXPECT_EQ(std::memcmp(out, swapPacked, 6), 0);
    span.dstComponents = 1;
    // The plain copy of an empty chain moves components x element bytes x width bytes.
    span.srcElementBytes = 2;
    std::memset(out, 0, 16);
    __glCopySpan(ctx, &span, in, out);
    EXPECT_EQ(std::memcmp(out, in, 8), 0);
    EXPECT_EQ(out[8], 0);
}

// Each byte channel becomes the nearest field value, v x (2^n - 1) / 255 rounded (248 in five bits
// is 30.1: 30; 240 in four bits is 14.1: 14).
TEST_F(PixelTest, DirectByteTexels) {
    struct Case {
        const char *what;
        GlPixelSpanProc proc;
        std::vector<uint8_t> in;
        uint16_t expected;
    };
    const Case cases[] = {
        {"L8 to x555", __glByteTexelL8ToXRGB1555, {0xFF}, 0xFFFF},
        {"RGB8 to x555", __glByteTexelRGB8ToXRGB1555, {0xF8, 0x08, 0x10}, 0x8000 | 30 << 10 | 1 << 5 | 2},
        {"RGBA8 to x555", __glByteTexelRGBA8ToXRGB1555, {0, 0, 0, 0xFF}, 0x8000},
        {"L8 to 565", __glByteTexelL8ToRGB565, {0xFF}, 0xFFFF},
        {"RGB8 to 565", __glByteTexelRGB8ToRGB565, {0x08, 0x04, 0x08}, 1 << 11 | 1 << 5 | 1},
        {"RGBA8 to 565", __glByteTexelRGBA8ToRGB565, {0, 0xFF, 0, 0x00}, 0x07E0},
        {"LA8 to a555", __glByteTexelLA8ToARGB1555, {0x08, 0x80}, 0x8000 | 0x421},
        {"RGBA8 to a555", __glByteTexelRGBA8ToARGB1555, {0, 0, 0xFF, 0x7F}, 0x001F},
        {"A8 to 4444", __glByteTexelA8ToARGB4444, {0x80}, 0x8FFF},
        {"I8 to 4444", __glByteTexelI8ToARGB4444, {0x30}, 0x3333},
        {"LA8 to 4444", __glByteTexelLA8ToARGB4444, {0x20, 0xF0}, 0xE222},
        {"RGBA8 to 4444", __glByteTexelRGBA8ToARGB4444, {0x10, 0x20, 0x30, 0x40}, 0x4123},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        GlPixelSpan span = rowSpan(1);
        uint16_t out[2] = {0, 0xCCCC};
        c.proc(ctx, &span, c.in.data(), out);
        EXPECT_EQ(out[0], c.expected);
        EXPECT_EQ(out[1], 0xCCCC);
    }
    GlPixelSpan span = rowSpan(2);
    const float alpha[2] = {1.0f, 0.5f};
    uint16_t out[2];
    __glAlphaToTexelARGB4444(ctx, &span, alpha, out);
    EXPECT_EQ(out[0], 0xFFFF);
    EXPECT_EQ(out[1], 0x8FFF);  // 7.5 rounds up
}
