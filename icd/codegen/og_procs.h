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
