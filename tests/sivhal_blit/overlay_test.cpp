// The overlay through DirectDraw: showing, moving, keying and hiding it, who owns it, the
// streams registers (and their copies in sivd16's data block) it programs, and the colour
// controls and options sivd16 applies through its service requests.
#include "tests/sivhal_blit/blit_fixture.h"

namespace {

DDPIXELFORMAT FourCC(DWORD code) { return DDPIXELFORMAT{32, DDPF_FOURCC, code, 0, 0, 0, 0, 0}; }
DDPIXELFORMAT Rgb(DWORD bits, DWORD r = 0, DWORD g = 0, DWORD b = 0) {
    return DDPIXELFORMAT{32, DDPF_RGB, 0, bits, r, g, b, 0};
}

class Overlay : public BlitMachine {
protected:
    TestSurface *primary = nullptr;
    void SetUp() override {
        Boot(640, 480, 16);
        ASSERT_NE(drv.surfaceCallbacks.UpdateOverlay, nullptr) << "the overlay is announced in this mode";
        chip->crtc[0x67] = 0x0C;   // the streams processor drives the display
        primary = Primary();
    }
    TestSurface *Yuy2(WORD w, WORD h, DWORD caps = 0) {
        TestSurface *s = Offscreen(w, h, DDSCAPS_OVERLAY | caps);
        WithFormat(s, FourCC(KIV_FOURCC('Y', 'U', 'Y', '2')));
        return s;
    }
    Ddraw9xResult Update(TestSurface *ov, RECTL rs, RECTL rd, DWORD flags, DDOVERLAYFX fx = {}) {
        return kivDdraw9xUpdateOverlay(&drv, &ov->lcl, &rs, &primary->lcl, &rd, flags, &fx);
    }
    Ddraw9xResult Show(TestSurface *ov, DWORD flags = 0) {
        return Update(ov, {0, 0, ov->gbl.wWidth, ov->gbl.wHeight}, {0, 0, 640, 480}, DDOVER_SHOW | flags);
    }
    Ddraw9xResult Hide(TestSurface *ov) { return Update(ov, {}, {}, DDOVER_HIDE); }
    // Events sent to sivd16 through its function 2.
    std::vector<DWORD> Events() const {
        std::vector<DWORD> v;
        for (DWORD i = 0; i < sivd16->callCount && i < kSivd16MaxCalls; i++)
            if (sivd16->calls[i].index == 2)
                v.push_back(sivd16->calls[i].args[0]);
        return v;
    }
    // Every streams register written since the log was cleared has the value its copy holds.
    void ExpectShadowsMatch() {
        for (const SivRegWrite &w : Writes()) {
            if (w.offset < 0x8184 || w.offset > 0x820C)
                continue;
            const uint32_t shadow = w.offset >= 0x81C0 ? 0xE074 + (w.offset - 0x81C0)
                                  : w.offset >= 0x8190 ? 0xE060 + (w.offset - 0x8190) : 0xE05C;
            EXPECT_EQ(static_cast<uint32_t>(Block()->word(shadow)), Reg(w.offset)) << std::hex << w.offset;
        }
    }
    void ColorRequest(DWORD brightness, DWORD contrast, DWORD saturation, DWORD hue) {
        DWORD request[2 + 8] = {0, 0xEDD00007, brightness, contrast, saturation, hue};
        EXPECT_EQ(kivSivd16ServiceRequest(request), 1u);
    }
    void OptionRequest(DWORD options) {
        DWORD request[2 + 8] = {0, 0xEDD00004, options};
        EXPECT_EQ(kivSivd16ServiceRequest(request), 1u);
    }
};

TEST_F(Overlay, ShowingAQuarterSizeYuvOverlayOnTheWholeScreen) {
    TestSurface *ov = Yuy2(320, 240);
    sivd16->callCount = 0;
    kivSivClearWriteLog();
    DDOVERLAYFX fx{};
    fx.dckDestColorkey = {0xF81F, 0xF81F};   // magenta in 5-6-5
    Ddraw9xResult r = Update(ov, {0, 0, 320, 240}, {0, 0, 640, 480}, DDOVER_SHOW | DDOVER_KEYDESTOVERRIDE, fx);
    ASSERT_EQ(r.result, DD_OK);
    EXPECT_EQ(r.handled, 1u);
    const struct {
        uint32_t reg, value;
    } expected[] = {
        {0x8184, 0x14F800F8},   // 5-6-5 compares 4 bits of precision
        {0x8190, 0x21000FFF},   // filter 2 for a stretch of two, YUY2, DDA start -1
        {0x8194, 0x00F800F8},
        {0x8198, 0x06C0013F},   // k2 -320, k1 319
        {0x81A0, 0x05000000},   // destination key
        {0x81D0, Offset(ov)},
        {0x81D4, Offset(ov)},
        {0x81D8, 640},
        {0x81DC, 0},
        {0x81E0, 239},
        {0x81E4, 0x710},        // -240
        {0x81E8, 0xE1F},        // -481
        {0x81EC, 0},
        {0x81F8, 0x00010001},
        {0x81FC, (639u << 16) | 480u},
        {0x8200, 22018},
        {0x8208, 0x4040},
        {0x820C, 0x04080804},
    };
    for (const auto &e : expected) {
        uint32_t v = 0;
        EXPECT_TRUE(Wrote(e.reg, &v)) << std::hex << e.reg;
        EXPECT_EQ(v, e.value) << std::hex << e.reg;
    }
    ExpectShadowsMatch();
    EXPECT_EQ(Block()->driverFlags() & 0x3000u, 0x3000u);
    EXPECT_EQ(static_cast<uint32_t>(Block()->word(0xE01C)), 320u);
    EXPECT_EQ(static_cast<uint32_t>(Block()->word(0xE028)), 480u);
    EXPECT_EQ(Events(), std::vector<DWORD>{6});
    EXPECT_TRUE(ov->lcl.ddsCaps.dwCaps & DDSCAPS_VISIBLE);

    // Moved where it was shown, it stays put.
    EXPECT_EQ(kivDdraw9xSetOverlayPosition(&drv, &ov->lcl, &primary->lcl, 0, 0).result, DD_OK);
    EXPECT_EQ(Reg(0x81F8), 0x00010001u);
    EXPECT_EQ(kivDdraw9xSetOverlayPosition(&drv, &ov->lcl, &primary->lcl, 100, 40).result, DD_OK);
    EXPECT_EQ(Reg(0x81F8), (101u << 16) | 41u);

    // Hidden, the window goes below the screen.
    sivd16->callCount = 0;
    ASSERT_EQ(Hide(ov).result, DD_OK);
    EXPECT_EQ(Reg(0x81A0), 0x01000000u);
    EXPECT_EQ(Reg(0x81F8), 0x10000u | 481u);
    EXPECT_EQ(Reg(0x81FC), 0x000A0002u);
    EXPECT_EQ(Reg(0x81EC), 0x3000u);
    EXPECT_EQ(Reg(0x8200), 0x10400u);
    EXPECT_EQ(Block()->driverFlags() & 0x3000u, 0u);
    EXPECT_EQ(Events(), std::vector<DWORD>{5});
}

TEST_F(Overlay, RefusedOverlaysLeaveTheShownOneAlone) {
    TestSurface *a = Yuy2(64, 64), *b = Yuy2(64, 64), *live = Yuy2(64, 64, DDSCAPS_LIVEVIDEO);
    TestSurface *wide = Yuy2(1280, 16);
    TestSurface *pastStride = Yuy2(2048, 16);   // pitch 4096: past the stream's 12-bit stride field
    TestSurface *bytes = Offscreen(64, 64, DDSCAPS_OVERLAY);
    WithFormat(bytes, Rgb(8));
    ASSERT_EQ(Show(a).result, DD_OK);
    const uint32_t shownAt = Reg(0x81D0);
    struct Case {
        const char *name;
        Ddraw9xResult r;
        HRESULT want;
    };
    sivd16->callCount = 0;
    kivSivClearWriteLog();
    const Case cases[] = {
        {"another owner", Show(b), DDERR_OUTOFCAPS},
        {"too wide a stretch", Update(wide, {0, 0, 1280, 16}, {0, 0, 3000, 16}, DDOVER_SHOW), DDERR_TOOBIGWIDTH},
        {"too high a stretch", Update(b, {0, 0, 8, 8}, {0, 0, 8, 1100}, DDOVER_SHOW), DDERR_TOOBIGHEIGHT},
        {"8-bit surface", Show(bytes), DDERR_INVALIDPIXELFORMAT},
        {"empty source", Update(b, {4, 4, 4, 8}, {0, 0, 8, 8}, DDOVER_SHOW), DDERR_INVALIDRECT},
        {"source below the surface", Update(b, {0, 60, 8, 68}, {0, 0, 8, 8}, DDOVER_SHOW), DDERR_INVALIDRECT},
        {"source left of the surface", Update(b, {-4, 0, 4, 8}, {0, 0, 8, 8}, DDOVER_SHOW), DDERR_INVALIDRECT},
        {"pitch past the stride field", Update(pastStride, {0, 0, 64, 16}, {0, 0, 64, 16}, DDOVER_SHOW),
         DDERR_TOOBIGWIDTH},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.r.handled, 1u) << c.name;
        EXPECT_EQ(c.r.result, c.want) << c.name;
    }
    EXPECT_EQ(chip->writeCount, 0u);
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(Block()->driverFlags() & 0x3000u, 0x3000u);
    // Neither a hide nor an update from a surface that does not own it changes anything.
    EXPECT_EQ(Hide(b).result, DD_OK);
    EXPECT_EQ(Update(b, {0, 0, 8, 8}, {0, 0, 8, 8}, 0).result, DD_OK);
    EXPECT_EQ(chip->writeCount, 0u);
    EXPECT_EQ(Reg(0x81D0), shownAt);

