// Buffer kinds over DirectDraw surfaces: a window's front buffer is its part of the primary
// surface, its back, depth and stencil buffers are off-screen surfaces (falling back to plain
// memory when DirectDraw refuses); the visible-region lists and the two swaps.
#include "icd/hw/present.h"

#include <algorithm>
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/state_entries_util.h"
#include "icd/hw/hw.h"
#include "icd/hw/drawable_buffers.h"

namespace {

struct OffscreenPrivate {
    GlDescriptorInitProc fallback;
    int32_t bits;
    uint32_t bufferBit;  // the bit of the last resize: 0x04 back, 0x20 depth, 0x40 stencil
    bool depth;
    DWORD caps;          // what the surface was made with
};

GlDrawable *drawableOf(GlDrawableBuffers *set) { return set != nullptr ? set->drawable : nullptr; }

int32_t failResize(GlDrawableBuffers *set) {
    if (GlDrawable *dr = drawableOf(set)) dr->flags |= kGlDrawableBuffersInvalid;
    return 0;
}

void clearDescriptor(GlBufferDescriptor *d) {
    void *saved = d->depthSave;
    std::memset(d, 0, sizeof(*d));
    d->depthSave = saved;
}

IDirectDrawSurface *surfaceOf(const GlBufferDescriptor *d) { return static_cast<IDirectDrawSurface *>(d->storage); }
GlDDrawPrimaryPrivate *primaryPrivate(const GlBufferDescriptor *d) {
    return static_cast<GlDDrawPrimaryPrivate *>(d->privateData);
}
OffscreenPrivate *offscreenPrivate(const GlBufferDescriptor *d) { return static_cast<OffscreenPrivate *>(d->privateData); }

DWORD placementCaps(uint32_t bit) {
    const bool video = __glDeviceHooks != nullptr && (__glDeviceHooks->placement & bit) != 0;
    return video ? DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN : DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
}

// The display driver's mode-change counter; a window it does not track never sees one.
uint32_t blockModeCounter(const GlDrawable *dr) {
    return dr->windowState != nullptr ? dr->windowState->modeChangeCounter : dr->modeChangeSeen;
}

void descInit(DDSURFACEDESC *desc) {
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
}

// Whether the primary's pixels have the front buffer's bit count: after a mode change to another
// depth the screen cannot hold the buffers' pixels.
bool primaryHasDepth(IDirectDrawSurface *primary, int32_t bits) {
    DDSURFACEDESC desc;
    descInit(&desc);
    return primary != nullptr && primary->GetSurfaceDesc(&desc) == DD_OK &&
           int32_t(desc.ddpfPixelFormat.dwRGBBitCount) == bits;
}

void repaint(GlDrawable *dr) {
    if (dr->hwnd != nullptr) InvalidateRect(dr->hwnd, nullptr, FALSE);
}

// A resize that was waiting for the buffers is applied; the application is asked to repaint.
void applyPendingResize(GlDrawable *dr, GlDrawableBuffers *set) {
    if (__wglApplyPendingResize(set)) {
        dr->flags &= ~kGlDrawableBuffersInvalid;
        repaint(dr);
    } else {
        dr->flags |= kGlDrawableBuffersInvalid;
    }
}

// After a display-mode change (or a lock that failed for another reason): the buffers are made
// again when the screen still has the colour buffers' depth, and stay marked while it has
// another. The colour buffers' pixels are the screen's, whichever buffer's lock found the change
// (a stencil buffer's pixels are one byte, a depth buffer's need not match).
BOOL modeChangeStep(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDrawable *dr = drawableOf(set);
    HDC screen = GetDC(nullptr);
    const int bpp = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    dr->modeChangeSeen = blockModeCounter(dr);
    const int32_t colourBytes = set->descriptors[kGlDescriptorFront].elementSize;
    if (bpp == (colourBytes != 0 ? colourBytes : d->elementSize) * 8) {
        dr->flags &= ~kGlDrawableDeviceFlag;
        applyPendingResize(dr, set);
    } else {
        dr->flags |= kGlDrawableDeviceFlag;
    }
    return FALSE;
}

// The drawable's buffers were made for the current mode and are not marked.
bool inStepWithMode(const GlDrawable *dr) {
    return blockModeCounter(dr) == dr->modeChangeSeen &&
           (dr->flags & (kGlDrawableBuffersInvalid | kGlDrawableDeviceFlag)) == 0;
}

// Steps before any lock: a mode change, or buffers that are marked.
enum class Gate { Go, Refuse, ModeChange };
Gate lockGate(GlBufferDescriptor *, GlDrawableBuffers *set) {
    GlDrawable *dr = drawableOf(set);
    if (dr == nullptr) return Gate::Refuse;
    if (blockModeCounter(dr) != dr->modeChangeSeen) return Gate::ModeChange;
    const uint32_t marks = dr->flags & (kGlDrawableBuffersInvalid | kGlDrawableDeviceFlag);
    if (marks == 0) return Gate::Go;
    if (marks == kGlDrawableBuffersInvalid) applyPendingResize(dr, set);
    return Gate::Refuse;
}

}  // namespace

// The lock's own repair comes too late for the drawing in hand: that was chosen for the buffers
// of before, so the lock refuses it and the frame is lost although DirectDraw answers again.
// Made here, at validation, the buffers are new before anything is chosen for them.
void __wglRemakeMarkedBuffers(GlDrawable *dr) {
    if (dr == nullptr || (dr->flags & (kGlDrawableBuffersInvalid | kGlDrawableDeviceFlag)) != kGlDrawableBuffersInvalid)
        return;
    // A mode change is the lock's to take (it may leave the buffers marked for another depth).
    if (blockModeCounter(dr) != dr->modeChangeSeen) return;
    applyPendingResize(dr, &dr->buffers);
}

