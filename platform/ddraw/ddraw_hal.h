// The Windows 9x DirectDraw and Direct3D driver (HAL) contract as this platform's DirectDraw
// runtime speaks it: the records a 9x display driver fills to describe its card, the callback
// tables, and the records of the driver-information query. Written for this project; fields
// are laid out in the order and at the sizes the drivers rely on.
#pragma once
#include "platform/win32/win32.h"

typedef LONG HRESULT;
typedef ULONG_PTR FLATPTR;

struct GUID {
    DWORD Data1;
    WORD Data2, Data3;
    BYTE Data4[8];
};
inline bool operator==(const GUID &a, const GUID &b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           __builtin_memcmp(a.Data4, b.Data4, 8) == 0;
}
static_assert(sizeof(GUID) == 16);

// ---- results --------------------------------------------------------------------------------
#define DD_OK 0
#define DDHAL_DRIVER_NOTHANDLED 0
#define DDHAL_DRIVER_HANDLED    1
#define DDERR_CURRENTLYNOTAVAIL ((HRESULT)0x88760028)
#define DDERR_UNSUPPORTED       ((HRESULT)0x80004001)
#define DDERR_INVALIDPIXELFORMAT ((HRESULT)0x88760091)
#define DDERR_OUTOFCAPS         ((HRESULT)0x88760168)
#define DDERR_OUTOFMEMORY       ((HRESULT)0x8007000E)
#define DDERR_OUTOFVIDEOMEMORY  ((HRESULT)0x8876017C)
#define DDERR_NOTFLIPPABLE      ((HRESULT)0x88760246)
#define DDERR_WASSTILLDRAWING   ((HRESULT)0x8876021C)

// ---- capabilities -------------------------------------------------------------------------------
#define DDCAPS_3D                0x00000001
#define DDCAPS_BLT               0x00000040
#define DDCAPS_OVERLAY           0x00000800
#define DDCAPS_OVERLAYCANTCLIP   0x00001000
#define DDCAPS_OVERLAYFOURCC     0x00002000
#define DDCAPS_OVERLAYSTRETCH    0x00004000
#define DDCAPS_GDI               0x00000400
#define DDCAPS_COLORKEY          0x00400000
#define DDCAPS_BLTCOLORFILL      0x04000000
#define DDCAPS_BLTDEPTHFILL      0x10000000
#define DDFXCAPS_OVERLAYSTRETCHX 0x00800000
#define DDFXCAPS_OVERLAYSTRETCHY 0x02000000
#define DDCKEYCAPS_SRCBLT        0x00000200
#define DDSCAPS_OFFSCREENPLAIN   0x00000040
#define DDSCAPS_OVERLAY          0x00000080
#define DDSCAPS_PRIMARYSURFACE   0x00000200
#define DDSCAPS_SYSTEMMEMORY     0x00000800
#define DDSCAPS_TEXTURE          0x00001000
#define DDSCAPS_VIDEOMEMORY      0x00004000
#define DDSCAPS_ZBUFFER          0x00020000
#define DDSCAPS_MIPMAP           0x00400000
#define DDRAWISURF_HASCKEYSRCBLT  0x00000800
#define DDRAWISURF_HASPIXELFORMAT 0x00002000
#define DDHAL_PLEASEALLOC_BLOCKSIZE 0x00000002
#define DDPF_ALPHAPIXELS         0x00000001
#define DDPF_FOURCC              0x00000004
#define DDPF_PALETTEINDEXED8     0x00000020
#define DDPF_RGB                 0x00000040
#define DDMODEINFO_PALETTIZED    0x0001
#define VIDMEM_ISLINEAR          0x00000001
#define DDHALINFO_GETDRIVERINFOSET 0x00000004
#define KIV_FOURCC(a, b, c, d) \
    ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | ((DWORD)(BYTE)(d) << 24))

// ---- records ---------------------------------------------------------------------------------
struct DDSCAPS {
    DWORD dwCaps;
};

