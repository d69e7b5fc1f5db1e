// The host procs every context gets: zero-filled global memory and the drawable queries.
#include <cstdlib>
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/hw/present.h"

void *__wglAlloc(size_t size) { return size == 0 ? nullptr : GlobalAlloc(GPTR, size); }
void __wglFree(void *block) {
    if (block != nullptr) GlobalFree(block);
}

static void *hostAlloc(GlContext *, size_t size) { return __wglAlloc(size); }

static void *hostCalloc(GlContext *, size_t count, size_t size) {
    if (count == 0 || size == 0 || count > SIZE_MAX / size) return nullptr;
    return __wglAlloc(count * size);
}

// A failed reallocation returns null and leaves the old block as it was.
static void *hostRealloc(GlContext *, void *block, size_t size) {
    if (block == nullptr) return __wglAlloc(size);
    if (size == 0) {
        __wglFree(block);
        return nullptr;
    }
    void *grown = __wglAlloc(size);
    if (grown == nullptr) return nullptr;
    size_t old = GlobalSize(block);
    std::memcpy(grown, block, old < size ? old : size);
    __wglFree(block);
    return grown;
}

static void hostFree(GlContext *, void *block) { __wglFree(block); }
static void hostNop(GlContext *) {}
static void hostAbort(GlContext *) { std::abort(); }

static GlDrawableBuffers *hostGetDrawableInfo(GlContext *ctx) {
    GlDrawable *d = ctx->handle != nullptr ? ctx->handle->drawable : nullptr;
    return d != nullptr ? &d->buffers : nullptr;
}

static void hostGetDrawableSize(GlContext *ctx, int32_t *width, int32_t *height) {
    GlDrawable *d = ctx->handle != nullptr ? ctx->handle->drawable : nullptr;
    if (d == nullptr) {
        *width = *height = 0;
        return;
    }
    __wglUpdateWindowGeometry(d);
    d->buffers.fullScreen = d->hwnd != nullptr && d->originX == 0 && d->originY == 0 &&
                            d->width == GetSystemMetrics(SM_CXSCREEN) &&
                            d->height == GetSystemMetrics(SM_CYSCREEN);
    *width = d->width;
    *height = d->height;
}

static void *hostGetPrimary(GlContext *) { return __wglDDrawPrimaryAddress(); }

GlHostProcTable __wglHostProcs = {
    {hostAlloc, hostCalloc, hostRealloc, hostFree, hostNop, hostAbort, hostGetDrawableInfo,
     hostGetDrawableSize, hostGetPrimary},
    nullptr};
