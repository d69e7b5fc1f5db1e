// Drawing on device bitmaps (in off-screen memory or held as DIBs) and while OpenGL is active.
#include "tests/display_draw/draw_fixture.h"

#include <cstring>

namespace {

// The off-screen heap's node as the driver reads it for a bitmap in video memory.
using Node = ZK_OFFSCREEN_NODE;

// A device bitmap whose record the test makes (the heap's work), as the engine sees it.
struct DeviceBitmap {
    ZK_DSURF record{};
    Node node{};
    HSURF hsurf = nullptr;
    SURFOBJ *pso = nullptr;
    DeviceBitmap(ZK_PDEV *ppdev, LONG cx, LONG cy, SURFOBJ *dib) {
        record.cx = static_cast<ULONG>(cx);
        record.cy = static_cast<ULONG>(cy);
        record.ppdev = ppdev;
        if (dib) {
            record.dt = 1;
            record.p = dib;
        } else {
            node.cx = record.cx;
            node.cy = record.cy;
            node.cjStride = static_cast<ULONG>((cx + 15) & ~15) * ppdev->cjPelSize;
            // Below the screen, at a 16-byte boundary.
            node.address = static_cast<ULONG>(reinterpret_cast<uintptr_t>(ppdev->frameBuffer)) +
                           static_cast<ULONG>(ppdev->lDelta) * (ppdev->cyScreen + 3);
            node.addressCopy = node.address;
            node.pdsurf = &record;
            record.p = &node;
        }
        hsurf = reinterpret_cast<HSURF>(
            EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(&record), SIZEL{cx, cy}, ppdev->iBitmapFormat));
        EngAssociateSurface(hsurf, ppdev->hdevEng, ppdev->flHooks);
        pso = EngLockSurface(hsurf);
    }
    ~DeviceBitmap() {
        EngUnlockSurface(pso);
        EngDeleteSurface(hsurf);
    }
    uint8_t *bits() const { return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(node.address)); }
};

}  // namespace

class DeviceBitmaps : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(16));
        seedScreen(51);
    }
};

TEST_F(DeviceBitmaps, OffscreenBitmapsAreDrawnAtTheirOffsetAndStride) {
    DeviceBitmap off(ppdev(), 100, 60, nullptr);
    const size_t bytes = static_cast<size_t>(off.node.cjStride) * 60;
    std::memset(off.bits(), 0x11, bytes);
    std::vector<uint8_t> copy(off.bits(), off.bits() + bytes);
    TestBitmap mirror(100, 60, format(), true, static_cast<LONG>(off.node.cjStride), copy.data());

    KivBrushObj brush = KivBrushObj::solid(0x1234);
    RECTL t{5, 6, 70, 50};
    zk3EngineClearLog();
    EXPECT_TRUE(DrvBitBlt(off.pso, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0x5A5A));
    EngBitBlt(mirror.pso, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0x5A5A);
    // Screen to bitmap and bitmap to screen are copies inside video memory.
    RECTL t2{0, 0, 40, 30};
    POINTL s{500, 400};
    EXPECT_TRUE(DrvCopyBits(off.pso, screen, nullptr, nullptr, &t2, &s));
    EngCopyBits(mirror.pso, ref->pso, nullptr, nullptr, &t2, &s);
    EXPECT_EQ(std::memcmp(off.bits(), copy.data(), bytes), 0);
    RECTL t3{600, 500, 660, 540};
    POINTL s3{20, 10};
    EXPECT_TRUE(DrvCopyBits(screen, off.pso, nullptr, nullptr, &t3, &s3));
    EngCopyBits(ref->pso, mirror.pso, nullptr, nullptr, &t3, &s3);
    EXPECT_EQ(compare(), "");
    bool programmed = false;
    for (const Zk3FifoWrite &w : writes(ZK_SUB_SURFACE))
        programmed |= w.method == ZK_SURF_OFFSET && w.value == static_cast<uint32_t>(ppdev()->lDelta) * (ppdev()->cyScreen + 3);
    EXPECT_TRUE(programmed) << "the destination surface is the bitmap's memory";
    EXPECT_EQ(kivEngDrawCounts().bitBlt + kivEngDrawCounts().copyBits, 3u) << "the engine drew only the references";
    // Moving it out to system memory copies every line.
    TestBitmap out(100, 60, format());
    RECTL all{0, 0, 100, 60};
    vCopyVideoToDib(ppdev(), &off.record, out.pso, &all);
    for (LONG y = 0; y < 60; ++y)
        ASSERT_EQ(std::memcmp(static_cast<uint8_t *>(out.pso->pvScan0) + y * out.pso->lDelta,
                              off.bits() + y * off.node.cjStride, 200), 0) << y;
}

