// The drawing methods of the PDEV's table: solid and brush fills, monochrome expansion,
// 4 bpp to 8 bpp translation, transfers in the screen's format and screen-to-screen copies.
#include <cstring>
#include <initializer_list>
#include <vector>

#include "display/blt.h"

namespace {

// The fill colour becomes the engine's source operand: the pattern bits of the ROP move there.
uint32_t ulSolidRop3(ULONG rop4) { return ((rop4 & 0x3C) >> 2) * 0x11; }

// A colour brush goes to the engine as image data, so its pattern operand becomes the source.
struct PatternAsSourceTable {
    uint8_t v[64];
    constexpr PatternAsSourceTable() : v() {
        for (unsigned i = 0; i < 64; ++i) v[i] = static_cast<uint8_t>(0x11 * ((i & 3) | ((i >> 4) << 2)));
    }
};
constexpr PatternAsSourceTable kPatternAsSource;

// Image width rounded as the image object takes rows: whole dwords.
LONG lRoundedWidth(const ZK_PDEV *ppdev, LONG w) {
    switch (ppdev->cjPelSize) {
    case 1: return (w + 3) & ~3;
    case 2: return (w + 1) & ~1;
    default: return w;
    }
}

uint8_t ucRotateRight(uint8_t b, unsigned n) {
    n &= 7;
    return static_cast<uint8_t>((b >> n) | (b << ((8 - n) & 7)));
}

ULONG ulXlate(const XLATEOBJ *pxlo, ULONG i) {
    // Without a table the source's values are already the target's.
    if (!pxlo || (pxlo->flXlate & XO_TRIVIAL) || !pxlo->pulXlate || i >= pxlo->cEntries) return i;
    return pxlo->pulXlate[i];
}

void vImageHeader(ZK_PDEV *ppdev, uint32_t rop3, LONG x, LONG y, LONG w, LONG h) {
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    vReserve(ppdev, ZK_SUB_IMAGE, 16);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_POINT, ulPoint(x + ds->xOffset, y + ds->yOffset));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_OUT, ulSize(w, h));
    vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_IN, ulSize(lRoundedWidth(ppdev, w), h));
}

// Dwords of image data in groups of `first`, then 4, then one at a time.
void vPushDwords(ZK_PDEV *ppdev, const uint32_t *pdw, ULONG n, ULONG first) {
    for (ULONG group : {first, ULONG{4}, ULONG{1}})
        for (; n >= group; n -= group) {
            vReserve(ppdev, ZK_SUB_IMAGE, 4 * group);
            for (ULONG i = 0; i < group; ++i) vPut(ppdev, ZK_SUB_IMAGE, static_cast<uint16_t>(ZK_IMG_DATA + 4 * i), *pdw++);
        }
}

// One blit-object copy inside the destination surface.
void vBlitCopy(ZK_PDEV *ppdev, LONG xs, LONG ys, LONG xd, LONG yd, LONG w, LONG h) {
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    vReserve(ppdev, ZK_SUB_BLIT, 12);
    vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SRC, ulPoint(xs + ds->xOffset, ys + ds->yOffset));
    vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_DST, ulPoint(xd + ds->xOffset, yd + ds->yOffset));
    vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SIZE, ulSize(w, h));
}

// A row of pattern pixels repeated across `pixels`, as dwords.
void vPatternRow(const ZK_PDEV *ppdev, const uint8_t *row8, LONG pixels, uint32_t *out) {
    const ULONG pel = ppdev->cjPelSize;
    auto *bytes = reinterpret_cast<uint8_t *>(out);
    for (LONG i = 0; i < pixels; ++i) std::memcpy(bytes + i * pel, row8 + (i & 7) * pel, pel);
}

