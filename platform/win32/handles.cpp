// The process's handle table for kernel objects (mutexes, threads, file mappings, devices,
// registry keys): handle values are multiples of 4 from 0x40; a closed value may be reused.
#include "platform/win32/internal.h"

#include <mutex>
#include <vector>

namespace kiv::win32 {
namespace {
std::mutex &tableLock() {
    static std::mutex m;
    return m;
}
std::vector<std::shared_ptr<KernelObject>> &table() {
    static std::vector<std::shared_ptr<KernelObject>> t;
    return t;
}
constexpr uintptr_t kFirst = 0x40;

bool indexOf(HANDLE h, size_t *index) {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v < kFirst || (v & 3) != 0) return false;
    *index = (v - kFirst) / 4;
    return true;
}
}  // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> obj) {
    std::lock_guard<std::mutex> g(tableLock());
    auto &t = table();
    size_t i = 0;
    while (i < t.size() && t[i]) ++i;
    if (i == t.size()) t.emplace_back();
    t[i] = std::move(obj);
    return reinterpret_cast<HANDLE>(kFirst + 4 * i);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE h, Kind kind) {
    size_t i;
    if (indexOf(h, &i)) {
        std::lock_guard<std::mutex> g(tableLock());
        auto &t = table();
        if (i < t.size() && t[i] && t[i]->kind == kind) return t[i];
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

bool closeHandle(HANDLE h) {
    std::shared_ptr<KernelObject> dead;  // destroyed outside the lock
    size_t i;
    if (indexOf(h, &i)) {
        std::lock_guard<std::mutex> g(tableLock());
        auto &t = table();
        if (i < t.size() && t[i]) {
            dead = std::move(t[i]);
            t[i].reset();
        }
    }
    if (!dead) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

}  // namespace kiv::win32

using namespace kiv::win32;

extern "C" BOOL WINAPI CloseHandle(HANDLE handle) {
    // The pseudo-handles of the current process and thread need no closing.
    if (handle == GetCurrentProcess() || handle == GetCurrentThread()) return TRUE;
    return closeHandle(handle) ? TRUE : FALSE;
}
