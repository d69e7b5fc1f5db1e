// The state-setting entries of single values: fragment tests, blending, masks, clear values,
// polygon, line and point modes, hints, shading and the draw buffer.
#include <cstring>
#include "icd/core/state_entries_util.h"

using namespace glstate;

namespace {

bool isCompareFunc(GLenum f) { return f >= GL_NEVER && f <= GL_ALWAYS; }
bool isFace(GLenum f) { return f == GL_FRONT || f == GL_BACK || f == GL_FRONT_AND_BACK; }
bool isBlendSource(GLenum f) { return f == GL_ZERO || f == GL_ONE || (f >= GL_SRC_ALPHA && f <= GL_SRC_ALPHA_SATURATE); }
bool isBlendDest(GLenum f) { return f == GL_ZERO || f == GL_ONE || (f >= GL_SRC_COLOR && f <= GL_ONE_MINUS_DST_ALPHA); }
bool isStencilOp(GLenum op) {
    return op == GL_ZERO || op == GL_INVERT || op == GL_KEEP || op == GL_REPLACE || op == GL_INCR || op == GL_DECR;
}

uint32_t stencilMask(const GlContext *ctx) { return maskOfBits(ctx->visual.stencilBits); }
uint32_t indexMask(const GlContext *ctx) { return maskOfBits(ctx->visual.indexBits); }

// The visual record carries no auxiliary buffers: this driver offers none.
constexpr uint32_t kAuxBufferCount = 0;

}  // namespace

namespace icd {

void APIENTRY glAlphaFunc(GLenum func, GLclampf ref) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isCompareFunc(func)) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.alphaFunc = func;
    ctx->state.color.alphaRef = clampTo(ref, 0.0f, 1.0f);
    markDirty(ctx, kGlDirtyGeneral, kGlTableAlphaTest);
}

void APIENTRY glBlendFunc(GLenum sfactor, GLenum dfactor) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isBlendSource(sfactor) || !isBlendDest(dfactor)) return __glSetError(GL_INVALID_ENUM);
    ctx->state.color.blendSrcFactor = sfactor;
    ctx->state.color.blendDstFactor = dfactor;
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glClearAccum(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const float in[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; ++i) ctx->state.color.clearAccum[i] = clampTo(in[i], -1.0f, 1.0f);
    markDirty(ctx, kGlDirtyGeneral);
}

// Clear values no picker reads: nothing is marked.
void APIENTRY glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const float in[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; ++i) ctx->state.color.clearColor[i] = clampTo(in[i], 0.0f, 1.0f);
}

void APIENTRY glClearIndex(GLfloat c) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    uint32_t fixed = uint32_t(truncToInt(double(c) * 16.0)) & (indexMask(ctx) * 16u + 15u);
    ctx->state.color.clearIndex = float(double(fixed) / 16.0);
}

void APIENTRY glClearDepth(GLclampd depth) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    double d = depth;
    if (!(d == d)) d = 1.0;
    ctx->state.mode.depthClear = d < 0.0 ? 0.0 : (d > 1.0 ? 1.0 : d);
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glClearStencil(GLint s) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.depthStencil.stencilClear = uint32_t(s) & stencilMask(ctx);
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glColorMask(GLboolean red, GLboolean green, GLboolean blue, GLboolean alpha) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    uint8_t *mask = ctx->state.color.colorMask;
    mask[0] = red;
    mask[1] = green;
    mask[2] = blue;
    mask[3] = alpha;
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glIndexMask(GLuint mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.color.indexMask = mask & indexMask(ctx);
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glCullFace(GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isFace(mode)) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.cullFace = mode;
    markDirty(ctx, kGlDirtyPolygon);
}

void APIENTRY glFrontFace(GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (mode != GL_CW && mode != GL_CCW) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.frontFace = mode;
    markDirty(ctx, kGlDirtyPolygon);
}

void APIENTRY glDepthFunc(GLenum func) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isCompareFunc(func)) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.depthFunc = func;
    markDirty(ctx, kGlDirtyDepth);
}

void APIENTRY glDepthMask(GLboolean flag) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.depthStencil.depthWriteMask = flag;
    markDirty(ctx, kGlDirtyDepth);
}

void APIENTRY glStencilFunc(GLenum func, GLint ref, GLuint mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isCompareFunc(func)) return __glSetError(GL_INVALID_ENUM);
    uint32_t all = stencilMask(ctx);
    ctx->state.mode.stencilFunc = func;
    ctx->state.depthStencil.stencilRef = ref < 0 ? 0 : (uint32_t(ref) > all ? all : uint32_t(ref));
    ctx->state.mode.stencilValueMask = mask & all;
    markDirty(ctx, kGlDirtyGeneral, kGlTableStencilFunc);
}

void APIENTRY glStencilMask(GLuint mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.mode.stencilWriteMask = mask & stencilMask(ctx);
    markDirty(ctx, kGlDirtyGeneral, kGlTableStencilFunc);
}

void APIENTRY glStencilOp(GLenum fail, GLenum zfail, GLenum zpass) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isStencilOp(fail) || !isStencilOp(zfail) || !isStencilOp(zpass)) return __glSetError(GL_INVALID_ENUM);
    GlModeState &m = ctx->state.mode;
    m.stencilFail = fail;
    m.stencilDepthFail = zfail;
    m.stencilDepthPass = zpass;
    markDirty(ctx, kGlDirtyGeneral, kGlTableStencilOp);
}

