// Intermediate form of the run-time code generator: operand and instruction
// nodes built in a per-generation arena, labels with forward-reference chains,
// and the constant pools whose entries generated code addresses absolutely.
#pragma once

#include <cstddef>
#include <cstdint>

namespace icd {

enum GlOgKind : int32_t {
    kGlOgImm = 0,
    kGlOgByteReg = 1,
    kGlOgDwordReg = 3,
    kGlOgStReg = 4,
    kGlOgMmxReg = 5,
    kGlOgMem = 6,
    kGlOgInsn = 7,
    kGlOgLabel = 8,
};

// Five 32-bit words; node references are stored as addresses (this is 32-bit
// code), 0 meaning "none".
struct GlOgNode {
    int32_t kind;
    int32_t a, b, c, d;
};
static_assert(sizeof(GlOgNode) == 20, "node is five 32-bit words");
static_assert(sizeof(void*) == 4, "the generator emits 32-bit code and keeps addresses in 32-bit words");

inline int32_t __glOgWord(const void* p) { return (int32_t)(uintptr_t)p; }
// The distance from one address word to another, as the processor forms it: modulo 2^32, so that
// addresses on both sides of 2 GB (common where the process runs under an emulator) do not
// overflow a signed subtraction.
inline int32_t __glOgDistance(int32_t to, int32_t from) { return (int32_t)((uint32_t)to - (uint32_t)from); }
inline GlOgNode* __glOgRef(int32_t w) { return (GlOgNode*)(uintptr_t)(uint32_t)w; }

enum : int {
    kGlOgArenaNodes = 8000,
    kGlOgPoolFirstBlock = 1000,
};

// Everything one context's generators share: the node arena, the two pools,
// and the bounds of the buffer the current generation writes into. A
// generation that runs out of nodes, pool memory or buffer room, or that would
// patch an unreachable short branch, is marked failed; its caller must then
// discard the routine and keep its C procedure.
struct GlOgState {
    GlOgNode ogNodes[kGlOgArenaNodes];
    GlOgNode* ogNodeNext;
    float* ogFloatPool;
    int32_t ogFloatCount;
    int32_t ogFloatCapacity;
    uint64_t* ogQwordPool;
    int32_t ogQwordCount;
    int32_t ogQwordCapacity;
    uint8_t* ogCodeEnd;     // one past the last byte the encoder may write
    int32_t ogFailed;       // non-zero once the current generation is unusable
    GlOgNode ogScratch;     // handed out when the arena is full, never encoded
    // Pool memory comes from the owner's allocator (the C heap without one).
    void* (*ogCalloc)(void* owner, size_t count, size_t size);
    void (*ogFree)(void* owner, void* block);
    void* ogOwner;
    // Blocks replaced by growth stay until the state is freed: routines address them.
    void* ogRetired[32];
    int32_t ogRetiredCount;
};

// Context life: first pool blocks on init; every block, current or replaced,
// freed on destroy (together with the routines that address them). Returns
// false when the first blocks cannot be allocated.
bool __glOgInitState(GlOgState* ctx);
bool __glOgInitStateWith(GlOgState* ctx, void* (*alloc)(void*, size_t, size_t), void (*release)(void*, void*),
                         void* owner);
void __glOgFreeState(GlOgState* ctx);

// Start of a generation: arena back to the first node, failure cleared, and
// the end of the output buffer the encoder must stay within.
void __glOgResetArena(GlOgState* ctx);
void __glOgSetCodeLimit(GlOgState* ctx, uint8_t* end);
inline bool __glOgFailed(const GlOgState* ctx) { return ctx->ogFailed != 0; }

// Static register operands (process-wide, read-only).
extern GlOgNode __glOgDwordRegs[8];  // eax ecx edx ebx esp ebp esi edi
extern GlOgNode __glOgByteRegs[8];   // al cl dl bl ah ch dh bh
extern GlOgNode __glOgStRegs[8];     // st(0)..st(7)
extern GlOgNode __glOgMmxRegs[8];    // mm0..mm7
enum GlOgRegNum { kEax, kEcx, kEdx, kEbx, kEsp, kEbp, kEsi, kEdi };
inline GlOgNode* __glOgR32(int r) { return &__glOgDwordRegs[r]; }
inline GlOgNode* __glOgR8(int r) { return &__glOgByteRegs[r]; }
inline GlOgNode* __glOgSt(int i) { return &__glOgStRegs[i]; }
inline GlOgNode* __glOgMm(int i) { return &__glOgMmxRegs[i]; }

// Constructors.
GlOgNode* __glOgNewNode(GlOgState* ctx, int32_t kind);
GlOgNode* __glOgImm(GlOgState* ctx, int32_t value);
GlOgNode* __glOgLabel(GlOgState* ctx);
GlOgNode* __glOgShortLabel(GlOgState* ctx);
GlOgNode* __glOgMem(GlOgState* ctx, GlOgNode* disp, GlOgNode* base, GlOgNode* index, int32_t scale);
GlOgNode* __glOgMemBase(GlOgState* ctx, GlOgNode* disp, GlOgNode* base);
GlOgNode* __glOgInsn(GlOgState* ctx, int32_t opcode, GlOgNode* op1, GlOgNode* op2);

// A label standing for a routine outside the generated code: placed from the start.
GlOgNode* __glOgOutsideLabel(GlOgState* ctx, const void* routine, const char* name);

// Place a label at an address and patch every pending reference to it. An
// 8-bit hole the address does not reach fails the generation (returns false).
bool __glOgPlaceLabel(GlOgState* ctx, GlOgNode* label, uint8_t* address);

// Absolute memory operands for pool constants (equal values share an entry).
GlOgNode* __glOgFloatConst(GlOgState* ctx, double value);
GlOgNode* __glOgQwordConst(GlOgState* ctx, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3);

// Opcode numbers and one thin constructor per opcode (__glOgAdd(ctx, dst, src), ...).
enum GlOgOpcode : int32_t {
#define X(code, name, fam, o1, o2, ext, mop, mext) kGlOp##name = code,
#include "icd/codegen/og_encode_ops.h"
#undef X
    kGlOpCount
};
static_assert(kGlOpCount == 125, "opcodes 0-124");

#define X(code, name, fam, o1, o2, ext, mop, mext) \
    inline GlOgNode* __glOg##name(GlOgState* ctx, GlOgNode* op1 = nullptr, GlOgNode* op2 = nullptr) \
    { return __glOgInsn(ctx, code, op1, op2); }
#include "icd/codegen/og_encode_ops.h"
#undef X

}  // namespace icd
