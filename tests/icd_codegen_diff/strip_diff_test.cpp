// Generated array triangle-strip routines against the C strip renderer: over counts (none, one,
// two, three, odd, even, across batches), first elements, index lists, clip patterns, locked
// ranges and the vertex cache's carried records, both hand the same triangles (vertices, edge
// flags, provoking vertex, line-reset byte) to the render and clip procs, transform the same
// batches and re-fetch the same elements, and leave the records' edge flags as they were.
#include <string>
#include <vector>

#include "tests/icd_array_render/array_render_fixture.h"
#include "tests/icd_codegen_diff/diff_fixture.h"

namespace {

using namespace icd;
using namespace arraytest;

struct Road {
    std::vector<std::string> drawn, transforms;
    std::vector<int> refetched;
    std::vector<uint8_t> edges;
    bool operator==(const Road &o) const {
        return drawn == o.drawn && transforms == o.transforms && refetched == o.refetched && edges == o.edges;
    }
};

std::string text(const Road &r) {
    std::string s = "drawn:";
    for (const auto &d : r.drawn) s += " " + d;
    s += "\ntransforms:";
    for (const auto &t : r.transforms) s += " " + t;
    s += "\nrefetched:";
    for (int e : r.refetched) s += " " + std::to_string(e);
    return s;
}

class StripDiff : public ArrayRenderTest {
protected:
    void TearDown() override {
        __glOgOverrideMmx(-1);
        ArrayRenderTest::TearDown();
    }
    GlArrayRenderer generated() {
        GlArrayRenderer r = __glOgGenDrawVertexesProc(ctx, GL_TRIANGLE_STRIP, 0);
        EXPECT_NE(r, nullptr);
        EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(r)));
        EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(r)),
                  reinterpret_cast<const void *>(&__glDrawArrayTriangleStrip));
        return r;
    }
    // Locked: records hold elements 0 .. 63 already transformed, with alternating edge flags.
    void fillLocked() {
        for (int e = 0; e < int(block.size()); ++e) {
            fillRecord(&block[size_t(e)], e, 0);
            block[size_t(e)].edgeFlag = uint8_t(e % 3 != 0);
        }
    }
    Road run(GlArrayRenderer r, bool locked, int32_t first, int32_t count, const uint32_t *indices) {
        clearLogs();
        ctx->arrays.vertexBuffer.lineReset = 1;
        if (locked) fillLocked();
        if (r == __glDrawArrayTriangleStrip) r(ctx, first, count, indices);
        else callChecked(r, ctx, first, count, indices);
        Road road{drawn(), transforms(), refetched(), {}};
        if (locked)
            for (const GlVertex &v : block) road.edges.push_back(v.edgeFlag);
        return road;
    }
};

