// Instruction encoder of the run-time code generator: one instruction node
// becomes 32-bit x86, x87 or MMX machine bytes appended at an output pointer.
#pragma once

#include "icd/codegen/og_ir.h"

namespace icd {

// Append the bytes of instruction node `insn` at `out` and return the address
// just past them. A combination the encoder does not know appends nothing.
// Bytes that would pass the state's code limit are not written: the call
// appends nothing and the generation is marked failed.
uint8_t* __glOgEncode(GlOgState* ctx, uint8_t* out, GlOgNode* insn);

// ModRM (+ SIB + displacement) for a 3-bit register field and a register or
// memory operand; any other operand appends nothing. Unbounded: callers
// inside the encoder write into a small staging area first.
uint8_t* __glOgEncodeModRM(uint8_t* out, int regField, const GlOgNode* operand);

// Move a bit field from bit position `from` to `to` with one shl/shr of a
// dword register (or psllw/psrlw of an MMX register's 16-bit lanes). Equal
// positions emit nothing; a dword shift of 32 or more fails the generation
// (the processor would use the count modulo 32).
uint8_t* __glOgEmitShiftBy(GlOgState* ctx, uint8_t* out, GlOgNode* reg, int from, int to);
uint8_t* __glOgEmitMmxShiftBy(GlOgState* ctx, uint8_t* out, GlOgNode* mmxReg, int from, int to);

}  // namespace icd
