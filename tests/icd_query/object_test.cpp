// The object queries: lights and materials round trip through their setters (colours through
// colour-buffer units), clip planes in eye space, and the errors that write nothing.
#include <functional>
#include <vector>
#include "tests/icd_query/query_fixture.h"

namespace {

struct Sentinels {
    GLfloat f[kQuerySlots];
    GLint i[kQuerySlots];
    Sentinels() {
        for (int k = 0; k < kQuerySlots; ++k) f[k] = kFloatSentinel, i[k] = kIntSentinel;
    }
    int writtenF() const {
        int n = 0;
        while (n < kQuerySlots && f[n] != kFloatSentinel) ++n;
        return n;
    }
    int writtenI() const {
        int n = 0;
        while (n < kQuerySlots && i[n] != kIntSentinel) ++n;
        return n;
    }
};

struct ObjectRow {
    const char *what;
    GLenum pname;
    std::vector<float> set;   // given to the float setter
    std::vector<float> want;  // the float answer
    std::vector<GLint> wantI;
    bool color;               // through colour-buffer units: not bit-exact
};

// Each row set through `set`, then read back in both forms through `get`: the count written and
// the values (colours through colour-buffer units are compared within rounding).
template <size_t N, class Set, class Get, class Error>
void roundTrip(const ObjectRow (&rows)[N], Set set, Get get, Error error) {
    for (const ObjectRow &row : rows) {
        SCOPED_TRACE(row.what);
        set(row.pname, row.set.data());
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        Sentinels s;
        get(row.pname, s.f, s.i);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        ASSERT_EQ(s.writtenF(), int(row.want.size()));
        ASSERT_EQ(s.writtenI(), int(row.want.size()));
        for (size_t k = 0; k < row.want.size(); ++k) {
            if (row.color) {
                EXPECT_NEAR(s.f[k], row.want[k], 1e-6);
                EXPECT_NEAR(s.i[k], row.wantI[k], 1024);
            } else {
                EXPECT_EQ(s.f[k], row.want[k]);
                EXPECT_EQ(s.i[k], row.wantI[k]);
            }
        }
    }
}

TEST_F(QueryTest, LightsRoundTrip) {
    const ObjectRow rows[] = {
        {"ambient", GL_AMBIENT, {0.25f, 0.5f, 0.75f, 1}, {0.25f, 0.5f, 0.75f, 1},
         {normalisedInt(0.25), normalisedInt(0.5), normalisedInt(0.75), 2147482496}, true},
        {"diffuse", GL_DIFFUSE, {1, 0, 0.5f, 0.5f}, {1, 0, 0.5f, 0.5f},
         {2147482496, 0, normalisedInt(0.5), normalisedInt(0.5)}, true},
        {"specular", GL_SPECULAR, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, true},
        {"position", GL_POSITION, {1.5f, -2, 3, 1}, {1.5f, -2, 3, 1}, {1, -2, 3, 1}, false},
        {"spot direction", GL_SPOT_DIRECTION, {0, -1.5f, 0}, {0, -1.5f, 0}, {0, -1, 0}, false},
        {"spot exponent", GL_SPOT_EXPONENT, {12.75f}, {12.75f}, {12}, false},
        {"spot cutoff", GL_SPOT_CUTOFF, {45.5f}, {45.5f}, {45}, false},
        {"constant attenuation", GL_CONSTANT_ATTENUATION, {2.5f}, {2.5f}, {2}, false},
        {"linear attenuation", GL_LINEAR_ATTENUATION, {0.5f}, {0.5f}, {0}, false},
        {"quadratic attenuation", GL_QUADRATIC_ATTENUATION, {3}, {3}, {3}, false},
    };
    roundTrip(rows, [&](GLenum p, const float *v) { GL(glLightfv)(GL_LIGHT3, p, v); },
              [&](GLenum p, float *f, GLint *i) {
                  GL(glGetLightfv)(GL_LIGHT3, p, f);
                  GL(glGetLightiv)(GL_LIGHT3, p, i);
              },
              [&] { return error(); });
    // The defaults of light 0, and another light left alone.
    Sentinels d;
    GL(glGetLightfv)(GL_LIGHT0, GL_DIFFUSE, d.f);
    EXPECT_NEAR(d.f[0], 1.0f, 1e-6);
    GL(glGetLightfv)(GL_LIGHT1, GL_DIFFUSE, d.f);
    EXPECT_EQ(d.f[0], 0.0f);
    GL(glGetLightfv)(GL_LIGHT1, GL_SPOT_CUTOFF, d.f);
    EXPECT_EQ(d.f[0], 180.0f);
}

// Position and spot direction come back in eye space: through the modelview matrix in force
// when they were given.
TEST_F(QueryTest, LightPositionInEyeSpace) {
    GL(glTranslatef)(0, 0, -5);
    const GLfloat pos[4] = {1, 2, 3, 1}, dir[3] = {0, 0, -1};
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, pos);
    GL(glLightfv)(GL_LIGHT0, GL_SPOT_DIRECTION, dir);
    GL(glLoadIdentity)();
    GLfloat p[4], d[3];
    GL(glGetLightfv)(GL_LIGHT0, GL_POSITION, p);
    GL(glGetLightfv)(GL_LIGHT0, GL_SPOT_DIRECTION, d);
    EXPECT_EQ(p[2], -2.0f);
    EXPECT_EQ(p[3], 1.0f);
    EXPECT_EQ(d[2], -1.0f);  // a direction does not move
}

