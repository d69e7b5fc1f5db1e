// DirectDraw's blit callback: the record it takes and the flags and codes it answers with.
#pragma once
#include "display/ddraw_ddi.h"
#include "platform/ntgdi/winddi.h"

#define ZK_DDBLT_ASYNC 0x00000200u
#define ZK_DDBLT_COLORFILL 0x00000400u
#define ZK_DDBLT_DDFX 0x00000800u
#define ZK_DDBLT_KEYDEST 0x00002000u
#define ZK_DDBLT_KEYDESTOVERRIDE 0x00004000u
#define ZK_DDBLT_KEYSRC 0x00008000u
#define ZK_DDBLT_KEYSRCOVERRIDE 0x00010000u
#define ZK_DDBLT_ROP 0x00020000u
#define ZK_DDBLT_WAIT 0x01000000u
#define ZK_DDBLTFX_MIRRORUPDOWN 0x00000004u

#define ZK_DDERR_INVALIDRECT ZK_DDERR(150)
#define ZK_DDERR_NOCOLORKEYHW ZK_DDERR(220)

#define ZK_SRCCOPY 0x00CC0020u

// The blit effects record (100 bytes); the driver reads the ROP, the effects, the fill colour
// and the source key.
struct ZK_DDBLTFX {
    DWORD dwSize, dwDDFX, dwROP, dwDDROP, dwRotationAngle, dwZBufferOpCode, dwZBufferLow, dwZBufferHigh,
        dwZBufferBaseDest, dwZDestConstBitDepth, dwZDestConst, dwZSrcConstBitDepth, dwZSrcConst,
        dwAlphaEdgeBlendBitDepth, dwAlphaEdgeBlend, dwReserved, dwAlphaDestConstBitDepth, dwAlphaDestConst,
        dwAlphaSrcConstBitDepth, dwAlphaSrcConst, dwFillColor;
    ZK_DDCOLORKEY ddckDestColorkey, ddckSrcColorkey;
};
static_assert(sizeof(ZK_DDBLTFX) == 100);

struct ZK_DD_BLTDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDDestSurface;
    RECTL rDest;
    ZK_DD_SURFACE_LOCAL *lpDDSrcSurface;
    RECTL rSrc;
    DWORD dwFlags, dwROPFlags;
    ZK_DDBLTFX bltFX;
    HRESULT_DD ddRVal;
    void *Blt;
    BOOL IsClipped;
    RECTL rOrigDest, rOrigSrc;
    DWORD dwRectCnt;
    RECTL *prDestRects;
};

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
