// The NT DirectDraw driver interface: the records the graphics engine (for the DirectDraw runtime)
// hands a display driver's DirectDraw entries and callbacks, their flags and result codes. Our own
// declarations, holding the fields the drivers and the runtime stand-in use; the names carry a
// ZK_ prefix so that they never meet the 9x runtime's records of the same shape.
#pragma once
#include "platform/ntgdi/winddi.h"

typedef LONG HRESULT_DD;

#define ZK_DD_OK 0
#define ZK_DDHAL_NOTHANDLED 0u
#define ZK_DDHAL_HANDLED 1u
#define ZK_DDERR(code) static_cast<HRESULT_DD>(0x88760000u | (code))
#define ZK_DDERR_GENERIC static_cast<HRESULT_DD>(0x80004005u)
#define ZK_DDERR_UNSUPPORTED static_cast<HRESULT_DD>(0x80004001u)
#define ZK_DDERR_INVALIDPARAMS static_cast<HRESULT_DD>(0x80070057u)
#define ZK_DDERR_OUTOFMEMORY static_cast<HRESULT_DD>(0x8007000Eu)
#define ZK_DDERR_INVALIDPIXELFORMAT ZK_DDERR(145)
#define ZK_DDERR_NOOVERLAYHW ZK_DDERR(180)
#define ZK_DDERR_OUTOFCAPS ZK_DDERR(360)
#define ZK_DDERR_OUTOFVIDEOMEMORY ZK_DDERR(380)
#define ZK_DDERR_SURFACELOST ZK_DDERR(450)
#define ZK_DDERR_TOOBIGHEIGHT ZK_DDERR(470)
#define ZK_DDERR_TOOBIGWIDTH ZK_DDERR(480)
#define ZK_DDERR_UNSUPPORTEDFORMAT ZK_DDERR(510)
#define ZK_DDERR_VERTICALBLANKINPROGRESS ZK_DDERR(537)
#define ZK_DDERR_WASSTILLDRAWING ZK_DDERR(540)

// Surface capabilities.
#define ZK_DDSCAPS_ALPHA 0x00000002u
#define ZK_DDSCAPS_BACKBUFFER 0x00000004u
#define ZK_DDSCAPS_FLIP 0x00000010u
#define ZK_DDSCAPS_FRONTBUFFER 0x00000020u
#define ZK_DDSCAPS_OFFSCREENPLAIN 0x00000040u
#define ZK_DDSCAPS_OVERLAY 0x00000080u
#define ZK_DDSCAPS_PALETTE 0x00000100u
#define ZK_DDSCAPS_PRIMARYSURFACE 0x00000200u
#define ZK_DDSCAPS_SYSTEMMEMORY 0x00000800u
#define ZK_DDSCAPS_TEXTURE 0x00001000u
#define ZK_DDSCAPS_3DDEVICE 0x00002000u
#define ZK_DDSCAPS_VIDEOMEMORY 0x00004000u
#define ZK_DDSCAPS_VISIBLE 0x00008000u
#define ZK_DDSCAPS_ZBUFFER 0x00020000u
#define ZK_DDSCAPS_HWCODEC 0x00100000u
#define ZK_DDSCAPS_MODEX 0x00200000u

#define ZK_DDPF_FOURCC 0x00000004u
#define ZK_DDPF_PALETTEINDEXED8 0x00000020u
#define ZK_DDPF_RGB 0x00000040u
#define ZK_DDPF_ZBUFFER 0x00000400u

#define ZK_DDSD_HEIGHT 0x00000002u
#define ZK_DDSD_WIDTH 0x00000004u
#define ZK_DDSD_PITCH 0x00000008u
#define ZK_DDSD_BACKBUFFERCOUNT 0x00000020u

#define ZK_DDLOCK_WAIT 0x00000001u
#define ZK_DDLOCK_READONLY 0x00000010u
#define ZK_DDFLIP_WAIT 0x00000001u
#define ZK_DDGFS_CANFLIP 0x00000001u
#define ZK_DDGBS_CANBLT 0x00000001u
#define ZK_DDWAITVB_BLOCKBEGIN 0x00000001u
#define ZK_DDWAITVB_BLOCKBEGINEVENT 0x00000002u
#define ZK_DDWAITVB_BLOCKEND 0x00000004u
#define ZK_DDWAITVB_I_TESTVB 0x80000006u
#define ZK_DDCKEY_DESTOVERLAY 0x00000004u
#define ZK_DDCKEY_SRCBLT 0x00000008u
#define ZK_DDHAL_PLEASEALLOC_USERMEM 4u

