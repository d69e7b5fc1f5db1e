// The NT graphics engine as a display driver sees it: the DDI records a driver exchanges with
// the engine, the Drv* entry indices and the Eng* services. Written for this project from how
// the display driver uses them. Engine services and DDI entries use the platform's calling
// convention (stdcall on i386).
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/win32/win32.h"
#include "platform/zk3/zk3_engine_mmio.h"

typedef uint16_t WCHAR;          // UTF-16 code unit of the engine's strings
typedef uint8_t UCHAR;
typedef uint16_t USHORT;
typedef void *PVOID;
typedef ULONG FLONG;

KIV_DECLARE_HANDLE(HSURF);
KIV_DECLARE_HANDLE(DHSURF);
KIV_DECLARE_HANDLE(DHPDEV);
KIV_DECLARE_HANDLE(HDEV);
KIV_DECLARE_HANDLE(HSEMAPHORE);
typedef PVOID PFN;

typedef struct _POINTL { LONG x, y; } POINTL;
typedef struct _SIZEL { LONG cx, cy; } SIZEL;
typedef struct _RECTL { LONG left, top, right, bottom; } RECTL;

// ---- driver entry ---------------------------------------------------------------------------
#define DDI_DRIVER_VERSION_NT4 0x20000u

typedef struct _DRVFN { ULONG iFunc; PFN pfn; } DRVFN;
typedef struct _DRVENABLEDATA { ULONG iDriverVersion; ULONG c; DRVFN *pdrvfn; } DRVENABLEDATA;

enum {
    INDEX_DrvEnablePDEV = 0, INDEX_DrvCompletePDEV = 1, INDEX_DrvDisablePDEV = 2,
    INDEX_DrvEnableSurface = 3, INDEX_DrvDisableSurface = 4, INDEX_DrvAssertMode = 5,
    INDEX_DrvResetPDEV = 7, INDEX_DrvCreateDeviceBitmap = 10, INDEX_DrvDeleteDeviceBitmap = 11,
    INDEX_DrvRealizeBrush = 12, INDEX_DrvDitherColor = 13, INDEX_DrvStrokePath = 14,
    INDEX_DrvFillPath = 15, INDEX_DrvPaint = 17, INDEX_DrvBitBlt = 18, INDEX_DrvCopyBits = 19,
    INDEX_DrvStretchBlt = 20, INDEX_DrvSetPalette = 22, INDEX_DrvTextOut = 23,
    INDEX_DrvEscape = 24, INDEX_DrvSetPointerShape = 29, INDEX_DrvMovePointer = 30,
    INDEX_DrvLineTo = 31, INDEX_DrvSynchronize = 38, INDEX_DrvGetModes = 41,
    INDEX_DrvDestroyFont = 43, INDEX_DrvSetPixelFormat = 54, INDEX_DrvDescribePixelFormat = 55,
    INDEX_DrvSwapBuffers = 56, INDEX_DrvGetDirectDrawInfo = 59, INDEX_DrvEnableDirectDraw = 60,
    INDEX_DrvDisableDirectDraw = 61,
    INDEX_LAST = 89,
};

// ---- device capabilities ----------------------------------------------------------------------
typedef struct _CIECHROMA { LONG x, y, Y; } CIECHROMA;
typedef struct _COLORINFO {
    CIECHROMA Red, Green, Blue, Cyan, Magenta, Yellow, AlignmentWhite;
    LONG RedGamma, GreenGamma, BlueGamma;
    LONG MagentaInCyanDye, YellowInCyanDye, CyanInMagentaDye, YellowInMagentaDye, CyanInYellowDye,
        MagentaInYellowDye;
} COLORINFO;

typedef struct _GDIINFO {
    ULONG ulVersion, ulTechnology, ulHorzSize, ulVertSize, ulHorzRes, ulVertRes, cBitsPixel, cPlanes,
        ulNumColors, flRaster, ulLogPixelsX, ulLogPixelsY, flTextCaps, ulDACRed, ulDACGreen, ulDACBlue,
        ulAspectX, ulAspectY, ulAspectXY;
    LONG xStyleStep, yStyleStep, denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI, ulPrimaryOrder, ulHTPatternSize, ulHTOutputFormat, flHTFlags, ulVRefresh,
        ulBltAlignment, ulPanningHorzRes, ulPanningVertRes;
} GDIINFO;

typedef struct _LOGFONTW {
    LONG lfHeight, lfWidth, lfEscapement, lfOrientation, lfWeight;
    BYTE lfItalic, lfUnderline, lfStrikeOut, lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality,
        lfPitchAndFamily;
    WCHAR lfFaceName[32];
} LOGFONTW;

typedef struct _DEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont, lfAnsiVarFont, lfAnsiFixFont;
    ULONG cFonts, iDitherFormat;
    USHORT cxDither, cyDither;
    HPALETTE hpalDefault;
} DEVINFO;

