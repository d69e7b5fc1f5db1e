// Transfers from system memory in other formats, brushes, and what goes back to the engine.
#include "tests/display_draw/draw_fixture.h"

namespace {

KivClipObj bands() {
    return KivClipObj::region({{0, 0, 300, 40}, {0, 40, 90, 90}, {120, 40, 300, 90}, {50, 90, 250, 160}});
}

}  // namespace

class Transfer : public DrawAllDepths {
protected:
    // The same blit through the driver (on the screen) and the engine (on its copy).
    BOOL both(SURFOBJ *src, BRUSHOBJ *pbo, XLATEOBJ *pxlo, RECTL t, POINTL s, ULONG rop4, bool region = true,
              POINTL org = {0, 0}, SURFOBJ *mask = nullptr) {
        KivClipObj c1 = region ? bands() : KivClipObj::trivial(RECTL{0, 0, 1024, 768});
        KivClipObj c2 = c1;
        RECTL t2 = t;
        POINTL s2 = s, o2 = org, m{0, 0}, m2{0, 0};
        const BOOL ok = DrvBitBlt(screen, src, mask, c1.get(), pxlo, &t, src ? &s : nullptr, &m, pbo, &org, rop4);
        SURFOBJ *refSrc = src == screen ? ref->pso : src;
        EngBitBlt(ref->pso, refSrc, mask, c2.get(), pxlo, &t2, refSrc ? &s2 : nullptr, &m2, pbo, &o2, rop4);
        return ok;
    }
    uint32_t color(uint32_t i) const { return bpp_ == 8 ? (i * 37 + 11) & 0xFF : (i * 0x1357 + 0x24) & 0x7FFF; }
};

TEST_P(Transfer, MonochromeSourcesExpandFromTheirDwordBoundary) {
    seedScreen(31);
    TestBitmap mono(256, 100, BMF_1BPP);
    mono.seed(5);
    KivXlateObj xlo = KivXlateObj::fromTable({color(1), color(2)});
    KivBrushObj solid = KivBrushObj::solid(color(3));
    struct Case { POINTL src; ULONG rop4; bool pattern; };
    for (const Case &c : {Case{{37, 3}, 0xCCCC, false}, Case{{0, 0}, 0x6666, false}, Case{{45, 11}, 0xB8B8, true}}) {
        kivEngResetDrawCounts();
        zk3EngineClearLog();
        EXPECT_TRUE(both(mono.pso, c.pattern ? solid.get() : nullptr, xlo.get(), RECTL{20, 10, 180, 80}, c.src, c.rop4));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u);
        EXPECT_EQ(compare(), "") << "source x " << c.src.x << " rop 0x" << std::hex << c.rop4;
    }
    // Source x 37 of the first piece (20, 10): the expansion starts 5 pixels to its left.
    zk3EngineClearLog();
    RECTL t{20, 10, 60, 30};
    POINTL s{37, 3};
    DrvBitBlt(screen, mono.pso, nullptr, nullptr, xlo.get(), &t, &s, nullptr, nullptr, nullptr, 0xCCCC);
    for (const Zk3FifoWrite &w : writes(ZK_SUB_MONO))
        if (w.method == ZK_MONO_E_POINT) {
            EXPECT_EQ(w.value, ulPoint(15, 10));
        }
}

TEST_P(Transfer, FourBitSourcesOnAnEightBitScreen) {
    seedScreen(32);
    TestBitmap nib(120, 60, BMF_4BPP);
    nib.seed(6);
    std::vector<ULONG> table;
    for (ULONG i = 0; i < 16; ++i) table.push_back(color(i + 20));
    KivXlateObj xlo = KivXlateObj::fromTable(table);
    for (POINTL s : {POINTL{0, 0}, POINTL{7, 5}, POINTL{10, 2}}) {
        kivEngResetDrawCounts();
        EXPECT_TRUE(both(nib.pso, nullptr, xlo.get(), RECTL{33, 21, 140, 70}, s, 0xCCCC));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, bpp_ == 8 ? 1u : 2u) << "4 bpp onto 16 or 32 bpp is the engine's";
        EXPECT_EQ(compare(), "") << "source x " << s.x;
    }
}

TEST_P(Transfer, NativeSourcesWithASolidPatternRop) {
    seedScreen(33);
    TestBitmap dib(130, 90, format());
    dib.seed(7);
    KivBrushObj solid = KivBrushObj::solid(color(9));
    for (ULONG rop4 : {0xB8B8u, 0xE2E2u, 0x5A5Au}) {
        kivEngResetDrawCounts();
        EXPECT_TRUE(both(dib.pso, solid.get(), nullptr, RECTL{5, 6, 131, 94}, POINTL{1, 2}, rop4));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u);
        EXPECT_EQ(compare(), "") << std::hex << rop4;
    }
}

