// The ZK3/ZK4 register-file model.
#include "platform/zk3/zk3.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/win32/guarded_pages.h"

namespace kiv {

namespace {

// Memory-mapped aliases of the VGA register file in the register aperture.
constexpr uint32_t kVgaBlock = 0x0C0000;     // + port number
constexpr uint32_t kCrtcBlock = 0x601000;    // + port number (CRTC, attribute, input status)
constexpr uint32_t kDacBlock = 0x681200;     // + 0x3C6..0x3C9, byte accesses
constexpr uint32_t kStraps = 0x100000;
constexpr uint32_t kStraps2 = 0x101000;
constexpr uint32_t kMemoryPll = 0x680504;
constexpr uint32_t kPixelPll = 0x680508;
constexpr uint32_t kFifoFreeCount = 0x806010;
constexpr uint32_t kEngineBusyZk3 = 0x4006B0;
constexpr uint32_t kEngineBusyZk4 = 0x400700;

// Zero-filled host memory behind an aperture, page-aligned, with `guard` inaccessible bytes after
// it: a driver that runs past the aperture's end faults there rather than reaching other memory.
uint8_t *mapZeroed(size_t bytes, size_t guard) {
    uint8_t *p = kivMapGuarded(bytes, kKivPageBytes, guard, KivPages::Private);
    if (p == nullptr) throw std::runtime_error("ZkChip: cannot reserve aperture memory");
    return p;
}

// Value of strap bits 0-1 for an installed memory size.
uint32_t memoryStrap(const ZkChipConfig &c) {
    if (c.strapOverride >= 0) return uint32_t(c.strapOverride) & 3;
    const uint32_t mb = c.memoryBytes >> 20;
    if (c.kind == ZkChipKind::ZK3) {
        switch (mb) {
        case 2: return 1;
        case 4: return 2;
        default: return 0;   // 8 MB
        }
    }
    switch (mb) {
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    default: return 0;       // 2 MB
    }
}

bool isVgaPort(uint32_t port) { return port >= 0x3B0 && port < 0x3E0; }

}  // namespace

ZkChip::ZkChip(const ZkChipConfig &config) : config_(config) {
    if (config_.memoryBytes == 0 || config_.memoryBytes > kFrameBufferSize)
        throw std::invalid_argument("ZkChip: video memory size");
    aperture_ = mapZeroed(kApertureSize, kKivPageBytes);
    frameBuffer_ = mapZeroed(kGuardBytes + kFrameBufferSize, kGuardBytes) + kGuardBytes;
    std::memset(frameBuffer_ - kGuardBytes, kGuardByte, kGuardBytes);
    pokeReg32(kStraps, memoryStrap(config_) | (config_.bus128 ? 4u : 0u));
    pokeReg32(kStraps2, config_.crystal14318 ? 0x40u : 0u);
    // Boot clocks: memory 100 MHz (N 200, M 27, P 0), pixel 25.2 MHz (N 28, M 15, P 0) with the
    // 13.5 MHz reference.
    pokeReg32(kMemoryPll, (200u << 8) | 27u);
    pokeReg32(kPixelPll, (28u << 8) | 15u);
    if (config_.scaledOutput) crtc_[0x28] = uint8_t(0x80 | ((config_.scaledOutputKind & 3) << 6));
    seq_[1] = 0x01;
    gfx_[6] = 0x05;
    gfx_[8] = 0xFF;
    seq_[2] = 0x0F;
}

ZkChip::~ZkChip() {
    kivUnmapGuarded(aperture_, kApertureSize, kKivPageBytes);
    kivUnmapGuarded(frameBuffer_ - kGuardBytes, kGuardBytes + kFrameBufferSize, kGuardBytes);
}

bool ZkChip::frameBufferGuardIntact() const {
    const uint8_t *guard = frameBuffer_ - kGuardBytes;
    for (uint32_t i = 0; i < kGuardBytes; ++i)
        if (guard[i] != kGuardByte) return false;
    return true;
}

uint16_t ZkChip::pciDeviceId() const {
    return config_.kind == ZkChipKind::ZK3 ? kZk3PciDeviceId : kZk4PciDeviceId;
}

// The log keeps the most recent writes: at least kLogKeep once that many ran, never more than
// twice that, so a long-running program does not grow it without bound.
void ZkChip::log(uint8_t space, uint32_t offset, uint32_t value, unsigned size) {
    if (!logging_) return;
    if (log_.size() >= 2 * kLogKeep) log_.erase(log_.begin(), log_.end() - static_cast<long>(kLogKeep));
    log_.push_back(ZkRegWrite{space, uint8_t(size), offset, value});
    ++writeCount_;
}

uint32_t ZkChip::reg32(uint32_t offset) const { return readPlain(offset & ~3u, 4); }

void ZkChip::pokeReg32(uint32_t offset, uint32_t value) { writePlain(offset & ~3u, value, 4); }

uint32_t ZkChip::readPlain(uint32_t offset, unsigned size) const {
    if (offset >= kApertureSize || kApertureSize - offset < size) return 0;
    uint32_t v = 0;
    std::memcpy(&v, aperture_ + offset, size);
    return v;
}

void ZkChip::writePlain(uint32_t offset, uint32_t value, unsigned size) {
    if (offset >= kApertureSize || kApertureSize - offset < size) return;
    std::memcpy(aperture_ + offset, &value, size);
}

void ZkChip::addWindowHandler(uint32_t base, uint32_t length, ReadHook read, WriteHook write) {
    windows_.push_back(Window{base, length, std::move(read), std::move(write)});
}

// ---- register aperture ---------------------------------------------------------------------------

uint32_t ZkChip::read(uint32_t offset, unsigned size) {
    for (auto &w : windows_) {
        if (offset - w.base < w.length && w.read) {
            uint32_t v = 0;
            if (w.read(offset, size, v)) return v;
        }
    }
    if (offset >= kVgaBlock && offset - kVgaBlock < 0x8000 && isVgaPort(offset - kVgaBlock))
        return readPort(uint16_t(offset - kVgaBlock), size);
    if (offset - kCrtcBlock < 0x1000 && isVgaPort(offset - kCrtcBlock))
        return readPort(uint16_t(offset - kCrtcBlock), size);
    if (offset - kDacBlock >= 0x3C6 && offset - kDacBlock <= 0x3C9)
        return readPort(uint16_t(offset - kDacBlock), 1);
    if (offset == kFifoFreeCount) return fifoFree_;
    const uint32_t busy = config_.kind == ZkChipKind::ZK3 ? kEngineBusyZk3 : kEngineBusyZk4;
    if (offset == busy) return engineBusy_ ? 1u : 0u;
    return readPlain(offset, size);
}

void ZkChip::write(uint32_t offset, uint32_t value, unsigned size) {
    log(kZkSpaceRegisters, offset, value, size);
    for (auto &w : windows_) {
        if (offset - w.base < w.length && w.write && w.write(offset, value, size)) return;
    }
    if (offset >= kVgaBlock && offset - kVgaBlock < 0x8000 && isVgaPort(offset - kVgaBlock)) {
        const bool saved = logging_;
        logging_ = false;
        writePort(uint16_t(offset - kVgaBlock), value, size);
        logging_ = saved;
        return;
    }
    if (offset - kCrtcBlock < 0x1000 && isVgaPort(offset - kCrtcBlock)) {
        const bool saved = logging_;
        logging_ = false;
        writePort(uint16_t(offset - kCrtcBlock), value, size);
        logging_ = saved;
        return;
    }
    if (offset - kDacBlock >= 0x3C6 && offset - kDacBlock <= 0x3C9) {
        writeVga(uint16_t(offset - kDacBlock), uint8_t(value));
        return;
    }
    if (offset == kStraps) return;   // the straps are read-only
    writePlain(offset, value, size);
}

// ---- frame-buffer aperture -----------------------------------------------------------------------

uint32_t ZkChip::readFrameBuffer(uint32_t offset, unsigned size) {
    if (offset >= kFrameBufferSize || kFrameBufferSize - offset < size) return 0;
    uint32_t v = 0;
    std::memcpy(&v, frameBuffer_ + offset, size);
    return v;
}

void ZkChip::writeFrameBuffer(uint32_t offset, uint32_t value, unsigned size) {
    if (offset >= kFrameBufferSize || kFrameBufferSize - offset < size) return;
    if (offset >= config_.memoryBytes) log(kZkSpaceFrameBuffer, offset, value, size);
    std::memcpy(frameBuffer_ + offset, &value, size);
}

// ---- VGA ports -----------------------------------------------------------------------------------

uint32_t ZkChip::readPort(uint16_t port, unsigned size) {
    uint32_t v = 0;
    for (unsigned i = 0; i < size; ++i) v |= readVga(uint16_t(port + i)) << (8 * i);
    return v;
}

void ZkChip::writePort(uint16_t port, uint32_t value, unsigned size) {
    log(kZkSpacePort, port, value, size);
    for (unsigned i = 0; i < size; ++i) writeVga(uint16_t(port + i), uint8_t(value >> (8 * i)));
}

uint32_t ZkChip::readVga(uint16_t port) {
    switch (port) {
    case 0x3C0: return attrIndex_;
    case 0x3C1: return attr_[attrIndex_ & 0x1F];
    case 0x3C2: return 0x10;
    case 0x3C4: return seqIndex_;
    case 0x3C5: return seq_[seqIndex_];
    case 0x3C6: return dacMask_;
    case 0x3C7: return dacState_;
    case 0x3C8: return dacWriteIndex_;
    case 0x3C9: {
        const uint8_t v = dac_[dacReadIndex_][dacComponent_];
        if (++dacComponent_ == 3) { dacComponent_ = 0; ++dacReadIndex_; }
        return v;
    }
    case 0x3CA: return featureControl_;
    case 0x3CC: return misc_;
    case 0x3CE: return gfxIndex_;
    case 0x3CF: return gfx_[gfxIndex_ & 0xF];
    case 0x3B4: case 0x3D4: return crtcIndex_;
    case 0x3B5: case 0x3D5: return crtc_[crtcIndex_];
    case 0x3BA: case 0x3DA:
        // Input status 1: every read flips the retrace and display-enable bits and resets the
        // attribute controller's flip-flop.
        attrFlip_ = false;
        retrace_ = !retrace_;
        return retrace_ ? 0x09u : 0x00u;
    default: return 0xFF;
    }
}

void ZkChip::writeVga(uint16_t port, uint8_t v) {
    switch (port) {
    case 0x3C0:
        if (!attrFlip_) attrIndex_ = v & 0x3F;
        else attr_[attrIndex_ & 0x1F] = v;
        attrFlip_ = !attrFlip_;
        break;
    case 0x3C2: misc_ = v; break;
    case 0x3C4: seqIndex_ = v; break;
    case 0x3C5: seq_[seqIndex_] = v; break;
    case 0x3C6: dacMask_ = v; break;
    case 0x3C7: dacReadIndex_ = v; dacComponent_ = 0; dacState_ = 3; break;
    case 0x3C8: dacWriteIndex_ = v; dacComponent_ = 0; dacState_ = 0; break;
    case 0x3C9:
        dac_[dacWriteIndex_][dacComponent_] = v;
        if (++dacComponent_ == 3) { dacComponent_ = 0; ++dacWriteIndex_; }
        break;
    case 0x3CE: gfxIndex_ = v; break;
    case 0x3CF: gfx_[gfxIndex_ & 0xF] = v; break;
    case 0x3B4: case 0x3D4: crtcIndex_ = v; break;
    case 0x3B5: case 0x3D5: crtc_[crtcIndex_] = v; break;
    case 0x3BA: case 0x3DA: featureControl_ = v; break;
    default: break;
    }
}

// ---- legacy VGA memory ---------------------------------------------------------------------------

uint8_t ZkChip::readVgaMemory(uint32_t offset) {
    offset &= 0xFFFF;
    for (int p = 0; p < 4; ++p) latches_[p] = planes_[p][offset];
    return planes_[gfx_[4] & 3][offset];
}

void ZkChip::writeVgaMemory(uint32_t offset, uint8_t value) {
    log(kZkSpaceVgaMemory, offset, value, 1);
    offset &= 0xFFFF;
    const uint8_t mapMask = seq_[2] & 0xF;
    const uint8_t bitMask = gfx_[8];
    for (int p = 0; p < 4; ++p) {
        if (!(mapMask & (1 << p))) continue;
        if ((gfx_[5] & 3) == 1) planes_[p][offset] = latches_[p];
        else planes_[p][offset] = uint8_t((value & bitMask) | (latches_[p] & ~bitMask));
    }
}

}  // namespace kiv
