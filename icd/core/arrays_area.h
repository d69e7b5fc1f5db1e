// The per-context arrays: attribute stacks, the immediate-mode vertex ring, lights, clip planes.
#pragma once
#include <cstdint>
#include "icd/vertex/vertex.h"

constexpr int kGlVertexRecordSize = 160;
constexpr int kGlVertexRingSize = 16;

struct GlArraysArea {
    void **attribStack;
    void **attribStackTop;
    void **clientAttribStack;
    void **clientAttribStackTop;
    uint32_t *nameStack;
    uint8_t *lightSources;  // maxLights GlLightSource records
    uint8_t *lights;        // maxLights cached records of kGlLightRecordBytes
    void *clipPlanes;
    uint8_t vertexRing[kGlVertexRingSize * kGlVertexRecordSize];  // laid out by the vertex pipeline
    GlVertexBuffer vertexBuffer;  // pointers into vertexRing
};
