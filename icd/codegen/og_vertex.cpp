// Vertex routine generator: the array range transform, with the fetch of every attribute the
// state needs and the point transform of the composite matrix's type folded into one loop. It
// serves vertex arrays of GL_SHORT, GL_INT, GL_FLOAT and GL_DOUBLE; normal arrays of every type or
// the current normal; in RGBA mode colour arrays of every type (three and four components) or the
// current colour, in colour-index mode the current index; and texture-coordinate arrays of one to
// four components of the vertex types, or the current texture coordinates. Each attribute lands
// in the record exactly as the C fetch proc for its array stores it, so the routine replaces the
// generic and fast members of the range-transform table for those states; every other state
// keeps its C range transform. With GL_CULL_VERTEX_EXT the routine makes the C transform's cull
// test and gives a culled record what the member gives it: its flags and, from a generic member,
// its position and normal. The vertex cache gets the same transform for records written already,
// in place of __glCullTransformVertexRange.
//
// Lit RGBA states whose lights are all infinite (one-sided, no colour material, no vertex
// culling, the normal from a normal array, the current normal or, in the vertex cache, the
// record) also get the normal transformed, normalised and lit inside the loop, exactly as the
// completion procs and __glLightVertexRgbaInfinite would do it later, and the records are marked
// so that nothing is computed twice. Colour-index states of the same kind whose materials have no
// index shift or offset get their index lit likewise, as __glLightVertexIndexInfiniteFast lights
// it (array mode only). Their texture coordinates are fetched as above; the completion still
// passes them through the texture matrix and texgen, after the normal as ever. The light list,
// the materials and the specular table are read through the context when the routine runs, so no
// value of the lighting state is baked into the code. Other lit states get the normal fetched
// into the record and leave the lighting to the completion.
//
// The transform runs on the x87 at single precision (control word precision field 00), so each
// product and sum is rounded to a float as the C transform rounds it, in the same order; the
// control word is restored before the routine returns. The clip check is the context's own proc,
// called per vertex, so clip codes and window coordinates come from the same code as in C.
//
// Array pointers, strides, the cull position and the cull words are read when the routine runs;
// the fetch procs the state picked and the cull flags enter the key and are checked on entry, so
// an array of another type or size, or another cull mode, runs the C transform.
#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"
#include "icd/vertex/light.h"
#include "icd/vertex/matrix.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/vertex_cache.h"

