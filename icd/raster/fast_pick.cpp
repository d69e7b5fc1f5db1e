// The fast-path chooser: after a state change it decides whether software triangles take the
// fast path of the 15- and 16-bit colour buffers and, if so, writes the chain of fast stages into
// the context's successor slots. A state whose chain would need a proc no table holds (colour
// index, other formats, GL_ADD, per-pixel ownership tests, antialiased polygons) is refused and
// drawn by the generic rasteriser.
#include <cstdlib>
#include "icd/codegen/og_procs.h"
#include "icd/codegen/og_triangle.h"
#include "icd/codegen/og_mmx_span.h"
#include "icd/raster/fast_color.h"
#include "icd/raster/fast_texture.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/core/pick.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/pixel/texture_object.h"
#include "icd/pixel/texture.h"

using namespace glraster;

constinit const GlSpanTables __glSpanTablesByFormat[12] = {
    {}, {}, {}, {}, {&__glSpanTable555, &__glStagingSpanTable555, &__glStoreSpanTable555},
    {&__glSpanTable565, &__glStagingSpanTable565, &__glStoreSpanTable565}, {}, {}, {}, {}, {}, {},
};

namespace {

// "__GL_DISABLE_FAST" non-zero: every state is drawn by the generic rasteriser, for the whole
// process (to compare the generic pictures with the others).
bool fastDisabled() {
    static const bool off = [] {
        const char *v = std::getenv("__GL_DISABLE_FAST");
        return v != nullptr && std::atoi(v) != 0;
    }();
    return off;
}

// Blend codes of the accepted factors: source + destination.
int32_t sourceCode(GLenum f) {
    switch (f) {
    case GL_SRC_ALPHA: return 0;
    case GL_ONE_MINUS_SRC_ALPHA: return 4;
    case GL_SRC_ALPHA_SATURATE: return 8;
    default: return -1;
    }
}
int32_t destinationCode(GLenum f) {
    switch (f) {
    case GL_ZERO: return 0;
    case GL_ONE: return 1;
    case GL_SRC_ALPHA: return 2;
    case GL_ONE_MINUS_SRC_ALPHA: return 3;
    default: return -1;
    }
}
bool acceptedBlendCode(int32_t code) { return code == 0 || code == 1 || code == 3 || code == 6 || code == 9; }

bool isMipmap(GLenum filter) { return filter >= GL_NEAREST_MIPMAP_NEAREST && filter <= GL_LINEAR_MIPMAP_LINEAR; }

// Where the texel procs and the compiled-in texture routines read texels from: straight from the
// image when every level that can be sampled has one of the directly read layouts and no border,
// else through each level's fetch proc.
int texelSource(const GlTextureObject *tex, bool mipmapped) {
    const int32_t last = mipmapped ? tex->maxLevel : 0;
    if (tex->levels == nullptr || last < 0 || last >= tex->levelCount) return kGlTexelSourceFetch;
    const int32_t id = tex->levels[0]->texelFormatId;
    for (int32_t i = 0; i <= last; ++i) {
        const GlMipLevel *l = tex->levels[i];
        if (l == nullptr || l->image == nullptr || l->border != 0 || l->texelFormatId != id)
            return kGlTexelSourceFetch;
    }
    switch (id) {
    case kGlTexelRgba8: return kGlTexelSourceRgba8;
    case kGlTexelRgb8: return kGlTexelSourceRgb8;
    case kGlTexelArgb4444: return kGlTexelSourceArgb4444;
    case kGlTexelRgb565: return kGlTexelSourceRgb565;
    case kGlTexelArgb1555: return kGlTexelSourceArgb1555;
    case kGlTexelXrgb1555: return kGlTexelSourceXrgb1555;
    default: return kGlTexelSourceFetch;
    }
}

int texelKindOfMinify(GLenum filter) {
    switch (filter) {
    case GL_NEAREST: return kGlTexelNearestScaledKind;
    case GL_LINEAR: return kGlTexelLinearScaledKind;
    case GL_NEAREST_MIPMAP_NEAREST: return kGlTexelNearestMipNearestKind;
    case GL_LINEAR_MIPMAP_NEAREST: return kGlTexelLinearMipNearestKind;
    case GL_NEAREST_MIPMAP_LINEAR: return kGlTexelNearestMipLinearKind;
    default: return kGlTexelLinearMipLinearKind;
    }
}

// The chain under construction: each proc goes into the slot its predecessor calls.
struct Chain {
    GlFastProc *at;
    bool complete = true;
    void put(GlFastProc proc, GlFastProc *next) {
        if (proc == nullptr) complete = false;
        *at = proc;
        at = next;
    }
};

// The decision the chooser makes, before anything is written.
struct Choice {
    GlFastPathKey key{};
    bool forceGenericSetup = false, fallback = false, twoStage = false, alphaNeeded = false, colorMaskOff = false;
    uint32_t envCode = 0;  // index bits 2-5
    bool dropTexture = false;
    int texKind = -1, minKind = -1, magKind = -1, texSource = -1;  // the texture routine's, for the fused proc
};

// Steps of the texture part: the key bits, the env code and the texel procs; false when the
// fast path cannot draw this texture.
bool chooseTexture(GlContext *ctx, GlShadeFlags f, Choice &c, GlFastPathSlots &sl) {
    GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    if (tex == nullptr || tex->dimensions != 2 || tex->levels == nullptr || tex->levelCount <= 0) return false;
    const GlMipLevel *l0 = tex->levels[0];
    if (l0 == nullptr || l0->image == nullptr) return false;
    const bool mipmapped = isMipmap(tex->minFilter);
    const bool filtersDiffer = tex->minFilter != tex->magFilter;
    if (f & kGlShadePerspectiveTex) c.key.texelKey |= 0x10;

    GLenum base = GLenum(l0->baseFormat);
    const GLenum originalBase = base;
    if (base == GL_COLOR_INDEX) {
        c.key.texelKey |= 0x80;
        base = tex->colorTable.baseFormat;
    }
    c.key.texelKey |= 0x20;
    auto textureAlpha = [&] {
        c.key.texelKey |= 0x40;
        c.key.spanIndex |= 0x20;
    };
    const GLenum envMode = ctx->state.pick.texEnvMode == 0 ? GL_MODULATE : ctx->state.pick.texEnvMode;
    switch (base) {
    case GL_RGB: c.key.texelKey |= 0x100; break;
    case GL_RGBA:
        c.key.texelKey |= 0x300;
        if (envMode == GL_DECAL || c.alphaNeeded) textureAlpha();
        break;
    case GL_LUMINANCE_ALPHA:
        c.key.texelKey |= 0x200;
        if (c.alphaNeeded) textureAlpha();
        break;
    case GL_INTENSITY:
        if (c.alphaNeeded) textureAlpha();
        break;
    default: break;
    }

    switch (envMode) {
    case GL_BLEND: {
        if (base == GL_ALPHA) {
            if (!c.alphaNeeded) c.dropTexture = true;
            else c.envCode = 0x3C;
        } else {
            c.envCode = (base == GL_INTENSITY && c.alphaNeeded) ? 0x14 : 0x10;
        }
        // The environment colour is kept in fragment colour units, alpha too (in the context's
        // units where the buffer has no alpha bits): its colour becomes field bytes as the staged
        // colours are, its alpha a unit byte.
        const float *env = ctx->state.textures.env[0] != nullptr ? ctx->state.textures.env[0]->color : nullptr;
        const GlVisual &v = ctx->visual;
        const int32_t bits[3] = {v.redBits, v.greenBits, v.blueBits};
        float unit[4];
        __glFragmentColorUnits(ctx, unit);
        for (int i = 0; i < 4; ++i) {
            const float e = env != nullptr && unit[i] > 0.0f ? env[i] / unit[i] : 0.0f;
            int32_t byte = int32_t(e * 255.0f + 0.5f);
            byte = byte < 0 ? 0 : (byte > 255 ? 255 : byte);
            // Only the 5- and 6-bit layouts have fast tables.
            const uint32_t u = uint32_t(byte);
            sl.envColorBytes[i] = uint8_t(i < 3 ? glfast::fieldByteOfUnit(u, glfast::fieldByteLimit(bits[i])) : u);
        }
        break;
    }
    case GL_REPLACE:
        if (base == GL_ALPHA) {
            if (!c.alphaNeeded) c.dropTexture = true;
            else {
                c.envCode = 0x38;
                c.forceGenericSetup = true;
            }
        } else {
            c.envCode = 0x04;
        }
        break;
    case GL_MODULATE:
        if (base == GL_ALPHA) {
            if (!c.alphaNeeded) c.dropTexture = true;
            else c.envCode = 0x3C;
        } else {
            c.envCode = 0x0C;
        }
        break;
    case GL_DECAL: c.envCode = (c.key.texelKey & 0x300) == 0x300 || (c.key.texelKey & 0x300) == 0x200 ? 0x08 : 0x04; break;
    default:
        // GL_ADD has code 0x08, whose procs compute the decal of a texture with alpha: refuse.
        return false;
    }
    if (c.dropTexture) return true;

    // The texel procs (their instances for the source the levels are read through) and the routine.
    const int source = texelSource(tex, mipmapped) |
                       (tex->wrapS == GL_REPEAT && tex->wrapT == GL_REPEAT ? kGlTexelRepeatBoth : 0);
    const int minKind = texelKindOfMinify(tex->minFilter);
    const int magKind = tex->magFilter == GL_NEAREST ? kGlTexelNearestScaledKind : kGlTexelLinearScaledKind;
    sl.texelMinify = __glTexelProcs[size_t(minKind)][size_t(source)];
    sl.texelMagnify = __glTexelProcs[size_t(magKind)][size_t(source)];
    sl.texture = tex;
    const bool rgbEntries = originalBase != GL_ALPHA;
    const size_t bytes = !rgbEntries ? 0 : ((c.key.texelKey & 0x40) ? 2 : 1);
    size_t kind;
    if (!filtersDiffer && !(c.key.texelKey & 0x10)) kind = kGlTexAffine;
    else if (mipmapped) kind = kGlTexMip;
    else if (filtersDiffer) kind = kGlTexMinMag;
    else kind = kGlTexPerspective;
    if (kind != kGlTexAffine && (f & kGlShadePerspectiveExact)) kind |= kGlTexExact;
    sl.texRoutine = __glTexSpanRoutines[kind][bytes];
    if (bytes != 0) {
        if (GlFastProc inlined = __glTexSpanRoutineInline(int(kind), bytes == 2 ? 4 : 3, minKind, magKind, source))
            sl.texRoutine = inlined;
        c.texKind = int(kind);
        c.minKind = minKind;
        c.magKind = magKind;
        c.texSource = source;
    }
    c.key.triangleKey[1] = filtersDiffer ? 1 : 0;
    return true;
}

int32_t refuse(GlContext *ctx) {
    ctx->state.span.fastKey = GlFastPathKey{};
    ctx->state.span.fast.spanRoutine = nullptr;
    return 0;
}

// Whether the state's whole span work can be one generated routine: no per-pixel stage other than
// the depth test, no staged colour unless the MMX routine takes it.
bool oneRoutine(GlContext *ctx, GlShadeFlags f, const Choice &c) {
    constexpr GlShadeFlags kIndexTableTest = 0x200000;  // never set: no stage serves it
    constexpr GlShadeFlags kStaged = kIndexTableTest | kGlShadePolygonOffset | kGlShadeFog | kGlShadeAlphaTest |
                                     kGlShadeLogicOp | kGlShadeStencilTest | kGlShadePolygonStipple;
    if ((f & kStaged) || ((f & kGlShadeColorMask) && !(f & kGlShadeDepthTest))) return false;
    // Smooth colour under the depth test runs faster through the chain, whose proc fusing the
    // depth test with the colour works eight pixels at a time (measured: about 1100 against 420
    // Mpixels/s for large triangles), so those rows stay the chain's.
    if ((f & kGlShadeSmooth) && (f & kGlShadeDepthTest) && !(f & (kGlShadeTexture | kGlShadeBlend | kGlShadeColorMask)))
        return false;
    // A textured or two-stage (blended) state is a one-routine where the MMX routine serves it;
    // without MMX a one-stage textured state is one where the integer routine serves it (a nearest,
    // repeating level-0 texture replaced or modulated, affine or under perspective); any other
    // takes the chain and its texture routine.
    if ((f & kGlShadeTexture) || c.twoStage) {
        const bool mmx = __glOgCanUseMmx(ctx) && __glOgMmxSpanServes(ctx);
        if (!mmx && (c.twoStage || !__glOgTexturedOneRoutineServes(ctx))) return false;
    }
    return !c.forceGenericSetup && !c.fallback;
}

}  // namespace

