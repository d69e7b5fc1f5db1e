// Blocks of the system's pages that the stand-ins hand out (surfaces, video memory, heaps, virtual
// memory), laid out so that running past one is seen. The block's end, rounded up to its start
// alignment, lies flush against inaccessible pages: a read or write past it faults. In the
// sanitizer build the bytes around the block (the head of its first page before it, the
// alignment slack and the guard after it) are poisoned too, since the sanitizer watches no
// mapping of its own accord: a read of even one byte past the block is reported. Nothing else: the pages
// are zero-filled, and shared ones stay shared with the processes forked after they are mapped.
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define KIV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIV_ADDRESS_SANITIZER 1
#endif
#endif

// Whether this build watches memory with the address sanitizer.
#ifdef KIV_ADDRESS_SANITIZER
constexpr bool kKivAddressSanitizer = true;
#else
constexpr bool kKivAddressSanitizer = false;
#endif

enum class KivPages { Private, Shared };

// The system's page, the largest start alignment a block may ask for.
constexpr size_t kKivPageBytes = 4096;

// `bytes` (more than 0) of zero-filled memory starting on a multiple of `align` (a power of two,
// at most a page), followed by `guardBytes` of inaccessible address space (rounded up to whole
// pages, at least one); pages are given memory as they are touched. Null when the system gives
// none.
uint8_t *kivMapGuarded(size_t bytes, size_t align, size_t guardBytes, KivPages kind);
// Gives back a block of kivMapGuarded with the sizes it was mapped with.
void kivUnmapGuarded(uint8_t *block, size_t bytes, size_t guardBytes);
