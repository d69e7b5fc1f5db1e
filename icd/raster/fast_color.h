// What the fast span, staging, store and fog procs share: the two 16-bit pixel layouts as traits,
// the colour units and their conversions, the exact byte product, and the eight-element blocks of
// a chunk in either walking direction.
//
// Colour units of the fast chain: a "unit byte" is [0, 1] as 0..255 (texels, alpha, blend
// factors); a "field byte" is a channel at destination precision, the field value shifted up to
// the byte's top (0..248 for five bits, 0..252 for six), without any rounding bias. A field byte
// becomes the field by rounding (no dither: + half a step) or by adding the dither level's share
// of a step (level >> 1 of 8, level >> 2 of 4): a field byte on an exact step is never moved, and
// the mean over the 4 x 4 levels is the field byte's own value.
#pragma once
#include <cstdint>
#include <emmintrin.h>
#include "icd/raster/fast_span.h"
#include "icd/raster/raster_tables.h"
#include "icd/raster/raster_state.h"

// The per-pixel helpers are small and run in the inner loops: keep them inside the routines even
// where many instantiations make the compiler reluctant.
#define GL_ALWAYS_INLINE inline __attribute__((always_inline))

namespace glfast {

// X1R5G5B5: every channel five bits, bit 15 written as 0.
struct Fmt555 {
    static constexpr int kFormatCode = 4;
    static constexpr int kRedShift = 10, kGreenShift = 5;
    static constexpr int kGreenBits = 5;
    static constexpr uint32_t kGreenLimit = 248;
};
// R5G6B5: green has six bits (6.2 bytes, 63.0 = 252).
struct Fmt565 {
    static constexpr int kFormatCode = 5;
    static constexpr int kRedShift = 11, kGreenShift = 5;
    static constexpr int kGreenBits = 6;
    static constexpr uint32_t kGreenLimit = 252;
};

// a * b / 255 for two bytes, rounded to nearest: exact at full scale (255 x b gives b).
inline uint32_t mul(uint32_t a, uint32_t b) {
    const uint32_t x = a * b + 128;
    return (x + (x >> 8)) >> 8;
}

// The largest field byte of a channel of `bits` bits (248 for five, 252 for six).
constexpr uint32_t fieldByteLimit(int bits) { return (0xFFu << (8 - bits)) & 0xFFu; }
// A unit byte as a field byte, rounded.
inline uint32_t fieldByteOfUnit(uint32_t u, uint32_t limit) { return mul(u, limit); }
// A field byte (at most limit) as a unit byte, rounded: the factor a colour is as a blend factor.
inline uint32_t unitOfFieldByte(uint32_t c, uint32_t limit) { return (c * 255 + limit / 2) / limit; }
// What is added to a field byte before its low `drop` bits are dropped: half a step without
// dither, else the dither entry's (level << 12) share of a step in 1/2^drop steps.
inline uint32_t fieldRounding(bool dither, uint32_t ditherEntry, int drop) {
    if (dither) return ditherEntry >> (16 - drop);
    return drop > 0 ? 1u << (drop - 1) : 0u;
}

// A field from a blend formed as its field byte times 255 (a sum of byte products, each a
// numerator over 255), rounded once: half a step without dither, else the dither entry's share.
// drop: the bits below the field in a field byte.
inline uint32_t fieldOfProducts(uint32_t x, bool dither, uint32_t ditherEntry, int drop) {
    // The rounding term in half field bytes (half a step is 2^drop of them).
    const uint32_t half = dither ? 2 * (ditherEntry >> (16 - drop)) : 1u << drop;
    return (2 * x + 255 * half) / (510u << drop);
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

// a * b / 255 rounded as mul() computes it, eight 16-bit lanes of bytes at once (the product and
// the sums stay below 2^16).
GL_ALWAYS_INLINE __m128i mul8(__m128i a, __m128i b) {
    const __m128i x = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
}
// The smooth colour iterators as field bytes (16.16 in field steps, less the set-up's rounding
// bias, shifted to a byte of 5 or 6 significant bits), eight walk positions at a time in 16-bit
// lanes.
template <class F>
struct ColourBytes8 {
    static constexpr int kDropRB = 3, kDropG = 8 - F::kGreenBits;
    __m128i r, g, b, r8, g8, b8;  // the 32-bit iterators of positions 0-3; their steps over eight
    GL_ALWAYS_INLINE ColourBytes8(const GlSpan *sp, int32_t bias) {
        auto along = [bias](const GlSpanIter &c) __attribute__((always_inline)) {
            const int32_t v = c.cur - bias;
            return _mm_setr_epi32(v, v + c.step, v + 2 * c.step, v + 3 * c.step);
        };
        r = along(sp->red);
        g = along(sp->green);
        b = along(sp->blue);
        r8 = _mm_set1_epi32(8 * sp->red.step);
        g8 = _mm_set1_epi32(8 * sp->green.step);
        b8 = _mm_set1_epi32(8 * sp->blue.step);
    }
    // Positions 0-7 of one channel from its iterators at 0-3 and the step over four (half of 8),
    // kept within [0, the field byte limit].
    template <int Shift>
    static GL_ALWAYS_INLINE __m128i bytes(__m128i lo, __m128i step8, int limit) {
        const __m128i hi = _mm_add_epi32(lo, _mm_srai_epi32(step8, 1));
        const __m128i v = _mm_packs_epi32(_mm_srai_epi32(lo, Shift), _mm_srai_epi32(hi, Shift));
        return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(int16_t(limit)));
    }
    GL_ALWAYS_INLINE __m128i red() const { return bytes<16 - kDropRB>(r, r8, 248); }
    GL_ALWAYS_INLINE __m128i green() const { return bytes<16 - kDropG>(g, g8, int(F::kGreenLimit)); }
    GL_ALWAYS_INLINE __m128i blue() const { return bytes<16 - kDropRB>(b, b8, 248); }
    GL_ALWAYS_INLINE void next() {
        r = _mm_add_epi32(r, r8);
        g = _mm_add_epi32(g, g8);
        b = _mm_add_epi32(b, b8);
    }
};

// The rounding bias the fast set-up puts into the colour iterators (16.16): half a step without
// dither, a 32nd with it (the dither entries bring the rest of (2B + 1) / 32).
inline int32_t colourIteratorBias(bool dither) { return dither ? 0x800 : 0x8000; }
// A colour iterator as a field byte of a channel whose field bytes drop `drop` bits, kept within
// [0, limit].
inline uint32_t fieldByteOfIterator(int32_t c, int32_t bias, int drop, uint32_t limit) {
    const int32_t v = (c - bias) >> (16 - drop);
    return v < 0 ? 0u : (uint32_t(v) < limit ? uint32_t(v) : limit);
}

// fieldRounding() of eight positions in 16-bit lanes, for the red and blue fields and for green;
// d: the first position's dither entry.
template <class F, bool Dither>
struct FieldRounding8 {
    static constexpr int kDropRB = 3, kDropG = 8 - F::kGreenBits;
    __m128i rb = _mm_set1_epi16(1 << (kDropRB - 1)), g = _mm_set1_epi16(1 << (kDropG - 1));
    GL_ALWAYS_INLINE explicit FieldRounding8(const uint32_t *d) {
        if constexpr (Dither) {
            const __m128i d0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d));
            const __m128i d1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + 4));
            rb = _mm_packs_epi32(_mm_srli_epi32(d0, 16 - kDropRB), _mm_srli_epi32(d1, 16 - kDropRB));
            g = _mm_packs_epi32(_mm_srli_epi32(d0, 16 - kDropG), _mm_srli_epi32(d1, 16 - kDropG));
        }
    }
    // Eight field bytes of each channel to the packed pixels.
    GL_ALWAYS_INLINE __m128i pack(__m128i R, __m128i G, __m128i B) const {
        R = _mm_srli_epi16(_mm_add_epi16(R, rb), kDropRB);
        G = _mm_srli_epi16(_mm_add_epi16(G, g), kDropG);
        B = _mm_srli_epi16(_mm_add_epi16(B, rb), kDropRB);
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(R, F::kRedShift), _mm_slli_epi16(G, F::kGreenShift)), B);
    }
};