#define ZK_FOURCC(a, b, c, d) \
    (static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 | static_cast<uint32_t>(c) << 16 | static_cast<uint32_t>(d) << 24)

struct ZK_DDSCAPS {
    DWORD dwCaps;
};

struct ZK_DDPIXELFORMAT {
    DWORD dwSize, dwFlags, dwFourCC, dwRGBBitCount;
    DWORD dwRBitMask, dwGBitMask, dwBBitMask, dwRGBAlphaBitMask;
};
static_assert(sizeof(ZK_DDPIXELFORMAT) == 32);

struct ZK_DDCOLORKEY {
    DWORD dwColorSpaceLowValue, dwColorSpaceHighValue;
};

struct ZK_DDSURFACEDESC {
    DWORD dwSize, dwFlags, dwHeight, dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate, dwAlphaBitDepth, dwReserved;
    void *lpSurface;
    ZK_DDCOLORKEY ddckCKDestOverlay, ddckCKDestBlt, ddckCKSrcOverlay, ddckCKSrcBlt;
    ZK_DDPIXELFORMAT ddpfPixelFormat;
    ZK_DDSCAPS ddsCaps;
};
static_assert(sizeof(ZK_DDSURFACEDESC) == 108);

struct ZK_DD_DIRECTDRAW_GLOBAL {
    DHPDEV dhpdev;
    ULONG_PTR dwReserved1, dwReserved2;
};

struct ZK_DD_SURFACE_GLOBAL {
    DWORD dwBlockSizeX, dwBlockSizeY;   // dwUserMemSize shares the first
    ULONG fpVidMem;
    LONG lPitch;
    LONG yHint, xHint;
    DWORD wWidth, wHeight;
    ULONG_PTR dwReserved1;
    ZK_DDPIXELFORMAT ddpfSurface;
    ULONG fpHeapOffset;
    HANDLE hCreatorProcess;
};

struct ZK_DD_SURFACE_LOCAL {
    ZK_DD_SURFACE_GLOBAL *lpGbl;
    DWORD dwFlags;
    ZK_DDSCAPS ddsCaps;
    ULONG_PTR dwReserved1;
    ZK_DDCOLORKEY ddckCKSrcOverlay, ddckCKSrcBlt, ddckCKDestOverlay, ddckCKDestBlt;
    RECTL rcOverlaySrc;
};


// ---- callback data records ----------------------------------------------------------------------
struct ZK_DD_CANCREATESURFACEDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DDSURFACEDESC *lpDDSurfaceDesc;
    DWORD bIsDifferentPixelFormat;
    HRESULT_DD ddRVal;
    void *CanCreateSurface;
};
struct ZK_DD_CREATESURFACEDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DDSURFACEDESC *lpDDSurfaceDesc;
    ZK_DD_SURFACE_LOCAL **lplpSList;
    DWORD dwSCnt;
    HRESULT_DD ddRVal;
    void *CreateSurface;
};
struct ZK_DD_DESTROYSURFACEDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSurface;
    HRESULT_DD ddRVal;
    void *DestroySurface;
};
struct ZK_DD_LOCKDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSurface;
    DWORD bHasRect;
    RECTL rArea;
    void *lpSurfData;
    HRESULT_DD ddRVal;
    void *Lock;
    DWORD dwFlags;
};
struct ZK_DD_UNLOCKDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSurface;
    HRESULT_DD ddRVal;
    void *Unlock;
};
struct ZK_DD_FLIPDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpSurfCurr, *lpSurfTarg;
    DWORD dwFlags;
    HRESULT_DD ddRVal;
    void *Flip;
};
struct ZK_DD_GETFLIPSTATUSDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSurface;
    DWORD dwFlags;
    HRESULT_DD ddRVal;
    void *GetFlipStatus;
};
typedef ZK_DD_GETFLIPSTATUSDATA ZK_DD_GETBLTSTATUSDATA;
struct ZK_DD_GETSCANLINEDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    DWORD dwScanLine;
    HRESULT_DD ddRVal;
    void *GetScanLine;
};
struct ZK_DD_WAITFORVERTICALBLANKDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    DWORD dwFlags, bIsInVB;
    ULONG_PTR hEvent;
    HRESULT_DD ddRVal;
    void *WaitForVerticalBlank;
};
struct ZK_DD_MAPMEMORYDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    BOOL bMap;
    HANDLE hProcess;
    ULONG_PTR fpProcess;
    HRESULT_DD ddRVal;
};
struct ZK_DD_SETCOLORKEYDATA {
    ZK_DD_DIRECTDRAW_GLOBAL *lpDD;
    ZK_DD_SURFACE_LOCAL *lpDDSurface;
    DWORD dwFlags;
    ZK_DDCOLORKEY ckNew;
    HRESULT_DD ddRVal;
    void *SetColorKey;
};

