// Antialiased triangles: every pixel the triangle touches gets the fraction of an n x n grid of
// sub-samples (n = 4, or 8 with the nicest polygon-smooth hint) inside all three edges. Partly
// covered pixels are evaluated at the centre of their covered samples, carry their coverage in
// alpha (RGBA) or in the index's low four bits, and go to the fragment store one by one; runs of
// fully covered pixels go through the span pipeline like the rows of an ordinary triangle.
//
// Coordinates: window coordinates carry the drawable bias plus one half, so window - 0.5 puts
// pixel p at [p, p + 1). Edges and planes are formed in double precision relative to an origin
// near the triangle, where every snapped coordinate and every sample position is exact.
#include <cmath>
#include <cstring>
#include <algorithm>
#include "icd/raster/raster.h"
#include "icd/raster/raster_math.h"
#include "icd/raster/raster_state.h"
#include "icd/raster/triangle.h"
#include "icd/vertex/vertex.h"
#include "icd/vertex/transform_state.h"

using namespace glraster;



namespace {

struct Point {
    double x, y;
};

// E(x, y) = a x + b y + c, zero on the edge; inside: the side the third vertex is on.
struct AaEdge {
    double a, b, c;
    bool inside;
    bool in(double x, double y) const { return (a * x + b * y + c > 0.0) == inside; }
};

AaEdge makeEdge(Point p, Point q, Point opposite) {
    if (q.y > p.y || (q.y == p.y && q.x > p.x)) std::swap(p, q);
    AaEdge e;
    e.a = q.y - p.y;
    e.b = p.x - q.x;
    e.c = (p.y - q.y) * q.x - (p.x - q.x) * q.y;
    e.inside = e.a * opposite.x + e.b * opposite.y + e.c > 0.0;
    return e;
}

// value(x, y) = v0 + dx (x - x0) + dy (y - y0).
struct AaPlane {
    double v0, dx, dy;
    double at(double x, double y, const Point &o) const { return v0 + dx * (x - o.x) + dy * (y - o.y); }
};

// The sub-sample grid of a pixel: offsets from the pixel centre.
struct SampleGrid {
    int n;
    double step, first, last, area;
    explicit SampleGrid(int count) : n(count) {
        step = 1.0 / n;
        first = -0.5 + 0.5 * step;
        last = 0.5 - 0.5 * step;
        area = 1.0 / (n * n);
    }
};

struct Triangle {
    AaEdge e[3];
    bool inside(double x, double y) const { return e[0].in(x, y) && e[1].in(x, y) && e[2].in(x, y); }
};

// Coverage of the pixel whose centre is (cx, cy); moves (cx, cy) to the centre of the covered
// samples. `full` carries whether the previous pixel of the row was fully covered.
double pixelCoverage(const Triangle &t, const SampleGrid &g, double &cx, double &cy, bool &full) {
    if (full && t.inside(cx + g.last, cy + g.first) && t.inside(cx + g.last, cy + g.last)) return 1.0;
    int count = 0;
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int j = 0; j < g.n; ++j) {
        const double sy = cy + g.first + j * g.step;
        for (int i = 0; i < g.n; ++i) {
            const double sx = cx + g.first + i * g.step;
            if (!t.inside(sx, sy)) continue;
            ++count;
            x0 = std::min(x0, sx);
            x1 = std::max(x1, sx);
            y0 = std::min(y0, sy);
            y1 = std::max(y1, sy);
        }
    }
    full = count == g.n * g.n;
    if (count == 0) return 0.0;
    cx = 0.5 * (x0 + x1);
    cy = 0.5 * (y0 + y1);
    return full ? 1.0 : count * g.area;
}

// Everything one triangle's walk needs.
struct AaSetup {
    Point origin;  // local (0, 0) in pixel units
    Triangle tri;
    SampleGrid grid{4};
    uint32_t flags;
    int channels;         // 4 RGBA, 1 index
    bool smooth;
    float flatColor[4];
    AaPlane color[4], z, s, t, q, fog;
    bool offset;
    GlVertex *anchor;     // the vertex the polygon offset is measured from
    const GlBuffer *depth, *stencil;
    GlFragmentStoreProc store;
    GlColorBuffer *cb;
};

int32_t truncInt(double v) {
    if (!(v > -2147483649.0)) return INT32_MIN;
    if (v >= 2147483648.0) return INT32_MAX;
    return int32_t(v);
}
uint32_t truncDepth(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return uint32_t(v);
}

