// Grids and meshes: glEvalPoint on the grid (exactly the domain's end at the last point),
// glEvalMesh as points, line strips and quad strips, the row cache (a mesh wider than the cache
// issues what evaluating every point would), the errors and pending validation, and evaluated
// vertices going down the real pipeline (feedback) and through display lists.
#include <algorithm>
#include <set>
#include <utility>
#include "tests/icd_eval/eval_fixture.h"
#include "tests/icd_feedback/feedback_fixture.h"

namespace {

// A vertex as "x,y" (the grid maps below put grid point (i, j) at x = i, y = j), a glBegin as
// its primitive's letters, glEnd as "E".
std::string streamOf(const std::vector<Issued> &log) {
    std::string s;
    for (const Issued &e : log) {
        if (!s.empty()) s += ' ';
        if (e.op == 'B') s += e.mode == GL_POINTS ? "P" : e.mode == GL_LINE_STRIP ? "LS" : e.mode == GL_QUAD_STRIP ? "QS" : "?";
        else if (e.op == 'E') s += "E";
        else s += std::to_string(std::lround(e.v[0])) + "," + std::to_string(std::lround(e.v[1]));
    }
    return s;
}

struct Step {
    char op;  // 'B', 'E' or 'V'
    GLenum mode;
    int i, j;
};

// The order in which a 2-D mesh visits its grid points.
std::vector<Step> meshOrder(GLenum mode, int i1, int i2, int j1, int j2) {
    std::vector<Step> s;
    if (mode == GL_POINT) {
        s.push_back({'B', GL_POINTS, 0, 0});
        for (int i = i1; i <= i2; ++i)
            for (int j = j1; j <= j2; ++j) s.push_back({'V', 0, i, j});
        s.push_back({'E', 0, 0, 0});
    } else if (mode == GL_FILL) {
        for (int i = i1; i < i2; ++i) {
            s.push_back({'B', GL_QUAD_STRIP, 0, 0});
            for (int j = j2; j >= j1; --j) s.push_back({'V', 0, i, j}), s.push_back({'V', 0, i + 1, j});
            s.push_back({'E', 0, 0, 0});
        }
    } else if (i1 <= i2) {
        for (int i = i1; i < i2; ++i)
            for (int j = j1; j <= j2; ++j) {
                s.push_back({'B', GL_LINE_STRIP, 0, 0});
                if (j < j2) s.push_back({'V', 0, i, j + 1});
                s.push_back({'V', 0, i, j});
                s.push_back({'V', 0, i + 1, j});
                s.push_back({'E', 0, 0, 0});
            }
        s.push_back({'B', GL_LINE_STRIP, 0, 0});
        for (int j = j2; j >= j1; --j) s.push_back({'V', 0, i2, j});
        s.push_back({'E', 0, 0, 0});
    }
    return s;
}

// Grid parameter i the way a grid spaces its points.
float gridAt(int i, int n, float a1, float a2) { return i == n ? a2 : float(i) * ((a2 - a1) / float(n)) + a1; }

// Calls alike; a vertex also with the attributes it carried.
bool sameIssued(const Issued &a, const Issued &b) {
    if (a.op != b.op || a.mode != b.mode) return false;
    if (a.op == 'B' || a.op == 'E') return true;
    return std::memcmp(a.v, b.v, sizeof(a.v)) == 0 &&
           std::memcmp(a.color, b.color, sizeof(a.color)) == 0 && std::memcmp(a.scaled, b.scaled, sizeof(a.scaled)) == 0 &&
           std::memcmp(a.normal, b.normal, sizeof(a.normal)) == 0 && std::memcmp(a.tex, b.tex, sizeof(a.tex)) == 0 &&
           a.index == b.index;
}

}  // namespace

