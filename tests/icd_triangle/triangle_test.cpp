// The software triangle on window-space vertices: the fill convention (pixel samples at the
// centres, shared edges once, no gaps in a fan), interpolation of colour and depth at the pixel
// centres, flat shading, polygon offset, degenerate triangles, the lock bracket and the clip box.
#include <cmath>
#include <string>
#include "tests/icd_triangle/triangle_fixture.h"

namespace {

// Counts the hits of every pixel of a 64 x 64 area.
int g_hits[64][64];
uint8_t countSpan(GlContext *c) {
    const GlRasterState &rs = c->state.span.raster;
    for (int32_t i = 0; i < rs.spanLength; ++i) {
        int x = rs.spanX - kBias + i, y = rs.spanY - kBias;
        if (x >= 0 && x < 64 && y >= 0 && y < 64) ++g_hits[y][x];
    }
    return 0;
}

// A picture of the buffer: one character per pixel, '.' for untouched, else 'a' + red / 16.
std::string picture(PlainMemory &m, int w, int h) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t p = m.element(x, y);
            s += p == 0 ? '.' : char('a' + ((p >> 16) & 0xFF) / 16);
        }
        s += '\n';
    }
    return s;
}

int g_locks, g_unlocks, g_lockAnswer;
int32_t countingLock(GlContext *) {
    ++g_locks;
    return g_lockAnswer;
}
void countingUnlock(GlContext *) { ++g_unlocks; }

TEST_F(TriangleTest, TwoTrianglesOfASquareShareTheirDiagonalOnce) {
    attach(kX8R8G8B8, 10, 10);
    // Vertices on pixel corners: the diagonal runs through pixel centres; they go to the upper
    // triangle (samples on a right edge and on a bottom edge are inside).
    draw(vertex(0, 0, 0, 0, 16), vertex(1, 8, 0, 0, 16), vertex(2, 0, 8, 0, 16));
    draw(vertex(0, 8, 0, 0, 32), vertex(1, 8, 8, 0, 32), vertex(2, 0, 8, 0, 32));
    EXPECT_EQ(picture(front, 10, 10),
              "bbbbbbbb..\n"
              "bbbbbbbc..\n"
              "bbbbbbcc..\n"
              "bbbbbccc..\n"
              "bbbbcccc..\n"
              "bbbccccc..\n"
              "bbcccccc..\n"
              "bccccccc..\n"
              "..........\n"
              "..........\n");
}

TEST_F(TriangleTest, VerticesOffTheGridCoverExactlyTheCentresInside) {
    attach(kX8R8G8B8, 12, 8);
    // Rows are drawn whose centre lies in (top, bottom]; pixels whose centre lies in (left, right].
    draw(vertex(0, 1.2f, 0.7f, 0, 16), vertex(1, 9.9f, 3.5f, 0, 16), vertex(2, 2.5f, 6.5f, 0, 16));
    EXPECT_EQ(picture(front, 12, 8),
              "............\n"
              ".bbb........\n"
              "..bbbbb.....\n"
              "..bbbbbbbb..\n"
              "..bbbbb.....\n"
              "..bbb.......\n"
              "............\n"
              "............\n");
}

