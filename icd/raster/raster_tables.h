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

// 511 bytes for the indices -255..255 (entry i at i + 255): T[i] = floor(i * i / 255).
extern const std::array<uint8_t, 511> __glSquareTable;
inline const uint8_t *__glSquareTableCentre() { return __glSquareTable.data() + 255; }
// a * b / 255 for two bytes: (T[a] + T[b] - T[a - b]) >> 1.
inline uint32_t __glMulBytes(uint32_t a, uint32_t b) {
    const uint8_t *t = __glSquareTableCentre();
    return (uint32_t(t[a]) + t[b] - t[int32_t(a) - int32_t(b)]) >> 1;
}
