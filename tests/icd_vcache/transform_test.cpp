// How a batch is transformed: the generic transform over the cached records (cull-vertex test,
// records already clipped or culled left alone, done bits kept), the lazy generated transform
// taking its place after the first batch, and records completed inside the primitive by a
// material change drawn with the material they were given.
#include <cstdio>
#include <algorithm>
#include "tests/icd_vcache/vcache_fixture.h"

namespace {
std::vector<std::string> &drawn() {
    static std::vector<std::string> log;
    return log;
}
int updates = 0;
void countUpdate(GlContext *, GlTransform *entry) {
    ++updates;
    entry->inverseStale = 0;
}
}  // namespace

class VcacheTransformTest : public VcacheTest {};

// The cull-vertex test of the state applies to cached vertices: validation of the array procs
// at glBegin gives the batch its cull words.
TEST_F(VcacheTransformTest, CullVertexDropsBackFacingVertices) {
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    GL(glCullFace)(GL_BACK);
    GL(glBegin)(GL_POINTS);  // validates
    GL(glEnd)();
    ctx->slots.primitive.renderPoint = [](GlContext *, GlVertex *v) {
        drawn().push_back(std::to_string(vertexId(v)));
    };
    drawn().clear();
    GL(glBegin)(GL_POINTS);
    for (int i = 1; i <= 40; ++i) {
        GL(glNormal3f)(0.0f, 0.0f, i % 2 ? 1.0f : -1.0f);  // odd ones face the viewer
        GL(glVertex3f)(float(i) / 100.0f, 0.0f, 0.0f);
    }
    GL(glEnd)();
    std::vector<std::string> want;
    for (int i = 1; i <= 40; i += 2) want.push_back(std::to_string(i));
    EXPECT_EQ(drawn(), want);
    EXPECT_EQ(ctx->vertexCache.vcacheCopyAttributes, __glVcacheCopyNormalColor);
    GL(glDisable)(GL_CULL_VERTEX_EXT);
}

// The first batch of a size asks the code generator for its routine and keeps it; the flush
// gives the array state its own transform back.
TEST_F(VcacheTransformTest, LazyTransformIsReplacedByTheGeneratedOne) {
    GlVertexCache &vc = ctx->vertexCache;
    ASSERT_EQ(vc.ogVertexCacheProcs[1], __glVcacheGenXform3);
    const GlRangeTransformProc own = ctx->arrayState.rangeTransform;
    draw(GL_TRIANGLES, 3);
    EXPECT_NE(vc.ogVertexCacheProcs[1], __glVcacheGenXform3);
    EXPECT_NE(vc.ogVertexCacheProcs[1], nullptr);
    EXPECT_EQ(vc.ogVertexCacheProcs[0], __glVcacheGenXform2);
    EXPECT_EQ(ctx->arrayState.rangeTransform, own);
    // The generated routine transformed the records.
    EXPECT_NE(block[0].flags & kGlVertexWindowDone, 0u);
    EXPECT_FLOAT_EQ(block[2].clip[0], 0.03f);
}

// The generic transform: records already clipped or culled are not transformed, the others get
// clip coordinates and out-codes, every record keeps its done bits, and a stale modelview
// inverse is brought up to date first.
TEST_F(VcacheTransformTest, GenericTransformOverCachedRecords) {
    GlArrayState &as = ctx->arrayState;
    GlTransform *top = ctx->state.transform.modelView;
    const GlMatrix *mvp = &top->mvp;
    as.rangeTransformPoint = mvp->xform3;
    as.rangeClipCheck = ctx->slots.primitive.clipCheck[1];
    as.cacheBase = block.data();
    const uint32_t flagsBefore = as.arrayFlags;
    as.arrayFlags &= ~uint32_t(kGlArrayCullVertex);
    const float obj[4][3] = {{0.5f, 0.5f, 0.0f}, {2.0f, 0.0f, 0.0f}, {0.1f, 0.1f, 0.1f}, {0.2f, 0.2f, 0.2f}};
    for (int i = 0; i < 4; ++i) {
        GlVertex &r = block[i];
        for (int k = 0; k < 3; ++k) r.obj[k] = obj[i][k];
        r.obj[3] = 1.0f;
        r.flags = kGlVertexSize3 | kGlVertexNormalDone;
        for (float &c : r.clip) c = 99.0f;
    }
    block[2].flags |= kGlVertexCulled;
    block[3].flags |= kGlClipUser0;
    GlProc savedUpdate = ctx->slots.updateModelViewInverse;
    ctx->slots.updateModelViewInverse = reinterpret_cast<GlProc>(reinterpret_cast<void (*)(void)>(countUpdate));
    top->inverseStale = 1;
    updates = 0;
    __glCullTransformVertexRange(ctx, 0, 12345, 4);
    EXPECT_EQ(updates, 1);
    EXPECT_FLOAT_EQ(block[0].clip[0], 0.5f);
    EXPECT_EQ(block[0].flags & kGlVertexClipMask, 0u);
    EXPECT_NE(block[0].flags & kGlVertexWindowDone, 0u);
    EXPECT_EQ(block[1].flags & kGlVertexClipMask, uint32_t(kGlClipRight));
    EXPECT_EQ(block[2].clip[0], 99.0f);
    EXPECT_EQ(block[3].clip[0], 99.0f);
    for (int i = 0; i < 4; ++i) EXPECT_NE(block[i].flags & kGlVertexNormalDone, 0u) << i;

    // The refetch of a crossing triangle transforms one record again in place.
    block[3].flags = kGlVertexSize3;
    __glTransformVertexRecord(ctx, &block[3], 0);
    EXPECT_FLOAT_EQ(block[3].clip[0], 0.2f);
    EXPECT_NE(block[3].flags & kGlVertexWindowDone, 0u);
    ctx->slots.updateModelViewInverse = savedUpdate;
    as.arrayFlags = flagsBefore;
}

