// The typed glGet forms over one table of parameter names, glIsEnabled and glGetPointerv.
//
// A row names where the answer lives: a field of the context (its offset and element type come
// from the member itself), a few values computed by a getter, or constant values for state
// whose owner keeps no record yet (what its setter leaves: the OpenGL defaults).
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/core/query.h"
#include "icd/pixel/texture_object.h"
#include "icd/vertex/transform_state.h"

using glquery::Answer;
using glquery::Kind;

namespace {

enum class Elem : uint8_t { U8, U16, I32, F32, F64 };
enum class Src : uint8_t { Field, ScaledColor, RasterColor, Getter, Constant };

typedef void (*Getter)(const GlContext *ctx, double *v);

struct Param {
    GLenum pname;
    Kind kind;
    uint8_t count;
    Src src;
    Elem elem;
    uint32_t offset;
    Getter getter;
    double constant[4];
};

template <class M>
constexpr Elem elemOf() {
    using E = std::remove_cv_t<std::remove_all_extents_t<std::remove_reference_t<M>>>;
    if constexpr (std::is_same_v<E, float>) return Elem::F32;
    else if constexpr (std::is_same_v<E, double>) return Elem::F64;
    else if constexpr (sizeof(E) == 1) return Elem::U8;
    else if constexpr (sizeof(E) == 2) return Elem::U16;
    else {
        static_assert(sizeof(E) == 4 && std::is_integral_v<E>, "a query field must be a number");
        return Elem::I32;
    }
}

#define MEMBER_ELEM(member) elemOf<decltype(std::declval<GlContextAreas &>().member)>()
#define FIELD(pname, kind, n, member) \
    Param{pname, Kind::kind, n, Src::Field, MEMBER_ELEM(member), uint32_t(offsetof(GlContextAreas, member)), nullptr, {}}
#define SCALED(pname, member) \
    Param{pname, Kind::ScaledColor, 4, Src::ScaledColor, MEMBER_ELEM(member), uint32_t(offsetof(GlContextAreas, member)), nullptr, {}}
#define GETTER(pname, kind, n, fn) Param{pname, Kind::kind, n, Src::Getter, Elem::I32, 0, fn, {}}
#define CONSTANT(pname, kind, n, ...) Param{pname, Kind::kind, n, Src::Constant, Elem::I32, 0, nullptr, {__VA_ARGS__}}

// ---- getters -----------------------------------------------------------------------------------

void currentTexCoords(const GlContext *ctx, double *v) {
    const float *t = ctx->state.unitSelect.activeTexCoordSet == 0 ? ctx->current.texCoord : ctx->current.vertex.texCoord1;
    for (int i = 0; i < 4; ++i) v[i] = t[i];
}

void rasterIndex(const GlContext *ctx, double *v) { v[0] = ctx->visual.rgbaMode ? 1.0f : ctx->current.rasterIndex; }

// x and y are kept without the window bias (and flipped back on a top-down drawable); z is in
// depth-buffer units and goes back to [0, 1], undoing the inverted epoch of the depth buffer.
void rasterPosition(const GlContext *ctx, double *v) {
    GlContext *c = const_cast<GlContext *>(ctx);
    const float *p = ctx->current.rasterPos;
    float z = p[2] * (1.0f / __glDepthBufferScale(c));
    if (__glDepthBufferInverted(c)) z = 1.0f - z;
    v[0] = p[0], v[1] = p[1], v[2] = z, v[3] = p[3];
}

void rasterDistance(const GlContext *ctx, double *v) {
    const float *e = ctx->current.vertex.rasterPos.eye;
    v[0] = std::sqrt(float(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]));
}

int32_t stackDepth(const GlTransform *base, const GlTransform *top) { return base == nullptr ? 1 : int32_t(top - base) + 1; }

void modelViewDepth(const GlContext *ctx, double *v) {
    v[0] = stackDepth(ctx->state.transform.modelViewStack, ctx->state.transform.modelView);
}
void projectionDepth(const GlContext *ctx, double *v) {
    v[0] = stackDepth(ctx->state.transform.projectionStack, ctx->state.transform.projection);
}
void textureDepth(const GlContext *ctx, double *v) {
    v[0] = stackDepth(ctx->state.transform.textureStack, ctx->state.transform.texture);
}

void matrixOf(const GlTransform *top, double *v) {
    for (int i = 0; i < 16; ++i) v[i] = top != nullptr ? top->matrix.m[i] : (i % 5 == 0 ? 1.0 : 0.0);
}
void modelViewMatrix(const GlContext *ctx, double *v) { matrixOf(ctx->state.transform.modelView, v); }
void projectionMatrix(const GlContext *ctx, double *v) { matrixOf(ctx->state.transform.projection, v); }
void textureMatrix(const GlContext *ctx, double *v) { matrixOf(ctx->state.transform.texture, v); }

