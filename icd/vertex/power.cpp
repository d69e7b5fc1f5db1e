// The shared power tables and the context's sorted cache of them.
#include <bit>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include "icd/core/core.h"
#include "icd/vertex/power.h"

namespace {

GlSpecularCache *&cacheOf(GlContext *ctx) { return ctx->state.lightingCaches.specularCache; }

size_t cacheBytes(int32_t capacity) {
    // the header, the entries and one spare entry
    return offsetof(GlSpecularCache, entries) + size_t(capacity + 1) * sizeof(GlSpecularCacheEntry);
}

GlSpecularCache *newCache(GlContext *ctx) {
    auto *cache = static_cast<GlSpecularCache *>(ctx->hostProcs.calloc(ctx, 1, cacheBytes(1)));
    if (cache != nullptr) {
        cache->count = 0;
        cache->capacity = 1;
    }
    return cache;
}

// threshold t = 0.0007^(1/e): below it x^e is negligible; 256 values of x^e from t to 1, with
// x stepped in double precision.
GlSpecularTable *newTable(GlContext *ctx, float exponent) {
    auto *table = static_cast<GlSpecularTable *>(ctx->hostProcs.alloc(ctx, sizeof(GlSpecularTable)));
    if (table == nullptr) return nullptr;
    double e = exponent;
    double t = (std::bit_cast<uint32_t>(exponent) & 0x7FFFFFFFu) != 0 ? std::pow(kGlSpecularCutoffPower, 1.0 / e) : 0.0;
    double scale = 255.0 / (1.0 - t);
    double step = 1.0 / scale;
    double x = t;
    for (int k = 0; k < kGlSpecularTableSize; ++k) {
        table->values[k] = float(std::pow(x, e));
        x += step;
    }
    table->refCount = 2;  // the cache and the caller
    table->threshold = float(t);
    table->scale = float(scale);
    table->exponent = exponent;
    return table;
}

void freeTable(GlContext *ctx, GlSpecularTable *table) { ctx->hostProcs.free(ctx, table); }

// Drops the first table that only the cache still holds.
void evictOne(GlContext *ctx, GlSpecularCache *cache) {
    for (int32_t i = 0; i < cache->count; ++i) {
        GlSpecularTable *table = cache->entries[i].table;
        if (table->refCount != 1) continue;
        table->refCount = 0;
        cache->count -= 1;
        std::memmove(&cache->entries[i], &cache->entries[i + 1], size_t(cache->count - i) * sizeof(GlSpecularCacheEntry));
        freeTable(ctx, table);
        return;
    }
}

}  // namespace

GlSpecularTable *__glFindSpecularTable(GlSpecularCache *cache, float exponent, int32_t *index) {
    int32_t lo = 0, hi = cache->count;
    while (lo < hi) {
        int32_t mid = (lo + hi) / 2;
        float key = cache->entries[mid].exponent;
        if (exponent == key) {
            *index = mid;
            return cache->entries[mid].table;
        }
        if (exponent >= key)
            lo = mid + 1;
        else
            hi = mid;
    }
    *index = lo;
    return nullptr;
}

// A table or the cache's growth that cannot be allocated reports GL_OUT_OF_MEMORY and changes
// nothing: the caller keeps the table it had.
GlSpecularTable *__glGetSpecularTable(GlContext *ctx, float exponent) {
    GlSpecularCache *&cache = cacheOf(ctx);
    if (cache == nullptr) cache = newCache(ctx);
    if (cache == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    int32_t index = 0;
    GlSpecularTable *table = __glFindSpecularTable(cache, exponent, &index);
    if (table != nullptr) {
        table->refCount += 1;
        return table;
    }
    if (cache->count >= kGlSpecularCacheLimit) {
        evictOne(ctx, cache);
        __glFindSpecularTable(cache, exponent, &index);
    }
    if (cache->capacity < cache->count + 1) {
        int32_t capacity = cache->capacity + kGlSpecularCacheGrowth;
        auto *grown = static_cast<GlSpecularCache *>(ctx->hostProcs.realloc(ctx, cache, cacheBytes(capacity)));
        if (grown == nullptr) {
            __glSetError(GL_OUT_OF_MEMORY);
            return nullptr;
        }
        cache = grown;
        cache->capacity = capacity;
    }
    table = newTable(ctx, exponent);
    if (table == nullptr) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    std::memmove(&cache->entries[index + 1], &cache->entries[index],
                 size_t(cache->count - index) * sizeof(GlSpecularCacheEntry));
    cache->entries[index].exponent = exponent;
    cache->entries[index].table = table;
    cache->count += 1;
    return table;
}

void __glReleaseSpecularTable(GlContext *ctx, GlSpecularTable *table) {
    if (table == nullptr) return;
    if (--table->refCount == 0) freeTable(ctx, table);
}

// A cache that cannot be allocated here is created at the first table request instead.
void __glInitSpecularCache(GlContext *ctx) {
    GlSpecularCache *&cache = cacheOf(ctx);
    if (cache == nullptr) cache = newCache(ctx);
}

void __glFreeSpecularCache(GlContext *ctx) {
    GlLightingCaches &lc = ctx->state.lightingCaches;
    // The tables the material caches hold go first, so that the cache's references are the
    // last ones and free them.
    for (GlMaterialCache *mc : {&lc.frontMaterialCache, &lc.backMaterialCache}) {
        __glReleaseSpecularTable(ctx, mc->specularTable);
        mc->specularTable = nullptr;
        mc->specularData = nullptr;
    }
    for (int32_t i = 0; ctx->arrays.lights != nullptr && i < ctx->limits.maxLights; ++i) {
        GlLightCache &l = *reinterpret_cast<GlLightCache *>(ctx->arrays.lights + i * kGlLightCacheStride);
        __glReleaseSpecularTable(ctx, l.spotTable);
        l.spotTable = nullptr;
        l.spotData = nullptr;
    }
    GlSpecularCache *&cache = cacheOf(ctx);
    if (cache == nullptr) return;
    // Destruction may have freed the light records before this runs: the spot tables they held
    // have no user left, so every table of the cache goes with it.
    for (int32_t i = 0; i < cache->count; ++i) freeTable(ctx, cache->entries[i].table);
    ctx->hostProcs.free(ctx, cache);
    cache = nullptr;
}
