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
// The current attributes a vertex takes, by the bits of what it needs: immediate mode copies them
// into the ring's record, the vertex cache into its batch record.
enum : uint32_t { kGlCopyNormal = 0x1, kGlCopyColor = 0x2, kGlCopyIndex = 0x4, kGlCopyTex = 0x8, kGlCopyTex2 = 0x10 };
template <uint32_t What>
inline void __glCopyCurrentAttributes(const GlContext *ctx, GlVertex *v) {
    const GlCurrentState &c = ctx->current;
    if (What & kGlCopyNormal) {
        v->normal[0] = c.normal[0];
        v->normal[1] = c.normal[1];
        v->normal[2] = c.normal[2];
    }
    if (What & kGlCopyColor) __builtin_memcpy(v->frontColor, c.vertex.scaledColor, sizeof(v->frontColor));
    if (What & kGlCopyIndex) v->frontColor[0] = c.index;
    if (What & (kGlCopyTex | kGlCopyTex2)) __builtin_memcpy(v->texCoord[0], c.texCoord, sizeof(v->texCoord[0]));
    if (What & kGlCopyTex2) __builtin_memcpy(v->texCoord[1], c.vertex.texCoord1, sizeof(v->texCoord[1]));
}

// currentTexCoord[set]: set 0 in the core's current record, set 1 beside the scaled colour.
inline float *__glCurrentTexCoord(GlContext *ctx, uint32_t set) {
    return set == 0 ? ctx->current.texCoord : ctx->current.vertex.texCoord1;
}

