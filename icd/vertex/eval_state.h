// The evaluator state of a context: the nine one- and nine two-dimensional Bezier maps with their
// control points, the two grids of glMapGrid, the record an evaluated grid point is kept in and
// the row cache of the meshes.
//
// This header is included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>

// Map indices: target - GL_MAP1_COLOR_4 or target - GL_MAP2_COLOR_4, and the bit (1 << index)
// of the map enables.
enum : int32_t {
    kGlEvalColor4,
    kGlEvalIndex,
    kGlEvalNormal,
    kGlEvalTexCoord1,
    kGlEvalTexCoord2,
    kGlEvalTexCoord3,
    kGlEvalTexCoord4,
    kGlEvalVertex3,
    kGlEvalVertex4,
    kGlEvalMapCount,
};

constexpr int32_t kGlEvalBasisSize = 40;    // values of one basis; bounds every order
constexpr int32_t kGlEvalRowCacheSize = 1024;  // grid columns a mesh carries from row to row

struct GlEvalMap1 {
    int32_t components;  // k of the target
    int32_t order;
    float u1, u2;
};

struct GlEvalMap2 {
    int32_t components;
    int32_t uorder, vorder;
    float u1, u2, v1, v2;
};

// The grids keep the domain values together so that the queries read them as one run.
struct GlEvalGrid1 {
    float u1, u2;
    int32_t n;
};

struct GlEvalGrid2 {
    float u1, u2, v1, v2;
    int32_t un, vn;
};

// What GL_EVAL_BIT saves beside the enables.
struct GlEvalGrids {
    GlEvalGrid1 grid1;
    GlEvalGrid2 grid2;
};

// One evaluated point as the meshes keep it, to issue it again without evaluating.
enum : uint32_t {
    kGlEvalPointColor = 0x1,    // colour, or the index in color[0]
    kGlEvalPointNormal = 0x2,
    kGlEvalPointTexCoord = 0x4,
    kGlEvalPointVertex3 = 0x8,
    kGlEvalPointVertex4 = 0x10,
};
struct GlEvalPoint {
    uint32_t flags;
    float color[4];
    float normal[4];
    float texCoord[4];
    float vertex[4];
};
static_assert(sizeof(GlEvalPoint) == 68);

struct GlEvalState {
    GlEvalMap1 map1[kGlEvalMapCount];
    GlEvalMap2 map2[kGlEvalMapCount];
    // Control points, allocated through the context's hooks: 1-D [order][k], 2-D
    // [uorder][vorder][k], packed whatever the strides given.
    float *points1[kGlEvalMapCount];
    float *points2[kGlEvalMapCount];
    GlEvalGrids grids;
    GlEvalPoint *rowCache;  // kGlEvalRowCacheSize records, allocated by the first 2-D mesh
};
