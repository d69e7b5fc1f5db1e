// The generic software triangle. Window coordinates carry the drawable bias plus one half, so the
// sample point of row y and column x is (x + 1.0, y + 1.0): a row is drawn when its sample lies in
// (top, bottom], a pixel when its sample lies in (left edge, right edge]. Two triangles that share
// an edge step it from the same upper vertex with the same slope, so every pixel along it is
// drawn exactly once.
#include <cmath>
#include <cstring>
#include "icd/raster/triangle.h"
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/raster/raster_math.h"
#include "icd/raster/tex_sample.h"
#include "icd/vertex/vertex.h"

using namespace glraster;

namespace {

// Stands in for a division by a zero depth slope: one unit in the last place below 100000.
constexpr double kNoSlope = 99999.99999999999;


// The depth and stencil buffers the walk addresses; null while the context has none attached.
const GlBuffer *attached(const GlBuffer &b) { return b.context != nullptr && b.base != nullptr ? &b : nullptr; }
const GlBuffer *depthHeadOf(GlContext *ctx) { return attached(ctx->buffers.depth.head); }
const GlBuffer *stencilHeadOf(GlContext *ctx) { return attached(ctx->buffers.stencil.head); }
// The depth buffer's smallest resolvable step (what one polygon-offset unit moves, as a fraction
// of the largest depth value); without a depth buffer that of the 16-bit kind.
float depthOffsetUnitOf(GlContext *ctx) {
    const GlDepthBuffer &db = ctx->buffers.depth;
    return db.scale != 0 ? db.offsetUnit : 0.0039063096f;
}
// Level 0 of the current texture when its filters need the level of detail (the texture picker
// chose the span scale proc that forms it), else null.
const GlMipLevel *levelZeroNeedingScale(GlContext *ctx) {
    if (texSlot<GlTexScaleSpanProc>(ctx->state.pick.texture.scaleSpan) != __glTexRhoSpan) return nullptr;
    const GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    return tex != nullptr && tex->levels != nullptr ? tex->levels[0] : nullptr;
}

// Plane gradients of the triangle top, middle, bottom.
struct Plane {
    float J, K, L, M;
    void gradient(float vt, float vm, float vb, float *dx, float *dy) const {
        *dx = J * (vt - vb) - K * (vm - vb);
        *dy = L * (vm - vb) - M * (vt - vb);
    }
};

// Edges are stepped exactly: positions are integers of 1/4096 pixel (every biased window
// coordinate is such a multiple), and the part of a unit that a row adds is kept as a remainder
// over the edge's height. Two triangles sharing an edge step it identically, and a pixel centre
// that lies exactly on an edge or a vertex falls on the side the convention gives it.
constexpr int kUnitBits = 12;
constexpr int64_t kUnit = int64_t(1) << kUnitBits;

int64_t toUnits(float v) { return std::llrint(double(v) * double(kUnit)); }
int64_t floorDiv(int64_t a, int64_t b) {  // b > 0
    int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

struct ExactEdge {
    int64_t xu;      // x in units, rounded down
    int64_t r;       // the rest of x: r / height units, 0 <= r < height
    int64_t height;  // the edge's height in units
    int64_t q, rq;   // per row: q units and rq / height
};

// Positions the edge upper -> lower on row `row` (sampled at row + 1) and fills the record's view.
void setupEdge(GlTriangleEdge &e, ExactEdge &x, const GlVertex *upper, const GlVertex *lower, int32_t row) {
    int64_t ux = toUnits(upper->window[0]), uy = toUnits(upper->window[1]);
    int64_t dx = toUnits(lower->window[0]) - ux;
    x.height = toUnits(lower->window[1]) - uy;  // > 0: the edge crosses this row
    int64_t a = (int64_t(row) + 1) * kUnit - uy;
    int64_t num = a * dx;
    int64_t q = floorDiv(num, x.height);
    x.r = num - q * x.height;
    x.xu = ux + q;
    x.q = floorDiv(kUnit * dx, x.height);
    x.rq = kUnit * dx - x.q * x.height;
    e.x = int32_t(x.xu >> kUnitBits);
    e.littleStep = int32_t(x.q >> kUnitBits);
    e.bigStep = e.littleStep + 1;
    e.fraction = int32_t((x.xu & (kUnit - 1)) << (31 - kUnitBits));
    e.fractionStep = int32_t((x.q & (kUnit - 1)) << (31 - kUnitBits));
}

// One row down: true when x took the big step.
bool stepEdge(GlTriangleEdge &e, ExactEdge &x) {
    x.xu += x.q;
    x.r += x.rq;
    if (x.r >= x.height) {
        x.r -= x.height;
        x.xu += 1;
    }
    int32_t nx = int32_t(x.xu >> kUnitBits);
    bool big = nx - e.x == e.bigStep;
    e.x = nx;
    e.fraction = int32_t((x.xu & (kUnit - 1)) << (31 - kUnitBits));
    return big;
}

// The per-triangle values the row walk needs beyond the raster state.
struct Walk {
    ExactEdge left, right;
    bool offset;         // polygon offset: offsetZ and the pixel counts are stepped
    float offsetZLittle, offsetZBig;
    GlBuffer const *depth, *stencil;
};

// Moves the start of the current span n pixels to the right.
void advanceSpan(GlRasterState &rs, const Walk &w, int32_t n) {
    float fn = float(n);
    rs.spanX += n;
    for (int i = 0; i < 4; ++i) {
        rs.spanColor[i] += fn * rs.colorStep[i];
        rs.spanTexCoord[i] += fn * rs.texCoordStep[i];
    }
    rs.spanFog += fn * rs.fogStep;
    rs.spanZ += uint32_t(n) * uint32_t(rs.zStep);
    if (w.depth != nullptr) rs.depthAddress += n * w.depth->elementSize;
    if (w.stencil != nullptr) rs.stencilAddress += n * w.stencil->elementSize;
    rs.offsetZ += fn * rs.zStepXFloat;
    rs.offsetPixelsToLimit -= fn;
}

// Runs one row [x, x + len). A span that leaves the clip box in x, or is longer than the span
// arrays, is cut to the box and run in pieces the arrays hold; its row state is kept for the
// edge stepping.
void runRow(GlContext *ctx, const Walk &w, int32_t x, int32_t y, int32_t len) {
    GlRasterState &rs = rasterOf(ctx);
    GlStageProc runner = spanListOf(ctx).runner;
    rs.spanY = y;
    GlClipBox box = clipBoxOf(ctx);
    if (len <= kGlMaxSpanLength && x >= box.x0 && x + len <= box.x1) {
        rs.spanX = x;
        rs.spanLength = len;
        runner(ctx);
        return;
    }
    int64_t x0 = x > box.x0 ? x : box.x0;
    int64_t x1 = int64_t(x) + len < box.x1 ? int64_t(x) + len : box.x1;
    if (x0 >= x1) return;
    GlRasterState saved = rs;
    rs.spanX = x;
    advanceSpan(rs, w, int32_t(x0 - x));
    for (int64_t at = x0; at < x1; at += kGlMaxSpanLength) {
        int32_t n = int32_t(x1 - at < kGlMaxSpanLength ? x1 - at : kGlMaxSpanLength);
        GlRasterState start = rs;
        rs.spanLength = n;
        runner(ctx);
        rs = start;
        advanceSpan(rs, w, n);
    }
    rs = saved;
}

// The walk of the triangle being drawn on this thread.
thread_local Walk t_walk;

}  // namespace

void __glSetupLeftEdge(GlContext *ctx, const GlVertex *upper, const GlVertex *lower, int32_t firstRow) {
    GlRasterState &rs = rasterOf(ctx);
    Walk &w = t_walk;
    setupEdge(rs.leftEdge, w.left, upper, lower, firstRow);
    if (w.depth != nullptr) {
        int32_t es = w.depth->elementSize, pitch = w.depth->pitch;
        rs.depthLittleStep = es * (pitch + rs.leftEdge.littleStep);
        rs.depthBigStep = es * (pitch + rs.leftEdge.bigStep);
    }
    if (w.stencil != nullptr) {
        int32_t es = w.stencil->elementSize, pitch = w.stencil->pitch;
        rs.stencilLittleStep = es * (pitch + rs.leftEdge.littleStep);
        rs.stencilBigStep = es * (pitch + rs.leftEdge.bigStep);
    }
}

void __glSetupRightEdge(GlContext *ctx, const GlVertex *upper, const GlVertex *lower, int32_t firstRow) {
    setupEdge(rasterOf(ctx).rightEdge, t_walk.right, upper, lower, firstRow);
}

void __glSetupEdgeStart(GlContext *ctx, const GlVertex *v, const float *color, float fog, float texScaleQ,
                        float dxs, float dy) {
    GlRasterState &rs = rasterOf(ctx);
    const uint32_t f = rs.shadeFlags;
    const float little = float(rs.leftEdge.littleStep), big = float(rs.leftEdge.bigStep);
    // value at the first pixel, and its change for a little and a big step of the left edge
    auto start = [&](float vs, float ddx, float ddy, float *at, float *littleInc, float *bigInc) {
        *at = vs + dy * ddy + dxs * ddx;
        *littleInc = ddy + little * ddx;
        *bigInc = ddy + big * ddx;
    };

    if (f & kGlShadeSmooth) {
        int channels = (f & kGlShadeRgba) ? 4 : 1;
        for (int i = 0; i < channels; ++i)
            start(color[i], rs.colorStep[i], rs.colorStepY[i], &rs.spanColor[i], &rs.colorLittleStep[i],
                  &rs.colorBigStep[i]);
    }
    if (f & kGlShadeTexture) {
        const float *tc = v->texCoord[0];
        float s = tc[0], t = tc[1], q = tc[3];
        if (f & kGlShadePerspectiveTex) {
            s *= v->invW;
            t *= v->invW;
            q *= v->invW;
        }
        const float vals[4] = {s, t, q, texScaleQ};
        for (int i = 0; i < 4; ++i)
            start(vals[i], rs.texCoordStep[i], rs.texStepY[i], &rs.spanTexCoord[i], &rs.texLittleStep[i],
                  &rs.texBigStep[i]);
    }
    if (f & kGlShadeFog) start(fog, rs.fogStep, rs.fogStepY, &rs.spanFog, &rs.fogLittleStep, &rs.fogBigStep);
    if (f & (kGlShadeDepthIterate | kGlShadeDepthTest)) {
        // In double: depth values use all 32 bits.
        double z = double(v->window[2]) + double(dy) * rs.zStepYFloat + double(dxs) * rs.zStepXFloat;
        rs.spanZ = __glTruncDepth(z);
        float zl = rs.zStepYFloat + little * rs.zStepXFloat, zb = rs.zStepYFloat + big * rs.zStepXFloat;
        rs.zLittleStep = __glTruncInt(zl);
        rs.zBigStep = __glTruncInt(zb);
        Walk &w = t_walk;
        w.offsetZLittle = zl;
        w.offsetZBig = zb;
        if (w.offset) {
            __glSetupPolygonOffset(ctx, v, dxs, dy);
            double dzdx = rs.zStepXFloat;
            if (dzdx != 0.0) {
                rs.offsetLittleStep = float(-double(zl) / dzdx);
                rs.offsetBigStep = float(-double(zb) / dzdx);
            } else {
                rs.offsetLittleStep = float(-double(zl) * kNoSlope);
                rs.offsetBigStep = float(-double(zb) * kNoSlope);
            }
        }
    }
}

void __glSetupPolygonOffset(GlContext *ctx, const GlVertex *v, float dxs, float dy) {
    GlRasterState &rs = rasterOf(ctx);
    const GlPolygonOffsetState &po = ctx->state.polygonOffset;
    const double depthMax = __glDepthBufferScale(ctx);
    const float dzdx = rs.zStepXFloat, dzdy = rs.zStepYFloat;
    double bias = double(po.offsetFactor) * std::fmax(std::fabs(dzdx), std::fabs(dzdy)) +
                  double(po.offsetUnits) * depthOffsetUnitOf(ctx) * depthMax;
    // A mirrored depth buffer stores 1 - z: away from the viewer is towards smaller values.
    if (__glDepthBufferInverted(ctx)) bias = -bias;
    double z = double(v->window[2]) + double(dzdx) * dxs + double(dzdy) * dy + bias;
    rs.offsetZ = float(z);
    rs.spanZ = __glTruncDepth(z > depthMax ? depthMax : z);
    const uint32_t max = __glTruncDepth(depthMax);
    if (rs.zStep < 0) {
        rs.offsetNearLimit = max;
        rs.offsetFarLimit = 0;
    } else {
        rs.offsetNearLimit = 0;
        rs.offsetFarLimit = max;
    }
    int32_t bits;
    std::memcpy(&bits, &dzdx, 4);
    if (bits > 0) {
        rs.offsetPixelsToLimit = float((depthMax - z) / dzdx);
        rs.offsetPixelsFullRange = float(depthMax / dzdx);
    } else if (dzdx < 0.0f) {
        rs.offsetPixelsToLimit = float(-z / dzdx);
        rs.offsetPixelsFullRange = float(-depthMax / dzdx);
    } else {
        rs.offsetPixelsToLimit = float((depthMax - z) * kNoSlope);
        rs.offsetPixelsFullRange = float(depthMax * kNoSlope);
    }
}

void __glFillSubTriangle(GlContext *ctx, int32_t firstRow, int32_t endRow) {
    GlRasterState &rs = rasterOf(ctx);
    const Walk &w = t_walk;
    const GlClipBox box = clipBoxOf(ctx);
    rs.targetColorBuffer = ctx->buffers.color.drawColorBuffer;
    const uint32_t f = rs.shadeFlags;
    const bool smooth = f & kGlShadeSmooth, tex = f & kGlShadeTexture, fog = f & kGlShadeFog;
    const bool depthIter = f & (kGlShadeDepthIterate | kGlShadeDepthTest);
    const int channels = (f & kGlShadeRgba) ? 4 : 1;
    if (f & (kGlShadeDepthTest | kGlShadeStencilTest)) {
        int32_t ox = ctx->limits.biasX, oy = ctx->limits.biasY;
        int32_t leftX = rs.leftEdge.x;
        if (w.depth != nullptr)
            rs.depthAddress =
                w.depth->base + (int64_t(firstRow - oy) * w.depth->pitch + (leftX - ox)) * w.depth->elementSize;
        if (w.stencil != nullptr)
            rs.stencilAddress = w.stencil->base +
                                (int64_t(firstRow - oy) * w.stencil->pitch + (leftX - ox)) * w.stencil->elementSize;
    }
    for (int32_t y = firstRow; y < endRow; ++y) {
        int32_t len = rs.rightEdge.x - rs.leftEdge.x;
        if (len > 0 && y >= box.y0 && y < box.y1) runRow(ctx, w, rs.leftEdge.x, y, len);
        bool big = stepEdge(rs.leftEdge, t_walk.left);
        if (smooth)
            for (int i = 0; i < channels; ++i) rs.spanColor[i] += big ? rs.colorBigStep[i] : rs.colorLittleStep[i];
        if (tex)
            for (int i = 0; i < 4; ++i) rs.spanTexCoord[i] += big ? rs.texBigStep[i] : rs.texLittleStep[i];
        if (fog) rs.spanFog += big ? rs.fogBigStep : rs.fogLittleStep;
        if (depthIter) {
            rs.spanZ += uint32_t(big ? rs.zBigStep : rs.zLittleStep);
            if (w.offset) {
                rs.offsetZ += big ? w.offsetZBig : w.offsetZLittle;
                rs.offsetPixelsToLimit += big ? rs.offsetBigStep : rs.offsetLittleStep;
            }
        }
        if (w.depth != nullptr) rs.depthAddress += big ? rs.depthBigStep : rs.depthLittleStep;
        if (w.stencil != nullptr) rs.stencilAddress += big ? rs.stencilBigStep : rs.stencilLittleStep;
        stepEdge(rs.rightEdge, t_walk.right);
    }
}

namespace {


}  // namespace

void __glRenderTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    GlRasterState &rs = rasterOf(ctx);
    const uint32_t f = rs.shadeFlags;

