// The MMX perspective road's rounding toward zero, run as generated code: the bias a negative lane
// gets before an arithmetic right shift, and the 32 x 16-bit high product built on it, against
// integer division in the test (which truncates toward zero).
#include <climits>
#include <cstdint>
#include <cstring>

#include "icd/codegen/og_mmx_span.h"
#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_depth/depth_fixture.h"

namespace {

using namespace icd;

class MmxRounding : public OgDepthFixture<DepthTest> {
protected:
    // Two dword lanes in, two out, through a routine written by `body` (mm0 the lanes; the
    // result in mm0), under a key of the reserved cache.
    template <class Body>
    void run(uint32_t key, const int32_t in[2], int32_t out[2], Body &&body) {
        static int32_t lanes[2], result[2];
        std::memcpy(lanes, in, sizeof lanes);
        bool hit = false;
        const uint32_t k[2] = {0x524F554E, key};
        GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheReserved, k, 2, &hit);
        ASSERT_NE(e, nullptr);
        // The emitters' constants go in a data area of the test's own.
        alignas(8) static uint8_t area[256];
        GlOgMmxSpanGen g{};
        g.ctx = ctx;
        g.data = g.dataNext = area;
        g.dataEnd = area + sizeof area;
        ASSERT_TRUE(__glOgBeginWrite(ctx, kGlOgCacheReserved, e, &g.w));
        g.op(__glOgMovq(g.s(), g.mm(0), g.abs(lanes)));
        body(g);
        g.op(__glOgMovq(g.s(), g.abs(result), g.mm(0)));
        g.op(__glOgEmms(g.s()));
        g.op(__glOgRet(g.s()));
        void *code = __glOgFinishWrite(ctx, &g.w);
        ASSERT_NE(code, nullptr);
        callChecked(reinterpret_cast<void (*)()>(code));
        std::memcpy(out, result, sizeof result);
    }
};

// x / 2^k rounded toward zero.
int32_t towardZero(int64_t x, int k) { return int32_t(x / (int64_t(1) << k)); }

// The bias 2^k - 1 on the negative lanes, then psrad k: x / 2^k toward zero, at the values either
// side of every multiple of 2^k that tells a missing or an off-by-one bias apart.
TEST_F(MmxRounding, BiasedArithmeticShiftRoundsTowardZero) {
    static uint32_t bias[2];
    uint32_t key = 0;
    for (int k : {1, 7, 15, 16, 23, 31}) {
        const int64_t p = int64_t(1) << k;
        const int64_t values[] = {0, 1, -1, p - 1, -(p - 1), p, -p, p + 1, -(p + 1), -2 * p + 1, -2 * p - 1, -3 * p - 1, INT_MAX, INT_MIN};
        bias[0] = bias[1] = uint32_t(p - 1);
        for (size_t i = 0; i + 1 < sizeof values / sizeof values[0]; i += 2) {
            SCOPED_TRACE(::testing::Message() << "k " << k << ", lanes " << values[i] << ", " << values[i + 1]);
            const int32_t in[2] = {int32_t(values[i]), int32_t(values[i + 1])};
            int32_t out[2] = {};
            run(++key, in, out, [&](GlOgMmxSpanGen &g) {
                g.op(__glOgMovq(g.s(), g.mm(1), g.mm(0)));
                __glOgEmitBiasDwords(g, g.mm(0), g.mm(1), g.abs(bias));
                g.op(__glOgPsrad(g.s(), g.mm(0), g.w.imm(k)));
            });
            ASSERT_FALSE(HasFatalFailure());
            EXPECT_EQ(out[0], towardZero(in[0], k));
            EXPECT_EQ(out[1], towardZero(in[1], k));
        }
    }
}

// The high product x r / 2^15 of a dword by a word reciprocal (r < 2^15, as (r, 0) words) toward
// zero, which the per-pixel steps of a segment are: of both signs, at products just either side
// of a multiple of 2^15.
TEST_F(MmxRounding, HighProductRoundsTowardZero) {
    static uint32_t m[2];
    // Two lanes and one reciprocal.
    struct Case {
        int32_t x0, x1, r;
    };
    const Case cases[] = {{1, -1, 0x4000},          {3, -3, 0x4000},           {0x7FFF, -0x7FFF, 0x7FFF},
                          {0x8000, -0x8000, 0x7FFF}, {-0x8001, 0x8001, 0x0800}, {0x3FFFFFFF, -0x3FFFFFFF, 0x0555},
                          {-123456789, 5, 0x2AAA},   {98765, -98765, 0x0001},   {-65536, -65537, 0x0800},
                          {-1, 0, 0x7FFF}};
    uint32_t key = 100;
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << "x " << c.x0 << ", " << c.x1 << " r " << c.r);
        m[0] = m[1] = uint32_t(c.r);
        const int32_t in[2] = {c.x0, c.x1};
        int32_t out[2] = {};
        run(++key, in, out, [&](GlOgMmxSpanGen &g) {
            g.op(__glOgMovq(g.s(), g.mm(1), g.abs(m)));
            __glOgEmitMulFixedHigh(g, g.mm(0), g.mm(1), g.mm(2), g.mm(3));
        });
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(out[0], towardZero(int64_t(c.x0) * c.r, 15));
        EXPECT_EQ(out[1], towardZero(int64_t(c.x1) * c.r, 15));
    }
}

}  // namespace
