// Engine synchronisation, the DMA pusher, and the small per-chip methods DirectDraw calls.
#include "display/fifo.h"

namespace {

constexpr uint32_t kEngineBusy = 0x80000001u;

// DMA pusher control registers (offsets in the dmaRegs block).
enum : uint32_t {
    kPushBusy = 0x100, kPushMode = 0x200, kPushEnableA = 0x500, kPushEnableB = 0x1200, kPushObject = 0x1204,
    kPushFetch = 0x1214, kPushJump = 0x1218, kPushRun = 0x1220, kPushLength = 0x1224, kPushStart = 0x1228,
    kPushParam2 = 0x122C, kPushLimit = 0x1230, kPushCount = 0x1234, kPushParam1 = 0x1238, kPushEnableC = 0x1240,
};

inline uint32_t rd(uint8_t *block, uint32_t off) { return READ_REGISTER_ULONG(block + off); }
inline uint8_t rdb(uint8_t *block, uint32_t off) { return READ_REGISTER_UCHAR(block + off); }
inline void wr(uint8_t *block, uint32_t off, uint32_t v) { WRITE_REGISTER_ULONG(block + off, v); }

bool bEngineStatusBusy(ZK_PDEV *ppdev) {
    return ppdev->engineStatusReg && (READ_REGISTER_ULONG(ppdev->engineStatusReg) & kEngineBusy);
}

// Indexed VGA registers: index at the first port, data at the next.
uint8_t ucReadIndexed(uint8_t *block, uint32_t port, uint8_t index) {
    WRITE_REGISTER_UCHAR(block + port, index);
    return READ_REGISTER_UCHAR(block + port + 1);
}
void vWriteIndexed(uint8_t *block, uint32_t port, uint8_t index, uint8_t value) {
    WRITE_REGISTER_UCHAR(block + port, index);
    WRITE_REGISTER_UCHAR(block + port + 1, value);
}

// ---- ZK3 method table ---------------------------------------------------------------------------
BOOL bIsEngineBusyZk3(ZK_PDEV *ppdev) {
    if (!ppdev->fifo) return FALSE;
    return usFifoFree(ppdev, 1) <= 123 || bEngineStatusBusy(ppdev);
}

void vSetDisplayStartZk3(ZK_PDEV *ppdev, uint32_t offset) {
    uint8_t *crtc = ppdev->crtcRegs, *seq = ppdev->seqRegs;
    vWriteIndexed(crtc, 0x3D4, 0x0D, static_cast<uint8_t>(offset >> 2));
    vWriteIndexed(crtc, 0x3D4, 0x0C, static_cast<uint8_t>(offset >> 10));
    uint8_t old = ucReadIndexed(seq, 0x3C4, 5);
    WRITE_REGISTER_UCHAR(seq + 0x3C5, 0x57);
    uint8_t r19 = ucReadIndexed(crtc, 0x3D4, 0x19);
    WRITE_REGISTER_UCHAR(crtc + 0x3D5, static_cast<uint8_t>((r19 & 0xE0) | ((offset >> 18) & 0x1F)));
    WRITE_REGISTER_UCHAR(seq + 0x3C4, 5);
    if (old == 0) WRITE_REGISTER_UCHAR(seq + 0x3C5, 0x99);
}

BOOL bInVerticalBlankZk3(ZK_PDEV *ppdev) { return (READ_REGISTER_UCHAR(ppdev->crtcRegs + 0x3DA) & 0x08) != 0; }
BOOL bInDisplayZk3(ZK_PDEV *ppdev) { return !bInVerticalBlankZk3(ppdev); }
void vWaitVerticalBlankEndZk3(ZK_PDEV *ppdev) {
    bChipWait(ppdev, [&] { return !bInVerticalBlankZk3(ppdev); });
}
void vWaitVerticalBlankStartZk3(ZK_PDEV *ppdev) {
    bChipWait(ppdev, [&] { return bInVerticalBlankZk3(ppdev) != FALSE; });
}

uint16_t usGetScanLineZk3(ZK_PDEV *ppdev) {
    uint8_t *crtc = ppdev->crtcRegs, *seq = ppdev->seqRegs;
    uint8_t old = ucReadIndexed(seq, 0x3C4, 5);
    WRITE_REGISTER_UCHAR(seq + 0x3C5, 0x57);
    auto read = [&] {
        uint16_t hi = ucReadIndexed(crtc, 0x3D4, 0x35), lo = ucReadIndexed(crtc, 0x3D4, 0x34);
        return static_cast<uint16_t>((hi << 8 | lo) & 0x7FF);
    };
    uint16_t line = read();
    if (line == 0) line = read();
    WRITE_REGISTER_UCHAR(seq + 0x3C4, 5);
    if (old != 1) WRITE_REGISTER_UCHAR(seq + 0x3C5, 0x99);
    return line;
}

uint32_t ulDepthAlpha(ZK_PDEV *ppdev) {
    return ppdev->cBitsPerPel == 8 ? 0xFF00u : ppdev->cBitsPerPel == 16 ? 0x8000u : 0xFF000000u;
}

void vFillRectZk3(ZK_DDRAW_OBJECT *pdd, LONG x, LONG y, LONG cx, LONG cy) {
    ZK_PDEV *ppdev = pdd->ppdev;
    vFifoWaitFree(ppdev, 3, 16);
    vFifoWrite(ppdev, 4, 0x300, 0xCC);
    vFifoWrite(ppdev, 3, 0x304, pdd->fillColor | ulDepthAlpha(ppdev));
    vFifoWrite(ppdev, 3, 0x400, static_cast<uint32_t>(y) << 16 | static_cast<uint16_t>(x));
    vFifoWrite(ppdev, 3, 0x404, static_cast<uint32_t>(cy) << 16 | static_cast<uint16_t>(cx));
    ppdev->usFifoFree = static_cast<uint16_t>(ppdev->usFifoFree - 16);
}

void vCopyRectZk3(ZK_DDRAW_OBJECT *pdd, LONG xSrc, LONG ySrc, LONG xDst, LONG yDst, LONG cx, LONG cy) {
    ZK_PDEV *ppdev = pdd->ppdev;
    vFifoWaitFree(ppdev, 1, 16);
    vFifoWrite(ppdev, 4, 0x300, 0xCC);
    vFifoWrite(ppdev, 1, 0x300, static_cast<uint32_t>(ySrc) << 16 | static_cast<uint16_t>(xSrc));
    vFifoWrite(ppdev, 1, 0x304, static_cast<uint32_t>(yDst) << 16 | static_cast<uint16_t>(xDst));
    vFifoWrite(ppdev, 1, 0x308, static_cast<uint32_t>(cy) << 16 | static_cast<uint16_t>(cx));
    ppdev->usFifoFree = static_cast<uint16_t>(ppdev->usFifoFree - 16);
}

void vSetClipZk3(ZK_DDRAW_OBJECT *pdd, LONG x, LONG y, LONG cx, LONG cy) {
    ZK_PDEV *ppdev = pdd->ppdev;
    vFifoWaitFree(ppdev, 6, 8);
    vFifoWrite(ppdev, 6, 0x300, static_cast<uint32_t>(y) << 16 | static_cast<uint16_t>(x));
    vFifoWrite(ppdev, 6, 0x304, static_cast<uint32_t>(cy) << 16 | static_cast<uint16_t>(cx));
    ppdev->usFifoFree = static_cast<uint16_t>(ppdev->usFifoFree - 8);
}

void vSetColorKeyZk3(ZK_PDEV *ppdev, uint32_t key) {
    vFifoWaitFree(ppdev, 7, 8);
    if (ppdev->subchannel7Object != 0xA0007) {
        vFifoWrite(ppdev, 7, 0, 0xA0007);
        ppdev->subchannel7Object = 0xA0007;
    }
    vFifoWrite(ppdev, 7, 0x304, key);
}

BOOL bIsFifoEmptyZk3(ZK_PDEV *ppdev) { return usFifoFree(ppdev, 1) >= 124; }

const ZK_HW_METHODS kZk3Methods = {
    bIsEngineBusyZk3, vSetDisplayStartZk3, bInVerticalBlankZk3, bInDisplayZk3, vWaitVerticalBlankEndZk3,
    vWaitVerticalBlankStartZk3, usGetScanLineZk3, vFillRectZk3, vCopyRectZk3, vSetClipZk3, vSetColorKeyZk3,
    bIsFifoEmptyZk3,
};

// The ZK4's engine test has no FIFO-room part of its own: the same test serves both chips.
uint16_t usSyncZk3(ZK_PDEV *ppdev) { return vSyncEngine(ppdev); }
uint16_t usSyncZk4(ZK_PDEV *ppdev) { return vSyncEngineZk4(ppdev); }

}  // namespace

