// The shared texture heap: best-fit allocation of 128-byte aligned blocks with 32-byte headers,
// merging of free neighbours, and the window limit.
#include "icd/hw/tex_heap.h"

#include <cstdlib>
#include <cstring>
#include "icd/hw/hw.h"

namespace {

constexpr uint32_t kWindow = 1u << 20;

// Holds the shared mutex for its scope; a wait that fails leaves `held` false.
struct SharedLock {
    HwState *hw;
    bool held;
    explicit SharedLock(HwState *h) : hw(h) {
        const DWORD w = WaitForSingleObject(hw->sharedMutex, INFINITE);
        held = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }
    ~SharedLock() {
        if (held) ReleaseMutex(hw->sharedMutex);
    }
};

HwHeapBlock *header(HwHeapInfo *h, uint32_t at) { return reinterpret_cast<HwHeapBlock *>(h->base + at); }
uint32_t headerAt(uint32_t dataOffset) { return dataOffset - sizeof(HwHeapBlock); }
uint32_t nextHeader(const HwHeapBlock *b) { return b->offset + b->size; }

// Data sizes keep the next block's data 128-aligned: size + 32 is a multiple of 128.
uint32_t tileSize(uint32_t n) {
    const uint32_t whole = (n + uint32_t(sizeof(HwHeapBlock)) + kHwHeapAlign - 1) & ~(kHwHeapAlign - 1);
    return whole - uint32_t(sizeof(HwHeapBlock));
}

void raiseWindow(HwSharedHeap *s, uint32_t end) {
    if (s->windowLimit >= end) return;
    const uint32_t size = s->end;
    s->windowLimit = end + kWindow < size ? end + kWindow : size;
}

}  // namespace

HwHeapInfo *__glHwCreateHeapInfo(HwState *hw) {
    if (hw->sharedHeader == nullptr) return nullptr;
    HwHeapInfo *h = static_cast<HwHeapInfo *>(std::calloc(1, sizeof(HwHeapInfo)));
    if (h == nullptr) return nullptr;
    h->base = reinterpret_cast<uint8_t *>(hw->sharedHeader) + hw->sharedHeader->heapData;
    h->shared = reinterpret_cast<HwSharedHeap *>(hw->sharedHeader->reserved);
    hw->heapInfo = h;
    __glHwHeapInit(hw);
    return h;
}

void __glHwFreeHeapInfo(HwState *hw) {
    std::free(hw->heapInfo);
    hw->heapInfo = nullptr;
}

// Only the first context lays the heap out; later ones, in any process, join the heap as it is.
BOOL __glHwHeapInit(HwState *hw) {
    HwHeapInfo *h = hw->heapInfo;
    if (h == nullptr || hw->maxPciTexHeapSize == 0) return FALSE;
    SharedLock lock(hw);
    if (!lock.held) return FALSE;
    HwSharedHeap *s = h->shared;
    if (s->ready == kHwHeapReady) return TRUE;
    const uintptr_t base = reinterpret_cast<uintptr_t>(h->base);
    // The first data starts at the first 128-aligned address at least a header in.
    const uint32_t firstData =
        uint32_t(((base + sizeof(HwHeapBlock) + kHwHeapAlign - 1) & ~uintptr_t(kHwHeapAlign - 1)) - base);
    const uint32_t end = hw->maxPciTexHeapSize;
    if (end < firstData + kHwHeapAlign) return FALSE;
    const uint32_t size = ((end - firstData + uint32_t(sizeof(HwHeapBlock))) & ~(kHwHeapAlign - 1)) -
                          uint32_t(sizeof(HwHeapBlock));
    HwHeapBlock *b = header(h, headerAt(firstData));
    *b = HwHeapBlock{kHwHeapFree, size, firstData, 0, {0, 0, 0, 0}};
    s->firstHeader = headerAt(firstData);
    s->end = firstData + size;
    s->freeBytes = size;
    s->usedBytes = 0;
    s->windowLimit = end < kWindow ? end : kWindow;
    s->blocks = 1;
    s->ready = kHwHeapReady;
    return TRUE;
}

