// Per-vertex lighting: the colour of one face of a vertex from its eye-space point and normal,
// the enabled lights, the face's material and the light model. Face 0 uses the normal and the
// front records, face 1 the reversed normal and the back records.
#include <cmath>
#include "icd/core/core.h"
#include "icd/vertex/light.h"
#include "icd/vertex/light_math.h"
#include "icd/vertex/vertex.h"

using namespace gllight;

namespace {

// What one light contributes at one vertex before the material products are applied.
struct LightTerms {
    float a;         // attenuation x spot factor
    float nDotL;     // normal . unit direction to the light
    float nDotH;     // normal . unit half vector
};

// The light's vectors at the vertex. Local lights, and vertices at infinity, need the vectors
// from the vertex point; otherwise the light's fixed direction and half vector serve.
template <bool InfiniteOnly>
LightTerms termsOf(const GlContext *ctx, const GlLightCache &l, const GlVertex *v, const float n[3]) {
    LightTerms t;
    if (!InfiniteOnly && (l.isLocal || !nonZero(v->eye[3]))) {
        float vp[3], vpn[3];
        pointToPoint(vp, l.eyePosition, v->eye);
        float d2 = dot3(vp, vp);
        unit3(vpn, vp);
        float h[3];
        if (ctx->state.lighting.lightModel.localViewer) {
            float toEye[3] = {-v->eye[0], -v->eye[1], -v->eye[2]}, e[3];
            unit3(e, toEye);
            h[0] = vpn[0] + e[0], h[1] = vpn[1] + e[1], h[2] = vpn[2] + e[2];
        } else {
            h[0] = vpn[0], h[1] = vpn[1], h[2] = vpn[2] + 1.0f;
        }
        float hn[3];
        unit3(hn, h);
        float a;
        if (!nonZero(l.eyePosition[3])) {
            a = 1.0f;
        } else if (l.linearAttenuation != 0.0f || l.quadraticAttenuation != 0.0f) {
            float dist = std::sqrt(d2);
            a = 1.0f / (dist * (dist * l.quadraticAttenuation + l.linearAttenuation) + l.constantAttenuation);
        } else {
            a = l.inverseConstant;
        }
        if (l.isSpot) {
            float c = -dot3(vpn, l.spotDirection);
            if (!(c - l.spotThreshold >= 0.0f) || l.cosCutoff > c)
                a = 0.0f;
            else
                a *= __glSpecularFactor(l.spotData, l.spotThreshold, l.spotScale, c);
        }
        t.a = a;
        t.nDotL = dot3(n, vpn);
        t.nDotH = dot3(n, hn);
    } else {
        t.a = 1.0f;
        t.nDotL = dot3(n, l.lightDirection);
        t.nDotH = dot3(n, l.halfVector);
    }
    return t;
}

inline void faceNormal(float n[3], const GlVertex *v, int32_t face) {
    float sign = face ? -1.0f : 1.0f;
    n[0] = sign * v->normal[0], n[1] = sign * v->normal[1], n[2] = sign * v->normal[2];
}

inline float *faceColorOf(GlVertex *v, int32_t face) { return face ? v->backColor : v->frontColor; }

template <bool InfiniteOnly>
void lightRgba(GlContext *ctx, int32_t face, GlVertex *v) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    const GlMaterialCache &mc = face ? lc.backMaterialCache : lc.frontMaterialCache;
    float n[3];
    faceNormal(n, v, face);
    float c[3] = {mc.sceneColor[0], mc.sceneColor[1], mc.sceneColor[2]};
    for (GlLightCache *l = lc.lightList; l != nullptr; l = l->next) {
        const float *amb = ambientProduct(*l, face);
        const float *dif = diffuseProduct(*l, face);
        const float *spe = specularProduct(*l, face);
        LightTerms t = termsOf<InfiniteOnly>(ctx, *l, v, n);
        if (!nonZero(t.a)) continue;
        float term[3] = {amb[0], amb[1], amb[2]};
        if (t.nDotL > 0.0f) {
            float f = __glSpecularFactor(mc.specularData, mc.specularThreshold, mc.specularScale, t.nDotH);
            for (int i = 0; i < 3; ++i) term[i] += spe[i] * f + dif[i] * t.nDotL;
        }
        for (int i = 0; i < 3; ++i) c[i] += t.a * term[i];
    }
    const GlColorScales &s = ctx->scales;
    const float scale[3] = {s.redScale, s.greenScale, s.blueScale};
    float *out = faceColorOf(v, face);
    for (int i = 0; i < 3; ++i) out[i] = notPositiveBits(c[i]) ? 0.0f : (c[i] < scale[i] ? c[i] : scale[i]);
    out[3] = mc.diffuseAlpha;
}

