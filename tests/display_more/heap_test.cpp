// The block heap on its own: first fit, splitting, coalescing, and frees it must ignore.
#include <gtest/gtest.h>

#include <vector>

#include "display/heap.h"
#include "platform/ntgdi/ntgdi.h"

namespace {

constexpr ULONG kStart = 0x100000, kEnd = 0x100000 + 0x1000 + 7;   // end is rounded down to 16

struct Heap {
    void *p = nullptr;
    Heap() { vHeapReset(kStart, kEnd, &p); }
    ~Heap() { vHeapDestroy(&p); }
    ULONG alloc(ULONG n) { return ulHeapAlloc(n, p); }
    void free(ULONG a) { vHeapFree(a, p); }
    // The free blocks as (address, bytes), in list order.
    std::vector<std::pair<ULONG, ULONG>> freeList() const {
        std::vector<std::pair<ULONG, ULONG>> v;
        auto *head = static_cast<ZK_HEAP_BLOCK *>(p);
        for (ZK_HEAP_BLOCK *b = head->nextFree; reinterpret_cast<uintptr_t>(b) != 1; b = b->nextFree)
            v.push_back({b->address, b->cUnits * 16});
        return v;
    }
};

using FreeList = std::vector<std::pair<ULONG, ULONG>>;

}  // namespace

TEST(Heap, FirstFitSplitsAndRoundsToUnits) {
    Heap h;
    EXPECT_EQ(h.freeList(), (FreeList{{kStart, 0x1000}}));
    EXPECT_EQ(h.alloc(0), 0u);
    EXPECT_EQ(h.alloc(1), kStart);
    EXPECT_EQ(h.alloc(17), kStart + 16);
    EXPECT_EQ(h.alloc(0x1000), 0u);   // bigger than what is left
    const ULONG c = h.alloc(0x1000 - 48);   // exactly the rest
    EXPECT_EQ(c, kStart + 48);
    EXPECT_TRUE(h.freeList().empty());
    EXPECT_EQ(h.alloc(16), 0u);
    // A hole at the bottom is taken first again.
    h.free(kStart);
    EXPECT_EQ(h.alloc(16), kStart);
}

TEST(Heap, NeighboursFreedInEitherOrderBecomeOneBlock) {
    for (int order = 0; order < 2; ++order) {
        Heap h;
        const ULONG a = h.alloc(32), b = h.alloc(64), c = h.alloc(32);
        ASSERT_EQ(b, a + 32);
        ASSERT_EQ(c, b + 64);
        if (order == 0) { h.free(a); h.free(b); }
        else { h.free(b); h.free(a); }
        EXPECT_EQ(h.freeList(), (FreeList{{a, 96}, {c + 32, 0x1000 - 128}})) << "order " << order;
        // With c gone too the whole heap is one free block again.
        h.free(c);
        EXPECT_EQ(h.freeList(), (FreeList{{kStart, 0x1000}})) << "order " << order;
        EXPECT_EQ(h.alloc(0x1000), kStart);
    }
}

TEST(Heap, FreesOfAddressesNotHandedOutChangeNothing) {
    Heap h;
    const ULONG a = h.alloc(32), b = h.alloc(32);
    h.free(a);
    const FreeList before = h.freeList();
    for (ULONG bogus : {a, a + 16, kStart - 16, kEnd + 64, ULONG{0}}) {   // again, inside, outside
        h.free(bogus);
        EXPECT_EQ(h.freeList(), before) << std::hex << bogus;
    }
    // The block freed twice is handed out once only.
    EXPECT_EQ(h.alloc(32), a);
    EXPECT_NE(h.alloc(32), a);
    (void)b;
}

TEST(Heap, EveryBlockRecordIsGivenBack) {
    const size_t before = kivEngLiveAllocations(ZK_HEAP_POOL_TAG);
    {
        Heap h;
        for (int i = 0; i < 10; ++i) h.alloc(48);
        h.free(kStart + 48);
        vHeapReset(kStart, kEnd, &h.p);   // a reset drops the old blocks
        h.alloc(16);
    }
    EXPECT_EQ(kivEngLiveAllocations(ZK_HEAP_POOL_TAG), before);
}
