// The DirectDraw runtime of the NT machine as an application process sees it: the DirectDraw
// object, surfaces and clippers. Surfaces are the display driver's: the primary is the screen,
// off-screen surfaces in video memory come from the driver's DirectDraw heap (so the chip reads
// them), and locks, blits and flips go to the driver's callbacks; system-memory surfaces are the
// runtime's own. Pixel formats are the display's (5-5-5 at 16 bits per pixel). Written for this
// project: the interfaces carry the calls the OpenGL driver makes, in our own declarations, and
// the test API below injects failures and reports leaks.
#pragma once
#include <vector>
#include "platform/ddraw/ddraw_hal.h"

// ---- results ------------------------------------------------------------------------------------
#define DDERR_GENERIC            ((HRESULT)0x80004005)
#define DDERR_INVALIDPARAMS      ((HRESULT)0x80070057)
#define DDERR_INVALIDOBJECT      ((HRESULT)0x88760082)
#define DDERR_NOCLIPLIST         ((HRESULT)0x887600CD)
#define DDERR_SURFACEBUSY        ((HRESULT)0x887601AE)
#define DDERR_SURFACELOST        ((HRESULT)0x887601C2)
#define DDERR_NOTLOCKED          ((HRESULT)0x88760248)
#define DDERR_WRONGMODE          ((HRESULT)0x8876024B)
#define DDERR_NODIRECTDRAWHW     ((HRESULT)0x88760233)

// ---- flags ------------------------------------------------------------------------------------------
#define DDSD_CAPS        0x00000001
#define DDSD_HEIGHT      0x00000002
#define DDSD_WIDTH       0x00000004
#define DDSD_PITCH       0x00000008
#define DDSD_LPSURFACE   0x00000800
#define DDSD_PIXELFORMAT 0x00001000
#define DDLOCK_WAIT      0x00000001
#define DDLOCK_READONLY  0x00000010
#define DDSCL_NORMAL     0x00000008
#define DDBLT_WAIT       0x01000000
#define DDFLIP_WAIT      0x00000001

struct IDirectDrawClipper {
    virtual ULONG Release() = 0;
    virtual HRESULT SetHWnd(DWORD flags, HWND hwnd) = 0;
    // The visible part of the clipper's window within `clip` (screen coordinates; NULL: the whole
    // client area) as an RGNDATA. With data NULL, or *size too small, *size gets the bytes needed.
    virtual HRESULT GetClipList(const RECT *clip, RGNDATA *data, DWORD *size) = 0;

protected:
    virtual ~IDirectDrawClipper() = default;
};

struct IDirectDrawSurface {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT GetSurfaceDesc(DDSURFACEDESC *desc) = 0;
    virtual HRESULT IsLost() = 0;
    virtual HRESULT Restore() = 0;
    // rect NULL locks the whole surface; lpSurface points at the rectangle's first pixel.
    virtual HRESULT Lock(const RECT *rect, DDSURFACEDESC *desc, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Unlock(void *address) = 0;
    // A copy from `source` (rectangles of equal size; NULL: the whole surface) or, with source
    // NULL, a fill of `dst` with the colour `fill`, by the display driver.
    virtual HRESULT Blt(const RECT *dst, IDirectDrawSurface *source, const RECT *src, DWORD flags, DWORD fill) = 0;
    virtual HRESULT Flip(IDirectDrawSurface *target, DWORD flags) = 0;

protected:
    virtual ~IDirectDrawSurface() = default;
};

struct IDirectDraw {
    virtual HRESULT QueryInterface(const GUID &iid, void **out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags) = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC *desc, IDirectDrawSurface **out, void *outer) = 0;
    virtual HRESULT CreateClipper(DWORD flags, IDirectDrawClipper **out, void *outer) = 0;
    virtual HRESULT GetDisplayMode(DDSURFACEDESC *desc) = 0;

protected:
    virtual ~IDirectDraw() = default;
};

extern const GUID IID_IDirectDraw;
extern const GUID IID_IDirectDraw2;

// guid NULL: the display device.
HRESULT WINAPI DirectDrawCreate(GUID *guid, IDirectDraw **out, void *outer);

// ---- test API ---------------------------------------------------------------------------------------
struct KivDDrawCounts {
    int objects, surfaces, clippers;  // live
    uint32_t videoBytes;              // held by video-memory off-screen surfaces
};
KivDDrawCounts kivDDrawCounts();
// Caps of the CreateSurface calls since the last reset, in order (failed ones included); the
// most recent 256 of them.
const std::vector<DWORD> &kivDDrawCreateLog();
void kivDDrawResetLog();
// The next `count` CreateSurface calls whose caps contain every bit of `caps` fail with `result`.
void kivDDrawFailCreate(DWORD caps, int count, HRESULT result = DDERR_OUTOFVIDEOMEMORY);
// Fails DirectDrawCreate / SetCooperativeLevel with DDERR_GENERIC while set.
void kivDDrawFailObjects(bool createFails, bool cooperativeFails);
// The next `count` Lock calls answer DDERR_SURFACEBUSY.
void kivDDrawBusyLocks(int count);
// Every live surface is lost (what a display-mode change does); a primary made in another mode
// answers DDERR_WRONGMODE to Restore.
void kivDDrawLoseSurfaces();
// Bytes of video memory the application's surfaces may hold together (default: no limit; 0
// refuses every video-memory surface). Not an injection: it stays set.
void kivDDrawSetVideoBudget(uint32_t bytes);
// Sets the machine's DirectDraw setting (KivMachineConfig::noDirectDraw): with it off,
// DirectDrawCreate answers DDERR_NODIRECTDRAWHW. Not an injection: it stays set.
void kivDDrawOffer(bool offered);
// Clears every injection.
void kivDDrawResetInjections();
