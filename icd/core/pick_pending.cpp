// Placeholders for the procs the pickers install or call whose owners have not landed yet. Each
// does nothing: a stage passes every pixel and stores none, a render proc draws nothing, a size or
// fog factor is 0 and no texture is usable.
#include "icd/core/pick.h"
#include "icd/core/core.h"
#include "icd/core/services.h"

#define PP_CTX(name) void name(GlContext *) {}
#define PP_STAGE(name) uint8_t name(GlContext *) { return 0; }
#define PP_VERTEX(name) void name(GlContext *, GlVertex *) {}
#define PP_LINE(name) void name(GlContext *, GlVertex *, GlVertex *) {}
#define PP_TRIANGLE(name) void name(GlContext *, GlVertex *, GlVertex *, GlVertex *) {}
#define PP_SIZE(name) float name(GlContext *, GlVertex *) { return 0.0f; }
#include "icd/core/pick_pending.inc"
