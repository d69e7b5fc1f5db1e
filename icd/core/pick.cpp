// Validation: the mode word, the vertex need masks, the current textures, the alpha-test table,
// and the pick sequence that runs every picker slot in the order their inputs require.
#include "icd/vertex/color_units.h"
#include <cmath>
#include "icd/core/pick.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/vertex/array_procs.h"
#include "icd/core/drawable.h"
#include "icd/hw/present.h"
#include "icd/pixel/texture_object.h"

namespace {

GlPickState &pickOf(GlContext *ctx) { return ctx->state.pick; }

void run(GlContext *ctx, GlProc slot) {
    if (slot != nullptr) slot(ctx);
}

// Bytes per pixel of the front colour buffer: the attached buffer's, else the visual's.
int32_t frontPixelBytes(const GlContext *ctx) {
    int32_t bytes = ctx->buffers.color.front.head.elementSize;
    if (bytes > 0 && ctx->buffers.color.front.head.context != nullptr) return bytes;
    return (ctx->visual.colorBits + 7) / 8;
}

bool isMipmapFilter(GLenum filter) { return filter != GL_NEAREST && filter != GL_LINEAR; }

}  // namespace

GlShadeFlags __glShadeFlags(const GlContext *ctx) { return ctx->state.span.raster.shadeFlags; }

void __glValidateState(GlContext *ctx) {
    if (GlDrawableBuffers *rec = ctx->tail.drawableBuffers; rec != nullptr && rec->drawable != nullptr)
        __wglRemakeMarkedBuffers(rec->drawable);
    run(ctx, ctx->slots.pickAll);
}

void __glUpdateCurrentTextures(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    p.currentTextureMask = 0;
    int32_t units = 2;
    for (int32_t i = 0; i < units; ++i) {
        p.currentTextures[i] = nullptr;
        uint32_t e = ctx->state.enable.texUnitEnables[i];
        GlTextureObject *tex = nullptr;
        if (e & kGlEnableTexture2D)
            tex = __glLookUpBoundTexture(ctx, i, GL_TEXTURE_2D);
        else if (e & kGlEnableTexture1D)
            tex = __glLookUpBoundTexture(ctx, i, GL_TEXTURE_1D);
        if (tex != nullptr && __glIsTextureConsistent(ctx, tex, i)) {
            p.currentTextures[i] = tex;
            p.currentTextureMask |= 1u << i;
        }
    }
}

GlShadeFlags __glComputeShadeFlags(GlContext *ctx) {
    const GlVisual &v = ctx->visual;
    const uint32_t e = ctx->state.enable.enables;
    const GlModeState &m = ctx->state.mode;
    const GlPickState &p = pickOf(ctx);
    const bool rgba = v.rgbaMode != 0;
    GlShadeFlags f = 0;
    if (rgba) f |= kGlShadeRgba;
    if (m.shadeModel == GL_SMOOTH) f |= kGlShadeSmooth | kGlShadeSmoothColors;
    if ((e & kGlEnableDepthTest) && v.hasDepth) f |= kGlShadeDepthTest | kGlShadeDepthIterate;
    if (p.currentTextureMask != 0) f |= kGlShadeTexture;
    if (e & kGlEnablePolygonStipple) f |= kGlShadePolygonStipple;
    if ((e & kGlEnableStencilTest) && v.hasStencil) f |= kGlShadeStencilTest;
    if ((e & kGlEnableDither) && frontPixelBytes(ctx) < 3) f |= kGlShadeDither;
    if (e & (rgba ? kGlEnableColorLogicOp : kGlEnableIndexLogicOp)) f |= kGlShadeLogicOp;
    // Logic op wins over blending.
    if (rgba && (e & kGlEnableBlend) && !(e & kGlEnableColorLogicOp)) f |= kGlShadeBlend;
    if (rgba && (e & kGlEnableAlphaTest)) f |= kGlShadeAlphaTest;
    if ((e & kGlEnableLighting) && ctx->state.lighting.lightModel.twoSide) f |= kGlShadeTwoSided;
    const GlColorBufferState &c = ctx->state.color;
    if (rgba) {
        if (!c.colorMask[0] || !c.colorMask[1] || !c.colorMask[2] || (!c.colorMask[3] && v.alphaBits > 0))
            f |= kGlShadeColorMask;
    } else {
        uint32_t all = v.indexBits >= 32 ? 0xFFFFFFFFu : (1u << v.indexBits) - 1u;
        if (c.indexMask != all) f |= kGlShadeColorMask;
    }
    if (e & kGlEnableFog) f |= kGlShadeFog;
    if (e & kGlEnableLineStipple) f |= kGlShadeLineStipple;
    if (e & kGlEnableCullFace) f |= kGlShadeCull;
    const GlPolygonOffsetState &o = ctx->state.polygonOffset;
    if ((f & kGlShadeDepthTest) && (o.offsetFactor != 0.0f || o.offsetUnits != 0.0f)) {
        if (e & kGlEnablePolygonOffsetPoint) f |= kGlShadeOffsetPoint;
        if (e & kGlEnablePolygonOffsetLine) f |= kGlShadeOffsetLine;
        if (e & kGlEnablePolygonOffsetFill) f |= kGlShadePolygonOffset;
    }
    // Drawing into a front buffer that other windows overlap: stores test pixel ownership.
    const GlDrawableBuffers *db = ctx->tail.drawableBuffers;
    if ((m.drawBuffer == GL_FRONT || m.drawBuffer == GL_FRONT_AND_BACK) && db != nullptr && db->contextState != 0)
        f |= kGlShadeFrontClip;
    if (f & kGlShadeTexture) {
        const GlTextureObject *t = p.currentTextures[0];
        if (m.hints[0] != GL_FASTEST || (t != nullptr && t->minFilter != t->magFilter)) f |= kGlShadePerspectiveTex;
        if (m.hints[0] == GL_NICEST) f |= kGlShadePerspectiveExact;
        if (t != nullptr && isMipmapFilter(t->minFilter)) f |= kGlShadeMipmap;
    }
    return f;
}

