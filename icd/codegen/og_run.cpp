// The C++ road into a generated span routine: the routine is entered by a jump with esp at an
// 8-aligned span record and leaves by a jump through the context's spanReturn word, so a plain
// call cannot reach it. The bridge saves the callee-saved registers, copies the record onto its
// own stack, stores its continuation and jumps in.
#include <cstdint>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_procs.h"
#include "icd/raster/fast_span.h"

using namespace icd;

int32_t __glOgRunSpanRoutine(GlContext *ctx, const GlSpan *span, const void *entry) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (og == nullptr || span == nullptr || entry == nullptr) return 0;
    static_assert(sizeof(GlSpan) % 4 == 0, "the record is copied in words");
    uint32_t *words = &og->spanReturn;
    static_assert(offsetof(GlOgContext, savedStack) == offsetof(GlOgContext, spanReturn) + 4,
                  "the bridge stores both words through one pointer");
    int32_t result;
    const void *source = span;
    uint32_t bytes = sizeof(GlSpan);
    // The caller's esp is kept in the word right above the copied record, where the routine (whose
    // frame lies below the record) never writes; the continuation reloads it from there.
    asm volatile(
        "push %%ebp\n\t"
        "push %%ebx\n\t"
        "push %%esi\n\t"
        "push %%edi\n\t"
        "mov %%esp, %%ebp\n\t"
        "sub %%ecx, %%esp\n\t"
        "sub $4, %%esp\n\t"
        "and $-8, %%esp\n\t"
        "mov %%esp, %%edi\n\t"
        "mov %%ebp, (%%edi,%%ecx)\n\t"
        "shr $2, %%ecx\n\t"
        "cld\n\t"
        "rep movsl\n\t"
        "mov %%ebp, 4(%%eax)\n\t"
        "call 2f\n"
        "2:\n\t"
        "pop %%ecx\n\t"
        "add $(1f - 2b), %%ecx\n\t"
        "mov %%ecx, (%%eax)\n\t"
        "jmp *%%edx\n"
        "1:\n\t"
        "mov %c[bytes](%%esp), %%esp\n\t"
        "pop %%edi\n\t"
        "pop %%esi\n\t"
        "pop %%ebx\n\t"
        "pop %%ebp\n\t"
        : "=a"(result), "+S"(source), "+c"(bytes), "+d"(entry)
        : "a"(words), [bytes] "i"(sizeof(GlSpan))
        : "memory", "cc");
    return result;
}
