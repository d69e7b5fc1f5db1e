// The exports opengl32 calls (with DllMain, the fifteen entries of the driver file), and one that
// only tools call.
#pragma once
#include "platform/win32/win32.h"
#include "icd/core/proctable.h"

typedef ULONG_PTR DHGLRC;

KIV_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
KIV_EXPORT BOOL WINAPI DrvValidateVersion(ULONG version);
KIV_EXPORT DHGLRC WINAPI DrvCreateContext(HDC hdc);
KIV_EXPORT DHGLRC WINAPI DrvCreateLayerContext(HDC hdc, int layerPlane);
KIV_EXPORT BOOL WINAPI DrvDeleteContext(DHGLRC dhglrc);
KIV_EXPORT GlProcTable *WINAPI DrvSetContext(HDC hdc, DHGLRC dhglrc, GlSetProcTableProc setProcTable);
KIV_EXPORT BOOL WINAPI DrvReleaseContext(DHGLRC dhglrc);
KIV_EXPORT BOOL WINAPI DrvShareLists(DHGLRC first, DHGLRC second);
KIV_EXPORT BOOL WINAPI DrvCopyContext(DHGLRC source, DHGLRC dest, UINT mask);
KIV_EXPORT BOOL WINAPI DrvSwapLayerBuffers(HDC hdc, UINT planes);
KIV_EXPORT BOOL WINAPI DrvDescribeLayerPlane(HDC hdc, int pixelFormat, int layerPlane, UINT bytes,
                                             LPLAYERPLANEDESCRIPTOR lpd);
KIV_EXPORT int WINAPI DrvGetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count, COLORREF *colors);
KIV_EXPORT int WINAPI DrvSetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count,
                                                const COLORREF *colors);
KIV_EXPORT BOOL WINAPI DrvRealizeLayerPalette(HDC hdc, int layerPlane, BOOL realize);
KIV_EXPORT FARPROC WINAPI DrvGetProcAddress(LPCSTR name);

// For benchmarks and tools, found with GetProcAddress in the loaded module: the line of
// __glOgDescribe (icd/codegen/og_describe.h) for the calling thread's current context, written
// into text (at most size bytes, terminated when size is not 0); returns the whole line's length.
KIV_EXPORT UINT WINAPI __glDescribeGeneratedCode(LPSTR text, UINT size);

// Last-error codes of the exports.
constexpr DWORD kWglErrContext = 0xE03D3D00;       // context cannot be created, copied or destroyed
constexpr DWORD kWglErrNoDrawable = 0xE03D3D01;    // DC gives no window or bitmap; drawable fails
constexpr DWORD kWglErrBadHandle = 0xE03D3D02;     // handle not found, or no context current
constexpr DWORD kWglErrNoMemory = 0xE03D3D05;      // handle record cannot be allocated
constexpr DWORD kWglErrHook = 0xE03D3D07;          // window hook cannot be installed
constexpr DWORD kWglErrPixelFormat = 0xE03D3D09;   // no pixel format, or layer plane 0
constexpr DWORD kWglErrDescribe = 0xE03D3D11;      // pixel format or layer cannot be described
constexpr DWORD kWglErrBusy = 0xE03D3D19;          // current on another thread
constexpr DWORD kWglErrFormatMismatch = 0xE03D3D1A;
constexpr DWORD kWglErrShareFirst = 0xE03D3D20;
constexpr DWORD kWglErrShareSecond = 0xE03D3D21;
constexpr DWORD kWglErrShareFailed = 0xE03D3D22;
