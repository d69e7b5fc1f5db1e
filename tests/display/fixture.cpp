#include "tests/display/fixture.h"

#include <cstdio>
#include <cstdlib>

void DisplayTest::SetUp() {
    KivVideoPortConfig vc;
    vc.card = card_;
    vc.driverEntry = DriverEntry;
    ASSERT_TRUE(kivVideoPortBoot(vc)) << "the video port did not find the adapter";
    // The driver needs these of the miniport: without them no display test can start.
    for (DWORD code : {IOCTL_VIDEO_ZK_QUERY_IF09, IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG,
                       IOCTL_VIDEO_ZK_ENABLE_WRITE_COMBINING, IOCTL_VIDEO_RESET_DEVICE}) {
        uint32_t out[8] = {};
        DWORD returned = 0;
        DWORD size = code == IOCTL_VIDEO_ZK_QUERY_IF09 ? 4 : code == IOCTL_VIDEO_ZK_QUERY_HARDWARE_CONFIG ? 32 : 0;
        if (KivVideoPortDeviceIoControl(code, nullptr, 0, size ? out : nullptr, size, &returned) == ERROR_INVALID_FUNCTION) {
            stopped_ = true;
            kivVideoPortShutdown();
            FAIL() << "the miniport does not serve request 0x" << std::hex << code;
        }
    }
    ASSERT_EQ(zk3EngineChip(), chip()) << "zkgfx places the engine in the chip";
    kivEngClearErrors();
    kivEngSetIoObserver([this](DWORD code, void *, DWORD, void *out, DWORD outSize, DWORD status) {
        ioctls.push_back(code);
        const DWORD kind = code & 0xFF000FFF;
        if (kind == 0x80000000 || kind == 0x81000000) {
            const uint8_t *b = static_cast<const uint8_t *>(out);
            RmRequest r{code, b ? std::vector<uint8_t>(b, b + outSize) : std::vector<uint8_t>{}, {}};
            if (code == ZK_RM_CONTROL && b != nullptr && outSize >= sizeof(ZK_RM_CONTROL_PARAMS)) {
                const auto ctl = r.as<ZK_RM_CONTROL_PARAMS>();
                if (ctl.Target == 0xFFFFFFFFu && ctl.InParams != 0) {  // the pusher bind: three words
                    const auto *w = reinterpret_cast<const uint32_t *>(uintptr_t(ctl.InParams));
                    r.controlIn.assign(w, w + 3);
                }
            }
            zk.log.push_back(std::move(r));
        }
        if (std::getenv("KIV_TRACE_IO")) std::printf("io 0x%08lX -> %lu\n", (unsigned long)code, (unsigned long)status);
    });
}

void DisplayTest::TearDown() {
    if (stopped_ || !chip()) return;
    kivEngineShutdown();
    EXPECT_EQ(kivEngLeakReport(), "");
    EXPECT_EQ(kivEngLiveSemaphores(), 0u);
    EXPECT_EQ(kivEngLiveSurfaces(), 0u);
    EXPECT_TRUE(kivEngErrors().empty()) << kivEngErrors().front();
    EXPECT_TRUE(zk.liveMemory().empty()) << zk.liveMemory().size() << " memory objects left in zkgfx";
    EXPECT_TRUE(zk.state().regions.empty()) << zk.state().regions.size() << " regions not given back";
    EXPECT_FALSE(zk.fifoOpen());
    EXPECT_FALSE(zk.linkOpen());
    EXPECT_EQ(zk3EngineLiveInstances(), 0u);
    kivEngSetIoObserver(nullptr);
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