TEST_F(TriangleTest, FanOfThinTrianglesHitsEveryPixelOnce) {
    attach(kX8R8G8B8, 64, 64);
    spanList().runner = countSpan;
    std::memset(g_hits, 0, sizeof g_hits);
    // The centre is a pixel centre, so every inner edge runs through samples.
    const float cx = 32.5f, cy = 32.5f, radius = 29.3f;
    const int n = 97;
    float rim[n + 1][2];
    for (int i = 0; i <= n; ++i) {
        double a = 2.0 * M_PI * (i % n) / n;
        rim[i][0] = float(cx + radius * std::cos(a));
        rim[i][1] = float(cy + radius * std::sin(a));
    }
    for (int i = 0; i < n; ++i)
        draw(vertex(0, cx, cy), vertex(1, rim[i][0], rim[i][1]), vertex(2, rim[i + 1][0], rim[i + 1][1]));
    // Inside the polygon by a margin: exactly once; outside by a margin: never; on the rim at most once.
    int inside = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            double px = x + 0.5, py = y + 0.5, minSide = 1e9;
            for (int i = 0; i < n; ++i) {
                double ex = rim[i + 1][0] - rim[i][0], ey = rim[i + 1][1] - rim[i][1];
                double side = (ex * (py - rim[i][1]) - ey * (px - rim[i][0])) / std::hypot(ex, ey);
                minSide = std::min(minSide, side);
            }
            ASSERT_LE(g_hits[y][x], 1) << x << "," << y;
            if (minSide > 1e-3) {
                ++inside;
                EXPECT_EQ(g_hits[y][x], 1) << x << "," << y;
            }
            if (minSide < -1e-3) {
                EXPECT_EQ(g_hits[y][x], 0) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 2500);
}

TEST_F(TriangleTest, SmoothColoursAreSampledAtPixelCentres) {
    attach(kX8R8G8B8, 16, 16);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth | kGlShadeSmoothColors;
    validate();
    // red = 8 x, green = 8 y, blue = 4 (x + y) + 2: each exact at the centres.
    draw(vertex(0, 0, 0, 0, 0, 0, 2), vertex(1, 16, 0, 0, 128, 0, 66), vertex(2, 0, 16, 0, 0, 128, 66));
    int drawn = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            uint32_t p = front.element(x, y);
            if (x + y + 1 > 16) {
                EXPECT_EQ(p, 0u) << x << "," << y;
                continue;
            }
            ++drawn;
            uint32_t r = 8 * x + 4, g = 8 * y + 4, b = 4 * (x + y + 1) + 2;
            EXPECT_EQ(p, (r << 16) | (g << 8) | b) << x << "," << y;
        }
    EXPECT_EQ(drawn, 136);
    // The vertex colours are as they were.
    EXPECT_EQ(v[1].frontColor[0], 128.0f);
}

TEST_F(TriangleTest, FlatShadingTakesTheProvokingVertexColourScaledToTheBuffer) {
    attach(kR5G6B5, 8, 8);
    vertex(0, 0, 0, 0, 255, 0, 0);
    vertex(1, 8, 0, 0, 0, 255, 0);
    vertex(2, 0, 8, 0, 255, 255, 255);
    ctx->arrays.vertexBuffer.provokingVertex = &v[2];
    draw();
    EXPECT_EQ(front.element(0, 0), 0xFFFFu);
    EXPECT_EQ(front.element(3, 3), 0xFFFFu);
    EXPECT_EQ(front.element(7, 7), 0u);
    ctx->arrays.vertexBuffer.provokingVertex = &v[0];
    draw(&v[0], &v[1], &v[2]);
    EXPECT_EQ(front.element(0, 0), 0xF800u);
    // Scaled for the drawing only.
    EXPECT_EQ(v[0].frontColor[0], 255.0f);
    EXPECT_EQ(v[2].frontColor[1], 255.0f);
    ctx->arrays.vertexBuffer.provokingVertex = nullptr;
}

TEST_F(TriangleTest, DepthIsSampledAtPixelCentresInFixedPoint) {
    attach(kX8R8G8B8, 16, 16);
    raster().shadeFlags = kGlShadeRgba | kGlShadeDepthIterate;
    validate();
    recordSpans();
    // z = 65536 x + 4096 y in window units.
    draw(vertex(0, 0, 0, 0), vertex(1, 16, 0, 16 * 65536.0f), vertex(2, 0, 16, 16 * 4096.0f));
    ASSERT_EQ(seen.size(), 16u);
    for (const SeenSpan &s : seen) {
        EXPECT_EQ(s.x, 0);
        EXPECT_EQ(s.length, 16 - s.y);
        EXPECT_EQ(s.z, uint32_t(65536 * 0.5 + 4096 * (s.y + 0.5))) << s.y;
        EXPECT_EQ(s.zStep, 65536);
    }
}

