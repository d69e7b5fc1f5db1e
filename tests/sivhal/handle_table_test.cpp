// Handle tables on the shared heap: growth, reuse, lookups that fail, the directory, walks.
#include "tests/sivhal/hal_fixture.h"

#include <vector>

namespace {

class HandleTables : public HalMachine {
protected:
    DWORD table = 0;
    void SetUp() override {
        HalMachine::SetUp();
        ASSERT_TRUE(Attach());
        ASSERT_TRUE(CreateHandleTable(64, 464, 64, &table));
    }
    DWORD Alloc() {
        DWORD h = 0;
        EXPECT_TRUE(AllocHandle(table, &h));
        return h;
    }
    DWORD *Item(DWORD h) { return static_cast<DWORD *>(LookupHandle(table, h)); }
};

TEST_F(HandleTables, FullTableGrowsAndKeepsItems) {
    EXPECT_EQ(table, 3u);   // after the context and texture tables
    for (DWORD i = 1; i <= 64; i++) {
        ASSERT_EQ(Alloc(), i);
        Item(i)[0] = 0xAB000000 | i;
        Item(i)[115] = i;   // last word of a 464-byte item
    }
    EXPECT_EQ(Alloc(), 65u);
    EXPECT_EQ(Shared().tableDir[table - 1].capacity, 128u);
    for (DWORD i = 1; i <= 64; i++) {
        ASSERT_EQ(Item(i)[0], 0xAB000000 | i);
        ASSERT_EQ(Item(i)[115], i);
    }
    EXPECT_EQ(static_cast<BYTE *>(LookupHandle(table, 2)) - static_cast<BYTE *>(LookupHandle(table, 1)), 464);
}

TEST_F(HandleTables, FreedHandleComesBackWithItsOldContents) {
    for (int i = 0; i < 5; i++)
        Alloc();
    Item(3)[1] = 0x5157;
    EXPECT_TRUE(FreeHandle(table, 3));
    EXPECT_EQ(Alloc(), 3u);
    EXPECT_EQ(Item(3)[1], 0x5157u);
    EXPECT_EQ(Alloc(), 6u);
}

TEST_F(HandleTables, BadHandlesAndTablesAreRefused) {
    Alloc();
    Alloc();
    EXPECT_TRUE(FreeHandle(table, 2));
    DWORD gone = 0;
    ASSERT_TRUE(CreateHandleTable(4, 8, 0, &gone));
    DWORD h;
    ASSERT_TRUE(AllocHandle(gone, &h));
    ASSERT_TRUE(DestroyHandleTable(gone));
    struct Case {
        DWORD table, handle;
    } cases[] = {
        {table, 0}, {table, 65}, {table, 0xFFFFFFFF}, {table, 2},   // free handle
        {0, 1}, {5, 1}, {1000, 1}, {gone, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(LookupHandle(c.table, c.handle), nullptr) << c.table << "/" << c.handle;
        EXPECT_FALSE(FreeHandle(c.table, c.handle)) << c.table << "/" << c.handle;
    }
    EXPECT_FALSE(AllocHandle(gone, &h));
    EXPECT_FALSE(DestroyHandleTable(gone));
    EXPECT_NE(LookupHandle(table, 1), nullptr);
}

TEST_F(HandleTables, PoolWithoutGrowthStopsWhenFull) {
    DWORD fixed;
    ASSERT_TRUE(CreateHandleTable(2, 3, 0, &fixed));
    EXPECT_EQ(Shared().tableDir[fixed - 1].itemSize, 8u);   // rounded up to 8
    DWORD h;
    EXPECT_TRUE(AllocHandle(fixed, &h));
    EXPECT_TRUE(AllocHandle(fixed, &h));
    EXPECT_FALSE(AllocHandle(fixed, &h));
}

TEST_F(HandleTables, DirectoryGrowsByFourAndReusesFreedRecords) {
    DWORD before = Alloc();
    Item(before)[0] = 0xD1;
    DWORD id4, id5;
    ASSERT_TRUE(CreateHandleTable(1, 8, 1, &id4));
    EXPECT_EQ(id4, 4u);
    EXPECT_EQ(Shared().tableDirCapacity, 4u);
    ASSERT_TRUE(CreateHandleTable(1, 8, 1, &id5));
    EXPECT_EQ(id5, 5u);
    EXPECT_EQ(Shared().tableDirCapacity, 8u);
    ASSERT_NE(Item(before), nullptr);   // tables made before the move keep their items
    EXPECT_EQ(Item(before)[0], 0xD1u);
    ASSERT_TRUE(DestroyHandleTable(4));
    DWORD again;
    ASSERT_TRUE(CreateHandleTable(1, 8, 1, &again));
    EXPECT_EQ(again, 4u);
}

std::vector<DWORD> g_walk;
DWORD Visit(void *item, DWORD handle, DWORD stopAt) {
    g_walk.push_back(handle);
    EXPECT_EQ(static_cast<DWORD *>(item)[0], handle * 10);
    if (handle == (stopAt & 0xFFFF))
        return stopAt >> 16;
    return (handle & 1) ? 1 : 2;   // both go on
}

TEST_F(HandleTables, WalkVisitsLiveHandlesInOrderAndObeysTheCallback) {
    for (int i = 0; i < 6; i++)
        Item(Alloc())[0] = 0;
    FreeHandle(table, 2);
    FreeHandle(table, 5);
    for (DWORD h : {1u, 3u, 4u, 6u})
        Item(h)[0] = h * 10;
    struct Case {
        DWORD userData;   // stop handle | result to return there << 16
        int result;
        std::vector<DWORD> visited;
    } cases[] = {
        {0, 1, {1, 3, 4, 6}},
        {3 | 0u << 16, 1, {1, 3}},   // 0: stop, success
        {3 | 3u << 16, 0, {1, 3}},   // anything but 0, 1, 2: stop, failure
        {4 | 0xFFu << 16, 0, {1, 3, 4}},
    };
    for (const Case &c : cases) {
        g_walk.clear();
        EXPECT_EQ(EnumHandles(table, Visit, c.userData), c.result);
        EXPECT_EQ(g_walk, c.visited);
    }
    EXPECT_FALSE(EnumHandles(table, nullptr, 0));
    EXPECT_FALSE(EnumHandles(99, Visit, 0));
}

// A growth whose second array cannot be had leaves the table as it was and frees the first.
TEST_F(HandleTables, FailedGrowthChangesNothing) {
    for (int i = 0; i < 64; i++)
        Item(Alloc())[0] = 0x77;
    int blocks = kivHeapLiveBlocks(Shared().sharedHeap);
    BYTE *first = static_cast<BYTE *>(LookupHandle(table, 1));
    for (unsigned n : {1u, 2u}) {
        kivFailHeapAllocAfter(n);
        DWORD h = 0;
        EXPECT_FALSE(AllocHandle(table, &h));
        kivFailHeapAllocAfter(0);
        EXPECT_EQ(Shared().tableDir[table - 1].capacity, 64u);
        EXPECT_EQ(LookupHandle(table, 1), first);
        EXPECT_EQ(kivHeapLiveBlocks(Shared().sharedHeap), blocks);
    }
    EXPECT_EQ(Alloc(), 65u);
}

}  // namespace
