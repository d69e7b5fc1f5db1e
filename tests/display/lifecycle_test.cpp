// The display driver from boot to unload: the enabled surface and its device, the FIFO objects,
// full-screen switches and mode changes, the mode list, refusals at start-up, and the module's exports.
#include "tests/display/fixture.h"

#include "include/zk_escape.h"

TEST_F(DisplayTest, BootEnablesTheSurfaceAtTheAskedMode) {
    ASSERT_TRUE(boot());
    const KivEngineDisplay *d = kivEngineDisplay();
    EXPECT_EQ(d->gdiInfo.ulHorzRes, 1024u);
    EXPECT_EQ(d->gdiInfo.ulVertRes, 768u);
    EXPECT_EQ(d->gdiInfo.cBitsPixel, 16u);
    EXPECT_EQ(d->gdiInfo.ulNumColors, 0xFFFFFFFFu);
    EXPECT_EQ(d->gdiInfo.ulHTOutputFormat, 5u);
    EXPECT_EQ(d->devInfo.flGraphicsCaps, 0x20450Cu);
    EXPECT_EQ(d->devInfo.iDitherFormat, (ULONG)BMF_16BPP);
    EXPECT_EQ(d->flHooks, 0x5539u);
    ZK_PDEV *p = pdev();
    EXPECT_EQ(p->bEnabled, 1u);
    EXPECT_TRUE(p->chipFlags & ZK_CHIP_FLAG_ZK3);
    EXPECT_EQ(p->iBitmapFormat, (ULONG)BMF_16BPP);
    EXPECT_EQ(p->alphaBits, 0x8000u);
    EXPECT_NE(p->fifo, nullptr);
    EXPECT_TRUE(p->flags & ZK_FLAG_HW_METHODS);
    EXPECT_EQ(p->cjVideoMemory, chip()->videoMemorySize());
    EXPECT_EQ(p->cyMemory, p->cjVideoMemory / (ULONG)p->lDelta);
    EXPECT_EQ(kivEngineDescribeMode(), "1024 x 768, 16 bits per pixel, 60 Hz");

    // zkgfx: link, frame buffer region, device search, FIFO channel, then the objects.
    const std::vector<DWORD> codes = zk.codes();
    std::vector<DWORD> head(codes.begin(), codes.begin() + 4);
    EXPECT_EQ(head, (std::vector<DWORD>{ZK_RM_OPEN_LINK, ZK_RM_GET_MEMORY_REGION, ZK_RM_GET_DEVICE_NAME,
                                        ZK_RM_OPEN_FIFO_CHANNEL}));
    auto region = zk.log[1].as<ZK_RM_MEMORY_REGION_PARAMS>();
    EXPECT_STREQ(reinterpret_cast<const char *>(static_cast<uintptr_t>(region.Name)), "frame buffer");
    auto mem = zk.log[4].as<ZK_RM_MEMORY_OBJECT_PARAMS>();
    EXPECT_EQ(zk.log[4].code, ZK_RM_CREATE_MEMORY_OBJECT);
    EXPECT_EQ(mem.Handle, 0x1022u);
    EXPECT_EQ(mem.Class, 61u);
    EXPECT_EQ(mem.Limit, p->cjVideoMemory - 1);
    EXPECT_EQ(mem.Flags, 0);

    // The private requests of the first PDEV come before the mode list.
    auto pos = [&](DWORD c) { return std::find(ioctls.begin(), ioctls.end(), c) - ioctls.begin(); };
    EXPECT_LT(pos(IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING), pos(IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL));
    EXPECT_LT(pos(IOCTL_VIDEO_ZK_QUERY_HARDWARE_OPENGL), pos(IOCTL_VIDEO_ZK_QUERY_TEXTURE_MEMORY));
    EXPECT_LT(pos(IOCTL_VIDEO_ZK_QUERY_IF09), pos(ZK_RM_OPEN_LINK));
    EXPECT_LT(pos(ZK_RM_OPEN_LINK), pos(IOCTL_VIDEO_QUERY_NUM_AVAIL_MODES));
    EXPECT_LT(pos(IOCTL_VIDEO_QUERY_PUBLIC_ACCESS_RANGES), pos(IOCTL_VIDEO_MAP_VIDEO_MEMORY));
    EXPECT_LT(pos(IOCTL_VIDEO_MAP_VIDEO_MEMORY), pos(IOCTL_VIDEO_SET_CURRENT_MODE));
    EXPECT_LT(pos(IOCTL_VIDEO_SET_CURRENT_MODE), pos(IOCTL_VIDEO_QUERY_CURRENT_MODE));
    EXPECT_LT(pos(IOCTL_VIDEO_QUERY_CURRENT_MODE), pos(IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG));
}

