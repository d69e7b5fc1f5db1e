// glEvalCoord against de Casteljau's construction for every kind of map, 1-D and 2-D, at a table
// of parameters inside and outside the domain; what the issued vertex carries and what the
// current attributes are afterwards; the analytic normal of surfaces.
#include "tests/icd_eval/eval_fixture.h"

namespace {

struct MapKind {
    const char *name;
    int k;
};
// By map index, as the targets are numbered.
const MapKind kKinds[9] = {{"colour", 4},     {"index", 1},      {"normal", 3},   {"texture 1", 1}, {"texture 2", 2},
                           {"texture 3", 3},  {"texture 4", 4},  {"vertex 3", 3}, {"vertex 4", 4}};
constexpr int kIndexMap = 1, kVertex3 = 7, kVertex4 = 8;

// What the vertex carried of map kind `kind`: texture maps show all four coordinates.
std::vector<double> carried(const Issued &s, int kind) {
    switch (kind) {
    case 0: return {s.color[0], s.color[1], s.color[2], s.color[3]};
    case 1: return {s.index};
    case 2: return {s.normal[0], s.normal[1], s.normal[2]};
    case 7: return {s.v[0], s.v[1], s.v[2]};
    case 8: return {s.v[0], s.v[1], s.v[2], s.v[3]};
    default: return {s.tex[0], s.tex[1], s.tex[2], s.tex[3]};
    }
}

// The evaluated values as the vertex carries them: texture coordinates not given are t 0, r 0,
// q 1.
std::vector<double> expected(std::vector<double> value, int kind) {
    if (kind >= 3 && kind <= 6) {
        const double pad[4] = {0, 0, 0, 1};
        for (size_t c = value.size(); c < 4; ++c) value.push_back(pad[c]);
    }
    return value;
}

// Rounding of the float evaluation grows with the order and with the basis's magnitude outside
// [0, 1] (the sum of the absolute basis values).
double growth(double t, int order) { return std::pow(std::fabs(t) + std::fabs(1 - t), order - 1) * order; }

}  // namespace

class EvalReference : public EvalTest {
protected:
    // Evaluates with only map `kind` (and the default vertex map, so that a vertex is issued)
    // enabled; colour-index mode for the index map.
    Issued evaluateOne(int kind, bool two, float u, float v) {
        const GLenum base = two ? GL_MAP2_COLOR_4 : GL_MAP1_COLOR_4;
        for (int i = 0; i < 9; ++i) able(base + GLenum(i), i == kind || (i == kVertex3 && kind < kVertex3));
        ctx->visual.rgbaMode = kind == kIndexMap ? 0 : 1;
        spy();
        if (two) GL(glEvalCoord2f)(u, v);
        else GL(glEvalCoord1f)(u);
        ctx->visual.rgbaMode = 1;
        std::vector<Issued> vs = verticesOf(issued());
        EXPECT_EQ(vs.size(), 1u);
        EXPECT_EQ(vs.empty() ? 0 : vs[0].op, kind == kVertex4 ? '4' : '3');
        return vs.empty() ? Issued{} : vs[0];
    }
};

TEST_F(EvalReference, CurvesOfEveryKindMatchDeCasteljau) {
    const float u1 = -1.5f, u2 = 2.5f;
    const float params[] = {-1.5f, -0.3f, 0.5f, 1.7f, 2.5f, 3.25f, -2.0f};
    for (int kind = 0; kind < 9; ++kind) {
        for (int order : {1, 2, 4, 12, 30}) {
            const int k = kKinds[kind].k, stride = k + 1;  // a gap after every point
            std::vector<double> p = controlPoints(size_t(order * stride), uint32_t(kind * 97 + order));
            std::vector<float> pf = toFloats(p);
            const std::vector<double> exact(pf.begin(), pf.end());
            GL(glMap1f)(GL_MAP1_COLOR_4 + GLenum(kind), u1, u2, stride, order, pf.data());
            ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
            for (float u : params) {
                SCOPED_TRACE(std::string(kKinds[kind].name) + " order " + std::to_string(order) + " u " + std::to_string(u));
                const double t = (double(u) - u1) / (double(u2) - u1);
                std::vector<double> want = expected(casteljau(exact.data(), order, k, stride, t), kind);
                std::vector<double> got = carried(evaluateOne(kind, false, u, 0), kind);
                ASSERT_EQ(got.size(), want.size());
                for (size_t c = 0; c < want.size(); ++c) EXPECT_NEAR(got[c], want[c], 4e-6 * growth(t, order) + 1e-6) << c;
            }
        }
    }
}

