// Perspective texturing in the MMX span routine: s/q and t/q formed once per segment of a row
// through a 16-bit reciprocal of q from a table, and stepped linearly in the lanes in between.
//
// Per row, s/w, t/w and q/w (the set-up's float planes) are brought to integers S, T, Q with one
// power of two, chosen so that the largest of them at the row's first and last pixels lies in
// [2^21, 2^22): their quotients are unchanged and q keeps as many bits as the row allows. At a
// segment end the three planes are evaluated on the x87, Q goes through the reciprocal subroutine
// and S and T are multiplied by its result; the lanes step by (end - start) x (0x8000 / n) >> 15
// per pixel, n the steps from the segment's first pixel to its end. A segment's end is the next
// one's first pixel, but the row's last segment ends on the row's last pixel: no end lies outside
// the triangle, where q may be near 0 or of the other sign.
#include <cstddef>
#include <cstring>
#include <mutex>

#include "icd/codegen/og_mmx_span.h"
#include "icd/core/context.h"
#include "icd/raster/fast_span.h"

namespace icd {

const int32_t kGlOgFirstSegment[2][4] = {{16, 19, 18, 17}, {17, 18, 19, 16}};

const int32_t kGlOgSegmentReciprocal[20] = {0,          0x7FFF,     0x8000 / 2,  0x8000 / 3,  0x8000 / 4,
                                            0x8000 / 5,  0x8000 / 6,  0x8000 / 7,  0x8000 / 8,  0x8000 / 9,
                                            0x8000 / 10, 0x8000 / 11, 0x8000 / 12, 0x8000 / 13, 0x8000 / 14,
                                            0x8000 / 15, 0x8000 / 16, 0x8000 / 17, 0x8000 / 18, 0x8000 / 19};

namespace {

// Lanes kept from the old segment when the new one starts at walking position b of the group:
// [backward][b][lane], all ones for the lanes before b in walking order.
struct KeepMasks {
    uint32_t m[2][4][4];
};
constexpr KeepMasks makeKeepMasks() {
    KeepMasks k{};
    for (int back = 0; back < 2; ++back)
        for (int b = 0; b < 4; ++b)
            for (int lane = 0; lane < 4; ++lane) {
                const int walk = back ? 3 - lane : lane;
                k.m[back][b][lane] = walk < b ? 0xFFFFFFFFu : 0u;
            }
    return k;
}
alignas(8) constexpr KeepMasks kKeep = makeKeepMasks();

#define SPAN(f) offsetof(GlSpan, f)
constexpr size_t kPlanes[3] = {SPAN(sw), SPAN(tw), SPAN(qw)};

uint32_t g_reciprocal[256];
std::once_flag g_reciprocalOnce;

// S, T, Q of the row at the walking position in `position` into segInts.
void emitPlanesAt(GlOgMmxSpanGen &g, uint8_t *position) {
    GlOgState *s = g.s();
    g.op(__glOgEmms(s));  // the x87 registers are the MMX ones
    for (int i = 0; i < 3; ++i) {
        g.op(__glOgFild(s, g.abs(position)));
        g.op(__glOgFmul(s, g.field(kPlanes[i] + offsetof(GlSpanFloatIter, step))));
        g.op(__glOgFadd(s, g.field(kPlanes[i] + offsetof(GlSpanFloatIter, rowStart))));
        g.op(__glOgFmul(s, g.abs(g.rowScale)));
        g.op(__glOgFistp(s, g.abs(g.segInts + 4 * i)));
    }
}

// segEnds = s and t at the segment end whose S, T, Q are in segInts.
void emitSegmentEnd(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    g.op(__glOgMov(s, g.w.r(kEax), g.abs(g.segInts + 8)));
    g.op(__glOgCall(s, g.reciprocal));
    // Below 2^23 in magnitude: seven bits up keeps them below 2^30.
    __glOgEmitShiftFields(g, g.segInts, 7);
    g.op(__glOgMovq(s, g.mm(0), g.abs(g.segInts)));
    __glOgEmitMulFixedShift(g, g.mm(0), g.mm(1), g.mm(3));
    g.op(__glOgMovq(s, g.abs(g.segEnds), g.mm(0)));
}

}  // namespace

const uint32_t *__glOgReciprocalTable() {
    std::call_once(g_reciprocalOnce, [] {
        auto f = [](int32_t i) { return int32_t(0x800000 / (256 + i)); };
        for (int32_t i = 0; i < 256; ++i)
            g_reciprocal[i] = uint32_t(f(i)) | (uint32_t(f(i + 1) - f(i)) << 17);
    });
    return g_reciprocal;
}

void __glOgEmitBiasDwords(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *sign, GlOgNode *bias) {
    GlOgState *s = g.s();
    g.op(__glOgPsrad(s, sign, g.w.imm(31)));
    g.op(__glOgPand(s, sign, bias));
    g.op(__glOgPaddd(s, x, sign));
}

void __glOgEmitBiasWords(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *sign, GlOgNode *bias) {
    GlOgState *s = g.s();
    g.op(__glOgPsraw(s, sign, g.w.imm(15)));
    g.op(__glOgPand(s, sign, bias));
    g.op(__glOgPaddw(s, x, sign));
}

void __glOgEmitShiftFields(GlOgMmxSpanGen &g, uint8_t *fields, int count) {
    GlOgState *s = g.s();
    for (int h = 0; h < 2; ++h) {
        g.op(__glOgMovq(s, g.mm(0), g.abs(fields + 8 * h)));
        g.op(__glOgPslld(s, g.mm(0), g.w.imm(count)));
        g.op(__glOgMovq(s, g.abs(fields + 8 * h), g.mm(0)));
    }
}

void __glOgEmitMulFixed(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *m, GlOgNode *t) {
    GlOgState *s = g.s();
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsrad(s, t, g.w.imm(15)));  // the high part, a signed word
    g.op(__glOgPand(s, x, g.abs(g.dwords(0x7FFF))));
    g.op(__glOgPmaddwd(s, x, m));
    g.op(__glOgPmaddwd(s, t, m));
    g.op(__glOgPsrld(s, x, g.w.imm(15)));
    g.op(__glOgPaddd(s, x, t));
}

