// The client vertex-array entries: the pointer calls and their EXT forms, glInterleavedArrays,
// glLockArraysEXT/glUnlockArraysEXT, glArrayElement, glDrawArrays and glDrawElements, and the
// compile forms that record array draws as ordinary immediate-mode commands.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/drawable_lock.h"
#include "icd/core/state_entries.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"

namespace {
GlArrayState &arraysOf(GlContext *ctx) { return ctx->arrayState; }

// The current context, or null after reporting GL_INVALID_OPERATION inside glBegin/glEnd.
GlContext *outsideBegin() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx;
}

// Array state changed: validation runs before the next draw. The arrays are also marked for
// their own validation, so that a pointer change is picked up even when other state changed with
// it (the pick sequence revalidates arrays on its own only for some groups).
void arraysChanged(GlContext *ctx) {
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= kGlDirtyArrays;
    arraysOf(ctx).arraysDirty = 1;
}

void validateArraysIfDirty(GlContext *ctx) {
    GlArrayState &a = arraysOf(ctx);
    if (!a.arraysDirty && !__glArrayModesChanged(ctx)) return;
    __glValidateArrays(ctx);
    a.arraysDirty = 0;
}

// The draw prologue: outside glBegin/glEnd, with the state and the arrays validated.
GlContext *drawPrologue() {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return nullptr;
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    validateArraysIfDirty(ctx);
    return ctx;
}

// ---- pointer entries ---------------------------------------------------------------------------
struct PointerRow {
    int32_t minSize, maxSize;  // equal for the arrays without a size argument
    uint32_t formatBits;
};
constexpr PointerRow kPointerRows[kGlArrayEdgeFlag] = {
    {2, 4, kGlFormatVertex}, {3, 3, kGlFormatNormal}, {3, 4, kGlFormatColor},
    {1, 1, kGlFormatIndex},  {1, 4, kGlFormatTexCoord},
};

void setPointer(int32_t array, GLint size, GLenum type, GLsizei stride, const GLvoid *pointer) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const PointerRow &row = kPointerRows[array];
    if (stride < 0 || size < row.minSize || size > row.maxSize) return __glSetError(GL_INVALID_VALUE);
    if (type < GL_BYTE || type > GL_DOUBLE) return __glSetError(GL_INVALID_ENUM);
    const GlArraySetterTable &t = *__glArraySetters[array];
    const int index = __glArraySetterIndex(size, type);
    if (t.fetchProc[index] == nullptr) return __glSetError(GL_INVALID_ENUM);
    GlArrayState &a = arraysOf(ctx);
    GlClientArray &c = a.arrays[array];
    c.pointer = pointer;
    c.size = size;
    c.type = type;
    c.stride = stride != 0 ? stride : size * __glArrayTypeBytes(type);
    c.userStride = stride;
    c.count = 0;
    c.immediateProc = t.immediateProc[index];
    c.fetchProc = t.fetchProc[index];
    a.formatWord = (a.formatWord & ~row.formatBits) | __glArrayFormatBits(array, size, type);
    arraysChanged(ctx);
}

// The EXT forms: the count is checked here, the rest by the core entry; the count is stored
// whatever that entry decided.
template <class Core>
void withCount(int32_t array, GLsizei count, Core core) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (count < 0) return __glSetError(GL_INVALID_VALUE);
    core();
    arraysOf(ctx).arrays[array].count = count;
}

// ---- drawing -----------------------------------------------------------------------------------
void snapshotLockInputs(GlContext *ctx, GlArrayLockInputs &s) {
    std::memset(&s, 0, sizeof(s));
    const GlTransform *top = ctx->state.transform.modelView;
    s.modelViewEntry = top;
    std::memcpy(s.composite, top->mvp.m, sizeof(s.composite));
    std::memcpy(s.modelView, top->matrix.m, sizeof(s.modelView));
    const GlCurrentState &c = ctx->current;
    std::memcpy(s.normal, c.normal, sizeof(s.normal));
    std::memcpy(s.color, c.vertex.scaledColor, sizeof(s.color));
    s.index = c.index;
    std::memcpy(s.texCoord, c.texCoord, sizeof(s.texCoord));
    s.edgeFlag = c.edgeFlag;
}

bool lockedRangeCovers(const GlArrayState &a, GLint first, GLsizei count, const uint32_t *indices) {
    const uint32_t lockFirst = uint32_t(a.lockFirst), lockCount = uint32_t(a.lockCount);
    if (indices == nullptr)
        return int64_t(first) >= a.lockFirst && int64_t(first) + count <= int64_t(a.lockFirst) + a.lockCount;
    for (GLsizei i = 0; i < count; ++i)
        if (indices[i] - lockFirst >= lockCount) return false;
    return true;
}