namespace icd {
namespace {

constexpr uint32_t kVertexKeyTag = 0x56455254;  // "VERT"
constexpr uint32_t kVertexCacheVariant = 0x8000;

enum Kind { General, Affine3D, Affine2D, ScaleTranslate, Identity };

// What a fetch proc of the array layer reads: array, components and type, from the fetch list.
struct FetchRow {
    GlArrayFetchProc proc;
    int32_t array;
    int32_t size;
    GLenum type;
};

bool fetchRowOf(GlArrayFetchProc p, FetchRow *out) {
#define GL_FETCH_ROW(A, N, L, T, E) {__glFetchArray##A##N##L, kGlArray##A, N, E},
    static const FetchRow rows[] = {GL_ARRAY_FETCH_LIST(GL_FETCH_ROW)};
#undef GL_FETCH_ROW
    for (const FetchRow &row : rows) {
        if (row.proc == p) {
            *out = row;
            return true;
        }
    }
    return false;
}

// Where the records' normal, colour (or index) and texture coordinates come from.
enum NormalSource : uint32_t { kNoNormal, kCurrentNormal, kNormalArray };
enum ColorSource : uint32_t { kNoColor, kCurrentColor, kCurrentIndex, kColorArray };
enum TexSource : uint32_t { kNoTex, kCurrentTex, kTexArray };

// The fetches a routine makes: the fetch procs the state picked, as the routine reads them.
struct FetchPlan {
    int32_t need = 0;  // arrayNeedIndex
    FetchRow vertex{};
    NormalSource normal = kNoNormal;
    FetchRow normalArray{};  // the proc is also that of the current normal
    ColorSource color = kNoColor;
    FetchRow colorArray{};  // likewise
    TexSource tex = kNoTex;
    FetchRow texArray{};  // likewise
    // GL_CULL_VERTEX_EXT: the array flags kGlArrayCullVertex and kGlArrayCullPoint as planned, and
    // whether the member is a fast one, which writes nothing but the flags of a culled record.
    uint32_t cull = 0;
    bool fastMember = false;
    uint32_t bits() const { return normal << 10 | color << 4 | tex << 8 | cull << 24 | uint32_t(fastMember) << 30; }
};

// Where the normal comes from: the current normal or an array of any type.
bool planNormal(GlContext *ctx, FetchPlan *plan) {
    const GlArrayFetchProc f = ctx->arrayState.attrFetch[kGlArrayNormal];
    plan->normalArray.proc = f;
    if (f == __glArrayCurrentNormal) {
        plan->normal = kCurrentNormal;
        return true;
    }
    FetchRow row;
    if (!fetchRowOf(f, &row) || row.array != kGlArrayNormal) return false;
    plan->normal = kNormalArray;
    plan->normalArray = row;
    return true;
}

// The colour or index and texture-coordinate fetches the state needs, or false when one of them
// is not served: colour arrays of every type, texture-coordinate arrays of every type, and the
// current attributes.
bool planFetches(GlContext *ctx, FetchPlan *plan) {
    const GlArrayState &a = ctx->arrayState;
    if (plan->need & 2) {
        const bool rgba = ctx->visual.rgbaMode != 0;
        const GlArrayFetchProc f = a.attrFetch[rgba ? kGlArrayColor : kGlArrayIndex];
        plan->colorArray.proc = f;
        if (!rgba) {
            if (f != __glArrayCurrentIndex) return false;
            plan->color = kCurrentIndex;
        } else if (f == __glArrayCurrentColor) {
            plan->color = kCurrentColor;
        } else {
            FetchRow row;
            if (!fetchRowOf(f, &row) || row.array != kGlArrayColor) return false;
            plan->color = kColorArray;
            plan->colorArray = row;
        }
    }
    if (plan->need & 4) {
        const GlArrayFetchProc f = a.attrFetch[kGlArrayTexCoord];
        plan->texArray.proc = f;
        if (f == __glArrayCurrentTexCoord) {
            plan->tex = kCurrentTex;
        } else {
            FetchRow row;
            if (!fetchRowOf(f, &row) || row.array != kGlArrayTexCoord) return false;
            plan->tex = kTexArray;
            plan->texArray = row;
        }
    }
    return true;
}

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
constexpr int32_t kObj = 0, kNormal = 16, kClip = 32, kFlags = 48, kFrontColor = 128;
// Frame: the running pointers of the normal and texture-coordinate arrays, four saved
// registers, then the return address and the arguments.
enum : int32_t { kNormalPtr = 0, kTexPtr = 4, kLocals = 8, kArgs = kLocals + 16 + 4 };
// Scratch block: the caller's control word, the single-precision one, its truncating twin and the
// extended-precision one, then the lighting temporaries (clear of the span routines' slots).
enum : int32_t { kCwSaved = 0, kCwSingle = 4, kCwTruncate = 8, kCwExtended = 12, kTemps = 64 };
enum Temp {
    tNDotL, tNDotH, tFactor, tIndex, tK, tLen2, tR, tE, tD, tQ, tS, tRecip, tInt, tUnit, tRound,
    tDiffuseSum, tSpecularSum, tLitIndex
};

// The routine flags of a lit state (array mode and vertex-cache mode alike).
enum : uint32_t { kLitRoutine = 0x1000, kLitNormalize = 0x2000, kLitCurrentNormal = 0x4000, kLitIndex = 0x100000 };
constexpr uint32_t kLitDone = kGlVertexNormalDone | kGlVertexFrontColorDone;

// What a lit routine does besides the transform.
struct LitPlan {
    bool on = false;
    bool normalize = false;
    bool currentNormal = false;  // array mode: the current normal, no normal array
    bool index = false;          // colour-index lighting (__glLightVertexIndexInfiniteFast)
    GlFaceColorProc faceColor = nullptr;  // the C lighting the routine stands in for
    XformId normalXform{};       // the inverse-transpose's three-input transform
    GlXformProc itXform = nullptr;
    uint32_t bits() const {
        return on ? kLitRoutine | (normalize ? kLitNormalize : 0u) | (currentNormal ? kLitCurrentNormal : 0u) |
                        (index ? kLitIndex : 0u)
                  : 0u;
    }
};

// out[row] of the C transform onto the x87 stack: products summed left to right, then the
// translation (times w for four inputs; w is exactly 1 for fewer, where the C code adds it
// unmultiplied). m(i) is the matrix element i, obj(i) the input component i.
template <class M, class In>
void emitRowValue(GlOgWriter &w, const XformId &id, int row, M m, In obj) {
    GlOgState *s = w.s;
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
}

// clip[row] of the record at edi from its object coordinates and the matrix at ebx.
void emitRow(GlOgWriter &w, const XformId &id, int row) {
    emitRowValue(w, id, row, [&](int i) { return w.at(kEbx, 4 * i); }, [&](int i) { return w.at(kEdi, kObj + 4 * i); });
    w.op(__glOgFstp(w.s, w.at(kEdi, kClip + 4 * row)));
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

// Single precision for the transform: the caller's control word is kept in the scratch block and
// comes back at the end. The truncating twin (rounding field 11) forms the specular table index;
// the extended one (the caller's rounding) serves the colour and normal passes.
void emitSinglePrecision(GlOgWriter &w, uint8_t *scratch) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    w.op(__glOgFnstcw(s, w.abs(scratch + kCwSaved)));
    w.op(__glOgMov(s, eax, w.abs(scratch + kCwSaved)));
    w.op(__glOgAnd(s, eax, w.imm(0xFCFF)));
    w.op(__glOgMov(s, w.abs(scratch + kCwSingle), eax));
    w.op(__glOgOr(s, eax, w.imm(0x0300)));
    w.op(__glOgMov(s, w.abs(scratch + kCwExtended), eax));
    w.op(__glOgAnd(s, eax, w.imm(0xFCFF)));
    w.op(__glOgOr(s, eax, w.imm(0x0C00)));
    w.op(__glOgMov(s, w.abs(scratch + kCwTruncate), eax));
    w.op(__glOgFldcw(s, w.abs(scratch + kCwSingle)));
}

// Whether the routine lights the vertices: lit, every light infinite (the state the C completion
// lights with __glLightVertexRgbaInfinite, or in colour-index mode and array mode with
// __glLightVertexIndexInfiniteFast), one-sided, no colour material, no vertex culling, a normal
// matrix of an affine type, and the normal from an array of any type, the current normal or, in
// the vertex cache, the record.
bool planLighting(GlContext *ctx, bool vertexCache, LitPlan *plan) {
    const uint32_t e = ctx->state.enable.enables;
    if (!(e & kGlEnableLighting) || (e & kGlEnableColorMaterial)) return false;
    // RGBA, or colour index without an index shift or offset (array mode only).
    const GlFaceColorProc faceColor = ctx->slots.primitive.faceColor;
    if (ctx->visual.rgbaMode ? faceColor != __glLightVertexRgbaInfinite
                             : vertexCache || faceColor != __glLightVertexIndexInfiniteFast)
        return false;
    if (ctx->state.lighting.lightModel.twoSide) return false;
    const GlArrayState &a = ctx->arrayState;
    if (a.arrayFlags & (kGlArrayCullVertex | kGlArrayLitColorMaterial)) return false;
    GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return false;
    __glRefreshModelViewInverse(ctx, top);  // the routine does it before every range anyway
    if (top->inverseStale) return false;
    const GlXformProc it = top->inverseTranspose.xform3;
    if (!identify(it, &plan->normalXform) || plan->normalXform.inputs != 3) return false;
    if (vertexCache) {
        if (ctx->vertexCache.vcacheCopyAttributes != __glVcacheCopyNormal) return false;
    } else {
        if ((a.arrayNeedIndex & ~4) != 1) return false;  // the normal, texture coordinates or not
        FetchPlan normal;
        if (!planNormal(ctx, &normal)) return false;
        plan->currentNormal = normal.normal == kCurrentNormal;
    }
    plan->itXform = it;
    plan->faceColor = faceColor;
    plan->index = faceColor == __glLightVertexIndexInfiniteFast;
    plan->normalize = (e & kGlEnableNormalize) != 0;
    plan->on = true;
    return true;
}

// The inverse-transpose of the transform record, addressed from ebx (its composite matrix).
constexpr int32_t kInverseFromMvp = int32_t(offsetof(GlTransform, inverseTranspose)) - int32_t(offsetof(GlTransform, mvp));

// The transformed normal into the record at edi: all three rows of the inverse-transpose's
// transform are computed before any is stored, since the source may be the record itself.
template <class Src>
void emitNormalTransform(GlOgWriter &w, const LitPlan &plan, Src src) {
    for (int row = 0; row < 3; ++row)
        emitRowValue(w, plan.normalXform, row, [&](int i) { return w.at(kEbx, kInverseFromMvp + 4 * i); }, src);
    for (int row = 2; row >= 0; --row) w.op(__glOgFstp(w.s, w.at(kEdi, kNormal + 4 * row)));
}

GlOgNode *temp(GlOgWriter &w, uint8_t *scratch, Temp t) { return w.abs(scratch + kTemps + 4 * int32_t(t)); }

// __glNormalize on the record's normal, step for step: the squared length; zero (or NaN) gives
// the zero vector, exactly 1 leaves the normal, anything else scales it by the reciprocal square
// root seeded from the bit pattern and refined by the same folded Newton steps.
void emitNormalize(GlOgWriter &w, uint8_t *scratch) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    auto n = [&](int i) { return w.at(kEdi, kNormal + 4 * i); };
    auto t = [&](Temp k) { return temp(w, scratch, k); };
    GlOgNode *zero = w.label(), *done = w.label();
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(s, n(i)));
        w.op(__glOgFmul(s, n(i)));
        if (i) w.op(__glOgFaddp(s, __glOgSt(1)));
    }
    w.op(__glOgFstp(s, t(tLen2)));
    // len2 > 0 as floats: bits - 1 below those of infinity (zeros, negatives and NaNs fail).
    w.op(__glOgMov(s, eax, t(tLen2)));
    w.op(__glOgLea(s, ecx, w.at(kEax, -1)));
    w.op(__glOgCmp(s, ecx, w.imm(0x7F800000)));
    w.op(__glOgJae(s, zero));
    w.op(__glOgCmp(s, eax, w.imm(0x3F800000)));
    w.op(__glOgJe(s, done));
    w.op(__glOgShr(s, eax, w.imm(1)));
    w.op(__glOgMov(s, ecx, w.imm(0x5F375A00)));
    w.op(__glOgSub(s, ecx, eax));
    w.op(__glOgMov(s, t(tR), ecx));
    // e = r r len2; d = 3 - e; r = r d (12 - e d d) / 16, each product and difference stored
    // (rounded to a float) as the C code rounds it.
    auto product = [&](GlOgNode *a, GlOgNode *b, GlOgNode *c, GlOgNode *out) {
        w.op(__glOgFld(s, a));
        w.op(__glOgFmul(s, b));
        w.op(__glOgFmul(s, c));
        w.op(__glOgFstp(s, out));
    };
    auto less = [&](double k, GlOgNode *b, GlOgNode *out) {
        w.op(__glOgFld(s, __glOgFloatConst(s, k)));
        w.op(__glOgFsub(s, b));
        w.op(__glOgFstp(s, out));
    };
    product(t(tR), t(tR), t(tLen2), t(tE));
    less(3.0, t(tE), t(tD));
    product(t(tE), t(tD), t(tD), t(tQ));
    less(12.0, t(tQ), t(tS));
    w.op(__glOgFld(s, t(tR)));
    w.op(__glOgFmul(s, t(tD)));
    w.op(__glOgFmul(s, t(tS)));
    w.op(__glOgFmul(s, __glOgFloatConst(s, 1.0 / 16.0)));
    w.op(__glOgFstp(s, t(tRecip)));
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(s, n(i)));
        w.op(__glOgFmul(s, t(tRecip)));
        w.op(__glOgFstp(s, n(i)));
    }
    w.op(__glOgJmp(s, done));
    w.place(zero);
    for (int i = 0; i < 3; ++i) w.op(__glOgMov(s, n(i), w.imm(0)));
    w.place(done);
}

