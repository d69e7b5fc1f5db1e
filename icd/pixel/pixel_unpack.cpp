// Source-side spans: GL_BITMAP rows to floats, compaction of the pixels a shrinking zoom keeps,
// byte swaps and element copies, and the conversion of every GL type, packed type and texel code
// to floats. Each near-identical family comes from one template.
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/pixel_packed.h"
#include "icd/core/context.h"
#include <cstring>

namespace {

enum class Side { Src, Dst };

// Elements of E bytes one pixel of the client image holds: one for a packed type, whatever
// count of components the chooser has since unpacked it to (or packs it from).
template <int E, Side S>
int32_t elementsPerPixel(const GlPixelSpan *span) {
    return (S == Side::Src ? span->srcGroupBytes : span->dstGroupBytes) / E;
}

// ---- GL_BITMAP ------------------------------------------------------------------------------

inline int bitAt(const uint8_t *bytes, int32_t bit, bool lsbFirst) {
    uint8_t b = bytes[bit >> 3];
    return lsbFirst ? (b >> (bit & 7)) & 1 : (b >> (7 - (bit & 7))) & 1;
}

template <bool LsbFirst>
void unpackBitmapRow(const uint8_t *src, int32_t offset, int32_t width, float *out) {
    int32_t bit = offset;
    int32_t j = 0;
    // Partial first byte, bit by bit.
    for (; j < width && (bit & 7) != 0; ++j, ++bit) out[j] = float(bitAt(src, bit, LsbFirst));
    // Whole bytes, eight pixels at a time.
    const uint8_t *p = src + (bit >> 3);
    for (; width - j >= 8; j += 8, bit += 8, ++p) {
        const uint32_t b = *p;
        for (int k = 0; k < 8; ++k) out[j + k] = float(LsbFirst ? (b >> k) & 1 : (b >> (7 - k)) & 1);
    }
    // Partial last byte.
    for (; j < width; ++j, ++bit) out[j] = float(bitAt(src, bit, LsbFirst));
}

// ---- compaction -------------------------------------------------------------------------------

// Pixels a compaction writes: one per run entry, never more than the entries written.
inline int32_t keptOf(const GlPixelSpan *span) { return span->keptCount > 0 ? span->keptCount : span->width; }

// Byte fast path: copy a pixel of N bytes, advance by the run entry, stop once the advances add
// up to the row.
template <int N>
void compactPixels(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<uint8_t *>(out);
    const int16_t *run = span->runTable;
    const int32_t limit = span->keptCount > 0 ? span->keptCount : span->width;
    int32_t pos = 0;
    for (int32_t k = 0; k < limit && pos < span->width; ++k) {
        std::memcpy(dst, src + pos * N, N);
        dst += N;
        pos += run[k] > 0 ? run[k] : 1;
    }
}

enum class ElemCopy { Word, Bytewise, Swap };

template <int E, ElemCopy Mode>
inline void copyElement(const uint8_t *src, uint8_t *dst) {
    if constexpr (Mode == ElemCopy::Swap) {
        for (int b = 0; b < E; ++b) dst[b] = src[E - 1 - b];
    } else if constexpr (Mode == ElemCopy::Bytewise || E == 1) {
        for (int b = 0; b < E; ++b) dst[b] = src[b];
    } else {
        std::memcpy(dst, src, E);
    }
}

// General path: one output pixel per run entry; copy the pixel's elements, then skip the
// pixels the entry passes over. The walk stops at the end of the source row as well.
template <int E, ElemCopy Mode>
void compactElements(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<uint8_t *>(out);
    const int16_t *run = span->runTable;
    const int32_t kept = keptOf(span);
    const int32_t c = elementsPerPixel<E, Side::Src>(span);
    const int32_t group = span->srcGroupBytes;
    int32_t pos = 0;
    for (int32_t k = 0; k < kept && pos < span->width; ++k) {
        const uint8_t *pixel = src + pos * group;
        for (int32_t i = 0; i < c; ++i, pixel += E, dst += E) copyElement<E, Mode>(pixel, dst);
        pos += run[k] > 0 ? run[k] : 1;
    }
}

// Swaps and copies of whole rows.
template <int E, ElemCopy Mode, Side S>
void elements(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<uint8_t *>(out);
    const int32_t n = elementsPerPixel<E, S>(span) * __glSpanPixelCount(span);
    if constexpr (Mode == ElemCopy::Word) {
        std::memmove(dst, src, size_t(n) * E);
    } else {
        for (int32_t i = 0; i < n; ++i, src += E, dst += E) copyElement<E, Mode>(src, dst);
    }
}

// ---- conversion to floats ------------------------------------------------------------------

enum class Norm { UByte, Byte, UShort, Short, UInt, Int, Plain };

template <typename T, Norm N>
void unpackValues(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const T *>(in);
    auto *dst = static_cast<float *>(out);
    const int32_t n = (N == Norm::Plain ? 1 : span->srcComponents) * __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i) {
        T c;
        std::memcpy(&c, src + i, sizeof(T));
        if constexpr (N == Norm::UByte) dst[i] = ctx->ubyteToFloat[c];
        else if constexpr (N == Norm::Byte || N == Norm::Short)
            dst[i] = float(2 * int32_t(c) + 1) * (N == Norm::Byte ? ctx->oneOver255 : ctx->oneOver65535);
        else if constexpr (N == Norm::UShort) dst[i] = float(c) * ctx->oneOver65535;
        else if constexpr (N == Norm::UInt) dst[i] = float(c) * ctx->oneOverUint;
        else if constexpr (N == Norm::Int) dst[i] = float((2.0 * double(c) + 1.0) * double(ctx->oneOverUint));
        else dst[i] = float(c);
    }
}

