// The OpenGL entries of the matrix stacks, the viewport, the depth range, the scissor box and
// the user clip planes.
#include <bit>
#include <cstring>
#include "icd/core/core.h"
#include "icd/vertex/transform_state.h"

namespace {
// Entries not allowed between glBegin and glEnd. A context without its stacks (their
// allocation failed) has reported GL_OUT_OF_MEMORY and ignores matrix calls.
GlContext *enter() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx;
}

GlContext *enterMatrix() {
    GlContext *ctx = enter();
    return ctx != nullptr && ctx->state.transform.modelView != nullptr ? ctx : nullptr;
}

// Push, pop and load-identity run the proc of the matrix mode, which validation picks.
GlContext *enterStackOp() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    } else if (ctx->beginMode != kGlOutsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx->state.transform.modelView != nullptr ? ctx : nullptr;
}

void markValidate(GlContext *ctx, uint32_t dirty) {
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= dirty;
}

template <class T>
void loadGeneral(GlMatrix *m, const T *v) {
    for (int i = 0; i < 16; ++i) m->m[i] = float(v[i]);
    m->type = kGlMatrixGeneral;
    m->orthoWidth = m->orthoHeight = 0;
}

template <class T>
void loadMatrix(const T *v) {
    GlContext *ctx = enterMatrix();
    if (ctx == nullptr) return;
    GlMatrix m;
    loadGeneral(&m, v);
    __glLoadCurrentMatrix(ctx, &m);
}

template <class T>
void multMatrix(const T *v) {
    GlContext *ctx = enterMatrix();
    if (ctx == nullptr) return;
    GlMatrix m;
    loadGeneral(&m, v);
    __glApplyToCurrentMatrix(ctx, &m, __glMultiplyOp);
}

bool isZero(float v) { return (std::bit_cast<uint32_t>(v) & 0x7FFFFFFFu) == 0; }
bool isZero(double v) { return (std::bit_cast<uint64_t>(v) & 0x7FFFFFFFFFFFFFFFull) == 0; }
}  // namespace

namespace icd {
void APIENTRY glMatrixMode(GLenum mode) {
    GlContext *ctx = enter();
    if (ctx == nullptr) return;
    if (mode < GL_MODELVIEW || mode > GL_TEXTURE) {
        __glSetError(GL_INVALID_ENUM);
        return;
    }
    ctx->state.transform.matrixMode = mode;
    markValidate(ctx, 0x1);
}

void APIENTRY glLoadIdentity(void) {
    if (GlContext *ctx = enterStackOp()) ctx->slots.loadIdentityModelView(ctx);
}
void APIENTRY glPushMatrix(void) {
    if (GlContext *ctx = enterStackOp()) ctx->slots.pushModelView(ctx);
}
void APIENTRY glPopMatrix(void) {
    if (GlContext *ctx = enterStackOp()) ctx->slots.popModelView(ctx);
}

void APIENTRY glLoadMatrixf(const GLfloat *m) { loadMatrix(m); }
void APIENTRY glLoadMatrixd(const GLdouble *m) { loadMatrix(m); }
void APIENTRY glMultMatrixf(const GLfloat *m) { multMatrix(m); }
void APIENTRY glMultMatrixd(const GLdouble *m) { multMatrix(m); }

void APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    if (GlContext *ctx = enterMatrix()) __glRotateCurrent(ctx, angle, x, y, z);
}
void APIENTRY glRotated(GLdouble angle, GLdouble x, GLdouble y, GLdouble z) {
    if (GlContext *ctx = enterMatrix()) __glRotateCurrent(ctx, float(angle), float(x), float(y), float(z));
}
void APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) {
    if (GlContext *ctx = enterMatrix()) __glScaleCurrent(ctx, x, y, z);
}
void APIENTRY glScaled(GLdouble x, GLdouble y, GLdouble z) {
    if (GlContext *ctx = enterMatrix()) __glScaleCurrent(ctx, float(x), float(y), float(z));
}
void APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    if (GlContext *ctx = enterMatrix()) __glTranslateCurrent(ctx, x, y, z);
}
void APIENTRY glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    if (GlContext *ctx = enterMatrix()) __glTranslateCurrent(ctx, float(x), float(y), float(z));
}

// Perspective: the checks and the elements work in single precision.
void APIENTRY glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar) {
    GlContext *ctx = enterMatrix();
    if (ctx == nullptr) return;
    float l = float(left), r = float(right), b = float(bottom), t = float(top), n = float(zNear), f = float(zFar);
    float dx = r - l, dy = t - b, dz = f - n;
    if (!(n > 0.0f) || !(f > 0.0f) || isZero(dx) || isZero(dy) || isZero(dz)) {
        __glSetError(GL_INVALID_VALUE);
        return;
    }
    GlMatrix m;
    std::memset(&m, 0, sizeof(m));
    m.m[0] = 2.0f * n / dx;
    m.m[5] = 2.0f * n / dy;
    m.m[8] = (r + l) / dx;
    m.m[9] = (t + b) / dy;
    m.m[10] = -(f + n) / dz;
    m.m[11] = -1.0f;
    m.m[14] = -2.0f * f * n / dz;
    m.type = kGlMatrixGeneral;
    __glApplyToCurrentMatrix(ctx, &m, __glMultiplyOp);
}

