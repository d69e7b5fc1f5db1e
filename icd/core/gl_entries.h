// The driver's OpenGL entries. They live in namespace icd so that they never share a linker
// name with opengl32's exported gl* functions in the same program.
#pragma once
#include <GL/gl.h>
#include "platform/win32/win32.h"

namespace icd {
// Immediate entries of the core commands.
#define GL_ENTRY(offset, ret, name, params, args, bytes) ret APIENTRY name params;
#include <GL/gl_entries.inc>
#undef GL_ENTRY

// Display-list compile routines of the core commands (the same names in namespace compile).
namespace compile {
#define GL_ENTRY(offset, ret, name, params, args, bytes) ret APIENTRY name params;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace compile

// Extension slots: immediate procs, compile routines and the dispatch entries that
// DrvGetProcAddress hands out (which jump through the current context's live table).
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) \
    ret APIENTRY doName params;                                                      \
    ret APIENTRY compileName params;                                                 \
    ret APIENTRY name params __asm__("__glext_" #name);
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
}  // namespace icd

// Internal dispatch entries: call a command through whatever the current context's live table
// holds at that moment (compile routines, the do-nothing table, procs patched by validation).
// GL_DISPATCH(command without its gl prefix, slot)
#define GL_DISPATCH_LIST(X)                                                                      \
    X(Begin, 7) X(Bitmap, 8)                                                                     \
    X(Color3bv, 10) X(Color3dv, 12) X(Color3fv, 14) X(Color3iv, 16) X(Color3sv, 18)              \
    X(Color3ubv, 20) X(Color3uiv, 22) X(Color3usv, 24) X(Color4bv, 26) X(Color4dv, 28)           \
    X(Color4fv, 30) X(Color4iv, 32) X(Color4sv, 34) X(Color4ubv, 36) X(Color4uiv, 38)            \
    X(Color4usv, 40) X(EdgeFlagv, 42) X(End, 43)                                                 \
    X(Indexdv, 45) X(Indexfv, 47) X(Indexiv, 49) X(Indexsv, 51)                                  \
    X(Normal3bv, 53) X(Normal3dv, 55) X(Normal3fv, 57) X(Normal3iv, 59) X(Normal3sv, 61)         \
    X(TexCoord1dv, 95) X(TexCoord1fv, 97) X(TexCoord1iv, 99) X(TexCoord1sv, 101)                 \
    X(TexCoord2dv, 103) X(TexCoord2fv, 105) X(TexCoord2iv, 107) X(TexCoord2sv, 109)              \
    X(TexCoord3dv, 111) X(TexCoord3fv, 113) X(TexCoord3iv, 115) X(TexCoord3sv, 117)              \
    X(TexCoord4dv, 119) X(TexCoord4fv, 121) X(TexCoord4iv, 123) X(TexCoord4sv, 125)              \
    X(Vertex2dv, 127) X(Vertex2f, 128) X(Vertex2fv, 129) X(Vertex2iv, 131) X(Vertex2sv, 133)     \
    X(Vertex3dv, 135) X(Vertex3fv, 137) X(Vertex3iv, 139) X(Vertex3sv, 141) X(Vertex4dv, 143)    \
    X(Vertex4fv, 145) X(Vertex4iv, 147) X(Vertex4sv, 149)                                        \
    X(Clear, 203) X(Accum, 213) X(CopyPixels, 255) X(ReadPixels, 256) X(DrawPixels, 257)         \
    X(ColorPointer, 308) X(DisableClientState, 309) X(EnableClientState, 313)                    \
    X(IndexPointer, 314) X(Indexubv, 316) X(NormalPointer, 318) X(TexCoordPointer, 320)          \
    X(VertexPointer, 321)

#define GL_DECLARE_DISPATCH(cmd, slot) extern "C" decltype(icd::gl##cmd) __glDispatch##cmd;
GL_DISPATCH_LIST(GL_DECLARE_DISPATCH)
#undef GL_DECLARE_DISPATCH
