// Texture-coordinate generation as a program sees it: the glTexGen entries and their errors, and
// the coordinates of object-linear, eye-linear, sphere-map and mixed generation and of the texture
// matrix, read back through feedback.
#include <cmath>
#include "tests/icd_feedback/feedback_fixture.h"
#include "icd/vertex/texgen.h"

namespace {

class TexGenTest : public FeedbackTest {
protected:
    void SetUp() override {
        FeedbackTest::SetUp();
        if (HasFatalFailure()) return;
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(-2, 2, -2, 2, -2, 2);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glTexCoord4f)(0.1f, 0.7f, 0.3f, 1.0f);
        ctx->error = GL_NO_ERROR;
    }
    // s, t, r, q of one point as feedback reports them.
    std::vector<float> coords(float x, float y, float z) {
        auto got = feedback(GL_3D_COLOR_TEXTURE, [&] { point(x, y, z); });
        if (got.size() != 12u) return {};
        return std::vector<float>(got.begin() + 8, got.end());
    }
    void enableGen(bool s, bool t, bool r, bool q) {
        const GLenum caps[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
        const bool on[4] = {s, t, r, q};
        for (int i = 0; i < 4; ++i) on[i] ? GL(glEnable)(caps[i]) : GL(glDisable)(caps[i]);
    }
};

}  // namespace

TEST_F(TexGenTest, EntriesCheckCoordinatePnameAndMode) {
    const GLfloat plane[4] = {1, 2, 3, 4};
    const GLint sphere = GL_SPHERE_MAP, bogus = GL_SPHERE_MAP + 1;
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"coordinate", [&] { GL(glTexGeni)(GL_Q + 1, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR); }, GL_INVALID_ENUM},
        {"sphere map for R", [&] { GL(glTexGeni)(GL_R, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP); }, GL_INVALID_ENUM},
        {"sphere map for Q", [&] { GL(glTexGeniv)(GL_Q, GL_TEXTURE_GEN_MODE, &sphere); }, GL_INVALID_ENUM},
        {"mode value", [&] { GL(glTexGeniv)(GL_S, GL_TEXTURE_GEN_MODE, &bogus); }, GL_INVALID_ENUM},
        {"pname", [&] { GL(glTexGenfv)(GL_S, GL_TEXTURE_GEN_MODE + 3, plane); }, GL_INVALID_ENUM},
        {"scalar plane", [&] { GL(glTexGenf)(GL_S, GL_OBJECT_PLANE, 1.0f); }, GL_INVALID_ENUM},
        {"inside glBegin", [&] {
             GL(glBegin)(GL_POINTS);
             GL(glTexGenfv)(GL_S, GL_OBJECT_PLANE, plane);
             GL(glEnd)();
         }, GL_INVALID_OPERATION},
    };
    for (const Case &c : cases) {
        c.call();
        EXPECT_EQ(error(), c.want) << c.what;
    }
    const GlTexGenCoord *coord = ctx->state.texGen.coord;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(coord[i].mode, GLenum(GL_EYE_LINEAR)) << i;
    EXPECT_EQ(coord[0].objectPlane[1], 0.0f);

    // Float and double modes are truncated toward zero; success asks for validation.
    ctx->beginMode = kGlOutsideBegin;
    ctx->dirtyMask = 0;
    GL(glTexGenf)(GL_S, GL_TEXTURE_GEN_MODE, 9217.9f);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & 0x1);
    GL(glTexGend)(GL_T, GL_TEXTURE_GEN_MODE, 9218.7);
    GL(glTexGeni)(GL_Q, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    GL(glTexGenfv)(GL_R, GL_OBJECT_PLANE, plane);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(coord[0].mode, GLenum(GL_OBJECT_LINEAR));
    EXPECT_EQ(coord[1].mode, GLenum(GL_SPHERE_MAP));
    EXPECT_EQ(coord[3].mode, GLenum(GL_OBJECT_LINEAR));
    EXPECT_EQ(ctx->state.pick.texGenMode[1], GLenum(GL_SPHERE_MAP));  // what the pickers read
    EXPECT_EQ(coord[2].objectPlane[3], 4.0f);

    EXPECT_EQ(__glTexGenParamCount(GL_TEXTURE_GEN_MODE), 1);
    EXPECT_EQ(__glTexGenfvParamCount(GL_OBJECT_PLANE), 4);
    EXPECT_EQ(__glTexGenivParamCount(GL_EYE_PLANE), 4);
    EXPECT_EQ(__glTexGenParamCount(GL_TEXTURE_GEN_MODE + 3), -1);
}

