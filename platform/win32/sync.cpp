// Mutexes (unnamed and named, recursive, owned), waits, critical sections, interlocked
// operations. A mutex is a lock word in shared memory (a shm object named from the mutex name for
// a named one, so processes that open the name share it) holding the owner's thread id. A holder
// that dies leaves it abandoned: a waiter that finds the owner thread gone takes the mutex over and
// gets WAIT_ABANDONED. The owner's life is checked through /proc rather than left to the kernel's
// robust-futex list, which user-mode emulators of i386 do not implement.
#include "platform/win32/internal.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <new>

namespace kiv::win32 {
namespace {

constexpr uint32_t kMutexTag = 0x4D555458;  // 'MUTX'
constexpr size_t kMutexPayloadOffset = 64;
// How long a waiter sleeps before it looks again whether the owner still lives.
constexpr long kOwnerCheckNs = 20 * 1000000L;

// The shared part of a mutex. `owner` is the holder's kernel thread id (0: free) and the word the
// waiters sleep on; `recursion` is touched only by the holder; `waiters` says whether a release
// must wake anyone.
struct SharedMutex {
    std::atomic<int32_t> owner;
    int32_t recursion;
    std::atomic<int32_t> waiters;
};
static_assert(std::atomic<int32_t>::is_always_lock_free);

void initMutex(void *payload, void *) { new (payload) SharedMutex{{0}, 0, {0}}; }

// The calling thread's kernel id, cached per thread; a forked child's one thread has a new id, so
// the cache is dropped in the child.
std::atomic<uint32_t> g_forkGeneration{0};
void onForkChild() { g_forkGeneration.fetch_add(1); }

int32_t currentTid() {
    static const bool registered = pthread_atfork(nullptr, nullptr, onForkChild) == 0;
    (void)registered;
    static thread_local int32_t tid = 0;
    static thread_local uint32_t generation = 0;
    uint32_t g = g_forkGeneration.load(std::memory_order_relaxed);
    if (tid == 0 || generation != g) {
        tid = int32_t(syscall(SYS_gettid));
        generation = g;
    }
    return tid;
}

// Whether the thread with kernel id `tid` still runs: gone, or a zombie (a process's main thread
// that has exited), counts as dead.
bool threadLives(int32_t tid) {
    char path[48];
    snprintf(path, sizeof path, "/proc/%d/stat", int(tid));
    FILE *f = fopen(path, "re");
    if (!f) return errno != ENOENT && errno != ESRCH;
    char buf[256];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    // The state follows the last ')' (the command name may contain one).
    const char *p = nullptr;
    for (size_t i = 0; i < n; ++i)
        if (buf[i] == ')') p = buf + i;
    if (!p || p[1] != ' ') return true;
    return p[2] != 'Z' && p[2] != 'X' && p[2] != 'x';
}

void futexWait(std::atomic<int32_t> *word, int32_t expected, long ns) {
    struct timespec ts = {time_t(ns / 1000000000L), ns % 1000000000L};
    syscall(SYS_futex, reinterpret_cast<int32_t *>(word), FUTEX_WAIT, expected, &ts, nullptr, 0);
}

void futexWakeOne(std::atomic<int32_t> *word) {
    syscall(SYS_futex, reinterpret_cast<int32_t *>(word), FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

long long nowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Takes the mutex for this thread, waiting at most `ms` (INFINITE: for ever). Returns
// WAIT_OBJECT_0, WAIT_ABANDONED (taken over from a dead holder) or WAIT_TIMEOUT.
DWORD acquire(SharedMutex *m, DWORD ms) {
    const int32_t self = currentTid();
    if (m->owner.load(std::memory_order_relaxed) == self) {
        m->recursion += 1;
        return WAIT_OBJECT_0;
    }
    const long long deadline = ms == INFINITE ? 0 : nowNs() + (long long)ms * 1000000LL;
    for (;;) {
        int32_t seen = 0;
        if (m->owner.compare_exchange_strong(seen, self, std::memory_order_acquire)) {
            m->recursion = 1;
            return WAIT_OBJECT_0;
        }
        if (!threadLives(seen) && m->owner.compare_exchange_strong(seen, self, std::memory_order_acquire)) {
            m->recursion = 1;
            return WAIT_ABANDONED;
        }
        long slice = kOwnerCheckNs;
        if (ms != INFINITE) {
            long long left = deadline - nowNs();
            if (left <= 0) return WAIT_TIMEOUT;
            if (left < slice) slice = long(left);
        }
        m->waiters.fetch_add(1, std::memory_order_seq_cst);
        futexWait(&m->owner, seen, slice);
        m->waiters.fetch_sub(1, std::memory_order_relaxed);
    }
}

bool release(SharedMutex *m) {
    if (m->owner.load(std::memory_order_relaxed) != currentTid()) return false;
    if (--m->recursion > 0) return true;
    m->owner.store(0, std::memory_order_seq_cst);
    if (m->waiters.load(std::memory_order_seq_cst) > 0) futexWakeOne(&m->owner);
    return true;
}

struct MutexObject : KernelObject {
    MutexObject() : KernelObject(Kind::Mutex) {}
    ~MutexObject() override { releaseShared(&region); }
    SharedRegion region;
    SharedMutex *mutex() {
        return reinterpret_cast<SharedMutex *>(static_cast<uint8_t *>(region.base) + region.payloadOffset);
    }
};

HANDLE makeMutex(LPCSTR name, bool mayCreate, BOOL initialOwner) {
    auto m = std::make_shared<MutexObject>();
    if (!openShared(name, kMutexTag, sizeof(SharedMutex), kMutexPayloadOffset, mayCreate, initMutex,
                    nullptr, &m->region))
        return nullptr;
    bool existed = !m->region.created;
    if (initialOwner && !existed) acquire(m->mutex(), INFINITE);
    HANDLE h = insertHandle(m);
    SetLastError(existed && mayCreate ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

}  // namespace
}  // namespace kiv::win32

using namespace kiv::win32;

extern "C" {

HANDLE WINAPI CreateMutexA(void *, BOOL initialOwner, LPCSTR name) {
    return makeMutex(name, true, initialOwner);
}

HANDLE WINAPI OpenMutexA(DWORD, BOOL, LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return makeMutex(name, false, FALSE);
}

BOOL WINAPI ReleaseMutex(HANDLE mutex) {
    auto m = lookup<MutexObject>(mutex, Kind::Mutex);
    if (!m) return FALSE;
    if (!release(m->mutex())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD ms) {
    if (auto m = lookup<MutexObject>(handle, Kind::Mutex)) return acquire(m->mutex(), ms);
    bool isThread;
    DWORD r = waitThread(handle, ms, &isThread);
    if (isThread) return r;
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

// ---- critical sections: a recursive in-process mutex behind the record's impl word ----------

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
    auto *m = new pthread_mutex_t;
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &a);
    pthread_mutexattr_destroy(&a);
    cs->impl = m;
    cs->lockCount = -1;
    cs->recursion = 0;
    cs->owner = nullptr;
    cs->sem = nullptr;
    cs->spin = 0;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
    pthread_mutex_lock(static_cast<pthread_mutex_t *>(cs->impl));
    cs->recursion += 1;
    cs->owner = reinterpret_cast<HANDLE>(uintptr_t(GetCurrentThreadId()));
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    if (--cs->recursion == 0) cs->owner = nullptr;
    pthread_mutex_unlock(static_cast<pthread_mutex_t *>(cs->impl));
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    if (!cs->impl) return;
    auto *m = static_cast<pthread_mutex_t *>(cs->impl);
    pthread_mutex_destroy(m);
    delete m;
    cs->impl = nullptr;
}

// ---- interlocked -----------------------------------------------------------------------------

LONG WINAPI InterlockedExchange(volatile LONG *target, LONG value) {
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
LONG WINAPI InterlockedIncrement(volatile LONG *target) {
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
LONG WINAPI InterlockedDecrement(volatile LONG *target) {
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
LONG WINAPI InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand) {
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

}  // extern "C"
