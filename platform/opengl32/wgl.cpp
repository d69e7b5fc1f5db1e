// opengl32's window-system layer: the ICD loader, the wgl* calls, SwapBuffers. See wgl.h for the
// behaviour this stand-in gives each of them.
#include "platform/machine/machine.h"
#include "platform/opengl32/opengl32_internal.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

typedef ULONG_PTR DHGLRC;
typedef void(APIENTRY *SetProcTableProc)(const OpenGl32Table *table);

struct Driver {
    HMODULE module = nullptr;
    std::string library;
    uint32_t version = 0;
    BOOL(WINAPI *validateVersion)(ULONG) = nullptr;
    DHGLRC(WINAPI *createContext)(HDC) = nullptr;
    DHGLRC(WINAPI *createLayerContext)(HDC, int) = nullptr;
    BOOL(WINAPI *deleteContext)(DHGLRC) = nullptr;
    const OpenGl32Table *(WINAPI *setContext)(HDC, DHGLRC, SetProcTableProc) = nullptr;
    BOOL(WINAPI *releaseContext)(DHGLRC) = nullptr;
    BOOL(WINAPI *shareLists)(DHGLRC, DHGLRC) = nullptr;
    BOOL(WINAPI *copyContext)(DHGLRC, DHGLRC, UINT) = nullptr;
    BOOL(WINAPI *swapLayerBuffers)(HDC, UINT) = nullptr;
    BOOL(WINAPI *describeLayerPlane)(HDC, int, int, UINT, LPLAYERPLANEDESCRIPTOR) = nullptr;
    int(WINAPI *getLayerPaletteEntries)(HDC, int, int, int, COLORREF *) = nullptr;
    int(WINAPI *setLayerPaletteEntries)(HDC, int, int, int, const COLORREF *) = nullptr;
    BOOL(WINAPI *realizeLayerPalette)(HDC, int, BOOL) = nullptr;
    PROC(WINAPI *getProcAddress)(LPCSTR) = nullptr;
};

struct Context {
    DHGLRC dhglrc = 0;
    int pixelFormat = 0;
    int layerPlane = 0;
    DWORD thread = 0;   // the thread it is current on, 0 when none
    HDC hdc = nullptr;  // the DC it is current with
};

std::recursive_mutex &wglLock() {
    static std::recursive_mutex m;
    return m;
}
Driver *g_driver = nullptr;  // under wglLock
std::map<uintptr_t, Context> &contexts() {
    static std::map<uintptr_t, Context> c;
    return c;
}
uintptr_t g_nextHglrc = 0x10000;  // never reused

thread_local HGLRC t_current = nullptr;
thread_local HDC t_currentDC = nullptr;
thread_local std::string t_error;
thread_local bool t_finishIssued = false;

void fail(DWORD code, const std::string &why) {
    t_error = why;
    SetLastError(code);
}

// The proc-table callback handed to DrvSetContext: the ICD calls it on the thread whose live
// table changed; opengl32 keeps the pointer.
void APIENTRY setProcTable(const OpenGl32Table *table) {
    if (table) kivOpenGl32ThreadTable = table;
}

template <class T> void bind(HMODULE m, const char *name, T *slot) {
    *slot = reinterpret_cast<T>(GetProcAddress(m, name));
}

