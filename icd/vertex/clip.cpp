// Polygon and line clipping against the user planes and the frustum, the divide and viewport
// map of the clipped vertices, fans, and the window-space clipper that cuts triangles to the
// visible rectangles of a window.
#include <cstring>
#include <initializer_list>
#include <utility>
#include "icd/core/context.h"
#include "icd/core/state_entries.h"
#include "icd/vertex/clip.h"

namespace {

constexpr uint32_t kPlaneBits = kGlClipFrustumMask | kGlClipUserMask;  // 0x0FFF0000
constexpr int kListRoom = 36;

// Plane rows (a, b, c, d) dotted with the clip coordinates, in out-code bit order.
constexpr float kFrustumPlanes[6][4] = {{1, 0, 0, 1},  {-1, 0, 0, 1}, {0, 1, 0, 1},
                                        {0, -1, 0, 1}, {0, 0, 1, 1},  {0, 0, -1, 1}};

// Outside only when negative and not -0: +0 and -0 lie on the plane.
inline bool outside(float d) {
    uint32_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits > 0x80000000u;
}

inline float dot4(const float *p, const float *v) { return p[0] * v[0] + p[1] * v[1] + p[2] * v[2] + p[3] * v[3]; }

GlPrimitiveProcs &prims(GlContext *ctx) { return ctx->slots.primitive; }

void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    if ((v->flags & need) != need) prims(ctx).completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift](ctx, v, need);
}

GlVertex *poolStart(GlContext *ctx) { return reinterpret_cast<GlVertex *>(ctx->state.transform.clipVertices); }

// One plane step of Sutherland-Hodgman. Distance(v) is the signed distance to the plane.
template <class Distance>
int32_t clipToPlane(GlContext *ctx, GlVertex **in, int32_t n, GlVertex **out, Distance distance, bool eye) {
    GlClipState &c = ctx->state.clip;
    int32_t count = 0, made = 0;
    GlVertex *prev = in[n - 1];
    float dp = distance(prev);
    for (int32_t i = 0; i < n; ++i) {
        GlVertex *cur = in[i];
        const float d = distance(cur);
        const bool curOut = outside(d), prevOut = outside(dp);
        if (curOut != prevOut) {
            // A plane cuts a convex polygon at two points; a third new vertex means the input was
            // not convex, and the polygon is dropped rather than drawn wrong.
            if (++made > 2) return 0;
            GlVertex *inside = curOut ? prev : cur, *out2 = curOut ? cur : prev;
            const float t = curOut ? dp / (dp - d) : d / (d - dp);
            GlVertex *nv = c.poolNext++;
            c.clipInterpPolygon(nv, out2, inside, t);
            if (eye)
                for (int k = 0; k < 4; ++k) nv->eye[k] = inside->eye[k] + t * (out2->eye[k] - inside->eye[k]);
            nv->edgeFlag = curOut ? 1 : prev->edgeFlag;
            nv->flags = prev->flags | kPlaneBits;
            out[count++] = nv;
        }
        if (!curOut) out[count++] = cur;
        prev = cur;
        dp = d;
    }
    return count;
}

// Divides by w and maps to the viewport; polygons are clamped to the viewport box.
void toWindow(GlContext *ctx, GlVertex *v, bool clamp) {
    const GlViewport &vp = ctx->state.transform.viewport;
    const float r = 1.0f / v->clip[3];
    float x = vp.xCenter + r * v->clip[0] * vp.xScale;
    float y = vp.yCenter + r * v->clip[1] * vp.yScale;
    v->window[2] = vp.zCenter + r * v->clip[2] * vp.zScale;
    v->invW = r;
    if (clamp) {
        const float xLo = vp.xCenter - vp.xScale, xHi = vp.xCenter + vp.xScale;
        if (x < xLo) x = xLo;
        else if (x > xHi) x = xHi;
        const float a = vp.yCenter - vp.yScale, b = vp.yCenter + vp.yScale;
        const float yLo = a < b ? a : b, yHi = a < b ? b : a;
        if (!(y >= yLo)) y = yLo;
        else if (y > yHi) y = yHi;
    }
    v->window[0] = x;
    v->window[1] = y;
    v->flags |= kGlVertexWindowDone;
}

