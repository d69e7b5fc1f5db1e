// Rectangle fills of 1-, 2- and 4-byte pixels with one value, used by the buffer clears. The
// narrow pixels are stored as whole dwords of the replicated value wherever a row allows, so
// that a clear runs at the speed of the widest store rather than one pixel at a time.
#include <climits>
#include <cstring>
#include "icd/raster/color_buffer.h"
#include "icd/codegen/og_context.h"
#include "icd/core/context.h"

namespace {

// count dwords of pattern from p (any alignment): one dword to reach 8-byte alignment, qwords in
// blocks of four, then the odd dword.
void storeDwords(uint8_t *p, size_t count, uint32_t pattern) {
    if (count != 0 && (reinterpret_cast<uintptr_t>(p) & 4) != 0) {
        std::memcpy(p, &pattern, 4);
        p += 4;
        --count;
    }
    const uint64_t pair = uint64_t(pattern) << 32 | pattern;
    for (; count >= 8; count -= 8, p += 32) {
        std::memcpy(p, &pair, 8);
        std::memcpy(p + 8, &pair, 8);
        std::memcpy(p + 16, &pair, 8);
        std::memcpy(p + 24, &pair, 8);
    }
    for (; count >= 2; count -= 2, p += 8) std::memcpy(p, &pair, 8);
    if (count != 0) std::memcpy(p, &pattern, 4);
}

// Every row of a rectangle of narrow pixels (T of 1 or 2 bytes) starting at the same address
// modulo 4: the pixels before the first dword boundary and after the last one are stored singly,
// column by column; the dwords between go through the 32-bit fill in one call.
template <class T>
void fillAlignedRows(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t pitch, uint32_t pattern) {
    constexpr int32_t kPerDword = 4 / sizeof(T);
    const int32_t misalign = int32_t(reinterpret_cast<uintptr_t>(first) & 3);
    int32_t lead = misalign == 0 ? 0 : (4 - misalign) / int32_t(sizeof(T));
    if (lead > width) lead = width;
    const int32_t dwords = (width - lead) / kPerDword, trail = width - lead - dwords * kPerDword;
    const T v = T(pattern);
    uint8_t *row = first;
    for (int32_t y = 0; y < height; ++y, row += pitch) {
        for (int32_t i = 0; i < lead; ++i) std::memcpy(row + i * sizeof(T), &v, sizeof(T));
        for (int32_t i = width - trail; i < width; ++i) std::memcpy(row + i * sizeof(T), &v, sizeof(T));
    }
    if (dwords > 0) __glFillRect32(ctx, first + lead * sizeof(T), dwords, height, pitch - dwords * 4, pattern);
}

// A rectangle of narrow pixels whose value is replicated into pattern. Rows one pitch apart share
// their alignment when the pitch is a multiple of 4; otherwise each row is its own rectangle.
template <class T>
void fillNarrow(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t pattern) {
    if (width <= 0 || height <= 0) return;
    const int32_t pitch = width * int32_t(sizeof(T)) + skip;
    if ((pitch & 3) == 0) return fillAlignedRows<T>(ctx, first, width, height, pitch, pattern);
    for (int32_t y = 0; y < height; ++y, first += pitch) fillAlignedRows<T>(ctx, first, width, 1, pitch, pattern);
}

}  // namespace

void __glFillRect8(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    fillNarrow<uint8_t>(ctx, first, width, height, skip, (value & 0xFFu) * 0x01010101u);
}
void __glFillRect16(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    fillNarrow<uint16_t>(ctx, first, width, height, skip, (value & 0xFFFFu) * 0x00010001u);
}
// Rows of 4-aligned dwords go through the MMX fill loop where the process has one and the
// context does not forbid it; a rectangle without a skip is one run for it.
void __glFillRect32(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    if (width <= 0 || height <= 0) return;
    const size_t pitch = size_t(width) * 4 + size_t(int64_t(skip));
    const bool mmx = (ctx == nullptr || !(ctx->codeCaches.modeFlags & icd::kGlOgModeNoMmx)) &&
                     ((reinterpret_cast<uintptr_t>(first) | uint32_t(skip)) & 3) == 0 &&
                     icd::__glOgGenFillProc() != nullptr;
    if (skip == 0 && int64_t(width) * height <= INT32_MAX) {
        width *= height;
        height = 1;
    }
    uint8_t *row = first;
    for (int32_t y = 0; y < height; ++y, row += pitch) {
        if (mmx) icd::__glOgFill32(reinterpret_cast<uint32_t *>(row), width, value);
        else storeDwords(row, size_t(width), value);
    }
}
