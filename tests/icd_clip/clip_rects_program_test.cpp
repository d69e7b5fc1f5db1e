// A program drawing triangles into the front buffer of a window that another window partly
// covers: what it draws lands on the window's visible part exactly as it does on the uncovered
// window, and the covered part of the screen keeps what it showed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "platform/machine/machine.h"
#include "tests/common/program_fixture.h"

namespace {

constexpr int kW = 96, kH = 64;

// A flat red triangle and a smooth one whose corners are red, green and blue, both crossing
// the middle of the window, where the cover goes.
void drawTriangles() {
    kivscenes::windowProjection(kW, kH);
    glDisable(GL_DITHER);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glShadeModel(GL_FLAT);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 0, 0);
    glVertex2f(3.5f, 2.25f), glVertex2f(92.0f, 11.5f), glVertex2f(47.25f, 40.0f);
    glEnd();
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 0, 0), glVertex2f(10.0f, 62.0f);
    glColor3f(0, 1, 0), glVertex2f(20.5f, 18.0f);
    glColor3f(0, 0, 1), glVertex2f(88.75f, 50.0f);
    glEnd();
    glFinish();
}

class ClipRectsProgram : public DefaultMachine {
protected:
    // The screen's pixel in column x of row `row`, rows counted from the top.
    static uint32_t screenAt(int x, int row) {
        return kivscenes::WindowTarget::screen().raw(x, kivScreenMode()->height - 1 - row);
    }
};

TEST_F(ClipRectsProgram, TrianglesOnACoveredFrontBufferDrawOnlyTheVisiblePixels) {
    HWND hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 200, 100, kW, kH, nullptr, nullptr, nullptr, nullptr);
    HDC hdc = GetDC(hwnd);
    ASSERT_TRUE(SetPixelFormat(hdc, 1, nullptr));  // single-buffered: drawing goes to the screen
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    POINT at{0, 0};
    ClientToScreen(hwnd, &at);
    auto shown = [&] {
        std::vector<uint32_t> px;
        for (int row = 0; row < kH; ++row)
            for (int x = 0; x < kW; ++x) px.push_back(screenAt(at.x + x, at.y + row));
        return px;
    };

    drawTriangles();
    const std::vector<uint32_t> open = shown();
    int drawn = 0;
    for (uint32_t p : open) drawn += p != 0;
    ASSERT_GT(drawn, kW * kH / 4);
    // A colour the triangles never give, over the whole window, then the cover: what is under
    // it must keep that colour.
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    // Over the middle: the window's visible part is four rectangles around it.
    constexpr int kCoverX = 30, kCoverRow = 12, kCoverW = 34, kCoverH = 30;
    HWND cover = CreateWindowExA(0, "t", "t", WS_VISIBLE, at.x + kCoverX, at.y + kCoverRow, kCoverW, kCoverH, nullptr,
                                 nullptr, nullptr, nullptr);
    const std::vector<uint32_t> before = shown();
    ASSERT_EQ(before[size_t((kCoverRow + kCoverH / 2) * kW + kCoverX + kCoverW / 2)], 0x7FFFu);

    drawTriangles();
    const std::vector<uint32_t> after = shown();
    int differ = 0;
    for (int row = 0; row < kH; ++row)
        for (int x = 0; x < kW; ++x) {
            const size_t i = size_t(row * kW + x);
            const bool covered =
                x >= kCoverX && x < kCoverX + kCoverW && row >= kCoverRow && row < kCoverRow + kCoverH;
            const uint32_t want = covered ? before[i] : open[i];
            if (after[i] != want && differ++ < 5)
                ADD_FAILURE() << (covered ? "covered " : "visible ") << x << "," << row << ": 0x" << std::hex
                              << after[i] << ", not 0x" << want;
        }
    EXPECT_EQ(differ, 0);

    DestroyWindow(cover);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(rc);
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
}

}  // namespace