// A fan from list[0]; an edge flag governs the edge that starts at its vertex, so the interior
// edges of the fan are switched off for their triangles and never drawn in line mode.
void drawFan(GlContext *ctx, GlVertex **v, int32_t n, GlRenderTriangleProc draw) {
    if (n == 3) {
        draw(ctx, v[0], v[1], v[2]);
        return;
    }
    const uint8_t first = v[0]->edgeFlag;
    for (int32_t i = 1; i + 1 < n; ++i) {
        GlVertex *b = v[i], *c = v[i + 1];
        const bool last = i + 2 == n;
        const uint8_t keep = c->edgeFlag;
        if (!last) c->edgeFlag = 0;
        draw(ctx, v[0], b, c);
        c->edgeFlag = keep;
        v[0]->edgeFlag = 0;
    }
    v[0]->edgeFlag = first;
}

}  // namespace

int32_t __glClipToFrustumPlane(GlContext *ctx, GlVertex **in, int32_t n, GlVertex **out, int32_t plane) {
    const float *p = kFrustumPlanes[plane];
    return clipToPlane(ctx, in, n, out, [p](const GlVertex *v) { return dot4(p, v->clip); }, false);
}

int32_t __glClipToUserPlane(GlContext *ctx, GlVertex **in, int32_t n, GlVertex **out, const float *equation) {
    return clipToPlane(ctx, in, n, out, [equation](const GlVertex *v) { return dot4(equation, v->eye); }, true);
}

int32_t __glClipDrawPolygon(GlContext *ctx, GlVertex **list, int32_t n, uint32_t codes) {
    GlClipState &c = ctx->state.clip;
    c.poolNext = poolStart(ctx);
    GlVertex *lists[2][kListRoom];
    if (codes & kPlaneBits) {
        const GlNeedMaskState &need = ctx->state.need;
        const uint32_t wanted = need.needMaskFront | need.needMaskBack | kGlVertexWindowDone;
        for (int32_t i = 0; i < n; ++i) complete(ctx, list[i], wanted);
        const float *planes = static_cast<const float *>(ctx->arrays.clipPlanes);
        int cur = 0;
        GlVertex **in = list;
        for (int i = 0; i < 6; ++i) {
            if (!(codes & (kGlClipUser0 << i))) continue;
            n = __glClipToUserPlane(ctx, in, n, lists[cur], planes + 4 * i);
            if (n < 3) return n;
            in = lists[cur];
            cur ^= 1;
        }
        for (int i = 0; i < 6; ++i) {
            if (!(codes & (kGlClipLeft << i))) continue;
            n = __glClipToFrustumPlane(ctx, in, n, lists[cur], i);
            if (n < 3) return n;
            in = lists[cur];
            cur ^= 1;
        }
        for (int32_t i = 0; i < n; ++i) toWindow(ctx, in[i], true);
        list = in;
    }
    if (c.polygonProc != nullptr) c.polygonProc(ctx, list, n);
    else __glDrawPolygonAsFan(ctx, list, n);
    return n;
}

void __glClipDrawTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t orCodes) {
    GlVertex *list[3] = {a, b, c};
    __glClipDrawPolygon(ctx, list, 3, orCodes);
}

void __glClipDrawPolygonRun(GlContext *ctx, GlVertex *first, int32_t n) {
    GlVertex *list[kGlVertexBufferSize];
    uint32_t andCodes = 0xFFFFFFFFu, orCodes = 0;
    for (int32_t i = 0; i < n; ++i) {
        list[i] = first + i;
        andCodes &= first[i].flags;
        orCodes |= first[i].flags;
    }
    ctx->arrays.vertexBuffer.provokingVertex = first;
    if (andCodes & kPlaneBits) return;
    if (orCodes & kGlVertexClipMask) __glClipDrawPolygon(ctx, list, n, orCodes & kGlVertexClipMask);
    else if (ctx->state.clip.polygonProc != nullptr) ctx->state.clip.polygonProc(ctx, list, n);
    else __glDrawPolygonAsFan(ctx, list, n);
}

void __glDrawPolygonAsFan(GlContext *ctx, GlVertex **list, int32_t n) {
    drawFan(ctx, list, n, prims(ctx).renderTriangle);
}

// ---- clip rectangles of a window ------------------------------------------------------------------

uint32_t __glComputeRectOutcode(GlContext *ctx, const GlRectClipVertex *record, const RECT *rect) {
    const float x = record->v.window[0] - 0.5f, y = record->v.window[1] - 0.5f;
    const float bx = ctx->limits.biasXf, by = ctx->limits.biasYf;
    uint32_t code = 0;
    if (x < float(rect->left) + bx) code |= 0x10000;
    if (x > float(rect->right) + bx) code |= 0x20000;
    if (y < float(rect->top) + by) code |= 0x80000;
    if (y > float(rect->bottom) + by) code |= 0x40000;
    return code;
}

