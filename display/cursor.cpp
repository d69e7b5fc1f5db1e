// The hardware pointer: a 32 x 32 image of 1-5-5-5 pixels that the chip reads from the "cursor"
// region of video memory (four cached monochrome shapes and a working image), placed through the
// position register and found through CRTC registers 0x30 and 0x31.
#include <cstring>

#include "display/ddi.h"
#include "display/fifo.h"

namespace {

constexpr ULONG kRegionBytes = 0x5000;
constexpr ULONG kSlotBytes = 0x1000;
constexpr ULONG kWorkingImage = 0x4000;
constexpr ULONG kImageBytes = 2048;
constexpr ULONG kSps_Decline = 1, kSps_AcceptNoExclude = 2;
constexpr uint32_t kNoShape = 0x12345678;   // a checksum never looked up

void vIndexed(uint8_t *block, uint32_t port, uint8_t index, uint8_t value) {
    WRITE_REGISTER_UCHAR(block + port, index);
    WRITE_REGISTER_UCHAR(block + port + 1, value);
}

bool bIsZk4(const ZK_PDEV *ppdev) { return (ppdev->chipFlags & ZK_CHIP_FLAG_ZK4) != 0; }
bool bNoPointer(const ZK_PDEV *ppdev) { return (ppdev->chipFlags & ZK_MODE_960x720) != 0; }
uint8_t *pRegion(ZK_PDEV *ppdev) { return static_cast<uint8_t *>(ppdev->cursorMemory); }

void vUnlockExtended(ZK_PDEV *ppdev) {
    if (bIsZk4(ppdev)) vIndexed(ppdev->crtcRegs, 0x3D4, 0x1F, 0x57);
    else vIndexed(ppdev->seqRegs, 0x3C4, 6, 0x57);
}

// The chip shows the image at this offset of the cursor region.
void vPointAt(ZK_PDEV *ppdev, ULONG regionOffset) {
    const uint32_t a = ppdev->cursorOffset + regionOffset;
    vIndexed(ppdev->crtcRegs, 0x3D4, 0x30, static_cast<uint8_t>(a >> 16));
    vIndexed(ppdev->crtcRegs, 0x3D4, 0x31, static_cast<uint8_t>(((a >> 11) & 0x1F) << 3));
}

void vMovePointer(ZK_PDEV *ppdev, LONG x, LONG y) {
    if (x == -1) return;
    ZK_POINTER &pt = ppdev->pointer;
    LONG dx = x - pt.xHot, dy = y - pt.yHot;
    if (ppdev->cyScreen < 400) dy *= 2;   // double-scanned modes
    const uint32_t *hc = ppdev->hardwareConfig;
    if (hc[0]) {
        dx += static_cast<LONG>(hc[6]);
        if (hc[5]) {
            // A scaled output: the position follows the scale (a zero scale is left unscaled).
            if (hc[4]) dy = static_cast<LONG>(uint64_t{static_cast<uint16_t>(dy)} * 0x100000u / hc[4] & 0xFFFF);
            if (hc[3]) dx = static_cast<LONG>(uint64_t{static_cast<uint16_t>(dx)} * 0x100000u / hc[3] & 0xFFFF);
        } else if (pRegion(ppdev)) {
            // This output shows nothing below scan line 475: rows that would reach it are cleared.
            std::memcpy(pt.ausScratch, pt.ausImage, kImageBytes);
            if (dy >= 445)
                for (LONG i = 31; i >= 0 && i >= 476 - dy; --i) std::memset(&pt.ausScratch[i * 32], 0, 64);
            std::memcpy(pRegion(ppdev) + kWorkingImage, pt.ausScratch, kImageBytes);
        }
    }
    WRITE_REGISTER_ULONG(ppdev->regRange7, static_cast<uint32_t>(static_cast<uint16_t>(dy)) << 16 |
                                                static_cast<uint16_t>(dx));
}

// Every caller hides: a new shape or a move shows the pointer again.
void vShowPointer(ZK_PDEV *ppdev, BOOL) {
    vMovePointer(ppdev, static_cast<LONG>(ppdev->cxScreen) + 64, static_cast<LONG>(ppdev->cyScreen) + 64);
}

void vLoadPointer(ZK_PDEV *ppdev, LONG x, LONG y, LONG xHot, LONG yHot, const uint16_t *pImage) {
    ppdev->pointer.xHot = xHot;
    ppdev->pointer.yHot = yHot;
    std::memcpy(pRegion(ppdev) + kWorkingImage, pImage, kImageBytes);
    vMovePointer(ppdev, x, y);
}

void vEnablePointer(ZK_PDEV *ppdev, BOOL bEnable) {
    ZK_POINTER &pt = ppdev->pointer;
    if (bEnable) {
        uint32_t address = 0;
        ppdev->cursorOffset = kRegionBytes;
        if (usRmGetMemoryRegion(ppdev->hDriver, ZK_RM_REGION_CURSOR, &address, &ppdev->cursorOffset) != 0 ||
            !address) {
            ppdev->flags |= ZK_FLAG_NO_CURSOR_MEMORY;
            ppdev->cursorMemory = nullptr;
            return;
        }
        ppdev->flags &= ~ZK_FLAG_NO_CURSOR_MEMORY;
        ppdev->cursorMemory = reinterpret_cast<void *>(static_cast<uintptr_t>(address));
        vUnlockExtended(ppdev);
        std::memset(ppdev->cursorMemory, 0, kRegionBytes);
        // The cleared region holds no shape any more.
        std::memset(pt.abSlotValid, 0, sizeof pt.abSlotValid);
        return;
    }
    if ((ppdev->flags & ZK_FLAG_NO_CURSOR_MEMORY) || !ppdev->cursorMemory) return;
    vShowPointer(ppdev, FALSE);
    usRmReleaseMemoryRegion(ppdev->hDriver, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ppdev->cursorMemory)));
    ppdev->cursorMemory = nullptr;
    std::memset(pt.abSlotValid, 0, sizeof pt.abSlotValid);
}

