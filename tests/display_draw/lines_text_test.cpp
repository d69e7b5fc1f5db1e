// Lines and text through the driver, against the engine's renderer.
#include "tests/display_draw/draw_fixture.h"

class LinesText : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(16));
        seedScreen(41);
    }
    BOOL line(CLIPOBJ *pco, CLIPOBJ *pcoRef, ULONG color, LONG x1, LONG y1, LONG x2, LONG y2, ULONG mix) {
        KivBrushObj pen = KivBrushObj::solid(color);
        const BOOL ok = DrvLineTo(screen, pco, pen.get(), x1, y1, x2, y2, nullptr, mix);
        EngLineTo(ref->pso, pcoRef, pen.get(), x1, y1, x2, y2, nullptr, mix);
        return ok;
    }
};

TEST_F(LinesText, AxisAlignedLinesAreRectanglesWithoutTheirEndPoint) {
    struct Case { LONG x1, y1, x2, y2; ULONG mix; bool rect; uint32_t rop; };
    const Case cases[] = {
        {10, 5, 10, 1, R2_COPYPEN, false, 0xCC},    // column 10, rows 2..5
        {10, 1, 10, 5, R2_XORPEN, false, 0x66},
        {0, 7, 100, 7, R2_COPYPEN, true, 0xCC},     // clipped to columns 50..59
        {100, 8, 0, 8, R2_WHITE, false, 0xFF},
        {300, 9, 200, 9, R2_BLACK, true, 0x00},
    };
    for (const Case &c : cases) {
        KivClipObj clip = KivClipObj::rect(RECTL{50, 0, 60, 10}), clip2 = clip;
        kivEngResetDrawCounts();
        zk3EngineClearLog();
        EXPECT_TRUE(line(c.rect ? clip.get() : nullptr, c.rect ? clip2.get() : nullptr, 0x1234, c.x1, c.y1, c.x2, c.y2,
                         c.mix));
        EXPECT_EQ(kivEngDrawCounts().lineTo, 1u) << "only the reference";
        ASSERT_FALSE(ropWrites().empty());
        EXPECT_EQ(ropWrites().back(), c.rop);
        EXPECT_EQ(compare(), "") << c.x1 << "," << c.y1 << " to " << c.x2 << "," << c.y2;
    }
}

TEST_F(LinesText, OtherLinesGoToTheEngine) {
    KivClipObj region = KivClipObj::region({{0, 0, 50, 50}, {60, 0, 100, 50}}), region2 = region;
    struct Case { const char *what; CLIPOBJ *pco, *pcoRef; LONG x2, y2; bool gl; };
    const Case cases[] = {
        {"diagonal", nullptr, nullptr, 40, 30, false},
        {"complex clip", region.get(), region2.get(), 90, 10, false},
        {"OpenGL active", nullptr, nullptr, 90, 10, true},
    };
    for (const Case &c : cases) {
        ppdev()->bOpenGlActive = c.gl;
        kivEngResetDrawCounts();
        zk3EngineClearLog();
        EXPECT_TRUE(line(c.pco, c.pcoRef, 0x2222, 10, 10, c.x2, c.y2, R2_COPYPEN));
        EXPECT_EQ(kivEngDrawCounts().lineTo, 2u) << c.what;
        EXPECT_EQ(compare(), "") << c.what;
        if (c.gl) {
            EXPECT_TRUE(zk3EngineLog().empty()) << "the FIFO is left alone while OpenGL may push";
        }
    }
    ppdev()->bOpenGlActive = 0;
    kivEngResetDrawCounts();
    PATHOBJ path{};
    LINEATTRS la{};
    KivBrushObj pen = KivBrushObj::solid(1);
    EXPECT_TRUE(DrvStrokePath(screen, &path, nullptr, nullptr, pen.get(), nullptr, &la, R2_COPYPEN));
    EXPECT_EQ(kivEngDrawCounts().strokePath, 1u);
    EXPECT_EQ(kivEngLastTargetSeen().pvScan0, ppdev()->frameBuffer) << "the screen is described to the engine by its bits";
    EXPECT_FALSE(DrvFillPath(screen, &path, nullptr, pen.get(), nullptr, R2_COPYPEN, 0))
        << "filled paths are the engine's; nothing is reported drawn that was not";
}

