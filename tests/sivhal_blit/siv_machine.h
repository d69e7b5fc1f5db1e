// The 9x machine with the SIV card up to the point where DirectDraw has its driver object: the
// card powered on, sivd16 started and a mode set, the HAL loaded. Shared by the blit and the
// Direct3D fixtures.
#pragma once
#include <gtest/gtest.h>

#include "drv/siv/display/driver_block.h"
#include "platform/ddraw/ddraw9x_blt.h"
#include "platform/ddraw/ddraw9x_d3d.h"
#include "platform/siv/siv_chip.h"
#include "platform/sivd16/sivd16.h"

#include <algorithm>
#include <span>

struct SivMachine {
    SivChip *chip = nullptr;
    Sivd16 *sivd16 = nullptr;
    HMODULE hal = nullptr;
    Ddraw9xDriver drv{};

    DWORD Context() const { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(sivd16->driverBlock)); }
    DriverBlock *Block() { return reinterpret_cast<DriverBlock *>(sivd16->driverBlock); }
    // The register writes since the last clear that the chip's log holds: the first
    // kSivWriteLogEntries of them (later ones are counted, not kept).
    std::span<const SivRegWrite> Writes() const {
        return {chip->writeLog, std::min(chip->writeCount, kSivWriteLogEntries)};
    }

    // Creates a surface as a program does: DirectDraw asks the HAL, then places what the HAL
    // left to it in its heap. The record carries the size asked for.
    HRESULT CreateSurface(DDRAWI_DDRAWSURFACE_LCL *s, DWORD caps, const DDPIXELFORMAT *pf) {
        DDSURFACEDESC desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | (pf ? DDSD_PIXELFORMAT : 0u);
        desc.ddsCaps.dwCaps = caps;
        if (pf)
            desc.ddpfPixelFormat = *pf;
        DDRAWI_DDRAWSURFACE_LCL *list[1] = {s};
        return kivDdraw9xCreateSurfaces(&drv, &desc, list, 1);
    }

    // Powers the card on (with 4 MB unless asked) and sets the mode; 16 bits are 5-6-5.
    void BootSiv(uint16_t width, uint16_t height, uint8_t bits, DWORD driverFlags = 0, DWORD videoMemory = 4u << 20) {
        SivCardConfig card = {videoMemory, 0, 0};
        chip = kivSivPowerOn(&card);
        ASSERT_NE(chip, nullptr);
        Sivd16Options options = {};
        options.driverFlags = driverFlags;
        sivd16 = kivSivd16Start(chip, &options);
        ASSERT_NE(sivd16, nullptr);
        hal = kivDdraw9xLoadHal("sivhal.dll");
        ASSERT_NE(hal, nullptr);
        Sivd16Mode mode = {width, height, bits, true, 10000};
        ASSERT_TRUE(kivSivd16SetMode(&mode));
        DDHALINFO info;
        ASSERT_TRUE(kivSivd16FlatHalInfo(&info));
        ASSERT_TRUE(kivDdraw9xCreateDriver(hal, "InitFromDDraw", Context(), &info, &drv));
        // The 2D engine's colour format for the display, as sivd16 sets it with the mode.
        Block()->engineFormat() = (bits == 8 ? 0u : bits == 16 ? 1u : 2u) << 2;
    }
};
