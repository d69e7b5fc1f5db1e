// glGetTexImage's copy of a level into client memory: the level's texels, border included, as
// RGBA in [0, 1] by the base format's rule, packed through the pixel path with the pack modes.
#include <vector>
#include "icd/core/core.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/texture.h"

namespace {

// The texel channels R, G, B, A in [0, 1] as glGetTexImage returns them for the base format:
// luminance and intensity in red, the missing colour channels 0, a missing alpha 1.
void texelGroup(GLenum baseFormat, const float *c, float *out) {
    switch (baseFormat) {
    case GL_LUMINANCE:
    case GL_INTENSITY: out[0] = c[0], out[1] = out[2] = 0.0f, out[3] = 1.0f; return;
    case GL_LUMINANCE_ALPHA: out[0] = c[0], out[1] = out[2] = 0.0f, out[3] = c[3]; return;
    case GL_ALPHA: out[0] = out[1] = out[2] = 0.0f, out[3] = c[3]; return;
    case GL_RGB: out[0] = c[0], out[1] = c[1], out[2] = c[2], out[3] = 1.0f; return;
    default: out[0] = c[0], out[1] = c[1], out[2] = c[2], out[3] = c[3]; return;
    }
}

// The unpack spans of the 16-bit texel codes 0-4 and the channels they write.
struct TexelCodeUnpack {
    GlPixelSpanProc unpack;
    int32_t components;
};
constexpr TexelCodeUnpack kTexelCodeUnpacks[] = {
    {__glUnpackTexelRGB565, 3},   {__glUnpackTexelXRGB1555, 3}, {__glUnpackTexelARGB1555, 4},
    {__glUnpackTexelARGB4444, 4}, {__glUnpackTexelA4, 4},
};
static_assert(sizeof kTexelCodeUnpacks / sizeof kTexelCodeUnpacks[0] == kGlTexelCodeA4 + 1);

// Stored row `row` (border rows counted) of a level as `width` RGBA groups in [0, 1]. A 16-bit
// texel code is unpacked field by field (v / max, exactly); the byte layouts come through the
// level's fetch, whose bytes are exact.
void levelRow(GlContext *ctx, GlTextureObject *tex, GlMipLevel *l, int32_t row, int32_t width, float *out) {
    const GlTexelFormat *f = l->texelFormat;
    const int32_t border = l->border;
    float c[4];
    if (f != nullptr && f->bitsPerTexel == 16 && f->type <= kGlTexelCodeA4) {
        const TexelCodeUnpack &u = kTexelCodeUnpacks[f->type];
        GlPixelSpan span{};
        span.width = 1;
        const uint8_t *texel = l->image + (size_t(row) * size_t(l->width)) * 2;
        for (int32_t s = 0; s < width; ++s, texel += 2, out += 4) {
            c[3] = 1.0f;
            u.unpack(ctx, &span, texel, c);
            texelGroup(GLenum(l->baseFormat), c, out);
        }
        return;
    }
    for (int32_t s = 0; s < width; ++s, out += 4) {
        uint8_t b[4] = {0, 0, 0, 255};
        l->fetch(l, tex, 0, row - border, s - border, b);
        for (int k = 0; k < 4; ++k) c[k] = float(b[k]) / 255.0f;
        texelGroup(GLenum(l->baseFormat), c, out);
    }
}

}  // namespace

void __glGetTexLevelImage(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum format, GLenum type,
                          void *pixels) {
    if (tex == nullptr || tex->levels == nullptr || pixels == nullptr) return;
    GlMipLevel *l = tex->levels[level];
    if (l == nullptr || l->image == nullptr || l->width <= 0 || l->height <= 0) return;
    const int32_t border = l->border;
    const int32_t width = l->width;
    const int32_t height = tex->dimensions == 1 ? 1 : l->height;
    std::vector<float> rgba;
    try {
        rgba.resize(size_t(width) * size_t(height) * 4);
    } catch (const std::bad_alloc &) {
        return __glSetError(GL_OUT_OF_MEMORY);
    }
    // A 1-D level keeps its one row between its two border rows.
    const int32_t firstRow = tex->dimensions == 1 ? border : 0;
    for (int32_t t = 0; t < height; ++t) levelRow(ctx, tex, l, firstRow + t, width, rgba.data() + size_t(t) * width * 4);

    // The texels are returned as stored: no pixel transfer.
    GlPixelSpan span{};
    __glSetupRgbaToImage(ctx, &span, rgba.data(), width, height, format, type, pixels);
    __glRunCopyImageFromTexture(ctx, tex, &span, GL_FALSE);
}
