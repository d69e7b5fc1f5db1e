// The register windows that route a driver's register accesses to the chip models, and the
// plain load or store for an address outside every window.
#include "platform/zk3/zk3_engine_mmio.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

std::mutex &windowLock() {
    static std::mutex m;
    return m;
}

std::vector<KivMmioWindow> &windows() {
    static std::vector<KivMmioWindow> w;
    return w;
}

bool findWindow(const volatile void *address, KivMmioWindow *out, uint32_t *offset) {
    uintptr_t a = reinterpret_cast<uintptr_t>(address);
    std::lock_guard<std::mutex> g(windowLock());
    for (const KivMmioWindow &w : windows()) {
        uintptr_t b = reinterpret_cast<uintptr_t>(w.base);
        if (a >= b && a - b < w.size) {
            *out = w;
            *offset = static_cast<uint32_t>(a - b);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" void kivMmioAddWindow(const KivMmioWindow *window) {
    std::lock_guard<std::mutex> g(windowLock());
    for (KivMmioWindow &w : windows()) {
        if (w.base == window->base) {
            w = *window;
            return;
        }
    }
    windows().push_back(*window);
}

extern "C" void kivMmioRemoveWindow(const void *base) {
    std::lock_guard<std::mutex> g(windowLock());
    auto &v = windows();
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i].base == base) {
            v.erase(v.begin() + static_cast<long>(i));
            return;
        }
    }
}

extern "C" uint32_t kivMmioRead(const volatile void *address, unsigned width) {
    KivMmioWindow w;
    uint32_t offset;
    if (findWindow(address, &w, &offset) && w.read)
        return w.read(w.context, offset, width);
    switch (width) {
    case 1: return *static_cast<const volatile uint8_t *>(address);
    case 2: return *static_cast<const volatile uint16_t *>(address);
    default: return *static_cast<const volatile uint32_t *>(address);
    }
}

extern "C" void kivMmioWrite(volatile void *address, uint32_t value, unsigned width) {
    KivMmioWindow w;
    uint32_t offset;
    if (findWindow(address, &w, &offset) && w.write) {
        w.write(w.context, offset, value, width);
        return;
    }
    switch (width) {
    case 1: *static_cast<volatile uint8_t *>(address) = static_cast<uint8_t>(value); break;
    case 2: *static_cast<volatile uint16_t *>(address) = static_cast<uint16_t>(value); break;
    default: *static_cast<volatile uint32_t *>(address) = value; break;
    }
}
