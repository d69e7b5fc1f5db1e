// The ZK3 graphics engine as a driver sees it: the user FIFO channel and the DMA pusher.
//
// The user FIFO area is 0x10000 bytes: eight subchannels of 0x2000 bytes. In a subchannel,
// dword 0 binds an object (the object's handle; a class object's handle is its class
// number), the u16 at 0x10 is the number of free FIFO bytes (124 when empty) and bytes
// 0x100-0x1FFF are the methods of the bound object. Writing a handle to method 0x300 of a
// bound class object creates an instance of that class; method 0x304 destroys one. Method
// 0x104 of an instance asks for a notification: when the instance next runs a method at
// 0x300 or above, the engine writes 0 into the status word (the u16 at byte 14) of the
// notifier memory object named by the instance's method 0x100.
//
// The DMA pusher control block is 0x2000 bytes. Writing 1 to its dword 0x1220 (with the
// pusher enabled through 0x500, 0x1200 and 0x1240) makes the pusher read the memory object
// bound at 0x1204 from offset 0x1228 for 0x1224 bytes, decode the method headers
// (count << 18 | subchannel << 13 | method) and feed the data words to the FIFO; 0x1220
// drops back to 0 when the buffer is consumed. A buffer's binds last while it runs: afterwards
// the subchannels hold again what the CPU side had bound there (unless the buffer destroyed it).
// Memory objects have a namespace of their own: an instance may carry a memory object's handle.
//
// Instances live in a channel. The display driver's channel takes the CPU's FIFO writes and the
// pushes of any buffer that is no DMA channel's push buffer. A DMA channel, announced by the
// resource manager that opens it (zk3EngineOpenChannel), takes the pushes of its push buffer: they
// run among its own instances and with the subchannel binds its previous push left, so two
// channels may use the same handles without meeting. Closing a channel removes its instances.
//
// The engine executes every FIFO write at once, so the FIFO always reads empty unless a test
// holds the free count down. Memory objects are announced by the resource manager that
// creates them (zk3EngineDefineMemory), so notifiers and command buffers can be found by
// handle. Per command buffer (memory object) the pusher checks that a push does not run into the
// start of another part pushed from before, and that the previous push's words are unchanged at
// the next push unless it covers them again; both are reported in zk3EngineErrors.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum : uint32_t {
    ZK3_FIFO_SIZE = 0x10000,
    ZK3_SUBCHANNEL_SIZE = 0x2000,
    ZK3_FIFO_FREE_EMPTY = 124,
    ZK3_PUSHER_BLOCK_SIZE = 0x2000,
};

// One write that reached the engine, from the CPU or from the DMA pusher.
struct Zk3FifoWrite {
    uint8_t subchannel;
    uint16_t method;    // byte offset within the subchannel (0 = bind)
    uint32_t value;
    uint32_t object;    // the object bound in the subchannel when the write ran
    bool fromPusher;
};

struct Zk3EngineObject {
    uint32_t handle;
    uint32_t cls;
    bool isMemory;      // a memory object announced by the resource manager
    uint32_t channel;   // the channel an instance lives in (0: the display driver's)
    uint32_t base, limit;
    std::vector<std::pair<uint16_t, uint32_t>> methods;   // last value per method, in first-write order
    uint32_t method(uint16_t m, uint32_t missing = 0xDEADBEEF) const;
};

struct Zk3PusherRun {
    uint32_t handle, start, length, p1, p2;
    uint32_t headers, dataWords;
    bool ok;
};

namespace kiv { class ZkChip; }

