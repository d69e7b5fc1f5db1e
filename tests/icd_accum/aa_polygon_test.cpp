// Antialiased triangles through the entries: the alpha byte of an A8R8G8B8 buffer records each
// pixel's coverage (255 x coverage, rounded), so the sum over the buffer is the triangle's area,
// interior pixels are full, pixels away from the triangle untouched, and edge pixels take the
// sub-sample fractions of the grid the hint chooses.
#include <cmath>
#include "tests/icd_triangle/program_fixture.h"
#include "icd/core/pick.h"

namespace {

struct P {
    float x, y;
};

// > 0 on the left of a -> b.
double side(P a, P b, double x, double y) { return (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x); }

class AaPolygonTest : public ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        // The same memory seen as A8R8G8B8: alpha is stored, so it shows the coverage.
        GlVisual &v = ctx->visual;
        v.alphaMask = 0xFF000000u;
        v.alphaBits = 8;
        GlColorBuffer *cb = &ctx->buffers.color.front;
        __glInitRgbaColorBuffer(cb, ctx);
        cb->head.attach(&cb->head, &colorMem.desc, ctx);
        GL(glDisable)(GL_DITHER);
        GL(glEnable)(GL_POLYGON_SMOOTH);
        GL(glClearColor)(0, 0, 0, 0);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
    }
    void triangle(P a, P b, P c) {
        GL(glBegin)(GL_TRIANGLES);
        for (P p : {a, b, c}) GL(glVertex2f)(p.x, p.y);
        GL(glEnd)();
    }
    uint32_t pixel(int x, int y) {
        int row = ctx->state.transform.drawable.yInverted ? kH - 1 - y : y;
        return colorMem.element(x, row);
    }
    int alpha(int x, int y) { return int(pixel(x, y) >> 24); }
};

int alphaOf(int covered, int samples) { return int(255.0f * (float(covered) / float(samples)) + 0.5f); }

TEST_F(AaPolygonTest, CoverageSumsToTheAreaInteriorIsFullExteriorUntouched) {
    GL(glColor4f)(1, 1, 1, 1);
    const P tri[3] = {{2.25f, 1.75f}, {27.625f, 3.125f}, {12.125f, 14.875f}};
    triangle(tri[0], tri[1], tri[2]);
    const double area = 0.5 * std::fabs(side(tri[0], tri[1], tri[2].x, tri[2].y));
    double sum = 0;
    int full = 0, partial = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int a = alpha(x, y);
            sum += a / 255.0;
            int inCorners = 0, outEdge = 0;
            for (int e = 0; e < 3; ++e) {
                int outside = 0;
                for (int k = 0; k < 4; ++k) {
                    const double cx = x + (k & 1), cy = y + (k >> 1);
                    // counter-clockwise triangle: inside is the left of every edge
                    if (side(tri[e], tri[(e + 1) % 3], cx, cy) > 0) ++inCorners;
                    else ++outside;
                }
                if (outside == 4) ++outEdge;
            }
            if (inCorners == 12) {
                EXPECT_EQ(a, 255) << x << "," << y;
                EXPECT_EQ(pixel(x, y) & 0xFFFFFF, 0xFFFFFFu) << x << "," << y;
                ++full;
            } else if (outEdge > 0) {
                EXPECT_EQ(pixel(x, y), 0u) << x << "," << y;
            } else if (a > 0 && a < 255) {
                ++partial;
            }
        }
    EXPECT_GT(full, 50);
    EXPECT_GT(partial, 30);
    // Each partly covered pixel is off by less than one sixteenth of its area plus rounding.
    EXPECT_NEAR(sum, area, 0.07 * partial);
    EXPECT_NEAR(sum, area, 0.02 * area);
}

TEST_F(AaPolygonTest, AnEdgeThroughPixelCentresCoversHalfAndTheHintChoosesTheGrid) {
    GL(glColor4f)(1, 1, 1, 1);
    // A vertical edge through the centres of column 10; the same shifted by one sixteenth.
    triangle({10.5f, 2.0f}, {20.0f, 7.0f}, {10.5f, 12.0f});
    EXPECT_EQ(alpha(10, 7), alphaOf(8, 16));
    EXPECT_EQ(alpha(9, 7), 0);
    EXPECT_EQ(alpha(11, 7), 255);

    struct Case {
        GLenum hint;
        int covered, samples;
    } cases[] = {{GL_DONT_CARE, 8, 16}, {GL_NICEST, 24, 64}};
    for (const Case &c : cases) {
        GL(glClear)(GL_COLOR_BUFFER_BIT);
        GL(glHint)(GL_POLYGON_SMOOTH_HINT, c.hint);
        triangle({22.625f, 2.0f}, {30.0f, 7.0f}, {22.625f, 12.0f});
        EXPECT_EQ(alpha(22, 7), alphaOf(c.covered, c.samples)) << c.hint;
    }
}

