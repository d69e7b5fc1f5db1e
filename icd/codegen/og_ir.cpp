// Node arena, labels and constant pools of the run-time code generator.
#include "icd/codegen/og_ir.h"

#include <cstdlib>
#include <cstring>

namespace icd {

#define OG_REGS(kind) \
    { {kind, 0, 0, 0, 0}, {kind, 1, 0, 0, 0}, {kind, 2, 0, 0, 0}, {kind, 3, 0, 0, 0}, \
      {kind, 4, 0, 0, 0}, {kind, 5, 0, 0, 0}, {kind, 6, 0, 0, 0}, {kind, 7, 0, 0, 0} }
GlOgNode __glOgDwordRegs[8] = OG_REGS(kGlOgDwordReg);
GlOgNode __glOgByteRegs[8] = OG_REGS(kGlOgByteReg);
GlOgNode __glOgStRegs[8] = OG_REGS(kGlOgStReg);
GlOgNode __glOgMmxRegs[8] = OG_REGS(kGlOgMmxReg);
#undef OG_REGS

static void* poolAlloc(GlOgState* ctx, size_t count, size_t size)
{
    return ctx->ogCalloc ? ctx->ogCalloc(ctx->ogOwner, count, size) : calloc(count, size);
}

static void poolFree(GlOgState* ctx, void* block)
{
    if (!block) return;
    if (ctx->ogFree) ctx->ogFree(ctx->ogOwner, block);
    else free(block);
}

bool __glOgInitState(GlOgState* ctx) { return __glOgInitStateWith(ctx, nullptr, nullptr, nullptr); }

bool __glOgInitStateWith(GlOgState* ctx, void* (*alloc)(void*, size_t, size_t), void (*release)(void*, void*),
                         void* owner)
{
    ctx->ogCalloc = alloc;
    ctx->ogFree = release;
    ctx->ogOwner = owner;
    ctx->ogRetiredCount = 0;
    ctx->ogNodeNext = ctx->ogNodes;
    ctx->ogFloatPool = (float*)poolAlloc(ctx, kGlOgPoolFirstBlock, sizeof(float));
    ctx->ogFloatCount = 0;
    ctx->ogFloatCapacity = ctx->ogFloatPool ? kGlOgPoolFirstBlock : 0;
    ctx->ogQwordPool = (uint64_t*)poolAlloc(ctx, kGlOgPoolFirstBlock, sizeof(uint64_t));
    ctx->ogQwordCount = 0;
    ctx->ogQwordCapacity = ctx->ogQwordPool ? kGlOgPoolFirstBlock : 0;
    ctx->ogCodeEnd = nullptr;
    ctx->ogFailed = 0;
    ctx->ogScratch = GlOgNode{};
    return ctx->ogFloatPool && ctx->ogQwordPool;
}

void __glOgFreeState(GlOgState* ctx)
{
    poolFree(ctx, ctx->ogFloatPool);
    poolFree(ctx, ctx->ogQwordPool);
    for (int32_t i = 0; i < ctx->ogRetiredCount; ++i) poolFree(ctx, ctx->ogRetired[i]);
    ctx->ogRetiredCount = 0;
    ctx->ogFloatPool = nullptr;
    ctx->ogQwordPool = nullptr;
    ctx->ogFloatCount = ctx->ogFloatCapacity = 0;
    ctx->ogQwordCount = ctx->ogQwordCapacity = 0;
}

void __glOgResetArena(GlOgState* ctx)
{
    ctx->ogNodeNext = ctx->ogNodes;
    ctx->ogFailed = 0;
}

void __glOgSetCodeLimit(GlOgState* ctx, uint8_t* end) { ctx->ogCodeEnd = end; }

GlOgNode* __glOgNewNode(GlOgState* ctx, int32_t kind)
{
    if (ctx->ogNodeNext >= ctx->ogNodes + kGlOgArenaNodes) {
        // Out of nodes: the generation is abandoned; callers keep getting a
        // harmless scratch node so they can unwind without checking each call.
        ctx->ogFailed = 1;
        ctx->ogScratch = GlOgNode{};
        ctx->ogScratch.kind = -1;
        return &ctx->ogScratch;
    }
    GlOgNode* n = ctx->ogNodeNext++;
    n->kind = kind;
    return n;
}

static GlOgNode* newNode(GlOgState* ctx, int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d)
{
    GlOgNode* n = __glOgNewNode(ctx, kind);
    if (n == &ctx->ogScratch) return n;
    n->a = a; n->b = b; n->c = c; n->d = d;
    return n;
}

GlOgNode* __glOgImm(GlOgState* ctx, int32_t value) { return newNode(ctx, kGlOgImm, value, 0, 0, 0); }
GlOgNode* __glOgLabel(GlOgState* ctx) { return newNode(ctx, kGlOgLabel, 1, 0, 0, 0); }
GlOgNode* __glOgShortLabel(GlOgState* ctx) { return newNode(ctx, kGlOgLabel, 0, 0, 0, 0); }

GlOgNode* __glOgMem(GlOgState* ctx, GlOgNode* disp, GlOgNode* base, GlOgNode* index, int32_t scale)
{
    return newNode(ctx, kGlOgMem, __glOgWord(disp), scale, __glOgWord(base), __glOgWord(index));
}

GlOgNode* __glOgMemBase(GlOgState* ctx, GlOgNode* disp, GlOgNode* base)
{
    return __glOgMem(ctx, disp, base, nullptr, 1);
}

GlOgNode* __glOgInsn(GlOgState* ctx, int32_t opcode, GlOgNode* op1, GlOgNode* op2)
{
    return newNode(ctx, kGlOgInsn, opcode, __glOgWord(op1), __glOgWord(op2), 0);
}

GlOgNode* __glOgOutsideLabel(GlOgState* ctx, const void* routine, const char* name)
{
    return newNode(ctx, kGlOgLabel, 1, 0, __glOgWord(routine), __glOgWord(name));
}

bool __glOgPlaceLabel(GlOgState* ctx, GlOgNode* label, uint8_t* address)
{
    if (label->kind != kGlOgLabel) return false;
    label->c = __glOgWord(address);
    bool ok = true;
    for (GlOgNode* f = __glOgRef(label->b); f; f = __glOgRef(f->b)) {
        uint8_t* hole = (uint8_t*)__glOgRef(f->c);
        if (f->a) {
            int32_t rel = (int32_t)(address - (hole + 4));
            memcpy(hole, &rel, 4);
        } else {
            int32_t rel = (int32_t)(address - (hole + 1));
            // A short branch that cannot reach would jump somewhere else
            // entirely; the generation is refused instead.
            if (rel < -128 || rel > 127) ok = false;
            *hole = (uint8_t)rel;
        }
    }
    if (!ok) ctx->ogFailed = 1;
    return ok;
}

// Shared lookup of both pools: linear scan of the current block, append on a
// miss, and a fresh zeroed block of twice the size once the current one fills.
template <typename T>
static T* poolEntry(GlOgState* ctx, T*& pool, int32_t& count, int32_t& capacity, T value)
{
    if (!pool) return nullptr;
    for (int32_t i = 0; i < count; ++i)
        if (memcmp(&pool[i], &value, sizeof(T)) == 0) return &pool[i];
    if (count == capacity) {
        // The full block stays where it is: generated code holds its addresses.
        if (ctx->ogRetiredCount == (int32_t)(sizeof(ctx->ogRetired) / sizeof(ctx->ogRetired[0])))
            return nullptr;
        T* grown = (T*)poolAlloc(ctx, (size_t)capacity * 2, sizeof(T));
        if (!grown) return nullptr;  // the caller fails the generation
        ctx->ogRetired[ctx->ogRetiredCount++] = pool;
        pool = grown;
        capacity *= 2;
        count = 0;
    }
    T* entry = &pool[count++];
    *entry = value;
    return entry;
}

static GlOgNode* absoluteOperand(GlOgState* ctx, const void* p)
{
    if (!p) {
        ctx->ogFailed = 1;
        return __glOgMem(ctx, __glOgImm(ctx, 0), nullptr, nullptr, 1);
    }
    return __glOgMem(ctx, __glOgImm(ctx, __glOgWord(p)), nullptr, nullptr, 1);
}

GlOgNode* __glOgFloatConst(GlOgState* ctx, double value)
{
    // Compared as the float that is stored, so a value a float cannot hold
    // exactly still shares one entry instead of growing the pool on every
    // regeneration.
    float f = (float)value;
    return absoluteOperand(ctx, poolEntry(ctx, ctx->ogFloatPool, ctx->ogFloatCount, ctx->ogFloatCapacity, f));
}

GlOgNode* __glOgQwordConst(GlOgState* ctx, uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3)
{
    uint64_t v = (uint64_t)w0 | (uint64_t)w1 << 16 | (uint64_t)w2 << 32 | (uint64_t)w3 << 48;
    return absoluteOperand(ctx, poolEntry(ctx, ctx->ogQwordPool, ctx->ogQwordCount, ctx->ogQwordCapacity, v));
}

}  // namespace icd
