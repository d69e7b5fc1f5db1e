// Drawing into a window's front buffer on the default machine, where the display offers no
// DirectDraw: a single-buffered window, and glDrawBuffer(GL_FRONT) on a double-buffered one. The
// triangle lands in the front buffer and comes back through glReadPixels; a swap copies the back
// buffer there.
#include "tests/gl_program/window_program.h"

namespace {

constexpr Rgb kRed{255, 0, 0}, kBlue{0, 0, 255};

// A red right triangle over a blue window: its inside is red, the far corner stays blue.
void drawScene() {
    glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_TRIANGLES);
    glVertex2f(4, 4);
    glVertex2f(40, 4);
    glVertex2f(4, 40);
    glEnd();
    glFinish();
}

class FrontBuffer : public WindowProgram {};

TEST_F(FrontBuffer, SingleBufferedWindowDrawsAndReadsBack) {
    open(kSingleBuffered);
    if (HasFatalFailure()) return;
    drawScene();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(rgbAt(10, 10), kRed);
    EXPECT_EQ(rgbAt(60, 44), kBlue);
    // 630 pixel centres lie inside; the 36 on the long edge go to one side or the other.
    const int drawn = countNot(kBlue);
    EXPECT_GE(drawn, 630);
    EXPECT_LE(drawn, 666);
}

TEST_F(FrontBuffer, DoubleBufferedWindowDrawsIntoItsFrontBuffer) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    clearTo(0, 1, 0);  // the back buffer
    glDrawBuffer(GL_FRONT);
    glReadBuffer(GL_FRONT);
    drawScene();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(rgbAt(10, 10), kRed);
    EXPECT_EQ(rgbAt(60, 44), kBlue);
    // The back buffer was not drawn into.
    glReadBuffer(GL_BACK);
    EXPECT_EQ(rgbAt(10, 10), (Rgb{0, 255, 0}));
}

TEST_F(FrontBuffer, SwapCopiesTheBackBufferToTheFront) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    glDrawBuffer(GL_FRONT);
    glClearColor(0.0f, 1.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawBuffer(GL_BACK);
    drawScene();
    glReadBuffer(GL_FRONT);
    EXPECT_EQ(rgbAt(10, 10), (Rgb{0, 255, 0}));
    EXPECT_TRUE(SwapBuffers(hdc));
    EXPECT_EQ(rgbAt(10, 10), kRed);
    EXPECT_EQ(rgbAt(60, 44), kBlue);
}

}  // namespace
