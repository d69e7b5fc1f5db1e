// Lines and points drawn by the chip as quads (a size-1 point as one triangle), the antialiased
// ones as quads that read the built-in line and point textures, their register blocks, and the
// choosers between them and the software procs.
#include <cmath>
#include <cstring>
#include <initializer_list>
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/hw_surface.h"
#include "icd/hw/tex_memory.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kHwTexelArgb4444 = 0x200000u;  // format word: A4R4G4B4 texels, as the built-ins hold
constexpr uint32_t kHwControlBilinear = 0x2u;     // control word: bilinear filtering

// Texture coordinates of the antialiased quads. The chip's bilinear filter puts texel centres at
// +0.5 texel, and the hardware triangles send their coordinates unshifted; so the quads are centred
// on the middle of the built-in textures in those terms. Across a line, t runs from 0 to 0.75 of
// the line texture: its four rows give alpha 0, 1, 0 at the quad's edges and middle (row 1, the
// opaque one, is centred at t = 0.375), a tent over the line. A point reads the middle three
// quarters of the dot, centred at 0.5 at every level of it.
constexpr float kLineAcrossNear = 0.0f, kLineAcrossFar = 0.75f;
constexpr float kPointNear = 0.125f, kPointFar = 0.875f;

void complete(GlContext *ctx, GlVertex *v) {
    const uint32_t need = ctx->state.need.needMask | ctx->state.need.needMaskFront;
    if ((need & ~(v->flags & kGlVertexDoneMask)) == 0) return;
    GlCompleteVertexProc proc = ctx->slots.primitive.completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift];
    if (proc != nullptr) proc(ctx, v, need);
}

// Keeps the window position to a 1/16 pixel at the window bias: the two ends of shared line
// segments snap alike.
void snap(float &f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    b &= ~0x7Fu;
    std::memcpy(&f, &b, 4);
}

// A block of one primitive kind: the triangle words with the kind's own control, sent when the
// chip holds another kind's block.
uint32_t *blockFor(HwState *hw, uint32_t *w, const uint32_t regs[6], uint8_t kind) {
    if (hw->loadedBlock != kind) {
        w += __glHwWriteBlock(hw, w, regs);
        hw->loadedBlock = kind;
    }
    return w;
}

// The block of an antialiased kind: bound with the object that reads its built-in texture. When
// that is not the triangles' object, the triangle block is bound again before its next use.
uint32_t *smoothBlockFor(HwState *hw, uint32_t *w, const uint32_t regs[6], uint8_t kind, const HwTexBlock *tex) {
    if (hw->loadedBlock == kind) return w;
    *w++ = kHwBindTriangleObject;
    *w++ = tex->object;
    *w++ = kHwBlockHeader;
    std::memcpy(w, regs, 24);
    if (tex->object != hw->triangleObject) hw->bindPending = 1;
    hw->loadedBlock = kind;
    return w + 6;
}

uint32_t *vertexAt(const GlContext *ctx, uint32_t *w, const GlVertex *v, float x, float y, uint32_t tag,
                   uint32_t colour) {
    *w++ = kHwOneVertexHeader;
    HwVertex *hv = reinterpret_cast<HwVertex *>(w);
    __glHwEncodeVertex(ctx, v, tag, colour, hv);
    hv->x = x;
    hv->y = y;
    return w + kHwVertexWords;
}

// A vertex of an antialiased quad: its texture coordinates on the built-in texture, 1/w 1 so that
// they are linear on the screen.
uint32_t *texturedVertexAt(const GlContext *ctx, uint32_t *w, const GlVertex *v, float x, float y, float s, float t,
                           uint32_t tag, uint32_t colour) {
    HwVertex *hv = reinterpret_cast<HwVertex *>(w + 1);
    w = vertexAt(ctx, w, v, x, y, tag, colour);
    hv->invW = 1.0f;
    hv->s = s;
    hv->t = t;
    return w;
}

// The blend's second pass: the control word with the pass's blend, the closing vertices again,
// the control word back.
uint32_t *secondPass(HwState *hw, uint32_t *w, uint32_t control, const uint32_t *again, uint32_t words) {
    if (hw->blendWord == kNone) return w;
    *w++ = kHwControlMethod;
    *w++ = (control & 0x0FFFF2FFu) | hw->blendWord;
    std::memcpy(w, again, words * 4);
    w += words;
    *w++ = kHwControlMethod;
    *w++ = control;
    return w;
}