namespace {

constexpr uint32_t kRectEdges[4] = {0x10000, 0x20000, 0x80000, 0x40000};  // left, right, top, bottom

// The cut of edge p-q at one rectangle edge. The ends are ordered so that two triangles sharing
// an edge produce the same cut point whichever way round they walk it.
void cutAtRectEdge(GlContext *ctx, GlRectClipVertex *nv, const GlRectClipVertex *p, const GlRectClipVertex *q,
                   uint32_t edge, const RECT *rect) {
    const GlRectClipVertex *first = p, *second = q;
    if (q->v.window[0] > p->v.window[0] || (q->v.window[0] == p->v.window[0] && q->v.window[1] > p->v.window[1])) {
        first = q;
        second = p;
    }
    const bool vertical = edge == 0x10000 || edge == 0x20000;
    const int axis = vertical ? 0 : 1;
    const float bias = vertical ? ctx->limits.biasXf : ctx->limits.biasYf;
    const LONG side = edge == 0x10000 ? rect->left : edge == 0x20000 ? rect->right : edge == 0x80000 ? rect->top : rect->bottom;
    const float at = float(side) + bias + 0.5f;
    const float t = (second->v.window[axis] - at) / (second->v.window[axis] - first->v.window[axis]);
    ctx->state.clip.clipInterpPolygon(&nv->v, &first->v, &second->v, t);
    auto lerp = [t](float a, float b) { return b + t * (a - b); };
    nv->v.window[axis] = at;
    nv->v.window[1 - axis] = lerp(first->v.window[1 - axis], second->v.window[1 - axis]);
    nv->v.window[2] = lerp(first->v.window[2], second->v.window[2]);
    nv->v.invW = lerp(first->v.invW, second->v.invW);
    for (int k : {0, 1, 3}) nv->v.texCoord[0][k] = lerp(first->v.texCoord[0][k], second->v.texCoord[0][k]);
    // The piece is drawn with the face colour its corners were drawn with.
    const bool back = first->v.color == first->v.backColor;
    nv->v.color = back ? nv->v.backColor : nv->v.frontColor;
    nv->v.flags = first->v.flags;
}

}  // namespace

void __glDrawTriangleClipRects(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    GlBufferArea &buffers = ctx->buffers;
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && !buffers.drawableLock(ctx)) return;
    ++buffers.lockCount;
    GlRenderTriangleProc draw = ctx->state.clip.triangleProcUnclipped;
    const RECT *rects = nullptr;
    const int32_t count = ctx->state.span.inputs.clipRects ? ctx->state.span.inputs.clipRects(ctx, &rects) : 0;
    const GlTransformState &xf = ctx->state.transform;
    const RECT *only = count == 1 ? rects : nullptr;
    if (only != nullptr && ctx->viewportInsideWindow && only->left == xf.clipBoxX0 - ctx->limits.biasX &&
        only->top == xf.clipBoxY0 - ctx->limits.biasY && only->right == xf.clipBoxX1 - ctx->limits.biasX &&
        only->bottom == xf.clipBoxY1 - ctx->limits.biasY) {
        draw(ctx, a, b, c);
    } else {
        const GlNeedMaskState &need = ctx->state.need;
        GlVertex *in[3] = {a, b, c};
        GlRectClipVertex copies[3];
        for (int i = 0; i < 3; ++i) {
            complete(ctx, in[i], need.needMaskFront | need.needMaskBack);
            std::memcpy(&copies[i].v, in[i], sizeof(GlVertex));
            // The copy's colour pointer follows the face its original was drawn with.
            copies[i].v.color = in[i]->color == in[i]->backColor ? copies[i].v.backColor : copies[i].v.frontColor;
        }
        for (int32_t r = 0; r < count; ++r) {
            const RECT *rect = &rects[r];
            uint32_t andCode = 0xFFFFFFFFu, orCode = 0;
            for (GlRectClipVertex &cp : copies) {
                cp.outcode = __glComputeRectOutcode(ctx, &cp, rect);
                andCode &= cp.outcode;
                orCode |= cp.outcode;
            }
            if (orCode == 0) {
                draw(ctx, a, b, c);
                continue;
            }
            if (andCode != 0) continue;
            GlRectClipVertex made[8];
            int madeCount = 0;
            GlRectClipVertex *lists[2][7];
            GlRectClipVertex **cur = lists[0], **next = lists[1];
            int n = 3;
            for (int i = 0; i < 3; ++i) cur[i] = &copies[i];
            for (uint32_t edge : kRectEdges) {
                if (!(orCode & edge)) continue;
                int m = 0;
                GlRectClipVertex *prev = cur[n - 1];
                for (int i = 0; i < n; ++i) {
                    GlRectClipVertex *v = cur[i];
                    if ((prev->outcode ^ v->outcode) & edge) {
                        if (madeCount == 8 || m == 7) break;
                        GlRectClipVertex *nv = &made[madeCount++];
                        cutAtRectEdge(ctx, nv, prev, v, edge, rect);
                        nv->v.edgeFlag = (prev->outcode & edge) ? prev->v.edgeFlag : 0;
                        nv->outcode = __glComputeRectOutcode(ctx, nv, rect) & ~edge;
                        next[m++] = nv;
                    }
                    if (!(v->outcode & edge) && m < 7) next[m++] = v;
                    prev = v;
                }
                std::swap(cur, next);
                n = m;
                if (n < 3) break;
            }
            if (n < 3) continue;
            GlVertex *fan[7];
            for (int i = 0; i < n; ++i) fan[i] = &cur[i]->v;
            drawFan(ctx, fan, n, draw);
        }
    }
    if (--buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
}

