// The table of OpenGL entry points that opengl32 calls, its three static templates and the
// operations that copy and publish it.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"

// Slots 0-335: the OpenGL 1.1 entries in published dispatch order; 336-392: extension entries;
// 393-396: spare (always 0).
constexpr int kGlCoreEntryCount = 336;
constexpr int kGlFirstExtensionSlot = 336;
constexpr int kGlLastExtensionSlot = 392;
constexpr int kGlProcSlotCount = 397;

typedef void (APIENTRY *GlEntry)(void);

// Slots of the proc tables by command name (glVertex3fv, glClear, ... and the extension entries'
// do-procs), from the same entry lists the tables are built from.
namespace glslot {
#define GL_ENTRY(offset, ret, name, params, args, bytes) constexpr int name = offset;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
#define GL_EXT_ENTRY(slotIndex, ret, name, doName, compileName, compiled, params, bytes) constexpr int doName = slotIndex;
#include "icd/core/ext_entries.inc"
#undef GL_EXT_ENTRY
}  // namespace glslot

struct GlProcTable {
    uint32_t count;                    // 336 in every table
    GlEntry slot[kGlProcSlotCount];
};
static_assert(sizeof(GlProcTable) == 1592);

struct GlContext;

// The callback opengl32 passes to DrvSetContext; it is told of every live-table switch.
typedef void (APIENTRY *GlSetProcTableProc)(const GlProcTable *table);

extern const GlProcTable __glImmediateProcTable;
extern const GlProcTable __glCompileProcTable;
extern const GlProcTable __glNopProcTable;

// Copies src over dst when they differ and neither is null; then, when dst is the calling
// thread's live table, hands dst (never null) to opengl32.
void __glCopyProcTable(const GlProcTable *src, GlProcTable *dst);
// Calls the proc-table callback of the context's handle, when it has one, with a non-null table.
void __wglPublishProcTable(GlContext *ctx, const GlProcTable *table);
// The live table of the calling thread's current context.
GlProcTable *__glGetLiveProcTable(void);
// Copies the do-nothing template over the calling thread's live table, without publishing.
void __glInstallNopProcTable(void);
