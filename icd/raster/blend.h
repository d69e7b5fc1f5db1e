// Per-fragment RGBA blending of the software rasteriser. The colour buffer's stores call the
// blend-fragment entry (the span inputs' blendFragment) for every fragment while blending is on;
// the entry reads the destination when a factor needs it and calls the blend proc: a general
// composition of a source-factor proc, a destination-factor proc and a combine proc, or one of
// four fused procs for the most common factor pairs. Colours are four floats in the colour
// buffer's units; factors are formed in [0, 1] with the front buffer's reciprocal maxima.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;
struct GlColorBuffer;
struct GlFragment;

// out = the blend of the source with the destination (null when no factor reads it).
typedef void (*GlBlendProc)(GlContext *ctx, const float *src, const float *dst, float *out);
// out = src x the source factor.
typedef void (*GlBlendFactorProc)(GlContext *ctx, const float *src, const float *dst, float *out);
// out += temp.
typedef void (*GlBlendCombineProc)(GlContext *ctx, const float *src, const float *temp, float *out);

// The blend procs of a context, chosen by __glPickBlendProcs. For the fused pairs only `blend` is
// set; the factor slots then keep what they held and are not called.
struct GlBlendProcs {
    GlBlendProc blend;
    GlBlendFactorProc sourceFactor;
    GlBlendFactorProc destinationFactor;  // temp = dst x factor, then combine(src, temp, out)
    GlBlendCombineProc combine;
};

void __glPickBlendProcs(GlContext *ctx);

// Blend-fragment entries.
void __glBlendFragmentNoDest(GlContext *ctx, GlColorBuffer *cb, const GlFragment *frag, float *out);
void __glBlendFragmentReadDest(GlContext *ctx, GlColorBuffer *cb, const GlFragment *frag, float *out);

// Blend procs.
void __glBlendGeneral(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendGeneralClamped(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendSrcAlphaZeroFast(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendSrcAlphaOneFast(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendSrcAlphaOneMinusSrcAlphaFast(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendOneMinusSrcAlphaSrcAlphaFast(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendNone(GlContext *ctx, const float *src, const float *dst, float *out);
void __glBlendCombineAdd(GlContext *ctx, const float *src, const float *temp, float *out);

// Factor procs: one per factor and side, as glBlendFunc accepts them.
#define GL_BLEND_SOURCE_FACTORS(X)                               \
    X(__glBlendSrcZero, GL_ZERO)                                 \
    X(__glBlendSrcOne, GL_ONE)                                   \
    X(__glBlendSrcDstColor, GL_DST_COLOR)                        \
    X(__glBlendSrcOneMinusDstColor, GL_ONE_MINUS_DST_COLOR)      \
    X(__glBlendSrcSrcAlpha, GL_SRC_ALPHA)                        \
    X(__glBlendSrcOneMinusSrcAlpha, GL_ONE_MINUS_SRC_ALPHA)      \
    X(__glBlendSrcDstAlpha, GL_DST_ALPHA)                        \
    X(__glBlendSrcOneMinusDstAlpha, GL_ONE_MINUS_DST_ALPHA)      \
    X(__glBlendSrcSrcAlphaSaturate, GL_SRC_ALPHA_SATURATE)
#define GL_BLEND_DESTINATION_FACTORS(X)                          \
    X(__glBlendDstZero, GL_ZERO)                                 \
    X(__glBlendDstOne, GL_ONE)                                   \
    X(__glBlendDstSrcColor, GL_SRC_COLOR)                        \
    X(__glBlendDstOneMinusSrcColor, GL_ONE_MINUS_SRC_COLOR)      \
    X(__glBlendDstSrcAlpha, GL_SRC_ALPHA)                        \
    X(__glBlendDstOneMinusSrcAlpha, GL_ONE_MINUS_SRC_ALPHA)      \
    X(__glBlendDstDstAlpha, GL_DST_ALPHA)                        \
    X(__glBlendDstOneMinusDstAlpha, GL_ONE_MINUS_DST_ALPHA)
#define GL_BLEND_DECLARE_FACTOR(name, factor) \
    void name(GlContext *ctx, const float *src, const float *dst, float *out);
GL_BLEND_SOURCE_FACTORS(GL_BLEND_DECLARE_FACTOR)
GL_BLEND_DESTINATION_FACTORS(GL_BLEND_DECLARE_FACTOR)
#undef GL_BLEND_DECLARE_FACTOR

// The factor procs of a factor; null when the factor is not one of that side's.
GlBlendFactorProc __glBlendSourceFactorProc(GLenum factor);
GlBlendFactorProc __glBlendDestinationFactorProc(GLenum factor);
