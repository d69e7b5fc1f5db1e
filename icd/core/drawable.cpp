// The drawable list: one record per window or bitmap that a context has been made current
// with, shared by every context drawing into it.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/core/services.h"
#include "icd/hw/present.h"

static GlDrawable drawableListHead;

static uint32_t channelMask(int bits, int shift) {
    return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u) << shift;
}

void __wglVisualFromPixelFormat(GlVisual *v, const PIXELFORMATDESCRIPTOR *pfd) {
    std::memset(v, 0, sizeof(*v));
    v->rgbaMode = pfd->iPixelType == PFD_TYPE_RGBA;
    v->colorIndexMode = pfd->iPixelType == PFD_TYPE_COLORINDEX;
    v->doubleBuffer = (pfd->dwFlags & PFD_DOUBLEBUFFER) != 0;
    v->stereo = pfd->dwFlags & PFD_STEREO;
    v->hasAccum = pfd->cAccumBits != 0;
    v->hasDepth = pfd->cDepthBits != 0;
    v->hasStencil = pfd->cStencilBits != 0;
    v->redBits = pfd->cRedBits;
    v->greenBits = pfd->cGreenBits;
    v->blueBits = pfd->cBlueBits;
    v->alphaBits = pfd->cAlphaBits;
    v->redMask = channelMask(pfd->cRedBits, pfd->cRedShift);
    v->greenMask = channelMask(pfd->cGreenBits, pfd->cGreenShift);
    v->blueMask = channelMask(pfd->cBlueBits, pfd->cBlueShift);
    v->alphaMask = channelMask(pfd->cAlphaBits, pfd->cAlphaShift);
    v->colorBits = v->indexBits = pfd->cColorBits;
    v->accumRedBits = pfd->cAccumRedBits;
    v->accumGreenBits = pfd->cAccumGreenBits;
    v->accumBlueBits = pfd->cAccumBlueBits;
    v->accumAlphaBits = pfd->cAccumAlphaBits;
    v->depthBits = pfd->cDepthBits;
    v->stencilBits = pfd->cStencilBits;
}

// Releases what creation allocated; the record is not in the list.
static void freeDrawableBlocks(GlDrawable *d) {
    __wglFree(d->clipList);
    __wglFree(d->buffers.visual);
    __wglFree(d);
}

GlDrawable *__wglCreateDrawable(HDC hdc, HWND hwnd, const GlVisual *visual) {
    GlDrawable *d = static_cast<GlDrawable *>(__wglAlloc(kGlDrawableBytes));
    if (d == nullptr) return nullptr;
    d->hdc = hdc;
    d->hwnd = hwnd;
    d->hasParent = hwnd != nullptr && GetParent(hwnd) != nullptr;
    GlVisual *copy = static_cast<GlVisual *>(__wglAlloc(sizeof(GlVisual)));
    d->clipList = static_cast<GlClipList *>(__wglAlloc(kGlClipListBytes(kGlClipInitialCapacity)));
    if (copy == nullptr || d->clipList == nullptr) {
        __wglFree(copy);
        freeDrawableBlocks(d);
        return nullptr;
    }
    *copy = *visual;
    copy->isBitmap = hwnd == nullptr;
    GlDrawableBuffers &b = d->buffers;
    b.visual = copy;
    b.alloc = __wglHostProcs.procs.alloc;
    b.calloc = __wglHostProcs.procs.calloc;
    b.realloc = __wglHostProcs.procs.realloc;
    b.free = __wglHostProcs.procs.free;
    b.addClipRect = __wglClipAddRect;
    b.setClipBounds = __wglClipSetBounds;
    b.drawable = d;
    d->clipCapacity = kGlClipInitialCapacity;
    d->clipList->rdh = {sizeof(GlClipListHeader), kGlClipRectangles, 0, 0, {0, 0, 0, 0}};
    d->destroyHook = __glDeviceHooks->destroyDrawable;
    d->movedHook = __glDeviceHooks->drawableMoved;
    // The device layer sizes its buffers from the window's geometry.
    __wglUpdateWindowGeometry(d);
    BOOL made = hwnd != nullptr ? __glDeviceHooks->createWindowDrawable(d, visual)
                                : __glDeviceHooks->createMemoryDrawable(d, visual);
    if (!made) {
        freeDrawableBlocks(d);
        return nullptr;
    }
    __wglLinkDrawable(d);
    return d;
}

void __wglLinkDrawable(GlDrawable *d) {
    __wglLockGlobal();
    d->next = drawableListHead.next;
    d->prev = &drawableListHead;
    if (d->next != nullptr) d->next->prev = d;
    drawableListHead.next = d;
    __wglUnlockGlobal();
}

void __wglUnlinkDrawable(GlDrawable *d) {
    __wglLockGlobal();
    if (d->prev != nullptr) d->prev->next = d->next;
    if (d->next != nullptr) d->next->prev = d->prev;
    d->prev = d->next = nullptr;
    __wglUnlockGlobal();
}

void __wglDestroyDrawable(GlDrawable *d) {
    __wglUnlinkDrawable(d);
    if (d->buffers.freeBuffers != nullptr) d->buffers.freeBuffers(&d->buffers);
    if (d->destroyHook != nullptr) d->destroyHook(d);
    freeDrawableBlocks(d);
}

