// The code caches of a context (most-recently-used order, eviction that spares routines still in
// a slot, the disabled cache, sealed code pages, refused generations), the data maps, the MMX
// decision and the MMX fill loop.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "icd/codegen/og_mmx_span.h"
#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_depth/depth_fixture.h"

namespace {

using namespace icd;

// The permissions /proc/self/maps gives the page holding p ("r-xp" ...).
std::string pagePermissions(const void *p) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    while (std::getline(maps, line)) {
        unsigned long lo = 0, hi = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &lo, &hi, perms) == 3 && a >= lo && a < hi) return perms;
    }
    return "";
}

class OgCacheTest : public OgDepthFixture<DepthTest> {
protected:
    void SetUp() override {
        OgDepthFixture<DepthTest>::SetUp();
        og = __glOgContextOf(ctx);
        ASSERT_NE(og, nullptr) << "every context gets its generator record";
    }
    void TearDown() override {
        __glOgSetCacheDisabledForTest(-1);
        OgDepthFixture<DepthTest>::TearDown();
    }
    GlOgContext *og = nullptr;

    // A one-instruction routine (mov eax, value; ret) under a key of the reserved cache.
    void *routine(uint32_t key, int32_t value, bool *hit = nullptr) {
        bool h = false;
        const uint32_t k[2] = {0x54455354, key};
        GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheReserved, k, 2, &h);
        if (hit) *hit = h;
        if (!e) return nullptr;
        if (h) return e->code;
        GlOgWriter w;
        if (!__glOgBeginWrite(ctx, kGlOgCacheReserved, e, &w)) return nullptr;
        w.op(__glOgMov(w.s, w.r(kEax), w.imm(value)));
        w.op(__glOgRet(w.s));
        return __glOgFinishWrite(ctx, &w);
    }
    int32_t run(void *code) { return callChecked(reinterpret_cast<int32_t (*)()>(code)); }
};

TEST_F(OgCacheTest, MostRecentlyUsedOrderAndEvictionOfTheLeastRecent) {
    GlOgCache &c = og->caches[kGlOgCacheReserved];
    ASSERT_EQ(c.entryCount, 4);
    EXPECT_EQ(c.head, &c.entries[3]) << "the first lookup claims the head, the last entry made";
    std::vector<void *> code;
    for (int k = 1; k <= 4; ++k) code.push_back(routine(k, 100 + k));
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(run(code[k - 1]), 100 + k);
    bool hit = false;
    EXPECT_EQ(routine(2, 0, &hit), code[1]);
    EXPECT_TRUE(hit) << "a key seen before reuses its code";
    EXPECT_EQ(c.head->code, code[1]) << "and moves to the front";
    EXPECT_EQ(c.head->next->code, code[3]) << "the rest keep their order";
    EXPECT_EQ(c.head->next->next->code, code[2]);
    // A fifth key takes the least recently used entry (key 1); key 1 then misses.
    void *fifth = routine(5, 105, &hit);
    EXPECT_FALSE(hit);
    EXPECT_EQ(fifth, code[0]);
    EXPECT_EQ(run(fifth), 105);
    routine(1, 101, &hit);
    EXPECT_FALSE(hit);
}

TEST_F(OgCacheTest, CodePagesAreExecutableAndNotWritable) {
    void *code = routine(7, 7);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(pagePermissions(code).substr(0, 3), "r-x");
    GlOgCacheEntry *e = og->caches[kGlOgCacheReserved].head;
    GlOgWriter w;
    ASSERT_TRUE(__glOgBeginWrite(ctx, kGlOgCacheReserved, e, &w));
    EXPECT_EQ(pagePermissions(code).substr(0, 3), "rw-") << "writable only while written";
    w.op(__glOgMov(w.s, w.r(kEax), w.imm(8)));
    w.op(__glOgRet(w.s));
    EXPECT_EQ(__glOgFinishWrite(ctx, &w), code);
    EXPECT_EQ(pagePermissions(code).substr(0, 3), "r-x");
    EXPECT_EQ(run(code), 8);
}

TEST_F(OgCacheTest, ARoutineThatOutgrowsItsEntryIsNeverInstalled) {
    bool hit = false;
    const uint32_t k[2] = {0x54455354, 99};
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheReserved, k, 2, &hit);
    ASSERT_NE(e, nullptr);
    GlOgWriter w;
    ASSERT_TRUE(__glOgBeginWrite(ctx, kGlOgCacheReserved, e, &w));
    for (int i = 0; i < 300; ++i) w.op(__glOgMov(w.s, w.r(kEax), w.imm(i)));  // 1500 bytes > 1024
    w.op(__glOgRet(w.s));
    EXPECT_EQ(__glOgFinishWrite(ctx, &w), nullptr);
    EXPECT_EQ(e->key[0], uint32_t(kGlOgEmptyKey)) << "the entry is free again";
    EXPECT_EQ(e->code[0], 0xCC) << "its bytes trap";
    // The arena running out of nodes fails the same way.
    e = __glOgLookUpCode(ctx, kGlOgCacheReserved, k, 2, &hit);
    ASSERT_TRUE(__glOgBeginWrite(ctx, kGlOgCacheReserved, e, &w));
    for (int i = 0; i < kGlOgArenaNodes; ++i) __glOgImm(w.s, i);
    w.op(__glOgRet(w.s));
    EXPECT_EQ(__glOgFinishWrite(ctx, &w), nullptr);
}

