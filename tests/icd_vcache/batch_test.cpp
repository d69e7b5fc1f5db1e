// The vertex cache's batches as the array renderers receive them: where the flushes fall, which
// records each mode carries into the next batch, the split bookkeeping of line loops and
// polygons, the state a flush lends the renderers and gives back, errors, completion inside a
// primitive and a drawable that refuses its lock.
#include <cstdlib>
#include "tests/icd_vcache/vcache_fixture.h"

namespace {
// One renderer call as the renderer saw it.
struct RenderCall {
    int mode;
    std::vector<int> ids;
    std::string edges;
    uint8_t carriedReady;
    int32_t lockCount;
    GlArrayState state;  // the array state during the call

    std::string text() const { return std::to_string(mode) + ":" + idRuns(ids) + (carriedReady ? "*" : ""); }
};
std::vector<RenderCall> &calls() {
    static std::vector<RenderCall> log;
    return log;
}

// The renderers, like the real ones, clear the line-reset flag at the start of every draw.
template <int Mode>
void spyRenderer(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) {
    EXPECT_EQ(first, 0);
    EXPECT_EQ(indices, nullptr);
    RenderCall c{Mode, {}, {}, ctx->arrayState.carriedReady, ctx->buffers.lockCount, ctx->arrayState};
    for (int i = 0; i < count; ++i) {
        const GlVertex &r = ctx->arrayState.cacheBase[i];
        c.ids.push_back(vertexId(&r));
        c.edges += r.edgeFlag ? '1' : '0';
        EXPECT_EQ(r.color, r.frontColor);
    }
    calls().push_back(c);
    ctx->arrays.vertexBuffer.lineReset = 0;
}

std::vector<std::string> texts() {
    std::vector<std::string> t;
    for (const RenderCall &c : calls()) t.push_back(c.text());
    return t;
}

int lockResult = 1, locks = 0, unlocks = 0;
int32_t lockDrawable(GlContext *) {
    ++locks;
    return lockResult;
}
void unlockDrawable(GlContext *) { ++unlocks; }
}  // namespace

class VcacheBatchTest : public VcacheTest {
protected:
    void SetUp() override {
        VcacheTest::SetUp();
        if (HasFatalFailure()) return;
        GlArrayRenderer *r = ctx->arrayState.renderers;
        r[0] = spyRenderer<0>, r[1] = spyRenderer<1>, r[2] = spyRenderer<2>, r[3] = spyRenderer<3>;
        r[4] = spyRenderer<4>, r[5] = spyRenderer<5>, r[6] = spyRenderer<6>, r[7] = spyRenderer<7>;
        r[8] = spyRenderer<8>, r[9] = spyRenderer<9>;
        calls().clear();
        lockResult = 1;
        locks = unlocks = 0;
    }
};

TEST_F(VcacheBatchTest, ThePickerInstallsTheCacheAndTakesItOutAgain) {
    EXPECT_EQ(ctx->liveTable.slot[slot::glBegin], reinterpret_cast<GlEntry>(&icd::__glVcacheBegin));
    EXPECT_EQ(ctx->liveTable.slot[slot::glEnd], reinterpret_cast<GlEntry>(&icd::__glVcacheEnd));
    EXPECT_EQ(ctx->liveTable.slot[slot::glVertex2fv], reinterpret_cast<GlEntry>(&icd::__glVcacheVertex2fv));
    EXPECT_EQ(ctx->liveTable.slot[slot::glVertex3fv], reinterpret_cast<GlEntry>(&icd::__glVcacheVertex3fv));
    EXPECT_EQ(ctx->liveTable.slot[slot::glVertex4fv], reinterpret_cast<GlEntry>(&icd::__glVcacheVertex4fv));
    EXPECT_EQ(ctx->slots.completePending, __glVcacheCompletePending);
    useCache(false);
    EXPECT_EQ(ctx->liveTable.slot[slot::glBegin], reinterpret_cast<GlEntry>(&icd::glBegin));
    EXPECT_EQ(ctx->liveTable.slot[slot::glVertex3fv], reinterpret_cast<GlEntry>(&icd::glVertex3fv));
}

