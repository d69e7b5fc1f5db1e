// Dispatch entries: load the current context from the thread environment block and jump,
// without a frame of their own, to slot k of its live table. The caller's arguments and return
// address reach the entry unchanged, and the context is read afresh on every call.
#include <cstddef>
#include "icd/core/core.h"

// Both offsets are set at process attach.
uint32_t __glContextSlotOffset;
extern "C" int32_t __glContextSlotTP;
int32_t __glContextSlotTP;

#define GL_THUNK_ASM(sym, slot)                                                              \
    ".globl " sym "\n.hidden " sym "\n.type " sym ",@function\n.p2align 4\n" sym ":\n"      \
    "\tcall 1f\n1:\tpopl %%eax\n"                                                            \
    "\taddl $_GLOBAL_OFFSET_TABLE_+(.-1b), %%eax\n"                                          \
    "\tmovl __glContextSlotTP@GOTOFF(%%eax), %%eax\n"                                        \
    "\tmovl %%gs:(%%eax), %%eax\n"                                                           \
    "\tjmp *(%c0+4+4*" #slot ")(%%eax)\n"                                                    \
    ".size " sym ", .-" sym "\n"

// Each internal thunk's slot is its command's slot in the entry list.
#define GL_CHECK_THUNK_SLOT(cmd, slot) static_assert(slot == glslot::gl##cmd, "__glDispatch" #cmd);
GL_DISPATCH_LIST(GL_CHECK_THUNK_SLOT)
#undef GL_CHECK_THUNK_SLOT

#define GL_INTERNAL_THUNK(cmd, slot) GL_THUNK_ASM("__glDispatch" #cmd, slot)
#define GL_EXT_ENTRY(slot, ret, name, doName, compileName, compiled, params, bytes) \
    GL_THUNK_ASM("__glext_" #name, slot)

// The thunks are emitted from inside a function so that the live table's offset can be passed
// to the assembler as an operand; the function itself is never called.
__attribute__((used)) static void __glEmitDispatchThunks(void) {
    __asm__ volatile(".pushsection .text\n"
                     GL_DISPATCH_LIST(GL_INTERNAL_THUNK)
#include "icd/core/ext_entries.inc"
                     ".popsection\n"
                     :
                     : "i"(offsetof(GlContextAreas, liveTable)));
}
#undef GL_EXT_ENTRY
