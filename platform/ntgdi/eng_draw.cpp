// The engine's drawing objects and its own DIB renderer (see eng_draw.h).
#include "platform/ntgdi/eng_draw.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/ntgdi/eng_internal.h"

namespace {

KivEngDrawCounts g_counts{};
const SURFOBJ *g_lastTarget = nullptr;
const SURFOBJ *g_lastSource = nullptr;
// What the last target said when the call was made: drivers often describe a surface to the
// engine in a record on their stack, gone once the call returns.
SURFOBJ g_lastTargetSeen{};


bool reachable(const SURFOBJ *pso) { return pso && pso->pvScan0 && kivEngBitsPerPixel(pso->iBitmapFormat); }

bool intersect(const RECTL &a, const RECTL &b, RECTL &out) {
    out.left = std::max(a.left, b.left);
    out.top = std::max(a.top, b.top);
    out.right = std::min(a.right, b.right);
    out.bottom = std::min(a.bottom, b.bottom);
    return out.left < out.right && out.top < out.bottom;
}

// The pieces of `target` the clip leaves visible (and inside the surface).
std::vector<RECTL> pieces(const SURFOBJ *pso, CLIPOBJ *pco, const RECTL &target) {
    std::vector<RECTL> out;
    RECTL t = target, r;
    const RECTL surface{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    if (!intersect(t, surface, t)) return out;
    const ULONG c = pco ? pco->iDComplexity : DC_TRIVIAL;
    if (c == DC_TRIVIAL) {
        out.push_back(t);
    } else if (c == DC_RECT) {
        if (intersect(t, pco->rclBounds, r)) out.push_back(r);
    } else {
        for (const RECTL &cr : reinterpret_cast<KivClipObj *>(pco)->rects)
            if (intersect(t, cr, r)) out.push_back(r);
    }
    return out;
}

uint32_t translate(const XLATEOBJ *pxlo, uint32_t v) {
    if (!pxlo || (pxlo->flXlate & XO_TRIVIAL) || !(pxlo->flXlate & XO_TABLE) || !pxlo->pulXlate) return v;
    return v < pxlo->cEntries ? pxlo->pulXlate[v] : 0;
}

uint32_t brushPixel(BRUSHOBJ *pbo, const POINTL *org, LONG x, LONG y) {
    if (!pbo) return 0;
    if (pbo->iSolidColor != 0xFFFFFFFFu) return pbo->iSolidColor;
    auto *b = reinterpret_cast<KivBrushObj *>(pbo);
    if (!b->pattern) return 0;
    const LONG w = b->pattern->sizlBitmap.cx, h = b->pattern->sizlBitmap.cy;
    const LONG ox = org ? org->x : 0, oy = org ? org->y : 0;
    const LONG px = ((x - ox) % w + w) % w, py = ((y - oy) % h + h) % h;
    return translate(b->xlate, kivEngGetPixel(b->pattern, px, py));
}

bool usesSource(uint32_t rop3) { return ((rop3 >> 2) ^ rop3) & 0x33; }

}  // namespace

// ---- pixels and raster operations ------------------------------------------------------------------
uint32_t kivEngGetPixel(const SURFOBJ *pso, LONG x, LONG y) {
    const uint8_t *row = static_cast<const uint8_t *>(pso->pvScan0) + static_cast<intptr_t>(y) * pso->lDelta;
    switch (pso->iBitmapFormat) {
    case BMF_1BPP: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case BMF_4BPP: return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
    case BMF_8BPP: return row[x];
    case BMF_16BPP: { uint16_t v; std::memcpy(&v, row + 2 * x, 2); return v; }
    case BMF_24BPP: return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
    default: { uint32_t v; std::memcpy(&v, row + 4 * x, 4); return v; }
    }
}

void kivEngSetPixel(SURFOBJ *pso, LONG x, LONG y, uint32_t v) {
    uint8_t *row = static_cast<uint8_t *>(pso->pvScan0) + static_cast<intptr_t>(y) * pso->lDelta;
    switch (pso->iBitmapFormat) {
    case BMF_1BPP: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>((v & 1) ? row[x >> 3] | bit : row[x >> 3] & ~bit);
        break;
    }
    case BMF_4BPP:
        row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | (v & 0xF)
                                                   : (row[x >> 1] & 0x0F) | (v & 0xF) << 4);
        break;
    case BMF_8BPP: row[x] = static_cast<uint8_t>(v); break;
    case BMF_16BPP: { uint16_t s = static_cast<uint16_t>(v); std::memcpy(row + 2 * x, &s, 2); break; }
    case BMF_24BPP:
        row[3 * x] = static_cast<uint8_t>(v);
        row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        break;
    default: std::memcpy(row + 4 * x, &v, 4); break;
    }
}

