// The drivers of glDrawPixels and glReadPixels and of the image copies: span set-up, the clip
// against the window, the zoom run table, and the row runners that push each row through the
// chosen chain between the buffer-access procs. Rows wider than the runners' buffers are done as
// column strips of at most kGlPixelRowPixels source pixels.
#include <algorithm>
#include <cmath>
#include <cstring>
#include "icd/core/drawable.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/pixel_ops_internal.h"
#include "icd/pixel/pixel_ops_util.h"
#include "icd/pixel/pixel_state.h"
#include "icd/pixel/texture_object.h"

using namespace glpixel;

namespace glpixel {

// ---- the chain of one row ----------------------------------------------------------------------------
const void *runChain(GlContext *ctx, GlPixelSpan *s, const void *in, RowBuffers &b, int first, void *finalOut) {
    const void *cur = in;
    const int32_t n = s->stageCount;
    for (int32_t i = 0; i < n; ++i) {
        void *out = (i == n - 1 && finalOut != nullptr) ? finalOut : b.row[(first + i) & 1];
        s->stages[i](ctx, s, cur, out);
        cur = out;
    }
    return cur;
}

// One ReadPixels-style pass: each row read at (readX, readY), converted, written to dstStart.
void runToMemory(GlContext *ctx, GlPixelSpan *s, GlPixelReadProc reader, RowBuffers &b) {
    const int32_t step = rowStep(ctx);
    if (reader == nullptr) return;
    // Row r's address from the first row's: no pointer is stepped past the client's last row.
    uint8_t *const dst0 = s->dstStart;
    for (int32_t r = 0; r < s->height; ++r) {
        s->dstStart = dst0 + ptrdiff_t(r) * s->dstRowBytes;
        if (s->stageCount == 0) {
            reader(ctx, s, s->dstStart);
        } else {
            reader(ctx, s, b.row[0]);
            runChain(ctx, s, b.row[0], b, 1, s->dstStart);
        }
        s->readY += float(step);
    }
}

// ---- clips -----------------------------------------------------------------------------------------------
// One axis of the DrawPixels clip. s: start (moved to the first drawn pixel plus h), w: source
// pixels (cut), skip: source pixels skipped at the start; first/count: the first destination
// column or row and how many there are. False when nothing is left.
bool clipAxis(float z, float &s, int32_t &w, int32_t lo, int32_t hi, float h, int32_t &skip, int32_t &first,
              int32_t &endOut, int32_t &count) {
    if (z == 0.0f || w <= 0 || hi <= lo) return false;
    const float e = s + float(w) * z;
    // A NaN or infinite start, zoom or end covers no column (and would turn every count below
    // into a saturated integer).
    if (!std::isfinite(s) || !std::isfinite(z) || !std::isfinite(e)) return false;
    // An image wholly on one side of the box covers nothing; past this, the start (zoom above 0)
    // or the end (below 0) lies before the box's far edge, so no bound below saturates.
    if (z > 0.0f ? (s >= float(hi) || e <= float(lo)) : (e >= float(hi) || s <= float(lo))) return false;
    if (z > 0.0f) {
        float L = float(lo);
        if (L < s) L = float(truncInt(s + h)) + 0.5f;
        int32_t k = truncInt((L - s) / z);
        if (k >= w) return false;
        w -= k;
        first = truncInt(L);
        skip += k;
        s = s + float(k) * z + h;
        float R = float(hi) - h - 0.5f;
        if (R > e) {
            R = float(truncInt(e + h)) - h;
            k = truncInt((e - R) / z);
            endOut = truncInt(R) + 1;
        } else {
            // The image runs past the box: only the pixels wholly beyond it go, so that a pixel
            // that a shrinking zoom keeps for the last column stays.
            k = e > float(hi) ? truncInt((e - float(hi)) / z) : 0;
            endOut = hi;
            // An image ending inside the last column, short of its centre, does not cover it.
            if (e < float(hi)) {
                const int32_t covered = truncInt(float(truncInt(e + h)) - h) + 1;
                if (covered < endOut) endOut = covered;
            }
        }
        if (k >= w) return false;
        w -= k;
        count = endOut - first;
    } else {
        float R = float(hi) - h - 0.5f;
        int32_t k;
        if (R > s) {
            R = float(truncInt(s + h)) - h;
            k = truncInt((R - s) / z);
            first = truncInt(R);
        } else {
            // Starting past the box: only the pixels wholly beyond it go.
            k = s > float(hi) ? truncInt((float(hi) - s) / z) : 0;
            first = hi - 1;
            // A start inside the last column, short of its centre, does not cover it.
            if (s < float(hi)) {
                const int32_t covered = truncInt(float(truncInt(s + h)) - h);
                if (covered < first) first = covered;
            }
        }
        if (k >= w) return false;
        w -= k;
        skip += k;
        s = s + float(k) * z + h - 1.0f;
        float L = float(lo);
        if (L < e) L = float(truncInt(e + h)) + 0.5f;
        k = truncInt((e - L) / z);
        if (k >= w) return false;
        w -= k;
        endOut = truncInt(L) - 1;
        count = first - endOut;
    }
    return count > 0 && w > 0;
}

// The ReadPixels clip against the drawable: read position moved to the first readable pixel,
// skips grown by what was cut. False when a size would go negative.
bool clipRead(GlContext *ctx, GlPixelSpan *s, int32_t &skipPixels, int32_t &skipRows) {
    // In 64 bits: a position near the int limits plus a size must not wrap.
    const int64_t ox = ctx->limits.biasX, oy = ctx->limits.biasY;
    const int64_t W = ctx->state.transform.drawable.width, H = ctx->state.transform.drawable.height;
    if (!(std::fabs(s->readX) < 1e15f) || !(std::fabs(s->readY) < 1e15f)) return false;
    // The readable box: the drawable, and of a window's front buffer on the screen only the part
    // on the screen (the rows above it are no memory of the frame buffer's). Its pixels elsewhere
    // are left as the client had them.
    int64_t x0 = ox, y0 = oy, x1 = ox + W, y1 = oy + H;
    RECT v;
    const GLenum rb = ctx->state.pixel.readBuffer;
    if ((rb == GL_FRONT || rb == GL_FRONT_AND_BACK) && __wglScreenFrontVisibleBox(ctx, &v)) {
        x0 = std::max<int64_t>(x0, ox + v.left), x1 = std::min<int64_t>(x1, ox + v.right);
        y0 = std::max<int64_t>(y0, oy + v.top), y1 = std::min<int64_t>(y1, oy + v.bottom);
        if (x1 <= x0 || y1 <= y0) return false;
    }
    int64_t x = int64_t(double(s->readX)), y = int64_t(double(s->readY));
    int64_t w = s->width, h = s->height;
    int64_t cutX = 0, cutY = 0;
    if (x < x0) {
        cutX = x0 - x;
        w -= cutX;
        x = x0;
    }
    if (x + w > x1) w = x1 - x;
    if (w < 0) return false;
    if (!ctx->state.transform.drawable.yInverted) {
        if (y < y0) {
            cutY = y0 - y;
            h -= cutY;
            y = y0;
        }
        if (y + h > y1) h = y1 - y;
    } else {
        // Rows run downward from read y.
        if (y > y1 - 1) {
            cutY = y - (y1 - 1);
            h -= cutY;
            y = y1 - 1;
        }
        if (y - h + 1 < y0) h = y - y0 + 1;
    }
    if (h < 0) return false;
    // Whatever is left lies inside the drawable, so every count fits again.
    skipPixels = int32_t(int64_t(skipPixels) + cutX);
    skipRows = int32_t(int64_t(skipRows) + cutY);
    s->readX = float(x);
    s->readY = float(y);
    s->width = int32_t(w);
    s->height = int32_t(h);
    return true;
}

void setupReadPosition(GlContext *ctx, GlPixelSpan *s, GLint x, GLint y) {
    // Biased in 64 bits: a coordinate near the int limits stays far outside, never wraps inside.
    s->readX = float(int64_t(x) + ctx->limits.biasX);
    if (ctx->state.transform.drawable.yInverted)
        s->readY = float(int64_t(ctx->limits.biasY) + ctx->state.transform.drawable.height - 1 - int64_t(y));
    else
        s->readY = float(int64_t(y) + ctx->limits.biasY);
}

GLenum internalColorFormat(const GlContext *ctx) { return ctx->visual.rgbaMode ? GL_RGBA : GL_COLOR_INDEX; }

void setFloatDestination(GlPixelSpan *s, GLenum format) {
    s->dstFormat = format;
    s->dstType = GL_FLOAT;
    s->dstElementBytes = 4;
    s->dstComponents = __glComponentsPerPixel(format, GL_FLOAT);
    s->dstGroupBytes = 4 * s->dstComponents;
    s->dstSwapBytes = 0;
    s->finalFormat = format;
}

void setFloatSource(GlContext *ctx, GlPixelSpan *s) {
    s->srcFormat = internalColorFormat(ctx);
    s->srcType = GL_FLOAT;
    s->srcElementBytes = 4;
    s->srcComponents = __glComponentsPerPixel(s->srcFormat, GL_FLOAT);
    s->srcGroupBytes = 4 * s->srcComponents;
    s->srcData = nullptr;
    s->srcSwapBytes = 0;
    s->srcDirect = 0;
}

void setOptionBytes(GlPixelSpan *s) {
    s->optClearAlpha = 0;
    s->optChooser = 1;
    s->optScaleToBuffer = 1;
    s->optFloatHoldsIntegers = 0;
    s->kind = 2;
}

uint32_t drawMaskFor(GlContext *ctx, GLenum format) {
    uint32_t m = ctx->state.pick.drawBufferMask;
    if (format == GL_DEPTH_COMPONENT) m |= kGlBufferDepth;
    if (format == GL_STENCIL_INDEX) m |= kGlBufferStencil;
    return m;
}

uint32_t readMaskFor(GlContext *ctx, GLenum format) {
    if (format == GL_STENCIL_INDEX) return kGlBufferStencil;
    if (format == GL_DEPTH_COMPONENT) return kGlBufferDepth;
    return ctx->state.pick.readBufferCode;
}

}  // namespace glpixel