// Flushes fall when a 37th record would be written; each mode carries what its primitive still
// needs (a '*' marks batches whose carried records the renderer need not transform again).
TEST_F(VcacheBatchTest, BatchesAndCarriesOfEveryMode) {
    using S = std::vector<std::string>;
    struct Case {
        const char *what;
        GLenum mode;
        int vertices;
        S want;
    } cases[] = {
        {"points", GL_POINTS, 40, {"0:1-36", "0:37-40"}},
        {"lines", GL_LINES, 40, {"1:1-36", "1:37-40"}},
        {"lines: a lone vertex at the end draws nothing", GL_LINES, 37, {"1:1-36"}},
        {"line strip: the last vertex goes on", GL_LINE_STRIP, 80, {"3:1-36", "3:36-71", "3:71-80"}},
        {"line loop within one batch", GL_LINE_LOOP, 36, {"2:1-36"}},
        {"line loop split: strips, the last one closing", GL_LINE_LOOP, 80, {"3:1-36", "3:36-70", "3:70-80,1"}},
        {"line loop split by its last vertex", GL_LINE_LOOP, 37, {"3:1-36", "3:36,37,1"}},
        {"triangles", GL_TRIANGLES, 40, {"4:1-36", "4:37-40"}},
        {"triangle strip of 100", GL_TRIANGLE_STRIP, 100, {"5:1-36", "5:35-70*", "5:69-100*"}},
        {"fan keeps its centre", GL_TRIANGLE_FAN, 80, {"6:1-36", "6:1,36-70*", "6:1,70-80*"}},
        {"quads", GL_QUADS, 40, {"7:1-36", "7:37-40"}},
        {"quad strip", GL_QUAD_STRIP, 80, {"8:1-36", "8:35-70*", "8:69-80*"}},
        {"polygon", GL_POLYGON, 80, {"9:1-36", "9:1,36-70*", "9:1,70-80*"}},
        {"too short to draw", GL_TRIANGLES, 2, {}},
        {"polygon of two", GL_POLYGON, 2, {}},
        {"no vertices", GL_LINE_LOOP, 0, {}},
    };
    for (const Case &c : cases) {
        calls().clear();
        draw(c.mode, c.vertices);
        EXPECT_EQ(texts(), c.want) << c.what;
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR)) << c.what;
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin) << c.what;
        const GlVertexCache &vc = ctx->vertexCache;
        EXPECT_EQ(vc.count, 0) << c.what;
        EXPECT_EQ(vc.completed, 0) << c.what;
        EXPECT_EQ(vc.step, 0) << c.what;
        EXPECT_EQ(vc.batchFlags & (kGlVcacheLineLoopSplit | kGlVcachePolygonSplit), 0u) << c.what;
        EXPECT_EQ(ctx->arrayState.carriedReady, 0) << c.what;
        EXPECT_TRUE(tailIntact()) << c.what;
    }
}

// A split polygon hides the edges back to its first vertex that the split creates and nothing
// else: every boundary edge keeps the flag its vertex was given, also a carried vertex whose
// flag differs from the current one at the time of the flush.
TEST_F(VcacheBatchTest, SplitPolygonHidesOnlyTheSplitEdges) {
    auto run = [&](int zeroVertex, bool zeroAfter) {
        calls().clear();
        GL(glBegin)(GL_POLYGON);
        for (int i = 1; i <= 75; ++i) {
            if (!zeroAfter) GL(glEdgeFlag)(i == zeroVertex ? GL_FALSE : GL_TRUE);
            GL(glVertex2f)(float(i) / 100.0f, 0.5f);
            if (zeroAfter) GL(glEdgeFlag)(i == zeroVertex ? GL_FALSE : GL_TRUE);
        }
        GL(glEnd)();
        GL(glEdgeFlag)(GL_TRUE);
    };
    const std::string ones(40, '1');
    run(0, false);
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[0].edges, ones.substr(0, 35) + "0");
    EXPECT_EQ(calls()[1].edges, "0" + ones.substr(0, 34) + "0");  // 1, 36..70
    EXPECT_EQ(calls()[2].edges, "0" + ones.substr(0, 6));         // 1, 70..75: closes with 75's own flag

    run(36, false);  // the carried vertex's own edge is hidden
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[1].edges, "00" + ones.substr(0, 33) + "0");

    run(36, true);  // the flag changes after vertex 36, before the flush: 36 keeps its own
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[1].edges, "01" + std::string("0") + ones.substr(0, 32) + "0");
}

