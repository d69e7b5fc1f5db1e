// The current attributes of a context: what the next vertex and the raster position take.
#pragma once
#include <cstdint>
#include "icd/vertex/vertex.h"

struct GlCurrentState {
    float rasterPos[4];
    float rasterColor[4];
    float rasterIndex;
    float rasterTexCoord[4];
    int32_t rasterPosValid;
    float color[4];
    float index;
    float normal[3];
    float texCoord[4];
    uint8_t edgeFlag;
    uint8_t reserved[3];
    GlVertexCurrent vertex;  // scaled colour, texture set 1, the raster-position record
};