TEST_F(OgCacheTest, EntriesInstalledInASlotAreNeverEvicted) {
    build(16, 40, 1);
    useFlags(kGlShadeDepthTest);
    GlStageProc u = spanList().unmaskedStages[0], m = spanList().maskedStages[0];
    ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(u)));
    const GlOgCache &c = og->caches[kGlOgCacheDepth];
    // Fill the other two entries, then ask for more: the installed pair stays.
    for (uint32_t k = 1; k <= 6; ++k) {
        const uint32_t key[2] = {0x4F544852, k};
        bool hit = false;
        GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheDepth, key, 2, &hit);
        ASSERT_NE(e, nullptr);
        EXPECT_NE(reinterpret_cast<void *>(e->code), reinterpret_cast<void *>(u));
        EXPECT_NE(reinterpret_cast<void *>(e->code), reinterpret_cast<void *>(m));
    }
    (void)c;
    // With caching disabled every request misses, and is still written beside the live pair.
    __glOgSetCacheDisabledForTest(1);
    const uint32_t generated = og->counters.generated;
    pickAll();
    EXPECT_GE(og->counters.generated, generated + 2) << "the depth pair at least";
    EXPECT_NE(spanList().unmaskedStages[0], u);
    EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(spanList().unmaskedStages[0])));
}

TEST_F(OgCacheTest, ACacheWhoseEntriesAreAllLiveRefusesAndTheCStagesStay) {
    build(16, 40, 1);
    useFlags(kGlShadeDepthTest);
    // Two more installed stages occupy the other two entries of the depth cache.
    const GlOgCache &c = og->caches[kGlOgCacheDepth];
    int slot = 1;
    for (GlOgCacheEntry *e = c.head; e; e = e->next) {
        if (e->key[0] == uint32_t(kGlOgEmptyKey)) {
            e->key[0] = 0x4C495645;
            spanList().unmaskedStages[slot++] = reinterpret_cast<GlStageProc>(reinterpret_cast<void *>(e->code));
        }
    }
    mode().depthFunc = GL_GREATER;
    __glUpdateDepthEpoch(&db());
    db().pick(ctx, &db(), __glDepthTestIndex(ctx, &db()));
    GlStageProc u = __glSpanDepthTest, m = __glSpanDepthTestMasked;
    __glOgPickDepthStages(ctx, &u, &m);
    EXPECT_EQ(u, __glSpanDepthTest);
    EXPECT_EQ(m, __glSpanDepthTestMasked);
}

TEST(OgDataMap, SlotsArePlacedOnceAndFoldedIntoTheSignature) {
    static GlOgDataMap map;
    __glOgResetDataMap(&map);
    EXPECT_EQ(__glOgMapSlot(&map, 7, 4, 2000), 0);
    EXPECT_EQ(__glOgMapSlot(&map, 3, 8, 2000), 4);
    EXPECT_EQ(__glOgMapSlot(&map, 7, 4, 2000), 0);
    __glOgAlignDataMap(&map, 16);
    EXPECT_EQ(__glOgMapSlot(&map, 9, 4, 2000), 16);
    auto rotl7 = [](uint32_t v) { return (v << 7) | (v >> 25); };
    EXPECT_EQ(map.signature, rotl7(rotl7(rotl7(0u ^ 7) ^ 3) ^ 9));
    EXPECT_EQ(__glOgMapSlot(&map, 1000, 4, 2000), -1) << "slots stop at 999";
    EXPECT_EQ(__glOgMapSlot(&map, 11, 2000, 2000), -1) << "the data area stops at its size";
    __glOgResetDataMap(&map);
    map.passThrough = 1;
    EXPECT_EQ(__glOgMapSlot(&map, 520, 4, 2000), 520);
}

// ---- MMX ----------------------------------------------------------------------------------------

TEST(OgMmx, TheDecisionFollowsTheProcessorAndTheOverride) {
    __glOgOverrideMmx(-1);
    if (std::getenv("__GL_FORCE_MMX") == nullptr) {
        EXPECT_EQ(__glOgQueryMmx() != 0, __builtin_cpu_supports("mmx") != 0);
    }
    __glOgOverrideMmx(0);
    EXPECT_FALSE(__glOgQueryMmx());
    EXPECT_EQ(__glOgGenFillProc(), nullptr);
    __glOgOverrideMmx(1);
    EXPECT_TRUE(__glOgQueryMmx());
    __glOgOverrideMmx(-1);
}