typedef DWORD(APIENTRY *PFN_ZK_DD)(void *pData);

// The engine's callback tables (the slots the driver fills, in table order).
struct ZK_DD_CALLBACKS {
    DWORD dwSize, dwFlags;
    PFN_ZK_DD DestroyDriver, CreateSurface, SetColorKey, SetMode, WaitForVerticalBlank, CanCreateSurface,
        CreatePalette, GetScanLine, MapMemory;
};
struct ZK_DD_SURFACECALLBACKS {
    DWORD dwSize, dwFlags;
    PFN_ZK_DD DestroySurface, Flip, SetClipList, Lock, Unlock, Blt, SetColorKey, AddAttachedSurface, GetBltStatus,
        GetFlipStatus, UpdateOverlay, SetOverlayPosition, reserved4, SetPalette;
};
struct ZK_DD_PALETTECALLBACKS {
    DWORD dwSize, dwFlags;
    PFN_ZK_DD DestroyPalette, SetEntries;
};

#define ZK_DDHAL_CB32_DESTROYDRIVER 0x1u
#define ZK_DDHAL_CB32_CREATESURFACE 0x2u
#define ZK_DDHAL_CB32_WAITFORVERTICALBLANK 0x10u
#define ZK_DDHAL_CB32_CANCREATESURFACE 0x20u
#define ZK_DDHAL_CB32_GETSCANLINE 0x80u
#define ZK_DDHAL_CB32_MAPMEMORY 0x80000000u
#define ZK_DDHAL_SURFCB32_DESTROYSURFACE 0x1u
#define ZK_DDHAL_SURFCB32_FLIP 0x2u
#define ZK_DDHAL_SURFCB32_LOCK 0x8u
#define ZK_DDHAL_SURFCB32_UNLOCK 0x10u
#define ZK_DDHAL_SURFCB32_BLT 0x20u
#define ZK_DDHAL_SURFCB32_SETCOLORKEY 0x40u
#define ZK_DDHAL_SURFCB32_GETBLTSTATUS 0x100u
#define ZK_DDHAL_SURFCB32_GETFLIPSTATUS 0x200u
#define ZK_DDHAL_SURFCB32_UPDATEOVERLAY 0x400u
#define ZK_DDHAL_SURFCB32_SETOVERLAYPOSITION 0x800u

