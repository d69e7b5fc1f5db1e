// The engine's drawing records as a display driver sees them: clip enumeration, brushes, colour
// translation, strings and glyphs, paths and line attributes, and the Eng* drawing services a
// driver hands work back to. Written for this project from what the drawing entries use.
#pragma once
#include "platform/ntgdi/winddi.h"

// ---- clip enumeration ---------------------------------------------------------------------------
#define CD_LEFTDOWN 0x1u
#define CD_RIGHTUP  0x2u
#define CD_LEFTUP   0x3u

// ---- brushes ------------------------------------------------------------------------------------
typedef struct _BRUSHOBJ {
    ULONG iSolidColor;    // 0xFFFFFFFF when the brush is a pattern
    PVOID pvRbrush;       // the driver's realisation, once made
    FLONG flColorType;
} BRUSHOBJ;

#define RB_DITHERCOLOR 0x80000000u
#define DM_DEFAULT     0x1u
#define DM_MONOCHROME  0x2u
#define DCR_SOLID      0u
#define DCR_DRIVER     1u
#define DCR_HALFTONE   2u

// ---- colour translation -------------------------------------------------------------------------
#define XO_TRIVIAL   0x1u
#define XO_TABLE     0x2u
#define XO_TO_MONO   0x4u

typedef struct _XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;
    USHORT iSrcType;
    USHORT iDstType;
    ULONG cEntries;
    ULONG *pulXlate;
} XLATEOBJ;

// The palettes of a translation: XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE or XO_DESTPALETTE, cPal,
// pPal) copies up to cPal entries (red in bits 0-7, green 8-15, blue 16-23) and answers how many it
// copied; with pPal NULL it answers how many there are; 0 when the translation has no such palette.
#define XO_SRCPALETTE 1u
#define XO_DESTPALETTE 2u
extern "C" ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal);

// ---- strings and glyphs -------------------------------------------------------------------------
typedef ULONG HGLYPH;

typedef struct _GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[4];           // rows of (cx + 7) / 8 bytes, leftmost pixel in bit 7, no gaps
} GLYPHBITS;

typedef union _GLYPHDEF {
    GLYPHBITS *pgb;
    PVOID ppo;
} GLYPHDEF;

typedef struct _GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF *pgdf;
    POINTL ptl;
} GLYPHPOS;

typedef struct _STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;      // fixed advance in pixels, 0 when each glyph has its own position
    RECTL rclBkGround;
    GLYPHPOS *pgp;        // all glyphs at once, or NULL: enumerate with STROBJ_bEnum
    WCHAR *pwszOrg;
} STROBJ;

typedef struct _FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG iTTUniq;
    ULONG iFile;
    SIZEL sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer;     // the driver's own pointer
    PVOID pvProducer;
} FONTOBJ;

// ---- paths and lines ----------------------------------------------------------------------------
typedef struct _PATHOBJ { FLONG fl; ULONG cCurves; } PATHOBJ;
typedef struct _XFORMOBJ { ULONG ulReserved; } XFORMOBJ;
typedef struct _LINEATTRS {
    FLONG fl;
    ULONG iJoin, iEndCap;
    ULONG elWidth;
    ULONG eMiterLimit;
    ULONG cstyle;
    PVOID pstyle;
    ULONG elStyleState;
} LINEATTRS;
typedef struct _CLIPLINE { ULONG reserved; } CLIPLINE;

// Mixes (ROP2 codes, 1-based).
#define R2_BLACK 1
#define R2_XORPEN 7
#define R2_COPYPEN 13
#define R2_WHITE 16

extern "C" {
ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ *pco, BOOL bAll, ULONG iType, ULONG iDirection, ULONG cLimit);
BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ *pco, ULONG cj, ULONG *pul);

PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ *pbo, ULONG cj);
PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ *pbo);

BOOL APIENTRY STROBJ_bEnum(STROBJ *pstro, ULONG *pc, GLYPHPOS **ppgpos);

BOOL APIENTRY EngBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                        RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush,
                        ULONG rop4);
BOOL APIENTRY EngCopyBits(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDst,
                          POINTL *pptlSrc);
BOOL APIENTRY EngLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL *prclBounds, ULONG mix);
BOOL APIENTRY EngStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                            POINTL *pptlBrushOrg, LINEATTRS *plineattrs, ULONG mix);
BOOL APIENTRY EngTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra,
                         RECTL *prclOpaque, BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg, ULONG mix);
}

static_assert(sizeof(BRUSHOBJ) == 12 && sizeof(XLATEOBJ) == 20);
static_assert(sizeof(GLYPHPOS) == 16 && offsetof(GLYPHBITS, aj) == 16);
static_assert(sizeof(STROBJ) == 36 && offsetof(STROBJ, pgp) == 28);
static_assert(offsetof(FONTOBJ, pvConsumer) == 36);
