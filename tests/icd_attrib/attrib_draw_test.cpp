// A pop changes what the next draw does: validation picks the procs of the restored state.
// Each case draws under the pushed-over state first, so the procs of that state are installed
// when the pop comes.
#include "tests/icd_triangle/program_fixture.h"

namespace {

class AttribDraw : public ProgramTest {
protected:
    void quad(float r, float g, float b, float a, float z) {
        GL(glColor4f)(r, g, b, a);
        GL(glBegin)(GL_TRIANGLES);
        vertex(0, 0, z);
        vertex(kW, 0, z);
        vertex(0, kH, z);
        vertex(kW, 0, z);
        vertex(kW, kH, z);
        vertex(0, kH, z);
        GL(glEnd)();
    }
    void expectEverywhere(uint32_t colour) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(at(x, y), colour) << x << "," << y;
    }
};

TEST_F(AttribDraw, RestoredDepthFunctionDecidesTheNextDraw) {
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glClearDepth)(1.0);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glPushAttrib)(GL_DEPTH_BUFFER_BIT);
    GL(glDepthFunc)(GL_ALWAYS);
    quad(0, 0, 1, 1, -0.5f);
    expectEverywhere(0x0000FF);
    GL(glPopAttrib)();
    quad(0, 1, 0, 1, -0.75f);  // farther: fails GL_LESS
    expectEverywhere(0x0000FF);
    quad(1, 0, 0, 1, 0.0f);  // nearer: passes
    expectEverywhere(0xFF0000);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

TEST_F(AttribDraw, EnableBitBringsBlendingBack) {
    GL(glBlendFunc)(GL_ONE, GL_ONE);
    GL(glEnable)(GL_BLEND);
    quad(0.25f, 0, 0, 1, 0);
    GL(glPushAttrib)(GL_ENABLE_BIT);
    GL(glDisable)(GL_BLEND);
    quad(0, 0, 0.5f, 1, 0);  // replaces
    expectEverywhere(0x000080);
    GL(glPopAttrib)();
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    quad(0.5f, 0, 0, 1, 0);  // adds
    expectEverywhere(0x800080);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

TEST_F(AttribDraw, ColourBufferBitRebuildsTheAlphaTest) {
    GL(glEnable)(GL_ALPHA_TEST);
    GL(glAlphaFunc)(GL_GREATER, 0.5f);
    GL(glPushAttrib)(GL_COLOR_BUFFER_BIT);
    GL(glAlphaFunc)(GL_ALWAYS, 0.0f);
    quad(0, 0, 1, 0.25f, 0);
    expectEverywhere(0x0000FF);
    GL(glPopAttrib)();
    quad(1, 0, 0, 0.25f, 0);  // alpha 0.25 fails GL_GREATER 0.5
    expectEverywhere(0x0000FF);
    quad(0, 1, 0, 0.75f, 0);
    expectEverywhere(0x00FF00);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

TEST_F(AttribDraw, ScissorBitBringsTheBoxAndTheTestBack) {
    GL(glScissor)(0, 0, kW / 2, kH);
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glPushAttrib)(GL_SCISSOR_BIT);
    GL(glScissor)(0, 0, kW, kH);
    GL(glDisable)(GL_SCISSOR_TEST);
    quad(0, 0, 1, 1, 0);
    expectEverywhere(0x0000FF);
    GL(glPopAttrib)();
    quad(1, 0, 0, 1, 0);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(at(x, y), x < kW / 2 ? 0xFF0000u : 0x0000FFu) << x << "," << y;
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

// The array draw after a client pop fetches from the restored pointer.
TEST_F(AttribDraw, ClientPopPutsTheArraysBackForTheNextArrayDraw) {
    const float w = kW, h = kH, m = kW / 2;
    const float left[12] = {0, 0, m, 0, 0, h, m, 0, m, h, 0, h};
    const float right[12] = {m, 0, w, 0, m, h, w, 0, w, h, m, h};
    GL(glVertexPointer)(2, GL_FLOAT, 0, left);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glPushClientAttrib)(GL_CLIENT_VERTEX_ARRAY_BIT);
    GL(glVertexPointer)(2, GL_FLOAT, 0, right);
    GL(glColor3f)(0, 0, 1);
    GL(glDrawArrays)(GL_TRIANGLES, 0, 6);
    GL(glPopClientAttrib)();
    GL(glColor3f)(1, 0, 0);
    GL(glDrawArrays)(GL_TRIANGLES, 0, 6);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(at(x, y), x < kW / 2 ? 0xFF0000u : 0x0000FFu) << x << "," << y;
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

}  // namespace
