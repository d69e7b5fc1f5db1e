// The evaluator maps: their defaults at context reset, glMap1* and glMap2* (checks, then the
// packed copy of the control points), glMapGrid* and the answers of glGetMap.
#include <cstring>
#include <type_traits>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/vertex/eval.h"

namespace {

struct MapKind {
    int32_t components;
    float defaultPoint[4];
};
// By map index: colour, index, normal, texture coordinates 1-4, vertex 3 and 4.
constexpr MapKind kMapKinds[kGlEvalMapCount] = {
    {4, {1.0f, 1.0f, 1.0f, 1.0f}}, {1, {1.0f}},          {3, {0.0f, 0.0f, 1.0f}},
    {1, {0.0f}},                   {2, {0.0f, 0.0f}},    {3, {0.0f, 0.0f, 0.0f}},
    {4, {0.0f, 0.0f, 0.0f, 1.0f}}, {3, {0.0f, 0.0f, 0.0f}}, {4, {0.0f, 0.0f, 0.0f, 1.0f}},
};

inline bool isMap1(GLenum target) { return target >= GL_MAP1_COLOR_4 && target <= GL_MAP1_VERTEX_4; }
inline bool isMap2(GLenum target) { return target >= GL_MAP2_COLOR_4 && target <= GL_MAP2_VERTEX_4; }

// The highest order a map takes: the context's limit, never beyond what a basis holds.
inline int32_t maxOrder(const GlContext *ctx) {
    const int32_t limit = ctx->limits.maxEvalOrder;
    return limit < kGlEvalBasisSize ? limit : kGlEvalBasisSize;
}

void freeBlock(GlContext *ctx, float *&block) {
    if (block != nullptr) ctx->hostProcs.free(ctx, block);
    block = nullptr;
}

// A block of n floats, or null after reporting that there is no memory.
float *newBlock(GlContext *ctx, int32_t n) {
    float *block = static_cast<float *>(ctx->hostProcs.alloc(ctx, size_t(n) * sizeof(float)));
    if (block == nullptr) __glSetError(GL_OUT_OF_MEMORY);
    return block;
}

// Replaces a map's control points; the old block goes only once the new one is filled.
void install(GlContext *ctx, float *&points, float *block) {
    freeBlock(ctx, points);
    points = block;
}

template <class T>
void copyMap1(int32_t k, int32_t order, int32_t stride, const T *src, float *dst) {
    if constexpr (std::is_same_v<T, GLfloat>) {
        if (stride == k) return void(std::memcpy(dst, src, size_t(k) * size_t(order) * sizeof(float)));
    }
    // Point i's address from the first point's, so that no pointer steps past the last point.
    for (int32_t i = 0; i < order; ++i) {
        const T *p = src + ptrdiff_t(i) * stride;
        for (int32_t c = 0; c < k; ++c) *dst++ = float(p[c]);
    }
}

template <class T>
void copyMap2(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride, const T *src, float *dst) {
    if constexpr (std::is_same_v<T, GLfloat>) {
        if (vstride == k && ustride == k * vorder)
            return void(std::memcpy(dst, src, size_t(k) * size_t(uorder) * size_t(vorder) * sizeof(float)));
    }
    for (int32_t i = 0; i < uorder; ++i)
        for (int32_t j = 0; j < vorder; ++j) {
            const T *p = src + ptrdiff_t(i) * ustride + ptrdiff_t(j) * vstride;
            for (int32_t c = 0; c < k; ++c) *dst++ = float(p[c]);
        }
}

// The domain is kept in floats: two values that round to one float make an empty domain.
template <class T>
void map1(GLenum target, T u1, T u2, GLint stride, GLint order, const T *points) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (!isMap1(target)) return __glSetError(GL_INVALID_ENUM);
    const int32_t k = __glMapTargetComponents(target);
    const float fu1 = float(u1), fu2 = float(u2);
    if (fu1 == fu2 || order < 1 || order > maxOrder(ctx) || stride < k) return __glSetError(GL_INVALID_VALUE);
    float *block = newBlock(ctx, __glMap1PointsSize(k, order));
    if (block == nullptr) return;
    evalmap::copyPoints(k, order, stride, points, block);
    const int32_t index = int32_t(target - GL_MAP1_COLOR_4);
    GlEvalState &e = ctx->state.eval;
    install(ctx, e.points1[index], block);
    e.map1[index] = {k, order, fu1, fu2};
}

