// A 9x machine with the SIV card as a DirectDraw application sees it: the runtime has loaded the
// HAL library, sivd16 has set a mode, and DirectDraw has created its driver object. Surfaces lie
// in the card's video memory (the primary at its start, the others from DirectDraw's heap).
#pragma once
#include <gtest/gtest.h>

#include "drv/siv/display/driver_block.h"
#include "platform/ddraw/ddraw9x_blt.h"
#include "platform/siv/siv_chip.h"
#include "platform/siv/siv_engine2d.h"
#include "platform/sivd16/sivd16.h"
#include "tests/sivhal_blit/siv_machine.h"

#include <cstring>
#include <memory>
#include <vector>

struct TestSurface {
    DDRAWI_DDRAWSURFACE_LCL lcl{};
    DDRAWI_DDRAWSURFACE_GBL gbl{};
    TestSurface() { lcl.lpGbl = &gbl; }
};

// A surface's pixels as a test expects them, row by row, kept by the test's own arithmetic.
struct Picture {
    LONG w, h;
    std::vector<uint32_t> px;
    uint32_t &at(LONG x, LONG y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

class BlitMachine : public ::testing::Test, protected SivMachine {
protected:
    std::vector<std::unique_ptr<TestSurface>> surfaces;
    std::vector<TestSurface *> created;   // through DirectDraw's create path: destroyed at the end

    void Boot(uint16_t width, uint16_t height, uint8_t bits, DWORD videoMemory = 4u << 20) {
        BootSiv(width, height, bits, 0, videoMemory);
        ASSERT_FALSE(HasFatalFailure());
        kivSiv2dClearStats();
    }
    void TearDown() override {
        for (TestSurface *s : created)
            kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &s->lcl);
        created.clear();
        surfaces.clear();
        kivDdraw9xUnloadHal(hal);
        kivSivd16Stop();
        kivSivPowerOff();
    }
    uint32_t Bpp() const { return drv.gbl.vmiData.ddpfDisplay.dwRGBBitCount / 8; }
    // Where a surface lies in video memory, as the chip's address registers count.
    DWORD Offset(const TestSurface *s) const { return static_cast<DWORD>(s->gbl.fpVidMem - drv.gbl.fpPrimaryOrig); }
    // Where the CRTC starts the picture, in bytes: 4-byte units in 0x0D (bits 0-7), 0x0C (8-15)
    // and 0x69 (from 16).
    DWORD CrtcStart() const {
        return 4 * (DWORD(chip->crtc[0x69]) << 16 | DWORD(chip->crtc[0x0C]) << 8 | chip->crtc[0x0D]);
    }

    TestSurface *Make(DWORD caps, WORD w, WORD h, FLATPTR at, LONG pitch) {
        surfaces.push_back(std::make_unique<TestSurface>());
        TestSurface *s = surfaces.back().get();
        s->lcl.ddsCaps.dwCaps = caps;
        s->gbl.wWidth = w;
        s->gbl.wHeight = h;
        s->gbl.lPitch = pitch;
        s->gbl.fpVidMem = at;
        s->gbl.lpDD = &drv.gbl;
        return s;
    }
    TestSurface *Primary() {
        const auto &v = drv.gbl.vmiData;
        return Make(DDSCAPS_PRIMARYSURFACE | DDSCAPS_VISIBLE, static_cast<WORD>(v.dwDisplayWidth),
                    static_cast<WORD>(v.dwDisplayHeight), drv.gbl.fpPrimaryOrig, v.lDisplayPitch);
    }
    // An off-screen surface in the display's format from DirectDraw's heap.
    TestSurface *Offscreen(WORD w, WORD h, DWORD caps = DDSCAPS_OFFSCREENPLAIN) {
        const LONG pitch = static_cast<LONG>((w * Bpp() + 7) & ~7u);
        FLATPTR at = DDHAL32_VidMemAlloc(&drv.gbl, 0, static_cast<DWORD>(pitch), h);
        EXPECT_NE(at, 0u);
        return Make(caps | DDSCAPS_VIDEOMEMORY, w, h, at, pitch);
    }
    // A surface as a program creates one; null when the creation is refused (`result` gets the
    // answer).
    TestSurface *Create(DWORD caps, WORD w, WORD h, const DDPIXELFORMAT *pf = nullptr, HRESULT *result = nullptr) {
        TestSurface *s = Make(caps, w, h, 0, 0);
        const HRESULT r = CreateSurface(&s->lcl, caps, pf);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, DD_OK);
        if (r != DD_OK)
            return nullptr;
        created.push_back(s);
        return s;
    }
    void WithFormat(TestSurface *s, const DDPIXELFORMAT &pf) {
        s->lcl.dwFlags |= DDRAWISURF_HASPIXELFORMAT;
        s->gbl.ddpfSurface = pf;
    }