// The 32 x 64 mask (AND over XOR) as 256 packed bytes; false when it is not that size.
bool bGatherMask(SURFOBJ *psoMask, uint8_t *pMask) {
    if (!psoMask || psoMask->sizlBitmap.cx != 32 || psoMask->sizlBitmap.cy != 64 || !psoMask->pvScan0) return false;
    for (int row = 0; row < 64; ++row)
        std::memcpy(pMask + row * 4, static_cast<const uint8_t *>(psoMask->pvScan0) + row * psoMask->lDelta, 4);
    return true;
}

uint16_t us555(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

// A colour pointer's image; false for sources the chip cannot show. Indexed pixels take their
// colours from the translation's source palette (the one the image was made with), and from
// the driver's own palette only when the translation has none.
bool bBuildColorImage(ZK_PDEV *ppdev, SURFOBJ *psoColor, XLATEOBJ *pxlo, const uint8_t *pMask, uint16_t *pImage) {
    const ZK_SURFACE_PLACE place = placeOf(ppdev, psoColor);
    const uint8_t *bits;
    LONG stride;
    if (place.bVideo && !place.bScreen) {
        bits = place.pBits;
        stride = static_cast<LONG>(place.pitch);
    } else if (place.psoDib) {
        bits = static_cast<const uint8_t *>(place.psoDib->pvScan0);
        stride = place.psoDib->lDelta;
    } else {
        bits = static_cast<const uint8_t *>(psoColor->pvScan0);
        stride = psoColor->lDelta;
    }
    if (!bits || psoColor->sizlBitmap.cx < 32 || psoColor->sizlBitmap.cy < 32) return false;
    const ULONG format = place.pdsurf ? ppdev->iBitmapFormat : psoColor->iBitmapFormat;
    struct Rgb { uint8_t red, green, blue, flags; };
    static_assert(sizeof(Rgb) == sizeof(ULONG));
    const auto *pal = static_cast<const Rgb *>(ppdev->pPal);
    ULONG translated[256];
    if (format == BMF_8BPP && pxlo && XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, 256, translated) == 256)
        pal = reinterpret_cast<const Rgb *>(translated);
    if (format == BMF_8BPP && !pal) return false;
    if (format != BMF_8BPP && format != BMF_16BPP && format != BMF_32BPP) return false;
    for (int y = 0; y < 32; ++y) {
        const uint8_t *row = bits + y * stride;
        for (int x = 0; x < 32; ++x) {
            const bool opaque = !((pMask[y * 4 + x / 8] >> (7 - (x & 7))) & 1);
            uint16_t v;
            if (format == BMF_8BPP) {
                const Rgb &c = pal[row[x]];
                v = us555(c.red, c.green, c.blue);
            } else if (format == BMF_16BPP) {
                std::memcpy(&v, row + x * 2, 2);
                v &= 0x7FFF;
            } else {
                uint32_t p;
                std::memcpy(&p, row + x * 4, 4);
                v = us555(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF);
            }
            pImage[y * 32 + x] = static_cast<uint16_t>(v | (opaque ? 0x8000 : 0));
        }
    }
    return true;
}

