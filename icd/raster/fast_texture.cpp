// Texturing on the fast path: the texel procs (nearest and bilinear, at level 0 or by level of
// detail) and the texture routines that step the coordinates of a chunk and pack one texel entry
// per covered pixel into the span's texel bytes. Bilinear and level weights are 8-bit and the
// filters blend in SSE2 lanes. Perspective is divided once per run of 16 pixels with the
// coordinates and the level of detail stepped in between, or under GL_NICEST at every pixel with
// the level of detail formed exactly at every pixel; a triangle mapped affinely (q/w the same at
// every vertex) divides nowhere. Where 16 covered pixels sample alike the linear filters run four
// pixels at a time.
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <utility>
#include "icd/raster/fast_color.h"
#include "icd/raster/fast_texture.h"
#include "icd/raster/tex_fetch.h"
#include "icd/raster/tex_sample.h"
#include "icd/pixel/texture_object.h"

using namespace glfast;

namespace {

// A texel as one word: R in the low byte, then G, B, A.
GL_ALWAYS_INLINE uint32_t word(const uint8_t *c) { return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24; }

// Narrow channels widen exactly as the texel fetch procs widen them, so both roads read the
// same bytes.
template <int Bits>
constexpr std::array<uint8_t, (1 << Bits)> makeWiden() {
    std::array<uint8_t, (1 << Bits)> t{};
    for (uint32_t v = 0; v < (1u << Bits); ++v) t[v] = __glWidenChannel<Bits>(v);
    return t;
}
static_assert(makeWiden<5>()[31] == 255 && makeWiden<5>()[16] == 132 && makeWiden<6>()[32] == 130);

// A4R4G4B4 texels decode a byte at a time, every channel lying in one byte: the low byte holds
// green (bits 4-7) and blue, the high byte alpha (bits 12-15) and red.
constexpr std::array<uint32_t, 256> makeArgb4444(bool high) {
    std::array<uint32_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b) {
        const uint32_t upper = (b >> 4) * 17, lower = (b & 15) * 17;
        t[b] = high ? (upper << 24) | lower : (upper << 8) | (lower << 16);
    }
    return t;
}
constexpr std::array<uint32_t, 256> kArgb4444Low = makeArgb4444(false), kArgb4444High = makeArgb4444(true);
constexpr auto kWiden5 = makeWiden<5>();
constexpr auto kWiden6 = makeWiden<6>();

// Where texels come from: the level's fetch proc, or for the layouts read most (levels without
// border) straight from the image.
// SrcAndWrap: the source (its kGlTexelRepeatBoth bit is not read here). Inside: every index is
// inside the level (wrapped or clamped into it), so no test is made and the fetch proc, which
// gives the border colour outside, is never called: a proc that reads only such texels makes no
// call, and so does not realign its stack (which a proc that calls must, its callers giving
// 4-byte alignment).
template <int SrcAndWrap, bool Inside>
GL_ALWAYS_INLINE uint32_t fetchTexel(GlMipLevel *level, GlTextureObject *tex, int32_t row, int32_t col) {
    constexpr int Src = SrcAndWrap & ~kGlTexelRepeatBoth;
    if constexpr (Src != kGlTexelSourceFetch) {
        if (Inside || (uint32_t(row) < uint32_t(level->innerHeight) && uint32_t(col) < uint32_t(level->innerWidth))) {
            const size_t index = (size_t(uint32_t(row)) << level->log2Width) + uint32_t(col);
            if constexpr (Src == kGlTexelSourceRgba8) {
                uint32_t v;
                std::memcpy(&v, level->image + index * 4, 4);
                return v;
            } else if constexpr (Src == kGlTexelSourceRgb8) {
                const uint8_t *p = level->image + index * 3;
                return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | 0xFF000000u;
            } else {
                uint16_t v;
                std::memcpy(&v, level->image + index * 2, 2);
                if constexpr (Src == kGlTexelSourceArgb4444) return kArgb4444Low[v & 0xFF] | kArgb4444High[v >> 8];
                if constexpr (Src == kGlTexelSourceRgb565)
                    return uint32_t(kWiden5[v >> 11]) | uint32_t(kWiden6[(v >> 5) & 63]) << 8 |
                           uint32_t(kWiden5[v & 31]) << 16 | 0xFF000000u;
                if constexpr (Src == kGlTexelSourceArgb1555 || Src == kGlTexelSourceXrgb1555) {
                    const uint32_t alpha = Src == kGlTexelSourceXrgb1555 || (v & 0x8000) ? 0xFF000000u : 0u;
                    return uint32_t(kWiden5[(v >> 10) & 31]) | uint32_t(kWiden5[(v >> 5) & 31]) << 8 |
                           uint32_t(kWiden5[v & 31]) << 16 | alpha;
                }
            }
        }
    }
    uint8_t out[4] = {0, 0, 0, 255};
    level->fetch(level, tex, 0, row, col, out);
    return word(out);
}

GL_ALWAYS_INLINE int32_t wrapNearest(int32_t i, int32_t size, bool repeat) {
    if (repeat) return i & (size - 1);
    return i < 0 ? 0 : (i >= size ? size - 1 : i);
}

template <int Src>
GL_ALWAYS_INLINE uint32_t nearestAt(GlTextureObject *tex, GlMipLevel *level, int32_t s, int32_t t) {
    constexpr bool kRepeat = Src & kGlTexelRepeatBoth;
    const int32_t col = wrapNearest(s >> 16, level->innerWidth, kRepeat || tex->wrapS == GL_REPEAT);
    const int32_t row = wrapNearest(t >> 16, level->innerHeight, kRepeat || tex->wrapT == GL_REPEAT);
    return fetchTexel<Src, true>(level, tex, row, col);
}

// One axis of a bilinear sample: the two indices and the 8-bit weight of the second.
struct Axis {
    int32_t i0, i1;
    uint32_t w;
};
GL_ALWAYS_INLINE Axis linearAxis(int32_t s, int32_t size, bool repeat) {
    if (!repeat) {
        const int32_t max = size << 16;
        s = s < 0 ? 0 : (s > max ? max : s);
    }
    s -= 0x8000;
    Axis a{s >> 16, (s >> 16) + 1, (uint32_t(s) >> 8) & 0xFF};
    if (repeat) {
        a.i0 &= size - 1;
        a.i1 &= size - 1;
    }
    return a;  // without repeat an index beyond the edge reads the border colour
}

// The four bilinear weights (of 256) of the fractions wx and wy (of 256): the far corner's
// product rounded, the others what is left of each axis, so that the four always sum to 256
// (truncating each product would lose up to 3/256 of every filtered texel).
struct BilinearWeights {
    uint32_t w00, w10, w01, w11;
};
GL_ALWAYS_INLINE BilinearWeights bilinearWeights(uint32_t wx, uint32_t wy) {
    const uint32_t w11 = (wx * wy + 128) >> 8;
    return {256 - wx - wy + w11, wx - w11, wy - w11, w11};
}