// Ends a line or point written from `start` to `w`: the blend's second pass repeats its last two
// vertices (the closing triangle), then the words are counted in.
void closePrimitive(HwState *hw, uint32_t *start, uint32_t *w, uint32_t control) {
    uint32_t again[18];
    std::memcpy(again, w - 18, sizeof again);
    w = secondPass(hw, w, control, again, 18);
    hw->writeIndex += uint32_t(w - start);
    hw->drawingPending = 1;
    __glHwEarlyKickoff(hw);
}

// The line and point choosers share the conditions a triangle needs, less what does not apply.
bool chipCannotDraw(GlContext *ctx, GlShadeFlags refuse) {
    const GlShadeFlags f = __glShadeFlags(ctx);
    if (ctx->hw.softwareOnly || ctx->renderMode != GL_RENDER) return true;
    if (!(f & kGlShadeRgba) || ctx->state.pick.drawNone) return true;
    if (f & refuse) return true;
    // A front buffer other windows overlap: only the software stores test pixel ownership.
    if (f & kGlShadeFrontClip) return true;
    if (f & kGlShadeTexture) return true;
    if (f & kGlShadeBlend) {
        const GlColorBufferState &c = ctx->state.color;
        if (!__glHwBlendEntry(c.blendSrcFactor, c.blendDstFactor).exact) return true;
    }
    return false;
}

}  // namespace

// ---- register blocks ------------------------------------------------------------------------------

namespace {

// The triangle words; antialiased, the built-in texture's offset and format instead of the
// triangle's texture, read through the bilinear filter (control bit 1).
void loadKindState(GlContext *ctx, uint8_t &stale, uint32_t regs[6], uint32_t smoothEnable, const HwTexBlock *tex) {
    HwState *hw = &ctx->hw;
    if (!stale) return;
    __glHwBuildRegisterWords(ctx);
    std::memcpy(regs, hw->triangleRegs, 24);
    if ((ctx->state.enable.enables & smoothEnable) && tex != nullptr) {
        regs[kHwRegTexOffset] = tex->offset;
        regs[kHwRegTexFormat] = uint32_t(tex->minLevel) << 24 | uint32_t(tex->maxLevel) << 28 | kHwTexelArgb4444;
        regs[kHwRegControl] |= kHwControlBilinear;
    }
    stale = 0;
    hw->loadedBlock = kHwBlockNone;
}

}  // namespace

void __glHwLoadLineState(GlContext *ctx) {
    loadKindState(ctx, ctx->hw.lineRegsStale, ctx->hw.lineRegs, kGlEnableLineSmooth, ctx->hw.lineTexture);
}

void __glHwLoadPointState(GlContext *ctx) {
    loadKindState(ctx, ctx->hw.pointRegsStale, ctx->hw.pointRegs, kGlEnablePointSmooth, ctx->hw.pointTexture);
}

// ---- lines --------------------------------------------------------------------------------------

void __glHwRenderLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderLine(ctx, a, b);
    HwState *hw = &ctx->hw;
    for (GlVertex *v : {a, b}) {
        snap(v->window[0]);
        snap(v->window[1]);
    }
    complete(ctx, a);
    complete(ctx, b);
    const float ax = a->window[0] - ctx->limits.biasXf, ay = a->window[1] - ctx->limits.biasYf;
    const float bx = b->window[0] - ctx->limits.biasXf, by = b->window[1] - ctx->limits.biasYf;
    const float h = ctx->state.line.lineWidth * 0.5f;
    const bool xMajor = std::fabs(bx - ax) >= std::fabs(by - ay);
    const float ox = xMajor ? 0.0f : h, oy = xMajor ? h : 0.0f;
    __glHwLoadLineState(ctx);
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 57);
    uint32_t *w = blockFor(hw, start, hw->lineRegs, kHwBlockLine);
    const bool useColour = hw->useVertexColour != 0;
    const uint32_t colourB = useColour ? __glHwColourWord(b->color) : kNone;
    const bool smooth = (__glShadeFlags(ctx) & kGlShadeSmoothColors) != 0;
    const uint32_t colourA = !useColour ? kNone : smooth ? __glHwColourWord(a->color) : colourB;
    w = vertexAt(ctx, w, a, ax - ox, ay + oy, kHwTagFirst, colourA);
    w = vertexAt(ctx, w, a, ax + ox, ay - oy, kHwTagSecond, colourA);
    w = vertexAt(ctx, w, b, bx - ox, by + oy, kHwTagThird, colourB);
    w = vertexAt(ctx, w, b, bx + ox, by - oy, kHwTagQuad, colourB);
    closePrimitive(hw, start, w, hw->lineRegs[kHwRegControl]);
}