TEST_F(AaPolygonTest, CollinearVerticesDrawNothingAndTheScissorHoldsForInteriorRuns) {
    GL(glColor4f)(1, 1, 1, 1);
    triangle({2.0f, 2.0f}, {10.0f, 6.0f}, {18.0f, 10.0f});
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(pixel(x, y), 0u);

    GL(glScissor)(8, 4, 6, 5);
    GL(glEnable)(GL_SCISSOR_TEST);
    triangle({0.0f, 0.0f}, {32.0f, 0.0f}, {16.0f, 16.0f});
    int full = 0, touched = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool in = x >= 8 && x < 14 && y >= 4 && y < 9;
            if (!in) {
                EXPECT_EQ(pixel(x, y), 0u) << x << "," << y;
                continue;
            }
            full += alpha(x, y) == 255;
            touched += alpha(x, y) > 0;
        }
    // Every pixel of the box is reached; (8, 8) is cut by the left edge y = x.
    EXPECT_EQ(touched, 30);
    EXPECT_EQ(full, 29);
}

TEST_F(AaPolygonTest, EdgePixelsBlendByCoverageAndSmoothColoursAreInterpolated) {
    GL(glClearColor)(0.0f, 0.0f, 1.0f, 0.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glColor4f)(1, 0, 0, 1);
    triangle({10.5f, 2.0f}, {20.0f, 7.0f}, {10.5f, 12.0f});
    // Half covered: half red over blue; fully covered: red; outside: blue.
    const uint32_t edge = pixel(10, 7), inner = pixel(11, 7), outer = pixel(9, 7);
    EXPECT_NEAR(int((edge >> 16) & 0xFF), 128, 1);
    EXPECT_NEAR(int(edge & 0xFF), 128, 1);
    EXPECT_EQ(inner & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(outer & 0xFFFFFF, 0x0000FFu);

    GL(glDisable)(GL_BLEND);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glShadeModel)(GL_SMOOTH);
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor4f)(0, 0, 0, 1);
    GL(glVertex2f)(0.0f, 0.0f);
    GL(glColor4f)(1, 0, 0, 1);
    GL(glVertex2f)(32.0f, 0.0f);
    GL(glColor4f)(0, 0, 0, 1);
    GL(glVertex2f)(0.0f, 16.0f);
    GL(glEnd)();
    // Red grows with x along the interior row: x / 32 at the pixel centre.
    for (int x : {2, 8, 14, 20}) EXPECT_NEAR(int((pixel(x, 3) >> 16) & 0xFF), int(255.0f * (x + 0.5f) / 32.0f + 0.5f), 1) << x;
}

TEST_F(AaPolygonTest, EdgePixelsAndInteriorRunsPassTheSameDepthTest) {
    GL(glColor4f)(1, 1, 1, 1);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    const P tri[3] = {{2.25f, 1.75f}, {27.625f, 3.125f}, {12.125f, 14.875f}};
    struct Case {
        double clearDepth;
        bool drawn;
    } cases[] = {{0.0, false}, {1.0, true}};
    for (const Case &c : cases) {
        GL(glClearDepth)(c.clearDepth);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        triangle(tri[0], tri[1], tri[2]);
        int full = 0, partial = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                full += alpha(x, y) == 255;
                partial += alpha(x, y) > 0 && alpha(x, y) < 255;
            }
        EXPECT_EQ(full > 0 && partial > 0, c.drawn) << c.clearDepth;
        EXPECT_EQ(full + partial > 0, c.drawn) << c.clearDepth;
    }
    // Drawn again at the same depth: GL_LESS now fails everywhere the triangle wrote.
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    triangle(tri[0], tri[1], tri[2]);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(pixel(x, y), 0u) << x << "," << y;
}

}  // namespace
