// The per-group stages of the MMX span routine: the depth test with its write-back, the colour of
// the fragments, blending with the destination, dithering, packing and the store. Each works on
// the four pixels of one group in the lane formats of og_mmx_span.h.
#include "icd/codegen/og_mmx_span.h"

#include <array>

#include "icd/core/context.h"

using namespace icd;

int32_t __glOgBlendFactorCode(GLenum factor) {
    switch (factor) {
    case GL_ONE: return 1;
    case GL_SRC_COLOR: return 2;
    case GL_ONE_MINUS_SRC_COLOR: return 3;
    case GL_SRC_ALPHA: return 4;
    case GL_ONE_MINUS_SRC_ALPHA: return 5;
    case GL_DST_ALPHA: return 6;
    case GL_ONE_MINUS_DST_ALPHA: return 7;
    case GL_DST_COLOR: return 8;
    case GL_ONE_MINUS_DST_COLOR: return 9;
    case GL_SRC_ALPHA_SATURATE: return 10;
    default: return 0;  // GL_ZERO
    }
}

bool __glOgFormatHasAlpha(GLenum format) {
    return format == GL_ALPHA || format == GL_RGBA || format == GL_LUMINANCE_ALPHA || format == GL_INTENSITY;
}

bool __glOgFactorUsesAlpha(GLenum factor) {
    return factor == GL_SRC_ALPHA || factor == GL_ONE_MINUS_SRC_ALPHA || factor == GL_DST_ALPHA ||
           factor == GL_ONE_MINUS_DST_ALPHA || factor == GL_SRC_ALPHA_SATURATE;
}

namespace icd {
namespace {

// The comparison of new values a against stored values b (both biased so that signed order is
// the unsigned order), words or dwords; the register holding the pass mask is returned. t is
// scratch; a may be overwritten.
GlOgNode *emitCompare(GlOgMmxSpanGen &g, int32_t func, GlOgNode *a, GlOgNode *b, GlOgNode *t, bool wide) {
    GlOgState *s = g.s();
    GlOgNode *ones = __glOgWordConst4(g, 0xFFFF);
    auto gt = [&](GlOgNode *x, GlOgNode *y) { g.op(wide ? __glOgPcmpgtd(s, x, y) : __glOgPcmpgtw(s, x, y)); };
    auto eq = [&](GlOgNode *x, GlOgNode *y) { g.op(wide ? __glOgPcmpeqd(s, x, y) : __glOgPcmpeqw(s, x, y)); };
    switch (func) {
    case GL_LESS - GL_NEVER:  // stored > new
        g.op(__glOgMovq(s, t, b));
        gt(t, a);
        return t;
    case GL_EQUAL - GL_NEVER:
        eq(a, b);
        return a;
    case GL_LEQUAL - GL_NEVER:  // not new > stored
        gt(a, b);
        g.op(__glOgPxor(s, a, ones));
        return a;
    case GL_GREATER - GL_NEVER:
        gt(a, b);
        return a;
    case GL_NOTEQUAL - GL_NEVER:
        eq(a, b);
        g.op(__glOgPxor(s, a, ones));
        return a;
    case GL_GEQUAL - GL_NEVER:  // not stored > new
        g.op(__glOgMovq(s, t, b));
        gt(t, a);
        g.op(__glOgPxor(s, t, ones));
        return t;
    default:  // GL_ALWAYS
        g.op(__glOgMovq(s, a, ones));
        return a;
    }
}

// A colour lane of b bits back into its field of the pixel: shifted down to the field's width,
// then up to its position.
void emitPackChannel(GlOgMmxSpanGen &g, GlOgNode *lane, int ch) {
    g.w.mmxShiftBy(lane, 15, g.bits[ch]);
    g.w.mmxShiftBy(lane, 0, g.shift[ch]);
}

// Lane units of a colour channel of b bits: one field step is 1 << (15 - b), the full field
// (31 or 63 steps) the lane limit below 0x8000.
int32_t laneLimit(int bits) { return ((1 << bits) - 1) << (15 - bits); }
// The largest field byte of a channel (248 for five bits, 252 for six): the lane limit >> 7.
uint16_t fieldByteLimit(int bits) { return uint16_t(laneLimit(bits) >> 7); }
// The rounding bias the fast set-up puts into the colour iterators (half a step without dither,
// a 32nd of one with it), in lane units: taken off before a product and put back before the pack,
// where it rounds (with the dither table's sixteenths: (2B + 1) / 32 of a step). On a lane that
// holds a whole field byte this is the chain's rounding of that byte exactly.
int32_t laneBias(const GlOgMmxSpanGen &g, int ch) { return (g.dither ? 0x800 : 0x8000) >> (1 + g.bits[ch]); }
// x / 255 rounded to nearest for the unsigned words x of a register (x <= 255 x 255), as the fast
// chain's byte product forms it: (x + 128 + ((x + 128) >> 8)) >> 8. mm3 is scratch.
void emitRoundedByteQuotient(GlOgMmxSpanGen &g, GlOgNode *x) {
    GlOgState *s = g.s();
    GlOgNode *t = g.mm(3);
    g.op(__glOgPaddw(s, x, __glOgWordConst4(g, 128)));
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsrlw(s, t, g.w.imm(8)));
    g.op(__glOgPaddw(s, x, t));
    g.op(__glOgPsrlw(s, x, g.w.imm(8)));
}
// x / 255 rounded down for the unsigned words x of a register (x below 65535):
// (x + 1 + (x >> 8)) >> 8. mm3 is scratch.
void emitFloorByteQuotient(GlOgMmxSpanGen &g, GlOgNode *x) {
    GlOgState *s = g.s();
    GlOgNode *t = g.mm(3);
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsrlw(s, t, g.w.imm(8)));
    g.op(__glOgPaddw(s, x, t));
    g.op(__glOgPaddw(s, x, __glOgWordConst4(g, 1)));
    g.op(__glOgPsrlw(s, x, g.w.imm(8)));
}
// min(x, limit) for the unsigned words x of a register: x - (x -sat limit). mm3 is scratch.
void emitAtMost(GlOgMmxSpanGen &g, GlOgNode *x, uint16_t limit) {
    GlOgState *s = g.s();
    GlOgNode *t = g.mm(3);
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsubusw(s, t, __glOgWordConst4(g, limit)));
    g.op(__glOgPsubw(s, x, t));
}