// ---- set-up of the DrawPixels geometry -------------------------------------------------------------
namespace glpixel {
void setupDrawFields(GlContext *ctx, GlPixelSpan *s) {
    const GlVertex &rp = ctx->current.vertex.rasterPos;
    const bool flipped = ctx->state.transform.drawable.yInverted != 0;
    const GlPixelTransferState &t = ctx->state.pixel.transfer;
    s->startX = rp.window[0] - 0.5f;
    s->rowY = rp.window[1] - 0.5f + (flipped ? 0.0f : ctx->roundingEpsilon);
    s->zoomX = t.zoomX;
    s->zoomY = flipped ? -t.zoomY : t.zoomY;
    s->xStep = s->zoomX > 0.0f ? 1 : -1;
    s->yStep = s->zoomY > 0.0f ? 1 : -1;
    s->zoomXAtLeastOne = s->zoomX;
    if (s->zoomX > -1.0f && s->zoomX < 1.0f) s->zoomXAtLeastOne = float(s->xStep);
    s->fragmentZ = truncDepth(rp.window[2]);
    s->keptCount = 0;
}
}  // namespace glpixel

bool __glSetupDrawGeometry(GlContext *ctx, GlPixelSpan *s) {
    setupDrawFields(ctx, s);
    return __glClipDrawPixels(ctx, s);
}