namespace {

// Locks the window's visible rectangle of the primary. Busy answers are waited out a few times,
// then the primary is made again; the rounds are bounded so that a surface that stays busy fails
// the lock instead of hanging the application.
HRESULT lockVisible(GlBufferDescriptor *d, GlDrawable *dr, DDSURFACEDESC *desc) {
    HRESULT r = DDERR_SURFACEBUSY;
    for (int round = 0; round <= kGlBusyRestoreRounds; ++round) {
        IDirectDrawSurface *primary = __wglDDrawProcess().primary;
        if (primary == nullptr) return DDERR_INVALIDOBJECT;
        for (int attempt = 0; attempt < kGlBusyAttempts; ++attempt) {
            descInit(desc);
            r = primary->Lock(&dr->visibleRect, desc, DDLOCK_WAIT, nullptr);
            if (r != DDERR_SURFACEBUSY) return r;
            Sleep(0);
        }
        if (round == kGlBusyRestoreRounds) break;
        r = __wglDDrawRestoreSurface(d, kGlBufferFront);
        if (r != DD_OK) return r;
    }
    return DDERR_SURFACEBUSY;
}

// Base and pitch from a lock of the visible rectangle; the clip region follows the window.
void takeFrontLock(GlBufferDescriptor *d, GlDrawable *dr, const DDSURFACEDESC &desc) {
    GlDDrawPrimaryPrivate *p = primaryPrivate(d);
    p->locked = static_cast<uint8_t *>(desc.lpSurface);
    d->pitchBytes = desc.lPitch;
    d->base = p->locked + ptrdiff_t(dr->clipOffsetX) * d->elementSize + ptrdiff_t(dr->clipOffsetY) * d->pitchBytes;
    if (__wglWindowStateChanged(dr) || dr->moved) {
        __wglClientBlockToRgnData(dr);
        dr->moved = 0;
    }
}

void unlockPrimarySurface(GlBufferDescriptor *d, const char *step) {
    IDirectDrawSurface *primary = __wglDDrawProcess().primary;
    GlDDrawPrimaryPrivate *p = primaryPrivate(d);
    if (primary == nullptr || p == nullptr) return;
    const HRESULT r = primary->Unlock(p->locked);
    if (r != DD_OK) __wglReportDDrawError(step, r);
}

// Whether the window owns fewer pixels than its box: windows stacked above it, or parts of it
// past the screen's edges. Drawing into its front buffer then tests pixel ownership (the
// pickers' front-clip road); a change asks the context drawing into it to choose again.
void noteOwnership(GlDrawable *dr, const RECT *rects, int32_t n) {
    // Only a front buffer on the screen is shared with other windows.
    if (dr->buffers.descriptors[kGlDescriptorFront].resize != __wglDDrawUpdatePrimary) return;
    const bool whole = n == 1 && rects[0].left <= 0 && rects[0].top <= 0 && rects[0].right >= dr->width &&
                       rects[0].bottom >= dr->height;
    // Only a change of the region changes the word (what a caller set stays until then).
    const uint32_t seen = whole ? 0 : kGlDrawableOverlapSeen;
    if ((dr->flags & kGlDrawableOverlapSeen) == seen) return;
    dr->flags = (dr->flags & ~kGlDrawableOverlapSeen) | seen;
    const int32_t state = whole ? 0 : 1;
    dr->buffers.contextState = state;
    GlContext *ctx = __glGetCurrentContext();
    if (ctx != nullptr && ctx->tail.drawableBuffers == &dr->buffers) {
        ctx->buffers.heads.contextState = state;
        __glRequestValidation(ctx);
        ctx->dirtyMask |= 0x7FF;
    }
}

// Keeps `n` rectangles (window coordinates) as the drawable's clip list.
void storeClipList(GlDrawable *dr, const RECT *rects, int32_t n) {
    noteOwnership(dr, rects, n);
    if (n > dr->clipCapacity || dr->clipList == nullptr) {
        void *grown = dr->buffers.realloc(nullptr, dr->clipList, kGlClipListBytes(n));
        if (grown == nullptr) {
            if (dr->clipList != nullptr) dr->clipList->rdh.nCount = 0;
            return;
        }
        dr->clipList = static_cast<GlClipList *>(grown);
        dr->clipCapacity = n;
    }
    GlClipListHeader &h = dr->clipList->rdh;
    h = GlClipListHeader{sizeof(GlClipListHeader), kGlClipRectangles, DWORD(n), DWORD(16 * n), {0, 0, 0, 0}};
    for (int32_t i = 0; i < n; ++i) {
        const RECT &r = rects[i];
        dr->clipList->rects[i] = r;
        if (i == 0) h.rcBound = r;
        if (r.left < h.rcBound.left) h.rcBound.left = r.left;
        if (r.top < h.rcBound.top) h.rcBound.top = r.top;
        if (r.right > h.rcBound.right) h.rcBound.right = r.right;
        if (r.bottom > h.rcBound.bottom) h.rcBound.bottom = r.bottom;
    }
}

void initOffscreen(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits, GlDescriptorInitProc fallback,
                   bool depth) {
    clearDescriptor(d);
    OffscreenPrivate *p = static_cast<OffscreenPrivate *>(set->calloc(nullptr, 1, sizeof(OffscreenPrivate)));
    if (p == nullptr || __wglDDrawAllocate() == nullptr) {
        if (p != nullptr) set->free(nullptr, p);
        fallback(d, set, bits);
        return;
    }
    *p = OffscreenPrivate{fallback, bits, 0, depth, 0};
    d->bits = bits;
    d->elementSize = __glBytesPerPixel(bits);
    d->resize = depth ? __wglDDrawUpdateDepth : __wglDDrawUpdateBackBuffer;
    d->lock = __wglDDrawLockBackBuffer;
    d->unlock = __wglDDrawUnlockBackBuffer;
    d->free = __wglDDrawFreeBuffer;
    d->privateData = p;
}

// A buffer that fell back keeps the record of its DirectDraw kind, so that the next resize
// tries DirectDraw again; freeing it frees both.
void freeFallback(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    OffscreenPrivate *p = offscreenPrivate(d);
    __glMemBufferFree(d, set);
    if (p != nullptr) set->free(nullptr, p);
}

int32_t fallBack(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h, uint32_t bit, const char *step) {
    GlDrawable *dr = drawableOf(set);
    const OffscreenPrivate kept = *offscreenPrivate(d);
    __wglDDrawFreeBuffer(d, set);
    kept.fallback(d, set, kept.bits);
    if (bit == kGlBufferBack && dr != nullptr) dr->swap = dr->savedSwap[1];
    const int32_t result = d->resize != nullptr ? d->resize(d, set, w, h, bit) : 0;
    OffscreenPrivate *p = static_cast<OffscreenPrivate *>(set->calloc(nullptr, 1, sizeof(OffscreenPrivate)));
    if ((result & 0xFF) == 0 || p == nullptr) {
        if (p != nullptr) set->free(nullptr, p);
        __wglReportDDrawError(step, DDERR_GENERIC);
        return failResize(set);
    }
    *p = kept;
    d->privateData = p;
    d->resize = __wglDDrawBackBufferUpdateHook;
    d->free = freeFallback;
    if (dr != nullptr) {
        d->width = dr->width;
        d->height = dr->height;
    }
    return kGlResizeFellBack;
}

int32_t updateOffscreen(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h, uint32_t bit,
                        const char *fallbackStep) {
    OffscreenPrivate *p = offscreenPrivate(d);
    if (p == nullptr) return failResize(set);
    p->bufferBit = bit;
    const int32_t width = w > 0 ? w : 1, height = h > 0 ? h : 1;
    if (IDirectDrawSurface *s = surfaceOf(d)) {
        DDSURFACEDESC desc;
        descInit(&desc);
        HRESULT r = s->GetSurfaceDesc(&desc);
        if (r != DD_OK) {
            __wglReportDDrawError("DDraw: Update: GetSurfaceDesc", r);
            return failResize(set);
        }
        bool kept = false;
        if (int32_t(desc.dwWidth) == width && int32_t(desc.dwHeight) == height)
            kept = __wglDDrawRestoreSurface(d, bit) == DD_OK;
        if (!kept && (s = surfaceOf(d)) != nullptr) {
            d->storage = nullptr;
            d->base = nullptr;
            if (s->Release() != 0) {
                __wglReportDDrawError("DDraw: Update: Release", DDERR_GENERIC);
                return failResize(set);
            }
        }
    }
    if (surfaceOf(d) == nullptr) {
        DDSURFACEDESC desc;
        descInit(&desc);
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        desc.dwHeight = DWORD(height);
        desc.dwWidth = DWORD(width);
        desc.ddsCaps.dwCaps = placementCaps(bit);
        IDirectDraw *dd = __wglDDrawProcess().object;
        IDirectDrawSurface *s = nullptr;
        if (dd == nullptr || dd->CreateSurface(&desc, &s, nullptr) != DD_OK || s == nullptr)
            return fallBack(d, set, w, h, bit, fallbackStep);
        p->caps = desc.ddsCaps.dwCaps;
        d->storage = s;
    }
    d->width = width;
    d->height = height;
    if (!__wglDDrawQuerySurface(d)) return failResize(set);
    __wglDDrawUnlockSurface(d);
    d->size = uint32_t(d->pitchBytes) * uint32_t(d->height);
    return 1;
}

}  // namespace

