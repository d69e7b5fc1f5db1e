// A double-buffered window larger than the screen, reaching past its top left corner, with a
// window stacked above it: its visible part is a list of rectangles whose last one (the band
// below the window above) lies wholly beyond the window's buffers, which have the screen's size.
// Every frame is on the screen when its swap returns: the blits of the rectangles before the
// last are not left waiting for the next frame's commands.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include "platform/machine/machine.h"
#include "tests/icd_window_edges/edge_window.h"

namespace {

class RectListSwap : public DefaultMachine {};

TEST_F(RectListSwap, AFrameWhoseLastVisibleRectangleLiesBeyondTheBuffersIsShownAtItsSwap) {
    const KivScreenMode *mode = kivScreenMode();
    // The buffers cover the screen from (-100, -80): their last row is at screen y h - 81, and
    // the window above reaches to 12 rows below it, so the band under it has no pixels to show.
    EdgeWindow win(-100, -80, mode->width + 300, mode->height + 250, true);
    ASSERT_TRUE(win.ok) << win.why;
    HWND cover = CreateWindowExA(0, "cover", "cover", WS_VISIBLE, 300, 200, 150, mode->height - 80 + 12 - 200,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(cover, nullptr);
    RECT covered{0, 0, 0, 0};
    GetWindowRect(cover, &covered);
    POINT at{0, 0};
    ClientToScreen(win.hwnd, &at);
    ASSERT_EQ(at.x, -100);
    ASSERT_EQ(at.y, -80);
    const int shownRight = at.x + win.drawableW(), shownBottom = at.y + win.drawableH();
    ASSERT_GT(covered.bottom, shownBottom) << "the band below the window above must lie beyond the buffers";

    struct Frame {
        float r, g, b;
        uint16_t colour;
    };
    for (const Frame &f : {Frame{1, 0, 0, 0x7C00}, Frame{0, 0, 1, 0x001F}, Frame{0, 1, 0, 0x03E0}}) {
        SCOPED_TRACE(testing::Message() << "frame 0x" << std::hex << f.colour);
        const ScreenCopy before = ScreenCopy::take();
        glClearColor(f.r, f.g, f.b, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_TRUE(win.swap());
        const ScreenCopy now = ScreenCopy::take();
        int wrong = 0;
        for (int y = 0; y < now.h && wrong < 4; ++y)
            for (int x = 0; x < now.w && wrong < 4; ++x) {
                const bool underCover = x >= covered.left && x < covered.right && y >= covered.top && y < covered.bottom;
                const bool shown = !underCover && x < shownRight && y < shownBottom;
                const uint16_t want = shown ? f.colour : before.at(x, y);
                if (now.at(x, y) != want && wrong++ < 4)
                    ADD_FAILURE() << "screen " << x << "," << y << (shown ? " (shown)" : " (not the window's)")
                                  << " is 0x" << std::hex << now.at(x, y) << ", not 0x" << want;
            }
    }
    DestroyWindow(cover);
}

}  // namespace
