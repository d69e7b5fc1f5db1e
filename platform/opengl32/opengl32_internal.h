// Shared by the source files of the opengl32 stand-in only.
#pragma once
#include "platform/opengl32/wgl.h"

// A proc table as the ICD hands it over (its GlProcTable): the count word (336), then the
// slots; slot i is the entry of dispatch offset i (397 slots: 336 core, the extension slots,
// spares).
struct OpenGl32Table {
    uint32_t count;
    void *slot[397];
};
static_assert(sizeof(OpenGl32Table) == 1592);

extern "C" {
extern const OpenGl32Table kivOpenGl32NopTable;
extern __thread const OpenGl32Table *kivOpenGl32ThreadTable __attribute__((tls_model("local-exec")));
// For tests of the swap path without a driver: sets the calling thread's current HGLRC and DC
// as wglMakeCurrent records them (the proc table is left as it is).
void kivOpenGl32SetCurrentForTest(HGLRC hglrc, HDC hdc);
}
