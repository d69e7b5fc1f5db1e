// Lit triangles as a program draws them: lights and materials through the live table, then
// glNormal and glVertex inside glBegin/glEnd, the vertex pipeline completing each vertex with
// its lit colour, and the software triangle writing the pixels of a front buffer over plain
// memory.
#include <cmath>
#include "tests/icd_light/light_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {

constexpr int kW = 32, kH = 16;

class LitProgram : public LightTest {
protected:
    PlainMemory colorMem;

    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kW, kH);
        if (HasFatalFailure()) return;
        attachPlainRgb32Front(ctx, colorMem, kW, kH);
        windowProjection(ctx, kW, kH);
        GL(glShadeModel)(GL_FLAT);
        GL(glEnable)(GL_LIGHTING);
        GL(glEnable)(GL_LIGHT0);  // white, from (0, 0, 1) at infinity
    }
    uint32_t at(int x, int y) {
        int row = ctx->state.transform.drawable.yInverted ? kH - 1 - y : y;
        return colorMem.element(x, row) & 0xFFFFFF;
    }
    // A right triangle at the left (counter-clockwise) or the right (clockwise, a back face).
    void triangle(bool front) {
        GL(glBegin)(GL_TRIANGLES);
        if (front) {
            GL(glVertex2f)(1, 1);
            GL(glVertex2f)(15, 1);
            GL(glVertex2f)(1, 15);
        } else {
            GL(glVertex2f)(17, 1);
            GL(glVertex2f)(17, 15);
            GL(glVertex2f)(31, 1);
        }
        GL(glEnd)();
    }
    void expectChannels(uint32_t pixel, double r, double g, double b) {
        EXPECT_NEAR(double(pixel >> 16), r, 1.0) << std::hex << pixel;
        EXPECT_NEAR(double((pixel >> 8) & 0xFF), g, 1.0) << std::hex << pixel;
        EXPECT_NEAR(double(pixel & 0xFF), b, 1.0) << std::hex << pixel;
    }
};

// The default material under the default light: 0.2 x 0.2 ambient plus 0.8 x (N . L) diffuse.
TEST_F(LitProgram, DiffuseFollowsTheNormal) {
    GL(glNormal3f)(0.0f, 0.6f, 0.8f);
    triangle(true);
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    double lit = (0.04 + 0.8 * 0.8) * 255.0;
    expectChannels(at(4, 4), lit, lit, lit);
    EXPECT_EQ(at(20, 4), 0u);
}

// Two-sided lighting: the back face is lit with the back material and the reversed normal,
// which faces away from the light, so only its ambient terms remain.
TEST_F(LitProgram, TwoSidedBackFacesUseTheBackMaterial) {
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    GL(glMaterialfv)(GL_BACK, GL_AMBIENT, red);
    GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
    GL(glNormal3f)(0.0f, 0.0f, 1.0f);
    triangle(true);
    triangle(false);
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    double front = (0.04 + 0.8) * 255.0;
    expectChannels(at(4, 4), front, front, front);
    expectChannels(at(20, 3), 0.2 * 255.0, 0.0, 0.0);
}

// Colour material: glColor inside the primitive sets the diffuse and ambient material of the
// vertices that follow.
TEST_F(LitProgram, ColourMaterialTracksGlColor) {
    GL(glEnable)(GL_COLOR_MATERIAL);  // front and back, ambient and diffuse
    GL(glNormal3f)(0.0f, 0.0f, 1.0f);
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor3f)(0.0f, 1.0f, 0.5f);
    GL(glVertex2f)(1, 1);
    GL(glVertex2f)(15, 1);
    GL(glVertex2f)(1, 15);
    GL(glEnd)();
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    // model ambient 0.2 x K + light diffuse 1 x K x 1
    expectChannels(at(4, 4), 0.0, 1.2 * 255.0 > 255.0 ? 255.0 : 1.2 * 255.0, 0.6 * 255.0);
}

}  // namespace
