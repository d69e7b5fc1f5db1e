// Arrays drawn through the entries of the live table (glVertexPointer, glEdgeFlagPointer,
// glDrawArrays, glDrawElements, glLockArraysEXT) against the same elements in immediate mode,
// into the same spies; and the pixels of an array draw against those of glBegin/glEnd.
#include "tests/icd_array_render/array_render_fixture.h"
#include "tests/icd_triangle/program_fixture.h"

using arraytest::drawn;
using arraytest::elements;
using Log = std::vector<std::string>;

namespace {

// The test elements as client arrays: position (x = id / 100, y 0.5, z 2 outside) and edge flag.
class DrawArraysTest : public SpiedRoadsTest {
protected:
    float positions[100][3] = {};
    GLboolean edges[100] = {};

    void SetUp() override {
        SpiedRoadsTest::SetUp();
        GL(glVertexPointer)(3, GL_FLOAT, 0, positions);
        GL(glEdgeFlagPointer)(0, edges);
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        GL(glEnableClientState)(GL_EDGE_FLAG_ARRAY);
        // Outside GL_FILL the records carry every attribute, edge flags included.
        GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_LINE);
        validateThenSpy();
    }
    // The state's validation as the next draw runs it, then the spies again.
    void validateThenSpy() {
        ctx->slots.validate = realValidate;
        GL(glDrawArrays)(GL_POINTS, 0, 0);
        installSpies(ctx);
    }
    void setArrays(std::initializer_list<int> outside, std::initializer_list<int> edgeOff) {
        setElements(100, outside);
        for (int e : edgeOff) elements()[size_t(e)].edge = 0;
        for (int e = 0; e < 100; ++e) {
            positions[e][0] = float(e) / 100.0f;
            positions[e][1] = 0.5f;
            positions[e][2] = elements()[size_t(e)].out ? 2.0f : 0.0f;
            edges[e] = elements()[size_t(e)].edge;
        }
    }
    Log drawArrays(GLenum mode, GLint first, GLsizei count) {
        clearLogs();
        ctx->arrays.vertexBuffer.lineReset = 1;
        GL(glDrawArrays)(mode, first, count);
        return drawn();
    }
    template <class Index>
    Log drawElements(GLenum mode, GLenum type, const std::vector<Index> &indices) {
        clearLogs();
        ctx->arrays.vertexBuffer.lineReset = 1;
        GL(glDrawElements)(mode, GLsizei(indices.size()), type, indices.data());
        return drawn();
    }
    std::vector<uint32_t> wide(const std::vector<uint16_t> &v) { return {v.begin(), v.end()}; }
};

struct Case {
    const char *what;
    GLenum mode;
    GLint first;
    GLsizei count;
    std::initializer_list<int> outside, edgeOff;
};
const Case kCases[] = {
    {"points", GL_POINTS, 0, 40, {3, 37}, {}},
    {"lines of 41", GL_LINES, 0, 41, {}, {}},
    {"line strip of 50", GL_LINE_STRIP, 0, 50, {}, {}},
    {"line loop of 50", GL_LINE_LOOP, 0, 50, {}, {}},
    {"triangles with edge flags, one crossing", GL_TRIANGLES, 0, 41, {37}, {1, 5, 36, 40}},
    {"triangle strip of 40, crossing at the batch boundary", GL_TRIANGLE_STRIP, 0, 40, {36}, {4}},
    {"triangle fan of 40", GL_TRIANGLE_FAN, 2, 40, {}, {}},
    {"quads of 42", GL_QUADS, 0, 42, {}, {1, 38}},
    {"quad strip of 41", GL_QUAD_STRIP, 0, 41, {}, {}},
    {"polygon of 40 with edge flags", GL_POLYGON, 0, 40, {}, {0, 13, 14, 36, 39}},
};

TEST_F(DrawArraysTest, DrawArraysDrawsWhatImmediateModeDraws) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        setArrays(c.outside, c.edgeOff);
        const Log want = immediate(c.mode, c.first, c.count);
        ASSERT_FALSE(want.empty());
        EXPECT_EQ(drawArrays(c.mode, c.first, c.count), want);
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
}

TEST_F(DrawArraysTest, DrawElementsDrawsTheListedElements) {
    std::vector<uint16_t> shorts(44);
    for (size_t i = 0; i < shorts.size(); ++i) shorts[i] = uint16_t((i * 7) % 50);
    const std::vector<uint32_t> ints = wide(shorts);
    for (GLenum mode : {GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_LINE_LOOP, GL_QUAD_STRIP}) {
        SCOPED_TRACE(mode);
        setArrays({21}, {});
        const Log want = immediate(mode, 0, 44, ints.data());
        EXPECT_EQ(drawElements(mode, GL_UNSIGNED_SHORT, shorts), want);
        EXPECT_EQ(drawElements(mode, GL_UNSIGNED_INT, ints), want);
    }
}

