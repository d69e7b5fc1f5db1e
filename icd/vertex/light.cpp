// The derived lighting records: material caches, light caches and their list, light-colour x
// material-colour products, the front ambient total, the object-space light vectors, and the
// choice of the lighting procs.
#include "icd/vertex/color_units.h"
#include <bit>
#include <cmath>
#include "icd/core/core.h"
#include "icd/core/state_entries.h"
#include "icd/vertex/light.h"
#include "icd/vertex/light_math.h"
#include "icd/vertex/vertex.h"
#include "icd/vertex/transform_state.h"

using namespace gllight;

namespace {

constexpr float kDegreesToRadians = 0.017453292f;
constexpr uint32_t kAllMaterialBits = 0x3F;

// Used in place of a power table that could not be built (GL_OUT_OF_MEMORY was reported): the
// factor of exponent 0.
struct FallbackTable {
    float values[kGlSpecularTableSize];
    FallbackTable() {
        for (float &v : values) v = 1.0f;
    }
};
const FallbackTable kFallback;
constexpr float kFallbackScale = kGlContextColorScale;

// Takes a table for the exponent into the slots of a cache; keeps the old one when no new one
// can be had. Returns whether the exponent's table is installed.
bool takeTable(GlContext *ctx, float exponent, GlSpecularTable *&table, const float *&data, float &threshold,
               float &scale) {
    GlSpecularTable *fresh = __glGetSpecularTable(ctx, exponent);
    if (fresh == nullptr) {
        if (data == nullptr) {
            data = kFallback.values;
            threshold = 0.0f;
            scale = kFallbackScale;
        }
        return false;
    }
    __glReleaseSpecularTable(ctx, table);
    table = fresh;
    data = fresh->values;
    threshold = fresh->threshold;
    scale = fresh->scale;
    return true;
}

inline void product3(float out[4], const float a[4], const float b[4]) {
    out[0] = a[0] * b[0];
    out[1] = a[1] * b[1];
    out[2] = a[2] * b[2];
}

// 0.3 R + 0.59 G + 0.11 B of a light colour, in [0, 1] units.
float luminance(const GlContext *ctx, const float c[4]) {
    const GlColorScales &s = ctx->scales;
    return 0.3f * c[0] * s.oneOverRedScale + 0.59f * c[1] * s.oneOverGreenScale + 0.11f * c[2] * s.oneOverBlueScale;
}

}  // namespace

GlLightingCaches &__glLightingCaches(GlContext *ctx) { return ctx->state.lightingCaches; }

GlLightCache *__glLightCaches(GlContext *ctx) { return reinterpret_cast<GlLightCache *>(ctx->arrays.lights); }

void __glUpdateMaterialCache(GlContext *ctx, GlMaterial *material, GlMaterialCache *cache, uint32_t bits) {
    if (!(bits & 0x3B)) return;
    if (cache->specularTable == nullptr || !(material->shininess == cache->shininess)) {
        if (takeTable(ctx, material->shininess, cache->specularTable, cache->specularData, cache->specularThreshold,
                      cache->specularScale))
            cache->shininess = material->shininess;
    }
    const GlLightModel &model = ctx->state.lighting.lightModel;
    if (bits & (kGlMaterialAmbient | kGlMaterialEmission)) {
        for (int i = 0; i < 3; ++i) cache->sceneColor[i] = model.ambient[i] * material->ambient[i] + material->emission[i];
        cache->sceneColor[3] = material->emission[3];
    }
    if (bits & kGlMaterialDiffuse) {
        float scale = ctx->scales.alphaScale;
        float a = material->diffuse[3] * scale;
        cache->diffuseAlpha = !(a >= 0.0f) ? 0.0f : (a > scale ? scale : a);
    }
    if (bits & kGlMaterialIndexes) {
        cache->diffuseMinusAmbientIndex = material->diffuseIndex - material->ambientIndex;
        cache->specularMinusAmbientIndex = material->specularIndex - material->ambientIndex;
    }
}

