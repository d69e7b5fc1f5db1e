// What a program sees of the per-fragment arithmetic on every software road of a 5-5-5 memory
// DC: the generic rasteriser (a one-dimensional texture, which the fast chooser refuses), the
// fast C chain ("__GL_DISABLE_OG"), and the generated span routines without and with MMX
// ("__GL_FORCE_MMX"). Each case draws through opengl32 and reads back with glReadPixels;
// expected values are the exact products of the colours in field steps (0..31), rounded, or
// under dither the exact value's floor or ceiling with an unbiased mean.
#include "tests/common/road_program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kSize = 32;
constexpr double kSteps = 31.0;  // field steps of a 5-bit channel

enum class Road { Generic, Chain, Generated, GeneratedMmx };
constexpr Road kRoads[] = {Road::Generic, Road::Chain, Road::Generated, Road::GeneratedMmx};
const char *nameOf(Road r) {
    switch (r) {
    case Road::Generic: return "generic";
    case Road::Chain: return "fast chain";
    case Road::Generated: return "generated";
    default: return "generated MMX";
    }
}

// A picture read back: three channels a pixel in field steps, bottom row first.
struct Picture {
    std::vector<double> steps;
    double at(int x, int y, int c) const { return steps[size_t((y * kSize + x) * 3 + c)]; }
};

class ExactFragmentRoads : public RoadProgram {
protected:
    // A current context on a fresh 5-5-5 DIB section for the road, cleared to the grey levels
    // given.
    void open(Road r, float red = 0, float green = 0, float blue = 0) {
        road = r;
        openRoad(r == Road::Chain ? "1" : "0", r == Road::GeneratedMmx ? "1" : "0", kSize, kSize);
        if (HasFatalFailure()) return;
        glDisable(GL_DITHER);
        if (r == Road::Generic) forceGeneric();
        glClearColor(red, green, blue, 0);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    // The generic road: a white one-dimensional texture modulating every fragment by exactly 1,
    // which the fast chooser refuses. Textured cases replace it by their own 1D texture.
    static void forceGeneric() {
        const uint8_t white[8] = {255, 255, 255, 255, 255, 255, 255, 255};
        glBindTexture(GL_TEXTURE_1D, 7);
        glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnable(GL_TEXTURE_1D);
    }
    // A 2 x 2 texture (1 x 2 on the generic road's 1D target) of one texel repeated, with the
    // environment mode; the texel is given in the format's bytes. Returns the red channel as the
    // driver stores it (read back with glGetTexImage), which the texture's own bits may round.
    double texture(GLenum internal, GLenum format, const std::vector<uint8_t> &texel, GLenum env) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < 4; ++i) bytes.insert(bytes.end(), texel.begin(), texel.end());
        const GLenum target = road == Road::Generic ? GL_TEXTURE_1D : GL_TEXTURE_2D;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glBindTexture(target, 1);
        if (target == GL_TEXTURE_1D)
            glTexImage1D(target, 0, GLint(internal), 2, 0, format, GL_UNSIGNED_BYTE, bytes.data());
        else
            glTexImage2D(target, 0, GLint(internal), 2, 2, 0, format, GL_UNSIGNED_BYTE, bytes.data());
        glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
        glEnable(target);
        std::vector<float> stored(16, -1.0f);
        glGetTexImage(target, 0, GL_RGBA, GL_FLOAT, stored.data());
        return stored[0];
    }
    // The whole window as two triangles at depth z, texture coordinates across it.
    static void rectangle(float z = 0.0f) {
        glBegin(GL_TRIANGLES);
        const float v[6][2] = {{0, 0}, {kSize, 0}, {0, kSize}, {kSize, 0}, {kSize, kSize}, {0, kSize}};
        for (const auto &p : v) {
            glTexCoord2f(p[0] / kSize, p[1] / kSize);
            glVertex3f(p[0], p[1], z);
        }
        glEnd();
    }
    static Picture read() {
        Picture p;
        std::vector<float> f(size_t(kSize) * kSize * 3);
        glFinish();
        glReadPixels(0, 0, kSize, kSize, GL_RGB, GL_FLOAT, f.data());
        p.steps.resize(f.size());
        for (size_t i = 0; i < f.size(); ++i) p.steps[i] = std::round(double(f[i]) * kSteps);
        return p;
    }
    static int stencilAt(int x, int y) {
        uint8_t s = 0;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &s);
        return s;
    }

    // Without dither: every pixel holds the exact value rounded (the source's own 8-bit step
    // may move it by up to 0.07 of a field step, so values this close to a half are avoided).
    static void expectRounded(const Picture &p, const double exact[3], const std::string &what) {
        int bad = 0;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                for (int c = 0; c < 3; ++c)
                    if (std::fabs(p.at(x, y, c) - exact[c]) > 0.5 + 0.07 && bad++ < 3)
                        ADD_FAILURE() << what << " (" << x << "," << y << ") channel " << c << ": " << p.at(x, y, c)
                                      << ", exact " << exact[c];
    }
    // With dither: each pixel the exact value's floor or ceiling, every aligned 4 x 4 block's
    // mean and the whole picture's mean within a quarter step of it.
    static void expectDithered(const Picture &p, const double exact[3], const std::string &what) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            int bad = 0;
            for (int by = 0; by < kSize; by += 4)
                for (int bx = 0; bx < kSize; bx += 4) {
                    double block = 0;
                    for (int y = by; y < by + 4; ++y)
                        for (int x = bx; x < bx + 4; ++x) {
                            const double v = p.at(x, y, c);
                            block += v;
                            if ((v < std::floor(exact[c]) || v > std::ceil(exact[c])) && bad++ < 3)
                                ADD_FAILURE() << what << " (" << x << "," << y << ") channel " << c << ": " << v
                                              << ", exact " << exact[c];
                        }
                    sum += block;
                    if (std::fabs(block / 16 - exact[c]) > 0.25 && bad++ < 3)
                        ADD_FAILURE() << what << " block (" << bx << "," << by << ") channel " << c << ": mean "
                                      << block / 16 << ", exact " << exact[c];
                }
            EXPECT_NEAR(sum / (kSize * kSize), exact[c], 0.25) << what << " channel " << c;
        }
    }

    Road road = Road::Generic;
};

