// The device's pick proc, its bitmap picker and the line and point choosers.
#include "icd/core/state_entries_util.h"
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/hw/drawable_buffers.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/present.h"
#include "icd/hw/hw_surface.h"
#include "icd/raster/raster.h"
#include "icd/pixel/pixel_ops.h"

namespace {

// The window's visible rectangles (window coordinates, cut to the clip bounds) as the device
// layer last took them from the display driver: what the clears of an overlapped front buffer
// cover.
int32_t visibleClipRects(GlContext *ctx, const RECT **rects) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    if (rec == nullptr || rec->drawable == nullptr) return 0;
    const GlDrawableClipRects *c = __wglDrawableClipRects(rec->drawable);
    *rects = c->rects;
    return c->rects != nullptr ? c->count : 0;
}

void finishPending(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (!hw->drawingPending) return;
    ctx->slots.finish(ctx);
    hw->drawingPending = 0;
}

}  // namespace

uint32_t __glHwCapabilityMask(GlContext *ctx) {
    uint32_t caps = 0, offset = 0;
    const GlColorBuffers &c = ctx->buffers.color;
    if (__glHwBufferOffset(ctx, &c.front.head, &offset)) caps |= kHwCapFrontInVideo;
    if (ctx->visual.doubleBuffer && __glHwBufferOffset(ctx, &c.back.head, &offset)) caps |= kHwCapBackInVideo;
    if (ctx->buffers.heads.depth != nullptr && ctx->buffers.depth.head.elementSize == 2 &&
        __glHwBufferOffset(ctx, ctx->buffers.heads.depth, &offset))
        caps |= kHwCapDepthInVideo;
    return caps;
}

void __glHwPickProcs(GlContext *ctx) {
    // The pickers read the front buffer's ownership: it is taken fresh from the display driver.
    if (GlDrawableBuffers *rec = ctx->tail.drawableBuffers) __wglRefreshWindowRegion(rec->drawable);
    if (__glHasHwState(ctx)) {
        HwState *hw = &ctx->hw;
        const uint32_t caps = __glHwCapabilityMask(ctx);
        uint32_t needed;
        const GLenum draw = ctx->state.mode.drawBuffer;
        if (hw->hardwareLost || !ctx->tail.hwPresent)
            needed = kHwCapNeverMet;
        else if (draw == GL_BACK)
            needed = kHwCapBackInVideo;
        else if (draw == GL_FRONT && (caps & kHwCapFrontInVideo))
            needed = kHwCapFrontInVideo;
        else
            needed = kHwCapNeverMet;
        if (ctx->visual.hasDepth) needed |= kHwCapDepthInVideo;
        const uint8_t softwareOnly = (needed & ~caps) != 0 ? 1 : 0;
        if (softwareOnly != hw->softwareOnly) {
            // From now on the CPU draws: what the chip has pending goes first.
            if (softwareOnly && hw->drawingPending && __glHwUsable(ctx)) {
                ctx->slots.finish(ctx);
                hw->drawingPending = 0;
            }
            hw->softwareOnly = softwareOnly;
            __glRequestValidation(ctx);
            ctx->dirtyMask |= 0x7FF;
        }
    }
    __glPickAllProcs(ctx);
    ctx->state.span.inputs.clipRects = visibleClipRects;
    // Software drawing, reads and clears lock the drawable's buffers around their memory access.
    if (__glHasHwState(ctx)) __glHwInstallBufferAccess(ctx);
}

void __glHwFlushThenSoftLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    finishPending(ctx);
    if (ctx->hw.savedLineProc != nullptr) __glHwProcCast<GlRenderLineProc>(ctx->hw.savedLineProc)(ctx, a, b);
}

void __glHwFlushThenSoftPoint(GlContext *ctx, GlVertex *v) {
    finishPending(ctx);
    if (ctx->hw.savedPointProc != nullptr) __glHwProcCast<GlVertexProc>(ctx->hw.savedPointProc)(ctx, v);
}

// The device draws bitmaps in software: the generic pick's renderer is kept and wrapped, so that
// what the chip has pending is drawn before the bitmap's pixels.
void __glHwFlushThenSoftBitmap(GlContext *ctx, const GlBitmapArgs *args, const uint8_t *bits) {
    finishPending(ctx);
    if (ctx->hw.savedBitmapProc != nullptr)
        __glHwProcCast<GlBitmapRenderProc>(ctx->hw.savedBitmapProc)(ctx, args, bits);
}

void __glHwPickBitmapProc(GlContext *ctx) {
    __glPickBitmapProc(ctx);
    if (!__glHwUsable(ctx)) return;  // nothing of the chip's can be pending
    GlPixelOpsState &p = ctx->state.pixelOps;
    ctx->hw.savedBitmapProc = __glHwProcCast<HwSavedProc>(p.bitmapRenderer);
    p.bitmapRenderer = __glHwFlushThenSoftBitmap;
}

// The chip fogs per vertex: whatever the hint, a context the chip draws for computes each
// vertex's fog factor.
void __glHwPickFogProcs(GlContext *ctx) {
    __glPickFogProcs(ctx);
    if (!(ctx->state.enable.enables & kGlEnableFog) || !__glHwUsable(ctx)) return;
    ctx->slots.primitive.fogFactor =
        ctx->state.fog.fogMode == GL_LINEAR ? __glFogVertexFactorLinear : __glFogVertexFactor;
}
