// Antialiased lines and points a program draws on the ZK3 machine, as command words: the block
// that reads the built-in line or point texture through the bilinear filter, the quads around
// the line and the point with their texture coordinates, and the states left to software.
#include <cmath>
#include "tests/icd_hwprim/hwprim_fixture.h"
#include "icd/hw/tex_memory.h"
#include "platform/zk3/zk3_draw.h"

namespace {

class HwSmooth : public HwPrimTest {
protected:
    void SetUp() override {
        HwPrimTest::SetUp();
        buffers(true);
        ASSERT_NE(hw->lineTexture, nullptr);
        ASSERT_NE(hw->pointTexture, nullptr);
        GL(glColor4f)(1.0f, 0.0f, 1.0f, 0.5f);
    }
    // The register block a built-in texture gives: its object bound, then six words.
    void expectBlock(const std::vector<Op> &ops, const HwTexBlock *tex, uint32_t format) {
        ASSERT_GE(ops.size(), 7u);
        EXPECT_EQ(ops[0], (Op{1, 0, tex->object}));
        EXPECT_EQ(ops[1], (Op{1, 0x304, tex->offset}));
        EXPECT_EQ(ops[2], (Op{1, 0x308, format}));
        EXPECT_EQ(ops[5].method, 0x314u);
        EXPECT_EQ(ops[5].value & 2u, 2u) << "bilinear filter";
    }
};

// A line of width w is a quad w + 2 wide, perpendicular to the line, around it.
TEST_F(HwSmooth, ALineIsAQuadTwoPixelsWiderThanTheLineAcrossIt) {
    GL(glEnable)(GL_LINE_SMOOTH);
    struct Case {
        float width, x0, y0, x1, y1;
    };
    for (const Case c : {Case{1.0f, 8, 8, 40, 20}, Case{2.5f, 30, 4, 10, 28}, Case{5.0f, 4, 16, 60, 16}}) {
        SCOPED_TRACE(c.width);
        GL(glLineWidth)(c.width);
        line(c.x0, c.y0, c.x1, c.y1);
        ASSERT_EQ(ctx->slots.primitive.renderLine, __glHwRenderSmoothLine);
        flushed();
        zk3EngineClearLog();
        GL(glLineWidth)(c.width);  // validation again: the block is sent again
        const uint32_t before = hw->writeIndex;
        line(c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(hw->writeIndex - before, 9u + 36u) << "the block and four one-vertex headers and vertices";
        const std::vector<Op> ops = onSub(flushed(), 1);
        expectBlock(ops, hw->lineTexture, 0x22200000u);  // levels 2 and 2, 4-bit alpha texels
        const auto v = verticesOf(ops);
        ASSERT_EQ(v.size(), 4u);
        const double dx = c.x1 - c.x0, dy = c.y1 - c.y0, len = std::hypot(dx, dy);
        const double half = c.width / 2.0 + 1.0;  // the quad's half width
        const uint32_t tags[4] = {0, 1, 0x102, 0x123};
        const float s[4] = {0, 0, 1, 1}, t[4] = {0, 0.75f, 0, 0.75f};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(v[i][0], tags[i]) << i;
            EXPECT_EQ(v[i][1], 0x80FF00FFu) << "the vertex colour, alpha included";
            EXPECT_EQ(floatOf(v[i][5]), 1.0f) << "1/w";
            EXPECT_EQ(floatOf(v[i][6]), s[i]) << i;
            EXPECT_EQ(floatOf(v[i][7]), t[i]) << i;
        }
        // Each end's two corners straddle the end, one half width each way across the line.
        for (int end = 0; end < 2; ++end) {
            const auto &m = v[2 * end], &p = v[2 * end + 1];
            EXPECT_NEAR(floatOf(p[2]) - floatOf(m[2]), 2 * half * dy / len, 2e-3) << end;
            EXPECT_NEAR(floatOf(m[3]) - floatOf(p[3]), 2 * half * dx / len, 2e-3) << end;
        }
        EXPECT_NEAR((floatOf(v[2][2]) + floatOf(v[3][2])) / 2 - (floatOf(v[0][2]) + floatOf(v[1][2])) / 2, dx, 1e-3);
        EXPECT_NEAR((floatOf(v[2][3]) + floatOf(v[3][3])) / 2 - (floatOf(v[0][3]) + floatOf(v[1][3])) / 2, dy, 1e-3);
    }
}

TEST_F(HwSmooth, AZeroLengthLineWritesNothing) {
    GL(glEnable)(GL_LINE_SMOOTH);
    line(8, 8, 40, 8);
    ASSERT_EQ(ctx->slots.primitive.renderLine, __glHwRenderSmoothLine);
    const uint32_t before = hw->writeIndex;
    line(20, 10, 20, 10);
    EXPECT_EQ(hw->writeIndex, before);
}

// A point of size n is a square n + 1 wide reading the middle three quarters of the dot.
TEST_F(HwSmooth, APointIsASquareOnePixelWiderThanThePoint) {
    GL(glEnable)(GL_POINT_SMOOTH);
    for (const float size : {1.0f, 4.0f, 9.5f}) {
        SCOPED_TRACE(size);
        GL(glPointSize)(size);
        point(20, 10);
        ASSERT_EQ(ctx->slots.primitive.renderPoint, __glHwRenderSmoothPoint);
        flushed();
        zk3EngineClearLog();
        GL(glPointSize)(size);
        const uint32_t before = hw->writeIndex;
        point(20, 10);
        EXPECT_EQ(hw->writeIndex - before, 9u + 36u);
        const std::vector<Op> ops = onSub(flushed(), 1);
        expectBlock(ops, hw->pointTexture, 0x63200000u);  // levels 3 to 6
        const auto v = verticesOf(ops);
        ASSERT_EQ(v.size(), 4u);
        const float lo = 0.125f, hi = 0.875f;
        const float st[4][2] = {{lo, lo}, {hi, lo}, {lo, hi}, {hi, hi}};
        const uint32_t tags[4] = {0, 1, 0x102, 0x123};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(v[i][0], tags[i]);
            EXPECT_EQ(v[i][1], 0x80FF00FFu);
            EXPECT_EQ(floatOf(v[i][6]), st[i][0]) << i;
            EXPECT_EQ(floatOf(v[i][7]), st[i][1]) << i;
        }
        const float side = size + 1.0f;
        EXPECT_FLOAT_EQ(floatOf(v[1][2]) - floatOf(v[0][2]), side);
        EXPECT_FLOAT_EQ(floatOf(v[2][3]) - floatOf(v[0][3]), side);
        EXPECT_FLOAT_EQ(floatOf(v[3][2]), floatOf(v[1][2]));
        EXPECT_FLOAT_EQ(floatOf(v[3][3]), floatOf(v[2][3]));
        // Centred on the vertex: window x 20.5 (the ortho projection's pixel centre).
        EXPECT_FLOAT_EQ((floatOf(v[0][2]) + floatOf(v[1][2])) / 2, floatOf(v[0][2]) + side / 2);
    }
}

