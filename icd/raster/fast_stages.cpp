// The fragment stages of the fast chain: polygon stipple, alpha test on the staged
// colours, depth test, stencil test and update with the six operations, the fog stages, the
// do-nothing end and the store that writes both colour buffers. Each takes the chunk's mask and
// calls its successor slot only while some pixel is alive.
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <utility>
#include "icd/raster/fast_color.h"
#include "icd/raster/depth_buffer.h"

using namespace glfast;
using namespace glraster;

namespace {

GlFastPathSlots &slots(GlSpan *sp) { return sp->context->state.span.fast; }

// The first window x of the chunk, left to right; a right-to-left chunk holds -x and covers
// -x - 31 .. -x.
int32_t chunkLeft(const GlSpan *sp) { return sp->xStep < 0 ? -sp->x - 31 : sp->x; }
constexpr std::array<uint8_t, 256> makeReversedBytes() {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) t[size_t(i)] |= uint8_t(0x80 >> b);
    return t;
}
constexpr std::array<uint8_t, 256> kReversedBytes = makeReversedBytes();

// A left-to-right mask as the chunk's walking order wants it: each byte reversed, the four
// bytes exchanged end for end.
uint32_t inWalkOrder(const GlSpan *sp, uint32_t m) {
    if (sp->xStep >= 0) return m;
    return uint32_t(kReversedBytes[m & 0xFF]) << 24 | uint32_t(kReversedBytes[(m >> 8) & 0xFF]) << 16 |
           uint32_t(kReversedBytes[(m >> 16) & 0xFF]) << 8 | kReversedBytes[m >> 24];
}

}  // namespace

void GL_FASTCALL __glFastPolygonStipple(uint32_t mask, GlSpan *sp) {
    if (mask == 0) return;
    GlContext *ctx = sp->context;
    const GlDrawableExtent &drawable = ctx->state.transform.drawable;
    const int32_t row = drawable.yInverted ? (drawable.height + ctx->limits.biasY - sp->y - 1) & 31 : sp->y & 31;
    const uint32_t w = std::rotl(inputsOf(ctx).stippleWords[row], chunkLeft(sp) & 31);
    const uint32_t m = mask & inWalkOrder(sp, w);
    if (m != 0) slots(sp).afterStipple(m, sp);
}

void GL_FASTCALL __glFastAlphaTest(uint32_t mask, GlSpan *sp) {
    const uint8_t *table = inputsOf(sp->context).alphaTestTable;
    uint32_t keep = 0;
    const uint8_t *c = sp->stagingColors + 3;
    for (uint32_t m = mask, bit = 0x80000000u; m; m <<= 1, bit >>= 1, c += 4)
        if (int32_t(m) < 0 && table[*c] != 0) keep |= bit;
    if (keep != 0) slots(sp).afterAlphaTest(keep, sp);
}

void GL_FASTCALL __glFastFogIndex(uint32_t mask, GlSpan *sp) {
    const uint8_t *t = __glSquareTableCentre();
    const int32_t k = sp->context->state.fog.fogIndexByte;
    int32_t fog = sp->fog.cur;
    uint8_t *c = sp->stagingColors;
    for (uint32_t m = mask; m; m <<= 1, c += 4, fog += sp->fog.step) {
        if (int32_t(m) >= 0) continue;
        int32_t e = fog >> 16;
        e = e < 0 ? 0 : (e > 255 ? 255 : e);
        // (1 - f) * fog index with f = e / 255, through the table of squares.
        const int32_t add = (int32_t(t[255 - e]) + t[k] - t[255 - e - k]) >> 1;
        uint32_t index;
        std::memcpy(&index, c, 4);
        index += uint32_t(add) << 16;
        std::memcpy(c, &index, 4);
    }
    slots(sp).afterFog(mask, sp);
}

// ---- stencil ----------------------------------------------------------------------------------------

void GL_FASTCALL __glFastStencilTest(uint32_t mask, GlSpan *sp) {
    GlContext *ctx = sp->context;
    const GlModeState &mode = ctx->state.mode;
    const uint32_t vm = mode.stencilValueMask & 0xFF;
    const uint32_t ref = ctx->state.depthStencil.stencilRef & vm;
    const uint8_t *s = sp->stencilAddress;
    uint32_t pass = 0;
    for (uint32_t m = mask, bit = 0x80000000u; m; m <<= 1, bit >>= 1, s += sp->xStep) {
        if (int32_t(m) >= 0) continue;
        const uint32_t v = *s & vm;
        bool ok;
        switch (mode.stencilFunc) {
        case GL_LESS: ok = ref < v; break;
        case GL_EQUAL: ok = ref == v; break;
        case GL_LEQUAL: ok = ref <= v; break;
        case GL_GREATER: ok = ref > v; break;
        case GL_NOTEQUAL: ok = ref != v; break;
        case GL_GEQUAL: ok = ref >= v; break;
        case GL_ALWAYS: ok = true; break;
        default: ok = false; break;
        }
        if (ok) pass |= bit;
    }
    sp->stencilPassMask = pass;
    GlFastPathSlots &sl = slots(sp);
    if (pass != mask) sl.stencilFailOp(mask & ~pass, sp);
    if (pass == 0) return;
    sl.afterStencilTest(pass, sp);
    // A depth stage calls on only while some pixel passes: where none did, the update never ran
    // and every pixel that passed the stencil test failed the depth test.
    if (sp->stencilPassMask != 0) sl.stencilDepthFailOp(sp->stencilPassMask, sp);
}

void GL_FASTCALL __glFastStencilUpdate(uint32_t mask, GlSpan *sp) {
    GlFastPathSlots &sl = slots(sp);
    if (mask != sp->stencilPassMask) sl.stencilDepthFailOp(sp->stencilPassMask & ~mask, sp);
    sp->stencilPassMask = 0;  // the stencil test's pixels are taken care of
    if (mask == 0) return;
    sl.stencilDepthPassOp(mask, sp);
    sl.afterStencilUpdate(mask, sp);
}

