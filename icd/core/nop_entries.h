// Do-nothing entries: each returns 0 and pops exactly n bytes of arguments, so a call through
// any slot of the do-nothing table leaves the caller's stack as the command's own entry would.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"

template <unsigned N>
struct GlNop {
    static_assert(N % 4 == 0, "stdcall arguments come in words");
    struct Args { uint32_t words[N / 4]; };
    static GLuint APIENTRY entry(Args) { return 0; }
};
template <>
struct GlNop<0> {
    static GLuint APIENTRY entry() { return 0; }
};