uint32_t kivEngRop3(uint32_t rop3, uint32_t d, uint32_t s, uint32_t p) {
    uint32_t r = 0;
    for (unsigned i = 0; i < 8; ++i)
        if (rop3 & (1u << i)) r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    return r;
}

KivEngDrawCounts kivEngDrawCounts() { return g_counts; }
void kivEngResetDrawCounts() { g_counts = {}; }
const SURFOBJ *kivEngLastTarget() { return g_lastTarget; }
const SURFOBJ *kivEngLastSource() { return g_lastSource; }
SURFOBJ kivEngLastTargetSeen() { return g_lastTargetSeen; }

// ---- clip regions ---------------------------------------------------------------------------------
KivClipObj KivClipObj::trivial(const RECTL &bounds) {
    KivClipObj c;
    c.co.iDComplexity = DC_TRIVIAL;
    c.co.rclBounds = bounds;
    c.rects = {bounds};
    return c;
}

KivClipObj KivClipObj::rect(const RECTL &r) {
    KivClipObj c;
    c.co.iDComplexity = DC_RECT;
    c.co.rclBounds = r;
    c.rects = {r};
    return c;
}

KivClipObj KivClipObj::region(const std::vector<RECTL> &rects) {
    KivClipObj c;
    c.co.iDComplexity = DC_COMPLEX;
    c.rects = rects;
    RECTL b{0, 0, 0, 0};
    for (size_t i = 0; i < rects.size(); ++i) {
        const RECTL &r = rects[i];
        if (i == 0) b = r;
        b.left = std::min(b.left, r.left);
        b.top = std::min(b.top, r.top);
        b.right = std::max(b.right, r.right);
        b.bottom = std::max(b.bottom, r.bottom);
    }
    c.co.rclBounds = b;
    return c;
}

extern "C" ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, BOOL, ULONG, ULONG iDirection, ULONG) {
    auto *c = reinterpret_cast<KivClipObj *>(pco);
    c->order = c->rects;
    c->lastDirection = iDirection;
    const bool up = iDirection == CD_RIGHTUP || iDirection == CD_LEFTUP;
    const bool left = iDirection == CD_LEFTDOWN || iDirection == CD_LEFTUP;
    if (iDirection != CD_ANY)
        std::stable_sort(c->order.begin(), c->order.end(), [&](const RECTL &a, const RECTL &b) {
            if (a.top != b.top) return up ? a.top > b.top : a.top < b.top;
            return left ? a.left > b.left : a.left < b.left;
        });
    c->next = 0;
    return static_cast<ULONG>(c->order.size());
}

extern "C" BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pul) {
    auto *c = reinterpret_cast<KivClipObj *>(pco);
    auto *e = reinterpret_cast<ENUMRECTS *>(pul);
    const size_t room = cj >= sizeof(ULONG) ? (cj - sizeof(ULONG)) / sizeof(RECTL) : 0;
    size_t n = 0;
    while (n < room && c->next < c->order.size()) e->arcl[n++] = c->order[c->next++];
    e->c = static_cast<ULONG>(n);
    return c->next < c->order.size();
}

// ---- brushes ---------------------------------------------------------------------------------------
KivBrushObj KivBrushObj::solid(ULONG color) {
    KivBrushObj b;
    b.bo.iSolidColor = color;
    return b;
}

