// DirectDraw's overlays, not built yet. The entries decline (DirectDraw then blits in
// software and reports no overlay), and the overlay hooks of surface destruction and unlock do nothing.
#include "display/ddraw_ddi.h"

DWORD APIENTRY DdUpdateOverlay(ZK_DD_UPDATEOVERLAYDATA *) { return ZK_DDHAL_NOTHANDLED; }
DWORD APIENTRY DdSetOverlayPosition(ZK_DD_SETOVERLAYPOSITIONDATA *) { return ZK_DDHAL_NOTHANDLED; }
void vSwitchOffOverlay(ZK_PDEV *) {}
void vConvertPlanarOverlay(ZK_PDEV *, ZK_DD_SURFACE_LOCAL *) {}
