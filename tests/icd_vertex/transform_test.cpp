// The matrix entries of a current context: results against a double reference, the type each
// operation leaves, stacks with their overflow and underflow, argument errors, sequence
// renumbering, clip planes and the cull-vertex eye position.
#include <climits>
#include "tests/icd_vertex/transform_fixture.h"
#include "platform/opengl32/wgl.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

RefMatrix refRotate(double deg, double x, double y, double z) {
    double len = std::sqrt(x * x + y * y + z * z);
    x /= len, y /= len, z /= len;
    double a = deg * kPi / 180, c = std::cos(a), s = std::sin(a), k = 1 - c;
    RefMatrix r = RefMatrix::identity();
    r.m[0] = x * x * k + c, r.m[4] = x * y * k - z * s, r.m[8] = x * z * k + y * s;
    r.m[1] = y * x * k + z * s, r.m[5] = y * y * k + c, r.m[9] = y * z * k - x * s;
    r.m[2] = x * z * k - y * s, r.m[6] = y * z * k + x * s, r.m[10] = z * z * k + c;
    return r;
}
RefMatrix refScale(double x, double y, double z) {
    RefMatrix r = RefMatrix::identity();
    r.m[0] = x, r.m[5] = y, r.m[10] = z;
    return r;
}
RefMatrix refTranslate(double x, double y, double z) {
    RefMatrix r = RefMatrix::identity();
    r.m[12] = x, r.m[13] = y, r.m[14] = z;
    return r;
}
RefMatrix refFrustum(double l, double r, double b, double t, double n, double f) {
    RefMatrix m{};
    m.m[0] = 2 * n / (r - l), m.m[5] = 2 * n / (t - b), m.m[8] = (r + l) / (r - l), m.m[9] = (t + b) / (t - b);
    m.m[10] = -(f + n) / (f - n), m.m[11] = -1, m.m[14] = -2 * f * n / (f - n);
    return m;
}
RefMatrix refOrtho(double l, double r, double b, double t, double n, double f) {
    RefMatrix m = RefMatrix::identity();
    m.m[0] = 2 / (r - l), m.m[5] = 2 / (t - b), m.m[10] = -2 / (f - n);
    m.m[12] = -(r + l) / (r - l), m.m[13] = -(t + b) / (t - b), m.m[14] = -(f + n) / (f - n);
    return m;
}
}  // namespace

