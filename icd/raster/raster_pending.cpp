// Services the rasteriser calls whose owners have not landed yet. Each fails clearly or does
// nothing a caller could mistake for work done.
#include "icd/raster/raster.h"
#include "icd/raster/depth_buffer.h"
#include "icd/core/context.h"

