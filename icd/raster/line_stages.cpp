// The line stage pipeline: the runners, the tails that repeat the per-row or per-buffer part of
// the list for wide lines and for drawing into both colour buffers, and the line stages (scissor,
// stipple, stencil, depth, antialiasing coverage, the generic store). Masked and unmasked twins
// are one template each.
#include <cmath>
#include "icd/raster/line_run.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"

using namespace glline;

namespace {

// Runs stages [from, to): unmasked until one rejects, then masked. Returns false when the run
// ended because no pixel is left; *rejected says which twins ran last.
bool runRange(GlContext *ctx, int32_t from, int32_t to, bool *rejected) {
    GlLineStageList &l = lineListOf(ctx);
    GlRasterState &rs = rasterOf(ctx);
    for (int32_t i = from; i < to; ++i) {
        if (!*rejected) {
            if (l.unmaskedStages[i](ctx) == 0) continue;
            *rejected = true;
            if (rs.spanDone) return false;
        } else if (l.maskedStages[i](ctx) != 0) {
            return false;
        }
    }
    return true;
}

// The tail after the head stages: the wide-line procs when the per-row part is not empty,
// else the front-and-back procs (or the do-nothing ones).
uint8_t runTail(GlContext *ctx, bool rejected) {
    GlLineStageList &l = lineListOf(ctx);
    const bool wide = l.startIndex < l.storeIndex;
    GlStageProc tail = wide ? (rejected ? l.wideTailMasked : l.wideTail)
                            : (rejected ? l.frontBackTailMasked : l.frontBackTail);
    if (tail != nullptr) tail(ctx);
    return 0;
}

// Mask words of the current run, saved so that every row or buffer starts from the same ones.
struct SavedMask {
    uint32_t words[kGlMaskWords];
    int32_t count;
    explicit SavedMask(const GlRasterState &rs) : count((rs.line.pixelCount + 31) >> 5) {
        if (count > kGlMaskWords) count = kGlMaskWords;
        std::memcpy(words, rs.maskWords, size_t(count) * 4);
    }
    void restore(GlRasterState &rs) const { std::memcpy(rs.maskWords, words, size_t(count) * 4); }
};

template <bool Masked>
uint8_t wideStages(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlLineStageList &l = lineListOf(ctx);
    GlLineRaster &line = rs.line;
    const int32_t x = line.x, y = line.y;
    const SavedMask mask(rs);
    for (int32_t row = 0; row < line.width; ++row) {
        if (Masked && row > 0) mask.restore(rs);
        rs.spanDone = 0;
        bool rejected = Masked;
        if (runRange(ctx, l.startIndex, l.storeIndex, &rejected)) {
            GlStageProc last = rejected ? l.frontBackTailMasked : l.frontBackTail;
            if (last != nullptr) last(ctx);
        }
        if (line.yMajor)
            line.x += 1;
        else
            line.y += 1;
    }
    line.x = x;
    line.y = y;
    rs.spanDone = 0;
    return 0;
}

template <bool Masked>
uint8_t frontBackStages(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlLineStageList &l = lineListOf(ctx);
    const int32_t n = rs.line.pixelCount < kGlMaxSpanLength ? rs.line.pixelCount : kGlMaxSpanLength;
    const bool rgba = rs.shadeFlags & kGlShadeRgba;
    // The first buffer's store may change the colours (blending, dither): keep them for the second.
    alignas(16) static thread_local float saved[kGlMaxSpanLength * 4];
    float *colors = rs.fragmentColors;
    if (rgba)
        std::memcpy(saved, colors, size_t(n) * 16);
    else
        for (int32_t i = 0; i < n; ++i) saved[i] = colors[4 * i];
    SavedMask mask(rs);
    const GlStageProc *list = Masked ? l.maskedStages : l.unmaskedStages;
    GlColorBuffers &cbs = ctx->buffers.color;
    rs.targetColorBuffer = &cbs.front;
    for (int32_t i = l.storeIndex; i < l.stageCount; ++i) list[i](ctx);
    if (rgba)
        std::memcpy(colors, saved, size_t(n) * 16);
    else
        for (int32_t i = 0; i < n; ++i) colors[4 * i] = saved[i];
    mask.restore(rs);
    rs.targetColorBuffer = &cbs.back;
    for (int32_t i = l.storeIndex; i < l.stageCount; ++i) list[i](ctx);
    rs.targetColorBuffer = cbs.drawColorBuffer;
    return 0;
}

bool insideBox(const GlClipBox &b, int32_t x, int32_t y) { return x >= b.x0 && x < b.x1 && y >= b.y0 && y < b.y1; }

// The last pixel of the run, from the number of carries its fraction makes.
void lastPixel(const GlLineRaster &l, int32_t *x, int32_t *y) {
    const int64_t t = l.pixelCount - 1;
    const int64_t slope = int64_t(int32_t(l.slope));  // a full step reads as -2^31: it carries every time too
    const int64_t sum = int64_t(l.fraction) + t * slope;
    int64_t u = sum >= 0 ? (sum >> 31) : -((sum >> 31));
    if (u > t) u = t;
    *x = int32_t(l.x + u * l.carryStepX + (t - u) * l.stepX);
    *y = int32_t(l.y + u * l.carryStepY + (t - u) * l.stepY);
}

// The clip box (the scissor box within the drawable): a run whose two end pixels are inside is
// inside as a whole and touches no mask word.
template <bool Masked>
uint8_t scissorStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlClipBox box = glraster::clipBoxOf(ctx);
    const GlLineRaster &l = rs.line;
    if (l.pixelCount <= 0) return 0;
    if (insideBox(box, l.x, l.y)) {
        int32_t lx, ly;
        lastPixel(l, &lx, &ly);
        if (insideBox(box, lx, ly)) return 0;
    }
    return testRun<Masked>(ctx, [&](int32_t, const GlLineWalk &w) { return insideBox(box, w.x, w.y); });
}