// ---- the front buffer ------------------------------------------------------------------------------

void __wglInitDDrawPrimary(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    clearDescriptor(d);
    GlDrawable *dr = drawableOf(set);
    if (dr == nullptr) return;
    const uint32_t noted = blockModeCounter(dr);
    if (__wglDDrawAllocate() == nullptr) return;  // no DirectDraw: the front buffer has no storage
    GlDDrawProcess &proc = __wglDDrawProcess();
    DDSURFACEDESC desc;
    HRESULT r = DDERR_SURFACELOST;
    for (int round = 0; round < 5 && r != DD_OK; ++round) {
        __wglDDrawCheckSurface(d, kGlBufferFront);
        if (proc.primary == nullptr) break;
        descInit(&desc);
        r = proc.primary->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
        if (r != DD_OK && r != DDERR_SURFACELOST) break;
    }
    GlDDrawPrimaryPrivate *p =
        r == DD_OK ? static_cast<GlDDrawPrimaryPrivate *>(set->calloc(nullptr, 1, sizeof(GlDDrawPrimaryPrivate)))
                   : nullptr;
    if (r == DD_OK) {
        proc.primaryAddress = static_cast<uint8_t *>(desc.lpSurface);
        const HRESULT u = proc.primary->Unlock(desc.lpSurface);
        if (u != DD_OK) __wglReportDDrawError("__wglInitDDrawPrimary: Unlock", u);
    } else {
        __wglReportDDrawError("__wglInitDDrawPrimary: Lock", r);
    }
    if (p == nullptr) {
        __wglDDrawRelease();
        return;
    }
    d->resize = __wglDDrawUpdatePrimary;
    d->lock = __wglDDrawLockPrimary;
    d->unlock = __wglDDrawUnlockPrimary;
    d->free = __wglDDrawFreePrimary;
    d->storage = proc.primary;
    d->base = nullptr;
    d->bits = int32_t(desc.ddpfPixelFormat.dwRGBBitCount);
    d->pitchBytes = desc.lPitch;
    d->elementSize = __glBytesPerPixel(d->bits);
    d->privateData = p;
    dr->modeChangeSeen = noted;
}

