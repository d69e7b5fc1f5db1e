// DirectDraw as the graphics engine drives it: what the driver reports, surfaces in its heap over
// video memory, locks, flips and the status callbacks.
#include "tests/display_more/more_fixture.h"
#include "tests/display_more/dd_surface.h"

#include <memory>

#include "display/ddraw_ddi.h"

namespace {

constexpr uint32_t kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'), kYv12 = ZK_FOURCC('Y', 'V', '1', '2'),
                   kIf09 = ZK_FOURCC('I', 'F', '0', '9');

}  // namespace

class DirectDraw : public MoreTest {
protected:
    ZK_DD_DIRECTDRAW_GLOBAL dd{};
    ZK_DD_CALLBACKS cb{};
    ZK_DD_SURFACECALLBACKS scb{};
    ZK_DD_PALETTECALLBACKS pcb{};
    bool enabled = false;

    void SetUp() override {
        MoreTest::SetUp();
        if (HasFatalFailure()) return;
        dd.dhpdev = reinterpret_cast<DHPDEV>(ppdev());
    }
    void TearDown() override {
        if (enabled) disable();
        MoreTest::TearDown();
    }
    template <typename F> F fn(ULONG i) { return reinterpret_cast<F>(kivEngineDriverFunction(i)); }
    BOOL info(ZK_DD_HALINFO *hi, DWORD *heaps, DWORD *nFourCc, DWORD *codes) {
        return fn<PFN_GetInfo>(INDEX_DrvGetDirectDrawInfo)(dd.dhpdev, hi, heaps, nullptr, nFourCc, codes);
    }
    void enable() {
        ZK_DD_HALINFO hi{};
        DWORD heaps, n, codes[8];
        ASSERT_TRUE(info(&hi, &heaps, &n, codes));
        ASSERT_TRUE(fn<PFN_Enable>(INDEX_DrvEnableDirectDraw)(dd.dhpdev, &cb, &scb, &pcb));
        enabled = true;
    }
    void disable() {
        fn<PFN_Disable>(INDEX_DrvDisableDirectDraw)(dd.dhpdev);
        enabled = false;
    }
    DWORD create(Surface &s, DWORD count = 1, HRESULT_DD *r = nullptr) {
        ZK_DD_CREATESURFACEDATA c{&dd, &s.desc, s.list, count, -1, nullptr};
        DWORD h = DdCreateSurface(&c);
        if (r) *r = c.ddRVal;
        return h;
    }
    HRESULT_DD destroy(Surface &s) {
        ZK_DD_DESTROYSURFACEDATA d{&dd, &s.lcl, -1, nullptr};
        EXPECT_EQ(DdDestroySurface(&d), ZK_DDHAL_HANDLED);
        return d.ddRVal;
    }
    std::pair<DWORD, HRESULT_DD> canCreate(ZK_DDSURFACEDESC &d, bool different) {
        ZK_DD_CANCREATESURFACEDATA c{&dd, &d, different ? 1u : 0u, -1, nullptr};
        DWORD h = DdCanCreateSurface(&c);
        return {h, c.ddRVal};
    }
};

