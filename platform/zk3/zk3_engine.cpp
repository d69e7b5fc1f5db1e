// The ZK3 engine model: the user FIFO, the DMA pusher, object creation and binding, notifiers,
// and the bounded record of what ran; drawing methods go on to the 2-D and triangle models.
#include "platform/zk3/zk3_engine.h"

#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_draw.h"
#include "platform/zk3/zk3_engine_mmio.h"
#include "platform/zk3/zk3_triangle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

// Registers of the pusher block that the model gives a meaning to.
enum : uint32_t {
    PUSH_BUSY = 0x100,        // busy bits 0x10111; the model is never busy between runs
    PUSH_ENABLE_A = 0x500,
    PUSH_ENABLE_B = 0x1200,
    PUSH_OBJECT = 0x1204,
    PUSH_FETCH_STATE = 0x1214,  // bit 4: fetcher idle
    PUSH_RUN = 0x1220,
    PUSH_LENGTH = 0x1224,
    PUSH_START = 0x1228,
    PUSH_PARAM2 = 0x122C,
    PUSH_PARAM1 = 0x1238,
    PUSH_ENABLE_C = 0x1240,
};

constexpr uint32_t kClassLimit = 0x100;  // handles below this are class objects
constexpr uint32_t kDisplayChannel = 0;  // the display driver's own channel
constexpr uint16_t kNotifierClass = 3;
constexpr uint32_t kDacTransferClass = 0x0D;
constexpr uint32_t kTriangleClass = 0x48;

// The write log keeps the most recent writes only: a long-running program must not grow it
// without bound. It holds between kLogKeep and 2 x kLogKeep entries once that many ran; the
// counters keep the totals.
constexpr size_t kLogKeep = 1u << 16;
constexpr size_t kRunsKeep = 1u << 12;
constexpr size_t kErrorsKeep = 1u << 10;

template <class T>
void keepRecent(std::vector<T> &v, size_t keep) {
    if (v.size() >= 2 * keep) v.erase(v.begin(), v.end() - static_cast<long>(keep));
}

// The instances of one channel and what its subchannels hold. The display driver's channel takes
// the CPU's FIFO writes and the pushes of every buffer that is no DMA channel's push buffer; a
// DMA channel takes the pushes of its push buffer. Channels do not see each other's instances, so
// two channels may give the same handle to objects of their own.
struct Channel {
    uint32_t pushBuffer = 0;                        // a DMA channel's push buffer
    std::map<uint32_t, Zk3EngineObject> objects;    // instances by handle
    std::map<uint32_t, bool> armed;                 // instance -> notify request pending
    uint32_t bound[8] = {};                         // a DMA channel's binds between its pushes
};

struct Engine {
    std::recursive_mutex lock;
    uint8_t *ownFifo = nullptr, *ownPusher = nullptr;
    uint8_t *fifo = nullptr, *pusher = nullptr, *status = nullptr;
    kiv::ZkChip *chip = nullptr;
    uint8_t *chipAperture = nullptr;   // kept apart: the chip may be gone when we detach
    std::map<uint32_t, Channel> channels;           // by channel handle; kDisplayChannel always there
    uint32_t running = kDisplayChannel;             // the channel whose methods run
    bool executing = false;                         // a method is running (drawing looks up objects)
    std::map<uint32_t, Zk3EngineObject> memory;    // memory objects by handle (a namespace of their own)
    uint32_t bound[8] = {};                         // the subchannels as the FIFO shows them
    std::vector<Zk3FifoWrite> log;
    std::vector<std::string> errors;
    std::vector<Zk3PusherRun> runs;
    unsigned holdReads = 0;
    uint16_t holdValue = 0;
    unsigned busyReads = 0;
    bool holdNotifiers = false;
    std::vector<uint32_t> heldNotifiers;             // status words not yet written
    uint64_t freeReads = 0;
    uint64_t idleSpins = 0;
    uint64_t spinGuard = 20000000;
    uint64_t dacLoads = 0;
    uint64_t writes = 0, pushes = 0, errorCount = 0;
    uint64_t graph = 1;   // changes whenever objects or their connections change

