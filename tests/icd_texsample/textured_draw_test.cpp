// Textured primitives through the live table into memory: images given with glTexImage2D, the
// pickers choose the texture procs, the triangle and line set-ups scale the level of detail.
#include <gtest/gtest.h>
#include <vector>
#include "tests/icd_pick/pick_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {

constexpr int kSize = 16;

// Pixel classes by their dominant channel; a channel counts as off at 0 only.
enum Colour { Red, Green, Blue, White, Other };
Colour classOf(uint32_t pixel) {
    const uint32_t r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
    auto on = [](uint32_t c) { return c >= 250; };
    if (on(r) && g == 0 && b == 0) return Red;
    if (r == 0 && on(g) && b == 0) return Green;
    if (r == 0 && g == 0 && on(b)) return Blue;
    if (on(r) && on(g) && on(b)) return White;
    return Other;
}
const uint8_t kRgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

class TexturedDraw : public PickTest {
protected:
    PlainMemory memory;
    void SetUp() override {
        IcdTest::SetUp();
        openContext(kSingleFormat, kSize, kSize);
        if (HasFatalFailure()) return;
        attachPlainRgb32Front(ctx, memory, kSize, kSize);
        // The channels drawn into have 8 bits: the factors that take colours into the buffer's
        // units (the environment colour among them) are what the first make-current would
        // have derived for such a visual.
        GlColorScales &s = ctx->scales;
        s.redMaxOverScale = 255.0f / s.redScale;
        s.greenMaxOverScale = 255.0f / s.greenScale;
        s.blueMaxOverScale = 255.0f / s.blueScale;
        GL(glDrawBuffer)(GL_FRONT);
        GL(glViewport)(0, 0, kSize, kSize);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, kSize, 0, kSize, -1, 1);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glEnable)(GL_TEXTURE_2D);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    }
    // Level `level` of the bound texture, side x side texels of one colour (or a checkerboard
    // of two colours when `other` is given).
    void image(int level, int side, Colour c, int other = -1) {
        std::vector<uint8_t> texels;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int k = other >= 0 && ((x + y) & 1) ? other : c;
                texels.insert(texels.end(), kRgb[k], kRgb[k] + 3);
            }
        GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
    void filters(GLenum min, GLenum mag) {
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(min));
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(mag));
    }
    // A square of side `side` pixels at the origin, texture coordinates 0..1.
    void square(float side) {
        GL(glBegin)(GL_QUADS);
        GL(glTexCoord2f)(0, 0), GL(glVertex2f)(0, 0);
        GL(glTexCoord2f)(1, 0), GL(glVertex2f)(side, 0);
        GL(glTexCoord2f)(1, 1), GL(glVertex2f)(side, side);
        GL(glTexCoord2f)(0, 1), GL(glVertex2f)(0, side);
        GL(glEnd)();
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    }
    // The pixel at window (x, y): a drawable whose rows run top-down keeps window row y at
    // memory row size - 1 - y.
    uint32_t pixel(int x, int y) {
        const int row = ctx->state.transform.drawable.yInverted ? kSize - 1 - y : y;
        return memory.element(x, row) & 0xFFFFFF;
    }
    void clear() { std::fill(memory.bytes.begin(), memory.bytes.end(), 0); }
};

// A 4 x 4 checkerboard magnified four times, nearest: every pixel shows the texel its centre
// falls in, and all pixels of one texel colour are the same value.
TEST_F(TexturedDraw, NearestCheckerboardPixelByPixel) {
    image(0, 4, Red, Blue);
    filters(GL_NEAREST, GL_NEAREST);
    square(kSize);
    const uint32_t red = pixel(0, 0), blue = pixel(4, 0);
    EXPECT_EQ(classOf(red), Red) << std::hex << red;
    EXPECT_EQ(classOf(blue), Blue) << std::hex << blue;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            ASSERT_EQ(pixel(x, y), ((x / 4 + y / 4) & 1) ? blue : red) << x << "," << y;
}

