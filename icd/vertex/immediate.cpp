// The immediate-mode attribute and vertex entries: glVertex*, glColor*, glIndex*, glNormal*,
// glTexCoord*, glEdgeFlag* and the multitexture-coordinate and unit-select extension entries.
// Each command family is one template over component count and type; the macros below only
// spell out the entry names and parameter lists.
#include "icd/core/core.h"
#include "icd/vertex/vertex_ring.h"
#include "icd/vertex/convert.h"

namespace {
// Slots of the three vertex workers in the proc tables.
constexpr int kSlotVertex2fv = glslot::glVertex2fv, kSlotVertex3fv = glslot::glVertex3fv, kSlotVertex4fv = glslot::glVertex4fv;
constexpr GLenum kGlTexture0Sgis = 0x835E, kGlTexture3Sgis = 0x8361;
constexpr uint32_t kGlMaxTextureUnits = 2, kGlMaxTexCoordSets = 2;

// ---- conversions -------------------------------------------------------------------------------
// Coordinates, indices and texture coordinates: values as given, doubles rounded to single.
template <class T>
inline float valueOf(T c) {
    return float(c);
}

// ---- the vertex path ---------------------------------------------------------------------------
// The worker: object coordinates into the next record, clip coordinates by the composite
// matrix, the out-codes, then the attribute copy, which hands the record to the primitive's
// vertex handler. The handler, not the worker, moves writePtr.
template <int N>
void vertexWorker(const GLfloat *in) {
    GlContext *ctx = __glGetCurrentContext();
    GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return;  // the stacks could not be allocated
    GlVertex *v = ctx->arrays.vertexBuffer.writePtr;
    v->obj[0] = __glClientValue<GLfloat>(in, 0);
    v->obj[1] = __glClientValue<GLfloat>(in, 1);
    v->obj[2] = N >= 3 ? __glClientValue<GLfloat>(in, 2) : 0.0f;
    v->obj[3] = N >= 4 ? __glClientValue<GLfloat>(in, 3) : 1.0f;
    const GlMatrix *mvp = &top->mvp;
    GlXformProc xform = N == 2 ? mvp->xform2 : N == 3 ? mvp->xform3 : mvp->xform4;
    xform(v->clip, v->obj, mvp);
    const uint32_t size = uint32_t(N - 1) << kGlVertexSizeShift;
    // The user-plane checks complete the eye coordinates on the way: keep the done bits they
    // set along with the codes they return.
    v->flags = size;
    GlPrimitiveProcs &p = ctx->slots.primitive;
    v->flags |= p.clipCheck[N - 2](ctx, v);
    p.copyAttributes(ctx, v);
}

// The other glVertex forms convert and go through the executed table, so a replacement
// installed there (the vertex cache) sees every vertex.
template <int N, class T>
void vertexVia(const T *in) {
    GLfloat f[4];
    for (int i = 0; i < N; ++i) f[i] = valueOf(__glClientValue<T>(in, i));
    GlContext *ctx = __glGetCurrentContext();
    constexpr int slot = N == 2 ? kSlotVertex2fv : N == 3 ? kSlotVertex3fv : kSlotVertex4fv;
    reinterpret_cast<void(APIENTRY *)(const GLfloat *)>(ctx->execTable->slot[slot])(f);
}

// ---- attributes --------------------------------------------------------------------------------
inline void applyColor(GlContext *ctx) {
    if (ctx->slots.applyColor != nullptr) ctx->slots.applyColor(ctx);
}

template <int N, class T>
void colorv(const T *c) {
    GlContext *ctx = __glGetCurrentContext();
    float *d = ctx->current.color;
    for (int i = 0; i < N; ++i) d[i] = __glUnitOf(ctx, __glClientValue<T>(c, i));
    if (N == 3) d[3] = 1.0f;
    applyColor(ctx);
}

template <int N, class T>
void normalv(const T *c) {
    GlContext *ctx = __glGetCurrentContext();
    for (int i = 0; i < 3; ++i) ctx->current.normal[i] = __glUnitOf(ctx, __glClientValue<T>(c, i));
}

template <int N, class T>
void indexv(const T *c) {
    __glGetCurrentContext()->current.index = valueOf(__glClientValue<T>(c, 0));
}

// s, t, r, q with the missing ones 0, 0, 1.
template <int N, class T>
void storeTexCoord(float *d, const T *c) {
    d[0] = valueOf(__glClientValue<T>(c, 0));
    d[1] = N >= 2 ? valueOf(__glClientValue<T>(c, 1)) : 0.0f;
    d[2] = N >= 3 ? valueOf(__glClientValue<T>(c, 2)) : 0.0f;
    d[3] = N >= 4 ? valueOf(__glClientValue<T>(c, 3)) : 1.0f;
}

template <int N, class T>
void texCoordv(const T *c) {
    GlContext *ctx = __glGetCurrentContext();
    storeTexCoord<N>(__glCurrentTexCoord(ctx, ctx->state.unitSelect.activeTexCoordSet), c);
}

// The unit of a GL_TEXTUREi_SGIS target, or -1 after reporting the error.
int32_t unitOfTarget(GLenum target, uint32_t limit) {
    if (target < kGlTexture0Sgis || target > kGlTexture3Sgis) {
        __glSetError(GL_INVALID_ENUM);
        return -1;
    }
    uint32_t unit = target - kGlTexture0Sgis;
    if (unit >= limit) {
        __glSetError(GL_INVALID_OPERATION);
        return -1;
    }
    return int32_t(unit);
}

template <int N, class T>
void multiTexCoordv(GLenum target, const T *c) {
    int32_t set = unitOfTarget(target, kGlMaxTexCoordSets);
    if (set < 0) return;
    storeTexCoord<N>(__glCurrentTexCoord(__glGetCurrentContext(), uint32_t(set)), c);
}

template <int N, class T>
void vertexv(const T *c) {
    vertexVia<N>(c);
}
}  // namespace

