// The software stencil buffer: one byte a pixel, tested and updated through four tables built
// from the stencil state (test result, and the value after the stencil-fail, depth-fail and
// depth-pass operations, for every stored value), and its clear.
//
// Everything is kept to the buffer's bit count s: the tables have 2^s entries, every lookup cuts
// the stored byte to s bits first, and every value the tables or the clear produce fits in s
// bits, so no byte in memory can index past a table.
#include <cstring>
#include <initializer_list>
#include "icd/raster/stencil_buffer.h"
#include "icd/raster/raster_state.h"
#include "icd/core/core.h"

using namespace glraster;

namespace {

int32_t stencilBitsOf(const GlContext *ctx) {
    int32_t s = ctx->visual.stencilBits;
    return s < 1 ? 1 : (s > 8 ? 8 : s);
}

bool testPasses(GLenum func, uint32_t ref, uint32_t value) {
    switch (func) {
    case GL_NEVER: return false;
    case GL_LESS: return ref < value;
    case GL_EQUAL: return ref == value;
    case GL_LEQUAL: return ref <= value;
    case GL_GREATER: return ref > value;
    case GL_NOTEQUAL: return ref != value;
    case GL_GEQUAL: return ref >= value;
    default: return true;
    }
}

uint32_t applyOp(GLenum op, uint32_t i, uint32_t ref, uint32_t all) {
    switch (op) {
    case GL_ZERO: return 0;
    case GL_REPLACE: return ref;
    case GL_INCR: return i < all ? i + 1 : i;
    case GL_DECR: return i > 0 ? i - 1 : 0;
    case GL_INVERT: return ~i & all;
    default: return i;  // GL_KEEP
    }
}

void buildOpTable(uint8_t *table, GLenum op, uint32_t ref, uint32_t writeMask, uint32_t all) {
    for (uint32_t i = 0; i <= all; ++i)
        table[i] = uint8_t(((i & ~writeMask) | (applyOp(op, i, ref, all) & writeMask)) & all);
}

bool lockStencil(GlContext *ctx, GlStencilBuffer *sb) {
    if (ctx->buffers.prepare != nullptr) {
        if (!ctx->buffers.prepare(ctx, kGlBufferStencil)) return false;
    } else {
        GlBufferDescriptor *d = sb->head.descriptor;
        if (d == nullptr) return false;
        if (d->lock != nullptr && !d->lock(d, __glBufferRecord(&sb->head))) return false;
    }
    __glBufferRefresh(&sb->head);
    return sb->head.base != nullptr;
}

void unlockStencil(GlContext *ctx, GlStencilBuffer *sb) {
    if (ctx->buffers.release != nullptr) {
        ctx->buffers.release(ctx, kGlBufferStencil);
        return;
    }
    GlBufferDescriptor *d = sb->head.descriptor;
    if (d != nullptr && d->unlock != nullptr) d->unlock(d, __glBufferRecord(&sb->head));
}

GlContext *contextOf(const GlStencilBuffer *sb) {
    return sb->head.context != nullptr ? sb->head.context : __glGetCurrentContext();
}

}  // namespace

uint8_t *__glStencilAddress(const GlStencilBuffer *sb, int32_t x, int32_t y) {
    const GlBuffer &h = sb->head;
    const GlContext *ctx = h.context;
    int32_t ox = ctx != nullptr ? ctx->limits.biasX : 0, oy = ctx != nullptr ? ctx->limits.biasY : 0;
    return h.base + (y - oy) * h.pitch + (x - ox);
}

void __glInitSoftStencilBuffer(GlStencilBuffer *sb, GlContext *ctx) {
    __glInitBuffer(&sb->head, ctx);
    sb->head.elementSize = 1;
    sb->head.free = __glReleaseStencilTables;
    sb->pick = __glPickStencilBufferProcs;
    sb->store = __glStoreStencil;
    sb->fetch = __glFetchStencil;
    sb->test = __glTestStencil;
    sb->applyFail = __glApplyStencilFail;
    sb->applyDepthFail = __glApplyStencilDepthFail;
    sb->applyDepthPass = __glApplyStencilDepthPass;
    sb->clear = __glClearStencilBuffer;
    sb->bits = stencilBitsOf(ctx);
    sb->valueBits = (1u << sb->bits) - 1u;
}

void __glReleaseStencilTables(GlBuffer *b, GlContext *ctx) {
    GlStencilBuffer *sb = reinterpret_cast<GlStencilBuffer *>(b);
    for (uint8_t **t : {&sb->testTable, &sb->failTable, &sb->depthFailTable, &sb->depthPassTable}) {
        if (*t != nullptr && ctx != nullptr) ctx->hostProcs.free(ctx, *t);
        *t = nullptr;
    }
}

