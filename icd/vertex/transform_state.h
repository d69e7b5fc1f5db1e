// The geometric state of a context: the three matrix stacks, the projection sequence numbers,
// the viewport and depth-range transform, the scissor and clip box, the object-space cull-vertex
// eye position and the window-space composite. The user clip-plane equations live in the
// context's arrays, the cull-vertex positions as set with the other state entries.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/matrix.h"

// One entry of a matrix stack. Projection and texture entries use only matrix and sequence.
struct GlTransform {
    GlMatrix matrix;
    GlMatrix inverseTranspose;  // valid while inverseStale is 0
    GlMatrix mvp;               // vertex -> clip: the projection applied after matrix
    GlMatrix inverse;           // cull-vertex eye position
    GlMatrix transpose;         // scratch of the cull-vertex update
    uint32_t sequence;          // projection sequence number mvp was built with
    uint8_t inverseStale;
    uint8_t reserved[3];
};

struct GlViewport {
    int32_t x, y, width, height;
    float xScale, xCenter, yScale, yCenter, zScale, zCenter;
};

// The drawable as the viewport and clip box see it: the size the context's buffers were last
// made for and whether its rows run top-down. The buffer code keeps it current at attach and
// resize; glViewport refreshes it from the drawable as well.
struct GlDrawableExtent {
    int32_t width, height;
    uint8_t yInverted;
    uint8_t reserved[3];
};

// Context procs that other parts of the driver replace.
struct GlTransformProcs {
    void (*applyViewport)(GlContext *ctx);         // refresh the drawable, then __glApplyViewport
    void (*textureMatrixChanged)(GlContext *ctx);  // texture-coordinate procs follow the matrix
};

struct GlTransformState {
    GLenum matrixMode;
    GlTransform *modelViewStack, *modelView;    // base and top
    GlTransform *projectionStack, *projection;
    GlTransform *textureStack, *texture;
    uint32_t projectionSequence;
    GlViewport viewport;
    double depthNear, depthFar;
    int32_t scissorX, scissorY, scissorWidth, scissorHeight;
    int32_t clipBoxX0, clipBoxY0, clipBoxX1, clipBoxY1;  // window coordinates, bias added
    float cullObjectEyePosition[4];  // the cull-vertex eye position taken into object space
    float windowComposite[16];       // composite with the viewport folded in, type 2 and above
    uint32_t windowCompositeType;
    uint8_t *clipVertices;           // the clipper's vertex pool: 2 x clip planes + 12 records
    GlDrawableExtent drawable;
    GlTransformProcs procs;
};

constexpr int kGlClipVertexCount(int maxClipPlanes) { return 2 * maxClipPlanes + 12; }

// Proc-slot signatures of the matrix procs (the slots hold them as GlProc).
typedef void (*GlPickMatrixSlotProc)(GlContext *ctx, GlMatrix *m);
typedef void (*GlUpdateCompositeSlotProc)(GlContext *ctx, GlMatrix *mvp);
typedef void (*GlTransformEntrySlotProc)(GlContext *ctx, GlTransform *entry);
template <class F>
inline F __glSlotAs(void (*slot)(GlContext *)) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)(void)>(slot));
}

// ---- operations on the current matrix ---------------------------------------------------------
void __glLoadCurrentMatrix(GlContext *ctx, const GlMatrix *m);
void __glApplyToCurrentMatrix(GlContext *ctx, const GlMatrix *arg, GlMatrixOp op);
void __glRotateCurrent(GlContext *ctx, float angle, float x, float y, float z);
void __glScaleCurrent(GlContext *ctx, float x, float y, float z);
void __glTranslateCurrent(GlContext *ctx, float x, float y, float z);
void __glRenumberProjectionSequences(GlContext *ctx);
void __glPrescaleComposite(GlContext *ctx, GlMatrix *mvp);

// ---- viewport, depth range, clip box -----------------------------------------------------------
void __glApplyViewport(GlContext *ctx);
void __glApplyViewportToDrawable(GlContext *ctx);
void __glComputeViewportBounds(GlContext *ctx);
void __glSetDepthRange(GlContext *ctx, double zNear, double zFar);
void __glUpdateDepthRange(GlContext *ctx);
float __glUnbiasWindowX(GlContext *ctx, float v);
float __glUnbiasWindowY(GlContext *ctx, float v);

// ---- lifecycle ---------------------------------------------------------------------------------
void __glInitTransformState(GlContext *ctx);
int __glAllocClipPlanes(GlContext *ctx);
// Frees the stacks, the clip vertex pool and the clip-plane equations (context destruction).
void __glFreeTransformState(GlContext *ctx);

// ---- what the transform asks of lighting (light.cpp) and of the depth buffer (depth_buffer.cpp) --
// Object-space light vectors after the modelview inverse changed.
void __glUpdateLightVectors(GlContext *ctx);
// The depth buffer's largest depth value and whether it runs its inverted epoch.
float __glDepthBufferScale(GlContext *ctx);
int __glDepthBufferInverted(GlContext *ctx);
