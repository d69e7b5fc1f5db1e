// A window's back, depth and stencil buffers are the drawable's plain memory: a program clears
// and draws into them through the live table and the pixels are there.
#include "tests/icd_state/state_fixture.h"
#include "icd/hw/drawable_buffers.h"

namespace {

class WindowBackBuffer : public StateTest {
protected:
    const GlBufferDescriptor &desc(GlDescriptorIndex i) { return ctx->tail.drawableBuffers->descriptors[i]; }
    uint16_t backPixel(int x, int y) {
        const GlBufferDescriptor &b = desc(kGlDescriptorBack);
        uint16_t p;
        std::memcpy(&p, b.base + y * b.pitchBytes + x * 2, 2);
        return p;
    }
};

TEST_F(WindowBackBuffer, ClearsAndTrianglesLandInTheDrawablesMemory) {
    ASSERT_EQ(desc(kGlDescriptorBack).resize, __glMemBufferResize);
    ASSERT_EQ(desc(kGlDescriptorBack).width, 320);
    GL(glViewport)(0, 0, 320, 240);
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glLoadIdentity)();
    GL(glOrtho)(0, 320, 0, 240, -1, 1);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glLoadIdentity)();
    GL(glDisable)(GL_DITHER);
    GL(glClearColor)(0.0f, 0.0f, 1.0f, 0.0f);
    GL(glClearDepth)(1.0);
    GL(glClearStencil)(0x21);
    GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    EXPECT_EQ(backPixel(0, 0), 0x001F);
    EXPECT_EQ(backPixel(319, 239), 0x001F);
    const GlBufferDescriptor &depth = desc(kGlDescriptorDepth), &stencil = desc(kGlDescriptorStencil);
    uint16_t z;
    std::memcpy(&z, depth.base + 100 * depth.pitchBytes + 100 * 2, 2);
    EXPECT_NE(z, 0) << "the depth clear wrote the far value";
    EXPECT_EQ(stencil.base[100 * stencil.pitchBytes + 100], 0x21);

    GL(glEnable)(GL_DEPTH_TEST);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    GL(glBegin)(GL_TRIANGLES);
    GL(glVertex3f)(10, 10, 0);
    GL(glVertex3f)(110, 10, 0);
    GL(glVertex3f)(10, 110, 0);
    GL(glEnd)();
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(backPixel(20, 20), 0x7C00);
    EXPECT_EQ(backPixel(100, 100), 0x001F);
}

}  // namespace
