// Buffer descriptors of drawables over plain memory, DIB sections and a memory DC's bitmap, and
// the device hooks that build a window's or a bitmap's set of them.
#include "icd/hw/drawable_buffers.h"

#include <climits>
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/state_entries_util.h"
#include "icd/hw/present.h"
#include "icd/raster/color_buffer.h"

namespace {

GlDrawable *drawableOf(GlDrawableBuffers *set) { return set->drawable; }

// Marks the drawable's buffers invalid: the next make-current or lock tries again.
int32_t failResize(GlDrawableBuffers *set) {
    if (set->drawable != nullptr) set->drawable->flags |= kGlDrawableBuffersInvalid;
    return 0;
}

// A descriptor back to nothing, keeping what the depth buffer saved in it across contexts.
void clearDescriptor(GlBufferDescriptor *d) {
    void *saved = d->depthSave;
    std::memset(d, 0, sizeof(*d));
    d->depthSave = saved;
}

void startDescriptor(GlBufferDescriptor *d, int32_t bits) {
    clearDescriptor(d);
    d->bits = bits;
    d->elementSize = __glBytesPerPixel(bits);
}

// Fills a rectangle of 1-, 2- or 4-byte pixels at base/pitch (buffer coordinates, clipped to
// the buffer).
void fillMemory(GlBufferDescriptor *d, uint32_t value, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (d->base == nullptr) return;
    int32_t x1 = x + w, y1 = y + h;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (x1 > d->width) x1 = d->width;
    if (y1 > d->height) y1 = d->height;
    w = x1 - x;
    h = y1 - y;
    if (w <= 0 || h <= 0) return;
    const int32_t bpp = d->elementSize;
    uint8_t *first = d->base + y * d->pitchBytes + x * bpp;
    const int32_t skip = d->pitchBytes - w * bpp;
    switch (bpp) {
    case 1: __glFillRect8(nullptr, first, w, h, skip, value); break;
    case 2: __glFillRect16(nullptr, first, w, h, skip, value); break;
    case 4: __glFillRect32(nullptr, first, w, h, skip, value); break;
    default: break;  // accumulation entries are cleared by their own buffer
    }
}

int32_t colorBitsOf(const GlVisual *v) {
    if (v->colorIndexMode) return v->indexBits;
    return v->redBits + v->greenBits + v->blueBits + v->alphaBits;
}

int32_t accumBitsOf(const GlVisual *v) {
    return v->accumRedBits + v->accumGreenBits + v->accumBlueBits + v->accumAlphaBits;
}

GlBufferDescriptor *descriptor(GlDrawable *dr, GlDescriptorIndex i) { return &dr->buffers.descriptors[i]; }

void initMemFallback(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits) {
    __glInitMemColorBuffer(d, set, bits);
}

}  // namespace

// ---- plain memory ---------------------------------------------------------------------------------

void __glInitMemColorBuffer(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t bits) {
    startDescriptor(d, bits);
    d->resize = __glMemBufferResize;
    d->lock = __glMemBufferLock;
    d->unlock = __glMemBufferUnlock;
    d->fill = __glMemBufferFill;
    d->free = __glMemBufferFree;
}

// The block grows when the drawable needs more and never shrinks; rows are tight.
int32_t __glMemBufferResize(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t, int32_t, uint32_t) {
    GlDrawable *dr = drawableOf(set);
    __wglUpdateWindowGeometry(dr);
    const int64_t need = int64_t(d->elementSize) * (dr->width > 0 ? dr->width : 0) * (dr->height > 0 ? dr->height : 0);
    if (need > INT32_MAX - 31) return failResize(set);
    if (d->storage == nullptr || uint32_t(need) > d->size) {
        void *block = d->storage != nullptr ? set->realloc(nullptr, d->storage, size_t(need) + 31)
                                            : set->alloc(nullptr, size_t(need) + 31);
        if (block == nullptr) return failResize(set);
        d->storage = block;
        d->base = reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(block) + 31) & ~uintptr_t(31));
        d->size = uint32_t(need);
    }
    d->width = dr->width;
    d->height = dr->height;
    d->pitchBytes = dr->width * d->elementSize;
    return 1;
}