// The cache road. While a range is locked and cached, a draw inside it uses the range's
// records (transformed once, and again only when their inputs changed); a draw reaching outside
// it goes the batch way through the block's first records, which overwrites part of the range,
// so the range is transformed again at the next draw inside it.
void drawCachedInLock(GlContext *ctx, GLenum mode, GLint first, GLsizei count, const uint32_t *indices) {
    GlArrayState &a = arraysOf(ctx);
    if (!(a.arrayFlags & kGlArrayCacheHoldsLock)) {
        a.renderers[mode](ctx, first, count, indices);
        return;
    }
    if (lockedRangeCovers(a, first, count, indices)) {
        GlArrayLockInputs now;
        snapshotLockInputs(ctx, now);
        if ((a.arrayFlags & kGlArrayRangeStale) || std::memcmp(&now, &a.lockedWith, sizeof(now)) != 0) {
            a.rangeTransform(ctx, a.lockFirst, a.lockFirst, a.lockCount);
            a.arrayFlags &= ~uint32_t(kGlArrayRangeStale);
            a.lockedWith = now;
        }
        a.renderers[mode](ctx, first, count, indices);
        return;
    }
    GlVertex *base = a.cacheBase;
    const uint32_t flags = a.arrayFlags;
    a.cacheBase = a.cacheBlock;
    a.arrayFlags = (flags & ~uint32_t(kGlArrayCacheHoldsLock)) | kGlArrayRangeStale;
    a.renderers[mode](ctx, first, count, indices);
    a.cacheBase = base;
    a.arrayFlags = flags | kGlArrayRangeStale;
}

// Software triangles take the drawable's lock once for the whole draw rather than once each: no
// application code runs inside the call, so the lock stays good for every triangle. A refused
// lock leaves each triangle to try (and skip) as before; the chip's triangles (no raster proc),
// lines, points, feedback and selection keep their own brackets.
void drawCached(GlContext *ctx, GLenum mode, GLint first, GLsizei count, const uint32_t *indices) {
    const GlArrayState &a = arraysOf(ctx);
    if (a.cacheFailed || a.cacheBlock == nullptr || ctx->state.transform.modelView == nullptr) return;
    const bool bracket = mode >= GL_TRIANGLES && ctx->renderMode == GL_RENDER &&
                         ctx->state.pick.rasterTriangleProc != nullptr;
    auto draw = [&] { drawCachedInLock(ctx, mode, first, count, indices); };
    if (!bracket || !__glWithDrawableLock(ctx, draw)) draw();
}

// The element list of glDrawElements as 32-bit numbers: the caller's own for GL_UNSIGNED_INT,
// else a temporary (freed by the caller). False after GL_OUT_OF_MEMORY.
bool widenIndices(GlContext *ctx, GLsizei count, GLenum type, const GLvoid *indices, const uint32_t *&list,
                  uint32_t *&temporary) {
    temporary = nullptr;
    list = static_cast<const uint32_t *>(indices);
    if (type == GL_UNSIGNED_INT || count == 0) return true;
    const uint64_t bytes = uint64_t(uint32_t(count)) * sizeof(uint32_t);
    if (bytes > SIZE_MAX) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    temporary = static_cast<uint32_t *>(ctx->hostProcs.alloc(ctx, size_t(bytes)));
    if (temporary == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    if (type == GL_UNSIGNED_BYTE) {
        const GLubyte *b = static_cast<const GLubyte *>(indices);
        for (GLsizei i = 0; i < count; ++i) temporary[i] = b[i];
    } else {
        const GLushort *s = static_cast<const GLushort *>(indices);
        for (GLsizei i = 0; i < count; ++i) temporary[i] = s[i];
    }
    list = temporary;
    return true;
}

bool isIndexType(GLenum type) {
    return type == GL_UNSIGNED_BYTE || type == GL_UNSIGNED_SHORT || type == GL_UNSIGNED_INT;
}

// The immediate calls of glBegin, the elements in glArrayElement's order, and glEnd, all through
// the live table (the compile table while a list is compiled).
void issueElements(GLenum mode, GLint first, GLsizei count, const uint32_t *indices) {
    __glDispatchBegin(mode);
    for (GLsizei i = 0; i < count; ++i) icd::glArrayElement(indices != nullptr ? GLint(indices[i]) : first + i);
    __glDispatchEnd();
}
}  // namespace

namespace icd {
void APIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride, const GLvoid *pointer) {
    setPointer(kGlArrayVertex, size, type, stride, pointer);
}
void APIENTRY glNormalPointer(GLenum type, GLsizei stride, const GLvoid *pointer) {
    setPointer(kGlArrayNormal, 3, type, stride, pointer);
}
void APIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride, const GLvoid *pointer) {
    setPointer(kGlArrayColor, size, type, stride, pointer);
}
void APIENTRY glIndexPointer(GLenum type, GLsizei stride, const GLvoid *pointer) {
    setPointer(kGlArrayIndex, 1, type, stride, pointer);
}
void APIENTRY glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const GLvoid *pointer) {
    setPointer(kGlArrayTexCoord, size, type, stride, pointer);
}

