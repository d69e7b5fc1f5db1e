// Depth and stencil rectangles on every depth kind, glCopyPixels against "read everything, then
// draw", and the chains the chooser builds for the common requests.
#include <algorithm>
#include <array>
#include <cmath>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

using PixelOpsDepthStencil = PixelOpsTest;

// Depth drawn as floats and as full-range integers reads back as drawn on every depth kind, also
// after clears that turn the 24-bit kind's tags around, and geometry tests against it correctly.
TEST_F(PixelOpsDepthStencil, DepthRoundTripsOnEveryKind) {
    const float depths[4] = {0.0f, 0.25f, 0.5f, 1.0f};
    const uint32_t full[4] = {0u, 0x40000000u, 0x80000000u, 0xFFFFFFFFu};
    for (int kind : {16, 24, 32}) {
        for (int clears = 1; clears <= 3; ++clears) {
            SCOPED_TRACE(testing::Message() << kind << "-bit, " << clears << " clears");
            useDepthKind(kind);
            GL(glEnable)(GL_DEPTH_TEST);
            GL(glDepthFunc)(GL_LESS);
            GL(glClearDepth)(1.0);
            for (int i = 0; i < clears; ++i) GL(glClear)(GL_DEPTH_BUFFER_BIT);
            GL(glDepthFunc)(GL_ALWAYS);
            GL(glRasterPos2i)(0, 0);
            drawPixels(4, 1, GL_DEPTH_COMPONENT, GL_FLOAT, depths);
            GL(glRasterPos2i)(0, 1);
            drawPixels(4, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, full);
            float f[8] = {};
            readPixels(0, 0, 4, 2, GL_DEPTH_COMPONENT, GL_FLOAT, f);
            for (int i = 0; i < 4; ++i) {
                EXPECT_NEAR(f[i], depths[i], 2e-5) << i;
                EXPECT_NEAR(f[4 + i], double(full[i]) / 4294967295.0, 2e-5) << i;
            }
            EXPECT_FLOAT_EQ(f[3], 1.0f);
            uint32_t u[4] = {};
            readPixels(0, 0, 4, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, u);
            EXPECT_EQ(u[0], 0u);
            EXPECT_GE(u[3], 0xFFFFF000u);  // depth 1.0 reads as (nearly) the full range
            EXPECT_NEAR(double(u[2]), 2147483648.0, 70000.0);
            // Points in front of and behind the drawn depth 0.5 at pixel 2.
            GL(glDepthFunc)(GL_LESS);
            clearColor();
            GL(glColor3f)(1.0f, 1.0f, 1.0f);
            GL(glBegin)(GL_POINTS);
            vertex(2.5f, 0.5f, 0.0f);  // window depth 0.5: not less
            GL(glEnd)();
            EXPECT_EQ(at(2, 0), 0u);
            GL(glBegin)(GL_POINTS);
            vertex(2.5f, 0.5f, 0.2f);  // window depth 0.4: in front
            GL(glEnd)();
            EXPECT_EQ(at(2, 0), 0xFFFFFFu);
            GL(glDisable)(GL_DEPTH_TEST);
        }
    }
}

TEST_F(PixelOpsDepthStencil, StencilRectangles) {
    const uint8_t bytes[4] = {1, 2, 200, 255};
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glRasterPos2i)(3, 2);
    drawPixels(4, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, bytes);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(stencilAt(3 + i, 2), bytes[i]);
    float f[4] = {};
    readPixels(3, 2, 4, 1, GL_STENCIL_INDEX, GL_FLOAT, f);
    EXPECT_FLOAT_EQ(f[2], 200.0f);
    // Values are cut to the stencil bits, and the write mask keeps the masked-off bits.
    const float big[2] = {257.0f, 3.0f};
    GL(glRasterPos2i)(0, 4);
    drawPixels(2, 1, GL_STENCIL_INDEX, GL_FLOAT, big);
    EXPECT_EQ(stencilAt(0, 4), 1u);
    setStencil(5, 4, 0xA0);
    GL(glStencilMask)(0x0F);
    const uint16_t shorts[1] = {0xFF};
    GL(glRasterPos2i)(5, 4);
    drawPixels(1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_SHORT, shorts);
    EXPECT_EQ(stencilAt(5, 4), 0xAFu);
    // Nothing of the colour buffer changes.
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(kW * kH, 0u));
}

