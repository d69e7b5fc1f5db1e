// Lines and paths: horizontal and vertical lines become one-pixel rectangles; every other line
// and every path stroke is drawn by the graphics engine.
#include "display/blt.h"
#include "display/ddi.h"

namespace {

ZK_PDEV *ppdevOfSurface(SURFOBJ *pso) { return pso ? reinterpret_cast<ZK_PDEV *>(pso->dhpdev) : nullptr; }

// The destination is programmed only while no OpenGL client may be pushing: every line then
// goes to the engine anyway, and the FIFO is not touched outside the engine lock.
void vLineDestination(ZK_PDEV *ppdev, SURFOBJ *pso) {
    const ZK_SURFACE_PLACE place = placeOf(ppdev, pso);
    if (place.bVideo && !ppdev->bOpenGlActive) vSetDestinationSurface(ppdev, place.offset, place.pitch);
}

BOOL bLineToEngine(ZK_PDEV *ppdev, SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                   RECTL *prclBounds, ULONG mix) {
    SURFOBJ desc;
    SURFOBJ *target = psoForEngine(ppdev, pso, &desc);
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    return EngLineTo(target, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

}  // namespace

extern "C" BOOL APIENTRY DrvStrokePath(SURFOBJ *pso, void *ppo, void *pco, void *pxo, void *pbo, POINTL *pptlBrushOrg,
                                       void *plineattrs, ULONG mix) {
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    if (ppdev && !bEngineReady(ppdev)) {
        SURFOBJ desc;
        return EngStrokePath(psoForEngine(ppdev, pso, &desc), static_cast<PATHOBJ *>(ppo), static_cast<CLIPOBJ *>(pco),
                             static_cast<XFORMOBJ *>(pxo), static_cast<BRUSHOBJ *>(pbo), pptlBrushOrg,
                             static_cast<LINEATTRS *>(plineattrs), mix);
    }
    if (!ppdev)
        return EngStrokePath(pso, static_cast<PATHOBJ *>(ppo), static_cast<CLIPOBJ *>(pco), static_cast<XFORMOBJ *>(pxo),
                             static_cast<BRUSHOBJ *>(pbo), pptlBrushOrg, static_cast<LINEATTRS *>(plineattrs), mix);
    vLineDestination(ppdev, pso);
    return reinterpret_cast<PFN_STROKEPATH>(ppdev->pfnLineMethods[ZK_LM_STROKE_PATH])(
        pso, static_cast<PATHOBJ *>(ppo), static_cast<CLIPOBJ *>(pco), static_cast<XFORMOBJ *>(pxo),
        static_cast<BRUSHOBJ *>(pbo), pptlBrushOrg, static_cast<LINEATTRS *>(plineattrs), mix);
}

extern "C" BOOL APIENTRY DrvLineTo(SURFOBJ *pso, void *pco, void *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *prclBounds, ULONG mix) {
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    if (ppdev && !bEngineReady(ppdev))
        return bLineToEngine(ppdev, pso, static_cast<CLIPOBJ *>(pco), static_cast<BRUSHOBJ *>(pbo), x1, y1, x2, y2,
                             prclBounds, mix);
    if (!ppdev)
        return EngLineTo(pso, static_cast<CLIPOBJ *>(pco), static_cast<BRUSHOBJ *>(pbo), x1, y1, x2, y2, prclBounds, mix);
    vLineDestination(ppdev, pso);
    return reinterpret_cast<PFN_LINETO>(ppdev->pfnLineMethods[ZK_LM_LINE_TO])(
        pso, static_cast<CLIPOBJ *>(pco), static_cast<BRUSHOBJ *>(pbo), x1, y1, x2, y2, prclBounds, mix);
}

// Filled paths are not hooked by the surfaces; an unexpected call is refused rather than
// reported as drawn, so the engine fills the path itself.
extern "C" BOOL APIENTRY DrvFillPath(SURFOBJ *, void *, void *, void *, POINTL *, ULONG, FLONG) { return FALSE; }

BOOL bStrokePathPunt(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                     LINEATTRS *plineattrs, ULONG mix) {
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    SURFOBJ desc;
    SURFOBJ *target = psoForEngine(ppdev, pso, &desc);
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    return EngStrokePath(target, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL bLineToAxisAligned(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL *prclBounds, ULONG mix) {
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    const ZK_SURFACE_PLACE place = placeOf(ppdev, pso);
    if (place.psoDib) return EngLineTo(place.psoDib, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    ds->xOffset = ds->yOffset = 0;
    const ULONG complexity = pco ? pco->iDComplexity : DC_TRIVIAL;
    if (!place.bVideo || ppdev->bOpenGlActive || complexity == DC_COMPLEX)
        return bLineToEngine(ppdev, pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
    if (x1 != x2 && y1 != y2) return bLineToEngine(ppdev, pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
    vResetClip(ppdev, ppdev->cyMemory << 16 | ppdev->cxMemory);
    // The pen is the source operand: ROP2 n draws as ROP3 (n - 1) x 0x11 (R2_WHITE, 16, as 0xFF).
    vReserve(ppdev, ZK_SUB_RECT, 8);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, (((mix & 0x1F) - 1) * 0x11) & 0xFF);
    vPut(ppdev, ZK_SUB_RECT, ZK_RECT_COLOR, ppdev->alphaBits | pbo->iSolidColor);
    // The end point is not drawn; a line whose ends coincide draws nothing.
    RECTL span;
    if (x1 == x2) span = y1 < y2 ? RECTL{x1, y1, x1 + 1, y2} : RECTL{x1, y2 + 1, x1 + 1, y1 + 1};
    else span = x1 < x2 ? RECTL{x1, y1, x2, y1 + 1} : RECTL{x2 + 1, y1, x1 + 1, y1 + 1};
    if (span.left >= span.right || span.top >= span.bottom) return TRUE;
    if (complexity == DC_RECT && !bIntersectRect(&span, &pco->rclBounds, &span)) return TRUE;
    vReserve(ppdev, ZK_SUB_RECT, 8);
    vPut(ppdev, ZK_SUB_RECT, ZK_RECT_POINT, ulPoint(span.left + ds->xOffset, span.top + ds->yOffset));
    vPut(ppdev, ZK_SUB_RECT, ZK_RECT_SIZE, ulSize(span.right - span.left, span.bottom - span.top));
    return TRUE;
}
