// Windowed programs on the default NT machine, through opengl32: their buffers are the display
// driver's DirectDraw surfaces, the chip draws, the swap puts the picture on the screen. Every
// demo scene drawn in a window (the hardware road) is compared with the same scene drawn in a
// memory bitmap (the software road), read back with glReadPixels and from the screen; covered,
// moved, resized and partly off-screen windows and a display-mode change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "tests/icd_window/window_readback.h"
#include "platform/machine/machine.h"
#include "tests/common/program_fixture.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_triangle.h"

namespace {

using kivscenes::Picture;

constexpr int kW = 160, kH = 120;

// A channel on the 8-bit scale from a picture's own units.
int channel8(const Picture &p, int x, int y, int c) {
    const int m = p.channelMax(c);
    return (p.channel(x, y, c) * 255 + m / 2) / m;
}


// One step of a five-bit channel on the 8-bit scale, and a little for the widening's rounding.
constexpr int kStep = 255 / 31 + 1;

// Counts pixels more than one step apart, inside shapes and at edges (a pixel next to a jump of
// more than two steps in the software picture).
struct Misses {
    int interior = 0, edge = 0, edgePixels = 0;
    std::string report;
};
// The software picture as 8-bit RGB rows, top row first (Picture::rgb8), kept after its bitmap
// is gone.
struct Soft {
    std::vector<uint8_t> rgb;
    int w = 0, h = 0;
    int at(int x, int y, int c) const { return rgb[size_t(3 * ((h - 1 - y) * w + x) + c)]; }
};

template <class Get>
Misses compareWith(const Soft &sw, Get hw) {
    Misses m;
    for (int y = 0; y < sw.h; ++y)
        for (int x = 0; x < sw.w; ++x) {
            bool edge = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= sw.w || ny >= sw.h) continue;
                    for (int c = 0; c < 3; ++c)
                        edge |= std::abs(sw.at(x, y, c) - sw.at(nx, ny, c)) > 2 * kStep;
                }
            int worst = 0;
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(hw(x, y, c) - sw.at(x, y, c)));
            m.edgePixels += edge;
            if (worst <= kStep) continue;
            (edge ? m.edge : m.interior)++;
            if (m.report.size() < 400)
                m.report += " (" + std::to_string(x) + "," + std::to_string(y) + ") chip " + std::to_string(hw(x, y, 0)) +
                            "," + std::to_string(hw(x, y, 1)) + "," + std::to_string(hw(x, y, 2)) + " soft " +
                            std::to_string(sw.at(x, y, 0)) + "," + std::to_string(sw.at(x, y, 1)) + "," +
                            std::to_string(sw.at(x, y, 2)) + (edge ? " edge;" : ";");
        }
    return m;
}

void expectClose(const Misses &m, const char *what) {
    EXPECT_EQ(m.interior, 0) << what << ":" << m.report;
    EXPECT_LE(m.edge, m.edgePixels * 3 / 100 + 2) << what << ", " << m.edgePixels << " edge pixels:" << m.report;
}

