// Blending as a program asks for it: glEnable(GL_BLEND) and glBlendFunc through the live table,
// validation choosing the blend procs, and triangles stored through them.
#include "tests/icd_triangle/program_fixture.h"

namespace {

class BlendProgramTest : public ProgramTest {
protected:
    void quad(float r, float g, float b, float a) {
        GL(glColor4f)(r, g, b, a);
        GL(glBegin)(GL_TRIANGLES);
        vertex(0, 0);
        vertex(kW, 0);
        vertex(0, kH);
        vertex(kW, 0);
        vertex(kW, kH);
        vertex(0, kH);
        GL(glEnd)();
    }
    // Every pixel of the drawable has this colour.
    void expectEverywhere(uint32_t colour) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(at(x, y), colour) << x << "," << y;
    }
};

TEST_F(BlendProgramTest, BlendFunctionsChosenByValidationMixTheColours) {
    quad(1, 0, 0, 1);
    expectEverywhere(0xFF0000);
    GL(glEnable)(GL_BLEND);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    quad(0, 1, 0, 0.25f);  // 0.75 x 255 = 191.25 red, 0.25 x 255 = 63.75 green
    expectEverywhere(0xBF4000);
    GL(glBlendFunc)(GL_ONE, GL_ONE);
    quad(0.5f, 0.5f, 0.5f, 1);  // saturates red, adds to green and blue
    expectEverywhere(0xFFC080);
    GL(glBlendFunc)(GL_ZERO, GL_ONE_MINUS_SRC_COLOR);
    quad(0, 0.5f, 1, 1);  // keeps red, halves green, clears blue
    expectEverywhere(0xFF6000);
    GL(glDisable)(GL_BLEND);
    quad(0, 0, 1, 0);
    expectEverywhere(0x0000FF);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

}  // namespace
