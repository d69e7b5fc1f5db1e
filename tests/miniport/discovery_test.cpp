// Adapter discovery as the video port drives it: HwFindAdapter and HwInitialize.
#include "tests/miniport/fixture.h"

using kiv::ZkRegWrite;
namespace {
constexpr uint8_t R = kiv::kZkSpaceRegisters;
}

TEST_F(MiniportTest, ShortConfigInfoIsRefusedBeforeAnyHardwareAccess) {
    sim().configInfoLength = 71;
    EXPECT_FALSE(boot());
    EXPECT_EQ(sim().findAdapterStatus, ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(chip().writeLog().empty());
    EXPECT_TRUE(sim().deviceBases.empty());
    EXPECT_TRUE(sim().verifiedRanges.empty());
}

TEST_F(MiniportTest, NoCardAnswersDeviceNotExistAndWritesNoHardwareInformation) {
    config.card = KivVideoCard::None;
    EXPECT_FALSE(boot());
    EXPECT_EQ(sim().findAdapterStatus, ERROR_DEV_NOT_EXIST);
    EXPECT_TRUE(sim().registryWrites.empty());
}

TEST_F(MiniportTest, Zk3BootWritesControlWordsThenProbesTheScaledOutput) {
    ASSERT_TRUE(boot());
    const std::vector<ZkRegWrite> expected = {
        {R, 4, 0x000200, 0xFFFFFFFF},  // chip control right after mapping
        {R, 4, 0x000140, 0},           // ZK3, before the fixed VGA ranges
        {R, 1, 0x0C03C4, 0x06},        // read sequencer 6 (index write)
        {R, 2, 0x0C03C4, 0x5706},      // unlock
        {R, 1, 0x6013D4, 0x28},        // read CRTC 0x28
        {R, 2, 0x0C03C4, 0x9906},      // old value was 0
    };
    EXPECT_EQ(chip().writeLog(), expected);
    EXPECT_EQ(ext()->ChipCode, ZK_CHIP_CODE_ZK3);
    EXPECT_EQ(ext()->ChipClass, 1u);
    EXPECT_EQ(ext()->PciSlot, kKivPciSlot);
    EXPECT_EQ(ext()->PciVendorId, kiv::kZkPciVendorId);
    EXPECT_EQ(ext()->CursorImageAddress, 0x3800u);
    EXPECT_EQ(ext()->PortBase + 0x3C8, sim().ioBase + 0x3C8);
    EXPECT_EQ(ext()->VisibleWidth, 640u);
    EXPECT_EQ(ext()->ScaleX, 0x100000u);
    // Default mode copy: row 8.
    EXPECT_EQ(ext()->ModeWidth, 640u);
    EXPECT_EQ(ext()->ModeBitsPerPixel, 16u);
    EXPECT_EQ(ext()->ModeRefresh, 70u);
    // Four verified ranges: the two PCI ranges and the two VGA I/O ranges.
    ASSERT_EQ(sim().verifiedRanges.size(), 4u);
    EXPECT_EQ(sim().verifiedRanges[0].RangeStart.LowPart, kKivRange0Physical);
    EXPECT_EQ(sim().verifiedRanges[1].RangeStart.LowPart, kKivRange1Physical);
    EXPECT_EQ(sim().verifiedRanges[2].RangeStart.LowPart, 0x3B0u);
    EXPECT_EQ(sim().verifiedRanges[2].RangeLength, 12u);
    EXPECT_EQ(sim().verifiedRanges[3].RangeStart.LowPart, 0x3C0u);
    EXPECT_EQ(sim().verifiedRanges[3].RangeLength, 32u);
    EXPECT_EQ(sim().verifiedRanges[3].RangeInIoSpace, 1);
    // Port configuration and HwInitialize.
    EXPECT_EQ(sim().configInfo.VdmPhysicalVideoMemoryAddress.LowPart, 0xA0000u);
    EXPECT_EQ(sim().configInfo.VdmPhysicalVideoMemoryLength, 0x20000u);
    EXPECT_EQ(sim().configInfo.HardwareStateSize, ZK_HARDWARE_STATE_SIZE);
    EXPECT_EQ(ext()->CursorEnd, 31);
    EXPECT_EQ(ext()->CursorVisible, 1);
    EXPECT_EQ(ext()->Flags, 0u);
}

TEST_F(MiniportTest, Zk4RestoresItsLockByTheOldValue) {
    config.card = KivVideoCard::ZK4;
    struct Case { uint8_t old; int restored; };
    for (Case c : {Case{0, 0x99}, Case{1, 0x75}, Case{3, 0x57}, Case{5, -1}}) {
        config.prepareChip = [&](kiv::ZkChip &chip) { chip.pokeCrtc(0x1F, c.old); };
        ASSERT_TRUE(boot());
        std::vector<ZkRegWrite> expected = {
            {R, 4, 0x000200, 0xFFFFFFFF},
            {R, 1, 0x6013D4, 0x1F},
            {R, 2, 0x6013D4, 0x571F},
            {R, 1, 0x6013D4, 0x28},
        };
        if (c.restored >= 0) expected.push_back({R, 2, 0x6013D4, uint32_t(c.restored << 8 | 0x1F)});
        EXPECT_EQ(chip().writeLog(), expected) << "old " << int(c.old);
        EXPECT_EQ(ext()->ChipCode, ZK_CHIP_CODE_ZK4);
        EXPECT_EQ(ext()->CursorImageAddress, 0u);
    }
}

TEST_F(MiniportTest, MemorySizeComesFromTheStrapsOfEachChip) {
    struct Case { KivVideoCard card; int strap; bool bus128; uint32_t megabytes; };
    const Case cases[] = {
        {KivVideoCard::ZK3, 0, false, 8}, {KivVideoCard::ZK3, 1, true, 2}, {KivVideoCard::ZK3, 2, false, 4},
        {KivVideoCard::ZK4, 0, false, 2}, {KivVideoCard::ZK4, 1, false, 4}, {KivVideoCard::ZK4, 2, true, 8},
        {KivVideoCard::ZK4, 3, false, 16},
    };
    for (const Case &c : cases) {
        config.card = c.card;
        config.strapOverride = c.strap;
        config.bus128 = c.bus128;
        ASSERT_TRUE(boot()) << c.strap;
        EXPECT_EQ(ext()->MemoryMegabytes, c.megabytes);
        EXPECT_EQ(ext()->MemoryBytes, c.megabytes << 20);
        EXPECT_EQ(ext()->MemoryBusWidth, c.bus128 ? 128u : 64u);
        EXPECT_EQ(ext()->UsableMemory, (c.megabytes << 20) - 0x10000);
        EXPECT_EQ(registryValue(u"HardwareInformation.MemorySize"), regDword(c.megabytes << 20));
    }
}

TEST_F(MiniportTest, Zk3WithTheUndefinedStrapIsNotClaimed) {
    config.strapOverride = 3;
    EXPECT_FALSE(boot());
    EXPECT_EQ(sim().findAdapterStatus, ERROR_DEV_NOT_EXIST);
    EXPECT_TRUE(sim().deviceBases.empty());
}

TEST_F(MiniportTest, HardwareInformationStringsNameTheChip) {
    for (auto card : {KivVideoCard::ZK3, KivVideoCard::ZK4}) {
        config.card = card;
        ASSERT_TRUE(boot());
        const char16_t *name = card == KivVideoCard::ZK3 ? u"ZK3" : u"ZK4";
        const auto *bytes = reinterpret_cast<const uint8_t *>(name);
        const std::vector<uint8_t> want(bytes, bytes + 8);
        EXPECT_EQ(registryValue(u"HardwareInformation.ChipType"), want);
        EXPECT_EQ(registryValue(u"HardwareInformation.AdapterString"), want);
        const auto dac = registryValue(u"HardwareInformation.DacType");
        ASSERT_EQ(dac.size(), 36u);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(dac.data())), u"Integrated RAMDAC");
    }
}