bool __glClipDrawPixels(GlContext *ctx, GlPixelSpan *s) {
    const GlClipBox box = glraster::clipBoxOf(ctx);
    const float h = ctx->halfMinusEpsilon;
    int32_t endRow = 0, rows = 0;
    if (!clipAxis(s->zoomX, s->startX, s->width, box.x0, box.x1, h, s->srcSkipPixels, s->startColumn, s->endColumn,
                  s->dstWidth))
        return false;
    if (s->zoomX > -1.0f && s->zoomX < 1.0f) {
        // A shrinking row keeps its first pixel: start at the first one that covers a column of
        // its own, so that kept pixel k lands on column startColumn + k * xStep.
        int32_t j = 0;
        float x = s->startX;
        while (j < s->width && truncInt(x + s->zoomX) == truncInt(x)) ++j, x += s->zoomX;
        if (j >= s->width) return false;
        s->srcSkipPixels += j;
        s->width -= j;
        s->startX = x;
    }
    if (!clipAxis(s->zoomY, s->rowY, s->height, box.y0, box.y1, h, s->srcSkipRows, s->currentRow, endRow, rows))
        return false;
    s->rowsLeft = rows;
    return true;
}

// ---- zoom run table ------------------------------------------------------------------------------------
void __glBuildZoomRunTable(GlPixelSpan *s, int16_t *table) {
    s->keptCount = 0;
    const float z = s->zoomX;
    const int32_t w = s->width < kGlPixelRowPixels ? s->width : kGlPixelRowPixels;
    if (z == 1.0f || z == -1.0f || w <= 0) return;
    auto clamp16 = [](int32_t v) { return int16_t(v > 32767 ? 32767 : (v < -32768 ? -32768 : v)); };
    if (z > 1.0f || z < -1.0f) {
        // Destination columns each source pixel covers; the last entry closes the row exactly.
        float x = s->startX;
        int32_t prev = s->startColumn;
        for (int32_t j = 0; j + 1 < w; ++j) {
            x += z;
            const int32_t cur = truncInt(x);
            table[j] = clamp16(cur - prev);
            prev = cur;
        }
        const int32_t end = s->xStep > 0 ? s->startColumn + s->dstWidth : s->startColumn - s->dstWidth;
        table[w - 1] = clamp16(end - prev);
        return;
    }
    // Shrinking: a pixel is kept when the next one starts in a new column; entry i is the distance
    // from kept pixel i to the next kept one, the last closing the source row.
    float x = s->startX;
    int32_t kept = 0, lastKept = 0;
    for (int32_t j = 0; j < w; ++j, x += z) {
        if (j > 0 && truncInt(x + z) == truncInt(x)) continue;
        if (j > 0) table[kept - 1] = clamp16(j - lastKept);
        lastKept = j;
        ++kept;
    }
    table[kept - 1] = clamp16(w - lastKept);
    s->keptCount = kept;
}

