// Callbacks and services of the HAL that are not built yet. Each keeps its final name and
// signature and does nothing: a DirectDraw callback answers "not handled", so DirectDraw does
// the work itself; the Direct3D driver data is not offered.
#include "drv/siv/display/sivhal.h"

#define SIV_PENDING_CALLBACKS(X)                           \
    X(AddAttachedSurface, DDHAL_ADDATTACHEDSURFACEDATA)    \
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

int BuildD3DDriverData(DriverBlock *block, ULONG_PTR *outGlobalData, ULONG_PTR *outCallbacks) {
    (void)block;
    *outGlobalData = 0;
    *outCallbacks = 0;
    return 0;
}
