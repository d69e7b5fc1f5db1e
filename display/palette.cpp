// The default palette, the DAC transfer block and the gamma ramp. The DAC is loaded by the
// engine: the driver fills the 1024-byte transfer block (one dword 0x00RRGGBB per DAC index)
// and has the DAC transfer object 0xA00F3 copy it (the ZK4's miniport loads it), so the palette
// path and the gamma path share the block and the last writer wins.
#include "display/driver.h"

#include <cstddef>
#include <cstring>

namespace {

struct PalEntry { uint8_t red, green, blue, flags; };
static_assert(sizeof(PalEntry) == 4);

// The twenty colours the system keeps at both ends of an indexed palette.
constexpr PalEntry kStaticLow[10] = {{0, 0, 0, 0},     {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
                                     {0, 0, 128, 0},   {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
                                     {192, 220, 192, 0}, {166, 202, 240, 0}};
constexpr PalEntry kStaticHigh[10] = {{255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},
                                      {0, 255, 0, 0},     {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},
                                      {0, 255, 255, 0},   {255, 255, 255, 0}};

uint32_t dacWord(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint32_t>(red) << 16 | static_cast<uint32_t>(green) << 8 | blue;
}

// Has the DAC transfer object in `sub` copy the whole block, then puts `restore` back there.
// The ZK4 has no transfer object among its engine objects: its DAC takes the block through the
// miniport's colour registers.
void vSendDacBlock(ZK_PDEV *ppdev, unsigned sub, uint32_t restore) {
    if (!(ppdev->chipFlags & ZK_CHIP_FLAG_ZK3)) {
        struct {
            uint16_t NumEntries, FirstEntry;
            VIDEO_CLUTDATA LookupTable[256];
        } clut{256, 0, {}};
        static_assert(offsetof(decltype(clut), LookupTable) == offsetof(VIDEO_CLUT, LookupTable));
        for (unsigned n = 0; n < 256; ++n) {
            const uint32_t w = ppdev->dacTransfer[n];
            clut.LookupTable[n] = VIDEO_CLUTDATA{uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w), 0};
        }
        ulIoctl(ppdev, IOCTL_VIDEO_SET_COLOR_REGISTERS, &clut, sizeof clut, nullptr, 0);
        return;
    }
    vFifoWaitFree(ppdev, sub, 16);
    vFifoWrite(ppdev, sub, 0, 0xA00F3);
    vFifoWrite(ppdev, sub, 0x310, 0);
    vFifoWrite(ppdev, sub, 0x314, sizeof ppdev->dacTransfer);
    vFifoWrite(ppdev, sub, 0, restore);
    ppdev->usFifoFree = static_cast<uint16_t>(ppdev->usFifoFree - 16);
}

}  // namespace

BOOL bInitPalette(ZK_PDEV *ppdev, DEVINFO *pdi) {
    auto *pal = static_cast<PalEntry *>(EngAllocMem(FL_ZERO_MEMORY, 256 * sizeof(PalEntry), ZK_POOL_TAG));
    if (!pal) return FALSE;
    ppdev->pPal = pal;
    // A colour cube with red changing fastest, then the static colours over both ends.
    for (unsigned n = 0; n < 256; ++n)
        pal[n] = PalEntry{static_cast<uint8_t>(32 * (n % 8)), static_cast<uint8_t>(32 * ((n / 8) % 8)),
                          static_cast<uint8_t>(64 * (n / 64)), 0};
    std::memcpy(pal, kStaticLow, sizeof kStaticLow);
    std::memcpy(pal + 246, kStaticHigh, sizeof kStaticHigh);
    if (ppdev->iBitmapFormat == BMF_8BPP)
        ppdev->hpalDefault = EngCreatePalette(PAL_INDEXED, 256, reinterpret_cast<ULONG *>(pal), 0, 0, 0);
    else
        ppdev->hpalDefault = EngCreatePalette(PAL_BITFIELDS, 0, nullptr, ppdev->flRed, ppdev->flGreen, ppdev->flBlue);
    pdi->hpalDefault = ppdev->hpalDefault;
    return ppdev->hpalDefault != nullptr;
}

void vFreePalette(ZK_PDEV *ppdev) {
    if (ppdev->hpalDefault) EngDeletePalette(ppdev->hpalDefault);
    if (ppdev->pPal) EngFreeMem(ppdev->pPal);
    ppdev->hpalDefault = nullptr;
    ppdev->pPal = nullptr;
}

BOOL bLoadDacFromPalette(ZK_PDEV *ppdev) {
    if (ppdev->iBitmapFormat != BMF_8BPP) {
        // At direct-colour depths the block is the gamma ramp: it starts as the identity, so a
        // client that reads the ramp before setting one gets a ramp and not the colour cube.
        for (unsigned n = 0; n < 256; ++n) ppdev->dacTransfer[n] = dacWord(n, n, n);
        return TRUE;
    }
    const auto *pal = static_cast<const PalEntry *>(ppdev->pPal);
    const ULONG shift = ppdev->cPaletteShift;
    for (unsigned n = 0; n < 256; ++n)
        ppdev->dacTransfer[n] = dacWord(pal[n].red >> shift, pal[n].green >> shift, pal[n].blue >> shift);
    if (ppdev->fifo) vSendDacBlock(ppdev, 0, 0xA0000);
    return TRUE;
}

extern "C" BOOL APIENTRY DrvSetPalette(DHPDEV dhpdev, PALOBJ *ppalo, FLONG, ULONG iStart, ULONG cColors) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    // The engine never asks for more than the DAC holds; a request that would run past the
    // block is refused rather than written over the rest of the device record.
    if (!ppdev || iStart > 256 || cColors > 256 - iStart) return FALSE;
    uint32_t *entries = ppdev->dacTransfer + iStart;
    if (PALOBJ_cGetColors(ppalo, iStart, cColors, reinterpret_cast<ULONG *>(entries)) != cColors) return FALSE;
    const ULONG shift = ppdev->cPaletteShift;
    for (ULONG i = 0; i < cColors; ++i) {
        PalEntry e;
        std::memcpy(&e, &entries[i], sizeof e);
        entries[i] = shift ? dacWord(e.red >> shift, e.green >> shift, e.blue >> shift) : dacWord(e.red, e.green, e.blue);
    }
    if (ppdev->fifo) vSendDacBlock(ppdev, 0, 0xA0000);
    return TRUE;
}

