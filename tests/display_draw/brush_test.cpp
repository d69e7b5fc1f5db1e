// Brush realisation and colour dithering.
#include "tests/display_draw/draw_fixture.h"

#include <bitset>
#include <set>

namespace {

BOOL realize(KivBrushObj &b, SURFOBJ *target, ULONG iHatch = 0) {
    b.target = target;
    b.iHatch = iHatch;
    return DrvRealizeBrush(b.get(), target, b.pattern, nullptr, b.xlate, iHatch);
}

}  // namespace

TEST_F(DrawTest, RealizedBrushes) {
    ASSERT_TRUE(start(16));
    TestBitmap big(16, 16, BMF_16BPP), mono(8, 8, BMF_1BPP), nib(8, 8, BMF_4BPP), native(8, 8, BMF_16BPP);
    native.seed(1);
    nib.seed(2);
    for (LONG y = 0; y < 8; ++y) mono.set(y, y, 1);   // a diagonal
    KivXlateObj bw = KivXlateObj::fromTable({0x000000, 0xFFFFFF});

    KivBrushObj b = KivBrushObj::patterned(big.pso, nullptr);
    EXPECT_FALSE(realize(b, screen)) << "only 8 x 8 patterns";
    b = KivBrushObj::patterned(native.pso, nullptr);
    EXPECT_FALSE(realize(b, screen, RB_DITHERCOLOR));

    EXPECT_TRUE(realize(b, screen));
    const auto *rb = reinterpret_cast<const ZK_RBRUSH *>(b.rbrush.data());
    EXPECT_EQ(rb->flags, 0u);
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) {
            uint16_t v;
            std::memcpy(&v, rb->aj + 16 * y + 2 * x, 2);
            ASSERT_EQ(v, native.get(x, y));
        }

    b = KivBrushObj::patterned(mono.pso, bw.get());
    EXPECT_TRUE(realize(b, screen));
    rb = reinterpret_cast<const ZK_RBRUSH *>(b.rbrush.data());
    EXPECT_EQ(rb->flags, RB_MONO);
    EXPECT_EQ(rb->background, 0x000000u);
    EXPECT_EQ(rb->foreground, 0xFFFFFFu);
    for (int y = 0; y < 8; ++y) EXPECT_EQ(rb->aj[y], 0x80 >> y);

    // Without a translation the bits are the colours (no table is read).
    b = KivBrushObj::patterned(mono.pso, nullptr);
    EXPECT_TRUE(realize(b, screen));
    rb = reinterpret_cast<const ZK_RBRUSH *>(b.rbrush.data());
    EXPECT_EQ(rb->foreground, 1u);
    EXPECT_EQ(rb->background, 0u);

    // Other formats are converted into the screen's by the engine.
    std::vector<ULONG> table;
    for (ULONG i = 0; i < 16; ++i) table.push_back(0x111 * i);
    KivXlateObj xlo = KivXlateObj::fromTable(table);
    b = KivBrushObj::patterned(nib.pso, xlo.get());
    EXPECT_TRUE(realize(b, screen));
    rb = reinterpret_cast<const ZK_RBRUSH *>(b.rbrush.data());
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) {
            uint16_t v;
            std::memcpy(&v, rb->aj + 16 * y + 2 * x, 2);
            ASSERT_EQ(v, 0x111 * nib.get(x, y));
        }
}

TEST_F(DrawTest, FourBitBrushesAreRefusedOnAnEightBitScreen) {
    ASSERT_TRUE(start(8));
    TestBitmap nib(8, 8, BMF_4BPP);
    KivBrushObj b = KivBrushObj::patterned(nib.pso, nullptr);
    EXPECT_FALSE(realize(b, screen));
}

TEST(Dither, MonochromeByBrightness) {
    ULONG pul[8];
    struct Case { ULONG rgb; unsigned bits; };
    for (const Case &c : {Case{0x000000, 0}, Case{0xFFFFFF, 64}, Case{0x0000FF, 19}, Case{0x808080, 32}}) {
        EXPECT_EQ(DrvDitherColor(nullptr, DM_MONOCHROME, c.rgb, pul), DCR_DRIVER);
        unsigned n = 0;
        for (ULONG d : pul) {
            EXPECT_EQ(d & ~0xFFu, 0u);
            n += static_cast<unsigned>(std::bitset<32>(d).count());
        }
        EXPECT_EQ(n, c.bits) << std::hex << c.rgb;
    }
    DrvDitherColor(nullptr, DM_MONOCHROME, 0x040404, pul);   // n = 1: the top-left pixel first
    EXPECT_EQ(pul[0], 0x80u);
    DrvDitherColor(nullptr, DM_MONOCHROME, 0x080808, pul);   // n = 2
    EXPECT_EQ(pul[0], 0x80u);
    EXPECT_EQ(pul[4], 0x08u);
}

TEST(Dither, ColoursFromTheStaticPalette) {
    uint8_t p[64];
    auto dither = [&](ULONG rgb) {
        EXPECT_EQ(DrvDitherColor(nullptr, DM_DEFAULT, rgb, reinterpret_cast<ULONG *>(p)), DCR_DRIVER);
    };
    auto all = [&](uint8_t v) {
        for (uint8_t b : p)
            if (b != v) return false;
        return true;
    };
    dither(0x000000);
    EXPECT_TRUE(all(0));
    dither(0xFFFFFF);
    EXPECT_TRUE(all(255));
    dither(0x000080);   // R = 128: one vertex, half red
    EXPECT_TRUE(all(1));
    dither(0x800000);   // B = 128
    EXPECT_TRUE(all(4));
    // R = 64: half the pattern black, half dark red, spread by the position table.
    dither(0x000040);
    int red = 0;
    for (uint8_t b : p) red += b == 1;
    EXPECT_EQ(red, 32);
    EXPECT_EQ(p[0], 0) << "with equal counts the first vertex (black) is the background";
    EXPECT_EQ(p[1], 1) << "red takes the second half of the position order, which holds byte 1";
    // Every colour of a grid dithers into the 20 static colours.
    const std::set<uint8_t> stat = {0, 1, 2, 3, 4, 5, 6, 7, 248, 249, 250, 251, 252, 253, 254, 255};
    for (ULONG r = 0; r < 256; r += 15)
        for (ULONG g = 0; g < 256; g += 15)
            for (ULONG b = 0; b < 256; b += 15) {
                dither(r | g << 8 | b << 16);
                for (uint8_t v : p) ASSERT_TRUE(stat.count(v)) << r << "," << g << "," << b << " -> " << int(v);
            }
}