struct DDPIXELFORMAT {
    DWORD dwSize;            // 32
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

// One heap of video memory DirectDraw may allocate from: [fpStart, fpEnd], both inclusive.
struct VIDMEM {
    DWORD dwFlags;
    FLATPTR fpStart;
    FLATPTR fpEnd;
    DDSCAPS ddsCaps;         // surfaces that may not go here
    DDSCAPS ddsCapsAlt;
    void *lpHeap;            // DirectDraw's allocator state
};

struct VIDMEMINFO {
    FLATPTR fpPrimary;
    DWORD dwFlags;
    DWORD dwDisplayWidth;
    DWORD dwDisplayHeight;
    LONG lDisplayPitch;
    DDPIXELFORMAT ddpfDisplay;
    DWORD dwOffscreenAlign;
    DWORD dwOverlayAlign;
    DWORD dwTextureAlign;
    DWORD dwZBufferAlign;
    DWORD dwAlphaAlign;
    DWORD dwNumHeaps;
    VIDMEM *pvmList;
};

struct DDCORECAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCKeyCaps;
    DWORD dwFXCaps;
    DWORD dwFXAlphaCaps;
    DWORD dwPalCaps;
    DWORD dwSVCaps;
    DWORD dwVidMemTotal;
    DWORD dwVidMemFree;
    DWORD dwMaxVisibleOverlays;
    DWORD dwCurrVisibleOverlays;
    DWORD dwNumFourCCCodes;
    DWORD dwAlignBoundarySrc;
    DWORD dwAlignSizeSrc;
    DWORD dwAlignBoundaryDest;
    DWORD dwAlignSizeDest;
    DWORD dwAlignStrideAlign;
    DWORD dwRops[8];
    DDSCAPS ddsCaps;
    DWORD dwMinOverlayStretch;
    DWORD dwMaxOverlayStretch;
    DWORD dwMinLiveVideoStretch;
    DWORD dwMaxLiveVideoStretch;
    DWORD dwMinHwCodecStretch;
    DWORD dwMaxHwCodecStretch;
};

// One display mode the driver offers.
struct DDHALMODEINFO {
    DWORD dwWidth;
    DWORD dwHeight;
    LONG lPitch;
    DWORD dwBPP;
    WORD wFlags;             // DDMODEINFO_*
    WORD wRefreshRate;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwAlphaBitMask;
};
static_assert(sizeof(DDHALMODEINFO) == 36);

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

// A surface as the application describes it (108 bytes).
struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwMipMapCount;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    LPVOID lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};
static_assert(sizeof(DDSURFACEDESC) == 108);

struct DDRAWI_DIRECTDRAW_GBL;

// DirectDraw's record of a surface's memory, shared by the surface's local records.
struct DDRAWI_DDRAWSURFACE_GBL {
    DWORD dwRefCnt;
    DWORD dwGlobalFlags;
    VIDMEM *lpVidMemHeap;        // the heap the block came from; null: DirectDraw frees nothing
    DWORD dwBlockSizeX;          // with fpVidMem DDHAL_PLEASEALLOC_BLOCKSIZE: bytes per line
    DWORD dwBlockSizeY;          // and lines DirectDraw is asked to allocate
    FLATPTR fpVidMem;
    union {
        LONG lPitch;
        DWORD dwLinearSize;      // execute buffers: their size in bytes
    };
    WORD wHeight;
    WORD wWidth;
    DWORD dwUsageCount;
    DWORD dwReserved1;           // the driver's own word
    DDPIXELFORMAT ddpfSurface;
    DDRAWI_DIRECTDRAW_GBL *lpDD;
};

// One process's record of a surface.
struct DDRAWI_DDRAWSURFACE_LCL {
    DDRAWI_DDRAWSURFACE_GBL *lpGbl;
    DWORD dwFlags;               // DDRAWISURF_*
    DDSCAPS ddsCaps;
    DDCOLORKEY ddckCKSrcBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKDestOverlay;
    DWORD dwMipMapCount;
    DDRAWI_DDRAWSURFACE_LCL *lpAttachList;   // the next smaller mip level, or null
};