// Weighted sum of four texel words with 8-bit bilinear weights: the texels widen to 16-bit lanes,
// two texels' channels interleaved, so that one multiply-add per texel pair gives each channel's
// sum (at most 255 x 256 with weights summing to 256); the sum is rounded to its top byte.
GL_ALWAYS_INLINE __m128i pairLanes(uint32_t a, uint32_t b) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(a)), _mm_cvtsi32_si128(int32_t(b)));
}
GL_ALWAYS_INLINE __m128i weightPair(uint32_t w0, uint32_t w1) { return _mm_set1_epi32(int32_t(w0 | w1 << 16)); }
// The four channel sums (32-bit lanes R, G, B, A) already divided by 256.
GL_ALWAYS_INLINE __m128i blend4Lanes(uint32_t t0, uint32_t t1, uint32_t t2, uint32_t t3, uint32_t wx, uint32_t wy) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i both = _mm_unpacklo_epi64(pairLanes(t0, t1), pairLanes(t2, t3));
    const BilinearWeights w = bilinearWeights(wx, wy);
    const __m128i top = _mm_madd_epi16(_mm_unpacklo_epi8(both, zero), weightPair(w.w00, w.w10));
    const __m128i bottom = _mm_madd_epi16(_mm_unpackhi_epi8(both, zero), weightPair(w.w01, w.w11));
    return _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(top, bottom), _mm_set1_epi32(128)), 8);
}
GL_ALWAYS_INLINE uint32_t wordOfLanes(__m128i v) {
    const __m128i w = _mm_packs_epi32(v, v);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
}
GL_ALWAYS_INLINE __m128i lanesOfWord(uint32_t v) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(v)), zero), zero);
}
// (a (256 - w) + b w) / 256 per channel of two lane sets, rounded.
GL_ALWAYS_INLINE uint32_t lerpLanes(__m128i a, __m128i b, uint32_t w) {
    const __m128i pairs = _mm_unpacklo_epi16(_mm_packs_epi32(a, a), _mm_packs_epi32(b, b));
    return wordOfLanes(_mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, weightPair(256 - w, w)), _mm_set1_epi32(128)), 8));
}

template <int Src>
GL_ALWAYS_INLINE __m128i linearLanes(GlTextureObject *tex, GlMipLevel *level, int32_t s, int32_t t) {
    constexpr bool kRepeat = Src & kGlTexelRepeatBoth;
    const Axis x = linearAxis(s, level->innerWidth, kRepeat || tex->wrapS == GL_REPEAT);
    const Axis y = linearAxis(t, level->innerHeight, kRepeat || tex->wrapT == GL_REPEAT);
    // Without repeat an index beyond the edge reads the border colour through the fetch proc.
    const uint32_t q0 = fetchTexel<Src, kRepeat>(level, tex, y.i0, x.i0);
    const uint32_t q1 = fetchTexel<Src, kRepeat>(level, tex, y.i0, x.i1);
    const uint32_t q2 = fetchTexel<Src, kRepeat>(level, tex, y.i1, x.i0);
    const uint32_t q3 = fetchTexel<Src, kRepeat>(level, tex, y.i1, x.i1);
    return blend4Lanes(q0, q1, q2, q3, x.w, y.w);
}
template <int Src>
GL_ALWAYS_INLINE uint32_t linearAt(GlTextureObject *tex, GlMipLevel *level, int32_t s, int32_t t) {
    return wordOfLanes(linearLanes<Src>(tex, level, s, t));
}

// Texture coordinates in 16.16 with 1.0 = the whole texture, scaled to a level's texels.
GL_ALWAYS_INLINE int32_t scaled(int32_t s, int32_t log2) { return int32_t(uint32_t(s) << log2); }

// One sample of a level (coordinates in its texels): nearest or bilinear.
template <bool Linear, int Src>
GL_ALWAYS_INLINE uint32_t sampleAt(GlTextureObject *tex, GlMipLevel *l, int32_t s, int32_t t) {
    if constexpr (Linear) return linearAt<Src>(tex, l, s, t);
    else return nearestAt<Src>(tex, l, s, t);
}

template <bool Linear, int Src>
GL_ALWAYS_INLINE uint32_t sampleLevel(GlTextureObject *tex, int32_t level, int32_t s, int32_t t) {
    GlMipLevel *l = tex->levels[level];
    return sampleAt<Linear, Src>(tex, l, scaled(s, l->log2Width), scaled(t, l->log2Height));
}

// The texel procs by kind; lod is a level index (unscaled forms) or lambda in 16.16.
enum TexelKind { kNearest, kLinear, kNearestScaled, kLinearScaled, kNearestMipNearest, kLinearMipNearest,
                 kNearestMipLinear, kLinearMipLinear, kTexelKinds };

template <int Kind, int Src>
GL_ALWAYS_INLINE uint32_t texelWord(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t) {
    constexpr bool kLinearFilter = Kind == kLinear || Kind == kLinearScaled || Kind == kLinearMipNearest ||
                                   Kind == kLinearMipLinear;
    if constexpr (Kind == kNearest || Kind == kLinear) {
        return sampleAt<kLinearFilter, Src>(tex, tex->levels[lod], s, t);
    } else if constexpr (Kind == kNearestScaled || Kind == kLinearScaled) {
        return sampleLevel<kLinearFilter, Src>(tex, 0, s, t);
    } else if constexpr (Kind == kNearestMipNearest || Kind == kLinearMipNearest) {
        uint32_t level = uint32_t(lod + 0x8000) >> 16;
        if (uint32_t(tex->maxLevel) < level) level = uint32_t(tex->maxLevel);
        return sampleLevel<kLinearFilter, Src>(tex, int32_t(level), s, t);
    } else {
        const uint32_t f = uint32_t(lod + 0x10000) >> 16;
        if (uint32_t(tex->maxLevel) < f) return sampleLevel<kLinearFilter, Src>(tex, tex->maxLevel, s, t);
        if constexpr (kLinearFilter) {
            GlMipLevel *lo = tex->levels[f - 1], *hi = tex->levels[f];
            return lerpLanes(linearLanes<Src>(tex, lo, scaled(s, lo->log2Width), scaled(t, lo->log2Height)),
                             linearLanes<Src>(tex, hi, scaled(s, hi->log2Width), scaled(t, hi->log2Height)),
                             (uint32_t(lod) >> 8) & 0xFF);
        } else {
            const uint32_t lo = sampleLevel<false, Src>(tex, int32_t(f) - 1, s, t);
            const uint32_t hi = sampleLevel<false, Src>(tex, int32_t(f), s, t);
            return lerpLanes(lanesOfWord(lo), lanesOfWord(hi), (uint32_t(lod) >> 8) & 0xFF);
        }
    }
}

}  // namespace

// The texel procs the chooser installs, one line each: the name and the kind. Each is one
// template whose instances read the levels through a texel source (fast_texture.h).
#define GL_TEXEL_PROCS(X)                         \
    X(__glTexelNearest, kNearest)                 \
    X(__glTexelLinear, kLinear)                   \
    X(__glTexelNearestScaled, kNearestScaled)     \
    X(__glTexelLinearScaled, kLinearScaled)       \
    X(__glTexelNearestMipNearest, kNearestMipNearest) \
    X(__glTexelLinearMipNearest, kLinearMipNearest)   \
    X(__glTexelNearestMipLinear, kNearestMipLinear)   \
    X(__glTexelLinearMipLinear, kLinearMipLinear)
