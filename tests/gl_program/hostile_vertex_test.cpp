// Vertices a careless program sends (an uninitialised array, its own division by zero): NaN,
// infinite and huge coordinates, for every kind of primitive. Each is drawn without a hang, a
// crash or undefined behaviour, and the context draws correctly afterwards.
#include "tests/gl_program/window_program.h"

#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Drawing {
    const char *name;
    std::function<void()> state;
    GLenum mode;
};

class HostileVertex : public WindowProgram {};

TEST_F(HostileVertex, EveryPrimitiveSurvivesBadCoordinates) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    const Drawing setups[] = {
        {"points", [] {}, GL_POINTS},
        {"wide points", [] { glPointSize(4); }, GL_POINTS},
        {"smooth points", [] { glEnable(GL_POINT_SMOOTH); glPointSize(3); }, GL_POINTS},
        {"lines", [] {}, GL_LINES},
        {"line strip", [] {}, GL_LINE_STRIP},
        {"wide lines", [] { glLineWidth(3); }, GL_LINES},
        {"stippled lines", [] { glEnable(GL_LINE_STIPPLE); glLineStipple(2, 0xF0F0); }, GL_LINES},
        {"smooth lines", [] { glEnable(GL_LINE_SMOOTH); }, GL_LINES},
        {"depth-tested lines", [] { glEnable(GL_DEPTH_TEST); }, GL_LINES},
        {"triangles", [] {}, GL_TRIANGLES},
        {"depth-tested triangles", [] { glEnable(GL_DEPTH_TEST); glShadeModel(GL_SMOOTH); }, GL_TRIANGLES},
        {"smooth polygons", [] { glEnable(GL_POLYGON_SMOOTH); }, GL_TRIANGLES},
        {"line-mode polygons", [] { glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); }, GL_TRIANGLES},
        {"point-mode polygons", [] { glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); }, GL_TRIANGLES},
        {"quads", [] {}, GL_QUADS},
    };
    // x, y, z, w of the bad vertex; the others are ordinary.
    const float bad[][4] = {
        {kNaN, 10, 0, 1},   {10, kNaN, 0, 1},  {10, 10, kNaN, 1}, {10, 10, 0, kNaN}, {kInf, 10, 0, 1},
        {-kInf, 10, 0, 1},  {10, kInf, 0, 1},  {1e30f, 10, 0, 1}, {10, -1e30f, 0, 1}, {3e9f, 3e9f, 0, 1},
        {10, 10, 1e30f, 1}, {10, 10, 0, 0},    {10, 10, 0, 1e-30f}, {10, 10, 0, -1e-30f}, {1e30f, 1e30f, 0, 1e-30f},
    };
    // Viewports far off the window put ordinary vertices at huge window coordinates; those just
    // below the int limit put one end of a primitive below it and the other above.
    const GLint viewports[][2] = {{0, 0},
                                  {-2147483647, 0},
                                  {0, -2147483647},
                                  {2147483647, 2147483647},
                                  {-2000000000, -2000000000},
                                  {16777216, 0},
                                  {2147477400, 0},
                                  {0, 2147477400},
                                  {2147477450, 2147477450},
                                  {-2147483600, -2147483600}};
    for (const auto &vp : viewports)
    for (const Drawing &s : setups)
        for (const auto &v : bad) {
            SCOPED_TRACE(testing::Message() << "viewport at " << vp[0] << "," << vp[1] << ": " << s.name << " with (" << v[0] << ", " << v[1] << ", " << v[2] << ", "
                                            << v[3] << ")");
            glPushAttrib(GL_ALL_ATTRIB_BITS);
            glViewport(vp[0], vp[1], kW, kH);
            s.state();
            glColor3f(1, 1, 1);
            glBegin(s.mode);
            glVertex2f(5, 5);
            glVertex4fv(v);
            glVertex2f(30, 20);
            glVertex2f(8, 30);
            glEnd();
            glPopAttrib();
            glFinish();
            ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        }
    // Still drawing: a white triangle over black.
    clearTo(0, 0, 0);
    glColor3f(1, 1, 1);
    glBegin(GL_TRIANGLES);
    glVertex2f(4, 4);
    glVertex2f(40, 4);
    glVertex2f(4, 40);
    glEnd();
    EXPECT_EQ(rgbAt(10, 10), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgbAt(60, 44), (Rgb{0, 0, 0}));
}

}  // namespace
