// DirectDraw on NT: what the driver reports, its heap over video memory, surfaces, locks, flips
// and the vertical-blank services.
#include <cstring>
#include <initializer_list>

#include "display/ddi.h"
#include "display/ddraw_ddi.h"
#include "display/ddraw_blt.h"
#include "display/ddraw_overlay.h"
#include "display/fifo.h"
#include "display/heap.h"

ZK_FLIP_STATE g_zkFlip;

namespace {

constexpr uint16_t kFifoEmpty = 124;
constexpr uint32_t kFlipObject = 0x000A00F1;
constexpr unsigned kFlipSub = 7, kLockSub = 2;

constexpr uint32_t kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y'), kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'),
                   kYvu9 = ZK_FOURCC('Y', 'V', 'U', '9'), kIv32 = ZK_FOURCC('I', 'V', '3', '2'),
                   kIv31 = ZK_FOURCC('I', 'V', '3', '1'), kIf09 = ZK_FOURCC('I', 'F', '0', '9'),
                   kYv12 = ZK_FOURCC('Y', 'V', '1', '2'), k420i = ZK_FOURCC('4', '2', '0', 'i');

bool bPlanar9(uint32_t c) { return c == kIf09 || c == kYvu9 || c == kIv32 || c == kIv31; }
bool bPlanar12(uint32_t c) { return c == kYv12 || c == k420i; }
bool bPacked(uint32_t c) { return c == kUyvy || c == kYuy2; }
// IF09 overlays are made only where the miniport allows them and never at 32 bpp.
bool bIf09Offered(const ZK_PDEV *ppdev) { return ppdev->ulIf09 && ppdev->cBitsPerPel != 32; }

ZK_PDEV *ppdevOfDd(ZK_DD_DIRECTDRAW_GLOBAL *lpDD) { return reinterpret_cast<ZK_PDEV *>(lpDD->dhpdev); }

DWORD dwDone(HRESULT_DD *pr, HRESULT_DD r) {
    *pr = r;
    return ZK_DDHAL_HANDLED;
}

void vDdFree(ZK_PDEV *ppdev, ULONG *pfp) {
    if (*pfp) vHeapFree(*pfp, ppdev->pDdHeap);
    *pfp = 0;
}

void vRegisterOverlay(ZK_PDEV *ppdev, ZK_DD_CREATESURFACEDATA *p, ZK_DD_SURFACE_LOCAL *lcl) {
    for (int i = 0; i < 10; ++i) {
        if (ppdev->apOverlaySurface[i]) continue;
        ppdev->apOverlaySurface[i] = lcl;
        if (i == 0) ppdev->iOverlayBuffer = 1;
        ppdev->pOverlaySurfaceList = p->lplpSList;
        ppdev->cOverlaySurfaces += 1;
        return;
    }
}

void vUnregisterOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lcl) {
    for (void *&slot : ppdev->apOverlaySurface) {
        if (slot != lcl) continue;
        slot = nullptr;
        if (ppdev->cOverlaySurfaces) ppdev->cOverlaySurfaces -= 1;
        if (ppdev->cOverlaySurfaces == 0) ppdev->pOverlaySurfaceList = nullptr;
    }
}

void vVideoMemory(DWORD *caps) { *caps = (*caps & ~ZK_DDSCAPS_SYSTEMMEMORY) | ZK_DDSCAPS_VIDEOMEMORY; }

// A planar overlay of a chain. The chain's images share one block, laid out on the rounded width
// the conversion reads: the first surface makes it, an image of S bytes for each of max(2, chain)
// surfaces. Each surface has a packed copy of its own (`packedBytes`), which the overlay scans;
// three copies are kept (first, second, other), so a longer chain is refused, and so is a
// surface whose image is larger than the block's: it would run into the next image or past the
// block. The chip scans an overlay from video memory, so that is where it lies, whatever its
// caps asked.
DWORD dwPlanarOverlay(ZK_PDEV *ppdev, ZK_DD_CREATESURFACEDATA *p, uint64_t S, uint64_t packedBytes) {
    ZK_DD_SURFACE_LOCAL *lcl = p->lplpSList[0];
    ZK_DD_SURFACE_GLOBAL *gbl = lcl->lpGbl;
    const ULONG index = !ppdev->fpPlanarBlock || !ppdev->fpPackedFirst ? 0 : !ppdev->fpPackedSecond ? 1 : 2;
    if (ppdev->fpPlanarBlock) {
        if ((index == 2 && ppdev->fpPackedOther) || index >= ppdev->cPlanarImages)
            return dwDone(&p->ddRVal, ZK_DDERR_OUTOFCAPS);
        if (S > ppdev->cjPlanarImage) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFVIDEOMEMORY);
    }
    // Only the new surface fails: the chain's other surfaces keep their memory.
    const ULONG packed = ulDdAlloc(ppdev, packedBytes);
    if (!packed) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFMEMORY);
    vVideoMemory(&lcl->ddsCaps.dwCaps);
    if (!ppdev->fpPlanarBlock) {
        const ULONG images = p->dwSCnt > 2 ? p->dwSCnt : 2;
        const ULONG offset = ulDdAlloc(ppdev, ullDdBlock(S, images));
        if (!offset) {
            vHeapFree(packed, ppdev->pDdHeap);
            return ZK_DDHAL_NOTHANDLED;
        }
        ppdev->fpPlanarBlock = offset;
        ppdev->cjPlanarImage = static_cast<ULONG>(S);   // the block, S x images, held in 32 bits
        ppdev->cPlanarImages = images;
    }
    gbl->fpVidMem = ppdev->fpPlanarBlock + index * ppdev->cjPlanarImage;
    (index == 0 ? ppdev->fpPackedFirst : index == 1 ? ppdev->fpPackedSecond : ppdev->fpPackedOther) = packed;
    if (index == 1) ppdev->fpPlanarSecond = gbl->fpVidMem;
    vRegisterOverlay(ppdev, p, lcl);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

