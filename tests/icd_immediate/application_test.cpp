// An application's view through opengl32 with the real driver module: which immediate-mode
// calls are refused between glBegin and glEnd, which are allowed there, and the errors of the
// entries' own argument checks.
#include <functional>

#include "tests/gl_program/window_program.h"

namespace {
template <class Fn>
Fn procOf(const char *name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)(void)>(wglGetProcAddress(name)));
}

// The program's window and context, as every program test opens them.
class Application : public WindowProgram {
protected:
    void makeCurrent() { open(kDoubleBuffered); }
};
}  // namespace

TEST_F(Application, CallsRefusedAndAllowedInsideBeginEnd) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    makeCurrent();
    auto selectTexture = procOf<void(APIENTRY *)(GLenum)>("glSelectTextureSGIS");
    auto multiTexCoord2f = procOf<void(APIENTRY *)(GLenum, GLfloat, GLfloat)>("glMultiTexCoord2fSGIS");
    ASSERT_NE(selectTexture, nullptr);
    ASSERT_NE(multiTexCoord2f, nullptr);

    struct Call {
        const char *what;
        std::function<void()> call;
        bool refused;
    } calls[] = {
        {"glRasterPos2i", [] { glRasterPos2i(1, 1); }, true},
        {"glRectf", [] { glRectf(2, 2, 3, 3); }, true},
        {"glBitmap", [] { glBitmap(0, 0, 0, 0, 0, 0, nullptr); }, true},
        {"glBegin", [] { glBegin(GL_POINTS); }, true},
        {"glSelectTextureSGIS", [&] { selectTexture(0x835E); }, true},
        {"glColor4ub", [] { glColor4ub(1, 2, 3, 4); }, false},
        {"glNormal3s", [] { glNormal3s(0, 1, 0); }, false},
        {"glTexCoord2d", [] { glTexCoord2d(0.5, 0.5); }, false},
        {"glIndexi", [] { glIndexi(3); }, false},
        {"glEdgeFlag", [] { glEdgeFlag(0); }, false},
        {"glVertex3s", [] { glVertex3s(0, 0, 0); }, false},
        {"glMultiTexCoord2fSGIS", [&] { multiTexCoord2f(0x835F, 0.25f, 0.5f); }, false},
    };
    for (const Call &c : calls) {
        glBegin(GL_TRIANGLES);
        c.call();
        glEnd();
        EXPECT_EQ(glGetError(), c.refused ? GLenum(GL_INVALID_OPERATION) : GLenum(GL_NO_ERROR)) << c.what;
        // outside a primitive every one of them is accepted
        c.call();
        if (c.what == std::string("glBegin")) glEnd();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << c.what << " outside";
    }
    glEdgeFlag(1);
}

TEST_F(Application, ArgumentErrorsOfTheEntries) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    makeCurrent();
    auto selectCoordSet = procOf<void(APIENTRY *)(GLenum)>("glSelectTextureCoordSetSGIS");
    auto multiTexCoord2f = procOf<void(APIENTRY *)(GLenum, GLfloat, GLfloat)>("glMultiTexCoord2fSGIS");
    ASSERT_NE(selectCoordSet, nullptr);
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"glBegin(10)", [] { glBegin(10); }, GL_INVALID_ENUM},
        {"glEnd outside", [] { glEnd(); }, GL_INVALID_OPERATION},
        {"glBitmap negative width", [] { glBitmap(-1, 4, 0, 0, 0, 0, nullptr); }, GL_INVALID_VALUE},
        {"glBitmap negative height", [] { glBitmap(4, -1, 0, 0, 0, 0, nullptr); }, GL_INVALID_VALUE},
        {"multitexture unit 2", [&] { multiTexCoord2f(0x8360, 0, 0); }, GL_INVALID_OPERATION},
        {"multitexture below unit 0", [&] { multiTexCoord2f(0x835D, 0, 0); }, GL_INVALID_ENUM},
        {"coordinate set 3", [&] { selectCoordSet(0x8361); }, GL_INVALID_OPERATION},
        {"coordinate set 1", [&] { selectCoordSet(0x835F); }, GL_NO_ERROR},
    };
    for (const Case &c : cases) {
        c.call();
        EXPECT_EQ(glGetError(), c.want) << c.what;
    }
    // A full primitive of every mode leaves no error behind. (Beyond the right plane: this test
    // is about the calls, not about the pixels.)
    for (GLenum mode = GL_POINTS; mode <= GL_POLYGON; ++mode) {
        glBegin(mode);
        for (int i = 0; i < 7; ++i) glVertex2f(2.0f + 0.1f * float(i), 0.05f * float(i * i % 5));
        glEnd();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << mode;
    }
}