// glCopyPixels, overlapping or not, in every direction and under zoom, gives the image that
// reading the whole source first and then drawing it gives.
TEST_F(PixelOpsDepthStencil, CopyEqualsReadThenDraw) {
    struct Row {
        const char *name;
        int x, y, w, h;    // source
        int rx, ry;        // raster position
        float zx, zy;
    } rows[] = {
        {"one row up", 2, 2, 10, 6, 2, 3, 1.0f, 1.0f},
        {"one row down", 2, 2, 10, 6, 2, 1, 1.0f, 1.0f},
        {"right and up", 2, 2, 10, 6, 5, 4, 1.0f, 1.0f},
        {"left and down", 4, 4, 10, 6, 1, 2, 1.0f, 1.0f},
        {"apart", 0, 0, 6, 4, 20, 8, 1.0f, 1.0f},
        {"flipped onto itself", 2, 2, 8, 6, 2, 8, 1.0f, -1.0f},
        {"stretched upward", 2, 2, 8, 5, 2, 3, 1.0f, 2.0f},
        {"shrunk", 2, 2, 12, 8, 3, 3, 0.5f, 0.5f},
        {"zoomed both ways", 3, 3, 6, 4, 4, 2, 2.0f, 1.5f},
        {"partly outside the window", 26, 12, 10, 8, 20, 10, 1.0f, 1.0f},
    };
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        GL(glPixelZoom)(1.0f, 1.0f);
        fillPattern();
        const std::vector<uint32_t> original = snapshot();
        // The reference: read, then draw with the same raster position and zoom.
        std::vector<uint8_t> image(size_t(r.w * r.h) * 4, 0);
        readPixels(r.x, r.y, r.w, r.h, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
        const int cx = std::max(0, -r.x), cy = std::max(0, -r.y);
        const int vw = std::min(r.w, kW - r.x) - cx, vh = std::min(r.h, kH - r.y) - cy;
        GL(glPixelStorei)(GL_UNPACK_ROW_LENGTH, r.w);
        GL(glPixelStorei)(GL_UNPACK_SKIP_PIXELS, cx);
        GL(glPixelStorei)(GL_UNPACK_SKIP_ROWS, cy);
        GL(glPixelZoom)(r.zx, r.zy);
        GL(glRasterPos2i)(r.rx, r.ry);
        drawPixels(vw, vh, GL_RGBA, GL_UNSIGNED_BYTE, image.data());
        const std::vector<uint32_t> expected = snapshot();
        GL(glPixelStorei)(GL_UNPACK_ROW_LENGTH, 0);
        GL(glPixelStorei)(GL_UNPACK_SKIP_PIXELS, 0);
        GL(glPixelStorei)(GL_UNPACK_SKIP_ROWS, 0);
        restore(original);
        copyPixels(r.x, r.y, r.w, r.h, GL_COLOR);
        const std::vector<uint32_t> got = snapshot();
        ASSERT_NE(expected, original) << "the reference changed nothing";
        for (int i = 0; i < kW * kH; ++i)
            EXPECT_EQ(got[size_t(i)], expected[size_t(i)]) << "pixel " << i % kW << "," << i / kW;
    }
}

