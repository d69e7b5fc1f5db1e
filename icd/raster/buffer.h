// The common head of every software buffer of a context and the drawable's description of one
// buffer's memory, to which the head attaches.
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
