// What the fast span, staging, store and fog procs share: the two 16-bit pixel layouts as traits,
// the byte product through the square table, and the eight-element blocks of a chunk in either
// walking direction.
#pragma once
#include <cstdint>
#include <emmintrin.h>
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

// Eight 16-bit lanes in the opposite order.
inline __m128i reversed16(__m128i v) {
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0x1B), 0x1B), 0x4E);
}
// The 16-bit elements of eight consecutive walk positions, lane i holding position i, where at is
// the element of the block's first position. A right-to-left walk (Back) finds position i at
// at - i: the block then starts seven elements lower and its lanes are reversed, so that every
// vector form computes in walk order whatever the direction.
template <bool Back>
inline __m128i loadWalk8(const uint16_t *at) {
    if constexpr (Back) return reversed16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at - 7)));
    else return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}
template <bool Back>
inline void storeWalk8(uint16_t *at, __m128i v) {
    if constexpr (Back) _mm_storeu_si128(reinterpret_cast<__m128i *>(at - 7), reversed16(v));
    else _mm_storeu_si128(reinterpret_cast<__m128i *>(at), v);
}

inline GlFastPathSlots &slotsOf(GlSpan *span) { return span->context->state.span.fast; }

}  // namespace glfast
