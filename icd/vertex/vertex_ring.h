// The vertex ring and the current attributes of a context, reached through the context.
#pragma once
#include <cstdint>
#include "icd/core/context.h"
#include "icd/vertex/vertex_procs.h"

static_assert(kGlVertexRecordSize == sizeof(GlVertex));
static_assert(kGlVertexRingSize == kGlVertexBufferSize);

// The 16 records of the immediate-mode ring.
inline GlVertex *__glVertexRing(GlContext *ctx) {
    return reinterpret_cast<GlVertex *>(ctx->arrays.vertexRing);
}
inline GlVertexBuffer &__glVertexBuffer(GlContext *ctx) { return ctx->arrays.vertexBuffer; }
inline GlPrimitiveProcs &__glPrimitiveProcs(GlContext *ctx) { return ctx->slots.primitive; }
// currentTexCoord[set]: set 0 in the core's current record, set 1 beside the scaled colour.
inline float *__glCurrentTexCoord(GlContext *ctx, uint32_t set) {
    return set == 0 ? ctx->current.texCoord : ctx->current.vertex.texCoord1;
}

