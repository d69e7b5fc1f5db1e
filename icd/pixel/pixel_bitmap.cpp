// glBitmap in software: the client bitmap unpacked into a tight block, then drawn by the renderer
// validation chose: a direct writer of one precomputed pixel value for 16-bit RGBA and 8-bit
// colour-index buffers, or the generic renderer that hands one fragment per set bit to the
// fragment store. Also the bitmap-renderer pick and the pixel-proc pick of contexts the chip
// draws for, whose pixel procs first flush what the chip has pending.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_util.h"
#include "icd/vertex/feedback.h"
#include "icd/vertex/vertex_procs.h"

using namespace glpixel;

namespace {

// The bitmap rectangle in window coordinates, cut to the clip box: rows [0, rows) from row y0 in
// the direction of step, columns [skip, skip + cols) of the bitmap from x0 + skip.
struct BitmapRect {
    int32_t x0, y0, step;
    int32_t firstRow, rows;   // bitmap rows drawn
    int32_t skip, cols;       // bitmap columns drawn
    int32_t rowBytes;
};

bool clipBitmap(GlContext *ctx, const GlBitmapArgs *a, BitmapRect &r) {
    const GlVertex &rp = ctx->current.vertex.rasterPos;
    const int32_t step = rowStep(ctx);
    r.step = step;
    r.x0 = truncInt(double(rp.window[0]) - 0.5 - double(a->xorig));
    r.y0 = truncInt(double(rp.window[1]) - 0.5 - double(step) * double(a->yorig));
    r.rowBytes = (a->width + 7) / 8;
    const GlClipBox box = glraster::clipBoxOf(ctx);
    // Columns.
    int64_t c0 = r.x0, c1 = int64_t(r.x0) + a->width;
    if (c0 < box.x0) c0 = box.x0;
    if (c1 > box.x1) c1 = box.x1;
    if (c1 <= c0) return false;
    r.skip = int32_t(c0 - r.x0);
    r.cols = int32_t(c1 - c0);
    // Rows: bitmap row i lands on y0 + i * step.
    int32_t first = 0, last = a->height - 1;
    auto inside = [&](int64_t y) { return y >= box.y0 && y < box.y1; };
    while (first <= last && !inside(int64_t(r.y0) + int64_t(first) * step)) ++first;
    while (last >= first && !inside(int64_t(r.y0) + int64_t(last) * step)) --last;
    if (first > last) return false;
    r.firstRow = first;
    r.rows = last - first + 1;
    return true;
}

inline bool bitSet(const uint8_t *row, int32_t i) { return (row[i >> 3] & (0x80 >> (i & 7))) != 0; }

// The colour of the whole bitmap: the raster colour in the draw buffer's units, textured and
// fogged at the raster position; the raster index truncated in colour-index mode.
GlFragment bitmapFragment(GlContext *ctx) {
    GlFragment f{};
    const GlVertex &rp = ctx->current.vertex.rasterPos;
    f.z = truncDepth(rp.window[2]);
    rasterColorInBufferUnits(ctx, f.color);
    if (!ctx->visual.rgbaMode) {
        f.color[0] = float(truncInt(f.color[0]));
        return f;
    }
    if (__glShadeFlags(ctx) & kGlShadeTexture) {
        GlTextureApplyProc apply = ctx->state.span.inputs.textureApply;
        const float *tc = ctx->current.rasterTexCoord;
        const float q = tc[3] != 0.0f ? tc[3] : 1.0f;
        if (apply != nullptr) apply(ctx, f.color, tc[0] / q, tc[1] / q, 1.0f);
    }
    if (ctx->state.enable.enables & kGlEnableFog) {
        auto fog = ctx->state.pick.fragmentFog;
        if (fog != nullptr) fog(ctx, &f, rp.eye[2]);
    }
    return f;
}

// What every renderer does around its drawing: nothing without a valid raster position; the
// bitmap token in feedback, no drawing in selection; the raster position moved in every mode.
template <class Draw>
void bitmapFrame(GlContext *ctx, const GlBitmapArgs *a, const uint8_t *bits, Draw draw) {
    if (!ctx->current.rasterPosValid) return;
    GlVertex &rp = ctx->current.vertex.rasterPos;
    if (ctx->renderMode == GL_FEEDBACK) {
        __glFeedbackBitmap(ctx, &rp);
    } else if (ctx->renderMode == GL_RENDER && bits != nullptr && a->width > 0 && a->height > 0) {
        BitmapRect r;
        if (clipBitmap(ctx, a, r)) draw(r);
    }
    rp.window[0] += a->xmove;
    rp.window[1] += a->ymove * float(rowStep(ctx));
    __glStoreRasterSummary(ctx);
}

// The direct writers: one element value into every pixel of a set bit.
template <class T>
void writeBits(GlContext *ctx, const GlBitmapArgs *a, const uint8_t *bits, const BitmapRect &r, uint32_t value) {
    GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if (cb == nullptr) return;
    __glWithDrawableLock(ctx, [&] {
        if (cb->head.base == nullptr) return;
        const T v = T(value);
        for (int32_t i = 0; i < r.rows; ++i) {
            const int32_t row = r.firstRow + i;
            const uint8_t *src = bits + ptrdiff_t(row) * r.rowBytes;
            const int32_t y = r.y0 + row * r.step;
            uint8_t *line = cb->head.base + ptrdiff_t(y - ctx->limits.biasY) * cb->head.pitchBytes;
            T *dst = reinterpret_cast<T *>(line) + (r.x0 + r.skip - ctx->limits.biasX);
            for (int32_t c = 0; c < r.cols; ++c)
                if (bitSet(src, r.skip + c)) std::memcpy(dst + c, &v, sizeof v);
        }
    });
    (void)a;
}

GlBitmapRenderProc bitmapRendererOf(GlContext *ctx) {
    GlBitmapRenderProc p = ctx->state.pixelOps.bitmapRenderer;
    return p != nullptr ? p : __glRenderBitmap;
}

}  // namespace

