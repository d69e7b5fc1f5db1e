// Windowed programs on the NT machine across display-mode changes, through opengl32: after the
// desktop changes size or depth the program's frames must reach the new screen, at the window's
// place, and glReadPixels must give what was drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "tests/icd_window/window_readback.h"
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/machine/machine.h"
#include "tests/common/program_fixture.h"

namespace {


// An RGB colour with 8-bit channels.
struct Rgb {
    int r, g, b;
};

// The screen's word for an 8-bit colour at the mode's depth: 5-5-5 at 16 bits per pixel (each
// channel rounded to nearest of 31 steps), 8-8-8 at 32.
uint32_t screenWord(const Rgb &c, int bpp) {
    auto five = [](int v) { return uint32_t((v * 31 + 127) / 255); };
    if (bpp == 16) return five(c.r) << 10 | five(c.g) << 5 | five(c.b);
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
}

// The pixel of the screen at column x, row `row` (rows from the top), at the mode's depth.
uint32_t screenAt(int x, int row) {
    const kivscenes::Picture s = kivscenes::WindowTarget::screen();
    if (s.bits == nullptr) return 0xDEADBEEFu;
    return s.raw(x, s.h - 1 - row) & (s.bytesPerPixel == 2 ? 0x7FFFu : 0xFFFFFFu);
}

class ModeChange : public DefaultMachine {
protected:
    ModeChange() : DefaultMachine(KivScreenMode{1024, 768, 16}) {}
    void TearDown() override {
        // Every test has closed its windows and contexts: the surfaces made again for each mode
        // went with them.
        const KivDDrawCounts left = kivDDrawCounts();
        EXPECT_EQ(left.objects, 0);
        EXPECT_EQ(left.surfaces, 0);
        EXPECT_EQ(left.clippers, 0);
        EXPECT_EQ(left.videoBytes, 0u);
        DefaultMachine::TearDown();
    }
    static bool setMode(int w, int h, int bpp) {
        const KivScreenMode m{w, h, bpp};
        kivSetScreenMode(&m);
        return kivScreenMode()->width == w && kivScreenMode()->height == h && kivScreenMode()->bpp == bpp;
    }
};

// A frame: a clear to `back` and a flat triangle in `front` with its corners at (8, 8), (88, 8)
// and (8, 56) in window units. The colours' channels are 0 or 255, which every depth holds
// exactly.
constexpr Rgb kClearA{0, 0, 255}, kTriA{255, 0, 0};
constexpr Rgb kClearB{0, 255, 0}, kTriB{255, 255, 255};

void drawFrame(int w, int h, const Rgb &back, const Rgb &front) {
    kivscenes::windowProjection(w, h);
    glDisable(GL_DITHER);
    glClearColor(back.r / 255.0f, back.g / 255.0f, back.b / 255.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(GLubyte(front.r), GLubyte(front.g), GLubyte(front.b));
    glBegin(GL_TRIANGLES);
    glVertex2i(8, 8);
    glVertex2i(88, 8);
    glVertex2i(8, 56);
    glEnd();
    glFinish();
}

// Whether window pixel (x, y) (y up) is well inside the triangle (8, 8), (88, 8), (8, 56):
// its centre at least two pixels from every edge, so that no rule of the rasterizer decides it.
bool insideTriangle(int x, int y) {
    const double cx = x + 0.5, cy = y + 0.5;
    // The hypotenuse: 48 x + 80 y = 48 * 88 + 80 * 8 on the line; its normal's length is
    // sqrt(48^2 + 80^2).
    const double hyp = (48.0 * 88 + 80.0 * 8 - 48.0 * cx - 80.0 * cy) / 93.295230317;
    return cx - 8 > 2 && cy - 8 > 2 && hyp > 2;
}
bool outsideTriangle(int x, int y) {
    const double cx = x + 0.5, cy = y + 0.5;
    const double hyp = (48.0 * 88 + 80.0 * 8 - 48.0 * cx - 80.0 * cy) / 93.295230317;
    return cx < 6 || cy < 6 || hyp < -2;
}

// Checks a frame in a w x h window: read back by glReadPixels from the buffer the program reads,
// and on the screen at the window's place (where the screen has that place).
void expectFrame(HWND hwnd, int w, int h, const Rgb &back, const Rgb &front, const char *what) {
    const Readback r = readWindow(w, h);
    POINT at{0, 0};
    ClientToScreen(hwnd, &at);
    const KivScreenMode *mode = kivScreenMode();
    int inside = 0, outside = 0;
    for (int y = 0; y < h; y += 3)
        for (int x = 0; x < w; x += 4) {
            const bool in = insideTriangle(x, y), out = outsideTriangle(x, y);
            if (!in && !out) continue;
            const Rgb &want = in ? front : back;
            (in ? inside : outside)++;
            for (int c = 0; c < 3; ++c) {
                const int expect = c == 0 ? want.r : c == 1 ? want.g : want.b;
                ASSERT_LE(std::abs(r.at(x, y, c) - expect), 4) << what << " glReadPixels " << x << "," << y << " channel " << c;
            }
            const int sx = at.x + x, sy = at.y + (h - 1 - y);
            if (sx < 0 || sy < 0 || sx >= mode->width || sy >= mode->height) continue;
            ASSERT_EQ(screenAt(sx, sy), screenWord(want, mode->bpp))
                << what << " screen " << sx << "," << sy << " (window " << x << "," << y << ")";
        }
    EXPECT_GT(inside, 10) << what;
    EXPECT_GT(outside, 10) << what;
}

// Draws frames until glReadPixels shows one (a lock that finds the mode changed refuses its
// frame and asks the window to repaint); true within a few frames.
bool drawUntilLanded(int w, int h, const Rgb &back, const Rgb &front) {
    for (int frames = 0; frames < 3; ++frames) {
        drawFrame(w, h, back, front);
        const Readback r = readWindow(w, h);
        if (r.at(2, 2, 0) == back.r && r.at(2, 2, 1) == back.g && r.at(2, 2, 2) == back.b) return true;
    }
    return false;
}

// The swap after a change of size reaches the new screen, and after the change back, and for a
// window moved and resized between a change and its next frame.
TEST_F(ModeChange, ADoubleBufferedWindowSwapsOntoTheNewScreen) {
    constexpr int kW = 96, kH = 64;
    kivscenes::WindowTarget window(300, 200, kW, kH);
    ASSERT_TRUE(window.ok) << window.why;
    drawFrame(kW, kH, kClearA, kTriA);
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearA, kTriA, "before");

    ASSERT_TRUE(setMode(800, 600, 16));
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed after the mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearB, kTriB, "800 x 600");