ULONG ulSetMonochrome(ZK_PDEV *ppdev, const uint8_t *pMask, LONG xHot, LONG yHot, LONG x, LONG y) {
    ZK_POINTER &pt = ppdev->pointer;
    const uint32_t *hc = ppdev->hardwareConfig;
    if (hc[0] && !hc[5]) {
        // This output clips the working image at the bottom, so the shape goes there.
        vExpandPointerMask(pMask, pt.ausImage);
        vPointAt(ppdev, kWorkingImage);
        pt.pfnLoadPointer(ppdev, x, y, xHot, yHot, pt.ausImage);
        return kSps_AcceptNoExclude;
    }
    const uint32_t sum = ulPointerMaskChecksum(pMask);
    int found = -1;
    if (sum != kNoShape)
        for (int i = 0; i < 4; ++i)
            if (pt.abSlotValid[i] && ppdev->aulShapeHash[i] == sum && !std::memcmp(pt.aabSlotMask[i], pMask, 256))
                found = i;
    if (found < 0) {
        const ULONG slot = pt.iNextSlot;
        ppdev->aulShapeHash[slot] = sum;
        std::memcpy(pt.aabSlotMask[slot], pMask, 256);
        pt.abSlotValid[slot] = 1;
        vExpandPointerMask(pMask, reinterpret_cast<uint16_t *>(pRegion(ppdev) + slot * kSlotBytes));
        vPointAt(ppdev, slot * kSlotBytes);
        pt.iNextSlot = (slot + 1) % 4;
    } else {
        vUnlockExtended(ppdev);
        vPointAt(ppdev, static_cast<ULONG>(found) * kSlotBytes);
    }
    pt.xHot = xHot;
    pt.yHot = yHot;
    pt.pfnMovePointer(ppdev, x, y);
    return kSps_AcceptNoExclude;
}

}  // namespace

BOOL bInitPointer(ZK_PDEV *ppdev) {
    if (bNoPointer(ppdev)) return TRUE;
    ZK_POINTER &pt = ppdev->pointer;
    pt.pfnShowPointer = vShowPointer;
    pt.pfnMovePointer = vMovePointer;
    pt.pfnLoadPointer = vLoadPointer;
    pt.pfnEnablePointer = vEnablePointer;   // the unlock inside follows the chip
    vAssertModePointer(ppdev, TRUE);
    return TRUE;
}

void vAssertModePointer(ZK_PDEV *ppdev, BOOL bEnable) {
    ppdev->pointer.ulReset = 0;
    if (bNoPointer(ppdev) || !ppdev->pointer.pfnEnablePointer) return;
    ppdev->pointer.pfnEnablePointer(ppdev, bEnable);
}

extern "C" void APIENTRY DrvMovePointer(SURFOBJ *pso, LONG x, LONG y, RECTL *) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(pso->dhpdev);
    ZK_POINTER &pt = ppdev->pointer;
    if (bNoPointer(ppdev) || !pt.pfnMovePointer || !ppdev->cursorMemory) return;
    if (x == -1) pt.pfnShowPointer(ppdev, FALSE);
    else pt.pfnMovePointer(ppdev, x, y);
}

extern "C" ULONG APIENTRY DrvSetPointerShape(SURFOBJ *pso, SURFOBJ *psoMask, SURFOBJ *psoColor, void *pvXlate, LONG xHot,
                                             LONG yHot, LONG x, LONG y, RECTL *, FLONG) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(pso->dhpdev);
    ZK_POINTER &pt = ppdev->pointer;
    // Without the pointer methods or the region the engine draws the pointer itself.
    if (bNoPointer(ppdev) || !pt.pfnShowPointer || !ppdev->cursorMemory) return kSps_Decline;
    pt.pfnShowPointer(ppdev, FALSE);
    uint8_t mask[256];
    if (!bGatherMask(psoMask, mask)) return kSps_Decline;
    if (!psoColor) return ulSetMonochrome(ppdev, mask, xHot, yHot, x, y);
    if (!(ppdev->chipFlags & (ZK_CHIP_FLAG_ZK3 | ZK_CHIP_FLAG_ZK4))) return kSps_Decline;
    if (!bBuildColorImage(ppdev, psoColor, static_cast<XLATEOBJ *>(pvXlate), mask, pt.ausImage)) return kSps_Decline;
    vPointAt(ppdev, kWorkingImage);
    pt.pfnLoadPointer(ppdev, x, y, xHot, yHot, pt.ausImage);
    return kSps_AcceptNoExclude;
}
