// Two contexts of one program, each with its own DMA channel and the same object handles inside
// it: closing either one leaves the other's objects alone, so the notification every kick-off
// asks for keeps coming and no wait runs into the hung-chip time-out.
#include "tests/icd_hw/hw_fixture.h"

namespace {

class TwoContexts : public HwTest {
protected:
    struct Opened {
        DHGLRC id = 0;
        GlContext *ctx = nullptr;
        HDC hdc = nullptr;
    };
    Opened open() {
        Opened o;
        o.ctx = createContext(&o.id);
        o.hdc = windows.back()->hdc;
        return o;
    }
    // A swap's screen blit, sent with a notification request; or left in the buffer for the
    // context's shutdown to send.
    void blit(const Opened &o, bool send) {
        ASSERT_NE(DrvSetContext(o.hdc, o.id, nullptr), nullptr);
        __glHwScreenBlit(16, 8, 0, 0, 40, 30, !send);
        DrvReleaseContext(o.id);
    }
};

TEST_F(TwoContexts, ClosingEitherLeavesTheOtherAndTheNextContextTheChip) {
    // Which of the two goes first.
    for (int firstGone : {0, 1}) {
        SCOPED_TRACE(firstGone == 0 ? "the older one closes first" : "the newer one closes first");
        Opened pair[2] = {open(), open()};
        for (const Opened &o : pair) {
            ASSERT_NE(o.ctx, nullptr);
            ASSERT_EQ(o.ctx->hw.deviceOpen, 1u);
        }
        EXPECT_EQ(zk3EngineLiveInstances(), 2 * 26u) << "each channel holds its own 26 objects";
        // A wait that finds the notification still pending after its spin asks the display
        // driver with an empty record; the chip model answers at once, so none may come.
        const int empties = display.emptyRecords;
        for (const Opened &o : pair) blit(o, true);

        const Opened &gone = pair[firstGone], &kept = pair[1 - firstGone];
        deleteContext(gone.id);
        EXPECT_EQ(zk3EngineLiveInstances(), 26u);
        blit(kept, true);
        EXPECT_EQ(kept.ctx->hw.hardwareLost, 0u) << "the remaining context keeps the chip";
        EXPECT_EQ(status(kept.ctx), 0) << "its notification came";
        blit(kept, false);   // the last context's shutdown sends it and waits for it
        deleteContext(kept.id);
        EXPECT_EQ(zk3EngineLiveInstances(), 0u);

        const Opened next = open();
        ASSERT_NE(next.ctx, nullptr);
        EXPECT_EQ(next.ctx->hw.deviceOpen, 1u);
        blit(next, true);
        EXPECT_EQ(next.ctx->hw.hardwareLost, 0u);
        EXPECT_EQ(status(next.ctx), 0);
        deleteContext(next.id);
        EXPECT_EQ(display.emptyRecords, empties) << "a wait went past its spin";
        EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
    }
}

}  // namespace
