// The fast path's table procs on their own, against the worked values of their definitions: the
// store procs of both 16-bit layouts (logic ops on all 16 bits, the blends rounded once, the
// rounded and the dithered copy), the walk over the mask word, the colour-index fog stages, and
// the tables' empty entries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "icd/core/context.h"
#include "icd/raster/fast_span.h"

namespace {

// A span over 32 pixels of memory with the given staging colours and a dither row.
struct SpanFixture {
    GlSpan span{};
    uint16_t pixels[40]{};
    uint32_t dither[40]{};
    explicit SpanFixture(uint16_t fill = 0) {
        for (uint16_t &p : pixels) p = fill;
        span.pixel = reinterpret_cast<uint8_t *>(pixels + 4);
        span.xStep = 1;
        span.ditherPointer = dither;
    }
    void stage(int i, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        const uint8_t c[4] = {r, g, b, a};
        std::memcpy(span.stagingColors + 4 * i, c, 4);
    }
    uint16_t at(int i) const { return pixels[4 + i]; }
};

struct StoreCase {
    const char *name;
    bool r565;
    int index;
    uint8_t r, g, b, a;
    uint16_t destination;
    uint32_t ditherLevel;  // of every position
    uint16_t expected;
};

// The expected words come from the definitions' own worked examples and from the packing rule.
const StoreCase kStores[] = {
    {"565 copy of (248, 252, 248)", true, 3, 248, 252, 248, 0, 0x0000, 0, 0xFFFF},
    {"565 set", true, 15, 0, 0, 0, 0, 0x1234, 0, 0xFFFF},
    {"565 clear", true, 0, 200, 200, 200, 0, 0x1234, 0, 0x0000},
    {"565 invert", true, 10, 0, 0, 0, 0, 0x1234, 0, 0xEDCB},
    {"565 blend 128 over black", true, 99 + 16, 248, 252, 248, 128, 0x0000, 0, (15 << 11) | (31 << 5) | 15},
    {"565 blend black at 128 over white", true, 99, 0, 0, 0, 128, 0xFFFF, 0, (15 << 11) | (31 << 5) | 15},
    {"565 src alpha, one saturates", true, 97, 128, 128, 128, 255, (16 << 11) | (32 << 5) | 16, 0, 0xFFFF},
    {"565 alpha saturate, one keeps the pixel", true, 105, 200, 10, 30, 255, 0x4321, 0, 0x4321},
    {"565 alpha 255 writes the source", true, 99, 80, 160, 40, 255, 0xFFFF, 0, (10 << 11) | (40 << 5) | 5},
    // A staged byte on a field step stays on it at every level; half a step between two fields
    // takes the upper one from level 8 on.
    {"565 dithered copy of 248 at level 0", true, 3 + 16, 248, 0, 0, 0, 0, 0, 31 << 11},
    {"565 dithered copy of 248 at level 15", true, 3 + 16, 248, 0, 0, 0, 0, 15, 31 << 11},
    {"565 dithered copy of 244 below level 8", true, 3 + 16, 244, 0, 0, 0, 0, 7, 30 << 11},
    {"565 dithered copy of 244 at level 8", true, 3 + 16, 244, 0, 0, 0, 0, 8, 31 << 11},
    {"565 rounded copy of 244", true, 3, 244, 0, 0, 0, 0, 0, 31 << 11},
    {"565 rounded copy of 243", true, 3, 243, 0, 0, 0, 0, 0, 30 << 11},
    {"555 copy of (248, 248, 248)", false, 3, 248, 248, 248, 0, 0x8000, 0, 0x7FFF},
    {"555 set", false, 15, 0, 0, 0, 0, 0, 0, 0xFFFF},
    {"555 xor keeps bit 15", false, 6, 8, 0, 0, 0, 0x8000, 0, 0x8000 | (1 << 10)},
    {"555 nor flips bit 15", false, 8, 0, 0, 0, 0, 0x0000, 0, 0xFFFF},
    {"555 blend writes bit 15 as 0", false, 96, 248, 248, 248, 255, 0x8000, 0, 0x7FFF},
    {"555 alt copy equals copy", false, 64 + 3, 248, 0, 8, 0, 0x8000, 0, (31 << 10) | 1},
};

TEST(FastStoreProcs, WorkedValues) {
    for (const StoreCase &c : kStores) {
        SCOPED_TRACE(c.name);
        const GlFastProc proc = (c.r565 ? __glStoreSpanTable565 : __glStoreSpanTable555)[size_t(c.index)];
        ASSERT_NE(proc, nullptr);
        SpanFixture f(c.destination);
        for (uint32_t &d : f.dither) d = c.ditherLevel << 12;
        f.stage(0, c.r, c.g, c.b, c.a);
        proc(0x80000000u, &f.span);
        EXPECT_EQ(f.at(0), c.expected);
        EXPECT_EQ(f.at(1), c.destination);  // uncovered
        EXPECT_EQ(f.pixels[3], c.destination);
    }
}

// Mask bit 0 alone: 31 positions are skipped and the last is written from staging entry 31 with
// the 32nd dither value; mask 0 touches nothing; right to left writes at decreasing addresses.
TEST(FastStoreProcs, MaskWalk) {
    SpanFixture f(0x1111);
    for (int i = 0; i < 32; ++i) {
        f.stage(i, uint8_t(8 * (i % 31)), 0, 0, 0);
        f.dither[i] = i == 31 ? 15u << 12 : 0;
    }
    __glStoreSpanTable565[3 + 16](0x00000001u, &f.span);
    for (int i = 0; i < 31; ++i) EXPECT_EQ(f.at(i), 0x1111) << i;
    // Entry 31: red byte 0 scaled, plus level 15 / 2 = 7, is 7 >> 3 = 0.
    EXPECT_EQ(f.at(31), 0x0000);
    EXPECT_EQ(f.span.ditherPointer, f.dither + 32);

    SpanFixture none(0x2222);
    __glStoreSpanTable565[3](0, &none.span);
    for (uint16_t p : none.pixels) EXPECT_EQ(p, 0x2222);

    SpanFixture back(0);
    back.span.pixel = reinterpret_cast<uint8_t *>(back.pixels + 35);
    back.span.xStep = -1;
    back.stage(0, 248, 0, 0, 0);
    back.stage(1, 0, 0, 248, 0);
    __glStoreSpanTable565[3](0xC0000000u, &back.span);
    EXPECT_EQ(back.pixels[35], 0xF800);
    EXPECT_EQ(back.pixels[34], 0x001F);
}

// The 64-95 entries behave as 0-31 for every logic op, plain and dithered.
TEST(FastStoreProcs, AlternateEntriesEqualThePlainOnes) {
    for (bool r565 : {true, false}) {
        const auto &table = r565 ? __glStoreSpanTable565 : __glStoreSpanTable555;
        for (int i = 0; i < 32; ++i) {
            SpanFixture a(0xA5C3), b(0xA5C3);
            for (int k = 0; k < 32; ++k) {
                a.stage(k, uint8_t(7 * k), uint8_t(255 - 5 * k), uint8_t(3 * k), 0);
                b.stage(k, uint8_t(7 * k), uint8_t(255 - 5 * k), uint8_t(3 * k), 0);
                a.dither[k] = b.dither[k] = uint32_t(k % 16) << 12;
            }
            table[size_t(i)](0xF0F0F0F5u, &a.span);
            table[size_t(64 + i)](0xF0F0F0F5u, &b.span);
            EXPECT_EQ(std::memcmp(a.pixels, b.pixels, sizeof a.pixels), 0) << i;
        }
    }
}

void GL_FASTCALL keepTexels(uint32_t, GlSpan *) {}

// a * b / 255 rounded to nearest (never a tie: 255 is odd).
uint32_t product(uint32_t a, uint32_t b) { return uint32_t(std::lround(double(a * b) / 255.0)); }

// The smooth, dithered GL_MODULATE basic span of both layouts, for texel entries of 3 and 4
// bytes: a full left-to-right chunk (eight pixels at a time) and a chunk with a hole (pixel by
// pixel) both write product(texel, colour byte) plus the dither sixteenth, truncated to the field;
// the colour byte is the iterator less the set-up's rounding bias (a 32nd of a step with dither).
TEST(FastSpanProcs, SmoothModulateMatchesTheProductRule) {
    auto ctx = std::make_unique<GlContext>();
    ctx->state.span.fast.texRoutine = keepTexels;
    for (bool r565 : {true, false})
        for (int bytes : {3, 4})
            for (uint32_t mask : {0xFFFFFFFFu, 0xFFFEFFFFu}) {
                SCOPED_TRACE(testing::Message() << (r565 ? "565 " : "555 ") << bytes << " bytes, mask " << std::hex << mask);
                const int index = 1 | 2 | (3 << 2) | (bytes == 4 ? 0x20 : 0);
                const GlFastProc proc = (r565 ? __glSpanTable565 : __glSpanTable555)[size_t(index)];
                ASSERT_NE(proc, nullptr);
                SpanFixture f(0x5555);
                f.span.context = ctx.get();
                for (int k = 0; k < 35; ++k) f.dither[k] = uint32_t((k * 7) % 16) << 12;
                for (int k = 0; k < 32; ++k)
                    for (int c = 0; c < bytes; ++c) f.span.texels[bytes * k + c] = uint8_t((k * 37 + c * 91 + 11) & 0xFF);
                const int greenBits = r565 ? 6 : 5;
                // Iterators in field steps (16.16), rising or falling across the chunk, in range.
                f.span.red = {int32_t(2 << 16), 0, int32_t(0.9 * 65536), 0, {0, 0}};
                f.span.green = {int32_t(((1 << greenBits) - 2) << 16), 0, -int32_t(0.8 * 65536) * (greenBits - 4), 0, {0, 0}};
                f.span.blue = {int32_t(15 << 16) + 12345, 0, int32_t(0.3 * 65536), 0, {0, 0}};
                proc(mask, &f.span);
                for (int k = 0; k < 32; ++k) {
                    if (!(mask & (0x80000000u >> k))) {
                        EXPECT_EQ(f.at(k), 0x5555) << k;
                        continue;
                    }
                    // The texel entry of the k-th covered pixel.
                    const int entry = mask == 0xFFFFFFFFu || k < 15 ? k : k - 1;
                    const uint8_t *tx = f.span.texels + bytes * entry;
                    const uint32_t level = f.dither[k] >> 12;
                    // A channel of Bits bits: the colour byte is the unbiased iterator's top
                    // 8 + Bits bits, the dither sixteenth of a field step is level >> (Bits - 4).
                    auto field = [&](const GlSpanIter &it, uint32_t texel, int bits) {
                        const uint32_t c8 = uint32_t(it.cur + k * it.step - 0x800) >> (8 + bits);
                        return (product(texel, c8) + (level << 12 >> (8 + bits))) >> (8 - bits);
                    };
                    const uint32_t expected = field(f.span.red, tx[0], 5) << (r565 ? 11 : 10) |
                                              field(f.span.green, tx[1], greenBits) << 5 | field(f.span.blue, tx[2], 5);
                    EXPECT_EQ(f.at(k), expected) << k;
                }
            }
}

// The colour-index fog stages (no offered visual has indices): every covered position's staged
// 16.16 index gains (1 - f) times the fog index, f from the fog iterator, which advances at every
// position, covered or not; uncovered positions keep their index; the successor gets the mask
// unchanged.
uint32_t gAfterFogMask;
void GL_FASTCALL recordAfterFog(uint32_t mask, GlSpan *) { gAfterFogMask = mask; }

TEST(FastFogStages, ColourIndexFogAddsTheFogIndexShare) {
    auto ctx = std::make_unique<GlContext>();
    ctx->state.span.fast.afterFog = recordAfterFog;
    GlFogState &fog = ctx->state.fog;
    fog.fogIndex = 20.0f;
    fog.fogIndexByte = 20;
    constexpr uint32_t kBase = 5u << 16;
    constexpr uint32_t kMask = 0xB0000000u;  // positions 0, 2 and 3; 1 is uncovered
    constexpr int kCovered[3] = {0, 2, 3};
    // The staged indices of positions 0-3 after the stage, the fog iterator starting at `start`
    // and stepping by `step` (16.16).
    auto run = [&](GlFastProc stage, int32_t start, int32_t step, uint32_t out[4]) {
        GlSpan span{};
        span.context = ctx.get();
        for (int i = 0; i < 4; ++i) std::memcpy(span.stagingColors + 4 * i, &kBase, 4);
        span.fog.cur = start;
        span.fog.step = step;
        gAfterFogMask = 0;
        stage(kMask, &span);
        EXPECT_EQ(gAfterFogMask, kMask);
        std::memcpy(out, span.stagingColors, 16);
        EXPECT_EQ(out[1], kBase);
    };
    uint32_t out[4];

    // Below GL_NICEST the iterator is the fog factor times 255, clamped to [0, 255]; the product
    // (255 - e) k / 255 comes from squares: (S(a) + S(b) - S(a - b)) / 2, S(n) = n n / 255
    // rounded down.
    auto square = [](int n) { return (n * n) / 255; };
    run(__glFastFogIndex, -(10 << 16), 70 << 16, out);  // e = -10 (clamped to 0), 130, 200
    const int e[3] = {0, 130, 200};
    for (int j = 0; j < 3; ++j) {
        const int a = 255 - e[j], k = 20;
        const uint32_t add = uint32_t((square(a) + square(k) - square(a - k)) >> 1);
        EXPECT_EQ(out[kCovered[j]], kBase + (add << 16)) << j;
        EXPECT_NEAR(double(add), a * k / 255.0, 1.0) << j;
    }
    run(__glFastFogIndex, 300 << 16, 100 << 16, out);  // above 255: f = 1, no fog
    for (int j = 0; j < 3; ++j) EXPECT_EQ(out[kCovered[j]], kBase) << j;

    // GL_NICEST: the iterator is the eye distance, used by its absolute value.
    struct Mode {
        GLenum mode;
        float density, end;
        int32_t start, step;
    } modes[] = {
        {GL_LINEAR, 0, 10.0f, -(9 << 16), 6 << 16},  // z = 9, 3, 9, 15 (beyond the end: f = 0)
        {GL_EXP, 0.5f, 0, 2 << 16, 1 << 16},
        {GL_EXP2, 0.5f, 0, 2 << 16, 1 << 16},
    };
    for (const Mode &m : modes) {
        fog.fogMode = m.mode;
        fog.fogDensity = m.density;
        fog.fogEnd = m.end;
        fog.fogOneOverEndMinusStart = m.end != 0 ? 1.0f / m.end : 0.0f;  // start 0
        run(__glFastFogIndexNicest, m.start, m.step, out);
        for (const int i : kCovered) {
            const double z = std::fabs((m.start + i * m.step) / 65536.0), d = m.density;
            double f = m.mode == GL_LINEAR ? (m.end - z) / m.end : std::exp(m.mode == GL_EXP ? -d * z : -(d * d * z * z));
            f = f < 0 ? 0 : (f > 1 ? 1 : f);
            EXPECT_NEAR(double(out[i]), double(kBase) + (1.0 - f) * 20.0 * 65536.0, 1.0) << m.mode << " " << i;
        }
    }
}

// Empty entries are exactly the combinations no state reaches through these procs.
TEST(FastTables, EmptyEntries) {
    for (int i = 0; i < 64; ++i) {
        const int env = (i >> 2) & 7;
        const bool texAlpha = i & 0x20;
        const bool basicEmpty = (env == 2 && !texAlpha) || (env >= 6 && !texAlpha);
        EXPECT_EQ(__glSpanTable565[size_t(i)] == nullptr, basicEmpty) << i;
        EXPECT_EQ(__glSpanTable555[size_t(i)] == nullptr, basicEmpty) << i;
        const bool stagingEmpty = (env == 2 && !texAlpha) || (env >= 6 && !(texAlpha && (i & 1))) ||
                                  (env == 0 && texAlpha);
        EXPECT_EQ(__glStagingSpanTable565[size_t(i)] == nullptr, stagingEmpty) << i;
    }
    for (int i = 0; i < 128; ++i) {
        const bool blend = i & 0x20, alpha = i & 0x40;
        const int code = i & 0xF;
        const bool present = blend ? alpha && (code == 0 || code == 1 || code == 3 || code == 6 || code == 9) : true;
        EXPECT_EQ(__glStoreSpanTable565[size_t(i)] != nullptr, present) << i;
    }
    EXPECT_EQ(__glStoreSpanByFormat[4] != nullptr && __glStoreSpanByFormat[5] != nullptr, true);
    EXPECT_EQ(__glStoreSpanByFormat[3], nullptr);
}

// Dither and mask tables: the ordered matrix by rows, and its mirror for right-to-left walks.
TEST(FastTables, DitherAndMaskTables) {
    const uint32_t matrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    const uint32_t mirrored[4][4] = {{0, 10, 2, 8}, {12, 6, 14, 4}, {3, 9, 1, 11}, {15, 5, 13, 7}};
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 35; ++i) {
            EXPECT_EQ(__glFastDitherTable[size_t(y)][size_t(i)], matrix[y][i % 4] << 12);
            EXPECT_EQ(__glFastDitherTableMirrored[size_t(y)][size_t(i)], mirrored[y][i % 4] << 12);
        }
    EXPECT_EQ(__glFastMaskTable[0], 0u);
    EXPECT_EQ(__glFastMaskTable[1], 0x80000000u);
    EXPECT_EQ(__glFastMaskTable[31], 0xFFFFFFFEu);
    EXPECT_EQ(__glFastMaskTable[32], 0xFFFFFFFFu);
}

}  // namespace