void attribDepth(const GlContext *ctx, double *v) {
    const GlArraysArea &a = ctx->arrays;
    v[0] = a.attribStack == nullptr ? 0 : int32_t(a.attribStackTop - a.attribStack);
}
void clientAttribDepth(const GlContext *ctx, double *v) {
    const GlArraysArea &a = ctx->arrays;
    v[0] = a.clientAttribStack == nullptr ? 0 : int32_t(a.clientAttribStackTop - a.clientAttribStack);
}

void nameStackDepth(const GlContext *ctx, double *v) {
    const GlSelectBuffer &s = ctx->state.select;
    v[0] = int32_t(s.nameStackTop - s.nameStackBase);
}

// Until a feedback buffer is given the type is the default one.
void feedbackType(const GlContext *ctx, double *v) {
    GLenum type = ctx->state.feedback.type;
    v[0] = type != 0 ? type : GL_2D;
}

template <GLenum Target>
void textureBinding(const GlContext *ctx, double *v) {
    GlTextureObject *tex = __glLookUpBoundTexture(const_cast<GlContext *>(ctx), int32_t(ctx->state.unitSelect.activeTexture), Target);
    v[0] = tex != nullptr ? double(tex->name) : 0.0;
}

// ---- the table ---------------------------------------------------------------------------------

#define ARRAY_FIELD(pname, array, field) FIELD(pname, Integer, 1, arrayState.arrays[array].field)

