// Off-screen nodes and device bitmaps: the engine's bitmaps kept in video memory, moved out to
// system memory when space runs short or the hardware is given up, and moved back by the blit code.
#include <climits>

#include "display/blt.h"
#include "display/ddi.h"
#include "display/fifo.h"
#include "display/heap.h"

namespace {

constexpr ULONG kPoolBytes = 4000;
constexpr ULONG kNodesPerPool = 99;
static_assert(sizeof(void *) + kNodesPerPool * sizeof(ZK_OFFSCREEN_NODE) <= kPoolBytes);

uint8_t *pAddr(ULONG address) { return reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(address)); }
ULONG ulAddr(const void *p) { return static_cast<ULONG>(reinterpret_cast<uintptr_t>(p)); }

void vInitListHead(ZK_OFFSCREEN_NODE *head, ULONG type) {
    *head = {};
    head->type = type;
    head->cx = head->cy = head->reserved = INT_MAX;
    head->next = head->prev = head;
}

void vUnlink(ZK_OFFSCREEN_NODE *n) {
    n->prev->next = n->next;
    n->next->prev = n->prev;
    n->next = n->prev = nullptr;
}

void vInsertAfter(ZK_OFFSCREEN_NODE *head, ZK_OFFSCREEN_NODE *n) {
    n->next = head->next;
    n->prev = head;
    head->next->prev = n;
    head->next = n;
}

bool bInDmaBuffer(ZK_PDEV *ppdev, const void *p) {
    const uint8_t *b = ppdev->pDmaBuffer;
    return b && p >= b && static_cast<const uint8_t *>(p) < b + ppdev->cjDmaBuffer;
}

// A DIB view of a node's video memory, for the copy routines.
void vDescribeNode(const ZK_OFFSCREEN_NODE *n, SURFOBJ *pso) {
    *pso = {};
    pso->sizlBitmap = {static_cast<LONG>(n->cx), static_cast<LONG>(n->cy)};
    pso->pvBits = pso->pvScan0 = pAddr(n->address);
    pso->lDelta = static_cast<LONG>(n->cjStride);
    pso->cjBits = n->cjStride * n->cy;
}

void vWaitIdle(ZK_PDEV *ppdev) {
    if (ppdev->pfnWaitEngineIdle && ppdev->fifo) ppdev->pfnWaitEngineIdle(ppdev);
}

// A node over `cjStride` x cy bytes of video memory; discardable nodes are evicted to make room.
ZK_OFFSCREEN_NODE *pAllocNodeMemory(ZK_PDEV *ppdev, LONG cx, LONG cy, ULONG cjStride, FLONG fl) {
    ZK_OFFSCREEN_NODE *n = pAllocNode(ppdev);
    if (!n) return nullptr;
    const uint64_t size = uint64_t{cjStride} * static_cast<uint32_t>(cy);
    ULONG address = size > 0xFFFFFFF0u ? 0 : ulHeapAlloc(static_cast<ULONG>(size), ppdev->pHeap);
    if (!address && size <= 0xFFFFFFF0u) {
        ZK_OFFSCREEN_NODE *head = &ppdev->nodeDiscardable;
        while (head->prev != head) {
            if (!pMoveOffscreenToDib(ppdev, head->prev)) {
                vFreeNode(ppdev, n);
                return nullptr;
            }
        }
        address = ulHeapAlloc(static_cast<ULONG>(size), ppdev->pHeap);
    }
    if (!address) {
        vFreeNode(ppdev, n);
        return nullptr;
    }
    n->address = n->addressCopy = address;
    n->cjStride = cjStride;
    n->cx = static_cast<ULONG>(cx);
    n->cy = static_cast<ULONG>(cy);
    n->pdsurf = nullptr;
    if (fl & ZK_ALLOC_PERMANENT) {
        n->type = ZK_NODE_PERMANENT;
        vInsertAfter(&ppdev->nodePermanent, n);
    } else {
        n->type = ZK_NODE_DISCARDABLE;
        vInsertAfter(&ppdev->nodeDiscardable, n);
    }
    return n;
}

