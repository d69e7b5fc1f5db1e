// The chip's buffers: the buffer objects every drawable gets, clears as fill commands, the clip
// rectangle, and software access that recovers from a drawable lock that failed once.
#include "tests/icd_hwprim/hwprim_fixture.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"

namespace {

class HwSurfaces : public HwPrimTest {
protected:
    void SetUp() override {
        HwPrimTest::SetUp();
        buffers(true);
        triangle(8, 4, 40, 4, 8, 28);  // validates and sends the surface words
        flushed();
        zk3EngineClearLog();
    }
};

TEST_F(HwSurfaces, EveryRgbaBufferAndTheSixteenBitDepthBufferGetTheChipsProcs) {
    const GlColorBuffers &c = ctx->buffers.color;
    EXPECT_EQ(c.back.head.resize, __glHwResizeBuffer);
    EXPECT_EQ(c.front.head.resize, __glHwResizeBuffer);
    EXPECT_EQ(ctx->buffers.depth.head.resize, __glHwResizeDepthBuffer);
    EXPECT_EQ(ctx->buffers.depth.clear, __glHwClearDepthBuffer);
    // A resize marks the depth buffer for a full clear and keeps its 16-bit elements.
    ctx->buffers.depth.needsFullClear = 0;
    EXPECT_NE(__glHwResizeDepthBuffer(&ctx->buffers.depth.head, kW, kH, kGlBufferDepth), 0);
    EXPECT_EQ(ctx->buffers.depth.needsFullClear, 1);
    EXPECT_EQ(ctx->buffers.depth.head.elementSize, 2);

    // Deeper depth than the chip's stays with the software kind.
    GlDepthBuffer deep{};
    const int32_t bits = ctx->visual.depthBits;
    ctx->visual.depthBits = 24;
    __glHwInitDepthBuffer(&deep, ctx);
    ctx->visual.depthBits = bits;
    EXPECT_EQ(deep.head.elementSize, 4);
    EXPECT_NE(deep.head.resize, __glHwResizeDepthBuffer);
}

TEST_F(HwSurfaces, ColourClearsAreFillsOnTheSurfaceOrSwitchToTheOtherBuffer) {
    GL(glClearColor)(1.0f, 0.5f, 0.0f, 1.0f);
    const GlClipBox box = {ctx->state.transform.clipBoxX0, ctx->state.transform.clipBoxY0,
                           ctx->state.transform.clipBoxX1, ctx->state.transform.clipBoxY1};
    const uint32_t point = uint32_t(box.y0 - ctx->limits.biasY) << 16 | uint32_t(box.x0 - ctx->limits.biasX);
    const uint32_t size = uint32_t(box.y1 - box.y0) << 16 | uint32_t(box.x1 - box.x0);
    ASSERT_EQ(size, uint32_t(kH) << 16 | kW) << "the window's size";
    const std::vector<Op> fill = {{2, 0, 0x100E}, {2, 0x304, 0xFFFF8000u}, {2, 0x400, point}, {2, 0x404, size}};

    uint32_t before = hw->writeIndex;
    __glHwClearColorBuffer(&ctx->buffers.color.back);
    EXPECT_EQ(hw->writeIndex - before, 7u) << "the buffer the surface words describe";
    EXPECT_EQ(hw->drawingPending, 1);
    EXPECT_EQ(flushed(), fill);

    zk3EngineClearLog();
    before = hw->writeIndex;
    __glHwClearColorBuffer(&ctx->buffers.color.front);
    EXPECT_EQ(hw->writeIndex - before, 13u) << "another buffer: the surface there and back";
    std::vector<Op> other = {{4, 0x308, 4096}, {4, 0x30C, 0x10000}};
    other.insert(other.end(), fill.begin(), fill.end());
    other.insert(other.end(), {{4, 0x308, uint32_t(kW * 2)}, {4, 0x30C, 0x40000}});
    EXPECT_EQ(flushed(), other);
}

TEST_F(HwSurfaces, DepthClearsAreFillsOfTheClearDepth) {
    GL(glClearDepth)(0.5);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    const std::vector<Op> ops = onSub(flushed(), 3);
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0], (Op{3, 0, 0x100F}));
    EXPECT_EQ(ops[1], (Op{3, 0x304, 32768}));
    const GlTransformState &t = ctx->state.transform;
    EXPECT_EQ(ops[3], (Op{3, 0x404, uint32_t(t.clipBoxY1 - t.clipBoxY0) << 16 | uint32_t(t.clipBoxX1 - t.clipBoxX0)}));
}

