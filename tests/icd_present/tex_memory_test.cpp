// The shared texture heap, placement, the Z-ordered upload, LRU eviction and the built-in
// textures.
#include <cstring>
#include <vector>
#include "tests/icd_core/icd_fixture.h"
#include "icd/hw/hw.h"
#include "icd/hw/tex_heap.h"
#include "icd/hw/tex_memory.h"

namespace {

// A hardware state with a heap of `bytes` in a mapping of its own and no device.
struct HeapState {
    std::vector<uint8_t> mapping;
    HwState hw{};
    explicit HeapState(uint32_t bytes) : mapping(bytes + sizeof(HwSharedHeader) + 4096) {
        uint8_t *view = mapping.data() + (4096 - reinterpret_cast<uintptr_t>(mapping.data()) % 4096);
        hw.sharedHeader = reinterpret_cast<HwSharedHeader *>(view);
        hw.sharedHeader->heapData = sizeof(HwSharedHeader);
        hw.sharedHeader->heapSize = bytes;
        hw.maxPciTexHeapSize = bytes;
        hw.sharedMutex = CreateMutexA(nullptr, FALSE, nullptr);
        hw.heapInfo = __glHwCreateHeapInfo(&hw);
    }
    ~HeapState() {
        __glHwFreeHeapInfo(&hw);
        CloseHandle(hw.sharedMutex);
    }
    HwSharedHeap &shared() { return *hw.heapInfo->shared; }
    HwHeapBlock *blockOf(uint32_t offset) {
        return reinterpret_cast<HwHeapBlock *>(hw.heapInfo->base + offset - sizeof(HwHeapBlock));
    }
};

TEST(TexHeap, BestFitSplitsMergesAndRefusesWhatItDidNotHandOut) {
    HeapState h(64 * 1024);
    ASSERT_NE(h.hw.heapInfo, nullptr);
    const uint32_t total = h.shared().freeBytes;
    const uint32_t a = __glHwHeapAlloc(&h.hw, 1000), b = __glHwHeapAlloc(&h.hw, 96), c = __glHwHeapAlloc(&h.hw, 5000);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    ASSERT_NE(c, 0u);
    for (uint32_t o : {a, b, c}) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(h.hw.heapInfo->base + o) % 128, 0u) << "data is 128-aligned";
        EXPECT_EQ(h.blockOf(o)->tag, kHwHeapLock);
    }
    EXPECT_EQ(h.blockOf(a)->size, 1120u) << "padded so the next data is aligned";
    EXPECT_EQ(h.blockOf(b)->size, 96u);
    EXPECT_EQ(h.shared().usedBytes, 1120u + 96u + 5088u);
    EXPECT_EQ(h.shared().freeBytes + h.shared().usedBytes + 32 * (h.shared().blocks - 1), total);

    // Freeing a and b (neighbours) leaves one free block of both sizes + 32.
    EXPECT_TRUE(__glHwHeapFree(&h.hw, a));
    EXPECT_TRUE(__glHwHeapFree(&h.hw, b));
    EXPECT_EQ(h.blockOf(a)->tag, kHwHeapFree);
    EXPECT_EQ(h.blockOf(a)->size, 1120u + 96u + 32u);
    EXPECT_FALSE(__glHwHeapFree(&h.hw, b)) << "swallowed by its neighbour";
    EXPECT_FALSE(__glHwHeapFree(&h.hw, a)) << "already free";
    EXPECT_FALSE(__glHwHeapFree(&h.hw, 0));
    EXPECT_FALSE(__glHwHeapFree(&h.hw, c + 128)) << "inside a block";

    // The freed hole is an exact fit for its size: taken whole, before the larger free tail.
    const uint32_t exact = __glHwHeapAlloc(&h.hw, 1248);
    EXPECT_EQ(exact, a);
    EXPECT_EQ(h.blockOf(exact)->size, 1248u);
    // Nothing larger than the heap; everything given back leaves one free block.
    EXPECT_EQ(__glHwHeapAlloc(&h.hw, 1u << 20), 0u);
    EXPECT_TRUE(__glHwHeapFree(&h.hw, exact));
    EXPECT_TRUE(__glHwHeapFree(&h.hw, c));
    EXPECT_EQ(h.shared().blocks, 1u);
    EXPECT_EQ(h.shared().freeBytes, total);
    EXPECT_EQ(h.shared().usedBytes, 0u);
}

// A second context joins the heap as it is instead of laying it out again over live blocks.
TEST(TexHeap, ASecondContextSharesTheHeapWithoutHandingOutTheSameBytes) {
    HeapState h(64 * 1024);
    const uint32_t first = __glHwHeapAlloc(&h.hw, 4096);
    ASSERT_NE(first, 0u);
    HwState other{};
    other.sharedHeader = h.hw.sharedHeader;
    other.maxPciTexHeapSize = h.hw.maxPciTexHeapSize;
    other.sharedMutex = h.hw.sharedMutex;
    ASSERT_NE(__glHwCreateHeapInfo(&other), nullptr);
    const uint32_t second = __glHwHeapAlloc(&other, 4096);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(h.blockOf(first)->tag, kHwHeapLock);
    EXPECT_TRUE(__glHwHeapFree(&h.hw, second)) << "either context frees what the other took";
    __glHwFreeHeapInfo(&other);
}

