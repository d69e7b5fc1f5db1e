// The SIV chip model: VGA ports, register file with an ordered write log, video memory and the
// machine clock that paces the vertical retrace.
#include "platform/siv/siv_chip.h"
#include "platform/zk3/zk3_engine_mmio.h"
#include "platform/siv/siv_engine2d.h"
#include "platform/siv/siv_engine3d.h"

#include <sys/mman.h>
#include <cstring>

#include "platform/win32/guarded_pages.h"

namespace {

SivChip *g_chip;   // the chip record lives in shared memory; the pointer is inherited by fork
uint32_t g_powerOns;

void *MapShared(uint32_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// The memory the drivers are given (video memory, the register window): page-aligned, shared,
// and followed by an inaccessible page, so that a driver running past its end faults there.
uint8_t *MapGuarded(uint32_t bytes) { return kivMapGuarded(bytes, kKivPageBytes, kKivPageBytes, KivPages::Shared); }
void UnmapGuarded(uint8_t *block, uint32_t bytes) { kivUnmapGuarded(block, bytes, kKivPageBytes); }

uint32_t WindowRead(void *, uint32_t offset, unsigned width) { return kivSivRegRead(offset, width); }
void WindowWrite(void *, uint32_t offset, uint32_t value, unsigned width) { kivSivRegWrite(offset, value, width); }

bool InRetrace(const SivChip *c) {
    return c->clockUs % c->frameUs >= c->frameUs - c->retraceUs;
}

}  // namespace

extern "C" {

SivChip *kivSivPowerOn(const SivCardConfig *config) {
    kivSivPowerOff();
    SivCardConfig cfg = config ? *config : SivCardConfig{};
    if (!cfg.videoMemoryBytes)
        cfg.videoMemoryBytes = 4u << 20;
    if (!cfg.refreshHz)
        cfg.refreshHz = 70;
    if (!cfg.pollStepUs)
        cfg.pollStepUs = 10;
    auto *c = static_cast<SivChip *>(MapShared(sizeof(SivChip)));
    if (!c)
        return nullptr;
    c->videoMemory = MapGuarded(cfg.videoMemoryBytes);
    c->registerWindow = MapGuarded(kSivRegWindowBytes);
    if (!c->videoMemory || !c->registerWindow) {
        UnmapGuarded(c->videoMemory, cfg.videoMemoryBytes);
        UnmapGuarded(c->registerWindow, kSivRegWindowBytes);
        munmap(c, sizeof(SivChip));
        return nullptr;
    }
    c->videoMemoryBytes = cfg.videoMemoryBytes;
    c->frameUs = 1000000u / cfg.refreshHz;
    c->retraceUs = c->frameUs / 20;
    c->pollStepUs = cfg.pollStepUs;
    c->fifoFreeSlots = 16;
    g_chip = c;
    ++g_powerOns;
    // Drivers reach the registers through the platform's register accessors.
    KivMmioWindow window = {c->registerWindow, kSivRegWindowBytes, c, WindowRead, WindowWrite};
    kivMmioAddWindow(&window);
    return c;
}

void kivSivPowerOff(void) {
    if (!g_chip)
        return;
    kivMmioRemoveWindow(g_chip->registerWindow);
    UnmapGuarded(g_chip->videoMemory, g_chip->videoMemoryBytes);
    UnmapGuarded(g_chip->registerWindow, kSivRegWindowBytes);
    munmap(g_chip, sizeof(SivChip));
    g_chip = nullptr;
}

SivChip *kivSivChip(void) { return g_chip; }

uint32_t kivSivPowerOns(void) { return g_powerOns; }

int kivSivClockMs(DWORD *ms) {
    if (!g_chip)
        return 0;
    *ms = static_cast<DWORD>(g_chip->clockUs / 1000);
    return 1;
}

void kivSivAdvanceClockUs(uint32_t us) {
    if (g_chip)
        g_chip->clockUs += us;
}

uint32_t kivSivRegRead(uint32_t offset, unsigned width) {
    SivChip *c = g_chip;
    if (!c || offset + width > kSivRegWindowBytes)
        return 0xFFFFFFFFu;
    uint32_t word = c->regs[offset / 4];
    if (offset / 4 * 4 == kSivStatusReg) {
        word &= ~0x3F00u;
        word |= (c->fifoFreeSlots & 0x1F) << 8;
        if (!c->engineBusy)
            word |= 1u << 13;
    }
    unsigned shift = (offset & 3) * 8;
    if (width == 4)
        return word;
    return (word >> shift) & ((1u << (width * 8)) - 1);
}

void kivSivRegWrite(uint32_t offset, uint32_t value, unsigned width) {
    SivChip *c = g_chip;
    if (!c || offset + width > kSivRegWindowBytes)
        return;
    if (c->writeCount < kSivWriteLogEntries)
        c->writeLog[c->writeCount] = SivRegWrite{offset, value, width};
    c->writeCount++;
    uint32_t &word = c->regs[offset / 4];
    if (width == 4) {
        word = value;
        if (offset == kSiv2dCommand)
            kivSiv2dCommand(c, value);   // writing the command starts the 2D engine
        else if (offset == kSiv3dCommand)
            kivSiv3dCommand(c, value);   // and the 3D engine draws its triangle
        return;
    }
    unsigned shift = (offset & 3) * 8;
    uint32_t mask = ((1u << (width * 8)) - 1) << shift;
    word = (word & ~mask) | ((value << shift) & mask);
}

void kivSivClearWriteLog(void) {
    if (g_chip)
        g_chip->writeCount = 0;
}

uint8_t kivInPort8(uint16_t port) {
    SivChip *c = g_chip;
    if (!c)
        return 0xFF;
    switch (port) {
    case 0x3D4:
        return c->crtcIndex;
    case 0x3D5:
        return c->crtc[c->crtcIndex];
    case 0x3DA: {
        // Every poll lets a little machine time pass, so busy-waits on the retrace end.
        c->clockUs += c->pollStepUs;
        c->statusReads++;
        return InRetrace(c) ? 0x09 : 0x00;
    }
    case 0x3C7:
        return c->dacReadIndex;
    case 0x3C8:
        return c->dacWriteIndex;
    case 0x3C9: {
        uint8_t v = c->dac[c->dacReadIndex][c->dacReadPhase];
        if (++c->dacReadPhase == 3) {
            c->dacReadPhase = 0;
            c->dacReadIndex++;
        }
        return v;
    }
    default:
        return 0xFF;
    }
}

void kivOutPort8(uint16_t port, uint8_t value) {
    SivChip *c = g_chip;
    if (!c)
        return;
    switch (port) {
    case 0x3D4:
        c->crtcIndex = value;
        break;
    case 0x3D5:
        c->crtc[c->crtcIndex] = value;
        break;
    case 0x3C7:
        c->dacReadIndex = value;
        c->dacReadPhase = 0;
        break;
    case 0x3C8:
        c->dacWriteIndex = value;
        c->dacWritePhase = 0;
        break;
    case 0x3C9:
        c->dac[c->dacWriteIndex][c->dacWritePhase] = value & 0x3F;
        if (++c->dacWritePhase == 3) {
            c->dacWritePhase = 0;
            c->dacWriteIndex++;
        }
        break;
    default:
        break;
    }
}

}  // extern "C"
