// The direct line writers of 1-byte colour-index and 2-byte RGB colour buffers: they walk the run
// with the line's steps and write whole pixels themselves, flat or shaded, with or without the
// ordered dither, every pixel or the live ones. All fourteen come from one template.
#include <bit>
#include "icd/raster/line_run.h"

using namespace glline;

namespace {

enum class Pixel { Index8, Rgb16 };

// To the nearest integer (ties to even) by the 1.5 x 2^23 addition; correct slightly below 0.
inline int32_t nearest(float v) {
    float s = v + 12582912.0f;
    return int32_t(std::bit_cast<uint32_t>(s) & 0x7FFFFF) - 0x400000;
}

inline uint32_t channel(float v, int32_t max) {
    int32_t c = nearest(v);
    return uint32_t(c < 0 ? 0 : (c > max ? max : c));
}

template <Pixel P, bool Shaded, bool Dither, bool Masked>
uint8_t lineWriter(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    GlColorBuffer *cb = rs.targetColorBuffer;
    if (cb == nullptr || cb->head.base == nullptr) return 0;
    bool ok = __glWithDrawableLock(ctx, [&] {
        const GlLineRaster &l = rs.line;
        const int32_t es = P == Pixel::Index8 ? 1 : 2;
        const int32_t pitch = cb->head.pitch;
        uint8_t *p = bufferAddress(ctx, cb->head, l.x, l.y);
        const ptrdiff_t step = ptrdiff_t(l.stepY * pitch + l.stepX) * es;
        const ptrdiff_t carry = ptrdiff_t(l.carryStepY * pitch + l.carryStepX) * es;
        const uint32_t *mask = rs.maskWords;
        const float *c = rs.fragmentColors;
        int32_t x = l.x, y = l.y;
        uint32_t fraction = l.fraction;
        for (int32_t i = 0; i < l.pixelCount; ++i) {
            if (!Masked || (mask[i >> 5] & bitOf(i))) {
                const float *px = Shaded ? c + 4 * i : c;
                const float e = Dither ? __glDitherRound[y & 3][x & 3] : 0.0f;
                if constexpr (P == Pixel::Index8) {
                    *p = uint8_t(nearest(px[0] + e));
                } else {
                    uint16_t v = uint16_t((channel(px[0] + e, cb->redMax) << cb->redShift) |
                                          (channel(px[1] + e, cb->greenMax) << cb->greenShift) |
                                          (channel(px[2] + e, cb->blueMax) << cb->blueShift));
                    std::memcpy(p, &v, 2);
                }
            }
            fraction += l.slope;
            if (fraction & 0x80000000u) {
                fraction &= 0x7FFFFFFFu;
                p += carry;
                x += l.carryStepX;
                y += l.carryStepY;
            } else {
                p += step;
                x += l.stepX;
                y += l.stepY;
            }
        }
    });
    return ok ? 0 : 1;
}

}  // namespace

#define GL_LINE_WRITER(name, pixel, shaded, dither)                                                      \
    uint8_t name(GlContext *ctx) { return lineWriter<Pixel::pixel, shaded, dither, false>(ctx); }        \
    uint8_t name##Masked(GlContext *ctx) { return lineWriter<Pixel::pixel, shaded, dither, true>(ctx); }
GL_LINE_WRITER(__glLineStoreIndex8Flat, Index8, false, false)
GL_LINE_WRITER(__glLineStoreIndex8Shaded, Index8, true, false)
GL_LINE_WRITER(__glLineStoreIndex8FlatDither, Index8, false, true)
GL_LINE_WRITER(__glLineStoreIndex8ShadedDither, Index8, true, true)
GL_LINE_WRITER(__glLineStoreRgb16Flat, Rgb16, false, false)
GL_LINE_WRITER(__glLineStoreRgb16Shaded, Rgb16, true, false)
GL_LINE_WRITER(__glLineStoreRgb16ShadedDither, Rgb16, true, true)
#undef GL_LINE_WRITER
