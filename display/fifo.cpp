// Engine FIFO access, surface programming, data streaming and the copies between video and
// system memory.
#include "display/fifo.h"

#include <cstring>
#include <initializer_list>

namespace {

// Notifier status byte and data halves of the DMA buffer used for screen-to-memory copies.
constexpr uint32_t kDmaStatusByte = 15;
constexpr uint32_t kDmaHalf[2] = {0x1000, 0x5000};
constexpr uint32_t kDmaObjectBase = 16;   // offsets for the copy object are relative to this
constexpr uint32_t kDmaChunk = 0x4000;
constexpr ULONG kDmaMinimum = 0x9000;

uint32_t ulAddr(const void *p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// Byte, word, 16-byte and dword moves aligned on the destination.
void vCopyAlignedDst(uint8_t *d, const uint8_t *s, ULONG n) {
    if (n && (ulAddr(d) & 1)) { *d++ = *s++; --n; }
    if (n >= 2 && (ulAddr(d) & 2)) { std::memcpy(d, s, 2); d += 2; s += 2; n -= 2; }
    while (n >= 16) { std::memcpy(d, s, 16); d += 16; s += 16; n -= 16; }
    while (n >= 4) { std::memcpy(d, s, 4); d += 4; s += 4; n -= 4; }
    if (n >= 2) { std::memcpy(d, s, 2); d += 2; s += 2; n -= 2; }
    if (n) *d = *s;
}

}  // namespace

ZK_SURFACE_PLACE placeOf(ZK_PDEV *ppdev, SURFOBJ *pso) {
    ZK_SURFACE_PLACE p{};
    if (!pso) return p;
    auto *pdsurf = reinterpret_cast<ZK_DSURF *>(pso->dhsurf);
    p.pdsurf = pdsurf;
    if (!pdsurf || pdsurf == ppdev->pdsurfScreen) {
        // The screen: its own record, or a plain surface whose bits are the frame buffer.
        if (pdsurf || (pso->pvScan0 && pso->pvScan0 == ppdev->frameBuffer)) {
            p.bVideo = p.bScreen = true;
            p.offset = 0;
            p.pitch = static_cast<uint32_t>(ppdev->lDelta);
            p.pBits = ppdev->frameBuffer;
        }
        return p;
    }
    if (pdsurf->dt == 1) {
        p.psoDib = static_cast<SURFOBJ *>(pdsurf->p);
        return p;
    }
    const auto *node = static_cast<const ZK_OFFSCREEN_NODE *>(pdsurf->p);
    if (!node) return p;
    p.bVideo = true;
    p.offset = node->address - ulAddr(ppdev->frameBuffer);
    p.pitch = node->cjStride;
    p.pBits = ppdev->frameBuffer + p.offset;
    return p;
}

void vDescribeVideo(ZK_PDEV *ppdev, const ZK_SURFACE_PLACE &place, const SURFOBJ *psoOrig, SURFOBJ *pso) {
    std::memset(pso, 0, sizeof *pso);
    pso->hsurf = psoOrig->hsurf;
    pso->dhpdev = psoOrig->dhpdev;
    pso->hdev = psoOrig->hdev;
    if (place.bScreen) pso->sizlBitmap = {static_cast<LONG>(ppdev->cxScreen), static_cast<LONG>(ppdev->cyScreen)};
    else pso->sizlBitmap = {static_cast<LONG>(place.pdsurf->cx), static_cast<LONG>(place.pdsurf->cy)};
    pso->cjBits = place.pitch * static_cast<ULONG>(pso->sizlBitmap.cy);
    pso->pvBits = pso->pvScan0 = place.pBits;
    pso->lDelta = static_cast<LONG>(place.pitch);
    pso->iBitmapFormat = ppdev->iBitmapFormat;
    pso->iType = STYPE_BITMAP;
    pso->fjBitmap = BMF_TOPDOWN;
}

void vSetDestinationSurface(ZK_PDEV *ppdev, uint32_t offset, uint32_t pitch) {
    if (offset == ppdev->dstOffset && pitch == ppdev->dstPitch) return;
    vReserve(ppdev, ZK_SUB_SURFACE, 16);
    if (ppdev->subchannel7Object != ZK_OBJ_DST_SURFACE) {
        vPut(ppdev, ZK_SUB_SURFACE, 0, ZK_OBJ_DST_SURFACE);
        ppdev->subchannel7Object = ZK_OBJ_DST_SURFACE;
    }
    vPut(ppdev, ZK_SUB_SURFACE, ZK_SURF_OFFSET, offset);
    vPut(ppdev, ZK_SUB_SURFACE, ZK_SURF_PITCH, pitch);
    ppdev->dstOffset = offset;
    ppdev->dstPitch = pitch;
}

void vSetSourceSurface(ZK_PDEV *ppdev, uint32_t offset, uint32_t pitch) {
    if (offset == ppdev->srcOffset && pitch == ppdev->srcPitch) return;
    vReserve(ppdev, ZK_SUB_PATTERN, 16);
    vPut(ppdev, ZK_SUB_PATTERN, 0, ZK_OBJ_SRC_SURFACE);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_SURF_OFFSET, offset);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_SURF_PITCH, pitch);
    vPut(ppdev, ZK_SUB_PATTERN, 0, ZK_OBJ_PATTERN);
    ppdev->srcOffset = offset;
    ppdev->srcPitch = pitch;
}