KivBrushObj KivBrushObj::patterned(SURFOBJ *pattern, XLATEOBJ *xlate) {
    KivBrushObj b;
    b.bo.iSolidColor = 0xFFFFFFFFu;
    b.pattern = pattern;
    b.xlate = xlate;
    return b;
}

extern "C" PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj) {
    auto *b = reinterpret_cast<KivBrushObj *>(pbo);
    b->rbrush.assign(cj, 0);
    b->bo.pvRbrush = nullptr;
    return b->rbrush.data();
}

extern "C" PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo) {
    if (pbo->pvRbrush) return pbo->pvRbrush;
    auto *b = reinterpret_cast<KivBrushObj *>(pbo);
    typedef BOOL(APIENTRY * PFN_Realize)(BRUSHOBJ *, SURFOBJ *, SURFOBJ *, SURFOBJ *, XLATEOBJ *, ULONG);
    auto realize = reinterpret_cast<PFN_Realize>(kivEngineDriverFunction(INDEX_DrvRealizeBrush));
    if (!realize || !b->pattern) return nullptr;
    ++b->realizeCalls;
    if (!realize(pbo, b->target, b->pattern, nullptr, b->xlate, b->iHatch) || b->rbrush.empty()) return nullptr;
    pbo->pvRbrush = b->rbrush.data();
    return pbo->pvRbrush;
}

// ---- colour translations ------------------------------------------------------------------------------
KivXlateObj KivXlateObj::identity() {
    KivXlateObj x;
    x.xo.flXlate = XO_TRIVIAL;
    return x;
}

KivXlateObj KivXlateObj::fromTable(const std::vector<ULONG> &table) {
    KivXlateObj x;
    x.table = table;
    x.xo.flXlate = XO_TABLE;
    x.xo.cEntries = static_cast<ULONG>(table.size());
    x.xo.pulXlate = x.table.data();
    return x;
}

KivXlateObj KivXlateObj::fromPalette(const std::vector<ULONG> &palette, ULONG (*toScreen)(ULONG entry)) {
    std::vector<ULONG> table;
    for (ULONG e : palette) table.push_back(toScreen(e));
    KivXlateObj x = fromTable(table);
    x.srcPalette = palette;
    return x;
}

// Every XLATEOBJ the engine hands a driver is the first member of a KivXlateObj.
extern "C" ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal) {
    if (!pxlo || (iPal != XO_SRCPALETTE && iPal != XO_DESTPALETTE)) return 0;
    const auto *x = reinterpret_cast<const KivXlateObj *>(pxlo);
    const std::vector<ULONG> &pal = iPal == XO_SRCPALETTE ? x->srcPalette : x->dstPalette;
    if (!pPal) return static_cast<ULONG>(pal.size());
    const ULONG n = std::min<ULONG>(cPal, static_cast<ULONG>(pal.size()));
    std::copy(pal.begin(), pal.begin() + n, pPal);
    return n;
}

// ---- strings ---------------------------------------------------------------------------------------
KivGlyph *kivMakeGlyph(const std::vector<const char *> &rows, POINTL origin) {
    auto *g = new KivGlyph;
    const LONG cy = static_cast<LONG>(rows.size());
    const LONG cx = cy ? static_cast<LONG>(std::strlen(rows[0])) : 0;
    const size_t rowBytes = static_cast<size_t>(cx + 7) / 8;
    g->store.assign(4 + (rowBytes * cy + 3) / 4 + 1, 0);
    GLYPHBITS *gb = g->bits();
    gb->ptlOrigin = origin;
    gb->sizlBitmap = {cx, cy};
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cx; ++x)
            if (rows[y][x] == '#') gb->aj[y * rowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x & 7));
    g->def.pgb = gb;
    return g;
}