SURFOBJ *psoMakeSurface(ZK_PDEV *ppdev, LONG lWidth, void *pvBits) {
    SIZEL sizl{static_cast<LONG>(ppdev->cxMemory), static_cast<LONG>(ppdev->cyMemory)};
    HSURF h = reinterpret_cast<HSURF>(EngCreateBitmap(sizl, lWidth, ppdev->iBitmapFormat, BMF_TOPDOWN, pvBits));
    if (!h) return nullptr;
    SURFOBJ *pso = EngAssociateSurface(h, ppdev->hdevEng, 0) ? EngLockSurface(h) : nullptr;
    if (!pso) EngDeleteSurface(h);
    return pso;
}

void vDeleteSurface(SURFOBJ **ppso) {
    if (!*ppso) return;
    HSURF h = (*ppso)->hsurf;
    EngUnlockSurface(*ppso);
    EngDeleteSurface(h);
    *ppso = nullptr;
}

// A DIB-held bitmap's surface goes: out of the DMA buffer's heap when it lives there.
void vDeleteDib(ZK_PDEV *ppdev, SURFOBJ *pso) {
    if (bInDmaBuffer(ppdev, pso->pvScan0)) vTexHeapFree(ulAddr(pso->pvScan0));
    vDeleteSurface(&pso);
}

}  // namespace

ZK_OFFSCREEN_NODE *pAllocNode(ZK_PDEV *ppdev) {
    if (!ppdev->pFreeNodes) {
        auto *pool = static_cast<uint8_t *>(EngAllocMem(FL_ZERO_MEMORY, kPoolBytes, ZK_POOL_TAG));
        if (!pool) return nullptr;
        *reinterpret_cast<void **>(pool) = ppdev->pNodePools;
        ppdev->pNodePools = pool;
        auto *nodes = reinterpret_cast<ZK_OFFSCREEN_NODE *>(pool + sizeof(void *));
        for (ULONG i = 0; i < kNodesPerPool; ++i) nodes[i].next = i + 1 < kNodesPerPool ? &nodes[i + 1] : nullptr;
        ppdev->pFreeNodes = nodes;
    }
    ZK_OFFSCREEN_NODE *n = ppdev->pFreeNodes;
    ppdev->pFreeNodes = n->next;
    *n = {};
    return n;
}

void vFreeNode(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *n) {
    n->type = ZK_NODE_FREE;
    n->next = ppdev->pFreeNodes;
    ppdev->pFreeNodes = n;
}

ZK_OFFSCREEN_NODE *pAllocOffscreenBitmap(ZK_PDEV *ppdev, LONG cx, LONG cy, FLONG fl) {
    if (cx <= 0 || cy <= 0) return nullptr;
    const ULONG stride = ((static_cast<ULONG>(cx) + 15) & ~15u) * ppdev->cjPelSize;
    return pAllocNodeMemory(ppdev, cx, cy, stride, fl);
}

ZK_OFFSCREEN_NODE *pFreeOffscreenBitmap(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *n) {
    if (!n || n->type == ZK_NODE_FREE) return nullptr;
    vHeapFree(n->address, ppdev->pHeap);
    ppdev->heapUniq += 1;
    vUnlink(n);
    vFreeNode(ppdev, n);
    return n;
}

ZK_OFFSCREEN_NODE *pMoveOffscreenToDib(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *n) {
    ZK_DSURF *pdsurf = n->pdsurf;
    if (!pdsurf) return nullptr;
    SIZEL sizl{static_cast<LONG>(n->cx), static_cast<LONG>(n->cy)};
    HSURF h = reinterpret_cast<HSURF>(EngCreateBitmap(sizl, 0, ppdev->iBitmapFormat, BMF_TOPDOWN, nullptr));
    if (!h) return nullptr;
    SURFOBJ *pso = EngAssociateSurface(h, ppdev->hdevEng, 0) ? EngLockSurface(h) : nullptr;
    if (!pso) {
        EngDeleteSurface(h);
        return nullptr;
    }
    RECTL rcl{0, 0, sizl.cx, sizl.cy};
    vWaitIdle(ppdev);
    vCopyVideoToDib(ppdev, pdsurf, pso, &rcl);
    pdsurf->dt = 1;
    pdsurf->p = pso;
    pdsurf->ulFreeCountSeen = ppdev->heapUniq;
    pdsurf->ulUseCount = 0;
    return pFreeOffscreenBitmap(ppdev, n);
}

