// The pickers of buffers and per-vertex and per-fragment attributes: draw and read buffers,
// depth, fog, shade model, texture-coordinate generation, texture procs and the pixel path.
#include "icd/core/pick.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/drawable.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/tex_env.h"
#include "icd/raster/tex_sample.h"

namespace {

GlPickState &pickOf(GlContext *ctx) { return ctx->state.pick; }

// A buffer of the drawable that has memory: both size words of its descriptor are non-zero.
bool bufferPresent(const GlContext *ctx, int index) {
    const GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    return rec != nullptr && rec->descriptors[index].width != 0 && rec->descriptors[index].height != 0;
}

}  // namespace

void __glPickDrawBufferProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlColorBuffers &cbs = ctx->buffers.color;
    GlRasterInputs &in = ctx->state.span.inputs;
    in.drawBothBuffers = 0;
    p.hwDrawBuffer = nullptr;
    p.drawBufferMask = 0;  // from nothing at every pick: no bit of an earlier buffer survives
    p.drawBufferCode = 0;
    p.drawNone = 0;
    GLenum mode = ctx->state.mode.drawBuffer;
    if (mode == GL_FRONT_AND_BACK && !ctx->visual.doubleBuffer) mode = GL_FRONT;
    switch (mode) {
    case GL_FRONT:
        cbs.drawColorBuffer = &cbs.front;
        p.drawBufferCode = kGlDrawFront;
        if (bufferPresent(ctx, 0)) {
            p.drawBufferMask = kGlDrawFront;
            p.hwDrawBuffer = &cbs.front;
        }
        break;
    case GL_BACK:
        cbs.drawColorBuffer = &cbs.back;
        p.drawBufferCode = kGlDrawBack;
        if (bufferPresent(ctx, 1)) {
            p.drawBufferMask = kGlDrawBack;
            p.hwDrawBuffer = &cbs.back;
        }
        break;
    case GL_FRONT_AND_BACK:
        cbs.drawColorBuffer = &cbs.back;
        in.drawBothBuffers = 1;
        p.drawBufferCode = kGlDrawFront | kGlDrawBack;
        if (bufferPresent(ctx, 0)) p.drawBufferMask |= kGlDrawFront;
        if (bufferPresent(ctx, 1)) p.drawBufferMask |= kGlDrawBack;
        break;
    default:
        // GL_NONE (and auxiliary buffers, which this driver has none of): colour writes are
        // discarded rather than going on into the buffer an earlier pick chose.
        cbs.drawColorBuffer = nullptr;
        p.drawNone = 1;
        break;
    }
    // A buffer of the drawable that has no memory is never drawn into: its colour writes are
    // discarded as with GL_NONE (depth and stencil still take theirs), and of two buffers the
    // one with memory is drawn alone. Without a drawable record the buffers stand as attached.
    if (ctx->tail.drawableBuffers != nullptr && cbs.drawColorBuffer != nullptr) {
        const bool front = in.drawBothBuffers || cbs.drawColorBuffer == &cbs.front;
        const bool back = in.drawBothBuffers || cbs.drawColorBuffer == &cbs.back;
        const bool frontDrawn = front && bufferPresent(ctx, 0), backDrawn = back && bufferPresent(ctx, 1);
        in.drawBothBuffers = frontDrawn && backDrawn;
        cbs.drawColorBuffer = backDrawn ? &cbs.back : (frontDrawn ? &cbs.front : nullptr);
        p.drawNone = cbs.drawColorBuffer == nullptr;
    }
    GLenum read = ctx->state.pixel.readBuffer;
    p.readBufferCode = read == GL_FRONT ? kGlDrawFront : (read == GL_BACK ? kGlDrawBack : 0);
    GlShadeFlags f = __glShadeFlags(ctx);
    if (f & kGlShadeDepthTest) p.drawBufferMask |= kGlDrawDepth;
    if (f & kGlShadeStencilTest) p.drawBufferMask |= kGlDrawStencil;
}

