// Buffer kinds whose own code lands with the software rasteriser's colour-index buffers and the
// hardware back end. Each does the least that keeps the buffer heads sound.
#include "icd/core/buffers.h"
#include "icd/core/context.h"

// Colour-index buffers: the head alone (attach, detach, resize and free work; the buffer has no
// store, fetch or clear procs yet, so nothing is drawn into it).
void __glInitColorIndexBuffer(GlColorBuffer *cb, GlContext *ctx) { __glInitBuffer(&cb->head, ctx); }
