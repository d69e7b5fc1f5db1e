// Colour material: the current colour tracked into one material field of one or both faces at
// glColor time (the context's applyColor proc), with the derived records that depend on it.
#include "icd/core/core.h"
#include "icd/core/state_entries.h"
#include "icd/vertex/light.h"
#include "icd/vertex/light_math.h"
#include "icd/vertex/vertex.h"

using namespace gllight;

namespace {

int faceOf(GlContext *ctx, const GlMaterial *material) { return material == &ctx->state.lighting.backMaterial ? 1 : 0; }

inline void copy4(float out[4], const float in[4]) {
    for (int i = 0; i < 4; ++i) out[i] = in[i];
}

void updateSceneColor(GlContext *ctx, const GlMaterial *m, GlMaterialCache *cache) {
    const float *model = ctx->state.lighting.lightModel.ambient;
    for (int i = 0; i < 3; ++i) cache->sceneColor[i] = model[i] * m->ambient[i] + m->emission[i];
}

// The front scene colour plus every light's front ambient product, clamped.
void updateFrontAmbientTotal(GlContext *ctx) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    float sum[4] = {lc.frontMaterialCache.sceneColor[0], lc.frontMaterialCache.sceneColor[1],
                    lc.frontMaterialCache.sceneColor[2], 0.0f};
    for (GlLightCache *l = lc.lightList; l != nullptr; l = l->next)
        for (int i = 0; i < 3; ++i) sum[i] += l->frontAmbientProduct[i];
    float clamped[4];
    __glClampToColorScale(ctx, clamped, sum);
    for (int i = 0; i < 3; ++i) lc.frontAmbientTotal[i] = clamped[i];
}

enum Field : uint32_t { Ambient = 1, Diffuse = 2, Specular = 4, Emission = 8 };

template <uint32_t Fields>
void trackColor(GlContext *ctx, GlMaterial *m, GlMaterialCache *cache) {
    const float *k = ctx->current.color;
    int face = faceOf(ctx, m);
    GlLightCache *list = ctx->state.lightingCaches.lightList;
    if (Fields & Ambient) copy4(m->ambient, k);
    if (Fields & Diffuse) copy4(m->diffuse, k);
    if (Fields & Specular) copy4(m->specular, k);
    if (Fields & Emission) __glScaleColor(ctx, m->emission, k);
    if (Fields & (Ambient | Emission)) updateSceneColor(ctx, m, cache);
    if (Fields & Diffuse) {
        float a = k[3];
        a = !(a >= 0.0f) ? 0.0f : (a > 1.0f ? 1.0f : a);
        cache->diffuseAlpha = a * ctx->scales.alphaScale;
    }
    for (GlLightCache *l = list; l != nullptr; l = l->next) {
        const GlLightSource &src = *l->light;
        for (int i = 0; i < 3; ++i) {
            if (Fields & Ambient) ambientProduct(*l, face)[i] = src.ambient[i] * k[i];
            if (Fields & Diffuse) diffuseProduct(*l, face)[i] = src.diffuse[i] * k[i];
            if (Fields & Specular) specularProduct(*l, face)[i] = src.specular[i] * k[i];
        }
    }
    if ((Fields & (Ambient | Emission)) && face == 0) updateFrontAmbientTotal(ctx);
}

GlColorMaterialModeProc modeProcOf(GLenum mode) {
    switch (mode) {
    case GL_AMBIENT: return __glColorMaterialAmbient;
    case GL_DIFFUSE: return __glColorMaterialDiffuse;
    case GL_SPECULAR: return __glColorMaterialSpecular;
    case GL_EMISSION: return __glColorMaterialEmission;
    default: return __glColorMaterialAmbientDiffuse;
    }
}

// Vertices the open primitive still holds are finished with the material they were given.
void completePending(GlContext *ctx) {
    if (ctx->beginMode == kGlInsideBegin && ctx->state.need.needMaskPending != 0 && ctx->slots.completePending != nullptr)
        ctx->slots.completePending(ctx);
}

