// The matrix stacks of a context: operations on the current matrix, push, pop and load-identity
// per matrix mode, projection sequence numbers, the composite and the lazily derived matrices.
#include <bit>
#include <cmath>
#include <cstring>
#include "icd/core/state_entries_util.h"
#include "icd/core/core.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/vertex_procs.h"

namespace {
GlTransformState &xf(GlContext *ctx) { return ctx->state.transform; }

// The replaceable procs go through the context's slots; before the slots are installed the
// matrix code's own procs serve.
void pickProcs(GlContext *ctx, GlMatrix *m) {
    GlProc p = ctx->slots.pickMatrixXform;
    if (p != nullptr) __glSlotAs<GlPickMatrixSlotProc>(p)(ctx, m);
    else __glPickMatrixXformProcs(ctx, m);
}
void pickInverseProcs(GlContext *ctx, GlMatrix *m) {
    GlProc p = ctx->slots.pickInverseXform;
    if (p != nullptr) __glSlotAs<GlPickMatrixSlotProc>(p)(ctx, m);
    else __glPickInverseXformProcs(ctx, m);
}
void updateComposite(GlContext *ctx, GlMatrix *mvp) {
    GlProc p = ctx->slots.updateCompositeMatrix;
    if (p != nullptr) __glSlotAs<GlUpdateCompositeSlotProc>(p)(ctx, mvp);
    else __glUpdateCompositeMatrix(ctx, mvp);
}
void updateCullVertex(GlContext *ctx, GlTransform *entry) {
    GlProc p = ctx->slots.updateCullVertexPosition;
    if (p != nullptr) __glSlotAs<GlTransformEntrySlotProc>(p)(ctx, entry);
    else __glUpdateCullVertexPosition(ctx, entry);
}

// The modelview top takes the projection top's number and rebuilds its composite.
void recompose(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    s.modelView->sequence = s.projection->sequence;
    __glMultiplyMatrix(&s.modelView->mvp, &s.modelView->matrix, &s.projection->matrix);
}

void newProjectionSequence(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    if (s.projectionSequence == 0xFFFFFFFFu) {
        __glRenumberProjectionSequences(ctx);
        return;
    }
    s.projection->sequence = ++s.projectionSequence;
}

// After the projection top changed: new number, recomposed modelview, composite update.
void projectionChanged(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    pickProcs(ctx, &s.projection->matrix);
    newProjectionSequence(ctx);
    recompose(ctx);
    updateComposite(ctx, &s.modelView->mvp);
}

void textureChanged(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    pickProcs(ctx, &s.texture->matrix);
    if (s.procs.textureMatrixChanged != nullptr) s.procs.textureMatrixChanged(ctx);
}

// Texture-coordinate procs depend on whether the texture matrix is the identity: revalidate.
void markTextureMatrixChanged(GlContext *ctx) {
    __glRequestValidation(ctx);
    ctx->dirtyMask |= 0x1;
}

template <class T>
void freeBlock(GlContext *ctx, T *&block) {
    if (block != nullptr) ctx->hostProcs.free(ctx, block);
    block = nullptr;
}
}  // namespace

void __glLoadCurrentMatrix(GlContext *ctx, const GlMatrix *m) {
    GlTransformState &s = xf(ctx);
    switch (s.matrixMode) {
    case GL_MODELVIEW: {
        GlTransform *t = s.modelView;
        __glCopyMatrix(&t->matrix, m);
        t->inverseStale = 1;
        pickProcs(ctx, &t->matrix);
        t->sequence = s.projection->sequence;
        __glMultiplyMatrix(&t->mvp, &t->matrix, &s.projection->matrix);
        updateComposite(ctx, &t->mvp);
        break;
    }
    case GL_PROJECTION:
        __glCopyMatrix(&s.projection->matrix, m);
        projectionChanged(ctx);
        break;
    default:
        __glCopyMatrix(&s.texture->matrix, m);
        textureChanged(ctx);
        break;
    }
}

void __glApplyToCurrentMatrix(GlContext *ctx, const GlMatrix *arg, GlMatrixOp op) {
    GlTransformState &s = xf(ctx);
    switch (s.matrixMode) {
    case GL_MODELVIEW: {
        GlTransform *t = s.modelView;
        op(ctx, &t->matrix, arg);
        t->inverseStale = 1;
        pickProcs(ctx, &t->matrix);
        // Multiplying into M multiplies into P x M the same way.
        op(ctx, &t->mvp, arg);
        updateComposite(ctx, &t->mvp);
        break;
    }
    case GL_PROJECTION:
        op(ctx, &s.projection->matrix, arg);
        projectionChanged(ctx);
        break;
    default:
        op(ctx, &s.texture->matrix, arg);
        textureChanged(ctx);
        break;
    }
}

