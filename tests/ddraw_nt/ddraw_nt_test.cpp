// A program's DirectDraw on the NT machine: offered by default through the display driver, off
// with the machine's setting; surfaces in the driver's video memory in the display's 5-5-5
// format, locks, fills and copies by the driver, what a mode change leaves, and refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/machine/machine.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "tests/common/ddraw_surface.h"

namespace {

class DDrawNt : public ::testing::Test {
protected:
    KivMachineConfig saved{};
    KivScreenMode savedMode{};
    IDirectDraw *dd = nullptr;

    void SetUp() override {
        saved = *kivMachineConfig();
        savedMode = *kivScreenMode();
        boot("nt,zk3");
        kivDDrawResetInjections();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
    }
    void TearDown() override {
        if (dd != nullptr) dd->Release();
        kivDDrawResetInjections();
        kivDDrawSetVideoBudget(0xFFFFFFFFu);
        kivMachineConfigure(&saved);
        kivSetScreenMode(&savedMode);
        kivMachineBoot();
    }
    void boot(const char *machine) {
        KivMachineConfig c;
        ASSERT_EQ(kivMachineParse(machine, &c), 1);
        kivMachineConfigure(&c);
        ASSERT_EQ(kivMachineBoot(), 1);
    }
    void open() {
        ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
        ASSERT_NE(dd, nullptr);
    }
    IDirectDrawSurface *make(DWORD caps, DWORD w = 0, DWORD h = 0, HRESULT *result = nullptr) {
        return makeDDrawSurface(dd, caps, w, h, result);
    }
    static DDSURFACEDESC locked(IDirectDrawSurface *s, const RECT *r = nullptr) {
        DDSURFACEDESC d{};
        d.dwSize = sizeof d;
        EXPECT_EQ(s->Lock(r, &d, DDLOCK_WAIT, nullptr), DD_OK);
        return d;
    }
    static uint16_t pixel(const DDSURFACEDESC &d, int x, int y) {
        uint16_t p;
        std::memcpy(&p, static_cast<uint8_t *>(d.lpSurface) + y * d.lPitch + 2 * x, 2);
        return p;
    }
    static uint8_t *video() { return kivVideoPortSim().chip->videoMemory(); }
    static uint32_t videoSize() { return kivVideoPortSim().chip->videoMemorySize(); }
    static bool inVideo(const void *p, size_t bytes) {
        const uint8_t *b = static_cast<const uint8_t *>(p);
        return b >= video() && b + bytes <= video() + videoSize();
    }
};

TEST_F(DDrawNt, TheNtMachineOffersDirectDrawUnlessItsSettingSaysNo) {
    KivMachineConfig c;
    ASSERT_EQ(kivMachineParse(nullptr, &c), 1);
    EXPECT_EQ(c.noDirectDraw, 0) << "on by default";
    ASSERT_EQ(kivMachineParse("nt,noddraw", &c), 1);
    EXPECT_EQ(c.noDirectDraw, 1);
    EXPECT_EQ(kivMachineOffersDirectDraw(), 1);
    open();
    dd->Release();
    dd = nullptr;
    for (const char *machine : {"nt,zk3,noddraw", "9x,zk3"}) {
        boot(machine);
        EXPECT_EQ(kivMachineOffersDirectDraw(), 0) << machine;
        IDirectDraw *none = reinterpret_cast<IDirectDraw *>(1);
        EXPECT_EQ(DirectDrawCreate(nullptr, &none, nullptr), DDERR_NODIRECTDRAWHW) << machine;
        EXPECT_EQ(none, nullptr);
    }
    boot("nt,zk3,ddraw");
    open();
}

// The primary is the screen at the start of video memory, described as the display driver
// describes its mode: 16 bits of 5-5-5.
TEST_F(DDrawNt, ThePrimaryIsTheScreenInTheDisplaysFormat) {
    open();
    IDirectDrawSurface *primary = make(DDSCAPS_PRIMARYSURFACE);
    ASSERT_NE(primary, nullptr);
    DDSURFACEDESC d = locked(primary);
    EXPECT_EQ(d.dwWidth, 1024u);
    EXPECT_EQ(d.dwHeight, 768u);
    EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 16u);
    EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0x7C00u);
    EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, 0x03E0u);
    EXPECT_EQ(d.ddpfPixelFormat.dwBBitMask, 0x001Fu);
    EXPECT_EQ(d.lpSurface, video());
    primary->Unlock(d.lpSurface);
    const RECT r{100, 50, 110, 60};
    d = locked(primary, &r);
    EXPECT_EQ(d.lpSurface, video() + 50 * d.lPitch + 200);
    primary->Unlock(d.lpSurface);
    primary->Release();
}