uint16_t usFifoFree(ZK_PDEV *ppdev, unsigned sub) { return READ_REGISTER_USHORT(pFifoSub(ppdev, sub) + kFifoFreeReg); }

bool bFifoWaitFree(ZK_PDEV *ppdev, unsigned sub, ULONG bytes) {
    uint16_t n = 0;
    const bool room = bChipWait(ppdev, [&] { return (n = usFifoFree(ppdev, sub)) >= bytes; });
    ppdev->usFifoFree = n;
    return room;
}

bool bWaitPusherIdle(ZK_PDEV *ppdev) {
    uint8_t *d = ppdev->dmaRegs;
    if (d && !(bChipWait(ppdev, [&] { return !(rd(d, kPushBusy) & 0x10111); }) &&
               bChipWait(ppdev, [&] { return (rdb(d, kPushEnableA) & 1) != 0; }) &&
               bChipWait(ppdev, [&] { return (rdb(d, kPushEnableC) & 1) != 0; }) &&
               bChipWait(ppdev, [&] { return rd(d, kPushRun) == 0; }) &&
               bChipWait(ppdev, [&] { return (rdb(d, kPushFetch) & 0x10) != 0; })))
        return false;
    return bChipWait(ppdev, [&] { return !bEngineStatusBusy(ppdev); });
}

