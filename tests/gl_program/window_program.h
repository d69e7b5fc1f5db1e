// A program's own view of the driver: a window on the default machine, a pixel format chosen by
// number (1 single-buffered, 2 double-buffered), a context made current through opengl32, one
// unit per pixel with the origin at the bottom left, and what comes back through glReadPixels.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/common/program_fixture.h"

constexpr int kSingleBuffered = 1;
constexpr int kDoubleBuffered = 2;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
inline std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// The window's size.
constexpr int kProgramW = 64, kProgramH = 48;

// What a full channel reads back as, measured once a context is current: colours are compared
// on the scale 0 to 255 whatever unit the read path returns them in.
inline float gFullChannel = 1.0f;
inline void measureFullChannel() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    float p[4] = {0, 0, 0, 0};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, p);
    gFullChannel = p[0] > 0.0f ? p[0] : 1.0f;
}

// The colour of the pixel at window position (x, y), 0 to 255 a channel.
inline Rgb rgbAt(int x, int y) {
    float p[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, p);
    auto scaled = [](float v) { return int(v / gFullChannel * 255.0f + 0.5f); };
    return Rgb{scaled(p[0]), scaled(p[1]), scaled(p[2])};
}
inline double depthAt(int x, int y) {
    float z = -1.0f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &z);
    return z;
}
inline int stencilAt(int x, int y) {
    uint8_t s = 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
    return s;
}
// Every pixel of the window whose colour is not `background`.
inline int countNot(Rgb background) {
    int n = 0;
    for (int y = 0; y < kProgramH; ++y)
        for (int x = 0; x < kProgramW; ++x) n += !(rgbAt(x, y) == background);
    return n;
}
inline void clearTo(float r, float g, float b) {
    glClearColor(r, g, b, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// The current context draws one unit per pixel of a w x h window, dither off so that every
// colour written is the colour drawn, and reads back on the 0 to 255 scale.
inline void pixelProjection(int w, int h) {
    kivscenes::windowProjection(w, h);
    glDisable(GL_DITHER);
    measureFullChannel();
}

class WindowProgram : public BootedProgram {
protected:
    static constexpr int kW = kProgramW, kH = kProgramH;

    void SetUp() override {
        BootedProgram::SetUp();
        if (HasFatalFailure()) return;
        hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 10, 10, kW, kH, nullptr, nullptr, nullptr, nullptr);
        hdc = GetDC(hwnd);
    }
    void TearDown() override {
        wglMakeCurrent(nullptr, nullptr);
        if (rc != nullptr) wglDeleteContext(rc);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        BootedProgram::TearDown();
    }
    // Current context of the given pixel format with the one-unit-per-pixel projection, dither
    // off so that every colour written is the colour drawn.
    void open(int format) {
        ASSERT_TRUE(haveIcd()) << "kivgl.so is not built";
        ASSERT_TRUE(SetPixelFormat(hdc, format, nullptr));
        rc = wglCreateContext(hdc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(hdc, rc)) << kivOpenGlError();
        pixelProjection(kW, kH);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
    HWND hwnd = nullptr;
    HDC hdc = nullptr;
    HGLRC rc = nullptr;
};
