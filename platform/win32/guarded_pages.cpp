// Blocks of the system's pages whose ends are guarded: inaccessible pages after them, and the
// sanitizer's poison around them in its build.
#include "platform/win32/guarded_pages.h"

#include <sys/mman.h>

#ifdef KIV_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace {

// n rounded up to a multiple of `to` (a power of two); 0 when that wraps.
size_t roundUp(size_t n, size_t to) { return n > ~size_t{0} - (to - 1) ? 0 : (n + to - 1) & ~(to - 1); }

// The sanitizer's view of the bytes around a block: they stay poisoned while the block lives, and
// are cleared before the pages go, so that whatever the system maps there next is not poisoned.
void poison(uint8_t *from, uint8_t *to) {
#ifdef KIV_ADDRESS_SANITIZER
    if (to > from) __asan_poison_memory_region(from, static_cast<size_t>(to - from));
#else
    (void)from, (void)to;
#endif
}
void unpoison(uint8_t *from, size_t bytes) {
#ifdef KIV_ADDRESS_SANITIZER
    __asan_unpoison_memory_region(from, bytes);
#else
    (void)from, (void)bytes;
#endif
}

}  // namespace

// The pages hold the block at their end: [start, start + span) is readable, the block ends (to
// its alignment) at start + span, and the guard follows. Its start is found again from the block
// alone: the block begins less than a page after `start`.
uint8_t *kivMapGuarded(size_t bytes, size_t align, size_t guardBytes, KivPages kind) {
    const size_t page = kKivPageBytes;
    if (bytes == 0 || align == 0 || (align & (align - 1)) != 0 || align > page) return nullptr;
    const size_t span = roundUp(bytes, page), guard = roundUp(guardBytes ? guardBytes : 1, page);
    if (span == 0 || guard == 0 || span > ~size_t{0} - guard) return nullptr;
    const int flags = MAP_ANONYMOUS | MAP_NORESERVE | (kind == KivPages::Shared ? MAP_SHARED : MAP_PRIVATE);
    void *p = mmap(nullptr, span + guard, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    uint8_t *start = static_cast<uint8_t *>(p);
    if (mprotect(start + span, guard, PROT_NONE) != 0) {
        munmap(p, span + guard);
        return nullptr;
    }
    // The guard is poisoned as well: the sanitizer then names an access just past the block for
    // what it is, rather than an unknown crash beside a granule the block fills only in part.
    uint8_t *block = start + span - roundUp(bytes, align);
    poison(start, block);
    poison(block + bytes, start + span + guard);
    return block;
}

void kivUnmapGuarded(uint8_t *block, size_t bytes, size_t guardBytes) {
    if (block == nullptr || bytes == 0) return;
    const size_t page = kKivPageBytes;
    const size_t span = roundUp(bytes, page), guard = roundUp(guardBytes ? guardBytes : 1, page);
    uint8_t *start = block - (reinterpret_cast<uintptr_t>(block) & (page - 1));
    unpoison(start, span + guard);
    munmap(start, span + guard);
}