BOOL __glMemBufferLock(GlBufferDescriptor *, GlDrawableBuffers *) { return TRUE; }
void __glMemBufferUnlock(GlBufferDescriptor *, GlDrawableBuffers *) {}

void __glMemBufferFill(GlBufferDescriptor *d, GlDrawableBuffers *, uint32_t value, int32_t x, int32_t y, int32_t w,
                       int32_t h) {
    fillMemory(d, value, x, y, w, h);
}

void __glMemBufferFree(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    if (d->storage != nullptr) set->free(nullptr, d->storage);
    clearDescriptor(d);
}

// ---- DIB sections -----------------------------------------------------------------------------------

void __wglInitDibSectionBuffer(GlBufferDescriptor *d, GlDrawableBuffers *, int32_t bits) {
    startDescriptor(d, bits);
    d->resize = __wglDibBufferResize;
    d->lock = __wglDibBufferLock;
    d->unlock = __wglDibBufferUnlock;
    d->fill = __wglDibBufferFill;
    d->free = __wglDibBufferFree;
}

namespace {

void releaseDib(GlDibBufferPrivate *p, GlDrawableBuffers *set) {
    if (p->memoryDc != nullptr) {
        if (p->previous != nullptr) SelectObject(p->memoryDc, p->previous);
        DeleteDC(p->memoryDc);
    }
    if (p->bitmap != nullptr) DeleteObject(p->bitmap);
    if (p->info != nullptr) set->free(nullptr, p->info);
    p->bitmap = nullptr;
    p->previous = nullptr;
    p->info = nullptr;
    p->bits = nullptr;
    p->memoryDc = nullptr;
    p->pitch = p->width = p->height = 0;
}

// The section's pixel size: one bit for the mask, else whole bytes as the buffer reads them (a
// 24-bit depth buffer keeps 4-byte elements).
int32_t dibBitCount(const GlBufferDescriptor *d) {
    if (d->bits <= 1) return 1;
    int32_t bytes = d->elementSize > 0 ? d->elementSize : __glBytesPerPixel(d->bits);
    return bytes == 3 ? 32 : bytes * 8;
}

BOOL makeDib(GlBufferDescriptor *d, GlDrawableBuffers *set, GlDibBufferPrivate *p) {
    GlDrawable *dr = drawableOf(set);
    const int32_t bits = dibBitCount(d);
    const int32_t width = dr->width > 0 ? dr->width : 0, height = dr->height > 0 ? dr->height : 0;
    const int32_t pitch = ((bits * width + 127) / 128) * 16;
    const size_t infoBytes = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
    BITMAPINFO *info = static_cast<BITMAPINFO *>(set->calloc(nullptr, 1, infoBytes));
    if (info == nullptr) return FALSE;
    BITMAPINFOHEADER &h = info->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width == 0 ? 1 : pitch * 8 / bits;
    h.biHeight = -(height + 1);  // top-down, with one spare row
    h.biPlanes = 1;
    h.biBitCount = WORD(bits);
    h.biCompression = BI_RGB;
    UINT usage = DIB_RGB_COLORS;
    uint8_t *table = reinterpret_cast<uint8_t *>(info) + sizeof(BITMAPINFOHEADER);
    if (bits <= 8) {
        usage = DIB_PAL_COLORS;
        for (WORD i = 0; i < (1u << bits); ++i) std::memcpy(table + 2 * i, &i, 2);
    } else if (bits == 16) {
        const GlVisual *v = set->visual;
        const bool masked = v != nullptr && (v->redMask | v->greenMask | v->blueMask) != 0;
        const DWORD masks[3] = {masked ? v->redMask : 0x7C00u, masked ? v->greenMask : 0x03E0u,
                                masked ? v->blueMask : 0x001Fu};
        h.biCompression = BI_BITFIELDS;
        h.biSizeImage = DWORD(pitch) * DWORD(height + 1);
        std::memcpy(table, masks, sizeof masks);
    }
    void *pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dr->hdc, info, usage, &pixels, nullptr, 0);
    HDC memoryDc = bitmap != nullptr ? CreateCompatibleDC(dr->hdc) : nullptr;
    HGDIOBJ previous = memoryDc != nullptr ? SelectObject(memoryDc, bitmap) : nullptr;
    if (bitmap == nullptr || pixels == nullptr || memoryDc == nullptr || previous == nullptr) {
        if (memoryDc != nullptr) DeleteDC(memoryDc);
        if (bitmap != nullptr) DeleteObject(bitmap);
        set->free(nullptr, info);
        return FALSE;
    }
    *p = GlDibBufferPrivate{bitmap, previous, info, static_cast<uint8_t *>(pixels), pitch, memoryDc, width, height};
    return TRUE;
}

}  // namespace