// DirectDraw allocates the surface in the process's memory, rows of `pitch` bytes (the
// description's pitch) in a block of `size`. Rows or a block past what a signed pitch and the
// 32-bit size field hold could only be described wrapped, and no process holds them: refused.
DWORD dwUserMemory(ZK_DD_CREATESURFACEDATA *p, DWORD *caps, uint64_t pitch, uint64_t size) {
    if (pitch > kDdLargestBlock || size > kDdLargestBlock) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFMEMORY);
    ZK_DD_SURFACE_GLOBAL *gbl = p->lplpSList[0]->lpGbl;
    p->lpDDSurfaceDesc->lPitch = static_cast<LONG>(pitch);
    gbl->fpVidMem = ZK_DDHAL_PLEASEALLOC_USERMEM;
    gbl->dwBlockSizeX = static_cast<DWORD>(size);   // the user-memory size
    *caps = (*caps & ~ZK_DDSCAPS_VIDEOMEMORY) | ZK_DDSCAPS_SYSTEMMEMORY;
    return ZK_DDHAL_NOTHANDLED;
}

void vPlace(ZK_PDEV *ppdev, ZK_DD_SURFACE_GLOBAL *gbl, ULONG offset) {
    gbl->fpVidMem = offset;
    gbl->yHint = static_cast<LONG>(offset / static_cast<ULONG>(ppdev->lDelta));
    gbl->xHint = static_cast<LONG>((offset % static_cast<ULONG>(ppdev->lDelta)) / ppdev->cjPelSize);
}

// The size rule of flippable and visible surfaces: clamp what was not asked for, refuse what was.
bool bSizeFits(ZK_PDEV *ppdev, ZK_DDSURFACEDESC *d, HRESULT_DD *pr) {
    if (d->dwHeight > ppdev->cyScreen) {
        if (d->dwFlags & ZK_DDSD_HEIGHT) return *pr = ZK_DDERR_TOOBIGHEIGHT, false;
        d->dwHeight = ppdev->cyScreen;
    }
    if (d->dwWidth > ppdev->cxScreen) {
        if (d->dwFlags & ZK_DDSD_WIDTH) return *pr = ZK_DDERR_TOOBIGWIDTH, false;
        d->dwWidth = ppdev->cxScreen;
    }
    return true;
}

}  // namespace

ULONG ulDdAlloc(ZK_PDEV *ppdev, uint64_t size) {
    return size > 0xFFFFFFF0u ? 0 : ulHeapAlloc(static_cast<ULONG>(size), ppdev->pDdHeap);
}

// ---- reporting and enabling --------------------------------------------------------------------------

extern "C" BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV dhpdev, void *pHalInfo, DWORD *pdwNumHeaps, void *,
                                              DWORD *pdwNumFourCC, DWORD *pdwFourCC) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    *pdwNumFourCC = bIf09Offered(ppdev) ? 8 : 7;
    *pdwNumHeaps = 0;
    if (!(ppdev->flags & ZK_FLAG_HW_METHODS)) return FALSE;
    auto *hi = static_cast<ZK_DD_HALINFO *>(pHalInfo);
    hi->dwSize = sizeof(ZK_DD_HALINFO);
    ZK_VIDEOMEMORYINFO &vmi = hi->vmiData;
    vmi.pvPrimary = ppdev->frameBuffer;
    vmi.dwDisplayWidth = ppdev->cxScreen;
    vmi.dwDisplayHeight = ppdev->cyScreen;
    vmi.lDisplayPitch = ppdev->lDelta;
    vmi.ddpfDisplay.dwSize = sizeof(ZK_DDPIXELFORMAT);
    vmi.ddpfDisplay.dwFlags = ZK_DDPF_RGB | (ppdev->iBitmapFormat == BMF_8BPP ? ZK_DDPF_PALETTEINDEXED8 : 0);
    vmi.ddpfDisplay.dwRGBBitCount = ppdev->cBitsPerPel;
    vmi.ddpfDisplay.dwRBitMask = ppdev->flRed;
    vmi.ddpfDisplay.dwGBitMask = ppdev->flGreen;
    vmi.ddpfDisplay.dwBBitMask = ppdev->flBlue;
    vmi.dwOffscreenAlign = 4;
    vmi.dwOverlayAlign = 8;
    // What the blits and the overlay really do: fills, ROPs, stretches and shrinks along both
    // axes, YUY2 and UYVY sources (not at 8 bpp), source keys; an overlay of every listed code,
    // stretched any amount, shrunk across at will but down to half its height at most.
    ZK_DDCORECAPS &caps = hi->ddCaps;
    caps.dwCaps = ZK_DDCAPS_BLT | ZK_DDCAPS_BLTSTRETCH | ZK_DDCAPS_OVERLAY | ZK_DDCAPS_OVERLAYCANTCLIP |
                  ZK_DDCAPS_OVERLAYFOURCC | ZK_DDCAPS_OVERLAYSTRETCH | ZK_DDCAPS_READSCANLINE | ZK_DDCAPS_COLORKEY |
                  ZK_DDCAPS_BLTCOLORFILL | (ppdev->cBitsPerPel != 8 ? ZK_DDCAPS_BLTFOURCC : 0);
    caps.dwCKeyCaps = ZK_DDCKEYCAPS_DESTOVERLAY | ZK_DDCKEYCAPS_SRCBLT;
    caps.dwFXCaps |= ZK_DDFXCAPS_BLTSTRETCHX | ZK_DDFXCAPS_BLTSTRETCHY | ZK_DDFXCAPS_BLTSHRINKX | ZK_DDFXCAPS_BLTSHRINKY |
                     ZK_DDFXCAPS_OVERLAYSTRETCHX | ZK_DDFXCAPS_OVERLAYSTRETCHY | ZK_DDFXCAPS_OVERLAYSHRINKX |
                     ZK_DDFXCAPS_OVERLAYSHRINKY;
    caps.ddsCaps.dwCaps = 0x001002D0;
    caps.dwVidMemTotal = (ppdev->cyMemory - ppdev->cyScreen) * static_cast<ULONG>(ppdev->lDelta);
    caps.dwMaxVisibleOverlays = 1;
    caps.dwMinOverlayStretch = caps.dwMinLiveVideoStretch = caps.dwMinHwCodecStretch = 500;
    caps.dwMaxOverlayStretch = caps.dwMaxLiveVideoStretch = caps.dwMaxHwCodecStretch = 9999;
    if (pdwFourCC) {
        ULONG n = 0;
        for (uint32_t code : {kUyvy, kYuy2, kYvu9, kIv32, kIv31, kIf09, kYv12, k420i}) {
            if (code == kIf09 && !bIf09Offered(ppdev)) continue;
            pdwFourCC[n] = ppdev->aulFourCc[n] = code;
            ++n;
        }
        if (n < 8) ppdev->aulFourCc[n] = 0;
    }
    return TRUE;
}

