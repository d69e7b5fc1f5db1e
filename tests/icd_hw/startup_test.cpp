// Device start-up and tear-down seen from outside: zkgfx requests and objects, the words the
// chip received, the display driver's escapes, the shared mapping.
#include "tests/icd_hw/hw_fixture.h"

namespace {

// The channel's 26 objects in the order of creation (and of destruction).
const std::pair<uint32_t, uint32_t> kObjects[26] = {
    {0x0E, 0x1018}, {0x0E, 0x1019}, {0x0E, 0x1015}, {0x0E, 0x1016}, {0x0E, 0x1017}, {0x0E, 0x101A},
    {0x0E, 0x101B}, {0x0E, 0x101C}, {0x0E, 0x101D}, {0x0E, 0x101E}, {0x46, 0x101F}, {0x46, 0x1020},
    {0x46, 0x1021}, {0x3E, 0x1008}, {0x3E, 0x1009}, {0x3E, 0x100A}, {0x45, 0x100B}, {0x48, 0x100D},
    {0x48, 0x100C}, {0x1F, 0x1011}, {0x1E, 0x100E}, {0x1E, 0x100F}, {0x1E, 0x1010}, {0x19, 0x1012},
    {0x10, 0x1013}, {0x10, 0x1014}};

// The configuration stream with the shared heap's rows; F marks a value under the client id.
constexpr uint32_t F = 0x80000000u;
const Write kConfig[] = {
    {4, 0, 0x1008}, {4, 0x304, F | 0x1003}, {4, 0x200, 0x101A}, {4, 0x204, 0x101E}, {4, 0x208, 0x101D},
    {4, 0x20C, 0x1015}, {4, 0x210, 0x1017}, {4, 0x300, 0x1000000},
    {0, 0, 0x1009}, {0, 0x304, F | 0x1003}, {0, 0x204, 0x101B}, {0, 0x300, 0x1000000},
    {0, 0, 0x100A}, {0, 0x304, F | 0x1003}, {0, 0x204, 0x1016}, {0, 0x300, 0x1010001},
    {0, 0, 0x1012}, {0, 0x200, 0x101C},
    {5, 0, 0x100B}, {5, 0x200, 0x101F}, {5, 0x204, 0x1020}, {5, 0x208, 0x1021}, {5, 0x304, F | 0x1003},
    {5, 0x300, 0}, {5, 0x308, 16}, {5, 0x30C, 0},
    {1, 0, 0x100C}, {1, 0x100, F | 0x1001}, {1, 0x200, 0x1019}, {1, 0x204, 0x1021}, {1, 0x208, 0x101F},
    {1, 0x300, F | 0x1006},
    {1, 0, 0x100D}, {1, 0x100, F | 0x1001}, {1, 0x200, 0x1018}, {1, 0x204, 0x1020}, {1, 0x208, 0x101F},
    {1, 0x300, F | 0x1005},
    {0, 0, 0x1013}, {0, 0x204, 0x101C}, {0, 0x208, 0x1019}, {0, 0x200, 0x101D},
    {0, 0, 0x1014}, {0, 0x204, 0x101C}, {0, 0x208, 0x1018}, {0, 0x200, 0x101E},
    {7, 0, 0x1011}, {7, 0x100, F | 0x1001}, {7, 0x204, 0x101A}, {7, 0x200, 0x101B},
    {2, 0, 0x1010}, {2, 0x100, F | 0x1002}, {2, 0x200, 0x1017}, {2, 0x300, 1}, {2, 0x304, 0},
    {2, 0, 0x100E}, {2, 0x100, F | 0x1001}, {2, 0x200, 0x1015}, {2, 0x300, 1}, {2, 0x304, 0},
    {3, 0, 0x100F}, {3, 0x100, F | 0x1001}, {3, 0x200, 0x1016}, {3, 0x300, 0x1010001}, {3, 0x304, 0},
    {2, 0, 0x1010}, {2, 0x304, 0}, {2, 0x400, 0}, {2, 0x404, 0},
};
// What every notified push ends with.
const Write kNotify[] = {{2, 0, 0x1010}, {2, 0x104, 0}, {2, 0x304, 0}, {2, 0x400, 0}, {2, 0x404, 0}};

TEST_F(HwTest, StartUpCreatesObjectsChannelAndConfigurationThenTearDownUndoesAll) {
    const int liveBefore = kivZkgfxState().liveObjects();
    zk3EngineClearLog();
    DHGLRC id = 0;
    GlContext *ctx = createContext(&id);
    ASSERT_NE(ctx, nullptr);
    HwState &hw = ctx->hw;
    ASSERT_EQ(hw.deviceOpen, 1u);
    EXPECT_EQ(hw.hardwareLost, 0);
    EXPECT_EQ(ctx->tail.hwPresent, 1);
    EXPECT_EQ(hw.deviceIndex, 0u);
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();

    // The zkgfx requests in order: region, name, three notifiers, push buffer, two frame-buffer
    // objects, the region back, the texture heap's object, the channel and its words.
    const std::vector<uint32_t> codes = kivZkgfxState().requestCodes;
    const std::vector<uint32_t> expectCodes = {
        ZK_RM_GET_MEMORY_REGION,    ZK_RM_GET_DEVICE_NAME,      ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_CREATE_MEMORY_OBJECT,
        ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_CREATE_MEMORY_OBJECT,
        ZK_RM_RELEASE_MEMORY_REGION, ZK_RM_CREATE_MEMORY_OBJECT, ZK_RM_OPEN_DMA_CHANNEL, ZK_RM_CONTROL};
    EXPECT_EQ(codes, expectCodes);

    // Memory objects under the client id, with their classes, bases and limits.
    const uint32_t f = hw.clientId << 16;
    const auto &objects = kivZkgfxState().objects;
    ASSERT_EQ(objects.size(), 7u);
    const uint32_t aligned = uint32_t((uintptr_t(hw.cmdBufAlloc) + 4095) & ~uintptr_t(4095));
    const uint32_t fb = uint32_t(uintptr_t(chip->videoMemory()));
    const KivZkgfxObject expectObjects[7] = {
        {f - 0xF003, 3, uint32_t(uintptr_t(hw.notifierRecord[0])), 15},
        {f + 0x1001, 3, uint32_t(uintptr_t(hw.notifierRecord[1])), 15},
        {f + 0x1002, 3, uint32_t(uintptr_t(hw.sharedHeader)) + 4, 15},
        {f + 0x1007, 2, aligned, 0x10000 * 8 + 0x27FF},
        {f + 0x1003, 2, fb, hw.fbRegionSize - 1},
        {f + 0x1006, 2, fb, hw.fbRegionSize - 1},
        {f + 0x1005, 2, uint32_t(uintptr_t(hw.sharedHeader)) + hw.sharedHeader->heapData, hw.maxPciTexHeapSize - 1}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(objects[i].handle, expectObjects[i].handle) << i;
        EXPECT_EQ(objects[i].cls, expectObjects[i].cls) << i;
        EXPECT_EQ(objects[i].base, expectObjects[i].base) << i;
        EXPECT_EQ(objects[i].limit, expectObjects[i].limit) << i;
    }
    ASSERT_EQ(kivZkgfxState().dmaChannels.size(), 1u);
    const KivZkgfxDmaChannel &ch = kivZkgfxState().dmaChannels[0];
    EXPECT_EQ(ch.handle, f + 0x1234);
    EXPECT_EQ(ch.notifier, f - 0xF003);
    EXPECT_EQ(ch.pushBuffer, f + 0x1007);
    EXPECT_EQ(hw.channelWords[0], f + 0x1007);
    EXPECT_TRUE(kivZkgfxState().regions.empty());

    // The display driver was told OpenGL is active, and both counters are its counter.
    // (Contexts of other processes on the machine count too.)
    ASSERT_EQ(display.activeCounts.size(), 1u);
    EXPECT_GE(display.activeCounts.back(), 1u);
    EXPECT_EQ(hw.modeCounter, display.counter);
    EXPECT_EQ(hw.driverModeCounter, display.counter);

    // Two pushes: the 26 creation pairs, then the configuration with a notification.
    ASSERT_EQ(display.pushes.size(), 2u);
    EXPECT_EQ(display.pushes[0].dmaObject, f + 0x1007);
    EXPECT_EQ(display.pushes[0].startOffset, 0u);
    EXPECT_EQ(display.pushes[0].endOffset, 4u * 4 * 26);
    EXPECT_EQ(display.pushes[1].startOffset, 0x10000u * 4 + 5120);
    EXPECT_EQ(display.pushes[0].modeCounter, display.counter);
    std::vector<Write> expect;
    for (auto [cls, handle] : kObjects) {
        expect.push_back({0, 0, cls});
        expect.push_back({0, 0x300, handle});
    }
    for (Write w : kConfig) {
        if (w.value & F) w.value = f + (w.value & ~F);
        expect.push_back(w);
    }
    for (Write w : kNotify) expect.push_back(w);
    EXPECT_EQ(decoded(pushedWrites()), expect);
    EXPECT_EQ(zk3EngineLiveInstances(), 26u);
    EXPECT_EQ(status(ctx), 0) << "the chip wrote the shared notifier";
    EXPECT_EQ(hw.submissionCount, 2u);

    // Tear-down: destruction pairs, objects freed, the channel closed, the count sent.
    zk3EngineClearLog();
    deleteContext(id);
    std::vector<Write> destroy;
    for (auto [cls, handle] : kObjects) {
        destroy.push_back({0, 0, cls});
        destroy.push_back({0, 0x304, handle});
    }
    EXPECT_EQ(decoded(pushedWrites()), destroy);
    EXPECT_EQ(zk3EngineLiveInstances(), 0u);
    EXPECT_EQ(kivZkgfxState().liveObjects(), liveBefore);
    EXPECT_EQ(display.activeCounts.size(), 2u) << "the remaining count is sent";
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

}  // namespace
