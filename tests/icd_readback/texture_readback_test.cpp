// Texture images as a program sees them: glGetTexImage of every level in a table of formats and
// types, texture images, sub-images and copies through the pixel transfer, colour-index data
// through the index maps, the sizes level queries report, the environment colour, and a texture
// drawn and read back with glReadPixels on 16-bit and 32-bit buffers. Expected values come from
// the channel arithmetic written here.
#include <cmath>
#include <functional>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

uint32_t nearest(double c, uint32_t max) { return uint32_t(std::floor(c * max + 0.5)); }
// Client byte c kept in a channel of `bits` bits and returned as [0, 1].
double kept(uint32_t c, int bits) {
    const uint32_t max = (1u << bits) - 1;
    return double(nearest(c / 255.0, max)) / max;
}

class TextureReadback : public PixelOpsTest {
protected:
    // The 2 x 2 texture over pixels (0, 0) to (1, 1), texture 2-D switched off afterwards.
    void texturedSquare() {
        GL(glBegin)(GL_QUADS);
        GL(glTexCoord2f)(0, 0), vertex(0, 0);
        GL(glTexCoord2f)(1, 0), vertex(2, 0);
        GL(glTexCoord2f)(1, 1), vertex(2, 2);
        GL(glTexCoord2f)(0, 1), vertex(0, 2);
        GL(glEnd)();
        GL(glDisable)(GL_TEXTURE_2D);
    }
    GLuint name = 0;
    void SetUp() override {
        PixelOpsTest::SetUp();
        if (HasFatalFailure()) return;
        GL(glGenTextures)(1, &name);
        GL(glBindTexture)(GL_TEXTURE_2D, name);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    }
    void TearDown() override {
        GL(glDeleteTextures)(1, &name);
        PixelOpsTest::TearDown();
    }
    GLint levelParam(GLenum target, int level, GLenum pname) {
        GLint v = -1;
        GL(glGetTexLevelParameteriv)(target, level, pname, &v);
        return v;
    }
    // The level's RGBA floats through glGetTexImage.
    std::vector<float> texImage(int level, int texels) {
        std::vector<float> v(size_t(texels) * 4 + 4, -7.0f);
        GL(glGetTexImage)(GL_TEXTURE_2D, level, GL_RGBA, GL_FLOAT, v.data());
        EXPECT_EQ(v[size_t(texels) * 4], -7.0f) << "written past the level";
        v.resize(size_t(texels) * 4);
        return v;
    }
};

