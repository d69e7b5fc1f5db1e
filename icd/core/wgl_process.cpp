// Process and thread set-up of the driver: the current-context and hook slots, the process-wide
// mutex, the screen context, the context-handle list and the window-message hook.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/wgl.h"
#include "icd/core/drv_exports.h"
#include "icd/core/drawable.h"
#include "icd/core/services.h"

static DWORD contextSlot = TLS_OUT_OF_INDEXES;
static DWORD hookSlot = TLS_OUT_OF_INDEXES;
static uint32_t hookSlotOffset;
uint8_t __wglIsWindows9x;
static HANDLE globalMutex;
static CRITICAL_SECTION unusedSection;
static HINSTANCE moduleInstance;
GlContext *__glScreenContext;
GlContextHandle __wglHandleListHead;
uint32_t __wglNextHandleId = 1;

static const GlDeviceHooks deviceHooks = {
    0x24,
    0x80000000u,
    __glChooseDeviceTexelFormat,
    __glHwProcessAttach,
    __glHwProcessDetach,
    nullptr,
    nullptr,
    nullptr,
    __glInstallTextureManager,
    __glCreateContext,
    __wglSetupWindowDrawable,
    __wglCreateBitmapDrawable,
    __wglDestroyWindowDrawable,
    __wglDrawableMoved,
    nullptr,
};
const GlDeviceHooks *const __glDeviceHooks = &deviceHooks;

static BOOL checkOsVersion(void) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return FALSE;
    __wglIsWindows9x = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    return TRUE;
}

static uint32_t slotOffset(DWORD slot) { return slot * 4 + (__wglIsWindows9x ? 0x88 : 0xE10); }

BOOL __wglLockGlobal(void) { return WaitForSingleObject(globalMutex, INFINITE) != WAIT_FAILED; }
void __wglUnlockGlobal(void) { ReleaseMutex(globalMutex); }

void __wglSetCurrentContext(GlContext *ctx) {
    *reinterpret_cast<GlContext **>(static_cast<uint8_t *>(NtCurrentTeb()) + __glContextSlotOffset) = ctx;
}

GlContext *__wglGetCurrentContext(void) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx == nullptr) {
        __wglThreadAttach(GetCurrentThreadId());
        ctx = __glGetCurrentContext();
    }
    return ctx;
}

void __wglLinkContextHandle(GlContextHandle *h) {
    h->next = __wglHandleListHead.next;
    h->prev = &__wglHandleListHead;
    if (h->next != nullptr) h->next->prev = h;
    __wglHandleListHead.next = h;
}

void __wglUnlinkContextHandle(GlContextHandle *h) {
    h->prev->next = h->next;
    if (h->next != nullptr) h->next->prev = h->prev;
    h->prev = h->next = nullptr;
}

GlContextHandle *__wglFindContextHandle(uint32_t id) {
    GlContextHandle *found = nullptr;
    __wglLockGlobal();
    for (GlContextHandle *h = &__wglHandleListHead; h != nullptr; h = h->next) {
        if (h->id == id) {
            found = h;
            break;
        }
    }
    __wglUnlockGlobal();
    return found;
}

GlContextHandle *__wglNextWindowContextHandle(HWND hwnd, GlContextHandle *after) {
    GlContextHandle *found = nullptr;
    __wglLockGlobal();
    for (GlContextHandle *h = after != nullptr ? after->next : &__wglHandleListHead; h != nullptr; h = h->next) {
        if (h->hwnd == hwnd) {
            found = h;
            break;
        }
    }
    __wglUnlockGlobal();
    return found;
}

// The window-message hook of a thread: applies window moves to the contexts current with the
// window and drops the drawables of a destroyed window once the message has gone on.
static LRESULT CALLBACK callWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT *msg = reinterpret_cast<const CWPSTRUCT *>(lParam);
    HWND destroyed = nullptr;
    if (code >= 0 && msg != nullptr) {
        if (msg->message == WM_WINDOWPOSCHANGED) {
            DWORD self = GetCurrentThreadId();
            for (GlContextHandle *h = __wglNextWindowContextHandle(msg->hwnd, nullptr); h != nullptr;
                 h = __wglNextWindowContextHandle(msg->hwnd, h)) {
                if (h->ownerThread != self) continue;
                if (h->isCurrent && h->context == __glGetCurrentContext())
                    __wglHandleWindowMoved(h);
                else
                    h->windowMoved = 1;
            }
        } else if (msg->message == WM_DESTROY) {
            destroyed = msg->hwnd;
        }
    }
    HHOOK *cell = static_cast<HHOOK *>(TlsGetValue(hookSlot));
    LRESULT result = CallNextHookEx(cell != nullptr ? *cell : nullptr, code, wParam, lParam);
    if (destroyed != nullptr) __wglDestroyWindowDrawables(destroyed);
    return result;
}

