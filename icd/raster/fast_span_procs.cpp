// The basic span procs (colour computed and written in one pass) and the staging span procs
// (colour computed into the span's staging bytes for the stages and the store that follow) of
// both 16-bit layouts. One template per family; the tables are generated from the index itself,
// whose bits are the knobs: bit 0 dither (basic) or alpha written (staging), bit 1 smooth,
// bits 2-4 the environment code, bit 5 the texture's alpha takes part.
#include <algorithm>
#include <cstring>
#include <emmintrin.h>
#include <utility>
#include "icd/raster/fast_color.h"

using namespace glfast;

namespace {

// Environment codes (index bits 2-4).
enum Env : int {
    kNone = 0,
    kReplace = 1,         // GL_REPLACE, or GL_DECAL of a base without alpha
    kDecal = 2,           // GL_DECAL with the texture's alpha
    kModulate = 3,
    kBlend = 4,
    kBlendIntensity = 5,  // GL_BLEND of an intensity texture with alpha needed
    kAlphaReplace = 6,    // alpha textures with alpha needed
    kAlphaModulate = 7,
};

constexpr int envOf(int index) { return (index >> 2) & 7; }
constexpr bool texAlphaOf(int index) { return (index & 0x20) != 0; }
constexpr bool texturedEnv(int env) { return env != kNone; }
// Bytes of one texel entry the texture routine packs for this index.
constexpr int texelBytesOf(int index) {
    return envOf(index) >= kAlphaReplace ? 1 : (texAlphaOf(index) ? 4 : 3);
}

constexpr bool basicExists(int index) {
    const int env = envOf(index);
    if (env == kDecal || env >= kAlphaReplace) return texAlphaOf(index);
    return true;
}
constexpr bool stagingExists(int index) {
    const int env = envOf(index);
    if (env == kDecal) return texAlphaOf(index);
    if (env >= kAlphaReplace) return texAlphaOf(index) && (index & 1);
    if (env == kNone) return !texAlphaOf(index);
    return true;
}

// The texel of the next covered pixel: R, G, B and alpha (alpha texels carry only alpha).
struct Texel {
    uint32_t r, g, b, a;
};
template <int Bytes>
inline Texel readTexel(const uint8_t *tx) {
    if constexpr (Bytes == 1) return {0, 0, 0, tx[0]};
    if constexpr (Bytes == 3) return {tx[0], tx[1], tx[2], 255};
    return {tx[0], tx[1], tx[2], tx[3]};
}

// ---- basic span procs -------------------------------------------------------------------------------

// One channel of a basic span proc written as a field of Bits bits. c is the 16.16 iterator in
// field steps (with the set-up's rounding bias), d the dither entry (level << 12; 0 without
// dither), tau the texel channel and ta the texel's alpha (unit bytes), e the environment colour's
// field byte. Textured channels are formed as field bytes, then rounded or dithered to the field.
template <int Env, bool Dither, int Bits>
inline uint32_t basicChannel(int32_t c, uint32_t d, uint32_t tau, uint32_t ta, uint32_t e) {
    constexpr int kDrop = 8 - Bits;
    constexpr uint32_t kLimit = fieldByteLimit(Bits);
    if constexpr (Env == kNone) {
        return uint32_t(c + int32_t(Dither ? d : 0)) >> 16;
    } else {
        const uint32_t c8 = fieldByteOfIterator(c, colourIteratorBias(Dither), kDrop, kLimit);
        // Without dither a replaced texel is rounded to the field at once (as a field byte
        // first, it could round twice).
        if constexpr (Env == kReplace && !Dither) return mul(tau, kLimit >> kDrop);
        uint32_t sum;
        if constexpr (Env == kReplace) sum = fieldByteOfUnit(tau, kLimit);
        else if constexpr (Env == kModulate) sum = mul(tau, c8);
        else if constexpr (Env == kBlend || Env == kBlendIntensity) sum = mul(255 - tau, c8) + mul(tau, e);
        else sum = mul(fieldByteOfUnit(tau, kLimit), ta) + mul(c8, 255 - ta);  // decal
        // Two rounded terms may pass the limit by one.
        if (sum > kLimit) sum = kLimit;
        return (sum + fieldRounding(Dither, d, kDrop)) >> kDrop;
    }
}

// A whole chunk of smooth untextured pixels, eight at a time. Back: the chunk walks right to
// left (position i at pixel - i).
template <class F, bool Dither, bool Back>
void smoothChunk(GlSpan *sp) {
    SmoothPixels8<F, Dither> colour(sp);
    const uint32_t *d = sp->ditherPointer;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel);
    for (int k = 0; k < 32; k += 8, d += 8, out += Back ? -8 : 8) storeWalk8<Back>(out, colour.next(d));
    sp->ditherPointer = d;
}