constexpr Param kParams[] = {
    // current values
    FIELD(GL_CURRENT_COLOR, Normalised, 4, current.color),
    FIELD(GL_CURRENT_INDEX, Float, 1, current.index),
    FIELD(GL_CURRENT_NORMAL, Normalised, 3, current.normal),
    GETTER(GL_CURRENT_TEXTURE_COORDS, Float, 4, currentTexCoords),
    // RGBA mode keeps the raster colour in colour-buffer units; colour-index mode has none.
    Param{GL_CURRENT_RASTER_COLOR, Kind::ScaledColor, 4, Src::RasterColor, Elem::F32, 0, nullptr, {}},
    GETTER(GL_CURRENT_RASTER_INDEX, Float, 1, rasterIndex),
    FIELD(GL_CURRENT_RASTER_TEXTURE_COORDS, Float, 4, current.rasterTexCoord),
    GETTER(GL_CURRENT_RASTER_POSITION, Float, 4, rasterPosition),
    FIELD(GL_CURRENT_RASTER_POSITION_VALID, Boolean, 1, current.rasterPosValid),
    GETTER(GL_CURRENT_RASTER_DISTANCE, Float, 1, rasterDistance),
    FIELD(GL_EDGE_FLAG, Boolean, 1, current.edgeFlag),
    // points and lines
    FIELD(GL_POINT_SIZE, Float, 1, state.point.pointSizeRequested),
    FIELD(GL_POINT_SIZE_RANGE, Float, 2, limits.pointSizeMin),
    FIELD(GL_POINT_SIZE_GRANULARITY, Float, 1, limits.pointSizeGranularity),
    FIELD(GL_LINE_WIDTH, Float, 1, state.line.lineWidthRequested),
    FIELD(GL_LINE_WIDTH_RANGE, Float, 2, limits.lineWidthMin),
    FIELD(GL_LINE_WIDTH_GRANULARITY, Float, 1, limits.lineWidthGranularity),
    FIELD(GL_LINE_STIPPLE_PATTERN, Integer, 1, state.line.lineStipplePattern),
    FIELD(GL_LINE_STIPPLE_REPEAT, Integer, 1, state.line.lineStippleRepeat),
    FIELD(GL_POINT_SIZE_MIN_EXT, Float, 1, state.point.pointSizeMin),
    FIELD(GL_POINT_SIZE_MAX_EXT, Float, 1, state.point.pointSizeMax),
    FIELD(GL_POINT_FADE_THRESHOLD_SIZE_EXT, Float, 1, state.point.pointFadeThreshold),
    FIELD(GL_DISTANCE_ATTENUATION_EXT, Float, 3, state.point.pointAttenuation),
    // display lists
    FIELD(GL_LIST_MODE, Integer, 1, state.list.listMode),
    FIELD(GL_MAX_LIST_NESTING, Integer, 1, limits.maxListNesting),
    FIELD(GL_LIST_BASE, Integer, 1, state.list.listBase),
    FIELD(GL_LIST_INDEX, Integer, 1, state.list.listName),
    // polygons
    FIELD(GL_POLYGON_MODE, Integer, 2, state.mode.polygonMode),
    FIELD(GL_CULL_FACE_MODE, Integer, 1, state.mode.cullFace),
    FIELD(GL_FRONT_FACE, Integer, 1, state.mode.frontFace),
    FIELD(GL_POLYGON_OFFSET_FACTOR, Float, 1, state.polygonOffset.offsetFactor),
    FIELD(GL_POLYGON_OFFSET_UNITS, Float, 1, state.polygonOffset.offsetUnits),
    // lighting
    FIELD(GL_LIGHT_MODEL_LOCAL_VIEWER, Boolean, 1, state.lighting.lightModel.localViewer),
    FIELD(GL_LIGHT_MODEL_TWO_SIDE, Boolean, 1, state.lighting.lightModel.twoSide),
    SCALED(GL_LIGHT_MODEL_AMBIENT, state.lighting.lightModel.ambient),
    FIELD(GL_SHADE_MODEL, Integer, 1, state.mode.shadeModel),
    FIELD(GL_COLOR_MATERIAL_FACE, Integer, 1, state.mode.colorMaterialFace),
    FIELD(GL_COLOR_MATERIAL_PARAMETER, Integer, 1, state.mode.colorMaterialParam),
    // fog
    FIELD(GL_FOG_INDEX, Float, 1, state.fog.fogIndex),
    FIELD(GL_FOG_DENSITY, Float, 1, state.fog.fogDensity),
    FIELD(GL_FOG_START, Float, 1, state.fog.fogStart),
    FIELD(GL_FOG_END, Float, 1, state.fog.fogEnd),
    FIELD(GL_FOG_MODE, Integer, 1, state.fog.fogMode),
    SCALED(GL_FOG_COLOR, state.fog.fogScaledColor),
    // depth, accumulation, stencil
    FIELD(GL_DEPTH_RANGE, Normalised, 2, state.transform.depthNear),
    FIELD(GL_DEPTH_WRITEMASK, Boolean, 1, state.depthStencil.depthWriteMask),
    FIELD(GL_DEPTH_CLEAR_VALUE, Normalised, 1, state.mode.depthClear),
    FIELD(GL_DEPTH_FUNC, Integer, 1, state.mode.depthFunc),
    FIELD(GL_ACCUM_CLEAR_VALUE, Normalised, 4, state.color.clearAccum),
    FIELD(GL_STENCIL_CLEAR_VALUE, Integer, 1, state.depthStencil.stencilClear),
    FIELD(GL_STENCIL_FUNC, Integer, 1, state.mode.stencilFunc),
    FIELD(GL_STENCIL_VALUE_MASK, Integer, 1, state.mode.stencilValueMask),
    FIELD(GL_STENCIL_FAIL, Integer, 1, state.mode.stencilFail),
    FIELD(GL_STENCIL_PASS_DEPTH_FAIL, Integer, 1, state.mode.stencilDepthFail),
    FIELD(GL_STENCIL_PASS_DEPTH_PASS, Integer, 1, state.mode.stencilDepthPass),
    FIELD(GL_STENCIL_REF, Integer, 1, state.depthStencil.stencilRef),
    FIELD(GL_STENCIL_WRITEMASK, Integer, 1, state.mode.stencilWriteMask),
    // transformation
    FIELD(GL_MATRIX_MODE, Integer, 1, state.transform.matrixMode),
    FIELD(GL_VIEWPORT, Integer, 4, state.transform.viewport.x),
    GETTER(GL_MODELVIEW_STACK_DEPTH, Integer, 1, modelViewDepth),
    GETTER(GL_PROJECTION_STACK_DEPTH, Integer, 1, projectionDepth),
    GETTER(GL_TEXTURE_STACK_DEPTH, Integer, 1, textureDepth),
    GETTER(GL_MODELVIEW_MATRIX, Float, 16, modelViewMatrix),
    GETTER(GL_PROJECTION_MATRIX, Float, 16, projectionMatrix),
    GETTER(GL_TEXTURE_MATRIX, Float, 16, textureMatrix),
    GETTER(GL_ATTRIB_STACK_DEPTH, Integer, 1, attribDepth),
    GETTER(GL_CLIENT_ATTRIB_STACK_DEPTH, Integer, 1, clientAttribDepth),
    // colour buffer
    FIELD(GL_ALPHA_TEST_FUNC, Integer, 1, state.mode.alphaFunc),
    FIELD(GL_ALPHA_TEST_REF, Normalised, 1, state.color.alphaRef),
    FIELD(GL_BLEND_DST, Integer, 1, state.color.blendDstFactor),
    FIELD(GL_BLEND_SRC, Integer, 1, state.color.blendSrcFactor),
    FIELD(GL_LOGIC_OP_MODE, Integer, 1, state.mode.logicOp),
    CONSTANT(GL_AUX_BUFFERS, Integer, 1, 0),
    FIELD(GL_DRAW_BUFFER, Integer, 1, state.color.drawBufferRequested),
    FIELD(GL_READ_BUFFER, Integer, 1, state.pixel.readBuffer),
    FIELD(GL_SCISSOR_BOX, Integer, 4, state.transform.scissorX),
    FIELD(GL_INDEX_CLEAR_VALUE, Float, 1, state.color.clearIndex),
    FIELD(GL_INDEX_WRITEMASK, Integer, 1, state.color.indexMask),
    FIELD(GL_COLOR_CLEAR_VALUE, Normalised, 4, state.color.clearColor),
    FIELD(GL_COLOR_WRITEMASK, Boolean, 4, state.color.colorMask),
    FIELD(GL_INDEX_MODE, Boolean, 1, visual.colorIndexMode),
    FIELD(GL_RGBA_MODE, Boolean, 1, visual.rgbaMode),
    FIELD(GL_DOUBLEBUFFER, Boolean, 1, visual.doubleBuffer),
    CONSTANT(GL_STEREO, Boolean, 1, 0),
    FIELD(GL_RENDER_MODE, Integer, 1, renderMode),
    // hints
    FIELD(GL_PERSPECTIVE_CORRECTION_HINT, Integer, 1, state.mode.hints[0]),
    FIELD(GL_POINT_SMOOTH_HINT, Integer, 1, state.mode.hints[1]),
    FIELD(GL_LINE_SMOOTH_HINT, Integer, 1, state.mode.hints[2]),
    FIELD(GL_POLYGON_SMOOTH_HINT, Integer, 1, state.mode.hints[3]),
    FIELD(GL_FOG_HINT, Integer, 1, state.mode.hints[4]),
    // pixel store, transfer and maps
    FIELD(GL_PIXEL_MAP_I_TO_I_SIZE, Integer, 1, state.pixel.maps.maps[0].size),
    FIELD(GL_PIXEL_MAP_S_TO_S_SIZE, Integer, 1, state.pixel.maps.maps[1].size),
    FIELD(GL_PIXEL_MAP_I_TO_R_SIZE, Integer, 1, state.pixel.maps.maps[2].size),
    FIELD(GL_PIXEL_MAP_I_TO_G_SIZE, Integer, 1, state.pixel.maps.maps[3].size),
    FIELD(GL_PIXEL_MAP_I_TO_B_SIZE, Integer, 1, state.pixel.maps.maps[4].size),
    FIELD(GL_PIXEL_MAP_I_TO_A_SIZE, Integer, 1, state.pixel.maps.maps[5].size),
    FIELD(GL_PIXEL_MAP_R_TO_R_SIZE, Integer, 1, state.pixel.maps.maps[6].size),
    FIELD(GL_PIXEL_MAP_G_TO_G_SIZE, Integer, 1, state.pixel.maps.maps[7].size),
    FIELD(GL_PIXEL_MAP_B_TO_B_SIZE, Integer, 1, state.pixel.maps.maps[8].size),
    FIELD(GL_PIXEL_MAP_A_TO_A_SIZE, Integer, 1, state.pixel.maps.maps[9].size),
    FIELD(GL_UNPACK_SWAP_BYTES, Boolean, 1, state.pixel.store.unpack.swapBytes),
    FIELD(GL_UNPACK_LSB_FIRST, Boolean, 1, state.pixel.store.unpack.lsbFirst),
    FIELD(GL_UNPACK_ROW_LENGTH, Integer, 1, state.pixel.store.unpack.rowLength),
    FIELD(GL_UNPACK_SKIP_ROWS, Integer, 1, state.pixel.store.unpack.skipRows),
    FIELD(GL_UNPACK_SKIP_PIXELS, Integer, 1, state.pixel.store.unpack.skipPixels),
    FIELD(GL_UNPACK_ALIGNMENT, Integer, 1, state.pixel.store.unpack.alignment),
    FIELD(GL_PACK_SWAP_BYTES, Boolean, 1, state.pixel.store.pack.swapBytes),
    FIELD(GL_PACK_LSB_FIRST, Boolean, 1, state.pixel.store.pack.lsbFirst),
    FIELD(GL_PACK_ROW_LENGTH, Integer, 1, state.pixel.store.pack.rowLength),
    FIELD(GL_PACK_SKIP_ROWS, Integer, 1, state.pixel.store.pack.skipRows),
    FIELD(GL_PACK_SKIP_PIXELS, Integer, 1, state.pixel.store.pack.skipPixels),
    FIELD(GL_PACK_ALIGNMENT, Integer, 1, state.pixel.store.pack.alignment),
    FIELD(GL_MAP_COLOR, Boolean, 1, state.pixel.transfer.mapColor),
    FIELD(GL_MAP_STENCIL, Boolean, 1, state.pixel.transfer.mapStencil),
    FIELD(GL_INDEX_SHIFT, Integer, 1, state.pixel.transfer.indexShift),
    FIELD(GL_INDEX_OFFSET, Integer, 1, state.pixel.transfer.indexOffset),
    FIELD(GL_RED_SCALE, Float, 1, state.pixel.transfer.redScale),
    FIELD(GL_RED_BIAS, Float, 1, state.pixel.transfer.redBias),
    FIELD(GL_GREEN_SCALE, Float, 1, state.pixel.transfer.greenScale),
    FIELD(GL_GREEN_BIAS, Float, 1, state.pixel.transfer.greenBias),
    FIELD(GL_BLUE_SCALE, Float, 1, state.pixel.transfer.blueScale),
    FIELD(GL_BLUE_BIAS, Float, 1, state.pixel.transfer.blueBias),
    FIELD(GL_ALPHA_SCALE, Float, 1, state.pixel.transfer.alphaScale),
    FIELD(GL_ALPHA_BIAS, Float, 1, state.pixel.transfer.alphaBias),
    FIELD(GL_DEPTH_SCALE, Float, 1, state.pixel.transfer.depthScale),
    FIELD(GL_DEPTH_BIAS, Float, 1, state.pixel.transfer.depthBias),
    FIELD(GL_ZOOM_X, Float, 1, state.pixel.transfer.zoomX),
    FIELD(GL_ZOOM_Y, Float, 1, state.pixel.transfer.zoomY),
    // limits and visual
    FIELD(GL_MAX_EVAL_ORDER, Integer, 1, limits.maxEvalOrder),
    FIELD(GL_MAX_LIGHTS, Integer, 1, limits.maxLights),
    FIELD(GL_MAX_CLIP_PLANES, Integer, 1, limits.maxClipPlanes),
    FIELD(GL_MAX_TEXTURE_SIZE, Integer, 1, state.texture.maxTextureSize),
    FIELD(GL_MAX_PIXEL_MAP_TABLE, Integer, 1, limits.maxPixelMapTable),
    FIELD(GL_MAX_ATTRIB_STACK_DEPTH, Integer, 1, limits.maxAttribStackDepth),
    FIELD(GL_MAX_MODELVIEW_STACK_DEPTH, Integer, 1, limits.maxModelViewStackDepth),
    FIELD(GL_MAX_NAME_STACK_DEPTH, Integer, 1, limits.maxNameStackDepth),
    FIELD(GL_MAX_PROJECTION_STACK_DEPTH, Integer, 1, limits.maxProjectionStackDepth),
    FIELD(GL_MAX_TEXTURE_STACK_DEPTH, Integer, 1, limits.maxTextureStackDepth),
    FIELD(GL_MAX_VIEWPORT_DIMS, Integer, 2, limits.maxViewportWidth),
    FIELD(GL_MAX_CLIENT_ATTRIB_STACK_DEPTH, Integer, 1, limits.maxClientAttribStackDepth),
    FIELD(GL_SUBPIXEL_BITS, Integer, 1, limits.subpixelBits),
    FIELD(GL_INDEX_BITS, Integer, 1, visual.indexBits),
    FIELD(GL_RED_BITS, Integer, 1, visual.redBits),
    FIELD(GL_GREEN_BITS, Integer, 1, visual.greenBits),
    FIELD(GL_BLUE_BITS, Integer, 1, visual.blueBits),
    FIELD(GL_ALPHA_BITS, Integer, 1, visual.alphaBits),
    FIELD(GL_DEPTH_BITS, Integer, 1, visual.depthBits),
    FIELD(GL_STENCIL_BITS, Integer, 1, visual.stencilBits),
    FIELD(GL_ACCUM_RED_BITS, Integer, 1, visual.accumRedBits),
    FIELD(GL_ACCUM_GREEN_BITS, Integer, 1, visual.accumGreenBits),
    FIELD(GL_ACCUM_BLUE_BITS, Integer, 1, visual.accumBlueBits),
    FIELD(GL_ACCUM_ALPHA_BITS, Integer, 1, visual.accumAlphaBits),
    // selection, feedback, evaluators
    GETTER(GL_NAME_STACK_DEPTH, Integer, 1, nameStackDepth),
    FIELD(GL_FEEDBACK_BUFFER_SIZE, Integer, 1, state.feedback.size),
    GETTER(GL_FEEDBACK_BUFFER_TYPE, Integer, 1, feedbackType),
    FIELD(GL_SELECTION_BUFFER_SIZE, Integer, 1, state.select.size),
    FIELD(GL_MAP1_GRID_DOMAIN, Float, 2, state.eval.grids.grid1.u1),
    FIELD(GL_MAP1_GRID_SEGMENTS, Integer, 1, state.eval.grids.grid1.n),
    FIELD(GL_MAP2_GRID_DOMAIN, Float, 4, state.eval.grids.grid2.u1),
    FIELD(GL_MAP2_GRID_SEGMENTS, Integer, 2, state.eval.grids.grid2.un),
    // textures
    GETTER(GL_TEXTURE_BINDING_1D, Integer, 1, textureBinding<GL_TEXTURE_1D>),
    GETTER(GL_TEXTURE_BINDING_2D, Integer, 1, textureBinding<GL_TEXTURE_2D>),
    // client arrays
    ARRAY_FIELD(GL_VERTEX_ARRAY_SIZE, kGlArrayVertex, size),
    ARRAY_FIELD(GL_VERTEX_ARRAY_TYPE, kGlArrayVertex, type),
    ARRAY_FIELD(GL_VERTEX_ARRAY_STRIDE, kGlArrayVertex, userStride),
    ARRAY_FIELD(GL_VERTEX_ARRAY_COUNT_EXT, kGlArrayVertex, count),
    ARRAY_FIELD(GL_NORMAL_ARRAY_TYPE, kGlArrayNormal, type),
    ARRAY_FIELD(GL_NORMAL_ARRAY_STRIDE, kGlArrayNormal, userStride),
    ARRAY_FIELD(GL_NORMAL_ARRAY_COUNT_EXT, kGlArrayNormal, count),
    ARRAY_FIELD(GL_COLOR_ARRAY_SIZE, kGlArrayColor, size),
    ARRAY_FIELD(GL_COLOR_ARRAY_TYPE, kGlArrayColor, type),
    ARRAY_FIELD(GL_COLOR_ARRAY_STRIDE, kGlArrayColor, userStride),
    ARRAY_FIELD(GL_COLOR_ARRAY_COUNT_EXT, kGlArrayColor, count),
    ARRAY_FIELD(GL_INDEX_ARRAY_TYPE, kGlArrayIndex, type),
    ARRAY_FIELD(GL_INDEX_ARRAY_STRIDE, kGlArrayIndex, userStride),
    ARRAY_FIELD(GL_INDEX_ARRAY_COUNT_EXT, kGlArrayIndex, count),
    ARRAY_FIELD(GL_TEXTURE_COORD_ARRAY_SIZE, kGlArrayTexCoord, size),
    ARRAY_FIELD(GL_TEXTURE_COORD_ARRAY_TYPE, kGlArrayTexCoord, type),
    ARRAY_FIELD(GL_TEXTURE_COORD_ARRAY_STRIDE, kGlArrayTexCoord, userStride),
    ARRAY_FIELD(GL_TEXTURE_COORD_ARRAY_COUNT_EXT, kGlArrayTexCoord, count),
    ARRAY_FIELD(GL_EDGE_FLAG_ARRAY_STRIDE, kGlArrayEdgeFlag, userStride),
    ARRAY_FIELD(GL_EDGE_FLAG_ARRAY_COUNT_EXT, kGlArrayEdgeFlag, count),
    FIELD(GL_ARRAY_ELEMENT_LOCK_FIRST_EXT, Integer, 1, arrayState.lockFirst),
    FIELD(GL_ARRAY_ELEMENT_LOCK_COUNT_EXT, Integer, 1, arrayState.lockCount),
    // cull vertex
    FIELD(GL_CULL_VERTEX_EYE_POSITION_EXT, Float, 4, state.cullVertex.cullVertexEyePosition),
    FIELD(GL_CULL_VERTEX_OBJECT_POSITION_EXT, Float, 4, state.cullVertex.cullVertexObjectPosition),
};