    void error(const char *fmt, uint32_t a, uint32_t b = 0) {
        char buf[160];
        std::snprintf(buf, sizeof buf, fmt, a, b);
        ++errorCount;
        if (errors.size() < kErrorsKeep) errors.emplace_back(buf);
    }

    void spun() {
        if (spinGuard && ++idleSpins > spinGuard) {
            std::fprintf(stderr, "zk3 engine: a status was polled %llu times without any write; "
                                 "the driver waits for something the engine will never do\n",
                         static_cast<unsigned long long>(idleSpins));
            std::abort();
        }
    }

    uint32_t &pusherReg(uint32_t off) { return *reinterpret_cast<uint32_t *>(pusher + off); }

    Channel &current() { return channels[running]; }

    bool isInstance(uint32_t h) {
        return current().objects.count(h) != 0;
    }
    bool isMemory(uint32_t h) {
        return memory.count(h) != 0;
    }

    static void setMethod(Zk3EngineObject &o, uint16_t m, uint32_t v) {
        for (auto &p : o.methods)
            if (p.first == m) { p.second = v; return; }
        o.methods.emplace_back(m, v);
    }

    void fireNotify(Zk3EngineObject &o) {
        uint32_t n = o.method(0x100, 0);
        auto it = memory.find(n);
        if (it == memory.end() || it->second.cls != kNotifierClass ||
            it->second.limit < 15) {
            error("notify from object 0x%X names no notifier (0x%X)", o.handle, n);
            return;
        }
        writeNotifier(it->second);
    }

    void writeNotifier(const Zk3EngineObject &n) {
        const uint32_t status = n.base + 14;
        if (holdNotifiers)
            heldNotifiers.push_back(status);
        else
            *reinterpret_cast<volatile uint16_t *>(static_cast<uintptr_t>(status)) = 0;
    }

    void execute(unsigned sub, uint16_t m, uint32_t v, bool fromPusher) {
        executing = true;
        run(sub, m, v, fromPusher);
        executing = false;
    }

    void run(unsigned sub, uint16_t m, uint32_t v, bool fromPusher) {
        std::map<uint32_t, Zk3EngineObject> &objects = current().objects;
        std::map<uint32_t, bool> &armed = current().armed;
        keepRecent(log, kLogKeep);
        log.push_back({static_cast<uint8_t>(sub), m, v, bound[sub], fromPusher});
        ++writes;
        if (m == 0) {
            if (v >= kClassLimit && !isInstance(v))
                error("bind of unknown object 0x%X in subchannel %u", v, sub);
            bound[sub] = v;
            return;
        }
        if (m < 0x100) return;   // the channel's own words (free count) take no writes
        uint32_t h = bound[sub];
        if (h == 0) {
            error("method 0x%X in subchannel %u with no object bound", m, sub);
            return;
        }
        if (h < kClassLimit) {
            if (m == 0x300) {
                if (v < kClassLimit || objects.count(v)) {
                    error("create of 0x%X (class 0x%X) collides with a live handle", v, h);
                    return;
                }
                Zk3EngineObject o{};
                o.handle = v;
                o.cls = h;
                o.channel = running;
                objects[v] = o;
                ++graph;
            } else if (m == 0x304) {
                auto it = objects.find(v);
                if (it == objects.end()) {
                    error("destroy of unknown object 0x%X (class 0x%X)", v, h);
                    return;
                }
                if (it->second.cls != h)
                    error("destroy of 0x%X through class 0x%X, not its own", v, h);
                if (it->second.cls == kTriangleClass) zk3TriangleForget(it->second);
                objects.erase(it);
                armed.erase(v);
                ++graph;
                for (uint32_t &b : bound)
                    if (b == v) b = 0;
            }
            return;
        }
        auto it = objects.find(h);
        if (it == objects.end()) {
            error("method 0x%X of vanished object 0x%X", m, h);
            return;
        }
        Zk3EngineObject &o = it->second;
        // Vertex data of the triangle class is a stream, not state: it is not kept per method.
        if (!(o.cls == kTriangleClass && m >= 0x1000)) setMethod(o, m, v);
        if (m >= 0x200 && m < 0x300) ++graph;
        zk3DrawMethod(o, m, v);
        if (o.cls == kDacTransferClass && m == 0x314) loadDac(o, v);
        if (m >= 0x100 && m < 0x180 && v != 0 && m != 0x104 && !isMemory(v))
            error("object 0x%X names unknown memory object 0x%X", h, v);
        if (m >= 0x200 && m < 0x2FC && v != 0 && !isInstance(v))
            error("object 0x%X connects to unknown object 0x%X", h, v);
        if (m == 0x104) {
            armed[h] = true;
        } else if (m >= 0x300 && armed[h]) {
            armed[h] = false;
            fireNotify(o);
        }
    }

