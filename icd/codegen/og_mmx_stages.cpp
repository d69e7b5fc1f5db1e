// The per-group stages of the MMX span routine: the depth test with its write-back, the colour of
// the fragments, blending with the destination, dithering, packing and the store. Each works on
// the four pixels of one group in the lane formats of og_mmx_span.h.
#include "icd/codegen/og_mmx_span.h"

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
    GlOgNode *ones = g.abs(g.words(0xFFFF));
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
    GlOgState *s = g.s();
    g.op(__glOgPsrlw(s, lane, g.w.imm(15 - g.bits[ch])));
    if (g.shift[ch] > 0) g.op(__glOgPsllw(s, lane, g.w.imm(g.shift[ch])));
}

// Lane units of a colour channel of b bits: one field step is 1 << (15 - b), the full field
// (31 or 63 steps) the lane limit below 0x8000.
int32_t laneLimit(int bits) { return ((1 << bits) - 1) << (15 - bits); }
// The rounding bias the fast set-up puts into the colour iterators (half a step without dither,
// a 32nd of one with it), in lane units: taken off before a product and put back before the pack,
// where it rounds (with the dither table's sixteenths: (2B + 1) / 32 of a step).
int32_t laneBias(const GlOgMmxSpanGen &g, int ch) { return (g.dither ? 0x800 : 0x8000) >> (1 + g.bits[ch]); }
// x / 255 rounded to nearest for the unsigned words x of a register (x <= 255 x 255), as the fast
// chain's byte product forms it: (x + 128 + ((x + 128) >> 8)) >> 8. mm3 is scratch.
void emitRoundedByteQuotient(GlOgMmxSpanGen &g, GlOgNode *x) {
    GlOgState *s = g.s();
    GlOgNode *t = g.mm(3);
    g.op(__glOgPaddw(s, x, g.abs(g.words(128))));
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsrlw(s, t, g.w.imm(8)));
    g.op(__glOgPaddw(s, x, t));
    g.op(__glOgPsrlw(s, x, g.w.imm(8)));
}
// The multiplier k of pmulhw(lane, k) * 2 = lane * 0x4000 / limit, exact at the limit.
uint16_t toFactorMultiplier(int bits) {
    return uint16_t((int64_t(0x2000) * 65536 + laneLimit(bits) - 1) / laneLimit(bits));
}

}  // namespace

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
        g.op(__glOgPxor(s, mm2, g.abs(g.words(0x8000))));
        mask = emitCompare(g, g.depthFunc, mm0, mm2, mm3, false);
        if (mask != mm1) g.op(__glOgMovq(s, mm1, mask));
        if (g.depthWrite) {
            g.op(__glOgMovq(s, mm2, g.abs(g.zValues[0])));
            g.op(__glOgPxor(s, mm2, g.abs(g.words(0x8000))));
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
    GlOgNode *src = g.mm(5 + ch), *dst = g.abs(g.dstLanes[ch]);
    switch (factor) {
    case GL_ONE:
    case GL_DST_ALPHA:  // the colour buffer has no alpha: destination alpha is 1.0
        g.op(__glOgMovq(s, into, g.abs(g.words(0x4000))));
        return true;
    case GL_SRC_ALPHA:
        g.op(__glOgMovq(s, into, g.abs(g.srcAlpha)));
        return true;
    case GL_ONE_MINUS_SRC_ALPHA:
        g.op(__glOgMovq(s, into, g.abs(g.words(0x4000))));
        g.op(__glOgPsubw(s, into, g.abs(g.srcAlpha)));
        return true;
    case GL_SRC_COLOR:
    case GL_DST_COLOR:
    case GL_ONE_MINUS_SRC_COLOR:
    case GL_ONE_MINUS_DST_COLOR: {
        // The colour lane at the factor's scale, a full field exactly 1.0.
        const bool ofSource = factor == GL_SRC_COLOR || factor == GL_ONE_MINUS_SRC_COLOR;
        const bool oneMinus = factor == GL_ONE_MINUS_SRC_COLOR || factor == GL_ONE_MINUS_DST_COLOR;
        GlOgNode *f = oneMinus ? g.mm(3) : into;
        g.op(__glOgMovq(s, f, ofSource ? src : dst));
        g.op(__glOgPmulhw(s, f, g.abs(g.words(toFactorMultiplier(g.bits[ch])))));
        g.op(__glOgPsllw(s, f, g.w.imm(1)));
        if (oneMinus) {
            g.op(__glOgMovq(s, into, g.abs(g.words(0x4000))));
            g.op(__glOgPsubw(s, into, f));
        }
        return true;
    }
    case GL_SRC_ALPHA_SATURATE:
        // min(source alpha, 1.0 - destination alpha) = a - saturating(a - b).
        g.op(__glOgMovq(s, g.mm(3), g.abs(g.words(0x4000))));
        g.op(__glOgPsubw(s, g.mm(3), g.abs(g.dstAlpha)));
        g.op(__glOgMovq(s, into, g.abs(g.srcAlpha)));
        g.op(__glOgPsubusw(s, into, g.mm(3)));
        g.op(__glOgMovq(s, g.mm(3), g.abs(g.srcAlpha)));
        g.op(__glOgPsubw(s, g.mm(3), into));
        g.op(__glOgMovq(s, into, g.mm(3)));
        return true;
    default:  // GL_ZERO, GL_ONE_MINUS_DST_ALPHA
        return false;
    }
}