class EvalMesh : public EvalTest {
protected:
    // Grid point (i, j) of a 4 x 4 grid over [0, 4] x [0, 4] lands exactly at x = i, y = j.
    void gridMaps() {
        const GLfloat line[] = {0, 0, 0, 4, 0, 0};
        const GLfloat plane[] = {0, 0, 0, 0, 4, 0, 4, 0, 0, 4, 4, 0};
        GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 4, 3, 2, line);
        GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 4, 6, 2, 0, 4, 3, 2, plane);
        GL(glEnable)(GL_MAP1_VERTEX_3);
        GL(glEnable)(GL_MAP2_VERTEX_3);
        GL(glMapGrid1f)(4, 0, 4);
        GL(glMapGrid2f)(4, 0, 4, 4, 0, 4);
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    }
    std::string mesh(const std::function<void()> &draw) {
        spy();
        draw();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        return streamOf(issued());
    }
};

TEST_F(EvalMesh, MeshesIssueTheirPrimitives) {
    gridMaps();
    struct Case {
        const char *what;
        std::function<void()> draw;
        const char *want;
    } cases[] = {
        {"1-D points", [&] { GL(glEvalMesh1)(GL_POINT, 1, 3); }, "P 1,0 2,0 3,0 E"},
        {"1-D line strip", [&] { GL(glEvalMesh1)(GL_LINE, 0, 4); }, "LS 0,0 1,0 2,0 3,0 4,0 E"},
        {"1-D beyond the grid", [&] { GL(glEvalMesh1)(GL_LINE, -1, 5); }, "LS -1,0 0,0 1,0 2,0 3,0 4,0 5,0 E"},
        {"2-D points, rows outside", [&] { GL(glEvalMesh2)(GL_POINT, 1, 2, 0, 1); }, "P 1,0 1,1 2,0 2,1 E"},
        {"2-D fill: a quad strip per row, down the columns", [&] { GL(glEvalMesh2)(GL_FILL, 0, 2, 1, 3); },
         "QS 0,3 1,3 0,2 1,2 0,1 1,1 E QS 1,3 2,3 1,2 2,2 1,1 2,1 E"},
        {"2-D fill of one row of points draws nothing", [&] { GL(glEvalMesh2)(GL_FILL, 2, 2, 0, 4); }, ""},
        {"2-D lines", [&] { GL(glEvalMesh2)(GL_LINE, 0, 1, 0, 1); }, "LS 0,1 0,0 1,0 E LS 0,1 1,1 E LS 1,1 1,0 E"},
        {"2-D lines of one row", [&] { GL(glEvalMesh2)(GL_LINE, 3, 3, 1, 2); }, "LS 3,2 3,1 E"},
        {"2-D lines of no rows draw nothing", [&] { GL(glEvalMesh2)(GL_LINE, 3, 2, 0, 2); }, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(mesh(c.draw), c.want);
    }
}

// The line mesh draws the segments of the grid lines of both directions, each once; the fill
// mesh's quads all face the same way.
TEST_F(EvalMesh, LineMeshCoversEveryGridSegmentOnceAndFillQuadsShareAFacing) {
    gridMaps();
    spy();
    GL(glEvalMesh2)(GL_LINE, 1, 4, 0, 3);
    std::multiset<std::pair<std::string, std::string>> got;
    std::string prev;
    for (const Issued &e : issued()) {
        if (e.op == 'B') prev.clear();
        if (e.op != '3') continue;
        std::string at = streamOf({e});
        if (!prev.empty()) got.insert(std::minmax(prev, at));
        prev = at;
    }
    std::multiset<std::pair<std::string, std::string>> want;
    auto name = [](int i, int j) { return std::to_string(i) + "," + std::to_string(j); };
    for (int i = 1; i <= 4; ++i)
        for (int j = 0; j < 3; ++j) want.insert(std::minmax(name(i, j), name(i, j + 1)));
    for (int j = 0; j <= 3; ++j)
        for (int i = 1; i < 4; ++i) want.insert(std::minmax(name(i, j), name(i + 1, j)));
    EXPECT_EQ(got, want);

    spy();
    GL(glEvalMesh2)(GL_FILL, 0, 4, 0, 4);
    std::vector<Issued> vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 40u);
    for (size_t row = 0; row < 4; ++row)
        for (size_t q = 0; q < 4; ++q) {
            // Quad q of a strip: vertices 2q, 2q + 1, 2q + 3, 2q + 2.
            const Issued *r = &vs[row * 10 + 2 * q];
            const Issued *quad[4] = {r, r + 1, r + 3, r + 2};
            double area = 0;
            for (int k = 0; k < 4; ++k) area += quad[k]->v[0] * quad[(k + 1) % 4]->v[1] - quad[(k + 1) % 4]->v[0] * quad[k]->v[1];
            EXPECT_LT(area, 0) << row << "," << q;
        }
}