void __glOgEmitMulFixedHigh(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *m, GlOgNode *t, GlOgNode *u) {
    GlOgState *s = g.s();
    g.op(__glOgMovq(s, u, x));
    g.op(__glOgMovq(s, t, x));
    g.op(__glOgPsrad(s, t, g.w.imm(15)));
    g.op(__glOgPand(s, x, g.abs(g.dwords(0x7FFF))));
    g.op(__glOgPmaddwd(s, x, m));
    g.op(__glOgPmaddwd(s, t, m));
    // x m / 2^15 = high m + low m / 2^15: toward zero for a negative x is the low product's
    // quotient rounded up.
    __glOgEmitBiasDwords(g, x, u, g.abs(g.dwords(0x7FFF)));
    g.op(__glOgPsrld(s, x, g.w.imm(15)));
    g.op(__glOgPaddd(s, x, t));
}

void __glOgEmitMulFixedShift(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *t, GlOgNode *u) {
    GlOgState *s = g.s();
    __glOgEmitMulFixed(g, x, g.abs(g.recipWords), t);
    g.op(__glOgPslld(s, x, g.abs(g.recipLeft)));
    g.op(__glOgMovq(s, u, x));
    __glOgEmitBiasDwords(g, x, u, g.abs(g.recipBias));
    g.op(__glOgPsrad(s, x, g.abs(g.recipRight)));
}

void __glOgEmitNormalizeTree(GlOgMmxSpanGen &g, GlOgNode *done) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    // n in [lo, hi]: q >= 0x1000000 >> mid means n <= mid.
    auto node = [&](auto &&self, int lo, int hi) -> void {
        if (lo == hi) {
            g.op(__glOgShl(s, eax, w.imm(8 + lo)));
            g.op(__glOgMov(s, ecx, w.imm(lo)));
            g.op(__glOgJmp(s, done));
            return;
        }
        const int mid = (lo + hi) / 2;
        GlOgNode *upper = w.label();
        g.op(__glOgCmp(s, eax, w.imm(0x1000000 >> mid)));
        g.op(__glOgJb(s, upper));
        self(self, lo, mid);
        w.place(upper);
        self(self, mid + 1, hi);
    };
    node(node, 1, 23);
}