// After an antialiased block bound the built-in texture's object, the polygon proc's block binds
// the triangles' object again.
TEST_F(HwSmooth, TrianglesAfterASmoothLineBindTheirOwnObjectAgain) {
    auto quad = [&] {
        GL(glBegin)(GL_QUADS);
        GL(glVertex2f)(4, 4);
        GL(glVertex2f)(30, 4);
        GL(glVertex2f)(30, 30);
        GL(glVertex2f)(4, 30);
        GL(glEnd)();
    };
    GL(glEnable)(GL_LINE_SMOOTH);
    line(8, 8, 40, 8);
    quad();
    flushed();
    zk3EngineClearLog();
    zk3DrawClearErrors();
    line(8, 12, 40, 12);
    quad();
    const std::vector<Op> ops = onSub(flushed(), 1);
    // The object bound when the quad's vertices arrive is the triangles' own.
    uint32_t bound = 0, lastVertex = 0;
    for (size_t k = 0; k < ops.size(); ++k)
        if (ops[k].method == 0x1000) lastVertex = uint32_t(k);
    for (size_t k = 0; k < lastVertex; ++k)
        if (ops[k].method == 0) bound = ops[k].value;
    EXPECT_EQ(bound, hw->triangleObject);
    EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
}

// Which proc draws, by state: the chip's antialiased procs unless texturing (or another state
// the chip cannot draw) is on.
TEST_F(HwSmooth, TheChoosersInstallTheSmoothProcsWhereTheChipCanDrawThem) {
    static const uint8_t texels[16] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    struct Row {
        const char *name;
        GLenum enable;
        bool texture, chipLine, chipPoint;
    };
    const Row rows[] = {
        {"smooth", 0, false, true, true},
        {"smooth and stipple", GL_LINE_STIPPLE, false, false, true},
        {"smooth and logic op", GL_COLOR_LOGIC_OP, false, false, false},
        {"smooth and texture", 0, true, false, false},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        GL(glEnable)(GL_LINE_SMOOTH);
        GL(glEnable)(GL_POINT_SMOOTH);
        if (r.enable != 0) GL(glEnable)(r.enable);
        if (r.texture) {
            GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA4, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);  // complete without levels
            GL(glEnable)(GL_TEXTURE_2D);
        }
        line(8, 8, 40, 8);
        point(20, 20);
        GlPrimitiveProcs &prim = ctx->slots.primitive;
        EXPECT_EQ(prim.renderLine, r.chipLine ? __glHwRenderSmoothLine : __glHwFlushThenSoftLine);
        EXPECT_EQ(prim.renderPoint, r.chipPoint ? __glHwRenderSmoothPoint : __glHwFlushThenSoftPoint);
        if (r.enable != 0) GL(glDisable)(r.enable);
        GL(glDisable)(GL_TEXTURE_2D);
        GL(glDisable)(GL_LINE_SMOOTH);
        GL(glDisable)(GL_POINT_SMOOTH);
        line(8, 8, 40, 8);
        point(20, 20);
        EXPECT_EQ(prim.renderLine, __glHwRenderLine);
        EXPECT_EQ(prim.renderPoint, __glHwRenderPoint);
    }
}

}  // namespace