const GlFastPathKey &__glFastPathKeyOf(const GlContext *ctx) { return ctx->state.span.fastKey; }

int32_t __glPickFastTriangleProcs(GlContext *ctx) {
    GlRasterState &rs = rasterOf(ctx);
    const GlShadeFlags f = rs.shadeFlags;
    const GlRasterInputs &in = inputsOf(ctx);
    const GlModeState &mode = ctx->state.mode;
    GlFastPathSlots &sl = ctx->state.span.fast;
    GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    // Colour index has no span tables; only the two 16-bit layouts have them.
    if (sl.genericOnly || fastDisabled() || !(f & kGlShadeRgba) || cb == nullptr || ctx->state.pick.drawNone) return refuse(ctx);
    const GlSpanTables &tables = __glSpanTablesByFormat[cb->formatCode >= 0 && cb->formatCode < 12 ? cb->formatCode : 0];
    if (tables.basic == nullptr || cb->head.elementSize != 2) return refuse(ctx);
    // Pixel ownership per pixel and antialiased polygons have no fast stage.
    if ((f & kGlShadeFrontClip) || (ctx->state.enable.enables & kGlEnablePolygonSmooth)) return refuse(ctx);
    if (in.alphaTestSize != 256) return refuse(ctx);
    // The depth and stencil stages walk buffer memory the set-up addresses.
    if (((f & kGlShadeDepthTest) && ctx->buffers.depth.head.base == nullptr) ||
        ((f & kGlShadeStencilTest) && ctx->buffers.stencil.head.base == nullptr))
        return refuse(ctx);

    Choice c;
    if ((f & kGlShadePolygonOffset) || ((f & kGlShadeFog) && mode.hints[4] == GL_NICEST)) c.forceGenericSetup = true;
    if (mode.polygonMode[0] != GL_FILL || mode.polygonMode[1] != GL_FILL) c.forceGenericSetup = true;
    if (in.drawBothBuffers) c.forceGenericSetup = c.fallback = true;

    // The span table and the stage count.
    const uint8_t *cm = ctx->state.color.colorMask;
    const bool anyMask = cm[0] || cm[1] || cm[2] || cm[3];
    if (f & kGlShadeColorMask) {
        if (anyMask) c.fallback = true;
        else c.colorMaskOff = true;
    }
    c.twoStage = (f & (kGlShadeBlend | kGlShadeAlphaTest | kGlShadeLogicOp | kGlShadeFog)) || c.fallback;
    if (f & kGlShadeBlend) {
        c.key.spanIndex = 1;
        c.alphaNeeded = true;
    }
    if ((f & kGlShadeAlphaTest) || (ctx->visual.alphaBits > 0 && cm[3])) {
        c.alphaNeeded = true;
        c.key.spanIndex |= 1;
    }
    if (f & kGlShadeSmooth) c.key.spanIndex |= 2;
    if (f & kGlShadeDither) {
        if (c.twoStage) c.key.storeIndex = 0x10;
        else c.key.spanIndex |= 1;
    }
    if (f & kGlShadeTexture) {
        if (!chooseTexture(ctx, f, c, sl)) return refuse(ctx);
        if (c.dropTexture) rs.shadeFlags &= ~(kGlShadeTexture | kGlShadePerspectiveTex | kGlShadePerspectiveExact);
        else c.key.spanIndex = (c.key.spanIndex & ~0x1Cu) | c.envCode;
    }
    if (c.twoStage) c.key.triangleKey[3] = 1;

    sl.spanRoutine = nullptr;
    const GlFastProcTable<64> &spanTable = c.twoStage ? *tables.staging : *tables.basic;
    GlFastProc spanProc = spanTable[c.key.spanIndex];
    // Smooth GL_MODULATE with colour entries: one proc samples and modulates whole chunks.
    if (!c.twoStage && (c.key.spanIndex & ~1u) == (2 | 0x0C) && c.texKind >= 0)
        if (GlFastProc fused = __glTexModulateProc(c.texKind, c.minKind, c.magKind, c.texSource, cb->formatCode,
                                                   c.key.spanIndex & 1))
            spanProc = fused;
    Chain chain{&sl.fastStageFirst};
    // No chain needs a scissor stage: the clip box holds the scissor box, the set-up clips rows to
    // it, the C walker clips each row's positions, and a generated routine is entered only with
    // triangles whose every column lies inside it.
    if (f & kGlShadePolygonStipple) chain.put(__glFastPolygonStipple, &sl.afterStipple);
    if (f & kGlShadeAlphaTest) {
        chain.put(spanProc, &sl.afterColor);
        chain.put(__glFastAlphaTest, &sl.afterAlphaTest);
    }
    if (f & kGlShadeStencilTest) {
        chain.put(__glFastStencilTest, &sl.afterStencilTest);
        sl.stencilFailOp = __glPickFastStencilOp(mode.stencilFail);
        sl.stencilDepthFailOp = __glPickFastStencilOp(mode.stencilDepthFail);
        sl.stencilDepthPassOp = __glPickFastStencilOp(mode.stencilDepthPass);
        if (!sl.stencilFailOp || !sl.stencilDepthFailOp || !sl.stencilDepthPassOp) return refuse(ctx);
    }
    GlDepthBuffer &db = ctx->buffers.depth;
    if ((f & kGlShadeDepthTest) && !(mode.depthFunc == GL_ALWAYS && !ctx->state.depthStencil.depthWriteMask)) {
        const int32_t index = __glDepthTestIndex(ctx, &db) + ((f & kGlShadePolygonOffset) ? 32 : 0);
        // Where the smooth untextured basic span proc is all that follows the test, one proc does
        // both for whole chunks (the span proc still fills the after-depth slot for the others).
        const bool smoothNext = !c.twoStage && !c.colorMaskOff && !(f & kGlShadeStencilTest) &&
                                (c.key.spanIndex & ~1u) == 2;
        const GlFastProc fused = smoothNext ? __glFastDepthSmoothProc(cb->formatCode, c.key.spanIndex & 1, index) : nullptr;
        GlFastProc depth = fused ? fused : __glFastDepthTestProcs[size_t(index)];
        if (__glOgFastDepthStageWanted(ctx))
            if (GlFastProc generated = __glOgGenDepthTestProc(ctx)) depth = generated;
        chain.put(depth, &sl.afterDepthTest);
    }
    if (f & kGlShadeStencilTest) chain.put(__glFastStencilUpdate, &sl.afterStencilUpdate);

    if (c.colorMaskOff) {
        chain.put(__glFastStageNone, nullptr);
    } else if (!c.twoStage) {
        chain.put(spanProc, nullptr);
    } else {
        if (!(f & kGlShadeAlphaTest)) chain.put(spanProc, &sl.afterColor);
        if (f & kGlShadeFog) chain.put(__glFastFogProc(cb->formatCode, mode.hints[4] == GL_NICEST), &sl.afterFog);
        // The store.
        if (c.alphaNeeded) c.key.storeIndex |= 0x40;
        if (f & kGlShadeLogicOp) {
            c.key.storeIndex |= (mode.logicOp - GL_CLEAR) & 0xF;
        } else if (f & kGlShadeBlend) {
            const int32_t s = sourceCode(ctx->state.color.blendSrcFactor);
            const int32_t d = destinationCode(ctx->state.color.blendDstFactor);
            if (s < 0 || d < 0 || !acceptedBlendCode(s + d)) c.fallback = true;
            else c.key.storeIndex |= 0x20 | uint32_t(s + d);
        } else {
            c.key.storeIndex |= 3;
        }
        if (c.fallback) {
            const GlFastProc store = __glStoreSpanByFormat[size_t(cb->formatCode)];
            if (in.drawBothBuffers) {
                chain.put(__glStoreSpanBothBuffers, nullptr);
                sl.bothBuffersStore = store;
                if (store == nullptr) return refuse(ctx);
            } else {
                chain.put(store, nullptr);
            }
        } else {
            chain.put((*tables.store)[c.key.storeIndex], nullptr);
        }
    }
    if (!chain.complete) return refuse(ctx);

    // The rows of a triangle are walked by a generated span routine when one can be had (the
    // one-routine where the state allows it, else the routine that runs the chain just built);
    // without one the set-up's C walker runs the chain.
    const bool single = oneRoutine(ctx, rs.shadeFlags, c);
    // A replacing texture drawn without dither or blend by the integer one-routine may be copied
    // as the colour buffer's own pixels: level 0 gets its copy in the buffer's layout first. The
    // MMX routine, which draws every textured state it serves, reads the level itself.
    if (single && (rs.shadeFlags & kGlShadeTexture) && c.envCode == 0x04 &&
        !(rs.shadeFlags & (kGlShadeDither | kGlShadeBlend)) && !(__glOgCanUseMmx(ctx) && __glOgMmxSpanServes(ctx)))
        __glConvertTexLevelToDrawable(ctx);
    void *routine = single ? __glOgGenSpanProc(ctx, 0) : nullptr;
    if (routine == nullptr) routine = __glOgGenSpanProc(ctx, 1);
    sl.spanRoutine = reinterpret_cast<GlFastProc>(routine);

    GlPrimitiveProcs &prim = ctx->slots.primitive;
    if (mode.polygonMode[0] == GL_FILL && mode.polygonMode[1] == GL_FILL)
        prim.renderTriangle = (f & kGlShadeSmoothColors) ? __glTriangleFaceSmooth : __glTriangleFaceFlat;
    else
        prim.renderTriangle = __glTriangleFacePolygonMode;
    // The prebuilt set-up, replaced by a generated triangle routine where one serves the state.
    ctx->state.pick.rasterTriangleProc = __glFillTriangleFast;
    if (!c.forceGenericSetup) __glOgInstallTriangleProc(ctx);
    c.key.triangleKey[2] = 0;
    ctx->state.span.fastKey = c.key;
    return 1;
}