// ---- entry names ---------------------------------------------------------------------------------
#define GL_PARAMS1(T) T a
#define GL_PARAMS2(T) T a, T b
#define GL_PARAMS3(T) T a, T b, T c
#define GL_PARAMS4(T) T a, T b, T c, T d
#define GL_ARGS1 a
#define GL_ARGS2 a, b
#define GL_ARGS3 a, b, c
#define GL_ARGS4 a, b, c, d

// glNAME<n><sfx>(n scalars) and glNAME<n><sfx>v(pointer), both running fn<n>.
#define GL_VECTOR_PAIR(name, n, sfx, T, fn)                                              \
    void APIENTRY gl##name##n##sfx(GL_PARAMS##n(T)) {                                     \
        const T v[n] = {GL_ARGS##n};                                                      \
        fn<n>(v);                                                                         \
    }                                                                                     \
    void APIENTRY gl##name##n##sfx##v(const T *v) { fn<n>(v); }

// The same for the multitexture entries, with the target first.
#define GL_MULTI_PAIR(n, sfx, T)                                                          \
    void APIENTRY __glDoMultiTexCoord##n##sfx##SGIS(GLenum target, GL_PARAMS##n(T)) {     \
        const T v[n] = {GL_ARGS##n};                                                      \
        multiTexCoordv<n>(target, v);                                                     \
    }                                                                                     \
    void APIENTRY __glDoMultiTexCoord##n##sfx##v##SGIS(GLenum target, const T *v) {       \
        multiTexCoordv<n>(target, v);                                                     \
    }

#define GL_TYPES_DFIS(X, ...) X(__VA_ARGS__, d, GLdouble) X(__VA_ARGS__, f, GLfloat) \
    X(__VA_ARGS__, i, GLint) X(__VA_ARGS__, s, GLshort)
