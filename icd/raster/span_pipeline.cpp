// The span runners and the picker that fills the span stage list from the current state.
#include <cstring>
#include "icd/raster/raster.h"
#include "icd/core/core.h"
#include "icd/codegen/og_procs.h"

namespace {

GlStageList &listOf(GlContext *ctx) { return ctx->state.span.spanList; }
GlRasterState &rasterOf(GlContext *ctx) { return ctx->state.span.raster; }

// Runs the stages [from, to) of a list without testing their results.
void runStages(GlContext *ctx, const GlStageProc *list, int32_t from, int32_t to) {
    for (int32_t i = from; i < to; ++i) list[i](ctx);
}

// Closes a list of n stages drawing into cb (null: no colour buffer, the list ends with the
// depth and stencil stages).
void finishList(GlContext *ctx, int32_t n, GlColorBuffer *cb) {
    GlStageList &l = listOf(ctx);
    l.stageCount = n;
    rasterOf(ctx).targetColorBuffer = cb;
    if (cb != nullptr && ctx->state.span.inputs.drawBothBuffers) {
        l.runner = __glSpanRenderStagesFrontBack;
    } else {
        l.runner = __glSpanRenderStages;
        l.firstColorStage = n;
    }
}

}  // namespace

uint8_t __glSpanRenderStages(GlContext *ctx) {
    GlStageList &l = listOf(ctx);
    GlRasterState &rs = rasterOf(ctx);
    rs.spanDone = 0;
    int32_t n = l.stageCount;
    for (int32_t i = 0; i < n; ++i) {
        if (l.unmaskedStages[i](ctx) == 0) continue;
        // Pixels were rejected: the mask words are valid from here on, and the masked twins
        // continue at the next slot.
        if (rs.spanDone) return 0;
        for (int32_t j = i + 1; j < n; ++j)
            if (l.maskedStages[j](ctx) != 0) return 0;
        return 0;
    }
    return 0;
}

uint8_t __glSpanRenderStagesFrontBack(GlContext *ctx) {
    GlStageList &l = listOf(ctx);
    GlRasterState &rs = rasterOf(ctx);
    rs.spanDone = 0;
    int32_t m = l.firstColorStage, n = l.stageCount;
    const GlStageProc *list = l.unmaskedStages;
    for (int32_t i = 0; i < m; ++i) {
        if (list == l.unmaskedStages) {
            if (list[i](ctx) == 0) continue;
            if (rs.spanDone) return 0;
            list = l.maskedStages;
        } else if (list[i](ctx) != 0) {
            return 0;
        }
    }
    // The colour stages of the first buffer may change the colour array: keep a copy for the
    // second.
    alignas(16) uint8_t saved[kGlMaxSpanLength * 16];
    int32_t len = rs.spanLength < 0 ? 0 : (rs.spanLength > kGlMaxSpanLength ? kGlMaxSpanLength : rs.spanLength);
    bool rgba = rs.shadeFlags & kGlShadeRgba;
    uint8_t *colors = reinterpret_cast<uint8_t *>(rs.fragmentColors);
    if (rgba) {
        std::memcpy(saved, colors, size_t(len) * 16);
    } else {
        for (int32_t i = 0; i < len; ++i) std::memcpy(saved + 4 * i, colors + 16 * i, 4);
    }
    GlColorBuffers &cbs = ctx->buffers.color;
    rs.targetColorBuffer = &cbs.front;
    runStages(ctx, list, m, n);
    if (rgba) {
        std::memcpy(colors, saved, size_t(len) * 16);
    } else {
        for (int32_t i = 0; i < len; ++i) std::memcpy(colors + 16 * i, saved + 4 * i, 4);
    }
    rs.targetColorBuffer = &cbs.back;
    runStages(ctx, list, m, n);
    return 0;
}

