// Eye-space values of a light, taken at glLight time through the modelview matrix in force:
// the position as a point, the spot direction as a direction (the upper 3x3 of the matrix, no
// translation).
#include "icd/core/state_entries_util.h"
#include "icd/vertex/transform_state.h"
#include "icd/vertex/light.h"

void __glTransformLightPosition(GlContext *ctx, int32_t light) {
    GlTransform *t = ctx->state.transform.modelView;
    if (t == nullptr) return;  // no matrix stacks: a context that was never made current
    GlLightSource &l = __glLightSources(ctx)[light];
    t->matrix.xform4(l.eyePosition, l.position, &t->matrix);
}

// A direction is not a plane: under a non-uniform scale or a shear it goes through the matrix
// itself, not through its inverse transpose. The unit direction the lighting reads goes to the
// light's cache (validation derives it again from spotDirection).
void __glTransformSpotDirection(GlContext *ctx, int32_t light, const float direction[4]) {
    GlLightSource &l = __glLightSources(ctx)[light];
    const float d[4] = {direction[0], direction[1], direction[2], 0.0f};
    GlTransform *t = ctx->state.transform.modelView;
    if (t != nullptr) {
        t->matrix.xform4(l.spotDirection, d, &t->matrix);
    } else {
        for (int i = 0; i < 4; ++i) l.spotDirection[i] = d[i];
    }
    l.spotDirection[3] = 0.0f;
    if (ctx->arrays.lights != nullptr) __glNormalize(__glLightCaches(ctx)[light].spotDirection, l.spotDirection);
}