namespace {

enum class StencilOp { Keep, Zero, Replace, Incr, Decr, Invert };

template <StencilOp Op>
void GL_FASTCALL stencilOp(uint32_t mask, GlSpan *sp) {
    if constexpr (Op == StencilOp::Keep) {
        return;
    } else {
        GlContext *ctx = sp->context;
        const uint32_t wm = ctx->state.mode.stencilWriteMask & 0xFF;
        const uint32_t ref = ctx->state.depthStencil.stencilRef & 0xFF;
        uint8_t *s = sp->stencilAddress;
        for (uint32_t m = mask; m; m <<= 1, s += sp->xStep) {
            if (int32_t(m) >= 0) continue;
            const uint32_t v = *s;
            if constexpr (Op == StencilOp::Zero) *s = uint8_t(v & ~wm);
            if constexpr (Op == StencilOp::Replace) *s = uint8_t((ref & wm) | (v & ~wm));
            if constexpr (Op == StencilOp::Incr)
                if (v != 255) *s = uint8_t((v & ~wm) | ((v + 1) & wm));
            if constexpr (Op == StencilOp::Decr)
                if (v != 0) *s = uint8_t((v & ~wm) | ((v - 1) & wm));
            if constexpr (Op == StencilOp::Invert) *s = uint8_t(v ^ wm);
        }
    }
}

}  // namespace

void GL_FASTCALL __glFastStencilKeep(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Keep>(mask, sp); }
void GL_FASTCALL __glFastStencilZero(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Zero>(mask, sp); }
void GL_FASTCALL __glFastStencilReplace(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Replace>(mask, sp); }
void GL_FASTCALL __glFastStencilIncr(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Incr>(mask, sp); }
void GL_FASTCALL __glFastStencilDecr(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Decr>(mask, sp); }
void GL_FASTCALL __glFastStencilInvert(uint32_t mask, GlSpan *sp) { stencilOp<StencilOp::Invert>(mask, sp); }

GlFastProc __glPickFastStencilOp(GLenum op) {
    switch (op) {
    case GL_ZERO: return __glFastStencilZero;
    case GL_INVERT: return __glFastStencilInvert;
    case GL_KEEP: return __glFastStencilKeep;
    case GL_REPLACE: return __glFastStencilReplace;
    case GL_INCR: return __glFastStencilIncr;
    case GL_DECR: return __glFastStencilDecr;
    default: return nullptr;
    }
}

void GL_FASTCALL __glFastStageNone(uint32_t, GlSpan *) {}

// ---- depth ------------------------------------------------------------------------------------------

namespace {

// After the test the passing pixels go on; a following stencil update runs even when none
// passed, since the failing ones take its depth-fail operation.
inline void afterDepth(uint32_t keep, GlSpan *sp) {
    if (keep != 0 || (sp->context->state.span.raster.shadeFlags & kGlShadeStencilTest))
        slots(sp).afterDepthTest(keep, sp);
}

template <int Func>
inline bool depthPasses(uint32_t incoming, uint32_t stored) {
    if constexpr (Func == 1) return incoming < stored;
    if constexpr (Func == 2) return incoming == stored;
    if constexpr (Func == 3) return incoming <= stored;
    if constexpr (Func == 4) return incoming > stored;
    if constexpr (Func == 5) return incoming != stored;
    if constexpr (Func == 6) return incoming >= stored;
    return Func == 7;
}

// The depth test of a chunk: the value of a pixel is the epoch base plus its fixed-point depth
// shifted to the buffer's precision (16-bit elements compare the low 16 bits). With polygon offset
// (Clamped) the offset depth is limited to [0, the buffer's scale] instead of wrapping.
template <typename Element, int Func, bool Write, bool Clamped>
void GL_FASTCALL depthStage(uint32_t mask, GlSpan *sp) {
    if constexpr (Func == 0) {
        return afterDepth(0, sp);
    } else {
        GlContext *ctx = sp->context;
        const GlDepthBuffer &db = ctx->buffers.depth;
        const int32_t shift = db.shift;
        const uint32_t base = db.epochBase;
        Element *p = reinterpret_cast<Element *>(sp->depthAddress);
        const int32_t step = sp->xStep;
        uint32_t keep = 0;
        uint32_t z = uint32_t(sp->z.cur);
        const uint32_t dz = uint32_t(sp->z.step);
        int64_t zo = int64_t(uint32_t(sp->z.cur)) + sp->depthOffset;
        const int64_t zoStep = sp->z.step, zMax = int64_t(db.scale);
        for (uint32_t m = mask, bit = 0x80000000u; m; m <<= 1, bit >>= 1, p += step, z += dz, zo += zoStep) {
            if (int32_t(m) >= 0) continue;
            uint32_t zz = z;
            if constexpr (Clamped) zz = uint32_t(zo < 0 ? 0 : (zo > zMax ? zMax : zo));
            uint32_t value = base + (zz >> shift);
            if constexpr (sizeof(Element) == 2) value &= 0xFFFFu;
            if (Func == 7 || depthPasses<Func>(value, *p)) {
                keep |= bit;
                if constexpr (Write) *p = Element(value);
            }
        }
        afterDepth(keep, sp);
    }
}

// The unsigned 16-bit depth test of eight lanes, as a mask of the passing lanes or (where one
// operation fewer gives it) of the failing ones: kGivesFail says which.
template <int Func>
struct DepthTest16 {
    static constexpr bool kGivesFail = Func == 1 || Func == 4 || Func == 5;
    static GL_ALWAYS_INLINE __m128i mask(__m128i v, __m128i s) {
        const __m128i zero = _mm_setzero_si128();
        if constexpr (Func == 1 || Func == 6) return _mm_cmpeq_epi16(_mm_subs_epu16(s, v), zero);  // v >= s
        if constexpr (Func == 3 || Func == 4) return _mm_cmpeq_epi16(_mm_subs_epu16(v, s), zero);  // v <= s
        if constexpr (Func == 2 || Func == 5) return _mm_cmpeq_epi16(v, s);
        return _mm_cmpeq_epi16(zero, zero);  // GL_ALWAYS: every lane passes
    }
    // The passing lanes among the live ones.
    static GL_ALWAYS_INLINE __m128i passing(__m128i t, __m128i live) {
        return kGivesFail ? _mm_andnot_si128(t, live) : _mm_and_si128(t, live);
    }
};

// The lanes of eight positions whose bits are set in live8 (bit 7 - position); Reversed: the
// positions lie in the lanes from 7 down to 0.
template <bool Reversed>
GL_ALWAYS_INLINE __m128i liveLanes16(uint32_t live8) {
    const __m128i laneBits = Reversed ? _mm_setr_epi16(0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80)
                                      : _mm_setr_epi16(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
    return _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(int16_t(live8)), laneBits), laneBits);
}

// Bits 16-31 of eight 32-bit lanes as 16-bit lanes (the arithmetic shift keeps the pack from
// saturating).
GL_ALWAYS_INLINE __m128i highHalves(__m128i lo, __m128i hi) {
    return _mm_packs_epi32(_mm_srai_epi32(lo, 16), _mm_srai_epi32(hi, 16));
}

