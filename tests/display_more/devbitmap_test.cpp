// Device bitmaps in off-screen memory: what the engine is given, what it is refused, and how the
// bitmaps move between video and system memory.
#include "tests/display_more/more_fixture.h"

#include <cstring>

namespace {

// Writes a pattern over a bitmap's pixels wherever it lives; checks it back.
uint16_t patternAt(LONG x, LONG y, uint32_t salt) { return static_cast<uint16_t>(x * 31 + y * 977 + salt * 7919); }

void vWritePattern(SURFOBJ *pso, uint8_t *bits, LONG stride, uint32_t salt) {
    for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
        for (LONG x = 0; x < pso->sizlBitmap.cx; ++x) {
            const uint16_t v = patternAt(x, y, salt);
            std::memcpy(bits + y * stride + x * 2, &v, 2);
        }
}

int cMismatches(const uint8_t *bits, LONG stride, LONG cx, LONG cy, uint32_t salt) {
    int bad = 0;
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cx; ++x) {
            uint16_t v;
            std::memcpy(&v, bits + y * stride + x * 2, 2);
            bad += v != patternAt(x, y, salt);
        }
    return bad;
}

}  // namespace

class DeviceBitmapMemory : public MoreTest {
protected:
    uint8_t *videoBits(const KivEngBitmap &b) {
        return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(nodeOf(b)->address));
    }
    void fillVideo(const KivEngBitmap &b, uint32_t salt) {
        vWritePattern(b.pso, videoBits(b), static_cast<LONG>(nodeOf(b)->cjStride), salt);
    }
    // Permanent blocks (as DirectDraw takes them) over the rest of video memory.
    std::vector<ZK_OFFSCREEN_NODE *> permanent;
    void TearDown() override {
        if (!stopped_)
            for (auto *n : permanent) pFreeOffscreenBitmap(ppdev(), n);
        MoreTest::TearDown();
    }
    void fillWithPermanent(LONG cx, LONG cy) {
        while (ZK_OFFSCREEN_NODE *n = pAllocOffscreenBitmap(ppdev(), cx, cy, ZK_ALLOC_PERMANENT)) permanent.push_back(n);
    }
    void freePermanent() {
        for (auto *n : permanent) pFreeOffscreenBitmap(ppdev(), n);
        permanent.clear();
    }
};

TEST_F(DeviceBitmapMemory, RequestsTheDriverRefusesStayWithTheEngine) {
    ZK_PDEV *p = ppdev();
    const LONG w = static_cast<LONG>(p->cxScreen), h = static_cast<LONG>(p->cyScreen);
    const SIZEL small{40, 30};
    struct Case {
        const char *what;
        SIZEL sizl;
        ULONG format;
        bool accepted;
    } cases[] = {
        {"8 x 8", {8, 8}, p->iBitmapFormat, false},
        {"9 x 1", {9, 1}, p->iBitmapFormat, true},
        {"1 x 9", {1, 9}, p->iBitmapFormat, true},
        {"other format", small, BMF_32BPP, false},
        {"wider than the screen", {w + 1, 10}, p->iBitmapFormat, false},
        {"taller than the screen", {10, h + 1}, p->iBitmapFormat, false},
        {"negative width", {-40, 30}, p->iBitmapFormat, false},
        {"zero height", {40, 0}, p->iBitmapFormat, false},
    };
    for (const Case &c : cases) {
        HBITMAP hb = DrvCreateDeviceBitmap(reinterpret_cast<DHPDEV>(p), c.sizl, c.format);
        EXPECT_EQ(hb != nullptr, c.accepted) << c.what;
        if (hb) {
            SURFOBJ *pso = EngLockSurface(reinterpret_cast<HSURF>(hb));
            DrvDeleteDeviceBitmap(pso->dhsurf);
            EngUnlockSurface(pso);
            EngDeleteSurface(reinterpret_cast<HSURF>(hb));
        }
    }
    // While OpenGL draws, DirectDraw holds the heap or the device is switched away: refused.
    for (int state = 0; state < 3; ++state) {
        ULONG *field = state == 0 ? &p->bOpenGlActive : state == 1 ? &p->flags : &p->bEnabled;
        const ULONG saved = *field;
        *field = state == 0 ? 1 : state == 1 ? (saved | ZK_FLAG_DDRAW_HEAP) : 0;
        KivEngBitmap &b = make(40, 30);
        EXPECT_FALSE(b.bDevice) << "state " << state;
        EXPECT_NE(b.pso, nullptr) << "the engine keeps its own DIB";
        *field = saved;
    }
    // A screen-sized bitmap only when the DMA buffer carries copies out of video memory.
    uint8_t *dma = p->pDmaBuffer;
    p->pDmaBuffer = nullptr;
    EXPECT_FALSE(make(w, h).bDevice);
    EXPECT_FALSE(make(w - 32, h - 32).bDevice);
    EXPECT_TRUE(make(w - 33, h).bDevice);
    p->pDmaBuffer = dma;
    if (dma) {
        EXPECT_TRUE(make(w, h).bDevice);
    }
}