// A 2 x 2 image per internal format, read back with glGetTexImage in each format and type; the
// groups follow the base format (luminance and intensity in red, missing colours 0, missing
// alpha 1), each channel as the stored layout keeps it.
TEST_F(TextureReadback, GetTexImageOverFormatsAndTypes) {
    const uint8_t texels[16] = {200, 100, 50, 255, 0, 255, 128, 64, 17, 34, 51, 68, 255, 0, 0, 128};
    struct Layout {
        GLenum internalFormat;
        int bits[4];      // stored bits of R, G, B, A as the level reports them (L, I in red)
        GLenum sizeQuery[4];
    };
    const Layout layouts[] = {
        {GL_RGB, {5, 5, 5, 0}, {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_RGBA, {4, 4, 4, 4}, {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_RGB5_A1, {5, 5, 5, 1}, {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_LUMINANCE, {5, 0, 0, 0}, {GL_TEXTURE_LUMINANCE_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_LUMINANCE_ALPHA, {4, 0, 0, 4}, {GL_TEXTURE_LUMINANCE_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_ALPHA, {0, 0, 0, 4}, {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
        {GL_INTENSITY, {4, 0, 0, 0}, {GL_TEXTURE_INTENSITY_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE}},
    };
    for (const Layout &L : layouts) {
        SCOPED_TRACE(testing::Message() << std::hex << L.internalFormat);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, L.internalFormat, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
        ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        for (int k = 0; k < 4; ++k) EXPECT_EQ(levelParam(GL_TEXTURE_2D, 0, L.sizeQuery[k]), L.bits[k]) << k;
        // The group glGetTexImage returns for texel i.
        auto group = [&](int i, double g[4]) {
            const uint8_t *t = texels + 4 * i;
            const GLenum base = L.internalFormat == GL_RGB5_A1 ? GL_RGBA : L.internalFormat;
            const double r = kept(t[0], L.bits[0] ? L.bits[0] : 8), a = L.bits[3] ? kept(t[3], L.bits[3]) : 1.0;
            switch (base) {
            case GL_RGB: g[0] = r, g[1] = kept(t[1], L.bits[1]), g[2] = kept(t[2], L.bits[2]), g[3] = 1; break;
            case GL_RGBA: g[0] = r, g[1] = kept(t[1], L.bits[1]), g[2] = kept(t[2], L.bits[2]), g[3] = a; break;
            case GL_LUMINANCE: g[0] = r, g[1] = g[2] = 0, g[3] = 1; break;
            case GL_LUMINANCE_ALPHA: g[0] = r, g[1] = g[2] = 0, g[3] = a; break;
            case GL_ALPHA: g[0] = g[1] = g[2] = 0, g[3] = a; break;
            default: g[0] = r, g[1] = g[2] = 0, g[3] = 1; break;  // intensity
            }
        };
        // Floats: every channel exactly v / max.
        const std::vector<float> f = texImage(0, 4);
        for (int i = 0; i < 4; ++i) {
            double g[4];
            group(i, g);
            for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(f[size_t(4 * i + k)], float(g[k])) << "texel " << i << " " << k;
        }
        // Other formats and types, guard bytes after each.
        struct Read {
            GLenum format, type;
            int components, bytes;
        };
        const Read reads[] = {
            {GL_RGBA, GL_UNSIGNED_BYTE, 4, 1}, {GL_RGB, GL_UNSIGNED_SHORT, 3, 2}, {GL_BGRA_EXT, GL_UNSIGNED_BYTE, 4, 1},
            {GL_LUMINANCE, GL_UNSIGNED_BYTE, 1, 1}, {GL_ALPHA, GL_UNSIGNED_BYTE, 1, 1},
            {GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4_EXT, 1, 2},
        };
        for (const Read &r : reads) {
            SCOPED_TRACE(testing::Message() << std::hex << r.format << " " << r.type);
            std::vector<uint8_t> out(size_t(4 * r.components * r.bytes) + 8, 0xEE);
            GL(glGetTexImage)(GL_TEXTURE_2D, 0, r.format, r.type, out.data());
            EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
            EXPECT_EQ(out[size_t(4 * r.components * r.bytes)], 0xEE);
            for (int i = 0; i < 4; ++i) {
                double g[4];
                group(i, g);
                const uint8_t *px = out.data() + r.components * r.bytes * i;
                if (r.type == GL_UNSIGNED_SHORT_4_4_4_4_EXT) {
                    const uint16_t v = uint16_t(px[0] | px[1] << 8);
                    // The 4-bit fields hold the truncation of c x 15.
                    for (int k = 0; k < 4; ++k) EXPECT_EQ((v >> (12 - 4 * k)) & 15, uint32_t(float(g[k]) * 15.0f)) << k;
                    continue;
                }
                const int pick[5][4] = {{0, 1, 2, 3}, {0, 1, 2, -1}, {2, 1, 0, 3}, {0, -1, -1, -1}, {3, -1, -1, -1}};
                const int row = r.format == GL_RGBA ? 0 : r.format == GL_RGB ? 1 : r.format == GL_BGRA_EXT ? 2
                                : r.format == GL_LUMINANCE ? 3 : 4;
                for (int k = 0; k < r.components; ++k) {
                    const double c = g[pick[row][k]];
                    if (r.bytes == 1) EXPECT_EQ(px[k], nearest(c, 255)) << "texel " << i << " " << k;
                    else EXPECT_EQ(uint32_t(px[2 * k] | px[2 * k + 1] << 8), nearest(c, 65535)) << i << " " << k;
                }
            }
        }
    }
}

// Every level of a mipmapped texture comes back, each at its own size.
TEST_F(TextureReadback, GetTexImageEveryLevel) {
    for (int level = 0, size = 4; size >= 1; ++level, size /= 2) {
        std::vector<uint8_t> img(size_t(size * size * 3));
        for (size_t i = 0; i < img.size(); ++i) img[i] = uint8_t(level * 80 + int(i) * 8);
        GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    }
    for (int level = 0, size = 4; size >= 1; ++level, size /= 2) {
        SCOPED_TRACE(level);
        EXPECT_EQ(levelParam(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH), size);
        const std::vector<float> f = texImage(level, size * size);
        for (int i = 0; i < size * size * 3; ++i)
            EXPECT_FLOAT_EQ(f[size_t(i / 3 * 4 + i % 3)], float(kept(uint32_t(level * 80 + i * 8) & 255, 5)));
    }
}

// A bordered 1-D level comes back whole, border texels included, in its 8-bit layout exactly.
TEST_F(TextureReadback, GetTexImageOfABordered1DLevel) {
    GLuint one = 0;
    GL(glGenTextures)(1, &one);
    GL(glBindTexture)(GL_TEXTURE_1D, one);
    uint8_t rgb[18];
    for (int i = 0; i < 18; ++i) rgb[i] = uint8_t(i * 13 + 1);
    GL(glTexImage1D)(GL_TEXTURE_1D, 0, GL_RGB, 6, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(levelParam(GL_TEXTURE_1D, 0, GL_TEXTURE_WIDTH), 6);
    uint8_t back[18 + 2];
    std::memset(back, 0xEE, sizeof back);
    GL(glGetTexImage)(GL_TEXTURE_1D, 0, GL_RGB, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(std::memcmp(back, rgb, 18), 0);
    EXPECT_EQ(back[18], 0xEE);
    GL(glDeleteTextures)(1, &one);
}

// Scale, bias and colour maps apply to texture images, sub-images and copies; colour indices
// become colours through the I_TO_R..A maps.
TEST_F(TextureReadback, ImagesSubImagesAndCopiesTakeThePixelTransfer) {
    const uint8_t rgb[12] = {200, 100, 40, 0, 255, 128, 64, 64, 64, 255, 255, 255};
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.25f);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    GL(glPixelTransferf)(GL_RED_SCALE, 1.0f);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.0f);
    std::vector<float> f = texImage(0, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(f[size_t(4 * i)], double(nearest(0.5 * rgb[3 * i] / 255.0, 31)) / 31, 1e-6) << i;
        const double blue = std::min(1.0, rgb[3 * i + 2] / 255.0 + 0.25);
        EXPECT_NEAR(f[size_t(4 * i + 2)], double(nearest(blue, 31)) / 31, 1e-6) << i;
    }
    // A sub-image through a red map that inverts.
    const float invert[2] = {1.0f, 0.0f};
    GL(glPixelMapfv)(GL_PIXEL_MAP_R_TO_R, 2, invert);
    GL(glPixelTransferi)(GL_MAP_COLOR, GL_TRUE);
    const uint8_t white[3] = {255, 255, 255};
    GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 1, 1, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, white);
    GL(glPixelTransferi)(GL_MAP_COLOR, GL_FALSE);
    f = texImage(0, 4);
    EXPECT_EQ(f[12], 0.0f);
    EXPECT_EQ(f[13], 0.0f);  // the G_TO_G map is the default one entry of 0
    // Colour indices through the index maps.
    const float toRed[4] = {0.0f, 1.0f / 3, 2.0f / 3, 1.0f}, ones[4] = {1, 1, 1, 1}, zeros[4] = {};
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_R, 4, toRed);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_G, 4, zeros);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_B, 4, ones);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_A, 4, ones);
    const uint8_t index[4] = {0, 1, 2, 3};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, index);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    f = texImage(0, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(f[size_t(4 * i)], double(nearest(toRed[i], 31)) / 31, 1e-6) << i;
        EXPECT_EQ(f[size_t(4 * i + 1)], 0.0f) << i;
        EXPECT_EQ(f[size_t(4 * i + 2)], 1.0f) << i;
    }
    // A copy from the frame buffer with a green bias.
    clearColor();
    GL(glPixelTransferf)(GL_GREEN_BIAS, 0.5f);
    GL(glCopyTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, 0, 0, 2, 2);
    GL(glPixelTransferf)(GL_GREEN_BIAS, 0.0f);
    f = texImage(0, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f[size_t(4 * i)], 0.0f) << i;
        EXPECT_NEAR(f[size_t(4 * i + 1)], double(nearest(0.5, 31)) / 31, 1e-6) << i;
    }
}

