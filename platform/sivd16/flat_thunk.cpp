// Flat thunks: the 16-bit module table, thunk connection, selectors and thunk calls.
#include "platform/sivd16/flat_thunk.h"

#include <strings.h>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Module16 {
    std::string name;
    std::vector<KIV_THUNK_DATA16 *> records;
};

struct Selector {
    BYTE *base;
    int fixes;
    bool live;
};

std::mutex g_lock;
std::vector<Module16> g_modules;
std::vector<std::string> g_failing;
std::vector<Selector> g_selectors;   // selector n is index (n >> 3) - 1
int g_prologDepth;

constexpr SEGPTR SelectorWord(size_t index) { return static_cast<SEGPTR>(((index + 1) << 3) | 7); }

Selector *FindSelector(SEGPTR ptr) {
    DWORD sel = ptr >> 16;
    if ((sel & 7) != 7 || (sel >> 3) == 0)
        return nullptr;
    size_t index = (sel >> 3) - 1;
    if (index >= g_selectors.size() || !g_selectors[index].live)
        return nullptr;
    return &g_selectors[index];
}

KIV_THUNK_DATA16 *FindRecord(const char *module16, const char *thunkName16) {
    for (Module16 &m : g_modules) {
        if (strcasecmp(m.name.c_str(), module16) != 0)
            continue;
        for (KIV_THUNK_DATA16 *r : m.records)
            if (r->name && strcmp(r->name, thunkName16) == 0)
                return r;
    }
    return nullptr;
}

}  // namespace

extern "C" {

BOOL WINAPI ThunkConnect32(KIV_THUNK_DATA32 *data, LPCSTR thunkName16, LPCSTR module16,
                           LPCSTR module32, HMODULE module, DWORD reason) {
    (void)module32;
    (void)module;
    if (!data || !thunkName16 || !module16)
        return FALSE;
    std::lock_guard<std::mutex> g(g_lock);
    if (reason == DLL_PROCESS_DETACH) {
        if (!data->partner)
            return FALSE;
        if (data->partner->partner == data)
            data->partner->partner = nullptr;
        data->partner = nullptr;
        return TRUE;
    }
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    for (const std::string &f : g_failing)
        if (f == thunkName16)
            return FALSE;
    KIV_THUNK_DATA16 *r = FindRecord(module16, thunkName16);
    if (!r || r->signature != data->signature || r->entryCount != data->entryCount)
        return FALSE;
    data->partner = r;
    r->partner = data;
    return TRUE;
}

void WINAPI K32Thk1632Prolog(void) { __atomic_add_fetch(&g_prologDepth, 1, __ATOMIC_RELAXED); }
void WINAPI K32Thk1632Epilog(void) { __atomic_sub_fetch(&g_prologDepth, 1, __ATOMIC_RELAXED); }

SEGPTR WINAPI SMapLS(LPVOID flat) {
    if (!flat)
        return 0;
    std::lock_guard<std::mutex> g(g_lock);
    for (size_t i = 0; i < g_selectors.size(); i++)
        if (!g_selectors[i].live) {
            g_selectors[i] = Selector{static_cast<BYTE *>(flat), 0, true};
            return SelectorWord(i) << 16;
        }
    g_selectors.push_back(Selector{static_cast<BYTE *>(flat), 0, true});
    return SelectorWord(g_selectors.size() - 1) << 16;
}

void WINAPI SUnMapLS(SEGPTR ptr) {
    std::lock_guard<std::mutex> g(g_lock);
    if (Selector *s = FindSelector(ptr))
        s->live = false;
}

LPVOID WINAPI MapSL(SEGPTR ptr) {
    std::lock_guard<std::mutex> g(g_lock);
    Selector *s = FindSelector(ptr);
    return s ? s->base + (ptr & 0xFFFF) : nullptr;
}

LPVOID WINAPI MapSLFix(SEGPTR ptr) {
    std::lock_guard<std::mutex> g(g_lock);
    Selector *s = FindSelector(ptr);
    if (!s)
        return nullptr;
    s->fixes++;
    return s->base + (ptr & 0xFFFF);
}

void WINAPI UnMapSLFixArray(DWORD count, SEGPTR *ptrs) {
    std::lock_guard<std::mutex> g(g_lock);
    for (DWORD i = 0; i < count; i++)
        if (Selector *s = FindSelector(ptrs[i]); s && s->fixes > 0)
            s->fixes--;
}

DWORD kivThunkCall16(KIV_THUNK_DATA32 *data, DWORD index, const BYTE *frame, DWORD frameBytes) {
    KIV_THUNK_DATA16 *r = data ? data->partner : nullptr;
    if (!r || !r->targets || index >= r->entryCount || !r->targets[index]) {
        fprintf(stderr, "thunk: 32->16 call %u through an unconnected thunk\n", index);
        return 0;
    }
    return r->targets[index](frame, frameBytes);
}

DWORD kivThunkCall32(KIV_THUNK_DATA16 *data, DWORD index, const BYTE *frame, DWORD frameBytes) {
    KIV_THUNK_DATA32 *r = data ? data->partner : nullptr;
    if (!r || !r->targets || index >= r->entryCount || !r->targets[index]) {
        fprintf(stderr, "thunk: 16->32 call %u through an unconnected thunk\n", index);
        return 0;
    }
    return r->targets[index](frame, frameBytes);
}

void kivRegister16BitModule(const char *name, KIV_THUNK_DATA16 *const *records, DWORD count) {
    std::lock_guard<std::mutex> g(g_lock);
    for (Module16 &m : g_modules)
        if (strcasecmp(m.name.c_str(), name) == 0) {
            m.records.assign(records, records + count);
            return;
        }
    g_modules.push_back(Module16{name, std::vector<KIV_THUNK_DATA16 *>(records, records + count)});
}

void kivUnregister16BitModule(const char *name) {
    std::lock_guard<std::mutex> g(g_lock);
    for (size_t i = 0; i < g_modules.size(); i++)
        if (strcasecmp(g_modules[i].name.c_str(), name) == 0) {
            for (KIV_THUNK_DATA16 *r : g_modules[i].records) {
                if (r->partner)
                    r->partner->partner = nullptr;
                r->partner = nullptr;
            }
            g_modules.erase(g_modules.begin() + i);
            return;
        }
}

void kivThunkFailConnect(const char *thunkName16, int fail) {
    std::lock_guard<std::mutex> g(g_lock);
    for (size_t i = 0; i < g_failing.size(); i++)
        if (g_failing[i] == thunkName16) {
            if (!fail)
                g_failing.erase(g_failing.begin() + i);
            return;
        }
    if (fail)
        g_failing.push_back(thunkName16);
}

int kivSelectorsLive(void) {
    std::lock_guard<std::mutex> g(g_lock);
    int n = 0;
    for (const Selector &s : g_selectors)
        n += s.live;
    return n;
}

int kivSelectorFixes(void) {
    std::lock_guard<std::mutex> g(g_lock);
    int n = 0;
    for (const Selector &s : g_selectors)
        if (s.live)
            n += s.fixes;
    return n;
}

int kivThunkPrologDepth(void) { return __atomic_load_n(&g_prologDepth, __ATOMIC_RELAXED); }

}  // extern "C"
