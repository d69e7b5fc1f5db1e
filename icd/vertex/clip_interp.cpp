// The clip-interpolate procs: one per combination of shading, fog and texture-coordinate sets,
// generated from one template, and the picker that installs the line and polygon procs.
#include <bit>
#include "icd/core/context.h"
#include "icd/core/state_entries.h"
#include "icd/core/shade_flags.h"
#include "icd/vertex/clip.h"

namespace {

inline float lerp(float a, float b, float t) { return b + t * (a - b); }

inline void lerp4(float *dst, const float *a, const float *b, float t) {
    for (int i = 0; i < 4; ++i) dst[i] = lerp(a[i], b[i], t);
}

// Shading: 0 flat, 1 index, 2 RGBA, 3 index two-sided, 4 RGBA two-sided.
template <int Shading, bool Fog, int TexSets>
void clipInterp(GlVertex *dst, const GlVertex *a, const GlVertex *b, float t) {
    lerp4(dst->clip, a->clip, b->clip, t);
    dst->invW = 1.0f / dst->clip[3];
    dst->flags = kGlClipFrustumMask | kGlClipUserMask;  // made by clipping: every plane bit
    constexpr bool index = Shading == 1 || Shading == 3;
    constexpr bool twoSided = Shading >= 3;
    if constexpr (Shading != 0) {
        if constexpr (index) dst->frontColor[0] = lerp(a->frontColor[0], b->frontColor[0], t);
        else lerp4(dst->frontColor, a->frontColor, b->frontColor, t);
        if constexpr (twoSided) {
            if constexpr (index) dst->backColor[0] = lerp(a->backColor[0], b->backColor[0], t);
            else lerp4(dst->backColor, a->backColor, b->backColor, t);
        }
    }
    if constexpr (Fog) {
        // Before the fog factor exists, eye z carries what it will be computed from.
        if (a->flags & kGlVertexFogDone) dst->fog = lerp(a->fog, b->fog, t);
        else dst->eye[2] = lerp(a->eye[2], b->eye[2], t);
    }
    for (int set = 0; set < TexSets; ++set) lerp4(dst->texCoord[set], a->texCoord[set], b->texCoord[set], t);
}

}  // namespace

const GlClipInterpProc __glClipInterpProcs[kGlClipInterpCount] = {
#define KIV_CLIP_ROW(base)                                                                                   \
    &clipInterp<0, (base / 5) % 2 == 1, base / 10>, &clipInterp<1, (base / 5) % 2 == 1, base / 10>,        \
        &clipInterp<2, (base / 5) % 2 == 1, base / 10>, &clipInterp<3, (base / 5) % 2 == 1, base / 10>,    \
        &clipInterp<4, (base / 5) % 2 == 1, base / 10>,
    KIV_CLIP_ROW(0) KIV_CLIP_ROW(5) KIV_CLIP_ROW(10) KIV_CLIP_ROW(15) KIV_CLIP_ROW(20) KIV_CLIP_ROW(25)
#undef KIV_CLIP_ROW
};

GlClipInterpProc __glPickClipInterpolateProcs(GlContext *ctx) {
    int line = 0, polygon = 0;
    if (ctx->state.mode.shadeModel != GL_FLAT) {
        line = ctx->visual.rgbaMode ? 2 : 1;
        const bool twoSided = (ctx->state.enable.enables & kGlEnableLighting) && ctx->state.lighting.lightModel.twoSide;
        polygon = line + (twoSided ? 2 : 0);
    }
    const int fog = (ctx->state.span.raster.shadeFlags & kGlShadeFog) ? 5 : 0;
    const int units = std::popcount(ctx->state.pick.currentTextureMask);
    // Feedback reports set 0 even without a current texture: cut points carry it.
    const int tex = units > 1 ? 20 : (units == 1 || ctx->renderMode == GL_FEEDBACK) ? 10 : 0;
    GlClipState &c = ctx->state.clip;
    c.clipInterpLine = __glClipInterpProcs[line + fog + tex];
    c.clipInterpPolygon = __glClipInterpProcs[polygon + fog + tex];
    return c.clipInterpLine;
}

void __glBuildPolygonStippleMasks(GlContext *ctx) {
    const uint8_t *rows = ctx->state.mode.polygonStipple;
    uint32_t *words = ctx->state.span.inputs.stippleWords;
    for (int r = 0; r < 32; ++r)
        words[r] = uint32_t(rows[4 * r]) << 24 | uint32_t(rows[4 * r + 1]) << 16 | uint32_t(rows[4 * r + 2]) << 8 |
                   rows[4 * r + 3];
}
