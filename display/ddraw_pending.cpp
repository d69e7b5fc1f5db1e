// The planar overlay conversion is not built yet: unlocking a planar overlay leaves its packed
// copy as it was (packed overlays need no conversion).
#include "display/ddraw_ddi.h"

void vConvertPlanarOverlay(ZK_PDEV *, ZK_DD_SURFACE_LOCAL *) {}
