// Register access of the 2D engine and the streams processor shared by the flip, blit and
// overlay callbacks: FIFO and idle polling, retrace waits, and streams writes with their shadows
// in the data block.
#pragma once
#include "drv/siv/display/sivhal.h"
#include "platform/ddraw/ddraw_blt.h"
#include "platform/siv/port_io.h"
#include "platform/zk3/zk3_engine_mmio.h"

namespace sivblt {

constexpr DWORD kStatus = 0x8504;
constexpr DWORD kStatusIdle = 0x2000;

inline DWORD Status(DriverBlock *block) { return ReadRegister(block, kStatus); }

inline void WriteReg(DriverBlock *block, DWORD offset, DWORD value) {
    kivMmioWrite(reinterpret_cast<volatile void *>(static_cast<uintptr_t>(block->regBase() + offset)), value, 4);
}

// The longest the HAL waits for the engine or the display (FIFO slots, idle, a retrace) before it
// gives up: an engine that works answers within microseconds, a retrace comes every frame.
constexpr DWORD kEngineWaitLimitMs = 500;

// Polls `ready` until it holds (true) or kEngineWaitLimitMs pass (false): a chip that stopped
// answering fails the call that waits instead of hanging it.
template <class Ready> bool WaitUntil(Ready ready) {
    if (ready()) return true;
    const DWORD start = GetTickCount();
    while (!ready())
        if (GetTickCount() - start >= kEngineWaitLimitMs) return ready();
    return true;
}

inline bool WaitFifo(DriverBlock *block, DWORD slots) {
    return WaitUntil([&] { return ((Status(block) >> 8) & 0x1F) >= slots; });
}

inline bool WaitIdle(DriverBlock *block) {
    return WaitUntil([&] { return (Status(block) & kStatusIdle) != 0; });
}

inline bool InRetrace() { return (kivInPort8(0x3DA) & 0x08) != 0; }

inline bool WaitOutsideRetrace() { return WaitUntil([] { return !InRetrace(); }); }
inline bool WaitInRetrace() { return WaitUntil([] { return InRetrace(); }); }

// Between two frames: the engine idle, a retrace begun and over again.
inline bool WaitBetweenFrames(DriverBlock *block) { return WaitIdle(block) && WaitInRetrace() && WaitOutsideRetrace(); }

// Where the data block keeps the copy of a streams register.
constexpr DWORD ShadowOf(DWORD reg) {
    return reg >= 0x81C0 ? 0xE074 + (reg - 0x81C0) : reg >= 0x8190 ? 0xE060 + (reg - 0x8190) : 0xE05C;
}
static_assert(ShadowOf(0x8184) == 0xE05C && ShadowOf(0x81A0) == 0xE070 && ShadowOf(0x81D0) == 0xE084 &&
              ShadowOf(0x820C) == 0xE0C0);

inline void WriteStream(DriverBlock *block, DWORD reg, DWORD value) {
    WriteReg(block, reg, value);
    block->word(ShadowOf(reg)) = value;
}

inline DWORD VideoOffset(DriverBlock *block, const DDRAWI_DDRAWSURFACE_LCL *s) {
    return static_cast<DWORD>(s->lpGbl->fpVidMem - block->frameBuffer());
}

// Where the display can start a picture: the streams processor's address registers hold 22 bits
// of byte offset, the CRTC start (0x0D, 0x0C and bits 0-3 of 0x69) 20 bits of 4-byte units; both
// reach the first 4 MB of video memory, whatever the card carries. A surface that starts past it
// is never shown: showing it would show what lies at its offset less a multiple of 4 MB.
constexpr uint64_t kDisplayReach = 1u << 22;

}  // namespace sivblt