TEST_F(DirectDraw, TheDriverReportsItsCapsAndCodes) {
    ZK_PDEV *p = ppdev();
    for (ULONG if09 : {1u, 0u}) {
        p->ulIf09 = if09;
        ZK_DD_HALINFO hi{};
        hi.ddCaps.dwFXCaps = 0x1;
        DWORD heaps = 99, n = 0, codes[8] = {};
        ASSERT_TRUE(info(&hi, &heaps, &n, codes));
        EXPECT_EQ(heaps, 0u);
        EXPECT_EQ(n, if09 ? 8u : 7u);
        std::vector<std::string> names;
        for (DWORD i = 0; i < n; ++i) names.push_back(std::string(reinterpret_cast<const char *>(&codes[i]), 4));
        if (if09) EXPECT_EQ(names, (std::vector<std::string>{"UYVY", "YUY2", "YVU9", "IV32", "IV31", "IF09", "YV12", "420i"}));
        else EXPECT_EQ(names, (std::vector<std::string>{"UYVY", "YUY2", "YVU9", "IV32", "IV31", "YV12", "420i"}));
        EXPECT_EQ(p->aulFourCc[7], if09 ? ZK_FOURCC('4', '2', '0', 'i') : 0u);
        EXPECT_EQ(hi.dwSize, 404u);
        EXPECT_EQ(hi.vmiData.pvPrimary, p->frameBuffer);
        EXPECT_EQ(hi.vmiData.lDisplayPitch, p->lDelta);
        EXPECT_EQ(hi.vmiData.ddpfDisplay.dwFlags, ZK_DDPF_RGB);
        EXPECT_EQ(hi.vmiData.ddpfDisplay.dwRGBBitCount, 16u);
        EXPECT_EQ(hi.ddCaps.dwCaps, 0x04427B40u);
        // Stretches of blits and the overlay (0x02814000), their shrinks (0x00281400), and the bit
        // the caller had set.
        EXPECT_EQ(hi.ddCaps.dwFXCaps, 0x02814001u | 0x00281400u);
        EXPECT_EQ(hi.ddCaps.dwMinOverlayStretch, 500u) << "down to half the height";
        EXPECT_EQ(hi.ddCaps.ddsCaps.dwCaps, 0x001002D0u);
        EXPECT_EQ(hi.ddCaps.dwVidMemTotal, (p->cyMemory - p->cyScreen) * ULONG(p->lDelta));
        EXPECT_EQ(hi.ddCaps.dwMaxOverlayStretch, 9999u);
    }
    // Before the hardware methods are installed the driver offers nothing.
    p->flags &= ~ZK_FLAG_HW_METHODS;
    ZK_DD_HALINFO hi{};
    DWORD heaps, n;
    EXPECT_FALSE(info(&hi, &heaps, &n, nullptr));
    EXPECT_EQ(hi.dwSize, 0u);
    p->flags |= ZK_FLAG_HW_METHODS;
}

TEST_F(DirectDraw, EnablingTakesVideoMemoryFromDeviceBitmaps) {
    ZK_PDEV *p = ppdev();
    KivEngBitmap &bmp = make(64, 64);
    ASSERT_TRUE(bmp.bDevice);
    const ULONG counter = p->modeChangeCounter;
    enable();
    EXPECT_EQ(cb.dwFlags, 0x800000B2u);
    EXPECT_EQ(scb.dwFlags, 0xF7Bu);
    EXPECT_NE(reinterpret_cast<void *>(scb.Lock), nullptr);
    EXPECT_TRUE(p->flags & ZK_FLAG_DDRAW_HEAP);
    EXPECT_EQ(p->modeChangeCounter, counter + 1) << "OpenGL clients see video memory change hands";
    EXPECT_EQ(dsurfOf(bmp)->dt, 1u) << "moved out";
    EXPECT_FALSE(make(64, 64).bDevice) << "no device bitmaps while DirectDraw holds video memory";
    disable();
    EXPECT_EQ(p->pDdHeap, nullptr);
    EXPECT_TRUE(make(64, 64).bDevice);
}