constexpr bool namesAreUnique() {
    for (const Param &a : kParams)
        for (const Param &b : kParams)
            if (&a != &b && a.pname == b.pname) return false;
    return true;
}
static_assert(namesAreUnique(), "a parameter name has two rows");

// Rows of several values that read neighbouring fields of a record.
#define NEXT_TO(a, b) static_assert(offsetof(GlContextAreas, b) == offsetof(GlContextAreas, a) + sizeof(GlContextAreas::a))
NEXT_TO(limits.pointSizeMin, limits.pointSizeMax);
NEXT_TO(limits.lineWidthMin, limits.lineWidthMax);
NEXT_TO(limits.maxViewportWidth, limits.maxViewportHeight);
NEXT_TO(state.transform.depthNear, state.transform.depthFar);
NEXT_TO(state.transform.viewport.x, state.transform.viewport.y);
NEXT_TO(state.transform.viewport.y, state.transform.viewport.width);
NEXT_TO(state.transform.viewport.width, state.transform.viewport.height);
NEXT_TO(state.transform.scissorX, state.transform.scissorY);
NEXT_TO(state.transform.scissorY, state.transform.scissorWidth);
NEXT_TO(state.transform.scissorWidth, state.transform.scissorHeight);
#undef NEXT_TO

#undef ARRAY_FIELD
#undef CONSTANT
#undef GETTER
#undef SCALED
#undef FIELD
#undef MEMBER_ELEM