// Off-screen video-memory surfaces come from the driver's heap: past the screen, apart from one
// another, and their memory comes back when they go.
TEST_F(DDrawNt, OffscreenSurfacesLieInTheDriversVideoMemory) {
    open();
    IDirectDrawSurface *a = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 100, 40);
    IDirectDrawSurface *b = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 33, 7);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    const DDSURFACEDESC da = locked(a), db = locked(b);
    a->Unlock(da.lpSurface);
    b->Unlock(db.lpSurface);
    EXPECT_TRUE(da.ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
    EXPECT_EQ(da.lPitch % 16, 0);
    EXPECT_GE(da.lPitch, 200);
    EXPECT_EQ(da.ddpfPixelFormat.dwRBitMask, 0x7C00u);
    const uint8_t *pa = static_cast<uint8_t *>(da.lpSurface), *pb = static_cast<uint8_t *>(db.lpSurface);
    EXPECT_TRUE(inVideo(pa, size_t(da.lPitch) * 40));
    EXPECT_TRUE(inVideo(pb, size_t(db.lPitch) * 7));
    EXPECT_GE(pa, video() + 2048 * 768) << "past the screen";
    EXPECT_TRUE(pa + da.lPitch * 40 <= pb || pb + db.lPitch * 7 <= pa) << "apart";
    EXPECT_EQ(kivDDrawCounts().videoBytes, uint32_t(da.lPitch * 40 + db.lPitch * 7));
    a->Release();
    IDirectDrawSurface *again = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 100, 40);
    ASSERT_NE(again, nullptr);
    const DDSURFACEDESC dg = locked(again);
    again->Unlock(dg.lpSurface);
    EXPECT_EQ(dg.lpSurface, da.lpSurface) << "the freed block is used again";
    again->Release();
    b->Release();
    EXPECT_EQ(kivDDrawCounts().videoBytes, 0u);
    // System memory is the runtime's own.
    IDirectDrawSurface *sys = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 20, 20);
    ASSERT_NE(sys, nullptr);
    const DDSURFACEDESC ds = locked(sys);
    sys->Unlock(ds.lpSurface);
    EXPECT_FALSE(inVideo(ds.lpSurface, 1));
    sys->Release();
}

// Fills and copies by the driver land where they should; the pixels around stay.
TEST_F(DDrawNt, BlitsFillAndCopyThroughTheDriver) {
    open();
    IDirectDrawSurface *primary = make(DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface *off = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 64, 32);
    IDirectDrawSurface *sys = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 64, 32);
    ASSERT_TRUE(primary != nullptr && off != nullptr && sys != nullptr);
    const RECT screenArea{300, 200, 400, 300};
    ASSERT_EQ(primary->Blt(&screenArea, nullptr, nullptr, DDBLT_WAIT, 0x1111), DD_OK);
    ASSERT_EQ(off->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0x7C00), DD_OK);
    const RECT corner{8, 4, 24, 12};
    ASSERT_EQ(off->Blt(&corner, nullptr, nullptr, DDBLT_WAIT, 0x001F), DD_OK);
    const RECT to{310, 210, 374, 242};
    ASSERT_EQ(primary->Blt(&to, off, nullptr, DDBLT_WAIT, 0), DD_OK);
    // From system memory, which the driver leaves to the runtime.
    ASSERT_EQ(sys->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0x03E0), DD_OK);
    const RECT part{0, 0, 10, 10}, to2{380, 280, 390, 290};
    ASSERT_EQ(primary->Blt(&to2, sys, &part, DDBLT_WAIT, 0), DD_OK);
    const DDSURFACEDESC d = locked(primary);
    for (int y = 195; y < 305; ++y)
        for (int x = 295; x < 405; ++x) {
            uint16_t want = 0x1111;
            if (x < 300 || x >= 400 || y < 200 || y >= 300) continue;
            if (x >= 310 && x < 374 && y >= 210 && y < 242)
                want = (x - 310 >= 8 && x - 310 < 24 && y - 210 >= 4 && y - 210 < 12) ? 0x001F : 0x7C00;
            if (x >= 380 && x < 390 && y >= 280 && y < 290) want = 0x03E0;
            ASSERT_EQ(pixel(d, x, y), want) << x << "," << y;
        }
    primary->Unlock(d.lpSurface);
    const RECT outside{60, 0, 70, 10};
    EXPECT_NE(off->Blt(&outside, nullptr, nullptr, DDBLT_WAIT, 0), DD_OK) << "past the surface's edge";
    off->Release();
    sys->Release();
    primary->Release();
}

