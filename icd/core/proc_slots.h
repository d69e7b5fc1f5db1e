// The pipeline procs of a context: installed at its first make-current, replaced by the pickers
// and by validation.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/vertex.h"

struct GlContext;

typedef void (*GlProc)(GlContext *ctx);
// A proc of another signature stored in a GlProc slot; its callers cast it back.
#define GL_AS_PROC(proc) reinterpret_cast<GlProc>(reinterpret_cast<void (*)(void)>(&proc))

struct GlProcSlots {
#define GL_INSTALL(field, proc) GlProc field;
#include "icd/core/installer.inc"
#undef GL_INSTALL
    const void *staticProcTable;              // set with the installed procs
    void (*validate)(GlContext *ctx);         // runs before a primitive when beginMode asks for validation
    void (*errorHook)(GlContext *ctx, GLenum code);
    GlProc initNop[2];                        // do-nothing until their owners install procs
    GlProc resizeReset[3];                    // reset by a resize so validation picks them again
    GlProc applyColor;                        // current colour into colour material, or scaled
    GlProc completePending;                   // finishes the vertices the open primitive holds
    GlProc scissorChanged;                    // the device's part of a scissor change
    GlPrimitiveProcs primitive;               // per-vertex procs of the vertex pipeline
};