const Param *findParam(GLenum pname) {
    for (const Param &p : kParams)
        if (p.pname == pname) return &p;
    return nullptr;
}

double readElem(const uint8_t *at, Elem elem) {
    switch (elem) {
    case Elem::U8: return *at;
    case Elem::U16: { uint16_t v; std::memcpy(&v, at, 2); return v; }
    case Elem::I32: { int32_t v; std::memcpy(&v, at, 4); return v; }
    case Elem::F32: { float v; std::memcpy(&v, at, 4); return v; }
    case Elem::F64: { double v; std::memcpy(&v, at, 8); return v; }
    }
    return 0.0;
}

constexpr size_t elemSize(Elem elem) {
    return elem == Elem::U8 ? 1 : elem == Elem::U16 ? 2 : elem == Elem::F64 ? 8 : 4;
}

void gather(const GlContext *ctx, const Param &p, Answer &a) {
    a.kind = p.kind;
    a.count = p.count;
    const uint8_t *base = reinterpret_cast<const uint8_t *>(static_cast<const GlContextAreas *>(ctx));
    switch (p.src) {
    case Src::Field:
        for (int i = 0; i < p.count; ++i) a.v[i] = readElem(base + p.offset + i * elemSize(p.elem), p.elem);
        break;
    case Src::ScaledColor: {
        float scaled[4];
        std::memcpy(scaled, base + p.offset, sizeof(scaled));
        for (int i = 0; i < 4; ++i) a.v[i] = scaled[i];
        break;
    }
    case Src::RasterColor:
        if (!ctx->visual.rgbaMode) {
            a.kind = Kind::Normalised;
            for (int i = 0; i < 4; ++i) a.v[i] = 1.0;
            break;
        }
        for (int i = 0; i < 4; ++i) a.v[i] = ctx->current.rasterColor[i];
        break;
    case Src::Getter: p.getter(ctx, a.v); break;
    case Src::Constant:
        for (int i = 0; i < p.count; ++i) a.v[i] = p.constant[i];
        break;
    }
    if (p.kind == Kind::Boolean)
        for (int i = 0; i < p.count; ++i) a.v[i] = a.v[i] != 0.0 ? 1.0 : 0.0;
}

