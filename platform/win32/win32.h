/* Declarations of the Win32 user-mode services that the drivers and programs of this package
   use, as the stand-in platform provides them. Written for this project from how the drivers
   call them; the stand-in implementations live beside this header. */
#pragma once
#include <stddef.h>
#include <stdint.h>

/* Programs in C include these declarations too: C linkage and the size checks are C++ only. */
#ifdef __cplusplus
#define KIV_BEGIN_C extern "C" {
#define KIV_END_C }
#else
#define KIV_BEGIN_C
#define KIV_END_C
#endif

#define WINAPI   __attribute__((stdcall))
#define APIENTRY __attribute__((stdcall))
#define CALLBACK __attribute__((stdcall))
/* Marks the entries a loadable driver module exports; everything else in a module stays hidden. */
#ifdef __cplusplus
#define KIV_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define KIV_EXPORT __attribute__((visibility("default")))
#endif

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int INT;
typedef char CHAR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef DWORD *LPDWORD;
typedef uintptr_t UINT_PTR, WPARAM, ULONG_PTR, SIZE_T;
typedef intptr_t LONG_PTR, LPARAM, LRESULT;
typedef int64_t LONGLONG;

#define TRUE 1
#define FALSE 0

/* Handles are opaque words; each kind is a distinct pointer type as on the platform. */
#define KIV_DECLARE_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__ *name
typedef void *HANDLE;
KIV_DECLARE_HANDLE(HWND);
KIV_DECLARE_HANDLE(HDC);
KIV_DECLARE_HANDLE(HGLRC);
KIV_DECLARE_HANDLE(HINSTANCE);
KIV_DECLARE_HANDLE(HHOOK);
KIV_DECLARE_HANDLE(HMENU);
KIV_DECLARE_HANDLE(HKEY);
KIV_DECLARE_HANDLE(HRGN);
KIV_DECLARE_HANDLE(HBRUSH);
KIV_DECLARE_HANDLE(HPALETTE);
typedef HINSTANCE HMODULE;
typedef void *HGDIOBJ;
typedef HGDIOBJ HBITMAP;
typedef HANDLE HGLOBAL;
typedef void *FARPROC;

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

/* Last-error codes used by this package. */
#define ERROR_SUCCESS             0
#define ERROR_INVALID_FUNCTION    1
#define ERROR_FILE_NOT_FOUND      2
#define ERROR_ACCESS_DENIED       5
#define ERROR_GEN_FAILURE        31
#define ERROR_INVALID_HANDLE      6
#define ERROR_NOT_ENOUGH_MEMORY   8
#define ERROR_NOT_SUPPORTED      50
#define ERROR_BAD_NETPATH        53
#define ERROR_DEV_NOT_EXIST      55
#define ERROR_INVALID_PARAMETER  87
#define ERROR_BAD_DRIVER_LEVEL  119
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MOD_NOT_FOUND     126
#define ERROR_PROC_NOT_FOUND    127
#define ERROR_ALREADY_EXISTS    183
#define ERROR_MORE_DATA         234
#define ERROR_INVALID_PIXEL_FORMAT 2000
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_BAD_EXE_FORMAT    193
#define ERROR_ENVVAR_NOT_FOUND  203
#define ERROR_NOT_OWNER         288
#define ERROR_NO_MORE_ITEMS     259
#define ERROR_INVALID_ADDRESS   487
#define ERROR_INVALID_FLAGS    1004
#define ERROR_DLL_INIT_FAILED  1114
#define ERROR_HOOK_NOT_INSTALLED 1431
#define ERROR_INVALID_HOOK_HANDLE 1404
#define ERROR_INVALID_HOOK_FILTER 1426

typedef struct tagRECT { LONG left, top, right, bottom; } RECT, *LPRECT;
typedef const RECT *LPCRECT;
typedef struct tagPOINT { LONG x, y; } POINT, *LPPOINT;
typedef struct tagSIZE { LONG cx, cy; } SIZE;

/* ---- last error, threads, processes -------------------------------------------------------- */
KIV_BEGIN_C
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI GetCurrentProcess(void);
typedef DWORD (WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);
HANDLE WINAPI CreateThread(void *security, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param,
                           DWORD flags, LPDWORD threadId);
