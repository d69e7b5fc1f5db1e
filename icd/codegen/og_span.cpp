// Span stage generator: the RGBA shading stage of the span list. Flat shading copies the span
// colour into every pixel of the fragment colour array (with MMX where the context may use it,
// else with integer stores); smooth shading steps each channel by its per-pixel step.
//
// Smooth steps run on the x87 at single precision, each sum rounded to a float as the C stage
// rounds it; the four channels stay on the x87 stack, and the caller's control word is restored
// (and the stack emptied) before the stage returns. The stage's result is 0, as the C stage's.
// Measured against the compiled C stage, the smooth one is slower (the control-word changes and
// the exchanges cost more than the stage saves), so it is made only when "__GL_OG_SMOOTH_SHADE"
// is non-zero.
#include <atomic>
#include <cstdlib>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/raster/raster.h"

namespace icd {
namespace {

constexpr uint32_t kShadeKeyTag = 0x53484144;  // "SHAD"
// Scratch words of the shading stage (the vertex routines use the first eight bytes).
constexpr int32_t kScratchControl = 16;

std::atomic<int> g_smoothOverride{-1};

bool smoothWanted() {
    const int forced = g_smoothOverride.load();
    if (forced >= 0) return forced != 0;
    static const bool wanted = [] {
        const char *v = std::getenv("__GL_OG_SMOOTH_SHADE");
        return v != nullptr && std::atoi(v) != 0;
    }();
    return wanted;
}

void emitFlat(GlContext *ctx, GlOgWriter &w, bool mmx) {
    GlOgState *s = w.s;
    GlRasterState &rs = ctx->state.span.raster;
    GlOgNode *ecx = w.r(kEcx), *edx = w.r(kEdx), *eax = w.r(kEax);
    GlOgNode *loop = w.label(), *out = __glOgShortLabel(s);
    w.op(__glOgMov(s, ecx, w.abs(&rs.spanLength)));
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJle(s, out));
    w.op(__glOgMov(s, edx, w.abs(&rs.fragmentColors)));
    if (mmx) {
        w.op(__glOgMovq(s, __glOgMm(0), w.abs(&rs.spanColor[0])));
        w.op(__glOgMovq(s, __glOgMm(1), w.abs(&rs.spanColor[2])));
        w.place(loop);
        w.op(__glOgMovq(s, w.at(kEdx), __glOgMm(0)));
        w.op(__glOgMovq(s, w.at(kEdx, 8), __glOgMm(1)));
        w.op(__glOgLea(s, edx, w.at(kEdx, 16)));
        w.op(__glOgDec(s, ecx));
        w.op(__glOgJne(s, loop));
        w.op(__glOgEmms(s));
    } else {
        w.op(__glOgPush(s, w.r(kEbx)));
        w.op(__glOgPush(s, w.r(kEsi)));
        w.op(__glOgPush(s, w.r(kEdi)));
        w.op(__glOgMov(s, eax, w.abs(&rs.spanColor[0])));
        w.op(__glOgMov(s, w.r(kEbx), w.abs(&rs.spanColor[1])));
        w.op(__glOgMov(s, w.r(kEsi), w.abs(&rs.spanColor[2])));
        w.op(__glOgMov(s, w.r(kEdi), w.abs(&rs.spanColor[3])));
        w.place(loop);
        w.op(__glOgMov(s, w.at(kEdx), eax));
        w.op(__glOgMov(s, w.at(kEdx, 4), w.r(kEbx)));
        w.op(__glOgMov(s, w.at(kEdx, 8), w.r(kEsi)));
        w.op(__glOgMov(s, w.at(kEdx, 12), w.r(kEdi)));
        w.op(__glOgLea(s, edx, w.at(kEdx, 16)));
        w.op(__glOgDec(s, ecx));
        w.op(__glOgJne(s, loop));
        w.op(__glOgPop(s, w.r(kEdi)));
        w.op(__glOgPop(s, w.r(kEsi)));
        w.op(__glOgPop(s, w.r(kEbx)));
    }
    w.place(out);
    w.op(__glOgXor(s, eax, eax));
    w.op(__glOgRet(s));
}

void emitSmooth(GlContext *ctx, GlOgWriter &w) {
    GlOgState *s = w.s;
    GlRasterState &rs = ctx->state.span.raster;
    uint8_t *scratch = static_cast<uint8_t *>(ctx->codeCaches.scratch);
    GlOgNode *ecx = w.r(kEcx), *edx = w.r(kEdx), *eax = w.r(kEax);
    GlOgNode *loop = w.label(), *out = w.label();
    w.op(__glOgMov(s, ecx, w.abs(&rs.spanLength)));
    w.op(__glOgTest(s, ecx, ecx));
    w.op(__glOgJle(s, out));
    w.op(__glOgMov(s, edx, w.abs(&rs.fragmentColors)));
    w.op(__glOgFnstcw(s, w.abs(scratch + kScratchControl)));
    w.op(__glOgMov(s, eax, w.abs(scratch + kScratchControl)));
    w.op(__glOgAnd(s, eax, w.imm(0xFCFF)));
    w.op(__glOgMov(s, w.abs(scratch + kScratchControl + 4), eax));
    w.op(__glOgFldcw(s, w.abs(scratch + kScratchControl + 4)));
    // The four channels stay on the x87 stack, red in st(0) at the top of every pixel.
    for (int k = 3; k >= 0; --k) w.op(__glOgFld(s, w.abs(&rs.spanColor[k])));
    w.place(loop);
    // Channel k is in st(0) when stored and stepped; the exchanges leave [a b g r]... in an
    // order the three exchanges at the end turn back to [r g b a].
    for (int k = 0; k < 4; ++k) {
        w.op(__glOgFst(s, w.at(kEdx, 4 * k)));
        w.op(__glOgFadd(s, w.abs(&rs.colorStep[k])));
        if (k < 3) w.op(__glOgFxch(s, __glOgSt(k + 1)));
    }
    w.op(__glOgFxch(s, __glOgSt(3)));
    w.op(__glOgFxch(s, __glOgSt(2)));
    w.op(__glOgFxch(s, __glOgSt(1)));
    w.op(__glOgLea(s, edx, w.at(kEdx, 16)));
    w.op(__glOgDec(s, ecx));
    w.op(__glOgJne(s, loop));
    for (int k = 0; k < 4; ++k) w.op(__glOgFstp(s, __glOgSt(0)));
    w.op(__glOgFldcw(s, w.abs(scratch + kScratchControl)));
    w.place(out);
    w.op(__glOgXor(s, eax, eax));
    w.op(__glOgRet(s));
}

}  // namespace
}  // namespace icd

using namespace icd;

void __glOgSetSmoothShadeForTest(int enabled) { g_smoothOverride.store(enabled); }

void __glOgPickShadeStage(GlContext *ctx, GlStageProc *shade) {
    if (!__glOgContextOf(ctx) || !ctx->codeCaches.scratch) return;
    const bool smooth = *shade == __glSpanShadeRgbaSmooth;
    if (smooth ? !smoothWanted() : *shade != __glSpanShadeRgbaFlat) return;
    const bool mmx = !smooth && __glOgCanUseMmx(ctx);
    const uint32_t key[2] = {kShadeKeyTag, uint32_t(smooth) | uint32_t(mmx) << 1};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheSpan, key, 2, &hit);
    if (!e) return;
    if (hit) {
        *shade = reinterpret_cast<GlStageProc>(reinterpret_cast<void *>(e->code));
        return;
    }
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheSpan, e, &w)) return;
    e->replaces = reinterpret_cast<const void *>(*shade);
    if (smooth) emitSmooth(ctx, w);
    else emitFlat(ctx, w, mmx);
    if (void *code = __glOgFinishWrite(ctx, &w)) *shade = reinterpret_cast<GlStageProc>(code);
}
