// Lighting: the colour helpers used across the pipeline, the maintenance of the derived
// lighting records, the per-vertex lighting procs (faceColor) for RGBA and colour-index mode,
// and the colour-material procs (applyColor).
#pragma once
#include <cstdint>
#include "icd/vertex/light_cache.h"

struct GlContext;
struct GlVertex;

// ---- colour helpers: (ctx, out, in); scales applied to R, G, B, A -------------------------------
void __glScaleColor(GlContext *ctx, float out[4], const float in[4]);
void __glClampAndScaleColor(GlContext *ctx, float out[4], const float in[4]);
void __glClampColor(GlContext *ctx, float out[4], const float in[4]);
void __glClampToColorScale(GlContext *ctx, float out[4], const float in[4]);
void __glScaleColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]);
void __glClampAndScaleColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]);
void __glClampColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]);
void __glUnscaleColor(GlContext *ctx, float out[4], const float in[4]);
void __glUnscaleColorToInt(GlContext *ctx, int32_t out[4], const float in[4]);
void __glClampScaledColor(GlContext *ctx, float out[4], const float in[4]);

// ---- derived records ----------------------------------------------------------------------------
GlLightingCaches &__glLightingCaches(GlContext *ctx);
GlLightCache *__glLightCaches(GlContext *ctx);  // maxLights records, kGlLightCacheStride apart
// After a material change (the glMaterial change bits of each face; 63, 63 rebuilds all).
void __glApplyMaterialChange(GlContext *ctx, uint32_t frontBits, uint32_t backBits);
void __glUpdateMaterialCache(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache, uint32_t bits);
void __glUpdateLightProducts(GlContext *ctx, uint32_t frontBits, uint32_t backBits);
void __glSetFaceMaterials(GlContext *ctx);
void __glBuildLightList(GlContext *ctx);
// From the pick-all proc: rebuilds everything when the lighting state is dirty, and picks the
// lighting procs.
void __glValidateLighting(GlContext *ctx);
void __glPickLightingProcs(GlContext *ctx);
// The object-space light vectors after the modelview inverse changed.
void __glUpdateLightVectors(GlContext *ctx);
// First make-current: the colours kept in colour-buffer units, from their [0, 1] defaults.
void __glRescaleContextColors(GlContext *ctx);

// ---- per-vertex lighting: faceColor(ctx, face, v), face 0 front, 1 back -------------------------
// The vertex needs its eye coordinates and its eye-space normal.
void __glLightVertexRgba(GlContext *ctx, int32_t face, GlVertex *v);
void __glLightVertexRgbaInfinite(GlContext *ctx, int32_t face, GlVertex *v);
void __glLightVertexIndex(GlContext *ctx, int32_t face, GlVertex *v);
void __glLightVertexIndexInfinite(GlContext *ctx, int32_t face, GlVertex *v);
void __glLightVertexIndexInfiniteFast(GlContext *ctx, int32_t face, GlVertex *v);
// Lighting off: the copied colour stands.
void __glLightVertexNone(GlContext *ctx, int32_t face, GlVertex *v);

// ---- colour material ----------------------------------------------------------------------------
void __glPickColorMaterialProcs(GlContext *ctx);
void __glColorMaterialOneFace(GlContext *ctx);
void __glColorMaterialBothFaces(GlContext *ctx);
void __glScaleCurrentColor(GlContext *ctx);
void __glColorMaterialAmbient(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);
void __glColorMaterialDiffuse(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);
void __glColorMaterialSpecular(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);
void __glColorMaterialEmission(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);
void __glColorMaterialAmbientDiffuse(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);
