// Fuzz driver of the 9x HAL through the DirectDraw runtime stand-in: surfaces of random sizes
// and capabilities from DirectDraw's heap, blits with random rectangles (inside, outside and
// inverted), flags, raster operations, colour keys and clip lists, flips between random pairs
// with and without waiting, flip and blit status queries, vertical-blank waits, colour keys and
// overlays shown, moved and hidden with random rectangles and flags. Surface records stay as
// DirectDraw keeps them (their geometry matches their memory); everything the application
// chooses is random. Some batches add a surface whose pitch (32 KB to 128 KB) is past the 2D
// engine's stride fields. The card carries 16 MB; some batches first fill video memory so that
// the back buffer and the overlays land past the 4 MB the display's address registers reach, and
// some let the streams processor drive the display. Every flip and every overlay shown must
// leave the chip showing the surface DirectDraw now shows, or be refused because the surface lies
// past that reach. After every batch a colour fill must land on the primary, a fill, a copy over
// itself and an upload at random places in a wide surface on every pixel they name, and every
// block the batch took from the heap must be back.
#include <cstring>
#include <memory>
#include <vector>

#include "tests/fuzz_common/fuzz_run.h"
#include "tests/sivhal_blit/blit_fixture.h"

namespace {

class SivhalFuzz : public BlitMachine {
protected:
    void TestBody() override {}

public:
    void Start() { Boot(640, 480, 16, kVideoMemory); }

    static constexpr DWORD kVideoMemory = 16u << 20;
    static constexpr DWORD kDisplayReach = 4u << 20;   // of the display's address registers

    // A flip from `front` to `back` as a program makes it: once it is answered DD_OK, DirectDraw
    // shows the block `front` now holds, and so must the chip; a surface is refused only when it
    // lies past the display's reach.
    void flip(KivFuzzRandom &r, TestSurface *front, TestSurface *back, bool streams) {
        const DWORD target = Offset(back);
        const bool overlay = back->lcl.ddsCaps.dwCaps & DDSCAPS_OVERLAY;
        const Ddraw9xResult f = kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, r.chance(50) ? DDFLIP_WAIT : r.word() & 0xFF);
        if (f.result == DDERR_NOTFLIPPABLE) {
            EXPECT_GE(target, kDisplayReach) << "a flip refused to a surface the display reaches";
        } else if (f.result == DD_OK && (streams || !overlay)) {
            EXPECT_EQ(Offset(front), target);
            EXPECT_EQ(overlay ? Reg(0x81D0) : streams ? Reg(0x81C0) : CrtcStart(), target)
                << "the chip does not show what DirectDraw flipped to";
        }
    }
    // After an overlay is shown, the streams processor reads the surface shown from the source
    // rectangle's first pixel (two bytes a pixel: every surface here has the display's format);
    // it is refused only when that pixel lies past the display's reach.
    void checkShown(const Ddraw9xResult &u, TestSurface *s, const RECTL &rs, DWORD flags, bool streams) {
        const uint64_t first = uint64_t{Offset(s)} + uint64_t(uint32_t(s->gbl.lPitch)) * uint32_t(rs.top) + 2u * uint32_t(rs.left);
        if (u.result == DDERR_OUTOFVIDEOMEMORY) {
            EXPECT_GE(first, kDisplayReach) << "an overlay refused that the display reaches";
        } else if (u.result == DD_OK && streams && (flags & DDOVER_SHOW) && !(flags & DDOVER_HIDE)) {
            EXPECT_EQ(Reg(0x81D0), first) << "the overlay is not read from its source rectangle";
            EXPECT_LT(Reg(0x81D0), kDisplayReach);
        }
    }
    void Stop() { TearDown(); }

    RECTL rect(KivFuzzRandom &r, const TestSurface *s) {
        const LONG w = s->gbl.wWidth, h = s->gbl.wHeight;
        auto c = [&](LONG limit) -> LONG {
            switch (r.below(8)) {
            case 0: return LONG(r.word());
            case 1: return -LONG(r.below(8));
            case 2: return limit + LONG(r.below(8));
            default: return LONG(r.below(uint32_t(limit) + 1));
            }
        };
        return RECTL{c(w), c(h), c(w), c(h)};
    }