int32_t __wglDDrawUpdatePrimary(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t, int32_t, uint32_t) {
    GlDrawable *dr = drawableOf(set);
    GlDDrawPrimaryPrivate *p = primaryPrivate(d);
    GlDDrawProcess &proc = __wglDDrawProcess();
    if (dr == nullptr || p == nullptr || proc.object == nullptr) return failResize(set);
    __wglUpdateWindowGeometry(dr);
    if (p->clipper == nullptr) {
        HRESULT r = proc.object->CreateClipper(0, &p->clipper, nullptr);
        if (r != DD_OK) {
            p->clipper = nullptr;
            __wglReportDDrawError("Update: CreateClipper", r);
            return failResize(set);
        }
        if ((r = p->clipper->SetHWnd(0, dr->hwnd)) != DD_OK) {
            __wglReportDDrawError("Update: SetHWND", r);
            p->clipper->Release();
            p->clipper = nullptr;
            return failResize(set);
        }
    }
    if (__wglDDrawCheckSurface(d, kGlBufferFront) != DD_OK) return failResize(set);
    d->storage = proc.primary;
    // Read once the primary is made: making it for a new mode enables the display driver's
    // DirectDraw again, which moves the counter by itself.
    const uint32_t noted = blockModeCounter(dr);
    const bool sameDepth = primaryHasDepth(proc.primary, d->bits);
    if (!__wglDDrawLockPrimaryOnly(d, set)) return failResize(set);
    proc.primaryAddress = d->base - ptrdiff_t(dr->clientRect.top) * d->pitchBytes -
                          ptrdiff_t(dr->clientRect.left) * d->elementSize;
    __wglDDrawUnlockPrimaryOnly(d, set);
    d->width = dr->width;
    d->height = dr->height;
    d->size = uint32_t(d->pitchBytes) * uint32_t(dr->height > 0 ? dr->height : 0);
    // The front buffer now lies on the screen of the current mode, and the buffers resized with
    // it are made for that mode too: the drawable has seen this mode. Without this a resize
    // made after a mode change (by the chip's re-initialisation, or a window moved) leaves the
    // old counter in place, and the next lock refuses its frame and makes every buffer again,
    // so that the swap after the change never reaches the screen. A change during the resize
    // is left for the next lock to find. A screen of another depth cannot show the buffers'
    // pixels: the drawable stays marked, every lock refuses, until a mode of the buffers' depth.
    if (!sameDepth) {
        dr->flags |= kGlDrawableDeviceFlag;
    } else if (blockModeCounter(dr) == noted) {
        dr->modeChangeSeen = noted;
        dr->flags &= ~kGlDrawableDeviceFlag;
    }
    return 1;
}

namespace {

BOOL lockPrimaryOnce(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDrawable *dr = drawableOf(set);
    switch (lockGate(d, set)) {
    case Gate::Go: break;
    case Gate::Refuse: return FALSE;
    case Gate::ModeChange: return modeChangeStep(d, set);
    }
    // A child window that moved with its parent is locked again at its new place; the window
    // cannot move away for ever between two looks, so a few rounds are enough.
    for (int moves = 0; moves < 8; ++moves) {
        DDSURFACEDESC desc;
        const HRESULT r = lockVisible(d, dr, &desc);
        if (r == DDERR_SURFACEBUSY) {
            dr->flags |= kGlDrawableBuffersInvalid;
            return FALSE;
        }
        if (r != DD_OK) return modeChangeStep(d, set);
        primaryPrivate(d)->locked = static_cast<uint8_t *>(desc.lpSurface);
        if (blockModeCounter(dr) != dr->modeChangeSeen) {
            unlockPrimarySurface(d, "DDraw: Unlock");
            return modeChangeStep(d, set);
        }
        if (dr->hasParent) {
            POINT origin{0, 0};
            ClientToScreen(dr->hwnd, &origin);
            if (origin.x != dr->originX || origin.y != dr->originY) {
                __wglUpdateWindowGeometry(dr);
                dr->moved = 1;
                unlockPrimarySurface(d, "DDraw: Unlock");
                continue;
            }
        }
        takeFrontLock(d, dr, desc);
        d->lockCount = 1;
        return TRUE;
    }
    dr->flags |= kGlDrawableBuffersInvalid;
    return FALSE;
}

}  // namespace