    // Sort by window y: top (smallest), middle, bottom.
    GlVertex *t = a, *m = b, *bo = c;
    if (m->window[1] < t->window[1]) std::swap(t, m);
    if (bo->window[1] < m->window[1]) std::swap(m, bo);
    if (m->window[1] < t->window[1]) std::swap(t, m);

    const float tx = t->window[0], ty = t->window[1], mx = m->window[0], my = m->window[1];
    const float bx = bo->window[0], by = bo->window[1];
    // Only coordinates whose 1/4096 units and their products fit 64 bits (and NaN never).
    for (float c : {tx, ty, mx, my, bx, by})
        if (!__glRasterCoordinateUsable(c)) return;
    // The signed area decides which side the long edge is on: it is formed exactly, so that a
    // sliver is never drawn mirrored and a collinear triangle is recognised as one.
    const int64_t areaUnits = (toUnits(my) - toUnits(by)) * (toUnits(tx) - toUnits(bx)) -
                              (toUnits(mx) - toUnits(bx)) * (toUnits(ty) - toUnits(by));
    // A zero-area triangle covers no pixel centre; its gradients do not exist.
    if (areaUnits == 0) return;
    const bool leftLong = areaUnits > 0;
    const double A = double(kUnit) * double(kUnit) / double(areaUnits);
    const Plane p{float((double(my) - by) * A), float((double(ty) - by) * A), float((double(tx) - bx) * A),
                  float((double(mx) - bx) * A)};

