// The attribute stacks: glPushAttrib/glPopAttrib save and restore groups of server state chosen
// by a mask, glPushClientAttrib/glPopClientAttrib the pixel-store modes and the client arrays.
// The context copy restores the same groups from another context with the same code.
//
// A stack entry is allocated zero-filled the first time its slot is used and stays with the
// slot; the side copies (lights, clip planes) are allocated at push and freed at pop, and their
// pointers are cleared when freed so that a reused or abandoned entry never frees them twice.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/core/current_state.h"
#include "icd/core/state_entries.h"
#include "icd/core/light_state.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/texgen.h"
#include "icd/vertex/array_state.h"
#include "icd/pixel/pixel_state.h"
#include "icd/pixel/texture_state.h"
#include "icd/vertex/eval_state.h"

struct GlContext;

struct GlAttribColorBuffer {
    GLenum alphaFunc;
    float alphaRef;
    GLenum blendSrcFactor, blendDstFactor;
    GLenum logicOp;
    float clearColor[4];
    float clearIndex;
    uint32_t indexMask;
    uint8_t colorMask[4];
    GLenum drawBuffer, drawBufferRequested;  // resolved, as given
};

struct GlAttribDepth {
    GLenum func;
    uint8_t writeMask;
    uint8_t reserved[3];
    double clear;
};

struct GlAttribStencil {
    GLenum func;
    uint32_t clear, ref, valueMask, writeMask;
    GLenum fail, depthFail, depthPass;
};

struct GlAttribPolygon {
    GLenum polygonMode[2];
    GLenum cullFace, frontFace;
    GlPolygonOffsetState offset;
};

struct GlAttribPixelMode {
    GlPixelTransferState transfer;
    GLenum readBuffer, readBufferRequested;  // resolved, as given
};

struct GlAttribLighting {
    GLenum colorMaterialFace, colorMaterialParam;
    GLenum shadeModel;
    GlLightingState lighting;      // light model, front and back material
    GlLightSource *lights;         // side copy of maxLights records, null when not saved
};

struct GlAttribViewport {
    GlViewport viewport;
    double depthNear, depthFar;
};

struct GlAttribTransform {
    GLenum matrixMode;
    float *clipPlanes;             // side copy of maxClipPlanes equations, null when not saved
};

// The parameters of the object bound to one target of a unit (the object's words from wrapS
// to the border colour) and its name.
struct GlAttribTexBinding {
    GLuint name;
    GLenum wrapS, wrapT;
    GLenum minFilter, magFilter;
    float borderColor[4];
};

constexpr int32_t kGlAttribTexTargets = 2;  // GL_TEXTURE_1D, GL_TEXTURE_2D

struct GlAttribTexture {
    GlTexGenState texGen;  // the context keeps one generation set
    GlAttribTexBinding bindings[kGlTextureUnits][kGlAttribTexTargets];
    GlTexEnvRecord env[kGlTextureUnits][kGlTexEnvTargets];
};

struct GlAttribScissor {
    int32_t x, y, width, height;
};

struct GlAttribEntry {
    GLbitfield mask;               // as given to glPushAttrib; 0 once popped
    GlEnableState enables;         // always taken
    GlCurrentState current;
    GlPointState point;
    GlLineState line;
    GlAttribPolygon polygon;
    uint8_t stipple[128];
    GlAttribPixelMode pixelMode;
    GlAttribLighting lighting;
    GlFogState fog;
    GlAttribDepth depth;
    float clearAccum[4];
    GlAttribStencil stencil;
    GlAttribViewport viewport;
    GlAttribTransform transform;
    GlAttribColorBuffer colorBuffer;
    GLenum hints[5];
    GLuint listBase;
    GlAttribTexture texture;
    GlAttribScissor scissor;
    GlEvalGrids evalGrids;
};

struct GlAttribVertexArrays {
    GlClientArray arrays[kGlArrayCount];
    uint32_t formatWord;
    GlArrayEnableState enable;
    uint32_t lockedFlag;           // kGlArraysLocked or 0; the locked range itself is not kept
};

struct GlClientAttribEntry {
    GLbitfield mask;
    GlPixelStoreState pixelStore;
    GlAttribVertexArrays vertexArrays;
};

// The context copy: the groups of mask from source's live state into ctx, marked for
// validation as a pop would mark them.
void __glCopyContext(GlContext *ctx, GlContext *source, GLbitfield mask);
// Frees every entry of both stacks and the side copies they still hold (context destruction).
void __glFreeAttribStack(GlContext *ctx);
