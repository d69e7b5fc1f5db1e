// Threads, their ids and last error, the thread environment block and TLS.
//
// The environment block is a 4096-byte static thread-local of the main program (kivplatform is
// linked into the program, never into a loaded module), in the initial-exec model: it sits at a
// fixed distance from the i386 thread pointer in every thread, so code can reach a TLS slot of
// the calling thread with one %gs-relative load (see kivTebThreadPointerOffset).
#include "platform/machine/machine.h"
#include "platform/win32/internal.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

namespace {

constexpr uint32_t kTebSize = 4096;
constexpr uint32_t kTlsBaseNt = 0xE10;
constexpr uint32_t kTlsBase9x = 0x88;
constexpr uint32_t kTebSelf = 0x18;

alignas(64) thread_local uint8_t t_teb[kTebSize] __attribute__((tls_model("initial-exec")));
thread_local DWORD t_lastError __attribute__((tls_model("initial-exec")));
thread_local DWORD t_threadId __attribute__((tls_model("initial-exec")));
thread_local bool t_registered __attribute__((tls_model("initial-exec")));

std::atomic<DWORD> g_nextThreadId{0x104};

// Live environment blocks (for TlsAlloc / TlsFree, which clear a slot in every thread).
std::mutex &tebLock() {
    static std::mutex m;
    return m;
}
std::vector<uint8_t *> &tebs() {
    static std::vector<uint8_t *> v;
    return v;
}
uint64_t g_slotsInUse = 0;  // under tebLock

struct TebUnregister {
    ~TebUnregister() {
        std::lock_guard<std::mutex> g(tebLock());
        auto &v = tebs();
        v.erase(std::remove(v.begin(), v.end(), t_teb), v.end());
    }
};
thread_local TebUnregister t_unregister;

uint32_t slotBase() {
    return kivMachineConfig()->os == KIV_OS_9X ? kTlsBase9x : kTlsBaseNt;
}

}  // namespace

namespace kiv::win32 {

DWORD allocateThreadId() { return g_nextThreadId.fetch_add(4); }

DWORD adoptThreadId(DWORD id) {
    t_threadId = id;
    return id;
}

void ensureThread() {
    if (t_registered) return;
    t_registered = true;
    (void)&t_unregister;  // constructs the thread's unregister guard
    *reinterpret_cast<uint8_t **>(t_teb + kTebSelf) = t_teb;
    std::lock_guard<std::mutex> g(tebLock());
    tebs().push_back(t_teb);
}

}  // namespace kiv::win32

using namespace kiv::win32;

extern "C" {

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD code) { t_lastError = code; }

DWORD WINAPI GetCurrentThreadId(void) {
    if (t_threadId == 0) t_threadId = allocateThreadId();
    return t_threadId;
}
DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }
HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(intptr_t(-1)); }
HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(intptr_t(-2)); }

void *NtCurrentTeb(void) {
    ensureThread();
    return t_teb;
}

int32_t kivTebThreadPointerOffset(void) {
    uintptr_t tp;
    __asm__("movl %%gs:0, %0" : "=r"(tp));
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(t_teb) - tp);
}

uint32_t kivTlsSlotOffset(DWORD slot) { return slotBase() + 4 * slot; }

