// The texture heap in the named shared mapping: system memory that every ICD process maps and
// the chip reads through memory object 0x1005. Its state lives in the mapping itself (in the
// header's spare bytes and in the block headers), as offsets, so every context of every process
// sees one heap whatever address its view has; every operation holds the shared mutex.
#pragma once
#include <cstddef>
#include <cstdint>
#include "platform/win32/win32.h"
#include "icd/hw/hw_state.h"

// A block header, directly before its data. Blocks tile the heap in address order: the next
// header follows the data, so neighbours are found by walking.
struct HwHeapBlock {
    uint32_t tag;         // kHwHeapFree or kHwHeapLock
    uint32_t size;        // data bytes
    uint32_t offset;      // data offset (what allocation hands out)
    uint32_t spare;
    uint32_t links[4];    // unused: the heap is walked, never followed through pointers
};
static_assert(sizeof(HwHeapBlock) == 32);
constexpr uint32_t kHwHeapFree = 0x45455246;  // "FREE"
constexpr uint32_t kHwHeapLock = 0x4B434F4C;  // "LOCK"
constexpr uint32_t kHwHeapAlign = 128;

// The heap's shared state, kept in the spare bytes of the mapping's header.
struct HwSharedHeap {
    uint32_t ready;        // kHwHeapReady once the first context has laid the heap out
    uint32_t firstHeader;  // offset of the first block header from the heap's base
    uint32_t end;          // offset of the heap's end from the base
    uint32_t freeBytes, usedBytes;
    uint32_t windowLimit;  // highest used end + 1 MB, at most the heap size (nothing reads it)
    uint32_t blocks;
};
static_assert(sizeof(HwSharedHeap) <= sizeof(HwSharedHeader::reserved));
constexpr uint32_t kHwHeapReady = 0x50414548;  // "HEAP"

// A context's view of the heap. Offsets count from `base`, the heap's first byte (view + 64),
// which is also the base of memory object 0x1005: the chip and the CPU read the same bytes.
struct HwHeapInfo {
    uint32_t reserved;
    uint8_t *base;
    HwSharedHeap *shared;
};

HwHeapInfo *__glHwCreateHeapInfo(HwState *hw);
// Lays the heap out when no context has yet (under the shared mutex).
BOOL __glHwHeapInit(HwState *hw);
void __glHwFreeHeapInfo(HwState *hw);
// Best fit; the data offset, or 0 when nothing fits.
uint32_t __glHwHeapAlloc(HwState *hw, uint32_t bytes);
// FALSE for 0 or an offset that is not an allocated block's.
BOOL __glHwHeapFree(HwState *hw, uint32_t offset);
inline uint8_t *__glHwHeapAddress(const HwState *hw, uint32_t offset) { return hw->heapInfo->base + offset; }