typedef struct _DEVMODEW {
    WCHAR dmDeviceName[32];
    WORD dmSpecVersion, dmDriverVersion, dmSize, dmDriverExtra;
    DWORD dmFields;
    short dmOrientation, dmPaperSize, dmPaperLength, dmPaperWidth, dmScale, dmCopies, dmDefaultSource,
        dmPrintQuality;
    short dmColor, dmDuplex, dmYResolution, dmTTOption, dmCollate;
    WCHAR dmFormName[32];
    WORD dmLogPixels;
    DWORD dmBitsPerPel, dmPelsWidth, dmPelsHeight, dmDisplayFlags, dmDisplayFrequency;
    DWORD dmICMMethod, dmICMIntent, dmMediaType, dmDitherType, dmReserved1, dmReserved2;
    DWORD dmPanningWidth, dmPanningHeight;
} DEVMODEW;

#define DM_BITSPERPEL       0x00040000u
#define DM_PELSWIDTH        0x00080000u
#define DM_PELSHEIGHT       0x00100000u
#define DM_DISPLAYFLAGS     0x00200000u
#define DM_DISPLAYFREQUENCY 0x00400000u

#define DT_RASDISPLAY 1
#define TC_RA_ABLE 0x00002000u
#define PRIMARY_ORDER_CBA 4
#define HT_PATSIZE_4x4_M 3
#define HT_FORMAT_8BPP 4
#define HT_FORMAT_16BPP 5
#define HT_FORMAT_32BPP 7
#define HT_FLAG_ADDITIVE_PRIMS 0x4u
#define ANSI_CHARSET 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2

#define GCAPS_ALTERNATEFILL  0x00000004u
#define GCAPS_WINDINGFILL    0x00000008u
#define GCAPS_COLOR_DITHER   0x00000020u
#define GCAPS_OPAQUERECT     0x00000100u
#define GCAPS_MONO_DITHER    0x00000400u
#define GCAPS_PALMANAGED     0x00080000u
#define GCAPS_DITHERONREALIZE 0x00200000u
#define GCAPS_DIRECTDRAW     0x00004000u

// ---- surfaces ------------------------------------------------------------------------------------
#define BMF_1BPP 1
#define BMF_4BPP 2
#define BMF_8BPP 3
#define BMF_16BPP 4
#define BMF_24BPP 5
#define BMF_32BPP 6

#define BMF_TOPDOWN 0x0001u
#define BMF_NOZEROINIT 0x0002u

#define STYPE_BITMAP 0
#define STYPE_DEVICE 1
#define STYPE_DEVBITMAP 3

#define HOOK_BITBLT          0x00000001u
#define HOOK_STRETCHBLT      0x00000002u
#define HOOK_PLGBLT          0x00000004u
#define HOOK_TEXTOUT         0x00000008u
#define HOOK_PAINT           0x00000010u
#define HOOK_STROKEPATH      0x00000020u
#define HOOK_FILLPATH        0x00000040u
#define HOOK_STROKEANDFILLPATH 0x00000080u
#define HOOK_LINETO          0x00000100u
#define HOOK_COPYBITS        0x00000400u
#define HOOK_SYNCHRONIZE     0x00001000u
#define HOOK_SYNCHRONIZEACCESS 0x00004000u

typedef struct _SURFOBJ {
    DHSURF dhsurf;
    HSURF hsurf;
    DHPDEV dhpdev;
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;
    PVOID pvBits;
    PVOID pvScan0;
    LONG lDelta;
    ULONG iUniq;
    ULONG iBitmapFormat;
    USHORT iType;
    USHORT fjBitmap;
} SURFOBJ;

// ---- palettes ------------------------------------------------------------------------------------
#define PAL_INDEXED   0x1u
#define PAL_BITFIELDS 0x2u
#define PAL_RGB       0x4u
#define PAL_BGR       0x8u

// A palette as the engine hands it to DrvSetPalette; read with PALOBJ_cGetColors.
typedef struct _PALOBJ { ULONG ulReserved; } PALOBJ;

// ---- clip regions and window objects --------------------------------------------------------------
#define DC_TRIVIAL 0
#define DC_RECT    1
#define DC_COMPLEX 3
#define CT_RECTANGLES 0
#define CD_RIGHTDOWN 0x0u
#define CD_ANY       0x4u

typedef struct _CLIPOBJ {
    ULONG iUniq;
    RECTL rclBounds;
    UCHAR iDComplexity;   // DC_TRIVIAL, DC_RECT or DC_COMPLEX
    UCHAR iFComplexity;
    UCHAR iMode;
    UCHAR fjOptions;
} CLIPOBJ;

typedef struct _WNDOBJ {
    CLIPOBJ coClient;     // the visible part of the client area
    PVOID pvConsumer;     // the driver's own pointer
    RECTL rclClient;      // the client area in screen coordinates
    SURFOBJ *psoOwner;    // the screen surface the window is on
} WNDOBJ;

