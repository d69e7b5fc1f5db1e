// Drawing through the engine FIFO: the drawing state kept in the PDEV, the subchannel map of
// the drawing code, free-space accounting, surface programming, data streaming and the CPU
// copies between video and system memory.
#pragma once
#include "display/driver.h"
#include "include/zk_engine_classes.h"
#include "platform/ntgdi/winddi_draw.h"

// Subchannels of the drawing code and the objects they hold.
enum : unsigned {
    ZK_SUB_IMAGE = 0, ZK_SUB_BLIT = 1, ZK_SUB_MONO = 2, ZK_SUB_RECT = 3, ZK_SUB_ROP = 4, ZK_SUB_PATTERN = 5,
    ZK_SUB_CLIP = 6, ZK_SUB_SURFACE = 7,
};
enum : uint16_t {
    // image from memory
    ZK_IMG_POINT = 0x304, ZK_IMG_SIZE_OUT = 0x308, ZK_IMG_SIZE_IN = 0x30C, ZK_IMG_DATA = 0x400,
    // blit
    ZK_BLT_SRC = 0x300, ZK_BLT_DST = 0x304, ZK_BLT_SIZE = 0x308,
    // monochrome expansion: group A, C and E
    ZK_MONO_A_COLOR = 0x3FC, ZK_MONO_A_POINT = 0x400, ZK_MONO_A_SIZE = 0x404,
    ZK_MONO_C_CLIP_TL = 0xFE8, ZK_MONO_C_CLIP_BR = 0xFEC, ZK_MONO_C_COLOR = 0xFF0, ZK_MONO_C_SIZE_IN = 0xFF4,
    ZK_MONO_C_SIZE_OUT = 0xFF8, ZK_MONO_C_POINT = 0xFFC, ZK_MONO_C_DATA = 0x1000,
    ZK_MONO_E_CLIP_TL = 0x13E4, ZK_MONO_E_CLIP_BR = 0x13E8, ZK_MONO_E_COLOR0 = 0x13EC, ZK_MONO_E_COLOR1 = 0x13F0,
    ZK_MONO_E_SIZE_IN = 0x13F4, ZK_MONO_E_SIZE_OUT = 0x13F8, ZK_MONO_E_POINT = 0x13FC, ZK_MONO_E_DATA = 0x1400,
    // rectangle
    ZK_RECT_COLOR = 0x304, ZK_RECT_POINT = 0x400, ZK_RECT_SIZE = 0x404,
    // ROP, pattern, clip, surfaces
    ZK_ROP_ROP3 = 0x300,
    ZK_PAT_SHAPE = 0x308, ZK_PAT_COLOR0 = 0x310, ZK_PAT_COLOR1 = 0x314, ZK_PAT_BITS0 = 0x318, ZK_PAT_BITS1 = 0x31C,
    ZK_CLIP_POINT = 0x300, ZK_CLIP_SIZE = 0x304,
    ZK_SURF_PITCH = 0x308, ZK_SURF_OFFSET = 0x30C,
    // memory to memory
    ZK_M2M_OFFSET_IN = 0x30C, ZK_M2M_OFFSET_OUT = 0x310, ZK_M2M_PITCH_IN = 0x314, ZK_M2M_PITCH_OUT = 0x318,
    ZK_M2M_LINE_LENGTH = 0x31C, ZK_M2M_LINE_COUNT = 0x320, ZK_M2M_FORMAT = 0x324, ZK_M2M_NOTIFY = 0x328,
};

// The drawing code's own state, kept in the PDEV's drawing-state area.
struct ZK_DRAW_STATE {
    LONG xOffset, yOffset;       // added to every destination point sent to the engine
    uint8_t patternBuffer[256];  // 8 rows of 8 pixels of the current brush, at its origin
};
static_assert(sizeof(ZK_DRAW_STATE) <= sizeof(ZK_PDEV::drawState));
inline ZK_DRAW_STATE *pDraw(ZK_PDEV *ppdev) { return reinterpret_cast<ZK_DRAW_STATE *>(ppdev->drawState); }

// Packing of points and sizes for the engine.
inline uint32_t ulPoint(LONG x, LONG y) { return static_cast<uint32_t>(y) << 16 | (static_cast<uint32_t>(x) & 0xFFFF); }
inline uint32_t ulSize(LONG w, LONG h) { return static_cast<uint32_t>(h) << 16 | (static_cast<uint32_t>(w) & 0xFFFF); }

