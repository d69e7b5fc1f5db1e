// The primitive pickers (triangles, points, lines with their stage list) and the triangle entries
// they install: face selection by the signed area, culling, vertex completion for the face, and
// the render proc inside the lock bracket; polygon modes draw points or edges instead.
#include <cmath>
#include "icd/core/pick.h"
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/drawable.h"

namespace {

GlPickState &pickOf(GlContext *ctx) { return ctx->state.pick; }

GlStageProc nopStage() { return reinterpret_cast<GlStageProc>(reinterpret_cast<void (*)(void)>(__glNopProc)); }

// ---- triangle entries ------------------------------------------------------------------------------

float signedArea(const GlVertex *a, const GlVertex *b, const GlVertex *c) {
    return (a->window[0] - c->window[0]) * (b->window[1] - c->window[1]) -
           (a->window[1] - c->window[1]) * (b->window[0] - c->window[0]);
}

void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    if ((need & ~(v->flags & kGlVertexDoneMask)) == 0) return;
    GlCompleteVertexProc proc = ctx->slots.primitive.completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift];
    if (proc != nullptr) proc(ctx, v, need);
}

float *faceColor(GlVertex *v, int32_t face) { return face ? v->backColor : v->frontColor; }

// The face a triangle shows, the face whose colours it takes (the front one unless two-sided
// lighting is on) and what its vertices need for those; false when it is culled. The polygon
// mode follows the face shown, whatever the lighting.
struct Face {
    int32_t shown;
    int32_t face;
    uint32_t need;
};
bool selectFace(GlContext *ctx, float area, Face &out) {
    const GlPickState &p = pickOf(ctx);
    int32_t face = std::signbit(area) ? p.faceTable[0] : p.faceTable[1];
    if (face == p.cullFaceCode) return false;
    const GlNeedMaskState &n = ctx->state.need;
    out.shown = face;
    if (__glShadeFlags(ctx) & kGlShadeTwoSided) {
        out.face = face;
        out.need = face ? n.needMaskBack : n.needMaskFront;
    } else {
        out.face = 0;
        out.need = n.needMaskFront;
    }
    return true;
}

// The render proc inside the drawable's lock bracket; a refused lock skips the triangle.
void drawLocked(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    GlBufferArea &bufs = ctx->buffers;
    if (bufs.lockCount == 0 && bufs.drawableLock != nullptr && !bufs.drawableLock(ctx)) return;
    bufs.lockCount += 1;
    GlPickTriangleProc render = pickOf(ctx).rasterTriangleProc;
    if (render != nullptr) render(ctx, a, b, c);
    bufs.lockCount -= 1;
    if (bufs.lockCount == 0 && bufs.drawableUnlock != nullptr) bufs.drawableUnlock(ctx);
}

GlVertex *provoking(GlContext *ctx, GlVertex *fallback) {
    GlVertex *pv = ctx->arrays.vertexBuffer.provokingVertex;
    return pv != nullptr ? pv : fallback;
}

// Polygon offset of a point- or line-mode triangle. A triangle of zero area has no slope: only
// the units part applies (the slope term would divide by zero).
float polygonOffset(GlContext *ctx, const GlVertex *a, const GlVertex *b, const GlVertex *c, float area) {
    const GlPolygonOffsetState &o = ctx->state.polygonOffset;
    float offset = o.offsetUnits * ctx->buffers.depth.offsetUnit;
    if (o.offsetFactor != 0.0f && area != 0.0f) {
        float ay = a->window[1] - c->window[1], by = b->window[1] - c->window[1];
        float ax = a->window[0] - c->window[0], bx = b->window[0] - c->window[0];
        float az = a->window[2] - c->window[2], bz = b->window[2] - c->window[2];
        float dzx = std::fabs(ay * bz - by * az), dzy = std::fabs(bz * ax - az * bx);
        offset += o.offsetFactor * (dzx > dzy ? dzx : dzy) / std::fabs(area);
    }
    return offset;
}

}  // namespace

void __glTriangleCullAll(GlContext *, GlVertex *, GlVertex *, GlVertex *) {}

void __glTriangleFaceFlat(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    float area = signedArea(a, b, c);
    Face f;
    if (!selectFace(ctx, area, f) || area == 0.0f) return;
    GlVertex *pv = provoking(ctx, c);
    pv->color = faceColor(pv, f.face);
    complete(ctx, pv, f.need & 0x1B);
    uint32_t need = ctx->state.need.needMask;
    complete(ctx, a, need);
    complete(ctx, b, need);
    complete(ctx, c, need);
    drawLocked(ctx, a, b, c);
    pv->color = pv->frontColor;
}