    // Live video takes the overlay over.
    ASSERT_EQ(Show(live).result, DD_OK);
    EXPECT_EQ(Reg(0x81D0), Offset(live));
    EXPECT_FALSE(a->lcl.ddsCaps.dwCaps & DDSCAPS_VISIBLE);

    // The owner destroyed, the overlay is free again.
    kivDdraw9xDestroySurface(&drv.gbl, drv.surfaceCallbacks.DestroySurface, &live->lcl);
    EXPECT_EQ(Reg(0x81A0), 0x01000000u);
    EXPECT_EQ(Show(b).result, DD_OK);
    EXPECT_EQ(Reg(0x81D0), Offset(b));
}

// The widest YUY2 surface whose pitch (4088 bytes) the stream's stride field holds: the stream
// starts at the source rectangle's first pixel and steps rows by the pitch.
TEST_F(Overlay, TheWidestPitchTheStreamHoldsIsShownAtItsRows) {
    TestSurface *ov = Yuy2(2044, 16);
    ASSERT_EQ(ov->gbl.lPitch, 4088);
    ASSERT_EQ(Update(ov, {1000, 2, 2000, 10}, {0, 0, 1000, 8}, DDOVER_SHOW).result, DD_OK);
    EXPECT_EQ(Reg(0x81D8), 4088u);
    EXPECT_EQ(Reg(0x81D0), Offset(ov) + 2 * 1000 + 4088 * 2);
}

