// What the line stages, writers and render procs share: the run loops over the pixels of a line
// (all of them, or the live ones of the mask words), the test-stage frame that keeps the mask
// words and the stage result, and the colour scaling of the end points.
#pragma once
#include "icd/core/drawable_lock.h"
#include <cstdint>
#include <cstring>
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/raster/raster_math.h"
#include "icd/core/pick.h"

namespace glline {

using glraster::rasterOf;

inline uint32_t bitOf(int32_t i) { return 0x80000000u >> (i & 31); }
inline GlLineStageList &lineListOf(GlContext *ctx) { return ctx->state.pick.lineList; }

// Calls fn(i, walk) for each pixel of the run, or for the live ones when Masked.
template <bool Masked, class Fn>
inline void forRun(GlContext *ctx, Fn fn) {
    GlRasterState &rs = rasterOf(ctx);
    const uint32_t *mask = rs.maskWords;
    GlLineWalk w(rs.line);
    const int32_t n = rs.line.pixelCount;
    for (int32_t i = 0; i < n; ++i, w.next()) {
        if constexpr (Masked)
            if (!(mask[i >> 5] & bitOf(i))) continue;
        fn(i, w);
    }
}

// A test stage: pass(i, walk) decides each pixel (live pixels only when Masked). The unmasked
// form writes whole mask words and returns 1 when it rejected any pixel, setting the done flag
// when it rejected all; the masked form clears the bits it rejects and returns 1 when no pixel
// is left alive.
template <bool Masked, class Pass>
inline uint8_t testRun(GlContext *ctx, Pass pass) {
    GlRasterState &rs = rasterOf(ctx);
    uint32_t *mask = rs.maskWords;
    const int32_t n = rs.line.pixelCount;
    if (n <= 0) return 0;
    GlLineWalk w(rs.line);
    int32_t failed = 0, alive = 0;
    uint32_t m = 0;
    for (int32_t i = 0; i < n; ++i, w.next()) {
        if ((i & 31) == 0) m = Masked ? mask[i >> 5] : 0xFFFFFFFFu;
        const uint32_t bit = bitOf(i);
        if (!Masked || (m & bit)) {
            if (pass(i, w)) {
                ++alive;
            } else {
                m &= ~bit;
                ++failed;
            }
        }
        if ((i & 31) == 31 || i == n - 1) mask[i >> 5] = m;
    }
    if constexpr (Masked) {
        return alive == 0 ? 1 : 0;
    } else {
        if (failed == 0) return 0;
        if (failed == n) rs.spanDone = 1;
        return 1;
    }
}

// The address of pixel (x, y) (biased window coordinates) of a buffer.
inline uint8_t *bufferAddress(const GlContext *ctx, const GlBuffer &b, int32_t x, int32_t y) {
    return b.base + (ptrdiff_t(y - ctx->limits.biasY) * b.pitch + (x - ctx->limits.biasX)) * b.elementSize;
}

// The end points' colours in the colour buffer's units for the drawing, put back afterwards.
struct ScaledEnds : GlScaledColors<2> {
    void scale(GlContext *ctx, float *c0, float *c1) {
        float *const colors[2] = {c0, c1};
        GlScaledColors<2>::scale(ctx, colors, 2);
    }
};


}  // namespace glline
