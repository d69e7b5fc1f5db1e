// glGetTexImage of the levels the tests elsewhere do not read back: the bordered levels, stored
// with 8 bits a channel, through floats, and a level placed into the client's image by the pack
// modes. Expected values come from the channel arithmetic written here.
#include <vector>
#include "tests/icd_texture/texture_fixture.h"

namespace {

using TextureGetImage = TextureTest;

// Every base format of a bordered level (border texels included) comes back as RGBA floats:
// each kept byte over 255, luminance and intensity in red, missing colours 0, missing alpha 1.
TEST_F(TextureGetImage, BorderedLevelsComeBackByTheirBaseFormat) {
    // 4 x 4 texels: a 2 x 2 level inside its border.
    uint8_t texels[16 * 4];
    for (int i = 0; i < 64; ++i) texels[i] = uint8_t(i * 37 + 11);
    struct Case {
        GLenum internalFormat;
        bool keep[4];  // R, G, B, A kept from the client's RGBA
    } cases[] = {
        {GL_LUMINANCE, {true, false, false, false}},      {GL_LUMINANCE_ALPHA, {true, false, false, true}},
        {GL_ALPHA, {false, false, false, true}},          {GL_INTENSITY, {true, false, false, false}},
        {GL_RGB, {true, true, true, false}},              {GL_RGBA, {true, true, true, true}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.internalFormat);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GLint(c.internalFormat), 4, 4, 1, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        std::vector<float> back(16 * 4 + 1, -7.0f);
        GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, back.data());
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(back[64], -7.0f) << "written past the level";
        for (int i = 0; i < 16; ++i)
            for (int k = 0; k < 4; ++k) {
                const double expected = c.keep[k] ? texels[4 * i + k] / 255.0 : (k == 3 ? 1.0 : 0.0);
                EXPECT_FLOAT_EQ(back[size_t(4 * i + k)], float(expected)) << "texel " << i << " channel " << k;
            }
    }
}

// The pack modes place the level in the client's image: row length, skips, alignment and byte
// swap, and nothing outside the level's groups is written.
TEST_F(TextureGetImage, PackModesPlaceTheLevel) {
    // 2 x 2 RGBA bytes of 17 x n: the 4-bit layout keeps n, which returns as 17n in a byte and
    // 4369n in a short.
    const uint8_t nibbles[16] = {1, 2, 3, 15, 4, 0, 15, 8, 9, 10, 11, 12, 0, 13, 14, 5};
    uint8_t texels[16];
    for (int i = 0; i < 16; ++i) texels[i] = uint8_t(17 * nibbles[i]);
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    struct Case {
        const char *name;
        GLenum format, type;
        int components, bytes;  // per group, per component
        int rowLength, skipPixels, skipRows, alignment, swap;
        int rowBytes;  // the stride these modes give
    } cases[] = {
        {"row length, skips, alignment 8", GL_RGBA, GL_UNSIGNED_BYTE, 4, 1, 3, 1, 1, 8, 0, 16},
        {"swapped shorts, rows skipped", GL_RGB, GL_UNSIGNED_SHORT, 3, 2, 0, 0, 2, 4, 1, 12},
        {"BGR bytes, an odd row of 15 bytes aligned to 16", GL_BGR_EXT, GL_UNSIGNED_BYTE, 3, 1, 5, 2, 0, 2, 0, 16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        GL(glPixelStorei)(GL_PACK_ROW_LENGTH, c.rowLength);
        GL(glPixelStorei)(GL_PACK_SKIP_PIXELS, c.skipPixels);
        GL(glPixelStorei)(GL_PACK_SKIP_ROWS, c.skipRows);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, c.alignment);
        GL(glPixelStorei)(GL_PACK_SWAP_BYTES, c.swap);
        const size_t group = size_t(c.components * c.bytes);
        std::vector<uint8_t> image(size_t(c.rowBytes) * size_t(c.skipRows + 2) + 16, 0xEE), expected(image);
        for (int t = 0; t < 4; ++t)
            for (int k = 0; k < c.components; ++k) {
                const int channel = c.format == GL_BGR_EXT ? 2 - k : k;
                const uint32_t n = nibbles[4 * t + channel];
                uint8_t *at = expected.data() + size_t(c.rowBytes) * size_t(c.skipRows + t / 2) +
                              group * size_t(c.skipPixels + t % 2) + size_t(k * c.bytes);
                if (c.bytes == 1) {
                    at[0] = uint8_t(17 * n);
                } else {
                    const uint32_t v = 4369 * n;
                    at[c.swap ? 1 : 0] = uint8_t(v), at[c.swap ? 0 : 1] = uint8_t(v >> 8);
                }
            }
        GL(glGetTexImage)(GL_TEXTURE_2D, 0, c.format, c.type, image.data());
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(image, expected);
    }
}

}  // namespace
