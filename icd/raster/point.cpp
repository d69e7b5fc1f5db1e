// Software points: size 1 (with and without texturing), aliased squares of any integer size,
// antialiased discs with coverage from a 4 x 4 sub-sample grid in RGBA and colour-index mode,
// the fog wrapper and the size procs (clamping and distance attenuation). Window coordinates carry
// the drawable bias plus one half: x - 0.5 is the point in pixel units, pixel p spanning [p, p + 1).
#include <cmath>
#include "icd/raster/line_run.h"
#include "icd/vertex/vertex.h"
#include "icd/hw/hw_regs.h"

using namespace glline;

namespace {


// The fragment store of single fragments; it drops what lies outside the clip box. A bare colour
// store does not, so the plain store with its clip test stands in for it.
GlFragmentStoreProc storeOf(GlContext *ctx) {
    const GlFragmentProcs &p = ctx->state.span.fragment;
    return p.store == nullptr || p.store == p.storeColor ? __glStoreFragment : p.store;
}

// The fragment of a point: depth and colour (scaled to the colour buffer by the caller), textured
// once when texturing is on.
GlFragment pointFragment(GlContext *ctx, const GlVertex *v, bool textured) {
    GlFragment frag;
    frag.x = frag.y = 0;
    frag.z = __glTruncDepth(v->window[2]);
    std::memcpy(frag.color, v->color, 16);
    if (textured) {
        GlTextureApplyProc apply = ctx->state.span.inputs.textureApply;
        const float *tc = v->texCoord[0];
        const float q = tc[3] != 0.0f ? tc[3] : 1.0f;
        if (apply != nullptr) apply(ctx, frag.color, tc[0] / q, tc[1] / q, 1.0f);
    }
    return frag;
}

// Runs draw(cb, store, frag) with the colour scaled and the lock taken; restores the vertex.
template <class Draw>
void pointFrame(GlContext *ctx, GlVertex *v, Draw draw) {
    GlColorBuffer *cb = __glFragmentTarget(ctx);
    if (cb == nullptr || v->color == nullptr) return;
    if (!__glRasterCoordinateUsable(v->window[0]) || !__glRasterCoordinateUsable(v->window[1])) return;
    ScaledEnds scaled;
    scaled.scale(ctx, v->color, nullptr);
    const GlFragmentStoreProc store = storeOf(ctx);
    __glWithDrawableLock(ctx, [&] { draw(cb, store); });
    scaled.restore();
}

template <bool Textured>
void pointSize1(GlContext *ctx, GlVertex *v) {
    pointFrame(ctx, v, [&](GlColorBuffer *cb, GlFragmentStoreProc store) {
        GlFragment frag = pointFragment(ctx, v, Textured);
        frag.x = int32_t(v->window[0] - 0.5f);
        frag.y = int32_t(v->window[1] - 0.5f);
        store(cb, &frag);
    });
}

// [lo, hi) cut to [min, max): every pixel outside the clip box would be dropped anyway, and a
// huge point must not walk them.
void cutTo(int64_t &lo, int64_t &hi, int32_t min, int32_t max) {
    if (lo < min) lo = min;
    if (hi > max) hi = max;
}

float clampSize(const GlPointState &ps, float size) {
    if (!(size <= ps.pointSizeMax)) size = ps.pointSizeMax;  // NaN included
    if (size < ps.pointSizeMin) size = ps.pointSizeMin;
    return size;
}

float sizeOf(GlContext *ctx, GlVertex *v, float fallback) {
    GlPointSizeProc proc = ctx->state.pick.pointSizeProc;
    return proc != nullptr ? proc(ctx, v) : fallback;
}

// The eye distance of a vertex: its eye z when it has one, else the modelview's third row
// applied to its object coordinates.
float eyeDistance(GlContext *ctx, const GlVertex *v) {
    if (v->flags & kGlVertexEyeDone) return std::fabs(v->eye[2]);
    const GlTransform *mv = ctx->state.transform.modelView;
    if (mv == nullptr) return 0.0f;
    const float *m = mv->matrix.m;
    return std::fabs(m[2] * v->obj[0] + m[6] * v->obj[1] + m[10] * v->obj[2] + m[14] * v->obj[3]);
}

float attenuation(GlContext *ctx, GlVertex *v) {
    const float *k = ctx->state.point.pointAttenuation;
    const float d = eyeDistance(ctx, v);
    return k[2] * d * d + k[1] * d + k[0];
}

// Whether the point procs below must fog their fragments themselves: not when the fog wrapper
// already fogged the vertex colour.
bool fogHere(GlContext *ctx) {
    return (rasterOf(ctx).shadeFlags & kGlShadeFog) && ctx->slots.primitive.renderPoint != __glRenderPointFogged;
}

template <bool Rgba>
void antiAliasPoint(GlContext *ctx, GlVertex *v) {
    const float size = sizeOf(ctx, v, ctx->state.point.pointSize);
    if (!(size > 0.0f)) return;
    pointFrame(ctx, v, [&](GlColorBuffer *cb, GlFragmentStoreProc store) {
        const float r = size * 0.5f, r2 = r * r;
        const float cx = v->window[0] - 0.5f, cy = v->window[1] - 0.5f;
        const bool textured = Rgba && (rasterOf(ctx).shadeFlags & kGlShadeTexture);
        GlFragment frag = pointFragment(ctx, v, textured);
        if (fogHere(ctx)) {
            auto fog = ctx->state.pick.fragmentFog;
            if (fog != nullptr) fog(ctx, &frag, v->eye[2]);
        }
        const float alpha = frag.color[3], index = frag.color[0];
        int64_t x0 = int32_t(cx - r), y0 = int32_t(cy - r);
        int64_t x1 = int64_t(int32_t(cx + r)) + 1, y1 = int64_t(int32_t(cy + r)) + 1;
        const GlClipBox box = glraster::clipBoxOf(ctx);
        cutTo(x0, x1, box.x0, box.x1);
        cutTo(y0, y1, box.y0, box.y1);
        for (int64_t py = y0; py < y1; ++py) {
            for (int64_t px = x0; px < x1; ++px) {
                const float c = __glAaPointCoverage(float(px) + 0.5f - cx, float(py) + 0.5f - cy, r2);
                if (!(c > 0.0f)) continue;
                frag.x = int32_t(px);
                frag.y = int32_t(py);
                if (Rgba)
                    frag.color[3] = alpha * c;
                else
                    frag.color[0] = __glCoverageToIndex(index, c);
                store(cb, &frag);
            }
        }
    });
}

}  // namespace