TEST_F(EvalReference, SurfacesOfEveryKindMatchDeCasteljau) {
    // A reversed v domain: the parameter runs from v1 = 1 down to v2 = -1.
    const float u1 = 0.5f, u2 = 2.0f, v1 = 1.0f, v2 = -1.0f;
    const float params[][2] = {{0.5f, 1.0f}, {2.0f, -1.0f}, {1.1f, 0.3f}, {0.7f, -0.8f}, {2.4f, 1.5f}, {0.2f, 0.0f}};
    const int orders[][2] = {{1, 1}, {1, 3}, {3, 2}, {4, 5}, {7, 6}};
    for (int kind = 0; kind < 9; ++kind) {
        for (const auto &o : orders) {
            const int k = kKinds[kind].k, uorder = o[0], vorder = o[1];
            // Source laid out u fastest: point (i, j) at i * k + j * uorder * k.
            std::vector<double> packed = controlPoints(size_t(uorder * vorder * k), uint32_t(kind * 31 + uorder * 7 + vorder));
            std::vector<float> pf = toFloats(packed);
            std::vector<float> src(pf.size());
            for (int i = 0; i < uorder; ++i)
                for (int j = 0; j < vorder; ++j)
                    for (int c = 0; c < k; ++c) src[size_t(i * k + j * uorder * k + c)] = pf[size_t((i * vorder + j) * k + c)];
            GL(glMap2f)(GL_MAP2_COLOR_4 + GLenum(kind), u1, u2, k, uorder, v1, v2, uorder * k, vorder, src.data());
            ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
            const std::vector<double> exact(pf.begin(), pf.end());
            for (const auto &uv : params) {
                SCOPED_TRACE(std::string(kKinds[kind].name) + " orders " + std::to_string(uorder) + "x" + std::to_string(vorder) +
                             " at " + std::to_string(uv[0]) + "," + std::to_string(uv[1]));
                const double s = (double(uv[0]) - u1) / (double(u2) - u1), t = (double(uv[1]) - v1) / (double(v2) - v1);
                std::vector<double> want = expected(casteljau2(exact.data(), uorder, vorder, k, s, t), kind);
                std::vector<double> got = carried(evaluateOne(kind, true, uv[0], uv[1]), kind);
                ASSERT_EQ(got.size(), want.size());
                const double tol = 4e-6 * growth(s, uorder) * growth(t, vorder) + 1e-6;
                for (size_t c = 0; c < want.size(); ++c) EXPECT_NEAR(got[c], want[c], tol) << c;
            }
        }
    }
}

