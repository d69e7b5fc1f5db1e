// Presentation through DirectDraw: the process's DirectDraw object and primary surface, the
// buffer kinds over the primary (a window's front buffer) and over off-screen surfaces (back,
// depth and stencil buffers), recovery from lost and busy surfaces and display-mode changes, the
// visible-region lists, and the two swaps (blits by the chip, or a CPU copy when the back buffer
// fell back to plain memory).
#pragma once
#include <cstdint>
#include "platform/ddraw_nt/ddraw_nt.h"
#include "icd/hw/drawable_buffers.h"

// ---- the process's DirectDraw object -----------------------------------------------------------
struct GlDDrawProcess {
    IDirectDraw *object;
    int32_t refs;
    IDirectDrawSurface *primary;
    uint8_t *primaryAddress;  // the screen origin (what the get-primary host proc answers)
};
GlDDrawProcess &__wglDDrawProcess();
// References the object, creating it and the primary on the first call. Null on failure, with
// the reference not taken.
IDirectDraw *__wglDDrawAllocate();
void __wglDDrawRelease();
void *__wglDDrawPrimaryAddress();
// Releases the primary and makes it again for the current mode.
HRESULT __wglDDrawRemakePrimary();

// Formats "WGL: <step>: DDERROR = <name>" into the last-report buffer (written nowhere else) and
// returns it.
const char *__wglReportDDrawError(const char *step, HRESULT result);
const char *__wglDDrawErrorName(HRESULT result);
const char *__wglLastDDrawReport();

// Buffers left marked to be made again by a refused resize are made now, when nothing has been
// chosen for them yet (validation); a pending mode change is left to the next lock.
void __wglRemakeMarkedBuffers(GlDrawable *dr);

// ---- the primary's private record ----------------------------------------------------------------
struct GlDDrawPrimaryPrivate {
    IDirectDrawClipper *clipper;
    uint8_t *locked;  // the address the outer lock returned
};

// ---- the front buffer ---------------------------------------------------------------------------
int32_t __wglDDrawUpdatePrimary(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h, uint32_t bit);
BOOL __wglDDrawLockPrimary(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDDrawUnlockPrimary(GlBufferDescriptor *d, GlDrawableBuffers *set);
BOOL __wglDDrawLockPrimaryOnly(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDDrawUnlockPrimaryOnly(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDDrawFreePrimary(GlBufferDescriptor *d, GlDrawableBuffers *set);

// ---- off-screen buffers ---------------------------------------------------------------------------
int32_t __wglDDrawUpdateBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h,
                                   uint32_t bit);
int32_t __wglDDrawUpdateDepth(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h, uint32_t bit);
int32_t __wglDDrawBackBufferUpdateHook(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h,
                                       uint32_t bit);
BOOL __wglDDrawLockBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDDrawUnlockBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set);
void __wglDDrawFreeBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set);

// ---- surfaces -------------------------------------------------------------------------------------
// Locks the whole surface once to learn its address and pitch.
BOOL __wglDDrawQuerySurface(GlBufferDescriptor *d);
void __wglDDrawUnlockSurface(GlBufferDescriptor *d);
// Restores a lost surface; one made for another mode is made again.
HRESULT __wglDDrawCheckSurface(GlBufferDescriptor *d, uint32_t bufferBit);
HRESULT __wglDDrawRestoreSurface(GlBufferDescriptor *d, uint32_t bufferBit);

// ---- visible regions ---------------------------------------------------------------------------------
void __wglClientBlockToRgnData(GlDrawable *drawable);
// Takes the window's region again when the display driver changed it (a window stacked above it
// came or went) since the last look: the clip list and the ownership word follow at once, so that
// the drawing about to be chosen or run does not paint over the windows above.
void __wglRefreshWindowRegion(GlDrawable *drawable);
void __wglDDrawUpdateClipList(GlDrawable *drawable, IDirectDrawClipper *clipper);

// Busy answers before a lock restores the surface, and restore-and-retry rounds before it gives up.
constexpr int kGlBusyAttempts = 10;
constexpr int kGlBusyRestoreRounds = 4;
