// The prebuilt rasteriser of the fast path and its tables. Vertices snap to a 1/16-pixel grid;
// edges are walked in exact integer arithmetic with the generic triangle's sampling rule (row y
// and column x sample at (x + 1.0, y + 1.0), a row is drawn for samples in (top, bottom], a pixel
// for samples in (left, right]), so both paths cover the same pixels for vertices on the grid.
// Each row is cut into chunks of at most 32 pixels, each handed to the first stage of the chain
// with its mask word and the span record; attributes are planes evaluated at every row start and
// stepped in fixed point along the row.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include "icd/raster/fast_color.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/pixel/texture_object.h"
#include "icd/vertex/vertex.h"
#include "icd/vertex/transform_state.h"

using namespace glraster;

namespace {

constexpr uint32_t ditherLevel(int y, int x) { return uint32_t(__glDitherMatrix[y & 3][x & 3]) << 12; }

using DitherTable = std::array<std::array<uint32_t, 35>, 4>;
// Mirrored: entries 1 and 3 of each four exchanged, so that walking right to left from x reads
// the levels of x, x - 1, ... when entered at (-x) & 3.
constexpr DitherTable makeDither(bool mirrored) {
    DitherTable t{};
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < 35; ++i) t[size_t(y)][size_t(i)] = ditherLevel(y, mirrored ? -i : i);
    return t;
}

constexpr std::array<uint32_t, 33> makeMasks() {
    std::array<uint32_t, 33> m{};
    for (int n = 1; n <= 32; ++n) m[size_t(n)] = 0xFFFFFFFFu << (32 - n);
    return m;
}

}  // namespace

constinit const DitherTable __glFastDitherTable = makeDither(false);
constinit const DitherTable __glFastDitherTableMirrored = makeDither(true);
constinit const std::array<uint32_t, 33> __glFastMaskTable = makeMasks();

namespace {

// floor(a / b) for b > 0 whose quotient fits 32 bits, without a 64-bit division: |a| < 2^53, so
// the double quotient is correctly rounded and can never round up to the next integer (its
// distance below one is at least 1 / b, more than the spacing of doubles there).
inline int64_t floorDiv(int64_t a, int64_t b) {
    const double q = double(a) / double(b);
    int32_t i = int32_t(q);
    if (double(i) > q) i -= 1;
    return i;
}

// A vertex snapped to 1/16 pixel.
struct Snapped {
    GlVertex *v;
    int64_t x, y;      // in 1/16 pixel
    double fx, fy;     // the same in pixels
};

// One edge from an upper to a lower vertex, positioned on a row: x is the first pixel whose
// sample lies right of the edge; x + r / den is the edge's exact x in pixels at the row's sample.
struct Edge {
    int64_t x = 0, r = 0, den = 1, q = 0, rq = 0;
    void start(const Snapped &upper, const Snapped &lower, int32_t row) {
        const int64_t h = lower.y - upper.y, dx = lower.x - upper.x;
        den = 16 * h;
        const int64_t num = upper.x * h + (int64_t(row + 1) * 16 - upper.y) * dx;
        x = floorDiv(num, den);
        r = num - x * den;
        q = floorDiv(16 * dx, den);
        rq = 16 * dx - q * den;
    }
    void step() {
        x += q;
        r += rq;
        if (r >= den) {
            r -= den;
            x += 1;
        }
    }
};

// A plane through the three vertices: value at the top vertex and the two gradients.
struct Plane {
    double v0 = 0, dx = 0, dy = 0;
    double at(double x, double y) const { return v0 + x * dx + y * dy; }
};

struct Gradients {
    double ax, ay, bx, by, inv;  // middle - top, bottom - top, 1 / their cross product
    Plane plane(double vt, double vm, double vb) const {
        const double dm = vm - vt, db = vb - vt;
        return {vt, (dm * by - db * ay) * inv, (db * ax - dm * bx) * inv};
    }
};

// Round to nearest (the processor's default mode) without a library call.
inline int32_t toFixed16(double v) { return _mm_cvtsd_si32(_mm_set_sd(v * 65536.0)); }

// The iterated quantities of a triangle: the planes and where their values go in the span.
struct Attributes {
    struct Fixed {
        GlSpanIter *it;
        Plane p;
        double bias;
    };
    struct Float {
        GlSpanFloatIter *it;
        Plane p;
    };
    Fixed fixed[7];
    int fixedCount = 0;
    Float floats[3];
    int floatCount = 0;
    bool lod = false;
    Plane lodPlane;
    bool z = false;
    Plane zPlane;