// The vertex colours in the colour buffer's units for the drawing, put back on every exit; a
// colour record shared by two vertices is scaled once.
struct ScaledColors {
    float *ptr[4] = {};
    float saved[4][4];
    int n = 0;
    void scale(GlContext *ctx, float *const *colors, int count) {
        const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
        if (cb == nullptr || !(rasterOf(ctx).shadeFlags & kGlShadeRgba)) return;
        const GlColorScales &s = ctx->scales;
        const float k[4] = {cb->redScale / s.redScale, cb->greenScale / s.greenScale, cb->blueScale / s.blueScale,
                            cb->alphaScale / s.alphaScale};
        for (int i = 0; i < count; ++i) {
            float *c = colors[i];
            if (c == nullptr || std::find(ptr, ptr + n, c) != ptr + n) continue;
            ptr[n] = c;
            std::memcpy(saved[n], c, 16);
            for (int j = 0; j < 4; ++j) c[j] *= k[j];
            ++n;
        }
    }
    ~ScaledColors() {
        for (int i = 0; i < n; ++i) std::memcpy(ptr[i], saved[i], 16);
    }
};

const GlBuffer *attached(const GlBuffer &b) { return b.context != nullptr && b.base != nullptr ? &b : nullptr; }

// Plane of one attribute through three points.
AaPlane planeOf(const Point p[3], const double a[3], double inverseArea) {
    const double dx1 = p[1].x - p[0].x, dy1 = p[1].y - p[0].y, dx2 = p[2].x - p[0].x, dy2 = p[2].y - p[0].y;
    const double da1 = a[1] - a[0], da2 = a[2] - a[0];
    AaPlane pl;
    pl.dx = (da1 * dy2 - da2 * dy1) * inverseArea;
    pl.dy = (da2 * dx1 - da1 * dx2) * inverseArea;
    pl.v0 = a[0] + pl.dx * (0.0 - p[0].x) + pl.dy * (0.0 - p[0].y);
    return pl;
}

bool stippled(GlContext *ctx, int32_t x, int32_t y) {
    const GlDrawableExtent &d = ctx->state.transform.drawable;
    const int32_t row = d.yInverted ? (d.height + ctx->limits.biasY - y - 1) & 31 : y & 31;
    return !(inputsOf(ctx).stippleWords[row] & (0x80000000u >> (x & 31)));
}

// Depth at local (x, y): the z plane, or with polygon offset the offset depth there.
uint32_t depthAt(GlContext *ctx, const AaSetup &s, double x, double y) {
    if (s.offset) {
        const GlVertex *v = s.anchor;
        const double wx = x + s.origin.x + 0.5, wy = y + s.origin.y + 0.5;
        __glSetupPolygonOffset(ctx, v, float(wx - v->window[0]), float(wy - v->window[1]));
        return rasterOf(ctx).spanZ;
    }
    return truncDepth(s.z.at(x, y, Point{0, 0}));
}

void emitPixel(GlContext *ctx, const AaSetup &s, int32_t px, int32_t py, double cx, double cy, double coverage) {
    const int32_t wx = px + int32_t(s.origin.x), wy = py + int32_t(s.origin.y);
    if ((s.flags & kGlShadePolygonStipple) && stippled(ctx, wx, wy)) return;
    const Point o{0, 0};
    GlFragment frag;
    frag.x = wx;
    frag.y = wy;
    if (s.smooth) {
        for (int i = 0; i < 4; ++i) frag.color[i] = i < s.channels ? float(s.color[i].at(cx, cy, o)) : 0.0f;
    } else {
        std::memcpy(frag.color, s.flatColor, 16);
    }
    if (s.flags & kGlShadeTexture) {
        GlTextureApplyProc apply = inputsOf(ctx).textureApply;
        const double qv = s.q.at(cx, cy, o);
        const double inv = qv != 0.0 ? 1.0 / qv : 1.0;
        if (apply != nullptr) apply(ctx, frag.color, float(s.s.at(cx, cy, o) * inv), float(s.t.at(cx, cy, o) * inv), 0.0f);
    }
    if (s.flags & kGlShadeFog) {
        const float f = float(s.fog.at(cx, cy, o));
        if (ctx->state.mode.hints[4] == GL_NICEST)
            __glFogFragment(ctx, &frag, std::fabs(f));
        else
            __glFogBlendColor(ctx, frag.color, frag.color, f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f));
    }
    if (s.channels == 4)
        frag.color[3] *= float(coverage);
    else
        frag.color[0] = __glCoverageToIndex(frag.color[0], float(coverage));
    frag.z = (s.flags & (kGlShadeDepthTest | kGlShadeDepthIterate)) ? depthAt(ctx, s, cx, cy) : 0;
    s.store(s.cb, &frag);
}

