// The 9x DirectDraw runtime's side of flips, blits, vertical-blank waits, colour keys and the
// overlay: what it checks and prepares before it calls the HAL's callbacks, and what it does
// with their answers.
#pragma once
#include "platform/ddraw/ddraw9x_hal.h"
#include "platform/ddraw/ddraw_blt.h"

#define DDFLIP_WAIT 0x00000001

// What a call came to: the result, and whether the HAL did the work (0: DirectDraw would have
// had to do it itself).
struct Ddraw9xResult {
    HRESULT result;
    DWORD handled;
};

// Flips the front surface to `back`. With DDFLIP_WAIT the runtime calls again while the HAL
// reports the previous flip still pending. After a flip the two surfaces trade their memory, so
// `front` always names what is shown and `back` what was shown before.
Ddraw9xResult kivDdraw9xFlip(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *front, DDRAWI_DDRAWSURFACE_LCL *back,
                             DWORD flags);
Ddraw9xResult kivDdraw9xGetFlipStatus(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags);
Ddraw9xResult kivDdraw9xGetBltStatus(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags);
Ddraw9xResult kivDdraw9xWaitForVerticalBlank(Ddraw9xDriver *drv, DWORD flags, DWORD *inVerticalBlank);

// A blit as the application asks for it. The runtime refuses rectangles outside their surfaces
// (DDERR_INVALIDRECT), turns DDBLT_KEYSRC into the source surface's blit key, and with a clip
// list calls the HAL once for each part of the destination inside a clip rectangle (the source
// moves along; clipping a stretched blit is not offered).
Ddraw9xResult kivDdraw9xBlt(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *dst, const RECTL *rDest,
                            DDRAWI_DDRAWSURFACE_LCL *src, const RECTL *rSrc, DWORD flags, const DDBLTFX *fx,
                            const RECTL *clip = nullptr, DWORD clipCount = 0);

// Sets a surface's colour key: DirectDraw keeps it in the surface record, then tells the HAL.
Ddraw9xResult kivDdraw9xSetColorKey(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *surface, DWORD flags,
                                    const DDCOLORKEY *key);
Ddraw9xResult kivDdraw9xUpdateOverlay(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *overlay, const RECTL *rSrc,
                                      DDRAWI_DDRAWSURFACE_LCL *shownOn, const RECTL *rDest, DWORD flags,
                                      const DDOVERLAYFX *fx);
Ddraw9xResult kivDdraw9xSetOverlayPosition(Ddraw9xDriver *drv, DDRAWI_DDRAWSURFACE_LCL *overlay,
                                           DDRAWI_DDRAWSURFACE_LCL *shownOn, LONG x, LONG y);