// The divider of a colour factor's field byte, found and checked when the driver is compiled:
// the largest shift whose multiplier ceil(2^(16 + shift) / (2^bits - 1)) stays a positive word,
// kept only if it is exact for every dividend the factor forms ((255 x the largest field byte +
// half of it) >> the bits below the field). m 0: none is (1, 7 and 8 bits).
struct FieldDivider {
    int16_t m;
    int shift;
};
constexpr FieldDivider fieldDividerFor(int bits) {
    const uint32_t d = (1u << bits) - 1, drop = uint32_t(8 - bits), limit = d << drop;
    const uint32_t top = (255 * limit + limit / 2) >> drop;
    if (top > 0x7FFF) return {0, 0};
    for (int shift = 15; shift >= 0; --shift) {
        const uint64_t m = ((uint64_t(1) << (16 + shift)) + d - 1) / d;
        if (m > 0x7FFF) continue;
        for (uint32_t z = 0; z <= top; ++z)
            if (((uint64_t(z) * m) >> (16 + shift)) != z / d) return {0, 0};
        return {int16_t(m), shift};
    }
    return {0, 0};
}

// A blend factor by what it does to its colour: nothing is left (0), the colour is kept whole
// (1), or it is scaled by a unit byte. The colour buffer has no alpha, so destination alpha is 1:
// GL_SRC_ALPHA_SATURATE is min(As, 1 - 1) = 0.
enum class FactorKind { Zero, One, Scaled };
FactorKind kindOf(GLenum factor) {
    switch (factor) {
    case GL_ZERO:
    case GL_ONE_MINUS_DST_ALPHA:
    case GL_SRC_ALPHA_SATURATE: return FactorKind::Zero;
    case GL_ONE:
    case GL_DST_ALPHA: return FactorKind::One;
    default: return FactorKind::Scaled;
    }
}

// The exact divider of a colour factor for a channel of `bits` bits; null where none is exact.
const FieldDivider *fieldDivider(int bits) {
    static constexpr auto kDividers = [] {
        std::array<FieldDivider, 9> d{};
        for (int b = 1; b <= 8; ++b) d[size_t(b)] = fieldDividerFor(b);
        return d;
    }();
    static_assert(kDividers[5].m != 0 && kDividers[6].m != 0, "five- and six-bit channels divide exactly");
    if (bits < 1 || bits > 8 || kDividers[size_t(bits)].m == 0) return nullptr;
    return &kDividers[size_t(bits)];
}

bool readsColour(GLenum f) {
    return f == GL_SRC_COLOR || f == GL_ONE_MINUS_SRC_COLOR || f == GL_DST_COLOR || f == GL_ONE_MINUS_DST_COLOR;
}

}  // namespace

bool __glOgMmxBlendServes(const GlOgMmxSpanGen &g) {
    if (!readsColour(g.srcFactor) && !readsColour(g.dstFactor)) return true;
    for (int ch = 0; ch < 3; ++ch)
        if (fieldDivider(g.bits[ch]) == nullptr) return false;
    return true;
}

