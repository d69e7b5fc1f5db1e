// The generated triangle set-up of the fast path: one routine per state that snaps, sorts and
// sets up a triangle into a span record on its own stack, takes the drawable lock and jumps into
// the generated span routine, which walks the rows and returns through the routine's caller.
#pragma once

#include <cstdint>

#include "icd/core/pick.h"

struct GlContext;

// The routine for the context's current state (looked up in or written into the triangle cache),
// or null when the state is not one it sets up or the generation could not complete. `mode` is
// the mode the span routine was generated in (0 one routine, else the stage list; low byte).
// Called as the raster triangle proc: (ctx, a, b, c), cdecl. A triangle that is not inside the
// clip box, or whose buffers are missing, goes to __glFillTriangleFast unchanged; so does, for a
// stage-list span routine (mode not 0), a triangle 32 pixels wide or more whose spans walk right
// to left (the C set-up hands those rows to the chain left to right).
GlPickTriangleProc __glOgGenTriangleProc(GlContext *ctx, int32_t mode);

// After the fast-path chooser: replaces __glFillTriangleFast as the raster triangle proc with the
// generated routine when a generated span routine (a one-routine or the stage-list routine) is
// in place and the state is one the routine covers; true when it did. Off while
// "__GL_OG_TRIANGLE" is 0 (tests: 0 or 1 to force, -1 to follow the environment).
bool __glOgInstallTriangleProc(GlContext *ctx);
void __glOgSetTriangleProcForTest(int enabled);