void __glOgEmitReciprocal(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx);
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2), *mm3 = g.mm(3);
    const uint32_t *table = __glOgReciprocalTable();
    GlOgNode *bad = w.label(), *normal = w.label(), *counts = __glOgShortLabel(s), *leftward = __glOgShortLabel(s);
    w.place(g.reciprocal);
    g.op(__glOgCmp(s, eax, w.imm(2)));
    g.op(__glOgJb(s, bad));
    g.op(__glOgCmp(s, eax, w.imm(0x1000000)));
    g.op(__glOgJae(s, bad));
    __glOgEmitNormalizeTree(g, normal);

    // Out of range: the largest reciprocal.
    w.place(bad);
    g.op(__glOgXor(s, eax, eax));
    g.op(__glOgMov(s, ecx, w.imm(1)));

    // The top 8 bits left index the table, the next ones interpolate between its entries:
    // r = f + delta x fraction, the product toward zero (delta is never below -128, so delta
    // times the fraction's top 8 bits is a word).
    w.place(normal);
    g.op(__glOgMov(s, edx, eax));
    g.op(__glOgShr(s, edx, w.imm(24)));
    g.op(__glOgShr(s, eax, w.imm(16)));
    g.op(__glOgAnd(s, eax, w.imm(0xFF)));
    g.op(__glOgMovd(s, mm0, eax));
    g.op(__glOgMov(s, edx, __glOgMem(s, w.imm(__glOgWord(table)), nullptr, edx, 4)));
    g.op(__glOgMov(s, eax, edx));
    g.op(__glOgSar(s, eax, w.imm(17)));
    g.op(__glOgMovd(s, mm3, eax));
    g.op(__glOgPand(s, mm3, g.abs(g.dwords(0xFFFF))));
    g.op(__glOgAnd(s, edx, w.imm(0x1FFFF)));
    g.op(__glOgMovd(s, mm1, edx));
    g.op(__glOgPmullw(s, mm3, mm0));
    g.op(__glOgMovq(s, mm2, mm3));
    __glOgEmitBiasWords(g, mm3, mm2, __glOgWordConst4(g, 0xFF));
    g.op(__glOgPsraw(s, mm3, w.imm(8)));
    g.op(__glOgPaddw(s, mm1, mm3));
    // A power of two gives 0x8000, which a signed multiply-add would take as negative.
    g.op(__glOgMovq(s, mm0, mm1));
    g.op(__glOgPsubusw(s, mm0, __glOgWordConst4(g, 0x7FFF)));
    g.op(__glOgPsubw(s, mm1, mm0));
    g.op(__glOgPunpckldq(s, mm1, mm1));
    g.op(__glOgMovq(s, g.abs(g.recipWords), mm1));
    g.op(__glOgMovd(s, mm2, ecx));

    // 1/q = r 2^(n - 39) with S and T at q's scale: s in 16.16 is S r 2^(n - 23), that is
    // ((S << 7) r >> 15) shifted left by n - 15 or right by 15 - n.
    g.op(__glOgMov(s, edx, ecx));
    g.op(__glOgSub(s, edx, w.imm(15)));
    g.op(__glOgJg(s, leftward));
    g.op(__glOgMov(s, eax, w.imm(15)));
    g.op(__glOgSub(s, eax, ecx));
    g.op(__glOgXor(s, edx, edx));
    g.op(__glOgJmp(s, counts));
    w.place(leftward);
    g.op(__glOgXor(s, eax, eax));
    w.place(counts);
    g.op(__glOgMov(s, g.abs(g.recipRight), eax));
    g.op(__glOgMov(s, g.abs(g.recipLeft), edx));
    g.op(__glOgMovq(s, mm0, g.abs(g.dwords(1))));
    g.op(__glOgPslld(s, mm0, g.abs(g.recipRight)));
    g.op(__glOgPsubd(s, mm0, g.abs(g.dwords(1))));
    g.op(__glOgMovq(s, g.abs(g.recipBias), mm0));
    g.op(__glOgRet(s));
}

