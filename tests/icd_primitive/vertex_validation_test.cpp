// Vertex validation: which attribute copy, clip checks and complete procs the picker chooses for
// the state, and what the complete-vertex procs compute, lazily and once.
#include <cmath>
#include "tests/icd_immediate/immediate_fixture.h"
#include "icd/core/pick.h"

class VertexValidationTest : public ImmediateTest {
protected:
    void SetUp() override {
        ImmediateTest::SetUp();
        ctx->slots.validate = [](GlContext *) {};
        recordVertices();
    }
    GlPrimitiveProcs &procs() { return ctx->slots.primitive; }
    // Picks, then keeps the recording handler for the next vertices.
    void pick() {
        __glPickVertexProcs(ctx);
        recordVertices();
    }
};

TEST_F(VertexValidationTest, AttributeCopyFollowsTheEnables) {
    struct Case {
        const char *what;
        bool lighting;
        uint32_t textureMask;
        GLenum genS;  // 0: generation off
        GLenum mode;
        GlVertexProc want;
    } cases[] = {
        {"nothing", false, 0, 0, GL_RENDER, __glCopyCurrentColor},
        {"lighting", true, 0, 0, GL_RENDER, __glCopyCurrentNormal},
        {"texture 0", false, 1, 0, GL_RENDER, __glCopyCurrentColorTex},
        {"texture 0, sphere map on S", false, 1, GL_SPHERE_MAP, GL_RENDER, __glCopyCurrentNormalColorTex},
        {"texture 0, eye-linear S", false, 1, GL_EYE_LINEAR, GL_RENDER, __glCopyCurrentColorTex},
        {"lighting, both units", true, 3, 0, GL_RENDER, __glCopyCurrentNormalTex2},
        {"both units, sphere map", false, 3, GL_SPHERE_MAP, GL_RENDER, __glCopyCurrentNormalColorTex2},
        {"unit 1 alone", false, 2, 0, GL_RENDER, __glCopyCurrentColorTex2},
        {"feedback takes everything", false, 0, 0, GL_FEEDBACK, __glCopyCurrentNormalColorTex},
    };
    for (const Case &c : cases) {
        GlEnableState &en = ctx->state.enable;
        en.enables = c.lighting ? en.enables | kGlEnableLighting : en.enables & ~kGlEnableLighting;
        ctx->state.pick.currentTextureMask = c.textureMask;
        en.texUnitEnables[0] = c.genS ? kGlEnableTexGenS : 0;
        ctx->state.pick.texGenMode[0] = c.genS;
        ctx->renderMode = c.mode;
        __glPickVertexProcs(ctx);
        EXPECT_EQ(procs().copyAttributes, c.want) << c.what;
    }
    ctx->renderMode = GL_RENDER;
    ctx->state.pick.currentTextureMask = 0;
    ctx->state.enable.texUnitEnables[0] = 0;
    ctx->state.enable.enables &= ~kGlEnableLighting;
}

TEST_F(VertexValidationTest, ColorIndexVisualCopiesTheIndex) {
    ctx->visual.rgbaMode = 0;
    __glPickVertexProcs(ctx);
    EXPECT_EQ(procs().copyAttributes, __glCopyCurrentIndex);
    ctx->renderMode = GL_FEEDBACK;
    __glPickVertexProcs(ctx);
    EXPECT_EQ(procs().copyAttributes, __glCopyCurrentNormalIndexTex);
    ctx->renderMode = GL_RENDER;
    ctx->visual.rgbaMode = 1;
}

