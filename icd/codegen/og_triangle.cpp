// Triangle routine generator: the set-up of __glFillTriangleFast as straight-line code for one
// state. The routine snaps the three vertices to 1/16 pixel, sorts them, rejects a zero area,
// walks nothing itself: it fills the span record on its own stack with exactly the integers the C
// set-up computes (rows, the three edges of the carry walk, the address iterators) and the same
// attribute planes, takes the drawable lock and jumps into the generated span routine, which
// returns to the routine's caller through the context's spanReturn word.
//
// The edges are integer code (32-bit divisions of the walker's numerators, which stay below 2^25
// for coordinates below 2^16 pixels). The planes (colour, depth, fog, affine s and t, or s/w,
// t/w, 1/w and the level of detail) are x87 code run at 53-bit precision with rounding to
// nearest, operation for operation the double arithmetic of the C set-up, so both produce the
// same fixed-point and float words; the caller's control word is back before the lock proc, the
// span routine or a return. The vertices are read, never written. The arithmetic every edge,
// plane and iterator repeats is emitted once as subroutines of the routine, so that a routine
// with every plane fits its 4096-byte cache entry.
//
// A triangle the routine does not set up (a coordinate that is not a positive number below
// 65536, one outside the clip box, a missing buffer) goes to __glFillTriangleFast with the
// caller's arguments, before anything has changed.
#include "icd/codegen/og_triangle.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/raster/color_buffer.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/fast_span.h"
#include "icd/vertex/vertex.h"

namespace icd {
namespace {

constexpr uint32_t kTriangleKeyTag = 0x54524931;  // "TRI1"

// Control words: all exceptions masked, 53-bit precision, rounding to nearest / down / toward 0.
constexpr uint16_t kCwNearest = 0x027F, kCwDown = 0x067F, kCwTruncate = 0x0E7F;

std::atomic<int> g_triangleOverride{-1};

bool triangleProcEnabled() {
    const int forced = g_triangleOverride.load();
    if (forced >= 0) return forced != 0;
    static const bool enabled = [] {
        const char *v = std::getenv("__GL_OG_TRIANGLE");
        return v == nullptr || std::atoi(v) != 0;
    }();
    return enabled;
}

// What one routine is made for: everything it folds into its code.
struct TriangleState {
    GlShadeFlags flags;
    bool smooth, depth, stencil, fog, dither, texture;
    bool perspective;    // s/w, t/w, 1/w and the level of detail instead of affine s, t
    bool filtersDiffer;  // the texture's minification and magnification filters
    int32_t depthBytes, stencilBytes;
    int32_t shift[3];  // red, green, blue field positions of the flat pixel
    int32_t mode;      // low byte of the span routine's mode
};

// The states the routine sets up; the rest keep __glFillTriangleFast.
bool covered(GlContext *ctx, TriangleState *t) {
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const GlModeState &mode = ctx->state.mode;
    if (!(f & kGlShadeRgba) || cb == nullptr || cb->head.elementSize != 2) return false;
    if (f & kGlShadePolygonOffset) return false;
    const GlTextureObject *tex = ctx->state.span.fast.texture;
    if ((f & kGlShadeTexture) && tex == nullptr) return false;
    if ((f & kGlShadeFog) && mode.hints[4] == GL_NICEST) return false;
    if (mode.polygonMode[0] != GL_FILL || mode.polygonMode[1] != GL_FILL) return false;
    if (ctx->state.span.inputs.drawBothBuffers) return false;
    t->flags = f;
    t->smooth = f & kGlShadeSmooth;
    t->depth = f & kGlShadeDepthTest;
    t->stencil = f & kGlShadeStencilTest;
    t->fog = f & kGlShadeFog;
    t->dither = f & kGlShadeDither;
    t->texture = f & kGlShadeTexture;
    t->filtersDiffer = t->texture && tex->minFilter != tex->magFilter;
    t->perspective = t->texture && ((f & kGlShadePerspectiveTex) || t->filtersDiffer);
    t->depthBytes = t->depth ? ctx->buffers.depth.head.elementSize : 0;
    t->stencilBytes = t->stencil ? ctx->buffers.stencil.head.elementSize : 0;
    if ((t->depth && t->depthBytes != 2 && t->depthBytes != 4) || (t->stencil && t->stencilBytes != 1)) return false;
    t->shift[0] = cb->redShift;
    t->shift[1] = cb->greenShift;
    t->shift[2] = cb->blueShift;
    for (int32_t s : t->shift)
        if (s < 0 || s > 24) return false;
    return true;
}

// The routine's words in the context's scratch block, from kScratchBase past its first 8-byte
// boundary (below it the vertex and shading routines keep theirs; they never run while a
// triangle is set up). A vertex entry holds its snapped x and y in 1/16 pixel, the record and
// its integer x.
constexpr int32_t kScratchBase = 256;
enum : int32_t {
    kSavedCw = 0,
    kVertex0 = 8,  // three entries of kVertexBytes, in argument order
    kVertexBytes = 16,
    kVX = 0, kVY = 4, kVPtr = 8, kVXi = 12,
    kArgC = 56,     // the third argument (flat colour without a provoking vertex)
    kFirstX = 60,   // first pixel of the first row
    kTmp = 64,      // integer temporaries
    kWide = 72,     // 64-bit temporary
    kAx = 80, kAy = 88, kBx = 96, kBy = 104, kInv = 112,  // the C set-up's gradient terms
    kRx = 120, kRy = 128,                                 // first pixel's sample from the top vertex
    kWalk = 136,                                          // +1.0 or -1.0
    kEdgeStep0 = 144, kEdgeStep1 = 152,                   // (long edge step + carry) * walk
    kScale = 160,                                         // four colour scales (doubles)
    kV0 = 192, kDx = 200, kDy = 208,                      // the plane being written
    kNegMask = 232,                                          // 0: spans walk right, -1: left
    kEdgeX = 236, kEdgeStep = 240, kEdgeFrac = 248, kEdgeFracStep = 252,  // an edge's words
    kGrad = 256,                        // ds, dt, dq per x and per y (six doubles)
    kQPlus = 304, kQMinus = 312,        // q + dq and q - dq of one axis
    kLodSum = 320, kLodBest = 328,      // the axis's squared scale, the larger so far
    kWidth = 336, kHeight = 344,        // level 0's size (1 without a level)
    kLodValue = 352,                    // three doubles: the level of detail times q per vertex
    kLodFloat = 376,
    kScratchUsed = 384,
};

#define SPAN_AT(member) int32_t(offsetof(GlSpan, member))
// The address iterators share one layout: cur, row start, step, chunk step, row steps.
#define SAME_ADDRESS_LAYOUT(cur, step, chunk, rows)                                                   \
    static_assert(offsetof(GlSpan, step) == offsetof(GlSpan, cur) + 8 &&                             \
                  offsetof(GlSpan, chunk) == offsetof(GlSpan, cur) + 12 &&                           \
                  offsetof(GlSpan, rows) == offsetof(GlSpan, cur) + 16)
SAME_ADDRESS_LAYOUT(pixel, pixelStep, pixelChunkStep, pixelRowStep);
SAME_ADDRESS_LAYOUT(depthAddress, depthAddressStep, depthChunkStep, depthRowStep);
SAME_ADDRESS_LAYOUT(stencilAddress, stencilStep, stencilChunkStep, stencilRowStep);

struct TriangleEmitter {
    GlContext *ctx;
    GlOgWriter &w;
    const TriangleState &t;
    uint8_t *scratch;

    GlOgState *s() { return w.s; }
    GlOgNode *sc(int32_t off) { return w.abs(scratch + off); }
    GlOgNode *rec(int32_t off) { return w.at(kEsp, off); }
    GlOgNode *fconst(double v) { return __glOgFloatConst(s(), v); }
    GlOgNode *cw(uint16_t v) { return __glOgQwordConst(s(), v, 0, 0, 0); }
    void op(GlOgNode *n) { w.op(n); }

