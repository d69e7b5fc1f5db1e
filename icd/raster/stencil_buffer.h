// The software stencil buffer of a context: one byte a pixel, tested and updated through lookup
// tables that hold, for every stored value, the test result and the value after each operation.
#pragma once
#include <cstdint>
#include "icd/raster/buffer.h"

struct GlContext;

struct GlStencilBuffer {
    GlBuffer head;             // element size 1
    uint8_t *testTable;        // 1 when the stencil test passes for the stored value
    uint8_t *failTable;        // new value after the stencil-fail operation
    uint8_t *depthFailTable;   // ... after the depth-fail operation
    uint8_t *depthPassTable;   // ... after the depth-pass operation
    void (*pick)(GlContext *ctx);
    void (*store)(GlStencilBuffer *sb, int32_t x, int32_t y, uint32_t value);
    uint32_t (*fetch)(GlStencilBuffer *sb, int32_t x, int32_t y);
    uint8_t (*test)(GlStencilBuffer *sb, int32_t x, int32_t y);
    void (*applyFail)(GlStencilBuffer *sb, int32_t x, int32_t y);
    void (*applyDepthFail)(GlStencilBuffer *sb, int32_t x, int32_t y);
    void (*applyDepthPass)(GlStencilBuffer *sb, int32_t x, int32_t y);
    void (*clear)(GlStencilBuffer *sb);
    // The tables have tableSize = 2^bits entries; every index is cut to valueBits first, so a
    // stored byte with bits above the buffer's never reads past them.
    int32_t bits;
    uint32_t valueBits;        // tableSize - 1
};

void __glInitSoftStencilBuffer(GlStencilBuffer *sb, GlContext *ctx);
// The buffer's release proc: returns the four tables to the context's allocator.
void __glReleaseStencilTables(GlBuffer *b, GlContext *ctx);
// The buffer's pick slot, run by the context's validation: rebuilds the tables when the stencil
// function, reference, masks or operations changed.
void __glPickStencilBufferProcs(GlContext *ctx);
// Allocates the tables on first use and fills them from the context's stencil state.
void __glBuildStencilTestTable(GlContext *ctx);

void __glStoreStencil(GlStencilBuffer *sb, int32_t x, int32_t y, uint32_t value);
uint32_t __glFetchStencil(GlStencilBuffer *sb, int32_t x, int32_t y);
uint8_t __glTestStencil(GlStencilBuffer *sb, int32_t x, int32_t y);
void __glApplyStencilFail(GlStencilBuffer *sb, int32_t x, int32_t y);
void __glApplyStencilDepthFail(GlStencilBuffer *sb, int32_t x, int32_t y);
void __glApplyStencilDepthPass(GlStencilBuffer *sb, int32_t x, int32_t y);
void __glClearStencilBuffer(GlStencilBuffer *sb);

// The byte of window (x, y).
uint8_t *__glStencilAddress(const GlStencilBuffer *sb, int32_t x, int32_t y);
