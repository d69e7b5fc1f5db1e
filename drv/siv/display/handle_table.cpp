// Handle tables: growable pools of fixed-size items on the shared heap, so that a handle given
// to Direct3D in one process names the same record in every other one. A handle is the 1-based
// index of an item; a table id is the 1-based index of the table's directory record.
#include "drv/siv/display/sivhal.h"

#include <cstring>

namespace {

constexpr DWORD kDirectoryStep = 4;

HandleTable *Table(DWORD tableId) {
    HalShared &s = Shared();
    if (!s.tableDir || tableId == 0 || tableId > s.tableDirCapacity)
        return nullptr;
    HandleTable *t = &s.tableDir[tableId - 1];
    return t->live ? t : nullptr;
}

bool HandleIsLive(const HandleTable *t, DWORD handle) {
    return handle >= 1 && handle <= t->capacity && t->inUse[handle - 1] != 0;
}

// a * b, or 0 when it does not fit in 32 bits.
DWORD Bytes(DWORD a, DWORD b) {
    uint64_t r = static_cast<uint64_t>(a) * b;
    return r > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(r);
}

// The item block and the in-use flags of `count` items of `itemSize` bytes; false (nothing
// allocated) when either size overflows or the heap refuses.
bool AllocTableBlocks(DWORD count, DWORD itemSize, uint8_t **items, DWORD **flags) {
    const DWORD itemBytes = Bytes(count, itemSize), flagBytes = Bytes(count, 4);
    if (count && (!itemBytes || !flagBytes))
        return false;
    *items = static_cast<uint8_t *>(SharedAlloc(itemBytes));
    if (!*items)
        return false;
    *flags = static_cast<DWORD *>(SharedAlloc(flagBytes));
    if (!*flags) {
        SharedFree(*items);
        return false;
    }
    return true;
}

}  // namespace

int CreateTableDirectory() {
    HalShared &s = Shared();
    auto *dir = static_cast<HandleTable *>(SharedAlloc(kDirectoryStep * sizeof(HandleTable)));
    if (!dir)
        return 0;
    s.tableDir = dir;
    s.tableDirCapacity = kDirectoryStep;
    return 1;
}

int CreateHandleTable(DWORD initialCount, DWORD itemSize, DWORD growStep, DWORD *tableId) {
    HalShared &s = Shared();
    if (!s.tableDir || !tableId || itemSize == 0 || itemSize > 0x7FFFFFF8u)
        return 0;
    DWORD index = 0;
    while (index < s.tableDirCapacity && s.tableDir[index].live)
        index++;
    if (index == s.tableDirCapacity) {
        DWORD n = s.tableDirCapacity;
        auto *dir = static_cast<HandleTable *>(SharedAlloc((n + kDirectoryStep) * sizeof(HandleTable)));
        if (!dir)
            return 0;
        memcpy(dir, s.tableDir, n * sizeof(HandleTable));
        SharedFree(s.tableDir);
        s.tableDir = dir;
        s.tableDirCapacity = n + kDirectoryStep;
    }
    DWORD rounded = (itemSize + 7) & ~7u;
    uint8_t *items = nullptr;
    DWORD *flags = nullptr;
    if (!AllocTableBlocks(initialCount, rounded, &items, &flags))
        return 0;
    HandleTable &t = s.tableDir[index];
    t.items = items;
    t.inUse = flags;
    t.itemSize = rounded;
    t.growStep = growStep;
    t.capacity = initialCount;
    t.live = 1;
    *tableId = index + 1;
    return 1;
}

int DestroyHandleTable(DWORD tableId) {
    HandleTable *t = Table(tableId);
    if (!t)
        return 0;
    SharedFree(t->inUse);
    SharedFree(t->items);
    *t = HandleTable{};
    return 1;
}

int AllocHandle(DWORD tableId, DWORD *handle) {
    HandleTable *t = Table(tableId);
    if (!t || !handle)
        return 0;
    DWORD i = 0;
    while (i < t->capacity && t->inUse[i])
        i++;
    if (i == t->capacity) {
        if (t->growStep == 0)
            return 0;
        DWORD count = t->capacity + t->growStep;
        uint8_t *items = nullptr;
        DWORD *flags = nullptr;
        if (count < t->capacity || !AllocTableBlocks(count, t->itemSize, &items, &flags))
            return 0;
        memcpy(flags, t->inUse, t->capacity * 4);
        memcpy(items, t->items, t->capacity * t->itemSize);
        SharedFree(t->inUse);
        SharedFree(t->items);
        t->items = items;
        t->inUse = flags;
        i = t->capacity;
        t->capacity = count;
    }
    t->inUse[i] = 1;
    *handle = i + 1;
    return 1;
}

void *LookupHandle(DWORD tableId, DWORD handle) {
    HandleTable *t = Table(tableId);
    if (!t || !HandleIsLive(t, handle))
        return nullptr;
    return t->items + (handle - 1) * t->itemSize;
}

int FreeHandle(DWORD tableId, DWORD handle) {
    HandleTable *t = Table(tableId);
    if (!t || !HandleIsLive(t, handle))
        return 0;
    t->inUse[handle - 1] = 0;
    return 1;
}

int EnumHandles(DWORD tableId, HandleEnumProc callback, DWORD userData) {
    HandleTable *t = Table(tableId);
    if (!t || !callback)
        return 0;
    for (DWORD h = 1; h <= t->capacity; h++) {
        // The callback may free handles or grow the table: re-read the table each time.
        t = Table(tableId);
        if (!t || h > t->capacity)
            break;
        if (!t->inUse[h - 1])
            continue;
        DWORD r = callback(t->items + (h - 1) * t->itemSize, h, userData);
        if (r == 0)
            return 1;
        if (r != 1 && r != 2)
            return 0;
    }
    return 1;
}
