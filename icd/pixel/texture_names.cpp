// The share group's texture names: the name space's operations for texture objects, and the
// release that the name space calls when a name or a lock lets go of an object.
#include "icd/core/core.h"
#include "icd/core/names.h"
#include "icd/pixel/texture.h"

namespace {
GlNameSpace *namesOf(GlContext *ctx) { return ctx->state.texture.textureNames; }
}  // namespace

// The last reference destroys the object with its levels, table and hardware copies.
void __glReleaseTextureObject(GlContext *ctx, void *object) {
    GlTextureObject *tex = static_cast<GlTextureObject *>(object);
    if (tex != nullptr && --tex->refCount == 0) tex->destroy(ctx, tex);
}

GlTextureObject *__glTexNamesLock(GlContext *ctx, GLuint name) {
    GlNameSpace *ns = namesOf(ctx);
    return ns != nullptr ? static_cast<GlTextureObject *>(__glNamesLockObject(ctx, ns, name)) : nullptr;
}

void __glTexNamesUnlock(GlContext *ctx, GlTextureObject *tex) {
    GlNameSpace *ns = namesOf(ctx);
    if (ns != nullptr) {
        __glNamesUnlockObject(ctx, ns, tex);
    } else {
        __glReleaseTextureObject(ctx, tex);
    }
}

bool __glTexNamesBind(GlContext *ctx, GLuint name, GlTextureObject *tex) {
    GlNameSpace *ns = namesOf(ctx);
    if (ns == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    return __glNamesBindObject(ctx, ns, name, tex) != 0;
}

void __glTexNamesDeleteRange(GlContext *ctx, GLuint first, GLuint count) {
    if (GlNameSpace *ns = namesOf(ctx)) __glNamesDeleteRange(ctx, ns, first, count);
}

void __glTexNamesGen(GlContext *ctx, GLsizei n, GLuint *names) {
    if (GlNameSpace *ns = namesOf(ctx)) __glNamesGenNames(ctx, ns, n, names);
}

void __glTexNamesRelease(GlContext *ctx) {
    GlNameSpace *ns = namesOf(ctx);
    ctx->state.texture.textureNames = nullptr;
    if (ns != nullptr && --ns->refCount == 0) __glFreeNameSpace(ctx, ns);
}