struct RECTL {
    LONG left, top, right, bottom;
};

// Callback data records. Each begins with the DirectDraw global object of the call.
struct DDHAL_CANCREATESURFACEDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDSURFACEDESC *lpDDSurfaceDesc;
    DWORD bIsDifferentPixelFormat;
    HRESULT ddRVal;
    void *CanCreateSurface;
};

struct DDHAL_CREATESURFACEDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDSURFACEDESC *lpDDSurfaceDesc;
    DDRAWI_DDRAWSURFACE_LCL **lplpSList;
    DWORD dwSCnt;
    HRESULT ddRVal;
    void *CreateSurface;
};

struct DDHAL_DESTROYSURFACEDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    HRESULT ddRVal;
    void *DestroySurface;
};

struct DDHAL_LOCKDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    DWORD bHasRect;
    RECTL rArea;
    LPVOID lpSurfData;
    HRESULT ddRVal;
    void *Lock;
    DWORD dwFlags;
};

struct DDHAL_ADDATTACHEDSURFACEDATA {
    DDRAWI_DIRECTDRAW_GBL *lpDD;
    DDRAWI_DDRAWSURFACE_LCL *lpDDSurface;
    DDRAWI_DDRAWSURFACE_LCL *lpSurfAttached;
    HRESULT ddRVal;
    void *AddAttachedSurface;
};

// The records of the colour-key, vertical-blank, flip, blit and overlay calls are declared
// with those calls.
struct DDHAL_DRVSETCOLORKEYDATA;
struct DDHAL_WAITFORVERTICALBLANKDATA;
struct DDHAL_FLIPDATA;
struct DDHAL_BLTDATA;
struct DDHAL_GETBLTSTATUSDATA;
struct DDHAL_GETFLIPSTATUSDATA;
struct DDHAL_UPDATEOVERLAYDATA;
struct DDHAL_SETOVERLAYPOSITIONDATA;
struct DDHAL_GETDRIVERINFODATA;

typedef DWORD(WINAPI *LPDDHAL_CREATESURFACE)(DDHAL_CREATESURFACEDATA *);
typedef DWORD(WINAPI *LPDDHAL_SETCOLORKEY)(DDHAL_DRVSETCOLORKEYDATA *);
typedef DWORD(WINAPI *LPDDHAL_WAITFORVERTICALBLANK)(DDHAL_WAITFORVERTICALBLANKDATA *);
typedef DWORD(WINAPI *LPDDHAL_CANCREATESURFACE)(DDHAL_CANCREATESURFACEDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_DESTROYSURFACE)(DDHAL_DESTROYSURFACEDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_FLIP)(DDHAL_FLIPDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_LOCK)(DDHAL_LOCKDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_BLT)(DDHAL_BLTDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_ADDATTACHEDSURFACE)(DDHAL_ADDATTACHEDSURFACEDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_GETBLTSTATUS)(DDHAL_GETBLTSTATUSDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_GETFLIPSTATUS)(DDHAL_GETFLIPSTATUSDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_UPDATEOVERLAY)(DDHAL_UPDATEOVERLAYDATA *);
typedef DWORD(WINAPI *LPDDHALSURFCB_SETOVERLAYPOSITION)(DDHAL_SETOVERLAYPOSITIONDATA *);
typedef DWORD(WINAPI *LPDDHAL_GETDRIVERINFO)(DDHAL_GETDRIVERINFODATA *);
typedef void *LPDDHAL_UNUSED;

// Driver callbacks. Bit n of dwFlags says that the n-th callback is supplied.
#define DDHAL_CB32_CREATESURFACE        0x00000002
#define DDHAL_CB32_SETCOLORKEY          0x00000004
#define DDHAL_CB32_WAITFORVERTICALBLANK 0x00000010
#define DDHAL_CB32_CANCREATESURFACE     0x00000020
struct DDHAL_DDCALLBACKS {
    DWORD dwSize;
    DWORD dwFlags;
    LPDDHAL_UNUSED DestroyDriver;
    LPDDHAL_CREATESURFACE CreateSurface;
    LPDDHAL_SETCOLORKEY SetColorKey;
    LPDDHAL_UNUSED SetMode;
    LPDDHAL_WAITFORVERTICALBLANK WaitForVerticalBlank;
    LPDDHAL_CANCREATESURFACE CanCreateSurface;
    LPDDHAL_UNUSED CreatePalette;
    LPDDHAL_UNUSED GetScanLine;
};

