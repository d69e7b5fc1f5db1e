// Texel fetch procs. Every layout is described once by where its channels sit in the texel; one
// template turns a description into the fetch procs with and without border.
#include "icd/vertex/color_units.h"
#include "icd/raster/tex_fetch.h"
#include <cstring>

namespace {

template <int Bits, int Shift>
inline uint8_t channel(uint32_t texel) {
    const uint32_t v = (texel >> Shift) & ((1u << Bits) - 1u);
    if constexpr (Bits == 8) return uint8_t(v);
    return __glWidenChannel<Bits>(v);
}

// A border-colour component in [0, 1] as a byte, truncated.
inline uint8_t borderByte(float c) { return unitToByteTrunc(c); }

// How the channels of a texel reach the output.
enum class Kind {
    Luminance,       // channel 0 is L: R = G = B = L
    LuminanceAlpha,  // channel 0 is L, channel 3 A
    Color,           // channels 0..3 are R, G, B, A; a channel of 0 bits is absent
    Intensity,       // channel 0 is I: R = G = B = A = I
    Index,           // channel 0 is a colour index
};

// Bytes of one colour-table entry by the table's base format; 0 for formats without entries.
int32_t entryBytes(GLenum base) {
    switch (base) {
    case GL_ALPHA:
    case GL_LUMINANCE:
    case GL_INTENSITY: return 1;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_RGB: return 3;
    case GL_RGBA: return 4;
    default: return 0;
    }
}

// A colour index: the index itself when the texture's level 0 is a colour-index image, else the
// entry of the texture's colour table, written by the table's base format. An index past the end
// of the table wraps around inside it (table widths are powers of two) instead of reading past
// the entries.
void indexTexel(GlTextureObject *tex, uint32_t index, uint8_t *out) {
    const GlMipLevel *level0 = tex->levels != nullptr ? tex->levels[0] : nullptr;
    if (level0 != nullptr && level0->baseFormat == GL_COLOR_INDEX) {
        out[0] = uint8_t(index);
        return;
    }
    const GlColorTable &table = tex->colorTable;
    const int32_t bytes = entryBytes(table.baseFormat);
    if (table.entries == nullptr || table.width <= 0 || bytes == 0) return;
    if (index >= uint32_t(table.width)) index %= uint32_t(table.width);
    const uint8_t *e = table.entries + size_t(index) * size_t(bytes);
    switch (table.baseFormat) {
    case GL_ALPHA: out[3] = e[0]; break;
    case GL_RGB: out[0] = e[0], out[1] = e[1], out[2] = e[2]; break;
    case GL_RGBA: out[0] = e[0], out[1] = e[1], out[2] = e[2], out[3] = e[3]; break;
    case GL_LUMINANCE: out[0] = out[1] = out[2] = e[0]; break;
    case GL_LUMINANCE_ALPHA: out[0] = out[1] = out[2] = e[0], out[3] = e[1]; break;
    case GL_INTENSITY: out[0] = out[1] = out[2] = out[3] = e[0]; break;
    default: break;
    }
}

// A texel layout: its size and the width and position of its four channels (R, G, B, A in that
// order for colour layouts; the luminance, intensity or index in channel 0).
template <Kind K, int Bytes, int B0, int S0, int B1 = 0, int S1 = 0, int B2 = 0, int S2 = 0, int B3 = 0, int S3 = 0>
struct Layout {
    static constexpr int kBytes = Bytes;

    static uint32_t load(const uint8_t *p) {
        uint32_t v = 0;
        std::memcpy(&v, p, Bytes);  // little-endian, as the levels are stored
        return v;
    }

    static void decode(GlTextureObject *tex, uint32_t v, uint8_t *out) {
        if constexpr (K == Kind::Luminance) {
            out[0] = out[1] = out[2] = channel<B0, S0>(v);
        } else if constexpr (K == Kind::LuminanceAlpha) {
            out[0] = out[1] = out[2] = channel<B0, S0>(v);
            out[3] = channel<B3, S3>(v);
        } else if constexpr (K == Kind::Intensity) {
            out[0] = out[1] = out[2] = out[3] = channel<B0, S0>(v);
        } else if constexpr (K == Kind::Index) {
            indexTexel(tex, (v >> S0) & ((1u << B0) - 1u), out);
        } else {
            if constexpr (B0 > 0) out[0] = channel<B0, S0>(v);
            if constexpr (B1 > 0) out[1] = channel<B1, S1>(v);
            if constexpr (B2 > 0) out[2] = channel<B2, S2>(v);
            if constexpr (B3 > 0) out[3] = channel<B3, S3>(v);
        }
    }