void __glRotateCurrent(GlContext *ctx, float angle, float x, float y, float z) {
    GlMatrix r;
    std::memset(&r, 0, sizeof(r));
    float axis[3] = {x, y, z}, n[3];
    __glNormalize(n, axis);
    float rad = angle * 0.017453292f;
    float s = float(std::sin(double(rad))), c = float(std::cos(double(rad))), k = 1.0f - c;
    float ax = n[0], ay = n[1], az = n[2];
    float *m = r.m;
    m[0] = ax * ax + (1.0f - ax * ax) * c;
    m[5] = ay * ay + (1.0f - ay * ay) * c;
    m[10] = az * az + (1.0f - az * az) * c;
    m[4] = k * ax * ay - az * s;
    m[1] = k * ax * ay + az * s;
    m[8] = k * ax * az + ay * s;
    m[2] = k * ax * az - ay * s;
    m[9] = k * ay * az - ax * s;
    m[6] = k * ay * az + ax * s;
    m[15] = 1.0f;
    // About the z axis (x and y given as +-0) the rotation stays in the xy plane.
    auto zero = [](float v) { return (std::bit_cast<uint32_t>(v) & 0x7FFFFFFFu) == 0; };
    r.type = zero(x) && zero(y) ? kGlMatrixPlanar : kGlMatrixAffine;
    __glApplyToCurrentMatrix(ctx, &r, __glMultiplyOp);
}

void __glScaleCurrent(GlContext *ctx, float x, float y, float z) {
    GlMatrix a;
    std::memset(&a, 0, sizeof(a));
    a.m[0] = x, a.m[5] = y, a.m[10] = z, a.m[15] = 1.0f;
    a.type = kGlMatrixScaleTranslate;
    __glApplyToCurrentMatrix(ctx, &a, __glScaleOp);
}

void __glTranslateCurrent(GlContext *ctx, float x, float y, float z) {
    GlMatrix a;
    __glMakeIdentity(&a);
    a.m[12] = x, a.m[13] = y, a.m[14] = z;
    a.type = kGlMatrixScaleTranslate;
    __glApplyToCurrentMatrix(ctx, &a, __glTranslateOp);
}

void __glRenumberProjectionSequences(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    for (GlTransform *t = s.modelViewStack; t <= s.modelView; ++t) t->sequence = 0;
    uint32_t n = 0;
    for (GlTransform *t = s.projectionStack; t <= s.projection; ++t) t->sequence = ++n;
    s.projectionSequence = uint32_t(ctx->limits.maxProjectionStackDepth) + 1;
}

// ---- stacks ------------------------------------------------------------------------------------
namespace {
// Push: a full stack is an overflow and nothing changes.
GlTransform *pushEntry(GlTransform *base, GlTransform *&top, int32_t depth) {
    if (top >= base + depth - 1) {
        __glSetError(GL_STACK_OVERFLOW);
        return nullptr;
    }
    return ++top;
}

bool popEntry(GlTransform *base, GlTransform *&top) {
    if (top <= base) {
        __glSetError(GL_STACK_UNDERFLOW);
        return false;
    }
    --top;
    return true;
}
}  // namespace

void __glPushModelViewMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    GlTransform *t = pushEntry(s.modelViewStack, s.modelView, ctx->limits.maxModelViewStackDepth);
    if (t != nullptr) std::memcpy(t, t - 1, sizeof(GlTransform));
}

void __glPushProjectionMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    GlTransform *t = pushEntry(s.projectionStack, s.projection, ctx->limits.maxProjectionStackDepth);
    if (t == nullptr) return;
    t->matrix = t[-1].matrix;
    t->sequence = t[-1].sequence;
}

void __glPushTextureMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    GlTransform *t = pushEntry(s.textureStack, s.texture, ctx->limits.maxTextureStackDepth);
    if (t != nullptr) t->matrix = t[-1].matrix;
}

void __glPopModelViewMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    if (!popEntry(s.modelViewStack, s.modelView)) return;
    if (s.modelView->sequence != s.projection->sequence) recompose(ctx);
    updateComposite(ctx, &s.modelView->mvp);
    updateCullVertex(ctx, s.modelView);
    __glUpdateLightVectors(ctx);
}

void __glPopProjectionMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    if (!popEntry(s.projectionStack, s.projection)) return;
    if (s.projection->sequence != s.modelView->sequence) recompose(ctx);
    updateComposite(ctx, &s.modelView->mvp);
}

