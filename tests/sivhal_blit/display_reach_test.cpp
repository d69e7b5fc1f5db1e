// What the display shows on cards of 8 and 16 MB, whose video memory runs past the 4 MB the
// display's address registers reach. Video memory is filled so that DirectDraw places a back
// buffer or an overlay just below that reach, across it or far past it; the program flips to it
// (through the CRTC or the streams processor) or shows the overlay from it. The chip then shows
// the surface (its start registers, the streams addresses, and sivd16's description of the
// screen hold the surface's offset), or the flip or the overlay is refused with the runtime's
// error and nothing changes: not the chip's registers, not DirectDraw's surfaces, not the owner
// of the overlay.
#include "tests/sivhal_blit/blit_fixture.h"

#include <cstring>
#include <ostream>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr int64_t kMB = 1 << 20;
constexpr int64_t kReach = 4 * kMB;
constexpr int64_t kFrame = 640 * 480 * 2;         // a back buffer of the 640 x 480 x 16 mode
constexpr LONG kOverlayPitch = 2 * 160;            // a 160 x 120 YUY2 overlay
constexpr int64_t kOverlay = kOverlayPitch * 120;

enum Kind { kCrtcFlip, kStreamsFlip, kOverlayShow, kOverlayFlip };

struct Case {
    const char *what;
    Kind kind;
    bool fromEnd;    // the surface's place counts from the end of video memory, else from 4 MB
    int64_t delta;   // bytes from there
    bool shown;
    LONG firstRow = 0;   // of the overlay's source rectangle
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.what; }

const Case kCases[] = {
    {"a back buffer wholly below 4 MB, through the CRTC", kCrtcFlip, false, -kFrame, true},
    {"a back buffer starting 8 bytes below 4 MB, through the CRTC", kCrtcFlip, false, -8, true},
    {"a back buffer at 4 MB, through the CRTC", kCrtcFlip, false, 0, false},
    {"a back buffer at the top of memory, through the CRTC", kCrtcFlip, true, -2 * kFrame, false},
    {"a back buffer wholly below 4 MB, through the streams", kStreamsFlip, false, -kFrame, true},
    {"a back buffer starting 8 bytes below 4 MB, through the streams", kStreamsFlip, false, -8, true},
    {"a back buffer at 4 MB, through the streams", kStreamsFlip, false, 0, false},
    {"a back buffer at the top of memory, through the streams", kStreamsFlip, true, -2 * kFrame, false},
    {"an overlay wholly below 4 MB", kOverlayShow, false, -kOverlay, true},
    {"an overlay a row below 4 MB, from its first row", kOverlayShow, false, -kOverlayPitch, true},
    {"an overlay a row below 4 MB, from its second row", kOverlayShow, false, -kOverlayPitch, false, 1},
    {"an overlay at 4 MB", kOverlayShow, false, 0, false},
    {"an overlay at the top of memory", kOverlayShow, true, -2 * kOverlay, false},
    {"an overlay flip to one wholly below 4 MB", kOverlayFlip, false, -kOverlay, true},
    {"an overlay flip to one at 4 MB", kOverlayFlip, false, 0, false},
    {"an overlay flip to one at the top of memory", kOverlayFlip, true, -2 * kOverlay, false},
};

class DisplayReach : public BlitMachine, public ::testing::WithParamInterface<std::tuple<int64_t, Case>> {
protected:
    std::vector<FLATPTR> fillers;
    TestSurface *front = nullptr, *back = nullptr;