// The 16-bit depth values of eight walk positions at a time: the fixed-point depths shifted to
// the buffer's precision plus the epoch base, as DepthTest16 takes them.
struct DepthValues16 {
    __m128i zv, dz4, dz8, shift, base;
    GL_ALWAYS_INLINE DepthValues16(const GlSpan *sp, const GlDepthBuffer &db) {
        const uint32_t z = uint32_t(sp->z.cur), dz = uint32_t(sp->z.step);
        zv = _mm_setr_epi32(int32_t(z), int32_t(z + dz), int32_t(z + 2 * dz), int32_t(z + 3 * dz));
        dz4 = _mm_set1_epi32(int32_t(4 * dz));
        dz8 = _mm_set1_epi32(int32_t(8 * dz));
        shift = _mm_cvtsi32_si128(db.shift);
        base = _mm_set1_epi32(int32_t(db.epochBase));
    }
    GL_ALWAYS_INLINE __m128i values() const {
        const __m128i a = _mm_add_epi32(_mm_srl_epi32(zv, shift), base);
        const __m128i b = _mm_add_epi32(_mm_srl_epi32(_mm_add_epi32(zv, dz4), shift), base);
        return highHalves(_mm_slli_epi32(a, 16), _mm_slli_epi32(b, 16));
    }
    GL_ALWAYS_INLINE void next() { zv = _mm_add_epi32(zv, dz8); }
};

// Lanes of pass where set, of keep elsewhere.
inline __m128i select16(__m128i pass, __m128i value, __m128i keep) {
    return _mm_or_si128(_mm_and_si128(pass, value), _mm_andnot_si128(pass, keep));
}

// The 16-bit depth test eight positions at a time: the depths of eight positions compared with
// the stored values, the passing live ones written. Lanes are in walk order in either direction
// (a right-to-left chunk's blocks are loaded and stored reversed); positions after the last whole
// group of eight take the pixel loop.
template <int Func, bool Write, bool Back>
void depthChunk16(uint32_t mask, GlSpan *sp) {
    constexpr int32_t kStep = Back ? -1 : 1;
    const GlDepthBuffer &db = sp->context->buffers.depth;
    uint16_t *p = reinterpret_cast<uint16_t *>(sp->depthAddress);
    const int32_t n = 32 - __builtin_ctz(mask), groups = n >> 3;
    DepthValues16 depth(sp, db);
    uint32_t keep = 0;
    for (int32_t g = 0; g < groups; ++g, depth.next()) {
        const uint32_t live8 = (mask >> (24 - 8 * g)) & 0xFF;
        if (live8 == 0) continue;
        const __m128i v = depth.values();
        uint16_t *q = p + kStep * 8 * g;
        const __m128i stored = loadWalk8<Back>(q);
        const __m128i pass = DepthTest16<Func>::passing(DepthTest16<Func>::mask(v, stored), liveLanes16<false>(live8));
        const uint32_t bits = uint32_t(_mm_movemask_epi8(_mm_packs_epi16(pass, _mm_setzero_si128()))) & 0xFF;
        if (bits == 0) continue;
        keep |= uint32_t(kReversedBytes[bits]) << (24 - 8 * g);
        if constexpr (Write) storeWalk8<Back>(q, select16(pass, v, stored));
    }
    const uint32_t dz = uint32_t(sp->z.step);
    uint32_t zi = uint32_t(sp->z.cur) + uint32_t(groups * 8) * dz;
    for (int32_t i = groups * 8; i < n; ++i, zi += dz) {
        const uint32_t bit = 0x80000000u >> i;
        if (!(mask & bit)) continue;
        uint16_t &stored = p[kStep * i];
        const uint32_t value = (db.epochBase + (zi >> db.shift)) & 0xFFFFu;
        if (Func == 7 || depthPasses<Func>(value, stored)) {
            keep |= bit;
            if constexpr (Write) stored = uint16_t(value);
        }
    }
    afterDepth(keep, sp);
}

template <int Func, bool Write>
void GL_FASTCALL depthStage16(uint32_t mask, GlSpan *sp) {
    if constexpr (Func == 0) {
        return afterDepth(0, sp);
    } else {
        if (mask == 0) return;
        if (sp->xStep < 0) depthChunk16<Func, Write, true>(mask, sp);
        else depthChunk16<Func, Write, false>(mask, sp);
    }
}

// ---- the depth test fused with the smooth colour ----------------------------------------------

// The values of the depth stage and of the smooth basic span proc as the fused proc steps them,
// each a 32-bit iterator whose bits 16-31 give the result. The depth of a position is the low 16
// bits of (z >> s) + epochBase: bits 16-31 of (z + (epochBase << s)) << (16 - s) modulo 2^32, for
// s <= 16. A pixel is the low 16 bits of R << rs | G << gs | B with each channel
// (c + dither) >> 16: bits 16-31 of (r' & redMask) | (g' & greenMask) | b', where
// r' = (r + dither) << rs, g' = (g + dither) << gs and b' = b + dither (wrapping: what falls off
// the top would fall off the pixel too), the masks dropping the fraction bits that would land in
// the fields below.
template <class F>
struct FusedValues {
    static constexpr uint32_t kRedMask = 0xFFFFFFFFu << (16 + F::kRedShift);
    static constexpr uint32_t kGreenMask = 0xFFFFFFFFu << (16 + F::kGreenShift);
    uint32_t z, dz, r, dr, g, dg, b, db;
    GL_ALWAYS_INLINE FusedValues(const GlSpan *sp, const GlDepthBuffer &depth) {
        const int32_t up = 16 - depth.shift;
        z = (uint32_t(sp->z.cur) + (depth.epochBase << depth.shift)) << up;
        dz = uint32_t(sp->z.step) << up;
        r = uint32_t(sp->red.cur) << F::kRedShift;
        dr = uint32_t(sp->red.step) << F::kRedShift;
        g = uint32_t(sp->green.cur) << F::kGreenShift;
        dg = uint32_t(sp->green.step) << F::kGreenShift;
        b = uint32_t(sp->blue.cur);
        db = uint32_t(sp->blue.step);
    }
    static GL_ALWAYS_INLINE uint16_t pixel(uint32_t r, uint32_t g, uint32_t b, uint32_t dither) {
        const uint32_t v = ((r + (dither << F::kRedShift)) & kRedMask) |
                           ((g + (dither << F::kGreenShift)) & kGreenMask) | (b + dither);
        return uint16_t(v >> 16);
    }
};

