// The device side of drawables: the device hooks that give a window or a memory bitmap its
// buffer descriptors (front, back, accumulation, depth, stencil and the one-bit ownership mask),
// the buffer kinds over plain memory, DIB sections and the memory DC's own bitmap, the window's
// client block that the display driver keeps up to date, and the drawable's clip rectangles.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"
#include "icd/core/drawable.h"

// Every buffer kind's init: clears the descriptor and installs the kind's procs; memory is
// allocated by the first resize.
typedef void (*GlDescriptorInitProc)(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits);

// A drawing, clear or read of the frame found the drawable's buffers unusable and was dropped
// (after one retry): the next swap presents nothing and fails, so that a frame not drawn is never
// reported as shown. The swap clears the mark.
constexpr uint32_t kGlDrawableFrameLost = 0x4;
// The window's region, when last taken, left it owning less than its box (windows above it or
// the screen's edges): the ownership word follows changes of this.
constexpr uint32_t kGlDrawableOverlapSeen = 0x8;
// Takes the mark: true when the frame since the last swap lost drawing.
inline bool __glTakeFrameLost(GlDrawable *dr) {
    const bool lost = (dr->flags & kGlDrawableFrameLost) != 0;
    dr->flags &= ~kGlDrawableFrameLost;
    return lost;
}

constexpr uint32_t kGlClientBlockBytes = 8192;  // the display driver tracks the first 4096
constexpr int32_t kGlResizeFellBack = 0x10;     // resized, after falling back to another kind

// Bytes per pixel of a bit count: (bits - 1) / 8 + 1.
constexpr int32_t __glBytesPerPixel(int32_t bits) { return bits > 0 ? (bits - 1) / 8 + 1 : 0; }

// ---- plain memory ---------------------------------------------------------------------------
void __glInitMemColorBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits);
int32_t __glMemBufferResize(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t width, int32_t height,
                            uint32_t bufferBit);
BOOL __glMemBufferLock(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __glMemBufferUnlock(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __glMemBufferFill(GlBufferDescriptor *d, GlDrawableBuffers *set, uint32_t value, int32_t x, int32_t y,
                       int32_t width, int32_t height);
void __glMemBufferFree(GlBufferDescriptor *d, GlDrawableBuffers *set);

// ---- DIB sections (top-down, one spare row, rows a multiple of 16 bytes) ---------------------
struct GlDibBufferPrivate {
    HBITMAP bitmap;
    HGDIOBJ previous;  // what the memory DC held before the bitmap
    BITMAPINFO *info;
    uint8_t *bits;
    int32_t pitch;
    HDC memoryDc;
    int32_t width, height;  // the drawable size the bitmap was made for
};
void __wglInitDibSectionBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits);
int32_t __wglDibBufferResize(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t width, int32_t height,
                             uint32_t bufferBit);
BOOL __wglDibBufferLock(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDibBufferUnlock(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDibBufferFill(GlBufferDescriptor *d, GlDrawableBuffers *set, uint32_t value, int32_t x, int32_t y,
                        int32_t width, int32_t height);
void __wglDibBufferFree(GlBufferDescriptor *d, GlDrawableBuffers *set);

// ---- the bitmap selected into a memory DC ----------------------------------------------------
// FALSE when the bitmap has no pixels this process can address (a device bitmap) or a pixel
// size other than the visual's.
BOOL __wglInitBitmapColorBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits);
int32_t __wglBitmapBufferResize(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t width, int32_t height,
                                uint32_t bufferBit);
// FALSE once another bitmap has been selected into the DC (the old pixels may be gone).
BOOL __wglBitmapBufferLock(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglBitmapBufferUnlock(GlBufferDescriptor *d, GlDrawableBuffers *set);

// ---- device hooks and drawable-wide operations -------------------------------------------------
BOOL __wglSetupWindowDrawable(GlDrawable *drawable, const GlVisual *visual);
BOOL __wglCreateBitmapDrawable(GlDrawable *drawable, const GlVisual *visual);
void __wglDestroyWindowDrawable(GlDrawable *drawable);
BOOL __wglInitWindowBuffers(GlDrawable *drawable, const GlVisual *visual);
// The free proc of every descriptor that has one, then the depth buffer's saved state.
void __wglFreeDrawableBuffers(GlDrawable *drawable);

// The drawable's clip rectangles in window coordinates (top-down, right and bottom exclusive),
// kept in the drawable record behind its buffer record.
struct GlDrawableClipRects {
    int32_t count;
    RECT *rects;
};
GlDrawableClipRects *__wglDrawableClipRects(GlDrawable *drawable);
// Takes the visible region (screen coordinates; moved to window coordinates in place) or none
// (the clip bounds), keeps its rectangles cut to the clip bounds and paints the ownership mask.
void __wglSetDrawableClipRects(GlDrawable *drawable, RGNDATA *region);

// ---- the presentation layer's kinds and swaps ------------------------------------------------
void __wglInitDDrawPrimary(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglInitDDrawBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                              GlDescriptorInitProc fallback);
void __wglInitDDrawDepthBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                               GlDescriptorInitProc fallback);
BOOL __glHwSwapBuffers(GlDrawable *drawable);
BOOL __wglSwapBuffersCopy(GlDrawable *drawable);
