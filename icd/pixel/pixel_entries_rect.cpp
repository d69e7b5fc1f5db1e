// The three pixel-rectangle entries: glDrawPixels, glReadPixels and glCopyPixels. Each validates
// first (the validated table may hold another entry, so it re-enters through the live table),
// checks its arguments, and hands the rectangle to the pixel procs validation installed. Drawing
// and copying need a valid raster position; feedback records the raster position instead, and
// selection does nothing. Reading works in every render mode.
#include "icd/core/core.h"
#include "icd/core/gl_entries.h"
#include "icd/core/pick.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_state.h"
#include "icd/vertex/feedback.h"
#include "icd/vertex/transform_state.h"

namespace {
template <class Proc>
Proc pixelProc(GlProc slot) {
    return __glSlotAs<Proc>(slot);
}

// The begin-mode handling shared by the three: nullptr when the call is over (an error, or it was
// dispatched again after validation).
template <class Redo>
GlContext *ready(Redo redo) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    if (ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
        redo();
        return nullptr;
    }
    return ctx;
}

// Feedback's record of a drawing pixel command; true when the render mode leaves nothing else to do.
bool recordedOrIgnored(GlContext *ctx, void (*feedback)(GlContext *, GlVertex *)) {
    if (ctx->renderMode == GL_FEEDBACK) {
        feedback(ctx, &ctx->current.vertex.rasterPos);
        return true;
    }
    return ctx->renderMode != GL_RENDER;
}
}  // namespace

namespace icd {

void APIENTRY glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = ready([&] { __glDispatchDrawPixels(width, height, format, type, pixels); });
    if (ctx == nullptr || !__glCheckDrawPixelArgs(ctx, width, height, format, type)) return;
    if (!ctx->current.rasterPosValid || recordedOrIgnored(ctx, __glFeedbackDrawPixel)) return;
    if (ctx->state.pick.drawPixels == nullptr) return;
    pixelProc<GlDrawPixelsProc>(ctx->state.pick.drawPixels)(ctx, width, height, format, type, pixels, GL_FALSE);
}

void APIENTRY glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                           GLvoid *pixels) {
    GlContext *ctx = ready([&] { __glDispatchReadPixels(x, y, width, height, format, type, pixels); });
    if (ctx == nullptr || !__glCheckReadPixelArgs(ctx, width, height, format, type)) return;
    if (ctx->state.pick.readPixels == nullptr) return;
    pixelProc<GlReadPixelsProc>(ctx->state.pick.readPixels)(ctx, x, y, width, height, format, type, pixels);
}

void APIENTRY glCopyPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum type) {
    GlContext *ctx = ready([&] { __glDispatchCopyPixels(x, y, width, height, type); });
    GLenum format = 0;
    if (ctx == nullptr || !__glCheckCopyPixelArgs(ctx, width, height, type, &format)) return;
    if (!ctx->current.rasterPosValid || recordedOrIgnored(ctx, __glFeedbackCopyPixel)) return;
    if (ctx->state.pick.copyPixels == nullptr) return;
    pixelProc<GlCopyPixelsProc>(ctx->state.pick.copyPixels)(ctx, x, y, width, height, format);
}

}  // namespace icd
