// Vertex routine generator: the array range transform for states that read a float vertex array
// and nothing else (the colour or index, if needed, is the current one), with the fetch and the
// point transform of the composite matrix's type folded into one loop. It replaces
// __glTransformArrayPos, __glTransformArrayPosColor and __glTransformArrayPosIndex for those
// states; every other state keeps its C range transform. The vertex cache gets the same
// transform for records written already, in place of __glCullTransformVertexRange.
//
// The transform runs on the x87 at single precision (control word precision field 00), so each
// product and sum is rounded to a float as the C transform rounds it, in the same order; the
// control word is restored before the routine returns. The clip check is the context's own proc,
// called per vertex, so clip codes and window coordinates come from the same code as in C.
#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"
#include "icd/vertex/matrix.h"
#include "icd/vertex/transform_state.h"

namespace icd {
namespace {

constexpr uint32_t kVertexKeyTag = 0x56455254;  // "VERT"
constexpr uint32_t kVertexCacheVariant = 0x8000;

enum Kind { General, Affine3D, Affine2D, ScaleTranslate, Identity };

// What the records get besides the position: nothing, the current colour or the current index.
enum Extra { kNoExtra, kCurrentColor, kCurrentIndex };

struct XformId {
    int32_t inputs;  // components the transform reads: 2, 3 or 4
    Kind kind;
};

// Which of the fifteen point transforms a proc is.
bool identify(GlXformProc p, XformId *id) {
#define GL_XFORM_ROW(kind) \
    {__glXform2##kind, {2, kind}}, {__glXform3##kind, {3, kind}}, {__glXform4##kind, {4, kind}},
    static const struct {
        GlXformProc proc;
        XformId id;
    } table[] = {GL_XFORM_KINDS(GL_XFORM_ROW)};
#undef GL_XFORM_ROW
    for (const auto &row : table) {
        if (row.proc == p) {
            *id = row.id;
            return true;
        }
    }
    return false;
}

// The range transform to use when the state the routine was made for no longer holds.
void fallback(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    __glChooseRangeTransform(ctx)(ctx, firstRecord, firstElement, count);
}

// Offsets in the record.
constexpr int32_t kObj = 0, kClip = 32, kFlags = 48, kFrontColor = 128;
// Frame: four saved registers, then the return address and the arguments.
enum : int32_t { kStride = 0, kLocals = 4, kArgs = kLocals + 16 + 4 };

// out[row] of the C transform: products summed left to right, then the translation (times w
// for four inputs; w is exactly 1 for fewer, where the C code adds it unmultiplied).
void emitRow(GlOgWriter &w, const XformId &id, int row) {
    GlOgState *s = w.s;
    auto m = [&](int i) { return w.at(kEbx, 4 * i); };
    auto obj = [&](int i) { return w.at(kEdi, kObj + 4 * i); };
    auto term = [&](int mi, int oi, bool first) {
        w.op(__glOgFld(s, m(mi)));
        w.op(__glOgFmul(s, obj(oi)));
        if (!first) w.op(__glOgFaddp(s, __glOgSt(1)));
    };
    switch (id.kind) {
    case ScaleTranslate:
        term(5 * row, row, true);
        break;
    case Affine2D:
        if (row < 2) {
            term(row, 0, true);
            term(4 + row, 1, false);
        } else {
            term(10, 2, true);
        }
        break;
    default:  // General, Affine3D
        term(row, 0, true);
        term(4 + row, 1, false);
        if (id.inputs >= 3) term(8 + row, 2, false);
        break;
    }
    if (id.inputs == 4) {
        term(12 + row, 3, false);
    } else {
        w.op(__glOgFadd(s, m(12 + row)));
    }
    w.op(__glOgFstp(s, w.at(kEdi, kClip + 4 * row)));
}

// clip = the composite matrix times obj, for the record at edi and the matrix at ebx.
void emitTransform(GlOgWriter &w, const XformId &id) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    if (id.kind == Identity) {
        for (int i = 0; i < 4; ++i) {
            w.op(__glOgMov(s, eax, w.at(kEdi, kObj + 4 * i)));
            w.op(__glOgMov(s, w.at(kEdi, kClip + 4 * i), eax));
        }
    } else {
        const int rows = id.kind == General ? 4 : 3;
        for (int r = 0; r < rows; ++r) emitRow(w, id, r);
        if (id.kind != General) {
            // w passes through: the input's w, or 1 for fewer than four inputs.
            if (id.inputs == 4) {
                w.op(__glOgMov(s, eax, w.at(kEdi, kObj + 12)));
                w.op(__glOgMov(s, w.at(kEdi, kClip + 12), eax));
            } else {
                w.op(__glOgMov(s, w.at(kEdi, kClip + 12), w.imm(0x3F800000)));
            }
        }
    }
}

// Single precision for the transform: the caller's control word is kept in scratch[0..3] and
// comes back at the end.
void emitSinglePrecision(GlOgWriter &w, uint8_t *scratch) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    w.op(__glOgFnstcw(s, w.abs(scratch)));
    w.op(__glOgMov(s, eax, w.abs(scratch)));
    w.op(__glOgAnd(s, eax, w.imm(0xFCFF)));
    w.op(__glOgMov(s, w.abs(scratch + 4), eax));
    w.op(__glOgFldcw(s, w.abs(scratch + 4)));
}

// edi: the first record, ebp: the count, ebx: the composite matrix.
void emitRecordCountMatrix(GlContext *ctx, GlOgWriter &w) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    GlOgNode *edi = w.r(kEdi), *ebp = w.r(kEbp), *ebx = w.r(kEbx);
    w.op(__glOgMov(s, edi, w.at(kEsp, kArgs + 4)));
    w.op(__glOgImul(s, edi, w.imm(int32_t(sizeof(GlVertex)))));
    w.op(__glOgAdd(s, edi, w.abs(&a.cacheBase)));
    w.op(__glOgMov(s, ebp, w.at(kEsp, kArgs + 12)));
    w.op(__glOgMov(s, ebx, w.abs(&ctx->state.transform.modelView)));
    w.op(__glOgLea(s, ebx, w.at(kEbx, int32_t(offsetof(GlTransform, mvp) + offsetof(GlMatrix, m)))));
}

