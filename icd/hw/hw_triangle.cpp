// Triangles and polygons drawn by the chip, the chooser between the chip and the software
// rasteriser, and the flush-first wrapper that keeps software drawing behind the chip's.
#include <cmath>
#include <cstring>
#include "icd/core/context.h"
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/core/pick.h"
#include "icd/hw/hw.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/hw_regs.h"
#include "icd/hw/hw_surface.h"
#include "icd/hw/tex_memory.h"
#include "icd/vertex/clip.h"
#include "icd/vertex/transform_state.h"

namespace {

GlPickState &pickOf(GlContext *ctx) { return ctx->state.pick; }

GLenum envOf(GlContext *ctx) { return pickOf(ctx).texEnvMode != 0 ? pickOf(ctx).texEnvMode : GLenum(GL_MODULATE); }

GLenum baseFormatOf(const GlTextureObject *tex) {
    const GlMipLevel *l = tex != nullptr && tex->levels != nullptr ? tex->levels[0] : nullptr;
    return l != nullptr ? GLenum(l->baseFormat) : 0;
}

// GL_REPLACE with a GL_ALPHA texture keeps the vertex colour and takes the texture's alpha.
bool alphaReplaces(GlContext *ctx) {
    return envOf(ctx) == GL_REPLACE && baseFormatOf(pickOf(ctx).currentTextures[0]) == GL_ALPHA;
}

// The chip's signed area has the opposite sign of the generic one: the face table is read the
// other way round.
float hwArea(const GlVertex *a, const GlVertex *b, const GlVertex *c) {
    return (c->window[0] - a->window[0]) * (b->window[1] - a->window[1]) -
           (b->window[0] - a->window[0]) * (c->window[1] - a->window[1]);
}

// The face shown, or -1 when the triangle is degenerate or culled.
int32_t hwFace(GlContext *ctx, float area) {
    if (area == 0.0f) return -1;
    const GlPickState &p = pickOf(ctx);
    const int32_t face = std::signbit(area) ? p.faceTable[1] : p.faceTable[0];
    return face == p.cullFaceCode ? -1 : face;
}

void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    if ((need & ~(v->flags & kGlVertexDoneMask)) == 0) return;
    GlCompleteVertexProc proc = ctx->slots.primitive.completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift];
    if (proc != nullptr) proc(ctx, v, need);
}

float *faceColour(GlVertex *v, int32_t face) { return face ? v->backColor : v->frontColor; }

GlVertex *provoking(GlContext *ctx, GlVertex *fallback) {
    GlVertex *pv = ctx->arrays.vertexBuffer.provokingVertex;
    return pv != nullptr ? pv : fallback;
}

// Completes the vertices for the face and gives each the colour it is drawn with: its own when
// smooth, the provoking vertex's when flat.
void prepareColours(GlContext *ctx, GlVertex *const *v, int32_t n, int32_t face, GlVertex *pv, uint32_t *colours) {
    const GlShadeFlags f = __glShadeFlags(ctx);
    const GlNeedMaskState &need = ctx->state.need;
    if (!(f & kGlShadeTwoSided)) face = 0;
    const uint32_t faceNeed = face ? need.needMaskBack : need.needMaskFront;
    const HwState *hw = &ctx->hw;
    if (f & kGlShadeSmoothColors) {
        for (int32_t i = 0; i < n; ++i) {
            v[i]->color = faceColour(v[i], face);
            complete(ctx, v[i], need.needMask | faceNeed);
            colours[i] = __glHwVertexColourWord(hw, v[i]->color);
        }
    } else {
        pv->color = faceColour(pv, face);
        complete(ctx, pv, faceNeed & 0x1B);
        for (int32_t i = 0; i < n; ++i) complete(ctx, v[i], need.needMask);
        const uint32_t c = __glHwVertexColourWord(hw, pv->color);
        for (int32_t i = 0; i < n; ++i) colours[i] = c;
    }
}

void restoreColours(GlVertex *const *v, int32_t n, GlVertex *pv) {
    for (int32_t i = 0; i < n; ++i) v[i]->color = v[i]->frontColor;
    pv->color = pv->frontColor;
}

