// Register words of the triangle engine from GL state, the blend table, and the hardware vertex.
#include <array>
#include <cstring>
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/core/shade_flags.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/tex_memory.h"
#include "icd/pixel/texture_object.h"
#include "icd/vertex/color_units.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kUnblended = 0x40000D00u;  // the word of (GL_ONE, GL_ZERO)
constexpr int kFactors = 13;

// The pairs the chip has a word for, by factor index. A word that several pairs share draws only
// one of them as GL defines it: the others are marked inexact and go to software. So do two-pass
// pairs the passes cannot compose: (SRC_ALPHA, SRC_ALPHA) and (1 - SRC_ALPHA, 1 - SRC_ALPHA) sum
// source and destination in the first pass, which saturates where GL's result does not, and the
// first passes of (1 - SRC_ALPHA, SRC_COLOR) and (1 - SRC_ALPHA, 1 - SRC_COLOR) leave a result
// the second pass's plain sum cannot complete.
struct Listed {
    int src, dst;
    uint32_t control, secondPass;
    bool exact;
};
constexpr int ZERO = 0, ONE = 1, SC = 2, OMSC = 3, SA = 4, OMSA = 5, DC = 8, OMDC = 9;
constexpr Listed kListed[] = {
    {ZERO, ZERO, 0xC0000000u, kNone, true},       {ZERO, ONE, kUnblended, kNone, true},
    {ZERO, SC, 0x60000100u, kNone, true},          {ZERO, OMSC, 0x60000500u, kNone, true},
    {ZERO, SA, 0x80000900u, kNone, true},          {ZERO, OMSA, 0x80000100u, kNone, true},
    {ONE, ZERO, kUnblended, kNone, true},          {ONE, ONE, 0x10000100u, kNone, true},
    {ONE, SC, 0x60000100u, 0x10000000u, true},     {ONE, OMSC, 0x60000500u, 0x10000000u, true},
    {ONE, SA, 0x80000900u, 0x10000000u, true},     {ONE, OMSA, 0x80000100u, 0x10000000u, true},
    {SA, ZERO, 0x40000100u, kNone, true},          {SA, ONE, 0x100u, kNone, false},
    {SA, SC, 0x60000100u, 0x10000000u, false},     {SA, OMSC, 0x60000500u, 0x10000000u, false},
    {SA, SA, 0x10000100u, 0x80000800u, false},      {SA, OMSA, 0x100u, kNone, true},
    {OMSA, ZERO, 0x40000900u, kNone, true},        {OMSA, ONE, 0x10000100u, kNone, false},
    {OMSA, SC, 0x60000000u, 0x10000000u, false},    {OMSA, OMSC, 0x60000400u, 0x10000000u, false},
    {OMSA, SA, 0x900u, kNone, true},               {OMSA, OMSA, 0x10000000u, 0x80000100u, false},
    {DC, ZERO, 0x60000100u, kNone, true},          {DC, ONE, 0x20000100u, kNone, false},
    {DC, SC, 0x20000100u, kNone, false},           {DC, OMSC, kUnblended, kNone, false},
    {DC, SA, 0x20000100u, kNone, false},           {DC, OMSA, 0x20000900u, kNone, true},
    {OMDC, ZERO, kUnblended, kNone, false},        {OMDC, ONE, 0x10000100u, kNone, false},
    {OMDC, SC, kUnblended, kNone, false},          {OMDC, OMSC, kUnblended, kNone, false},
    {OMDC, SA, kUnblended, kNone, false},          {OMDC, OMSA, kUnblended, kNone, false},
};

constexpr std::array<HwBlendEntry, kFactors * kFactors> buildBlendTable() {
    std::array<HwBlendEntry, kFactors * kFactors> t{};
    for (HwBlendEntry &e : t) e = {kUnblended, kNone, 0};
    for (const Listed &l : kListed) t[l.src * kFactors + l.dst] = {l.control, l.secondPass, uint8_t(l.exact)};
    return t;
}
constexpr std::array<HwBlendEntry, kFactors * kFactors> kBlendTable = buildBlendTable();