    // ---- x87 helpers (st0 the top) ----
    void fld64(int32_t off) { op(__glOgFld64(s(), sc(off))); }
    void fstp64(int32_t off) { op(__glOgFstp64(s(), sc(off))); }
    // Round st0 * 65536 to nearest into a record word (pops).
    void storeFixed16(int32_t recOff) {
        op(__glOgFmul(s(), fconst(65536.0)));
        op(__glOgFistp(s(), rec(recOff)));
    }

    // ---- entry checks ----
    // A window coordinate the C set-up accepts: a positive number below 65536 (its bits, less 1,
    // below those of 65536 as unsigned; NaN and negatives fail).
    void checkCoordinate(int reg, int32_t off, GlOgNode *toC) {
        op(__glOgMov(s(), w.r(kEax), w.at(reg, off)));
        op(__glOgDec(s(), w.r(kEax)));
        op(__glOgCmp(s(), w.r(kEax), w.imm(0x477FFFFF)));
        op(__glOgJae(s(), toC));
    }
    // The snapped coordinate inside [lo, hi] of the clip box in pixels: x16 in [lo * 16, hi * 16 + 16).
    void checkInBox(int32_t off, const int32_t *lo, const int32_t *hi, GlOgNode *out) {
        op(__glOgMov(s(), w.r(kEax), w.abs(lo)));
        op(__glOgShl(s(), w.r(kEax), w.imm(4)));
        op(__glOgMov(s(), w.r(kEcx), w.abs(hi)));
        op(__glOgInc(s(), w.r(kEcx)));
        op(__glOgShl(s(), w.r(kEcx), w.imm(4)));
        for (int i = 0; i < 3; ++i) {
            op(__glOgMov(s(), w.r(kEdx), sc(kVertex0 + i * kVertexBytes + off)));
            op(__glOgCmp(s(), w.r(kEdx), w.r(kEax)));
            op(__glOgJl(s(), out));
            op(__glOgCmp(s(), w.r(kEdx), w.r(kEcx)));
            op(__glOgJge(s(), out));
        }
    }

