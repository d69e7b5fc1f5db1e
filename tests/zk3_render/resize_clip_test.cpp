// After a resize the chip's clip rectangle is the whole new drawable: the make-current resize
// and the context's resize both send it, so the chip draws over all of a window that grew.
#include "tests/zk3_render/render_fixture.h"

namespace {

using ResizeClip = RenderPair;

// The last clip method in the command buffer: its point and size words.
bool lastClip(const HwState &hw, uint32_t *point, uint32_t *size) {
    for (uint32_t i = hw.writeIndex; i >= 3; --i)
        if (hw.cpuBase[i - 3] == hwMethodHeader(2, 0, 0x300)) {
            *point = hw.cpuBase[i - 2];
            *size = hw.cpuBase[i - 1];
            return true;
        }
    return false;
}

TEST_F(ResizeClip, AResizeSetsTheChipsClipRectangleToTheDrawable) {
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    HwState &hw = ctx->hw;
    GlDrawable *dr = ctx->handle->drawable;
    uint32_t point = 0, size = 0;

    ASSERT_TRUE(MoveWindow(window->hwnd, 10, 20, 200, 150, TRUE));
    ctx->slots.resizeClip(ctx);
    ASSERT_TRUE(lastClip(hw, &point, &size));
    EXPECT_EQ(point, 0u);
    EXPECT_EQ(size, uint32_t(dr->height) << 16 | uint32_t(dr->width));
    EXPECT_EQ(dr->width, 200);
    EXPECT_EQ(dr->height, 150);

    ASSERT_TRUE(ctx->procs.resize(ctx, 120, 90));
    ASSERT_TRUE(lastClip(hw, &point, &size));
    EXPECT_EQ(size, 90u << 16 | 120u);
    EXPECT_EQ(hw.clipNarrowed, 0);

    // The chip then draws over the whole of the grown window.
    ASSERT_TRUE(MoveWindow(window->hwnd, 10, 20, 260, 200, TRUE));
    ctx->slots.resizeClip(ctx);
    windowProjection(ctx, 260, 200);
    const uint64_t before = zk3TriangleStats().pixelsWritten;
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    GL(glRecti)(0, 0, 260, 200);
    GL(glFinish)();
    EXPECT_EQ(zk3TriangleStats().pixelsWritten - before, 260u * 200u);
}

}  // namespace
