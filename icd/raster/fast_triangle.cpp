// The prebuilt set-up of the fast path, its C row walker and its tables. Vertices snap to the
// nearest point of a 1/16-pixel grid; edges follow the generic triangle's sampling rule (row y and column x sample
// at (x + 1.0, y + 1.0), a row is drawn for samples in (top, bottom], a pixel for samples in
// (left, right]), so both paths cover the same pixels for vertices on the grid. The set-up writes
// the whole walk into the span record: the edges as integer x plus a 31-bit fraction whose carry
// chooses each row's step, and every attribute and buffer address at the first pixel with its
// steps per pixel, per 32-pixel chunk and per row (one pair, by the carry). A generated span
// routine or the C walker below then walks the rows from those fields alone, so the two roads
// step the same values; each row is cut into chunks of at most 32 pixels, each handed to the
// first stage of the chain with its mask word.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include "icd/codegen/og_procs.h"
#include "icd/raster/fast_color.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/pixel/texture_object.h"
#include "icd/vertex/vertex.h"
#include "icd/vertex/transform_state.h"

using namespace glraster;

namespace {

constexpr uint32_t ditherLevel(int y, int x) { return uint32_t(__glDitherMatrix[y & 3][x & 3]) << 12; }

using DitherTable = GlFastDitherTable;
// Mirrored: entry i holds the level of column -i, so that a right-to-left walk, whose
// positions are u = -x, reads the levels of x, x - 1, ... when entered at u & 3.
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

constinit const GlFastDitherTables __glFastDitherTables{makeDither(false), makeDither(true)};
constinit const DitherTable &__glFastDitherTable = __glFastDitherTables.plain;
constinit const DitherTable &__glFastDitherTableMirrored = __glFastDitherTables.mirrored;
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

// ceil(r 2^31 / den) for 0 <= r < den < 2^25: one 64-by-32-bit division (the high word r / 2 is
// below den, so the quotient fits 32 bits), where the compiler would call its 64-bit routine.
inline uint32_t ceilFraction(uint32_t r, uint32_t den) {
    uint32_t q, rem;
    asm("divl %4" : "=a"(q), "=d"(rem) : "a"(r << 31), "d"(r >> 1), "rm"(den) : "cc");
    return q + (rem != 0 ? 1u : 0u);
}

// A vertex snapped to 1/16 pixel for the edges, and where it is for the planes: attributes are
// sampled against the vertices as given, as the generic rasteriser samples them, so the snap
// moves coverage by at most a thirty-second of a pixel and no attribute at all.
struct Snapped {
    GlVertex *v;
    int64_t x, y;      // in 1/16 pixel
    double fx, fy;     // the window coordinates as given, in pixels
};

// One edge from an upper to a lower vertex on the rows below a given one, in the span record's
// form: the integer x of the first pixel whose sample lies right of the edge, plus a 31-bit
// fraction, stepped per row by Step[carry]. The exact walker is x + r / den with den = 16 h; its
// fractions are rounded up to 2^-31, so a carry of the exact walker is always one of the rounded
// one, and the rounded one carries early only after its error (less than one unit a row) reaches
// 2^31 / den, which no edge of fewer than about 2900 rows does. A negated edge (spans walking
// right to left) is the same walker on -x: 1 - floor(a) = floor((2 den - 1 - A) / den), so its
// value is one minus the first pixel left of the edge.
struct EdgeFields {
    int32_t x = 0, step = 0;
    uint32_t frac = 0, fracStep = 0;
};

EdgeFields edgeAt(const Snapped &upper, const Snapped &lower, int32_t row, bool negate) {
    const int64_t h = lower.y - upper.y, dx = lower.x - upper.x, den = 16 * h;
    int64_t num = upper.x * h + (int64_t(row + 1) * 16 - upper.y) * dx, inc = 16 * dx;
    if (negate) {
        num = 2 * den - 1 - num;
        inc = -inc;
    }
    auto fraction = [den](int64_t r) { return ceilFraction(uint32_t(r), uint32_t(den)); };
    EdgeFields e;
    const int64_t x = floorDiv(num, den), q = floorDiv(inc, den);
    e.x = int32_t(x);
    e.step = int32_t(q);
    e.frac = fraction(num - x * den);
    e.fracStep = fraction(inc - q * den);
    return e;
}

// The row advance of an edge: the carry out of the fraction chooses the step.
inline int32_t advanceEdge(int32_t &x, uint32_t &frac, uint32_t fracStep, const int32_t step[2]) {
    const uint32_t sum = frac + fracStep;
    const int32_t carry = int32_t(sum >> 31);
    frac = sum & 0x7FFFFFFFu;
    x += step[carry];
    return carry;
}

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
// floor without a library call for |v| < 2^51 (adding 1.5 * 2^52 rounds to an integer, which
// is then moved down when it lies above v); larger values and NaN take the library's.
inline double floorExact(double v) {
    constexpr double kMagic = 6755399441055744.0;
    if (!(std::fabs(v) < 2251799813685248.0)) return std::floor(v);
    const double t = (v + kMagic) - kMagic;
    return t > v ? t - 1.0 : t;
}
// A 32-bit fixed-point step, rounded to nearest and wrapped as the iterator's additions wrap.
inline int32_t toWrapped32(double v) { return int32_t(uint32_t(uint64_t(int64_t(floorExact(v + 0.5))))); }
inline int32_t wrapAdd(int32_t v, int32_t step) { return int32_t(uint32_t(v) + uint32_t(step)); }
inline int32_t wrapMul(int32_t v, int32_t k) { return int32_t(uint32_t(v) * uint32_t(k)); }

// The walk of the iterated quantities of a triangle: each plane's value at the first pixel of the
// first row, its step along the walk and per chunk, and its two row steps (the start edge moving
// by Step[0] or Step[1] pixels along the walk), written into the span record.
struct Attributes {
    GlSpanIter *fixed[8];
    int fixedCount = 0;
    GlSpanFloatIter *floats[3];
    int floatCount = 0;
    bool lod = false;
    // Where the planes are sampled: the first pixel's sample relative to the top vertex, the
    // direction of the walk and the start edge's row steps in pixels along it.
    double rx = 0, ry = 0, walk = 1;
    int32_t edgeStep = 0;