void __glUpdateLightProducts(GlContext *ctx, uint32_t frontBits, uint32_t backBits) {
    uint32_t either = frontBits | backBits;
    if (!(either & 0xF)) return;
    GlLightingCaches &lc = ctx->state.lightingCaches;
    const GlLightingState &lit = ctx->state.lighting;
    float sum[4] = {lc.frontMaterialCache.sceneColor[0], lc.frontMaterialCache.sceneColor[1],
                    lc.frontMaterialCache.sceneColor[2], 0.0f};
    for (GlLightCache *l = lc.lightList; l != nullptr; l = l->next) {
        const GlLightSource &src = *l->light;
        for (int face = 0; face < 2; ++face) {
            uint32_t bits = face == 0 ? frontBits : backBits;
            const GlMaterial &m = face == 0 ? lit.frontMaterial : lit.backMaterial;
            if (bits & kGlMaterialAmbient) product3(ambientProduct(*l, face), src.ambient, m.ambient);
            if (bits & kGlMaterialDiffuse) product3(diffuseProduct(*l, face), src.diffuse, m.diffuse);
            if (bits & kGlMaterialSpecular) product3(specularProduct(*l, face), src.specular, m.specular);
        }
        for (int i = 0; i < 3; ++i) sum[i] += l->frontAmbientProduct[i];
    }
    if (frontBits & (kGlMaterialAmbient | kGlMaterialEmission)) {
        float clamped[4];
        __glClampToColorScale(ctx, clamped, sum);
        for (int i = 0; i < 3; ++i) lc.frontAmbientTotal[i] = clamped[i];
    }
}

void __glSetFaceMaterials(GlContext *ctx) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    lc.frontMaterialCache.indexOffsetSource = &ctx->state.lighting.frontMaterial.indexOffset;
    lc.backMaterialCache.indexOffsetSource = &ctx->state.lighting.backMaterial.indexOffset;
}

void __glApplyMaterialChange(GlContext *ctx, uint32_t frontBits, uint32_t backBits) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    GlLightingState &lit = ctx->state.lighting;
    __glUpdateMaterialCache(ctx, &lit.frontMaterial, &lc.frontMaterialCache, frontBits);
    __glUpdateMaterialCache(ctx, &lit.backMaterial, &lc.backMaterialCache, backBits);
    __glUpdateLightProducts(ctx, frontBits, backBits);
    __glSetFaceMaterials(ctx);
}

void __glBuildLightList(GlContext *ctx) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    const GlLightModel &model = ctx->state.lighting.lightModel;
    GlLightSource *sources = __glLightSources(ctx);
    uint32_t enabled = ctx->state.enable.lightEnables;
    bool colorIndex = ctx->visual.colorIndexMode != 0;
    GlLightCache **link = &lc.lightList;
    for (int32_t i = 0; i < ctx->limits.maxLights; ++i) {
        if (!(enabled & (1u << i))) continue;
        GlLightCache &l = __glLightCaches(ctx)[i];
        GlLightSource &src = sources[i];
        *link = &l;
        link = &l.next;
        l.light = &src;
        for (int k = 0; k < 4; ++k) l.eyePosition[k] = src.eyePosition[k];
        // The spot direction is in eye space already; the lighting wants it unit length.
        __glNormalize(l.spotDirection, src.spotDirection);
        l.isSpot = std::bit_cast<uint32_t>(src.spotCutoff) != std::bit_cast<uint32_t>(180.0f);
        if (l.isSpot) {
            l.cosCutoff = std::cos(src.spotCutoff * kDegreesToRadians);
            if (l.spotTable == nullptr || !(l.spotExponent == src.spotExponent)) {
                if (takeTable(ctx, src.spotExponent, l.spotTable, l.spotData, l.spotThreshold, l.spotScale))
                    l.spotExponent = src.spotExponent;
            }
        }
        l.constantAttenuation = src.constantAttenuation;
        l.linearAttenuation = src.linearAttenuation;
        l.quadraticAttenuation = src.quadraticAttenuation;
        // With all three factors 0 the light is not attenuated at all (a factor of 1), rather
        // than by the reciprocal of an earlier constant.
        l.inverseConstant = src.constantAttenuation != 0.0f ? 1.0f / src.constantAttenuation : 1.0f;
        if (colorIndex) {
            l.specularLuminance = luminance(ctx, src.specular);
            l.diffuseLuminance = luminance(ctx, src.diffuse);
        }
        if (model.localViewer || l.isSpot || nonZero(l.eyePosition[3])) {
            l.isLocal = 1;
        } else {
            l.isLocal = 0;
            __glNormalize(l.lightDirection, l.eyePosition);
            l.lightDirection[3] = 0.0f;
            float h[3] = {l.lightDirection[0], l.lightDirection[1], l.lightDirection[2] + 1.0f};
            __glNormalize(l.halfVector, h);
            l.halfVector[3] = 0.0f;
        }
    }
    *link = nullptr;
    // The object-space vectors follow the new directions when the inverse is current; otherwise
    // the matrix code recomputes them when it refreshes the inverse.
    GlTransform *t = ctx->state.transform.modelView;
    if (t != nullptr && !t->inverseStale) __glUpdateLightVectors(ctx);
}