DWORD WINAPI TlsAlloc(void) {
    ensureThread();
    std::lock_guard<std::mutex> g(tebLock());
    for (DWORD s = 0; s < KIV_TLS_SLOTS; ++s) {
        if (!(g_slotsInUse & (uint64_t(1) << s))) {
            g_slotsInUse |= uint64_t(1) << s;
            uint32_t off = slotBase() + 4 * s;
            for (uint8_t *teb : tebs()) std::memset(teb + off, 0, 4);
            SetLastError(ERROR_SUCCESS);
            return s;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return TLS_OUT_OF_INDEXES;
}

BOOL WINAPI TlsFree(DWORD slot) {
    std::lock_guard<std::mutex> g(tebLock());
    if (slot >= KIV_TLS_SLOTS || !(g_slotsInUse & (uint64_t(1) << slot))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    g_slotsInUse &= ~(uint64_t(1) << slot);
    uint32_t off = slotBase() + 4 * slot;
    for (uint8_t *teb : tebs()) std::memset(teb + off, 0, 4);
    return TRUE;
}

LPVOID WINAPI TlsGetValue(DWORD slot) {
    if (slot >= KIV_TLS_SLOTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ensureThread();
    SetLastError(ERROR_SUCCESS);
    return *reinterpret_cast<LPVOID *>(t_teb + slotBase() + 4 * slot);
}

BOOL WINAPI TlsSetValue(DWORD slot, LPVOID value) {
    if (slot >= KIV_TLS_SLOTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ensureThread();
    *reinterpret_cast<LPVOID *>(t_teb + slotBase() + 4 * slot) = value;
    return TRUE;
}

// ---- threads ---------------------------------------------------------------------------------

}  // extern "C"

namespace {

struct ThreadObject : KernelObject {
    ThreadObject() : KernelObject(Kind::Thread) {}
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD id = 0;
};

struct StartBlock {
    std::shared_ptr<ThreadObject> thread;
    LPTHREAD_START_ROUTINE start;
    LPVOID param;
};

void *threadMain(void *arg) {
    std::unique_ptr<StartBlock> sb(static_cast<StartBlock *>(arg));
    adoptThreadId(sb->thread->id);
    ensureThread();
    notifyModulesThread(DLL_THREAD_ATTACH);
    DWORD code = sb->start(sb->param);
    notifyModulesThread(DLL_THREAD_DETACH);
    {
        std::lock_guard<std::mutex> g(sb->thread->m);
        sb->thread->exitCode = code;
        sb->thread->done = true;
    }
    sb->thread->cv.notify_all();
    return nullptr;
}

}  // namespace

namespace kiv::win32 {
// Used by WaitForSingleObject (sync.cpp).
DWORD waitThread(HANDLE h, DWORD ms, bool *isThread) {
    auto t = std::static_pointer_cast<ThreadObject>(lookupHandle(h, Kind::Thread));
    *isThread = t != nullptr;
    if (!t) return WAIT_FAILED;
    std::unique_lock<std::mutex> g(t->m);
    if (ms == INFINITE) {
        t->cv.wait(g, [&] { return t->done; });
        return WAIT_OBJECT_0;
    }
    return t->cv.wait_for(g, std::chrono::milliseconds(ms), [&] { return t->done; }) ? WAIT_OBJECT_0
                                                                                      : WAIT_TIMEOUT;
}
}  // namespace kiv::win32

extern "C" {

HANDLE WINAPI CreateThread(void *security, SIZE_T stack, LPTHREAD_START_ROUTINE start, LPVOID param,
                           DWORD flags, LPDWORD threadId) {
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto t = std::make_shared<ThreadObject>();
    t->id = allocateThreadId();
    auto *sb = new StartBlock{t, start, param};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stack) pthread_attr_setstacksize(&attr, std::max<size_t>(stack, 64 * 1024));
    pthread_t pt;
    int rc = pthread_create(&pt, &attr, threadMain, sb);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete sb;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId) *threadId = t->id;
    return insertHandle(t);
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD code) {
    auto t = std::static_pointer_cast<ThreadObject>(lookupHandle(thread, Kind::Thread));
    if (!t || !code) {
        if (t) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> g(t->m);
    *code = t->exitCode;
    return TRUE;
}

void WINAPI Sleep(DWORD ms) {
    struct timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

DWORD WINAPI GetTickCount(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(uint64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

BOOL WINAPI QueryPerformanceCounter(LONGLONG *count) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    *count = LONGLONG(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LONGLONG *freq) {
    *freq = 1000000000LL;
    return TRUE;
}

// ---- versions --------------------------------------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    std::memset(info, 0, sizeof(OSVERSIONINFOA));
    info->dwOSVersionInfoSize = size;
    if (kivMachineConfig()->os == KIV_OS_9X) {
        // Windows 98: 4.10, build 1998 (the high word of the build carries the version).
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 10;
        info->dwBuildNumber = 0x040A07CE;
        info->dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
        std::strcpy(info->szCSDVersion, " A ");
    } else {
        // Windows NT 4.0, build 1381, Service Pack 6.
        info->dwMajorVersion = 4;
        info->dwMinorVersion = 0;
        info->dwBuildNumber = 1381;
        info->dwPlatformId = VER_PLATFORM_WIN32_NT;
        std::strcpy(info->szCSDVersion, "Service Pack 6");
    }
    return TRUE;
}

}  // extern "C"