#define GL_TEXEL_PROC(name, kind)                                                      \
    template <int Source>                                                              \
    void name(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out) { \
        const uint32_t v = texelWord<kind, Source>(tex, lod, s, t);                    \
        std::memcpy(out, &v, 4);                                                       \
    }
GL_TEXEL_PROCS(GL_TEXEL_PROC)
#undef GL_TEXEL_PROC

namespace {
// A kind's row of the table: the instance of every source, null at the indices that are none.
template <size_t I, class Instance>
constexpr GlTexelProc instanceAt(Instance instance) {
    if constexpr (__glIsTexelSource(int(I))) return instance.template operator()<int(I)>();
    else return nullptr;
}
template <class Instance, size_t... I>
constexpr std::array<GlTexelProc, kGlTexelSourceSlots> rowOf(Instance instance, std::index_sequence<I...>) {
    return {instanceAt<I>(instance)...};
}
}  // namespace

#define GL_TEXEL_ROW(name, kind) \
    rowOf([]<int Source>() { return &name<Source>; }, std::make_index_sequence<kGlTexelSourceSlots>()),
constinit const std::array<std::array<GlTexelProc, kGlTexelSourceSlots>, kGlTexelKinds> __glTexelProcs = {
    GL_TEXEL_PROCS(GL_TEXEL_ROW)};
#undef GL_TEXEL_ROW
#define GL_TEXEL_KIND(name, kind) kind,
namespace {
constexpr int kListedKinds[] = {GL_TEXEL_PROCS(GL_TEXEL_KIND)};
constexpr bool listedInOrder() {
    for (int i = 0; i < kTexelKinds; ++i)
        if (kListedKinds[i] != i) return false;
    return true;
}
static_assert(std::size(kListedKinds) == kTexelKinds && kTexelKinds == kGlTexelKinds && listedInOrder(),
              "the table is indexed by kind");
}  // namespace
#undef GL_TEXEL_KIND
#undef GL_TEXEL_PROCS
static_assert(kGlTexelNearestScaledKind == kNearestScaled && kGlTexelLinearScaledKind == kLinearScaled &&
              kGlTexelNearestMipNearestKind == kNearestMipNearest && kGlTexelLinearMipLinearKind == kLinearMipLinear);

// ---- texture routines -----------------------------------------------------------------------------

namespace {

// Packs the entry of one covered pixel from a texel word: alpha alone, R G B, or R G B A.
template <int Bytes>
inline uint8_t *put(uint8_t *dst, uint32_t texel) {
    if constexpr (Bytes == 1) {
        dst[0] = uint8_t(texel >> 24);
    } else {
        dst[0] = uint8_t(texel);
        dst[1] = uint8_t(texel >> 8);
        dst[2] = uint8_t(texel >> 16);
        if constexpr (Bytes == 4) dst[3] = uint8_t(texel >> 24);
    }
    return dst + Bytes;
}

// How a routine samples: through the context's texel-proc slots, or with the texel procs of a
// known kind and texel source compiled in (no call per pixel).
struct SlotSampler {
    static constexpr bool kMinAtLevel0 = false;
    template <int Bytes>
    static bool run16(GlTextureObject *, float, const int32_t *, const int32_t *, uint8_t *) {
        return false;
    }
    GlTexelProc minify, magnify;
    explicit SlotSampler(const GlFastPathSlots &sl) : minify(sl.texelMinify), magnify(sl.texelMagnify) {}
    uint32_t min(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t) const {
        uint8_t out[4];
        minify(tex, lod, s, t, out);
        return word(out);
    }
    uint32_t mag(GlTextureObject *tex, int32_t s, int32_t t) const {
        uint8_t out[4];
        magnify(tex, 0, s, t, out);
        return word(out);
    }
};
template <int MinKind, int MagKind, int Src>
struct InlineSampler {
    // The minifying filter samples level 0 bilinearly, as the magnifying one does.
    static constexpr bool kMinAtLevel0 = MinKind == kLinearScaled;
    template <int Bytes>
    static bool run16(GlTextureObject *tex, float rho2, const int32_t *s, const int32_t *t, uint8_t *dst);
    explicit InlineSampler(const GlFastPathSlots &) {}
    GL_ALWAYS_INLINE uint32_t min(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t) const {
        return texelWord<MinKind, Src>(tex, lod, s, t);
    }
    GL_ALWAYS_INLINE uint32_t mag(GlTextureObject *tex, int32_t s, int32_t t) const { return texelWord<MagKind, Src>(tex, 0, s, t); }
};

template <int Bytes, class Sampler>
void GL_FASTCALL texAffine(uint32_t mask, GlSpan *sp) {
    GlFastPathSlots &sl = sp->context->state.span.fast;
    GlTextureObject *tex = sl.texture;
    const Sampler sampler(sl);
    int32_t s = sp->s.cur, t = sp->t.cur;
    const int32_t ds = sp->s.step, dt = sp->t.step;
    uint8_t *dst = sp->texels;
    // Sixteen covered pixels at level 0: four at a time.
    if constexpr (Sampler::kMinAtLevel0) {
        while ((mask >> 16) == 0xFFFFu) {
            int32_t ss[16], ts[16];
            for (int i = 0; i < 16; ++i) {
                ss[i] = int32_t(uint32_t(s) + uint32_t(i) * uint32_t(ds));
                ts[i] = int32_t(uint32_t(t) + uint32_t(i) * uint32_t(dt));
            }
            if (!Sampler::template run16<Bytes>(tex, 0.0f, ss, ts, dst)) break;
            dst += 16 * Bytes;
            mask <<= 16;
            s = int32_t(uint32_t(s) + 16u * uint32_t(ds));
            t = int32_t(uint32_t(t) + 16u * uint32_t(dt));
        }
    }
    for (; mask; mask <<= 1, s += ds, t += dt) {
        if (int32_t(mask) >= 0) continue;
        dst = put<Bytes>(dst, sampler.min(tex, 0, s, t));
    }
}

// A positive normal 1/w: above this bit pattern the divide is safe.
inline bool divisible(float qw) {
    int32_t bits;
    std::memcpy(&bits, &qw, 4);
    return bits > 0x3FFFFE;
}
// lambda in 16.16 from the float bits of rho squared: the exponent and mantissa read as a
// fixed-point log2 with 15 fraction bits is 2 lambda, that is lambda with 16.
inline int32_t lambdaOf(float rho2) {
    int32_t bits;
    std::memcpy(&bits, &rho2, 4);
    return ((bits >> 8) & 0x7FFFFF) - 0x3F8000;
}

// ---- four pixels at once ---------------------------------------------------------------------------
// The bilinear filter of four neighbouring pixels of one level of 4-4-4-4 texels (the layout the
// device keeps RGBA textures in) with both wraps GL_REPEAT, with the arithmetic of linearAt: the
// indices, weights and texel reads of four pixels, then per channel one multiply-add per row of
// texel pairs. Results are 16-bit lanes R0-R3 G0-G3 and B0-B3 A0-A3.
struct Lanes4 {
    __m128i rg, ba;
};

// Four 32-bit lanes a * b for lanes below 32768.
GL_ALWAYS_INLINE __m128i product32(__m128i a, __m128i b) { return _mm_madd_epi16(a, b); }

// One channel of both rows (texel pairs per pixel in 16-bit lanes) summed with the weight pairs,
// rounded.
GL_ALWAYS_INLINE __m128i channelSum(__m128i top, __m128i bottom, __m128i wTop, __m128i wBottom) {
    const __m128i sum = _mm_add_epi32(_mm_madd_epi16(top, wTop), _mm_madd_epi16(bottom, wBottom));
    return _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(128)), 8);
}

