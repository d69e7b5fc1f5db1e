// The block heaps behind off-screen memory and the DMA buffer.
#include "display/heap.h"

#include <initializer_list>

namespace {

constexpr uintptr_t kFreeFlag = 1;
ZK_HEAP_BLOCK *const kEndOfFree = reinterpret_cast<ZK_HEAP_BLOCK *>(uintptr_t{1});

bool bIsFree(const ZK_HEAP_BLOCK *b) { return b->prevBlock & kFreeFlag; }
ZK_HEAP_BLOCK *pPrev(const ZK_HEAP_BLOCK *b) { return reinterpret_cast<ZK_HEAP_BLOCK *>(b->prevBlock & ~kFreeFlag); }
void vSetPrev(ZK_HEAP_BLOCK *b, ZK_HEAP_BLOCK *prev) {
    b->prevBlock = reinterpret_cast<uintptr_t>(prev) | (b->prevBlock & kFreeFlag);
}

ZK_HEAP_BLOCK *pNewBlock(uint32_t address, uint32_t cUnits, bool bFree) {
    auto *b = static_cast<ZK_HEAP_BLOCK *>(EngAllocMem(FL_ZERO_MEMORY, sizeof(ZK_HEAP_BLOCK), ZK_HEAP_POOL_TAG));
    if (!b) return nullptr;
    b->address = address;
    b->cUnits = cUnits;
    b->prevBlock = bFree ? kFreeFlag : 0;
    b->nextFree = kEndOfFree;
    return b;
}

// The driver-wide heap over the DMA buffer.
void *g_pTexHeap;

}  // namespace

void vHeapDestroy(void **ppHeap) {
    auto *head = static_cast<ZK_HEAP_BLOCK *>(*ppHeap);
    *ppHeap = nullptr;
    if (!head) return;
    ZK_HEAP_BLOCK *b = head->nextBlock;
    while (b && b != head) {
        ZK_HEAP_BLOCK *next = b->nextBlock;
        EngFreeMem(b);
        b = next;
    }
    EngFreeMem(head);
}

void vHeapReset(ULONG start, ULONG end, void **ppHeap) {
    vHeapDestroy(ppHeap);
    end &= ~15u;
    if (end < start) end = start;
    ZK_HEAP_BLOCK *head = pNewBlock(start, 0, true);
    ZK_HEAP_BLOCK *first = pNewBlock(start, 0, false);
    ZK_HEAP_BLOCK *freeBlock = pNewBlock(start, (end - start) / 16, true);
    ZK_HEAP_BLOCK *last = pNewBlock(end, 0, false);
    if (!head || !first || !freeBlock || !last) {
        for (ZK_HEAP_BLOCK *b : {head, first, freeBlock, last})
            if (b) EngFreeMem(b);
        return;
    }
    ZK_HEAP_BLOCK *ring[4] = {head, first, freeBlock, last};
    for (int i = 0; i < 4; ++i) {
        ring[i]->nextBlock = ring[(i + 1) % 4];
        vSetPrev(ring[i], ring[(i + 3) % 4]);
    }
    head->nextFree = freeBlock;
    *ppHeap = head;
}

ULONG ulHeapAlloc(ULONG cjSize, void *pHeap) {
    auto *head = static_cast<ZK_HEAP_BLOCK *>(pHeap);
    const uint64_t units64 = (uint64_t{cjSize} + 15) / 16;
    if (!head || units64 == 0) return 0;
    const uint32_t units = static_cast<uint32_t>(units64);
    for (ZK_HEAP_BLOCK *p = head; p->nextFree != kEndOfFree; p = p->nextFree) {
        ZK_HEAP_BLOCK *b = p->nextFree;
        if (b->cUnits < units) continue;
        if (b->cUnits == units) {
            p->nextFree = b->nextFree;
        } else {
            // The rest stays free in a block of its own, in this block's place in the free list.
            ZK_HEAP_BLOCK *rest = pNewBlock(b->address + units * 16, b->cUnits - units, true);
            if (!rest) return 0;
            rest->nextFree = b->nextFree;
            rest->nextBlock = b->nextBlock;
            vSetPrev(b->nextBlock, rest);
            vSetPrev(rest, b);
            b->nextBlock = rest;
            p->nextFree = rest;
        }
        b->cUnits = units;
        b->prevBlock &= ~kFreeFlag;
        b->nextFree = kEndOfFree;
        return b->address;
    }
    return 0;
}

void vHeapFree(ULONG address, void *pHeap) {
    auto *head = static_cast<ZK_HEAP_BLOCK *>(pHeap);
    if (!head) return;
    // Only a block the heap gave out: the zero-size sentinels share addresses with real blocks,
    // and a block already free is left alone (freeing it again would put it in the free list twice).
    ZK_HEAP_BLOCK *b = head->nextBlock;
    for (; b != head; b = b->nextBlock) {
        if (b->address > address) return;
        if (b->address == address && b->cUnits && !bIsFree(b)) break;
    }
    if (b == head) return;
    // The last free block below it (the head when there is none) and the first free block past it.
    ZK_HEAP_BLOCK *fp = head;
    while (fp->nextFree != kEndOfFree && fp->nextFree->address < b->address) fp = fp->nextFree;
    ZK_HEAP_BLOCK *after = fp->nextFree;
    ZK_HEAP_BLOCK *next = b->nextBlock;
    if (bIsFree(next)) {
        after = next->nextFree;
        b->nextBlock = next->nextBlock;
        vSetPrev(next->nextBlock, b);
        EngFreeMem(next);
    }
    ZK_HEAP_BLOCK *prev = pPrev(b);
    if (bIsFree(prev) && prev != head) {
        prev->nextFree = after;
        prev->nextBlock = b->nextBlock;
        vSetPrev(b->nextBlock, prev);
        EngFreeMem(b);
        b = prev;
    } else {
        b->prevBlock |= kFreeFlag;
        b->nextFree = after;
        fp->nextFree = b;
    }
    b->cUnits = (b->nextBlock->address - b->address) / 16;
}

void vTexHeapReset(ULONG start, ULONG end) { vHeapReset(start, end, &g_pTexHeap); }
ULONG ulTexHeapAlloc(ULONG cjSize) { return ulHeapAlloc(cjSize, g_pTexHeap); }
void vTexHeapFree(ULONG address) { vHeapFree(address, g_pTexHeap); }
void vTexHeapDestroy() { vHeapDestroy(&g_pTexHeap); }