TEST_F(StripDiff, GeneratedStripsHandTheSameTrianglesAsTheCRenderer) {
    GlArrayState &as = ctx->arrayState;
    struct Clip {
        const char *name;
        std::initializer_list<int> outside;
    };
    const Clip clips[] = {
        {"inside", {}},
        {"mixed", {2, 3, 9, 10, 11, 35, 36, 37, 40, 58}},
        {"all outside", {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                         21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41,
                         42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62,
                         63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83}},
    };
    // A permutation-like list with repeats (a record named twice in one triangle).
    std::vector<uint32_t> list(84);
    for (size_t i = 0; i < list.size(); ++i) list[i] = uint32_t((i * 7 + 3) % 61);
    list[5] = list[4];
    int compared = 0;
    for (int mmx : {1, 0}) {
        __glOgOverrideMmx(mmx);
        GlArrayRenderer gen = generated();
        for (const Clip &clip : clips) {
            setElements(100, clip.outside);
            for (bool locked : {false, true}) {
                for (bool carriedReady : {false, true}) {
                    if (locked && carriedReady) continue;
                    for (bool indexed : {false, true}) {
                        for (int32_t first : {0, 1, 3}) {
                            for (int32_t count : {0, 1, 2, 3, 4, 5, 8, 35, 36, 37, 38, 39, 40, 41, 73, 80}) {
                                if (locked && first + count > int32_t(block.size())) continue;
                                SCOPED_TRACE(::testing::Message()
                                             << clip.name << (locked ? " locked" : " batches")
                                             << (carriedReady ? " carried-ready" : "") << (indexed ? " indexed" : "")
                                             << " first " << first << " count " << count << (mmx ? " mmx" : ""));
                                as.arrayFlags = locked ? 0u : uint32_t(kGlArrayRangeStale);
                                as.carriedReady = carriedReady;
                                if (carriedReady) {
                                    // The vertex cache's records 0 and 1 stand for the first two.
                                    for (int k = 0; k < 2; ++k)
                                        fillRecord(&block[size_t(k)], indexed ? int32_t(list[size_t(k)]) : first + k, 0);
                                }
                                const uint32_t *ix = indexed ? list.data() : nullptr;
                                const Road c = run(__glDrawArrayTriangleStrip, locked, first, count, ix);
                                if (carriedReady) {
                                    for (int k = 0; k < 2; ++k)
                                        fillRecord(&block[size_t(k)], indexed ? int32_t(list[size_t(k)]) : first + k, 0);
                                }
                                const Road g = run(gen, locked, first, count, ix);
                                EXPECT_TRUE(c == g) << "C:\n" << text(c) << "\ngenerated:\n" << text(g);
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 500);
}

// Independent of the C renderer: the strip's triangles by the definition of GL_TRIANGLE_STRIP.
TEST_F(StripDiff, CountsOfTwoFourAndFortyDrawWhatTheStripDefines) {
    GlArrayRenderer gen = generated();
    EXPECT_TRUE(run(gen, false, 0, 2, nullptr).drawn.empty());
    EXPECT_TRUE(transforms().empty());
    const Road four = run(gen, false, 0, 4, nullptr);
    EXPECT_EQ(four.drawn, (std::vector<std::string>{"T(0,1,2|111)p2r0", "T(1,3,2|111)p3r0"}));
    const Road forty = run(gen, false, 0, 40, nullptr);
    ASSERT_EQ(forty.drawn.size(), 38u);
    EXPECT_EQ(forty.transforms, (std::vector<std::string>{"0,0,36", "2,36,4"}));
    for (int i = 0; i < 38; ++i) {
        // Triangle i has the vertices i, i + 1 and i + 2, odd ones with the first two swapped
        // (the log starts each triangle at its smallest id).
        const std::string ids = i % 2 ? std::to_string(i) + "," + std::to_string(i + 2) + "," + std::to_string(i + 1)
                                      : std::to_string(i) + "," + std::to_string(i + 1) + "," + std::to_string(i + 2);
        EXPECT_EQ(forty.drawn[size_t(i)].rfind("T(" + ids + "|111)", 0), 0u) << forty.drawn[size_t(i)];
        EXPECT_NE(forty.drawn[size_t(i)].find("p" + std::to_string(i + 2) + "r0"), std::string::npos);
    }
}

TEST_F(StripDiff, TheLazyStubInstallsTheCachedRoutine) {
    GlArrayState &as = ctx->arrayState;
    as.renderers[GL_TRIANGLE_STRIP] = __glDrawArrayTriangleStripLazy;
    __glDrawArrayTriangleStripLazy(ctx, 0, 4, nullptr);
    const GlArrayRenderer installed = as.renderers[GL_TRIANGLE_STRIP];
    EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(installed)));
    EXPECT_EQ(drawn().size(), 2u);
    EXPECT_EQ(__glOgGenDrawVertexesProc(ctx, GL_TRIANGLE_STRIP, 1), installed) << "a state seen before reuses its code";
    // The routine fits its entry with room to spare (the bytes after it trap).
    const GlOgCache &c = __glOgContextOf(ctx)->caches[kGlOgCacheStrip];
    const uint8_t *code = reinterpret_cast<const uint8_t *>(installed);
    int used = c.entrySize;
    while (used > 0 && code[used - 1] == 0xCC) --used;
    EXPECT_LT(used, c.entrySize);
}

// When every entry of the strip cache holds a routine some slot still uses, nothing is
// generated and the stub installs the C renderer, which draws the strip.
TEST_F(StripDiff, ACacheWhoseEntriesAreAllLiveLeavesTheCRenderer) {
    GlArrayState &as = ctx->arrayState;
    GlOgCache &c = __glOgContextOf(ctx)->caches[kGlOgCacheStrip];
    ASSERT_LE(c.entryCount, 10);
    int slot = 0;
    for (GlOgCacheEntry *e = c.head; e; e = e->next) {
        e->key[0] = 0x4C495645;  // some other routine, installed in a slot
        as.renderers[slot++] = reinterpret_cast<GlArrayRenderer>(reinterpret_cast<void *>(e->code));
    }
    const std::vector<std::string> want = run(__glDrawArrayTriangleStrip, false, 0, 6, nullptr).drawn;
    clearLogs();
    __glDrawArrayTriangleStripLazy(ctx, 0, 6, nullptr);
    EXPECT_EQ(as.renderers[GL_TRIANGLE_STRIP], __glDrawArrayTriangleStrip);
    EXPECT_EQ(drawn(), want);
    for (GlOgCacheEntry *e = c.head; e; e = e->next) e->key[0] = uint32_t(kGlOgEmptyKey);
}

}  // namespace
