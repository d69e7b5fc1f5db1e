// Software drawing into a window the chip draws into: the context's buffer-access procs lock the
// DirectDraw surfaces around it, pixels drawn by the CPU land between the chip's triangles in the
// order the program drew them, a software depth buffer is cleared like any other, and a lock the
// surface refuses loses one frame's drawing, not the chip.
#include <cstdlib>

#include "tests/zk3_render/render_fixture.h"
#include "icd/hw/hw_pick.h"
#include "icd/hw/hw_surface.h"
#include "icd/pixel/pixel_ops.h"
#include "platform/ddraw_nt/ddraw_nt.h"

namespace {


// Red by the chip, a green block of pixels by the CPU over part of it, blue by the chip over part
// of the block, an XOR rectangle by the software rasteriser over the blue, red by the chip over
// that.
void layered(GlContext *ctx) {
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    rect(ctx, 4, 4, 40, 40);
    static uint8_t green[20][30][3];
    for (auto &row : green)
        for (auto &px : row) px[0] = 0, px[1] = 255, px[2] = 0;
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glRasterPos2i)(20, 20);
    GL(glDrawPixels)(30, 20, GL_RGB, GL_UNSIGNED_BYTE, green);
    GL(glColor3f)(0.0f, 0.0f, 1.0f);
    rect(ctx, 40, 30, 70, 50);
    // A state only the software draws: white XOR over the blue and the black beside it.
    GL(glEnable)(GL_COLOR_LOGIC_OP);
    GL(glLogicOp)(GL_XOR);
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    rect(ctx, 60, 40, 90, 60);
    GL(glDisable)(GL_COLOR_LOGIC_OP);
    // The chip again, over part of what the software drew.
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    rect(ctx, 80, 50, 94, 62);
}

bool is(const Picture &p, int x, int y, int r, int g, int b) {
    const uint8_t *c = p.at(x, y);
    return std::abs(c[0] - r) <= 8 && std::abs(c[1] - g) <= 8 && std::abs(c[2] - b) <= 8;
}

}  // namespace

TEST_F(RenderPair, PixelsDrawnByTheCpuLandBetweenTheChipsTriangles) {
    uint64_t chip = 0;
    const Picture p = draw(true, [](GlContext *ctx) {
        layered(ctx);
        EXPECT_EQ(ctx->buffers.prepare, __glHwBeginBufferAccess);
        EXPECT_EQ(ctx->buffers.release, __glHwEndBufferAccess);
        EXPECT_EQ(ctx->buffers.drawableLock, __glHwBeginDrawAccess);
        EXPECT_EQ(ctx->buffers.drawableUnlock, __glHwEndDrawAccess);
    }, &chip);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(chip, 0u);
    struct Probe {
        int x, y, r, g, b;
    };
    const Probe probes[] = {
        {10, 10, 255, 0, 0},   // the chip's red alone
        {25, 25, 0, 255, 0},   // the CPU's green over the red
        {45, 25, 0, 255, 0},   // green where nothing was before it
        {45, 35, 0, 0, 255},   // the chip's blue over the green
        {55, 45, 0, 0, 255},   // blue alone
        {30, 50, 0, 0, 0},     // nothing drawn
        {65, 45, 255, 255, 0}, // white XOR blue, in software after the chip's blue
        {75, 55, 255, 255, 255},  // white XOR black
        {85, 55, 255, 0, 0},   // the chip's red after the software's XOR
    };
    for (const Probe &q : probes)
        EXPECT_TRUE(is(p, q.x, q.y, q.r, q.g, q.b))
            << q.x << "," << q.y << ": " << int(p.at(q.x, q.y)[0]) << "," << int(p.at(q.x, q.y)[1]) << ","
            << int(p.at(q.x, q.y)[2]);
    // And the software road draws the same.
    expectSamePicture(layered);
}

// A depth buffer deeper than the chip's is the software kind, cleared through the buffer-access
// procs: each frame's far rectangle must pass against the cleared depth, not the last frame's.
TEST_F(RenderPair, ADeepSoftwareDepthBufferIsClearedEveryFrame) {
    setenv("GLFORCEZBITS", "24", 1);
    open(true);
    unsetenv("GLFORCEZBITS");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(ctx->buffers.depth.head.elementSize, 4);
    zk3DrawClearErrors();
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // Near in the first frame, farther in each one after.
        GL(glColor3f)(0.0f, 1.0f, 0.0f);
        rect(ctx, 10, 10, 50, 50, 0.5f - 0.4f * float(frame));
        GL(glFinish)();
        const Picture p = readBack();
        EXPECT_TRUE(is(p, 30, 30, 0, 255, 0)) << int(p.at(30, 30)[0]) << "," << int(p.at(30, 30)[1]);
    }
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
    closeContext();
}