TEST_F(MiniportTest, EveryMappingFailureEndsDiscoveryWithInvalidParameter) {
    std::vector<uint32_t> zk3Windows;
    for (int i = 0; i < kZkWinInstance2200; ++i) {
        const ZK_WINDOW_DEF &d = kZkWindowDefs[i];
        if (d.Zk3) zk3Windows.push_back((d.FrameBufferRange ? kKivRange1Physical : kKivRange0Physical) + d.Offset);
    }
    for (uint32_t fixed : {0x3B0u, 0x3C0u, 0xA0000u, 0x3C8u}) zk3Windows.push_back(fixed);
    for (uint32_t physical : zk3Windows) {
        sim().failDeviceBase = {physical};
        EXPECT_FALSE(boot()) << std::hex << physical;
        EXPECT_EQ(sim().findAdapterStatus, ERROR_INVALID_PARAMETER) << std::hex << physical;
        EXPECT_TRUE(sim().deviceBases.empty()) << "mappings left behind for " << std::hex << physical;
    }
}

TEST_F(MiniportTest, RegistryValuesAndTheirDefaults) {
    struct Case {
        std::map<std::u16string, std::vector<uint8_t>> values;
        uint32_t dmt, if09, texMem, dmaBuffer, dmaPush;
    };
    const std::vector<uint8_t> eightBytes(8, 1);
    const Case cases[] = {
        {{}, 0, 1, 0, 0x10000, 0},
        {{{u"DMABuf", regDword(4)}}, 0, 1, 0, 0x40000, 0},
        {{{u"DMABuf", regDword(4)}, {u"TexMem", regDword(16)}}, 0, 1, 16, 0, 0},
        {{{u"DMTOVERRIDE", regDword(1)}, {u"IF09", regDword(0)}, {u"DMAPush", regDword(1)}}, 1, 0, 0, 0x10000, 1},
        {{{u"DMTOVERRIDE", eightBytes}, {u"IF09", eightBytes}}, 0, 1, 0, 0x10000, 0},   // too long: default kept
        {{{u"DMABuf", regDword(0x12345)}}, 0, 1, 0, 0xFFFF0000u, 0},                    // no wrap-around
    };
    for (const Case &c : cases) {
        config.registry = c.values;
        ASSERT_TRUE(boot());
        EXPECT_EQ(ext()->DmtOverride, c.dmt);
        EXPECT_EQ(ext()->If09, c.if09);
        EXPECT_EQ(ext()->TexMem, c.texMem);
        EXPECT_EQ(ext()->DmaBufferSize, c.dmaBuffer);
        EXPECT_EQ(ext()->DmaPush, c.dmaPush);
    }
}

