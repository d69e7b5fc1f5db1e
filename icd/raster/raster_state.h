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

// Whether a fragment alpha (in the colour buffer's units) passes the alpha test: the alpha is
// rounded to the table's steps as the reference was when the table was built, anything above
// the last step (or a NaN below the first) taking the end entry.
inline bool alphaTestPasses(const GlRasterInputs &in, float a) {
    const int32_t last = (in.alphaTestSize > 0 && in.alphaTestSize <= 256 ? in.alphaTestSize : 256) - 1;
    const float scaled = a * in.alphaTestScale + 0.5f;
    const int32_t i = scaled > 0.0f ? (scaled < float(last) ? int32_t(scaled) : last) : 0;
    return in.alphaTestTable[i] != 0;
}

}  // namespace glraster
