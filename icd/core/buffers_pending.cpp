// Buffer kinds whose own code lands with the software rasteriser's colour-index buffers and the
// hardware back end. Each does the least that keeps the buffer heads sound.
#include "icd/core/buffers.h"
#include "icd/core/context.h"

// Colour-index buffers: the head alone (attach, detach, resize and free work; the buffer has no
// store, fetch or clear procs yet, so nothing is drawn into it).
void __glInitColorIndexBuffer(GlColorBuffer *cb, GlContext *ctx) { __glInitBuffer(&cb->head, ctx); }

// The device's colour buffer: until the hardware back end replaces its resize and clear procs it
// is the software RGBA buffer over the drawable's memory.
void __glHwInitColorBuffer(GlColorBuffer *cb, GlContext *ctx) { __glInitRgbaColorBuffer(cb, ctx); }

// The device's depth buffer: until the hardware back end replaces its resize and clear procs it
// is the software depth buffer of the kind the visual (or "GLFORCEZBITS") asks for.
void __glHwInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx) { __glInitDepthBuffer(db, ctx); }
