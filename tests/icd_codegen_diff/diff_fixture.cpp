// The sentinel trampoline of diff_fixture.h: always four argument words (cdecl callees ignore
// the ones they do not take), the first two also in ecx and edx (for register-argument callees),
// the record pointer kept on the stack above them.
#include "tests/icd_codegen_diff/diff_fixture.h"

asm(R"(
    .text
    .globl ogCallChecked
    .type ogCallChecked, @function
    .intel_syntax noprefix
ogCallChecked:
    push ebp
    push ebx
    push esi
    push edi
    mov eax, [esp+20]
    mov edx, [esp+24]
    mov ecx, [esp+28]
    push ecx
    push dword ptr [edx+12]
    push dword ptr [edx+8]
    push dword ptr [edx+4]
    push dword ptr [edx]
    mov [ecx+20], esp
    mov ecx, [edx]
    mov edx, [edx+4]
    mov ebx, 0x11111111
    mov esi, 0x22222222
    mov edi, 0x33333333
    mov ebp, 0x44444444
    call eax
    mov ecx, [esp+16]
    mov [ecx], eax
    mov [ecx+4], ebx
    mov [ecx+8], esi
    mov [ecx+12], edi
    mov [ecx+16], ebp
    mov [ecx+24], esp
    add esp, 20
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret
    .att_syntax prefix
    .size ogCallChecked, .-ogCallChecked
)");
