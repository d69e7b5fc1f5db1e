// glCopyPixels: framebuffer rows read, converted and drawn again under the zoom. When the source
// and destination rectangles overlap, every source row must be read before a destination row
// covering it is written: a copy whose rows map one to one in the reading direction walks the
// rows from the end that keeps ahead of its writes; any other overlapping copy reads the whole
// source first and then draws it.
#include <cstring>
#include "icd/core/core.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_internal.h"
#include "icd/pixel/pixel_state.h"

using namespace glpixel;

namespace {

struct Range {
    int32_t lo, hi;  // [lo, hi)
};

bool intersects(Range a, Range b) { return a.lo < b.hi && b.lo < a.hi; }

Range rangeFrom(int32_t first, int32_t count, int32_t step) {
    return step > 0 ? Range{first, first + count} : Range{first - count + 1, first + 1};
}

uint32_t copyMask(GlContext *ctx, GLenum format) {
    const uint32_t draw = ctx->state.pick.drawBufferMask;
    if (format == GL_STENCIL_INDEX) return kGlBufferStencil;
    // Depth rows become fragments with the raster colour: the draw buffers are written too.
    if (format == GL_DEPTH_COMPONENT) return kGlBufferDepth | draw;
    return ctx->state.pick.readBufferCode | draw;
}

// Reads and converts the row at the span's read position.
const void *readRow(GlContext *ctx, GlPixelSpan *s, RowBuffers &b) {
    s->readProc(ctx, s, b.row[0]);
    return runChain(ctx, s, b.row[0], b, 1, nullptr);
}

// One strip of at most kGlPixelRowPixels source columns.
void copyStrip(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, RowBuffers &b) {
    GlPixelSpan s{};
    setFloatSource(ctx, &s);
    setFloatDestination(&s, format);
    s.width = width;
    s.height = height;
    setupReadPosition(ctx, &s, x, y);
    int32_t skipPixels = 0, skipRows = 0;
    if (!clipRead(ctx, &s, skipPixels, skipRows) || s.width == 0 || s.height == 0) return;
    setupDrawFields(ctx, &s);
    s.startX += float(skipPixels) * s.zoomX;
    s.rowY += float(skipRows) * s.zoomY;
    s.srcSkipPixels = s.srcSkipRows = 0;
    if (!__glClipDrawPixels(ctx, &s)) return;
    const int32_t step = rowStep(ctx);
    s.readX += float(s.srcSkipPixels);
    s.readY += float(s.srcSkipRows * step);
    setOptionBytes(&s);

    GlPixelPathChoice choice{kGlPixelFramebuffer, kGlPixelFramebuffer, kGlPixelOpCopy, 1, {}, nullptr, nullptr};
    s.stageCount = 0;
    __glPickPixelSpanStages(ctx, &s, &choice);
    s.readProc = choice.reader;
    s.renderProc = choice.renderer;
    if (s.readProc == nullptr || s.renderProc == nullptr) return;

    const int32_t rx = truncInt(s.readX), ry = truncInt(s.readY);
    const Range srcX{rx, rx + s.width}, srcY = rangeFrom(ry, s.height, step);
    const Range dstX = s.xStep > 0 ? Range{s.startColumn, s.endColumn} : Range{s.endColumn + 1, s.startColumn + 1};
    const Range dstY = rangeFrom(s.currentRow, s.rowsLeft, s.yStep);
    const bool overlap = intersects(srcX, dstX) && intersects(srcY, dstY);
    auto fromFramebuffer = [&](GlPixelSpan *sp, int32_t) { return readRow(ctx, sp, b); };

    if (!overlap) {
        runToFramebuffer(ctx, &s, b, fromFramebuffer, step);
        return;
    }
    const bool oneToOne = (s.zoomY == 1.0f || s.zoomY == -1.0f) && s.rowsLeft == s.height;
    if (oneToOne && s.yStep == step) {
        // Rows map one to one and in the reading direction: a destination ahead of the source is
        // walked from its far end, so each source row is read before the row drawn over it.
        if ((s.currentRow - ry) * step > 0) {
            s.currentRow += (s.rowsLeft - 1) * s.yStep;
            s.rowY = float(s.currentRow) + 0.5f;
            s.zoomY = -s.zoomY;
            s.yStep = -s.yStep;
            s.readY += float((s.height - 1) * step);
            runToFramebuffer(ctx, &s, b, fromFramebuffer, -step);
        } else {
            runToFramebuffer(ctx, &s, b, fromFramebuffer, step);
        }
        return;
    }
    // Read everything first. A finished row holds at most `width` pixels of four floats.
    const size_t rowBytes = size_t(s.width) * 16;
    uint8_t *block = static_cast<uint8_t *>(ctx->hostProcs.alloc(ctx, rowBytes * size_t(s.height)));
    if (block == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return;
    }
    __glBuildZoomRunTable(&s, b.runTable);  // the zoomed readers follow it
    s.runTable = b.runTable;
    const float readY0 = s.readY;
    for (int32_t r = 0; r < s.height; ++r) {
        std::memcpy(block + rowBytes * size_t(r), readRow(ctx, &s, b), rowBytes);
        s.readY += float(step);
    }
    s.readY = readY0;
    runToFramebuffer(ctx, &s, b, [&](GlPixelSpan *, int32_t r) -> const void * { return block + rowBytes * size_t(r); });
    ctx->hostProcs.free(ctx, block);
}

}  // namespace

void __glCopyPixelsGeneric(GlContext *ctx, GLint x, GLint y, GLsizei width, GLsizei height, GLenum format) {
    if (width <= 0 || height <= 0) return;
    withAccess(ctx, copyMask(ctx, format), [&] {
        RowBuffers b;
        GlVertex &rp = ctx->current.vertex.rasterPos;
        const float x0 = rp.window[0];
        const double zoomX = ctx->state.pixel.transfer.zoomX;
        // In 64 bits: a width near the int limit must not wrap.
        const int32_t strips = int32_t((int64_t(width) + kGlPixelRowPixels - 1) / kGlPixelRowPixels);
        // Strips of a copy moving right go right to left, so that no strip draws over the source
        // of one still to come.
        const bool rightToLeft = double(x0) - 0.5 - double(ctx->limits.biasX) > double(x);
        for (int32_t i = 0; i < strips; ++i) {
            const int32_t k = rightToLeft ? strips - 1 - i : i;
            const int32_t first = k * kGlPixelRowPixels;
            const int32_t count = width - first < kGlPixelRowPixels ? width - first : kGlPixelRowPixels;
            // A strip that starts beyond the int range lies beyond every drawable.
            if (int64_t(x) + first > INT32_MAX) continue;
            rp.window[0] = float(double(x0) + double(first) * zoomX);
            copyStrip(ctx, x + first, y, count, height, format, b);
        }
        rp.window[0] = x0;
    });
}