void __glPickDepthProcs(GlContext *ctx) {
    GlDepthBuffer &db = ctx->buffers.depth;
    if (!ctx->visual.hasDepth) {
        // No buffer to test against: the span picker still sees the function of the state.
        ctx->state.span.inputs.effectiveDepthFunc = ctx->state.mode.depthFunc;
        return;
    }
    // The epoch step may mirror the function; the index follows the effective one. The buffer's
    // pick installs the test procs and the effective function the span picker reads.
    __glUpdateDepthEpoch(&db);
    int32_t index = __glDepthTestIndex(ctx, &db);
    pickOf(ctx).depthTestIndex = index;
    if (db.pick != nullptr) db.pick(ctx, &db, index);
}

void __glPickFogProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    if (!(ctx->state.enable.enables & kGlEnableFog)) {
        ctx->slots.primitive.fogFactor = nullptr;
        p.fragmentFog = nullptr;
        p.fogBlend = nullptr;
        return;
    }
    // With the nicest hint fog is computed per fragment: no vertex factor.
    if (ctx->state.mode.hints[4] == GL_NICEST)
        ctx->slots.primitive.fogFactor = nullptr;
    else
        ctx->slots.primitive.fogFactor = ctx->state.fog.fogMode == GL_LINEAR ? __glFogVertexFactorLinear : __glFogVertexFactor;
    p.fragmentFog = __glFogFragment;
    p.fogBlend = __glFogBlendColor;
}

void __glPickShadeModelProcs(GlContext *ctx) {
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    prim.clipLine = ctx->state.mode.shadeModel == GL_FLAT ? __glDoClipLineFlat : __glDoClipLineSmooth;
    prim.clipTriangle = __glClipDrawTriangle;
    // Quads and polygons that cross a plane go through the same clipper as triangles.
    prim.clipPolygon = [](GlContext *c, GlVertex **list, int32_t n, uint32_t codes) {
        __glClipDrawPolygon(c, list, n, codes);
    };
    prim.renderPolygon = __glClipDrawPolygonRun;
}

void __glPickTexGenProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    uint32_t gen = (ctx->state.enable.texUnitEnables[0] / kGlEnableTexGenS) & 0xF;  // S, T, R, Q
    auto mode = [&](int i) { return p.texGenMode[i] == 0 ? GLenum(GL_EYE_LINEAR) : p.texGenMode[i]; };
    GlPickVertexProc proc;
    if (gen == 0x3 && mode(0) == mode(1)) {
        switch (mode(0)) {
        case GL_OBJECT_LINEAR: proc = __glTexGenObjectLinear; break;
        case GL_SPHERE_MAP: proc = __glTexGenSphereMap; break;
        default: proc = __glTexGenEyeLinear; break;
        }
    } else {
        proc = gen != 0 ? __glTexGenMixed : __glTexGenOff;
    }
    ctx->slots.primitive.texCoord = proc;
    ctx->slots.primitive.rasterTexCoord = proc;
    p.texGenInner = proc;
}