TEST_P(Transfer, MonochromeBrushesRepeatFromTheirOrigin) {
    seedScreen(34);
    TestBitmap pat(8, 8, BMF_1BPP);
    const uint8_t rows[8] = {0x81, 0x42, 0x24, 0x18, 0xF0, 0x0F, 0xAA, 0x55};
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) pat.set(x, y, (rows[y] >> (7 - x)) & 1);
    KivXlateObj xlo = KivXlateObj::fromTable({color(4), color(5)});
    for (ULONG rop4 : {0xF0F0u, 0x5A5Au, 0xA0A0u}) {
        for (POINTL org : {POINTL{0, 0}, POINTL{3, 5}, POINTL{-2, 9}}) {
            KivBrushObj brush = KivBrushObj::patterned(pat.pso, xlo.get());
            brush.target = screen;
            EXPECT_TRUE(both(nullptr, brush.get(), nullptr, RECTL{11, 7, 170, 130}, POINTL{}, rop4, true, org));
            EXPECT_EQ(brush.realizeCalls, 1u);
            ASSERT_NE(brush.get()->pvRbrush, nullptr);
            EXPECT_EQ(static_cast<ZK_RBRUSH *>(brush.get()->pvRbrush)->flags, RB_MONO);
            EXPECT_EQ(compare(), "") << "rop 0x" << std::hex << rop4 << " origin " << std::dec << org.x << "," << org.y;
        }
    }
}

TEST_P(Transfer, ColourBrushesAndDitheredColours) {
    seedScreen(35);
    TestBitmap pat(8, 8, format());
    pat.seed(8);
    // A dithered colour: the driver's own 8 x 8 pattern of palette indices.
    TestBitmap dither(8, 8, BMF_8BPP);
    ULONG pattern[16];
    DrvDitherColor(reinterpret_cast<DHPDEV>(ppdev()), DM_DEFAULT, 0x3080C0, pattern);
    std::memcpy(dither.pso->pvScan0, pattern, 64);
    std::vector<ULONG> table;
    for (ULONG i = 0; i < 256; ++i) table.push_back(color(i));
    KivXlateObj xlo = KivXlateObj::fromTable(table);
    struct Case { SURFOBJ *pattern; XLATEOBJ *xlo; ULONG rop4; RECTL t; };
    const Case cases[] = {
        {pat.pso, nullptr, 0xF0F0, {3, 4, 103, 304}},    // 100 x 300: cells widened and doubled downward
        {pat.pso, nullptr, 0xF0F0, {500, 9, 520, 30}},   // narrower than 32: whole rows
        {pat.pso, nullptr, 0x5A5A, {40, 50, 181, 123}},
        {dither.pso, xlo.get(), 0xF0F0, {200, 300, 377, 411}},
    };
    for (const Case &c : cases) {
        KivBrushObj brush = KivBrushObj::patterned(c.pattern, c.xlo);
        brush.target = screen;
        kivEngResetDrawCounts();
        EXPECT_TRUE(both(nullptr, brush.get(), nullptr, c.t, POINTL{}, c.rop4, false, POINTL{5, 2}));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u);
        EXPECT_EQ(compare(), "") << "rop 0x" << std::hex << c.rop4 << " at " << std::dec << c.t.left << "," << c.t.top;
    }
}

TEST_P(Transfer, WhatTheEngineCannotDoIsHandedBack) {
    seedScreen(36);
    TestBitmap dib(64, 64, format());
    dib.seed(9);
    TestBitmap mask(64, 64, BMF_1BPP);
    mask.seed(10);
    TestBitmap wide(64, 64, BMF_24BPP);
    wide.seed(11);
    KivBrushObj solid = KivBrushObj::solid(color(2));
    TestBitmap indexed(64, 64, BMF_8BPP);
    indexed.seed(12);
    std::vector<ULONG> table;
    for (ULONG i = 0; i < 256; ++i) table.push_back(color(255 - i));
    KivXlateObj xlo = KivXlateObj::fromTable(table);
    KivBrushObj pattern = KivBrushObj::patterned(dib.pso, nullptr);
    pattern.target = screen;
    struct Case { const char *what; SURFOBJ *src; SURFOBJ *mask; BRUSHOBJ *pbo; XLATEOBJ *xlo; ULONG rop4; };
    const Case cases[] = {
        {"mask rop", dib.pso, mask.pso, nullptr, nullptr, 0xCCAA},
        {"24 bpp source", wide.pso, nullptr, nullptr, nullptr, 0xCCCC},
        {"8 bpp source through a colour table", indexed.pso, nullptr, nullptr, xlo.get(), 0xCCCC},
        {"pattern rop with a screen source", screen, nullptr, solid.get(), nullptr, 0xB8B8},
        {"pattern brush with a source", dib.pso, nullptr, pattern.get(), nullptr, 0xB8B8},
    };
    for (const Case &c : cases) {
        kivEngResetDrawCounts();
        EXPECT_TRUE(both(c.src, c.pbo, c.xlo, RECTL{100, 100, 160, 150}, POINTL{2, 3}, c.rop4, true, POINTL{}, c.mask))
            << c.what;
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 2u) << c.what;
        EXPECT_EQ(kivEngLastTarget(), ref->pso);
        EXPECT_EQ(compare(), "") << c.what;
    }
    // The driver's punt describes the screen to the engine by its bits.
    kivEngResetDrawCounts();
    RECTL t{0, 0, 10, 10};
    POINTL s{0, 0};
    DrvBitBlt(screen, wide.pso, nullptr, nullptr, nullptr, &t, &s, nullptr, nullptr, nullptr, 0xCCCC);
    ASSERT_NE(kivEngLastTarget(), screen);
    EXPECT_EQ(kivEngLastTargetSeen().pvScan0, ppdev()->frameBuffer);
    EXPECT_EQ(kivEngLastTargetSeen().lDelta, ppdev()->lDelta);
}