constexpr uint32_t kAlphaFunctionWords[8] = {0x100, 0x200, 0x300, 0x400, 0x500, 0x600, 0x700, 0x800};

// The chip multiplies texel by vertex colour, channel by channel. MODULATE is that product; GL_ALPHA
// textures keep the vertex colour under REPLACE too (the triangle sends their alpha as 255). A
// texture that replaces the colour leaves the fragment its own alpha when it has none itself, and
// gives its alpha otherwise; the expanded luminance is drawn by the texel alone.
uint8_t vertexColourUse(const GlContext *ctx, const GlTextureObject *tex) {
    const GLenum env = ctx->state.pick.texEnvMode != 0 ? ctx->state.pick.texEnvMode : GLenum(GL_MODULATE);
    const GLenum base = GLenum(tex->levels[0]->baseFormat);
    if (env == GL_MODULATE || env == GL_BLEND || (env == GL_REPLACE && base == GL_ALPHA)) return kHwColourVertex;
    if (ctx->hw.alphaExpanded) return kHwColourWhite;
    return base == GL_RGB || base == GL_LUMINANCE ? kHwColourVertexAlpha : kHwColourWhite;
}


}  // namespace

// ---- blend table ------------------------------------------------------------------------------------

int32_t __glHwBlendFactorIndex(GLenum factor) {
    if (factor == GL_ZERO) return 0;
    if (factor == GL_ONE) return 1;
    if (factor >= GL_SRC_COLOR && factor <= GL_SRC_ALPHA_SATURATE) return int32_t(factor) - 766;
    return 12;
}

const HwBlendEntry &__glHwBlendEntry(GLenum src, GLenum dst) {
    return kBlendTable[__glHwBlendFactorIndex(src) * kFactors + __glHwBlendFactorIndex(dst)];
}

BOOL __glHwBlendNeedsSecondPass(GlContext *ctx) {
    if (!(__glShadeFlags(ctx) & kGlShadeBlend)) return FALSE;
    const GlColorBufferState &c = ctx->state.color;
    return __glHwBlendEntry(c.blendSrcFactor, c.blendDstFactor).secondPass != kNone;
}

uint32_t __glHwAlphaFunctionWord(GLenum func) {
    if (func < GL_NEVER || func > GL_ALWAYS) return 0x800;
    return kAlphaFunctionWords[func - GL_NEVER];
}

// ---- register words -----------------------------------------------------------------------------------