// ---- pack and unpack modes -------------------------------------------------------------------------------
void __glLoadUnpackState(GlContext *ctx, GlPixelSpan *s, GLboolean listData) {
    if (listData) {
        s->srcSwapBytes = 0;
        s->srcLsbFirst = 0;
        s->srcSkipPixels = 0;
        s->srcSkipRows = 0;
        s->srcRowLength = s->width;
        s->srcAlignment = 1;
        return;
    }
    const GlPixelStoreModes &m = ctx->state.pixel.store.unpack;
    s->srcSwapBytes = m.swapBytes;
    s->srcLsbFirst = m.lsbFirst;
    s->srcSkipPixels = m.skipPixels;
    s->srcSkipRows = m.skipRows;
    s->srcRowLength = m.rowLength > 0 ? m.rowLength : s->width;
    s->srcAlignment = m.alignment;
}

void __glLoadPackState(GlContext *ctx, GlPixelSpan *s) {
    const GlPixelStoreModes &m = ctx->state.pixel.store.pack;
    s->dstSwapBytes = m.swapBytes;
    s->dstLsbFirst = m.lsbFirst;
    s->dstSkipPixels = m.skipPixels;
    s->dstSkipRows = m.skipRows;
    s->dstRowLength = m.rowLength > 0 ? m.rowLength : s->width;
    s->dstAlignment = m.alignment;
}

// ---- glDrawPixels ------------------------------------------------------------------------------------------
namespace {

// One strip of source columns [first, first + count) of the client image.
void drawStrip(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels,
               GLboolean listData, int32_t first, int32_t count, RowBuffers &b) {
    GlPixelSpan s{};
    s.srcFormat = format;
    s.srcType = type;
    s.srcData = static_cast<const uint8_t *>(pixels);
    s.width = width;
    s.height = height;
    __glLoadUnpackState(ctx, &s, listData);
    s.srcSkipPixels += first;
    s.width = count;
    setFloatDestination(&s, format == GL_COLOR_INDEX && ctx->visual.rgbaMode ? GLenum(GL_RGBA) : format);
    if (!__glSetupDrawGeometry(ctx, &s)) return;
    // The strip's own start: the raster position moved by the columns before it.
    __glComputeSrcImageLayout(ctx, &s);
    setOptionBytes(&s);
    GlPixelPathChoice choice{kGlPixelMemory, kGlPixelFramebuffer, kGlPixelOpDraw, 1, {}, nullptr, nullptr};
    s.stageCount = 0;
    __glPickPixelSpanStages(ctx, &s, &choice);
    s.renderProc = choice.renderer;
    runToFramebuffer(ctx, &s, b, [&](GlPixelSpan *sp, int32_t) -> const void * {
        return runChain(ctx, sp, sp->srcStart, b, 0, nullptr);
    });
}

}  // namespace