template <class T>
void map2(GLenum target, T u1, T u2, GLint ustride, GLint uorder, T v1, T v2, GLint vstride, GLint vorder,
          const T *points) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (!isMap2(target)) return __glSetError(GL_INVALID_ENUM);
    const int32_t k = __glMapTargetComponents(target);
    const float fu1 = float(u1), fu2 = float(u2), fv1 = float(v1), fv2 = float(v2);
    const int32_t most = maxOrder(ctx);
    if (fu1 == fu2 || fv1 == fv2 || uorder < 1 || uorder > most || vorder < 1 || vorder > most || ustride < k ||
        vstride < k)
        return __glSetError(GL_INVALID_VALUE);
    float *block = newBlock(ctx, __glMap2PointsSize(k, uorder, vorder));
    if (block == nullptr) return;
    evalmap::copyPoints(k, uorder, ustride, vorder, vstride, points, block);
    const int32_t index = int32_t(target - GL_MAP2_COLOR_4);
    GlEvalState &e = ctx->state.eval;
    install(ctx, e.points2[index], block);
    e.map2[index] = {k, uorder, vorder, fu1, fu2, fv1, fv2};
}

// A count of segments below 1 is refused: the grid step divides by it.
template <class T>
void mapGrid1(GLint n, T u1, T u2) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (n < 1) return __glSetError(GL_INVALID_VALUE);
    ctx->state.eval.grids.grid1 = {float(u1), float(u2), n};
}

template <class T>
void mapGrid2(GLint un, T u1, T u2, GLint vn, T v1, T v2) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
    if (un < 1 || vn < 1) return __glSetError(GL_INVALID_VALUE);
    ctx->state.eval.grids.grid2 = {float(u1), float(u2), float(v1), float(v2), un, vn};
}

}  // namespace

int32_t __glMapTargetComponents(GLenum target) {
    if (isMap1(target)) return kMapKinds[target - GL_MAP1_COLOR_4].components;
    if (isMap2(target)) return kMapKinds[target - GL_MAP2_COLOR_4].components;
    return -1;
}

int32_t __glMap1PointsSize(int32_t k, int32_t order) { return k * order; }
int32_t __glMap2PointsSize(int32_t k, int32_t uorder, int32_t vorder) { return k * uorder * vorder; }

void __glCopyMap1Pointsf(int32_t k, int32_t order, int32_t stride, const GLfloat *src, float *dst) {
    copyMap1(k, order, stride, src, dst);
}
void __glCopyMap1Pointsd(int32_t k, int32_t order, int32_t stride, const GLdouble *src, float *dst) {
    copyMap1(k, order, stride, src, dst);
}
void __glCopyMap2Pointsf(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                         const GLfloat *src, float *dst) {
    copyMap2(k, uorder, ustride, vorder, vstride, src, dst);
}
void __glCopyMap2Pointsd(int32_t k, int32_t uorder, int32_t ustride, int32_t vorder, int32_t vstride,
                         const GLdouble *src, float *dst) {
    copyMap2(k, uorder, ustride, vorder, vstride, src, dst);
}