// Parallel projection: the checks and the elements work in double precision. The projection
// that maps the viewport one to one onto window coordinates is recognised as such.
void APIENTRY glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar) {
    GlContext *ctx = enterMatrix();
    if (ctx == nullptr) return;
    double dx = right - left, dy = top - bottom, dz = zFar - zNear;
    if (isZero(dx) || isZero(dy) || isZero(dz)) {
        __glSetError(GL_INVALID_VALUE);
        return;
    }
    GlMatrix m;
    std::memset(&m, 0, sizeof(m));
    m.m[0] = float(2.0 / dx);
    m.m[5] = float(2.0 / dy);
    m.m[10] = float(-2.0 / dz);
    m.m[12] = float(-(right + left) / dx);
    m.m[13] = float(-(top + bottom) / dy);
    m.m[14] = float(-(zFar + zNear) / dz);
    m.m[15] = 1.0f;
    const GlViewport &v = ctx->state.transform.viewport;
    if (isZero(left) && isZero(bottom) && right == double(v.width) && top == double(v.height) && zNear <= 0.0 &&
        zFar >= 0.0) {
        m.type = kGlMatrixWindowOrtho;
        m.orthoWidth = uint16_t(v.width);
        m.orthoHeight = uint16_t(v.height);
    } else {
        m.type = kGlMatrixScaleTranslate;
    }
    __glApplyToCurrentMatrix(ctx, &m, __glMultiplyOp);
}

void APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    GlContext *ctx = enter();
    if (ctx == nullptr) return;
    if (width < 0 || height < 0) {
        __glSetError(GL_INVALID_VALUE);
        return;
    }
    GlTransformState &s = ctx->state.transform;
    if (width > ctx->limits.maxViewportWidth) width = ctx->limits.maxViewportWidth;
    if (height > ctx->limits.maxViewportHeight) height = ctx->limits.maxViewportHeight;
    s.viewport.x = x;
    s.viewport.y = y;
    s.viewport.width = width;
    s.viewport.height = height;
    if (s.procs.applyViewport != nullptr) s.procs.applyViewport(ctx);
    markValidate(ctx, 0x1);
}

void APIENTRY glDepthRange(GLclampd zNear, GLclampd zFar) {
    GlContext *ctx = enter();
    if (ctx == nullptr) return;
    __glSetDepthRange(ctx, zNear, zFar);
    markValidate(ctx, 0x81);
}

void APIENTRY glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    GlContext *ctx = enter();
    if (ctx == nullptr) return;
    if (width < 0 || height < 0) {
        __glSetError(GL_INVALID_VALUE);
        return;
    }
    GlTransformState &s = ctx->state.transform;
    if (s.scissorX == x && s.scissorY == y && s.scissorWidth == width && s.scissorHeight == height) return;
    s.scissorX = x;
    s.scissorY = y;
    s.scissorWidth = width;
    s.scissorHeight = height;
    markValidate(ctx, 0x100);
    __glUpdateClipBox(ctx);
    if (ctx->slots.scissorChanged != nullptr) ctx->slots.scissorChanged(ctx);
}

// The plane is stored in eye space: the equation times the inverse of the modelview matrix.
void APIENTRY glClipPlane(GLenum plane, const GLdouble *equation) {
    GlContext *ctx = enterMatrix();
    if (ctx == nullptr) return;
    uint32_t index = plane - GL_CLIP_PLANE0;
    if (index >= uint32_t(ctx->limits.maxClipPlanes) || ctx->arrays.clipPlanes == nullptr) {
        __glSetError(GL_INVALID_ENUM);
        return;
    }
    float eq[4] = {float(equation[0]), float(equation[1]), float(equation[2]), float(equation[3])};
    GlTransform *t = ctx->state.transform.modelView;
    if (t->inverseStale) {
        GlProc update = ctx->slots.updateModelViewInverse;
        if (update != nullptr) __glSlotAs<GlTransformEntrySlotProc>(update)(ctx, t);
        else __glUpdateModelViewInverse(ctx, t);
    }
    float *eye = static_cast<float *>(ctx->arrays.clipPlanes) + 4 * index;
    t->inverseTranspose.xform4(eye, eq, &t->inverseTranspose);
    markValidate(ctx, 0x1);
}
}  // namespace icd