typedef struct _ENUMRECTS {
    ULONG c;
    RECTL arcl[1];
} ENUMRECTS;

// What EngCreateWnd is asked to track, and the change flags of the callback.
#define WO_RGN_CLIENT_DELTA  0x01u
#define WO_RGN_CLIENT        0x02u
#define WOC_RGN_CLIENT_DELTA 0x01u
#define WOC_RGN_CLIENT       0x02u
#define WOC_CHANGED          0x10u   // every change has been reported
#define WOC_DELETE           0x20u   // the window object is going away

typedef void(APIENTRY *WNDOBJCHANGEPROC)(WNDOBJ *pwo, FLONG fl);

// ---- engine memory -------------------------------------------------------------------------------
#define FL_ZERO_MEMORY 0x00000001u

// ---- time ----------------------------------------------------------------------------------------
typedef struct _ENG_TIME_FIELDS {
    USHORT usYear, usMonth, usDay, usHour, usMinute, usSecond, usMilliseconds, usWeekday;
} ENG_TIME_FIELDS;

extern "C" {
PVOID APIENTRY EngAllocMem(ULONG fl, ULONG cj, ULONG tag);
void APIENTRY EngFreeMem(PVOID pv);

HSEMAPHORE APIENTRY EngCreateSemaphore(void);
void APIENTRY EngAcquireSemaphore(HSEMAPHORE hsem);
void APIENTRY EngReleaseSemaphore(HSEMAPHORE hsem);
void APIENTRY EngDeleteSemaphore(HSEMAPHORE hsem);

// Returns 0 on success, else the request's Win32 error code.
DWORD APIENTRY EngDeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                  DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                  LPDWORD lpBytesReturned);

HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
HBITMAP APIENTRY EngCreateDeviceBitmap(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf);
void APIENTRY EngUnlockSurface(SURFOBJ *pso);
BOOL APIENTRY EngDeleteSurface(HSURF hsurf);

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG *pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue);
BOOL APIENTRY EngDeletePalette(HPALETTE hpal);

void APIENTRY EngQueryLocalTime(ENG_TIME_FIELDS *ptf);
// A monotonic count and its rate per second (the host's steady clock): what a driver bounds its
// waits on the chip with, whatever the local time is set to.
void APIENTRY EngQueryPerformanceCounter(LONGLONG *pPerformanceCount);
void APIENTRY EngQueryPerformanceFrequency(LONGLONG *pFrequency);

ULONG APIENTRY PALOBJ_cGetColors(PALOBJ *ppalo, ULONG iStart, ULONG cEntry, ULONG *pulColors);

// Returns NULL when the window cannot be tracked, (WNDOBJ *)-1 when this driver already tracks it.
WNDOBJ *APIENTRY EngCreateWnd(SURFOBJ *pso, HWND hwnd, WNDOBJCHANGEPROC pfn, FLONG fl, int iPixelFormat);
void APIENTRY WNDOBJ_vSetConsumer(WNDOBJ *pwo, PVOID pvConsumer);
ULONG APIENTRY WNDOBJ_cEnumStart(WNDOBJ *pwo, ULONG iType, ULONG iDirection, ULONG cLimit);
BOOL APIENTRY WNDOBJ_bEnum(WNDOBJ *pwo, ULONG cj, ULONG *pul);
}

// Register access from a display driver. Plain loads and stores on the machine; here they pass
// the chip model's windows (see zk3_engine_mmio.h).
static inline UCHAR READ_REGISTER_UCHAR(volatile void *p) { return static_cast<UCHAR>(kivMmioRead(p, 1)); }
static inline USHORT READ_REGISTER_USHORT(volatile void *p) { return static_cast<USHORT>(kivMmioRead(p, 2)); }
static inline ULONG READ_REGISTER_ULONG(volatile void *p) { return kivMmioRead(p, 4); }
static inline void WRITE_REGISTER_UCHAR(volatile void *p, UCHAR v) { kivMmioWrite(p, v, 1); }
static inline void WRITE_REGISTER_USHORT(volatile void *p, USHORT v) { kivMmioWrite(p, v, 2); }
static inline void WRITE_REGISTER_ULONG(volatile void *p, ULONG v) { kivMmioWrite(p, v, 4); }

static_assert(sizeof(GDIINFO) == 264);
static_assert(offsetof(GDIINFO, ulNumPalReg) == 104);
static_assert(offsetof(GDIINFO, ulDevicePelsDPI) == 228);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(sizeof(DEVINFO) == 296);
static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168);
static_assert(offsetof(DEVMODEW, dmDisplayFrequency) == 184);
static_assert(sizeof(SURFOBJ) == 52);
static_assert(sizeof(CLIPOBJ) == 24 && sizeof(WNDOBJ) == 48);
static_assert(sizeof(DRVENABLEDATA) == 12);