bool bAwaitNotifier(ZK_PDEV *ppdev, const volatile uint16_t &status) {
    return bChipWait(ppdev, [&] { return status != 0xFF; });
}

uint16_t vSyncEngine(ZK_PDEV *ppdev) {
    if (!bWaitPusherIdle(ppdev) || !ppdev->fifo) return 0;
    if (!bFifoWaitFree(ppdev, 3, 124)) return ppdev->usFifoFree;
    ppdev->lockNotifier.status = 0xFF;
    vFifoWrite(ppdev, 2, 0x104, 0);
    vFifoWrite(ppdev, 2, 0x3FC, 0);
    bAwaitNotifier(ppdev, ppdev->lockNotifier.status);
    ppdev->usFifoFree = usFifoFree(ppdev, 2);
    return ppdev->usFifoFree;
}

uint16_t vSyncEngineZk4(ZK_PDEV *ppdev) {
    if (!bChipWait(ppdev, [&] { return !bEngineStatusBusy(ppdev); })) return 0;
    if (ppdev->fifo && bFifoWaitFree(ppdev, 3, 124)) {
        // The destination surface goes back to the screen.
        if (ppdev->subchannel7Object != 0xA00F2) {
            vFifoWrite(ppdev, 7, 0, 0xA00F2);
            ppdev->subchannel7Object = 0xA00F2;
        }
        vFifoWrite(ppdev, 7, 0x30C, 0);
        vFifoWrite(ppdev, 7, 0x308, static_cast<uint32_t>(ppdev->lDelta));
        ppdev->dstOffset = 0;
        ppdev->dstPitch = static_cast<uint32_t>(ppdev->lDelta);
        vFifoWrite(ppdev, 4, 0x300, 0xCC);
        vFifoWrite(ppdev, 2, 0x3FC, 0);
        if (bFifoWaitFree(ppdev, 3, 124)) bChipWait(ppdev, [&] { return !bEngineStatusBusy(ppdev); });
    }
    return ppdev->usFifoFree;
}