namespace {

// A string of three glyphs of different sizes and origins.
struct Text {
    std::vector<std::unique_ptr<KivGlyph>> owned;
    KivStrObj str;
    Text(LONG x, LONG y, bool enumerate = false, ULONG batch = 0) {
        owned.emplace_back(kivMakeGlyph({"..####....", ".#....#...", "#......#..", "#......#..", "########..",
                                         "#......#..", "#......#..", "#......#..", "#......#..", "#......#..",
                                         "#......#..", "#......##."},
                                        POINTL{0, -12}));
        owned.emplace_back(kivMakeGlyph({"#####", "#...#", "#####", "#....", "#...."}, POINTL{1, -5}));
        owned.emplace_back(kivMakeGlyph({"##.##.##.##.##.##.#", "#.#.#.#.#.#.#.#.#.#", "###################"},
                                        POINTL{0, -3}));
        const LONG advance[3] = {0, 12, 19};
        for (int i = 0; i < 3; ++i) {
            GLYPHPOS gp{};
            gp.hg = static_cast<HGLYPH>(i + 1);
            gp.ptl = POINTL{x + advance[i], y};
            str.pos.push_back(gp);
            str.glyphs.push_back(owned[i].get());
        }
        str.finish(enumerate, batch);
    }
};

}  // namespace

TEST_F(LinesText, TextMatchesTheEnginesUnderEveryClip) {
    KivBrushObj fore = KivBrushObj::solid(0x7C00), back = KivBrushObj::solid(0x03E0);
    struct Case { KivClipObj clip; bool opaque; bool enumerate; };
    Case cases[] = {
        {KivClipObj::trivial(RECTL{0, 0, 1024, 768}), true, false},
        {KivClipObj::rect(RECTL{105, 88, 125, 120}), true, true},
        {KivClipObj::region({{90, 80, 200, 92}, {90, 92, 110, 100}, {115, 92, 200, 100}, {100, 100, 130, 130}}), true,
         false},
        {KivClipObj::region({{90, 80, 200, 92}, {100, 96, 130, 130}}), false, true},
    };
    for (Case &c : cases) {
        Text t1(100, 100, c.enumerate, 2), t2(100, 100, c.enumerate, 2);
        KivClipObj clip2 = c.clip;
        RECTL opaque{98, 86, 140, 104};
        kivEngResetDrawCounts();
        EXPECT_TRUE(DrvTextOut(screen, t1.str.get(), nullptr, c.clip.get(), nullptr, c.opaque ? &opaque : nullptr,
                               fore.get(), back.get(), nullptr, 0x0D0D));
        EngTextOut(ref->pso, t2.str.get(), nullptr, clip2.get(), nullptr, c.opaque ? &opaque : nullptr, fore.get(),
                   back.get(), nullptr, 0x0D0D);
        EXPECT_EQ(kivEngDrawCounts().textOut, 1u);
        EXPECT_EQ(compare(), "") << "clip " << int(c.clip.get()->iDComplexity) << " opaque " << c.opaque;
    }
}

