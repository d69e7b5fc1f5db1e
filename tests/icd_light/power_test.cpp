// The shared power tables: their values, the lookup's two ends, reference counting through the
// sorted cache and its eviction, and what happens when a table cannot be allocated.
#include "tests/icd_light/light_fixture.h"

namespace {

class PowerTables : public LightTest {
protected:
    GlSpecularCache *cache() { return caches().specularCache; }
    std::vector<float> exponents() {
        std::vector<float> e;
        for (int32_t i = 0; i < cache()->count; ++i) e.push_back(cache()->entries[i].exponent);
        return e;
    }
};

TEST_F(PowerTables, ValuesFollowThePowerFromTheThreshold) {
    for (float e : {1.0f, 10.0f, 128.0f, 0.5f}) {
        SCOPED_TRACE(e);
        GlSpecularTable *t = __glGetSpecularTable(ctx, e);
        ASSERT_NE(t, nullptr);
        double threshold = std::pow(0.0007, 1.0 / e);
        EXPECT_FLOAT_EQ(t->threshold, float(threshold));
        EXPECT_FLOAT_EQ(t->scale, float(255.0 / (1.0 - threshold)));
        EXPECT_EQ(t->exponent, e);
        for (int k : {0, 1, 100, 254, 255}) {
            double x = threshold + k * (1.0 - threshold) / 255.0;
            EXPECT_NEAR(t->values[k], std::pow(x, e), 1e-6 + 1e-5 * std::pow(x, e)) << k;
        }
        // N.H at the threshold gives the first value, about 0.0007; past the last step 1.0; below
        // the threshold, or no number at all, 0.
        EXPECT_EQ(__glSpecularFactor(t->values, t->threshold, t->scale, t->threshold), t->values[0]);
        EXPECT_NEAR(t->values[0], 0.0007, 1e-6);
        EXPECT_EQ(__glSpecularFactor(t->values, t->threshold, t->scale, 1.01f), 1.0f);
        EXPECT_EQ(__glSpecularFactor(t->values, t->threshold, t->scale, t->threshold - 1e-3f), 0.0f);
        EXPECT_EQ(__glSpecularFactor(t->values, t->threshold, t->scale, std::nanf("")), 0.0f);
        EXPECT_EQ(__glSpecularFactor(t->values, t->threshold, t->scale, 1e30f), 1.0f);
        __glReleaseSpecularTable(ctx, t);
    }
    // Exponent 0: 1.0 everywhere, threshold 0, scale 255.
    GlSpecularTable *flat = __glGetSpecularTable(ctx, 0.0f);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(flat->threshold, 0.0f);
    EXPECT_EQ(flat->scale, 255.0f);
    for (float v : flat->values) ASSERT_EQ(v, 1.0f);
    __glReleaseSpecularTable(ctx, flat);
    __glReleaseSpecularTable(ctx, nullptr);
}

// One table per exponent, shared: a second request returns the same table with one more
// reference; the cache stays sorted by exponent.
TEST_F(PowerTables, SharedAndSortedByExponent) {
    int32_t before = cache()->count;
    GlSpecularTable *a = __glGetSpecularTable(ctx, 77.0f);
    GlSpecularTable *b = __glGetSpecularTable(ctx, 3.0f);
    GlSpecularTable *c = __glGetSpecularTable(ctx, 77.0f);
    EXPECT_EQ(a, c);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->refCount, 3);  // the cache and two callers
    EXPECT_EQ(cache()->count, before + 2);
    std::vector<float> e = exponents();
    EXPECT_TRUE(std::is_sorted(e.begin(), e.end()));
    int32_t index = -1;
    EXPECT_EQ(__glFindSpecularTable(cache(), 3.0f, &index), b);
    EXPECT_EQ(cache()->entries[index].exponent, 3.0f);
    EXPECT_EQ(__glFindSpecularTable(cache(), 4.0f, &index), nullptr);
    EXPECT_EQ(cache()->entries[index - 1].exponent, 3.0f);  // insertion point after 3
    EXPECT_EQ(__glFindSpecularTable(cache(), std::nanf(""), &index), nullptr);
    for (GlSpecularTable *t : {a, b, c}) __glReleaseSpecularTable(ctx, t);
    EXPECT_EQ(a->refCount, 1);  // the cache keeps it
}

