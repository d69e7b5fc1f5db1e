// Services the rasteriser calls whose owners have not landed yet. Each fails clearly or does
// nothing a caller could mistake for work done.
#include "icd/raster/raster.h"
#include "icd/core/context.h"

namespace {
// Without the stencil and depth buffers no fragment can pass these tests: reject the span.
uint8_t rejectSpan(GlContext *ctx) {
    ctx->state.span.raster.spanDone = 1;
    return 1;
}
uint8_t rejectMasked(GlContext *) { return 1; }
}  // namespace

uint8_t __glSpanStencilTest(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanStencilTestMasked(GlContext *ctx) { return rejectMasked(ctx); }
uint8_t __glSpanDepthStencilTest(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanDepthStencilTestMasked(GlContext *ctx) { return rejectMasked(ctx); }
uint8_t __glSpanDepthStencilTestClamped(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanDepthStencilTestClampedMasked(GlContext *ctx) { return rejectMasked(ctx); }
uint8_t __glSpanStencilDepthPass(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanStencilDepthPassMasked(GlContext *ctx) { return rejectMasked(ctx); }
uint8_t __glSpanDepthTest(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanDepthTestMasked(GlContext *ctx) { return rejectMasked(ctx); }
uint8_t __glSpanDepthTestClamped(GlContext *ctx) { return rejectSpan(ctx); }
uint8_t __glSpanDepthTestClampedMasked(GlContext *ctx) { return rejectMasked(ctx); }

// No hardware clear yet: the buffer is left as it is.
void __glHwClearColorBuffer(GlColorBuffer *) {}

// No ownership mask yet: while the drawable is clipped no pixel counts as owned, so clipped
// drawing writes nothing rather than over other windows.
int32_t __glPixelMaskBit(GlContext *, int32_t, int32_t) { return 0; }

// The accumulation buffer's return is not there yet: nothing is written.
void __glStoreAccumRow(GlColorBuffer *, int32_t, int32_t, const int16_t *, float, int32_t) {}