void __glValidateLighting(GlContext *ctx) {
    if (ctx->dirtyMask & kGlDirtyLighting) {
        __glBuildLightList(ctx);
        __glPickLightingProcs(ctx);
        __glApplyMaterialChange(ctx, kAllMaterialBits, kAllMaterialBits);
    } else {
        __glPickLightingProcs(ctx);
    }
}

void __glPickLightingProcs(GlContext *ctx) {
    GlFaceColorProc proc;
    if (!(ctx->state.enable.enables & kGlEnableLighting)) {
        proc = __glLightVertexNone;
    } else {
        bool anyLocal = false;
        for (GlLightCache *l = ctx->state.lightingCaches.lightList; l != nullptr; l = l->next) anyLocal |= l->isLocal != 0;
        if (!ctx->visual.colorIndexMode) {
            proc = anyLocal ? __glLightVertexRgba : __glLightVertexRgbaInfinite;
        } else if (anyLocal) {
            proc = __glLightVertexIndex;
        } else {
            const GlLightingState &lit = ctx->state.lighting;
            bool shifted = nonZero(lit.frontMaterial.indexShift) || nonZero(lit.frontMaterial.indexOffset) ||
                           nonZero(lit.backMaterial.indexShift) || nonZero(lit.backMaterial.indexOffset);
            proc = shifted ? __glLightVertexIndexInfinite : __glLightVertexIndexInfiniteFast;
        }
    }
    ctx->slots.primitive.faceColor = proc;
    ctx->slots.primitive.rasterFaceColor = proc;
}

// out[i] = sum over j of N[4i + j] x in[j], N the stored inverse-transpose: the inverse applied
// to the eye-space vector.
void __glUpdateLightVectors(GlContext *ctx) {
    GlTransform *t = ctx->state.transform.modelView;
    if (t == nullptr) return;
    const float *n = t->inverseTranspose.m;
    for (GlLightCache *l = ctx->state.lightingCaches.lightList; l != nullptr; l = l->next) {
        float dir[4], half[4];
        for (int i = 0; i < 4; ++i) {
            dir[i] = half[i] = 0.0f;
            for (int j = 0; j < 4; ++j) {
                dir[i] += n[4 * i + j] * l->lightDirection[j];
                half[i] += n[4 * i + j] * l->halfVector[j];
            }
        }
        for (int i = 0; i < 4; ++i) {
            l->objectLightDirection[i] = dir[i];
            l->objectHalfVector[i] = half[i];
        }
    }
}

// The light and light-model colours and the material emission are kept in colour-buffer
// units; the defaults are set in [0, 1], so the first make-current converts them once.
void __glRescaleContextColors(GlContext *ctx) {
    if (ctx->visual.rgbaMode) {
        // The current colour stays as given (colour material and queries read it); vertices copy
        // its scaled form. The raster colour is kept scaled, as the raster position leaves it.
        GlCurrentState &cur = ctx->current;
        __glScaleColor(ctx, cur.vertex.scaledColor, cur.color);
        __glScaleColor(ctx, cur.rasterColor, cur.rasterColor);
        for (int i = 0; i < 4; ++i) cur.vertex.rasterPos.frontColor[i] = cur.rasterColor[i];
    }
    GlLightSource *lights = __glLightSources(ctx);
    for (int32_t i = 0; lights != nullptr && i < ctx->limits.maxLights; ++i) {
        GlLightSource &l = lights[i];
        __glScaleColor(ctx, l.ambient, l.ambient);
        __glScaleColor(ctx, l.diffuse, l.diffuse);
        __glScaleColor(ctx, l.specular, l.specular);
    }
    GlLightingState &lit = ctx->state.lighting;
    __glScaleColor(ctx, lit.lightModel.ambient, lit.lightModel.ambient);
    __glScaleColor(ctx, lit.frontMaterial.emission, lit.frontMaterial.emission);
    __glScaleColor(ctx, lit.backMaterial.emission, lit.backMaterial.emission);
}