TEST_F(PixelOpsDepthStencil, CopyDepthAndStencil) {
    for (int x = 0; x < 8; ++x) setStencil(x, 1, uint32_t(10 + x));
    GL(glRasterPos2i)(2, 1);
    copyPixels(0, 1, 8, 1, GL_STENCIL);
    for (int x = 0; x < 10; ++x) EXPECT_EQ(stencilAt(x, 1), x < 2 ? uint32_t(10 + x) : uint32_t(8 + x)) << x;
    useDepthKind(24);
    GL(glEnable)(GL_DEPTH_TEST);
    GL(glClearDepth)(1.0);
    GL(glClear)(GL_DEPTH_BUFFER_BIT);
    GL(glDepthFunc)(GL_ALWAYS);
    const float d[3] = {0.125f, 0.5f, 0.75f};
    GL(glRasterPos2i)(0, 3);
    drawPixels(3, 1, GL_DEPTH_COMPONENT, GL_FLOAT, d);
    GL(glRasterPos2i)(4, 5);
    copyPixels(0, 3, 3, 1, GL_DEPTH);
    float back[3] = {};
    readPixels(4, 5, 3, 1, GL_DEPTH_COMPONENT, GL_FLOAT, back);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], d[i], 1e-5) << i;
}

// ---- the chooser ---------------------------------------------------------------------------------------------
class PixelChain : public PixelOpsTest {
protected:
    GlPixelSpan span{};
    GlPixelPathChoice choice{};

    void memorySource(GLenum format, GLenum type, const void *data) {
        span = GlPixelSpan{};
        span.srcFormat = format;
        span.srcType = type;
        span.srcData = static_cast<const uint8_t *>(data);
        span.width = 4;
        span.height = 1;
        span.srcRowLength = 4;
        span.srcAlignment = 1;
        __glComputeSrcImageLayout(ctx, &span);
    }
    void pick(int src, int dst, int op, int transfer = 1) {
        validate();
        choice = GlPixelPathChoice{src, dst, op, uint8_t(transfer), {}, nullptr, nullptr};
        span.stageCount = 0;
        __glPickPixelSpanStages(ctx, &span, &choice);
    }
    std::vector<GlPixelSpanProc> stages() { return {span.stages, span.stages + span.stageCount}; }
};

TEST_F(PixelChain, DrawPixelsChains) {
    alignas(8) const uint8_t data[32] = {};
    struct Row {
        const char *name;
        GLenum format, type;
        float zoom;
        std::vector<GlPixelSpanProc> stages;
        GlPixelRenderProc renderer;
    } rows[] = {
        {"bytes in place", GL_RGBA, GL_UNSIGNED_BYTE, 1.0f, {}, __glRenderRGBAUbyte},
        {"bytes, zoom -1", GL_RGBA, GL_UNSIGNED_BYTE, -1.0f, {}, __glRenderRGBAUbyte},
        {"bytes, zoom 2", GL_RGBA, GL_UNSIGNED_BYTE, 2.0f, {}, __glRenderRGBAUbyteZoomed},
        {"bytes, zoom 0.5", GL_RGB, GL_UNSIGNED_BYTE, 0.5f, {__glCompactPixels3}, __glRenderRGBUbyte},
        {"floats, zoom 0.5", GL_RGBA, GL_FLOAT, 0.5f, {__glCompactElements4, __glClampColors, __glScaleRGBAToBuffer},
         __glRenderRGBASpan},
        {"shorts", GL_LUMINANCE, GL_UNSIGNED_SHORT, 1.0f, {__glUnpackUnsignedShort, __glExpandLuminanceScaled},
         __glRenderRGBASpan},
        {"depth integers", GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, 1.0f, {}, __glRenderDepthUint},
        {"stencil shorts", GL_STENCIL_INDEX, GL_UNSIGNED_SHORT, 3.0f, {}, __glRenderStencilUshortZoomed},
        {"stencil floats", GL_STENCIL_INDEX, GL_FLOAT, 1.0f, {}, __glRenderStencilSpan},
        // The other component orders are reordered by the stage that scales them.
        {"abgr bytes", GL_ABGR_EXT, GL_UNSIGNED_BYTE, 1.0f, {__glUnpackUnsignedByte, __glScaleABGRToBuffer},
         __glRenderRGBASpan},
        {"bgra bytes", GL_BGRA_EXT, GL_UNSIGNED_BYTE, 1.0f, {__glUnpackUnsignedByte, __glScaleBGRAToBuffer},
         __glRenderRGBASpan},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.name);
        GL(glPixelZoom)(r.zoom, 1.0f);
        memorySource(r.format, r.type, data + 1 * (r.type == GL_UNSIGNED_BYTE));
        span.dstFormat = r.format;
        span.dstType = GL_FLOAT;
        pick(kGlPixelMemory, kGlPixelFramebuffer, kGlPixelOpDraw);
        EXPECT_EQ(stages(), r.stages);
        EXPECT_EQ(choice.renderer, r.renderer);
    }
}

