// Array triangle-strip routines are not generated yet: the request answers "no routine", and the
// lazy stub installs the C strip renderer in its place.
#include "icd/vertex/array_procs.h"

GlArrayRenderer __glOgGenDrawVertexesProc(GlContext *, int32_t, int32_t) { return nullptr; }
