// Small arithmetic every rasteriser shares: saturating conversions of interpolated values, and
// the bracket that scales vertex colours to the colour buffer's units for one primitive.
#pragma once
#include <cstdint>
#include <cstring>
#include "icd/core/context.h"
#include "icd/core/shade_flags.h"
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"

// Truncation toward zero that saturates instead of overflowing (NaN gives the most negative
// value, as the processor's own conversion does).
inline int32_t __glTruncInt(double v) {
    if (!(v > -2147483649.0)) return INT32_MIN;
    if (v >= 2147483648.0) return INT32_MAX;
    return int32_t(v);
}
// A depth value in depth-buffer units, truncated and kept within [0, 2^32 - 1] (NaN gives 0).
inline uint32_t __glTruncDepth(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(v);
}

// Window coordinates a point or line is set up from: finite and within 2^24 of the origin. No
// drawable reaches that far, and clipped primitives stay inside a viewport at most 2048 pixels
// wide, so a coordinate beyond it belongs to a primitive wholly off the window; inside it every
// pixel index and pixel count fits an int32 with room to spare (beyond it a NaN, an infinity or
// a viewport placed near the int limits would convert to INT_MIN and walk 2^31 pixels).
constexpr float kGlMaxRasterCoordinate = 16777216.0f;
inline bool __glRasterCoordinateUsable(float v) { return v > -kGlMaxRasterCoordinate && v < kGlMaxRasterCoordinate; }

// The colour buffer a primitive hands the fragment stores: the draw buffer, or without one
// (GL_NONE) the front record, which then only carries the context to the depth and stencil
// tests, the colour store being the do-nothing one. Null when nothing would be written at all:
// no colour buffer and neither depth nor stencil test.
inline GlColorBuffer *__glFragmentTarget(GlContext *ctx) {
    GlColorBuffers &cbs = ctx->buffers.color;
    if (cbs.drawColorBuffer != nullptr) return cbs.drawColorBuffer;
    const uint32_t f = glraster::rasterOf(ctx).shadeFlags;
    return (f & (kGlShadeDepthTest | kGlShadeStencilTest)) ? &cbs.front : nullptr;
}

// The colours a primitive reads, scaled from vertex units to the colour buffer's units for the
// drawing and put back afterwards. Vertices may share one colour record: each is scaled once.
template <int N>
struct GlScaledColors {
    float *ptr[N];
    float saved[N][4];
    int n = 0;

    void scale(GlContext *ctx, float *const *colors, int count) {
        const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
        const GlColorScales &s = ctx->scales;
        if (cb == nullptr || !(glraster::rasterOf(ctx).shadeFlags & kGlShadeRgba)) return;
        const float k[4] = {cb->redScale / s.redScale, cb->greenScale / s.greenScale, cb->blueScale / s.blueScale,
                            cb->alphaScale / s.alphaScale};
        for (int i = 0; i < count && n < N; ++i) {
            float *c = colors[i];
            bool seen = c == nullptr;
            for (int j = 0; j < n && !seen; ++j) seen = ptr[j] == c;
            if (seen) continue;
            ptr[n] = c;
            std::memcpy(saved[n], c, 16);
            for (int j = 0; j < 4; ++j) c[j] *= k[j];
            ++n;
        }
    }
    void restore() {
        for (int i = 0; i < n; ++i) std::memcpy(ptr[i], saved[i], 16);
    }
};