// The triangle block inline in front of the vertices when the chip holds another block.
uint32_t *blockIfNeeded(HwState *hw, uint32_t *w) {
    if (hw->loadedBlock != kHwBlockTriangle) {
        w += __glHwWriteBlock(hw, w, hw->triangleRegs);
        hw->loadedBlock = kHwBlockTriangle;
    }
    return w;
}

// One triangle in one three-vertex header; patch(i, out) finishes vertex i once it is encoded.
template <class Patch>
void sendThreeVertices(GlContext *ctx, GlVertex *const v[3], const uint32_t colours[3], Patch patch) {
    HwState *hw = &ctx->hw;
    __glHwSendSurfaces(hw);
    uint32_t *start = __glHwReserve(hw, 34);
    uint32_t *w = blockIfNeeded(hw, start);
    *w++ = kHwThreeVertexHeader;
    static constexpr uint32_t kTags[3] = {kHwTagFirst, kHwTagSecond, kHwTagThird};
    for (int i = 0; i < 3; ++i) {
        HwVertex *out = reinterpret_cast<HwVertex *>(w);
        __glHwEncodeVertex(ctx, v[i], kTags[i], colours[i], out);
        patch(i, out);
        w += kHwVertexWords;
    }
    hw->writeIndex += uint32_t(w - start);
    hw->drawingPending = 1;
}

// The texture coordinates of a textured triangle as the chip takes them: s and t divided by q (1/w
// is multiplied by q when the vertex is written), each repeating axis moved toward the origin by
// a whole number of texture widths so that the chip's single-precision interpolation keeps the
// fraction.
struct TexCoords {
    float st[6], q[3];
    void patch(int i, HwVertex *out) const {
        out->s = st[2 * i];
        out->t = st[2 * i + 1];
        if (q[i] != 1.0f && q[i] != 0.0f) out->invW *= q[i];
    }
};

TexCoords texCoordsOf(GlContext *ctx, GlVertex *const v[3]) {
    TexCoords c;
    for (int i = 0; i < 3; ++i) {
        const float *tc = v[i]->texCoord[0];
        c.q[i] = tc[3];
        const float r = c.q[i] != 1.0f && c.q[i] != 0.0f ? 1.0f / c.q[i] : 1.0f;
        c.st[2 * i] = tc[0] * r;
        c.st[2 * i + 1] = tc[1] * r;
    }
    const GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    if (tex != nullptr) __glHwWrapTexCoords(c.st, 6, tex->wrapS, tex->wrapT);
    return c;
}

// Whether the current texture's filters depend on the level of detail: a mipmapped
// minification, or minification and magnification that differ.
bool lodMatters(GlContext *ctx) {
    const GlTextureObject *tex = pickOf(ctx).currentTextures[0];
    return tex != nullptr && tex->minFilter != tex->magFilter;
}

// The derivatives of a perspective-correct coordinate over the window at each vertex: a / q,
// where a (the coordinate times 1/w) and q (q times 1/w) are linear over the window.
struct Gradients {
    double inv, x[3], y[3];
    explicit Gradients(GlVertex *const v[3]) {
        for (int i = 0; i < 3; ++i) x[i] = v[i]->window[0], y[i] = v[i]->window[1];
        const double det = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
        inv = det != 0.0 ? 1.0 / det : 0.0;
    }
    // d/dx and d/dy of the plane through f0, f1, f2.
    void plane(const double f[3], double &dx, double &dy) const {
        dx = ((f[1] - f[0]) * (y[2] - y[0]) - (f[2] - f[0]) * (y[1] - y[0])) * inv;
        dy = ((f[2] - f[0]) * (x[1] - x[0]) - (f[1] - f[0]) * (x[2] - x[0])) * inv;
    }
};

