// The generator record of a context, its code caches and data maps, and the executable memory
// the caches keep their routines in.
//
// Code is never writable and executable at once: a cache's block is opened read-write only
// while one of its entries is written, and sealed read-execute before any of its routines runs
// again. Data a routine writes at run time lives in the entry's separate read-write area.
#include "icd/codegen/og_context.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "icd/core/context.h"

namespace icd {

namespace {

size_t pageRound(size_t bytes) { return (bytes + 4095) & ~size_t(4095); }

struct CacheShape {
    int32_t count, size, data;
};
// The vertex cache is the generator's own (40 routines); the other five follow the sizes the
// context was created with.
constexpr CacheShape kVertexShape{40, 3072, 256};
constexpr int32_t kDataAreaBytes = 2048;

std::atomic<int> g_cacheDisabledOverride{-1};

bool keyEquals(const GlOgCacheEntry *e, const uint32_t *key, int32_t words) {
    return std::memcmp(e->key, key, size_t(words) * 4) == 0 &&
           (words == kGlOgKeyWords || e->key[words] == 0);
}

// A routine of the entry sits in a proc slot of the context: re-keying it would rewrite code
// that may still be called.
bool entryIsLive(GlContext *ctx, int32_t cacheId, const GlOgCacheEntry *e) {
    if (e->key[0] == uint32_t(kGlOgEmptyKey)) return false;
    const void *code = e->code;
    auto same = [code](const void *p) { return p == code; };
    auto asVoid = [](auto fn) { return reinterpret_cast<const void *>(fn); };
    switch (cacheId) {
    case kGlOgCacheDepth:
    case kGlOgCacheSpan: {
        // The span routines of the fast path share the cache with the shading stages.
        if (cacheId == kGlOgCacheSpan && same(asVoid(ctx->state.span.fast.spanRoutine))) return true;
        // The fast chain's depth stage sits in the slot its predecessor calls.
        if (cacheId == kGlOgCacheDepth) {
            const GlFastPathSlots &f = ctx->state.span.fast;
            for (GlFastProc p : {f.fastStageFirst, f.afterStipple, f.afterAlphaTest, f.afterStencilTest})
                if (same(asVoid(p))) return true;
        }
        const GlStageList &l = ctx->state.span.spanList;
        for (int i = 0; i < kGlMaxStages; ++i)
            if (same(asVoid(l.unmaskedStages[i])) || same(asVoid(l.maskedStages[i]))) return true;
        return false;
    }
    case kGlOgCacheTriangle:
        return same(asVoid(ctx->state.pick.rasterTriangleProc));
    case kGlOgCacheStrip:
        for (GlArrayRenderer r : ctx->arrayState.renderers)
            if (same(asVoid(r))) return true;
        return false;
    case kGlOgCacheVertex: {
        const GlArrayState &a = ctx->arrayState;
        if (same(asVoid(a.rangeTransform)) || same(asVoid(a.ogVertexProc))) return true;
        for (GlRangeTransformProc p : ctx->vertexCache.ogVertexCacheProcs)
            if (same(asVoid(p))) return true;
        return false;
    }
    default:
        return false;
    }
}

void moveToFront(GlOgCache &c, GlOgCacheEntry *e) {
    if (c.head == e) return;
    for (GlOgCacheEntry *p = c.head; p; p = p->next) {
        if (p->next == e) {
            p->next = e->next;
            break;
        }
    }
    e->next = c.head;
    c.head = e;
}

void emptyEntry(GlOgCacheEntry *e) {
    e->replaces = nullptr;
    std::memset(e->key, 0, sizeof e->key);
    e->key[0] = uint32_t(kGlOgEmptyKey);
}

bool makeCache(GlContext *ctx, GlOgCache &c, CacheShape shape) {
    c = GlOgCache{};
    if (shape.count <= 0 || shape.size <= 0) return true;
    c.entryCount = shape.count;
    c.entrySize = shape.size;
    c.dataSize = shape.data;
    c.codeBytes = pageRound(size_t(shape.count) * size_t(shape.size));
    c.codeBlock = __glOgAllocCode(c.codeBytes);
    c.entries = static_cast<GlOgCacheEntry *>(ctx->hostProcs.calloc(ctx, size_t(shape.count), sizeof(GlOgCacheEntry)));
    if (shape.data > 0)
        c.dataBlock = static_cast<uint8_t *>(ctx->hostProcs.calloc(ctx, size_t(shape.count), size_t(shape.data)));
    if (!c.codeBlock || !c.entries || (shape.data > 0 && !c.dataBlock)) return false;
    // Unused code bytes trap.
    std::memset(c.codeBlock, 0xCC, c.codeBytes);
    if (!__glOgSealCode(c.codeBlock, c.codeBytes)) return false;
    // The list runs from the last entry made to the first.
    for (int32_t i = 0; i < shape.count; ++i) {
        GlOgCacheEntry *e = &c.entries[i];
        emptyEntry(e);
        e->code = c.codeBlock + size_t(i) * size_t(shape.size);
        e->data = c.dataBlock ? c.dataBlock + size_t(i) * size_t(shape.data) : nullptr;
        __glOgResetDataMap(&e->map);
        e->next = c.head;
        c.head = e;
    }
    return true;
}

void freeCache(GlContext *ctx, GlOgCache &c) {
    if (c.codeBlock) __glOgFreeCode(c.codeBlock, c.codeBytes);
    if (c.entries) ctx->hostProcs.free(ctx, c.entries);
    if (c.dataBlock) ctx->hostProcs.free(ctx, c.dataBlock);
    c = GlOgCache{};
}

}  // namespace

// ---- executable memory ----------------------------------------------------------------------------
// Anonymous mappings of their own, apart from the virtual memory the device's buffers use.
uint8_t *__glOgAllocCode(size_t bytes) {
    if (bytes == 0) return nullptr;
    void *p = mmap(nullptr, pageRound(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
}

void __glOgFreeCode(uint8_t *block, size_t bytes) {
    if (block) munmap(block, pageRound(bytes));
}

bool __glOgUnsealCode(uint8_t *block, size_t bytes) {
    return block && mprotect(block, pageRound(bytes), PROT_READ | PROT_WRITE) == 0;
}

bool __glOgSealCode(uint8_t *block, size_t bytes) {
    return block && mprotect(block, pageRound(bytes), PROT_READ | PROT_EXEC) == 0;
}

// ---- context wiring -------------------------------------------------------------------------------
GlOgContext *__glOgContextOf(GlContext *ctx) {
    return ctx ? static_cast<GlOgContext *>(ctx->codeCaches.generator) : nullptr;
}

// ---- caches ---------------------------------------------------------------------------------------
bool __glOgCacheDisabled() {
    int forced = g_cacheDisabledOverride.load();
    if (forced >= 0) return forced != 0;
    static const bool disabled = [] {
        const char *v = std::getenv("__GL_DISABLE_OG_CACHE");
        return v != nullptr && std::atoi(v) != 0;
    }();
    return disabled;
}

void __glOgSetCacheDisabledForTest(int disabled) { g_cacheDisabledOverride.store(disabled); }

GlOgCacheEntry *__glOgLookUpCode(GlContext *ctx, int32_t cacheId, const uint32_t *key, int32_t words, bool *hit) {
    *hit = false;
    GlOgContext *og = __glOgContextOf(ctx);
    if (!og || cacheId < 0 || cacheId >= kGlOgCacheCount || words <= 0 || words > kGlOgKeyWords ||
        key[0] == uint32_t(kGlOgEmptyKey))
        return nullptr;
    GlOgCache &c = og->caches[cacheId];
    if (!c.head) return nullptr;
    if (!__glOgCacheDisabled()) {
        for (GlOgCacheEntry *e = c.head; e; e = e->next) {
            if (keyEquals(e, key, words)) {
                moveToFront(c, e);
                *hit = true;
                ++og->counters.reused;
                return e;
            }
        }
    }
    // A miss: an empty entry, else the least recently used one that no slot holds.
    GlOgCacheEntry *victim = nullptr;
    for (GlOgCacheEntry *e = c.head; e; e = e->next) {
        if (e->key[0] == uint32_t(kGlOgEmptyKey)) {
            victim = e;
            break;
        }
        if (!entryIsLive(ctx, cacheId, e)) victim = e;
    }
    if (!victim) {
        ++og->counters.refused;
        return nullptr;
    }
    emptyEntry(victim);
    std::memcpy(victim->key, key, size_t(words) * 4);
    moveToFront(c, victim);
    return victim;
}

void GlOgWriter::op(GlOgNode *insn) {
    uint8_t *before = p;
    p = __glOgEncode(s, p, insn);
    if (p != before) return;
    // Nothing appended: only a shift by zero may do that.
    const int32_t code = insn->a;
    const GlOgNode *count = __glOgRef(insn->c);
    const bool zeroShift = (code == kGlOpShl || code == kGlOpShr || code == kGlOpSar || code == kGlOpRol) &&
                           count && count->kind == kGlOgImm && count->a == 0;
    if (!zeroShift) s->ogFailed = 1;
}

void GlOgWriter::shiftBy(GlOgNode *reg, int from, int to) {
    uint8_t *before = p;
    p = __glOgEmitShiftBy(s, p, reg, from, to);
    if (p == before && from != to) s->ogFailed = 1;
}

void GlOgWriter::mmxShiftBy(GlOgNode *mmxReg, int from, int to) {
    uint8_t *before = p;
    p = __glOgEmitMmxShiftBy(s, p, mmxReg, from, to);
    if (p == before && from != to) s->ogFailed = 1;
}

bool __glOgBeginWrite(GlContext *ctx, int32_t cacheId, GlOgCacheEntry *entry, GlOgWriter *w) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (!og || !entry) return false;
    GlOgCache &c = og->caches[cacheId];
    if (!__glOgUnsealCode(c.codeBlock, c.codeBytes)) {
        // The entry was keyed for this routine but still holds another one's code.
        emptyEntry(entry);
        return false;
    }
    __glOgResetArena(&og->ir);
    __glOgSetCodeLimit(&og->ir, entry->code + c.entrySize);
    *w = GlOgWriter{&og->ir, entry->code, entry->code, entry, cacheId};
    return true;
}

void *__glOgFinishWrite(GlContext *ctx, GlOgWriter *w) {
    GlOgContext *og = __glOgContextOf(ctx);
    GlOgCache &c = og->caches[w->cacheId];
    const bool ok = !__glOgFailed(w->s);
    if (!ok) {
        // Half-written code never runs: the bytes trap and the entry is free again.
        std::memset(w->entry->code, 0xCC, size_t(c.entrySize));
        emptyEntry(w->entry);
        ++og->counters.refused;
    }
    __glOgSetCodeLimit(w->s, nullptr);
    if (!__glOgSealCode(c.codeBlock, c.codeBytes)) {
        emptyEntry(w->entry);
        return nullptr;
    }
    if (!ok) return nullptr;
    ++og->counters.generated;
    return w->start;
}

// ---- data maps ------------------------------------------------------------------------------------
void __glOgResetDataMap(GlOgDataMap *map) {
    for (int32_t &o : map->offset) o = -1;
    map->next = 0;
    map->signature = 0;
    map->passThrough = 0;
}

int32_t __glOgMapSlot(GlOgDataMap *map, int32_t slot, int32_t size, int32_t limit) {
    if (slot < 0 || slot >= kGlOgMapSlots) return -1;
    if (map->passThrough) return slot;
    if (map->offset[slot] >= 0) return map->offset[slot];
    if (size <= 0 || map->next + size > limit) return -1;
    map->offset[slot] = map->next;
    map->next += size;
    const uint32_t v = map->signature ^ uint32_t(slot);
    map->signature = (v << 7) | (v >> 25);
    return map->offset[slot];
}

void __glOgAlignDataMap(GlOgDataMap *map, int32_t alignment) {
    if (alignment > 0) map->next = (map->next + alignment - 1) / alignment * alignment;
}

}  // namespace icd

using namespace icd;

void __glOgCreateCodeCaches(GlContext *ctx) {
    GlCodeCaches &cc = ctx->codeCaches;
    cc.generator = nullptr;
    // "__GL_DISABLE_OG" non-zero: contexts run their C procs only (to compare the two).
    static const bool disabled = [] {
        const char *v = std::getenv("__GL_DISABLE_OG");
        return v != nullptr && std::atoi(v) != 0;
    }();
    if (disabled) return;
    auto *og = static_cast<GlOgContext *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlOgContext)));
    if (!og) return;
    auto hookCalloc = [](void *owner, size_t n, size_t size) {
        GlContext *c = static_cast<GlContext *>(owner);
        return c->hostProcs.calloc(c, n, size);
    };
    auto hookFree = [](void *owner, void *block) {
        GlContext *c = static_cast<GlContext *>(owner);
        c->hostProcs.free(c, block);
    };
    bool ok = __glOgInitStateWith(&og->ir, hookCalloc, hookFree, ctx);
    for (int i = 0; i < 5 && ok; ++i)
        ok = makeCache(ctx, og->caches[i], {cc.entryCount[i], cc.entrySize[i], i == kGlOgCacheSpan ? kDataAreaBytes : 0});
    ok = ok && makeCache(ctx, og->caches[kGlOgCacheVertex], kVertexShape);
    if (ok && cc.scratchSize > 0) {
        cc.scratch = ctx->hostProcs.calloc(ctx, 1, size_t(cc.scratchSize));
        ok = cc.scratch != nullptr;
    }
    if (!ok) {
        // No caches: the context runs its C procs only.
        for (GlOgCache &c : og->caches) freeCache(ctx, c);
        __glOgFreeState(&og->ir);
        ctx->hostProcs.free(ctx, og);
        if (cc.scratch) ctx->hostProcs.free(ctx, cc.scratch);
        cc.scratch = nullptr;
        return;
    }
    __glOgResetDataMap(&og->directMap);
    og->directMap.passThrough = 1;
    og->currentMap = &og->directMap;
    for (int i = 0; i < 5; ++i) cc.cache[i] = &og->caches[i];
    cc.generator = og;
}

