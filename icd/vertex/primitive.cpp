// glBegin/glEnd and the primitive state machines. Each handler does the work of one position
// in its primitive and installs the handler of the next position into the vertex slot, so no
// handler tests the primitive type or loops over vertices. Triangles are trivially accepted or
// rejected on the clip bits of their vertices before any clipping.
#include <cstddef>
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/vertex_ring.h"

namespace {
inline GlVertexBuffer &vb(GlContext *ctx) { return ctx->arrays.vertexBuffer; }
inline GlPrimitiveProcs &pp(GlContext *ctx) { return ctx->slots.primitive; }
inline GlVertex *rec(GlContext *ctx, int i) { return __glVertexRing(ctx) + i; }
inline void setVertex(GlContext *ctx, GlVertexProc handler) { ctx->slots.primitive.vertex = handler; }

// The early vertices of a primitive: kept in the buffer slot the later steps read, the next
// record opened, the handler of the next position installed.
template <GlVertex *GlVertexBuffer::*Keep>
void keepVertex(GlContext *ctx, GlVertex *v, GlVertexProc next) {
    v->edgeFlag = 1;
    vb(ctx).*Keep = v;
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, next);
}

inline void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    pp(ctx).completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift](ctx, v, need);
}
inline void completePendingOf(GlContext *ctx, GlVertex *v) { complete(ctx, v, ctx->state.need.needMaskPending); }

// Every mode starts writing at record 0 with nothing pending beyond what it says.
inline void begin(GlContext *ctx, GlVertexProc first, GlProc completePending) {
    vb(ctx).writePtr = rec(ctx, 0);
    setVertex(ctx, first);
    ctx->slots.completePending = completePending;
}

// A triangle: nothing when all three are beyond one plane, the clipper when they cross one,
// else the render proc.
inline void drawTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    const uint32_t andCodes = a->flags & b->flags & c->flags & kGlVertexClipMask;
    if (andCodes) return;
    const uint32_t orCodes = (a->flags | b->flags | c->flags) & kGlVertexClipMask;
    if (orCodes) pp(ctx).clipTriangle(ctx, a, b, c, orCodes);
    else pp(ctx).renderTriangle(ctx, a, b, c);
}

// The GL_POLYGON ring: the first vertex and the one before it.
constexpr int kLastRecord = kGlVertexBufferSize - 1;
}  // namespace

// ---- shared ------------------------------------------------------------------------------------------
void __glPrimEnd(GlContext *ctx) {
    setVertex(ctx, __glPrimIgnoreVertex);
    ctx->slots.endPrimitive = __glPrimEnd;
    ctx->slots.completePending = __glNopProc;
}

void __glPrimCompletePending(GlContext *ctx) {
    for (GlVertex *v = rec(ctx, 0); v < vb(ctx).writePtr; ++v) completePendingOf(ctx, v);
}
void __glPrimCompletePendingFan(GlContext *ctx) {
    completePendingOf(ctx, rec(ctx, 0));
    completePendingOf(ctx, vb(ctx).prev);
}
void __glPrimCompletePending1(GlContext *ctx) { completePendingOf(ctx, vb(ctx).prev); }
void __glPrimCompletePending2(GlContext *ctx) {
    completePendingOf(ctx, vb(ctx).prev);
    completePendingOf(ctx, vb(ctx).prev2);
}
void __glPrimCompletePending3(GlContext *ctx) {
    __glPrimCompletePending2(ctx);
    completePendingOf(ctx, vb(ctx).prev3);
}
void __glPrimCompletePendingQuad(GlContext *ctx) {
    completePendingOf(ctx, vb(ctx).prev2);
    completePendingOf(ctx, vb(ctx).prev3);
}

// ---- GL_POINTS: every vertex in record 0 ----------------------------------------------------------------
void __glPrimPointsEnd(GlContext *ctx) { __glPrimEnd(ctx); }

void __glPrimPointsBegin(GlContext *ctx) {
    begin(ctx, pp(ctx).pointsVertex, __glNopProc);
    ctx->slots.endPrimitive = __glPrimPointsEnd;
}

// A clipped point is dropped before anything is computed for it.
void __glPrimPointsVertexComplete(GlContext *ctx, GlVertex *v) {
    if (v->flags & kGlVertexClipMask) return;
    complete(ctx, v, ctx->state.need.needMaskFront | kGlVertexFrontColorDone);
    pp(ctx).renderPoint(ctx, v);
}

void __glPrimPointsVertex(GlContext *ctx, GlVertex *v) {
    if (!(v->flags & kGlVertexClipMask)) pp(ctx).renderPoint(ctx, v);
}

// ---- GL_LINES: records 0 and 1 ----------------------------------------------------------------------------
void __glLinesFirstVertex(GlContext *ctx, GlVertex *v) {
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, pp(ctx).linesSecondVertex);
}

