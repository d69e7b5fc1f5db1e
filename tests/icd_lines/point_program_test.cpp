// Points drawn by a program through the live table: size 1 at and beside pixel centres, aliased
// squares, the scissor, distance attenuation, antialiased coverage and fog.
#include "tests/icd_lines/lines_fixture.h"

namespace {

class PointProgramTest : public LinesTest {};

std::string describe(const PixelSet &s) {
    std::string out;
    for (auto [x, y] : s) out += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    return out;
}

TEST_F(PointProgramTest, AliasedPointsCoverTheirSquare) {
    struct Row {
        float size, x, y;
        int x0, y0, x1, y1;  // the square, inclusive
    };
    const Row rows[] = {
        {1, 10.0f, 5.0f, 10, 5, 10, 5},  // on a pixel corner: the pixel up and right
        {1, 9.9f, 5.1f, 9, 5, 9, 5},
        {1, 3.5f, 7.5f, 3, 7, 3, 7},
        {2, 10.0f, 5.0f, 9, 4, 10, 5},   // even sizes centre on the nearest corner
        {2, 10.3f, 5.8f, 9, 5, 10, 6},
        {3, 10.0f, 5.0f, 9, 4, 11, 6},   // odd sizes on the pixel holding the point
        {3, 10.9f, 5.9f, 9, 4, 11, 6},
        {4, 10.4f, 8.6f, 8, 7, 11, 10},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "size " << r.size << " at " << r.x << "," << r.y);
        clearPixels();
        GL(glPointSize)(r.size);
        point(r.x, r.y);
        EXPECT_EQ(describe(lit()), describe(rect(r.x0, r.y0, r.x1, r.y1)));
    }
}

TEST_F(PointProgramTest, ScissorCutsPointsOfEverySize) {
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glScissor)(4, 3, 6, 5);  // x 4..9, y 3..7
    GL(glPointSize)(1.0f);
    point(2.5f, 5.5f);  // outside: a size-1 point is clipped as well
    point(5.5f, 5.5f);
    GL(glPointSize)(5.0f);
    point(9.5f, 7.5f);
    PixelSet expected = rect(7, 5, 9, 7);
    expected.insert({5, 5});
    EXPECT_EQ(describe(lit()), describe(expected));
}

// With attenuation (0, 0, 1) the size is the requested one over the eye distance squared's root:
// 8 at distance 2 gives 4.
TEST_F(PointProgramTest, AttenuationScalesBySize) {
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glLoadIdentity)();
    GL(glOrtho)(0, kW, 0, kH, -10, 10);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glTranslatef)(0.0f, 0.0f, -2.0f);
    GL(glPointSize)(8.0f);
    ctx->state.point.pointAttenuation[0] = 0.0f;
    ctx->state.point.pointAttenuation[2] = 1.0f;
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= 0x1;
    point(10.0f, 8.0f);
    EXPECT_EQ(ctx->state.pick.pointSizeProc, __glPointSizeAttenuateAliased);
    EXPECT_EQ(describe(lit()), describe(rect(8, 6, 11, 9)));
    // Smooth: a disc of diameter 4 around the same corner.
    clearPixels();
    GL(glEnable)(GL_POINT_SMOOTH);
    point(10.0f, 8.0f);
    EXPECT_EQ(ctx->state.pick.pointSizeProc, __glPointSizeAttenuateAntiAlias);
    PixelSet l = lit();
    EXPECT_TRUE(l.count({8, 7}) && l.count({11, 8}) && l.count({9, 9}));
    EXPECT_FALSE(l.count({7, 7}) || l.count({12, 8}) || l.count({7, 6}));
}

// Coverage through blending, white over black: the red channel is 255 times the coverage.
TEST_F(PointProgramTest, AntialiasedPointCoverage) {
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    GL(glEnable)(GL_POINT_SMOOTH);
    struct Row {
        float size;
        int dx, dy;
        int sixteenths;
    };
    const Row rows[] = {
        {1, 0, 0, 12},  // the four corner samples lie outside a radius of 1/2
        {1, 1, 0, 0},
        {2, 0, 0, 16},
        {2, 1, 0, 8},
        {2, 0, -1, 8},
        {2, 1, 1, 1},
        {2, 2, 0, 0},
        {3, 1, 0, 16},
        {3, 1, 1, 8},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "size " << r.size << " pixel " << r.dx << "," << r.dy);
        clearPixels();
        GL(glPointSize)(r.size);
        point(10.5f, 6.5f);
        EXPECT_NEAR(red(10 + r.dx, 6 + r.dy), 255.0 * r.sixteenths / 16.0, 1.0);
    }
}

// A fogged point is fogged once, by the fog wrapper, whether it is aliased or smooth.
TEST_F(PointProgramTest, FoggedPointsAreFoggedOnce) {
    GL(glEnable)(GL_FOG);
    GL(glFogi)(GL_FOG_MODE, GL_LINEAR);
    GL(glFogf)(GL_FOG_START, 0.0f);
    GL(glFogf)(GL_FOG_END, 2.0f);
    const float fogColor[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    GL(glFogfv)(GL_FOG_COLOR, fogColor);
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glLoadIdentity)();
    GL(glOrtho)(0, kW, 0, kH, -10, 10);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glTranslatef)(0.0f, 0.0f, -1.0f);  // half-way: factor 1/2
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    point(4.5f, 4.5f);
    EXPECT_NEAR(red(4, 4), 127.5, 1.0);
    EXPECT_NEAR(blue(4, 4), 127.5, 1.0);
    GL(glEnable)(GL_POINT_SMOOTH);
    GL(glPointSize)(3.0f);
    point(10.5f, 4.5f);  // the centre pixel is fully covered
    EXPECT_NEAR(red(10, 4), 127.5, 1.0);
    EXPECT_NEAR(blue(10, 4), 127.5, 1.0);
}

}  // namespace