    uint8_t *At(TestSurface *s, LONG x, LONG y) {
        return reinterpret_cast<uint8_t *>(s->gbl.fpVidMem) + y * s->gbl.lPitch + x * static_cast<LONG>(Bpp());
    }
    uint32_t Pixel(TestSurface *s, LONG x, LONG y) {
        uint32_t v = 0;
        std::memcpy(&v, At(s, x, y), Bpp());
        return v;
    }
    void SetPixel(TestSurface *s, LONG x, LONG y, uint32_t v) { std::memcpy(At(s, x, y), &v, Bpp()); }
    // Every pixel a value of its own position.
    static uint32_t Marker(LONG x, LONG y) { return static_cast<uint32_t>(x * 7 + y * 131 + 1) & 0xFFFF; }
    void Paint(TestSurface *s) {
        for (LONG y = 0; y < s->gbl.wHeight; y++)
            for (LONG x = 0; x < s->gbl.wWidth; x++)
                SetPixel(s, x, y, Marker(x, y) & (Bpp() == 1 ? 0xFF : 0xFFFF));
    }
    std::vector<uint32_t> Image(TestSurface *s) {
        std::vector<uint32_t> v;
        for (LONG y = 0; y < s->gbl.wHeight; y++)
            for (LONG x = 0; x < s->gbl.wWidth; x++)
                v.push_back(Pixel(s, x, y));
        return v;
    }

    // ---- pictures ----
    uint32_t PixelMask() const { return Bpp() == 4 ? 0xFFFFFFFFu : (1u << (8 * Bpp())) - 1; }
    // A value for every pixel that differs from its neighbours on the row and in the column.
    uint32_t Pattern(LONG x, LONG y, uint32_t seed) const {
        return ((uint32_t(x) * 0x9E3779B1u) ^ (uint32_t(y) * 0x85EBCA6Bu) ^ (seed * 0xC2B2AE35u)) >> 7 & PixelMask();
    }
    // Paints the surface (as a program does through a lock) and returns its picture.
    Picture Painted(TestSurface *s, uint32_t seed) {
        Picture p{s->gbl.wWidth, s->gbl.wHeight, {}};
        p.px.resize(size_t(p.w) * size_t(p.h));
        for (LONG y = 0; y < p.h; y++)
            for (LONG x = 0; x < p.w; x++)
                SetPixel(s, x, y, p.at(x, y) = Pattern(x, y, seed));
        return p;
    }
    static void FillPicture(Picture &p, const RECTL &r, uint32_t v) {
        for (LONG y = r.top; y < r.bottom; y++)
            for (LONG x = r.left; x < r.right; x++)
                p.at(x, y) = v;
    }
    // A copy reads every source pixel before any is written (`from` is taken before the copy);
    // source pixels equal to `key` are left out.
    static void CopyPicture(Picture &to, const RECTL &rd, Picture from, const RECTL &rs, const uint32_t *key = nullptr) {
        for (LONG y = 0; y < rd.bottom - rd.top; y++)
            for (LONG x = 0; x < rd.right - rd.left; x++) {
                const uint32_t v = from.at(rs.left + x, rs.top + y);
                if (!key || v != *key)
                    to.at(rd.left + x, rd.top + y) = v;
            }
    }
    // Every pixel of the surface as the picture has it; reports how many differ and the first.
    void ExpectPicture(TestSurface *s, Picture &p, const char *after) {
        size_t wrong = 0;
        LONG fx = -1, fy = -1;
        for (LONG y = 0; y < p.h; y++)
            for (LONG x = 0; x < p.w; x++)
                if (Pixel(s, x, y) != p.at(x, y) && !wrong++)
                    fx = x, fy = y;
        EXPECT_EQ(wrong, 0u) << "after " << after << ", first at " << fx << "," << fy;
    }

    // Whether a register was written since the last clear (as far as the log holds), and the
    // last value written to it.
    bool Wrote(uint32_t reg, uint32_t *value = nullptr) const {
        bool found = false;
        for (const SivRegWrite &w : Writes())
            if (w.offset == reg) {
                found = true;
                if (value)
                    *value = w.value;
            }
        return found;
    }
    uint32_t Reg(uint32_t reg) const { return chip->regs[reg / 4]; }

    Ddraw9xResult Blt(TestSurface *dst, RECTL rd, TestSurface *src, RECTL rs, DWORD flags, DDBLTFX fx = {},
                      const std::vector<RECTL> &clip = {}) {
        fx.dwSize = sizeof fx;
        return kivDdraw9xBlt(&drv, &dst->lcl, &rd, src ? &src->lcl : nullptr, src ? &rs : nullptr, flags, &fx,
                             clip.empty() ? nullptr : clip.data(), static_cast<DWORD>(clip.size()));
    }
    Ddraw9xResult Fill(TestSurface *dst, RECTL rd, uint32_t color) {
        DDBLTFX fx{};
        fx.dwFillColor = color;
        return Blt(dst, rd, nullptr, {}, DDBLT_COLORFILL, fx);
    }
    static DDBLTFX Rop(DWORD rop) {
        DDBLTFX fx{};
        fx.dwROP = rop;
        return fx;
    }
};
