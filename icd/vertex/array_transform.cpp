// Range transforms: fill count consecutive cache records from count consecutive array elements
// and give them clip coordinates, clip codes and (with GL_CULL_VERTEX_EXT) their culled bit.
//
// The generic members run two passes, the fetch procs in one tight loop and the matrix in
// another, and fetch only what the state needs; records that face the culled side get no
// further attributes and no transform. The fast members read interleaved float arrays that
// share the vertex stride without calling a fetch proc at all.
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"
#include "icd/vertex/convert.h"

void __glArraySetRangeProcs(GlContext *ctx) {
    GlArrayState &a = ctx->arrayState;
    int32_t size = a.arrays[kGlArrayVertex].size;
    if (size < 2 || size > 4) size = 4;
    a.sizeCode = uint32_t(size - 1) << kGlVertexSizeShift;
    const GlPrimitiveProcs &p = ctx->slots.primitive;
    a.rangeClipCheck = p.clipCheck[size - 2];
    a.rangeCompleteVertex = p.completeVertex[size - 1];
    const GlTransform *top = ctx->state.transform.modelView;
    if (top != nullptr) a.rangeTransformPoint = size == 2 ? top->mvp.xform2 : size == 3 ? top->mvp.xform3 : top->mvp.xform4;
}

uint32_t __glArrayCullBits(GlContext *ctx, const float obj[4], const float normal[3]) {
    const GlArrayState &a = ctx->arrayState;
    if (!(a.arrayFlags & kGlArrayCullVertex)) return 0;
    const float *e = ctx->state.transform.cullObjectEyePosition;
    float d;
    if (a.arrayFlags & kGlArrayCullPoint)
        d = (e[0] - obj[0]) * normal[0] + (e[1] - obj[1]) * normal[1] + (e[2] - obj[2]) * normal[2];
    else
        d = e[0] * normal[0] + e[1] * normal[1] + e[2] * normal[2];
    // Either zero counts as facing away.
    return a.cullWord[d > 0.0f ? 0 : 1];
}