void __glOgEmitMmxDepthTest(GlOgMmxSpanGen &g, GlOgNode *none) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2), *mm3 = g.mm(3), *mm4 = g.mm(4);
    if (g.depthFunc == GL_NEVER - GL_NEVER) {
        g.op(__glOgJmp(s, none));
        return;
    }
    // The stored values of the four pixels: (z >> shift) + the epoch tag, as the C stages form them.
    g.op(__glOgMovq(s, mm0, g.abs(g.zLanes[0])));
    g.op(__glOgMovq(s, mm1, g.abs(g.zLanes[1])));
    if (g.depthShift > 0) {
        g.op(__glOgPsrld(s, mm0, w.imm(g.depthShift)));
        g.op(__glOgPsrld(s, mm1, w.imm(g.depthShift)));
    }
    g.op(__glOgPaddd(s, mm0, g.abs(g.epoch)));
    g.op(__glOgPaddd(s, mm1, g.abs(g.epoch)));
    GlOgNode *mask;
    if (!g.depthWide) {
        // Words biased by 0x8000: the low 16 bits minus 0x8000 pack without saturating.
        g.op(__glOgPand(s, mm0, g.abs(g.dwords(0xFFFF))));
        g.op(__glOgPand(s, mm1, g.abs(g.dwords(0xFFFF))));
        g.op(__glOgPsubd(s, mm0, g.abs(g.dwords(0x8000))));
        g.op(__glOgPsubd(s, mm1, g.abs(g.dwords(0x8000))));
        g.op(__glOgPackssdw(s, mm0, mm1));
        g.op(__glOgMovq(s, g.abs(g.zValues[0]), mm0));
        g.op(__glOgMovq(s, mm4, w.at(kEsi)));
        g.op(__glOgMovq(s, mm2, mm4));
        g.op(__glOgPxor(s, mm2, __glOgWordConst4(g, 0x8000)));
        mask = emitCompare(g, g.depthFunc, mm0, mm2, mm3, false);
        if (mask != mm1) g.op(__glOgMovq(s, mm1, mask));
        if (g.depthWrite) {
            g.op(__glOgMovq(s, mm2, g.abs(g.zValues[0])));
            g.op(__glOgPxor(s, mm2, __glOgWordConst4(g, 0x8000)));
            g.op(__glOgPand(s, mm2, mm1));
            g.op(__glOgMovq(s, mm3, mm1));
            g.op(__glOgPandn(s, mm3, mm4));
            g.op(__glOgPor(s, mm2, mm3));
            g.op(__glOgMovq(s, w.at(kEsi), mm2));
        }
    } else {
        // Unsigned dwords compared as signed after flipping the top bit, one pair at a time.
        GlOgNode *sign = g.abs(g.dwords(0x80000000u));
        g.op(__glOgMovq(s, g.abs(g.zValues[0]), mm0));
        g.op(__glOgMovq(s, g.abs(g.zValues[1]), mm1));
        g.op(__glOgPxor(s, mm0, sign));
        g.op(__glOgMovq(s, mm2, w.at(kEsi)));
        g.op(__glOgPxor(s, mm2, sign));
        GlOgNode *m0 = emitCompare(g, g.depthFunc, mm0, mm2, mm3, true);
        if (m0 != mm4) g.op(__glOgMovq(s, mm4, m0));
        g.op(__glOgPxor(s, mm1, sign));
        g.op(__glOgMovq(s, mm2, w.at(kEsi, 8)));
        g.op(__glOgPxor(s, mm2, sign));
        GlOgNode *m1 = emitCompare(g, g.depthFunc, mm1, mm2, mm3, true);
        if (m1 != mm1) g.op(__glOgMovq(s, mm1, m1));
        g.op(__glOgPackssdw(s, mm4, mm1));
        g.op(__glOgMovq(s, mm1, mm4));
        if (g.depthWrite) {
            for (int half = 0; half < 2; ++half) {
                g.op(__glOgMovq(s, mm2, mm1));
                g.op(half == 0 ? __glOgPunpcklwd(s, mm2, mm2) : __glOgPunpckhwd(s, mm2, mm2));
                g.op(__glOgMovq(s, mm3, mm2));
                g.op(__glOgPand(s, mm2, g.abs(g.zValues[half])));
                g.op(__glOgPandn(s, mm3, w.at(kEsi, 8 * half)));
                g.op(__glOgPor(s, mm2, mm3));
                g.op(__glOgMovq(s, w.at(kEsi, 8 * half), mm2));
            }
        }
    }
    g.op(__glOgMovq(s, g.abs(g.pass), mm1));
    g.op(__glOgPacksswb(s, mm1, mm1));
    g.op(__glOgMovd(s, w.r(kEdx), mm1));
    g.op(__glOgTest(s, w.r(kEdx), w.r(kEdx)));
    g.op(__glOgJe(s, none));
}