// The walker's dither rows repeat every four positions (the matrix is 4 x 4): a block's lanes 4-7
// then take the levels of its lanes 0-3, and every block those of the first. Both tables lie in
// one object, so that this is one range check.
inline bool ditherRepeatsByFour(const uint32_t *d) {
    return uintptr_t(d) - uintptr_t(&__glFastDitherTables) < sizeof __glFastDitherTables;
}

// The positions of a chunk from `from` on, one at a time, those whose mask bit is set (the mask's
// last set bit ends the walk).
template <class F, bool Dither, int Func, bool Write, bool Back>
GL_ALWAYS_INLINE void depthSmoothPixels(uint32_t mask, GlSpan *sp, const FusedValues<F> &it, int32_t from) {
    constexpr int32_t kStep = Back ? -1 : 1;
    uint16_t *zp = reinterpret_cast<uint16_t *>(sp->depthAddress) + kStep * from;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel) + kStep * from;
    const uint32_t *d = sp->ditherPointer + from;
    const uint32_t k = uint32_t(from);
    uint32_t z = it.z + k * it.dz, r = it.r + k * it.dr, g = it.g + k * it.dg, b = it.b + k * it.db;
    for (uint32_t m = mask << from; m != 0;
         m <<= 1, zp += kStep, out += kStep, ++d, z += it.dz, r += it.dr, g += it.dg, b += it.db) {
        if (int32_t(m) >= 0) continue;
        const uint32_t value = z >> 16;
        if (Func == 7 || depthPasses<Func>(value, *zp)) {
            if constexpr (Write) *zp = uint16_t(value);
            *out = FusedValues<F>::pixel(r, g, b, Dither ? *d : 0);
        }
    }
}

// The iterators of FusedValues at four consecutive walk positions, their lanes in memory order
// (the first position in lane 0, or in lane 3 walking right to left), each stepped four positions
// at a time. Block g of a chunk is the steps 2g and 2g + 1: walking right to left, the block
// starts seven elements below the position walked first and its later four positions come first
// in memory, so that a block is loaded and stored as it lies, with no lanes exchanged.
template <class F, bool Back>
struct FusedLanes {
    __m128i z, r, g, b, fourZ, fourR, fourG, fourB;
    GL_ALWAYS_INLINE explicit FusedLanes(const FusedValues<F> &it)
        : FusedLanes(_mm_setr_epi32(int32_t(it.z), int32_t(it.r), int32_t(it.g), int32_t(it.b)),
                     _mm_setr_epi32(int32_t(it.dz), int32_t(it.dr), int32_t(it.dg), int32_t(it.db))) {}
    // From the iterators' values at the first position (c) and their steps (s), z r g b in lanes.
    GL_ALWAYS_INLINE FusedLanes(__m128i c, __m128i s) {
        // Rows: positions; columns: the iterators. Four rows, transposed.
        const __m128i p1 = _mm_add_epi32(c, s), p2 = _mm_add_epi32(p1, s), p3 = _mm_add_epi32(p2, s);
        const __m128i a0 = Back ? p3 : c, a1 = Back ? p2 : p1, a2 = Back ? p1 : p2, a3 = Back ? c : p3;
        const __m128i t0 = _mm_unpacklo_epi32(a0, a1), t1 = _mm_unpacklo_epi32(a2, a3);
        const __m128i t2 = _mm_unpackhi_epi32(a0, a1), t3 = _mm_unpackhi_epi32(a2, a3);
        z = _mm_unpacklo_epi64(t0, t1);
        r = _mm_unpackhi_epi64(t0, t1);
        g = _mm_unpacklo_epi64(t2, t3);
        b = _mm_unpackhi_epi64(t2, t3);
        const __m128i s4 = _mm_slli_epi32(s, 2);
        fourZ = _mm_shuffle_epi32(s4, 0x00);
        fourR = _mm_shuffle_epi32(s4, 0x55);
        fourG = _mm_shuffle_epi32(s4, 0xAA);
        fourB = _mm_shuffle_epi32(s4, 0xFF);
    }
    // The depths of the next four positions (bits 16-31), stepping on.
    GL_ALWAYS_INLINE __m128i takeDepth() {
        const __m128i v = _mm_srai_epi32(z, 16);
        z = _mm_add_epi32(z, fourZ);
        return v;
    }
    // Dither levels of four positions (lane order) added to the colour.
    template <class Lanes>
    static GL_ALWAYS_INLINE void addLevels(Lanes &c, __m128i l) {
        c.r = _mm_add_epi32(c.r, _mm_slli_epi32(l, F::kRedShift));
        c.g = _mm_add_epi32(c.g, _mm_slli_epi32(l, F::kGreenShift));
        c.b = _mm_add_epi32(c.b, l);
    }
    // The pixels of the next four positions (bits 16-31), with the dither levels l where the
    // colour does not hold them; stepping on.
    template <bool Levels>
    GL_ALWAYS_INLINE __m128i takeColour(__m128i l) {
        struct {
            __m128i r, g, b;
        } c{r, g, b};
        if constexpr (Levels) addLevels(c, l);
        const __m128i redMask = _mm_set1_epi32(int32_t(FusedValues<F>::kRedMask));
        const __m128i greenMask = _mm_set1_epi32(int32_t(FusedValues<F>::kGreenMask));
        const __m128i v = _mm_or_si128(_mm_or_si128(_mm_and_si128(c.r, redMask), _mm_and_si128(c.g, greenMask)), c.b);
        skipColour();
        return _mm_srai_epi32(v, 16);
    }
    GL_ALWAYS_INLINE void skipColour() {
        r = _mm_add_epi32(r, fourR);
        g = _mm_add_epi32(g, fourG);
        b = _mm_add_epi32(b, fourB);
    }
};

