// The array renderers: one per primitive mode, turning the 160-byte records of the array cache
// into points, lines, triangles and polygons, for glDrawArrays/glDrawElements (array elements)
// and for the vertex cache's flushes (records already written, first 0, no index list).
//
// Every renderer runs one batch frame: elements are fetched and transformed 36 at a time into
// the front of the cache, the strip, loop and fan modes carrying one or two records of the
// previous batch in front of the new ones; a locked range that is already transformed is walked
// in one pass, record = element. Only the assembly of primitives differs between the modes.
#include <cstring>
#include <initializer_list>
#include "icd/core/core.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/clip.h"

namespace {

// Per mode: records below keptBelow always stand for the draw's first elements; carried records
// stand in front of a later batch's new elements.
struct GlIndexMapRow {
    int32_t keptBelow;
    int32_t carried;
};
static_assert(sizeof(GlIndexMapRow) == 8);
constexpr GlIndexMapRow kIndexMap[10] = {
    {0, 0},  // GL_POINTS
    {0, 0},  // GL_LINES
    {1, 2},  // GL_LINE_LOOP: the first vertex, then the previous batch's last
    {0, 1},  // GL_LINE_STRIP
    {0, 0},  // GL_TRIANGLES
    {0, 2},  // GL_TRIANGLE_STRIP
    {1, 2},  // GL_TRIANGLE_FAN: the centre, then the previous batch's last
    {0, 0},  // GL_QUADS
    {0, 2},  // GL_QUAD_STRIP
    {1, 2},  // GL_POLYGON: the first vertex, then the previous batch's last
};

inline GlPrimitiveProcs &prims(GlContext *ctx) { return ctx->slots.primitive; }
inline GlVertexBuffer &ring(GlContext *ctx) { return ctx->arrays.vertexBuffer; }

inline void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    prims(ctx).completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift](ctx, v, need);
}

// A record lacking window coordinates (outside, culled or never transformed) may lack
// attributes too: fetch its element again with every attribute before it is clipped.
void refetch(GlContext *ctx, GlVertex *v) {
    if (v->flags & kGlVertexWindowDone) return;
    GlArrayState &as = ctx->arrayState;
    int32_t element = int32_t(v - as.cacheBase);
    if (as.arrayFlags & kGlArrayRangeStale) element = __glArrayRecordElement(ctx, element);
    as.refetchVertex(ctx, v, element);
}

// Re-fetches the records of one primitive for the clipper, keeping the edge flags they carry:
// the caller has decided them (the strip, fan and quad-strip modes show every edge, the polygon
// hides its inner ones), and a re-fetch would bring back the edge-flag array's. Given back in
// reverse order, so that a record named twice ends with its own flag.
template <int N>
void refetchKeepingEdges(GlContext *ctx, GlVertex *const (&v)[N]) {
    uint8_t kept[N];
    for (int i = 0; i < N; ++i) kept[i] = v[i]->edgeFlag;
    for (GlVertex *r : v) refetch(ctx, r);
    for (int i = N - 1; i >= 0; --i) v[i]->edgeFlag = kept[i];
}

// Edge flags forced for the length of one call and given back afterwards (in reverse order, so
// a record named twice by an index list ends with its own flag). Forcing after the re-fetch
// keeps a re-fetched record from bringing its array edge flag into a triangle whose edges the
// mode decides, and a locked range's records keep their own flags for later draws.
class ForcedEdges {
public:
    ForcedEdges() = default;
    ForcedEdges(const ForcedEdges &) = delete;
    ForcedEdges &operator=(const ForcedEdges &) = delete;
    void set(GlVertex *v, uint8_t flag) {
        v_[n_] = v;
        saved_[n_] = v->edgeFlag;
        ++n_;
        v->edgeFlag = flag;
    }
    ~ForcedEdges() {
        while (n_ > 0) {
            --n_;
            v_[n_]->edgeFlag = saved_[n_];
        }
    }

private:
    GlVertex *v_[4];
    uint8_t saved_[4];
    int n_ = 0;
};