void __glOgEmitPerspectiveRow(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    g.op(__glOgMov(s, g.abs(g.segLeft), w.imm(0)));
    g.op(__glOgMov(s, g.abs(g.segEnd), w.imm(0)));
    // The row's scale: 2^E with the largest |S|, |T|, Q at either end (the row's first and last
    // pixels) in [2^22, 2^23), from the largest float's exponent.
    g.op(__glOgLea(s, eax, w.at(kEbx, -1)));
    g.op(__glOgMov(s, g.abs(g.segLength), eax));
    g.op(__glOgEmms(s));
    for (int i = 0; i < 3; ++i) {
        g.op(__glOgFild(s, g.abs(g.segLength)));
        g.op(__glOgFmul(s, g.field(kPlanes[i] + offsetof(GlSpanFloatIter, step))));
        g.op(__glOgFadd(s, g.field(kPlanes[i] + offsetof(GlSpanFloatIter, rowStart))));
        g.op(__glOgFstp(s, g.abs(g.planeEnds + 4 * i)));
    }
    g.op(__glOgXor(s, eax, eax));
    for (int i = 0; i < 6; ++i) {
        GlOgNode *smaller = __glOgShortLabel(s);
        g.op(__glOgMov(s, ecx, i < 3 ? g.field(kPlanes[i] + offsetof(GlSpanFloatIter, rowStart)) : g.abs(g.planeEnds + 4 * (i - 3))));
        g.op(__glOgAnd(s, ecx, w.imm(0x7FFFFFFF)));
        g.op(__glOgCmp(s, ecx, eax));
        g.op(__glOgJbe(s, smaller));
        g.op(__glOgMov(s, eax, ecx));
        w.place(smaller);
    }
    GlOgNode *large = __glOgShortLabel(s);
    g.op(__glOgShr(s, eax, w.imm(23)));
    g.op(__glOgCmp(s, eax, w.imm(21)));
    g.op(__glOgJae(s, large));
    g.op(__glOgMov(s, eax, w.imm(21)));
    w.place(large);
    // Largest < 2^(e - 126) (e its biased exponent): times 2^(148 - e) it is below 2^22 and at
    // least 2^21, so that no rounding of a segment end reaches 2^23.
    g.op(__glOgMov(s, ecx, w.imm(275)));
    g.op(__glOgSub(s, ecx, eax));
    g.op(__glOgShl(s, ecx, w.imm(23)));
    g.op(__glOgMov(s, g.abs(g.rowScale), ecx));
    // s and t at the row's first pixel: the first segment's start.
    emitPlanesAt(g, g.segEnd);
    emitSegmentEnd(g);
}

