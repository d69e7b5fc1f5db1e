// What the other subsystems of the driver may call in the OpenGL API core: the current context,
// the error rule, proc tables and dispatch, context procs and the window-system services.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"
#include "icd/core/context.h"
#include "icd/core/proctable.h"
#include "icd/core/gl_entries.h"

// ---- the current context -----------------------------------------------------------------------
// Byte offset of the current-context slot in the thread environment block (0xE10 + 4 * slot on
// NT, 0x88 + 4 * slot on 9x), and the same slot relative to the thread pointer.
extern uint32_t __glContextSlotOffset;
extern "C" int32_t __glContextSlotTP;
extern GlContext *__glScreenContext;

// The calling thread's current context: one load through %gs.
inline GlContext *__glGetCurrentContext(void) {
    GlContext *ctx;
    __asm__ volatile("movl %%gs:(%1), %0" : "=r"(ctx) : "r"(__glContextSlotTP));
    return ctx;
}
void __wglSetCurrentContext(GlContext *ctx);
// Like __glGetCurrentContext, but attaches a thread that has never been attached.
GlContext *__wglGetCurrentContext(void);

// ---- errors ------------------------------------------------------------------------------------
constexpr GLenum kGlTableTooLarge = 0x8031;
// Records a GL error for the calling thread's current context (the first one since glGetError
// stays); aborts the process when GLERRORABORT is set.
void __glSetError(GLenum code);

// ---- context lifecycle -------------------------------------------------------------------------
GlContext *__glCreateContext(const GlHostProcTable *hostProcs, const GlVisual *visual);
GlContext *__glCreateScreenContext(const GlHostProcTable *hostProcs, const GlVisual *visual);
BOOL __glInitContext(GlContext *ctx);
void __glResetContext(GlContext *ctx);
BOOL __glDestroyContext(GlContext *ctx);
BOOL __glHwDestroyContext(GlContext *ctx);
BOOL __glMakeCurrent(GlContext *ctx);
BOOL __glLoseCurrent(GlContext *ctx);
BOOL __glShareContext(GlContext *ctx, GlContext *other);
BOOL __glResizeContext(GlContext *ctx, int32_t width, int32_t height);
void __glLockBuffers(GlContext *ctx);
void __glUnlockBuffers(GlContext *ctx);
void __glNotifySwap(GlContext *ctx);
GlProcTable *__glGetDispatchTable(GlContext *ctx);
void __glNopProc(GlContext *ctx);
// True for contexts that carry HwState (everything but the screen context).
inline bool __glHasHwState(const GlContext *ctx) { return !ctx->tail.isScreenContext; }

// The host procs every context gets, and the same four allocation operations for the
// window-system layer's own records.
extern GlHostProcTable __wglHostProcs;
void *__wglAlloc(size_t size);
void __wglFree(void *block);

// ---- window-system layer -----------------------------------------------------------------------
BOOL __wglLockGlobal(void);
void __wglUnlockGlobal(void);
GlContextHandle *__wglFindContextHandle(uint32_t id);
GlContextHandle *__wglNextWindowContextHandle(HWND hwnd, GlContextHandle *after);
// The swap glFinish performs when called from inside opengl32's wglSwapBuffers.
BOOL __wglSwapDrawable(GlContext *ctx);
extern uint8_t __wglIsWindows9x;
