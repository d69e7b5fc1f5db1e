// The lighting records the glLight*, glLightModel* and glMaterial* entries write. Colours of
// lights and of the light model are kept in colour-buffer units (times the colour scales);
// material ambient, diffuse and specular as given, emission in colour-buffer units.
#pragma once
#include <cstdint>
#include <cstddef>

struct GlContext;

// One light source; the context owns an array of maxLights of them (arrays.lightSources).
struct GlLightSource {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float position[4];       // as given
    float eyePosition[4];    // position through the modelview matrix in force at glLight
    float spotDirection[4];  // the direction as a plane through the light, in eye space
    float spotExponent;
    float spotCutoff;
    float constantAttenuation;
    float linearAttenuation;
    float quadraticAttenuation;
};
static_assert(sizeof(GlLightSource) == 116);

struct GlLightModel {
    float ambient[4];
    uint8_t localViewer;
    uint8_t twoSide;
    uint8_t reserved[2];
};
static_assert(sizeof(GlLightModel) == 20);

struct GlMaterial {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emission[4];
    float shininess;
    // The call gives the indexes ambient, diffuse, specular; they are kept in this order.
    float ambientIndex;
    float specularIndex;
    float diffuseIndex;
    float indexOffset;
    float indexShift;
};
static_assert(sizeof(GlMaterial) == 88);

// Changed-bits of a material, as __glApplyMaterialChange takes them.
constexpr uint32_t kGlMaterialAmbient = 0x1;
constexpr uint32_t kGlMaterialDiffuse = 0x2;
constexpr uint32_t kGlMaterialSpecular = 0x4;
constexpr uint32_t kGlMaterialEmission = 0x8;
constexpr uint32_t kGlMaterialShininess = 0x10;
constexpr uint32_t kGlMaterialIndexes = 0x20;

struct GlLightingState {
    GlLightModel lightModel;
    GlMaterial frontMaterial;
    GlMaterial backMaterial;
};
