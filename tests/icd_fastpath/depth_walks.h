// Depth walks that the 16-bit depth tests meet: rising and falling at the 16-bit shift, and one
// at shift 14 over an epoch base, stored as epochBase + ((z + i * step) >> shift).
#pragma once
#include <cstdint>

struct DepthWalk {
    const char *name;
    int32_t shift;
    uint32_t epochBase, z, step;
};
inline constexpr DepthWalk kDepthWalks[] = {{"16-bit shift, rising", 16, 0, 0x40000000u, 0x00A00000u},
                                            {"16-bit shift, falling", 16, 0, 0xF0000000u, uint32_t(-0x01230000)},
                                            {"with an epoch base", 14, 0x2000u, 0x01000000u, 0x00048000u}};
