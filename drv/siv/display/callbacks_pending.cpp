// Callbacks and services of the HAL that are not built yet. Each keeps its final name and
// signature and does nothing: a DirectDraw callback answers "not handled", so DirectDraw does
// the work itself; the overlay and colour-control services leave the chip untouched; the
// Direct3D driver data is not offered.
#include "drv/siv/display/sivhal.h"

#define SIV_PENDING_CALLBACKS(X)                           \
    X(SetColorKey, DDHAL_DRVSETCOLORKEYDATA)               \
    X(WaitForVerticalBlank, DDHAL_WAITFORVERTICALBLANKDATA) \
    X(Flip, DDHAL_FLIPDATA)                                \
    X(Blt, DDHAL_BLTDATA)                                  \
    X(AddAttachedSurface, DDHAL_ADDATTACHEDSURFACEDATA)    \
    X(GetBltStatus, DDHAL_GETBLTSTATUSDATA)                \
    X(GetFlipStatus, DDHAL_GETFLIPSTATUSDATA)              \
    X(UpdateOverlay, DDHAL_UPDATEOVERLAYDATA)              \
    X(SetOverlayPosition, DDHAL_SETOVERLAYPOSITIONDATA)    \
    X(SetRenderTarget, D3DHAL_SETRENDERTARGETDATA)         \
    X(DrawOnePrimitive, D3DHAL_DRAWONEPRIMITIVEDATA)       \
    X(DrawOneIndexedPrimitive, D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA) \
    X(DrawPrimitives, D3DHAL_DRAWPRIMITIVESDATA)

#define SIV_PENDING_CALLBACK(name, record) \
    DWORD WINAPI name(record *data) {      \
        (void)data;                        \
        return DDHAL_DRIVER_NOTHANDLED;    \
    }
SIV_PENDING_CALLBACKS(SIV_PENDING_CALLBACK)
#undef SIV_PENDING_CALLBACK

DWORD ApplyOverlayOptions(DriverBlock *block) {
    (void)block;
    return 1;
}

DWORD ApplyColorControls(DriverBlock *block) {
    (void)block;
    return 1;
}

// The overlay tuning table has no rows, so the default minimum stretch applies to every mode.
DWORD MinimumOverlayStretch(DWORD width, DWORD height, DWORD displayBits, DWORD sourceBits, DWORD pixelClock) {
    (void)width;
    (void)height;
    (void)displayBits;
    (void)sourceBits;
    (void)pixelClock;
    return 1000;
}

int BuildD3DDriverData(DriverBlock *block, ULONG_PTR *outGlobalData, ULONG_PTR *outCallbacks) {
    (void)block;
    *outGlobalData = 0;
    *outCallbacks = 0;
    return 0;
}
