// GL_FEEDBACK: the render procs that write points, lines, polygons and pixel operations into the
// application's buffer as tokens and vertex values, glFeedbackBuffer and glPassThrough, and
// glRenderMode, which switches between the three render modes for feedback and selection alike.
#include "icd/core/state_entries_util.h"
#include "icd/core/pick.h"
#include "icd/vertex/feedback.h"
#include "icd/vertex/texgen.h"

using namespace glstate;

namespace {

inline GlFeedbackBuffer &fb(GlContext *ctx) { return ctx->state.feedback; }

void complete(GlContext *ctx, GlVertex *v, uint32_t need) {
    if ((need & ~(v->flags & kGlVertexDoneMask)) == 0) return;
    GlCompleteVertexProc proc = ctx->slots.primitive.completeVertex[(v->flags & kGlVertexSizeMask) >> kGlVertexSizeShift];
    if (proc != nullptr) proc(ctx, v, need);
}

inline float *faceColor(GlVertex *v, int32_t face) { return face ? v->backColor : v->frontColor; }

// Window depth back in [0, 1]: the depth buffer's scale removed, and its mirror while the buffer
// runs inverted.
float depth01(GlContext *ctx, float z) {
    double d = double(z) / double(__glDepthBufferScale(ctx));
    if (__glDepthBufferInverted(ctx)) d = 1.0 - d;
    return float(d);
}

// The line token: a reset token for the first line after the stipple restarts.
void putLineToken(GlContext *ctx) {
    uint8_t &reset = ctx->arrays.vertexBuffer.lineReset;
    if (reset == 0) {
        reset = 1;
        __glFeedbackPut(ctx, kGlLineResetToken);
    } else {
        __glFeedbackPut(ctx, kGlLineToken);
    }
}

void putLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    putLineToken(ctx);
    __glFeedbackVertex(ctx, a);
    __glFeedbackVertex(ctx, b);
}

void putPoint(GlContext *ctx, float token, GlVertex *v) {
    __glFeedbackPut(ctx, token);
    __glFeedbackVertex(ctx, v);
}

}  // namespace

void __glFeedbackPut(GlContext *ctx, float value) {
    GlFeedbackBuffer &f = fb(ctx);
    if (f.overflow) return;
    if (f.base == nullptr || f.writePtr >= f.base + f.size) {
        f.overflow = 1;
        return;
    }
    *f.writePtr++ = value;
}

void __glFeedbackVertex(GlContext *ctx, GlVertex *v) {
    const GLenum type = fb(ctx).type;
    __glFeedbackPut(ctx, __glUnbiasWindowX(ctx, v->window[0]));
    __glFeedbackPut(ctx, __glUnbiasWindowY(ctx, v->window[1]));
    if (type == GL_2D) return;
    __glFeedbackPut(ctx, depth01(ctx, v->window[2]));
    if (type == GL_4D_COLOR_TEXTURE) __glFeedbackPut(ctx, v->clip[3]);
    if (type == GL_3D) return;
    const float *c = v->color;
    if (ctx->visual.rgbaMode) {
        const GlColorScales &s = ctx->scales;
        __glFeedbackPut(ctx, c[0] * s.oneOverRedScale);
        __glFeedbackPut(ctx, c[1] * s.oneOverGreenScale);
        __glFeedbackPut(ctx, c[2] * s.oneOverBlueScale);
        __glFeedbackPut(ctx, c[3] * s.oneOverAlphaScale);
    } else {
        __glFeedbackPut(ctx, c[0]);
    }
    if (type == GL_3D_COLOR) return;
    // Drawing may not have needed the coordinates; generation reads the eye position and normal.
    if (!(v->flags & kGlVertexTexCoordDone))
        complete(ctx, v, ctx->state.need.needMask | kGlVertexTexCoordDone | __glTexGenNeeds(ctx));
    for (int i = 0; i < 4; ++i) __glFeedbackPut(ctx, v->texCoord[0][i]);
}

void __glFeedbackPoint(GlContext *ctx, GlVertex *v) { putPoint(ctx, kGlPointToken, v); }
void __glFeedbackBitmap(GlContext *ctx, GlVertex *v) { putPoint(ctx, kGlBitmapToken, v); }
void __glFeedbackDrawPixel(GlContext *ctx, GlVertex *v) { putPoint(ctx, kGlDrawPixelToken, v); }
void __glFeedbackCopyPixel(GlContext *ctx, GlVertex *v) { putPoint(ctx, kGlCopyPixelToken, v); }

// A flat line reports the colour of its last vertex at both ends.
void __glFeedbackLine(GlContext *ctx, GlVertex *a, GlVertex *b) {
    float *own = a->color;
    if (!(__glShadeFlags(ctx) & kGlShadeSmoothColors)) a->color = b->color;
    putLine(ctx, a, b);
    a->color = own;
}

