// The common buffer head: attach to a drawable's descriptor, detach, resize through it.
#include <bit>
#include "icd/raster/buffer.h"
#include "icd/core/context.h"
#include "icd/core/drawable.h"

namespace {
void takeGeometry(GlBuffer *b, const GlBufferDescriptor *d) {
    b->width = d->width;
    b->height = d->height;
    b->depth = d->bits;
    b->base = d->base;
    b->size = d->size;
    b->elementSize = d->elementSize;
    b->pitchBytes = d->pitchBytes;
    b->elementShift = b->elementSize > 0 ? std::bit_width(uint32_t(b->elementSize)) - 1 : 0;
    b->pitch = b->elementSize > 0 ? b->pitchBytes / b->elementSize : 0;
}
}  // namespace

void __glBufferNop(GlBuffer *, GlContext *) {}

void __glInitBuffer(GlBuffer *b, GlContext *) {
    b->elementSize = 1;
    b->attach = __glBufferAttach;
    b->detach = __glBufferDetach;
    b->resize = __glBufferResize;
    b->free = __glBufferNop;
}

void __glBufferAttach(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx) {
    if (d != nullptr && (d->base != nullptr || d->storage != nullptr)) takeGeometry(b, d);
    b->descriptor = d;
    b->context = ctx;
}

void __glBufferDetach(GlBuffer *b, GlContext *) { b->context = nullptr; }

GlDrawableBuffers *__glBufferRecord(const GlBuffer *b) {
    return b->context != nullptr ? b->context->tail.drawableBuffers : nullptr;
}

int32_t __glBufferResize(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    GlBufferDescriptor *d = b->descriptor;
    if (d == nullptr || d->resize == nullptr) return 0;
    GlDrawableBuffers *rec = __glBufferRecord(b);
    int32_t result = d->resize(d, rec, width, height, bufferBit);
    if (rec != nullptr) {
        if ((result & 0xFF) == kGlResizeNoStorage)
            rec->changedMask &= ~bufferBit;
        else
            rec->changedMask |= bufferBit;
    }
    if ((result & 0xFF) != 0) takeGeometry(b, d);
    return result;
}

void __glBufferRefresh(GlBuffer *b) {
    const GlBufferDescriptor *d = b->descriptor;
    if (d == nullptr) return;
    b->base = d->base;
    b->pitchBytes = d->pitchBytes;
    b->elementShift = b->elementSize > 0 ? std::bit_width(uint32_t(b->elementSize)) - 1 : 0;
    b->pitch = b->elementSize > 0 ? b->pitchBytes / b->elementSize : 0;
}
