// What the other subsystems of the driver may call in the software rasteriser: the buffers, the
// span pipeline and its stages, the fog procs, the shared tables.
#pragma once
#include <cstdint>
#include "icd/raster/buffer.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/span.h"
#include "icd/raster/raster_tables.h"
#include "icd/raster/triangle.h"
#include "icd/raster/fragment.h"

// ---- span runners and the span picker ------------------------------------------------------------
uint8_t __glSpanRenderStages(GlContext *ctx);
uint8_t __glSpanRenderStagesFrontBack(GlContext *ctx);
void __glPickSpanProcs(GlContext *ctx);

// ---- span stages ---------------------------------------------------------------------------------
uint8_t __glSpanScissor(GlContext *ctx);
uint8_t __glSpanPolygonStipple(GlContext *ctx);
uint8_t __glSpanPolygonStippleMasked(GlContext *ctx);
uint8_t __glSpanShadeRgbaSmooth(GlContext *ctx);
uint8_t __glSpanShadeRgbaFlat(GlContext *ctx);
uint8_t __glSpanShadeIndexSmooth(GlContext *ctx);
uint8_t __glSpanShadeIndexFlat(GlContext *ctx);
uint8_t __glSpanTexture(GlContext *ctx);
uint8_t __glSpanTextureMasked(GlContext *ctx);
uint8_t __glSpanFog(GlContext *ctx);
uint8_t __glSpanFogMasked(GlContext *ctx);
uint8_t __glSpanFogNicest(GlContext *ctx);
uint8_t __glSpanFogNicestMasked(GlContext *ctx);
uint8_t __glSpanAlphaTest(GlContext *ctx);
uint8_t __glSpanAlphaTestMasked(GlContext *ctx);

// Stencil and depth stages.
uint8_t __glSpanStencilTest(GlContext *ctx);
uint8_t __glSpanStencilTestMasked(GlContext *ctx);
uint8_t __glSpanDepthStencilTest(GlContext *ctx);
uint8_t __glSpanDepthStencilTestMasked(GlContext *ctx);
uint8_t __glSpanDepthStencilTestClamped(GlContext *ctx);
uint8_t __glSpanDepthStencilTestClampedMasked(GlContext *ctx);
uint8_t __glSpanStencilDepthPass(GlContext *ctx);
uint8_t __glSpanStencilDepthPassMasked(GlContext *ctx);
uint8_t __glSpanDepthTest(GlContext *ctx);
uint8_t __glSpanDepthTestMasked(GlContext *ctx);
uint8_t __glSpanDepthTestClamped(GlContext *ctx);
uint8_t __glSpanDepthTestClampedMasked(GlContext *ctx);

// ---- fog of single fragments and colours -----------------------------------------------------------
// Fogs one fragment (colour in the buffer's units) by its eye distance.
void __glFogFragment(GlContext *ctx, GlFragment *frag, float eyeDistance);
// out = f * in + (1 - f) * the unscaled fog colour (alpha kept); index: in + (1 - f) * fog index.
void __glFogBlendColor(GlContext *ctx, float *out, const float *in, float factor);
// The fog factor of an eye distance by the fog mode, clamped to [0, 1].
float __glFogFactor(GlContext *ctx, float eyeDistance);
// Fog factors of a vertex: every mode, or the linear one alone.
float __glFogVertexFactor(GlContext *ctx, GlVertex *v);
float __glFogVertexFactorLinear(GlContext *ctx, GlVertex *v);
