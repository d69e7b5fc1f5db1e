// The SIV chip's 3D engine as a functional model: writing the command register 0xB500 draws the
// triangle (or span) that the set-up registers describe into video memory at once. The pixel
// rules the model follows are written down in engine3d_rules.md beside it.
#pragma once
#include <cstdint>
#include "platform/siv/siv_chip.h"

constexpr uint32_t kSiv3dCommand = 0xB500;

// What the model saw since power-on (or the last clear).
struct Siv3dStats {
    uint32_t commands;        // command-register writes that drew
    uint32_t pixels;          // pixels written
    uint32_t zRejected;       // pixels the Z test refused
    uint32_t pixelsOutside;   // pixels or texels that fell outside video memory (not touched)
};

extern "C" {
// Runs the command just written to the command register (called by the register file).
void kivSiv3dCommand(SivChip *chip, uint32_t command);
Siv3dStats *kivSiv3dStats(void);
void kivSiv3dClearStats(void);
}
