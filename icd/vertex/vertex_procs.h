// The procs of the vertex pipeline by name, for the pickers that install them (the accessors
// of the ring and the current attributes are in vertex_ring.h).
#pragma once
#include <cstdint>
#include "icd/vertex/vertex.h"

// Context reset: ring pointers, each record's colour pointer, the scaled colour, set 1, the
// raster-position record and the default per-vertex procs.
void __glInitVertexBuffer(GlContext *ctx);

// ---- raster position and rectangles (slots setRasterPos2..4 and drawRect) ----------------------
void __glSetRasterPos2(GlContext *ctx, const float *v);
void __glSetRasterPos3(GlContext *ctx, const float *v);
void __glSetRasterPos4(GlContext *ctx, const float *v);
void __glDrawRectAsQuad(GlContext *ctx, float x1, float y1, float x2, float y2);
// The scaled colour follows the current colour (no colour material): the default applyColor.
void __glApplyColorScaled(GlContext *ctx);
// Copies the raster-position record's window position, colour, index and texture coordinates
// into the core's summary fields that queries read.
void __glStoreRasterSummary(GlContext *ctx);

// ---- vertex validation (slots of GlPrimitiveProcs) ----------------------------------------------
// Chooses the clip checks, complete-vertex procs, vertex entries and attribute copy.
void __glPickVertexProcs(GlContext *ctx);
uint32_t __glClipCheckFrustum(GlContext *ctx, GlVertex *v);
uint32_t __glClipCheckFrustumXY(GlContext *ctx, GlVertex *v);
uint32_t __glClipCheckUser2(GlContext *ctx, GlVertex *v);
uint32_t __glClipCheckUser3(GlContext *ctx, GlVertex *v);
uint32_t __glClipCheckUser4(GlContext *ctx, GlVertex *v);
void __glCompleteVertex2(GlContext *ctx, GlVertex *v, uint32_t need);
void __glCompleteVertex3(GlContext *ctx, GlVertex *v, uint32_t need);
void __glCompleteVertex4(GlContext *ctx, GlVertex *v, uint32_t need);
void __glCompleteVertexNop(GlContext *ctx, GlVertex *v, uint32_t need);

// Attribute copies: each copies what its name lists, then calls vertex(ctx, v).
#define GL_COPY_ATTRIBUTE_PROCS(X)                                                          \
    X(Normal) X(Color) X(Index) X(Tex) X(NormalTex) X(ColorTex) X(IndexTex) X(NormalColorTex) \
    X(NormalIndexTex) X(Tex2) X(NormalTex2) X(ColorTex2) X(NormalColorTex2)
#define GL_DECLARE_COPY(what) void __glCopyCurrent##what(GlContext *ctx, GlVertex *v);
GL_COPY_ATTRIBUTE_PROCS(GL_DECLARE_COPY)
#undef GL_DECLARE_COPY

// ---- primitive state machines --------------------------------------------------------------------
// The begin proc of each mode (slots beginPoints .. beginPolygon, in mode order) and the end
// procs that glEnd runs through the endPrimitive slot.
void __glPrimPointsBegin(GlContext *ctx);
void __glBeginLines(GlContext *ctx);
void __glBeginLineLoop(GlContext *ctx);
void __glBeginLineStrip(GlContext *ctx);
void __glPrimTrianglesBegin(GlContext *ctx);
void __glPrimTriangleStripBegin(GlContext *ctx);
void __glPrimTriangleFanBegin(GlContext *ctx);
void __glPrimQuadsBegin(GlContext *ctx);
void __glPrimQuadStripBegin(GlContext *ctx);
void __glPrimPolygonBegin(GlContext *ctx);
void __glPrimEnd(GlContext *ctx);
void __glPrimPointsEnd(GlContext *ctx);
void __glEndLineLoop(GlContext *ctx);
void __glPrimPolygonEnd(GlContext *ctx);
// Mode handlers the pickers choose between.
void __glPrimPointsVertex(GlContext *ctx, GlVertex *v);
void __glPrimPointsVertexComplete(GlContext *ctx, GlVertex *v);
void __glLinesSecondVertex(GlContext *ctx, GlVertex *v);
void __glLineStripVertex(GlContext *ctx, GlVertex *v);
void __glLineStripVertexComplete(GlContext *ctx, GlVertex *v);
void __glPrimCompletePending(GlContext *ctx);
void __glPrimCompletePending1(GlContext *ctx);
void __glPrimCompletePending2(GlContext *ctx);
void __glPrimCompletePending3(GlContext *ctx);
void __glPrimCompletePendingFan(GlContext *ctx);
void __glPrimCompletePendingQuad(GlContext *ctx);

// The vertex handler outside glBegin/glEnd: the vertex was transformed and is ignored.
void __glPrimIgnoreVertex(GlContext *ctx, GlVertex *v);
