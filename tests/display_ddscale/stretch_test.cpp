// Stretched blits through DirectDraw: up and down along both axes, from video and system memory,
// mirrored, keyed and within one surface, every destination pixel checked against the reference
// scaler of its path (the CPU-fed stretch at 8 bpp and under a source key, the engine's scaler
// otherwise).
#include "tests/display_ddscale/ddscale_fixture.h"

#include "display/heap.h"

INSTANTIATE_TEST_SUITE_P(Depths, DdNtDepths, ::testing::Values(8u, 16u, 32u));

namespace {

struct Stretch {
    LONG sw, sh, dw, dh;
};
// Up and down along each axis, the two scales of the edge cases (1.5 exactly, and 3 to 10), and
// heights that take several bands of either path.
const Stretch kStretches[] = {
    {10, 6, 25, 15}, {30, 20, 11, 7}, {12, 18, 31, 5}, {40, 5, 9, 13}, {100, 100, 150, 150},
    {3, 3, 10, 10}, {64, 40, 64, 80}, {20, 100, 37, 45},
};

}  // namespace

TEST_P(DdNtDepths, StretchesMatchTheReferenceScalerFromEverySource) {
    const bool cpuFed = GetParam() == 8;
    auto sample = [&](LONG i, LONG d, LONG s) { return cpuFed ? cpuSample(i, d, s) : engineSample(i, d, s); };
    KivDdNtSurface *vid = one(120, 110, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *sys = one(120, 110, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    KivDdNtSurface *dst = one(170, 170, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(vid && sys && dst);
    ASSERT_TRUE(sys->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY);
    seed(vid, 1);
    seed(sys, 2);
    for (KivDdNtSurface *src : {vid, sys})
        for (bool mirror : {false, true})
            for (const Stretch &k : kStretches) {
                SCOPED_TRACE(testing::Message() << (src == vid ? "video " : "system ") << (mirror ? "mirrored " : "")
                                                << k.sw << "x" << k.sh << " to " << k.dw << "x" << k.dh);
                const uint32_t salt = src == vid ? 1 : 2;
                seed(dst, 3);
                const RECTL rs = rect(5, 3, k.sw, k.sh), rd = rect(7, 11, k.dw, k.dh);
                ZK_DDBLTFX fx = rop();
                fx.dwDDFX = ZK_DDBLTFX_MIRRORUPDOWN;
                const KivDdNtResult r = dd.blt(dst, rd, src, rs, ZK_DDBLT_ROP | ZK_DDBLT_WAIT | (mirror ? ZK_DDBLT_DDFX : 0), fx);
                ASSERT_TRUE(r.ok()) << r.handled << " 0x" << std::hex << r.code;
                expectModelClean();
                check(dst, rect(0, 0, 170, 170), [&](LONG x, LONG y) {
                    if (x < rd.left || x >= rd.right || y < rd.top || y >= rd.bottom) return pattern(x, y, 3);
                    const LONG sx = sample(x - rd.left, k.dw, k.sw), sy = sample(y - rd.top, k.dh, k.sh);
                    return pattern(rs.left + sx, mirror ? rs.bottom - 1 - sy : rs.top + sy, salt);
                });
            }
}

TEST_P(DdNtDepths, WideSourcesAreScaledInPassesOf1024Pixels) {
    KivDdNtSurface *src = one(1100, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *dst = one(1000, 6, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    seed(src, 4);
    seed(dst, 5);
    const bool cpuFed = GetParam() == 8;
    auto sample = [&](LONG i, LONG d, LONG s) { return cpuFed ? cpuSample(i, d, s) : engineSample(i, d, s); };
    ASSERT_TRUE(dd.blt(dst, rect(0, 0, 1000, 6), src, rect(0, 0, 1100, 4), ZK_DDBLT_ROP, rop()).ok());
    check(dst, rect(0, 0, 1000, 6), [&](LONG x, LONG y) { return pattern(sample(x, 1000, 1100), sample(y, 6, 4), 4); });
}

TEST_P(DdNtDepths, AStretchWithinOneSurfaceReadsTheSourceBeforeWritingOverIt) {
    KivDdNtSurface *s = one(96, 64, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(s);
    const bool cpuFed = GetParam() == 8;
    auto sample = [&](LONG i, LONG d, LONG n) { return cpuFed ? cpuSample(i, d, n) : engineSample(i, d, n); };
    struct Case { RECTL rs, rd; };
    for (const Case &k : {Case{rect(10, 10, 20, 12), rect(15, 14, 37, 25)}, Case{rect(20, 20, 40, 30), rect(4, 2, 23, 19)}}) {
        seed(s, 6);
        ASSERT_TRUE(dd.blt(s, k.rd, s, k.rs, ZK_DDBLT_ROP, rop()).ok());
        const LONG sw = k.rs.right - k.rs.left, sh = k.rs.bottom - k.rs.top;
        const LONG dw = k.rd.right - k.rd.left, dh = k.rd.bottom - k.rd.top;
        check(s, rect(0, 0, 96, 64), [&](LONG x, LONG y) {
            if (x < k.rd.left || x >= k.rd.right || y < k.rd.top || y >= k.rd.bottom) return pattern(x, y, 6);
            return pattern(k.rs.left + sample(x - k.rd.left, dw, sw), k.rs.top + sample(y - k.rd.top, dh, sh), 6);
        });
    }
    // The temporary block went back: a block of the same size is there again at once.
    const ULONG t = ulHeapAlloc((((GetParam() / 8) * 40 + 15) & ~15u) * 30, ppdev()->pDdHeap);
    EXPECT_NE(t, 0u);
    vHeapFree(t, ppdev()->pDdHeap);
}

TEST_P(DdNtDepths, AKeyedStretchLeavesKeyedSourcePixelsAlone) {
    KivDdNtSurface *src = one(16, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *dst = one(40, 20, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    const uint32_t key = 0x55;
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 16; ++x) put(src, x, y, (x + y) % 3 == 0 ? key : pattern(x, y, 7));
    seed(dst, 8);
    ZK_DDBLTFX fx = rop();
    fx.ddckSrcColorkey.dwColorSpaceLowValue = key;
    ASSERT_TRUE(dd.blt(dst, rect(2, 1, 37, 17), src, rect(0, 0, 16, 8), ZK_DDBLT_ROP | ZK_DDBLT_KEYSRCOVERRIDE, fx).ok());
    // Keyed stretches are always fed by the CPU.
    check(dst, rect(0, 0, 40, 20), [&](LONG x, LONG y) {
        if (x < 2 || x >= 39 || y < 1 || y >= 18) return pattern(x, y, 8);
        const LONG sx = cpuSample(x - 2, 37, 16), sy = cpuSample(y - 1, 17, 8);
        const uint32_t v = (sx + sy) % 3 == 0 ? key : pattern(sx, sy, 7);
        return v == key ? pattern(x, y, 8) : v;
    });
}

TEST_P(DdNtDepths, ScaleWordsAndRefusals) {
    KivDdNtSurface *src = one(100, 100, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *dst = one(160, 160, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    // The CPU-fed stretch's scales: 100 to 150 is 1.5 exactly, 3 to 10 is rounded up to 14 / 3.
    struct Case { LONG s, d; uint32_t scale; };
    if (GetParam() == 8) {
        for (const Case &k : {Case{100, 150, 1572864}, Case{3, 10, 4893354}}) {
            zk3EngineClearLog();
            ASSERT_TRUE(dd.blt(dst, rect(0, 0, k.d, k.d), src, rect(0, 0, k.s, k.s), ZK_DDBLT_ROP, rop()).ok());
            std::vector<uint32_t> scales;
            for (const Zk3FifoWrite &w : writes(7))
                if (w.object == ZK_OBJ_STRETCH_FROM_CPU && (w.method == 0x308 || w.method == 0x30C)) scales.push_back(w.value);
            ASSERT_GE(scales.size(), 2u);
            EXPECT_EQ(scales[0], k.scale);
            EXPECT_EQ(scales[1], k.scale);
        }
    } else {
        // The engine's scaler cannot draw into nothing.
        const KivDdNtResult r = dd.blt(dst, rect(3, 3, 0, 5), src, rect(0, 0, 10, 10), ZK_DDBLT_ROP, rop());
        EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
        EXPECT_EQ(r.code, ZK_DDERR_INVALIDRECT);
    }
}

// The engine's scaler (the CPU-fed stretch of 8 bpp reads every line).
class ScalerDepths : public DdNtDepths {};
INSTANTIATE_TEST_SUITE_P(Depths, ScalerDepths, ::testing::Values(16u, 32u));

TEST_P(ScalerDepths, ASteepShrinkReadsOnlyEveryFewSourceLines) {
    KivDdNtSurface *src = one(1024, 100, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *dst = one(64, 12, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    seed(src, 9);
    seed(dst, 10);
    ASSERT_TRUE(dd.blt(dst, rect(0, 0, 60, 10), src, rect(0, 0, 1024, 100), ZK_DDBLT_ROP, rop()).ok());
    // Bands of lines of 1024 pixels: 4 lines at 16 bpp, 2 at 32; more source lines than that per
    // destination line halve the step (and the lines read) until fewer remain.
    const uint64_t lineBytes = 1024 * bytes, t = ((0x2000 - lineBytes) * 2) / lineBytes;
    const uint64_t band = t > 32 ? 32 : t > 16 ? 16 : t > 8 ? 8 : t > 4 ? 4 : 2;
    uint64_t dv = (uint64_t(100) << 20) / (10 + 100 / 10 + 1);
    unsigned k = 0;
    for (; dv >= band << 20; dv >>= 1) ++k;
    EXPECT_GE(k, 1u);
    check(dst, rect(0, 0, 64, 12), [&](LONG x, LONG y) {
        if (x >= 60 || y >= 10) return pattern(x, y, 10);
        const LONG sy = LONG((((2 * uint64_t(y) + 1) * dv) >> 21) << k);
        return pattern(engineSample(x, 60, 1024), sy, 9);
    });
}