    // Outside a level without border: the border colour in the channels of the layout.
    static void border(GlTextureObject *tex, uint8_t *out) {
        const float *c = tex->borderColor;
        if constexpr (K == Kind::Index) {
            indexTexel(tex, borderByte(c[0]), out);
        } else if constexpr (K == Kind::Intensity) {
            for (int i = 0; i < 4; ++i) out[i] = borderByte(c[i]);
        } else {
            const bool rgb = K == Kind::Luminance || K == Kind::LuminanceAlpha;
            if (rgb || B0 > 0) out[0] = borderByte(c[0]);
            if (rgb || B1 > 0) out[1] = borderByte(c[1]);
            if (rgb || B2 > 0) out[2] = borderByte(c[2]);
            if (B3 > 0) out[3] = borderByte(c[3]);
        }
    }
};

using L8 = Layout<Kind::Luminance, 1, 8, 0>;
using L8A8 = Layout<Kind::LuminanceAlpha, 2, 8, 0, 0, 0, 0, 0, 8, 8>;
using Rgb8 = Layout<Kind::Color, 3, 8, 0, 8, 8, 8, 16>;
using Rgb332 = Layout<Kind::Color, 1, 3, 5, 3, 2, 2, 0>;
using Xrgb1555 = Layout<Kind::Color, 2, 5, 10, 5, 5, 5, 0>;
using Rgb565 = Layout<Kind::Color, 2, 5, 11, 6, 5, 5, 0>;
using Rgba8 = Layout<Kind::Color, 4, 8, 0, 8, 8, 8, 16, 8, 24>;
using Rgba4444 = Layout<Kind::Color, 2, 4, 12, 4, 8, 4, 4, 4, 0>;
using Argb4444 = Layout<Kind::Color, 2, 4, 8, 4, 4, 4, 0, 4, 12>;
using Rgba5551 = Layout<Kind::Color, 2, 5, 11, 5, 6, 5, 1, 1, 0>;
using Argb1555 = Layout<Kind::Color, 2, 5, 10, 5, 5, 5, 0, 1, 15>;
using A8 = Layout<Kind::Color, 1, 0, 0, 0, 0, 0, 0, 8, 0>;
using I8 = Layout<Kind::Intensity, 1, 8, 0>;
using Index8 = Layout<Kind::Index, 1, 8, 0>;
using Index16 = Layout<Kind::Index, 2, 16, 0>;
using A4 = Layout<Kind::Color, 2, 0, 0, 0, 0, 0, 0, 4, 12>;

// Without border: coordinates outside the level give the border colour; inside, rows are
// 2^log2Width texels apart.
template <class L>
inline void fetchPlain(GlMipLevel *level, GlTextureObject *tex, int32_t t, int32_t s, uint8_t *out) {
    if (t < 0 || s < 0 || t >= level->innerHeight || s >= level->innerWidth) return L::border(tex, out);
    const size_t index = (size_t(uint32_t(t)) << level->log2Width) + size_t(uint32_t(s));
    L::decode(tex, L::load(level->image + index * L::kBytes), out);
}

// With border: -1 .. the inner size in either direction lies inside the bordered image.
template <class L>
inline void fetchBordered(GlMipLevel *level, GlTextureObject *tex, int32_t t, int32_t s, uint8_t *out) {
    const size_t index = size_t(t + 1) * size_t(level->width) + size_t(s + 1);
    L::decode(tex, L::load(level->image + index * L::kBytes), out);
}

}  // namespace

#define KIV_DEFINE_FETCH(row, name)                                                                           \
    void __glFetchTexel##name(GlMipLevel *level, GlTextureObject *tex, int32_t, int32_t t, int32_t s,             \
                              uint8_t *out) {                                                                 \
        fetchPlain<name>(level, tex, t, s, out);                                                              \
    }                                                                                                         \
    void __glFetchTexel##name##Border(GlMipLevel *level, GlTextureObject *tex, int32_t, int32_t t, int32_t s,     \
                                      uint8_t *out) {                                                         \
        fetchBordered<name>(level, tex, t, s, out);                                                           \
    }
KIV_TEXEL_LAYOUTS(KIV_DEFINE_FETCH)
#undef KIV_DEFINE_FETCH

#define KIV_FETCH_ROW(row, name) {__glFetchTexel##name, __glFetchTexel##name##Border},
const GlTexelFetchPair __glTexelFetchProcs[kGlTexelLayoutCount] = {KIV_TEXEL_LAYOUTS(KIV_FETCH_ROW)};
#undef KIV_FETCH_ROW

// The table above is indexed by row: the layout list must name the rows in order.
namespace {
#define KIV_ROW_NUMBER(row, name) row,
constexpr int kListedRows[] = {KIV_TEXEL_LAYOUTS(KIV_ROW_NUMBER)};
#undef KIV_ROW_NUMBER
constexpr bool rowsInOrder() {
    for (int i = 0; i < kGlTexelLayoutCount; ++i)
        if (kListedRows[i] != i) return false;
    return sizeof kListedRows / sizeof kListedRows[0] == kGlTexelLayoutCount;
}
static_assert(rowsInOrder(), "the texel layouts are listed by row");
}  // namespace
