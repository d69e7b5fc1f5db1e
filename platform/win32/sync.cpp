// Mutexes (unnamed and named, recursive, owned, robust), waits, critical sections, interlocked
// operations. A named mutex is a process-shared robust pthread mutex in a shm object named from
// the mutex name, so processes (forked or not) that open the name share it; a holder that dies
// leaves it abandoned (the next wait returns WAIT_ABANDONED and owns it).
#include "platform/win32/internal.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

namespace kiv::win32 {
namespace {

constexpr uint32_t kMutexTag = 0x4D555458;  // 'MUTX'
constexpr size_t kMutexPayloadOffset = 64;

void initMutex(void *payload, void *) {
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(static_cast<pthread_mutex_t *>(payload), &a);
    pthread_mutexattr_destroy(&a);
}

struct MutexObject : KernelObject {
    MutexObject() : KernelObject(Kind::Mutex) {}
    ~MutexObject() override { releaseShared(&region); }
    SharedRegion region;
    pthread_mutex_t *mutex() {
        return reinterpret_cast<pthread_mutex_t *>(static_cast<uint8_t *>(region.base) +
                                                   region.payloadOffset);
    }
};

DWORD lockResult(pthread_mutex_t *m, int rc) {
    if (rc == 0) return WAIT_OBJECT_0;
    if (rc == EOWNERDEAD) {
        pthread_mutex_consistent(m);
        return WAIT_ABANDONED;
    }
    if (rc == ETIMEDOUT || rc == EBUSY) return WAIT_TIMEOUT;
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE makeMutex(LPCSTR name, bool mayCreate, BOOL initialOwner) {
    auto m = std::make_shared<MutexObject>();
    if (!openShared(name, kMutexTag, sizeof(pthread_mutex_t), kMutexPayloadOffset, mayCreate, initMutex,
                    nullptr, &m->region))
        return nullptr;
    bool existed = !m->region.created;
    if (initialOwner && !existed) lockResult(m->mutex(), pthread_mutex_lock(m->mutex()));
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
    if (pthread_mutex_unlock(m->mutex()) != 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD ms) {
    if (auto m = lookup<MutexObject>(handle, Kind::Mutex)) {
        pthread_mutex_t *pm = m->mutex();
        if (ms == INFINITE) return lockResult(pm, pthread_mutex_lock(pm));
        if (ms == 0) return lockResult(pm, pthread_mutex_trylock(pm));
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        ts.tv_sec += ms / 1000;
        ts.tv_nsec += long(ms % 1000) * 1000000L;
        if (ts.tv_nsec >= 1000000000L) {
            ts.tv_sec += 1;
            ts.tv_nsec -= 1000000000L;
        }
        return lockResult(pm, pthread_mutex_timedlock(pm, &ts));
    }
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
