// The fetch stages of an image copy out of a texture level (glGetTexImage): each reads a row of
// one stored texel layout and writes RGBA floats in [0, 1] by the rule of the level's base
// format, so that the rest of the chain starts from RGBA floats whatever the layout.
#include <cstring>
#include "icd/pixel/pixel_ops_internal.h"

namespace {

// [0, 255] -> [0, 1]: the quotient b / 255 rounded once. (The context's unpack table multiplies
// by a rounded 1/255, which can land one unit in the last place away from it.)
inline float byteToUnit(uint32_t b) { return float(b) / 255.0f; }

// What a level returns for its base format: luminance and intensity in red, the colour channels
// the format lacks 0, a missing alpha 1. RGBA and colour-index levels keep all four channels.
struct BaseRule {
    GLenum baseFormat;
    bool keep[4];  // R, G, B, A
};
constexpr BaseRule kBaseRules[] = {
    {GL_LUMINANCE, {true, false, false, false}},      {GL_INTENSITY, {true, false, false, false}},
    {GL_LUMINANCE_ALPHA, {true, false, false, true}}, {GL_ALPHA, {false, false, false, true}},
    {GL_RGB, {true, true, true, false}},
};

void applyBaseRule(GLenum baseFormat, float *rgba, int32_t n) {
    for (const BaseRule &r : kBaseRules) {
        if (r.baseFormat != baseFormat) continue;
        for (int32_t i = 0; i < n; ++i, rgba += 4)
            for (int k = 0; k < 4; ++k)
                if (!r.keep[k]) rgba[k] = k == 3 ? 1.0f : 0.0f;
        return;
    }
}

// Where the elements of a texel of an element layout go among R, G, B, A.
struct Places {
    int count;
    int at[4];
};
constexpr Places placesOf(GLenum format) {
    switch (format) {
    case kGlFormatRedAlpha: return {2, {0, 3}};
    case GL_RGB: return {3, {0, 1, 2}};
    case GL_RGBA: return {4, {0, 1, 2, 3}};
    case GL_ALPHA: return {1, {3}};
    default: return {1, {0}};  // GL_RED (luminance, intensity) and GL_COLOR_INDEX
    }
}

// Layouts of one element per channel: 8-bit channels, and the 16-bit colour index, of which
// (as the sampler reads an index) the low eight bits count. Channels the layout lacks read 0,
// alpha 1.
template <GLenum Format, class Element>
void fetchElements(GlContext *, GlPixelSpan *s, const void *in, void *out) {
    constexpr Places kPlaces = placesOf(Format);
    const auto *src = static_cast<const uint8_t *>(in);
    auto *dst = static_cast<float *>(out);
    const int32_t n = __glSpanPixelCount(s);
    for (int32_t i = 0; i < n; ++i) {
        float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (int j = 0; j < kPlaces.count; ++j, src += sizeof(Element)) {
            Element e;
            std::memcpy(&e, src, sizeof e);
            c[kPlaces.at[j]] = byteToUnit(uint8_t(e));
        }
        std::memcpy(dst + 4 * size_t(i), c, sizeof c);
    }
    applyBaseRule(s->srcBaseFormat, dst, n);
}

// Packed layouts and 16-bit texel codes: the unpack span of the type (each field v / max
// exactly), its RGB texels given alpha 1.
template <GlPixelSpanProc Unpack, int Components>
void fetchPacked(GlContext *ctx, GlPixelSpan *s, const void *in, void *out) {
    Unpack(ctx, s, in, out);
    auto *dst = static_cast<float *>(out);
    const int32_t n = __glSpanPixelCount(s);
    if constexpr (Components == 3)
        // Spread in place from the last texel down: texel i's RGBA never reaches an earlier RGB.
        for (int32_t i = n - 1; i >= 0; --i) {
            const float r = dst[3 * i], g = dst[3 * i + 1], b = dst[3 * i + 2];
            dst[4 * i] = r, dst[4 * i + 1] = g, dst[4 * i + 2] = b, dst[4 * i + 3] = 1.0f;
        }
    applyBaseRule(s->srcBaseFormat, dst, n);
}

// Every stored layout by the format and type a level source names.
struct LevelFetch {
    GLenum format, type;
    GlPixelSpanProc stage;
};
constexpr LevelFetch kLevelFetches[] = {
    {GL_RED, GL_UNSIGNED_BYTE, fetchElements<GL_RED, uint8_t>},
    {kGlFormatRedAlpha, GL_UNSIGNED_BYTE, fetchElements<kGlFormatRedAlpha, uint8_t>},
    {GL_RGB, GL_UNSIGNED_BYTE, fetchElements<GL_RGB, uint8_t>},
    {GL_RGBA, GL_UNSIGNED_BYTE, fetchElements<GL_RGBA, uint8_t>},
    {GL_ALPHA, GL_UNSIGNED_BYTE, fetchElements<GL_ALPHA, uint8_t>},
    {GL_COLOR_INDEX, GL_UNSIGNED_BYTE, fetchElements<GL_COLOR_INDEX, uint8_t>},
    {GL_COLOR_INDEX, GL_UNSIGNED_SHORT, fetchElements<GL_COLOR_INDEX, uint16_t>},
    {GL_RGB, kGlUnsignedByte332, fetchPacked<__glUnpackUbyte332, 3>},
    {GL_RGBA, kGlUnsignedShort4444, fetchPacked<__glUnpackUshort4444, 4>},
    {GL_RGBA, kGlUnsignedShort5551, fetchPacked<__glUnpackUshort5551, 4>},
    {GL_RGB, kGlTexelCodeRGB565, fetchPacked<__glUnpackTexelRGB565, 3>},
    {GL_RGB, kGlTexelCodeXRGB1555, fetchPacked<__glUnpackTexelXRGB1555, 3>},
    {GL_RGBA, kGlTexelCodeARGB1555, fetchPacked<__glUnpackTexelARGB1555, 4>},
    {GL_RGBA, kGlTexelCodeARGB4444, fetchPacked<__glUnpackTexelARGB4444, 4>},
    {GL_ALPHA, kGlTexelCodeA4, fetchPacked<__glUnpackTexelA4, 4>},
};

}  // namespace

namespace glpixel {

GlPixelSpanProc levelFetchStage(const GlPixelSpan *s) {
    if (s->srcBaseFormat == 0) return nullptr;
    for (const LevelFetch &f : kLevelFetches)
        if (f.format == s->srcFormat && f.type == s->srcType) return f.stage;
    return nullptr;
}

}  // namespace glpixel
