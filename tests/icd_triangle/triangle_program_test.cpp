// Triangles as a program draws them: glBegin(GL_TRIANGLES) through the live table, the vertex
// pipeline, validation and the pickers into the software triangle, on a window context whose
// front colour buffer and depth buffer lie over plain memory. Checked pixel by pixel: coverage
// of two triangles sharing an edge, flat and smooth colours at pixel centres, polygon offset.
#include "tests/icd_triangle/program_fixture.h"

namespace {

class TriangleProgramTest : public ProgramTest {};

TEST_F(TriangleProgramTest, TwoFlatTrianglesCoverTheirSquareOnce) {
    GL(glShadeModel)(GL_FLAT);
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor3f)(0.0f, 0.0f, 1.0f);  // not the provoking vertex's colour
    vertex(4, 2);
    vertex(20, 2);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    vertex(4, 14);
    GL(glColor3f)(0.0f, 0.0f, 1.0f);
    vertex(20, 2);
    vertex(20, 14);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    vertex(4, 14);
    GL(glEnd)();
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    int red = 0, green = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint32_t p = at(x, y);
            bool inside = x >= 4 && x < 20 && y >= 2 && y < 14;
            if (!inside) {
                EXPECT_EQ(p, 0u) << x << "," << y;
                continue;
            }
            EXPECT_TRUE(p == 0xFF0000 || p == 0x00FF00) << x << "," << y << " " << std::hex << p;
            red += p == 0xFF0000;
            green += p == 0x00FF00;
        }
    // 16 x 12 pixels; the diagonal's 12 centres go to one of the two.
    EXPECT_EQ(red + green, 192);
    EXPECT_GE(red, 90);
    EXPECT_GE(green, 90);
}

TEST_F(TriangleProgramTest, SmoothColoursAreThoseOfThePixelCentres) {
    GL(glShadeModel)(GL_SMOOTH);
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor3f)(0.0f, 0.0f, 0.0f);
    vertex(0, 0);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    vertex(32, 0);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    vertex(0, 32);
    GL(glEnd)();
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    int drawn = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (x + y + 1 > 32) continue;
            ++drawn;
            double r = (x + 0.5) * 255.0 / 32 + 0.5, g = (y + 0.5) * 255.0 / 32 + 0.5;
            uint32_t p = at(x, y);
            EXPECT_NEAR(double(p >> 16), std::floor(r), std::fabs(r - std::round(r)) < 1e-3 ? 1 : 0) << x << "," << y;
            EXPECT_NEAR(double((p >> 8) & 0xFF), std::floor(g), std::fabs(g - std::round(g)) < 1e-3 ? 1 : 0)
                << x << "," << y;
        }
    EXPECT_GT(drawn, 300);
}

TEST_F(TriangleProgramTest, PolygonOffsetDecidesBetweenCoplanarTriangles) {
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glClearDepth)(1.0);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    auto triangle = [&](float r, float g, float b) {
        GL(glColor3f)(r, g, b);
        GL(glBegin)(GL_TRIANGLES);
        vertex(2, 2, 0.2f);
        vertex(28, 4, -0.3f);
        vertex(6, 14, 0.1f);
        GL(glEnd)();
    };
    auto count = [&](uint32_t colour) {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) n += at(x, y) == colour;
        return n;
    };
    triangle(1, 0, 0);
    int covered = count(0xFF0000);
    ASSERT_GT(covered, 100);
    // The same triangle again without offset fails GL_LESS everywhere.
    triangle(0, 0, 1);
    EXPECT_EQ(count(0xFF0000), covered);
    GL(glEnable)(GL_POLYGON_OFFSET_FILL);
    GL(glPolygonOffset)(0.0f, -1.0f);  // towards the viewer: wins everywhere
    triangle(0, 1, 0);
    EXPECT_EQ(count(0x00FF00), covered);
    GL(glPolygonOffset)(1.0f, 1.0f);  // away from the viewer: loses everywhere
    triangle(0, 0, 1);
    EXPECT_EQ(count(0x00FF00), covered);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

}  // namespace
