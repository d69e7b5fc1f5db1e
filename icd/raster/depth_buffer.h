// The software depth buffer of a context: three kinds (16-bit, 24-bit with an epoch tag byte
// above the depth, 32-bit), their clears, fetches and the choice of the depth-test procs, and the
// per-function depth-test procs themselves.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/raster/buffer.h"

struct GlContext;
struct GlDepthBuffer;

// Tests one fragment at window (x, y) with fixed-point depth z (before the buffer's shift);
// non-zero = pass. In the writing half a passing value is stored.
typedef uint8_t (*GlDepthTestProc)(GlDepthBuffer *db, int32_t x, int32_t y, uint32_t z);
// Tests an already shifted and tagged depth value against the element at the address.
typedef uint8_t (*GlDepthValueProc)(uint32_t value, uint8_t *address);

// Epoch steps of the 24-bit kind.
constexpr uint32_t kGlEpochFalling = 0xFF000000u;
constexpr uint32_t kGlEpochRising = 0x01000000u;

struct GlDepthBuffer {
    GlBuffer head;             // head.depth: 16, 24 or 32
    uint32_t writeMask;
    uint32_t scale;            // window depth d in [0, 1] becomes truncate(d * scale)
    uint32_t epochBase;        // current epoch tag in the top byte
    int32_t shift;             // scaled value >> shift = stored value
    uint32_t maxValue;         // mask of the stored depth bits
    uint32_t epochStep;        // 0, kGlEpochFalling or kGlEpochRising
    uint8_t needsFullClear;
    uint8_t epochClearAllowed;
    uint8_t mirror;            // stored d means window depth 1 - d; the function is mirrored
    uint8_t reserved0;
    GLenum effectiveFunc;      // the function the test procs implement
    float offsetUnit;          // smallest resolvable depth step (polygon-offset units)
    void (*pick)(GlContext *ctx, GlDepthBuffer *db, int32_t testIndex);
    GlDepthTestProc test;
    void (*clear)(GlDepthBuffer *db);
    uint32_t (*fetch)(GlDepthBuffer *db, int32_t x, int32_t y);
    // Rewrites each word of the clear box into the given tag (old-epoch words become the clear
    // value, current-epoch words keep their depth); nothing for the untagged kinds.
    void (*retag)(GlDepthBuffer *db, uint32_t tag);
    // The context's fragment depth-test proc, the entry of __glDepthValueProcs for the test
    // index, filled by the pick; the span stages call it per pixel.
    GlDepthValueProc fragmentTest;
};

// What a drawable keeps of its depth buffer between contexts (the descriptor's depthSave).
struct GlDepthSave {
    uint32_t writeMask, scale, epochBase;
    int32_t shift;
    uint32_t maxValue, epochStep;
    uint8_t needsFullClear, mirror;
    uint8_t reserved[2];
};
static_assert(sizeof(GlDepthSave) == 28);

// ---- set-up -------------------------------------------------------------------------------------
// Chooses the kind by "GLFORCEZBITS" (its leading decimal number) or the visual's depth bits.
void __glInitDepthBuffer(GlDepthBuffer *db, GlContext *ctx);
void __glInitDepthBuffer16(GlDepthBuffer *db, GlContext *ctx);
void __glInitDepthBuffer24(GlDepthBuffer *db, GlContext *ctx);
void __glInitDepthBuffer32(GlDepthBuffer *db, GlContext *ctx);
int32_t __glResizeDepthBuffer(GlBuffer *b, int32_t width, int32_t height, uint32_t bufferBit);
void __glAttachDepthBuffer(GlBuffer *b, GlBufferDescriptor *d, GlContext *ctx);
void __glDetachDepthBuffer(GlBuffer *b, GlContext *ctx);

// ---- validation ---------------------------------------------------------------------------------
// The depth buffer's pick proc: epoch-clear permission, the test proc and the clear proc for the
// test index (effective function - GL_NEVER, + 8 without depth writes, + 16 above 16 bits); it
// also fills the context's fragment depth-test slot and the span picker's effective function.
void __glPickDepthClear(GlContext *ctx, GlDepthBuffer *db, int32_t testIndex);
// The test index of the buffer's current state.
int32_t __glDepthTestIndex(const GlContext *ctx, const GlDepthBuffer *db);
// Epoch direction changes of the 24-bit kind; keeps the effective function in step with the
// context's depth function and the mirror.
void __glUpdateDepthEpoch(GlDepthBuffer *db);
// The stored value of the clear depth (tag included).
uint32_t __glDepthClearValue(GlDepthBuffer *db);

// ---- clear and fetch ----------------------------------------------------------------------------
void __glClearDepthBuffer(GlDepthBuffer *db);
void __glHwClearDepthBuffer(GlDepthBuffer *db);
// Fetches return the window depth in units of (scale >> shift): 0 is depth 0.0, scale >> shift
// depth 1.0 (stale 24-bit words read as the cleared depth, mirrored words are mirrored back).
uint32_t __glFetchDepth16(GlDepthBuffer *db, int32_t x, int32_t y);
uint32_t __glFetchDepth24(GlDepthBuffer *db, int32_t x, int32_t y);
uint32_t __glFetchDepth32(GlDepthBuffer *db, int32_t x, int32_t y);

// ---- depth-test procs ---------------------------------------------------------------------------
// Index = (function - GL_NEVER) + 8 without writes + 16 for 32-bit elements.
extern const GlDepthTestProc __glDepthTestProcs[32];
extern const GlDepthValueProc __glDepthValueProcs[32];

// The element of window (x, y).
uint8_t *__glDepthAddress(const GlDepthBuffer *db, int32_t x, int32_t y);
