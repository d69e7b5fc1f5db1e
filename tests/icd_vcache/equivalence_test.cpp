// The vertex cache draws what immediate mode draws: the same program through the live table with
// the cache off and on reaches the render procs with the same primitives (vertices, edge flags,
// provoking vertex), and the same pixels reach a memory drawable.
#include <algorithm>
#include "tests/icd_vcache/vcache_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {
std::vector<std::string> &drawn() {
    static std::vector<std::string> log;
    return log;
}
GlContext *spyContext;

// A triangle as a rotation starting at its smallest vertex, with each edge's flag (the flag of
// the edge's first vertex) and the provoking vertex.
std::string triangle(GlVertex *a, GlVertex *b, GlVertex *c) {
    GlVertex *v[3] = {a, b, c};
    int first = 0;
    for (int i = 1; i < 3; ++i)
        if (vertexId(v[i]) < vertexId(v[first])) first = i;
    std::string ids, flags;
    for (int i = 0; i < 3; ++i) {
        GlVertex *r = v[(first + i) % 3];
        ids += (i ? "," : "") + std::to_string(vertexId(r));
        flags += r->edgeFlag ? '1' : '0';
    }
    return "T(" + ids + "|" + flags + ")p" + std::to_string(vertexId(spyContext->arrays.vertexBuffer.provokingVertex));
}
void spyTriangle(GlContext *, GlVertex *a, GlVertex *b, GlVertex *c) { drawn().push_back(triangle(a, b, c)); }
void spyClipTriangle(GlContext *, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t) {
    drawn().push_back("C" + triangle(a, b, c));
}
void spyLine(GlContext *, GlVertex *a, GlVertex *b) {
    drawn().push_back("L(" + std::to_string(vertexId(a)) + "," + std::to_string(vertexId(b)) + ")");
}
void spyPoint(GlContext *, GlVertex *v) { drawn().push_back("P(" + std::to_string(vertexId(v)) + ")"); }
void spyClipPolygon(GlContext *, GlVertex **, int32_t n, uint32_t) { drawn().push_back("CP" + std::to_string(n)); }

// One step of a program: a vertex n (x = n / 100) or an edge-flag call.
struct Step {
    int vertex;
    GLboolean flag = 1;
};
std::vector<Step> run(int from, int to) {
    std::vector<Step> s;
    for (int i = from; i <= to; ++i) s.push_back({i});
    return s;
}
}  // namespace

class VcacheEquivalenceTest : public VcacheTest {
protected:
    // The primitives the program draws, sorted: the order of the batches is not the immediate
    // order for split polygons and loops.
    std::vector<std::string> record(bool cache, GLenum mode, const std::vector<Step> &steps) {
        useCache(cache);
        GlPrimitiveProcs &p = ctx->slots.primitive;
        p.renderTriangle = spyTriangle;
        p.clipTriangle = spyClipTriangle;
        p.renderLine = p.clipLine = spyLine;
        p.renderPoint = spyPoint;
        p.clipPolygon = spyClipPolygon;
        p.renderPolygon = __glClipDrawPolygonRun;  // the immediate polygon as its fan of triangles
        ctx->state.clip.polygonProc = nullptr;
        spyContext = ctx;
        drawn().clear();
        GL(glBegin)(mode);
        int y = 0;
        for (const Step &s : steps) {
            if (s.vertex == 0) {
                GL(glEdgeFlag)(s.flag);
            } else {
                // A zigzag inside the frustum; vertex n at x = n / 100.
                GL(glVertex2f)(float(s.vertex) / 100.0f, (y++ % 2) ? 0.5f : -0.5f);
            }
        }
        GL(glEnd)();
        GL(glEdgeFlag)(GL_TRUE);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        std::vector<std::string> d = drawn();
        std::sort(d.begin(), d.end());
        return d;
    }
};

TEST_F(VcacheEquivalenceTest, SamePrimitivesAsImmediateMode) {
    std::vector<Step> edgy;  // edge flags changing along the way, also around the batch ends
    for (int i = 1; i <= 90; ++i) {
        if (i % 7 == 0 || i == 36 || i == 37) edgy.push_back({0, GLboolean(i % 2)});
        edgy.push_back({i});
    }
    struct Case {
        const char *what;
        GLenum mode;
        std::vector<Step> steps;
        size_t primitives;
    } cases[] = {
        {"points", GL_POINTS, run(1, 80), 80},
        {"lines", GL_LINES, run(1, 81), 40},
        {"line strip across batches", GL_LINE_STRIP, run(1, 100), 99},
        {"line loop across batches", GL_LINE_LOOP, run(1, 100), 100},
        {"line loop of two", GL_LINE_LOOP, run(1, 2), 2},
        {"triangles with edge flags", GL_TRIANGLES, edgy, 30},
        {"triangle strip of 100", GL_TRIANGLE_STRIP, run(1, 100), 98},
        {"triangle strip of 71", GL_TRIANGLE_STRIP, run(1, 71), 69},
        {"fan across batches", GL_TRIANGLE_FAN, run(1, 100), 98},
        {"quads with edge flags", GL_QUADS, edgy, 44},
        {"quad strip across batches", GL_QUAD_STRIP, run(1, 100), 98},
        {"polygon across batches", GL_POLYGON, run(1, 100), 98},
        {"polygon with edge flags", GL_POLYGON, edgy, 88},
        {"polygon of 37", GL_POLYGON, run(1, 37), 35},
    };
    for (const Case &c : cases) {
        const std::vector<std::string> immediate = record(false, c.mode, c.steps);
        const std::vector<std::string> cached = record(true, c.mode, c.steps);
        EXPECT_EQ(immediate.size(), c.primitives) << c.what;
        EXPECT_EQ(cached, immediate) << c.what;
    }
}

