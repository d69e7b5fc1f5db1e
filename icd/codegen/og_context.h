// What one context's code generators own: the intermediate-form state, the code caches whose
// entries hold generated routines in executable memory, the data maps, and the process-wide MMX
// decision and fill routine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "icd/codegen/og_encode.h"
#include "platform/win32/win32.h"

struct GlContext;

namespace icd {

enum GlOgCacheId : int32_t {
    kGlOgCacheReserved = 0,
    kGlOgCacheDepth = 1,     // depth-test stages
    kGlOgCacheTriangle = 2,  // triangle routines
    kGlOgCacheSpan = 3,      // span routines
    kGlOgCacheStrip = 4,     // array triangle-strip renderers
    kGlOgCacheVertex = 5,    // vertex routines (the generator's own key cache)
    kGlOgCacheCount = 6,
};

constexpr int kGlOgMapSlots = 1000;
constexpr int kGlOgKeyWords = 24;
constexpr int32_t kGlOgEmptyKey = -1;

// Where the slots of a span record lie in a routine's data area. A placed slot keeps its offset;
// the signature folds in every slot in the order placed. The pass-through map hands back slot
// numbers unchanged.
struct GlOgDataMap {
    int32_t offset[kGlOgMapSlots];  // -1: not placed
    int32_t next;                   // next free offset
    uint32_t signature;
    int32_t passThrough;
};

struct GlOgCacheEntry {
    GlOgCacheEntry *next;
    uint32_t key[kGlOgKeyWords];  // key[0] kGlOgEmptyKey: the entry holds no routine
    uint8_t *code;                // its part of the cache's executable block
    uint8_t *data;                // its read-write data area (never executed)
    const void *replaces;         // the C proc the routine stands in for
    GlOgDataMap map;
};

// One cache: entries in most-recently-used order. The code of all entries lies in one block
// that is executable and read-only except while one of its entries is being written.
struct GlOgCache {
    GlOgCacheEntry *head;
    GlOgCacheEntry *entries;
    int32_t entryCount, entrySize, dataSize;
    uint8_t *codeBlock;
    size_t codeBytes;
    uint8_t *dataBlock;
};

struct GlOgCounters {
    uint32_t generated;  // routines written and installed
    uint32_t reused;     // lookups answered from a cache
    uint32_t refused;    // generations abandoned (out of nodes, code room, or a live cache)
};

struct GlOgContext {
    GlOgState ir;
    GlOgCache caches[kGlOgCacheCount];
    GlOgDataMap directMap;
    GlOgDataMap *currentMap;
    GlOgCounters counters;
    // A span routine ends by jumping through spanReturn, the continuation its caller stored
    // before jumping in; savedStack is the caller's stack pointer at that moment.
    uint32_t spanReturn, savedStack;
    // Entries into the context's span routines: each one counts itself once per triangle.
    uint32_t spanRuns;
};

// ---- executable memory ----------------------------------------------------------------------------
// Whole pages, read-write until __glOgSealCode; null when none can be had.
uint8_t *__glOgAllocCode(size_t bytes);
void __glOgFreeCode(uint8_t *block, size_t bytes);
// Read-write (for writing a routine) or read-execute (to run it); false when refused.
bool __glOgUnsealCode(uint8_t *block, size_t bytes);
bool __glOgSealCode(uint8_t *block, size_t bytes);

// ---- context wiring -------------------------------------------------------------------------------
// The context's generator record, or null when the context has none (generation then never
// happens and every picker keeps its C proc).
GlOgContext *__glOgContextOf(GlContext *ctx);
// Mode-flags bit that forbids generated MMX code in this context.
constexpr uint32_t kGlOgModeNoMmx = 0x10;

// ---- caches ---------------------------------------------------------------------------------------
// Read once per process from "__GL_DISABLE_OG_CACHE" (non-zero: every lookup misses).
bool __glOgCacheDisabled();
void __glOgSetCacheDisabledForTest(int disabled);  // -1: back to the environment

// The entry for a key of `words` words (at most kGlOgKeyWords). A hit moves the entry to the
// front and sets *hit. A miss takes the first empty entry, else the least recently used one whose
// routine no slot of the context holds, re-keys it and moves it to the front; null when every
// entry is live.
GlOgCacheEntry *__glOgLookUpCode(GlContext *ctx, int32_t cacheId, const uint32_t *key, int32_t words, bool *hit);

// A routine being written into an entry: the block is opened for writing, the arena reset and
// the code limit set at the entry's end. Finish returns the entry point (the start of the code)
// when the generation succeeded, else empties the entry and returns null; the block is
// executable again either way.
struct GlOgWriter {
    GlOgState *s;
    uint8_t *start;
    uint8_t *p;
    GlOgCacheEntry *entry;
    int32_t cacheId;

