// The command buffer and its kick-off: the words and push records the chip and the display
// driver receive, the half switch, the reservation rule, refusals, the wait for a busy chip, a
// display-mode change and the recovery after it, glFlush and glFinish.
#include "tests/icd_hw/hw_fixture.h"

namespace {

const std::vector<Write> kNotify = {{2, 0, 0x1010}, {2, 0x104, 0}, {2, 0x304, 0}, {2, 0x400, 0}, {2, 0x404, 0}};

class Kickoff : public HwTest {
protected:
    DHGLRC id = 0;
    GlContext *ctx = nullptr;
    HwState *hw = nullptr;
    void SetUp() override {
        HwTest::SetUp();
        ctx = createContext(&id);
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(ctx->hw.deviceOpen, 1u);
        makeCurrent(id);
        hw = &ctx->hw;
        zk3EngineClearLog();
    }
    // A screen blit (six words) left in the buffer.
    void blit() { __glHwScreenBlit(30, 20, 1, 2, 300, 400, TRUE); }
    std::vector<Write> blitWords() const {
        return {{7, 0, 0x1011}, {7, 0x300, 2u << 16 | 1}, {7, 0x304, 400u << 16 | 300}, {7, 0x308, 20u << 16 | 30}};
    }
};

TEST_F(Kickoff, FlushSendsTheHalfWithANotificationAndSwitchesHalves) {
    const size_t pushes = display.pushes.size();
    const int empties = display.emptyRecords;
    icd::glFlush();
    EXPECT_EQ(display.pushes.size(), pushes) << "nothing written, nothing sent";
    EXPECT_EQ(display.emptyRecords, empties);

    const uint32_t second = hw->cmdBufSizeWords * 4 + 5120;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        zk3EngineClearLog();
        const uint32_t offset = hw->gpuOffset;
        const uint32_t submissions = hw->submissionCount;
        blit();
        EXPECT_EQ(hw->writeIndex, 6u);
        icd::glFlush();
        ASSERT_EQ(display.pushes.size(), pushes + 1 + round);
        const ZK_DMA_PUSH_PARAMS &r = display.pushes.back();
        EXPECT_EQ(r.dmaObject, hw->channelWords[0]);
        EXPECT_EQ(r.param1, hw->channelWords[1]);
        EXPECT_EQ(r.param2, hw->channelWords[2]);
        EXPECT_EQ(r.startOffset, offset);
        EXPECT_EQ(r.endOffset, offset + 4 * (6 + 9));
        EXPECT_EQ(r.modeCounter, display.counter);
        std::vector<Write> expect = blitWords();
        expect.insert(expect.end(), kNotify.begin(), kNotify.end());
        EXPECT_EQ(decoded(pushedWrites()), expect);
        EXPECT_EQ(status(ctx), 0);
        EXPECT_EQ(hw->writeIndex, 0u);
        EXPECT_EQ(hw->submissionCount, submissions + 1);
        EXPECT_EQ(hw->gpuOffset, offset == 0 ? second : 0u);
        EXPECT_EQ(hw->loadedBlock, 3);
    }
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

// A half holds exactly cmdBufSizeWords words; the reservation that does not fit flushes first.
TEST_F(Kickoff, AFullHalfFlushesOnlyAtTheNextReservation) {
    std::memset(hw->cpuBase, 0, hw->cmdBufSizeWords * 4);   // empty headers: the chip skips them
    hw->writeIndex = hw->cmdBufSizeWords - 1;
    const size_t pushes = display.pushes.size();
    uint32_t *w = __glHwReserve(hw, 1);
    EXPECT_EQ(w, hw->cpuBase + hw->cmdBufSizeWords - 1);
    hw->writeIndex += 1;
    EXPECT_EQ(display.pushes.size(), pushes);
    const uint32_t offset = hw->gpuOffset;
    w = __glHwReserve(hw, 1);
    ASSERT_EQ(display.pushes.size(), pushes + 1);
    EXPECT_EQ(display.pushes.back().endOffset - display.pushes.back().startOffset, 4 * (hw->cmdBufSizeWords + 9));
    EXPECT_EQ(display.pushes.back().startOffset, offset);
    EXPECT_EQ(hw->writeIndex, 0u);
    EXPECT_EQ(w, hw->cpuBase);
}

TEST_F(Kickoff, ARefusedPushIsTriedAgainAndThenLosesTheDevice) {
    const size_t pushes = display.pushes.size();
    display.refuseNext = 1;
    blit();
    icd::glFlush();
    EXPECT_EQ(display.pushes.size(), pushes + 2);
    EXPECT_EQ(hw->hardwareLost, 0) << "the second try went through";
    EXPECT_EQ(decoded(pushedWrites()).size(), blitWords().size() + kNotify.size());

    display.refuseNext = 2;
    blit();
    icd::glFlush();
    EXPECT_EQ(display.pushes.size(), pushes + 4);
    EXPECT_EQ(hw->hardwareLost, 1) << "not dropped silently";
    EXPECT_EQ(status(ctx), 0) << "nobody waits for a notification that will not come";
    icd::glFlush();
    EXPECT_EQ(display.pushes.size(), pushes + 4);
}

// The wait does not give up on a busy chip: it asks the display driver (empty records) and keeps
// waiting until the chip has written the notifier.
TEST_F(Kickoff, TheWaitLastsUntilTheChipHasFinished) {
    display.deferred = true;
    display.runAfterEmpty = display.emptyRecords + 3;
    const int empties = display.emptyRecords;
    blit();
    icd::glFlush();
    EXPECT_EQ(display.emptyRecords, empties + 3);
    EXPECT_TRUE(display.kept.empty());
    EXPECT_EQ(status(ctx), 0);
    EXPECT_EQ(hw->hardwareLost, 0);
    EXPECT_EQ(decoded(pushedWrites()).size(), blitWords().size() + kNotify.size());
    // The empty records name the channel and the ICD's counter, with start = end = 0.
    EXPECT_EQ(display.pushes.size(), 3u);
}

TEST_F(Kickoff, AFailedMutexWaitLosesTheDeviceInsteadOfSpinning) {
    void *mutex = hw->sharedMutex;
    hw->sharedMutex = reinterpret_cast<void *>(0x7654);
    const size_t pushes = display.pushes.size();
    blit();
    __glHwKickoff(hw, 0);
    hw->sharedMutex = mutex;
    EXPECT_EQ(display.pushes.size(), pushes);
    EXPECT_EQ(hw->hardwareLost, 1);
    EXPECT_EQ(hw->writeIndex, 0u);
}

// After a display-mode change the push is not started, its commands and the next ones are
// dropped, and the next flush starts the device again for the new mode.
TEST_F(Kickoff, AModeChangeDropsCommandsUntilTheDeviceIsStartedAgain) {
    display.counter += 1;
    zk3EngineReset();   // the chip's objects went with the old mode
    const size_t runs = zk3EnginePusherRuns().size();
    blit();
    __glHwKickoff(hw, 0);
    EXPECT_EQ(zk3EnginePusherRuns().size(), runs) << "the display driver did not start it";
    EXPECT_EQ(hw->driverModeCounter, display.counter);
    EXPECT_NE(hw->modeCounter, display.counter);
    EXPECT_EQ(hw->hardwareLost, 0);
    EXPECT_EQ(status(ctx), 0);

    const size_t pushes = display.pushes.size();
    const uint8_t half = hw->halfIndex;
    blit();
    __glHwKickoff(hw, 0);
    EXPECT_EQ(display.pushes.size(), pushes) << "dropped";
    EXPECT_NE(hw->halfIndex, half);
    EXPECT_EQ(hw->writeIndex, 0u);

    ctx->beginMode = kGlOutsideBegin;
    icd::glFlush();
    EXPECT_EQ(hw->modeCounter, display.counter);
    EXPECT_EQ(hw->deviceOpen, 1u);
    EXPECT_EQ(hw->hardwareLost, 0);
    EXPECT_EQ(kivZkgfxState().objects.size(), 7u) << "the old objects were freed";
    EXPECT_EQ(kivZkgfxState().dmaChannels.size(), 1u);
    EXPECT_EQ(zk3EngineLiveInstances(), 26u);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_EQ(ctx->dirtyMask & 0x7FF, 0x7FFu);

    zk3EngineClearLog();
    blit();
    icd::glFlush();
    std::vector<Write> expect = blitWords();
    expect.insert(expect.end(), kNotify.begin(), kNotify.end());
    EXPECT_EQ(decoded(pushedWrites()), expect);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

TEST_F(Kickoff, FinishAndFlushInsideBeginAreErrorsAndSendNothing) {
    const size_t pushes = display.pushes.size();
    blit();
    hw->drawingPending = 1;
    ctx->beginMode = kGlInsideBegin;
    icd::glFinish();
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->error = 0;
    icd::glFlush();
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(display.pushes.size(), pushes);
    EXPECT_EQ(hw->writeIndex, 6u);

    // Finish sends only when hardware drawing is pending.
    hw->drawingPending = 0;
    icd::glFinish();
    EXPECT_EQ(display.pushes.size(), pushes);
    hw->drawingPending = 1;
    icd::glFinish();
    EXPECT_EQ(display.pushes.size(), pushes + 1);
}

// glFinish called by opengl32's wglSwapBuffers (return address within 100 bytes of its entry)
// performs the swap instead of finishing.
TEST_F(Kickoff, FinishFromInsideTheSwapEntrySwaps) {
    static int finishes;
    finishes = 0;
    ctx->slots.finish = [](GlContext *) { ++finishes; };
    uint8_t *entry = reinterpret_cast<uint8_t *>(0x10000);
    ctx->tail.wglSwapBuffersAddress = entry;
    const struct { int offset; int finishes; } cases[] = {{100, 0}, {-100, 0}, {0, 0}, {101, 1}, {-101, 1}};
    for (const auto &c : cases) {
        finishes = 0;
        __glHwFinishFrom(ctx, entry + c.offset);
        EXPECT_EQ(finishes, c.finishes) << c.offset;
    }
}

TEST_F(HwTest, TwoContextsHaveTheirOwnClientIdsAndHandles) {
    GlContext *a = createContext();
    GlContext *b = createContext();
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->hw.deviceOpen, 1u);
    ASSERT_EQ(b->hw.deviceOpen, 1u);
    EXPECT_NE(a->hw.clientId & 0xFFFF, b->hw.clientId & 0xFFFF);
    EXPECT_EQ(kivZkgfxState().objects.size(), 14u);
    EXPECT_EQ(kivZkgfxState().dmaChannels.size(), 2u);
    EXPECT_EQ(a->hw.sharedHeader->attachCount, b->hw.sharedHeader->attachCount) << "one mapping";
}

}  // namespace