// The widest enabled texture map gives the coordinates; an index map is ignored in RGBA mode and
// a colour map in colour-index mode; VERTEX_4 wins over VERTEX_3.
TEST_F(EvalTest, WidestMapsWinAndTheModeChoosesColourOrIndex) {
    const GLfloat tex1[] = {0.25f}, tex4[] = {0.5f, 0.75f, 1.5f, 2.0f}, color[] = {0.1f, 0.2f, 0.3f, 0.4f}, index[] = {9.0f};
    const GLfloat v3[] = {1, 2, 3}, v4[] = {4, 5, 6, 7};
    GL(glMap1f)(GL_MAP1_TEXTURE_COORD_1, 0, 1, 1, 1, tex1);
    GL(glMap1f)(GL_MAP1_TEXTURE_COORD_4, 0, 1, 4, 1, tex4);
    GL(glMap1f)(GL_MAP1_COLOR_4, 0, 1, 4, 1, color);
    GL(glMap1f)(GL_MAP1_INDEX, 0, 1, 1, 1, index);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 1, v3);
    GL(glMap1f)(GL_MAP1_VERTEX_4, 0, 1, 4, 1, v4);
    for (GLenum m : {GL_MAP1_TEXTURE_COORD_1, GL_MAP1_TEXTURE_COORD_4, GL_MAP1_COLOR_4, GL_MAP1_INDEX, GL_MAP1_VERTEX_3,
                     GL_MAP1_VERTEX_4})
        GL(glEnable)(m);
    GL(glColor4f)(0.9f, 0.8f, 0.7f, 0.6f);
    GL(glIndexf)(3.0f);
    spy();
    GL(glEvalCoord1f)(0.5f);
    ctx->visual.rgbaMode = 0;
    GL(glEvalCoord1d)(0.5);
    ctx->visual.rgbaMode = 1;
    std::vector<Issued> vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 2u);
    for (const Issued &s : vs) {
        EXPECT_EQ(s.op, '4');
        EXPECT_EQ(std::vector<float>(s.v, s.v + 4), (std::vector<float>{4, 5, 6, 7}));
        EXPECT_EQ(std::vector<float>(s.tex, s.tex + 4), (std::vector<float>{0.5f, 0.75f, 1.5f, 2.0f}));
    }
    EXPECT_EQ(std::vector<float>(vs[0].color, vs[0].color + 4), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_EQ(vs[0].index, 3.0f);
    EXPECT_EQ(std::vector<float>(vs[1].color, vs[1].color + 4), (std::vector<float>{0.9f, 0.8f, 0.7f, 0.6f}));
    EXPECT_EQ(vs[1].index, 9.0f);
    GL(glDisable)(GL_MAP1_TEXTURE_COORD_4);
    spy();
    GL(glEvalCoord1f)(0.5f);
    vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_EQ(std::vector<float>(vs[0].tex, vs[0].tex + 4), (std::vector<float>{0.25f, 0, 0, 1}));
}

