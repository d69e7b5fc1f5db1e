// The DirectDraw runtime of the NT machine as an application process sees it: the DirectDraw
// object, surfaces and clippers. The primary surface is the screen in the ZK3's video memory;
// off-screen surfaces asked for in video memory come from a pool at the top of video memory, so
// their addresses lie inside the frame-buffer region the chip reads; system-memory surfaces are
// heap blocks. Written for this project: the interfaces carry the calls the OpenGL driver makes,
// in our own declarations, and the test API below injects failures and reports leaks.
#pragma once
#include <vector>
#include "platform/ddraw/ddraw_hal.h"

// ---- results ------------------------------------------------------------------------------------
#define DDERR_GENERIC            ((HRESULT)0x80004005)
#define DDERR_INVALIDPARAMS      ((HRESULT)0x80070057)
#define DDERR_INVALIDOBJECT      ((HRESULT)0x88760082)
#define DDERR_NOCLIPLIST         ((HRESULT)0x887600CD)
#define DDERR_OUTOFVIDEOMEMORY   ((HRESULT)0x8876017C)
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
// Caps of every CreateSurface call since the last reset, in order (failed ones included).
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
// Bytes of video memory the off-screen pool may hand out: 0 (the default) none, so that video-
// memory surfaces are refused; 0xFFFFFFFF all there is. Not an injection: it stays set.
void kivDDrawSetVideoBudget(uint32_t bytes);
// Whether the machine offers these application objects at all: not unless a program or test
// turns them on (their surfaces are not the display driver's); DirectDrawCreate answers
// DDERR_NODIRECTDRAWHW meanwhile. Not an injection: it stays set.
void kivDDrawOffer(bool offered);
// Clears every injection.
void kivDDrawResetInjections();