// The texel rows of four pixels' bilinear samples in a level: the index of each row's first
// texel and the weight (of 256) of the lower row. Tx: the pixels' t in the level's texels (16.16),
// less half a texel.
struct Rows4 {
    __m128i r0, r1, wy;
};
GL_ALWAYS_INLINE Rows4 rows4(const GlMipLevel *level, __m128i Tx) {
    const __m128i hMask = _mm_set1_epi32(level->innerHeight - 1);
    const __m128i j0 = _mm_and_si128(_mm_srai_epi32(Tx, 16), hMask);
    const __m128i j1 = _mm_and_si128(_mm_add_epi32(j0, _mm_set1_epi32(1)), hMask);
    const __m128i sh = _mm_cvtsi32_si128(level->log2Width);
    return {_mm_sll_epi32(j0, sh), _mm_sll_epi32(j1, sh), _mm_and_si128(_mm_srli_epi32(Tx, 8), _mm_set1_epi32(0xFF))};
}

// Alpha: whether the entries carry the texture's alpha (without it that lane is left 0).
template <bool Alpha>
// Sx: the four pixels' s in the level's texels (16.16), less half a texel; rows: their texel rows.
GL_ALWAYS_INLINE Lanes4 linear4(GlMipLevel *level, __m128i Sx, const Rows4 &rows) {
    const __m128i ff = _mm_set1_epi32(0xFF), one = _mm_set1_epi32(1), full = _mm_set1_epi32(256);
    const __m128i wMask = _mm_set1_epi32(level->innerWidth - 1);
    const __m128i i0 = _mm_and_si128(_mm_srai_epi32(Sx, 16), wMask), i1 = _mm_and_si128(_mm_add_epi32(i0, one), wMask);
    const __m128i wx = _mm_and_si128(_mm_srli_epi32(Sx, 8), ff), wy = rows.wy;
    const __m128i r0 = rows.r0, r1 = rows.r1;
    // The weights of bilinearWeights(), four pixels at once.
    const __m128i w11 = _mm_srli_epi32(_mm_add_epi32(product32(wx, wy), _mm_set1_epi32(128)), 8);
    const __m128i w10 = _mm_sub_epi32(wx, w11), w01 = _mm_sub_epi32(wy, w11);
    const __m128i w00 = _mm_add_epi32(_mm_sub_epi32(_mm_sub_epi32(full, wx), wy), w11);
    __m128i wTop = _mm_or_si128(w00, _mm_slli_epi32(w10, 16));
    __m128i wBottom = _mm_or_si128(w01, _mm_slli_epi32(w11, 16));
    // Channels widen by 17 (15 to 255): the factor goes into the weights instead.
    const __m128i k17 = _mm_set1_epi16(17);
    wTop = _mm_mullo_epi16(wTop, k17);
    wBottom = _mm_mullo_epi16(wBottom, k17);
    const uint16_t *img = reinterpret_cast<const uint16_t *>(level->image);
    auto four = [](__m128i a, __m128i b, __m128i c, __m128i d) __attribute__((always_inline)) {
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d));
    };
    // A texel and its right neighbour are one read unless the pair wraps round the row; where no
    // pixel's first column is the row's last, none does.
    __m128i top, bottom;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(i0, wMask)) == 0) {
        alignas(16) uint32_t idx[2][4];
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[0]), _mm_add_epi32(r0, i0));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[1]), _mm_add_epi32(r1, i0));
        auto pair = [&](uint32_t a) __attribute__((always_inline)) {
            uint32_t v;
            std::memcpy(&v, img + a, 4);
            return _mm_cvtsi32_si128(int32_t(v));
        };
        top = four(pair(idx[0][0]), pair(idx[0][1]), pair(idx[0][2]), pair(idx[0][3]));
        bottom = four(pair(idx[1][0]), pair(idx[1][1]), pair(idx[1][2]), pair(idx[1][3]));
    } else {
        alignas(16) uint32_t idx[4][4];
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[0]), _mm_add_epi32(r0, i0));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[1]), _mm_add_epi32(r0, i1));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[2]), _mm_add_epi32(r1, i0));
        _mm_store_si128(reinterpret_cast<__m128i *>(idx[3]), _mm_add_epi32(r1, i1));
        auto pair = [&](int first, int second, int p) __attribute__((always_inline)) {
            const uint32_t a = idx[first][p], b = idx[second][p];
            uint32_t v;
            if (b == a + 1) std::memcpy(&v, img + a, 4);
            else v = img[a] | uint32_t(img[b]) << 16;
            return _mm_cvtsi32_si128(int32_t(v));
        };
        top = four(pair(0, 1, 0), pair(0, 1, 1), pair(0, 1, 2), pair(0, 1, 3));
        bottom = four(pair(2, 3, 0), pair(2, 3, 1), pair(2, 3, 2), pair(2, 3, 3));
    }
    const __m128i nibble = _mm_set1_epi16(15);
    auto field = [&](int shift) __attribute__((always_inline)) {
        const __m128i sh = _mm_cvtsi32_si128(shift);
        return channelSum(_mm_and_si128(_mm_srl_epi16(top, sh), nibble), _mm_and_si128(_mm_srl_epi16(bottom, sh), nibble),
                          wTop, wBottom);
    };
    const __m128i r = field(8), g = field(4), b = field(0), a = Alpha ? field(12) : _mm_setzero_si128();
    return {_mm_packs_epi32(r, g), _mm_packs_epi32(b, a)};
}

// (lo (256 - w) + hi w) / 256 per channel, rounded; every true sum is at most 255 x 256, so
// with the half added it stays below 65536.
GL_ALWAYS_INLINE Lanes4 lerp4(Lanes4 lo, Lanes4 hi, uint32_t w) {
    const __m128i wl = _mm_set1_epi16(int16_t(256 - w)), wh = _mm_set1_epi16(int16_t(w)), half = _mm_set1_epi16(128);
    auto mix = [&](__m128i x, __m128i y) __attribute__((always_inline)) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(x, wl), _mm_mullo_epi16(y, wh)), half), 8);
    };
    return {mix(lo.rg, hi.rg), mix(lo.ba, hi.ba)};
}

