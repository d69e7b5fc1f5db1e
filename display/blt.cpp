// The bit-block entries: which requests the engine FIFO can do and through which method, clip
// pieces, and handing everything else back to the graphics engine.
#include "display/blt.h"

#include <cstring>

#include "display/ddi.h"

namespace {

constexpr ULONG kEnumBytes = sizeof(ULONG) + 50 * sizeof(RECTL);   // the count and 50 rectangles
struct ZK_ENUMRECTS50 {
    ULONG c;
    RECTL arcl[50];
};
static_assert(sizeof(ZK_ENUMRECTS50) == 804 && kEnumBytes == 804);

ULONG ulComplexity(const CLIPOBJ *pco) { return pco ? pco->iDComplexity : DC_TRIVIAL; }

bool bRopBytesEqual(ULONG rop4) { return ((rop4 >> 8) & 0xFF) == (rop4 & 0xFF); }
bool bUsesPattern(ULONG rop3) { return (((rop3 >> 4) ^ rop3) & 0xF) != 0; }
bool bTrivialXlate(const XLATEOBJ *pxlo) { return !pxlo || (pxlo->flXlate & XO_TRIVIAL); }

// Calls draw(c, pieces) for the pieces of prclTrg the clip leaves, batch by batch.
template <typename Draw> void vClipDispatch(CLIPOBJ *pco, RECTL *prclTrg, ULONG direction, Draw draw) {
    switch (ulComplexity(pco)) {
    case DC_TRIVIAL:
        draw(1ul, prclTrg);
        return;
    case DC_RECT: {
        RECTL r;
        if (bIntersectRect(prclTrg, &pco->rclBounds, &r)) draw(1ul, &r);
        return;
    }
    default: {
        ZK_ENUMRECTS50 e;
        CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, direction, 0);
        BOOL more;
        do {
            more = CLIPOBJ_bEnum(pco, kEnumBytes, reinterpret_cast<ULONG *>(&e));
            const ULONG n = cIntersectRects(prclTrg, e.arcl, e.c < 50 ? e.c : 50);
            if (n) draw(n, e.arcl);
        } while (more);
        return;
    }
    }
}

// The engine's view of a surface for a punt: off-screen bitmaps and DIB-held bitmaps described
// as plain DIBs in `desc`; the screen and engine bitmaps unchanged.
}  // namespace

SURFOBJ *psoForEngine(ZK_PDEV *ppdev, SURFOBJ *pso, SURFOBJ *desc) {
    if (!pso) return nullptr;
    const ZK_SURFACE_PLACE place = placeOf(ppdev, pso);
    if (place.psoDib) {
        *desc = *place.psoDib;
        return desc;
    }
    // The screen is a device surface whose bits only the driver knows: the engine gets them
    // described like an off-screen bitmap.
    if (place.bVideo && (!place.bScreen || !pso->pvScan0)) {
        vDescribeVideo(ppdev, place, pso, desc);
        return desc;
    }
    return pso;
}