// A program's sequence of matrix calls: every step is checked against the double reference
// (modelview, projection and composite) and for the type it leaves.
TEST_F(TransformTest, MatrixCallsMatchTheReferenceAndLeaveTheirTypes) {
    const float general[16] = {0.9f, 0.1f, -0.2f, 0.05f, 0.3f, 1.1f, 0.4f, -0.1f,
                               -0.5f, 0.2f, 0.8f, 0.2f, 1.5f, -2.0f, 3.0f, 1.2f};
    RefMatrix mv = RefMatrix::identity(), proj = RefMatrix::identity();
    struct Step {
        const char *what;
        GLenum mode;
        std::function<void()> call;
        RefMatrix ref;
        uint32_t type;      // of the matrix of the mode
        uint32_t mvpType;   // of the composite
    } steps[] = {
        {"frustum", GL_PROJECTION, [&] { gl->Frustum(-1, 1, -0.75, 0.75, 1, 100); }, refFrustum(-1, 1, -0.75, 0.75, 1, 100), 0, 0},
        {"translate", GL_MODELVIEW, [&] { gl->Translatef(1, 2, -5); }, refTranslate(1, 2, -5), 3, 0},
        {"rotate z", GL_MODELVIEW, [&] { gl->Rotatef(30, 0, 0, 1); }, refRotate(30, 0, 0, 1), 2, 0},
        {"scale", GL_MODELVIEW, [&] { gl->Scalef(2, 0.5f, 3); }, refScale(2, 0.5, 3), 2, 0},
        {"rotate axis", GL_MODELVIEW, [&] { gl->Rotated(45, 1, 1, 0); }, refRotate(45, 1, 1, 0), 1, 0},
        {"translate double", GL_MODELVIEW, [&] { gl->Translated(-0.5, 0.25, 1); }, refTranslate(-0.5, 0.25, 1), 1, 0},
        {"mult general", GL_MODELVIEW, [&] { gl->MultMatrixf(general); }, RefMatrix::of(general), 0, 0},
        {"load identity", GL_MODELVIEW, [&] { gl->LoadIdentity(); }, RefMatrix::identity(), 4, 0},
        {"ortho", GL_PROJECTION, [&] { gl->LoadIdentity(); gl->Ortho(-2, 2, -1, 1, 0.5, 10); }, refOrtho(-2, 2, -1, 1, 0.5, 10), 3, 3},
        {"rotate y", GL_MODELVIEW, [&] { gl->Rotatef(90, 0, 1, 0); }, refRotate(90, 0, 1, 0), 1, 1},
    };
    for (Step &s : steps) {
        SCOPED_TRACE(s.what);
        gl->MatrixMode(s.mode);
        s.call();
        ASSERT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
        bool loads = std::string(s.what) == "load identity" || std::string(s.what) == "ortho";
        RefMatrix &target = s.mode == GL_MODELVIEW ? mv : proj;
        target = loads ? s.ref : target * s.ref;
        const GlTransform &top = *xf().modelView;
        EXPECT_TRUE(nearMatrix(top.matrix, mv, 1e-5));
        EXPECT_TRUE(nearMatrix(xf().projection->matrix, proj, 1e-5));
        EXPECT_TRUE(nearMatrix(top.mvp, proj * mv, 1e-5));
        EXPECT_EQ((s.mode == GL_MODELVIEW ? top.matrix : xf().projection->matrix).type, s.type);
        EXPECT_EQ(top.mvp.type, s.mvpType);
        EXPECT_EQ(top.sequence, xf().projection->sequence);
        // The composite's procs are those of its type.
        GlMatrix expect = top.mvp;
        __glSetXformProcs(&expect);
        EXPECT_EQ(top.mvp.xform4, expect.xform4);
    }
}

// glOrtho of the viewport is a window ortho matrix carrying the viewport size; scaling it makes
// it a plain scale-translate. The composite goes straight to window coordinates.
TEST_F(TransformTest, WindowOrthoTypeAndWindowComposite) {
    gl->MatrixMode(GL_PROJECTION);
    gl->LoadIdentity();
    gl->Ortho(0, kWidth, 0, kHeight, -1, 1);
    const GlMatrix &p = xf().projection->matrix;
    EXPECT_EQ(p.type, uint32_t(kGlMatrixWindowOrtho));
    EXPECT_EQ(p.orthoWidth, kWidth);
    EXPECT_EQ(p.orthoHeight, kHeight);
    EXPECT_EQ(xf().modelView->mvp.type, uint32_t(kGlMatrixWindowOrtho));
    // Object (10, 20) lands on pixel (10, 20): window coordinates carry the bias and +0.5.
    const float *w = xf().windowComposite;
    EXPECT_EQ(xf().windowCompositeType, uint32_t(kGlMatrixWindowOrtho));
    EXPECT_NEAR(w[0] * 10 + w[4] * 20 + w[12], 6144 + 10.5, 1e-3);
    EXPECT_NEAR(w[1] * 10 + w[5] * 20 + w[13], 6144 + 20.5, 1e-3);
    EXPECT_EQ(w[12], 6144.5f);
    EXPECT_EQ(w[13], 6144.5f);
    EXPECT_EQ(w[15], 1.0f);

    gl->Scalef(2, 2, 1);
    EXPECT_EQ(p.type, uint32_t(kGlMatrixScaleTranslate));
    // Not the viewport's size: scale-translate.
    gl->LoadIdentity();
    gl->Ortho(0, kWidth + 1, 0, kHeight, -1, 1);
    EXPECT_EQ(p.type, uint32_t(kGlMatrixScaleTranslate));
    gl->LoadIdentity();
    gl->Ortho(0, kWidth, 0, kHeight, 0.5, 1);  // near > 0
    EXPECT_EQ(p.type, uint32_t(kGlMatrixScaleTranslate));
}

