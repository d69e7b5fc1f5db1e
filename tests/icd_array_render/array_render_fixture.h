// A current context whose array state feeds the renderers from a test array: element e becomes
// a record at object x = e / 100 (its id), y 0.5, and z 2 (beyond the far plane) when the
// element is marked outside; the transform and the re-fetch are logged. Render and clip procs
// are spies that log what they receive (ids, edge flags at the time of the call, provoking
// vertex, line-reset byte); immediate mode draws the same elements through the same spies.
#pragma once
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>
#include "tests/icd_immediate/immediate_fixture.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/clip.h"

namespace arraytest {

struct Element {
    bool out = false;
    uint8_t edge = 1;
};

inline std::vector<Element> &elements() {
    static std::vector<Element> e;
    return e;
}
inline std::vector<std::string> &transforms() {
    static std::vector<std::string> t;
    return t;
}
inline std::vector<int> &refetched() {
    static std::vector<int> r;
    return r;
}
inline std::vector<std::string> &drawn() {
    static std::vector<std::string> d;
    return d;
}
inline GlContext *&spyContext() {
    static GlContext *c;
    return c;
}

constexpr int kClipMade = 999;  // the id of a vertex the clipper made
inline int idOf(const GlVertex *v) { return int(std::lround(v->obj[0] * 100.0f)); }
inline std::string idText(const GlVertex *v) { return idOf(v) == kClipMade ? "*" : std::to_string(idOf(v)); }

inline void fillRecord(GlVertex *r, int32_t e, uint32_t extraFlags) {
    const Element &el = elements().at(size_t(e));
    const float obj[4] = {float(e) / 100.0f, 0.5f, el.out ? 2.0f : 0.0f, 1.0f};
    std::memcpy(r->obj, obj, sizeof obj);
    std::memcpy(r->clip, obj, sizeof obj);  // identity composite
    r->flags = kGlVertexSize3 | (el.out ? uint32_t(kGlClipFar) : uint32_t(kGlVertexWindowDone)) | extraFlags;
    r->color = r->frontColor;
    r->edgeFlag = el.edge;
}

inline void testBatchTransform(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count,
                               const uint32_t *indices) {
    transforms().push_back(std::to_string(firstRecord) + "," + std::to_string(firstElement) + "," +
                           std::to_string(count));
    GlVertex *base = ctx->arrayState.cacheBase + firstRecord;
    for (int32_t i = 0; i < count; ++i)
        fillRecord(base + i, indices != nullptr ? int32_t(indices[firstElement + i]) : firstElement + i, 0);
}
// Every attribute again; the done bit whatever the out-codes, as the full transform does.
inline void testRefetch(GlContext *, GlVertex *r, int32_t element) {
    refetched().push_back(element);
    fillRecord(r, element, kGlVertexWindowDone);
}

// The clipper's new vertices: clip coordinates interpolated, marked as made by the clipper.
inline void testInterp(GlVertex *dst, const GlVertex *a, const GlVertex *b, float t) {
    for (int k = 0; k < 4; ++k) dst->clip[k] = b->clip[k] + t * (a->clip[k] - b->clip[k]);
    dst->obj[0] = float(kClipMade) / 100.0f;
    dst->color = dst->frontColor;
}

// A triangle's vertices with their edge flags, rotated to start at the smallest id: the two
// roads may start a triangle at different vertices, which draws the same edges.
inline std::string triangleText(const char *tag, GlVertex *a, GlVertex *b, GlVertex *c) {
    GlVertex *v[3] = {a, b, c};
    int start = 0;
    for (int i = 1; i < 3; ++i)
        if (idOf(v[i]) < idOf(v[start])) start = i;
    std::string ids, flags;
    for (int i = 0; i < 3; ++i) {
        GlVertex *x = v[(start + i) % 3];
        ids += (i ? "," : "") + idText(x);
        flags += x->edgeFlag ? "1" : "0";
    }
    GlContext *ctx = spyContext();
    return std::string(tag) + "(" + ids + "|" + flags + ")p" + idText(ctx->arrays.vertexBuffer.provokingVertex) + "r" +
           std::to_string(ctx->arrays.vertexBuffer.lineReset);
}
// The spies set the line-reset byte after each primitive, as a rasteriser continuing a stipple
// would, so a log shows where it was cleared.
inline void spyPoint(GlContext *ctx, GlVertex *v) {
    drawn().push_back("Pt(" + idText(v) + ")");
    ctx->arrays.vertexBuffer.lineReset = 1;
}
inline void spyLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    drawn().push_back("L(" + idText(a) + "," + idText(b) + ")r" + std::to_string(ctx->arrays.vertexBuffer.lineReset));
    ctx->arrays.vertexBuffer.lineReset = 1;
}
inline void spyTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    drawn().push_back(triangleText("T", a, b, c));
    ctx->arrays.vertexBuffer.lineReset = 1;
}
inline void spyClipTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t) {
    drawn().push_back(triangleText("CT", a, b, c));
    ctx->arrays.vertexBuffer.lineReset = 1;
}

}  // namespace arraytest