int32_t __wglDibBufferResize(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t, int32_t, uint32_t) {
    GlDrawable *dr = drawableOf(set);
    __wglUpdateWindowGeometry(dr);
    GlDibBufferPrivate *p = static_cast<GlDibBufferPrivate *>(d->privateData);
    if (p == nullptr) {
        p = static_cast<GlDibBufferPrivate *>(set->calloc(nullptr, 1, sizeof(GlDibBufferPrivate)));
        if (p == nullptr) return failResize(set);
        d->privateData = p;
    }
    if (p->bitmap != nullptr && (p->width < dr->width || p->height < dr->height)) releaseDib(p, set);
    if (p->bitmap == nullptr && !makeDib(d, set, p)) {
        d->base = nullptr;
        d->storage = nullptr;
        return failResize(set);
    }
    d->storage = p->bitmap;
    d->base = p->bits;
    d->pitchBytes = p->pitch;
    d->size = uint32_t(p->pitch) * uint32_t(p->height + 1);
    d->width = dr->width;
    d->height = dr->height;
    return 1;
}

BOOL __wglDibBufferLock(GlBufferDescriptor *, GlDrawableBuffers *) { return TRUE; }
void __wglDibBufferUnlock(GlBufferDescriptor *, GlDrawableBuffers *) {}

// Depth and stencil clears reach here with their clear value: the pixels get that value. The
// one-bit mask is painted: 0 black, anything else white.
void __wglDibBufferFill(GlBufferDescriptor *d, GlDrawableBuffers *, uint32_t value, int32_t x, int32_t y, int32_t w,
                        int32_t h) {
    const GlDibBufferPrivate *p = static_cast<const GlDibBufferPrivate *>(d->privateData);
    if (p == nullptr || p->bitmap == nullptr) return;
    if (dibBitCount(d) >= 8) {
        fillMemory(d, value, x, y, w, h);
        return;
    }
    const RECT r{x, y, x + w, y + h};
    FillRect(p->memoryDc, &r, static_cast<HBRUSH>(GetStockObject(value != 0 ? WHITE_BRUSH : BLACK_BRUSH)));
    GdiFlush();
}

void __wglDibBufferFree(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDibBufferPrivate *p = static_cast<GlDibBufferPrivate *>(d->privateData);
    if (p != nullptr) {
        releaseDib(p, set);
        set->free(nullptr, p);
    }
    clearDescriptor(d);
}

// ---- the memory DC's bitmap ---------------------------------------------------------------------------

BOOL __wglInitBitmapColorBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits) {
    startDescriptor(d, bits);
    GlDrawable *dr = drawableOf(set);
    HGDIOBJ bitmap = GetCurrentObject(dr->hdc, OBJ_BITMAP);
    DIBSECTION ds;
    std::memset(&ds, 0, sizeof ds);
    // A device bitmap has no pixels here to draw into: the drawable is refused rather than
    // drawing near address 0.
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof ds, &ds) != int(sizeof ds) || ds.dsBm.bmBits == nullptr ||
        __glBytesPerPixel(ds.dsBm.bmBitsPixel) != d->elementSize || ds.dsBm.bmWidth <= 0 || ds.dsBm.bmHeight <= 0)
        return FALSE;
    if (!__wglSectionFitsVisual(ds, set->visual)) return FALSE;
    d->width = dr->width = ds.dsBm.bmWidth;
    d->height = dr->height = ds.dsBm.bmHeight;
    d->base = static_cast<uint8_t *>(ds.dsBm.bmBits);
    d->pitchBytes = (ds.dsBm.bmWidthBytes + 3) & ~3;
    d->size = uint32_t(d->pitchBytes) * uint32_t(d->height);
    d->storage = bitmap;
    d->privateData = bitmap;
    set->topDown = ds.dsBmih.biHeight < 0;
    d->resize = __wglBitmapBufferResize;
    d->lock = __wglBitmapBufferLock;
    d->unlock = __wglBitmapBufferUnlock;
    return TRUE;
}

