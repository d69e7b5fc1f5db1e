// Image addressing: components and element sizes of the GL formats and types, the layout of one
// side of a pixel span from its store modes, the size of a tight image, and the copy of a client
// image into a tight block with the unpack modes.
#include "icd/pixel/pixel_span.h"
#include "icd/core/context.h"
#include "icd/core/services.h"
#include <climits>
#include <cstring>

int32_t __glComponentsPerPixel(GLenum format, GLenum type) {
    if ((type >= kGlUnsignedByte332 && type <= kGlUnsignedInt1010102) || type <= kGlTexelCodeA4) return 1;
    switch (format) {
    case kGlFormatRedAlpha:
    case GL_LUMINANCE_ALPHA:
        return 2;
    case GL_RGB:
    case kGlFormatBGR:
        return 3;
    case GL_RGBA:
    case kGlFormatABGR:
    case kGlFormatBGRA:
        return 4;
    default:
        return 1;
    }
}

int32_t __glBytesPerElement(GLenum type) {
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
    case GL_BITMAP:
    case kGlUnsignedByte332:
        return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case kGlUnsignedShort4444:
    case kGlUnsignedShort5551:
        return 2;
    case GL_INT:
    case GL_UNSIGNED_INT:
    case GL_FLOAT:
    case kGlUnsignedInt8888:
    case kGlUnsignedInt1010102:
        return 4;
    default:
        return type <= kGlTexelCodeA4 ? 2 : 0;
    }
}

