// Texture-side helpers of the triangle engine: the filter bits, the expanded form a luminance
// texture is drawn in, and the shift of repeating texture coordinates toward the origin.
#include <cmath>
#include "icd/core/context.h"
#include "icd/hw/hw_regs.h"
#include "icd/pixel/texture_object.h"

// The texels the chip reads for a luminance texture drawn by its alpha: the luminance's top four
// bits in the alpha nibble, the colour channels white.
uint16_t __glHwExpandedLuminanceTexel(uint16_t t) { return uint16_t(t << 1 | 0x0FFF); }

bool __glHwWantsExpandedLuminance(const GlContext *ctx, const GlTextureObject *tex) {
    if (tex == nullptr || tex->levels == nullptr || tex->levels[0] == nullptr) return false;
    const GlMipLevel *l = tex->levels[0];
    if (l->baseFormat != GL_LUMINANCE || l->texelFormatId != kHwTexelNormal) return false;
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    const GLenum env = ctx->state.pick.texEnvMode != 0 ? ctx->state.pick.texEnvMode : GLenum(GL_MODULATE);
    const GlColorBufferState &c = ctx->state.color;
    return (f & kGlShadeTexture) && (f & kGlShadeBlend) && env == GL_REPLACE && c.blendSrcFactor == GL_ZERO &&
           c.blendDstFactor == GL_ONE_MINUS_SRC_COLOR;
}

// GL's magnification reaches a level of detail of 0.5 when it filters linearly and the nearest
// texel of a level would follow it.
uint32_t __glHwFilterBits(GLenum minFilter, GLenum magFilter) {
    uint32_t bits = kHwFiltersGiven;
    if (minFilter == GL_LINEAR || minFilter == GL_LINEAR_MIPMAP_NEAREST || minFilter == GL_LINEAR_MIPMAP_LINEAR)
        bits |= kHwMinifyLinear;
    if (minFilter == GL_NEAREST_MIPMAP_LINEAR || minFilter == GL_LINEAR_MIPMAP_LINEAR) bits |= kHwMinifyTwoLevels;
    if (magFilter == GL_LINEAR) {
        bits |= kHwMagnifyLinear;
        if (minFilter == GL_NEAREST_MIPMAP_NEAREST || minFilter == GL_NEAREST_MIPMAP_LINEAR) bits |= kHwMagnifyToHalf;
    }
    return bits;
}

// Each repeating axis moves by the whole number at or below its smallest coordinate; an axis
// that clamps keeps its coordinates.
void __glHwWrapTexCoords(float *pairs, int32_t count, GLenum wrapS, GLenum wrapT) {
    if (count < 2) return;
    const bool axis[2] = {wrapS == GL_REPEAT, wrapT == GL_REPEAT};
    for (int a = 0; a < 2; ++a) {
        if (!axis[a]) continue;
        float lowest = pairs[a];
        for (int32_t i = a; i < count; i += 2) lowest = std::fmin(lowest, pairs[i]);
        if (!(std::fabs(lowest) < 8388608.0f)) continue;  // no fraction left to keep, or not a number
        const float shift = std::floor(lowest);
        if (shift == 0.0f) continue;
        for (int32_t i = a; i < count; i += 2) pairs[i] -= shift;
    }
}