void __glOgEmitNextSegment(GlOgMmxSpanGen &g) {
    GlOgState *s = g.s();
    GlOgWriter &w = g.w;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx);
    GlOgNode *mm0 = g.mm(0), *mm1 = g.mm(1), *mm2 = g.mm(2), *mm3 = g.mm(3);
    GlOgNode *done = w.label(), *later = __glOgShortLabel(s), *whole = __glOgShortLabel(s);
    GlOgNode *placed = __glOgShortLabel(s);
    const int back = g.dir < 0 ? 1 : 0;
    g.op(__glOgMov(s, ecx, g.abs(g.segLeft)));
    g.op(__glOgMov(s, eax, w.r(kEbx)));
    g.op(__glOgSub(s, eax, ecx));
    g.op(__glOgJle(s, done));  // the row ends within the current segment
    // The length: 16, the row's first 16 to 19 by its first pixel's place in its aligned group,
    // never more than the pixels left; the segment that takes the rest of the row ends on its last
    // pixel, one step fewer.
    g.op(__glOgMov(s, edx, w.imm(16)));
    g.op(__glOgCmp(s, g.abs(g.segEnd), w.imm(0)));
    g.op(__glOgJne(s, later));
    g.op(__glOgMov(s, edx, g.field(SPAN(pixelRowStart))));
    g.op(__glOgShr(s, edx, w.imm(1)));
    g.op(__glOgAnd(s, edx, w.imm(3)));
    g.op(__glOgMov(s, edx, __glOgMem(s, w.imm(__glOgWord(kGlOgFirstSegment[back])), nullptr, edx, 4)));
    w.place(later);
    g.op(__glOgMov(s, g.abs(g.segBoundary), ecx));
    g.op(__glOgCmp(s, edx, eax));
    g.op(__glOgJl(s, whole));
    g.op(__glOgMov(s, edx, eax));
    g.op(__glOgAdd(s, g.abs(g.segLeft), edx));
    g.op(__glOgDec(s, edx));
    g.op(__glOgJmp(s, placed));
    w.place(whole);
    g.op(__glOgAdd(s, g.abs(g.segLeft), edx));
    w.place(placed);
    g.op(__glOgMov(s, g.abs(g.segLength), edx));
    g.op(__glOgAdd(s, g.abs(g.segEnd), edx));
    g.op(__glOgMovq(s, mm0, g.abs(g.segEnds)));
    g.op(__glOgMovq(s, g.abs(g.segStarts), mm0));
    emitPlanesAt(g, g.segEnd);
    emitSegmentEnd(g);
    // Per pixel: (end - start) x (0x8000 / n) >> 15, toward zero (0 for a last segment of one
    // pixel, whose end is its start).
    g.op(__glOgMovq(s, mm0, g.abs(g.segEnds)));
    g.op(__glOgPsubd(s, mm0, g.abs(g.segStarts)));
    g.op(__glOgMov(s, edx, g.abs(g.segLength)));
    g.op(__glOgMovd(s, mm1, __glOgMem(s, w.imm(__glOgWord(kGlOgSegmentReciprocal)), nullptr, edx, 4)));
    g.op(__glOgPunpckldq(s, mm1, mm1));
    __glOgEmitMulFixedHigh(g, mm0, mm1, mm2, mm3);
    g.op(__glOgMovq(s, g.abs(g.segSteps), mm0));
    // The new segment's lanes from its first pixel (walking position b of the group) on: start +
    // (m - b) step; the lanes before b keep the old segment's values.
    for (int c = 0; c < 2; ++c) {
        const int it = c == 0 ? GlOgMmxSpanGen::kS : GlOgMmxSpanGen::kT;
        uint8_t *step = g.segSteps + 4 * c;
        // Lane offsets m step and the group step 4 step (eax, ecx, edx).
        g.op(__glOgMov(s, eax, g.abs(step)));
        g.op(__glOgLea(s, ecx, __glOgMem(s, nullptr, eax, eax, 1)));
        g.op(__glOgLea(s, edx, __glOgMem(s, nullptr, eax, eax, 2)));
        GlOgNode *multiple[4] = {w.imm(0), eax, ecx, edx};
        for (int lane = 0; lane < 4; ++lane)
            g.op(__glOgMov(s, g.abs(g.laneOffset[it][lane / 2] + 4 * (lane % 2)), multiple[g.dir > 0 ? lane : 3 - lane]));
        g.op(__glOgShl(s, eax, w.imm(2)));
        g.op(__glOgMov(s, g.abs(g.laneStep[it]), eax));
        g.op(__glOgMov(s, g.abs(g.laneStep[it] + 4), eax));
        g.op(__glOgMov(s, eax, g.abs(step)));
        g.op(__glOgImul(s, eax, g.abs(g.segBoundary)));
        g.op(__glOgMov(s, ecx, g.abs(g.segStarts + 4 * c)));
        g.op(__glOgSub(s, ecx, eax));
        g.op(__glOgMov(s, eax, ecx));
        g.op(__glOgMov(s, ecx, g.abs(g.segBoundary)));
        g.op(__glOgShl(s, ecx, w.imm(4)));
        for (int h = 0; h < 2; ++h) {
            g.op(__glOgMovd(s, mm0, eax));
            g.op(__glOgPunpckldq(s, mm0, mm0));
            g.op(__glOgPaddd(s, mm0, g.abs(g.laneOffset[it][h])));
            g.op(__glOgMovq(s, g.abs(g.segLanes[c][h]), mm0));
            g.op(__glOgMovq(s, mm1, __glOgMem(s, w.imm(__glOgWord(&kKeep.m[back][0][2 * h])), nullptr, ecx, 1)));
            g.op(__glOgMovq(s, mm2, mm1));
            g.op(__glOgPand(s, mm1, g.abs(g.lanes[it][h])));
            g.op(__glOgPandn(s, mm2, mm0));
            g.op(__glOgPor(s, mm1, mm2));
            g.op(__glOgMovq(s, g.abs(g.lanes[it][h]), mm1));
        }
    }
    w.place(done);
}

}  // namespace icd