// A flush lends the renderers the array state of the batch and gives everything back; the
// largest vertex size since glBegin decides the transform procs, inside the drawable's lock.
TEST_F(VcacheBatchTest, FlushLendsTheBatchStateAndRestoresIt) {
    GlArrayState &as = ctx->arrayState;
    const GlArrayState before = as;
    ctx->buffers.drawableLock = lockDrawable;
    ctx->buffers.drawableUnlock = unlockDrawable;
    const GlMatrix *mvp = &ctx->state.transform.modelView->mvp;
    const GlPrimitiveProcs &p = ctx->slots.primitive;
    const float v[4] = {0.01f, 0.5f, 0.0f, 1.0f};
    struct Case {
        const char *what;
        std::vector<int> sizes;
        int want;
    } cases[] = {
        {"2", {2, 2}, 2}, {"3", {2, 3}, 3}, {"2 and 4", {2, 4, 2}, 4}, {"4 and 3", {4, 3}, 4},
    };
    for (const Case &c : cases) {
        calls().clear();
        locks = unlocks = 0;
        GL(glBegin)(GL_POINTS);
        for (int s : c.sizes) {
            if (s == 2) {
                GL(glVertex2fv)(v);
            } else if (s == 3) {
                GL(glVertex3fv)(v);
            } else {
                GL(glVertex4fv)(v);
            }
        }
        GL(glEnd)();
        ASSERT_EQ(calls().size(), 1u) << c.what;
        const GlArrayState &lent = calls()[0].state;
        EXPECT_EQ(lent.rangeTransformPoint, c.want == 2 ? mvp->xform2 : c.want == 3 ? mvp->xform3 : mvp->xform4)
            << c.what;
        EXPECT_EQ(lent.rangeClipCheck, p.clipCheck[c.want - 2]) << c.what;
        EXPECT_EQ(lent.rangeCompleteVertex, p.completeVertex[c.want - 1]) << c.what;
        EXPECT_EQ(lent.rangeTransform, ctx->vertexCache.ogVertexCacheProcs[c.want - 2]) << c.what;
        EXPECT_EQ(lent.refetchVertex, __glTransformVertexRecord) << c.what;
        EXPECT_EQ(lent.cacheBase, block.data()) << c.what;
        EXPECT_EQ(lent.arrayFlags & kGlArrayCacheHoldsLock, 0u) << c.what;
        EXPECT_EQ(calls()[0].lockCount, 1) << c.what;
        EXPECT_EQ(locks, 1) << c.what;
        EXPECT_EQ(unlocks, 1) << c.what;
        EXPECT_EQ(ctx->buffers.lockCount, 0) << c.what;
        // Each record keeps its own size code.
        EXPECT_EQ(block[0].flags & kGlVertexSizeMask, uint32_t(c.sizes[0] - 1) << kGlVertexSizeShift) << c.what;
    }
    // The locked range must be transformed again after the batch overwrote the block.
    EXPECT_EQ(as.arrayFlags, before.arrayFlags | kGlArrayRangeStale);
    EXPECT_EQ(as.rangeTransformPoint, before.rangeTransformPoint);
    EXPECT_EQ(as.rangeClipCheck, before.rangeClipCheck);
    EXPECT_EQ(as.rangeCompleteVertex, before.rangeCompleteVertex);
    EXPECT_EQ(as.rangeTransform, before.rangeTransform);
    EXPECT_EQ(as.refetchVertex, before.refetchVertex);
    EXPECT_EQ(as.cacheBase, before.cacheBase);

    // Inside an outer lock bracket the flush does not lock again.
    ctx->buffers.lockCount = 1;
    locks = 0;
    draw(GL_TRIANGLES, 3);
    EXPECT_EQ(locks, 0);
    EXPECT_EQ(ctx->buffers.lockCount, 1);
    ctx->buffers.lockCount = 0;
    ctx->buffers.drawableLock = nullptr;
    ctx->buffers.drawableUnlock = nullptr;
}