namespace {
// Record n counted from cacheBase (which lies before the block while a range is locked).
inline GlVertex *recordAt(const GlArrayState &a, int32_t n) {
    return reinterpret_cast<GlVertex *>(uintptr_t(a.cacheBase) + uint32_t(n) * uint32_t(sizeof(GlVertex)));
}

// Run before every range transform: the modelview inverse the cull position needs, and the
// range procs for the matrices in force. False when the context has no matrix stacks.
bool beginRange(GlContext *ctx) {
    GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return false;
    __glRefreshModelViewInverse(ctx, top);
    __glArraySetRangeProcs(ctx);
    return true;
}

// Pass 2: clip coordinates and codes of every record that is not culled.
void transformRecords(GlContext *ctx, GlVertex *r, int32_t count, uint32_t extra) {
    const GlArrayState &a = ctx->arrayState;
    const GlMatrix *mvp = &ctx->state.transform.modelView->mvp;
    const GlXformProc xform = a.rangeTransformPoint;
    const GlClipCheckProc clipCheck = a.rangeClipCheck;
    for (int32_t i = 0; i < count; ++i) {
        GlVertex *v = r + i;
        if (v->flags & kGlVertexClipMask) continue;
        xform(v->clip, v->obj, mvp);
        v->flags |= clipCheck(ctx, v) | extra;
    }
}

// What a generic member fetches beyond the position.
enum : uint32_t { kNormal = 0x1, kColor = 0x2, kIndex = 0x4, kTex = 0x8, kEdge = 0x10 };

template <uint32_t What>
void transformGeneric(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    if (count <= 0 || !beginRange(ctx)) return;
    GlArrayState &a = ctx->arrayState;
    const GlClientArray *arr = a.arrays;
    const GlArrayFetchProc *f = a.attrFetch;
    const uint32_t sizeCode = a.sizeCode;
    // Members without the normal make no cull test: the need index always holds the normal
    // while cull vertex is on.
    const bool cull = (What & kNormal) && (a.arrayFlags & kGlArrayCullVertex);
    GlVertex *r = recordAt(a, firstRecord);
    for (int32_t i = 0; i < count; ++i) {
        GlVertex *v = r + i;
        const int32_t e = firstElement + i;
        f[kGlArrayVertex](ctx, __glClientElement(arr[kGlArrayVertex], e), v);
        uint32_t flags = sizeCode;
        if (What & kNormal) {
            f[kGlArrayNormal](ctx, __glClientElement(arr[kGlArrayNormal], e), v);
            if (cull) flags |= __glArrayCullBits(ctx, v->obj, v->normal);
        }
        v->flags = flags;
        if (flags & kGlVertexCulled) continue;
        if (What & kEdge) f[kGlArrayEdgeFlag](ctx, __glClientElement(arr[kGlArrayEdgeFlag], e), v);
        if (What & kTex) f[kGlArrayTexCoord](ctx, __glClientElement(arr[kGlArrayTexCoord], e), v);
        if (What & kIndex) f[kGlArrayIndex](ctx, __glClientElement(arr[kGlArrayIndex], e), v);
        if (What & kColor) f[kGlArrayColor](ctx, __glClientElement(arr[kGlArrayColor], e), v);
    }
    transformRecords(ctx, r, count, 0);
}

// Three floats of position (w 1), three of normal, two of texture coordinates (r 0, q 1), all
// at one offset from their arrays' pointers.
template <bool Normal, bool Tex>
void transformFast(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    if (count <= 0 || !beginRange(ctx)) return;
    GlArrayState &a = ctx->arrayState;
    const uintptr_t pv = uintptr_t(a.arrays[kGlArrayVertex].pointer);
    const uintptr_t pn = uintptr_t(a.arrays[kGlArrayNormal].pointer);
    const uintptr_t pt = uintptr_t(a.arrays[kGlArrayTexCoord].pointer);
    const uint32_t stride = uint32_t(a.arrays[kGlArrayVertex].stride);
    const uint32_t sizeCode = a.sizeCode;
    const bool cull = Normal && (a.arrayFlags & kGlArrayCullVertex);
    const GlMatrix *mvp = &ctx->state.transform.modelView->mvp;
    const GlXformProc xform = a.rangeTransformPoint;
    const GlClipCheckProc clipCheck = a.rangeClipCheck;
    GlVertex *r = recordAt(a, firstRecord);
    for (int32_t i = 0; i < count; ++i) {
        GlVertex *v = r + i;
        const uint32_t offset = uint32_t(firstElement + i) * stride;
        const void *pos = reinterpret_cast<const void *>(pv + offset);
        const void *nrm = reinterpret_cast<const void *>(pn + offset);
        const float obj[4] = {__glClientValue<float>(pos, 0), __glClientValue<float>(pos, 1),
                              __glClientValue<float>(pos, 2), 1.0f};
        float normal[3] = {};
        if (Normal)
            for (int k = 0; k < 3; ++k) normal[k] = __glClientValue<float>(nrm, k);
        uint32_t flags = sizeCode;
        if (cull) flags |= __glArrayCullBits(ctx, obj, normal);
        if (!(flags & kGlVertexCulled)) {
            std::memcpy(v->obj, obj, sizeof obj);
            if (Normal) std::memcpy(v->normal, normal, sizeof normal);
            if (Tex) {
                const void *t = reinterpret_cast<const void *>(pt + offset);
                float *d = v->texCoord[0];
                d[0] = __glClientValue<float>(t, 0), d[1] = __glClientValue<float>(t, 1), d[2] = 0.0f, d[3] = 1.0f;
            }
            v->flags = flags;
            xform(v->clip, v->obj, mvp);
            flags |= clipCheck(ctx, v);
        }
        v->flags = flags;
    }
}

// The colour or the index, by the visual: both land in frontColor, so an all-attribute fetch
// takes only the one the visual draws with.
uint32_t colorOrIndex(const GlContext *ctx) { return ctx->visual.rgbaMode ? kColor : kIndex; }
}  // namespace

bool __glArrayBeginRange(GlContext *ctx) { return beginRange(ctx); }

#define GL_GENERIC_MEMBER(name, what)                                                                 \
    void __glTransformArray##name(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) { \
        transformGeneric<what>(ctx, firstRecord, firstElement, count);                                \
    }
GL_GENERIC_MEMBER(Pos, 0)
GL_GENERIC_MEMBER(PosNormal, kNormal)
GL_GENERIC_MEMBER(PosColor, kColor)
GL_GENERIC_MEMBER(PosIndex, kIndex)
GL_GENERIC_MEMBER(PosNormalColor, kNormal | kColor)
GL_GENERIC_MEMBER(PosNormalIndex, kNormal | kIndex)
GL_GENERIC_MEMBER(PosTex, kTex)
GL_GENERIC_MEMBER(PosNormalTex, kNormal | kTex)
GL_GENERIC_MEMBER(PosColorTex, kColor | kTex)
GL_GENERIC_MEMBER(PosIndexTex, kIndex | kTex)
GL_GENERIC_MEMBER(PosNormalColorTex, kNormal | kColor | kTex)
GL_GENERIC_MEMBER(PosNormalIndexTex, kNormal | kIndex | kTex)
#undef GL_GENERIC_MEMBER