// The bitmap's size is the drawable's: nothing to do.
int32_t __wglBitmapBufferResize(GlBufferDescriptor *, GlDrawableBuffers *, int32_t, int32_t, uint32_t) { return 1; }

BOOL __wglBitmapBufferLock(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDrawable *dr = drawableOf(set);
    if (dr == nullptr || GetCurrentObject(dr->hdc, OBJ_BITMAP) != d->privateData) return FALSE;
    // Handle values come back after a delete: the selected bitmap must still be the one whose
    // pixels this descriptor points at, or drawing would write into freed memory. The BITMAP
    // part alone carries the pixels' address and the size, and costs less to fill than the
    // whole section record (this runs for every software primitive). A full answer writes
    // every field.
    BITMAP bm;
    if (GetObjectA(d->privateData, sizeof bm, &bm) != int(sizeof bm)) return FALSE;
    return bm.bmBits == d->base && bm.bmWidth == d->width && bm.bmHeight == d->height;
}

void __wglBitmapBufferUnlock(GlBufferDescriptor *, GlDrawableBuffers *) {}

// ---- device hooks ----------------------------------------------------------------------------------------

BOOL __wglInitWindowBuffers(GlDrawable *dr, const GlVisual *v) {
    GlDrawableBuffers *set = &dr->buffers;
    dr->swap = dr->savedSwap[0] = __glHwSwapBuffers;
    dr->savedSwap[1] = __wglSwapBuffersCopy;
    const int32_t colorBits = v->colorIndexMode ? v->indexBits : v->colorBits;
    GlBufferDescriptor *front = descriptor(dr, kGlDescriptorFront);
    __wglInitDDrawPrimary(front, set);
    // Without DirectDraw the screen offers no surface: the front buffer is the window's own
    // memory, which the copy swap fills and every read and draw finds, rather than a buffer
    // without storage that drawing would write through.
    if (front->resize == nullptr) {
        __glInitMemColorBuffer(front, set, colorBits);
        dr->swap = dr->savedSwap[1];
    }
    if (v->doubleBuffer) __wglInitDDrawBackBuffer(descriptor(dr, kGlDescriptorBack), set, colorBits, initMemFallback);
    // Window buffers on the screen take its top-down rows; a front buffer in memory leaves the
    // window's rows bottom-up, as every memory buffer can be.
    set->topDown = front->resize == __wglDDrawUpdatePrimary;
    if (v->hasAccum) __glInitMemColorBuffer(descriptor(dr, kGlDescriptorAccum), set, accumBitsOf(v));
    if (v->hasDepth)
        __wglInitDDrawDepthBuffer(descriptor(dr, kGlDescriptorDepth), set, v->depthBits, initMemFallback);
    if (v->hasStencil)
        __wglInitDDrawBackBuffer(descriptor(dr, kGlDescriptorStencil), set, v->stencilBits, initMemFallback);
    __wglInitDibSectionBuffer(descriptor(dr, kGlDescriptorAncillary), set, 1);
    return TRUE;
}