void __glFeedbackTriangle(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c) {
    const GlPickState &p = ctx->state.pick;
    const float area = (b->window[1] - c->window[1]) * (a->window[0] - c->window[0]) -
                       (a->window[1] - c->window[1]) * (b->window[0] - c->window[0]);
    const int32_t face = area >= 0.0f ? p.faceTable[1] : p.faceTable[0];
    if (face == p.cullFaceCode) return;

    const GlShadeFlags flags = __glShadeFlags(ctx);
    const GlNeedMaskState &n = ctx->state.need;
    const bool twoSided = flags & kGlShadeTwoSided;
    const int32_t colorFace = twoSided ? face : 0;
    const uint32_t faceNeed = colorFace ? n.needMaskBack : n.needMaskFront;
    GlVertex *pv = nullptr;
    if (!(flags & kGlShadeSmoothColors)) {
        pv = ctx->arrays.vertexBuffer.provokingVertex;
        if (pv == nullptr) pv = c;
        pv->color = faceColor(pv, colorFace);
        complete(ctx, pv, faceNeed & 0x1B);
        for (GlVertex *v : {a, b, c}) {
            v->color = pv->color;
            complete(ctx, v, n.needMask);
        }
    } else {
        for (GlVertex *v : {a, b, c}) {
            v->color = faceColor(v, colorFace);
            complete(ctx, v, n.needMask | faceNeed);
        }
    }

    switch (p.polygonModeByFace[face]) {
    case 0:  // points
        for (GlVertex *v : {a, b, c})
            if (v->edgeFlag) putPoint(ctx, kGlPointToken, v);
        break;
    case 1:  // lines: each edge whose first vertex has its flag set
        if (a->edgeFlag) putLine(ctx, a, b);
        if (b->edgeFlag) putLine(ctx, b, c);
        if (c->edgeFlag) putLine(ctx, c, a);
        break;
    default:
        __glFeedbackPut(ctx, kGlPolygonToken);
        __glFeedbackPut(ctx, 3.0f);
        __glFeedbackVertex(ctx, a);
        __glFeedbackVertex(ctx, b);
        __glFeedbackVertex(ctx, c);
        break;
    }
    for (GlVertex *v : {a, b, c}) v->color = v->frontColor;
    if (pv != nullptr) pv->color = pv->frontColor;
}

namespace icd {

GLint APIENTRY glRenderMode(GLenum mode) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return 0;
    }
    if (mode != GL_RENDER && mode != GL_FEEDBACK && mode != GL_SELECT) {
        __glSetError(GL_INVALID_ENUM);
        return 0;
    }
    GlFeedbackBuffer &f = ctx->state.feedback;
    GlSelectBuffer &s = ctx->state.select;
    // A mode without its buffer is refused before anything changes: the context stays in the
    // mode it was in, with its count, rather than running a mode with nowhere to write.
    if ((mode == GL_FEEDBACK && f.base == nullptr) || (mode == GL_SELECT && s.base == nullptr)) {
        __glSetError(GL_INVALID_OPERATION);
        return 0;
    }
    GLint result = 0;
    switch (ctx->renderMode) {
    case GL_FEEDBACK: result = f.overflow ? -1 : GLint(f.writePtr - f.base); break;
    case GL_SELECT:
        result = s.overflow ? -1 : GLint(s.hitCount);
        s.hitOpen = 0;
        break;
    default: break;
    }
    ctx->renderMode = mode;
    markDirty(ctx, kGlDirtyGeneral);
    if (mode == GL_FEEDBACK) {
        f.writePtr = f.base;
        f.overflow = 0;
    } else if (mode == GL_SELECT) {
        s.writePtr = s.base;
        s.overflow = 0;
        s.nameStackBase = s.nameStackTop = ctx->arrays.nameStack;
        s.hitOpen = 0;
        s.hitCount = 0;
        s.openHitMinMax = nullptr;
    }
    return result;
}

void APIENTRY glFeedbackBuffer(GLsizei size, GLenum type, GLfloat *buffer) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (type < GL_2D || type > GL_4D_COLOR_TEXTURE) return __glSetError(GL_INVALID_ENUM);
    if (size < 0) return __glSetError(GL_INVALID_VALUE);
    if (ctx->renderMode == GL_FEEDBACK) return __glSetError(GL_INVALID_OPERATION);
    GlFeedbackBuffer &f = fb(ctx);
    f.base = f.writePtr = buffer;
    f.size = size;
    f.overflow = 0;
    f.type = type;
}

void APIENTRY glPassThrough(GLfloat token) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr || ctx->renderMode != GL_FEEDBACK) return;
    __glFeedbackPut(ctx, kGlPassThroughToken);
    __glFeedbackPut(ctx, token);
}

}  // namespace icd