// ---- stencil operations where the depth test fails -------------------------------------------------

TEST_F(ExactFragmentRoads, StencilTakesTheDepthFailOperationWhereTheDepthTestFails) {
    struct Case {
        GLenum fail, depthFail, depthPass;
        double clearDepth;  // 0: every fragment fails GL_LESS; 1: every fragment passes
        int expected;       // from stencil 0 with reference 5
    };
    const Case cases[] = {
        {GL_KEEP, GL_REPLACE, GL_KEEP, 0.0, 5},       {GL_REPLACE, GL_REPLACE, GL_REPLACE, 0.0, 5},
        {GL_KEEP, GL_INCR, GL_REPLACE, 0.0, 1},       {GL_KEEP, GL_INVERT, GL_REPLACE, 0.0, 255},
        {GL_KEEP, GL_INCR, GL_REPLACE, 1.0, 5},       {GL_KEEP, GL_REPLACE, GL_KEEP, 1.0, 0},
    };
    for (Road r : kRoads)
        for (const Case &k : cases)
            for (bool depthWrites : {true, false}) {
                open(r);
                ASSERT_FALSE(HasFatalFailure());
                glClearDepth(k.clearDepth);
                glClearStencil(0);
                glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
                glEnable(GL_DEPTH_TEST);
                glDepthFunc(GL_LESS);
                glDepthMask(depthWrites);
                glEnable(GL_STENCIL_TEST);
                glStencilFunc(GL_ALWAYS, 5, 0xFF);
                glStencilOp(k.fail, k.depthFail, k.depthPass);
                glColor3f(1, 1, 1);
                rectangle();
                glFinish();
                for (int y : {0, 13, kSize - 1})
                    for (int x : {0, 17, kSize - 1})
                        ASSERT_EQ(stencilAt(x, y), k.expected)
                            << nameOf(r) << " ops " << std::hex << k.fail << "," << k.depthFail << "," << k.depthPass
                            << std::dec << " clear depth " << k.clearDepth << " writes " << depthWrites << " at ("
                            << x << "," << y << ")";
                EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
            }
}

