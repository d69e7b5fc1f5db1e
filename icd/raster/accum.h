// The software accumulation buffer: four signed 16-bit components a pixel (R, G, B, A in this
// order) over the drawable's accumulation memory, the five glAccum operations and its clear.
#pragma once
#include <cstdint>
#include "icd/raster/buffer.h"

struct GlContext;
struct GlAccumBuffer;

typedef void (*GlAccumOpProc)(GlAccumBuffer *ab, float value);

struct GlAccumBuffer {
    GlBuffer head;  // element size 8
    // 32767 / the front colour buffer's channel scale: a full channel accumulates as 32767.
    float accumScaleR, accumScaleG, accumScaleB, accumScaleA;
    // 1 / the accumulation scales, for the return into a colour buffer.
    float returnScaleR, returnScaleG, returnScaleB, returnScaleA;
    GlAccumOpProc nop;
    void (*clear)(GlAccumBuffer *ab);
    GlAccumOpProc accumulate;
    GlAccumOpProc load;
    GlAccumOpProc ret;
    GlAccumOpProc mult;
    GlAccumOpProc add;
};
static_assert(sizeof(GlAccumBuffer) == 76 + 8 * 4 + 7 * 4);

// Set-up: head procs, element size 8, the seven procs, and the scales for an RGBA visual (a
// colour-index visual keeps them 0).
void __glInitAccumBuffer(GlAccumBuffer *ab, GlContext *ctx);

// The operations over the clear box.
void __glAccumNop(GlAccumBuffer *ab, float value);
void __glClearAccumBuffer(GlAccumBuffer *ab);
void __glAccumAccumulate(GlAccumBuffer *ab, float value);
void __glAccumLoad(GlAccumBuffer *ab, float value);
void __glAccumReturn(GlAccumBuffer *ab, float value);
void __glAccumMult(GlAccumBuffer *ab, float value);
void __glAccumAdd(GlAccumBuffer *ab, float value);

// Colours read per piece of a row by load and accumulate.
constexpr int32_t kGlAccumRowColors = 4096;