// One packed element per pixel into 3 or 4 floats.
template <const GlPackedLayout &L>
void unpackPacked(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<float *>(out);
    const int32_t n = __glSpanPixelCount(span);
    for (int32_t i = 0; i < n; ++i, src += L.bytes, dst += L.outComponents) {
        const uint32_t v = __glLoadPacked<L>(src);
        for (int k = 0; k < L.outComponents; ++k) dst[k] = __glPackedFieldToFloat(L.field[k], v);
    }
}

}  // namespace

void __glUnpackBitmap(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    if (span->srcLsbFirst) unpackBitmapRow<true>(src, span->srcBitOffset, span->width, static_cast<float *>(out));
    else unpackBitmapRow<false>(src, span->srcBitOffset, span->width, static_cast<float *>(out));
}

void __glUnpackBitmapCompacted(GlContext *, GlPixelSpan *span, const void *in, void *out) {
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<float *>(out);
    const bool lsb = span->srcLsbFirst != 0;
    const int32_t kept = keptOf(span);
    int32_t pos = 0;
    for (int32_t k = 0; k < kept && pos < span->width; ++k) {
        dst[k] = float(bitAt(src, span->srcBitOffset + pos, lsb));
        pos += span->runTable[k] > 0 ? span->runTable[k] : 1;
    }
}

#define KIV_SPAN(name, ...) \
    void name(GlContext *ctx, GlPixelSpan *span, const void *in, void *out) { __VA_ARGS__(ctx, span, in, out); }

KIV_SPAN(__glCompactPixels1, compactPixels<1>)
KIV_SPAN(__glCompactPixels3, compactPixels<3>)
KIV_SPAN(__glCompactPixels4, compactPixels<4>)
KIV_SPAN(__glCompactElements1, compactElements<1, ElemCopy::Word>)
KIV_SPAN(__glCompactElements2, compactElements<2, ElemCopy::Word>)
KIV_SPAN(__glCompactElements4, compactElements<4, ElemCopy::Word>)
KIV_SPAN(__glCompactElements2Bytewise, compactElements<2, ElemCopy::Bytewise>)
KIV_SPAN(__glCompactElements4Bytewise, compactElements<4, ElemCopy::Bytewise>)
KIV_SPAN(__glSwapElements2Compacted, compactElements<2, ElemCopy::Swap>)
KIV_SPAN(__glSwapElements4Compacted, compactElements<4, ElemCopy::Swap>)