// The positions of a chunk from `from` on (a multiple of four) whose mask bit is set, four at a
// time, from the lanes of the chunk's blocks (at `from` by now, their dither levels in them): a
// group's depths and pixels are formed in lanes, then each live position is tested and stored on
// its own, so that nothing past the last live position is touched.
template <class F, int Func, bool Write, bool Back>
GL_ALWAYS_INLINE void depthSmoothQuads(uint32_t mask, GlSpan *sp, FusedLanes<F, Back> &lanes, int32_t from) {
    constexpr int32_t kStep = Back ? -1 : 1;
    uint16_t *zp = reinterpret_cast<uint16_t *>(sp->depthAddress) + kStep * from;
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel) + kStep * from;
    for (uint32_t m = mask << from; m != 0; m <<= 4, zp += 4 * kStep, out += 4 * kStep) {
        const __m128i depth = lanes.takeDepth(), colour = lanes.template takeColour<false>(_mm_setzero_si128());
        // Position i of the group; walking right to left its lane is 3 - i.
        auto position = [&](auto i) __attribute__((always_inline)) {
            constexpr int kAt = decltype(i)::value, kLane = Back ? 3 - kAt : kAt;
            if (int32_t(m << kAt) >= 0) return;
            const uint32_t value = uint32_t(_mm_extract_epi16(depth, 2 * kLane));
            uint16_t *q = zp + kStep * kAt;
            if (Func == 7 || depthPasses<Func>(value, *q)) {
                if constexpr (Write) *q = uint16_t(value);
                out[kStep * kAt] = uint16_t(_mm_extract_epi16(colour, 2 * kLane));
            }
        };
        position(std::integral_constant<int, 0>());
        position(std::integral_constant<int, 1>());
        position(std::integral_constant<int, 2>());
        position(std::integral_constant<int, 3>());
    }
}

// ---- the fused proc's whole blocks, written out ----

// Rows of large triangles are chunks all of whose positions are live but the row's last. With
// eight vector registers the compiler cannot keep the four iterators, the steps, the masks and a
// block's values in registers at once, and spills around every block; these blocks keep the
// iterators in registers for the whole chunk and read the steps and masks as memory operands.
// State: z, r, g, b as FusedLanes steps them (first position in lane 0); per block, xmm0 the
// eight depths (then the colour), xmm1 the stored ones, xmm2 the test's mask, xmm3 scratch. A
// block all of whose positions pass runs straight through; any other leaves for the code after
// the last block (label 2N), which skips the colour of a block that fails throughout (3N) and
// comes back to the block's end (1N). CMP leaves in xmm2 the lanes whose saturated difference
// is zero.
#define KIV_FUSED_COLOUR(REG)                                                                                        \
    "movdqa %[r], " REG "\n\tpand %[rm], " REG "\n\tmovdqa %[g], %%xmm3\n\tpand %[gm], %%xmm3\n\t"                   \
    "por %%xmm3, " REG "\n\tpor %[b], " REG "\n\tpsrad $16, " REG "\n\t"                                             \
    "paddd %[fr], %[r]\n\tpaddd %[fg], %[g]\n\tpaddd %[fb], %[b]\n\t"
#define KIV_FUSED_PIXELS KIV_FUSED_COLOUR("%%xmm0") KIV_FUSED_COLOUR("%%xmm1") "packssdw %%xmm1, %%xmm0\n\t"
#define KIV_FUSED_BLOCK(N, OFF, CMP)                                                                                 \
    "movdqa %[z], %%xmm0\n\tpsrad $16, %%xmm0\n\tpaddd %[fz], %[z]\n\t"                                              \
    "movdqa %[z], %%xmm1\n\tpsrad $16, %%xmm1\n\tpaddd %[fz], %[z]\n\t"                                              \
    "packssdw %%xmm1, %%xmm0\n\tmovdqu " OFF "(%[zp]), %%xmm1\n\t" CMP "pcmpeqw %[zero], %%xmm2\n\t"                 \
    "pmovmskb %%xmm2, %[bits]\n\tcmp %[allPass], %[bits]\n\tjne 2" N "f\n\t"                                         \
    "movdqu %%xmm0, " OFF "(%[zp])\n\t" KIV_FUSED_PIXELS "movdqu %%xmm0, " OFF "(%[out])\n"                          \
    "1" N ":\n\t"
#define KIV_FUSED_OTHER(N, OFF)                                                                                      \
    "2" N ":\n\tcmp %[allFail], %[bits]\n\tje 3" N "f\n\t"                                                           \
    "pxor %[toPass], %%xmm2\n\tmovdqa %%xmm2, %%xmm3\n\tpand %%xmm2, %%xmm0\n\tpandn %%xmm1, %%xmm3\n\t"             \
    "por %%xmm3, %%xmm0\n\tmovdqu %%xmm0, " OFF "(%[zp])\n\t" KIV_FUSED_PIXELS                                       \
    "movdqu " OFF "(%[out]), %%xmm1\n\tpand %%xmm2, %%xmm0\n\tpandn %%xmm1, %%xmm2\n\tpor %%xmm2, %%xmm0\n\t"        \
    "movdqu %%xmm0, " OFF "(%[out])\n\tjmp 1" N "b\n"                                                                \
    "3" N ":\n\tpaddd %[fr], %[r]\n\tpaddd %[fg], %[g]\n\tpaddd %[fb], %[b]\n\t"                                     \
    "paddd %[fr], %[r]\n\tpaddd %[fg], %[g]\n\tpaddd %[fb], %[b]\n\tjmp 1" N "b\n"
#define KIV_FUSED_CHUNK(CMP)                                                                                         \
    KIV_FUSED_BLOCK("0", "0", CMP) KIV_FUSED_BLOCK("1", "16", CMP) KIV_FUSED_BLOCK("2", "32", CMP)                   \
    KIV_FUSED_BLOCK("3", "48", CMP) "jmp 9f\n" KIV_FUSED_OTHER("0", "0") KIV_FUSED_OTHER("1", "16")                  \
    KIV_FUSED_OTHER("2", "32") KIV_FUSED_OTHER("3", "48") "9:\n"

template <class F>
struct alignas(16) FusedMasks {
    uint32_t red[4], green[4];
};
template <class F>
constexpr FusedMasks<F> kFusedMasks{{FusedValues<F>::kRedMask, FusedValues<F>::kRedMask, FusedValues<F>::kRedMask,
                                     FusedValues<F>::kRedMask},
                                    {FusedValues<F>::kGreenMask, FusedValues<F>::kGreenMask, FusedValues<F>::kGreenMask,
                                     FusedValues<F>::kGreenMask}};
// Zero, and the xor that turns a failing lanes' mask into a passing lanes' one.
alignas(16) constexpr uint32_t kFusedZero[4] = {0, 0, 0, 0};
alignas(16) constexpr uint32_t kFusedOnes[4] = {~0u, ~0u, ~0u, ~0u};
template <bool GivesFail>
constexpr const uint32_t (&kFusedToPass)[4] = GivesFail ? kFusedOnes : kFusedZero;

// The tests the written-out blocks serve: those of an ordering, with writes (the others take
// depthSmoothChunk).
constexpr bool fusedBlocksServe(int func, bool write) {
    return write && (func == 1 || func == 3 || func == 4 || func == 6);
}