    GlVertex *provoking = ctx->arrays.vertexBuffer.provokingVertex;
    if (provoking == nullptr) provoking = c;
    GlScaledColors<4> scaled;
    float *const colors[4] = {provoking->color, t->color, m->color, bo->color};
    scaled.scale(ctx, colors, 4);

    Walk &w = t_walk;
    w = Walk{};
    w.offset = (f & kGlShadePolygonOffset) != 0;
    w.depth = (f & kGlShadeDepthTest) ? depthHeadOf(ctx) : nullptr;
    w.stencil = (f & kGlShadeStencilTest) ? stencilHeadOf(ctx) : nullptr;

    // Colour.
    if (f & kGlShadeSmooth) {
        int channels = (f & kGlShadeRgba) ? 4 : 1;
        for (int i = 0; i < channels; ++i)
            p.gradient(t->color[i], m->color[i], bo->color[i], &rs.colorStep[i], &rs.colorStepY[i]);
    } else {
        std::memcpy(rs.spanColor, provoking->color, 16);
        std::memset(rs.colorStep, 0, sizeof rs.colorStep);
    }
    // Texture coordinates; the level of detail is formed at each pixel from their planes (a
    // value per vertex interpolated across a perspective triangle would stray far from it).
    float texScaleQ[3] = {0, 0, 0};
    rs.texRhoExact = 0;
    if (f & kGlShadeTexture) {
        GlVertex *v3[3] = {t, m, bo};
        float stq[3][3];
        for (int k = 0; k < 3; ++k) {
            const float *tc = v3[k]->texCoord[0];
            float wk = (f & kGlShadePerspectiveTex) ? v3[k]->invW : 1.0f;
            stq[k][0] = tc[0] * wk;
            stq[k][1] = tc[1] * wk;
            stq[k][2] = tc[3] * wk;
        }
        for (int i = 0; i < 3; ++i)
            p.gradient(stq[0][i], stq[1][i], stq[2][i], &rs.texCoordStep[i], &rs.texStepY[i]);
        rs.texCoordStep[3] = rs.texStepY[3] = 0.0f;
        const GlMipLevel *l0 = levelZeroNeedingScale(ctx);
        rs.texRhoWidth2 = l0 != nullptr ? l0->innerWidthF * l0->innerWidthF : 0.0f;
        rs.texRhoHeight2 = l0 != nullptr ? l0->innerHeightF * l0->innerHeightF : 0.0f;
        rs.texRhoExact = 1;
    }
    // Depth.
    if (f & (kGlShadeDepthIterate | kGlShadeDepthTest)) {
        p.gradient(t->window[2], m->window[2], bo->window[2], &rs.zStepXFloat, &rs.zStepYFloat);
        rs.zStep = __glTruncInt(rs.zStepXFloat);
        rs.zStep32 = int32_t(uint32_t(rs.zStep) << 5);
    }
    // Fog: the eye distance when the fog is computed per pixel, else the vertex fog factor.
    const bool nicest = ctx->state.mode.hints[4] == GL_NICEST;
    auto fogOf = [&](const GlVertex *v) { return nicest ? v->eye[2] : v->fog; };
    if (f & kGlShadeFog) p.gradient(fogOf(t), fogOf(m), fogOf(bo), &rs.fogStep, &rs.fogStepY);

