// Depth-test stage generator: the span list's depth stage for one comparison function, write
// mode, element width and depth shift, with the per-pixel test folded into straight-line code.
//
// The stage does what __glSpanDepthTest (and its masked twin) do with the same fragment test:
// the depth value starts at epochBase + (z >> shift) at every 32-pixel word and steps by
// zStep >> shift within it; the mask words and the stage result are those of the C stage.
#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/raster.h"

namespace icd {

GlOgNode *__glOgDepthFailBranch(GlOgState *s, int32_t func, GlOgNode *target) {
    switch (func) {
    case GL_LESS - GL_NEVER: return __glOgJae(s, target);
    case GL_EQUAL - GL_NEVER: return __glOgJne(s, target);
    case GL_LEQUAL - GL_NEVER: return __glOgJa(s, target);
    case GL_GREATER - GL_NEVER: return __glOgJbe(s, target);
    case GL_NOTEQUAL - GL_NEVER: return __glOgJe(s, target);
    default: return __glOgJb(s, target);  // GL_GEQUAL
    }
}

namespace {

constexpr uint32_t kDepthKeyTag = 0x44455054;  // "DEPT"

struct DepthKey {
    bool masked;
    int32_t func;         // 0..7 = GL_NEVER..GL_ALWAYS
    bool write;
    int32_t loadBytes;    // element width the comparison reads: 2 or 4
    int32_t stepBytes;    // the buffer's element size
    int32_t shift;
    GlDepthValueProc proc;  // the fragment test the stage stands for
};

// Stack frame after the four pushes and the locals.
enum : int32_t { kWordZ = 0, kPixelStep = 4, kAnyPass = 8, kAnyFail = 12, kLocals = 16 };

void emitDepthStage(GlContext *ctx, GlOgWriter &w, const DepthKey &k) {
    GlOgState *s = w.s;
    GlRasterState &rs = ctx->state.span.raster;
    GlDepthBuffer &db = ctx->buffers.depth;
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *ecx = w.r(kEcx), *edx = w.r(kEdx);
    GlOgNode *esi = w.r(kEsi), *edi = w.r(kEdi), *ebp = w.r(kEbp), *esp = w.r(kEsp);
    const void *cStage = k.masked ? reinterpret_cast<const void *>(&__glSpanDepthTestMasked)
                                  : reinterpret_cast<const void *>(&__glSpanDepthTest);
    GlOgNode *toC = __glOgOutsideLabel(s, cStage, "C depth stage");
    // The stage must fit a 256-byte entry: branches inside it are short.
    GlOgNode *loop = w.label(), *fail = __glOgShortLabel(s), *next = __glOgShortLabel(s);
    GlOgNode *done = __glOgShortLabel(s), *out = __glOgShortLabel(s);

    // An empty span, a missing depth buffer or a changed test: the C stage's business.
    w.op(__glOgCmp(s, w.abs(&rs.spanLength), w.imm(0)));
    w.op(__glOgJle(s, toC));
    w.op(__glOgCmp(s, w.abs(&rs.depthAddress), w.imm(0)));
    w.op(__glOgJe(s, toC));
    w.op(__glOgCmp(s, w.abs(&db.fragmentTest), w.imm(__glOgWord(reinterpret_cast<const void *>(k.proc)))));
    w.op(__glOgJne(s, toC));

    w.op(__glOgPush(s, ebp));
    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, esi));
    w.op(__glOgPush(s, edi));
    w.op(__glOgXor(s, eax, eax));
    for (int i = 0; i < kLocals / 4; ++i) w.op(__glOgPush(s, eax));  // locals, all 0
    w.op(__glOgMov(s, ecx, w.abs(&rs.spanLength)));
    w.op(__glOgMov(s, esi, w.abs(&rs.depthAddress)));
    w.op(__glOgMov(s, eax, w.abs(&rs.spanZ)));
    w.op(__glOgMov(s, w.at(kEsp, kWordZ), eax));
    w.op(__glOgMov(s, edi, eax));
    w.shiftBy(edi, k.shift, 0);
    w.op(__glOgAdd(s, edi, w.abs(&db.epochBase)));
    w.op(__glOgMov(s, eax, w.abs(&rs.zStep)));
    w.op(__glOgSar(s, eax, w.imm(k.shift)));
    w.op(__glOgMov(s, w.at(kEsp, kPixelStep), eax));
    w.op(__glOgMov(s, edx, w.abs(&rs.maskWords)));
    if (k.masked) w.op(__glOgMov(s, ebx, w.at(kEdx)));
    else w.op(__glOgMov(s, ebx, w.imm(-1)));
    w.op(__glOgMov(s, ebp, w.imm(int32_t(0x80000000u))));