extern "C++" {

// The FIFO area and pusher block in use (allocated by the model unless attached elsewhere).
uint8_t *zk3EngineFifo();
uint8_t *zk3EnginePusherRegs();
// Places the model over host memory that a register model has mapped for these windows
// (either may be null to keep the model's own block).
void zk3EngineAttach(uint8_t *fifoWindow, uint8_t *pusherWindow);
// The engine status dword (busy while bits 0x80000001 are set): the model answers idle
// unless a test holds it busy. Registers a window over the 16 bytes at statusReg.
void zk3EngineAttachStatus(uint8_t *statusReg);
// Places the model inside a chip's register aperture: the FIFO at 0x800000 and the pusher
// block at 0x002000 become window handlers of the chip, and register accesses through the
// platform's accessors anywhere in the aperture reach the chip model. Null detaches (back to
// the model's own blocks). Leaves the engine at power-on state.
void zk3EngineAttachChip(kiv::ZkChip *chip);
kiv::ZkChip *zk3EngineChip();
// Back to power-on state: no objects, empty FIFO, pusher idle, logs cleared.
void zk3EngineReset();

// The resource manager announces memory objects and their removal.
void zk3EngineDefineMemory(uint32_t handle, uint32_t cls, uint32_t base, uint32_t limit);
void zk3EngineForgetMemory(uint32_t handle);
// ... and the DMA channels it opens (with the memory object their pushes run from) and closes.
// A power-on forgets both, as the chip does.
void zk3EngineOpenChannel(uint32_t channel, uint32_t pushBuffer);
void zk3EngineCloseChannel(uint32_t channel);

// Inspection. While a method runs, zk3EngineFind and zk3EngineForEachInstance see the running
// channel's instances only; otherwise (a test looking) every channel's, the display driver's
// first. Bound subchannels are the display driver's channel's. The log holds the most recent writes (at least zk3EngineLogKeep() of them once that
// many ran, never more than twice that); the counters count every write, push and error since
// power-on. The error list keeps the first 1024 reports.
const std::vector<Zk3FifoWrite> &zk3EngineLog();
void zk3EngineClearLog();
size_t zk3EngineLogKeep();
uint64_t zk3EngineWriteCount();
uint64_t zk3EnginePushCount();
uint64_t zk3EngineErrorCount();
// Changes whenever an object is created or destroyed, a memory object announced or forgotten, or
// a connection method (0x200-0x2FC) written: what is derived from the object graph can be kept
// until then.
uint64_t zk3EngineGraphGeneration();
void zk3EngineForEachInstance(const std::function<void(const Zk3EngineObject &)> &visit);
const Zk3EngineObject *zk3EngineFind(uint32_t handle);
uint32_t zk3EngineBound(unsigned subchannel);
size_t zk3EngineLiveInstances();                 // created through the FIFO and not destroyed
std::vector<uint32_t> zk3EngineInstanceHandles();
const std::vector<std::string> &zk3EngineErrors(); // handle collisions, unknown objects, bad pushes
const std::vector<Zk3PusherRun> &zk3EnginePusherRuns();   // the most recent runs

// Test controls: the next n reads of the free count answer `value` instead of the real count.
void zk3EngineHoldFreeCount(unsigned reads, uint16_t value);
// The next n reads of the engine status answer busy (0x80000001).
void zk3EngineHoldBusy(unsigned reads);
// While held, the engine writes no notifier (a notify, a memory copy, a flip): it writes them all
// when released, as a chip that stalled and recovered would.
void zk3EngineHoldNotifiers(bool hold);
// The engine's write of a notifier's status word (0), for the drawing objects: held while
// zk3EngineHoldNotifiers holds them. A null or unusable notifier is ignored.
void zk3EngineNotify(const Zk3EngineObject *notifier);
// Number of free-count reads so far.
uint64_t zk3EngineFreeCountReads();
// Number of DAC loads the DAC transfer object (class 0x0D) ran: its method 0x314 copies that many
// bytes of its memory object, one dword 0x00RRGGBB per index, into the chip's DAC.
uint64_t zk3EngineDacLoads();
// A read of a status that never changes aborts the process after this many reads in a row
// (0 turns the guard off); a driver spinning on a model that will never answer is a bug.
void zk3EngineSetSpinGuard(uint64_t reads);

}  // extern "C++"
