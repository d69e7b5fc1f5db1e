// The three proc-table templates and the operations that copy and publish tables.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/list_select.h"
#include "icd/core/nop_entries.h"

#define GL_SLOT(entry) reinterpret_cast<GlEntry>(&entry)

const GlProcTable __glImmediateProcTable = {
    kGlCoreEntryCount,
    {
#define GL_ENTRY(offset, ret, name, params, args, bytes) GL_SLOT(icd::name),
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) GL_SLOT(icd::doName),
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
    }};

const GlProcTable __glCompileProcTable = {
    kGlCoreEntryCount,
    {
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    KIV_IF(KIV_IS(KIV_IMMEDIATE_IN_LIST_, name), (GL_SLOT(icd::name)), (GL_SLOT(icd::compile::name))),
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) \
    KIV_IF(compiled, (GL_SLOT(icd::compileName)), (GL_SLOT(icd::doName))),
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
    }};

const GlProcTable __glNopProcTable = {
    kGlCoreEntryCount,
    {
#define GL_ENTRY(offset, ret, name, params, args, bytes) GL_SLOT(GlNop<bytes>::entry),
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) \
    GL_SLOT(GlNop<bytes>::entry),
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
    }};

void __wglPublishProcTable(GlContext *ctx, const GlProcTable *table) {
    if (ctx == nullptr || table == nullptr || ctx->handle == nullptr) return;
    if (ctx->handle->setProcTable != nullptr) ctx->handle->setProcTable(table);
}

void __glCopyProcTable(const GlProcTable *src, GlProcTable *dst) {
    if (src != nullptr && dst != nullptr && src != dst) std::memcpy(dst, src, sizeof(GlProcTable));
    GlContext *cur = __glGetCurrentContext();
    // opengl32 is told of the table it will call, which is dst; a null source copied nothing
    // and must not make opengl32 lose its table.
    if (cur != nullptr && dst == &cur->liveTable) __wglPublishProcTable(cur, dst);
}

GlProcTable *__glGetLiveProcTable(void) { return &__glGetCurrentContext()->liveTable; }

void __glInstallNopProcTable(void) {
    std::memcpy(&__glGetCurrentContext()->liveTable, &__glNopProcTable, sizeof(GlProcTable));
}

GlProcTable *__glGetDispatchTable(GlContext *ctx) { return &ctx->liveTable; }
