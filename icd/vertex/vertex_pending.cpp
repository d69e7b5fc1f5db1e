// Placeholders for services of other parts of the driver that the matrix code calls. Each
// does the least that keeps the transform state honest until its owner lands.
#include "icd/core/core.h"
#include "icd/vertex/transform_state.h"