bool __glOgEmitBlendFactor(GlOgMmxSpanGen &g, GLenum factor, int ch, GlOgNode *into) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    switch (kindOf(factor)) {
    case FactorKind::Zero: return false;
    case FactorKind::One:
        g.op(__glOgMovq(s, into, __glOgWordConst4(g, 255)));
        return true;
    default: break;
    }
    // 255 - u of a unit byte u is u ^ 255.
    const bool oneMinus = factor == GL_ONE_MINUS_SRC_ALPHA || factor == GL_ONE_MINUS_SRC_COLOR || factor == GL_ONE_MINUS_DST_COLOR;
    if (factor == GL_SRC_ALPHA || factor == GL_ONE_MINUS_SRC_ALPHA) {
        g.op(__glOgMovq(s, into, g.abs(g.srcAlpha)));
    } else {
        // A colour as a factor: its field byte c made a unit byte, (255 c + limit / 2) / limit
        // rounded down, so that a full channel is exactly 1. The limit is (2^b - 1) << drop: the
        // bits below the field go first, then an exact high multiply divides by 2^b - 1.
        const bool ofSource = factor == GL_SRC_COLOR || factor == GL_ONE_MINUS_SRC_COLOR;
        const int b = g.bits[ch], drop = 8 - b;
        const FieldDivider *d = fieldDivider(b);
        g.op(__glOgMovq(s, into, ofSource ? g.mm(5 + ch) : g.abs(g.dstLanes[ch])));
        g.op(__glOgPmullw(s, into, __glOgWordConst4(g, 255)));
        g.op(__glOgPaddw(s, into, __glOgWordConst4(g, uint16_t(fieldByteLimit(b) / 2))));
        w.mmxShiftBy(into, drop, 0);
        g.op(__glOgPmulhw(s, into, __glOgWordConst4(g, uint16_t(d->m))));
        if (d->shift > 0) g.op(__glOgPsrlw(s, into, w.imm(d->shift)));
    }
    if (oneMinus) g.op(__glOgPxor(s, into, __glOgWordConst4(g, 255)));
    return true;
}

void __glOgEmitMmxBlend(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2);
    const FactorKind src = kindOf(g.srcFactor), dst = kindOf(g.dstFactor);
    if (src == FactorKind::One && dst == FactorKind::Zero) return;  // the source as it is
    // The destination's channels as field bytes (the field at the byte's top).
    const bool readsDestination = dst != FactorKind::Zero || g.srcFactor == GL_DST_COLOR || g.srcFactor == GL_ONE_MINUS_DST_COLOR;
    if (readsDestination) g.op(__glOgMovq(s, mm0, w.at(kEdi)));
    for (int ch = 0; ch < 3 && readsDestination; ++ch) {
        const int b = g.bits[ch];
        g.op(__glOgMovq(s, mm1, mm0));
        w.mmxShiftBy(mm1, g.shift[ch], 0);
        g.op(__glOgPand(s, mm1, __glOgWordConst4(g, uint16_t((1u << b) - 1))));
        w.mmxShiftBy(mm1, b, 8);
        g.op(__glOgMovq(s, g.abs(g.dstLanes[ch]), mm1));
    }
    // Source alpha and one minus it weigh the two colours by at most 255 together: their sum
    // never passes the limit.
    const bool complementary = (g.srcFactor == GL_SRC_ALPHA && g.dstFactor == GL_ONE_MINUS_SRC_ALPHA) ||
                               (g.srcFactor == GL_ONE_MINUS_SRC_ALPHA && g.dstFactor == GL_SRC_ALPHA);
    for (int ch = 0; ch < 3; ++ch) {
        GlOgNode *lane = g.mm(5 + ch), *dstBytes = g.abs(g.dstLanes[ch]);
        const uint16_t limit = fieldByteLimit(g.bits[ch]);
        // The source's field bytes: the lane holds them << 7.
        g.op(__glOgPsrlw(s, lane, w.imm(7)));
        if (src != FactorKind::Scaled && dst != FactorKind::Scaled) {
            // Sums of whole colours need no products: at most 2 x 252.
            if (src == FactorKind::Zero && dst == FactorKind::Zero) {
                g.op(__glOgPxor(s, lane, lane));
            } else if (src == FactorKind::Zero) {
                g.op(__glOgMovq(s, lane, dstBytes));
            } else {
                g.op(__glOgPaddw(s, lane, dstBytes));
                emitAtMost(g, lane, limit);
            }
        } else {
            // The exact sum of the two byte products (each at most 252 x 255, one word; their sum
            // saturates only past the limit it is then held to), then rounded down to a field
            // byte: the pack's rounding or dither that follows is the chain's single rounding.
            const bool hasSrc = __glOgEmitBlendFactor(g, g.srcFactor, ch, mm2);
            if (hasSrc) g.op(__glOgPmullw(s, mm2, lane));
            const bool hasDst = __glOgEmitBlendFactor(g, g.dstFactor, ch, mm1);
            if (hasDst) g.op(__glOgPmullw(s, mm1, dstBytes));
            GlOgNode *sum = hasDst ? mm1 : mm2;
            if (hasSrc && hasDst) {
                g.op(__glOgPaddusw(s, mm1, mm2));
                if (!complementary) emitAtMost(g, mm1, uint16_t(limit * 255));
            }
            emitFloorByteQuotient(g, sum);
            g.op(__glOgMovq(s, lane, sum));
        }
        g.op(__glOgPsllw(s, lane, w.imm(7)));
    }
}

