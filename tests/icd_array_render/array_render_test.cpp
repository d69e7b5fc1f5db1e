// The array renderers against immediate mode: the same elements give the same points, lines
// and triangles (vertex order up to rotation, edge flags at the time of the call, provoking
// vertex, line resets), across the 36-element batches, with counts rounded down and with
// primitives crossing a clip plane; the re-fetch of crossing records through the index map; the
// transform calls of the batch frame; a locked range addressed by element.
#include <numeric>
#include "tests/icd_array_render/array_render_fixture.h"

using arraytest::drawn;
using arraytest::elements;
using arraytest::refetched;
using arraytest::transforms;
using Log = std::vector<std::string>;

TEST_F(ArrayRenderTest, EveryModeDrawsWhatImmediateModeDraws) {
    struct Case {
        const char *what;
        GLenum mode;
        int32_t first, count;
        std::vector<int> outside;
        std::vector<int> edgeOff;
        size_t primitives;  // render and clip calls expected (a guard against both roads erring alike)
    } cases[] = {
        {"points, clipped ones skipped", GL_POINTS, 0, 40, {3, 37}, {}, 38},
        {"lines: 75 elements draw 37", GL_LINES, 0, 75, {}, {}, 37},
        {"lines of five draw two", GL_LINES, 0, 5, {}, {}, 2},
        {"lines crossing at a batch's end", GL_LINES, 0, 40, {35, 36}, {}, 19},
        {"line strip of 50", GL_LINE_STRIP, 0, 50, {}, {}, 49},
        {"line strip crossing across batches", GL_LINE_STRIP, 3, 50, {38, 39}, {}, 48},
        {"line strip of one", GL_LINE_STRIP, 0, 1, {}, {}, 0},
        {"line loop of 50", GL_LINE_LOOP, 0, 50, {}, {}, 50},
        {"line loop closing across a plane", GL_LINE_LOOP, 0, 50, {49}, {}, 50},
        {"line loop of two: the segment twice", GL_LINE_LOOP, 0, 2, {}, {}, 2},
        {"line loop of one", GL_LINE_LOOP, 0, 1, {}, {}, 0},
        {"triangles with edge flags", GL_TRIANGLES, 0, 40, {}, {1, 5, 36, 38}, 13},
        {"triangles crossing and beyond one plane", GL_TRIANGLES, 0, 12, {1, 6, 7, 8}, {}, 3},
        {"strip of 40: parity across batches", GL_TRIANGLE_STRIP, 0, 40, {}, {}, 38},
        {"strip from element 5", GL_TRIANGLE_STRIP, 5, 40, {}, {}, 38},
        {"strip crossing across batches", GL_TRIANGLE_STRIP, 0, 40, {36}, {}, 38},
        {"strip ignores edge flags, re-fetched records too", GL_TRIANGLE_STRIP, 0, 10, {5}, {2, 3, 4, 5, 6}, 8},
        {"strip of two", GL_TRIANGLE_STRIP, 0, 2, {}, {}, 0},
        {"fan of 40", GL_TRIANGLE_FAN, 0, 40, {}, {}, 38},
        {"fan crossing across batches", GL_TRIANGLE_FAN, 0, 45, {35}, {7}, 43},
        {"quads: 42 elements draw 10", GL_QUADS, 0, 42, {}, {2, 39}, 20},
        {"quads of seven draw one", GL_QUADS, 0, 7, {}, {}, 2},
        {"quads crossing", GL_QUADS, 0, 8, {6}, {}, 4},
        {"quad strip of 40", GL_QUAD_STRIP, 0, 40, {}, {}, 38},
        {"quad strip of five: one quad", GL_QUAD_STRIP, 0, 5, {}, {}, 2},
        {"quad strip crossing across batches", GL_QUAD_STRIP, 0, 40, {35}, {}, 38},
        {"polygon of 40", GL_POLYGON, 0, 40, {}, {}, 38},
        {"polygon with edge flags", GL_POLYGON, 0, 40, {}, {0, 14, 15, 35, 36, 39}, 38},
        {"polygon of two", GL_POLYGON, 0, 2, {}, {}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        setElements(100);
        for (int e : c.outside) elements()[size_t(e)].out = true;
        for (int e : c.edgeOff) elements()[size_t(e)].edge = 0;
        const Log want = immediate(c.mode, c.first, c.count);
        setElements(100);
        for (int e : c.outside) elements()[size_t(e)].out = true;
        for (int e : c.edgeOff) elements()[size_t(e)].edge = 0;
        EXPECT_EQ(arrays(c.mode, c.first, c.count), want);
        if (c.outside.empty()) {
            EXPECT_EQ(drawn().size(), c.primitives);
        }
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
}

// The strip over an index list, by batch: every element at its place in the list.
TEST_F(ArrayRenderTest, IndexListsDrawTheListedElements) {
    std::vector<uint32_t> indices(44);
    for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint32_t((i * 7) % 50);
    setElements(100, {21});
    for (GLenum mode : {GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_LINE_LOOP, GL_QUADS, GL_POLYGON}) {
        SCOPED_TRACE(mode);
        if (mode == GL_POLYGON) setElements(100);
        const Log want = immediate(mode, 0, 44, indices.data());
        EXPECT_EQ(arrays(mode, 0, 44, indices.data()), want);
    }
}

// A crossing triangle re-fetches its records that lack window coordinates, each as the element
// behind it (the carried ones of a later batch, the fan's centre, an index list's entry); a
// triangle wholly beyond one plane is neither drawn nor re-fetched.
TEST_F(ArrayRenderTest, CrossingRecordsAreRefetchedAsTheirElements) {
    setElements(100, {37});
    arrays(GL_TRIANGLE_STRIP, 0, 40);
    EXPECT_EQ(refetched(), (std::vector<int>{37}));

    setElements(100, {2});
    arrays(GL_TRIANGLE_FAN, 2, 40);
    EXPECT_EQ(refetched(), std::vector<int>{2});  // the centre, once: the record keeps its done bit
    EXPECT_EQ(drawn().size(), 38u);
    EXPECT_EQ(drawn()[37].substr(0, 3), "CT(");

    std::vector<uint32_t> reversed(40);
    std::iota(reversed.rbegin(), reversed.rend(), 0u);
    setElements(100, {1});
    arrays(GL_TRIANGLE_STRIP, 0, 40, reversed.data());  // element 1 is the 39th: second batch
    EXPECT_EQ(refetched(), std::vector<int>{1});

    setElements(100, {3, 4, 5});
    EXPECT_EQ(arrays(GL_TRIANGLES, 0, 9), (Log{"T(0,1,2|111)p2r0", "T(6,7,8|111)p8r0"}));
    EXPECT_TRUE(refetched().empty());
    arrays(GL_QUADS, 2, 4);  // 2, 3, 4, 5: crossing, only 2 has window coordinates
    EXPECT_EQ(refetched(), (std::vector<int>{3, 4, 5}));
    setElements(100, {3, 4});
    arrays(GL_LINES, 3, 2);
    EXPECT_TRUE(refetched().empty());
    arrays(GL_LINE_STRIP, 2, 2);
    EXPECT_EQ(refetched(), std::vector<int>{3});
}

TEST_F(ArrayRenderTest, IndexMapFindsTheElementBehindARecord) {
    static const uint32_t list[8] = {70, 71, 72, 73, 74, 75, 76, 77};
    struct Case {
        GLenum mode;
        int32_t drawFirst, batchFirst;
        const uint32_t *indices;
        int32_t record, element;
    } cases[] = {
        {GL_TRIANGLE_STRIP, 5, 5, nullptr, 1, 6},    // first batch: by position
        {GL_TRIANGLE_STRIP, 5, 41, nullptr, 0, 39},  // carried: the previous batch's last two
        {GL_TRIANGLE_STRIP, 5, 41, nullptr, 2, 41},
        {GL_TRIANGLE_FAN, 5, 41, nullptr, 0, 5},     // the centre is the draw's first element
        {GL_TRIANGLE_FAN, 5, 41, nullptr, 1, 40},
        {GL_POLYGON, 0, 36, nullptr, 0, 0},
        {GL_LINE_LOOP, 0, 36, nullptr, 1, 35},
        {GL_LINE_STRIP, 0, 36, nullptr, 0, 35},
        {GL_LINE_STRIP, 0, 36, nullptr, 1, 36},
        {GL_QUADS, 0, 36, nullptr, 3, 39},
        {GL_TRIANGLE_STRIP, 0, 4, list, 0, 72},      // through the index list
        {GL_TRIANGLE_FAN, 0, 4, list, 0, 70},
    };
    for (const Case &c : cases) {
        GlArrayState &as = ctx->arrayState;
        as.drawMode = int32_t(c.mode);
        as.drawFirst = c.drawFirst;
        as.batchFirst = c.batchFirst;
        as.drawIndices = c.indices;
        EXPECT_EQ(__glArrayRecordElement(ctx, c.record), c.element)
            << "mode " << c.mode << " record " << c.record << " batch " << c.batchFirst;
    }
}

// Batches of 36 new elements behind the carried records; the vertex cache's carried records,
// when ready, are not transformed again; carried copies point at their own colours.
TEST_F(ArrayRenderTest, BatchFrameTransformsEachElementOnce) {
    struct Case {
        GLenum mode;
        int32_t first, count;
        bool carriedReady;
        Log want;
    } cases[] = {
        {GL_TRIANGLE_STRIP, 5, 80, false, {"0,5,36", "2,41,36", "2,77,8"}},
        {GL_LINE_STRIP, 0, 40, false, {"0,0,36", "1,36,4"}},
        {GL_LINE_LOOP, 0, 40, false, {"0,0,36", "2,36,4"}},
        {GL_LINES, 0, 41, false, {"0,0,36", "0,36,4"}},
        {GL_QUADS, 0, 3, false, {}},
        {GL_TRIANGLE_FAN, 0, 36, true, {"2,2,34"}},
        {GL_POLYGON, 0, 20, true, {"2,2,18"}},
        {GL_QUAD_STRIP, 0, 20, true, {"2,2,18"}},
        {GL_TRIANGLE_STRIP, 0, 3, true, {"2,2,1"}},
        {GL_LINE_STRIP, 0, 20, true, {"0,0,20"}},
        {GL_TRIANGLES, 0, 21, true, {"0,0,21"}},
    };
    for (const Case &c : cases) {
        ctx->arrayState.carriedReady = c.carriedReady;
        if (c.carriedReady) {
            // what the vertex cache carried: two transformed records
            arraytest::fillRecord(&block[0], 0, 0);
            arraytest::fillRecord(&block[1], 1, 0);
        }
        arrays(c.mode, c.first, c.count);
        EXPECT_EQ(transforms(), c.want) << c.mode << " of " << c.count;
    }
    ctx->arrayState.carriedReady = 0;
    block[0].color = block[1].color = nullptr;
    arrays(GL_TRIANGLE_STRIP, 0, 40);
    EXPECT_EQ(arraytest::idOf(&block[0]), 34);
    EXPECT_EQ(arraytest::idOf(&block[1]), 35);
    EXPECT_EQ(block[0].color, block[0].frontColor);
    EXPECT_EQ(block[1].color, block[1].frontColor);
}

// A transformed locked range: element e is record cacheBase + e, nothing is transformed again,
// and the records keep their own edge flags for later draws.
TEST_F(ArrayRenderTest, LockedRangeIsAddressedByElement) {
    setElements(100, {20});
    for (int e : {12, 13, 14}) elements()[size_t(e)].edge = 0;
    const Log strip = arrays(GL_TRIANGLE_STRIP, 12, 15);
    std::vector<uint32_t> indices = {30, 12, 29, 13, 28, 14, 27};
    const Log listed = arrays(GL_TRIANGLE_FAN, 0, 7, indices.data());

    GlArrayState &as = ctx->arrayState;
    as.lockFirst = 10;
    as.lockCount = 30;
    as.cacheBase = block.data() - 10;
    for (int e = 10; e < 40; ++e) arraytest::fillRecord(as.cacheBase + e, e, 0);
    as.arrayFlags = kGlArrayCacheHoldsLock | kGlArraysLocked;

    EXPECT_EQ(arrays(GL_TRIANGLE_STRIP, 12, 15), strip);
    EXPECT_TRUE(transforms().empty());
    EXPECT_EQ(refetched(), std::vector<int>{20});  // the record number is the element
    EXPECT_EQ(as.cacheBase[12].edgeFlag, 0);
    EXPECT_EQ(arrays(GL_TRIANGLE_FAN, 0, 7, indices.data()), listed);
    EXPECT_TRUE(transforms().empty());
}

// A polygon in line mode shows exactly its boundary, across batches and when some of its
// triangles are clipped: the hidden interior edges stay hidden in re-fetched records.
TEST_F(ArrayRenderTest, PolygonShowsExactlyItsBoundaryEdges) {
    for (std::vector<int> outside : {std::vector<int>{}, std::vector<int>{17, 36, 39}}) {
        setElements(100);
        for (int e : outside) elements()[size_t(e)].out = true;
        static std::set<std::pair<int, int>> edges;
        static int triangles;
        edges.clear();
        triangles = 0;
        auto collect = [](GlContext *, GlVertex *a, GlVertex *b, GlVertex *c) {
            ++triangles;
            GlVertex *v[3] = {a, b, c};
            for (int i = 0; i < 3; ++i)
                if (v[i]->edgeFlag) {
                    auto inserted = edges.insert({arraytest::idOf(v[i]), arraytest::idOf(v[(i + 1) % 3])});
                    EXPECT_TRUE(inserted.second) << "edge drawn twice";
                }
        };
        ctx->slots.primitive.renderTriangle = collect;
        ctx->slots.primitive.clipTriangle = [](GlContext *c, GlVertex *a, GlVertex *b, GlVertex *d, uint32_t) {
            GlRenderTriangleProc draw = c->slots.primitive.renderTriangle;
            draw(c, a, b, d);
        };
        __glDrawArrayPolygon(ctx, 0, 40, nullptr);
        std::set<std::pair<int, int>> boundary;
        for (int i = 0; i < 40; ++i) boundary.insert({i, (i + 1) % 40});
        EXPECT_EQ(triangles, 38);
        EXPECT_EQ(edges, boundary) << outside.size() << " outside";
    }
}

// Points are completed with the front need mask and the front colour, lines with the front
// need mask; a line strip completes its first vertex once and then each new one.
TEST_F(ArrayRenderTest, RenderedVerticesAreCompletedWithTheFrontNeedMask) {
    static Log completed;
    completed.clear();
    for (GlCompleteVertexProc &p : ctx->slots.primitive.completeVertex)
        p = [](GlContext *, GlVertex *v, uint32_t need) {
            completed.push_back(std::to_string(arraytest::idOf(v)) + ":" + std::to_string(need));
        };
    ctx->state.need.needMaskFront = 0x10;
    setElements(100, {1});
    arrays(GL_POINTS, 0, 3);
    EXPECT_EQ(completed, (Log{"0:17", "2:17"}));
    completed.clear();
    arrays(GL_LINES, 2, 2);
    EXPECT_EQ(completed, (Log{"2:16", "3:16"}));
    completed.clear();
    arrays(GL_LINE_STRIP, 2, 3);
    EXPECT_EQ(completed, (Log{"2:16", "3:16", "4:16"}));
}

TEST_F(ArrayRenderTest, MakeCurrentRestoresTheFanAndPolygonRenderers) {
    GlArrayState &as = ctx->arrayState;
    as.renderers[GL_TRIANGLE_FAN] = as.renderers[GL_POLYGON] = nullptr;
    __glSetArrayFanPolygonRenderers(ctx);
    EXPECT_EQ(as.renderers[GL_TRIANGLE_FAN], __glDrawArrayTriangleFan);
    EXPECT_EQ(as.renderers[GL_POLYGON], __glDrawArrayPolygon);
}

// Without a cache block the renderers draw nothing rather than write through a null base.
TEST_F(ArrayRenderTest, NoCacheBlockDrawsNothing) {
    ctx->arrayState.cacheBlock = ctx->arrayState.cacheBase = nullptr;
    ctx->arrayState.cacheBytes = 0;
    for (GLenum mode = GL_POINTS; mode <= GL_POLYGON; ++mode) EXPECT_TRUE(arrays(mode, 0, 12).empty());
    EXPECT_TRUE(transforms().empty());
}
