// Buffer heads: the common head of every software buffer of a context (colour, depth, stencil,
// accumulation and the one-bit-per-pixel ownership mask), the drawable's description of one
// buffer's memory that a head attaches to, and the per-context operations that create, attach,
// detach, resize, lock and free all buffers of a context against the drawable's buffer record.
#pragma once
#include <cstdint>
#include "platform/win32/win32.h"

struct GlContext;
struct GlDrawableBuffers;
struct GlBufferDescriptor;

// Buffer bits: also the bits of the drawable buffer record's changedMask.
constexpr uint32_t kGlBufferFront = 0x1;
constexpr uint32_t kGlBufferBack = 0x4;
constexpr uint32_t kGlBufferAccum = 0x10;
constexpr uint32_t kGlBufferDepth = 0x20;
constexpr uint32_t kGlBufferStencil = 0x40;
constexpr uint32_t kGlBufferDrawable = 0x80;

// A resize result whose low byte is this value means the buffer has no storage.
constexpr int32_t kGlResizeNoStorage = 16;

// The six descriptors of a drawable buffer record, in record order.
enum GlDescriptorIndex : int32_t {
    kGlDescriptorFront,
    kGlDescriptorBack,
    kGlDescriptorAccum,
    kGlDescriptorDepth,
    kGlDescriptorStencil,
    kGlDescriptorAncillary,
    kGlDescriptorCount
};

// One of the six descriptors of a drawable buffer record (19 words).
struct GlBufferDescriptor {
    int32_t width, height;
    int32_t bits;           // the depth field the head copies
    uint8_t *base;          // pixel (0, 0)
    uint32_t size;          // bytes of the current block
    int32_t elementSize;    // bytes per pixel
    int32_t pitchBytes;
    void *storage;          // non-zero when the buffer exists
    int32_t lockCount;
    // Results: 0 failed, 16 (low byte) no storage, anything else resized.
    int32_t (*resize)(GlBufferDescriptor *d, GlDrawableBuffers *rec, int32_t width, int32_t height,
                      uint32_t bufferBit);
    BOOL (*lock)(GlBufferDescriptor *d, GlDrawableBuffers *rec);
    void (*unlock)(GlBufferDescriptor *d, GlDrawableBuffers *rec);
    // Optional: fills a rectangle in buffer coordinates with one pixel value.
    void (*fill)(GlBufferDescriptor *d, GlDrawableBuffers *rec, uint32_t pixel, int32_t x, int32_t y,
                 int32_t width, int32_t height);
    void (*free)(GlBufferDescriptor *d, GlDrawableBuffers *rec);
    void *privateData;
    void (*reinit)(GlBufferDescriptor *d, GlDrawableBuffers *rec);
    void (*fallbackInit)(GlBufferDescriptor *d, GlDrawableBuffers *rec);
    void *depthSave;        // keeps the depth buffer's save block across attach and detach
    uint32_t reserved;
};
static_assert(sizeof(GlBufferDescriptor) == 76);

struct GlBuffer {
    GlContext *context;  // owning context while attached, else null
    int32_t width, height;
    int32_t depth;       // bits per element as the buffer kind sets it
    uint8_t *base;
    uint32_t size;
    int32_t elementSize;
    int32_t elementShift;
    int32_t pitch;       // in elements
    int32_t pitchBytes;
    uint32_t kindWords[3];
    void (*attach)(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx);
    void (*detach)(GlBuffer *b, GlContext *ctx);
    int32_t (*resize)(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
    void (*free)(GlBuffer *b, GlContext *ctx);
    uint32_t reserved;
    GlBufferDescriptor *descriptor;
};
static_assert(sizeof(GlBuffer) == 76);

// The ownership mask of the drawable (one bit per pixel, 1 = the pixel belongs to the window);
// its resize also resizes the drawable itself (bit 0x80).
struct GlAncillaryBuffer {
    GlBuffer head;
    GlDrawableBuffers *record;  // the drawable buffer record while attached
};

// The buffers of a context as the head operations walk them. The colour heads point into the
// context's colour buffers; a null head is a buffer the context does not have.
struct GlBufferHeads {
    GlBuffer *front, *back, *accum, *depth, *stencil;
    GlAncillaryBuffer ancillary;
    uint32_t ownMask;           // bits of the buffers the context has
    int32_t contextState;       // handed to the drawable at lose-current, taken back at make-current
    int32_t yDirection;         // +1, or -1 while the drawable's rows run top-down
    uint32_t depthClearWord;    // 0x7FFFFF80 when the visual has no depth buffer
    int32_t sizedWidth, sizedHeight;  // the size every buffer was last made for
};

// Head procs.
void __glInitBuffer(GlBuffer *b, GlContext *ctx);
void __glBufferAttach(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx);
void __glBufferDetach(GlBuffer *b, GlContext *ctx);
int32_t __glBufferResize(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
void __glBufferNop(GlBuffer *b, GlContext *ctx);
// Takes base address and pitch from the descriptor again (the drawable layer may move the memory
// between frames); used after a successful lock.
void __glBufferRefresh(GlBuffer *b);
// The drawable buffer record the buffer's descriptor belongs to (null when not attached).
GlDrawableBuffers *__glBufferRecord(const GlBuffer *b);

// Per-context operations.
BOOL __glCreateBuffers(GlContext *ctx);
void __glAttachDrawableBuffers(GlContext *ctx, GlDrawableBuffers *rec);
void __glDetachDrawableBuffers(GlContext *ctx);
BOOL __glResizeDrawableBuffers(GlContext *ctx, int32_t width, int32_t height);
BOOL __glResizeToDrawable(GlContext *ctx);
// The proc-slot resize of make-current: the buffers to the drawable's size, then the viewport.
void __glResizeContextToDrawable(GlContext *ctx);
// Resizes to the drawable and sets the chip's clip rectangle to the whole drawable.
void __glResizeContextClip(GlContext *ctx);
void __glFreeContextBuffers(GlContext *ctx);
void __glFreeDrawableBuffers(GlDrawableBuffers *rec);

// Locking: the mask selects buffers (bits above); buffers the context lacks are skipped. A
// failed lock releases what was locked and gives FALSE.
int32_t __glPrepareBuffers(GlContext *ctx, uint32_t mask);
int32_t __glReleaseBuffers(GlContext *ctx, uint32_t mask);
// Context procs built on them.
int32_t __glPrepareOwnBuffers(GlContext *ctx);
void __glReleaseOwnBuffers(GlContext *ctx);
int32_t __glLockDrawBuffer(GlContext *ctx);
void __glUnlockDrawBuffer(GlContext *ctx);
int32_t __glLockDrawAndDepthBuffers(GlContext *ctx);
void __glUnlockDrawAndDepthBuffers(GlContext *ctx);

// 1 when window pixel (x, y) belongs to the drawable; 0 for pixels outside the mask.
int32_t __glPixelMaskBit(GlContext *ctx, int32_t x, int32_t y);