void __glOgEmitMmxBlend(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2), *mm4 = g.mm(4);
    // The destination's channels at the colour lanes' scale: the field's steps exactly, so that a
    // blend giving the destination back keeps it.
    g.op(__glOgMovq(s, mm0, w.at(kEdi)));
    for (int ch = 0; ch < 3; ++ch) {
        const int b = g.bits[ch];
        g.op(__glOgMovq(s, mm1, mm0));
        if (g.shift[ch] > 0) g.op(__glOgPsrlw(s, mm1, w.imm(g.shift[ch])));
        g.op(__glOgPand(s, mm1, g.abs(g.words(uint16_t((1u << b) - 1)))));
        g.op(__glOgPsllw(s, mm1, w.imm(15 - b)));
        g.op(__glOgMovq(s, g.abs(g.dstLanes[ch]), mm1));
    }
    const bool add = g.srcFactor == GL_ONE && g.dstFactor == GL_ONE;
    for (int ch = 0; ch < 3; ++ch) {
        GlOgNode *lane = g.mm(5 + ch);
        if (add) {
            g.op(__glOgPaddsw(s, lane, g.abs(g.dstLanes[ch])));
            continue;
        }
        // Each product of a lane and a factor has its top bit at 12; the sum is brought back to
        // bit 14 whichever factor is zero.
        const bool hasSrc = __glOgEmitBlendFactor(g, g.srcFactor, ch, mm2);
        if (hasSrc) {
            g.op(__glOgMovq(s, mm4, lane));
            g.op(__glOgPmulhw(s, mm4, mm2));
        }
        const bool hasDst = __glOgEmitBlendFactor(g, g.dstFactor, ch, mm1);
        if (hasDst) {
            g.op(__glOgPmulhw(s, mm1, g.abs(g.dstLanes[ch])));
            if (hasSrc) g.op(__glOgPaddsw(s, mm1, mm4));
            g.op(__glOgMovq(s, lane, mm1));
        } else if (hasSrc) {
            g.op(__glOgMovq(s, lane, mm4));
        } else {
            g.op(__glOgPxor(s, lane, lane));
        }
        g.op(__glOgPaddsw(s, lane, lane));
        g.op(__glOgPaddsw(s, lane, lane));
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
    g.op(__glOgMovq(s, mm3, into));
    if (form == GlOgTexelForm::Factor) {
        // byte * 64 + byte / 4 + byte / 128: 255 is 1.0 (0x4000).
        g.op(__glOgPsllw(s, into, w.imm(6)));
        g.op(__glOgPsrlw(s, mm3, w.imm(2)));
        g.op(__glOgPaddw(s, into, mm3));
        g.op(__glOgPsrlw(s, mm3, w.imm(5)));
        g.op(__glOgPaddw(s, into, mm3));
    } else if (form == GlOgTexelForm::Lane) {
        // As the fast chain takes it, at the lane scale: with dither its field byte (byte x the
        // largest field byte / 255, rounded), without it the field itself (byte x the largest
        // field / 255, rounded once).
        const int fieldBits = g.dither ? 7 : 15 - g.bits[ch];
        g.op(__glOgPmullw(s, into, g.abs(g.words(uint16_t(laneLimit(g.bits[ch]) >> fieldBits)))));
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
                // The alpha byte (16.16, 0-255) to 1.0 = 0x4000: byte * 64 + byte / 4.
                for (GlOgNode *m : {mm0, mm1}) {
                    g.op(__glOgPsrad(s, m, w.imm(16)));
                    g.op(__glOgMovq(s, mm2, m));
                    g.op(__glOgPslld(s, m, w.imm(6)));
                    g.op(__glOgPsrad(s, mm2, w.imm(2)));
                    g.op(__glOgPaddd(s, m, mm2));
                }
            }
            g.op(__glOgPackssdw(s, mm0, mm1));
            g.op(__glOgMovq(s, lane, mm0));
            g.op(__glOgPsraw(s, mm0, w.imm(15)));
            g.op(__glOgPandn(s, mm0, lane));
            g.op(__glOgMovq(s, lane, mm0));
        }
        if (g.alpha) {
            // At most 1.0, so that a factor 1.0 - alpha is never negative: min(a, 1.0) = a - (a -sat 1.0).
            g.op(__glOgMovq(s, mm0, g.mm(4)));
            g.op(__glOgPsubusw(s, mm0, g.abs(g.words(0x4000))));
            g.op(__glOgPsubw(s, g.mm(4), mm0));
            g.op(__glOgMovq(s, g.abs(g.srcAlpha), g.mm(4)));
        }
        // Products take the colour without the set-up's rounding bias; it is put back before
        // the pack.
        const bool unbiased = g.texture || g.blend;
        // Kept at the precision of the fast chain's field bytes (the lanes' low seven bits
        // dropped), so that both form the same products.
        if (unbiased && g.fragColor)
            for (int ch = 0; ch < 3; ++ch) {
                g.op(__glOgPsubusw(s, g.mm(5 + ch), g.abs(g.words(uint16_t(laneBias(g, ch))))));
                g.op(__glOgPand(s, g.mm(5 + ch), g.abs(g.words(0xFF80))));
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
            // The texture's own alpha replaces or scales the fragment's (1.0 * 1.0 has top bit 12).
            if (g.alpha && g.texAlpha) {
                __glOgEmitTexelChannel(g, 3, mm2, GlOgTexelForm::Factor);
                if (g.modulate) {
                    g.op(__glOgPmulhw(s, mm2, g.abs(g.srcAlpha)));
                    g.op(__glOgPsllw(s, mm2, w.imm(2)));
                }
                g.op(__glOgMovq(s, g.abs(g.srcAlpha), mm2));
            }
        }
        if (g.blend) __glOgEmitMmxBlend(g);
        if (unbiased)
            for (int ch = 0; ch < 3; ++ch) g.op(__glOgPaddsw(s, g.mm(5 + ch), g.abs(g.words(uint16_t(laneBias(g, ch))))));
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
