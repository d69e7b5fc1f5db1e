// Texture environment procs: combine a sampled texel with the fragment colour, one proc per
// environment mode and base format. Texel bytes are read as b / 255; fragment colours, the
// environment colour and the scales are in the colour buffer's units.
#pragma once
#include <cstdint>

struct GlContext;

// X(name, mode, base format) for every pair with a proc of its own; GL_DECAL of formats without
// colour leaves the fragment alone and has none.
#define KIV_TEX_ENV_PROCS(X)                            \
    X(ModulateLuminance, Modulate, Luminance)           \
    X(ModulateLuminanceAlpha, Modulate, LuminanceAlpha) \
    X(ModulateRgb, Modulate, Rgb)                       \
    X(ModulateRgba, Modulate, Rgba)                     \
    X(ModulateAlpha, Modulate, Alpha)                   \
    X(ModulateIntensity, Modulate, Intensity)           \
    X(ModulateColorIndex, Modulate, ColorIndex)         \
    X(DecalRgb, Decal, Rgb)                             \
    X(DecalRgba, Decal, Rgba)                           \
    X(BlendLuminance, Blend, Luminance)                 \
    X(BlendLuminanceAlpha, Blend, LuminanceAlpha)       \
    X(BlendRgb, Blend, Rgb)                             \
    X(BlendRgba, Blend, Rgba)                           \
    X(BlendAlpha, Blend, Alpha)                         \
    X(BlendIntensity, Blend, Intensity)                 \
    X(ReplaceLuminance, Replace, Luminance)             \
    X(ReplaceLuminanceAlpha, Replace, LuminanceAlpha)   \
    X(ReplaceRgb, Replace, Rgb)                         \
    X(ReplaceRgba, Replace, Rgba)                       \
    X(ReplaceAlpha, Replace, Alpha)                     \
    X(ReplaceIntensity, Replace, Intensity)             \
    X(ReplaceColorIndex, Replace, ColorIndex)           \
    X(AddColorIndex, Add, ColorIndex)

#define KIV_DECLARE_TEX_ENV(name, mode, base) void __glTexEnv##name(GlContext *ctx, float *color, const uint8_t *texel);
KIV_TEX_ENV_PROCS(KIV_DECLARE_TEX_ENV)
#undef KIV_DECLARE_TEX_ENV

// Unit 0's environment colour as the environment procs read it.
const float *__glTexEnvColor(GlContext *ctx);