TEST_F(TransformTest, LoadMatrixIsGeneralInBothPrecisions) {
    const double d[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.1, 0.2, 0.3, 1};
    gl->LoadMatrixd(d);
    EXPECT_EQ(xf().modelView->matrix.type, uint32_t(kGlMatrixGeneral));
    EXPECT_EQ(xf().modelView->matrix.m[12], 0.1f);
    EXPECT_EQ(xf().modelView->inverseStale, 1);
    gl->MultMatrixd(d);
    EXPECT_EQ(xf().modelView->matrix.m[12], 0.2f);
    EXPECT_EQ(xf().modelView->matrix.type, uint32_t(kGlMatrixGeneral));
}

TEST_F(TransformTest, StacksOverflowAndUnderflowPerMode) {
    struct Mode {
        GLenum mode;
        int depth;
        GlTransform *GlTransformState::*base;
        GlTransform *GlTransformState::*top;
    } modes[] = {
        {GL_MODELVIEW, 32, &GlTransformState::modelViewStack, &GlTransformState::modelView},
        {GL_PROJECTION, 4, &GlTransformState::projectionStack, &GlTransformState::projection},
        {GL_TEXTURE, 10, &GlTransformState::textureStack, &GlTransformState::texture},
    };
    for (const Mode &m : modes) {
        SCOPED_TRACE(m.mode);
        gl->MatrixMode(m.mode);
        gl->LoadIdentity();
        gl->PopMatrix();
        EXPECT_EQ(gl->GetError(), GLenum(GL_STACK_UNDERFLOW));
        EXPECT_EQ(xf().*m.top, xf().*m.base);
        for (int i = 1; i < m.depth; ++i) {
            gl->Translatef(1, 0, 0);
            gl->PushMatrix();
        }
        ASSERT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
        GlTransform *top = xf().*m.top;
        EXPECT_EQ(top, xf().*m.base + m.depth - 1);
        GlMatrix before = top->matrix;
        gl->PushMatrix();
        EXPECT_EQ(gl->GetError(), GLenum(GL_STACK_OVERFLOW));
        EXPECT_EQ(xf().*m.top, top);
        EXPECT_EQ(std::memcmp(top->matrix.m, before.m, sizeof(before.m)), 0);
        // Each pop gives back the matrix pushed there.
        for (int i = m.depth - 1; i > 0; --i) {
            gl->PopMatrix();
            EXPECT_EQ((xf().*m.top)->matrix.m[12], float(i));
        }
        EXPECT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
    }
}

// Popping the projection recomposes the modelview top's composite with the restored matrix.
TEST_F(TransformTest, ProjectionPopRecomposesTheComposite) {
    gl->MatrixMode(GL_PROJECTION);
    gl->Frustum(-1, 1, -1, 1, 1, 10);
    gl->PushMatrix();
    gl->Scalef(3, 3, 3);
    gl->MatrixMode(GL_MODELVIEW);
    gl->Translatef(0, 0, -4);
    gl->MatrixMode(GL_PROJECTION);
    gl->PopMatrix();
    RefMatrix want = refFrustum(-1, 1, -1, 1, 1, 10) * refTranslate(0, 0, -4);
    EXPECT_TRUE(nearMatrix(xf().modelView->mvp, want, 1e-5));
    EXPECT_EQ(xf().modelView->sequence, xf().projection->sequence);
    // Modelview push and pop keep the composite that belongs to each entry.
    gl->MatrixMode(GL_MODELVIEW);
    gl->PushMatrix();
    gl->Rotatef(90, 1, 0, 0);
    gl->PopMatrix();
    EXPECT_TRUE(nearMatrix(xf().modelView->mvp, want, 1e-5));
}