void APIENTRY glLogicOp(GLenum opcode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (opcode < GL_CLEAR || opcode > GL_SET) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.logicOp = opcode;
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glShadeModel(GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (mode != GL_FLAT && mode != GL_SMOOTH) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.shadeModel = mode;
    markDirty(ctx, kGlDirtyGeneral);
}

void APIENTRY glHint(GLenum target, GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (mode != GL_DONT_CARE && mode != GL_FASTEST && mode != GL_NICEST) return __glSetError(GL_INVALID_ENUM);
    // Perspective correction, point, line and polygon smoothing, fog: in enumerant order.
    static const uint32_t kDirty[5] = {kGlDirtyGeneral, kGlDirtyPoint, kGlDirtyLine, kGlDirtyPolygon, kGlDirtyGeneral};
    uint32_t index = target - GL_PERSPECTIVE_CORRECTION_HINT;
    if (index >= 5) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.hints[index] = mode;
    markDirty(ctx, kDirty[index]);
}

void APIENTRY glPolygonMode(GLenum face, GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!isFace(face) || mode < GL_POINT || mode > GL_FILL) return __glSetError(GL_INVALID_ENUM);
    GlModeState &m = ctx->state.mode;
    if (face != GL_BACK) m.polygonMode[0] = mode;
    if (face != GL_FRONT) m.polygonMode[1] = mode;
    uint32_t extra = mode == GL_POINT ? kGlDirtyPoint : (mode == GL_LINE ? kGlDirtyLine : 0);
    markDirty(ctx, kGlDirtyPolygon | extra);
}

void APIENTRY glPolygonOffset(GLfloat factor, GLfloat units) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.polygonOffset.offsetFactor = factor;
    ctx->state.polygonOffset.offsetUnits = units;
    markDirty(ctx, kGlDirtyPolygon);
}

void APIENTRY glPolygonStipple(const GLubyte *mask) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    uint8_t pattern[128];
    if (!__glUnpackImage(ctx, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask, pattern)) return;
    std::memcpy(ctx->state.mode.polygonStipple, pattern, sizeof(pattern));
    runProc(ctx, ctx->slots.buildPolygonStippleMasks);
    markDirty(ctx, kGlDirtyPolygon);
}

void APIENTRY glLineStipple(GLint factor, GLushort pattern) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    ctx->state.line.lineStippleRepeat = uint16_t(factor < 1 ? 1 : (factor > 256 ? 256 : factor));
    ctx->state.line.lineStipplePattern = pattern;
    markDirty(ctx, kGlDirtyLine);
}

// The integer width is taken from the width clamped to the range, so that an enormous width
// cannot overflow it; inside the range it is the given width rounded.
void APIENTRY glLineWidth(GLfloat width) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!positive(width)) return __glSetError(GL_INVALID_VALUE);
    const GlLimits &l = ctx->limits;
    GlLineState &line = ctx->state.line;
    line.lineWidthRequested = width;
    line.lineWidth = quantise(width, l.lineWidthMin, l.lineWidthMax, l.lineWidthGranularity);
    line.lineWidthInt = width >= 1.0f ? truncToInt((width < l.lineWidthMax ? width : l.lineWidthMax) + 0.5f) : 1;
    markDirty(ctx, kGlDirtyLine);
}

void APIENTRY glPointSize(GLfloat size) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (!positive(size)) return __glSetError(GL_INVALID_VALUE);
    const GlLimits &l = ctx->limits;
    GlPointState &p = ctx->state.point;
    p.pointSizeRequested = size;
    p.pointSize = quantise(size, l.pointSizeMin, l.pointSizeMax, l.pointSizeGranularity);
    p.pointSizeInt = size >= 1.0f ? truncToInt((size < l.pointSizeMax ? size : l.pointSizeMax) + 0.5f) : 1;
    markDirty(ctx, kGlDirtyPoint);
}

// Stereo is never offered, and there are no auxiliary buffers to name.
void APIENTRY glDrawBuffer(GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    bool twoBuffers = ctx->visual.doubleBuffer != 0;
    GLenum resolved;
    switch (mode) {
    case GL_NONE: resolved = GL_NONE; break;
    case GL_FRONT_LEFT:
    case GL_FRONT: resolved = GL_FRONT; break;
    case GL_BACK_LEFT:
    case GL_BACK:
        if (!twoBuffers) return __glSetError(GL_INVALID_OPERATION);
        resolved = GL_BACK;
        break;
    case GL_LEFT:
    case GL_FRONT_AND_BACK: resolved = twoBuffers ? GL_FRONT_AND_BACK : GL_FRONT; break;
    case GL_FRONT_RIGHT:
    case GL_BACK_RIGHT:
    case GL_RIGHT: return __glSetError(GL_INVALID_OPERATION);
    default:
        if (mode < GL_AUX0 || mode > GL_AUX3) return __glSetError(GL_INVALID_ENUM);
        if (mode - GL_AUX0 >= kAuxBufferCount) return __glSetError(GL_INVALID_OPERATION);
        resolved = mode;
        break;
    }
    ctx->state.mode.drawBuffer = resolved;
    ctx->state.color.drawBufferRequested = mode;
    markDirty(ctx, kGlDirtyGeneral);
}

}  // namespace icd
