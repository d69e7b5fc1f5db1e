// The accumulation buffer: load, accumulate, return, multiply, add and clear over the clear box,
// row by row, with the buffers they touch locked for the whole operation. Every conversion to an
// entry truncates toward zero and keeps the low 16 bits; sums wrap.
#include <cmath>
#include <cstring>
#include "icd/raster/accum.h"
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/core/context.h"
#include "icd/hw/hw_surface.h"

using namespace glraster;

namespace {

GlContext *contextOf(const GlAccumBuffer *ab) { return ab->head.context; }

// A float to a 16-bit entry: truncated toward zero, the low 16 bits kept. Values beyond what a
// 64-bit integer holds (and NaN) have no meaningful low bits and give 0.
inline int16_t toEntry(float v) {
    const double d = double(v);
    if (!(d > -9.0e18 && d < 9.0e18)) return 0;
    return int16_t(uint16_t(uint64_t(int64_t(d))));
}
inline int16_t wrapAdd(int16_t a, int16_t b) { return int16_t(uint16_t(uint16_t(a) + uint16_t(b))); }

// The chip may still be writing the colour buffers: let it finish before they are read or written.
void finishDrawing(GlContext *ctx) {
    if (!ctx->hw.drawingPending) return;
    if (ctx->slots.finish != nullptr) ctx->slots.finish(ctx);
    ctx->hw.drawingPending = 0;
}

// Locks the accumulation buffer and the colour buffers an operation touches; unlocks on exit.
// A refused lock releases what was taken and leaves the operation without effect; the frame
// is marked lost, so that the swap (or glFinish) reports it.
class Access {
public:
    Access(GlAccumBuffer *ab, GlColorBuffer *c0 = nullptr, GlColorBuffer *c1 = nullptr) {
        GlBuffer *all[3] = {&ab->head, c0 != nullptr ? &c0->head : nullptr, c1 != nullptr ? &c1->head : nullptr};
        for (GlBuffer *b : all) {
            if (b == nullptr) continue;
            if (b->descriptor == nullptr || !__glHwLockBuffer(contextOf(ab), b)) return;
            __glBufferRefresh(b);
            locked_[count_++] = b;
            if (b->base == nullptr) return;  // no memory behind the buffer
        }
        ok_ = true;
    }
    ~Access() {
        for (int i = count_ - 1; i >= 0; --i) {
            GlBufferDescriptor *d = locked_[i]->descriptor;
            if (d->lock != nullptr && d->unlock != nullptr) d->unlock(d, __glBufferRecord(locked_[i]));
        }
    }
    bool ok() const { return ok_; }

private:
    GlBuffer *locked_[3] = {};
    int count_ = 0;
    bool ok_ = false;
};

// The clear box cut to the accumulation memory.
struct Box {
    int32_t x0, y0, x1, y1;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

Box boxOf(const GlAccumBuffer *ab) {
    const GlContext *ctx = contextOf(ab);
    const GlClipBox c = clipBoxOf(ctx);
    Box b{c.x0, c.y0, c.x1, c.y1};
    const int32_t bx = ctx->limits.biasX, by = ctx->limits.biasY;
    if (b.x0 < bx) b.x0 = bx;
    if (b.y0 < by) b.y0 = by;
    if (b.x1 > bx + ab->head.width) b.x1 = bx + ab->head.width;
    if (b.y1 > by + ab->head.height) b.y1 = by + ab->head.height;
    return b;
}

int16_t *entryAt(const GlAccumBuffer *ab, int32_t x, int32_t y) {
    const GlContext *ctx = contextOf(ab);
    const ptrdiff_t dx = x - ctx->limits.biasX, dy = y - ctx->limits.biasY;
    return reinterpret_cast<int16_t *>(ab->head.base + (dy * ab->head.pitch + dx) * 8);
}

// fn(entry) for the four components of every entry of the box, rows at a time.
template <class Fn>
void forBox(GlAccumBuffer *ab, const Box &b, Fn fn) {
    const int32_t n = (b.x1 - b.x0) * 4;
    for (int32_t y = b.y0; y < b.y1; ++y) {
        int16_t *e = entryAt(ab, b.x0, y);
        int32_t i = 0;
        for (; i + 16 <= n; i += 16)
            for (int k = 0; k < 16; ++k) e[i + k] = fn(e[i + k], k & 3);
        for (; i < n; ++i) e[i] = fn(e[i], i & 3);
    }
}

const float *accumScales(const GlAccumBuffer *ab) { return &ab->accumScaleR; }

// Load and accumulate: rows of the read colour buffer in pieces of the row buffer.
template <bool Sum>
void fromColor(GlAccumBuffer *ab, float value) {
    GlContext *ctx = contextOf(ab);
    finishDrawing(ctx);
    GlColorBuffer *cb = ctx->buffers.color.readColorBuffer;
    if (cb == nullptr || cb->readSpan == nullptr || cb->readPixel == nullptr) return;
    Access access(ab, cb);
    if (!access.ok()) return;
    const Box b = boxOf(ab);
    if (b.empty()) return;
    const int32_t width = b.x1 - b.x0;
    const int32_t piece = width < kGlAccumRowColors ? width : kGlAccumRowColors;
    float *row = static_cast<float *>(ctx->hostProcs.alloc(ctx, size_t(piece) * 16));
    if (row == nullptr) return;
    const float *s = accumScales(ab);
    for (int32_t y = b.y0; y < b.y1; ++y) {
        for (int32_t x = b.x0; x < b.x1; x += piece) {
            const int32_t n = b.x1 - x < piece ? b.x1 - x : piece;
            cb->readSpan(cb, x, y, row, n);
            int16_t *e = entryAt(ab, x, y);
            for (int32_t i = 0; i < n * 4; ++i) {
                // colour x value x scale, in that order, in single precision
                const float c = row[i] * value * s[i & 3];
                e[i] = Sum ? wrapAdd(e[i], toEntry(c)) : toEntry(c);
            }
        }
    }
    ctx->hostProcs.free(ctx, row);
}

void returnInto(GlAccumBuffer *ab, GlColorBuffer *cb, const Box &b, float value) {
    if (cb == nullptr || cb->storeAccumRow == nullptr || cb->storePixel == nullptr) return;
    const int32_t n = b.x1 - b.x0;
    for (int32_t y = b.y0; y < b.y1; ++y) cb->storeAccumRow(cb, b.x0, y, entryAt(ab, b.x0, y), value, n);
}

}  // namespace

void __glInitAccumBuffer(GlAccumBuffer *ab, GlContext *ctx) {
    __glInitBuffer(&ab->head, ctx);
    ab->head.elementSize = 8;
    ab->nop = __glAccumNop;
    ab->clear = __glClearAccumBuffer;
    ab->accumulate = __glAccumAccumulate;
    ab->load = __glAccumLoad;
    ab->ret = __glAccumReturn;
    ab->mult = __glAccumMult;
    ab->add = __glAccumAdd;
    float *scale = &ab->accumScaleR, *back = &ab->returnScaleR;
    for (int i = 0; i < 4; ++i) scale[i] = back[i] = 0.0f;
    if (!ctx->visual.rgbaMode) return;
    const GlColorBuffer &f = ctx->buffers.color.front;
    const float colour[4] = {f.redScale, f.greenScale, f.blueScale, f.alphaScale};
    for (int i = 0; i < 4; ++i) {
        if (!(colour[i] > 0.0f)) continue;  // a channel the colour buffer lacks accumulates nothing
        scale[i] = 32767.0f / colour[i];
        back[i] = 1.0f / scale[i];
    }
}

void __glAccumNop(GlAccumBuffer *, float) {}

void __glAccumLoad(GlAccumBuffer *ab, float value) { fromColor<false>(ab, value); }
void __glAccumAccumulate(GlAccumBuffer *ab, float value) { fromColor<true>(ab, value); }

void __glAccumReturn(GlAccumBuffer *ab, float value) {
    GlContext *ctx = contextOf(ab);
    finishDrawing(ctx);
    GlColorBuffers &cbs = ctx->buffers.color;
    const bool both = ctx->state.span.inputs.drawBothBuffers && ctx->visual.doubleBuffer;
    GlColorBuffer *first = both ? &cbs.front : cbs.drawColorBuffer;
    GlColorBuffer *second = both ? &cbs.back : nullptr;
    if (first == nullptr) return;  // GL_NONE: nothing to write
    Access access(ab, first, second);
    if (!access.ok()) return;
    const Box b = boxOf(ab);
    if (b.empty()) return;
    returnInto(ab, first, b, value);
    returnInto(ab, second, b, value);
}

void __glAccumMult(GlAccumBuffer *ab, float value) {
    Access access(ab);
    if (!access.ok()) return;
    const Box b = boxOf(ab);
    if (b.empty()) return;
    if (value == 0.0f) {
        forBox(ab, b, [](int16_t, int) { return int16_t(0); });
        return;
    }
    forBox(ab, b, [value](int16_t e, int) { return toEntry(value * float(e)); });
}

void __glAccumAdd(GlAccumBuffer *ab, float value) {
    GlContext *ctx = contextOf(ab);
    Access access(ab);
    if (!access.ok()) return;
    const Box b = boxOf(ab);
    if (b.empty()) return;
    const GlColorBuffer &f = ctx->buffers.color.front;
    const float colour[4] = {f.redScale, f.greenScale, f.blueScale, f.alphaScale};
    const float *s = accumScales(ab);
    int16_t d[4];
    for (int i = 0; i < 4; ++i) d[i] = toEntry(value * s[i] * colour[i] + 0.5f);
    forBox(ab, b, [&d](int16_t e, int c) { return wrapAdd(e, d[c]); });
}

void __glClearAccumBuffer(GlAccumBuffer *ab) {
    GlContext *ctx = contextOf(ab);
    if (ctx == nullptr) return;
    Access access(ab);
    if (!access.ok()) return;
    const Box b = boxOf(ab);
    if (b.empty()) return;
    const GlColorBuffer &f = ctx->buffers.color.front;
    const float colour[4] = {f.redScale, f.greenScale, f.blueScale, f.alphaScale};
    const float *s = accumScales(ab);
    const float *clear = ctx->state.color.clearAccum;
    int16_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = toEntry(colour[i] * s[i] * clear[i]);
    forBox(ab, b, [&v](int16_t, int c) { return v[c]; });
}