// A mode change loses every surface: the primary and the off-screen surfaces made in the old mode
// answer DDERR_WRONGMODE; those made in the new mode work.
TEST_F(DDrawNt, AModeChangeLosesTheSurfaces) {
    open();
    IDirectDrawSurface *primary = make(DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface *off = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 64, 32);
    ASSERT_TRUE(primary != nullptr && off != nullptr);
    const KivScreenMode small{800, 600, 16};
    kivSetScreenMode(&small);
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(off->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(off->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0), DDERR_SURFACELOST);
    EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(off->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(kivDDrawCounts().videoBytes, 0u) << "the driver took their memory back";
    off->Release();
    primary->Release();
    IDirectDrawSurface *now = make(DDSCAPS_PRIMARYSURFACE);
    ASSERT_NE(now, nullptr);
    d = locked(now);
    EXPECT_EQ(d.dwWidth, 800u);
    EXPECT_EQ(d.lpSurface, video());
    now->Unlock(d.lpSurface);
    IDirectDrawSurface *off2 = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 64, 32);
    ASSERT_NE(off2, nullptr);
    EXPECT_EQ(off2->Blt(nullptr, nullptr, nullptr, DDBLT_WAIT, 0x1234), DD_OK);
    off2->Release();
    now->Release();
}

// Video memory runs out (or the budget refuses it) with DDERR_OUTOFVIDEOMEMORY, never a crash;
// what was made is given back.
TEST_F(DDrawNt, VideoMemoryRunsOutWithAnError) {
    open();
    kivDDrawSetVideoBudget(0);
    HRESULT r = DD_OK;
    EXPECT_EQ(make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 16, 16, &r), nullptr);
    EXPECT_EQ(r, DDERR_OUTOFVIDEOMEMORY);
    kivDDrawSetVideoBudget(0xFFFFFFFFu);
    std::vector<IDirectDrawSurface *> made;
    for (int i = 0; i < 64; ++i) {
        IDirectDrawSurface *s = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 1024, 256, &r);
        if (s == nullptr) break;
        made.push_back(s);
    }
    EXPECT_EQ(r, DDERR_OUTOFVIDEOMEMORY);
    EXPECT_GE(made.size(), 10u) << "16 MB hold more than ten 512 KB surfaces beside the screen";
    EXPECT_LE(made.size() * 512 * 1024, size_t(videoSize()));
    for (IDirectDrawSurface *s : made) s->Release();
    EXPECT_EQ(kivDDrawCounts().videoBytes, 0u);
    IDirectDrawSurface *again = make(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 1024, 256);
    EXPECT_NE(again, nullptr) << "and there is room again";
    if (again != nullptr) again->Release();
    EXPECT_EQ(make(DDSCAPS_OFFSCREENPLAIN, 0, 0, &r), nullptr);
    EXPECT_EQ(r, DDERR_INVALIDPARAMS);
}

}  // namespace