// Loads the ICD that the display driver of `hdc` names (caller holds wglLock).
Driver *loadDriver(HDC hdc) {
    if (g_driver) return g_driver;
    if (GetObjectType(hdc) != OBJ_DC && GetObjectType(hdc) != OBJ_MEMDC) {
        fail(ERROR_INVALID_HANDLE, "not a device context");
        return nullptr;
    }
    uint32_t esc = OPENGL_GETINFO;
    if (ExtEscape(hdc, QUERYESCSUPPORT, 4, reinterpret_cast<LPCSTR>(&esc), 0, nullptr) <= 0) {
        fail(ERROR_NOT_SUPPORTED, "the display driver offers no OpenGL driver (QUERYESCSUPPORT "
                                         "for OPENGL_GETINFO answered 0)");
        return nullptr;
    }
    uint32_t request = 0;
    KivOpenGlInfo info;
    std::memset(&info, 0, sizeof info);
    if (ExtEscape(hdc, OPENGL_GETINFO, 4, reinterpret_cast<LPCSTR>(&request), sizeof info,
                  reinterpret_cast<LPSTR>(&info)) <= 0) {
        fail(ERROR_NOT_SUPPORTED, "the display driver refused OPENGL_GETINFO");
        return nullptr;
    }
    std::string name;
    for (size_t i = 0; i < 260 && info.name[i]; ++i) name += static_cast<char>(info.name[i] < 0x80 ? info.name[i] : '?');
    HKEY key;
    char library[260] = {0};
    DWORD size = sizeof library - 1, type = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kivOpenGlDriversKey(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        fail(ERROR_FILE_NOT_FOUND, std::string("no registry key HKEY_LOCAL_MACHINE\\") + kivOpenGlDriversKey());
        return nullptr;
    }
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE *>(library), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_SZ) {
        fail(ERROR_FILE_NOT_FOUND, "the registry names no library for the OpenGL driver \"" + name + "\"");
        return nullptr;
    }
    HMODULE m = LoadLibraryA(library);
    if (!m) {
        DWORD e = GetLastError();
        char buf[64];
        std::snprintf(buf, sizeof buf, " (error %u)", static_cast<unsigned>(e));
        t_error = std::string("cannot load the OpenGL driver ") + library + buf + ": " + kivModuleLoadError();
        SetLastError(e);
        return nullptr;
    }
    auto *d = new Driver;
    d->module = m;
    d->library = library;
    d->version = info.driverVersion;
    bind(m, "DrvValidateVersion", &d->validateVersion);
    bind(m, "DrvCreateContext", &d->createContext);
    bind(m, "DrvCreateLayerContext", &d->createLayerContext);
    bind(m, "DrvDeleteContext", &d->deleteContext);
    bind(m, "DrvSetContext", &d->setContext);
    bind(m, "DrvReleaseContext", &d->releaseContext);
    bind(m, "DrvShareLists", &d->shareLists);
    bind(m, "DrvCopyContext", &d->copyContext);
    bind(m, "DrvSwapLayerBuffers", &d->swapLayerBuffers);
    bind(m, "DrvDescribeLayerPlane", &d->describeLayerPlane);
    bind(m, "DrvGetLayerPaletteEntries", &d->getLayerPaletteEntries);
    bind(m, "DrvSetLayerPaletteEntries", &d->setLayerPaletteEntries);
    bind(m, "DrvRealizeLayerPalette", &d->realizeLayerPalette);
    bind(m, "DrvGetProcAddress", &d->getProcAddress);
    if (!d->validateVersion || !d->setContext || !d->releaseContext || !d->deleteContext ||
        (!d->createContext && !d->createLayerContext)) {
        t_error = std::string("the OpenGL driver ") + library + " lacks the Drv* exports opengl32 needs";
        FreeLibrary(m);
        delete d;
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!d->validateVersion(d->version)) {
        t_error = std::string("the OpenGL driver ") + library + " refused version " + std::to_string(d->version);
        FreeLibrary(m);
        delete d;
        SetLastError(ERROR_BAD_DRIVER_LEVEL);
        return nullptr;
    }
    g_driver = d;
    return d;
}

Context *find(HGLRC h) {
    auto it = contexts().find(reinterpret_cast<uintptr_t>(h));
    return it == contexts().end() ? nullptr : &it->second;
}

// Releases the calling thread's current context, if any (caller holds wglLock).
BOOL releaseCurrent() {
    if (!t_current) return TRUE;
    Context *c = find(t_current);
    BOOL ok = TRUE;
    if (c && g_driver) {
        ok = g_driver->releaseContext(c->dhglrc);
        if (!ok) {
            t_error = "the OpenGL driver did not release the current context";
            return FALSE;  // it stays current, as the driver says
        }
        c->thread = 0;
        c->hdc = nullptr;
    }
    t_current = nullptr;
    t_currentDC = nullptr;
    kivOpenGl32ThreadTable = &kivOpenGl32NopTable;
    return ok;
}

}  // namespace

