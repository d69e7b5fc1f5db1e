// Depth-test stage generator of the fast span chain: one routine per depth function, write mask,
// element width, polygon offset and whether the stencil update follows, with the comparison and
// the store folded into the code.
//
// The routine is a chain stage: ecx holds the live mask (bit 31 the chunk's first pixel), edx the
// GlSpan. It walks the pixels while live bits remain; the value of a pixel is the buffer's epoch
// base plus its fixed-point depth (offset and kept within [0, the buffer's scale] under polygon
// offset) shifted to the buffer's precision, compared and stored as 16 or 32 bits, exactly as the
// C stages of the chain do. It ends by jumping to the after-depth slot with the passing pixels in
// ecx, or returns when none passed and no stencil update follows (which must see the pixels
// that failed).
#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"

namespace icd {
namespace {

constexpr uint32_t kFastDepthKeyTag = 0x46445054;  // "FDPT"

// Key bits: the function's low three bits, stencil follows (8), write (16), 16-bit elements
// (0x20), polygon offset (0x40); the buffer's shift from bit 8.
struct FastDepthKey {
    int32_t func;  // 0..7 = GL_NEVER..GL_ALWAYS
    bool stencil, write, half, offset;
    int32_t shift;
    uint32_t word() const {
        return uint32_t(func & 7) | (stencil ? 8u : 0u) | (write ? 16u : 0u) | (half ? 0x20u : 0u) |
               (offset ? 0x40u : 0u) | uint32_t(shift) << 8;
    }
};

constexpr int32_t kSpanContext = int32_t(offsetof(GlSpan, context));
constexpr int32_t kSpanDepthAddress = int32_t(offsetof(GlSpan, depthAddress));
constexpr int32_t kSpanXStep = int32_t(offsetof(GlSpan, xStep));
constexpr int32_t kSpanZ = int32_t(offsetof(GlSpan, z) + offsetof(GlSpanIter, cur));
constexpr int32_t kSpanZStep = int32_t(offsetof(GlSpan, z) + offsetof(GlSpanIter, step));
constexpr int32_t kSpanDepthOffset = int32_t(offsetof(GlSpan, depthOffset));

// ecx = mask, edx = span: the jump through the context's after-depth slot.
void emitTailJump(GlContext *ctx, GlOgWriter &w) {
    const int32_t slot = int32_t(reinterpret_cast<const uint8_t *>(&ctx->state.span.fast.afterDepthTest) -
                                 reinterpret_cast<const uint8_t *>(ctx));
    w.op(__glOgMov(w.s, w.r(kEax), w.at(kEdx, kSpanContext)));
    w.op(__glOgJmpRm(w.s, w.at(kEax, slot)));
}

void emitFastDepthStage(GlContext *ctx, GlOgWriter &w, const FastDepthKey &k) {
    GlOgState *s = w.s;
    GlDepthBuffer &db = ctx->buffers.depth;
    GlOgNode *eax = w.r(kEax), *ebx = w.r(kEbx), *ecx = w.r(kEcx);
    GlOgNode *esi = w.r(kEsi), *edi = w.r(kEdi), *ebp = w.r(kEbp);
    if (k.func == GL_NEVER - GL_NEVER) {
        // Every pixel fails: only a following stencil update has anything to do.
        if (!k.stencil) return w.op(__glOgRet(s));
        w.op(__glOgXor(s, ecx, ecx));
        return emitTailJump(ctx, w);
    }
    const bool test = k.func != GL_ALWAYS - GL_NEVER;
    GlOgNode *loop = __glOgShortLabel(s), *next = __glOgShortLabel(s), *done = __glOgShortLabel(s);
    GlOgNode *fail = __glOgShortLabel(s), *noOverflow = __glOgShortLabel(s), *inRange = __glOgShortLabel(s);
    GlOgNode *go = __glOgShortLabel(s);

    w.op(__glOgPush(s, ebx));
    w.op(__glOgPush(s, esi));
    if (test) w.op(__glOgPush(s, edi));
    w.op(__glOgPush(s, ebp));
    // The element step in bytes, kept on the stack.
    w.op(__glOgMov(s, ebp, w.at(kEdx, kSpanXStep)));
    w.op(__glOgShl(s, ebp, w.imm(k.half ? 1 : 2)));
    w.op(__glOgPush(s, ebp));
    w.op(__glOgMov(s, eax, ecx));
    w.op(__glOgMov(s, ebx, w.at(kEdx, kSpanZ)));
    w.op(__glOgMov(s, esi, w.at(kEdx, kSpanDepthAddress)));
    if (test) {
        // ecx collects the dead and the failing pixels; edi is the current pixel's bit.
        w.op(__glOgXor(s, ecx, w.imm(-1)));
        w.op(__glOgMov(s, edi, w.imm(int32_t(0x80000000u))));
    }

    w.place(loop);
    w.op(__glOgTest(s, eax, eax));
    w.op(__glOgJe(s, done));
    w.op(__glOgJns(s, next));  // bit 31 clear: a dead pixel
    w.op(__glOgMov(s, ebp, ebx));
    if (k.offset) {
        // ebx + bias kept within [0, 2^32 - 1]: a signed sum around 0x80000000 that saturates on
        // overflow, then no more than the buffer's scale.
        w.op(__glOgXor(s, ebp, w.imm(int32_t(0x80000000u))));
        w.op(__glOgAdd(s, ebp, w.at(kEdx, kSpanDepthOffset)));
        w.op(__glOgJno(s, noOverflow));
        w.op(__glOgMov(s, ebp, w.imm(0x7FFFFFFF)));
        w.op(__glOgCmp(s, w.at(kEdx, kSpanDepthOffset), w.imm(0)));
        w.op(__glOgJge(s, noOverflow));
        w.op(__glOgInc(s, ebp));
        w.place(noOverflow);
        w.op(__glOgXor(s, ebp, w.imm(int32_t(0x80000000u))));
        w.op(__glOgCmp(s, ebp, w.abs(&db.scale)));
        w.op(__glOgJbe(s, inRange));
        w.op(__glOgMov(s, ebp, w.abs(&db.scale)));
        w.place(inRange);
    }
    w.shiftBy(ebp, k.shift, 0);
    w.op(__glOgAdd(s, ebp, w.abs(&db.epochBase)));
    if (test) {
        if (k.half) w.op(__glOgOpSize(s));
        w.op(__glOgCmp(s, ebp, w.at(kEsi)));
        w.op(__glOgDepthFailBranch(s, k.func, fail));
    }
    if (k.write) {
        if (k.half) w.op(__glOgOpSize(s));
        w.op(__glOgMov(s, w.at(kEsi), ebp));
    }
    if (test) {
        w.op(__glOgJmp(s, next));
        w.place(fail);
        w.op(__glOgOr(s, ecx, edi));
    }
    w.place(next);
    if (test) w.op(__glOgShr(s, edi, w.imm(1)));
    w.op(__glOgAdd(s, eax, eax));
    w.op(__glOgAdd(s, esi, w.at(kEsp)));
    w.op(__glOgAdd(s, ebx, w.at(kEdx, kSpanZStep)));
    w.op(__glOgJmp(s, loop));

    w.place(done);
    w.op(__glOgPop(s, eax));  // the element step
    w.op(__glOgPop(s, ebp));
    if (test) w.op(__glOgPop(s, edi));
    w.op(__glOgPop(s, esi));
    w.op(__glOgPop(s, ebx));
    if (test) w.op(__glOgXor(s, ecx, w.imm(-1)));  // the live pixels that passed
    if (!k.stencil) {
        w.op(__glOgTest(s, ecx, ecx));
        w.op(__glOgJne(s, go));
        w.op(__glOgRet(s));
        w.place(go);
    }
    emitTailJump(ctx, w);
}

// "__GL_OG_FAST_DEPTH": 0 keeps the prebuilt stages everywhere, 1 puts the generated stage in
// every chain; unset, the generated stage takes the forms the prebuilt table serves one pixel at
// a time and the eight-pixel 16-bit stages stay.
std::atomic<int> g_fastDepthOverride{-1};

int fastDepthSetting() {
    const int forced = g_fastDepthOverride.load();
    if (forced >= 0) return forced;
    static const int fromEnvironment = [] {
        const char *v = std::getenv("__GL_OG_FAST_DEPTH");
        return v != nullptr ? (std::atoi(v) != 0 ? 1 : 0) : -1;
    }();
    return fromEnvironment;
}

}  // namespace
}  // namespace icd