TEST_F(DisplayTest, TheFifoObjectGraphIsCompleteAndConsistent) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
    const uint32_t bound[8] = {0xA0000, 0xA0001, 0xA0008, 0xA0003, 0xA0004, 0xA0005, 0xA0006, 0x80021400};
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(zk3EngineBound(s), bound[s]) << "subchannel " << s;
    EXPECT_EQ(p->subchannel7Object, 0x80021400u);

    struct Want { uint32_t object; uint16_t method; uint32_t value; };
    const Want wants[] = {
        {0xA00F2, 0x304, 0x1022}, {0xA00F2, 0x308, (uint32_t)p->lDelta}, {0xA00F2, 0x300, 0x1000000},
        {0xA00F2, 0x244, 0x800215B1}, {0xA00F2, 0x24C, 0xB0016}, {0xA00F1, 0x318, 768u << 16 | 1024},
        {0xA0008, 0x100, 0x1025}, {0xA0005, 0x310, 0x8000}, {0xA0005, 0x314, 0xFFFF},
        {0xA0006, 0x304, 0x7FFF7FFF}, {0xA0016, 0x20C, 0x80021601}, {0xA0035, 0x200, 0xB0035},
        {0xA00F3, 0x100, 0x80021019}, {0x3400000A, 0x304, 0x1020}, {0x80021020, 0x304, 0x80021000},
        {0x80023FB0, 0x208, 0xB00E1}, {0x80023F90, 0x330, 0x20001}, {0x80021510, 0x300, 0x1000000},
        {0x80021540, 0x300, 0x20000}, {0x800215B0, 0x200, 0x800215B1}, {0x80021600, 0x300, 0x1010000},
    };
    for (const Want &w : wants) {
        const Zk3EngineObject *o = zk3EngineFind(w.object);
        ASSERT_NE(o, nullptr) << std::hex << w.object;
        EXPECT_EQ(o->method(w.method), w.value) << std::hex << w.object << " method " << w.method;
    }
    // Every object the driver made, and nothing more.
    EXPECT_EQ(zk3EngineLiveInstances(), p->cObjects);
    EXPECT_EQ(zk.liveMemory().size(), p->cMemoryObjects);
    EXPECT_EQ(zk.liveMemory().count(0x1020), 1u) << "the default machine has a DMA buffer";
}

TEST_F(DisplayTest, FullScreenSwitchesLeaveNothingBehindAndRecreateCleanly) {
    ASSERT_TRUE(boot());
    ZK_PDEV *p = pdev();
    const size_t instances = zk3EngineLiveInstances(), memory = zk.liveMemory().size();
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(kivEngineAssertMode(false));
        EXPECT_EQ(p->modeChangeCounter, (ULONG)round);
        EXPECT_EQ(p->bEnabled, 0u);
        EXPECT_EQ(p->fifo, nullptr);
        EXPECT_EQ(zk3EngineLiveInstances(), 0u);
        EXPECT_TRUE(zk.liveMemory().empty());
        EXPECT_EQ(zk.fifoOpen(), false);
        ASSERT_FALSE(kivVideoPortSim().int10Eax.empty()) << "the device was not reset to text mode";
        EXPECT_EQ(kivVideoPortSim().int10Eax.back() & 0xFFFF, 3u);
        ASSERT_TRUE(kivEngineAssertMode(true));
        EXPECT_EQ(p->bEnabled, 1u);
        EXPECT_EQ(zk3EngineLiveInstances(), instances);
        EXPECT_EQ(zk.liveMemory().size(), memory);
    }
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
}