uint8_t stippleStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlLineRaster &l = rs.line;
    const GlLineState &ls = ctx->state.line;
    const uint32_t pattern = ls.lineStipplePattern;
    const int32_t repeat = ls.lineStippleRepeat > 0 ? ls.lineStippleRepeat : 1;
    int32_t counter = l.stippleCounter, bit = l.stippleBit & 15;
    uint8_t r = testRun<false>(ctx, [&](int32_t, const GlLineWalk &) {
        bool on = (pattern >> bit) & 1;
        if (++counter >= repeat) {
            counter = 0;
            bit = (bit + 1) & 15;
        }
        return on;
    });
    l.stippleCounter = counter;
    l.stippleBit = bit;
    return r;
}

// Depth of pixel i: the fixed-point start advanced a whole step per 32 pixels, the shifted step
// within a group.
struct LineDepth {
    uint32_t z;
    int32_t step, step32;
    uint32_t epochBase;
    int32_t shift;
    uint32_t value(int32_t i) const {
        uint32_t word = z + uint32_t(i >> 5) * uint32_t(step32);
        return epochBase + (word >> shift) + uint32_t(i & 31) * uint32_t(step >> shift);
    }
};

LineDepth depthOf(GlContext *ctx) {
    const GlRasterState &rs = rasterOf(ctx);
    const GlDepthBuffer &db = ctx->buffers.depth;
    return {rs.spanZ, rs.zStep, rs.zStep32, db.epochBase, db.shift};
}

GlDepthValueProc depthProcOf(GlContext *ctx) {
    GlDepthValueProc p = ctx->buffers.depth.fragmentTest;
    return p != nullptr ? p : __glDepthValueProcs[0];
}

const GlBuffer *attached(const GlBuffer &b) { return b.context != nullptr && b.base != nullptr ? &b : nullptr; }

template <bool Masked>
uint8_t stencilStage(GlContext *ctx) {
    const GlBuffer *sh = attached(ctx->buffers.stencil.head);
    if (sh == nullptr) return 0;  // no stencil memory: the test passes
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    return testRun<Masked>(ctx, [&](int32_t, const GlLineWalk &w) {
        uint8_t *s = bufferAddress(ctx, *sh, w.x, w.y);
        uint8_t v = *s & sb.valueBits;
        if (sb.testTable[v]) return true;
        *s = sb.failTable[v];
        return false;
    });
}

template <bool Masked, bool Stencil>
uint8_t depthStage(GlContext *ctx) {
    const GlBuffer *dh = attached(ctx->buffers.depth.head);
    const GlBuffer *sh = Stencil ? attached(ctx->buffers.stencil.head) : nullptr;
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    const LineDepth z = depthOf(ctx);
    const GlDepthValueProc proc = depthProcOf(ctx);
    return testRun<Masked>(ctx, [&](int32_t i, const GlLineWalk &w) {
        // Without depth memory the test passes.
        const bool pass = dh == nullptr || proc(z.value(i), bufferAddress(ctx, *dh, w.x, w.y)) != 0;
        if (Stencil && sh != nullptr) {
            uint8_t *s = bufferAddress(ctx, *sh, w.x, w.y);
            uint8_t v = *s & sb.valueBits;
            *s = pass ? sb.depthPassTable[v] : sb.depthFailTable[v];
        }
        return pass;
    });
}

template <bool Masked>
uint8_t stencilDepthPassStage(GlContext *ctx) {
    const GlBuffer *sh = attached(ctx->buffers.stencil.head);
    if (sh == nullptr) return 0;
    const GlStencilBuffer &sb = ctx->buffers.stencil;
    forRun<Masked>(ctx, [&](int32_t, const GlLineWalk &w) {
        uint8_t *s = bufferAddress(ctx, *sh, w.x, w.y);
        *s = sb.depthPassTable[*s & sb.valueBits];
    });
    return 0;
}

