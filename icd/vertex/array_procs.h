// The procs of client vertex arrays, the array renderers and the vertex cache.
#pragma once
#include "icd/core/context.h"
#include "icd/vertex/array_state.h"

// The context hooks (__glInitArrayState, __glFreeArrayState, __glMarkArraysDirty,
// __glSetArrayFanPolygonRenderers, __glInitVertexCache, __glDestroyVertexCache) are declared
// with the core's other services.
#include "icd/core/services.h"

// ---- Array state, validation and the array cache -----------------------------------------------
void __glValidateArrays(GlContext *ctx);
void __glPickArrayProcs(GlContext *ctx);
// Sizes the array cache for count records and maps element first to its first record. False
// (GL_OUT_OF_MEMORY reported, the old block kept) when the block cannot be had.
bool __glEnsureArrayCache(GlContext *ctx, int32_t first, int32_t count);
// Step 3 of the array pick: the range transform of the table for the current state.
GlRangeTransformProc __glChooseRangeTransform(GlContext *ctx);

// ---- Fetch and range-transform procs -------------------------------------------------------------
// The 55 fetch procs (__glFetchArrayVertex3f ...) are reached through the setter tables.
void __glFetchArrayEdgeFlag(GlContext *ctx, const void *element, GlVertex *v);
void __glArrayCurrentNormal(GlContext *ctx, const void *element, GlVertex *v);
void __glArrayCurrentColor(GlContext *ctx, const void *element, GlVertex *v);
void __glArrayCurrentIndex(GlContext *ctx, const void *element, GlVertex *v);
void __glArrayCurrentTexCoord(GlContext *ctx, const void *element, GlVertex *v);
void __glArrayCurrentEdgeFlag(GlContext *ctx, const void *element, GlVertex *v);

void __glTransformArrayBatch(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count,
                             const uint32_t *indices);
void __glTransformArrayFull(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
void __glRetransformArrayVertex(GlContext *ctx, GlVertex *record, int32_t element);
void __glTransformArrayRangeLazy(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
void __glTransformArrayGeneric(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
// The vertex cache's range transform and refetch: they work on records already written.
void __glCullTransformVertexRange(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
void __glTransformVertexRecord(GlContext *ctx, GlVertex *record, int32_t element);
// The cull-vertex test of one record: cullWord[0] or cullWord[1] by the side it faces.
uint32_t __glArrayCullBits(GlContext *ctx, const float obj[4], const float normal[3]);

// What every range transform runs first (generated ones too): the modelview inverse the cull
// position needs and the range procs for the matrices in force; false without matrix stacks.
bool __glArrayBeginRange(GlContext *ctx);
// The modelview inverse of the stack entry brought up to date when it is stale, through the
// context's update slot (the plain update when the slot is empty).
void __glRefreshModelViewInverse(GlContext *ctx, GlTransform *top);

// ---- Code generator requests ------------------------------------------------------------------
// A vertex routine with the range-transform signature for the state (flag 0x8000: the vertex
// cache's in-place variant) and an array triangle-strip renderer.
GlRangeTransformProc __glOgGenVertexProc(GlContext *ctx, int32_t vertexSize, uint32_t flags);
GlArrayRenderer __glOgGenDrawVertexesProc(GlContext *ctx, int32_t kind, int32_t indicesGiven);

// ---- Array renderers, clip routines, index map, draw loops ------------------------------------
void __glDrawArrayPoints(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayLines(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayLineLoop(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayLineStrip(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayTriangles(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayTriangleStrip(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayTriangleStripLazy(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayTriangleFan(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayQuads(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayQuadStrip(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);
void __glDrawArrayPolygon(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices);

// A triangle crossing a clip plane: its records re-fetched with every attribute (each keeping
// the edge flag its caller gave it), then clipped unless all three share a clip bit. The
// renderers of independent triangles, strips, fans and polygons call it for crossing triangles,
// and so does the generated strip routine, with the strip's edges shown for the call.
void __glDoClipTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glClipArrayLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glClipArrayQuad(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, GlVertex *d);
int32_t __glArrayRecordElement(GlContext *ctx, int32_t record);
extern const GlDrawLoop __glDrawLoops[64];

// ---- Vertex cache ------------------------------------------------------------------------------
void __glInstallVertexCache(GlContext *ctx);  // from the vertex-proc picker while vcacheOn
void __glFlushVertexCache(GlContext *ctx, int32_t kind);
void __glVcacheCompletePending(GlContext *ctx);
namespace icd {
void APIENTRY __glVcacheBegin(GLenum mode);
void APIENTRY __glVcacheEnd();
void APIENTRY __glVcacheVertex2fv(const GLfloat *v);
void APIENTRY __glVcacheVertex3fv(const GLfloat *v);
void APIENTRY __glVcacheVertex4fv(const GLfloat *v);
}  // namespace icd

// The batch flush procs, by mode GL_POINTS .. GL_POLYGON.
void __glBatchPoints(GlContext *ctx, int32_t kind);
void __glBatchLines(GlContext *ctx, int32_t kind);
void __glBatchLineLoop(GlContext *ctx, int32_t kind);
void __glBatchLineStrip(GlContext *ctx, int32_t kind);
void __glBatchTriangles(GlContext *ctx, int32_t kind);
void __glBatchTriangleStrip(GlContext *ctx, int32_t kind);
void __glBatchTriangleFan(GlContext *ctx, int32_t kind);
void __glBatchQuads(GlContext *ctx, int32_t kind);
void __glBatchQuadStrip(GlContext *ctx, int32_t kind);
void __glBatchPolygon(GlContext *ctx, int32_t kind);
extern const GlBatchFlushProc __glBatchFlushProcs[10];