// A whole chunk. Walking right to left, the chunk is walked left to right from its last position
// with the steps negated: every position gets the same values, and the blocks are loaded and
// stored as they lie.
template <class F, bool Dither, int Func, bool Back>
GL_ALWAYS_INLINE void depthSmoothWhole(GlSpan *sp, const GlDepthBuffer &db) {
    static_assert(fusedBlocksServe(Func, true));
    using Test = DepthTest16<Func>;
    // FusedValues' iterators before their shifts, read from the record four words at a time
    // (cur, rowStart, step, chunkStep) and transposed: the values (c) and the steps.
    auto words = [](const GlSpanIter &i) __attribute__((always_inline)) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(&i));
    };
    const __m128i wz = words(sp->z), wr = words(sp->red), wg = words(sp->green), wb = words(sp->blue);
    __m128i c = _mm_unpacklo_epi64(_mm_unpacklo_epi32(wz, wr), _mm_unpacklo_epi32(wg, wb));
    __m128i step = _mm_unpacklo_epi64(_mm_unpackhi_epi32(wz, wr), _mm_unpackhi_epi32(wg, wb));
    c = _mm_add_epi32(c, _mm_cvtsi32_si128(int32_t(db.epochBase << db.shift)));
    if constexpr (Back) {
        c = _mm_add_epi32(c, _mm_sub_epi32(_mm_slli_epi32(step, 5), step));
        step = _mm_sub_epi32(_mm_setzero_si128(), step);
    }
    FusedLanes<F, false> lanes(c, step);
    // The shifts commute with the stepping (both are modulo 2^32).
    const __m128i up = _mm_cvtsi32_si128(16 - db.shift);
    lanes.z = _mm_sll_epi32(lanes.z, up);
    lanes.fourZ = _mm_sll_epi32(lanes.fourZ, up);
    lanes.r = _mm_slli_epi32(lanes.r, F::kRedShift);
    lanes.fourR = _mm_slli_epi32(lanes.fourR, F::kRedShift);
    lanes.g = _mm_slli_epi32(lanes.g, F::kGreenShift);
    lanes.fourG = _mm_slli_epi32(lanes.fourG, F::kGreenShift);
    if constexpr (Dither) {
        // Walking back, lane j is position 31 - j, whose level is that of 3 - j.
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(sp->ditherPointer));
        lanes.addLevels(lanes, Back ? _mm_shuffle_epi32(l, 0x1B) : l);
    }
    uint16_t *zp = reinterpret_cast<uint16_t *>(sp->depthAddress) - (Back ? 31 : 0);
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel) - (Back ? 31 : 0);
    constexpr int kAllPass = Test::kGivesFail ? 0 : 0xFFFF, kAllFail = 0xFFFF - kAllPass;
    // The iterators in registers, the steps in memory.
    __m128i z = lanes.z, r = lanes.r, g = lanes.g, b = lanes.b;
    const struct {
        __m128i z, r, g, b;
    } four{lanes.fourZ, lanes.fourR, lanes.fourG, lanes.fourB};
    int bits;
#define KIV_FUSED_OPERANDS                                                                                           \
    : [z] "+x"(z), [r] "+x"(r), [g] "+x"(g), [b] "+x"(b), [bits] "=&r"(bits)                                         \
    : [zp] "r"(zp), [out] "r"(out), [fz] "m"(four.z), [fr] "m"(four.r), [fg] "m"(four.g),                            \
      [fb] "m"(four.b), [rm] "m"(kFusedMasks<F>.red), [gm] "m"(kFusedMasks<F>.green), [zero] "m"(kFusedZero),             \
      [toPass] "m"(kFusedToPass<Test::kGivesFail>),                                                            \
      [allPass] "n"(kAllPass), [allFail] "n"(kAllFail)                                                               \
    : "xmm0", "xmm1", "xmm2", "xmm3", "memory", "cc"
    if constexpr (Func == 1 || Func == 6)  // stored - value
        asm volatile(KIV_FUSED_CHUNK("movdqa %%xmm1, %%xmm2\n\tpsubusw %%xmm0, %%xmm2\n\t") KIV_FUSED_OPERANDS);
    else  // value - stored
        asm volatile(KIV_FUSED_CHUNK("movdqa %%xmm0, %%xmm2\n\tpsubusw %%xmm1, %%xmm2\n\t") KIV_FUSED_OPERANDS);
#undef KIV_FUSED_OPERANDS
}
#undef KIV_FUSED_CHUNK
#undef KIV_FUSED_OTHER
#undef KIV_FUSED_BLOCK
#undef KIV_FUSED_PIXELS
#undef KIV_FUSED_COLOUR