// A window's drawable is found by its window (and takes the device context it is found with);
// a bitmap's by its memory device context. A drawable whose window is gone is never found.
GlDrawable *__wglFindDrawable(HDC hdc, HWND hwnd) {
    GlDrawable *found = nullptr;
    __wglLockGlobal();
    for (GlDrawable *d = drawableListHead.next; d != nullptr; d = d->next) {
        if (d->flags & kGlDrawableWindowGone) continue;
        if (d->hwnd != nullptr ? d->hwnd == hwnd : (hwnd == nullptr && d->hdc == hdc)) {
            d->hdc = hdc;
            found = d;
            break;
        }
    }
    __wglUnlockGlobal();
    return found;
}

// Drawables still in use live on without their window; the last release frees them.
void __wglDestroyWindowDrawables(HWND hwnd) {
    if (hwnd == nullptr) return;
    __wglLockGlobal();
    GlDrawable *d = drawableListHead.next;
    while (d != nullptr) {
        GlDrawable *next = d->next;
        if (d->hwnd == hwnd) {
            d->hwnd = nullptr;
            d->flags |= kGlDrawableWindowGone;
            if (d->useCount == 0) __wglDestroyDrawable(d);
        }
        d = next;
    }
    __wglUnlockGlobal();
}

void __wglDestroyAllDrawables(void) {
    __wglLockGlobal();
    while (drawableListHead.next != nullptr) __wglDestroyDrawable(drawableListHead.next);
    __wglUnlockGlobal();
}

void __wglUpdateWindowGeometry(GlDrawable *d) {
    if (d->hwnd == nullptr) return;
    LONG cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    POINT origin = {0, 0};
    ClientToScreen(d->hwnd, &origin);
    RECT client = {0, 0, 0, 0};
    GetClientRect(d->hwnd, &client);
    d->originX = origin.x;
    d->originY = origin.y;
    d->clientRect = {client.left + origin.x, client.top + origin.y, client.right + origin.x,
                     client.bottom + origin.y};
    d->width = d->clientRect.right - d->clientRect.left;
    d->height = d->clientRect.bottom - d->clientRect.top;
    if (uint32_t(d->width) > uint32_t(cx)) {
        d->width = cx;
        d->clientRect.right = d->clientRect.left + cx;
    }
    if (uint32_t(d->height) > uint32_t(cy)) {
        d->height = cy;
        d->clientRect.bottom = d->clientRect.top + cy;
    }
    RECT screen = {0, 0, cx, cy};
    IntersectRect(&d->visibleRect, &screen, &d->clientRect);
    d->clipOffsetX = d->clientRect.left - d->visibleRect.left;
    d->clipOffsetY = d->clientRect.top - d->visibleRect.top;
}

bool __wglScreenFrontVisibleBox(const GlContext *ctx, RECT *box) {
    const GlDrawableBuffers *buffers = ctx->tail.drawableBuffers;
    const GlDrawable *d = buffers != nullptr ? buffers->drawable : nullptr;
    if (d == nullptr || d->hwnd == nullptr) return false;
    const GlBufferDescriptor *front = &buffers->descriptors[kGlDescriptorFront];
    if (front->resize != __wglDDrawUpdatePrimary ||
        ctx->buffers.color.front.head.descriptor != front)
        return false;
    const RECT &v = d->visibleRect, &c = d->clientRect;
    if (v.left == c.left && v.top == c.top && v.right == c.right && v.bottom == c.bottom) return false;
    // An empty visible rectangle (the window wholly off the screen) gives an empty box.
    const bool none = v.right <= v.left || v.bottom <= v.top;
    *box = none ? RECT{0, 0, 0, 0} : RECT{v.left - c.left, v.top - c.top, v.right - c.left, v.bottom - c.top};
    return true;
}

BOOL __wglHandleWindowMoved(GlContextHandle *h) {
    GlDrawable *d = h->drawable;
    if (d == nullptr) return FALSE;
    __wglUpdateWindowGeometry(d);
    if (d->movedHook != nullptr) d->movedHook(d);
    if (h->context->procs.resize(h->context, d->width, d->height)) {
        h->windowMoved = 0;
        d->moved = 1;
        d->flags &= ~kGlDrawableBuffersInvalid;
        return TRUE;
    }
    d->flags |= kGlDrawableBuffersInvalid;
    return FALSE;
}

// The size the buffers were last made for is taken and forgotten, so that the resize is not
// skipped as unchanged. Only the context drawing into these buffers is resized. A resize that
// fails (say a surface DirectDraw answered busy for) gives the size back for the next try:
// forgotten, the next try would make every buffer 0 x 0, and the chip would draw and the swap
// show a frame out of buffers of one pixel.
BOOL __wglApplyPendingResize(GlDrawableBuffers *buffers) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx == nullptr || ctx->tail.drawableBuffers != buffers || ctx->procs.resize == nullptr) return FALSE;
    const int32_t width = buffers->bufWidth, height = buffers->bufHeight;
    buffers->bufWidth = buffers->bufHeight = 0;
    const BOOL made = ctx->procs.resize(ctx, width, height);
    if (made != 1) {
        buffers->bufWidth = width;
        buffers->bufHeight = height;
    }
    return made;
}

BOOL __wglRevalidateDrawable(GlContextHandle *h) {
    GlDrawable *d = h->drawable;
    if (d == nullptr) return FALSE;
    BOOL result = __wglApplyPendingResize(&d->buffers);
    if (result == 1)
        d->flags &= ~kGlDrawableBuffersInvalid;
    else
        d->flags |= kGlDrawableBuffersInvalid;
    return result;
}