void __glComputeNeedMasks(GlContext *ctx) {
    const uint32_t e = ctx->state.enable.enables;
    const GlPickState &p = pickOf(ctx);
    const GlShadeFlags f = __glShadeFlags(ctx);
    uint32_t need = 0;
    if (p.currentTextureMask != 0) {
        need |= kGlVertexTexCoordDone;
        uint32_t units0 = ctx->state.enable.texUnitEnables[0];
        for (int i = 0; i < 2; ++i) {  // S and T
            if (!(units0 & (kGlEnableTexGenS << i))) continue;
            GLenum mode = p.texGenMode[i] == 0 ? GL_EYE_LINEAR : p.texGenMode[i];
            if (mode == GL_EYE_LINEAR) need |= kGlVertexEyeDone;
            if (mode == GL_SPHERE_MAP) need |= kGlVertexEyeDone | kGlVertexNormalDone;
        }
    }
    if (e & kGlEnableFog) need |= kGlVertexEyeDone | kGlVertexFogDone;
    if (ctx->state.enable.clipPlaneEnables != 0) need |= kGlVertexEyeDone;
    // Feedback reports texture coordinates whether or not a texture is current, so the clipper
    // must have them (and what generation reads) before it cuts a primitive.
    if (ctx->renderMode == GL_FEEDBACK) need |= kGlVertexTexCoordDone | __glTexGenNeeds(ctx);

    uint32_t lighting = 0;
    const bool lit = e & kGlEnableLighting;
    if (lit) {
        lighting = kGlVertexNormalDone;
        bool eye = ctx->state.lighting.lightModel.localViewer != 0;
        const GlLightSource *lights = __glLightSources(ctx);
        uint32_t enabled = ctx->state.enable.lightEnables;
        for (int32_t i = 0; !eye && lights != nullptr && i < ctx->limits.maxLights; ++i)
            if ((enabled & (1u << i)) && lights[i].eyePosition[3] != 0.0f) eye = true;
        if (eye) lighting |= kGlVertexEyeDone;
    }
    GlNeedMaskState &n = ctx->state.need;
    n.needMask = need;
    n.needMaskFront = need | lighting;
    n.needMaskBack = need | lighting;
    if (lit || (f & kGlShadeSmoothColors)) {
        n.needMaskFront |= kGlVertexFrontColorDone;
        n.needMaskBack |= (f & kGlShadeTwoSided) ? kGlVertexBackColorDone : kGlVertexFrontColorDone;
    }
    if (ctx->state.mode.shadeModel == GL_SMOOTH || ctx->vertexCache.vcacheOn)
        n.needMaskPending = (n.needMaskFront | n.needMaskBack) & ~uint32_t(kGlVertexTexCoordDone);
    else
        n.needMaskPending = 0;
}

