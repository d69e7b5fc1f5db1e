// What a windowed program reads back of its window, for the window tests.
#pragma once
#include <cstdint>
#include <vector>
#include <GL/gl.h>

// 8-bit RGBA rows, bottom first, as glReadPixels gives them.
struct Readback {
    std::vector<uint8_t> rgba;
    int w = 0;
    int at(int x, int y, int c) const { return rgba[size_t(4 * (y * w + x) + c)]; }
};
inline Readback readWindow(int w, int h) {
    Readback r;
    r.w = w;
    r.rgba.assign(size_t(4 * w * h), 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, r.rgba.data());
    return r;
}