TEST_F(DeviceBitmapMemory, BitmapsLieBeyondTheScreenAtSixteenPixelStrides) {
    ZK_PDEV *p = ppdev();
    const ULONG screenEnd = static_cast<ULONG>(reinterpret_cast<uintptr_t>(p->frameBuffer)) +
                            static_cast<ULONG>(p->lDelta) * p->cyScreen;
    ASSERT_NE(p->pnodeScreen, nullptr);
    EXPECT_EQ(p->pnodeScreen->address, static_cast<ULONG>(reinterpret_cast<uintptr_t>(p->frameBuffer)));
    KivEngBitmap &a = make(1, 20);
    KivEngBitmap &b = make(17, 20);
    ASSERT_TRUE(a.bDevice && b.bDevice);
    EXPECT_EQ(nodeOf(a)->cjStride, 32u);
    EXPECT_EQ(nodeOf(b)->cjStride, 64u);
    EXPECT_EQ(nodeOf(a)->address, screenEnd);
    EXPECT_EQ(nodeOf(b)->address, screenEnd + 32 * 20);
    EXPECT_EQ(dsurfOf(a)->dt, 0u);
    EXPECT_EQ(nodeOf(a)->pdsurf, dsurfOf(a));
    // Drawing on it lands in its video memory.
    KivBrushObj brush = KivBrushObj::solid(0x4321);
    RECTL r{0, 0, 17, 20};
    EXPECT_TRUE(DrvBitBlt(b.pso, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    DrvSynchronize(reinterpret_cast<DHPDEV>(p), nullptr);
    uint16_t v;
    std::memcpy(&v, videoBits(b) + 19 * 64 + 16 * 2, 2);
    EXPECT_EQ(v, 0x4321);
}

TEST_F(DeviceBitmapMemory, AFullHeapMovesBitmapsOutWithTheirPixelsThenRefuses) {
    ZK_PDEV *p = ppdev();
    KivEngBitmap &a = make(100, 50);
    ASSERT_TRUE(a.bDevice);
    fillVideo(a, 1);
    const ULONG addressA = nodeOf(a)->address;
    const ULONG uniq = p->heapUniq;
    // Permanent blocks of a's size fill memory; the one that finds no room moves a out and takes its place.
    ZK_OFFSCREEN_NODE *taker = nullptr;
    while (dsurfOf(a)->dt == 0) {
        ZK_OFFSCREEN_NODE *n = pAllocOffscreenBitmap(p, 100, 50, ZK_ALLOC_PERMANENT);
        ASSERT_NE(n, nullptr);
        permanent.push_back(n);
        taker = n;
    }
    EXPECT_EQ(taker->address, addressA);
    EXPECT_EQ(p->heapUniq, uniq + 1);
    auto *dib = static_cast<SURFOBJ *>(dsurfOf(a)->p);
    EXPECT_EQ(cMismatches(static_cast<uint8_t *>(dib->pvScan0), dib->lDelta, 100, 50, 1), 0);
    // Drawing still reaches the bitmap, now in system memory.
    KivBrushObj brush = KivBrushObj::solid(0x0F0F);
    RECTL r{0, 0, 1, 1};
    EXPECT_TRUE(DrvBitBlt(a.pso, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, brush.get(), nullptr, 0xF0F0));
    EXPECT_EQ(kivEngGetPixel(dib, 0, 0), 0x0F0Fu);

    fillWithPermanent(16, 1);
    KivEngBitmap &refused = make(16, 16);
    EXPECT_FALSE(refused.bDevice);
    EXPECT_NE(refused.pso, nullptr);
    // Memory given back is handed out again, lowest address first.
    freePermanent();
    KivEngBitmap &again = make(100, 50);
    ASSERT_TRUE(again.bDevice);
    EXPECT_EQ(nodeOf(again)->address, addressA);
}

TEST_F(DeviceBitmapMemory, AMovedOutSourceComesBackOnItsSeventhUse) {
    ZK_PDEV *p = ppdev();
    KivEngBitmap &a = make(64, 32);
    ASSERT_TRUE(a.bDevice);
    fillVideo(a, 2);
    ASSERT_TRUE(kivEngineAssertMode(false));   // a full-screen session moves every bitmap out
    EXPECT_EQ(dsurfOf(a)->dt, 1u);
    ASSERT_TRUE(kivEngineAssertMode(true));
    EXPECT_EQ(dsurfOf(a)->dt, 1u) << "nothing moves back by itself";
    POINTL src{0, 0};
    for (int use = 1; use <= 7; ++use) {
        RECTL t{use * 70, 100, use * 70 + 64, 132};
        EXPECT_TRUE(DrvCopyBits(screen, a.pso, nullptr, nullptr, &t, &src));
        EXPECT_EQ(dsurfOf(a)->dt, use < 7 ? 1u : 0u) << "use " << use;
    }
    DrvSynchronize(reinterpret_cast<DHPDEV>(p), nullptr);
    EXPECT_EQ(cMismatches(videoBits(a), static_cast<LONG>(nodeOf(a)->cjStride), 64, 32, 2), 0);
    for (int use = 1; use <= 7; ++use)
        EXPECT_EQ(cMismatches(p->frameBuffer + 100 * p->lDelta + use * 70 * 2, p->lDelta, 64, 32, 2), 0) << use;
}

TEST_F(DeviceBitmapMemory, APromotionWithNoRoomLeftKeepsTheDib) {
    ZK_PDEV *p = ppdev();
    KivEngBitmap &a = make(64, 32);
    ASSERT_TRUE(a.bDevice);
    fillVideo(a, 3);
    ASSERT_TRUE(kivEngineAssertMode(false));
    ASSERT_TRUE(kivEngineAssertMode(true));
    fillWithPermanent(16, 1);
    POINTL src{0, 0};
    for (int use = 1; use <= 9; ++use) {
        RECTL t{0, 0, 64, 32};
        EXPECT_TRUE(DrvCopyBits(screen, a.pso, nullptr, nullptr, &t, &src));
    }
    EXPECT_EQ(dsurfOf(a)->dt, 1u);
    DrvSynchronize(reinterpret_cast<DHPDEV>(p), nullptr);
    EXPECT_EQ(cMismatches(p->frameBuffer, p->lDelta, 64, 32, 3), 0);
}
