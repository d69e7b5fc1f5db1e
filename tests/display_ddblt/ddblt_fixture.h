// DirectDraw's surface callbacks driven as DirectDraw drives them, on a machine booted at the
// parameter's depth with DirectDraw enabled; surfaces in video memory or in system memory.
#pragma once
#include "tests/display_more/more_fixture.h"
#include "tests/display_more/dd_surface.h"

#include <cstring>
#include <vector>

#include "display/ddraw_blt.h"
#include "display/ddraw_overlay.h"

inline RECTL rect(LONG l, LONG t, LONG w, LONG h) { return RECTL{l, t, l + w, t + h}; }


class DdFixture : public DrawTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    ZK_DD_DIRECTDRAW_GLOBAL dd{};
    ZK_DD_CALLBACKS cb{};
    ZK_DD_SURFACECALLBACKS scb{};
    ZK_DD_PALETTECALLBACKS pcb{};
    bool enabled = false;
    Surface primary{1024, 768, ZK_DDSCAPS_PRIMARYSURFACE | ZK_DDSCAPS_VIDEOMEMORY};
    uint32_t bytes = 2;

    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(GetParam()));
        bytes = GetParam() / 8;
        dd.dhpdev = reinterpret_cast<DHPDEV>(ppdev());
        ZK_DD_HALINFO hi{};
        DWORD heaps, n, codes[8];
        ASSERT_TRUE(fn<PFN_GetInfo>(INDEX_DrvGetDirectDrawInfo)(dd.dhpdev, &hi, &heaps, nullptr, &n, codes));
        ASSERT_TRUE(fn<PFN_Enable>(INDEX_DrvEnableDirectDraw)(dd.dhpdev, &cb, &scb, &pcb));
        enabled = true;
        ASSERT_EQ(reinterpret_cast<void *>(scb.Blt), reinterpret_cast<void *>(&::DdBlt));
        primary.gbl.lPitch = ppdev()->lDelta;
        primary.gbl.ddpfSurface.dwRGBBitCount = GetParam();
    }
    void TearDown() override {
        if (enabled) fn<PFN_Disable>(INDEX_DrvDisableDirectDraw)(dd.dhpdev);
        DrawTest::TearDown();
    }
    template <typename F> F fn(ULONG i) { return reinterpret_cast<F>(kivEngineDriverFunction(i)); }

    // An off-screen surface in video memory, or one in system memory (DirectDraw's own).
    void make(Surface &s) {
        if (s.lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY) {
            s.gbl.lPitch = LONG((s.gbl.wWidth * bytes + 3) & ~3u);
            s.sysBits.assign(size_t(s.gbl.lPitch) * s.gbl.wHeight, 0);
            s.gbl.fpVidMem = ULONG(reinterpret_cast<uintptr_t>(s.sysBits.data()));
            return;
        }
        ZK_DD_CREATESURFACEDATA c{&dd, &s.desc, s.list, 1, -1, nullptr};
        ASSERT_EQ(DdCreateSurface(&c), ZK_DDHAL_HANDLED);
    }
    uint8_t *bits(const Surface &s) const {
        return (s.lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY) ? const_cast<uint8_t *>(s.sysBits.data())
                                                                : ppdev()->frameBuffer + s.gbl.fpVidMem;
    }
    uint32_t get(const Surface &s, LONG x, LONG y) const {
        uint32_t v = 0;
        std::memcpy(&v, bits(s) + size_t(y) * s.gbl.lPitch + size_t(x) * bytes, bytes);
        return v;
    }
    void put(const Surface &s, LONG x, LONG y, uint32_t v) const {
        std::memcpy(bits(s) + size_t(y) * s.gbl.lPitch + size_t(x) * bytes, &v, bytes);
    }
    // Distinct pixel values (within the pixel bits of every depth's engine format).
    uint32_t pattern(LONG x, LONG y, uint32_t salt = 0) const {
        const uint32_t v = uint32_t(x * 7 + y * 131 + salt * 29 + 1);
        return bytes == 1 ? v & 0xFF : bytes == 2 ? v & 0x7FFF : v & 0xFFFFFF;
    }
    void seed(const Surface &s, uint32_t salt) {
        for (LONG y = 0; y < LONG(s.gbl.wHeight); ++y)
            for (LONG x = 0; x < LONG(s.gbl.wWidth); ++x) put(s, x, y, pattern(x, y, salt));
    }
    ZK_DD_BLTDATA blt(Surface &dst, RECTL rd, Surface *src, RECTL rs, DWORD flags, uint32_t rop = ZK_SRCCOPY) {
        ZK_DD_BLTDATA b{};
        b.lpDD = &dd;
        b.lpDDDestSurface = &dst.lcl;
        b.rDest = rd;
        b.lpDDSrcSurface = src ? &src->lcl : nullptr;
        b.rSrc = rs;
        b.dwFlags = flags;
        b.bltFX.dwSize = sizeof b.bltFX;
        b.bltFX.dwROP = rop;
        b.ddRVal = -1;
        return b;
    }
    DWORD run(ZK_DD_BLTDATA &b) {
        const DWORD r = scb.Blt(&b);
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        return r;
    }
    // Every pixel of `area` against what `expect` says it should hold.
    template <typename Expect> void check(const Surface &s, RECTL area, Expect expect) {
        for (LONG y = area.top; y < area.bottom; ++y)
            for (LONG x = area.left; x < area.right; ++x) {
                ASSERT_EQ(get(s, x, y), expect(x, y)) << "at " << x << "," << y;
            }
    }
};

