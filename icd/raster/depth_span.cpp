// The stencil and depth span stages. Stencil results are table lookups by the stored value;
// depth values are recomputed from the fixed-point start at every 32-pixel word and stepped by
// the shifted per-pixel step within it, each pixel tested by the fragment depth proc that the
// depth picking chose. With polygon offset the span splits into at most two runs, one of them at
// a constant clamped depth.
#include <bit>
#include <cstring>
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/raster/raster_math.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"

using namespace glraster;

namespace {

constexpr uint32_t kAll = 0xFFFFFFFFu;
uint32_t bitOf(int32_t i) { return 0x80000000u >> (i & 31); }

// A stretch of the span with one start depth (fixed point, before the shift), per-pixel and
// per-word steps, and the depth proc that tests it.
struct DepthRun {
    int32_t count;
    uint32_t z;
    int32_t step, step32;
    GlDepthValueProc proc;
};

enum class Stencil { None, DepthPassFail };

// Walks the runs over the span: tests each live pixel, applies the depth-pass or depth-fail
// stencil operation when asked, and keeps the mask words. Returns the stage result.
template <bool Masked, Stencil S>
uint8_t walkDepth(GlContext *ctx, const DepthRun *runs, int32_t runCount) {
    GlRasterState &rs = rasterOf(ctx);
    const int32_t len = rs.spanLength;
    if (len <= 0) return 0;
    const GlDepthBuffer &db = ctx->buffers.depth;
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    const int32_t es = db.head.elementSize > 0 ? db.head.elementSize : 1;
    uint8_t *const addr = rs.depthAddress;
    const bool haveDepth = addr != nullptr;
    uint8_t *st = rs.stencilAddress;
    uint32_t *mask = rs.maskWords;
    uint32_t m = Masked ? mask[0] : kAll;
    int32_t i = 0, failed = 0, alive = 0;
    for (int32_t r = 0; r < runCount; ++r) {
        const DepthRun &run = runs[r];
        const int32_t startBit = i & 31;
        const uint32_t pixelStep = uint32_t(run.step >> db.shift);
        uint32_t wordZ = run.z;
        bool firstWord = true;
        uint32_t value = db.epochBase + (wordZ >> db.shift);
        for (int32_t n = 0; n < run.count; ++n, ++i, value += pixelStep) {
            if (i > 0 && (i & 31) == 0) {
                mask[(i >> 5) - 1] = m;
                m = Masked ? mask[i >> 5] : kAll;
                if (n > 0) {
                    // A run that began inside a word reaches the next word after 32 - startBit
                    // pixels; whole words follow.
                    wordZ = firstWord ? uint32_t(int64_t(run.z) + int64_t(run.step32) * (32 - startBit) / 32)
                                      : wordZ + uint32_t(run.step32);
                    firstWord = false;
                    value = db.epochBase + (wordZ >> db.shift);
                }
            }
            const uint32_t bit = bitOf(i);
            if (Masked && !(m & bit)) continue;
            // Without depth memory the test passes, as GL has it for a missing depth buffer.
            const bool pass = !haveDepth || run.proc(value, addr + ptrdiff_t(i) * es) != 0;
            if constexpr (S == Stencil::DepthPassFail) {
                if (st != nullptr) {
                    uint8_t *s = st + i;
                    *s = pass ? sb.depthPassTable[*s & sb.valueBits] : sb.depthFailTable[*s & sb.valueBits];
                }
            }
            if (pass) {
                ++alive;
            } else {
                m &= ~bit;
                ++failed;
            }
        }
    }
    mask[(len - 1) >> 5] = m;
    if constexpr (Masked) {
        return alive == 0 ? 1 : 0;
    } else {
        if (failed == 0) return 0;
        if (failed == len) rs.spanDone = 1;
        return 1;
    }
}

GlDepthValueProc fragmentProcOf(GlContext *ctx) {
    GlDepthValueProc p = ctx->buffers.depth.fragmentTest;
    return p != nullptr ? p : __glDepthValueProcs[0];
}

int32_t plainRun(GlContext *ctx, DepthRun *runs) {
    const GlRasterState &rs = rasterOf(ctx);
    runs[0] = {rs.spanLength, rs.spanZ, rs.zStep, rs.zStep32, fragmentProcOf(ctx)};
    return 1;
}

// A constant run at a clamp limit: with GL_LESS a non-zero limit, and with GL_GREATER a zero
// one, can never pass.
DepthRun constantRun(GlContext *ctx, int32_t count, uint32_t z) {
    GLenum f = ctx->buffers.depth.effectiveFunc;
    bool never = (f == GL_LESS && z != 0) || (f == GL_GREATER && z == 0);
    return {count, z, 0, 0, never ? __glDepthValueProcs[0] : fragmentProcOf(ctx)};
}

// The runs of a polygon-offset span: the offset depth is interpolated until it reaches a clamp
// limit and held there after.
int32_t clampedRuns(GlContext *ctx, DepthRun *runs) {
    const GlRasterState &rs = rasterOf(ctx);
    const int32_t len = rs.spanLength;
    const float toLimit = rs.offsetPixelsToLimit, fullRange = rs.offsetPixelsFullRange;
    const GlDepthValueProc proc = fragmentProcOf(ctx);
    if (std::bit_cast<int32_t>(toLimit) < 1) {
        runs[0] = constantRun(ctx, len, rs.offsetFarLimit);
        return 1;
    }
    if (toLimit >= fullRange) {
        int32_t u = int32_t(toLimit - fullRange + 1.0f);
        if (u >= len) {
            runs[0] = constantRun(ctx, len, rs.offsetNearLimit);
            return 1;
        }
        int32_t n = 0;
        if (u > 0) runs[n++] = constantRun(ctx, u, rs.offsetNearLimit);
        double z = double(rs.offsetZ) + double(rs.zStep) * (u % 32) + double(rs.zStep32) * (u / 32);
        runs[n++] = {len - (u > 0 ? u : 0), __glTruncDepth(z), rs.zStep, rs.zStep32, proc};
        return n;
    }
    const uint32_t start = __glTruncDepth(double(rs.offsetZ));
    if (toLimit < float(len)) {
        int32_t tail = int32_t(float(len) - toLimit);
        if (tail > 0) {
            runs[0] = {len - tail, start, rs.zStep, rs.zStep32, proc};
            runs[1] = constantRun(ctx, tail, rs.offsetFarLimit);
            return runs[0].count > 0 ? 2 : (runs[0] = runs[1], 1);
        }
    }
    runs[0] = {len, start, rs.zStep, rs.zStep32, proc};
    return 1;
}

template <bool Masked, bool Clamped, Stencil S>
uint8_t depthStage(GlContext *ctx) {
    DepthRun runs[2];
    int32_t n = Clamped ? clampedRuns(ctx, runs) : plainRun(ctx, runs);
    return walkDepth<Masked, S>(ctx, runs, n);
}

// The stencil test alone: failing pixels take the stencil-fail operation and are rejected.
template <bool Masked>
uint8_t stencilStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const int32_t len = rs.spanLength;
    if (len <= 0) return 0;
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    uint8_t *s = rs.stencilAddress;
    if (s == nullptr) return 0;  // no stencil memory: the test passes
    int32_t failed = 0, alive = 0;
    for (int32_t w = 0; w < ((len + 31) >> 5); ++w) {
        uint32_t m = Masked ? rs.maskWords[w] : kAll;
        int32_t end = len < 32 * w + 32 ? len : 32 * w + 32;
        for (int32_t i = 32 * w; i < end; ++i) {
            if (Masked && !(m & bitOf(i))) continue;
            uint8_t v = s[i] & sb.valueBits;
            if (sb.testTable[v]) {
                ++alive;
            } else {
                s[i] = sb.failTable[v];
                m &= ~bitOf(i);
                ++failed;
            }
        }
        rs.maskWords[w] = m;
    }
    if constexpr (Masked) {
        return alive == 0 ? 1 : 0;
    } else {
        if (failed == 0) return 0;
        if (failed == len) rs.spanDone = 1;
        return 1;
    }
}