// A block the display driver could not take is never handed to it again and the drawable gets
// no hardware swap; it still draws through its other buffers.
BOOL __wglSetupWindowDrawable(GlDrawable *dr, const GlVisual *v) {
    void *block = VirtualAlloc(nullptr, kGlClientBlockBytes, MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) return FALSE;
    ZK_CLIENT_WINDOW_BLOCK *state = static_cast<ZK_CLIENT_WINDOW_BLOCK *>(block);
    state->hwnd = uint32_t(reinterpret_cast<uintptr_t>(dr->hwnd));
    uint32_t address = uint32_t(reinterpret_cast<uintptr_t>(block)), counter = 0;
    const int tracked = ExtEscape(dr->hdc, ESC_WNDOBJ_SETUP, 4, reinterpret_cast<LPCSTR>(&address), 4,
                                  reinterpret_cast<LPSTR>(&counter));
    if (tracked > 0) {
        dr->windowState = state;
    } else {
        VirtualFree(block, 0, MEM_RELEASE);
        dr->windowState = nullptr;
    }
    dr->pixelFormat = GetPixelFormat(dr->hdc);
    __wglInitWindowBuffers(dr, v);
    if (dr->windowState == nullptr) dr->swap = dr->savedSwap[0] = dr->savedSwap[1];
    return TRUE;
}

BOOL __wglCreateBitmapDrawable(GlDrawable *dr, const GlVisual *v) {
    GlDrawableBuffers *set = &dr->buffers;
    if (!__wglInitBitmapColorBuffer(descriptor(dr, kGlDescriptorFront), set, colorBitsOf(v))) return FALSE;
    if (v->hasAccum) __glInitMemColorBuffer(descriptor(dr, kGlDescriptorAccum), set, accumBitsOf(v));
    if (v->hasDepth) __wglInitDibSectionBuffer(descriptor(dr, kGlDescriptorDepth), set, v->depthBits);
    if (v->hasStencil) __wglInitDibSectionBuffer(descriptor(dr, kGlDescriptorStencil), set, v->stencilBits);
    __wglInitDibSectionBuffer(descriptor(dr, kGlDescriptorAncillary), set, 1);
    return TRUE;
}

void __wglFreeDrawableBuffers(GlDrawable *dr) {
    GlDrawableBuffers *set = &dr->buffers;
    for (GlBufferDescriptor &d : set->descriptors) {
        if (d.free != nullptr) d.free(&d, set);
        if (d.depthSave != nullptr) set->free(nullptr, d.depthSave);
        clearDescriptor(&d);
        d.depthSave = nullptr;
    }
}

void __wglDestroyWindowDrawable(GlDrawable *dr) {
    __wglFreeDrawableBuffers(dr);
    GlDrawableClipRects *clip = __wglDrawableClipRects(dr);
    if (clip->rects != nullptr) dr->buffers.free(nullptr, clip->rects);
    *clip = GlDrawableClipRects{0, nullptr};
    if (dr->windowState != nullptr) VirtualFree(dr->windowState, 0, MEM_RELEASE);
    dr->windowState = nullptr;
}

// A window that moved without changing size keeps its buffers, but its front buffer on the screen
// starts elsewhere and the part of it on the screen changed: the front buffer's address is the
// new one at once (what the next lock would give; the chip's surface is chosen from it before
// that lock), and the context drawing into it computes its clip box again before it draws.
void __wglDrawableMoved(GlDrawable *dr) {
    GlBufferDescriptor *front = descriptor(dr, kGlDescriptorFront);
    uint8_t *screen = __wglDDrawProcess().primaryAddress;
    if (front->resize == __wglDDrawUpdatePrimary && screen != nullptr)
        front->base = screen + ptrdiff_t(dr->clientRect.top) * front->pitchBytes +
                      ptrdiff_t(dr->clientRect.left) * front->elementSize;
    GlContext *ctx = __glGetCurrentContext();
    if (ctx == nullptr || ctx->tail.drawableBuffers != &dr->buffers) return;
    if (ctx->buffers.color.front.head.descriptor == front) __glBufferRefresh(&ctx->buffers.color.front.head);
    __glRequestValidation(ctx);
    ctx->dirtyMask |= 0x7FF;
}

// ---- clip rectangles and the ownership mask --------------------------------------------------------------

