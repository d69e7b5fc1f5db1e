// Virtual memory (VirtualAlloc and VirtualFree over anonymous mappings, with an allocation-failure
// test switch) and the machine's physical memory figure (GlobalMemoryStatus).
#include "platform/win32/internal.h"

#include <sys/mman.h>

#include <map>
#include <mutex>

namespace {

std::mutex &vmLock() {
    static std::mutex m;
    return m;
}
std::map<uintptr_t, SIZE_T> &regions() {  // base -> reserved bytes
    static std::map<uintptr_t, SIZE_T> r;
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
    const SIZE_T rounded = (bytes + 0xFFFF) & ~SIZE_T(0xFFFF);  // the platform's 64 KB granularity
    if (rounded < bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void *p = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    regions()[reinterpret_cast<uintptr_t>(p)] = rounded;
    return p;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T bytes, DWORD type) {
    std::lock_guard<std::mutex> g(vmLock());
    auto it = regions().find(reinterpret_cast<uintptr_t>(address));
    if (it == regions().end() || type != MEM_RELEASE || bytes != 0) {
        SetLastError(it == regions().end() ? ERROR_INVALID_ADDRESS : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    munmap(address, it->second);
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