    // Appends one instruction; one the encoder refuses fails the generation.
    void op(GlOgNode *insn);
    // Moves a bit field of a dword register (or of an MMX register's 16-bit lanes) from bit
    // `from` to bit `to`: one shift, none when they are equal.
    void shiftBy(GlOgNode *reg, int from, int to);
    void mmxShiftBy(GlOgNode *mmxReg, int from, int to);
    void place(GlOgNode *label) { __glOgPlaceLabel(s, label, p); }
    GlOgNode *imm(int32_t v) { return __glOgImm(s, v); }
    GlOgNode *r(int reg) { return __glOgR32(reg); }
    GlOgNode *r8(int reg) { return __glOgR8(reg); }
    GlOgNode *at(int reg, int32_t disp = 0) { return __glOgMemBase(s, disp ? imm(disp) : nullptr, r(reg)); }
    GlOgNode *abs(const void *address) { return __glOgMem(s, imm(__glOgWord(address)), nullptr, nullptr, 1); }
    GlOgNode *label() { return __glOgLabel(s); }
};
bool __glOgBeginWrite(GlContext *ctx, int32_t cacheId, GlOgCacheEntry *entry, GlOgWriter *w);
void *__glOgFinishWrite(GlContext *ctx, GlOgWriter *w);

// ---- data maps ------------------------------------------------------------------------------------
void __glOgResetDataMap(GlOgDataMap *map);
// The offset of a slot (placed at the next free offset the first time); -1 for a slot out of
// range or a map that would grow past its data area of `limit` bytes.
int32_t __glOgMapSlot(GlOgDataMap *map, int32_t slot, int32_t size, int32_t limit);
void __glOgAlignDataMap(GlOgDataMap *map, int32_t alignment);

// ---- MMX ------------------------------------------------------------------------------------------
// Tests: -1 back to the process decision, 0 or 1 to force it.
void __glOgOverrideMmx(int value);

// The process-wide MMX fill loop (eax value, ecx count >= 1, edi 4-aligned destination; leaves
// edi past the last dword; no emms). Null when no MMX or no executable memory.
void *__glOgGenFillProc();
// count dwords of value from dst through the fill loop, then emms. False (nothing written)
// when the loop is not available or dst is not 4-aligned.
bool __glOgFill32(uint32_t *dst, int32_t count, uint32_t value);

// ---- depth stages ---------------------------------------------------------------------------------
// The branch to `target` taken when a depth test fails, after "cmp value, stored" (an unsigned
// comparison); func is the depth function - GL_NEVER, GL_LESS to GL_GEQUAL.
GlOgNode *__glOgDepthFailBranch(GlOgState *s, int32_t func, GlOgNode *target);

}  // namespace icd

// The context's entries (declared for the core in icd/core/services.h).
// Decided once per process: "__GL_FORCE_MMX" (its number: 0 forbids, non-zero forces) when set,
// else the processor's MMX feature bit.
BOOL __glOgQueryMmx(void);
// The query, mode-flags bit 0x10 clear, an RGBA visual and a colour buffer of at most 16 bits.
BOOL __glOgCanUseMmx(GlContext *ctx);
// Creation makes the generator record and the caches; a context whose caches cannot be had, or
// any context while "__GL_DISABLE_OG" is non-zero, is left without generated code.
void __glOgCreateCodeCaches(GlContext *ctx);
void __glOgFreeCodeCaches(GlContext *ctx);
// Validation: the current map becomes the pass-through one.
void __glOgSetDirectDataMap(GlContext *ctx);