TEST_F(TriangleTest, TextureCoordinatesAndFogAreSampledAtPixelCentres) {
    attach(kX8R8G8B8, 16, 16);
    ctx->state.mode.hints[4] = GL_DONT_CARE;
    for (bool perspective : {false, true}) {
        SCOPED_TRACE(perspective);
        raster().shadeFlags = kGlShadeRgba | kGlShadeTexture | kGlShadeFog | (perspective ? kGlShadePerspectiveTex : 0);
        validate();
        recordSpans();
        // s = x / 16, t = y / 16, q = 1, fog = 1 - (x + y) / 32; with 1/w = 0.5 at every vertex the
        // perspective coordinates are halved.
        GlVertex *a = vertex(0, 0, 0), *b = vertex(1, 16, 0), *c = vertex(2, 0, 16);
        const float st[3][2] = {{0, 0}, {1, 0}, {0, 1}};
        GlVertex *vs[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            vs[i]->texCoord[0][0] = st[i][0];
            vs[i]->texCoord[0][1] = st[i][1];
            vs[i]->texCoord[0][3] = 1.0f;
            vs[i]->invW = 0.5f;
            vs[i]->fog = 1.0f - (st[i][0] + st[i][1]) * 0.5f;
        }
        draw();
        ASSERT_EQ(seen.size(), 16u);
        const float k = perspective ? 0.5f : 1.0f;
        for (const SeenSpan &s : seen) {
            EXPECT_FLOAT_EQ(s.tex[0], k * 0.5f / 16);
            EXPECT_FLOAT_EQ(s.tex[1], k * (s.y + 0.5f) / 16);
            EXPECT_FLOAT_EQ(s.tex[2], k);
            EXPECT_FLOAT_EQ(s.texStep[0], k / 16);
            EXPECT_FLOAT_EQ(s.fog, 1.0f - (0.5f + s.y + 0.5f) / 32);
            EXPECT_FLOAT_EQ(s.fogStep, -1.0f / 32);
        }
    }
}

TEST_F(TriangleTest, PolygonOffsetMovesTheDepthAndSetsTheClampFields) {
    attach(kX8R8G8B8, 16, 16);
    raster().shadeFlags = kGlShadeRgba | kGlShadeDepthIterate | kGlShadeDepthTest | kGlShadePolygonOffset;
    ctx->state.polygonOffset.offsetFactor = 2.0f;
    ctx->state.polygonOffset.offsetUnits = 1.0f;
    const double depthMax = __glDepthBufferScale(ctx);
    const double unit = 0.0039063096 * depthMax;
    validate();
    recordSpans();
    const float z0 = float(depthMax / 4);
    draw(vertex(0, 0, 0, z0), vertex(1, 16, 0, z0 + 16 * 64.0f), vertex(2, 0, 16, z0 + 16 * 16.0f));
    ASSERT_EQ(seen.size(), 16u);
    for (const SeenSpan &s : seen) {
        double plane = z0 + 64.0 * 0.5 + 16.0 * (s.y + 0.5);
        double expect = plane + 2.0 * 64.0 + unit;
        EXPECT_NEAR(s.offsetZ, expect, expect * 1e-6) << s.y;
        EXPECT_NEAR(double(s.z), std::floor(expect), 1.0);
        EXPECT_NEAR(s.offsetPixelsToLimit, (depthMax - expect) / 64.0, 1.0);
        EXPECT_NEAR(s.offsetPixelsFullRange, depthMax / 64.0, 1.0);
        EXPECT_EQ(s.offsetNear, 0u);
        EXPECT_EQ(s.offsetFar, uint32_t(depthMax));
    }

    // Pushed beyond the far end: the start depth is clamped, not wrapped, and the far limit is
    // reached before the first pixel.
    ctx->state.polygonOffset.offsetUnits = 300.0f;
    recordSpans();
    const float zFar = float(depthMax * 0.9);
    draw(vertex(0, 0, 0, zFar), vertex(1, 16, 0, zFar + 16 * 64.0f), vertex(2, 0, 16, zFar));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].z, uint32_t(depthMax));
    EXPECT_LT(seen[0].offsetPixelsToLimit, 0.0f);

    // A decreasing depth swaps the limits, and a negative offset stops at 0.
    ctx->state.polygonOffset.offsetFactor = 0.0f;
    ctx->state.polygonOffset.offsetUnits = -300.0f;
    recordSpans();
    draw(vertex(0, 0, 0, 16 * 64.0f), vertex(1, 16, 0, 0.0f), vertex(2, 0, 16, 16 * 64.0f));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].z, 0u);
    EXPECT_EQ(seen[0].offsetNear, uint32_t(depthMax));
    EXPECT_EQ(seen[0].offsetFar, 0u);
}