class WindowOnScreen : public DefaultMachine {
protected:
    // Clears to dark blue and puts a red rectangle over the right half and a green one over the
    // top quarter, in window units.
    static void drawBlocks(int w, int h) {
        kivscenes::windowProjection(w, h);
        glDisable(GL_DITHER);
        glClearColor(0.0f, 0.0f, 0.5f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 0, 0);
        glRecti(w / 2, 0, w, h);
        glColor3f(0, 1, 0);
        glRecti(0, h - h / 4, w, h);
        glFinish();
    }
    // The colour drawBlocks leaves at window pixel (x, y), 5-5-5 on the screen.
    static uint32_t blockAt(int w, int h, int x, int y) {
        if (y >= h - h / 4) return 0x03E0;
        if (x >= w / 2) return 0x7C00;
        return 0x0010;   // half of 31, rounded to nearest
    }
    // The screen's pixel in column x of row `row`, rows counted from the top.
    static uint32_t screenAt(int x, int row) {
        return kivscenes::WindowTarget::screen().raw(x, kivScreenMode()->height - 1 - row);
    }
    // drawBlocks in the window by the chip, swapped: every pixel of the window that lies on the
    // screen shows its block. Returns the number of those pixels.
    static int drawAndExpectShown(kivscenes::WindowTarget &window, const char *what) {
        const int w = window.w, h = window.h;
        const uint64_t before = zk3TriangleStats().pixelsWritten;
        drawBlocks(w, h);
        EXPECT_GT(zk3TriangleStats().pixelsWritten, before) << what << ": the chip drew";
        EXPECT_TRUE(window.swap()) << what;
        POINT at{0, 0};
        ClientToScreen(window.hwnd, &at);
        const KivScreenMode *mode = kivScreenMode();
        int shown = 0, wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int sx = at.x + x, sy = at.y + (h - 1 - y);
                if (sx < 0 || sy < 0 || sx >= mode->width || sy >= mode->height) continue;
                ++shown;
                if (screenAt(sx, sy) != blockAt(w, h, x, y) && wrong++ < 5)
                    ADD_FAILURE() << what << ": screen " << sx << "," << sy << " shows 0x" << std::hex
                                  << screenAt(sx, sy) << ", not 0x" << blockAt(w, h, x, y);
            }
        EXPECT_EQ(wrong, 0) << what;
        return shown;
    }
};

// Every scene drawn by the chip in a window matches the software's picture in a bitmap, read
// back with glReadPixels and, after the swap, from the screen.
TEST_F(WindowOnScreen, EveryScenesWindowPictureMatchesItsBitmapPicture) {
    for (const kivscenes::Scene &scene : kivscenes::kScenes) {
        SCOPED_TRACE(scene.name);
        // The software picture first; its bitmap and context are gone before the window's come.
        Soft sw{{}, kW, kH};
        {
            kivscenes::BitmapTarget bitmap(kW, kH);
            ASSERT_TRUE(bitmap.ok) << bitmap.why;
            bitmap.poison();
            scene.draw(kW, kH);
            glFinish();
            sw.rgb = bitmap.picture.rgb8();
        }

        kivscenes::WindowTarget window(40, 30, kW, kH);
        ASSERT_TRUE(window.ok) << window.why;
        const uint64_t before = zk3TriangleStats().pixelsWritten;
        scene.draw(kW, kH);
        glFinish();
        const uint64_t chipPixels = zk3TriangleStats().pixelsWritten - before;
        const Readback back = readWindow(kW, kH);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        expectClose(compareWith(sw, [&](int x, int y, int c) { return back.at(x, y, c); }), "glReadPixels");
        ASSERT_TRUE(window.swap());
        const Picture shown = window.onScreen();
        ASSERT_NE(shown.bits, nullptr);
        expectClose(compareWith(sw, [&](int x, int y, int c) { return channel8(shown, x, y, c); }), "the screen");
        std::printf("%-8s chip pixels %llu\n", scene.name, static_cast<unsigned long long>(chipPixels));
    }
}

// A single-buffered window draws straight onto the screen: no swap needed.
TEST_F(WindowOnScreen, ASingleBufferedWindowDrawsOntoTheScreen) {
    HWND hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 200, 100, 64, 48, nullptr, nullptr, nullptr, nullptr);
    HDC hdc = GetDC(hwnd);
    ASSERT_TRUE(SetPixelFormat(hdc, 1, nullptr));
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    drawBlocks(64, 48);
    POINT at{0, 0};
    ClientToScreen(hwnd, &at);
    for (int y = 0; y < 48; y += 5)
        for (int x = 0; x < 64; x += 7)
            EXPECT_EQ(screenAt(at.x + x, at.y + 47 - y), blockAt(64, 48, x, y)) << x << "," << y;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(rc);
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
}