uint32_t __glHwHeapAlloc(HwState *hw, uint32_t bytes) {
    HwHeapInfo *h = hw->heapInfo;
    if (h == nullptr || bytes == 0 || bytes > 0x7FFFFFFFu) return 0;
    HwSharedHeap *s = h->shared;
    SharedLock lock(hw);
    if (!lock.held || s->ready != kHwHeapReady || s->freeBytes < bytes) return 0;
    const uint32_t need = tileSize(bytes);
    HwHeapBlock *best = nullptr;
    for (uint32_t at = s->firstHeader; at < s->end;) {
        HwHeapBlock *b = header(h, at);
        if (b->tag == kHwHeapFree && b->size >= need && (best == nullptr || b->size < best->size)) {
            best = b;
            if (b->size == need) break;  // an exact fit ends the search
        }
        at = nextHeader(b);
    }
    if (best == nullptr) return 0;
    const uint32_t remainder = best->size - need;
    best->tag = kHwHeapLock;
    if (remainder >= kHwHeapAlign) {
        best->size = need;
        HwHeapBlock *rest = header(h, nextHeader(best));
        *rest = HwHeapBlock{kHwHeapFree, remainder - uint32_t(sizeof(HwHeapBlock)), nextHeader(best) + 32, 0, {0, 0, 0, 0}};
        s->freeBytes -= uint32_t(sizeof(HwHeapBlock));
        ++s->blocks;
    }
    s->freeBytes -= best->size;
    s->usedBytes += best->size;
    raiseWindow(s, nextHeader(best));
    return best->offset;
}

BOOL __glHwHeapFree(HwState *hw, uint32_t offset) {
    HwHeapInfo *h = hw->heapInfo;
    if (h == nullptr || offset == 0) return FALSE;
    HwSharedHeap *s = h->shared;
    SharedLock lock(hw);
    if (!lock.held || s->ready != kHwHeapReady) return FALSE;
    // Only an allocated block's own offset is accepted: anything else is found by the walk or not.
    HwHeapBlock *prev = nullptr, *block = nullptr;
    uint32_t highestUsedEnd = 0;
    for (uint32_t at = s->firstHeader; at < s->end;) {
        HwHeapBlock *b = header(h, at);
        if (b->offset == offset) {
            block = b;
            break;
        }
        prev = b;
        at = nextHeader(b);
    }
    if (block == nullptr || block->tag != kHwHeapLock) return FALSE;
    block->tag = kHwHeapFree;
    s->usedBytes -= block->size;
    s->freeBytes += block->size;
    // The neighbour after, then the one before.
    const uint32_t after = nextHeader(block);
    if (after < s->end && header(h, after)->tag == kHwHeapFree) {
        HwHeapBlock *n = header(h, after);
        block->size += n->size + uint32_t(sizeof(HwHeapBlock));
        s->freeBytes += uint32_t(sizeof(HwHeapBlock));
        std::memset(n, 0, sizeof *n);
        --s->blocks;
    }
    if (prev != nullptr && prev->tag == kHwHeapFree) {
        prev->size += block->size + uint32_t(sizeof(HwHeapBlock));
        s->freeBytes += uint32_t(sizeof(HwHeapBlock));
        std::memset(block, 0, sizeof *block);
        --s->blocks;
    }
    for (uint32_t at = s->firstHeader; at < s->end;) {
        const HwHeapBlock *b = header(h, at);
        if (b->tag == kHwHeapLock) highestUsedEnd = nextHeader(b);
        at = nextHeader(b);
    }
    if (highestUsedEnd == 0) {
        if (s->windowLimit > kWindow) s->windowLimit = kWindow;
    } else if (highestUsedEnd + kWindow + 1 < s->windowLimit) {
        s->windowLimit = highestUsedEnd + kWindow + 1;
    }
    return TRUE;
}