// The strip slot starts as the stub that asks for a generated routine, which replaces it and
// draws the same triangles.
TEST_F(DrawArraysTest, StripStubInstallsTheRoutineItIsGiven) {
    setArrays({}, {});
    GlArrayState &as = ctx->arrayState;
    if (as.renderers[GL_TRIANGLE_STRIP] != __glDrawArrayTriangleStripLazy) GTEST_SKIP() << "generated strips disabled";
    const Log want = immediate(GL_TRIANGLE_STRIP, 0, 10);
    EXPECT_EQ(drawArrays(GL_TRIANGLE_STRIP, 0, 10), want);
    EXPECT_NE(as.renderers[GL_TRIANGLE_STRIP], __glDrawArrayTriangleStripLazy);
    EXPECT_NE(as.renderers[GL_TRIANGLE_STRIP], nullptr);
    EXPECT_EQ(drawArrays(GL_TRIANGLE_STRIP, 0, 10), want);
}

// A locked range is transformed once and then drawn from its records by element number; a
// draw reaching past it still draws its own elements.
TEST_F(DrawArraysTest, LockedArraysDrawTheSame) {
    setArrays({30}, {12});
    const Log fan = immediate(GL_TRIANGLE_FAN, 10, 30);
    const Log loop = immediate(GL_LINE_LOOP, 20, 40);
    auto lock = slotAs<decltype(&icd::__glDoLockArraysEXT)>(&ctx->liveTable, slot::__glDoLockArraysEXT);
    auto unlock = slotAs<decltype(&icd::__glDoUnlockArraysEXT)>(&ctx->liveTable, slot::__glDoUnlockArraysEXT);
    lock(5, 50);
    validateThenSpy();
    EXPECT_EQ(drawArrays(GL_TRIANGLE_FAN, 10, 30), fan);
    EXPECT_EQ(ctx->arrayState.arrayFlags & kGlArrayRangeStale, 0u);
    EXPECT_EQ(drawArrays(GL_TRIANGLE_FAN, 10, 30), fan);
    EXPECT_EQ(drawArrays(GL_LINE_LOOP, 20, 40), loop);  // past element 54
    EXPECT_EQ(drawArrays(GL_TRIANGLE_FAN, 10, 30), fan);
    unlock();
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

// With lighting and colour material the elements go through the immediate entries one by one.
TEST_F(DrawArraysTest, PerElementRoadDrawsTheSame) {
    setArrays({}, {2});
    const Log want = immediate(GL_QUAD_STRIP, 0, 12);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_COLOR_MATERIAL);
    validateThenSpy();
    EXPECT_EQ(drawArrays(GL_QUAD_STRIP, 0, 12), want);
}

// Real pipeline, real pixels: strips and a fan of coloured vertices, partly off the window, give
// the same pixels from glDrawArrays as from glBegin/glEnd, each triangle in the colour of its
// provoking vertex. (Smooth colours may differ in the last bit: the array road starts a
// triangle at another of its vertices than immediate mode, and the interpolation rounds from
// there.)
class DrawArraysPixelsTest : public ProgramTest {};

TEST_F(DrawArraysPixelsTest, SamePixelsAsImmediateMode) {
    constexpr int kN = 40;
    float xy[kN][2];
    uint8_t rgb[kN][3];
    for (int i = 0; i < kN; ++i) {
        xy[i][0] = -4.0f + float(i / 2) * 2.0f;  // past both sides of the 32-pixel window
        xy[i][1] = (i % 2 == 0) ? -3.0f : 12.0f + float(i % 5);
        rgb[i][0] = uint8_t(i * 6);
        rgb[i][1] = uint8_t(255 - i * 5);
        rgb[i][2] = uint8_t(i % 3 * 100);
    }
    GL(glShadeModel)(GL_FLAT);
    GL(glVertexPointer)(2, GL_FLOAT, 0, xy);
    GL(glColorPointer)(3, GL_UNSIGNED_BYTE, 0, rgb);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glEnableClientState)(GL_COLOR_ARRAY);
    for (GLenum mode : {GL_TRIANGLE_STRIP, GL_QUAD_STRIP, GL_TRIANGLE_FAN}) {
        SCOPED_TRACE(mode);
        std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0);
        GL(glBegin)(mode);
        for (int i = 0; i < kN; ++i) {
            GL(glColor3ubv)(rgb[i]);
            GL(glVertex2fv)(xy[i]);
        }
        GL(glEnd)();
        const std::vector<uint8_t> want = colorMem.bytes;
        std::fill(colorMem.bytes.begin(), colorMem.bytes.end(), 0);
        GL(glDrawArrays)(mode, 0, kN);
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        int lit = 0;
        for (uint8_t b : want) lit += b != 0;
        EXPECT_GT(lit, 100);
        EXPECT_TRUE(colorMem.bytes == want);
    }
}

}  // namespace