HANDLE WINAPI GetCurrentThread(void);   /* pseudo-handle (HANDLE)-2; GetCurrentProcess is (HANDLE)-1 */
BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD code);
#define STILL_ACTIVE 259
void WINAPI Sleep(DWORD ms);
DWORD WINAPI GetTickCount(void);
BOOL WINAPI QueryPerformanceCounter(LONGLONG *count);
BOOL WINAPI QueryPerformanceFrequency(LONGLONG *freq);

/* ---- thread-local storage and the thread environment block --------------------------------- */
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
DWORD WINAPI TlsAlloc(void);
BOOL WINAPI TlsFree(DWORD slot);
LPVOID WINAPI TlsGetValue(DWORD slot);
BOOL WINAPI TlsSetValue(DWORD slot, LPVOID value);
/* The calling thread's environment block. Its TLS slot words sit at 0xE10 + 4*slot on NT and
   at 0x88 + 4*slot on 9x (the machine decides which); the block is 4096 bytes. Word 0x18 of
   the block holds its own address (the TIB self pointer). 64 slots. */
void *NtCurrentTeb(void);
/* The block is a static thread-local of the main program, so its address minus the i386 thread
   pointer (the word at %gs:0, which is the %gs segment base) is the same in every thread. That
   difference is this value: entry points and generated code read TLS slot `slot` of the calling
   thread with ONE load, `movl %gs:(kivTebThreadPointerOffset() + kivTlsSlotOffset(slot)), %eax`. */
int32_t kivTebThreadPointerOffset(void);
/* Byte offset of a TLS slot's word inside the block for the configured OS (0xE10 + 4*slot on
   NT, 0x88 + 4*slot on 9x). */
uint32_t kivTlsSlotOffset(DWORD slot);
#define KIV_TLS_SLOTS 64

/* ---- versions ------------------------------------------------------------------------------ */
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT      2
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);

/* ---- synchronisation ----------------------------------------------------------------------- */
#define INFINITE       0xFFFFFFFFu
#define WAIT_OBJECT_0  0u
#define WAIT_ABANDONED 0x80u
#define WAIT_TIMEOUT   258u
#define WAIT_FAILED    0xFFFFFFFFu
HANDLE WINAPI CreateMutexA(void *security, BOOL initialOwner, LPCSTR name);
HANDLE WINAPI OpenMutexA(DWORD access, BOOL inherit, LPCSTR name);
BOOL WINAPI ReleaseMutex(HANDLE mutex);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD ms);
BOOL WINAPI CloseHandle(HANDLE handle);
typedef struct _CRITICAL_SECTION { void *impl; LONG lockCount, recursion; HANDLE owner, sem; ULONG_PTR spin; } CRITICAL_SECTION, *LPCRITICAL_SECTION;
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs);
LONG WINAPI InterlockedExchange(volatile LONG *target, LONG value);
LONG WINAPI InterlockedIncrement(volatile LONG *target);
LONG WINAPI InterlockedDecrement(volatile LONG *target);
LONG WINAPI InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand);

/* ---- memory -------------------------------------------------------------------------------- */
#define GMEM_FIXED    0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR          (GMEM_FIXED | GMEM_ZEROINIT)
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
SIZE_T WINAPI GlobalSize(HGLOBAL mem);
/* GMEM_MOVEABLE blocks are handed out as their address, like fixed ones: GlobalLock returns the
   handle itself. GlobalReAlloc may move a block only when GMEM_MOVEABLE is in the flags; growing
   a block without it fails with ERROR_NOT_ENOUGH_MEMORY (the block stays). Bad handles fail with
   ERROR_INVALID_HANDLE (GlobalFree then returns the handle). */
LPVOID WINAPI GlobalLock(HGLOBAL mem);
BOOL WINAPI GlobalUnlock(HGLOBAL mem);
/* Test switch: the Nth global allocation from now (1 = the next) fails, once (GlobalAlloc and
   the GlobalReAlloc calls that need new memory count); 0 turns it off. */
void kivFailGlobalAllocAfter(unsigned n);
/* Test hook: the global blocks allocated and not yet freed. */
int kivGlobalAllocLive(void);

/* Named file mappings: real shared memory, shared by every process that opens the name. */
#define PAGE_READWRITE      0x04
#define FILE_MAP_WRITE      0x0002
#define FILE_MAP_READ       0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
HANDLE WINAPI CreateFileMappingA(HANDLE file, void *security, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR name);
HANDLE WINAPI OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name);
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offHigh, DWORD offLow, SIZE_T bytes);
BOOL WINAPI UnmapViewOfFile(LPCVOID view);