void __glBuildStencilTestTable(GlContext *ctx) {
    GlStencilBuffer *sb = &ctx->buffers.stencil;
    if (sb->valueBits == 0) {
        sb->bits = stencilBitsOf(ctx);
        sb->valueBits = (1u << sb->bits) - 1u;
    }
    const uint32_t all = sb->valueBits;
    const size_t n = size_t(all) + 1;
    for (uint8_t **t : {&sb->testTable, &sb->failTable, &sb->depthFailTable, &sb->depthPassTable}) {
        if (*t == nullptr) *t = static_cast<uint8_t *>(ctx->hostProcs.alloc(ctx, n));
        if (*t == nullptr) {
            // Without all four tables no stencil proc may run: give back what was taken.
            __glReleaseStencilTables(&sb->head, ctx);
            __glSetError(GL_OUT_OF_MEMORY);
            return;
        }
    }
    const GlModeState &m = ctx->state.mode;
    const uint32_t valueMask = m.stencilValueMask & all;
    const uint32_t ref = ctx->state.depthStencil.stencilRef & all;
    const uint32_t writeMask = m.stencilWriteMask & all;
    for (uint32_t i = 0; i <= all; ++i) sb->testTable[i] = testPasses(m.stencilFunc, ref & valueMask, i & valueMask);
    buildOpTable(sb->failTable, m.stencilFail, ref, writeMask, all);
    buildOpTable(sb->depthFailTable, m.stencilDepthFail, ref, writeMask, all);
    buildOpTable(sb->depthPassTable, m.stencilDepthPass, ref, writeMask, all);
}

// The tables are built on first use and again after a change of the stencil function or
// operations; a buffer whose tables could not be had tries again at the next validation.
void __glPickStencilBufferProcs(GlContext *ctx) {
    const GlStencilBuffer *sb = &ctx->buffers.stencil;
    const bool missing = sb->testTable == nullptr || sb->failTable == nullptr || sb->depthFailTable == nullptr ||
                         sb->depthPassTable == nullptr;
    if (missing || (ctx->tableDirtyMask & (kGlTableStencilFunc | kGlTableStencilOp))) __glBuildStencilTestTable(ctx);
}

void __glStoreStencil(GlStencilBuffer *sb, int32_t x, int32_t y, uint32_t value) {
    uint8_t *p = __glStencilAddress(sb, x, y);
    uint32_t mask = contextOf(sb)->state.mode.stencilWriteMask & sb->valueBits;
    *p = uint8_t(((value & mask) | (*p & ~mask)) & sb->valueBits);
}

uint32_t __glFetchStencil(GlStencilBuffer *sb, int32_t x, int32_t y) {
    return *__glStencilAddress(sb, x, y) & sb->valueBits;
}

uint8_t __glTestStencil(GlStencilBuffer *sb, int32_t x, int32_t y) {
    return sb->testTable[*__glStencilAddress(sb, x, y) & sb->valueBits];
}

void __glApplyStencilFail(GlStencilBuffer *sb, int32_t x, int32_t y) {
    uint8_t *p = __glStencilAddress(sb, x, y);
    *p = sb->failTable[*p & sb->valueBits];
}
void __glApplyStencilDepthFail(GlStencilBuffer *sb, int32_t x, int32_t y) {
    uint8_t *p = __glStencilAddress(sb, x, y);
    *p = sb->depthFailTable[*p & sb->valueBits];
}
void __glApplyStencilDepthPass(GlStencilBuffer *sb, int32_t x, int32_t y) {
    uint8_t *p = __glStencilAddress(sb, x, y);
    *p = sb->depthPassTable[*p & sb->valueBits];
}

void __glClearStencilBuffer(GlStencilBuffer *sb) {
    GlContext *ctx = contextOf(sb);
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    if (!lockStencil(ctx, sb)) return;
    const uint32_t all = sb->valueBits;
    const uint8_t v = uint8_t(ctx->state.depthStencil.stencilClear & all);
    const uint8_t mask = uint8_t(ctx->state.mode.stencilWriteMask & all);
    const int32_t w = box.x1 - box.x0;
    uint64_t fill8;
    std::memset(&fill8, v, sizeof fill8);
    uint64_t mask8;
    std::memset(&mask8, mask, sizeof mask8);
    for (int32_t y = box.y0; y < box.y1; ++y) {
        uint8_t *p = __glStencilAddress(sb, box.x0, y);
        int32_t n = w;
        if (mask == all) {
            // The write mask covers every stencil bit: plain fills, eight bytes a step.
            for (; n >= 8; n -= 8, p += 8) std::memcpy(p, &fill8, 8);
            for (; n > 0; --n, ++p) *p = v;
        } else {
            for (; n >= 8; n -= 8, p += 8) {
                uint64_t old;
                std::memcpy(&old, p, 8);
                old = (fill8 & mask8) | (old & ~mask8);
                std::memcpy(p, &old, 8);
            }
            for (; n > 0; --n, ++p) *p = uint8_t((v & mask) | (*p & ~mask));
        }
    }
    unlockStencil(ctx, sb);
}