    // ebx: the word's mask, ebp: the pixel's bit, edi: its depth value, esi: its element.
    w.place(loop);
    if (k.masked) {
        w.op(__glOgTest(s, ebx, ebp));
        w.op(__glOgJe(s, next));
    }
    if (k.func == GL_NEVER - GL_NEVER) {
        w.op(__glOgJmp(s, fail));
    } else {
        if (k.func != GL_ALWAYS - GL_NEVER) {
            if (k.loadBytes == 2) w.op(__glOgMovzx16(s, eax, w.at(kEsi)));
            else w.op(__glOgMov(s, eax, w.at(kEsi)));
            w.op(__glOgCmp(s, edi, eax));
            w.op(__glOgDepthFailBranch(s, k.func, fail));
        }
        if (k.write) {
            if (k.loadBytes == 2) w.op(__glOgOpSize(s));
            w.op(__glOgMov(s, w.at(kEsi), edi));
        }
        w.op(__glOgOr(s, w.at(kEsp, kAnyPass), ebp));
    }
    w.place(next);
    w.op(__glOgLea(s, esi, w.at(kEsi, k.stepBytes)));
    w.op(__glOgAdd(s, edi, w.at(kEsp, kPixelStep)));
    w.op(__glOgDec(s, ecx));
    w.op(__glOgJe(s, done));
    w.op(__glOgShr(s, ebp, w.imm(1)));
    w.op(__glOgJne(s, loop));
    // The next 32-pixel word: store this word's mask, restart the value from the word's depth.
    w.op(__glOgMov(s, w.at(kEdx), ebx));
    w.op(__glOgLea(s, edx, w.at(kEdx, 4)));
    if (k.masked) w.op(__glOgMov(s, ebx, w.at(kEdx)));
    else w.op(__glOgMov(s, ebx, w.imm(-1)));
    w.op(__glOgMov(s, eax, w.at(kEsp, kWordZ)));
    w.op(__glOgAdd(s, eax, w.abs(&rs.zStep32)));
    w.op(__glOgMov(s, w.at(kEsp, kWordZ), eax));
    w.shiftBy(eax, k.shift, 0);
    w.op(__glOgAdd(s, eax, w.abs(&db.epochBase)));
    w.op(__glOgMov(s, edi, eax));
    w.op(__glOgMov(s, ebp, w.imm(int32_t(0x80000000u))));
    w.op(__glOgJmp(s, loop));

    // A failing pixel: its bit is set in the mask, so clearing it is a flip.
    w.place(fail);
    w.op(__glOgXor(s, ebx, ebp));
    w.op(__glOgOr(s, w.at(kEsp, kAnyFail), ebp));
    w.op(__glOgJmp(s, next));

    w.place(done);
    w.op(__glOgMov(s, w.at(kEdx), ebx));
    w.op(__glOgXor(s, eax, eax));
    if (k.masked) {
        // 1 when no pixel is left alive.
        w.op(__glOgCmp(s, w.at(kEsp, kAnyPass), w.imm(0)));
        w.op(__glOgJne(s, out));
        w.op(__glOgInc(s, eax));
    } else {
        // 0 when nothing failed; 1 otherwise, and the span is done when nothing passed.
        w.op(__glOgCmp(s, w.at(kEsp, kAnyFail), w.imm(0)));
        w.op(__glOgJe(s, out));
        w.op(__glOgInc(s, eax));
        w.op(__glOgCmp(s, w.at(kEsp, kAnyPass), w.imm(0)));
        w.op(__glOgJne(s, out));
        w.op(__glOgMov(s, w.abs(&rs.spanDone), w.r8(0)));
    }
    w.place(out);
    w.op(__glOgLea(s, esp, w.at(kEsp, kLocals)));
    w.op(__glOgPop(s, edi));
    w.op(__glOgPop(s, esi));
    w.op(__glOgPop(s, ebx));
    w.op(__glOgPop(s, ebp));
    w.op(__glOgRet(s));
}

GlStageProc depthStage(GlContext *ctx, const DepthKey &k) {
    const uint32_t key[3] = {kDepthKeyTag,
                             uint32_t(k.masked) | uint32_t(k.func) << 1 | uint32_t(k.write) << 4 |
                                 uint32_t(k.loadBytes) << 8 | uint32_t(k.stepBytes) << 12 | uint32_t(k.shift) << 16,
                             uint32_t(__glOgWord(reinterpret_cast<const void *>(k.proc)))};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheDepth, key, 3, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlStageProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheDepth, e, &w)) return nullptr;
    e->replaces = k.masked ? reinterpret_cast<const void *>(&__glSpanDepthTestMasked)
                           : reinterpret_cast<const void *>(&__glSpanDepthTest);
    emitDepthStage(ctx, w, k);
    return reinterpret_cast<GlStageProc>(__glOgFinishWrite(ctx, &w));
}

}  // namespace
}  // namespace icd

using namespace icd;

void __glOgPickDepthStages(GlContext *ctx, GlStageProc *unmasked, GlStageProc *masked) {
    if (!__glOgContextOf(ctx)) return;
    const GlDepthBuffer &db = ctx->buffers.depth;
    GlDepthValueProc proc = db.fragmentTest != nullptr ? db.fragmentTest : __glDepthValueProcs[0];
    int32_t index = -1;
    for (int32_t i = 0; i < 32; ++i)
        if (__glDepthValueProcs[i] == proc) index = i;
    const int32_t stepBytes = db.head.elementSize > 0 ? db.head.elementSize : 1;
    if (index < 0 || db.shift < 0 || db.shift > 31 || (stepBytes != 2 && stepBytes != 4)) return;
    DepthKey k{false, index & 7, (index & 8) == 0, (index & 16) ? 4 : 2, stepBytes, db.shift, proc};
    GlStageProc u = depthStage(ctx, k);
    k.masked = true;
    GlStageProc m = u ? depthStage(ctx, k) : nullptr;
    if (!u || !m) return;
    *unmasked = u;
    *masked = m;
}