// Eight texel entries of Bytes bytes as words (R in the low byte); reading a word at every entry
// stays inside the span's texel bytes.
template <int Bytes>
inline void entryWords(const uint8_t *tx, __m128i &lo, __m128i &hi) {
    if constexpr (Bytes == 4) {
        lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(tx));
        hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(tx + 16));
    } else {
        // Word by word into the registers: a 16-byte load of words just stored would stall.
        auto at = [&](int i) {
            uint32_t w;
            std::memcpy(&w, tx + Bytes * i, 4);
            return _mm_cvtsi32_si128(int32_t(w));
        };
        auto four = [&](int i) {
            return _mm_unpacklo_epi64(_mm_unpacklo_epi32(at(i), at(i + 1)), _mm_unpacklo_epi32(at(i + 2), at(i + 3)));
        };
        lo = four(0);
        hi = four(4);
    }
}
inline __m128i entryChannel(__m128i lo, __m128i hi, int shift) {
    const __m128i sh = _mm_cvtsi32_si128(shift), ff = _mm_set1_epi32(0xFF);
    return _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(lo, sh), ff), _mm_and_si128(_mm_srl_epi32(hi, sh), ff));
}

// A whole chunk of smooth modulated pixels, eight at a time, with the arithmetic of
// basicChannel<kModulate>: the product of texel and colour bytes, the dither sixteenth, the field.
// Back: the chunk walks right to left.
template <class F, bool Dither, int Bytes, bool Back>
void modulateChunk(GlSpan *sp) {
    const uint8_t *tx = sp->texels;
    const uint32_t *d = sp->ditherPointer;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel);
    ColourBytes8<F> colour(sp, colourIteratorBias(Dither));
    for (int k = 0; k < 32; k += 8, tx += 8 * Bytes, d += 8, out += Back ? -8 : 8, colour.next()) {
        __m128i lo, hi;
        entryWords<Bytes>(tx, lo, hi);
        storeWalk8<Back>(out, modulatePixels8<F, Dither>(entryChannel(lo, hi, 0), entryChannel(lo, hi, 8),
                                                         entryChannel(lo, hi, 16), colour, d));
    }
    sp->ditherPointer = d;
}

// Eight replaced texel channels as field bytes: with dither the texel's field byte, without it
// the texel rounded to the field at once (which the pack's rounding then keeps).
template <int Bits, bool Dither>
GL_ALWAYS_INLINE __m128i replacedFieldBytes(__m128i tau) {
    constexpr uint32_t kLimit = fieldByteLimit(Bits);
    if constexpr (Dither) return mul8(tau, _mm_set1_epi16(int16_t(kLimit)));
    else return _mm_slli_epi16(mul8(tau, _mm_set1_epi16(int16_t(kLimit >> (8 - Bits)))), 8 - Bits);
}

// A whole chunk of GL_REPLACE pixels, eight at a time, with the arithmetic of
// basicChannel<kReplace>: each texel channel as a field byte, rounded or dithered to the field.
// Back: the chunk walks right to left.
template <class F, bool Dither, int Bytes, bool Back>
void replaceChunk(GlSpan *sp) {
    const uint8_t *tx = sp->texels;
    const uint32_t *d = sp->ditherPointer;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel);
    for (int k = 0; k < 32; k += 8, tx += 8 * Bytes, d += 8, out += Back ? -8 : 8) {
        __m128i lo, hi;
        entryWords<Bytes>(tx, lo, hi);
        const __m128i R = replacedFieldBytes<5, Dither>(entryChannel(lo, hi, 0));
        const __m128i G = replacedFieldBytes<F::kGreenBits, Dither>(entryChannel(lo, hi, 8));
        const __m128i B = replacedFieldBytes<5, Dither>(entryChannel(lo, hi, 16));
        storeWalk8<Back>(out, FieldRounding8<F, Dither>(d).pack(R, G, B));
    }
    sp->ditherPointer = d;
}