// The dot product of the record's normal with a vector of the light at ecx, onto the x87 stack.
void emitLightDot(GlOgWriter &w, size_t field) {
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(w.s, w.at(kEdi, kNormal + 4 * i)));
        w.op(__glOgFmul(w.s, w.at(kEcx, int32_t(field) + 4 * i)));
        if (i) w.op(__glOgFaddp(w.s, __glOgSt(1)));
    }
}

// The head of the walk over the light list: ecx = its first light (to `none` when it is empty),
// `loop` placed, N.L of the light at ecx stored in nDotL; to `notLit` unless N.L > 0 (the bits
// less 1, below those of +infinity: positive and finite).
void emitLightLoopHead(GlOgWriter &w, GlLightingCaches &lc, GlOgNode *nDotL, GlOgNode *loop, GlOgNode *none,
                       GlOgNode *notLit) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    w.op(__glOgMov(s, ecx, w.abs(&lc.lightList)));
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJe(s, none));
    w.place(loop);
    emitLightDot(w, offsetof(GlLightCache, lightDirection));
    w.op(__glOgFstp(s, nDotL));
    w.op(__glOgMov(s, eax, nDotL));
    w.op(__glOgDec(s, eax));
    w.op(__glOgCmp(s, eax, w.imm(0x7F800000)));
    w.op(__glOgJae(s, notLit));
}

// The specular table factor of the light at ecx into tFactor, as __glSpecularFactor forms it from
// N.H: 1 past the table, else the entry at the truncated (N.H - threshold) x scale + 0.5. Goes to
// below when not N.H - threshold >= 0 (either zero counts; a NaN does not).
void emitTableFactor(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, GlOgNode *below) {
    GlOgState *s = w.s;
    GlMaterialCache &mc = ctx->state.lightingCaches.frontMaterialCache;
    GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx);
    auto t = [&](Temp k) { return temp(w, scratch, k); };
    GlOgNode *inTable = w.label(), *oneFactor = w.label(), *done = w.label();
    emitLightDot(w, offsetof(GlLightCache, halfVector));
    w.op(__glOgFsub(s, w.abs(&mc.specularThreshold)));
    w.op(__glOgFstp(s, t(tD)));
    w.op(__glOgMov(s, eax, t(tD)));
    w.op(__glOgCmp(s, eax, w.imm(int32_t(0x80000000u))));
    w.op(__glOgJe(s, inTable));
    w.op(__glOgCmp(s, eax, w.imm(0x7F800000)));
    w.op(__glOgJa(s, below));
    w.place(inTable);
    w.op(__glOgFld(s, w.abs(&mc.specularScale)));
    w.op(__glOgFmul(s, t(tD)));
    w.op(__glOgFadd(s, __glOgFloatConst(s, 0.5)));
    w.op(__glOgFstp(s, t(tK)));
    w.op(__glOgCmp(s, t(tK), w.imm(0x43800000)));  // 256.0
    w.op(__glOgJge(s, oneFactor));
    w.op(__glOgFld(s, t(tK)));
    w.op(__glOgFldcw(s, w.abs(scratch + kCwTruncate)));
    w.op(__glOgFistp(s, t(tIndex)));
    w.op(__glOgFldcw(s, w.abs(scratch + kCwSingle)));
    w.op(__glOgMov(s, eax, w.abs(&mc.specularData)));
    w.op(__glOgMov(s, edx, t(tIndex)));
    w.op(__glOgShl(s, edx, w.imm(2)));
    w.op(__glOgAdd(s, eax, edx));
    w.op(__glOgMov(s, eax, w.at(kEax)));
    w.op(__glOgMov(s, t(tFactor), eax));
    w.op(__glOgJmp(s, done));
    w.place(oneFactor);
    w.op(__glOgMov(s, t(tFactor), w.imm(0x3F800000)));
    w.place(done);
}

// The front index of the record at edi from its eye-space normal, as
// __glLightVertexIndexInfiniteFast computes it: per light of the list with N.L > 0 the diffuse
// luminance times N.L summed, and for N.H - threshold >= 0 the specular luminance times the table
// factor; a specular sum of 1 or more gives the specular index, anything less
// ambient + (1 - s) d (diffuse - ambient) + s (specular - ambient), held below the specular index.
// Only the index (the colour's first channel) is written.
void emitIndexLighting(GlContext *ctx, GlOgWriter &w, uint8_t *scratch) {
    GlOgState *s = w.s;
    GlLightingCaches &lc = ctx->state.lightingCaches;
    GlMaterialCache &mc = lc.frontMaterialCache;
    GlMaterial &m = ctx->state.lighting.frontMaterial;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    auto t = [&](Temp k) { return temp(w, scratch, k); };
    auto l = [&](size_t field) { return w.at(kEcx, int32_t(field)); };
    GlOgNode *loop = w.label(), *next = w.label(), *sums = w.label(), *general = w.label(), *store = w.label();

    w.op(__glOgMov(s, t(tDiffuseSum), w.imm(0)));
    w.op(__glOgMov(s, t(tSpecularSum), w.imm(0)));
    emitLightLoopHead(w, lc, t(tNDotL), loop, sums, next);
    w.op(__glOgFld(s, l(offsetof(GlLightCache, diffuseLuminance))));
    w.op(__glOgFmul(s, t(tNDotL)));
    w.op(__glOgFadd(s, t(tDiffuseSum)));
    w.op(__glOgFstp(s, t(tDiffuseSum)));
    emitTableFactor(ctx, w, scratch, next);
    w.op(__glOgFld(s, l(offsetof(GlLightCache, specularLuminance))));
    w.op(__glOgFmul(s, t(tFactor)));
    w.op(__glOgFadd(s, t(tSpecularSum)));
    w.op(__glOgFstp(s, t(tSpecularSum)));
    w.place(next);
    w.op(__glOgMov(s, ecx, l(offsetof(GlLightCache, next))));
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJne(s, loop));

    w.place(sums);
    w.op(__glOgCmp(s, t(tSpecularSum), w.imm(0x3F800000)));
    w.op(__glOgJl(s, general));  // as a signed pattern: below 1.0, negatives and -NaN too
    w.op(__glOgMov(s, eax, w.abs(&m.specularIndex)));
    w.op(__glOgJmp(s, store));
    w.place(general);
    w.op(__glOgFld(s, __glOgFloatConst(s, 1.0)));
    w.op(__glOgFsub(s, t(tSpecularSum)));
    w.op(__glOgFmul(s, t(tDiffuseSum)));
    w.op(__glOgFmul(s, w.abs(&mc.diffuseMinusAmbientIndex)));
    w.op(__glOgFadd(s, w.abs(&m.ambientIndex)));
    w.op(__glOgFld(s, t(tSpecularSum)));
    w.op(__glOgFmul(s, w.abs(&mc.specularMinusAmbientIndex)));
    w.op(__glOgFaddp(s, __glOgSt(1)));
    w.op(__glOgFstp(s, t(tLitIndex)));
    // index > specular index exactly when their difference is > 0 (NaNs neither).
    w.op(__glOgFld(s, t(tLitIndex)));
    w.op(__glOgFsub(s, w.abs(&m.specularIndex)));
    w.op(__glOgFstp(s, t(tD)));
    w.op(__glOgMov(s, eax, t(tD)));
    w.op(__glOgDec(s, eax));
    w.op(__glOgCmp(s, eax, w.imm(0x7F800000)));
    w.op(__glOgMov(s, eax, t(tLitIndex)));
    w.op(__glOgJae(s, store));
    w.op(__glOgMov(s, eax, w.abs(&m.specularIndex)));
    w.place(store);
    w.op(__glOgMov(s, w.at(kEdi, kFrontColor), eax));
}