// The stipple restarts at a strip's, loop's or polygon's first batch, not at every batch.
TEST_F(VcacheBatchTest, LineResetClearedAtThePrimitivesFirstFlushOnly) {
    for (GLenum mode : {GL_LINE_STRIP, GL_LINE_LOOP, GL_POLYGON}) {
        uint8_t &reset = ctx->arrays.vertexBuffer.lineReset;
        GL(glBegin)(mode);
        for (int i = 1; i <= 80; ++i) {
            if (i == 37 || i == 60) reset = 5;  // the line rasteriser's state in mid-primitive
            GL(glVertex2f)(float(i) / 100.0f, 0.5f);
            if (i == 37) {
                EXPECT_EQ(reset, 0) << mode;
            }
        }
        GL(glEnd)();
        EXPECT_EQ(reset, 5) << mode;
    }
    // Independent primitives restart at every batch as the renderers decide.
    ctx->arrays.vertexBuffer.lineReset = 5;
    draw(GL_TRIANGLES, 40);
    EXPECT_EQ(ctx->arrays.vertexBuffer.lineReset, 0);
}

TEST_F(VcacheBatchTest, BeginAndEndErrors) {
    GL(glEnd)();
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glBegin)(10);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    EXPECT_EQ(ctx->vertexCache.step, 0);

    GL(glBegin)(GL_TRIANGLES);
    GL(glBegin)(GL_POINTS);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    for (int i = 1; i <= 3; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.0f);
    GL(glEnd)();
    EXPECT_EQ(texts(), std::vector<std::string>{"4:1-3"});  // still triangles

    // A state change inside the primitive is validated before the next command needing it.
    GL(glBegin)(GL_POINTS);
    ctx->dirtyMask = kGlDirtyGeneral;
    GL(glEnd)();
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    // glBegin validates first, then runs the entry the table then holds: still the cache.
    GL(glBegin)(GL_POINTS);
    EXPECT_EQ(ctx->beginMode, kGlInsideBegin);
    EXPECT_EQ(ctx->dirtyMask, 0u);
    EXPECT_EQ(ctx->vertexCache.step, 1);
    GL(glEnd)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// Outside glBegin/glEnd a vertex is forgotten: nothing counted, nothing drawn, and the block
// (which may hold a transformed locked array range) left alone.
TEST_F(VcacheBatchTest, VertexOutsideAPrimitiveIsNotCounted) {
    block[0].obj[0] = 7.0f;
    for (int i = 0; i < 50; ++i) GL(glVertex3f)(0.1f, 0.2f, 0.3f);
    EXPECT_EQ(ctx->vertexCache.count, 0);
    EXPECT_EQ(block[0].obj[0], 7.0f);
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(tailIntact());
    draw(GL_POINTS, 1);
    EXPECT_EQ(texts(), std::vector<std::string>{"0:1"});
}

// A block that cannot hold a batch and its carried records takes no vertices at all.
TEST_F(VcacheBatchTest, BlockTooSmallForABatchTakesNoVertices) {
    ctx->arrayState.cacheBytes = int32_t((kUsableRecords - 1) * sizeof(GlVertex));
    block[0].obj[0] = 7.0f;
    draw(GL_TRIANGLE_STRIP, 40);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(block[0].obj[0], 7.0f);
    EXPECT_EQ(ctx->vertexCache.count, 0);
    ctx->arrayState.cacheBytes = int32_t(kUsableRecords * sizeof(GlVertex));
    draw(GL_TRIANGLE_STRIP, 3);
    EXPECT_EQ(texts(), std::vector<std::string>{"5:1-3"});
}

