// Antialiased lines and points drawn by the chip beside the same scene drawn by the software
// rasteriser. The chip antialiases with its built-in textures, not by coverage, so the pictures
// are compared in what both must keep: the primitive's colour well inside it, nothing well
// outside it, and a width, size or amount of colour within bounds that follow from the geometry
// of the chip's quads and textures (stated with each check).
#include <cmath>

#include "tests/zk3_render/render_fixture.h"

namespace {

// Red in 0..1 of a pixel of a picture drawn over black: the colour's share there.
double share(const Picture &p, int x, int y) { return p.at(x, y)[0] / 255.0; }
bool untouched(const Picture &p, int x, int y) { return p.at(x, y)[0] == 0 && p.at(x, y)[1] == 0 && p.at(x, y)[2] == 0; }

// Pixel centres d (whole numbers) with |d| < half: the rows a quad edge-to-edge 2 half wide,
// centred on a pixel centre, covers.
int centresWithin(double half) {
    int n = 0;
    for (int d = -40; d <= 40; ++d) n += std::fabs(double(d)) < half;
    return n;
}

constexpr int kLineRow = 20, kLineX0 = 8, kLineX1 = 88, kColumn = 48;
constexpr int kPointX = 48, kPointY = 32;

class SmoothPair : public RenderPair {
protected:
    struct Pictures {
        Picture chip, soft;
    };
    Pictures both(const Scene &scene) {
        Pictures p;
        uint64_t chip = 0, none = 0;
        p.chip = draw(true, scene, &chip);
        p.soft = draw(false, scene, &none);
        EXPECT_GT(chip, 0u) << "the chip drew";
        EXPECT_EQ(none, 0u);
        return p;
    }
    static void setUp(GlContext *ctx, bool blend) {
        if (blend) {
            GL(glEnable)(GL_BLEND);
            GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        GL(glColor4f)(1.0f, 1.0f, 0.0f, 1.0f);
    }
};

}  // namespace

// A horizontal line through the centres of row 20, across columns 8 to 88.
TEST_F(SmoothPair, LinesOfEveryWidthBlendedAndNot) {
    for (const bool blend : {false, true})
        for (const float width : {1.0f, 2.5f, 5.0f}) {
            SCOPED_TRACE(std::string(blend ? "blended" : "unblended") + " width " + std::to_string(width));
            const Pictures p = both([=](GlContext *ctx) {
                setUp(ctx, blend);
                GL(glEnable)(GL_LINE_SMOOTH);
                GL(glLineWidth)(width);
                GL(glBegin)(GL_LINES);
                GL(glVertex2f)(float(kLineX0), kLineRow + 0.5f);
                GL(glVertex2f)(float(kLineX1), kLineRow + 0.5f);
                GL(glEnd)();
            });
            ASSERT_FALSE(HasFatalFailure());
            for (const Picture *pic : {&p.chip, &p.soft}) {
                const char *road = pic == &p.chip ? "chip" : "software";
                // Well inside: the line's colour, on the row the line runs through.
                EXPECT_GE(share(*pic, kColumn, kLineRow), 0.9) << road;
                // Well outside: one pixel beyond the chip's quad (half width + 1) and beyond the ends.
                const int beyond = int(std::ceil(width / 2 + 1)) + 1;
                for (int x = 0; x < kPicW; x += 3) {
                    EXPECT_TRUE(untouched(*pic, x, kLineRow + beyond)) << road << " x " << x;
                    EXPECT_TRUE(untouched(*pic, x, kLineRow - beyond)) << road << " x " << x;
                }
                EXPECT_TRUE(untouched(*pic, kLineX0 - 3, kLineRow)) << road;
                EXPECT_TRUE(untouched(*pic, kLineX1 + 3, kLineRow)) << road;
            }
            // The same length: the rows' touched columns agree within a pixel at each end.
            int chipColumns = 0, softColumns = 0;
            for (int x = 0; x < kPicW; ++x) {
                chipColumns += !untouched(p.chip, x, kLineRow);
                softColumns += !untouched(p.soft, x, kLineRow);
            }
            EXPECT_NEAR(chipColumns, softColumns, 2);
            double chipInk = 0, softInk = 0;
            int chipRows = 0, softRows = 0;
            for (int y = 0; y < kPicH; ++y) {
                chipInk += share(p.chip, kColumn, y);
                softInk += share(p.soft, kColumn, y);
                chipRows += !untouched(p.chip, kColumn, y);
                softRows += !untouched(p.soft, kColumn, y);
            }
            if (!blend) {
                // Unblended, the chip writes its whole quad, w + 2 wide; the software writes every
                // pixel the w wide line covers in part: ceil(w) to ceil(w) + 2 rows.
                EXPECT_EQ(chipRows, centresWithin(width / 2 + 1));
                EXPECT_GE(softRows, int(std::ceil(width)));
                EXPECT_LE(softRows, int(std::ceil(width)) + 2);
                EXPECT_LE(std::abs(chipRows - softRows), 2);
            } else {
                // Blended, the software's coverage adds up to the width. The chip's alpha is the
                // line texture's opaque row filtered across the quad: a tent that is 1 on the line
                // and 0 at distance (w + 2) / 3 (one texel of the three the quad spans), so the
                // chip's colour adds up to about (w + 2) / 3: the width for width 1, less for
                // wider lines. 5-bit channels and 4-bit texels allow a quarter pixel.
                const double h = (width + 2) / 3;
                double tent = 0;
                for (int d = -10; d <= 10; ++d) tent += std::max(0.0, 1 - std::fabs(double(d)) / h);
                EXPECT_NEAR(softInk, width, 0.3);
                EXPECT_NEAR(chipInk, tent, 0.25);
                EXPECT_LE(chipInk, softInk + 0.3) << "never more colour than the line holds";
            }
        }
}

TEST_F(SmoothPair, PointsOfEverySizeBlendedAndNot) {
    const double pi = std::acos(-1.0);
    for (const bool blend : {false, true})
        for (const float size : {1.0f, 4.0f, 9.5f}) {
            SCOPED_TRACE(std::string(blend ? "blended" : "unblended") + " size " + std::to_string(size));
            const Pictures p = both([=](GlContext *ctx) {
                setUp(ctx, blend);
                GL(glEnable)(GL_POINT_SMOOTH);
                GL(glPointSize)(size);
                GL(glBegin)(GL_POINTS);
                GL(glVertex2f)(kPointX + 0.5f, kPointY + 0.5f);
                GL(glEnd)();
            });
            ASSERT_FALSE(HasFatalFailure());
            double chipInk = 0, softInk = 0;
            int chipTouched = 0, softTouched = 0, softOnly = 0;
            for (int y = 0; y < kPicH; ++y)
                for (int x = 0; x < kPicW; ++x) {
                    // Well outside: a pixel and a half beyond the disc; unblended, the chip's
                    // whole square is written, so beyond the square for the chip.
                    const double r = std::hypot(double(x - kPointX), double(y - kPointY));
                    const double square = std::max(std::abs(x - kPointX), std::abs(y - kPointY));
                    const double limit = size / 2 + 1.5;
                    if (r > limit) {
                        EXPECT_TRUE(untouched(p.soft, x, y)) << "software " << x << "," << y;
                    }
                    if ((blend ? r : square) > limit) {
                        EXPECT_TRUE(untouched(p.chip, x, y)) << "chip " << x << "," << y;
                    }
                    chipInk += share(p.chip, x, y);
                    softInk += share(p.soft, x, y);
                    chipTouched += !untouched(p.chip, x, y);
                    softTouched += !untouched(p.soft, x, y);
                    softOnly += untouched(p.chip, x, y) && !untouched(p.soft, x, y);
                }
            EXPECT_GE(share(p.chip, kPointX, kPointY), 0.9);
            EXPECT_GE(share(p.soft, kPointX, kPointY), 0.7);  // a size-1 disc covers 0.785 of its pixel
            if (!blend) {
                // Unblended, the chip writes its whole square, size + 1 wide (pixels on its edges
                // go to one side), which holds the software's disc.
                const int n = centresWithin(size / 2 + 0.5);
                EXPECT_GE(chipTouched, n * n);
                EXPECT_LE(chipTouched, (n + 1) * (n + 1));
                EXPECT_LE(softOnly, 0);
            } else {
                // Blended, the dot's rim lies within half a pixel of the point's radius for the
                // sizes its level serves, so the colour adds up to the disc's area within a
                // quarter (and a pixel for the smallest points).
                const double disc = pi * size * size / 4;
                EXPECT_NEAR(softInk, disc, 0.1 * disc + 0.5);
                EXPECT_NEAR(chipInk, disc, 0.25 * disc + 1.0);
            }
        }
}

TEST_F(SmoothPair, AZeroLengthLineDrawsNothingOnTheChip) {
    uint64_t chip = 0;
    const Picture p = draw(true, [](GlContext *ctx) {
        setUp(ctx, true);
        GL(glEnable)(GL_LINE_SMOOTH);
        GL(glLineWidth)(2.5f);
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(40.5f, 30.5f);
        GL(glVertex2f)(40.5f, 30.5f);
        GL(glEnd)();
    }, &chip);
    EXPECT_EQ(chip, 0u);
    for (int y = 0; y < kPicH; ++y)
        for (int x = 0; x < kPicW; ++x) EXPECT_TRUE(untouched(p, x, y)) << x << "," << y;
}