    // The DAC transfer object copies `bytes` of its memory object (method 0x300) from the
    // offset in method 0x310 into the DAC: one dword 0x00RRGGBB per index, from index 0.
    void loadDac(const Zk3EngineObject &o, uint32_t bytes) {
        ++dacLoads;
        auto mem = memory.find(o.method(0x300, 0));
        const uint32_t offset = o.method(0x310, 0);
        if (mem == memory.end()) {
            error("DAC transfer from object 0x%X, which is no memory object", o.method(0x300, 0));
            return;
        }
        if (static_cast<uint64_t>(offset) + bytes > static_cast<uint64_t>(mem->second.limit) + 1 || bytes > 1024) {
            error("DAC transfer of 0x%X bytes from offset 0x%X outside its memory object", bytes, offset);
            return;
        }
        const auto *src = reinterpret_cast<const uint8_t *>(static_cast<uintptr_t>(mem->second.base) + offset);
        for (uint32_t n = 0; n < bytes / 4 && chip; ++n)
            chip->loadDacEntry(static_cast<uint8_t>(n), src[4 * n + 2], src[4 * n + 1], src[4 * n]);
    }

    // A client fills one part of its buffer (a half) while the engine may still read the part it
    // pushed before. So a push must not run into the start of another part it pushed from, and
    // the previous push's words must be as they were when it was pushed, unless this push covers
    // them again (the buffer started over).
    struct PushedRange {
        uint32_t start = 0, length = 0;
        uint64_t sum = 0;
        std::vector<uint32_t> starts;   // where this buffer's pushes began (its halves)
    };
    std::map<uint32_t, PushedRange> pushed;   // by memory object

