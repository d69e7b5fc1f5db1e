// Register-file model of the ZK3 and ZK4 graphics chips: the register aperture (PCI range 0),
// the frame-buffer aperture (PCI range 1) with the video memory at its start, the VGA register
// file reached through I/O ports and through its memory-mapped aliases, the legacy VGA memory
// window, boot straps and PLLs. Writes are recorded in order (the most recent ones, with a count of
// all); reads answer from the state.
//
// Other models (the drawing engine's FIFO and DMA pusher) attach to address windows of the
// register aperture with addWindowHandler; plain stores through a mapped pointer land in the
// aperture's backing memory (aperture()).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kiv {

enum class ZkChipKind { ZK3, ZK4 };

// PCI identities of the two chips (the device id is the chip code).
constexpr uint16_t kZkPciVendorId = 0x1D5A;
constexpr uint16_t kZk3PciDeviceId = 24;
constexpr uint16_t kZk4PciDeviceId = 32;

struct ZkChipConfig {
    ZkChipKind kind = ZkChipKind::ZK3;
    uint32_t memoryBytes = 8u << 20;  // installed video memory; selects the memory-size straps
    bool bus128 = false;              // strap bit 2: 128-bit memory bus
    bool crystal14318 = false;        // register 0x101000 bit 6: 14.318 MHz reference crystal
    bool scaledOutput = false;        // CRTC 0x28 bit 7: the scaled (TV) output is connected
    uint8_t scaledOutputKind = 2;     // CRTC 0x28 bits 6-7 with the scaled output
    int strapOverride = -1;           // >= 0: raw value of strap bits 0-1 instead of memoryBytes
};

// Where an access went.
enum ZkSpace : uint8_t {
    kZkSpaceRegisters = 0,   // register aperture offset
    kZkSpaceFrameBuffer = 1, // frame-buffer aperture offset
    kZkSpacePort = 2,        // VGA I/O port number
    kZkSpaceVgaMemory = 3,   // offset in the legacy 0xA0000 window
};

struct ZkRegWrite {
    uint8_t space;     // ZkSpace
    uint8_t size;      // 1, 2 or 4 bytes
    uint32_t offset;   // offset in the space (port number for ports)
    uint32_t value;
    bool operator==(const ZkRegWrite &) const = default;
};

class ZkChip {
public:
    static constexpr uint32_t kApertureSize = 0x1000000;     // PCI range 0
    static constexpr uint32_t kFrameBufferSize = 0x1000000;  // PCI range 1
    static constexpr uint32_t kVgaWindowSize = 0x20000;      // legacy 0xA0000 window
    static constexpr uint32_t kFifoEmpty = 124;              // user FIFO free count when idle

    explicit ZkChip(const ZkChipConfig &config);
    ~ZkChip();
    ZkChip(const ZkChip &) = delete;
    ZkChip &operator=(const ZkChip &) = delete;

    const ZkChipConfig &config() const { return config_; }
    ZkChipKind kind() const { return config_.kind; }
    uint16_t pciDeviceId() const;

    // Register aperture (range 0), by offset; size 1, 2 or 4.
    uint32_t read(uint32_t offset, unsigned size);
    void write(uint32_t offset, uint32_t value, unsigned size);
    // Frame-buffer aperture (range 1), by offset.
    uint32_t readFrameBuffer(uint32_t offset, unsigned size);
    void writeFrameBuffer(uint32_t offset, uint32_t value, unsigned size);
    // VGA I/O ports 0x3B0..0x3DF (other ports read 0xFF and ignore writes).
    uint32_t readPort(uint16_t port, unsigned size);
    void writePort(uint16_t port, uint32_t value, unsigned size);
    // Legacy VGA memory window (planar: map mask, read map select, latches, write modes 0/1).
    uint8_t readVgaMemory(uint32_t offset);
    void writeVgaMemory(uint32_t offset, uint8_t value);

    // Backing memory: plain loads and stores through mapped pointers see these bytes.
    uint8_t *aperture() { return aperture_; }
    uint8_t *frameBufferAperture() { return frameBuffer_; }
    uint8_t *videoMemory() { return frameBuffer_; }
    uint32_t videoMemorySize() const { return config_.memoryBytes; }
    // The host memory just before the frame buffer is a guard zone filled with kGuardByte: a
    // driver that computes an address above the first row writes there instead of into someone
    // else's memory, and a test sees it. True while every guard byte holds its pattern. As much
    // host address space after the aperture's end is inaccessible: an access past the frame
    // buffer faults (and the sanitizer reports it) rather than landing in other memory.
    static constexpr uint32_t kGuardBytes = 0x200000;
    static constexpr uint8_t kGuardByte = 0xC5;
    bool frameBufferGuardIntact() const;

