// How the rasteriser reaches its state inside the context: its own span area, and the clip box,
// drawable extent, fog and colour-buffer state that the GL state entries and the viewport keep.
#pragma once
#include "icd/raster/span.h"
#include "icd/core/context.h"

namespace glraster {

inline GlRasterState &rasterOf(GlContext *ctx) { return ctx->state.span.raster; }
inline GlRasterInputs &inputsOf(GlContext *ctx) { return ctx->state.span.inputs; }
inline GlStageList &spanListOf(GlContext *ctx) { return ctx->state.span.spanList; }
inline GlClipBox clipBoxOf(const GlContext *ctx) {
    const GlTransformState &t = ctx->state.transform;
    return {t.clipBoxX0, t.clipBoxY0, t.clipBoxX1, t.clipBoxY1};
}

}  // namespace glraster
