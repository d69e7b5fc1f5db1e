// Windows 9x services that the card's DirectDraw HAL uses: heaps (private and shared), the
// string helpers, the multimedia timer and the shared data section of a module.
//
// Shared heaps live in one arena of MAP_SHARED memory, mapped once per machine at a fixed
// address before any process is forked, so a block allocated by one process is seen at the
// same address by every other one, as in the 9x shared arena. The arena is guarded by a spin
// lock inside it, so it is safe across processes as well as threads, and it ends against an
// inaccessible page. Its blocks are not poisoned for the sanitizer: its view is each process's
// own, and a block one process frees another may hand out again. Private heaps are the C
// library's blocks, which the sanitizer watches.
#include "platform/win32/win32.h"
#include "platform/win32/guarded_pages.h"
#include "platform/siv/siv_chip.h"

#include <sys/mman.h>
#include <unistd.h>
#include <time.h>
#include <strings.h>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <new>
#include <set>

namespace {

constexpr uint32_t kHeapMagic = 0x50414548;   // "HEAP"
constexpr uint32_t kArenaBytes = 32u << 20;
constexpr uint32_t kAlign = 16;

// Header of every block, shared or private. Blocks of a heap are chained so that the heap can
// count and free them.
struct Chunk {
    uint32_t size;        // bytes including this header (arena chunks only)
    uint32_t inUse;
    struct Heap *heap;
    Chunk *prev, *next;   // the owning heap's block list
    uint32_t userBytes;
    uint32_t pad[2];
};
static_assert(sizeof(Chunk) % kAlign == 0);

struct Heap {
    uint32_t magic;
    uint32_t options;
    uint32_t maximum;     // 0: growable
    uint32_t liveBytes;
    int liveBlocks;
    Chunk *first;
};

struct ArenaHeader {
    volatile int lock;
    uint32_t top;         // offset of the first byte never handed out
};

uint8_t *g_arena;
unsigned g_failAfter;                 // per process: tests fail their own allocations
std::mutex g_privateLock;
std::set<Heap *> g_privateHeaps;

uint32_t RoundUp(uint32_t v) { return (v + kAlign - 1) & ~(kAlign - 1); }

bool EnsureArena() {
    if (g_arena)
        return true;
    uint8_t *p = kivMapGuarded(kArenaBytes, kKivPageBytes, kKivPageBytes, KivPages::Shared);
    if (!p)
        return false;
    g_arena = p;
    auto *h = reinterpret_cast<ArenaHeader *>(g_arena);
    h->lock = 0;
    h->top = RoundUp(sizeof(ArenaHeader));
    return true;
}

ArenaHeader *Arena() { return reinterpret_cast<ArenaHeader *>(g_arena); }

struct ArenaLock {
    ArenaLock() { while (__atomic_exchange_n(&Arena()->lock, 1, __ATOMIC_ACQUIRE)) sched_yield(); }
    ~ArenaLock() { __atomic_store_n(&Arena()->lock, 0, __ATOMIC_RELEASE); }
};

Chunk *FirstChunk() { return reinterpret_cast<Chunk *>(g_arena + RoundUp(sizeof(ArenaHeader))); }
Chunk *NextChunk(Chunk *c) { return reinterpret_cast<Chunk *>(reinterpret_cast<uint8_t *>(c) + c->size); }
Chunk *TopChunk() { return reinterpret_cast<Chunk *>(g_arena + Arena()->top); }

// First fit over the arena's chunks, joining runs of free chunks on the way. Caller holds the
// arena lock.
Chunk *ArenaAlloc(uint32_t userBytes) {
    uint32_t need = RoundUp(userBytes) + sizeof(Chunk);
    if (need < userBytes)
        return nullptr;
    for (Chunk *c = FirstChunk(); c < TopChunk(); c = NextChunk(c)) {
        if (c->inUse)
            continue;
        while (NextChunk(c) < TopChunk() && !NextChunk(c)->inUse)
            c->size += NextChunk(c)->size;
        if (c->size < need)
            continue;
        if (c->size - need >= 4 * sizeof(Chunk)) {
            Chunk *rest = reinterpret_cast<Chunk *>(reinterpret_cast<uint8_t *>(c) + need);
            rest->size = c->size - need;
            rest->inUse = 0;
            c->size = need;
        }
        c->inUse = 1;
        return c;
    }
    if (Arena()->top + need > kArenaBytes || Arena()->top + need < need)
        return nullptr;
    Chunk *c = TopChunk();
    c->size = need;
    c->inUse = 1;
    Arena()->top += need;
    return c;
}

bool IsSharedAddress(const void *p) {
    return g_arena && p >= g_arena && p < g_arena + kArenaBytes;
}

// A heap handle is good when it names a live heap: shared ones carry the magic inside the
// arena, private ones are listed.
bool HeapIsLive(Heap *h) {
    if (!h)
        return false;
    if (IsSharedAddress(h))
        return h->magic == kHeapMagic;
    std::lock_guard<std::mutex> g(g_privateLock);
    return g_privateHeaps.count(h) != 0;
}

bool InjectedFailure() {
    if (g_failAfter == 0)
        return false;
    if (--g_failAfter == 0)
        return true;
    return false;
}

void Link(Heap *h, Chunk *c) {
    c->heap = h;
    c->prev = nullptr;
    c->next = h->first;
    if (h->first)
        h->first->prev = c;
    h->first = c;
    h->liveBlocks++;
    h->liveBytes += c->userBytes;
}

void Unlink(Heap *h, Chunk *c) {
    if (c->prev)
        c->prev->next = c->next;
    else
        h->first = c->next;
    if (c->next)
        c->next->prev = c->prev;
    h->liveBlocks--;
    h->liveBytes -= c->userBytes;
    c->heap = nullptr;
}

}  // namespace