// The table lives in the context (256 entries), so building it never allocates and never fails.
void __glBuildAlphaTestTable(GlContext *ctx) {
    GlRasterInputs &in = ctx->state.span.inputs;
    int32_t size = in.alphaTestSize;
    if (size <= 0 || size > 256) size = 256;
    in.alphaTestSize = size;
    float alphaScale = ctx->scales.alphaScale > 0.0f ? ctx->scales.alphaScale : kGlContextColorScale;
    in.alphaTestScale = float(size - 1) / alphaScale;
    // The reference rounded to the table's steps, as the fragment alphas it is compared with are.
    int32_t r = int32_t(ctx->state.color.alphaRef * in.alphaTestScale * alphaScale + 0.5f);
    GLenum func = ctx->state.mode.alphaFunc;
    for (int32_t i = 0; i < size; ++i) {
        bool pass;
        switch (func) {
        case GL_NEVER: pass = false; break;
        case GL_LESS: pass = i < r; break;
        case GL_EQUAL: pass = i == r; break;
        case GL_LEQUAL: pass = i <= r; break;
        case GL_GREATER: pass = i > r; break;
        case GL_NOTEQUAL: pass = i != r; break;
        case GL_GEQUAL: pass = i >= r; break;
        default: pass = true; break;
        }
        in.alphaTestTable[i] = pass ? 1 : 0;
    }
}

namespace {
// The colour buffers' own store procs, by the shade flags.
void pickColorBuffers(GlContext *ctx) {
    GlColorBuffers &cbs = ctx->buffers.color;
    if (cbs.front.pick != nullptr) cbs.front.pick(ctx, &cbs.front);
    if (ctx->visual.doubleBuffer && cbs.back.pick != nullptr) cbs.back.pick(ctx, &cbs.back);
}
}  // namespace

void __glPickOwnershipProcs(GlContext *ctx) {
    const GlProcSlots &s = ctx->slots;
    ctx->state.span.raster.shadeFlags = __glComputeShadeFlags(ctx);
    pickColorBuffers(ctx);
    for (GlProc pick : {s.pickFragmentStore, s.pickSpan, s.pickTriangle, s.pickPoint, s.pickLine, s.pickPixel,
                        s.pickBitmap})
        run(ctx, pick);
}

void __glPickAllProcs(GlContext *ctx) {
    uint32_t &dirty = ctx->dirtyMask;
    GlProcSlots &s = ctx->slots;
    if (dirty & 0x400) dirty |= kGlDirtyGeneral;
    // Only client-array state changed: the array procs alone.
    if (ctx->tableDirtyMask == 0 && dirty == kGlDirtyArrays) {
        __glPickArrayProcs(ctx);
        dirty = 0;
        return;
    }
    const bool groupA = dirty & (kGlDirtyGeneral | kGlDirtyLighting);
    if (groupA) __glUpdateCurrentTextures(ctx);
    ctx->state.span.raster.shadeFlags = __glComputeShadeFlags(ctx);
    if (groupA) {
        __glComputeNeedMasks(ctx);
        __glOgSetDirectDataMap(ctx);
        pickColorBuffers(ctx);
        if (ctx->visual.hasStencil && ctx->buffers.stencil.pick != nullptr)
            ctx->buffers.stencil.pick(ctx);
        run(ctx, s.validateSurfaces);  // the draw-buffer pick
        run(ctx, s.pickFragmentStore);
        run(ctx, s.pickMatrix);
        __glValidateLighting(ctx);
        run(ctx, s.pickColorMaterial);
        run(ctx, s.pickTexture);
        run(ctx, s.pickTexGen);
        run(ctx, s.pickBlend);
        run(ctx, s.pickFog);
        run(ctx, s.pickClipInterpolate);
        run(ctx, s.pickShadeModel);
        run(ctx, s.pickBitmap);
        if (ctx->tableDirtyMask & kGlTableAlphaTest) __glBuildAlphaTestTable(ctx);
        run(ctx, s.computeClipBox);
    }
    if (dirty & kGlDirtyStipple) run(ctx, s.buildPolygonStippleMasks);
    if (dirty & kGlDirtyDepth) run(ctx, s.pickDepth);
    if (dirty & 0xA5) {
        run(ctx, s.pickVertex);
        run(ctx, s.pickSpan);
        run(ctx, s.pickTriangle);
    }
    if (dirty & 0xA9) run(ctx, s.pickPoint);
    if (dirty & 0xA3) run(ctx, s.pickLine);
    if (dirty & 0x31) run(ctx, s.pickPixel);
    if (groupA) run(ctx, s.markArraysDirty);
    ctx->tableDirtyMask = 0;
    dirty = 0;
}
