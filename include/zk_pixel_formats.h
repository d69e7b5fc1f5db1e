// The two pixel formats the ZK3's display driver offers OpenGL, as DrvDescribePixelFormat
// describes them: 5-5-5 RGBA, 64-bit accumulation, 16-bit depth, 8-bit stencil. Format 1 is
// single-buffered and drawn by GDI too; format 2 is double-buffered and swapped by copying. The
// display driver answers with them, and so does the display-driver double of the machines the
// driver does not serve.
#pragma once
#include <algorithm>
#include <cstring>
#include "platform/win32/win32.h"

#define ZK_PIXEL_FORMAT_COUNT 2

inline PIXELFORMATDESCRIPTOR ZkPixelFormat(DWORD flags) {
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

// Copies min(bytes, 40) of format `format` (1-based) when pfd is not null and the format exists.
inline void ZkCopyPixelFormat(LONG format, ULONG bytes, PIXELFORMATDESCRIPTOR *pfd) {
    static const PIXELFORMATDESCRIPTOR formats[ZK_PIXEL_FORMAT_COUNT] = {
        ZkPixelFormat(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL),                   // 0x34
        ZkPixelFormat(PFD_DOUBLEBUFFER | PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_SWAP_COPY),  // 0x425
    };
    if (pfd && format >= 1 && format <= ZK_PIXEL_FORMAT_COUNT)
        std::memcpy(pfd, &formats[format - 1], std::min<ULONG>(bytes, sizeof(PIXELFORMATDESCRIPTOR)));
}