TEST_F(QueryTest, MaterialsRoundTrip) {
    const ObjectRow rows[] = {
        {"ambient", GL_AMBIENT, {0.1f, 0.2f, 0.3f, 0.4f}, {0.1f, 0.2f, 0.3f, 0.4f},
         {normalisedInt(0.1f), normalisedInt(0.2f), normalisedInt(0.3f), normalisedInt(0.4f)}, false},
        {"diffuse", GL_DIFFUSE, {1, 0.5f, 0, -1}, {1, 0.5f, 0, -1}, {2147482496, normalisedInt(0.5), 0, -2147482496}, false},
        {"specular", GL_SPECULAR, {0.5f, 0.5f, 0.5f, 1}, {0.5f, 0.5f, 0.5f, 1},
         {normalisedInt(0.5), normalisedInt(0.5), normalisedInt(0.5), 2147482496}, false},
        {"emission", GL_EMISSION, {0.25f, 0, 1, 1}, {0.25f, 0, 1, 1},
         {normalisedInt(0.25), 0, 2147482496, 2147482496}, true},
        {"shininess", GL_SHININESS, {12.5f}, {12.5f}, {12}, false},
        {"colour indexes", GL_COLOR_INDEXES, {1.5f, 2.5f, 3.5f}, {1.5f, 2.5f, 3.5f}, {1, 2, 3}, false},
    };
    roundTrip(rows, [&](GLenum p, const float *v) { GL(glMaterialfv)(GL_FRONT, p, v); },
              [&](GLenum p, float *f, GLint *i) {
                  GL(glGetMaterialfv)(GL_FRONT, p, f);
                  GL(glGetMaterialiv)(GL_FRONT, p, i);
              },
              [&] { return error(); });
    // The back face keeps its defaults; both faces take a front-and-back call.
    GLfloat back[4];
    GL(glGetMaterialfv)(GL_BACK, GL_DIFFUSE, back);
    EXPECT_EQ(back[0], 0.8f);
    const GLfloat shift = 4;
    GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_INDEX_SHIFT, &shift);
    GLint i = 0;
    GL(glGetMaterialiv)(GL_BACK, GL_INDEX_SHIFT, &i);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(QueryTest, ClipPlanesInEyeSpace) {
    const GLdouble plain[4] = {1, 2, 3, 4}, facing[4] = {0, 0, 1, 0};
    GL(glClipPlane)(GL_CLIP_PLANE2, plain);
    GL(glTranslatef)(0, 0, -5);
    GL(glClipPlane)(GL_CLIP_PLANE5, facing);
    GLdouble got[5] = {9, 9, 9, 9, 9};
    GL(glGetClipPlane)(GL_CLIP_PLANE2, got);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(got[k], plain[k]);
    EXPECT_EQ(got[4], 9.0);
    GL(glGetClipPlane)(GL_CLIP_PLANE5, got);
    EXPECT_EQ(got[2], 1.0);
    EXPECT_EQ(got[3], 5.0);  // z_object = z_eye + 5
    GLdouble untouched[4] = {-3, -3, -3, -3}, unset[4];
    GL(glGetClipPlane)(GL_CLIP_PLANE0, unset);
    for (double v : unset) EXPECT_EQ(v, 0.0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GL(glGetClipPlane)(GL_CLIP_PLANE0 + 6, untouched);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(untouched[0], -3.0);
}

// Every object query checks the begin mode, then its object and name; an error writes nothing.
TEST_F(QueryTest, ObjectQueryErrorsWriteNothing) {
    struct Case {
        const char *what;
        std::function<void(Sentinels &)> call;
        GLenum error;
    };
    const Case cases[] = {
        {"light beyond the count", [&](Sentinels &s) { GL(glGetLightfv)(GL_LIGHT0 + 8, GL_AMBIENT, s.f); }, GL_INVALID_ENUM},
        {"light name", [&](Sentinels &s) { GL(glGetLightiv)(GL_LIGHT0, GL_SHININESS, s.i); }, GL_INVALID_ENUM},
        {"material face", [&](Sentinels &s) { GL(glGetMaterialfv)(GL_FRONT_AND_BACK, GL_AMBIENT, s.f); }, GL_INVALID_ENUM},
        {"material name", [&](Sentinels &s) { GL(glGetMaterialiv)(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, s.i); }, GL_INVALID_ENUM},
        {"material position", [&](Sentinels &s) { GL(glGetMaterialfv)(GL_BACK, GL_POSITION, s.f); }, GL_INVALID_ENUM},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Sentinels s;
        c.call(s);
        EXPECT_EQ(error(), c.error);
        EXPECT_EQ(s.writtenF() + s.writtenI(), 0);
    }
    ctx->beginMode = kGlInsideBegin;
    Sentinels s;
    GL(glGetLightfv)(GL_LIGHT0, GL_AMBIENT, s.f);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glGetMaterialiv)(GL_FRONT, GL_AMBIENT, s.i);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GLdouble eq[4] = {7, 7, 7, 7};
    GL(glGetClipPlane)(GL_CLIP_PLANE0, eq);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(eq[0], 7.0);
    EXPECT_EQ(s.writtenF() + s.writtenI(), 0);
    ctx->beginMode = kGlOutsideBegin;
}

}  // namespace