// The cheaper 2-component check only while the composite keeps z and w inside; user planes
// take the plane checks for every size; the complete procs only when something is needed.
TEST_F(VertexValidationTest, ClipChecksAndCompleteProcsByState) {
    pick();
    EXPECT_EQ(procs().clipCheck[0], __glClipCheckFrustumXY);  // identity
    EXPECT_EQ(procs().clipCheck[1], __glClipCheckFrustum);
    EXPECT_EQ(procs().clipCheck[2], __glClipCheckFrustum);
    EXPECT_EQ(procs().completeVertex[1], __glCompleteVertexNop);

    GL(glTranslatef)(0, 0, -3);  // z translation out of [-1, 1]
    pick();
    EXPECT_EQ(procs().clipCheck[0], __glClipCheckFrustum);
    GL(glLoadIdentity)();
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glFrustum)(-1, 1, -1, 1, 1, 10);  // general composite
    pick();
    EXPECT_EQ(procs().clipCheck[0], __glClipCheckFrustum);
    GL(glLoadIdentity)();
    GL(glMatrixMode)(GL_MODELVIEW);

    ctx->state.enable.clipPlaneEnables = 0x4;
    ctx->state.need.needMaskFront = kGlVertexFrontColorDone;
    pick();
    EXPECT_EQ(procs().clipCheck[0], __glClipCheckUser2);
    EXPECT_EQ(procs().clipCheck[1], __glClipCheckUser3);
    EXPECT_EQ(procs().clipCheck[2], __glClipCheckUser4);
    EXPECT_EQ(procs().completeVertex[0], __glCompleteVertexNop);
    EXPECT_EQ(procs().completeVertex[1], __glCompleteVertex2);
    EXPECT_EQ(procs().completeVertex[3], __glCompleteVertex4);
    ctx->state.enable.clipPlaneEnables = 0;
    ctx->state.need.needMaskFront = 0;

    // The executed table's vertex entries come back after a replacement.
    ctx->execTable->slot[slot::glVertex3fv] = nullptr;
    pick();
    EXPECT_EQ(ctx->execTable->slot[slot::glVertex3fv], reinterpret_cast<GlEntry>(&icd::glVertex3fv));
}

// The XY check and the full check agree on 2-component vertices under a planar composite.
TEST_F(VertexValidationTest, XYCheckAgreesWithTheFullCheck) {
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glOrtho)(-2, 2, -2, 2, -1, 1);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glRotatef)(30, 0, 0, 1);
    pick();
    ASSERT_EQ(procs().clipCheck[0], __glClipCheckFrustumXY);
    for (float x = -3.0f; x <= 3.0f; x += 0.75f) {
        for (float y = -3.0f; y <= 3.0f; y += 1.25f) {
            receivedVertices().clear();
            procs().clipCheck[0] = __glClipCheckFrustumXY;
            GL(glVertex2f)(x, y);
            procs().clipCheck[0] = __glClipCheckFrustum;
            GL(glVertex2f)(x, y);
            ASSERT_EQ(receivedVertices().size(), 2u);
            const GlVertex &a = receivedVertices()[0], &b = receivedVertices()[1];
            EXPECT_EQ(a.flags, b.flags) << x << "," << y;
            if (!(a.flags & kGlVertexClipMask)) {
                for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.window[i], b.window[i], 1e-3f);
            }
        }
    }
}

// A user plane gives eye coordinates even with nothing else needing them, and its bit.
TEST_F(VertexValidationTest, UserPlaneCodesFromEyeCoordinates) {
    const GLdouble plane[4] = {1, 0, 0, -0.25};  // keeps x >= 0.25
    GL(glClipPlane)(GL_CLIP_PLANE0 + 2, plane);
    ctx->state.enable.clipPlaneEnables = 0x4;
    pick();
    GL(glVertex3f)(0.0f, 0.0f, 0.0f);
    GL(glVertex3f)(0.5f, 0.0f, 0.0f);
    GL(glVertex2f)(2.0f, 0.0f);
    ASSERT_EQ(receivedVertices().size(), 3u);
    const GlVertex &in = receivedVertices()[1], &out = receivedVertices()[0], &far = receivedVertices()[2];
    EXPECT_EQ(out.flags & kGlVertexClipMask, uint32_t(kGlClipUser0 << 2));
    EXPECT_TRUE(out.flags & kGlVertexEyeDone);
    EXPECT_EQ(in.flags & kGlVertexClipMask, 0u);
    EXPECT_TRUE(in.flags & kGlVertexWindowDone);
    EXPECT_EQ(in.eye[0], 0.5f);
    EXPECT_EQ(far.flags & kGlVertexClipMask, uint32_t(kGlClipRight));
    ctx->state.enable.clipPlaneEnables = 0;
}

