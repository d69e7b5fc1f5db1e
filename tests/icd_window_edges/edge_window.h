// A window with an OpenGL context for the edge and load tests, and the checks of what the screen
// shows around it.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <GL/gl.h>
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/machine/machine.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/common/program_fixture.h"
#include "platform/opengl32/wgl.h"

// A copy of the whole screen (rows top first, 16-bit pixels).
struct ScreenCopy {
    std::vector<uint16_t> px;
    int w = 0, h = 0;
    static ScreenCopy take() {
        ScreenCopy s;
        const uint8_t *bits = nullptr;
        int pitch = 0;
        if (!kivScreenPixels(&bits, &pitch)) return s;
        s.w = kivScreenMode()->width;
        s.h = kivScreenMode()->height;
        s.px.resize(size_t(s.w) * size_t(s.h));
        for (int y = 0; y < s.h; ++y) std::memcpy(&s.px[size_t(y) * size_t(s.w)], bits + ptrdiff_t(y) * pitch, size_t(s.w) * 2);
        return s;
    }
    uint16_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

// An 8-bit channel from a 5-bit one, as glReadPixels widens it (to the nearest step).
inline int widen5(int v) { return (v * 255 + 15) / 31; }
// A read-back channel against the 5-bit value drawn, within the widening's rounding.
inline bool readsAs(int got, int five) { return std::abs(got - widen5(five)) <= 1; }

class EdgeWindow {
public:
    EdgeWindow(int x, int y, int width, int height, bool doubleBuffered) : w(width), h(height) {
        ok = open(x, y, doubleBuffered);
    }
    bool open(int x, int y, bool doubleBuffered) {
        hwnd = CreateWindowExA(0, "edge", "edge", WS_VISIBLE, x, y, w, h, nullptr, nullptr, nullptr, nullptr);
        if (hwnd == nullptr) return fail("no window");
        hdc = GetDC(hwnd);
        PIXELFORMATDESCRIPTOR want{};
        want.nSize = sizeof want;
        want.nVersion = 1;
        want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doubleBuffered ? PFD_DOUBLEBUFFER : 0);
        want.iPixelType = PFD_TYPE_RGBA;
        want.cColorBits = 16;
        want.cDepthBits = 16;
        want.cStencilBits = 8;
        const int format = ChoosePixelFormat(hdc, &want);
        PIXELFORMATDESCRIPTOR got{};
        if (format == 0 || !DescribePixelFormat(hdc, format, sizeof got, &got)) return fail("no pixel format");
        if (((got.dwFlags & PFD_DOUBLEBUFFER) != 0) != doubleBuffered) return fail("no format of that buffering");
        if (!SetPixelFormat(hdc, format, nullptr)) return fail("SetPixelFormat");
        rc = wglCreateContext(hdc);
        if (rc == nullptr) return fail(std::string("wglCreateContext: ") + kivOpenGlError());
        if (!wglMakeCurrent(hdc, rc)) return fail(std::string("wglMakeCurrent: ") + kivOpenGlError());
        project();
        return true;
    }
    ~EdgeWindow() {
        if (rc != nullptr) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(rc);
        }
        if (hdc != nullptr) ReleaseDC(hwnd, hdc);
        if (hwnd != nullptr) DestroyWindow(hwnd);
    }
    EdgeWindow(const EdgeWindow &) = delete;
    EdgeWindow &operator=(const EdgeWindow &) = delete;

    bool ok = false;
    std::string why;
    int w, h;
    HWND hwnd = nullptr;
    HDC hdc = nullptr;
    HGLRC rc = nullptr;

    bool swap() { return SwapBuffers(hdc) != FALSE; }
    bool moveTo(int x, int y) {
        if (!MoveWindow(hwnd, x, y, w, h, TRUE)) return false;
        project();
        return true;
    }
    // The drawable is the window's client area cut to the screen's size (not its place).
    int drawableW() const { return std::min(w, kivScreenMode()->width); }
    int drawableH() const { return std::min(h, kivScreenMode()->height); }
    // The screen position of the drawable's pixel (x, y), y counted from the bottom.
    POINT toScreen(int x, int y) const {
        POINT at{0, 0};
        ClientToScreen(hwnd, &at);
        return POINT{at.x + x, at.y + drawableH() - 1 - y};
    }

    // Every screen pixel inside the drawable's visible part shows want(x, y) (window
    // coordinates); every other one is as `before` had it.
    void expectScreen(const ScreenCopy &before, uint16_t colour,
                      const std::function<uint16_t(int, int)> &want = nullptr) const {
        const ScreenCopy now = ScreenCopy::take();
        ASSERT_EQ(now.px.size(), before.px.size());
        POINT at{0, 0};
        ClientToScreen(hwnd, &at);
        const int dw = drawableW(), dh = drawableH();
        int wrong = 0;
        for (int sy = 0; sy < now.h && wrong < 4; ++sy) {
            const bool rowIn = sy >= at.y && sy < at.y + dh;
            for (int sx = 0; sx < now.w && wrong < 4; ++sx) {
                const bool in = rowIn && sx >= at.x && sx < at.x + dw;
                const int x = sx - at.x, y = dh - 1 - (sy - at.y);
                const uint16_t expect = in ? (want ? want(x, y) : colour) : before.at(sx, sy);
                if (now.at(sx, sy) != expect) {
                    ++wrong;
                    ADD_FAILURE() << "screen " << sx << "," << sy << (in ? " (window " : " (outside, window ") << x << ","
                                  << y << ") shows 0x" << std::hex << now.at(sx, sy) << ", not 0x" << expect;
                }
            }
        }
    }
    // The read-back of the whole window: its visible pixels are `colour`.
    void expectVisibleRead(const std::vector<GLubyte> &rgba, uint16_t colour) const {
        const KivScreenMode *mode = kivScreenMode();
        int wrong = 0;
        for (int y = 0; y < drawableH() && wrong < 4; ++y)
            for (int x = 0; x < drawableW() && wrong < 4; ++x) {
                const POINT s = toScreen(x, y);
                if (s.x < 0 || s.y < 0 || s.x >= mode->width || s.y >= mode->height) continue;
                const GLubyte *p = &rgba[4 * (size_t(y) * size_t(w) + size_t(x))];
                if (!readsAs(p[0], (colour >> 10) & 31) || !readsAs(p[1], (colour >> 5) & 31) ||
                    !readsAs(p[2], colour & 31)) {
                    ++wrong;
                    ADD_FAILURE() << "read " << x << "," << y << " = " << int(p[0]) << "," << int(p[1]) << ","
                                  << int(p[2]) << ", not 0x" << std::hex << colour;
                }
            }
    }

private:
    bool fail(const std::string &reason) {
        why = reason;
        return false;
    }
    void project() {
        kivscenes::windowProjection(w, h);
        glDisable(GL_DITHER);
    }
};

// The default machine for tests that hold the chip or DirectDraw up: the chip's spin guard is
// off while they run (a held chip is waited out by the driver's own bounds), and every hold and
// injection is let go at the end, or by releaseTrouble() on the way.
class TroubleMachine : public DefaultMachine {
protected:
    void SetUp() override {
        DefaultMachine::SetUp();
        if (HasFatalFailure()) return;
        zk3EngineSetSpinGuard(0);
    }
    void TearDown() override {
        releaseTrouble();
        zk3EngineSetSpinGuard(20000000);
        DefaultMachine::TearDown();
    }
    static void releaseTrouble() {
        kivDDrawResetInjections();
        zk3EngineHoldNotifiers(false);
        zk3EngineHoldFreeCount(0, 0);
        if (zk3EngineChip() != nullptr) zk3EngineChip()->setEngineBusy(false);
    }
};
