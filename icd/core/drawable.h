// Drawables (a window, or a bitmap selected into a memory DC) and the buffer record the core
// sees through the host proc getDrawableInfo; the process-wide drawable list, window geometry,
// the clip list the device layer builds, and the window state the display driver keeps.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/win32/win32.h"
#include "include/zk_escape.h"
#include "icd/core/records.h"
#include "icd/core/buffers.h"

struct GlDrawable;

struct GlDrawableBuffers {
    GlVisual *visual;  // the drawable's own copy
    int32_t bufWidth, bufHeight;  // the size the buffers were last resized to
    int32_t topDown;              // rows run top to bottom (set by the device layer)
    int32_t contextState;
    int32_t fullScreen;
    uint32_t changedMask;  // kGlBuffer* bits of buffers that have storage
    GlBufferDescriptor descriptors[kGlDescriptorCount];
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

// The clip list in the platform's region-data layout: a 32-byte header, then the rectangles.
struct GlClipListHeader {
    DWORD dwSize;    // 32
    DWORD iType;     // 1: rectangles
    DWORD nCount;
    DWORD nRgnSize;  // 16 x nCount
    RECT rcBound;
};
static_assert(sizeof(GlClipListHeader) == 32);
struct GlClipList {
    GlClipListHeader rdh;
    RECT rects[1];  // clipCapacity of them
};
constexpr DWORD kGlClipRectangles = 1;
constexpr size_t kGlClipListBytes(int32_t capacity) { return 36 + 16 * size_t(capacity); }
constexpr int32_t kGlClipInitialCapacity = 4;

struct GlDrawable {
    GlDrawable *prev, *next;
    HDC hdc;
    HWND hwnd;  // 0 for a bitmap drawable and after the window's destruction
    int32_t originX, originY;
    RECT clientRect;   // screen coordinates, size clamped to the screen
    RECT visibleRect;  // clientRect within the screen
    int32_t clipOffsetX, clipOffsetY;
    int32_t width, height;
    int32_t pixelFormat;
    GlClipList *clipList;
    int32_t clipCapacity;
    RECT clipBounds;
    int32_t moved;
    int32_t hasParent;
    uint32_t flags;  // bit 0: buffers invalid; bit 1: the device layer's; bit 31: window gone
    uint32_t modeChangeSeen;
    ZK_CLIENT_WINDOW_BLOCK *windowState;  // kept up to date by the display driver
    uint32_t windowStateSeen;
    void (*destroyHook)(GlDrawable *drawable);
    void (*movedHook)(GlDrawable *drawable);
    BOOL (*swap)(GlDrawable *drawable);
    BOOL (*savedSwap[2])(GlDrawable *drawable);
    GlDrawableBuffers buffers;
    int32_t useCount;  // context handles current with it
};
constexpr size_t kGlDrawableBytes = 700;
static_assert(sizeof(GlDrawable) <= kGlDrawableBytes);
static_assert(sizeof(GlDrawableBuffers) == 4 * 7 + 76 * 6 + 4 * 9);

constexpr uint32_t kGlDrawableBuffersInvalid = 0x1;
constexpr uint32_t kGlDrawableDeviceFlag = 0x2;
// The window is gone: the record lives on only while contexts are current with it and is never
// found again, whatever device context handle value comes back.
constexpr uint32_t kGlDrawableWindowGone = 0x80000000u;

void __wglVisualFromPixelFormat(GlVisual *visual, const PIXELFORMATDESCRIPTOR *pfd);
// Whether a DIB section's pixels are laid out as the visual's: its channel masks (BI_RGB
// sections have the default ones) the visual's wherever the visual names masks. A section laid
// out otherwise (5-6-5 under a 5-5-5 format) would get every pixel drawn into the wrong fields.
inline bool __wglSectionFitsVisual(const DIBSECTION &ds, const GlVisual *v) {
    if (v == nullptr || ds.dsBm.bmBitsPixel < 16 || (v->redMask | v->greenMask | v->blueMask) == 0) return true;
    return ds.dsBitfields[0] == v->redMask && ds.dsBitfields[1] == v->greenMask && ds.dsBitfields[2] == v->blueMask;
}
GlDrawable *__wglCreateDrawable(HDC hdc, HWND hwnd, const GlVisual *visual);
void __wglDestroyDrawable(GlDrawable *drawable);
GlDrawable *__wglFindDrawable(HDC hdc, HWND hwnd);
void __wglLinkDrawable(GlDrawable *drawable);
void __wglUnlinkDrawable(GlDrawable *drawable);
void __wglDestroyWindowDrawables(HWND hwnd);
// Process detach: every drawable still listed goes, whether or not its window is.
void __wglDestroyAllDrawables(void);
void __wglUpdateWindowGeometry(GlDrawable *drawable);
// A window's front buffer on the screen (top-down rows) reaches only as far as the screen: the
// part of the window's box on it, in the drawable's top-down window coordinates. False when the
// context's front buffer is not its window's screen buffer or the whole box is on the screen
// (nothing to cut).
bool __wglScreenFrontVisibleBox(const GlContext *ctx, RECT *box);
BOOL __wglHandleWindowMoved(GlContextHandle *handle);
BOOL __wglRevalidateDrawable(GlContextHandle *handle);
BOOL __wglApplyPendingResize(GlDrawableBuffers *buffers);

// The display driver's window state. The lock gives up (FALSE) when the other side has held the
// lock word for about a tenth of a second: the block is then stale and is not read.
BOOL __wglLockWindowState(GlDrawable *drawable);
void __wglUnlockWindowState(GlDrawable *drawable);
// TRUE once for every change of the block's change counter.
BOOL __wglWindowStateChanged(GlDrawable *drawable);

// The clip procs of the buffer record (x, y in the device layer's bottom-up window coordinates).
void __wglClipAddRect(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h);
void __wglClipSetBounds(GlDrawableBuffers *buffers, int32_t x, int32_t y, int32_t w, int32_t h);
