// Text: an optional opaque rectangle, then every glyph expanded from the engine's 1 bpp glyph
// bits in the foreground colour (0 bits leave the screen alone). No glyph cache is kept.
#include "display/blt.h"
#include "display/ddi.h"

namespace {

constexpr ULONG kClipBatch = 50;
struct ZK_CLIP_BATCH {
    ULONG c;
    RECTL arcl[kClipBatch];
};

ZK_PDEV *ppdevOfSurface(SURFOBJ *pso) { return pso ? reinterpret_cast<ZK_PDEV *>(pso->dhpdev) : nullptr; }

// Fills c rectangles under a complex clip, the clip walked top to bottom.
void vFillOpaqueRects(ZK_PDEV *ppdev, ULONG c, const RECTL *prcl, ULONG ulColor, CLIPOBJ *pco) {
    ZK_CLIP_BATCH e;
    RECTL list[8];
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0);
    BOOL more;
    ZK_FILL_BRUSH brush{};
    brush.ulColor = ulColor;
    PFN_FILL fill = pfnFill(ppdev, false);
    do {
        more = CLIPOBJ_bEnum(pco, sizeof e, reinterpret_cast<ULONG *>(&e));
        for (ULONG i = 0; i < e.c && i < kClipBatch; ++i) {
            const RECTL &clip = e.arcl[i];
            if (clip.top >= prcl[c - 1].bottom) return;
            if (prcl[0].top >= clip.bottom) continue;
            ULONG n = 0;
            for (ULONG k = 0; k < c && k < 8; ++k)
                if (bIntersectRect(&prcl[k], &clip, &list[n])) ++n;
            if (n) fill(ppdev, n, list, 0xF0F0, brush, nullptr);
        }
    } while (more);
}

// The glyphs of one batch against one clip rectangle.
struct GlyphDraw {
    ZK_PDEV *ppdev;
    uint32_t color;
    bool clipOpen = false;

    void vGlyph(const GLYPHBITS *gb, LONG x, LONG y, const RECTL &clip) {
        const LONG cx = gb->sizlBitmap.cx, cy = gb->sizlBitmap.cy;
        if (cx <= 0 || cy <= 0) return;
        const ULONG dwords = (static_cast<ULONG>((cx + 7) / 8 * cy) + 3) / 4;
        const auto *bits = reinterpret_cast<const uint32_t *>(gb->aj);
        if (x >= clip.left && y >= clip.top && x + cx <= clip.right && y + cy <= clip.bottom) {
            if (!clipOpen) {
                vReserve(ppdev, ZK_SUB_MONO, 12);
                vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_CLIP_TL, 0);
                vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_CLIP_BR, ppdev->cyMemory << 16 | ppdev->cxMemory);
                vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_COLOR, color);
                clipOpen = true;
            }
            vReserve(ppdev, ZK_SUB_MONO, 12);
        } else {
            RECTL g{x, y, x + cx, y + cy}, r;
            if (!bIntersectRect(&g, &clip, &r)) return;
            vReserve(ppdev, ZK_SUB_MONO, 8);
            vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_CLIP_TL, ulPoint(clip.left, clip.top));
            vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_CLIP_BR, ulPoint(clip.right, clip.bottom));
            clipOpen = false;
            vReserve(ppdev, ZK_SUB_MONO, 16);
            vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_COLOR, color);
        }
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_SIZE_IN, ulSize((cx + 7) & ~7, cy));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_SIZE_OUT, ulSize(cx, cy));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_C_POINT, ulPoint(x, y));
        vPushGlyphData(ppdev, bits, dwords);
    }

    // With a fixed advance each glyph sits ulCharInc to the right of the one before, at the
    // first glyph's baseline; each still adds its own origin.
    void vBatch(const STROBJ *pstro, const GLYPHPOS *pgp, ULONG c, const RECTL &clip) {
        for (ULONG i = 0; i < c; ++i) {
            const GLYPHBITS *gb = pgp[i].pgdf->pgb;
            POINTL at = pgp[i].ptl;
            if (pstro->ulCharInc) at = POINTL{pgp[0].ptl.x + static_cast<LONG>(i * pstro->ulCharInc), pgp[0].ptl.y};
            vGlyph(gb, at.x + gb->ptlOrigin.x, at.y + gb->ptlOrigin.y, clip);
        }
    }
};

