// Software texture sampling: the apply procs that texture one fragment, the filters that choose
// the mip level(s), the samplers that read and blend texels through the levels' fetch procs, and
// the scale procs that give the squared texels per pixel (rho2) at a vertex.
//
// The texture object keeps these procs in its untyped slots (the picker stores them there);
// texSlot() reads a slot back with its real signature.
#pragma once
#include <cstdint>
#include "icd/pixel/texture_object.h"

struct GlContext;
struct GlRasterState;

// apply(ctx, colour, s, t, rho2): textures one fragment colour in place; s and t are already
// divided by q.
typedef void (*GlTexApplyProc)(GlContext *ctx, float *color, float s, float t, float rho2);
// filter(texture, lambda, s, t, texel): s and t in [0, 1] texture units.
typedef void (*GlTexFilterProc)(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
// sampler(texture, level, s, t, texel): s and t in texels of the level.
typedef void (*GlTexSampleProc)(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel);

// The squared texels per pixel (rho squared) at a pixel of a perspective or mipmapped triangle,
// exact for its planes: with S, T, Q the pixel's s/w, t/w, 1/w (each linear in window space) and
// d/dx, d/dy their gradients, d(S/Q)/dx = (dS/dx Q - S dQ/dx) / Q^2, and likewise for T and y;
// rho squared is the larger over x and y of the squared (s, t) change in level-0 texels. r is 1/Q.
struct GlTexelScale {
    float sx, tx, qx, sy, ty, qy;  // the gradients (x along the walk: the sign squares away)
    float width2, height2;         // level 0's inner width and height, squared
};
inline float __glRho2At(const GlTexelScale &k, float sw, float tw, float qw, float r) {
    const float nsx = k.sx * qw - k.qx * sw, ntx = k.tx * qw - k.qx * tw;
    const float nsy = k.sy * qw - k.qy * sw, nty = k.ty * qw - k.qy * tw;
    const float x = k.width2 * nsx * nsx + k.height2 * ntx * ntx, y = k.width2 * nsy * nsy + k.height2 * nty * nty;
    const float r2 = r * r;
    return (x > y ? x : y) * (r2 * r2);
}
// env(ctx, colour, texel): combines the texel with the fragment colour in place.
typedef void (*GlTexEnvApplyProc)(GlContext *ctx, float *color, const uint8_t *texel);
// The span scale proc: rho2 at a vertex's homogeneous s, t, q from the triangle's gradients.
typedef float (*GlTexScaleSpanProc)(GlContext *ctx, GlRasterState *rs, float s, float t, float q);
// The line scale proc: rho2 at an end point's homogeneous s, t, q from the line's steps.
typedef float (*GlTexScaleLineProc)(GlContext *ctx, float s, float t, float q);

template <class P>
inline P texSlot(GlTexObjProc slot) {
    return reinterpret_cast<P>(reinterpret_cast<void (*)(void)>(slot));
}

void __glTexApplySingleFilter(GlContext *ctx, float *color, float s, float t, float rho2);
void __glTexApplyMinMag(GlContext *ctx, float *color, float s, float t, float rho2);
void __glTexApplyMipmap(GlContext *ctx, float *color, float s, float t, float rho2);

void __glTexFilterNearestScaled(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
void __glTexFilterLinearScaled(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
void __glTexFilterNearestMipmapNearest(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
void __glTexFilterLinearMipmapNearest(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
void __glTexFilterNearestMipmapLinear(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);
void __glTexFilterLinearMipmapLinear(GlTextureObject *tex, float lambda, float s, float t, uint8_t *texel);

void __glTexSampleNearest1D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel);
void __glTexSampleNearest2D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel);
void __glTexSampleLinear1D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel);
void __glTexSampleLinear2D(GlTextureObject *tex, GlMipLevel *level, float s, float t, uint8_t *texel);

float __glTexRhoSpan(GlContext *ctx, GlRasterState *rs, float s, float t, float q);
float __glTexRhoSpanNone(GlContext *ctx, GlRasterState *rs, float s, float t, float q);
float __glTexRhoLine(GlContext *ctx, float s, float t, float q);
float __glTexRhoLineNone(GlContext *ctx, float s, float t, float q);

// The level of detail the mipmap apply proc gives a rho2 above the threshold: a piecewise-linear
// half of log2(rho2).
float __glTexLambdaOf(float rho2);