void __glTriangleFaceSmooth(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    float area = signedArea(a, b, c);
    Face f;
    if (!selectFace(ctx, area, f) || area == 0.0f) return;
    uint32_t need = ctx->state.need.needMask | f.need;
    for (GlVertex *v : {a, b, c}) {
        v->color = faceColor(v, f.face);
        complete(ctx, v, need);
    }
    drawLocked(ctx, a, b, c);
    for (GlVertex *v : {a, b, c}) v->color = v->frontColor;
}

void __glTriangleFacePolygonMode(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    float area = signedArea(a, b, c);
    Face f;
    if (!selectFace(ctx, area, f)) return;
    const GlShadeFlags flags = __glShadeFlags(ctx);
    const uint32_t needMask = ctx->state.need.needMask;
    if (flags & kGlShadeSmoothColors) {
        for (GlVertex *v : {a, b, c}) {
            v->color = faceColor(v, f.face);
            complete(ctx, v, needMask | f.need);
        }
    } else {
        GlVertex *pv = provoking(ctx, c);
        float *color = faceColor(pv, f.face);
        for (GlVertex *v : {a, b, c}) v->color = color;
        complete(ctx, pv, f.need & 0x1B);
        for (GlVertex *v : {a, b, c}) complete(ctx, v, needMask);
    }
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    uint8_t mode = pickOf(ctx).polygonModeByFace[f.shown];
    if (mode == 0 || mode == 1) {
        GlShadeFlags offsetFlag = mode == 0 ? kGlShadeOffsetPoint : kGlShadeOffsetLine;
        float z[3] = {a->window[2], b->window[2], c->window[2]};
        if (flags & offsetFlag) {
            float offset = polygonOffset(ctx, a, b, c, area);
            for (GlVertex *v : {a, b, c}) v->window[2] += offset;
        }
        if (mode == 0) {
            if (prim.renderPoint != nullptr)
                for (GlVertex *v : {a, b, c})
                    if (v->edgeFlag) prim.renderPoint(ctx, v);
        } else if (prim.renderLine != nullptr) {
            if (a->edgeFlag) prim.renderLine(ctx, a, b);
            if (b->edgeFlag) prim.renderLine(ctx, b, c);
            if (c->edgeFlag) prim.renderLine(ctx, c, a);
        }
        a->window[2] = z[0];
        b->window[2] = z[1];
        c->window[2] = z[2];
    } else if (area != 0.0f) {
        drawLocked(ctx, a, b, c);
    }
    for (GlVertex *v : {a, b, c}) v->color = v->frontColor;
}

// ---- pickers ---------------------------------------------------------------------------------------

bool __glPickTriangleFaces(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    const GlModeState &m = ctx->state.mode;
    if (__glShadeFlags(ctx) & kGlShadeCull) {
        if (m.cullFace == GL_FRONT_AND_BACK) {
            ctx->slots.primitive.renderTriangle = __glTriangleCullAll;
            p.rasterTriangleProc = nullptr;
            return false;
        }
        p.cullFaceCode = m.cullFace == GL_FRONT ? kGlCullFront : kGlCullBack;
    } else {
        p.cullFaceCode = kGlCullNone;
    }
    // Non-negative area is the front face for counter-clockwise fronts on a bottom-up drawable.
    const GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    const bool yInverted = rec != nullptr && rec->topDown != 0;
    const bool nonNegativeIsFront = (m.frontFace == GL_CCW) != yInverted;
    p.faceTable[0] = nonNegativeIsFront ? 1 : 0;
    p.faceTable[1] = nonNegativeIsFront ? 0 : 1;
    p.polygonModeByFace[0] = uint8_t(m.polygonMode[0] & 0xF);
    p.polygonModeByFace[1] = uint8_t(m.polygonMode[1] & 0xF);
    return true;
}

