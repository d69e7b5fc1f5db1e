// Video-memory heaps: first fit over an address-ordered free list, in 16-byte units, with
// coalescing on free. A heap is the pointer to its head block.
#pragma once
#include "display/driver.h"

// One block of a heap (20 bytes). Bit 0 of prevBlock set means this block is free; the free
// list ends with the value 1.
struct ZK_HEAP_BLOCK {
    uintptr_t prevBlock;
    ZK_HEAP_BLOCK *nextBlock;
    ZK_HEAP_BLOCK *nextFree;
    uint32_t cUnits;
    uint32_t address;
};
static_assert(sizeof(ZK_HEAP_BLOCK) == 20);

#define ZK_HEAP_POOL_TAG 0x6444434Du   // 'M','C','D','d'

void vHeapReset(ULONG start, ULONG end, void **ppHeap);
ULONG ulHeapAlloc(ULONG cjSize, void *pHeap);
void vHeapFree(ULONG address, void *pHeap);
void vHeapDestroy(void **ppHeap);

// The driver-wide heap over the DMA buffer.
void vTexHeapReset(ULONG start, ULONG end);
ULONG ulTexHeapAlloc(ULONG cjSize);
void vTexHeapFree(ULONG address);
void vTexHeapDestroy();

// Off-screen nodes and device bitmaps.
ZK_OFFSCREEN_NODE *pAllocNode(ZK_PDEV *ppdev);
void vFreeNode(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *pnode);
ZK_OFFSCREEN_NODE *pAllocOffscreenBitmap(ZK_PDEV *ppdev, LONG cx, LONG cy, FLONG fl);
ZK_OFFSCREEN_NODE *pFreeOffscreenBitmap(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *pnode);
ZK_OFFSCREEN_NODE *pMoveOffscreenToDib(ZK_PDEV *ppdev, ZK_OFFSCREEN_NODE *pnode);
BOOL bMoveAllOffscreenToDib(ZK_PDEV *ppdev);
#define ZK_ALLOC_PERMANENT 0x2u
