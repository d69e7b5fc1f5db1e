// Procedures and DDI entries whose work belongs to parts of the driver not built yet
// (pointer, DirectDraw). Each keeps its final name and signature; none pretends to have done the work:
// the hooks of the device's life do nothing, and the DDI entries refuse.
#include "display/driver.h"

#include "display/ddi.h"

BOOL bInitPointer(ZK_PDEV *) { return TRUE; }
void vAssertModePointer(ZK_PDEV *, BOOL) {}
void vResetOffscreenHeap(ZK_PDEV *, BOOL) {}

// The pointer stays with the engine: a shape it cannot take is declined (SPS_DECLINE).
extern "C" void APIENTRY DrvMovePointer(SURFOBJ *, LONG, LONG, RECTL *) {}
extern "C" ULONG APIENTRY DrvSetPointerShape(SURFOBJ *, SURFOBJ *, SURFOBJ *, void *, LONG, LONG, LONG, LONG, RECTL *,
                                             FLONG) {
    return 0x2;
}
extern "C" BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *) { return FALSE; }
extern "C" BOOL APIENTRY DrvEnableDirectDraw(DHPDEV, void *, void *, void *) { return FALSE; }
extern "C" void APIENTRY DrvDisableDirectDraw(DHPDEV) {}