// Four texel words R | G << 8 | B << 16 | A << 24.
GL_ALWAYS_INLINE __m128i words4(Lanes4 v) {
    return _mm_or_si128(_mm_unpacklo_epi16(v.rg, v.ba), _mm_slli_epi32(_mm_unpackhi_epi16(v.rg, v.ba), 8));
}

// The level or pair of levels sixteen pixels sampled at one level of detail (rho squared the same
// for all) read, with the choice texelWord makes per pixel made once: w weighs the second level.
struct Levels16 {
    GlMipLevel *first, *second;  // second null for one level
    uint32_t w;
};
template <int MinKind>
GL_ALWAYS_INLINE Levels16 levelsAt(GlTextureObject *tex, float rho2) {
    int32_t lo = 0, hi = -1;
    uint32_t w = 0;
    if (!(rho2 <= tex->lodThreshold) && MinKind != kLinearScaled) {
        const int32_t lod = lambdaOf(rho2);
        if constexpr (MinKind == kLinearMipNearest) {
            uint32_t level = uint32_t(lod + 0x8000) >> 16;
            if (uint32_t(tex->maxLevel) < level) level = uint32_t(tex->maxLevel);
            lo = int32_t(level);
        } else {
            const uint32_t f = uint32_t(lod + 0x10000) >> 16;
            if (uint32_t(tex->maxLevel) < f) {
                lo = tex->maxLevel;
            } else {
                lo = int32_t(f) - 1;
                hi = int32_t(f);
                w = (uint32_t(lod) >> 8) & 0xFF;
            }
        }
    }
    return {tex->levels[lo], hi >= 0 ? tex->levels[hi] : nullptr, w};
}

// The filters the four-pixel form serves: bilinear 4-4-4-4 texels, both wraps GL_REPEAT, bilinear
// magnification and a bilinear minifying filter, entries with colour.
template <int MinKind, int MagKind, int Src, int Bytes>
constexpr bool kServes16 = Src == (kGlTexelSourceArgb4444 | kGlTexelRepeatBoth) &&
                           (MinKind == kLinearScaled || MinKind == kLinearMipNearest || MinKind == kLinearMipLinear) &&
                           MagKind == kLinearScaled && Bytes >= 3;

// Sixteen pixels at the levels chosen, four at a time: sink(k, lanes) receives pixels k to k + 3.
// s and t hold the sixteen pixels' coordinates (16.16, 1.0 = the whole texture); tSame: every t
// is t[0] (a texture whose t does not change along the row), so that the texel rows are found
// once per level.
template <bool Alpha, class Sink>
GL_ALWAYS_INLINE void linearGroups16(const Levels16 &lv, const int32_t *s, const int32_t *t, bool tSame, Sink &&sink) {
    // Pixels k to k + 3 in a level's texels less half a texel; 32-bit words wrap as the pixel
    // loop's do.
    auto at = [](const int32_t *c, int32_t log2, int k) __attribute__((always_inline)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + k));
        return _mm_sub_epi32(_mm_sll_epi32(v, _mm_cvtsi32_si128(log2)), _mm_set1_epi32(0x8000));
    };
    auto walk = [&](auto same) __attribute__((always_inline)) {
        GlMipLevel *a = lv.first, *b = lv.second;
        Rows4 rowsA{}, rowsB{};
        if constexpr (same) {
            rowsA = rows4(a, at(t, a->log2Height, 0));
            if (b != nullptr) rowsB = rows4(b, at(t, b->log2Height, 0));
        }
        for (int k = 0; k < 16; k += 4) {
            if constexpr (!same) rowsA = rows4(a, at(t, a->log2Height, k));
            const Lanes4 first = linear4<Alpha>(a, at(s, a->log2Width, k), rowsA);
            if (b == nullptr) {
                sink(k, first);
                continue;
            }
            if constexpr (!same) rowsB = rows4(b, at(t, b->log2Height, k));
            sink(k, lerp4(first, linear4<Alpha>(b, at(s, b->log2Width, k), rowsB), lv.w));
        }
    };
    if (tSame) walk(std::true_type{});
    else walk(std::false_type{});
}

// Sixteen covered pixels sampled at one level of detail into their texel entries; returns false
// for the filters not served here.
template <int MinKind, int MagKind, int Src, int Bytes>
GL_ALWAYS_INLINE bool linearRun16(GlTextureObject *tex, float rho2, const int32_t *s, const int32_t *t, uint8_t *dst) {
    if constexpr (!kServes16<MinKind, MagKind, Src, Bytes>) {
        return false;
    } else {
        linearGroups16<Bytes == 4>(levelsAt<MinKind>(tex, rho2), s, t, false, [&](int, Lanes4 v) __attribute__((always_inline)) {
            const __m128i words = words4(v);
            if constexpr (Bytes == 4) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), words);
            } else {
                // The four entries close up into 12 bytes (each word's fourth byte is 0 here), one
                // store of 16: the last 4 bytes are overwritten by the next entries or lie past them.
                const __m128i low = _mm_set_epi32(0, -1, 0, -1);
                const __m128i sixes = _mm_or_si128(_mm_and_si128(words, low), _mm_srli_epi64(_mm_andnot_si128(low, words), 8));
                const __m128i firstSix = _mm_set_epi32(0, 0, 0xFFFF, -1);
                const __m128i packed = _mm_or_si128(_mm_and_si128(sixes, firstSix),
                                                    _mm_andnot_si128(firstSix, _mm_srli_si128(sixes, 2)));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(dst), packed);
            }
            dst += 4 * Bytes;
        });
        return true;
    }
}

template <int MinKind, int MagKind, int Src>
template <int Bytes>
bool InlineSampler<MinKind, MagKind, Src>::run16(GlTextureObject *tex, float rho2, const int32_t *s, const int32_t *t,
                                                 uint8_t *dst) {
    return linearRun16<MinKind, MagKind, Src, Bytes>(tex, rho2, s, t, dst);
}

// A texture coordinate in 16.16 rounded down, so that a level of 2^k texels sees floor(s 2^k)
// exactly; beyond the 32-bit range (and NaN) the most negative word.
inline int32_t floorFixed16(float s) {
    const float v = s * 65536.0f;
    int32_t i = _mm_cvttss_si32(_mm_set_ss(v));
    if (i != INT32_MIN && float(i) > v) i -= 1;
    return i;
}

// The planes of a span record that the level of detail is formed from.
inline GlTexelScale texelScaleOf(const GlSpan &sp, float width, float height) {
    return {sp.sw.step, sp.tw.step, sp.qw.step, sp.sw.dy, sp.tw.dy, sp.qw.dy, width * width, height * height};
}

