// Branch selection and label patching, constant pools, and the bounds that
// stop a generation from writing past its buffer or its node arena.
#include "tests/icd_codegen/og_fixture.h"

namespace icd {
namespace {

using B = std::vector<uint8_t>;

int32_t rel32At(const uint8_t* p) { int32_t v; memcpy(&v, p, 4); return v; }

TEST_F(OgTest, PlacedBackwardBranchesPickShortUpTo126BytesAway)
{
    struct Case { bool cond; int dist; B expect; };
    const Case cases[] = {
        {false, 126, {0xEB, 0x80}},
        {false, 127, {0xE9, 0x7C, 0xFF, 0xFF, 0xFF}},  // -127 - 5
        {true, 126, {0x74, 0x80}},
        {true, 127, {0x0F, 0x84, 0x7B, 0xFF, 0xFF, 0xFF}},  // -127 - 6
        {true, 0, {0x74, 0xFE}},
    };
    for (const Case& c : cases) {
        __glOgResetArena(s);
        GlOgNode* l = __glOgLabel(s);
        __glOgPlaceLabel(s, l, buf);
        uint8_t* at = buf + c.dist;
        uint8_t* end = __glOgEncode(s, at, c.cond ? __glOgJe(s, l) : __glOgJmp(s, l));
        EXPECT_EQ(B(at, end), c.expect) << (c.cond ? "je " : "jmp ") << c.dist;
        EXPECT_EQ(l->b, 0) << "a placed label takes no pending reference";
    }
}

TEST_F(OgTest, PlacedForwardBranchUsesShortFormWhenNear)
{
    GlOgNode* l = __glOgLabel(s);
    __glOgPlaceLabel(s, l, buf + 100);
    uint8_t* end = __glOgEncode(s, buf, __glOgJb(s, l));
    EXPECT_EQ(B(buf, end), (B{0x72, 98}));
    __glOgPlaceLabel(s, l, buf + 400);
    end = __glOgEncode(s, buf, __glOgJb(s, l));
    EXPECT_EQ(B(buf, end), (B{0x0F, 0x82, 0x8A, 0x01, 0, 0}));  // 400 - 6
}

TEST_F(OgTest, ForwardReferencesArePatchedRelativeToTheirOwnHoles)
{
    GlOgNode* shortL = __glOgShortLabel(s);
    GlOgNode* longL = __glOgLabel(s);
    uint8_t* p = buf;
    uint8_t* j1 = p; p = __glOgEncode(s, p, __glOgJne(s, shortL));   // 75 hole8
    uint8_t* j2 = p; p = __glOgEncode(s, p, __glOgJa(s, shortL));    // 77 hole8
    uint8_t* j3 = p; p = __glOgEncode(s, p, __glOgJmp(s, shortL));   // E9 hole32 despite the short label
    uint8_t* j4 = p; p = __glOgEncode(s, p, __glOgJl(s, longL));     // 0F 8C hole32
    uint8_t* j5 = p; p = __glOgEncode(s, p, __glOgCall(s, longL));   // E8 hole32
    ASSERT_EQ(p - buf, 2 + 2 + 5 + 6 + 5);
    EXPECT_EQ(j1[0], 0x75);
    EXPECT_EQ(j2[0], 0x77);
    EXPECT_EQ(j3[0], 0xE9);
    EXPECT_EQ(B(j4, j4 + 2), (B{0x0F, 0x8C}));
    EXPECT_EQ(j5[0], 0xE8);

    uint8_t* target = buf + 60;
    EXPECT_TRUE(__glOgPlaceLabel(s, shortL, target));
    EXPECT_EQ((int8_t)j1[1], target - (j1 + 2));
    EXPECT_EQ((int8_t)j2[1], target - (j2 + 2));
    EXPECT_EQ(rel32At(j3 + 1), target - (j3 + 5));

    uint8_t* far = buf + 3000;
    EXPECT_TRUE(__glOgPlaceLabel(s, longL, far));
    EXPECT_EQ(rel32At(j4 + 2), far - (j4 + 6));
    EXPECT_EQ(rel32At(j5 + 1), far - (j5 + 5));
    EXPECT_FALSE(__glOgFailed(s));

    // Once placed, later references are encoded directly.
    uint8_t* end = __glOgEncode(s, buf + 70, __glOgJmp(s, shortL));
    EXPECT_EQ(B(buf + 70, end), (B{0xEB, 0xF4}));
}

TEST_F(OgTest, UnplacedJmpToShortLabelStillReachesFarTarget)
{
    GlOgNode* l = __glOgShortLabel(s);
    uint8_t* end = __glOgEncode(s, buf, __glOgJmp(s, l));
    EXPECT_TRUE(__glOgPlaceLabel(s, l, buf + 200));
    EXPECT_EQ(rel32At(buf + 1), 200 - 5);
    EXPECT_EQ(end, buf + 5);
    EXPECT_FALSE(__glOgFailed(s));
}

TEST_F(OgTest, ShortForwardBranchOutOfReachFailsTheGeneration)
{
    GlOgNode* l = __glOgShortLabel(s);
    __glOgEncode(s, buf, __glOgJe(s, l));
    EXPECT_FALSE(__glOgPlaceLabel(s, l, buf + 2 + 128));
    EXPECT_TRUE(__glOgFailed(s));

    __glOgResetArena(s);
    l = __glOgShortLabel(s);
    __glOgEncode(s, buf, __glOgJe(s, l));
    EXPECT_TRUE(__glOgPlaceLabel(s, l, buf + 2 + 127));
    EXPECT_EQ(buf[1], 0x7F);
    EXPECT_FALSE(__glOgFailed(s));
}

TEST_F(OgTest, CodeLimitStopsWholeInstructionsAndFailsTheGeneration)
{
    __glOgSetCodeLimit(s, buf + 6);
    uint8_t* p = __glOgEncode(s, buf, __glOgMov(s, __glOgR32(kEax), imm(5)));
    ASSERT_EQ(p, buf + 5);
    p = __glOgEncode(s, p, __glOgNop(s));  // exactly fills the buffer
    ASSERT_EQ(p, buf + 6);
    EXPECT_FALSE(__glOgFailed(s));

    GlOgNode* l = __glOgLabel(s);
    uint8_t* q = __glOgEncode(s, p, __glOgJne(s, l));
    EXPECT_EQ(q, p);
    EXPECT_EQ(buf[6], 0xAA) << "nothing written past the limit";
    EXPECT_EQ(l->b, 0) << "no reference left to a hole that was never written";
    EXPECT_TRUE(__glOgFailed(s));

    // A partial fit is refused whole rather than truncated.
    __glOgResetArena(s);
    __glOgSetCodeLimit(s, buf + 3);
    EXPECT_EQ(__glOgEncode(s, buf, __glOgMov(s, __glOgR32(kEax), imm(5))), buf);
    EXPECT_EQ(buf[0], 0xB8) << "earlier bytes untouched";
    EXPECT_TRUE(__glOgFailed(s));
}

TEST_F(OgTest, ArenaIsBoundedAndResetStartsOver)
{
    GlOgNode* first = __glOgImm(s, 1);
    EXPECT_EQ(first, &s->ogNodes[0]);
    for (int i = 1; i < kGlOgArenaNodes; ++i) __glOgImm(s, i);
    EXPECT_FALSE(__glOgFailed(s));
    GlOgNode* over = __glOgImm(s, 7);
    EXPECT_TRUE(over < s->ogNodes || over >= s->ogNodes + kGlOgArenaNodes);
    EXPECT_TRUE(__glOgFailed(s));
    // Instructions built from the overflow node encode nothing.
    EXPECT_EQ(__glOgEncode(s, buf, __glOgNop(s)), buf);

    __glOgResetArena(s);
    EXPECT_FALSE(__glOgFailed(s));
    EXPECT_EQ(__glOgImm(s, 2), &s->ogNodes[0]);
}

TEST_F(OgTest, FloatPoolSharesEqualValuesAndGrowsWithoutMovingEntries)
{
    auto addr = [](GlOgNode* m) { return (float*)(uintptr_t)(uint32_t)__glOgRef(m->a)->a; };
    GlOgNode* m = __glOgFloatConst(s, 2.5);
    EXPECT_EQ(m->kind, kGlOgMem);
    EXPECT_EQ(m->c, 0);
    EXPECT_EQ(m->d, 0);
    EXPECT_EQ(m->b, 1);
    float* half = addr(m);
    EXPECT_EQ(*half, 2.5f);
    EXPECT_EQ(addr(__glOgFloatConst(s, 2.5)), half);
    // A value a float cannot hold exactly still shares its entry.
    float* tenth = addr(__glOgFloatConst(s, 0.1));
    EXPECT_EQ(addr(__glOgFloatConst(s, 0.1)), tenth);
    EXPECT_EQ(*tenth, 0.1f);

    float* firstBlock = s->ogFloatPool;
    float* last = nullptr;
    for (int i = 2; i < kGlOgPoolFirstBlock; ++i) last = addr(__glOgFloatConst(s, 1000.0 + i));
    EXPECT_EQ(last, firstBlock + kGlOgPoolFirstBlock - 1);
    float* next = addr(__glOgFloatConst(s, -7.0));
    EXPECT_NE(s->ogFloatPool, firstBlock);
    EXPECT_EQ(next, s->ogFloatPool);
    EXPECT_EQ(s->ogFloatCapacity, 2 * kGlOgPoolFirstBlock);
    EXPECT_EQ(*half, 2.5f) << "old block still readable";
    EXPECT_EQ(*last, 1000.0f + (float)(kGlOgPoolFirstBlock - 1));
    EXPECT_FALSE(__glOgFailed(s));
    EXPECT_EQ(s->ogRetiredCount, 1);
    EXPECT_EQ(s->ogRetired[0], firstBlock) << "the replaced block is freed with the state";
}

TEST_F(OgTest, QwordPoolPacksLowWordFirstAndSharesEqualValues)
{
    GlOgNode* m = __glOgQwordConst(s, 0x1111, 0x2222, 0x3333, 0x4444);
    uint64_t* p = (uint64_t*)(uintptr_t)(uint32_t)__glOgRef(m->a)->a;
    EXPECT_EQ(*p, 0x4444333322221111ull);
    GlOgNode* again = __glOgQwordConst(s, 0x1111, 0x2222, 0x3333, 0x4444);
    EXPECT_EQ(__glOgRef(again->a)->a, __glOgRef(m->a)->a);
    GlOgNode* other = __glOgQwordConst(s, 0x1111, 0x2222, 0x3333, 0x4445);
    EXPECT_NE(__glOgRef(other->a)->a, __glOgRef(m->a)->a);
}

}  // namespace
}  // namespace icd