// The front colour of the record at edi from its eye-space normal, as __glLightVertexRgbaInfinite
// computes it: the scene colour, then per light of the list (walked at run time in ecx) its
// ambient product, and for N.L > 0 the specular product times the table factor of N.H plus the
// diffuse product times N.L; each channel clamped to [0, its scale], alpha the diffuse alpha.
// The comparisons are made on the stored floats' bit patterns, as the C code makes them.
void emitLighting(GlContext *ctx, GlOgWriter &w, uint8_t *scratch) {
    GlOgState *s = w.s;
    GlLightingCaches &lc = ctx->state.lightingCaches;
    GlMaterialCache &mc = lc.frontMaterialCache;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    auto c = [&](int i) { return w.at(kEdi, kFrontColor + 4 * i); };
    auto t = [&](Temp k) { return temp(w, scratch, k); };
    auto l = [&](size_t field, int i) { return w.at(kEcx, int32_t(field) + 4 * i); };
    GlOgNode *loop = w.label(), *unlit = w.label(), *next = w.label(), *clamp = w.label();

    for (int i = 0; i < 3; ++i) {
        w.op(__glOgMov(s, eax, w.abs(&mc.sceneColor[i])));
        w.op(__glOgMov(s, c(i), eax));
    }
    emitLightLoopHead(w, lc, t(tNDotL), loop, clamp, unlit);

    GlOgNode *zeroFactor = w.label(), *haveFactor = w.label();
    emitTableFactor(ctx, w, scratch, zeroFactor);
    w.op(__glOgJmp(s, haveFactor));
    w.place(zeroFactor);
    w.op(__glOgMov(s, t(tFactor), w.imm(0)));
    w.place(haveFactor);
    // c += ambient + (specular x factor + diffuse x N.L)
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(s, l(offsetof(GlLightCache, frontSpecularProduct), i)));
        w.op(__glOgFmul(s, t(tFactor)));
        w.op(__glOgFld(s, l(offsetof(GlLightCache, frontDiffuseProduct), i)));
        w.op(__glOgFmul(s, t(tNDotL)));
        w.op(__glOgFaddp(s, __glOgSt(1)));
        w.op(__glOgFadd(s, l(offsetof(GlLightCache, frontAmbientProduct), i)));
        w.op(__glOgFadd(s, c(i)));
        w.op(__glOgFstp(s, c(i)));
    }
    w.op(__glOgJmp(s, next));
    w.place(unlit);
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(s, l(offsetof(GlLightCache, frontAmbientProduct), i)));
        w.op(__glOgFadd(s, c(i)));
        w.op(__glOgFstp(s, c(i)));
    }
    w.place(next);
    w.op(__glOgMov(s, ecx, l(offsetof(GlLightCache, next), 0)));
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJne(s, loop));

    w.place(clamp);
    const float *scale[3] = {&ctx->scales.redScale, &ctx->scales.greenScale, &ctx->scales.blueScale};
    for (int i = 0; i < 3; ++i) {
        GlOgNode *positive = w.label(), *kept = w.label();
        w.op(__glOgMov(s, eax, c(i)));
        w.op(__glOgTest(s, eax, eax));
        w.op(__glOgJg(s, positive));
        w.op(__glOgMov(s, c(i), w.imm(0)));
        w.op(__glOgJmp(s, kept));
        w.place(positive);
        w.op(__glOgCmp(s, eax, w.abs(scale[i])));
        w.op(__glOgJl(s, kept));
        w.op(__glOgMov(s, eax, w.abs(scale[i])));
        w.op(__glOgMov(s, c(i), eax));
        w.place(kept);
    }
    w.op(__glOgMov(s, eax, w.abs(&mc.diffuseAlpha)));
    w.op(__glOgMov(s, c(3), eax));
}

// Normal, normalisation and colour of the record at edi from the plan's normal source.
template <class Src>
void emitLitVertex(GlContext *ctx, GlOgWriter &w, const LitPlan &plan, uint8_t *scratch, Src src) {
    emitNormalTransform(w, plan, src);
    if (plan.normalize) emitNormalize(w, scratch);
    if (plan.index)
        emitIndexLighting(ctx, w, scratch);
    else
        emitLighting(ctx, w, scratch);
}

// Jumps to toC unless the lighting state still is the one the routine was made for.
void emitLitGuards(GlContext *ctx, GlOgWriter &w, const LitPlan &plan, GlOgNode *toC) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    const uint32_t mask = kGlEnableLighting | kGlEnableColorMaterial | kGlEnableNormalize;
    w.op(__glOgMov(s, eax, w.abs(&ctx->state.enable.enables)));
    w.op(__glOgAnd(s, eax, w.imm(int32_t(mask))));
    w.op(__glOgCmp(s, eax, w.imm(int32_t(kGlEnableLighting | (plan.normalize ? kGlEnableNormalize : 0u)))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.abs(&ctx->slots.primitive.faceColor),
                   w.imm(__glOgWord(reinterpret_cast<const void *>(plan.faceColor)))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgMovzx8(s, eax, w.abs(&ctx->state.lighting.lightModel.twoSide)));
    w.op(__glOgTest(s, eax, eax));
    w.op(__glOgJne(s, toC));
    w.op(__glOgTest(s, w.abs(&ctx->arrayState.arrayFlags), w.imm(int32_t(kGlArrayCullVertex | kGlArrayLitColorMaterial))));
    w.op(__glOgJne(s, toC));
}

