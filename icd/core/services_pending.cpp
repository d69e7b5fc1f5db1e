// Placeholders for the services of subsystems that have not landed yet. Each does the least
// that keeps the system honest: it fails where a caller tests a result, and otherwise does
// nothing a caller could mistake for work done.
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/names.h"

#define GL_PENDING_PROC(name) void name(GlContext *) {}
#include "icd/core/installer_pending.inc"
#undef GL_PENDING_PROC

void __glInitColorTableState(GlContext *) {}
void __glFreeColorTableState(GlContext *) {}

// No generated code yet: no MMX renderer, no caches.
BOOL __glOgCanUseMmx(GlContext *) { return FALSE; }
BOOL __glOgQueryMmx(void) { return FALSE; }
void __glOgCreateCodeCaches(GlContext *) {}
void __glOgFreeCodeCaches(GlContext *) {}

// Display lists: the share group's list name space; compiling comes later.
void __glInitListState(GlContext *ctx) {
    ctx->state.list.listCallDepth = 0;
    ctx->state.list.listName = 0;
    if (ctx->state.list.listNames == nullptr) ctx->state.list.listNames = __glNewNameSpace(ctx, 0);
}

void __glReleaseListState(GlContext *ctx) {
    GlNameSpace *ns = ctx->state.list.listNames;
    ctx->state.list.listNames = nullptr;
    if (ns != nullptr && --ns->refCount == 0) __glFreeNameSpace(ctx, ns);
}

void __glShareLists(GlContext *ctx, GlContext *other) {
    GlNameSpace *theirs = other->state.list.listNames;
    if (theirs == ctx->state.list.listNames) return;  // already one group
    __glReleaseListState(ctx);
    ctx->state.list.listNames = theirs;
    if (theirs != nullptr) theirs->refCount += 1;
}

// Name spaces hold no names yet: only the record and its reference count.
GlNameSpace *__glNewNameSpace(GlContext *ctx, int32_t) {
    GlNameSpace *ns = static_cast<GlNameSpace *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlNameSpace)));
    if (ns == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    ns->refCount = 1;
    return ns;
}
void __glFreeNameSpace(GlContext *ctx, GlNameSpace *ns) { ctx->hostProcs.free(ctx, ns); }

void __glInitEvalState(GlContext *) {}
void __glFreeEvalState(GlContext *) {}
// No pixel path yet: nothing is unpacked, and the caller is told so.

