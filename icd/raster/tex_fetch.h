// Texel fetch procs: one texel of one mip level as four bytes R, G, B, A in [0, 255]. Every texel
// layout has two: one for levels without border, which answers coordinates outside the level
// with the texture's border colour, and one for levels with a border of 1, which reads the
// bordered image directly. A proc writes only the channels its layout has. The texel-format rows
// carry these procs (GlTexelFetchProc, in the texture records).
#pragma once
#include <cstdint>
#include "icd/pixel/texture_object.h"

// A channel of Bits bits as the byte nearest the same fraction of full scale: a full channel
// reads as 255 and a value on a byte step (17 x n for four bits) as that byte, so that texels
// kept in a narrow layout are neither darkened nor biased.
template <int Bits>
constexpr uint8_t __glWidenChannel(uint32_t v) {
    constexpr uint32_t max = (1u << Bits) - 1u;
    return uint8_t((v * 255u + max / 2u) / max);
}

// The layouts by texel-format row: X(row, name).
#define KIV_TEXEL_LAYOUTS(X) \
    X(0, L8)                 \
    X(1, L8A8)               \
    X(2, Rgb8)               \
    X(3, Rgb332)             \
    X(4, Xrgb1555)           \
    X(5, Rgb565)             \
    X(6, Rgba8)              \
    X(7, Rgba4444)           \
    X(8, Argb4444)           \
    X(9, Rgba5551)           \
    X(10, Argb1555)          \
    X(11, A8)                \
    X(12, I8)                \
    X(13, Index8)            \
    X(14, Index16)           \
    X(15, A4)

#define KIV_DECLARE_FETCH(row, name)                                                                     \
    void __glFetchTexel##name(GlMipLevel *level, GlTextureObject *tex, int32_t r, int32_t t, int32_t s,      \
                              uint8_t *out);                                                             \
    void __glFetchTexel##name##Border(GlMipLevel *level, GlTextureObject *tex, int32_t r, int32_t t, int32_t s, \
                                      uint8_t *out);
KIV_TEXEL_LAYOUTS(KIV_DECLARE_FETCH)
#undef KIV_DECLARE_FETCH

// The two procs of a layout.
struct GlTexelFetchPair {
    GlTexelFetchProc fetch, fetchBorder;
};
constexpr int kGlTexelLayoutCount = 16;
// Indexed by texel-format row.
extern const GlTexelFetchPair __glTexelFetchProcs[kGlTexelLayoutCount];
