// The cost of one OpenGL call from a program: opengl32's export jumping through the thread's
// proc table into the driver, with a context current on a window.
#include <cstdio>
#include "bench/bench.h"
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

namespace {

bool makeCurrent() {
    static int state = 0;  // 0 not tried, 1 current, -1 failed
    if (state != 0) return state > 0;
    state = -1;
    if (!kivMachineBoot()) return false;
    HWND hwnd = CreateWindowExA(0, "kivbench", "kivbench", WS_VISIBLE, 0, 0, 256, 256, nullptr, nullptr, nullptr,
                                nullptr);
    HDC hdc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 16;
    const int pf = ChoosePixelFormat(hdc, &pfd);
    if (pf == 0 || !SetPixelFormat(hdc, pf, &pfd)) return false;
    HGLRC rc = wglCreateContext(hdc);
    if (rc == nullptr || !wglMakeCurrent(hdc, rc)) return false;
    state = 1;
    return true;
}

KIV_BENCH("gl_call_dispatch", "calls/s", [](uint64_t n) -> uint64_t {
    if (!makeCurrent()) return 0;
    for (uint64_t i = 0; i < n; ++i) glColor3f(float(i & 1), 0.5f, 0.25f);
    return n;
});

KIV_BENCH("gl_state_change", "calls/s", [](uint64_t n) -> uint64_t {
    if (!makeCurrent()) return 0;
    for (uint64_t i = 0; i < n; ++i) glDepthFunc((i & 1) ? GL_LESS : GL_LEQUAL);
    return n;
});

}  // namespace
