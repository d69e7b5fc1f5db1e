// Small helpers the pixel operations, readers, renderers and bitmap procs share: where fragments
// go, the index mask, the raster colour in colour-buffer units, depth conversions, the buffer-
// access and lock brackets.
#pragma once
#include "icd/core/drawable_lock.h"
#include <cstdint>
#include <climits>
#include "icd/core/context.h"
#include "icd/core/pick.h"
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_state.h"

namespace glpixel {

// Truncation toward zero that saturates instead of overflowing (NaN gives the most negative value).
inline int32_t truncInt(double v) {
    if (!(v > -2147483649.0)) return INT32_MIN;
    if (v >= 2147483648.0) return INT32_MAX;
    return int32_t(v);
}
// A depth in depth-buffer units, truncated and kept within [0, 2^32 - 1] (NaN gives 0).
inline uint32_t truncDepth(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(v);
}

// The colour buffer fragments are handed to: the draw buffer, or with no colour buffer drawn
// (GL_NONE) the front one, whose colour store is then the empty one, so that depth and stencil
// still see the fragments. Null when the context has no attached colour buffer.
inline GlColorBuffer *fragmentTarget(GlContext *ctx) {
    GlColorBuffers &cbs = ctx->buffers.color;
    if (cbs.drawColorBuffer != nullptr) return cbs.drawColorBuffer;
    return cbs.front.head.context != nullptr ? &cbs.front : nullptr;
}

// The fragment store with its clip-box test (a bare colour store has none).
inline GlFragmentStoreProc plainFragmentStore(GlContext *ctx) {
    const GlFragmentProcs &p = ctx->state.span.fragment;
    return p.store == nullptr || p.store == p.storeColor ? __glStoreFragment : p.store;
}

// The pixel fragment slot: texture and fog first while either is on, else the fragment store.
inline GlFragmentStoreProc pixelFragmentStore(GlContext *ctx) {
    GlProc p = ctx->state.pick.pixelFragment;
    if (p != nullptr) return reinterpret_cast<GlFragmentStoreProc>(reinterpret_cast<void (*)(void)>(p));
    return plainFragmentStore(ctx);
}

inline uint32_t indexMask(GlContext *ctx) { return __glPixelIndexMask(ctx); }

// The current raster colour in the draw buffer's units (the raster index in colour-index mode).
inline void rasterColorInBufferUnits(GlContext *ctx, float *out) {
    const GlCurrentState &c = ctx->current;
    if (!ctx->visual.rgbaMode) {
        out[0] = c.rasterIndex;
        out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if (cb == nullptr) cb = &ctx->buffers.color.front;
    const GlColorScales &s = ctx->scales;
    const float k[4] = {s.redScale != 0.0f ? cb->redScale / s.redScale : 1.0f,
                        s.greenScale != 0.0f ? cb->greenScale / s.greenScale : 1.0f,
                        s.blueScale != 0.0f ? cb->blueScale / s.blueScale : 1.0f,
                        s.alphaScale != 0.0f ? cb->alphaScale / s.alphaScale : 1.0f};
    for (int i = 0; i < 4; ++i) out[i] = c.rasterColor[i] * k[i];
}

// A full-range 32-bit depth (0xFFFFFFFF = 1.0) as the fragment depth of a buffer whose depth 1.0
// is `scale`.
inline uint32_t depthFromFullRange(uint32_t v, uint32_t scale) {
    return uint32_t((uint64_t(v) * scale + 0x7FFFFFFFu) / 0xFFFFFFFFu);
}

// The buffer-access bracket of the pixel operations: fn() runs only when the buffers could be
// prepared; released afterwards with the same mask.
template <class Fn>
inline bool withAccess(GlContext *ctx, uint32_t mask, Fn fn) {
    GlBufferArea &b = ctx->buffers;
    if (b.prepare != nullptr && !b.prepare(ctx, mask)) return false;
    fn();
    if (b.release != nullptr) b.release(ctx, mask);
    return true;
}


// The drawable's row step: +1, or -1 while its rows run top-down.
inline int32_t rowStep(const GlContext *ctx) { return ctx->state.transform.drawable.yInverted ? -1 : 1; }

}  // namespace glpixel