// Records, attributes and sizes as the vertex entries write them.
TEST_F(VcacheBatchTest, VertexEntriesWriteUntransformedRecords) {
    GL(glColor4f)(0.25f, 0.5f, 0.75f, 1.0f);
    GL(glEdgeFlag)(GL_FALSE);
    GL(glBegin)(GL_POINTS);
    GL(glVertex2f)(1.0f, 2.0f);
    GL(glVertex3f)(1.0f, 2.0f, 3.0f);
    GL(glVertex4f)(1.0f, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(ctx->vertexCache.count, 3);
    EXPECT_EQ(ctx->vertexCache.seenSizes, 7u);
    const float want[3][4] = {{1, 2, 0, 1}, {1, 2, 3, 1}, {1, 2, 3, 4}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(block[i].flags, uint32_t(i + 1) << kGlVertexSizeShift);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(block[i].obj[k], want[i][k]);
        EXPECT_EQ(block[i].edgeFlag, 0);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(block[i].frontColor[k], ctx->current.vertex.scaledColor[k]);
    }
    GL(glEnd)();
    GL(glEdgeFlag)(GL_TRUE);
}

// The copy proc follows lighting, the cull-vertex test, texturing with sphere mapping, feedback
// and the visual; the batch transforms are the lazy generated ones in GL_RENDER mode only.
TEST_F(VcacheBatchTest, InstallChoosesCopiesAndTransforms) {
    GlEnableState &en = ctx->state.enable;
    GlPickState &pick = ctx->state.pick;
    const GlEnableState savedEnables = en;
    const GlPickState savedPick = pick;
    struct Case {
        const char *what;
        uint32_t enables;
        uint32_t textures;
        uint32_t unit0;
        GLenum genS;
        GLenum renderMode;
        GlVertexProc rgba, index;
    } cases[] = {
        {"plain", 0, 0, 0, GL_EYE_LINEAR, GL_RENDER, __glVcacheCopyColor, __glVcacheCopyIndex},
        {"lit", kGlEnableLighting, 0, 0, GL_EYE_LINEAR, GL_RENDER, __glVcacheCopyNormal, __glVcacheCopyNormal},
        {"cull vertex", kGlEnableCullVertex, 0, 0, GL_EYE_LINEAR, GL_RENDER, __glVcacheCopyNormalColor,
         __glVcacheCopyNormalIndex},
        {"textured", 0, 1, kGlEnableTexGenS, GL_EYE_LINEAR, GL_RENDER, __glVcacheCopyColorTexCoord,
         __glVcacheCopyIndexTexCoord},
        {"sphere map", 0, 1, kGlEnableTexGenS, GL_SPHERE_MAP, GL_RENDER, __glVcacheCopyNormalColorTexCoord,
         __glVcacheCopyNormalIndexTexCoord},
        {"sphere map not enabled", 0, 1, 0, GL_SPHERE_MAP, GL_RENDER, __glVcacheCopyColorTexCoord,
         __glVcacheCopyIndexTexCoord},
        {"lit and textured", kGlEnableLighting, 2, 0, GL_EYE_LINEAR, GL_RENDER, __glVcacheCopyNormalTexCoord,
         __glVcacheCopyNormalTexCoord},
        {"feedback", kGlEnableLighting, 0, 0, GL_EYE_LINEAR, GL_FEEDBACK, __glVcacheCopyNormalColorTexCoord,
         __glVcacheCopyNormalIndexTexCoord},
    };
    for (const Case &c : cases) {
        en.enables = c.enables;
        pick.currentTextureMask = c.textures;
        en.texUnitEnables[0] = c.unit0;
        pick.texGenMode[0] = c.genS;
        ctx->renderMode = c.renderMode;
        for (uint8_t rgba : {1, 0}) {
            ctx->visual.rgbaMode = rgba;
            __glInstallVertexCache(ctx);
            EXPECT_EQ(ctx->vertexCache.vcacheCopyAttributes, rgba ? c.rgba : c.index) << c.what;
        }
        ctx->visual.rgbaMode = 1;
        const GlRangeTransformProc *og = ctx->vertexCache.ogVertexCacheProcs;
        if (c.renderMode == GL_RENDER) {
            EXPECT_EQ(og[0], __glVcacheGenXform2) << c.what;
            EXPECT_EQ(og[1], __glVcacheGenXform3) << c.what;
            EXPECT_EQ(og[2], __glVcacheGenXform4) << c.what;
        } else {
            for (int i = 0; i < 3; ++i) EXPECT_EQ(og[i], __glCullTransformVertexRange) << c.what;
        }
    }
    ctx->renderMode = GL_RENDER;
    __glArraySwitches.disableOgVcache = 1;
    __glInstallVertexCache(ctx);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ctx->vertexCache.ogVertexCacheProcs[i], __glCullTransformVertexRange);
    __glArraySwitches.disableOgVcache = 0;
    en = savedEnables;
    pick = savedPick;
    __glInstallVertexCache(ctx);
}

