// The colour-index buffer: one store and one fetch definition for 1-, 2- and 4-byte indices,
// the span stores, and the per-pixel, block-fill and dithered block-fill clears.
#include <bit>
#include <algorithm>
#include "icd/raster/index_buffer.h"
#include "icd/raster/color_pixel.h"

using namespace glraster;

namespace {

GlContext *contextOf(const GlColorBuffer *cb) { return cb->head.context; }

uint32_t indexMaskOf(const GlContext *ctx) {
    const int32_t bits = ctx->visual.colorBits;
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

// An index to the element width: truncated toward zero; out-of-range values keep their low bits.
inline uint32_t truncIndex(float v) {
    const double d = double(v);
    if (!(d > -9.0e18 && d < 9.0e18)) return 0;
    return uint32_t(uint64_t(int64_t(d)));
}

template <int Bytes>
void storeIndex(GlColorBuffer *cb, const GlFragment *f) {
    GlContext *ctx = contextOf(cb);
    const uint32_t flags = rasterOf(ctx).shadeFlags;
    if ((flags & kGlShadeFrontClip) && !__glPixelMaskBit(ctx, f->x, f->y)) return;
    uint8_t *p = pixelAddress<Bytes>(cb, f->x, f->y);
    const float d = (flags & kGlShadeDither) ? __glDitherOffset[f->y & 3][f->x & 3] : 0.5f;
    uint32_t v = truncIndex(f->color[0] + d);
    const uint32_t old = loadElement<Bytes>(cb, p);
    if (flags & kGlShadeLogicOp) v = applyLogicOp(ctx->state.mode.logicOp, v, old);
    storeElement<Bytes>(cb, p, (v & cb->writeMask) | (old & cb->keepMask));
}

template <int Bytes>
void fetchIndex(GlColorBuffer *cb, int32_t x, int32_t y, float *out) {
    out[0] = float(loadElement<Bytes>(cb, pixelAddress<Bytes>(cb, x, y)));
}

template <bool Masked>
uint8_t storeSpan(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlColorBuffer *cb = rs.targetColorBuffer;
    GlFragment f{0, rs.spanY, 0, {0, 0, 0, 0}};
    for (int32_t i = 0; i < rs.spanLength; ++i) {
        if constexpr (Masked)
            if (!(rs.maskWords[i >> 5] & (0x80000000u >> (i & 31)))) continue;
        f.x = rs.spanX + i;
        f.color[0] = rs.fragmentColors[4 * i];
        cb->storePixel(cb, &f);
    }
    return 0;
}

float clearIndexOf(const GlColorBuffer *cb) { return contextOf(cb)->state.color.clearIndex; }

}  // namespace

void __glStoreIndexPixel8(GlColorBuffer *cb, const GlFragment *f) { storeIndex<1>(cb, f); }
void __glStoreIndexPixel16(GlColorBuffer *cb, const GlFragment *f) { storeIndex<2>(cb, f); }
void __glStoreIndexPixel32(GlColorBuffer *cb, const GlFragment *f) { storeIndex<4>(cb, f); }
void __glFetchIndexPixel8(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchIndex<1>(cb, x, y, o); }
void __glFetchIndexPixel16(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchIndex<2>(cb, x, y, o); }
void __glFetchIndexPixel32(GlColorBuffer *cb, int32_t x, int32_t y, float *o) { fetchIndex<4>(cb, x, y, o); }

uint8_t __glStoreIndexSpan(GlContext *ctx) { return storeSpan<false>(ctx); }
uint8_t __glStoreIndexSpanMasked(GlContext *ctx) { return storeSpan<true>(ctx); }

void __glInitColorIndexBuffer(GlColorBuffer *cb, GlContext *ctx) {
    __glInitBuffer(&cb->head, ctx);
    cb->head.resize = __glResizeIndexBuffer;
    cb->readSpan = __glReadColorSpan;
    cb->fetchSpan = cb->fetchSpanMasked = __glFetchColorSpan;
    cb->storeAccumRow = __glStoreAccumRow;
    cb->clear = __glClearIndexBuffer;
    cb->pick = __glPickIndexBufferProcs;
    cb->storeSpan = __glStoreIndexSpan;
    cb->storeSpanMasked = __glStoreIndexSpanMasked;
    cb->usesColorStages = 0;
    cb->redScale = cb->greenScale = cb->blueScale = cb->alphaScale = 1.0f;
    const uint32_t mask = indexMaskOf(ctx);
    cb->writeMask = mask;
    cb->redMax = int32_t(mask);
    const int32_t bits = ctx->visual.colorBits;
    cb->fetchPixel = bits > 16 ? __glFetchIndexPixel32 : (bits > 8 ? __glFetchIndexPixel16 : __glFetchIndexPixel8);
    cb->readPixel = cb->fetchPixel;
}

int32_t __glResizeIndexBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    const int32_t es = b->elementSize > 0 ? b->elementSize : 1;
    return __glBufferResize(b, ((width * es + 3) & ~3) / es, height, bufferBit);
}

