// The records and codes of DirectDraw's flip, blit, vertical-blank, colour-key and overlay
// calls into a 9x HAL, as this platform's DirectDraw runtime passes them.
#pragma once
#include "platform/ddraw/ddraw_hal.h"

// ---- results ----------------------------------------------------------------------------------
#define DDERR_TOOBIGHEIGHT ((HRESULT)0x887601D6)
#define DDERR_TOOBIGWIDTH  ((HRESULT)0x887601EA)
#define DDERR_INVALIDPARAMS ((HRESULT)0x80070057)
#define DDERR_INVALIDRECT  ((HRESULT)0x88760096)

// ---- flags --------------------------------------------------------------------------------------
#define DDSCAPS_VISIBLE    0x00008000
#define DDSCAPS_HWCODEC    0x00080000
#define DDSCAPS_LIVEVIDEO  0x00100000

#define DDBLT_COLORFILL        0x00000400
#define DDBLT_KEYSRCOVERRIDE   0x00010000
#define DDBLT_ROP              0x00020000
#define DDBLT_WAIT             0x01000000
#define DDBLT_DEPTHFILL        0x02000000

#define DDGFS_CANFLIP    0x00000001
#define DDGFS_ISFLIPDONE 0x00000002
#define DDGBS_CANBLT     0x00000001
#define DDGBS_ISBLTDONE  0x00000002

#define DDWAITVB_BLOCKBEGIN 0x00000001
#define DDWAITVB_BLOCKEND   0x00000004
#define DDWAITVB_I_TESTVB   0x80000006

#define DDOVER_HIDE            0x00000200
#define DDOVER_KEYDEST         0x00000400
#define DDOVER_KEYDESTOVERRIDE 0x00000800
#define DDOVER_KEYSRC          0x00001000
#define DDOVER_KEYSRCOVERRIDE  0x00002000
#define DDOVER_SHOW            0x00004000

#define DDCKEY_DESTOVERLAY 0x00000004
#define DDCKEY_SRCBLT      0x00000008
#define DDCKEY_SRCOVERLAY  0x00000010

// ROP3 codes as DirectDraw passes them: the code in bits 16-23 of dwROP.
#define DD_ROP_BLACKNESS 0x00000042
#define DD_ROP_SRCCOPY   0x00CC0020
#define DD_ROP_WHITENESS 0x00FF0062

// ---- records ------------------------------------------------------------------------------------
struct DDBLTFX {
    DWORD dwSize;
    DWORD dwDDFX;
    DWORD dwROP;
    union {
        DWORD dwFillColor;
        DWORD dwFillDepth;
    };
    DDCOLORKEY ddckDestColorkey;
    DDCOLORKEY ddckSrcColorkey;
};

struct DDOVERLAYFX {
    DWORD dwSize;
    DWORD dwDDFX;
    DDCOLORKEY dckDestColorkey;
    DDCOLORKEY dckSrcColorkey;
};

struct DDHAL_FLIPDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpSurfCurr;   // on the screen now
    DDRAWI_DDRAWSURFACE_LCL *lpSurfTarg;   // to be shown
    DWORD dwFlags;
    HRESULT ddRVal;
    void *Flip;
};

struct DDHAL_GETFLIPSTATUSDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    DWORD dwFlags;
    HRESULT ddRVal;
    void *GetFlipStatus;
};

struct DDHAL_WAITFORVERTICALBLANKDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DWORD dwFlags;
    DWORD bIsInVB;
    DWORD hEvent;
    HRESULT ddRVal;
    void *WaitForVerticalBlank;
};

struct DDHAL_BLTDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDDestSurface;
    RECTL rDest;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSrcSurface;
    RECTL rSrc;
    DWORD dwFlags;
    DWORD dwROPFlags;
    DDBLTFX bltFX;
    HRESULT ddRVal;
    void *Blt;
};

struct DDHAL_GETBLTSTATUSDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    DWORD dwFlags;
    HRESULT ddRVal;
    void *GetBltStatus;
};

struct DDHAL_UPDATEOVERLAYDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDDestSurface;   // the surface shown under the overlay
    RECTL rDest;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSrcSurface;    // the overlay surface
    RECTL rSrc;
    DWORD dwFlags;
    DDOVERLAYFX overlayFX;
    HRESULT ddRVal;
    void *UpdateOverlay;
};

struct DDHAL_SETOVERLAYPOSITIONDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSrcSurface;
    DDRAWI_DDRAWSURFACE_LCL *lpDDDestSurface;
    LONG lXPos;
    LONG lYPos;
    HRESULT ddRVal;
    void *SetOverlayPosition;
};

struct DDHAL_DRVSETCOLORKEYDATA {
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    DWORD dwFlags;
    DDCOLORKEY ckNew;
    HRESULT ddRVal;
    void *SetColorKey;
};