    // A rectangle of the given size at a random place inside the surface.
    static RECTL placed(KivFuzzRandom &r, const TestSurface *s, LONG w, LONG h) {
        const LONG x = LONG(r.below(uint32_t(s->gbl.wWidth - w) + 1)), y = LONG(r.below(uint32_t(s->gbl.wHeight - h) + 1));
        return RECTL{x, y, x + w, y + h};
    }

    // After the batch's random calls, blits at random places inside a wide surface land on every
    // pixel they name and on no other.
    void checkWide(KivFuzzRandom &r, TestSurface *s) {
        const LONG W = s->gbl.wWidth, H = s->gbl.wHeight;
        auto size = [&](LONG limit) { return LONG(1 + r.below(uint32_t(limit))); };
        Picture p = Painted(s, r.word());
        const uint32_t color = r.word() & PixelMask();
        const RECTL f = placed(r, s, size(W), size(H));
        EXPECT_EQ(Fill(s, f, color).result, DD_OK);
        FillPicture(p, f, color);
        ExpectPicture(s, p, "a fill of a wide surface");

        const LONG w = size(W), h = size(H);
        const RECTL from = placed(r, s, w, h), to = placed(r, s, w, h);
        EXPECT_EQ(Blt(s, to, s, from, DDBLT_ROP, Rop(DD_ROP_SRCCOPY)).result, DD_OK);
        CopyPicture(p, to, p, from);
        ExpectPicture(s, p, "a copy over a wide surface");

        std::vector<uint8_t> memory(size_t(W) * Bpp() * size_t(H));
        TestSurface *sys = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN, WORD(W), WORD(H),
                                static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(memory.data())), W * LONG(Bpp()));
        Picture ps = Painted(sys, r.word());
        const LONG uw = size(W), uh = size(H);
        const RECTL ud = placed(r, s, uw, uh), us = placed(r, sys, uw, uh);
        EXPECT_EQ(Blt(s, ud, sys, us, DDBLT_ROP, Rop(DD_ROP_SRCCOPY)).result, DD_OK);
        CopyPicture(p, ud, ps, us);
        ExpectPicture(s, p, "an upload to a wide surface");
    }

    void batch(KivFuzzRandom &r) {
        const int heapBefore = kivVidMemLiveBlocks(&drv.gbl);
        const bool streams = r.chance(50);
        chip->crtc[0x67] = streams ? 0x0C : 0;
        // Up to 8 MB taken first, so that what the batch places lies near or past 4 MB.
        const FLATPTR filler = r.chance(40) ? DDHAL32_VidMemAlloc(&drv.gbl, 0, 8 * (1 + r.below(1u << 20)), 1) : 0;
        TestSurface *primary = Primary();
        // Flips go between surfaces of one geometry, as in a flipping chain: the primary and a
        // back buffer of its size.
        TestSurface *back = Offscreen(primary->gbl.wWidth, primary->gbl.wHeight);
        ASSERT_NE(back->gbl.fpVidMem, 0u);
        std::vector<TestSurface *> all{primary, back};
        std::vector<FLATPTR> taken;
        for (uint32_t n = 1 + r.below(6); n > 0; --n) {
            const WORD w = WORD(1 + r.below(96)), h = WORD(1 + r.below(64));
            static const DWORD kCaps[] = {DDSCAPS_OFFSCREENPLAIN, DDSCAPS_OVERLAY, DDSCAPS_TEXTURE, DDSCAPS_ZBUFFER, 0};
            TestSurface *s = Offscreen(w, h, r.pick(kCaps));
            if (s->gbl.fpVidMem == 0) {
                surfaces.pop_back();
                continue;
            }
            taken.push_back(s->gbl.fpVidMem);
            all.push_back(s);
        }
        TestSurface *wide = nullptr;
        if (r.chance(40)) {
            const WORD w = r.pick({WORD(16384), WORD(32764), WORD(32767), WORD(32768), WORD(65535),
                                   WORD(16384 + r.below(49152))});
            wide = Offscreen(w, WORD(1 + r.below(3)), r.pick({DWORD(DDSCAPS_OFFSCREENPLAIN), DWORD(DDSCAPS_OVERLAY),
                                                              DWORD(DDSCAPS_TEXTURE), DWORD(DDSCAPS_ZBUFFER)}));
            ASSERT_NE(wide->gbl.fpVidMem, 0u);
            all.push_back(wide);
        }
        for (int i = 0; i < 200; ++i) {
            TestSurface *a = r.pick(all), *b = r.pick(all);
            switch (r.below(10)) {
            case 0: case 1: case 2: case 3: {
                static const DWORD kFlags[] = {DDBLT_COLORFILL, DDBLT_ROP, DDBLT_WAIT, DDBLT_KEYSRCOVERRIDE,
                                               DDBLT_DEPTHFILL, DDBLT_COLORFILL | DDBLT_WAIT, DDBLT_ROP | DDBLT_WAIT};
                DDBLTFX fx{};
                r.fill(&fx, sizeof fx);
                if (r.chance(70)) fx.dwROP = r.pick({0x00CC0020u, 0x00F00021u, 0x00660046u, 0x00000042u, 0x00FF0062u});
                const DWORD flags = r.chance(85) ? r.pick(kFlags) : r.word();
                std::vector<RECTL> clip;
                if (r.chance(20))
                    for (uint32_t k = r.below(5); k > 0; --k) clip.push_back(rect(r, a));
                const bool withSource = !(flags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL)) || r.chance(10);
                Blt(a, rect(r, a), withSource ? b : nullptr, rect(r, b), flags, fx, clip);
                break;
            }
            case 4:
                if (r.chance(75))
                    flip(r, primary, back, streams);
                else if ((a->lcl.ddsCaps.dwCaps & b->lcl.ddsCaps.dwCaps & DDSCAPS_OVERLAY) && a != b)
                    flip(r, a, b, streams);
                break;
            case 5:
                kivDdraw9xGetFlipStatus(&drv, &a->lcl, r.word() & 0xF);
                kivDdraw9xGetBltStatus(&drv, &a->lcl, r.word() & 0xF);
                break;
            case 6: {
                DWORD inBlank = 0;
                kivDdraw9xWaitForVerticalBlank(&drv, r.pick({DWORD(DDWAITVB_BLOCKBEGIN), DWORD(DDWAITVB_BLOCKEND),
                                                               DWORD(DDWAITVB_I_TESTVB), r.word()}),
                                               &inBlank);
                break;
            }
            case 7: {
                DDCOLORKEY key{r.word() & 0xFFFF, r.word() & 0xFFFF};
                kivDdraw9xSetColorKey(&drv, &a->lcl,
                                      r.pick({DWORD(DDCKEY_SRCBLT), DWORD(DDCKEY_DESTOVERLAY), DWORD(DDCKEY_SRCOVERLAY),
                                              r.word()}),
                                      r.chance(90) ? &key : nullptr);
                break;
            }
            case 8: {
                DDOVERLAYFX fx{};
                r.fill(&fx, sizeof fx);
                fx.dwSize = sizeof fx;
                static const DWORD kOver[] = {DDOVER_SHOW, DDOVER_HIDE, DDOVER_SHOW | DDOVER_KEYDEST,
                                              DDOVER_SHOW | DDOVER_KEYSRCOVERRIDE, DDOVER_SHOW | DDOVER_KEYDESTOVERRIDE,
                                              DDOVER_SHOW | DDOVER_KEYSRC};
                const RECTL rs = rect(r, a), rd = rect(r, primary);
                const DWORD flags = r.chance(85) ? r.pick(kOver) : r.word();
                checkShown(kivDdraw9xUpdateOverlay(&drv, &a->lcl, &rs, r.chance(80) ? &primary->lcl : &b->lcl, &rd,
                                                   flags, r.chance(90) ? &fx : nullptr),
                           a, rs, flags, streams);
                break;
            }
            default:
                kivDdraw9xSetOverlayPosition(&drv, &a->lcl, &primary->lcl, LONG(r.word() % 2000) - 500,
                                             LONG(r.word() % 2000) - 500);
                break;
            }
        }
        // Hide every overlay, then check that a fill lands where it is asked to and nowhere else.
        for (TestSurface *s : all)
            if (s->lcl.ddsCaps.dwCaps & DDSCAPS_OVERLAY)
                kivDdraw9xUpdateOverlay(&drv, &s->lcl, nullptr, &primary->lcl, nullptr, DDOVER_HIDE, nullptr);
        // A flip may have left another block as the primary's: the check fills what is shown.
        TestSurface *shown = primary;
        SetPixel(shown, 20, 10, 0);
        const Ddraw9xResult fill = Fill(shown, RECTL{4, 4, 12, 12}, 0xF81F);
        EXPECT_EQ(fill.result, DD_OK);
        kivDdraw9xGetBltStatus(&drv, &shown->lcl, 0);
        kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_BLOCKBEGIN, nullptr);
        EXPECT_EQ(Pixel(shown, 4, 4), 0xF81Fu) << "a fill no longer lands";
        EXPECT_EQ(Pixel(shown, 11, 11), 0xF81Fu) << "a fill no longer lands";
        EXPECT_EQ(Pixel(shown, 20, 10), 0u) << "a fill lands outside its rectangle";
        if (wide)
            checkWide(r, wide);
        // Flips trade blocks between records: give back every block that came from the heap.
        for (TestSurface *s : all)
            if (s != primary && s->gbl.fpVidMem != drv.gbl.fpPrimaryOrig) DDHAL32_VidMemFree(&drv.gbl, 0, s->gbl.fpVidMem);
        if (primary->gbl.fpVidMem != drv.gbl.fpPrimaryOrig) DDHAL32_VidMemFree(&drv.gbl, 0, primary->gbl.fpVidMem);
        if (filler) DDHAL32_VidMemFree(&drv.gbl, 0, filler);
        surfaces.clear();
        EXPECT_EQ(kivVidMemLiveBlocks(&drv.gbl), heapBefore) << "a block of the heap was lost";
    }
};

