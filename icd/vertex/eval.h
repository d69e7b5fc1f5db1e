// Evaluators: the map commands' helpers, the Bernstein bases, the evaluation of every enabled map
// at a parameter and the grid meshes. An evaluation gives colour or index, normal, texture
// coordinates and a vertex exactly as the immediate commands would; the vertex goes through the
// proc table being executed, and the current attributes are left as they were.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/eval_state.h"

struct GlContext;

// Components of a map target (1-D or 2-D), -1 for any other value.
int32_t __glMapTargetComponents(GLenum target);
int32_t __glMap1PointsSize(int32_t k, int32_t order);
int32_t __glMap2PointsSize(int32_t k, int32_t uorder, int32_t vorder);
// Control points into a packed block: k values per point, the source advancing by its strides.
void __glCopyMap1Pointsf(int32_t k, int32_t order, int32_t stride, const GLfloat *src, float *dst);
void __glCopyMap1Pointsd(int32_t k, int32_t order, int32_t stride, const GLdouble *src, float *dst);
void __glCopyMap2Pointsf(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                         const GLfloat *src, float *dst);
void __glCopyMap2Pointsd(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                         const GLdouble *src, float *dst);
// The copy of a point type, for the map commands written once for floats and doubles.
namespace evalmap {
inline void copyPoints(int32_t k, int32_t order, int32_t stride, const GLfloat *src, float *dst) {
    __glCopyMap1Pointsf(k, order, stride, src, dst);
}
inline void copyPoints(int32_t k, int32_t order, int32_t stride, const GLdouble *src, float *dst) {
    __glCopyMap1Pointsd(k, order, stride, src, dst);
}
inline void copyPoints(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                       const GLfloat *src, float *dst) {
    __glCopyMap2Pointsf(k, uorder, ustride, vorder, vstride, src, dst);
}
inline void copyPoints(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                       const GLdouble *src, float *dst) {
    __glCopyMap2Pointsd(k, uorder, ustride, vorder, vstride, src, dst);
}
}  // namespace evalmap

// Answers glGetMap: writes up to max values of the query, from value `first` on, and returns how
// many it wrote (0 past the end).
int32_t __glEvalMapValues(const GlContext *ctx, GLenum target, GLenum query, int32_t first, double *out,
                          int32_t max);

// The Bernstein basis of an order (1 .. kGlEvalBasisSize) at t; the second form also gives the
// derivatives with respect to t up to a positive factor (enough for a direction).
void __glComputeBernstein(int32_t order, float t, float *basis);
void __glComputeBernsteinDeriv(int32_t order, float t, float *basis, float *deriv);

// Every enabled map at u (u, v), issuing the vertex; the 2-D form fills `record` when given.
void __glEvalMaps1(GlContext *ctx, float u);
void __glEvalMaps2(GlContext *ctx, float u, float v, GlEvalPoint *record);
// Issues a kept point again with its attributes.
void __glEmitEvalPoint(GlContext *ctx, const GlEvalPoint *record);

// The evalCoord slots: one evaluation that leaves the current attributes as they were.
void __glEvaluateCoord1(GlContext *ctx, float u);
void __glEvaluateCoord2(GlContext *ctx, float u, float v);

// Meshes over the grid, rows i and columns j inclusive.
void __glEvalMesh1Points(GlContext *ctx, int32_t i1, int32_t i2);
void __glEvalMesh1Lines(GlContext *ctx, int32_t i1, int32_t i2);
void __glEvalMesh2Points(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2);
void __glEvalMesh2Lines(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2);
void __glEvalMesh2Fill(GlContext *ctx, int32_t i1, int32_t i2, int32_t j1, int32_t j2);
