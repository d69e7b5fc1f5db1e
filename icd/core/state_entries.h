// The GL state that the state-setting entries write and validation reads: enables, colour
// buffer, depth and stencil, line, point, polygon offset, fog, cull vertex, client-array enables,
// and the words validation derives for the vertex pipeline. The older mode words (shade model,
// polygon modes, hints, functions, resolved draw buffer, stipple) are in GlModeState.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/core/light_state.h"

struct GlContext;

// `enables` bits.
constexpr uint32_t kGlEnableAlphaTest = 0x1;
constexpr uint32_t kGlEnableBlend = 0x2;
constexpr uint32_t kGlEnableIndexLogicOp = 0x4;
constexpr uint32_t kGlEnableDither = 0x8;
constexpr uint32_t kGlEnableDepthTest = 0x10;
constexpr uint32_t kGlEnableFog = 0x20;
constexpr uint32_t kGlEnableLighting = 0x40;
constexpr uint32_t kGlEnableColorMaterial = 0x80;
constexpr uint32_t kGlEnableLineStipple = 0x100;
constexpr uint32_t kGlEnableLineSmooth = 0x200;
constexpr uint32_t kGlEnablePointSmooth = 0x400;
constexpr uint32_t kGlEnablePolygonSmooth = 0x800;
constexpr uint32_t kGlEnableCullFace = 0x1000;
constexpr uint32_t kGlEnablePolygonStipple = 0x2000;
constexpr uint32_t kGlEnableScissorTest = 0x4000;
constexpr uint32_t kGlEnableStencilTest = 0x8000;
constexpr uint32_t kGlEnableNormalize = 0x10000;
constexpr uint32_t kGlEnableAutoNormal = 0x20000;
constexpr uint32_t kGlEnablePolygonOffsetPoint = 0x40000;
constexpr uint32_t kGlEnablePolygonOffsetLine = 0x80000;
constexpr uint32_t kGlEnablePolygonOffsetFill = 0x100000;
constexpr uint32_t kGlEnableColorLogicOp = 0x200000;
constexpr uint32_t kGlEnableCullVertex = 0x1000000;

// `texUnitEnables` bits (one word per texture unit).
constexpr uint32_t kGlEnableTexture1D = 0x1;
constexpr uint32_t kGlEnableTexture2D = 0x2;
constexpr uint32_t kGlEnableTexGenS = 0x4;  // T, R, Q follow: 0x8, 0x10, 0x20

// dirtyMask groups.
constexpr uint32_t kGlDirtyGeneral = 0x1;
constexpr uint32_t kGlDirtyLine = 0x2;
constexpr uint32_t kGlDirtyPolygon = 0x4;
constexpr uint32_t kGlDirtyPoint = 0x8;
constexpr uint32_t kGlDirtyPixel = 0x10;
constexpr uint32_t kGlDirtyLighting = 0x20;
constexpr uint32_t kGlDirtyStipple = 0x40;
constexpr uint32_t kGlDirtyDepth = 0x80;
constexpr uint32_t kGlDirtyScissor = 0x100;
constexpr uint32_t kGlDirtyArrays = 0x200;
// tableDirtyMask tables.
constexpr uint32_t kGlTableAlphaTest = 0x1;
constexpr uint32_t kGlTableStencilFunc = 0x2;
constexpr uint32_t kGlTableStencilOp = 0x4;

// The enable words: the attribute stack copies these 24 bytes whole.
struct GlEnableState {
    uint32_t enables;
    uint32_t texUnitEnables[2];
    uint32_t lightEnables;      // bit i: GL_LIGHTi
    uint32_t clipPlaneEnables;  // bit i: GL_CLIP_PLANEi
    uint16_t map1Enables;       // bit (target - GL_MAP1_COLOR_4)
    uint16_t map2Enables;       // bit (target - GL_MAP2_COLOR_4)
};
static_assert(sizeof(GlEnableState) == 24);

// The two multitexture selectors: the unit that texture enables address and the coordinate set
// that texture-generation enables address.
struct GlUnitSelectState {
    uint32_t activeTexture;
    uint32_t activeTexCoordSet;
};

struct GlColorBufferState {
    float alphaRef;                 // clamped to [0, 1]
    GLenum blendSrcFactor, blendDstFactor;
    GLenum drawBufferRequested;     // as given to glDrawBuffer; the resolved one is mode.drawBuffer
    uint8_t colorMask[4];           // R, G, B, A
    uint32_t indexMask;             // cut to the visual's index bits
    float clearColor[4];            // clamped to [0, 1]
    float clearIndex;               // four fraction bits, cut to the visual's index bits
    float clearAccum[4];            // clamped to [-1, 1]
};

struct GlDepthStencilState {
    uint8_t depthWriteMask;
    uint8_t reserved[3];
    uint32_t stencilRef;            // clamped to the stencil bits
    uint32_t stencilClear;          // cut to the stencil bits
};

struct GlLineState {
    uint16_t lineStipplePattern;
    uint16_t lineStippleRepeat;     // 1..256
    float lineWidthRequested;
    float lineWidth;                // quantised to the width range and granularity
    int32_t lineWidthInt;
};
static_assert(sizeof(GlLineState) == 16);

struct GlPointState {
    float pointSizeRequested;
    float pointSize;                // quantised to the size range and granularity
    int32_t pointSizeInt;
    float pointSizeMin, pointSizeMax;
    float pointFadeThreshold;
    float pointAttenuation[3];      // constant, linear, quadratic
};
static_assert(sizeof(GlPointState) == 36);

struct GlPolygonOffsetState {
    float offsetFactor;
    float offsetUnits;
};

struct GlFogState {
    GLenum fogMode;
    float fogDensity;
    float fogStart, fogEnd;
    float fogOneOverEndMinusStart;  // 0 when end equals start
    float fogIndex;
    float fogColor[4];              // clamped to [0, 1]
    float fogScaledColor[4];        // times the colour scales
    uint8_t fogIndexByte;
    uint8_t fogColorBytes[3];       // R, G, B in 0..255
};
static_assert(sizeof(GlFogState) == 60);

struct GlCullVertexState {
    float cullVertexEyePosition[4];
    float cullVertexObjectPosition[4];
    uint8_t cullVertexObjectInForce;  // 0 the eye position was set last, 1 the object position
    uint8_t reserved[3];
};

// Client arrays: which are enabled, and the format bits of the enabled ones.
struct GlArrayEnableState {
    uint32_t enableMask;         // 0x1 normal, 0x2 colour, 0x4 texture, 0x8 index, 0x10 edge flag, 0x20 vertex
    uint32_t enabledFormatMask;  // format-word bits of the enabled arrays
};

// What the vertices of a primitive need computed, rebuilt by validation.
struct GlNeedMaskState {
    uint32_t needMask, needMaskFront, needMaskBack, needMaskPending;
};

// The OpenGL defaults of the state above and of the lights; run by the context's soft reset.
void __glSetStateDefaults(GlContext *ctx);

// The light sources of a context (maxLights records).
GlLightSource *__glLightSources(GlContext *ctx);
