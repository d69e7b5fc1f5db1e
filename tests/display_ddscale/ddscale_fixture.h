// DirectDraw on the booted machine through the NT DirectDraw runtime stand-in: surfaces made the
// way DirectDraw makes them, blits, flips and overlays through the callbacks the display driver
// gave the runtime, and pixels read back from video memory (or what the overlay scans).
#pragma once
#include "tests/display_draw/draw_fixture.h"

#include <cstring>
#include <vector>

#include "platform/ddraw_nt/ddraw_nt_hal.h"

constexpr uint32_t kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'), kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y');

inline RECTL rect(LONG l, LONG t, LONG w, LONG h) { return RECTL{l, t, l + w, t + h}; }

class DdNtTest : public DrawTest {
protected:
    KivDirectDrawNt dd;
    uint32_t bytes = 2;

    bool startDd(uint32_t bpp) {
        if (!start(bpp)) return false;
        bytes = bpp / 8;
        return dd.enable();
    }
    void TearDown() override {
        if (!stopped_) dd.disable();
        DrawTest::TearDown();
    }
    // One surface (or a chain) of the display's format or of a FOURCC code.
    std::vector<KivDdNtSurface *> make(DWORD w, DWORD h, DWORD caps, uint32_t code = 0, DWORD count = 1) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = w;
        d.dwHeight = h;
        d.ddsCaps.dwCaps = caps;
        if (code) {
            d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
            d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
            d.ddpfPixelFormat.dwFourCC = code;
        }
        std::vector<KivDdNtSurface *> out;
        const KivDdNtResult r = dd.create(d, count, &out);
        EXPECT_EQ(r.code, ZK_DD_OK) << "surface " << w << "x" << h << " caps 0x" << std::hex << caps;
        return out;
    }
    KivDdNtSurface *one(DWORD w, DWORD h, DWORD caps, uint32_t code = 0) {
        auto v = make(w, h, caps, code);
        return v.empty() ? nullptr : v[0];
    }
    uint8_t *at(const KivDdNtSurface *s, LONG x, LONG y, uint32_t pixelBytes) const {
        return dd.bits(s) + static_cast<ptrdiff_t>(y) * s->gbl.lPitch + static_cast<ptrdiff_t>(x) * pixelBytes;
    }
    uint32_t get(const KivDdNtSurface *s, LONG x, LONG y) const {
        uint32_t v = 0;
        std::memcpy(&v, at(s, x, y, bytes), bytes);
        return v;
    }
    void put(const KivDdNtSurface *s, LONG x, LONG y, uint32_t v) const { std::memcpy(at(s, x, y, bytes), &v, bytes); }
    // Distinct pixel values within the pixel bits of the depth.
    uint32_t pattern(LONG x, LONG y, uint32_t salt = 0) const {
        const uint32_t v = uint32_t(x * 7 + y * 131 + salt * 29 + 1) * 2654435761u >> 8;
        return bytes == 1 ? v & 0xFF : bytes == 2 ? v & 0x7FFF : v & 0xFFFFFF;
    }
    void seed(const KivDdNtSurface *s, uint32_t salt) {
        for (LONG y = 0; y < LONG(s->gbl.wHeight); ++y)
            for (LONG x = 0; x < LONG(s->gbl.wWidth); ++x) put(s, x, y, pattern(x, y, salt));
    }
    static ZK_DDBLTFX rop(uint32_t dwRop = ZK_SRCCOPY) {
        ZK_DDBLTFX fx{};
        fx.dwROP = dwRop;
        return fx;
    }
    // Every pixel of `area` against `expect(x, y)`.
    template <typename Expect> void check(const KivDdNtSurface *s, RECTL area, Expect expect) {
        for (LONG y = area.top; y < area.bottom; ++y)
            for (LONG x = area.left; x < area.right; ++x) ASSERT_EQ(get(s, x, y), expect(x, y)) << "at " << x << "," << y;
    }
    void expectModelClean() {
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        zk3DrawClearErrors();
    }
};

class DdNtDepths : public DdNtTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        DdNtTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(startDd(GetParam()));
    }
};

class DdNtDepthsCaps : public DdNtDepths {};

// The reference scalers: which source pixel a destination pixel (index i of d along an axis, the
// source s pixels long) takes. The CPU-fed stretch is programmed with destination-per-source
// scales rounded up; the engine's scaler with source-per-destination steps; both sample at
// pixel centres.
inline LONG cpuSample(LONG i, LONG d, LONG s) {
    const uint64_t q = (uint64_t(d) << 20) / uint64_t(s);
    const uint64_t c = ((uint64_t(d) << 20) % uint64_t(s)) ? q / (1u << 20) + 1 : 0;
    const uint64_t scale = ((uint64_t(d) + c) << 20) / uint64_t(s);
    return LONG((uint64_t(2 * i + 1) << 19) / scale);
}
inline LONG engineSample(LONG i, LONG d, LONG s) {
    const uint64_t c = s == d ? 0 : uint64_t(s / d) + 1;
    const uint64_t step = (uint64_t(s) << 20) / (uint64_t(d) + c);
    return LONG((uint64_t(2 * i + 1) * step) >> 21);
}