/* ---- modules ---------------------------------------------------------------------------------
   "name.dll" loads name.so from KIV_MODULE_PATH (or the build's module folder). */
HMODULE WINAPI LoadLibraryA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH  2
#define DLL_THREAD_DETACH  3
/* A module "x.dll" (any case, any directory part dropped; ".dll" may be left out) is the file
   x.so in a folder of KIV_MODULE_PATH (folders separated by ':'), else in the build's module
   folder; it is opened with dlopen(RTLD_NOW | RTLD_LOCAL) and its exported DllMain (WINAPI) is
   called with DLL_PROCESS_ATTACH at the first load (FALSE: DLL_PROCESS_DETACH, unload,
   ERROR_DLL_INIT_FAILED) and with DLL_PROCESS_DETACH when FreeLibrary drops the last reference.
   Threads started with CreateThread call DLL_THREAD_ATTACH / DLL_THREAD_DETACH of every loaded
   module. "opengl32.dll", "gdi32.dll", "user32.dll", "kernel32.dll", "advapi32.dll" and
   "ddraw.dll" are the platform itself: they resolve to the main program (its exported symbols)
   and are never unloaded. A missing file fails with ERROR_MOD_NOT_FOUND, a file dlopen refuses
   with ERROR_BAD_EXE_FORMAT; GetProcAddress finds only symbols the module itself defines
   (ERROR_PROC_NOT_FOUND otherwise).
   The dlerror text of the last failed load on this thread ("" when none), for messages. */
const char *kivModuleLoadError(void);
/* The folder the build put the driver modules in, looked in when KIV_MODULE_PATH is not set. */
const char *kivModuleDir(void);

/* ---- environment ----------------------------------------------------------------------------- */
DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);

/* ---- device I/O ------------------------------------------------------------------------------ */
#define GENERIC_READ  0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, void *security, DWORD disposition,
                          DWORD flags, HANDLE templ);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, void *overlapped);
/* A device that CreateFileA can open by path (e.g. "\\.\ZKGFX"): the outside kernel devices
   register themselves here. `open` returns a per-open cookie (or NULL with a last error to
   refuse), `control` answers DeviceIoControl (TRUE/FALSE, *returned set), `close` ends an open. */
struct KivDeviceOps {
    void *(*open)(void *context, DWORD access);
    BOOL (*control)(void *context, void *file, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                    DWORD outSize, LPDWORD returned);
    void (*close)(void *context, void *file);
    void *context;
};
/* Registers (ops not NULL) or removes (ops NULL) the device at `path` (compared without case). */
void kivRegisterDevice(LPCSTR path, const struct KivDeviceOps *ops);

/* ---- registry -------------------------------------------------------------------------------- */
#define HKEY_CLASSES_ROOT   ((HKEY)(uintptr_t)0x80000000)
#define HKEY_CURRENT_USER   ((HKEY)(uintptr_t)0x80000001)
#define HKEY_LOCAL_MACHINE  ((HKEY)(uintptr_t)0x80000002)
#define REG_NONE   0
#define REG_SZ     1
#define REG_BINARY 3
#define REG_DWORD  4
#define KEY_READ       0x20019
#define KEY_WRITE      0x20006
#define KEY_ALL_ACCESS 0xF003F
LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub, DWORD options, DWORD access, HKEY *result);
LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub, DWORD reserved, LPSTR cls, DWORD options,
                            DWORD access, void *security, HKEY *result, LPDWORD disposition);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE *data,
                             LPDWORD size);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                           DWORD size);
LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name);
LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR sub);
LONG WINAPI RegCloseKey(HKEY key);
#define REG_CREATED_NEW_KEY     1
#define REG_OPENED_EXISTING_KEY 2
/* The registry is held in memory; when KIV_REGISTRY names a file, it is loaded from it (and
   re-read when another process changed it) and every change is written back to it. */

