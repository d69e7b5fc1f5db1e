// The generic span pipeline: the per-context list of span stages, the rasteriser block whose
// span fields the stages share, and the derived state the stages read.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"
#include "icd/core/shade_flags.h"
#include "icd/raster/fragment.h"
#include "icd/raster/line.h"
#include "icd/raster/fast_span.h"

struct GlContext;
struct GlColorBuffer;
struct GlDrawableBuffers;
struct GlFragment;

// A span stage: only the low byte of the result is meaningful.
typedef uint8_t (*GlStageProc)(GlContext *ctx);

constexpr int kGlMaxStages = 15;
constexpr int kGlMaxSpanLength = 2048;
constexpr int kGlMaskWords = kGlMaxSpanLength / 32;

struct GlStageList {
    GlStageProc unmaskedStages[kGlMaxStages];
    GlStageProc maskedStages[kGlMaxStages];  // slot i: the masked twin of unmasked slot i
    int32_t firstColorStage;
    int32_t stageCount;
    GlStageProc runner;
};

// One edge of the triangle walker: x moves by the little or the big step per row. The walker
// keeps the exact position itself; the fractions here are its 31-bit views.
struct GlTriangleEdge {
    int32_t littleStep;    // floor of dx/dy
    int32_t bigStep;       // little + 1
    int32_t fractionStep;  // 31-bit fraction of dx/dy
    int32_t x;             // first pixel at or right of the edge's sample
    int32_t fraction;      // 31-bit fraction of the edge's x
};

// The triangle and span part of the rasteriser block, in its order, behind the line fields.
struct GlRasterState {
    GlLineRaster line;
    GlTriangleEdge leftEdge, rightEdge;
    int32_t spanX, spanY;
    uint32_t spanZ;
    float spanColor[4];
    float spanTexCoord[4];  // s, t, q, then the texture scale times q
    float spanFog;
    int32_t spanLength;
    float colorLittleStep[4], colorBigStep[4], colorStep[4], colorStepY[4];
    int32_t zLittleStep, zBigStep, zStep, zStep32;
    float zStepYFloat, zStepXFloat;
    float texLittleStep[4], texBigStep[4], texCoordStep[4], texStepY[4];
    float fogLittleStep, fogBigStep, fogStepY, fogStep;
    GlShadeFlags shadeFlags;  // the context's mode word, written only by validation
    uint8_t *depthAddress;
    int32_t depthBigStep, depthLittleStep;
    uint8_t *stencilAddress;
    int32_t stencilBigStep, stencilLittleStep;
    float *fragmentColors;     // 16 bytes a pixel: R, G, B, A (the index in the first float)
    float *destinationColors;  // the same layout, read back from the colour buffer
    uint32_t *maskWords;       // bit 31 of word k is pixel 32k; set = alive
    uint8_t spanDone;
    uint8_t reserved0[3];
    GlColorBuffer *targetColorBuffer;
    // Polygon offset: the offset depth at the current pixel, the two depths it is clamped to
    // (start side, the side it runs towards), the pixels along x until it reaches the far one and
    // across the whole range, and their per-row changes.
    float offsetZ;
    uint32_t offsetNearLimit, offsetFarLimit;
    float offsetPixelsToLimit, offsetPixelsFullRange;
    float offsetBigStep, offsetLittleStep;
    // A triangle's fragments form their level of detail at each pixel from s, t, q and their
    // gradients (texCoordStep, texStepY) while texRhoExact is set: level 0's squared inner width
    // and height, both 0 where the texture needs no level of detail. Lines and antialiased
    // polygons interpolate theirs in spanTexCoord[3] instead.
    float texRhoWidth2, texRhoHeight2;
    uint8_t texRhoExact;
};

// Procs the span stages reach for per pixel; installed by their pickers.
typedef void (*GlTextureApplyProc)(GlContext *ctx, float *color, float s, float t, float u);

struct GlClipBox {
    int32_t x0, y0, x1, y1;  // window coordinates; x1 and y1 exclusive
};

// State derived at validation that the span stages and the colour buffers read besides the GL
// state, the clip box and the drawable extent of the context.
struct GlRasterInputs {
    uint8_t scissorCoversViewport;
    uint8_t drawBothBuffers;
    uint8_t hwCannotDraw;      // the hardware cannot draw into the current drawable
    uint8_t reserved0;
    GLenum effectiveDepthFunc; // the depth buffer's effective function
    uint32_t stippleWords[32]; // row r: first pattern byte in bits 31-24, leftmost pixel bit 31
    uint8_t alphaTestTable[256];
    int32_t alphaTestSize;
    float alphaTestScale;
    GlTextureApplyProc textureApply;
    // The per-fragment blend: out = the fragment's colour blended with the destination.
    void (*blendFragment)(GlContext *ctx, GlColorBuffer *cb, const GlFragment *frag, float *out);
    // The drawable's clip rectangles (drawable coordinates); returns their count.
    int32_t (*clipRects)(GlContext *ctx, const RECT **rects);
};

struct GlSpanArea {
    GlStageList spanList;
    GlRasterState raster;
    GlRasterInputs inputs;
    GlFragmentProcs fragment;  // fragment store, colour store and blend procs
    GlFastPathSlots fast;      // the fast triangle path's chain
    GlFastPathKey fastKey;     // what its chooser decided last
};