extern "C" {

const char *kivOpenGlError(void) { return t_error.c_str(); }

const char *kivOpenGlDriverName(void) {
    std::lock_guard<std::recursive_mutex> g(wglLock());
    return g_driver ? g_driver->library.c_str() : nullptr;
}

HMODULE kivOpenGlDriverModule(void) {
    std::lock_guard<std::recursive_mutex> g(wglLock());
    return g_driver ? g_driver->module : nullptr;
}

BOOL kivOpenGlUnloadDriver(void) {
    std::lock_guard<std::recursive_mutex> g(wglLock());
    if (!g_driver) return TRUE;
    if (!contexts().empty()) return FALSE;
    FreeLibrary(g_driver->module);
    delete g_driver;
    g_driver = nullptr;
    return TRUE;
}

void kivOpenGl32SetCurrentForTest(HGLRC hglrc, HDC hdc) {
    t_current = hglrc;
    t_currentDC = hdc;
}

const void *kivOpenGlCurrentTable(void) { return kivOpenGl32ThreadTable; }
const void *kivOpenGlNopTable(void) { return &kivOpenGl32NopTable; }

ULONG_PTR kivOpenGlDriverHandle(HGLRC hglrc) {
    std::lock_guard<std::recursive_mutex> g(wglLock());
    Context *c = find(hglrc);
    return c ? c->dhglrc : 0;
}

HGLRC WINAPI wglCreateLayerContext(HDC hdc, int layerPlane) {
    t_error.clear();
    std::lock_guard<std::recursive_mutex> g(wglLock());
    DWORD type = GetObjectType(hdc);
    if (type != OBJ_DC && type != OBJ_MEMDC) {
        fail(ERROR_INVALID_HANDLE, "not a device context");
        return nullptr;
    }
    int pf = GetPixelFormat(hdc);
    if (pf == 0) {
        fail(ERROR_INVALID_PIXEL_FORMAT, "the device context has no pixel format");
        return nullptr;
    }
    Driver *d = loadDriver(hdc);
    if (!d) return nullptr;
    DHGLRC dh = 0;
    if (d->createLayerContext) dh = d->createLayerContext(hdc, layerPlane);
    else if (layerPlane == 0) dh = d->createContext(hdc);
    else SetLastError(ERROR_INVALID_PARAMETER);
    if (!dh) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "the OpenGL driver could not create a context (error 0x%08X)",
                      static_cast<unsigned>(GetLastError()));
        t_error = buf;
        return nullptr;
    }
    HGLRC h = reinterpret_cast<HGLRC>(g_nextHglrc);
    g_nextHglrc += 4;
    Context c;
    c.dhglrc = dh;
    c.pixelFormat = pf;
    c.layerPlane = layerPlane;
    contexts()[reinterpret_cast<uintptr_t>(h)] = c;
    return h;
}

HGLRC WINAPI wglCreateContext(HDC hdc) { return wglCreateLayerContext(hdc, 0); }

BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    t_error.clear();
    std::lock_guard<std::recursive_mutex> g(wglLock());
    if (!hglrc) return releaseCurrent();
    Context *c = find(hglrc);
    if (!c) {
        fail(ERROR_INVALID_HANDLE, "not an OpenGL context");
        return FALSE;
    }
    if (c->thread && c->thread != GetCurrentThreadId()) {
        fail(ERROR_BUSY, "the context is current on another thread");
        return FALSE;
    }
    DWORD type = GetObjectType(hdc);
    if (type != OBJ_DC && type != OBJ_MEMDC) {
        fail(ERROR_INVALID_HANDLE, "not a device context");
        return FALSE;
    }
    if (GetPixelFormat(hdc) != c->pixelFormat) {
        fail(ERROR_INVALID_PIXEL_FORMAT, "the device context's pixel format is not the context's");
        return FALSE;
    }
    // Another context (or this one with another DC) is released first.
    if (t_current && (t_current != hglrc || t_currentDC != hdc)) {
        if (!releaseCurrent()) return FALSE;
    }
    const OpenGl32Table *table = g_driver->setContext(hdc, c->dhglrc, setProcTable);
    if (!table) {
        DWORD e = GetLastError();
        if (t_current == hglrc) {  // the driver dropped it
            t_current = nullptr;
            t_currentDC = nullptr;
            c->thread = 0;
            c->hdc = nullptr;
        }
        kivOpenGl32ThreadTable = &kivOpenGl32NopTable;
        char buf[96];
        std::snprintf(buf, sizeof buf, "the OpenGL driver could not make the context current (error 0x%08X)",
                      static_cast<unsigned>(e));
        t_error = buf;
        SetLastError(e);
        return FALSE;
    }
    kivOpenGl32ThreadTable = table;
    t_current = hglrc;
    t_currentDC = hdc;
    c->thread = GetCurrentThreadId();
    c->hdc = hdc;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc) {
    t_error.clear();
    std::lock_guard<std::recursive_mutex> g(wglLock());
    Context *c = find(hglrc);
    if (!c) {
        fail(ERROR_INVALID_HANDLE, "not an OpenGL context");
        return FALSE;
    }
    if (c->thread && c->thread != GetCurrentThreadId()) {
        fail(ERROR_BUSY, "the context is current on another thread");
        return FALSE;
    }
    if (t_current == hglrc && !releaseCurrent()) return FALSE;
    if (!g_driver->deleteContext(c->dhglrc)) {
        t_error = "the OpenGL driver could not delete the context";
        return FALSE;
    }
    contexts().erase(reinterpret_cast<uintptr_t>(hglrc));
    return TRUE;
}

HGLRC WINAPI wglGetCurrentContext(void) { return t_current; }
HDC WINAPI wglGetCurrentDC(void) { return t_currentDC; }

// A call that names two contexts: both must be ours and the driver must have the entry.
extern "C++" template <class Entry, class... Args>
BOOL onTwoContexts(HGLRC first, HGLRC second, Entry Driver::*entry, Args... args) {
    std::lock_guard<std::recursive_mutex> g(wglLock());
    Context *a = find(first), *b = find(second);
    if (!a || !b) {
        fail(ERROR_INVALID_HANDLE, "not an OpenGL context");
        return FALSE;
    }
    if (!(g_driver->*entry)) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return (g_driver->*entry)(a->dhglrc, b->dhglrc, args...);
}

