// The span stages other than stencil and depth: x-scissor, polygon stipple, shading, texturing,
// fog and the alpha test, and the fog procs of single fragments and colours.
#include <bit>
#include <cmath>
#include "icd/raster/raster.h"
#include "icd/raster/raster_state.h"
#include "icd/raster/tex_sample.h"

using namespace glraster;

namespace {

int32_t wordsOf(int32_t len) { return (len + 31) >> 5; }
uint32_t bitOf(int32_t i) { return 0x80000000u >> (i & 31); }
bool alive(const uint32_t *mask, int32_t i) { return (mask[i >> 5] & bitOf(i)) != 0; }

// The bits of mask word w that belong to a span of len pixels.
uint32_t spanBits(int32_t len, int32_t w) {
    int32_t rest = len - 32 * w;
    if (rest >= 32) return 0xFFFFFFFFu;
    return rest <= 0 ? 0 : 0xFFFFFFFFu << (32 - rest);
}

bool anyAlive(const uint32_t *mask, int32_t len) {
    for (int32_t w = 0; w < wordsOf(len); ++w)
        if (mask[w] & spanBits(len, w)) return true;
    return false;
}

// A fog factor clamped to [0, 1]: anything with the sign bit set gives 0.
float clampFactor(float f) {
    if (std::signbit(f)) return 0.0f;
    return f > 1.0f ? 1.0f : f;
}

float fogFactorOf(const GlFogState &in, float d) {
    switch (in.fogMode) {
    case GL_EXP: return float(std::exp(-double(in.fogDensity) * d));
    case GL_EXP2: {
        double dd = double(in.fogDensity) * d;
        return float(std::exp(-(dd * dd)));
    }
    case GL_LINEAR: return (in.fogEnd - d) * in.fogOneOverEndMinusStart;
    default: return 1.0f;
    }
}

// Mixes the fog colour into a colour in the colour buffer's units.
void fogColorWith(const float *fog, float fogIndex, bool rgba, float *c, float f) {
    float g = 1.0f - f;
    if (rgba) {
        c[0] = g * fog[0] + f * c[0];
        c[1] = g * fog[1] + f * c[1];
        c[2] = g * fog[2] + f * c[2];
    } else {
        c[0] += g * fogIndex;
    }
}

void fogColor(const GlFogState &in, bool rgba, float *c, float f) { fogColorWith(in.fogScaledColor, in.fogIndex, rgba, c, f); }

template <bool Masked>
uint8_t stippleStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlRasterInputs &in = inputsOf(ctx);
    const GlDrawableExtent &drawable = ctx->state.transform.drawable;
    if (rs.spanLength <= 0) return 0;
    int32_t row = drawable.yInverted ? (drawable.height + ctx->limits.biasY - rs.spanY - 1) & 31 : rs.spanY & 31;
    // The pattern repeats every 32 pixels, so after this rotation every mask word is the same.
    uint32_t w = std::rotl(in.stippleWords[row], rs.spanX & 31);
    if (w == 0) {
        rs.spanDone = 1;
        return 1;
    }
    for (int32_t i = 0; i < wordsOf(rs.spanLength); ++i) {
        if constexpr (Masked)
            rs.maskWords[i] &= w;
        else
            rs.maskWords[i] = w;
    }
    return Masked ? 0 : 1;
}

template <bool Masked>
uint8_t textureStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlTextureApplyProc apply = inputsOf(ctx).textureApply;
    float s = rs.spanTexCoord[0], t = rs.spanTexCoord[1], q = rs.spanTexCoord[2], u = rs.spanTexCoord[3];
    const float *d = rs.texCoordStep, *dy = rs.texStepY;
    const GlTexelScale scale{d[0], d[1], d[2], dy[0], dy[1], dy[2], rs.texRhoWidth2, rs.texRhoHeight2};
    const bool exact = rs.texRhoExact != 0;
    float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4) {
        if (apply != nullptr && (!Masked || alive(rs.maskWords, i))) {
            float rq = 1.0f / q;
            apply(ctx, c, s * rq, t * rq, exact ? __glRho2At(scale, s, t, q, rq) : u * rq);
        }
        s += d[0];
        t += d[1];
        q += d[2];
        u += d[3];
    }
    return 0;
}

template <bool Masked, bool Nicest>
uint8_t fogStage(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlFogState &in = ctx->state.fog;
    bool rgba = rs.shadeFlags & kGlShadeRgba;
    float v = rs.spanFog;
    float *c = rs.fragmentColors;
    // Span colours are in the units of the colour buffer drawn into; so is the fog colour here.
    float fog[3] = {in.fogScaledColor[0], in.fogScaledColor[1], in.fogScaledColor[2]};
    if (const GlColorBuffer *cb = rs.targetColorBuffer) {
        const GlColorScales &s = ctx->scales;
        fog[0] *= cb->redScale / s.redScale;
        fog[1] *= cb->greenScale / s.greenScale;
        fog[2] *= cb->blueScale / s.blueScale;
    }
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4, v += rs.fogStep) {
        if (Masked && !alive(rs.maskWords, i)) continue;
        float f = Nicest ? clampFactor(fogFactorOf(in, std::fabs(v))) : clampFactor(v);
        fogColorWith(fog, in.fogIndex, rgba, c, f);
    }
    return 0;
}


}  // namespace