// The swap copies only what is visible: a window above keeps its part of the screen; a window
// partly past the screen's edge shows the rest; a moved and a resized window draw at their new
// place and size; after a display-mode change the program draws into new buffers and swaps.
TEST_F(WindowOnScreen, SwapsFollowTheWindowAcrossCoversMovesResizesAndModeChanges) {
    kivscenes::WindowTarget window(40, 30, 160, 120);
    ASSERT_TRUE(window.ok) << window.why;
    auto expectShown = [&](int w, int h, const char *what) {
        POINT at{0, 0};
        ClientToScreen(window.hwnd, &at);
        const KivScreenMode *mode = kivScreenMode();
        int checked = 0;
        for (int y = 0; y < h; y += 3)
            for (int x = 0; x < w; x += 5) {
                const int sx = at.x + x, sy = at.y + (h - 1 - y);
                if (sx < 0 || sy < 0 || sx >= mode->width || sy >= mode->height) continue;
                ++checked;
                ASSERT_EQ(screenAt(sx, sy), blockAt(w, h, x, y)) << what << " " << x << "," << y;
            }
        EXPECT_GT(checked, 0) << what;
    };
    drawBlocks(160, 120);
    ASSERT_TRUE(window.swap());
    expectShown(160, 120, "first swap");

    // Covered: a window above over the left part; its pixels are not the OpenGL window's.
    HWND cover = CreateWindowExA(0, "t", "t", WS_VISIBLE, 90, 70, 40, 40, nullptr, nullptr, nullptr, nullptr);
    std::vector<uint32_t> under;
    for (int y = 80; y < 110; ++y)
        for (int x = 100; x < 130; ++x) under.push_back(screenAt(x, y));
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    ASSERT_TRUE(window.swap());
    size_t i = 0;
    for (int y = 80; y < 110; ++y)
        for (int x = 100; x < 130; ++x) ASSERT_EQ(screenAt(x, y), under[i++]) << "covered " << x << "," << y;
    EXPECT_EQ(screenAt(150, 90), 0x7FFFu) << "uncovered";
    EXPECT_EQ(screenAt(110, 130), 0x7FFFu) << "below the cover";
    DestroyWindow(cover);

    // Moved, then resized.
    ASSERT_TRUE(MoveWindow(window.hwnd, 400, 300, 96, 64, TRUE));
    drawBlocks(96, 64);
    ASSERT_TRUE(window.swap());
    expectShown(96, 64, "moved");
    ASSERT_TRUE(MoveWindow(window.hwnd, 400, 300, 150, 90, TRUE));
    drawBlocks(150, 90);
    ASSERT_TRUE(window.swap());
    expectShown(150, 90, "resized");

    // Partly off the screen's left and top edges.
    ASSERT_TRUE(MoveWindow(window.hwnd, -40, -20, 96, 64, TRUE));
    drawBlocks(96, 64);
    ASSERT_TRUE(window.swap());
    expectShown(96, 64, "partly off-screen");

    // Another display mode: the surfaces are made again and the program's drawing lands in them.
    ASSERT_TRUE(MoveWindow(window.hwnd, 300, 200, 96, 64, TRUE));
    const KivScreenMode small{800, 600, 16};
    kivSetScreenMode(&small);
    ASSERT_EQ(kivScreenMode()->width, 800);
    // The frames whose locks find the mode changed make the buffers again and are refused
    // (nothing is drawn into buffers without storage; the window is asked to repaint); within a
    // few frames the picture is back.
    int frames = 0;
    bool drawn = false;
    do {
        drawBlocks(96, 64);
        drawn = readWindow(96, 64).at(80, 10, 0) == 255;
    } while (!drawn && ++frames < 3);
    ASSERT_TRUE(drawn) << "no frame landed after the mode change";
    EXPECT_TRUE(window.swap());
    expectShown(96, 64, "after the mode change");
    const Readback back = readWindow(96, 64);
    EXPECT_EQ(back.at(80, 10, 0), 255);
    EXPECT_EQ(back.at(80, 10, 1), 0);
}