void __glOgEmitTexelFetch(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1);
    if (g.linear) {
        // Filtered before the colour lanes took the registers.
        g.op(__glOgMovq(s, mm0, g.abs(g.texels)));
        g.op(__glOgMovq(s, mm1, g.abs(g.texels + 8)));
        return;
    }
    // Texel index = row << log2 width | column, from the 0.16 fractions of the coordinates (the
    // repetition is the fraction's wrap).
    for (int h = 0; h < 2; ++h) {
        g.op(__glOgMovq(s, mm0, g.abs(g.lanes[GlOgMmxSpanGen::kS][h])));
        g.op(__glOgPsrld(s, mm0, g.abs(g.texShiftS)));
        g.op(__glOgPand(s, mm0, g.abs(g.texMaskS)));
        g.op(__glOgMovq(s, mm1, g.abs(g.lanes[GlOgMmxSpanGen::kT][h])));
        g.op(__glOgPsrld(s, mm1, g.abs(g.texShiftT)));
        g.op(__glOgPand(s, mm1, g.abs(g.texMaskT)));
        g.op(__glOgPslld(s, mm1, g.abs(g.texShiftRow)));
        g.op(__glOgPor(s, mm0, mm1));
        g.op(__glOgMovq(s, g.abs(g.texIndex + 8 * h), mm0));
    }
    __glOgEmitTexelPair(g, 0, mm0);
    __glOgEmitTexelPair(g, 1, mm1);
}

namespace {

// The texel at the index in memory cell `index` into eax as the word R | G << 8 | B << 16 | A << 24
// the chain's texel reads give (L and I repeated into the colour bytes, alpha 255 where the layout
// has none): narrow layouts through their table. Only eax and ecx: edx holds the depth test's
// result, ebp the dither row.
void emitTexelWord(GlOgMmxSpanGen &g, uint8_t *index) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    g.op(__glOgMov(s, ecx, g.abs(index)));
    g.op(__glOgMov(s, eax, g.abs(g.texImage)));
    if (g.texelTable != nullptr) {
        GlOgNode *stored = __glOgMem(s, nullptr, eax, ecx, g.texelBytes);
        g.op(g.texelBytes == 1 ? __glOgMovzx8(s, eax, stored) : __glOgMovzx16(s, eax, stored));
        g.op(__glOgMov(s, eax, __glOgMem(s, w.imm(__glOgWord(g.texelTable)), nullptr, eax, 4)));
    } else if (g.texelBytes == 4) {
        g.op(__glOgMov(s, eax, __glOgMem(s, nullptr, eax, ecx, 4)));
    } else {
        // Three bytes, never a fourth past the last texel.
        g.op(__glOgLea(s, ecx, __glOgMem(s, nullptr, ecx, ecx, 2)));
        g.op(__glOgAdd(s, ecx, eax));
        g.op(__glOgMovzx16(s, eax, __glOgMemBase(s, nullptr, ecx)));
        g.op(__glOgMovzx8(s, ecx, __glOgMemBase(s, w.imm(2), ecx)));
        g.op(__glOgShl(s, ecx, w.imm(16)));
        g.op(__glOgOr(s, eax, ecx));
        g.op(__glOgOr(s, eax, w.imm(int32_t(0xFF000000u))));
    }
}

}  // namespace

void __glOgEmitTexelPair(GlOgMmxSpanGen &g, int pair, GlOgNode *into) {
    GlOgState *s = g.s();
    for (int k = 2 * pair; k < 2 * pair + 2; ++k) {
        emitTexelWord(g, g.texIndex + 4 * k);
        g.op(__glOgMov(s, g.abs(g.texels + 4 * k), g.w.r(kEax)));
    }
    g.op(__glOgMovq(s, into, g.abs(g.texels + 8 * pair)));
}

