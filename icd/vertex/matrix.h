// The 4x4 matrix record used for every matrix of the driver, its type classification and the
// point-transform procs chosen by type.
#pragma once
#include <cstdint>
#include "icd/vertex/matrix_procs.h"

// Matrix types. A type is never recomputed from the numbers: each operation states the type of
// its result, and the transform procs picked for a type may skip the elements it fixes.
enum : uint32_t {
    kGlMatrixGeneral = 0,
    kGlMatrixAffine = 1,         // last row 0 0 0 1
    kGlMatrixPlanar = 2,         // x and y mix only with each other; z' = m10 z + m14 w; w passes
    kGlMatrixScaleTranslate = 3, // diagonal scale plus translation
    kGlMatrixIdentity = 4,
    kGlMatrixWindowOrtho = 5,    // scale-translate known to be glOrtho(0, w, 0, h, n, f) of the viewport
};

// out = M applied to the column vector in; missing input components are z = 0, w = 1.
typedef void (*GlXformProc)(float out[4], const float *in, const GlMatrix *m);

// Column-major (OpenGL order): element 4c + r is row r of column c; translation in 12, 13, 14.
struct GlMatrix {
    float m[16];
    uint32_t type;
    uint16_t orthoWidth, orthoHeight;  // meaningful for kGlMatrixWindowOrtho only
    GlXformProc xform2, xform3, xform4;
};
static_assert(sizeof(GlMatrix) == 84);

// The fifteen point-transform procs: 2, 3 or 4 input components per matrix type.
#define GL_XFORM_KINDS(X) X(General) X(Affine3D) X(Affine2D) X(ScaleTranslate) X(Identity)
#define GL_DECLARE_XFORM(kind)                                                  \
    void __glXform2##kind(float out[4], const float *in, const GlMatrix *m);  \
    void __glXform3##kind(float out[4], const float *in, const GlMatrix *m);  \
    void __glXform4##kind(float out[4], const float *in, const GlMatrix *m);
GL_XFORM_KINDS(GL_DECLARE_XFORM)
#undef GL_DECLARE_XFORM

// A multiply-in operation: cur := cur x arg in OpenGL terms, with the type of the result.
typedef void (*GlMatrixOp)(GlContext *ctx, GlMatrix *cur, const GlMatrix *arg);
void __glMultiplyOp(GlContext *ctx, GlMatrix *cur, const GlMatrix *arg);
void __glScaleOp(GlContext *ctx, GlMatrix *cur, const GlMatrix *arg);      // factors in m0, m5, m10
void __glTranslateOp(GlContext *ctx, GlMatrix *cur, const GlMatrix *arg);  // offsets in m12..m14
void __glTransposeMatrix(GlMatrix *dst, const GlMatrix *src);
void __glMatrixProductType(GlMatrix *dst, const GlMatrix *arg, const GlMatrix *cur);
// The three transform procs of a matrix chosen by its type (no context needed).
void __glSetXformProcs(GlMatrix *m);
void __glSetInverseXformProcs(GlMatrix *m);