// The row cache carries evaluated points from row to row and re-issues them: what the meshes
// issue equals evaluating every point where it is used, attributes included, for a mesh within
// the cache and one wider than it, in RGBA and colour-index mode.
TEST_F(EvalMesh, RowCacheIssuesWhatEvaluatingEveryPointWould) {
    const int uorder = 3, vorder = 4;
    std::vector<float> vertex = toFloats(controlPoints(size_t(uorder * vorder * 3), 11));
    std::vector<float> color = toFloats(controlPoints(size_t(uorder * vorder * 4), 12));
    std::vector<float> index = toFloats(controlPoints(size_t(uorder * vorder), 13));
    std::vector<float> tex = toFloats(controlPoints(size_t(uorder * vorder * 2), 14));
    std::vector<float> normal = toFloats(controlPoints(size_t(uorder * vorder * 3), 15));
    GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 3 * vorder, uorder, 0, 1, 3, vorder, vertex.data());
    GL(glMap2f)(GL_MAP2_COLOR_4, 0, 1, 4 * vorder, uorder, 0, 1, 4, vorder, color.data());
    GL(glMap2f)(GL_MAP2_INDEX, 0, 1, vorder, uorder, 0, 1, 1, vorder, index.data());
    GL(glMap2f)(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2 * vorder, uorder, 0, 1, 2, vorder, tex.data());
    GL(glMap2f)(GL_MAP2_NORMAL, 0, 1, 3 * vorder, uorder, 0, 1, 3, vorder, normal.data());
    for (GLenum m : {GL_MAP2_VERTEX_3, GL_MAP2_COLOR_4, GL_MAP2_INDEX, GL_MAP2_TEXTURE_COORD_2, GL_MAP2_NORMAL}) GL(glEnable)(m);
    struct Case {
        GLenum mode;
        int columns;
        bool rgba, autoNormal;
    } cases[] = {
        {GL_FILL, 6, true, false},     {GL_LINE, 6, true, true},      {GL_FILL, 6, false, true},
        {GL_LINE, 6, false, false},    {GL_FILL, 1030, true, false},  {GL_LINE, 1030, true, true},
        {GL_FILL, 1030, false, true},  {GL_POINT, 1030, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " columns " + std::to_string(c.columns) + (c.rgba ? " rgba" : " index") +
                     (c.autoNormal ? " auto normal" : ""));
        const int un = 3, vn = c.columns - 1;
        GL(glMapGrid2f)(un, 0.25f, 0.75f, vn, -0.1f, 1.1f);
        able(GL_AUTO_NORMAL, c.autoNormal);
        ctx->visual.rgbaMode = c.rgba ? 1 : 0;
        spy();
        GL(glEvalMesh2)(c.mode, 0, un, 0, vn);
        const std::vector<Issued> meshed = issued();
        spy();
        for (const Step &s : meshOrder(c.mode, 0, un, 0, vn)) {
            if (s.op == 'B') GL(glBegin)(s.mode);
            else if (s.op == 'E') GL(glEnd)();
            else GL(glEvalCoord2f)(gridAt(s.i, un, 0.25f, 0.75f), gridAt(s.j, vn, -0.1f, 1.1f));
        }
        ctx->visual.rgbaMode = 1;
        const std::vector<Issued> &direct = issued();
        ASSERT_EQ(meshed.size(), direct.size());
        for (size_t n = 0; n < direct.size(); ++n) ASSERT_TRUE(sameIssued(meshed[n], direct[n])) << "call " << n;
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// glEvalPoint and the meshes reach the domain's end exactly at the last grid point, whatever
// the rounding of the step; the grid steps from u1 elsewhere, also beyond the grid.
TEST_F(EvalMesh, LastGridPointIsExactlyTheDomainEnd) {
    const GLfloat line[] = {0.1f, 0, 0, 0.7f, 1, 0};
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0.1f, 0.7f, 3, 2, line);
    GL(glEnable)(GL_MAP1_VERTEX_3);
    const GLfloat plane[] = {0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 1, 0};
    GL(glMap2f)(GL_MAP2_VERTEX_3, 0.1f, 0.7f, 6, 2, 0.3f, 0.9f, 3, 2, plane);
    GL(glEnable)(GL_MAP2_VERTEX_3);
    GL(glMapGrid1d)(3, 0.1, 0.7);
    GL(glMapGrid2d)(3, 0.1, 0.7, 7, 0.3, 0.9);
    spy();
    GL(glEvalMesh1)(GL_LINE, 0, 3);
    GL(glEvalPoint1)(3);
    GL(glEvalPoint1)(1);
    GL(glEvalPoint1)(-2);
    GL(glEvalPoint2)(3, 7);
    GL(glEvalMesh2)(GL_POINT, 3, 3, 7, 7);
    std::vector<Issued> vs = verticesOf(issued());
    ASSERT_EQ(vs.size(), 9u);
    EXPECT_EQ(vs[3].v[1], 1.0f);  // t exactly 1: the last control point
    EXPECT_EQ(vs[4].v[1], 1.0f);
    const float step = (0.7f - 0.1f) / 3.0f;
    EXPECT_NEAR(vs[5].v[0], 1.0f * step + 0.1f, 1e-6);
    EXPECT_NEAR(vs[6].v[0], -2.0f * step + 0.1f, 1e-6);
    EXPECT_NEAR(vs[6].v[1], -2.0f / 3.0f, 1e-5);
    for (size_t n : {size_t(7), size_t(8)}) {
        EXPECT_EQ(vs[n].v[0], 1.0f);
        EXPECT_EQ(vs[n].v[1], 1.0f);
    }
}

