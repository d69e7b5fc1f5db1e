// The generic software triangle: plane gradients of every span quantity, a two-part walk from top
// to bottom with a 31-bit fixed-point edge stepper, one call of the span runner per row.
#pragma once
#include <cstdint>
#include "icd/raster/span.h"

struct GlContext;
struct GlVertex;

// The triangle proc the triangle picker installs as the raster triangle when neither the chip nor
// the fast path draws the current state. The vertices are in window coordinates (bias included,
// z in depth-buffer units, colours in vertex units); culling, clipping and polygon mode are done.
void __glRenderTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);

// The set-up steps of one triangle, on the context's raster state. Gradients are those the
// triangle set-up left in the raster state (the x steps in the span step fields, the y steps in
// the *StepY fields).
//
// The edge from the upper vertex to the lower one, positioned on its first row.
void __glSetupLeftEdge(GlContext *ctx, const GlVertex *upper, const GlVertex *lower, int32_t firstRow);
void __glSetupRightEdge(GlContext *ctx, const GlVertex *upper, const GlVertex *lower, int32_t firstRow);
// Start values at the first pixel of the left edge and their per-row changes: the vertex the
// edge starts at, its colour, fog value and fourth texture value, and the sub-pixel offsets from
// the vertex to the first pixel's sample point.
void __glSetupEdgeStart(GlContext *ctx, const GlVertex *v, const float *color, float fog, float texScaleQ,
                        float dxs, float dy);
// Polygon-offset depth of the first pixel and the clamp fields of the clamped depth stages.
void __glSetupPolygonOffset(GlContext *ctx, const GlVertex *v, float dxs, float dy);
// Rows [firstRow, endRow) between the two edges.
void __glFillSubTriangle(GlContext *ctx, int32_t firstRow, int32_t endRow);
