// The list optimiser's material pass walks the node chain of a closed display list; lists do not
// keep compiled commands yet, so there is nothing to merge and the list stays as it is.
#include "icd/vertex/power.h"

void __glMergeListMaterials(GlContext *, void *) {}
