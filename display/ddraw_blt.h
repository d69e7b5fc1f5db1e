// DirectDraw's blit callback: the depth workers it dispatches to; and the engine lock that every
// DirectDraw callback touching the engine takes.
#pragma once
#include "display/ddraw_ddi.h"
#include "platform/ntgdi/winddi.h"

// The workers of the three screen depths (DdBlt picks one).
DWORD ulBlt8(ZK_DD_BLTDATA *p);
DWORD ulBlt16(ZK_DD_BLTDATA *p);
DWORD ulBlt32(ZK_DD_BLTDATA *p);

// Takes the engine from the OpenGL driver while it is active and gives it back on every way
// out; the cached free count is dropped both ways (the other driver used the FIFO, and the
// next user must look again).
class DdEngineLock {
public:
    explicit DdEngineLock(ZK_PDEV *ppdev) : ppdev_(ppdev), held_(ppdev->bOpenGlActive && ppdev->engineSemaphore) {
        if (!held_) return;
        EngAcquireSemaphore(ppdev->engineSemaphore);
        if (ppdev->pfnSyncEngine) ppdev->pfnSyncEngine(ppdev);
        ppdev->usFifoFree = 0;
    }
    ~DdEngineLock() {
        ppdev_->usFifoFree = 0;
        if (held_) EngReleaseSemaphore(ppdev_->engineSemaphore);
    }
    DdEngineLock(const DdEngineLock &) = delete;
    DdEngineLock &operator=(const DdEngineLock &) = delete;

private:
    ZK_PDEV *ppdev_;
    bool held_;
};