namespace {

BOOL bPuntBitBlt(ZK_PDEV *ppdev, ZK_ENGINE_LOCK &lock, SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask,
                 CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo,
                 POINTL *pptlBrush, ULONG rop4) {
    SURFOBJ punt, punt2;
    SURFOBJ *src = psoForEngine(ppdev, psoSrc, &punt);
    SURFOBJ *trg = psoForEngine(ppdev, psoTrg, &punt2);
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    lock.release();
    return EngBitBlt(trg, src, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

// Copies a piece of video memory into a DIB, through a temporary bitmap in the screen's format
// when a translation or ROP has to be applied by the engine.
BOOL bBltVideoToDib(ZK_PDEV *ppdev, SURFOBJ *psoTrg, const ZK_SURFACE_PLACE &src, XLATEOBJ *pxlo, RECTL *prcl,
                    POINTL *pptlSrc, BRUSHOBJ *pbo, POINTL *pptlBrush, ULONG rop4) {
    const LONG w = prcl->right - prcl->left, h = prcl->bottom - prcl->top;
    if (w <= 0 || h <= 0) return TRUE;
    const ULONG pel = ppdev->cjPelSize;
    const uint8_t *from = src.pBits + static_cast<size_t>(pptlSrc->y) * src.pitch + static_cast<size_t>(pptlSrc->x) * pel;
    const LONG cbRow = w * static_cast<LONG>(pel);
    if (psoTrg->iBitmapFormat == ppdev->iBitmapFormat && rop4 == 0xCCCC && (!pxlo || pxlo->flXlate == XO_TRIVIAL)) {
        uint8_t *to = static_cast<uint8_t *>(psoTrg->pvScan0) + static_cast<intptr_t>(prcl->top) * psoTrg->lDelta +
                      static_cast<intptr_t>(prcl->left) * pel;
        return bCopyVideoToMemory(ppdev, to, psoTrg->lDelta, from, static_cast<LONG>(src.pitch), cbRow, h);
    }
    HBITMAP hbm = EngCreateBitmap(SIZEL{w, h}, 0, ppdev->iBitmapFormat, BMF_TOPDOWN, nullptr);
    if (!hbm) return FALSE;
    HSURF hsurf = reinterpret_cast<HSURF>(hbm);
    SURFOBJ *tmp = nullptr;
    if (!EngAssociateSurface(hsurf, ppdev->hdevEng, 0) || !(tmp = EngLockSurface(hsurf))) {
        EngDeleteSurface(hsurf);
        return FALSE;
    }
    bCopyVideoToMemory(ppdev, static_cast<uint8_t *>(tmp->pvScan0), tmp->lDelta, from, static_cast<LONG>(src.pitch),
                       cbRow, h);
    POINTL origin{0, 0};
    const BOOL ok = EngBitBlt(psoTrg, tmp, nullptr, nullptr, pxlo, prcl, &origin, nullptr, pbo, pptlBrush, rop4);
    EngUnlockSurface(tmp);
    EngDeleteSurface(hsurf);
    return ok;
}

// Moves the source's clip piece origin along with the piece.
POINTL ptlPiece(const POINTL *pptlSrc, const RECTL *prclTrg, const RECTL &piece) {
    return POINTL{pptlSrc->x + piece.left - prclTrg->left, pptlSrc->y + piece.top - prclTrg->top};
}

// ROP2 (mix) to the ROP3 that draws the pen as the pattern.
constexpr uint8_t kMixToRop3[17] = {0xFF, 0x00, 0x05, 0x0A, 0x0F, 0x50, 0x55, 0x5A, 0x5F,
                                    0xA0, 0xA5, 0xAA, 0xAF, 0xF0, 0xF5, 0xFA, 0xFF};

}  // namespace

BOOL bIntersectRect(const RECTL *a, const RECTL *b, RECTL *out) {
    out->left = a->left > b->left ? a->left : b->left;
    out->top = a->top > b->top ? a->top : b->top;
    out->right = a->right < b->right ? a->right : b->right;
    out->bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
    return out->left < out->right && out->top < out->bottom;
}

ULONG cIntersectRects(const RECTL *prclTrg, RECTL *prcl, ULONG c) {
    ULONG n = 0;
    for (ULONG i = 0; i < c; ++i) {
        RECTL r;
        if (bIntersectRect(prclTrg, &prcl[i], &r)) prcl[n++] = r;
    }
    return n;
}

BOOL bPromoteSource(ZK_PDEV *ppdev, SURFOBJ *psoSrc, XLATEOBJ *pxlo) {
    const ZK_SURFACE_PLACE place = placeOf(ppdev, psoSrc);
    if (!place.psoDib || !bTrivialXlate(pxlo)) return FALSE;
    ZK_DSURF *pdsurf = place.pdsurf;
    const ULONG uniq = ulHeapUniq(ppdev);
    if (pdsurf->ulFreeCountSeen != uniq) {
        pdsurf->ulFreeCountSeen = uniq;
        pdsurf->ulUseCount = 6;
        return FALSE;
    }
    // A failed move is not tried again until the heap changes: the countdown runs past 0.
    return --pdsurf->ulUseCount == 0 && bCacheBitmapOffscreen(ppdev, pdsurf);
}

ZK_PDEV *ppdevOf(SURFOBJ *pso) {
    if (!pso || !pso->dhpdev) return nullptr;
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(pso->dhpdev);
    return ppdev->hdevEng == pso->hdev ? ppdev : nullptr;
}

extern "C" BOOL APIENTRY DrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, void *pvco, void *pvxlo,
                                   RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, void *pvbo, POINTL *pptlBrush,
                                   ULONG rop4) {
    auto *pco = static_cast<CLIPOBJ *>(pvco);
    auto *pxlo = static_cast<XLATEOBJ *>(pvxlo);
    auto *pbo = static_cast<BRUSHOBJ *>(pvbo);
    ZK_PDEV *ppdev = ppdevOf(psoTrg);
    if (!ppdev) ppdev = ppdevOf(psoSrc);
    if (!ppdev) return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);

    ZK_SURFACE_PLACE trg = placeOf(ppdev, psoTrg);
    ZK_SURFACE_PLACE src = placeOf(ppdev, psoSrc);
    ZK_ENGINE_LOCK lock(ppdev);
    auto punt = [&] {
        return bPuntBitBlt(ppdev, lock, psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush,
                           rop4);
    };
    if ((!trg.bVideo && !src.bVideo) || !bEngineReady(ppdev)) return punt();
    if (!bRopBytesEqual(rop4)) return punt();
    const ULONG rop3 = rop4 & 0xFF;
    SURFOBJ *psoTarget = trg.psoDib ? trg.psoDib : psoTrg;
    pDraw(ppdev)->xOffset = pDraw(ppdev)->yOffset = 0;