extern "C" BOOL APIENTRY DrvEnableDirectDraw(DHPDEV dhpdev, void *pCallBacks, void *pSurfaceCallBacks, void *) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    auto *cb = static_cast<ZK_DD_CALLBACKS *>(pCallBacks);
    auto *scb = static_cast<ZK_DD_SURFACECALLBACKS *>(pSurfaceCallBacks);
    auto fn = [](auto f) { return reinterpret_cast<PFN_ZK_DD>(f); };
    cb->WaitForVerticalBlank = fn(DdWaitForVerticalBlank);
    cb->MapMemory = fn(DdMapMemory);
    cb->GetScanLine = fn(DdGetScanLine);
    cb->CreateSurface = fn(DdCreateSurface);
    cb->CanCreateSurface = fn(DdCanCreateSurface);
    cb->dwFlags = ZK_DDHAL_CB32_WAITFORVERTICALBLANK | ZK_DDHAL_CB32_MAPMEMORY | ZK_DDHAL_CB32_GETSCANLINE |
                  ZK_DDHAL_CB32_CREATESURFACE | ZK_DDHAL_CB32_CANCREATESURFACE;
    scb->Blt = fn(DdBlt);
    scb->Flip = fn(DdFlip);
    scb->Lock = fn(DdLock);
    scb->Unlock = fn(DdUnlock);
    scb->GetBltStatus = fn(DdGetBltStatus);
    scb->GetFlipStatus = fn(DdGetFlipStatus);
    scb->DestroySurface = fn(DdDestroySurface);
    scb->SetColorKey = fn(DdSetColorKey);
    scb->UpdateOverlay = fn(DdUpdateOverlay);
    scb->SetOverlayPosition = fn(DdSetOverlayPosition);
    scb->dwFlags = 0x33B;
    scb->dwFlags |= 0xC40;
    vResetOffscreenHeap(ppdev, TRUE);
    ppdev->flags |= ZK_FLAG_DDRAW_HEAP;
    return TRUE;
}

extern "C" void APIENTRY DrvDisableDirectDraw(DHPDEV dhpdev) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    vResetOffscreenHeap(ppdev, FALSE);
    ppdev->flags &= ~ZK_FLAG_DDRAW_HEAP;
}

void vResetOffscreenHeap(ZK_PDEV *ppdev, BOOL bEnable) {
    // Only a change of hands of video memory makes the OpenGL clients' view of it stale: a reset
    // that finds nothing to do leaves the counter (a give-up of the hardware raises it once).
    if (!bEnable == !ppdev->pDdHeap) return;
    DdEngineLock lock(ppdev);
    ppdev->modeChangeCounter += 1;
    if (ppdev->bOpenGlActive) vUpdateClientModeCounters(ppdev);
    // The planar block and the packed copies were blocks of the heap that goes: a later overlay
    // placed at their offsets would lie over whatever the next heap gives out there.
    ppdev->fpPlanarBlock = ppdev->fpPlanarSecond = 0;
    ppdev->fpPackedFirst = ppdev->fpPackedSecond = ppdev->fpPackedOther = 0;
    if (bEnable) {
        bMoveAllOffscreenToDib(ppdev);
        vHeapReset(0, ppdev->cjVideoMemory, &ppdev->pDdHeap);
        // The first block, at offset 0, is the visible screen.
        ulHeapAlloc(static_cast<ULONG>(ppdev->lDelta) * ppdev->cyScreen, ppdev->pDdHeap);
    } else {
        vHeapDestroy(&ppdev->pDdHeap);
    }
}

HRESULT_DD ulUpdateFlipStatus(ZK_PDEV *ppdev, ULONG fpVidMem) {
    ZK_FLIP_STATE &f = g_zkFlip;
    if (f.bPrimaryFlipPending && (fpVidMem == 0 || fpVidMem == f.fpPrimaryFlipFrom)) {
        if (ppdev->flipNotifier.status != 0) return ZK_DDERR_WASSTILLDRAWING;
        f.bPrimaryFlipPending = 0;
        return ZK_DD_OK;
    }
    if (f.bOverlayFlipPending && (fpVidMem == 0 || fpVidMem == f.fpOverlayFlipFrom)) {
        if (ppdev->overlayNotifier.status != 0) return ZK_DDERR_WASSTILLDRAWING;
        f.bOverlayFlipPending = 0;
    }
    return ZK_DD_OK;
}