namespace {

int64_t alignUp(int64_t bytes, int32_t alignment) {
    if (alignment <= 1) return bytes;
    int64_t rem = bytes % alignment;
    return rem != 0 ? bytes + (alignment - rem) : bytes;
}

// Row strides beyond this are client errors; keeping them in range keeps the addressing defined.
int32_t clampStride(int64_t bytes) { return bytes > INT32_MAX ? INT32_MAX : int32_t(bytes); }

void computeLayout(GlPixelImageSide &side) {
    const int32_t c = __glComponentsPerPixel(side.format, side.type);
    const int32_t e = __glBytesPerElement(side.type);
    if (e == 1) side.swapBytes = 0;
    const bool bitmap = side.type == GL_BITMAP;
    int64_t row = bitmap ? (int64_t(side.rowLength) + 7) / 8 : int64_t(side.rowLength) * c * e;
    side.rowBytes = clampStride(alignUp(row, side.alignment));
    side.direct = !((bitmap && side.skipPixels % 8 != 0) || (side.swapBytes && e > 1));
    const uint8_t *rowStart = side.data + int64_t(side.skipRows) * side.rowBytes;
    if (bitmap) {
        side.start = const_cast<uint8_t *>(rowStart + side.skipPixels / 8);
        side.bitOffset = side.skipPixels % 8;
    } else {
        side.start = const_cast<uint8_t *>(rowStart + int64_t(side.skipPixels) * c * e);
        side.bitOffset = 0;
    }
    side.groupBytes = c * e;
    side.components = c;
    side.elementBytes = e;
}

void setOptions(GlPixelSpan *span) {
    span->optClearAlpha = 0;
    span->optChooser = 1;
    span->optScaleToBuffer = 1;
    span->optFloatHoldsIntegers = 0;
}

uint8_t reverseBits(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// One bitmap row of `bits` bits starting at bit `offset` of src into a tight row, first pixel in
// the most significant bit; the unused trailing bits of the last byte are cleared. A source
// byte past the bits of the row is never read.
void copyBitmapRow(const uint8_t *src, uint8_t *dst, int64_t bits, int32_t offset, bool lsbFirst) {
    auto fetch = [&](int64_t i) { return lsbFirst ? reverseBits(src[i]) : src[i]; };
    const int64_t bytes = (bits + 7) / 8;
    for (int64_t j = 0; j < bytes; ++j) {
        const int64_t remaining = bits - 8 * j;
        uint32_t v = uint32_t(fetch(j)) << offset;
        if (offset != 0 && remaining > 8 - offset) v |= uint32_t(fetch(j + 1)) >> (8 - offset);
        if (remaining < 8) v &= 0xFFu << (8 - remaining);
        dst[j] = uint8_t(v);
    }
}

void swapCopy(const uint8_t *src, uint8_t *dst, int64_t elements, int32_t e) {
    for (int64_t i = 0; i < elements; ++i, src += e, dst += e)
        for (int32_t b = 0; b < e; ++b) dst[b] = src[e - 1 - b];
}

}  // namespace

void __glComputeSrcImageLayout(GlContext *, GlPixelSpan *span) {
    computeLayout(*__glSpanSrc(span));
    setOptions(span);
}

void __glComputeDstImageLayout(GlContext *, GlPixelSpan *span) {
    computeLayout(*__glSpanDst(span));
    setOptions(span);
}

int32_t __glImageSize(GLsizei width, GLsizei height, GLenum format, GLenum type) {
    if (width < 0 || height < 0) return -1;
    const int64_t c = __glComponentsPerPixel(format, type);
    int64_t bytes;
    if (type == GL_BITMAP) bytes = int64_t(height) * ((int64_t(width) + 7) >> 3) * c;
    else bytes = int64_t(width) * __glBytesPerElement(type) * height * c;
    return bytes > INT32_MAX ? -1 : int32_t(bytes);
}

int32_t __glUnpackImageSlices(GlContext *ctx, GLsizei width, GLsizei height, GLsizei depth, GLenum format,
                              GLenum type, const void *source, void *destination) {
    const int32_t e = __glBytesPerElement(type);
    if (e == 0 || width < 0 || height < 0 || depth < 0) return 0;
    if (width == 0 || height == 0 || depth == 0) return 1;
    const GlPixelStoreModes &m = ctx->state.pixel.store.unpack;
    const int64_t c = __glComponentsPerPixel(format, type);
    const int64_t g = m.rowLength > 0 ? m.rowLength : width;
    const int64_t rowElements = c * g;
    const int64_t skipElements = c * m.skipPixels;
    const int64_t copyElements = c * width;
    const auto *src = static_cast<const uint8_t *>(source);
    auto *dst = static_cast<uint8_t *>(destination);

    if (type == GL_BITMAP) {
        const int64_t rowSize = alignUp((rowElements + 7) / 8, m.alignment);
        const int64_t tight = (copyElements + 7) / 8;
        const uint8_t *first = src + m.skipRows * rowSize + skipElements / 8;
        const int32_t offset = int32_t(skipElements % 8);
        // Row addresses from the first row's: nothing is stepped past the client's last row.
        for (int32_t y = 0; y < height; ++y, dst += tight)
            copyBitmapRow(first + int64_t(y) * rowSize, dst, copyElements, offset, m.lsbFirst != 0);
        return 1;
    }

    const int64_t rowSize = alignUp(rowElements * e, m.alignment);
    const int64_t tight = copyElements * e;
    const int64_t sliceSize = int64_t(height) * rowSize;
    const uint8_t *first = src + skipElements * e + m.skipRows * rowSize;
    const bool swap = e > 1 && m.swapBytes;
    for (int32_t z = 0; z < depth; ++z) {
        const uint8_t *slice = first + int64_t(z) * sliceSize;
        if (!swap && rowSize == tight) {
            std::memcpy(dst, slice, size_t(tight * height));
            dst += tight * height;
            continue;
        }
        for (int32_t y = 0; y < height; ++y, dst += tight) {
            const uint8_t *row = slice + int64_t(y) * rowSize;
            if (swap) swapCopy(row, dst, copyElements, e);
            else std::memcpy(dst, row, size_t(tight));
        }
    }
    return 1;
}

int32_t __glUnpackImage(GlContext *ctx, GLsizei width, GLsizei height, GLenum format, GLenum type,
                        const void *source, void *destination) {
    return __glUnpackImageSlices(ctx, width, height, 1, format, type, source, destination);
}

int32_t __glPackBitmapImage(GlContext *ctx, GLsizei width, GLsizei height, const void *source, void *destination) {
    if (width < 0 || height < 0) return 0;
    const GlPixelStoreModes &m = ctx->state.pixel.store.pack;
    GlPixelSpan span;
    std::memset(&span, 0, sizeof(span));
    span.srcFormat = span.dstFormat = GL_COLOR_INDEX;
    span.srcType = span.dstType = GL_BITMAP;
    span.srcData = static_cast<const uint8_t *>(source);
    span.srcRowLength = width;
    span.srcAlignment = 1;
    span.dstData = static_cast<uint8_t *>(destination);
    span.dstRowLength = m.rowLength > 0 ? m.rowLength : width;
    span.dstSkipRows = m.skipRows;
    span.dstSkipPixels = m.skipPixels;
    span.dstAlignment = m.alignment;
    span.dstLsbFirst = m.lsbFirst;
    __glComputeSrcImageLayout(ctx, &span);
    __glComputeDstImageLayout(ctx, &span);
    const int32_t srcBit0 = span.srcBitOffset, dstBit0 = span.dstBitOffset;
    // Rows go through floats a piece at a time: one bit a float, the bits around the row kept.
    constexpr int32_t kPiece = 256;
    float bits[kPiece];
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t *srcRow = span.srcStart + int64_t(y) * span.srcRowBytes;
        uint8_t *dstRow = span.dstStart + int64_t(y) * span.dstRowBytes;
        for (int32_t x = 0; x < width; x += kPiece) {
            span.width = width - x < kPiece ? width - x : kPiece;
            const int32_t s = srcBit0 + x, d = dstBit0 + x;
            span.srcBitOffset = s & 7;
            span.dstBitOffset = d & 7;
            __glUnpackBitmap(ctx, &span, srcRow + s / 8, bits);
            __glPackBitmap(ctx, &span, bits, dstRow + d / 8);
        }
    }
    return 1;
}