    // The buffers are written only inside the lock bracket; a refused lock draws nothing.
    GlBufferArea &buffers = ctx->buffers;
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && buffers.drawableLock(ctx) == 0) {
        rs.texRhoExact = 0;
        scaled.restore();
        return;
    }
    buffers.lockCount += 1;

    const int32_t top = __glTruncInt(ty), mid = __glTruncInt(my), bottom = __glTruncInt(by);
    // The left edge from upper to lower starts on `row`: its x, then the attributes' start values.
    auto startLeft = [&](GlVertex *upper, GlVertex *lower, int32_t row) {
        __glSetupLeftEdge(ctx, upper, lower, row);
        float dy = float(row) + 1.0f - upper->window[1];
        float dxs = float(rs.leftEdge.x) + 1.0f - upper->window[0];
        int k = upper == t ? 0 : (upper == m ? 1 : 2);
        __glSetupEdgeStart(ctx, upper, upper->color, fogOf(upper), texScaleQ[k], dxs, dy);
    };

    if (leftLong) {
        startLeft(t, bo, top);
        if (top < mid) {
            __glSetupRightEdge(ctx, t, m, top);
            __glFillSubTriangle(ctx, top, mid);
        }
        if (mid < bottom) {
            __glSetupRightEdge(ctx, m, bo, mid);
            __glFillSubTriangle(ctx, mid, bottom);
        }
    } else {
        __glSetupRightEdge(ctx, t, bo, top);
        if (top < mid) {
            startLeft(t, m, top);
            __glFillSubTriangle(ctx, top, mid);
        }
        if (mid < bottom) {
            startLeft(m, bo, mid);
            __glFillSubTriangle(ctx, mid, bottom);
        }
    }

    buffers.lockCount -= 1;
    if (buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
    rs.texRhoExact = 0;
    scaled.restore();
}