// The enables word's capabilities.
struct CapBit {
    GLenum cap;
    uint32_t bit;
};
constexpr CapBit kCapBits[] = {
    {GL_ALPHA_TEST, kGlEnableAlphaTest},
    {GL_BLEND, kGlEnableBlend},
    {GL_INDEX_LOGIC_OP, kGlEnableIndexLogicOp},
    {GL_COLOR_LOGIC_OP, kGlEnableColorLogicOp},
    {GL_DITHER, kGlEnableDither},
    {GL_DEPTH_TEST, kGlEnableDepthTest},
    {GL_FOG, kGlEnableFog},
    {GL_LIGHTING, kGlEnableLighting},
    {GL_COLOR_MATERIAL, kGlEnableColorMaterial},
    {GL_LINE_STIPPLE, kGlEnableLineStipple},
    {GL_LINE_SMOOTH, kGlEnableLineSmooth},
    {GL_POINT_SMOOTH, kGlEnablePointSmooth},
    {GL_POLYGON_SMOOTH, kGlEnablePolygonSmooth},
    {GL_CULL_FACE, kGlEnableCullFace},
    {GL_POLYGON_STIPPLE, kGlEnablePolygonStipple},
    {GL_SCISSOR_TEST, kGlEnableScissorTest},
    {GL_STENCIL_TEST, kGlEnableStencilTest},
    {GL_NORMALIZE, kGlEnableNormalize},
    {GL_AUTO_NORMAL, kGlEnableAutoNormal},
    {GL_POLYGON_OFFSET_POINT, kGlEnablePolygonOffsetPoint},
    {GL_POLYGON_OFFSET_LINE, kGlEnablePolygonOffsetLine},
    {GL_POLYGON_OFFSET_FILL, kGlEnablePolygonOffsetFill},
    {GL_CULL_VERTEX_EXT, kGlEnableCullVertex},
};