void __glOgEmitTexelFilter(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *m[8];
    for (int i = 0; i < 8; ++i) m[i] = g.mm(i);
    GlOgNode *half = g.abs(g.dwords(0x8000)), *low8 = g.abs(g.dwords(0xFF)), *one = g.abs(g.dwords(1));
    GlOgNode *full = g.abs(g.dwords(256)), *rounding = g.abs(g.dwords(128));
    // Per pair of pixels: each coordinate up to texels less half a texel (16.16, wrapping as the
    // chain's 32-bit sums wrap); its integer part and the next, both repeated into the level, are
    // the two columns (rows); bits 8-15 the weight of the second. The corner weights are formed
    // as the chain forms them: the far corner's product rounded, the others what is left of each
    // axis, so that the four sum to 256.
    for (int h = 0; h < 2; ++h) {
        g.op(__glOgMovq(s, m[0], g.abs(g.lanes[GlOgMmxSpanGen::kS][h])));
        g.op(__glOgPslld(s, m[0], g.abs(g.texScaleS)));
        g.op(__glOgPsubd(s, m[0], half));
        g.op(__glOgMovq(s, m[2], m[0]));
        g.op(__glOgPsrld(s, m[2], w.imm(8)));
        g.op(__glOgPand(s, m[2], low8));  // wx
        g.op(__glOgPsrld(s, m[0], w.imm(16)));
        g.op(__glOgPand(s, m[0], g.abs(g.texMaskS)));  // column 0
        g.op(__glOgMovq(s, m[1], m[0]));
        g.op(__glOgPaddd(s, m[1], one));
        g.op(__glOgPand(s, m[1], g.abs(g.texMaskS)));  // column 1
        g.op(__glOgMovq(s, m[3], g.abs(g.lanes[GlOgMmxSpanGen::kT][h])));
        g.op(__glOgPslld(s, m[3], g.abs(g.texScaleT)));
        g.op(__glOgPsubd(s, m[3], half));
        g.op(__glOgMovq(s, m[4], m[3]));
        g.op(__glOgPsrld(s, m[4], w.imm(8)));
        g.op(__glOgPand(s, m[4], low8));  // wy
        g.op(__glOgPsrld(s, m[3], w.imm(16)));
        g.op(__glOgPand(s, m[3], g.abs(g.texMaskT)));  // row 0
        g.op(__glOgMovq(s, m[5], m[3]));
        g.op(__glOgPaddd(s, m[5], one));
        g.op(__glOgPand(s, m[5], g.abs(g.texMaskT)));  // row 1
        g.op(__glOgPslld(s, m[3], g.abs(g.texShiftRow)));
        g.op(__glOgPslld(s, m[5], g.abs(g.texShiftRow)));
        // Corners [upper left, upper right, lower left, lower right] of pixels 2h and 2h + 1.
        const int rows[4] = {3, 3, 5, 5}, cols[4] = {0, 1, 0, 1};
        for (int c = 0; c < 4; ++c) {
            g.op(__glOgMovq(s, m[6], m[rows[c]]));
            g.op(__glOgPaddd(s, m[6], m[cols[c]]));
            g.op(__glOgMovq(s, g.abs(g.texCorners + 16 * c + 8 * h), m[6]));
        }
        // w11 = (wx wy + 128) >> 8 (a product of two dword lanes below 2^15 is exact), w10 = wx -
        // w11, w01 = wy - w11, w00 = 256 - wx - wy + w11.
        GlOgNode *weight[4] = {m[0], m[1], m[3], m[5]};
        g.op(__glOgMovq(s, m[5], m[2]));
        g.op(__glOgPmaddwd(s, m[5], m[4]));
        g.op(__glOgPaddd(s, m[5], rounding));
        g.op(__glOgPsrld(s, m[5], w.imm(8)));
        g.op(__glOgMovq(s, m[1], m[2]));
        g.op(__glOgPsubd(s, m[1], m[5]));
        g.op(__glOgMovq(s, m[3], m[4]));
        g.op(__glOgPsubd(s, m[3], m[5]));
        g.op(__glOgMovq(s, m[0], full));
        g.op(__glOgPsubd(s, m[0], m[2]));
        g.op(__glOgPsubd(s, m[0], m[4]));
        g.op(__glOgPaddd(s, m[0], m[5]));
        // The weight pairs (left | right << 16) of each texel row, one pixel's pair in both dwords.
        for (int r = 0; r < 2; ++r) {
            GlOgNode *left = weight[2 * r], *right = weight[2 * r + 1];
            g.op(__glOgPslld(s, right, w.imm(16)));
            g.op(__glOgPor(s, left, right));
            g.op(__glOgMovq(s, right, left));
            g.op(__glOgPunpckldq(s, left, left));
            g.op(__glOgPunpckhdq(s, right, right));
            g.op(__glOgMovq(s, g.abs(g.texWeights + 16 * (2 * h) + 8 * r), left));
            g.op(__glOgMovq(s, g.abs(g.texWeights + 16 * (2 * h + 1) + 8 * r), right));
        }
    }
    // Per pixel: each texel row's two words byte-interleaved and widened, so that one multiply-add
    // with its weight pair gives the row's R, G, B, A sums; both rows added, rounded to 8 bits
    // dropped, packed.
    GlOgNode *zero = m[7];
    g.op(__glOgPxor(s, zero, zero));
    for (int p = 0; p < 4; ++p) {
        for (int r = 0; r < 2; ++r) {
            GlOgNode *lo = m[2 * r], *hi = m[2 * r + 1];
            emitTexelWord(g, g.texCorners + 16 * (2 * r) + 4 * p);
            g.op(__glOgMovd(s, lo, w.r(kEax)));
            emitTexelWord(g, g.texCorners + 16 * (2 * r + 1) + 4 * p);
            g.op(__glOgMovd(s, hi, w.r(kEax)));
            g.op(__glOgPunpcklbw(s, lo, hi));
            g.op(__glOgMovq(s, hi, lo));
            g.op(__glOgPunpcklbw(s, lo, zero));
            g.op(__glOgPunpckhbw(s, hi, zero));
            GlOgNode *pairWeights = g.abs(g.texWeights + 16 * p + 8 * r);
            g.op(__glOgPmaddwd(s, lo, pairWeights));
            g.op(__glOgPmaddwd(s, hi, pairWeights));
        }
        g.op(__glOgPaddd(s, m[0], m[2]));
        g.op(__glOgPaddd(s, m[1], m[3]));
        g.op(__glOgPaddd(s, m[0], rounding));
        g.op(__glOgPaddd(s, m[1], rounding));
        g.op(__glOgPsrld(s, m[0], w.imm(8)));
        g.op(__glOgPsrld(s, m[1], w.imm(8)));
        g.op(__glOgPackssdw(s, m[0], m[1]));
        g.op(__glOgPackuswb(s, m[0], m[0]));
        g.op(__glOgMovd(s, g.abs(g.texels + 4 * p), m[0]));
    }
}