void __glDrawPixelsGeneric(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                           const GLvoid *pixels, GLboolean listData) {
    if (width <= 0 || height <= 0) return;
    withAccess(ctx, drawMaskFor(ctx, format), [&] {
        RowBuffers b;
        const float zoomX = ctx->state.pixel.transfer.zoomX;
        GlVertex &rp = ctx->current.vertex.rasterPos;
        const float x0 = rp.window[0];
        // The strip loop counts in 64 bits: a width near the int limit must not wrap.
        for (int64_t first64 = 0; first64 < width; first64 += kGlPixelRowPixels) {
            const int32_t first = int32_t(first64);
            const int32_t count = width - first < kGlPixelRowPixels ? width - first : kGlPixelRowPixels;
            // Each strip starts where the zoomed columns before it end.
            rp.window[0] = float(double(x0) + double(first) * double(zoomX));
            drawStrip(ctx, width, height, format, type, pixels, listData, first, count, b);
        }
        rp.window[0] = x0;
    });
}

// ---- glReadPixels ------------------------------------------------------------------------------------------
namespace {
// A buffer that could not be locked (its surface busy or lost, the chip not answering) is not
// read: the program's memory (or texture) is left as it was, and it hears so through the
// thread's last error, as from a swap or glFinish that fails, rather than taking what it holds
// for pixels.
template <class Fn>
bool readFramebuffer(GlContext *ctx, uint32_t mask, Fn fn) {
    if (withAccess(ctx, mask, fn)) return true;
    SetLastError(ERROR_GEN_FAILURE);
    return false;
}
}  // namespace

void __glReadPixelsGeneric(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format,
                           GLenum type, GLvoid *pixels) {
    if (width <= 0 || height <= 0) return;
    readFramebuffer(ctx, readMaskFor(ctx, format), [&] {
        RowBuffers b;
        for (int64_t first64 = 0; first64 < width; first64 += kGlPixelRowPixels) {
            const int32_t first = int32_t(first64);
            const int32_t count = width - first < kGlPixelRowPixels ? width - first : kGlPixelRowPixels;
            // A strip that starts beyond the int range lies beyond every drawable.
            if (int64_t(x) + first > INT32_MAX) break;
            GlPixelSpan s{};
            setFloatSource(ctx, &s);
            s.dstFormat = format;
            s.dstType = type;
            s.dstData = static_cast<uint8_t *>(pixels);
            s.finalFormat = format;
            s.width = width;
            s.height = height;
            __glLoadPackState(ctx, &s);
            s.dstSkipPixels += first;
            s.width = count;
            s.zoomX = 1.0f;
            s.startX = 0.0f;
            setupReadPosition(ctx, &s, x + first, y);
            if (!clipRead(ctx, &s, s.dstSkipPixels, s.dstSkipRows) || s.width == 0 || s.height == 0) continue;
            __glComputeDstImageLayout(ctx, &s);
            setOptionBytes(&s);
            GlPixelPathChoice choice{kGlPixelFramebuffer, kGlPixelMemory, kGlPixelOpRead, 1, {}, nullptr, nullptr};
            s.stageCount = 0;
            __glPickPixelSpanStages(ctx, &s, &choice);
            s.readProc = choice.reader;
            runToMemory(ctx, &s, choice.reader, b);
        }
    });
}