// Whether the chip's one level of detail for the triangle (half the log2 of its area in texels
// of the square over its area in pixels) lies outside OpenGL's bounds at one of its vertices:
// log2 max(m_u, m_v) .. log2 (m_u + m_v), m_u the larger of |du/dx| and |du/dy|. A perspective
// view or a stretched mapping moves OpenGL's level of detail across a triangle, which one level
// cannot follow.
bool chipLodOutsideBounds(GlContext *ctx, GlVertex *const v[3]) {
    const GlTextureObject *tex = pickOf(ctx).currentTextures[0];
    const GlMipLevel *l0 = tex != nullptr && tex->levels != nullptr ? tex->levels[0] : nullptr;
    if (l0 == nullptr || l0->innerWidth <= 0 || l0->innerHeight <= 0) return false;
    const Gradients g(v);
    if (g.inv == 0.0) return false;
    const double width = l0->innerWidth, height = l0->innerHeight, side = std::max(width, height);
    double s[3], t[3], q[3], sq[3], tq[3];
    for (int i = 0; i < 3; ++i) {
        const float *tc = v[i]->texCoord[0];
        const double qi = tc[3] != 0.0f ? tc[3] : 1.0;
        s[i] = tc[0] / qi;
        t[i] = tc[1] / qi;
        q[i] = qi * v[i]->invW;
        sq[i] = tc[0] * double(v[i]->invW);
        tq[i] = tc[1] * double(v[i]->invW);
    }
    const double texelArea = std::fabs((s[1] - s[0]) * (t[2] - t[0]) - (s[2] - s[0]) * (t[1] - t[0])) * side * side;
    const double chip = 0.5 * std::log2(texelArea * std::fabs(g.inv));
    double sx, sy, tx, ty, qx, qy;
    g.plane(sq, sx, sy);
    g.plane(tq, tx, ty);
    g.plane(q, qx, qy);
    // A margin for the float arithmetic of both sides.
    constexpr double kMargin = 1.0 / 64.0;
    bool magnifiedEverywhere = chip <= 0.0;
    bool outside = false;
    for (int i = 0; i < 3; ++i) {
        if (q[i] == 0.0) return false;
        const double ux = width * (sx - s[i] * qx) / q[i], uy = width * (sy - s[i] * qy) / q[i];
        const double vx = height * (tx - t[i] * qx) / q[i], vy = height * (ty - t[i] * qy) / q[i];
        const double mu = std::max(std::fabs(ux), std::fabs(uy)), mv = std::max(std::fabs(vx), std::fabs(vy));
        const double lo = std::log2(std::max(mu, mv)), hi = std::log2(mu + mv);
        if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(chip)) return false;
        magnifiedEverywhere = magnifiedEverywhere && hi <= 0.0;
        outside = outside || chip < lo - kMargin || chip > hi + kMargin;
    }
    return outside && !magnifiedEverywhere;
}

// Draws a textured triangle with the software rasteriser behind the chip's drawing.
void softwareTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    HwState *hw = &ctx->hw;
    GlPickState &p = pickOf(ctx);
    p.rasterTriangleProc = __glHwProcCast<GlPickTriangleProc>(hw->savedRasterTriangleProc);
    __glFlushThenTriangle(ctx, a, b, c);
    p.rasterTriangleProc = nullptr;
}

// Whether a textured triangle goes to the software rasteriser for its level of detail.
bool lodNeedsSoftware(GlContext *ctx, GlVertex *const v[3]) {
    return ctx->hw.savedRasterTriangleProc != nullptr && chipLodOutsideBounds(ctx, v);
}

// The register words for a textured triangle, its copy placed again when it went (evicted by
// another texture) and stamped as read by the commands that follow.
void loadTexturedState(GlContext *ctx) {
    HwState *hw = &ctx->hw;
    if (__glHwCurrentTexBlock(ctx) == nullptr) hw->triangleRegsStale = 1;
    __glHwBuildRegisterWords(ctx);
    if (HwTexBlock *block = __glHwCurrentTexBlock(ctx)) block->stamp = hw->submissionCount;
}

}  // namespace

void __glHwRenderTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderTriangle(ctx, a, b, c);
    const float area = hwArea(a, b, c);
    const int32_t face = hwFace(ctx, area);
    if (face < 0) return;
    GlVertex *const v[3] = {a, b, c};
    GlVertex *pv = provoking(ctx, c);
    uint32_t colours[3];
    HwState *hw = &ctx->hw;
    __glHwBuildRegisterWords(ctx);
    prepareColours(ctx, v, 3, face, pv, colours);
    sendThreeVertices(ctx, v, colours, [](int, HwVertex *) {});
    restoreColours(v, 3, pv);
    __glHwEarlyKickoff(hw);
}