namespace {
int faceColorCalls, texCoordCalls;
void countFaceColor(GlContext *, int32_t face, GlVertex *v) {
    ++faceColorCalls;
    v->frontColor[0] = float(face + 10);
}
void countTexCoord(GlContext *, GlVertex *) { ++texCoordCalls; }
}  // namespace

// Each missing bit is computed once; the normal's plane constant is -n.p, with the point at
// infinity giving 0; GL_NORMALIZE gives unit normals.
TEST_F(VertexValidationTest, CompleteProcsComputeEachBitOnce) {
    ctx->state.need.needMaskFront = kGlVertexFrontColorDone;
    procs().faceColor = countFaceColor;
    procs().texCoord = countTexCoord;
    faceColorCalls = texCoordCalls = 0;
    pick();
    GL(glVertex3f)(0.1f, 0.2f, 0.3f);
    GlVertex v = receivedVertices()[0];
    GlCompleteVertexProc complete = procs().completeVertex[2];
    complete(ctx, &v, kGlVertexFrontColorDone | kGlVertexTexCoordDone);
    complete(ctx, &v, kGlVertexFrontColorDone | kGlVertexTexCoordDone);
    EXPECT_EQ(faceColorCalls, 1);
    EXPECT_EQ(texCoordCalls, 1);
    EXPECT_EQ(v.frontColor[0], 10.0f);
    complete(ctx, &v, kGlVertexBackColorDone);
    EXPECT_EQ(faceColorCalls, 2);
    EXPECT_EQ(v.flags & kGlVertexDoneMask, uint32_t(kGlVertexWindowDone | kGlVertexFrontColorDone |
                                                    kGlVertexBackColorDone | kGlVertexTexCoordDone));

    // a general modelview: the plane constant (lit, so the normal is copied)
    ctx->state.enable.enables |= kGlEnableLighting;
    const GLfloat general[16] = {1, 0, 0, 0.1f, 0, 1, 0, 0.2f, 0, 0, 1, 0, 0, 0, 0, 1};
    GL(glLoadMatrixf)(general);
    GL(glNormal3f)(0, 0, 1);
    receivedVertices().clear();
    GL(glVertex4f)(1, 2, 3, 1);
    GL(glVertex4f)(1, 2, 3, 0);
    GL(glVertex4f)(2, 4, 6, 2);
    ASSERT_EQ(receivedVertices().size(), 3u);
    for (GlVertex &r : receivedVertices()) procs().completeVertex[3](ctx, &r, kGlVertexNormalDone | kGlVertexEyeDone);
    EXPECT_FLOAT_EQ(receivedVertices()[0].normal[3], -3.0f);
    EXPECT_EQ(receivedVertices()[1].normal[3], 0.0f);
    EXPECT_FLOAT_EQ(receivedVertices()[2].normal[3], -3.0f);  // the same point, divided by w
    EXPECT_FLOAT_EQ(receivedVertices()[0].eye[3], 0.1f + 0.4f + 1.0f);

    // normalisation
    GL(glLoadIdentity)();
    GL(glScalef)(2, 2, 2);
    ctx->state.enable.enables |= kGlEnableNormalize;
    GL(glNormal3f)(0, 3, 4);
    receivedVertices().clear();
    GL(glVertex3f)(0, 0, 0);
    GlVertex n = receivedVertices()[0];
    procs().completeVertex[2](ctx, &n, kGlVertexNormalDone);
    EXPECT_NEAR(std::sqrt(n.normal[0] * n.normal[0] + n.normal[1] * n.normal[1] + n.normal[2] * n.normal[2]), 1.0f, 1e-5f);
    EXPECT_NEAR(n.normal[2], 0.8f, 1e-5f);
    ctx->state.enable.enables &= ~(kGlEnableNormalize | kGlEnableLighting);
    ctx->state.need.needMaskFront = 0;
}