void __glPopTextureMatrix(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    if (!popEntry(s.textureStack, s.texture)) return;
    if (s.procs.textureMatrixChanged != nullptr) s.procs.textureMatrixChanged(ctx);
}

void __glLoadIdentityModelView(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    GlTransform *t = s.modelView;
    __glMakeIdentity(&t->matrix);
    __glMakeIdentity(&t->inverseTranspose);
    t->inverseStale = 0;
    pickProcs(ctx, &t->matrix);
    pickInverseProcs(ctx, &t->inverseTranspose);
    t->sequence = s.projection->sequence;
    __glMultiplyMatrix(&t->mvp, &t->matrix, &s.projection->matrix);
    updateComposite(ctx, &t->mvp);
    updateCullVertex(ctx, t);
    __glUpdateLightVectors(ctx);
}

void __glLoadIdentityProjection(GlContext *ctx) {
    __glMakeIdentity(&xf(ctx).projection->matrix);
    projectionChanged(ctx);
}

void __glLoadIdentityTexture(GlContext *ctx) {
    __glMakeIdentity(&xf(ctx).texture->matrix);
    textureChanged(ctx);
}

void __glPickMatrixProcs(GlContext *ctx) {
    GlProcSlots &p = ctx->slots;
    switch (xf(ctx).matrixMode) {
    case GL_PROJECTION:
        p.pushModelView = __glPushProjectionMatrix;
        p.popModelView = __glPopProjectionMatrix;
        p.loadIdentityModelView = __glLoadIdentityProjection;
        break;
    case GL_TEXTURE:
        p.pushModelView = __glPushTextureMatrix;
        p.popModelView = __glPopTextureMatrix;
        p.loadIdentityModelView = __glLoadIdentityTexture;
        break;
    default:
        p.pushModelView = __glPushModelViewMatrix;
        p.popModelView = __glPopModelViewMatrix;
        p.loadIdentityModelView = __glLoadIdentityModelView;
        break;
    }
    updateCullVertex(ctx, xf(ctx).modelView);
}

// ---- derived matrices --------------------------------------------------------------------------
void __glUpdateModelViewInverse(GlContext *ctx, GlTransform *entry) {
    __glInvertTransposeMatrix(&entry->inverseTranspose, &entry->matrix);
    pickInverseProcs(ctx, &entry->inverseTranspose);
    entry->inverseStale = 0;
    updateCullVertex(ctx, entry);
    __glUpdateLightVectors(ctx);
}

void __glUpdateCullVertexPosition(GlContext *ctx, GlTransform *entry) {
    GlTransformState &s = xf(ctx);
    const GlCullVertexState &cull = ctx->state.cullVertex;
    if (cull.cullVertexObjectInForce) {
        std::memcpy(s.cullObjectEyePosition, cull.cullVertexObjectPosition, sizeof(s.cullObjectEyePosition));
        return;
    }
    if (entry->inverseStale) return;
    __glTransposeMatrix(&entry->transpose, &entry->matrix);
    __glTransposeMatrix(&entry->inverse, &entry->inverseTranspose);
    entry->transpose.type = entry->inverse.type = kGlMatrixGeneral;
    pickProcs(ctx, &entry->transpose);
    pickProcs(ctx, &entry->inverse);
    entry->inverse.xform4(s.cullObjectEyePosition, cull.cullVertexEyePosition, &entry->inverse);
}

void __glUpdateCompositeMatrix(GlContext *ctx, GlMatrix *mvp) {
    GlTransformState &s = xf(ctx);
    __glMatrixProductType(mvp, &s.modelView->matrix, &s.projection->matrix);
    __glPrescaleComposite(ctx, mvp);
    pickProcs(ctx, mvp);
    if (ctx->slots.pickVertex != nullptr) ctx->slots.pickVertex(ctx);
}

// Composites of type 2 and above go straight to window x and y with the viewport folded in.
void __glPrescaleComposite(GlContext *ctx, GlMatrix *mvp) {
    if (mvp->type < kGlMatrixPlanar) return;
    GlTransformState &s = xf(ctx);
    const GlViewport &v = s.viewport;
    const float *m = mvp->m;
    float *w = s.windowComposite;
    w[0] = m[0] * v.xScale;
    w[4] = m[4] * v.xScale;
    w[1] = m[1] * v.yScale;
    w[5] = m[5] * v.yScale;
    w[10] = m[10];
    w[14] = m[14];
    w[12] = v.xScale * m[12] + v.xCenter;
    w[13] = v.yScale * m[13] + v.yCenter;
    w[15] = 1.0f;
    s.windowCompositeType = mvp->type;
}

