// Port I/O as the display drivers of the 9x machine do it (in/out instructions). The card
// decodes the VGA ports; a port nobody decodes reads 0xFF.
#pragma once
#include <cstdint>

extern "C" {
uint8_t kivInPort8(uint16_t port);
void kivOutPort8(uint16_t port, uint8_t value);
// A 16-bit write: the low byte to `port`, the high byte to `port` + 1.
void kivOutPort16(uint16_t port, uint16_t value);
}
