// Rectangle fills of 1-, 2- and 4-byte pixels with one value, used by the colour-buffer clears.
#include <cstring>
#include "icd/raster/color_buffer.h"
#include "icd/codegen/og_context.h"
#include "icd/core/context.h"

namespace {
template <class T>
void fillRect(uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    if (width <= 0 || height <= 0) return;
    T v = T(value);
    uint8_t *p = first;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x, p += sizeof(T)) std::memcpy(p, &v, sizeof(T));
        p += skip;
    }
}
}  // namespace

void __glFillRect8(GlContext *, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    fillRect<uint8_t>(first, width, height, skip, value);
}
void __glFillRect16(GlContext *, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    fillRect<uint16_t>(first, width, height, skip, value);
}
// Rows of 4-aligned dwords go through the MMX fill loop where the process has one and the
// context does not forbid it.
void __glFillRect32(GlContext *ctx, uint8_t *first, int32_t width, int32_t height, int32_t skip, uint32_t value) {
    const bool mmx = (ctx == nullptr || !(ctx->codeCaches.modeFlags & icd::kGlOgModeNoMmx)) &&
                     ((reinterpret_cast<uintptr_t>(first) | uint32_t(skip)) & 3) == 0 && width > 0 &&
                     icd::__glOgGenFillProc() != nullptr;
    if (!mmx) {
        fillRect<uint32_t>(first, width, height, skip, value);
        return;
    }
    uint8_t *row = first;
    for (int32_t y = 0; y < height; ++y, row += size_t(width) * 4 + skip)
        icd::__glOgFill32(reinterpret_cast<uint32_t *>(row), width, value);
}
