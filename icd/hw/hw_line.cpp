// Lines and points drawn by the chip as quads (a size-1 point as one triangle), their register
// blocks, and the choosers between them and the software procs.
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

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

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

uint32_t *vertexAt(const GlContext *ctx, uint32_t *w, const GlVertex *v, float x, float y, uint32_t tag,
                   uint32_t colour) {
    *w++ = kHwOneVertexHeader;
    HwVertex *hv = reinterpret_cast<HwVertex *>(w);
    __glHwEncodeVertex(ctx, v, tag, colour, hv);
    hv->x = x;
    hv->y = y;
    return w + kHwVertexWords;
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

void finishDrawing(HwState *hw, uint32_t *start, uint32_t *w) {
    hw->writeIndex += uint32_t(w - start);
    hw->drawingPending = 1;
    __glHwEarlyKickoff(hw);
}

// The line and point choosers share the conditions a triangle needs, less what does not apply.
bool chipCannotDraw(GlContext *ctx, GlShadeFlags refuse, uint32_t smoothEnable) {
    const GlShadeFlags f = __glShadeFlags(ctx);
    if (ctx->hw.softwareOnly || ctx->renderMode != GL_RENDER) return true;
    if (!(f & kGlShadeRgba) || ctx->state.pick.drawNone) return true;
    if (f & refuse) return true;
    // A front buffer other windows overlap: only the software stores test pixel ownership.
    if (f & kGlShadeFrontClip) return true;
    // The chip's smooth lines and points read the built-in textures, which texture memory brings.
    if (ctx->state.enable.enables & smoothEnable) return true;
    if (f & kGlShadeTexture) return true;
    if (f & kGlShadeBlend) {
        const GlColorBufferState &c = ctx->state.color;
        if (!__glHwBlendEntry(c.blendSrcFactor, c.blendDstFactor).exact) return true;
    }
    return false;
}

}  // namespace

// ---- register blocks ------------------------------------------------------------------------------

void __glHwLoadLineState(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (!hw->lineRegsStale) return;
    __glHwBuildRegisterWords(ctx);
    std::memcpy(hw->lineRegs, hw->triangleRegs, sizeof hw->lineRegs);
    hw->lineRegsStale = 0;
    hw->loadedBlock = kHwBlockNone;
}

void __glHwLoadPointState(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (!hw->pointRegsStale) return;
    __glHwBuildRegisterWords(ctx);
    std::memcpy(hw->pointRegs, hw->triangleRegs, sizeof hw->pointRegs);
    hw->pointRegsStale = 0;
    hw->loadedBlock = kHwBlockNone;
}

// ---- lines --------------------------------------------------------------------------------------

void __glHwRenderLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
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
    uint32_t *closing = w;
    w = vertexAt(ctx, w, b, bx - ox, by + oy, kHwTagThird, colourB);
    w = vertexAt(ctx, w, b, bx + ox, by - oy, kHwTagQuad, colourB);
    uint32_t again[18];
    std::memcpy(again, closing, sizeof again);
    w = secondPass(hw, w, hw->lineRegs[kHwRegControl], again, 18);
    finishDrawing(hw, start, w);
}

// ---- points -------------------------------------------------------------------------------------

void __glHwRenderPoint(GlContext *ctx, GlVertex *v) {
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
    // The second pass repeats the last two vertices.
    uint32_t again[18];
    std::memcpy(again, w - 18, sizeof again);
    w = secondPass(hw, w, hw->pointRegs[kHwRegControl], again, 18);
    finishDrawing(hw, start, w);
}

// ---- choosers -----------------------------------------------------------------------------------

void __glHwPickLineProcs(GlContext *ctx) {
    __glPickLineProcs(ctx);
    if (!__glHasHwState(ctx) || !__glHwUsable(ctx)) return;  // no chip drawing to wait for
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    HwState *hw = &ctx->hw;
    if (chipCannotDraw(ctx, kGlShadeLineStipple | kGlShadeColorMask | kGlShadeLogicOp | kGlShadeStencilTest,
                       kGlEnableLineSmooth)) {
        if (prim.renderLine == nullptr || prim.renderLine == __glHwFlushThenSoftLine) return;
        hw->savedLineProc = __glHwProcCast<HwSavedProc>(prim.renderLine);
        prim.renderLine = __glHwFlushThenSoftLine;
        return;
    }
    prim.renderLine = __glHwRenderLine;
    hw->lineRegsStale = 1;
    hw->triangleRegsStale = 1;
}

void __glHwPickPointProcs(GlContext *ctx) {
    __glPickPointProcs(ctx);
    if (!__glHasHwState(ctx) || !__glHwUsable(ctx)) return;  // no chip drawing to wait for
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    HwState *hw = &ctx->hw;
    if (chipCannotDraw(ctx,
                       kGlShadeColorMask | kGlShadeLogicOp | kGlShadeStencilTest | kGlShadePolygonStipple,
                       kGlEnablePointSmooth)) {
        if (prim.renderPoint == nullptr || prim.renderPoint == __glHwFlushThenSoftPoint) return;
        hw->savedPointProc = __glHwProcCast<HwSavedProc>(prim.renderPoint);
        prim.renderPoint = __glHwFlushThenSoftPoint;
        return;
    }
    prim.renderPoint = __glHwRenderPoint;
    hw->pointRegsStale = 1;
    hw->triangleRegsStale = 1;
}
