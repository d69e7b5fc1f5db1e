// The NT DirectDraw driver interface as kivdisp implements it: its callbacks and the state they
// share. The records themselves are the engine's (platform/ntgdi/ddraw_ddi.h).
#pragma once
#include "display/driver.h"
#include "platform/ntgdi/ddraw_ddi.h"

// ---- the driver's callbacks ------------------------------------------------------------------------
DWORD APIENTRY DdCanCreateSurface(ZK_DD_CANCREATESURFACEDATA *p);
DWORD APIENTRY DdCreateSurface(ZK_DD_CREATESURFACEDATA *p);
DWORD APIENTRY DdDestroySurface(ZK_DD_DESTROYSURFACEDATA *p);
DWORD APIENTRY DdLock(ZK_DD_LOCKDATA *p);
DWORD APIENTRY DdUnlock(ZK_DD_UNLOCKDATA *p);
DWORD APIENTRY DdFlip(ZK_DD_FLIPDATA *p);
DWORD APIENTRY DdGetFlipStatus(ZK_DD_GETFLIPSTATUSDATA *p);
DWORD APIENTRY DdGetBltStatus(ZK_DD_GETBLTSTATUSDATA *p);
DWORD APIENTRY DdGetScanLine(ZK_DD_GETSCANLINEDATA *p);
DWORD APIENTRY DdWaitForVerticalBlank(ZK_DD_WAITFORVERTICALBLANKDATA *p);
DWORD APIENTRY DdMapMemory(ZK_DD_MAPMEMORYDATA *p);
DWORD APIENTRY DdSetColorKey(ZK_DD_SETCOLORKEYDATA *p);
DWORD APIENTRY DdBlt(ZK_DD_BLTDATA *p);
DWORD APIENTRY DdUpdateOverlay(ZK_DD_UPDATEOVERLAYDATA *p);
DWORD APIENTRY DdSetOverlayPosition(ZK_DD_SETOVERLAYPOSITIONDATA *p);

// The largest row or block of a surface: what a signed 32-bit pitch or offset reaches, more than
// video memory or a process's memory holds. Sizes are worked out in 64 bits from the 32-bit
// width and height and compared with it before they go into the 32-bit fields of the records.
constexpr uint64_t kDdLargestBlock = 0x7FFFFFFF;

// The end of a process's memory: a block of DirectDraw's own lies below it, and so does the
// address just past the block.
constexpr uint64_t kProcessTop = 0xFFFFFFFF;

// h rows of `pitch` bytes; when the rows alone are past the largest block, a figure past every
// limit (the product never wraps, nor does an offset added to it).
inline uint64_t ullDdBlock(uint64_t pitch, uint64_t h) { return pitch > kDdLargestBlock ? ~uint64_t{0} >> 1 : pitch * h; }

// `size` bytes of the DirectDraw heap: the offset, or 0 when the heap has no room or the size is
// past what it can hold.
ULONG ulDdAlloc(ZK_PDEV *ppdev, uint64_t size);

// The pitch of a packed 16-bit copy of a surface w pixels wide (pairs of pixels, rows of 16 bytes).
inline uint64_t ullPackedPitch(uint64_t w) { return (((w + 1) & ~uint64_t{1}) * 2 + 15) & ~uint64_t{15}; }

// A 4x4-subsampled planar surface (IF09, YVU9, IV32, IV31) of w x h: its Y plane has rows of
// (w + 3) & ~3 bytes and (h + 3) & ~3 rows, the V and U planes a quarter of that each way; these
// bytes (with room to spare, a multiple of 16) come first, the packed copy the overlay scans
// after them. Exact for every width whose packed rows a pitch holds (below 2^30).
inline uint64_t ullPlanar9Bytes(uint64_t w, uint64_t h) {
    const uint64_t W4 = (w + 3) & ~uint64_t{3}, H4 = (h + 3) & ~uint64_t{3};
    return ((W4 / 4) * H4 * 5 + 15) & ~uint64_t{15};   // W4 x H4 x 10 / 8, exact as W4 is a multiple of 4
}

// Bytes from the start of a row to pixel x: whole bytes a pixel for FOURCC surfaces (two for the
// packed codes, one for the Y plane of the planar ones), for the others the byte that holds the
// pixel's first bit (a 4-bit surface has two pixels to a byte).
inline uint64_t ullDdRowOffset(const ZK_DDPIXELFORMAT &pf, uint64_t x) {
    return (pf.dwFlags & ZK_DDPF_FOURCC) ? x * (pf.dwRGBBitCount / 8) : x * pf.dwRGBBitCount / 8;
}

// Whether a surface's record describes memory below `limit`: rows of a positive pitch that hold
// its width, wHeight of them from fpVidMem. Every address worked out from the record inside its
// rectangle then lies in that memory.
inline bool bDdBlockWithin(const ZK_DD_SURFACE_GLOBAL *s, uint64_t limit) {
    const ZK_DDPIXELFORMAT &pf = s->ddpfSurface;
    const uint64_t rowEnd = (pf.dwFlags & ZK_DDPF_FOURCC) ? ullDdRowOffset(pf, s->wWidth)
                                                          : (uint64_t{s->wWidth} * pf.dwRGBBitCount + 7) / 8;
    return s->lPitch > 0 && rowEnd <= static_cast<uint64_t>(s->lPitch) &&
           s->fpVidMem + ullDdBlock(static_cast<uint64_t>(s->lPitch), s->wHeight) <= limit;
}

// Whether `r` is an ordered rectangle (empty allowed) inside a surface of `surface`'s size. The
// runtime passes a program's rectangles on unchecked; every entry that reads or writes pixels
// asks this before it subtracts one edge from another or touches memory.
inline bool bRectWithin(const RECTL &r, const ZK_DD_SURFACE_GLOBAL *surface) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<int64_t>(r.right) <= static_cast<int64_t>(surface->wWidth) &&
           static_cast<int64_t>(r.bottom) <= static_cast<int64_t>(surface->wHeight);
}

// Driver-wide flip tracking.
struct ZK_FLIP_STATE {
    ULONG bPrimaryFlipPending, fpPrimaryFlipFrom, bOverlayFlipPending, fpOverlayFlipFrom;
};
extern ZK_FLIP_STATE g_zkFlip;
HRESULT_DD ulUpdateFlipStatus(ZK_PDEV *ppdev, ULONG fpVidMem);
// The flip status, waited out (within the chip-wait limit) when `wait` is set: a flip the chip
// never completes leaves ZK_DDERR_WASSTILLDRAWING rather than a call that never returns.
HRESULT_DD hrAwaitFlip(ZK_PDEV *ppdev, ULONG fpVidMem, bool wait);
// Overlay work the overlay code does (switch-off before a visible overlay goes; planar conversion at unlock).
void vSwitchOffOverlay(ZK_PDEV *ppdev);
void vConvertPlanarOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lcl);
