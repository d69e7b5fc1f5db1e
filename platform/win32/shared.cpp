// Named kernel objects over POSIX shared memory: one shm object per name ("/kiv.<uid>.<name>",
// the name escaped), a header, the payload at a fixed offset.
//
// Lifetime as on the platform: the object lives while some process holds a handle to it. The
// header lists the processes that hold it (pid and count, under a spin lock); a process that
// died without closing is purged from the list whenever the list is looked at, so a named object
// left by a crashed process is never mistaken for a live one: the next open finds the list
// empty, deletes the stale object and creates a fresh one. The last holder unlinks the name.
//
// Space is reserved when an object is created (a mapping of a sparse file whose pages cannot be
// found later faults with SIGBUS in the middle of a write), so a full /dev/shm fails the create
// with a message instead. The names this process holds are also kept in a fixed table that a
// SIGINT or SIGTERM handler walks without locks: it drops this process's holds, unlinks what no
// live process holds any more, and lets the signal end the process as before.
//
// A process maps each named object once (all its handles share the mapping), so that a
// shared mutex's lock word always has one address in a process; a forked child takes over
// its parent's mappings and registers itself as a holder.
#include "platform/win32/internal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace kiv::win32 {
namespace {

constexpr int kHolders = 56;

struct Header {
    std::atomic<uint32_t> ready;  // 1 once the creator has initialised the payload
    std::atomic<uint32_t> dead;   // 1 once deleted (the name is being unlinked)
    std::atomic<uint32_t> lock;   // spin lock over the holder list
    uint32_t kindTag;
    uint32_t payloadSize;
    uint32_t payloadOffset;
    struct {
        int32_t pid;
        int32_t count;
    } holders[kHolders];
};
static_assert(sizeof(Header) <= 4096);
constexpr size_t kHeaderBytes = 4096;  // payloads start at or after this

// KIV_OBJECT_NAMESPACE keeps two simulated machines that run at once (two build trees testing side
// by side) from sharing their named objects; unset, every program of one user shares them.
std::string shmNameFor(const char *name) {
    std::string s = "/kiv." + std::to_string(getuid()) + ".";
    if (const char *ns = std::getenv("KIV_OBJECT_NAMESPACE"); ns && *ns) {
        for (const char *p = ns; *p; ++p) s += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        s += '.';
    }
    for (const char *p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-' || c == '.') {
            s += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            s += buf;
        }
    }
    if (s.size() > 250) s.resize(250);
    return s;
}

void lockHeader(Header *h) {
    for (int spin = 0;; ++spin) {
        uint32_t expected = 0;
        if (h->lock.compare_exchange_weak(expected, 1, std::memory_order_acquire)) return;
        if (spin > 200000) {  // a holder died inside the lock (a few seconds): take it over
            h->lock.store(0, std::memory_order_release);
            spin = 0;
        }
        if (spin > 100) usleep(10);
    }
}
void unlockHeader(Header *h) { h->lock.store(0, std::memory_order_release); }

bool alive(int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

// Drops holders that no longer exist; returns the number of holders left (lock held).
int purge(Header *h) {
    int live = 0;
    for (auto &e : h->holders) {
        if (e.pid && !alive(e.pid)) e = {0, 0};
        if (e.pid) ++live;
    }
    return live;
}

bool addHolder(Header *h, int32_t pid) {
    for (auto &e : h->holders)
        if (e.pid == pid) {
            e.count += 1;
            return true;
        }
    for (auto &e : h->holders)
        if (!e.pid) {
            e = {pid, 1};
            return true;
        }
    return false;
}

// One mapping per named object in this process. The table and its lock are never destroyed:
// objects held in other statics (a program's handles, a driver's mutex) are closed during static
// destruction, after a table destroyed with the statics would be gone.
struct Entry {
    SharedRegion region;
    int localRefs = 0;
};
std::mutex &cacheLock() {
    static std::mutex *m = new std::mutex;
    return *m;
}
std::map<std::string, Entry> &cache() {
    static auto *c = new std::map<std::string, Entry>;
    return *c;
}

void afterForkInChild() {
    // The child holds what its parent held (its copy of the handles).
    int32_t me = getpid();
    for (auto &[name, e] : cache()) {
        auto *h = static_cast<Header *>(e.region.base);
        lockHeader(h);
        addHolder(h, me);
        unlockHeader(h);
    }
}

void installForkHandler() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(nullptr, nullptr, afterForkInChild); });
}

bool mapAll(int fd, size_t total, void **base) {
    void *p = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    *base = p;
    return true;
}

// ---- failures of the shared-memory folder, said once per process ------------------------------

std::atomic<int> g_failReserve{0}, g_failCreate{0};   // test hooks: errno to fail with