    // ---- edges ----
    // eax = ceil(edx * 2^31 / ecx) for 0 <= edx < ecx < 2^25.
    void fraction() {
        GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx), *exact = w.label();
        op(__glOgMov(s(), eax, edx));
        op(__glOgShl(s(), eax, w.imm(31)));
        op(__glOgShr(s(), edx, w.imm(1)));
        op(__glOgIdiv(s(), w.r(kEcx)));
        op(__glOgTest(s(), edx, edx));
        op(__glOgJe(s(), exact));
        op(__glOgInc(s(), eax));
        w.place(exact);
    }
    // eax = floor(eax / ecx), edx = the remainder in [0, ecx), for ecx > 0.
    void floorDivide() {
        GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx), *ecx = w.r(kEcx), *done = w.label();
        op(__glOgMov(s(), edx, eax));
        op(__glOgSar(s(), edx, w.imm(31)));
        op(__glOgIdiv(s(), ecx));
        op(__glOgTest(s(), edx, edx));
        op(__glOgJns(s(), done));
        op(__glOgDec(s(), eax));
        op(__glOgAdd(s(), edx, ecx));
        w.place(done);
    }
    // The edge from the vertex entry in esi to the one in edi, on the rows from the upper
    // vertex's row down, into the scratch block's edge words (x, step pair, fraction, fraction
    // step); negated under the direction mask for spans walking right to left. A subroutine
    // shared by the three edges; uses eax, ecx, edx, ebp.
    GlOgNode *edgeSub = nullptr;
    void emitEdgeSub() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx), *ebp = w.r(kEbp);
        GlOgNode *mask = sc(kNegMask);
        w.place(edgeSub);
        // h in ecx, dx in ebp.
        op(__glOgMov(s(), ecx, w.at(kEdi, kVY)));
        op(__glOgSub(s(), ecx, w.at(kEsi, kVY)));
        op(__glOgMov(s(), ebp, w.at(kEdi, kVX)));
        op(__glOgSub(s(), ebp, w.at(kEsi, kVX)));
        // The walker's numerator less its whole pixels: (x16 & 15) h + (16 - (y16 & 15)) dx.
        op(__glOgMov(s(), eax, w.at(kEsi, kVX)));
        op(__glOgAnd(s(), eax, w.imm(15)));
        op(__glOgImul(s(), eax, ecx));
        op(__glOgMov(s(), edx, w.at(kEsi, kVY)));
        op(__glOgAnd(s(), edx, w.imm(15)));
        op(__glOgSub(s(), edx, w.imm(16)));
        op(__glOgImul(s(), edx, ebp));
        op(__glOgSub(s(), eax, edx));
        op(__glOgShl(s(), ecx, w.imm(4)));  // den = 16 h
        floorDivide();
        op(__glOgAdd(s(), eax, w.at(kEsi, kVXi)));
        // Under the mask: 1 - x, den - 1 - r and -dx, the same walker on the mirrored numerator.
        op(__glOgXor(s(), eax, mask));
        op(__glOgSub(s(), eax, mask));
        op(__glOgSub(s(), eax, mask));
        op(__glOgXor(s(), edx, mask));
        op(__glOgPush(s(), ecx));
        op(__glOgAnd(s(), ecx, mask));
        op(__glOgAdd(s(), edx, ecx));
        op(__glOgPop(s(), ecx));
        op(__glOgXor(s(), ebp, mask));
        op(__glOgSub(s(), ebp, mask));
        op(__glOgMov(s(), sc(kEdgeX), eax));
        fraction();
        op(__glOgMov(s(), sc(kEdgeFrac), eax));
        // Steps: floor(dx / h) and its remainder, scaled to the denominator.
        op(__glOgShr(s(), ecx, w.imm(4)));
        op(__glOgMov(s(), eax, ebp));
        floorDivide();
        op(__glOgMov(s(), sc(kEdgeStep), eax));
        op(__glOgInc(s(), eax));
        op(__glOgMov(s(), sc(kEdgeStep + 4), eax));
        op(__glOgShl(s(), ecx, w.imm(4)));
        op(__glOgShl(s(), edx, w.imm(4)));
        fraction();
        op(__glOgMov(s(), sc(kEdgeFracStep), eax));
        op(__glOgRet(s()));
    }
    // One edge into the record's fields (the entries in registers `upper` and `lower`).
    void edge(int upper, int lower, int32_t xOff, int32_t stepOff, int32_t fracOff, int32_t fracStepOff) {
        op(__glOgPush(s(), w.r(kEsi)));
        op(__glOgPush(s(), w.r(kEdi)));
        if (upper != kEsi) op(__glOgMov(s(), w.r(kEsi), w.r(upper)));
        if (lower != kEdi) op(__glOgMov(s(), w.r(kEdi), w.r(lower)));
        op(__glOgCall(s(), edgeSub));
        op(__glOgPop(s(), w.r(kEdi)));
        op(__glOgPop(s(), w.r(kEsi)));
        const int32_t words[5][2] = {{kEdgeX, xOff}, {kEdgeStep, stepOff}, {kEdgeStep + 4, stepOff + 4},
                                     {kEdgeFrac, fracOff}, {kEdgeFracStep, fracStepOff}};
        for (const auto &word : words) {
            op(__glOgMov(s(), w.r(kEax), sc(word[0])));
            op(__glOgMov(s(), rec(word[1]), w.r(kEax)));
        }
    }
    // An edge with no rows: what the C set-up leaves in it.
    void noEdge(int32_t xOff, int32_t stepOff, int32_t fracOff, int32_t fracStepOff) {
        GlOgNode *eax = w.r(kEax);
        op(__glOgXor(s(), eax, eax));
        op(__glOgMov(s(), rec(xOff), eax));
        op(__glOgMov(s(), rec(stepOff), eax));
        op(__glOgMov(s(), rec(fracOff), eax));
        op(__glOgMov(s(), rec(fracStepOff), eax));
        op(__glOgInc(s(), eax));
        op(__glOgMov(s(), rec(stepOff + 4), eax));
    }
    // The three edges; esi, edi, ebx hold the top, middle and bottom entries, the scratch block
    // the direction mask (0 left to right, -1 right to left).
    void edges() {
        GlOgNode *eax = w.r(kEax), *noUpper = w.label(), *upperDone = w.label(), *noLower = w.label(),
                 *lowerDone = w.label();
        GlOgNode *mask = sc(kNegMask);
        edge(kEsi, kEbx, SPAN_AT(startEdgeX), SPAN_AT(startEdgeStep), SPAN_AT(startEdgeFrac),
             SPAN_AT(startEdgeFracStep));
        op(__glOgMov(s(), eax, rec(SPAN_AT(yStart))));
        op(__glOgCmp(s(), eax, rec(SPAN_AT(yMiddle))));
        op(__glOgJge(s(), noUpper));
        edge(kEsi, kEdi, SPAN_AT(otherEdgeX), SPAN_AT(otherEdgeStep), SPAN_AT(otherEdgeFrac),
             SPAN_AT(otherEdgeFracStep));
        op(__glOgJmp(s(), upperDone));
        w.place(noUpper);
        noEdge(SPAN_AT(otherEdgeX), SPAN_AT(otherEdgeStep), SPAN_AT(otherEdgeFrac), SPAN_AT(otherEdgeFracStep));
        w.place(upperDone);
        op(__glOgMov(s(), eax, rec(SPAN_AT(yMiddle))));
        op(__glOgCmp(s(), eax, rec(SPAN_AT(yEnd))));
        op(__glOgJge(s(), noLower));
        edge(kEdi, kEbx, SPAN_AT(lowerEdgeX), SPAN_AT(lowerEdgeStep), SPAN_AT(lowerEdgeFrac),
             SPAN_AT(lowerEdgeFracStep));
        op(__glOgJmp(s(), lowerDone));
        w.place(noLower);
        noEdge(SPAN_AT(lowerEdgeX), SPAN_AT(lowerEdgeStep), SPAN_AT(lowerEdgeFrac), SPAN_AT(lowerEdgeFracStep));
        w.place(lowerDone);
        // The first pixel of the first row (-x of the mirrored walker), the walk (1 + 2 mask) and
        // the dither table of the direction.
        op(__glOgMov(s(), eax, rec(SPAN_AT(startEdgeX))));
        op(__glOgXor(s(), eax, mask));
        op(__glOgSub(s(), eax, mask));
        op(__glOgMov(s(), sc(kFirstX), eax));
        op(__glOgMov(s(), eax, mask));
        op(__glOgAdd(s(), eax, eax));
        op(__glOgInc(s(), eax));
        op(__glOgMov(s(), rec(SPAN_AT(xStep)), eax));
        op(__glOgFild(s(), rec(SPAN_AT(xStep))));
        fstp64(kWalk);
        const uint32_t *plain = __glFastDitherTable[0].data(), *mirrored = __glFastDitherTableMirrored[0].data();
        op(__glOgMov(s(), eax, mask));
        op(__glOgAnd(s(), eax, w.imm(__glOgDistance(__glOgWord(mirrored), __glOgWord(plain)))));
        op(__glOgAdd(s(), eax, w.imm(__glOgWord(plain))));
        op(__glOgMov(s(), rec(SPAN_AT(ditherTableBase)), eax));
        op(__glOgMov(s(), rec(SPAN_AT(ditherPointer)), eax));
    }

    // ---- planes ----
    // Pushes a vertex value of the top (esi), middle (edi) or bottom (ebx) record.
    enum class Source { Z, Fog, Color, Texture, OverW };
    void loadValue(int reg, Source src, int comp) {
        switch (src) {
        case Source::Z: op(__glOgFld(s(), w.at(reg, int32_t(offsetof(GlVertex, window)) + 8))); break;
        case Source::Fog:
            op(__glOgFld(s(), w.at(reg, int32_t(offsetof(GlVertex, fog)))));
            op(__glOgFmul(s(), fconst(255.0)));
            break;
        case Source::Texture: {
            // The coordinate over q (q = 0 counting as 1), as doubles: tc * (1 / q).
            GlOgNode *eax = w.r(kEax), *nonZero = w.label(), *loaded = w.label();
            const int32_t tc = int32_t(offsetof(GlVertex, texCoord));
            op(__glOgMov(s(), eax, w.at(reg, tc + 12)));
            op(__glOgTest(s(), eax, w.imm(0x7FFFFFFF)));
            op(__glOgJne(s(), nonZero));
            op(__glOgFld(s(), fconst(1.0)));
            op(__glOgJmp(s(), loaded));
            w.place(nonZero);
            op(__glOgFld(s(), w.at(reg, tc + 12)));
            w.place(loaded);
            op(__glOgFld(s(), fconst(1.0)));
            op(__glOgFdiv(s(), __glOgSt(1)));
            op(__glOgFstp(s(), __glOgSt(1)));
            op(__glOgFld(s(), w.at(reg, tc + 4 * comp)));
            op(__glOgFmulp(s(), __glOgSt(1)));
            break;
        }
        case Source::OverW:
            op(__glOgFld(s(), w.at(reg, int32_t(offsetof(GlVertex, texCoord)) + 4 * comp)));
            op(__glOgFmul(s(), w.at(reg, int32_t(offsetof(GlVertex, invW)))));
            break;
        case Source::Color:
            op(__glOgMov(s(), w.r(kEax), w.at(reg, int32_t(offsetof(GlVertex, color)))));
            op(__glOgFld(s(), w.at(kEax, 4 * comp)));
            fld64(kScale + 8 * comp);
            op(__glOgFmulp(s(), __glOgSt(1)));
            break;
        }
    }
    // The plane through the three values: v0, dx, dy into the scratch block, as the C set-up's
    // Gradients::plane computes them (the arithmetic is one subroutine shared by every plane).
    GlOgNode *planeSub = nullptr, *fixedSub = nullptr;
    void plane(Source src, int comp) {
        loadValue(kEsi, src, comp);
        loadValue(kEdi, src, comp);
        loadValue(kEbx, src, comp);  // vb, vm, vt
        op(__glOgCall(s(), planeSub));
    }
    void emitPlaneSub() {
        w.place(planeSub);
        op(__glOgFsub(s(), __glOgSt(2)));          // db = vb - vt, vm, vt
        op(__glOgFxch(s(), __glOgSt(1)));
        op(__glOgFsub(s(), __glOgSt(2)));          // dm = vm - vt, db, vt
        op(__glOgFxch(s(), __glOgSt(1)));          // db, dm, vt
        fld64(kBy);
        op(__glOgFmul(s(), __glOgSt(2)));          // dm by
        fld64(kAy);
        op(__glOgFmul(s(), __glOgSt(2)));          // db ay, dm by, db, dm, vt
        op(__glOgFsubp(s(), __glOgSt(1)));         // dm by - db ay
        fld64(kInv);
        op(__glOgFmulp(s(), __glOgSt(1)));         // dx, db, dm, vt
        fstp64(kDx);                               // db, dm, vt
        fld64(kAx);
        op(__glOgFmul(s(), __glOgSt(1)));          // db ax, db, dm, vt
        fld64(kBx);
        op(__glOgFmul(s(), __glOgSt(3)));          // dm bx, db ax, db, dm, vt
        op(__glOgFsubp(s(), __glOgSt(1)));         // db ax - dm bx, db, dm, vt
        fld64(kInv);
        op(__glOgFmulp(s(), __glOgSt(1)));
        fstp64(kDy);                               // db, dm, vt
        op(__glOgFstp(s(), __glOgSt(0)));
        op(__glOgFstp(s(), __glOgSt(0)));
        fstp64(kV0);
        op(__glOgRet(s()));
    }
    // Pushes the plane's value at the first pixel: v0 + rx dx + ry dy.
    void valueAtFirst() {
        fld64(kRx);
        fld64(kDx);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgFadd64(s(), sc(kV0)));
        fld64(kRy);
        fld64(kDy);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgFaddp(s(), __glOgSt(1)));
    }
    // Pushes dx along the walk, or the row step dy + (edge step + carry) walk dx.
    void alongWalk() {
        fld64(kWalk);
        fld64(kDx);
        op(__glOgFmulp(s(), __glOgSt(1)));
    }
    void rowStep(int carry) {
        fld64(carry ? kEdgeStep1 : kEdgeStep0);
        fld64(kDx);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgFadd64(s(), sc(kDy)));
    }
    // A 16.16 iterator from the plane in the scratch block, written by the subroutine through
    // edx (the iterator's address in the record): the first value with the bias, the step, its
    // chunk multiple and the two row steps.
    void fixedIterator(int32_t it, double bias) {
        op(__glOgFld(s(), fconst(bias)));
        op(__glOgLea(s(), w.r(kEdx), rec(it)));
        op(__glOgCall(s(), fixedSub));
    }
    void emitFixedSub() {
        GlOgNode *eax = w.r(kEax);
        auto word = [&](size_t off) { return w.at(kEdx, int32_t(off)); };
        w.place(fixedSub);
        valueAtFirst();
        op(__glOgFaddp(s(), __glOgSt(1)));
        op(__glOgFmul(s(), fconst(65536.0)));
        op(__glOgFistp(s(), word(offsetof(GlSpanIter, rowStart))));
        alongWalk();
        op(__glOgFmul(s(), fconst(65536.0)));
        op(__glOgFistp(s(), word(offsetof(GlSpanIter, step))));
        for (int c = 0; c < 2; ++c) {
            rowStep(c);
            op(__glOgFmul(s(), fconst(65536.0)));
            op(__glOgFistp(s(), word(offsetof(GlSpanIter, rowStep) + 4 * size_t(c))));
        }
        op(__glOgMov(s(), eax, word(offsetof(GlSpanIter, rowStart))));
        op(__glOgMov(s(), word(offsetof(GlSpanIter, cur)), eax));
        op(__glOgMov(s(), eax, word(offsetof(GlSpanIter, step))));
        op(__glOgShl(s(), eax, w.imm(5)));
        op(__glOgMov(s(), word(offsetof(GlSpanIter, chunkStep)), eax));
        op(__glOgRet(s()));
    }
    void chunkAndCurrent(int32_t it) {
        GlOgNode *eax = w.r(kEax);
        op(__glOgMov(s(), eax, rec(it + int32_t(offsetof(GlSpanIter, rowStart)))));
        op(__glOgMov(s(), rec(it + int32_t(offsetof(GlSpanIter, cur))), eax));
        op(__glOgMov(s(), eax, rec(it + int32_t(offsetof(GlSpanIter, step)))));
        op(__glOgShl(s(), eax, w.imm(5)));
        op(__glOgMov(s(), rec(it + int32_t(offsetof(GlSpanIter, chunkStep))), eax));
    }
    // The depth iterator: the first value clamped to [0, 2^32 - 1] and truncated, the pixel step
    // truncated, the row steps rounded half up and wrapped to 32 bits.
    void depthIterator() {
        const int32_t it = SPAN_AT(z);
        GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx), *low = w.label(), *done = w.label();
        // The values are computed rounding to nearest; only the conversions truncate or round down.
        valueAtFirst();
        op(__glOgFldcw(s(), cw(kCwTruncate)));
        op(__glOgFistp64(s(), sc(kWide)));
        op(__glOgMov(s(), eax, sc(kWide)));
        op(__glOgMov(s(), edx, sc(kWide + 4)));
        op(__glOgTest(s(), edx, edx));
        op(__glOgJl(s(), low));
        op(__glOgJe(s(), done));
        op(__glOgMov(s(), eax, w.imm(-1)));
        op(__glOgJmp(s(), done));
        w.place(low);
        op(__glOgXor(s(), eax, eax));
        w.place(done);
        op(__glOgMov(s(), rec(it + int32_t(offsetof(GlSpanIter, rowStart))), eax));
        alongWalk();
        op(__glOgFistp(s(), rec(it + int32_t(offsetof(GlSpanIter, step)))));
        for (int c = 0; c < 2; ++c) {
            op(__glOgFldcw(s(), cw(kCwNearest)));
            rowStep(c);
            op(__glOgFadd(s(), fconst(0.5)));
            op(__glOgFldcw(s(), cw(kCwDown)));
            op(__glOgFistp64(s(), sc(kWide)));
            op(__glOgMov(s(), eax, sc(kWide)));
            op(__glOgMov(s(), rec(it + int32_t(offsetof(GlSpanIter, rowStep)) + 4 * c), eax));
        }
        op(__glOgFldcw(s(), cw(kCwNearest)));
        chunkAndCurrent(it);
    }
    // ---- perspective texture ----
    // A float iterator from the plane in the scratch block, through edx: the first value, the
    // step, its 32 (and 16) multiples, the row steps (and the y gradient), each rounded to a float.
    GlOgNode *floatSub = nullptr, *lodFloatSub = nullptr, *lodSub = nullptr;
    void emitFloatSub(GlOgNode *entry, bool halfStep) {
        auto word = [&](size_t off) { return w.at(kEdx, int32_t(off)); };
        const size_t rowSteps = halfStep ? offsetof(GlSpanFloatIter, rowStep) : offsetof(GlSpanFloatIter, halfStep);
        w.place(entry);
        valueAtFirst();
        op(__glOgFst(s(), word(offsetof(GlSpanFloatIter, cur))));
        op(__glOgFstp(s(), word(offsetof(GlSpanFloatIter, rowStart))));
        alongWalk();
        op(__glOgFst(s(), word(offsetof(GlSpanFloatIter, step))));
        if (halfStep) {
            op(__glOgFld(s(), __glOgSt(0)));
            op(__glOgFmul(s(), fconst(16.0)));
            op(__glOgFstp(s(), word(offsetof(GlSpanFloatIter, halfStep))));
        }
        op(__glOgFmul(s(), fconst(32.0)));
        op(__glOgFstp(s(), word(offsetof(GlSpanFloatIter, chunkStep))));
        for (int c = 0; c < 2; ++c) {
            rowStep(c);
            op(__glOgFstp(s(), word(rowSteps + 4 * size_t(c))));
        }
        if (halfStep) {
            fld64(kDy);
            op(__glOgFstp(s(), word(offsetof(GlSpanFloatIter, dy))));
        }
        op(__glOgRet(s()));
    }
    // The level of detail at the vertex in ecx times its q, left on the x87 stack (uses eax, edx
    // and ebp): the larger over the two axes of the squared change of (s, t) / q across one
    // pixel each way, in level-0 texels, as a float, over four (an axis where q +- dq is 0 does
    // not count; nor a NaN).
    void emitLodSub() {
        GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx), *ebp = w.r(kEbp);
        const int32_t tc = int32_t(offsetof(GlVertex, texCoord)), invW = int32_t(offsetof(GlVertex, invW));
        // The axis's gradient of a coordinate: ebp is 0 for x, 8 for y.
        auto grad = [&](int32_t off) { return __glOgMem(s(), w.imm(__glOgWord(scratch + off)), ebp, nullptr, 1); };
        auto overW = [&](int comp) {
            op(__glOgFld(s(), w.at(kEcx, tc + 4 * comp)));
            op(__glOgFmul(s(), w.at(kEcx, invW)));
        };
        // Pushes ((c + d) / q+ - (c - d) / q-) * size squared for coordinate comp.
        auto change = [&](int comp, int32_t gradOff, int32_t size) {
            overW(comp);                                // c
            op(__glOgFld(s(), __glOgSt(0)));
            op(__glOgFadd64(s(), grad(gradOff)));       // c + d, c
            fld64(kQPlus);
            op(__glOgFdivr(s(), __glOgSt(1)));          // (c + d) / q+
            op(__glOgFstp(s(), __glOgSt(1)));           // a, c
            op(__glOgFld(s(), __glOgSt(1)));
            op(__glOgFld64(s(), grad(gradOff)));
            op(__glOgFsubp(s(), __glOgSt(1)));          // c - d, a, c
            fld64(kQMinus);
            op(__glOgFdivr(s(), __glOgSt(1)));
            op(__glOgFstp(s(), __glOgSt(1)));           // b, a, c
            op(__glOgFsubp(s(), __glOgSt(1)));          // a - b, c
            fld64(size);
            op(__glOgFmulp(s(), __glOgSt(1)));
            op(__glOgFstp(s(), __glOgSt(1)));           // u
            op(__glOgFld(s(), __glOgSt(0)));
            op(__glOgFmulp(s(), __glOgSt(1)));          // u u
        };
        auto isZero = [&](int32_t off, GlOgNode *target) {
            op(__glOgMov(s(), eax, sc(off + 4)));
            op(__glOgAnd(s(), eax, w.imm(0x7FFFFFFF)));
            op(__glOgOr(s(), eax, sc(off)));
            op(__glOgJe(s(), target));
        };
        GlOgNode *axis = w.label(), *skip = w.label(), *take = w.label(), *finite = w.label();
        w.place(lodSub);
        op(__glOgXor(s(), eax, eax));
        op(__glOgMov(s(), sc(kLodBest), eax));
        op(__glOgMov(s(), sc(kLodBest + 4), eax));
        op(__glOgXor(s(), ebp, ebp));
        w.place(axis);
        overW(3);
        op(__glOgFld(s(), __glOgSt(0)));
        op(__glOgFadd64(s(), grad(kGrad + 32)));
        fstp64(kQPlus);
        op(__glOgFld64(s(), grad(kGrad + 32)));
        op(__glOgFsubp(s(), __glOgSt(1)));
        fstp64(kQMinus);
        isZero(kQPlus, skip);
        isZero(kQMinus, skip);
        change(0, kGrad, kWidth);
        change(1, kGrad + 16, kHeight);
        op(__glOgFaddp(s(), __glOgSt(1)));
        fstp64(kLodSum);
        // The larger, comparing the non-negative doubles as integers; a NaN never wins.
        op(__glOgMov(s(), eax, sc(kLodSum + 4)));
        op(__glOgCmp(s(), eax, w.imm(0x7FF00000)));
        op(__glOgJa(s(), skip));  // a NaN, or a set sign bit
        op(__glOgJb(s(), finite));
        op(__glOgCmp(s(), sc(kLodSum), w.imm(0)));
        op(__glOgJne(s(), skip));
        w.place(finite);
        op(__glOgCmp(s(), eax, sc(kLodBest + 4)));
        op(__glOgJb(s(), skip));
        op(__glOgJa(s(), take));
        op(__glOgMov(s(), edx, sc(kLodSum)));
        op(__glOgCmp(s(), edx, sc(kLodBest)));
        op(__glOgJbe(s(), skip));
        w.place(take);
        op(__glOgMov(s(), sc(kLodBest + 4), eax));
        op(__glOgMov(s(), eax, sc(kLodSum)));
        op(__glOgMov(s(), sc(kLodBest), eax));
        w.place(skip);
        op(__glOgAdd(s(), ebp, w.imm(8)));
        op(__glOgCmp(s(), ebp, w.imm(16)));
        op(__glOgJl(s(), axis));
        fld64(kLodBest);
        op(__glOgFmul(s(), fconst(0.25)));
        op(__glOgFstp(s(), sc(kLodFloat)));
        op(__glOgFld(s(), sc(kLodFloat)));
        overW(3);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgRet(s()));
    }
    // s/w, t/w and 1/w as float planes, then the level-of-detail plane (level 0's size read at
    // run time, as the texture may be given a new image without a new routine).
    void perspectiveTexture() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *noLevel = w.label(), *sized = w.label();
        const int32_t its[3] = {SPAN_AT(sw), SPAN_AT(tw), SPAN_AT(qw)};
        const int comps[3] = {0, 1, 3};
        for (int i = 0; i < 3; ++i) {
            plane(Source::OverW, comps[i]);
            op(__glOgLea(s(), w.r(kEdx), rec(its[i])));
            op(__glOgCall(s(), floatSub));
            fld64(kDx);
            fstp64(kGrad + 16 * i);
            fld64(kDy);
            fstp64(kGrad + 16 * i + 8);
        }
        op(__glOgMov(s(), eax, w.abs(&ctx->state.span.fast.texture)));
        op(__glOgMov(s(), eax, w.at(kEax, int32_t(offsetof(GlTextureObject, levels)))));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJe(s(), noLevel));
        op(__glOgMov(s(), eax, w.at(kEax)));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJe(s(), noLevel));
        op(__glOgFild(s(), w.at(kEax, int32_t(offsetof(GlMipLevel, innerWidth)))));
        fstp64(kWidth);
        op(__glOgFild(s(), w.at(kEax, int32_t(offsetof(GlMipLevel, innerHeight)))));
        fstp64(kHeight);
        op(__glOgJmp(s(), sized));
        w.place(noLevel);
        op(__glOgFld(s(), fconst(1.0)));
        op(__glOgFld(s(), __glOgSt(0)));
        fstp64(kWidth);
        fstp64(kHeight);
        w.place(sized);
        int i = 0;
        for (int reg : {kEsi, kEdi, kEbx}) {
            op(__glOgMov(s(), ecx, w.r(reg)));
            op(__glOgCall(s(), lodSub));
            fstp64(kLodValue + 8 * i++);
        }
        for (int j = 0; j < 3; ++j) fld64(kLodValue + 8 * j);
        op(__glOgCall(s(), planeSub));
        op(__glOgLea(s(), w.r(kEdx), rec(SPAN_AT(lod))));
        op(__glOgCall(s(), lodFloatSub));
        // The texture routines' per-triangle 1/(q/w) of an affine mapping is not formed yet.
        op(__glOgXor(s(), eax, eax));
        op(__glOgMov(s(), rec(SPAN_AT(affineR)), eax));
    }

    // The colour scales of the draw buffer: buffer units over the context's scale (alpha 0-255).
    void colorScales() {
        GlOgNode *eax = w.r(kEax);
        const GlColorScales &cs = ctx->scales;
        op(__glOgMov(s(), eax, w.abs(&ctx->buffers.color.drawColorBuffer)));
        const int32_t bufferScale[3] = {int32_t(offsetof(GlColorBuffer, redScale)),
                                        int32_t(offsetof(GlColorBuffer, greenScale)),
                                        int32_t(offsetof(GlColorBuffer, blueScale))};
        const float *contextScale[4] = {&cs.redScale, &cs.greenScale, &cs.blueScale, &cs.alphaScale};
        for (int i = 0; i < 4; ++i) {
            if (i < 3) op(__glOgFld(s(), w.at(kEax, bufferScale[i])));
            else op(__glOgFld(s(), fconst(255.0)));
            op(__glOgFdiv(s(), w.abs(contextScale[i])));
            fstp64(kScale + 8 * i);
        }
    }
    // Flat shading: the provoking colour (the third argument's without a provoking vertex) in
    // the four iterators with zero steps, and the packed pixel in red's row start.
    void flatColor() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx), *have = w.label();
        const int32_t its[4] = {SPAN_AT(red), SPAN_AT(green), SPAN_AT(blue), SPAN_AT(alpha)};
        op(__glOgMov(s(), eax, w.abs(&ctx->arrays.vertexBuffer.provokingVertex)));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJne(s(), have));
        op(__glOgMov(s(), eax, sc(kArgC)));
        w.place(have);
        op(__glOgMov(s(), eax, w.at(kEax, int32_t(offsetof(GlVertex, color)))));
        op(__glOgXor(s(), edx, edx));
        const double bias = t.dither ? 1.0 / 32.0 : 0.5;
        for (int i = 0; i < 4; ++i) {
            const int32_t it = its[i];
            for (int32_t word : {int32_t(offsetof(GlSpanIter, step)), int32_t(offsetof(GlSpanIter, chunkStep)),
                                 int32_t(offsetof(GlSpanIter, rowStep)), int32_t(offsetof(GlSpanIter, rowStep)) + 4})
                op(__glOgMov(s(), rec(it + word), w.imm(0)));
            op(__glOgFld(s(), w.at(kEax, 4 * i)));
            fld64(kScale + 8 * i);
            op(__glOgFmulp(s(), __glOgSt(1)));
            if (i < 3) op(__glOgFld(s(), __glOgSt(0)));
            op(__glOgFadd(s(), fconst(i == 3 ? 0.5 : bias)));
            storeFixed16(it + int32_t(offsetof(GlSpanIter, cur)));
            op(__glOgMov(s(), ecx, rec(it + int32_t(offsetof(GlSpanIter, cur)))));
            op(__glOgMov(s(), rec(it + int32_t(offsetof(GlSpanIter, rowStart))), ecx));
            if (i == 3) break;
            // The field without dither, rounded.
            op(__glOgFadd(s(), fconst(0.5)));
            op(__glOgFmul(s(), fconst(65536.0)));
            op(__glOgFistp(s(), sc(kTmp)));
            op(__glOgMov(s(), ecx, sc(kTmp)));
            w.shiftBy(ecx, 16, 0);
            w.shiftBy(ecx, 0, t.shift[i]);
            op(__glOgOr(s(), edx, ecx));
        }
        op(__glOgMov(s(), rec(SPAN_AT(red) + int32_t(offsetof(GlSpanIter, rowStart))), edx));
    }

    // ---- addresses ----
    // A buffer's address iterator (cur, row start, step, chunk step, two row steps, in that
    // order in the record), by the subroutine: ebp the buffer head, ecx its element size, edx the
    // iterator. The first pixel of the first row, the element step along the walk, per chunk and
    // per row (the long edge's step plus the carry).
    GlOgNode *addressSub = nullptr;
    void addressIterator(int32_t bytes, int32_t iterator) {
        op(__glOgMov(s(), w.r(kEcx), w.imm(bytes)));
        op(__glOgLea(s(), w.r(kEdx), rec(iterator)));
        op(__glOgCall(s(), addressSub));
    }
    void emitAddressSub() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *ebx = w.r(kEbx);
        // The record lies above the return address.
        auto field = [&](int32_t off) { return w.at(kEsp, off + 4); };
        w.place(addressSub);
        op(__glOgMov(s(), eax, field(SPAN_AT(yStart))));
        op(__glOgSub(s(), eax, w.abs(&ctx->limits.biasY)));
        op(__glOgImul(s(), eax, w.at(kEbp, int32_t(offsetof(GlBuffer, pitch)))));
        op(__glOgAdd(s(), eax, sc(kFirstX)));
        op(__glOgSub(s(), eax, w.abs(&ctx->limits.biasX)));
        op(__glOgImul(s(), eax, ecx));
        op(__glOgAdd(s(), eax, w.at(kEbp, int32_t(offsetof(GlBuffer, base)))));
        op(__glOgMov(s(), w.at(kEdx, 0), eax));
        op(__glOgMov(s(), w.at(kEdx, 4), eax));
        // ebx: the step along the walk; ecx: the pitch in bytes.
        op(__glOgMov(s(), ebx, field(SPAN_AT(xStep))));
        op(__glOgImul(s(), ebx, ecx));
        op(__glOgMov(s(), w.at(kEdx, 8), ebx));
        op(__glOgMov(s(), eax, ebx));
        op(__glOgShl(s(), eax, w.imm(5)));
        op(__glOgMov(s(), w.at(kEdx, 12), eax));
        op(__glOgImul(s(), ecx, w.at(kEbp, int32_t(offsetof(GlBuffer, pitch)))));
        for (int c = 0; c < 2; ++c) {
            op(__glOgMov(s(), eax, field(SPAN_AT(startEdgeStep) + 4 * c)));
            op(__glOgImul(s(), eax, ebx));
            op(__glOgAdd(s(), eax, ecx));
            op(__glOgMov(s(), w.at(kEdx, 16 + 4 * c), eax));
        }
        op(__glOgRet(s()));
    }

    void routine() {
        GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx), *edx = w.r(kEdx), *ebx = w.r(kEbx), *esi = w.r(kEsi),
                 *edi = w.r(kEdi), *ebp = w.r(kEbp), *esp = w.r(kEsp);
        GlOgContext *og = __glOgContextOf(ctx);
        GlBufferArea &buffers = ctx->buffers;
        GlTransformState &xf = ctx->state.transform;
        GlOgNode *toC = w.label(), *toCRestore = w.label(), *inner = w.label(), *reject = w.label();
        planeSub = w.label();
        fixedSub = w.label();
        edgeSub = w.label();
        addressSub = w.label();
        floatSub = w.label();
        lodFloatSub = w.label();
        lodSub = w.label();
        GlOgNode *fill = __glOgOutsideLabel(s(), reinterpret_cast<const void *>(&__glFillTriangleFast),
                                            "__glFillTriangleFast");

        // Outer part: keep the callee-saved registers, check what the routine can set up.
        op(__glOgPush(s(), ebp));
        op(__glOgPush(s(), ebx));
        op(__glOgPush(s(), esi));
        op(__glOgPush(s(), edi));
        op(__glOgMov(s(), esi, w.at(kEsp, 24)));
        op(__glOgMov(s(), edi, w.at(kEsp, 28)));
        op(__glOgMov(s(), ebx, w.at(kEsp, 32)));
        for (int reg : {kEsi, kEdi, kEbx})
            for (int c = 0; c < 2; ++c) checkCoordinate(reg, int32_t(offsetof(GlVertex, window)) + 4 * c, toC);
        op(__glOgMov(s(), eax, w.abs(&buffers.color.drawColorBuffer)));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJe(s(), toC));
        op(__glOgCmp(s(), w.at(kEax, int32_t(offsetof(GlBuffer, base))), w.imm(0)));
        op(__glOgJe(s(), toC));
        if (t.depth) {
            op(__glOgCmp(s(), w.abs(&buffers.depth.head.base), w.imm(0)));
            op(__glOgJe(s(), toC));
        }
        if (t.stencil) {
            op(__glOgCmp(s(), w.abs(&buffers.stencil.head.base), w.imm(0)));
            op(__glOgJe(s(), toC));
        }
        if (t.texture) {
            // The texture the planes are for, its filters still as the routine was made for.
            op(__glOgMov(s(), eax, w.abs(&ctx->state.span.fast.texture)));
            op(__glOgTest(s(), eax, eax));
            op(__glOgJe(s(), toC));
            if (!(t.flags & kGlShadePerspectiveTex)) {
                op(__glOgMov(s(), ecx, w.at(kEax, int32_t(offsetof(GlTextureObject, minFilter)))));
                op(__glOgCmp(s(), ecx, w.at(kEax, int32_t(offsetof(GlTextureObject, magFilter)))));
                op(t.filtersDiffer ? __glOgJe(s(), toC) : __glOgJne(s(), toC));
            }
        }
        // Snap: x and y to the nearest 1/16 pixel, as the C set-up rounds.
        op(__glOgFnstcw(s(), sc(kSavedCw)));
        op(__glOgFldcw(s(), cw(kCwNearest)));
        int i = 0;
        for (int reg : {kEsi, kEdi, kEbx}) {
            const int32_t v = kVertex0 + i++ * kVertexBytes;
            for (int c = 0; c < 2; ++c) {
                op(__glOgFld(s(), w.at(reg, int32_t(offsetof(GlVertex, window)) + 4 * c)));
                op(__glOgFmul(s(), fconst(16.0)));
                op(__glOgFistp(s(), sc(v + (c ? kVY : kVX))));
            }
            op(__glOgMov(s(), sc(v + kVPtr), w.r(reg)));
            op(__glOgMov(s(), eax, sc(v + kVX)));
            op(__glOgSar(s(), eax, w.imm(4)));
            op(__glOgMov(s(), sc(v + kVXi), eax));
        }
        op(__glOgMov(s(), sc(kArgC), ebx));
        op(__glOgFldcw(s(), cw(kCwNearest)));
        // Inside the clip box, no row or pixel is clipped.
        checkInBox(kVX, &xf.clipBoxX0, &xf.clipBoxX1, toCRestore);
        checkInBox(kVY, &xf.clipBoxY0, &xf.clipBoxY1, toCRestore);
        op(__glOgMov(s(), w.abs(&og->savedStack), esp));
        op(__glOgSub(s(), esp, w.imm(int32_t(sizeof(GlSpan)))));
        op(__glOgAnd(s(), esp, w.imm(-8)));
        op(__glOgCall(s(), inner));
        // Back from the span routine or the reject exit, eax the result.
        op(__glOgMov(s(), esp, w.abs(&og->savedStack)));
        op(__glOgPop(s(), edi));
        op(__glOgPop(s(), esi));
        op(__glOgPop(s(), ebx));
        op(__glOgPop(s(), ebp));
        op(__glOgRet(s()));
        w.place(toCRestore);
        op(__glOgFldcw(s(), sc(kSavedCw)));
        w.place(toC);
        op(__glOgPop(s(), edi));
        op(__glOgPop(s(), esi));
        op(__glOgPop(s(), ebx));
        op(__glOgPop(s(), ebp));
        op(__glOgJmp(s(), fill));

        // Inner part: esp at the 8-aligned record; every exit jumps through spanReturn.
        w.place(inner);
        op(__glOgPop(s(), w.abs(&og->spanReturn)));
        // Sort the entries by y (strict comparisons: ties keep the argument order).
        op(__glOgMov(s(), esi, w.imm(__glOgWord(scratch + kVertex0))));
        op(__glOgMov(s(), edi, w.imm(__glOgWord(scratch + kVertex0 + kVertexBytes))));
        op(__glOgMov(s(), ebx, w.imm(__glOgWord(scratch + kVertex0 + 2 * kVertexBytes))));
        auto sortPair = [&](GlOgNode *upper, int upperReg, GlOgNode *lower, int lowerReg) {
            GlOgNode *keep = w.label();
            op(__glOgMov(s(), eax, w.at(lowerReg, kVY)));
            op(__glOgCmp(s(), eax, w.at(upperReg, kVY)));
            op(__glOgJge(s(), keep));
            op(__glOgMov(s(), eax, upper));
            op(__glOgMov(s(), upper, lower));
            op(__glOgMov(s(), lower, eax));
            w.place(keep);
        };
        sortPair(esi, kEsi, edi, kEdi);
        sortPair(edi, kEdi, ebx, kEbx);
        sortPair(esi, kEsi, edi, kEdi);
        // Area = (my - by)(tx - bx) - (mx - bx)(ty - by), exact, in 1/256 pixel.
        auto difference = [&](int reg1, int32_t off, int reg2, int32_t dst) {
            op(__glOgMov(s(), eax, w.at(reg1, off)));
            op(__glOgSub(s(), eax, w.at(reg2, off)));
            op(__glOgMov(s(), sc(dst), eax));
            op(__glOgFild(s(), sc(dst)));
        };
        difference(kEdi, kVY, kEbx, kTmp);
        difference(kEsi, kVX, kEbx, kTmp);
        op(__glOgFmulp(s(), __glOgSt(1)));
        difference(kEdi, kVX, kEbx, kTmp);
        difference(kEsi, kVY, kEbx, kTmp);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgFsubp(s(), __glOgSt(1)));
        op(__glOgFld(s(), __glOgSt(0)));
        op(__glOgFistp64(s(), sc(kWide)));
        op(__glOgFmul(s(), fconst(1.0 / 256.0)));
        op(__glOgFstp(s(), rec(SPAN_AT(signedArea))));
        op(__glOgMov(s(), eax, sc(kWide)));
        op(__glOgOr(s(), eax, sc(kWide + 4)));
        op(__glOgJe(s(), reject));
        // Rows: the upper half [yStart, yMiddle), the lower [yMiddle, yEnd); none, nothing drawn.
        op(__glOgMov(s(), eax, w.at(kEsi, kVY)));
        op(__glOgSar(s(), eax, w.imm(4)));
        op(__glOgMov(s(), rec(SPAN_AT(yStart)), eax));
        op(__glOgMov(s(), rec(SPAN_AT(y)), eax));
        op(__glOgMov(s(), ecx, w.at(kEdi, kVY)));
        op(__glOgSar(s(), ecx, w.imm(4)));
        op(__glOgMov(s(), rec(SPAN_AT(yMiddle)), ecx));
        op(__glOgMov(s(), edx, w.at(kEbx, kVY)));
        op(__glOgSar(s(), edx, w.imm(4)));
        op(__glOgMov(s(), rec(SPAN_AT(yEnd)), edx));
        op(__glOgCmp(s(), eax, edx));
        op(__glOgJge(s(), reject));
        // Edges: the long edge on the left for a positive area.
        op(__glOgMov(s(), eax, sc(kWide + 4)));
        op(__glOgSar(s(), eax, w.imm(31)));
        op(__glOgMov(s(), sc(kNegMask), eax));
        edges();

        // Gradient terms and the first pixel's sample, relative to the top vertex, from the window
        // coordinates as given (only the edges take the snapped ones), as the C set-up takes them.
        auto windowOf = [&](int reg, int32_t c) {
            op(__glOgMov(s(), eax, w.at(reg, kVPtr)));
            return w.at(kEax, int32_t(offsetof(GlVertex, window)) + 4 * c);
        };
        auto gradientTerm = [&](int reg, int32_t c, int32_t dst) {
            op(__glOgFld(s(), windowOf(reg, c)));
            op(__glOgFsub(s(), windowOf(kEsi, c)));
            fstp64(dst);
        };
        gradientTerm(kEdi, 0, kAx);
        gradientTerm(kEdi, 1, kAy);
        gradientTerm(kEbx, 0, kBx);
        gradientTerm(kEbx, 1, kBy);
        // inv = 1 / (ax by - bx ay)
        fld64(kAx);
        fld64(kBy);
        op(__glOgFmulp(s(), __glOgSt(1)));
        fld64(kBx);
        fld64(kAy);
        op(__glOgFmulp(s(), __glOgSt(1)));
        op(__glOgFsubp(s(), __glOgSt(1)));
        op(__glOgFld(s(), fconst(1.0)));
        op(__glOgFdiv(s(), __glOgSt(1)));
        fstp64(kInv);
        op(__glOgFstp(s(), __glOgSt(0)));
        // rx = firstX + 1 - top x, ry = yStart + 1 - top y.
        auto sample = [&](GlOgNode *first, int32_t c, int32_t dst) {
            op(__glOgMov(s(), eax, first));
            op(__glOgInc(s(), eax));
            op(__glOgMov(s(), sc(kTmp), eax));
            op(__glOgFild(s(), sc(kTmp)));
            op(__glOgFsub(s(), windowOf(kEsi, c)));
            fstp64(dst);
        };
        sample(sc(kFirstX), 0, kRx);
        sample(rec(SPAN_AT(yStart)), 1, kRy);
        for (int c = 0; c < 2; ++c) {
            op(__glOgFild(s(), rec(SPAN_AT(startEdgeStep) + 4 * c)));
            fld64(kWalk);
            op(__glOgFmulp(s(), __glOgSt(1)));
            fstp64(c ? kEdgeStep1 : kEdgeStep0);
        }

        // Planes, from the vertex records.
        for (int reg : {kEsi, kEdi, kEbx}) op(__glOgMov(s(), w.r(reg), w.at(reg, kVPtr)));
        colorScales();
        if (t.smooth) {
            const int32_t its[4] = {SPAN_AT(red), SPAN_AT(green), SPAN_AT(blue), SPAN_AT(alpha)};
            for (int c = 0; c < 4; ++c) {
                plane(Source::Color, c);
                fixedIterator(its[c], c == 3 || !t.dither ? 0.5 : 1.0 / 32.0);
            }
        } else {
            flatColor();
        }
        if (t.depth) {
            plane(Source::Z, 0);
            depthIterator();
        }
        if (t.fog) {
            plane(Source::Fog, 0);
            fixedIterator(SPAN_AT(fog), 0.0);
        }
        if (t.texture && !t.perspective) {
            plane(Source::Texture, 0);
            fixedIterator(SPAN_AT(s), 0.0);
            plane(Source::Texture, 1);
            fixedIterator(SPAN_AT(t), 0.0);
        } else if (t.texture) {
            perspectiveTexture();
        }
        op(__glOgFldcw(s(), sc(kSavedCw)));

        // The lock: a refused one draws nothing.
        GlOgNode *take = w.label();
        op(__glOgCmp(s(), w.abs(&buffers.lockCount), w.imm(0)));
        op(__glOgJne(s(), take));
        op(__glOgMov(s(), eax, w.abs(&buffers.drawableLock)));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJe(s(), take));
        op(__glOgPush(s(), w.imm(__glOgWord(ctx))));
        op(__glOgCall(s(), eax));
        op(__glOgAdd(s(), esp, w.imm(4)));
        op(__glOgTest(s(), eax, eax));
        op(__glOgJe(s(), reject));
        w.place(take);
        op(__glOgInc(s(), w.abs(&buffers.lockCount)));

        // Address iterators, read inside the lock.
        op(__glOgMov(s(), ebp, w.abs(&buffers.color.drawColorBuffer)));
        addressIterator(2, SPAN_AT(pixel));
        if (t.depth) {
            op(__glOgMov(s(), ebp, w.imm(__glOgWord(&buffers.depth.head))));
            addressIterator(t.depthBytes, SPAN_AT(depthAddress));
        } else {
            op(__glOgMov(s(), rec(SPAN_AT(depthAddress)), w.imm(0)));
            op(__glOgMov(s(), rec(SPAN_AT(depthRowStart)), w.imm(0)));
        }
        if (t.stencil) {
            op(__glOgMov(s(), ebp, w.imm(__glOgWord(&buffers.stencil.head))));
            addressIterator(t.stencilBytes, SPAN_AT(stencilAddress));
        } else {
            op(__glOgMov(s(), rec(SPAN_AT(stencilAddress)), w.imm(0)));
            op(__glOgMov(s(), rec(SPAN_AT(stencilRowStart)), w.imm(0)));
        }
        op(__glOgMov(s(), rec(SPAN_AT(frontPixel)), w.imm(0)));
        op(__glOgMov(s(), rec(SPAN_AT(frontRowStart)), w.imm(0)));
        op(__glOgMov(s(), rec(SPAN_AT(depthOffset)), w.imm(0)));
        op(__glOgMov(s(), rec(SPAN_AT(context)), w.imm(__glOgWord(ctx))));
        op(__glOgJmpRm(s(), w.abs(&ctx->state.span.fast.spanRoutine)));

        // Nothing to draw: result 0 through the continuation.
        w.place(reject);
        op(__glOgFldcw(s(), sc(kSavedCw)));
        op(__glOgXor(s(), eax, eax));
        op(__glOgJmpRm(s(), w.abs(&og->spanReturn)));
        emitPlaneSub();
        emitFixedSub();
        emitEdgeSub();
        emitAddressSub();
        if (t.perspective) {
            emitFloatSub(floatSub, true);
            emitFloatSub(lodFloatSub, false);
            emitLodSub();
        }
    }
};

}  // namespace
}  // namespace icd

