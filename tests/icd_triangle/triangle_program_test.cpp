// Triangles as a program draws them: glBegin(GL_TRIANGLES) through the live table, the vertex
// pipeline, validation and the pickers into the software triangle, on a window context whose
// front colour buffer and depth buffer lie over plain memory. Checked pixel by pixel: coverage
// of two triangles sharing an edge, flat and smooth colours at pixel centres, polygon offset.
#include <cmath>
#include "tests/icd_state/state_fixture.h"
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/depth_buffer.h"

namespace {

constexpr int kW = 32, kH = 16;

class TriangleProgramTest : public StateTest {
protected:
    PlainMemory colorMem, depthMem;

    void SetUp() override {
        IcdTest::SetUp();
        // A window of the buffers' size, so that clears and the clip box stay inside them.
        window = new TestWindow(kSingleFormat, kW, kH);
        handle = DrvCreateContext(window->hdc);
        ASSERT_NE(handle, DHGLRC(0));
        ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
        ctx = contextOf(handle);
        ASSERT_NE(ctx, nullptr);
        __glSetStateDefaults(ctx);
        GlVisual &v = ctx->visual;
        v.rgbaMode = 1;
        v.colorIndexMode = 0;
        v.redMask = 0xFF0000;
        v.greenMask = 0x00FF00;
        v.blueMask = 0x0000FF;
        v.alphaMask = 0;
        v.alphaBits = 0;
        v.colorBits = 32;
        v.depthBits = 16;
        colorMem.setUp(kW, kH, 4);
        GlColorBuffer *cb = &ctx->buffers.color.front;
        __glInitRgbaColorBuffer(cb, ctx);
        cb->head.attach(&cb->head, &colorMem.desc, ctx);
        ctx->buffers.color.frontBuffer = cb;
        GlDepthBuffer *db = &ctx->buffers.depth;
        __glInitDepthBuffer16(db, ctx);
        depthMem.setUp(kW, kH, 2);
        db->head.attach(&db->head, &depthMem.desc, ctx);
        for (int i = 0; i < 2; ++i) {
            ctx->tail.drawableBuffers->descriptors[i].width = kW;
            ctx->tail.drawableBuffers->descriptors[i].height = kH;
        }
        GL(glViewport)(0, 0, kW, kH);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, kW, 0, kH, -1, 1);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
    }
    // The pixel at GL window position (x, y), whichever way the drawable's rows run.
    uint32_t at(int x, int y) {
        int row = ctx->state.transform.drawable.yInverted ? kH - 1 - y : y;
        return colorMem.element(x, row) & 0xFFFFFF;
    }
    void vertex(float x, float y, float z = 0.0f) { GL(glVertex3f)(x, y, z); }
};

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