// Fully covered pixels [x0, x1) of local row py through the span pipeline.
void runSpan(GlContext *ctx, const AaSetup &s, int32_t x0, int32_t x1, int32_t py) {
    GlRasterState &rs = rasterOf(ctx);
    const GlStageProc runner = spanListOf(ctx).runner;
    if (runner == nullptr) return;
    const Point o{0, 0};
    const int32_t oy = int32_t(s.origin.y), ox = int32_t(s.origin.x);
    rs.targetColorBuffer = ctx->buffers.color.drawColorBuffer;
    for (int32_t x = x0; x < x1; x += kGlMaxSpanLength) {
        const int32_t n = std::min<int32_t>(x1 - x, kGlMaxSpanLength);
        const double cx = x + 0.5, cy = py + 0.5;
        rs.spanX = x + ox;
        rs.spanY = py + oy;
        rs.spanLength = n;
        if (s.smooth) {
            for (int i = 0; i < s.channels; ++i) {
                rs.spanColor[i] = float(s.color[i].at(cx, cy, o));
                rs.colorStep[i] = float(s.color[i].dx);
            }
        } else {
            std::memcpy(rs.spanColor, s.flatColor, 16);
            std::memset(rs.colorStep, 0, sizeof rs.colorStep);
        }
        if (s.flags & kGlShadeTexture) {
            const AaPlane *p[3] = {&s.s, &s.t, &s.q};
            for (int i = 0; i < 3; ++i) {
                rs.spanTexCoord[i] = float(p[i]->at(cx, cy, o));
                rs.texCoordStep[i] = float(p[i]->dx);
            }
            rs.spanTexCoord[3] = rs.texCoordStep[3] = 0.0f;
        }
        if (s.flags & kGlShadeFog) {
            rs.spanFog = float(s.fog.at(cx, cy, o));
            rs.fogStep = float(s.fog.dx);
        }
        if (s.flags & (kGlShadeDepthTest | kGlShadeDepthIterate)) rs.spanZ = depthAt(ctx, s, cx, cy);
        const int32_t wx = x + ox, wy = py + oy;
        if (s.depth != nullptr)
            rs.depthAddress = s.depth->base + (int64_t(wy - ctx->limits.biasY) * s.depth->pitch + (wx - ctx->limits.biasX)) *
                                                  s.depth->elementSize;
        if (s.stencil != nullptr)
            rs.stencilAddress = s.stencil->base +
                                (int64_t(wy - ctx->limits.biasY) * s.stencil->pitch + (wx - ctx->limits.biasX)) *
                                    s.stencil->elementSize;
        runner(ctx);
    }
}

// The x range of local row py's band [py, py + 1) that the triangle reaches.
bool rowExtent(const Point v[3], double y0, double y1, double &xmin, double &xmax) {
    xmin = 1e300;
    xmax = -1e300;
    auto take = [&](double x) {
        xmin = std::min(xmin, x);
        xmax = std::max(xmax, x);
    };
    for (int i = 0; i < 3; ++i) {
        const Point &a = v[i], &b = v[(i + 1) % 3];
        if (a.y >= y0 && a.y <= y1) take(a.x);
        const double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
        if (hi == lo) continue;
        for (double y : {y0, y1})
            if (y >= lo && y <= hi) take(a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y));
    }
    return xmin <= xmax;
}

}  // namespace

