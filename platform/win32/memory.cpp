// Global memory (GlobalAlloc and friends) with its allocation-failure test switch, and named
// file mappings over real shared memory.
#include "platform/win32/internal.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>

namespace {

std::mutex &memLock() {
    static std::mutex m;
    return m;
}
// Live blocks and their requested sizes (GlobalSize answers the size asked for).
std::unordered_map<void *, SIZE_T> &blocks() {
    static std::unordered_map<void *, SIZE_T> b;
    return b;
}
unsigned g_failCountdown = 0;  // under memLock

// True when this allocation is the one the test switch makes fail.
bool injectFailure() {
    if (g_failCountdown == 0) return false;
    if (--g_failCountdown == 0) return true;
    return false;
}

void *rawAlloc(SIZE_T bytes) {
    // Blocks are 8-byte aligned like the platform's heap; a zero-byte block still has an address.
    return std::malloc(bytes ? bytes : 1);
}

}  // namespace

using namespace kiv::win32;

extern "C" {

void kivFailGlobalAllocAfter(unsigned n) {
    std::lock_guard<std::mutex> g(memLock());
    g_failCountdown = n;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (flags & ~(GMEM_MOVEABLE | GMEM_ZEROINIT | 0x0F00u /* discard/share/notify hints */)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(memLock());
    if (injectFailure() || bytes > 0x7FFFFFFFu) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void *p = rawAlloc(bytes);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (flags & GMEM_ZEROINIT) std::memset(p, 0, bytes ? bytes : 1);
    blocks()[p] = bytes;
    return p;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
    std::lock_guard<std::mutex> g(memLock());
    auto it = blocks().find(mem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    SIZE_T old = it->second;
    if (bytes <= old) {  // shrinking stays in place
        it->second = bytes;
        return mem;
    }
    if (!(flags & GMEM_MOVEABLE) || injectFailure() || bytes > 0x7FFFFFFFu) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void *p = rawAlloc(bytes);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(p, mem, old);
    if (flags & GMEM_ZEROINIT) std::memset(static_cast<uint8_t *>(p) + old, 0, bytes - old);
    blocks().erase(it);
    std::free(mem);
    blocks()[p] = bytes;
    return p;
}

int kivGlobalAllocLive(void) {
    std::lock_guard<std::mutex> g(memLock());
    return int(blocks().size());
}

HGLOBAL WINAPI GlobalFree(HGLOBAL mem) {
    if (!mem) return nullptr;
    std::lock_guard<std::mutex> g(memLock());
    auto it = blocks().find(mem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return mem;
    }
    blocks().erase(it);
    std::free(mem);
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL mem) {
    std::lock_guard<std::mutex> g(memLock());
    auto it = blocks().find(mem);
    if (it == blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return it->second;
}

LPVOID WINAPI GlobalLock(HGLOBAL mem) {
    std::lock_guard<std::mutex> g(memLock());
    if (!blocks().count(mem)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return mem;
}

BOOL WINAPI GlobalUnlock(HGLOBAL mem) {
    // Fixed blocks have no lock count: FALSE with ERROR_SUCCESS as on the platform.
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

}  // extern "C"

// ---- file mappings ---------------------------------------------------------------------------

namespace {

constexpr uint32_t kMappingTag = 0x4D415050;  // 'MAPP'
constexpr size_t kMappingPayloadOffset = 4096;  // page-aligned so views map the payload directly

struct MappingObject : KernelObject {
    MappingObject() : KernelObject(Kind::Mapping) {}
    ~MappingObject() override { releaseShared(&region); }
    SharedRegion region;
};

struct View {
    size_t length;
    std::shared_ptr<MappingObject> mapping;  // a view keeps its mapping object alive
};
std::mutex &viewLock() {
    static std::mutex m;
    return m;
}
std::map<const void *, View> &views() {
    static std::map<const void *, View> v;
    return v;
}

HANDLE makeMapping(LPCSTR name, size_t size, bool mayCreate) {
    auto m = std::make_shared<MappingObject>();
    // The header page is only needed for named objects; unnamed ones start their payload at 0.
    size_t off = (name && *name) ? kMappingPayloadOffset : 0;
    if (!openShared(name, kMappingTag, size, off, mayCreate, nullptr, nullptr, &m->region)) return nullptr;
    // The creator's payload is fresh shared memory (zero-filled).
    bool existed = !m->region.created;
    HANDLE h = insertHandle(m);
    SetLastError(existed && mayCreate ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileMappingA(HANDLE file, void *, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                                 LPCSTR name) {
    if (file != INVALID_HANDLE_VALUE) {  // only mappings of the paging file are provided
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (sizeHigh != 0 || sizeLow == 0 || sizeLow > 0x7FFFF000u) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    (void)protect;
    return makeMapping(name, sizeLow, true);
}

HANDLE WINAPI OpenFileMappingA(DWORD, BOOL, LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return makeMapping(name, 0, false);
}

LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD access, DWORD offHigh, DWORD offLow, SIZE_T bytes) {
    auto m = lookup<MappingObject>(mapping, Kind::Mapping);
    if (!m) return nullptr;
    size_t size = m->region.payloadSize;
    if (offHigh != 0 || offLow > size || (offLow & 4095) != 0 || bytes > size - offLow) {
        SetLastError(offHigh || (offLow & 4095) ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (bytes == 0) bytes = size - offLow;
    if (bytes == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int prot = PROT_READ;
    if (access & (FILE_MAP_WRITE | 0x000F0000u)) prot |= PROT_WRITE;
    void *p = mmap(nullptr, bytes, prot, MAP_SHARED, m->region.fd,
                   static_cast<off_t>(m->region.payloadOffset + offLow));
    if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(viewLock());
    views()[p] = View{bytes, m};
    return p;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID view) {
    View v;
    {
        std::lock_guard<std::mutex> g(viewLock());
        auto it = views().find(view);
        if (it == views().end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        v = std::move(it->second);
        views().erase(it);
    }
    munmap(const_cast<void *>(view), v.length);
    return TRUE;
}

}  // extern "C"
