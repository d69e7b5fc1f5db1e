// The vertex cache: immediate mode in batches. glVertex only fills the next untransformed record
// of the array cache's block and copies the current attributes; when 36 records are written, or
// at glEnd, the batch is transformed at once and drawn through the array renderers by the
// mode's batch flush proc. Five entries of the executed table are replaced while it is on.
#include <cstdlib>
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/vertex_cache.h"
#include "icd/vertex/vertex_ring.h"
#include "icd/vertex/array_procs.h"

namespace {
constexpr int kSlotBegin = glslot::glBegin, kSlotEnd = glslot::glEnd;
constexpr int kSlotVertex2fv = glslot::glVertex2fv, kSlotVertex3fv = glslot::glVertex3fv, kSlotVertex4fv = glslot::glVertex4fv;
// The line-reset flag of a strip, loop or polygon restarts the stipple at the primitive's first
// batch only: set in batchFlags once a batch of the primitive has been flushed.
constexpr uint32_t kVcacheContinued = 0x4;

inline GlVertexCache &cacheOf(GlContext *ctx) { return ctx->vertexCache; }

}  // namespace

// ---- attribute copies ----------------------------------------------------------------------------
#define GL_VCACHE_BITS_Normal kGlCopyNormal
#define GL_VCACHE_BITS_Color kGlCopyColor
#define GL_VCACHE_BITS_Index kGlCopyIndex
#define GL_VCACHE_BITS_NormalColor (kGlCopyNormal | kGlCopyColor)
#define GL_VCACHE_BITS_NormalIndex (kGlCopyNormal | kGlCopyIndex)
#define GL_VCACHE_BITS_TexCoord kGlCopyTex
#define GL_VCACHE_BITS_NormalTexCoord (kGlCopyNormal | kGlCopyTex)
#define GL_VCACHE_BITS_ColorTexCoord (kGlCopyColor | kGlCopyTex)
#define GL_VCACHE_BITS_IndexTexCoord (kGlCopyIndex | kGlCopyTex)
#define GL_VCACHE_BITS_NormalColorTexCoord (kGlCopyNormal | kGlCopyColor | kGlCopyTex)
#define GL_VCACHE_BITS_NormalIndexTexCoord (kGlCopyNormal | kGlCopyIndex | kGlCopyTex)
#define GL_DEFINE_VCACHE_COPY(what)                          \
    void __glVcacheCopy##what(GlContext *ctx, GlVertex *v) { \
        __glCopyCurrentAttributes<GL_VCACHE_BITS_##what>(ctx, v); \
    }
GL_VCACHE_COPY_PROCS(GL_DEFINE_VCACHE_COPY)
#undef GL_DEFINE_VCACHE_COPY