// A lock of the window's front buffer refused for a cause mended on the spot (the buffers made
// again after an earlier failure, a lost primary restored) is tried once more: the drawing, clear
// or read that found the cause is done rather than dropped, and the program's first read after
// the trouble gets the pixels. The buffers made again may have lost what the frame drew into them
// before, so the frame is still reported (the swap fails, or glFinish says so). A refusal that
// mended nothing (busy past every retry, buffers that could not be made) and one across a
// display-mode change or a new window size stay refusals.
BOOL __wglDDrawLockPrimary(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    if (d->lockCount > 0) {
        ++d->lockCount;
        return TRUE;
    }
    GlDrawable *dr = drawableOf(set);
    if (dr == nullptr) return FALSE;
    const uint32_t seen = dr->modeChangeSeen;
    const int32_t width = dr->width, height = dr->height;
    if (lockPrimaryOnce(d, set)) return TRUE;
    const bool mended = inStepWithMode(dr) && dr->modeChangeSeen == seen && dr->width == width &&
                        dr->height == height;
    if (!mended || !lockPrimaryOnce(d, set)) return FALSE;
    dr->flags |= kGlDrawableFrameLost;
    // The buffers made again may lie elsewhere: the context drawing into them chooses its procs
    // and the chip's surface words again before its next drawing, as after a refusal.
    GlContext *ctx = __glGetCurrentContext();
    if (ctx != nullptr && ctx->tail.drawableBuffers == set) {
        __glRequestValidation(ctx);
        ctx->dirtyMask |= 0x7FF;
    }
    return TRUE;
}

BOOL __wglDDrawLockPrimaryOnly(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDrawable *dr = drawableOf(set);
    for (int moves = 0; moves < 8; ++moves) {
        DDSURFACEDESC desc;
        if (lockVisible(d, dr, &desc) != DD_OK) return FALSE;
        primaryPrivate(d)->locked = static_cast<uint8_t *>(desc.lpSurface);
        POINT origin{0, 0};
        if (dr->hwnd != nullptr) ClientToScreen(dr->hwnd, &origin);
        if (dr->hwnd != nullptr && (origin.x != dr->originX || origin.y != dr->originY)) {
            __wglUpdateWindowGeometry(dr);
            dr->moved = 1;
            unlockPrimarySurface(d, "DDraw: UnlockPrimaryOnly");
            continue;
        }
        takeFrontLock(d, dr, desc);
        return TRUE;
    }
    return FALSE;
}

void __wglDDrawUnlockPrimaryOnly(GlBufferDescriptor *d, GlDrawableBuffers *) {
    unlockPrimarySurface(d, "DDraw: UnlockPrimaryOnly");
}

void __wglDDrawUnlockPrimary(GlBufferDescriptor *d, GlDrawableBuffers *) {
    if (d->lockCount <= 0) return;
    if (--d->lockCount == 0) unlockPrimarySurface(d, "DDraw: Unlock");
}

void __wglDDrawFreePrimary(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    GlDDrawPrimaryPrivate *p = primaryPrivate(d);
    if (p != nullptr) {
        if (p->clipper != nullptr) p->clipper->Release();
        set->free(nullptr, p);
    }
    if (d->resize == __wglDDrawUpdatePrimary) __wglDDrawRelease();
    clearDescriptor(d);
}

// ---- off-screen buffers ----------------------------------------------------------------------------

void __wglInitDDrawBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                              GlDescriptorInitProc fallback) {
    initOffscreen(d, set, bits, fallback, false);
}

void __wglInitDDrawDepthBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t bits,
                               GlDescriptorInitProc fallback) {
    initOffscreen(d, set, bits, fallback, true);
}

int32_t __wglDDrawUpdateBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h,
                                   uint32_t bit) {
    const int32_t result = updateOffscreen(d, set, w, h, bit, "DDraw: Update: UpdateFallback");
    return result;
}

int32_t __wglDDrawUpdateDepth(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h, uint32_t bit) {
    return updateOffscreen(d, set, w, h, bit, "DDraw: UpdateDepth: UpdateFallback");
}

int32_t __wglDDrawBackBufferUpdateHook(GlBufferDescriptor *d, GlDrawableBuffers *set, int32_t w, int32_t h,
                                       uint32_t bit) {
    OffscreenPrivate *p = offscreenPrivate(d);
    if (p == nullptr) return failResize(set);
    const OffscreenPrivate kept = *p;
    __glMemBufferFree(d, set);
    set->free(nullptr, p);
    initOffscreen(d, set, kept.bits, kept.fallback, kept.depth);
    GlDrawable *dr = drawableOf(set);
    if (bit == kGlBufferBack && dr != nullptr && d->resize == __wglDDrawUpdateBackBuffer) dr->swap = dr->savedSwap[0];
    return d->resize != nullptr ? d->resize(d, set, w, h, bit) : failResize(set);
}

BOOL __wglDDrawLockBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    if (d->lockCount > 0) {
        ++d->lockCount;
        return TRUE;
    }
    switch (lockGate(d, set)) {
    case Gate::Go: break;
    case Gate::Refuse: return FALSE;
    case Gate::ModeChange: return modeChangeStep(d, set);
    }
    IDirectDrawSurface *s = surfaceOf(d);
    if (s == nullptr) return FALSE;
    DDSURFACEDESC desc;
    descInit(&desc);
    if (s->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return modeChangeStep(d, set);
    GlDrawable *dr = drawableOf(set);
    if (blockModeCounter(dr) != dr->modeChangeSeen) {
        s->Unlock(desc.lpSurface);
        return modeChangeStep(d, set);
    }
    d->base = static_cast<uint8_t *>(desc.lpSurface);
    d->pitchBytes = desc.lPitch;
    d->lockCount = 1;
    return TRUE;
}