/* ---- windows, messages and hooks ------------------------------------------------------------- */
#define WM_DESTROY          0x0002
#define WM_MOVE             0x0003
#define WM_SIZE             0x0005
#define WM_WINDOWPOSCHANGED 0x0047
#define WH_CALLWNDPROC 4
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
typedef struct tagWINDOWPOS { HWND hwnd, hwndInsertAfter; int x, y, cx, cy; UINT flags; } WINDOWPOS;
typedef struct tagCWPSTRUCT { LPARAM lParam; WPARAM wParam; UINT message; HWND hwnd; } CWPSTRUCT;
typedef LRESULT (CALLBACK *HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);
HHOOK WINAPI SetWindowsHookExA(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
BOOL WINAPI UnhookWindowsHookEx(HHOOK hook);
LRESULT WINAPI CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
/* Window moves, resizes (MoveWindow) and destruction (DestroyWindow) send WM_WINDOWPOSCHANGED
   (lParam -> WINDOWPOS, flags SWP_NOMOVE / SWP_NOSIZE for what did not change), then WM_MOVE and
   WM_SIZE when they apply, and WM_DESTROY: through the WH_CALLWNDPROC hooks of the thread that
   created the window (wParam of the hook: 1 when sent by that thread), the newest hook first,
   each reaching the next with CallNextHookEx. Sent from the window's own thread they are
   delivered at once; sent from another thread they wait until the window's thread calls
   PeekMessageA (or kivDeliverSentMessages), which delivers them on that thread, and the sender
   does not wait. DestroyWindow works only on the window's own thread (ERROR_ACCESS_DENIED). */
void kivDeliverSentMessages(void);
typedef struct tagMSG { HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; DWORD time; POINT pt; } MSG, *LPMSG;
#define PM_NOREMOVE 0
#define PM_REMOVE   1
/* Delivers the messages sent to the calling thread's windows by other threads; posted messages
   do not exist in the stand-in, so it always answers FALSE. */
BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT remove);

/* Observers of window changes (the graphics engine's window tracking): called on the thread
   that made the change, after the window's state changed and before the messages are sent. */
#define KIV_WINDOW_CREATED   1
#define KIV_WINDOW_CHANGED   2   /* moved and/or resized */
#define KIV_WINDOW_DESTROYED 3   /* called before the window is gone; IsWindow is still TRUE */
typedef void (*KivWindowObserver)(void *context, HWND hwnd, UINT event);
void kivAddWindowObserver(KivWindowObserver fn, void *context);
void kivRemoveWindowObserver(KivWindowObserver fn, void *context);

#define WS_OVERLAPPED 0x00000000u
#define WS_CHILD      0x40000000u
#define WS_VISIBLE    0x10000000u
/* Top-level windows are placed by their client area: x, y, w, h give the client rectangle in
   screen coordinates (the stand-in draws no frame). */
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                            int w, int h, HWND parent, HMENU menu, HINSTANCE inst, LPVOID param);
BOOL WINAPI DestroyWindow(HWND hwnd);
BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int w, int h, BOOL repaint);
BOOL WINAPI IsWindow(HWND hwnd);
BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect);
BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect);
BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt);
HWND WINAPI GetParent(HWND hwnd);
DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
int WINAPI GetSystemMetrics(int index);
BOOL WINAPI IntersectRect(LPRECT dst, LPCRECT a, LPCRECT b);
BOOL WINAPI InvalidateRect(HWND hwnd, const RECT *rect, BOOL erase);

/* ---- device contexts, bitmaps and pixel formats ---------------------------------------------- */
#define OBJ_PEN     1
#define OBJ_BRUSH   2
#define OBJ_DC      3
#define OBJ_PAL     5
#define OBJ_BITMAP  7
#define OBJ_REGION  8
#define OBJ_MEMDC  10
HDC WINAPI GetDC(HWND hwnd);
int WINAPI ReleaseDC(HWND hwnd, HDC hdc);
HDC WINAPI CreateCompatibleDC(HDC hdc);
BOOL WINAPI DeleteDC(HDC hdc);
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int w, int h);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj);
BOOL WINAPI DeleteObject(HGDIOBJ obj);
DWORD WINAPI GetObjectType(HGDIOBJ obj);
HWND WINAPI WindowFromDC(HDC hdc);
HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);
int WINAPI GetDeviceCaps(HDC hdc, int index);
#define HORZRES   8
#define VERTRES  10
#define BITSPIXEL 12
#define PLANES   14