    void addFixed(GlSpanIter *it, const Plane &p, double bias) {
        fixed[fixedCount++] = {it, p, bias};
        it->step = toFixed16(p.dx);
        it->chunkStep = int32_t(uint32_t(it->step) * 32u);
    }
    void addFloat(GlSpanFloatIter *it, const Plane &p) {
        floats[floatCount++] = {it, p};
        it->step = float(p.dx);
        it->chunkStep = float(p.dx * 32.0);
        it->halfStep = float(p.dx * 16.0);
    }
    // Every current value at the sample of pixel (x, y), relative to the top vertex at (tx, ty).
    void rowStart(GlSpan &sp, double rx, double ry) const {
        for (int i = 0; i < fixedCount; ++i) {
            const Fixed &f = fixed[i];
            f.it->rowStart = f.it->cur = toFixed16(f.p.at(rx, ry) + f.bias);
        }
        for (int i = 0; i < floatCount; ++i) floats[i].it->rowStart = floats[i].it->cur = float(floats[i].p.at(rx, ry));
        if (lod) sp.lod.rowStart = sp.lod.cur = float(lodPlane.at(rx, ry));
        if (z) {
            double v = zPlane.at(rx, ry);
            v = v < 0.0 ? 0.0 : (v > 4294967295.0 ? 4294967295.0 : v);
            sp.z.rowStart = sp.z.cur = int32_t(uint32_t(v));
        }
    }
    // Fixed-point values wrap as the 32-bit words they are (depth uses all 32 bits unsigned).
    static void add(int32_t &v, int32_t step) { v = int32_t(uint32_t(v) + uint32_t(step)); }
    void nextChunk(GlSpan &sp) const {
        for (int i = 0; i < fixedCount; ++i) add(fixed[i].it->cur, fixed[i].it->chunkStep);
        for (int i = 0; i < floatCount; ++i) floats[i].it->cur += floats[i].it->chunkStep;
        if (lod) sp.lod.cur += sp.lod.chunkStep;
        if (z) add(sp.z.cur, sp.z.chunkStep);
    }
};

// The squared texel-space scale at (s, t, q) for the gradients ds, dt, dq per x and per y, in
// texels of a level of the given size.
float lodAt(const double grad[3][2], double s, double t, double q, double width, double height) {
    double best = 0.0;
    for (int axis = 0; axis < 2; ++axis) {
        const double ds = grad[0][axis], dt = grad[1][axis], dq = grad[2][axis];
        const double qp = q + dq, qm = q - dq;
        if (qp == 0.0 || qm == 0.0) continue;
        const double us = ((s + ds) / qp - (s - ds) / qm) * width;
        const double ut = ((t + dt) / qp - (t - dt) / qm) * height;
        best = std::max(best, us * us + ut * ut);
    }
    return float(0.25 * best);
}

GlMipLevel *level0Of(GlTextureObject *tex) {
    return tex != nullptr && tex->levels != nullptr ? tex->levels[0] : nullptr;
}

}  // namespace

float __glLodAtVertex(GlContext *ctx, const float grad[3][2], float s, float t, float q) {
    GlMipLevel *l = level0Of(ctx->state.span.fast.texture);
    const double g[3][2] = {{grad[0][0], grad[0][1]}, {grad[1][0], grad[1][1]}, {grad[2][0], grad[2][1]}};
    return lodAt(g, s, t, q, l != nullptr ? l->innerWidth : 1, l != nullptr ? l->innerHeight : 1);
}