// The flag a vertex gets for one triangle: its own, or forced off or on.
enum Edge : uint8_t { kOff = 0, kOn = 1, kOwn = 2 };
inline void force(ForcedEdges &f, GlVertex *v, Edge e) {
    if (e != kOwn) f.set(v, e);
}

// One triangle: all beyond one plane draws nothing (no re-fetch), crossing goes to the
// triangle clip entry, else the render proc; the mode's edge flags hold for either call.
void triangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, Edge ea, Edge eb, Edge ec) {
    if (a->flags & b->flags & c->flags & kGlVertexClipMask) return;
    ForcedEdges f;
    force(f, a, ea);
    force(f, b, eb);
    force(f, c, ec);
    if ((a->flags | b->flags | c->flags) & kGlVertexClipMask) __glDoClipTriangle(ctx, a, b, c);
    else prims(ctx).renderTriangle(ctx, a, b, c);
}

// One segment after the first vertex was completed.
void segment(GlContext *ctx, GlVertex *p, GlVertex *v) {
    ring(ctx).provokingVertex = v;
    if (p->flags & v->flags & kGlVertexClipMask) return;
    if ((p->flags | v->flags) & kGlVertexClipMask) return __glClipArrayLine(ctx, p, v);
    complete(ctx, v, ctx->state.need.needMaskFront);
    prims(ctx).renderLine(ctx, p, v);
}

// ---- the batch ----------------------------------------------------------------------------------

// The records a mode assembles in one pass: record i is base + i, or base + indices[i] when a
// locked range is drawn through an index list.
struct Batch {
    GlVertex *base;
    const uint32_t *indices;
    int32_t carried;   // records in front of the new ones (0 in the draw's first batch)
    int32_t end;       // records in the batch, carried ones included
    int32_t position;  // the draw position of the first new record
    int32_t count;     // elements in the whole draw
    bool last;         // the draw's last batch

    GlVertex *operator[](int32_t i) const { return indices != nullptr ? base + indices[i] : base + i; }
    bool first() const { return position == 0; }
    int32_t positionOf(int32_t i) const { return position + i - carried; }
};

// ---- assembly per mode --------------------------------------------------------------------------
// kMultiple: the count is rounded down to a multiple of it; kMinimum: fewer draw nothing;
// kCarriedReady: the vertex cache may hand over carried records already transformed.

struct Points {
    static constexpr int32_t kMode = GL_POINTS, kMultiple = 1, kMinimum = 1;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        const uint32_t need = ctx->state.need.needMaskFront | kGlVertexFrontColorDone;
        for (int32_t i = b.carried; i < b.end; ++i) {
            GlVertex *v = b[i];
            if (v->flags & kGlVertexClipMask) continue;
            complete(ctx, v, need);
            prims(ctx).renderPoint(ctx, v);
        }
    }
};

struct Lines {
    static constexpr int32_t kMode = GL_LINES, kMultiple = 2, kMinimum = 2;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        for (int32_t i = b.carried; i + 1 < b.end; i += 2) {
            GlVertex *p = b[i], *v = b[i + 1];
            ring(ctx).lineReset = 0;
            ring(ctx).provokingVertex = v;
            if (p->flags & v->flags & kGlVertexClipMask) continue;
            if ((p->flags | v->flags) & kGlVertexClipMask) {
                __glClipArrayLine(ctx, p, v);
                continue;
            }
            complete(ctx, p, ctx->state.need.needMaskFront);
            complete(ctx, v, ctx->state.need.needMaskFront);
            prims(ctx).renderLine(ctx, p, v);
        }
    }
};

// The strip's first vertex is completed once; a later batch starts from its carried record.
struct LineStrip {
    static constexpr int32_t kMode = GL_LINE_STRIP, kMultiple = 1, kMinimum = 2;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        if (b.first()) {
            ring(ctx).lineReset = 0;
            complete(ctx, b[0], ctx->state.need.needMaskFront);
        }
        for (int32_t i = 1; i < b.end; ++i) segment(ctx, b[i - 1], b[i]);
    }
};

