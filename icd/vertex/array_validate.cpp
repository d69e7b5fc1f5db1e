// Client-array state: reset and release, the setter and interleaved tables, the array cache,
// and the validation that chooses between the per-element road and the cache road and picks
// the fetch and range-transform procs of the cache road.
#include <cstdlib>
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"

GlArraySwitches __glArraySwitches;

// ---- tables --------------------------------------------------------------------------------------
// The immediate entry of a row: the dispatch entry of its vector command (glIndex has no count).
#define GL_DISPATCH_OF_Vertex(N, L) __glDispatchVertex##N##L##v
#define GL_DISPATCH_OF_Normal(N, L) __glDispatchNormal##N##L##v
#define GL_DISPATCH_OF_Color(N, L) __glDispatchColor##N##L##v
#define GL_DISPATCH_OF_Index(N, L) __glDispatchIndex##L##v
#define GL_DISPATCH_OF_TexCoord(N, L) __glDispatchTexCoord##N##L##v

namespace {
GlArraySetterTable makeSetters(int32_t array) {
    GlArraySetterTable t{};
#define GL_SETTER_ROW(A, N, L, T, E)                                                                 \
    if (array == kGlArray##A) {                                                                      \
        const int i = __glArraySetterIndex(N, E);                                                    \
        t.immediateProc[i] = reinterpret_cast<GlArrayImmediateProc>(&GL_DISPATCH_OF_##A(N, L));      \
        t.fetchProc[i] = __glFetchArray##A##N##L;                                                    \
    }
    GL_ARRAY_FETCH_LIST(GL_SETTER_ROW)
#undef GL_SETTER_ROW
    return t;
}

const GlArraySetterTable vertexSetters = makeSetters(kGlArrayVertex);
const GlArraySetterTable normalSetters = makeSetters(kGlArrayNormal);
const GlArraySetterTable colorSetters = makeSetters(kGlArrayColor);
const GlArraySetterTable indexSetters = makeSetters(kGlArrayIndex);
const GlArraySetterTable texCoordSetters = makeSetters(kGlArrayTexCoord);
}  // namespace

const GlArraySetterTable *const __glArraySetters[kGlArrayEdgeFlag] = {
    &vertexSetters, &normalSetters, &colorSetters, &indexSetters, &texCoordSetters,
};

const GlInterleavedFormat __glInterleavedFormats[14] = {
    // tex, colour size, type, offset, normal offset, vertex size, offset, stride
    {0, 0, 0, 0, -1, 2, 0, 8},                    // GL_V2F
    {0, 0, 0, 0, -1, 3, 0, 12},                   // GL_V3F
    {0, 4, GL_UNSIGNED_BYTE, 0, -1, 2, 4, 12},    // GL_C4UB_V2F
    {0, 4, GL_UNSIGNED_BYTE, 0, -1, 3, 4, 16},    // GL_C4UB_V3F
    {0, 3, GL_FLOAT, 0, -1, 3, 12, 24},           // GL_C3F_V3F
    {0, 0, 0, 0, 0, 3, 12, 24},                   // GL_N3F_V3F
    {0, 4, GL_FLOAT, 0, 16, 3, 28, 40},           // GL_C4F_N3F_V3F
    {2, 0, 0, 0, -1, 3, 8, 20},                   // GL_T2F_V3F
    {4, 0, 0, 0, -1, 4, 16, 32},                  // GL_T4F_V4F
    {2, 4, GL_UNSIGNED_BYTE, 8, -1, 3, 12, 24},   // GL_T2F_C4UB_V3F
    {2, 3, GL_FLOAT, 8, -1, 3, 20, 32},           // GL_T2F_C3F_V3F
    {2, 0, 0, 0, 8, 3, 20, 32},                   // GL_T2F_N3F_V3F
    {2, 4, GL_FLOAT, 8, 24, 3, 36, 48},           // GL_T2F_C4F_N3F_V3F
    {4, 4, GL_FLOAT, 16, 32, 4, 44, 60},          // GL_T4F_C4F_N3F_V4F
};

// ---- the array cache -------------------------------------------------------------------------------
// The block always holds at least the records of one batch and its carried ones, so the batch
// road never depends on a lock having been cached. Sizes are worked out in 64 bits: a lock
// count that no block can hold is refused, never wrapped into a small block.
bool __glEnsureArrayCache(GlContext *ctx, int32_t first, int32_t count) {
    GlArrayState &a = ctx->arrayState;
    int64_t records = count > kGlArrayCacheInitialRecords ? count : kGlArrayCacheInitialRecords;
    const int64_t needed = records * int64_t(sizeof(GlVertex));
    if (a.cacheBlock == nullptr || int64_t(a.cacheBytes) < needed) {
        const int64_t granule = a.cacheGranule > 0 ? a.cacheGranule : kGlArrayCacheGranule;
        const int64_t size = granule * ((needed + granule - 1) / granule) + 32;
        if (size > INT32_MAX) {
            __glSetError(GL_OUT_OF_MEMORY);
            return false;
        }
        // A failed reallocation leaves the old block, and the state that describes it, as it was.
        void *block = a.cacheBlock != nullptr && a.cacheBytes != 0
                          ? ctx->hostProcs.realloc(ctx, a.cacheBlock, size_t(size))
                          : ctx->hostProcs.alloc(ctx, size_t(size));
        if (block == nullptr) {
            __glSetError(GL_OUT_OF_MEMORY);
            return false;
        }
        a.cacheBlock = static_cast<GlVertex *>(block);
        a.cacheBytes = int32_t(size);
        const int32_t whole = int32_t(size / int64_t(sizeof(GlVertex)));
        for (int32_t i = 0; i < whole; ++i) a.cacheBlock[i].color = a.cacheBlock[i].frontColor;
        ctx->vertexCache.records = a.cacheBlock;
    }
    // Element first maps to the block's first record; the base itself may lie outside the block.
    a.cacheBase = reinterpret_cast<GlVertex *>(uintptr_t(a.cacheBlock) - uint32_t(first) * uint32_t(sizeof(GlVertex)));
    return true;
}

// ---- reset and release ---------------------------------------------------------------------------
namespace {
// The immediate entry of an array before its first pointer call: takes the element address and
// does nothing.
void APIENTRY noElement(const void *) {}

void readSwitch(const char *name, uint8_t &value) {
    if (const char *s = std::getenv(name)) value = uint8_t(std::atoi(s));
}

// formatWord's type code of a type: GL_BYTE .. GL_FLOAT 1 .. 7, GL_DOUBLE 11.
uint32_t typeCode(GLenum type) { return type == GL_DOUBLE ? 11u : uint32_t(type - 0x13FF); }
}  // namespace

// Where each array keeps its type code and size in formatWord (size shift -1: no size field).
struct GlArrayFormatField {
    int32_t typeShift;
    int32_t sizeShift;
};
static const GlArrayFormatField kFormatFields[kGlArrayEdgeFlag] = {
    {0, 4}, {8, -1}, {12, 16}, {28, -1}, {20, 24},
};

uint32_t __glArrayFormatBits(int32_t array, int32_t size, GLenum type) {
    const GlArrayFormatField &f = kFormatFields[array];
    uint32_t bits = typeCode(type) << f.typeShift;
    if (f.sizeShift >= 0) bits |= uint32_t(size) << f.sizeShift;
    return bits;
}

void __glInitArrayState(GlContext *ctx) {
    readSwitch("__GL_DISABLE_OG_VARRAY", __glArraySwitches.disableOgVarray);
    readSwitch("__GL_DISABLE_OG_DRAWVERTEXES", __glArraySwitches.disableOgDrawVertexes);
    GlArrayState &a = ctx->arrayState;
    a.formatWord = 0;
    // Every array starts as four floats (the normal three, the index one), with the fetch proc of
    // that layout: an array enabled before its pointer call is never read through an empty proc.
    static const int32_t sizes[kGlArrayEdgeFlag] = {4, 3, 4, 1, 4};
    for (int32_t i = 0; i < kGlArrayCount; ++i) {
        GlClientArray &c = a.arrays[i];
        std::memset(&c, 0, sizeof(c));
        c.immediateProc = noElement;
        if (i == kGlArrayEdgeFlag) {
            c.fetchProc = __glFetchArrayEdgeFlag;
            continue;
        }
        c.size = sizes[i];
        c.type = GL_FLOAT;
        c.fetchProc = __glArraySetters[i]->fetchProc[__glArraySetterIndex(sizes[i], GL_FLOAT)];
        a.formatWord |= __glArrayFormatBits(i, sizes[i], GL_FLOAT);
    }
    a.renderers[GL_POINTS] = __glDrawArrayPoints;
    a.renderers[GL_LINES] = __glDrawArrayLines;
    a.renderers[GL_LINE_LOOP] = __glDrawArrayLineLoop;
    a.renderers[GL_LINE_STRIP] = __glDrawArrayLineStrip;
    a.renderers[GL_TRIANGLES] = __glDrawArrayTriangles;
    a.renderers[GL_TRIANGLE_STRIP] =
        __glArraySwitches.disableOgDrawVertexes ? __glDrawArrayTriangleStrip : __glDrawArrayTriangleStripLazy;
    a.renderers[GL_TRIANGLE_FAN] = __glDrawArrayTriangleFan;
    a.renderers[GL_QUADS] = __glDrawArrayQuads;
    a.renderers[GL_QUAD_STRIP] = __glDrawArrayQuadStrip;
    a.renderers[GL_POLYGON] = __glDrawArrayPolygon;
    a.drawLoops = __glDrawLoops;
    a.batchSize = kGlArrayBatchSize;
    a.cacheGranule = kGlArrayCacheGranule;
    a.arrayFlags = kGlArrayRangeStale;
    a.lockFirst = a.lockCount = 0;
    a.arrayNeedIndex = -1;
    a.arrayNeedMask = 0xFFFFFFFFu;
    a.arraysDirty = 1;
    a.cacheFailed = __glEnsureArrayCache(ctx, 0, kGlArrayCacheInitialRecords) ? 0 : 1;
}

void __glFreeArrayState(GlContext *ctx) {
    GlArrayState &a = ctx->arrayState;
    if (a.cacheBlock != nullptr) ctx->hostProcs.free(ctx, a.cacheBlock);
    // The vertex cache shares the block: it must not keep pointing at it.
    if (ctx->vertexCache.records == a.cacheBlock) ctx->vertexCache.records = nullptr;
    a.cacheBlock = nullptr;
    a.cacheBase = nullptr;
    a.cacheBytes = 0;
}

void __glMarkArraysDirty(GlContext *ctx) { ctx->arrayState.arraysDirty = 1; }

// ---- validation ------------------------------------------------------------------------------------
namespace {
void validationModes(const GlContext *ctx, GLenum modes[4]) {
    const GlModeState &m = ctx->state.mode;
    modes[0] = m.cullFace;
    modes[1] = m.polygonMode[0];
    modes[2] = m.polygonMode[1];
    modes[3] = ctx->renderMode;
}
}  // namespace

bool __glArrayModesChanged(const GlContext *ctx) {
    GLenum modes[4];
    validationModes(ctx, modes);
    return std::memcmp(modes, ctx->arrayState.validatedModes, sizeof(modes)) != 0 ||
           ctx->state.arrayEnable.enabledFormatMask != ctx->arrayState.validatedFormatMask;
}

void __glValidateArrays(GlContext *ctx) {
    GlArrayState &a = ctx->arrayState;
    validationModes(ctx, a.validatedModes);
    const uint32_t e = ctx->state.enable.enables;
    const bool lit = e & kGlEnableLighting;
    a.arrayFlags &= ~uint32_t(kGlArrayLitColorMaterial);
    if (lit && (e & kGlEnableColorMaterial)) a.arrayFlags |= kGlArrayLitColorMaterial;

    const bool cullVertex = e & kGlEnableCullVertex;
    if (cullVertex) {
        const GlCullVertexState &cv = ctx->state.cullVertex;
        const float w = cv.cullVertexObjectInForce ? cv.cullVertexObjectPosition[3] : cv.cullVertexEyePosition[3];
        uint32_t wBits;
        std::memcpy(&wBits, &w, sizeof(wBits));
        a.arrayFlags &= ~uint32_t(kGlArrayCullPoint);
        if (wBits & 0x7FFFFFFFu) a.arrayFlags |= kGlArrayCullPoint;
        switch (ctx->state.mode.cullFace) {
        case GL_FRONT: a.cullWord[0] = kGlVertexCulled, a.cullWord[1] = 0; break;
        case GL_BACK: a.cullWord[0] = 0, a.cullWord[1] = kGlVertexCulled; break;
        case GL_FRONT_AND_BACK: a.cullWord[0] = a.cullWord[1] = kGlVertexCulled; break;
        default: break;
        }
        a.arrayFlags |= kGlArrayCullVertex;
    } else {
        a.arrayFlags &= ~uint32_t(kGlArrayCullVertex | kGlArrayCullPoint);
    }

    const GLenum *polygonMode = ctx->state.mode.polygonMode;
    if (ctx->renderMode != GL_FEEDBACK && polygonMode[0] == GL_FILL && polygonMode[1] == GL_FILL) {
        uint32_t mask = kGlFormatVertex;
        int32_t index = 0;
        if (lit) {
            mask |= kGlFormatNormal, index |= 1;
        } else {
            mask |= kGlFormatColor | kGlFormatIndex, index |= 2;
        }
        if (cullVertex) mask |= kGlFormatNormal, index |= 1;
        const GlPickState &p = ctx->state.pick;
        if (p.currentTextureMask != 0) {
            mask |= kGlFormatTexCoord, index |= 4;
            const uint32_t unit0 = ctx->state.enable.texUnitEnables[0];
            for (int i = 0; i < 2; ++i)
                if ((unit0 & (kGlEnableTexGenS << i)) && p.texGenMode[i] == GL_SPHERE_MAP)
                    mask |= kGlFormatNormal, index |= 1;
        }
        a.arrayNeedMask = mask;
        a.arrayNeedIndex = index;
    } else {
        a.arrayNeedMask = 0xFFFFFFFFu;
        a.arrayNeedIndex = -1;
    }
    a.batchTransform = __glTransformArrayBatch;
    a.fullTransform = __glTransformArrayFull;
    a.refetchVertex = __glRetransformArrayVertex;
    __glPickArrayProcs(ctx);
}

namespace {
// The format bits of the arrays the cache road may read: enabled, and given a pointer. An array
// enabled without one is fed from the current attributes (the vertex array: the per-element
// road, whose immediate entry for it does nothing).
uint32_t readableFormatMask(const GlContext *ctx) {
    static const uint32_t bits[kGlArrayCount] = {kGlFormatVertex, kGlFormatNormal, kGlFormatColor,
                                                 kGlFormatIndex, kGlFormatTexCoord, kGlFormatEdgeFlag};
    uint32_t m = ctx->state.arrayEnable.enabledFormatMask;
    for (int32_t i = 0; i < kGlArrayCount; ++i)
        if (ctx->arrayState.arrays[i].pointer == nullptr) m &= ~bits[i];
    return m;
}

// The fetch proc of every attribute for the state, and the mask of needed arrays whose layout
// the fast transforms read directly (interleaved floats sharing the vertex stride). Installs the
// procs into attrFetch when asked.
uint32_t chooseFetchProcs(GlContext *ctx, bool install) {
    GlArrayState &a = ctx->arrayState;
    const GlClientArray *arr = a.arrays;
    const uint32_t m = a.arrayNeedMask & readableFormatMask(ctx);
    const int32_t vertexStride = arr[kGlArrayVertex].stride;
    auto sameStride = [&](int32_t i) { return arr[i].stride == vertexStride; };
    GlArrayFetchProc f[kGlArrayCount];
    uint32_t fast = 0;
    bool vertexReadable = true;
    if (m & kGlFormatVertex) {
        f[kGlArrayVertex] = arr[kGlArrayVertex].fetchProc;
        if (f[kGlArrayVertex] == __glFetchArrayVertex3f) fast = kGlFormatVertex;
    } else {
        f[kGlArrayVertex] = arr[kGlArrayVertex].fetchProc;
        vertexReadable = false;
    }
    if (m & kGlFormatNormal) {
        f[kGlArrayNormal] = arr[kGlArrayNormal].fetchProc;
        if (f[kGlArrayNormal] == __glFetchArrayNormal3f && sameStride(kGlArrayNormal)) fast |= kGlFormatNormal;
    } else {
        f[kGlArrayNormal] = __glArrayCurrentNormal;
    }
    if (m & kGlFormatColor) {
        f[kGlArrayColor] = arr[kGlArrayColor].fetchProc;
        if (f[kGlArrayColor] == __glFetchArrayColor3f && sameStride(kGlArrayColor))
            fast |= kGlFormatColor | kGlFormatIndex;
    } else {
        f[kGlArrayColor] = __glArrayCurrentColor;
    }
    if (m & kGlFormatIndex) {
        f[kGlArrayIndex] = arr[kGlArrayIndex].fetchProc;
        if (f[kGlArrayIndex] == __glFetchArrayIndex1f && sameStride(kGlArrayIndex))
            fast |= kGlFormatColor | kGlFormatIndex;
    } else {
        f[kGlArrayIndex] = __glArrayCurrentIndex;
    }
    if (m & kGlFormatTexCoord) {
        f[kGlArrayTexCoord] = arr[kGlArrayTexCoord].fetchProc;
        if (f[kGlArrayTexCoord] == __glFetchArrayTexCoord2f && sameStride(kGlArrayTexCoord))
            fast |= kGlFormatTexCoord;
    } else {
        f[kGlArrayTexCoord] = __glArrayCurrentTexCoord;
    }
    f[kGlArrayEdgeFlag] = (m & kGlFormatEdgeFlag) ? arr[kGlArrayEdgeFlag].fetchProc : __glArrayCurrentEdgeFlag;
    if (install) {
        std::memcpy(a.attrFetch, f, sizeof(f));
        if (vertexReadable)
            a.arrayFlags &= ~uint32_t(kGlArrayNoVertexArray);
        else
            a.arrayFlags |= kGlArrayNoVertexArray;
    }
    return fast;
}
}  // namespace

GlRangeTransformProc __glChooseRangeTransform(GlContext *ctx) {
    const GlArrayState &a = ctx->arrayState;
    if (a.arrayNeedIndex < 0) return __glTransformArrayGeneric;
    const bool fast = chooseFetchProcs(ctx, false) == a.arrayNeedMask;
    const bool colorIndex = ctx->visual.rgbaMode == 0;
    return __glRangeTransformTable[fast][colorIndex][a.arrayNeedIndex & 7];
}

void __glPickArrayProcs(GlContext *ctx) {
    GlArrayState &a = ctx->arrayState;
    a.validatedFormatMask = ctx->state.arrayEnable.enabledFormatMask;
    __glArraySetRangeProcs(ctx);
    chooseFetchProcs(ctx, true);
    a.referenceTransform = __glChooseRangeTransform(ctx);
    a.rangeTransform = a.referenceTransform;
    bool sized;
    if (a.arrayFlags & kGlArraysLocked) {
        sized = __glEnsureArrayCache(ctx, a.lockFirst, a.lockCount);
        if (sized) a.arrayFlags |= kGlArrayCacheHoldsLock;
    } else {
        sized = __glEnsureArrayCache(ctx, 0, 0);
        a.arrayFlags &= ~uint32_t(kGlArrayCacheHoldsLock);
    }
    if (!sized) {
        // The old block stays, mapped from element 0; the draws of this state draw nothing.
        a.arrayFlags &= ~uint32_t(kGlArrayCacheHoldsLock);
        a.cacheBase = a.cacheBlock;
    }
    a.cacheFailed = sized ? 0 : 1;
    a.arrayFlags |= kGlArrayRangeStale;
    if (ctx->renderMode == GL_RENDER) {
        if (!__glArraySwitches.disableOgVarray) a.rangeTransform = __glTransformArrayRangeLazy;
        if (!__glArraySwitches.disableOgDrawVertexes) a.renderers[GL_TRIANGLE_STRIP] = __glDrawArrayTriangleStripLazy;
    }
}
