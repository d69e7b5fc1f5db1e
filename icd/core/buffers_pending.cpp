// Buffer kinds whose own code lands with the software rasteriser's colour-index buffers and the
// hardware back end. Each does the least that keeps the buffer heads sound.
#include "icd/core/buffers.h"
#include "icd/core/context.h"

