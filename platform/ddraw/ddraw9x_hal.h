// The Windows 9x DirectDraw runtime over a display driver's 32-bit HAL: loads the HAL library
// the 16-bit driver names, creates the driver object from the description the driver had the
// HAL fill at its mode set, enters the HAL through its 32-bit entry and asks it for its further
// callback tables.
#pragma once
#include "platform/ddraw/ddraw_hal.h"

// What DirectDraw knows of the card after creating its driver object.
struct Ddraw9xDriver {
    HMODULE module;
    DDRAWI_DIRECTDRAW_GBL gbl;           // dwReserved3: the HAL's answer to its 32-bit entry
    DDHALINFO info;                      // flat pointers into the driver's records
    DDHAL_DDCALLBACKS callbacks;
    DDHAL_DDSURFACECALLBACKS surfaceCallbacks;
    VIDMEM heaps[4];
    DDHALMODEINFO modes[4];
    DWORD fourCC[8];
    // driver-information queries
    DWORD gotCallbacks2, gotMiscCallbacks;   // handled by the HAL
    HRESULT callbacks2Result, miscResult;
    DWORD callbacks2ActualSize, miscActualSize;
    D3DHAL_CALLBACKS2 callbacks2;
    DDHAL_DDMISCELLANEOUSCALLBACKS misc;
};

// Loads the HAL library (e.g. "sivhal.dll"); its process attach connects it with the 16-bit
// driver. Returns the module or null.
HMODULE kivDdraw9xLoadHal(const char *library);
void kivDdraw9xUnloadHal(HMODULE module);

// Creates the driver object from a flat copy of the driver's description: enters the HAL with
// the driver's context value through the named 32-bit entry, copies the description's records
// and queries GetDriverInfo. Returns 1 on success.
int kivDdraw9xCreateDriver(HMODULE module, const char *entryName, DWORD context, const DDHALINFO *info,
                           Ddraw9xDriver *out);

// Destroys a surface as DirectDraw does: the driver's DestroySurface callback, then, unless the
// driver handled it, DirectDraw frees the surface's block when it has a heap.
DWORD kivDdraw9xDestroySurface(DDRAWI_DIRECTDRAW_GBL *lpDD, LPDDHALSURFCB_DESTROYSURFACE destroy,
                               DDRAWI_DDRAWSURFACE_LCL *surface);
// Test switches of the video-memory allocator: the Nth allocation from now fails (0: off);
// the live blocks of a driver object's heaps.
void kivVidMemFailAfter(unsigned n);
int kivVidMemLiveBlocks(const DDRAWI_DIRECTDRAW_GBL *lpDD);