    ASSERT_TRUE(setMode(1024, 768, 16));
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearA, kTriA)) << "no frame landed after the second mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearA, kTriA, "back at 1024 x 768");

    // Moved and resized between a mode change and the next frame.
    ASSERT_TRUE(setMode(800, 600, 16));
    ASSERT_TRUE(MoveWindow(window.hwnd, 600, 420, kW + 24, kH + 16, TRUE));
    ASSERT_TRUE(drawUntilLanded(kW + 24, kH + 16, kClearB, kTriB)) << "no frame landed after the move";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW + 24, kH + 16, kClearB, kTriB, "moved and resized at 800 x 600");
}

// A single-buffered window draws straight onto the screen: after the change its drawing lands at
// the window's place on the new screen, at the new pitch.
TEST_F(ModeChange, ASingleBufferedWindowDrawsOntoTheNewScreen) {
    constexpr int kW = 96, kH = 64;
    HWND hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 500, 300, kW, kH, nullptr, nullptr, nullptr, nullptr);
    HDC hdc = GetDC(hwnd);
    ASSERT_TRUE(SetPixelFormat(hdc, 1, nullptr));
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    glDrawBuffer(GL_FRONT);
    glReadBuffer(GL_FRONT);
    drawFrame(kW, kH, kClearA, kTriA);
    expectFrame(hwnd, kW, kH, kClearA, kTriA, "before");

    ASSERT_TRUE(setMode(800, 600, 16));
    EXPECT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed after the mode change";
    expectFrame(hwnd, kW, kH, kClearB, kTriB, "800 x 600");

    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(rc);
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
}

// The mode changes while no thread has the context current: made current again, the program's
// next frames and swap reach the new screen.
TEST_F(ModeChange, AModeChangeWhileTheContextIsNotCurrent) {
    constexpr int kW = 96, kH = 64;
    kivscenes::WindowTarget window(200, 150, kW, kH);
    ASSERT_TRUE(window.ok) << window.why;
    drawFrame(kW, kH, kClearA, kTriA);
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearA, kTriA, "before");
    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));

    ASSERT_TRUE(setMode(800, 600, 16));
    ASSERT_TRUE(window.makeCurrent()) << kivOpenGlError();
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed after the mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearB, kTriB, "800 x 600");
}

