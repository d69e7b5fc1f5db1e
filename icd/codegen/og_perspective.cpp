// The x87 span routine's emitters (og_perspective.h).
#include "icd/codegen/og_perspective.h"

#include <cmath>
#include <cstring>

#include "icd/codegen/og_ir.h"

namespace icd {

void __glOgSetupSpanConsts(GlOgState *s, GlOgSpanConsts *consts) {
    for (int i = 0; i < 16; ++i) {
        const double m = std::ldexp(1.5, 36 + i);
        uint64_t bits;
        std::memcpy(&bits, &m, 8);
        consts->magic[i] = __glOgQwordConst(s, uint16_t(bits), uint16_t(bits >> 16), uint16_t(bits >> 32), uint16_t(bits >> 48));
    }
    consts->one = __glOgFloatConst(s, 1.0);
}

namespace {

// s and t of the pixel into work.s and work.t (the x87 part the start and the step share); false,
// with the generation failed, for fraction bits out of range.
bool emitFixedPair(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits, int32_t tBits,
                   const GlOgPerspectiveWork &work) {
    GlOgState *s = w.s;
    if (sBits < 1 || sBits > 16 || tBits < 1 || tBits > 16) {
        s->ogFailed = 1;
        return false;
    }
    w.op(__glOgFld(s, __glOgSt(0)));  // 1/w, 1/w
    w.op(__glOgFmul(s, S));            // s, 1/w
    w.op(__glOgFxch(s, __glOgSt(1)));  // 1/w, s
    w.op(__glOgFmul(s, T));            // t, s
    // Rounding down at double precision: the magic add leaves floor(value 2^bits) in the low dword
    // (a wider intermediate rounded down again on the store rounds down once overall).
    w.op(__glOgFldcw(s, work.conversion));
    w.op(__glOgFadd64(s, consts.magic[16 - tBits]));
    w.op(__glOgFstp64(s, work.t));
    w.op(__glOgFadd64(s, consts.magic[16 - sBits]));
    w.op(__glOgFstp64(s, work.s));
    w.op(__glOgFldcw(s, work.arithmetic));
    return true;
}

// The new fixed values become the previous ones.
void keepAsPrevious(GlOgWriter &w, const GlOgPerspectiveWork &work) {
    GlOgNode *eax = w.r(kEax);
    w.op(__glOgMov(w.s, eax, work.s));
    w.op(__glOgMov(w.s, work.previousS, eax));
    w.op(__glOgMov(w.s, eax, work.t));
    w.op(__glOgMov(w.s, work.previousT, eax));
}

}  // namespace

void __glOgEmitPerspectiveStart(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits,
                                int32_t tBits, const GlOgPerspectiveWork &work) {
    if (emitFixedPair(w, consts, S, T, sBits, tBits, work)) keepAsPrevious(w, work);
}

void __glOgEmitPerspectiveStep(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits,
                               int32_t tBits, const GlOgPerspectiveWork &work) {
    if (!emitFixedPair(w, consts, S, T, sBits, tBits, work)) return;
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx);
    // The segment is the pixels since the last start or step, and what the caller adds is the
    // whole change over it: the difference of two exact values is exact, so the step is not
    // scaled (the segment reciprocal is 1), and converting the difference instead of the two
    // values would round it a second time.
    w.op(__glOgMov(s, edx, work.t));
    w.op(__glOgSub(s, edx, work.previousT));
    w.op(__glOgShl(s, edx, w.imm(16)));
    w.op(__glOgMov(s, eax, work.s));
    w.op(__glOgSub(s, eax, work.previousS));
    w.op(__glOgAnd(s, eax, w.imm(0xFFFF)));
    w.op(__glOgOr(s, edx, eax));
    keepAsPrevious(w, work);
}

void __glOgEmitDitherPointer(GlOgWriter &w, GlOgNode *y, GlOgNode *x, GlOgNode *table, GlOgNode *entry) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx);
    w.op(__glOgMov(s, eax, x));
    w.op(__glOgAnd(s, eax, w.imm(3)));
    w.op(__glOgMov(s, ecx, y));
    w.op(__glOgAnd(s, ecx, w.imm(3)));
    w.op(__glOgImul(s, ecx, w.imm(35)));
    w.op(__glOgAdd(s, ecx, eax));
    w.op(__glOgMov(s, edx, table));
    w.op(__glOgLea(s, edx, __glOgMem(s, nullptr, edx, ecx, 4)));
    w.op(__glOgMov(s, entry, edx));
}

}  // namespace icd
