// The fragment stores, generated from one definition over the three tests, the colour stores and
// their picker.
#include "icd/raster/fragment.h"
#include "icd/raster/raster_state.h"

using namespace glraster;

namespace {

template <bool Alpha, bool Stencil, bool Depth>
void storeFragment(GlColorBuffer *cb, const GlFragment *frag) {
    GlContext *ctx = cb->head.context;
    const GlClipBox box = clipBoxOf(ctx);
    if (frag->x < box.x0 || frag->x >= box.x1 || frag->y < box.y0 || frag->y >= box.y1) return;
    if constexpr (Alpha) {
        if (!alphaTestPasses(inputsOf(ctx), frag->color[3])) return;
    }
    if constexpr (Stencil) {
        GlStencilBuffer *sb = &ctx->buffers.stencil;
        if (!sb->test(sb, frag->x, frag->y)) {
            sb->applyFail(sb, frag->x, frag->y);
            return;
        }
        if constexpr (Depth) {
            GlDepthBuffer *db = &ctx->buffers.depth;
            if (!db->test(db, frag->x, frag->y, frag->z)) {
                sb->applyDepthFail(sb, frag->x, frag->y);
                return;
            }
        }
        sb->applyDepthPass(sb, frag->x, frag->y);
    } else if constexpr (Depth) {
        GlDepthBuffer *db = &ctx->buffers.depth;
        if (!db->test(db, frag->x, frag->y, frag->z)) return;
    }
    ctx->state.span.fragment.storeColor(cb, frag);
}

}  // namespace

void __glStoreFragment(GlColorBuffer *cb, const GlFragment *f) { storeFragment<false, false, false>(cb, f); }
void __glStoreFragmentAlpha(GlColorBuffer *cb, const GlFragment *f) { storeFragment<true, false, false>(cb, f); }
void __glStoreFragmentStencil(GlColorBuffer *cb, const GlFragment *f) { storeFragment<false, true, false>(cb, f); }
void __glStoreFragmentAlphaStencil(GlColorBuffer *cb, const GlFragment *f) { storeFragment<true, true, false>(cb, f); }
void __glStoreFragmentDepth(GlColorBuffer *cb, const GlFragment *f) { storeFragment<false, false, true>(cb, f); }
void __glStoreFragmentAlphaDepth(GlColorBuffer *cb, const GlFragment *f) { storeFragment<true, false, true>(cb, f); }
void __glStoreFragmentStencilDepth(GlColorBuffer *cb, const GlFragment *f) { storeFragment<false, true, true>(cb, f); }
void __glStoreFragmentAlphaStencilDepth(GlColorBuffer *cb, const GlFragment *f) {
    storeFragment<true, true, true>(cb, f);
}

const GlFragmentStoreProc __glFragmentStoreProcs[8] = {
    __glStoreFragment,      __glStoreFragmentAlpha,      __glStoreFragmentStencil,      __glStoreFragmentAlphaStencil,
    __glStoreFragmentDepth, __glStoreFragmentAlphaDepth, __glStoreFragmentStencilDepth, __glStoreFragmentAlphaStencilDepth,
};

void __glStoreColorNone(GlColorBuffer *, const GlFragment *) {}

void __glStoreColorFrontBack(GlColorBuffer *cb, const GlFragment *frag) {
    GlColorBuffers &cbs = cb->head.context->buffers.color;
    cbs.front.storePixel(&cbs.front, frag);
    cbs.back.storePixel(&cbs.back, frag);
}

void __glPickFragmentStoreProcs(GlContext *ctx) {
    const uint32_t f = rasterOf(ctx).shadeFlags;
    int index = ((f & kGlShadeAlphaTest) && (f & kGlShadeRgba) ? 1 : 0) | ((f & kGlShadeStencilTest) ? 2 : 0) |
                ((f & kGlShadeDepthTest) ? 4 : 0);
    GlFragmentProcs &p = ctx->state.span.fragment;
    GlColorBuffer *draw = ctx->buffers.color.drawColorBuffer;
    // Every choice keeps the clip-box test, even with no other test on: callers such as size-1
    // points and antialiased edges do not clip, and the box keeps them inside the scissor box and
    // the buffer.
    switch (ctx->state.mode.drawBuffer) {
    case GL_NONE:
        p.store = __glFragmentStoreProcs[index];
        p.storeColor = __glStoreColorNone;
        return;
    case GL_FRONT_AND_BACK:
        if (inputsOf(ctx).drawBothBuffers) {
            p.store = __glFragmentStoreProcs[index];
            p.storeColor = __glStoreColorFrontBack;
            return;
        }
        [[fallthrough]];
    case GL_FRONT:
    case GL_BACK:
    case GL_AUX0:
    case GL_AUX1:
    case GL_AUX2:
    case GL_AUX3:
        p.store = __glFragmentStoreProcs[index];
        p.storeColor = draw != nullptr ? draw->storePixel : __glStoreColorNone;
        return;
    default:
        return;  // not a resolved draw buffer: the slots stay as they were
    }
}