// A textured triangle. The chip samples at pixel centres like the software rasteriser, so the
// coordinates go unshifted.
void __glHwRenderTexTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderTriangle(ctx, a, b, c);
    const float area = hwArea(a, b, c);
    const int32_t face = hwFace(ctx, area);
    if (face < 0) return;
    GlVertex *const v[3] = {a, b, c};
    if (lodNeedsSoftware(ctx, v)) return softwareTriangle(ctx, a, b, c);
    GlVertex *pv = provoking(ctx, c);
    uint32_t colours[3];
    HwState *hw = &ctx->hw;
    loadTexturedState(ctx);
    prepareColours(ctx, v, 3, face, pv, colours);
    const TexCoords tc = texCoordsOf(ctx, v);
    sendThreeVertices(ctx, v, colours, [&](int i, HwVertex *out) { tc.patch(i, out); });
    restoreColours(v, 3, pv);
    __glHwEarlyKickoff(hw);
}

// A clipped polygon as one fan in one header: the triangles (0, i, i + 1) that show and are not
// degenerate, each vertex sent once with the tag of the strip walk.
void __glHwRenderPolygon(GlContext *ctx, GlVertex **list, int32_t n) {
    if (n < 3) return;
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->state.clip.polygonProc(ctx, list, n);
    HwState *hw = &ctx->hw;
    __glHwBuildRegisterWords(ctx);
    __glHwSendSurfaces(hw);
    __glHwLoadTriangleState(ctx);  // the block on its own: the fan's room depends on its length
    uint32_t *start = __glHwReserve(hw, 1 + 8 * uint32_t(n));
    uint32_t *w = start;
    uint32_t *header = w++;
    static constexpr uint32_t kWalk[3] = {0, 0x12, 0x21};
    uint32_t at = 2;
    int32_t sent = 0, lastSent = -1;
    GlVertex *pv = provoking(ctx, list[0]);
    for (int32_t i = 1; i + 1 < n; ++i) {
        const int32_t face = hwFace(ctx, hwArea(list[0], list[i], list[i + 1]));
        if (face < 0) continue;
        GlVertex *const tri[3] = {list[0], list[i], list[i + 1]};
        uint32_t colours[3];
        prepareColours(ctx, tri, 3, face, pv, colours);
        auto send = [&](int32_t k, uint32_t tag) {
            __glHwEncodeVertex(ctx, tri[k], tag, colours[k], reinterpret_cast<HwVertex *>(w));
            w += kHwVertexWords;
            ++sent;
        };
        if (sent == 0) send(0, kHwTagFirst);
        if (lastSent != i) {
            const uint32_t e = kWalk[at];
            at = e & 0xF;
            send(1, e & 0xF);
        }
        const uint32_t e = kWalk[at];
        at = e & 0xF;
        send(2, e);
        lastSent = i + 1;
        restoreColours(tri, 3, pv);
    }
    if (sent == 0) {
        // Nothing shows: the block written in front stays (the chip holds it now).
        hw->writeIndex += uint32_t(header - start);
        return;
    }
    *header = uint32_t(8 * sent) << 18 | 0x3000u;
    hw->writeIndex += uint32_t(w - start);
    hw->drawingPending = 1;
    __glHwEarlyKickoff(hw);
}

namespace {

// Polygon offset: units of the depth buffer's resolvable step, plus the factor times the larger
// depth slope (none for a triangle without area). The step is a fraction of the largest depth
// value, so it is scaled to window depth units as the slopes already are.
float offsetOf(GlContext *ctx, const GlVertex *a, const GlVertex *b, const GlVertex *c, float area) {
    const GlPolygonOffsetState &o = ctx->state.polygonOffset;
    float offset = float(double(o.offsetUnits) * ctx->buffers.depth.offsetUnit * __glDepthBufferScale(ctx));
    if (o.offsetFactor != 0.0f && area != 0.0f) {
        const float ax = a->window[0] - c->window[0], ay = a->window[1] - c->window[1], az = a->window[2] - c->window[2];
        const float bx = b->window[0] - c->window[0], by = b->window[1] - c->window[1], bz = b->window[2] - c->window[2];
        const float dzx = std::fabs(ay * bz - by * az), dzy = std::fabs(bz * ax - az * bx);
        offset += o.offsetFactor * (dzx > dzy ? dzx : dzy) / std::fabs(area);
    }
    return offset;
}

}  // namespace