bool lightingOn(const GlContext *ctx) { return (ctx->state.enable.enables & kGlEnableLighting) != 0; }

}  // namespace

void __glColorMaterialAmbient(GlContext *ctx, GlMaterial *m, GlMaterialCache *c) { trackColor<Ambient>(ctx, m, c); }
void __glColorMaterialDiffuse(GlContext *ctx, GlMaterial *m, GlMaterialCache *c) { trackColor<Diffuse>(ctx, m, c); }
void __glColorMaterialSpecular(GlContext *ctx, GlMaterial *m, GlMaterialCache *c) { trackColor<Specular>(ctx, m, c); }
void __glColorMaterialEmission(GlContext *ctx, GlMaterial *m, GlMaterialCache *c) { trackColor<Emission>(ctx, m, c); }
void __glColorMaterialAmbientDiffuse(GlContext *ctx, GlMaterial *m, GlMaterialCache *c) {
    trackColor<Ambient | Diffuse>(ctx, m, c);
}

// Each channel: not above 0 by its bits -> 0, below 1.0 -> scale x c, else the scale.
void __glScaleCurrentColor(GlContext *ctx) {
    const GlColorScales &s = ctx->scales;
    const float scale[4] = {s.redScale, s.greenScale, s.blueScale, s.alphaScale};
    const float *c = ctx->current.color;
    float *out = ctx->current.vertex.scaledColor;
    for (int i = 0; i < 4; ++i) out[i] = notPositiveBits(c[i]) ? 0.0f : (c[i] < 1.0f ? scale[i] * c[i] : scale[i]);
}

void __glColorMaterialOneFace(GlContext *ctx) {
    completePending(ctx);
    GlLightingCaches &lc = ctx->state.lightingCaches;
    if (lc.colorMaterialModeProc != nullptr && lc.colorMaterialTarget != nullptr)
        lc.colorMaterialModeProc(ctx, lc.colorMaterialTarget, lc.colorMaterialTargetCache);
    if (!lightingOn(ctx)) __glScaleCurrentColor(ctx);
}

void __glColorMaterialBothFaces(GlContext *ctx) {
    completePending(ctx);
    GlLightingCaches &lc = ctx->state.lightingCaches;
    GlLightingState &lit = ctx->state.lighting;
    if (lc.colorMaterialModeProc != nullptr) {
        lc.colorMaterialModeProc(ctx, &lit.frontMaterial, &lc.frontMaterialCache);
        lc.colorMaterialModeProc(ctx, &lit.backMaterial, &lc.backMaterialCache);
    }
    if (!lightingOn(ctx)) __glScaleCurrentColor(ctx);
}

void __glPickColorMaterialProcs(GlContext *ctx) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    GlLightingState &lit = ctx->state.lighting;
    const GlModeState &mode = ctx->state.mode;
    GlProc apply;
    if (ctx->visual.colorIndexMode) {
        apply = __glNopProc;
    } else if (!(ctx->state.enable.enables & kGlEnableColorMaterial)) {
        apply = lightingOn(ctx) ? __glNopProc : __glScaleCurrentColor;
    } else {
        switch (mode.colorMaterialFace) {
        case GL_FRONT:
            lc.colorMaterialTarget = &lit.frontMaterial;
            lc.colorMaterialTargetCache = &lc.frontMaterialCache;
            apply = __glColorMaterialOneFace;
            break;
        case GL_BACK:
            lc.colorMaterialTarget = &lit.backMaterial;
            lc.colorMaterialTargetCache = &lc.backMaterialCache;
            apply = __glColorMaterialOneFace;
            break;
        default:
            lc.colorMaterialTarget = nullptr;
            lc.colorMaterialTargetCache = nullptr;
            apply = __glColorMaterialBothFaces;
            break;
        }
        lc.colorMaterialModeProc = modeProcOf(mode.colorMaterialParam);
    }
    ctx->slots.applyColor = apply;
}
