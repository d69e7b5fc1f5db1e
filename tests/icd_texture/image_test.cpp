// Texture images: argument checks in their order, level sizes, proxies, the texels each layout
// receives, sub-images with borders, copies from the frame buffer, and the colour buffer's copy
// of a level.
#include <cstring>
#include <string>
#include <functional>
#include <vector>
#include "tests/icd_texture/texture_fixture.h"
#include "icd/pixel/texture_image.h"

namespace {

using TextureImages = TextureTest;

TEST_F(TextureImages, ArgumentChecksRunInTheirOrder) {
    const uint8_t pixels[64] = {};
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"1-D target for the 2-D entry", [&] { GL(glTexImage2D)(GL_TEXTURE_1D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"unknown target before a bad level", [&] { GL(glTexImage1D)(GL_TEXTURE_ENV, 99, GL_RGB, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"bitmap with RGB", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_BITMAP, pixels); }, GL_INVALID_ENUM},
        {"3-3-2 with RGBA", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE_3_3_2_EXT, pixels); }, GL_INVALID_OPERATION},
        {"4-4-4-4 with BGR", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_BGR_EXT, GL_UNSIGNED_SHORT_4_4_4_4_EXT, pixels); }, GL_INVALID_OPERATION},
        {"unknown type before a bad level", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 11, GL_RGB, 4, 4, 0, GL_RGB, GL_DOUBLE, pixels); }, GL_INVALID_ENUM},
        {"depth format", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_DEPTH_COMPONENT, GL_FLOAT, pixels); }, GL_INVALID_ENUM},
        {"level at the count", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 11, 7, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_VALUE},
        {"negative level", [&] { GL(glTexImage1D)(GL_TEXTURE_1D, -1, GL_RGB, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_VALUE},
        {"internal format 5 before a bad border", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, 5, 4, 4, 2, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"colour-index internal format", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_COLOR_INDEX8_EXT, 4, 4, 0, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"RGB2", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, 0x804E, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"border 2", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 2, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_VALUE},
        {"width 65", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 65, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"1025 x 1", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 1025, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"height 3", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 3, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"width 1 with a border", [&] { GL(glTexImage1D)(GL_TEXTURE_1D, 0, GL_RGB, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"negative width", [&] { GL(glTexImage1D)(GL_TEXTURE_1D, 0, GL_RGB, -4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"2048 wide", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 2048, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"level 1 of 1024", [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 1, GL_RGB, 1024, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr); }, GL_INVALID_VALUE},
        {"copy into a proxy", [&] { GL(glCopyTexImage2D)(GL_PROXY_TEXTURE_2D, 0, GL_RGB, 0, 0, 4, 4, 0); }, GL_INVALID_ENUM},
        {"copy with internal format 3", [&] { GL(glCopyTexImage2D)(GL_TEXTURE_2D, 0, 3, 0, 0, 4, 4, 0); }, GL_INVALID_ENUM},
        {"copy 1-D of width 6", [&] { GL(glCopyTexImage1D)(GL_TEXTURE_1D, 0, GL_RGB, 0, 0, 6, 0); }, GL_INVALID_VALUE},
        {"sub-image of a proxy", [&] { GL(glTexSubImage2D)(GL_PROXY_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_ENUM},
        {"sub-image of an empty level", [&] { GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_OPERATION},
        {"sub-image level out of range", [&] { GL(glTexSubImage1D)(GL_TEXTURE_1D, 11, 0, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels); }, GL_INVALID_VALUE},
        {"copied sub-image of an empty level", [&] { GL(glCopyTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 1, 1); }, GL_INVALID_OPERATION},
    };
    for (const Case &c : cases) {
        settle();
        c.call();
        EXPECT_EQ(error(), c.error) << c.what;
        EXPECT_EQ(bound(GL_TEXTURE_2D)->levels[0]->width, 0) << c.what;
        EXPECT_EQ(bound(GL_TEXTURE_1D)->levels[0]->width, 0) << c.what;
        // A store refused for its size still marks the object, as every image definition does.
        const bool stored = std::string(c.what) == "2048 wide" || std::string(c.what) == "level 1 of 1024";
        EXPECT_EQ(ctx->beginMode, stored ? kGlNeedValidate : kGlOutsideBegin) << c.what;
    }
    settle();
    ctx->beginMode = kGlInsideBegin;
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(bound(GL_TEXTURE_2D)->levels[0]->width, 0);
}

TEST_F(TextureImages, LevelsTakeTheirSizesBordersAndLayouts) {
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 66, 34, 1, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    EXPECT_EQ(l->width, 66);
    EXPECT_EQ(l->innerHeight, 32);
    EXPECT_EQ(l->texelFormatId, 2);
    EXPECT_NE(l->image, nullptr);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & kGlDirtyTexture);
    GL(glTexImage1D)(GL_TEXTURE_1D, 2, GL_LUMINANCE, 16, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, nullptr);
    const GlMipLevel *one = bound(GL_TEXTURE_1D)->levels[2];
    EXPECT_EQ(one->height, 1);
    EXPECT_EQ(one->depth, 1);
    EXPECT_EQ(one->texelFormatId, 4);
    GLint v = 0;
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_1D, 2, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 16);
    // Proxies report what would fit, and nothing for what would not, without an error.
    GL(glTexImage2D)(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, 1024, 512, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    GL(glGetTexLevelParameteriv)(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 1024);
    GL(glGetTexLevelParameteriv)(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &v);
    EXPECT_EQ(v, 4);
    GL(glTexImage2D)(GL_PROXY_TEXTURE_2D, 1, GL_RGBA8, 1024, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    GL(glGetTexLevelParameteriv)(GL_PROXY_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    // Bound on both units the object refuses new images.
    GL(glBindTexture)(GL_TEXTURE_2D, 3);
    ctx->state.unitSelect.activeTexture = 1;
    GL(glBindTexture)(GL_TEXTURE_2D, 3);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(bound(GL_TEXTURE_2D, 1)->levels[0]->width, 0);
}

// Packed (display-list) images need no unpacking: the texels each layout receives.
TEST_F(TextureImages, ClientTexelsLandInEachLayout) {
    const uint8_t rgba[4 * 4] = {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 128, 255, 255, 255, 255};
    __glTexImage2DFromList(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    ASSERT_EQ(l->texelFormatId, 8);  // A4 R4 G4 B4
    EXPECT_EQ(texel16(l, 0, 0), 0xFF00);
    EXPECT_EQ(texel16(l, 1, 0), 0x00F0);
    EXPECT_EQ(texel16(l, 0, 1), 0x800F);
    EXPECT_EQ(texel16(l, 1, 1), 0xFFFF);
    EXPECT_EQ(bound(GL_TEXTURE_2D)->reload, 1);
    // Luminance repeats into the colour channels of the 16-bit colour layout, whose unused top
    // bit is written as 1.
    const float lum[2] = {1.0f, 0.0f};
    __glTexImage1DFromList(GL_TEXTURE_1D, 0, GL_LUMINANCE, 2, 0, GL_LUMINANCE, GL_FLOAT, lum);
    const GlMipLevel *one = bound(GL_TEXTURE_1D)->levels[0];
    ASSERT_EQ(one->texelFormatId, 4);
    EXPECT_EQ(texel16(one, 0, 0), 0xFFFF);
    EXPECT_EQ(texel16(one, 1, 0), 0x8000);
    // A bordered RGB level keeps bytes; BGR comes in reversed; the 1-D texels fill the middle row.
    const uint8_t bgr[3 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    __glTexImage1DFromList(GL_TEXTURE_1D, 0, GL_RGB8, 4, 1, GL_BGR_EXT, GL_UNSIGNED_BYTE, bgr);
    ASSERT_EQ(one->texelFormatId, 2);
    ASSERT_EQ(one->height, 3);
    const uint8_t *middle = one->image + 4 * 3;
    EXPECT_EQ(middle[0], 3);
    EXPECT_EQ(middle[1], 2);
    EXPECT_EQ(middle[2], 1);
    EXPECT_EQ(middle[9], 12);
    // Packed types and alpha: A1 R5 G5 B5 from 5-5-5-1 pixels, alpha 4 on top of a 16-bit texel.
    const uint16_t p5551[2] = {0xF801, 0x07C0};  // red with alpha 1, green with alpha 0
    __glTexImage2DFromList(GL_TEXTURE_2D, 0, GL_RGB5_A1, 2, 1, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1_EXT, p5551);
    ASSERT_EQ(l->texelFormatId, 10);
    EXPECT_EQ(texel16(l, 0, 0), 0xFC00);
    EXPECT_EQ(texel16(l, 1, 0), 0x03E0);
    const int8_t alpha[2] = {127, -128};
    __glTexImage2DFromList(GL_TEXTURE_2D, 0, GL_ALPHA, 2, 1, 0, GL_ALPHA, GL_BYTE, alpha);
    ASSERT_EQ(l->texelFormatId, 15);
    EXPECT_EQ(texel16(l, 0, 0) >> 12, 0xF);
    EXPECT_EQ(texel16(l, 1, 0) >> 12, 0x0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureImages, SubImagesChangeOnlyTheirRegion) {
    std::vector<uint8_t> zero(6 * 6 * 3, 0);
    __glTexImage2DFromList(GL_TEXTURE_2D, 0, GL_RGB, 6, 6, 1, GL_RGB, GL_UNSIGNED_BYTE, zero.data());
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    settle();
    const uint8_t white[2 * 2 * 3] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    __glTexSubImage2DFromList(GL_TEXTURE_2D, 0, -1, 2, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, white);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x <= 1 && y >= 3 && y <= 4;  // offsets count from inside the border
            EXPECT_EQ(l->image[(y * 6 + x) * 3], inside ? 255 : 0) << x << "," << y;
        }
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);  // sub-images leave validation alone
    struct Case {
        int x, y, w, h;
        GLenum error;
    } regions[] = {
        {-1, -1, 6, 6, GL_NO_ERROR}, {-2, 0, 1, 1, GL_INVALID_VALUE}, {0, -2, 1, 1, GL_INVALID_VALUE},
        {4, 0, 1, 1, GL_NO_ERROR},   {4, 0, 2, 1, GL_INVALID_VALUE},  {0, 4, 1, 2, GL_INVALID_VALUE},
        {0, 0, -1, 1, GL_INVALID_VALUE}, {0, 0, 0, 0, GL_NO_ERROR}, {0x7FFFFFF0, 0, 0x20, 1, GL_INVALID_VALUE},
    };
    // As many texels as the largest region describes.
    const std::vector<uint8_t> whole(6 * 6 * 3, 255);
    for (const Case &r : regions) {
        __glTexSubImage2DFromList(GL_TEXTURE_2D, 0, r.x, r.y, r.w, r.h, GL_RGB, GL_UNSIGNED_BYTE, whole.data());
        EXPECT_EQ(error(), r.error) << r.x << "," << r.y << " " << r.w << "x" << r.h;
    }
}

// A bordered 1-D level keeps its texels in the middle of its three rows; a sub-image's offset
// counts from inside the border, through the list body and the immediate entry alike.
TEST_F(TextureImages, OneDimensionalSubImagesChangeOnlyTheirTexels) {
    const std::vector<uint8_t> zero(4 * 3, 0);
    __glTexImage1DFromList(GL_TEXTURE_1D, 0, GL_RGB8, 4, 1, GL_RGB, GL_UNSIGNED_BYTE, zero.data());
    const uint8_t white[2 * 3] = {255, 255, 255, 255, 255, 255};
    __glTexSubImage1DFromList(GL_TEXTURE_1D, 0, 0, 2, GL_RGB, GL_UNSIGNED_BYTE, white);
    const uint8_t one[3] = {7, 8, 9};
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    GL(glTexSubImage1D)(GL_TEXTURE_1D, 0, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, one);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    // The level as a program reads it back: its four texels, the two border texels included.
    auto readBack = [&] {
        std::vector<uint8_t> texels(4 * 3, 0xEE);
        GL(glGetTexImage)(GL_TEXTURE_1D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        return texels;
    };
    const std::vector<uint8_t> texels = readBack();
    for (int x = 0; x < 4; ++x)
        for (int c = 0; c < 3; ++c) {
            const int want = x == 0 || x == 3 ? 0 : x == 1 ? 255 : 7 + c;
            EXPECT_EQ(texels[size_t(x * 3 + c)], want) << "texel " << x << " channel " << c;
        }
    // The last texel inside is the right border; one further is outside the level.
    GL(glTexSubImage1D)(GL_TEXTURE_1D, 0, 2, 1, GL_RGB, GL_UNSIGNED_BYTE, one);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(readBack()[3 * 3], 7);
    GL(glTexSubImage1D)(GL_TEXTURE_1D, 0, 3, 1, GL_RGB, GL_UNSIGNED_BYTE, one);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
}

TEST_F(TextureImages, ImmediateImagesGoThroughTheUnpackModes) {
    // Rows padded to the default alignment of 4: 2 RGB pixels take 6 bytes and 2 of padding.
    const uint8_t rows[2 * 8] = {10, 20, 30, 40, 50, 60, 0xEE, 0xEE, 70, 80, 90, 100, 110, 120, 0xEE, 0xEE};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, rows);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    const uint8_t *second = l->image + (2 * 4 + 1) * 3;
    EXPECT_EQ(second[0], 70);
    EXPECT_EQ(second[5], 120);
}

TEST_F(TextureImages, CopiesReadTheFramebufferAndMarkTheLevelEvenWhenNothingIsReadable) {
    GL(glClearColor)(1.0f, 0.0f, 0.0f, 1.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glFinish)();
    settle();
    GL(glCopyTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 8, 8, 4, 4, 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    const GlMipLevel *l = tex->levels[0];
    ASSERT_EQ(l->width, 4);
    EXPECT_EQ(texel16(l, 0, 0) & 0x7C00, 0x7C00);  // red
    EXPECT_EQ(texel16(l, 3, 3) & 0x03FF, 0);
    EXPECT_EQ(tex->reload, 1);
    // A rectangle entirely outside the window: the level is still redefined and marked.
    settle();
    tex->consistencyDirty = 0;
    GL(glCopyTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, -100, -100, 8, 8, 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(l->width, 8);
    EXPECT_EQ(tex->consistencyDirty, 1);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    // Sub-image copies check their region.
    GL(glCopyTexSubImage2D)(GL_TEXTURE_2D, 0, 6, 6, 0, 0, 4, 4);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    GL(glCopyTexSubImage2D)(GL_TEXTURE_2D, 0, 4, 4, 0, 0, 4, 4);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(texel16(l, 5, 5) & 0x7C00, 0x7C00);
    GL(glCopyTexSubImage1D)(GL_TEXTURE_1D, 0, 0, 0, 0, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));  // no 1-D image yet
}

TEST_F(TextureImages, CopiedRowsRunBottomUpAsWindowRowsDo) {
    GL(glClearColor)(0.0f, 0.0f, 1.0f, 1.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glEnable)(GL_SCISSOR_TEST);
    GL(glScissor)(0, 0, 320, 1);  // the bottom row red
    GL(glClearColor)(1.0f, 0.0f, 0.0f, 1.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glDisable)(GL_SCISSOR_TEST);
    GL(glFinish)();
    settle();
    GL(glCopyTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 2, 2, 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    ASSERT_EQ(l->width, 2);
    EXPECT_EQ(texel16(l, 1, 0) & 0x7FFF, 0x7C00);  // texel row 0: window row 0
    EXPECT_EQ(texel16(l, 1, 1) & 0x7FFF, 0x001F);
}

TEST_F(TextureImages, TheColourBufferCopyFollowsSubImages) {
    const uint8_t texels[4 * 4 * 3] = {};
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    __glTexImage2DFromList(GL_TEXTURE_2D, 0, GL_RGB, 6, 6, 1, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    (void)texels;
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    std::memset(tex->levels[0]->image, 0, 6 * 6 * 3);
    ctx->state.pick.currentTextures[0] = tex;
    ASSERT_TRUE(__glConvertTexLevelToDrawable(ctx));
    const GlMipLevel *l = tex->levels[0];
    ASSERT_NE(l->convertedImage, nullptr);
    const int element = ctx->buffers.color.drawColorBuffer != nullptr ? ctx->buffers.color.drawColorBuffer->head.elementSize
                                                                         : ctx->buffers.color.front.head.elementSize;
    ASSERT_GT(element, 0);
    auto converted = [&](int x, int y) {
        uint32_t v = 0;
        std::memcpy(&v, l->convertedImage + (y * 6 + x) * element, size_t(element));
        return v;
    };
    EXPECT_EQ(converted(2, 2), 0u);
    const uint8_t white[3] = {255, 255, 255};
    __glTexSubImage2DFromList(GL_TEXTURE_2D, 0, 1, 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, white);
    EXPECT_NE(converted(2, 2), 0u);
    EXPECT_EQ(converted(3, 2), 0u);
    ctx->state.pick.currentTextures[0] = nullptr;
}

}  // namespace