void vWaitEngineIdle(ZK_PDEV *ppdev) {
    bChipWait(ppdev, [&] { return !bIsEngineBusyZk3(ppdev); });
}

BOOL bBindDmaObject(ZK_PDEV *ppdev, uint32_t handle) {
    uint32_t words[3] = {handle, handle, handle};
    return ulRmControl(ppdev->hDriver, 0xFFFFFFFF, 0, words, words) == 0 ? FALSE : TRUE;
}

BOOL bStartDmaPush(ZK_PDEV *ppdev, uint32_t handle, uint32_t p1, uint32_t p2, uint32_t start, uint32_t end) {
    if (!ppdev || !ppdev->fifo || !ppdev->bEnabled || !ppdev->dmaRegs) return FALSE;
    if (end == start) return TRUE;
    uint8_t *d = ppdev->dmaRegs;
    EngAcquireSemaphore(ppdev->engineSemaphore);
    if (!bWaitPusherIdle(ppdev)) {
        EngReleaseSemaphore(ppdev->engineSemaphore);
        return FALSE;
    }
    wr(d, kPushEnableA, 0);
    wr(d, kPushEnableC, 0);
    wr(d, kPushEnableB, 0);
    wr(d, kPushRun, 0);
    if (rd(d, kPushObject) != handle && bBindDmaObject(ppdev, handle)) {
        wr(d, kPushEnableC, 1);
        wr(d, kPushEnableB, 1);
        wr(d, kPushEnableA, 1);
        EngReleaseSemaphore(ppdev->engineSemaphore);
        return FALSE;
    }
    wr(d, kPushObject, handle);
    wr(d, kPushMode, 0x7C0300);
    wr(d, kPushParam1, p1);
    wr(d, kPushLimit, 0xFFFFFFFF);
    wr(d, kPushCount, 1);
    wr(d, kPushParam2, p2);
    wr(d, kPushJump, 0);
    wr(d, kPushStart, start);
    wr(d, kPushLength, end - start);
    wr(d, kPushEnableC, 1);
    wr(d, kPushEnableB, 1);
    wr(d, kPushEnableA, 1);
    wr(d, kPushRun, 1);
    EngReleaseSemaphore(ppdev->engineSemaphore);
    return TRUE;
}

void vInstallEngineMethods(ZK_PDEV *ppdev) {
    if (ppdev->chipFlags & ZK_CHIP_FLAG_ZK3) {
        ppdev->pfnWaitEngineIdle = vWaitEngineIdle;
        ppdev->pfnSyncEngine = usSyncZk3;
        ppdev->pfnStartDmaPush = bStartDmaPush;
    } else if (ppdev->chipFlags & ZK_CHIP_FLAG_ZK4) {
        ppdev->pfnWaitEngineIdle = vWaitEngineIdle;
        ppdev->pfnSyncEngine = usSyncZk4;
        ppdev->pfnStartDmaPush = nullptr;
    }
}

BOOL vInitHardwareMethods(ZK_PDEV *ppdev) {
    // DirectDraw is offered only when the table is really there: on a chip without one the
    // slots stay empty and the flag stays clear.
    if (ppdev->chipFlags & ZK_CHIP_FLAG_ZK3) {
        ppdev->hw = kZk3Methods;
        ppdev->flags |= ZK_FLAG_HW_METHODS;
    } else {
        ppdev->hw = ZK_HW_METHODS{};
        ppdev->flags &= ~ZK_FLAG_HW_METHODS;
    }
    return TRUE;
}
