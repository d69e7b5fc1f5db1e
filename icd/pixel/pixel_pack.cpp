// Destination-side spans: [0, 1] floats into the GL integer types, the packed types and the
// 16-bit texel codes; index and stencil floats into integers; 0/1 floats into GL_BITMAP bits;
// the plain copy of image copies with an empty chain; and the direct conversions of byte texel
// data into the 16-bit texel codes.
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/pixel_packed.h"
#include "icd/core/context.h"
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Integer part of a double, saturated so that no input is undefined.
inline int64_t integerPart(double v) {
    if (!(v == v)) return 0;
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN;
    return int64_t(v);
}

template <typename T>
inline void store(void *row, int32_t i, T v) {
    std::memcpy(static_cast<uint8_t *>(row) + size_t(i) * sizeof(T), &v, sizeof(T));
}

enum class Norm { UByte, Byte, UShort, Short, UInt, Int };

// Unsigned types round (max x c + 0.5, integer part); signed types take floor(max x c / 2).
template <typename T, Norm N>
void packNormalised(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    const int32_t n = span->dstComponents * __glSpanPixelCount(span);
    const double max = N == Norm::UByte || N == Norm::Byte     ? double(ctx->c255)
                       : N == Norm::UShort || N == Norm::Short ? double(ctx->c65535)
                                                               : double(ctx->cUint);
    for (int32_t i = 0; i < n; ++i) {
        const double c = src[i];
        int64_t v;
        if constexpr (N == Norm::UByte || N == Norm::UShort || N == Norm::UInt) v = integerPart(max * c + 0.5);
        else v = integerPart(std::floor(max * c * 0.5));
        // A value outside [0, 1] (or [-1, 1]) saturates instead of wrapping around the type.
        if (v > int64_t(std::numeric_limits<T>::max())) v = std::numeric_limits<T>::max();
        if (v < int64_t(std::numeric_limits<T>::min())) v = std::numeric_limits<T>::min();
        store<T>(out, i, T(v));
    }
}

// Index and stencil values: the integer part, cut to the type (signed types keep the bits
// below the sign).
template <typename T, uint32_t Mask>
void packIndex(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) store<T>(out, i, T(uint32_t(integerPart(src[i])) & Mask));
}

// 3 or 4 floats a pixel into one packed element: each field is the integer part of the
// component times its maximum, or for the texel codes (Round) the nearest value, as every other
// store of a colour into a level or a colour buffer rounds.
template <const GlPackedLayout &L, bool Round = false>
void packPacked(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<uint8_t *>(out);
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += L.outComponents, dst += L.bytes) {
        uint32_t v = L.setBits;
        for (int k = 0; k < L.outComponents; ++k) {
            const GlPackedField f = L.field[k];
            const uint32_t max = (1u << f.bits) - 1u;
            // The product is rounded to a float before it is truncated, so that a value that
            // came from a field (n / max) packs back to n.
            const float product = Round ? src[k] * float(max) + 0.5f : src[k] * float(max);
            // Out-of-range components saturate to the field rather than spill into its
            // neighbours or wrap.
            const int64_t field = integerPart(product);
            v |= uint32_t(field < 0 ? 0 : field > int64_t(max) ? int64_t(max) : field) << f.shift;
        }
        __glStorePacked<L>(dst, v);
    }
}

// Direct byte-to-texel conversions: N input bytes a pixel into one 16-bit texel.
template <int N, uint16_t (*Convert)(const uint8_t *)>
void byteTexel(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    const int32_t n = span->width;
    for (int32_t i = 0; i < n; ++i, src += N) store<uint16_t>(out, i, Convert(src));
}

// A byte channel as the nearest value of a field of Bits bits: (v x max + 127) / 255 is v x max / 255
// rounded half up, the value the float chain's rounding packs give.
template <int Bits>
constexpr uint32_t field(uint32_t v) {
    return (v * ((1u << Bits) - 1u) + 127u) / 255u;
}
inline uint16_t xrgb1555(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(0x8000 | field<5>(r) << 10 | field<5>(g) << 5 | field<5>(b));
}
inline uint16_t rgb565(uint32_t r, uint32_t g, uint32_t b) {
    return uint16_t(field<5>(r) << 11 | field<6>(g) << 5 | field<5>(b));
}
inline uint16_t argb1555(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return uint16_t(field<1>(a) << 15 | field<5>(r) << 10 | field<5>(g) << 5 | field<5>(b));
}
inline uint16_t argb4444(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return uint16_t(field<4>(a) << 12 | field<4>(r) << 8 | field<4>(g) << 4 | field<4>(b));
}
uint16_t l8ToXrgb1555(const uint8_t *p) { return xrgb1555(p[0], p[0], p[0]); }
uint16_t rgb8ToXrgb1555(const uint8_t *p) { return xrgb1555(p[0], p[1], p[2]); }
uint16_t l8ToRgb565(const uint8_t *p) { return rgb565(p[0], p[0], p[0]); }
uint16_t rgb8ToRgb565(const uint8_t *p) { return rgb565(p[0], p[1], p[2]); }
uint16_t la8ToArgb1555(const uint8_t *p) { return argb1555(p[0], p[0], p[0], p[1]); }
uint16_t rgba8ToArgb1555(const uint8_t *p) { return argb1555(p[0], p[1], p[2], p[3]); }
uint16_t a8ToArgb4444(const uint8_t *p) { return uint16_t(field<4>(p[0]) << 12 | 0xFFF); }
uint16_t i8ToArgb4444(const uint8_t *p) { return uint16_t(field<4>(p[0]) * 0x1111); }
uint16_t la8ToArgb4444(const uint8_t *p) { return argb4444(p[0], p[0], p[0], p[1]); }
uint16_t rgba8ToArgb4444(const uint8_t *p) { return argb4444(p[0], p[1], p[2], p[3]); }

}  // namespace