// The vertex path of the cache: clip codes, window coordinates and the colour reach the render
// procs as immediate mode computes them, for any mix of vertex sizes in one batch.
TEST_F(VcacheEquivalenceTest, TransformedRecordsMatchImmediateMode) {
    static std::vector<GlVertex> seen;
    auto capture = [&](bool cache) {
        useCache(cache);
        ctx->slots.primitive.renderPoint = [](GlContext *, GlVertex *v) { seen.push_back(*v); };
        seen.clear();
        GL(glColor3f)(0.25f, 0.5f, 1.0f);
        GL(glBegin)(GL_POINTS);
        for (int i = 0; i < 40; ++i) {
            const float v[4] = {-0.9f + 0.045f * float(i), 0.3f, -0.25f, 1.0f};
            if (i % 3 == 0) {
                GL(glVertex2fv)(v);
            } else if (i % 3 == 1) {
                GL(glVertex3fv)(v);
            } else {
                GL(glVertex4fv)(v);
            }
        }
        GL(glEnd)();
        return seen;
    };
    const std::vector<GlVertex> immediate = capture(false);
    const std::vector<GlVertex> cached = capture(true);
    ASSERT_EQ(immediate.size(), 40u);
    ASSERT_EQ(cached.size(), 40u);
    for (size_t i = 0; i < 40; ++i) {
        for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(cached[i].clip[k], immediate[i].clip[k]) << i;
        for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(cached[i].window[k], immediate[i].window[k]) << i;
        EXPECT_EQ(cached[i].flags & kGlVertexClipMask, immediate[i].flags & kGlVertexClipMask) << i;
        EXPECT_NE(cached[i].flags & kGlVertexWindowDone, 0u) << i;
        for (int k = 0; k < 4; ++k) EXPECT_EQ(cached[i].color[k], immediate[i].color[k]) << i;
    }
}

// A strip of 100 vertices zigzagging over a memory drawable leaves the same pixels with the
// cache as without it.
class VcachePixelTest : public VcacheTest {
protected:
    static constexpr int kWidth = 48, kHeight = 16;
    PlainMemory memory;

    void SetUp() override {
        VcacheTest::SetUp();
        if (HasFatalFailure()) return;
        attachPlainRgb32Front(ctx, memory, kWidth, kHeight);
        GL(glDrawBuffer)(GL_FRONT);
        windowProjection(ctx, kWidth, kHeight);
        GL(glShadeModel)(GL_SMOOTH);
    }
    std::vector<uint8_t> drawStrip(bool cache) {
        std::fill(memory.bytes.begin(), memory.bytes.end(), 0);
        ctx->vertexCache.vcacheOn = cache;
        ctx->dirtyMask |= kGlDirtyGeneral;
        ctx->beginMode = kGlNeedValidate;
        GL(glBegin)(GL_TRIANGLE_STRIP);
        for (int i = 0; i < 100; ++i) {
            GL(glColor3f)(float(i % 5) / 4.0f, float(i % 3) / 2.0f, 1.0f - float(i) / 100.0f);
            GL(glVertex2f)(float(i) * 0.47f, (i % 2) ? 15.0f : 1.0f);
        }
        GL(glEnd)();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        return memory.bytes;
    }
};

TEST_F(VcachePixelTest, StripPixelsMatchImmediateMode) {
    const std::vector<uint8_t> immediate = drawStrip(false);
    EXPECT_EQ(ctx->liveTable.slot[slot::glBegin], reinterpret_cast<GlEntry>(&icd::glBegin));
    const std::vector<uint8_t> cached = drawStrip(true);
    EXPECT_EQ(ctx->liveTable.slot[slot::glBegin], reinterpret_cast<GlEntry>(&icd::__glVcacheBegin));
    int lit = 0;
    for (uint8_t b : immediate) lit += b != 0;
    EXPECT_GT(lit, kWidth * kHeight);  // most of the drawable is covered
    EXPECT_TRUE(cached == immediate);
}
