// Texture sampling as a program sees it: GL_NEAREST with GL_REPEAT at negative, zero, positive
// and integer coordinates, and the mipmap level that a texel-to-pixel ratio selects.
#include "tests/gl_program/window_program.h"

#include <cmath>
#include <vector>

namespace {

// Channel value v of 0, 85, 170 or 255 comes back through the 5-bit buffer near v: the index.
int indexOf(int v) { return (v + 42) / 85; }

// A 4 x 4 texture whose texel (i, j) is (85 i, 85 j, 0), sampled nearest with GL_REPEAT and
// replacing the fragment colour.
void nearestRepeatTexture() {
    std::vector<uint8_t> texels;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) texels.insert(texels.end(), {uint8_t(85 * i), uint8_t(85 * j), 0});
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
}

// The texel a coordinate falls in: the one whose span [i, i + 1) of the repeated row holds it.
int texelOf(double s) {
    const int i = int(std::floor(s * 4.0));
    return ((i % 4) + 4) % 4;
}

class TextureSample : public WindowProgram {};

TEST_F(TextureSample, NearestRepeatTakesTheTexelHoldingTheCoordinate) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    nearestRepeatTexture();
    // Negative, zero, positive and integer coordinates; none on a texel boundary but the
    // integers and the boundaries themselves, which belong to the texel they start.
    const float coords[] = {-4.75f, -2.0f,   -1.25f, -1.0f,  -0.875f, -0.75f, -0.625f, -0.5f, -0.375f, -0.25f,
                            -0.125f, -0.0f,  0.0f,   0.125f, 0.25f,   0.375f, 0.5f,    0.625f, 0.99f,  1.0f,
                            1.125f,  2.0f,   3.375f};
    const int n = int(sizeof coords / sizeof coords[0]);
    clearTo(0, 0, 1);
    glBegin(GL_POINTS);
    for (int k = 0; k < n; ++k) {
        // s runs over the table along a row, t the same table reversed.
        glTexCoord2f(coords[k], coords[n - 1 - k]);
        glVertex2f(2.0f * k + 0.5f, 10.5f);
    }
    glEnd();
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    for (int k = 0; k < n; ++k) {
        const Rgb c = rgbAt(2 * k, 10);
        EXPECT_EQ(indexOf(c.r), texelOf(coords[k])) << "s " << coords[k] << " " << c;
        EXPECT_EQ(indexOf(c.g), texelOf(coords[n - 1 - k])) << "t " << coords[n - 1 - k];
    }
}

// A quad of 8 pixels whose s runs from -1 to 1: the pixel centres sample s = -1 + (x + 1/2) / 4,
// the first row of the picture (texels 0, 0, 1, 2, 2, 3 ... rather than 1, 1, 2, 3, 3, 0).
TEST_F(TextureSample, NearestRepeatAcrossZeroInATriangle) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    nearestRepeatTexture();
    clearTo(0, 0, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(-1.0f, 0.125f);
    glVertex2f(0, 0);
    glTexCoord2f(1.0f, 0.125f);
    glVertex2f(8, 0);
    glTexCoord2f(1.0f, 0.125f);
    glVertex2f(8, 4);
    glTexCoord2f(-1.0f, 0.125f);
    glVertex2f(0, 4);
    glEnd();
    for (int x = 0; x < 8; ++x) {
        const double s = -1.0 + (x + 0.5) / 4.0;
        EXPECT_EQ(indexOf(rgbAt(x, 1).r), texelOf(s)) << "x " << x << " s " << s;
    }
}

// A 64 x 64 texture with seven levels, each one colour; GL_NEAREST_MIPMAP_NEAREST.
const Rgb kLevelColor[7] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
                            {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
void levelColouredMipmaps() {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int level = 0, size = 64; size >= 1; ++level, size /= 2) {
        std::vector<uint8_t> texels;
        for (int i = 0; i < size * size; ++i)
            texels.insert(texels.end(), {uint8_t(kLevelColor[level].r), uint8_t(kLevelColor[level].g),
                                         uint8_t(kLevelColor[level].b)});
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, size, size, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
}
int levelOf(Rgb c) {
    for (int level = 0; level < 7; ++level)
        if (c == kLevelColor[level]) return level;
    return -1;
}

// A 16 x 16 square showing `ratio` texels of level 0 per pixel selects the level nearest to
// log2(ratio): level 0 up to a ratio of sqrt(2), then one level more for each doubling.
TEST_F(TextureSample, MipmapLevelFollowsTheTexelToPixelRatio) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    levelColouredMipmaps();
    const float ratios[] = {0.5f, 1.0f, 1.25f, 1.5f, 2.0f, 2.5f, 3.0f, 4.0f, 6.0f, 8.0f, 16.0f, 32.0f};
    for (float ratio : ratios) {
        clearTo(0, 0, 0);
        const float extent = 16.0f * ratio / 64.0f;  // texture coordinates across 16 pixels
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(8, 8);
        glTexCoord2f(extent, 0);
        glVertex2f(24, 8);
        glTexCoord2f(extent, extent);
        glVertex2f(24, 24);
        glTexCoord2f(0, extent);
        glVertex2f(8, 24);
        glEnd();
        const int want = ratio <= 1.0f ? 0 : int(std::floor(std::log2(double(ratio)) + 0.5));
        for (int y : {9, 16, 23})
            for (int x : {9, 16, 23}) EXPECT_EQ(levelOf(rgbAt(x, y)), want) << "ratio " << ratio << " at " << x << "," << y;
    }
}

}  // namespace

// A texture name deleted and bound again names a new texture, which the next drawing samples
// (the fast path's chooser must see it as it sees any bound texture).
TEST_F(TextureSample, ANameDeletedAndBoundAgainDrawsItsNewImage) {
    open(kDoubleBuffered);
    if (HasFatalFailure()) return;
    const GLuint name = 7;
    auto imageAndDraw = [](GLuint tex, uint8_t r, uint8_t g, float x) {
        const uint8_t texel[3] = {r, g, 0};
        glBindTexture(GL_TEXTURE_2D, tex);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnable(GL_TEXTURE_2D);
        glRectf(x, 0, x + 20, 20);
    };
    clearTo(0, 0, 1);
    imageAndDraw(name, 255, 0, 0);
    glDeleteTextures(1, &name);
    imageAndDraw(name, 0, 255, 20);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(rgbAt(10, 10), (Rgb{255, 0, 0}));
    EXPECT_EQ(rgbAt(30, 10), (Rgb{0, 255, 0}));
}
