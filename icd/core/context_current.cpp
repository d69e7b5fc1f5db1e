// Making a context current and losing it, resizing it to its drawable, and the lock bracket
// around drawing into its buffers.
#include <cstring>
#include "icd/core/state_entries_util.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/drawable.h"
#include "icd/hw/hw_surface.h"

namespace {
constexpr int kSlotScissor = 176;
constexpr int kSlotViewport = 305;
void installProcs(GlContext *ctx) {
#define GL_INSTALL(field, proc) ctx->slots.field = proc;
#include "icd/core/installer.inc"
#undef GL_INSTALL
    ctx->slots.validate = __glValidateState;
    static const GlProcSlots installed = {
#define GL_INSTALL(field, proc) proc,
#include "icd/core/installer.inc"
#undef GL_INSTALL
    };
    ctx->slots.staticProcTable = &installed;
}
}  // namespace

BOOL __glMakeCurrent(GlContext *ctx) {
    __wglSetCurrentContext(ctx);
    ctx->execTable = &ctx->liveTable;
    std::memcpy(&ctx->liveTable, &__glImmediateProcTable, sizeof(GlProcTable));
    std::memcpy(&ctx->compileTable, &__glCompileProcTable, sizeof(GlProcTable));
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= 0x80;
    bool first = !(ctx->stateFlags & kGlStateBuffersInstalled);
    if (first && !__glCreateBuffers(ctx)) return FALSE;
    __glAttachDrawableBuffers(ctx, ctx->hostProcs.getDrawableInfo(ctx));
    if (first) {
        installProcs(ctx);
        ctx->procs.notifySwap = __glNotifySwap;
        ctx->procs.destroy = __glHwDestroyContext;
        ctx->procs.resizeAt = __glHwResizeClip;
    }
    if (ctx->stateFlags & (kGlStateBuffersInstalled | kGlStateForceResize)) {
        ctx->slots.resizeToDrawable(ctx);
        ctx->slots.resizeClip(ctx);
    } else {
        __glResetContext(ctx);
        ctx->vendor = "QUOR AG Germany (Ostrel)";
        ctx->version = "1.1.0";
        ctx->renderer = ctx->tail.busIsAgp ? "QUOR HALCYNE Tavrik (AGP)" : "QUOR HALCYNE Tavrik (PCI)";
        __glSetArrayFanPolygonRenderers(ctx);
        ctx->vertexCache.vcacheOn = 0;
        int32_t width = 0, height = 0;
        ctx->hostProcs.getDrawableSize(ctx, &width, &height);
        // glViewport and glScissor through the live table, as the application would call them.
        using Rect = void(APIENTRY *)(GLint, GLint, GLsizei, GLsizei);
        reinterpret_cast<Rect>(ctx->liveTable.slot[kSlotViewport])(0, 0, width, height);
        reinterpret_cast<Rect>(ctx->liveTable.slot[kSlotScissor])(0, 0, width, height);
    }
    if (!(ctx->stateFlags & kGlStateDerivedBuilt)) {
        __glRescaleContextColors(ctx);
        ctx->slots.pick(ctx);
    }
    if (ctx->state.list.listName != 0) {
        ctx->execTable = &ctx->savedTable;
        __glCopyProcTable(&ctx->compileTable, &ctx->liveTable);
    } else {
        ctx->execTable = &ctx->liveTable;
    }
    ctx->stateFlags = (ctx->stateFlags & ~kGlStateForceResize) | kGlStateDerivedBuilt | kGlStateBuffersInstalled;
    return TRUE;
}

BOOL __glLoseCurrent(GlContext *ctx) {
    if (ctx->renderMode != GL_RENDER || ctx->beginMode == kGlInsideBegin) return FALSE;
    __glDetachDrawableBuffers(ctx);
    __wglSetCurrentContext(nullptr);
    return TRUE;
}

BOOL __glResizeContext(GlContext *ctx, int32_t width, int32_t height) {
    if (__glResizeDrawableBuffers(ctx, width, height) != 1) return FALSE;
    __glApplyViewport(ctx);
    GlDrawable *d = ctx->handle != nullptr ? ctx->handle->drawable : nullptr;
    if (d != nullptr) {
        // Whether the viewport lies inside the drawable decides the clip paths: a viewport that
        // leaves the window needs its primitives cut to the window's rectangles. Both carry the
        // same bias, so it drops out; the sums are formed in 64 bits so that no size wraps.
        const GlViewport &v = ctx->state.transform.viewport;
        const int64_t x = v.x, y = v.y, w = v.width, h = v.height;
        const uint8_t inside = x >= 0 && y >= 0 && x + w <= d->width && y + h <= d->height;
        if (inside != ctx->viewportInsideWindow) {
            ctx->viewportInsideWindow = inside;
            __glRequestValidation(ctx);
            ctx->dirtyMask |= 1;
        }
        if (d->buffers.changedMask != 0 && ctx->renderMode == GL_RENDER) {
            __glRequestValidation(ctx);
            ctx->dirtyMask |= 0x7FF;
            for (GlProc &slot : ctx->slots.resizeReset) slot = __glNopProc;
        }
    }
    return TRUE;
}

void __glLockBuffers(GlContext *ctx) {
    GlBufferArea &b = ctx->buffers;
    if (b.prepare != nullptr && b.prepare(ctx, 0xFFFFFFFFu) == 0) return;
    if (b.lockCount == 0 && b.drawableLock != nullptr && b.drawableLock(ctx) == 0) return;
    b.lockCount += 1;
}

// Unlocking releases what locking prepared (not prepare again), and never counts below 0.
void __glUnlockBuffers(GlContext *ctx) {
    GlBufferArea &b = ctx->buffers;
    if (b.lockCount == 0) return;
    if (b.release != nullptr) b.release(ctx, 0xFFFFFFFFu);
    b.lockCount -= 1;
    if (b.lockCount == 0 && b.drawableUnlock != nullptr) b.drawableUnlock(ctx);
}