// Truncation that is defined for every float (NaN 0, out of range the nearest limit).
inline int64_t truncTo64(double v) {
    if (!(v == v)) return 0;
    if (v >= 9.0e18) return INT64_C(9000000000000000000);
    if (v <= -9.0e18) return -INT64_C(9000000000000000000);
    return int64_t(v);
}

enum class IndexShift { WhenSet, Always, Never };

// The lit index in 1/256 steps, shifted left (or right for a negative shift) and offset by
// whole indexes. The shift is held to 31 places either way.
float shiftAndOffset(float index, float shift, float offset) {
    int64_t m = truncTo64(double(index) * 256.0 + 0.5);
    int64_t s = truncTo64(shift);
    if (s > 31) s = 31;
    if (s < -31) s = -31;
    m = s >= 1 ? m * (int64_t(1) << s) : m >> -s;
    m += truncTo64(offset) * 256;
    return float(m) * 0.00390625f;
}

template <bool InfiniteOnly, IndexShift Shift>
void lightIndex(GlContext *ctx, int32_t face, GlVertex *v) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    const GlMaterialCache &mc = face ? lc.backMaterialCache : lc.frontMaterialCache;
    const GlMaterial &m = face ? ctx->state.lighting.backMaterial : ctx->state.lighting.frontMaterial;
    float n[3];
    faceNormal(n, v, face);
    float d = 0.0f, sp = 0.0f;
    for (GlLightCache *l = lc.lightList; l != nullptr; l = l->next) {
        LightTerms t = termsOf<InfiniteOnly>(ctx, *l, v, n);
        if (!nonZero(t.a) || !(t.nDotL > 0.0f)) continue;
        d += l->diffuseLuminance * t.nDotL * t.a;
        if (t.nDotH - mc.specularThreshold >= 0.0f)
            sp += l->specularLuminance * __glSpecularFactor(mc.specularData, mc.specularThreshold, mc.specularScale, t.nDotH) * t.a;
    }
    float index;
    if (int32_t(bitsOf(sp)) >= int32_t(0x3F800000)) {
        index = m.specularIndex;
    } else {
        index = m.ambientIndex + (1.0f - sp) * d * mc.diffuseMinusAmbientIndex + sp * mc.specularMinusAmbientIndex;
        if (index > m.specularIndex) index = m.specularIndex;
    }
    float offset = mc.indexOffsetSource != nullptr ? *mc.indexOffsetSource : m.indexOffset;
    if (Shift == IndexShift::Always || (Shift == IndexShift::WhenSet && (m.indexShift != 0.0f || offset != 0.0f)))
        index = shiftAndOffset(index, m.indexShift, offset);
    faceColorOf(v, face)[0] = index;
}

}  // namespace

void __glLightVertexRgba(GlContext *ctx, int32_t face, GlVertex *v) { lightRgba<false>(ctx, face, v); }
void __glLightVertexRgbaInfinite(GlContext *ctx, int32_t face, GlVertex *v) { lightRgba<true>(ctx, face, v); }
void __glLightVertexIndex(GlContext *ctx, int32_t face, GlVertex *v) {
    lightIndex<false, IndexShift::WhenSet>(ctx, face, v);
}
void __glLightVertexIndexInfinite(GlContext *ctx, int32_t face, GlVertex *v) {
    lightIndex<true, IndexShift::Always>(ctx, face, v);
}
void __glLightVertexIndexInfiniteFast(GlContext *ctx, int32_t face, GlVertex *v) {
    lightIndex<true, IndexShift::Never>(ctx, face, v);
}
void __glLightVertexNone(GlContext *, int32_t, GlVertex *) {}