// Environment procs by mode (row) and base format (column).
GlTexEnvProc __glChooseTexEnvProc(GLenum envMode, GLenum baseFormat) {
    static const GLenum formats[7] = {GL_LUMINANCE, GL_LUMINANCE_ALPHA, GL_RGB, GL_RGBA,
                                      GL_ALPHA,     GL_INTENSITY,       GL_COLOR_INDEX};
    static const GlTexEnvProc modulate[7] = {
        GL_AS_PROC(__glTexEnvModulateLuminance), GL_AS_PROC(__glTexEnvModulateLuminanceAlpha),
        GL_AS_PROC(__glTexEnvModulateRgb),       GL_AS_PROC(__glTexEnvModulateRgba),
        GL_AS_PROC(__glTexEnvModulateAlpha),     GL_AS_PROC(__glTexEnvModulateIntensity),
        GL_AS_PROC(__glTexEnvModulateColorIndex)};
    static const GlTexEnvProc replace[7] = {
        GL_AS_PROC(__glTexEnvReplaceLuminance), GL_AS_PROC(__glTexEnvReplaceLuminanceAlpha),
        GL_AS_PROC(__glTexEnvReplaceRgb),       GL_AS_PROC(__glTexEnvReplaceRgba),
        GL_AS_PROC(__glTexEnvReplaceAlpha),     GL_AS_PROC(__glTexEnvReplaceIntensity),
        GL_AS_PROC(__glTexEnvReplaceColorIndex)};
    // GL_BLEND has no colour-index form; GL_DECAL leaves the fragment alone except for RGB and
    // RGBA; GL_ADD is defined for colour-index textures only.
    static const GlTexEnvProc blend[7] = {
        GL_AS_PROC(__glTexEnvBlendLuminance), GL_AS_PROC(__glTexEnvBlendLuminanceAlpha),
        GL_AS_PROC(__glTexEnvBlendRgb),       GL_AS_PROC(__glTexEnvBlendRgba),
        GL_AS_PROC(__glTexEnvBlendAlpha),     GL_AS_PROC(__glTexEnvBlendIntensity),
        nullptr};
    static const GlTexEnvProc decal[7] = {__glNopProc, __glNopProc, GL_AS_PROC(__glTexEnvDecalRgb),
                                          GL_AS_PROC(__glTexEnvDecalRgba), __glNopProc, __glNopProc, nullptr};
    int col = -1;
    for (int i = 0; i < 7; ++i)
        if (formats[i] == baseFormat) col = i;
    GlTexEnvProc proc = nullptr;
    if (col >= 0) {
        switch (envMode) {
        case GL_MODULATE: proc = modulate[col]; break;
        case GL_REPLACE: proc = replace[col]; break;
        case GL_BLEND: proc = blend[col]; break;
        case GL_DECAL: proc = decal[col]; break;
        case 0x104: proc = baseFormat == GL_COLOR_INDEX ? GL_AS_PROC(__glTexEnvAddColorIndex) : nullptr; break;
        default: break;
        }
    }
    // A pair without a proc of its own leaves the fragment colour as it is: never the proc of an
    // earlier texture or mode.
    return proc != nullptr ? proc : __glNopProc;
}

GlTexturePick __glChooseTextureProcs(GLenum minFilter, GLenum magFilter, int32_t dimensions, GLenum envMode,
                                     GLenum baseFormat) {
    GlTexturePick t{};
    t.scaleLine = GL_AS_PROC(__glTexRhoLine);
    t.scaleSpan = GL_AS_PROC(__glTexRhoSpan);
    t.lodThreshold = 1.0f;
    bool mipmapped = minFilter != GL_NEAREST && minFilter != GL_LINEAR;
    if (!mipmapped && minFilter == magFilter) {
        t.apply = GL_AS_PROC(__glTexApplySingleFilter);
        t.scaleLine = GL_AS_PROC(__glTexRhoLineNone);
        t.scaleSpan = GL_AS_PROC(__glTexRhoSpanNone);
    } else if (!mipmapped) {
        t.apply = GL_AS_PROC(__glTexApplyMinMag);
    } else {
        t.apply = GL_AS_PROC(__glTexApplyMipmap);
        if (magFilter == GL_LINEAR && (minFilter == GL_NEAREST_MIPMAP_NEAREST || minFilter == GL_LINEAR_MIPMAP_NEAREST))
            t.lodThreshold = 2.0f;
    }
    t.env = __glChooseTexEnvProc(envMode, baseFormat);
    if (dimensions == 1) {
        t.sampleNearest = GL_AS_PROC(__glTexSampleNearest1D);
        t.sampleLinear = GL_AS_PROC(__glTexSampleLinear1D);
    } else {
        t.sampleNearest = GL_AS_PROC(__glTexSampleNearest2D);
        t.sampleLinear = GL_AS_PROC(__glTexSampleLinear2D);
    }
    switch (minFilter) {
    case GL_NEAREST: t.minify = GL_AS_PROC(__glTexFilterNearestScaled); break;
    case GL_LINEAR: t.minify = GL_AS_PROC(__glTexFilterLinearScaled); break;
    case GL_NEAREST_MIPMAP_NEAREST: t.minify = GL_AS_PROC(__glTexFilterNearestMipmapNearest); break;
    case GL_LINEAR_MIPMAP_NEAREST: t.minify = GL_AS_PROC(__glTexFilterLinearMipmapNearest); break;
    case GL_NEAREST_MIPMAP_LINEAR: t.minify = GL_AS_PROC(__glTexFilterNearestMipmapLinear); break;
    default: t.minify = GL_AS_PROC(__glTexFilterLinearMipmapLinear); break;
    }
    t.magnify = magFilter == GL_NEAREST ? GL_AS_PROC(__glTexFilterNearestScaled)
                                        : GL_AS_PROC(__glTexFilterLinearScaled);
    return t;
}

