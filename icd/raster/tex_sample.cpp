// Texture sampling: apply procs, mip-level filters, nearest and linear samplers, scale procs.
#include "icd/raster/tex_sample.h"
#include <cmath>
#include <cstring>
#include "icd/core/context.h"
#include "icd/core/pick.h"
#include "icd/raster/raster_state.h"

namespace {

// Float to int32 truncated toward zero, saturating; NaN gives the most negative value, which
// every caller below treats as "before the first texel".
inline int32_t truncSat(float v) {
    if (!(v > -2147483648.0f)) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return int32_t(v);
}

inline GlTextureObject *currentTexture(GlContext *ctx) { return ctx->state.pick.currentTextures[0]; }

// Channels a sampler blends, by the texture's base format: bit 0 R .. bit 3 A. Luminance and
// intensity travel in R alone; the environment procs read them from there.
inline uint32_t blendedChannels(GLenum base) {
    switch (base) {
    case GL_ALPHA: return 0x8;
    case GL_RGB: return 0x7;
    case GL_RGBA: return 0xF;
    case GL_LUMINANCE:
    case GL_INTENSITY: return 0x1;
    case GL_LUMINANCE_ALPHA: return 0x9;
    default: return 0;
    }
}

inline void fetch(GlTextureObject *tex, GlMipLevel *level, int32_t j, int32_t i, uint8_t *out) {
    level->fetch(level, tex, 0, j, i, out);
}

// ---- samplers --------------------------------------------------------------------------------

// A nearest texel index along one axis of `size` texels: the texel whose span holds s, so
// rounded down (truncation would give s in (-1, 0) the first texel instead of the last one
// before it), then wrapped.
inline int32_t nearestIndex(float s, int32_t size, GLenum wrap) {
    const int32_t i = truncSat(std::floor(s));
    if (wrap == GL_REPEAT) return i & (size - 1);
    if (i < 0) return 0;
    if (i >= size) return size - 1;
    return i;
}

// The two texels a linear sample blends along one axis and the weight of the second. Clamped
// coordinates reach one texel past either edge: a level without border answers those with the
// border colour, a bordered level with its border texels.
struct LinearAxis {
    int32_t i0, i1;
    float f;
};
inline LinearAxis linearAxis(float s, int32_t size, GLenum wrap) {
    LinearAxis a;
    if (wrap == GL_REPEAT) {
        if (!std::isfinite(s)) s = 0.0f;
        const float u = s - 0.5f, fl = std::floor(u);
        a.i0 = truncSat(fl) & (size - 1);
        a.i1 = (a.i0 + 1) & (size - 1);
        a.f = u - fl;
    } else {
        // Negative coordinates (and NaN) clamp to 0; -0.0 is kept and behaves as 0.
        if (!(s >= 0.0f)) s = 0.0f;
        if (s > float(size)) s = float(size);
        const float u = s - 0.5f, fl = std::floor(u);
        a.i0 = int32_t(fl);
        a.i1 = a.i0 + 1;
        a.f = u - fl;
    }
    return a;
}

// A weighted sum of bytes (at most 255) as the nearest byte: truncating would darken every
// filtered texel by half a byte on average.
inline uint8_t weighted(float v) { return uint8_t(int32_t(v + 0.5f)); }

template <int Dims>
void sampleNearest(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    const int32_t i = nearestIndex(s, level->innerWidth, tex->wrapS);
    const int32_t j = Dims == 2 ? nearestIndex(t, level->innerHeight, tex->wrapT) : 0;
    fetch(tex, level, j, i, texel);
}

template <int Dims>
void sampleLinear(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    const uint32_t mask = blendedChannels(tex->level0BaseFormat);
    const LinearAxis as = linearAxis(s, level->innerWidth, tex->wrapS);
    if constexpr (Dims == 1) {
        uint8_t t0[4] = {0, 0, 0, 0}, t1[4] = {0, 0, 0, 0};
        fetch(tex, level, 0, as.i0, t0);
        fetch(tex, level, 0, as.i1, t1);
        const float w0 = 1.0f - as.f, w1 = as.f;
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c)) texel[c] = weighted(float(t0[c]) * w0 + float(t1[c]) * w1);
    } else {
        const LinearAxis at = linearAxis(t, level->innerHeight, tex->wrapT);
        uint8_t t00[4] = {0, 0, 0, 0}, t10[4] = {0, 0, 0, 0}, t01[4] = {0, 0, 0, 0}, t11[4] = {0, 0, 0, 0};
        fetch(tex, level, at.i0, as.i0, t00);
        fetch(tex, level, at.i0, as.i1, t10);
        fetch(tex, level, at.i1, as.i0, t01);
        fetch(tex, level, at.i1, as.i1, t11);
        const float w00 = (1.0f - as.f) * (1.0f - at.f), w10 = as.f * (1.0f - at.f);
        const float w01 = (1.0f - as.f) * at.f, w11 = as.f * at.f;
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c))
                texel[c] = weighted(float(t00[c]) * w00 + float(t10[c]) * w10 + float(t01[c]) * w01 +
                                    float(t11[c]) * w11);
    }
}

