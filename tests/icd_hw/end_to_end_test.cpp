// The whole machine: the OpenGL driver's start-up and kick-offs go through the real display
// driver (escapes 0x6988 and 0x7001), the miniport and zkgfx to the chip model's DMA pusher.
#include "tests/icd_hw/hw_fixture.h"

namespace {

class EndToEnd : public IcdTest {
protected:
    std::vector<DHGLRC> contexts;
    std::unique_ptr<TestWindow> window;
    KivScreenMode mode{};

    void SetUp() override {
        IcdTest::SetUp();
        ASSERT_EQ(kivMachineBoot(), 1);
        const KivMachineConfig *c = kivMachineConfig();
        if (c->os != KIV_OS_NT || c->card != KIV_CARD_ZK3)
            GTEST_SKIP() << "KIV_MACHINE chooses a machine the display driver does not serve";
        ASSERT_NE(kivMachineDisplay(), kivDisplayDriverDouble()) << "NT with the ZK3 booted the display-driver double";
        mode = *kivScreenMode();
        zk3EngineSetSpinGuard(0);
        window = std::make_unique<TestWindow>(kDoubleFormat);
    }
    void TearDown() override {
        IcdTest::TearDown();
        for (DHGLRC id : contexts) DrvDeleteContext(id);
        window.reset();
        if (mode.width != 0) kivSetScreenMode(&mode);
    }
    GlContext *create(DHGLRC *idOut) {
        DHGLRC id = DrvCreateContext(window->hdc);
        if (id == 0) return nullptr;
        contexts.push_back(id);
        *idOut = id;
        return contextOf(id);
    }
    static std::vector<Zk3FifoWrite> blitWrites() {
        std::vector<Zk3FifoWrite> v;
        for (const Zk3FifoWrite &w : zk3EngineLog())
            if (w.fromPusher && w.subchannel == 7) v.push_back(w);
        return v;
    }
};

TEST_F(EndToEnd, CommandsReachTheChipThroughTheDisplayDriversDmaEscape) {
    const size_t runs = zk3EnginePusherRuns().size();
    DHGLRC id;
    GlContext *ctx = create(&id);
    ASSERT_NE(ctx, nullptr);
    HwState &hw = ctx->hw;
    ASSERT_EQ(hw.deviceOpen, 1u) << "start-up through the real display driver";
    EXPECT_EQ(ctx->tail.hwPresent, 1);
    EXPECT_EQ(zk3EnginePusherRuns().size(), runs + 2) << "creation and configuration";
    for (uint32_t h = 0x1008; h <= 0x1021; ++h) EXPECT_NE(zk3EngineFind(h), nullptr) << std::hex << h;
    EXPECT_EQ(hw.notifier[15], 0) << "the chip answered the notification";

    ASSERT_NE(DrvSetContext(window->hdc, id, nullptr), nullptr);
    zk3EngineClearLog();
    __glHwScreenBlit(64, 32, 5, 6, 70, 80, TRUE);
    icd::glFlush();
    std::vector<Zk3FifoWrite> w = blitWrites();
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].method, 0);
    EXPECT_EQ(w[0].value, 0x1011u);
    EXPECT_EQ(w[1].value, 6u << 16 | 5);
    EXPECT_EQ(w[2].value, 80u << 16 | 70);
    EXPECT_EQ(w[3].value, 32u << 16 | 64);
    EXPECT_EQ(zk3EnginePusherRuns().back().handle, hw.channelWords[0]);
    EXPECT_TRUE(zk3EnginePusherRuns().back().ok);
    EXPECT_EQ(hw.notifier[15], 0);

    // glFinish sends what hardware drawing left behind and waits for it.
    zk3EngineClearLog();
    __glHwScreenBlit(8, 8, 0, 0, 10, 10, TRUE);
    hw.drawingPending = 1;
    icd::glFinish();
    EXPECT_EQ(blitWrites().size(), 4u);
    EXPECT_EQ(hw.writeIndex, 0u);
}

TEST_F(EndToEnd, ADisplayModeChangeIsSurvived) {
    DHGLRC id;
    GlContext *ctx = create(&id);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(ctx->hw.deviceOpen, 1u);
    ASSERT_NE(DrvSetContext(window->hdc, id, nullptr), nullptr);
    const uint32_t before = ctx->hw.modeCounter;
    KivScreenMode other{800, 600, 16};
    kivSetScreenMode(&other);
    ASSERT_EQ(kivScreenMode()->width, 800) << "the display driver took the mode";

    // The first push after the change is not started; it tells the driver's counter.
    __glHwScreenBlit(8, 8, 0, 0, 10, 10, TRUE);
    __glHwKickoff(&ctx->hw, 0);
    EXPECT_NE(ctx->hw.driverModeCounter, before);
    EXPECT_EQ(ctx->hw.hardwareLost, 0);

    // The next flush starts the device again for the new mode, and commands flow again.
    icd::glFlush();
    EXPECT_EQ(ctx->hw.modeCounter, ctx->hw.driverModeCounter);
    EXPECT_EQ(ctx->hw.deviceOpen, 1u);
    EXPECT_EQ(ctx->hw.hardwareLost, 0);
    zk3EngineClearLog();
    __glHwScreenBlit(8, 8, 0, 0, 10, 10, TRUE);
    icd::glFlush();
    EXPECT_EQ(blitWrites().size(), 4u);
}

}  // namespace