void __glTransformArrayPosNormalFast(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    transformFast<true, false>(ctx, firstRecord, firstElement, count);
}
void __glTransformArrayPosTexFast(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    transformFast<false, true>(ctx, firstRecord, firstElement, count);
}
void __glTransformArrayPosNormalTexFast(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    transformFast<true, true>(ctx, firstRecord, firstElement, count);
}

// Every attribute, for feedback and the polygon modes other than GL_FILL.
void __glTransformArrayGeneric(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    if (colorOrIndex(ctx) == kColor)
        transformGeneric<kNormal | kEdge | kTex | kColor>(ctx, firstRecord, firstElement, count);
    else
        transformGeneric<kNormal | kEdge | kTex | kIndex>(ctx, firstRecord, firstElement, count);
}

const GlRangeTransformProc __glRangeTransformTable[2][2][8] = {
    {
        {__glTransformArrayPos, __glTransformArrayPosNormal, __glTransformArrayPosColor,
         __glTransformArrayPosNormalColor, __glTransformArrayPosTex, __glTransformArrayPosNormalTex,
         __glTransformArrayPosColorTex, __glTransformArrayPosNormalColorTex},
        {__glTransformArrayPos, __glTransformArrayPosNormal, __glTransformArrayPosIndex,
         __glTransformArrayPosNormalIndex, __glTransformArrayPosTex, __glTransformArrayPosNormalTex,
         __glTransformArrayPosIndexTex, __glTransformArrayPosNormalIndexTex},
    },
    {
        {__glTransformArrayPos, __glTransformArrayPosNormalFast, __glTransformArrayPosColor,
         __glTransformArrayPosNormalColor, __glTransformArrayPosTexFast, __glTransformArrayPosNormalTexFast,
         __glTransformArrayPosColorTex, __glTransformArrayPosNormalColorTex},
        {__glTransformArrayPos, __glTransformArrayPosNormalFast, __glTransformArrayPosIndex,
         __glTransformArrayPosNormalIndex, __glTransformArrayPosTexFast, __glTransformArrayPosNormalTexFast,
         __glTransformArrayPosIndexTex, __glTransformArrayPosNormalIndexTex},
    },
};

void __glTransformArrayBatch(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count,
                             const uint32_t *indices) {
    const GlRangeTransformProc transform = ctx->arrayState.rangeTransform;
    if (indices == nullptr) {
        transform(ctx, firstRecord, firstElement, count);
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        ctx->arrayState.rangeTransform(ctx, firstRecord + i, int32_t(indices[firstElement + i]), 1);
}

namespace {
// Every attribute of count elements into the records from r, then all of them transformed.
void fullRecords(GlContext *ctx, GlVertex *r, int32_t firstElement, int32_t count) {
    if (count <= 0 || !beginRange(ctx)) return;
    GlArrayState &a = ctx->arrayState;
    const GlClientArray *arr = a.arrays;
    const GlArrayFetchProc *f = a.attrFetch;
    const int32_t color = colorOrIndex(ctx) == kColor ? kGlArrayColor : kGlArrayIndex;
    for (int32_t i = 0; i < count; ++i) {
        GlVertex *v = r + i;
        const int32_t e = firstElement + i;
        for (int32_t k : {int32_t(kGlArrayVertex), int32_t(kGlArrayNormal), int32_t(kGlArrayEdgeFlag),
                          int32_t(kGlArrayTexCoord), color})
            f[k](ctx, __glClientElement(arr[k], e), v);
        v->flags = a.sizeCode;
    }
    // The record now holds every attribute: the window-done bit keeps the clippers from
    // fetching it again.
    transformRecords(ctx, r, count, kGlVertexWindowDone);
}
}  // namespace

void __glTransformArrayFull(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    fullRecords(ctx, recordAt(ctx->arrayState, firstRecord), firstElement, count);
}

void __glRetransformArrayVertex(GlContext *ctx, GlVertex *record, int32_t element) {
    const uint32_t culled = record->flags & kGlVertexCulled;
    fullRecords(ctx, record, element, 1);
    record->flags |= culled;
}

void __glTransformArrayRangeLazy(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    GlArrayState &a = ctx->arrayState;
    GlRangeTransformProc proc =
        __glOgGenVertexProc(ctx, a.arrays[kGlArrayVertex].size, uint32_t(a.arrayNeedIndex) & 6u);
    if (proc == nullptr) proc = __glChooseRangeTransform(ctx);
    a.ogVertexProc = proc;
    a.rangeTransform = proc;
    proc(ctx, firstRecord, firstElement, count);
}

void __glRefreshModelViewInverse(GlContext *ctx, GlTransform *top) {
    if (!top->inverseStale) return;
    GlProc update = ctx->slots.updateModelViewInverse;
    if (update != nullptr) __glSlotAs<GlTransformEntrySlotProc>(update)(ctx, top);
    else __glUpdateModelViewInverse(ctx, top);
}