TEST(TexMemory, IntegerSquareRoots) {
    const struct {
        int32_t a, root;
    } cases[] = {{-5, 0}, {0, 0}, {1, 1}, {4, 2}, {8, 2}, {9, 3}, {16, 4}, {100, 10}, {1000, 31}, {65536, 256},
                 {87507, 296}};
    for (const auto &c : cases) EXPECT_EQ(__glHwIntSqrt(c.a), c.root) << c.a;
}

TEST(TexMemory, LevelsAreSquareAndZOrdered) {
    EXPECT_EQ(__glHwTexBytes(2, 2), 32u) << "a 1 x 1 level 0 takes a 4 x 4 block";
    EXPECT_EQ(__glHwTexBytes(3, 6), 10880u);
    EXPECT_EQ(__glHwSpread(0x5), 0x11u);
    EXPECT_EQ(__glHwSpread(0x8001), 0x40000001u);

    std::vector<uint16_t> memory(__glHwTexBytes(2, 3) / 2, 0);
    HwTexBlock b{};
    __glHwTexSize(&b, 2, 3);
    b.address = reinterpret_cast<uint8_t *>(memory.data());
    std::vector<uint16_t> level0(64);
    for (int i = 0; i < 64; ++i) level0[size_t(i)] = uint16_t(i);
    __glUploadTexLevelSwizzled(level0.data(), 0, &b, 8, 8);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x)
            EXPECT_EQ(memory[__glHwSpread(x) | __glHwSpread(y) << 1], y * 8 + x) << x << "," << y;
    // Level 1 (4 x 4 square) follows the 64 texels of level 0: a 2 x 1 image widened to 4 x 1 and
    // stretched down to fill the square.
    const uint16_t tiny[2] = {0xAAAA, 0xBBBB};
    __glUploadTexLevelSwizzled(tiny, 1, &b, 2, 1);
    const uint16_t *l1 = memory.data() + 64;
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(l1[__glHwSpread(x) | __glHwSpread(y) << 1], x < 2 ? 0xAAAA : 0xBBBB) << x << "," << y;
    // A tall 1 x 2 image becomes 1 x 4, then each texel repeats across.
    const uint16_t tall[2] = {1, 2};
    __glUploadTexLevelSwizzled(tall, 1, &b, 1, 2);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(l1[__glHwSpread(x) | __glHwSpread(y) << 1], y < 2 ? 1 : 2);
}

// With room for two copies, making a third resident evicts the least recently used one.
TEST(TexMemory, TheLeastRecentlyUsedCopyIsEvicted) {
    HeapState h(2048);
    HwTexBlock blocks[4]{};
    std::vector<uint16_t> texels(16, 0x1234);
    const HwTexLevelImage level{texels.data(), 4, 4};
    for (HwTexBlock &b : blocks) __glHwTexSize(&b, 2, 4);  // 16 x 16 down to 4 x 4: 672 bytes
    ASSERT_TRUE(__glHwMakeBlockResident(&h.hw, &blocks[0], &level, 1));
    ASSERT_TRUE(__glHwMakeBlockResident(&h.hw, &blocks[1], &level, 1));
    EXPECT_EQ(h.hw.lruHead, &blocks[0]);
    EXPECT_TRUE(__glHwMakeBlockResident(&h.hw, &blocks[0], &level, 1)) << "touched: now the most recent";
    EXPECT_EQ(h.hw.lruTail, &blocks[0]);
    ASSERT_TRUE(__glHwMakeBlockResident(&h.hw, &blocks[2], &level, 1));
    EXPECT_FALSE(blocks[1].flags & kHwTexResident) << "the least recently used went";
    EXPECT_EQ(blocks[1].size, 0u);
    EXPECT_TRUE(blocks[0].flags & kHwTexResident);
    EXPECT_EQ(blocks[2].object, kHwTexObjectHeap);
    HwTexBlock huge{};
    __glHwTexSize(&huge, 2, 9);
    EXPECT_FALSE(__glHwMakeBlockResident(&h.hw, &huge, &level, 1)) << "too large even for an empty heap";
    EXPECT_EQ(h.hw.lruHead, nullptr) << "everything was evicted trying";
    __glHwEvictAllTextures(&h.hw);
    EXPECT_EQ(h.shared().usedBytes, 0u);
}

