// The x87 span routine's emitters: the dither pointer of a row or chunk, and the perspective
// emitters: the sixteen magic doubles that turn an x87 value
// into fixed point by one add and one 64-bit store, the segment start that forms s and t from
// s/w, t/w and 1/w, and the step that forms the packed change of s and t since the last start or
// step.
#pragma once

#include <cstdint>

#include "icd/codegen/og_context.h"

namespace icd {

// 1.5 x 2^(36 + i) for i = 0 .. 15, as double operands of the qword pool: added to a value held at
// double (or wider) precision and stored as 8 bytes, the low dword is the value with 16 - i
// fraction bits, rounded as the control word in force rounds (towards minus infinity: the floor).
struct GlOgSpanConsts {
    GlOgNode *magic[16];
    GlOgNode *one;  // 1.0 as a float operand
};
void __glOgSetupSpanConsts(GlOgState *s, GlOgSpanConsts *consts);

// Where the start and the step work: the two 8-byte results of the magic adds, the fixed s and t
// of the last start or step (4-byte operands), and the two control words they run under (2-byte
// operands): `arithmetic` rounds to nearest at float precision, so that every x87 product and sum
// is the float the C chain computes; `conversion` rounds down at double precision for the magic
// add.
struct GlOgPerspectiveWork {
    GlOgNode *s, *t;
    GlOgNode *previousS, *previousT;
    GlOgNode *arithmetic, *conversion;
};

// With 1/w in st(0) (popped) and the arithmetic control word in force: s = S x (1/w) and
// t = T x (1/w) as floats, each converted through the magic double of its fraction bits (1 to 16)
// into work.s and work.t, whose low dwords then hold floor(s 2^bits) and floor(t 2^bits) (for
// values below 2^31 in magnitude), and kept as the previous values. Leaves the x87 stack as it
// found it below st(0) and the arithmetic control word in force; eax is scratch.
void __glOgEmitPerspectiveStart(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits,
                                int32_t tBits, const GlOgPerspectiveWork &work);

// The same for a later pixel of the segment: the new fixed s and t formed exactly as the start
// forms them, then edx = (t - previous t) << 16 | ((s - previous s) & 0xFFFF), each difference
// modulo 2^16, and the new values kept as the previous ones. Added half by half with 16-bit adds
// to the low halves of the previous s and t, the step gives the new low halves exactly, with no
// carry crossing from s into t. eax is scratch.
void __glOgEmitPerspectiveStep(GlOgWriter &w, const GlOgSpanConsts &consts, GlOgNode *S, GlOgNode *T, int32_t sBits,
                               int32_t tBits, const GlOgPerspectiveWork &work);

// The dither entry of the pixel at x on row y: eax = x & 3, ecx = (y & 3) x 35 + (x & 3), and
// entry = table + ecx x 4 (rows of 35 words: the pattern's four repeated past any 32-pixel
// chunk's start); edx is scratch.
void __glOgEmitDitherPointer(GlOgWriter &w, GlOgNode *y, GlOgNode *x, GlOgNode *table, GlOgNode *entry);

}  // namespace icd
