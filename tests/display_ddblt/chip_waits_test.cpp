// Flips, blits and locks through DirectDraw's surface callbacks while the chip model works, and
// while it stops answering (its notifiers never written, its FIFO never freeing, its engine busy
// for ever): every call returns, a call the chip did not finish says so, and the first call after
// the chip answers again works.
#include "tests/display_ddblt/ddblt_fixture.h"

#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/common/bounded_call.h"

namespace {

constexpr uint16_t kRed = 0x7C00, kBlue = 0x001F;

class ChipWaits : public DdFixture {
protected:
    Surface back{1024, 768, ZK_DDSCAPS_VIDEOMEMORY | ZK_DDSCAPS_OFFSCREENPLAIN};
    void SetUp() override {
        DdFixture::SetUp();
        if (HasFatalFailure()) return;
        make(back);
        // A fault switch keeps a status still for as long as the test wants; the driver's own
        // bound ends those waits.
        zk3EngineSetSpinGuard(0);
    }
    void TearDown() override {
        release();
        zk3EngineSetSpinGuard(20000000);
        DdFixture::TearDown();
    }
    static void release() {
        zk3EngineHoldNotifiers(false);
        zk3EngineHoldFreeCount(0, 0);
        if (zk3EngineChip() != nullptr) zk3EngineChip()->setEngineBusy(false);
    }
    HRESULT_DD flip(Surface &from, Surface &to, DWORD flags) {
        ZK_DD_FLIPDATA f{&dd, &from.lcl, &to.lcl, flags, -1, nullptr};
        const DWORD r = boundedCall("Flip", [&] { return scb.Flip(&f); });
        EXPECT_EQ(r, ZK_DDHAL_HANDLED);
        return f.ddRVal;
    }
    HRESULT_DD fill(Surface &s, uint32_t colour, DWORD flags) {
        ZK_DD_BLTDATA b = blt(s, rect(16, 8, 40, 20), nullptr, {}, ZK_DDBLT_COLORFILL | flags);
        b.bltFX.dwFillColor = colour;
        const DWORD r = boundedCall("Blt", [&] { return scb.Blt(&b); });
        EXPECT_EQ(r, ZK_DDHAL_HANDLED);
        return b.ddRVal;
    }
    void expectFilled(Surface &s, uint32_t colour) {
        check(s, rect(16, 8, 40, 20), [&](LONG, LONG) { return colour; });
    }
};
INSTANTIATE_TEST_SUITE_P(Depth16, ChipWaits, ::testing::Values(16u));

// The chip shows a flip of the screen: a waiting flip returns, so do a flip without wait and a
// waiting blit of the surface flipped away from.
TEST_P(ChipWaits, FlipsOfTheScreenFinish) {
    EXPECT_EQ(flip(primary, back, ZK_DDFLIP_WAIT), ZK_DD_OK);
    EXPECT_EQ(flip(back, primary, 0), ZK_DD_OK);
    EXPECT_EQ(fill(back, kRed, ZK_DDBLT_WAIT), ZK_DD_OK);
    expectFilled(back, kRed);
    EXPECT_EQ(fill(primary, kBlue, ZK_DDBLT_WAIT), ZK_DD_OK);
    expectFilled(primary, kBlue);
}

// Each way the chip can stop answering, against the calls that wait on it.
TEST_P(ChipWaits, AChipThatStopsAnsweringFailsTheCallAndTheNextCallWorks) {
    struct Fault {
        const char *what;
        void (*hold)();
        HRESULT_DD fill;   // a fill of the screen meanwhile: the flip away from it is still pending,
                           // the FIFO takes no fill, a busy engine still queues one
    };
    const Fault faults[] = {
        {"notifiers never written", [] { zk3EngineHoldNotifiers(true); }, ZK_DDERR_WASSTILLDRAWING},
        {"FIFO never frees", [] { zk3EngineHoldFreeCount(~0u, 0); }, ZK_DDERR_WASSTILLDRAWING},
        {"engine busy for ever", [] { zk3EngineChip()->setEngineBusy(true); }, ZK_DD_OK},
    };
    for (const Fault &f : faults) {
        SCOPED_TRACE(f.what);
        f.hold();
        // A waiting flip does not report a flip the chip has not shown.
        EXPECT_EQ(flip(primary, back, ZK_DDFLIP_WAIT), ZK_DDERR_WASSTILLDRAWING);
        EXPECT_EQ(fill(primary, kRed, ZK_DDBLT_WAIT), f.fill);
        release();
        // The flip shown (or never sent) once the chip answers; the next calls work.
        EXPECT_EQ(flip(back, primary, ZK_DDFLIP_WAIT), ZK_DD_OK);
        EXPECT_EQ(fill(back, kBlue, ZK_DDBLT_WAIT), ZK_DD_OK);
        expectFilled(back, kBlue);
    }
}

}  // namespace