// glColor under GL_COLOR_MATERIAL inside a lit strip completes the vertices written so far with
// the material they were given: the lit colours match immediate mode's across the batches.
TEST_F(VcacheTransformTest, ColorMaterialInsideAPrimitiveLightsLikeImmediateMode) {
    auto capture = [&](bool cache) {
        useCache(cache);
        GL(glEnable)(GL_LIGHTING);
        GL(glEnable)(GL_LIGHT0);
        GL(glEnable)(GL_COLOR_MATERIAL);
        GL(glShadeModel)(GL_SMOOTH);
        GL(glBegin)(GL_POINTS);  // validates
        GL(glEnd)();
        // Completes what the triangle needs, as the triangle entries do, then records the colours.
        ctx->slots.primitive.renderTriangle = [](GlContext *cx, GlVertex *a, GlVertex *b, GlVertex *c) {
            for (GlVertex *v : {a, b, c}) {
                const uint32_t size = (v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift;
                cx->slots.primitive.completeVertex[size](cx, v, cx->state.need.needMaskFront);
                char s[96];
                std::snprintf(s, sizeof s, "%d:%.6g,%.6g,%.6g", vertexId(v), v->color[0], v->color[1], v->color[2]);
                drawn().push_back(s);
            }
        };
        drawn().clear();
        GL(glBegin)(GL_TRIANGLE_STRIP);
        for (int i = 1; i <= 80; ++i) {
            GL(glColor3f)(float(i % 4) / 3.0f, float(i % 7) / 6.0f, 0.5f);
            GL(glNormal3f)(0.0f, float(i % 3) / 3.0f, 1.0f);
            GL(glVertex2f)(float(i) / 100.0f, (i % 2) ? 0.5f : -0.5f);
        }
        GL(glEnd)();
        GL(glDisable)(GL_LIGHTING);
        GL(glDisable)(GL_COLOR_MATERIAL);
        std::vector<std::string> d = drawn();
        std::sort(d.begin(), d.end());
        d.erase(std::unique(d.begin(), d.end()), d.end());
        return d;
    };
    const std::vector<std::string> immediate = capture(false);
    const std::vector<std::string> cached = capture(true);
    EXPECT_EQ(immediate.size(), 80u);  // each vertex lit once, with its own colour
    EXPECT_EQ(cached, immediate);
}

// A locked array range transformed into the shared block is transformed again after a cached
// primitive wrote over it: the next array draw draws the array's vertices, not the primitive's.
TEST_F(VcacheTransformTest, LockedArrayRangeSurvivesACachedPrimitive) {
    ctx->slots.primitive.renderPoint = [](GlContext *, GlVertex *v) { drawn().push_back(std::to_string(vertexId(v))); };
    float xy[10][2];
    for (int i = 0; i < 10; ++i) xy[i][0] = float(i + 1) / 100.0f, xy[i][1] = 0.0f;
    GL(glVertexPointer)(2, GL_FLOAT, 0, xy);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(__glDoLockArraysEXT)(0, 10);
    drawn().clear();
    GL(glDrawArrays)(GL_POINTS, 0, 10);
    const std::vector<std::string> first = drawn();
    ASSERT_EQ(first.size(), 10u);
    draw(GL_POINTS, 5, 50);
    drawn().clear();
    GL(glDrawArrays)(GL_POINTS, 0, 10);
    EXPECT_EQ(drawn(), first);
    GL(__glDoUnlockArraysEXT)();
    GL(glDisableClientState)(GL_VERTEX_ARRAY);
}