void __wglDDrawUnlockBackBuffer(GlBufferDescriptor *d, GlDrawableBuffers *) {
    if (d->lockCount <= 0) return;
    if (--d->lockCount == 0 && surfaceOf(d) != nullptr) {
        const HRESULT r = surfaceOf(d)->Unlock(d->base);
        if (r != DD_OK) __wglReportDDrawError("DDraw: Unlock", r);
    }
}

void __wglDDrawFreeBuffer(GlBufferDescriptor *d, GlDrawableBuffers *set) {
    if (IDirectDrawSurface *s = surfaceOf(d)) s->Release();
    d->storage = nullptr;
    d->base = nullptr;
    __wglDDrawRelease();
    if (d->privateData != nullptr) set->free(nullptr, d->privateData);
    clearDescriptor(d);
}

// ---- surfaces ------------------------------------------------------------------------------------------

BOOL __wglDDrawQuerySurface(GlBufferDescriptor *d) {
    IDirectDrawSurface *s = surfaceOf(d);
    if (s == nullptr) return FALSE;
    DDSURFACEDESC desc;
    descInit(&desc);
    if (s->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr) != DD_OK) return FALSE;
    d->base = static_cast<uint8_t *>(desc.lpSurface);
    d->pitchBytes = desc.lPitch;
    return TRUE;
}

void __wglDDrawUnlockSurface(GlBufferDescriptor *d) {
    if (IDirectDrawSurface *s = surfaceOf(d)) {
        const HRESULT r = s->Unlock(d->base);
        if (r != DD_OK) __wglReportDDrawError("DDraw: Unlock", r);
    }
}

HRESULT __wglDDrawCheckSurface(GlBufferDescriptor *d, uint32_t bufferBit) {
    IDirectDrawSurface *s = bufferBit == kGlBufferFront ? __wglDDrawProcess().primary : surfaceOf(d);
    // A primary that could not be made again last time is tried once more.
    if (s == nullptr && bufferBit == kGlBufferFront) return __wglDDrawRestoreSurface(d, bufferBit);
    if (s == nullptr) return DDERR_INVALIDOBJECT;
    HRESULT r = s->IsLost();
    if (r == DD_OK) return DD_OK;
    if (r != DDERR_SURFACELOST) {
        __wglReportDDrawError("DDraw: RestoreSurface: IsLost", r);
        return r;
    }
    r = s->Restore();
    if (r == DDERR_WRONGMODE) return __wglDDrawRestoreSurface(d, bufferBit);
    if (r != DD_OK) __wglReportDDrawError("DDraw: RestoreSurface: Restore: failed", r);
    return r;
}

HRESULT __wglDDrawRestoreSurface(GlBufferDescriptor *d, uint32_t bufferBit) {
    if (bufferBit == kGlBufferFront) {
        const HRESULT r = __wglDDrawRemakePrimary();
        d->storage = __wglDDrawProcess().primary;
        return r;
    }
    IDirectDrawSurface *s = surfaceOf(d);
    IDirectDraw *dd = __wglDDrawProcess().object;
    if (s == nullptr || dd == nullptr) return DDERR_INVALIDOBJECT;
    DDSURFACEDESC desc;
    descInit(&desc);
    HRESULT r = s->GetSurfaceDesc(&desc);
    if (r != DD_OK) {
        __wglReportDDrawError("DDraw: RestoreSurface: GetSurfaceDesc", r);
        return r;
    }
    d->storage = nullptr;
    d->base = nullptr;
    if (s->Release() != 0) {
        __wglReportDDrawError("DDraw: RestoreSurface: Release", DDERR_GENERIC);
        return DDERR_GENERIC;
    }
    DDSURFACEDESC make;
    descInit(&make);
    make.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    make.dwWidth = desc.dwWidth;
    make.dwHeight = desc.dwHeight;
    const OffscreenPrivate *p = offscreenPrivate(d);
    make.ddsCaps.dwCaps = placementCaps(p != nullptr && p->depth ? kGlBufferDepth : kGlBufferBack);
    if (p != nullptr && p->caps != 0) make.ddsCaps.dwCaps = p->caps;
    IDirectDrawSurface *made = nullptr;
    r = dd->CreateSurface(&make, &made, nullptr);
    if (r != DD_OK) {
        __wglReportDDrawError("DDraw: RestoreSurface: CreateSurface", r);
        return r;
    }
    d->storage = made;
    return DD_OK;
}

// ---- visible regions ------------------------------------------------------------------------------------

// The rectangles are taken under the block's lock word, so a region the display driver is
// rewriting is never read half old, half new.
void __wglClientBlockToRgnData(GlDrawable *dr) {
    ZK_CLIENT_WINDOW_BLOCK *block = dr->windowState;
    if (block == nullptr || !__wglLockWindowState(dr)) return;
    const uint32_t count = block->rectCount < ZK_WINDOW_MAX_RECTS ? block->rectCount : ZK_WINDOW_MAX_RECTS;
    const size_t bytes = sizeof(RGNDATAHEADER) + (count != 0 ? count : 1) * sizeof(RECT);
    RGNDATA *region = static_cast<RGNDATA *>(dr->buffers.alloc(nullptr, bytes));
    if (region == nullptr) {
        __wglUnlockWindowState(dr);
        return;
    }
    RECT *rects = reinterpret_cast<RECT *>(region->Buffer);
    for (uint32_t i = 0; i < count; ++i)
        rects[i] = RECT{block->rects[i].left, block->rects[i].top, block->rects[i].right, block->rects[i].bottom};
    __wglUnlockWindowState(dr);
    region->rdh = RGNDATAHEADER{32, RDH_RECTANGLES, count, 0, {0, 0, 0, 0}};
    if (count == 0) {
        __wglSetDrawableClipRects(dr, nullptr);
        const RECT whole = dr->clipBounds;
        storeClipList(dr, &whole, 1);
    } else {
        __wglSetDrawableClipRects(dr, region);  // moves the rectangles to window coordinates
        storeClipList(dr, rects, int32_t(count));
    }
    dr->buffers.free(nullptr, region);
}

