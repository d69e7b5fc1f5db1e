// The clippers: polygons and lines against the user clip planes (eye space) and the frustum
// (clip space), then divided by w and mapped to the viewport; triangles against the visible
// rectangles of a window when drawing straight into its front buffer; and the interpolation
// procs that make the new vertices.
//
// Included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>
#include "icd/vertex/vertex.h"
#include "platform/win32/win32.h"

// dst := b + t (a - b) for the attributes the current state uses; the clippers pass the outside
// end as a and the inside end as b.
typedef void (*GlClipInterpProc)(GlVertex *dst, const GlVertex *a, const GlVertex *b, float t);
typedef void (*GlPolygonListProc)(GlContext *ctx, GlVertex **list, int32_t n);

struct GlClipState {
    GlPolygonListProc polygonProc;        // draws a clipped polygon: a fan, or the chip's polygon
    GlClipInterpProc clipInterpPolygon, clipInterpLine;
    GlRenderTriangleProc triangleProcUnclipped;  // what the clip-rectangle wrapper draws with
    GlVertex *poolNext;                   // next free record of the clip vertex pool
    GlVertex lineEnds[2];                 // the line clipper's new ends, one per end
};

// Index = shading + 5 x fog + 10 x texture sets; shading 0 flat, 1 index, 2 RGBA, 3 index
// two-sided, 4 RGBA two-sided.
constexpr int kGlClipInterpCount = 30;
extern const GlClipInterpProc __glClipInterpProcs[kGlClipInterpCount];

void __glClipDrawTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t orCodes);
void __glClipDrawPolygonRun(GlContext *ctx, GlVertex *first, int32_t n);
// Returns the number of vertices drawn (0 when the polygon was clipped away).
int32_t __glClipDrawPolygon(GlContext *ctx, GlVertex **list, int32_t n, uint32_t codes);
int32_t __glClipToFrustumPlane(GlContext *ctx, GlVertex **in, int32_t n, GlVertex **out, int32_t plane);
int32_t __glClipToUserPlane(GlContext *ctx, GlVertex **in, int32_t n, GlVertex **out, const float *equation);
void __glDrawPolygonAsFan(GlContext *ctx, GlVertex **list, int32_t n);
void __glDrawTriangleClipRects(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);

// A vertex copied for the clip-rectangle clipper, with its out-code against the rectangle.
struct GlRectClipVertex {
    GlVertex v;
    uint32_t outcode;
};
static_assert(sizeof(GlRectClipVertex) == 164);
uint32_t __glComputeRectOutcode(GlContext *ctx, const GlRectClipVertex *record, const RECT *rect);

void __glDoClipLineSmooth(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glDoClipLineFlat(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glClipLine(GlContext *ctx, GlVertex *a, GlVertex *b);

// Validation: installs the line and polygon interpolation procs; returns the line proc.
GlClipInterpProc __glPickClipInterpolateProcs(GlContext *ctx);
void __glBuildPolygonStippleMasks(GlContext *ctx);
