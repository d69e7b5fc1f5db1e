// glPushClientAttrib / glPopClientAttrib: the pixel-store modes and the client vertex arrays.
// A pop restores what the array entries set (pointers, sizes, types, strides, counts and their
// element procs, the format word, the enables and whether the arrays are locked, not the locked
// range) and leaves what array validation derives to the next draw.
#include <cstring>
#include "icd/core/attrib.h"
#include "icd/core/attrib_fields.h"
#include "icd/core/state_entries_util.h"

using namespace glstate;
using glattrib::Load;
using glattrib::Save;

namespace {

constexpr int32_t kStackSlots = 16;

GlClientAttribEntry **clientBase(GlContext *ctx) {
    return reinterpret_cast<GlClientAttribEntry **>(ctx->arrays.clientAttribStack);
}
GlClientAttribEntry **&clientTop(GlContext *ctx) {
    return reinterpret_cast<GlClientAttribEntry **&>(ctx->arrays.clientAttribStackTop);
}

template <class M>
void pixelStoreFields(GlContext *c, GlClientAttribEntry &e, M m) { m(c->state.pixel.store, e.pixelStore); }

template <class M>
void vertexArrayFields(GlContext *c, GlClientAttribEntry &e, M m) {
    GlArrayState &a = c->arrayState;
    GlAttribVertexArrays &b = e.vertexArrays;
    m(a.arrays, b.arrays);
    m(a.formatWord, b.formatWord);
    m(c->state.arrayEnable, b.enable);
}

void saveClient(GlContext *ctx, GlClientAttribEntry &e, GLbitfield mask) {
    e.mask = mask;
    if (mask & GL_CLIENT_PIXEL_STORE_BIT) pixelStoreFields(ctx, e, Save{});
    if (mask & GL_CLIENT_VERTEX_ARRAY_BIT) {
        vertexArrayFields(ctx, e, Save{});
        e.vertexArrays.lockedFlag = ctx->arrayState.arrayFlags & kGlArraysLocked;
    }
}

void restoreClient(GlContext *ctx, GlClientAttribEntry &e) {
    uint32_t marks = kGlDirtyGeneral;
    if (e.mask & GL_CLIENT_PIXEL_STORE_BIT) {
        pixelStoreFields(ctx, e, Load{});
        marks |= kGlDirtyPixel;  // as glPixelStore marks
    }
    if (e.mask & GL_CLIENT_VERTEX_ARRAY_BIT) {
        vertexArrayFields(ctx, e, Load{});
        GlArrayState &a = ctx->arrayState;
        a.arrayFlags = (a.arrayFlags & ~uint32_t(kGlArraysLocked)) | e.vertexArrays.lockedFlag;
        // As after a pointer or client-state call: the arrays are validated again at the next
        // draw even when other state changed with them.
        a.arraysDirty = 1;
        marks |= kGlDirtyArrays;
    }
    e.mask = 0;
    markDirty(ctx, marks);
}

}  // namespace

namespace icd {

void APIENTRY glPushClientAttrib(GLbitfield mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlClientAttribEntry **base = clientBase(ctx);
    GlClientAttribEntry **&top = clientTop(ctx);
    int32_t limit = ctx->limits.maxClientAttribStackDepth;
    int32_t depth = limit < kStackSlots ? limit : kStackSlots;
    if (base == nullptr || top - base >= depth) return __glSetError(GL_STACK_OVERFLOW);
    if (*top == nullptr) {
        *top = static_cast<GlClientAttribEntry *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlClientAttribEntry)));
        if (*top == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
    }
    saveClient(ctx, **top, mask);
    ++top;
}

void APIENTRY glPopClientAttrib(void) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlClientAttribEntry **base = clientBase(ctx);
    GlClientAttribEntry **&top = clientTop(ctx);
    if (base == nullptr || top == base) return __glSetError(GL_STACK_UNDERFLOW);
    restoreClient(ctx, **--top);
}

}  // namespace icd
