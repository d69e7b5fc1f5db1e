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