// An antialiased line: a quad w + 2 wide across the line (the line's half width plus one pixel
// each side), whose alpha the line texture ramps from 0 at its long edges to 1 along the line.
void __glHwRenderSmoothLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderLine(ctx, a, b);
    HwState *hw = &ctx->hw;
    for (GlVertex *v : {a, b}) {
        snap(v->window[0]);
        snap(v->window[1]);
    }
    const float ax = a->window[0] - ctx->limits.biasXf, ay = a->window[1] - ctx->limits.biasYf;
    const float bx = b->window[0] - ctx->limits.biasXf, by = b->window[1] - ctx->limits.biasYf;
    const float dx = bx - ax, dy = by - ay;
    const float length2 = dx * dx + dy * dy;
    // No direction to be antialiased across: a zero length (or a NaN end) draws nothing.
    if (!(length2 > 0.0f) || !(length2 < 1e30f)) return;
    complete(ctx, a);
    complete(ctx, b);
    const float e = __glFastRsqrt(length2) * (ctx->state.line.lineWidth * 0.5f + 1.0f);
    const float ox = dy * e, oy = dx * e;
    __glHwLoadLineState(ctx);
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 57);
    uint32_t *w = smoothBlockFor(hw, start, hw->lineRegs, kHwBlockLine, hw->lineTexture);
    // The texture carries the coverage, so the vertex colour goes whatever the environment.
    const uint32_t colourB = __glHwColourWord(b->color);
    const bool smooth = (__glShadeFlags(ctx) & kGlShadeSmoothColors) != 0;
    const uint32_t colourA = smooth ? __glHwColourWord(a->color) : colourB;
    struct Corner { const GlVertex *v; float x, y, s, t; uint32_t tag, colour; };
    const Corner corners[4] = {
        {a, ax - ox, ay + oy, 0.0f, kLineAcrossNear, kHwTagFirst, colourA},
        {a, ax + ox, ay - oy, 0.0f, kLineAcrossFar, kHwTagSecond, colourA},
        {b, bx - ox, by + oy, 1.0f, kLineAcrossNear, kHwTagThird, colourB},
        {b, bx + ox, by - oy, 1.0f, kLineAcrossFar, kHwTagQuad, colourB},
    };
    for (const Corner &c : corners) w = texturedVertexAt(ctx, w, c.v, c.x, c.y, c.s, c.t, c.tag, c.colour);
    closePrimitive(hw, start, w, hw->lineRegs[kHwRegControl]);
}

// ---- points -------------------------------------------------------------------------------------

void __glHwRenderPoint(GlContext *ctx, GlVertex *v) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderPoint(ctx, v);
    HwState *hw = &ctx->hw;
    complete(ctx, v);
    const GlPointSizeProc sizeProc = ctx->state.pick.pointSizeProc;
    int32_t n = sizeProc != nullptr ? int32_t(sizeProc(ctx, v) + 0.5f) : ctx->state.point.pointSizeInt;
    if (n < 1) n = 1;
    const int32_t k = n >> 1;
    const float x = v->window[0] - ctx->limits.biasXf, y = v->window[1] - ctx->limits.biasYf;
    // A point this far from any window is clipped whole, and a NaN position draws nothing: both
    // are dropped before the integer arithmetic below, which they would overflow.
    if (!(std::fabs(x) < 65536.0f) || !(std::fabs(y) < 65536.0f)) return;
    const float left = float((n & 1 ? int32_t(x - 0.5f) : int32_t(x)) - k);
    const float top = float((n & 1 ? int32_t(y - 0.5f) : int32_t(y)) - k);
    const float right = left + float(n), bottom = top + float(n);
    __glHwLoadPointState(ctx);
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 57);
    uint32_t *w = blockFor(hw, start, hw->pointRegs, kHwBlockPoint);
    const uint32_t colour = hw->useVertexColour ? __glHwColourWord(v->color) : kNone;
    // A pixel samples at its square's lower right corner: the one triangle of a size-1 point is
    // the half square that holds that corner (its second vertex moves down); the upper half would
    // cover no sample at all.
    w = vertexAt(ctx, w, v, left, top, kHwTagFirst, colour);
    w = vertexAt(ctx, w, v, right, n >= 2 ? top : bottom, kHwTagSecond, colour);
    w = vertexAt(ctx, w, v, left, bottom, kHwTagThird, colour);
    if (n >= 2) w = vertexAt(ctx, w, v, right, bottom, kHwTagQuad, colour);
    closePrimitive(hw, start, w, hw->pointRegs[kHwRegControl]);
}

