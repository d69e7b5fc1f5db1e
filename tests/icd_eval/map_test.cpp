// The map and grid commands: their errors (each leaving the map or grid as it was), the control
// points kept packed whatever the strides and read back by glGetMap, the defaults of a fresh
// context, and the grids in glGet and on the attribute stack.
#include <functional>
#include "tests/icd_eval/eval_fixture.h"

namespace {
struct MapRecord {
    std::vector<float> order, domain, coeff;
    bool operator==(const MapRecord &) const = default;
};

MapRecord mapOf(GlContext *ctx, GLenum target, int k) {
    const bool two = target >= GL_MAP2_COLOR_4;
    MapRecord r;
    r.order.assign(two ? 2 : 1, -1.0f);
    r.domain.assign(two ? 4 : 2, -1.0f);
    GL(glGetMapfv)(target, GL_ORDER, r.order.data());
    GL(glGetMapfv)(target, GL_DOMAIN, r.domain.data());
    size_t n = size_t(k) * size_t(r.order[0]) * size_t(two ? r.order[1] : 1);
    r.coeff.assign(n + 4, -99.0f);  // the tail shows that nothing is written beyond the points
    GL(glGetMapfv)(target, GL_COEFF, r.coeff.data());
    return r;
}
}  // namespace

TEST_F(EvalTest, FreshContextHoldsTheDefaultPointOfEveryMap) {
    const std::vector<float> defaults[9] = {{1, 1, 1, 1}, {1}, {0, 0, 1}, {0}, {0, 0}, {0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0}, {0, 0, 0, 1}};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(i);
        const int k = int(defaults[i].size());
        MapRecord one = mapOf(ctx, GL_MAP1_COLOR_4 + i, k), two = mapOf(ctx, GL_MAP2_COLOR_4 + i, k);
        EXPECT_EQ(one.order, std::vector<float>{1});
        EXPECT_EQ(one.domain, (std::vector<float>{0, 1}));
        EXPECT_EQ(two.order, (std::vector<float>{1, 1}));
        EXPECT_EQ(two.domain, (std::vector<float>{0, 1, 0, 1}));
        std::vector<float> want = defaults[i];
        want.insert(want.end(), 4, -99.0f);
        EXPECT_EQ(one.coeff, want);
        EXPECT_EQ(two.coeff, want);
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// Every rejected call reports its error and changes nothing: a vertex map of order 2 set before
// stays as it was.
TEST_F(EvalTest, RejectedMapsKeepTheirOrderDomainAndPoints) {
    const GLfloat p3[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    std::vector<GLfloat> big(4 * 31 * 31, 0.5f);
    std::vector<GLdouble> bigd(big.begin(), big.end());
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 2, p3);
    GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 6, 2, 0, 1, 3, 2, p3);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    const MapRecord before1 = mapOf(ctx, GL_MAP1_VERTEX_3, 3), before2 = mapOf(ctx, GL_MAP2_VERTEX_3, 3);
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"1-D stride below k", [&] { GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 2, 4, p3); }, GL_INVALID_VALUE},
        {"1-D order 31", [&] { GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 31, big.data()); }, GL_INVALID_VALUE},
        {"1-D order 0", [&] { GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 0, p3); }, GL_INVALID_VALUE},
        {"1-D empty domain", [&] { GL(glMap1f)(GL_MAP1_VERTEX_3, 0.5f, 0.5f, 3, 2, p3); }, GL_INVALID_VALUE},
        {"1-D doubles that round to one float", [&] { GL(glMap1d)(GL_MAP1_VERTEX_3, 1.0, 1.0 + 1e-12, 3, 2, bigd.data()); },
         GL_INVALID_VALUE},
        {"1-D 2-D target", [&] { GL(glMap1f)(GL_MAP2_VERTEX_3, 0, 1, 3, 2, p3); }, GL_INVALID_ENUM},
        {"1-D target past the last", [&] { GL(glMap1f)(GL_MAP1_VERTEX_4 + 1, 0, 1, 4, 2, p3); }, GL_INVALID_ENUM},
        {"1-D target before range", [&] { GL(glMap1f)(GL_MAP1_COLOR_4 - 1, 0, 1, 4, 2, p3); }, GL_INVALID_ENUM},
        {"1-D bad target before bad values", [&] { GL(glMap1f)(0, 0, 0, 0, 0, p3); }, GL_INVALID_ENUM},
        {"2-D vorder 31", [&] { GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 93, 1, 0, 1, 3, 31, big.data()); }, GL_INVALID_VALUE},
        {"2-D uorder 0", [&] { GL(glMap2d)(GL_MAP2_VERTEX_3, 0, 1, 3, 0, 0, 1, 3, 2, bigd.data()); }, GL_INVALID_VALUE},
        {"2-D empty v domain", [&] { GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 6, 2, 2, 2, 3, 2, p3); }, GL_INVALID_VALUE},
        {"2-D empty u domain", [&] { GL(glMap2f)(GL_MAP2_VERTEX_3, 3, 3, 6, 2, 0, 1, 3, 2, p3); }, GL_INVALID_VALUE},
        {"2-D ustride below k", [&] { GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 2, 2, 0, 1, 6, 2, p3); }, GL_INVALID_VALUE},
        {"2-D vstride below k", [&] { GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 6, 2, 0, 1, 2, 2, p3); }, GL_INVALID_VALUE},
        {"2-D 1-D target", [&] { GL(glMap2f)(GL_MAP1_VERTEX_3, 0, 1, 6, 2, 0, 1, 3, 2, p3); }, GL_INVALID_ENUM},
        {"2-D target before range, bad orders too", [&] { GL(glMap2f)(GL_MAP2_COLOR_4 - 1, 0, 0, 0, 0, 0, 0, 0, 0, p3); },
         GL_INVALID_ENUM},
        {"inside glBegin/glEnd before the target",
         [&] {
             ctx->beginMode = kGlInsideBegin;
             GL(glMap1f)(0, 0, 1, 3, 2, p3);
             GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 6, 2, 0, 1, 3, 2, p3);
             ctx->beginMode = kGlOutsideBegin;
         },
         GL_INVALID_OPERATION},
        {"no memory for the points",
         [&] {
             kivFailGlobalAllocAfter(1);  // the next allocation fails
             GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 4, p3);
             kivFailGlobalAllocAfter(1);
             GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 6, 2, 0, 1, 3, 2, p3 + 1);
             kivFailGlobalAllocAfter(0);
         },
         GL_OUT_OF_MEMORY},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        EXPECT_EQ(error(), c.want);
        EXPECT_EQ(mapOf(ctx, GL_MAP1_VERTEX_3, 3), before1);
        EXPECT_EQ(mapOf(ctx, GL_MAP2_VERTEX_3, 3), before2);
    }
    // The largest order is accepted.
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 30, big.data());
    GL(glMap2f)(GL_MAP2_VERTEX_4, 0, 1, 120, 30, 0, 1, 4, 30, big.data());
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(mapOf(ctx, GL_MAP1_VERTEX_3, 3).order, std::vector<float>{30});
    EXPECT_EQ(mapOf(ctx, GL_MAP2_VERTEX_4, 4).order, (std::vector<float>{30, 30}));
}