// ---- products at full scale --------------------------------------------------------------------------

TEST_F(ExactFragmentRoads, BlendProductsAreExactAtFullScale) {
    struct Case {
        GLenum src, dst;
        float source;       // grey level drawn
        float destination;  // grey level cleared to
    };
    const Case cases[] = {
        {GL_ZERO, GL_SRC_COLOR, 1.0f, 1.0f},      {GL_ZERO, GL_SRC_COLOR, 0.613f, 1.0f},
        {GL_DST_COLOR, GL_ZERO, 1.0f, 1.0f},      {GL_DST_COLOR, GL_ZERO, 0.613f, 1.0f},
        {GL_ZERO, GL_SRC_COLOR, 0.8f, 20 / 31.0f}, {GL_DST_COLOR, GL_ZERO, 0.3f, 1.0f},
        {GL_ONE, GL_ZERO, 0.613f, 0.0f},
    };
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r, k.destination, k.destination, k.destination);
            ASSERT_FALSE(HasFatalFailure());
            glEnable(GL_BLEND);
            glBlendFunc(k.src, k.dst);
            glColor3f(k.source, k.source, k.source);
            rectangle();
            const double d = std::round(k.destination * kSteps) / kSteps;
            const double v = (k.src == GL_ONE ? k.source : k.source * d) * kSteps;
            const double exact[3] = {v, v, v};
            expectRounded(read(), exact,
                          std::string(nameOf(r)) + " blend " + std::to_string(k.src) + "," + std::to_string(k.dst) +
                              " of " + std::to_string(k.source) + " over " + std::to_string(k.destination));
        }
}

TEST_F(ExactFragmentRoads, ModulatedTexelsAreExactAtFullScale) {
    struct Case {
        GLenum internal, format;
        std::vector<uint8_t> texel;  // the texture keeps it in its own bits: 2/31 in five is 2
    };
    const Case cases[] = {
        {GL_RGB5, GL_RGB, {16, 16, 16}},          {GL_RGBA4, GL_RGBA, {170, 170, 170, 255}},
        {GL_RGB8, GL_RGB, {200, 200, 200}},       {GL_RGBA8, GL_RGBA, {255, 255, 255, 255}},
        {GL_LUMINANCE8, GL_LUMINANCE, {136}},
    };
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            const double stored = texture(k.internal, k.format, k.texel, GL_MODULATE);
            glColor4f(1, 1, 1, 1);
            rectangle();
            const double v = stored * kSteps;
            const double exact[3] = {v, v, v};
            expectRounded(read(), exact, std::string(nameOf(r)) + " modulate of " + std::to_string(stored));
        }
}

// ---- dither -------------------------------------------------------------------------------------------

TEST_F(ExactFragmentRoads, DitheredColoursHaveTheExactMean) {
    struct Case {
        const char *what;
        GLenum internal, format;  // 0: untextured
        uint8_t level;            // the colour or texel byte
    };
    const Case cases[] = {
        {"flat colour", 0, 0, 230},
        {"rgb texel", GL_RGB8, GL_RGB, 230},
        {"rgba4 texel", GL_RGBA4, GL_RGBA, 238},  // 14/15 exactly
        {"rgb texel, dark", GL_RGB8, GL_RGB, 37},  // stored in the texture's own bits, read back
    };
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            glEnable(GL_DITHER);
            double level = k.level / 255.0;
            if (k.internal != 0) {
                level = texture(k.internal, k.format, std::vector<uint8_t>(k.format == GL_RGBA ? 4 : 3, k.level), GL_REPLACE);
                glColor3f(1, 1, 1);
            } else {
                glColor3ub(k.level, k.level, k.level);
            }
            rectangle();
            const double v = level * kSteps;
            const double exact[3] = {v, v, v};
            expectDithered(read(), exact, std::string(nameOf(r)) + " " + k.what);
        }
}

