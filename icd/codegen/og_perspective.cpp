// The perspective emitters of the span routines (og_perspective.h).
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

void __glOgEmitPerspectiveStart(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits,
                                int32_t tBits, const GlOgPerspectiveWork &work) {
    GlOgState *s = w.s;
    if (sBits < 1 || sBits > 16 || tBits < 1 || tBits > 16) {
        s->ogFailed = 1;
        return;
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
}

}  // namespace icd