TEST_F(DisplayTest, DesktopModeChangeCarriesTheCounterAndFreesTheOldDevice) {
    ASSERT_TRUE(boot());
    ASSERT_TRUE(kivEngineAssertMode(false));
    ASSERT_TRUE(kivEngineAssertMode(true));
    ASSERT_TRUE(kivEngineChangeMode(800, 600, 16, 60));
    ZK_PDEV *p = pdev();
    EXPECT_EQ(p->cxScreen, 800u);
    EXPECT_EQ(p->modeChangeCounter, 2u) << "one give-up before, one for the change";
    EXPECT_EQ(kivEngLiveSurfaces(), 4u) << "the new screen and its off-screen heap's three surfaces";
    EXPECT_EQ(kivEngLiveSemaphores(), 2u);
    EXPECT_EQ(zk.count(ZK_RM_OPEN_LINK), 1u) << "the link stays open across the change";
    EXPECT_TRUE(zk3EngineErrors().empty()) << zk3EngineErrors().front();
    // An impossible mode keeps the old one.
    EXPECT_FALSE(kivEngineChangeMode(800, 600, 16, 61));
    EXPECT_EQ(pdev(), p);
    EXPECT_EQ(p->bEnabled, 1u);
}

TEST_F(DisplayTest, ModeChoiceNeedsAllFourFieldsOrNone) {
    EXPECT_FALSE(boot(1024, 768, 16, 61));
    EXPECT_FALSE(boot(1024, 768, 24, 60));
    ASSERT_TRUE(boot(0, 0, 0, 0));
    VIDEO_MODE_INFORMATION first{};
    EXPECT_NE(pdev()->cxScreen, 0u);
    (void)first;
}

TEST_F(DisplayTest, GetModesCountsEveryEntryButListsOnlyUsableOnes) {
    ASSERT_TRUE(boot());
    ULONG need = kivEngineGetModes(0, nullptr);
    ASSERT_GT(need, 0u);
    EXPECT_EQ(need % 220, 0u);
    EXPECT_EQ(kivEngineGetModes(219, std::vector<DEVMODEW>(1).data()), 0u);
    std::vector<DEVMODEW> modes(need / 220);
    ULONG got = kivEngineGetModes(need, modes.data());
    ASSERT_GT(got, 0u);
    for (ULONG i = 0; i < got / 220; ++i) {
        const DEVMODEW &m = modes[i];
        EXPECT_EQ(m.dmSize, 220);
        EXPECT_EQ(m.dmFields, 0x7C0000u);
        EXPECT_EQ(m.dmDeviceName[0], 'k');
        EXPECT_TRUE(m.dmBitsPerPel == 8 || m.dmBitsPerPel == 15 || m.dmBitsPerPel == 16 || m.dmBitsPerPel == 32);
    }
}

TEST_F(DisplayTest, ADeviceListWithoutTheChipFailsAndTheLinkIsReopenedLater) {
    zk.deviceNames() = {"ZK2", "ZK30", "NV", "", "ZK"};
    EXPECT_FALSE(boot());
    EXPECT_EQ(zk.count(ZK_RM_GET_DEVICE_NAME), 5u);
    EXPECT_EQ(zk.codes().back(), ZK_RM_CLOSE_LINK);
    EXPECT_FALSE(zk.linkOpen());
    zk.deviceNames() = {"none", "ZK3"};
    ASSERT_TRUE(boot());
    EXPECT_EQ(pdev()->usDeviceIndex, 1);
    EXPECT_EQ(zk.count(ZK_RM_OPEN_LINK), 2u) << "a closed link is opened again, not used closed";
}

TEST_F(DisplayTest, ATransferThatNeverReachedZkgfxIsAFailure) {
    zk.state().failCallCodes = {ZK_RM_GET_MEMORY_REGION};
    EXPECT_FALSE(boot());
    zk.state().failCallCodes.clear();
    zk.state().refuseMemoryHandles = {0x80021017};
    EXPECT_FALSE(boot()) << "a refused memory object fails the enable";
    EXPECT_TRUE(zk.liveMemory().empty()) << "what was made before the refusal is taken back";
    EXPECT_EQ(zk3EngineLiveInstances(), 0u);
}

TEST_F(DisplayTest, TheDriverLoadsAsAModuleAndExportsItsEntry) {
    KivEngineConfig c;
    ASSERT_TRUE(kivEngineBoot(c));
    EXPECT_NE(kivEngineDriverFunction(INDEX_DrvEnablePDEV), nullptr);
    EXPECT_NE(kivEngineDriverFunction(INDEX_DrvSwapBuffers), nullptr);
    EXPECT_EQ(kivEngineDriverFunction(INDEX_DrvFillPath + 1), nullptr);
    EXPECT_EQ(kivEngineEscape(ESC_OPENGL_GETINFO, 0, nullptr, 0, nullptr), 0u)
        << "the escape entry is reached, and refuses the OpenGL query without its input";
    kivEngineShutdown();
}