// Inside glBegin/glEnd a mesh is an error; a bad mode is an error; pending validation runs
// before the mesh. None of them touches the current attributes.
TEST_F(EvalMesh, MeshErrorsAndPendingValidation) {
    gridMaps();
    GL(glColor4f)(0.5f, 0.5f, 0.5f, 0.5f);
    const GLfloat color[] = {0, 1, 0, 1};
    GL(glMap2f)(GL_MAP2_COLOR_4, 0, 1, 4, 1, 0, 1, 4, 1, color);
    GL(glEnable)(GL_MAP2_COLOR_4);
    const GlCurrentState before = ctx->current;
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"1-D fill", [&] { GL(glEvalMesh1)(GL_FILL, 0, 1); }, GL_INVALID_ENUM},
        {"1-D mode below", [&] { GL(glEvalMesh1)(GL_POINT - 1, 0, 1); }, GL_INVALID_ENUM},
        {"2-D mode above", [&] { GL(glEvalMesh2)(GL_FILL + 1, 0, 1, 0, 1); }, GL_INVALID_ENUM},
        {"inside glBegin/glEnd",
         [&] {
             ctx->beginMode = kGlInsideBegin;
             GL(glEvalMesh1)(GL_POINT, 0, 1);
             GL(glEvalMesh2)(GL_FILL + 1, 0, 1, 0, 1);
             ctx->beginMode = kGlOutsideBegin;
         },
         GL_INVALID_OPERATION},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        spy();
        c.call();
        EXPECT_EQ(error(), c.want);
        EXPECT_TRUE(issued().empty());
    }
    static int validations;
    validations = 0;
    ctx->slots.validate = [](GlContext *) { ++validations; };
    for (GLenum mode : {GL_POINT, GL_LINE, GL_FILL}) {
        ctx->beginMode = kGlNeedValidate;
        spy();
        GL(glEvalMesh2)(mode, 0, 1, 0, 1);
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
        EXPECT_FALSE(issued().empty());
        EXPECT_EQ(issued()[1].color[1], 1.0f);  // the first vertex had the evaluated colour
    }
    EXPECT_EQ(validations, 3);
    EXPECT_EQ(std::memcmp(&ctx->current, &before, sizeof(before)), 0);
}

