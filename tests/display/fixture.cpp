#include "tests/display/fixture.h"

#include <cstdio>
#include <cstdlib>

bool ZkgfxDouble::handle(DWORD code, void *in, DWORD inSize, DWORD outSize, DWORD *status) {
    if ((code & 0xFF000FFF) != 0x80000000 && (code & 0xFF000FFF) != 0x81000000) return false;
    *status = 0;
    if (code == ZK_RM_OPEN_LINK || code == ZK_RM_CLOSE_LINK) {
        linkOpen = code == ZK_RM_OPEN_LINK;
        log.push_back({code, {}});
        return true;
    }
    if (inSize < 4) {
        *status = ERROR_INVALID_PARAMETER;
        return true;
    }
    uint8_t *block = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(*static_cast<uint32_t *>(in)));
    auto fail = failStatus.find(code);
    auto setStatus16 = [&](size_t off, uint16_t v) { std::memcpy(block + off, &v, 2); };
    if (!linkOpen) ADD_FAILURE() << "zkgfx request 0x" << std::hex << code << " over a closed link";
    switch (code) {
    case ZK_RM_GET_DEVICE_NAME: {
        auto *p = reinterpret_cast<ZK_RM_DEVICE_NAME_PARAMS *>(block);
        if (p->DeviceIndex < deviceNames.size()) {
            char *name = reinterpret_cast<char *>(static_cast<uintptr_t>(p->NameBuffer));
            std::strncpy(name, deviceNames[p->DeviceIndex].c_str(), p->BufferSize);
            p->Status = 0;
        } else {
            p->Status = 1;
        }
        break;
    }
    case ZK_RM_CREATE_MEMORY_OBJECT: {
        auto *p = reinterpret_cast<ZK_RM_MEMORY_OBJECT_PARAMS *>(block);
        if (failMemoryHandles.count(p->Handle) || liveMemory.count(p->Handle)) {
            p->Status = 1;
        } else {
            liveMemory.insert(p->Handle);
            zk3EngineDefineMemory(p->Handle, p->Class, p->Base, p->Limit);
            p->Status = 0;
        }
        break;
    }
    case ZK_RM_FREE_OBJECT: {
        auto *p = reinterpret_cast<ZK_RM_OBJECT_HANDLE_PARAMS *>(block);
        p->Status = liveMemory.erase(p->Handle) ? 0 : 1;
        zk3EngineForgetMemory(p->Handle);
        break;
    }
    case ZK_RM_OPEN_FIFO_CHANNEL: {
        auto *p = reinterpret_cast<ZK_RM_FIFO_CHANNEL_PARAMS *>(block);
        p->FifoAddress = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(zk3EngineFifo()));
        p->Status = 0;
        ++fifoOpen;
        break;
    }
    case ZK_RM_CLOSE_FIFO_CHANNEL:
        reinterpret_cast<ZK_RM_CLOSE_FIFO_CHANNEL_PARAMS *>(block)->Status = 0;
        --fifoOpen;
        break;
    case ZK_RM_GET_MEMORY_REGION: {
        if (dropTransfer) {
            *status = ERROR_INVALID_FUNCTION;
            log.push_back({code, {block, block + outSize}});
            return true;
        }
        auto *p = reinterpret_cast<ZK_RM_MEMORY_REGION_PARAMS *>(block);
        kiv::ZkChip *c = kivVideoPortSim().chip.get();
        p->Address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(c->videoMemory()));
        p->Size = c->videoMemorySize() - 1;
        p->Status = 0;
        break;
    }
    case ZK_RM_CONTROL:
        reinterpret_cast<ZK_RM_CONTROL_PARAMS *>(block)->Status = controlStatus;
        break;
    default:
        *status = ERROR_INVALID_FUNCTION;
        return true;
    }
    if (fail != failStatus.end()) {
        size_t off = code == ZK_RM_GET_DEVICE_NAME ? 10 : code == ZK_RM_CREATE_MEMORY_OBJECT ? 18
                     : code == ZK_RM_OPEN_FIFO_CHANNEL ? 12 : code == ZK_RM_GET_MEMORY_REGION ? 12 : 4;
        setStatus16(off, fail->second);
    }
    log.push_back({code, {block, block + outSize}});
    return true;
}

void DisplayTest::SetUp() {
    KivVideoPortConfig vc;
    vc.driverEntry = DriverEntry;
    ASSERT_TRUE(kivVideoPortBoot(vc)) << "the video port did not find the adapter";
    // The driver needs these of the miniport; until it serves them the tests wait.
    for (DWORD code : {IOCTL_VIDEO_ZK_QUERY_IF09, IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG,
                       IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, IOCTL_VIDEO_RESET_DEVICE}) {
        uint32_t out[8] = {};
        DWORD returned = 0;
        DWORD size = code == IOCTL_VIDEO_ZK_QUERY_IF09 ? 4 : code == IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG ? 32 : 0;
        if (KivVideoPortDeviceIoControl(code, nullptr, 0, size ? out : nullptr, size, &returned) == ERROR_INVALID_FUNCTION) {
            skipped_ = true;
            kivVideoPortShutdown();
            GTEST_SKIP() << "the miniport does not serve request 0x" << std::hex << code << " yet";
        }
    }
    zk3EngineAttachChip(chip());
    kivEngClearErrors();
    kivEngSetIoInterceptor([this](DWORD code, void *in, DWORD inSize, void *, DWORD outSize, DWORD *returned,
                                  DWORD *status) {
        *returned = 0;
        return zk.handle(code, in, inSize, outSize, status);
    });
    kivEngSetIoObserver([this](DWORD code, void *, DWORD, void *, DWORD, DWORD status) {
        ioctls.push_back(code);
        if (std::getenv("KIV_TRACE_IO")) std::printf("io 0x%08lX -> %lu\n", (unsigned long)code, (unsigned long)status);
    });
}

void DisplayTest::TearDown() {
    if (skipped_ || !chip()) return;
    kivEngineShutdown();
    EXPECT_EQ(kivEngLeakReport(), "");
    EXPECT_EQ(kivEngLiveSemaphores(), 0u);
    EXPECT_EQ(kivEngLiveSurfaces(), 0u);
    EXPECT_TRUE(kivEngErrors().empty()) << kivEngErrors().front();
    EXPECT_TRUE(zk.liveMemory.empty()) << zk.liveMemory.size() << " memory objects left in zkgfx";
    EXPECT_EQ(zk.fifoOpen, 0);
    EXPECT_FALSE(zk.linkOpen);
    EXPECT_EQ(zk3EngineLiveInstances(), 0u);
    kivEngSetIoInterceptor(nullptr);
    kivEngSetIoObserver(nullptr);
    zk3EngineAttachChip(nullptr);
    kivVideoPortShutdown();
}

bool DisplayTest::boot(uint32_t w, uint32_t h, uint32_t bpp, uint32_t hz) {
    KivEngineConfig c;
    c.enableDriver = DrvEnableDriver;
    c.width = w;
    c.height = h;
    c.bitsPerPel = bpp;
    c.frequency = hz;
    return kivEngineBoot(c);
}
