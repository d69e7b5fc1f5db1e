// The texture state of a context and the naming and binding entries: set-up, defaults and
// teardown, the bind worker with its reference counting, and glGenTextures, glDeleteTextures,
// glBindTexture, glPrioritizeTextures, glAreTexturesResident and glIsTexture.
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries_util.h"
#include "icd/pixel/texture.h"

using glstate::markDirty;
using glstate::outsideBegin;

int32_t __glTextureManagerUsers;

namespace {

GlTextureBindingState &bindings(GlContext *ctx) { return ctx->state.textures; }

int32_t unitCount(const GlContext *ctx) { return ctx->state.textures.unitCount; }

// Inside glBegin/glEnd: GL_INVALID_OPERATION. With validation pending: validate first.
GlContext *validatedOutsideBegin() {
    GlContext *ctx = outsideBegin();
    if (ctx != nullptr && ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    return ctx;
}

bool isDefault(const GlContext *ctx, const GlTextureObject *tex) {
    return tex != nullptr && tex == ctx->state.textures.defaults[tex->kind];
}

// Every level the object's filter reaches has texels; a bordered mipmap ends at its inner 1 x 1.
bool levelsLoaded(const GlContext *ctx, const GlTextureObject *tex) {
    const int32_t levels = ctx->limits.textureLevels[0];
    if (tex->minFilter == GL_NEAREST || tex->minFilter == GL_LINEAR) return tex->levels[0]->image != nullptr;
    for (int32_t i = 0; i < levels; ++i) {
        const GlMipLevel *l = tex->levels[i];
        if (l->image == nullptr) return false;
        if (l->innerWidth <= 1 && l->innerHeight <= 1) break;
    }
    return true;
}

}  // namespace

int32_t __glTextureKind(GLenum target) {
    switch (target) {
    case GL_TEXTURE_1D: return 0;
    case GL_TEXTURE_2D: return 1;
    case GL_PROXY_TEXTURE_1D: return 2;
    case GL_PROXY_TEXTURE_2D: return 3;
    default: return -1;
    }
}

GlTextureObject *__glLookUpBoundTexture(GlContext *ctx, int32_t unit, GLenum target) {
    const int32_t kind = __glTextureKind(target);
    if (kind < 0 || unit < 0 || unit >= unitCount(ctx)) return nullptr;
    return bindings(ctx).bound[unit][kind];
}

GLenum *__glLookUpTextureParams(GlContext *ctx, int32_t unit, GLenum target) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return nullptr;
    GlTextureObject *tex = __glLookUpBoundTexture(ctx, unit, target);
    return tex != nullptr ? &tex->wrapS : nullptr;
}

GlTextureUnitCache *__glLookUpTextureUnitState(GlContext *ctx, int32_t unit, GLenum target) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return nullptr;
    if (unit < 0 || unit >= unitCount(ctx)) return nullptr;
    return &bindings(ctx).cache[unit][__glTextureKind(target)];
}

// The priority lives in the object; each unit that binds it keeps the same value in its cache,
// so no cache can write an old value back into the object when the unit binds something else.
// Only 1-D and 2-D objects take a priority: a proxy has no name to give one to.
void __glSetTexturePriority(GlContext *ctx, GlTextureObject *tex, float priority) {
    tex->priority = priority;
    const GLenum target = tex->kind == 0 ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    for (int32_t u = 0; u < unitCount(ctx); ++u)
        if (GlTextureUnitCache *cache = __glLookUpTextureUnitState(ctx, u, target);
            cache != nullptr && __glLookUpBoundTexture(ctx, u, target) == tex)
            cache->priority = priority;
}

