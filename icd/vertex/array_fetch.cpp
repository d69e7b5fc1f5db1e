// Fetch procs: one element of one client array into its fields of a cache record, converted
// exactly as the immediate-mode entry of the same command converts it, and the current-attribute
// procs that stand in for arrays the cache road does not read.
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"
#include "icd/vertex/light.h"
#include "icd/vertex/convert.h"

namespace {
// Kinds of array, by the GlArrayState slot they fill.
enum class Kind { Vertex, Normal, Color, Index, TexCoord };

template <Kind K, int N, class T>
void fetchElement(GlContext *ctx, const void *element, GlVertex *v) {
    auto c = [element](int i) { return __glClientValue<T>(element, i); };
    if constexpr (K == Kind::Vertex) {
        v->obj[0] = float(c(0));
        v->obj[1] = float(c(1));
        v->obj[2] = N >= 3 ? float(c(2)) : 0.0f;
        v->obj[3] = N >= 4 ? float(c(3)) : 1.0f;
    } else if constexpr (K == Kind::Normal) {
        for (int i = 0; i < 3; ++i) v->normal[i] = __glUnitOf(ctx, c(i));
    } else if constexpr (K == Kind::Color) {
        for (int i = 0; i < N; ++i) v->frontColor[i] = __glUnitOf(ctx, c(i));
        if (N == 3) v->frontColor[3] = 1.0f;
        __glClampAndScaleColor(ctx, v->frontColor, v->frontColor);
    } else if constexpr (K == Kind::Index) {
        v->frontColor[0] = float(c(0));
    } else {
        float *t = v->texCoord[0];
        t[0] = float(c(0));
        t[1] = N >= 2 ? float(c(1)) : 0.0f;
        t[2] = N >= 3 ? float(c(2)) : 0.0f;
        t[3] = N >= 4 ? float(c(3)) : 1.0f;
    }
}
}  // namespace

#define GL_DEFINE_ARRAY_FETCH(A, N, L, T, E)                                         \
    void __glFetchArray##A##N##L(GlContext *ctx, const void *element, GlVertex *v) { \
        fetchElement<Kind::A, N, T>(ctx, element, v);                                \
    }
GL_ARRAY_FETCH_LIST(GL_DEFINE_ARRAY_FETCH)
#undef GL_DEFINE_ARRAY_FETCH

void __glFetchArrayEdgeFlag(GlContext *, const void *element, GlVertex *v) {
    v->edgeFlag = *static_cast<const GLboolean *>(element);
}

// ---- current attributes ------------------------------------------------------------------------
void __glArrayCurrentNormal(GlContext *ctx, const void *, GlVertex *v) {
    v->normal[0] = ctx->current.normal[0];
    v->normal[1] = ctx->current.normal[1];
    v->normal[2] = ctx->current.normal[2];
}

void __glArrayCurrentColor(GlContext *ctx, const void *, GlVertex *v) {
    std::memcpy(v->frontColor, ctx->current.vertex.scaledColor, sizeof(v->frontColor));
}

void __glArrayCurrentIndex(GlContext *ctx, const void *, GlVertex *v) { v->frontColor[0] = ctx->current.index; }

void __glArrayCurrentTexCoord(GlContext *ctx, const void *, GlVertex *v) {
    std::memcpy(v->texCoord[0], ctx->current.texCoord, sizeof(v->texCoord[0]));
}

void __glArrayCurrentEdgeFlag(GlContext *ctx, const void *, GlVertex *v) { v->edgeFlag = ctx->current.edgeFlag; }
