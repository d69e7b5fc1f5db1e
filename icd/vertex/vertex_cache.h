// The vertex cache's internals shared by its entries, its flush and its batch flush procs.
#pragma once
#include "icd/vertex/array_procs.h"

// A flush that could not take the drawable lock: the batch is not drawn, but the primitive's
// bookkeeping runs as if it had been (records carried on, split flags, count and completed
// reset), so the next vertices never write past the shared block. Carried records count as
// untransformed afterwards.
void __glDropVertexCacheBatch(GlContext *ctx, int32_t kind);

// The attribute-copy procs of the cache: the current attributes their names list into the
// record, nothing else (no handler is called, the flush assembles the primitives).
#define GL_VCACHE_COPY_PROCS(X)                                                                     \
    X(Normal) X(Color) X(Index) X(NormalColor) X(NormalIndex) X(TexCoord) X(NormalTexCoord)        \
    X(ColorTexCoord) X(IndexTexCoord) X(NormalColorTexCoord) X(NormalIndexTexCoord)
#define GL_DECLARE_VCACHE_COPY(what) void __glVcacheCopy##what(GlContext *ctx, GlVertex *v);
GL_VCACHE_COPY_PROCS(GL_DECLARE_VCACHE_COPY)
#undef GL_DECLARE_VCACHE_COPY

// The lazy batch transforms: the first batch of each vertex size asks the code generator for
// its routine, keeps it and runs it.
void __glVcacheGenXform2(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
void __glVcacheGenXform3(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
void __glVcacheGenXform4(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