typedef struct tagPIXELFORMATDESCRIPTOR {
    WORD nSize, nVersion;
    DWORD dwFlags;
    BYTE iPixelType, cColorBits, cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift,
         cAlphaBits, cAlphaShift, cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits,
         cAccumAlphaBits, cDepthBits, cStencilBits, cAuxBuffers, iLayerType, bReserved;
    DWORD dwLayerMask, dwVisibleMask, dwDamageMask;
} PIXELFORMATDESCRIPTOR, *LPPIXELFORMATDESCRIPTOR;
#define PFD_TYPE_RGBA        0
#define PFD_TYPE_COLORINDEX  1
#define PFD_MAIN_PLANE       0
#define PFD_DOUBLEBUFFER          0x00000001
#define PFD_STEREO                0x00000002
#define PFD_DRAW_TO_WINDOW        0x00000004
#define PFD_DRAW_TO_BITMAP        0x00000008
#define PFD_SUPPORT_GDI           0x00000010
#define PFD_SUPPORT_OPENGL        0x00000020
#define PFD_GENERIC_FORMAT        0x00000040
#define PFD_NEED_PALETTE          0x00000080
#define PFD_NEED_SYSTEM_PALETTE   0x00000100
#define PFD_SWAP_EXCHANGE         0x00000200
#define PFD_SWAP_COPY             0x00000400
#define PFD_SWAP_LAYER_BUFFERS    0x00000800
#define PFD_GENERIC_ACCELERATED   0x00001000
int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *pfd);
int WINAPI DescribePixelFormat(HDC hdc, int format, UINT bytes, LPPIXELFORMATDESCRIPTOR pfd);
int WINAPI GetPixelFormat(HDC hdc);
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR *pfd);

typedef struct tagLAYERPLANEDESCRIPTOR {
    WORD nSize, nVersion;
    DWORD dwFlags;
    BYTE iPixelType, cColorBits, cRedBits, cRedShift, cGreenBits, cGreenShift, cBlueBits, cBlueShift,
         cAlphaBits, cAlphaShift, cAccumBits, cAccumRedBits, cAccumGreenBits, cAccumBlueBits,
         cAccumAlphaBits, cDepthBits, cStencilBits, cAuxBuffers, iLayerPlane, bReserved;
    DWORD crTransparent;
} LAYERPLANEDESCRIPTOR, *LPLAYERPLANEDESCRIPTOR;
typedef DWORD COLORREF;

/* Escapes to the display driver. */
#define QUERYESCSUPPORT 8
#define OPENGL_GETINFO  4353   /* 0x1101 */
int WINAPI ExtEscape(HDC hdc, int escape, int inSize, LPCSTR in, int outSize, LPSTR out);
BOOL WINAPI SwapBuffers(HDC hdc);
KIV_END_C

#ifdef __cplusplus
static_assert(sizeof(void *) == 4, "this package is built for i386");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
static_assert(sizeof(LAYERPLANEDESCRIPTOR) == 32);
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(CRITICAL_SECTION) == 24);
#endif

/* ---- used by the 9x HAL ----------------------------------------------------------------------
   Heaps, string helpers, the multimedia timer and per-module switches of Windows 9x. A heap
   created with HEAP_SHARED lives in memory that every process of the machine sees at the same
   address (it survives fork()), as the 9x shared arena does. */
KIV_BEGIN_C
#define HEAP_ZERO_MEMORY 0x00000008
#define HEAP_SHARED      0x04000000
HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialBytes, SIZE_T maximumBytes);
BOOL WINAPI HeapDestroy(HANDLE heap);
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block);
/* Test switches: the Nth heap allocation from now (1 = the next) fails, 0 turns it off; the
   number of live blocks of a heap (-1 for a handle that is not a live heap). */
void kivFailHeapAllocAfter(unsigned n);
int kivHeapLiveBlocks(HANDLE heap);
BOOL WINAPI DisableThreadLibraryCalls(HMODULE module);
int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b);
LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src);
int WINAPI lstrlenA(LPCSTR s);
DWORD WINAPI timeGetTime(void);
/* A module's shared data section: the page-aligned range [start, start + bytes) becomes memory
   shared with every process forked from now on, keeping its contents. Returns 1 on success. */
int kivShareModuleData(void *start, SIZE_T bytes);
KIV_END_C

/* ---- virtual memory and the machine's memory figure (the OpenGL driver's command buffers) ---- */
KIV_BEGIN_C
#define MEM_COMMIT   0x00001000
#define MEM_RESERVE  0x00002000
#define MEM_RELEASE  0x00008000
/* Zero-filled, 64 KB-aligned; only whole releases (VirtualFree(base, 0, MEM_RELEASE)). */
LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect);
BOOL WINAPI VirtualFree(LPVOID address, SIZE_T bytes, DWORD type);
/* Test switches: the Nth VirtualAlloc from now (1 = the next) fails, 0 turns it off; the number
   of live allocations. */
