// Shared between the source files of the Win32 stand-in only (not for drivers or programs).
#pragma once
#include "platform/win32/win32.h"
#include <memory>
#include <string>
#include <vector>

namespace kiv::win32 {

// Kernel objects behind HANDLEs: one table for the process, values are multiples of 4.
enum class Kind { Mutex = 1, Thread, Mapping, File, Key };
struct KernelObject {
    explicit KernelObject(Kind k) : kind(k) {}
    virtual ~KernelObject() = default;
    const Kind kind;
};
HANDLE insertHandle(std::shared_ptr<KernelObject> obj);
// The object of a handle of the given kind, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<KernelObject> lookupHandle(HANDLE h, Kind kind);
template <class T> std::shared_ptr<T> lookup(HANDLE h, Kind kind) {
    return std::static_pointer_cast<T>(lookupHandle(h, kind));
}
bool closeHandle(HANDLE h);

// Thread bookkeeping (teb.cpp).
void ensureThread();               // registers the calling thread's environment block
DWORD adoptThreadId(DWORD id);     // gives a starting thread the id CreateThread chose
DWORD allocateThreadId();
// WaitForSingleObject on a thread handle; *isThread false when h is not one.
DWORD waitThread(HANDLE h, DWORD ms, bool *isThread);

// Loaded modules (modules.cpp): DLL_THREAD_ATTACH / DETACH for every loaded module.
void notifyModulesThread(DWORD reason);
// The file of module `name` ("x.dll" -> x.so in the module search folders), or "" with *why
// naming the file, the folders searched and where they came from.
std::string findModuleFile(const char *name, std::string *why);

// Windows (window.cpp) for GDI.
struct WindowInfo {
    HWND hwnd;
    HWND parent;
    DWORD threadId;
    RECT screenClient;   // client rectangle in screen coordinates
};
bool windowInfo(HWND hwnd, WindowInfo *out);
// Top-level windows created after `hwnd` (the ones stacked above it), oldest first.
std::vector<HWND> topLevelWindowsAbove(HWND hwnd);
int windowPixelFormat(HWND hwnd);
bool setWindowPixelFormat(HWND hwnd, int format);  // once; false when another format is set

// Named shared-memory objects (shared.cpp): a POSIX shm object per kernel-object name with a
// header that counts the processes' references; the object is unlinked with the last one.
struct SharedRegion {
    int fd = -1;
    void *base = nullptr;       // the mapped header + payload
    size_t mapped = 0;
    size_t payloadOffset = 0;   // where the object's data starts inside the shm object
    size_t payloadSize = 0;
    bool created = false;
    bool named = false;
    std::string shmName;
};
// kindTag distinguishes mutexes from mappings that share the namespace. `init` runs on the
// payload of a newly created object before it is published. Returns false with last error set
// (ERROR_FILE_NOT_FOUND when !mayCreate and it does not exist, ERROR_INVALID_HANDLE when the
// name belongs to another kind of object).
bool openShared(const char *name, uint32_t kindTag, size_t payloadSize, size_t payloadOffset,
                bool mayCreate, void (*init)(void *payload, void *arg), void *arg, SharedRegion *out);
void releaseShared(SharedRegion *region);
// Test hook: new named objects fail to be created (createErrno, as shm_open would) or to get their
// space (reserveErrno, as posix_fallocate would); 0 for neither.
void failSharedCreatesForTest(int createErrno, int reserveErrno);

}  // namespace kiv::win32