void __glPickTriangleProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    const GlModeState &m = ctx->state.mode;
    const GlShadeFlags f = __glShadeFlags(ctx);
    if (!__glPickTriangleFaces(ctx)) return;
    if (ctx->renderMode == GL_FEEDBACK || ctx->renderMode == GL_SELECT) {
        prim.renderTriangle = ctx->renderMode == GL_FEEDBACK ? __glFeedbackTriangle : __glSelectTriangle;
        p.rasterTriangleProc = nullptr;
        return;
    }
    if (__glPickFastTriangleProcs(ctx) != 0) return;
    if (m.polygonMode[0] == GL_FILL && m.polygonMode[1] == GL_FILL)
        prim.renderTriangle = (f & kGlShadeSmoothColors) ? __glTriangleFaceSmooth : __glTriangleFaceFlat;
    else
        prim.renderTriangle = __glTriangleFacePolygonMode;
    // A front buffer other windows overlap: each triangle is cut to the window's visible
    // rectangles and the pieces drawn with the face proc just chosen.
    if (f & kGlShadeFrontClip) {
        ctx->state.clip.triangleProcUnclipped = prim.renderTriangle;
        prim.renderTriangle = __glDrawTriangleClipRects;
    }
    p.rasterTriangleProc =
        (ctx->state.enable.enables & kGlEnablePolygonSmooth) ? __glRenderTriangleAntiAlias : __glRenderTriangle;
}

void __glPickPointProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    const GlShadeFlags f = __glShadeFlags(ctx);
    prim.pointsVertex = ctx->state.need.needMaskFront != 0 ? __glPrimPointsVertexComplete : __glPrimPointsVertex;
    if (ctx->renderMode == GL_FEEDBACK || ctx->renderMode == GL_SELECT) {
        prim.renderPoint = ctx->renderMode == GL_FEEDBACK ? __glFeedbackPoint : __glSelectPoint;
        return;
    }
    const GlPointState &ps = ctx->state.point;
    p.pointSizeProc = nullptr;
    bool attenuated = ps.pointAttenuation[0] != 1.0f || ps.pointAttenuation[1] != 0.0f || ps.pointAttenuation[2] != 0.0f;
    GlPickVertexProc point;
    if (ctx->state.enable.enables & kGlEnablePointSmooth) {
        if (attenuated)
            p.pointSizeProc = __glPointSizeAttenuateAntiAlias;
        else if (ps.pointSize < ps.pointSizeMin || ps.pointSize > ps.pointSizeMax)
            p.pointSizeProc = __glPointSizeClampAntiAlias;
        point = ctx->visual.rgbaMode ? __glRenderPointAntiAliasRgba : __glRenderPointAntiAliasIndex;
    } else if (attenuated) {
        p.pointSizeProc = __glPointSizeAttenuateAliased;
        point = __glRenderPointWide;
    } else if (float(ps.pointSizeInt) < ps.pointSizeMin || float(ps.pointSizeInt) > ps.pointSizeMax) {
        p.pointSizeProc = __glPointSizeClampAliased;
        point = __glRenderPointWide;
    } else if (ps.pointSizeInt == 1) {
        point = (f & kGlShadeTexture) ? __glRenderPointSize1Textured : __glRenderPointSize1;
    } else {
        point = __glRenderPointWide;
    }
    if (f & kGlShadeFog) {
        p.pointFoggedInner = point;
        point = __glRenderPointFogged;
    }
    prim.renderPoint = point;
}

