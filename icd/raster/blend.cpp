// Blending: the factor procs generated from one definition per factor, the general and clamped
// compositions, the fused procs of the four common pairs, the fragment entries and the picker.
#include "icd/raster/blend.h"
#include "icd/raster/fragment.h"
#include "icd/raster/raster_state.h"

using namespace glraster;

namespace {

GlBlendProcs &procsOf(GlContext *ctx) { return ctx->state.span.fragment.blend; }

// The channel maxima and their reciprocals. All colour buffers of a context share one format:
// the front buffer's values serve.
struct Units {
    float max[4];
    float r[4];
};
inline Units unitsOf(GlContext *ctx) {
    const GlColorBuffer &cb = ctx->buffers.color.front;
    Units u{{cb.redScale, cb.greenScale, cb.blueScale, cb.alphaScale}, {}};
    for (int i = 0; i < 4; ++i) u.r[i] = u.max[i] != 0.0f ? 1.0f / u.max[i] : 0.0f;
    return u;
}

// The four channel factors of a blend factor. Only the colours the factor needs are read: the
// destination is null for entries that did not fetch it.
template <GLenum F>
inline void factorOf(const float *S, const float *D, const float *r, float *f) {
    if constexpr (F == GL_ZERO || F == GL_ONE) {
        for (int i = 0; i < 4; ++i) f[i] = F == GL_ONE ? 1.0f : 0.0f;
    } else if constexpr (F == GL_SRC_COLOR || F == GL_ONE_MINUS_SRC_COLOR) {
        for (int i = 0; i < 4; ++i) f[i] = F == GL_SRC_COLOR ? S[i] * r[i] : 1.0f - S[i] * r[i];
    } else if constexpr (F == GL_DST_COLOR || F == GL_ONE_MINUS_DST_COLOR) {
        for (int i = 0; i < 4; ++i) f[i] = F == GL_DST_COLOR ? D[i] * r[i] : 1.0f - D[i] * r[i];
    } else if constexpr (F == GL_SRC_ALPHA || F == GL_ONE_MINUS_SRC_ALPHA) {
        float sa = S[3] * r[3];
        for (int i = 0; i < 4; ++i) f[i] = F == GL_SRC_ALPHA ? sa : 1.0f - sa;
    } else if constexpr (F == GL_DST_ALPHA || F == GL_ONE_MINUS_DST_ALPHA) {
        float da = D[3] * r[3];
        for (int i = 0; i < 4; ++i) f[i] = F == GL_DST_ALPHA ? da : 1.0f - da;
    } else {
        static_assert(F == GL_SRC_ALPHA_SATURATE);
        float sa = S[3] * r[3], oneMinusDa = 1.0f - D[3] * r[3];
        float k = sa < oneMinusDa ? sa : oneMinusDa;
        f[0] = f[1] = f[2] = k;
        f[3] = 1.0f;  // the source alpha is kept
    }
}

template <GLenum F>
void sourceFactor(GlContext *ctx, const float *S, const float *D, float *out) {
    Units u = unitsOf(ctx);
    float f[4];
    factorOf<F>(S, D, u.r, f);
    for (int i = 0; i < 4; ++i) out[i] = S[i] * f[i];
}

template <GLenum F>
void destinationFactor(GlContext *ctx, const float *S, const float *D, float *out) {
    float temp[4] = {0, 0, 0, 0};
    if constexpr (F != GL_ZERO) {
        Units u = unitsOf(ctx);
        float f[4];
        factorOf<F>(S, D, u.r, f);
        for (int i = 0; i < 4; ++i) temp[i] = D[i] * f[i];
    }
    procsOf(ctx).combine(ctx, S, temp, out);
}

// Pairs whose sum cannot exceed the channel maxima need no clamp.
bool pairNeedsNoClamp(GLenum s, GLenum d) {
    return s == GL_ZERO || d == GL_ZERO || d == GL_ONE_MINUS_SRC_COLOR || s == GL_ONE_MINUS_DST_COLOR ||
           (s == GL_DST_ALPHA && d == GL_ONE_MINUS_DST_ALPHA) || (s == GL_ONE_MINUS_DST_ALPHA && d == GL_DST_ALPHA);
}

bool sourceReadsDestination(GLenum s) {
    return s == GL_DST_ALPHA || s == GL_ONE_MINUS_DST_ALPHA || s == GL_DST_COLOR || s == GL_ONE_MINUS_DST_COLOR ||
           s == GL_SRC_ALPHA_SATURATE;
}

}  // namespace

#define GL_BLEND_DEFINE_SOURCE(name, factor) \
    void name(GlContext *ctx, const float *src, const float *dst, float *out) { sourceFactor<factor>(ctx, src, dst, out); }
#define GL_BLEND_DEFINE_DESTINATION(name, factor)                                 \
    void name(GlContext *ctx, const float *src, const float *dst, float *out) { \
        destinationFactor<factor>(ctx, src, dst, out);                            \
    }
GL_BLEND_SOURCE_FACTORS(GL_BLEND_DEFINE_SOURCE)
GL_BLEND_DESTINATION_FACTORS(GL_BLEND_DEFINE_DESTINATION)
#undef GL_BLEND_DEFINE_SOURCE
#undef GL_BLEND_DEFINE_DESTINATION