// ---- image copies --------------------------------------------------------------------------------------------
namespace {

const GlTexelFormat *levelFormatOf(const GlTextureObject *tex) {
    if (tex == nullptr || tex->levels == nullptr || tex->levels[0] == nullptr) return nullptr;
    return tex->levels[0]->texelFormat;
}

// The level format's stage that ends copies into it.
GlPixelSpanProc storeStageOf(const GlTextureObject *tex) {
    const GlTexelFormat *f = levelFormatOf(tex);
    return f != nullptr ? reinterpret_cast<GlPixelSpanProc>(f->storeStage[0]) : nullptr;
}

// After a level's fetch stage the rows are RGBA floats in [0, 1]: the chooser is shown that form
// as the source. The stored layout's addressing (start, row and group bytes) stays, as the
// runner steps through the level with it.
void showFetchedRowsAsSource(GlPixelSpan *s) {
    s->srcFormat = GL_RGBA;
    s->srcType = GL_FLOAT;
    s->srcElementBytes = 4;
    s->srcComponents = 4;
    s->srcSwapBytes = 0;
}

void appendStage(GlPixelSpan *s, GlPixelSpanProc p) {
    if (p != nullptr && s->stageCount < kGlPixelSpanMaxStages) s->stages[s->stageCount++] = p;
}

// Memory to memory, row by row, in strips the row buffers hold (a bitmap image is cut to one).
void runImageCopy(GlContext *ctx, GlPixelSpan *s) {
    if (s->stageCount == 0) appendStage(s, __glCopySpan);
    RowBuffers b;
    const int32_t width = s->width;
    const bool stripable = s->srcType != GL_BITMAP && s->dstType != GL_BITMAP;
    const uint8_t *src0 = s->srcStart;
    uint8_t *dst0 = s->dstStart;
    for (int64_t first64 = 0; first64 < width; first64 += kGlPixelRowPixels) {
        const int32_t first = int32_t(first64);
        const int32_t count = width - first < kGlPixelRowPixels ? width - first : kGlPixelRowPixels;
        s->width = count;
        for (int32_t r = 0; r < s->height; ++r) {
            // Addresses from the first row's, never stepped past the last row.
            s->srcStart = src0 + ptrdiff_t(first) * s->srcGroupBytes + ptrdiff_t(r) * s->srcRowBytes;
            s->dstStart = dst0 + ptrdiff_t(first) * s->dstGroupBytes + ptrdiff_t(r) * s->dstRowBytes;
            runChain(ctx, s, s->srcStart, b, 0, s->dstStart);
        }
        if (!stripable) break;
    }
    s->width = width;
}

void copyImage(GlContext *ctx, GlPixelSpan *s, GLboolean applyTransfer, GlPixelSpanProc first,
               GlPixelSpanProc last) {
    s->stageCount = 0;
    appendStage(s, first);
    GlPixelPathChoice choice{kGlPixelMemory, kGlPixelMemory, kGlPixelOpImageCopy, uint8_t(applyTransfer ? 1 : 0), {},
                         nullptr, nullptr};
    __glPickPixelSpanStages(ctx, s, &choice);
    appendStage(s, last);
    runImageCopy(ctx, s);
}

}  // namespace

void __glCopyImage(GlContext *ctx, GlPixelSpan *s, GLboolean applyTransfer) {
    copyImage(ctx, s, applyTransfer, nullptr, nullptr);
}

void __glSetupRgbaToImage(GlContext *ctx, GlPixelSpan *span, const float *rgba, GLsizei width, GLsizei rows,
                          GLenum format, GLenum type, void *pixels) {
    __glSetupMemoryImageSource(ctx, span, width, rows, 1, GL_RGBA, GL_FLOAT, rgba, GL_TRUE);
    __glSetupMemoryImageDest(ctx, span, width, rows, 1, format, type, pixels);
}

void __glCopyImageWithStoreStage(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *s, GLboolean applyTransfer) {
    copyImage(ctx, s, applyTransfer, nullptr, storeStageOf(tex));
}

void __glCopyImageFromTexture(GlContext *ctx, GlTextureObject *, GlPixelSpan *s, GLboolean applyTransfer) {
    const GlPixelSpanProc fetch = levelFetchStage(s);
    if (fetch != nullptr) showFetchedRowsAsSource(s);
    copyImage(ctx, s, applyTransfer, fetch, nullptr);
}