void __glPickLineProcs(GlContext *ctx) {
    GlPickState &p = pickOf(ctx);
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    GlLineStageList &l = p.lineList;
    const GlShadeFlags f = __glShadeFlags(ctx);
    prim.stripNextVertex = ctx->state.need.needMaskFront != 0 ? __glLineStripVertexComplete : __glLineStripVertex;
    prim.linesSecondVertex = __glLinesSecondVertex;
    if (ctx->renderMode == GL_FEEDBACK || ctx->renderMode == GL_SELECT) {
        prim.renderLine = ctx->renderMode == GL_FEEDBACK ? __glFeedbackLine : __glSelectLine;
        return;
    }
    const bool smooth = ctx->state.enable.enables & kGlEnableLineSmooth;
    prim.renderLine = smooth ? __glRenderLineAntiAlias : __glRenderLine;

    int32_t n = 0;
    auto put = [&](GlStageProc unmasked, GlStageProc masked) {
        l.unmaskedStages[n] = unmasked;
        l.maskedStages[n] = masked;
        ++n;
    };
    // Stencil, then depth; false when the depth function never passes and nothing is drawn.
    auto depthBlock = [&]() {
        if (f & kGlShadeStencilTest) {
            put(__glLineStencilTest, __glLineStencilTestMasked);
            if (f & kGlShadeDepthTest)
                put(__glLineDepthStencilTest, __glLineDepthStencilTestMasked);
            else
                put(__glLineStencilDepthPass, __glLineStencilDepthPassMasked);
        } else if (f & kGlShadeDepthTest) {
            if (ctx->state.span.inputs.effectiveDepthFunc == GL_NEVER) return false;
            put(__glLineDepthTest, __glLineDepthTestMasked);
        }
        return true;
    };
    // Without a colour buffer (GL_NONE) the list ends before the store: the depth and stencil
    // stages still write. With neither test nothing at all is written.
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if (cb == nullptr && !(f & (kGlShadeDepthTest | kGlShadeStencilTest))) {
        l.runner = nopStage();
        return;
    }
    bool wide = false;
    if (!smooth) {
        if (f & kGlShadeLineStipple) put(__glLineStipple, nullptr);
        wide = ctx->state.line.lineWidthInt > 1;
    }
    l.startIndex = n;
    put(__glLineScissor, __glLineScissorMasked);
    if (!smooth && !depthBlock()) {
        l.runner = nopStage();
        return;
    }
    GlStageProc shade = (f & kGlShadeRgba) ? ((f & kGlShadeSmooth) ? __glSpanShadeRgbaSmooth : __glSpanShadeRgbaFlat)
                                           : ((f & kGlShadeSmooth) ? __glSpanShadeIndexSmooth : __glSpanShadeIndexFlat);
    put(shade, shade);
    if (f & kGlShadeTexture) put(__glSpanTexture, __glSpanTextureMasked);
    if (f & kGlShadeFog) {
        if (ctx->state.mode.hints[4] == GL_NICEST)
            put(__glSpanFogNicest, __glSpanFogNicestMasked);
        else
            put(__glSpanFog, __glSpanFogMasked);
    }
    if (smooth) {
        put(__glLineAntiAlias, __glLineAntiAliasMasked);
        if (!depthBlock()) {
            l.runner = nopStage();
            return;
        }
    }
    if (f & kGlShadeAlphaTest) put(__glSpanAlphaTest, __glSpanAlphaTestMasked);
    l.storeIndex = n;
    const bool varying = f & (kGlShadeSmooth | kGlShadeTexture | kGlShadeFog);
    const bool dither = f & kGlShadeDither;
    const int32_t bytes = cb != nullptr ? cb->head.elementSize : 0;
    if (cb == nullptr) {
        // nothing to store: the list ends with the depth and stencil stages
    } else if (cb->usesColorStages || (f & (kGlShadeFrontClip | kGlShadeBlend | kGlShadeLogicOp))) {
        put(__glLineStore, __glLineStoreMasked);
    } else if (!(f & kGlShadeRgba) && bytes == 1) {
        if (dither)
            varying ? put(__glLineStoreIndex8ShadedDither, __glLineStoreIndex8ShadedDitherMasked)
                    : put(__glLineStoreIndex8FlatDither, __glLineStoreIndex8FlatDitherMasked);
        else
            varying ? put(__glLineStoreIndex8Shaded, __glLineStoreIndex8ShadedMasked)
                    : put(__glLineStoreIndex8Flat, __glLineStoreIndex8FlatMasked);
    } else if ((f & kGlShadeRgba) && bytes == 2) {
        if (dither)
            put(__glLineStoreRgb16ShadedDither, __glLineStoreRgb16ShadedDitherMasked);
        else
            varying ? put(__glLineStoreRgb16Shaded, __glLineStoreRgb16ShadedMasked)
                    : put(__glLineStoreRgb16Flat, __glLineStoreRgb16FlatMasked);
    } else {
        put(__glLineStore, __glLineStoreMasked);
    }
    l.stageCount = n;
    const bool both = ctx->state.span.inputs.drawBothBuffers != 0;
    l.wideTail = __glLineWideStages;
    l.wideTailMasked = __glLineWideStagesMasked;
    if (both) {
        l.frontBackTail = __glLineFrontBackStages;
        l.frontBackTailMasked = __glLineFrontBackStagesMasked;
    } else {
        l.frontBackTail = l.frontBackTailMasked = nopStage();
        l.storeIndex = n;
    }
    if (!wide) l.startIndex = l.storeIndex;
    l.runner = (!wide && !both && n == 3) ? __glLineRenderStages3 : __glLineRenderStages;
}