HRESULT_DD hrAwaitFlip(ZK_PDEV *ppdev, ULONG fpVidMem, bool wait) {
    HRESULT_DD r = ulUpdateFlipStatus(ppdev, fpVidMem);
    if (r != ZK_DD_OK && wait) bChipWait(ppdev, [&] { return (r = ulUpdateFlipStatus(ppdev, fpVidMem)) == ZK_DD_OK; });
    return r;
}

// ---- surfaces ------------------------------------------------------------------------------------------

DWORD APIENTRY DdCanCreateSurface(ZK_DD_CANCREATESURFACEDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_DDSURFACEDESC *d = p->lpDDSurfaceDesc;
    DWORD &caps = d->ddsCaps.dwCaps;
    const ULONG bpp = ppdev->cBitsPerPel;
    const ZK_DDPIXELFORMAT &pf = d->ddpfPixelFormat;
    const bool b8or32 = bpp == 8 || bpp == 32;
    const bool overlay = caps & ZK_DDSCAPS_OVERLAY;
    auto refuse = [&](HRESULT_DD r) { return dwDone(&p->ddRVal, r); };
    auto accept = [&] { return dwDone(&p->ddRVal, ZK_DD_OK); };

    if (caps & (ZK_DDSCAPS_PALETTE | ZK_DDSCAPS_MODEX)) return ZK_DDHAL_NOTHANDLED;
    if (bpp == 8 && (caps & ZK_DDSCAPS_ALPHA)) return ZK_DDHAL_NOTHANDLED;
    if (p->bIsDifferentPixelFormat) {
        if (pf.dwFlags & ZK_DDPF_FOURCC) {
            const uint32_t code = pf.dwFourCC;
            if (bpp == 8 && code == 0) return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
            bool known = false;
            for (uint32_t c : ppdev->aulFourCc) known |= c == code;
            if (!known) return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
            if (overlay) {
                if (!bPacked(code) && !bPlanar9(code) && !bPlanar12(code)) return refuse(ZK_DDERR_UNSUPPORTEDFORMAT);
                if (code == kIf09 && bpp == 32) return refuse(ZK_DDERR_UNSUPPORTEDFORMAT);
                if ((d->dwFlags & ZK_DDSD_BACKBUFFERCOUNT) && d->dwBackBufferCount > 1 && bPacked(code))
                    return refuse(ZK_DDERR_INVALIDPARAMS);
                if (ppdev->cOverlaySurfaces > 0) return refuse(ZK_DDERR_OUTOFCAPS);
                if (!ppdev->bModeSetOk) return refuse(ZK_DDERR_NOOVERLAYHW);
            } else if (caps & (ZK_DDSCAPS_VIDEOMEMORY | ZK_DDSCAPS_OFFSCREENPLAIN)) {
                if (bPlanar9(code) || bPlanar12(code) || bpp == 8) return refuse(ZK_DDERR_UNSUPPORTEDFORMAT);
            }
            if (code) return accept();
            if ((bpp == 16 && pf.dwRGBBitCount != 0x400) || (bpp == 32 && pf.dwRGBBitCount != 0x100))
                return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
            return accept();
        }
        if (pf.dwFlags & ZK_DDPF_RGB) {
            if ((caps & ZK_DDSCAPS_3DDEVICE) && (pf.dwRGBBitCount == 8 || pf.dwRGBBitCount == 32))
                return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
            if (caps & (ZK_DDSCAPS_TEXTURE | ZK_DDSCAPS_OFFSCREENPLAIN)) {
                if (b8or32) {
                    p->ddRVal = ZK_DDERR_INVALIDPIXELFORMAT;
                    return ZK_DDHAL_NOTHANDLED;
                }
                if (pf.dwRGBBitCount == 16) return accept();
            }
            if (caps & ZK_DDSCAPS_ZBUFFER) {
                if (b8or32) return ZK_DDHAL_NOTHANDLED;
                if (pf.dwRGBBitCount == 16) return accept();
            }
            return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
        }
        if (pf.dwFlags & ZK_DDPF_ZBUFFER) {
            if ((caps & ZK_DDSCAPS_ZBUFFER) && b8or32) return ZK_DDHAL_NOTHANDLED;
            return accept();
        }
        return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
    }
    if ((caps & ZK_DDSCAPS_3DDEVICE) && !(caps & ZK_DDSCAPS_PRIMARYSURFACE) && b8or32)
        return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
    auto visible = [&] {
        if (overlay) return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
        if ((caps & ZK_DDSCAPS_FLIP) && !bSizeFits(ppdev, d, &p->ddRVal)) return ZK_DDHAL_HANDLED;
        return accept();
    };
    if (caps & (ZK_DDSCAPS_VISIBLE | ZK_DDSCAPS_PRIMARYSURFACE | ZK_DDSCAPS_FRONTBUFFER | ZK_DDSCAPS_BACKBUFFER))
        return visible();
    if (caps & ZK_DDSCAPS_TEXTURE) {
        if (b8or32) return refuse(ZK_DDERR_INVALIDPIXELFORMAT);
        caps = (caps & ~ZK_DDSCAPS_VIDEOMEMORY) | ZK_DDSCAPS_SYSTEMMEMORY;   // textures live in system memory
        return accept();
    }
    if (caps & ZK_DDSCAPS_OFFSCREENPLAIN) {
        if (!(caps & ZK_DDSCAPS_VIDEOMEMORY)) return accept();
        return visible();
    }
    if (caps & (ZK_DDSCAPS_ZBUFFER | ZK_DDSCAPS_VIDEOMEMORY | ZK_DDSCAPS_FLIP))
        return overlay ? refuse(ZK_DDERR_INVALIDPIXELFORMAT) : accept();
    if (caps & ZK_DDSCAPS_SYSTEMMEMORY) return accept();
    return ZK_DDHAL_NOTHANDLED;
}