#define KIV_SPAN(name, ...) \
    void name(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) { __VA_ARGS__(ctx, span, in, out); }

KIV_SPAN(__glPackUnsignedByte, packNormalised<uint8_t, Norm::UByte>)
KIV_SPAN(__glPackByte, packNormalised<int8_t, Norm::Byte>)
KIV_SPAN(__glPackUnsignedShort, packNormalised<uint16_t, Norm::UShort>)
KIV_SPAN(__glPackShort, packNormalised<int16_t, Norm::Short>)
KIV_SPAN(__glPackUnsignedInt, packNormalised<uint32_t, Norm::UInt>)
KIV_SPAN(__glPackInt, packNormalised<int32_t, Norm::Int>)

KIV_SPAN(__glPackUbyte332, packPacked<kGlLayoutUbyte332>)
KIV_SPAN(__glPackUshort4444, packPacked<kGlLayoutUshort4444>)
KIV_SPAN(__glPackUshort5551, packPacked<kGlLayoutUshort5551>)
KIV_SPAN(__glPackUint8888, packPacked<kGlLayoutUint8888>)
KIV_SPAN(__glPackUint1010102, packPacked<kGlLayoutUint1010102>)
KIV_SPAN(__glPackTexelRGB565, packPacked<kGlLayoutTexelRGB565, true>)
KIV_SPAN(__glPackTexelXRGB1555, packPacked<kGlLayoutTexelXRGB1555, true>)
KIV_SPAN(__glPackTexelARGB1555, packPacked<kGlLayoutTexelARGB1555, true>)
KIV_SPAN(__glPackTexelARGB4444, packPacked<kGlLayoutTexelARGB4444, true>)

KIV_SPAN(__glPackIndexUnsignedByte, packIndex<uint8_t, 0xFFu>)
KIV_SPAN(__glPackIndexByte, packIndex<int8_t, 0x7Fu>)
KIV_SPAN(__glPackIndexUnsignedShort, packIndex<uint16_t, 0xFFFFu>)
KIV_SPAN(__glPackIndexShort, packIndex<int16_t, 0x7FFFu>)
KIV_SPAN(__glPackIndexUnsignedInt, packIndex<uint32_t, 0xFFFFFFFFu>)
KIV_SPAN(__glPackIndexInt, packIndex<int32_t, 0x7FFFFFFFu>)

KIV_SPAN(__glByteTexelL8ToXRGB1555, byteTexel<1, l8ToXrgb1555>)
KIV_SPAN(__glByteTexelRGB8ToXRGB1555, byteTexel<3, rgb8ToXrgb1555>)
KIV_SPAN(__glByteTexelRGBA8ToXRGB1555, byteTexel<4, rgb8ToXrgb1555>)
KIV_SPAN(__glByteTexelL8ToRGB565, byteTexel<1, l8ToRgb565>)
KIV_SPAN(__glByteTexelRGB8ToRGB565, byteTexel<3, rgb8ToRgb565>)
KIV_SPAN(__glByteTexelRGBA8ToRGB565, byteTexel<4, rgb8ToRgb565>)
KIV_SPAN(__glByteTexelLA8ToARGB1555, byteTexel<2, la8ToArgb1555>)
KIV_SPAN(__glByteTexelRGBA8ToARGB1555, byteTexel<4, rgba8ToArgb1555>)
KIV_SPAN(__glByteTexelA8ToARGB4444, byteTexel<1, a8ToArgb4444>)
KIV_SPAN(__glByteTexelI8ToARGB4444, byteTexel<1, i8ToArgb4444>)
KIV_SPAN(__glByteTexelLA8ToARGB4444, byteTexel<2, la8ToArgb4444>)
KIV_SPAN(__glByteTexelRGBA8ToARGB4444, byteTexel<4, rgba8ToArgb4444>)

#undef KIV_SPAN

// Pixel j sets its bit when the integer part of its float is odd. The bits of the first and last
// byte outside the row keep their stored values.
void __glPackBitmap(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    auto *dst = static_cast<uint8_t *>(out);
    const bool lsb = span->dstLsbFirst != 0;
    const int32_t n = __glSpanPixelCount(span);
    int32_t bit = span->dstBitOffset;
    int32_t j = 0;
    auto put = [&](int32_t b, bool on) {
        const uint8_t m = uint8_t(lsb ? 1u << (b & 7) : 0x80u >> (b & 7));
        uint8_t &byte = dst[b >> 3];
        byte = on ? uint8_t(byte | m) : uint8_t(byte & ~m);
    };
    for (; j < n && (bit & 7) != 0; ++j, ++bit) put(bit, integerPart(src[j]) & 1);
    for (; n - j >= 8; j += 8, bit += 8) {
        uint32_t b = 0;
        for (int k = 0; k < 8; ++k)
            if (integerPart(src[j + k]) & 1) b |= lsb ? 1u << k : 0x80u >> k;
        dst[bit >> 3] = uint8_t(b);
    }
    for (; j < n; ++j, ++bit) put(bit, integerPart(src[j]) & 1);
}

void __glCopySpan(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    std::memmove(out, in, size_t(span->srcComponents) * size_t(span->srcElementBytes) * size_t(span->width));
}

void __glAlphaToTexelARGB4444(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const float *>(in);
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) {
        int64_t a = integerPart(src[i] * 15.0f + 0.5f);
        a = a < 0 ? 0 : (a > 15 ? 15 : a);  // an alpha outside [0, 1] stays in its nibble
        store<uint16_t>(out, i, uint16_t((a << 12) + 0xFFF));
    }
}