void __glOgEmitTexelChannel(GlOgMmxSpanGen &g, int ch, GlOgNode *into, GlOgTexelForm form) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *mm3 = g.mm(3);
    g.op(__glOgMovq(s, into, g.mm(0)));
    g.op(__glOgMovq(s, mm3, g.mm(1)));
    if (ch > 0) {
        g.op(__glOgPsrld(s, into, w.imm(8 * ch)));
        g.op(__glOgPsrld(s, mm3, w.imm(8 * ch)));
    }
    if (ch < 3) {
        g.op(__glOgPand(s, into, g.abs(g.dwords(0xFF))));
        g.op(__glOgPand(s, mm3, g.abs(g.dwords(0xFF))));
    }
    g.op(__glOgPackssdw(s, into, mm3));
    if (form == GlOgTexelForm::Lane) {
        // As the fast chain takes it, at the lane scale: with dither its field byte (byte x the
        // largest field byte / 255, rounded), without it the field itself (byte x the largest
        // field / 255, rounded once).
        const int fieldBits = g.dither ? 7 : 15 - g.bits[ch];
        g.op(__glOgPmullw(s, into, __glOgWordConst4(g, uint16_t(laneLimit(g.bits[ch]) >> fieldBits))));
        emitRoundedByteQuotient(g, into);
        g.op(__glOgPsllw(s, into, w.imm(fieldBits)));
    }
}

