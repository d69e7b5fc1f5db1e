// Shared state of the graphics-engine stand-in's source files.
#pragma once
#include <mutex>
#include <string>
#include <vector>
#include "platform/ntgdi/ntgdi.h"

std::recursive_mutex &kivEngLock();
// Escapes and window-object callbacks reach the display driver one at a time under this lock
// (taken before kivEngLock, never after it). The engine's own lock is not held across those
// calls: an escape may wait for a driver semaphore whose holder needs engine services.
std::recursive_mutex &kivEngDriverCallLock();
void kivEngError(const std::string &message);
FLONG kivEngSurfaceHooks(HSURF hsurf);

// Window objects (eng_wndobj.cpp): the first region of windows tracked during an escape is
// announced after it; a mode change moves every window object to the new screen surface;
// shutdown deletes them all.
void kivEngAnnounceNewWindows();
void kivEngRetargetWindows(SURFOBJ *pso);
void kivEngDeleteAllWindows();

// A palette object as the engine builds it for DrvSetPalette.
struct KivEngPalObj {
    PALOBJ po{};            // first: the driver's PALOBJ * is this record's address
    ULONG first = 0;
    std::vector<ULONG> colors;
};

// The driver's PDEV that the engine's device `hdev` was enabled with (null when none).
DHPDEV kivEngPdevOf(HDEV hdev);

// Bits per pixel of a BMF_ format; 0 for one the engine does not know.
inline unsigned kivEngBitsPerPixel(ULONG format) {
    switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
    }
}