void emitVertexRoutine(GlContext *ctx, GlOgWriter &w, int32_t size, const XformId &id, GlXformProc xform,
                       Extra extra) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    GlClientArray &va = a.arrays[kGlArrayVertex];
    uint8_t *scratch = static_cast<uint8_t *>(ctx->codeCaches.scratch);
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *esi = w.r(kEsi), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    GlOgNode *toC = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&fallback), "C range transform");
    GlOgNode *begin = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&__glArrayBeginRange), "begin range");
    GlOgNode *nothing = w.label(), *loop = w.label(), *restore = w.label();

    // The state the routine was made for, checked before anything is written.
    w.op(__glOgCmp(s, w.abs(&a.arrayNeedIndex), w.imm(extra == kNoExtra ? 0 : 2)));
    w.op(__glOgJne(s, toC));
    if (extra != kNoExtra) {
        const int32_t k = extra == kCurrentColor ? kGlArrayColor : kGlArrayIndex;
        const void *fetch = extra == kCurrentColor ? reinterpret_cast<const void *>(&__glArrayCurrentColor)
                                                   : reinterpret_cast<const void *>(&__glArrayCurrentIndex);
        w.op(__glOgCmp(s, w.abs(&a.attrFetch[k]), w.imm(__glOgWord(fetch))));
        w.op(__glOgJne(s, toC));
    }
    w.op(__glOgCmp(s, w.abs(&va.type), w.imm(GL_FLOAT)));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.abs(&va.size), w.imm(size)));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.at(kEsp, 16), w.imm(0)));  // count
    w.op(__glOgJle(s, nothing));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, begin));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 4)));
    w.op(__glOgTest(s, w.r8(0), w.r8(0)));
    w.op(__glOgJe(s, nothing));
    w.op(__glOgCmp(s, w.abs(&a.rangeTransformPoint), w.imm(__glOgWord(reinterpret_cast<const void *>(xform)))));
    w.op(__glOgJne(s, toC));

    w.op(__glOgPush(s, ebp));
    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, esi));
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, w.abs(&va.stride)));  // kStride
    emitSinglePrecision(w, scratch);
    // esi: the first element.
    w.op(__glOgMov(s, esi, w.at(kEsp, kArgs + 8)));
    w.op(__glOgImul(s, esi, w.at(kEsp, kStride)));
    w.op(__glOgAdd(s, esi, w.abs(&va.pointer)));
    emitRecordCountMatrix(ctx, w);

    w.place(loop);
    for (int i = 0; i < size; ++i) {
        w.op(__glOgMov(s, eax, w.at(kEsi, 4 * i)));
        w.op(__glOgMov(s, w.at(kEdi, kObj + 4 * i), eax));
    }
    if (size < 3) w.op(__glOgMov(s, w.at(kEdi, kObj + 8), w.imm(0)));
    if (size < 4) w.op(__glOgMov(s, w.at(kEdi, kObj + 12), w.imm(0x3F800000)));
    w.op(__glOgMov(s, w.at(kEdi, kFlags), w.imm(int32_t(uint32_t(size - 1) << kGlVertexSizeShift))));
    if (extra == kCurrentColor) {
        for (int i = 0; i < 4; ++i) {
            w.op(__glOgMov(s, eax, w.abs(&ctx->current.vertex.scaledColor[i])));
            w.op(__glOgMov(s, w.at(kEdi, kFrontColor + 4 * i), eax));
        }
    } else if (extra == kCurrentIndex) {
        w.op(__glOgMov(s, eax, w.abs(&ctx->current.index)));
        w.op(__glOgMov(s, w.at(kEdi, kFrontColor), eax));
    }
    emitTransform(w, id);
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, w.abs(&a.rangeClipCheck)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 8)));
    w.op(__glOgOr(s, w.at(kEdi, kFlags), eax));
    w.op(__glOgAdd(s, esi, w.at(kEsp, kStride)));
    w.op(__glOgLea(s, edi, w.at(kEdi, int32_t(sizeof(GlVertex)))));
    w.op(__glOgDec(s, ebp));
    w.op(__glOgJne(s, loop));

    w.place(restore);
    w.op(__glOgFldcw(s, w.abs(scratch)));
    w.op(__glOgPop(s, eax));
    w.op(__glOgPop(s, edi));
    w.op(__glOgPop(s, esi));
    w.op(__glOgPop(s, ebx));
    w.op(__glOgPop(s, ebp));
    w.place(nothing);
    w.op(__glOgRet(s));
}