// What the driver reports (404 bytes).
struct ZK_VIDEOMEMORYINFO {
    ULONG_PTR fpPrimary;
    DWORD dwFlags, dwDisplayWidth, dwDisplayHeight;
    LONG lDisplayPitch;
    ZK_DDPIXELFORMAT ddpfDisplay;
    DWORD dwOffscreenAlign, dwOverlayAlign, dwTextureAlign, dwZBufferAlign, dwAlphaAlign;
    void *pvPrimary;
};
static_assert(sizeof(ZK_VIDEOMEMORYINFO) == 76);
struct ZK_DDCORECAPS {
    DWORD dwSize, dwCaps, dwCaps2, dwCKeyCaps, dwFXCaps, dwFXAlphaCaps, dwPalCaps, dwSVCaps;
    DWORD dwAlphaBltConstBitDepths, dwAlphaBltPixelBitDepths, dwAlphaBltSurfaceBitDepths, dwAlphaOverlayConstBitDepths,
        dwAlphaOverlayPixelBitDepths, dwAlphaOverlaySurfaceBitDepths, dwZBufferBitDepths;
    DWORD dwVidMemTotal, dwVidMemFree, dwMaxVisibleOverlays, dwCurrVisibleOverlays, dwNumFourCCCodes, dwAlignBoundarySrc,
        dwAlignSizeSrc, dwAlignBoundaryDest, dwAlignSizeDest, dwAlignStrideAlign;
    DWORD dwRops[8];
    ZK_DDSCAPS ddsCaps;
    DWORD dwMinOverlayStretch, dwMaxOverlayStretch, dwMinLiveVideoStretch, dwMaxLiveVideoStretch, dwMinHwCodecStretch,
        dwMaxHwCodecStretch, dwReserved1, dwReserved2, dwReserved3, dwSVBCaps, dwSVBCKeyCaps, dwSVBFXCaps;
    DWORD dwSVBRops[8];
    DWORD dwVSBCaps, dwVSBCKeyCaps, dwVSBFXCaps;
    DWORD dwVSBRops[8];
    DWORD dwSSBCaps, dwSSBCKeyCaps, dwSSBFXCaps;
    DWORD dwSSBRops[8];
    DWORD dwMaxVideoPorts, dwCurrVideoPorts, dwSVBCaps2;
};
struct ZK_DD_HALINFO {
    DWORD dwSize;
    ZK_VIDEOMEMORYINFO vmiData;
    ZK_DDCORECAPS ddCaps;
    uint8_t reserved[404 - 4 - sizeof(ZK_VIDEOMEMORYINFO) - sizeof(ZK_DDCORECAPS)];
};
static_assert(sizeof(ZK_DD_HALINFO) == 404);

#define ZK_IOCTL_VIDEO_SHARE_VIDEO_MEMORY 0x230474u
#define ZK_IOCTL_VIDEO_UNSHARE_VIDEO_MEMORY 0x230478u
struct ZK_VIDEO_SHARE_MEMORY {
    HANDLE ProcessHandle;
    ULONG ViewOffset, ViewSize;
    void *RequestedVirtualAddress;
};
static_assert(sizeof(ZK_VIDEO_SHARE_MEMORY) == 16);
struct ZK_VIDEO_SHARE_MEMORY_INFORMATION {
    ULONG SharedViewOffset, SharedViewSize;
    void *VirtualAddress;
};
static_assert(sizeof(ZK_VIDEO_SHARE_MEMORY_INFORMATION) == 12);

// Capabilities (DD_HALINFO ddCaps): dwCaps, dwFXCaps and dwCKeyCaps bits.
#define ZK_DDCAPS_BLT 0x00000040u
#define ZK_DDCAPS_BLTFOURCC 0x00000100u
#define ZK_DDCAPS_BLTSTRETCH 0x00000200u
#define ZK_DDCAPS_OVERLAY 0x00000800u
#define ZK_DDCAPS_OVERLAYCANTCLIP 0x00001000u
#define ZK_DDCAPS_OVERLAYFOURCC 0x00002000u
#define ZK_DDCAPS_OVERLAYSTRETCH 0x00004000u
#define ZK_DDCAPS_READSCANLINE 0x00020000u
#define ZK_DDCAPS_COLORKEY 0x00400000u
#define ZK_DDCAPS_BLTCOLORFILL 0x04000000u
#define ZK_DDFXCAPS_BLTSHRINKX 0x00000400u
#define ZK_DDFXCAPS_BLTSHRINKY 0x00001000u
#define ZK_DDFXCAPS_BLTSTRETCHX 0x00004000u
#define ZK_DDFXCAPS_BLTSTRETCHY 0x00010000u
#define ZK_DDFXCAPS_OVERLAYSHRINKX 0x00080000u
#define ZK_DDFXCAPS_OVERLAYSHRINKY 0x00200000u
#define ZK_DDFXCAPS_OVERLAYSTRETCHX 0x00800000u
#define ZK_DDFXCAPS_OVERLAYSTRETCHY 0x02000000u
#define ZK_DDCKEYCAPS_DESTOVERLAY 0x00000010u
#define ZK_DDCKEYCAPS_SRCBLT 0x00000200u

// ---- blits ------------------------------------------------------------------------------------------
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

// ---- overlays ---------------------------------------------------------------------------------------
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
