// One line naming the generated routines a context has in its slots, for benchmarks and tools
// that want to know whether a workload ran generated code or the C procs.
#pragma once

#include <cstdint>

struct GlContext;

// Writes "generated code: ", the generated routines in the context's slots (or "none"), with a
// generator "; span-routine runs: " and how many times its span routines were entered (once per
// triangle they drew), then "; clears: " and how its clears fill rows ("MMX fill loop" or "C fill"), into text: never more
// than size bytes and, when size is not 0, always terminated (a short buffer gets a terminated
// prefix). Returns the length of the whole line without its terminator, as snprintf does, so that
// a caller can tell a cut line from a whole one. The routines named: the generic span list's
// depth-test and shading stages, the vertex, vertex-cache and strip routines, the fast path's span
// routine and its form (only while triangles go through the fast set-up), and the generated
// triangle set-up. A null context gives "generated code: no current context".
uint32_t __glOgDescribe(GlContext *ctx, char *text, uint32_t size);
