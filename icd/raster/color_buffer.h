// The software view of one colour buffer (front or back) of a drawable: the pixel memory the
// drawable layer provides, described by the visual's channel masks, and the procs that read,
// write and clear it.
#pragma once
#include <cstdint>
#include "icd/raster/buffer.h"
#include "icd/raster/span.h"

struct GlContext;

// One fragment: window position, depth, colour in the colour buffer's units (the index in the
// first float in colour-index mode).
struct GlFragment {
    int32_t x, y;
    uint32_t z;
    float color[4];
};
static_assert(sizeof(GlFragment) == 28);

// Pixel-format codes: indices into the fast span-proc tables.
constexpr int32_t kGlFormatNone = 0;
constexpr int32_t kGlFormatIndex8 = 1;
constexpr int32_t kGlFormatR3G3B2 = 2;
constexpr int32_t kGlFormatX1R5G5B5 = 4;
constexpr int32_t kGlFormatR5G6B5 = 5;
constexpr int32_t kGlFormatB8G8R8 = 7;
constexpr int32_t kGlFormatX8R8G8B8 = 10;

struct GlColorBuffer {
    GlBuffer head;
    int32_t redMax, greenMax, blueMax;  // redMax holds the index mask in colour-index mode
    uint8_t usesColorStages;
    uint8_t clearLockDepth;  // a clear's nested locks: only the outermost reaches the drawable
    uint8_t reserved0[2];
    float redScale, greenScale, blueScale;
    int32_t redLimit, greenLimit, blueLimit;
    int32_t redShift, greenShift, blueShift, alphaShift;
    float alphaScale;
    int32_t alphaLimit;
    uint32_t writeMask;  // pixel bits stores may change
    uint32_t keepMask;   // pixel bits stores keep from the old pixel
    void (*pick)(GlContext *ctx, GlColorBuffer *cb);
    void (*storePixel)(GlColorBuffer *cb, const GlFragment *frag);
    void (*fetchPixel)(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
    void (*readPixel)(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
    uint8_t (*readSpan)(GlColorBuffer *cb, int32_t x, int32_t y, float *out, int32_t n);
    void (*storeAccumRow)(GlColorBuffer *cb, int32_t x, int32_t y, const int16_t *entries, float value,
                          int32_t n);
    GlStageProc storeSpan;
    GlStageProc storeSpanMasked;
    GlStageProc fetchSpan;
    GlStageProc fetchSpanMasked;
    int32_t formatCode;
    void (*clear)(GlColorBuffer *cb);
};

// The colour buffers of a context and the choices validation makes among them.
struct GlColorBuffers {
    GlColorBuffer front, back;
    GlColorBuffer *frontBuffer;  // what the 16-bit clear choice compares against
    GlColorBuffer *drawColorBuffer;
    GlColorBuffer *readColorBuffer;
};

// Set-up and validation.
void __glInitRgbaColorBuffer(GlColorBuffer *cb, GlContext *ctx);
int32_t __glResizeRgbaBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
void __glPickRgbaBufferProcs(GlContext *ctx, GlColorBuffer *cb);
void __glPickRgbaBufferProcs16(GlContext *ctx, GlColorBuffer *cb);

// One pixel.
void __glStoreRgbaPixel8(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreRgbaPixel16(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreRgbaPixel24(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreRgbaPixel32(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreRgbaPixel32Alpha(GlColorBuffer *cb, const GlFragment *frag);
void __glFetchRgbaPixel8(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchRgbaPixel16(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchRgbaPixel24(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchRgbaPixel32(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchRgbaPixel32Alpha(GlColorBuffer *cb, int32_t x, int32_t y, float *out);

// Span stages of the store and of the destination fetch.
uint8_t __glStoreRgbaSpan(GlContext *ctx);
uint8_t __glStoreRgbaSpanMasked(GlContext *ctx);
uint8_t __glStoreRgbaSpan16(GlContext *ctx);
uint8_t __glStoreRgbaSpan16Fast(GlContext *ctx);
uint8_t __glStoreRgbaSpan16FastDither(GlContext *ctx);
uint8_t __glStoreRgbaSpan24(GlContext *ctx);
uint8_t __glFetchColorSpan(GlContext *ctx);
uint8_t __glReadColorSpan(GlColorBuffer *cb, int32_t x, int32_t y, float *out, int32_t n);
void __glStoreAccumRow(GlColorBuffer *cb, int32_t x, int32_t y, const int16_t *entries, float value,
                       int32_t n);

// Clears over the context's clip box.
void __glClearRgbaBuffer(GlColorBuffer *cb);
void __glClearRgbaBuffer24(GlColorBuffer *cb);
void __glClearRgbaBufferFill(GlColorBuffer *cb);
void __glClearRgbaBufferDevice(GlColorBuffer *cb);
void __glClearRgbaRectMasked(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void __glClearRgbaRectFill(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void __glClearRgbaRect24(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
typedef void (*GlClearRectProc)(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// The clip rectangles of the drawable, each cut to the clear box, through a rectangle routine.
typedef void (*GlClearClipProc)(GlColorBuffer *cb, GlClearRectProc rect);
void __glClearColorClipRects(GlColorBuffer *cb, GlClearRectProc rect);
// A clear dispatch: the rectangle routine once over the clip box, or through the clip walk when
// the drawable is clipped (read under the buffer's lock).
void __glClearThroughClip(GlColorBuffer *cb, GlClearRectProc rect, GlClearClipProc clipRects);

// Services of neighbours the colour buffer uses.
void __glFillRect8(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value);
void __glFillRect16(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value);
void __glFillRect32(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value);
void __glHwClearColorBuffer(GlColorBuffer *cb);
int32_t __glPixelMaskBit(GlContext *ctx, int32_t x, int32_t y);