// "__GL_VCACHE" decides whether a reset turns the cache on; "__GL_DISABLE_OG_VCACHE" sets the
// process-wide switch.
TEST_F(VcacheBatchTest, EnvironmentAtReset) {
    setenv("__GL_VCACHE", "0", 1);
    setenv("__GL_DISABLE_OG_VCACHE", "1", 1);
    __glInitVertexCache(ctx);
    EXPECT_EQ(ctx->vertexCache.vcacheOn, 0);
    EXPECT_EQ(__glArraySwitches.disableOgVcache, 1);
    setenv("__GL_VCACHE", "258", 1);  // the low byte
    setenv("__GL_DISABLE_OG_VCACHE", "0", 1);
    __glInitVertexCache(ctx);
    EXPECT_EQ(ctx->vertexCache.vcacheOn, 2);
    EXPECT_EQ(__glArraySwitches.disableOgVcache, 0);
    unsetenv("__GL_VCACHE");
    unsetenv("__GL_DISABLE_OG_VCACHE");
    __glInitVertexCache(ctx);
    EXPECT_EQ(ctx->vertexCache.vcacheOn, 1);
}

// A material change inside the primitive completes the records written so far (once each, the
// carried ones included); the batch is then transformed by the generic transform, which keeps
// their done bits. A carrying mode keeps the mark for the next batch, others drop it.
TEST_F(VcacheBatchTest, CompletePendingInsideAPrimitive) {
    static std::vector<int> completed;
    completed.clear();
    ctx->state.need.needMaskPending = 0x13;
    for (GlCompleteVertexProc &p : ctx->slots.primitive.completeVertex)
        p = [](GlContext *, GlVertex *v, uint32_t need) {
            completed.push_back(vertexId(v));
            v->flags |= need;
        };
    GlVertexCache &vc = ctx->vertexCache;
    GL(glBegin)(GL_TRIANGLE_STRIP);
    for (int i = 1; i <= 5; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.5f);
    ctx->slots.completePending(ctx);
    EXPECT_EQ(completed, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(vc.completed, 5);
    EXPECT_NE(vc.batchFlags & kGlVcacheCompleted, 0u);
    GL(glVertex2f)(0.06f, 0.5f);
    ctx->slots.completePending(ctx);
    EXPECT_EQ(completed, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    for (int i = 7; i <= 37; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.5f);
    ASSERT_EQ(calls().size(), 1u);
    EXPECT_EQ(calls()[0].state.rangeTransform, __glCullTransformVertexRange);
    EXPECT_NE(vc.batchFlags & kGlVcacheCompleted, 0u);
    // The carried records stay pending until complete: the batch's drawing (here: none, as for
    // culled triangles) need not have completed them, and they must not wait for a later material.
    EXPECT_EQ(vc.completed, 0);
    completed.clear();
    ctx->slots.completePending(ctx);
    EXPECT_EQ(completed, (std::vector<int>{35, 36, 37}));
    completed.clear();
    ctx->slots.completePending(ctx);
    EXPECT_TRUE(completed.empty());
    GL(glEnd)();
    ASSERT_EQ(calls().size(), 2u);
    EXPECT_EQ(calls()[1].state.rangeTransform, __glCullTransformVertexRange);
    EXPECT_EQ(vc.batchFlags & kGlVcacheCompleted, 0u);

    GL(glBegin)(GL_TRIANGLES);
    for (int i = 1; i <= 3; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.5f);
    ctx->slots.completePending(ctx);
    for (int i = 4; i <= 39; ++i) GL(glVertex2f)(float(i) / 100.0f, 0.5f);
    ASSERT_EQ(calls().size(), 3u);
    EXPECT_EQ(calls()[2].state.rangeTransform, __glCullTransformVertexRange);
    EXPECT_EQ(vc.batchFlags & kGlVcacheCompleted, 0u);
    GL(glEnd)();
    ASSERT_EQ(calls().size(), 4u);
    EXPECT_EQ(calls()[3].state.rangeTransform, ctx->vertexCache.ogVertexCacheProcs[0]);
}

// A drawable that refuses its lock draws nothing, and the batch is dropped instead of left
// full: the next vertices never write past the records a batch may use, the primitive goes on
// with its carried records, and the next primitive draws normally.
TEST_F(VcacheBatchTest, RefusedLockDropsTheBatch) {
    ctx->buffers.drawableLock = lockDrawable;
    ctx->buffers.drawableUnlock = unlockDrawable;
    const GlArrayState before = ctx->arrayState;
    for (GLenum mode : {GL_TRIANGLE_STRIP, GL_POLYGON, GL_LINE_LOOP, GL_POINTS}) {
        lockResult = 0;
        locks = unlocks = 0;
        calls().clear();
        GL(glBegin)(mode);
        for (int i = 1; i <= 200; ++i) {
            GL(glVertex2f)(float(i % 50) / 100.0f, 0.5f);
            ASSERT_LE(ctx->vertexCache.count, 36) << mode;
            // Dropped records were never transformed: the renderer must transform them all.
            EXPECT_EQ(ctx->arrayState.carriedReady, 0) << mode;
        }
        GL(glEnd)();
        EXPECT_TRUE(calls().empty()) << mode;
        EXPECT_TRUE(tailIntact()) << mode;
        EXPECT_EQ(ctx->buffers.lockCount, 0) << mode;
        EXPECT_EQ(unlocks, 0) << mode;
        EXPECT_EQ(ctx->vertexCache.count, 0) << mode;
        EXPECT_EQ(ctx->vertexCache.batchFlags & (kGlVcacheLineLoopSplit | kGlVcachePolygonSplit), 0u) << mode;
        EXPECT_EQ(ctx->arrayState.rangeTransform, before.rangeTransform) << mode;
        EXPECT_EQ(ctx->arrayState.cacheBase, before.cacheBase) << mode;

        // A lock that fails in mid-primitive: the strip goes on from the dropped batch's end.
        lockResult = 1;
        GL(glBegin)(mode);
        const int secondFlush = mode == GL_POINTS ? 73 : 71;  // after 36 records, then 34 more
        for (int i = 1; i <= 80; ++i) {
            lockResult = i != secondFlush;
            GL(glVertex2f)(float(i) / 100.0f, 0.5f);
        }
        GL(glEnd)();
        lockResult = 1;
        const std::vector<std::string> want = mode == GL_TRIANGLE_STRIP ? std::vector<std::string>{"5:1-36", "5:69-80"}
                                              : mode == GL_POLYGON       ? std::vector<std::string>{"9:1-36", "9:1,70-80"}
                                              : mode == GL_LINE_LOOP     ? std::vector<std::string>{"3:1-36", "3:70-80,1"}
                                                                         : std::vector<std::string>{"0:1-36", "0:73-80"};
        EXPECT_EQ(texts(), want) << mode;
        EXPECT_TRUE(tailIntact()) << mode;
    }
    ctx->buffers.drawableLock = nullptr;
    ctx->buffers.drawableUnlock = nullptr;
}
