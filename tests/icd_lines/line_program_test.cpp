// Aliased, wide, stippled, depth-tested, shaded and antialiased lines drawn by a program through
// the live table into plain memory.
#include "tests/icd_lines/lines_fixture.h"
#include "icd/vertex/vertex_ring.h"
#include "icd/raster/stencil_buffer.h"

namespace {

class LineProgramTest : public LinesTest {};

std::string describe(const PixelSet &s) {
    std::string out;
    for (auto [x, y] : s) out += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    return out;
}

TEST_F(LineProgramTest, SegmentsOfEveryOctantDrawTheirDiamondExitPixels) {
    struct Row {
        float x0, y0, x1, y1;
    };
    const Row rows[] = {
        {0.2f, 0.5f, 4.2f, 0.5f},     // the horizontal example: four pixels, end excluded
        {4.2f, 0.5f, 0.2f, 0.5f},     // and backwards
        {1.3f, 1.6f, 29.7f, 9.1f},    // x-major, +x +y
        {29.7f, 9.1f, 1.3f, 1.6f},    // x-major, -x -y
        {2.1f, 14.3f, 27.8f, 3.4f},   // x-major, +x -y
        {27.8f, 3.4f, 2.1f, 14.3f},   // x-major, -x +y
        {3.3f, 0.7f, 8.6f, 15.2f},    // y-major, +y +x
        {8.6f, 15.2f, 3.3f, 0.7f},    // y-major, -y -x
        {20.2f, 1.4f, 12.9f, 14.8f},  // y-major, +y -x
        {12.9f, 14.8f, 20.2f, 1.4f},  // y-major, -y +x
        {5.5f, 2.2f, 5.5f, 13.9f},    // vertical through pixel centres
        {0.9f, 8.1f, 31.1f, 8.3f},    // nearly horizontal, long
        {6.1f, 6.2f, 9.1f, 6.8f},     // starts and ends outside every diamond
        {10.2f, 2.2f, 13.6f, 5.7f},   // close to the diagonal
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " -> " << r.x1 << "," << r.y1);
        clearPixels();
        line(r.x0, r.y0, r.x1, r.y1);
        PixelSet expected = diamondExit(r.x0, r.y0, r.x1, r.y1, kW, kH);
        EXPECT_EQ(describe(lit()), describe(expected));
    }
}

TEST_F(LineProgramTest, ZeroLengthLineDrawsNothing) {
    line(7.3f, 4.6f, 7.3f, 4.6f);
    EXPECT_TRUE(lit().empty());
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

// With XOR every pixel drawn twice would go black again: a strip draws each shared vertex once,
// by the segment that leaves it.
TEST_F(LineProgramTest, StripDrawsEverySharedVertexOnce) {
    GL(glEnable)(GL_COLOR_LOGIC_OP);
    GL(glLogicOp)(GL_XOR);
    const float pts[][2] = {{2.5f, 2.5f}, {12.5f, 2.5f}, {12.5f, 11.5f}, {3.5f, 11.5f}, {3.5f, 4.5f}};
    GL(glBegin)(GL_LINE_STRIP);
    for (auto &p : pts) vertex(p[0], p[1]);
    GL(glEnd)();
    PixelSet expected;
    for (int i = 0; i + 1 < 5; ++i) {
        PixelSet s = diamondExit(pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1], kW, kH);
        expected.insert(s.begin(), s.end());
    }
    EXPECT_EQ(describe(lit()), describe(expected));
    EXPECT_TRUE(lit().count({12, 2}));   // the corners are drawn
    EXPECT_TRUE(lit().count({12, 11}));
}

// Pattern 0x00FF with repeat 2: 16 pixels on, 16 off. A strip carries the pattern across its
// segments; separate lines restart it.
TEST_F(LineProgramTest, StippleCarriesAcrossStripSegmentsAndRestartsPerLine) {
    GL(glEnable)(GL_LINE_STIPPLE);
    GL(glLineStipple)(2, 0x00FF);
    GL(glBegin)(GL_LINE_STRIP);
    vertex(0.5f, 3.5f);
    vertex(20.5f, 3.5f);
    vertex(31.5f, 3.5f);
    GL(glEnd)();
    GL(glBegin)(GL_LINES);
    vertex(0.5f, 7.5f);
    vertex(20.5f, 7.5f);
    vertex(20.5f, 7.5f);
    vertex(31.5f, 7.5f);
    GL(glEnd)();
    for (int x = 0; x < 31; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(at(x, 3) != 0, x < 16);
        EXPECT_EQ(at(x, 7) != 0, x < 16 || (x >= 20 && x < 36));
    }
}