void KivStrObj::finish(bool enumerateIt, ULONG batchSize, ULONG charInc) {
    for (size_t i = 0; i < pos.size() && i < glyphs.size(); ++i) pos[i].pgdf = &glyphs[i]->def;
    enumerate = enumerateIt;
    batch = batchSize ? batchSize : static_cast<ULONG>(pos.size());
    so.cGlyphs = static_cast<ULONG>(pos.size());
    so.ulCharInc = charInc;
    so.pgp = enumerate ? nullptr : pos.data();
    next = 0;
}

extern "C" BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, GLYPHPOS **ppgpos) {
    auto *s = reinterpret_cast<KivStrObj *>(pstro);
    const size_t n = std::min<size_t>(s->batch, s->pos.size() - s->next);
    *pc = static_cast<ULONG>(n);
    *ppgpos = s->pos.data() + s->next;
    s->next += n;
    return s->next < s->pos.size();
}

// ---- the engine's renderer ---------------------------------------------------------------------------
extern "C" BOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco,
                                   XLATEOBJ *pxlo, RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask,
                                   BRUSHOBJ *pbo, POINTL *pptlBrush, ULONG rop4) {
    ++g_counts.bitBlt;
    g_lastTarget = psoTrg;
    g_lastTargetSeen = psoTrg != nullptr ? *psoTrg : SURFOBJ{};
    g_lastSource = psoSrc;
    const uint32_t fg = rop4 & 0xFF, bg = (rop4 >> 8) & 0xFF;
    const bool needSource = usesSource(fg) || usesSource(bg);
    if (!reachable(psoTrg) || !prclTrg || (needSource && (!reachable(psoSrc) || !pptlSrc)) ||
        (fg != bg && !reachable(psoMask))) {
        kivEngError("EngBitBlt on a surface whose bits the engine cannot reach");
        return FALSE;
    }
    const RECTL &t = *prclTrg;
    const LONG w = t.right - t.left, h = t.bottom - t.top;
    if (w <= 0 || h <= 0) return TRUE;
    // The source is read before anything is written, so overlapping copies come out right.
    std::vector<uint32_t> src;
    if (needSource) {
        src.resize(static_cast<size_t>(w) * h);
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                const LONG sx = pptlSrc->x + x, sy = pptlSrc->y + y;
                const bool in = sx >= 0 && sy >= 0 && sx < psoSrc->sizlBitmap.cx && sy < psoSrc->sizlBitmap.cy;
                src[static_cast<size_t>(y) * w + x] = in ? translate(pxlo, kivEngGetPixel(psoSrc, sx, sy)) : 0;
            }
    }
    const unsigned bpp = kivEngBitsPerPixel(psoTrg->iBitmapFormat);
    const uint32_t mask = bpp >= 32 ? 0xFFFFFFFFu : (1u << bpp) - 1;
    for (const RECTL &p : pieces(psoTrg, pco, t))
        for (LONG y = p.top; y < p.bottom; ++y)
            for (LONG x = p.left; x < p.right; ++x) {
                uint32_t rop = fg;
                if (fg != bg) {
                    const LONG mx = (pptlMask ? pptlMask->x : 0) + x - t.left;
                    const LONG my = (pptlMask ? pptlMask->y : 0) + y - t.top;
                    rop = kivEngGetPixel(psoMask, mx, my) ? fg : bg;
                }
                const uint32_t s = needSource ? src[static_cast<size_t>(y - t.top) * w + (x - t.left)] : 0;
                const uint32_t d = kivEngGetPixel(psoTrg, x, y);
                const uint32_t pat = brushPixel(pbo, pptlBrush, x, y);
                kivEngSetPixel(psoTrg, x, y, kivEngRop3(rop, d, s, pat) & mask);
            }
    return TRUE;
}

extern "C" BOOL APIENTRY EngCopyBits(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                     RECTL *prclDst, POINTL *pptlSrc) {
    KivEngDrawCounts keep = g_counts;
    BOOL ok = EngBitBlt(psoDst, psoSrc, nullptr, pco, pxlo, prclDst, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC);
    g_counts = keep;
    ++g_counts.copyBits;
    return ok;
}

