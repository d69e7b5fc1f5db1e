// Validation and the proc pickers: after a state change the first drawing call validates; the
// pickers then rebuild the mode word and the vertex need masks from the enables and store the
// procs of the current state into the context's slots, so that no drawing code tests raw state.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/core/shade_flags.h"
#include "icd/raster/span.h"
#include "icd/core/proc_slots.h"

struct GlContext;
struct GlVertex;
struct GlColorBuffer;
struct GlTextureObject;
struct GlFragment;

typedef void (*GlPickVertexProc)(GlContext *ctx, GlVertex *v);
typedef void (*GlPickLineProc)(GlContext *ctx, GlVertex *a, GlVertex *b);
typedef void (*GlPickTriangleProc)(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
typedef void (*GlPickClipTriangleProc)(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t orCodes);
// The size of a point at a vertex.
typedef float (*GlPointSizeProc)(GlContext *ctx, GlVertex *v);
typedef float (*GlVertexFogProc)(GlContext *ctx, GlVertex *v);
// The texture and pixel procs are stored untyped: their callers cast them back.
typedef GlProc GlTexEnvProc;
typedef GlProc GlPixelProc;

// Buffer bits of the draw and read codes and of the access mask.
constexpr uint32_t kGlDrawFront = 0x1;
constexpr uint32_t kGlDrawBack = 0x4;
constexpr uint32_t kGlDrawDepth = 0x20;
constexpr uint32_t kGlDrawStencil = 0x40;

// cullFaceCode
constexpr uint8_t kGlCullFront = 0;
constexpr uint8_t kGlCullBack = 1;
constexpr uint8_t kGlCullNone = 2;

constexpr int kGlMaxLineStages = 16;

// The line stage list: two parallel lists, slot i of both the same stage; the stages from
// startIndex run once per pixel of every line, the tail procs repeat what follows for wide lines
// and for the second colour buffer.
struct GlLineStageList {
    GlStageProc unmaskedStages[kGlMaxLineStages];
    GlStageProc maskedStages[kGlMaxLineStages];
    int32_t startIndex;
    int32_t storeIndex;
    int32_t stageCount;
    GlStageProc runner;
    GlStageProc wideTail, wideTailMasked;
    GlStageProc frontBackTail, frontBackTailMasked;
};

// What the texture picker chooses for one texture object.
struct GlTexturePick {
    GlProc apply;
    float lodThreshold;
    GlProc scaleLine, scaleSpan;
    GlTexEnvProc env;
    GlProc sampleNearest, sampleLinear;
    GlProc minify, magnify;
};

// The state validation derives and the procs the pickers choose.
struct GlPickState {
    // faces and polygon modes
    uint8_t faceTable[2];         // face for a negative (0) and a non-negative (1) signed area
    uint8_t polygonModeByFace[2]; // 0 points, 1 lines, 2 fill
    uint8_t cullFaceCode;
    uint8_t drawNone;             // no colour buffer is drawn: colour writes are discarded
    uint8_t reserved0[2];
    // buffers
    uint32_t drawBufferMask, drawBufferCode, readBufferCode;
    GlColorBuffer *hwDrawBuffer;  // the colour buffer present in the drawable and drawn alone
    // textures
    GlTextureObject *currentTextures[2];
    uint32_t currentTextureMask;
    GlTexturePick texture;        // the procs of unit 0's current texture
    // Unit 0's environment mode and the generation modes of S, T, R, Q, as the texture entries
    // keep them; 0 reads as the defaults GL_MODULATE and GL_EYE_LINEAR.
    GLenum texEnvMode;
    GLenum texGenMode[4];
    // primitives: the vertex pipeline's slots (slots.primitive) get the triangle entry, the line,
    // point and clip procs and the per-vertex mode handlers; these are the procs behind them.
    GlPickTriangleProc rasterTriangleProc;  // draws a culled, completed triangle
    GlPickVertexProc pointFoggedInner;      // the point proc the fog wrapper calls
    GlPointSizeProc pointSizeProc;          // null: the point size of the state
    GlLineStageList lineList;
    // vertex attribute and fog procs
    GlPickVertexProc texGenInner;           // the generation proc the coordinate wrappers call
    void (*fragmentFog)(GlContext *ctx, GlFragment *frag, float eyeDistance);
    void (*fogBlend)(GlContext *ctx, float *out, const float *in, float factor);
    // depth
    int32_t depthTestIndex;
    // pixel path
    GlProc pixelFragment;
    GlPixelProc drawPixels, readPixels, copyPixels;
    GlColorBuffer *readColorBuffer;
    uint8_t indexTransfer, stencilTransfer, depthTransfer, colorTransfer;
    uint8_t simpleWrite;
    uint8_t reserved1[3];
    float transferredBlack[4];
};

// ---- validation ---------------------------------------------------------------------------------
void __glValidateState(GlContext *ctx);
void __glPickAllProcs(GlContext *ctx);
// The window's front buffer came to be shared with a window above it while drawing went on with
// procs chosen before: the shade flags and the procs that store pixels are chosen again at once
// (inside glBegin/glEnd too), so that the primitive in hand and those after it test pixel
// ownership. Nothing else depends on the ownership; the full validation asked for follows.
void __glPickOwnershipProcs(GlContext *ctx);
void __glUpdateCurrentTextures(GlContext *ctx);
// The mode word of the current state, and the four need masks (stored).
GlShadeFlags __glComputeShadeFlags(GlContext *ctx);
void __glComputeNeedMasks(GlContext *ctx);
void __glBuildAlphaTestTable(GlContext *ctx);

// ---- pickers --------------------------------------------------------------------------------------
void __glPickDrawBufferProcs(GlContext *ctx);
void __glPickDepthProcs(GlContext *ctx);
void __glPickFogProcs(GlContext *ctx);
void __glPickShadeModelProcs(GlContext *ctx);
void __glPickTexGenProcs(GlContext *ctx);
void __glPickTextureProcs(GlContext *ctx);
void __glPickTriangleProcs(GlContext *ctx);
// The face state both triangle pickers share: the culled face, the face of each sign of the
// signed area and the polygon mode of each face. With both faces culled it installs the
// do-nothing triangle entry, clears the render proc and answers false: the pick ends there.
bool __glPickTriangleFaces(GlContext *ctx);
void __glPickPointProcs(GlContext *ctx);
void __glPickLineProcs(GlContext *ctx);
void __glPickPixelProcs(GlContext *ctx);
// The texture procs of a texture with these filters, dimensions, environment mode and base format.
GlTexturePick __glChooseTextureProcs(GLenum minFilter, GLenum magFilter, int32_t dimensions, GLenum envMode,
                                     GLenum baseFormat);
// The environment proc of a mode and base format; never null.
GlTexEnvProc __glChooseTexEnvProc(GLenum envMode, GLenum baseFormat);

// The mode word as validation left it.
GlShadeFlags __glShadeFlags(const GlContext *ctx);

// Lighting validation; the generic software triangle; the clippers.
void __glValidateLighting(GlContext *ctx);
void __glRenderTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
// The triangle of GL_POLYGON_SMOOTH: sub-sample coverage per pixel.
void __glRenderTriangleAntiAlias(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glDoClipLineSmooth(GlContext *ctx, GlVertex *a, GlVertex *b);
void __glDoClipLineFlat(GlContext *ctx, GlVertex *a, GlVertex *b);
// 1 when the fast triangle path installed everything, 0 when the generic path must be picked.
int32_t __glPickFastTriangleProcs(GlContext *ctx);
void __glClipDrawTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c, uint32_t orCodes);
// Whether a texture object can be used on a unit; the object bound on a unit for a target.
bool __glIsTextureConsistent(GlContext *ctx, GlTextureObject *tex, int32_t unit);
GlTextureObject *__glLookUpBoundTexture(GlContext *ctx, int32_t unit, GLenum target);
// Triangle entries: face selection, culling, completion, then the render proc in the lock bracket.
void __glTriangleFaceSmooth(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glTriangleFaceFlat(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glTriangleFacePolygonMode(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
void __glTriangleCullAll(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);
// The device's pickers that the installer puts into the picker slots of an application context;
// each runs the generic pick of its slot.
void __glHwPickProcs(GlContext *ctx);
void __glHwValidateSurfaces(GlContext *ctx);
void __glHwPickTexGenProcs(GlContext *ctx);
void __glHwPickFogProcs(GlContext *ctx);
void __glHwPickTriangleProcs(GlContext *ctx);
void __glHwPickPointProcs(GlContext *ctx);
void __glHwPickLineProcs(GlContext *ctx);
void __glHwPickBitmapProc(GlContext *ctx);
void __glPickPixelProcsFlushing(GlContext *ctx);