using namespace icd;

GlPickTriangleProc __glOgGenTriangleProc(GlContext *ctx, int32_t mode) {
    GlOgContext *og = __glOgContextOf(ctx);
    TriangleState t{};
    if (og == nullptr || ctx->codeCaches.scratch == nullptr ||
        ctx->codeCaches.scratchSize < kScratchBase + kScratchUsed + 8 ||
        !covered(ctx, &t))
        return nullptr;
    t.mode = mode & 0xFF;
    // Key B: the mode and the set-up's choices, with the span routine's record layout folded in.
    const uint32_t flagsB = (t.mode != 0 ? 0x01u : 0u) | (t.depth ? 0x08u : 0u) | (t.filtersDiffer ? 0x20u : 0u);
    const uint32_t signature = og->currentMap != nullptr ? og->currentMap->signature : 0;
    const uint32_t key[5] = {kTriangleKeyTag, t.flags, flagsB ^ (signature << 6),
                             uint32_t(t.shift[0]) | uint32_t(t.shift[1]) << 8 | uint32_t(t.shift[2]) << 16,
                             uint32_t(t.depthBytes) | uint32_t(t.stencilBytes) << 8};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheTriangle, key, 5, &hit);
    if (e == nullptr) return nullptr;
    if (hit) return reinterpret_cast<GlPickTriangleProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheTriangle, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(&__glFillTriangleFast);
    uint8_t *scratch =
        reinterpret_cast<uint8_t *>((uintptr_t(ctx->codeCaches.scratch) + 7) & ~uintptr_t(7)) + kScratchBase;
    TriangleEmitter{ctx, w, t, scratch}.routine();
    return reinterpret_cast<GlPickTriangleProc>(__glOgFinishWrite(ctx, &w));
}

bool __glOgInstallTriangleProc(GlContext *ctx) {
    if (!triangleProcEnabled() || __glOgContextOf(ctx) == nullptr) return false;
    if (ctx->state.pick.rasterTriangleProc != __glFillTriangleFast) return false;
    const GlFastProc span = ctx->state.span.fast.spanRoutine;
    if (span == nullptr || !__glOgIsGenerated(ctx, reinterpret_cast<const void *>(span))) return false;
    GlPickTriangleProc proc = __glOgGenTriangleProc(ctx, 1);
    if (proc == nullptr) return false;
    ctx->state.pick.rasterTriangleProc = proc;
    return true;
}

void __glOgSetTriangleProcForTest(int enabled) { g_triangleOverride.store(enabled); }
