// Tables shared by every software span path: the 4x4 ordered-dither matrix and the byte-product
// square table. Each is defined once; the forms derived from the matrix are computed from it.
#pragma once
#include <array>
#include <cstdint>

// Ordered-dither values B, indexed [y & 3][x & 3].
inline constexpr uint8_t __glDitherMatrix[4][4] = {
    {0, 8, 2, 10},
    {12, 4, 14, 6},
    {3, 11, 1, 9},
    {15, 7, 13, 5},
};

using GlDitherFloats = std::array<std::array<float, 4>, 4>;
// (2B + 1) / 32: the offset added before truncation.
extern const GlDitherFloats __glDitherOffset;
// (B - 7.5) / 16: the offset added before rounding to nearest.
extern const GlDitherFloats __glDitherRound;

// 511 bytes for the indices -255..255 (entry i at i + 255): T[i] = floor(i * i / 255), so that
// (T[a] + T[b] - T[a - b]) >> 1 is a * b / 255 for two bytes, within 1 of floor(a * b / 255) and
// exact for 0 and 255. The colour-index fog stage forms its products so.
extern const std::array<uint8_t, 511> __glSquareTable;
inline const uint8_t *__glSquareTableCentre() { return __glSquareTable.data() + 255; }
