// The texel layouts and the two choosers that map an application's internal format to one of
// them: the software layouts keep every channel at 8 bits, the device layouts are the 16-bit
// forms the chip samples directly.
#include "icd/pixel/texel_format.h"
#include "icd/raster/tex_fetch.h"

namespace {

constexpr GLenum kRgb2 = 0x804E;  // GL_RGB2_EXT: no layout accepts it

#define ROW(id, r, g, b, a, l, i, bpt, format, type, align, fetch) \
    {id, 0, r, g, b, a, l, i, bpt, format, type, align, fetch, fetch##Border, {nullptr, nullptr}, {0, 0}}

// Rows 0-14 are one contiguous table; row 15 (alpha in the top four bits of a 16-bit texel) is
// kept apart from it.
const GlTexelFormat kRows[15] = {
    ROW(0, 0, 0, 0, 0, 8, 0, 8, GL_RED, GL_UNSIGNED_BYTE, 1, __glFetchTexelL8),
    ROW(1, 0, 0, 0, 8, 8, 0, 16, kGlTexelLuminanceAlphaFormat, GL_UNSIGNED_BYTE, 1, __glFetchTexelL8A8),
    ROW(2, 8, 8, 8, 0, 0, 0, 24, GL_RGB, GL_UNSIGNED_BYTE, 1, __glFetchTexelRgb8),
    ROW(3, 3, 3, 2, 0, 0, 0, 8, GL_RGB, GL_UNSIGNED_BYTE_3_3_2_EXT, 1, __glFetchTexelRgb332),
    ROW(4, 5, 5, 5, 0, 0, 0, 16, GL_RGB, kGlTexelX1R5G5B5, 2, __glFetchTexelXrgb1555),
    ROW(5, 5, 6, 5, 0, 0, 0, 16, GL_RGB, kGlTexelR5G6B5, 2, __glFetchTexelRgb565),
    ROW(6, 8, 8, 8, 8, 0, 0, 32, GL_RGBA, GL_UNSIGNED_BYTE, 1, __glFetchTexelRgba8),
    ROW(7, 4, 4, 4, 4, 0, 0, 16, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4_EXT, 2, __glFetchTexelRgba4444),
    ROW(8, 4, 4, 4, 4, 0, 0, 16, GL_RGBA, kGlTexelA4R4G4B4, 2, __glFetchTexelArgb4444),
    ROW(9, 5, 5, 5, 1, 0, 0, 16, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1_EXT, 1, __glFetchTexelRgba5551),
    ROW(10, 5, 5, 5, 1, 0, 0, 16, GL_RGBA, kGlTexelA1R5G5B5, 2, __glFetchTexelArgb1555),
    ROW(11, 0, 0, 0, 8, 0, 0, 8, GL_ALPHA, GL_UNSIGNED_BYTE, 1, __glFetchTexelA8),
    ROW(12, 0, 0, 0, 0, 0, 8, 8, GL_RED, GL_UNSIGNED_BYTE, 1, __glFetchTexelI8),
    ROW(13, 0, 0, 0, 0, 0, 0, 8, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, 1, __glFetchTexelIndex8),
    ROW(14, 0, 0, 0, 0, 0, 0, 16, GL_COLOR_INDEX, GL_UNSIGNED_SHORT, 2, __glFetchTexelIndex16),
};
const GlTexelFormat kAlpha4Row = ROW(15, 0, 0, 0, 4, 0, 0, 16, GL_ALPHA, kGlTexelA4X12, 2, __glFetchTexelA4);
#undef ROW

// One class of internal formats: its base format and the rows the two choosers give it.
struct FormatClass {
    GLenum first, last;  // inclusive range of internal formats
    GLenum baseFormat;
    int8_t softwareRow, deviceRow;
};

// Ranges are listed where the device chooser splits a class (the 16-bit layout with one alpha
// bit suits formats whose alpha has fewer bits than their colour).
const FormatClass kClasses[] = {
    {1, 1, GL_LUMINANCE, kGlTexelL8, kGlTexelXrgb1555},
    {GL_LUMINANCE, GL_LUMINANCE, GL_LUMINANCE, kGlTexelL8, kGlTexelXrgb1555},
    {GL_LUMINANCE4, GL_LUMINANCE16, GL_LUMINANCE, kGlTexelL8, kGlTexelXrgb1555},
    {2, 2, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb4444},
    {GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb4444},
    {GL_LUMINANCE4_ALPHA4, GL_LUMINANCE4_ALPHA4, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb4444},
    {GL_LUMINANCE6_ALPHA2, GL_LUMINANCE6_ALPHA2, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb1555},
    {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb4444},
    {GL_LUMINANCE12_ALPHA4, GL_LUMINANCE12_ALPHA4, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb1555},
    {GL_LUMINANCE12_ALPHA12, GL_LUMINANCE16_ALPHA16, GL_LUMINANCE_ALPHA, kGlTexelL8A8, kGlTexelArgb4444},
    {3, 3, GL_RGB, kGlTexelRgb8, kGlTexelXrgb1555},
    {GL_RGB, GL_RGB, GL_RGB, kGlTexelRgb8, kGlTexelXrgb1555},
    {GL_R3_G3_B2, GL_R3_G3_B2, GL_RGB, kGlTexelRgb8, kGlTexelXrgb1555},
    {GL_RGB4, GL_RGB16, GL_RGB, kGlTexelRgb8, kGlTexelXrgb1555},
    {4, 4, GL_RGBA, kGlTexelRgba8, kGlTexelArgb4444},
    {GL_RGBA, GL_RGBA, GL_RGBA, kGlTexelRgba8, kGlTexelArgb4444},
    {GL_RGBA2, GL_RGBA4, GL_RGBA, kGlTexelRgba8, kGlTexelArgb4444},
    {GL_RGB5_A1, GL_RGB5_A1, GL_RGBA, kGlTexelRgba8, kGlTexelArgb1555},
    {GL_RGBA8, GL_RGBA8, GL_RGBA, kGlTexelRgba8, kGlTexelArgb4444},
    {GL_RGB10_A2, GL_RGB10_A2, GL_RGBA, kGlTexelRgba8, kGlTexelArgb1555},
    {GL_RGBA12, GL_RGBA16, GL_RGBA, kGlTexelRgba8, kGlTexelArgb4444},
    {GL_ALPHA, GL_ALPHA, GL_ALPHA, kGlTexelA8, kGlTexelA4},
    {GL_ALPHA4, GL_ALPHA16, GL_ALPHA, kGlTexelA8, kGlTexelA4},
    {GL_INTENSITY, GL_INTENSITY16, GL_INTENSITY, kGlTexelI8, kGlTexelArgb4444},
    {GL_COLOR_INDEX1_EXT, GL_COLOR_INDEX8_EXT, GL_COLOR_INDEX, kGlTexelIndex8, kGlTexelIndex8},
    {GL_COLOR_INDEX12_EXT, GL_COLOR_INDEX16_EXT, GL_COLOR_INDEX, kGlTexelIndex16, kGlTexelIndex16},
};

const FormatClass *classOf(GLenum internalFormat) {
    if (internalFormat == kRgb2) return nullptr;
    for (const FormatClass &c : kClasses)
        if (internalFormat >= c.first && internalFormat <= c.last) return &c;
    return nullptr;
}

const GlTexelFormat *choose(GLenum internalFormat, GLenum *baseFormat, bool device) {
    const FormatClass *c = classOf(internalFormat);
    if (c == nullptr) return nullptr;
    if (baseFormat != nullptr) *baseFormat = c->baseFormat;
    return __glTexelFormat(device ? c->deviceRow : c->softwareRow);
}

}  // namespace

const GlTexelFormat *__glTexelFormat(int32_t id) {
    if (id == kGlTexelA4) return &kAlpha4Row;
    return id >= 0 && id < kGlTexelA4 ? &kRows[id] : nullptr;
}

const GlTexelFormat *__glChooseTexelFormat(GLenum internalFormat, GLenum *baseFormat) {
    return choose(internalFormat, baseFormat, false);
}

const GlTexelFormat *__glChooseDeviceTexelFormat(GLenum internalFormat, GLenum *baseFormat) {
    return choose(internalFormat, baseFormat, true);
}

int32_t __glChooseDeviceTexelFormat(GlContext *, GLenum internalFormat) {
    const GlTexelFormat *row = choose(internalFormat, nullptr, true);
    return row != nullptr ? row->id : -1;
}

GLenum __glTexBaseFormat(GLenum internalFormat, bool indexFormats) {
    const FormatClass *c = classOf(internalFormat);
    if (c == nullptr || (c->baseFormat == GL_COLOR_INDEX && !indexFormats)) return 0;
    return c->baseFormat;
}
