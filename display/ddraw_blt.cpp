// DirectDraw blits on the engine: fills, the constant and pattern ROPs, copies between
// video-memory surfaces and uploads of other sources, with source colour keying. Stretched
// blits are left to DirectDraw (it stretches in software).
#include "display/ddraw_blt.h"

#include "display/blt.h"
#include "display/fifo.h"
#include "display/heap.h"

namespace {

constexpr uint32_t kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y'), kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2');
constexpr uint32_t kKeyObject = 0xA0007;

ZK_PDEV *ppdevOf(ZK_DD_BLTDATA *p) { return reinterpret_cast<ZK_PDEV *>(p->lpDD->dhpdev); }

DWORD dwDone(ZK_DD_BLTDATA *p, HRESULT_DD r) {
    p->ddRVal = r;
    return ZK_DDHAL_HANDLED;
}

LONG width(const RECTL &r) { return r.right - r.left; }
LONG height(const RECTL &r) { return r.bottom - r.top; }

// What sets the three screen depths apart.
template <unsigned Bpp> struct Depth;
template <> struct Depth<8> {
    static constexpr uint32_t keyBits = 0xFF00, alignMask = 3;  // pixels of a dword
    static constexpr bool capsFirst = false, clipUpload = true;
    static constexpr DWORD rMask = 0, gMask = 0, bMask = 0;
    static constexpr bool yuv = false;
};
template <> struct Depth<16> {
    static constexpr uint32_t keyBits = 0x8000, alignMask = 1;
    static constexpr bool capsFirst = true, clipUpload = true;
    static constexpr DWORD rMask = 0x7C00, gMask = 0x03E0, bMask = 0x001F;
    static constexpr bool yuv = true;
};
template <> struct Depth<32> {
    static constexpr uint32_t keyBits = 0xFF000000u, alignMask = 0;
    static constexpr bool capsFirst = false, clipUpload = false;
    static constexpr DWORD rMask = 0xFF0000, gMask = 0xFF00, bMask = 0xFF;
    static constexpr bool yuv = true;
};

void vSetDestination(ZK_PDEV *ppdev, const ZK_DD_SURFACE_LOCAL *lcl) {
    vSetDestinationSurface(ppdev, lcl->lpGbl->fpVidMem, static_cast<uint32_t>(lcl->lpGbl->lPitch));
}

// A solid rectangle of `color` with `rop3` over rDest.
void vSolid(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, uint32_t color) {
    vSetDestination(ppdev, p->lpDDDestSurface);
    vReserve(ppdev, ZK_SUB_MONO, 16);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_COLOR, color);
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_POINT, static_cast<uint32_t>(p->rDest.left) << 16 | (p->rDest.top & 0xFFFF));
    vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_SIZE,
         static_cast<uint32_t>(width(p->rDest)) << 16 | (height(p->rDest) & 0xFFFF));
}

void vSourceKey(ZK_PDEV *ppdev, uint32_t value) {
    vReserve(ppdev, ZK_SUB_SURFACE, 8);
    if (ppdev->subchannel7Object != kKeyObject) {
        vPut(ppdev, ZK_SUB_SURFACE, 0, kKeyObject);
        ppdev->subchannel7Object = kKeyObject;
    }
    vPut(ppdev, ZK_SUB_SURFACE, 0x304, value);
}

// The source read by the CPU and fed to the image object, line by line (bottom up when mirrored).
template <unsigned Bpp> void vUpload(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p, uint32_t rop3, bool mirror, bool video) {
    constexpr uint32_t bytes = Bpp / 8;
    const ZK_DD_SURFACE_GLOBAL *s = p->lpDDSrcSurface->lpGbl;
    const LONG w = width(p->rDest), h = height(p->rDest);
    const uint32_t a = static_cast<uint32_t>(p->rSrc.left) & Depth<Bpp>::alignMask;
    const uint32_t n = static_cast<uint32_t>(w) + a;
    const uint32_t line = (n * bytes + 3) & ~3u;
    const uint8_t *base = video ? ppdev->frameBuffer + s->fpVidMem
                                : reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(s->fpVidMem));
    const LONG firstLine = mirror ? p->rSrc.bottom - 1 : p->rSrc.top;
    const uint8_t *src = base + static_cast<intptr_t>(firstLine) * s->lPitch +
                         static_cast<intptr_t>(p->rSrc.left - static_cast<LONG>(a)) * bytes;
    vSetDestination(ppdev, p->lpDDDestSurface);
    if (Depth<Bpp>::clipUpload) {
        // The clip hides the pixels fed in front of a source that does not start on a dword.
        vReserve(ppdev, ZK_SUB_CLIP, 24);
        vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_POINT, ulPoint(p->rDest.left, p->rDest.top));
        vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_SIZE, ulSize(w, h));
    } else {
        vReserve(ppdev, ZK_SUB_IMAGE, 16);
    }
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_POINT, ulPoint(p->rDest.left - static_cast<LONG>(a), p->rDest.top));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_OUT, ulSize(static_cast<LONG>(n), h));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_IN, ulSize(static_cast<LONG>(line / bytes), h));
    // Only the line's own bytes are read: the last dword is completed without reading past it.
    vPushImageRows(ppdev, n * bytes, static_cast<ULONG>(h), src, mirror ? -s->lPitch : s->lPitch);
    // The narrowed clip goes back to the whole of video memory at once: not every later user
    // of the clip object (the drawing code's copies among them) sets it first.
    if (Depth<Bpp>::clipUpload) {
        ppdev->bResetClip = 1;
        vResetClip(ppdev);
    }
}