    double rowStep(const Plane &p, int carry) const { return p.dy + double(edgeStep + carry) * walk * p.dx; }
    void addFixed(GlSpanIter *it, const Plane &p, double bias) {
        fixed[fixedCount++] = it;
        it->rowStart = it->cur = toFixed16(p.at(rx, ry) + bias);
        it->step = toFixed16(walk * p.dx);
        it->chunkStep = wrapMul(it->step, 32);
        for (int c = 0; c < 2; ++c) it->rowStep[c] = toFixed16(rowStep(p, c));
    }
    void addFloat(GlSpanFloatIter *it, const Plane &p) {
        floats[floatCount++] = it;
        it->rowStart = it->cur = float(p.at(rx, ry));
        it->step = float(walk * p.dx);
        it->chunkStep = float(walk * p.dx * 32.0);
        it->halfStep = float(walk * p.dx * 16.0);
        for (int c = 0; c < 2; ++c) it->rowStep[c] = float(rowStep(p, c));
        it->dy = float(p.dy);
    }
    void addLod(GlSpan &sp, const Plane &p) {
        lod = true;
        sp.lod.rowStart = sp.lod.cur = float(p.at(rx, ry));
        sp.lod.step = float(walk * p.dx);
        sp.lod.chunkStep = float(walk * p.dx * 32.0);
        for (int c = 0; c < 2; ++c) sp.lod.rowStep[c] = float(rowStep(p, c));
    }
    // The depth value is 32-bit unsigned fixed point, clamped at the first pixel.
    void addDepth(GlSpan &sp, const Plane &p) {
        fixed[fixedCount++] = &sp.z;
        double v = p.at(rx, ry);
        v = v < 0.0 ? 0.0 : (v > 4294967295.0 ? 4294967295.0 : v);
        sp.z.rowStart = sp.z.cur = int32_t(uint32_t(v));
        sp.z.step = int32_t(walk * p.dx);
        sp.z.chunkStep = wrapMul(sp.z.step, 32);
        for (int c = 0; c < 2; ++c) sp.z.rowStep[c] = toWrapped32(rowStep(p, c));
    }
};

// The address iterators of the record, by the buffer they walk.
struct AddressIter {
    uint8_t *GlSpan::*cur;
    uint8_t *GlSpan::*rowStart;
    int32_t GlSpan::*step;
    int32_t GlSpan::*chunkStep;
    int32_t (GlSpan::*rowStep)[2];
};
enum { kAddressColor, kAddressDepth, kAddressStencil, kAddressFront, kAddressCount };
constexpr AddressIter kAddressIters[kAddressCount] = {
    {&GlSpan::pixel, &GlSpan::pixelRowStart, &GlSpan::pixelStep, &GlSpan::pixelChunkStep, &GlSpan::pixelRowStep},
    {&GlSpan::depthAddress, &GlSpan::depthRowStart, &GlSpan::depthAddressStep, &GlSpan::depthChunkStep, &GlSpan::depthRowStep},
    {&GlSpan::stencilAddress, &GlSpan::stencilRowStart, &GlSpan::stencilStep, &GlSpan::stencilChunkStep, &GlSpan::stencilRowStep},
    {&GlSpan::frontPixel, &GlSpan::frontRowStart, &GlSpan::pixelStep, &GlSpan::frontChunkStep, &GlSpan::frontRowStep},
};

// The C walker of a span record set up as the generated span routines expect it: rows of the
// upper half, then of the lower, each from the start edge to the other in chunks of 32 handed to
// the chain, clipped to the box in x (the set-up has clipped the rows already).
struct Walker {
    GlSpan &sp;
    const Attributes &attrs;
    bool active[kAddressCount];
    GlClipBox box;
    GlFastProc first;

