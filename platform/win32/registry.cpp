// The registry: keys and values in memory; with KIV_REGISTRY naming a file, loaded from it,
// re-read whenever another process has changed it, and written back (under an flock, through a
// temporary file and a rename) after every change.
//
// File format, one line each: "K <path>" for a key, "V <path>\t<name>\t<type>\t<hex bytes>" for a
// value; <path> starts with the root ("HKLM", "HKCU", "HKCR", "HKU") and uses '\' between keys.
#include "platform/win32/internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;                       // as created (case kept)
    std::map<std::string, Key> subkeys;     // by lower-case name
    std::map<std::string, std::pair<std::string, Value>> values;  // lower-case -> (name, value)
};

std::string lower(const std::string &s) {
    std::string r = s;
    for (char &c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

std::recursive_mutex &regLock() {
    static std::recursive_mutex m;
    return m;
}

struct Hive {
    Key roots[4];  // HKCR, HKCU, HKLM, HKU
    struct stat seen{};
    bool loaded = false;
};
Hive &hive() {
    static Hive h = [] {
        Hive x;
        x.roots[0].name = "HKCR";
        x.roots[1].name = "HKCU";
        x.roots[2].name = "HKLM";
        x.roots[3].name = "HKU";
        return x;
    }();
    return h;
}

const char *registryFile() {
    const char *f = std::getenv("KIV_REGISTRY");
    return (f && *f) ? f : nullptr;
}

int rootIndex(HKEY key) {
    uintptr_t v = reinterpret_cast<uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000003u) return static_cast<int>(v - 0x80000000u);
    return -1;
}

std::vector<std::string> splitPath(const char *sub) {
    std::vector<std::string> parts;
    if (!sub) return parts;
    std::string cur;
    for (const char *p = sub;; ++p) {
        if (*p == '\\' || *p == 0) {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
            if (*p == 0) break;
        } else {
            cur += *p;
        }
    }
    return parts;
}

// An open key: its root and path (names as given); the node is found again on every use, so a
// reload of the file or a deletion never leaves a dangling pointer.
struct KeyObject : kiv::win32::KernelObject {
    KeyObject() : KernelObject(kiv::win32::Kind::Key) {}
    int root = 0;
    std::vector<std::string> path;
};

Key *walk(int root, const std::vector<std::string> &path, bool create, bool *created) {
    Key *k = &hive().roots[root];
    for (const std::string &p : path) {
        auto it = k->subkeys.find(lower(p));
        if (it == k->subkeys.end()) {
            if (!create) return nullptr;
            Key nk;
            nk.name = p;
            it = k->subkeys.emplace(lower(p), std::move(nk)).first;
            if (created) *created = true;
        }
        k = &it->second;
    }
    return k;
}

// ---- persistence -----------------------------------------------------------------------------

void writeKey(std::ostream &o, const Key &k, const std::string &path) {
    o << "K " << path << "\n";
    for (auto &[lname, nv] : k.values) {
        (void)lname;
        o << "V " << path << "\t" << nv.first << "\t" << nv.second.type << "\t";
        char buf[3];
        for (BYTE b : nv.second.data) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            o << buf;
        }
        o << "\n";
    }
    for (auto &[lname, sk] : k.subkeys) {
        (void)lname;
        writeKey(o, sk, path + "\\" + sk.name);
    }
}

void parseInto(Hive &h, std::istream &in) {
    for (int i = 0; i < 4; ++i) {
        h.roots[i].subkeys.clear();
        h.roots[i].values.clear();
    }
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 2) continue;
        char tag = line[0];
        std::string rest = line.substr(2);
        std::string path = rest, name, type, hex;
        if (tag == 'V') {
            std::vector<std::string> f;
            std::stringstream ss(rest);
            std::string part;
            while (std::getline(ss, part, '\t')) f.push_back(part);
            if (f.size() < 3) continue;
            path = f[0];
            name = f[1];
            type = f[2];
            hex = f.size() > 3 ? f[3] : "";
        } else if (tag != 'K') {
            continue;
        }
        std::vector<std::string> parts = splitPath(path.c_str());
        if (parts.empty()) continue;
        int root = -1;
        for (int i = 0; i < 4; ++i)
            if (parts[0] == h.roots[i].name) root = i;
        if (root < 0) continue;
        parts.erase(parts.begin());
        Key *k = walk(root, parts, true, nullptr);
        if (tag == 'V') {
            Value v;
            v.type = static_cast<DWORD>(std::strtoul(type.c_str(), nullptr, 10));
            for (size_t i = 0; i + 1 < hex.size(); i += 2)
                v.data.push_back(static_cast<BYTE>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
            k->values[lower(name)] = {name, std::move(v)};
        }
    }
}