void __glUnpackAndDrawBitmap(GlContext *ctx, GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig,
                             GLfloat xmove, GLfloat ymove, const GLubyte *bitmap) {
    const GlBitmapArgs args{width, height, xorig, yorig, xmove, ymove};
    GlBitmapRenderProc render = bitmapRendererOf(ctx);
    if (width <= 0 || height <= 0 || bitmap == nullptr || ctx->renderMode != GL_RENDER ||
        !ctx->current.rasterPosValid) {
        // Nothing is drawn: the renderer only moves the raster position (or records the token).
        render(ctx, &args, nullptr);
        return;
    }
    const int32_t size = __glImageSize(width, height, GL_COLOR_INDEX, GL_BITMAP);
    uint8_t *block = size > 0 ? static_cast<uint8_t *>(ctx->hostProcs.alloc(ctx, size_t(size))) : nullptr;
    if (block == nullptr) {
        // The bitmap cannot be held: the command fails whole and the raster position stays.
        __glSetError(GL_OUT_OF_MEMORY);
        return;
    }
    __glUnpackImage(ctx, width, height, GL_COLOR_INDEX, GL_BITMAP, bitmap, block);
    render(ctx, &args, block);
    ctx->hostProcs.free(ctx, block);
}

void __glRenderBitmap16(GlContext *ctx, const GlBitmapArgs *a, const uint8_t *bits) {
    bitmapFrame(ctx, a, bits, [&](const BitmapRect &r) {
        const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
        if (cb == nullptr) return;
        const GlFragment f = bitmapFragment(ctx);
        auto channel = [](float c, int32_t max) {
            int32_t v = truncInt(double(c) + 0.5);
            return uint32_t(v < 0 ? 0 : (v > max ? max : v));
        };
        const uint32_t value = (channel(f.color[0], cb->redMax) << cb->redShift) |
                               (channel(f.color[1], cb->greenMax) << cb->greenShift) |
                               (channel(f.color[2], cb->blueMax) << cb->blueShift);
        writeBits<uint16_t>(ctx, a, bits, r, value);
    });
}