TEST_F(LineProgramTest, WideLinesDrawParallelRunsAcrossTheMinorAxis) {
    GL(glLineWidth)(3.0f);
    line(2.5f, 10.5f, 12.5f, 10.5f);  // x-major: rows 9, 10, 11
    EXPECT_EQ(describe(lit()), describe(rect(2, 9, 11, 11)));
    clearPixels();
    GL(glLineWidth)(2.0f);
    line(5.3f, 1.5f, 5.3f, 6.5f);  // y-major: the columns whose centres are within 1 of x = 5.3
    EXPECT_EQ(describe(lit()), describe(rect(4, 1, 5, 5)));
    clearPixels();
    // A wide stippled line keeps the pattern in every row.
    GL(glLineWidth)(2.0f);
    GL(glEnable)(GL_LINE_STIPPLE);
    GL(glLineStipple)(1, 0x0F0F);
    line(0.5f, 12.3f, 16.5f, 12.3f);
    PixelSet expected;
    for (int x = 0; x < 16; ++x)
        if ((x / 4) % 2 == 0) {
            expected.insert({x, 11});
            expected.insert({x, 12});
        }
    EXPECT_EQ(describe(lit()), describe(expected));
}

// Red at mid depth, then green from far on the left to near on the right: the near half wins.
TEST_F(LineProgramTest, DepthTestedLineKeepsTheNearerPixels) {
    GL(glClearDepth)(1.0);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    GL(glBegin)(GL_LINES);
    vertex(0.5f, 6.5f, 0.0f);
    vertex(30.5f, 6.5f, 0.0f);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    vertex(0.5f, 6.5f, -0.9f);  // far
    vertex(30.5f, 6.5f, 0.9f);  // near
    GL(glEnd)();
    for (int x = 0; x < 30; ++x) {
        SCOPED_TRACE(x);
        if (x < 14) {
            EXPECT_EQ(at(x, 6), 0xFF0000u);
        } else if (x > 16) {
            EXPECT_EQ(at(x, 6), 0x00FF00u);
        }
    }
}

// Stencil EQUAL 1 over pixels 5..9; pixels 8 and 9 hold a nearer line. Where stencil and depth
// pass the line is drawn and the stencil incremented; where depth fails it is decremented; where
// the stencil fails nothing changes.
TEST_F(LineProgramTest, StencilAndDepthOperationsFollowTheLine) {
    PlainMemory stencilMem;
    ctx->visual.hasStencil = 1;
    ctx->visual.stencilBits = 8;
    GlStencilBuffer *sb = &ctx->buffers.stencil;
    __glInitSoftStencilBuffer(sb, ctx);
    stencilMem.setUp(kW, kH, 1);
    sb->head.attach(&sb->head, &stencilMem.desc, ctx);
    for (int x = 5; x < 10; ++x) stencilMem.setElement(x, 4, 1);
    GL(glClearDepth)(1.0);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    GL(glBegin)(GL_LINES);
    vertex(8.5f, 4.5f, 0.9f);
    vertex(10.5f, 4.5f, 0.9f);
    GL(glEnd)();
    GL(glEnable)(GL_STENCIL_TEST);
    GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
    GL(glStencilOp)(GL_KEEP, GL_DECR, GL_INCR);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    GL(glBegin)(GL_LINES);
    vertex(0.5f, 4.5f, 0.0f);
    vertex(20.5f, 4.5f, 0.0f);
    GL(glEnd)();
    for (int x = 0; x < 20; ++x) {
        SCOPED_TRACE(x);
        const bool drawn = x >= 5 && x < 8, near = x == 8 || x == 9;
        EXPECT_EQ(at(x, 4), drawn ? 0xFF0000u : (near ? 0x00FF00u : 0u));
        EXPECT_EQ(stencilMem.element(x, 4), drawn ? 2u : 0u);
    }
    sb->head.detach(&sb->head, ctx);
}