float __glCoverageToIndex(float index, float coverage) {
    return float(int32_t(coverage * 15.0f + 0.5f) | (int32_t(index) & ~15));
}

float __glAaPointCoverage(float dx, float dy, float r2) {
    static constexpr float kOffsets[4] = {-0.375f, -0.125f, 0.125f, 0.375f};
    float c = 0.0f;
    for (float oy : kOffsets) {
        const float sy = dy + oy;
        for (float ox : kOffsets) {
            const float sx = dx + ox;
            if (sx * sx + sy * sy <= r2) c += 0.0625f;
        }
    }
    return c;
}

void __glRenderPointSize1(GlContext *ctx, GlVertex *v) { pointSize1<false>(ctx, v); }
void __glRenderPointSize1Textured(GlContext *ctx, GlVertex *v) { pointSize1<true>(ctx, v); }

void __glRenderPointWide(GlContext *ctx, GlVertex *v) {
    GlPointSizeProc proc = ctx->state.pick.pointSizeProc;
    const float requested = proc != nullptr ? proc(ctx, v) + 0.5f : float(ctx->state.point.pointSizeInt);
    if (!(requested >= 1.0f)) return;
    const int32_t n = requested < 65536.0f ? int32_t(requested) : 65536;
    pointFrame(ctx, v, [&](GlColorBuffer *cb, GlFragmentStoreProc store) {
        GlFragment frag = pointFragment(ctx, v, rasterOf(ctx).shadeFlags & kGlShadeTexture);
        const int32_t h = n >> 1;
        // An odd square is centred on the pixel holding the point, an even one on the pixel
        // corner nearest to it.
        const int32_t ox = (n & 1) ? int32_t(v->window[0] - 0.5f) : int32_t(v->window[0]);
        const int32_t oy = (n & 1) ? int32_t(v->window[1] - 0.5f) : int32_t(v->window[1]);
        int64_t x0 = int64_t(ox) - h, x1 = x0 + n, y0 = int64_t(oy) - h, y1 = y0 + n;
        const GlClipBox box = glraster::clipBoxOf(ctx);
        cutTo(x0, x1, box.x0, box.x1);
        cutTo(y0, y1, box.y0, box.y1);
        for (int64_t y = y0; y < y1; ++y) {
            for (int64_t x = x0; x < x1; ++x) {
                frag.x = int32_t(x);
                frag.y = int32_t(y);
                store(cb, &frag);
            }
        }
    });
}

void __glRenderPointAntiAliasRgba(GlContext *ctx, GlVertex *v) { antiAliasPoint<true>(ctx, v); }
void __glRenderPointAntiAliasIndex(GlContext *ctx, GlVertex *v) { antiAliasPoint<false>(ctx, v); }

// The vertex colour fogged by the vertex's fog factor (in vertex colour units, as the fog colour
// scaled to them), for the saved point proc; the vertex keeps its own colour.
void __glRenderPointFogged(GlContext *ctx, GlVertex *v) {
    GlPickVertexProc inner = ctx->state.pick.pointFoggedInner;
    if (inner == nullptr || inner == __glRenderPointFogged) return;
    if (v->color == nullptr) return inner(ctx, v);
    // With per-fragment fog the vertex carries no factor: it comes from the eye distance.
    const float factor = ctx->slots.primitive.fogFactor != nullptr ? v->fog : __glFogFactor(ctx, v->eye[2]);
    float fogged[4];
    __glFogBlendColor(ctx, fogged, v->color, factor);
    float *saved = v->color;
    v->color = fogged;
    inner(ctx, v);
    v->color = saved;
}

float __glPointSizeClampAntiAlias(GlContext *ctx, GlVertex *) {
    const GlPointState &ps = ctx->state.point;
    return clampSize(ps, ps.pointSize);
}

float __glPointSizeClampAliased(GlContext *ctx, GlVertex *) {
    const GlPointState &ps = ctx->state.point;
    return clampSize(ps, float(ps.pointSizeInt));
}

float __glPointSizeAttenuateAntiAlias(GlContext *ctx, GlVertex *v) {
    const GlPointState &ps = ctx->state.point;
    return clampSize(ps, std::sqrt(1.0f / attenuation(ctx, v)) * ps.pointSize);
}

float __glPointSizeAttenuateAliased(GlContext *ctx, GlVertex *v) {
    const GlPointState &ps = ctx->state.point;
    return clampSize(ps, __glFastRsqrt(attenuation(ctx, v)) * float(ps.pointSizeInt));
}