TEST_F(Overlay, ColorKeysByFormat) {
    chip->dac[5][0] = 10, chip->dac[5][1] = 20, chip->dac[5][2] = 30;
    struct Case {
        const char *name;
        DDPIXELFORMAT pf;
        DWORD key;
        DWORD control;   // 0: refused
    };
    const Case cases[] = {
        {"5-6-5", Rgb(16, 0xF800, 0x07E0, 0x001F), 0x07E0, 0x1400FC00},
        {"5-5-5", Rgb(16, 0x7C00, 0x03E0, 0x001F), 0x7C1F, 0x14F800F8},
        {"8-bit palette", Rgb(8), 0x105, 0x17285078},
        {"32-bit", Rgb(32, 0xFF0000, 0xFF00, 0xFF), 0x00123456, 0x17123456},
        {"YUY2", FourCC(KIV_FOURCC('Y', 'U', 'Y', '2')), 0x8080, 0x17000000},
        {"unknown", FourCC(KIV_FOURCC('A', 'B', 'C', 'D')), 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestSurface *s = Make(DDSCAPS_OVERLAY, 8, 8, drv.gbl.fpPrimaryOrig, 16);
        WithFormat(s, c.pf);
        DDCOLORKEY key = {c.key, c.key};
        kivSivClearWriteLog();
        Ddraw9xResult r = kivDdraw9xSetColorKey(&drv, &s->lcl, DDCKEY_SRCOVERLAY, &key);
        if (!c.control) {
            EXPECT_EQ(r.handled, 0u);
            EXPECT_EQ(chip->writeCount, 0u);
            continue;
        }
        EXPECT_EQ(r.result, DD_OK);
        EXPECT_EQ(Reg(0x8184), c.control);
        EXPECT_EQ(Reg(0x8194), c.control & 0xFFFFFF);
        ExpectShadowsMatch();
    }
    // Blit keys travel with each blit; other kinds are DirectDraw's.
    DDCOLORKEY key = {1, 1};
    kivSivClearWriteLog();
    EXPECT_EQ(kivDdraw9xSetColorKey(&drv, &primary->lcl, DDCKEY_SRCBLT, &key).result, DD_OK);
    EXPECT_EQ(kivDdraw9xSetColorKey(&drv, &primary->lcl, 0x2 /* DDCKEY_DESTBLT */, &key).handled, 0u);
    EXPECT_EQ(chip->writeCount, 0u);
    // A surface's own overlay key, named by DDOVER_KEYSRC.
    TestSurface *ov = Yuy2(64, 64);
    ASSERT_EQ(Show(ov, DDOVER_KEYSRC).result, DD_OK);
    EXPECT_EQ(Reg(0x81A0), 0x06000000u);
    EXPECT_EQ(Reg(0x8184), 0x17000000u);
}

TEST_F(Overlay, WithTheStreamsProcessorOffOnlyTheBookkeepingChanges) {
    chip->crtc[0x67] = 0;
    TestSurface *ov = Yuy2(64, 64);
    DDCOLORKEY key = {0x07E0, 0x07E0};
    kivSivClearWriteLog();
    EXPECT_EQ(Show(ov).result, DD_OK);
    EXPECT_EQ(kivDdraw9xSetOverlayPosition(&drv, &ov->lcl, &primary->lcl, 5, 5).result, DD_OK);
    EXPECT_EQ(kivDdraw9xSetColorKey(&drv, &primary->lcl, DDCKEY_DESTOVERLAY, &key).result, DD_OK);
    ColorRequest(5000, 5000, 5000, 0);
    EXPECT_EQ(chip->writeCount, 0u);
    EXPECT_EQ(Block()->driverFlags() & 0x1000u, 0x1000u);   // a YUV overlay
    EXPECT_EQ(Block()->driverFlags() & 0x2000u, 0u);        // nothing programmed
}

TEST_F(Overlay, ColorControlsOfAYuvOverlay) {
    struct Case {
        const char *name;
        DWORD flags, brightness, contrast, saturation, hue;
        uint32_t value;
    };
    const Case cases[] = {
        {"neutral contrast", 0x1400, 0, 5000, 0, 0, 0x8000},
        {"full brightness and contrast", 0x1400, 9999, 9999, 0, 0, 0x9F7F},
        {"no contrast", 0x1400, 0, 0, 0, 0, 0x8080},
        {"full saturation", 0x1800, 0, 0, 9999, 0, 0x800F0000},
        {"saturation with hue", 0x1800, 0, 0, 9999, 9999, 0x8C090000},
        {"both", 0x1C00, 0, 5000, 9999, 0, 0x800F8000},
        {"not a YUV overlay", 0x0C00, 9999, 9999, 9999, 9999, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Block()->driverFlags() = (Block()->driverFlags() & ~0x1C00u) | c.flags;
        ColorRequest(c.brightness, c.contrast, c.saturation, c.hue);
        EXPECT_EQ(Reg(0x819C), c.value);
        EXPECT_EQ(static_cast<uint32_t>(Block()->word(0xE06C)), c.value);
    }
}

TEST_F(Overlay, OptionsChangeFilterAndFifoOfTheShownOverlay) {
    TestSurface *ov = Yuy2(320, 240);
    ASSERT_EQ(Show(ov).result, DD_OK);
    kivSivClearWriteLog();
    OptionRequest(0x02 | 0x08 | 0x04);   // overlay on, first filter, the other FIFO values
    EXPECT_EQ(Reg(0x8190), 0x11000FFFu);
    EXPECT_EQ(Reg(0x81E8), 0xCE1Fu);
    EXPECT_EQ(Reg(0x8200), 0xB2CCu);
    EXPECT_EQ(Reg(0x8208), 0x3030u);
    EXPECT_EQ(Reg(0x820C), 0x02020202u);
    ExpectShadowsMatch();
    OptionRequest(0x02);   // the filter follows the stretch again, the FIFO values their default
    EXPECT_EQ(Reg(0x8190), 0x21000FFFu);
    EXPECT_EQ(Reg(0x81E8), 0xE1Fu);
    EXPECT_EQ(Reg(0x8200), 22018u);
    EXPECT_EQ(Reg(0x820C), 0x04080804u);
}

}  // namespace
