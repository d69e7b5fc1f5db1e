// The 336 gl* exports of opengl32, generated from GL/gl_entries.inc: each loads the calling
// thread's proc-table pointer with one %gs-relative load and jumps (no frame of its own: the
// caller's arguments and return address reach the driver's entry unchanged) to slot `offset`,
// which sits at byte 4 + 4 * offset of the table (after the count word). Also opengl32's own
// do-nothing table, which threads without a current context call through.
#include "platform/opengl32/opengl32_internal.h"

namespace {

// Do-nothing entries with each command's own signature: return 0, pop the argument bytes.
#define GL_ENTRY(offset, ret, name, params, args, bytes) \
    ret APIENTRY nop_##name params { return static_cast<ret>(0); }
#include <GL/gl_entries.inc>
#undef GL_ENTRY

}  // namespace

extern "C" {

const OpenGl32Table kivOpenGl32NopTable = {
    336,
    {
#define GL_ENTRY(offset, ret, name, params, args, bytes) reinterpret_cast<void *>(&nop_##name),
#include <GL/gl_entries.inc>
#undef GL_ENTRY
    }};

// The calling thread's table (local-exec TLS: kivplatform is linked into programs only).
__thread const OpenGl32Table *kivOpenGl32ThreadTable __attribute__((tls_model("local-exec"))) =
    &kivOpenGl32NopTable;

}  // extern "C"

#define GL_ENTRY(offset, ret, name, params, args, bytes)                  \
    "  .globl " #name "\n"                                                \
    "  .type " #name ", @function\n"                                      \
    "  .p2align 4\n" #name ":\n"                                          \
    "  movl %gs:kivOpenGl32ThreadTable@ntpoff, %eax\n"                    \
    "  jmp *(4 + 4 * " #offset ")(%eax)\n"                                \
    "  .size " #name ", . - " #name "\n"
__asm__(".text\n"
#include <GL/gl_entries.inc>
);
#undef GL_ENTRY