void __glOgEmitMmxColor(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2);
    if (g.texture && g.linear) {
        __glOgEmitTexelFilter(g);
    }
    if (g.flatPacked) {
        g.op(__glOgMovq(s, mm0, g.abs(g.flatPixels)));
    } else {
        // The lanes: 32-bit pairs shifted to the lane scale, negative values (a plane sampled just
        // outside its triangle) clamped to 0.
        for (int ch = 0; ch < 4; ++ch) {
            if (ch < 3 ? !g.fragColor : !g.alpha) continue;
            GlOgNode *lane = ch < 3 ? g.mm(5 + ch) : g.mm(4);
            if (!g.smooth) {
                g.op(__glOgMovq(s, lane, g.abs(g.flat[ch])));
                continue;
            }
            g.op(__glOgMovq(s, mm0, g.abs(g.lanes[ch][0])));
            g.op(__glOgMovq(s, mm1, g.abs(g.lanes[ch][1])));
            if (ch < 3) {
                g.op(__glOgPsrad(s, mm0, w.imm(1 + g.bits[ch])));
                g.op(__glOgPsrad(s, mm1, w.imm(1 + g.bits[ch])));
            } else {
                // The alpha byte (16.16, 0-255), a unit byte.
                g.op(__glOgPsrad(s, mm0, w.imm(16)));
                g.op(__glOgPsrad(s, mm1, w.imm(16)));
            }
            g.op(__glOgPackssdw(s, mm0, mm1));
            g.op(__glOgMovq(s, lane, mm0));
            g.op(__glOgPsraw(s, mm0, w.imm(15)));
            g.op(__glOgPandn(s, mm0, lane));
            g.op(__glOgMovq(s, lane, mm0));
        }
        if (g.alpha) {
            // At most 1.0 (a plane sampled just outside its triangle may pass it), so that a
            // factor 1.0 - alpha is never negative.
            emitAtMost(g, g.mm(4), 255);
            g.op(__glOgMovq(s, g.abs(g.srcAlpha), g.mm(4)));
        }
        // Products take the colour without the set-up's rounding bias; it is put back before
        // the pack.
        const bool unbiased = g.texture || g.blend;
        // Kept as the fast chain's field bytes (the lanes' low seven bits dropped, at most the
        // largest field byte), so that both form the same products.
        if (unbiased && g.fragColor)
            for (int ch = 0; ch < 3; ++ch) {
                GlOgNode *lane = g.mm(5 + ch);
                g.op(__glOgPsubusw(s, lane, __glOgWordConst4(g, uint16_t(laneBias(g, ch)))));
                g.op(__glOgPand(s, lane, __glOgWordConst4(g, 0xFF80)));
                emitAtMost(g, lane, uint16_t(laneLimit(g.bits[ch])));
            }
        if (g.texture) {
            // GL_REPLACE takes the texel's colour; GL_MODULATE the product with the texel as a
            // factor (top bit 12, times four).
            __glOgEmitTexelFetch(g);
            for (int ch = 0; ch < 3; ++ch) {
                GlOgNode *lane = g.mm(5 + ch);
                if (!g.modulate) {
                    __glOgEmitTexelChannel(g, ch, lane, GlOgTexelForm::Lane);
                    continue;
                }
                // The product of the texel and the colour's field byte, rounded to a field byte
                // as the fast chain forms it.
                __glOgEmitTexelChannel(g, ch, mm2, GlOgTexelForm::Byte);
                g.op(__glOgPsrlw(s, lane, w.imm(7)));
                g.op(__glOgPmullw(s, lane, mm2));
                emitRoundedByteQuotient(g, lane);
                g.op(__glOgPsllw(s, lane, w.imm(7)));
            }
            // The texture's own alpha replaces the fragment's, or scales it as the chain's
            // rounded byte product.
            if (g.alpha && g.texAlpha) {
                __glOgEmitTexelChannel(g, 3, mm2, GlOgTexelForm::Byte);
                if (g.modulate) {
                    g.op(__glOgPmullw(s, mm2, g.abs(g.srcAlpha)));
                    emitRoundedByteQuotient(g, mm2);
                }
                g.op(__glOgMovq(s, g.abs(g.srcAlpha), mm2));
            }
        }
        if (g.blend) __glOgEmitMmxBlend(g);
        if (unbiased)
            for (int ch = 0; ch < 3; ++ch) g.op(__glOgPaddsw(s, g.mm(5 + ch), __glOgWordConst4(g, uint16_t(laneBias(g, ch)))));
        if (g.dither) {
            // The dither row of this scan line, rotated to the group's first lane, at EBP.
            for (int ch = 0; ch < 3; ++ch) g.op(__glOgPaddsw(s, g.mm(5 + ch), w.at(kEbp, 128 * ch)));
        }
        for (int ch = 0; ch < 3; ++ch) emitPackChannel(g, g.mm(5 + ch), ch);
        g.op(__glOgMovq(s, mm0, g.mm(5)));
        g.op(__glOgPor(s, mm0, g.mm(6)));
        g.op(__glOgPor(s, mm0, g.mm(7)));
    }
    // The store: where some pixel failed the depth test, the old pixel stays.
    if (g.depth) {
        GlOgNode *whole = __glOgShortLabel(s);
        g.op(__glOgCmp(s, w.r(kEdx), w.imm(-1)));
        g.op(__glOgJe(s, whole));
        g.op(__glOgMovq(s, mm1, g.abs(g.pass)));
        g.op(__glOgMovq(s, mm2, mm1));
        g.op(__glOgPand(s, mm0, mm1));
        g.op(__glOgPandn(s, mm2, w.at(kEdi)));
        g.op(__glOgPor(s, mm0, mm2));
        w.place(whole);
    }
    g.op(__glOgMovq(s, w.at(kEdi), mm0));
}

}  // namespace icd
