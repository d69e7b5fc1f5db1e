// Placeholders for the array and vertex-cache hooks the core calls, until their code lands.
// Each does nothing: no array draws, and the vertex cache is never installed.
#include "icd/vertex/array_procs.h"

void __glInitArrayState(GlContext *) {}
void __glFreeArrayState(GlContext *) {}
void __glMarkArraysDirty(GlContext *) {}
void __glPickArrayProcs(GlContext *) {}
void __glSetArrayFanPolygonRenderers(GlContext *) {}
void __glInitVertexCache(GlContext *) {}
void __glDestroyVertexCache(GlContext *) {}

// Array renderers: nothing drawn.
#define GL_PENDING_RENDERER(name) \
    void name(GlContext *, int32_t, int32_t, const uint32_t *) {}
GL_PENDING_RENDERER(__glDrawArrayPoints)
GL_PENDING_RENDERER(__glDrawArrayLines)
GL_PENDING_RENDERER(__glDrawArrayLineLoop)
GL_PENDING_RENDERER(__glDrawArrayLineStrip)
GL_PENDING_RENDERER(__glDrawArrayTriangles)
GL_PENDING_RENDERER(__glDrawArrayTriangleStrip)
GL_PENDING_RENDERER(__glDrawArrayTriangleStripLazy)
GL_PENDING_RENDERER(__glDrawArrayTriangleFan)
GL_PENDING_RENDERER(__glDrawArrayQuads)
GL_PENDING_RENDERER(__glDrawArrayQuadStrip)
GL_PENDING_RENDERER(__glDrawArrayPolygon)
#undef GL_PENDING_RENDERER
void __glDoClipTriangle(GlContext *, GlVertex *, GlVertex *, GlVertex *) {}
namespace {
void APIENTRY pendingDrawLoop(GLenum, GLint, GLsizei) {}
}  // namespace
const GlDrawLoop __glDrawLoops[64] = {
#define L8 pendingDrawLoop, pendingDrawLoop, pendingDrawLoop, pendingDrawLoop, \
           pendingDrawLoop, pendingDrawLoop, pendingDrawLoop, pendingDrawLoop
    L8, L8, L8, L8, L8, L8, L8, L8,
#undef L8
};

// The vertex cache's range transform and refetch: nothing transformed.
void __glCullTransformVertexRange(GlContext *, int32_t, int32_t, int32_t) {}
void __glTransformVertexRecord(GlContext *, GlVertex *, int32_t) {}
