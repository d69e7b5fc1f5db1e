// Flips through DirectDraw: the display start (CRTC or streams processor), pacing against the
// vertical retrace and the clock, flip status, vertical-blank waits, and blits held off the
// surface that is still being shown.
#include "tests/sivhal_blit/blit_fixture.h"

namespace {

class Flips : public BlitMachine {
protected:
    TestSurface *front = nullptr, *back = nullptr;
    void SetUp() override {
        Boot(640, 480, 16);
        front = Primary();
        back = Offscreen(640, 480);
    }
    HRESULT FlipStatus(DWORD flags) { return kivDdraw9xGetFlipStatus(&drv, &front->lcl, flags).result; }
    void LetAFramePass() { kivSivAdvanceClockUs((Block()->framePeriod() + 1) * 1000); }
};

TEST_F(Flips, CrtcFlipSetsTheStartAddressAndPacesTheNextOne) {
    chip->crtc[0x31] = 0xFF;
    chip->crtc[0x51] = 0xFF;
    EXPECT_EQ(Block()->flipDone(), 1u);
    const DWORD flips = Block()->flipCount();
    const FLATPTR shown = front->gbl.fpVidMem, next = back->gbl.fpVidMem;
    const DWORD start = static_cast<DWORD>(next - drv.gbl.fpPrimaryOrig) / 4;
    ASSERT_GT(start, 0xFFFFu);   // uses the extension register too

    Ddraw9xResult r = kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0);
    ASSERT_EQ(r.result, DD_OK);
    EXPECT_EQ(chip->crtc[0x0D], start & 0xFF);
    EXPECT_EQ(chip->crtc[0x0C], (start >> 8) & 0xFF);
    EXPECT_EQ(chip->crtc[0x69], (start >> 16) & 0x0F);
    EXPECT_EQ(chip->crtc[0x31], 0xCF);   // bits 4-5 cleared, the rest kept
    EXPECT_EQ(chip->crtc[0x51], 0xFC);
    EXPECT_EQ(Block()->flipCount(), flips + 1);
    EXPECT_EQ(front->gbl.fpVidMem, next);
    EXPECT_EQ(back->gbl.fpVidMem, shown);

    // At once, the next flip and a blit into what was just shown must wait.
    const uint8_t crtc0D = chip->crtc[0x0D];
    r = kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0);
    EXPECT_EQ(r.handled, 1u);
    EXPECT_EQ(r.result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(chip->crtc[0x0D], crtc0D);
    EXPECT_EQ(FlipStatus(DDGFS_ISFLIPDONE), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(FlipStatus(DDGFS_CANFLIP), DDERR_WASSTILLDRAWING);
    kivSiv2dClearStats();
    EXPECT_EQ(Fill(back, {0, 0, 8, 8}, 0x1234).result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(kivSiv2dStats()->commands, 0u);
    // Blits elsewhere go ahead.
    TestSurface *other = Offscreen(8, 8);
    EXPECT_EQ(Fill(other, {0, 0, 8, 8}, 0x1234).result, DD_OK);

    // With DDBLT_WAIT the blit waits the flip out and draws.
    DDBLTFX fx{};
    fx.dwFillColor = 0x4321;
    EXPECT_EQ(Blt(back, {0, 0, 8, 8}, nullptr, {}, DDBLT_COLORFILL | DDBLT_WAIT, fx).result, DD_OK);
    EXPECT_EQ(Pixel(back, 7, 7), 0x4321u);
    // Once the flip is through, "can I flip" and "is it done" both say yes.
    EXPECT_EQ(FlipStatus(DDGFS_CANFLIP), DD_OK);
    EXPECT_EQ(FlipStatus(DDGFS_ISFLIPDONE), DD_OK);

    // DDFLIP_WAIT keeps asking until the previous flip is through.
    ASSERT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0).result, DD_OK);
    EXPECT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, DDFLIP_WAIT).result, DD_OK);
    EXPECT_EQ(Block()->flipCount(), flips + 3);
    EXPECT_EQ(front->gbl.fpVidMem, next);
}

TEST_F(Flips, AFlipIsThroughOnceActiveDisplayAndThenARetraceWereSeen) {
    Block()->framePeriod() = 100000;   // the clock alone will not finish it
    DWORD inVb = 9;
    // Vertical-blank waits: the end of a retrace leaves the display active...
    ASSERT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_BLOCKEND, nullptr).result, DD_OK);
    EXPECT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_I_TESTVB, &inVb).result, DD_OK);
    EXPECT_EQ(inVb, 0u);
    ASSERT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0).result, DD_OK);
    EXPECT_EQ(FlipStatus(DDGFS_ISFLIPDONE), DDERR_WASSTILLDRAWING);   // active display seen
    // ...the start of one is inside it.
    ASSERT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_BLOCKBEGIN, nullptr).result, DD_OK);
    EXPECT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_I_TESTVB, &inVb).result, DD_OK);
    EXPECT_EQ(inVb, 1u);
    EXPECT_EQ(FlipStatus(DDGFS_ISFLIPDONE), DDERR_WASSTILLDRAWING);   // the retrace seen
    ASSERT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, DDWAITVB_BLOCKEND, nullptr).result, DD_OK);
    EXPECT_EQ(FlipStatus(DDGFS_ISFLIPDONE), DD_OK);
    EXPECT_EQ(Block()->flipDone(), 1u);
    // A wait the HAL does not know is DirectDraw's.
    EXPECT_EQ(kivDdraw9xWaitForVerticalBlank(&drv, 0x8, nullptr).handled, 0u);
}

TEST_F(Flips, WithTheStreamsProcessorTheStreamAddressMoves) {
    chip->crtc[0x67] = 0x0C;
    const uint8_t crtc0D = chip->crtc[0x0D];
    const DWORD offset = static_cast<DWORD>(back->gbl.fpVidMem - drv.gbl.fpPrimaryOrig);
    kivSivClearWriteLog();
    ASSERT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0).result, DD_OK);
    EXPECT_EQ(Reg(0x81C0), offset & 0x3FFFFF);
    EXPECT_EQ(static_cast<uint32_t>(Block()->word(0xE074)), offset & 0x3FFFFF);
    EXPECT_EQ(chip->crtc[0x0D], crtc0D);
    EXPECT_EQ(kivDdraw9xFlip(&drv, &front->lcl, &back->lcl, 0).result, DDERR_WASSTILLDRAWING);

    // Between two overlay surfaces the overlay address moves, and the primary stays.
    TestSurface *ovA = Offscreen(64, 64, DDSCAPS_OVERLAY), *ovB = Offscreen(64, 64, DDSCAPS_OVERLAY);
    LetAFramePass();
    kivSivClearWriteLog();
    ASSERT_EQ(kivDdraw9xFlip(&drv, &ovA->lcl, &ovB->lcl, 0).result, DD_OK);
    EXPECT_EQ(Reg(0x81D0), static_cast<DWORD>(ovA->gbl.fpVidMem - drv.gbl.fpPrimaryOrig));
    EXPECT_FALSE(Wrote(0x81C0));

    // Without it, an overlay flip has nothing to program.
    chip->crtc[0x67] = 0;
    LetAFramePass();
    kivSivClearWriteLog();
    EXPECT_EQ(kivDdraw9xFlip(&drv, &ovA->lcl, &ovB->lcl, 0).result, DD_OK);
    EXPECT_EQ(chip->writeCount, 0u);
}

}  // namespace