TEST_F(MiniportTest, RegistryCallbackRejectsLongValuesAndIgnoresMissingContext) {
    ULONG field = 7;
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ZkRegistryDwordCallback(nullptr, &field, nullptr, data, 8), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(field, 7u);
    EXPECT_EQ(ZkRegistryDwordCallback(nullptr, nullptr, nullptr, data, 4), NO_ERROR);
    EXPECT_EQ(ZkRegistryDwordCallback(nullptr, &field, nullptr, data, 2), NO_ERROR);
    EXPECT_EQ(field, 0x0201u);
}

TEST_F(MiniportTest, ScaledOutputIsDetectedAtStartUp) {
    config.scaledOutput = true;
    ASSERT_TRUE(boot());
    EXPECT_EQ(ext()->OutputKind, 2u);
    EXPECT_EQ(ext()->OutputMode, 2u);
    EXPECT_EQ(ext()->VisibleWidth, 620u);
    EXPECT_EQ(ext()->VisibleHeight, 420u);
    EXPECT_EQ(ext()->ScaleX, 0x108421u);
    EXPECT_EQ(ext()->ScaleY, 0x124924u);
}

TEST_F(MiniportTest, TheModuleBootsAsThePlatformLoadsIt) {
    config.driverEntry = nullptr;   // load kivport.so and call its DriverEntry
    ASSERT_TRUE(boot());
    VIDEO_NUM_MODES n{};
    DWORD returned = 0;
    EXPECT_EQ(KivVideoPortDeviceIoControl(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES, nullptr, 0, &n, sizeof n, &returned), 0u);
    EXPECT_EQ(returned, 8u);
    // Copied out first: the record is packed, and a reference to its member may be misaligned.
    const uint32_t modes = n.NumModes, length = n.ModeInformationLength;
    EXPECT_GT(modes, 100u);
    EXPECT_EQ(length, 80u);
}
