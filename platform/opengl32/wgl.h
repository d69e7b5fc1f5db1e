/* The system OpenGL library (opengl32) of the stand-in platform, as programs use it: the wgl*
   calls. The gl* entry points are declared in <GL/gl.h>; SwapBuffers is in win32.h.

   How it works, as the platform's opengl32 does:
   - The ICD loader (first wglCreateContext / wglCreateLayerContext, or a wgl layer call): asks
     the DC's display driver ExtEscape(QUERYESCSUPPORT, OPENGL_GETINFO), then OPENGL_GETINFO for
     the ICD's name; reads the library for that name from the registry (HKEY_LOCAL_MACHINE,
     kivOpenGlDriversKey(), a REG_SZ value named by the ICD name); LoadLibraryA (which runs the
     ICD's DllMain); finds the Drv* exports; DrvValidateVersion(the driver version of the
     OPENGL_GETINFO reply). The ICD stays loaded for the life of the process (or until
     kivOpenGlUnloadDriver).
   - Each gl* export is a jump through the calling thread's proc table: opengl32 keeps, in its
     own thread-local word, a POINTER to the GlProcTable (count word, then slot i = dispatch
     offset i) that DrvSetContext returned, and replaces it whenever the ICD calls the proc-table
     callback. It keeps the pointer rather than a copy, so slots the ICD patches in its live
     table later are seen at once. A thread with no current context calls through opengl32's
     own table of do-nothing entries (each returns 0 and pops its argument bytes).
   - wglMakeCurrent releases the thread's current context (DrvReleaseContext) before it makes
     another current (DrvSetContext(hdc, dhglrc, callback)), as the platform's loader does; the
     ICD's DrvSetContext does not release a different context itself.
   - wglSwapBuffers: when the calling thread has a current context on the same window (or DC),
     it calls glFinish through the proc table within the first bytes of its code, so that the
     ICD, which compares glFinish's return address with the address of "wglSwapBuffers" in
     opengl32.dll (within 100 bytes), performs the swap there; it then returns TRUE without
     calling DrvSwapLayerBuffers (no second swap). Without such a context it calls
     DrvSwapLayerBuffers(hdc, WGL_SWAP_MAIN_PLANE).
   - wglDeleteContext of the calling thread's current context releases it first. */
#pragma once
#include "platform/win32/win32.h"
#include <GL/gl.h>

typedef int (WINAPI *PROC)(void);

#define WGL_SWAP_MAIN_PLANE 0x00000001u
#define ERROR_BUSY 170

KIV_BEGIN_C
HGLRC WINAPI wglCreateContext(HDC hdc);
HGLRC WINAPI wglCreateLayerContext(HDC hdc, int layerPlane);
BOOL WINAPI wglDeleteContext(HGLRC hglrc);
BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc);
HGLRC WINAPI wglGetCurrentContext(void);
HDC WINAPI wglGetCurrentDC(void);
BOOL WINAPI wglShareLists(HGLRC first, HGLRC second);
BOOL WINAPI wglCopyContext(HGLRC source, HGLRC dest, UINT mask);
PROC WINAPI wglGetProcAddress(LPCSTR name);
BOOL WINAPI wglSwapBuffers(HDC hdc);
BOOL WINAPI wglSwapLayerBuffers(HDC hdc, UINT planes);
BOOL WINAPI wglDescribeLayerPlane(HDC hdc, int pixelFormat, int layerPlane, UINT bytes,
                                  LPLAYERPLANEDESCRIPTOR lpd);
int WINAPI wglGetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count, COLORREF *colors);
int WINAPI wglSetLayerPaletteEntries(HDC hdc, int layerPlane, int start, int count, const COLORREF *colors);
BOOL WINAPI wglRealizeLayerPalette(HDC hdc, int layerPlane, BOOL realize);

/* ---- for programs and tests of the stand-in --------------------------------------------------
   Why the ICD could not be loaded (or a context not be created), as one line; "" when nothing
   failed yet on this thread. */
const char *kivOpenGlError(void);
/* The loaded ICD's library name ("kivgl") and module, or NULL when none is loaded. */
const char *kivOpenGlDriverName(void);
HMODULE kivOpenGlDriverModule(void);
/* Unloads the ICD when no context of it is left (FreeLibrary, so its DllMain sees
   DLL_PROCESS_DETACH). TRUE when nothing is loaded afterwards. */
BOOL kivOpenGlUnloadDriver(void);
/* The proc table the calling thread calls through (a GlProcTable: count word, then slots), and
   opengl32's own do-nothing table. */
const void *kivOpenGlCurrentTable(void);
const void *kivOpenGlNopTable(void);
/* The ICD handle (DHGLRC) behind an HGLRC, 0 when the HGLRC is not valid. */
ULONG_PTR kivOpenGlDriverHandle(HGLRC hglrc);
KIV_END_C