void APIENTRY glEdgeFlagPointer(GLsizei stride, const GLvoid *pointer) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (stride < 0) return __glSetError(GL_INVALID_VALUE);
    GlArrayState &a = arraysOf(ctx);
    GlClientArray &c = a.arrays[kGlArrayEdgeFlag];
    c.pointer = pointer;
    c.stride = stride != 0 ? stride : 1;
    c.userStride = stride;
    c.count = 0;
    c.immediateProc = reinterpret_cast<GlArrayImmediateProc>(&__glDispatchEdgeFlagv);
    c.fetchProc = __glFetchArrayEdgeFlag;
    a.formatWord |= kGlFormatEdgeFlag;
    arraysChanged(ctx);
}

void APIENTRY __glDoVertexPointerEXT(GLint size, GLenum type, GLsizei stride, GLsizei count, const GLvoid *pointer) {
    withCount(kGlArrayVertex, count, [&] { glVertexPointer(size, type, stride, pointer); });
}
void APIENTRY __glDoNormalPointerEXT(GLenum type, GLsizei stride, GLsizei count, const GLvoid *pointer) {
    withCount(kGlArrayNormal, count, [&] { glNormalPointer(type, stride, pointer); });
}
void APIENTRY __glDoColorPointerEXT(GLint size, GLenum type, GLsizei stride, GLsizei count, const GLvoid *pointer) {
    withCount(kGlArrayColor, count, [&] { glColorPointer(size, type, stride, pointer); });
}
void APIENTRY __glDoIndexPointerEXT(GLenum type, GLsizei stride, GLsizei count, const GLvoid *pointer) {
    withCount(kGlArrayIndex, count, [&] { glIndexPointer(type, stride, pointer); });
}
void APIENTRY __glDoTexCoordPointerEXT(GLint size, GLenum type, GLsizei stride, GLsizei count,
                                       const GLvoid *pointer) {
    withCount(kGlArrayTexCoord, count, [&] { glTexCoordPointer(size, type, stride, pointer); });
}
void APIENTRY __glDoEdgeFlagPointerEXT(GLsizei stride, GLsizei count, const GLboolean *pointer) {
    withCount(kGlArrayEdgeFlag, count, [&] { glEdgeFlagPointer(stride, pointer); });
}
void APIENTRY __glDoArrayElementEXT(GLint i) { glArrayElement(i); }
void APIENTRY __glDoDrawArraysEXT(GLenum mode, GLint first, GLsizei count) { glDrawArrays(mode, first, count); }
// A second texture-coordinate array is not supported: the call is accepted and ignored.
void APIENTRY __glDoMultiTexCoordPointerSGIS(GLenum, GLint, GLenum, GLsizei, const GLvoid *) {}

void APIENTRY glInterleavedArrays(GLenum format, GLsizei stride, const GLvoid *pointer) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (stride < 0) return __glSetError(GL_INVALID_VALUE);
    if (format < GL_V2F || format > GL_T4F_C4F_N3F_V4F) return __glSetError(GL_INVALID_ENUM);
    const GlInterleavedFormat &f = __glInterleavedFormats[format - GL_V2F];
    if (stride == 0) stride = f.defaultStride;
    const GLubyte *base = static_cast<const GLubyte *>(pointer);
    __glDispatchDisableClientState(GL_EDGE_FLAG_ARRAY);
    if (f.texCoordSize != 0) {
        __glDispatchEnableClientState(GL_TEXTURE_COORD_ARRAY);
        __glDispatchTexCoordPointer(f.texCoordSize, GL_FLOAT, stride, base);
    } else {
        __glDispatchDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    if (f.colorSize != 0) {
        __glDispatchColorPointer(f.colorSize, f.colorType, stride, base + f.colorOffset);
        __glDispatchEnableClientState(GL_COLOR_ARRAY);
    } else {
        __glDispatchDisableClientState(GL_COLOR_ARRAY);
    }
    __glDispatchDisableClientState(GL_INDEX_ARRAY);
    if (f.normalOffset >= 0) {
        __glDispatchEnableClientState(GL_NORMAL_ARRAY);
        __glDispatchNormalPointer(GL_FLOAT, stride, base + f.normalOffset);
    } else {
        __glDispatchDisableClientState(GL_NORMAL_ARRAY);
    }
    __glDispatchEnableClientState(GL_VERTEX_ARRAY);
    __glDispatchVertexPointer(f.vertexSize, GL_FLOAT, stride, base + f.vertexOffset);
    arraysChanged(ctx);
}