// Doubling copies along one axis: the first `have` units starting at `origin` are filled; the
// rest of `total` is filled by copies of the steps the engine is given.
template <typename Copy> void vReplicate(LONG have, LONG total, bool widthRule, Copy copy) {
    LONG left = total - have;
    if (widthRule ? left >= 24 : left > 23) {
        for (int i = 0; i < 3; ++i, have += 8, left -= 8) copy(have, 8);
        if (widthRule ? left >= 128 : left > 127)
            for (int i = 0; i < 4; ++i, have += 32, left -= 32) copy(have, 32);
    }
    for (; left >= 128; have += 128, left -= 128) copy(have, 128);
    for (; left >= 32; have += 32, left -= 32) copy(have, 32);
    for (; left >= 8; have += 8, left -= 8) copy(have, 8);
    if (left > 0) copy(have, left);
}

// PATCOPY with a colour brush at 16 and 32 bpp: one 8-pixel cell a row, widened and then
// repeated downward by copies inside the destination.
void vFillPatternReplicate(ZK_PDEV *ppdev, const RECTL &r, uint32_t rop3) {
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const uint8_t *buf = pDraw(ppdev)->patternBuffer;
    const ULONG rowBytes = 8 * ppdev->cjPelSize;
    vSetSourceSurface(ppdev, ppdev->dstOffset, ppdev->dstPitch);
    vReserve(ppdev, ZK_SUB_ROP, 4);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop3);
    uint32_t row[32];
    const LONG first = h < 8 ? h : 8;
    for (LONG j = 0; j < first; ++j) {
        const LONG y = r.top + j;
        const uint8_t *src = buf + (j & 7) * rowBytes;
        ZK_DRAW_STATE *ds = pDraw(ppdev);
        // Narrow pieces send the whole row; wider ones one cell that the engine widens.
        const LONG cell = w < 32 ? w : 8;
        vReserve(ppdev, ZK_SUB_IMAGE, 12);
        vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_POINT, ulPoint(r.left + ds->xOffset, y + ds->yOffset));
        vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_OUT, ulSize(cell, 1));
        vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_SIZE_IN, ulSize(lRoundedWidth(ppdev, cell), 1));
        vPatternRow(ppdev, src, lRoundedWidth(ppdev, cell), row);
        vPushDwords(ppdev, row, static_cast<ULONG>(lRoundedWidth(ppdev, cell)) * ppdev->cjPelSize / 4, 8);
        if (w < 32) continue;
        vReserve(ppdev, ZK_SUB_ROP, 4);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, 0xCCCC);
        vReplicate(8, w, true, [&](LONG at, LONG n) { vBlitCopy(ppdev, r.left, y, r.left + at, y, n, 1); });
    }
    if (w < 32) {
        vReserve(ppdev, ZK_SUB_ROP, 4);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, 0xCCCC);
    }
    if (h > 8) vReplicate(8, h, false, [&](LONG at, LONG n) { vBlitCopy(ppdev, r.left, r.top, r.left, r.top + at, w, n); });
}

void vFillPatternColor(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, const ZK_RBRUSH *prb, const POINTL &org) {
    const uint32_t rop3 = kPatternAsSource.v[(rop4 & 0xFF) >> 2];
    const ULONG pel = ppdev->cjPelSize, rowBytes = 8 * pel;
    uint8_t *buf = pDraw(ppdev)->patternBuffer;
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) continue;
        const LONG dy = (org.y - r.top) & 7, dx = (org.x - r.left) & 7;
        for (LONG row = 0; row < 8; ++row) {
            const uint8_t *from = prb->aj + ((row - dy) & 7) * rowBytes;
            for (LONG i = 0; i < 8; ++i) std::memcpy(buf + row * rowBytes + i * pel, from + ((i - dx) & 7) * pel, pel);
        }
        if (pel > 1 && (rop4 & 0xFF) == 0xF0) {
            vFillPatternReplicate(ppdev, r, rop3);
            continue;
        }
        vImageHeader(ppdev, rop3, r.left, r.top, w, h);
        const LONG wr = lRoundedWidth(ppdev, w);
        uint32_t line[8 * 4 + 256];
        std::vector<uint32_t> wide;
        uint32_t *out = line;
        if (static_cast<size_t>(wr) * pel > sizeof line) {
            wide.resize(static_cast<size_t>(wr) * pel / 4 + 1);
            out = wide.data();
        }
        for (LONG j = 0; j < h; ++j) {
            vPatternRow(ppdev, buf + (j & 7) * rowBytes, wr, out);
            vPushDwords(ppdev, out, static_cast<ULONG>(wr) * pel / 4, pel == 1 ? 4 : 8);
        }
    }
}

}  // namespace