BOOL bSetGammaRamp(ZK_PDEV *ppdev, const uint16_t *ramp) {
    if (!ppdev || !ramp) return TRUE;
    for (unsigned n = 0; n < 256; ++n) {
        auto *e = reinterpret_cast<uint8_t *>(&ppdev->dacTransfer[n]);
        e[0] = static_cast<uint8_t>(ramp[n] >> 8);          // blue
        e[1] = static_cast<uint8_t>(ramp[256 + n] >> 8);    // green
        e[2] = static_cast<uint8_t>(ramp[512 + n] >> 8);    // red
    }
    if (!ppdev->fifo) return TRUE;   // the next load sends the stored block
    const bool bLocked = ppdev->bOpenGlActive != 0 && ppdev->engineSemaphore;
    if (bLocked) {
        EngAcquireSemaphore(ppdev->engineSemaphore);
        ppdev->usFifoFree = 0;
        if (ppdev->pfnSyncEngine) ppdev->pfnSyncEngine(ppdev);
    }
    vSendDacBlock(ppdev, 1, 0xA0001);
    if (bLocked) EngReleaseSemaphore(ppdev->engineSemaphore);
    return TRUE;
}

BOOL bGetGammaRamp(ZK_PDEV *ppdev, uint16_t *ramp) {
    if (!ppdev || !ramp) return TRUE;
    for (unsigned n = 0; n < 256; ++n) {
        const auto *e = reinterpret_cast<const uint8_t *>(&ppdev->dacTransfer[n]);
        ramp[n] = static_cast<uint16_t>(e[0] << 8);
        ramp[256 + n] = static_cast<uint16_t>(e[1] << 8);
        ramp[512 + n] = static_cast<uint16_t>(e[2] << 8);
    }
    return TRUE;
}

BOOL bResetGammaRamp(ZK_PDEV *ppdev) {
    uint16_t ramp[3 * 256];
    for (unsigned n = 0; n < 256; ++n) ramp[n] = ramp[256 + n] = ramp[512 + n] = static_cast<uint16_t>(n << 8);
    return bSetGammaRamp(ppdev, ramp);
}
