// Colour-index flavour of the software colour buffer: pixels of 1, 2 or 4 bytes holding colour
// indices, stored with dithering, the logic op and the index write mask, and three clears.
#pragma once
#include <cstdint>
#include "icd/raster/color_buffer.h"

void __glInitColorIndexBuffer(GlColorBuffer *cb, GlContext *ctx);
int32_t __glResizeIndexBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
void __glPickIndexBufferProcs(GlContext *ctx, GlColorBuffer *cb);

void __glStoreIndexPixel8(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreIndexPixel16(GlColorBuffer *cb, const GlFragment *frag);
void __glStoreIndexPixel32(GlColorBuffer *cb, const GlFragment *frag);
void __glFetchIndexPixel8(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchIndexPixel16(GlColorBuffer *cb, int32_t x, int32_t y, float *out);
void __glFetchIndexPixel32(GlColorBuffer *cb, int32_t x, int32_t y, float *out);

uint8_t __glStoreIndexSpan(GlContext *ctx);
uint8_t __glStoreIndexSpanMasked(GlContext *ctx);

// Clears over the clip box (or each clip rectangle cut to it while the drawable is clipped).
void __glClearIndexBuffer(GlColorBuffer *cb);
void __glClearIndexBufferFast(GlColorBuffer *cb);
void __glClearIndexBufferDitheredFast(GlColorBuffer *cb);
void __glClearIndexRect(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void __glClearIndexRectFast(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void __glClearIndexRectDitheredFast(GlColorBuffer *cb, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void __glClearIndexClipRects(GlColorBuffer *cb, GlClearRectProc rect);