void vFillSolid(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, ZK_FILL_BRUSH brush, POINTL *) {
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    vReserve(ppdev, ZK_SUB_ROP, 4);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, ulSolidRop3(rop4));
    vResetClip(ppdev);
    const uint32_t color = ppdev->alphaBits | brush.ulColor;
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        vReserve(ppdev, ZK_SUB_RECT, 12);
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_COLOR, color);
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_POINT, ulPoint(r.left + ds->xOffset, r.top + ds->yOffset));
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_SIZE, ulSize(r.right - r.left, r.bottom - r.top));
    }
}

void vFillPattern(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, ZK_FILL_BRUSH brush, POINTL *pptlBrush) {
    const ZK_RBRUSH *prb = brush.prb;
    const POINTL org = pptlBrush ? *pptlBrush : POINTL{0, 0};
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    vResetClip(ppdev);
    if (!(prb->flags & RB_MONO)) {
        vFillPatternColor(ppdev, c, prcl, rop4, prb, org);
        return;
    }
    uint8_t *buf = ds->patternBuffer;
    for (LONG j = 0; j < 8; ++j)
        buf[j] = ucRotateRight(prb->aj[(j - (ds->yOffset + org.y)) & 7], static_cast<unsigned>(ds->xOffset + org.x));
    uint32_t bits0, bits1;
    std::memcpy(&bits0, buf, 4);
    std::memcpy(&bits1, buf + 4, 4);
    vReserve(ppdev, ZK_SUB_PATTERN, 24);
    vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop4 & 0xFF);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_SHAPE, 0);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_COLOR0, ppdev->alphaBits | prb->background);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_COLOR1, ppdev->alphaBits | prb->foreground);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_BITS0, bits0);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_BITS1, bits1);
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        vReserve(ppdev, ZK_SUB_RECT, 12);
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_COLOR, ppdev->alphaBits | prb->foreground);
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_POINT, ulPoint(r.left + ds->xOffset, r.top + ds->yOffset));
        vPut(ppdev, ZK_SUB_RECT, ZK_RECT_SIZE, ulSize(r.right - r.left, r.bottom - r.top));
    }
}

void vXfer1bpp(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclTrg,
               XLATEOBJ *pxlo, ULONG ulPatternColor) {
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    const uint32_t color0 = ppdev->alphaBits | ulXlate(pxlo, 0), color1 = ppdev->alphaBits | ulXlate(pxlo, 1);
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG h = r.bottom - r.top;
        if (h <= 0 || r.right <= r.left) continue;
        const LONG sx = pptlSrc->x + r.left - prclTrg->left, sy = pptlSrc->y + r.top - prclTrg->top;
        // The expansion starts at the source's 32-pixel boundary; the clip hides what lies left.
        const LONG x0 = r.left + ds->xOffset - (sx & 31);
        const LONG wOut = r.right + ds->xOffset - x0, wIn = (wOut + 31) & ~31;
        vLoadSolidPattern(ppdev, ulPatternColor);
        vReserve(ppdev, ZK_SUB_ROP, 4);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop4 & 0xFF);
        vReserve(ppdev, ZK_SUB_MONO, 28);
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_CLIP_TL, ulPoint(r.left + ds->xOffset, r.top + ds->yOffset));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_CLIP_BR, ulPoint(r.right + ds->xOffset, r.bottom + ds->yOffset));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_COLOR0, color0);
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_COLOR1, color1);
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_SIZE_IN, ulSize(wIn, h));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_SIZE_OUT, ulSize(wOut, h));
        vPut(ppdev, ZK_SUB_MONO, ZK_MONO_E_POINT, ulPoint(x0, r.top + ds->yOffset));
        const uint8_t *row = static_cast<const uint8_t *>(psoSrc->pvScan0) + static_cast<intptr_t>(sy) * psoSrc->lDelta +
                             ((sx / 8) & ~3);
        for (LONG j = 0; j < h; ++j, row += psoSrc->lDelta)
            vPushMonoData(ppdev, reinterpret_cast<const uint32_t *>(row), static_cast<ULONG>(wIn / 32));
    }
}