// An antialiased point: a square one pixel wider than the point, which the point texture's dot
// makes round.
void __glHwRenderSmoothPoint(GlContext *ctx, GlVertex *v) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderPoint(ctx, v);
    HwState *hw = &ctx->hw;
    complete(ctx, v);
    const GlPointSizeProc sizeProc = ctx->state.pick.pointSizeProc;
    const float size = sizeProc != nullptr ? sizeProc(ctx, v) : ctx->state.point.pointSize;
    const float half = size * 0.5f + 0.5f;
    const float x = v->window[0] - ctx->limits.biasXf, y = v->window[1] - ctx->limits.biasYf;
    // As for the plain point: far outside every window, or NaN, nothing is drawn.
    if (!(std::fabs(x) < 65536.0f) || !(std::fabs(y) < 65536.0f) || !(half > 0.0f) || !(half < 65536.0f)) return;
    __glHwLoadPointState(ctx);
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 57);
    uint32_t *w = smoothBlockFor(hw, start, hw->pointRegs, kHwBlockPoint, hw->pointTexture);
    const uint32_t colour = __glHwColourWord(v->color);
    const float left = x - half, right = x + half, top = y - half, bottom = y + half;
    w = texturedVertexAt(ctx, w, v, left, top, kPointNear, kPointNear, kHwTagFirst, colour);
    w = texturedVertexAt(ctx, w, v, right, top, kPointFar, kPointNear, kHwTagSecond, colour);
    w = texturedVertexAt(ctx, w, v, left, bottom, kPointNear, kPointFar, kHwTagThird, colour);
    w = texturedVertexAt(ctx, w, v, right, bottom, kPointFar, kPointFar, kHwTagQuad, colour);
    closePrimitive(hw, start, w, hw->pointRegs[kHwRegControl]);
}

// ---- choosers -----------------------------------------------------------------------------------

namespace {

// The chip's procs of each kind, plain and antialiased, by the smooth enable.
constexpr GlRenderLineProc kChipLineProcs[2] = {__glHwRenderLine, __glHwRenderSmoothLine};
constexpr GlVertexProc kChipPointProcs[2] = {__glHwRenderPoint, __glHwRenderSmoothPoint};

// The antialiased kinds read a built-in texture: without it (its memory could not be had at
// start-up) they are drawn in software.
bool smoothWithoutTexture(const GlContext *ctx, uint32_t smoothEnable, const HwTexBlock *tex) {
    return (ctx->state.enable.enables & smoothEnable) && tex == nullptr;
}

}  // namespace

void __glHwPickLineProcs(GlContext *ctx) {
    __glPickLineProcs(ctx);
    if (!__glHasHwState(ctx) || !__glHwUsable(ctx)) return;  // no chip drawing to wait for
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    HwState *hw = &ctx->hw;
    if (chipCannotDraw(ctx, kGlShadeLineStipple | kGlShadeColorMask | kGlShadeLogicOp | kGlShadeStencilTest) ||
        smoothWithoutTexture(ctx, kGlEnableLineSmooth, hw->lineTexture)) {
        if (prim.renderLine == nullptr || prim.renderLine == __glHwFlushThenSoftLine) return;
        hw->savedLineProc = __glHwProcCast<HwSavedProc>(prim.renderLine);
        prim.renderLine = __glHwFlushThenSoftLine;
        return;
    }
    prim.renderLine = kChipLineProcs[(ctx->state.enable.enables & kGlEnableLineSmooth) ? 1 : 0];
    hw->lineRegsStale = 1;
    hw->triangleRegsStale = 1;
}

void __glHwPickPointProcs(GlContext *ctx) {
    __glPickPointProcs(ctx);
    if (!__glHasHwState(ctx) || !__glHwUsable(ctx)) return;  // no chip drawing to wait for
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    HwState *hw = &ctx->hw;
    if (chipCannotDraw(ctx, kGlShadeColorMask | kGlShadeLogicOp | kGlShadeStencilTest | kGlShadePolygonStipple) ||
        smoothWithoutTexture(ctx, kGlEnablePointSmooth, hw->pointTexture)) {
        if (prim.renderPoint == nullptr || prim.renderPoint == __glHwFlushThenSoftPoint) return;
        hw->savedPointProc = __glHwProcCast<HwSavedProc>(prim.renderPoint);
        prim.renderPoint = __glHwFlushThenSoftPoint;
        return;
    }
    prim.renderPoint = kChipPointProcs[(ctx->state.enable.enables & kGlEnablePointSmooth) ? 1 : 0];
    hw->pointRegsStale = 1;
    hw->triangleRegsStale = 1;
}
