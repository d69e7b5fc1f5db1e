// Buffer heads and the per-context buffer operations: every software buffer of a context starts
// with a GlBuffer head that attaches to one descriptor of the drawable's buffer record. The
// context's buffers are created at its first make-current, attached at every make-current,
// detached at lose-current and resized to the drawable's size.
#include <bit>
#include "icd/core/buffers.h"
#include "icd/core/context.h"
#include "icd/core/drawable.h"
#include "icd/hw/hw_surface.h"
#include "icd/vertex/matrix_procs.h"
#include "icd/vertex/transform_state.h"

void __glInitColorIndexBuffer(GlColorBuffer *cb, GlContext *ctx);
void __glHwInitColorBuffer(GlColorBuffer *cb, GlContext *ctx);
void __glHwInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx);

namespace {
void takeShape(GlBuffer *b) {
    b->elementShift = b->elementSize > 0 ? std::bit_width(uint32_t(b->elementSize)) - 1 : 0;
    b->pitch = b->elementSize > 0 ? b->pitchBytes / b->elementSize : 0;
}

void takeGeometry(GlBuffer *b, const GlBufferDescriptor *d) {
    b->width = d->width;
    b->height = d->height;
    b->depth = d->bits;
    b->base = d->base;
    b->size = d->size;
    b->elementSize = d->elementSize;
    b->pitchBytes = d->pitchBytes;
    takeShape(b);
}

void noteResult(GlDrawableBuffers *rec, uint32_t bit, int32_t result) {
    if (rec == nullptr) return;
    if ((result & 0xFF) == kGlResizeNoStorage)
        rec->changedMask &= ~bit;
    else
        rec->changedMask |= bit;
}

// One buffer of the context in the order the head operations visit them.
struct HeadSlot {
    GlBuffer *head;
    uint32_t bit;
    int32_t descriptor;
};

// Colour, accumulation, depth, stencil: the order of attach, detach and free.
int headSlots(GlContext *ctx, HeadSlot (&out)[5]) {
    GlBufferHeads &h = ctx->buffers.heads;
    const HeadSlot all[5] = {{h.front, kGlBufferFront, kGlDescriptorFront},
                             {h.back, kGlBufferBack, kGlDescriptorBack},
                             {h.accum, kGlBufferAccum, kGlDescriptorAccum},
                             {h.depth, kGlBufferDepth, kGlDescriptorDepth},
                             {h.stencil, kGlBufferStencil, kGlDescriptorStencil}};
    int n = 0;
    for (const HeadSlot &s : all)
        if (s.head != nullptr) out[n++] = s;
    return n;
}
}  // namespace

// ---- head procs --------------------------------------------------------------------------------

void __glBufferNop(GlBuffer *, GlContext *) {}

void __glInitBuffer(GlBuffer *b, GlContext *) {
    b->elementSize = 1;
    b->attach = __glBufferAttach;
    b->detach = __glBufferDetach;
    b->resize = __glBufferResize;
    b->free = __glBufferNop;
}

// A descriptor without memory leaves the head's geometry as it was.
void __glBufferAttach(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx) {
    if (d != nullptr && (d->base != nullptr || d->storage != nullptr)) takeGeometry(b, d);
    b->descriptor = d;
    b->context = ctx;
}

void __glBufferDetach(GlBuffer *b, GlContext *) { b->context = nullptr; }

GlDrawableBuffers *__glBufferRecord(const GlBuffer *b) {
    return b->context != nullptr ? b->context->tail.drawableBuffers : nullptr;
}

// A descriptor whose drawable keeps no memory for the buffer has no resize proc: the buffer has
// no storage, which is what the result says.
int32_t __glBufferResize(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit) {
    GlBufferDescriptor *d = b->descriptor;
    if (d == nullptr) return 0;
    GlDrawableBuffers *rec = __glBufferRecord(b);
    int32_t result = d->resize != nullptr ? d->resize(d, rec, width, height, bufferBit) : kGlResizeNoStorage;
    noteResult(rec, bufferBit, result);
    if ((result & 0xFF) != 0) takeGeometry(b, d);
    return result;
}

