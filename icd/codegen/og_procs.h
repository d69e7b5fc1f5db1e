// What the pickers ask the code generator for. Each request answers with a generated routine
// taken from (or written into) the context's caches, or leaves the C procs in place when the
// state is one the generator does not cover or the generation cannot complete.
#pragma once

#include "icd/raster/span.h"

struct GlContext;

// The depth-test stage pair (unmasked, masked) of the span list for the depth buffer's current
// test, replacing __glSpanDepthTest and __glSpanDepthTestMasked; both or neither are replaced.
// The generated stages read the depth state they were made for at run time and hand the span to
// the C stage when it has changed since.
void __glOgPickDepthStages(GlContext *ctx, GlStageProc *unmasked, GlStageProc *masked);

// The RGBA shading stage (flat or smooth) of the span list, replacing __glSpanShadeRgbaFlat or
// __glSpanShadeRgbaSmooth in *shade; other shading stages are left as they are. Smooth shading
// is generated only while "__GL_OG_SMOOTH_SHADE" is non-zero (tests: 1 or 0 to force it, -1 to
// follow the environment).
void __glOgPickShadeStage(GlContext *ctx, GlStageProc *shade);
void __glOgSetSmoothShadeForTest(int enabled);

// Whether a proc is one of the context's generated routines (benchmarks and tests report it),
// and the C proc a generated routine stands in for (any other proc: itself).
bool __glOgIsGenerated(GlContext *ctx, const void *proc);
const void *__glOgReplacedProc(GlContext *ctx, const void *proc);

// The C++ road into a generated span routine at entry: runs it on an 8-aligned copy of *span
// with the callee-saved registers kept, and returns what the routine leaves in eax (1), or 0
// when the context has no generator. The caller holds the drawable lock; the routine's exit
// releases it.
struct GlSpan;
int32_t __glOgRunSpanRoutine(GlContext *ctx, const GlSpan *span, const void *entry);

// The span routine of the fast path for the current state (the whole triangle's rows from the
// edge fields of its GlSpan): stageList non-zero (low byte) the routine that calls the fast chain
// through fastStageFirst once per chunk of at most 32 pixels, zero the one-routine that draws an
// unblended state itself (untextured, or a replacing texture it copies; with MMX, the MMX routine's
// states too). Entered by a jump with esp at an 8-aligned GlSpan, it
// leaves through the context's spanReturn word after the unlock step. Null when the state is one
// it does not serve, the generation cannot complete, or generated span routines are off.
void *__glOgGenSpanProc(GlContext *ctx, int stageList);
// Whether the one-routine without MMX draws the current textured state itself: level 0 sampled
// nearest and repeating, GL_REPLACE or GL_MODULATE, without blend. A replacing texture without
// dither is copied from level 0's copy in the colour buffer's layout (the copy itself is not asked
// for; the one-routine refuses a level without one); the others read the level's own texels.
bool __glOgTexturedOneRoutineServes(GlContext *ctx);
// What a routine of the context's span cache is, in words ("stage-list span routine", "MMX span
// routine", ...); null when the routine is not one of them.
const char *__glOgSpanRoutineForm(GlContext *ctx, const void *routine);
// "__GL_OG_SPAN" (0 turns generated span routines off; on by default); tests: 1 or 0 to force
// it, -1 to follow the environment.
bool __glOgSpanRoutinesEnabled();
void __glOgSetSpanRoutinesForTest(int enabled);

// The depth-test stage of the fast span chain for the current depth function, write mask,
// element width, polygon offset and stencil state (ecx the live mask, edx the GlSpan; it jumps to
// the after-depth slot, with the passing pixels, or returns when none passed and no stencil update
// follows). Null when the context has no generator or the buffer is one it does not serve.
GlFastProc __glOgGenDepthTestProc(GlContext *ctx);
// Whether the fast chain takes the generated depth stage for the current state: by default for
// the forms the prebuilt table serves one pixel at a time (32-bit elements, polygon offset), while
// the prebuilt eight-pixel 16-bit stages stay; "__GL_OG_FAST_DEPTH" 1 takes it always, 0 never.
// Tests: 1 or 0 to force it, -1 to follow the environment.
bool __glOgFastDepthStageWanted(GlContext *ctx);
void __glOgSetFastDepthStageForTest(int mode);
