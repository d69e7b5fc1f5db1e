// Procedures and DDI entries whose work belongs to parts of the driver not built yet
// (DirectDraw). Each keeps its final name and signature; none pretends to have done the work:
// the hooks of the device's life do nothing, and the DDI entries refuse.
#include "display/driver.h"

#include "display/ddi.h"

void vResetOffscreenHeap(ZK_PDEV *, BOOL) {}
extern "C" BOOL APIENTRY DrvGetDirectDrawInfo(DHPDEV, void *, DWORD *, void *, DWORD *, DWORD *) { return FALSE; }
extern "C" BOOL APIENTRY DrvEnableDirectDraw(DHPDEV, void *, void *, void *) { return FALSE; }
extern "C" void APIENTRY DrvDisableDirectDraw(DHPDEV) {}
