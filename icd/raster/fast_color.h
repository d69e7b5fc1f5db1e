// What the fast span, staging, store and fog procs share: the two 16-bit pixel layouts as traits,
// the byte product through the square table, and the walk over a coverage mask word.
#pragma once
#include <cstdint>
#include "icd/raster/fast_span.h"
#include "icd/raster/raster_tables.h"
#include "icd/raster/raster_state.h"

namespace glfast {

// X1R5G5B5: every channel five bits, bit 15 written as 0.
struct Fmt555 {
    static constexpr int kFormatCode = 4;
    static constexpr int kRedShift = 10, kGreenShift = 5;
    static constexpr int kGreenBits = 5;
    static constexpr int kGreenByteShift = 13;  // 16.16 green iterator to a byte at destination precision
    static constexpr uint32_t kGreenLimit = 248;
};
// R5G6B5: green has six bits (6.2 bytes, 63.0 = 252).
struct Fmt565 {
    static constexpr int kFormatCode = 5;
    static constexpr int kRedShift = 11, kGreenShift = 5;
    static constexpr int kGreenBits = 6;
    static constexpr int kGreenByteShift = 14;
    static constexpr uint32_t kGreenLimit = 252;
};

// a * b / 255 for two bytes through the square table (centre pointer t).
inline uint32_t mul(const uint8_t *t, uint32_t a, uint32_t b) {
    return (uint32_t(t[a]) + t[b] - t[int32_t(a) - int32_t(b)]) >> 1;
}

// Packs three fields (red and blue 5 bits, green 5 or 6).
template <class F>
inline uint32_t pack(uint32_t r, uint32_t g, uint32_t b) {
    return (r << F::kRedShift) | (g << F::kGreenShift) | b;
}

inline GlFastPathSlots &slotsOf(GlSpan *span) { return span->context->state.span.fast; }

}  // namespace glfast