KIV_SPAN(__glSwapElements2, elements<2, ElemCopy::Swap, Side::Src>)
KIV_SPAN(__glSwapElements2Pack, elements<2, ElemCopy::Swap, Side::Dst>)
KIV_SPAN(__glSwapElements4, elements<4, ElemCopy::Swap, Side::Src>)
KIV_SPAN(__glSwapElements4Pack, elements<4, ElemCopy::Swap, Side::Dst>)
KIV_SPAN(__glCopyElements2, elements<2, ElemCopy::Bytewise, Side::Src>)
KIV_SPAN(__glCopyElements2Pack, elements<2, ElemCopy::Bytewise, Side::Dst>)
KIV_SPAN(__glCopyElements4, elements<4, ElemCopy::Word, Side::Src>)
KIV_SPAN(__glCopyElements4Pack, elements<4, ElemCopy::Word, Side::Dst>)

KIV_SPAN(__glUnpackUnsignedByte, unpackValues<uint8_t, Norm::UByte>)
KIV_SPAN(__glUnpackByte, unpackValues<int8_t, Norm::Byte>)
KIV_SPAN(__glUnpackUnsignedShort, unpackValues<uint16_t, Norm::UShort>)
KIV_SPAN(__glUnpackShort, unpackValues<int16_t, Norm::Short>)
KIV_SPAN(__glUnpackUnsignedInt, unpackValues<uint32_t, Norm::UInt>)
KIV_SPAN(__glUnpackInt, unpackValues<int32_t, Norm::Int>)
KIV_SPAN(__glUnpackIndexUnsignedByte, unpackValues<uint8_t, Norm::Plain>)
KIV_SPAN(__glUnpackIndexByte, unpackValues<int8_t, Norm::Plain>)
KIV_SPAN(__glUnpackIndexUnsignedShort, unpackValues<uint16_t, Norm::Plain>)
KIV_SPAN(__glUnpackIndexShort, unpackValues<int16_t, Norm::Plain>)
KIV_SPAN(__glUnpackIndexUnsignedInt, unpackValues<uint32_t, Norm::Plain>)
KIV_SPAN(__glUnpackIndexInt, unpackValues<int32_t, Norm::Plain>)

KIV_SPAN(__glUnpackUbyte332, unpackPacked<kGlLayoutUbyte332>)
KIV_SPAN(__glUnpackUshort4444, unpackPacked<kGlLayoutUshort4444>)
KIV_SPAN(__glUnpackUshort5551, unpackPacked<kGlLayoutUshort5551>)
KIV_SPAN(__glUnpackUint8888, unpackPacked<kGlLayoutUint8888>)
KIV_SPAN(__glUnpackUint1010102, unpackPacked<kGlLayoutUint1010102>)
KIV_SPAN(__glUnpackTexelRGB565, unpackPacked<kGlLayoutTexelRGB565>)
KIV_SPAN(__glUnpackTexelXRGB1555, unpackPacked<kGlLayoutTexelXRGB1555>)
KIV_SPAN(__glUnpackTexelARGB1555, unpackPacked<kGlLayoutTexelARGB1555>)
KIV_SPAN(__glUnpackTexelARGB4444, unpackPacked<kGlLayoutTexelARGB4444>)
// Alpha-only texels: white with the top nibble over 15 as alpha, like the other texel codes an
// RGBA row.
KIV_SPAN(__glUnpackTexelA4, unpackPacked<kGlLayoutTexelA4>)

#undef KIV_SPAN