// A window reaching past the screen's right and bottom edges shows its picture up to the last
// column and the last row; so does a window over the whole screen.
TEST_F(WindowOnScreen, TheScreensLastColumnAndRowShowTheWindowThatReachesThem) {
    const int cx = kivScreenMode()->width, cy = kivScreenMode()->height;
    struct Place { int x, y, w, h; const char *what; };
    const Place places[] = {
        {cx - 50, cy - 40, 96, 64, "past the right and bottom edges"},
        {cx - 96, cy - 64, 96, 64, "ending exactly at the corner"},
        {0, 0, cx, cy, "the whole screen"},
    };
    for (const Place &p : places) {
        kivscenes::WindowTarget window(p.x, p.y, p.w, p.h);
        ASSERT_TRUE(window.ok) << p.what << ": " << window.why;
        const int visibleW = std::min(p.w, cx - p.x), visibleH = std::min(p.h, cy - p.y);
        EXPECT_EQ(drawAndExpectShown(window, p.what), visibleW * visibleH) << p.what;
    }
}

// Two windows of one program, each with its own context: closing either one, in either order,
// leaves the other drawing by the chip, and a window opened after both draws by the chip too.
TEST_F(WindowOnScreen, TwoWindowsCloseInEitherOrderAndTheChipDrawsOn) {
    for (int firstGone : {0, 1}) {
        SCOPED_TRACE(firstGone == 0 ? "the older window closes first" : "the newer window closes first");
        const uint64_t errors = zk3EngineErrorCount();
        std::unique_ptr<kivscenes::WindowTarget> pair[2] = {std::make_unique<kivscenes::WindowTarget>(40, 30, 96, 64),
                                                            std::make_unique<kivscenes::WindowTarget>(400, 300, 96, 64)};
        for (auto &window : pair) {
            ASSERT_TRUE(window->ok) << window->why;
            ASSERT_TRUE(window->makeCurrent());
            drawAndExpectShown(*window, "both open");
        }
        pair[firstGone].reset();
        kivscenes::WindowTarget &kept = *pair[1 - firstGone];
        ASSERT_TRUE(kept.makeCurrent());
        drawAndExpectShown(kept, "the other closed");
        pair[1 - firstGone].reset();
        kivscenes::WindowTarget next(200, 150, 96, 64);
        ASSERT_TRUE(next.ok) << next.why;
        drawAndExpectShown(next, "opened after both");
        EXPECT_EQ(zk3EngineErrorCount(), errors) << zk3EngineErrors().back();
    }
}

// With DirectDraw turned off the same window draws into memory by software and the swap copies
// the back buffer into the memory front buffer.
TEST_F(WindowOnScreen, WithoutDirectDrawTheWindowDrawsInMemory) {
    KivMachineConfig c = *kivMachineConfig();
    c.noDirectDraw = 1;
    kivMachineConfigure(&c);
    kivscenes::WindowTarget window(100, 80, 96, 64);
    ASSERT_TRUE(window.ok) << window.why;
    const uint64_t before = zk3TriangleStats().pixelsWritten;
    drawBlocks(96, 64);
    EXPECT_EQ(zk3TriangleStats().pixelsWritten, before) << "the software drew";
    ASSERT_TRUE(window.swap());
    glReadBuffer(GL_FRONT);
    const Readback front = readWindow(96, 64);
    for (int y = 0; y < 64; y += 4)
        for (int x = 0; x < 96; x += 6) {
            const uint32_t want = blockAt(96, 64, x, y);
            const int r = int((want >> 10) & 31) * 255 / 31, g = int((want >> 5) & 31) * 255 / 31, b = int(want & 31) * 255 / 31;
            ASSERT_LE(std::abs(front.at(x, y, 0) - r), 1) << x << "," << y;
            ASSERT_LE(std::abs(front.at(x, y, 1) - g), 1) << x << "," << y;
            ASSERT_LE(std::abs(front.at(x, y, 2) - b), 1) << x << "," << y;
        }
}

}  // namespace