void __glBufferRefresh(GlBuffer *b) {
    const GlBufferDescriptor *d = b->descriptor;
    if (d == nullptr) return;
    b->base = d->base;
    b->pitchBytes = d->pitchBytes;
    takeShape(b);
}

// ---- creating, attaching, detaching ------------------------------------------------------------

BOOL __glCreateBuffers(GlContext *ctx) {
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= 0x7FF;
    const GlVisual &v = ctx->visual;
    GlColorBuffers &c = ctx->buffers.color;
    GlBufferHeads &h = ctx->buffers.heads;
    h = GlBufferHeads{};
    h.yDirection = 1;
    c.drawColorBuffer = &c.front;
    c.frontBuffer = &c.front;
    void (*initColor)(GlColorBuffer *, GlContext *) =
        v.colorIndexMode ? __glInitColorIndexBuffer : __glHwInitColorBuffer;
    if (v.doubleBuffer) {
        h.back = &c.back.head;
        initColor(&c.back, ctx);
    }
    h.front = &c.front.head;
    initColor(&c.front, ctx);
    GlBufferArea &a = ctx->buffers;
    // After the colour buffers: the accumulation scales come from the front one's.
    if (v.hasAccum) {
        h.accum = &a.accum.head;
        __glInitAccumBuffer(&a.accum, ctx);
    }
    if (v.hasDepth) {
        h.depth = &a.depth.head;
        __glHwInitDepthBuffer(&a.depth, ctx);
    } else {
        h.depthClearWord = 0x7FFFFF80u;
    }
    if (v.hasStencil) {
        h.stencil = &a.stencil.head;
        __glInitSoftStencilBuffer(&a.stencil, ctx);
    }
    __glInitBuffer(&h.ancillary.head, ctx);
    __glUpdateDepthRange(ctx);
    a.prepare = nullptr;
    a.release = nullptr;
    a.drawableLock = nullptr;
    a.drawableUnlock = nullptr;
    HeadSlot slots[5];
    int n = headSlots(ctx, slots);
    for (int i = 0; i < n; ++i) h.ownMask |= slots[i].bit;
    return TRUE;
}

void __glAttachDrawableBuffers(GlContext *ctx, GlDrawableBuffers *rec) {
    ctx->tail.drawableBuffers = rec;
    if (rec == nullptr) return;
    GlBufferHeads &h = ctx->buffers.heads;
    h.ancillary.record = rec;
    rec->freeBuffers = __glFreeDrawableBuffers;
    GlDrawableExtent &e = ctx->state.transform.drawable;
    bool inverted = rec->topDown != 0;
    if (inverted != (e.yInverted != 0)) {
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask |= 0x7FF;
    }
    e.yInverted = inverted;
    h.yDirection = inverted ? -1 : 1;
    e.width = h.sizedWidth = rec->bufWidth;
    e.height = h.sizedHeight = rec->bufHeight;
    h.contextState = rec->contextState;
    HeadSlot slots[5];
    int n = headSlots(ctx, slots);
    for (int i = 0; i < n; ++i)
        if (slots[i].head->attach != nullptr)
            slots[i].head->attach(slots[i].head, &rec->descriptors[slots[i].descriptor], ctx);
    GlBuffer *anc = &h.ancillary.head;
    if (anc->attach != nullptr) anc->attach(anc, &rec->descriptors[kGlDescriptorAncillary], ctx);
}

// The record keeps the size the buffers were made for, for the next context that attaches. That
// is the size of the last resize that succeeded, whatever size the viewport code has seen since,
// so that a resize to the window's size is never skipped as already done.
void __glDetachDrawableBuffers(GlContext *ctx) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    GlBufferHeads &h = ctx->buffers.heads;
    if (rec != nullptr) {
        rec->bufWidth = h.sizedWidth;
        rec->bufHeight = h.sizedHeight;
        rec->contextState = h.contextState;
    }
    HeadSlot slots[5];
    int n = headSlots(ctx, slots);
    for (int i = 0; i < n; ++i)
        if (slots[i].head->detach != nullptr) slots[i].head->detach(slots[i].head, ctx);
    GlBuffer *anc = &h.ancillary.head;
    if (anc->detach != nullptr) anc->detach(anc, ctx);
    h.ancillary.record = nullptr;
    ctx->tail.drawableBuffers = nullptr;
}