namespace {
// By index: 1 normal, 2 colour or index, 4 texture coordinates of set 0. Entry 0 is never chosen.
const GlVertexProc kRgbaCopies[8] = {
    nullptr, __glVcacheCopyNormal, __glVcacheCopyColor, __glVcacheCopyNormalColor,
    __glVcacheCopyTexCoord, __glVcacheCopyNormalTexCoord, __glVcacheCopyColorTexCoord,
    __glVcacheCopyNormalColorTexCoord,
};
const GlVertexProc kIndexCopies[8] = {
    nullptr, __glVcacheCopyNormal, __glVcacheCopyIndex, __glVcacheCopyNormalIndex,
    __glVcacheCopyTexCoord, __glVcacheCopyNormalTexCoord, __glVcacheCopyIndexTexCoord,
    __glVcacheCopyNormalIndexTexCoord,
};

void setEntry(GlProcTable *table, int slot, GlEntry entry) {
    if (table->slot[slot] != entry) table->slot[slot] = entry;
}

// The lazy transform of one vertex size: the generated routine replaces the stub for the rest
// of the context's life (until the next install) and runs the batch that asked for it.
template <int Size>
void genXform(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    GlRangeTransformProc proc = __glOgGenVertexProc(ctx, Size, 0x8000);
    if (proc == nullptr) proc = __glCullTransformVertexRange;
    ctx->arrayState.rangeTransform = proc;
    cacheOf(ctx).ogVertexCacheProcs[Size - 2] = proc;
    proc(ctx, firstRecord, firstElement, count);
}

// The copy index for the state: feedback reports every attribute; the cull-vertex test and
// sphere mapping read the normal.
uint32_t copyIndexFor(GlContext *ctx) {
    if (ctx->renderMode == GL_FEEDBACK) return 7;
    const GlEnableState &en = ctx->state.enable;
    uint32_t index = (en.enables & kGlEnableLighting) ? 1 : 2;
    if (en.enables & kGlEnableCullVertex) index |= 1;
    const GlPickState &pick = ctx->state.pick;
    if (pick.currentTextureMask != 0) {
        index |= 4;
        const uint32_t gen = en.texUnitEnables[0];
        const bool sphereS = (gen & kGlEnableTexGenS) && pick.texGenMode[0] == GL_SPHERE_MAP;
        const bool sphereT = (gen & (kGlEnableTexGenS << 1)) && pick.texGenMode[1] == GL_SPHERE_MAP;
        if (sphereS || sphereT) index |= 1;
    }
    return index;
}

// glVertex{2,3,4}fv: the next record, untransformed. A vertex outside glBegin/glEnd (step 0)
// draws nothing and is not written either: the block may hold a locked array range that the
// next array draw reads without transforming it again.
template <int N>
void cacheVertex(const GLfloat *in) {
    GlContext *ctx = __glGetCurrentContext();
    GlVertexCache &vc = cacheOf(ctx);
    if (vc.count >= kGlArrayBatchSize) __glFlushVertexCache(ctx, 2);
    if (vc.step == 0 || vc.records == nullptr) return;  // outside a primitive, or no block
    GlVertex *r = vc.records + vc.count;
    vc.count += vc.step;
    vc.seenSizes |= 1u << (N - 2);
    r->flags = uint32_t(N - 1) << kGlVertexSizeShift;
    r->obj[0] = in[0];
    r->obj[1] = in[1];
    r->obj[2] = N >= 3 ? in[2] : 0.0f;
    r->obj[3] = N >= 4 ? in[3] : 1.0f;
    r->edgeFlag = ctx->current.edgeFlag;
    r->color = r->frontColor;
    vc.vcacheCopyAttributes(ctx, r);
}

// The array-state fields a flush overrides, restored afterwards.
struct SavedArrayProcs {
    GlXformProc transformPoint;
    GlClipCheckProc clipCheck;
    GlCompleteVertexProc completeVertex;
    uint32_t arrayFlags;
    GlRangeTransformProc rangeTransform;
    GlRefetchProc refetchVertex;
    GlVertex *cacheBase;

    explicit SavedArrayProcs(const GlArrayState &as)
        : transformPoint(as.rangeTransformPoint), clipCheck(as.rangeClipCheck),
          completeVertex(as.rangeCompleteVertex), arrayFlags(as.arrayFlags), rangeTransform(as.rangeTransform),
          refetchVertex(as.refetchVertex), cacheBase(as.cacheBase) {}
    void restore(GlArrayState &as) const {
        as.rangeTransformPoint = transformPoint;
        as.rangeClipCheck = clipCheck;
        as.rangeCompleteVertex = completeVertex;
        as.arrayFlags = arrayFlags;
        as.rangeTransform = rangeTransform;
        as.refetchVertex = refetchVertex;
        as.cacheBase = cacheBase;
    }
};

inline bool keepsLineReset(int32_t mode) {
    return mode == GL_LINE_STRIP || mode == GL_LINE_LOOP || mode == GL_POLYGON;
}
}  // namespace

void __glVcacheGenXform2(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    genXform<2>(ctx, firstRecord, firstElement, count);
}
void __glVcacheGenXform3(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    genXform<3>(ctx, firstRecord, firstElement, count);
}
void __glVcacheGenXform4(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    genXform<4>(ctx, firstRecord, firstElement, count);
}

// ---- lifecycle ------------------------------------------------------------------------------------
void __glInitVertexCache(GlContext *ctx) {
    GlVertexCache &vc = cacheOf(ctx);
    vc.records = ctx->arrayState.cacheBlock;
    vc.count = vc.step = vc.completed = 0;
    vc.batchFlags = vc.seenSizes = 0;
    vc.mode = 0;
    vc.vcacheOn = 1;
    if (const char *on = std::getenv("__GL_VCACHE")) vc.vcacheOn = uint8_t(std::atoi(on));
    if (const char *off = std::getenv("__GL_DISABLE_OG_VCACHE"))
        __glArraySwitches.disableOgVcache = uint8_t(std::atoi(off));
    vc.vcacheCopyAttributes = ctx->visual.rgbaMode ? __glVcacheCopyColor : __glVcacheCopyIndex;
    for (GlRangeTransformProc &proc : vc.ogVertexCacheProcs) proc = __glCullTransformVertexRange;
}