GlBlendFactorProc __glBlendSourceFactorProc(GLenum factor) {
#define GL_BLEND_CASE(name, f) \
    case f: return name;
    switch (factor) { GL_BLEND_SOURCE_FACTORS(GL_BLEND_CASE) default: return nullptr; }
}

GlBlendFactorProc __glBlendDestinationFactorProc(GLenum factor) {
    switch (factor) { GL_BLEND_DESTINATION_FACTORS(GL_BLEND_CASE) default: return nullptr; }
#undef GL_BLEND_CASE
}

void __glBlendCombineAdd(GlContext *, const float *, const float *temp, float *out) {
    for (int i = 0; i < 4; ++i) out[i] += temp[i];
}

void __glBlendGeneral(GlContext *ctx, const float *src, const float *dst, float *out) {
    const GlBlendProcs &p = procsOf(ctx);
    p.sourceFactor(ctx, src, dst, out);
    p.destinationFactor(ctx, src, dst, out);
}

void __glBlendGeneralClamped(GlContext *ctx, const float *src, const float *dst, float *out) {
    __glBlendGeneral(ctx, src, dst, out);
    Units u = unitsOf(ctx);
    for (int i = 0; i < 4; ++i)
        if (out[i] > u.max[i]) out[i] = u.max[i];
}

void __glBlendSrcAlphaZeroFast(GlContext *ctx, const float *src, const float *, float *out) {
    float sa = src[3] * unitsOf(ctx).r[3];
    for (int i = 0; i < 4; ++i) out[i] = src[i] * sa;
}

void __glBlendSrcAlphaOneFast(GlContext *ctx, const float *src, const float *dst, float *out) {
    Units u = unitsOf(ctx);
    float sa = src[3] * u.r[3];
    for (int i = 0; i < 4; ++i) {
        float v = src[i] * sa + dst[i];
        out[i] = v > u.max[i] ? u.max[i] : v;
    }
}

void __glBlendSrcAlphaOneMinusSrcAlphaFast(GlContext *ctx, const float *src, const float *dst, float *out) {
    float sa = src[3] * unitsOf(ctx).r[3];
    for (int i = 0; i < 4; ++i) out[i] = src[i] * sa + dst[i] * (1.0f - sa);
}

void __glBlendOneMinusSrcAlphaSrcAlphaFast(GlContext *ctx, const float *src, const float *dst, float *out) {
    float sa = src[3] * unitsOf(ctx).r[3];
    for (int i = 0; i < 4; ++i) out[i] = src[i] * (1.0f - sa) + dst[i] * sa;
}

// Blending off: the source passes unchanged, so a store that asks anyway writes the fragment.
void __glBlendNone(GlContext *, const float *src, const float *, float *out) {
    for (int i = 0; i < 4; ++i) out[i] = src[i];
}

void __glBlendFragmentNoDest(GlContext *ctx, GlColorBuffer *, const GlFragment *frag, float *out) {
    procsOf(ctx).blend(ctx, frag->color, nullptr, out);
}

void __glBlendFragmentReadDest(GlContext *ctx, GlColorBuffer *cb, const GlFragment *frag, float *out) {
    float dst[4];
    cb->fetchPixel(cb, frag->x, frag->y, dst);
    procsOf(ctx).blend(ctx, frag->color, dst, out);
}

void __glPickBlendProcs(GlContext *ctx) {
    if (!ctx->visual.rgbaMode) return;
    GlBlendProcs &p = procsOf(ctx);
    const GLenum s = ctx->state.color.blendSrcFactor, d = ctx->state.color.blendDstFactor;
    inputsOf(ctx).blendFragment =
        (d != GL_ZERO || sourceReadsDestination(s)) ? __glBlendFragmentReadDest : __glBlendFragmentNoDest;
    if (!(ctx->state.enable.enables & kGlEnableBlend)) {
        p.blend = __glBlendNone;
        p.combine = __glBlendCombineAdd;
        return;
    }
    struct Fused {
        GLenum s, d;
        GlBlendProc proc;
    };
    static const Fused fused[] = {
        {GL_SRC_ALPHA, GL_ZERO, __glBlendSrcAlphaZeroFast},
        {GL_SRC_ALPHA, GL_ONE, __glBlendSrcAlphaOneFast},
        {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, __glBlendSrcAlphaOneMinusSrcAlphaFast},
        {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, __glBlendOneMinusSrcAlphaSrcAlphaFast},
    };
    for (const Fused &f : fused)
        if (f.s == s && f.d == d) {
            p.blend = f.proc;
            return;
        }
    GlBlendFactorProc sp = __glBlendSourceFactorProc(s), dp = __glBlendDestinationFactorProc(d);
    if (sp == nullptr || dp == nullptr) {
        // glBlendFunc never stores such a factor; should one appear, the source passes unchanged.
        p.blend = __glBlendNone;
        p.combine = __glBlendCombineAdd;
        return;
    }
    p.blend = pairNeedsNoClamp(s, d) ? __glBlendGeneral : __glBlendGeneralClamped;
    p.sourceFactor = sp;
    p.destinationFactor = dp;
    p.combine = __glBlendCombineAdd;
}
