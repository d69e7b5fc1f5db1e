// Line set-up and the two line render procs. A segment becomes a run of pixels along its major
// axis: the first and last pixel follow the diamond-exit rule (a pixel is drawn when the segment
// leaves its diamond, so the end point of a strip's segment is drawn once, by the next segment),
// the minor coordinate is stepped by a 31-bit fraction. Window coordinates carry the drawable
// bias plus one half: the centre of pixel p lies at p + 1.
#include <cmath>
#include "icd/raster/line_run.h"
#include "icd/raster/tex_sample.h"
#include "icd/vertex/vertex.h"

using namespace glline;

namespace {

constexpr double kFraction = 2147483648.0;  // 2^31

// The major axis, the direction of its step and the minor step of a carry.
struct Octant {
    bool yMajor;
    int32_t dir, carry;
};

// Both ends at window coordinates a line can be set up from (see __glRasterCoordinateUsable).
bool usableEnds(const GlVertex *a, const GlVertex *b) {
    return __glRasterCoordinateUsable(a->window[0]) && __glRasterCoordinateUsable(a->window[1]) &&
           __glRasterCoordinateUsable(b->window[0]) && __glRasterCoordinateUsable(b->window[1]);
}

// false for a zero-length (or non-finite) segment.
bool chooseOctant(float dx, float dy, Octant &o) {
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    if (dx <= 0.0f) {
        if (dy <= 0.0f) {
            if (dx == 0.0f && dy == 0.0f) return false;
            o = dy > dx ? Octant{false, -1, -1} : Octant{true, -1, -1};
        } else {
            o = dy < -dx ? Octant{false, -1, 1} : Octant{true, 1, -1};
        }
    } else if (dy <= 0.0f) {
        o = dx <= -dy ? Octant{true, -1, 1} : Octant{false, 1, -1};
    } else {
        o = dy >= dx ? Octant{true, 1, 1} : Octant{false, 1, 1};
    }
    return true;
}

void setSteps(GlLineRaster &l, const Octant &o) {
    l.yMajor = o.yMajor ? 1 : 0;
    if (o.yMajor) {
        l.stepX = 0;
        l.stepY = o.dir;
        l.carryStepX = o.carry;
        l.carryStepY = o.dir;
    } else {
        l.stepX = o.dir;
        l.stepY = 0;
        l.carryStepX = o.dir;
        l.carryStepY = o.carry;
    }
}

// The first pixel's minor start and fraction from its minor coordinate m (already lowered by
// half the rows), and the slope as a 31-bit step.
void setMinor(GlLineRaster &l, int32_t major, float m, float slope) {
    const float mi = std::floor(m);
    const int32_t minor = int32_t(mi);
    l.x = l.yMajor ? minor : major;
    l.y = l.yMajor ? major : minor;
    l.fraction = uint32_t(int64_t(double(m - mi) * kFraction)) & 0x7FFFFFFFu;
    l.slope = uint32_t(int64_t(double(slope) * kFraction));
}


// Depth, stipple restart, fog, texture coordinates and colour of the run: start values at the
// first pixel (startOffset from a along the major axis) and steps per pixel.
void setInterpolants(GlContext *ctx, GlVertex *a, GlVertex *b) {
    GlRasterState &rs = rasterOf(ctx);
    GlLineRaster &l = rs.line;
    const uint32_t f = rs.shadeFlags;
    const float len = l.majorLength, off = l.startOffset;
    if (f & (kGlShadeDepthTest | kGlShadeDepthIterate)) {
        const double step = (double(b->window[2]) - double(a->window[2])) / len;
        rs.zStep = __glTruncInt(step);
        rs.zStep32 = int32_t(uint32_t(rs.zStep) << 5);
        rs.spanZ = __glTruncDepth(double(a->window[2]) + step * off);
    }
    if (f & kGlShadeLineStipple) {
        uint8_t &reset = ctx->arrays.vertexBuffer.lineReset;
        if (!reset) {
            l.stippleCounter = 0;
            l.stippleBit = 0;
            reset = 1;
        }
    }
    if (f & kGlShadeFog) {
        const bool nicest = ctx->state.mode.hints[4] == GL_NICEST;
        const float f0 = nicest ? a->eye[2] : a->fog, f1 = nicest ? b->eye[2] : b->fog;
        rs.fogStep = (f1 - f0) / len;
        rs.spanFog = f0 + off * rs.fogStep;
    }
    if (f & kGlShadeTexture) {
        const bool perspective = f & kGlShadePerspectiveTex;
        const float wa = perspective ? a->invW : 1.0f, wb = perspective ? b->invW : 1.0f;
        const float ta[3] = {a->texCoord[0][0] * wa, a->texCoord[0][1] * wa, a->texCoord[0][3] * wa};
        const float tb[3] = {b->texCoord[0][0] * wb, b->texCoord[0][1] * wb, b->texCoord[0][3] * wb};
        for (int i = 0; i < 3; ++i) {
            rs.texCoordStep[i] = (tb[i] - ta[i]) / len;
            rs.spanTexCoord[i] = ta[i] + off * rs.texCoordStep[i];
        }
        // The texture scale times q at each end, interpolated like a coordinate; the scale proc
        // reads the steps just set.
        float scaleA = 0.0f, scaleB = 0.0f;
        if (GlTexScaleLineProc scale = texSlot<GlTexScaleLineProc>(ctx->state.pick.texture.scaleLine)) {
            scaleA = scale(ctx, ta[0], ta[1], ta[2]) * ta[2];
            scaleB = scale(ctx, tb[0], tb[1], tb[2]) * tb[2];
        }
        rs.texCoordStep[3] = (scaleB - scaleA) / len;
        rs.spanTexCoord[3] = scaleA + off * rs.texCoordStep[3];
    }
    const int channels = (f & kGlShadeRgba) ? 4 : 1;
    if (f & kGlShadeSmooth) {
        for (int i = 0; i < 4; ++i) {
            rs.spanColor[i] = a->color[i];
            rs.colorStep[i] = i < channels ? (b->color[i] - a->color[i]) / len : 0.0f;
        }
    } else {
        // The second vertex provokes the colour of a flat line.
        for (int i = 0; i < 4; ++i) {
            rs.spanColor[i] = b->color[i];
            rs.colorStep[i] = 0.0f;
        }
    }
}

// Moves the run n pixels on: position, fraction, distances and interpolants.
void advanceRun(GlRasterState &rs, int32_t n) {
    GlLineRaster &l = rs.line;
    GlLineWalk w(l);
    for (int32_t i = 0; i < n; ++i) {
        if (w.next()) {
            l.along += l.alongCarry;
            l.axis += l.axisCarry;
        } else {
            l.along += l.alongStep;
            l.axis += l.axisStep;
        }
    }
    l.x = w.x;
    l.y = w.y;
    l.fraction = w.fraction;
    const float fn = float(n);
    for (int i = 0; i < 4; ++i) {
        rs.spanColor[i] += fn * rs.colorStep[i];
        rs.spanTexCoord[i] += fn * rs.texCoordStep[i];
    }
    rs.spanFog += fn * rs.fogStep;
    rs.spanZ += uint32_t(n) * uint32_t(rs.zStep);
}

// Runs the line list over the run in pieces the span arrays hold. The run is left as it was.
void runPipeline(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlStageProc runner = lineListOf(ctx).runner;
    if (runner == nullptr) return;
    rs.fragmentColors = reinterpret_cast<float *>(ctx->tail.spanColors);
    rs.destinationColors = reinterpret_cast<float *>(ctx->tail.spanDestinationColors);
    rs.maskWords = reinterpret_cast<uint32_t *>(ctx->tail.spanMaskWords);
    if (rs.fragmentColors == nullptr || rs.maskWords == nullptr) return;
    const int32_t total = rs.line.pixelCount;
    if (total <= kGlMaxSpanLength) {
        rs.spanLength = total;
        runner(ctx);
        return;
    }
    const GlRasterState saved = rs;
    for (int32_t left = total; left > 0;) {
        const int32_t n = left < kGlMaxSpanLength ? left : kGlMaxSpanLength;
        rs.line.pixelCount = n;
        rs.spanLength = n;
        runner(ctx);
        left -= n;
        if (left > 0) advanceRun(rs, n);
    }
    // Keep the stipple position the pieces reached.
    const int32_t counter = rs.line.stippleCounter, bit = rs.line.stippleBit;
    rs = saved;
    rs.line.stippleCounter = counter;
    rs.line.stippleBit = bit;
}

}  // namespace

