// glPolygonMode per face: a front-facing triangle is drawn in the front mode and a back-facing
// one in the back mode, for every pair of modes, with and without two-sided lighting.
#include "tests/gl_program/window_program.h"

namespace {

constexpr Rgb kBlack{0, 0, 0};

// What a drawn triangle turned into, told apart by its pixels: an interior pixel is set only by
// filling; points set the three vertex pixels alone; lines set the edges but not the interior.
GLenum observedMode() {
    if (!(rgbAt(18, 18) == kBlack)) return GL_FILL;
    const int n = countNot(kBlack);
    if (n == 0) return GL_NONE;
    return n == 3 ? GL_POINT : GL_LINE;
}

const char *nameOf(GLenum m) {
    switch (m) {
    case GL_POINT: return "GL_POINT";
    case GL_LINE: return "GL_LINE";
    case GL_FILL: return "GL_FILL";
    default: return "nothing";
    }
}

class PolygonMode : public WindowProgram {};

TEST_F(PolygonMode, EachFaceIsDrawnInItsOwnMode) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    const GLenum modes[] = {GL_POINT, GL_LINE, GL_FILL};
    // Vertices at pixel centres; counter-clockwise on the screen is the front face.
    const float ccw[3][2] = {{10.5f, 10.5f}, {40.5f, 10.5f}, {10.5f, 40.5f}};
    for (bool twoSided : {false, true})
        for (GLenum front : modes)
            for (GLenum back : modes)
                for (bool backFacing : {false, true}) {
                    SCOPED_TRACE(std::string("front ") + nameOf(front) + ", back " + nameOf(back) +
                                 (backFacing ? ", back-facing" : ", front-facing") +
                                 (twoSided ? ", two-sided lighting" : ""));
                    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, twoSided);
                    glPolygonMode(GL_FRONT, front);
                    glPolygonMode(GL_BACK, back);
                    clearTo(0, 0, 0);
                    glColor3f(1, 1, 1);
                    glBegin(GL_TRIANGLES);
                    for (int i : {0, 1, 2}) {
                        const int k = backFacing ? (3 - i) % 3 : i;
                        glVertex2f(ccw[k][0], ccw[k][1]);
                    }
                    glEnd();
                    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
                    EXPECT_STREQ(nameOf(observedMode()), nameOf(backFacing ? back : front));
                }
}

}  // namespace
