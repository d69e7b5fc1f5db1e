// Eye-space values of a light, taken at glLight time through the modelview matrix in force:
// the position through the matrix, the spot direction (as a plane through the light) through
// its inverse transpose.
#include "icd/core/state_entries_util.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/matrix_procs.h"

void __glTransformLightPosition(GlContext *ctx, int32_t light) {
    GlTransform *t = ctx->state.transform.modelView;
    if (t == nullptr) return;  // no matrix stacks: a context that was never made current
    GlLightSource &l = __glLightSources(ctx)[light];
    t->matrix.xform4(l.eyePosition, l.position, &t->matrix);
}

// The light's unit direction for the lighting code is derived from spotDirection when the
// lights are validated.
void __glTransformSpotDirection(GlContext *ctx, int32_t light, const float plane[4]) {
    GlTransform *t = ctx->state.transform.modelView;
    if (t == nullptr) return;
    if (t->inverseStale) {
        GlProc update = ctx->slots.updateModelViewInverse;
        if (update != nullptr)
            __glSlotAs<GlTransformEntrySlotProc>(update)(ctx, t);
        else
            __glUpdateModelViewInverse(ctx, t);
    }
    GlLightSource &l = __glLightSources(ctx)[light];
    t->inverseTranspose.xform4(l.spotDirection, plane, &t->inverseTranspose);
}