// Record 0 is the loop's first vertex in every batch; a later batch's segments run from the
// carried record 1; the last batch closes the loop back to record 0.
struct LineLoop {
    static constexpr int32_t kMode = GL_LINE_LOOP, kMultiple = 1, kMinimum = 2;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        if (b.first()) {
            ring(ctx).lineReset = 0;
            complete(ctx, b[0], ctx->state.need.needMaskFront);
        }
        for (int32_t i = b.first() ? 1 : 2; i < b.end; ++i) segment(ctx, b[i - 1], b[i]);
        if (b.last) segment(ctx, b[b.end - 1], b[0]);
    }
};

struct Triangles {
    static constexpr int32_t kMode = GL_TRIANGLES, kMultiple = 3, kMinimum = 3;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        for (int32_t i = b.carried; i + 2 < b.end; i += 3) {
            GlVertex *c = b[i + 2];
            ring(ctx).lineReset = 0;
            ring(ctx).provokingVertex = c;
            triangle(ctx, b[i], b[i + 1], c, kOwn, kOwn, kOwn);
        }
    }
};

// Every other triangle swaps its first two vertices to keep the winding of the first; which
// ones follows the vertex's place in the whole strip, across batches.
struct TriangleStrip {
    static constexpr int32_t kMode = GL_TRIANGLE_STRIP, kMultiple = 1, kMinimum = 3;
    static constexpr bool kCarriedReady = true;
    static void assemble(GlContext *ctx, const Batch &b) {
        for (int32_t i = 2; i < b.end; ++i) {
            GlVertex *v = b[i], *p = b[i - 1], *pp = b[i - 2];
            ring(ctx).lineReset = 0;
            ring(ctx).provokingVertex = v;
            if ((b.positionOf(i) & 1) == 0) triangle(ctx, pp, p, v, kOn, kOn, kOn);
            else triangle(ctx, p, pp, v, kOn, kOn, kOn);
        }
    }
};

struct TriangleFan {
    static constexpr int32_t kMode = GL_TRIANGLE_FAN, kMultiple = 1, kMinimum = 3;
    static constexpr bool kCarriedReady = true;
    static void assemble(GlContext *ctx, const Batch &b) {
        GlVertex *a = b[0];
        for (int32_t i = 2; i < b.end; ++i) {
            GlVertex *v = b[i];
            ring(ctx).lineReset = 0;
            ring(ctx).provokingVertex = v;
            triangle(ctx, a, b[i - 1], v, kOn, kOn, kOn);
        }
    }
};

// The four records of a quad: all beyond one plane nothing, crossing the polygon clipper, else
// two triangles drawn with the diagonal hidden in both.
struct Quads {
    static constexpr int32_t kMode = GL_QUADS, kMultiple = 4, kMinimum = 4;
    static constexpr bool kCarriedReady = false;
    static void assemble(GlContext *ctx, const Batch &b) {
        for (int32_t i = b.carried; i + 3 < b.end; i += 4) {
            GlVertex *q0 = b[i], *q1 = b[i + 1], *q2 = b[i + 2], *q3 = b[i + 3];
            ring(ctx).provokingVertex = q3;
            ring(ctx).lineReset = 0;
            if (q0->flags & q1->flags & q2->flags & q3->flags & kGlVertexClipMask) continue;
            if ((q0->flags | q1->flags | q2->flags | q3->flags) & kGlVertexClipMask) {
                __glClipArrayQuad(ctx, q0, q1, q2, q3);
                continue;
            }
            {
                ForcedEdges f;
                f.set(q1, 0);
                prims(ctx).renderTriangle(ctx, q0, q1, q3);
            }
            ForcedEdges f;
            f.set(q3, 0);
            prims(ctx).renderTriangle(ctx, q1, q2, q3);
        }
    }
};

