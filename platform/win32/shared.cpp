// Named kernel objects over POSIX shared memory: one shm object per name ("/kiv.<uid>.<name>",
// the name escaped), a 64-byte header (ready flag, reference count of all processes' opens,
// kind, payload size), the payload at a fixed offset. The last release unlinks the name, as the
// platform deletes a named object when its last handle closes.
#include "platform/win32/internal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kiv::win32 {
namespace {

struct Header {
    std::atomic<uint32_t> ready;   // 1 once the creator has initialised the payload
    std::atomic<int32_t> refs;     // opens in all processes; 0 = being deleted
    uint32_t kindTag;
    uint32_t payloadSize;
    uint32_t payloadOffset;
};
static_assert(sizeof(Header) <= 64);

std::string shmNameFor(const char *name) {
    std::string s = "/kiv." + std::to_string(getuid()) + ".";
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

void pause(int us) { usleep(us); }

}  // namespace

bool openShared(const char *name, uint32_t kindTag, size_t payloadSize, size_t payloadOffset,
                bool mayCreate, void (*init)(void *payload, void *arg), void *arg, SharedRegion *out) {
    *out = SharedRegion{};
    if (!name || !*name) {
        // Unnamed: private to this process (and its forked children), no header.
        int fd = memfd_create("kiv-unnamed", MFD_CLOEXEC);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(payloadOffset + payloadSize)) != 0) {
            if (fd >= 0) close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        size_t total = payloadOffset + payloadSize;
        void *base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base == MAP_FAILED) {
            close(fd);
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

    const std::string shm = shmNameFor(name);
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (mayCreate) {
            int fd = shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                size_t total = payloadOffset + payloadSize;
                void *base = MAP_FAILED;
                if (ftruncate(fd, static_cast<off_t>(total)) == 0)
                    base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                if (base == MAP_FAILED) {
                    close(fd);
                    shm_unlink(shm.c_str());
                    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return false;
                }
                auto *h = static_cast<Header *>(base);
                h->kindTag = kindTag;
                h->payloadSize = static_cast<uint32_t>(payloadSize);
                h->payloadOffset = static_cast<uint32_t>(payloadOffset);
                h->refs.store(1);
                if (init) init(static_cast<uint8_t *>(base) + payloadOffset, arg);
                h->ready.store(1, std::memory_order_release);
                out->fd = fd;
                out->base = base;
                out->mapped = total;
                out->payloadOffset = payloadOffset;
                out->payloadSize = payloadSize;
                out->created = true;
                out->named = true;
                out->shmName = shm;
                return true;
            }
            if (errno != EEXIST) {
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
        bool stale = false;
        for (int spin = 0;; ++spin) {
            if (fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(sizeof(Header))) {
                void *p = mmap(nullptr, sizeof(Header), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
                if (p != MAP_FAILED) {
                    h = static_cast<Header *>(p);
                    while (h->ready.load(std::memory_order_acquire) == 0 && spin < 20000) {
                        pause(100);
                        ++spin;
                    }
                    if (h->ready.load(std::memory_order_acquire) == 0) stale = true;
                }
                break;
            }
            if (spin > 20000) {
                stale = true;
                break;
            }
            pause(100);
        }
        if (stale || !h) {
            // A creator died half-way: drop the name and try again.
            if (h) munmap(h, sizeof(Header));
            close(fd);
            shm_unlink(shm.c_str());
            continue;
        }
        if (h->kindTag != kindTag) {
            munmap(h, sizeof(Header));
            close(fd);
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        int32_t r = h->refs.load();
        bool taken = false;
        while (r > 0) {
            if (h->refs.compare_exchange_weak(r, r + 1)) {
                taken = true;
                break;
            }
        }
        if (!taken) {  // being deleted by its last user; the name goes away shortly
            munmap(h, sizeof(Header));
            close(fd);
            pause(200);
            continue;
        }
        size_t off = h->payloadOffset, size = h->payloadSize;
        munmap(h, sizeof(Header));
        size_t total = off + size;
        void *base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base == MAP_FAILED) {
            close(fd);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        out->fd = fd;
        out->base = base;
        out->mapped = total;
        out->payloadOffset = off;
        out->payloadSize = size;
        out->created = false;
        out->named = true;
        out->shmName = shm;
        return true;
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

void releaseShared(SharedRegion *region) {
    if (!region->base) return;
    if (region->named) {
        auto *h = static_cast<Header *>(region->base);
        if (h->refs.fetch_sub(1) == 1) shm_unlink(region->shmName.c_str());
    }
    munmap(region->base, region->mapped);
    if (region->fd >= 0) close(region->fd);
    *region = SharedRegion{};
}

}  // namespace kiv::win32
