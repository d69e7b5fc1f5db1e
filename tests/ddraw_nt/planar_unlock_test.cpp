// Unlocking a 4x4-subsampled overlay has the engine convert it: the chroma planes are stretched
// into the packed copy the overlay scans. The chip model's work for it follows the pixels it
// draws and the texels it takes in, whatever the surface's shape: a 1-pixel-wide surface of
// 32,767 rows costs what its pixels cost, not the square of its height.
#include <vector>

#include "platform/ddraw_nt/ddraw_nt_hal.h"
#include "platform/zk3/zk3_draw.h"
#include "tests/ddraw_nt/nt_machine_fixture.h"

namespace {

constexpr uint32_t kYvu9 = ZK_FOURCC('Y', 'V', 'U', '9');

// The DirectDraw runtime's driver side enabled on the machine's display, as DirectDraw is for a
// program: surfaces of any format made and unlocked through the display driver's callbacks.
class DdNtDriverSide : public NtMachineTest {
protected:
    KivDirectDrawNt dd;

    void SetUp() override {
        NtMachineTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(dd.enable());
    }
    void TearDown() override {
        dd.disable();
        NtMachineTest::TearDown();
    }
    // One surface of `caps`, w x h, of a FOURCC code; null when DirectDraw or the driver refuses it.
    KivDdNtSurface *make(DWORD w, DWORD h, DWORD caps, uint32_t fourCc) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = w;
        d.dwHeight = h;
        d.ddsCaps.dwCaps = caps;
        d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
        d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
        d.ddpfPixelFormat.dwFourCC = fourCc;
        std::vector<KivDdNtSurface *> out;
        return dd.create(d, 1, &out).code == ZK_DD_OK && !out.empty() ? out[0] : nullptr;
    }
};

TEST_F(DdNtDriverSide, UnlockingATallPlanarOverlayCostsItsPixels) {
    for (const DWORD h : {1024u, 2048u, 4096u, 32767u}) {
        SCOPED_TRACE(testing::Message() << "1 x " << h);
        KivDdNtSurface *s = make(1, h, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, kYvu9);
        ASSERT_NE(s, nullptr);
        const Zk3DrawStats before = zk3DrawStats();
        ASSERT_TRUE(dd.unlock(s).ok());
        const Zk3DrawStats after = zk3DrawStats();
        // Each chroma plane has (h + 3) / 4 rows of one byte, sent as a dword (4 texels), and is
        // stretched 8 times across and 4 times down into a window 8 bytes wide and h rows tall,
        // every byte of which it writes (the pattern picks which bytes keep the chroma).
        const uint64_t rows = (h + 3) / 4;
        const uint64_t texels = 2 * rows * 4, pixels = 2 * uint64_t{8} * h;
        EXPECT_EQ(after.texels - before.texels, texels);
        EXPECT_EQ(after.pixels - before.pixels, pixels);
        const uint64_t work = after.sampleLookups - before.sampleLookups;
        EXPECT_LE(work, 4 * (pixels + texels));
        EXPECT_EQ(dd.destroy(s).code, ZK_DD_OK);
    }
    EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
}

}  // namespace