// Each new pair (c, d) closes a quad with the previous pair (a, b); its boundary runs a, b, d, c.
struct QuadStrip {
    static constexpr int32_t kMode = GL_QUAD_STRIP, kMultiple = 2, kMinimum = 4;
    static constexpr bool kCarriedReady = true;
    static void assemble(GlContext *ctx, const Batch &b) {
        for (int32_t i = 3; i < b.end; i += 2) {
            GlVertex *q0 = b[i - 3], *q1 = b[i - 2], *q2 = b[i - 1], *q3 = b[i];
            ring(ctx).provokingVertex = q3;
            ring(ctx).lineReset = 0;
            if (q0->flags & q1->flags & q2->flags & q3->flags & kGlVertexClipMask) continue;
            const bool crossing = ((q0->flags | q1->flags | q2->flags | q3->flags) & kGlVertexClipMask) != 0;
            if (crossing) {
                ForcedEdges f;
                for (GlVertex *v : {q0, q1, q3, q2}) f.set(v, 1);
                __glClipArrayQuad(ctx, q0, q1, q3, q2);
                continue;
            }
            {
                ForcedEdges f;
                f.set(q0, 1);
                f.set(q1, 0);
                f.set(q2, 1);
                prims(ctx).renderTriangle(ctx, q0, q1, q2);
            }
            ForcedEdges f;
            f.set(q2, 0);
            f.set(q1, 1);
            f.set(q3, 1);
            prims(ctx).renderTriangle(ctx, q2, q1, q3);
        }
    }
};

// A fan around the first vertex. Only the polygon's own boundary edges are shown: the edge from
// the first vertex counts only in the first triangle, the closing edge back to it only in the
// last, by position in the whole polygon.
struct Polygon {
    static constexpr int32_t kMode = GL_POLYGON, kMultiple = 1, kMinimum = 3;
    static constexpr bool kCarriedReady = true;
    static void assemble(GlContext *ctx, const Batch &b) {
        if (b.first()) ring(ctx).lineReset = 0;
        GlVertex *a = b[0];
        for (int32_t i = 2; i < b.end; ++i) {
            GlVertex *v = b[i];
            const int32_t at = b.positionOf(i);
            ring(ctx).provokingVertex = a;
            triangle(ctx, a, b[i - 1], v, at == 2 ? kOwn : kOff, kOwn, at == b.count - 1 ? kOwn : kOff);
        }
    }
};

// ---- the frame ----------------------------------------------------------------------------------

template <class Mode>
void drawBatches(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) {
    GlArrayState &as = ctx->arrayState;
    constexpr GlIndexMapRow row = kIndexMap[Mode::kMode];
    as.drawMode = Mode::kMode;
    as.drawFirst = first;
    as.drawIndices = indices;
    GlVertex *const records = as.cacheBase;
    int32_t done = 0, end = 0;
    while (done < count) {
        int32_t carried = 0;
        if (done != 0 && row.carried != 0) {
            // Whole records, each copy's colour pointing at its own front colour. The fan, the
            // polygon and the loop keep their first vertex in record 0.
            const int32_t from = row.keptBelow, take = row.carried - row.keptBelow;
            for (int32_t k = 0; k < take; ++k) {
                GlVertex *copy = records + from + k;
                std::memcpy(copy, records + end - take + k, sizeof(GlVertex));
                copy->color = copy->frontColor;
            }
            carried = row.carried;
        }
        // 36 new elements at most: a multiple of 2, 3 and 4, so no independent line, triangle
        // or quad straddles two batches.
        const int32_t n = count - done < kGlArrayBatchSize ? count - done : kGlArrayBatchSize;
        const int32_t element = first + done;
        as.batchFirst = element;
        if (done == 0 && Mode::kCarriedReady && as.carriedReady) {
            // The vertex cache's carried records at the front are transformed already.
            if (n > 2) as.batchTransform(ctx, 2, element + 2, n - 2, indices);
        } else {
            as.batchTransform(ctx, carried, element, n, indices);
        }
        end = carried + n;
        Mode::assemble(ctx, Batch{records, nullptr, carried, end, done, count, done + n == count});
        done += n;
    }
}