TEST_F(LinesText, GlyphMethodsAndClipReopening) {
    KivBrushObj fore = KivBrushObj::solid(0x1F), back = KivBrushObj::solid(0x2);
    Text t(100, 100);
    // A 10 x 12 glyph is 2 bytes a row: 6 dwords, size in rounded to 16.
    KivClipObj clip = KivClipObj::rect(RECTL{100, 80, 116, 110});   // cuts the second glyph, holds the first
    RECTL opaque{98, 86, 140, 104};
    zk3EngineClearLog();
    EXPECT_TRUE(DrvTextOut(screen, t.str.get(), nullptr, clip.get(), nullptr, &opaque, fore.get(), back.get(), nullptr,
                           0x0D0D));
    std::vector<std::pair<uint16_t, uint32_t>> m;
    size_t firstGlyphData = 0, data = 0;
    for (const Zk3FifoWrite &w : writes(ZK_SUB_MONO)) {
        m.emplace_back(w.method, w.value);
        if (w.method == ZK_MONO_C_DATA && !firstGlyphData) firstGlyphData = m.size();
        data += w.method == ZK_MONO_C_DATA;
    }
    ASSERT_GE(m.size(), 3u);
    EXPECT_EQ(m[0], std::make_pair(uint16_t(ZK_MONO_A_COLOR), 0x8002u)) << "the opaque rectangle comes first";
    EXPECT_EQ(m[1], std::make_pair(uint16_t(ZK_MONO_A_POINT), uint32_t(100) << 16 | 86));
    EXPECT_EQ(m[2], std::make_pair(uint16_t(ZK_MONO_A_SIZE), uint32_t(16) << 16 | 18));
    // Glyph 1 inside: the clip opens on all of video memory; glyph 2 crosses the edge: the
    // clip rectangle is loaded; glyph 3 lies outside.
    std::vector<std::pair<uint16_t, uint32_t>> want = {
        {ZK_MONO_C_CLIP_TL, 0},
        {ZK_MONO_C_CLIP_BR, ppdev()->cyMemory << 16 | ppdev()->cxMemory},
        {ZK_MONO_C_COLOR, 0x801F},
        {ZK_MONO_C_SIZE_IN, 12u << 16 | 16},
        {ZK_MONO_C_SIZE_OUT, 12u << 16 | 10},
        {ZK_MONO_C_POINT, 88u << 16 | 100},
    };
    ASSERT_GE(m.size(), 3 + want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(m[3 + i], want[i]) << i;
    EXPECT_EQ(m[3 + want.size()].first, ZK_MONO_C_DATA);
    EXPECT_EQ(data, 6u + 2u) << "6 dwords of the first glyph, 2 of the second (5 rows of 1 byte)";
    bool loaded = false;
    for (const auto &w : m) loaded |= w == std::make_pair(uint16_t(ZK_MONO_C_CLIP_TL), ulPoint(100, 80));
    EXPECT_TRUE(loaded);

    // A DC_RECT glyph after a crossing one reopens the whole-memory clip first.
    Text again(100, 100);
    std::swap(again.str.pos[0], again.str.pos[1]);
    std::swap(again.str.glyphs[0], again.str.glyphs[1]);
    again.str.pos[0].ptl = POINTL{112, 100};   // the small glyph crossing the right edge
    again.str.pos[1].ptl = POINTL{100, 100};
    again.str.finish();
    zk3EngineClearLog();
    EXPECT_TRUE(DrvTextOut(screen, again.str.get(), nullptr, clip.get(), nullptr, nullptr, fore.get(), back.get(),
                           nullptr, 0x0D0D));
    std::vector<uint32_t> clipsTL;
    for (const Zk3FifoWrite &w : writes(ZK_SUB_MONO))
        if (w.method == ZK_MONO_C_CLIP_TL) clipsTL.push_back(w.value);
    EXPECT_EQ(clipsTL, (std::vector<uint32_t>{ulPoint(100, 80), 0u}));
    DrvDestroyFont(nullptr);
}

TEST_F(LinesText, FixedPitchStringsAdvanceByTheCharacterIncrement) {
    KivBrushObj fore = KivBrushObj::solid(0x7FFF);
    Text t1(200, 300), t2(200, 300);
    // The engine's positions of a fixed-pitch string: every 21 pixels on one baseline.
    for (int i = 0; i < 3; ++i) t1.str.pos[i].ptl = t2.str.pos[i].ptl = POINTL{200 + 21 * i, 300};
    t1.str.finish(false, 0, 21);
    t2.str.finish(false, 0, 21);
    t1.str.pos[1].ptl = t1.str.pos[2].ptl = POINTL{-999, -999};   // the driver must not need them
    EXPECT_TRUE(DrvTextOut(screen, t1.str.get(), nullptr, nullptr, nullptr, nullptr, fore.get(), nullptr, nullptr,
                           0x0D0D));
    EngTextOut(ref->pso, t2.str.get(), nullptr, nullptr, nullptr, nullptr, fore.get(), nullptr, nullptr, 0x0D0D);
    EXPECT_EQ(compare(), "") << "each glyph keeps its own origin";
}