// "kiv: ... /dev/shm (64.0 MB, 0.1 MB free): No space left on device" on stderr, once per reason.
void sayShmFailure(const char *what, const std::string &shm, int err) {
    static std::atomic<int> said{0};
    const int bit = err == ENOSPC ? 1 : err == EROFS ? 2 : 4;
    if (said.fetch_or(bit) & bit) return;
    struct statvfs fs;
    char room[96] = "";
    if (statvfs("/dev/shm", &fs) == 0)
        std::snprintf(room, sizeof room, " (%.1f MB, %.1f MB free)", double(fs.f_blocks) * fs.f_frsize / 1048576.0,
                      double(fs.f_bavail) * fs.f_frsize / 1048576.0);
    std::fprintf(stderr, "kiv: cannot %s the shared object %s in /dev/shm%s: %s\n", what, shm.c_str() + 1, room,
                 std::strerror(err));
}

// Gives a new shm object its size with the pages reserved; 0 or the errno.
int sizeAndReserve(int fd, size_t total) {
    if (int err = g_failReserve.load()) return err;
    if (ftruncate(fd, static_cast<off_t>(total)) != 0) return errno;
    return posix_fallocate(fd, 0, static_cast<off_t>(total));
}

// ---- the names held, for the signal handler -----------------------------------------------------

constexpr int kHeldSlots = 64;
struct HeldSlot {
    std::atomic<Header *> header;
    char shmName[256];
};
HeldSlot g_held[kHeldSlots];

void noteHeld(Header *h, const std::string &shm) {
    for (HeldSlot &slot : g_held)
        if (slot.header.load() == nullptr) {
            std::snprintf(slot.shmName, sizeof slot.shmName, "%s", shm.c_str());
            slot.header.store(h);
            return;
        }
}
void forgetHeld(Header *h) {
    for (HeldSlot &slot : g_held)
        if (slot.header.load() == h) slot.header.store(nullptr);
}

struct sigaction g_previous[2];
int signalIndex(int sig) { return sig == SIGINT ? 0 : 1; }

void onTerminatingSignal(int sig) {
    const int saved = errno;
    const int32_t me = getpid();
    for (HeldSlot &slot : g_held) {
        Header *h = slot.header.exchange(nullptr);
        if (h == nullptr) continue;
        lockHeader(h);
        for (auto &e : h->holders)
            if (e.pid == me) e = {0, 0};
        const bool last = purge(h) == 0;
        if (last) h->dead.store(1);
        unlockHeader(h);
        if (last) shm_unlink(slot.shmName);
    }
    // The default action again: the signal ends the process as it would have.
    sigaction(sig, &g_previous[signalIndex(sig)], nullptr);
    errno = saved;
    raise(sig);
}

void installSignalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : {SIGINT, SIGTERM}) {
            struct sigaction now;
            // A signal the program ignores or handles itself stays as it is.
            if (sigaction(sig, nullptr, &now) != 0 || (now.sa_flags & SA_SIGINFO) || now.sa_handler != SIG_DFL) continue;
            struct sigaction mine {};
            mine.sa_handler = onTerminatingSignal;
            sigemptyset(&mine.sa_mask);
            g_previous[signalIndex(sig)] = now;
            sigaction(sig, &mine, nullptr);
        }
    });
}

void fillOut(SharedRegion *out, const Entry &e, bool created) {
    *out = e.region;
    out->created = created;
}

}  // namespace