void __glRenderBitmapIndex8(GlContext *ctx, const GlBitmapArgs *a, const uint8_t *bits) {
    bitmapFrame(ctx, a, bits, [&](const BitmapRect &r) {
        const GlFragment f = bitmapFragment(ctx);
        writeBits<uint8_t>(ctx, a, bits, r, uint32_t(truncInt(f.color[0])) & indexMask(ctx));
    });
}

void __glRenderBitmap(GlContext *ctx, const GlBitmapArgs *a, const uint8_t *bits) {
    bitmapFrame(ctx, a, bits, [&](const BitmapRect &r) {
        GlColorBuffer *cb = fragmentTarget(ctx);
        if (cb == nullptr) return;
        GlFragment f = bitmapFragment(ctx);
        const GlFragmentStoreProc store = plainFragmentStore(ctx);
        __glWithDrawableLock(ctx, [&] {
            for (int32_t i = 0; i < r.rows; ++i) {
                const int32_t row = r.firstRow + i;
                const uint8_t *src = bits + ptrdiff_t(row) * r.rowBytes;
                f.y = r.y0 + row * r.step;
                for (int32_t c = 0; c < r.cols; ++c) {
                    if (!bitSet(src, r.skip + c)) continue;
                    f.x = r.x0 + r.skip + c;
                    store(cb, &f);
                }
            }
        });
    });
}

void __glPickBitmapProc(GlContext *ctx) {
    GlPixelOpsState &p = ctx->state.pixelOps;
    p.bitmapRenderer = nullptr;
    const GlShadeFlags f = __glShadeFlags(ctx);
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    // The direct writers reach one colour buffer and test nothing: every per-fragment operation,
    // drawing both buffers or none takes the generic renderer.
    const bool direct = !(f & 0x600BB4u) && cb != nullptr && !ctx->state.span.inputs.drawBothBuffers &&
                        !(f & kGlShadeDither);
    if (direct && ctx->visual.rgbaMode && cb->head.elementSize == 2)
        p.bitmapRenderer = __glRenderBitmap16;
    else if (direct && !ctx->visual.rgbaMode && cb->head.elementSize == 1)
        p.bitmapRenderer = __glRenderBitmapIndex8;
    else
        p.bitmapRenderer = __glRenderBitmap;
}

// ---- flushing wrappers ---------------------------------------------------------------------------------
namespace {

void flushChip(GlContext *ctx) {
    if (!__glHasHwState(ctx) || !ctx->hw.drawingPending) return;
    if (ctx->slots.finish != nullptr) ctx->slots.finish(ctx);
    ctx->hw.drawingPending = 0;
}

void drawPixelsFlushing(GlContext *ctx, GLsizei w, GLsizei h, GLenum format, GLenum type, const GLvoid *pixels,
                        GLboolean listData) {
    flushChip(ctx);
    __glDrawPixelsFast(ctx, w, h, format, type, pixels, listData);
}
void readPixelsFlushing(GlContext *ctx, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                        GLvoid *pixels) {
    flushChip(ctx);
    __glReadPixelsGeneric(ctx, x, y, w, h, format, type, pixels);
}
void copyPixelsFlushing(GlContext *ctx, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format) {
    flushChip(ctx);
    __glCopyPixelsGeneric(ctx, x, y, w, h, format);
}
void copyImageFromFramebufferFlushing(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span) {
    flushChip(ctx);
    __glCopyImageFromFramebuffer(ctx, tex, span);
}

template <class P>
GlProc asProc(P p) {
    return reinterpret_cast<GlProc>(reinterpret_cast<void (*)(void)>(p));
}

}  // namespace

void __glPickPixelProcsFlushing(GlContext *ctx) {
    __glPickPixelProcs(ctx);
    ctx->slots.copyImageFromFramebuffer = asProc(__glCopyImageFromFramebuffer);
    if (!__glHasHwState(ctx) || ctx->hw.softwareOnly) return;
    GlPickState &p = ctx->state.pick;
    p.drawPixels = asProc(drawPixelsFlushing);
    p.readPixels = asProc(readPixelsFlushing);
    p.copyPixels = asProc(copyPixelsFlushing);
    ctx->slots.copyImageFromFramebuffer = asProc(copyImageFromFramebufferFlushing);
}