void __wglRefreshWindowRegion(GlDrawable *dr) {
    if (dr != nullptr && dr->windowState != nullptr && __wglWindowStateChanged(dr)) __wglClientBlockToRgnData(dr);
}

namespace {
// The clipper's region for `area` (screen coordinates), or null; the caller frees it.
RGNDATA *clipperRegion(GlDrawable *dr, IDirectDrawClipper *clipper, const RECT *area, const char *sizeStep,
                       const char *dataStep) {
    DWORD size = 0;
    HRESULT r = clipper->GetClipList(area, nullptr, &size);
    if (r != DD_OK) {
        __wglReportDDrawError(sizeStep, r);
        return nullptr;
    }
    if (size == 0) return nullptr;
    RGNDATA *data = static_cast<RGNDATA *>(dr->buffers.alloc(nullptr, size));
    if (data == nullptr) return nullptr;
    if ((r = clipper->GetClipList(area, data, &size)) != DD_OK) {
        __wglReportDDrawError(dataStep, r);
        dr->buffers.free(nullptr, data);
        return nullptr;
    }
    return data;
}
}  // namespace

void __wglDDrawUpdateClipList(GlDrawable *dr, IDirectDrawClipper *clipper) {
    const RECT bounds{dr->clipBounds.left + dr->originX, dr->clipBounds.top + dr->originY,
                      dr->clipBounds.right + dr->originX, dr->clipBounds.bottom + dr->originY};
    RGNDATA *cut = clipperRegion(dr, clipper, &bounds, "DDraw: UpdateClipList: GetClipList (1)",
                                 "DDraw: UpdateClipList: GetClipList (2)");
    __wglSetDrawableClipRects(dr, cut != nullptr && cut->rdh.nCount != 0 ? cut : nullptr);
    if (cut != nullptr) dr->buffers.free(nullptr, cut);
    const RECT client{dr->originX, dr->originY, dr->originX + dr->width, dr->originY + dr->height};
    RGNDATA *whole = clipperRegion(dr, clipper, &client, "DDraw: UpdateClipList: GetClipList (3)",
                                   "DDraw: UpdateClipList: GetClipList (4)");
    if (whole == nullptr) {
        const RECT all{0, 0, dr->width, dr->height};
        storeClipList(dr, &all, 1);
        return;
    }
    RECT *rects = reinterpret_cast<RECT *>(whole->Buffer);
    const int32_t n = int32_t(whole->rdh.nCount);
    for (int32_t i = 0; i < n; ++i)
        rects[i] = RECT{rects[i].left - dr->originX, rects[i].top - dr->originY, rects[i].right - dr->originX,
                        rects[i].bottom - dr->originY};
    storeClipList(dr, rects, n);
    dr->buffers.free(nullptr, whole);
}

// ---- swaps ----------------------------------------------------------------------------------------------

namespace {
struct WindowSnapshot {
    uint32_t kind;
    int32_t originX, originY;
    uint32_t count;
    ZK_RECTL rects[ZK_WINDOW_MAX_RECTS];
};

// Kind, origin and rectangles copied under the lock word. The origin's halves are signed: a
// window reaching past the top or left edge of the screen has a negative origin. The change
// counter is left to the region's refresh (the front buffer's lock, the next chip primitive):
// taking it here would hide the change from them, and the clip list and the ownership of the
// front buffer would stay those of before.
bool snapshotWindow(GlDrawable *dr, WindowSnapshot *s) {
    ZK_CLIENT_WINDOW_BLOCK *block = dr->windowState;
    if (block == nullptr || !__wglLockWindowState(dr)) return false;
    s->kind = block->changeKind;
    s->originX = int16_t(block->clientOrigin >> 16);
    s->originY = int16_t(block->clientOrigin & 0xFFFF);
    s->count = block->rectCount < ZK_WINDOW_MAX_RECTS ? block->rectCount : ZK_WINDOW_MAX_RECTS;
    std::memcpy(s->rects, block->rects, s->count * sizeof(ZK_RECTL));
    __wglUnlockWindowState(dr);
    return true;
}
}  // namespace