TEST_F(TransformTest, ArgumentErrorsChangeNothing) {
    gl->MatrixMode(GL_PROJECTION);
    gl->Frustum(-1, 1, -1, 1, 1, 10);
    GlMatrix before = xf().projection->matrix;
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"frustum near 0", [&] { gl->Frustum(-1, 1, -1, 1, 0, 10); }, GL_INVALID_VALUE},
        {"frustum far < 0", [&] { gl->Frustum(-1, 1, -1, 1, 1, -10); }, GL_INVALID_VALUE},
        {"frustum l = r", [&] { gl->Frustum(1, 1, -1, 1, 1, 10); }, GL_INVALID_VALUE},
        {"frustum b = t", [&] { gl->Frustum(-1, 1, 2, 2, 1, 10); }, GL_INVALID_VALUE},
        {"frustum n = f", [&] { gl->Frustum(-1, 1, -1, 1, 5, 5); }, GL_INVALID_VALUE},
        // equal only in single precision
        {"frustum l = r in f32", [&] { gl->Frustum(1.0, 1.0 + 1e-12, -1, 1, 1, 10); }, GL_INVALID_VALUE},
        {"ortho l = r", [&] { gl->Ortho(3, 3, -1, 1, -1, 1); }, GL_INVALID_VALUE},
        {"ortho n = f", [&] { gl->Ortho(-1, 1, -1, 1, 2, 2); }, GL_INVALID_VALUE},
        {"matrix mode", [&] { gl->MatrixMode(GL_TEXTURE + 1); }, GL_INVALID_ENUM},
        {"clip plane 6", [&] { const GLdouble eq[4] = {1, 0, 0, 0}; gl->ClipPlane(GL_CLIP_PLANE0 + 6, eq); }, GL_INVALID_ENUM},
        {"viewport w < 0", [&] { gl->Viewport(0, 0, -1, 10); }, GL_INVALID_VALUE},
        {"scissor h < 0", [&] { gl->Scissor(0, 0, 10, -1); }, GL_INVALID_VALUE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        EXPECT_EQ(gl->GetError(), c.error);
        EXPECT_EQ(std::memcmp(xf().projection->matrix.m, before.m, sizeof(before.m)), 0);
        EXPECT_EQ(xf().matrixMode, GLenum(GL_PROJECTION));
    }
    // Ortho checks its differences in double: a tiny width is accepted.
    gl->Ortho(1.0, 1.0 + 1e-12, -1, 1, -1, 1);
    EXPECT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(xf().viewport.width, kWidth);
}

// Between glBegin and glEnd every entry reports GL_INVALID_OPERATION and changes nothing.
TEST_F(TransformTest, InsideBeginEveryEntryIsInvalidOperation) {
    const float f16[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 5, 5, 1};
    const double d16[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 5, 5, 1};
    const GLdouble eq[4] = {1, 2, 3, 4};
    std::function<void()> calls[] = {
        [&] { gl->MatrixMode(GL_PROJECTION); }, [&] { gl->LoadIdentity(); }, [&] { gl->PushMatrix(); },
        [&] { gl->PopMatrix(); }, [&] { gl->LoadMatrixf(f16); }, [&] { gl->LoadMatrixd(d16); },
        [&] { gl->MultMatrixf(f16); }, [&] { gl->MultMatrixd(d16); }, [&] { gl->Rotatef(10, 0, 0, 1); },
        [&] { gl->Scalef(2, 2, 2); }, [&] { gl->Translatef(1, 1, 1); }, [&] { gl->Frustum(-1, 1, -1, 1, 1, 2); },
        [&] { gl->Ortho(-1, 1, -1, 1, 1, 2); }, [&] { gl->Viewport(1, 2, 3, 4); }, [&] { gl->DepthRange(0.5, 0.6); },
        [&] { gl->Scissor(1, 2, 3, 4); }, [&] { gl->ClipPlane(GL_CLIP_PLANE0, eq); },
    };
    GlTransform mv = *xf().modelView;
    GlViewport vp = xf().viewport;
    for (size_t i = 0; i < std::size(calls); ++i) {
        ctx->beginMode = kGlInsideBegin;
        calls[i]();
        ctx->beginMode = kGlOutsideBegin;
        EXPECT_EQ(gl->GetError(), GLenum(GL_INVALID_OPERATION)) << "call " << i;
    }
    EXPECT_EQ(std::memcmp(xf().modelView, &mv, sizeof(mv)), 0);
    EXPECT_EQ(std::memcmp(&xf().viewport, &vp, sizeof(vp)), 0);
    EXPECT_EQ(xf().matrixMode, GLenum(GL_MODELVIEW));
    EXPECT_EQ(xf().depthFar, 1.0);
}

