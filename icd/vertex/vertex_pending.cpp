// Placeholders for services of other parts of the driver that the matrix code calls. Each
// does the least that keeps the transform state honest until its owner lands.
#include "icd/core/core.h"
#include "icd/vertex/transform_state.h"

// Lighting keeps no object-space light vectors yet.
void __glUpdateLightVectors(GlContext *) {}

// No depth buffer record yet: the largest value of a depth buffer of the visual's depth bits
// (16 bits when the visual has none), never in the inverted epoch.
float __glDepthBufferScale(GlContext *ctx) {
    int bits = ctx->visual.depthBits > 0 ? ctx->visual.depthBits : 16;
    if (bits > 32) bits = 32;
    return float(double((uint64_t(1) << bits) - 1));
}
int __glDepthBufferInverted(GlContext *) { return 0; }
