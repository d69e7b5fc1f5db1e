// Where the graphics engine's primary surface lies, for the DirectDraw stand-in (kept apart
// because the engine's records and the DirectDraw records declare the same rectangle type).
#include "platform/ntgdi/ntgdi.h"
#include "platform/ntgdi/winddi.h"

bool kivDDrawScreenSurface(unsigned char **base, int *pitch) {
    const KivEngineDisplay *display = kivEngineRunning() ? kivEngineDisplay() : nullptr;
    if (display == nullptr || display->hsurf == nullptr) return false;
    SURFOBJ *so = EngLockSurface(display->hsurf);
    if (so == nullptr) return false;
    *base = static_cast<unsigned char *>(so->pvScan0);
    *pitch = int(so->lDelta);
    EngUnlockSurface(so);
    return *base != nullptr;
}
