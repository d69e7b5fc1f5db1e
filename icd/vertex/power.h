// Lookup tables of powers for the specular and spot exponents. Each exponent in use gets one
// table of 256 values of x^e over the range where the power is not negligible; tables are
// shared and reference-counted within a context through a small cache sorted by exponent.
#pragma once
#include <cstdint>

struct GlContext;

constexpr int kGlSpecularTableSize = 256;
// Below this power a lit term is taken as 0: it sets the lowest argument a table covers.
constexpr double kGlSpecularCutoffPower = 0.0007;
// The cache evicts an unused table once it holds this many.
constexpr int32_t kGlSpecularCacheLimit = 32;
constexpr int32_t kGlSpecularCacheGrowth = 6;

struct GlSpecularTable {
    int32_t refCount;
    float threshold;  // x below it gives 0
    float scale;      // index = trunc(scale * (x - threshold) + 0.5)
    float exponent;   // the cache key
    float values[kGlSpecularTableSize];
};
static_assert(sizeof(GlSpecularTable) == 1040);

struct GlSpecularCacheEntry {
    float exponent;
    GlSpecularTable *table;
};

// Header of one allocated block; `capacity` entries (plus one spare) follow it.
struct GlSpecularCache {
    int32_t count;
    int32_t capacity;
    GlSpecularCacheEntry entries[1];
};

// The table for an exponent with one new reference for the caller; null (GL_OUT_OF_MEMORY
// reported) when it cannot be built, in which case the caller keeps what it had.
GlSpecularTable *__glGetSpecularTable(GlContext *ctx, float exponent);
// Drops one reference; null does nothing.
void __glReleaseSpecularTable(GlContext *ctx, GlSpecularTable *table);
// Binary search by exponent: the table or null, and the insertion index of a miss.
GlSpecularTable *__glFindSpecularTable(GlSpecularCache *cache, float exponent, int32_t *index);
// The context's cache, created at reset and freed at destruction.
void __glInitSpecularCache(GlContext *ctx);
void __glFreeSpecularCache(GlContext *ctx);

// The factor of a table for an argument x (a dot product or a spot cosine): 0 below the
// threshold, the table's value, or 1.0 past its last entry.
// A NaN argument counts as below the threshold, so no index is ever formed from it.
inline float __glSpecularFactor(const float *values, float threshold, float scale, float x) {
    float d = x - threshold;
    if (!(d >= 0.0f)) return 0.0f;
    float k = scale * d + 0.5f;
    return k < float(kGlSpecularTableSize) ? values[int32_t(k)] : 1.0f;
}

// ---- compiled material blocks -------------------------------------------------------------------
// A run of glMaterial commands in a display list becomes one block: entries of {face (GL_FRONT or
// GL_BACK), change bits} followed by the values of the bits, in the order ambient (4 floats),
// diffuse (4), specular (4), emission (4, as given), shininess (1 float and a table pointer that
// holds one reference), colour indexes (3: ambient, specular, diffuse); a 0 word ends the block
// where the next face would stand.
constexpr uint16_t kGlOpMaterialBlock = 1014;

// The material values of one face gathered from a run; later commands overwrite earlier ones.
struct GlMaterialAccumulator {
    uint32_t face;   // GL_FRONT or GL_BACK
    uint32_t bits;   // the glMaterial change bits gathered
    float ambient[4], diffuse[4], specular[4], emission[4];
    float shininess;
    float indexes[3];  // ambient, specular, diffuse
};

// Stores one glMaterial value set. A pname a block cannot carry (the index shift and offset)
// returns false and leaves the accumulator as it was: the run must end before that command.
bool __glAccumulateListMaterial(GlContext *ctx, GlMaterialAccumulator *accumulator, uint32_t pname, const float *values);
// Words of the block of the two accumulators (front, back), the final 0 included.
int32_t __glMaterialBlockWords(const GlMaterialAccumulator accumulators[2]);
// Writes the block and takes a table for each shininess entry now; returns whether any entry
// holds a table (the block then needs __glFreeMaterialBlock when its list goes).
bool __glWriteMaterialBlock(GlContext *ctx, const GlMaterialAccumulator accumulators[2], uint32_t *block);
// Execute routine of the block: installs its values in the current context's materials.
void __glExecMaterialBlock(const void *block);
// Clean-up routine of the block: releases every table it holds.
void __glFreeMaterialBlock(GlContext *ctx, void *block);
// The list optimiser's material pass over a closed list.
void __glMergeListMaterials(GlContext *ctx, void *list);
