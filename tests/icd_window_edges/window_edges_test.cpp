// Windows placed partly or wholly off the screen, through opengl32 on the default NT machine:
// clears, triangles (in states that take the chip, the fast chain with and without generated
// code, and the generic rasteriser), lines, pixel rectangles and read-back, single- and
// double-buffered. What lies outside the window's visible part must not change: the screen
// around it and the host memory just before the frame buffer (the chip model's guard zone).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <GL/gl.h>
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/icd_window_edges/edge_window.h"

namespace {

constexpr uint16_t kRed555 = 0x7C00, kGreen555 = 0x03E0, kBlue555 = 0x001F;

struct Place {
    int x, y, w, h;
    const char *what;
};

// Places on the 1024 x 768 screen.
const Place kPlaces[] = {
    {878, -32, 41, 79, "above the top edge"},
    {100, -200, 64, 48, "wholly above the top edge"},
    {-30, 200, 64, 48, "past the left edge"},
    {1000, 200, 64, 48, "past the right edge"},
    {300, 740, 64, 48, "past the bottom edge"},
    {-40, -24, 80, 60, "past the top left corner"},
    {-20, -16, 1100, 820, "larger than the screen"},
};

// One drawing operation that leaves the colour `expect` on every visible pixel of the window.
struct Op {
    const char *what;
    void (*draw)(int w, int h);
    uint16_t expect;
};

void clearRed(int, int) {
    glClearColor(1, 0, 0, 0);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void greenQuad(int w, int h) { glColor3f(0, 1, 0); glRecti(0, 0, w, h); }

const GLubyte kAllOnes[128] = {
#define KIV_FF8 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
#define KIV_FF32 KIV_FF8, KIV_FF8, KIV_FF8, KIV_FF8
    KIV_FF32, KIV_FF32, KIV_FF32, KIV_FF32
#undef KIV_FF32
#undef KIV_FF8
};

// The chip draws a plain quad; a stippled one is the fast chain's staged procs; a blended one
// (one, zero) its generated routine; a logic-op one with depth test the generic span stages.
void quadPlain(int w, int h) { greenQuad(w, h); }
void quadStippled(int w, int h) {
    glEnable(GL_POLYGON_STIPPLE);
    glPolygonStipple(kAllOnes);
    greenQuad(w, h);
    glDisable(GL_POLYGON_STIPPLE);
}
void quadBlended(int w, int h) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    greenQuad(w, h);
    glDisable(GL_BLEND);
}
void quadLogicOp(int w, int h) {
    glEnable(GL_LOGIC_OP);
    glLogicOp(GL_COPY);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    greenQuad(w, h);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LOGIC_OP);
}
// A horizontal line through every row's centre.
void lines(int w, int h) {
    glColor3f(0, 1, 0);
    glBegin(GL_LINES);
    for (int y = 0; y < h; ++y) {
        glVertex2f(0.0f, float(y) + 0.5f);
        glVertex2f(float(w), float(y) + 0.5f);
    }
    glEnd();
}
void drawPixels(int w, int h) {
    std::vector<GLubyte> blue(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < blue.size(); i += 4) blue[i + 2] = 255, blue[i + 3] = 255;
    glRasterPos2i(0, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, blue.data());
}

const Op kOps[] = {
    {"clear", clearRed, kRed555},
    {"quad (chip)", quadPlain, kGreen555},
    {"stippled quad (fast chain)", quadStippled, kGreen555},
    {"blended quad (generated routine)", quadBlended, kGreen555},
    {"logic-op quad (generic)", quadLogicOp, kGreen555},
    {"lines", lines, kGreen555},
    {"pixel rectangle", drawPixels, kBlue555},
};

class WindowEdges : public DefaultMachine {
protected:
    void SetUp() override {
        DefaultMachine::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_NE(zk3EngineChip(), nullptr);
    }
};

// Every operation, every place, single- and double-buffered: the visible part shows the
// operation's colour, nothing else on the screen changes and nothing is written before the frame
// buffer; a read-back of the whole window (front and back) returns without an error.
TEST_F(WindowEdges, DrawingStaysInsideTheVisiblePartOfTheWindow) {
    for (bool doubleBuffered : {false, true})
        for (const Place &p : kPlaces) {
            SCOPED_TRACE(std::string(p.what) + (doubleBuffered ? ", double-buffered" : ", single-buffered"));
            EdgeWindow win(p.x, p.y, p.w, p.h, doubleBuffered);
            ASSERT_TRUE(win.ok) << win.why;
            for (const Op &op : kOps) {
                SCOPED_TRACE(op.what);
                const ScreenCopy before = ScreenCopy::take();
                op.draw(win.w, win.h);
                glFinish();
                if (doubleBuffered) {
                    EXPECT_TRUE(win.swap());
                }
                EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
                ASSERT_TRUE(zk3EngineChip()->frameBufferGuardIntact()) << "written before the frame buffer";
                win.expectScreen(before, op.expect);
                for (GLenum buffer : {GLenum(GL_FRONT), GLenum(doubleBuffered ? GL_BACK : GL_FRONT)}) {
                    std::vector<GLubyte> back(size_t(win.w) * size_t(win.h) * 4, 0x5A);
                    glReadBuffer(buffer);
                    glPixelStorei(GL_PACK_ALIGNMENT, 1);
                    glReadPixels(0, 0, win.w, win.h, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
                    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
                    ASSERT_TRUE(zk3EngineChip()->frameBufferGuardIntact());
                    win.expectVisibleRead(back, op.expect);
                }
            }
        }
}

// A window moved across the top edge and back between frames draws at each place without
// touching anything outside it.
TEST_F(WindowEdges, AWindowMovedAcrossTheTopEdgeBetweenFramesStaysInside) {
    for (bool doubleBuffered : {false, true}) {
        SCOPED_TRACE(doubleBuffered ? "double-buffered" : "single-buffered");
        EdgeWindow win(500, 100, 48, 64, doubleBuffered);
        ASSERT_TRUE(win.ok) << win.why;
        const int tops[] = {100, -20, -63, -64, -200, 10};
        for (int top : tops) {
            SCOPED_TRACE("top " + std::to_string(top));
            ASSERT_TRUE(win.moveTo(500, top));
            const ScreenCopy before = ScreenCopy::take();
            clearRed(win.w, win.h);
            quadStippled(win.w, win.h / 2);
            glFinish();
            if (doubleBuffered) {
                EXPECT_TRUE(win.swap());
            }
            ASSERT_TRUE(zk3EngineChip()->frameBufferGuardIntact());
            win.expectScreen(before, 0xFFFF, [&](int, int y) {
                return y < win.h / 2 ? kGreen555 : kRed555;
            });
        }
    }
}

}  // namespace
