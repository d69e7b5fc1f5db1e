// glBegin/glEnd as a program drives them: for every mode a sequence of vertices and edge flags
// and the primitives the render and clip procs receive (vertex order, edge flags at the time of
// the call, provoking vertex), incomplete primitives, the polygon split, the errors, the
// pending-vertex procs and the lazy complete-vertex procs.
#include <cmath>
#include <functional>
#include <string>
#include "tests/icd_immediate/immediate_fixture.h"

namespace {
// A vertex's identity: its object x times 100 (the tests place vertex n at x = n / 100).
int idOf(const GlVertex *v) { return int(std::lround(v->obj[0] * 100.0f)); }

std::string ids(std::initializer_list<const GlVertex *> vs, bool withFlags) {
    std::string s = "(";
    for (const GlVertex *v : vs) s += (s.size() > 1 ? "," : "") + std::to_string(idOf(v));
    if (withFlags) {
        s += "|";
        for (const GlVertex *v : vs) s += v->edgeFlag ? "1" : "0";
    }
    return s + ")";
}

std::vector<std::string> &drawn() {
    static std::vector<std::string> log;
    return log;
}
GlContext *spyContext;
std::string provoking() { return "p" + std::to_string(idOf(spyContext->arrays.vertexBuffer.provokingVertex)); }

void spyPoint(GlContext *, GlVertex *v) { drawn().push_back("Pt" + ids({v}, false)); }
void spyLine(GlContext *, GlVertex *a, GlVertex *b) { drawn().push_back("L" + ids({a, b}, false)); }
void spyClipLine(GlContext *, GlVertex *a, GlVertex *b) { drawn().push_back("CL" + ids({a, b}, false)); }
void spyTriangle(GlContext *, GlVertex *a, GlVertex *b, GlVertex *c) {
    drawn().push_back("T" + ids({a, b, c}, true) + provoking());
}
void spyClipTriangle(GlContext *, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t) {
    drawn().push_back("CT" + ids({a, b, c}, true));
}
void spyPolygon(GlContext *, GlVertex *first, int32_t n) {
    std::string s = "P(", f;
    for (int i = 0; i < n; ++i) {
        s += (i ? "," : "") + std::to_string(idOf(first + i));
        f += first[i].edgeFlag ? "1" : "0";
    }
    drawn().push_back(s + "|" + f + ")");
}
void spyClipPolygon(GlContext *, GlVertex **list, int32_t n, uint32_t) {
    std::string s = "CP(";
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + std::to_string(idOf(list[i]));
    drawn().push_back(s + ")");
}

// One step of a program: a vertex (n, optionally beyond the far plane) or an edge flag.
struct Step {
    int vertex;         // 0: an edge-flag call
    bool out = false;   // beyond the far plane
    GLboolean flag = 1;
};
Step V(int n) { return {n}; }
Step Out(int n) { return {n, true}; }
Step Edge(GLboolean f) { return {0, false, f}; }
std::vector<Step> run(int from, int to) {
    std::vector<Step> s;
    for (int i = from; i <= to; ++i) s.push_back(V(i));
    return s;
}
}  // namespace

class PrimitiveTest : public ImmediateTest {
protected:
    void SetUp() override {
        ImmediateTest::SetUp();
        ctx->slots.validate = [](GlContext *) {};
        GlPrimitiveProcs &p = ctx->slots.primitive;
        p.renderPoint = spyPoint;
        p.renderLine = spyLine;
        p.clipLine = spyClipLine;
        p.renderTriangle = spyTriangle;
        p.clipTriangle = spyClipTriangle;
        p.renderPolygon = spyPolygon;
        p.clipPolygon = spyClipPolygon;
        spyContext = ctx;
        drawn().clear();
    }
    void play(GLenum mode, const std::vector<Step> &steps) {
        GL(glBegin)(mode);
        for (const Step &s : steps) {
            if (s.vertex == 0) GL(glEdgeFlag)(s.flag);
            else GL(glVertex3f)(float(s.vertex) / 100.0f, 0.5f, s.out ? 2.0f : 0.0f);
        }
        GL(glEnd)();
        GL(glEdgeFlag)(1);
    }
};

