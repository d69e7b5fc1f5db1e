// Display-list evaluator maps: the control points are copied out of the caller's strides into a
// tight block of floats (doubles converted), and replayed through the immediate glMap*f entries
// with the strides of that block.
#include "icd/core/list_select.h"
#include "icd/core/list_pack.h"
#include "icd/core/list_routines.h"
#include "icd/vertex/eval.h"

using namespace listpack;

namespace {

GlContext *current() { return __glGetCurrentContext(); }

// The checks of one direction of a map; false after recording the error.
bool directionOk(GlContext *ctx, int32_t k, GLint stride, GLint order, float u1, float u2) {
    if (order < 1 || order > ctx->limits.maxEvalOrder || stride < k || u1 == u2) {
        __glCompileError(ctx, GL_INVALID_VALUE);
        return false;
    }
    return true;
}

// {target, u1, u2, order, points}
template <class T>
void compileMap1(int16_t opcode, GLenum target, T u1, T u2, GLint stride, GLint order, const T *points) {
    GlContext *ctx = current();
    int32_t k = __glMapTargetComponents(target);
    if (k < 0 || target > GL_MAP1_VERTEX_4) return __glCompileError(ctx, GL_INVALID_ENUM);
    if (!directionOk(ctx, k, stride, order, float(u1), float(u2))) return;
    GlListNode *n = newNode(ctx, opcode, 16 + 4 * uint32_t(__glMap1PointsSize(k, order)), false);
    if (n == nullptr) return;
    const uint32_t header[4] = {target, 0, 0, uint32_t(order)};
    std::memcpy(n->payload(), header, sizeof header);
    const float ends[2] = {float(u1), float(u2)};
    std::memcpy(n->payload() + 4, ends, sizeof ends);
    evalmap::copyPoints(k, order, stride, points, reinterpret_cast<float *>(n->payload() + 16));
    __glAppendListNode(ctx, n, listexec::map1);
}

// {target, u1, u2, uorder, v1, v2, vorder, points with v fastest}
template <class T>
void compileMap2(int16_t opcode, GLenum target, T u1, T u2, GLint ustride, GLint uorder, T v1, T v2, GLint vstride,
                 GLint vorder, const T *points) {
    GlContext *ctx = current();
    int32_t k = __glMapTargetComponents(target);
    if (k < 0 || target < GL_MAP2_COLOR_4) return __glCompileError(ctx, GL_INVALID_ENUM);
    if (!directionOk(ctx, k, ustride, uorder, float(u1), float(u2)) ||
        !directionOk(ctx, k, vstride, vorder, float(v1), float(v2)))
        return;
    GlListNode *n = newNode(ctx, opcode, 28 + 4 * uint32_t(__glMap2PointsSize(k, uorder, vorder)), false);
    if (n == nullptr) return;
    const uint32_t header[7] = {target, 0, 0, uint32_t(uorder), 0, 0, uint32_t(vorder)};
    std::memcpy(n->payload(), header, sizeof header);
    const float u[2] = {float(u1), float(u2)}, v[2] = {float(v1), float(v2)};
    std::memcpy(n->payload() + 4, u, sizeof u);
    std::memcpy(n->payload() + 16, v, sizeof v);
    evalmap::copyPoints(k, uorder, ustride, vorder, vstride, points, reinterpret_cast<float *>(n->payload() + 28));
    __glAppendListNode(ctx, n, listexec::map2);
}

}  // namespace

namespace listexec {
// Maps replay through the immediate procs of the moment (the saved table while a list is being
// compiled and executed), like every evaluator call.
const uint8_t *map1(const uint8_t *p) {
    GLenum target = load<GLenum>(p);
    GLint order = load<GLint>(p + 12);
    int32_t k = __glMapTargetComponents(target);
    using Map1 = void(APIENTRY *)(GLenum, GLfloat, GLfloat, GLint, GLint, const GLfloat *);
    reinterpret_cast<Map1>(current()->execTable->slot[slot::glMap1f])(
        target, load<GLfloat>(p + 4), load<GLfloat>(p + 8), k, order, reinterpret_cast<const GLfloat *>(p + 16));
    return p + 16 + 4 * uint32_t(__glMap1PointsSize(k, order));
}

const uint8_t *map2(const uint8_t *p) {
    GLenum target = load<GLenum>(p);
    GLint uorder = load<GLint>(p + 12), vorder = load<GLint>(p + 24);
    int32_t k = __glMapTargetComponents(target);
    using Map2 = void(APIENTRY *)(GLenum, GLfloat, GLfloat, GLint, GLint, GLfloat, GLfloat, GLint, GLint, const GLfloat *);
    reinterpret_cast<Map2>(current()->execTable->slot[slot::glMap2f])(
        target, load<GLfloat>(p + 4), load<GLfloat>(p + 8), k * vorder, uorder, load<GLfloat>(p + 16),
        load<GLfloat>(p + 20), k, vorder, reinterpret_cast<const GLfloat *>(p + 28));
    return p + 28 + 4 * uint32_t(__glMap2PointsSize(k, uorder, vorder));
}
}  // namespace listexec

namespace icd::compile {
void APIENTRY glMap1d(GLenum target, GLdouble u1, GLdouble u2, GLint stride, GLint order, const GLdouble *points) {
    compileMap1<GLdouble>(141, target, u1, u2, stride, order, points);
}
void APIENTRY glMap1f(GLenum target, GLfloat u1, GLfloat u2, GLint stride, GLint order, const GLfloat *points) {
    compileMap1<GLfloat>(142, target, u1, u2, stride, order, points);
}
void APIENTRY glMap2d(GLenum target, GLdouble u1, GLdouble u2, GLint ustride, GLint uorder, GLdouble v1, GLdouble v2,
                      GLint vstride, GLint vorder, const GLdouble *points) {
    compileMap2<GLdouble>(143, target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}
void APIENTRY glMap2f(GLenum target, GLfloat u1, GLfloat u2, GLint ustride, GLint uorder, GLfloat v1, GLfloat v2,
                      GLint vstride, GLint vorder, const GLfloat *points) {
    compileMap2<GLfloat>(144, target, u1, u2, ustride, uorder, v1, v2, vstride, vorder, points);
}
}  // namespace icd::compile