// Client arrays in GL_VERTEX_ARRAY .. GL_EDGE_FLAG_ARRAY order.
constexpr uint32_t kClientArrayBits[] = {
    kGlArrayEnableVertex, kGlArrayEnableNormal, kGlArrayEnableColor,
    kGlArrayEnableIndex, kGlArrayEnableTexCoord, kGlArrayEnableEdgeFlag,
};

template <class T>
void getv(GLenum pname, T *out) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    Answer a;
    if (const Param *p = findParam(pname)) {
        gather(ctx, *p, a);
    } else {
        int32_t on = glquery::capabilityState(ctx, pname);
        if (on < 0) return __glSetError(GL_INVALID_ENUM);
        a.kind = Kind::Boolean;
        a.count = 1;
        a.v[0] = on;
    }
    glquery::put(ctx, a, out);
}

// The pointers of glGetPointerv: the client arrays', the feedback and the selection buffers',
// as given.
void getPointer(GLenum pname, GLvoid **params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    int32_t array;
    switch (pname) {
    case GL_FEEDBACK_BUFFER_POINTER: *params = ctx->state.feedback.base; return;
    case GL_SELECTION_BUFFER_POINTER: *params = ctx->state.select.base; return;
    case GL_VERTEX_ARRAY_POINTER: array = kGlArrayVertex; break;
    case GL_NORMAL_ARRAY_POINTER: array = kGlArrayNormal; break;
    case GL_COLOR_ARRAY_POINTER: array = kGlArrayColor; break;
    case GL_INDEX_ARRAY_POINTER: array = kGlArrayIndex; break;
    case GL_TEXTURE_COORD_ARRAY_POINTER: array = kGlArrayTexCoord; break;
    case GL_EDGE_FLAG_ARRAY_POINTER: array = kGlArrayEdgeFlag; break;
    default: return __glSetError(GL_INVALID_ENUM);
    }
    *params = const_cast<GLvoid *>(ctx->arrayState.arrays[array].pointer);
}

}  // namespace