TEST_F(PrimitiveTest, EveryModeAssemblesItsPrimitives) {
    using S = std::vector<std::string>;
    struct Case {
        const char *what;
        GLenum mode;
        std::vector<Step> steps;
        S want;
    } cases[] = {
        {"points, a clipped one dropped", GL_POINTS, {V(1), Out(2), V(3)}, {"Pt(1)", "Pt(3)"}},
        {"lines, a lone vertex dropped", GL_LINES, run(1, 5), {"CL(1,2)", "CL(3,4)"}},
        {"line strip", GL_LINE_STRIP, {V(1), V(2), Out(3), V(4)}, {"L(1,2)", "CL(2,3)", "CL(3,4)"}},
        {"line strip of one", GL_LINE_STRIP, {V(1)}, {}},
        {"line loop of one", GL_LINE_LOOP, {V(1)}, {}},
        {"line loop of two: the segment twice", GL_LINE_LOOP, run(1, 2), {"CL(1,2)", "CL(2,1)"}},
        {"line loop", GL_LINE_LOOP, run(1, 4), {"CL(1,2)", "L(2,3)", "L(3,4)", "CL(4,1)"}},
        {"triangles, two dropped", GL_TRIANGLES, run(1, 5), {"T(3,1,2|111)p3"}},
        {"triangles with edge flags", GL_TRIANGLES, {V(1), Edge(0), V(2), Edge(1), V(3), V(4), V(5), Edge(0), V(6)},
         {"T(3,1,2|110)p3", "T(6,4,5|011)p6"}},
        {"triangle all beyond one plane", GL_TRIANGLES, {Out(1), Out(2), Out(3)}, {}},
        {"triangle crossing", GL_TRIANGLES, {V(1), Out(2), V(3)}, {"CT(3,1,2|111)"}},
        {"strip keeps the first winding", GL_TRIANGLE_STRIP, run(1, 5),
         {"T(3,1,2|111)p3", "T(4,3,2|111)p4", "T(5,3,4|111)p5"}},
        {"strip ignores edge flags", GL_TRIANGLE_STRIP, {Edge(0), V(1), V(2), V(3)}, {"T(3,1,2|111)p3"}},
        {"strip of two", GL_TRIANGLE_STRIP, run(1, 2), {}},
        {"fan", GL_TRIANGLE_FAN, run(1, 4), {"T(3,1,2|111)p3", "T(4,1,3|111)p4"}},
        {"fan crossing", GL_TRIANGLE_FAN, {V(1), V(2), V(3), Out(4)}, {"T(3,1,2|111)p3", "CT(4,1,3|111)"}},
        {"quads hide the diagonal", GL_QUADS, run(1, 7), {"T(4,1,2|110)p4", "T(4,2,3|011)p4"}},
        {"quad crossing", GL_QUADS, {V(1), V(2), Out(3), V(4)}, {"CP(1,2,3,4)"}},
        {"quad strip", GL_QUAD_STRIP, run(1, 6),
         {"T(3,1,2|110)p4", "T(3,2,4|011)p4", "T(5,3,4|110)p6", "T(5,4,6|011)p6"}},
        {"quad strip of five: one quad", GL_QUAD_STRIP, run(1, 5), {"T(3,1,2|110)p4", "T(3,2,4|011)p4"}},
        {"quad strip crossing", GL_QUAD_STRIP, {V(1), V(2), V(3), Out(4), V(5), V(6)}, {"CP(1,2,4,3)", "CP(3,4,6,5)"}},
        {"polygon", GL_POLYGON, {V(1), Edge(0), V(2), Edge(1), V(3), V(4)}, {"P(1,2,3,4|1011)"}},
        {"polygon of two", GL_POLYGON, run(1, 2), {}},
        {"polygon of 20 split at the ring's end", GL_POLYGON, run(1, 20),
         {"P(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15|111111111111110)", "P(1,15,16,17,18,19,20|0111111)"}},
        {"polygon of 16: the carried part is one triangle", GL_POLYGON, run(1, 16),
         {"P(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15|111111111111110)", "P(1,15,16|011)"}},
        {"polygon of 30: two splits", GL_POLYGON, run(1, 30),
         {"P(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15|111111111111110)",
          "P(1,15,16,17,18,19,20,21,22,23,24,25,26,27,28|011111111111110)", "P(1,28,29,30|0111)"}},
        {"no vertices", GL_TRIANGLES, {}, {}},
    };
    for (const Case &c : cases) {
        drawn().clear();
        play(c.mode, c.steps);
        EXPECT_EQ(drawn(), c.want) << c.what;
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR)) << c.what;
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin) << c.what;
        // outside the primitive the vertex is transformed and ignored
        GL(glVertex2f)(0.01f, 0.0f);
        EXPECT_EQ(drawn(), c.want) << c.what;
    }
}

// Many quads in a strip rotate through records 0-3 only, and every quad's two triangles face
// the same way as the quad.
TEST_F(PrimitiveTest, QuadStripHalvesShareTheQuadsWinding) {
    static std::vector<float> areas;
    areas.clear();
    ctx->slots.primitive.renderTriangle = [](GlContext *c, GlVertex *a, GlVertex *b, GlVertex *d) {
        areas.push_back((b->window[0] - a->window[0]) * (d->window[1] - a->window[1]) -
                        (d->window[0] - a->window[0]) * (b->window[1] - a->window[1]));
        GlVertex *ring = __glVertexRing(c);
        for (GlVertex *v : {a, b, d}) EXPECT_LT(v - ring, 4);
    };
    GL(glBegin)(GL_QUAD_STRIP);
    for (int i = 0; i < 24; ++i) GL(glVertex2f)(0.5f * float(i % 2), -0.9f + 0.07f * float(i / 2));
    GL(glEnd)();
    ASSERT_EQ(areas.size(), 22u);
    for (float a : areas) EXPECT_GT(a * areas[0], 0.0f);
}

