// The batch flush procs of the vertex cache: one per primitive mode, each drawing the cached
// records through the mode's array renderer and carrying on the records a primitive that goes on
// past the batch still needs. The modes differ only in the data of one table row; line loops and
// polygons add their split bookkeeping (the loop's closing segment, the hidden split edges).
#include <cstring>
#include "icd/vertex/vertex_cache.h"

namespace {
// What a full batch (kind 2) keeps for the next one.
enum class Carry : uint8_t {
    None,          // independent primitives: nothing
    Last,          // line strip: the last record becomes record 0
    LastTwo,       // triangle and quad strips: the last two become records 0 and 1
    FirstAndLast,  // fan: record 0 stays, the last record becomes record 1
    LineLoop,      // as the fan, with the loop's split flag
    Polygon,       // as the fan, with the polygon's split flag and hidden split edges
};

struct BatchRule {
    int32_t minCount;  // fewer records draw nothing
    Carry carry;
    uint8_t carriesTransformed;  // the renderer skips the carried records' transform next time
};

constexpr BatchRule kRules[10] = {
    {1, Carry::None, 0},          // GL_POINTS
    {2, Carry::None, 0},          // GL_LINES
    {2, Carry::LineLoop, 0},      // GL_LINE_LOOP
    {2, Carry::Last, 0},          // GL_LINE_STRIP
    {3, Carry::None, 0},          // GL_TRIANGLES
    {3, Carry::LastTwo, 1},       // GL_TRIANGLE_STRIP
    {3, Carry::FirstAndLast, 1},  // GL_TRIANGLE_FAN
    {4, Carry::None, 0},          // GL_QUADS
    {4, Carry::LastTwo, 1},       // GL_QUAD_STRIP
    {3, Carry::Polygon, 1},       // GL_POLYGON
};

// Whole records, each copy's colour pointing at its own front colour.
void carryRecord(GlVertex *dst, const GlVertex *src) {
    if (dst != src) std::memmove(dst, src, sizeof(GlVertex));
    dst->color = dst->frontColor;
}

// Draws n records from record first on as one draw of the mode's renderer: the renderer sees
// them as elements 0 .. n - 1, so element numbers stay record numbers relative to cacheBase.
void render(GlContext *ctx, GLenum mode, int32_t first, int32_t n, bool draw) {
    if (!draw || n < kRules[mode].minCount) return;
    GlArrayState &as = ctx->arrayState;
    GlVertex *base = as.cacheBase;
    as.cacheBase = ctx->vertexCache.records + first;
    as.renderers[mode](ctx, 0, n, nullptr);
    as.cacheBase = base;
}

// A loop that outgrows one batch is drawn as strips; the last one closes back to record 0.
void drawLineLoop(GlContext *ctx, int32_t kind, bool draw) {
    GlVertexCache &vc = ctx->vertexCache;
    const int32_t n = vc.count;
    const bool split = (vc.batchFlags & kGlVcacheLineLoopSplit) != 0;
    if (!split && kind != 2) return render(ctx, GL_LINE_LOOP, 0, n, draw);
    if (!split) {
        vc.batchFlags |= kGlVcacheLineLoopSplit;
        return render(ctx, GL_LINE_STRIP, 0, n, draw);
    }
    if (kind == 1) {
        // Record n is within the block: a batch holds at most 36 records of 38.
        carryRecord(vc.records + n, vc.records);
        vc.batchFlags &= ~kGlVcacheLineLoopSplit;
        return render(ctx, GL_LINE_STRIP, 1, n, draw);
    }
    render(ctx, GL_LINE_STRIP, 1, n - 1, draw);
}

// A polygon that outgrows one batch is drawn as a fan of sub-polygons around its first vertex;
// the edges back to the first vertex that a split creates are hidden. Returns the last record's
// own edge flag, which the record carries on.
uint8_t drawPolygon(GlContext *ctx, int32_t kind, bool draw) {
    GlVertexCache &vc = ctx->vertexCache;
    const int32_t n = vc.count;
    GlVertex *last = vc.records + (n > 0 ? n - 1 : 0);
    const uint8_t ownEdge = last->edgeFlag;
    const bool split = (vc.batchFlags & kGlVcachePolygonSplit) != 0;
    if (kind == 2) {
        vc.batchFlags |= kGlVcachePolygonSplit;
        last->edgeFlag = 0;
    } else if (kind == 1) {
        vc.batchFlags &= ~kGlVcachePolygonSplit;
    } else if (split) {
        last->edgeFlag = 0;
    }
    render(ctx, GL_POLYGON, 0, n, draw);
    return ownEdge;
}

void runBatch(GlContext *ctx, uint32_t mode, int32_t kind, bool draw) {
    GlVertexCache &vc = ctx->vertexCache;
    const BatchRule &rule = kRules[mode];
    uint8_t lastEdge = 1;
    if (rule.carry == Carry::LineLoop) drawLineLoop(ctx, kind, draw);
    else if (rule.carry == Carry::Polygon) lastEdge = drawPolygon(ctx, kind, draw);
    else render(ctx, mode, 0, vc.count, draw);

    GlVertex *r = vc.records;
    const int32_t n = vc.count;
    const int32_t keep = rule.carry == Carry::None ? 0 : rule.carry == Carry::Last ? 1 : 2;
    if (kind != 2 || keep == 0 || n < keep) {
        vc.count = vc.completed = 0;
        vc.batchFlags &= ~kGlVcacheCompleted;
        return;
    }
    switch (rule.carry) {
    case Carry::Last:
        carryRecord(r, r + n - 1);
        break;
    case Carry::LastTwo:
        carryRecord(r, r + n - 2);
        carryRecord(r + 1, r + n - 1);
        break;
    case Carry::Polygon:
        carryRecord(r + 1, r + n - 1);
        r[1].edgeFlag = lastEdge;
        r[0].edgeFlag = 0;  // the edge from the first vertex to the carried one is interior now
        break;
    default:  // fan and line loop: record 0 stays
        carryRecord(r + 1, r + n - 1);
        break;
    }
    // The carried records stay pending: the batch's drawing completed them only for the faces it
    // drew (a culled triangle completes nothing), and a material change before they are drawn
    // again must find them still lit with their own material. Completion skips done bits.
    vc.count = keep;
    vc.completed = 0;
    if (rule.carriesTransformed) ctx->arrayState.carriedReady = 1;
}
}  // namespace

