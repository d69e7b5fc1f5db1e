// DirectDraw's overlay callbacks: the records they take, their flags and codes, and the overlay
// flip that a flip to an overlay surface makes.
#pragma once
#include "display/ddraw_ddi.h"

#define ZK_DDOVER_HIDE 0x00000200u
#define ZK_DDOVER_KEYDEST 0x00000400u
#define ZK_DDOVER_KEYDESTOVERRIDE 0x00000800u
#define ZK_DDOVER_KEYSRC 0x00001000u
#define ZK_DDOVER_KEYSRCOVERRIDE 0x00002000u
#define ZK_DDOVER_SHOW 0x00004000u

#define ZK_DDERR_INVALIDPOSITION ZK_DDERR(130)
#define ZK_DDERR_NOTAOVERLAYSURFACE ZK_DDERR(580)
#define ZK_DDERR_INVALIDSURFACETYPE ZK_DDERR(592)

struct ZK_DDOVERLAYFX {
    DWORD dwSize, dwAlphaEdgeBlendBitDepth, dwAlphaEdgeBlend, dwReserved, dwAlphaDestConstBitDepth, dwAlphaDestConst,
        dwAlphaSrcConstBitDepth, dwAlphaSrcConst;
    ZK_DDCOLORKEY dckDestColorkey, dckSrcColorkey;
    DWORD dwDDFX, dwFlags;
};
static_assert(sizeof(ZK_DDOVERLAYFX) == 56);

struct ZK_DD_UPDATEOVERLAYDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDDestSurface;
    RECTL rDest;
    ZK_DD_SURFACE_LOCAL *lpDDSrcSurface;
    RECTL rSrc;
    DWORD dwFlags;
    ZK_DDOVERLAYFX overlayFX;
    HRESULT_DD ddRVal;
    void *UpdateOverlay;
};

struct ZK_DD_SETOVERLAYPOSITIONDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSrcSurface, *lpDDDestSurface;
    LONG lXPos, lYPos;
    HRESULT_DD ddRVal;
    void *SetOverlayPosition;
};

// What the last shown overlay looked like (heights 0 while hidden); a flip keeps its window.
struct ZK_OVERLAY_STATE {
    ULONG srcHeight, dstHeight;
    LONG srcLeft, srcTop;
};
extern ZK_OVERLAY_STATE g_zkOverlay;

// The overlay flip to lpSurfTarg (FIFO checked, engine taken by the caller).
void vFlipOverlay(ZK_PDEV *ppdev, ZK_DD_SURFACE_LOCAL *lpSurfCurr, ZK_DD_SURFACE_LOCAL *lpSurfTarg);
