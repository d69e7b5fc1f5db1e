#include "tests/display/fixture.h"

namespace {

uint32_t pusherReg(ZK_PDEV *p, uint32_t off) { return *reinterpret_cast<uint32_t *>(p->dmaRegs + off); }

// A client's command buffer: method headers (count << 18 | subchannel << 13 | method) and data.
struct CommandBuffer {
    alignas(16) uint32_t words[64] = {};
    uint32_t n = 0;
    void method(unsigned sub, uint32_t m, std::initializer_list<uint32_t> data) {
        words[n++] = static_cast<uint32_t>(data.size()) << 18 | sub << 13 | m;
        for (uint32_t d : data) words[n++] = d;
    }
};

}  // namespace

TEST_F(DisplayTest, DmaPushRunsTheClientsCommandsThroughTheFifo) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    CommandBuffer cb;
    cb.method(3, 0x304, {0x801F});                 // rectangle colour
    cb.method(3, 0x400, {0x0014000A, 0x00320064}); // point and size
    // The client makes its command buffer a memory object through its own path to zkgfx.
    ZK_RM_MEMORY_OBJECT_PARAMS mo{0x5000, ZK_RM_CLASS_BUFFER, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(cb.words)),
                                  sizeof cb.words - 1, 0, 0xFFFF};
    ASSERT_EQ(kivZkgfxDeviceIoControl(ZK_RM_CREATE_MEMORY_OBJECT, &mo, sizeof mo), STATUS_SUCCESS);
    ASSERT_EQ(mo.Status, 0);
    zk3EngineClearLog();
    const size_t controls = zk.count(ZK_RM_CONTROL);

    ASSERT_TRUE(p->pfnStartDmaPush(p, 0x5000, 0x11, 0x22, 0, cb.n * 4));
    EXPECT_EQ(zk.count(ZK_RM_CONTROL), controls + 1) << "a new DMA object is bound through zkgfx";
    auto ctl = zk.log.back().as<ZK_RM_CONTROL_PARAMS>();
    EXPECT_EQ(ctl.Target, 0xFFFFFFFFu);
    EXPECT_EQ(ctl.Function, 0u);
    const std::vector<uint32_t> &words = zk.log.back().controlIn;
    ASSERT_EQ(words.size(), 3u);
    EXPECT_EQ(words[0], 0x5000u);
    EXPECT_EQ(words[2], 0x5000u);

    ASSERT_EQ(zk3EnginePusherRuns().size(), 1u);
    const Zk3PusherRun &run = zk3EnginePusherRuns()[0];
    EXPECT_TRUE(run.ok);
    EXPECT_EQ(run.handle, 0x5000u);
    EXPECT_EQ(run.p1, 0x11u);
    EXPECT_EQ(run.p2, 0x22u);
    EXPECT_EQ(run.headers, 2u);
    EXPECT_EQ(run.dataWords, 3u);
    const Zk3EngineObject *rect = zk3EngineFind(0xA0003);
    EXPECT_EQ(rect->method(0x304), 0x801Fu);
    EXPECT_EQ(rect->method(0x404), 0x00320064u);
    EXPECT_EQ(pusherReg(p, 0x200), 0x7C0300u);
    EXPECT_EQ(pusherReg(p, 0x1228), 0u);
    EXPECT_EQ(pusherReg(p, 0x1224), cb.n * 4);
    EXPECT_EQ(pusherReg(p, 0x1220), 0u) << "the pusher is idle again after the buffer";

    // The same object again: no second bind.
    ASSERT_TRUE(p->pfnStartDmaPush(p, 0x5000, 0x11, 0x22, 8, cb.n * 4));
    EXPECT_EQ(zk.count(ZK_RM_CONTROL), controls + 1);
    EXPECT_EQ(zk3EnginePusherRuns().size(), 2u);
    // An empty range touches nothing.
    ASSERT_TRUE(p->pfnStartDmaPush(p, 0x6000, 0, 0, 8, 8));
    EXPECT_EQ(zk3EnginePusherRuns().size(), 2u);
    EXPECT_EQ(pusherReg(p, 0x1204), 0x5000u);
    ZK_RM_OBJECT_HANDLE_PARAMS fo{0x5000, 0xFFFF, 0};
    kivZkgfxDeviceIoControl(ZK_RM_FREE_OBJECT, &fo, sizeof fo);
    EXPECT_EQ(fo.Status, 0);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