// floorFixed16((a + k da) x scale) for k = 0 .. 15 (without Scaled: of a + k da), four lanes at
// a time with the scalar form's arithmetic: every product and sum rounded to a float (the scale
// times 65536 rounds as the scale does, a power of two apart). Where no lane has its sign bit set
// (the usual case, coordinates inside the texture), truncation is already the floor. Returns
// whether all sixteen are the same: with da +-0, k da is a zero and a + k da is a + 0 x da at
// every k, whatever the signs.
template <bool Scaled>
GL_ALWAYS_INLINE bool fixedRun16(float a, float da, float scale, int32_t *out) {
    const __m128 factor = _mm_set1_ps(Scaled ? scale * 65536.0f : 65536.0f);
    const __m128 start = _mm_set1_ps(a), step = _mm_set1_ps(da);
    if (da == 0.0f) {
        const __m128 v = _mm_mul_ps(_mm_add_ps(start, _mm_mul_ps(_mm_setzero_ps(), step)), factor);
        __m128i i = _mm_cvttps_epi32(v);
        if (_mm_movemask_ps(v) != 0) {
            const __m128i down = _mm_andnot_si128(_mm_cmpeq_epi32(i, _mm_set1_epi32(INT32_MIN)),
                                                  _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), v)));
            i = _mm_add_epi32(i, down);
        }
#pragma GCC unroll 4
        for (int g = 0; g < 4; ++g) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * g), i);
        return true;
    }
    __m128 v[4];
    __m128 signs = _mm_setzero_ps();
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        const int k = 4 * g;
        const __m128 ks = _mm_setr_ps(float(k), float(k + 1), float(k + 2), float(k + 3));
        v[g] = _mm_mul_ps(_mm_add_ps(start, _mm_mul_ps(ks, step)), factor);
        signs = _mm_or_ps(signs, v[g]);
    }
    if (_mm_movemask_ps(signs) == 0) {
#pragma GCC unroll 4
        for (int g = 0; g < 4; ++g) _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * g), _mm_cvttps_epi32(v[g]));
        return false;
    }
    const __m128i most = _mm_set1_epi32(INT32_MIN);
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        const __m128i i = _mm_cvttps_epi32(v[g]);
        const __m128i down = _mm_andnot_si128(_mm_cmpeq_epi32(i, most), _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), v[g])));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * g), _mm_add_epi32(i, down));
    }
    return false;
}

// One run of 16 positions of a perspective chunk: each position's coordinates in 16.16 and its
// rho squared (0 where the routine needs none); uniform: every position's rho squared is
// rho2[0] (the rest are not written); tSame: every position's t is the same.
struct Run16 {
    int32_t s[16], t[16];
    float rho2[16];
    bool uniform, tSame;
};

// Across a run whose 1/w changes by at most this factor, rho squared stepped linearly between
// its exact values at the run's ends stays within about 0.2 % of the exact one (rho squared goes
// as (1/w)^-4 along a row, and a chord over so short a stretch of it barely bows), a
// thousandth of a level: well inside OpenGL's bound. Steeper runs form it at every position.
constexpr float kLodStepRatio = 1.0f + 1.0f / 32.0f;

// The chunk's two runs.
// - A triangle whose q/w is the same at every vertex maps the texture affinely: s = (s/w) r and
//   t = (t/w) r at every position with r = 1 / (q/w) formed once per triangle, and rho squared,
//   which is then the same everywhere, formed once too. Every road, under every hint, draws such
//   a triangle with this arithmetic, which is also what dividing at every position gives.
// - Exact (GL_NICEST): every position of the span divides, s = (s/w) / (1/w) and t likewise, and
//   rho squared is exact at every position (__glRho2At).
// - Otherwise one division at each run's end: s, t and rho squared exact there and stepped
//   linearly between (rho squared at every position where 1/w changes faster than
//   kLodStepRatio across the run, or where an end has no positive 1/w: such a run divides at
//   every position of the span).
// A run's end lies at most at the span's last pixel (otherEdgeX - 1 in the walk's positions): a
// run the span ends inside ends there, with its steps over the positions up to it, so that no
// coordinate and no level of detail comes from a place outside the triangle, where 1/w may be
// near 0 or of the other sign. Positions past the span's last pixel (never sampled) repeat it.
template <bool Lod, bool Exact>
struct PerspectiveRuns {
    GlSpan *sp;
    float sw, tw, qw;
    GlTexelScale scale{};
    bool affine;
    // The positions of the span from the current run's first on (at least 1).
    int32_t left = 0;
    // The stepped road: the values at the current run's start, and whether its 1/w divides.
    float s0 = 0.0f, t0 = 0.0f, l0 = 0.0f, q0 = 0.0f;
    bool started = false;
    GL_ALWAYS_INLINE explicit PerspectiveRuns(GlSpan *span)
        : sp(span), sw(span->sw.cur), tw(span->tw.cur), qw(span->qw.cur) {
        if constexpr (Lod) {
            const GlMipLevel *level0 = span->context->state.span.fast.texture->levels[0];
            scale = texelScaleOf(*span, level0->innerWidthF, level0->innerHeightF);
        }
        affine = span->qw.step == 0.0f && span->qw.dy == 0.0f && divisible(qw);
        if (affine) {
            if (span->affineR == 0.0f) {
                const float r = 1.0f / qw;
                span->affineR = r;
                span->affineRho2 = Lod ? __glRho2At(scale, sw, tw, qw, r) : 0.0f;
            }
            return;
        }
        left = span->otherEdgeX - span->x;
        if constexpr (!Exact) {
            started = endAt(sw, tw, qw, s0, t0, l0);
            q0 = qw;
        }
    }
    // The division at a run's end.
    GL_ALWAYS_INLINE bool endAt(float a, float b, float q, float &s, float &t, float &l) const {
        if (!divisible(q)) return false;
        const float r = 1.0f / q;
        s = a * r;
        t = b * r;
        l = Lod ? __glRho2At(scale, a, b, q, r) : 0.0f;
        return true;
    }
    // Rho squared at the first n positions of the run starting at sw, tw, qw (and, with
    // Coordinates, s and t), each position divided; the later positions repeat the n-th.
    template <bool Coordinates>
    GL_ALWAYS_INLINE void divideEach(Run16 &run, int n) const {
        const float dsw = sp->sw.step, dtw = sp->tw.step, dqw = sp->qw.step;
        for (int i = 0; i < n; ++i) {
            const float k = float(i), a = sw + k * dsw, b = tw + k * dtw, q = qw + k * dqw;
            if (!divisible(q)) {
                if constexpr (Coordinates) run.s[i] = run.t[i] = 0;
                run.rho2[i] = 0.0f;
                continue;
            }
            const float r = 1.0f / q;
            if constexpr (Coordinates) {
                run.s[i] = floorFixed16(a * r);
                run.t[i] = floorFixed16(b * r);
            }
            run.rho2[i] = Lod ? __glRho2At(scale, a, b, q, r) : 0.0f;
        }
        for (int i = n; i < 16; ++i) {
            if constexpr (Coordinates) {
                run.s[i] = run.s[n - 1];
                run.t[i] = run.t[n - 1];
            }
            run.rho2[i] = run.rho2[n - 1];
        }
    }
    GL_ALWAYS_INLINE void next(Run16 &run) {
        const float sw1 = sw + sp->sw.halfStep, tw1 = tw + sp->tw.halfStep, qw1 = qw + sp->qw.halfStep;
        if (affine) {
            const float r = sp->affineR;
            fixedRun16<true>(sw, sp->sw.step, r, run.s);
            run.tSame = fixedRun16<true>(tw, sp->tw.step, r, run.t);
            run.rho2[0] = sp->affineRho2;
            run.uniform = true;
            advance(sw1, tw1, qw1);
            return;
        }
        run.uniform = false;
        run.tSame = false;
        // The positions of the span in this run and the steps to its end: 16 to the next run's
        // first position, fewer to the span's last pixel, 0 where the run's first is the last.
        const int n = left < 16 ? (left > 0 ? left : 1) : 16;
        const int steps = left > 16 ? 16 : n - 1;
        left -= 16;
        if constexpr (Exact) {
            divideEach<true>(run, n);
        } else {
            float s1 = s0, t1 = t0, l1 = l0, qEnd = q0;
            bool ended = started;
            if (steps == 16) {
                qEnd = qw1;
                ended = endAt(sw1, tw1, qw1, s1, t1, l1);
            } else if (steps > 0) {
                const float k = float(steps);
                qEnd = qw + k * sp->qw.step;
                ended = endAt(sw + k * sp->sw.step, tw + k * sp->tw.step, qEnd, s1, t1, l1);
            }
            if (started && ended) {
                const float inverse = kGlRunStepInverse[size_t(steps)];
                fixedRun16<false>(s0, (s1 - s0) * inverse, 1.0f, run.s);
                run.tSame = fixedRun16<false>(t0, (t1 - t0) * inverse, 1.0f, run.t);
                if constexpr (Lod) {
                    if (qEnd <= q0 * kLodStepRatio && q0 <= qEnd * kLodStepRatio) {
                        const float dl = (l1 - l0) * inverse;
                        for (int i = 0; i < 16; ++i) run.rho2[i] = l0 + float(i) * dl;
                        // Past the span's last pixel (never sampled), its value.
                        for (int i = steps + 1; i < 16; ++i) run.rho2[i] = run.rho2[steps];
                    } else {
                        divideEach<false>(run, n);
                    }
                } else {
                    for (float &l : run.rho2) l = 0.0f;
                }
            } else {
                divideEach<true>(run, n);
            }
            s0 = s1;
            t0 = t1;
            l0 = l1;
            q0 = qw1;
            started = ended;
        }
        advance(sw1, tw1, qw1);
    }
    GL_ALWAYS_INLINE void advance(float a, float b, float q) {
        sw = a;
        tw = b;
        qw = q;
    }
};

