// The entries not allowed between glBegin and glEnd that set the raster position or draw
// through a context proc (glRasterPos*, glRect*, glBitmap), the raster-position procs, the
// rectangle drawn as a quad, and the swap-hint rectangle.
#include "icd/core/core.h"
#include "icd/core/drawable.h"
#include "icd/vertex/vertex_ring.h"

namespace {
typedef void (*GlBitmapProc)(GlContext *ctx, GLsizei width, GLsizei height, GLfloat xorig,
                             GLfloat yorig, GLfloat xmove, GLfloat ymove, const GLubyte *bitmap);

// The prologue of the entries not allowed inside glBegin/glEnd: an error inside; pending
// validation runs first. Null when the entry must stop.
GlContext *outsidePrimitive() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    return ctx;
}

template <class T>
inline float valueOf(T c) {
    return float(c);
}

template <int N, class T>
void rasterPosv(const T *c) {
    GlContext *ctx = outsidePrimitive();
    if (ctx == nullptr) return;
    float f[4];
    for (int i = 0; i < N; ++i) f[i] = valueOf(c[i]);
    GlProc slot = N == 2 ? ctx->slots.setRasterPos2 : N == 3 ? ctx->slots.setRasterPos3 : ctx->slots.setRasterPos4;
    __glSlotAs<GlRasterPosProc>(slot)(ctx, f);
}

template <class T>
void rect(T x1, T y1, T x2, T y2) {
    GlContext *ctx = outsidePrimitive();
    if (ctx == nullptr) return;
    __glSlotAs<GlRectProc>(ctx->slots.drawRect)(ctx, valueOf(x1), valueOf(y1), valueOf(x2), valueOf(y2));
}

// The raster position: the record is transformed and checked like a vertex; inside the
// frustum it takes the current attributes and is completed with the raster variants of the
// texture and colour procs.
template <int N>
void setRasterPos(GlContext *ctx, const float *in) {
    GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return;
    GlVertexCurrent &cur = ctx->current.vertex;
    GlVertex *rp = &cur.rasterPos;
    rp->obj[0] = in[0];
    rp->obj[1] = in[1];
    rp->obj[2] = N >= 3 ? in[2] : 0.0f;
    rp->obj[3] = N >= 4 ? in[3] : 1.0f;
    const GlMatrix *mvp = &top->mvp;
    GlXformProc xform = N == 2 ? mvp->xform2 : N == 3 ? mvp->xform3 : mvp->xform4;
    xform(rp->clip, rp->obj, mvp);
    // The fresh out-codes are kept with the record, never the previous position's: whoever
    // reads the record's clip bits sees this position.
    const uint32_t size = uint32_t(N - 1) << kGlVertexSizeShift;
    rp->flags = size;
    GlPrimitiveProcs &p = ctx->slots.primitive;
    uint32_t codes = p.clipCheck[N - 2](ctx, rp);
    rp->flags |= codes;
    if (codes & kGlVertexClipMask) {
        ctx->current.rasterPosValid = 0;
        return;
    }
    ctx->current.rasterPosValid = 1;
    for (int i = 0; i < 3; ++i) rp->normal[i] = ctx->current.normal[i];
    rp->normal[3] = 0.0f;
    rp->color = rp->frontColor;
    if (ctx->visual.rgbaMode) {
        for (int i = 0; i < 4; ++i) rp->frontColor[i] = cur.scaledColor[i];
    } else {
        rp->frontColor[0] = ctx->current.index;
    }
    for (int i = 0; i < 4; ++i) rp->texCoord[0][i] = ctx->current.texCoord[i];

    GlVertexProc texCoord = p.texCoord;
    GlFaceColorProc faceColor = p.faceColor;
    p.texCoord = p.rasterTexCoord;
    p.faceColor = p.rasterFaceColor;
    p.completeVertex[N - 1](ctx, rp, ctx->state.need.needMask | kGlVertexFrontColorDone |
                                         kGlVertexTexCoordDone | kGlVertexNormalDone | kGlVertexEyeDone);
    p.texCoord = texCoord;
    p.faceColor = faceColor;
    __glStoreRasterSummary(ctx);

    // In GL_SELECT the point render proc is the selection's: the position records a hit.
    if (ctx->renderMode == GL_SELECT) p.renderPoint(ctx, rp);
}
}  // namespace