// After the inverse is current: the inverse-transpose's transform must be the planned one.
void emitNormalMatrixGuard(GlContext *ctx, GlOgWriter &w, const LitPlan &plan, GlOgNode *toC) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    w.op(__glOgMov(s, eax, w.abs(&ctx->state.transform.modelView)));
    w.op(__glOgCmp(s, w.at(kEax, int32_t(offsetof(GlTransform, inverseTranspose) + offsetof(GlMatrix, xform3))),
                   w.imm(__glOgWord(reinterpret_cast<const void *>(plan.itXform)))));
    w.op(__glOgJne(s, toC));
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

// The element at src into the four floats at dst in the record at edi, converted as the C fetch
// converts it: an integer is loaded whole and rounded once on the store, a double likewise,
// floats are copied bit for bit; missing components are 0 and the fourth 1 (object z and w,
// texture t, r and q). The precision field does not touch loads and stores.
void emitElement(GlOgWriter &w, const FetchRow &row, int src, int32_t dst) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    for (int i = 0; i < 4; ++i) {
        auto out = [&] { return w.at(kEdi, dst + 4 * i); };
        if (i >= row.size) {
            w.op(__glOgMov(s, out(), w.imm(i == 3 ? 0x3F800000 : 0)));
            continue;
        }
        switch (row.type) {
        case GL_SHORT:
            w.op(__glOgMovsx16(s, eax, w.at(src, 2 * i)));
            w.op(__glOgMov(s, out(), eax));
            w.op(__glOgFild(s, out()));
            w.op(__glOgFstp(s, out()));
            break;
        case GL_INT:
            w.op(__glOgFild(s, w.at(src, 4 * i)));
            w.op(__glOgFstp(s, out()));
            break;
        case GL_DOUBLE:
            w.op(__glOgFld64(s, w.at(src, 8 * i)));
            w.op(__glOgFstp(s, out()));
            break;
        default:  // GL_FLOAT
            w.op(__glOgMov(s, eax, w.at(src, 4 * i)));
            w.op(__glOgMov(s, out(), eax));
            break;
        }
    }
}

// dst = the address of the array's element firstElement (32-bit arithmetic, as the C transform
// forms it).
void emitFirstElement(GlOgWriter &w, const GlClientArray &c, GlOgNode *dst) {
    GlOgState *s = w.s;
    w.op(__glOgMov(s, dst, w.at(kEsp, kArgs + 8)));
    w.op(__glOgImul(s, dst, w.abs(&c.stride)));
    w.op(__glOgAdd(s, dst, w.abs(&c.pointer)));
}

// Component i of the colour or normal element at src onto the x87 stack in [0, 1] units (the
// signed types in [-1, 1]) and rounded to a float, as __glUnitOf converts it: unsigned bytes
// through the context's table; signed bytes and shorts as (2c + 1) times the single-precision
// 1/255 or 1/65535, and unsigned shorts as c times 1/65535; ints as (2c + 1) x 2^-32 and unsigned
// ints as c x 2^-32; doubles rounded to a float. It runs at extended precision: the integer is
// formed exactly on the x87 (an unsigned int loaded as signed gets 2^32 back), the product is
// exact and a store rounds it once, as the C product is rounded (the float one, and the exact
// extended one of the int types). Leaves eax changed.
void emitUnit(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, const FetchRow &row, int src, int i) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax);
    GlOgNode *whole = temp(w, scratch, tInt), *unit = temp(w, scratch, tUnit);
    auto roundToFloat = [&] {
        w.op(__glOgFstp(s, unit));
        w.op(__glOgFld(s, unit));
    };
    auto scaled = [&](const float *k) {
        w.op(__glOgFmul(s, w.abs(k)));
        roundToFloat();
    };
    // eax, loaded as an integer.
    auto load = [&] {
        w.op(__glOgMov(s, whole, eax));
        w.op(__glOgFild(s, whole));
    };
    switch (row.type) {
    case GL_UNSIGNED_BYTE:
        w.op(__glOgMovzx8(s, eax, w.at(src, i)));
        w.op(__glOgFld(s, __glOgMem(s, w.imm(__glOgWord(ctx->ubyteToFloat)), nullptr, eax, 4)));
        break;
    case GL_BYTE:
    case GL_SHORT:
        // 2c + 1 in an integer register: no overflow for these types.
        if (row.type == GL_BYTE)
            w.op(__glOgMovsx8(s, eax, w.at(src, i)));
        else
            w.op(__glOgMovsx16(s, eax, w.at(src, 2 * i)));
        w.op(__glOgAdd(s, eax, eax));
        w.op(__glOgOr(s, eax, w.imm(1)));
        load();
        scaled(row.type == GL_BYTE ? &ctx->oneOver255 : &ctx->oneOver65535);
        break;
    case GL_UNSIGNED_SHORT:
        w.op(__glOgMovzx16(s, eax, w.at(src, 2 * i)));
        load();
        scaled(&ctx->oneOver65535);
        break;
    case GL_INT:
        w.op(__glOgFild(s, w.at(src, 4 * i)));
        w.op(__glOgFadd(s, __glOgSt(0)));
        w.op(__glOgFadd(s, __glOgFloatConst(s, 1.0)));
        scaled(&ctx->oneOverUint);
        break;
    case GL_UNSIGNED_INT: {
        GlOgNode *positive = w.label();
        w.op(__glOgMov(s, eax, w.at(src, 4 * i)));
        w.op(__glOgFild(s, w.at(src, 4 * i)));
        w.op(__glOgTest(s, eax, eax));
        w.op(__glOgJns(s, positive));
        w.op(__glOgFadd(s, __glOgFloatConst(s, 4294967296.0)));
        w.place(positive);
        scaled(&ctx->oneOverUint);
        break;
    }
    case GL_DOUBLE:
        w.op(__glOgFld64(s, w.at(src, 8 * i)));
        roundToFloat();
        break;
    default:  // GL_FLOAT
        w.op(__glOgFld(s, w.at(src, 4 * i)));
        break;
    }
}

// A pass over the records of the range, at extended precision, before or after the main loop:
// body(edi = the record, ecx = the element of the array) for each, culled records skipped when
// the routine culls.
template <class Body>
void emitRecordPass(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, const GlClientArray &array, bool skipCulled,
                    Body body) {
    GlOgState *s = w.s;
    GlOgNode *ecx = w.r(kEcx), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    GlOgNode *loop = w.label(), *next = w.label();
    w.op(__glOgFldcw(s, w.abs(scratch + kCwExtended)));
    emitFirstElement(w, array, ecx);
    emitRecordCountMatrix(ctx, w);
    w.place(loop);
    if (skipCulled) {
        w.op(__glOgTest(s, w.at(kEdi, kFlags), w.imm(int32_t(kGlVertexCulled))));
        w.op(__glOgJne(s, next));
    }
    body();
    w.place(next);
    w.op(__glOgAdd(s, ecx, w.abs(&array.stride)));
    w.op(__glOgLea(s, edi, w.at(kEdi, int32_t(sizeof(GlVertex)))));
    w.op(__glOgDec(s, ebp));
    w.op(__glOgJne(s, loop));
    w.op(__glOgFldcw(s, w.abs(scratch + kCwSingle)));
}

// The normals of the whole range from an array of another type than float, in a pass before the
// main loop (a generic member gives every record its normal, culled or not).
void emitNormalPass(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, const FetchRow &row) {
    emitRecordPass(ctx, w, scratch, ctx->arrayState.arrays[kGlArrayNormal], false, [&] {
        for (int i = 0; i < 3; ++i) {
            emitUnit(ctx, w, scratch, row, kEcx, i);
            w.op(__glOgFstp(w.s, w.at(kEdi, kNormal + 4 * i)));
        }
    });
}