// The back buffer's lock answers busy once, to a glDrawPixels: its pixels are lost and the device
// is marked lost; the software draws the next rectangle, and the lock that works for it gives the
// chip back for the one after.
TEST_F(RenderPair, ARefusedLockLosesTheDrawingNotTheChip) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    zk3DrawClearErrors();
    GL(glColor3f)(1.0f, 1.0f, 0.0f);
    rect(ctx, 4, 4, 20, 20);
    static uint8_t green[16][16][3];
    for (auto &row : green)
        for (auto &px : row) px[0] = 0, px[1] = 255, px[2] = 0;
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glRasterPos2i)(30, 4);
    kivDDrawBusyLocks(1);
    GL(glDrawPixels)(16, 16, GL_RGB, GL_UNSIGNED_BYTE, green);
    kivDDrawResetInjections();
    EXPECT_EQ(ctx->hw.hardwareLost, 1);
    uint64_t before = zk3TriangleStats().pixelsWritten;
    rect(ctx, 60, 4, 80, 20);
    EXPECT_EQ(zk3TriangleStats().pixelsWritten, before) << "drawn by the software while the chip is lost";
    EXPECT_EQ(ctx->hw.hardwareLost, 0) << "its lock worked";
    before = zk3TriangleStats().pixelsWritten;
    rect(ctx, 4, 30, 20, 46);
    GL(glFinish)();
    EXPECT_GT(zk3TriangleStats().pixelsWritten, before) << "the chip draws again";
    const Picture p = readBack();
    EXPECT_TRUE(is(p, 10, 10, 255, 255, 0));
    EXPECT_TRUE(is(p, 40, 10, 0, 0, 0)) << "the pixels drawn while the lock was refused";
    EXPECT_TRUE(is(p, 70, 10, 255, 255, 0));
    EXPECT_TRUE(is(p, 10, 40, 255, 255, 0));
    EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
    closeContext();
}

// The primitives right after a refused lock: the first batch's lock gives the chip back, and the
// batches after it in the same glBegin/glEnd are drawn all the same.
TEST_F(RenderPair, EveryBatchAfterTheLockThatGivesTheChipBackIsDrawn) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    static uint8_t pixel[3] = {0, 0, 255};
    GL(glRasterPos2i)(90, 60);
    kivDDrawBusyLocks(1);
    GL(glDrawPixels)(1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    kivDDrawResetInjections();
    ASSERT_EQ(ctx->hw.hardwareLost, 1);
    // 24 x 12 cells of 3 x 4 pixels, each a quad of two triangles: 576 triangles in one glBegin.
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    GL(glBegin)(GL_TRIANGLES);
    for (int cy = 0; cy < 12; ++cy)
        for (int cx = 0; cx < 24; ++cx) {
            const float x0 = float(4 * cx), y0 = float(5 * cy), x1 = x0 + 3, y1 = y0 + 4;
            GL(glVertex2f)(x0, y0);
            GL(glVertex2f)(x1, y0);
            GL(glVertex2f)(x1, y1);
            GL(glVertex2f)(x0, y0);
            GL(glVertex2f)(x1, y1);
            GL(glVertex2f)(x0, y1);
        }
    GL(glEnd)();
    GL(glFinish)();
    const Picture p = readBack();
    int missing = 0;
    for (int cy = 0; cy < 12; ++cy)
        for (int cx = 0; cx < 24; ++cx) missing += !is(p, 4 * cx + 1, 5 * cy + 2, 255, 255, 255);
    EXPECT_EQ(missing, 0);
    closeContext();
}

// The clear right after a refused lock: its colour part takes the lock that gives the chip back,
// and its depth part must still clear, or the next frame's farther rectangle fails against the
// last frame's depths.
TEST_F(RenderPair, TheClearWhoseLockGivesTheChipBackClearsEveryBuffer) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glDepthFunc)(GL_LESS);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    rect(ctx, 10, 10, 50, 50, 0.5f);  // near (window z 0.25)
    static uint8_t pixel[3] = {0, 0, 255};
    GL(glRasterPos2i)(80, 60);
    kivDDrawBusyLocks(1);
    GL(glDrawPixels)(1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    kivDDrawResetInjections();
    ASSERT_EQ(ctx->hw.hardwareLost, 1);
    GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    rect(ctx, 10, 10, 50, 50, -0.5f);  // farther (window z 0.75)
    GL(glFinish)();
    const Picture p = readBack();
    EXPECT_TRUE(is(p, 30, 30, 0, 255, 0)) << int(p.at(30, 30)[0]) << "," << int(p.at(30, 30)[1]);
    EXPECT_EQ(ctx->hw.hardwareLost, 0);
    closeContext();
}

// A bitmap is drawn by the CPU after what the chip has pending: chip red, a yellow bitmap over
// part of it, chip blue over part of the bitmap, each visible where the later one is not.
TEST_F(RenderPair, ABitmapLandsBetweenTheChipsTriangles) {
    auto scene = [](GlContext *ctx) {
        GL(glColor3f)(1.0f, 0.0f, 0.0f);
        rect(ctx, 4, 4, 40, 40);
        static const uint8_t ones[16 * 2] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                             0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        GL(glColor3f)(1.0f, 1.0f, 0.0f);
        GL(glRasterPos2i)(30, 30);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glBitmap)(16, 16, 0, 0, 0, 0, ones);
        if (inVideoMemory(ctx->buffers.color.back.head.base)) {
            EXPECT_EQ(ctx->state.pixelOps.bitmapRenderer, &__glHwFlushThenSoftBitmap);
        }
        GL(glColor3f)(0.0f, 0.0f, 1.0f);
        rect(ctx, 40, 40, 60, 60);
    };
    uint64_t chip = 0;
    const Picture p = draw(true, scene, &chip);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(chip, 0u);
    EXPECT_TRUE(is(p, 10, 10, 255, 0, 0));    // red alone
    EXPECT_TRUE(is(p, 35, 35, 255, 255, 0));  // the bitmap over the red
    EXPECT_TRUE(is(p, 43, 43, 0, 0, 255));    // the chip's blue over the bitmap
    EXPECT_TRUE(is(p, 55, 55, 0, 0, 255));    // blue alone
    expectSamePicture(scene);
}