// ---- alpha test --------------------------------------------------------------------------------------

TEST_F(ExactFragmentRoads, AlphaTestConvertsReferenceAndAlphaAlike) {
    struct Case {
        GLenum func;
        bool drawn;  // alpha 0.5 against reference 0.5
    };
    const Case cases[] = {{GL_EQUAL, true}, {GL_LEQUAL, true}, {GL_GEQUAL, true},
                          {GL_GREATER, false}, {GL_LESS, false}, {GL_NOTEQUAL, false}};
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(k.func, 0.5f);
            glColor4f(1, 1, 1, 0.5f);
            rectangle();
            const double v = k.drawn ? kSteps : 0.0;
            const double exact[3] = {v, v, v};
            expectRounded(read(), exact, std::string(nameOf(r)) + " alpha func " + std::to_string(k.func));
        }
}

// ---- GL_BLEND environment on a visual without alpha bits ----------------------------------------------

TEST_F(ExactFragmentRoads, BlendEnvironmentKeepsTheEnvironmentAlpha) {
    struct Case {
        GLenum internal, format;
        std::vector<uint8_t> texel;
        double colour, alpha;  // the texel's colour and alpha weights
    };
    // Intensity weighs both with I; luminance-alpha the colour with L and multiplies alpha by A.
    const Case cases[] = {
        {GL_INTENSITY8, GL_LUMINANCE, {204}, 0.8, 0.8},
        {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, {204, 255}, 0.8, 1.0},
    };
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            texture(k.internal, k.format, k.texel, GL_BLEND);
            const float env[4] = {0, 1, 0, 1};
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, env);
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, 0.5f);
            const bool intensity = k.internal == GL_INTENSITY8;
            // Fragment alpha: 0 for intensity (the texel brings the environment's), 0.9 else.
            glColor4f(1, 0, 0, intensity ? 0.0f : 0.9f);
            rectangle();
            const double exact[3] = {(1 - k.colour) * kSteps, k.colour * kSteps, 0};
            expectRounded(read(), exact, std::string(nameOf(r)) + (intensity ? " intensity" : " luminance alpha"));
        }
}

// ---- blends that keep the destination ------------------------------------------------------------------

TEST_F(ExactFragmentRoads, DitheredBlendsThatKeepTheDestinationKeepIt) {
    struct Case {
        GLenum src, dst;
        float alpha;
    };
    const Case cases[] = {
        {GL_ZERO, GL_ONE, 1.0f},
        {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0.0f},
        {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, 1.0f},
        {GL_SRC_ALPHA_SATURATE, GL_ONE, 1.0f},  // no alpha bits: the destination alpha reads as 1
        {GL_SRC_ALPHA, GL_ONE, 0.0f},
        {GL_ONE_MINUS_DST_ALPHA, GL_ONE, 1.0f},
        {GL_ZERO, GL_ONE_MINUS_SRC_ALPHA, 0.0f},
    };
    const double kept[3] = {17, 9, 25};
    for (Road r : kRoads)
        for (const Case &k : cases) {
            open(r, float(kept[0] / kSteps), float(kept[1] / kSteps), float(kept[2] / kSteps));
            ASSERT_FALSE(HasFatalFailure());
            glEnable(GL_DITHER);
            glEnable(GL_BLEND);
            glBlendFunc(k.src, k.dst);
            glShadeModel(GL_SMOOTH);
            for (int pass = 0; pass < 3; ++pass) {
                // A colour far from the destination, shaded, so that any leak of it shows.
                glBegin(GL_TRIANGLES);
                const float v[6][2] = {{0, 0}, {kSize, 0}, {0, kSize}, {kSize, 0}, {kSize, kSize}, {0, kSize}};
                for (const auto &p : v) {
                    glColor4f(p[0] / kSize, 1 - p[1] / kSize, 0.9f, k.alpha);
                    glVertex2f(p[0], p[1]);
                }
                glEnd();
            }
            expectRounded(read(), kept,
                          std::string(nameOf(r)) + " blend " + std::to_string(k.src) + "," + std::to_string(k.dst));
        }
}

}  // namespace
