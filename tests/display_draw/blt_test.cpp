// Bit-block transfers through the driver compared with the engine's own renderer.
#include "tests/display_draw/draw_fixture.h"

namespace {

typedef BOOL(APIENTRY *PFN_BitBlt)(SURFOBJ *, SURFOBJ *, SURFOBJ *, void *, void *, RECTL *, POINTL *, POINTL *,
                                   void *, POINTL *, ULONG);

// The clip shapes the dispatch distinguishes.
enum class Clip { Trivial, Rect, Region };

KivClipObj makeClip(Clip kind) {
    switch (kind) {
    case Clip::Trivial: return KivClipObj::trivial(RECTL{0, 0, 1024, 768});
    case Clip::Rect: return KivClipObj::rect(RECTL{30, 25, 150, 90});
    default:
        // Bands of rectangles, as a region of a window partly covered by two others.
        return KivClipObj::region({{0, 0, 200, 30}, {0, 30, 60, 70}, {90, 30, 200, 70}, {20, 70, 170, 120},
                                   {0, 120, 40, 200}, {70, 120, 200, 200}});
    }
}

// Runs the same blit through the driver on the screen and through the engine on its copy.
struct Blit {
    SURFOBJ *src = nullptr;       // for the driver
    SURFOBJ *refSrc = nullptr;    // for the engine (defaults to src)
    SURFOBJ *mask = nullptr;
    XLATEOBJ *xlo = nullptr;
    BRUSHOBJ *brush = nullptr;
    RECTL target{};
    POINTL srcPt{}, maskPt{}, brushOrg{};
    ULONG rop4 = 0xCCCC;
};

}  // namespace

class BitBlt : public DrawAllDepths {
protected:
    BOOL driverAndEngine(Blit b, Clip clip) {
        KivClipObj c1 = makeClip(clip), c2 = makeClip(clip);
        RECTL t1 = b.target, t2 = b.target;
        POINTL s1 = b.srcPt, s2 = b.srcPt, m1 = b.maskPt, m2 = b.maskPt, o1 = b.brushOrg, o2 = b.brushOrg;
        const BOOL ok = DrvBitBlt(screen, b.src, b.mask, c1.get(), b.xlo, &t1, b.src ? &s1 : nullptr, &m1, b.brush, &o1,
                                  b.rop4);
        SURFOBJ *refSrc = b.refSrc ? b.refSrc : b.src == screen ? ref->pso : b.src;
        EngBitBlt(ref->pso, refSrc, b.mask, c2.get(), b.xlo, &t2, refSrc ? &s2 : nullptr, &m2, b.brush, &o2, b.rop4);
        lastDirection = c1.lastDirection;
        return ok;
    }
    ULONG lastDirection = 0;
};

TEST_P(BitBlt, SolidFillsDrawWhatTheEngineDrawsForEveryRopAndClip) {
    struct Case { ULONG rop4; Clip clip; uint32_t wantRop; };
    const Case cases[] = {
        {0xF0F0, Clip::Trivial, 0xCC}, {0x5A5A, Clip::Rect, 0x66}, {0x5555, Clip::Region, 0x55},
        {0x0000, Clip::Region, 0x00}, {0xFFFF, Clip::Rect, 0xFF}, {0xA0A0, Clip::Region, 0x88},
    };
    seedScreen(1);
    KivBrushObj brush = KivBrushObj::solid(bpp_ == 8 ? 0x5Cu : 0x1A3Cu);
    for (const Case &c : cases) {
        zk3EngineClearLog();
        kivEngResetDrawCounts();
        Blit b;
        b.brush = brush.get();
        b.target = {10, 12, 180, 150};
        b.rop4 = c.rop4;
        EXPECT_TRUE(driverAndEngine(b, c.clip));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u) << "only the reference went to the engine";
        ASSERT_FALSE(ropWrites().empty());
        EXPECT_EQ(ropWrites().front(), c.wantRop) << std::hex << c.rop4;
        EXPECT_EQ(compare(), "") << "rop4 0x" << std::hex << c.rop4;
    }
}