// Surface callbacks, the same way.
#define DDHAL_SURFCB32_DESTROYSURFACE     0x00000001
#define DDHAL_SURFCB32_FLIP               0x00000002
#define DDHAL_SURFCB32_LOCK               0x00000008
#define DDHAL_SURFCB32_BLT                0x00000020
#define DDHAL_SURFCB32_ADDATTACHEDSURFACE 0x00000080
#define DDHAL_SURFCB32_GETBLTSTATUS       0x00000100
#define DDHAL_SURFCB32_GETFLIPSTATUS      0x00000200
#define DDHAL_SURFCB32_UPDATEOVERLAY      0x00000400
#define DDHAL_SURFCB32_SETOVERLAYPOSITION 0x00000800
struct DDHAL_DDSURFACECALLBACKS {
    DWORD dwSize;
    DWORD dwFlags;
    LPDDHALSURFCB_DESTROYSURFACE DestroySurface;
    LPDDHALSURFCB_FLIP Flip;
    LPDDHAL_UNUSED SetClipList;
    LPDDHALSURFCB_LOCK Lock;
    LPDDHAL_UNUSED Unlock;
    LPDDHALSURFCB_BLT Blt;
    LPDDHAL_UNUSED SetColorKey;
    LPDDHALSURFCB_ADDATTACHEDSURFACE AddAttachedSurface;
    LPDDHALSURFCB_GETBLTSTATUS GetBltStatus;
    LPDDHALSURFCB_GETFLIPSTATUS GetFlipStatus;
    LPDDHALSURFCB_UPDATEOVERLAY UpdateOverlay;
    LPDDHALSURFCB_SETOVERLAYPOSITION SetOverlayPosition;
    LPDDHAL_UNUSED Reserved;
    LPDDHAL_UNUSED SetPalette;
};

// What a display driver tells DirectDraw about its card. A 16-bit driver fills it with 16:16
// addresses in the pointer members; DirectDraw receives it with flat ones.
struct DDHALINFO {
    DWORD dwSize;
    DDHAL_DDCALLBACKS *lpDDCallbacks;
    DDHAL_DDSURFACECALLBACKS *lpDDSurfaceCallbacks;
    void *lpDDPaletteCallbacks;
    VIDMEMINFO vmiData;
    DDCORECAPS ddCaps;
    DWORD dwMonitorFrequency;
    LPDDHAL_GETDRIVERINFO GetDriverInfo;
    DWORD dwModeIndex;           // the current mode, an index into lpModeInfo
    DWORD *lpdwFourCC;
    DWORD dwNumModes;
    DDHALMODEINFO *lpModeInfo;
    DWORD dwFlags;               // DDHALINFO_*
    void *lpPDevice;
    DWORD hInstance;
    ULONG_PTR lpD3DGlobalDriverData;
    ULONG_PTR lpD3DHALCallbacks;
    void *lpDDExeBufCallbacks;
};

// The driver-information query: DirectDraw asks for further tables by GUID.
struct DDHAL_GETDRIVERINFODATA {
    DWORD dwSize;
    DWORD dwFlags;
    GUID guidInfo;
    DWORD dwExpectedSize;
    LPVOID lpvData;
    DWORD dwActualSize;
    HRESULT ddRVal;
    ULONG_PTR dwContext;
};

// Our GUIDs of the two driver-information tables the 9x HAL hands out.
inline constexpr GUID GUID_D3DCallbacks2 = {0x0BA584E1, 0x70B6, 0x11D0, {0x88, 0x9D, 0x00, 0xAA, 0x00, 0xBB, 0xB7, 0x6A}};
inline constexpr GUID GUID_MiscellaneousCallbacks = {0xEFD60CC0, 0x49E7, 0x11D0, {0x88, 0x9D, 0x00, 0xAA, 0x00, 0xBB, 0xB7, 0x6A}};