TEST_F(TexGenTest, LinearModesAndTheTextureMatrix) {
    const GLdouble sPlane[4] = {1, 2, 0, 0.5};
    const GLint tPlane[4] = {0, 0, 1, 0};
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    GL(glTexGeni)(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    GL(glTexGendv)(GL_S, GL_OBJECT_PLANE, sPlane);
    GL(glTexGeniv)(GL_T, GL_OBJECT_PLANE, tPlane);
    enableGen(true, true, false, false);
    // r and q keep the current values.
    expectStream(coords(0.5f, 0.25f, 0.75f), {1.5f, 0.75f, 0.3f, 1.0f}, 1e-5f);

    // The texture matrix applies after generation, and to current coordinates as well.
    GL(glMatrixMode)(GL_TEXTURE);
    GL(glScalef)(2, 4, 1);
    GL(glMatrixMode)(GL_MODELVIEW);
    expectStream(coords(0.5f, 0.25f, 0.75f), {3.0f, 3.0f, 0.3f, 1.0f}, 1e-5f);
    enableGen(false, false, false, false);
    expectStream(coords(0.5f, 0.25f, 0.75f), {0.2f, 2.8f, 0.3f, 1.0f}, 1e-5f);
    GL(glMatrixMode)(GL_TEXTURE);
    GL(glLoadIdentity)();
    GL(glMatrixMode)(GL_MODELVIEW);

    // An eye plane is taken through the modelview in force when it is given: a later modelview
    // leaves it as it was. Under a translation by 1 in x the plane x = 0 becomes x = 1 in eye space.
    const GLfloat xPlane[4] = {1, 0, 0, 0};
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    GL(glTexGeni)(GL_T, GL_TEXTURE_GEN_MODE, GL_EYE_LINEAR);
    GL(glTranslatef)(1, 0, 0);
    GL(glTexGenfv)(GL_S, GL_EYE_PLANE, xPlane);
    GL(glTranslatef)(-1, 0, 0);
    enableGen(true, true, false, false);
    // T keeps the default eye plane (0, 1, 0, 0).
    expectStream(coords(0.5f, 0.25f, 0.75f), {-0.5f, 0.25f, 0.3f, 1.0f}, 1e-5f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(TexGenTest, SphereMapReflectsTheEyeDirectionAboutTheNormal) {
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    GL(glTexGeni)(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    enableGen(true, true, false, false);
    GL(glNormal3f)(0, 0, 1);
    // Eye direction (0.6, 0, 0.8) reflects to (0.6, 0, -0.8): m = 2 sqrt(0.4).
    const float s = float(0.5 + 0.6 / (2.0 * std::sqrt(0.4)));
    expectStream(coords(0.3f, 0.0f, 0.4f), {s, 0.5f, 0.3f, 1.0f}, 1e-4f);
    // A reflection straight back (0, 0, -1) has m = 0: the centre of the map.
    expectStream(coords(0.0f, 0.0f, 1.0f), {0.5f, 0.5f, 0.3f, 1.0f}, 1e-5f);
    // The same through the mixed proc (R on as well, in object-linear mode).
    GL(glTexGeni)(GL_R, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    const GLfloat zPlane[4] = {0, 0, 1, 0};
    GL(glTexGenfv)(GL_R, GL_OBJECT_PLANE, zPlane);
    enableGen(true, true, true, false);
    expectStream(coords(0.3f, 0.0f, 0.4f), {s, 0.5f, 0.4f, 1.0f}, 1e-4f);
}

// S generated alone: T, R and Q keep their current values.
TEST_F(TexGenTest, MixedGenerationKeepsTheCoordinatesNotGenerated) {
    const GLfloat plane[4] = {0, 0, 0, 0.25f};
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    GL(glTexGenfv)(GL_S, GL_OBJECT_PLANE, plane);
    GL(glTexGenfv)(GL_Q, GL_EYE_PLANE, plane);
    enableGen(true, false, false, false);
    expectStream(coords(0.5f, 0.25f, 0.75f), {0.25f, 0.7f, 0.3f, 1.0f}, 1e-5f);
    enableGen(false, true, false, true);  // T by its default eye plane, Q by the one above
    expectStream(coords(0.5f, 0.25f, 0.75f), {0.1f, 0.25f, 0.3f, 0.25f}, 1e-5f);
}
