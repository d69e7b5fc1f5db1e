// The records lighting derives from the light, light-model and material state: one cache per
// face of the material, one per light (the enabled lights chained in light-number order), the
// ambient total and the colour-material target. Validation rebuilds them; the lighting procs,
// the colour-material procs and the generated lighting code read them.
//
// Included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>
#include "icd/core/light_state.h"
#include "icd/vertex/power.h"

struct GlVertex;

// Derived from one GlMaterial by __glUpdateMaterialCache. Colours in colour-buffer units.
struct GlMaterialCache {
    float sceneColor[4];            // model ambient x material ambient + emission (R, G, B)
    float shininess;                // exponent of the specular table in use
    const float *specularData;      // the table's values
    float specularThreshold;
    float specularScale;
    GlSpecularTable *specularTable; // one reference held; null when none could be built
    float diffuseAlpha;             // diffuse alpha x alpha scale, clamped to [0, alpha scale]
    float diffuseMinusAmbientIndex;
    float specularMinusAmbientIndex;
    const float *indexOffsetSource; // this face's GlMaterial::indexOffset
};

// One per light (the context's arrays.lights, 256 bytes a record).
struct GlLightCache {
    // light colour x material colour per face (R, G, B used)
    float frontAmbientProduct[4], frontDiffuseProduct[4], frontSpecularProduct[4];
    float backAmbientProduct[4], backDiffuseProduct[4], backSpecularProduct[4];
    GlLightSource *light;
    float constantAttenuation, linearAttenuation, quadraticAttenuation;
    float spotExponent;             // exponent of the spot table in use
    float eyePosition[4];
    float spotDirection[3];         // unit, eye space
    float cosCutoff;
    float inverseConstant;
    uint8_t isSpot;
    uint8_t reserved0[3];
    float halfVector[4];            // infinite light and viewer: unit(L + (0, 0, 1))
    float lightDirection[4];        // infinite light: unit direction to the light
    float objectHalfVector[4];      // the two above taken back into object space
    float objectLightDirection[4];
    float specularLuminance, diffuseLuminance;  // colour-index mode
    GlLightCache *next;
    const float *spotData;
    float spotThreshold;
    float spotScale;
    GlSpecularTable *spotTable;
    uint8_t isLocal;                // needs per-vertex vectors
    uint8_t reserved1[3];
};
// Each light's cached record has this many bytes in the context's array.
constexpr int32_t kGlLightRecordBytes = 256;
static_assert(sizeof(GlLightCache) <= kGlLightRecordBytes);
constexpr int kGlLightCacheStride = 256;

typedef void (*GlColorMaterialModeProc)(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache);

struct GlLightingCaches {
    GlMaterialCache frontMaterialCache;
    GlMaterialCache backMaterialCache;
    GlLightCache *lightList;        // enabled lights in number order, null-terminated
    float frontAmbientTotal[3];     // front scene colour plus every ambient product, clamped
    GlMaterial *colorMaterialTarget;            // single-face colour material
    GlMaterialCache *colorMaterialTargetCache;
    GlColorMaterialModeProc colorMaterialModeProc;
    GlSpecularCache *specularCache;
};