// ---- filters ---------------------------------------------------------------------------------

// Samples level d with s and t turned into its texels.
template <bool Linear>
inline void sampleLevel(GlTextureObject *tex, int32_t d, float s, float t, uint8_t *texel) {
    GlMipLevel *level = tex->levels[d];
    const GlTexSampleProc sample = texSlot<GlTexSampleProc>(Linear ? tex->sampleLinear : tex->sampleNearest);
    sample(tex, level, s * level->innerWidthF, t * level->innerHeightF, texel);
}

template <bool Linear>
void filterScaled(GlTextureObject *tex, float, float s, float t, uint8_t *texel) {
    sampleLevel<Linear>(tex, 0, s, t, texel);
}

// The nearest level: 0 up to a lambda of 0.5, compared as the float's bit pattern so that every
// negative lambda gives 0 as well; above it lambda rounded, at most the last level.
template <bool Linear>
void filterMipmapNearest(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    int32_t bits;
    std::memcpy(&bits, &lambda, 4);
    int32_t d = 0;
    if (bits > 0x3F000000) {  // 0.5f
        d = truncSat(lambda + 0.49995f);
        if (d > tex->maxLevel) d = tex->maxLevel;
        if (d < 0) d = 0;
    }
    sampleLevel<Linear>(tex, d, s, t, texel);
}

// Levels k and k + 1 blended by the fraction of lambda; past the last level that level alone.
template <bool Linear>
void filterMipmapLinear(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    const int32_t k = truncSat(lambda);
    const int64_t next = int64_t(k) + 1;
    if (next > tex->maxLevel || next < 0) return sampleLevel<Linear>(tex, tex->maxLevel, s, t, texel);
    // A lambda at or below -1 would name the level before level 0: the largest level alone.
    if (k < 0) return sampleLevel<Linear>(tex, 0, s, t, texel);
    uint8_t t0[4] = {0, 0, 0, 0}, t1[4] = {0, 0, 0, 0};
    sampleLevel<Linear>(tex, k, s, t, t0);
    sampleLevel<Linear>(tex, k + 1, s, t, t1);
    const float f = lambda - std::floor(lambda);
    const uint32_t mask = blendedChannels(tex->level0BaseFormat);
    for (int c = 0; c < 4; ++c)
        if (mask & (1u << c)) texel[c] = weighted(float(t0[c]) * (1.0f - f) + float(t1[c]) * f);
}

// ---- apply -----------------------------------------------------------------------------------

inline void filterAndCombine(GlContext *ctx, GlTextureObject *tex, GlTexObjProc filter, float lambda, float *color,
                             float s, float t) {
    uint8_t texel[4] = {0, 0, 0, 0};
    texSlot<GlTexFilterProc>(filter)(tex, lambda, s, t, texel);
    texSlot<GlTexEnvApplyProc>(tex->env)(ctx, color, texel);
}

// Central difference of a quotient over one pixel either side, in texels.
inline float centralDifference(float a, float da, float q, float dq) {
    return (a + da) * (1.0f / (q + dq)) - (a - da) * (1.0f / (q - dq));
}

}  // namespace