bool openShared(const char *name, uint32_t kindTag, size_t payloadSize, size_t payloadOffset,
                bool mayCreate, void (*init)(void *payload, void *arg), void *arg, SharedRegion *out) {
    *out = SharedRegion{};
    if (!name || !*name) {
        // Unnamed: private to this process (and its forked children), no header.
        int fd = memfd_create("kiv-unnamed", MFD_CLOEXEC);
        size_t total = payloadOffset + payloadSize;
        void *base = nullptr;
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(total)) != 0 || !mapAll(fd, total, &base)) {
            if (fd >= 0) close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        if (init) init(static_cast<uint8_t *>(base) + payloadOffset, arg);
        out->fd = fd;
        out->base = base;
        out->mapped = total;
        out->payloadOffset = payloadOffset;
        out->payloadSize = payloadSize;
        out->created = true;
        return true;
    }

    installForkHandler();
    installSignalHandlers();
    if (payloadOffset < kHeaderBytes) payloadOffset = kHeaderBytes;
    const std::string shm = shmNameFor(name);
    std::lock_guard<std::mutex> g(cacheLock());
    if (auto it = cache().find(shm); it != cache().end()) {
        auto *h = static_cast<Header *>(it->second.region.base);
        if (h->kindTag != kindTag) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        it->second.localRefs += 1;
        fillOut(out, it->second, false);
        return true;
    }
    const int32_t me = getpid();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (mayCreate) {
            const int injected = g_failCreate.load();
            int fd = injected ? -1 : shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (injected) errno = injected;
            if (fd >= 0) {
                size_t total = payloadOffset + payloadSize;
                void *base = nullptr;
                const int err = sizeAndReserve(fd, total);
                if (err != 0 || !mapAll(fd, total, &base)) {
                    if (err != 0) sayShmFailure("reserve space for", shm, err);
                    close(fd);
                    shm_unlink(shm.c_str());
                    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return false;
                }
                auto *h = static_cast<Header *>(base);
                h->kindTag = kindTag;
                h->payloadSize = static_cast<uint32_t>(payloadSize);
                h->payloadOffset = static_cast<uint32_t>(payloadOffset);
                h->holders[0] = {me, 1};
                if (init) init(static_cast<uint8_t *>(base) + payloadOffset, arg);
                h->ready.store(1, std::memory_order_release);
                Entry e;
                e.region = SharedRegion{fd, base, total, payloadOffset, payloadSize, true, true, shm};
                e.localRefs = 1;
                noteHeld(h, shm);
                fillOut(out, cache()[shm] = e, true);
                return true;
            }
            if (errno != EEXIST) {
                sayShmFailure("create", shm, errno);
                SetLastError(ERROR_ACCESS_DENIED);
                return false;
            }
        }
        int fd = shm_open(shm.c_str(), O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == ENOENT && mayCreate) continue;  // deleted meanwhile: create it anew
            SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
            return false;
        }
        // Wait (bounded) for the creator to size and initialise it.
        struct stat st;
        Header *h = nullptr;
        for (int spin = 0; spin < 20000; ++spin) {
            if (fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kHeaderBytes)) {
                void *p = nullptr;
                if (mapAll(fd, kHeaderBytes, &p)) h = static_cast<Header *>(p);
                break;
            }
            usleep(100);
        }
        for (int spin = 0; h && h->ready.load(std::memory_order_acquire) == 0 && spin < 20000; ++spin) usleep(100);
        bool stale = !h || h->ready.load(std::memory_order_acquire) == 0;
        bool taken = false;
        if (!stale) {
            lockHeader(h);
            if (h->dead.load()) {
                // being deleted by its last holder: the name goes away shortly
            } else if (purge(h) == 0) {
                stale = true;  // every holder is gone: left over by dead processes
                h->dead.store(1);
            } else if (h->kindTag == kindTag) {
                taken = addHolder(h, me);
            } else {
                unlockHeader(h);
                munmap(h, kHeaderBytes);
                close(fd);
                SetLastError(ERROR_INVALID_HANDLE);
                return false;
            }
            unlockHeader(h);
        }
        if (stale) shm_unlink(shm.c_str());
        if (!taken) {
            if (h) munmap(h, kHeaderBytes);
            close(fd);
            if (!stale) usleep(200);
            if (!mayCreate && stale) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return false;
            }
            continue;
        }
        size_t off = h->payloadOffset, size = h->payloadSize;
        munmap(h, kHeaderBytes);
        size_t total = off + size;
        void *base = nullptr;
        if (!mapAll(fd, total, &base)) {
            close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        Entry e;
        e.region = SharedRegion{fd, base, total, off, size, false, true, shm};
        e.localRefs = 1;
        noteHeld(static_cast<Header *>(base), shm);
        fillOut(out, cache()[shm] = e, false);
        return true;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

void releaseShared(SharedRegion *region) {
    if (!region->base) return;
    if (!region->named) {
        munmap(region->base, region->mapped);
        if (region->fd >= 0) close(region->fd);
        *region = SharedRegion{};
        return;
    }
    std::lock_guard<std::mutex> g(cacheLock());
    auto it = cache().find(region->shmName);
    *region = SharedRegion{};
    if (it == cache().end() || --it->second.localRefs > 0) return;
    SharedRegion r = it->second.region;
    cache().erase(it);
    auto *h = static_cast<Header *>(r.base);
    forgetHeld(h);
    const int32_t me = getpid();
    lockHeader(h);
    for (auto &e : h->holders)
        if (e.pid == me && --e.count <= 0) e = {0, 0};
    bool last = purge(h) == 0;
    if (last) h->dead.store(1);
    unlockHeader(h);
    if (last) shm_unlink(r.shmName.c_str());
    munmap(r.base, r.mapped);
    if (r.fd >= 0) close(r.fd);
}

void failSharedCreatesForTest(int createErrno, int reserveErrno) {
    g_failCreate.store(createErrno);
    g_failReserve.store(reserveErrno);
}

}  // namespace kiv::win32
