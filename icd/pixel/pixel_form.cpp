// Colour-form spans: clamps to [0, 1], expansion of a format's components into RGBA in the colour
// buffer's units, replication, component reordering, and the way back from colour-buffer units
// to a destination format. Input and output rows never overlap.
#include "icd/pixel/pixel_span.h"
#include "icd/core/context.h"
#include <bit>

namespace {

// Source-index codes of an output channel besides 0..3.
constexpr int kZero = -1;  // 0.0
constexpr int kFull = -2;  // the channel's maximum (alpha of formats without alpha)

// [0, 1] -> the operation's colour units (the draw buffer's channel maxima for glDrawPixels).
inline void maxima(const GlPixelSpan *span, float m[4]) {
    for (int k = 0; k < 4; ++k) m[k] = span->toUnits[k];
}

// The operation's colour units (the read buffer's maxima for glReadPixels) -> [0, 1].
inline void reciprocals(const GlPixelSpan *span, float r[4]) {
    for (int k = 0; k < 4; ++k) r[k] = span->fromUnits[k] != 0.0f ? 1.0f / span->fromUnits[k] : 0.0f;
}

// Clamp on the bit pattern: above 1.0 (as a signed word, +infinity included) gives 1.0, negative
// (as an unsigned word above 0x80000000, so -0.0 stays) gives 0.0.
template <bool Upper>
inline float clampBits(float v) {
    const uint32_t b = std::bit_cast<uint32_t>(v);
    if (Upper && int32_t(b) > int32_t(0x3F800000)) return 1.0f;
    if (b > 0x80000000u) return 0.0f;
    return v;
}

template <bool Upper, bool DstSide>
void clampRow(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    const int32_t n = (DstSide ? span->dstComponents : span->srcComponents) * __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) dst[i] = clampBits<Upper>(src[i]);
}

// NIn floats a pixel into RGBA in colour-buffer units; channel k takes input S[k] (or a code).
template <int NIn, int S0, int S1, int S2, int S3>
void expandScaled(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    float m[4];
    maxima(span, m);
    constexpr int sel[4] = {S0, S1, S2, S3};
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += NIn, dst += 4)
        for (int k = 0; k < 4; ++k) dst[k] = sel[k] == kZero ? 0.0f : sel[k] == kFull ? m[k] : src[sel[k]] * m[k];
}

// NIn floats a pixel into NOut floats, unscaled.
template <int NIn, int NOut, int S0, int S1, int S2, int S3>
void rearrange(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    constexpr int sel[4] = {S0, S1, S2, S3};
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += NIn, dst += NOut)
        for (int k = 0; k < NOut; ++k) dst[k] = src[sel[k]];
}

// An RGBA row in colour-buffer units back to [0, 1], keeping NOut of its channels in the order
// given.
template <int NOut, int S0, int S1, int S2, int S3>
void reduce(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    float r[4];
    reciprocals(span, r);
    constexpr int sel[4] = {S0, S1, S2, S3};
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += 4, dst += NOut)
        for (int k = 0; k < NOut; ++k) dst[k] = src[sel[k]] * r[sel[k]];
}

// Luminance is the sum of the three colour channels, capped from above only.
template <bool WithAlpha>
void reduceLuminance(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<float *>(out);
    float r[4];
    reciprocals(span, r);
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += 4) {
        float l = src[0] * r[0] + src[1] * r[1] + src[2] * r[2];
        *dst++ = l > 1.0f ? 1.0f : l;
        if (WithAlpha) *dst++ = src[3] * r[3];
    }
}

}  // namespace

#define KIV_SPAN(name, ...) \
    void name(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) { __VA_ARGS__(ctx, span, in, out); }

KIV_SPAN(__glClampColors, clampRow<true, false>)
KIV_SPAN(__glClampColorsPack, clampRow<true, true>)
KIV_SPAN(__glClampNegativeToZero, clampRow<false, true>)

KIV_SPAN(__glExpandRedScaled, expandScaled<1, 0, kZero, kZero, kFull>)
KIV_SPAN(__glExpandGreenScaled, expandScaled<1, kZero, 0, kZero, kFull>)
KIV_SPAN(__glExpandBlueScaled, expandScaled<1, kZero, kZero, 0, kFull>)
KIV_SPAN(__glExpandAlphaScaled, expandScaled<1, kZero, kZero, kZero, 0>)
KIV_SPAN(__glExpandRGBScaled, expandScaled<3, 0, 1, 2, kFull>)
KIV_SPAN(__glExpandBGRScaled, expandScaled<3, 2, 1, 0, kFull>)
KIV_SPAN(__glExpandLuminanceScaled, expandScaled<1, 0, 0, 0, kFull>)
KIV_SPAN(__glExpandLuminanceAlphaScaled, expandScaled<2, 0, 0, 0, 1>)
KIV_SPAN(__glExpandRedAlphaScaled, expandScaled<2, 0, kZero, kZero, 1>)
KIV_SPAN(__glExpandIntensityScaled, expandScaled<1, 0, 0, 0, 0>)
KIV_SPAN(__glScaleRGBAToBuffer, expandScaled<4, 0, 1, 2, 3>)
KIV_SPAN(__glScaleABGRToBuffer, expandScaled<4, 3, 2, 1, 0>)
KIV_SPAN(__glScaleBGRAToBuffer, expandScaled<4, 2, 1, 0, 3>)

KIV_SPAN(__glReplicateToRGB, rearrange<1, 3, 0, 0, 0, 0>)
KIV_SPAN(__glReplicateLuminanceAlpha, rearrange<2, 4, 0, 0, 0, 1>)
KIV_SPAN(__glReplicateToRGBA, rearrange<1, 4, 0, 0, 0, 0>)
KIV_SPAN(__glReverseComponents, rearrange<4, 4, 3, 2, 1, 0>)
KIV_SPAN(__glSwapRedBlue, rearrange<4, 4, 2, 1, 0, 3>)

KIV_SPAN(__glScaleRGBAFromBuffer, reduce<4, 0, 1, 2, 3>)
KIV_SPAN(__glScaleRGBAFromBuffer2, reduce<4, 0, 1, 2, 3>)
KIV_SPAN(__glReduceToRed, reduce<1, 0, 0, 0, 0>)
KIV_SPAN(__glReduceToGreen, reduce<1, 1, 0, 0, 0>)
KIV_SPAN(__glReduceToBlue, reduce<1, 2, 0, 0, 0>)
KIV_SPAN(__glReduceToAlpha, reduce<1, 3, 0, 0, 0>)
KIV_SPAN(__glReduceToRGB, reduce<3, 0, 1, 2, 0>)
KIV_SPAN(__glReduceToBGR, reduce<3, 2, 1, 0, 0>)
KIV_SPAN(__glReduceToABGR, reduce<4, 3, 2, 1, 0>)
KIV_SPAN(__glReduceToBGRA, reduce<4, 2, 1, 0, 3>)
KIV_SPAN(__glReduceToLuminance, reduceLuminance<false>)
KIV_SPAN(__glReduceToLuminanceAlpha, reduceLuminance<true>)
KIV_SPAN(__glReduceToRedAlpha, reduce<2, 0, 3, 0, 0>)

#undef KIV_SPAN