// A proxy level reports the sizes of the layout a level of that format is kept in.
TEST_F(TextureReadback, ProxyLevelsReportTheStoredSizes) {
    GL(glTexImage2D)(GL_PROXY_TEXTURE_2D, 0, GL_LUMINANCE, 8, 8, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(levelParam(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_LUMINANCE_SIZE), 5);
    EXPECT_EQ(levelParam(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE), 0);
    EXPECT_EQ(levelParam(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_BLUE_SIZE), 0);
}

// The environment colour reads back as set, alpha included; GL_BLEND with an intensity texture
// takes its alpha.
TEST_F(TextureReadback, EnvironmentColourAndIntensityBlend) {
    useFront(kA8R8G8B8);
    const float colour[4] = {0.1f, 0.5f, 0.9f, 0.7f};
    GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, colour);
    float back[4] = {};
    GL(glGetTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, back);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(back[k], colour[k], 1e-6) << k;
    // A_f = A_t A_c + (1 - A_t) A_f with A_t = I = 1: the environment's alpha, which an RGBA
    // buffer keeps.
    const uint8_t intensity[4] = {255, 255, 255, 255};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_INTENSITY, 2, 2, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, intensity);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    GL(glEnable)(GL_TEXTURE_2D);
    GL(glColor4f)(0.2f, 0.2f, 0.2f, 0.0f);
    texturedSquare();
    uint8_t px[4] = {};
    readPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_NEAR(px[3], 0.7 * 255, 1.0);
    EXPECT_NEAR(px[2], 0.9 * 255, 1.0);
}