#define GL_TYPES_COLOR(X, ...) X(__VA_ARGS__, b, GLbyte) X(__VA_ARGS__, d, GLdouble)  \
    X(__VA_ARGS__, f, GLfloat) X(__VA_ARGS__, i, GLint) X(__VA_ARGS__, s, GLshort)     \
    X(__VA_ARGS__, ub, GLubyte) X(__VA_ARGS__, ui, GLuint) X(__VA_ARGS__, us, GLushort)

#define GL_COLOR_ENTRY(n, sfx, T) GL_VECTOR_PAIR(Color, n, sfx, T, colorv)
#define GL_NORMAL_ENTRY(n, sfx, T) GL_VECTOR_PAIR(Normal, n, sfx, T, normalv)
#define GL_TEXCOORD_ENTRY(n, sfx, T) GL_VECTOR_PAIR(TexCoord, n, sfx, T, texCoordv)
#define GL_VERTEX_ENTRY(n, sfx, T) GL_VECTOR_PAIR(Vertex, n, sfx, T, vertexv)
// glIndex has no count in its name.
#define GL_INDEX_ENTRY(unused, sfx, T)                           \
    void APIENTRY glIndex##sfx(T a) { indexv<1>(&a); }           \
    void APIENTRY glIndex##sfx##v(const T *v) { indexv<1>(v); }

namespace icd {
GL_TYPES_COLOR(GL_COLOR_ENTRY, 3)
GL_TYPES_COLOR(GL_COLOR_ENTRY, 4)
GL_NORMAL_ENTRY(3, b, GLbyte)
GL_TYPES_DFIS(GL_NORMAL_ENTRY, 3)
GL_TYPES_DFIS(GL_INDEX_ENTRY, 1)
GL_INDEX_ENTRY(1, ub, GLubyte)
GL_TYPES_DFIS(GL_TEXCOORD_ENTRY, 1)
GL_TYPES_DFIS(GL_TEXCOORD_ENTRY, 2)
GL_TYPES_DFIS(GL_TEXCOORD_ENTRY, 3)
GL_TYPES_DFIS(GL_TEXCOORD_ENTRY, 4)
GL_TYPES_DFIS(GL_MULTI_PAIR, 1)
GL_TYPES_DFIS(GL_MULTI_PAIR, 2)
GL_TYPES_DFIS(GL_MULTI_PAIR, 3)
GL_TYPES_DFIS(GL_MULTI_PAIR, 4)

// glVertex: the fv forms are the workers; every other form goes through the executed table.
#define GL_VERTEX_FAMILY(n)                                                     \
    GL_VERTEX_ENTRY(n, d, GLdouble)                                             \
    GL_VERTEX_ENTRY(n, i, GLint)                                                \
    GL_VERTEX_ENTRY(n, s, GLshort)                                              \
    void APIENTRY glVertex##n##f(GL_PARAMS##n(GLfloat)) {                       \
        const GLfloat v[n] = {GL_ARGS##n};                                      \
        vertexVia<n>(v);                                                        \
    }                                                                           \
    void APIENTRY glVertex##n##fv(const GLfloat *v) { vertexWorker<n>(v); }
GL_VERTEX_FAMILY(2)
GL_VERTEX_FAMILY(3)
GL_VERTEX_FAMILY(4)

// The flag byte as passed: readers test it for non-zero.
void APIENTRY glEdgeFlag(GLboolean flag) { __glGetCurrentContext()->current.edgeFlag = flag; }
void APIENTRY glEdgeFlagv(const GLboolean *flag) { __glGetCurrentContext()->current.edgeFlag = *flag; }

// The unit that texture state calls address, and the coordinate set glTexCoord writes.
void APIENTRY __glDoSelectTextureSGIS(GLenum target) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    int32_t unit = unitOfTarget(target, kGlMaxTextureUnits);
    if (unit >= 0) ctx->state.unitSelect.activeTexture = uint32_t(unit);
}

void APIENTRY __glDoSelectTextureCoordSetSGIS(GLenum target) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    int32_t set = unitOfTarget(target, kGlMaxTexCoordSets);
    if (set >= 0) ctx->state.unitSelect.activeTexCoordSet = uint32_t(set);
}
}  // namespace icd