void __glTexSampleNearest1D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    sampleNearest<1>(tex, level, s, t, texel);
}
void __glTexSampleNearest2D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    sampleNearest<2>(tex, level, s, t, texel);
}
void __glTexSampleLinear1D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    sampleLinear<1>(tex, level, s, t, texel);
}
void __glTexSampleLinear2D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel) {
    sampleLinear<2>(tex, level, s, t, texel);
}

void __glTexFilterNearestScaled(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterScaled<false>(tex, lambda, s, t, texel);
}
void __glTexFilterLinearScaled(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterScaled<true>(tex, lambda, s, t, texel);
}
void __glTexFilterNearestMipmapNearest(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterMipmapNearest<false>(tex, lambda, s, t, texel);
}
void __glTexFilterLinearMipmapNearest(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterMipmapNearest<true>(tex, lambda, s, t, texel);
}
void __glTexFilterNearestMipmapLinear(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterMipmapLinear<false>(tex, lambda, s, t, texel);
}
void __glTexFilterLinearMipmapLinear(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel) {
    filterMipmapLinear<true>(tex, lambda, s, t, texel);
}

float __glTexLambdaOf(float rho2) {
    if (rho2 == 0.0f) return 0.0f;
    const int32_t n = truncSat(rho2);
    int32_t k = 0;
    if (n >= 2) k = 31 - __builtin_clz(uint32_t(n));
    const float f = float(1u << k);
    return ((rho2 - f) / f + float(k)) * 0.5f;
}

void __glTexApplySingleFilter(GlContext *ctx, float *color, float s, float t, float) {
    GlTextureObject *tex = currentTexture(ctx);
    if (tex == nullptr) return;
    filterAndCombine(ctx, tex, tex->magnify, 0.0f, color, s, t);
}

void __glTexApplyMinMag(GlContext *ctx, float *color, float s, float t, float rho2) {
    GlTextureObject *tex = currentTexture(ctx);
    if (tex == nullptr) return;
    filterAndCombine(ctx, tex, rho2 <= tex->lodThreshold ? tex->magnify : tex->minify, 0.0f, color, s, t);
}

void __glTexApplyMipmap(GlContext *ctx, float *color, float s, float t, float rho2) {
    GlTextureObject *tex = currentTexture(ctx);
    if (tex == nullptr) return;
    if (rho2 <= tex->lodThreshold) return filterAndCombine(ctx, tex, tex->magnify, rho2, color, s, t);
    filterAndCombine(ctx, tex, tex->minify, __glTexLambdaOf(rho2), color, s, t);
}

float __glTexRhoSpan(GlContext *ctx, GlRasterState *rs, float s, float t, float q) {
    GlTextureObject *tex = currentTexture(ctx);
    if (tex == nullptr || tex->levels == nullptr) return 0.0f;
    const GlMipLevel *level0 = tex->levels[0];
    const float w = level0->innerWidthF, h = level0->innerHeightF;
    const float *dx = rs->texCoordStep, *dy = rs->texStepY;
    const float dsx = centralDifference(s, dx[0], q, dx[2]) * w, dtx = centralDifference(t, dx[1], q, dx[2]) * h;
    const float dsy = centralDifference(s, dy[0], q, dy[2]) * w, dty = centralDifference(t, dy[1], q, dy[2]) * h;
    const float x = dsx * dsx + dtx * dtx, y = dsy * dsy + dty * dty;
    return (x > y ? x : y) * 0.25f;
}

float __glTexRhoSpanNone(GlContext *, GlRasterState *, float, float, float) { return 0.0f; }

// Along a line the texture coordinates step once per pixel of the major axis; the scale is the
// texels covered by one such step either side of the end point.
float __glTexRhoLine(GlContext *ctx, float s, float t, float q) {
    GlTextureObject *tex = currentTexture(ctx);
    if (tex == nullptr || tex->levels == nullptr) return 0.0f;
    const GlMipLevel *level0 = tex->levels[0];
    const float *d = glraster::rasterOf(ctx).texCoordStep;
    const float ds = centralDifference(s, d[0], q, d[2]) * level0->innerWidthF;
    const float dt = centralDifference(t, d[1], q, d[2]) * level0->innerHeightF;
    return (ds * ds + dt * dt) * 0.25f;
}

float __glTexRhoLineNone(GlContext *, float, float, float) { return 0.0f; }
