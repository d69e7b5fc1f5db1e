// Generated routines run: integer arithmetic, a loop with backward and forward
// branches, x87 float math with pool constants, MMX lanes, and a call out.
#include "tests/icd_codegen/og_fixture.h"

#include <sys/mman.h>

#include <algorithm>

namespace icd {
namespace {

struct OgExec : OgTest {
    uint8_t* code = nullptr;
    uint8_t* p = nullptr;
    static constexpr size_t kSize = 4096;

    void SetUp() override
    {
        OgTest::SetUp();
        void* m = mmap(nullptr, kSize, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(m, MAP_FAILED);
        code = p = (uint8_t*)m;
        __glOgSetCodeLimit(s, code + kSize);
    }
    void TearDown() override
    {
        if (code) munmap(code, kSize);
        OgTest::TearDown();
    }
    void emit(GlOgNode* insn) { p = __glOgEncode(s, p, insn); }
    GlOgNode* R(int r) { return __glOgR32(r); }
    GlOgNode* arg(int i) { return at(R(kEsp), 4 + 4 * i); }
    template <typename F> F routine()
    {
        EXPECT_FALSE(__glOgFailed(s));
        return (F)(void*)code;
    }
};

TEST_F(OgExec, IntegerArithmetic)
{
    // ((a - b) * 3 + (a >> 2)) ^ 0x0F, with sar for the shift
    emit(__glOgMov(s, R(kEax), arg(0)));
    emit(__glOgSub(s, R(kEax), arg(1)));
    emit(__glOgImul(s, R(kEax), imm(3)));
    emit(__glOgMov(s, R(kEcx), arg(0)));
    emit(__glOgSar(s, R(kEcx), imm(2)));
    emit(__glOgAdd(s, R(kEax), R(kEcx)));
    emit(__glOgXor(s, R(kEax), imm(0x0F)));
    emit(__glOgRet(s));
    auto f = routine<int (*)(int, int)>();
    for (int a : {0, 7, -100, 123456})
        for (int b : {0, 3, -9})
            EXPECT_EQ(f(a, b), ((a - b) * 3 + (a >> 2)) ^ 0x0F) << a << " " << b;
}

TEST_F(OgExec, DivisionAndByteLoads)
{
    // idiv: eax = *(int8*)ptr / d ; the sign extension uses movsx and sar
    emit(__glOgMov(s, R(kEcx), arg(0)));
    emit(__glOgMovsx8(s, R(kEax), at(R(kEcx))));
    emit(__glOgMov(s, R(kEdx), R(kEax)));
    emit(__glOgSar(s, R(kEdx), imm(31)));
    emit(__glOgIdiv(s, arg(1)));
    emit(__glOgRet(s));
    auto f = routine<int (*)(const int8_t*, int)>();
    int8_t v = -100;
    EXPECT_EQ(f(&v, 7), -100 / 7);
    v = 120;
    EXPECT_EQ(f(&v, -5), 120 / -5);
}

TEST_F(OgExec, LoopWithBackwardAndForwardBranches)
{
    // sum = 0; for (i = n; i > 0; --i) sum += i * i (returns 0 for n <= 0)
    GlOgNode* top = __glOgShortLabel(s);
    GlOgNode* done = __glOgLabel(s);
    emit(__glOgMov(s, R(kEcx), arg(0)));
    emit(__glOgXor(s, R(kEax), R(kEax)));
    emit(__glOgCmp(s, R(kEcx), imm(0)));
    emit(__glOgJle(s, done));
    __glOgPlaceLabel(s, top, p);
    emit(__glOgMov(s, R(kEdx), R(kEcx)));
    emit(__glOgImul(s, R(kEdx), R(kEcx)));
    emit(__glOgAdd(s, R(kEax), R(kEdx)));
    emit(__glOgDec(s, R(kEcx)));
    emit(__glOgJne(s, top));
    __glOgPlaceLabel(s, done, p);
    emit(__glOgRet(s));
    auto f = routine<int (*)(int)>();
    EXPECT_EQ(f(0), 0);
    EXPECT_EQ(f(-3), 0);
    EXPECT_EQ(f(1), 1);
    EXPECT_EQ(f(10), 385);
}

TEST_F(OgExec, X87OperandOrder)
{
    // (a - b) * 2.5 + b / a   ; fdivr with memory computes mem / st0
    emit(__glOgFld(s, arg(0)));
    emit(__glOgFsub(s, arg(1)));
    emit(__glOgFmul(s, __glOgFloatConst(s, 2.5)));
    emit(__glOgFld(s, arg(0)));
    emit(__glOgFdivr(s, arg(1)));
    emit(__glOgFaddp(s, __glOgSt(1)));
    emit(__glOgRet(s));
    auto f = routine<float (*)(float, float)>();
    EXPECT_FLOAT_EQ(f(3.0f, 1.0f), (3.0f - 1.0f) * 2.5f + 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(f(-2.0f, 5.0f), (-2.0f - 5.0f) * 2.5f + 5.0f / -2.0f);
}

TEST_F(OgExec, X87PoppingSubtractsAndIntegerStore)
{
    // out[0] = a - b via fsubp; out[1] = b - a via fsubrp; returns (int)(a*b) via fistp
    emit(__glOgMov(s, R(kEcx), arg(2)));
    emit(__glOgFld(s, arg(0)));
    emit(__glOgFld(s, arg(1)));
    emit(__glOgFsubp(s, __glOgSt(1)));               // st1 = st1 - st0, pop
    emit(__glOgFstp(s, at(R(kEcx))));
    emit(__glOgFld(s, arg(0)));
    emit(__glOgFld(s, arg(1)));
    emit(__glOgFsubrp(s, __glOgSt(1)));              // st1 = st0 - st1, pop
    emit(__glOgFstp(s, at(R(kEcx), 4)));
    emit(__glOgFld(s, arg(0)));
    emit(__glOgFmul(s, arg(1)));
    emit(__glOgPush(s, R(kEax)));
    emit(__glOgFistp(s, at(R(kEsp))));
    emit(__glOgPop(s, R(kEax)));
    emit(__glOgRet(s));
    auto f = routine<int (*)(float, float, float*)>();
    float out[2];
    EXPECT_EQ(f(7.0f, 2.0f, out), 14);
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(out[1], -5.0f);
}

TEST_F(OgExec, MmxSaturatingAddAndMultiply)
{
    // dst = pmulhw(paddusb(a, b) , K) with K from the qword pool
    emit(__glOgMov(s, R(kEax), arg(0)));
    emit(__glOgMov(s, R(kEcx), arg(1)));
    emit(__glOgMovq(s, __glOgMm(0), at(R(kEcx))));
    emit(__glOgMov(s, R(kEcx), arg(2)));
    emit(__glOgPaddusb(s, __glOgMm(0), at(R(kEcx))));
    emit(__glOgMovq(s, __glOgMm(1), __glOgMm(0)));
    emit(__glOgPmulhw(s, __glOgMm(1), __glOgQwordConst(s, 0x4000, 0x8000, 0x0100, 0x7FFF)));
    emit(__glOgMovq(s, at(R(kEax)), __glOgMm(0)));
    emit(__glOgMovq(s, at(R(kEax), 8), __glOgMm(1)));
    emit(__glOgEmms(s));
    emit(__glOgRet(s));
    auto f = routine<void (*)(uint64_t*, const uint64_t*, const uint64_t*)>();
    uint8_t a[8] = {0, 10, 200, 255, 128, 1, 100, 250};
    uint8_t b[8] = {0, 20, 100, 1, 127, 1, 100, 10};
    uint64_t av, bv, out[2];
    memcpy(&av, a, 8);
    memcpy(&bv, b, 8);
    f(out, &av, &bv);
    uint8_t sum[8];
    for (int i = 0; i < 8; ++i) sum[i] = (uint8_t)std::min(255, a[i] + b[i]);
    EXPECT_EQ(memcmp(&out[0], sum, 8), 0);
    const int16_t k[4] = {0x4000, (int16_t)0x8000, 0x0100, 0x7FFF};
    int16_t lanes[4], got[4];
    memcpy(lanes, sum, 8);
    memcpy(got, &out[1], 8);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(got[i], (int16_t)((lanes[i] * k[i]) >> 16)) << i;
}

TEST_F(OgExec, MmxMovdAndShifts)
{
    // ((x << 4) lanes of 16 bits) >> 1 lanes, then low dword back to eax
    emit(__glOgMovd(s, __glOgMm(2), arg(0)));
    p = __glOgEmitMmxShiftBy(s, p, __glOgMm(2), 0, 4);
    p = __glOgEmitMmxShiftBy(s, p, __glOgMm(2), 1, 0);
    emit(__glOgMovd(s, R(kEax), __glOgMm(2)));
    emit(__glOgEmms(s));
    emit(__glOgRet(s));
    auto f = routine<uint32_t (*)(uint32_t)>();
    const uint32_t x = 0x9ABC1234;
    const uint32_t lo = ((x & 0xFFFF) << 4 & 0xFFFF) >> 1, hi = ((x >> 16) << 4 & 0xFFFF) >> 1;
    EXPECT_EQ(f(x), hi << 16 | lo);
}

int __attribute__((cdecl)) outsideTwice(int v) { return v * 2 + 1; }

TEST_F(OgExec, CallsAnOutsideRoutine)
{
    GlOgNode* out = __glOgOutsideLabel(s, (const void*)&outsideTwice, "outsideTwice");
    emit(__glOgPush(s, arg(0)));
    emit(__glOgCall(s, out));
    emit(__glOgAdd(s, R(kEsp), imm(4)));
    emit(__glOgInc(s, R(kEax)));
    emit(__glOgRet(s));
    EXPECT_EQ(out->b, 0) << "an outside label is placed from the start";
    auto f = routine<int (*)(int)>();
    EXPECT_EQ(f(20), 42);
}

}  // namespace
}  // namespace icd
