// DirectDraw on the 9x machine with the SIV card: the runtime loads the HAL library, sivd16 sets
// a mode and has the HAL describe the card, and DirectDraw creates its driver object from that
// description.
#include <gtest/gtest.h>

#include "platform/ddraw/ddraw9x_d3d.h"
#include "platform/ddraw/ddraw9x_hal.h"
#include "platform/siv/siv_chip.h"
#include "platform/sivd16/sivd16.h"

namespace {

struct Machine {
    SivChip *chip = nullptr;
    Sivd16 *sivd16 = nullptr;
    HMODULE hal = nullptr;

    explicit Machine(uint32_t memory) {
        SivCardConfig card = {memory, 0, 0};
        chip = kivSivPowerOn(&card);
        Sivd16Options options = {};
        sivd16 = kivSivd16Start(chip, &options);
        hal = kivDdraw9xLoadHal("sivhal.dll");
    }
    ~Machine() {
        kivDdraw9xUnloadHal(hal);
        kivSivd16Stop();
        kivSivPowerOff();
    }
    DWORD Context() const { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(sivd16->driverBlock)); }
    DWORD FrameBuffer() const { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(chip->videoMemory)); }
};

struct ModeCase {
    uint32_t memory;
    uint16_t width, height;
    uint8_t bits;
    bool rgb565;
    uint32_t clock;
    bool fits, heap, overlay;
};

TEST(Ddraw9xHal, DriverObjectDescribesTheCardPerModeAndMemory) {
    const ModeCase cases[] = {
        {4u << 20, 640, 480, 8, false, 10000, true, true, true},
        {4u << 20, 800, 600, 16, true, 10000, true, true, true},
        {4u << 20, 1024, 768, 16, false, 11500, true, true, false},   // too fast a clock for the overlay
        {8u << 20, 1024, 768, 24, false, 10000, true, true, true},
        {2u << 20, 1024, 1024, 16, false, 10000, true, false, true},  // no memory left off screen
        {2u << 20, 1024, 768, 24, false, 10000, false, false, false}, // does not fit
    };
    for (const ModeCase &c : cases) {
        SCOPED_TRACE(testing::Message() << (c.memory >> 20) << " MB " << c.width << "x" << c.height << "x" << int(c.bits));
        Machine m(c.memory);
        ASSERT_NE(m.hal, nullptr) << "sivhal.dll did not load";
        EXPECT_EQ(kivSivd16FillEntryPoints(), 1u);   // sivd16 reaches the HAL through the thunk
        Sivd16Mode mode = {c.width, c.height, c.bits, c.rgb565, c.clock};
        ASSERT_EQ(kivSivd16SetMode(&mode), c.fits ? 1 : 0);
        if (!c.fits)
            continue;
        DDHALINFO info;
        ASSERT_TRUE(kivSivd16FlatHalInfo(&info));
        Ddraw9xDriver drv;
        ASSERT_TRUE(kivDdraw9xCreateDriver(m.hal, "InitFromDDraw", m.Context(), &info, &drv));

        EXPECT_EQ(drv.gbl.dwReserved3, m.Context());   // where every callback finds the data block
        const DWORD pitch = c.width * (c.bits / 8u);
        EXPECT_EQ(drv.gbl.fpPrimaryOrig, m.FrameBuffer());
        EXPECT_EQ(drv.gbl.vmiData.dwDisplayWidth, c.width);
        EXPECT_EQ(drv.gbl.vmiData.dwDisplayHeight, c.height);
        EXPECT_EQ(drv.gbl.vmiData.lDisplayPitch, static_cast<LONG>(pitch));
        EXPECT_EQ(drv.gbl.vmiData.ddpfDisplay.dwRGBBitCount, c.bits);
        ASSERT_EQ(drv.gbl.dwNumModes, 1u);
        EXPECT_EQ(drv.gbl.lpModeInfo[0].dwWidth, c.width);
        EXPECT_EQ(drv.gbl.lpModeInfo[0].dwBPP, c.bits);
        EXPECT_EQ(drv.gbl.ddCaps.dwCaps & 0x14400441u, 0x14400441u);
        EXPECT_EQ((drv.gbl.ddCaps.dwCaps & 0x800u) != 0, c.overlay);
        EXPECT_EQ(drv.gbl.dwNumFourCC, c.overlay ? 2u : 0u);
        if (c.heap) {
            ASSERT_EQ(drv.gbl.vmiData.dwNumHeaps, 1u);
            const VIDMEM &h = drv.gbl.vmiData.pvmList[0];
            EXPECT_EQ(h.fpStart, m.FrameBuffer() + c.height * pitch + 8);
            EXPECT_EQ(h.fpEnd, m.FrameBuffer() + (c.memory / pitch) * pitch - 1);
        } else {
            EXPECT_EQ(drv.gbl.vmiData.dwNumHeaps, 0u);
        }
        EXPECT_NE(drv.callbacks.CreateSurface, nullptr);
        EXPECT_EQ(drv.callbacks.dwFlags, 0x36u);
        EXPECT_NE(drv.surfaceCallbacks.Blt, nullptr);

        EXPECT_TRUE(drv.gotCallbacks2);
        EXPECT_EQ(drv.callbacks2Result, DD_OK);
        EXPECT_EQ(drv.callbacks2ActualSize, 28u);
        EXPECT_EQ(drv.callbacks2.dwFlags, 0x1Du);
        EXPECT_NE(drv.callbacks2.DrawPrimitives, nullptr);
        EXPECT_TRUE(drv.gotMiscCallbacks);
        EXPECT_EQ(drv.miscActualSize, 24u);
        EXPECT_EQ(drv.misc.dwSize, 24u);
    }
}

