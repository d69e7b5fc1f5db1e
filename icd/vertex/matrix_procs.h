// The matrix and viewport procs that the core installs into a context's proc slots. Several
// take other arguments than the context alone: the installer stores them as GlProc and their
// callers cast back to these signatures (see the Gl*SlotProc types in transform_state.h).
#pragma once
#include <cstdint>

struct GlContext;
struct GlMatrix;
struct GlTransform;

void __glCopyMatrix(GlMatrix *dst, const GlMatrix *src);
void __glMakeIdentity(GlMatrix *m);
// dst = a x b reading each matrix as rows of 4 floats; dst may be a or b.
void __glMultiplyMatrix(GlMatrix *dst, const GlMatrix *a, const GlMatrix *b);
void __glInvertTransposeMatrix(GlMatrix *dst, const GlMatrix *src);
void __glNormalize(float dst[3], const float v[3]);
void __glPickMatrixXformProcs(GlContext *ctx, GlMatrix *m);
void __glPickInverseXformProcs(GlContext *ctx, GlMatrix *m);
void __glUpdateCompositeMatrix(GlContext *ctx, GlMatrix *mvp);
void __glUpdateCullVertexPosition(GlContext *ctx, GlTransform *entry);
void __glUpdateModelViewInverse(GlContext *ctx, GlTransform *entry);

// Procs of the matrix mode, chosen by __glPickMatrixProcs.
void __glPickMatrixProcs(GlContext *ctx);
void __glPushModelViewMatrix(GlContext *ctx);
void __glPopModelViewMatrix(GlContext *ctx);
void __glLoadIdentityModelView(GlContext *ctx);
void __glPushProjectionMatrix(GlContext *ctx);
void __glPopProjectionMatrix(GlContext *ctx);
void __glLoadIdentityProjection(GlContext *ctx);
void __glPushTextureMatrix(GlContext *ctx);
void __glPopTextureMatrix(GlContext *ctx);
void __glLoadIdentityTexture(GlContext *ctx);

void __glComputeClipBox(GlContext *ctx);
// The clip box through the context's slot (the device may narrow the generic box).
void __glUpdateClipBox(GlContext *ctx);