template <unsigned Bpp> DWORD ulBltDepth(ZK_DD_BLTDATA *p) {
    using D = Depth<Bpp>;
    ZK_PDEV *ppdev = ppdevOf(p);
    const ZK_DD_SURFACE_LOCAL *d = p->lpDDDestSurface;
    const DWORD flags = p->dwFlags;
    const bool dstUnfit = d->ddsCaps.dwCaps & (ZK_DDSCAPS_SYSTEMMEMORY | ZK_DDSCAPS_TEXTURE);
    const bool dstKey = flags & (ZK_DDBLT_KEYDEST | ZK_DDBLT_KEYDESTOVERRIDE);
    if (D::capsFirst && dstUnfit) return ZK_DDHAL_NOTHANDLED;
    if (dstKey) return dwDone(p, ZK_DDERR_NOCOLORKEYHW);
    if (!D::capsFirst && dstUnfit) return ZK_DDHAL_NOTHANDLED;
    if (!ppdev->fifo) return dwDone(p, ZK_DDERR_SURFACELOST);
    if ((flags & ZK_DDBLT_ASYNC) && ppdev->usFifoFree < 32) {
        ppdev->usFifoFree = usFifoFree(ppdev, ZK_SUB_BLIT);
        if (ppdev->usFifoFree < 32) return dwDone(p, ZK_DDERR_WASSTILLDRAWING);
    }
    const DWORD fx = (flags & ZK_DDBLT_DDFX) ? p->bltFX.dwDDFX : 0;
    const bool mirror = fx & ZK_DDBLTFX_MIRRORUPDOWN;
    const uint32_t fillColor = (p->bltFX.dwFillColor & ppdev->ulColorBits) | ppdev->alphaBits;

    if (!(flags & ZK_DDBLT_ROP)) {
        if (!(flags & ZK_DDBLT_COLORFILL)) return ZK_DDHAL_NOTHANDLED;
        vSolid(ppdev, p, 0xCC, fillColor);
        return dwDone(p, ZK_DD_OK);
    }
    const uint32_t rop3 = (p->bltFX.dwROP >> 16) & 0xFF;
    switch (rop3) {
    case 0x00:
    case 0xFF:
        vSolid(ppdev, p, rop3, 0);
        return dwDone(p, ZK_DD_OK);
    case 0xF0:
    case 0x5A:
        vSolid(ppdev, p, rop3 == 0xF0 ? 0xCC : 0x66, fillColor);
        return dwDone(p, ZK_DD_OK);
    case 0xCC: case 0xEE: case 0x88: case 0x33: case 0x66: case 0xBB: case 0x44: case 0x11:
        break;
    default:
        return ZK_DDHAL_NOTHANDLED;
    }

    const ZK_DD_SURFACE_LOCAL *s = p->lpDDSrcSurface;
    if (!s) return ZK_DDHAL_NOTHANDLED;
    DWORD sCaps = s->ddsCaps.dwCaps;
    if (sCaps & ZK_DDSCAPS_SYSTEMMEMORY) sCaps &= ~(ZK_DDSCAPS_SYSTEMMEMORY | ZK_DDSCAPS_VIDEOMEMORY);
    const ZK_DDPIXELFORMAT &pf = s->lpGbl->ddpfSurface;
    const bool fourCc = pf.dwFlags & ZK_DDPF_FOURCC;
    if (fourCc) {
        if (pf.dwFourCC == 0) {
            if (pf.dwRBitMask != D::rMask || pf.dwGBitMask != D::gMask || pf.dwBBitMask != D::bMask)
                return dwDone(p, ZK_DDERR_UNSUPPORTEDFORMAT);
        } else if (D::yuv && (pf.dwFourCC == kYuy2 || pf.dwFourCC == kUyvy)) {
            if (p->rSrc.left & 1) return dwDone(p, ZK_DDERR_INVALIDRECT);
            return ZK_DDHAL_NOTHANDLED;   // the engine's scaled-image path is not in use
        } else {
            return dwDone(p, ZK_DDERR_UNSUPPORTEDFORMAT);
        }
    }
    const LONG w = width(p->rDest), h = height(p->rDest);
    if (w != width(p->rSrc) || h != height(p->rSrc)) return ZK_DDHAL_NOTHANDLED;   // stretched
    if (w <= 0 || h <= 0) return dwDone(p, ZK_DD_OK);

    const bool keyed = flags & ZK_DDBLT_KEYSRCOVERRIDE;
    if (keyed) vSourceKey(ppdev, (p->bltFX.ddckSrcColorkey.dwColorSpaceLowValue & ppdev->ulColorBits) | D::keyBits);
    const bool dstVideo = d->ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY;
    const bool srcVideo = sCaps & ZK_DDSCAPS_VIDEOMEMORY;
    if (dstVideo && srcVideo && !(sCaps & ZK_DDSCAPS_TEXTURE) && !mirror) {
        vSetDestination(ppdev, d);
        vSetSourceSurface(ppdev, s->lpGbl->fpVidMem, static_cast<uint32_t>(s->lpGbl->lPitch));
        vReserve(ppdev, ZK_SUB_BLIT, 16);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SRC, ulPoint(p->rSrc.left, p->rSrc.top));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_DST, ulPoint(p->rDest.left, p->rDest.top));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SIZE, ulSize(w, h));
    } else {
        vUpload<Bpp>(ppdev, p, rop3, mirror, srcVideo);
    }
    if (keyed) vSourceKey(ppdev, 0);
    return dwDone(p, ZK_DD_OK);
}