    void advanceChunk() {
        for (int i = 0; i < attrs.fixedCount; ++i) {
            GlSpanIter *it = attrs.fixed[i];
            it->cur = wrapAdd(it->cur, it->chunkStep);
        }
        for (int i = 0; i < attrs.floatCount; ++i) attrs.floats[i]->cur += attrs.floats[i]->chunkStep;
        if (attrs.lod) sp.lod.cur += sp.lod.chunkStep;
        for (int a = 0; a < kAddressCount; ++a)
            if (active[a]) sp.*kAddressIters[a].cur += sp.*kAddressIters[a].chunkStep;
    }

    // The row's positions along the walk in [u0, u1), u0 at k pixels from the start edge.
    void runRow(int32_t u0, int32_t u1) {
        const int32_t k = u0 - sp.startEdgeX;
        for (int i = 0; i < attrs.fixedCount; ++i) {
            GlSpanIter *it = attrs.fixed[i];
            it->cur = wrapAdd(it->rowStart, wrapMul(it->step, k));
        }
        for (int i = 0; i < attrs.floatCount; ++i) {
            GlSpanFloatIter *it = attrs.floats[i];
            it->cur = it->rowStart + float(k) * it->step;
        }
        if (attrs.lod) sp.lod.cur = sp.lod.rowStart + float(k) * sp.lod.step;
        for (int a = 0; a < kAddressCount; ++a)
            if (active[a]) {
                const AddressIter &it = kAddressIters[a];
                sp.*it.cur = sp.*it.rowStart + k * (sp.*it.step);
            }
        const uint32_t *ditherRow = sp.ditherTableBase + 35 * (sp.y & 3);
        for (int32_t u = u0; u < u1; u += 32) {
            const int32_t n = u1 - u;
            sp.x = u;
            sp.ditherPointer = ditherRow + (u & 3);
            first(n >= 32 ? 0xFFFFFFFFu : __glFastMaskTable[size_t(n)], &sp);
            advanceChunk();
        }
    }

