// The SIV graphics chip of the second card, as a model: its VGA ports (CRTC, DAC read port,
// input status with a vertical retrace that follows the machine's clock), its memory-mapped
// register file (reads answer from state, writes are recorded in order, and a write of the 2D
// or 3D command register runs that engine's model on video memory) and its video memory.
//
// The card lives in memory shared by every process forked after it is powered on, as the one
// card of the machine is seen by every process. Its video memory and register window end against
// an inaccessible page: a driver that runs past either faults there.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"
#include "platform/siv/port_io.h"

struct SivCardConfig {
    uint32_t videoMemoryBytes;   // 0: 4 MB
    uint32_t refreshHz;          // 0: 70
    uint32_t pollStepUs;         // machine time that passes per read of the input status port; 0: 10
};

// One recorded register write.
struct SivRegWrite {
    uint32_t offset;   // from the start of the register window
    uint32_t value;
    uint32_t width;    // bytes
};

constexpr uint32_t kSivRegWindowBytes = 0x10000;
constexpr uint32_t kSivWriteLogEntries = 16384;

struct SivChip {
    // video memory
    uint8_t *videoMemory;
    uint32_t videoMemoryBytes;
    // register window: a host range the driver is given as the registers' linear address
    uint8_t *registerWindow;
    uint32_t regs[kSivRegWindowBytes / 4];
    uint32_t writeCount;                        // total writes since power-on or the last clear
    SivRegWrite writeLog[kSivWriteLogEntries];  // the first kSivWriteLogEntries writes
    uint32_t fifoFreeSlots;                     // reported in status bits 8-12 (0..31)
    uint32_t engineBusy;                        // clears status bit 13 while nonzero
    // VGA
    uint8_t crtcIndex;
    uint8_t crtc[256];
    uint8_t dacReadIndex, dacWriteIndex, dacReadPhase, dacWritePhase;
    uint8_t dac[256][3];                        // 6-bit components
    // time
    uint64_t clockUs;
    uint32_t frameUs, retraceUs, pollStepUs;
    uint32_t statusReads;
};

extern "C" {
// Powers the card on (again: a fresh card) and returns it.
SivChip *kivSivPowerOn(const SivCardConfig *config);
void kivSivPowerOff(void);
SivChip *kivSivChip(void);   // null while off
// How many times the card was powered on in this process (and its parents before the fork): what
// lay in video memory before the latest power-on is gone.
uint32_t kivSivPowerOns(void);
// The machine's clock in ms while the card is powered; returns 0 when it is off.
int kivSivClockMs(DWORD *ms);
void kivSivAdvanceClockUs(uint32_t us);

// Register access of the model (offsets into the register window). Reads of status 0x8504
// report the free FIFO slots in bits 8-12 and engine idle in bit 13.
uint32_t kivSivRegRead(uint32_t offset, unsigned width);
void kivSivRegWrite(uint32_t offset, uint32_t value, unsigned width);
void kivSivClearWriteLog(void);
}

constexpr uint32_t kSivStatusReg = 0x8504;