// Without the 16-bit driver the HAL cannot connect its thunks and does not load.
TEST(Ddraw9xHal, HalDoesNotLoadWithoutSivd16) {
    SivCardConfig card = {};
    kivSivPowerOn(&card);
    EXPECT_EQ(kivDdraw9xLoadHal("sivhal.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    kivSivPowerOff();
    // And once sivd16 runs, it does.
    Machine m(4u << 20);
    EXPECT_NE(m.hal, nullptr);
}

// DirectDraw's video-memory heap starts empty at every power-on: a program that leaves its
// surfaces behind at each of many restarts still gets every one of them inside the card's video
// memory, past the screen.
TEST(Ddraw9xHal, TheVideoHeapStartsEmptyAtEveryPowerOn) {
    constexpr uint32_t kMemory = 4u << 20;
    constexpr WORD kSide = 256;   // two 128 KB surfaces a boot: the heap would fill in a dozen boots
    for (int boot = 0; boot < 40; ++boot) {
        SCOPED_TRACE(testing::Message() << "boot " << boot);
        Machine m(kMemory);
        ASSERT_NE(m.hal, nullptr);
        Sivd16Mode mode = {640, 480, 16, true, 10000};
        ASSERT_EQ(kivSivd16SetMode(&mode), 1);
        DDHALINFO info;
        ASSERT_TRUE(kivSivd16FlatHalInfo(&info));
        Ddraw9xDriver drv;
        ASSERT_TRUE(kivDdraw9xCreateDriver(m.hal, "InitFromDDraw", m.Context(), &info, &drv));
        EXPECT_EQ(kivVidMemLiveBlocks(&drv.gbl), 0);
        const uint64_t screenEnd = uint64_t{m.FrameBuffer()} + 640 * 480 * 2, memoryEnd = uint64_t{m.FrameBuffer()} + kMemory;
        for (int i = 0; i < 2; ++i) {
            DDRAWI_DDRAWSURFACE_GBL gbl{};
            DDRAWI_DDRAWSURFACE_LCL lcl{};
            lcl.lpGbl = &gbl;
            gbl.wWidth = gbl.wHeight = kSide;
            DDSURFACEDESC desc{};
            desc.dwSize = sizeof desc;
            desc.dwFlags = DDSD_CAPS;
            desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
            DDRAWI_DDRAWSURFACE_LCL *list[1] = {&lcl};
            ASSERT_EQ(kivDdraw9xCreateSurfaces(&drv, &desc, list, 1), DD_OK) << "surface " << i;
            const uint64_t at = gbl.fpVidMem, end = at + uint64_t{kSide} * static_cast<DWORD>(gbl.lPitch);
            EXPECT_GE(gbl.lPitch, 2 * kSide);
            EXPECT_TRUE(at >= screenEnd && end <= memoryEnd)
                << "surface " << i << " at 0x" << std::hex << at << ", video memory 0x" << m.FrameBuffer() << "-0x" << memoryEnd;
        }
        EXPECT_EQ(kivVidMemLiveBlocks(&drv.gbl), 2);
    }
}

}  // namespace
