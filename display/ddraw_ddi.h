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

// A 4x4-subsampled planar surface (IF09, YVU9, IV32, IV31) of w x h: its Y plane has rows of
// (w + 3) & ~3 bytes and (h + 3) & ~3 rows, the V and U planes a quarter of that each way; these
// bytes (with room to spare, a multiple of 16) come first, the packed copy the overlay scans
// after them.
inline ULONG ulPlanar9Bytes(ULONG w, ULONG h) {
    const ULONG W4 = (w + 3) & ~3u, H4 = (h + 3) & ~3u;
    return ((W4 * H4 * 10) / 8 + 15) & ~15u;
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
