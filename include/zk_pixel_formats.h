// The two pixel formats the display driver offers OpenGL (5-5-5 RGBA, 64-bit accumulation,
// 16-bit depth, 8-bit stencil): one single-buffered format that GDI draws on too, one double-
// buffered with copy swaps. The display driver describes them; the display double of the
// machines without it describes the same.
#pragma once
#include <cstring>
#include "platform/win32/win32.h"

inline PIXELFORMATDESCRIPTOR zkPixelFormat(DWORD flags) {
    PIXELFORMATDESCRIPTOR p;
    std::memset(&p, 0, sizeof p);
    p.nSize = sizeof p;
    p.nVersion = 1;
    p.dwFlags = flags;
    p.iPixelType = PFD_TYPE_RGBA;
    p.cColorBits = 16;
    p.cRedBits = 5;
    p.cRedShift = 10;
    p.cGreenBits = 5;
    p.cGreenShift = 5;
    p.cBlueBits = 5;
    p.cAccumBits = 64;
    p.cAccumRedBits = p.cAccumGreenBits = p.cAccumBlueBits = p.cAccumAlphaBits = 16;
    p.cDepthBits = 16;
    p.cStencilBits = 8;
    p.iLayerType = PFD_MAIN_PLANE;
    return p;
}

// Formats 1 and 2.
inline const PIXELFORMATDESCRIPTOR *zkPixelFormats() {
    static const PIXELFORMATDESCRIPTOR formats[2] = {
        zkPixelFormat(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL),                     // 0x34
        zkPixelFormat(PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_SWAP_COPY),    // 0x425
    };
    return formats;
}
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);