void __glSetRasterPos2(GlContext *ctx, const float *v) { setRasterPos<2>(ctx, v); }
void __glSetRasterPos3(GlContext *ctx, const float *v) { setRasterPos<3>(ctx, v); }
void __glSetRasterPos4(GlContext *ctx, const float *v) { setRasterPos<4>(ctx, v); }

void __glStoreRasterSummary(GlContext *ctx) {
    GlCurrentState &c = ctx->current;
    const GlVertex &rp = c.vertex.rasterPos;
    c.rasterPos[0] = __glUnbiasWindowX(ctx, rp.window[0]);
    c.rasterPos[1] = __glUnbiasWindowY(ctx, rp.window[1]);
    c.rasterPos[2] = rp.window[2];
    c.rasterPos[3] = rp.clip[3];
    if (ctx->visual.rgbaMode) {
        for (int i = 0; i < 4; ++i) c.rasterColor[i] = rp.color[i];
    } else {
        c.rasterIndex = rp.color[0];
    }
    for (int i = 0; i < 4; ++i) c.rasterTexCoord[i] = rp.texCoord[0][i];
}

// A rectangle as one quad through the live table (a display list being compiled records it).
void __glDrawRectAsQuad(GlContext *, float x1, float y1, float x2, float y2) {
    __glDispatchBegin(GL_QUADS);
    __glDispatchVertex2f(x1, y1);
    __glDispatchVertex2f(x2, y1);
    __glDispatchVertex2f(x2, y2);
    __glDispatchVertex2f(x1, y2);
    __glDispatchEnd();
}

#define GL_RASTER_ENTRY(n, sfx, T, params, ...)                                  \
    void APIENTRY glRasterPos##n##sfx params {                                   \
        const T v[n] = {__VA_ARGS__};                                             \
        rasterPosv<n>(v);                                                         \
    }                                                                             \
    void APIENTRY glRasterPos##n##sfx##v(const T *v) { rasterPosv<n>(v); }
#define GL_RASTER_FAMILY(sfx, T)                                  \
    GL_RASTER_ENTRY(2, sfx, T, (T x, T y), x, y)                  \
    GL_RASTER_ENTRY(3, sfx, T, (T x, T y, T z), x, y, z)          \
    GL_RASTER_ENTRY(4, sfx, T, (T x, T y, T z, T w), x, y, z, w)
#define GL_RECT_FAMILY(sfx, T)                                                       \
    void APIENTRY glRect##sfx(T x1, T y1, T x2, T y2) { rect(x1, y1, x2, y2); }       \
    void APIENTRY glRect##sfx##v(const T *v1, const T *v2) { rect(v1[0], v1[1], v2[0], v2[1]); }

namespace icd {
GL_RASTER_FAMILY(d, GLdouble)
GL_RASTER_FAMILY(f, GLfloat)
GL_RASTER_FAMILY(i, GLint)
GL_RASTER_FAMILY(s, GLshort)
GL_RECT_FAMILY(d, GLdouble)
GL_RECT_FAMILY(f, GLfloat)
GL_RECT_FAMILY(i, GLint)
GL_RECT_FAMILY(s, GLshort)

void APIENTRY glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                       GLfloat ymove, const GLubyte *bitmap) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (ctx->beginMode == kGlNeedValidate) {
        // Validation may install another glBitmap: run whatever the live table now holds.
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        return __glDispatchBitmap(width, height, xorig, yorig, xmove, ymove, bitmap);
    }
    if (width < 0 || height < 0) return __glSetError(GL_INVALID_VALUE);
    __glSlotAs<GlBitmapProc>(ctx->slots.bitmap)(ctx, width, height, xorig, yorig, xmove, ymove, bitmap);
}

// Adds a rectangle to the drawable's list of regions to present at the next swap.
void APIENTRY __glDoAddSwapHintRectWIN(GLint x, GLint y, GLsizei width, GLsizei height) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (!ctx->visual.doubleBuffer) return;
    GlDrawableBuffers *buffers = ctx->tail.drawableBuffers;
    if (buffers != nullptr && buffers->addClipRect != nullptr) buffers->addClipRect(buffers, x, y, width, height);
}
}  // namespace icd
