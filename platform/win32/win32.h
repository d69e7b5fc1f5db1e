// Declarations of the Win32 user-mode services that the drivers and programs of this package
// use, as the stand-in platform provides them. Written for this project from how the drivers
// call them; the stand-in implementations live beside this header.
#pragma once
#include <cstddef>
#include <cstdint>

#define WINAPI   __attribute__((stdcall))
#define APIENTRY __attribute__((stdcall))
#define CALLBACK __attribute__((stdcall))
// Marks the entries a loadable driver module exports; everything else in a module stays hidden.
#define KIV_EXPORT extern "C" __attribute__((visibility("default")))

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

// Handles are opaque words; each kind is a distinct pointer type as on the platform.
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

// Last-error codes used by this package.
#define ERROR_SUCCESS             0
#define ERROR_INVALID_FUNCTION    1
#define ERROR_FILE_NOT_FOUND      2
#define ERROR_ACCESS_DENIED       5
#define ERROR_INVALID_HANDLE      6
#define ERROR_NOT_ENOUGH_MEMORY   8
#define ERROR_BAD_NETPATH        53
#define ERROR_DEV_NOT_EXIST      55
#define ERROR_INVALID_PARAMETER  87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_MOD_NOT_FOUND     126
#define ERROR_PROC_NOT_FOUND    127
#define ERROR_ALREADY_EXISTS    183
#define ERROR_MORE_DATA         234
#define ERROR_INVALID_PIXEL_FORMAT 2000
#define ERROR_INVALID_WINDOW_HANDLE 1400

typedef struct tagRECT { LONG left, top, right, bottom; } RECT, *LPRECT;
typedef const RECT *LPCRECT;
typedef struct tagPOINT { LONG x, y; } POINT, *LPPOINT;
typedef struct tagSIZE { LONG cx, cy; } SIZE;

// ---- last error, threads, processes --------------------------------------------------------
extern "C" {
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);
HANDLE WINAPI GetCurrentProcess(void);
typedef DWORD (WINAPI *LPTHREAD_START_ROUTINE)(LPVOID);
HANDLE WINAPI CreateThread(void *security, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param,
                           DWORD flags, LPDWORD threadId);
void WINAPI Sleep(DWORD ms);
DWORD WINAPI GetTickCount(void);
BOOL WINAPI QueryPerformanceCounter(LONGLONG *count);
BOOL WINAPI QueryPerformanceFrequency(LONGLONG *freq);

// ---- thread-local storage and the thread environment block ---------------------------------
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
DWORD WINAPI TlsAlloc(void);
BOOL WINAPI TlsFree(DWORD slot);
LPVOID WINAPI TlsGetValue(DWORD slot);
BOOL WINAPI TlsSetValue(DWORD slot, LPVOID value);
// The calling thread's environment block. Its TLS slot words sit at 0xE10 + 4*slot on NT and
// at 0x88 + 4*slot on 9x (the machine decides which); the block is 4096 bytes.
void *NtCurrentTeb(void);

// ---- versions ------------------------------------------------------------------------------
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT      2
typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info);

// ---- synchronisation -----------------------------------------------------------------------
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

// ---- memory --------------------------------------------------------------------------------
#define GMEM_FIXED    0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GPTR          (GMEM_FIXED | GMEM_ZEROINIT)
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags);
HGLOBAL WINAPI GlobalFree(HGLOBAL mem);
SIZE_T WINAPI GlobalSize(HGLOBAL mem);
// Test switch: the Nth global allocation from now (1 = the next) fails; 0 turns it off.
void kivFailGlobalAllocAfter(unsigned n);

// Named file mappings: real shared memory, shared by every process that opens the name.
#define PAGE_READWRITE      0x04
#define FILE_MAP_WRITE      0x0002
#define FILE_MAP_READ       0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F
HANDLE WINAPI CreateFileMappingA(HANDLE file, void *security, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR name);
HANDLE WINAPI OpenFileMappingA(DWORD access, BOOL inherit, LPCSTR name);
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offHigh, DWORD offLow, SIZE_T bytes);
BOOL WINAPI UnmapViewOfFile(LPCVOID view);

// ---- modules ---------------------------------------------------------------------------------
// "name.dll" loads name.so from KIV_MODULE_PATH (or the build's module folder).
HMODULE WINAPI LoadLibraryA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
BOOL WINAPI FreeLibrary(HMODULE module);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH  2
#define DLL_THREAD_DETACH  3

// ---- environment -----------------------------------------------------------------------------
DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size);

// ---- device I/O ------------------------------------------------------------------------------
#define GENERIC_READ  0x80000000u
#define GENERIC_WRITE 0x40000000u
#define OPEN_EXISTING 3
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, void *security, DWORD disposition,
                          DWORD flags, HANDLE templ);
BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                            DWORD outSize, LPDWORD returned, void *overlapped);

// ---- registry --------------------------------------------------------------------------------
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
LONG WINAPI RegCloseKey(HKEY key);

// ---- windows, messages and hooks -------------------------------------------------------------
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

#define WS_OVERLAPPED 0x00000000u
#define WS_CHILD      0x40000000u
#define WS_VISIBLE    0x10000000u
// Top-level windows are placed by their client area: x, y, w, h give the client rectangle in
// screen coordinates (the stand-in draws no frame).
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

// ---- device contexts, bitmaps and pixel formats ----------------------------------------------
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

// Escapes to the display driver.
#define QUERYESCSUPPORT 8
#define OPENGL_GETINFO  4353   // 0x1101
int WINAPI ExtEscape(HDC hdc, int escape, int inSize, LPCSTR in, int outSize, LPSTR out);
BOOL WINAPI SwapBuffers(HDC hdc);
}  // extern "C"

static_assert(sizeof(void *) == 4, "this package is built for i386");
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
static_assert(sizeof(LAYERPLANEDESCRIPTOR) == 32);
static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(CRITICAL_SECTION) == 24);