BOOL bMoveAllOffscreenToDib(ZK_PDEV *ppdev) {
    BOOL ok = TRUE;
    ZK_OFFSCREEN_NODE *head = &ppdev->nodeDiscardable;
    for (ZK_OFFSCREEN_NODE *n = head->next; n != head;) {
        ZK_OFFSCREEN_NODE *next = n->next;
        if (!pMoveOffscreenToDib(ppdev, n)) ok = FALSE;
        n = next;
    }
    return ok;
}

ULONG ulHeapUniq(ZK_PDEV *ppdev) { return ppdev->heapUniq; }

BOOL bCacheBitmapOffscreen(ZK_PDEV *ppdev, ZK_DSURF *pdsurf) {
    if (!ppdev->bEnabled || (ppdev->flags & ZK_FLAG_DDRAW_HEAP) || pdsurf->dt != 1) return FALSE;
    ZK_OFFSCREEN_NODE *n =
        pAllocOffscreenBitmap(ppdev, static_cast<LONG>(pdsurf->cx), static_cast<LONG>(pdsurf->cy), 0);
    if (!n) return FALSE;
    auto *psoDib = static_cast<SURFOBJ *>(pdsurf->p);
    SURFOBJ dst;
    vDescribeNode(n, &dst);
    RECTL rcl{0, 0, static_cast<LONG>(n->cx), static_cast<LONG>(n->cy)};
    vWaitIdle(ppdev);
    vCopyDibToVideo(ppdev, psoDib, &dst, &rcl);
    pdsurf->dt = 0;
    pdsurf->p = n;
    n->pdsurf = pdsurf;
    vDeleteDib(ppdev, psoDib);
    return TRUE;
}

extern "C" HBITMAP APIENTRY DrvCreateDeviceBitmap(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat) {
    auto *ppdev = reinterpret_cast<ZK_PDEV *>(dhpdev);
    const LONG cx = sizl.cx, cy = sizl.cy;
    if (!ppdev->bEnabled || iFormat != ppdev->iBitmapFormat || ppdev->bOpenGlActive ||
        (ppdev->flags & ZK_FLAG_DDRAW_HEAP))
        return nullptr;
    // Tiny bitmaps are drawn as fast by the engine; near-screen-sized ones would leave no room
    // for anything else unless the DMA buffer carries the copies out.
    if (cx <= 0 || cy <= 0 || (cx <= 8 && cy <= 8)) return nullptr;
    const LONG cxScreen = static_cast<LONG>(ppdev->cxScreen), cyScreen = static_cast<LONG>(ppdev->cyScreen);
    if (!ppdev->pDmaBuffer && cx >= cxScreen - 32 && cy >= cyScreen - 32) return nullptr;
    if (cx > cxScreen || cy > cyScreen) return nullptr;
    ZK_OFFSCREEN_NODE *n = pAllocOffscreenBitmap(ppdev, cx, cy, 0);
    if (!n) return nullptr;
    // Zeroed: the blit code's use count and heap stamp are read before anything else writes them.
    auto *pdsurf = static_cast<ZK_DSURF *>(EngAllocMem(FL_ZERO_MEMORY, sizeof(ZK_DSURF), ZK_POOL_TAG));
    HBITMAP hbmp = pdsurf ? EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(pdsurf), sizl, iFormat) : nullptr;
    const FLONG hooks = (ppdev->flHooks & ~HOOK_SYNCHRONIZE) | HOOK_SYNCHRONIZEACCESS;
    if (!hbmp || !EngAssociateSurface(reinterpret_cast<HSURF>(hbmp), ppdev->hdevEng, hooks)) {
        if (hbmp) EngDeleteSurface(reinterpret_cast<HSURF>(hbmp));
        if (pdsurf) EngFreeMem(pdsurf);
        pFreeOffscreenBitmap(ppdev, n);
        return nullptr;
    }
    pdsurf->dt = 0;
    pdsurf->p = n;
    pdsurf->cx = static_cast<ULONG>(cx);
    pdsurf->cy = static_cast<ULONG>(cy);
    pdsurf->ppdev = ppdev;
    n->pdsurf = pdsurf;
    return hbmp;
}