void __glBindTextureToUnit(GlContext *ctx, int32_t unit, int32_t kind, GLuint name) {
    GlTextureBindingState &b = bindings(ctx);
    GlTextureObject *tex;
    if (name == 0) {
        tex = b.defaults[kind];
    } else {
        tex = __glTexNamesLock(ctx, name);
        if (tex == nullptr) {
            tex = b.newTextureObject != nullptr ? b.newTextureObject(ctx, name, kind) : nullptr;
            if (tex == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
            if (!__glTexNamesBind(ctx, name, tex)) {
                tex->destroy(ctx, tex);
                return;
            }
            tex->refCount += 1;  // the binding's reference
        } else if (tex->kind != kind) {
            __glTexNamesUnlock(ctx, tex);
            return __glSetError(GL_INVALID_OPERATION);
        }
    }
    GlTextureObject *old = b.bound[unit][kind];
    GlTextureUnitCache &cache = b.cache[unit][kind];
    if (old != nullptr) {
        old->name = cache.name;
        old->priority = cache.priority;
        if (cache.name != 0) __glTexNamesUnlock(ctx, old);
    }
    b.bound[unit][kind] = tex;
    cache.name = tex->name;
    cache.priority = tex->priority;
}

void __glInstallTextureManager(GlContext *ctx) {
    __glTextureManagerUsers += 1;
    ctx->state.texture.manager = &__glTextureManagerUsers;
    ctx->state.textures.newTextureObject = __glNewTextureObject;
}

// The counterpart of the installation: the process counts one user fewer.
void __glReleaseTextureState(GlContext *ctx) {
    int32_t *users = static_cast<int32_t *>(ctx->state.texture.manager);
    if (users == nullptr) return;
    *users -= 1;
    ctx->state.texture.manager = nullptr;
}

// A context whose texture state cannot be set up is left without a name space: context creation
// then fails, and teardown frees what was taken.
void __glInitTextureState(GlContext *ctx) {
    GlTextureBindingState &b = bindings(ctx);
    if (__glDeviceHooks != nullptr && __glDeviceHooks->initTextureState != nullptr)
        __glDeviceHooks->initTextureState(ctx);
    if (b.newTextureObject == nullptr) b.newTextureObject = __glNewTextureObject;
    if (ctx->limits.textureLevels[0] == 0) ctx->limits.textureLevels[0] = 11;
    b.textureKinds = kGlTextureKinds;
    b.unitCount = kGlTextureUnits;
    b.envCount = kGlTexEnvTargets;
    ctx->state.texture.maxTextureSize = 1 << (ctx->limits.textureLevels[0] - 1);
    bool ok = true;
    for (int32_t u = 0; u < b.unitCount; ++u) {
        b.env[u] = static_cast<GlTexEnvRecord *>(ctx->hostProcs.calloc(ctx, size_t(b.envCount), sizeof(GlTexEnvRecord)));
        if (b.env[u] == nullptr) ok = false;
        for (int32_t e = 0; b.env[u] != nullptr && e < b.envCount; ++e) b.env[u][e].mode = GL_MODULATE;
    }
    if (ctx->state.texture.textureNames == nullptr) ctx->state.texture.textureNames = __glNewNameSpace(ctx, 1);
    for (int32_t k = 0; k < kGlTextureKinds; ++k) {
        GlTextureObject *tex = b.newTextureObject(ctx, 0, k);
        if (tex == nullptr) {
            ok = false;
            continue;
        }
        tex->refCount = b.unitCount;
        b.defaults[k] = tex;
        for (int32_t u = 0; u < b.unitCount; ++u) {
            b.bound[u][k] = tex;
            b.cache[u][k] = GlTextureUnitCache{0, tex->priority};
        }
    }
    if (!ok) {
        __glSetError(GL_OUT_OF_MEMORY);
        __glTexNamesRelease(ctx);
    }
}

void __glSetTextureDefaults(GlContext *ctx) {
    GlTextureBindingState &b = bindings(ctx);
    ctx->current.texCoord[3] = 1.0f;
    for (int32_t u = 0; u < b.unitCount; ++u)
        for (int32_t e = 0; b.env[u] != nullptr && e < b.envCount; ++e) b.env[u][e] = GlTexEnvRecord{GL_MODULATE, {0, 0, 0, 0}};
    ctx->state.pick.texEnvMode = GL_MODULATE;
    const int32_t levels = ctx->limits.textureLevels[0];
    for (int32_t k = 0; k < kGlTextureKinds; ++k) {
        GlTextureObject *tex = b.defaults[k];
        if (tex == nullptr) continue;
        tex->owner = ctx;
        tex->dimensions = (k == 1 || k == 3) ? 2 : 1;
        for (int32_t i = 0; i < levels; ++i) tex->levels[i]->requestedFormat = 1;
    }
    // Every unit's cache holds what the unit has bound (unit 1's too, or its first bind would
    // write a priority of 0 into the object it leaves).
    for (int32_t u = 0; u < b.unitCount; ++u)
        for (int32_t k = 0; k < kGlTextureKinds; ++k)
            if (b.bound[u][k] != nullptr) b.cache[u][k] = GlTextureUnitCache{b.bound[u][k]->name, b.bound[u][k]->priority};
    __glSetTexGenDefaults(ctx);
}

void __glFreeTextureState(GlContext *ctx) {
    GlTextureBindingState &b = bindings(ctx);
    for (int32_t k = 0; k < kGlTextureKinds; ++k) {
        GlTextureObject *def = b.defaults[k];
        for (int32_t u = 0; u < b.unitCount; ++u) {
            if (def != nullptr) {
                __glBindTextureToUnit(ctx, u, k, 0);
            } else if (b.bound[u][k] != nullptr && b.cache[u][k].name != 0) {
                __glTexNamesUnlock(ctx, b.bound[u][k]);
            }
            b.bound[u][k] = nullptr;
        }
        if (def != nullptr) {
            def->refCount -= b.unitCount;
            def->destroy(ctx, def);
            b.defaults[k] = nullptr;
        }
    }
    __glTexNamesRelease(ctx);
    for (int32_t u = 0; u < kGlTextureUnits; ++u) {
        ctx->hostProcs.free(ctx, b.env[u]);
        b.env[u] = nullptr;
    }
    __glReleaseTextureState(ctx);
}

void __glShareTextureNames(GlContext *ctx, GlContext *other) {
    GlNameSpace *theirs = other->state.texture.textureNames;
    if (theirs == ctx->state.texture.textureNames) return;
    __glTexNamesRelease(ctx);
    ctx->state.texture.textureNames = theirs;
    if (theirs != nullptr) theirs->refCount += 1;
}

namespace icd {

void APIENTRY glGenTextures(GLsizei n, GLuint *textures) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (n < 0) return __glSetError(GL_INVALID_VALUE);
    if (n == 0 || textures == nullptr) return;
    __glTexNamesGen(ctx, n, textures);
}

void APIENTRY glDeleteTextures(GLsizei n, const GLuint *textures) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (n < 0) return __glSetError(GL_INVALID_VALUE);
    if (n == 0 || textures == nullptr) return;
    GlTextureBindingState &b = bindings(ctx);
    for (GLsizei i = 0; i < n; ++i) {
        const GLuint name = textures[i];
        if (name == 0) continue;
        for (int32_t u = 0; u < b.unitCount; ++u)
            for (int32_t k = 0; k < kGlTextureKinds; ++k) {
                GlTextureObject *tex = b.bound[u][k];
                if (tex == nullptr || isDefault(ctx, tex) || tex->name != name) continue;
                __glBindTextureToUnit(ctx, u, k, 0);
                markDirty(ctx, kGlDirtyGeneral);
            }
    }
    // Consecutive names go to the table as one range; a 0 ends a range.
    GLsizei i = 0;
    while (i < n) {
        if (textures[i] == 0) {
            ++i;
            continue;
        }
        GLsizei j = i + 1;
        while (j < n && textures[j] != 0 && textures[j] == textures[j - 1] + 1) ++j;
        __glTexNamesDeleteRange(ctx, textures[i], GLuint(j - i));
        i = j;
    }
}

