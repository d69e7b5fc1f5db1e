// The exports through which opengl32 creates, makes current, shares, swaps and deletes
// contexts. Every handle lookup and ownership test that decides what happens is made under the
// process-wide mutex.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/wgl.h"
#include "icd/core/drv_exports.h"
#include "icd/core/drawable.h"

namespace {
struct HeldMutex {
    HeldMutex() { __wglLockGlobal(); }
    ~HeldMutex() { __wglUnlockGlobal(); }
};

template <class T>
T failWith(DWORD code, T result) {
    SetLastError(code);
    return result;
}

// Makes the screen context current again on this thread. The caller holds the mutex.
BOOL loseCurrentContext(GlContext *cur) {
    if (cur == nullptr || cur == __glScreenContext) return TRUE;
    GlContextHandle *ch = cur->handle;
    GlDrawable *d = ch->drawable;
    if (!cur->procs.loseCurrent(cur)) return FALSE;
    ch->drawable = nullptr;
    ch->isCurrent = 0;
    ch->ownerThread = DWORD(-1);
    ch->hwnd = nullptr;
    ch->hdc = nullptr;
    __wglSetCurrentContext(__glScreenContext);
    if (d != nullptr) {
        d->useCount -= 1;
        // A drawable whose window is gone lives only while contexts are current with it.
        if ((d->flags & kGlDrawableWindowGone) && d->useCount == 0) __wglDestroyDrawable(d);
    }
    return TRUE;
}

// Whether a memory DC's drawable still describes the bitmap its DC holds: its front buffer locks
// only on the bitmap (and pixels) it was made for.
bool memoryDrawableStillHolds(GlDrawable *d) {
    GlBufferDescriptor *front = &d->buffers.descriptors[kGlDescriptorFront];
    if (front->lock == nullptr) return true;
    if (!front->lock(front, &d->buffers)) return false;
    // The same pixels' address and size can come back in a section of another layout.
    DIBSECTION ds;
    std::memset(&ds, 0, sizeof ds);
    if (GetObjectA(GetCurrentObject(d->hdc, OBJ_BITMAP), sizeof ds, &ds) == int(sizeof ds) &&
        !__wglSectionFitsVisual(ds, d->buffers.visual)) {
        if (front->unlock != nullptr) front->unlock(front, &d->buffers);
        return false;
    }
    if (front->unlock != nullptr) front->unlock(front, &d->buffers);
    return true;
}

BOOL createDeviceContext(GlContextHandle *h) {
    GlVisual *visual = static_cast<GlVisual *>(__wglAlloc(sizeof(GlVisual)));
    if (visual == nullptr) return FALSE;
    __wglVisualFromPixelFormat(visual, &h->pfd);
    h->visual = visual;
    __wglHostProcs.creatingHandle = h;
    h->context = __glDeviceHooks->createContext(&__wglHostProcs, visual);
    __wglHostProcs.creatingHandle = nullptr;
    if (h->context == nullptr) {
        __wglFree(visual);
        h->visual = nullptr;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

BOOL WINAPI DrvValidateVersion(ULONG version) { return version <= 0x10000; }

DHGLRC WINAPI DrvCreateContext(HDC hdc) { return DrvCreateLayerContext(hdc, 0); }

DHGLRC WINAPI DrvCreateLayerContext(HDC hdc, int layerPlane) {
    int pf = GetPixelFormat(hdc);
    __wglEnsureThreadAttached();
    if (pf == 0) return failWith<DHGLRC>(kWglErrPixelFormat, 0);
    GlContextHandle *h = static_cast<GlContextHandle *>(__wglAlloc(sizeof(GlContextHandle)));
    if (h == nullptr) return failWith<DHGLRC>(kWglErrNoMemory, 0);
    if (DescribePixelFormat(hdc, pf, sizeof(PIXELFORMATDESCRIPTOR), &h->pfd) == 0) {
        __wglFree(h);
        return failWith<DHGLRC>(kWglErrDescribe, 0);
    }
    h->pfd.iLayerType = 0;
    if (layerPlane != 0) {
        LAYERPLANEDESCRIPTOR lpd;
        std::memset(&lpd, 0, sizeof(lpd));
        if (!DrvDescribeLayerPlane(hdc, pf, layerPlane, sizeof(lpd), &lpd)) {
            __wglFree(h);
            return failWith<DHGLRC>(kWglErrDescribe, 0);
        }
        h->pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
        h->pfd.nVersion = 1;
        h->pfd.dwFlags = 0xA4;
        std::memcpy(&h->pfd.iPixelType, &lpd.iPixelType, 18);
        h->pfd.iLayerType = BYTE(layerPlane);
        h->pfd.dwVisibleMask = lpd.crTransparent;
    }
    HeldMutex lock;
    h->isCurrent = 0;
    h->ownerThread = DWORD(-1);
    h->pixelFormat = pf;
    h->madeCurrent = 0;
    h->flag0 = 0;
    h->windowMoved = 1;
    h->flag2 = 1;
    h->flag1 = 1;
    h->id = __wglNextHandleId++;
    if (!createDeviceContext(h)) {
        __wglFree(h);
        return failWith<DHGLRC>(kWglErrContext, 0);
    }
    __wglLinkContextHandle(h);
    return h->id;
}

BOOL WINAPI DrvDeleteContext(DHGLRC dhglrc) {
    HeldMutex lock;
    GlContextHandle *h = dhglrc != 0 ? __wglFindContextHandle(uint32_t(dhglrc)) : nullptr;
    if (h == nullptr) return failWith<BOOL>(kWglErrBadHandle, FALSE);
    if (h->isCurrent && h->ownerThread != GetCurrentThreadId()) return FALSE;
    // A context current on this thread is released first, so that the thread's slot never
    // points at a freed record.
    if (h->isCurrent && !loseCurrentContext(h->context)) return failWith<BOOL>(kWglErrContext, FALSE);
    if (!h->context->procs.destroy(h->context)) return failWith<BOOL>(kWglErrContext, FALSE);
    __wglUnlinkContextHandle(h);
    __wglFree(h->visual);
    __wglFree(h);
    return TRUE;
}

GlProcTable *WINAPI DrvSetContext(HDC hdc, DHGLRC dhglrc, GlSetProcTableProc setProcTable) {
    GlContext *cur = __wglGetCurrentContext();
    GlContextHandle *h = __wglFindContextHandle(uint32_t(dhglrc));
    DWORD type = GetObjectType(hdc);
    if (h != nullptr && h->hdc == hdc && h->context == cur) return __glGetLiveProcTable();
    HWND hwnd = nullptr;
    HGDIOBJ bitmap = nullptr;
    if (type == OBJ_DC)
        hwnd = WindowFromDC(hdc);
    else if (type == OBJ_MEMDC)
        bitmap = GetCurrentObject(hdc, OBJ_BITMAP);
    else
        return nullptr;
    DWORD self = GetCurrentThreadId();
    GlDrawable *d = nullptr;
    if (dhglrc != 0) {
        if (h == nullptr) return failWith<GlProcTable *>(kWglErrBadHandle, nullptr);
        if (hwnd == nullptr && bitmap == nullptr) return failWith<GlProcTable *>(kWglErrNoDrawable, nullptr);
        if (h->isCurrent && h->ownerThread != self) return failWith<GlProcTable *>(kWglErrBusy, nullptr);
        d = __wglFindDrawable(hdc, hwnd);
        if (d != nullptr && hwnd == nullptr && d->useCount == 0 && !memoryDrawableStillHolds(d)) {
            // A memory DC deleted and its handle value given to a new one (with another bitmap)
            // finds the old drawable: nothing uses it any more, so it goes and a fresh one is
            // made for what the DC holds now.
            __wglDestroyDrawable(d);
            d = nullptr;
        }
        if (d == nullptr) {
            d = __wglCreateDrawable(hdc, hwnd, h->visual);
            if (d == nullptr) return failWith<GlProcTable *>(kWglErrNoDrawable, nullptr);
            d->pixelFormat = GetPixelFormat(hdc);
        }
        if (d->pixelFormat != h->pixelFormat) return failWith<GlProcTable *>(kWglErrFormatMismatch, nullptr);
    }
    {
        HeldMutex lock;
        if (dhglrc != 0) {
            // Another thread may have made it current, or deleted it, since the checks above.
            h = __wglFindContextHandle(uint32_t(dhglrc));
            if (h == nullptr) return failWith<GlProcTable *>(kWglErrBadHandle, nullptr);
            if (h->isCurrent && h->ownerThread != self) return failWith<GlProcTable *>(kWglErrBusy, nullptr);
            if (h->context != cur && !loseCurrentContext(cur)) return nullptr;
            h->setProcTable = setProcTable;
            d->useCount += 1;
            h->drawable = d;
            if (!h->context->procs.makeCurrent(h->context)) {
                d->useCount -= 1;
                h->drawable = nullptr;
                __wglSetCurrentContext(__glScreenContext);
                return nullptr;
            }
            __wglSetCurrentContext(h->context);
            h->isCurrent = 1;
            h->ownerThread = self;
            h->hwnd = hwnd;
            h->hdc = hdc;
            h->madeCurrent = 1;
        } else {
            // Handle 0 with a context current releases it, so that the context is not left
            // with a do-nothing live table that the fast path would hand out again.
            if (!loseCurrentContext(cur)) return nullptr;
            __wglHandleListHead.setProcTable = setProcTable;
            __glInstallNopProcTable();
        }
    }
    if (dhglrc != 0 && h->windowMoved) __wglHandleWindowMoved(h);
    return __glGetLiveProcTable();
}

BOOL WINAPI DrvReleaseContext(DHGLRC) {
    GlContext *cur = __wglGetCurrentContext();
    HeldMutex lock;
    return loseCurrentContext(cur);
}

BOOL WINAPI DrvShareLists(DHGLRC first, DHGLRC second) {
    GlContextHandle *h1 = __wglFindContextHandle(uint32_t(first));
    if (first == 0 || h1 == nullptr) return failWith<BOOL>(kWglErrShareFirst, FALSE);
    GlContextHandle *h2 = __wglFindContextHandle(uint32_t(second));
    if (second == 0 || h2 == nullptr) return failWith<BOOL>(kWglErrShareSecond, FALSE);
    HeldMutex lock;
    // The second context takes the display lists and texture objects of the first.
    if (!h1->context->procs.share(h2->context, h1->context)) return failWith<BOOL>(kWglErrShareFailed, FALSE);
    return TRUE;
}

BOOL WINAPI DrvCopyContext(DHGLRC, DHGLRC, UINT) { return failWith<BOOL>(kWglErrContext, FALSE); }

BOOL WINAPI DrvSwapLayerBuffers(HDC hdc, UINT) {
    GlContextHandle *h = __wglNextWindowContextHandle(WindowFromDC(hdc), nullptr);
    HeldMutex lock;
    if (h == nullptr || h->context == nullptr || h->visual == nullptr || !h->visual->doubleBuffer) return TRUE;
    if (h->context->procs.notifySwap != nullptr) h->context->procs.notifySwap(h->context);
    GlDrawable *d = h->drawable;
    // No swap proc means the buffers cannot be presented: that is a failure, not a swap.
    return d != nullptr && d->swap != nullptr && d->swap(d);
}

BOOL __wglSwapDrawable(GlContext *ctx) {
    HeldMutex lock;
    if (ctx->procs.notifySwap != nullptr) ctx->procs.notifySwap(ctx);
    GlDrawable *d = ctx->handle != nullptr ? ctx->handle->drawable : nullptr;
    return d != nullptr && d->swap != nullptr && d->swap(d);
}

// This driver offers no overlay or underlay planes: a layer cannot be described.
BOOL WINAPI DrvDescribeLayerPlane(HDC, int pixelFormat, int layerPlane, UINT, LPLAYERPLANEDESCRIPTOR) {
    if (pixelFormat == 0 || layerPlane == 0) return failWith<BOOL>(kWglErrPixelFormat, FALSE);
    return FALSE;
}

int WINAPI DrvGetLayerPaletteEntries(HDC, int layerPlane, int, int, COLORREF *) {
    if (layerPlane == 0) return failWith<int>(kWglErrPixelFormat, 0);
    return 0;  // no layer planes, so no palette entries to copy
}

int WINAPI DrvSetLayerPaletteEntries(HDC, int layerPlane, int, int, const COLORREF *) {
    if (layerPlane == 0) return failWith<int>(kWglErrPixelFormat, 0);
    return 0;
}

BOOL WINAPI DrvRealizeLayerPalette(HDC, int layerPlane, BOOL) {
    if (layerPlane == 0) return failWith<BOOL>(kWglErrPixelFormat, FALSE);
    return FALSE;
}