// ---- resizing ----------------------------------------------------------------------------------

// The drawable first (through the ancillary buffer), then front, back, accumulation, depth and
// stencil. A size of 0 x 0 resizes every time.
BOOL __glResizeDrawableBuffers(GlContext *ctx, int32_t width, int32_t height) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    if (rec == nullptr) return FALSE;
    GlBufferHeads &h = ctx->buffers.heads;
    if (width != rec->bufWidth || height != rec->bufHeight || (width == 0 && height == 0)) {
        const int32_t oldWidth = rec->bufWidth, oldHeight = rec->bufHeight;
        rec->bufWidth = width;
        rec->bufHeight = height;
        const HeadSlot order[6] = {{&h.ancillary.head, kGlBufferDrawable, kGlDescriptorAncillary},
                                   {h.front, kGlBufferFront, kGlDescriptorFront},
                                   {ctx->visual.doubleBuffer ? h.back : nullptr, kGlBufferBack, kGlDescriptorBack},
                                   {h.accum, kGlBufferAccum, kGlDescriptorAccum},
                                   {h.depth, kGlBufferDepth, kGlDescriptorDepth},
                                   {h.stencil, kGlBufferStencil, kGlDescriptorStencil}};
        for (const HeadSlot &s : order) {
            if (s.head == nullptr || s.head->resize == nullptr) continue;
            int32_t result = s.head->resize(s.head, width, height, s.bit);
            noteResult(rec, s.bit, result);
            if (result == 0) {
                // The record keeps the size the buffers were last made for, so that a later call
                // with this size tries again instead of passing for a resize that never happened.
                rec->bufWidth = oldWidth;
                rec->bufHeight = oldHeight;
                return FALSE;
            }
        }
        h.sizedWidth = width;
        h.sizedHeight = height;
    }
    GlDrawableExtent &e = ctx->state.transform.drawable;
    if (width == e.width && height == e.height) return TRUE;
    if (e.yInverted && height != e.height)
        ctx->current.vertex.rasterPos.window[1] += float(height - e.height);
    e.width = width;
    e.height = height;
    __glUpdateClipBox(ctx);
    if (ctx->procs.resizeAt != nullptr) ctx->procs.resizeAt(ctx, 0, 0, width, height);
    return TRUE;
}

BOOL __glResizeToDrawable(GlContext *ctx) {
    int32_t width = 0, height = 0;
    ctx->hostProcs.getDrawableSize(ctx, &width, &height);
    return __glResizeDrawableBuffers(ctx, width, height);
}

void __glResizeContextToDrawable(GlContext *ctx) {
    if (__glResizeToDrawable(ctx)) __glApplyViewport(ctx);
}

// The chip clips to the whole drawable again after a resize (the clip box narrows it later, when
// a scissor asks).
void __glResizeContextClip(GlContext *ctx) {
    if (!__glResizeToDrawable(ctx)) return;
    const GlDrawableExtent &d = ctx->state.transform.drawable;
    __glHwResizeClip(ctx, 0, 0, d.width, d.height);
}

// ---- freeing -----------------------------------------------------------------------------------

void __glFreeDrawableBuffers(GlDrawableBuffers *rec) {
    for (GlBufferDescriptor &d : rec->descriptors)
        if (d.free != nullptr) d.free(&d, rec);
    rec->freeWord = 0;
}

void __glFreeContextBuffers(GlContext *ctx) {
    GlBufferHeads &h = ctx->buffers.heads;
    HeadSlot slots[5];
    int n = headSlots(ctx, slots);
    for (int i = 0; i < n; ++i)
        if (slots[i].head->free != nullptr) slots[i].head->free(slots[i].head, ctx);
    GlBuffer *anc = &h.ancillary.head;
    if (anc->free != nullptr) anc->free(anc, ctx);
}

// ---- locking -----------------------------------------------------------------------------------