TEST_P(BitBlt, RectangleClipThatMissesDrawsNothingAndSucceeds) {
    seedScreen(2);
    KivBrushObj brush = KivBrushObj::solid(3);
    KivClipObj clip = KivClipObj::rect(RECTL{500, 500, 600, 600});
    RECTL t{0, 0, 100, 100};
    zk3EngineClearLog();
    EXPECT_TRUE(DrvBitBlt(screen, nullptr, nullptr, clip.get(), nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    EXPECT_TRUE(writes(ZK_SUB_RECT).empty());
    EXPECT_EQ(compare(), "");
}

TEST_P(BitBlt, OverlappingScreenCopiesComeOutRightInEveryDirection) {
    struct Case { POINTL src; ULONG direction; };
    // The target (40, 50)-(200, 200) against sources around it.
    const Case cases[] = {
        {{30, 35}, CD_LEFTUP}, {{52, 38}, CD_RIGHTUP}, {{25, 61}, CD_LEFTDOWN}, {{47, 66}, CD_RIGHTDOWN},
    };
    for (const Case &c : cases) {
        for (Clip clip : {Clip::Trivial, Clip::Region}) {
            seedScreen(3);
            Blit b;
            b.src = screen;
            b.target = {40, 50, 200, 200};
            b.srcPt = c.src;
            EXPECT_TRUE(driverAndEngine(b, clip));
            if (clip == Clip::Region) {
                EXPECT_EQ(lastDirection, c.direction) << c.src.x << "," << c.src.y;
            }
            EXPECT_EQ(compare(), "") << "source " << c.src.x << "," << c.src.y;
        }
    }
    EXPECT_EQ(kivEngDrawCounts().bitBlt, 8u) << "the engine drew only the references";
}

TEST_P(BitBlt, ScreenCopiesWithRopsAndCopyBits) {
    seedScreen(4);
    Blit b;
    b.src = screen;
    b.target = {300, 200, 420, 260};
    b.srcPt = {10, 20};
    b.rop4 = 0x6666;
    EXPECT_TRUE(driverAndEngine(b, Clip::Rect));
    EXPECT_EQ(compare(), "");
    RECTL t{600, 300, 700, 380};
    POINTL s{590, 310};
    EXPECT_TRUE(DrvCopyBits(screen, screen, nullptr, nullptr, &t, &s));
    EngCopyBits(ref->pso, ref->pso, nullptr, nullptr, &t, &s);
    EXPECT_EQ(compare(), "");
}

TEST_P(BitBlt, MemoryToScreenInTheScreensFormat) {
    seedScreen(5);
    TestBitmap dib(150, 120, format());
    dib.seed(9);
    struct Case { ULONG rop4; Clip clip; };
    for (const Case &c : {Case{0xCCCC, Clip::Trivial}, Case{0xCCCC, Clip::Region}, Case{0x6666, Clip::Rect},
                          Case{0x8888, Clip::Region}}) {
        kivEngResetDrawCounts();
        Blit b;
        b.src = dib.pso;
        b.target = {13, 17, 160, 130};
        b.srcPt = {3, 1};
        b.rop4 = c.rop4;
        EXPECT_TRUE(driverAndEngine(b, c.clip));
        EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u);
        EXPECT_EQ(compare(), "") << std::hex << c.rop4;
    }
    // DrvCopyBits puts a top-down source straight into video memory; a bottom-up one goes
    // through the blit dispatch.
    TestBitmap up(64, 40, format(), false);
    up.seed(11);
    for (SURFOBJ *s : {dib.pso, up.pso}) {
        RECTL t{500, 400, 561, 437};
        POINTL p{2, 3};
        EXPECT_TRUE(DrvCopyBits(screen, s, nullptr, nullptr, &t, &p));
        EngCopyBits(ref->pso, s, nullptr, nullptr, &t, &p);
        EXPECT_EQ(compare(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, BitBlt, ::testing::Values(8u, 16u, 32u),
                         [](const ::testing::TestParamInfo<uint32_t> &i) { return std::to_string(i.param) + "bpp"; });
