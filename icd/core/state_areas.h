// The GL state of a context: enables and modes, display lists, textures, pixel transfer.
// Each group is a record of its own so that the code that owns it can grow it.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/core/names.h"
#include "icd/core/list.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/clip.h"
#include "icd/raster/span.h"
#include "icd/core/state_entries.h"
#include "icd/core/pick.h"
#include "icd/vertex/light_cache.h"
#include "icd/vertex/feedback.h"
#include "icd/vertex/texgen.h"
#include "icd/pixel/texture_state.h"
#include "icd/pixel/pixel_state.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/vertex/eval_state.h"

struct GlContext;
struct GlProcTable;

struct GlListState {
    GlNameSpace *listNames;  // shared by the contexts of a share group
    int32_t listCallDepth;
    GLuint listName;         // the list being compiled, 0 when none
    GLenum listMode;
    GLuint listBase;         // added to every name of glCallLists
    GlListCompiler compiler;
};

struct GlTextureState {
    GlNameSpace *textureNames;  // shared by the contexts of a share group
    int32_t maxTextureSize;
    void *manager;              // set by the device's texture-manager hook
};

struct GlModeState {
    GLenum shadeModel;
    GLenum polygonMode[2];  // front, back
    GLenum cullFace, frontFace;
    GLenum hints[5];        // perspective, point, line, polygon, fog
    GLenum depthFunc;
    double depthClear;
    GLenum stencilFunc, stencilFail, stencilDepthFail, stencilDepthPass;
    uint32_t stencilValueMask, stencilWriteMask;
    GLenum alphaFunc;
    GLenum logicOp;
    GLenum drawBuffer;
    GLenum colorMaterialFace, colorMaterialParam;
    uint8_t polygonStipple[128];
    uint8_t polygonStippleCopy[128];
};

struct GlStateAreas {
    GlModeState mode;
    GlListState list;
    GlTextureState texture;
    GlPixelState pixel;
    GlTransformState transform;  // matrix stacks, viewport, depth range, clip box
    GlClipState clip;  // the clippers' procs and vertex pool
    GlSpanArea span;  // the span stage list, the rasteriser block and what the stages read
    GlEnableState enable;
    GlUnitSelectState unitSelect;
    GlColorBufferState color;
    GlDepthStencilState depthStencil;
    GlLineState line;
    GlPointState point;
    GlPolygonOffsetState polygonOffset;
    GlFogState fog;
    GlCullVertexState cullVertex;
    GlArrayEnableState arrayEnable;
    GlNeedMaskState need;
    GlLightingState lighting;
    GlPickState pick;  // what validation derives and the procs the pickers choose
    GlLightingCaches lightingCaches;  // derived by validation from lighting
    GlFeedbackBuffer feedback;
    GlSelectBuffer select;
    GlTexGenState texGen;
    GlPixelOpsState pixelOps;  // the bitmap renderer validation chose
    GlTextureBindingState textures;  // bindings, default objects, environments
    GlEvalState eval;  // evaluator maps, their control points and the grids
};
