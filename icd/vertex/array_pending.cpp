// Placeholders for the array and vertex-cache hooks the core calls, until their code lands.
// Each does nothing: no array draws, and the vertex cache is never installed.
#include "icd/vertex/array_procs.h"

