// The generic span pipeline: the per-context list of span stages, the rasteriser block whose
// span fields the stages share, and the derived state the stages read.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"

struct GlContext;
struct GlColorBuffer;
struct GlDrawableBuffers;
struct GlFragment;

// The context's mode word, rebuilt at every validation.
constexpr uint32_t kGlShadeRgba = 0x1;
constexpr uint32_t kGlShadeSmooth = 0x2;
constexpr uint32_t kGlShadeDepthTest = 0x4;
constexpr uint32_t kGlShadeTexture = 0x8;
constexpr uint32_t kGlShadePolygonStipple = 0x10;
constexpr uint32_t kGlShadeStencilTest = 0x20;
constexpr uint32_t kGlShadeDither = 0x40;
constexpr uint32_t kGlShadeLogicOp = 0x80;
constexpr uint32_t kGlShadeBlend = 0x100;
constexpr uint32_t kGlShadeAlphaTest = 0x200;
constexpr uint32_t kGlShadeColorMask = 0x800;
constexpr uint32_t kGlShadeFog = 0x1000;
constexpr uint32_t kGlShadeDepthIterate = 0x4000;
constexpr uint32_t kGlShadeSmoothColors = 0x20000;
constexpr uint32_t kGlShadePolygonOffset = 0x100000;
constexpr uint32_t kGlShadeFrontClip = 0x400000;
constexpr uint32_t kGlShadePerspectiveTex = 0x2000000;
constexpr uint32_t kGlShadeMipmap = 0x4000000;

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

// The triangle and span part of the rasteriser block, in its order. The edge records of the
// triangle walker and the line fields are added in front by their owners.
struct GlRasterState {
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
    uint32_t shadeFlags;
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
    uint32_t offsetZ;
    uint32_t offsetNearLimit, offsetFarLimit;
    int32_t offsetPixelsToLimit, offsetPixelsFullRange;
    int32_t offsetBigStep, offsetLittleStep;
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
};
