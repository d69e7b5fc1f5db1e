// The GL error rule, and the two queries the core answers itself: glGetError and glGetString.
#include <cstdio>
#include <cstdlib>
#include "icd/core/core.h"

void __glSetError(GLenum code) {
    GlContext *ctx = __glGetCurrentContext();
    if (std::getenv("GLERRORABORT") != nullptr) {
        std::fputs("__glSetError(): GLERRORABORT set, aborting.\n", stderr);
        std::abort();
    }
    if (ctx == nullptr) return;
    if (ctx->error == GL_NO_ERROR) ctx->error = code;
    if (ctx->slots.errorHook != nullptr) ctx->slots.errorHook(ctx, code);
}

namespace icd {
GLenum APIENTRY glGetError(void) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return GL_NO_ERROR;
    }
    GLenum error = ctx->error;
    ctx->error = GL_NO_ERROR;
    return error;
}

const GLubyte *APIENTRY glGetString(GLenum name) {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    const char *s;
    switch (name) {
    case GL_VENDOR: s = ctx->vendor; break;
    case GL_RENDERER: s = ctx->renderer; break;
    case GL_VERSION: s = ctx->version; break;
    case GL_EXTENSIONS: s = ctx->extensions; break;
    default:
        __glSetError(GL_INVALID_ENUM);
        return nullptr;
    }
    return reinterpret_cast<const GLubyte *>(s);
}
}  // namespace icd