bool __glClipFramebufferImageSource(GlContext *ctx, GlPixelSpan *s) {
    int32_t skipPixels = 0, skipRows = 0;
    if (!clipRead(ctx, s, skipPixels, skipRows) || s->width == 0 || s->height == 0) return false;
    s->dstStart += ptrdiff_t(skipRows) * s->dstRowBytes + ptrdiff_t(skipPixels) * s->dstGroupBytes;
    s->dstSkipPixels += skipPixels;
    s->dstSkipRows += skipRows;
    return true;
}

void __glCopyImageFromFramebuffer(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *s) {
    // Only what lies inside the drawable is read; the destination rows and columns of the part
    // outside keep what they held.
    if (!__glClipFramebufferImageSource(ctx, s)) return;
    s->stageCount = 0;
    GlPixelPathChoice choice{kGlPixelFramebuffer, kGlPixelMemory, kGlPixelOpFramebufferImage, 1, {}, nullptr, nullptr};
    __glPickPixelSpanStages(ctx, s, &choice);
    appendStage(s, storeStageOf(tex));
    s->readProc = choice.reader;
    RowBuffers b;
    const int32_t width = s->width;
    if (s->width > kGlPixelRowPixels) s->width = kGlPixelRowPixels;  // texture rows are far narrower
    runToMemory(ctx, s, choice.reader, b);
    s->width = width;
}

namespace {
template <class P>
P slotOr(GlProc slot, P fallback) {
    return slot != nullptr ? reinterpret_cast<P>(reinterpret_cast<void (*)(void)>(slot)) : fallback;
}
}  // namespace

void __glRunCopyImage(GlContext *ctx, GlPixelSpan *span, GLboolean applyTransfer) {
    slotOr(ctx->slots.copyImage, __glCopyImage)(ctx, span, applyTransfer);
}

void __glRunCopyImageWithStoreStage(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer) {
    slotOr(ctx->slots.copyImageWithStoreStage, __glCopyImageWithStoreStage)(ctx, tex, span, applyTransfer);
}

void __glRunCopyImageFromTexture(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer) {
    slotOr(ctx->slots.copyImageFromTexture, __glCopyImageFromTexture)(ctx, tex, span, applyTransfer);
}

bool __glRunCopyImageFromFramebuffer(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span) {
    auto copy = slotOr(ctx->slots.copyImageFromFramebuffer, __glCopyImageFromFramebuffer);
    return readFramebuffer(ctx, readMaskFor(ctx, GL_RGBA), [&] { copy(ctx, tex, span); });
}

void __glSetupFramebufferImageSource(GlContext *ctx, GlPixelSpan *s, GLint x, GLint y, GLsizei width,
                                     GLsizei height) {
    setFloatSource(ctx, s);
    s->srcLsbFirst = 0;
    s->srcSkipPixels = 0;
    s->srcSkipRows = 0;
    s->srcRowLength = width;
    s->srcAlignment = 1;
    s->width = width;
    s->height = height;
    s->zoomX = 1.0f;
    s->startX = 0.0f;
    s->keptCount = 0;
    setupReadPosition(ctx, s, x, y);
}

void __glSetupMemoryImageSource(GlContext *ctx, GlPixelSpan *s, GLsizei width, GLsizei height, GLsizei depth,
                                GLenum format, GLenum type, const GLvoid *data, GLboolean listData) {
    (void)depth;
    s->width = width;
    s->height = height;
    s->srcFormat = format;
    s->srcType = type;
    s->srcData = static_cast<const uint8_t *>(data);
    s->startX = 0.0f;
    s->zoomX = 1.0f;
    s->keptCount = 0;
    __glLoadUnpackState(ctx, s, listData);
    __glComputeSrcImageLayout(ctx, s);
}

void __glSetupMemoryImageDest(GlContext *ctx, GlPixelSpan *s, GLsizei width, GLsizei height, GLsizei depth,
                              GLenum format, GLenum type, GLvoid *data) {
    (void)depth;
    s->width = width;
    s->height = height;
    s->dstFormat = format;
    s->dstType = type;
    s->dstData = static_cast<uint8_t *>(data);
    s->finalFormat = format;
    __glLoadPackState(ctx, s);
    __glComputeDstImageLayout(ctx, s);
}