TEST_F(LineProgramTest, SmoothLinesInterpolateAndFlatLinesTakeTheSecondColour) {
    GL(glShadeModel)(GL_SMOOTH);
    GL(glBegin)(GL_LINES);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    vertex(0.5f, 4.5f);
    GL(glColor3f)(0.0f, 0.0f, 1.0f);
    vertex(31.5f, 4.5f);
    GL(glEnd)();
    // Pixel k sits k units from the first vertex along a 31-unit line.
    for (int x = 0; x < 31; ++x) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(red(x, 4), 255.0 * (31 - x) / 31.0, 1.01);
        EXPECT_NEAR(blue(x, 4), 255.0 * x / 31.0, 1.01);
    }
    GL(glShadeModel)(GL_FLAT);
    GL(glBegin)(GL_LINES);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    vertex(0.5f, 8.5f);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    vertex(10.5f, 8.5f);
    GL(glEnd)();
    for (int x = 0; x < 10; ++x) EXPECT_EQ(at(x, 8), 0x00FF00u) << x;
}

int32_t refuse(GlContext *) { return 0; }

// A refused lock draws nothing and leaves every vertex of the strip as it was.
TEST_F(LineProgramTest, RefusedLockDrawsNothingAndKeepsTheVertices) {
    GL(glColor3f)(0.5f, 0.25f, 1.0f);
    const float scaled[3] = {ctx->current.vertex.scaledColor[0], ctx->current.vertex.scaledColor[1],
                             ctx->current.vertex.scaledColor[2]};
    // Validated first: validation installs the context's own lock procs.
    GL(glBegin)(GL_LINES);
    GL(glEnd)();
    auto savedLock = ctx->buffers.drawableLock;
    ctx->buffers.drawableLock = refuse;
    GL(glBegin)(GL_LINE_STRIP);
    vertex(1.5f, 1.5f);
    vertex(9.5f, 3.5f);
    vertex(9.5f, 12.5f);
    GL(glEnd)();
    ctx->buffers.drawableLock = savedLock;
    EXPECT_TRUE(lit().empty());
    EXPECT_EQ(ctx->buffers.lockCount, 0);
    GlVertex *ring = __glVertexRing(ctx);
    for (int i = 0; i < 2; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(ring[i].frontColor[c], scaled[c]) << i << " " << c;
}

// Lines across a viewport of the largest width, most of it left of the window: the run reaches
// the rasteriser over 2000 pixels long, and an antialiased one more pixels than the span arrays
// hold; the visible end keeps its place, colour and coverage.
TEST_F(LineProgramTest, LinesAcrossTheWidestViewportKeepTheirEnds) {
    GL(glViewport)(-2016, 0, 2048, kH);
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glLoadIdentity)();
    GL(glOrtho)(0, 2048, 0, kH, -1, 1);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glShadeModel)(GL_SMOOTH);
    GL(glBegin)(GL_LINES);
    GL(glColor3f)(0.0f, 0.0f, 0.0f);
    vertex(0.5f, 5.5f);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    vertex(2047.5f, 5.5f);
    GL(glEnd)();
    for (int x = 0; x < 31; ++x) EXPECT_NEAR(green(x, 5), 255.0 * (2016 + x) / 2047.0, 1.01) << x;
    EXPECT_EQ(at(31, 5), 0u);  // the end point's pixel
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glEnable)(GL_LINE_SMOOTH);
    GL(glShadeModel)(GL_FLAT);
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    line(0.2f, 9.5f, 2047.6f, 9.5f);
    for (int x = 0; x < 31; ++x) EXPECT_NEAR(red(x, 9), 255, 1) << x;
    EXPECT_NEAR(red(31, 9), 153, 1);  // the end cap: 0.6 of the pixel
}