// Whether the sixteen positions of a run sample alike: at level 0, or for mipmaps where every
// position magnifies or all share one level of detail.
template <int Kind, bool MinAtLevel0>
GL_ALWAYS_INLINE bool alike16(const Run16 &run, float threshold) {
    if constexpr (Kind == kGlTexMip) {
        if (run.uniform) return true;
        bool magnify = true, same = true;
        for (int i = 0; i < 16; ++i) {
            magnify &= run.rho2[i] <= threshold;
            same &= run.rho2[i] == run.rho2[0];
        }
        return magnify || same;
    } else {
        return Kind != kGlTexAffine && MinAtLevel0;
    }
}

// Road: the routine kind, with kGlTexExact for the division at every position.
template <int Road, int Bytes, class Sampler>
void GL_FASTCALL texPerspective(uint32_t mask, GlSpan *sp) {
    constexpr int Kind = Road & ~kGlTexExact;
    GlFastPathSlots &sl = sp->context->state.span.fast;
    GlTextureObject *tex = sl.texture;
    const Sampler sampler(sl);
    const float threshold = tex->lodThreshold;
    PerspectiveRuns<Kind != kGlTexPerspective, (Road & kGlTexExact) != 0> runs(sp);
    uint8_t *dst = sp->texels;
    Run16 run;
    for (int r = 0; r < 2 && mask != 0; ++r) {
        runs.next(run);
        // Sixteen covered pixels sampled alike: four at a time.
        if (alike16<Kind, Sampler::kMinAtLevel0>(run, threshold) && (mask >> 16) == 0xFFFFu &&
            Sampler::template run16<Bytes>(tex, run.rho2[0], run.s, run.t, dst)) {
            dst += 16 * Bytes;
            mask <<= 16;
            continue;
        }
        for (int i = 0; i < 16 && mask != 0; ++i, mask <<= 1) {
            if (int32_t(mask) >= 0) continue;
            const int32_t s = run.s[i], t = run.t[i];
            const float rho2 = run.uniform ? run.rho2[0] : run.rho2[i];
            uint32_t texel;
            if constexpr (Kind == kGlTexPerspective) texel = sampler.min(tex, 0, s, t);
            else if (rho2 <= threshold) texel = sampler.mag(tex, s, t);
            else if constexpr (Kind == kGlTexMinMag) texel = sampler.min(tex, 0, s, t);
            else texel = sampler.min(tex, lambdaOf(rho2), s, t);
            dst = put<Bytes>(dst, texel);
        }
    }
}

// The first n positions of a chunk textured with bilinear 4-4-4-4 texels and modulated by the
// smooth colour in one pass, where the runs they lie in sample alike: the texel channels go from
// the filter's lanes straight into the modulation, with the arithmetic of the texture routine and
// the basic span proc it stands for. Other chunks take that span proc (which calls the texture
// routine). The filter reads whole groups past the n-th position (the texture repeats, so every
// read is inside it); only the n positions are written.
template <int Road, int MinKind, class F, bool Dither, bool Back>
GL_ALWAYS_INLINE bool texModulateChunk(GlSpan *sp, int n) {
    constexpr int Kind = Road & ~kGlTexExact;
    GlTextureObject *tex = sp->context->state.span.fast.texture;
    const float threshold = tex->lodThreshold;
    PerspectiveRuns<Kind != kGlTexPerspective, (Road & kGlTexExact) != 0> runs(sp);
    Run16 first, second;
    runs.next(first);
    runs.next(second);
    constexpr bool kLevel0 = MinKind == kLinearScaled;
    if (!alike16<Kind, kLevel0>(first, threshold) || (n > 16 && !alike16<Kind, kLevel0>(second, threshold))) return false;
    const uint32_t *d = sp->ditherPointer;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel);
    ColourBytes8<F> colour(sp, colourIteratorBias(Dither));
    Lanes4 held{};
    int left = n;
    for (const Run16 *run : {&first, &second}) {
        if (left <= 0) break;
        linearGroups16<false>(levelsAt<MinKind>(tex, run->rho2[0]), run->s, run->t, run->tSame,
                              [&](int k, Lanes4 v) __attribute__((always_inline)) {
                                  if (!(k & 4)) {
                                      held = v;
                                      return;
                                  }
                                  if (left <= 0) return;
                                  const __m128i tR = _mm_unpacklo_epi64(held.rg, v.rg), tG = _mm_unpackhi_epi64(held.rg, v.rg);
                                  const __m128i tB = _mm_unpacklo_epi64(held.ba, v.ba);
                                  const __m128i px = modulatePixels8<F, Dither>(tR, tG, tB, colour, d);
                                  if (left >= 8) {
                                      storeWalk8<Back>(out, px);
                                  } else {
                                      alignas(16) uint16_t lanes[8];
                                      _mm_store_si128(reinterpret_cast<__m128i *>(lanes), px);
                                      for (int i = 0; i < left; ++i) out[Back ? -i : i] = lanes[i];
                                  }
                                  left -= 8;
                                  out += Back ? -8 : 8;
                                  d += 8;
                                  colour.next();
                              });
    }
    sp->ditherPointer = d;
    return true;
}