extern "C" {

HANDLE WINAPI HeapCreate(DWORD options, SIZE_T initialBytes, SIZE_T maximumBytes) {
    (void)initialBytes;
    if (options & HEAP_SHARED) {
        if (!EnsureArena()) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        ArenaLock lock;
        Chunk *c = ArenaAlloc(sizeof(Heap));
        if (!c) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto *h = reinterpret_cast<Heap *>(c + 1);
        *h = Heap{kHeapMagic, options, static_cast<uint32_t>(maximumBytes), 0, 0, nullptr};
        return h;
    }
    auto *h = new (std::nothrow) Heap{kHeapMagic, options, static_cast<uint32_t>(maximumBytes), 0, 0, nullptr};
    if (!h) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(g_privateLock);
    g_privateHeaps.insert(h);
    return h;
}

LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    auto *h = static_cast<Heap *>(heap);
    if (!HeapIsLive(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (InjectedFailure() || (h->maximum && h->liveBytes + bytes > h->maximum) || bytes > kArenaBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Chunk *c;
    if (IsSharedAddress(h)) {
        ArenaLock lock;
        c = ArenaAlloc(static_cast<uint32_t>(bytes));
        if (c) {
            c->userBytes = static_cast<uint32_t>(bytes);
            Link(h, c);
        }
    } else {
        c = static_cast<Chunk *>(malloc(sizeof(Chunk) + bytes));
        if (c) {
            c->size = static_cast<uint32_t>(sizeof(Chunk) + bytes);
            c->inUse = 1;
            c->userBytes = static_cast<uint32_t>(bytes);
            std::lock_guard<std::mutex> g(g_privateLock);
            Link(h, c);
        }
    }
    if (!c) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (flags & HEAP_ZERO_MEMORY)
        memset(c + 1, 0, bytes);
    return c + 1;
}

BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    (void)flags;
    auto *h = static_cast<Heap *>(heap);
    if (!HeapIsLive(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!block)
        return TRUE;
    Chunk *c = static_cast<Chunk *>(block) - 1;
    if (IsSharedAddress(h)) {
        ArenaLock lock;
        if (!IsSharedAddress(c) || !c->inUse || c->heap != h) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        Unlink(h, c);
        c->inUse = 0;
        return TRUE;
    }
    std::lock_guard<std::mutex> g(g_privateLock);
    bool found = false;
    for (Chunk *p = h->first; p; p = p->next)
        if (p == c) {
            found = true;
            break;
        }
    if (!found) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Unlink(h, c);
    free(c);
    return TRUE;
}

BOOL WINAPI HeapDestroy(HANDLE heap) {
    auto *h = static_cast<Heap *>(heap);
    if (!HeapIsLive(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (IsSharedAddress(h)) {
        ArenaLock lock;
        for (Chunk *c = h->first; c; c = c->next)
            c->inUse = 0;
        h->magic = 0;
        (reinterpret_cast<Chunk *>(h) - 1)->inUse = 0;
        return TRUE;
    }
    std::lock_guard<std::mutex> g(g_privateLock);
    for (Chunk *c = h->first; c;) {
        Chunk *n = c->next;
        free(c);
        c = n;
    }
    g_privateHeaps.erase(h);
    delete h;
    return TRUE;
}

void kivFailHeapAllocAfter(unsigned n) { g_failAfter = n; }

int kivHeapLiveBlocks(HANDLE heap) {
    auto *h = static_cast<Heap *>(heap);
    if (!HeapIsLive(h))
        return -1;
    return h->liveBlocks;
}

BOOL WINAPI DisableThreadLibraryCalls(HMODULE module) { return module != nullptr; }

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (!a || !b)
        return a ? 1 : (b ? -1 : 0);
    int r = strcasecmp(a, b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src) {
    if (!dst || !src)
        return nullptr;
    return strcpy(dst, src);
}

int WINAPI lstrlenA(LPCSTR s) { return s ? static_cast<int>(strlen(s)) : 0; }

// Milliseconds since start. While a simulated SIV card is powered its clock is the machine's
// clock, so that timing loops over the card's retrace see consistent time.
DWORD WINAPI timeGetTime(void) {
    DWORD ms;
    if (kivSivClockMs(&ms))
        return ms;
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(ts.tv_sec * 1000ull + ts.tv_nsec / 1000000);
}

int kivShareModuleData(void *start, SIZE_T bytes) {
    long page = sysconf(_SC_PAGESIZE);
    if (!start || bytes == 0 || reinterpret_cast<uintptr_t>(start) % page || bytes % page)
        return 0;
    // Shared heaps must be reachable from every process that shares the section.
    if (!EnsureArena())
        return 0;
    void *tmp = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (tmp == MAP_FAILED)
        return 0;
    memcpy(tmp, start, bytes);
    if (mremap(tmp, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, start) == MAP_FAILED) {
        munmap(tmp, bytes);
        return 0;
    }
    return 1;
}

}  // extern "C"