void vXfer4to8bpp(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc,
                  RECTL *prclTrg, XLATEOBJ *pxlo, ULONG) {
    vResetClip(ppdev);
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) continue;
        const LONG sx = pptlSrc->x + r.left - prclTrg->left, sy = pptlSrc->y + r.top - prclTrg->top;
        vImageHeader(ppdev, rop4 & 0xFF, r.left, r.top, w, h);
        for (LONG j = 0; j < h; ++j) {
            const uint8_t *src = static_cast<const uint8_t *>(psoSrc->pvScan0) +
                                 static_cast<intptr_t>(sy + j) * psoSrc->lDelta + sx / 2;
            uint8_t buf[64];
            ULONG n = 0;
            // The high nibble of a byte is its left pixel; an odd start begins with a low nibble.
            for (LONG i = 0, x = sx; i < w; ++i, ++x) {
                const uint8_t byte = src[(x - (sx & ~1)) / 2];
                const ULONG nibble = (x & 1) ? byte & 0xF : byte >> 4;
                buf[n++] = static_cast<uint8_t>(ulXlate(pxlo, nibble));
                if (n == sizeof buf) {
                    vPushImageBytes(ppdev, buf, n);
                    n = 0;
                }
            }
            if (n) vPushImageBytes(ppdev, buf, n);
        }
    }
}

BOOL bPutBitsCpu(SURFOBJ *, const uint8_t *pvSrcBits, ZK_PDEV *ppdev, LONG lSrcDelta, POINTL *pptlSrc,
                 RECTL *prclTrg, RECTL *prcl, ULONG c, ULONG rop4) {
    if (rop4 != 0xCCCC) return FALSE;
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    const ULONG pel = ppdev->cjPelSize;
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) continue;
        const LONG sx = pptlSrc->x + r.left - prclTrg->left, sy = pptlSrc->y + r.top - prclTrg->top;
        uint8_t *d = ppdev->frameBuffer + ppdev->dstOffset + static_cast<size_t>(r.top + ds->yOffset) * ppdev->dstPitch +
                     static_cast<size_t>(r.left + ds->xOffset) * pel;
        const uint8_t *s = pvSrcBits + static_cast<intptr_t>(sy) * lSrcDelta + static_cast<intptr_t>(sx) * pel;
        for (LONG j = 0; j < h; ++j, d += ppdev->dstPitch, s += lSrcDelta) {
            uint8_t *dd = d;
            const uint8_t *ss = s;
            ULONG n = static_cast<ULONG>(w) * pel;
            if (n && (reinterpret_cast<uintptr_t>(dd) & 1)) { *dd++ = *ss++; --n; }
            if (n >= 2 && (reinterpret_cast<uintptr_t>(dd) & 2)) { std::memcpy(dd, ss, 2); dd += 2; ss += 2; n -= 2; }
            for (; n >= 16; n -= 16, dd += 16, ss += 16) std::memcpy(dd, ss, 16);
            for (; n >= 4; n -= 4, dd += 4, ss += 4) std::memcpy(dd, ss, 4);
            if (n >= 2) { std::memcpy(dd, ss, 2); dd += 2; ss += 2; n -= 2; }
            if (n) *dd = *ss;
        }
    }
    return TRUE;
}

void vXferNative(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclTrg,
                 XLATEOBJ *, ULONG) {
    if (bPutBitsCpu(psoSrc, static_cast<const uint8_t *>(psoSrc->pvScan0), ppdev, psoSrc->lDelta, pptlSrc, prclTrg,
                    prcl, c, rop4))
        return;
    vResetClip(ppdev);
    const ULONG pel = ppdev->cjPelSize;
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) continue;
        const LONG sx = pptlSrc->x + r.left - prclTrg->left, sy = pptlSrc->y + r.top - prclTrg->top;
        vImageHeader(ppdev, rop4 & 0xFF, r.left, r.top, w, h);
        const uint8_t *src = static_cast<const uint8_t *>(psoSrc->pvScan0) + static_cast<intptr_t>(sy) * psoSrc->lDelta +
                             static_cast<intptr_t>(sx) * pel;
        vPushImageRows(ppdev, static_cast<ULONG>(w) * pel, static_cast<ULONG>(h), src, psoSrc->lDelta);
    }
}

