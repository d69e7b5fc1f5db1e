// Procedures and DDI entries whose work belongs to parts of the driver not built yet
// (pointer, text, off-screen heaps, drawing, DirectDraw). Each keeps its final name and signature; none pretends to have done the work:
// the hooks of the device's life do nothing, and the DDI entries refuse.
#include "display/driver.h"

#include "display/ddi.h"

BOOL bInitPointer(ZK_PDEV *) { return TRUE; }
void vAssertModePointer(ZK_PDEV *, BOOL) {}
void vHeapReset(ULONG, ULONG, void **ppHeap) { *ppHeap = nullptr; }
BOOL bInitOffscreenHeap(ZK_PDEV *) { return TRUE; }
void vDisableOffscreenHeap(ZK_PDEV *ppdev) {
    vResetOffscreenHeap(ppdev, FALSE);
    ppdev->flags &= ~ZK_FLAG_DDRAW_HEAP;
}
void vFreeOffscreenSurfaces(ZK_PDEV *) {}
BOOL bAssertOffscreenHeap(ZK_PDEV *, BOOL) { return TRUE; }
void vResetOffscreenHeap(ZK_PDEV *, BOOL) {}
void vTexHeapReset(ULONG, ULONG) {}
ULONG ulTexHeapAlloc(ULONG) { return 0; }

// The pointer stays with the engine: a shape it cannot take is declined (SPS_DECLINE).
extern "C" void APIENTRY DrvMovePointer(SURFOBJ *, LONG, LONG, RECTL *) {}
extern "C" ULONG APIENTRY DrvSetPointerShape(SURFOBJ *, SURFOBJ *, SURFOBJ *, void *, LONG, LONG, LONG, LONG, RECTL *,
                                             FLONG) {
    return 0x2;
}
extern "C" HBITMAP APIENTRY DrvCreateDeviceBitmap(DHPDEV, SIZEL, ULONG) { return nullptr; }
extern "C" void APIENTRY DrvDeleteDeviceBitmap(DHSURF) {}
extern "C" BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *) { return FALSE; }
extern "C" BOOL APIENTRY DrvEnableDirectDraw(DHPDEV, void *, void *, void *) { return FALSE; }
extern "C" void APIENTRY DrvDisableDirectDraw(DHPDEV) {}
