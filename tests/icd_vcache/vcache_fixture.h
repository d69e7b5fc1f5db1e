// A current context running the vertex cache: the cache switched on and the vertex procs picked
// again, with a block of records of the test's own (a sentinel tail behind the 38 records a
// batch may use) standing in for the array cache's block.
#pragma once
#include <cmath>
#include <cstring>
#include <string>
#include <vector>
#include "tests/icd_immediate/immediate_fixture.h"
#include "icd/vertex/vertex_cache.h"

// A vertex's identity: the tests place vertex n at object x = n / 100.
inline int vertexId(const GlVertex *v) { return int(std::lround(v->obj[0] * 100.0f)); }

// Identities as runs: "1-36", "1,36-70", "70-80,1".
inline std::string idRuns(const std::vector<int> &ids) {
    std::string s;
    for (size_t i = 0; i < ids.size();) {
        size_t j = i;
        while (j + 1 < ids.size() && ids[j + 1] == ids[j] + 1) ++j;
        if (!s.empty()) s += ",";
        s += std::to_string(ids[i]);
        if (j > i) s += (j == i + 1 ? "," : "-") + std::to_string(ids[j]);
        i = j + 1;
    }
    return s;
}

class VcacheTest : public ImmediateTest {
protected:
    static constexpr int kBlockRecords = 48;
    static constexpr int kUsableRecords = 38;
    std::vector<GlVertex> block;
    GlVertex *ownBlock = nullptr;
    int32_t ownBytes = 0;

    void SetUp() override {
        ImmediateTest::SetUp();
        if (HasFatalFailure()) return;
        useCache(true);
        GlArrayState &as = ctx->arrayState;
        ownBlock = as.cacheBlock;
        ownBytes = as.cacheBytes;
        block.assign(kBlockRecords, GlVertex{});
        for (int i = kUsableRecords; i < kBlockRecords; ++i) std::memset(&block[i], 0xA5, sizeof(GlVertex));
        as.cacheBlock = as.cacheBase = block.data();
        as.cacheBytes = int32_t(kUsableRecords * sizeof(GlVertex));
        ctx->vertexCache.records = block.data();
    }
    void TearDown() override {
        if (ctx != nullptr) {
            ctx->arrayState.cacheBlock = ctx->arrayState.cacheBase = ownBlock;
            ctx->arrayState.cacheBytes = ownBytes;
            ctx->vertexCache.records = ownBlock;
            ctx->vertexCache.vcacheOn = 0;
        }
        ImmediateTest::TearDown();
    }
    // Picks the vertex procs again with the cache on or off, as validation does.
    void useCache(bool on) {
        ctx->vertexCache.vcacheOn = on;
        ctx->dirtyMask |= kGlDirtyGeneral;
        ctx->beginMode = kGlNeedValidate;
        ctx->slots.validate(ctx);
        // The array procs too, as the first glBegin would pick them.
        __glValidateArrays(ctx);
        ctx->arrayState.arraysDirty = 0;
        settle();
    }
    // The records behind the 38 a batch may use are untouched.
    bool tailIntact() {
        std::vector<uint8_t> pattern(sizeof(GlVertex), 0xA5);
        for (int i = kUsableRecords; i < kBlockRecords; ++i)
            if (std::memcmp(&block[i], pattern.data(), sizeof(GlVertex)) != 0) return false;
        return true;
    }
    // n vertices 1..n through glVertex3f, inside glBegin/glEnd.
    void draw(GLenum mode, int n, int from = 1) {
        GL(glBegin)(mode);
        for (int i = from; i < from + n; ++i) GL(glVertex3f)(float(i) / 100.0f, 0.5f, 0.0f);
        GL(glEnd)();
    }
};