void __glPickSpanProcs(GlContext *ctx) {
    GlStageList &l = listOf(ctx);
    GlRasterState &rs = rasterOf(ctx);
    const GlRasterInputs &in = ctx->state.span.inputs;
    const uint32_t f = rs.shadeFlags;

    // The span arrays are the context's blocks allocated at creation.
    rs.fragmentColors = reinterpret_cast<float *>(ctx->tail.spanColors);
    rs.destinationColors = reinterpret_cast<float *>(ctx->tail.spanDestinationColors);
    rs.maskWords = reinterpret_cast<uint32_t *>(ctx->tail.spanMaskWords);

    // Depth test alone with a function that never passes, or no colour buffer and neither depth
    // nor stencil test: nothing can be written. Without a colour buffer (GL_NONE) the depth and
    // stencil stages still run, so that a depth-only or stencil-only pass has its effect.
    GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if ((cb == nullptr && !(f & (kGlShadeDepthTest | kGlShadeStencilTest))) ||
        ((f & kGlShadeDepthTest) && !(f & kGlShadeStencilTest) && in.effectiveDepthFunc == GL_NEVER)) {
        // Callers ignore the runner's result, so the do-nothing proc serves as it is.
        l.runner = reinterpret_cast<GlStageProc>(reinterpret_cast<void (*)()>(__glNopProc));
        return;
    }

    int32_t n = 0;
    auto put = [&](GlStageProc unmasked, GlStageProc masked) {
        l.unmaskedStages[n] = unmasked;
        l.maskedStages[n] = masked;
        ++n;
    };
    auto depthBlock = [&]() {
        bool offset = f & kGlShadePolygonOffset;
        if (f & kGlShadeStencilTest) {
            put(__glSpanStencilTest, __glSpanStencilTestMasked);
            if (f & kGlShadeDepthTest) {
                if (offset)
                    put(__glSpanDepthStencilTestClamped, __glSpanDepthStencilTestClampedMasked);
                else
                    put(__glSpanDepthStencilTest, __glSpanDepthStencilTestMasked);
            } else {
                put(__glSpanStencilDepthPass, __glSpanStencilDepthPassMasked);
            }
        } else if (f & kGlShadeDepthTest) {
            if (offset) {
                put(__glSpanDepthTestClamped, __glSpanDepthTestClampedMasked);
            } else {
                GlStageProc unmasked = __glSpanDepthTest, masked = __glSpanDepthTestMasked;
                __glOgPickDepthStages(ctx, &unmasked, &masked);
                put(unmasked, masked);
            }
        }
    };

    // The first stage's masked twin is never run.
    if (!in.scissorCoversViewport) put(__glSpanScissor, nullptr);
    if (f & kGlShadePolygonStipple) put(__glSpanPolygonStipple, __glSpanPolygonStippleMasked);
    // Without the alpha test, pixels that fail stencil or depth are never shaded; without a
    // colour buffer they need no colour at all.
    if (!(f & kGlShadeAlphaTest)) {
        depthBlock();
        if (cb == nullptr) {
            finishList(ctx, n, nullptr);
            return;
        }
    }
    GlStageProc shade = (f & kGlShadeRgba) ? ((f & kGlShadeSmooth) ? __glSpanShadeRgbaSmooth : __glSpanShadeRgbaFlat)
                                           : ((f & kGlShadeSmooth) ? __glSpanShadeIndexSmooth : __glSpanShadeIndexFlat);
    __glOgPickShadeStage(ctx, &shade);
    put(shade, shade);
    if (f & kGlShadeTexture) put(__glSpanTexture, __glSpanTextureMasked);
    if (f & kGlShadeFog) {
        if (ctx->state.mode.hints[4] == GL_NICEST)
            put(__glSpanFogNicest, __glSpanFogNicestMasked);
        else
            put(__glSpanFog, __glSpanFogMasked);
    }
    if (f & kGlShadeAlphaTest) {
        put(__glSpanAlphaTest, __glSpanAlphaTestMasked);
        depthBlock();
    }
    if (in.drawBothBuffers) l.firstColorStage = n;
    if (cb != nullptr) put(cb->storeSpan, cb->storeSpanMasked);
    finishList(ctx, n, cb);
}