// Free-space discipline: before n bytes of methods the cached count must hold n; when it does
// not, the free-space register is read until it does. The count is then lowered by n.
// A FIFO that does not free within the limit is written all the same (the count goes to 0): the
// call goes on rather than hang, and the stalled mark makes the caller's result an error.
inline void vReserve(ZK_PDEV *ppdev, unsigned sub, unsigned bytes) {
    if (ppdev->usFifoFree < bytes) vFifoWaitFree(ppdev, sub, bytes);
    ppdev->usFifoFree = ppdev->usFifoFree >= bytes ? static_cast<uint16_t>(ppdev->usFifoFree - bytes) : 0;
}
inline void vPut(ZK_PDEV *ppdev, unsigned sub, uint16_t method, uint32_t value) { vFifoWrite(ppdev, sub, method, value); }

// Where a surface lives for the engine.
struct ZK_SURFACE_PLACE {
    bool bVideo;        // in video memory (the screen or an off-screen bitmap)
    bool bScreen;
    SURFOBJ *psoDib;    // a device bitmap held as a DIB: its DIB surface
    ZK_DSURF *pdsurf;   // the device-surface record, when there is one
    uint32_t offset, pitch;
    uint8_t *pBits;     // first scan line in video memory (video surfaces)
};
ZK_SURFACE_PLACE placeOf(ZK_PDEV *ppdev, SURFOBJ *pso);
// A DIB description of a video-memory surface (for the engine's renderer), in `pso`.
void vDescribeVideo(ZK_PDEV *ppdev, const ZK_SURFACE_PLACE &place, const SURFOBJ *psoOrig, SURFOBJ *pso);

void vSetDestinationSurface(ZK_PDEV *ppdev, uint32_t offset, uint32_t pitch);
void vSetSourceSurface(ZK_PDEV *ppdev, uint32_t offset, uint32_t pitch);
// The clip object back to all of video memory when a mode change left it undefined.
void vResetClip(ZK_PDEV *ppdev, uint32_t size);
inline void vResetClip(ZK_PDEV *ppdev) { vResetClip(ppdev, ppdev->cyMemory << 16 | 0x7FFF); }
// The solid pattern of one colour in the pattern object (20 bytes reserved here).
void vLoadSolidPattern(ZK_PDEV *ppdev, uint32_t color);

// Data streaming (the caller has written the object's point and size).
void vPushImageRows(ZK_PDEV *ppdev, ULONG cbRow, ULONG cRows, const uint8_t *pSrc, LONG lStride);
void vPushImageBytes(ZK_PDEV *ppdev, const uint8_t *pBuf, ULONG cBytes);
void vPushMonoData(ZK_PDEV *ppdev, const uint32_t *pdw, ULONG cdw);
// Glyph bits: every dword to the monochrome object's one data method, which takes them one after
// another.
void vPushGlyphData(ZK_PDEV *ppdev, const uint32_t *pdw, ULONG cdw);
// The drawing code's shared data stream: cDwords dwords from pData to method 0x400 of the object in
// subchannel 2 of the FIFO area `fifo` (the PDEV's), groups of four after room for 16 bytes, the
// last one to three singly after room for 4. The free count starts from *pusFree, is read from the
// FIFO only while it is short, and goes back into *pusFree at the end.
void vFifoWriteData(ULONG cDwords, uint16_t *pusFree, const uint32_t *pData, uint8_t *fifo);

// CPU copies.
void vCopyRowsCpu(ZK_PDEV *ppdev, uint8_t **ppDst, LONG dstPitch, const uint8_t **ppSrc, LONG srcPitch, ULONG cbRow,
                  ULONG cRows, BOOL bAlignDst);
void vCopyDibToVideo(ZK_PDEV *ppdev, SURFOBJ *psoSrc, SURFOBJ *psoDst, RECTL *prcl);
// Moves a bitmap's pixels out of its off-screen memory (pdsurf still names its node).
void vCopyVideoToDib(ZK_PDEV *ppdev, ZK_DSURF *pdsurf, SURFOBJ *psoDst, RECTL *prcl);
BOOL bCopyVideoToMemory(ZK_PDEV *ppdev, uint8_t *pDst, LONG dstPitch, const uint8_t *pSrc, LONG srcPitch, LONG cbRow,
                        LONG cRows);

// Pointer images.
void vExpandPointerMask(const uint8_t *pMask, uint16_t *pOut);
uint32_t ulPointerMaskChecksum(const uint8_t *pMask);