using namespace icd;

void __glOgSetFastDepthStageForTest(int mode) { g_fastDepthOverride.store(mode); }

bool __glOgFastDepthStageWanted(GlContext *ctx) {
    const int setting = fastDepthSetting();
    if (setting >= 0) return setting != 0;
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    return (f & kGlShadePolygonOffset) || ctx->buffers.depth.head.elementSize != 2;
}

GlFastProc __glOgGenDepthTestProc(GlContext *ctx) {
    if (!__glOgContextOf(ctx)) return nullptr;
    const GlDepthBuffer &db = ctx->buffers.depth;
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    const int32_t element = db.head.elementSize;
    int32_t func = int32_t(db.effectiveFunc) - GL_NEVER;
    if (func < 0 || func > 7) func = GL_ALWAYS - GL_NEVER;
    if ((element != 2 && element != 4) || db.shift < 0 || db.shift > 31) return nullptr;
    const FastDepthKey k{func, (f & kGlShadeStencilTest) != 0, ctx->state.depthStencil.depthWriteMask != 0,
                         element == 2, (f & kGlShadePolygonOffset) != 0, db.shift};
    const uint32_t key[2] = {kFastDepthKeyTag, k.word()};
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheDepth, key, 2, &hit);
    if (!e) return nullptr;
    if (hit) return reinterpret_cast<GlFastProc>(reinterpret_cast<void *>(e->code));
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheDepth, e, &w)) return nullptr;
    emitFastDepthStage(ctx, w, k);
    return reinterpret_cast<GlFastProc>(__glOgFinishWrite(ctx, &w));
}
