// DirectDraw surface callbacks, called as DirectDraw calls them after a mode set.
#include "tests/sivhal/hal_fixture.h"
#include "platform/ddraw/ddraw9x_hal.h"

#include <cstring>
#include <vector>

namespace {

struct Surface {
    DDRAWI_DDRAWSURFACE_LCL lcl{};
    DDRAWI_DDRAWSURFACE_GBL gbl{};
    Surface(DWORD caps, WORD w, WORD h, LONG pitch) {
        lcl.lpGbl = &gbl;
        lcl.ddsCaps.dwCaps = caps;
        gbl.wWidth = w;
        gbl.wHeight = h;
        gbl.lPitch = pitch;
    }
};

DDPIXELFORMAT Rgb(DWORD bits, DWORD r = 0, DWORD g = 0, DWORD b = 0) {
    return DDPIXELFORMAT{32, DDPF_RGB, 0, bits, r, g, b, 0};
}
DDPIXELFORMAT FourCC(DWORD code) { return DDPIXELFORMAT{32, DDPF_FOURCC, code, 0, 0, 0, 0, 0}; }

class Surfaces : public HalMachine {
protected:
    DDHALINFO info{};
    DDRAWI_DIRECTDRAW_GBL dd{};

    void SetUp() override {
        HalMachine::SetUp();
        ASSERT_TRUE(Attach());
        Sivd16Mode m = {800, 600, 16, true, 10000};   // display format 5-6-5 (code 4)
        ASSERT_TRUE(kivSivd16SetMode(&m));
        ASSERT_TRUE(kivSivd16FlatHalInfo(&info));
        dd.vmiData = info.vmiData;
        dd.dwReserved3 = static_cast<DWORD>(reinterpret_cast<uintptr_t>(sivd16->driverBlock));
    }
    HRESULT CanCreate(DWORD caps, const DDPIXELFORMAT *pf) {
        DDSURFACEDESC desc = {};
        desc.ddsCaps.dwCaps = caps;
        if (pf)
            desc.ddpfPixelFormat = *pf;
        DDHAL_CANCREATESURFACEDATA d = {&dd, &desc, pf != nullptr, 0, nullptr};
        EXPECT_EQ(CanCreateSurface(&d), DDHAL_DRIVER_HANDLED);
        return d.ddRVal;
    }
    DWORD Create(DWORD caps, std::vector<Surface *> list, DDSURFACEDESC *desc, HRESULT *result) {
        std::vector<DDRAWI_DDRAWSURFACE_LCL *> slist;
        for (Surface *s : list)
            slist.push_back(&s->lcl);
        desc->ddsCaps.dwCaps = caps;
        DDHAL_CREATESURFACEDATA d = {&dd, desc, slist.data(), static_cast<DWORD>(slist.size()), 0, nullptr};
        DWORD r = CreateSurface(&d);
        *result = d.ddRVal;
        return r;
    }
    DWORD Destroy(Surface &s) { return kivDdraw9xDestroySurface(&dd, DestroySurface, &s.lcl); }
};

TEST_F(Surfaces, WhichSurfacesTheCardTakes) {
    const DDPIXELFORMAT p555 = Rgb(16, 0x7C00, 0x3E0, 0x1F), p565 = Rgb(16, 0xF800, 0x7E0, 0x1F),
                        p8 = Rgb(8), p24 = Rgb(24), yuy2 = FourCC(KIV_FOURCC('Y', 'U', 'Y', '2')),
                        y211 = FourCC(KIV_FOURCC('Y', '2', '1', '1')), uyvy = FourCC(KIV_FOURCC('U', 'Y', 'V', 'Y'));
    struct Case {
        DWORD caps;
        const DDPIXELFORMAT *pf;   // null: the display's format
        DWORD driverFlags;
        HRESULT result;
    } cases[] = {
        {DDSCAPS_OVERLAY, nullptr, 0, DD_OK},   // display is 5-6-5
        {DDSCAPS_OVERLAY, &p555, 0, DD_OK},
        {DDSCAPS_OVERLAY, &yuy2, 0, DD_OK},
        {DDSCAPS_OVERLAY, &y211, 0, DD_OK},
        {DDSCAPS_OVERLAY, &uyvy, 0, DDERR_INVALIDPIXELFORMAT},
        {DDSCAPS_OVERLAY, &p24, 0, DDERR_INVALIDPIXELFORMAT},
        {DDSCAPS_OVERLAY, &yuy2, 0x80, DDERR_OUTOFCAPS},
        {DDSCAPS_OFFSCREENPLAIN, nullptr, 0x80, DDERR_OUTOFCAPS},
        {DDSCAPS_OFFSCREENPLAIN, nullptr, 0, DD_OK},
        {DDSCAPS_OFFSCREENPLAIN, &p565, 0, DDERR_INVALIDPIXELFORMAT},   // any other format is refused
        {DDSCAPS_TEXTURE, &p8, 0x80, DD_OK},
        {DDSCAPS_TEXTURE, &uyvy, 0, DD_OK},
        {DDSCAPS_ZBUFFER, nullptr, 0x80, DD_OK},
        {DDSCAPS_PRIMARYSURFACE, nullptr, 0, DD_OK},
    };
    for (const Case &c : cases) {
        Block()->driverFlags() = c.driverFlags;
        EXPECT_EQ(CanCreate(c.caps, c.pf), c.result) << std::hex << c.caps << " flags " << c.driverFlags;
    }
}

TEST_F(Surfaces, PixelFormatCodes) {
    const DDPIXELFORMAT pal = {32, DDPF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0};
    const struct {
        DDPIXELFORMAT pf;
        DWORD code;
    } cases[] = {
        {Rgb(8), 1}, {Rgb(16, 0x7C00, 0x3E0, 0x1F), 2}, {Rgb(16, 0xF800, 0x7E0, 0x1F), 4},
        {Rgb(16, 0xF00, 0xF0, 0xF), 0}, {Rgb(24), 5}, {Rgb(32), 6}, {Rgb(4), 0}, {pal, 1},
        {FourCC(KIV_FOURCC('Y', 'U', 'Y', '2')), 7}, {FourCC(KIV_FOURCC('Y', '2', '1', '1')), 8},
        {FourCC(KIV_FOURCC('Y', 'V', '1', '2')), 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsSupportedPixelFormat(&c.pf), c.code) << c.pf.dwRGBBitCount << "/" << c.pf.dwFourCC;
}

TEST_F(Surfaces, MipChainLiesInOneBlock) {
    // 64x64, 7 levels, 16 bits: levels at 0, 8192, 10240, 10752, ...; a block of 88 lines.
    std::vector<Surface> levels;
    levels.reserve(7);   // the records point into themselves: they must not move
    for (int k = 0; k < 7; k++)
        levels.emplace_back(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 64 >> k, 64 >> k, 128 >> k);
    std::vector<Surface *> list;
    for (Surface &s : levels)
        list.push_back(&s);
    DDSURFACEDESC desc = {};
    HRESULT r;
    ASSERT_EQ(Create(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, list, &desc, &r), DDHAL_DRIVER_HANDLED);
    EXPECT_EQ(r, DD_OK);
    const FLATPTR base = levels[0].gbl.fpVidMem;
    EXPECT_EQ(base, info.vmiData.pvmList[0].fpStart);
    const DWORD offsets[7] = {0, 8192, 10240, 10752, 10880, 10912, 10920};
    for (int k = 0; k < 7; k++) {
        EXPECT_EQ(levels[k].gbl.fpVidMem - base, offsets[k]) << k;
        if (k) {
            EXPECT_EQ(levels[k].gbl.lpVidMemHeap, nullptr);
        }
    }
    FLATPTR next = DDHAL32_VidMemAlloc(&dd, 0, 8, 1);
    EXPECT_EQ(next, base + 128 * 88);
    DDHAL32_VidMemFree(&dd, 0, next);
    EXPECT_EQ(kivVidMemLiveBlocks(&dd), 1);
    // Destroying the chain gives its block back.
    EXPECT_EQ(Destroy(levels[0]), DDHAL_DRIVER_NOTHANDLED);
    for (int k = 1; k < 7; k++)
        Destroy(levels[k]);
    EXPECT_EQ(kivVidMemLiveBlocks(&dd), 0);
}

// A small chain needs more than h + h/8 + h/4 lines: the block covers every level.
TEST_F(Surfaces, SmallMipChainFitsItsBlock) {
    Surface l0(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 4, 4, 8), l1(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 2, 2, 4),
        l2(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, 1, 1, 2);
    DDSURFACEDESC desc = {};
    HRESULT r;
    ASSERT_EQ(Create(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, {&l0, &l1, &l2}, &desc, &r), DDHAL_DRIVER_HANDLED);
    ASSERT_EQ(r, DD_OK);
    FLATPTR end = l2.gbl.fpVidMem + 2;   // 42 bytes of levels
    FLATPTR next = DDHAL32_VidMemAlloc(&dd, 0, 1, 1);
    EXPECT_GE(next, end);
    EXPECT_EQ(end - l0.gbl.fpVidMem, 42u);
    DDHAL32_VidMemFree(&dd, 0, next);
    Destroy(l0);
    EXPECT_EQ(kivVidMemLiveBlocks(&dd), 0);
}

TEST_F(Surfaces, MipChainRefusals) {
    struct Case {
        WORD w, h;
        unsigned failAlloc;
        HRESULT result;
    } cases[] = {{64, 128, 0, DD_OK}, {128, 64, 0, DDERR_OUTOFMEMORY}, {64, 32, 0, DDERR_OUTOFMEMORY},
                 {64, 64, 1, DDERR_OUTOFMEMORY}};
    for (const Case &c : cases) {
        Surface s(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, c.w, c.h, c.w * 2);
        DDSURFACEDESC desc = {};
        HRESULT r;
        kivVidMemFailAfter(c.failAlloc);
        EXPECT_EQ(Create(DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, {&s}, &desc, &r), DDHAL_DRIVER_HANDLED);
        kivVidMemFailAfter(0);
        EXPECT_EQ(r, c.result) << c.w << "x" << c.h;
        if (r == DD_OK)
            Destroy(s);
    }
    EXPECT_EQ(kivVidMemLiveBlocks(&dd), 0);
}

TEST_F(Surfaces, LayoutsDirectDrawIsAskedToAllocate) {
    struct Case {
        DWORD caps;
        DDPIXELFORMAT requested;   // the descriptor's format
        bool ownFormat;            // the surface carries it
        WORD width;
        LONG ddPitch;              // what DirectDraw proposed
        LONG pitch;                // what the layout says
        DWORD reserved1, bits;
        bool asksForBlock;
    } cases[] = {
        {DDSCAPS_OVERLAY, FourCC(KIV_FOURCC('Y', 'U', 'Y', '2')), true, 320, 999, 640, 0, 16, true},
        {DDSCAPS_OVERLAY, FourCC(KIV_FOURCC('Y', '2', '1', '1')), true, 100, 999, 200, 0, 16, true},
        {DDSCAPS_TEXTURE, Rgb(32), true, 100, 999, 400, 32, 32, true},
        {DDSCAPS_TEXTURE, Rgb(16, 0x7C00, 0x3E0, 0x1F), true, 100, 999, 200, 16, 16, true},
        {DDSCAPS_TEXTURE, Rgb(8), true, 100, 104, 104, 0, 8, true},
        {DDSCAPS_ZBUFFER, Rgb(16), false, 640, 999, 1280, 16, 0, true},
        {DDSCAPS_OFFSCREENPLAIN, Rgb(16), false, 640, 1280, 1280, 0, 0, false},
        {DDSCAPS_PRIMARYSURFACE, Rgb(16), false, 800, 1600, 1600, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.caps << std::dec << " width " << c.width);
        Surface s(c.caps, c.width, 48, c.ddPitch);
        if (c.ownFormat) {
            s.lcl.dwFlags = DDRAWISURF_HASPIXELFORMAT;
            s.gbl.ddpfSurface = c.requested;
        }
        DDSURFACEDESC desc = {};
        desc.ddpfPixelFormat = c.requested;
        desc.lPitch = c.ddPitch;
        HRESULT r;
        EXPECT_EQ(Create(c.caps, {&s}, &desc, &r), DDHAL_DRIVER_NOTHANDLED);
        EXPECT_EQ(r, DD_OK);
        EXPECT_EQ(s.gbl.lPitch, c.pitch);
        EXPECT_EQ(s.gbl.dwReserved1, c.reserved1);
        EXPECT_EQ(s.gbl.ddpfSurface.dwRGBBitCount, c.bits);
        if (c.asksForBlock) {
            EXPECT_EQ(s.gbl.fpVidMem, static_cast<FLATPTR>(DDHAL_PLEASEALLOC_BLOCKSIZE));
            EXPECT_EQ(s.gbl.dwBlockSizeX, static_cast<DWORD>(c.pitch));
            EXPECT_EQ(s.gbl.dwBlockSizeY, 48u);
            EXPECT_EQ(desc.lPitch, c.pitch);
        } else {
            EXPECT_EQ(s.gbl.fpVidMem, 0u);
        }
    }
    EXPECT_EQ(Block()->overlayCount(), 2u);
    EXPECT_EQ(Block()->offscreenCount(), 1u);
    EXPECT_EQ(Block()->primaryCount(), 1u);
}

TEST_F(Surfaces, LastOverlayGoneIsAnnounced) {
    Surface a(DDSCAPS_OVERLAY, 64, 64, 128), b(DDSCAPS_OVERLAY, 64, 64, 128), p(DDSCAPS_PRIMARYSURFACE, 800, 600, 1600);
    DDSURFACEDESC desc = {};
    HRESULT r;
    Create(DDSCAPS_OVERLAY, {&a, &b}, &desc, &r);
    EXPECT_EQ(Block()->overlayCount(), 2u);
    sivd16->callCount = 0;
    EXPECT_EQ(Destroy(a), DDHAL_DRIVER_NOTHANDLED);
    EXPECT_EQ(sivd16->callCount, 0u);
    Destroy(b);
    ASSERT_EQ(sivd16->callCount, 1u);
    EXPECT_EQ(sivd16->calls[0].index, 2u);
    EXPECT_EQ(sivd16->calls[0].args[0], 4u);
    Destroy(b);   // counter already 0: stays 0, announced again
    EXPECT_EQ(Block()->overlayCount(), 0u);
    Destroy(p);
    EXPECT_EQ(Block()->primaryCount(), 0u);
}

TEST_F(Surfaces, LockWaitsForTheEngineAndAPendingFlip) {
    Surface s(DDSCAPS_PRIMARYSURFACE, 800, 600, 1600);
    auto lock = [&](HRESULT *r) {
        DDHAL_LOCKDATA d = {};
        d.lpDD = &dd;
        d.lpDDSurface = &s.lcl;
        d.ddRVal = DD_OK;
        DWORD handled = Lock(&d);
        *r = d.ddRVal;
        return handled;
    };
    HRESULT r;
    Block()->lockCount() = 0;
    EXPECT_EQ(lock(&r), DDHAL_DRIVER_NOTHANDLED);
    chip->engineBusy = 1;
    EXPECT_EQ(lock(&r), DDHAL_DRIVER_HANDLED);
    EXPECT_EQ(r, DDERR_WASSTILLDRAWING);
    chip->engineBusy = 0;
    // A flip programmed just now is pending until a frame has passed.
    DWORD now;
    ASSERT_TRUE(kivSivClockMs(&now));
    Block()->flipDone() = 0;
    Block()->flipTime() = now;
    Block()->flipSawActive() = 0;
    Block()->flipSawRetrace() = 0;
    EXPECT_EQ(lock(&r), DDHAL_DRIVER_HANDLED);
    EXPECT_EQ(r, DDERR_WASSTILLDRAWING);
    kivSivAdvanceClockUs((Block()->framePeriod() + 1) * 1000);
    EXPECT_EQ(lock(&r), DDHAL_DRIVER_NOTHANDLED);
    EXPECT_EQ(Block()->flipDone(), 1u);
    EXPECT_EQ(Block()->lockCount(), 4u);   // every call counts, refused or not
}

}  // namespace