extern "C" BOOL APIENTRY EngLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                                   RECTL *, ULONG mix) {
    ++g_counts.lineTo;
    g_lastTarget = pso;
    g_lastTargetSeen = pso != nullptr ? *pso : SURFOBJ{};
    g_lastSource = nullptr;
    if (!reachable(pso)) {
        kivEngError("EngLineTo on a surface whose bits the engine cannot reach");
        return FALSE;
    }
    const uint32_t rop2 = (mix & 0x1F) - 1;   // bit (pen << 1 | dest) of the ROP2 table
    const uint32_t pen = pbo ? pbo->iSolidColor : 0;
    const LONG dx = x2 - x1, dy = y2 - y1;
    const LONG n = std::max(std::abs(dx), std::abs(dy));
    const RECTL surface{0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    // The end point is not drawn.
    for (LONG i = 0; i < n; ++i) {
        const LONG x = x1 + (n ? (dx * i + (dx >= 0 ? n / 2 : -(n / 2))) / n : 0);
        const LONG y = y1 + (n ? (dy * i + (dy >= 0 ? n / 2 : -(n / 2))) / n : 0);
        RECTL px{x, y, x + 1, y + 1}, r;
        if (!intersect(px, surface, r) || pieces(pso, pco, px).empty()) continue;
        const uint32_t d = kivEngGetPixel(pso, x, y);
        uint32_t v = 0;
        for (unsigned b = 0; b < 4; ++b)
            if (rop2 & (1u << b)) v |= ((b & 2) ? pen : ~pen) & ((b & 1) ? d : ~d);
        kivEngSetPixel(pso, x, y, v);
    }
    return TRUE;
}

extern "C" BOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *, CLIPOBJ *, XFORMOBJ *, BRUSHOBJ *, POINTL *,
                                       LINEATTRS *, ULONG) {
    ++g_counts.strokePath;
    g_lastTarget = pso;
    g_lastTargetSeen = pso != nullptr ? *pso : SURFOBJ{};
    g_lastSource = nullptr;
    if (!reachable(pso)) {
        kivEngError("EngStrokePath on a surface whose bits the engine cannot reach");
        return FALSE;
    }
    return TRUE;   // paths are not rendered by this stand-in: the call is what tests look for
}

extern "C" BOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *, CLIPOBJ *pco, RECTL *,
                                    RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *, ULONG) {
    ++g_counts.textOut;
    g_lastTarget = pso;
    g_lastTargetSeen = pso != nullptr ? *pso : SURFOBJ{};
    g_lastSource = nullptr;
    if (!reachable(pso)) {
        kivEngError("EngTextOut on a surface whose bits the engine cannot reach");
        return FALSE;
    }
    if (prclOpaque && pboOpaque)
        for (const RECTL &p : pieces(pso, pco, *prclOpaque))
            for (LONG y = p.top; y < p.bottom; ++y)
                for (LONG x = p.left; x < p.right; ++x) kivEngSetPixel(pso, x, y, pboOpaque->iSolidColor);
    auto *s = reinterpret_cast<KivStrObj *>(pstro);
    const uint32_t fore = pboFore ? pboFore->iSolidColor : 0;
    for (const GLYPHPOS &gp : s->pos) {
        const GLYPHBITS *gb = gp.pgdf->pgb;
        const LONG cx = gb->sizlBitmap.cx, cy = gb->sizlBitmap.cy, rowBytes = (cx + 7) / 8;
        const LONG gx = gp.ptl.x + gb->ptlOrigin.x, gy = gp.ptl.y + gb->ptlOrigin.y;
        for (const RECTL &p : pieces(pso, pco, RECTL{gx, gy, gx + cx, gy + cy}))
            for (LONG y = p.top; y < p.bottom; ++y)
                for (LONG x = p.left; x < p.right; ++x) {
                    const LONG bx = x - gx, by = y - gy;
                    if (gb->aj[by * rowBytes + bx / 8] & (0x80 >> (bx & 7))) kivEngSetPixel(pso, x, y, fore);
                }
    }
    return TRUE;
}