template <class F, int Index>
void GL_FASTCALL basicSpan(uint32_t mask, GlSpan *sp) {
    constexpr int kEnv = envOf(Index);
    constexpr bool kDither = Index & 1, kSmooth = Index & 2;
    if constexpr (kEnv >= kAlphaReplace) {
        return;  // these states always take the staging chain
    } else {
        if (mask == 0) return;
        GlContext *ctx = sp->context;
        if constexpr (texturedEnv(kEnv)) ctx->state.span.fast.texRoutine(mask, sp);
        uint16_t *p = reinterpret_cast<uint16_t *>(sp->pixel);
        const int32_t step = sp->xStep;
        if constexpr (kEnv == kNone && !kDither && !kSmooth) {
            const uint16_t v = uint16_t(sp->flatPixel());
            for (; mask; mask <<= 1, p += step)
                if (int32_t(mask) < 0) *p = v;
            return;
        } else {
            if constexpr (kEnv == kNone && kSmooth) {
                if (mask == 0xFFFFFFFFu)
                    return step > 0 ? smoothChunk<F, kDither, false>(sp) : smoothChunk<F, kDither, true>(sp);
            }
            if constexpr (kEnv == kModulate && kSmooth) {
                constexpr int kBytes = texelBytesOf(Index);
                if (mask == 0xFFFFFFFFu)
                    return step > 0 ? modulateChunk<F, kDither, kBytes, false>(sp) : modulateChunk<F, kDither, kBytes, true>(sp);
            }
            if constexpr (kEnv == kReplace) {
                constexpr int kBytes = texelBytesOf(Index);
                if (mask == 0xFFFFFFFFu)
                    return step > 0 ? replaceChunk<F, kDither, kBytes, false>(sp) : replaceChunk<F, kDither, kBytes, true>(sp);
            }
            const uint8_t *e = ctx->state.span.fast.envColorBytes;
            const uint8_t *tx = sp->texels;
            constexpr int kTexelBytes = texelBytesOf(Index);
            const uint32_t *d = sp->ditherPointer;
            int32_t r = sp->red.cur, g = sp->green.cur, b = sp->blue.cur;
            const int32_t dr = kSmooth ? sp->red.step : 0, dg = kSmooth ? sp->green.step : 0,
                          db = kSmooth ? sp->blue.step : 0;
            // A full chunk (the common case) runs without looking at the mask.
            const bool full = mask == 0xFFFFFFFFu;
            for (; mask; mask <<= 1, p += step, ++d, r += dr, g += dg, b += db) {
                if (!full && int32_t(mask) >= 0) continue;
                const uint32_t dv = kDither ? *d : 0;
                Texel x{0, 0, 0, 255};
                if constexpr (texturedEnv(kEnv)) {
                    x = readTexel<kTexelBytes>(tx);
                    tx += kTexelBytes;
                }
                const uint32_t R = basicChannel<kEnv, kDither, 5>(r, dv, x.r, x.a, e[0]);
                const uint32_t G = basicChannel<kEnv, kDither, F::kGreenBits>(g, dv, x.g, x.a, e[1]);
                const uint32_t B = basicChannel<kEnv, kDither, 5>(b, dv, x.b, x.a, e[2]);
                *p = uint16_t(pack<F>(R, G, B));
            }
            sp->ditherPointer = d;
        }
    }
}

// ---- staging span procs -----------------------------------------------------------------------------

// One colour channel of Bits bits as a field byte; c8 the colour's. Without dither a replaced
// texel is rounded to the field at once (the store's rounding then keeps it).
template <int Env, int Bits>
inline uint32_t stagingChannel(uint32_t c8, uint32_t tau, uint32_t ta, uint32_t e, bool dither) {
    constexpr uint32_t kLimit = fieldByteLimit(Bits);
    constexpr int kDrop = 8 - Bits;
    uint32_t v;
    if constexpr (Env == kNone || Env >= kAlphaReplace) v = c8;
    else if constexpr (Env == kReplace) v = dither ? fieldByteOfUnit(tau, kLimit) : mul(tau, kLimit >> kDrop) << kDrop;
    else if constexpr (Env == kModulate) v = mul(tau, c8);
    else if constexpr (Env == kBlend || Env == kBlendIntensity) v = mul(255 - tau, c8) + mul(tau, e);
    else v = mul(fieldByteOfUnit(tau, kLimit), ta) + mul(c8, 255 - ta);  // decal
    return v < kLimit ? v : kLimit;
}

