// The 9x DirectDraw runtime's flip, blit, colour-key and overlay calls into a HAL.
#include "platform/ddraw/ddraw9x_blt.h"

#include <algorithm>

namespace {

constexpr DWORD kBltKeySrc = 0x00008000;

Ddraw9xResult Unsupported() { return {DDERR_UNSUPPORTED, 0}; }

Ddraw9xResult Answer(DWORD handled, HRESULT r) { return {handled ? r : DDERR_UNSUPPORTED, handled}; }

bool Inside(const RECTL &r, const DDRAWI_DDRAWSURFACE_LCL *s) {
    const DDRAWI_DDRAWSURFACE_GBL *g = s->lpGbl;
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom && r.right <= g->wWidth &&
           r.bottom <= g->wHeight;
}

RECTL Whole(const DDRAWI_DDRAWSURFACE_LCL *s) { return {0, 0, s->lpGbl->wWidth, s->lpGbl->wHeight}; }

}  // namespace

Ddraw9xResult kivDdraw9xFlip(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *front, DDRAWI_DDRAWSURFACE_LCL *back,
                             DWORD flags) {
    if (!(drv->surfaceCallbacks.dwFlags & DDHAL_SURFCB32_FLIP) || !drv->surfaceCallbacks.Flip)
        return Unsupported();
    DDHAL_FLIPDATA d = {};
    d.lpDD = &drv->gbl;
    d.lpSurfCurr = front;
    d.lpSurfTarg = back;
    DWORD handled;
    do {
        d.ddRVal = DD_OK;
        handled = drv->surfaceCallbacks.Flip(&d);
    } while (handled && d.ddRVal == DDERR_WASSTILLDRAWING && (flags & DDFLIP_WAIT));
    if (handled && d.ddRVal == DD_OK)
        std::swap(front->lpGbl->fpVidMem, back->lpGbl->fpVidMem);
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xGetFlipStatus(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags) {
    if (!drv->surfaceCallbacks.GetFlipStatus)
        return Unsupported();
    DDHAL_GETFLIPSTATUSDATA d = {&drv->gbl, surface, flags, DD_OK, nullptr};
    DWORD handled = drv->surfaceCallbacks.GetFlipStatus(&d);
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xGetBltStatus(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags) {
    if (!drv->surfaceCallbacks.GetBltStatus)
        return Unsupported();
    DDHAL_GETBLTSTATUSDATA d = {&drv->gbl, surface, flags, DD_OK, nullptr};
    DWORD handled = drv->surfaceCallbacks.GetBltStatus(&d);
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xWaitForVerticalBlank(Ddraw9xDriver *drv, DWORD flags, DWORD *inVerticalBlank) {
    if (!drv->callbacks.WaitForVerticalBlank)
        return Unsupported();
    DDHAL_WAITFORVERTICALBLANKDATA d = {&drv->gbl, flags, 0, 0, DD_OK, nullptr};
    DWORD handled = drv->callbacks.WaitForVerticalBlank(&d);
    if (inVerticalBlank)
        *inVerticalBlank = d.bIsInVB;
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xBlt(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *dst, const RECTL *rDest,
                            DDRAWI_DDRAWSURFACE_LCL *src, const RECTL *rSrc, DWORD flags, const DDBLTFX *fx,
                            const RECTL *clip, DWORD clipCount) {
    if (!dst || !drv->surfaceCallbacks.Blt)
        return {DDERR_INVALIDPARAMS, 0};
    DDHAL_BLTDATA d = {};
    d.lpDD = &drv->gbl;
    d.lpDDDestSurface = dst;
    d.rDest = rDest ? *rDest : Whole(dst);
    d.lpDDSrcSurface = src;
    if (src)
        d.rSrc = rSrc ? *rSrc : Whole(src);
    if (!Inside(d.rDest, dst) || (src && !Inside(d.rSrc, src)))
        return {DDERR_INVALIDRECT, 0};
    if (fx)
        d.bltFX = *fx;
    d.dwFlags = flags;
    if ((flags & kBltKeySrc) && src) {
        d.dwFlags = (flags & ~kBltKeySrc) | DDBLT_KEYSRCOVERRIDE;
        d.bltFX.ddckSrcColorkey = src->ddckCKSrcBlt;
    }
    const RECTL dest = d.rDest, source = d.rSrc;
    const bool stretched = src && (dest.right - dest.left != source.right - source.left ||
                                   dest.bottom - dest.top != source.bottom - source.top);
    if (!clip) {
        d.ddRVal = DD_OK;
        DWORD handled = drv->surfaceCallbacks.Blt(&d);
        return Answer(handled, d.ddRVal);
    }
    if (stretched)
        return Unsupported();
    DWORD handledAll = 1;
    for (DWORD i = 0; i < clipCount; i++) {
        RECTL part = {std::max(dest.left, clip[i].left), std::max(dest.top, clip[i].top),
                      std::min(dest.right, clip[i].right), std::min(dest.bottom, clip[i].bottom)};
        if (part.left >= part.right || part.top >= part.bottom)
            continue;
        d.rDest = part;
        if (src)
            d.rSrc = {source.left + part.left - dest.left, source.top + part.top - dest.top,
                      source.left + part.right - dest.left, source.top + part.bottom - dest.top};
        d.ddRVal = DD_OK;
        DWORD handled = drv->surfaceCallbacks.Blt(&d);
        if (!handled)
            handledAll = 0;
        else if (d.ddRVal != DD_OK)
            return {d.ddRVal, 1};
    }
    return Answer(handledAll, DD_OK);
}

Ddraw9xResult kivDdraw9xSetColorKey(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags,
                                    const DDCOLORKEY *key) {
    if (key == nullptr) {
        // No key: the keys named are removed; the HAL is told of keys, not of their absence.
        const DDCOLORKEY none{};
        if (flags & DDCKEY_SRCBLT)
            surface->ddckCKSrcBlt = none;
        if (flags & DDCKEY_SRCOVERLAY)
            surface->ddckCKSrcOverlay = none;
        if (flags & DDCKEY_DESTOVERLAY)
            surface->ddckCKDestOverlay = none;
        return {DD_OK, 0};
    }
    if (flags & DDCKEY_SRCBLT)
        surface->ddckCKSrcBlt = *key;
    if (flags & DDCKEY_SRCOVERLAY)
        surface->ddckCKSrcOverlay = *key;
    if (flags & DDCKEY_DESTOVERLAY)
        surface->ddckCKDestOverlay = *key;
    if (!drv->callbacks.SetColorKey)
        return Unsupported();
    DDHAL_DRVSETCOLORKEYDATA d = {surface, flags, *key, DD_OK, nullptr};
    DWORD handled = drv->callbacks.SetColorKey(&d);
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xUpdateOverlay(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *overlay, const RECTL *rSrc,
                                      DDRAWI_DDRAWSURFACE_LCL *shownOn, const RECTL *rDest, DWORD flags,
                                      const DDOVERLAYFX *fx) {
    if (!(drv->surfaceCallbacks.dwFlags & DDHAL_SURFCB32_UPDATEOVERLAY) || !drv->surfaceCallbacks.UpdateOverlay)
        return Unsupported();
    DDHAL_UPDATEOVERLAYDATA d = {};
    d.lpDD = &drv->gbl;
    d.lpDDSrcSurface = overlay;
    d.rSrc = rSrc ? *rSrc : Whole(overlay);
    d.lpDDDestSurface = shownOn;
    d.rDest = rDest ? *rDest : (shownOn ? Whole(shownOn) : RECTL{});
    d.dwFlags = flags;
    if (fx)
        d.overlayFX = *fx;
    d.ddRVal = DD_OK;
    DWORD handled = drv->surfaceCallbacks.UpdateOverlay(&d);
    if (handled && d.ddRVal == DD_OK && (flags & DDOVER_SHOW))
        overlay->ddsCaps.dwCaps |= DDSCAPS_VISIBLE;
    if (handled && d.ddRVal == DD_OK && (flags & DDOVER_HIDE))
        overlay->ddsCaps.dwCaps &= ~DDSCAPS_VISIBLE;
    return Answer(handled, d.ddRVal);
}

Ddraw9xResult kivDdraw9xSetOverlayPosition(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *overlay,
                                           DDRAWI_DDRAWSURFACE_LCL *shownOn, LONG x, LONG y) {
    if (!(drv->surfaceCallbacks.dwFlags & DDHAL_SURFCB32_SETOVERLAYPOSITION) ||
        !drv->surfaceCallbacks.SetOverlayPosition)
        return Unsupported();
    DDHAL_SETOVERLAYPOSITIONDATA d = {&drv->gbl, overlay, shownOn, x, y, DD_OK, nullptr};
    DWORD handled = drv->surfaceCallbacks.SetOverlayPosition(&d);
    return Answer(handled, d.ddRVal);
}