// Immediate mode and the array roads drawing into the same spies.
class SpiedRoadsTest : public ImmediateTest {
protected:
    void (*realValidate)(GlContext *) = nullptr;

    void SetUp() override {
        ImmediateTest::SetUp();
        realValidate = ctx->slots.validate;
        installSpies(ctx);
        setElements(100);
        clearLogs();
    }
    // The spies in the render and clip slots; lines and polygons that cross a plane go through
    // the real clippers on both roads, whose new vertices are marked. Validation is held off
    // so that nothing replaces the spies.
    static void installSpies(GlContext *ctx) {
        using namespace arraytest;
        spyContext() = ctx;
        ctx->slots.validate = [](GlContext *) {};
        GlPrimitiveProcs &p = ctx->slots.primitive;
        p.renderPoint = spyPoint;
        p.renderLine = spyLine;
        p.renderTriangle = spyTriangle;
        p.clipTriangle = spyClipTriangle;
        p.clipLine = __glDoClipLineSmooth;
        p.clipPolygon = [](GlContext *c, GlVertex **list, int32_t n, uint32_t codes) {
            __glClipDrawPolygon(c, list, n, codes);
        };
        p.renderPolygon = __glClipDrawPolygonRun;
        ctx->state.clip.polygonProc = nullptr;  // polygons as fans of triangles
        ctx->state.clip.clipInterpLine = testInterp;
        ctx->state.clip.clipInterpPolygon = testInterp;
    }
    static void clearLogs() {
        arraytest::drawn().clear();
        arraytest::transforms().clear();
        arraytest::refetched().clear();
    }
    // n elements, all inside with edge flag 1, then the given ones outside.
    static void setElements(int n, std::initializer_list<int> outside = {}) {
        arraytest::elements().assign(size_t(n), arraytest::Element{});
        for (int e : outside) arraytest::elements().at(size_t(e)).out = true;
    }

    // The elements drawn in immediate mode, through the live table.
    std::vector<std::string> immediate(GLenum mode, int32_t first, int32_t count, const uint32_t *indices = nullptr) {
        clearLogs();
        ctx->arrays.vertexBuffer.lineReset = 1;
        GL(glBegin)(mode);
        GLboolean edge = 1;
        GL(glEdgeFlag)(edge);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t e = indices != nullptr ? int32_t(indices[i]) : first + i;
            const arraytest::Element &el = arraytest::elements().at(size_t(e));
            if (el.edge != edge) GL(glEdgeFlag)(edge = el.edge);
            GL(glVertex3f)(float(e) / 100.0f, 0.5f, el.out ? 2.0f : 0.0f);
        }
        GL(glEnd)();
        GL(glEdgeFlag)(1);
        return arraytest::drawn();
    }
};

class ArrayRenderTest : public SpiedRoadsTest {
protected:
    std::vector<GlVertex> block = std::vector<GlVertex>(64);
    GlArrayState saved{};

    void SetUp() override {
        SpiedRoadsTest::SetUp();
        saved = ctx->arrayState;
        GlArrayState &as = ctx->arrayState;
        as.cacheBlock = as.cacheBase = block.data();
        as.cacheBytes = int32_t(block.size() * sizeof(GlVertex));
        as.arrayFlags = kGlArrayRangeStale;
        as.lockFirst = as.lockCount = 0;
        as.carriedReady = 0;
        as.batchTransform = arraytest::testBatchTransform;
        as.refetchVertex = arraytest::testRefetch;
    }
    void TearDown() override {
        ctx->arrayState = saved;
        SpiedRoadsTest::TearDown();
    }

    // The array renderer of the mode over the same elements.
    std::vector<std::string> arrays(GLenum mode, int32_t first, int32_t count, const uint32_t *indices = nullptr) {
        clearLogs();
        ctx->arrays.vertexBuffer.lineReset = 1;
        renderer(mode)(ctx, first, count, indices);
        return arraytest::drawn();
    }
    static GlArrayRenderer renderer(GLenum mode) {
        static const GlArrayRenderer all[10] = {
            __glDrawArrayPoints,    __glDrawArrayLines,         __glDrawArrayLineLoop,   __glDrawArrayLineStrip,
            __glDrawArrayTriangles, __glDrawArrayTriangleStrip, __glDrawArrayTriangleFan, __glDrawArrayQuads,
            __glDrawArrayQuadStrip, __glDrawArrayPolygon};
        return all[mode];
    }
};