bool sameFile(const struct stat &a, const struct stat &b) {
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Re-reads the file when it changed since we last saw it (caller holds regLock).
void refresh() {
    const char *file = registryFile();
    if (!file) return;
    Hive &h = hive();
    struct stat st;
    if (stat(file, &st) != 0) return;  // no file yet: keep what is in memory
    if (h.loaded && sameFile(st, h.seen)) return;
    std::ifstream in(file);
    if (!in) return;
    parseInto(h, in);
    h.seen = st;
    h.loaded = true;
}

// Applies a change under the file lock: reload, change, save (caller holds regLock).
template <class F> LONG change(F &&apply) {
    const char *file = registryFile();
    if (!file) return apply();
    std::string lockPath = std::string(file) + ".lock";
    int lfd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lfd >= 0) flock(lfd, LOCK_EX);
    refresh();
    LONG r = apply();
    if (r == ERROR_SUCCESS) {
        std::string tmp = std::string(file) + ".tmp." + std::to_string(getpid());
        {
            std::ofstream o(tmp, std::ios::trunc);
            for (auto &root : hive().roots) writeKey(o, root, root.name);
        }
        if (std::rename(tmp.c_str(), file) == 0) {
            struct stat st;
            if (stat(file, &st) == 0) {
                hive().seen = st;
                hive().loaded = true;
            }
        } else {
            std::remove(tmp.c_str());
        }
    }
    if (lfd >= 0) {
        flock(lfd, LOCK_UN);
        close(lfd);
    }
    return r;
}

// Resolves (key, sub) to a root and path; false with ERROR_INVALID_HANDLE for a bad key.
bool resolve(HKEY key, LPCSTR sub, int *root, std::vector<std::string> *path) {
    int r = rootIndex(key);
    if (r >= 0) {
        *root = r;
        path->clear();
    } else {
        auto k = kiv::win32::lookup<KeyObject>(reinterpret_cast<HANDLE>(key), kiv::win32::Kind::Key);
        if (!k) return false;
        *root = k->root;
        *path = k->path;
    }
    for (auto &p : splitPath(sub)) path->push_back(p);
    return true;
}

HKEY openHandle(int root, std::vector<std::string> path) {
    auto ko = std::make_shared<KeyObject>();
    ko->root = root;
    ko->path = std::move(path);
    return reinterpret_cast<HKEY>(kiv::win32::insertHandle(ko));
}

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR sub, DWORD, DWORD, HKEY *result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> g(regLock());
    refresh();
    int root;
    std::vector<std::string> path;
    if (!resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
    if (!walk(root, path, false, nullptr)) return ERROR_FILE_NOT_FOUND;
    *result = openHandle(root, std::move(path));
    return ERROR_SUCCESS;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR sub, DWORD, LPSTR, DWORD, DWORD, void *, HKEY *result,
                            LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> g(regLock());
    int root;
    std::vector<std::string> path;
    if (!resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
    bool created = false;
    LONG r = change([&]() -> LONG {
        walk(root, path, true, &created);
        return created ? ERROR_SUCCESS : -1;  // nothing to write when it existed
    });
    if (r != ERROR_SUCCESS && r != -1) return r;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = openHandle(root, std::move(path));
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, BYTE *data, LPDWORD size) {
    std::lock_guard<std::recursive_mutex> g(regLock());
    refresh();
    int root;
    std::vector<std::string> path;
    if (!resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
    Key *k = walk(root, path, false, nullptr);
    if (!k) return ERROR_INVALID_HANDLE;  // the key was deleted under the handle
    auto it = k->values.find(lower(name ? name : ""));
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value &v = it->second.second;
    if (type) *type = v.type;
    DWORD need = static_cast<DWORD>(v.data.size());
    if (data) {
        if (!size) return ERROR_INVALID_PARAMETER;
        if (*size < need) {
            *size = need;
            return ERROR_MORE_DATA;
        }
        std::memcpy(data, v.data.data(), need);
    }
    if (size) *size = need;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE *data, DWORD size) {
    if (size && !data) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> g(regLock());
    int root;
    std::vector<std::string> path;
    if (!resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
    return change([&]() -> LONG {
        Key *k = walk(root, path, false, nullptr);
        if (!k) return ERROR_INVALID_HANDLE;
        Value v;
        v.type = type;
        v.data.assign(data, data + size);
        // A string stored without its terminator gets one, as the platform does.
        if ((type == REG_SZ) && (v.data.empty() || v.data.back() != 0)) v.data.push_back(0);
        std::string n = name ? name : "";
        k->values[lower(n)] = {n, std::move(v)};
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
    std::lock_guard<std::recursive_mutex> g(regLock());
    int root;
    std::vector<std::string> path;
    if (!resolve(key, nullptr, &root, &path)) return ERROR_INVALID_HANDLE;
    return change([&]() -> LONG {
        Key *k = walk(root, path, false, nullptr);
        if (!k) return ERROR_INVALID_HANDLE;
        return k->values.erase(lower(name ? name : "")) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR sub) {
    if (!sub || !*sub) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::recursive_mutex> g(regLock());
    int root;
    std::vector<std::string> path;
    if (!resolve(key, sub, &root, &path)) return ERROR_INVALID_HANDLE;
    return change([&]() -> LONG {
        std::vector<std::string> parent(path.begin(), path.end() - 1);
        Key *p = walk(root, parent, false, nullptr);
        if (!p) return ERROR_FILE_NOT_FOUND;
        auto it = p->subkeys.find(lower(path.back()));
        if (it == p->subkeys.end()) return ERROR_FILE_NOT_FOUND;
        if (!it->second.subkeys.empty()) return ERROR_ACCESS_DENIED;  // subkeys must go first
        p->subkeys.erase(it);
        return ERROR_SUCCESS;
    });
}

LONG WINAPI RegCloseKey(HKEY key) {
    if (rootIndex(key) >= 0) return ERROR_SUCCESS;
    if (!kiv::win32::lookupHandle(reinterpret_cast<HANDLE>(key), kiv::win32::Kind::Key))
        return ERROR_INVALID_HANDLE;
    kiv::win32::closeHandle(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
}

}  // extern "C"
