// What a program reads back of its state: GL_LIST_BASE after glListBase, and a feedback
// polygon's vertices.
#include "tests/gl_program/window_program.h"

#include <cmath>

namespace {

class StateQuery : public WindowProgram {};

TEST_F(StateQuery, ListBaseReadsBackAsSet) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    GLint base = -1;
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 0);
    for (GLuint set : {42u, 1u, 0u, 0x7FFFFFFFu}) {
        glListBase(set);
        glGetIntegerv(GL_LIST_BASE, &base);
        EXPECT_EQ(GLuint(base), set);
        GLfloat f = -1.0f;
        glGetFloatv(GL_LIST_BASE, &f);
        EXPECT_EQ(double(f), double(float(set)));
    }
    // The list bit of the attribute stack keeps it.
    glListBase(7);
    glPushAttrib(GL_LIST_BIT);
    glListBase(9);
    glPopAttrib();
    glGetIntegerv(GL_LIST_BASE, &base);
    EXPECT_EQ(base, 7);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Every polygon in feedback holds the program's vertices in the program's order, possibly
// starting at another of them (the winding, and so the face, is kept).
TEST_F(StateQuery, FeedbackPolygonsKeepTheVerticesInOrder) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    const float a[2] = {1, 2}, b[2] = {11, 3}, c[2] = {4, 14};
    struct Kind {
        const char *name;
        GLenum mode;
    } kinds[] = {{"triangles", GL_TRIANGLES}, {"strip", GL_TRIANGLE_STRIP}, {"fan", GL_TRIANGLE_FAN}, {"polygon", GL_POLYGON}};
    for (const Kind &k : kinds) {
        SCOPED_TRACE(k.name);
        GLfloat buffer[64];
        glFeedbackBuffer(64, GL_2D, buffer);
        glRenderMode(GL_FEEDBACK);
        glBegin(k.mode);
        glVertex2fv(a);
        glVertex2fv(b);
        glVertex2fv(c);
        glEnd();
        const GLint n = glRenderMode(GL_RENDER);
        ASSERT_EQ(n, 8);
        ASSERT_EQ(buffer[0], GLfloat(GL_POLYGON_TOKEN));
        ASSERT_EQ(buffer[1], 3.0f);
        const float *in[3] = {a, b, c};
        int first = -1;
        for (int i = 0; i < 3; ++i)
            if (std::fabs(buffer[2] - in[i][0]) < 1e-3f && std::fabs(buffer[3] - in[i][1]) < 1e-3f) first = i;
        ASSERT_GE(first, 0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(buffer[2 + 2 * i], in[(first + i) % 3][0], 1e-3) << i;
            EXPECT_NEAR(buffer[3 + 2 * i], in[(first + i) % 3][1], 1e-3) << i;
        }
    }
}

}  // namespace
