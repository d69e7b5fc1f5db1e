// glClear's way into the software buffers: each named buffer's own clear proc over the clip box.
#include "icd/raster/raster.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"
#include "icd/core/context.h"
#include "icd/core/services.h"

void __glClearBuffer(GlContext *ctx, uint32_t bufferBit) {
    GlBufferArea &b = ctx->buffers;
    switch (bufferBit) {
    case kGlBufferFront:
        if (b.color.front.clear != nullptr) b.color.front.clear(&b.color.front);
        break;
    case kGlBufferBack:
        if (b.color.back.clear != nullptr) b.color.back.clear(&b.color.back);
        break;
    case kGlBufferDepth:
        if (b.depth.clear != nullptr) b.depth.clear(&b.depth);
        break;
    case kGlBufferStencil:
        if (b.stencil.clear != nullptr) b.stencil.clear(&b.stencil);
        break;
    case kGlBufferAccum:
        if (b.accum.clear != nullptr && b.accum.head.context != nullptr) b.accum.clear(&b.accum);
        break;
    default: break;
    }
}