// The triangle for what one pass cannot draw: polygon modes, polygon offset and blends with a
// second pass. Each vertex goes with its own header, so the second pass can repeat the last.
void __glHwRenderTriangleTwoPass(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    if (__glHwFrontOwnershipMoved(ctx)) return ctx->slots.primitive.renderTriangle(ctx, a, b, c);
    const float area = hwArea(a, b, c);
    const GlPickState &p = pickOf(ctx);
    const int32_t shown = std::signbit(area) ? p.faceTable[1] : p.faceTable[0];
    if (shown == p.cullFaceCode) return;
    const uint8_t mode = p.polygonModeByFace[shown];
    if (mode == 2 && area == 0.0f) return;
    GlVertex *const v[3] = {a, b, c};
    GlVertex *pv = provoking(ctx, c);
    const GlShadeFlags f = __glShadeFlags(ctx);
    uint32_t colours[3];
    HwState *hw = &ctx->hw;
    const bool textured = (f & kGlShadeTexture) != 0;
    if (textured && mode == 2 && lodNeedsSoftware(ctx, v)) return softwareTriangle(ctx, a, b, c);
    if (textured)
        loadTexturedState(ctx);
    else
        __glHwBuildRegisterWords(ctx);
    prepareColours(ctx, v, 3, shown, pv, colours);
    // GL_REPLACE of a GL_ALPHA texture: the vertex colour and the texel's alpha alone.
    if (textured && alphaReplaces(ctx))
        for (uint32_t &colour : colours) colour |= 0xFF000000u;
    if (!(f & kGlShadeSmoothColors))
        for (GlVertex *x : v) x->color = pv->color;
    const GlShadeFlags offsetFlag = mode == 0 ? kGlShadeOffsetPoint : mode == 1 ? kGlShadeOffsetLine : kGlShadePolygonOffset;
    const float z[3] = {a->window[2], b->window[2], c->window[2]};
    if (f & offsetFlag) {
        const float offset = offsetOf(ctx, a, b, c, area);
        for (GlVertex *x : v) x->window[2] += offset;
    }
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    if (mode == 0) {
        if (prim.renderPoint != nullptr)
            for (GlVertex *x : v)
                if (x->edgeFlag) prim.renderPoint(ctx, x);
    } else if (mode == 1) {
        if (prim.renderLine != nullptr) {
            if (a->edgeFlag) prim.renderLine(ctx, a, b);
            if (b->edgeFlag) prim.renderLine(ctx, b, c);
            if (c->edgeFlag) prim.renderLine(ctx, c, a);
        }
    } else {
        __glHwSendSurfaces(hw);
        uint32_t *start = __glHwReserve(hw, 50);
        uint32_t *w = blockIfNeeded(hw, start);
        static constexpr uint32_t kTags[3] = {kHwTagFirst, kHwTagSecond, kHwTagThird};
        uint32_t *third = nullptr;
        const TexCoords tc = textured ? texCoordsOf(ctx, v) : TexCoords{};
        for (int i = 0; i < 3; ++i) {
            *w++ = kHwOneVertexHeader + 0x40u * uint32_t(i);
            if (i == 2) third = w;
            HwVertex *out = reinterpret_cast<HwVertex *>(w);
            __glHwEncodeVertex(ctx, v[i], kTags[i], colours[i], out);
            if (textured) tc.patch(i, out);
            w += kHwVertexWords;
        }
        if (hw->blendWord != 0xFFFFFFFFu) {
            const uint32_t control = hw->triangleRegs[kHwRegControl];
            *w++ = kHwControlMethod;
            *w++ = (control & 0x0FFFF2FFu) | hw->blendWord;
            *w++ = kHwOneVertexHeader + 0xC0u;
            std::memcpy(w, third, kHwVertexWords * 4);
            w += kHwVertexWords;
            *w++ = kHwControlMethod;
            *w++ = control;
        }
        hw->writeIndex += uint32_t(w - start);
        hw->drawingPending = 1;
    }
    for (int i = 0; i < 3; ++i) v[i]->window[2] = z[i];
    restoreColours(v, 3, pv);
    if (mode == 2) __glHwEarlyKickoff(hw);
}

void __glFlushThenTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    HwState *hw = &ctx->hw;
    if (hw->drawingPending) {
        ctx->slots.finish(ctx);
        hw->drawingPending = 0;
    }
    if (hw->savedTriangleProc != nullptr)
        __glHwProcCast<GlRenderTriangleProc>(hw->savedTriangleProc)(ctx, a, b, c);
}

