// Engine memory: tagged allocations with a record of what is live, for leak reports.
#include "platform/ntgdi/eng_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

struct Allocation { ULONG tag; ULONG size; uint64_t serial; };

std::map<void *, Allocation> &live() {
    static std::map<void *, Allocation> m;
    return m;
}
uint64_t serial = 0;
unsigned failAfter = 0;

std::string tagText(ULONG tag) {
    char s[5];
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        s[i] = (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    s[4] = 0;
    return s;
}

}  // namespace

extern "C" PVOID APIENTRY EngAllocMem(ULONG fl, ULONG cj, ULONG tag) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    if (failAfter && --failAfter == 0) return nullptr;
    if (cj == 0) cj = 1;
    void *p = std::malloc(cj);
    if (!p) return nullptr;
    if (fl & FL_ZERO_MEMORY) std::memset(p, 0, cj);
    else std::memset(p, 0xCD, cj);   // never hand out accidental zeroes
    live()[p] = Allocation{tag, cj, ++serial};
    return p;
}

extern "C" void APIENTRY EngFreeMem(PVOID pv) {
    if (!pv) return;
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    auto it = live().find(pv);
    if (it == live().end()) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "EngFreeMem of unknown memory %p", pv);
        kivEngError(buf);
        return;
    }
    live().erase(it);
    std::free(pv);
}

size_t kivEngLiveAllocations(ULONG tag) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    size_t n = 0;
    for (const auto &p : live())
        if (!tag || p.second.tag == tag) ++n;
    return n;
}

uint64_t kivEngLiveBytes(ULONG tag) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    uint64_t n = 0;
    for (const auto &p : live())
        if (!tag || p.second.tag == tag) n += p.second.size;
    return n;
}

std::string kivEngLeakReport() {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    std::string out;
    for (const auto &p : live()) {
        char buf[120];
        std::snprintf(buf, sizeof buf, "engine memory '%s': %lu bytes at %p (allocation #%llu)\n",
                      tagText(p.second.tag).c_str(), static_cast<unsigned long>(p.second.size), p.first,
                      static_cast<unsigned long long>(p.second.serial));
        out += buf;
    }
    return out;
}

void kivEngFailAllocAfter(unsigned n) {
    std::lock_guard<std::recursive_mutex> g(kivEngLock());
    failAfter = n;
}