DWORD APIENTRY DdCreateSurface(ZK_DD_CREATESURFACEDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_DD_SURFACE_LOCAL *lcl = p->lplpSList[0];
    ZK_DD_SURFACE_GLOBAL *gbl = lcl->lpGbl;
    ZK_DDSURFACEDESC *d = p->lpDDSurfaceDesc;
    DWORD &caps = lcl->ddsCaps.dwCaps;
    const ULONG w = gbl->wWidth, h = gbl->wHeight, bpp = ppdev->cBitsPerPel;
    ZK_DDPIXELFORMAT &pf = gbl->ddpfSurface;
    if (!ppdev->pDdHeap) return ZK_DDHAL_NOTHANDLED;

    // Sizes are worked out in 64 bits: a width whose rows wrap in 32 would get a block far
    // smaller than its rows. A block the heap gives is below kDdLargestBlock, and so its pitch.
    auto inVideo = [&](ULONG offset, uint64_t pitch) {
        vPlace(ppdev, gbl, offset);
        gbl->lPitch = static_cast<LONG>(pitch);
        d->lPitch = static_cast<LONG>(pitch);
        d->dwFlags |= ZK_DDSD_PITCH;
        vVideoMemory(&caps);
        return dwDone(&p->ddRVal, ZK_DD_OK);
    };
    if (!(pf.dwFlags & ZK_DDPF_FOURCC)) {
        // The engine draws and reads pixels of the screen's size only: rows of another size would
        // be read and written past their end, so such a surface is not made here.
        if ((pf.dwFlags & ZK_DDPF_RGB) && pf.dwRGBBitCount != bpp) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDPIXELFORMAT);
        const uint64_t pitch = (uint64_t{ppdev->cjPelSize} * w + 15) & ~uint64_t{15};
        const ULONG offset = ulDdAlloc(ppdev, ullDdBlock(pitch, h));
        return offset ? inVideo(offset, pitch) : ZK_DDHAL_NOTHANDLED;
    }
    const uint32_t code = pf.dwFourCC;
    if (code == 0) {
        caps |= ZK_DDSCAPS_HWCODEC;
        pf.dwRGBBitCount = bpp;
        pf.dwRGBAlphaBitMask = 0;
        if (bpp == 8) {
            pf.dwRBitMask = pf.dwGBitMask = pf.dwBBitMask = 0;
            pf.dwFlags |= ZK_DDPF_PALETTEINDEXED8;
        } else if (bpp == 16) {
            pf.dwRBitMask = 0x7C00, pf.dwGBitMask = 0x03E0, pf.dwBBitMask = 0x001F;
        } else {
            pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        }
        const uint64_t pitch = (uint64_t{bpp / 8} * w + 15) & ~uint64_t{15};
        if (caps & ZK_DDSCAPS_VIDEOMEMORY)
            if (const ULONG offset = ulDdAlloc(ppdev, ullDdBlock(pitch, h))) return inVideo(offset, pitch);
        d->dwFlags |= ZK_DDSD_PITCH;
        return dwUserMemory(p, &caps, pitch, ullDdBlock(pitch, h));
    }
    const bool overlay = (caps & ZK_DDSCAPS_OVERLAY) && (bPacked(code) || bPlanar9(code) || bPlanar12(code));
    if (overlay && ppdev->cOverlaySurfaces &&
        (p->lplpSList != ppdev->pOverlaySurfaceList || ppdev->cOverlaySurfaces + 1 >= 10))
        return dwDone(&p->ddRVal, ZK_DDERR_OUTOFCAPS);
    auto done = [&] {
        if (overlay) vRegisterOverlay(ppdev, p, lcl);
        return dwDone(&p->ddRVal, ZK_DD_OK);
    };
    const uint64_t P = ullPackedPitch(w), W4 = (uint64_t{w} + 3) & ~uint64_t{3};
    if (bPlanar9(code) || bPlanar12(code)) {
        // The packed copy's rows are the wider: a surface whose copy's rows no pitch holds has no
        // Y rows either.
        if (P > kDdLargestBlock) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFMEMORY);
        pf.dwRGBBitCount = bPlanar9(code) ? 9 : 12;
        pf.dwRBitMask = pf.dwGBitMask = pf.dwBBitMask = pf.dwRGBAlphaBitMask = 0;
        // Y rows on the rounded width the conversions read.
        gbl->lPitch = static_cast<LONG>(W4);
        gbl->fpVidMem = 0;
        gbl->dwReserved1 = 0;
        caps |= ZK_DDSCAPS_HWCODEC;
    }
    if (bPlanar9(code)) {
        const uint64_t size = ullDdBlock(P, h) + ullPlanar9Bytes(w, h);
        if (caps & ZK_DDSCAPS_VIDEOMEMORY) {
            if (const ULONG offset = ulDdAlloc(ppdev, size)) {
                gbl->fpVidMem = offset;
                vVideoMemory(&caps);
                return done();
            }
            if (overlay) return ZK_DDHAL_NOTHANDLED;
        }
        return dwUserMemory(p, &caps, W4, size);
    }
    if (bPlanar12(code)) {
        // 12 bits a pixel of rows a multiple of 4: W4 / 2 x 3 bytes a row pair, exact.
        const uint64_t h2 = (uint64_t{h} + 1) & ~uint64_t{1};
        const uint64_t S = ((W4 / 2) * h2 * 3 + 15) & ~uint64_t{15};
        // Nothing converts or scans a planar surface that is no overlay: it shares no block, and
        // lies in one of its own, in video memory or else in the process's.
        if (!overlay) {
            if (const ULONG offset = ulDdAlloc(ppdev, S)) {
                gbl->fpVidMem = offset;
                vVideoMemory(&caps);
                return done();
            }
            return dwUserMemory(p, &caps, W4, S);
        }
        return dwPlanarOverlay(ppdev, p, S, ullDdBlock(P, h2));
    }
    if (bPacked(code)) {
        pf.dwRGBBitCount = 16;
        if (code == kYuy2) pf.dwRBitMask = 0x00FF00FF, pf.dwGBitMask = 0x0000FF00, pf.dwBBitMask = 0xFF000000;
        else pf.dwRBitMask = 0xFF00FF00, pf.dwGBitMask = 0x000000FF, pf.dwBBitMask = 0x00FF0000;
        pf.dwRGBAlphaBitMask = 0;
        if (P > kDdLargestBlock) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFMEMORY);
        gbl->lPitch = static_cast<LONG>(P);
        d->dwFlags |= ZK_DDSD_PITCH;
        caps |= ZK_DDSCAPS_HWCODEC;
        if (const ULONG offset = ulDdAlloc(ppdev, ullDdBlock(P, h))) {
            gbl->fpVidMem = offset;
            vVideoMemory(&caps);
            return done();
        }
        if (overlay) return dwDone(&p->ddRVal, ZK_DDERR_OUTOFMEMORY);
        return dwUserMemory(p, &caps, P, ullDdBlock(P, h));
    }
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