extern "C" void APIENTRY DrvDeleteDeviceBitmap(DHSURF dhsurf) {
    auto *pdsurf = reinterpret_cast<ZK_DSURF *>(dhsurf);
    if (!pdsurf) return;
    ZK_PDEV *ppdev = pdsurf->ppdev;
    if (pdsurf->dt == 1) vDeleteDib(ppdev, static_cast<SURFOBJ *>(pdsurf->p));
    else pFreeOffscreenBitmap(ppdev, static_cast<ZK_OFFSCREEN_NODE *>(pdsurf->p));
    EngFreeMem(pdsurf);
}

BOOL bInitOffscreenHeap(ZK_PDEV *ppdev) {
    ppdev->pNodePools = nullptr;
    ppdev->pFreeNodes = nullptr;
    vInitListHead(&ppdev->nodeDiscardable, ZK_NODE_DISCARDABLE);
    vInitListHead(&ppdev->nodePermanent, ZK_NODE_PERMANENT);
    // The visible screen is the first block, at the start of video memory, over its real stride.
    ppdev->pnodeScreen = pAllocNodeMemory(ppdev, static_cast<LONG>(ppdev->cxScreen),
                                          static_cast<LONG>(ppdev->cyScreen), static_cast<ULONG>(ppdev->lDelta),
                                          ZK_ALLOC_PERMANENT);
    // The punt surfaces take their bits and stride from the drawing code before each use.
    const LONG kUnset = 0xBADF00D;
    ppdev->psoPunt = psoMakeSurface(ppdev, kUnset, reinterpret_cast<void *>(kUnset));
    ppdev->psoPunt2 = psoMakeSurface(ppdev, kUnset, reinterpret_cast<void *>(kUnset));
    ppdev->psoMemory = psoMakeSurface(ppdev, ppdev->lDelta, ppdev->frameBuffer);
    return ppdev->psoPunt && ppdev->psoPunt2 && ppdev->psoMemory && ppdev->pnodeScreen;
}

BOOL bAssertOffscreenHeap(ZK_PDEV *ppdev, BOOL bEnable) { return bEnable ? TRUE : bMoveAllOffscreenToDib(ppdev); }

void vDisableOffscreenHeap(ZK_PDEV *ppdev) {
    vResetOffscreenHeap(ppdev, FALSE);
    ppdev->flags &= ~ZK_FLAG_DDRAW_HEAP;
}

void vFreeOffscreenSurfaces(ZK_PDEV *ppdev) {
    vDeleteSurface(&ppdev->psoPunt);
    vDeleteSurface(&ppdev->psoPunt2);
    vDeleteSurface(&ppdev->psoMemory);
    for (void *pool = ppdev->pNodePools; pool;) {
        void *next = *static_cast<void **>(pool);
        EngFreeMem(pool);
        pool = next;
    }
    ppdev->pNodePools = nullptr;
    ppdev->pFreeNodes = nullptr;
    ppdev->pnodeScreen = nullptr;
    vInitListHead(&ppdev->nodeDiscardable, ZK_NODE_DISCARDABLE);
    vInitListHead(&ppdev->nodePermanent, ZK_NODE_PERMANENT);
    vHeapDestroy(&ppdev->pHeap);
    // The DMA buffer's heap is shared by every device and goes with the last one's surface; the
    // next surface enabled builds it again over the buffer it finds.
    if (g_zk.cLivePdevs <= 1) {
        vTexHeapDestroy();
        g_zk.bTexHeapReady = false;
    }
}