void __glFillTriangleFast(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    GlFastPathSlots &slots = ctx->state.span.fast;
    GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if (cb == nullptr || cb->head.base == nullptr) return;

    // Snap to 1/16 pixel and sort by y (strict comparisons keep the argument order of ties).
    Snapped v[3];
    GlVertex *in[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        const float wx = in[i]->window[0], wy = in[i]->window[1];
        if (!(wx > 0.0f && wx < 65536.0f && wy > 0.0f && wy < 65536.0f)) return;  // NaN or beyond any drawable
        v[i].v = in[i];
        // Positive and below 2^20 sixteenths: truncation is the floor and fits 32 bits.
        v[i].x = int32_t(double(wx) * 16.0);
        v[i].y = int32_t(double(wy) * 16.0);
        v[i].fx = double(v[i].x) / 16.0;
        v[i].fy = double(v[i].y) / 16.0;
    }
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    if (v[2].y < v[1].y) std::swap(v[1], v[2]);
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    const Snapped &top = v[0], &mid = v[1], &bot = v[2];
    const int64_t area = (mid.y - bot.y) * (top.x - bot.x) - (mid.x - bot.x) * (top.y - bot.y);
    if (area == 0) return;
    const bool leftLong = area > 0;

    GlSpan sp;
    sp.context = ctx;
    sp.signedArea = float(double(area) / 256.0);
    sp.xStep = 1;
    sp.depthOffset = 0;

    // Planes.
    Gradients g;
    g.ax = mid.fx - top.fx;
    g.ay = mid.fy - top.fy;
    g.bx = bot.fx - top.fx;
    g.by = bot.fy - top.fy;
    g.inv = 1.0 / (g.ax * g.by - g.bx * g.ay);
    Attributes attrs;
    const bool dither = f & kGlShadeDither;
    const double bias = dither ? 1.0 / 32.0 : 0.5;
    const GlColorScales &scales = ctx->scales;
    const double k[4] = {double(cb->redScale) / scales.redScale, double(cb->greenScale) / scales.greenScale,
                         double(cb->blueScale) / scales.blueScale, 255.0 / scales.alphaScale};
    GlSpanIter *colorIt[4] = {&sp.red, &sp.green, &sp.blue, &sp.alpha};
    if (f & kGlShadeSmooth) {
        for (int i = 0; i < 4; ++i)
            attrs.addFixed(colorIt[i],
                           g.plane(top.v->color[i] * k[i], mid.v->color[i] * k[i], bot.v->color[i] * k[i]),
                           i == 3 ? 0.5 : bias);
    } else {
        GlVertex *pv = ctx->arrays.vertexBuffer.provokingVertex;
        const float *col = (pv != nullptr ? pv : c)->color;
        uint32_t field[3];
        for (int i = 0; i < 4; ++i) {
            colorIt[i]->step = colorIt[i]->chunkStep = 0;
            colorIt[i]->cur = toFixed16(col[i] * k[i] + (i == 3 ? 0.5 : bias));
            if (i < 3) field[i] = uint32_t(toFixed16(col[i] * k[i] + 0.5)) >> 16;
        }
        // flatPixel: the flat colour packed for the buffer, rounded, without dither.
        sp.red.rowStart = int32_t((field[0] << cb->redShift) | (field[1] << cb->greenShift) | (field[2] << cb->blueShift));
    }
    const GlDepthBuffer &db = ctx->buffers.depth;
    const bool depth = (f & kGlShadeDepthTest) && db.head.base != nullptr;
    if (depth) {
        attrs.z = true;
        attrs.zPlane = g.plane(top.v->window[2], mid.v->window[2], bot.v->window[2]);
        sp.z.step = int32_t(attrs.zPlane.dx);
        sp.z.chunkStep = int32_t(uint32_t(sp.z.step) * 32u);
        if (f & kGlShadePolygonOffset) {
            const GlPolygonOffsetState &po = ctx->state.polygonOffset;
            const double depthMax = __glDepthBufferScale(ctx);
            const double unit = db.scale != 0 ? db.offsetUnit : 0.0039063096;
            double offset = double(po.offsetFactor) * std::max(std::fabs(attrs.zPlane.dx), std::fabs(attrs.zPlane.dy)) +
                            double(po.offsetUnits) * unit * depthMax;
            // A mirrored depth buffer stores 1 - z: away from the viewer is towards smaller values.
            if (__glDepthBufferInverted(ctx)) offset = -offset;
            offset = std::clamp(offset, -2147483648.0, 2147483647.0);
            sp.depthOffset = int32_t(offset);
        }
    }
    if (f & kGlShadeFog) {
        const bool nicest = ctx->state.mode.hints[4] == GL_NICEST;
        auto fogOf = [&](const Snapped &s) { return nicest ? double(s.v->eye[2]) : double(s.v->fog) * 255.0; };
        attrs.addFixed(&sp.fog, g.plane(fogOf(top), fogOf(mid), fogOf(bot)), 0.0);
    }
    GlTextureObject *tex = slots.texture;
    if ((f & kGlShadeTexture) && tex != nullptr) {
        const bool affine = tex->minFilter == tex->magFilter && !(f & kGlShadePerspectiveTex);
        const Snapped *vs[3] = {&top, &mid, &bot};
        double s[3], t[3], q[3];
        for (int i = 0; i < 3; ++i) {
            const float *tc = vs[i]->v->texCoord[0];
            const double w = affine ? 1.0 / (tc[3] != 0.0f ? tc[3] : 1.0f) : vs[i]->v->invW;
            s[i] = tc[0] * w;
            t[i] = tc[1] * w;
            q[i] = affine ? 1.0 : tc[3] * w;
        }
        if (affine) {
            attrs.addFixed(&sp.s, g.plane(s[0], s[1], s[2]), 0.0);
            attrs.addFixed(&sp.t, g.plane(t[0], t[1], t[2]), 0.0);
        } else {
            const Plane ps = g.plane(s[0], s[1], s[2]), pt = g.plane(t[0], t[1], t[2]), pq = g.plane(q[0], q[1], q[2]);
            attrs.addFloat(&sp.sw, ps);
            attrs.addFloat(&sp.tw, pt);
            attrs.addFloat(&sp.qw, pq);
            // The level of detail: rho squared times q/w at each vertex, divided back per pixel.
            const GlMipLevel *l0 = level0Of(tex);
            const double width = l0 != nullptr ? l0->innerWidth : 1, height = l0 != nullptr ? l0->innerHeight : 1;
            const double grad[3][2] = {{ps.dx, ps.dy}, {pt.dx, pt.dy}, {pq.dx, pq.dy}};
            double lv[3];
            for (int i = 0; i < 3; ++i) lv[i] = double(lodAt(grad, s[i], t[i], q[i], width, height)) * q[i];
            attrs.lod = true;
            attrs.lodPlane = g.plane(lv[0], lv[1], lv[2]);
            sp.lod.step = float(attrs.lodPlane.dx);
            sp.lod.chunkStep = float(attrs.lodPlane.dx * 32.0);
        }
    }

    // The buffers are written only inside the lock bracket; a refused lock draws nothing.
    GlBufferArea &buffers = ctx->buffers;
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && buffers.drawableLock(ctx) == 0) return;
    buffers.lockCount += 1;

    const int32_t ox = ctx->limits.biasX, oy = ctx->limits.biasY;
    const int32_t es = cb->head.elementSize;
    const bool stencil = (f & kGlShadeStencilTest) && buffers.stencil.head.base != nullptr;
    const bool both = ctx->state.span.inputs.drawBothBuffers && buffers.color.front.head.base != nullptr;
    const GlClipBox box = clipBoxOf(ctx);
    const GlFastProc first = slots.fastStageFirst;
    sp.pixelStep = es;
    sp.pixelChunkStep = 32 * es;
    sp.depthAddressStep = db.head.elementSize;
    sp.depthChunkStep = 32 * db.head.elementSize;
    sp.stencilStep = 1;
    sp.stencilChunkStep = 32;
    sp.frontChunkStep = sp.pixelChunkStep;

    auto runRow = [&](int32_t y, int32_t xl, int32_t xr) {
        sp.y = y;
        attrs.rowStart(sp, double(xl) + 1.0 - top.fx, double(y) + 1.0 - top.fy);
        const int64_t dy = int64_t(y - oy), dx = int64_t(xl - ox);
        sp.pixel = sp.pixelRowStart = cb->head.base + (dy * cb->head.pitch + dx) * es;
        if (depth) sp.depthAddress = db.head.base + (dy * db.head.pitch + dx) * db.head.elementSize;
        if (stencil) {
            const GlBuffer &sb = buffers.stencil.head;
            sp.stencilAddress = sb.base + (dy * sb.pitch + dx) * sb.elementSize;
        }
        if (both) sp.frontPixel = buffers.color.front.head.base + (dy * buffers.color.front.head.pitch + dx) * es;
        const uint32_t *ditherRow = __glFastDitherTable[size_t(y & 3)].data();
        for (int32_t x = xl; x < xr; x += 32) {
            const int32_t n = xr - x;
            sp.x = x;
            sp.ditherPointer = ditherRow + (x & 3);
            first(n >= 32 ? 0xFFFFFFFFu : __glFastMaskTable[n], &sp);
            attrs.nextChunk(sp);
            sp.pixel += sp.pixelChunkStep;
            sp.depthAddress += sp.depthChunkStep;
            sp.stencilAddress += sp.stencilChunkStep;
            sp.frontPixel += sp.frontChunkStep;
        }
    };
    auto runHalf = [&](int32_t y0, int32_t y1, Edge &left, Edge &right) {
        for (int32_t y = y0; y < y1; ++y) {
            if (y >= box.y0 && y < box.y1) {
                const int32_t xl = int32_t(std::max<int64_t>(left.x, box.x0));
                const int32_t xr = int32_t(std::min<int64_t>(right.x, box.x1));
                if (xl < xr) runRow(y, xl, xr);
            }
            left.step();
            right.step();
        }
    };

    sp.depthAddress = nullptr;
    sp.stencilAddress = nullptr;
    sp.frontPixel = nullptr;
    const int32_t y0 = int32_t(top.y >> 4), y1 = int32_t(mid.y >> 4), y2 = int32_t(bot.y >> 4);
    Edge lng, upper, lower;
    if (y0 < y2) lng.start(top, bot, y0);
    if (y0 < y1) upper.start(top, mid, y0);
    if (y1 < y2) lower.start(mid, bot, y1);
    if (leftLong) {
        if (y0 < y1) runHalf(y0, y1, lng, upper);
        if (y1 < y2) runHalf(y1, y2, lng, lower);
    } else {
        if (y0 < y1) runHalf(y0, y1, upper, lng);
        if (y1 < y2) runHalf(y1, y2, lower, lng);
    }

    buffers.lockCount -= 1;
    if (buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
}