void vPutBits(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclDst) {
    bPutBitsCpu(psoSrc, static_cast<const uint8_t *>(psoSrc->pvScan0), ppdev, psoSrc->lDelta, pptlSrc, prclDst,
                prclDst, 1, 0xCCCC);
}

void vXferNativePattern(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prcl, ULONG rop3, ULONG *pulColor) {
    const LONG w = prcl->right - prcl->left, h = prcl->bottom - prcl->top;
    if (w <= 0 || h <= 0) return;
    vResetClip(ppdev);
    vLoadSolidPattern(ppdev, *pulColor);
    vImageHeader(ppdev, rop3, prcl->left, prcl->top, w, h);
    const ULONG pel = ppdev->cjPelSize;
    const uint8_t *src = static_cast<const uint8_t *>(psoSrc->pvScan0) +
                         static_cast<intptr_t>(pptlSrc->y) * psoSrc->lDelta + static_cast<intptr_t>(pptlSrc->x) * pel;
    for (LONG j = 0; j < h; ++j, src += psoSrc->lDelta) vPushImageBytes(ppdev, src, static_cast<ULONG>(w) * pel);
}

void vCopyBlt(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, POINTL *pptlSrc, RECTL *prclTrg) {
    ZK_DRAW_STATE *ds = pDraw(ppdev);
    vResetClip(ppdev);
    for (ULONG k = 0; k < c; ++k) {
        const RECTL &r = prcl[k];
        const LONG sx = pptlSrc->x + r.left - prclTrg->left, sy = pptlSrc->y + r.top - prclTrg->top;
        vReserve(ppdev, ZK_SUB_BLIT, 16);
        vPut(ppdev, ZK_SUB_ROP, ZK_ROP_ROP3, rop4 & 0xFF);
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SRC, ulPoint(sx, sy));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_DST, ulPoint(r.left + ds->xOffset, r.top + ds->yOffset));
        vPut(ppdev, ZK_SUB_BLIT, ZK_BLT_SIZE, ulSize(r.right - r.left, r.bottom - r.top));
    }
}

void vInstallDrawMethods(ZK_PDEV *ppdev) {
    for (PFN &p : ppdev->drawMethods) p = nullptr;
    ppdev->drawMethods[ZK_DM_FILL_SOLID] = reinterpret_cast<PFN>(vFillSolid);
    ppdev->drawMethods[ZK_DM_FILL_PATTERN] = reinterpret_cast<PFN>(vFillPattern);
    ppdev->drawMethods[ZK_DM_XFER_1BPP] = reinterpret_cast<PFN>(vXfer1bpp);
    ppdev->drawMethods[ZK_DM_XFER_4TO8BPP] = reinterpret_cast<PFN>(vXfer4to8bpp);
    ppdev->drawMethods[ZK_DM_XFER_NATIVE] = reinterpret_cast<PFN>(vXferNative);
    ppdev->drawMethods[ZK_DM_COPY_BLT] = reinterpret_cast<PFN>(vCopyBlt);
    ppdev->drawMethods[ZK_DM_PUT_BITS] = reinterpret_cast<PFN>(vPutBits);
    ppdev->drawMethods[ZK_DM_TEXT_OUT] = reinterpret_cast<PFN>(bTextOutAccel);
    ppdev->drawMethods[ZK_DM_XFER_NATIVE_PATTERN] = reinterpret_cast<PFN>(vXferNativePattern);
    ppdev->pfnLineMethods[ZK_LM_STROKE_PATH] = reinterpret_cast<PFN>(bStrokePathPunt);
    ppdev->pfnLineMethods[ZK_LM_LINE_TO] = reinterpret_cast<PFN>(bLineToAxisAligned);
}