void __glLinesSecondVertex(GlContext *ctx, GlVertex *v) {
    vb(ctx).writePtr = v - 1;
    vb(ctx).lineReset = 0;
    setVertex(ctx, __glLinesFirstVertex);
    pp(ctx).clipLine(ctx, v - 1, v);
}

void __glBeginLines(GlContext *ctx) {
    begin(ctx, __glLinesFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_LINE_STRIP: records 0 and 1 alternate --------------------------------------------------------------
void __glLineStripFirstVertex(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    b.prev = v;
    ctx->slots.completePending = __glPrimCompletePending1;
    b.writePtr = v + 1;
    setVertex(ctx, pp(ctx).stripNextVertex);
    if (ctx->state.need.needMaskFront != 0) complete(ctx, v, ctx->state.need.needMaskFront);
}

void __glLineStripVertex(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    GlVertex *a = b.prev;
    b.writePtr = a;
    b.prev = v;
    if ((a->flags | v->flags) & kGlVertexClipMask) pp(ctx).clipLine(ctx, a, v);
    else pp(ctx).renderLine(ctx, a, v);
}

// The previous vertex was completed when it arrived: only the new one needs completing.
void __glLineStripVertexComplete(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    GlVertex *a = b.prev;
    b.writePtr = a;
    b.prev = v;
    if (a->flags & v->flags & kGlVertexClipMask) return;
    if ((a->flags | v->flags) & kGlVertexClipMask) return pp(ctx).clipLine(ctx, a, v);
    complete(ctx, v, ctx->state.need.needMaskFront);
    pp(ctx).renderLine(ctx, a, v);
}

void __glBeginLineStrip(GlContext *ctx) {
    vb(ctx).lineReset = 0;
    begin(ctx, __glLineStripFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_LINE_LOOP: record 0 kept, then the strip handler over records 1 and 2 ---------------------------
void __glLineLoopSecondVertex(GlContext *ctx, GlVertex *v);

void __glLineLoopFirstVertex(GlContext *ctx, GlVertex *v) {
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, __glLineLoopSecondVertex);
}

void __glLineLoopSecondVertex(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    b.writePtr = v + 1;
    b.prev = v;
    setVertex(ctx, pp(ctx).stripNextVertex);
    ctx->slots.completePending = __glPrimCompletePendingFan;
    pp(ctx).clipLine(ctx, v - 1, v);
}

// Closes the loop from the last vertex back to the first; fewer than two vertices draw nothing.
void __glEndLineLoop(GlContext *ctx) {
    GlVertexProc at = pp(ctx).vertex;
    if (at != __glLineLoopFirstVertex && at != __glLineLoopSecondVertex) pp(ctx).clipLine(ctx, vb(ctx).prev, rec(ctx, 0));
    __glPrimEnd(ctx);
}

void __glBeginLineLoop(GlContext *ctx) {
    vb(ctx).lineReset = 0;
    begin(ctx, __glLineLoopFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glEndLineLoop;
}

// ---- GL_TRIANGLES: records 0-2 -------------------------------------------------------------------------------
void __glPrimTrianglesFirstVertex(GlContext *ctx, GlVertex *v);
void __glPrimTrianglesThirdVertex(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    b.lineReset = 0;
    v->edgeFlag = ctx->current.edgeFlag;
    b.provokingVertex = v;
    b.writePtr = rec(ctx, 0);
    setVertex(ctx, __glPrimTrianglesFirstVertex);
    drawTriangle(ctx, v, rec(ctx, 0), rec(ctx, 1));
}
void __glPrimTrianglesSecondVertex(GlContext *ctx, GlVertex *v) {
    v->edgeFlag = ctx->current.edgeFlag;
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, __glPrimTrianglesThirdVertex);
}
void __glPrimTrianglesFirstVertex(GlContext *ctx, GlVertex *v) {
    v->edgeFlag = ctx->current.edgeFlag;
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, __glPrimTrianglesSecondVertex);
}

void __glPrimTrianglesBegin(GlContext *ctx) {
    begin(ctx, __glPrimTrianglesFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_TRIANGLE_STRIP: three records in turn; A and B alternate to keep the first winding ---------------
void __glPrimTriangleStripNextVertexA(GlContext *ctx, GlVertex *v);
void __glPrimTriangleStripNextVertexB(GlContext *ctx, GlVertex *v);

template <bool A>
void triangleStripNext(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    GlVertex *a = b.prev, *c = b.prev2;
    b.lineReset = 0;
    v->edgeFlag = 1;
    b.provokingVertex = v;
    b.writePtr = c;
    b.prev = v;
    b.prev2 = a;
    if (A) {
        setVertex(ctx, __glPrimTriangleStripNextVertexB);
        drawTriangle(ctx, v, c, a);
    } else {
        setVertex(ctx, __glPrimTriangleStripNextVertexA);
        drawTriangle(ctx, v, a, c);
    }
}
void __glPrimTriangleStripNextVertexA(GlContext *ctx, GlVertex *v) { triangleStripNext<true>(ctx, v); }
void __glPrimTriangleStripNextVertexB(GlContext *ctx, GlVertex *v) { triangleStripNext<false>(ctx, v); }

void __glPrimTriangleStripSecondVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev>(ctx, v, __glPrimTriangleStripNextVertexA);
    ctx->slots.completePending = __glPrimCompletePending2;
}
void __glPrimTriangleStripFirstVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev2>(ctx, v, __glPrimTriangleStripSecondVertex);
}

void __glPrimTriangleStripBegin(GlContext *ctx) {
    begin(ctx, __glPrimTriangleStripFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_TRIANGLE_FAN: record 0 the centre, records 1 and 2 alternate ---------------------------------------
void __glPrimTriangleFanNextVertex(GlContext *ctx, GlVertex *v) {
    GlVertexBuffer &b = vb(ctx);
    b.lineReset = 0;
    GlVertex *last = b.prev;
    v->edgeFlag = 1;
    b.provokingVertex = v;
    b.prev = v;
    b.writePtr = last;
    drawTriangle(ctx, v, rec(ctx, 0), last);
}
void __glPrimTriangleFanSecondVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev>(ctx, v, __glPrimTriangleFanNextVertex);
    ctx->slots.completePending = __glPrimCompletePendingFan;
}
void __glPrimTriangleFanFirstVertex(GlContext *ctx, GlVertex *v) {
    v->edgeFlag = 1;
    vb(ctx).writePtr = v + 1;
    setVertex(ctx, __glPrimTriangleFanSecondVertex);
}

void __glPrimTriangleFanBegin(GlContext *ctx) {
    begin(ctx, __glPrimTriangleFanFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_QUADS: records 0-3 ----------------------------------------------------------------------------------
void __glPrimQuadsFirstVertex(GlContext *ctx, GlVertex *v);
void __glPrimQuadsFourthVertex(GlContext *ctx, GlVertex *p4) {
    GlVertexBuffer &b = vb(ctx);
    GlVertex *p1 = rec(ctx, 0), *p2 = rec(ctx, 1), *p3 = rec(ctx, 2);
    p4->edgeFlag = ctx->current.edgeFlag;
    b.provokingVertex = p4;
    b.lineReset = 0;
    setVertex(ctx, __glPrimQuadsFirstVertex);
    b.writePtr = p1;
    const uint32_t andCodes = p1->flags & p2->flags & p3->flags & p4->flags & kGlVertexClipMask;
    if (andCodes) return;
    const uint32_t orCodes = (p1->flags | p2->flags | p3->flags | p4->flags) & kGlVertexClipMask;
    if (orCodes) {
        GlVertex *list[4] = {p1, p2, p3, p4};
        return pp(ctx).clipPolygon(ctx, list, 4, orCodes);
    }
    // Two triangles that hide the diagonal P2-P4 in both.
    const uint8_t edge2 = p2->edgeFlag, edge4 = p4->edgeFlag;
    p2->edgeFlag = 0;
    pp(ctx).renderTriangle(ctx, p4, p1, p2);
    p2->edgeFlag = edge2;
    p4->edgeFlag = 0;
    pp(ctx).renderTriangle(ctx, p4, p2, p3);
    p4->edgeFlag = edge4;
}
template <int Position>
void quadsVertex(GlContext *ctx, GlVertex *v) {
    v->edgeFlag = ctx->current.edgeFlag;
    vb(ctx).writePtr = v + 1;
    if (Position == 1) setVertex(ctx, quadsVertex<2>);
    else if (Position == 2) setVertex(ctx, quadsVertex<3>);
    else setVertex(ctx, __glPrimQuadsFourthVertex);
}
void __glPrimQuadsFirstVertex(GlContext *ctx, GlVertex *v) { quadsVertex<1>(ctx, v); }

void __glPrimQuadsBegin(GlContext *ctx) {
    begin(ctx, __glPrimQuadsFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_QUAD_STRIP: records 0-3 in turn ------------------------------------------------------------------------
void __glPrimQuadStripThirdVertex(GlContext *ctx, GlVertex *v);
void __glPrimQuadStripFourthVertex(GlContext *ctx, GlVertex *p4) {
    GlVertexBuffer &b = vb(ctx);
    GlVertex *p1 = b.prev3, *p2 = b.prev2, *p3 = b.prev;
    b.lineReset = 0;
    p4->edgeFlag = 1;
    b.provokingVertex = p4;
    b.writePtr = p1;
    b.prev2 = p4;
    b.prev3 = p3;
    setVertex(ctx, __glPrimQuadStripThirdVertex);
    ctx->slots.completePending = __glPrimCompletePendingQuad;
    const uint32_t andCodes = p1->flags & p2->flags & p3->flags & p4->flags & kGlVertexClipMask;
    if (andCodes) return;
    const uint32_t orCodes = (p1->flags | p2->flags | p3->flags | p4->flags) & kGlVertexClipMask;
    if (orCodes) {
        GlVertex *list[4] = {p1, p2, p4, p3};
        return pp(ctx).clipPolygon(ctx, list, 4, orCodes);
    }
    // The quad's boundary runs P1, P2, P4, P3. Both halves keep that winding, as the array path
    // draws them, and the diagonal P2-P3 is hidden in each: (P3, P1, P2) with P2's flag off,
    // then (P3, P2, P4) with P3's flag off.
    p2->edgeFlag = 0;
    pp(ctx).renderTriangle(ctx, p3, p1, p2);
    p2->edgeFlag = 1;
    p3->edgeFlag = 0;
    pp(ctx).renderTriangle(ctx, p3, p2, p4);
    p3->edgeFlag = 1;
}
void __glPrimQuadStripThirdVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev>(ctx, v, __glPrimQuadStripFourthVertex);
    ctx->slots.completePending = __glPrimCompletePending3;
}
void __glPrimQuadStripSecondVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev2>(ctx, v, __glPrimQuadStripThirdVertex);
}
void __glPrimQuadStripFirstVertex(GlContext *ctx, GlVertex *v) {
    keepVertex<&GlVertexBuffer::prev3>(ctx, v, __glPrimQuadStripSecondVertex);
}

void __glPrimQuadStripBegin(GlContext *ctx) {
    begin(ctx, __glPrimQuadStripFirstVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimEnd;
}

// ---- GL_POLYGON: all 16 records, split into sub-polygons that share vertex 0 -----------------------------
void __glPrimPolygonVertex(GlContext *ctx, GlVertex *v) {
    v->edgeFlag = ctx->current.edgeFlag;
    if (v != rec(ctx, kLastRecord)) {
        vb(ctx).writePtr = v + 1;
        return;
    }
    // Full: draw vertices 0-14 with the closing edge 14-0 hidden, then carry 14 and 15 on as
    // records 1 and 2 behind vertex 0, whose edge to the carried vertex is interior from now on.
    GlVertex *r14 = rec(ctx, kLastRecord - 1);
    const uint8_t edge14 = r14->edgeFlag;
    r14->edgeFlag = 0;
    pp(ctx).renderPolygon(ctx, rec(ctx, 0), kLastRecord);
    r14->edgeFlag = edge14;
    for (int i = 1; i <= 2; ++i) {
        GlVertex *copy = rec(ctx, i);
        std::memcpy(copy, rec(ctx, kLastRecord - 2 + i), sizeof(GlVertex));
        copy->color = copy->frontColor;
    }
    vb(ctx).writePtr = rec(ctx, 3);
    rec(ctx, 0)->edgeFlag = 0;
}

void __glPrimPolygonEnd(GlContext *ctx) {
    const int32_t n = int32_t(vb(ctx).writePtr - rec(ctx, 0));
    if (n >= 3) pp(ctx).renderPolygon(ctx, rec(ctx, 0), n);
    __glPrimEnd(ctx);
}

void __glPrimPolygonBegin(GlContext *ctx) {
    vb(ctx).lineReset = 0;
    begin(ctx, __glPrimPolygonVertex, __glPrimCompletePending);
    ctx->slots.endPrimitive = __glPrimPolygonEnd;
}

// ---- entries ---------------------------------------------------------------------------------------------------
static_assert(offsetof(GlProcSlots, beginPolygon) - offsetof(GlProcSlots, beginPoints) == 9 * sizeof(GlProc),
              "the begin procs are one slot per mode in mode order");

namespace icd {
void APIENTRY glBegin(GLenum mode) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (ctx->beginMode == kGlNeedValidate) {
        // Validation may install another glBegin: run whatever the live table now holds.
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        return __glDispatchBegin(mode);
    }
    if (mode > GL_POLYGON) return __glSetError(GL_INVALID_ENUM);
    ctx->beginMode = kGlInsideBegin;
    (&ctx->slots.beginPoints)[mode](ctx);
}

void APIENTRY glEnd(void) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode != kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    ctx->slots.endPrimitive(ctx);
    // A state change inside the primitive is validated before the next command that needs it.
    ctx->beginMode = ctx->dirtyMask != 0 ? kGlNeedValidate : kGlOutsideBegin;
}
}  // namespace icd