class ColorKeys : public BlitMachine {};

}  // namespace

// Found by the fuzzer: a colour key set without a key record (an application removing its key)
// was read through the null pointer.
TEST_F(ColorKeys, SettingNoKeyRemovesTheKeysNamed) {
    Boot(640, 480, 16);
    TestSurface *s = Offscreen(16, 16);
    const DDCOLORKEY key{0x1234, 0x1234};
    ASSERT_EQ(kivDdraw9xSetColorKey(&drv, &s->lcl, DDCKEY_SRCBLT | DDCKEY_DESTOVERLAY, &key).result, DD_OK);
    EXPECT_EQ(s->lcl.ddckCKSrcBlt.dwColorSpaceLowValue, 0x1234u);
    EXPECT_EQ(kivDdraw9xSetColorKey(&drv, &s->lcl, DDCKEY_SRCBLT, nullptr).result, DD_OK);
    EXPECT_EQ(s->lcl.ddckCKSrcBlt.dwColorSpaceLowValue, 0u);
    EXPECT_EQ(s->lcl.ddckCKSrcBlt.dwColorSpaceHighValue, 0u);
    EXPECT_EQ(s->lcl.ddckCKDestOverlay.dwColorSpaceLowValue, 0x1234u) << "a key not named stays";
    DDHAL32_VidMemFree(&drv.gbl, 0, s->gbl.fpVidMem);
}

