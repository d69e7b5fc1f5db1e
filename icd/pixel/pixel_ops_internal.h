// What the pixel-operation drivers share among their files: the runners' row buffers, the chain
// and row runners, the clips and the span set-up helpers.
#pragma once
#include <cstdint>
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_ops_util.h"

namespace glpixel {

// The runners' scratch: two rows of up to kGlPixelRowPixels pixels of four floats, used in turn
// by the stages, and the zoom run table. Lives on the runner's stack.
struct RowBuffers {
    alignas(16) float rowA[kGlPixelRowPixels * 4];
    alignas(16) float rowB[kGlPixelRowPixels * 4];
    int16_t runTable[kGlPixelRowPixels];
    void *row[2] = {rowA, rowB};
};

// Runs the span's stages on one row: the first reads `in`, later ones alternate between the two
// row buffers starting with buffer `first`, the last writes finalOut when given. Returns the
// last output (`in` when there is no stage).
const void *runChain(GlContext *ctx, GlPixelSpan *s, const void *in, RowBuffers &b, int first, void *finalOut);
// Every source row through the span's renderer: rowOf(span, r) gives source row r finished (the
// chain run on it); rows whose zoomed image covers no destination row are skipped without asking
// for them. The source pointer moves by one source row and the read position by readStep rows
// per source row.
template <class RowOf>
void runToFramebuffer(GlContext *ctx, GlPixelSpan *s, RowBuffers &b, RowOf rowOf, int32_t readStep = 0) {
    __glBuildZoomRunTable(s, b.runTable);
    s->runTable = b.runTable;
    GlPixelRenderProc render = s->renderProc;
    if (render == nullptr) return;
    float y = s->rowY;
    int32_t lastRow = truncInt(y);
    // Row r's address is formed from the first row's, so that no pointer is ever stepped past
    // the last row of the client's image.
    const uint8_t *const src0 = s->srcStart;
    for (int32_t r = 0; r < s->height; ++r) {
        if (src0 != nullptr) s->srcStart = src0 + ptrdiff_t(r) * s->srcRowBytes;
        s->rowY = y;
        y += s->zoomY;
        const int32_t row = truncInt(y);
        if (row != lastRow) {
            if (render(ctx, s, rowOf(s, r)) <= 0) break;
            lastRow = row;
        }
        s->readY += float(readStep);
    }
    (void)ctx;
}
// Framebuffer rows through the chain into memory at dstStart.
void runToMemory(GlContext *ctx, GlPixelSpan *s, GlPixelReadProc reader, RowBuffers &b);

void setupDrawFields(GlContext *ctx, GlPixelSpan *s);
bool clipAxis(float z, float &s, int32_t &w, int32_t lo, int32_t hi, float h, int32_t &skip, int32_t &first,
              int32_t &endOut, int32_t &count);
bool clipRead(GlContext *ctx, GlPixelSpan *s, int32_t &skipPixels, int32_t &skipRows);
void setupReadPosition(GlContext *ctx, GlPixelSpan *s, GLint x, GLint y);
GLenum internalColorFormat(const GlContext *ctx);
void setFloatDestination(GlPixelSpan *s, GLenum format);
void setFloatSource(GlContext *ctx, GlPixelSpan *s);
void setOptionBytes(GlPixelSpan *s);
uint32_t drawMaskFor(GlContext *ctx, GLenum format);
uint32_t readMaskFor(GlContext *ctx, GLenum format);
// The stage that starts a copy out of a texture level: it reads the stored rows the span's
// source names (a level: srcBaseFormat set) and writes RGBA floats in [0, 1] by the level's base
// format. Null for any other source.
GlPixelSpanProc levelFetchStage(const GlPixelSpan *s);

}  // namespace glpixel