TEST_F(TriangleTest, ZeroAreaTrianglesDrawNothing) {
    attach(kX8R8G8B8, 16, 16);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth | kGlShadeDepthIterate;
    validate();
    recordSpans();
    const float tri[][6] = {
        {0, 0, 4, 4, 9, 9},          // collinear, slanted
        {2, 3, 2, 9, 2, 14},         // vertical
        {1, 5.5f, 7, 5.5f, 12, 5.5f},  // horizontal
        {3, 3, 3, 3, 3, 3},          // one point
    };
    for (const auto &t : tri) {
        draw(vertex(0, t[0], t[1], 5, 10, 20, 30), vertex(1, t[2], t[3], 6, 40), vertex(2, t[4], t[5], 7, 50));
        EXPECT_EQ(v[0].frontColor[0], 10.0f);
        EXPECT_EQ(v[0].window[2], 5.0f);
    }
    EXPECT_TRUE(seen.empty());
}

TEST_F(TriangleTest, ARefusedLockDrawsNothingAndTheBracketNests) {
    attach(kX8R8G8B8, 16, 16);
    recordSpans();
    GlBufferArea &b = ctx->buffers;
    auto savedLock = b.drawableLock;
    auto savedUnlock = b.drawableUnlock;
    b.drawableLock = countingLock;
    b.drawableUnlock = countingUnlock;
    g_locks = g_unlocks = 0;
    g_lockAnswer = 0;
    draw(vertex(0, 0, 0, 0, 100), vertex(1, 8, 0, 0, 100), vertex(2, 0, 8, 0, 100));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(g_locks, 1);
    EXPECT_EQ(g_unlocks, 0);
    EXPECT_EQ(b.lockCount, 0);
    EXPECT_EQ(v[0].frontColor[0], 100.0f);

    g_lockAnswer = 1;
    draw();
    EXPECT_EQ(seen.size(), 8u);
    EXPECT_EQ(g_locks, 2);
    EXPECT_EQ(g_unlocks, 1);
    // Inside an open bracket the triangle neither locks nor unlocks.
    b.lockCount = 1;
    draw();
    EXPECT_EQ(g_locks, 2);
    EXPECT_EQ(g_unlocks, 1);
    EXPECT_EQ(b.lockCount, 1);
    b.lockCount = 0;
    b.drawableLock = savedLock;
    b.drawableUnlock = savedUnlock;
}

TEST_F(TriangleTest, RowsOutsideTheClipBoxAreSkippedAndSpansCutToIt) {
    attach(kX8R8G8B8, 16, 16);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth | kGlShadeSmoothColors;
    validate();
    setClipBox(3, 2, 7, 6);
    // Even when the viewport is said to be inside the box, no pixel outside it is written.
    inputs().scissorCoversViewport = 1;
    validate();
    draw(vertex(0, 0, 0, 0, 0), vertex(1, 16, 0, 0, 128), vertex(2, 0, 16, 0, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool in = x >= 3 && x < 7 && y >= 2 && y < 6;
            EXPECT_EQ(front.element(x, y) != 0, in) << x << "," << y;
            if (in) {
                EXPECT_EQ(red(x, y), uint32_t(8 * x + 4)) << x << "," << y;
            }
        }
}

}  // namespace