template <int Kind, int MinKind, class F, bool Dither>
void GL_FASTCALL texModulate(uint32_t mask, GlSpan *sp) {
    // The covered positions of a triangle's chunk come first in walking order.
    if (mask != 0 && (~mask & (~mask + 1)) == 0) {
        const int n = mask == 0xFFFFFFFFu ? 32 : __builtin_clz(~mask);
        if (sp->xStep < 0 ? texModulateChunk<Kind, MinKind, F, Dither, true>(sp, n)
                          : texModulateChunk<Kind, MinKind, F, Dither, false>(sp, n))
            return;
    }
    // Smooth, GL_MODULATE, entries of three bytes, dithered or not.
    constexpr size_t kIndex = 2 | (3 << 2) | (Dither ? 1 : 0);
    (F::kFormatCode == Fmt565::kFormatCode ? __glSpanTable565 : __glSpanTable555)[kIndex](mask, sp);
}

template <int Road, int Bytes, class Sampler>
constexpr GlFastProc routine() {
    if constexpr ((Road & ~kGlTexExact) == kGlTexAffine) return &texAffine<Bytes, Sampler>;
    else return &texPerspective<Road, Bytes, Sampler>;
}
template <int Road>
constexpr GlFastProcTable<3> routinesOf() {
    return {routine<Road, 1, SlotSampler>(), routine<Road, 3, SlotSampler>(), routine<Road, 4, SlotSampler>()};
}

// The routines with their texel procs compiled in, for the filters and sources drawn most, on
// the roads that divide once per run (GL_NICEST takes the routines through the texel-proc slots):
// index [kind][entry bytes 3 or 4][filter pair][source].
constexpr int kInlineFilters[][2] = {{kLinearMipLinear, kLinearScaled},
                                     {kLinearMipNearest, kLinearScaled},
                                     {kLinearScaled, kLinearScaled},
                                     {kNearestScaled, kNearestScaled}};
constexpr int kInlineSources[] = {kGlTexelSourceRgba8,
                                  kGlTexelSourceArgb4444,
                                  kGlTexelSourceRgb565,
                                  kGlTexelSourceRgba8 | kGlTexelRepeatBoth,
                                  kGlTexelSourceArgb4444 | kGlTexelRepeatBoth,
                                  kGlTexelSourceRgb565 | kGlTexelRepeatBoth};
constexpr int kFilterCount = 4, kSourceCount = 6;
template <size_t I>
constexpr GlFastProc inlineEntry() {
    constexpr int kSrc = kInlineSources[I % kSourceCount];
    constexpr int kFilter = (I / kSourceCount) % kFilterCount;
    constexpr int kBytes = (I / (kSourceCount * kFilterCount)) % 2 ? 4 : 3;
    constexpr int kKind = int(I / (kSourceCount * kFilterCount * 2));
    return routine<kKind, kBytes, InlineSampler<kInlineFilters[kFilter][0], kInlineFilters[kFilter][1], kSrc>>();
}
template <size_t... I>
constexpr std::array<GlFastProc, sizeof...(I)> inlineTable(std::index_sequence<I...>) {
    return {inlineEntry<I>()...};
}
constexpr size_t kInlineCount = 4 * 2 * kFilterCount * kSourceCount;
constinit const std::array<GlFastProc, kInlineCount> kInlineRoutines = inlineTable(std::make_index_sequence<kInlineCount>());

}  // namespace

namespace {
template <size_t... Road>
constexpr std::array<GlFastProcTable<3>, kGlTexRoads> routineTable(std::index_sequence<Road...>) {
    return {routinesOf<int(Road)>()...};
}
}  // namespace

constinit const std::array<GlFastProcTable<3>, kGlTexRoads> __glTexSpanRoutines =
    routineTable(std::make_index_sequence<kGlTexRoads>());

GlFastProc __glTexSpanRoutineInline(int road, int entryBytes, int minKind, int magKind, int source) {
    if (road < 0 || road > kGlTexMip || (entryBytes != 3 && entryBytes != 4)) return nullptr;
    const int kind = road;
    int filter = -1, src = -1;
    for (int i = 0; i < kFilterCount; ++i)
        if (kInlineFilters[i][0] == minKind && (kInlineFilters[i][1] == magKind || kind == kGlTexPerspective ||
                                                kind == kGlTexAffine))
            filter = i;
    for (int i = 0; i < kSourceCount; ++i)
        if (kInlineSources[i] == source) src = i;
    if (filter < 0 || src < 0) return nullptr;
    return kInlineRoutines[size_t(((kind * 2 + (entryBytes == 4)) * kFilterCount + filter) * kSourceCount + src)];
}

namespace {
// The fused texture-and-modulate procs: index [exact][kind 1-3][bilinear minifying filter][layout][dither].
constexpr int kModulateMinKinds[] = {kLinearScaled, kLinearMipNearest, kLinearMipLinear};
template <size_t I>
constexpr GlFastProc modulateEntry() {
    constexpr bool kDither = I & 1, k565 = I & 2;
    constexpr int kMin = kModulateMinKinds[(I >> 2) % 3];
    constexpr int kKind = int(I / 12) % 3 + kGlTexPerspective + (I >= 36 ? kGlTexExact : 0);
    if constexpr (k565) return &texModulate<kKind, kMin, Fmt565, kDither>;
    else return &texModulate<kKind, kMin, Fmt555, kDither>;
}
template <size_t... I>
constexpr std::array<GlFastProc, sizeof...(I)> modulateTable(std::index_sequence<I...>) {
    return {modulateEntry<I>()...};
}
constinit const std::array<GlFastProc, 72> kModulateProcs = modulateTable(std::make_index_sequence<72>());
}  // namespace

GlFastProc __glTexModulateProc(int road, int minKind, int magKind, int source, int32_t formatCode, bool dither) {
    const int kind = road & ~kGlTexExact;
    if (road < 0 || road >= kGlTexRoads || kind < kGlTexPerspective || magKind != kLinearScaled ||
        source != (kGlTexelSourceArgb4444 | kGlTexelRepeatBoth) ||
        (formatCode != Fmt555::kFormatCode && formatCode != Fmt565::kFormatCode))
        return nullptr;
    for (size_t m = 0; m < 3; ++m)
        if (kModulateMinKinds[m] == minKind)
            return kModulateProcs[size_t((road & kGlTexExact) ? 36 : 0) + size_t(kind - kGlTexPerspective) * 12 + m * 4 +
                                  (formatCode == Fmt565::kFormatCode ? 2 : 0) + (dither ? 1 : 0)];
    return nullptr;
}
