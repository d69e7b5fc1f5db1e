// The engine's compatible bitmaps: each is offered to the display driver first
// (DrvCreateDeviceBitmap); when the driver refuses, the engine keeps the bitmap as its own DIB.
#pragma once
#include "platform/ntgdi/winddi.h"

struct KivEngBitmap {
    HSURF hsurf = nullptr;
    SURFOBJ *pso = nullptr;     // the engine's lock of the bitmap
    bool bDevice = false;       // the driver took it
};

// A bitmap of the primary surface's format; an empty record when even the engine cannot make it.
KivEngBitmap kivEngineCreateBitmap(LONG cx, LONG cy);
// DrvDeleteDeviceBitmap for a device bitmap, then the engine's surface goes.
void kivEngineDeleteBitmap(KivEngBitmap &bitmap);
