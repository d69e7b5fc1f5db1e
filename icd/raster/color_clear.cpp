// Clears of the RGBA colour buffer over the context's clip box: per pixel through the store proc
// when a write mask is partial, by block fill, by aligned words for 3-byte pixels, or through the
// drawable's device fill; per clip rectangle while the drawable is clipped.
#include <algorithm>
#include "icd/core/drawable.h"
#include "icd/raster/color_pixel.h"

using namespace glraster;

namespace {

GlContext *contextOf(const GlColorBuffer *cb) { return cb->head.context; }

const float *clearColor(const GlColorBuffer *cb) { return contextOf(cb)->state.color.clearColor; }

// The clear colour as one pixel value: each channel rounded, alpha only when the visual has it.
uint32_t clearPixel(const GlColorBuffer *cb) {
    const float *c = clearColor(cb);
    uint32_t v = (truncChannel(c[0] * cb->redScale + 0.5f) << cb->redShift) |
                 (truncChannel(c[1] * cb->greenScale + 0.5f) << cb->greenShift) |
                 (truncChannel(c[2] * cb->blueScale + 0.5f) << cb->blueShift);
    if (contextOf(cb)->visual.alphaMask != 0) v |= truncChannel(c[3] * cb->alphaScale + 0.5f) << cb->alphaShift;
    return v;
}

uint8_t *elementAddress(const GlColorBuffer *cb, int32_t x, int32_t y) {
    const GlContext *ctx = contextOf(cb);
    int32_t dx = x - ctx->limits.biasX, dy = y - ctx->limits.biasY;
    return cb->head.base + ((dy * cb->head.pitch + dx) << cb->head.elementShift);
}

void put24(uint8_t *p, uint32_t packed) {
    p[0] = uint8_t(packed);
    p[1] = uint8_t(packed >> 8);
    p[2] = uint8_t(packed >> 16);
}

}  // namespace

// A clear of the clip box, or of every clip rectangle when the drawable is clipped. Whether it is
// is read once the buffer is locked: the lock brings the window's visible region up to date, so
// a window stacked above this one since the last drawing is not painted over.
void __glClearThroughClip(GlColorBuffer *cb, GlClearRectProc rect, GlClearClipProc clipRects) {
    GlContext *ctx = contextOf(cb);
    if (ctx == nullptr) return;
    const GlClipBox box = clipBoxOf(ctx);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    if (!lockForClear(cb)) return;
    const GlDrawableBuffers *rec = __glBufferRecord(&cb->head);
    const bool owned = !(rasterOf(ctx).shadeFlags & kGlShadeFrontClip) &&
                       (cb != ctx->buffers.color.frontBuffer || rec == nullptr || rec->contextState == 0);
    if (owned)
        rect(cb, box.x0, box.y0, box.x1, box.y1);
    else
        clipRects(cb, rect);
    unlockAfterClear(cb);
}

// Each clip rectangle is cut to the clear box: a scissored clear of a clipped window must stay
// inside the scissor box.
void __glClearColorClipRects(GlColorBuffer *cb, GlClearRectProc rect) {
    if (!lockForClear(cb)) return;
    GlContext *ctx = contextOf(cb);
    const GlRasterInputs &in = inputsOf(ctx);
    const GlClipBox box = clipBoxOf(ctx);
    const RECT *rects = nullptr;
    int32_t n = in.clipRects != nullptr ? in.clipRects(ctx, &rects) : 0;
    int32_t ox = ctx->limits.biasX, oy = ctx->limits.biasY;
    for (int32_t i = 0; i < n; ++i) {
        int32_t x0 = std::max<int32_t>(rects[i].left + ox, box.x0);
        int32_t y0 = std::max<int32_t>(rects[i].top + oy, box.y0);
        int32_t x1 = std::min<int32_t>(rects[i].right + ox, box.x1);
        int32_t y1 = std::min<int32_t>(rects[i].bottom + oy, box.y1);
        if (x0 < x1 && y0 < y1) rect(cb, x0, y0, x1, y1);
    }
    unlockAfterClear(cb);
}

// Partial write mask: every pixel through the store, without blending or the logic op.
void __glClearRgbaRectMasked(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const float *c = clearColor(cb);
    const GlFragment f{0, 0, 0, {c[0] * cb->redScale, c[1] * cb->greenScale, c[2] * cb->blueScale, c[3] * cb->alphaScale}};
    clearRectThroughStore(cb, f, kGlShadeBlend | kGlShadeLogicOp, x0, y0, x1, y1);
}

// Full write mask, 1, 2 or 4 bytes a pixel: one block fill of the rounded clear pixel.
void __glClearRgbaRectFill(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) return;
    if (!lockForClear(cb)) return;
    GlContext *ctx = contextOf(cb);
    uint8_t *first = elementAddress(cb, x0, y0);
    const int32_t skip = (cb->head.pitch - w) * cb->head.elementSize;
    const uint32_t v = clearPixel(cb);
    switch (cb->head.elementSize) {
    case 1: __glFillRect8(ctx, first, w, h, skip, v); break;
    case 2: __glFillRect16(ctx, first, w, h, skip, v); break;
    case 4: __glFillRect32(ctx, first, w, h, skip, v); break;
    default: break;
    }
    unlockAfterClear(cb);
}

// Full write mask, 3 bytes a pixel: per row single pixels up to a word boundary, groups of four
// pixels as three aligned words, then the rest.
void __glClearRgbaRect24(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const int32_t w = x1 - x0;
    if (w <= 0 || y1 <= y0) return;
    if (!lockForClear(cb)) return;
    const float *c = clearColor(cb);
    const uint32_t p = (roundChannel(c[0] * cb->redScale) << 16) | (roundChannel(c[1] * cb->greenScale) << 8) |
                       roundChannel(c[2] * cb->blueScale);
    const uint32_t words[3] = {p | p << 24, p << 16 | p >> 8, p >> 16 | p << 8};
    const int32_t rowBytes = rowBytes24(cb);
    uint8_t *row = pixelAddress<3>(cb, x0, y0);
    for (int32_t y = y0; y < y1; ++y, row += rowBytes) {
        uint8_t *q = row;
        int32_t n = w;
        const int32_t lead = std::min<int32_t>(int32_t(reinterpret_cast<uintptr_t>(q) & 3), n);
        for (int32_t i = 0; i < lead; ++i, q += 3) put24(q, p);
        n -= lead;
        for (; n >= 4; n -= 4, q += 12) std::memcpy(q, words, 12);
        for (; n > 0; --n, q += 3) put24(q, p);
    }
    unlockAfterClear(cb);
}

void __glClearRgbaBuffer(GlColorBuffer *cb) { __glClearThroughClip(cb, __glClearRgbaRectMasked, __glClearColorClipRects); }
void __glClearRgbaBuffer24(GlColorBuffer *cb) { __glClearThroughClip(cb, __glClearRgbaRect24, __glClearColorClipRects); }
void __glClearRgbaBufferFill(GlColorBuffer *cb) { __glClearThroughClip(cb, __glClearRgbaRectFill, __glClearColorClipRects); }

void __glClearRgbaBufferDevice(GlColorBuffer *cb) {
    GlContext *ctx = contextOf(cb);
    const GlClipBox box = clipBoxOf(ctx);
    int32_t w = box.x1 - box.x0, h = box.y1 - box.y0;
    if (w <= 0 || h <= 0) return;
    GlBufferDescriptor *d = cb->head.descriptor;
    d->fill(d, __glBufferRecord(&cb->head), clearPixel(cb), box.x0 - ctx->limits.biasX, box.y0 - ctx->limits.biasY,
            w, h);
}
