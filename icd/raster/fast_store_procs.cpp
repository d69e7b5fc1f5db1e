// The store-span procs of both 16-bit layouts: the last link of a two-stage chain, combining the
// staged colours with the destination. One template for the sixteen logic ops (plain and
// dithered) and one for the five accepted blends; the 128-entry tables are generated from the
// store index, whose bits are the knobs: bits 0-3 the logic op or blend code, 0x10 dither,
// 0x20 blend, 0x40 alpha needed (the same procs again).
#include <utility>
#include "icd/raster/fast_color.h"

using namespace glfast;

namespace {

// The logic op on a packed source and the destination, all 16 bits (bit 15 of a 5-5-5 source is
// 0, which gives that bit the behaviour the op has on a zero bit).
template <int Op>
inline uint32_t logicOp(uint32_t s, uint32_t d) {
    switch (Op) {
    case 0x0: return 0;
    case 0x1: return s & d;
    case 0x2: return s & ~d;
    case 0x3: return s;
    case 0x4: return ~s & d;
    case 0x5: return d;
    case 0x6: return s ^ d;
    case 0x7: return s | d;
    case 0x8: return ~(s | d);
    case 0x9: return ~(s ^ d);
    case 0xA: return ~d;
    case 0xB: return s | ~d;
    case 0xC: return ~s;
    case 0xD: return ~s | d;
    case 0xE: return ~(s & d);
    default: return 0xFFFF;
    }
}
// Ops that ignore the source never read the staging bytes or the dither pointer.
constexpr bool usesSource(int op) { return op != 0x0 && op != 0x5 && op != 0xA && op != 0xF; }
constexpr bool usesDestination(int op) { return op != 0x0 && op != 0x3 && op != 0xC && op != 0xF; }

// Staged field bytes to a packed source, each rounded or dithered to its field; v the dither
// entry.
template <class F, bool Dither>
inline uint32_t packSource(const uint8_t *c, uint32_t v) {
    constexpr int kDropG = 8 - F::kGreenBits;
    const uint32_t rb = fieldRounding(Dither, v, 3), rg = fieldRounding(Dither, v, kDropG);
    return pack<F>((c[0] + rb) >> 3, (c[1] + rg) >> kDropG, (c[2] + rb) >> 3);
}

template <class F, int Op, bool Dither>
void GL_FASTCALL logicStore(uint32_t mask, GlSpan *sp) {
    if constexpr (Op == 0x5) {
        return;
    } else {
        constexpr bool kDither = Dither && usesSource(Op);
        uint16_t *p = reinterpret_cast<uint16_t *>(sp->pixel);
        const int32_t step = sp->xStep;
        const uint8_t *c = sp->stagingColors;
        const uint32_t *d = sp->ditherPointer;
        for (; mask; mask <<= 1, p += step, c += 4) {
            if (int32_t(mask) < 0) {
                const uint32_t s = usesSource(Op) ? packSource<F, kDither>(c, kDither ? *d : 0) : 0;
                const uint32_t dst = usesDestination(Op) ? *p : 0;
                *p = uint16_t(logicOp<Op>(s, dst));
            }
            if constexpr (kDither) ++d;
        }
        if constexpr (kDither) sp->ditherPointer = d;
    }
}

// One channel of a blend: Cs the staged field byte, Cd the destination field widened by K bits
// to a field byte, A the staged alpha (a unit byte). Codes: 0 (SRC_ALPHA, ZERO), 1 (SRC_ALPHA,
// ONE), 3 (SRC_ALPHA, ONE_MINUS_SRC_ALPHA), 6 (ONE_MINUS_SRC_ALPHA, SRC_ALPHA), 9
// (SRC_ALPHA_SATURATE, ONE: the source factor is 0 because the buffer's alpha reads as 1). The
// products are summed exactly and rounded (or dithered) once; a result equal to the destination
// keeps it.
template <int Code, int K, bool Dither>
inline uint32_t blendChannel(uint32_t cs, uint32_t field, uint32_t a, uint32_t ditherEntry) {
    constexpr uint32_t kMax = (256u >> K) - 1;
    const uint32_t cd = field << K;
    uint32_t x;  // the result's field byte times 255
    if constexpr (Code == 0) x = a * cs;
    else if constexpr (Code == 1) x = a * cs + 255 * cd;
    else if constexpr (Code == 3) x = a * cs + (255 - a) * cd;
    else if constexpr (Code == 6) x = (255 - a) * cs + a * cd;
    else x = 255 * cd;
    const uint32_t v = fieldOfProducts(x, Dither, ditherEntry, K);
    return v < kMax ? v : kMax;
}

template <class F, int Code, bool Dither>
void GL_FASTCALL blendStore(uint32_t mask, GlSpan *sp) {
    constexpr int kGreenK = 8 - F::kGreenBits;
    uint16_t *p = reinterpret_cast<uint16_t *>(sp->pixel);
    const int32_t step = sp->xStep;
    const uint8_t *c = sp->stagingColors;
    const uint32_t *d = sp->ditherPointer;
    for (; mask; mask <<= 1, p += step, c += 4, d += Dither ? 1 : 0) {
        if (int32_t(mask) >= 0) continue;
        const uint32_t dst = *p;
        const uint32_t v = Dither ? *d : 0;
        const uint32_t r = blendChannel<Code, 3, Dither>(c[0], (dst >> F::kRedShift) & 31, c[3], v);
        const uint32_t g = blendChannel<Code, kGreenK, Dither>(
            c[1], (dst >> F::kGreenShift) & ((1u << F::kGreenBits) - 1), c[3], v);
        const uint32_t b = blendChannel<Code, 3, Dither>(c[2], dst & 31, c[3], v);
        *p = uint16_t(pack<F>(r, g, b));
    }
    if constexpr (Dither) sp->ditherPointer = d;
}

constexpr bool isBlendCode(int code) { return code == 0 || code == 1 || code == 3 || code == 6 || code == 9; }

template <class F, int Index>
constexpr GlFastProc storeEntry() {
    constexpr bool kDither = Index & 0x10, kBlend = Index & 0x20;
    constexpr int kLow = Index & 0xF;
    if constexpr (kBlend) {
        // A blend always needs alpha, so its entries exist only with that bit.
        if constexpr ((Index & 0x40) && isBlendCode(kLow)) return &blendStore<F, kLow, kDither>;
        else return nullptr;
    } else {
        return &logicStore<F, kLow, kDither>;
    }
}

template <class F, size_t... I>
constexpr GlFastProcTable<128> storeTable(std::index_sequence<I...>) {
    return {storeEntry<F, int(I)>()...};
}

}  // namespace

constinit const GlFastProcTable<128> __glStoreSpanTable555 = storeTable<Fmt555>(std::make_index_sequence<128>());
constinit const GlFastProcTable<128> __glStoreSpanTable565 = storeTable<Fmt565>(std::make_index_sequence<128>());