DWORD ulWorker(ZK_PDEV *ppdev, ZK_DD_BLTDATA *p) {
    switch (ppdev->cBitsPerPel) {
    case 8: return ulBlt8(p);
    case 16: return ulBlt16(p);
    case 32: return ulBlt32(p);
    default: p->ddRVal = ZK_DDERR_INVALIDPIXELFORMAT; return ZK_DDHAL_NOTHANDLED;
    }
}

}  // namespace

DWORD ulBlt8(ZK_DD_BLTDATA *p) { return ulBltDepth<8>(p); }
DWORD ulBlt16(ZK_DD_BLTDATA *p) { return ulBltDepth<16>(p); }
DWORD ulBlt32(ZK_DD_BLTDATA *p) { return ulBltDepth<32>(p); }

DWORD APIENTRY DdBlt(ZK_DD_BLTDATA *p) {
    ZK_PDEV *ppdev = ppdevOf(p);
    if (!ppdev->fifo) return dwDone(p, ZK_DDERR_SURFACELOST);
    while (ulUpdateFlipStatus(ppdev, p->lpDDDestSurface->lpGbl->fpVidMem) != ZK_DD_OK)
        if (!(p->dwFlags & ZK_DDBLT_WAIT)) return dwDone(p, ZK_DDERR_WASSTILLDRAWING);
    DdEngineLock lock(ppdev);
    vResetClip(ppdev);   // whatever clip a mode change left undefined
    const ZK_DD_SURFACE_LOCAL *src = p->lpDDSrcSurface;
    if (src != p->lpDDDestSurface ||
        (width(p->rSrc) == width(p->rDest) && height(p->rSrc) == height(p->rDest)))
        return ulWorker(ppdev, p);

    // A stretch within one surface: the source goes to a block of the heap first, so the
    // stretch never reads what it has already written.
    RECTL both;
    if (!bIntersectRect(&p->rSrc, &p->rDest, &both) || !(p->lpDDDestSurface->ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY))
        return ZK_DDHAL_NOTHANDLED;
    const LONG sw = width(p->rSrc), sh = height(p->rSrc);
    const ULONG pitch = ((ppdev->cBitsPerPel >> 3) * static_cast<ULONG>(sw) + 15) & ~15u;
    const ULONG t = ppdev->pDdHeap ? ulHeapAlloc(pitch * static_cast<ULONG>(sh), ppdev->pDdHeap) : 0;
    if (!t) return ZK_DDHAL_NOTHANDLED;
    ZK_DD_SURFACE_GLOBAL gbl = *p->lpDDDestSurface->lpGbl;
    ZK_DD_SURFACE_LOCAL lcl = *p->lpDDDestSurface;
    gbl.fpVidMem = t;
    gbl.lPitch = static_cast<LONG>(pitch);
    gbl.yHint = static_cast<LONG>(t / static_cast<ULONG>(ppdev->lDelta));
    gbl.xHint = static_cast<LONG>((t % static_cast<ULONG>(ppdev->lDelta)) / ppdev->cjPelSize);
    lcl.lpGbl = &gbl;
    lcl.ddsCaps.dwCaps = (lcl.ddsCaps.dwCaps & ~ZK_DDSCAPS_SYSTEMMEMORY) | ZK_DDSCAPS_VIDEOMEMORY;

    ZK_DD_BLTDATA first = *p;
    first.lpDDDestSurface = &lcl;
    first.rDest = RECTL{0, 0, sw, sh};
    first.dwFlags = ZK_DDBLT_ROP;
    first.bltFX.dwROP = ZK_SRCCOPY;
    DWORD r = ulWorker(ppdev, &first);
    p->ddRVal = first.ddRVal;
    if (r == ZK_DDHAL_HANDLED && first.ddRVal == ZK_DD_OK) {
        ZK_DD_BLTDATA second = *p;
        second.lpDDSrcSurface = &lcl;
        second.rSrc = RECTL{0, 0, sw, sh};
        r = ulWorker(ppdev, &second);
        p->ddRVal = second.ddRVal;
    }
    vHeapFree(t, ppdev->pDdHeap);
    return r;
}