namespace {

// Without the chip the blit copies the back buffer to the screen on the CPU.
TEST_F(Kickoff, ALostDeviceBlitsOnTheCpu) {
    static uint16_t screen[30][40];
    static uint16_t back[8][16];
    std::memset(screen, 0, sizeof screen);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) back[y][x] = uint16_t(0x100 * y + x + 1);
    GlBuffer &b = ctx->buffers.color.back.head, &f = ctx->buffers.color.front.head;
    const GlBuffer keepBack = b, keepFront = f;
    const GlHostProcs keepHost = ctx->hostProcs;
    b.base = reinterpret_cast<uint8_t *>(back);
    b.pitchBytes = sizeof back[0];
    b.elementSize = 2;
    f.pitchBytes = sizeof screen[0];
    f.elementSize = 2;
    ctx->hostProcs.getPrimary = [](GlContext *) -> void * { return screen; };
    hw->hardwareLost = 1;
    const size_t pushes = display.pushes.size();
    EXPECT_TRUE(__glHwScreenBlit(3, 2, 1, 1, 5, 4, FALSE));
    b = keepBack;
    f = keepFront;
    ctx->hostProcs = keepHost;
    EXPECT_EQ(display.pushes.size(), pushes);
    EXPECT_EQ(hw->writeIndex, 0u);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = y >= 4 && y < 6 && x >= 5 && x < 8;
            ASSERT_EQ(screen[y][x], inside ? back[y - 3][x - 4] : 0) << x << "," << y;
        }
}

// The shared mapping keeps its creator's heap size; a context that joins it takes the size from
// the header whatever its own settings say, and the header holds an offset, not an address.
TEST_F(HwTest, AJoiningContextTakesTheHeapSizeFromTheSharedHeader) {
    GlContext *a = createContext();
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->hw.deviceOpen, 1u);
    HwSharedHeader *header = a->hw.sharedHeader;
    EXPECT_EQ(header->heapData, 64u);
    const uint32_t keep = header->heapSize;
    header->heapSize = 0x123000;
    HKEY key;
    DWORD disposition;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QUOR\\TAVRIK\\OpenGL", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition), ERROR_SUCCESS);
    const uint32_t mine = 0x300000;
    RegSetValueExA(key, "MaxPCITexHeapSize", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&mine), 4);
    RegCloseKey(key);
    GlContext *b = createContext();
    header->heapSize = keep;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->hw.maxPciTexHeapSize, 0x123000u);
    // Two views of the same bytes.
    EXPECT_EQ(b->hw.sharedHeader->attachCount, a->hw.sharedHeader->attachCount);
    EXPECT_EQ(b->hw.sharedHeader->heapData, 64u);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\QUOR\\TAVRIK\\OpenGL");
}

}  // namespace
