// Conversions of colour and depth values to the integer units the chip's words carry. Each name
// says the source unit, the rounding and the clamp; see light_color.cpp for the conversions
// between [0, 1] and the colour-buffer units of the pipeline.
#pragma once
#include <bit>
#include <cstdint>

// [0, 1] to [0, scale], rounded to nearest (halves up); at or above 1 gives scale, at or below 0
// and NaN give 0.
inline uint32_t unitToIntRound(double v, double scale) {
    if (!(v > 0.0)) return 0;
    if (v >= 1.0) return uint32_t(scale + 0.5);
    return uint32_t(v * scale + 0.5);
}

// [0, 1] to [0, 255] truncated after scaling by 255.99, so that only 1.0 reaches 255 and every
// other step is 1/256 wide; below 0 and NaN give 0, above 1 gives 255.
inline uint32_t unitToByteTrunc(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return uint32_t(v * 255.99f);
}

// Context units [0, 255] to a byte, rounded to nearest with ties to even, through the float's
// mantissa (the low byte of v + 1.5 x 2^23). Not clamped: the value must be in range.
inline uint32_t contextToByteRound(float v) { return std::bit_cast<uint32_t>(v + 12582912.0f) & 0xFF; }