// Points come in with any strides (here u running fastest in the source, with gaps) and are kept
// [u][v][k]; the double forms round each value; the integer query truncates like every float
// state.
TEST_F(EvalTest, ControlPointsArePackedWhateverTheStrides) {
    // 2 x 3 points of k = 2 (texture coordinates), source element (i, j) at i * 3 + j * 7.
    std::vector<GLdouble> src(64, -1.0);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) {
            src[size_t(i * 3 + j * 7)] = 10 * i + j + 0.25;
            src[size_t(i * 3 + j * 7 + 1)] = -(10 * i + j) - 0.75;
        }
    GL(glMap2d)(GL_MAP2_TEXTURE_COORD_2, -1.0, 3.0, 3, 2, 0.5, 0.25, 7, 3, src.data());
    std::vector<GLfloat> f(src.begin(), src.end());
    GL(glMap1f)(GL_MAP1_COLOR_4, 2.0f, -2.0f, 9, 3, f.data());
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));

    GLfloat coeff[13];
    std::fill(std::begin(coeff), std::end(coeff), 7.0f);
    GL(glGetMapfv)(GL_MAP2_TEXTURE_COORD_2, GL_COEFF, coeff);
    const float want[13] = {0.25f, -0.75f, 1.25f, -1.75f, 2.25f, -2.75f, 10.25f, -10.75f, 11.25f, -11.75f, 12.25f, -12.75f, 7.0f};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(coeff[i], want[i]) << i;
    GLint icoeff[12];
    GL(glGetMapiv)(GL_MAP2_TEXTURE_COORD_2, GL_COEFF, icoeff);
    EXPECT_EQ(icoeff[0], 0);
    EXPECT_EQ(icoeff[7], -10);
    GLdouble domain[4];
    GL(glGetMapdv)(GL_MAP2_TEXTURE_COORD_2, GL_DOMAIN, domain);
    EXPECT_EQ(domain[0], -1.0);
    EXPECT_EQ(domain[1], 3.0);
    EXPECT_EQ(domain[2], 0.5);
    EXPECT_EQ(domain[3], 0.25);
    GLint order[2];
    GL(glGetMapiv)(GL_MAP2_TEXTURE_COORD_2, GL_ORDER, order);
    EXPECT_EQ(order[0], 2);
    EXPECT_EQ(order[1], 3);

    GLfloat c1[12];
    GL(glGetMapfv)(GL_MAP1_COLOR_4, GL_COEFF, c1);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(c1[i * 4 + c], f[size_t(i * 9 + c)]) << i << "," << c;
    GLfloat d1[2];
    GL(glGetMapfv)(GL_MAP1_COLOR_4, GL_DOMAIN, d1);
    EXPECT_EQ(d1[0], 2.0f);  // a reversed domain is kept as given
    EXPECT_EQ(d1[1], -2.0f);

    // A map of 30 x 30 points of four values answers all 3600 of them.
    std::vector<GLfloat> big(3600);
    for (size_t i = 0; i < big.size(); ++i) big[i] = float(i);
    GL(glMap2f)(GL_MAP2_VERTEX_4, 0, 1, 120, 30, 0, 1, 4, 30, big.data());
    std::vector<GLdouble> back(3601, -1.0);
    GL(glGetMapdv)(GL_MAP2_VERTEX_4, GL_COEFF, back.data());
    for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(back[i], double(i)) << i;
    EXPECT_EQ(back[3600], -1.0);
}

