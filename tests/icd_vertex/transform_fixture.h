// A current context on a window, with its matrix, viewport and clip entries called through the
// live proc table as opengl32 calls them.
#pragma once
#include <cmath>
#include <cstring>
#include "tests/icd_core/icd_fixture.h"
#include "icd/vertex/transform_state.h"

struct GlCalls {
    void(APIENTRY *MatrixMode)(GLenum);
    void(APIENTRY *LoadIdentity)(void);
    void(APIENTRY *PushMatrix)(void);
    void(APIENTRY *PopMatrix)(void);
    void(APIENTRY *LoadMatrixf)(const GLfloat *);
    void(APIENTRY *LoadMatrixd)(const GLdouble *);
    void(APIENTRY *MultMatrixf)(const GLfloat *);
    void(APIENTRY *MultMatrixd)(const GLdouble *);
    void(APIENTRY *Rotatef)(GLfloat, GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Rotated)(GLdouble, GLdouble, GLdouble, GLdouble);
    void(APIENTRY *Scalef)(GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Translatef)(GLfloat, GLfloat, GLfloat);
    void(APIENTRY *Translated)(GLdouble, GLdouble, GLdouble);
    void(APIENTRY *Frustum)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
    void(APIENTRY *Ortho)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
    void(APIENTRY *Viewport)(GLint, GLint, GLsizei, GLsizei);
    void(APIENTRY *DepthRange)(GLclampd, GLclampd);
    void(APIENTRY *Scissor)(GLint, GLint, GLsizei, GLsizei);
    void(APIENTRY *ClipPlane)(GLenum, const GLdouble *);
    GLenum(APIENTRY *GetError)(void);

    explicit GlCalls(const GlProcTable *t) {
        auto at = [&](auto &fn, int slot) { fn = slotAs<std::remove_reference_t<decltype(fn)>>(t, slot); };
        at(ClipPlane, 150), at(Scissor, 176), at(GetError, 261), at(DepthRange, 288), at(Frustum, 289);
        at(LoadIdentity, 290), at(LoadMatrixf, 291), at(LoadMatrixd, 292), at(MatrixMode, 293);
        at(MultMatrixf, 294), at(MultMatrixd, 295), at(Ortho, 296), at(PopMatrix, 297), at(PushMatrix, 298);
        at(Rotated, 299), at(Rotatef, 300), at(Scalef, 302), at(Translated, 303), at(Translatef, 304);
        at(Viewport, 305);
    }
};

// Until the pipeline's validation lands, the context validates the way it will for a matrix
// mode change: the matrix-proc picker in its slot runs.
inline void validateMatrixProcs(GlContext *ctx) {
    if (ctx->dirtyMask & 0x1) ctx->slots.pickMatrix(ctx);
    ctx->dirtyMask = 0;
}

class TransformTest : public IcdTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;
    TestWindow *window = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;
    GlCalls *gl = nullptr;

    void SetUp() override {
        IcdTest::SetUp();
        window = new TestWindow(kDoubleFormat, kWidth, kHeight);
        handle = DrvCreateContext(window->hdc);
        ASSERT_NE(handle, DHGLRC(0));
        GlProcTable *t = DrvSetContext(window->hdc, handle, nullptr);
        ASSERT_NE(t, nullptr);
        ctx = contextOf(handle);
        ctx->slots.validate = validateMatrixProcs;
        gl = new GlCalls(t);
        ASSERT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
    }
    void TearDown() override {
        DrvReleaseContext(handle);
        DrvDeleteContext(handle);
        delete gl;
        delete window;
        IcdTest::TearDown();
    }
    GlTransformState &xf() { return ctx->state.transform; }
};

// Column-major double matrices: the reference the driver's floats are checked against.
struct RefMatrix {
    double m[16];
    static RefMatrix identity() {
        RefMatrix r{};
        r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1;
        return r;
    }
    static RefMatrix of(const float *f) {
        RefMatrix r;
        for (int i = 0; i < 16; ++i) r.m[i] = f[i];
        return r;
    }
    RefMatrix operator*(const RefMatrix &b) const {  // OpenGL order: this applied after b
        RefMatrix r{};
        for (int row = 0; row < 4; ++row)
            for (int col = 0; col < 4; ++col)
                for (int k = 0; k < 4; ++k) r.m[4 * col + row] += m[4 * k + row] * b.m[4 * col + k];
        return r;
    }
};

inline ::testing::AssertionResult nearMatrix(const GlMatrix &got, const RefMatrix &want, double tol) {
    for (int i = 0; i < 16; ++i) {
        double scale = std::max(1.0, std::fabs(want.m[i]));
        if (!(std::fabs(got.m[i] - want.m[i]) <= tol * scale))
            return ::testing::AssertionFailure() << "element " << i << ": " << got.m[i] << " vs " << want.m[i];
    }
    return ::testing::AssertionSuccess();
}