namespace {
constexpr size_t kClipRectsOffset = (sizeof(GlDrawable) + 3) & ~size_t(3);
static_assert(kClipRectsOffset + sizeof(GlDrawableClipRects) <= kGlDrawableBytes,
              "the clip rectangles live in the drawable record's spare bytes");

bool emptyRect(const RECT &r) { return r.left >= r.right || r.top >= r.bottom; }

// Keeps `n` rectangles as the drawable's list (none when the copy cannot be made).
void keepRects(GlDrawable *dr, const RECT *rects, int32_t n) {
    GlDrawableClipRects *clip = __wglDrawableClipRects(dr);
    clip->count = 0;
    clip->rects = nullptr;
    if (n <= 0) return;
    RECT *copy = static_cast<RECT *>(dr->buffers.alloc(nullptr, size_t(n) * sizeof(RECT)));
    if (copy == nullptr) return;
    std::memcpy(copy, rects, size_t(n) * sizeof(RECT));
    clip->rects = copy;
    clip->count = n;
}

void paintMask(GlDrawable *dr, HRGN owned, const RECT *ownedRect) {
    const GlBufferDescriptor *mask = descriptor(dr, kGlDescriptorAncillary);
    const GlDibBufferPrivate *p =
        mask->resize == __wglDibBufferResize ? static_cast<const GlDibBufferPrivate *>(mask->privateData) : nullptr;
    if (p == nullptr || p->memoryDc == nullptr) return;
    const RECT client{0, 0, dr->clientRect.right - dr->clientRect.left, dr->clientRect.bottom - dr->clientRect.top};
    FillRect(p->memoryDc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    if (owned != nullptr)
        FillRgn(p->memoryDc, owned, white);
    else if (ownedRect != nullptr && !emptyRect(*ownedRect))
        FillRect(p->memoryDc, ownedRect, white);
    GdiFlush();
}
}  // namespace

GlDrawableClipRects *__wglDrawableClipRects(GlDrawable *dr) {
    return reinterpret_cast<GlDrawableClipRects *>(reinterpret_cast<uint8_t *>(dr) + kClipRectsOffset);
}

// A single rectangle is cut to the clip bounds like a list is, so no rectangle reaches outside
// the drawable.
void __wglSetDrawableClipRects(GlDrawable *dr, RGNDATA *region) {
    GlDrawableClipRects *clip = __wglDrawableClipRects(dr);
    if (clip->rects != nullptr) dr->buffers.free(nullptr, clip->rects);
    clip->rects = nullptr;
    clip->count = 0;
    const RECT bounds = dr->clipBounds;
    const int32_t n = region != nullptr ? int32_t(region->rdh.nCount) : 0;
    if (n == 0) {
        keepRects(dr, &bounds, emptyRect(bounds) ? 0 : 1);
        paintMask(dr, nullptr, &bounds);
        return;
    }
    RECT *rects = reinterpret_cast<RECT *>(region->Buffer);
    for (int32_t i = 0; i < n; ++i) {
        rects[i].left -= dr->originX;
        rects[i].right -= dr->originX;
        rects[i].top -= dr->originY;
        rects[i].bottom -= dr->originY;
    }
    if (n == 1) {
        RECT cut;
        if (!IntersectRect(&cut, &rects[0], &bounds)) cut = RECT{0, 0, 0, 0};
        keepRects(dr, &cut, emptyRect(cut) ? 0 : 1);
        paintMask(dr, nullptr, &cut);
        return;
    }
    HRGN owned = CreateRectRgnIndirect(&bounds);
    HRGN list = ExtCreateRegion(nullptr, DWORD(sizeof(RGNDATAHEADER) + size_t(n) * sizeof(RECT)), region);
    if (owned != nullptr && list != nullptr && CombineRgn(owned, owned, list, RGN_AND) != RGN_ERROR) {
        const DWORD bytes = GetRegionData(owned, 0, nullptr);
        RGNDATA *data = bytes != 0 ? static_cast<RGNDATA *>(dr->buffers.alloc(nullptr, bytes)) : nullptr;
        if (data != nullptr && GetRegionData(owned, bytes, data) == bytes)
            keepRects(dr, reinterpret_cast<const RECT *>(data->Buffer), int32_t(data->rdh.nCount));
        if (data != nullptr) dr->buffers.free(nullptr, data);
        paintMask(dr, owned, nullptr);
    }
    if (list != nullptr) DeleteObject(list);
    if (owned != nullptr) DeleteObject(owned);
}