uint8_t __glSpanScissor(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlClipBox box = clipBoxOf(ctx);
    int32_t x = rs.spanX, len = rs.spanLength;
    if (len <= 0) return 0;
    if (box.x0 <= x && x + len <= box.x1) return 0;
    if (x + len <= box.x0 || x >= box.x1) {
        rs.spanDone = 1;
        return 1;
    }
    if (x + len > box.x1) rs.spanLength = len = box.x1 - x;  // cut on the right: no mask needed
    if (x >= box.x0) return 0;
    int32_t cut = box.x0 - x;
    for (int32_t w = 0; w < wordsOf(len); ++w) {
        int32_t first = 32 * w;
        rs.maskWords[w] = cut >= first + 32 ? 0 : (cut <= first ? 0xFFFFFFFFu : 0xFFFFFFFFu >> (cut - first));
    }
    return 1;
}

uint8_t __glSpanPolygonStipple(GlContext *ctx) { return stippleStage<false>(ctx); }
uint8_t __glSpanPolygonStippleMasked(GlContext *ctx) { return stippleStage<true>(ctx); }

uint8_t __glSpanShadeRgbaSmooth(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    float r = rs.spanColor[0], g = rs.spanColor[1], b = rs.spanColor[2], a = rs.spanColor[3];
    float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4) {
        c[0] = r;
        c[1] = g;
        c[2] = b;
        c[3] = a;
        r += rs.colorStep[0];
        g += rs.colorStep[1];
        b += rs.colorStep[2];
        a += rs.colorStep[3];
    }
    return 0;
}

uint8_t __glSpanShadeRgbaFlat(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4) std::copy(rs.spanColor, rs.spanColor + 4, c);
    return 0;
}

uint8_t __glSpanShadeIndexSmooth(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    float index = rs.spanColor[0];
    float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4, index += rs.colorStep[0]) c[0] = index;
    return 0;
}

uint8_t __glSpanShadeIndexFlat(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i, c += 4) c[0] = rs.spanColor[0];
    return 0;
}

uint8_t __glSpanTexture(GlContext *ctx) { return textureStage<false>(ctx); }
uint8_t __glSpanTextureMasked(GlContext *ctx) { return textureStage<true>(ctx); }
uint8_t __glSpanFog(GlContext *ctx) { return fogStage<false, false>(ctx); }
uint8_t __glSpanFogMasked(GlContext *ctx) { return fogStage<true, false>(ctx); }
uint8_t __glSpanFogNicest(GlContext *ctx) { return fogStage<false, true>(ctx); }
uint8_t __glSpanFogNicestMasked(GlContext *ctx) { return fogStage<true, true>(ctx); }

uint8_t __glSpanAlphaTest(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlRasterInputs &in = inputsOf(ctx);
    int32_t failed = 0;
    const float *c = rs.fragmentColors;
    for (int32_t w = 0; w < wordsOf(rs.spanLength); ++w) {
        uint32_t m = 0xFFFFFFFFu;
        int32_t end = std::min(rs.spanLength, 32 * w + 32);
        for (int32_t i = 32 * w; i < end; ++i)
            if (!alphaTestPasses(in, c[4 * i + 3])) {
                m &= ~bitOf(i);
                ++failed;
            }
        rs.maskWords[w] = m;
    }
    if (failed == 0) return 0;
    if (failed == rs.spanLength) rs.spanDone = 1;
    return 1;
}

uint8_t __glSpanAlphaTestMasked(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlRasterInputs &in = inputsOf(ctx);
    const float *c = rs.fragmentColors;
    for (int32_t i = 0; i < rs.spanLength; ++i)
        if (alive(rs.maskWords, i) && !alphaTestPasses(in, c[4 * i + 3])) rs.maskWords[i >> 5] &= ~bitOf(i);
    return anyAlive(rs.maskWords, rs.spanLength) ? 0 : 1;
}

// ---- fog of single fragments and colours -----------------------------------------------------------
float __glFogFactor(GlContext *ctx, float eyeDistance) {
    return clampFactor(fogFactorOf(ctx->state.fog, std::fabs(eyeDistance)));
}

// A vertex's fog factor from its eye distance, interpolated across the primitive afterwards.
float __glFogVertexFactor(GlContext *ctx, GlVertex *v) { return __glFogFactor(ctx, v->eye[2]); }

float __glFogVertexFactorLinear(GlContext *ctx, GlVertex *v) {
    const GlFogState &fog = ctx->state.fog;
    return clampFactor((fog.fogEnd - std::fabs(v->eye[2])) * fog.fogOneOverEndMinusStart);
}

void __glFogFragment(GlContext *ctx, GlFragment *frag, float eyeDistance) {
    fogColor(ctx->state.fog, !ctx->visual.colorIndexMode, frag->color, __glFogFactor(ctx, eyeDistance));
}

// Vertex colours are in the colour buffer's scaled units: blend towards the scaled fog colour.
void __glFogBlendColor(GlContext *ctx, float *out, const float *in, float factor) {
    for (int i = 0; i < 4; ++i) out[i] = in[i];
    fogColor(ctx->state.fog, !ctx->visual.colorIndexMode, out, factor);
}