// ---- lines ------------------------------------------------------------------------------------------

void __glClipLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    const GlNeedMaskState &need = ctx->state.need;
    complete(ctx, a, need.needMaskFront | kGlVertexWindowDone);
    complete(ctx, b, need.needMaskFront | kGlVertexWindowDone);
    GlVertex *const secondIn = b;
    GlClipState &c = ctx->state.clip;
    const uint32_t codes = (a->flags | b->flags) & kPlaneBits;
    const float *planes = static_cast<const float *>(ctx->arrays.clipPlanes);
    // One local record per end, reused by later planes.
    auto cut = [&](GlVertex *&out, GlVertex *in, float dOut, float dIn, GlVertex *record) {
        const float t = dIn / (dIn - dOut);
        GlVertex *src = out;
        GlVertex tmp;
        if (src == record) {  // the end is already a cut: interpolate from a copy
            std::memcpy(&tmp, src, sizeof tmp);
            src = &tmp;
        }
        c.clipInterpLine(record, src, in, t);
        for (int k = 0; k < 4; ++k) record->eye[k] = in->eye[k] + t * (src->eye[k] - in->eye[k]);
        record->flags = in->flags & ~kGlVertexSizeMask;
        record->color = record->frontColor;
        record->edgeFlag = in->edgeFlag;
        out = record;
    };
    for (int bit = 0; bit < 12; ++bit) {
        // user planes (bits 22-27) first, lowest first, then the frustum planes (bits 16-21)
        const int plane = bit < 6 ? 6 + bit : bit - 6;
        if (!(codes & (kGlClipLeft << plane))) continue;
        float da, db;
        if (plane >= 6) {
            da = dot4(planes + 4 * (plane - 6), a->eye);
            db = dot4(planes + 4 * (plane - 6), b->eye);
        } else {
            da = dot4(kFrustumPlanes[plane], a->clip);
            db = dot4(kFrustumPlanes[plane], b->clip);
        }
        const bool aOut = outside(da), bOut = outside(db);
        if (aOut && bOut) return;
        if (bOut) cut(b, a, db, da, &c.lineEnds[1]);
        else if (aOut) cut(a, b, da, db, &c.lineEnds[0]);
    }
    toWindow(ctx, a, false);
    toWindow(ctx, b, false);
    uint32_t remaining = need.needMaskFront;
    const bool flat = ctx->state.mode.shadeModel == GL_FLAT;
    float *ownColor = b->color;
    if (flat) {
        // A flat line takes the colour of its second vertex as the caller passed it.
        complete(ctx, secondIn, remaining & 0x19);
        remaining &= ~0x19u;
        b->color = secondIn->frontColor;
    }
    complete(ctx, a, remaining);
    complete(ctx, b, remaining);
    prims(ctx).renderLine(ctx, a, b);
    if (flat) b->color = ownColor;
}

namespace {

void clipOrDrawLine(GlContext *ctx, GlVertex *a, GlVertex *b, bool flat) {
    const uint32_t codes = (a->flags | b->flags) & kPlaneBits;
    if (codes) {
        if ((a->flags & b->flags) & kPlaneBits) return;
        __glClipLine(ctx, a, b);
        return;
    }
    const uint32_t need = ctx->state.need.needMask;
    complete(ctx, a, flat ? (need & ~kGlVertexFrontColorDone) : (need | kGlVertexFrontColorDone));
    complete(ctx, b, need | kGlVertexFrontColorDone);
    prims(ctx).renderLine(ctx, a, b);
}

}  // namespace

void __glDoClipLineSmooth(GlContext *ctx, GlVertex *a, GlVertex *b) { clipOrDrawLine(ctx, a, b, false); }
void __glDoClipLineFlat(GlContext *ctx, GlVertex *a, GlVertex *b) { clipOrDrawLine(ctx, a, b, true); }