TEST_F(PrimitiveTest, BeginAndEndErrors) {
    GL(glBegin)(10);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    GL(glEnd)();
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));

    GL(glBegin)(GL_TRIANGLES);
    GL(glBegin)(GL_POINTS);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->beginMode, kGlInsideBegin);
    for (int i = 1; i <= 3; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.0f);
    EXPECT_EQ(drawn(), std::vector<std::string>{"T(3,1,2|111)p3"});  // still triangles

    // A state change inside the primitive is validated before the next command needing it.
    ctx->dirtyMask = kGlDirtyGeneral;
    GL(glEnd)();
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    static int validations;
    validations = 0;
    ctx->slots.validate = [](GlContext *c) {
        ++validations;
        c->dirtyMask = 0;
    };
    GL(glBegin)(GL_POINTS);
    EXPECT_EQ(validations, 1);
    EXPECT_EQ(ctx->beginMode, kGlInsideBegin);
    GL(glVertex2f)(0.07f, 0.0f);
    GL(glEnd)();
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    EXPECT_EQ(drawn().back(), "Pt(7)");
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));

    // glBegin with a bad mode after pending validation: validated, then the error.
    ctx->beginMode = kGlNeedValidate;
    GL(glBegin)(GL_POLYGON + 1);
    EXPECT_EQ(validations, 2);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
}

// The pending-vertex proc names exactly the vertices the open primitive holds.
TEST_F(PrimitiveTest, PendingVertexProcsCompleteTheHeldVertices) {
    static std::vector<int> completed;
    static uint32_t needSeen;
    ctx->state.need.needMaskPending = 0x13;
    for (GlCompleteVertexProc &p : ctx->slots.primitive.completeVertex)
        p = [](GlContext *, GlVertex *v, uint32_t need) {
            completed.push_back(idOf(v));
            needSeen = need;
        };
    struct Case {
        GLenum mode;
        int vertices;
        std::vector<int> want;
    } cases[] = {
        {GL_TRIANGLES, 2, {1, 2}},  {GL_TRIANGLES, 3, {}},        {GL_LINES, 1, {1}},
        {GL_LINE_STRIP, 3, {3}},    {GL_LINE_LOOP, 3, {1, 3}},    {GL_TRIANGLE_STRIP, 4, {4, 3}},
        {GL_TRIANGLE_FAN, 4, {1, 4}}, {GL_QUAD_STRIP, 3, {3, 2, 1}}, {GL_QUAD_STRIP, 4, {4, 3}},
        {GL_POLYGON, 5, {1, 2, 3, 4, 5}}, {GL_POINTS, 2, {}},
    };
    for (const Case &c : cases) {
        GL(glBegin)(c.mode);
        for (int i = 1; i <= c.vertices; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.0f);
        completed.clear();
        ctx->slots.completePending(ctx);
        EXPECT_EQ(completed, c.want) << c.mode << " with " << c.vertices;
        if (!completed.empty()) {
            EXPECT_EQ(needSeen, 0x13u);
        }
        GL(glEnd)();
    }
}

// Points and the first vertex of a line strip are completed with the front need mask when the
// picked handlers are the completing ones; a clipped point is dropped before lighting.
TEST_F(PrimitiveTest, CompletingHandlersForPointsAndStrips) {
    static std::vector<std::string> completed;
    completed.clear();
    for (GlCompleteVertexProc &p : ctx->slots.primitive.completeVertex)
        p = [](GlContext *, GlVertex *v, uint32_t need) {
            completed.push_back(std::to_string(idOf(v)) + ":" + std::to_string(need));
        };
    ctx->state.need.needMaskFront = 0x10;
    ctx->slots.primitive.pointsVertex = __glPrimPointsVertexComplete;
    ctx->slots.primitive.stripNextVertex = __glLineStripVertexComplete;
    play(GL_POINTS, {V(1), Out(2)});
    EXPECT_EQ(completed, (std::vector<std::string>{"1:17"}));
    completed.clear();
    play(GL_LINE_STRIP, {V(1), V(2), Out(3), Out(4)});
    EXPECT_EQ(completed, (std::vector<std::string>{"1:16", "2:16"}));
    EXPECT_EQ(drawn(), (std::vector<std::string>{"Pt(1)", "L(1,2)", "CL(2,3)"}));
}