// The fill loop writes exactly count dwords from a 4-aligned start, up to a page it must not
// touch; it leaves edi past the last dword and eax as it was.
TEST(OgMmx, TheFillLoopWritesExactlyCountDwords) {
    __glOgOverrideMmx(1);
    void *fill = __glOgGenFillProc();
    ASSERT_NE(fill, nullptr);
    const long page = sysconf(_SC_PAGESIZE);
    uint8_t *mem = static_cast<uint8_t *>(
        mmap(nullptr, size_t(page) * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mem, MAP_FAILED);
    ASSERT_EQ(mprotect(mem + page, size_t(page), PROT_NONE), 0);
    for (int count = 0; count <= 67; ++count) {
        for (int misalign : {0, 4}) {
            // The run ends against the guard page, or one dword before it.
            for (int gap : {0, 4}) {
                uint8_t *end = mem + page - gap;
                uint32_t *dst = reinterpret_cast<uint32_t *>(end - 4 * count);
                if ((reinterpret_cast<uintptr_t>(dst) & 4) != uintptr_t(misalign)) continue;
                std::memset(mem, 0x5A, size_t(page));
                uint32_t *edi = dst;
                int32_t ecx = count;
                uint32_t eax = 0xDEADBEEF;
                asm volatile("call *%[f]\n\temms" : "+D"(edi), "+c"(ecx), "+a"(eax) : [f] "r"(fill) : "memory", "cc");
                EXPECT_EQ(edi, dst + count) << count;
                EXPECT_EQ(eax, 0xDEADBEEFu);
                for (int i = 0; i < count; ++i) ASSERT_EQ(dst[i], 0xDEADBEEFu) << count << " " << i;
                for (uint8_t *p = mem; p < reinterpret_cast<uint8_t *>(dst); ++p) ASSERT_EQ(*p, 0x5A) << count;
                for (uint8_t *p = end; p < mem + page; ++p) ASSERT_EQ(*p, 0x5A) << count;
            }
        }
    }
    EXPECT_EQ(ogFpuEnv().tag, 0xFFFF);
    munmap(mem, size_t(page) * 2);
    __glOgOverrideMmx(-1);
}

// The span routine's key holds the blend factors as these four-bit codes: two factors that shared
// a code would share a routine.
TEST(OgBlendFactorCode, TheElevenFactorsInOrderAndNothingElse) {
    const GLenum factors[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                              GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR,
                              GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    for (int32_t code = 0; code < 11; ++code) EXPECT_EQ(__glOgBlendFactorCode(factors[code]), code) << std::hex << factors[code];
    for (GLenum other : {GLenum(0x8001), GLenum(GL_FLOAT), GLenum(0x7FFFFFFF)})
        EXPECT_EQ(__glOgBlendFactorCode(other), 0) << std::hex << other;
}

class OgCanUseMmx : public RasterTest {};

TEST_F(OgCanUseMmx, OnlyRgbaBuffersOfAtMostSixteenBitsWithoutTheForbiddingFlag) {
    struct Row {
        const PixelLayout *layout;
        bool rgba;
        uint32_t flags;
        bool mmx;
        bool expect;
    };
    const Row rows[] = {
        {&kR5G6B5, true, 0, true, true},        {&kX1R5G5B5, true, 0, true, true},
        {&kR3G3B2, true, 0, true, true},        {&kX8R8G8B8, true, 0, true, false},
        {&kR5G6B5, false, 0, true, false},      {&kR5G6B5, true, kGlOgModeNoMmx, true, false},
        {&kR5G6B5, true, 0, false, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.layout->name);
        attach(*r.layout);
        ctx->visual.rgbaMode = r.rgba;
        ctx->codeCaches.modeFlags = r.flags;
        __glOgOverrideMmx(r.mmx ? 1 : 0);
        EXPECT_EQ(__glOgCanUseMmx(ctx) != 0, r.expect);
    }
    ctx->codeCaches.modeFlags = 0;
    __glOgOverrideMmx(-1);
}

// A clear of a 32-bit buffer goes through the fill loop or through C, with the same pixels.
TEST_F(OgCanUseMmx, RectangleFillsAreTheSameWithAndWithoutMmx) {
    std::vector<uint32_t> a(33 * 5 + 1), b(33 * 5 + 1);
    for (int mmx : {1, 0}) {
        __glOgOverrideMmx(mmx);
        std::vector<uint32_t> &v = mmx ? a : b;
        // 7 pixels of each 33-dword row, 5 rows, starting at an odd dword.
        __glFillRect32(ctx, reinterpret_cast<uint8_t *>(v.data() + 1), 7, 5, (33 - 7) * 4, 0x12345678);
        ctx->codeCaches.modeFlags = kGlOgModeNoMmx;
        __glFillRect32(ctx, reinterpret_cast<uint8_t *>(v.data() + 12), 3, 5, (33 - 3) * 4, 0x0BADF00D);
        ctx->codeCaches.modeFlags = 0;
    }
    __glOgOverrideMmx(-1);
    EXPECT_EQ(a, b);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 33; ++x) {
            uint32_t expect = (x >= 1 && x < 8) ? 0x12345678u : (x >= 12 && x < 15) ? 0x0BADF00Du : 0u;
            ASSERT_EQ(a[size_t(y) * 33 + size_t(x)], expect) << x << "," << y;
        }
}

}  // namespace
