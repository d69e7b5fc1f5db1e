// A program that leaves through exit() with its context still current: static destruction runs
// while the platform's objects are still held, and must find what it needs still there.
#include "tests/gl_program/window_program.h"

TEST(ProgramExit, LeavingThroughExitWithAContextCurrentIsClean) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!kivMachineBoot()) std::exit(2);
            HWND hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 10, 10, 32, 32, nullptr, nullptr, nullptr, nullptr);
            HDC hdc = GetDC(hwnd);
            if (!SetPixelFormat(hdc, kDoubleBuffered, nullptr)) std::exit(3);
            HGLRC rc = wglCreateContext(hdc);
            if (rc == nullptr || !wglMakeCurrent(hdc, rc)) std::exit(4);
            glClear(GL_COLOR_BUFFER_BIT);
            glBegin(GL_TRIANGLES);
            glVertex2f(-1, -1);
            glVertex2f(1, -1);
            glVertex2f(0, 1);
            glEnd();
            glFinish();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, "fast");
}