TEST_F(PixelChain, ReadAndImageCopyChains) {
    // Depth as full-range integers from the 16-bit buffer: the shifted reader, no pack.
    span = GlPixelSpan{};
    span.srcFormat = GL_RGBA;
    span.srcType = GL_FLOAT;
    span.dstFormat = span.finalFormat = GL_DEPTH_COMPONENT;
    span.dstType = GL_UNSIGNED_INT;
    span.dstElementBytes = 4;
    pick(kGlPixelFramebuffer, kGlPixelMemory, kGlPixelOpRead);
    EXPECT_EQ(choice.reader, __glReadDepthSpanShifted);
    EXPECT_TRUE(stages().empty());
    // Luminance: glReadPixels sums, a texture copy takes red.
    span.dstFormat = span.finalFormat = GL_LUMINANCE;
    span.dstType = GL_FLOAT;
    pick(kGlPixelFramebuffer, kGlPixelMemory, kGlPixelOpRead);
    EXPECT_EQ(stages(), std::vector<GlPixelSpanProc>{__glReduceToLuminance});
    // The other component orders come out of the stage that scales them back.
    const std::pair<GLenum, GlPixelSpanProc> orders[] = {{GL_ABGR_EXT, __glReduceToABGR}, {GL_BGRA_EXT, __glReduceToBGRA}};
    for (const auto &[format, reduce] : orders) {
        span.dstFormat = span.finalFormat = format;
        pick(kGlPixelFramebuffer, kGlPixelMemory, kGlPixelOpRead);
        EXPECT_EQ(stages(), std::vector<GlPixelSpanProc>{reduce}) << format;
    }
    alignas(8) const uint8_t rgb[16] = {};
    memorySource(GL_RGBA, GL_FLOAT, rgb);
    span.dstFormat = span.finalFormat = GL_LUMINANCE;
    span.dstType = GL_FLOAT;
    pick(kGlPixelMemory, kGlPixelMemory, kGlPixelOpImageCopy);
    const std::vector<GlPixelSpanProc> copy = stages();
    EXPECT_NE(std::find(copy.begin(), copy.end(), __glReduceToRed), copy.end());
    EXPECT_EQ(std::find(copy.begin(), copy.end(), __glReduceToLuminance), copy.end());
    // Bytes into a 5-6-5 texel level: one direct stage; with a red scale the general chain.
    memorySource(GL_RGB, GL_UNSIGNED_BYTE, rgb);
    span.dstFormat = span.finalFormat = GL_RGB;
    span.dstType = kGlTexelCodeRGB565;
    span.dstElementBytes = 2;
    pick(kGlPixelMemory, kGlPixelMemory, kGlPixelOpImageCopy);
    EXPECT_EQ(stages(), std::vector<GlPixelSpanProc>{__glByteTexelRGB8ToRGB565});
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    memorySource(GL_RGB, GL_UNSIGNED_BYTE, rgb);
    span.dstFormat = span.finalFormat = GL_RGB;
    span.dstType = kGlTexelCodeRGB565;
    span.dstElementBytes = 2;
    pick(kGlPixelMemory, kGlPixelMemory, kGlPixelOpImageCopy);
    EXPECT_EQ(stages(), (std::vector<GlPixelSpanProc>{__glUnpackUnsignedByte, __glTransferRGB, __glReduceToRGB,
                                                      __glPackTexelRGB565}));
}

}  // namespace