// Stencil on, depth test off: every live pixel takes the depth-pass operation.
template <bool Masked>
uint8_t stencilDepthPassStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    uint8_t *s = rs.stencilAddress;
    if (s == nullptr) return 0;
    for (int32_t i = 0; i < rs.spanLength; ++i) {
        if (Masked && !(rs.maskWords[i >> 5] & bitOf(i))) continue;
        s[i] = sb.depthPassTable[s[i] & sb.valueBits];
    }
    return 0;
}

}  // namespace

uint8_t __glSpanStencilTest(GlContext *ctx) { return stencilStage<false>(ctx); }
uint8_t __glSpanStencilTestMasked(GlContext *ctx) { return stencilStage<true>(ctx); }
uint8_t __glSpanStencilDepthPass(GlContext *ctx) { return stencilDepthPassStage<false>(ctx); }
uint8_t __glSpanStencilDepthPassMasked(GlContext *ctx) { return stencilDepthPassStage<true>(ctx); }
uint8_t __glSpanDepthTest(GlContext *ctx) { return depthStage<false, false, Stencil::None>(ctx); }
uint8_t __glSpanDepthTestMasked(GlContext *ctx) { return depthStage<true, false, Stencil::None>(ctx); }
uint8_t __glSpanDepthTestClamped(GlContext *ctx) { return depthStage<false, true, Stencil::None>(ctx); }
uint8_t __glSpanDepthTestClampedMasked(GlContext *ctx) { return depthStage<true, true, Stencil::None>(ctx); }
uint8_t __glSpanDepthStencilTest(GlContext *ctx) { return depthStage<false, false, Stencil::DepthPassFail>(ctx); }
uint8_t __glSpanDepthStencilTestMasked(GlContext *ctx) { return depthStage<true, false, Stencil::DepthPassFail>(ctx); }
uint8_t __glSpanDepthStencilTestClamped(GlContext *ctx) {
    return depthStage<false, true, Stencil::DepthPassFail>(ctx);
}
uint8_t __glSpanDepthStencilTestClampedMasked(GlContext *ctx) {
    return depthStage<true, true, Stencil::DepthPassFail>(ctx);
}