// A texture drawn with GL_REPLACE reads back as the nearest buffer value of each texel.
class TextureDrawnAndRead : public TextureReadback, public ::testing::WithParamInterface<const PixelLayout *> {};

TEST_P(TextureDrawnAndRead, ReplaceReadsBackTheTexels) {
    const PixelLayout &L = *GetParam();
    useFront(L);
    const uint8_t rgb[12] = {200, 100, 40, 0, 255, 128, 64, 64, 64, 255, 255, 255};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    GL(glEnable)(GL_TEXTURE_2D);
    texturedSquare();
    uint8_t px[12] = {};
    readPixels(0, 0, 2, 2, GL_RGB, GL_UNSIGNED_BYTE, px);
    const uint32_t masks[3] = {L.red, L.green, L.blue};
    for (int i = 0; i < 12; ++i) {
        const uint32_t max = masks[i % 3] >> std::countr_zero(masks[i % 3]);
        // The texel as stored (5 bits a channel), widened by the sampler to the nearest byte,
        // then as the buffer keeps it, then read back.
        const uint32_t v = nearest(rgb[i] / 255.0, 31);
        const double sampled = nearest(double(v) / 31.0, 255) / 255.0;
        EXPECT_EQ(px[i], nearest(double(nearest(sampled, max)) / max, 255)) << i;
    }
}

const PixelLayout *const kDrawLayouts[] = {&kX1R5G5B5, &kR5G6B5, &kX8R8G8B8};
INSTANTIATE_TEST_SUITE_P(Layouts, TextureDrawnAndRead, ::testing::ValuesIn(kDrawLayouts),
                         [](const ::testing::TestParamInfo<const PixelLayout *> &i) { return std::string(i.param->name); });

}  // namespace