// The depth test and the smooth untextured colour of a chunk in one pass: the colour is written
// where the test passes, so nothing is handed from one stage to the next. The n positions up to
// the last live one go eight at a time as far as whole blocks reach, the rest one at a time: no
// load or store passes the last live position, which may be the last element of its row.
template <class F, bool Dither, bool RepeatedDither, int Func, bool Write, bool Back>
void depthSmoothChunk(uint32_t mask, GlSpan *sp, const FusedValues<F> &it, int32_t n) {
    using Test = DepthTest16<Func>;
    constexpr int32_t kBlock = Back ? -8 : 8;
    FusedLanes<F, Back> lanes(it);
    const uint32_t *d = sp->ditherPointer;
    // The levels of four walk positions from `at` on, in lane order.
    auto levels = [d](int32_t at) __attribute__((always_inline)) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(d + at));
        return Back ? _mm_shuffle_epi32(v, 0x1B) : v;
    };
    if constexpr (Dither && RepeatedDither) lanes.addLevels(lanes, levels(0));
    uint16_t *zp = reinterpret_cast<uint16_t *>(sp->depthAddress) - (Back ? 7 : 0);
    uint16_t *out = reinterpret_cast<uint16_t *>(sp->pixel) - (Back ? 7 : 0);
    // Block g; live8: its positions' mask bits (bit 7 - position).
    auto block = [&](int32_t g, uint32_t live8) __attribute__((always_inline)) {
        const __m128i first = lanes.takeDepth(), second = lanes.takeDepth();
        const __m128i v = Back ? _mm_packs_epi32(second, first) : _mm_packs_epi32(first, second);
        __m128i *q = reinterpret_cast<__m128i *>(zp + kBlock * g);
        const __m128i stored = _mm_loadu_si128(q);
        __m128i t = Test::mask(v, stored);
        if (live8 != 0xFF) {
            const __m128i live = liveLanes16<Back>(live8);
            t = Test::kGivesFail ? _mm_or_si128(t, _mm_xor_si128(live, _mm_cmpeq_epi16(live, live)))
                                 : _mm_and_si128(t, live);
        }
        const int bits = _mm_movemask_epi8(t);
        if (bits == (Test::kGivesFail ? 0xFFFF : 0)) {
            lanes.skipColour();
            lanes.skipColour();
            return;
        }
        constexpr bool kLevels = Dither && !RepeatedDither;
        const __m128i c0 = lanes.template takeColour<kLevels>(kLevels ? levels(8 * g) : _mm_setzero_si128());
        const __m128i c1 = lanes.template takeColour<kLevels>(kLevels ? levels(8 * g + 4) : _mm_setzero_si128());
        const __m128i px = Back ? _mm_packs_epi32(c1, c0) : _mm_packs_epi32(c0, c1);
        __m128i *o = reinterpret_cast<__m128i *>(out + kBlock * g);
        if (bits == (Test::kGivesFail ? 0 : 0xFFFF)) {
            if constexpr (Write) _mm_storeu_si128(q, v);
            _mm_storeu_si128(o, px);
            return;
        }
        // Lanes of `a` where the test passes, of `b` elsewhere.
        auto pick = [&](__m128i a, __m128i b) __attribute__((always_inline)) {
            return Test::kGivesFail ? select16(t, b, a) : select16(t, a, b);
        };
        if constexpr (Write) _mm_storeu_si128(q, pick(v, stored));
        _mm_storeu_si128(o, pick(px, _mm_loadu_si128(o)));
    };
    if (mask == 0xFFFFFFFFu) {
        // A whole chunk (the common case): four blocks, none of them partial.
        block(0, 0xFF);
        block(1, 0xFF);
        block(2, 0xFF);
        block(3, 0xFF);
        return;
    }
    const int32_t blocks = n >> 3;
    for (int32_t g = 0; g < blocks; ++g) {
        if (const uint32_t live8 = (mask >> (24 - 8 * g)) & 0xFF) {
            block(g, live8);
        } else {
            lanes.takeDepth();
            lanes.takeDepth();
            lanes.skipColour();
            lanes.skipColour();
        }
    }
    if (blocks * 8 < n) {
        if constexpr (!Dither || RepeatedDither) depthSmoothQuads<F, Func, Write, Back>(mask, sp, lanes, blocks * 8);
        else depthSmoothPixels<F, Dither, Func, Write, Back>(mask, sp, it, blocks * 8);
    }
}

template <class F, bool Dither, int Func, bool Write, bool Back>
GL_ALWAYS_INLINE void depthSmoothWalk(uint32_t mask, GlSpan *sp, const FusedValues<F> &it, int32_t n) {
    if (n < 8) return depthSmoothPixels<F, Dither, Func, Write, Back>(mask, sp, it, 0);
    if (!Dither || ditherRepeatsByFour(sp->ditherPointer))
        return depthSmoothChunk<F, Dither, true, Func, Write, Back>(mask, sp, it, n);
    depthSmoothChunk<F, Dither, false, Func, Write, Back>(mask, sp, it, n);
}

template <class F, bool Dither, int Func, bool Write>
__attribute__((noipa)) void GL_FASTCALL depthSmoothAny(uint32_t mask, GlSpan *sp) {
    if (mask == 0) return;
    const GlDepthBuffer &db = sp->context->buffers.depth;
    if (db.shift > 16) return depthStage16<Func, Write>(mask, sp);
    const FusedValues<F> it(sp, db);
    const int32_t n = 32 - __builtin_ctz(mask);
    if (sp->xStep < 0) depthSmoothWalk<F, Dither, Func, Write, true>(mask, sp, it, n);
    else depthSmoothWalk<F, Dither, Func, Write, false>(mask, sp, it, n);
    // Where the basic span proc leaves it: past the last live position.
    sp->ditherPointer += n;
}

// A whole chunk (the depth test of an ordering, with writes) whose dither levels repeat every
// four positions.
template <class F, bool Dither, int Func>
__attribute__((noipa)) void GL_FASTCALL depthSmoothWholeChunk(uint32_t mask, GlSpan *sp) {
    if (Dither && !ditherRepeatsByFour(sp->ditherPointer)) return depthSmoothAny<F, Dither, Func, true>(mask, sp);
    const GlDepthBuffer &db = sp->context->buffers.depth;
    if (db.shift > 16) return depthStage16<Func, true>(mask, sp);
    if (sp->xStep < 0) depthSmoothWhole<F, Dither, Func, true>(sp, db);
    else depthSmoothWhole<F, Dither, Func, false>(sp, db);
    sp->ditherPointer += 32;
}

// Whole chunks and the others are two procs of their own, so that the small chunks of small
// triangles pay nothing for the whole chunk's road. The choice is three instructions that jump:
// written in C++ it would be a call, since a function that calls realigns the stack first (the
// callers align it to four bytes only). Both procs keep the chain's register convention
// (noipa), since the compiler cannot see these jumps.
template <class F, bool Dither, int Func>
__attribute__((naked)) void GL_FASTCALL depthSmooth16(uint32_t, GlSpan *) {
    asm("cmp $0xFFFFFFFF, %%ecx\n\tje %P0\n\tjmp %P1" ::"X"(depthSmoothWholeChunk<F, Dither, Func>),
        "X"(depthSmoothAny<F, Dither, Func, true>));
}

// The fused proc of a state: depthSmooth16 where whole chunks have their own road, else the
// general chunk.
template <class F, bool Dither, int Func, bool Write>
constexpr GlFastProc depthSmoothProc() {
    if constexpr (fusedBlocksServe(Func, Write)) return &depthSmooth16<F, Dither, Func>;
    else return &depthSmoothAny<F, Dither, Func, Write>;
}

template <size_t I>
constexpr GlFastProc depthEntry() {
    constexpr int kFunc = I & 7;
    constexpr bool kWrite = !(I & 8), kWide = I & 16, kClamped = I & 32;
    if constexpr (kWide) return &depthStage<uint32_t, kFunc, kWrite, kClamped>;
    else if constexpr (kClamped) return &depthStage<uint16_t, kFunc, kWrite, kClamped>;
    else return &depthStage16<kFunc, kWrite>;
}
template <size_t... I>
constexpr GlFastProcTable<64> depthTable(std::index_sequence<I...>) {
    return {depthEntry<I>()...};
}

}  // namespace