// The fragment's alpha as a unit byte.
template <int Env, bool TexAlpha>
inline uint32_t stagingAlpha(uint32_t a, uint32_t ta, uint32_t ea) {
    if constexpr (Env == kAlphaReplace || (Env == kReplace && TexAlpha)) return ta;
    else if constexpr (Env == kAlphaModulate || ((Env == kModulate || Env == kBlend) && TexAlpha)) return mul(ta, a);
    else if constexpr (Env == kBlendIntensity && TexAlpha) return std::min(mul(255 - ta, a) + mul(ta, ea), 255u);
    else return a;
}

template <class F, int Index>
void GL_FASTCALL stagingSpan(uint32_t mask, GlSpan *sp) {
    constexpr int kEnv = envOf(Index);
    constexpr bool kAlpha = Index & 1, kSmooth = Index & 2, kTexAlpha = texAlphaOf(Index);
    constexpr int kTexelBytes = texelBytesOf(Index);
    GlContext *ctx = sp->context;
    GlFastPathSlots &slots = ctx->state.span.fast;
    if constexpr (texturedEnv(kEnv)) slots.texRoutine(mask, sp);
    const uint8_t *e = slots.envColorBytes;
    // Staged colours are field bytes without the set-up's rounding bias: the store rounds.
    const bool dither = ctx->state.span.raster.shadeFlags & kGlShadeDither;
    const int32_t bias = colourIteratorBias(dither);
    const uint8_t *tx = sp->texels;
    uint8_t *out = sp->stagingColors;
    int32_t r = sp->red.cur, g = sp->green.cur, b = sp->blue.cur, a = sp->alpha.cur;
    const int32_t dr = kSmooth ? sp->red.step : 0, dg = kSmooth ? sp->green.step : 0,
                  db = kSmooth ? sp->blue.step : 0, da = kSmooth ? sp->alpha.step : 0;
    for (uint32_t m = mask; m; m <<= 1, out += 4, r += dr, g += dg, b += db, a += da) {
        if (int32_t(m) >= 0) continue;
        Texel x{0, 0, 0, 255};
        if constexpr (texturedEnv(kEnv)) {
            x = readTexel<kTexelBytes>(tx);
            tx += kTexelBytes;
        }
        constexpr int kDropG = 8 - F::kGreenBits;
        out[0] = uint8_t(stagingChannel<kEnv, 5>(fieldByteOfIterator(r, bias, 3, 248), x.r, x.a, e[0], dither));
        out[1] = uint8_t(stagingChannel<kEnv, F::kGreenBits>(fieldByteOfIterator(g, bias, kDropG, F::kGreenLimit), x.g,
                                                             x.a, e[1], dither));
        out[2] = uint8_t(stagingChannel<kEnv, 5>(fieldByteOfIterator(b, bias, 3, 248), x.b, x.a, e[2], dither));
        if constexpr (kAlpha) out[3] = uint8_t(stagingAlpha<kEnv, kTexAlpha>(uint32_t(a) >> 16, x.a, e[3]));
    }
    slots.afterColor(mask, sp);
}

// ---- tables -----------------------------------------------------------------------------------------

template <class F, size_t... I>
constexpr std::array<GlFastProc, 64> basicTable(std::index_sequence<I...>) {
    return {(basicExists(int(I)) ? &basicSpan<F, int(I)> : nullptr)...};
}
template <class F, size_t... I>
constexpr std::array<GlFastProc, 64> stagingTable(std::index_sequence<I...>) {
    return {(stagingExists(int(I)) ? &stagingSpan<F, int(I)> : nullptr)...};
}

}  // namespace

constinit const GlFastProcTable<64> __glSpanTable555 = basicTable<Fmt555>(std::make_index_sequence<64>());
constinit const GlFastProcTable<64> __glSpanTable565 = basicTable<Fmt565>(std::make_index_sequence<64>());
constinit const GlFastProcTable<64> __glStagingSpanTable555 = stagingTable<Fmt555>(std::make_index_sequence<64>());
constinit const GlFastProcTable<64> __glStagingSpanTable565 = stagingTable<Fmt565>(std::make_index_sequence<64>());