template <class Mode>
void drawArray(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) {
    count -= count % Mode::kMultiple;
    if (count < Mode::kMinimum) return;
    GlArrayState &as = ctx->arrayState;
    // The frame needs room for a batch and its carried records.
    if (as.cacheBlock == nullptr || as.cacheBytes < int32_t(kGlArrayCacheInitialRecords * sizeof(GlVertex))) return;

    if (as.arrayFlags & kGlArrayRangeStale) return drawBatches<Mode>(ctx, first, count, indices);

    // The locked range is transformed: element e is record cacheBase + e. (The entries send a
    // draw that reaches outside the range the batch way.)
    as.drawMode = Mode::kMode;
    as.drawFirst = first;
    as.drawIndices = indices;
    as.batchFirst = first;
    GlVertex *base = indices != nullptr ? as.cacheBase : as.cacheBase + first;
    Mode::assemble(ctx, Batch{base, indices, 0, count, 0, count, true});
}

}  // namespace

int32_t __glArrayRecordElement(GlContext *ctx, int32_t record) {
    const GlArrayState &as = ctx->arrayState;
    const GlIndexMapRow &row = kIndexMap[uint32_t(as.drawMode) < 10 ? as.drawMode : 0];
    const int32_t element = record < row.keptBelow || as.batchFirst - as.drawFirst <= 0
                                ? record + as.drawFirst
                                : record - row.carried + as.batchFirst;
    return as.drawIndices != nullptr ? int32_t(as.drawIndices[element]) : element;
}

void __glDoClipTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    refetchKeepingEdges(ctx, {a, b, c});
    if (a->flags & b->flags & c->flags & kGlVertexClipMask) return;
    prims(ctx).clipTriangle(ctx, a, b, c, (a->flags | b->flags | c->flags) & kGlVertexClipMask);
}

void __glClipArrayLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    refetch(ctx, a);
    refetch(ctx, b);
    if (a->flags & b->flags & kGlVertexClipMask) return;
    __glClipLine(ctx, a, b);
}

void __glClipArrayQuad(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, GlVertex *d) {
    refetchKeepingEdges(ctx, {a, b, c, d});
    if (a->flags & b->flags & c->flags & d->flags & kGlVertexClipMask) return;
    GlVertex *list[4] = {a, b, c, d};
    __glClipDrawPolygon(ctx, list, 4, (a->flags | b->flags | c->flags | d->flags) & kGlVertexClipMask);
}

#define GL_ARRAY_RENDERERS(X) \
    X(Points) X(Lines) X(LineLoop) X(LineStrip) X(Triangles) X(TriangleStrip) X(TriangleFan) X(Quads) X(QuadStrip) X(Polygon)
#define GL_DEFINE_RENDERER(mode)                                                                   \
    void __glDrawArray##mode(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) { \
        drawArray<mode>(ctx, first, count, indices);                                               \
    }
GL_ARRAY_RENDERERS(GL_DEFINE_RENDERER)
#undef GL_DEFINE_RENDERER
#undef GL_ARRAY_RENDERERS

// The generated strip routine replaces this stub in its slot at the first strip drawn; the
// array picker puts the stub back when the state changes.
void __glDrawArrayTriangleStripLazy(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) {
    GlArrayRenderer routine = __glOgGenDrawVertexesProc(ctx, 5, indices != nullptr);
    if (routine == nullptr || routine == __glDrawArrayTriangleStripLazy) routine = __glDrawArrayTriangleStrip;
    ctx->arrayState.renderers[GL_TRIANGLE_STRIP] = routine;
    routine(ctx, first, count, indices);
}

void __glSetArrayFanPolygonRenderers(GlContext *ctx) {
    ctx->arrayState.renderers[GL_TRIANGLE_FAN] = __glDrawArrayTriangleFan;
    ctx->arrayState.renderers[GL_POLYGON] = __glDrawArrayPolygon;
}