    // Ordered log of the recent writes (registers, frame-buffer aperture registers, ports, VGA
    // memory): at least kLogKeep of them once that many ran, never more than twice that.
    // writeCount() counts every logged write since the chip was made. Plain video-memory stores
    // through writeFrameBuffer below the memory size are not logged.
    static constexpr size_t kLogKeep = size_t(1) << 16;
    const std::vector<ZkRegWrite> &writeLog() const { return log_; }
    void clearWriteLog() { log_.clear(); }
    uint64_t writeCount() const { return writeCount_; }
    void setLogging(bool on) { logging_ = on; }

    // Register file state.
    uint8_t sequencer(uint8_t index) const { return seq_[index]; }
    uint8_t crtc(uint8_t index) const { return crtc_[index]; }
    uint8_t graphics(uint8_t index) const { return gfx_[index & 0xF]; }
    uint8_t attribute(uint8_t index) const { return attr_[index & 0x1F]; }
    uint8_t miscOutput() const { return misc_; }
    uint8_t dacMask() const { return dacMask_; }
    const uint8_t *dacEntry(uint8_t index) const { return dac_[index]; }
    // The engine's DAC transfer object loads entries directly (red, green, blue).
    void loadDacEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue) {
        dac_[index][0] = red;
        dac_[index][1] = green;
        dac_[index][2] = blue;
    }
    uint8_t vgaPlane(unsigned plane, uint32_t offset) const { return planes_[plane & 3][offset & 0xFFFF]; }
    uint32_t reg32(uint32_t offset) const;  // dword of the aperture's backing memory
    // Test set-up: change a register without logging.
    void pokeCrtc(uint8_t index, uint8_t value) { crtc_[index] = value; }
    void pokeReg32(uint32_t offset, uint32_t value);
    // The attribute controller's index/data flip-flop (false = next write is an index).
    bool attributeFlipFlop() const { return attrFlip_; }

    // Engine state the miniport polls.
    void setEngineBusy(bool busy) { engineBusy_ = busy; }
    void setFifoFree(uint16_t bytes) { fifoFree_ = bytes; }

    // Attach a model to [base, base + length) of the register aperture. A hook returning true
    // has handled the access (for reads: value set); false falls through to the plain model.
    using ReadHook = std::function<bool(uint32_t offset, unsigned size, uint32_t &value)>;
    using WriteHook = std::function<bool(uint32_t offset, uint32_t value, unsigned size)>;
    void addWindowHandler(uint32_t base, uint32_t length, ReadHook read, WriteHook write);

private:
    void log(uint8_t space, uint32_t offset, uint32_t value, unsigned size);
    uint32_t readVga(uint16_t port);          // one byte of the VGA register file
    void writeVga(uint16_t port, uint8_t value);
    uint32_t readPlain(uint32_t offset, unsigned size) const;
    void writePlain(uint32_t offset, uint32_t value, unsigned size);

    struct Window { uint32_t base, length; ReadHook read; WriteHook write; };

    ZkChipConfig config_;
    uint8_t *aperture_ = nullptr;
    uint8_t *frameBuffer_ = nullptr;
    std::vector<ZkRegWrite> log_;
    uint64_t writeCount_ = 0;
    bool logging_ = true;
    std::vector<Window> windows_;

    uint8_t seq_[256] = {};
    uint8_t seqIndex_ = 0;
    uint8_t crtc_[256] = {};
    uint8_t crtcIndex_ = 0;
    uint8_t gfx_[16] = {};
    uint8_t gfxIndex_ = 0;
    uint8_t attr_[32] = {};
    uint8_t attrIndex_ = 0;
    bool attrFlip_ = false;
    uint8_t misc_ = 0x67;
    uint8_t featureControl_ = 0;
    uint8_t dac_[256][3] = {};
    uint8_t dacMask_ = 0xFF;
    uint8_t dacWriteIndex_ = 0, dacReadIndex_ = 0, dacComponent_ = 0;
    uint8_t dacState_ = 0;      // 0x3C7 read: 0 = write mode, 3 = read mode
    bool retrace_ = false;
    uint8_t planes_[4][0x10000] = {};
    uint8_t latches_[4] = {};
    bool engineBusy_ = false;
    uint16_t fifoFree_ = kFifoEmpty;
};

}  // namespace kiv
