// A current context driven through its live table as a program drives it, with spies for the
// immediate-mode entries the per-element road calls and for the array renderers of the cache
// road.
#pragma once
#include <cstdio>
#include <string>
#include <vector>
#include "tests/icd_immediate/immediate_fixture.h"
#include "icd/vertex/array_procs.h"
#include "icd/vertex/array_tables.h"

// ---- immediate calls ----------------------------------------------------------------------------
inline std::vector<std::string> &immediateCalls() {
    static std::vector<std::string> log;
    return log;
}

template <class T>
std::string valuesOf(const T *v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + std::to_string(double(v[i])).substr(0, 6);
    return s;
}

// A stand-in for the vector entry of one slot: records its name and the values it was given.
template <const char *Name, class T, int N>
void APIENTRY spyVector(const T *v) {
    immediateCalls().push_back(std::string(Name) + "(" + valuesOf(v, N) + ")");
}
inline void APIENTRY spyBegin(GLenum mode) { immediateCalls().push_back("Begin(" + std::to_string(mode) + ")"); }
inline void APIENTRY spyEnd() { immediateCalls().push_back("End"); }

namespace spyname {
inline constexpr char N3f[] = "N3f", N3b[] = "N3b", C4ub[] = "C4ub", C3f[] = "C3f", T2f[] = "T2f", If[] = "If",
                      E[] = "E", V3f[] = "V3f", V2s[] = "V2s";
}

// ---- records the renderers see --------------------------------------------------------------------
inline std::vector<GlVertex> &renderedRecords() {
    static std::vector<GlVertex> log;
    return log;
}
inline int &rendererCalls() {
    static int n = 0;
    return n;
}
// A renderer that keeps the protocol of the real ones for draws of at most one batch: with the
// range stale it fetches and transforms the batch into the first records, else it reads the
// records of the locked range by element number. It logs copies of the records it would draw.
inline void spyRenderer(GlContext *ctx, int32_t first, int32_t count, const uint32_t *indices) {
    GlArrayState &a = ctx->arrayState;
    ++rendererCalls();
    const bool batch = a.arrayFlags & kGlArrayRangeStale;
    if (batch) a.batchTransform(ctx, 0, indices ? 0 : first, count, indices);
    for (int32_t i = 0; i < count; ++i) {
        int32_t n = batch ? i : indices ? int32_t(indices[i]) : first + i;
        const GlVertex *r = a.cacheBase + n;
        // The records of a draw always lie inside the cache block.
        EXPECT_GE(uintptr_t(r), uintptr_t(a.cacheBlock));
        EXPECT_LE(uintptr_t(r + 1), uintptr_t(a.cacheBlock) + uint32_t(a.cacheBytes));
        renderedRecords().push_back(*r);
    }
}

class ArraysTest : public ImmediateTest {
protected:
    void SetUp() override {
        ImmediateTest::SetUp();
        immediateCalls().clear();
        renderedRecords().clear();
        rendererCalls() = 0;
    }
    template <class F>
    void spySlot(int s, F proc) {
        ctx->liveTable.slot[s] = reinterpret_cast<GlEntry>(proc);
    }
    // Every array renderer replaced by the spy (validation puts the strip stub back).
    void spyRenderers() {
        for (GlArrayRenderer &r : ctx->arrayState.renderers) r = spyRenderer;
    }
    // Validates what is pending, as the next draw would.
    void validateNow() {
        if (ctx->beginMode == kGlNeedValidate) {
            ctx->slots.validate(ctx);
            ctx->beginMode = kGlOutsideBegin;
        }
        if (ctx->arrayState.arraysDirty) {
            __glValidateArrays(ctx);
            ctx->arrayState.arraysDirty = 0;
        }
    }
};