void __glSetupLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    GlLineRaster &l = rasterOf(ctx).line;
    l.v0 = a;
    l.v1 = b;
    const int32_t width = ctx->state.line.lineWidthInt;
    l.width = width > 0 ? width : 1;
    l.pixelCount = 0;
    l.majorLength = 0.0f;
    l.along = l.axis = 0.0f;
    l.alongStep = l.axisStep = l.alongCarry = l.axisCarry = 0.0f;
    if (!usableEnds(a, b)) return;
    const float x0 = a->window[0], y0 = a->window[1], x1 = b->window[0], y1 = b->window[1];
    const float dx = x1 - x0, dy = y1 - y0;
    Octant o;
    if (!chooseOctant(dx, dy, o)) return;
    setSteps(l, o);
    const float M0 = o.yMajor ? y0 : x0, N0 = o.yMajor ? x0 : y0;
    const float M1 = o.yMajor ? y1 : x1, N1 = o.yMajor ? x1 : y1;
    const float rM0 = std::nearbyint(M0), rM1 = std::nearbyint(M1);
    const float fm0 = M0 - rM0, fm1 = M1 - rM1;
    const float fn0 = std::fabs(N0 - std::nearbyint(N0)), fn1 = std::fabs(N1 - std::nearbyint(N1));
    int32_t first, count;
    float offset;
    if (o.dir > 0) {
        first = int32_t(rM0) - (fm0 + fn0 <= 0.5f ? 1 : 0);
        const int32_t last = int32_t(rM1) - (fm1 + fn1 <= 0.5f ? 1 : 0);
        count = last - first;
        offset = float(first) - M0 + 1.0f;
    } else {
        first = int32_t(rM0) - 1 - (fn0 - fm0 > 0.5f ? 1 : 0);
        count = first - int32_t(rM1) + 1 + (fn1 - fm1 > 0.5f ? 1 : 0);
        offset = M0 - float(first) - 1.0f;
    }
    l.majorLength = std::fabs(M1 - M0);
    l.startOffset = offset;
    const float slope = (N1 - N0) / l.majorLength;
    setMinor(l, first, N0 + slope * offset - float(l.width) * 0.5f, slope);
    l.pixelCount = count > 0 ? count : 0;
}

