// The software buffers of a context and the lock state that brackets drawing into them.
#pragma once
#include <cstdint>
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/stencil_buffer.h"
#include "icd/raster/accum.h"

struct GlContext;

struct GlBufferArea {
    // Returns 0 when the buffers cannot be prepared (lock) or released (unlock).
    int32_t (*prepare)(GlContext *ctx, uint32_t mask);
    int32_t (*release)(GlContext *ctx, uint32_t mask);
    int32_t (*drawableLock)(GlContext *ctx);
    void (*drawableUnlock)(GlContext *ctx);
    int32_t lockCount;
    GlColorBuffers color;  // front and back colour buffers, draw and read choices
    GlBufferHeads heads;   // every buffer of the context as the head operations walk them
    GlDepthBuffer depth;
    GlStencilBuffer stencil;
    GlAccumBuffer accum;
};