TEST_F(DirectDraw, SurfacesComeFromVideoMemoryUntilItIsFull) {
    ZK_PDEV *p = ppdev();
    enable();
    const ULONG screenBytes = ULONG(p->lDelta) * p->cyScreen;
    std::vector<std::unique_ptr<Surface>> made;
    for (;;) {
        auto s = std::make_unique<Surface>(100, 50, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
        if (create(*s) != ZK_DDHAL_HANDLED) break;
        made.push_back(std::move(s));
        ASSERT_LT(made.size(), 10000u);
    }
    ASSERT_GT(made.size(), 2u);
    const Surface &first = *made[0];
    EXPECT_EQ(first.gbl.fpVidMem, screenBytes) << "right after the screen";
    EXPECT_EQ(first.gbl.lPitch, 208);
    EXPECT_EQ(first.desc.lPitch, 208);
    EXPECT_TRUE(first.desc.dwFlags & ZK_DDSD_PITCH);
    EXPECT_EQ(made[1]->gbl.fpVidMem, screenBytes + 208 * 50);
    EXPECT_EQ(made[1]->gbl.yHint, LONG((screenBytes + 208 * 50) / ULONG(p->lDelta)));
    EXPECT_EQ(made[1]->gbl.xHint, LONG((screenBytes + 208 * 50) % ULONG(p->lDelta) / 2));
    // Full: a YUY2 surface that is no overlay goes to the process's memory.
    Surface yuv(640, 100, ZK_DDSCAPS_OFFSCREENPLAIN, kYuy2);
    EXPECT_EQ(create(yuv), ZK_DDHAL_NOTHANDLED);
    EXPECT_EQ(yuv.gbl.fpVidMem, ZK_DDHAL_PLEASEALLOC_USERMEM);
    EXPECT_EQ(yuv.gbl.dwBlockSizeX, 1280u * 100);
    EXPECT_EQ(yuv.gbl.lPitch, 1280);
    EXPECT_TRUE(yuv.lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY);
    // A freed surface's memory is handed out again.
    const ULONG freed = made[1]->gbl.fpVidMem;
    EXPECT_EQ(destroy(*made[1]), ZK_DD_OK);
    EXPECT_EQ(made[1]->gbl.fpVidMem, 0u);
    Surface again(100, 50, ZK_DDSCAPS_OFFSCREENPLAIN);
    ASSERT_EQ(create(again), ZK_DDHAL_HANDLED);
    EXPECT_EQ(again.gbl.fpVidMem, freed);
}

TEST_F(DirectDraw, PlanarOverlaysShareOneBlockAndRegister) {
    ZK_PDEV *p = ppdev();
    enable();
    Surface a(2, 2, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, kYv12);
    Surface b(2, 2, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, kYv12);
    b.list[0] = &b.lcl;
    ASSERT_EQ(create(a, 2), ZK_DDHAL_HANDLED);
    EXPECT_EQ(a.gbl.ddpfSurface.dwRGBBitCount, 12u);
    EXPECT_EQ(p->fpPlanarBlock, p->fpPackedFirst + 32) << "a 32-byte packed buffer, then two 16-byte images";
    EXPECT_EQ(a.gbl.fpVidMem, p->fpPlanarBlock);
    EXPECT_EQ(p->cOverlaySurfaces, 1u);
    EXPECT_EQ(p->iOverlayBuffer, 1u);
    // An overlay of another creation list is refused; the same list gets the second image.
    HRESULT_DD r;
    EXPECT_EQ(create(b, 2, &r), ZK_DDHAL_HANDLED);
    EXPECT_EQ(r, ZK_DDERR_OUTOFCAPS);
    b.list[0] = a.list[0];
    ZK_DD_CREATESURFACEDATA c{&dd, &b.desc, a.list, 2, -1, nullptr};
    a.list[0] = &b.lcl;   // the same list, now naming the second surface first
    EXPECT_EQ(DdCreateSurface(&c), ZK_DDHAL_HANDLED);
    EXPECT_EQ(b.gbl.fpVidMem, p->fpPlanarBlock + 16);
    EXPECT_EQ(p->cOverlaySurfaces, 2u);
    // The second goes with its packed buffer; the first takes the block along.
    EXPECT_EQ(destroy(b), ZK_DD_OK);
    EXPECT_EQ(p->fpPlanarSecond, 0u);
    EXPECT_EQ(destroy(a), ZK_DD_OK);
    EXPECT_EQ(p->fpPlanarBlock, 0u);
    EXPECT_EQ(p->cOverlaySurfaces, 0u);
    EXPECT_EQ(p->pOverlaySurfaceList, nullptr);
}

TEST_F(DirectDraw, WhatMayBeCreated) {
    ZK_PDEV *p = ppdev();
    p->ulIf09 = 0;
    enable();
    p->bModeSetOk = 1;
    struct Case {
        const char *what;
        DWORD caps, flags, w, h;
        bool different;
        DWORD pfFlags, fourCc, bits;
        DWORD handled;
        HRESULT_DD r;
    } cases[] = {
        {"back buffer too wide, width not asked", ZK_DDSCAPS_BACKBUFFER | ZK_DDSCAPS_FLIP, 0, 5000, 10, false, 0, 0, 0,
         1, ZK_DD_OK},
        {"back buffer too wide, width asked", ZK_DDSCAPS_BACKBUFFER | ZK_DDSCAPS_FLIP, ZK_DDSD_WIDTH, 5000, 10, false, 0,
         0, 0, 1, ZK_DDERR_TOOBIGWIDTH},
        {"too high, height asked", ZK_DDSCAPS_PRIMARYSURFACE | ZK_DDSCAPS_FLIP, ZK_DDSD_HEIGHT, 10, 5000, false, 0, 0, 0,
         1, ZK_DDERR_TOOBIGHEIGHT},
        {"overlay in the display format", ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, 0, 10, 10, false, 0, 0, 0, 1,
         ZK_DDERR_INVALIDPIXELFORMAT},
        {"unknown code", ZK_DDSCAPS_OFFSCREENPLAIN, 0, 10, 10, true, ZK_DDPF_FOURCC, ZK_FOURCC('A', 'B', 'C', 'D'), 0,
         1, ZK_DDERR_INVALIDPIXELFORMAT},
        {"IF09 not offered", ZK_DDSCAPS_OVERLAY, 0, 10, 10, true, ZK_DDPF_FOURCC, kIf09, 0, 1,
         ZK_DDERR_INVALIDPIXELFORMAT},
        {"code 0 in the free slot, 16 bits", ZK_DDSCAPS_OFFSCREENPLAIN, 0, 10, 10, true, ZK_DDPF_FOURCC, 0, 16, 1,
         ZK_DDERR_INVALIDPIXELFORMAT},
        {"code 0 in the free slot, 0x400", ZK_DDSCAPS_OFFSCREENPLAIN, 0, 10, 10, true, ZK_DDPF_FOURCC, 0, 0x400, 1,
         ZK_DD_OK},
        {"planar off-screen", ZK_DDSCAPS_OFFSCREENPLAIN, 0, 10, 10, true, ZK_DDPF_FOURCC, kYv12, 0, 1,
         ZK_DDERR_UNSUPPORTEDFORMAT},
        {"YUY2 overlay", ZK_DDSCAPS_OVERLAY, 0, 10, 10, true, ZK_DDPF_FOURCC, kYuy2, 0, 1, ZK_DD_OK},
        {"RGB 16 off-screen", ZK_DDSCAPS_OFFSCREENPLAIN, 0, 10, 10, true, ZK_DDPF_RGB, 0, 16, 1, ZK_DD_OK},
        {"RGB 8 3D device", ZK_DDSCAPS_3DDEVICE, 0, 10, 10, true, ZK_DDPF_RGB, 0, 8, 1, ZK_DDERR_INVALIDPIXELFORMAT},
        {"palette", ZK_DDSCAPS_PALETTE, 0, 10, 10, false, 0, 0, 0, 0, -1},
    };
    for (const Case &c : cases) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = c.flags;
        d.dwWidth = c.w;
        d.dwHeight = c.h;
        d.ddsCaps.dwCaps = c.caps;
        d.ddpfPixelFormat.dwFlags = c.pfFlags;
        d.ddpfPixelFormat.dwFourCC = c.fourCc;
        d.ddpfPixelFormat.dwRGBBitCount = c.bits;
        auto [handled, r] = canCreate(d, c.different);
        EXPECT_EQ(handled, c.handled) << c.what;
        EXPECT_EQ(r, c.r) << c.what;
        if (c.w == 5000 && r == ZK_DD_OK) {
            EXPECT_EQ(d.dwWidth, p->cxScreen) << c.what;
        }
    }
    // A texture in the display format is moved to system memory.
    ZK_DDSURFACEDESC t{};
    t.ddsCaps.dwCaps = ZK_DDSCAPS_TEXTURE | ZK_DDSCAPS_VIDEOMEMORY;
    EXPECT_EQ(canCreate(t, false).second, ZK_DD_OK);
    EXPECT_EQ(t.ddsCaps.dwCaps, ZK_DDSCAPS_TEXTURE | ZK_DDSCAPS_SYSTEMMEMORY);
    // A second overlay chain while one exists is out of caps.
    Surface ov(16, 16, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, kYuy2);
    ASSERT_EQ(create(ov), ZK_DDHAL_HANDLED);
    ZK_DDSURFACEDESC d{};
    d.ddsCaps.dwCaps = ZK_DDSCAPS_OVERLAY;
    d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
    d.ddpfPixelFormat.dwFourCC = kYuy2;
    EXPECT_EQ(canCreate(d, true).second, ZK_DDERR_OUTOFCAPS);
    EXPECT_EQ(destroy(ov), ZK_DD_OK);
    EXPECT_EQ(p->cOverlaySurfaces, 0u);
}

