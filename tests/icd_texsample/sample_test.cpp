// Samplers, filters, the level of detail and the apply procs.
#include <gtest/gtest.h>
#include "tests/icd_texsample/tex_fixture.h"

namespace {

// A 4 x 4 RGBA level whose texel (x, y) is (10x, 100 + 10y, 5xy, 255).
void gradient(HandTexture &h, int level = 0, int w = 4, int hgt = 4) {
    h.define(level, w, hgt, 6, GL_RGBA);
    for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x)
            h.put(level, x, y,
                  uint32_t(10 * x) | uint32_t(100 + 10 * y) << 8 | uint32_t(5 * x * y) << 16 | 0xFF000000u);
}

struct Texel {
    uint8_t c[4];
};
Texel sample(GlTexSampleProc proc, HandTexture &h, float s, float t, int level = 0) {
    Texel out{{0, 0, 0, 0}};
    proc(&h.tex, &h.level[level], s, t, out.c);
    return out;
}

TEST(TexSample, NearestRoundsDownThenWrapsOrClamps) {
    HandTexture h;
    h.tex.dimensions = 1;
    gradient(h, 0, 4, 1);
    struct Row {
        GLenum wrap;
        float s;
        int column;
    };
    const Row rows[] = {
        {GL_REPEAT, 0.0f, 0},   {GL_REPEAT, 3.99f, 3},  {GL_REPEAT, -0.25f, 3}, {GL_REPEAT, -1.25f, 2},
        {GL_REPEAT, 5.9f, 1},   {GL_REPEAT, 1e20f, 3},  {GL_CLAMP, -3.0f, 0},   {GL_CLAMP, 9.0f, 3},
        {GL_CLAMP, 3.99f, 3},   {GL_CLAMP, 1.5f, 1},    {GL_CLAMP, NAN, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.wrap << std::dec << " s " << r.s);
        h.tex.wrapS = r.wrap;
        EXPECT_EQ(sample(__glTexSampleNearest1D, h, r.s, 7.0f).c[0], 10 * r.column);
    }
    // Two dimensions: t wraps by wrapT on its own.
    HandTexture g;
    gradient(g);
    g.tex.wrapS = GL_CLAMP;
    g.tex.wrapT = GL_REPEAT;
    Texel t = sample(__glTexSampleNearest2D, g, 7.0f, -0.5f);
    EXPECT_EQ(t.c[0], 30);
    EXPECT_EQ(t.c[1], 130);  // t in [-1, 0) is the last row
    t = sample(__glTexSampleNearest2D, g, 1.2f, 6.5f);
    EXPECT_EQ(t.c[0], 10);
    EXPECT_EQ(t.c[1], 120);
}

TEST(TexSample, LinearAtCentresAndBetweenTexels) {
    HandTexture h;
    gradient(h);
    for (GLenum wrap : {GLenum(GL_REPEAT), GLenum(GL_CLAMP)}) {
        h.tex.wrapS = h.tex.wrapT = wrap;
        // At a texel centre: the texel itself.
        Texel c = sample(__glTexSampleLinear2D, h, 2.5f, 1.5f);
        EXPECT_EQ(c.c[0], 20);
        EXPECT_EQ(c.c[1], 110);
        EXPECT_EQ(c.c[2], 10);
        EXPECT_EQ(c.c[3], 255);
        // Half way between columns 0 and 1 on the centre of row 2.
        c = sample(__glTexSampleLinear2D, h, 1.0f, 2.5f);
        EXPECT_EQ(c.c[0], 5);
        EXPECT_EQ(c.c[1], 120);
        // (1.25, 1.75): weights 3/4 towards column 1 and 1/4 towards row 2, each sum rounded.
        c = sample(__glTexSampleLinear2D, h, 1.25f, 1.75f);
        EXPECT_EQ(c.c[0], 8);    // 7.5
        EXPECT_EQ(c.c[1], 113);  // 112.5
        EXPECT_EQ(c.c[2], 5);    // 4.6875
        EXPECT_EQ(c.c[3], 255);
    }
}

// At s = 0 a repeated texture blends the last column with the first; a clamped one blends the
// border colour (no border) or the border texel (bordered level) with the first.
TEST(TexSample, LinearEdgesByWrapAndBorder) {
    HandTexture h;
    h.tex.dimensions = 1;
    gradient(h, 0, 4, 1);
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    std::memcpy(h.tex.borderColor, white, sizeof white);
    h.tex.wrapS = GL_REPEAT;
    EXPECT_EQ(sample(__glTexSampleLinear1D, h, 0.0f, 0.0f).c[0], 15);
    h.tex.wrapS = GL_CLAMP;
    EXPECT_EQ(sample(__glTexSampleLinear1D, h, 0.0f, 0.0f).c[0], 128);   // 127.5, rounded
    EXPECT_EQ(sample(__glTexSampleLinear1D, h, -5.0f, 0.0f).c[0], 128);  // negative clamps to 0
    EXPECT_EQ(sample(__glTexSampleLinear1D, h, 4.0f, 0.0f).c[0], 143);   // column 3 and the border: 15 + 127.5
    EXPECT_EQ(sample(__glTexSampleLinear1D, h, 90.0f, 0.0f).c[0], 143);

    HandTexture b;
    b.tex.dimensions = 1;
    b.tex.wrapS = GL_CLAMP;
    b.define(0, 4, 1, 0, GL_LUMINANCE, 1);
    for (int x = 0; x < 4; ++x) b.put(0, x, 0, uint32_t(40 * x));
    b.put(0, -1, 0, 200);
    b.put(0, 4, 0, 100);
    EXPECT_EQ(sample(__glTexSampleLinear1D, b, 0.0f, 0.0f).c[0], 100);   // (200 + 0) / 2
    EXPECT_EQ(sample(__glTexSampleLinear1D, b, 4.0f, 0.0f).c[0], 110);   // (120 + 100) / 2
    EXPECT_EQ(sample(__glTexSampleLinear1D, b, 1.5f, 0.0f).c[0], 40);
}