constinit const GlFastProcTable<64> __glFastDepthTestProcs = depthTable(std::make_index_sequence<64>());

namespace {
// Index: bits 0-2 the function, bit 3 without writes, bit 4 dither, bit 5 six-bit green.
template <size_t I>
constexpr GlFastProc depthSmoothEntry() {
    constexpr int kFunc = I & 7;
    constexpr bool kWrite = !(I & 8), kDither = I & 16;
    if constexpr (kFunc == 0) return nullptr;
    else return depthSmoothProc<std::conditional_t<(I & 32) != 0, Fmt565, Fmt555>, kDither, kFunc, kWrite>();
}
template <size_t... I>
constexpr GlFastProcTable<64> depthSmoothTable(std::index_sequence<I...>) {
    return {depthSmoothEntry<I>()...};
}
constexpr GlFastProcTable<64> kDepthSmoothProcs = depthSmoothTable(std::make_index_sequence<64>());
}  // namespace

GlFastProc __glFastDepthSmoothProc(int32_t formatCode, bool dither, int32_t depthIndex) {
    if ((formatCode != Fmt555::kFormatCode && formatCode != Fmt565::kFormatCode) || depthIndex < 0 || depthIndex >= 16)
        return nullptr;
    return kDepthSmoothProcs[size_t(depthIndex | (dither ? 16 : 0) | (formatCode == Fmt565::kFormatCode ? 32 : 0))];
}

// ---- fog --------------------------------------------------------------------------------------------

namespace {

// The staged colours are field bytes: the fog colour's unit bytes are taken to the same units,
// so that a white fog gives the largest field byte, and the exact products keep the result
// within it.
template <class F>
void GL_FASTCALL fastFog(uint32_t mask, GlSpan *sp) {
    const uint8_t *unitFog = sp->context->state.fog.fogColorBytes;
    const uint32_t limits[3] = {248, F::kGreenLimit, 248};
    const uint32_t fogBytes[3] = {fieldByteOfUnit(unitFog[0], limits[0]), fieldByteOfUnit(unitFog[1], limits[1]),
                                  fieldByteOfUnit(unitFog[2], limits[2])};
    int32_t fog = sp->fog.cur;
    const int32_t step = sp->fog.step;
    uint8_t *c = sp->stagingColors;
    for (uint32_t m = mask; m; m <<= 1, c += 4, fog += step) {
        if (int32_t(m) >= 0) continue;
        int32_t f = fog >> 16;
        f = f < 0 ? 0 : (f > 255 ? 255 : f);
        for (int i = 0; i < 3; ++i) {
            const uint32_t v = mul(c[i], uint32_t(f)) + mul(fogBytes[i], uint32_t(255 - f));
            c[i] = uint8_t(v < limits[i] ? v : limits[i]);
        }
    }
    slots(sp).afterFog(mask, sp);
}

// The fog factor of an eye distance for the context's mode, in [0, 1].
struct NicestFog {
    GLenum mode;
    double density, density2, end, scale;
    explicit NicestFog(const GlFogState &s)
        : mode(s.fogMode), density(s.fogDensity), density2(double(s.fogDensity) * s.fogDensity), end(s.fogEnd),
          scale(s.fogOneOverEndMinusStart) {}
    double factor(int32_t fog16) const {
        const double z = std::fabs(double(fog16) * (1.0 / 65536.0));
        double f;
        if (mode == GL_EXP) f = std::exp(-density * z);
        else if (mode == GL_EXP2) f = std::exp(-(density2 * z * z));
        else f = (end - z) * scale;
        return f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
    }
};

template <class F>
void GL_FASTCALL fastFogNicest(uint32_t mask, GlSpan *sp) {
    const NicestFog fog(sp->context->state.fog);
    const uint8_t *fogBytes = sp->context->state.fog.fogColorBytes;
    const double limits[3] = {248.0, double(F::kGreenLimit), 248.0};
    // The fog colour from unit bytes to field bytes.
    const double fogScale[3] = {limits[0] / 255.0, limits[1] / 255.0, limits[2] / 255.0};
    int32_t value = sp->fog.cur;
    uint8_t *c = sp->stagingColors;
    for (uint32_t m = mask; m; m <<= 1, c += 4, value += sp->fog.step) {
        if (int32_t(m) >= 0) continue;
        const double f = fog.factor(value);
        for (int i = 0; i < 3; ++i) {
            double v = double(c[i]) * f + double(fogBytes[i]) * fogScale[i] * (1.0 - f);
            if (v > limits[i]) v = limits[i];
            c[i] = uint8_t(std::lrint(v));
        }
    }
    slots(sp).afterFog(mask, sp);
}

}  // namespace

void GL_FASTCALL __glFastFogIndexNicest(uint32_t mask, GlSpan *sp) {
    const GlFogState &s = sp->context->state.fog;
    const NicestFog fog(s);
    int32_t value = sp->fog.cur;
    uint8_t *c = sp->stagingColors;
    for (uint32_t m = mask; m; m <<= 1, c += 4, value += sp->fog.step) {
        if (int32_t(m) >= 0) continue;
        uint32_t index;
        std::memcpy(&index, c, 4);
        index += uint32_t(std::lrint((1.0 - fog.factor(value)) * s.fogIndex * 65536.0));
        std::memcpy(c, &index, 4);
    }
    slots(sp).afterFog(mask, sp);
}

GlFastProc __glFastFogProc(int32_t formatCode, bool nicest) {
    if (formatCode == Fmt565::kFormatCode) return nicest ? fastFogNicest<Fmt565> : fastFog<Fmt565>;
    return nicest ? fastFogNicest<Fmt555> : fastFog<Fmt555>;
}

// ---- both buffers -----------------------------------------------------------------------------------

// The store runs into the back buffer, then with the same mask and dither into the front one.
void GL_FASTCALL __glStoreSpanBothBuffers(uint32_t mask, GlSpan *sp) {
    GlContext *ctx = sp->context;
    GlColorBuffers &cbs = ctx->buffers.color;
    GlColorBuffer *saved = cbs.drawColorBuffer;
    uint8_t *pixel = sp->pixel;
    const uint32_t *dither = sp->ditherPointer;
    GlFastProc store = slots(sp).bothBuffersStore;
    cbs.drawColorBuffer = &cbs.back;
    store(mask, sp);
    sp->ditherPointer = dither;
    sp->pixel = sp->frontPixel;
    cbs.drawColorBuffer = &cbs.front;
    store(mask, sp);
    sp->pixel = pixel;
    cbs.drawColorBuffer = saved;
}
