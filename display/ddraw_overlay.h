// DirectDraw's overlay: the window the last shown overlay had, and the overlay flip that a flip
// to an overlay surface makes.
#pragma once
#include "display/ddraw_ddi.h"

// What the last shown overlay looked like (heights 0 while hidden); a flip keeps its window.
struct ZK_OVERLAY_STATE {
    ULONG srcHeight, dstHeight;
    LONG srcLeft, srcTop;
    ULONG srcWidth, scanHeight;   // the buffer's window: source width and the lines scanned
};
extern ZK_OVERLAY_STATE g_zkOverlay;

// The overlay flip to lpSurfTarg (FIFO checked, engine taken by the caller).
void vFlipOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lpSurfCurr, ZK_DD_SURFACE_LOCAL *lpSurfTarg);
