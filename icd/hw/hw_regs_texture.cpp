// Texture-side helpers of the triangle engine: the two forms a luminance texture is held in, and
// the shift of repeating texture coordinates toward the origin.
#include <cmath>
#include "icd/hw/hw_regs.h"
#include "icd/pixel/texture_object.h"

namespace {

template <class F>
void eachTexel(GlTextureObject *tex, int32_t format, F f) {
    for (int32_t i = 0; i < tex->levelCount; ++i) {
        GlMipLevel *level = tex->levels != nullptr ? tex->levels[i] : nullptr;
        if (level == nullptr || level->image == nullptr) continue;
        level->texelFormatId = format;
        const int32_t n = level->width * level->height * (level->depth > 0 ? level->depth : 1);
        uint16_t *t = reinterpret_cast<uint16_t *>(level->image);
        for (int32_t k = 0; k < n; ++k) t[k] = f(t[k]);
    }
}

}  // namespace

// Normal form: L replicated into the three 5-bit channels with the top bit set. Expanded form: L
// shifted to the top, the low twelve bits set.
void __glHwExpandLuminance(GlTextureObject *tex) {
    eachTexel(tex, kHwTexelLuminanceExpanded, [](uint16_t t) { return uint16_t(t << 1 | 0x0FFF); });
}

// The expanded form keeps the top four bits of the luminance (bit 11 is among the bits set):
// the restored value takes them and repeats the top bit below, as the chip widens four bits.
void __glHwRestoreLuminance(GlTextureObject *tex) {
    eachTexel(tex, kHwTexelNormal, [](uint16_t t) {
        const uint16_t d = uint16_t((((t >> 12) << 1) & 0x1F) | t >> 15);
        return uint16_t(d | d << 5 | d << 10 | 0x8000);
    });
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