// A window with nothing visible swaps successfully without copying anything; a frame that lost
// drawing is not presented and the swap fails.
BOOL __glHwSwapBuffers(GlDrawable *dr) {
    if (__glTakeFrameLost(dr)) return FALSE;
    GlDrawableBuffers *set = &dr->buffers;
    GlBufferDescriptor *front = &set->descriptors[kGlDescriptorFront];
    GlBufferDescriptor *back = &set->descriptors[kGlDescriptorBack];
    // A primary that could not be made again (say while DirectDraw answered busy) is made by the
    // front buffer's lock: the swap fails, but it does not keep failing once DirectDraw answers.
    if (back->storage == nullptr) return FALSE;
    static thread_local WindowSnapshot s;
    if (!snapshotWindow(dr, &s)) return FALSE;
    set->fullScreen = (s.kind & ZK_WINDOW_FULL_SCREEN) != 0;
    dr->originX = s.originX;
    dr->originY = s.originY;
    const uint32_t kind = s.kind & ~uint32_t(ZK_WINDOW_FULL_SCREEN);
    if (kind == ZK_WINDOW_INVISIBLE) return TRUE;
    // A window over the whole screen is blitted without a lock of the front buffer, but only
    // while its buffers belong to the current mode: else the lock's mode-change step runs and
    // refuses the swap, rather than the blit reading a surface the old mode took with it.
    const bool lockFront = !set->fullScreen || !inStepWithMode(dr);
    if (lockFront && (front->lock == nullptr || !front->lock(front, set))) return FALSE;
    // A visible rectangle is cut to the drawable and to the back buffer: a window larger than the
    // screen has buffers of the screen's size, and the part of it beyond them has no pixels to
    // show; a back buffer not (yet) made at the window's size is never read past its end.
    const int32_t shownW = std::min<int32_t>(dr->width, back->width);
    const int32_t shownH = std::min<int32_t>(dr->height, back->height);
    // The rectangles are cut first, so that the last one blitted (not the list's last, which may
    // lie wholly beyond the buffer) kicks off the blits queued before it: else they would wait
    // in the command buffer for the next frame's commands.
    uint32_t shown = 0;
    auto cut = [&](const ZK_RECTL &r) {
        ZK_RECTL &c = s.rects[shown];
        c = ZK_RECTL{std::max<int32_t>(r.left, s.originX), std::max<int32_t>(r.top, s.originY),
                     std::min<int32_t>(r.right, s.originX + shownW), std::min<int32_t>(r.bottom, s.originY + shownH)};
        if (c.left < c.right && c.top < c.bottom) ++shown;
    };
    switch (kind) {
    case ZK_WINDOW_WHOLE_CLIENT: __glHwScreenBlit(shownW, shownH, 0, 0, s.originX, s.originY, 0); break;
    case ZK_WINDOW_ONE_RECT:
    case ZK_WINDOW_RECT_LIST:
        for (uint32_t i = 0, listed = kind == ZK_WINDOW_ONE_RECT ? std::min<uint32_t>(s.count, 1) : s.count; i < listed; ++i)
            cut(s.rects[i]);
        for (uint32_t i = 0; i < shown; ++i) {
            const ZK_RECTL &r = s.rects[i];
            __glHwScreenBlit(r.right - r.left, r.bottom - r.top, r.left - s.originX, r.top - s.originY, r.left, r.top,
                             BOOL(i + 1 < shown));
        }
        break;
    default: break;
    }
    if (lockFront && front->unlock != nullptr) front->unlock(front, set);
    return TRUE;
}

BOOL __wglSwapBuffersCopy(GlDrawable *dr) {
    if (__glTakeFrameLost(dr)) return FALSE;
    GlDrawableBuffers *set = &dr->buffers;
    GlBufferDescriptor *front = &set->descriptors[kGlDescriptorFront];
    GlBufferDescriptor *back = &set->descriptors[kGlDescriptorBack];
    if (front->lock == nullptr || !front->lock(front, set)) return FALSE;
    const GlDDrawPrimaryPrivate *p = front->resize == __wglDDrawUpdatePrimary ? primaryPrivate(front) : nullptr;
    // Without the display driver's tracking the clipper is the only account of what is visible.
    if (p != nullptr && p->clipper != nullptr && (dr->windowState == nullptr || __wglWindowStateChanged(dr)))
        __wglDDrawUpdateClipList(dr, p->clipper);
    // A front buffer in memory belongs to the window alone: all of it is the one rectangle.
    const bool ownMemory = front->resize == __glMemBufferResize;
    const RECT whole{0, 0, dr->width, dr->height};
    const RECT *rects = ownMemory ? &whole : (dr->clipList != nullptr ? dr->clipList->rects : nullptr);
    const DWORD count = ownMemory ? 1 : (dr->clipList != nullptr ? dr->clipList->rdh.nCount : 0);
    if (front->base != nullptr && back->base != nullptr && rects != nullptr) {
        const int32_t bpp = front->elementSize;
        int32_t maxX = back->width < dr->width ? back->width : dr->width;
        int32_t maxY = back->height < dr->height ? back->height : dr->height;
        if (ownMemory) {
            maxX = front->width < maxX ? front->width : maxX;
            maxY = front->height < maxY ? front->height : maxY;
        }
        for (DWORD i = 0; i < count; ++i) {
            RECT r = rects[i];
            if (r.left < 0) r.left = 0;
            if (r.top < 0) r.top = 0;
            if (r.right > maxX) r.right = maxX;
            if (r.bottom > maxY) r.bottom = maxY;
            if (r.left >= r.right || r.top >= r.bottom) continue;
            const size_t rowBytes = size_t(r.right - r.left) * size_t(bpp);
            for (int32_t y = r.top; y < r.bottom; ++y)
                std::memmove(front->base + ptrdiff_t(y) * front->pitchBytes + ptrdiff_t(r.left) * bpp,
                             back->base + ptrdiff_t(y) * back->pitchBytes + ptrdiff_t(r.left) * back->elementSize,
                             rowBytes);
        }
    }
    if (front->unlock != nullptr) front->unlock(front, set);
    return TRUE;
}