void vDrawGlyphs(ZK_PDEV *ppdev, STROBJ *pstro, CLIPOBJ *pco, BRUSHOBJ *pboFore) {
    GlyphDraw d{ppdev, ppdev->alphaBits | pboFore->iSolidColor};
    vReserve(ppdev, ZK_SUB_ROP, 4);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, 0xCC);
    const ULONG complexity = pco ? pco->iDComplexity : DC_TRIVIAL;
    auto batch = [&](GLYPHPOS *pgp, ULONG c) {
        if (!c) return;
        if (complexity == DC_TRIVIAL) {
            d.vBatch(pstro, pgp, c, RECTL{0, 0, 0x8000, 0x8000});
        } else if (complexity == DC_RECT) {
            d.vBatch(pstro, pgp, c, pco->rclBounds);
        } else {
            ZK_CLIP_BATCH e;
            CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, CD_ANY, 0);
            BOOL more;
            do {
                more = CLIPOBJ_bEnum(pco, sizeof e, reinterpret_cast<ULONG *>(&e));
                for (ULONG i = 0; i < e.c && i < kClipBatch; ++i) d.vBatch(pstro, pgp, c, e.arcl[i]);
            } while (more);
        }
    };
    if (pstro->pgp) {
        batch(pstro->pgp, pstro->cGlyphs);
        return;
    }
    BOOL more;
    do {
        ULONG c = 0;
        GLYPHPOS *pgp = nullptr;
        more = STROBJ_bEnum(pstro, &c, &pgp);
        batch(pgp, c);
    } while (more);
}

}  // namespace

BOOL bTextOutAccel(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *, CLIPOBJ *pco, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                   BRUSHOBJ *pboOpaque) {
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    if (prclOpaque) {
        vReserve(ppdev, ZK_SUB_MONO, 8);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, 0xCC);
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_COLOR, ppdev->alphaBits | pboOpaque->iSolidColor);
        const ULONG complexity = pco ? pco->iDComplexity : DC_TRIVIAL;
        RECTL r = *prclOpaque;
        // Group A takes x and y (and width and height) the other way round.
        auto draw = [&](const RECTL &q) {
            vReserve(ppdev, ZK_SUB_MONO, 8);
            vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_POINT, static_cast<uint32_t>(q.left) << 16 | (q.top & 0xFFFF));
            vPut(ppdev, ZK_SUB_MONO, ZK_MONO_A_SIZE,
                 static_cast<uint32_t>(q.right - q.left) << 16 | ((q.bottom - q.top) & 0xFFFF));
        };
        if (complexity == DC_TRIVIAL) draw(r);
        else if (complexity == DC_RECT) {
            if (bIntersectRect(prclOpaque, &pco->rclBounds, &r)) draw(r);
        } else {
            vFillOpaqueRects(ppdev, 1, prclOpaque, pboOpaque->iSolidColor, pco);
        }
    }
    vDrawGlyphs(ppdev, pstro, pco, pboFore);
    return TRUE;
}

extern "C" BOOL APIENTRY DrvTextOut(SURFOBJ *pso, void *pvstro, void *pvfo, void *pvco, RECTL *prclExtra,
                                    RECTL *prclOpaque, void *pvboFore, void *pvboOpaque, POINTL *pptlOrg, ULONG mix) {
    auto *pstro = static_cast<STROBJ *>(pvstro);
    auto *pfo = static_cast<FONTOBJ *>(pvfo);
    auto *pco = static_cast<CLIPOBJ *>(pvco);
    auto *pboFore = static_cast<BRUSHOBJ *>(pvboFore);
    auto *pboOpaque = static_cast<BRUSHOBJ *>(pvboOpaque);
    ZK_PDEV *ppdev = ppdevOfSurface(pso);
    if (!ppdev) return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
    const ZK_SURFACE_PLACE place = placeOf(ppdev, pso);
    if (!place.bVideo || !bEngineReady(ppdev)) {
        SURFOBJ desc;
        SURFOBJ *target = psoForEngine(ppdev, pso, &desc);
        if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
        return EngTextOut(target, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
    }
    ZK_ENGINE_LOCK lock(ppdev);
    pDraw(ppdev)->xOffset = pDraw(ppdev)->yOffset = 0;
    vSetDestinationSurface(ppdev, place.offset, place.pitch);
    return pfnDraw<PFN_TEXTOUT>(ppdev, ZK_DM_TEXT_OUT)(pso, pstro, pfo, pco, prclOpaque, pboFore, pboOpaque);
}

extern "C" void APIENTRY DrvDestroyFont(void *pvfo) {
    auto *pfo = static_cast<FONTOBJ *>(pvfo);
    if (pfo && pfo->pvConsumer) pfo->pvConsumer = nullptr;
}

BOOL bEnableText(ZK_PDEV *) { return TRUE; }
void vDisableText(ZK_PDEV *) {}
void vAssertModeText(ZK_PDEV *, BOOL) {}
