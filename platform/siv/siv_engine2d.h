// The SIV chip's 2D engine as a functional model: writing the command register runs the
// operation the engine registers describe on video memory at once (fills, ROP3 copies in
// either direction, source colour key, uploads through the host-data port).
#pragma once
#include <cstdint>
#include "platform/siv/siv_chip.h"

constexpr uint32_t kSiv2dSourceBase = 0xA4D4;
constexpr uint32_t kSiv2dDestBase = 0xA4D8;
constexpr uint32_t kSiv2dStrides = 0xA4E4;
constexpr uint32_t kSiv2dPattern0 = 0xA4E8;
constexpr uint32_t kSiv2dPattern1 = 0xA4EC;
constexpr uint32_t kSiv2dForeground = 0xA4F4;
constexpr uint32_t kSiv2dColorKey = 0xA4FC;
constexpr uint32_t kSiv2dCommand = 0xA500;
constexpr uint32_t kSiv2dSize = 0xA504;
constexpr uint32_t kSiv2dSourcePos = 0xA508;
constexpr uint32_t kSiv2dDestPos = 0xA50C;

// What the model saw since power-on (or the last clear).
struct Siv2dStats {
    uint32_t commands;          // command-register writes
    uint32_t hostDwords;        // dwords taken at the host-data port
    uint32_t strayHostDwords;   // dwords sent while no upload was waiting for them
    uint32_t pixelsOutside;     // pixels that fell outside video memory (not written)
};

extern "C" {
// Runs the command just written to the command register (called by the register file).
void kivSiv2dCommand(SivChip *chip, uint32_t command);
// One dword sent to the host-data port (the start of the frame-buffer aperture).
void kivSivHostDataWrite(uint32_t value);
Siv2dStats *kivSiv2dStats(void);
void kivSiv2dClearStats(void);
}