#define GL_BATCH_MODES(X)                                                                          \
    X(Points, GL_POINTS) X(Lines, GL_LINES) X(LineLoop, GL_LINE_LOOP) X(LineStrip, GL_LINE_STRIP)    \
    X(Triangles, GL_TRIANGLES) X(TriangleStrip, GL_TRIANGLE_STRIP) X(TriangleFan, GL_TRIANGLE_FAN) \
    X(Quads, GL_QUADS) X(QuadStrip, GL_QUAD_STRIP) X(Polygon, GL_POLYGON)

#define GL_DEFINE_BATCH(name, mode) \
    void __glBatch##name(GlContext *ctx, int32_t kind) { runBatch(ctx, mode, kind, true); }
GL_BATCH_MODES(GL_DEFINE_BATCH)
#undef GL_DEFINE_BATCH

#define GL_BATCH_ENTRY(name, mode) __glBatch##name,
const GlBatchFlushProc __glBatchFlushProcs[10] = {GL_BATCH_MODES(GL_BATCH_ENTRY)};
#undef GL_BATCH_ENTRY

void __glDropVertexCacheBatch(GlContext *ctx, int32_t kind) {
    const uint32_t mode = uint32_t(ctx->vertexCache.mode);
    if (mode <= GL_POLYGON) {
        runBatch(ctx, mode, kind, false);
    } else {
        ctx->vertexCache.count = ctx->vertexCache.completed = 0;
    }
    // Nothing of the dropped batch was transformed, the carried records included.
    ctx->arrayState.carriedReady = 0;
}