// A projection change when the counter is at its last value renumbers every entry, then
// recomposes the modelview composite with the new number.
TEST_F(TransformTest, SequenceWrapRenumbersAndRecomposes) {
    gl->MatrixMode(GL_PROJECTION);
    gl->PushMatrix();
    gl->PushMatrix();
    gl->MatrixMode(GL_MODELVIEW);
    gl->Translatef(0, 0, -2);
    gl->PushMatrix();
    xf().projectionSequence = 0xFFFFFFFFu;
    gl->MatrixMode(GL_PROJECTION);
    gl->Frustum(-1, 1, -1, 1, 1, 3);
    EXPECT_EQ(xf().projectionStack[0].sequence, 1u);
    EXPECT_EQ(xf().projectionStack[1].sequence, 2u);
    EXPECT_EQ(xf().projectionStack[2].sequence, 3u);
    EXPECT_EQ(xf().projectionSequence, 5u);  // depth + 1
    EXPECT_EQ(xf().modelViewStack[0].sequence, 0u);
    EXPECT_EQ(xf().modelView->sequence, 3u);
    EXPECT_TRUE(nearMatrix(xf().modelView->mvp, refFrustum(-1, 1, -1, 1, 1, 3) * refTranslate(0, 0, -2), 1e-5));
    // The entry below was stamped 0 and is recomposed when it becomes the top.
    gl->MatrixMode(GL_MODELVIEW);
    gl->PopMatrix();
    EXPECT_EQ(xf().modelView->sequence, 3u);
    EXPECT_TRUE(nearMatrix(xf().modelView->mvp, refFrustum(-1, 1, -1, 1, 1, 3) * refTranslate(0, 0, -2), 1e-5));
    // The next number follows the renumbered counter.
    gl->MatrixMode(GL_PROJECTION);
    gl->LoadIdentity();
    EXPECT_EQ(xf().projection->sequence, 6u);
}