    void advanceRow() {
        const int32_t c = advanceEdge(sp.startEdgeX, sp.startEdgeFrac, sp.startEdgeFracStep, sp.startEdgeStep);
        for (int i = 0; i < attrs.fixedCount; ++i) {
            GlSpanIter *it = attrs.fixed[i];
            it->rowStart = wrapAdd(it->rowStart, it->rowStep[c]);
        }
        for (int i = 0; i < attrs.floatCount; ++i) attrs.floats[i]->rowStart += attrs.floats[i]->rowStep[c];
        if (attrs.lod) sp.lod.rowStart += sp.lod.rowStep[c];
        for (int a = 0; a < kAddressCount; ++a)
            if (active[a]) sp.*kAddressIters[a].rowStart += (sp.*kAddressIters[a].rowStep)[c];
        advanceEdge(sp.otherEdgeX, sp.otherEdgeFrac, sp.otherEdgeFracStep, sp.otherEdgeStep);
        sp.y += 1;
    }

    void run() {
        // The box in positions along the walk: x for +1, -x for -1 (its last column x1 - 1 is
        // position 1 - x1, and the position after its first column x0 is 1 - x0).
        const int32_t uLo = sp.xStep > 0 ? box.x0 : 1 - box.x1, uHi = sp.xStep > 0 ? box.x1 : 1 - box.x0;
        for (;;) {
            sp.y = sp.yStart;
            for (int32_t rows = sp.yMiddle - sp.yStart; rows > 0; --rows) {
                const int32_t u0 = std::max(sp.startEdgeX, uLo), u1 = std::min(sp.otherEdgeX, uHi);
                if (u0 < u1) runRow(u0, u1);
                advanceRow();
            }
            if (sp.yEnd == sp.yMiddle) return;
            sp.yStart = sp.yMiddle;
            sp.yMiddle = sp.yEnd;
            sp.otherEdgeX = sp.lowerEdgeX;
            sp.otherEdgeStep[0] = sp.lowerEdgeStep[0];
            sp.otherEdgeStep[1] = sp.lowerEdgeStep[1];
            sp.otherEdgeFrac = sp.lowerEdgeFrac;
            sp.otherEdgeFracStep = sp.lowerEdgeFracStep;
        }
    }
};

GlMipLevel *level0Of(GlTextureObject *tex) {
    return tex != nullptr && tex->levels != nullptr ? tex->levels[0] : nullptr;
}

}  // namespace