// The second Direct3D callback table (28 bytes) and the miscellaneous one (24 bytes). Bit n of
// dwFlags says that the n-th callback is supplied.
struct D3DHAL_SETRENDERTARGETDATA;
struct D3DHAL_DRAWONEPRIMITIVEDATA;
struct D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA;
struct D3DHAL_DRAWPRIMITIVESDATA;
typedef DWORD(WINAPI *LPD3DHAL_SETRENDERTARGETCB)(D3DHAL_SETRENDERTARGETDATA *);
typedef DWORD(WINAPI *LPD3DHAL_DRAWONEPRIMITIVECB)(D3DHAL_DRAWONEPRIMITIVEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_DRAWONEINDEXEDPRIMITIVECB)(D3DHAL_DRAWONEINDEXEDPRIMITIVEDATA *);
typedef DWORD(WINAPI *LPD3DHAL_DRAWPRIMITIVESCB)(D3DHAL_DRAWPRIMITIVESDATA *);
#define D3DHAL2_CB32_SETRENDERTARGET         0x00000001
#define D3DHAL2_CB32_CLEAR                   0x00000002
#define D3DHAL2_CB32_DRAWONEPRIMITIVE        0x00000004
#define D3DHAL2_CB32_DRAWONEINDEXEDPRIMITIVE 0x00000008
#define D3DHAL2_CB32_DRAWPRIMITIVES          0x00000010
struct D3DHAL_CALLBACKS2 {
    DWORD dwSize;
    DWORD dwFlags;
    LPD3DHAL_SETRENDERTARGETCB SetRenderTarget;
    LPDDHAL_UNUSED Clear;
    LPD3DHAL_DRAWONEPRIMITIVECB DrawOnePrimitive;
    LPD3DHAL_DRAWONEINDEXEDPRIMITIVECB DrawOneIndexedPrimitive;
    LPD3DHAL_DRAWPRIMITIVESCB DrawPrimitives;
};
static_assert(sizeof(D3DHAL_CALLBACKS2) == 28);

struct DDHAL_DDMISCELLANEOUSCALLBACKS {
    DWORD dwSize;
    DWORD dwFlags;
    LPDDHAL_UNUSED GetAvailDriverMemory;
    LPDDHAL_UNUSED UpdateNonLocalHeap;
    LPDDHAL_UNUSED GetHeapAlignment;
    LPDDHAL_UNUSED GetSysmemBltStatus;
};
static_assert(sizeof(DDHAL_DDMISCELLANEOUSCALLBACKS) == 24);

// The DirectDraw global object as the 9x runtime keeps it for one display driver. dwReserved3
// holds the value the driver's 32-bit entry returned; the 32-bit driver finds its data there.
struct DDRAWI_DIRECTDRAW_GBL {
    DWORD dwRefCnt;
    DWORD dwFlags;
    FLATPTR fpPrimaryOrig;
    DDCORECAPS ddCaps;
    VIDMEMINFO vmiData;
    DWORD dwMonitorFrequency;
    DWORD dwModeIndex;
    DWORD dwNumModes;
    DDHALMODEINFO *lpModeInfo;
    DWORD dwNumFourCC;
    DWORD *lpdwFourCC;
    DWORD dwReserved1;
    DWORD dwReserved2;
    DWORD dwReserved3;
};

// DirectDraw's video-memory allocator over the heaps a driver announced: a block of width bytes
// by height lines from heap number `heap`; 0 when there is no room.
extern "C" {
FLATPTR WINAPI DDHAL32_VidMemAlloc(DDRAWI_DIRECTDRAW_GBL *lpDD, int heap, DWORD width, DWORD height);
void WINAPI DDHAL32_VidMemFree(DDRAWI_DIRECTDRAW_GBL *lpDD, int heap, FLATPTR block);
}