TEST_F(HwSurfaces, BuffersTheChipCannotReachAreClearedInSoftware) {
    buffers(false);
    GL(glClearColor)(1.0f, 0.0f, 0.0f, 1.0f);
    GL(glClearDepth)(0.25);
    back.plain.assign(back.plain.size(), 0);
    GL(glClear)(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    __glHwClearColorBuffer(&ctx->buffers.color.back);
    EXPECT_TRUE(flushed().empty());
    EXPECT_EQ(back.element(3, 5), ctx->visual.redMask);
    EXPECT_EQ(back.element(kW - 1, kH - 1), ctx->visual.redMask);
    EXPECT_NE(depth.element(7, 7), 0u);
}

TEST_F(HwSurfaces, TheClipRectangleIsWrittenOnlyWhileTheChipDraws) {
    EXPECT_TRUE(__glHwSetClipRect(ctx, 3, 4, 50, 20));
    EXPECT_EQ(flushed(), (std::vector<Op>{{0, 0, 0x1012}, {0, 0x300, 4u << 16 | 3}, {0, 0x304, 20u << 16 | 50}}));
    buffers(false);
    triangle(8, 4, 40, 4, 8, 28);
    ASSERT_EQ(hw->softwareOnly, 1);
    zk3EngineClearLog();
    EXPECT_FALSE(__glHwSetClipRect(ctx, 3, 4, 50, 20));
    EXPECT_TRUE(flushed().empty());
}

// One failed lock stops the chip until a lock works again, not for the rest of the context's life.
TEST_F(HwSurfaces, AFailedDrawableLockLosesTheChipUntilTheNextLockThatWorks) {
    ctx->dirtyMask = 0;
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    auto refuse = [](GlBufferDescriptor *, GlDrawableBuffers *) -> BOOL { return FALSE; };
    rec->descriptors[kGlDescriptorBack].lock = refuse;
    EXPECT_FALSE(__glHwBeginBufferAccess(ctx, kGlBufferBack));
    EXPECT_EQ(hw->hardwareLost, 1);
    EXPECT_EQ(ctx->dirtyMask, 0x7FFu);
    // Until validation chooses again, the primitive slots draw nothing and write no command.
    GlVertex v[3]{};
    for (int i = 0; i < 3; ++i) {
        v[i].window[0] = ctx->limits.biasXf + 8.0f * float(i + 1);
        v[i].window[1] = ctx->limits.biasYf + 4.0f * float(i * i + 1);
    }
    const uint32_t written = hw->writeIndex;
    const GlPrimitiveProcs &prim = ctx->slots.primitive;
    prim.renderTriangle(ctx, &v[0], &v[1], &v[2]);
    prim.renderLine(ctx, &v[0], &v[1]);
    prim.renderPoint(ctx, &v[2]);
    EXPECT_EQ(hw->writeIndex, written);
    triangle(8, 4, 40, 4, 8, 28);
    EXPECT_NE(ctx->slots.primitive.renderTriangle, __glHwRenderTriangle) << "software while lost";

    rec->descriptors[kGlDescriptorBack].lock = TestSurface::lock;
    ctx->dirtyMask = 0;
    EXPECT_TRUE(__glHwBeginBufferAccess(ctx, kGlBufferBack));
    __glHwEndBufferAccess(ctx, kGlBufferBack);
    EXPECT_EQ(hw->hardwareLost, 0);
    zk3EngineClearLog();
    triangle(8, 4, 40, 4, 8, 28);
    EXPECT_EQ(ctx->slots.primitive.renderTriangle, __glHwRenderTriangle);
    EXPECT_FALSE(onSub(flushed(), 1).empty());
}

// Software drawing locks the buffers it draws into and no other: a depth buffer whose lock
// refuses stops neither drawing without the depth test nor the chip; under the depth test the
// drawing is refused.
TEST_F(HwSurfaces, DrawingLocksOnlyTheBuffersItDraws) {
    buffers(false);
    GlDrawableBuffers *rec = ctx->tail.drawableBuffers;
    auto refuse = [](GlBufferDescriptor *, GlDrawableBuffers *) -> BOOL { return FALSE; };
    rec->descriptors[kGlDescriptorDepth].lock = refuse;
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    auto red = [&] {
        int n = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) n += back.element(x, y) == ctx->visual.redMask;
        return n;
    };
    triangle(8, 4, 40, 4, 8, 28);
    EXPECT_EQ(ctx->buffers.drawableLock, __glHwBeginDrawAccess);
    EXPECT_GT(red(), 0);
    EXPECT_EQ(hw->hardwareLost, 0);
    std::memset(back.plain.data(), 0, back.plain.size());
    GL(glEnable)(GL_DEPTH_TEST);
    triangle(8, 4, 40, 4, 8, 28);
    EXPECT_EQ(red(), 0);
    EXPECT_EQ(hw->hardwareLost, 1);
    GL(glDisable)(GL_DEPTH_TEST);
    rec->descriptors[kGlDescriptorDepth].lock = TestSurface::lock;
}

}  // namespace