DWORD APIENTRY DdDestroySurface(ZK_DD_DESTROYSURFACEDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_DD_SURFACE_LOCAL *lcl = p->lpDDSurface;
    ZK_DD_SURFACE_GLOBAL *gbl = lcl->lpGbl;
    const DWORD caps = lcl->ddsCaps.dwCaps;
    const bool overlay = caps & ZK_DDSCAPS_OVERLAY;
    const bool video = caps & ZK_DDSCAPS_VIDEOMEMORY;
    if (gbl->fpVidMem == 0) return dwDone(&p->ddRVal, ZK_DD_OK);
    if (overlay && (caps & (ZK_DDSCAPS_VISIBLE | ZK_DDSCAPS_FRONTBUFFER))) vSwitchOffOverlay(ppdev);
    // Memory the heap never gave (the process's own, or from a heap since dropped) is not freed here.
    auto free = [&] {
        if (ppdev->pDdHeap) vHeapFree(gbl->fpVidMem, ppdev->pDdHeap);
        gbl->fpVidMem = 0;
        return dwDone(&p->ddRVal, ZK_DD_OK);
    };
    const uint32_t code = (gbl->ddpfSurface.dwFlags & ZK_DDPF_FOURCC) ? gbl->ddpfSurface.dwFourCC : 0;
    if (code == 0) {
        if (video) return free();
        if (gbl->ddpfSurface.dwFlags & ZK_DDPF_FOURCC) p->ddRVal = ZK_DD_OK;
        return ZK_DDHAL_NOTHANDLED;
    }
    if (bPacked(code) || bPlanar9(code)) {
        if (overlay) vUnregisterOverlay(ppdev, lcl);
        return video && !(caps & ZK_DDSCAPS_SYSTEMMEMORY) ? free() : ZK_DDHAL_NOTHANDLED;
    }
    if (bPlanar12(code)) {
        if (overlay) vUnregisterOverlay(ppdev, lcl);
        if (!video) return ZK_DDHAL_NOTHANDLED;
        if (!overlay) return free();
        // The surface's own packed copy goes; the planar block goes with the chain's last
        // surface, whatever the order (the others' pictures live in it).
        if (gbl->fpVidMem == ppdev->fpPlanarBlock) {
            vDdFree(ppdev, &ppdev->fpPackedFirst);
        } else if (gbl->fpVidMem == ppdev->fpPlanarSecond) {
            ppdev->fpPlanarSecond = 0;
            vDdFree(ppdev, &ppdev->fpPackedSecond);
        } else {
            vDdFree(ppdev, &ppdev->fpPackedOther);
        }
        if (!ppdev->fpPackedFirst && !ppdev->fpPackedSecond && !ppdev->fpPackedOther) {
            vDdFree(ppdev, &ppdev->fpPlanarBlock);
            ppdev->fpPlanarSecond = 0;
        }
        gbl->fpVidMem = 0;
        return dwDone(&p->ddRVal, ZK_DD_OK);
    }
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

// ---- locks ---------------------------------------------------------------------------------------------

DWORD APIENTRY DdLock(ZK_DD_LOCKDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_DD_SURFACE_GLOBAL *gbl = p->lpDDSurface->lpGbl;
    const DWORD caps = p->lpDDSurface->ddsCaps.dwCaps;
    // The address of a rectangle past the surface would hand the program memory beyond it; so
    // would that of an empty one on its right or bottom edge, whose first pixel lies past it.
    if (p->bHasRect && (!bRectWithin(p->rArea, gbl) || int64_t{p->rArea.left} >= int64_t{gbl->wWidth} ||
                        int64_t{p->rArea.top} >= int64_t{gbl->wHeight}))
        return dwDone(&p->ddRVal, ZK_DDERR_INVALIDRECT);
    // A surface in DirectDraw's own memory in the process that was given none has no address.
    // One whose rows pass the end of the memory it lies in (the top of the address space, or
    // of video memory, where DirectDraw works the address out from the record) has none that
    // is right. Inside a block that fits, the 64-bit address of the rectangle does too.
    const bool system = caps & ZK_DDSCAPS_SYSTEMMEMORY;
    if (system && gbl->fpVidMem == 0) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);
    if (!bDdBlockWithin(gbl, system ? kProcessTop : ppdev->cjVideoMemory)) return dwDone(&p->ddRVal, ZK_DDERR_INVALIDPARAMS);
    if (system) {
        uint64_t a = gbl->fpVidMem;
        if (p->bHasRect)
            a += uint64_t{static_cast<ULONG>(p->rArea.top)} * static_cast<ULONG>(gbl->lPitch) +
                 ullDdRowOffset(gbl->ddpfSurface, static_cast<ULONG>(p->rArea.left));
        p->lpSurfData = reinterpret_cast<void *>(static_cast<ULONG_PTR>(a));
        return dwDone(&p->ddRVal, ZK_DD_OK);
    }
    if (!ppdev->fifo && (caps & ZK_DDSCAPS_VIDEOMEMORY)) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);
    vRetryStalledChip(ppdev);
    const HRESULT_DD r = hrAwaitFlip(ppdev, gbl->fpVidMem, (p->dwFlags & ZK_DDLOCK_WAIT) != 0);
    if (r != ZK_DD_OK) return dwDone(&p->ddRVal, r);
    if (!(caps & (ZK_DDSCAPS_VIDEOMEMORY | ZK_DDSCAPS_PRIMARYSURFACE)) || (caps & ZK_DDSCAPS_TEXTURE) ||
        (p->dwFlags & ZK_DDLOCK_READONLY))
        return ZK_DDHAL_NOTHANDLED;
    if (!ppdev->fifo) return ZK_DDHAL_NOTHANDLED;
    // A chip that did not come to rest within the limit: the pixels may still change, and the
    // caller hears so rather than reading them.
    if (ppdev->bOpenGlActive && ppdev->engineSemaphore) {
        DdEngineLock lock(ppdev);
        ppdev->usFifoFree = usFifoFree(ppdev, kLockSub);
        return ppdev->bChipStalled ? dwDone(&p->ddRVal, ZK_DDERR_WASSTILLDRAWING) : ZK_DDHAL_NOTHANDLED;
    }
    // The pixels may be read only once the engine has executed everything before the lock.
    ppdev->usFifoFree = usFifoFree(ppdev, kLockSub);
    if (ppdev->usFifoFree < kFifoEmpty) return dwDone(&p->ddRVal, ZK_DDERR_WASSTILLDRAWING);
    ppdev->lockNotifier.status = 0xFF;
    vFifoWrite(ppdev, kLockSub, 0x104, 0);
    vFifoWrite(ppdev, kLockSub, 0x3FC, 0);
    const bool done = bAwaitNotifier(ppdev, ppdev->lockNotifier.status);
    ppdev->usFifoFree = usFifoFree(ppdev, kLockSub);
    return done ? ZK_DDHAL_NOTHANDLED : dwDone(&p->ddRVal, ZK_DDERR_WASSTILLDRAWING);
}