// A copy the chip may still read moves to a retired copy before it is overwritten; a retired
// copy the chip is done with serves the next such write; with no room the copy stays put.
TEST(TexMemory, BusyCopiesAreClonedAndRetiredCopiesReused) {
    HeapState h(4096);
    HwTexBlock b{};
    __glHwTexSize(&b, 2, 4);
    std::vector<uint16_t> texels(16, 0x4321);
    const HwTexLevelImage level{texels.data(), 4, 4};
    h.hw.submissionCount = 5;
    ASSERT_TRUE(__glHwMakeBlockResident(&h.hw, &b, &level, 1));
    uint8_t *first = b.address;
    ASSERT_TRUE(__glHwTexCloneBusyBlock(&h.hw, &b));
    EXPECT_NE(b.address, first);
    EXPECT_EQ(std::memcmp(b.address, first, b.size), 0) << "the same bytes";
    ASSERT_NE(b.older, nullptr);
    EXPECT_EQ(b.older->address, first) << "the chip's copy is retired, not freed";
    EXPECT_TRUE(b.older->flags & kHwTexRetired);
    const uint32_t used = h.shared().usedBytes;

    b.stamp = h.hw.submissionCount;
    h.hw.submissionCount = 7;  // the retired copy is two submissions old
    b.stamp = 7;
    ASSERT_TRUE(__glHwTexCloneBusyBlock(&h.hw, &b));
    EXPECT_EQ(b.address, first) << "the retired copy was taken again";
    EXPECT_EQ(h.shared().usedBytes, used) << "nothing new was allocated";

    __glHwTexReleaseBlock(&h.hw, &b);
    EXPECT_EQ(b.flags, kHwTexFresh);
    EXPECT_EQ(b.older, nullptr);
    EXPECT_EQ(h.shared().usedBytes, 0u);

    // Room for one copy only: nothing to clone into, the copy stays where it is.
    HeapState small(1024);
    HwTexBlock c{};
    __glHwTexSize(&c, 2, 4);
    ASSERT_TRUE(__glHwMakeBlockResident(&small.hw, &c, &level, 1));
    uint8_t *only = c.address;
    EXPECT_FALSE(__glHwTexCloneBusyBlock(&small.hw, &c));
    EXPECT_EQ(c.address, only);
    EXPECT_EQ(c.older, nullptr);
    __glHwTexReleaseBlock(&small.hw, &c);
}

class BuiltInTextures : public CurrentContextTest {};

// Freeing a copy drawn in the current half finishes the chip first; one drawn two submissions
// ago is freed at once.
TEST_F(BuiltInTextures, ACopyTheChipMayReadIsFreedOnlyAfterTheChipIsDone) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    HwState &hw = ctx->hw;
    HwTexBlock b{};
    __glHwTexSize(&b, 2, 2);
    b.flags = kHwTexHeapOnly;
    ASSERT_TRUE(__glHwAllocTexBlock(&hw, &b, 32));
    b.stamp = hw.submissionCount;
    __glHwScreenBlit(1, 1, 0, 0, 0, 0, TRUE);  // something in the current half
    ASSERT_NE(hw.writeIndex, 0u);
    const uint32_t before = hw.submissionCount;
    __glHwFreeTexBlock(&hw, &b);
    EXPECT_GT(hw.submissionCount, before) << "the current half went to the chip first";
    EXPECT_EQ(hw.writeIndex, 0u);
    EXPECT_EQ(b.size, 0u);

    ASSERT_TRUE(__glHwAllocTexBlock(&hw, &b, 32));
    b.stamp = hw.submissionCount - 2;
    __glHwScreenBlit(1, 1, 0, 0, 0, 0, TRUE);
    const uint32_t now = hw.submissionCount;
    __glHwFreeTexBlock(&hw, &b);
    EXPECT_EQ(hw.submissionCount, now) << "freed at once";
    EXPECT_NE(hw.writeIndex, 0u);
    EXPECT_EQ(b.size, 0u);
}

TEST_F(BuiltInTextures, StartUpMakesThemInTheHeap) {
    openContext(kDoubleFormat);
    ASSERT_FALSE(HasFatalFailure());
    const HwState &hw = ctx->hw;
    ASSERT_NE(hw.defaultTexture, nullptr);
    ASSERT_NE(hw.pointTexture, nullptr);
    ASSERT_NE(hw.lineTexture, nullptr);
    EXPECT_EQ(hw.defaultTexture->object, kHwTexObjectHeap);
    EXPECT_EQ(hw.pointTexture->size, 10880u);
    const uint16_t *d = reinterpret_cast<const uint16_t *>(hw.defaultTexture->address);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(d[i], 0xFFFF);
    const uint16_t *line = reinterpret_cast<const uint16_t *>(hw.lineTexture->address);
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x)
            EXPECT_EQ(line[__glHwSpread(x) | __glHwSpread(y) << 1], y == 1 ? 0xFFFF : 0x0FFF);
    const uint16_t *dot = reinterpret_cast<const uint16_t *>(hw.pointTexture->address);
    EXPECT_EQ(dot[__glHwSpread(32) | __glHwSpread(32) << 1] >> 12, 15) << "solid at the centre";
    EXPECT_EQ(dot[0] >> 12, 0) << "clear at the corner";
    const uint32_t used = hw.heapInfo->shared->usedBytes;
    EXPECT_GE(used, 32u + 10880u + 32u);
}

}  // namespace