void kivFailVirtualAllocAfter(unsigned n);
int kivVirtualAllocLive(void);
typedef struct _MEMORYSTATUS {
    DWORD dwLength, dwMemoryLoad;
    SIZE_T dwTotalPhys, dwAvailPhys, dwTotalPageFile, dwAvailPageFile, dwTotalVirtual, dwAvailVirtual;
} MEMORYSTATUS, *LPMEMORYSTATUS;
void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS status);
/* The simulated PC's physical memory (default 128 MB), as GlobalMemoryStatus reports it. */
void kivSetPhysicalMemory(SIZE_T bytes);
KIV_END_C

/* ---- DIB sections, object queries, brushes, rectangle fills and regions ------------------------ */
typedef struct tagRGBQUAD { BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved; } RGBQUAD;
typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth, biHeight;   /* a negative height: rows run top to bottom */
    WORD biPlanes, biBitCount;
    DWORD biCompression, biSizeImage;
    LONG biXPelsPerMeter, biYPelsPerMeter;
    DWORD biClrUsed, biClrImportant;
} BITMAPINFOHEADER;
/* The header, then the colour table: RGBQUADs, WORD palette indices (DIB_PAL_COLORS) or, for
   BI_BITFIELDS, the red, green and blue masks. */
typedef struct tagBITMAPINFO { BITMAPINFOHEADER bmiHeader; RGBQUAD bmiColors[1]; } BITMAPINFO;
typedef struct tagBITMAP {
    LONG bmType, bmWidth, bmHeight, bmWidthBytes;
    WORD bmPlanes, bmBitsPixel;
    LPVOID bmBits;   /* null for device-dependent bitmaps */
} BITMAP;
typedef struct tagDIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
} DIBSECTION;
#define BI_RGB        0
#define BI_BITFIELDS  3
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH  5

typedef struct tagRGNDATAHEADER {
    DWORD dwSize;    /* 32 */
    DWORD iType;     /* RDH_RECTANGLES */
    DWORD nCount;
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER;
typedef struct tagRGNDATA { RGNDATAHEADER rdh; char Buffer[1]; } RGNDATA;
#define RDH_RECTANGLES 1
typedef struct tagXFORM { float eM11, eM12, eM21, eM22, eDx, eDy; } XFORM;
/* Combine modes and region kinds. */
#define RGN_AND  1
#define RGN_OR   2
#define RGN_XOR  3
#define RGN_DIFF 4
#define RGN_COPY 5
#define RGN_ERROR     0
#define NULLREGION    1
#define SIMPLEREGION  2
#define COMPLEXREGION 3

KIV_BEGIN_C
/* bits receives the address of the pixels, which live until the bitmap is deleted. Rows are
   DWORD-aligned; 16-bit sections take BI_RGB (5-5-5) or BI_BITFIELDS. */
HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *info, UINT usage, void **bits, HANDLE section,
                                DWORD offset);
/* Bitmaps: a BITMAP (24 bytes), or for a DIB section with room for it a DIBSECTION (84 bytes);
   returns the bytes written (the size needed when out is null), 0 for other objects. */
int WINAPI GetObjectA(HGDIOBJ obj, int size, LPVOID out);
HGDIOBJ WINAPI GetStockObject(int index);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
/* Fills in the memory DC's bitmap (right and bottom exclusive, clipped to the bitmap); colours
   map to the nearest entry of the colour table at 8 bits and fewer. */
int WINAPI FillRect(HDC hdc, const RECT *rect, HBRUSH brush);
BOOL WINAPI FillRgn(HDC hdc, HRGN region, HBRUSH brush);
BOOL WINAPI GdiFlush(void);
/* Regions are sets of pixels kept as lists of rectangles (bands top to bottom, left to right). */
HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom);
HRGN WINAPI CreateRectRgnIndirect(const RECT *rect);
HRGN WINAPI ExtCreateRegion(const XFORM *xform, DWORD size, const RGNDATA *data);
int WINAPI CombineRgn(HRGN dst, HRGN a, HRGN b, int mode);
DWORD WINAPI GetRegionData(HRGN region, DWORD size, RGNDATA *data);
int WINAPI GetRgnBox(HRGN region, LPRECT rect);
int WINAPI OffsetRgn(HRGN region, int dx, int dy);
KIV_END_C
#ifdef __cplusplus
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAP) == 24);
static_assert(sizeof(DIBSECTION) == 84);
static_assert(sizeof(RGNDATAHEADER) == 32);
#endif
