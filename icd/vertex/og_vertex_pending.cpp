// Requests to the run-time code generator for vertex-array routines. Until the generator can
// build them, each request is answered with the reference routine the generated one would
// replace, so the lazy stubs install working procs.
#include "icd/vertex/array_procs.h"

namespace {
constexpr uint32_t kGlOgVertexCacheVariant = 0x8000;
}

GlRangeTransformProc __glOgGenVertexProc(GlContext *ctx, int32_t, uint32_t flags) {
    if (flags & kGlOgVertexCacheVariant) return __glCullTransformVertexRange;
    return __glChooseRangeTransform(ctx);
}

GlArrayRenderer __glOgGenDrawVertexesProc(GlContext *, int32_t, int32_t) { return __glDrawArrayTriangleStrip; }