// The chip draws triangles exactly blended, textured from a copy it can read, into surfaces it
// reaches; everything else goes to the software rasteriser behind a flush.
bool __glHwTriangleNeedsSoftware(GlContext *ctx) {
    const HwState &hw = ctx->hw;
    const GlShadeFlags f = __glShadeFlags(ctx);
    if (hw.softwareOnly || !__glHwUsable(ctx) || ctx->renderMode != GL_RENDER) return true;
    if (!(f & kGlShadeRgba) || pickOf(ctx).drawNone) return true;
    if (f & (kGlShadeColorMask | kGlShadeLogicOp | kGlShadeStencilTest | kGlShadePolygonStipple)) return true;
    // A front buffer other windows overlap: the chip would draw over them; the software stores
    // test pixel ownership.
    if (f & kGlShadeFrontClip) return true;
    if (f & kGlShadeTexture) {
        // The chip multiplies texel by colour: GL_BLEND mixes in the environment colour, and
        // DECAL of a texture with alpha mixes texel and fragment by the texel's alpha.
        const GlTextureObject *tex = pickOf(ctx).currentTextures[0];
        const GLenum env = envOf(ctx);
        if (env == GL_BLEND || (env == GL_DECAL && baseFormatOf(tex) != GL_RGB)) return true;
        // Textures the chip cannot read, or that find no memory, draw in software rather than
        // untextured.
        if (!__glHwTexMakeResident(ctx, pickOf(ctx).currentTextures[0])) return true;
    }
    if (ctx->state.enable.enables & kGlEnablePolygonSmooth) return true;
    if (f & kGlShadeBlend) {
        const HwBlendEntry &e = __glHwBlendEntry(ctx->state.color.blendSrcFactor, ctx->state.color.blendDstFactor);
        if (!e.exact) return true;
    }
    return false;
}

void __glHwPickTriangleProcs(GlContext *ctx) {
    if (!__glHasHwState(ctx)) {
        __glPickTriangleProcs(ctx);
        return;
    }
    HwState *hw = &ctx->hw;
    GlPrimitiveProcs &prim = ctx->slots.primitive;
    ctx->state.clip.polygonProc = __glDrawPolygonAsFan;
    if (__glHwUsable(ctx)) __glHwEarlyKickoff(hw);
    if (!__glHwUsable(ctx)) {
        __glPickTriangleProcs(ctx);  // no chip drawing to wait for
        return;
    }
    if (__glHwTriangleNeedsSoftware(ctx)) {
        __glPickTriangleProcs(ctx);
        hw->savedTriangleProc = __glHwProcCast<HwSavedProc>(prim.renderTriangle);
        prim.renderTriangle = __glFlushThenTriangle;
        return;
    }
    GlPickState &p = pickOf(ctx);
    const GlModeState &m = ctx->state.mode;
    const GlShadeFlags f = __glShadeFlags(ctx);
    // Textured triangles whose level of detail the chip cannot serve are drawn in software: its
    // procs are picked now and kept.
    hw->savedRasterTriangleProc = nullptr;
    if ((f & kGlShadeTexture) && lodMatters(ctx)) {
        __glPickTriangleProcs(ctx);
        hw->savedTriangleProc = __glHwProcCast<HwSavedProc>(prim.renderTriangle);
        hw->savedRasterTriangleProc = __glHwProcCast<HwSavedProc>(p.rasterTriangleProc);
    }
    if (!__glPickTriangleFaces(ctx)) return;
    p.rasterTriangleProc = nullptr;
    if (__glHwBlendNeedsSecondPass(ctx) || m.polygonMode[0] != GL_FILL || m.polygonMode[1] != GL_FILL ||
        (f & kGlShadePolygonOffset) || ((f & kGlShadeTexture) && alphaReplaces(ctx))) {
        prim.renderTriangle = __glHwRenderTriangleTwoPass;
    } else if (f & kGlShadeTexture) {
        prim.renderTriangle = __glHwRenderTexTriangle;
    } else {
        prim.renderTriangle = __glHwRenderTriangle;
        if (!(f & kGlShadeTwoSided)) ctx->state.clip.polygonProc = __glHwRenderPolygon;
    }
    hw->triangleRegsStale = 1;
}