// Eight smooth modulated pixels: the product of the texel channels (16-bit lanes of unit bytes)
// and the colour's field bytes, rounded or dithered to the fields, packed; d: the first pixel's
// dither entry.
template <class F, bool Dither>
GL_ALWAYS_INLINE __m128i modulatePixels8(__m128i tR, __m128i tG, __m128i tB, const ColourBytes8<F> &c, const uint32_t *d) {
    return FieldRounding8<F, Dither>(d).pack(mul8(tR, c.red()), mul8(tG, c.green()), mul8(tB, c.blue()));
}

inline GlFastPathSlots &slotsOf(GlSpan *span) { return span->context->state.span.fast; }

// Smooth untextured colour of eight walk positions at a time: ((c + d) >> 16) per channel, packed.
// Four positions are computed in 32-bit lanes; their packed words are biased into signed range so
// that two groups pack into eight pixels without saturating.
template <class F, bool Dither>
struct SmoothPixels8 {
    __m128i rv, gv, bv, dr4, dg4, db4;
    GL_ALWAYS_INLINE explicit SmoothPixels8(const GlSpan *sp) {
        const int32_t r = sp->red.cur, g = sp->green.cur, b = sp->blue.cur;
        const int32_t dr = sp->red.step, dg = sp->green.step, db = sp->blue.step;
        rv = _mm_setr_epi32(r, r + dr, r + 2 * dr, r + 3 * dr);
        gv = _mm_setr_epi32(g, g + dg, g + 2 * dg, g + 3 * dg);
        bv = _mm_setr_epi32(b, b + db, b + 2 * db, b + 3 * db);
        dr4 = _mm_set1_epi32(4 * dr);
        dg4 = _mm_set1_epi32(4 * dg);
        db4 = _mm_set1_epi32(4 * db);
    }
    // The next eight pixels; d: their dither entries.
    GL_ALWAYS_INLINE __m128i next(const uint32_t *d) {
        const __m128i lo = four(d), hi = four(d + 4);
        return _mm_xor_si128(_mm_packs_epi32(lo, hi), _mm_set1_epi16(int16_t(0x8000)));
    }