    static uint64_t checksum(const uint32_t *w, uint32_t n) {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t i = 0; i < n; ++i) h = (h ^ w[i]) * 1099511628211ull;
        return h;
    }

    void checkHalves(const Zk3PusherRun &r, const uint32_t *words) {
        PushedRange &p = pushed[r.handle];
        const uint64_t end = uint64_t(r.start) + r.length;
        for (uint32_t s : p.starts)
            if (s > r.start && s < end)
                error("push from 0x%X runs into the part of the buffer pushed from 0x%X", r.start, s);
        if (p.length != 0) {
            const uint64_t prevEnd = uint64_t(p.start) + p.length;
            const bool overlaps = p.start < end && r.start < prevEnd;
            const auto *prev = reinterpret_cast<const uint32_t *>(reinterpret_cast<const uint8_t *>(words) -
                                                                  r.start + p.start);
            if (!overlaps && checksum(prev, p.length / 4) != p.sum)
                error("the words pushed from 0x%X (0x%X bytes) changed before the next push", p.start, p.length);
        }
        if (p.starts.size() < 8 && std::find(p.starts.begin(), p.starts.end(), r.start) == p.starts.end())
            p.starts.push_back(r.start);
        p.start = r.start;
        p.length = r.length;
        p.sum = checksum(words, r.length / 4);
    }

    void runPusher() {
        keepRecent(runs, kRunsKeep);
        ++pushes;
        Zk3PusherRun r{};
        r.handle = pusherReg(PUSH_OBJECT);
        r.start = pusherReg(PUSH_START);
        r.length = pusherReg(PUSH_LENGTH);
        r.p1 = pusherReg(PUSH_PARAM1);
        r.p2 = pusherReg(PUSH_PARAM2);
        auto it = memory.find(r.handle);
        if (it == memory.end()) {
            error("pusher started over unknown memory object 0x%X", r.handle);
            runs.push_back(r);
            return;
        }
        const Zk3EngineObject &mem = it->second;
        uint64_t end = static_cast<uint64_t>(r.start) + r.length;
        if (end > static_cast<uint64_t>(mem.limit) + 1 || (r.start & 3) || (r.length & 3)) {
            error("pusher range 0x%X+0x%X outside its memory object", r.start, r.length);
            runs.push_back(r);
            return;
        }
        const uint32_t *words = reinterpret_cast<const uint32_t *>(static_cast<uintptr_t>(mem.base) + r.start);
        checkHalves(r, words);
        uint32_t n = r.length / 4, i = 0;
        r.ok = true;
        // A DMA channel's buffer runs among that channel's instances, with the binds its last
        // push left. Any other buffer runs in the display driver's channel as the CPU left it,
        // but its binds are its own. Either way the engine switches back to the subchannel
        // objects the CPU side had bound (those that still exist) when the buffer is done.
        uint32_t cpuBound[8];
        std::memcpy(cpuBound, bound, sizeof bound);
        running = channelOfPushBuffer(r.handle);
        if (running != kDisplayChannel) std::memcpy(bound, current().bound, sizeof bound);
        while (i < n) {
            uint32_t hdr = words[i++];
            uint32_t count = hdr >> 18, sub = (hdr >> 13) & 7, method = hdr & 0x1FFC;
            ++r.headers;
            if (i + count > n) {
                error("method header 0x%X runs past the end of the buffer (word %u)", hdr, i - 1);
                r.ok = false;
                break;
            }
            for (uint32_t k = 0; k < count; ++k, ++i) {
                uint16_t m = static_cast<uint16_t>(method + 4 * k);
                *reinterpret_cast<uint32_t *>(fifo + sub * ZK3_SUBCHANNEL_SIZE + m) = words[i];
                execute(sub, m, words[i], true);
                ++r.dataWords;
            }
        }
        if (running != kDisplayChannel) std::memcpy(current().bound, bound, sizeof bound);
        running = kDisplayChannel;
        for (unsigned k = 0; k < 8; ++k) {
            bound[k] = cpuBound[k] < kClassLimit || isInstance(cpuBound[k]) ? cpuBound[k] : 0;
            *reinterpret_cast<uint32_t *>(fifo + k * ZK3_SUBCHANNEL_SIZE) = bound[k];
        }
        runs.push_back(r);
    }

    uint32_t channelOfPushBuffer(uint32_t handle) const {
        for (const auto &c : channels)
            if (c.first != kDisplayChannel && c.second.pushBuffer == handle) return c.first;
        return kDisplayChannel;
    }

    void powerOn() {
        channels.clear();
        channels[kDisplayChannel];
        running = kDisplayChannel;
        memory.clear();
        for (auto &b : bound) b = 0;
        log.clear();
        errors.clear();
        runs.clear();
        pushed.clear();
        holdReads = busyReads = 0;
        holdNotifiers = false;
        heldNotifiers.clear();
        freeReads = idleSpins = 0;
        dacLoads = 0;
        writes = pushes = errorCount = 0;
        ++graph;
        zk3DrawReset();
        std::memset(fifo, 0, ZK3_FIFO_SIZE);
        for (unsigned s = 0; s < 8; ++s)
            *reinterpret_cast<uint16_t *>(fifo + s * ZK3_SUBCHANNEL_SIZE + 0x10) = ZK3_FIFO_FREE_EMPTY;
        std::memset(pusher, 0, ZK3_PUSHER_BLOCK_SIZE);
        pusherReg(PUSH_ENABLE_A) = 1;
        pusherReg(PUSH_ENABLE_C) = 1;
        pusherReg(PUSH_FETCH_STATE) = 0x10;
    }
};

uint32_t readBytes(const uint8_t *p, unsigned width) {
    switch (width) {
    case 1: return *p;
    case 2: return *reinterpret_cast<const uint16_t *>(p);
    default: return *reinterpret_cast<const uint32_t *>(p);
    }
}

void writeBytes(uint8_t *p, uint32_t v, unsigned width) {
    switch (width) {
    case 1: *p = static_cast<uint8_t>(v); break;
    case 2: *reinterpret_cast<uint16_t *>(p) = static_cast<uint16_t>(v); break;
    default: *reinterpret_cast<uint32_t *>(p) = v; break;
    }
}

