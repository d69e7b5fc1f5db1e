// The share group's texture names: which object each name holds. The name space record is the
// share group's; the entries of each space are kept here, keyed by the space.
#include <map>
#include "icd/core/core.h"
#include "icd/core/names.h"
#include "icd/pixel/texture.h"

namespace {

typedef std::map<GLuint, GlTextureObject *> Entries;

std::map<const GlNameSpace *, Entries> &spaces() {
    static std::map<const GlNameSpace *, Entries> all;
    return all;
}

Entries *entriesOf(GlContext *ctx, bool create) {
    GlNameSpace *ns = ctx->state.texture.textureNames;
    if (ns == nullptr) return nullptr;
    auto it = spaces().find(ns);
    if (it != spaces().end()) return &it->second;
    return create ? &spaces()[ns] : nullptr;
}

// The table lets go of an object: the last reference destroys it.
void release(GlContext *ctx, GlTextureObject *tex) {
    if (--tex->refCount == 0) tex->destroy(ctx, tex);
}

}  // namespace

GlTextureObject *__glTexNamesLock(GlContext *ctx, GLuint name) {
    Entries *e = entriesOf(ctx, false);
    if (e == nullptr) return nullptr;
    auto it = e->find(name);
    if (it == e->end() || it->second == nullptr) return nullptr;  // unused, or reserved only
    it->second->refCount += 1;
    return it->second;
}

void __glTexNamesUnlock(GlContext *ctx, GlTextureObject *tex) { release(ctx, tex); }

bool __glTexNamesBind(GlContext *ctx, GLuint name, GlTextureObject *tex) {
    Entries *e = entriesOf(ctx, true);
    if (e == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return false;
    }
    (*e)[name] = tex;
    return true;
}

void __glTexNamesDeleteRange(GlContext *ctx, GLuint first, GLuint count) {
    Entries *e = entriesOf(ctx, false);
    if (e == nullptr || count == 0) return;
    auto it = e->lower_bound(first);
    while (it != e->end() && it->first - first < count) {
        GlTextureObject *tex = it->second;
        it = e->erase(it);
        if (tex != nullptr) release(ctx, tex);
    }
}

void __glTexNamesGen(GlContext *ctx, GLsizei n, GLuint *names) {
    Entries *e = entriesOf(ctx, false);
    // The first run of n unused names above 0.
    GLuint start = 1;
    if (e != nullptr) {
        for (const auto &entry : *e) {
            if (entry.first < start) continue;
            if (entry.first - start >= GLuint(n)) break;
            start = entry.first + 1;
        }
    }
    // Generated names are reserved: a later generation skips them until they are deleted.
    Entries *reserved = entriesOf(ctx, true);
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = start + GLuint(i);
        if (reserved != nullptr) reserved->emplace(names[i], nullptr);
    }
}

void __glTexNamesRelease(GlContext *ctx) {
    GlNameSpace *ns = ctx->state.texture.textureNames;
    if (ns == nullptr) return;
    if (--ns->refCount == 0) {
        auto it = spaces().find(ns);
        if (it != spaces().end()) {
            Entries entries;
            entries.swap(it->second);
            spaces().erase(it);
            for (auto &entry : entries)
                if (entry.second != nullptr) release(ctx, entry.second);
        }
        __glFreeNameSpace(ctx, ns);
    }
    ctx->state.texture.textureNames = nullptr;
}