TEST_P(Transfer, PaintTurnsMixesIntoPatternRops) {
    seedScreen(37);
    KivBrushObj solid = KivBrushObj::solid(color(6));
    for (ULONG mix : {0x0D0Du, 0x0707u, 0x1010u, 0x0101u}) {
        KivClipObj c1 = bands(), c2 = bands();
        zk3EngineClearLog();
        EXPECT_TRUE(DrvPaint(screen, c1.get(), solid.get(), nullptr, mix));
        const uint8_t t[17] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                               0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};
        const ULONG rop = t[mix & 0xF];
        RECTL b = c2.get()->rclBounds;
        EngBitBlt(ref->pso, nullptr, nullptr, c2.get(), nullptr, &b, nullptr, nullptr, solid.get(), nullptr, rop << 8 | rop);
        EXPECT_EQ(compare(), "") << std::hex << mix;
        if (mix == 0x0D0D) {
            EXPECT_EQ(ropWrites().front(), 0xCCu) << "R2_COPYPEN paints as PATCOPY";
        }
    }
}

TEST_P(Transfer, ScreenToSystemMemory) {
    seedScreen(38);
    TestBitmap same(200, 120, format());
    TestBitmap same2(200, 120, format());
    TestBitmap other(200, 120, BMF_24BPP);
    TestBitmap other2(200, 120, BMF_24BPP);
    for (auto pair : {std::make_pair(&same, &same2), std::make_pair(&other, &other2)}) {
        for (ULONG rop4 : {0xCCCCu, 0x6666u}) {
            KivClipObj c1 = bands(), c2 = bands();
            RECTL t{4, 6, 190, 110}, t2 = t;
            POINTL s{300, 200}, s2 = s;
            pair.first->seed(3);
            pair.second->seed(3);
            EXPECT_TRUE(DrvBitBlt(pair.first->pso, screen, nullptr, c1.get(), nullptr, &t, &s, nullptr, nullptr, nullptr, rop4));
            EngBitBlt(pair.second->pso, ref->pso, nullptr, c2.get(), nullptr, &t2, &s2, nullptr, nullptr, nullptr, rop4);
            for (LONG y = 0; y < 120; ++y)
                for (LONG x = 0; x < 200; ++x)
                    ASSERT_EQ(pair.first->get(x, y), pair.second->get(x, y)) << x << "," << y << " rop " << std::hex << rop4;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, Transfer, ::testing::Values(8u, 16u, 32u),
                         [](const ::testing::TestParamInfo<uint32_t> &i) { return std::to_string(i.param) + "bpp"; });

TEST_F(DrawTest, WideColourPatternsAreWidenedAndDoubledByTheEngine) {
    ASSERT_TRUE(start(16));
    TestBitmap pat(8, 8, format());
    pat.seed(12);
    KivBrushObj brush = KivBrushObj::patterned(pat.pso, nullptr);
    brush.target = screen;
    RECTL t{3, 4, 103, 304};
    POINTL org{0, 0};
    zk3EngineClearLog();
    ASSERT_TRUE(DrvBitBlt(screen, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), &org, 0xF0F0));
    std::vector<uint32_t> widths, heights;
    unsigned cells = 0;
    for (const Zk3FifoWrite &w : zk3EngineLog()) {
        if (w.subchannel == ZK_SUB_IMAGE && w.method == ZK_IMG_SIZE_OUT) cells += w.value == ulSize(8, 1);
        if (w.subchannel == ZK_SUB_BLIT && w.method == ZK_BLT_SIZE) {
            if ((w.value >> 16) == 1) widths.push_back(w.value & 0xFFFF);
            else heights.push_back(w.value >> 16);
        }
    }
    EXPECT_EQ(cells, 8u);
    std::vector<uint32_t> row = {8, 8, 8, 32, 32, 4}, rows;
    for (int i = 0; i < 8; ++i) rows.insert(rows.end(), row.begin(), row.end());
    EXPECT_EQ(widths, rows);
    EXPECT_EQ(heights, (std::vector<uint32_t>{8, 8, 8, 32, 32, 32, 32, 128, 8, 4}));
}