void __glOgFreeCodeCaches(GlContext *ctx) {
    GlCodeCaches &cc = ctx->codeCaches;
    if (auto *og = static_cast<GlOgContext *>(cc.generator)) {
        for (GlOgCache &c : og->caches) freeCache(ctx, c);
        __glOgFreeState(&og->ir);
        ctx->hostProcs.free(ctx, og);
    }
    if (cc.scratch) ctx->hostProcs.free(ctx, cc.scratch);
    cc.scratch = nullptr;
    cc.generator = nullptr;
    for (void *&c : cc.cache) c = nullptr;
}

void __glOgSetDirectDataMap(GlContext *ctx) {
    if (GlOgContext *og = __glOgContextOf(ctx)) og->currentMap = &og->directMap;
}

// Whether proc lies in a code cache, and the C proc a generated routine stands in for (proc
// itself when it is none).
bool __glOgIsGenerated(GlContext *ctx, const void *proc) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (!og || !proc) return false;
    const uint8_t *p = static_cast<const uint8_t *>(proc);
    for (const GlOgCache &c : og->caches)
        if (c.codeBlock && p >= c.codeBlock && p < c.codeBlock + c.codeBytes) return true;
    return false;
}

const void *__glOgReplacedProc(GlContext *ctx, const void *proc) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (!og || !proc) return proc;
    for (const GlOgCache &c : og->caches)
        for (int32_t i = 0; i < c.entryCount; ++i)
            if (c.entries[i].code == proc && c.entries[i].replaces) return c.entries[i].replaces;
    return proc;
}