DWORD APIENTRY DdUnlock(ZK_DD_UNLOCKDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    const DWORD caps = p->lpDDSurface->ddsCaps.dwCaps;
    if (!ppdev->fifo && (caps & ZK_DDSCAPS_VIDEOMEMORY)) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);
    // The conversion reads and writes video memory at the surface's offset: an overlay that
    // DirectDraw made in the process's memory has none.
    if ((caps & ZK_DDSCAPS_OVERLAY) && !(caps & ZK_DDSCAPS_SYSTEMMEMORY)) vConvertPlanarOverlay(ppdev, p->lpDDSurface);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

// ---- flips and status ----------------------------------------------------------------------------------

DWORD APIENTRY DdFlip(ZK_DD_FLIPDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    const bool wait = p->dwFlags & ZK_DDFLIP_WAIT;
    vRetryStalledChip(ppdev);
    const HRESULT_DD r = hrAwaitFlip(ppdev, 0, wait);
    if (r != ZK_DD_OK) return dwDone(&p->ddRVal, r);
    if (!ppdev->fifo) return dwDone(&p->ddRVal, ZK_DDERR_SURFACELOST);
    DdEngineLock lock(ppdev);
    uint16_t n = usFifoFree(ppdev, kFlipSub);
    const bool busy = n < kFifoEmpty || (ppdev->hw.pfnIsEngineBusy && ppdev->hw.pfnIsEngineBusy(ppdev));
    if (busy) {
        if (!wait) {
            ppdev->usFifoFree = n;
            return dwDone(&p->ddRVal, ZK_DDERR_WASSTILLDRAWING);
        }
        const bool room = bChipWait(ppdev, [&] { return (n = usFifoFree(ppdev, kFlipSub)) >= kFifoEmpty; });
        if (room && ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
        if (!room || ppdev->bChipStalled) {
            ppdev->usFifoFree = n;
            return dwDone(&p->ddRVal, ZK_DDERR_WASSTILLDRAWING);
        }
    }
    ppdev->usFifoFree = n;
    if (p->lpSurfTarg->ddsCaps.dwCaps & ZK_DDSCAPS_OVERLAY) {
        vFlipOverlay(ppdev, p->lpSurfCurr, p->lpSurfTarg);
        const HRESULT_DD done = hrAwaitFlip(ppdev, 0, wait);
        ppdev->usFifoFree = usFifoFree(ppdev, kFlipSub);
        return dwDone(&p->ddRVal, wait ? done : ZK_DD_OK);
    }
    ZK_DD_SURFACE_GLOBAL *targ = p->lpSurfTarg->lpGbl;
    g_zkFlip.fpPrimaryFlipFrom = p->lpSurfCurr->lpGbl->fpVidMem;
    g_zkFlip.bPrimaryFlipPending = 1;
    ppdev->flipNotifier.status = 0xFF;
    vReserve(ppdev, kFlipSub, 24);
    if (ppdev->subchannel7Object != kFlipObject) {
        vPut(ppdev, kFlipSub, 0, kFlipObject);
        ppdev->subchannel7Object = kFlipObject;
    }
    const uint32_t format = ppdev->cBitsPerPel == 8 ? 0x01010000u : ppdev->cBitsPerPel == 16 ? 0x01000000u : 1u;
    vPut(ppdev, kFlipSub, 0x310, targ->fpVidMem);
    vPut(ppdev, kFlipSub, 0x314, static_cast<uint32_t>(targ->lPitch));
    vPut(ppdev, kFlipSub, 0x318, targ->wHeight << 16 | (targ->wWidth & 0xFFFF));
    vPut(ppdev, kFlipSub, 0x31C, format);
    vPut(ppdev, kFlipSub, 0x320, 0);
    // The flip is queued either way; a waiting caller hears when the chip has not shown it yet.
    const HRESULT_DD done = hrAwaitFlip(ppdev, 0, wait);
    ppdev->usFifoFree = usFifoFree(ppdev, kFlipSub);
    return dwDone(&p->ddRVal, wait ? done : ZK_DD_OK);
}

DWORD APIENTRY DdGetFlipStatus(ZK_DD_GETFLIPSTATUSDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    HRESULT_DD r = ulUpdateFlipStatus(ppdev, 0);
    if (r == ZK_DD_OK && (p->dwFlags & ZK_DDGFS_CANFLIP) && ppdev->hw.pfnIsEngineBusy &&
        ppdev->hw.pfnIsEngineBusy(ppdev))
        r = ZK_DDERR_WASSTILLDRAWING;
    return dwDone(&p->ddRVal, r);
}

DWORD APIENTRY DdGetBltStatus(ZK_DD_GETBLTSTATUSDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    HRESULT_DD r;
    if (p->dwFlags == ZK_DDGBS_CANBLT) {
        r = ulUpdateFlipStatus(ppdev, p->lpDDSurface->lpGbl->fpVidMem);
        if (r == ZK_DD_OK && ppdev->hw.pfnIsFifoEmpty && !ppdev->hw.pfnIsFifoEmpty(ppdev)) r = ZK_DDERR_WASSTILLDRAWING;
    } else {
        r = ppdev->hw.pfnIsEngineBusy && ppdev->hw.pfnIsEngineBusy(ppdev) ? ZK_DDERR_WASSTILLDRAWING : ZK_DD_OK;
    }
    return dwDone(&p->ddRVal, r);
}

DWORD APIENTRY DdGetScanLine(ZK_DD_GETSCANLINEDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    if (ppdev->hw.pfnInVerticalBlank(ppdev)) return dwDone(&p->ddRVal, ZK_DDERR_VERTICALBLANKINPROGRESS);
    p->dwScanLine = ppdev->hw.pfnGetScanLine(ppdev);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

DWORD APIENTRY DdWaitForVerticalBlank(ZK_DD_WAITFORVERTICALBLANKDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    const ZK_HW_METHODS &hw = ppdev->hw;
    switch (p->dwFlags) {
    case ZK_DDWAITVB_BLOCKBEGIN:
        hw.pfnWaitVerticalBlankEnd(ppdev);
        hw.pfnWaitVerticalBlankStart(ppdev);
        break;
    case ZK_DDWAITVB_BLOCKEND:
        hw.pfnWaitVerticalBlankStart(ppdev);
        hw.pfnWaitVerticalBlankEnd(ppdev);
        break;
    case ZK_DDWAITVB_I_TESTVB:
        p->bIsInVB = hw.pfnInVerticalBlank(ppdev) ? 1 : 0;
        break;
    default:
        return ZK_DDHAL_NOTHANDLED;
    }
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

DWORD APIENTRY DdMapMemory(ZK_DD_MAPMEMORYDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_VIDEO_SHARE_MEMORY share{};
    share.ProcessHandle = p->hProcess;
    if (p->bMap) {
        share.ViewSize = (static_cast<ULONG>(ppdev->lDelta) * ppdev->cyMemory + 0xFFFF) & ~0xFFFFu;
        ZK_VIDEO_SHARE_MEMORY_INFORMATION info{};
        DWORD returned = 0;
        if (EngDeviceIoControl(ppdev->hDriver, ZK_IOCTL_VIDEO_SHARE_VIDEO_MEMORY, &share, sizeof share, &info,
                               sizeof info, &returned))
            return dwDone(&p->ddRVal, ZK_DDERR_GENERIC);
        p->fpProcess = reinterpret_cast<ULONG_PTR>(info.VirtualAddress);
    } else {
        share.RequestedVirtualAddress = reinterpret_cast<void *>(p->fpProcess);
        DWORD returned = 0;
        EngDeviceIoControl(ppdev->hDriver, ZK_IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY, &share, sizeof share, nullptr, 0,
                           &returned);
    }
    return dwDone(&p->ddRVal, ZK_DD_OK);
}

DWORD APIENTRY DdSetColorKey(ZK_DD_SETCOLORKEYDATA *p) {
    ZK_PDEV *ppdev = ppdevOfDd(p->lpDD);
    ZK_DDCOLORKEY key{p->ckNew.dwColorSpaceLowValue & ppdev->ulColorBits,
                      p->ckNew.dwColorSpaceHighValue & ppdev->ulColorBits};
    if (p->dwFlags == ZK_DDCKEY_SRCBLT) p->lpDDSurface->ddckCKSrcBlt = key;
    else if (p->dwFlags == ZK_DDCKEY_DESTOVERLAY) p->lpDDSurface->ddckCKDestOverlay = key;
    else return dwDone(&p->ddRVal, ZK_DDERR_UNSUPPORTED);
    return dwDone(&p->ddRVal, ZK_DD_OK);
}