// Found by the fuzzer: an overlay rectangle wider or taller than a LONG spans overflowed the
// HAL's scaling terms; it is refused as too big.
TEST_F(ColorKeys, AnOverlayRectangleBeyondTheLongRangeIsTooBig) {
    Boot(640, 480, 16);
    TestSurface *primary = Primary();
    TestSurface *overlay = Offscreen(32, 16, DDSCAPS_OVERLAY);
    const RECTL wide{-2000000000, 0, 2000000000, 8}, tall{0, -2000000000, 8, 2000000000}, dest{10, 10, 42, 26};
    EXPECT_EQ(kivDdraw9xUpdateOverlay(&drv, &overlay->lcl, &wide, &primary->lcl, &dest, DDOVER_SHOW, nullptr).result,
              DDERR_TOOBIGWIDTH);
    EXPECT_EQ(kivDdraw9xUpdateOverlay(&drv, &overlay->lcl, &dest, &primary->lcl, &tall, DDOVER_SHOW, nullptr).result,
              DDERR_TOOBIGHEIGHT);
    DDHAL32_VidMemFree(&drv.gbl, 0, overlay->gbl.fpVidMem);
}

TEST(FuzzSivhal, RandomSurfacesBlitsFlipsAndOverlaysLeaveTheHalWorking) {
    SivhalFuzz machine;
    machine.Start();
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    kivFuzzForEachSeed("fuzz_sivhal", [&](KivFuzzRandom &r, int) { machine.batch(r); });
    machine.Stop();
}

int main(int argc, char **argv) { return kivFuzzMain(argc, argv); }