uint32_t fifoRead(void *ctx, uint32_t off, unsigned width);
void fifoWrite(void *ctx, uint32_t off, uint32_t value, unsigned width);
uint32_t pusherRead(void *ctx, uint32_t off, unsigned width);
void pusherWrite(void *ctx, uint32_t off, uint32_t value, unsigned width);
uint32_t statusRead(void *ctx, uint32_t off, unsigned width);

Engine &engine() {
    static Engine *e = [] {
        Engine *n = new Engine;
        n->ownFifo = static_cast<uint8_t *>(std::aligned_alloc(4096, ZK3_FIFO_SIZE));
        n->ownPusher = static_cast<uint8_t *>(std::aligned_alloc(4096, ZK3_PUSHER_BLOCK_SIZE));
        n->fifo = n->ownFifo;
        n->pusher = n->ownPusher;
        n->powerOn();
        KivMmioWindow f{n->fifo, ZK3_FIFO_SIZE, n, fifoRead, fifoWrite};
        KivMmioWindow p{n->pusher, ZK3_PUSHER_BLOCK_SIZE, n, pusherRead, pusherWrite};
        kivMmioAddWindow(&f);
        kivMmioAddWindow(&p);
        return n;
    }();
    return *e;
}

uint32_t fifoRead(void *ctx, uint32_t off, unsigned width) {
    Engine &e = *static_cast<Engine *>(ctx);
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if ((off & (ZK3_SUBCHANNEL_SIZE - 1)) == 0x10) {
        ++e.freeReads;
        e.spun();
        if (e.holdReads) {
            --e.holdReads;
            return e.holdValue;
        }
        return ZK3_FIFO_FREE_EMPTY;
    }
    return readBytes(e.fifo + off, width);
}

void fifoWrite(void *ctx, uint32_t off, uint32_t value, unsigned width) {
    Engine &e = *static_cast<Engine *>(ctx);
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.idleSpins = 0;
    uint32_t m = off & (ZK3_SUBCHANNEL_SIZE - 1);
    if (m == 0x10) return;   // the free count is read-only
    writeBytes(e.fifo + off, value, width);
    if (width != 4 || (m & 3)) {
        e.error("FIFO write of %u bytes at offset 0x%X; the FIFO takes whole dwords", width, off);
        return;
    }
    e.execute(off / ZK3_SUBCHANNEL_SIZE, static_cast<uint16_t>(m), value, false);
}

uint32_t pusherRead(void *ctx, uint32_t off, unsigned width) {
    Engine &e = *static_cast<Engine *>(ctx);
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.spun();
    uint32_t dword = off & ~3u;
    uint32_t v = *reinterpret_cast<uint32_t *>(e.pusher + dword);
    if (dword == PUSH_BUSY) v &= ~0x10111u;
    if (dword == PUSH_FETCH_STATE) v |= 0x10;
    v >>= 8 * (off & 3);
    return width == 1 ? (v & 0xFF) : width == 2 ? (v & 0xFFFF) : v;
}

void pusherWrite(void *ctx, uint32_t off, uint32_t value, unsigned width) {
    Engine &e = *static_cast<Engine *>(ctx);
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.idleSpins = 0;
    writeBytes(e.pusher + off, value, width);
    if (off == PUSH_RUN && width == 4 && value == 1) {
        bool enabled = (e.pusherReg(PUSH_ENABLE_A) & 1) && (e.pusherReg(PUSH_ENABLE_B) & 1) &&
                       (e.pusherReg(PUSH_ENABLE_C) & 1);
        if (enabled) e.runPusher();
        else e.error("pusher run requested while disabled (object 0x%X)", e.pusherReg(PUSH_OBJECT));
        e.pusherReg(PUSH_RUN) = 0;
    }
}

uint32_t statusRead(void *ctx, uint32_t off, unsigned width) {
    Engine &e = *static_cast<Engine *>(ctx);
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.spun();
    if (off < 4 && e.busyReads) {
        --e.busyReads;
        return width == 4 ? 0x80000001u : 1u;
    }
    return readBytes(e.status + off, width) & (off < 4 ? ~0x80000001u : ~0u);
}

}  // namespace

