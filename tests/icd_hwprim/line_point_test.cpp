// Lines and points a program draws on the ZK3 machine: quads of one-vertex headers, a size-1
// point as one triangle, the blend's second pass, and the states left to software.
#include "tests/icd_hwprim/hwprim_fixture.h"

namespace {

class HwLinePoint : public HwPrimTest {
protected:
    void SetUp() override {
        HwPrimTest::SetUp();
        buffers(true);
        GL(glColor3f)(0.0f, 1.0f, 0.0f);
    }
};

TEST_F(HwLinePoint, ALineIsAQuadAcrossItsMajorAxis) {
    line(8, 8, 40, 8);
    ASSERT_EQ(ctx->slots.primitive.renderLine, __glHwRenderLine);
    flushed();
    zk3EngineClearLog();
    GL(glLineWidth)(2.0f);
    line(8, 8, 40, 8);    // a state change: the block again
    const uint32_t before = hw->writeIndex;
    line(8, 20, 12, 30);  // y-major
    EXPECT_EQ(hw->writeIndex - before, 36u) << "four one-vertex headers and vertices";
    const auto v = verticesOf(flushed());
    ASSERT_EQ(v.size(), 8u);
    const uint32_t tags[4] = {0, 1, 0x102, 0x123};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(v[i][0], tags[i % 4]) << i;
    // x-major: the ends move one half-width along y; y-major: along x.
    EXPECT_FLOAT_EQ(floatOf(v[0][2]), floatOf(v[1][2]));
    EXPECT_FLOAT_EQ(floatOf(v[0][3]) - floatOf(v[1][3]), 2.0f);
    EXPECT_FLOAT_EQ(floatOf(v[5][2]) - floatOf(v[4][2]), 2.0f);
    EXPECT_FLOAT_EQ(floatOf(v[4][3]), floatOf(v[5][3]));
    EXPECT_EQ(v[0][1], 0xFF00FF00u);
}

TEST_F(HwLinePoint, ABlendWithASecondPassRepeatsTheClosingVertices) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_ONE, GL_SRC_COLOR);
    line(8, 8, 40, 8);
    ASSERT_EQ(ctx->slots.primitive.renderLine, __glHwRenderLine);
    const uint32_t control = hw->lineRegs[kHwRegControl];
    const uint32_t before = hw->writeIndex;
    line(8, 12, 40, 12);
    EXPECT_EQ(hw->writeIndex - before, 58u);
    flushed();
    zk3EngineClearLog();
    line(8, 16, 40, 16);
    std::vector<Op> ops = onSub(flushed(), 1);
    ops.erase(ops.begin(), ops.begin() + 7);  // the block again after the flush
    ASSERT_EQ(ops.size(), 32u + 1 + 16 + 1);
    EXPECT_EQ(ops[32], (Op{1, 0x314, (control & 0x0FFFF2FFu) | 0x10000000u}));
    EXPECT_EQ(ops[49], (Op{1, 0x314, control}));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ops[33 + i].value, ops[16 + i].value) << i;
}

TEST_F(HwLinePoint, PointsAreSquaresOfTheirSizeAndSizeOneIsATriangle) {
    struct Case {
        float size;
        uint32_t words, vertices;
    };
    for (const Case c : {Case{1.0f, 27, 3}, Case{2.0f, 36, 4}, Case{3.0f, 36, 4}}) {
        SCOPED_TRACE(c.size);
        GL(glPointSize)(c.size);
        flushed();
        zk3EngineClearLog();
        point(20, 10);
        ASSERT_EQ(ctx->slots.primitive.renderPoint, __glHwRenderPoint);
        const uint32_t before = hw->writeIndex;
        point(20, 10);
        EXPECT_EQ(hw->writeIndex - before, c.words);
        auto v = verticesOf(flushed());
        ASSERT_EQ(v.size(), 2 * c.vertices);
        v.erase(v.begin(), v.begin() + c.vertices);
        const float left = floatOf(v[0][2]), right = floatOf(v[1][2]);
        EXPECT_FLOAT_EQ(right - left, c.size);
        EXPECT_FLOAT_EQ(floatOf(v[2][3]) - floatOf(v[0][3]), c.size);
        // Window x 20.5: an odd size centres on the pixel, an even one on its left edge.
        EXPECT_FLOAT_EQ(left, c.size == 2.0f ? 19.0f : 20.0f - float(int(c.size) >> 1));
    }
}

TEST_F(HwLinePoint, StatesTheChipCannotDrawGoToSoftware) {
    GL(glEnable)(GL_LINE_STIPPLE);
    GL(glEnable)(GL_COLOR_LOGIC_OP);
    line(8, 8, 40, 8);
    EXPECT_EQ(ctx->slots.primitive.renderLine, __glHwFlushThenSoftLine);
    EXPECT_EQ(ctx->slots.primitive.renderPoint, __glHwFlushThenSoftPoint);
    GL(glDisable)(GL_LINE_STIPPLE);
    GL(glDisable)(GL_COLOR_LOGIC_OP);
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE);  // shares its word with another pair
    line(8, 8, 40, 8);
    EXPECT_EQ(ctx->slots.primitive.renderLine, __glHwFlushThenSoftLine);
    EXPECT_EQ(ctx->slots.primitive.renderPoint, __glHwFlushThenSoftPoint);
}

}  // namespace