void APIENTRY glBindTexture(GLenum target, GLuint texture) {
    GlContext *ctx = validatedOutsideBegin();
    if (ctx == nullptr) return;
    const int32_t kind = target == GL_TEXTURE_1D ? 0 : target == GL_TEXTURE_2D ? 1 : -1;
    if (kind < 0) return __glSetError(GL_INVALID_ENUM);
    __glBindTextureToUnit(ctx, int32_t(ctx->state.unitSelect.activeTexture), kind, texture);
    markDirty(ctx, kGlDirtyTexture);
}

void APIENTRY glPrioritizeTextures(GLsizei n, const GLuint *textures, const GLclampf *priorities) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    if (n < 0) return __glSetError(GL_INVALID_VALUE);
    if (textures == nullptr || priorities == nullptr) return;
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] == 0) continue;
        GlTextureObject *tex = __glTexNamesLock(ctx, textures[i]);
        if (tex == nullptr) continue;
        __glSetTexturePriority(ctx, tex, glstate::clampTo(priorities[i], 0.0f, 1.0f));
        __glTexNamesUnlock(ctx, tex);
    }
}

GLboolean APIENTRY glAreTexturesResident(GLsizei n, const GLuint *textures, GLboolean *residences) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return GL_FALSE;
    if (n < 0) {
        __glSetError(GL_INVALID_VALUE);
        return GL_FALSE;
    }
    if (n == 0 || textures == nullptr || residences == nullptr) return GL_FALSE;
    GLboolean all = GL_TRUE;
    for (GLsizei i = 0; i < n; ++i) {
        GlTextureObject *tex = textures[i] != 0 ? __glTexNamesLock(ctx, textures[i]) : nullptr;
        if (tex == nullptr) {
            __glSetError(GL_INVALID_VALUE);
            return GL_FALSE;
        }
        const bool resident = __glIsTextureConsistent(ctx, tex, 0) && levelsLoaded(ctx, tex);
        residences[i] = resident ? GL_TRUE : GL_FALSE;
        if (!resident) all = GL_FALSE;
        __glTexNamesUnlock(ctx, tex);
    }
    return all;
}

GLboolean APIENTRY glIsTexture(GLuint texture) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr || texture == 0) return GL_FALSE;
    GlTextureObject *tex = __glTexNamesLock(ctx, texture);
    if (tex == nullptr) return GL_FALSE;
    __glTexNamesUnlock(ctx, tex);
    return GL_TRUE;
}

}  // namespace icd