// Only the channels of the base format are blended: luminance and intensity in R alone.
TEST(TexSample, LinearBlendsTheChannelsOfTheBaseFormat) {
    struct Row {
        GLenum base;
        uint8_t written;  // bit i: channel i
    };
    const Row rows[] = {{GL_ALPHA, 0x8}, {GL_RGB, 0x7}, {GL_RGBA, 0xF}, {GL_LUMINANCE, 0x1},
                        {GL_INTENSITY, 0x1}, {GL_LUMINANCE_ALPHA, 0x9}, {GL_COLOR_INDEX, 0x0}};
    for (const Row &r : rows) {
        HandTexture h;
        gradient(h);
        h.tex.level0BaseFormat = r.base;
        Texel out{{1, 1, 1, 1}};
        __glTexSampleLinear2D(&h.tex, &h.level[0], 2.5f, 2.5f, out.c);
        const uint8_t texel[4] = {20, 120, 20, 255};
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(out.c[c], (r.written >> c) & 1 ? texel[c] : 1) << std::hex << r.base << " channel " << c;
    }
}

TEST(TexLod, LambdaIsAPiecewiseLinearHalfLog2) {
    const std::pair<float, float> rows[] = {{0.0f, 0.0f},  {-0.0f, 0.0f}, {1.0f, 0.0f}, {1.5f, 0.25f},
                                            {2.0f, 0.5f},  {3.0f, 0.75f}, {4.0f, 1.0f}, {6.0f, 1.25f},
                                            {16.0f, 2.0f}, {24.0f, 2.25f}};
    for (auto [rho2, lambda] : rows) EXPECT_FLOAT_EQ(__glTexLambdaOf(rho2), lambda) << rho2;
}

// A square mipmap 8 x 8 .. 1 x 1 of luminance texels 40, 80, 120, 160 by level.
struct Mipmap : HandTexture {
    Mipmap() {
        for (int i = 0; i < 4; ++i) {
            define(i, 8 >> i, 8 >> i, 0, GL_LUMINANCE);
            fill(i, uint32_t(40 * (i + 1)));
        }
        tex.maxLevel = 3;
    }
    int filter(GlTexFilterProc proc, float lambda) {
        uint8_t out[4] = {0, 0, 0, 0};
        proc(&tex, lambda, 0.3f, 0.6f, out);
        return out[0];
    }
};

TEST(TexLod, NearestMipmapLevelByLambda) {
    Mipmap m;
    m.choose(GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST);
    const std::pair<float, int> rows[] = {{0.5f, 40},     {0.51f, 80},  {1.0f, 80},  {1.50004f, 80},
                                          {1.50006f, 120}, {2.6f, 160}, {9.0f, 160}, {-3.0f, 40},
                                          {-0.0f, 40},     {NAN, 40}};
    for (GlTexFilterProc proc : {__glTexFilterNearestMipmapNearest, __glTexFilterLinearMipmapNearest})
        for (auto [lambda, value] : rows) EXPECT_EQ(m.filter(proc, lambda), value) << lambda;
}

TEST(TexLod, LinearMipmapBlendsTwoLevels) {
    Mipmap m;
    m.choose(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    const std::pair<float, int> rows[] = {
        {0.0f, 40}, {1.25f, 90}, {2.5f, 140}, {2.999f, 160},  // 159.96, rounded
        {3.0f, 160}, {3.75f, 160},  // past the last level: that level alone
        {-0.5f, 60},                // truncated toward zero: levels 0 and 1, weight 0.5
        {-1.5f, 40},                // the level before level 0 is never read: level 0 alone
    };
    for (GlTexFilterProc proc : {__glTexFilterNearestMipmapLinear, __glTexFilterLinearMipmapLinear})
        for (auto [lambda, value] : rows) EXPECT_EQ(m.filter(proc, lambda), value) << lambda;
}

// Each level is sampled in its own texels.
TEST(TexLod, EachLevelScalesByItsOwnSize) {
    HandTexture h;
    gradient(h, 0, 4, 4);
    gradient(h, 1, 2, 2);
    h.tex.maxLevel = 1;
    h.choose(GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST);
    uint8_t out[4] = {};
    __glTexFilterNearestMipmapNearest(&h.tex, 1.0f, 0.7f, 0.2f, out);  // level 1: texel (1, 0)
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 100);
    __glTexFilterNearestScaled(&h.tex, 5.0f, 0.7f, 0.2f, out);  // level 0 whatever lambda: texel (2, 0)
    EXPECT_EQ(out[0], 20);
}

}  // namespace