    if (!psoSrc) {
        if (!trg.bVideo) return punt();
        ZK_FILL_BRUSH brush{};
        bool pattern = false;
        if (bUsesPattern(rop3) && pbo) {
            if (pbo->iSolidColor != 0xFFFFFFFFu) {
                brush.ulColor = pbo->iSolidColor;
            } else {
                void *prb = pbo->pvRbrush ? pbo->pvRbrush : BRUSHOBJ_pvGetRbrush(pbo);
                if (!prb) return punt();
                brush.prb = static_cast<ZK_RBRUSH *>(prb);
                pattern = true;
            }
        } else if (bUsesPattern(rop3)) {
            return punt();
        }
        vSetDestinationSurface(ppdev, trg.offset, trg.pitch);
        PFN_FILL fill = pfnFill(ppdev, pattern);
        vClipDispatch(pco, prclTrg, CD_ANY, [&](ULONG c, RECTL *prcl) { fill(ppdev, c, prcl, rop4, brush, pptlBrush); });
        return TRUE;
    }

    if (bPromoteSource(ppdev, psoSrc, pxlo)) {
        // Making room may have moved the target out of video memory: both are looked at again.
        src = placeOf(ppdev, psoSrc);
        trg = placeOf(ppdev, psoTrg);
        psoTarget = trg.psoDib ? trg.psoDib : psoTrg;
    }
    SURFOBJ *psoSource = src.psoDib ? src.psoDib : psoSrc;
    if (!trg.bVideo) {
        if (!src.bVideo) return punt();
        BOOL ok = TRUE;
        vClipDispatch(pco, prclTrg, CD_ANY, [&](ULONG c, RECTL *prcl) {
            for (ULONG i = 0; i < c && ok; ++i) {
                POINTL pt = ptlPiece(pptlSrc, prclTrg, prcl[i]);
                ok = bBltVideoToDib(ppdev, psoTarget, src, pxlo, &prcl[i], &pt, pbo, pptlBrush, rop4);
            }
        });
        return ok ? TRUE : punt();
    }

    vSetDestinationSurface(ppdev, trg.offset, trg.pitch);
    if (!bUsesPattern(rop3)) {
        if (!src.bVideo) {
            unsigned slot;
            if (psoSource->iBitmapFormat == BMF_1BPP) slot = ZK_DM_XFER_1BPP;
            else if (psoSource->iBitmapFormat == ppdev->iBitmapFormat && bTrivialXlate(pxlo)) slot = ZK_DM_XFER_NATIVE;
            else if (psoSource->iBitmapFormat == BMF_4BPP && ppdev->iBitmapFormat == BMF_8BPP) slot = ZK_DM_XFER_4TO8BPP;
            else return punt();
            PFN_XFER xfer = pfnDraw<PFN_XFER>(ppdev, slot);
            vClipDispatch(pco, prclTrg, CD_ANY, [&](ULONG c, RECTL *prcl) {
                xfer(ppdev, c, prcl, rop4, psoSource, pptlSrc, prclTrg, pxlo, 0);
            });
            return TRUE;
        }
        if (!bTrivialXlate(pxlo)) return punt();
        vSetSourceSurface(ppdev, src.offset, src.pitch);
        // Overlapping copies are safe when the pieces go away from the area they overlap.
        const ZK_DRAW_STATE *ds = pDraw(ppdev);
        ULONG direction;
        if (prclTrg->top + ds->yOffset > pptlSrc->y)
            direction = prclTrg->left + ds->xOffset > pptlSrc->x ? CD_LEFTUP : CD_RIGHTUP;
        else
            direction = prclTrg->left + ds->xOffset > pptlSrc->x ? CD_LEFTDOWN : CD_RIGHTDOWN;
        PFN_COPY copy = pfnDraw<PFN_COPY>(ppdev, ZK_DM_COPY_BLT);
        vClipDispatch(pco, prclTrg, direction, [&](ULONG c, RECTL *prcl) { copy(ppdev, c, prcl, rop4, pptlSrc, prclTrg); });
        return TRUE;
    }