TEST_F(DisplayTest, ARefusedBindLeavesThePusherEnabledAndIdle) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    zk.state().refuseControl = true;
    EXPECT_FALSE(p->pfnStartDmaPush(p, 0x7000, 1, 2, 0, 64));
    EXPECT_EQ(pusherReg(p, 0x1240), 1u);
    EXPECT_EQ(pusherReg(p, 0x1200), 1u);
    EXPECT_EQ(pusherReg(p, 0x500), 1u);
    EXPECT_EQ(pusherReg(p, 0x1220), 0u);
    EXPECT_NE(pusherReg(p, 0x1204), 0x7000u);
    EXPECT_TRUE(zk3EnginePusherRuns().empty());
    // The semaphore was given back: another thread of the engine can take it.
    EngAcquireSemaphore(p->engineSemaphore);
    EngReleaseSemaphore(p->engineSemaphore);
}

TEST_F(DisplayTest, APushIsRefusedWhileTheModeIsAway) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    ASSERT_TRUE(kivEngineAssertMode(false));
    EXPECT_FALSE(p->pfnStartDmaPush(p, 0x5000, 0, 0, 0, 16));
    EXPECT_FALSE(bStartDmaPush(nullptr, 0x5000, 0, 0, 0, 16));
    ASSERT_TRUE(kivEngineAssertMode(true));
}

TEST_F(DisplayTest, SynchronisationWaitsForTheNotifierAndHoldsTheSemaphoreOnlyForOpenGl) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    zk3EngineClearLog();
    p->pfnSyncEngine(p);
    const auto &log = zk3EngineLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2].subchannel, 2);
    EXPECT_EQ(log[log.size() - 2].method, 0x104);
    EXPECT_EQ(log.back().method, 0x3FC);
    EXPECT_EQ(log.back().object, 0xA0008u);
    EXPECT_EQ(p->lockNotifier.status, 0) << "the engine answered the notify request";

    // The engine polls the free count until room is there.
    const uint64_t reads = zk3EngineFreeCountReads();
    zk3EngineHoldFreeCount(5, 100);
    p->bOpenGlActive = 1;
    kivEngineSynchronize();
    EXPECT_GE(zk3EngineFreeCountReads(), reads + 6) << "the count is read again on every loop";
    EXPECT_EQ(p->usFifoFree, 0) << "the drawing code re-reads the count after a sync";
    p->bOpenGlActive = 0;
    EXPECT_TRUE(kivEngErrors().empty());
}

TEST_F(DisplayTest, HardwareMethodsProgramTheEngineAndTheCrtc) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    ZK_DDRAW_OBJECT dd{p, 0x1234};
    zk3EngineClearLog();
    p->hw.pfnFillRect(&dd, 10, 20, 100, 50);
    const Zk3EngineObject *rect = zk3EngineFind(0xA0003);
    EXPECT_EQ(rect->method(0x304), 0x1234u | 0x8000u);
    EXPECT_EQ(rect->method(0x400), 20u << 16 | 10u);
    EXPECT_EQ(rect->method(0x404), 50u << 16 | 100u);
    EXPECT_EQ(zk3EngineFind(0xA0004)->method(0x300), 0xCCu);
    p->hw.pfnCopyRect(&dd, 1, 2, 3, 4, 5, 6);
    EXPECT_EQ(zk3EngineFind(0xA0001)->method(0x308), 6u << 16 | 5u);
    p->hw.pfnSetColorKey(p, 0x7C00);
    EXPECT_EQ(zk3EngineBound(7), 0xA0007u) << "the colour key goes to the key object, not the scaler";
    EXPECT_EQ(zk3EngineFind(0xA0007)->method(0x304), 0x7C00u);
    EXPECT_TRUE(p->hw.pfnIsFifoEmpty(p));
    EXPECT_FALSE(p->hw.pfnIsEngineBusy(p));

    // Display start: bits 2-9, 10-17 and 18-22 of the offset; CRTC 0x19 keeps its top bits.
    chip()->pokeCrtc(0x19, 0xE0);
    p->hw.pfnSetDisplayStart(p, 0x7ABCDC);
    EXPECT_EQ(chip()->crtc(0x0D), (0x7ABCDC >> 2) & 0xFF);
    EXPECT_EQ(chip()->crtc(0x0C), (0x7ABCDC >> 10) & 0xFF);
    EXPECT_EQ(chip()->crtc(0x19), 0xE0 | ((0x7ABCDC >> 18) & 0x1F));

    chip()->pokeCrtc(0x34, 0x2C);
    chip()->pokeCrtc(0x35, 0xF9);
    EXPECT_EQ(p->hw.pfnGetScanLine(p), 0x12C);
    chip()->pokeCrtc(0x34, 0);
    chip()->pokeCrtc(0x35, 0);
    EXPECT_EQ(p->hw.pfnGetScanLine(p), 0);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}
