// Software lines and points: the line fields of the rasteriser block, the run walker every line
// stage steps with, and the procs the pickers install.
#pragma once
#include <cstdint>

struct GlContext;
struct GlVertex;

// One line run: linePixelCount pixels from (x, y); each pixel adds slope to the 31-bit fraction,
// and a sum with the sign bit set is a carry (the sign bit is then cleared) that takes the carry
// step instead of the plain one. Interpolants (depth, colour, fog, texture) live in the span
// fields of the rasteriser block, stepped once per pixel.
struct GlLineRaster {
    GlVertex *v0, *v1;
    int32_t width;         // rows: the integer width, or the antialiased row count
    uint8_t yMajor;        // 0 x-major, 1 y-major
    uint8_t reserved0[3];
    int32_t pixelCount;    // 0: nothing is drawn
    float startOffset;     // distance along the major axis from v0 to the first pixel
    float majorLength;     // |dx| or |dy|
    int32_t x, y;          // first pixel (biased window coordinates)
    int32_t stepX, stepY;
    int32_t carryStepX, carryStepY;
    uint32_t fraction;     // 31-bit fraction of the minor coordinate
    uint32_t slope;        // minor change per pixel times 2^31 (two's complement; 2^31 is a full step)
    // Antialiased lines: length, unit direction and its perpendicular, the along- and
    // axis-distance increments of the plain and the carry step, the distances of the first pixel.
    float length;
    float dirX, dirY, perpX, perpY;
    float alongStep, axisStep, alongCarry, axisCarry;
    float along, axis;
    float halfWidth;       // the coverage's full-coverage half width
    float stipplePhase, stippleRecip;
    // Stipple position, kept across the segments of a strip until the vertex buffer asks for a
    // restart.
    int32_t stippleCounter, stippleBit;
};

// A walker over a run: x, y and the fraction of the current pixel.
struct GlLineWalk {
    int32_t x, y;
    uint32_t fraction;
    uint32_t slope;
    int32_t stepX, stepY, carryStepX, carryStepY;

    explicit GlLineWalk(const GlLineRaster &l)
        : x(l.x), y(l.y), fraction(l.fraction), slope(l.slope), stepX(l.stepX), stepY(l.stepY),
          carryStepX(l.carryStepX), carryStepY(l.carryStepY) {}
    // Moves to the next pixel; true when the minor axis moved (a carry).
    bool next() {
        fraction += slope;
        if (fraction & 0x80000000u) {
            fraction &= 0x7FFFFFFFu;
            x += carryStepX;
            y += carryStepY;
            return true;
        }
        x += stepX;
        y += stepY;
        return false;
    }
};

// Line set-up and render procs.
void __glSetupLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glSetupLineAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glRenderLine(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glRenderLineAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b);

// Point helpers shared with the antialiased primitives.
// The index with its low four bits replaced by the coverage in sixteenths (0..15).
float __glCoverageToIndex(float index, float coverage);
// Coverage of the pixel whose centre is (dx, dy) from a disc of squared radius r2, from 4 x 4
// sub-samples.
float __glAaPointCoverage(float dx, float dy, float r2);

// The line runners, tails and stages (each masked twin follows its unmasked stage).
#define GL_LINE_STAGE_PROCS(X)                                                                   \
    X(__glLineRenderStages) X(__glLineRenderStages3)                                             \
    X(__glLineWideStages) X(__glLineWideStagesMasked)                                            \
    X(__glLineFrontBackStages) X(__glLineFrontBackStagesMasked)                                  \
    X(__glLineScissor) X(__glLineScissorMasked) X(__glLineStipple)                               \
    X(__glLineStencilTest) X(__glLineStencilTestMasked)                                          \
    X(__glLineDepthTest) X(__glLineDepthTestMasked)                                              \
    X(__glLineDepthStencilTest) X(__glLineDepthStencilTestMasked)                                \
    X(__glLineStencilDepthPass) X(__glLineStencilDepthPassMasked)                                \
    X(__glLineAntiAlias) X(__glLineAntiAliasMasked)                                              \
    X(__glLineStore) X(__glLineStoreMasked)                                                      \
    X(__glLineStoreIndex8Flat) X(__glLineStoreIndex8FlatMasked)                                  \
    X(__glLineStoreIndex8Shaded) X(__glLineStoreIndex8ShadedMasked)                              \
    X(__glLineStoreIndex8FlatDither) X(__glLineStoreIndex8FlatDitherMasked)                      \
    X(__glLineStoreIndex8ShadedDither) X(__glLineStoreIndex8ShadedDitherMasked)                  \
    X(__glLineStoreRgb16Flat) X(__glLineStoreRgb16FlatMasked)                                    \
    X(__glLineStoreRgb16Shaded) X(__glLineStoreRgb16ShadedMasked)                                \
    X(__glLineStoreRgb16ShadedDither) X(__glLineStoreRgb16ShadedDitherMasked)
#define GL_DECLARE_LINE_STAGE(name) uint8_t name(GlContext *ctx);
GL_LINE_STAGE_PROCS(GL_DECLARE_LINE_STAGE)
#undef GL_DECLARE_LINE_STAGE

// Point procs and point-size procs.
void __glRenderPointSize1(GlContext *ctx, GlVertex *v);
void __glRenderPointSize1Textured(GlContext *ctx, GlVertex *v);
void __glRenderPointWide(GlContext *ctx, GlVertex *v);
void __glRenderPointAntiAliasRgba(GlContext *ctx, GlVertex *v);
void __glRenderPointAntiAliasIndex(GlContext *ctx, GlVertex *v);
void __glRenderPointFogged(GlContext *ctx, GlVertex *v);
float __glPointSizeClampAntiAlias(GlContext *ctx, GlVertex *v);
float __glPointSizeAttenuateAntiAlias(GlContext *ctx, GlVertex *v);
float __glPointSizeClampAliased(GlContext *ctx, GlVertex *v);
float __glPointSizeAttenuateAliased(GlContext *ctx, GlVertex *v);