// The colours of the whole range in a pass of their own, after the transform, as the C member
// fetches them; with vertex culling the culled records get none. The pass runs at extended
// precision: each component in [0, 1] units (emitUnit) times its channel scale is exact on the
// x87 and rounded once by the store, as the C fetch rounds the float product. Then each channel is held to [0, its scale] by its bit pattern as __glClampAndScaleColor holds
// it: a negative value or a NaN gives 0, -0.0 stays, anything above the scale (infinity too)
// gives the scale. A three-component array gives alpha 1.0 scaled and held the same way.
void emitColorPass(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, const FetchPlan &fp) {
    GlOgState *s = w.s;
    const FetchRow &row = fp.colorArray;
    GlOgNode *eax = w.r(kEax);
    const float *scale[4] = {&ctx->scales.redScale, &ctx->scales.greenScale, &ctx->scales.blueScale,
                             &ctx->scales.alphaScale};
    auto c = [&](int i) { return w.at(kEdi, kFrontColor + 4 * i); };
    emitRecordPass(ctx, w, scratch, ctx->arrayState.arrays[kGlArrayColor], fp.cull != 0, [&] {
        for (int i = 0; i < 4; ++i) {
            if (i >= row.size)
                w.op(__glOgFld(s, __glOgFloatConst(s, 1.0)));
            else
                emitUnit(ctx, w, scratch, row, kEcx, i);
            w.op(__glOgFmul(s, w.abs(scale[i])));
            w.op(__glOgFstp(s, c(i)));
        }
        for (int i = 0; i < 4; ++i) {
            GlOgNode *notAbove = w.label(), *kept = w.label();
            w.op(__glOgMov(s, eax, c(i)));
            w.op(__glOgCmp(s, eax, w.imm(0x7F800000)));
            w.op(__glOgJa(s, notAbove));  // a negative value or a NaN
            w.op(__glOgCmp(s, eax, w.abs(scale[i])));
            w.op(__glOgJle(s, kept));
            w.op(__glOgMov(s, eax, w.abs(scale[i])));
            w.op(__glOgMov(s, c(i), eax));
            w.op(__glOgJmp(s, kept));
            w.place(notAbove);
            w.op(__glOgCmp(s, eax, w.imm(int32_t(0x80000000u))));
            w.op(__glOgJe(s, kept));
            w.op(__glOgMov(s, c(i), w.imm(0)));
            w.place(kept);
        }
    });
}

// The texture coordinates of set 0 into the record at edi: the element at the running pointer,
// or the current ones.
void emitTexFetch(GlContext *ctx, GlOgWriter &w, const FetchPlan &fp) {
    GlOgState *s = w.s;
    GlOgNode *eax = w.r(kEax), *ecx = w.r(kEcx);
    const int32_t t = int32_t(offsetof(GlVertex, texCoord));
    if (fp.tex == kCurrentTex) {
        for (int i = 0; i < 4; ++i) {
            w.op(__glOgMov(s, eax, w.abs(&ctx->current.texCoord[i])));
            w.op(__glOgMov(s, w.at(kEdi, t + 4 * i), eax));
        }
        return;
    }
    w.op(__glOgMov(s, ecx, w.at(kEsp, kTexPtr)));
    emitElement(w, fp.texArray, kEcx, t);
}

// GL_CULL_VERTEX_EXT for the vertex at edi, as __glArrayCullBits tests it: d = (cull point - obj)
// . normal for a cull point (cull flags with kGlArrayCullPoint), cull direction . normal otherwise,
// each difference, product and sum rounded to a float in the C order; edx = the cull word of the
// side d gives (either zero counts as facing away). pos and nrm give the operands of component i.
template <class Pos, class Nrm>
void emitCullWord(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, uint32_t cull, Pos pos, Nrm nrm) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    GlOgNode *eax = w.r(kEax), *edx = w.r(kEdx);
    GlOgNode *front = w.label();
    const float *e = ctx->state.transform.cullObjectEyePosition;
    auto round = [&] {
        w.op(__glOgFstp(s, temp(w, scratch, tRound)));
        w.op(__glOgFld(s, temp(w, scratch, tRound)));
    };
    for (int i = 0; i < 3; ++i) {
        w.op(__glOgFld(s, w.abs(&e[i])));
        if (cull & kGlArrayCullPoint) {
            w.op(__glOgFsub(s, pos(i)));
            round();
        }
        w.op(__glOgFmul(s, nrm(i)));
        round();
        if (i) {
            w.op(__glOgFaddp(s, __glOgSt(1)));
            round();
        }
    }
    w.op(__glOgFstp(s, temp(w, scratch, tD)));
    w.op(__glOgMov(s, edx, w.abs(&a.cullWord[0])));
    w.op(__glOgMov(s, eax, temp(w, scratch, tD)));
    w.op(__glOgDec(s, eax));
    w.op(__glOgCmp(s, eax, w.imm(0x7F800000)));
    w.op(__glOgJb(s, front));  // d > 0
    w.op(__glOgMov(s, edx, w.abs(&a.cullWord[1])));
    w.place(front);
}

// The cull test of the array routine: the flags become the size code and the cull word, and a
// culled vertex goes to next.
template <class Pos, class Nrm>
void emitCull(GlContext *ctx, GlOgWriter &w, uint8_t *scratch, const FetchPlan &fp, GlOgNode *next, Pos pos, Nrm nrm) {
    GlOgState *s = w.s;
    GlOgNode *edx = w.r(kEdx);
    emitCullWord(ctx, w, scratch, fp.cull, pos, nrm);
    w.op(__glOgOr(s, edx, w.imm(int32_t(uint32_t(fp.vertex.size - 1) << kGlVertexSizeShift))));
    w.op(__glOgMov(s, w.at(kEdi, kFlags), edx));
    w.op(__glOgTest(s, edx, w.imm(int32_t(kGlVertexCulled))));
    w.op(__glOgJne(s, next));
}