// Coverage through blending, white over black: the red channel is 255 times the coverage.
TEST_F(LineProgramTest, AntialiasedLineCoversItsAxisAndFadesAtTheCaps) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glEnable)(GL_LINE_SMOOTH);
    line(2.5f, 5.5f, 12.5f, 5.5f);
    for (int x = 0; x < 16; ++x) {
        SCOPED_TRACE(x);
        int expected = (x == 2 || x == 12) ? 127 : (x > 2 && x < 12 ? 255 : 0);
        EXPECT_NEAR(red(x, 5), expected, 1);
        EXPECT_EQ(red(x, 4), 0);
        EXPECT_EQ(red(x, 6), 0);
    }
    // Half-way between two rows, a line of width 2 covers both fully and the next ones not at all.
    clearPixels();
    GL(glLineWidth)(2.0f);
    line(2.5f, 10.0f, 12.5f, 10.0f);
    for (int x = 4; x < 11; ++x) {
        SCOPED_TRACE(x);
        EXPECT_NEAR(red(x, 9), 255, 1);
        EXPECT_NEAR(red(x, 10), 255, 1);
        EXPECT_EQ(red(x, 8), 0);
        EXPECT_EQ(red(x, 11), 0);
    }
}

// In every direction an antialiased line of width 1 covers about its length in pixels, only
// near its axis, and its middle fully.
TEST_F(LineProgramTest, AntialiasedLinesCoverTheirAreaInEveryDirection) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glEnable)(GL_LINE_SMOOTH);
    struct Row {
        float x0, y0, x1, y1;
    };
    const Row rows[] = {
        {3.2f, 2.6f, 27.7f, 11.3f}, {27.7f, 11.3f, 3.2f, 2.6f}, {5.4f, 1.3f, 12.6f, 14.2f},
        {12.6f, 14.2f, 5.4f, 1.3f}, {4.1f, 13.7f, 25.9f, 3.4f}, {20.3f, 2.2f, 9.8f, 13.1f},
        {4.5f, 3.5f, 14.5f, 13.5f},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.x0 << "," << r.y0 << " -> " << r.x1 << "," << r.y1);
        clearPixels();
        line(r.x0, r.y0, r.x1, r.y1);
        const float dx = r.x1 - r.x0, dy = r.y1 - r.y0, len = std::sqrt(dx * dx + dy * dy);
        double sum = 0.0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (red(x, y) == 0) continue;
                sum += red(x, y) / 255.0;
                const float px = x + 0.5f - r.x0, py = y + 0.5f - r.y0;
                const float along = (px * dx + py * dy) / len, across = (px * dy - py * dx) / len;
                EXPECT_LT(std::fabs(across), 1.25f) << x << "," << y;
                EXPECT_GT(along, -0.75f) << x << "," << y;
                EXPECT_LT(along, len + 0.75f) << x << "," << y;
            }
        EXPECT_NEAR(sum, len, 0.15 * len);  // distance-based coverage runs high near 45 degrees
        // The pixel holding the middle of the line is well covered.
        const int mx = int((r.x0 + r.x1) / 2), my = int((r.y0 + r.y1) / 2);
        EXPECT_GT(red(mx, my), 100);
    }
}

// An antialiased stippled line samples the pattern at each pixel's distance along the line,
// blending the two bits around it: 0x00FF with repeat 1 fades out over pixel 8 and in over 16.
TEST_F(LineProgramTest, AntialiasedStippleFadesBetweenPatternBits) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glEnable)(GL_LINE_SMOOTH);
    GL(glEnable)(GL_LINE_STIPPLE);
    GL(glLineStipple)(1, 0x00FF);
    line(0.5f, 5.5f, 20.5f, 5.5f);
    const int expected[21] = {127, 255, 255, 255, 255, 255, 255, 255, 127, 0, 0,
                              0,   0,   0,   0,   0,   127, 255, 255, 255, 127};
    for (int x = 0; x < 21; ++x) EXPECT_NEAR(red(x, 5), expected[x], 1) << x;
}

TEST_F(LineProgramTest, ScissorCutsLines) {
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glScissor)(4, 2, 8, 6);
    line(0.5f, 3.5f, 30.5f, 3.5f);
    line(6.5f, 0.5f, 6.5f, 15.5f);
    PixelSet expected = rect(4, 3, 11, 3);
    PixelSet column = rect(6, 2, 6, 7);
    expected.insert(column.begin(), column.end());
    EXPECT_EQ(describe(lit()), describe(expected));
}

}  // namespace
