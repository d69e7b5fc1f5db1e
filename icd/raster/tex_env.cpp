// Texture environment procs, all from one template over the mode and the base format.
#include "icd/raster/tex_env.h"
#include "icd/core/context.h"
#include "icd/raster/color_buffer.h"

namespace {

enum class EnvMode { Modulate, Decal, Blend, Replace, Add };
enum class EnvBase { Luminance, LuminanceAlpha, Rgb, Rgba, Alpha, Intensity, ColorIndex };

// The scales of the colour buffer drawn into: the units fragment colours are in.
inline void scalesOf(GlContext *ctx, float *s) {
    if (const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer) {
        s[0] = cb->redScale, s[1] = cb->greenScale, s[2] = cb->blueScale, s[3] = cb->alphaScale;
    } else {
        const GlColorScales &c = ctx->scales;
        s[0] = c.redScale, s[1] = c.greenScale, s[2] = c.blueScale, s[3] = c.alphaScale;
    }
}

template <EnvMode M, EnvBase B>
void texEnv(GlContext *ctx, float *c, const uint8_t *texel) {
    const float *unit = ctx->ubyteToFloat;
    if constexpr (B == EnvBase::ColorIndex) {
        const float x = unit[texel[0]];
        if constexpr (M == EnvMode::Modulate) c[0] *= x;
        if constexpr (M == EnvMode::Replace) c[0] = x;
        if constexpr (M == EnvMode::Add) c[0] += x;
        return;
    } else {
        constexpr bool hasColor = B != EnvBase::Alpha;
        constexpr bool hasAlpha = B == EnvBase::LuminanceAlpha || B == EnvBase::Rgba || B == EnvBase::Alpha ||
                                  B == EnvBase::Intensity;
        constexpr bool rgb = B == EnvBase::Rgb || B == EnvBase::Rgba;
        // Luminance and intensity come in the red byte.
        const float at = unit[texel[B == EnvBase::Intensity ? 0 : 3]];
        float ct[3] = {0.0f, 0.0f, 0.0f};
        if constexpr (hasColor)
            for (int i = 0; i < 3; ++i) ct[i] = unit[texel[rgb ? i : 0]];
        float s[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if constexpr (M == EnvMode::Decal || M == EnvMode::Replace) scalesOf(ctx, s);

        if constexpr (M == EnvMode::Modulate) {
            if constexpr (hasColor)
                for (int i = 0; i < 3; ++i) c[i] *= ct[i];
            if constexpr (hasAlpha) c[3] *= at;
        } else if constexpr (M == EnvMode::Decal) {
            static_assert(rgb, "decal has procs for RGB and RGBA textures only");
            for (int i = 0; i < 3; ++i) {
                if constexpr (B == EnvBase::Rgba)
                    c[i] = at * ct[i] * s[i] + (1.0f - at) * c[i];
                else
                    c[i] = ct[i] * s[i];
            }
        } else if constexpr (M == EnvMode::Blend) {
            const float *cc = __glTexEnvColor(ctx);
            if constexpr (hasColor)
                for (int i = 0; i < 3; ++i) c[i] = (1.0f - ct[i]) * c[i] + ct[i] * cc[i];
            if constexpr (B == EnvBase::Intensity)
                c[3] = at * cc[3] + (1.0f - at) * c[3];
            else if constexpr (hasAlpha)
                c[3] *= at;
        } else if constexpr (M == EnvMode::Replace) {
            if constexpr (hasColor)
                for (int i = 0; i < 3; ++i) c[i] = ct[i] * s[i];
            if constexpr (hasAlpha) c[3] = at * s[3];
        } else {
            static_assert(M != EnvMode::Add, "add has a proc for colour-index textures only");
        }
    }
}

}  // namespace

// The first environment record of unit 0; black before the records exist.
const float *__glTexEnvColor(GlContext *ctx) {
    static const float kNone[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const GlTextureBindingState &b = ctx->state.textures;
    return b.env[0] != nullptr ? b.env[0][0].color : kNone;
}

#define KIV_DEFINE_TEX_ENV(name, mode, base)                                          \
    void __glTexEnv##name(GlContext *ctx, float *color, const uint8_t *texel) {       \
        texEnv<EnvMode::mode, EnvBase::base>(ctx, color, texel);                      \
    }
KIV_TEX_ENV_PROCS(KIV_DEFINE_TEX_ENV)
#undef KIV_DEFINE_TEX_ENV
