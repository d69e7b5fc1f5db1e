// The records that join a context to the window-system layer and to the device: host procs,
// context procs, device hooks, the visual and the context handle opengl32 holds.
#pragma once
#include <cstdint>
#include <cstddef>
#include "platform/win32/win32.h"
#include "icd/core/proctable.h"

struct GlContext;
struct GlContextHandle;
struct GlDrawable;
struct GlDrawableBuffers;

// The pixel format as the core sees it.
struct GlVisual {
    uint8_t rgbaMode, colorIndexMode, doubleBuffer, stereo;
    uint8_t hasAccum, hasDepth, hasStencil, reserved0;
    int32_t redBits, greenBits, blueBits, alphaBits;
    uint32_t redMask, greenMask, blueMask, alphaMask;
    int32_t colorBits, indexBits;
    int32_t accumRedBits, accumGreenBits, accumBlueBits, accumAlphaBits, depthBits, stencilBits;
    uint32_t reserved1, reserved2;
    int32_t isBitmap;  // 1 on the copy a memory drawable holds
};
static_assert(sizeof(GlVisual) == 84);

// The procs the window-system layer gives every context; every core allocation goes through
// the first four.
struct GlHostProcs {
    void *(*alloc)(GlContext *ctx, size_t size);
    void *(*calloc)(GlContext *ctx, size_t count, size_t size);
    void *(*realloc)(GlContext *ctx, void *block, size_t size);
    void (*free)(GlContext *ctx, void *block);
    void (*nop)(GlContext *ctx);
    void (*abort)(GlContext *ctx);
    GlDrawableBuffers *(*getDrawableInfo)(GlContext *ctx);
    void (*getDrawableSize)(GlContext *ctx, int32_t *width, int32_t *height);
    void *(*getPrimary)(GlContext *ctx);
};
static_assert(sizeof(GlHostProcs) == 36);

// What context creation copies: the host procs and the handle being created right behind them.
struct GlHostProcTable {
    GlHostProcs procs;
    GlContextHandle *creatingHandle;
};
static_assert(sizeof(GlHostProcTable) == 40);

struct GlContextProcs {
    BOOL (*destroy)(GlContext *ctx);
    BOOL (*loseCurrent)(GlContext *ctx);
    BOOL (*makeCurrent)(GlContext *ctx);
    BOOL (*share)(GlContext *ctx, GlContext *other);
    void (*copy)(GlContext *ctx, GlContext *source, GLbitfield mask);
    void (*notifySwap)(GlContext *ctx);
    BOOL (*resize)(GlContext *ctx, int32_t width, int32_t height);
    BOOL (*resizeAt)(GlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height);
    void (*lock)(GlContext *ctx);
    void (*unlock)(GlContext *ctx);
    GlProcTable *(*getDispatchTable)(GlContext *ctx);
    void (*nop0)(GlContext *ctx);
    void (*nop1)(GlContext *ctx);
};
static_assert(sizeof(GlContextProcs) == 52);

// The only link from the generic core to the device layer; read through one pointer.
struct GlDeviceHooks {
    uint32_t placement;  // 0x04: back buffer in video memory, 0x20: depth buffer in video memory
    uint32_t flags;
    int32_t (*chooseTextureFormat)(GlContext *ctx, GLenum internalFormat);
    BOOL (*processAttach)(DWORD threadId);
    BOOL (*processDetach)(DWORD threadId);
    BOOL (*threadAttach)(DWORD threadId);
    BOOL (*threadDetach)(DWORD threadId);
    void *reserved0;
    void (*initTextureState)(GlContext *ctx);
    GlContext *(*createContext)(const GlHostProcTable *hostProcs, const GlVisual *visual);
    BOOL (*createWindowDrawable)(GlDrawable *drawable, const GlVisual *visual);
    BOOL (*createMemoryDrawable)(GlDrawable *drawable, const GlVisual *visual);
    void (*destroyDrawable)(GlDrawable *drawable);
    void (*drawableMoved)(GlDrawable *drawable);
    void *reserved1;
};
static_assert(sizeof(GlDeviceHooks) == 60);
extern const GlDeviceHooks *const __glDeviceHooks;

// One per context handle (DHGLRC) that opengl32 holds. The fields in their listed order with
// natural alignment need 96 bytes: the descriptor must start on a word, which puts it at 44.
struct GlContextHandle {
    GlContextHandle *prev, *next;
    GlContext *context;
    GlVisual *visual;
    uint8_t isCurrent;
    DWORD ownerThread;  // (DWORD)-1 when not current
    uint8_t madeCurrent;
    uint8_t flag0, flag1;  // 0 and 1 at creation
    uint8_t windowMoved;
    uint8_t flag2;  // 1 at creation
    uint32_t id;
    HWND hwnd;
    HDC hdc;
    PIXELFORMATDESCRIPTOR pfd;
    int32_t pixelFormat;
    GlSetProcTableProc setProcTable;
    GlDrawable *drawable;
};
static_assert(sizeof(GlContextHandle) == 96);
static_assert(offsetof(GlContextHandle, pfd) == 44);
static_assert(offsetof(GlContextHandle, drawable) == 92);