// The vertex cache's variant: the records hold their object coordinates already; each gets the
// size code, and the ones no clip bit marks are transformed and clip-checked, as
// __glCullTransformVertexRange does. Cull vertex, a stale modelview inverse or another point
// transform hand the range to that C routine.
void emitInPlaceRoutine(GlContext *ctx, GlOgWriter &w, const XformId &id, GlXformProc xform) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    uint8_t *scratch = static_cast<uint8_t *>(ctx->codeCaches.scratch);
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    GlOgNode *toC = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&__glCullTransformVertexRange),
                                       "C vertex cache transform");
    GlOgNode *nothing = w.label(), *loop = w.label(), *skip = w.label();

    w.op(__glOgTest(s, w.abs(&a.arrayFlags), w.imm(int32_t(kGlArrayCullVertex))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.abs(&a.rangeTransformPoint), w.imm(__glOgWord(reinterpret_cast<const void *>(xform)))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgMov(s, eax, w.abs(&ctx->state.transform.modelView)));
    w.op(__glOgMovzx8(s, eax, w.at(kEax, int32_t(offsetof(GlTransform, inverseStale)))));
    w.op(__glOgTest(s, eax, eax));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.at(kEsp, 16), w.imm(0)));  // count
    w.op(__glOgJle(s, nothing));

    w.op(__glOgPush(s, ebp));
    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, w.r(kEsi)));
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, eax));  // keeps the frame of the array variant
    emitSinglePrecision(w, scratch);
    emitRecordCountMatrix(ctx, w);

    w.place(loop);
    w.op(__glOgMov(s, eax, w.at(kEdi, kFlags)));
    w.op(__glOgOr(s, eax, w.abs(&a.sizeCode)));
    w.op(__glOgMov(s, w.at(kEdi, kFlags), eax));
    w.op(__glOgTest(s, eax, w.imm(int32_t(kGlVertexClipMask))));
    w.op(__glOgJne(s, skip));
    emitTransform(w, id);
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, w.abs(&a.rangeClipCheck)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 8)));
    w.op(__glOgOr(s, w.at(kEdi, kFlags), eax));
    w.place(skip);
    w.op(__glOgLea(s, edi, w.at(kEdi, int32_t(sizeof(GlVertex)))));
    w.op(__glOgDec(s, ebp));
    w.op(__glOgJne(s, loop));

    w.op(__glOgFldcw(s, w.abs(scratch)));
    w.op(__glOgPop(s, eax));
    w.op(__glOgPop(s, edi));
    w.op(__glOgPop(s, w.r(kEsi)));
    w.op(__glOgPop(s, ebx));
    w.op(__glOgPop(s, ebp));
    w.place(nothing);
    w.op(__glOgRet(s));
}

