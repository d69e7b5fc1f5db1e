// The fixed-size display-list commands, generated from the opcode list (list_ops.h): for every
// recipe, the compile routine in the compile table's namespace and the execute routine of its
// opcode; and the two execute tables that map opcodes to routines.
#include "icd/core/list_select.h"
#include "icd/core/list_pack.h"
#include "icd/core/list_routines.h"

// Fields of a recipe: KIV_BUILT_COMPILE_<name>() expands to "~, 1, kind, data..."; a command
// without a recipe reads as kind NONE.
#define LIST_KIND_(t, one, kind, ...) kind
#define LIST_KIND(...) LIST_KIND_(__VA_ARGS__)
#define LIST_RECIPE(name) KIV_BUILT_COMPILE_##name(), NONE, NONE
#define LIST_APPLY(macro, ...) macro(__VA_ARGS__)
// The arguments of a command after a comma, or nothing for a command without any.
#define LIST_TAIL(...) __VA_OPT__(, __VA_ARGS__)

// The function type of every command, by name.
namespace signature {
#define GL_ENTRY(offset, ret, name, params, args, bytes) using name = void params;
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace signature

// ---- opcodes of the commands that own one ------------------------------------------------------
namespace listop {
#define OP_NONE(...)
#define OP_HAND(...)
#define OP_SCALAR(...)
#define OP_VEC(name, t, one, kind, op, ...) constexpr int16_t name = op;
#define OP_RECTV OP_VEC
#define OP_ARGS OP_VEC
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    LIST_APPLY(KIV_CAT(OP_, LIST_KIND(LIST_RECIPE(name))), name, LIST_RECIPE(name))
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace listop

// ---- execute routines ------------------------------------------------------------------------------
namespace listexec {
using namespace listpack;
#define EXEC_NONE(...)
#define EXEC_HAND(...)
#define EXEC_SCALAR(...)
#define EXEC_VEC(name, t, one, kind, op, T, n, ...) \
    const uint8_t *name(const uint8_t *p) { return execVector<slot::name, T, n>(p); }
#define EXEC_RECTV(name, t, one, kind, op, T, ...)                              \
    const uint8_t *name(const uint8_t *p) {                                     \
        const T *v = reinterpret_cast<const T *>(p);                            \
        liveSlot<void(APIENTRY *)(const T *, const T *)>(slot::name)(v, v + 2); \
        return p + (4 * sizeof(T) + 3) / 4 * 4;                                 \
    }
#define EXEC_ARGS(name, ...) \
    const uint8_t *name(const uint8_t *p) { return Replay<signature::name>::exec<slot::name>(p); }
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    LIST_APPLY(KIV_CAT(EXEC_, LIST_KIND(LIST_RECIPE(name))), name, LIST_RECIPE(name))
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace listexec

// ---- compile routines ----------------------------------------------------------------------------------
namespace icd::compile {
using namespace listpack;
#define COMPILE_NONE(...)
#define COMPILE_HAND(...)
#define COMPILE_VEC(name, params, args, t, one, kind, op, T, n, ...) \
    void APIENTRY name(const T *v) { recordVector<T, n>(listop::name, listexec::name, v); }
#define COMPILE_RECTV(name, params, args, t, one, kind, op, T, ...)                   \
    void APIENTRY name(const T *v1, const T *v2) {                                    \
        record<T, T, T, T>(listop::name, listexec::name, v1[0], v1[1], v2[0], v2[1]); \
    }
#define COMPILE_SCALAR(name, params, args, t, one, kind, vector, ...) \
    void APIENTRY name params { record(listop::vector, listexec::vector LIST_TAIL args); }
#define COMPILE_ARGS(name, params, args, t, one, kind, op, ...) \
    void APIENTRY name params { record(listop::name, listexec::name LIST_TAIL args); }
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    LIST_APPLY(KIV_CAT(COMPILE_, LIST_KIND(LIST_RECIPE(name))), name, params, args, LIST_RECIPE(name))
#include <GL/gl_entries.inc>
#undef GL_ENTRY
}  // namespace icd::compile

// ---- execute tables ----------------------------------------------------------------------------------------
namespace {
struct Tables {
    GlListExecProc main[kGlListMainOpcodes];
    GlListExecProc ext[kGlListExtOpcodes];
};

#define TABLE_NONE(...)
#define TABLE_HAND(...)
#define TABLE_SCALAR(...)
#define TABLE_VEC(name, ...) put(t, listop::name, listexec::name);
#define TABLE_RECTV TABLE_VEC
#define TABLE_ARGS TABLE_VEC

// Reached only for an opcode given two routines; not being constexpr, it stops the build.
void anOpcodeHasTwoRoutines() {}

constexpr void put(Tables &t, int32_t opcode, GlListExecProc routine) {
    GlListExecProc &row = opcode < kGlListMainOpcodes ? t.main[opcode] : t.ext[opcode - kGlListExtOpcodeBase];
    if (row != nullptr) anOpcodeHasTwoRoutines();
    row = routine;
}

constexpr Tables buildTables() {
    Tables t{};
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    LIST_APPLY(KIV_CAT(TABLE_, LIST_KIND(LIST_RECIPE(name))), name, LIST_RECIPE(name))
#include <GL/gl_entries.inc>
#undef GL_ENTRY
    for (const GlListRoutineRow &row : kGlListRoutines) put(t, row.opcode, row.routine);
    return t;
}
constexpr Tables kTables = buildTables();
}  // namespace

const GlListExecProc *const __glListExecTable = kTables.main;
const GlListExecProc *const __glListExecTableExt = kTables.ext;