// Coverage of the antialiased line at each pixel from its distance along the line (a) and from
// its axis (d); the stipple pattern is sampled at the pixel's position along the line, blending
// the two pattern bits around it. Alpha (or the index's low bits) carries the coverage.
template <bool Masked>
uint8_t antiAliasStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlLineRaster &l = rs.line;
    const float h = l.halfWidth, e = l.length - 0.5f;
    const bool stipple = rs.shadeFlags & kGlShadeLineStipple;
    const bool rgba = rs.shadeFlags & kGlShadeRgba;
    const uint32_t pattern = ctx->state.line.lineStipplePattern;
    auto patternBit = [&](float k) { return float((pattern >> (int32_t(k * l.stippleRecip) & 15)) & 1); };
    float a = l.along, d = l.axis;
    float *colors = rs.fragmentColors;
    int32_t i = 0;
    uint32_t fraction = l.fraction;
    return testRun<Masked>(ctx, [&](int32_t at, const GlLineWalk &) {
        // The distances follow the walk: step them up to this pixel.
        for (; i < at; ++i) {
            fraction += l.slope;
            if (fraction & 0x80000000u) {
                fraction &= 0x7FFFFFFFu;
                a += l.alongCarry;
                d += l.axisCarry;
            } else {
                a += l.alongStep;
                d += l.axisStep;
            }
        }
        const float ad = std::fabs(d);
        float c = ad <= h ? 1.0f : h + 1.0f - ad;
        if (c < 0.0f) return false;
        if (a < 0.5f) c *= a + 0.5f;
        if (a > e) c *= e - a + 1.0f;
        if (stipple) {
            float p = a <= 0.5f ? l.stipplePhase + 0.5f : a + l.stipplePhase;
            float k = std::floor(p), f = p - k;
            c *= (1.0f - f) * patternBit(k) + f * patternBit(k + 1.0f);
        }
        if (!(c > 0.0f)) return false;
        float *px = colors + 4 * at;
        if (rgba)
            px[3] *= c;
        else
            px[0] = __glCoverageToIndex(px[0], c);
        return true;
    });
}

template <bool Masked>
uint8_t storeStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlColorBuffer *cb = rs.targetColorBuffer;
    if (cb == nullptr || cb->storePixel == nullptr) return 0;
    const float *colors = rs.fragmentColors;
    GlFragment frag;
    frag.z = 0;
    forRun<Masked>(ctx, [&](int32_t i, const GlLineWalk &w) {
        frag.x = w.x;
        frag.y = w.y;
        std::memcpy(frag.color, colors + 4 * i, 16);
        cb->storePixel(cb, &frag);
    });
    return 0;
}

}  // namespace

uint8_t __glLineRenderStages(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    rs.targetColorBuffer = ctx->buffers.color.drawColorBuffer;
    rs.spanDone = 0;
    bool rejected = false;
    if (!runRange(ctx, 0, lineListOf(ctx).startIndex, &rejected)) return 1;
    return runTail(ctx, rejected);
}

uint8_t __glLineRenderStages3(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    rs.targetColorBuffer = ctx->buffers.color.drawColorBuffer;
    rs.spanDone = 0;
    bool rejected = false;
    return runRange(ctx, 0, 3, &rejected) ? 0 : 1;
}

uint8_t __glLineWideStages(GlContext *ctx) { return wideStages<false>(ctx); }
uint8_t __glLineWideStagesMasked(GlContext *ctx) { return wideStages<true>(ctx); }
uint8_t __glLineFrontBackStages(GlContext *ctx) { return frontBackStages<false>(ctx); }
uint8_t __glLineFrontBackStagesMasked(GlContext *ctx) { return frontBackStages<true>(ctx); }
uint8_t __glLineScissor(GlContext *ctx) { return scissorStage<false>(ctx); }
uint8_t __glLineScissorMasked(GlContext *ctx) { return scissorStage<true>(ctx); }
uint8_t __glLineStipple(GlContext *ctx) { return stippleStage(ctx); }
uint8_t __glLineStencilTest(GlContext *ctx) { return stencilStage<false>(ctx); }
uint8_t __glLineStencilTestMasked(GlContext *ctx) { return stencilStage<true>(ctx); }
uint8_t __glLineDepthTest(GlContext *ctx) { return depthStage<false, false>(ctx); }
uint8_t __glLineDepthTestMasked(GlContext *ctx) { return depthStage<true, false>(ctx); }
uint8_t __glLineDepthStencilTest(GlContext *ctx) { return depthStage<false, true>(ctx); }
uint8_t __glLineDepthStencilTestMasked(GlContext *ctx) { return depthStage<true, true>(ctx); }
uint8_t __glLineStencilDepthPass(GlContext *ctx) { return stencilDepthPassStage<false>(ctx); }
uint8_t __glLineStencilDepthPassMasked(GlContext *ctx) { return stencilDepthPassStage<true>(ctx); }
uint8_t __glLineAntiAlias(GlContext *ctx) { return antiAliasStage<false>(ctx); }
uint8_t __glLineAntiAliasMasked(GlContext *ctx) { return antiAliasStage<true>(ctx); }
uint8_t __glLineStore(GlContext *ctx) { return storeStage<false>(ctx); }
uint8_t __glLineStoreMasked(GlContext *ctx) { return storeStage<true>(ctx); }