// The vertex cache's routine for the point transform in force (the vertex size only names the
// lazy stub that asked).
GlRangeTransformProc inPlaceRoutine(GlContext *ctx) {
    XformId id;
    GlXformProc xform = ctx->arrayState.rangeTransformPoint;
    if (!identify(xform, &id)) return nullptr;
    const uint32_t key[3] = {kVertexKeyTag, kVertexCacheVariant,
                             uint32_t(__glOgWord(reinterpret_cast<const void *>(xform)))};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheVertex, key, 3, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlRangeTransformProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheVertex, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(&__glCullTransformVertexRange);
    emitInPlaceRoutine(ctx, w, id, xform);
    return reinterpret_cast<GlRangeTransformProc>(__glOgFinishWrite(ctx, &w));
}

}  // namespace
}  // namespace icd

using namespace icd;

GlRangeTransformProc __glOgGenVertexProc(GlContext *ctx, int32_t vertexSize, uint32_t flags) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (!og || !ctx->codeCaches.scratch) return nullptr;
    GlArrayState &a = ctx->arrayState;
    if (flags & kVertexCacheVariant) return inPlaceRoutine(ctx);
    const GlClientArray &va = a.arrays[kGlArrayVertex];
    if (va.type != GL_FLOAT || va.size != vertexSize || vertexSize < 2 || vertexSize > 4) return nullptr;
    const GlRangeTransformProc member = __glChooseRangeTransform(ctx);
    Extra extra;
    if (member == __glTransformArrayPos && a.arrayNeedIndex == 0)
        extra = kNoExtra;
    else if (member == __glTransformArrayPosColor && a.attrFetch[kGlArrayColor] == __glArrayCurrentColor)
        extra = kCurrentColor;
    else if (member == __glTransformArrayPosIndex && a.attrFetch[kGlArrayIndex] == __glArrayCurrentIndex)
        extra = kCurrentIndex;
    else
        return nullptr;
    // The point transform the C member would use for this matrix and size.
    const GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return nullptr;
    const GlMatrix &mvp = top->mvp;
    GlXformProc xform = vertexSize == 2 ? mvp.xform2 : vertexSize == 3 ? mvp.xform3 : mvp.xform4;
    XformId id;
    if (!identify(xform, &id)) return nullptr;
    const uint32_t key[3] = {kVertexKeyTag, uint32_t(vertexSize) | uint32_t(extra) << 8,
                             uint32_t(__glOgWord(reinterpret_cast<const void *>(xform)))};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheVertex, key, 3, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlRangeTransformProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheVertex, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(member);
    emitVertexRoutine(ctx, w, vertexSize, id, xform, extra);
    return reinterpret_cast<GlRangeTransformProc>(__glOgFinishWrite(ctx, &w));
}