// The plane is stored in eye space: right after a load the inverse-transpose is made fresh.
TEST_F(TransformTest, ClipPlaneUsesAFreshInverseTranspose) {
    gl->Translatef(100, 0, 0);  // a stale inverse from an earlier matrix must not be used
    const float m[16] = {2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, 4, 5, 1};  // scale x by 2, then move
    gl->LoadMatrixf(m);
    ASSERT_EQ(xf().modelView->inverseStale, 1);
    const GLdouble eq[4] = {1, 1, 0, -1};  // x + y = 1 in object space
    gl->ClipPlane(GL_CLIP_PLANE0 + 2, eq);
    EXPECT_EQ(gl->GetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(xf().modelView->inverseStale, 0);
    // Eye plane = eq x M^-1: an eye point (2x + 3, y + 4, z + 5) of an object point on the plane
    // lies on it.
    const float *e = static_cast<const float *>(ctx->arrays.clipPlanes) + 8;
    for (float x : {0.0f, 1.0f, -3.0f}) {
        float y = 1 - x;
        double ex = 2 * x + 3, ey = y + 4, ez = 5;
        EXPECT_NEAR(e[0] * ex + e[1] * ey + e[2] * ez + e[3], 0.0, 1e-5);
    }
    EXPECT_NEAR(e[0], 0.5, 1e-6);
    EXPECT_NEAR(e[1], 1.0, 1e-6);
    EXPECT_NEAR(e[3], -1 - 1.5 - 4, 1e-5);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
}

// The object-space eye position of the cull-vertex test follows the modelview inverse.
TEST_F(TransformTest, CullVertexEyePositionInObjectSpace) {
    const float *p = xf().cullObjectEyePosition;
    EXPECT_EQ(p[2], 1.0f);  // identity: (0, 0, 1, 0) as set
    gl->Rotatef(90, 0, 1, 0);
    GlTransform *t = xf().modelView;
    __glSlotAs<GlTransformEntrySlotProc>(ctx->slots.updateModelViewInverse)(ctx, t);
    // A direction: R^-1 (0, 0, 1) = (-1, 0, 0) for a quarter turn about y.
    EXPECT_NEAR(p[0], -1.0, 1e-6);
    EXPECT_NEAR(p[2], 0.0, 1e-6);
    EXPECT_EQ(p[3], 0.0f);
    ctx->state.cullVertex.cullVertexObjectInForce = 1;
    ctx->state.cullVertex.cullVertexObjectPosition[0] = 7.0f;
    __glUpdateCullVertexPosition(ctx, t);
    EXPECT_EQ(p[0], 7.0f);
}

// A program through opengl32: the stack limits and argument errors reach it as error codes.
TEST(MatricesThroughOpenGl32, StackAndArgumentErrors) {
    ASSERT_EQ(kivMachineBoot(), 1);
    TestWindow w(kDoubleFormat);
    HGLRC rc = wglCreateContext(w.hdc);
    ASSERT_NE(rc, nullptr);
    ASSERT_TRUE(wglMakeCurrent(w.hdc, rc));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glPopMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_UNDERFLOW));
    for (int i = 1; i < 32; ++i) glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glPushMatrix();
    EXPECT_EQ(glGetError(), GLenum(GL_STACK_OVERFLOW));
    glFrustum(-1, 1, -1, 1, 0, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    glOrtho(0, 0, -1, 1, -1, 1);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    glMatrixMode(0x1703);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_ENUM));
    glViewport(0, 0, -5, 5);
    EXPECT_EQ(glGetError(), GLenum(GL_INVALID_VALUE));
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_TRUE(wglDeleteContext(rc));
}

// The clipper's vertex pool: 2 x 6 planes + 12 records of 160 bytes, each with its colour
// pointer at its own front colour and four coordinates; clip planes start zero.
TEST_F(TransformTest, ClipVertexPoolAndClipPlanesAtReset) {
    ASSERT_NE(xf().clipVertices, nullptr);
    EXPECT_EQ(kGlClipVertexCount(ctx->limits.maxClipPlanes), 24);
    for (int i = 0; i < 24; ++i) {
        uint8_t *v = xf().clipVertices + 160 * i;
        void *color;
        uint32_t flags;
        std::memcpy(&color, v + 52, 4);
        std::memcpy(&flags, v + 48, 4);
        EXPECT_EQ(color, v + 128);
        EXPECT_EQ(flags, 0xC00u);
    }
    const float *planes = static_cast<const float *>(ctx->arrays.clipPlanes);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(planes[i], 0.0f);
    EXPECT_EQ(xf().matrixMode, GLenum(GL_MODELVIEW));
    EXPECT_EQ(xf().modelView->matrix.type, uint32_t(kGlMatrixIdentity));
    EXPECT_EQ(xf().modelView->inverseTranspose.type, uint32_t(kGlMatrixIdentity));
    EXPECT_EQ(ctx->current.normal[2], 1.0f);
}
