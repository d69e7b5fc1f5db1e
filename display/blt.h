// The drawing method table and the records the bit-block, brush, fill, line and text code share.
#pragma once
#include "display/fifo.h"

// A brush as the driver realises it (allocated by the engine, which frees it).
#define RB_MONO 0x1u
struct ZK_RBRUSH {
    ULONG flags;
    ULONG foreground;   // RB_MONO: colour of 1 bits
    ULONG background;   // RB_MONO: colour of 0 bits
    uint8_t aj[8 * 8 * 4];   // RB_MONO: 8 rows of one byte (leftmost pixel in bit 7); else 8 x 8 pixels
};

// What a fill method is given as its brush: a colour or the realised brush.
union ZK_FILL_BRUSH {
    ULONG ulColor;
    ZK_RBRUSH *prb;
};

typedef void (*PFN_FILL)(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, ZK_FILL_BRUSH brush, POINTL *pptlBrush);
typedef void (*PFN_XFER)(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc,
                         RECTL *prclTrg, XLATEOBJ *pxlo, ULONG ulPatternColor);
typedef void (*PFN_COPY)(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, POINTL *pptlSrc, RECTL *prclTrg);
typedef void (*PFN_PUTBITS)(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclDst);
typedef BOOL (*PFN_TEXTOUT)(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclOpaque,
                            BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque);
typedef void (*PFN_XFER_PATTERN)(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prcl, ULONG rop3,
                                 ULONG *pulColor);
typedef BOOL (*PFN_STROKEPATH)(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                               POINTL *pptlBrushOrg, LINEATTRS *plineattrs, ULONG mix);
typedef BOOL (*PFN_LINETO)(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                           RECTL *prclBounds, ULONG mix);

// Slots of the PDEV's drawing method table.
enum : unsigned {
    ZK_DM_FILL_SOLID, ZK_DM_FILL_PATTERN, ZK_DM_XFER_1BPP, ZK_DM_XFER_4TO8BPP, ZK_DM_XFER_NATIVE, ZK_DM_COPY_BLT,
    ZK_DM_PUT_BITS, ZK_DM_TEXT_OUT, ZK_DM_XFER_NATIVE_PATTERN,
};
enum : unsigned { ZK_LM_STROKE_PATH, ZK_LM_LINE_TO };

template <typename F> inline F pfnDraw(ZK_PDEV *ppdev, unsigned slot) { return reinterpret_cast<F>(ppdev->drawMethods[slot]); }
inline PFN_FILL pfnFill(ZK_PDEV *ppdev, bool pattern) {
    return pfnDraw<PFN_FILL>(ppdev, pattern ? ZK_DM_FILL_PATTERN : ZK_DM_FILL_SOLID);
}

// Drawing methods.
void vFillSolid(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, ZK_FILL_BRUSH brush, POINTL *pptlBrush);
void vFillPattern(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, ZK_FILL_BRUSH brush, POINTL *pptlBrush);
void vXfer1bpp(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclTrg,
               XLATEOBJ *pxlo, ULONG ulPatternColor);
void vXfer4to8bpp(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc,
                  RECTL *prclTrg, XLATEOBJ *pxlo, ULONG ulPatternColor);
void vXferNative(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclTrg,
                 XLATEOBJ *pxlo, ULONG ulPatternColor);
void vCopyBlt(ZK_PDEV *ppdev, ULONG c, RECTL *prcl, ULONG rop4, POINTL *pptlSrc, RECTL *prclTrg);
void vPutBits(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prclDst);
void vXferNativePattern(ZK_PDEV *ppdev, SURFOBJ *psoSrc, POINTL *pptlSrc, RECTL *prcl, ULONG rop3, ULONG *pulColor);
BOOL bPutBitsCpu(SURFOBJ *psoSrc, const uint8_t *pvSrcBits, ZK_PDEV *ppdev, LONG lSrcDelta, POINTL *pptlSrc,
                 RECTL *prclTrg, RECTL *prcl, ULONG c, ULONG rop4);
BOOL bTextOutAccel(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                   BRUSHOBJ *pboOpaque);
BOOL bStrokePathPunt(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo, POINTL *pptlBrushOrg,
                     LINEATTRS *plineattrs, ULONG mix);
BOOL bLineToAxisAligned(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                        RECTL *prclBounds, ULONG mix);

// Rectangles (right- and bottom-exclusive).
BOOL bIntersectRect(const RECTL *prclA, const RECTL *prclB, RECTL *prclOut);
ULONG cIntersectRects(const RECTL *prclTrg, RECTL *prcl, ULONG c);
// The engine's view of a surface for a punt: video-memory surfaces and DIB-held bitmaps
// described as plain DIBs in `desc`; engine bitmaps unchanged.
SURFOBJ *psoForEngine(ZK_PDEV *ppdev, SURFOBJ *pso, SURFOBJ *desc);
// A device bitmap held as a DIB that keeps being used as a plain source is moved into off-screen
// memory on its seventh such use while the heap does not change. TRUE when it was moved.
BOOL bPromoteSource(ZK_PDEV *ppdev, SURFOBJ *psoSrc, XLATEOBJ *pxlo);
// The off-screen heap's side of it: its change counter, and the move itself.
ULONG ulHeapUniq(ZK_PDEV *ppdev);
BOOL bCacheBitmapOffscreen(ZK_PDEV *ppdev, ZK_DSURF *pdsurf);
// The PDEV that draws on a surface (its own, when the engine's device is the driver's), or NULL.
ZK_PDEV *ppdevOf(SURFOBJ *pso);

// The engine FIFO can draw: the channel is open and the chip's methods are installed (neither
// holds while the hardware is given up for a full-screen session, or on a chip without methods).
inline bool bEngineReady(const ZK_PDEV *ppdev) {
    return ppdev->fifo && ppdev->drawMethods[ZK_DM_FILL_SOLID] && ppdev->pfnLineMethods[ZK_LM_LINE_TO];
}

// The engine lock around drawing while OpenGL clients may push command buffers.
struct ZK_ENGINE_LOCK {
    ZK_PDEV *ppdev;
    bool held = false;
    explicit ZK_ENGINE_LOCK(ZK_PDEV *p) : ppdev(p) {
        if (ppdev->bOpenGlActive && ppdev->engineSemaphore) {
            EngAcquireSemaphore(ppdev->engineSemaphore);
            held = true;
            ppdev->usFifoFree = 0;
            if (ppdev->pfnSyncEngine) ppdev->pfnSyncEngine(ppdev);
        }
    }
    void release() {
        if (held) EngReleaseSemaphore(ppdev->engineSemaphore);
        held = false;
    }
    ~ZK_ENGINE_LOCK() { release(); }
};