// Every map holds its default point over the domain [0, 1]; both grids are one segment of
// [0, 1]. A map whose block cannot be allocated keeps no points and evaluates to nothing.
void __glInitEvalState(GlContext *ctx) {
    GlEvalState &e = ctx->state.eval;
    for (int32_t i = 0; i < kGlEvalMapCount; ++i) {
        const MapKind &kind = kMapKinds[i];
        const size_t bytes = size_t(kind.components) * sizeof(float);
        e.map1[i] = {kind.components, 1, 0.0f, 1.0f};
        e.map2[i] = {kind.components, 1, 1, 0.0f, 1.0f, 0.0f, 1.0f};
        for (float **points : {&e.points1[i], &e.points2[i]}) {
            freeBlock(ctx, *points);
            *points = static_cast<float *>(ctx->hostProcs.alloc(ctx, bytes));
            if (*points != nullptr) std::memcpy(*points, kind.defaultPoint, bytes);
        }
    }
    e.grids.grid1 = {0.0f, 1.0f, 1};
    e.grids.grid2 = {0.0f, 1.0f, 0.0f, 1.0f, 1, 1};
}

void __glFreeEvalState(GlContext *ctx) {
    GlEvalState &e = ctx->state.eval;
    for (int32_t i = 0; i < kGlEvalMapCount; ++i) {
        freeBlock(ctx, e.points1[i]);
        freeBlock(ctx, e.points2[i]);
    }
    if (e.rowCache != nullptr) ctx->hostProcs.free(ctx, e.rowCache);
    e.rowCache = nullptr;
}

int32_t __glEvalMapValues(const GlContext *ctx, GLenum target, GLenum query, int32_t first, double *out,
                          int32_t max) {
    const GlEvalState &e = ctx->state.eval;
    const bool oneD = isMap1(target);
    if (!oneD && !isMap2(target)) return 0;
    double small[4];
    const float *run = nullptr;
    int32_t total = 0;
    if (oneD) {
        const int32_t index = int32_t(target - GL_MAP1_COLOR_4);
        const GlEvalMap1 &m = e.map1[index];
        switch (query) {
        case GL_COEFF:
            run = e.points1[index];
            total = run != nullptr ? __glMap1PointsSize(m.components, m.order) : 0;
            break;
        case GL_ORDER: small[0] = m.order, total = 1; break;
        case GL_DOMAIN: small[0] = m.u1, small[1] = m.u2, total = 2; break;
        default: return 0;
        }
    } else {
        const int32_t index = int32_t(target - GL_MAP2_COLOR_4);
        const GlEvalMap2 &m = e.map2[index];
        switch (query) {
        case GL_COEFF:
            run = e.points2[index];
            total = run != nullptr ? __glMap2PointsSize(m.components, m.uorder, m.vorder) : 0;
            break;
        case GL_ORDER: small[0] = m.uorder, small[1] = m.vorder, total = 2; break;
        case GL_DOMAIN: small[0] = m.u1, small[1] = m.u2, small[2] = m.v1, small[3] = m.v2, total = 4; break;
        default: return 0;
        }
    }
    int32_t n = 0;
    for (int32_t i = first; i < total && n < max; ++i) out[n++] = run != nullptr ? run[i] : small[i];
    return n;
}

namespace icd {
void APIENTRY glMap1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order, const GLdouble *points) {
    map1(target, u1, u2, stride, order, points);
}
void APIENTRY glMap1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order, const GLfloat *points) {
    map1(target, u1, u2, stride, order, points);
}
void APIENTRY glMap2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1,
                      GLdouble v2, GLint vstride, GLint vorder, const GLdouble *points) {
    map2(target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}
void APIENTRY glMap2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1, GLfloat v2,
                      GLint vstride, GLint vorder, const GLfloat *points) {
    map2(target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}
void APIENTRY glMapGrid1d(GLint un, GLdouble u1, GLdouble u2) { mapGrid1(un, u1, u2); }
void APIENTRY glMapGrid1f(GLint un, GLfloat u1, GLfloat u2) { mapGrid1(un, u1, u2); }
void APIENTRY glMapGrid2d(GLint un, GLdouble u1, GLdouble u2, GLint vn, GLdouble v1, GLdouble v2) {
    mapGrid2(un, u1, u2, vn, v1, v2);
}
void APIENTRY glMapGrid2f(GLint un, GLfloat u1, GLfloat u2, GLint vn, GLfloat v1, GLfloat v2) {
    mapGrid2(un, u1, u2, vn, v1, v2);
}
}  // namespace icd