// Per axis the change of (s, t) / q across one pixel each way, (c + dc) / (q + dq) - (c - dc) /
// (q - dq) in texels; an axis where q + dq or q - dq is 0 does not count.
float __glLodAtVertex(GlContext *ctx, const double grad[3][2], double s, double t, double q) {
    const GlMipLevel *l = level0Of(ctx->state.span.fast.texture);
    const double width = l != nullptr ? l->innerWidth : 1, height = l != nullptr ? l->innerHeight : 1;
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
        // To the nearest sixteenth (positive and below 2^20 sixteenths: fits 32 bits). Truncating
        // would move a vertex that arithmetic left a rounding error below a grid line (a y
        // mirrored for a top-down surface) by a whole sixteenth, and the planes with it.
        v[i].x = int32_t(std::lrint(double(wx) * 16.0));
        v[i].y = int32_t(std::lrint(double(wy) * 16.0));
        v[i].fx = double(wx);
        v[i].fy = double(wy);
    }
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    if (v[2].y < v[1].y) std::swap(v[1], v[2]);
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    const Snapped &top = v[0], &mid = v[1], &bot = v[2];
    const int64_t area = (mid.y - bot.y) * (top.x - bot.x) - (mid.x - bot.x) * (top.y - bot.y);
    if (area == 0) return;
    // The long edge (top to bottom) is the start edge; spans walk away from it.
    const bool leftLong = area > 0;

    // Rows: the upper half [yStart, yMiddle), the lower [yMiddle, yEnd), clipped to the box so
    // that no edge is walked over rows it never draws.
    const GlClipBox box = clipBoxOf(ctx);
    const int32_t yTop = std::max(int32_t(top.y >> 4), box.y0), yBottom = std::min(int32_t(bot.y >> 4), box.y1);
    if (yTop >= yBottom) return;
    const int32_t yMid = std::clamp(int32_t(mid.y >> 4), yTop, yBottom);

    GlSpan sp;
    sp.context = ctx;
    sp.signedArea = float(double(area) / 256.0);
    sp.xStep = leftLong ? 1 : -1;
    sp.depthOffset = 0;
    sp.affineR = 0.0f;
    sp.yStart = yTop;
    sp.yMiddle = yMid;
    sp.yEnd = yBottom;
    sp.y = yTop;
    const EdgeFields none;
    const EdgeFields lng = edgeAt(top, bot, yTop, !leftLong);
    const EdgeFields upper = yTop < yMid ? edgeAt(top, mid, yTop, !leftLong) : none;
    const EdgeFields lower = yMid < yBottom ? edgeAt(mid, bot, yMid, !leftLong) : none;
    auto place = [](const EdgeFields &e, int32_t &x, int32_t step[2], uint32_t &frac, uint32_t &fracStep) {
        x = e.x;
        step[0] = e.step;
        step[1] = e.step + 1;
        frac = e.frac;
        fracStep = e.fracStep;
    };
    place(lng, sp.startEdgeX, sp.startEdgeStep, sp.startEdgeFrac, sp.startEdgeFracStep);
    place(upper, sp.otherEdgeX, sp.otherEdgeStep, sp.otherEdgeFrac, sp.otherEdgeFracStep);
    place(lower, sp.lowerEdgeX, sp.lowerEdgeStep, sp.lowerEdgeFrac, sp.lowerEdgeFracStep);
    // The first pixel of the first row, in window x.
    const int32_t firstX = leftLong ? lng.x : -lng.x;

    // Planes, sampled at that pixel and stepped along the walk.
    Gradients g;
    g.ax = mid.fx - top.fx;
    g.ay = mid.fy - top.fy;
    g.bx = bot.fx - top.fx;
    g.by = bot.fy - top.fy;
    g.inv = 1.0 / (g.ax * g.by - g.bx * g.ay);
    Attributes attrs;
    attrs.rx = double(firstX) + 1.0 - top.fx;
    attrs.ry = double(yTop) + 1.0 - top.fy;
    attrs.walk = double(sp.xStep);
    attrs.edgeStep = lng.step;
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
            colorIt[i]->step = colorIt[i]->chunkStep = colorIt[i]->rowStep[0] = colorIt[i]->rowStep[1] = 0;
            colorIt[i]->cur = colorIt[i]->rowStart = toFixed16(col[i] * k[i] + (i == 3 ? 0.5 : bias));
            if (i < 3) field[i] = uint32_t(toFixed16(col[i] * k[i] + 0.5)) >> 16;
        }
        // flatPixel: the flat colour packed for the buffer, rounded, without dither.
        sp.red.rowStart = int32_t((field[0] << cb->redShift) | (field[1] << cb->greenShift) | (field[2] << cb->blueShift));
    }
    const GlDepthBuffer &db = ctx->buffers.depth;
    const bool depth = (f & kGlShadeDepthTest) && db.head.base != nullptr;
    if (depth) {
        const Plane zPlane = g.plane(top.v->window[2], mid.v->window[2], bot.v->window[2]);
        attrs.addDepth(sp, zPlane);
        if (f & kGlShadePolygonOffset) {
            const GlPolygonOffsetState &po = ctx->state.polygonOffset;
            const double depthMax = __glDepthBufferScale(ctx);
            const double unit = db.scale != 0 ? db.offsetUnit : 0.0039063096;
            double offset = double(po.offsetFactor) * std::max(std::fabs(zPlane.dx), std::fabs(zPlane.dy)) +
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
            // The level-of-detail plane: rho squared times q/w at each vertex. The chain's texture
            // routines form rho squared exactly at their run ends instead: rho squared goes as
            // (q/w)^-4, and this plane divided back by q/w strays across a receding triangle far
            // outside the bound OpenGL sets the level of detail.
            const double grad[3][2] = {{ps.dx, ps.dy}, {pt.dx, pt.dy}, {pq.dx, pq.dy}};
            double lv[3];
            for (int i = 0; i < 3; ++i) lv[i] = double(__glLodAtVertex(ctx, grad, s[i], t[i], q[i])) * q[i];
            attrs.addLod(sp, g.plane(lv[0], lv[1], lv[2]));
        }
    }

    // The buffers' address iterators: the first pixel of the first row, a pixel, a chunk and a
    // row further along the walk.
    GlBufferArea &buffers = ctx->buffers;
    const int64_t rowY = int64_t(yTop - ctx->limits.biasY), rowX = int64_t(firstX - ctx->limits.biasX);
    const bool stencil = (f & kGlShadeStencilTest) && buffers.stencil.head.base != nullptr;
    const bool both = ctx->state.span.inputs.drawBothBuffers && buffers.color.front.head.base != nullptr;
    Walker walker{sp, attrs, {true, depth, stencil, both}, box, slots.fastStageFirst};
    const GlBuffer *heads[kAddressCount] = {&cb->head, &db.head, &buffers.stencil.head, &buffers.color.front.head};
    for (int i = 0; i < kAddressCount; ++i) {
        const AddressIter &it = kAddressIters[i];
        if (!walker.active[i]) {
            // Walked by nobody, but a generated routine may step it: it stays null.
            sp.*it.cur = sp.*it.rowStart = nullptr;
            if (i != kAddressFront) sp.*it.step = 0;
            sp.*it.chunkStep = (sp.*it.rowStep)[0] = (sp.*it.rowStep)[1] = 0;
            continue;
        }
        const GlBuffer &h = *heads[i];
        // The front buffer walks with the draw buffer's element size.
        const int32_t es = i == kAddressFront ? cb->head.elementSize : h.elementSize;
        const int32_t step = sp.xStep * es;
        if (i != kAddressFront) sp.*it.step = step;
        sp.*it.chunkStep = 32 * step;
        for (int carry = 0; carry < 2; ++carry) (sp.*it.rowStep)[carry] = h.pitch * es + (lng.step + carry) * step;
        sp.*it.cur = sp.*it.rowStart = h.base + (rowY * h.pitch + rowX) * es;
    }
    sp.ditherTableBase = (leftLong ? __glFastDitherTable : __glFastDitherTableMirrored)[0].data();
    sp.ditherPointer = sp.ditherTableBase;

    // The buffers are written only inside the lock bracket; a refused lock draws nothing.
    if (buffers.lockCount == 0 && buffers.drawableLock != nullptr && buffers.drawableLock(ctx) == 0) return;
    buffers.lockCount += 1;
    // A generated span routine walks the same record, but does not clip: it takes only triangles
    // whose every pixel column lies inside the box (the rows are clipped already), and releases
    // the lock itself.
    const int32_t leftColumn = int32_t(std::min({top.x, mid.x, bot.x}) >> 4);
    const int32_t rightColumn = int32_t(std::max({top.x, mid.x, bot.x}) >> 4);
    if (slots.spanRoutine != nullptr && leftColumn >= box.x0 && rightColumn <= box.x1 &&
        __glOgSpanRoutinesEnabled() &&
        __glOgRunSpanRoutine(ctx, &sp, reinterpret_cast<const void *>(slots.spanRoutine)) != 0)
        return;
    walker.run();
    buffers.lockCount -= 1;
    if (buffers.lockCount == 0 && buffers.drawableUnlock != nullptr) buffers.drawableUnlock(ctx);
}
