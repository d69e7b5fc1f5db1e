// glDrawBuffer(GL_NONE): no colour is written, but every kind of primitive still updates the
// depth and stencil buffers (a depth-only pre-pass, a stencil-only pass).
#include "tests/gl_program/window_program.h"

#include <functional>

namespace {

constexpr Rgb kBlue{0, 0, 255};
constexpr int kX = 20, kY = 20;  // a pixel every primitive below covers

struct Kind {
    const char *name;
    std::function<void()> draw;  // at z = 0, window depth 0.5
};

void triangle() {
    glBegin(GL_TRIANGLES);
    glVertex2f(10, 10);
    glVertex2f(40, 10);
    glVertex2f(10, 40);
    glEnd();
}
void line() {
    glBegin(GL_LINES);
    glVertex2f(10.5f, kY + 0.5f);
    glVertex2f(30.5f, kY + 0.5f);
    glEnd();
}
void point() {
    glBegin(GL_POINTS);
    glVertex2f(kX + 0.5f, kY + 0.5f);
    glEnd();
}

const Kind kKinds[] = {
    {"point", point},
    {"wide point", [] { glPointSize(5); point(); }},
    {"smooth point", [] { glEnable(GL_POINT_SMOOTH); glPointSize(4); point(); }},
    {"line", line},
    {"wide line", [] { glLineWidth(3); line(); }},
    {"stippled line", [] { glEnable(GL_LINE_STIPPLE); glLineStipple(1, 0xFFFF); line(); }},
    {"smooth line", [] { glEnable(GL_LINE_SMOOTH); line(); }},
    {"triangle", triangle},
    {"smooth shaded triangle", [] { glShadeModel(GL_SMOOTH); glColor3f(1, 0, 0); triangle(); }},
    {"textured triangle", [] {
         static const uint8_t texel[4] = {255, 0, 0, 255};
         glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
         glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
         glEnable(GL_TEXTURE_2D);
         triangle();
     }},
    {"antialiased polygon", [] { glEnable(GL_POLYGON_SMOOTH); triangle(); }},
    {"rectangle", [] { glRectf(10, 10, 30, 30); }},
    {"polygon as lines", [] { glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); glRectf(10.5f, kY + 0.5f, 30.5f, 30.5f); }},
    {"polygon as points", [] { glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); glRectf(kX + 0.5f, kY + 0.5f, 30.5f, 30.5f); }},
};

struct Tests {
    const char *name;
    bool depth, stencil;
};
const Tests kTests[] = {{"depth", true, false}, {"stencil", false, true}, {"depth and stencil", true, true}};

class DrawNone : public WindowProgram {};

TEST_F(DrawNone, EveryPrimitiveWritesDepthAndStencil) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    for (const Tests &t : kTests)
        for (const Kind &k : kKinds) {
            SCOPED_TRACE(std::string(k.name) + " with " + t.name);
            glPushAttrib(GL_ALL_ATTRIB_BITS);
            glDrawBuffer(GL_BACK);
            glClearColor(0, 0, 1, 0);
            glClearDepth(1.0);
            glClearStencil(0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
            glDrawBuffer(GL_NONE);
            if (t.depth) {
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(GL_LESS);
            }
            if (t.stencil) {
                glEnable(GL_STENCIL_TEST);
                glStencilFunc(GL_ALWAYS, 5, 0xFF);
                glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
            }
            glColor3f(1, 1, 1);
            k.draw();
            glPopAttrib();
            glDisable(GL_TEXTURE_2D);
            ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            glReadBuffer(GL_BACK);
            EXPECT_EQ(rgbAt(kX, kY), kBlue) << "no colour is written";
            EXPECT_NEAR(depthAt(kX, kY), t.depth ? 0.5 : 1.0, 1e-3);
            EXPECT_EQ(stencilAt(kX, kY), t.stencil ? 5 : 0);
        }
}

}  // namespace