// The block belongs to the array cache, which frees it.
void __glDestroyVertexCache(GlContext *) {}

void __glInstallVertexCache(GlContext *ctx) {
    GlProcTable *table = ctx->execTable;
    setEntry(table, kSlotBegin, reinterpret_cast<GlEntry>(&icd::__glVcacheBegin));
    setEntry(table, kSlotEnd, reinterpret_cast<GlEntry>(&icd::__glVcacheEnd));
    setEntry(table, kSlotVertex2fv, reinterpret_cast<GlEntry>(&icd::__glVcacheVertex2fv));
    setEntry(table, kSlotVertex3fv, reinterpret_cast<GlEntry>(&icd::__glVcacheVertex3fv));
    setEntry(table, kSlotVertex4fv, reinterpret_cast<GlEntry>(&icd::__glVcacheVertex4fv));
    ctx->slots.completePending = __glVcacheCompletePending;

    GlVertexCache &vc = cacheOf(ctx);
    if (ctx->renderMode == GL_RENDER && __glArraySwitches.disableOgVcache == 0) {
        vc.ogVertexCacheProcs[0] = __glVcacheGenXform2;
        vc.ogVertexCacheProcs[1] = __glVcacheGenXform3;
        vc.ogVertexCacheProcs[2] = __glVcacheGenXform4;
    } else {
        for (GlRangeTransformProc &proc : vc.ogVertexCacheProcs) proc = __glCullTransformVertexRange;
    }
    vc.vcacheCopyAttributes = (ctx->visual.rgbaMode ? kRgbaCopies : kIndexCopies)[copyIndexFor(ctx)];
}

// ---- flush ------------------------------------------------------------------------------------------
void __glFlushVertexCache(GlContext *ctx, int32_t kind) {
    GlVertexCache &vc = cacheOf(ctx);
    if (vc.count == 0) return;
    GlArrayState &as = ctx->arrayState;
    if (ctx->state.transform.modelView == nullptr) return __glDropVertexCacheBatch(ctx, kind);  // no matrices
    const SavedArrayProcs saved(as);

    // The largest vertex size written since glBegin decides for the whole batch.
    const int size = (vc.seenSizes & 0x4) ? 4 : (vc.seenSizes & 0x2) ? 3 : 2;
    const GlMatrix *mvp = &ctx->state.transform.modelView->mvp;
    const GlPrimitiveProcs &p = ctx->slots.primitive;
    as.rangeTransformPoint = size == 4 ? mvp->xform4 : size == 3 ? mvp->xform3 : mvp->xform2;
    as.rangeClipCheck = p.clipCheck[size - 2];
    as.rangeCompleteVertex = p.completeVertex[size - 1];
    as.arrayFlags &= ~uint32_t(kGlArrayCacheHoldsLock);
    // Records completed ahead of the batch keep their done bits only through the generic transform.
    as.rangeTransform = (vc.batchFlags & kGlVcacheCompleted) ? __glCullTransformVertexRange
                                                             : vc.ogVertexCacheProcs[size - 2];
    as.refetchVertex = __glTransformVertexRecord;
    as.cacheBase = vc.records;

    GlBufferArea &buffers = ctx->buffers;
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && !buffers.drawableLock(ctx)) {
        // Nothing is drawn; the batch is dropped rather than left full, which would let the
        // next vertices write past the end of the block.
        saved.restore(as);
        __glDropVertexCacheBatch(ctx, kind);
        if (kind == 2) vc.batchFlags |= kVcacheContinued;
        return;
    }
    ++buffers.lockCount;
    const bool continued = (vc.batchFlags & kVcacheContinued) != 0;
    const uint8_t lineReset = ctx->arrays.vertexBuffer.lineReset;
    const int32_t mode = vc.mode;
    if (uint32_t(mode) <= GL_POLYGON) __glBatchFlushProcs[mode](ctx, kind);
    else vc.count = vc.completed = 0;
    // The renderers restart the stipple at every draw; a primitive split over batches is one.
    if (continued && keepsLineReset(mode)) ctx->arrays.vertexBuffer.lineReset = lineReset;
    if (kind == 2) vc.batchFlags |= kVcacheContinued;
    if (--buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
    saved.restore(as);
}