// With the modulate environment a white texture keeps the fragment colour and a black texel
// takes it away.
TEST_F(TexturedDraw, ModulateTakesTheFragmentColour) {
    image(0, 2, White, Red);
    filters(GL_NEAREST, GL_NEAREST);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    square(kSize);
    EXPECT_EQ(classOf(pixel(2, 2)), Green) << std::hex << pixel(2, 2);   // white texel
    EXPECT_EQ(pixel(10, 2), 0u) << std::hex << pixel(10, 2);            // red texel times green
}

// The blend environment mixes the fragment with the environment colour by the texel: white
// texels show the environment colour, black ones the fragment. A bordered level keeps its 8-bit
// luminance, so the mix is exact.
TEST_F(TexturedDraw, BlendWithTheEnvironmentColour) {
    std::vector<uint8_t> luminance(16, 77);  // 2 x 2 inner texels inside a border of 1
    for (int y = 1; y <= 2; ++y) {
        luminance[size_t(y * 4 + 1)] = 255;
        luminance[size_t(y * 4 + 2)] = 0;
    }
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_LUMINANCE, 4, 4, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, luminance.data());
    ASSERT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    filters(GL_NEAREST, GL_NEAREST);
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_BLEND);
    const float blue[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    GL(glTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, blue);
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    square(kSize);
    for (int y = 0; y < kSize; ++y) {
        EXPECT_EQ(classOf(pixel(3, y)), Blue) << std::hex << pixel(3, y);
        EXPECT_EQ(classOf(pixel(12, y)), Red) << std::hex << pixel(12, y);
    }
}

// The triangle set-up scales the level of detail: a mipmap of one colour per level drawn at
// 1, 1/2 and 1/4 of level 0's size shows levels 0, 1 and 2 all over.
TEST_F(TexturedDraw, TriangleScaleChoosesTheMipLevel) {
    image(0, 8, Red);
    image(1, 4, Green);
    image(2, 2, Blue);
    image(3, 1, White);
    filters(GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST);
    const std::pair<float, Colour> rows[] = {{8.0f, Red}, {4.0f, Green}, {2.0f, Blue}, {1.0f, White}};
    for (auto [side, colour] : rows) {
        SCOPED_TRACE(testing::Message() << "side " << side);
        clear();
        square(side);
        for (int y = 0; y < int(side); ++y)
            for (int x = 0; x < int(side); ++x) EXPECT_EQ(classOf(pixel(x, y)), colour) << x << "," << y;
        EXPECT_EQ(pixel(int(side), 0), 0u);
    }
    // Linear between the two nearest levels at exactly one level: that level alone.
    filters(GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST);
    clear();
    square(4.0f);
    EXPECT_EQ(classOf(pixel(1, 1)), Green) << std::hex << pixel(1, 1);
}

// The line set-up scales the level of detail along the line.
TEST_F(TexturedDraw, LineScaleChoosesTheMipLevel) {
    image(0, 16, Red);
    image(1, 8, Green);
    image(2, 4, Blue);
    image(3, 2, White);
    image(4, 1, White);
    filters(GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST);
    const std::pair<float, Colour> rows[] = {{16.0f, Red}, {8.0f, Green}, {4.0f, Blue}};
    for (auto [length, colour] : rows) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        clear();
        GL(glBegin)(GL_LINES);
        GL(glTexCoord2f)(0, 0.5f), GL(glVertex2f)(0, 0.5f);
        GL(glTexCoord2f)(1, 0.5f), GL(glVertex2f)(length, 0.5f);
        GL(glEnd)();
        EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
        int drawn = 0;
        for (int x = 0; x < kSize; ++x) {
            if (pixel(x, 0) == 0) continue;
            ++drawn;
            EXPECT_EQ(classOf(pixel(x, 0)), colour) << x;
        }
        EXPECT_GE(drawn, int(length) - 1);
    }
}

}  // namespace