namespace {
// Visits the buffers of a mask in the lock order: front, back, depth, stencil (their bits
// ascending), then accumulation. Only the bits set are visited: this runs around every primitive.
template <class Visit>
inline void forEachLockBit(uint32_t mask, Visit visit) {
    for (uint32_t rest = mask & (kGlBufferFront | kGlBufferBack | kGlBufferDepth | kGlBufferStencil); rest != 0;
         rest &= rest - 1)
        visit(rest & (0u - rest));
    if (mask & kGlBufferAccum) visit(kGlBufferAccum);
}

// The head a lock bit stands for: bit 1 is the colour buffer the draw pointer names. When that is
// the back buffer, bit 4 names it again and is passed by: a buffer is locked once per call.
GlBuffer *lockHead(GlContext *ctx, uint32_t bit, uint32_t mask) {
    GlBufferHeads &h = ctx->buffers.heads;
    switch (bit) {
    case kGlBufferFront: {
        GlColorBuffer *draw = ctx->buffers.color.drawColorBuffer;
        return draw != nullptr && h.front != nullptr ? &draw->head : nullptr;
    }
    case kGlBufferBack:
        if ((mask & kGlBufferFront) && h.front != nullptr && h.back != nullptr &&
            ctx->buffers.color.drawColorBuffer == &ctx->buffers.color.back)
            return nullptr;
        return h.back;
    case kGlBufferDepth: return h.depth;
    case kGlBufferStencil: return h.stencil;
    default: return h.accum;
    }
}
}  // namespace

int32_t __glPrepareBuffers(GlContext *ctx, uint32_t mask) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    uint32_t done = 0;
    bool ok = true;
    forEachLockBit(mask, [&](uint32_t bit) {
        if (!ok) return;
        GlBuffer *b = lockHead(ctx, bit, mask);
        GlBufferDescriptor *d = b != nullptr ? b->descriptor : nullptr;
        if (d == nullptr || d->lock == nullptr) return;
        if (!d->lock(d, rec)) {
            ok = false;
            return;
        }
        __glBufferRefresh(b);
        done |= bit;
    });
    if (!ok) __glReleaseBuffers(ctx, done);
    return ok;
}

int32_t __glReleaseBuffers(GlContext *ctx, uint32_t mask) {
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    forEachLockBit(mask, [&](uint32_t bit) {
        GlBuffer *b = lockHead(ctx, bit, mask);
        GlBufferDescriptor *d = b != nullptr ? b->descriptor : nullptr;
        if (d != nullptr && d->lock != nullptr && d->unlock != nullptr) d->unlock(d, rec);
    });
    return TRUE;
}

int32_t __glPrepareOwnBuffers(GlContext *ctx) { return __glPrepareBuffers(ctx, ctx->buffers.heads.ownMask); }
void __glReleaseOwnBuffers(GlContext *ctx) { __glReleaseBuffers(ctx, ctx->buffers.heads.ownMask); }
int32_t __glLockDrawBuffer(GlContext *ctx) { return __glPrepareBuffers(ctx, kGlBufferFront); }
void __glUnlockDrawBuffer(GlContext *ctx) { __glReleaseBuffers(ctx, kGlBufferFront); }
int32_t __glLockDrawAndDepthBuffers(GlContext *ctx) {
    return __glPrepareBuffers(ctx, kGlBufferFront | kGlBufferDepth);
}
void __glUnlockDrawAndDepthBuffers(GlContext *ctx) { __glReleaseBuffers(ctx, kGlBufferFront | kGlBufferDepth); }

// ---- the ownership mask ------------------------------------------------------------------------

int32_t __glPixelMaskBit(GlContext *ctx, int32_t x, int32_t y) {
    const GlBuffer &m = ctx->buffers.heads.ancillary.head;
    int32_t bx = x - ctx->limits.biasX, by = y - ctx->limits.biasY;
    // Callers clip to the drawable; a pixel outside the mask belongs to no one.
    if (m.base == nullptr || bx < 0 || by < 0 || bx >= m.width || by >= m.height) return 0;
    const uint8_t *byte = m.base + (by * m.pitch + (bx >> 3)) * m.elementSize;
    return (*byte & (0x80 >> (x & 7))) != 0;
}