void __glRenderTriangleAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    GlRasterState &rs = rasterOf(ctx);
    AaSetup s;
    s.flags = rs.shadeFlags;
    s.cb = __glFragmentTarget(ctx);
    if (s.cb == nullptr) return;
    GlVertex *vs[3] = {a, b, c};
    std::sort(vs, vs + 3, [](const GlVertex *l, const GlVertex *r) { return l->window[1] < r->window[1]; });
    for (GlVertex *v : vs)
        if (!__glRasterCoordinateUsable(v->window[0]) || !__glRasterCoordinateUsable(v->window[1])) return;

    // Snap to the sub-pixel grid, then into local pixel units.
    const double unit = std::ldexp(1.0, ctx->limits.subpixelBits);
    Point p[3];
    for (int i = 0; i < 3; ++i) {
        p[i].x = std::trunc(double(vs[i]->window[0]) * unit) / unit - 0.5;
        p[i].y = std::trunc(double(vs[i]->window[1]) * unit) / unit - 0.5;
    }
    s.origin = {std::floor(p[0].x), std::floor(p[0].y)};
    for (Point &q : p) {
        q.x -= s.origin.x;
        q.y -= s.origin.y;
    }
    const double area2 = (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[1].y - p[0].y) * (p[2].x - p[0].x);
    if (area2 == 0.0 || !std::isfinite(area2)) return;
    const double inverseArea = 1.0 / area2;
    s.tri.e[0] = makeEdge(p[0], p[1], p[2]);
    s.tri.e[1] = makeEdge(p[1], p[2], p[0]);
    s.tri.e[2] = makeEdge(p[2], p[0], p[1]);
    s.grid = SampleGrid(ctx->state.mode.hints[3] == GL_NICEST ? 8 : 4);

    GlVertex *provoking = ctx->arrays.vertexBuffer.provokingVertex;
    if (provoking == nullptr) provoking = c;
    ScaledColors scaled;
    float *const colors[4] = {provoking->color, vs[0]->color, vs[1]->color, vs[2]->color};
    scaled.scale(ctx, colors, 4);

    s.channels = (s.flags & kGlShadeRgba) ? 4 : 1;
    s.smooth = (s.flags & kGlShadeSmooth) != 0;
    std::memcpy(s.flatColor, provoking->color, 16);
    if (s.smooth)
        for (int i = 0; i < s.channels; ++i) {
            const double v[3] = {vs[0]->color[i], vs[1]->color[i], vs[2]->color[i]};
            s.color[i] = planeOf(p, v, inverseArea);
        }
    if (s.flags & kGlShadeTexture) {
        double st[3][3];
        for (int k = 0; k < 3; ++k) {
            const float *tc = vs[k]->texCoord[0];
            const double w = (s.flags & kGlShadePerspectiveTex) ? vs[k]->invW : 1.0;
            st[0][k] = tc[0] * w;
            st[1][k] = tc[1] * w;
            st[2][k] = tc[3] * w;
        }
        s.s = planeOf(p, st[0], inverseArea);
        s.t = planeOf(p, st[1], inverseArea);
        s.q = planeOf(p, st[2], inverseArea);
    }
    const bool depthIter = s.flags & (kGlShadeDepthTest | kGlShadeDepthIterate);
    if (depthIter) {
        const double z[3] = {vs[0]->window[2], vs[1]->window[2], vs[2]->window[2]};
        s.z = planeOf(p, z, inverseArea);
        rs.zStepXFloat = float(s.z.dx);
        rs.zStepYFloat = float(s.z.dy);
        rs.zStep = truncInt(s.z.dx);
        rs.zStep32 = int32_t(uint32_t(rs.zStep) << 5);
    }
    if (s.flags & kGlShadeFog) {
        const bool nicest = ctx->state.mode.hints[4] == GL_NICEST;
        double f[3];
        for (int k = 0; k < 3; ++k) f[k] = nicest ? vs[k]->eye[2] : vs[k]->fog;
        s.fog = planeOf(p, f, inverseArea);
    }
    s.offset = (s.flags & kGlShadePolygonOffset) != 0 && depthIter;
    s.anchor = vs[0];
    s.depth = (s.flags & kGlShadeDepthTest) ? attached(ctx->buffers.depth.head) : nullptr;
    s.stencil = (s.flags & kGlShadeStencilTest) ? attached(ctx->buffers.stencil.head) : nullptr;
    const GlFragmentProcs &fp = ctx->state.span.fragment;
    s.store = fp.store == nullptr || fp.store == fp.storeColor ? __glStoreFragment : fp.store;

    GlBufferArea &buffers = ctx->buffers;
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && buffers.drawableLock(ctx) == 0) {
        return;
    }
    buffers.lockCount += 1;

    // Rows and columns within the clip box only (the scissor applies to the interior runs too).
    const GlClipBox box = clipBoxOf(ctx);
    const int32_t ox = int32_t(s.origin.x), oy = int32_t(s.origin.y);
    const int32_t rowFirst = std::max<int64_t>(int64_t(std::floor(p[0].y)), int64_t(box.y0) - oy);
    const int32_t rowEnd = std::min<int64_t>(int64_t(std::floor(p[2].y)) + 1, int64_t(box.y1) - oy);
    for (int32_t py = rowFirst; py < rowEnd; ++py) {
        double xmin, xmax;
        if (!rowExtent(p, py, py + 1.0, xmin, xmax)) continue;
        const int32_t xFirst = std::max<int64_t>(int64_t(std::floor(xmin)), int64_t(box.x0) - ox);
        const int32_t xEnd = std::min<int64_t>(int64_t(std::floor(xmax)) + 1, int64_t(box.x1) - ox);
        bool full = false;
        int32_t runStart = -1;
        for (int32_t px = xFirst; px < xEnd; ++px) {
            double cx = px + 0.5, cy = py + 0.5;
            const double coverage = pixelCoverage(s.tri, s.grid, cx, cy, full);
            if (full) {
                if (runStart < 0) runStart = px;
                continue;
            }
            if (runStart >= 0) {
                runSpan(ctx, s, runStart, px, py);
                runStart = -1;
            }
            if (coverage > 0.0) emitPixel(ctx, s, px, py, cx, cy, coverage);
        }
        if (runStart >= 0) runSpan(ctx, s, runStart, xEnd, py);
    }

    buffers.lockCount -= 1;
    if (buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
}