namespace glquery {

GlContext *queryContext() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx;
}

int32_t capabilityState(const GlContext *ctx, GLenum cap) {
    const GlEnableState &e = ctx->state.enable;
    const GlUnitSelectState &units = ctx->state.unitSelect;
    if (cap == GL_TEXTURE_1D || cap == GL_TEXTURE_2D)
        return (e.texUnitEnables[units.activeTexture] & (cap == GL_TEXTURE_1D ? kGlEnableTexture1D : kGlEnableTexture2D)) != 0;
    if (cap >= GL_TEXTURE_GEN_S && cap <= GL_TEXTURE_GEN_Q)
        return (e.texUnitEnables[units.activeTexCoordSet] & (kGlEnableTexGenS << (cap - GL_TEXTURE_GEN_S))) != 0;
    if (cap - GL_CLIP_PLANE0 < uint32_t(ctx->limits.maxClipPlanes)) return (e.clipPlaneEnables >> (cap - GL_CLIP_PLANE0)) & 1;
    if (cap - GL_LIGHT0 < uint32_t(ctx->limits.maxLights)) return (e.lightEnables >> (cap - GL_LIGHT0)) & 1;
    if (cap >= GL_MAP1_COLOR_4 && cap <= GL_MAP1_VERTEX_4) return (e.map1Enables >> (cap - GL_MAP1_COLOR_4)) & 1;
    if (cap >= GL_MAP2_COLOR_4 && cap <= GL_MAP2_VERTEX_4) return (e.map2Enables >> (cap - GL_MAP2_COLOR_4)) & 1;
    if (cap >= GL_VERTEX_ARRAY && cap <= GL_EDGE_FLAG_ARRAY)
        return (ctx->state.arrayEnable.enableMask & kClientArrayBits[cap - GL_VERTEX_ARRAY]) != 0;
    for (const CapBit &c : kCapBits)
        if (c.cap == cap) return (e.enables & c.bit) != 0;
    return -1;
}

}  // namespace glquery

namespace icd {

void APIENTRY glGetBooleanv(GLenum pname, GLboolean *params) { getv(pname, params); }
void APIENTRY glGetIntegerv(GLenum pname, GLint *params) { getv(pname, params); }
void APIENTRY glGetFloatv(GLenum pname, GLfloat *params) { getv(pname, params); }
void APIENTRY glGetDoublev(GLenum pname, GLdouble *params) { getv(pname, params); }

GLboolean APIENTRY glIsEnabled(GLenum cap) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return GL_FALSE;
    int32_t on = glquery::capabilityState(ctx, cap);
    if (on < 0) {
        __glSetError(GL_INVALID_ENUM);
        return GL_FALSE;
    }
    return on ? GL_TRUE : GL_FALSE;
}

void APIENTRY glGetPointerv(GLenum pname, GLvoid **params) { getPointer(pname, params); }
void APIENTRY __glDoGetPointervEXT(GLenum pname, GLvoid **params) { getPointer(pname, params); }

}  // namespace icd
