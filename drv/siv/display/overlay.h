// The overlay of the streams processor: scaling and FIFO values, colour keys and the colour
// controls, as the overlay callbacks and the service requests use them.
#pragma once
#include "drv/siv/display/sivhal.h"

// The FIFO and stretch values for a mode.
struct OverlayScaling {
    DWORD minimumStretch;
    DWORD fifo81EC, fifo8200, fifo8208, fifo820C;
};

// A row of the tuning table: the largest mode it covers and its values. A row of width 0 ends
// the table.
struct OverlayTuningRow {
    DWORD width, height, displayBits, sourceBits, pixelClock;
    OverlayScaling values;
};

// The colour-key register values: 0x8184 (control and lower bound) and 0x8194 (upper bound).
struct OverlayColorKey {
    DWORD control;
    DWORD upper;
};

void ComputeOverlayScaling(DWORD width, DWORD height, DWORD displayBits, DWORD sourceBits, DWORD pixelClock,
                           OverlayScaling *out);
// Replaces the tuning table (null: the built-in one); returns the previous one.
const OverlayTuningRow *SetOverlayTuningTable(const OverlayTuningRow *table);
void SetOverlayWindow(DriverBlock *block, DWORD *r8190, DWORD *r81E8, DWORD *r8200, DWORD *r8208, DWORD *r820C);
bool IsOverlayModeOk(DriverBlock *block);
bool ColorKeyComponents(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *surface, DWORD key, OverlayColorKey *out);
bool WithinHalf(LONG v, LONG limit);
LONG WrapAngle(LONG angle);
LONG CosineOf(LONG angle);
// A surface is going away: the overlay it owns is hidden and given up.
void OverlaySurfaceGone(DriverBlock *block, DDRAWI_DDRAWSURFACE_LCL *surface);