    if (src.bVideo || !pbo || pbo->iSolidColor == 0xFFFFFFFFu) return punt();
    ULONG solid = pbo->iSolidColor;
    if (psoSource->iBitmapFormat == BMF_1BPP) {
        PFN_XFER xfer = pfnDraw<PFN_XFER>(ppdev, ZK_DM_XFER_1BPP);
        vClipDispatch(pco, prclTrg, CD_ANY, [&](ULONG c, RECTL *prcl) {
            xfer(ppdev, c, prcl, rop4, psoSource, pptlSrc, prclTrg, pxlo, solid);
        });
        return TRUE;
    }
    if (psoSource->iBitmapFormat == ppdev->iBitmapFormat && bTrivialXlate(pxlo)) {
        PFN_XFER_PATTERN xfer = pfnDraw<PFN_XFER_PATTERN>(ppdev, ZK_DM_XFER_NATIVE_PATTERN);
        vClipDispatch(pco, prclTrg, CD_ANY, [&](ULONG c, RECTL *prcl) {
            for (ULONG i = 0; i < c; ++i) {
                POINTL pt = ptlPiece(pptlSrc, prclTrg, prcl[i]);
                xfer(ppdev, psoSource, &pt, &prcl[i], rop3, &solid);
            }
        });
        return TRUE;
    }
    return punt();
}

extern "C" BOOL APIENTRY DrvCopyBits(SURFOBJ *psoDst, SURFOBJ *psoSrc, void *pvco, void *pvxlo, RECTL *prclDst,
                                     POINTL *pptlSrc) {
    auto *pco = static_cast<CLIPOBJ *>(pvco);
    auto *pxlo = static_cast<XLATEOBJ *>(pvxlo);
    ZK_PDEV *ppdev = ppdevOf(psoDst);
    if (!ppdev) ppdev = ppdevOf(psoSrc);
    if (!ppdev) return EngCopyBits(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc);
    {
        ZK_ENGINE_LOCK lock(ppdev);
        ZK_SURFACE_PLACE trg = placeOf(ppdev, psoDst), src = placeOf(ppdev, psoSrc);
        if (!trg.bVideo && !src.bVideo) {
            SURFOBJ punt, punt2;
            SURFOBJ *s = psoForEngine(ppdev, psoSrc, &punt);
            SURFOBJ *d = psoForEngine(ppdev, psoDst, &punt2);
            lock.release();
            return EngCopyBits(d, s, pco, pxlo, prclDst, pptlSrc);
        }
        if (ulComplexity(pco) == DC_TRIVIAL && bTrivialXlate(pxlo) && trg.bVideo && bEngineReady(ppdev)) {
            if (bPromoteSource(ppdev, psoSrc, pxlo)) {
                src = placeOf(ppdev, psoSrc);
                trg = placeOf(ppdev, psoDst);
            }
            SURFOBJ *psoSource = src.psoDib ? src.psoDib : psoSrc;
            pDraw(ppdev)->xOffset = pDraw(ppdev)->yOffset = 0;
            POINTL ptlSrc = *pptlSrc;
            if (src.bVideo && trg.bVideo) {
                vSetSourceSurface(ppdev, src.offset, src.pitch);
                vSetDestinationSurface(ppdev, trg.offset, trg.pitch);
                pfnDraw<PFN_COPY>(ppdev, ZK_DM_COPY_BLT)(ppdev, 1, prclDst, 0xCCCC, &ptlSrc, prclDst);
                return TRUE;
            }
            if (trg.bVideo && !src.bVideo && psoSource->lDelta >= 0 && psoSource->iBitmapFormat == ppdev->iBitmapFormat) {
                vSetDestinationSurface(ppdev, trg.offset, trg.pitch);
                pfnDraw<PFN_PUTBITS>(ppdev, ZK_DM_PUT_BITS)(ppdev, psoSource, &ptlSrc, prclDst);
                return TRUE;
            }
        }
    }
    return DrvBitBlt(psoDst, psoSrc, nullptr, pco, pxlo, prclDst, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC);
}

extern "C" BOOL APIENTRY DrvPaint(SURFOBJ *pso, void *pvco, void *pbo, POINTL *pptlBrushOrg, ULONG mix) {
    auto *pco = static_cast<CLIPOBJ *>(pvco);
    const ULONG rop4 = static_cast<ULONG>(kMixToRop3[(mix >> 8) & 0xF] << 8 | kMixToRop3[mix & 0xF]);
    return DrvBitBlt(pso, nullptr, nullptr, pco, nullptr, &pco->rclBounds, nullptr, nullptr, pbo, pptlBrushOrg, rop4);
}

// Stretching is not done by this driver and the surfaces do not hook it: the engine draws
// stretched blits itself, so an unexpected call is refused rather than reported as drawn.
extern "C" BOOL APIENTRY DrvStretchBlt(SURFOBJ *, SURFOBJ *, SURFOBJ *, void *, void *, void *, POINTL *, RECTL *,
                                       RECTL *, POINTL *, ULONG) {
    return FALSE;
}