// A change to 32 bits per pixel leaves the chip unable to draw (the display driver offers OpenGL
// at 16 only) and the screen unable to hold the window's 16-bit pixels: nothing is drawn onto the
// new screen and nothing crashes; back at 16 bits the picture returns.
TEST_F(ModeChange, ADepthChangeDrawsNothingUntilTheDepthIsBack) {
    constexpr int kW = 96, kH = 64;
    kivscenes::WindowTarget window(300, 200, kW, kH);
    ASSERT_TRUE(window.ok) << window.why;
    drawFrame(kW, kH, kClearA, kTriA);
    ASSERT_TRUE(window.swap());

    ASSERT_TRUE(setMode(1024, 768, 32)) << "the default machine (16 MB) refused 1024 x 768 at 32 bits per pixel";
    // The window's place on the new screen as the mode change left it.
    POINT at{0, 0};
    ClientToScreen(window.hwnd, &at);
    std::vector<uint32_t> before;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) before.push_back(screenAt(at.x + x, at.y + y));
    for (int frame = 0; frame < 3; ++frame) {
        drawFrame(kW, kH, kClearB, kTriB);
        window.swap();
    }
    size_t i = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(screenAt(at.x + x, at.y + y), before[i++]) << x << "," << y;

    ASSERT_TRUE(setMode(1024, 768, 16));
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed back at 16 bits per pixel";
    // A clear dropped on the way (its buffers were being made again) is reported by the swap
    // that follows it; the frame drawn after that one is shown.
    if (!window.swap()) {
        drawFrame(kW, kH, kClearB, kTriB);
        ASSERT_TRUE(window.swap());
    }
    expectFrame(window.hwnd, kW, kH, kClearB, kTriB, "back at 16 bits per pixel");
}

// A window the size of the smaller mode's screen covers all of it after the change: its swaps
// (which then go without a lock of the front buffer) show the new frame, and after the change
// back, when it covers only part of the screen, too.
TEST_F(ModeChange, AWindowThatBecomesTheWholeScreen) {
    constexpr int kW = 800, kH = 600;
    kivscenes::WindowTarget window(0, 0, kW, kH);
    ASSERT_TRUE(window.ok) << window.why;
    drawFrame(kW, kH, kClearA, kTriA);
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearA, kTriA, "part of the screen");

    ASSERT_TRUE(setMode(800, 600, 16));
    // The swap right after the change has no frame of the new mode to show: it puts nothing
    // from the old mode's surfaces on the screen.
    const uint32_t corner = screenAt(2, kH - 3);
    window.swap();
    EXPECT_EQ(screenAt(2, kH - 3), corner);
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed after the mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearB, kTriB, "the whole screen");

    ASSERT_TRUE(setMode(1024, 768, 16));
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearA, kTriA)) << "no frame landed after the second mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearA, kTriA, "part of the screen again");
}

// Two windows of one program share the process's primary surface: whichever makes it again for
// the new mode, both windows' swaps reach the new screen.
TEST_F(ModeChange, TwoWindowsOfOneProgram) {
    constexpr int kW = 96, kH = 64;
    kivscenes::WindowTarget first(100, 100, kW, kH);
    ASSERT_TRUE(first.ok) << first.why;
    kivscenes::WindowTarget second(400, 300, kW, kH);
    ASSERT_TRUE(second.ok) << second.why;
    ASSERT_TRUE(setMode(800, 600, 16));
    ASSERT_TRUE(first.makeCurrent());
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearA, kTriA)) << "first window";
    ASSERT_TRUE(first.swap());
    ASSERT_TRUE(second.makeCurrent());
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "second window";
    ASSERT_TRUE(second.swap());
    expectFrame(second.hwnd, kW, kH, kClearB, kTriB, "second window");
    ASSERT_TRUE(first.makeCurrent());
    expectFrame(first.hwnd, kW, kH, kClearA, kTriA, "first window");
}

// The mode changes in the middle of a frame: what was drawn for the old mode is gone with its
// surfaces, the swap shows nothing of it, and the next frames land.
TEST_F(ModeChange, AChangeInTheMiddleOfAFrame) {
    constexpr int kW = 96, kH = 64;
    kivscenes::WindowTarget window(300, 200, kW, kH);
    ASSERT_TRUE(window.ok) << window.why;
    kivscenes::windowProjection(kW, kH);
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3ub(0, 255, 0);
    glBegin(GL_TRIANGLES);
    glVertex2i(8, 8);
    glVertex2i(88, 8);
    ASSERT_TRUE(setMode(800, 600, 16));
    glVertex2i(8, 56);
    glEnd();
    window.swap();
    POINT at{0, 0};
    ClientToScreen(window.hwnd, &at);
    for (int y = 0; y < kH; y += 5)
        for (int x = 0; x < kW; x += 5) {
            const uint32_t p = screenAt(at.x + x, at.y + y);
            ASSERT_NE(p, screenWord(Rgb{255, 0, 0}, 16)) << x << "," << y;
            ASSERT_NE(p, screenWord(Rgb{0, 255, 0}, 16)) << x << "," << y;
        }
    ASSERT_TRUE(drawUntilLanded(kW, kH, kClearB, kTriB)) << "no frame landed after the mode change";
    ASSERT_TRUE(window.swap());
    expectFrame(window.hwnd, kW, kH, kClearB, kTriB, "800 x 600");
}

}  // namespace