// Display lists replay the evaluator commands through the executed table: a list issues what the
// immediate commands issue.
TEST_F(EvalMesh, ListsReplayTheEvaluatorCommands) {
    gridMaps();
    auto draw = [&] {
        GL(glEvalMesh2)(GL_FILL, 0, 2, 1, 2);
        GL(glEvalMesh1)(GL_POINT, 0, 2);
        GL(glBegin)(GL_LINE_STRIP);
        GL(glEvalCoord2f)(1.5f, 0.5f);
        GL(glEvalCoord1d)(3.0);
        GL(glEvalPoint2)(4, 4);
        GL(glEvalPoint1)(1);
        GL(glEnd)();
    };
    const std::string immediate = mesh(draw);
    ASSERT_NE(immediate, "");
    GL(glNewList)(5, GL_COMPILE);
    draw();
    GL(glEndList)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(mesh([&] { GL(glCallList)(5); }), immediate);
}

// Evaluated vertices go down the real vertex pipeline: in GL_FEEDBACK a line mesh gives its
// segments with the evaluated colours, and glEvalCoord inside glBegin(GL_POINTS) gives points.
class EvalFeedback : public FeedbackTest {};

TEST_F(EvalFeedback, EvaluatedVerticesReachTheRenderProcs) {
    const GLfloat line[] = {10, 20, 0, 110, 60, 0};
    const GLfloat color[] = {1, 0, 0, 1, 0, 0, 1, 0.5f};
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 1, 3, 2, line);
    GL(glMap1f)(GL_MAP1_COLOR_4, 0, 1, 4, 2, color);
    GL(glEnable)(GL_MAP1_VERTEX_3);
    GL(glEnable)(GL_MAP1_COLOR_4);
    GL(glMapGrid1f)(2, 0, 1);
    GL(glColor4f)(0, 1, 0, 1);
    std::vector<float> got = feedback(GL_3D_COLOR, [&] {
        GL(glEvalMesh1)(GL_LINE, 0, 2);
        GL(glBegin)(GL_POINTS);
        GL(glEvalCoord1f)(1.0f);
        GL(glEnd)();
        GL(glBegin)(GL_POINTS);
        GL(glVertex2f)(5, 5);  // the current colour is back
        GL(glEnd)();
    });
    const float R = float(GL_LINE_RESET_TOKEN), L = float(GL_LINE_TOKEN), P = float(GL_POINT_TOKEN);
    expectStream(got, {R, 10, 20, 0, 1, 0, 0, 1,  60, 40, 0, 0.5f, 0, 0.5f, 0.75f,
                       L, 60, 40, 0, 0.5f, 0, 0.5f, 0.75f,  110, 60, 0, 0, 0, 1, 0.5f,
                       P, 110, 60, 0, 0, 0, 1, 0.5f,
                       P, 5, 5, 0, 0, 1, 0, 1});
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}