// A count of segments below one is refused (a grid step would divide by it); inside
// glBegin/glEnd the grid commands are errors; the values stored are the floats given.
TEST_F(EvalTest, GridsRefuseEmptyCountsAndAnswerQueries) {
    GL(glMapGrid1d)(3, 0.1, 0.7);
    GL(glMapGrid2f)(2, -1.0f, 1.0f, 5, 4.0f, 2.0f);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"1-D zero", [&] { GL(glMapGrid1f)(0, 0, 1); }, GL_INVALID_VALUE},
        {"1-D negative", [&] { GL(glMapGrid1d)(-2, 0, 1); }, GL_INVALID_VALUE},
        {"2-D u zero", [&] { GL(glMapGrid2f)(0, 0, 1, 1, 0, 1); }, GL_INVALID_VALUE},
        {"2-D v negative", [&] { GL(glMapGrid2d)(1, 0, 1, -1, 0, 1); }, GL_INVALID_VALUE},
        {"inside glBegin/glEnd",
         [&] {
             ctx->beginMode = kGlInsideBegin;
             GL(glMapGrid1f)(0, 0, 1);
             GL(glMapGrid2d)(4, 0, 1, 4, 0, 1);
             ctx->beginMode = kGlOutsideBegin;
         },
         GL_INVALID_OPERATION},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        EXPECT_EQ(error(), c.want);
        GLfloat d1[2], d2[4];
        GLint n1, n2[2];
        GL(glGetFloatv)(GL_MAP1_GRID_DOMAIN, d1);
        GL(glGetIntegerv)(GL_MAP1_GRID_SEGMENTS, &n1);
        GL(glGetFloatv)(GL_MAP2_GRID_DOMAIN, d2);
        GL(glGetIntegerv)(GL_MAP2_GRID_SEGMENTS, n2);
        EXPECT_EQ(d1[0], float(0.1));
        EXPECT_EQ(d1[1], float(0.7));
        EXPECT_EQ(n1, 3);
        EXPECT_EQ(std::vector<float>(d2, d2 + 4), (std::vector<float>{-1, 1, 4, 2}));
        EXPECT_EQ(n2[0], 2);
        EXPECT_EQ(n2[1], 5);
    }
}

// GL_EVAL_BIT takes the grids along with the map enables and auto normal; the control points are
// not part of it.
TEST_F(EvalTest, EvalBitSavesTheGridsButNotThePoints) {
    const GLfloat a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    GL(glMapGrid1f)(7, 1, 2);
    GL(glMapGrid2f)(3, 0, 5, 4, 6, 7);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 1, a);
    GL(glEnable)(GL_MAP2_INDEX);
    GL(glPushAttrib)(GL_EVAL_BIT);
    GL(glMapGrid1f)(9, -1, 0);
    GL(glMapGrid2f)(1, 1, 2, 1, 3, 4);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 1, b);
    GL(glDisable)(GL_MAP2_INDEX);
    GL(glPopAttrib)();
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    GLfloat d1[2], d2[4], p[3];
    GLint n1, n2[2];
    GL(glGetFloatv)(GL_MAP1_GRID_DOMAIN, d1);
    GL(glGetIntegerv)(GL_MAP1_GRID_SEGMENTS, &n1);
    GL(glGetFloatv)(GL_MAP2_GRID_DOMAIN, d2);
    GL(glGetIntegerv)(GL_MAP2_GRID_SEGMENTS, n2);
    EXPECT_EQ(std::vector<float>(d1, d1 + 2), (std::vector<float>{1, 2}));
    EXPECT_EQ(n1, 7);
    EXPECT_EQ(std::vector<float>(d2, d2 + 4), (std::vector<float>{0, 5, 6, 7}));
    EXPECT_EQ(n2[0], 3);
    EXPECT_EQ(n2[1], 4);
    EXPECT_TRUE(GL(glIsEnabled)(GL_MAP2_INDEX));
    GL(glGetMapfv)(GL_MAP1_VERTEX_3, GL_COEFF, p);
    EXPECT_EQ(std::vector<float>(p, p + 3), (std::vector<float>{4, 5, 6}));
}