void __glPickIndexBufferProcs(GlContext *ctx, GlColorBuffer *cb) {
    const uint32_t mask = indexMaskOf(ctx);
    const uint32_t glMask = ctx->state.color.indexMask;
    if (ctx->state.mode.drawBuffer == GL_NONE) {
        cb->writeMask = 0;
        cb->keepMask = mask;
    } else {
        cb->writeMask = mask & glMask;
        cb->keepMask = mask & ~glMask;
    }
    const int32_t es = cb->head.elementSize;
    cb->formatCode = es == 1 ? kGlFormatIndex8 : kGlFormatNone;
    cb->storePixel = es == 2 ? __glStoreIndexPixel16 : (es == 4 ? __glStoreIndexPixel32 : __glStoreIndexPixel8);
    if (cb->writeMask == mask && es == 1)
        cb->clear = (rasterOf(ctx).shadeFlags & kGlShadeDither) ? __glClearIndexBufferDitheredFast : __glClearIndexBufferFast;
    else
        cb->clear = __glClearIndexBuffer;
}

// Partial write mask: every pixel through the store (dithering applies), without the logic op.
void __glClearIndexRect(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    clearRectThroughStore(cb, GlFragment{0, 0, 0, {clearIndexOf(cb), 0, 0, 0}}, kGlShadeLogicOp, x0, y0, x1, y1);
}

// Full mask, 1-byte indices: the device fill (no lock) where the drawable has one, else a block
// fill under the lock.
void __glClearIndexRectFast(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    GlContext *ctx = contextOf(cb);
    const int32_t w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) return;
    const uint32_t value = truncIndex(clearIndexOf(cb)) & 0xFF;
    GlBufferDescriptor *d = cb->head.descriptor;
    if (d != nullptr && d->fill != nullptr) {
        d->fill(d, __glBufferRecord(&cb->head), value, x0 - ctx->limits.biasX, y0 - ctx->limits.biasY, w, h);
        return;
    }
    if (!lockForClear(cb)) return;
    __glFillRect8(ctx, pixelAddress<1>(cb, x0, y0), w, h, cb->head.pitch - w, value);
    unlockAfterClear(cb);
}

// Full mask, 1-byte indices, dithering: row y takes pattern (y & 3), pixel x its byte (x & 3), so
// the words written between the single bytes are the pattern turned to their first pixel.
void __glClearIndexRectDitheredFast(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t w = x1 - x0;
    if (w <= 0 || y1 <= y0) return;
    const float index = clearIndexOf(cb);
    uint32_t pattern[4];
    for (int r = 0; r < 4; ++r) {
        pattern[r] = 0;
        for (int c = 0; c < 4; ++c) pattern[r] |= (roundChannelSigned(index + __glDitherRound[r][c]) & 0xFF) << (8 * c);
    }
    if (!lockForClear(cb)) return;
    for (int32_t y = y0; y < y1; ++y) {
        const uint32_t pat = pattern[y & 3];
        uint8_t *p = pixelAddress<1>(cb, x0, y);
        int32_t x = x0, n = w;
        for (; n > 0 && (reinterpret_cast<uintptr_t>(p) & 3) != 0; --n, ++x, ++p) *p = uint8_t(pat >> (8 * (x & 3)));
        const uint32_t word = std::rotr(pat, 8 * (x & 3));
        for (; n >= 4; n -= 4, x += 4, p += 4) std::memcpy(p, &word, 4);
        for (; n > 0; --n, ++x, ++p) *p = uint8_t(pat >> (8 * (x & 3)));
    }
    unlockAfterClear(cb);
}

// The rectangles of a clipped drawable, each cut to the clear box, as the RGBA clears walk them.
void __glClearIndexClipRects(GlColorBuffer *cb, GlClearRectProc rect) { __glClearColorClipRects(cb, rect); }

// The three dispatchers differ only in their rectangle routine.
void __glClearIndexBuffer(GlColorBuffer *cb) { __glClearThroughClip(cb, __glClearIndexRect, __glClearIndexClipRects); }
// A device fill needs no lock: an unclipped drawable with one is filled over the clear box at once.
void __glClearIndexBufferFast(GlColorBuffer *cb) {
    GlContext *ctx = contextOf(cb);
    const GlBufferDescriptor *d = cb->head.descriptor;
    if (ctx != nullptr && d != nullptr && d->fill != nullptr && !(rasterOf(ctx).shadeFlags & kGlShadeFrontClip)) {
        const GlClipBox box = clipBoxOf(ctx);
        __glClearIndexRectFast(cb, box.x0, box.y0, box.x1, box.y1);
        return;
    }
    __glClearThroughClip(cb, __glClearIndexRectFast, __glClearIndexClipRects);
}
void __glClearIndexBufferDitheredFast(GlColorBuffer *cb) {
    __glClearThroughClip(cb, __glClearIndexRectDitheredFast, __glClearIndexClipRects);
}