void vResetClip(ZK_PDEV *ppdev, uint32_t size) {
    if (!ppdev->bResetClip) return;
    vReserve(ppdev, ZK_SUB_CLIP, 8);
    vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_POINT, 0);
    vPut(ppdev, ZK_SUB_CLIP, ZK_CLIP_SIZE, size);
    ppdev->bResetClip = 0;
}

void vLoadSolidPattern(ZK_PDEV *ppdev, uint32_t color) {
    const uint32_t c = ppdev->alphaBits | color;
    vReserve(ppdev, ZK_SUB_PATTERN, 20);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_SHAPE, 1);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_COLOR0, c);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_COLOR1, c);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_BITS0, 0xFFFFFFFF);
    vPut(ppdev, ZK_SUB_PATTERN, ZK_PAT_BITS1, 0xFFFFFFFF);
}

// ---- data streaming ------------------------------------------------------------------------------
namespace {

uint32_t ulLoad(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// The last 1-3 bytes of a row in one dword, first byte in bits 0-7.
uint32_t ulTail(const uint8_t *p, ULONG n) {
    uint32_t v = 0;
    for (ULONG i = 0; i < n; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

// Bursts of `dwords` consecutive data methods from `method`, each reserved on its own.
void vBurst(ZK_PDEV *ppdev, unsigned sub, uint16_t method, const uint8_t *&p, ULONG dwords) {
    vReserve(ppdev, sub, 4 * dwords);
    for (ULONG i = 0; i < dwords; ++i, p += 4) vPut(ppdev, sub, static_cast<uint16_t>(method + 4 * i), ulLoad(p));
}

// The method the shared data stream writes in subchannel 2 (the first data method of the object
// held there).
constexpr uint32_t kSub2DataPort = 0x400;

// A stream of dwords to one data method that takes them one after another: whole groups of four,
// each after room for 16 bytes, then the last one to three, each after room for 4.
template <class Room> void vStreamToPort(volatile uint8_t *port, ULONG cdw, const uint32_t *pdw, Room room) {
    for (; cdw >= 4; cdw -= 4) {
        room(16);
        for (int i = 0; i < 4; ++i) WRITE_REGISTER_ULONG(port, *pdw++);
    }
    for (; cdw; --cdw) {
        room(4);
        WRITE_REGISTER_ULONG(port, *pdw++);
    }
}

}  // namespace

void vPushImageRows(ZK_PDEV *ppdev, ULONG cbRow, ULONG cRows, const uint8_t *pSrc, LONG lStride) {
    for (ULONG r = 0; r < cRows; ++r) {
        // A row's address is formed only for a row there is: one past the last could lie outside
        // the address space.
        if (r) pSrc += lStride;
        const uint8_t *p = pSrc;
        ULONG left = cbRow;
        for (ULONG burst : {124u, 64u, 32u, 16u})
            while (left >= burst) {
                vBurst(ppdev, ZK_SUB_IMAGE, ZK_IMG_DATA, p, burst / 4);
                left -= burst;
            }
        if (left >= 4) {
            const ULONG n = left / 4;
            vBurst(ppdev, ZK_SUB_IMAGE, ZK_IMG_DATA, p, n);
            left -= 4 * n;
        }
        if (left) {
            vReserve(ppdev, ZK_SUB_IMAGE, 4);
            vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_DATA, ulTail(p, left));
        }
    }
}

void vPushImageBytes(ZK_PDEV *ppdev, const uint8_t *pBuf, ULONG cBytes) {
    ULONG dwords = (cBytes + 3) / 4;
    const uint8_t *p = pBuf;
    for (ULONG burst : {16u, 4u, 1u})
        while (dwords >= burst) {
            if (burst == 1 && cBytes % 4 && dwords == 1) {
                vReserve(ppdev, ZK_SUB_IMAGE, 4);
                vPut(ppdev, ZK_SUB_IMAGE, ZK_IMG_DATA, ulTail(p, cBytes % 4));
                dwords = 0;
                break;
            }
            vBurst(ppdev, ZK_SUB_IMAGE, ZK_IMG_DATA, p, burst);
            dwords -= burst;
        }
}

void vPushMonoData(ZK_PDEV *ppdev, const uint32_t *pdw, ULONG cdw) {
    const uint8_t *p = reinterpret_cast<const uint8_t *>(pdw);
    for (ULONG burst : {16u, 8u, 4u})
        while (cdw >= burst) {
            vBurst(ppdev, ZK_SUB_MONO, ZK_MONO_E_DATA, p, burst);
            cdw -= burst;
        }
    while (cdw--) vBurst(ppdev, ZK_SUB_MONO, ZK_MONO_E_DATA, p, 1);
}

void vPushGlyphData(ZK_PDEV *ppdev, const uint32_t *pdw, ULONG cdw) {
    // The free count is read only while the cached one is short, and a chip marked stalled is not
    // waited for again.
    vStreamToPort(pFifoSub(ppdev, ZK_SUB_MONO) + ZK_MONO_C_DATA, cdw, pdw,
                  [&](ULONG bytes) { vReserve(ppdev, ZK_SUB_MONO, bytes); });
}

void vFifoWriteData(ULONG cDwords, uint16_t *pusFree, const uint32_t *pData, uint8_t *fifo) {
    uint8_t *sub = pFifoSub(fifo, ZK_SUB_MONO);
    uint16_t free = *pusFree;
    // No PDEV here to carry the stall mark: a FIFO that did not free within the limit once is
    // given one look per group for the rest of the stream, so that the call costs one limit and
    // not one per group; the dwords then go as the chip takes them.
    bool stalled = false;
    vStreamToPort(sub + kSub2DataPort, cDwords, pData, [&](ULONG bytes) {
        auto room = [&] { return (free = READ_REGISTER_USHORT(sub + kFifoFreeReg)) >= bytes; };
        if (free < bytes) stalled = stalled ? !room() : !bChipWait(nullptr, room);
        free = free >= bytes ? static_cast<uint16_t>(free - bytes) : 0;
    });
    *pusFree = free;
}

// ---- CPU copies ------------------------------------------------------------------------------------
void vCopyRowsCpu(ZK_PDEV *ppdev, uint8_t **ppDst, LONG dstPitch, const uint8_t **ppSrc, LONG srcPitch, ULONG cbRow,
                  ULONG cRows, BOOL bAlignDst) {
    if (ppdev->pfnWaitEngineIdle) ppdev->pfnWaitEngineIdle(ppdev);
    uint8_t *d = *ppDst;
    const uint8_t *s = *ppSrc;
    for (ULONG r = 0; r < cRows; ++r, d += dstPitch, s += srcPitch) {
        const uint32_t a = bAlignDst ? ulAddr(d) : ulAddr(s);
        ULONG lead = (4 - (a & 3)) & 3;
        if (lead > cbRow) lead = 0;   // a row shorter than the gap goes as dwords and a remainder
        uint8_t *dd = d;
        const uint8_t *ss = s;
        ULONG n = cbRow;
        for (ULONG i = 0; i < lead; ++i, --n) *dd++ = *ss++;
        for (; n >= 4; n -= 4, dd += 4, ss += 4) std::memcpy(dd, ss, 4);
        while (n--) *dd++ = *ss++;
    }
    *ppDst = d;
    *ppSrc = s;
}

void vCopyDibToVideo(ZK_PDEV *ppdev, SURFOBJ *psoSrc, SURFOBJ *psoDst, RECTL *prcl) {
    uint8_t *d = static_cast<uint8_t *>(psoDst->pvScan0);
    const uint8_t *s = static_cast<const uint8_t *>(psoSrc->pvScan0);
    vCopyRowsCpu(ppdev, &d, psoDst->lDelta, &s, psoSrc->lDelta,
                 static_cast<ULONG>(prcl->right - prcl->left) * ppdev->cjPelSize,
                 static_cast<ULONG>(prcl->bottom - prcl->top), TRUE);
}

void vCopyVideoToDib(ZK_PDEV *ppdev, ZK_DSURF *pdsurf, SURFOBJ *psoDst, RECTL *prcl) {
    const auto *node = static_cast<const ZK_OFFSCREEN_NODE *>(pdsurf->p);
    bCopyVideoToMemory(ppdev, static_cast<uint8_t *>(psoDst->pvScan0), psoDst->lDelta,
                       reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(node->address)),
                       static_cast<LONG>(node->cjStride), (prcl->right - prcl->left) * static_cast<LONG>(ppdev->cjPelSize),
                       prcl->bottom - prcl->top);
}

BOOL bCopyVideoToMemory(ZK_PDEV *ppdev, uint8_t *pDst, LONG dstPitch, const uint8_t *pSrc, LONG srcPitch, LONG cbRow,
                        LONG cRows) {
    if (cbRow <= 0 || cRows <= 0) return TRUE;
    uint8_t *dma = ppdev->pDmaBuffer;
    if (!dma || ppdev->cjDmaBuffer < kDmaMinimum || !ppdev->fifo) {
        vCopyRowsCpu(ppdev, &pDst, dstPitch, &pSrc, srcPitch, static_cast<ULONG>(cbRow), static_cast<ULONG>(cRows),
                     FALSE);
        return TRUE;
    }
    if (ppdev->subchannel7Object != ZK_OBJ_MEMORY_COPY) {
        vReserve(ppdev, ZK_SUB_SURFACE, 4);
        vPut(ppdev, ZK_SUB_SURFACE, 0, ZK_OBJ_MEMORY_COPY);
        ppdev->subchannel7Object = ZK_OBJ_MEMORY_COPY;
    }
    volatile uint8_t *status = dma + kDmaStatusByte;
    const uint32_t rowBytes = static_cast<uint32_t>(cbRow);
    const uint32_t perChunk = rowBytes <= kDmaChunk ? kDmaChunk / rowBytes : 1;
    for (uint32_t done = 0; done < rowBytes;) {
        const uint32_t w = rowBytes - done < kDmaChunk ? rowBytes - done : kDmaChunk;
        const uint32_t lines = rowBytes <= kDmaChunk ? perChunk : 1;
        uint32_t srcOffset = ulAddr(pSrc + done) - ulAddr(ppdev->frameBuffer);
        uint8_t *dst = pDst + done;
        unsigned half = 0;
        uint32_t prevRows = 0;
        for (uint32_t row = 0; row < static_cast<uint32_t>(cRows);) {
            const uint32_t c = static_cast<uint32_t>(cRows) - row < lines ? static_cast<uint32_t>(cRows) - row : lines;
            vReserve(ppdev, ZK_SUB_SURFACE, 32);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_OFFSET_IN, srcOffset);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_OFFSET_OUT, kDmaHalf[half] - kDmaObjectBase);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_PITCH_IN, static_cast<uint32_t>(srcPitch));
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_PITCH_OUT, w);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_LINE_LENGTH, w);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_LINE_COUNT, c);
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_FORMAT, 0x101);
            *status = 0xFF;
            vPut(ppdev, ZK_SUB_SURFACE, ZK_M2M_NOTIFY, 0);
            // While the engine fills this half, the previous chunk goes out of the other one.
            for (uint32_t i = 0; i < prevRows; ++i, dst += dstPitch)
                vCopyAlignedDst(dst, dma + kDmaHalf[half ^ 1] + i * w, w);
            // An engine that does not copy within the limit fails the copy rather than hang it.
            if (!bChipWait(ppdev, [&] { return *status == 0; })) return FALSE;
            prevRows = c;
            row += c;
            half ^= 1;
            srcOffset += lines * static_cast<uint32_t>(srcPitch);
        }
        for (uint32_t i = 0; i < prevRows; ++i, dst += dstPitch) vCopyAlignedDst(dst, dma + kDmaHalf[half ^ 1] + i * w, w);
        done += w;
    }
    return TRUE;
}

// ---- pointer images ---------------------------------------------------------------------------------
void vExpandPointerMask(const uint8_t *pMask, uint16_t *pOut) {
    const uint8_t *andBits = pMask, *xorBits = pMask + 128;
    for (unsigned i = 0; i < 32 * 32; ++i) {
        const bool a = (andBits[i / 8] >> (7 - (i & 7))) & 1;
        const bool x = (xorBits[i / 8] >> (7 - (i & 7))) & 1;
        pOut[i] = static_cast<uint16_t>((x ? 0x7FFF : 0) | (a ? 0 : 0x8000));
    }
}

uint32_t ulPointerMaskChecksum(const uint8_t *pMask) {
    uint32_t a = 0, b = 0;
    for (unsigned i = 0; i < 64; ++i) {
        const uint32_t dw = ulLoad(pMask + 4 * i);
        if ((i / 16) % 2 == 0) a += dw;
        else b += dw;
    }
    return a == b ? 0x12345678u : a;
}