void emitVertexRoutine(GlContext *ctx, GlOgWriter &w, const XformId &id, GlXformProc xform, const FetchPlan &fp,
                       const LitPlan &plan, GlRangeTransformProc member) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    GlClientArray &va = a.arrays[kGlArrayVertex];
    GlClientArray &na = a.arrays[kGlArrayNormal];
    GlClientArray &ta = a.arrays[kGlArrayTexCoord];
    // A float normal array is read in the main loop: where it lies by a lit routine, else copied
    // to the record. Other types land in the records in a pass before the loop.
    const bool normalArray = fp.normal == kNormalArray && fp.normalArray.type == GL_FLOAT;
    const bool normalPass = fp.normal == kNormalArray && !normalArray;
    const bool normalInPlace = plan.on && normalArray;
    const bool cull = (fp.cull & kGlArrayCullVertex) != 0;
    // A fast member tests a vertex on its float arrays and writes a culled one nothing but flags.
    const bool fetchAfterCull = cull && fp.fastMember;
    uint8_t *scratch = static_cast<uint8_t *>(ctx->codeCaches.scratch);
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *esi = w.r(kEsi), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    GlOgNode *toC = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&fallback), "C range transform");
    GlOgNode *begin = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&__glArrayBeginRange), "begin range");
    GlOgNode *nothing = w.label(), *loop = w.label(), *next = w.label(), *restore = w.label();
    auto fetchIs = [&](int32_t array, GlArrayFetchProc proc) {
        w.op(__glOgCmp(s, w.abs(&a.attrFetch[array]), w.imm(__glOgWord(reinterpret_cast<const void *>(proc)))));
        w.op(__glOgJne(s, toC));
    };
    auto recordNormal = [&](int i) { return w.at(kEdi, kNormal + 4 * i); };
    // Object coordinates and, unless the lighting reads it where it lies, the normal.
    auto fetchVertexNormal = [&] {
        emitElement(w, fp.vertex, kEsi, kObj);
        if (fp.normal == kCurrentNormal && !plan.on) {
            for (int i = 0; i < 3; ++i) {
                w.op(__glOgMov(s, eax, w.abs(&ctx->current.normal[i])));
                w.op(__glOgMov(s, recordNormal(i), eax));
            }
        } else if (normalArray && !normalInPlace) {
            w.op(__glOgMov(s, w.r(kEcx), w.at(kEsp, kNormalPtr)));
            for (int i = 0; i < 3; ++i) {
                w.op(__glOgMov(s, eax, w.at(kEcx, 4 * i)));
                w.op(__glOgMov(s, recordNormal(i), eax));
            }
        }
    };

    // The state the routine was made for, checked before anything is written.
    w.op(__glOgCmp(s, w.abs(&a.arrayNeedIndex), w.imm(fp.need)));
    w.op(__glOgJne(s, toC));
    fetchIs(kGlArrayVertex, fp.vertex.proc);
    if (fp.normal != kNoNormal) fetchIs(kGlArrayNormal, fp.normalArray.proc);
    if (plan.on) {
        emitLitGuards(ctx, w, plan, toC);
    } else if (fp.normal != kNoNormal) {
        w.op(__glOgMov(s, eax, w.abs(&a.arrayFlags)));
        w.op(__glOgAnd(s, eax, w.imm(int32_t(kGlArrayCullVertex | kGlArrayCullPoint))));
        w.op(__glOgCmp(s, eax, w.imm(int32_t(fp.cull))));
        w.op(__glOgJne(s, toC));
        if (cull) {
            // What a culled record holds depends on the member.
            w.op(__glOgCmp(s, w.abs(&a.referenceTransform), w.imm(__glOgWord(reinterpret_cast<const void *>(member)))));
            w.op(__glOgJne(s, toC));
        }
    }
    if (fp.color != kNoColor) fetchIs(fp.color == kCurrentIndex ? kGlArrayIndex : kGlArrayColor, fp.colorArray.proc);
    if (fp.tex != kNoTex) fetchIs(kGlArrayTexCoord, fp.texArray.proc);
    w.op(__glOgCmp(s, w.at(kEsp, 16), w.imm(0)));  // count
    w.op(__glOgJle(s, nothing));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, begin));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 4)));
    w.op(__glOgTest(s, w.r8(0), w.r8(0)));
    w.op(__glOgJe(s, nothing));
    w.op(__glOgCmp(s, w.abs(&a.rangeTransformPoint), w.imm(__glOgWord(reinterpret_cast<const void *>(xform)))));
    w.op(__glOgJne(s, toC));
    if (plan.on) emitNormalMatrixGuard(ctx, w, plan, toC);

    w.op(__glOgPush(s, ebp));
    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, esi));
    w.op(__glOgPush(s, edi));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, -kLocals)));
    emitSinglePrecision(w, scratch);
    if (normalPass) emitNormalPass(ctx, w, scratch, fp.normalArray);
    emitFirstElement(w, va, esi);
    if (normalArray) {
        emitFirstElement(w, na, eax);
        w.op(__glOgMov(s, w.at(kEsp, kNormalPtr), eax));
    }
    if (fp.tex == kTexArray) {
        emitFirstElement(w, ta, eax);
        w.op(__glOgMov(s, w.at(kEsp, kTexPtr), eax));
    }
    emitRecordCountMatrix(ctx, w);

    w.place(loop);
    if (!fetchAfterCull) fetchVertexNormal();
    if (cull) {
        if (fetchAfterCull) {
            w.op(__glOgMov(s, w.r(kEcx), w.at(kEsp, kNormalPtr)));
            emitCull(ctx, w, scratch, fp, next, [&](int i) { return w.at(kEsi, 4 * i); },
                     [&](int i) { return w.at(kEcx, 4 * i); });
            fetchVertexNormal();
        } else {
            emitCull(ctx, w, scratch, fp, next, [&](int i) { return w.at(kEdi, kObj + 4 * i); }, recordNormal);
        }
    } else {
        w.op(__glOgMov(s, w.at(kEdi, kFlags),
                       w.imm(int32_t(uint32_t(fp.vertex.size - 1) << kGlVertexSizeShift | (plan.on ? kLitDone : 0u)))));
    }
    if (fp.color == kCurrentColor) {
        for (int i = 0; i < 4; ++i) {
            w.op(__glOgMov(s, eax, w.abs(&ctx->current.vertex.scaledColor[i])));
            w.op(__glOgMov(s, w.at(kEdi, kFrontColor + 4 * i), eax));
        }
    } else if (fp.color == kCurrentIndex) {
        w.op(__glOgMov(s, eax, w.abs(&ctx->current.index)));
        w.op(__glOgMov(s, w.at(kEdi, kFrontColor), eax));
    }
    if (fp.tex != kNoTex) emitTexFetch(ctx, w, fp);
    emitTransform(w, id);
    if (normalInPlace) {
        w.op(__glOgMov(s, w.r(kEcx), w.at(kEsp, kNormalPtr)));
        emitLitVertex(ctx, w, plan, scratch, [&](int i) { return w.at(kEcx, 4 * i); });
    } else if (plan.on && plan.currentNormal) {
        emitLitVertex(ctx, w, plan, scratch, [&](int i) { return w.abs(&ctx->current.normal[i]); });
    } else if (plan.on) {
        emitLitVertex(ctx, w, plan, scratch, recordNormal);
    }
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, w.abs(&a.rangeClipCheck)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 8)));
    w.op(__glOgOr(s, w.at(kEdi, kFlags), eax));
    w.place(next);
    if (normalArray) {
        w.op(__glOgMov(s, eax, w.abs(&na.stride)));
        w.op(__glOgAdd(s, w.at(kEsp, kNormalPtr), eax));
    }
    if (fp.tex == kTexArray) {
        w.op(__glOgMov(s, eax, w.abs(&ta.stride)));
        w.op(__glOgAdd(s, w.at(kEsp, kTexPtr), eax));
    }
    w.op(__glOgAdd(s, esi, w.abs(&va.stride)));
    w.op(__glOgLea(s, edi, w.at(kEdi, int32_t(sizeof(GlVertex)))));
    w.op(__glOgDec(s, ebp));
    w.op(__glOgJne(s, loop));
    if (fp.color == kColorArray) emitColorPass(ctx, w, scratch, fp);

    w.place(restore);
    w.op(__glOgFldcw(s, w.abs(scratch + kCwSaved)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, kLocals)));
    w.op(__glOgPop(s, edi));
    w.op(__glOgPop(s, esi));
    w.op(__glOgPop(s, ebx));
    w.op(__glOgPop(s, ebp));
    w.place(nothing);
    w.op(__glOgRet(s));
}