void __glPickTextureProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlTextureObject *tex = p.currentTextures[0];
    if (tex == nullptr) {
        p.texture = GlTexturePick{};
        ctx->state.span.inputs.textureApply = nullptr;
        return;
    }
    GlMipLevel *level0 = tex->levels != nullptr ? tex->levels[0] : nullptr;
    tex->level0BaseFormat = level0 != nullptr ? GLenum(level0->baseFormat) : 0;
    GLenum env = p.texEnvMode == 0 ? GLenum(GL_MODULATE) : p.texEnvMode;
    GlTexturePick t = __glChooseTextureProcs(tex->minFilter, tex->magFilter, tex->dimensions, env,
                                             tex->level0BaseFormat);
    p.texture = t;
    tex->apply = t.apply;
    tex->lodThreshold = t.lodThreshold;
    tex->env = t.env;
    tex->sampleNearest = t.sampleNearest;
    tex->sampleLinear = t.sampleLinear;
    tex->minify = t.minify;
    tex->magnify = t.magnify;
    ctx->state.span.inputs.textureApply =
        reinterpret_cast<GlTextureApplyProc>(reinterpret_cast<void (*)(void)>(t.apply));
    if (tex->reload == 1 && tex->reloadHook != nullptr) tex->reloadHook(ctx, tex, tex->reloadArg);
}

void __glPickPixelProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlColorBuffers &cbs = ctx->buffers.color;
    const GlPixelState &px = ctx->state.pixel;
    const uint32_t e = ctx->state.enable.enables;
    GlShadeFlags f = __glShadeFlags(ctx);
    p.readColorBuffer = px.readBuffer == GL_BACK ? &cbs.back : &cbs.front;
    cbs.readColorBuffer = p.readColorBuffer;
    // Null: pixel rectangles go through the plain fragment store.
    p.pixelFragment =
        (p.currentTextureMask != 0 || (e & kGlEnableFog)) ? GL_AS_PROC(__glStoreFragmentTextureFog) : nullptr;
    // Transfer flags and the constant transferred colour live in the pixel lookup block; the
    // pick state keeps a copy for its readers.
    __glComputePixelTransferFlags(ctx);
    const GlPixelTables &pt = px.tables;
    p.indexTransfer = pt.transferIndex;
    p.stencilTransfer = pt.transferStencil;
    p.depthTransfer = pt.transferDepth;
    p.colorTransfer = pt.transferRGBA;
    for (int k = 0; k < 4; ++k) p.transferredBlack[k] = pt.transferredColor[k];
    GLenum draw = ctx->state.mode.drawBuffer;
    p.simpleWrite = !(e & (kGlEnableAlphaTest | kGlEnableDepthTest | kGlEnableStencilTest | kGlEnableBlend |
                           kGlEnableFog)) &&
                    draw != GL_NONE && draw != GL_FRONT_AND_BACK && (e & kGlEnableDither) &&
                    !(f & kGlShadeTexture);
    p.drawPixels = GL_AS_PROC(__glDrawPixelsFast);
    p.readPixels = GL_AS_PROC(__glReadPixelsGeneric);
    p.copyPixels = GL_AS_PROC(__glCopyPixelsGeneric);
}
