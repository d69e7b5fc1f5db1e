// Loadable modules over dlopen, with the platform's DllMain protocol and reference counts.
#include "platform/win32/internal.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#ifndef KIV_MODULE_DIR
#define KIV_MODULE_DIR "modules"
#endif

namespace {

typedef BOOL(WINAPI *DllMainProc)(HINSTANCE, DWORD, LPVOID);

struct Module {
    std::string name;     // lower-case base name without extension
    std::string path;
    void *dl = nullptr;
    int refs = 0;
    bool builtin = false;  // the main program (opengl32, gdi32, user32, ...)
    DllMainProc dllMain = nullptr;
    struct link_map *map = nullptr;
};

// The loader lock: recursive, as DllMain may load further modules.
std::recursive_mutex &loaderLock() {
    static std::recursive_mutex m;
    return m;
}
std::vector<Module *> &modules() {  // in load order
    static std::vector<Module *> v;
    return v;
}
thread_local std::string t_loadError;

const char *const kBuiltins[] = {"opengl32", "gdi32", "user32", "kernel32", "advapi32", "ddraw"};

std::string baseName(const char *name) {
    std::string s(name);
    size_t slash = s.find_last_of("/\\");
    if (slash != std::string::npos) s = s.substr(slash + 1);
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (s.size() > 4 && s.compare(s.size() - 4, 4, ".dll") == 0) s.resize(s.size() - 4);
    else if (s.size() > 3 && s.compare(s.size() - 3, 3, ".so") == 0) s.resize(s.size() - 3);
    return s;
}

bool isBuiltin(const std::string &base) {
    for (const char *b : kBuiltins)
        if (base == b) return true;
    return false;
}

Module *findLoaded(const std::string &base) {
    for (Module *m : modules())
        if (m->name == base) return m;
    return nullptr;
}

Module *mainProgram() {
    static Module *main = [] {
        auto *m = new Module;
        m->name = "<program>";
        m->dl = dlopen(nullptr, RTLD_NOW);
        m->refs = 1;
        m->builtin = true;
        dlinfo(m->dl, RTLD_DI_LINKMAP, &m->map);
        return m;
    }();
    return main;
}

Module *fromHandle(HMODULE h) {
    auto *m = reinterpret_cast<Module *>(h);
    if (m == mainProgram()) return m;
    for (Module *x : modules())
        if (x == m) return m;
    return nullptr;
}

// The folders of KIV_MODULE_PATH (':'-separated; an empty value counts as unset), else the
// build's module folder.
std::vector<std::string> searchDirs() {
    std::vector<std::string> dirs;
    const char *env = std::getenv("KIV_MODULE_PATH");
    if (env && *env) {
        std::string s(env);
        size_t start = 0;
        while (start <= s.size()) {
            size_t colon = s.find(':', start);
            if (colon == std::string::npos) colon = s.size();
            if (colon > start) dirs.push_back(s.substr(start, colon - start));
            start = colon + 1;
        }
    }
    if (dirs.empty()) dirs.push_back(KIV_MODULE_DIR);
    return dirs;
}

}  // namespace

namespace kiv::win32 {

std::string findModuleFile(const char *name, std::string *why) {
    const std::string base = baseName(name);
    std::string tried;
    for (const std::string &dir : searchDirs()) {
        tried += (tried.empty() ? "" : ":") + dir;
        const std::string p = dir + "/" + base + ".so";
        struct stat st;
        if (stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return p;
    }
    const char *env = std::getenv("KIV_MODULE_PATH");
    *why = "no file " + base + ".so in " + tried +
           (env && *env ? " (the folders of KIV_MODULE_PATH)"
                        : " (the build's module folder; KIV_MODULE_PATH names other folders, ':'-separated)");
    return std::string();
}

void notifyModulesThread(DWORD reason) {
    std::lock_guard<std::recursive_mutex> g(loaderLock());
    std::vector<Module *> list = modules();
    for (Module *m : list)
        if (m->dllMain) m->dllMain(reinterpret_cast<HINSTANCE>(m), reason, nullptr);
}

}  // namespace kiv::win32

extern "C" {

const char *kivModuleLoadError(void) { return t_loadError.c_str(); }
const char *kivModuleDir(void) { return KIV_MODULE_DIR; }

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string base = baseName(name);
    if (isBuiltin(base)) return reinterpret_cast<HMODULE>(mainProgram());

    std::lock_guard<std::recursive_mutex> g(loaderLock());
    if (Module *m = findLoaded(base)) {
        m->refs += 1;
        return reinterpret_cast<HMODULE>(m);
    }
    const std::string path = kiv::win32::findModuleFile(name, &t_loadError);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void *dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
        const char *e = dlerror();
        t_loadError = e ? e : "dlopen failed";
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto *m = new Module;
    m->name = base;
    m->path = path;
    m->dl = dl;
    m->refs = 1;
    dlinfo(dl, RTLD_DI_LINKMAP, &m->map);
    m->dllMain = reinterpret_cast<DllMainProc>(dlsym(dl, "DllMain"));
    modules().push_back(m);
    if (m->dllMain && !m->dllMain(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_ATTACH, nullptr)) {
        // The platform tells the module it goes, then unloads it.
        m->dllMain(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_DETACH, nullptr);
        modules().erase(std::find(modules().begin(), modules().end(), m));
        dlclose(dl);
        delete m;
        t_loadError = base + ": DllMain(DLL_PROCESS_ATTACH) failed";
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    t_loadError.clear();
    return reinterpret_cast<HMODULE>(m);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    std::lock_guard<std::recursive_mutex> g(loaderLock());
    Module *m = fromHandle(module);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m->builtin) return TRUE;
    if (--m->refs > 0) return TRUE;
    if (m->dllMain) m->dllMain(reinterpret_cast<HINSTANCE>(m), DLL_PROCESS_DETACH, nullptr);
    modules().erase(std::find(modules().begin(), modules().end(), m));
    dlclose(m->dl);
    delete m;
    return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name) return reinterpret_cast<HMODULE>(mainProgram());
    std::string base = baseName(name);
    if (isBuiltin(base)) return reinterpret_cast<HMODULE>(mainProgram());
    std::lock_guard<std::recursive_mutex> g(loaderLock());
    if (Module *m = findLoaded(base)) return reinterpret_cast<HMODULE>(m);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    std::lock_guard<std::recursive_mutex> g(loaderLock());
    Module *m = fromHandle(module);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(name) < 0x10000) {  // ordinals are not provided
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void *sym = dlsym(m->dl, name);
    if (sym) {
        // Only what the module itself defines (not what its dependencies bring).
        Dl_info info;
        struct link_map *owner = nullptr;
        if (!dladdr1(sym, &info, reinterpret_cast<void **>(&owner), RTLD_DL_LINKMAP) || owner != m->map)
            sym = nullptr;
    }
    if (!sym) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return sym;
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size) {
    const char *v = name ? std::getenv(name) : nullptr;
    if (!v) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    DWORD len = static_cast<DWORD>(std::strlen(v));
    if (!buffer || size <= len) return len + 1;  // the size needed, with the terminator
    std::memcpy(buffer, v, len + 1);
    return len;
}

}  // extern "C"