BOOL __wglThreadAttach(DWORD threadId) {
    TlsSetValue(contextSlot, nullptr);
    __wglSetCurrentContext(__glScreenContext);
    __glInstallNopProcTable();
    HHOOK *cell = static_cast<HHOOK *>(__wglAlloc(sizeof(HHOOK)));
    if (cell == nullptr) return FALSE;
    TlsSetValue(hookSlot, cell);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, callWndProcHook, moduleInstance, threadId);
    if (hook == nullptr) {
        SetLastError(kWglErrHook);
        return FALSE;
    }
    *cell = hook;
    return TRUE;
}

BOOL __wglThreadDetach(void) {
    HHOOK *cell = static_cast<HHOOK *>(TlsGetValue(hookSlot));
    if (TlsGetValue(contextSlot) != nullptr) {
        if (cell != nullptr && *cell != nullptr && !UnhookWindowsHookEx(*cell)) return FALSE;
        TlsSetValue(contextSlot, nullptr);
    }
    // The cell is this thread's own allocation: free it with the slot.
    __wglFree(cell);
    TlsSetValue(hookSlot, nullptr);
    return TRUE;
}

static BOOL initScreenContext(void) {
    static GlVisual screenVisual;
    __wglLockGlobal();
    __wglHostProcs.creatingHandle = &__wglHandleListHead;
    __glScreenContext = __glCreateScreenContext(&__wglHostProcs, &screenVisual);
    __wglHostProcs.creatingHandle = nullptr;
    __wglHandleListHead.context = __glScreenContext;
    __wglUnlockGlobal();
    return __glScreenContext != nullptr;
}

BOOL __wglProcessDetach(void) {
    __wglLockGlobal();
    GlContextHandle *h = &__wglHandleListHead;
    while (h != nullptr) {
        GlContextHandle *next = h->next;
        if (h->context != nullptr) h->context->procs.destroy(h->context);
        if (h != &__wglHandleListHead) {
            __wglFree(h->visual);
            __wglFree(h);
        }
        h = next;
    }
    __wglHandleListHead.context = nullptr;
    __wglHandleListHead.next = nullptr;
    __glScreenContext = nullptr;
    __wglUnlockGlobal();
    // The contexts are gone; the drawables of windows still open would outlive the module.
    __wglDestroyAllDrawables();
    if (!__wglThreadDetach()) return FALSE;
    TlsFree(contextSlot);
    TlsFree(hookSlot);
    contextSlot = hookSlot = TLS_OUT_OF_INDEXES;
    DeleteCriticalSection(&unusedSection);
    CloseHandle(globalMutex);
    globalMutex = nullptr;
    return TRUE;
}

static BOOL processAttach(DWORD threadId) {
    globalMutex = CreateMutexA(nullptr, FALSE, nullptr);
    if (globalMutex == nullptr) return FALSE;
    InitializeCriticalSection(&unusedSection);
    contextSlot = TlsAlloc();
    hookSlot = TlsAlloc();
    if (contextSlot == TLS_OUT_OF_INDEXES || hookSlot == TLS_OUT_OF_INDEXES) return FALSE;
    __glContextSlotOffset = slotOffset(contextSlot);
    hookSlotOffset = slotOffset(hookSlot);
    __glContextSlotTP = kivTebThreadPointerOffset() + int32_t(__glContextSlotOffset);
    __wglNextHandleId = 1;
    if (!initScreenContext()) return FALSE;
    return __wglThreadAttach(threadId);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    moduleInstance = instance;
    DWORD thread = GetCurrentThreadId();
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!checkOsVersion() || !processAttach(thread)) return FALSE;
        if (__glDeviceHooks->processAttach != nullptr && !__glDeviceHooks->processAttach(thread)) {
            __wglProcessDetach();
            return FALSE;
        }
        return TRUE;
    case DLL_THREAD_ATTACH:
        if (!__wglThreadAttach(thread)) return FALSE;
        if (__glDeviceHooks->threadAttach != nullptr && !__glDeviceHooks->threadAttach(thread)) {
            __wglThreadDetach();
            return FALSE;
        }
        return TRUE;
    case DLL_THREAD_DETACH:
        if (__glDeviceHooks->threadDetach != nullptr && !__glDeviceHooks->threadDetach(thread)) return FALSE;
        return __wglThreadDetach();
    case DLL_PROCESS_DETACH:
        if (__glDeviceHooks->processDetach != nullptr && !__glDeviceHooks->processDetach(thread)) return FALSE;
        return __wglProcessDetach();
    default:
        return TRUE;
    }
}
