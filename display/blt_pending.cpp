// What the blit code needs of the off-screen heap, which is not built yet: its change counter
// stands still and no bitmap is moved into off-screen memory (a DIB-held source stays a DIB,
// drawn from system memory as before).
#include "display/blt.h"

ULONG ulHeapUniq(ZK_PDEV *) { return 0; }
BOOL bCacheBitmapOffscreen(ZK_PDEV *, ZK_DSURF *) { return FALSE; }