TEST_F(DirectDraw, LocksWaitForTheEngineAndFlipsForTheirNotifier) {
    ZK_PDEV *p = ppdev();
    enable();
    Surface primary(p->cxScreen, p->cyScreen, ZK_DDSCAPS_PRIMARYSURFACE | ZK_DDSCAPS_VIDEOMEMORY);
    primary.gbl.lPitch = p->lDelta;
    Surface back(p->cxScreen, p->cyScreen, ZK_DDSCAPS_BACKBUFFER | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_EQ(create(back), ZK_DDHAL_HANDLED);

    ZK_DD_LOCKDATA lock{&dd, &back.lcl, 0, {}, nullptr, -1, nullptr, 0};
    zk3EngineClearLog();
    EXPECT_EQ(DdLock(&lock), ZK_DDHAL_NOTHANDLED) << "DirectDraw computes the address once the engine is idle";
    EXPECT_EQ(p->lockNotifier.status, 0u);
    EXPECT_FALSE(writes(2).empty());
    lock.dwFlags = ZK_DDLOCK_READONLY;
    zk3EngineClearLog();
    EXPECT_EQ(DdLock(&lock), ZK_DDHAL_NOTHANDLED);
    EXPECT_TRUE(writes(2).empty()) << "a read-only lock neither waits nor syncs";
    // System-memory surfaces are locked by the driver itself.
    std::vector<uint8_t> mem(64 * 10);
    Surface sys(32, 10, ZK_DDSCAPS_SYSTEMMEMORY);
    sys.gbl.fpVidMem = static_cast<ULONG>(reinterpret_cast<uintptr_t>(mem.data()));
    sys.gbl.lPitch = 64;
    sys.gbl.ddpfSurface.dwRGBBitCount = 16;
    ZK_DD_LOCKDATA lsys{&dd, &sys.lcl, 1, {3, 2, 8, 4}, nullptr, -1, nullptr, 0};
    EXPECT_EQ(DdLock(&lsys), ZK_DDHAL_HANDLED);
    EXPECT_EQ(lsys.lpSurfData, mem.data() + 2 * 64 + 3 * 2);

    // A flip writes the target to the flip object and stays pending until the engine reports it.
    ZK_DD_FLIPDATA flip{&dd, &primary.lcl, &back.lcl, 0, -1, nullptr};
    zk3EngineClearLog();
    ASSERT_EQ(DdFlip(&flip), ZK_DDHAL_HANDLED);
    EXPECT_EQ(flip.ddRVal, ZK_DD_OK);
    std::vector<std::pair<uint16_t, uint32_t>> got;
    for (const auto &w : writes(7)) got.push_back({w.method, w.value});
    const std::vector<std::pair<uint16_t, uint32_t>> want = {
        {0x310, back.gbl.fpVidMem}, {0x314, uint32_t(back.gbl.lPitch)},
        {0x318, p->cyScreen << 16 | p->cxScreen}, {0x31C, 0x01000000u}, {0x320, 0}};
    ASSERT_GE(got.size(), want.size());
    using Writes = std::vector<std::pair<uint16_t, uint32_t>>;
    EXPECT_EQ(Writes(got.end() - 5, got.end()), want);
    ZK_DD_GETFLIPSTATUSDATA fs{&dd, &back.lcl, 0, -1, nullptr};
    if (p->flipNotifier.status != 0) {
        EXPECT_EQ(DdGetFlipStatus(&fs), ZK_DDHAL_HANDLED);
        EXPECT_EQ(fs.ddRVal, ZK_DDERR_WASSTILLDRAWING);
        ZK_DD_LOCKDATA lfront{&dd, &primary.lcl, 0, {}, nullptr, -1, nullptr, 0};
        EXPECT_EQ(DdLock(&lfront), ZK_DDHAL_HANDLED);
        EXPECT_EQ(lfront.ddRVal, ZK_DDERR_WASSTILLDRAWING) << "the surface being flipped away from";
        ZK_DD_FLIPDATA again{&dd, &back.lcl, &primary.lcl, 0, -1, nullptr};
        EXPECT_EQ(DdFlip(&again), ZK_DDHAL_HANDLED);
        EXPECT_EQ(again.ddRVal, ZK_DDERR_WASSTILLDRAWING);
        p->flipNotifier.status = 0;   // the engine is done
    }
    EXPECT_EQ(DdGetFlipStatus(&fs), ZK_DDHAL_HANDLED);
    EXPECT_EQ(fs.ddRVal, ZK_DD_OK);
    ZK_DD_GETBLTSTATUSDATA bs{&dd, &back.lcl, ZK_DDGBS_CANBLT, -1, nullptr};
    DdGetBltStatus(&bs);
    EXPECT_EQ(bs.ddRVal, ZK_DD_OK) << "idle engine, empty FIFO";

    // Without the engine (a full-screen session) video-memory surfaces are lost.
    ASSERT_TRUE(kivEngineAssertMode(false));
    lock.dwFlags = 0;
    EXPECT_EQ(DdLock(&lock), ZK_DDHAL_HANDLED);
    EXPECT_EQ(lock.ddRVal, ZK_DDERR_SURFACELOST);
    EXPECT_EQ(DdFlip(&flip), ZK_DDHAL_HANDLED);
    EXPECT_EQ(flip.ddRVal, ZK_DDERR_SURFACELOST);
    ASSERT_TRUE(kivEngineAssertMode(true));
    EXPECT_NE(p->pDdHeap, nullptr) << "DirectDraw's heap comes back with the hardware";
}

TEST_F(DirectDraw, VerticalBlankScanLineAndColourKeys) {
    ZK_PDEV *p = ppdev();
    enable();
    ZK_DD_WAITFORVERTICALBLANKDATA vb{&dd, ZK_DDWAITVB_BLOCKBEGINEVENT, 7, 0, -1, nullptr};
    EXPECT_EQ(DdWaitForVerticalBlank(&vb), ZK_DDHAL_NOTHANDLED);
    EXPECT_EQ(vb.ddRVal, -1) << "untouched";
    // The blank comes and goes with the model's clock: the answers only have to be one of the two.
    vb.dwFlags = ZK_DDWAITVB_I_TESTVB;
    EXPECT_EQ(DdWaitForVerticalBlank(&vb), ZK_DDHAL_HANDLED);
    EXPECT_LE(vb.bIsInVB, 1u);
    for (DWORD flags : {ZK_DDWAITVB_BLOCKBEGIN, ZK_DDWAITVB_BLOCKEND}) {
        vb.dwFlags = flags;
        vb.ddRVal = -1;
        EXPECT_EQ(DdWaitForVerticalBlank(&vb), ZK_DDHAL_HANDLED);
        EXPECT_EQ(vb.ddRVal, ZK_DD_OK);
    }
    ZK_DD_GETSCANLINEDATA sl{&dd, 0xFFFF, -1, nullptr};
    EXPECT_EQ(DdGetScanLine(&sl), ZK_DDHAL_HANDLED);
    EXPECT_TRUE(sl.ddRVal == ZK_DDERR_VERTICALBLANKINPROGRESS || (sl.ddRVal == ZK_DD_OK && sl.dwScanLine < 0x800));

    Surface s(16, 16, ZK_DDSCAPS_OFFSCREENPLAIN);
    ZK_DD_SETCOLORKEYDATA ck{&dd, &s.lcl, ZK_DDCKEY_SRCBLT, {0xFFFF1234u, 0xABCD5678u}, -1, nullptr};
    EXPECT_EQ(DdSetColorKey(&ck), ZK_DDHAL_HANDLED);
    EXPECT_EQ(ck.ddRVal, ZK_DD_OK);
    EXPECT_EQ(s.lcl.ddckCKSrcBlt.dwColorSpaceLowValue, 0xFFFF1234u & p->ulColorBits);
    EXPECT_EQ(s.lcl.ddckCKSrcBlt.dwColorSpaceHighValue, 0xABCD5678u & p->ulColorBits);
    ck.dwFlags = ZK_DDCKEY_SRCBLT | ZK_DDCKEY_DESTOVERLAY;
    DdSetColorKey(&ck);
    EXPECT_EQ(ck.ddRVal, ZK_DDERR_UNSUPPORTED);
}