BOOL WINAPI wglShareLists(HGLRC first, HGLRC second) { return onTwoContexts(first, second, &Driver::shareLists); }

BOOL WINAPI wglCopyContext(HGLRC source, HGLRC dest, UINT mask) {
    return onTwoContexts(source, dest, &Driver::copyContext, mask);
}

PROC WINAPI wglGetProcAddress(LPCSTR name) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = g_driver;
    }
    if (!t_current || !d || !d->getProcAddress || !name) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return d->getProcAddress(name);
}

BOOL WINAPI wglSwapLayerBuffers(HDC hdc, UINT planes) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = loadDriver(hdc);
    }
    if (!d || !d->swapLayerBuffers) return FALSE;
    return d->swapLayerBuffers(hdc, planes);
}

BOOL WINAPI wglDescribeLayerPlane(HDC hdc, int pixelFormat, int layerPlane, UINT bytes,
                                  LPLAYERPLANEDESCRIPTOR lpd) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = loadDriver(hdc);
    }
    if (!d || !d->describeLayerPlane) return FALSE;
    return d->describeLayerPlane(hdc, pixelFormat, layerPlane, bytes, lpd);
}

int WINAPI wglGetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count, COLORREF *colors) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = loadDriver(hdc);
    }
    if (!d || !d->getLayerPaletteEntries) return 0;
    return d->getLayerPaletteEntries(hdc, layerPlane, start, count, colors);
}

int WINAPI wglSetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count, const COLORREF *colors) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = loadDriver(hdc);
    }
    if (!d || !d->setLayerPaletteEntries) return 0;
    return d->setLayerPaletteEntries(hdc, layerPlane, start, count, colors);
}

BOOL WINAPI wglRealizeLayerPalette(HDC hdc, int layerPlane, BOOL realize) {
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = loadDriver(hdc);
    }
    if (!d || !d->realizeLayerPalette) return FALSE;
    return d->realizeLayerPalette(hdc, layerPlane, realize);
}

// ---- swaps -----------------------------------------------------------------------------------

// First half of wglSwapBuffers: the glFinish slot to call when the calling thread's current
// context draws into the window (or DC) of `hdc`, else NULL.
void *WINAPI kivOpenGl32SwapFinishEntry(HDC hdc) {
    t_finishIssued = false;
    if (!t_current || !hdc) return nullptr;
    bool same = hdc == t_currentDC;
    if (!same) {
        HWND w = WindowFromDC(hdc);
        same = w && w == WindowFromDC(t_currentDC);
    }
    if (!same) return nullptr;
    t_finishIssued = true;
    // The driver's swap inside glFinish has no result of its own: it reports a swap that failed
    // (a frame it could not draw or show) through the thread's last error.
    SetLastError(ERROR_SUCCESS);
    return kivOpenGl32ThreadTable->slot[216];  // glFinish
}

// Second half: after the finish (which the ICD turns into the swap), or the driver's swap.
BOOL WINAPI kivOpenGl32SwapRest(HDC hdc) {
    if (t_finishIssued) {
        t_finishIssued = false;
        return GetLastError() == ERROR_GEN_FAILURE ? FALSE : TRUE;
    }
    Driver *d;
    {
        std::lock_guard<std::recursive_mutex> g(wglLock());
        d = g_driver;
    }
    if (GetObjectType(hdc) != OBJ_DC && GetObjectType(hdc) != OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!d || !d->swapLayerBuffers) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return d->swapLayerBuffers(hdc, WGL_SWAP_MAIN_PLANE);
}

BOOL WINAPI SwapBuffers(HDC hdc) { return wglSwapBuffers(hdc); }

}  // extern "C"

// wglSwapBuffers(hdc), stdcall, 4 argument bytes. glFinish is called through the proc table
// within its first 20 bytes, so that the ICD sees a return address inside wglSwapBuffers.
__asm__(
    ".text\n"
    "  .globl wglSwapBuffers\n"
    "  .type wglSwapBuffers, @function\n"
    "  .p2align 4\n"
    "wglSwapBuffers:\n"
    "  pushl 4(%esp)\n"                       // hdc
    "  call kivOpenGl32SwapFinishEntry\n"     // stdcall: pops hdc
    "  testl %eax, %eax\n"
    "  jz 1f\n"
    "  call *%eax\n"                          // glFinish(), no arguments
    "1:\n"
    "  jmp kivOpenGl32SwapRest\n"             // same frame: returns to our caller, pops hdc
    "  .size wglSwapBuffers, . - wglSwapBuffers\n");