uint32_t Zk3EngineObject::method(uint16_t m, uint32_t missing) const {
    for (const auto &p : methods)
        if (p.first == m) return p.second;
    return missing;
}

uint8_t *zk3EngineFifo() { return engine().fifo; }
uint8_t *zk3EnginePusherRegs() { return engine().pusher; }

void zk3EngineAttach(uint8_t *fifoWindow, uint8_t *pusherWindow) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if (fifoWindow && fifoWindow != e.fifo) {
        kivMmioRemoveWindow(e.fifo);
        e.fifo = fifoWindow;
        KivMmioWindow f{e.fifo, ZK3_FIFO_SIZE, &e, fifoRead, fifoWrite};
        kivMmioAddWindow(&f);
    }
    if (pusherWindow && pusherWindow != e.pusher) {
        kivMmioRemoveWindow(e.pusher);
        e.pusher = pusherWindow;
        KivMmioWindow p{e.pusher, ZK3_PUSHER_BLOCK_SIZE, &e, pusherRead, pusherWrite};
        kivMmioAddWindow(&p);
    }
    e.powerOn();
}

namespace {

constexpr uint32_t kChipFifoOffset = 0x800000;
constexpr uint32_t kChipPusherOffset = 0x002000;

uint32_t chipRead(void *ctx, uint32_t off, unsigned width) {
    return static_cast<kiv::ZkChip *>(ctx)->read(off, width);
}
void chipWrite(void *ctx, uint32_t off, uint32_t value, unsigned width) {
    static_cast<kiv::ZkChip *>(ctx)->write(off, value, width);
}

}  // namespace

void zk3EngineAttachChip(kiv::ZkChip *chip) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if (e.chipAperture) kivMmioRemoveWindow(e.chipAperture);
    e.chipAperture = nullptr;
    kivMmioRemoveWindow(e.fifo);
    kivMmioRemoveWindow(e.pusher);
    e.chip = chip;
    if (!chip) {
        e.fifo = e.ownFifo;
        e.pusher = e.ownPusher;
        KivMmioWindow f{e.fifo, ZK3_FIFO_SIZE, &e, fifoRead, fifoWrite};
        KivMmioWindow p{e.pusher, ZK3_PUSHER_BLOCK_SIZE, &e, pusherRead, pusherWrite};
        kivMmioAddWindow(&f);
        kivMmioAddWindow(&p);
        e.powerOn();
        return;
    }
    e.chipAperture = chip->aperture();
    e.fifo = chip->aperture() + kChipFifoOffset;
    e.pusher = chip->aperture() + kChipPusherOffset;
    Engine *pe = &e;
    chip->addWindowHandler(
        kChipFifoOffset, ZK3_FIFO_SIZE,
        [pe](uint32_t off, unsigned size, uint32_t &value) {
            value = fifoRead(pe, off - kChipFifoOffset, size);
            return true;
        },
        [pe](uint32_t off, uint32_t value, unsigned size) {
            fifoWrite(pe, off - kChipFifoOffset, value, size);
            return true;
        });
    chip->addWindowHandler(
        kChipPusherOffset, ZK3_PUSHER_BLOCK_SIZE,
        [pe](uint32_t off, unsigned size, uint32_t &value) {
            value = pusherRead(pe, off - kChipPusherOffset, size);
            return true;
        },
        [pe](uint32_t off, uint32_t value, unsigned size) {
            pusherWrite(pe, off - kChipPusherOffset, value, size);
            return true;
        });
    KivMmioWindow a{chip->aperture(), kiv::ZkChip::kApertureSize, chip, chipRead, chipWrite};
    kivMmioAddWindow(&a);
    e.powerOn();
}

kiv::ZkChip *zk3EngineChip() { return engine().chip; }

void zk3EngineAttachStatus(uint8_t *statusReg) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if (e.status) kivMmioRemoveWindow(e.status);
    e.status = statusReg;
    if (statusReg) {
        KivMmioWindow s{statusReg, 16, &e, statusRead, nullptr};
        kivMmioAddWindow(&s);
    }
}

void zk3EngineReset() {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.powerOn();
}