// With 32 tables cached, a miss evicts the first table (by exponent) that only the cache holds;
// while every table has another user nothing is evicted and the cache grows.
TEST_F(PowerTables, EvictsOnlyTablesNobodyElseHolds) {
    CountingAllocator::install(ctx);
    // Start from an empty cache: the validation of make-current took tables of its own.
    __glFreeSpecularCache(ctx);
    __glInitSpecularCache(ctx);
    std::vector<GlSpecularTable *> held;
    for (int i = 0; i < 33; ++i) held.push_back(__glGetSpecularTable(ctx, float(i + 1)));
    EXPECT_EQ(cache()->count, 33);
    EXPECT_GE(cache()->capacity, 33);
    for (GlSpecularTable *t : held) EXPECT_EQ(t->refCount, 2);
    // Table 5 loses its other user, then table 2: the next miss evicts 2 (the first in order).
    __glReleaseSpecularTable(ctx, held[4]);
    __glReleaseSpecularTable(ctx, held[1]);
    size_t liveBefore = CountingAllocator::live().size();
    GlSpecularTable *extra = __glGetSpecularTable(ctx, 100.0f);
    EXPECT_EQ(cache()->count, 33);
    int32_t index;
    EXPECT_EQ(__glFindSpecularTable(cache(), 2.0f, &index), nullptr);
    EXPECT_NE(__glFindSpecularTable(cache(), 5.0f, &index), nullptr);
    EXPECT_EQ(CountingAllocator::live().size(), liveBefore);  // one table freed, one made
    std::vector<float> e = exponents();
    EXPECT_TRUE(std::is_sorted(e.begin(), e.end()));
    // A table that left the cache would be freed by its last user; the cache frees the rest.
    for (size_t i = 0; i < held.size(); ++i)
        if (i != 1 && i != 4) __glReleaseSpecularTable(ctx, held[i]);
    __glReleaseSpecularTable(ctx, extra);
    __glFreeSpecularCache(ctx);
    EXPECT_TRUE(CountingAllocator::live().empty());
    __glInitSpecularCache(ctx);
}

// A table that cannot be allocated: GL_OUT_OF_MEMORY, and the material keeps the table it had,
// so lighting still reads a valid table; the next change tries again.
TEST_F(PowerTables, AllocationFailureKeepsTheOldTable) {
    GL(glEnable)(GL_LIGHTING);
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 12.0f);
    validate();
    GlMaterialCache &mc = caches().frontMaterialCache;
    GlSpecularTable *old = mc.specularTable;
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(mc.shininess, 12.0f);
    kivFailGlobalAllocAfter(1);
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 13.0f);
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(ctx->error, GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(mc.specularTable, old);
    EXPECT_EQ(mc.specularData, old->values);
    EXPECT_EQ(mc.shininess, 12.0f);
    double eye[4] = {0, 0, -2, 1}, n[3] = {0, 0, 1};
    GlVertex v = litVertex(eye, n);
    faceColor()(ctx, 0, &v);  // reads the kept table
    ctx->error = GL_NO_ERROR;
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 13.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(mc.shininess, 13.0f);
    EXPECT_EQ(mc.specularTable->exponent, 13.0f);
}

// Destroying a context frees every table: the material caches', the lights' spot tables and
// the cache's own.
TEST_F(PowerTables, DestructionFreesEveryTable) {
    CountingAllocator::install(ctx);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT1);
    GL(glLightf)(GL_LIGHT1, GL_SPOT_CUTOFF, 40.0f);
    GL(glLightf)(GL_LIGHT1, GL_SPOT_EXPONENT, 7.0f);
    GL(glMaterialf)(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    GL(glMaterialf)(GL_BACK, GL_SHININESS, 60.0f);
    validate();
    EXPECT_NE(__glLightCaches(ctx)[1].spotTable, nullptr);
    EXPECT_FALSE(CountingAllocator::live().empty());
    std::set<void *> tables = CountingAllocator::live();
    DrvReleaseContext(handle);
    DrvDeleteContext(handle);
    handle = 0;
    ctx = nullptr;
    for (void *p : tables) EXPECT_EQ(CountingAllocator::live().count(p), 0u) << p;
}

}  // namespace
