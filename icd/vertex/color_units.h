// The conversions between the three colour units: the client's [0, 1], the context's colour
// units (kGlContextColorScale per channel) and a colour buffer's own channel maxima. Each helper
// names its source and target unit, its rounding, its clamp and what a NaN gives, so that a
// caller shows whether it rounds or truncates where it converts.
#pragma once
#include <bit>
#include <cmath>
#include <cstdint>

// The scale of every channel of the context's colour units, and the fallback wherever a scale
// is not (yet) known.
constexpr float kGlContextColorScale = 255.0f;

// The single-precision value of 2^32 - 1 that integer colours are scaled by.
constexpr float kGlUintMax = 4294964992.0f;

// [-1, 1] -> the integer range: floor(v x kGlUintMax x 0.5), so that 1.0 gives 2147482496;
// values beyond the range are held to it, NaN gives 0. A float v times kGlUintMax is exact in
// double precision.
inline int32_t unitToIntFloor(double v) {
    if (!(v == v)) return 0;
    const double s = std::floor(v * double(kGlUintMax) * 0.5);
    if (s >= 2147483647.0) return INT32_MAX;
    if (s <= -2147483648.0) return INT32_MIN;
    return int32_t(s);
}

// [0, 1] -> [0, 255], rounded to nearest (halves up), clamped to [0, 255]; NaN gives 0.
inline uint8_t unitToByteRound(float c) {
    const float v = c * 255.0f + 0.5f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return uint8_t(int32_t(v));
}

// [0, 1] -> [0, 255], truncated toward zero, clamped to [0, 255]; NaN gives 0.
inline uint8_t unitToByteTrunc(float c) {
    const float v = c * 255.0f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return uint8_t(int32_t(v));
}

// [0, 1] -> [0, scale] as an integer, rounded to nearest (halves up), clamped; NaN gives 0.
// Works in double so that a 32-bit scale keeps every step.
inline uint32_t unitToScaleRound(double c, double scale) {
    if (!(c > 0.0)) return 0;
    if (c >= 1.0) return uint32_t(scale + 0.5);
    return uint32_t(c * scale + 0.5);
}

// Context or buffer units -> the integer below 2^23 nearest to it (ties to even) through the
// float's mantissa: the low byte of x + 1.5 x 2^23. No clamp: the value must lie in
// [-2^22, 2^22); its low eight bits are returned. NaN gives an unspecified byte.
inline uint32_t channelToByteNearest(float x) {
    const float f = x + 12582912.0f;
    return std::bit_cast<uint32_t>(f) & 0xFF;
}
