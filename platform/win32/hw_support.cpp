// Virtual memory (VirtualAlloc and VirtualFree over anonymous mappings, with an allocation-failure
// test switch) and the machine's physical memory figure (GlobalMemoryStatus).
#include "platform/win32/internal.h"

#include <map>
#include <mutex>

#include "platform/win32/guarded_pages.h"

namespace {

std::mutex &vmLock() {
    static std::mutex m;
    return m;
}
// A region as it was reserved: the bytes asked for (committed, in whole pages) and the rest of
// its 64 KB granules, which stay reserved and inaccessible (at least a page of them).
struct Region {
    SIZE_T bytes, reserved;
};
std::map<uintptr_t, Region> &regions() {  // base -> region
    static std::map<uintptr_t, Region> r;
    return r;
}
unsigned g_vmFailCountdown = 0;           // under vmLock
SIZE_T g_physicalBytes = 128u << 20;      // the simulated PC's memory

}  // namespace

extern "C" {

void kivFailVirtualAllocAfter(unsigned n) {
    std::lock_guard<std::mutex> g(vmLock());
    g_vmFailCountdown = n;
}

int kivVirtualAllocLive(void) {
    std::lock_guard<std::mutex> g(vmLock());
    return int(regions().size());
}

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect) {
    if (address != nullptr || bytes == 0 || !(type & (MEM_COMMIT | MEM_RESERVE)) ||
        (type & ~(MEM_COMMIT | MEM_RESERVE)) || protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard<std::mutex> g(vmLock());
    if (g_vmFailCountdown != 0 && --g_vmFailCountdown == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // The platform reserves whole 64 KB granules and commits the pages asked for, whole (the
    // bytes of the last page past those asked for are the program's too); the rest of the
    // granules is reserved address space that faults when touched, as is the page after a
    // region that fills its granules exactly.
    const SIZE_T rounded = (bytes + 0xFFFF) & ~SIZE_T(0xFFFF);
    const SIZE_T committed = (bytes + kKivPageBytes - 1) & ~SIZE_T(kKivPageBytes - 1);
    if (rounded < bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const SIZE_T reserved = rounded > committed ? rounded - committed : kKivPageBytes;
    uint8_t *p = kivMapGuarded(committed, kKivPageBytes, reserved, KivPages::Private);
    if (p == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    regions()[reinterpret_cast<uintptr_t>(p)] = Region{committed, reserved};
    return p;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T bytes, DWORD type) {
    std::lock_guard<std::mutex> g(vmLock());
    auto it = regions().find(reinterpret_cast<uintptr_t>(address));
    if (it == regions().end() || type != MEM_RELEASE || bytes != 0) {
        SetLastError(it == regions().end() ? ERROR_INVALID_ADDRESS : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    kivUnmapGuarded(static_cast<uint8_t *>(address), it->second.bytes, it->second.reserved);
    regions().erase(it);
    return TRUE;
}

void kivSetPhysicalMemory(SIZE_T bytes) {
    std::lock_guard<std::mutex> g(vmLock());
    g_physicalBytes = bytes;
}

void WINAPI GlobalMemoryStatus(LPMEMORYSTATUS status) {
    if (status == nullptr) return;
    SIZE_T total;
    {
        std::lock_guard<std::mutex> g(vmLock());
        total = g_physicalBytes;
    }
    status->dwLength = sizeof(MEMORYSTATUS);
    status->dwMemoryLoad = 0;
    status->dwTotalPhys = total;
    status->dwAvailPhys = total / 2;
    status->dwTotalPageFile = total * 2;
    status->dwAvailPageFile = total;
    status->dwTotalVirtual = 0x7FFE0000;
    status->dwAvailVirtual = 0x7FFE0000 / 2;
}

}  // extern "C"
