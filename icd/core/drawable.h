// Drawables (a window, or a bitmap selected into a memory DC) and the buffer record the core
// sees through the host proc getDrawableInfo.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"
#include "icd/core/records.h"

struct GlDrawable;

struct GlDrawableBuffers {
    GlVisual *visual;  // the drawable's own copy
    int32_t bufWidth, bufHeight;
    int32_t topDown;
    int32_t contextState;
    int32_t fullScreen;
    uint32_t changedMask;
    uint32_t descriptors[6][19];  // front, back, accumulation, depth, stencil, ancillary
    void *(*alloc)(GlContext *ctx, size_t size);
    void *(*calloc)(GlContext *ctx, size_t count, size_t size);
    void *(*realloc)(GlContext *ctx, void *block, size_t size);
    void (*free)(GlContext *ctx, void *block);
    void (*addClipRect)(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h);
    void (*setClipBounds)(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h);
    GlDrawable *drawable;
    void (*freeBuffers)(GlDrawableBuffers *buffers);
    uint32_t freeWord;
};

struct GlDrawable {
    GlDrawable *prev, *next;
    HDC hdc;
    HWND hwnd;  // 0 for a bitmap drawable and after the window's destruction
    int32_t originX, originY;
    RECT clientRect;
    RECT visibleRect;
    int32_t clipOffsetX, clipOffsetY;
    int32_t width, height;
    int32_t pixelFormat;
    void *clipList;
    int32_t clipCapacity;
    RECT clipBounds;
    int32_t moved;
    int32_t hasParent;
    uint32_t flags;  // bit 0: buffers invalid; bit 31: its window is gone (never found again)
    uint32_t modeChangeSeen;
    void *windowState;
    uint32_t windowStateSeen;
    void (*destroyHook)(GlDrawable *drawable);
    void (*movedHook)(GlDrawable *drawable);
    BOOL (*swap)(GlDrawable *drawable);
    BOOL (*savedSwap[2])(GlDrawable *drawable);
    GlDrawableBuffers buffers;
    int32_t useCount;  // context handles current with it
};
static_assert(sizeof(GlDrawable) <= 700);

constexpr uint32_t kGlDrawableBuffersInvalid = 0x1;
constexpr uint32_t kGlDrawableWindowGone = 0x80000000u;

void __wglVisualFromPixelFormat(GlVisual *visual, const PIXELFORMATDESCRIPTOR *pfd);
GlDrawable *__wglCreateDrawable(HDC hdc, HWND hwnd, const GlVisual *visual);
void __wglDestroyDrawable(GlDrawable *drawable);
GlDrawable *__wglFindDrawable(HDC hdc, HWND hwnd);
void __wglDestroyWindowDrawables(HWND hwnd);
void __wglUpdateWindowGeometry(GlDrawable *drawable);
BOOL __wglHandleWindowMoved(GlContextHandle *handle);