    void SetUp() override {
        Boot(640, 480, 16, static_cast<DWORD>(std::get<0>(GetParam())));
        front = Primary();
    }
    void TearDown() override {
        // A flip left standing has traded blocks between the records: each gets its own back, so
        // that the back buffer's goes back to the heap.
        if (back && front->gbl.fpVidMem != drv.gbl.fpPrimaryOrig)
            std::swap(front->gbl.fpVidMem, back->gbl.fpVidMem);
        for (FLATPTR f : fillers)
            DDHAL32_VidMemFree(&drv.gbl, 0, f);
        BlitMachine::TearDown();
    }
    // Takes a block of DirectDraw's heap so that the next surface it places starts at `offset`.
    void FillUpTo(int64_t offset) {
        const FLATPTR next = DDHAL32_VidMemAlloc(&drv.gbl, 0, 8, 1);
        ASSERT_NE(next, 0u);
        DDHAL32_VidMemFree(&drv.gbl, 0, next);
        const FLATPTR at = drv.gbl.fpPrimaryOrig + static_cast<FLATPTR>(offset);
        ASSERT_LE(next, at);
        if (at > next) {
            fillers.push_back(DDHAL32_VidMemAlloc(&drv.gbl, 0, static_cast<DWORD>(at - next), 1));
            ASSERT_EQ(fillers.back(), next);
        }
    }
    TestSurface *Yuy2(DWORD caps = 0) {
        const DDPIXELFORMAT yuy2 = {sizeof(DDPIXELFORMAT), DDPF_FOURCC, KIV_FOURCC('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0};
        TestSurface *s = Create(DDSCAPS_OVERLAY | caps, 160, 120, &yuy2);
        EXPECT_EQ(s->gbl.lPitch, kOverlayPitch);
        return s;
    }
    Ddraw9xResult Show(TestSurface *ov, TestSurface *on, LONG firstRow) {
        const RECTL rs = {0, firstRow, 160, 120}, rd = {0, 0, 320, 240};
        return kivDdraw9xUpdateOverlay(&drv, &ov->lcl, &rs, &on->lcl, &rd, DDOVER_SHOW, nullptr);
    }
    // Where sivd16's description of the screen says the displayed image starts, from video memory.
    DWORD DescribedStart() {
        std::vector<DWORD> request(2 + 271);
        request[1] = 0xEDD00001;
        EXPECT_EQ(kivSivd16ServiceRequest(request.data()), 1u);
        return request[2 + 3] - request[2 + 2];
    }
};

TEST_P(DisplayReach, TheDisplayShowsTheSurfaceOrTheCallIsRefusedAndNothingChanges) {
    const auto &[memory, c] = GetParam();
    const int64_t at = (c.fromEnd ? memory : kReach) + c.delta;
    chip->crtc[0x31] = 0xFF;   // bits a flip through the CRTC clears
    chip->crtc[0x51] = 0xFF;
    if (c.kind != kCrtcFlip)
        chip->crtc[0x67] = 0x0C;   // the streams processor drives the display
    const uint8_t crtcBefore[] = {chip->crtc[0x0C], chip->crtc[0x0D], chip->crtc[0x69], chip->crtc[0x31],
                                  chip->crtc[0x51]};
    const DWORD flips = Block()->flipCount();

    if (c.kind == kCrtcFlip || c.kind == kStreamsFlip) {
        FillUpTo(at);
        back = Create(DDSCAPS_OFFSCREENPLAIN, 640, 480);
        ASSERT_TRUE(back);
        ASSERT_EQ(Offset(back), at);
        const FLATPTR shown = front->gbl.fpVidMem, next = back->gbl.fpVidMem;
        const DWORD describedBefore = DescribedStart();
        kivSivClearWriteLog();
        const Ddraw9xResult r = kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, DDFLIP_WAIT);
        EXPECT_EQ(r.handled, 1u);
        if (c.shown) {
            ASSERT_EQ(r.result, DD_OK);
            EXPECT_EQ(front->gbl.fpVidMem, next);
            EXPECT_EQ(c.kind == kCrtcFlip ? CrtcStart() : Reg(0x81C0), at);
            EXPECT_EQ(DescribedStart(), at);
            // And back to the primary, which gives each record its own block again.
            ASSERT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, DDFLIP_WAIT).result, DD_OK);
            EXPECT_EQ(c.kind == kCrtcFlip ? CrtcStart() : Reg(0x81C0), 0u);
        } else {
            EXPECT_EQ(r.result, DDERR_NOTFLIPPABLE);
            EXPECT_EQ(front->gbl.fpVidMem, shown);
            EXPECT_EQ(back->gbl.fpVidMem, next);
            EXPECT_EQ(chip->writeCount, 0u);
            EXPECT_EQ(Block()->flipCount(), flips);
            EXPECT_EQ(DescribedStart(), describedBefore);
            const uint8_t crtcAfter[] = {chip->crtc[0x0C], chip->crtc[0x0D], chip->crtc[0x69], chip->crtc[0x31],
                                         chip->crtc[0x51]};
            EXPECT_EQ(0, std::memcmp(crtcBefore, crtcAfter, sizeof crtcAfter));
        }
        return;
    }

    // An overlay below the reach is shown first; the one placed at `at` takes it over (live
    // video may) or is flipped to.
    TestSurface *first = Yuy2();
    ASSERT_EQ(Show(first, front, 0).result, DD_OK);
    FillUpTo(at);
    TestSurface *ov = Yuy2(DDSCAPS_LIVEVIDEO);
    ASSERT_EQ(Offset(ov), at);
    kivSivClearWriteLog();
    const Ddraw9xResult r = c.kind == kOverlayShow ? Show(ov, front, c.firstRow)
                                                   : kivDdraw9xFlip(&drv, &first->lcl, &ov->lcl, DDFLIP_WAIT);
    EXPECT_EQ(r.handled, 1u);
    const DWORD from = static_cast<DWORD>(at + c.firstRow * kOverlayPitch);
    if (c.shown) {
        ASSERT_EQ(r.result, DD_OK);
        EXPECT_EQ(Reg(0x81D0), from);
        if (c.kind == kOverlayShow) {
            EXPECT_EQ(Reg(0x81D4), from);
            EXPECT_FALSE(first->lcl.ddsCaps.dwCaps & DDSCAPS_VISIBLE) << "the overlay changed hands";
        }
    } else {
        EXPECT_EQ(r.result, c.kind == kOverlayShow ? DDERR_OUTOFVIDEOMEMORY : DDERR_NOTFLIPPABLE);
        EXPECT_EQ(chip->writeCount, 0u);
        EXPECT_EQ(Reg(0x81D0), Offset(first));
        EXPECT_EQ(Reg(0x81D4), Offset(first));
        EXPECT_TRUE(first->lcl.ddsCaps.dwCaps & DDSCAPS_VISIBLE) << "the shown overlay keeps the overlay";
        EXPECT_EQ(Block()->flipCount(), flips);
    }
}

INSTANTIATE_TEST_SUITE_P(EightAndSixteenMegabytes, DisplayReach,
                         ::testing::Combine(::testing::Values(8 * kMB, 16 * kMB), ::testing::ValuesIn(kCases)));

}  // namespace