// The evaluated values reach only the issued vertex: afterwards the current colour (and the
// scaled colour and colour material that follow it), index, normal and texture coordinates are
// what they were. What no map gives, the vertex takes from the current values.
TEST_F(EvalTest, EvaluationLeavesTheCurrentAttributesAsTheyWere) {
    const GLfloat color[] = {0.5f, 0.25f, 1.0f, 0.75f, 0.0f, 0.5f, 0.5f, 1.0f}, normal[] = {1, 0, 0}, tex2[] = {3, 4};
    const GLfloat index[] = {7.0f}, v3[] = {0, 0, 0, 1, 1, 1};
    GL(glMap1f)(GL_MAP1_COLOR_4, 0, 1, 4, 2, color);
    GL(glMap1f)(GL_MAP1_INDEX, 0, 1, 1, 1, index);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 2, v3);
    GL(glMap2f)(GL_MAP2_NORMAL, 0, 1, 3, 1, 0, 1, 3, 1, normal);
    GL(glMap2f)(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 1, 0, 1, 2, 1, tex2);
    GL(glMap2f)(GL_MAP2_VERTEX_4, 0, 1, 4, 1, 0, 1, 4, 1, v3 + 2);
    GL(glEnable)(GL_COLOR_MATERIAL);
    GL(glColor4f)(0.2f, 0.4f, 0.6f, 0.8f);
    GL(glNormal3f)(0, 1, 0);
    GL(glTexCoord4f)(0.1f, 0.2f, 0.3f, 0.4f);
    GL(glIndexf)(5.0f);
    const GlCurrentState before = ctx->current;
    auto expectUnchanged = [&](const char *what) {
        SCOPED_TRACE(what);
        const GlCurrentState &c = ctx->current;
        EXPECT_EQ(std::memcmp(c.color, before.color, sizeof(c.color)), 0);
        EXPECT_EQ(std::memcmp(c.vertex.scaledColor, before.vertex.scaledColor, sizeof(c.color)), 0);
        EXPECT_EQ(std::memcmp(c.normal, before.normal, sizeof(c.normal)), 0);
        EXPECT_EQ(std::memcmp(c.texCoord, before.texCoord, sizeof(c.texCoord)), 0);
        EXPECT_EQ(c.index, before.index);
        GLfloat diffuse[4];
        GL(glGetMaterialfv)(GL_FRONT, GL_DIFFUSE, diffuse);
        EXPECT_EQ(std::vector<float>(diffuse, diffuse + 4), (std::vector<float>{0.2f, 0.4f, 0.6f, 0.8f}));
    };

    // Only a colour map: nothing is issued.
    GL(glEnable)(GL_MAP1_COLOR_4);
    spy();
    GL(glEvalCoord1f)(0.5f);
    EXPECT_TRUE(issued().empty());
    expectUnchanged("colour only");

    // Colour and vertex: the vertex carries the evaluated colour, scaled, and the current normal
    // and texture coordinates.
    GL(glEnable)(GL_MAP1_VERTEX_3);
    spy();
    GL(glEvalCoord1fv)(std::vector<GLfloat>{0.5f}.data());
    std::vector<Issued> vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_EQ(std::vector<float>(vs[0].color, vs[0].color + 4), (std::vector<float>{0.25f, 0.375f, 0.75f, 0.875f}));
    const GlColorScales &sc = ctx->scales;
    EXPECT_FLOAT_EQ(vs[0].scaled[0], 0.25f * sc.redScale);
    EXPECT_FLOAT_EQ(vs[0].scaled[2], 0.75f * sc.blueScale);
    EXPECT_EQ(std::vector<float>(vs[0].normal, vs[0].normal + 3), (std::vector<float>{0, 1, 0}));
    EXPECT_EQ(std::vector<float>(vs[0].tex, vs[0].tex + 4), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    EXPECT_EQ(std::vector<float>(vs[0].v, vs[0].v + 3), (std::vector<float>{0.5f, 0.5f, 0.5f}));
    expectUnchanged("colour and vertex");

    // A surface with normal and texture maps: r and q of the evaluated coordinates are 0 and 1.
    GL(glEnable)(GL_MAP2_NORMAL);
    GL(glEnable)(GL_MAP2_TEXTURE_COORD_2);
    GL(glEnable)(GL_MAP2_VERTEX_4);
    spy();
    const GLdouble uv[2] = {0.5, 0.5};
    GL(glEvalCoord2dv)(uv);
    vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_EQ(vs[0].op, '4');
    EXPECT_EQ(std::vector<float>(vs[0].normal, vs[0].normal + 3), (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(std::vector<float>(vs[0].tex, vs[0].tex + 4), (std::vector<float>{3, 4, 0, 1}));
    EXPECT_EQ(std::vector<float>(vs[0].color, vs[0].color + 4), (std::vector<float>{0.2f, 0.4f, 0.6f, 0.8f}));
    expectUnchanged("surface");

    // Colour-index mode: the index map, and the current index afterwards.
    GL(glEnable)(GL_MAP1_INDEX);
    ctx->visual.rgbaMode = 0;
    spy();
    GL(glEvalCoord1d)(0.25);
    ctx->visual.rgbaMode = 1;
    vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 1u);
    EXPECT_EQ(vs[0].index, 7.0f);
    expectUnchanged("index");
}

// With GL_AUTO_NORMAL a surface's vertex carries the unit normal du x dv of the surface (of the
// projected point for VERTEX_4) at the parameter, in place of the normal map; the parameters
// orient it, so a reversed domain turns it over.
TEST_F(EvalTest, AutoNormalIsTheUnitCrossProductOfTheTangents) {
    struct Case {
        const char *what;
        GLenum target;
        int k, uorder, vorder;
        float u1, u2, v1, v2;
        std::vector<double> points;  // empty: pseudo-random
    };
    const Case cases[] = {
        {"plane, x along u and y along v", GL_MAP2_VERTEX_3, 3, 2, 2, 0, 1, 0, 1, {0, 0, 0, 0, 3, 0, 2, 0, 0, 2, 3, 0}},
        {"plane with the v domain reversed", GL_MAP2_VERTEX_3, 3, 2, 2, 0, 1, 1, 0, {0, 0, 0, 0, 3, 0, 2, 0, 0, 2, 3, 0}},
        {"plane with both domains reversed", GL_MAP2_VERTEX_3, 3, 2, 2, 4, -4, 1, 0, {0, 0, 0, 0, 3, 0, 2, 0, 0, 2, 3, 0}},
        {"curved patch", GL_MAP2_VERTEX_3, 3, 3, 4, -1, 2, 0.5f, 1.5f, {}},
        {"curved patch, u domain reversed", GL_MAP2_VERTEX_3, 3, 4, 3, 2, -1, 0.5f, 1.5f, {}},
        {"rational patch", GL_MAP2_VERTEX_4, 4, 3, 3, 0, 1, 0, 1, {}},
    };
    const float params[][2] = {{0.3f, 0.6f}, {0.5f, 0.5f}, {0.9f, 0.1f}, {1.2f, 0.8f}};
    const GLfloat normal[] = {0, 0, 7};
    GL(glMap2f)(GL_MAP2_NORMAL, 0, 1, 3, 1, 0, 1, 3, 1, normal);
    GL(glEnable)(GL_MAP2_NORMAL);
    GL(glEnable)(GL_AUTO_NORMAL);
    for (const Case &c : cases) {
        std::vector<double> p = c.points;
        if (p.empty()) {
            p = controlPoints(size_t(c.k * c.uorder * c.vorder), 5);
            if (c.k == 4)
                for (size_t i = 3; i < p.size(); i += 4) p[i] = 1.5 + 0.5 * p[i] / 2;  // w in [1, 2]
        }
        std::vector<float> pf = toFloats(p);
        const std::vector<double> exact(pf.begin(), pf.end());
        GL(glDisable)(GL_MAP2_VERTEX_3);
        GL(glDisable)(GL_MAP2_VERTEX_4);
        GL(glEnable)(c.target);
        GL(glMap2f)(c.target, c.u1, c.u2, c.k * c.vorder, c.uorder, c.v1, c.v2, c.k, c.vorder, pf.data());
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        // The projected point as a function of the map's own parameters.
        auto point = [&](double u, double v) {
            std::vector<double> q = casteljau2(exact.data(), c.uorder, c.vorder, c.k, (u - c.u1) / (double(c.u2) - c.u1),
                                               (v - c.v1) / (double(c.v2) - c.v1));
            if (c.k == 4)
                for (int i = 0; i < 3; ++i) q[size_t(i)] /= q[3];
            return q;
        };
        for (const auto &uv : params) {
            SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(uv[0]) + "," + std::to_string(uv[1]));
            const double h = 1e-5, u = uv[0], v = uv[1];
            double du[3], dv[3];
            std::vector<double> a = point(u + h, v), b = point(u - h, v), e = point(u, v + h), f = point(u, v - h);
            for (int i = 0; i < 3; ++i) du[i] = (a[size_t(i)] - b[size_t(i)]) / (2 * h), dv[i] = (e[size_t(i)] - f[size_t(i)]) / (2 * h);
            double n[3] = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2], du[0] * dv[1] - du[1] * dv[0]};
            const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            spy();
            GL(glEvalCoord2f)(uv[0], uv[1]);
            std::vector<Issued> vs = verticesOf(issued());
            ASSERT_EQ(vs.size(), 1u);
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(vs[0].normal[i], n[i] / len, 1e-3) << i;
            EXPECT_EQ(ctx->current.normal[2], 1.0f);  // the current normal is back
        }
    }
    // Curves have no analytic normal: the normal map gives it.
    const GLfloat line[] = {0, 0, 0, 1, 1, 1};
    GL(glMap1f)(GL_MAP1_NORMAL, 0, 1, 3, 1, normal);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 2, line);
    GL(glEnable)(GL_MAP1_NORMAL);
    GL(glEnable)(GL_MAP1_VERTEX_3);
    spy();
    GL(glEvalCoord1f)(0.5f);
    ASSERT_EQ(verticesOf(issued()).size(), 1u);
    EXPECT_EQ(verticesOf(issued())[0].normal[2], 7.0f);
}