// ---- lifecycle ---------------------------------------------------------------------------------
int __glAllocClipPlanes(GlContext *ctx) {
    if (ctx->arrays.clipPlanes != nullptr) return TRUE;
    ctx->arrays.clipPlanes = ctx->hostProcs.calloc(ctx, size_t(ctx->limits.maxClipPlanes), 4 * sizeof(float));
    return ctx->arrays.clipPlanes != nullptr;
}

void __glInitTransformState(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    const GlLimits &l = ctx->limits;
    auto stack = [&](GlTransform *&base, int32_t depth) {
        if (base == nullptr) base = static_cast<GlTransform *>(ctx->hostProcs.calloc(ctx, size_t(depth), sizeof(GlTransform)));
        return base != nullptr;
    };
    int clipCount = kGlClipVertexCount(l.maxClipPlanes);
    if (s.clipVertices == nullptr)
        s.clipVertices = static_cast<uint8_t *>(ctx->hostProcs.calloc(ctx, size_t(clipCount), kGlVertexRecordSize));
    if (!stack(s.modelViewStack, l.maxModelViewStackDepth) || !stack(s.projectionStack, l.maxProjectionStackDepth) ||
        !stack(s.textureStack, l.maxTextureStackDepth) || s.clipVertices == nullptr) {
        // Without its stacks the context cannot transform anything: report it and keep the
        // tops null, which the matrix entries test.
        __glFreeTransformState(ctx);
        __glSetError(GL_OUT_OF_MEMORY);
        return;
    }
    // Each clip vertex's colour pointer at its own front colour; four coordinates.
    for (int i = 0; i < clipCount; ++i) {
        uint8_t *v = s.clipVertices + i * kGlVertexRecordSize;
        float *front = reinterpret_cast<float *>(v + 128);
        std::memcpy(v + 52, &front, sizeof(front));
        uint32_t flags = 0xC00;
        std::memcpy(v + 48, &flags, sizeof(flags));
    }
    if (s.procs.applyViewport == nullptr) s.procs.applyViewport = __glApplyViewportToDrawable;
    if (s.procs.textureMatrixChanged == nullptr) s.procs.textureMatrixChanged = markTextureMatrixChanged;
    s.matrixMode = GL_MODELVIEW;
    s.depthNear = 0.0;
    s.depthFar = 1.0;
    __glUpdateDepthRange(ctx);
    s.projectionSequence = 0;

    GlTransform *mv = s.modelView = s.modelViewStack;
    __glMakeIdentity(&mv->matrix);
    __glMakeIdentity(&mv->inverseTranspose);
    __glMakeIdentity(&mv->mvp);
    mv->inverseStale = 0;
    mv->sequence = 0;
    pickProcs(ctx, &mv->matrix);
    pickInverseProcs(ctx, &mv->inverseTranspose);
    pickProcs(ctx, &mv->mvp);
    GlTransform *p = s.projection = s.projectionStack;
    __glMakeIdentity(&p->matrix);
    p->sequence = 0;
    pickProcs(ctx, &p->matrix);
    updateComposite(ctx, &mv->mvp);

    static const float kCullDefault[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    GlCullVertexState &cull = ctx->state.cullVertex;
    std::memcpy(cull.cullVertexEyePosition, kCullDefault, sizeof(kCullDefault));
    std::memcpy(cull.cullVertexObjectPosition, kCullDefault, sizeof(kCullDefault));
    cull.cullVertexObjectInForce = 0;
    updateCullVertex(ctx, mv);
    __glUpdateLightVectors(ctx);

    GlTransform *t = s.texture = s.textureStack;
    __glMakeIdentity(&t->matrix);
    pickProcs(ctx, &t->matrix);
    ctx->current.normal[2] = 1.0f;
    __glInitVertexBuffer(ctx);
}

void __glFreeTransformState(GlContext *ctx) {
    GlTransformState &s = xf(ctx);
    freeBlock(ctx, s.modelViewStack);
    freeBlock(ctx, s.projectionStack);
    freeBlock(ctx, s.textureStack);
    freeBlock(ctx, s.clipVertices);
    s.modelView = s.projection = s.texture = nullptr;
    freeBlock(ctx, ctx->arrays.clipPlanes);
}

// The viewport moved: the window-space composite and the vertex procs follow.
void __glComputeViewportBounds(GlContext *ctx) {
    GlTransform *t = xf(ctx).modelView;
    if (t != nullptr) updateComposite(ctx, &t->mvp);
}