void __glRenderLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    GlRasterState &rs = rasterOf(ctx);
    ScaledEnds scaled;
    scaled.scale(ctx, a->color, b->color);
    __glSetupLine(ctx, a, b);
    if (rs.line.pixelCount > 0) {
        setInterpolants(ctx, a, b);
        __glWithDrawableLock(ctx, [&] { runPipeline(ctx); });
    }
    scaled.restore();
}

void __glSetupLineAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b) {
    GlLineRaster &l = rasterOf(ctx).line;
    l.v0 = a;
    l.v1 = b;
    l.pixelCount = 0;
    l.majorLength = 0.0f;
    if (!usableEnds(a, b)) return;
    // Pixel centres become integers plus one half.
    const float x0 = a->window[0] - 0.5f, y0 = a->window[1] - 0.5f;
    const float x1 = b->window[0] - 0.5f, y1 = b->window[1] - 0.5f;
    const float dx = x1 - x0, dy = y1 - y0;
    Octant o;
    if (!chooseOctant(dx, dy, o)) return;
    setSteps(l, o);
    const float L = std::sqrt(dx * dx + dy * dy);
    l.length = L;
    l.dirX = dx / L;
    l.dirY = dy / L;
    l.perpX = -dy / L;
    l.perpY = dx / L;
    l.alongStep = float(l.stepX) * l.dirX + float(l.stepY) * l.dirY;
    l.axisStep = float(l.stepX) * l.perpX + float(l.stepY) * l.perpY;
    l.alongCarry = float(l.carryStepX) * l.dirX + float(l.carryStepY) * l.dirY;
    l.axisCarry = float(l.carryStepX) * l.perpX + float(l.carryStepY) * l.perpY;
    const float M0 = o.yMajor ? y0 : x0, N0 = o.yMajor ? x0 : y0;
    const float M1 = o.yMajor ? y1 : x1, N1 = o.yMajor ? x1 : y1;
    const float extent = std::fabs(M1 - M0);
    l.majorLength = extent;
    l.pixelCount = int32_t(std::ceil(extent)) + 1;
    const float lineWidth = ctx->state.line.lineWidth > 0.0f ? ctx->state.line.lineWidth : 1.0f;
    const float rows = std::ceil(L * lineWidth / extent);
    l.width = int32_t(rows) + 1;
    l.halfWidth = lineWidth * 0.5f - 0.5f;
    const float start = std::floor(M0);
    l.startOffset = o.dir > 0 ? start - M0 + 0.5f : M0 - start - 0.5f;
    const float slope = (N1 - N0) / extent;
    setMinor(l, int32_t(start), N0 + slope * l.startOffset - rows * 0.5f, slope);
}