TEST_F(DeviceBitmaps, BitmapsHeldAsDibsAreDrawnByTheEngine) {
    TestBitmap dib(80, 40, format());
    dib.seed(3);
    DeviceBitmap held(ppdev(), 80, 40, dib.pso);
    KivBrushObj brush = KivBrushObj::solid(0x0F0F);
    RECTL t{1, 2, 30, 20};
    kivEngResetDrawCounts();
    zk3EngineClearLog();
    EXPECT_TRUE(DrvBitBlt(held.pso, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    EXPECT_EQ(kivEngDrawCounts().bitBlt, 1u);
    EXPECT_EQ(kivEngLastTargetSeen().pvScan0, dib.pso->pvScan0);
    EXPECT_EQ(dib.get(1, 2), 0x0F0Fu);
    // Text on it goes to the engine with the DIB's description.
    std::unique_ptr<KivGlyph> g(kivMakeGlyph({"##", "##"}, POINTL{0, 0}));
    KivStrObj str;
    GLYPHPOS gp{};
    gp.ptl = POINTL{40, 30};
    str.pos.push_back(gp);
    str.glyphs.push_back(g.get());
    str.finish();
    EXPECT_TRUE(DrvTextOut(held.pso, str.get(), nullptr, nullptr, nullptr, nullptr, brush.get(), nullptr, nullptr, 0x0D0D));
    EXPECT_EQ(kivEngDrawCounts().textOut, 1u);
    EXPECT_EQ(dib.get(41, 31), 0x0F0Fu);
    // A copy from the screen into it comes out of video memory.
    RECTL t2{50, 5, 70, 25};
    POINTL s{10, 10};
    EXPECT_TRUE(DrvCopyBits(held.pso, screen, nullptr, nullptr, &t2, &s));
    EXPECT_EQ(dib.get(50, 5), screenPixel(10, 10));
    EXPECT_EQ(dib.get(69, 24), screenPixel(29, 29));
    EXPECT_TRUE(writes(ZK_SUB_RECT).empty()) << "nothing of it reached the engine FIFO's drawing objects";
}

TEST_F(DeviceBitmaps, WhileOpenGlIsActiveDrawingHoldsTheEngineLock) {
    ppdev()->bOpenGlActive = 1;
    KivBrushObj brush = KivBrushObj::solid(0x3C3C);
    RECTL t{10, 10, 90, 40};
    zk3EngineClearLog();
    EXPECT_TRUE(DrvBitBlt(screen, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    EngBitBlt(ref->pso, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0xF0F0);
    EXPECT_EQ(compare(), "");
    const auto &log = zk3EngineLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().subchannel, ZK_SUB_MONO);
    EXPECT_EQ(log.front().method, 0x104) << "the engine was synchronised with the clients first";
    // A punt gives the lock back before the engine draws: nothing is held afterwards.
    TestBitmap wide(16, 16, BMF_24BPP);
    POINTL s{0, 0};
    EXPECT_TRUE(DrvBitBlt(screen, wide.pso, nullptr, nullptr, nullptr, &t, &s, nullptr, nullptr, nullptr, 0xCCCC));
    ppdev()->bOpenGlActive = 0;
    kivEngClearErrors();
    EngReleaseSemaphore(ppdev()->engineSemaphore);
    EXPECT_EQ(kivEngErrors().size(), 1u) << "the engine lock was not left held";
    kivEngClearErrors();
}

TEST_F(DeviceBitmaps, HeldSourcesCountTheirUsesTowardsAMoveIntoVideoMemory) {
    TestBitmap dib(32, 32, format());
    dib.seed(4);
    DeviceBitmap held(ppdev(), 32, 32, dib.pso);
    held.record.ulFreeCountSeen = ulHeapUniq(ppdev()) + 1;   // moved out before the heap last changed
    RECTL t{100, 100, 132, 132};
    POINTL s{0, 0};
    std::vector<ULONG> counts;
    ppdev()->flags |= ZK_FLAG_DDRAW_HEAP;   // DirectDraw holds the heap: no bitmap moves in
    for (int use = 0; use < 8; ++use) {
        EXPECT_TRUE(DrvCopyBits(screen, held.pso, nullptr, nullptr, &t, &s));
        counts.push_back(held.record.ulUseCount);
    }
    ppdev()->flags &= ~ZK_FLAG_DDRAW_HEAP;
    // The first use starts the countdown; the seventh tries the move (refused here), and a
    // failed move is not tried again until the heap changes.
    EXPECT_EQ(counts, (std::vector<ULONG>{6, 5, 4, 3, 2, 1, 0, 0xFFFFFFFFu}));
    EXPECT_EQ(screenPixel(131, 131), dib.get(31, 31)) << "the DIB is drawn from system memory meanwhile";
}

TEST_F(DeviceBitmaps, WithoutTheHardwareTheEngineDrawsEverything) {
    ASSERT_TRUE(kivEngineAssertMode(false));
    ASSERT_EQ(ppdev()->fifo, nullptr);
    kivEngResetDrawCounts();
    KivBrushObj brush = KivBrushObj::solid(0x0123);
    RECTL t{0, 0, 8, 8};
    EXPECT_TRUE(DrvBitBlt(screen, nullptr, nullptr, nullptr, nullptr, &t, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    EXPECT_TRUE(DrvLineTo(screen, nullptr, brush.get(), 0, 20, 10, 20, nullptr, R2_COPYPEN));
    std::unique_ptr<KivGlyph> g(kivMakeGlyph({"#"}, POINTL{0, 0}));
    KivStrObj str;
    GLYPHPOS gp{};
    gp.ptl = POINTL{30, 30};
    str.pos.push_back(gp);
    str.glyphs.push_back(g.get());
    str.finish();
    EXPECT_TRUE(DrvTextOut(screen, str.get(), nullptr, nullptr, nullptr, nullptr, brush.get(), nullptr, nullptr, 0x0D0D));
    const KivEngDrawCounts n = kivEngDrawCounts();
    EXPECT_EQ(n.bitBlt + n.lineTo + n.textOut, 3u);
    EXPECT_EQ(screenPixel(7, 7), 0x0123u);
    EXPECT_EQ(screenPixel(9, 20), 0x0123u);
    EXPECT_EQ(screenPixel(30, 30), 0x0123u);
    ASSERT_TRUE(kivEngineAssertMode(true));
}