void APIENTRY __glDoLockArraysEXT(GLint first, GLsizei count) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (first < 0 || count < 0) return __glSetError(GL_INVALID_VALUE);
    GlArrayState &a = arraysOf(ctx);
    if (a.arrayFlags & kGlArraysLocked) return __glSetError(GL_INVALID_OPERATION);
    a.arrayFlags |= kGlArraysLocked;
    a.lockFirst = first;
    a.lockCount = count;
    arraysChanged(ctx);
}

void APIENTRY __glDoUnlockArraysEXT(void) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlArrayState &a = arraysOf(ctx);
    if (!(a.arrayFlags & kGlArraysLocked)) return __glSetError(GL_INVALID_OPERATION);
    a.arrayFlags &= ~uint32_t(kGlArraysLocked);
    a.lockFirst = a.lockCount = 0;
    arraysChanged(ctx);
}

// Allowed inside glBegin/glEnd: the element's attributes in the order normal, colour, texture
// coordinates, index, edge flag, so that they are current when its vertex arrives last.
void APIENTRY glArrayElement(GLint i) {
    GlContext *ctx = __glGetCurrentContext();
    validateArraysIfDirty(ctx);
    static const int32_t order[kGlArrayCount] = {kGlArrayNormal, kGlArrayColor, kGlArrayTexCoord,
                                                 kGlArrayIndex, kGlArrayEdgeFlag, kGlArrayVertex};
    static const uint32_t bits[kGlArrayCount] = {kGlArrayEnableNormal, kGlArrayEnableColor,
                                                 kGlArrayEnableTexCoord, kGlArrayEnableIndex,
                                                 kGlArrayEnableEdgeFlag, kGlArrayEnableVertex};
    const uint32_t enabled = ctx->state.arrayEnable.enableMask;
    const GlClientArray *arrays = arraysOf(ctx).arrays;
    for (int32_t k = 0; k < kGlArrayCount; ++k) {
        if (!(enabled & bits[k])) continue;
        const GlClientArray &c = arrays[order[k]];
        __glArrayElementCall(order[k], c)(__glClientElement(c, i));
    }
}

void APIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    GlContext *ctx = drawPrologue();
    if (ctx == nullptr) return;
    if (first < 0 || count < 0) return __glSetError(GL_INVALID_VALUE);
    if (mode > GL_POLYGON) return __glSetError(GL_INVALID_ENUM);
    if (count == 0) return;
    GlArrayState &a = arraysOf(ctx);
    if (a.arrayFlags & kGlArrayPerElementRoad) {
        a.drawLoops[ctx->state.arrayEnable.enableMask & 63](mode, first, count);
        return;
    }
    drawCached(ctx, mode, first, count, nullptr);
}

// glDrawElements on either road: the checks, the indices widened to 32 bits, then draw(ctx,
// list) with the widened list.
template <class Draw>
void drawElementsThrough(GLenum mode, GLsizei count, GLenum type, const GLvoid *indices, Draw draw) {
    GlContext *ctx = drawPrologue();
    if (ctx == nullptr) return;
    if (count < 0) return __glSetError(GL_INVALID_VALUE);
    if (mode > GL_POLYGON || !isIndexType(type)) return __glSetError(GL_INVALID_ENUM);
    const uint32_t *list;
    uint32_t *temporary;
    if (!widenIndices(ctx, count, type, indices, list, temporary)) return;
    draw(ctx, list);
    if (temporary != nullptr) ctx->hostProcs.free(ctx, temporary);
}

void APIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid *indices) {
    drawElementsThrough(mode, count, type, indices, [&](GlContext *ctx, const uint32_t *list) {
        if (count == 0) return;
        if (arraysOf(ctx).arrayFlags & kGlArrayPerElementRoad)
            issueElements(mode, 0, count, list);
        else
            drawCached(ctx, mode, 0, count, list);
    });
}

// ---- compile forms -------------------------------------------------------------------------------
// A list records an array draw as the immediate commands of its elements.
void APIENTRY __glCompileArrayElementEXT(GLint i) { glArrayElement(i); }
void APIENTRY __glCompileDrawArraysEXT(GLenum mode, GLint first, GLsizei count) {
    compile::glDrawArrays(mode, first, count);
}

namespace compile {
void APIENTRY glArrayElement(GLint i) { icd::glArrayElement(i); }

void APIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    if (drawPrologue() == nullptr) return;
    if (first < 0 || count < 0) return __glSetError(GL_INVALID_VALUE);
    if (mode > GL_POLYGON) return __glSetError(GL_INVALID_ENUM);
    issueElements(mode, first, count, nullptr);
}

void APIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid *indices) {
    drawElementsThrough(mode, count, type, indices,
                        [&](GlContext *, const uint32_t *list) { issueElements(mode, 0, count, list); });
}
}  // namespace compile
}  // namespace icd
