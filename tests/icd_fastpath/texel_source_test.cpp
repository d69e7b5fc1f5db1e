// The fast path's texel procs read a texture's levels by the layout the chooser found for them
// (it installs the procs' instances for that layout): a program that draws, then gives level 0
// another layout (or the texture another wrap) and draws again sees the new texels on every
// road. The floor is drawn under GL_NICEST with GL_DECAL, a state the chain draws through its
// texel procs; every texel is opaque and its channels 0 or 255, so each pixel is the texel's
// colour in whole field steps, and the texel row of each pixel row comes from the perspective
// division done here in double precision.
#include "tests/common/road_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kSide = 64;
constexpr float kFarW = 3.0f;  // clip w along the top edge; 1 along the bottom
constexpr float kTopT = 2.0f;  // t along the top edge: the texture twice, wrapped or clamped

// Texel row k of every texture has colour k % 8 of these (R, G, B).
constexpr uint8_t kPalette[8][3] = {{0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                    {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 255}};

// What one glTexImage2D of level 0 gives: its internal format, its inner rows (4 columns wide),
// its border and both wraps.
struct Level {
    GLenum internalFormat;
    int rows;
    int border;
    GLenum wrap;
};

struct Case {
    const char *name;
    Level first, second;
};

// Each pair changes the layout (or the wrap) the texel procs read the level by.
const Case kCases[] = {
    {"4-4-4-4 then x-5-5-5 (RGB)", {GL_RGBA, 8, 0, GL_REPEAT}, {GL_RGB, 8, 0, GL_REPEAT}},
    {"4-4-4-4 then 1-5-5-5 at twice the rows", {GL_RGBA, 8, 0, GL_CLAMP}, {GL_RGB5_A1, 16, 0, GL_CLAMP}},
    {"4-4-4-4 then a bordered 8-8-8-8 level (read by its fetch proc)", {GL_RGBA, 8, 0, GL_REPEAT}, {GL_RGBA, 8, 1, GL_REPEAT}},
    {"a bordered level then 4-4-4-4", {GL_RGBA, 8, 1, GL_CLAMP}, {GL_RGBA, 16, 0, GL_CLAMP}},
    {"GL_REPEAT then GL_CLAMP", {GL_RGBA, 8, 0, GL_REPEAT}, {GL_RGBA, 8, 0, GL_CLAMP}},
};

class TexelSource : public RoadProgram {
protected:
    // Level 0 of the bound texture as given: 4 x rows inner texels of the palette by row, the
    // border texels the colours of the rows they lie beside.
    static void load(const Level &l) {
        const int w = 4 + 2 * l.border, h = l.rows + 2 * l.border;
        std::vector<uint8_t> texels;
        for (int y = 0; y < h; ++y) {
            const int row = y - l.border < 0 ? 0 : (y - l.border >= l.rows ? l.rows - 1 : y - l.border);
            for (int x = 0; x < w; ++x) {
                texels.insert(texels.end(), kPalette[row % 8], kPalette[row % 8] + 3);
                texels.push_back(255);
            }
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(l.internalFormat), w, h, l.border, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(l.wrap));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(l.wrap));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }

    // The whole window, w and t growing from the bottom edge to the top one.
    static void floor() {
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0), glVertex4f(0, 0, 0, 1);
        glTexCoord2f(1, 0), glVertex4f(kSide, 0, 0, 1);
        glTexCoord2f(1, kTopT), glVertex4f(kSide * kFarW, kSide * kFarW, 0, kFarW);
        glTexCoord2f(0, kTopT), glVertex4f(0, kSide * kFarW, 0, kFarW);
        glEnd();
    }

    // Checks every pixel of every row whose centre lies clear of a texel row's edge against the
    // colour of the texel row the level and its wrap give there.
    void expectFloor(const Level &l) {
        const std::vector<uint16_t> p = pixels();
        int checked = 0;
        for (int y = 0; y < kSide; ++y) {
            // 1/w and t/w are linear in window y; t is their quotient at the row's centres.
            const double f = (y + 0.5) / kSide;
            const double q = 1.0 + (1.0 / kFarW - 1.0) * f, tq = kTopT / kFarW * f;
            const double texel = tq / q * l.rows;
            const double frac = texel - std::floor(texel);
            if (frac < 0.02 || frac > 0.98) continue;
            int row = int(std::floor(texel));
            row = l.wrap == GL_REPEAT ? row % l.rows : (row < l.rows ? row : l.rows - 1);
            const uint8_t *c = kPalette[row % 8];
            const uint16_t want = uint16_t((c[0] ? 31 << 10 : 0) | (c[1] ? 31 << 5 : 0) | (c[2] ? 31 : 0));
            for (int x = 0; x < kSide; ++x) ASSERT_EQ(p[size_t(y * kSide + x)], want) << "pixel " << x << ", " << y;
            ++checked;
        }
        EXPECT_GT(checked, kSide * 3 / 4);
    }
};

TEST_F(TexelSource, ALevelLoadedAgainIsReadByItsNewLayout) {
    // The chain, the generated routines and the generated routines with MMX.
    const char *roads[][2] = {{"1", "0"}, {"0", "0"}, {"0", "1"}};
    for (const auto &road : roads) {
        SCOPED_TRACE(std::string("__GL_DISABLE_OG=") + road[0] + " __GL_FORCE_MMX=" + road[1]);
        openRoad(road[0], road[1], kSide, kSide);
        if (HasFatalFailure()) return;
        glDisable(GL_DITHER);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glBindTexture(GL_TEXTURE_2D, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
        glEnable(GL_TEXTURE_2D);
        for (const Case &k : kCases) {
            SCOPED_TRACE(k.name);
            for (const Level *l : {&k.first, &k.second}) {
                load(*l);
                floor();
                expectFloor(*l);
                if (HasFatalFailure()) return;
            }
        }
    }
}

}  // namespace