// The vertex cache's variant: the records hold their object coordinates (and normals) already;
// each gets the cull word of its side with GL_CULL_VERTEX_EXT and the size code, and the ones no
// clip bit marks are transformed and clip-checked, as __glCullTransformVertexRange does. Another
// cull mode (any with lighting), a stale modelview inverse or another point transform hand the
// range to that C routine.
void emitInPlaceRoutine(GlContext *ctx, GlOgWriter &w, const XformId &id, GlXformProc xform, const LitPlan &plan,
                        uint32_t cull) {
    GlOgState *s = w.s;
    GlArrayState &a = ctx->arrayState;
    uint8_t *scratch = static_cast<uint8_t *>(ctx->codeCaches.scratch);
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    GlOgNode *toC = __glOgOutsideLabel(s, reinterpret_cast<const void *>(&__glCullTransformVertexRange),
                                       "C vertex cache transform");
    GlOgNode *nothing = w.label(), *loop = w.label(), *skip = w.label();

    w.op(__glOgMov(s, eax, w.abs(&a.arrayFlags)));
    w.op(__glOgAnd(s, eax, w.imm(int32_t(kGlArrayCullVertex | kGlArrayCullPoint))));
    w.op(__glOgCmp(s, eax, w.imm(int32_t(cull))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgCmp(s, w.abs(&a.rangeTransformPoint), w.imm(__glOgWord(reinterpret_cast<const void *>(xform)))));
    w.op(__glOgJne(s, toC));
    w.op(__glOgMov(s, eax, w.abs(&ctx->state.transform.modelView)));
    w.op(__glOgMovzx8(s, eax, w.at(kEax, int32_t(offsetof(GlTransform, inverseStale)))));
    w.op(__glOgTest(s, eax, eax));
    w.op(__glOgJne(s, toC));
    if (plan.on) {
        // The records carry the normal only while the copy proc writes it.
        w.op(__glOgCmp(s, w.abs(&ctx->vertexCache.vcacheCopyAttributes),
                       w.imm(__glOgWord(reinterpret_cast<const void *>(&__glVcacheCopyNormal)))));
        w.op(__glOgJne(s, toC));
        emitLitGuards(ctx, w, plan, toC);
        emitNormalMatrixGuard(ctx, w, plan, toC);
    }
    w.op(__glOgCmp(s, w.at(kEsp, 16), w.imm(0)));  // count
    w.op(__glOgJle(s, nothing));

    w.op(__glOgPush(s, ebp));
    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, w.r(kEsi)));
    w.op(__glOgPush(s, edi));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, -kLocals)));  // the frame of the array variant
    emitSinglePrecision(w, scratch);
    emitRecordCountMatrix(ctx, w);

    w.place(loop);
    if (cull & kGlArrayCullVertex) {
        emitCullWord(ctx, w, scratch, cull, [&](int i) { return w.at(kEdi, kObj + 4 * i); },
                     [&](int i) { return w.at(kEdi, kNormal + 4 * i); });
        w.op(__glOgOr(s, w.at(kEdi, kFlags), w.r(kEdx)));
    }
    w.op(__glOgMov(s, eax, w.at(kEdi, kFlags)));
    w.op(__glOgOr(s, eax, w.abs(&a.sizeCode)));
    w.op(__glOgMov(s, w.at(kEdi, kFlags), eax));
    w.op(__glOgTest(s, eax, w.imm(int32_t(kGlVertexClipMask))));
    w.op(__glOgJne(s, skip));
    emitTransform(w, id);
    if (plan.on) {
        w.op(__glOgOr(s, w.at(kEdi, kFlags), w.imm(int32_t(kLitDone))));
        emitLitVertex(ctx, w, plan, scratch, [&](int i) { return w.at(kEdi, kNormal + 4 * i); });
    }
    w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, w.imm(__glOgWord(ctx))));
    w.op(__glOgCall(s, w.abs(&a.rangeClipCheck)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, 8)));
    w.op(__glOgOr(s, w.at(kEdi, kFlags), eax));
    w.place(skip);
    w.op(__glOgLea(s, edi, w.at(kEdi, int32_t(sizeof(GlVertex)))));
    w.op(__glOgDec(s, ebp));
    w.op(__glOgJne(s, loop));

    w.op(__glOgFldcw(s, w.abs(scratch + kCwSaved)));
    w.op(__glOgLea(s, w.r(kEsp), w.at(kEsp, kLocals)));
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
    LitPlan plan;
    // A lit routine makes no cull test: lighting is planned only without cull vertex.
    const uint32_t cull = planLighting(ctx, true, &plan) ? 0u
                                                         : ctx->arrayState.arrayFlags & (kGlArrayCullVertex | kGlArrayCullPoint);
    const uint32_t key[4] = {kVertexKeyTag, kVertexCacheVariant | plan.bits() | cull << 24,
                             uint32_t(__glOgWord(reinterpret_cast<const void *>(xform))),
                             uint32_t(__glOgWord(reinterpret_cast<const void *>(plan.itXform)))};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheVertex, key, 4, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlRangeTransformProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheVertex, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(&__glCullTransformVertexRange);
    emitInPlaceRoutine(ctx, w, id, xform, plan, cull);
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
    FetchPlan fp;
    fp.need = a.arrayNeedIndex;
    if (!fetchRowOf(a.attrFetch[kGlArrayVertex], &fp.vertex) || fp.vertex.array != kGlArrayVertex) return nullptr;
    if (fp.vertex.size != vertexSize || a.arrays[kGlArrayVertex].size != vertexSize) return nullptr;
    const GlRangeTransformProc member = __glChooseRangeTransform(ctx);
    if (fp.need < 0 || (fp.need & ~7) != 0) return nullptr;  // every attribute, or the edge flag
    LitPlan plan;
    if (fp.need & 1) {
        if (!planNormal(ctx, &fp)) return nullptr;
        if (!planLighting(ctx, false, &plan)) {
            // The normal lands in the record for the completion (lighting the routine does not
            // make, sphere mapping) and for the cull test.
            fp.cull = a.arrayFlags & (kGlArrayCullVertex | kGlArrayCullPoint);
            fp.fastMember = (fp.cull & kGlArrayCullVertex) &&
                            (member == __glTransformArrayPosNormalFast || member == __glTransformArrayPosNormalTexFast);
        }
    }
    if (!planFetches(ctx, &fp)) return nullptr;
    // The point transform the C member would use for this matrix and size.
    const GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return nullptr;
    const GlMatrix &mvp = top->mvp;
    GlXformProc xform = vertexSize == 2 ? mvp.xform2 : vertexSize == 3 ? mvp.xform3 : mvp.xform4;
    XformId id;
    if (!identify(xform, &id)) return nullptr;
    auto word = [](const void *p) { return uint32_t(__glOgWord(p)); };
    const uint32_t key[8] = {kVertexKeyTag,
                             uint32_t(vertexSize) | fp.bits() | plan.bits() | uint32_t(fp.need) << 16,
                             word(reinterpret_cast<const void *>(xform)),
                             word(reinterpret_cast<const void *>(plan.itXform)),
                             word(reinterpret_cast<const void *>(fp.vertex.proc)),
                             word(reinterpret_cast<const void *>(fp.normalArray.proc)),
                             word(reinterpret_cast<const void *>(fp.colorArray.proc)),
                             word(reinterpret_cast<const void *>(fp.texArray.proc))};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheVertex, key, 8, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlRangeTransformProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheVertex, e, &w)) return nullptr;
    e->replaces = reinterpret_cast<const void *>(member);
    emitVertexRoutine(ctx, w, id, xform, fp, plan, member);
    return reinterpret_cast<GlRangeTransformProc>(__glOgFinishWrite(ctx, &w));
}