void zk3EngineDefineMemory(uint32_t handle, uint32_t cls, uint32_t base, uint32_t limit) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    ++e.graph;
    if (e.memory.count(handle))
        e.error("memory object 0x%X collides with a live handle", handle);
    e.pushed.erase(handle);
    Zk3EngineObject o{};
    o.handle = handle;
    o.cls = cls;
    o.isMemory = true;
    o.base = base;
    o.limit = limit;
    e.memory[handle] = o;
}

void zk3EngineForgetMemory(uint32_t handle) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    ++e.graph;
    e.pushed.erase(handle);
    e.memory.erase(handle);
}

void zk3EngineOpenChannel(uint32_t channel, uint32_t pushBuffer) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if (channel == kDisplayChannel || e.channels.count(channel)) {
        e.error("DMA channel 0x%X collides with an open channel", channel);
        return;
    }
    e.channels[channel].pushBuffer = pushBuffer;
}

void zk3EngineCloseChannel(uint32_t channel) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    // A channel the engine does not know went with a power-on, like the memory objects.
    auto it = e.channels.find(channel);
    if (channel == kDisplayChannel || it == e.channels.end()) return;
    for (const auto &p : it->second.objects)
        if (p.second.cls == kTriangleClass) zk3TriangleForget(p.second);
    e.channels.erase(it);
    ++e.graph;
}

const std::vector<Zk3FifoWrite> &zk3EngineLog() { return engine().log; }
void zk3EngineClearLog() {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.log.clear();
}
size_t zk3EngineLogKeep() { return kLogKeep; }
uint64_t zk3EngineWriteCount() { return engine().writes; }
uint64_t zk3EnginePushCount() { return engine().pushes; }
uint64_t zk3EngineErrorCount() { return engine().errorCount; }
uint64_t zk3EngineGraphGeneration() { return engine().graph; }

void zk3EngineForEachInstance(const std::function<void(const Zk3EngineObject &)> &visit) {
    Engine &e = engine();
    for (const auto &c : e.channels)
        if (!e.executing || c.first == e.running)
            for (const auto &p : c.second.objects) visit(p.second);
}

const Zk3EngineObject *zk3EngineFind(uint32_t handle) {
    Engine &e = engine();
    for (const auto &c : e.channels) {
        if (e.executing && c.first != e.running) continue;
        auto it = c.second.objects.find(handle);
        if (it != c.second.objects.end()) return &it->second;
    }
    auto m = e.memory.find(handle);
    return m == e.memory.end() ? nullptr : &m->second;
}

uint32_t zk3EngineBound(unsigned subchannel) { return engine().bound[subchannel & 7]; }

size_t zk3EngineLiveInstances() {
    size_t n = 0;
    for (const auto &c : engine().channels) n += c.second.objects.size();
    return n;
}

std::vector<uint32_t> zk3EngineInstanceHandles() {
    std::vector<uint32_t> v;
    for (const auto &c : engine().channels)
        for (const auto &p : c.second.objects) v.push_back(p.first);
    return v;
}

const std::vector<std::string> &zk3EngineErrors() { return engine().errors; }
const std::vector<Zk3PusherRun> &zk3EnginePusherRuns() { return engine().runs; }

void zk3EngineHoldFreeCount(unsigned reads, uint16_t value) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.holdReads = reads;
    e.holdValue = value;
}

void zk3EngineHoldBusy(unsigned reads) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.busyReads = reads;
}

void zk3EngineNotify(const Zk3EngineObject *notifier) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    if (notifier != nullptr && notifier->isMemory && notifier->limit >= 15) e.writeNotifier(*notifier);
}

void zk3EngineHoldNotifiers(bool hold) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.holdNotifiers = hold;
    if (hold) return;
    for (uint32_t status : e.heldNotifiers) *reinterpret_cast<volatile uint16_t *>(static_cast<uintptr_t>(status)) = 0;
    e.heldNotifiers.clear();
}

uint64_t zk3EngineFreeCountReads() { return engine().freeReads; }
uint64_t zk3EngineDacLoads() { return engine().dacLoads; }

void zk3EngineSetSpinGuard(uint64_t reads) {
    Engine &e = engine();
    std::lock_guard<std::recursive_mutex> g(e.lock);
    e.spinGuard = reads;
}