void __glHwBuildRegisterWords(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (!hw->triangleRegsStale) return;
    const GlShadeFlags f = __glShadeFlags(ctx);
    uint32_t control, alpha = 0x800;
    if (f & kGlShadeDepthTest)
        control = ((ctx->state.mode.depthFunc - 0x1FF) | 0x300) << 16 |
                  (ctx->state.depthStencil.depthWriteMask ? 0x301000u : 0x1000u);
    else
        control = 0x4081000u;
    if (f & kGlShadeAlphaTest) {
        control = ((control & 0xFBFFFCFFu) | 0x100u) ^ 0x1000000u;
        // The reference is rounded as the fragment's alpha is (the vertex colour bytes round), so
        // that a fragment alpha equal to the reference compares equal on the chip.
        alpha = unitToByteRound(ctx->state.color.alphaRef) | __glHwAlphaFunctionWord(ctx->state.mode.alphaFunc);
    }
    if (f & kGlShadeBlend) {
        const GlColorBufferState &c = ctx->state.color;
        const HwBlendEntry &e = __glHwBlendEntry(c.blendSrcFactor, c.blendDstFactor);
        control |= e.control;
        hw->blendWord = e.secondPass;
        if (c.blendSrcFactor == GL_ZERO && c.blendDstFactor == GL_ONE) control &= 0xF8FFFFFFu;
    } else {
        control |= 0xC00u;
        hw->blendWord = kNone;
    }
    // Without texturing the block carries the default texture, drawn white without reading
    // memory; the chooser gives textured triangles to the chip only when their texture has a copy.
    uint32_t offset = 0, object = hw->triangleObject != 0 ? hw->triangleObject : kHwTriangleObjectVideo;
    uint32_t format = 0x22100000u, filters = 0;
    hw->textureLodParam = 0.0f;
    hw->useVertexColour = kHwColourVertex;
    hw->alphaExpanded = 0;
    const GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    const bool expanded = (f & kGlShadeTexture) && __glHwWantsExpandedLuminance(ctx, tex);
    if (!(f & kGlShadeTexture) || !__glHwTextureWords(ctx, expanded, &offset, &object, &format, &control, &filters)) {
        offset = 0;
        format = 0x22100000u;
        control |= 0xF0u;
    } else {
        if (expanded) {
            // The luminance as alpha: (ZERO, ONE_MINUS_SRC_ALPHA) by white texels.
            hw->alphaExpanded = 1;
            control = (control & 0x0FFFF2FFu) | 0x80000100u;
            hw->blendWord = kNone;
        }
        hw->useVertexColour = vertexColourUse(ctx, tex);
    }
    const uint32_t fog =
        (f & kGlShadeFog) ? 0xFF000000u | uint32_t(ctx->state.fog.fogColorBytes[0]) << 16 |
                                uint32_t(ctx->state.fog.fogColorBytes[1]) << 8 | ctx->state.fog.fogColorBytes[2]
                          : kNone;
    // The setting's texture quality stays in the word's upper bits.
    const uint32_t quality = (hw->triangleRegs[kHwRegQuality] & ~kHwFilterBits) | filters;
    const uint32_t words[6] = {offset, format, quality, fog, control, alpha};
    std::memcpy(hw->triangleRegs, words, sizeof words);
    if (object != hw->triangleObject) {
        hw->triangleObject = object;
        hw->bindPending = 1;
    }
    hw->triangleRegsStale = 0;
    hw->loadedBlock = kHwBlockNone;
}

uint32_t __glHwWriteBlock(HwState *hw, uint32_t *w, const uint32_t regs[6]) {
    w[0] = kHwBindTriangleObject;
    w[1] = hw->triangleObject;
    w[2] = kHwBlockHeader;
    std::memcpy(w + 3, regs, 24);
    hw->bindPending = 0;
    return kHwBlockWords;
}

void __glHwLoadTriangleState(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    __glHwBuildRegisterWords(ctx);
    if (hw->loadedBlock == kHwBlockTriangle) return;
    uint32_t *w = __glHwReserve(hw, kHwBlockWords);
    uint32_t n = 0;
    if (hw->bindPending) {
        w[n++] = kHwBindTriangleObject;
        w[n++] = hw->triangleObject;
        hw->bindPending = 0;
    }
    w[n++] = kHwBlockHeader;
    std::memcpy(w + n, hw->triangleRegs, 24);
    hw->writeIndex += n + 6;
    hw->loadedBlock = kHwBlockTriangle;
}

// ---- vertices ---------------------------------------------------------------------------------------

uint32_t __glHwColourWord(const float *c) {
    return channelToByteNearest(c[3]) << 24 | channelToByteNearest(c[0]) << 16 | channelToByteNearest(c[1]) << 8 | channelToByteNearest(c[2]);
}

uint32_t __glHwVertexColourWord(const HwState *hw, const float *c) {
    switch (hw->useVertexColour) {
    case kHwColourWhite: return kNone;
    case kHwColourVertexAlpha: return channelToByteNearest(c[3]) << 24 | 0x00FFFFFFu;
    default: return __glHwColourWord(c);
    }
}

void __glHwEncodeVertex(const GlContext *ctx, const GlVertex *v, uint32_t tag, uint32_t colour, HwVertex *out) {
    uint32_t fog = 0;
    if (ctx->state.span.raster.shadeFlags & kGlShadeFog) fog = unitToByteTrunc(1.0f - v->fog);
    out->fogTag = fog << 24 | tag;
    out->colour = colour;
    out->x = v->window[0] - ctx->limits.biasXf;
    out->y = v->window[1] - ctx->limits.biasYf;
    out->z = v->window[2];
    out->invW = v->invW;
    out->s = 0.0f;
    out->t = 0.0f;
}
