// Colour conversions between the [0, 1] colours of the GL state and the colour-buffer units of
// the pipeline (a component times its channel's scale). The scales are kept in the order red,
// blue, green, alpha; every helper takes them through the named fields and applies them to
// R, G, B, A.
#include <bit>
#include "icd/core/core.h"
#include "icd/vertex/color_units.h"
#include "icd/vertex/light.h"

namespace {

constexpr uint32_t kOneBits = 0x3F800000u;

inline void scalesOf(const GlContext *ctx, float s[4]) {
    const GlColorScales &c = ctx->scales;
    s[0] = c.redScale, s[1] = c.greenScale, s[2] = c.blueScale, s[3] = c.alphaScale;
}

inline void inverseScalesOf(const GlContext *ctx, float s[4]) {
    const GlColorScales &c = ctx->scales;
    s[0] = c.oneOverRedScale, s[1] = c.oneOverGreenScale, s[2] = c.oneOverBlueScale, s[3] = c.oneOverAlphaScale;
}

// [0, 1] by the bit patterns: any negative value (-0.0 kept) gives 0, anything above 1.0 gives
// 1.0. A NaN with the sign bit clear is above 1.0 as a pattern.
inline float clamp01Bits(float c) {
    int32_t b = std::bit_cast<int32_t>(c);
    if (b < 0 && uint32_t(b) != 0x80000000u) return 0.0f;
    if (b > int32_t(kOneBits)) return 1.0f;
    return c;
}

// [0, scale]; a value that is not >= 0 (negative or NaN) gives 0.
inline float clampToScale(float c, float scale) {
    if (!(c >= 0.0f)) return 0.0f;
    return c > scale ? scale : c;
}

inline float fromInt(const GlContext *ctx, int32_t c) {
    return float((2.0L * (long double)c + 1.0L) * (long double)ctx->oneOverUint);
}

}  // namespace

void __glScaleColor(GlContext *ctx, float out[4], const float in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = in[i] * s[i];
}

void __glClampAndScaleColor(GlContext *ctx, float out[4], const float in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = clampToScale(in[i] * s[i], s[i]);
}

void __glClampColor(GlContext *, float out[4], const float in[4]) {
    for (int i = 0; i < 4; ++i) out[i] = clamp01Bits(in[i]);
}

void __glClampToColorScale(GlContext *ctx, float out[4], const float in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = clampToScale(in[i], s[i]);
}

void __glScaleColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = fromInt(ctx, in[i]) * s[i];
}

void __glClampAndScaleColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = clampToScale(fromInt(ctx, in[i]) * s[i], s[i]);
}

void __glClampColorFromInt(GlContext *ctx, float out[4], const int32_t in[4]) {
    for (int i = 0; i < 4; ++i) out[i] = clamp01Bits(fromInt(ctx, in[i]));
}

void __glUnscaleColor(GlContext *ctx, float out[4], const float in[4]) {
    float s[4];
    inverseScalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) out[i] = in[i] * s[i];
}

// The colour back in [0, 1] as __glUnscaleColor gives it (a float), then over the integer range
// by the glGet rule: the integer and float answers of one query agree, and a colour of 1.0
// answers 2147482496 whatever the rounding of the inverse scale. Held to the integer range; NaN
// gives 0.
void __glUnscaleColorToInt(GlContext *ctx, int32_t out[4], const float in[4]) {
    float unit[4];
    __glUnscaleColor(ctx, unit, in);
    for (int i = 0; i < 4; ++i) out[i] = unitToIntFloor(unit[i]);
}

void __glClampScaledColor(GlContext *ctx, float out[4], const float in[4]) {
    float s[4];
    scalesOf(ctx, s);
    for (int i = 0; i < 4; ++i) {
        if (std::bit_cast<int32_t>(in[i]) <= 0)
            out[i] = 0.0f;
        else
            out[i] = in[i] < s[i] ? in[i] : s[i];
    }
}