void __glRenderLineAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b) {
    GlRasterState &rs = rasterOf(ctx);
    GlLineRaster &l = rs.line;
    ScaledEnds scaled;
    scaled.scale(ctx, a->color, b->color);
    __glSetupLineAntiAlias(ctx, a, b);
    if (!(l.majorLength > 0.0f)) {
        scaled.restore();
        return;
    }
    setInterpolants(ctx, a, b);
    const bool stipple = rs.shadeFlags & kGlShadeLineStipple;
    const int32_t repeat = ctx->state.line.lineStippleRepeat > 0 ? ctx->state.line.lineStippleRepeat : 1;
    if (stipple) {
        l.stipplePhase = float(l.stippleBit * repeat + l.stippleCounter) - 0.5f;
        l.stippleRecip = 1.0f / float(repeat);
    }
    // Distances of the first pixel's centre from the (shifted) first end point.
    const float cx = float(l.x) + 0.5f - (a->window[0] - 0.5f), cy = float(l.y) + 0.5f - (a->window[1] - 0.5f);
    float along = cx * l.dirX + cy * l.dirY, axis = cx * l.perpX + cy * l.perpY;
    const GlRasterState base = rs;
    __glWithDrawableLock(ctx, [&] {
        int32_t rowX = base.line.x, rowY = base.line.y;
        for (int32_t row = 0; row < base.line.width; ++row) {
            // Start each row at its first pixel past the start cap, counting the steps taken
            // from the set-up's first pixel so that the interpolants follow.
            GlLineWalk w(base.line);
            w.x = rowX;
            w.y = rowY;
            float al = along, ax = axis;
            int32_t k = 0;
            while (al > -0.5f) {
                uint32_t back = w.fraction - w.slope;
                if (back & 0x80000000u) {
                    w.fraction = back & 0x7FFFFFFFu;
                    w.x -= w.carryStepX;
                    w.y -= w.carryStepY;
                    al -= l.alongCarry;
                    ax -= l.axisCarry;
                } else {
                    w.fraction = back;
                    w.x -= w.stepX;
                    w.y -= w.stepY;
                    al -= l.alongStep;
                    ax -= l.axisStep;
                }
                --k;
            }
            while (!(al > -0.5f)) {
                if (w.next()) {
                    al += l.alongCarry;
                    ax += l.axisCarry;
                } else {
                    al += l.alongStep;
                    ax += l.axisStep;
                }
                ++k;
                if (k > base.line.pixelCount + 2) break;  // distances that never grow: nothing to draw
            }
            const int32_t counter = l.stippleCounter, bit = l.stippleBit;
            rs = base;
            l.stippleCounter = counter;
            l.stippleBit = bit;
            l.x = w.x;
            l.y = w.y;
            l.fraction = w.fraction;
            l.along = al;
            l.axis = ax;
            const float fk = float(k);
            for (int i = 0; i < 4; ++i) {
                rs.spanColor[i] += fk * rs.colorStep[i];
                rs.spanTexCoord[i] += fk * rs.texCoordStep[i];
            }
            rs.spanFog += fk * rs.fogStep;
            rs.spanZ += uint32_t(k) * uint32_t(rs.zStep);
            runPipeline(ctx);
            // The next row: one pixel on along the minor axis.
            if (base.line.yMajor) {
                rowX += 1;
                along += l.dirX;
                axis += l.perpX;
            } else {
                rowY += 1;
                along += l.dirY;
                axis += l.perpY;
            }
        }
    });
    if (stipple) {
        const int32_t pos = l.stippleBit * repeat + l.stippleCounter + int32_t(std::ceil(l.length));
        l.stippleCounter = pos % repeat;
        l.stippleBit = (pos / repeat) % 16;
    }
    scaled.restore();
}