// Completes what the records written so far still need before a change inside the primitive
// (a material) takes effect; the batch is then transformed by the generic range transform,
// which keeps the done bits.
void __glVcacheCompletePending(GlContext *ctx) {
    GlVertexCache &vc = cacheOf(ctx);
    const uint32_t need = ctx->state.need.needMaskPending;
    const GlPrimitiveProcs &p = ctx->slots.primitive;
    if (vc.records != nullptr) {
        for (GlVertex *r = vc.records + vc.completed; r < vc.records + vc.count; ++r) {
            if ((r->flags & need) != need)
                p.completeVertex[(r->flags & kGlVertexSizeMask) >> kGlVertexSizeShift](ctx, r, need);
        }
    }
    vc.batchFlags |= kGlVcacheCompleted;
    vc.completed = vc.count;
}

// ---- range transforms ------------------------------------------------------------------------------
void __glCullTransformVertexRange(GlContext *ctx, int32_t firstRecord, int32_t, int32_t count) {
    GlTransform *top = ctx->state.transform.modelView;
    __glRefreshModelViewInverse(ctx, top);
    GlArrayState &as = ctx->arrayState;
    const bool cull = (as.arrayFlags & kGlArrayCullVertex) != 0;
    const GlMatrix *mvp = &top->mvp;
    GlVertex *r = as.cacheBase + firstRecord;
    for (int32_t i = 0; i < count; ++i, ++r) {
        if (cull) r->flags |= __glArrayCullBits(ctx, r->obj, r->normal);
        r->flags |= as.sizeCode;
        if (r->flags & kGlVertexClipMask) continue;
        as.rangeTransformPoint(r->clip, r->obj, mvp);
        r->flags |= as.rangeClipCheck(ctx, r);
    }
}

void __glTransformVertexRecord(GlContext *ctx, GlVertex *r, int32_t) {
    GlArrayState &as = ctx->arrayState;
    as.rangeTransformPoint(r->clip, r->obj, &ctx->state.transform.modelView->mvp);
    r->flags |= as.rangeClipCheck(ctx, r);
}

// ---- entries ----------------------------------------------------------------------------------------
namespace icd {
void APIENTRY __glVcacheBegin(GLenum mode) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlNeedValidate) {
        // Validation may install other entries: run whatever the live table now holds.
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        return __glDispatchBegin(mode);
    }
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (mode > GL_POLYGON) return __glSetError(GL_INVALID_ENUM);
    GlVertexCache &vc = cacheOf(ctx);
    // The batches are drawn by the array renderers: they need the array procs of the state (the
    // batch transform, the cull-vertex test) as an array draw does.
    GlArrayState &as = ctx->arrayState;
    if (as.arraysDirty) {
        __glValidateArrays(ctx);
        as.arraysDirty = 0;
    }
    // The records live in the array cache's block, which array draws may have moved; a block too
    // small for a batch and its carried records takes no vertices.
    const bool roomy = as.cacheBytes >= int32_t(kGlArrayCacheInitialRecords * sizeof(GlVertex));
    vc.records = roomy ? as.cacheBlock : nullptr;
    vc.mode = int32_t(mode);
    ctx->beginMode = kGlInsideBegin;
    vc.step = 1;
    // The batch overwrites the block a locked range was transformed into.
    as.arrayFlags |= kGlArrayRangeStale;
    vc.seenSizes = 0;
    as.carriedReady = 0;
    vc.count = vc.completed = 0;
    vc.batchFlags &= ~(kGlVcacheLineLoopSplit | kGlVcachePolygonSplit | kVcacheContinued);
}

void APIENTRY __glVcacheEnd() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode != kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    __glFlushVertexCache(ctx, 1);
    GlVertexCache &vc = cacheOf(ctx);
    vc.step = 0;
    vc.count = 0;
    ctx->arrayState.carriedReady = 0;
    // As glEnd: a state change inside the primitive is validated before the next command.
    ctx->beginMode = ctx->dirtyMask != 0 ? kGlNeedValidate : kGlOutsideBegin;
}

void APIENTRY __glVcacheVertex2fv(const GLfloat *v) { cacheVertex<2>(v); }
void APIENTRY __glVcacheVertex3fv(const GLfloat *v) { cacheVertex<3>(v); }
void APIENTRY __glVcacheVertex4fv(const GLfloat *v) { cacheVertex<4>(v); }
}  // namespace icd