    // Past eight pixels without computing them.
    GL_ALWAYS_INLINE void skip() {
        rv = _mm_add_epi32(rv, _mm_add_epi32(dr4, dr4));
        gv = _mm_add_epi32(gv, _mm_add_epi32(dg4, dg4));
        bv = _mm_add_epi32(bv, _mm_add_epi32(db4, db4));
    }

  private:
    GL_ALWAYS_INLINE __m128i four(const uint32_t *d) {
        const __m128i dv = Dither ? _mm_loadu_si128(reinterpret_cast<const __m128i *>(d)) : _mm_setzero_si128();
        const __m128i R = _mm_srli_epi32(_mm_add_epi32(rv, dv), 16);
        const __m128i G = _mm_srli_epi32(_mm_add_epi32(gv, dv), 16);
        const __m128i B = _mm_srli_epi32(_mm_add_epi32(bv, dv), 16);
        rv = _mm_add_epi32(rv, dr4);
        gv = _mm_add_epi32(gv, dg4);
        bv = _mm_add_epi32(bv, db4);
        const __m128i px = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(R, F::kRedShift), _mm_slli_epi32(G, F::kGreenShift)), B);
        return _mm_sub_epi32(px, _mm_set1_epi32(0x8000));
    }
};

}  // namespace glfast
