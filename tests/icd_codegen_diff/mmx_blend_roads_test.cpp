// Blending as a program sees it on the two fast roads of a 5-5-5 memory DC: the C chain
// ("__GL_DISABLE_OG") and the generated MMX span routine ("__GL_FORCE_MMX"). Each case draws
// through opengl32 into a DIB section and reads back with glReadPixels. The two roads must give
// the same picture pixel for pixel; where the source, its alpha and the destination are known
// exactly, each pixel must also be the exact blend within the precision the fast path keeps
// (field bytes of an eighth of a step; factors and texel products rounded to a 255th).
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "tests/common/road_program.h"

namespace {

constexpr int kW = 44, kH = 36;  // rows longer than 32 pixels, and of every length modulo 4

enum class Road { Chain, Mmx };
constexpr Road kRoads[] = {Road::Chain, Road::Mmx};
const char *nameOf(Road r) { return r == Road::Chain ? "fast chain" : "generated MMX"; }

constexpr double kSteps = 31.0;  // field steps of a 5-bit channel

// A picture read back: three channels a pixel in field steps, bottom row first.
struct Picture {
    std::vector<int> steps;
    int at(int x, int y, int c) const { return steps[size_t((y * kW + x) * 3 + c)]; }
};

// A texture of the given texels (RGBA bytes, converted by the format given), repeating,
// sampled with the filter, in the environment mode. Returns the RGBA of texel 0 as the
// driver stores it (read back with glGetTexImage): this visual may keep fewer bits.
std::vector<double> texture(GLenum internal, GLenum format, int w, int h, const std::vector<uint8_t> &bytes,
                            GLenum env, GLenum filter = GL_NEAREST) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(internal), w, h, 0, format, GL_UNSIGNED_BYTE, bytes.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glEnable(GL_TEXTURE_2D);
    std::vector<float> stored(size_t(w) * h * 4, -1.0f);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, stored.data());
    return {stored[0], stored[1], stored[2], stored[3]};
}

class MmxBlendRoads : public RoadProgram {
protected:
    void open(Road r) { openRoad(r == Road::Chain ? "1" : "0", r == Road::Mmx ? "1" : "0", kW, kH); }

    static Picture read() {
        Picture p;
        std::vector<float> f(size_t(kW) * kH * 3);
        glFinish();
        glReadPixels(0, 0, kW, kH, GL_RGB, GL_FLOAT, f.data());
        p.steps.resize(f.size());
        for (size_t i = 0; i < f.size(); ++i) p.steps[i] = int(std::lround(double(f[i]) * kSteps));
        return p;
    }

    // The whole window as two triangles, texture coordinates 0 to 1 across it.
    static void rectangle() {
        glBegin(GL_TRIANGLES);
        const float v[6][2] = {{0, 0}, {kW, 0}, {0, kH}, {kW, 0}, {kW, kH}, {0, kH}};
        for (const auto &p : v) {
            glTexCoord2f(p[0] / kW, p[1] / kH);
            glVertex2f(p[0], p[1]);
        }
        glEnd();
    }
};

// ---- the same frame on both roads ---------------------------------------------------------------------

// A shaded background drawn without blending, then overlapping triangles of changing colour and
// alpha (one flat) blended over it with the case's state, texture coordinates repeating.
void blendedScene(const std::function<void()> &state) {
    glDisable(GL_BLEND);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    const float bg[6][5] = {{0, 0, 0.1f, 0.9f, 0.4f},   {kW, 0, 0.8f, 0.2f, 0.6f}, {0, kH, 0.5f, 0.5f, 0.1f},
                            {kW, 0, 0.8f, 0.2f, 0.6f},  {kW, kH, 0.3f, 0.7f, 1.0f}, {0, kH, 0.5f, 0.5f, 0.1f}};
    for (const auto &v : bg) {
        glColor3f(v[2], v[3], v[4]);
        glVertex2f(v[0], v[1]);
    }
    glEnd();
    state();
    glEnable(GL_BLEND);
    struct V {
        float x, y, z, r, g, b, a;
    };
    const V tris[][3] = {
        {{1.5f, 2.25f, 0.5f, 0.9f, 0.3f, 0.4f, 0.8f}, {43.0f, 6.5f, 0.1f, 0.3f, 0.9f, 0.3f, 0.1f},
         {14.125f, 35.0625f, -0.3f, 0.4f, 0.4f, 0.9f, 0.55f}},
        {{40.5f, 33.5f, -0.6f, 1.0f, 0.8f, 0.3f, 0.95f}, {42.0f, 3.25f, 0.4f, 0.3f, 0.5f, 0.8f, 0.0f},
         {4.0625f, 20.5f, -0.2f, 0.5f, 0.9f, 0.6f, 0.35f}},
        {{3.0f, 30.0f, -0.9f, 0.0f, 0.9f, 1.0f, 1.0f}, {37.0f, 31.5f, -0.9f, 0.6f, 0.0f, 0.3f, 0.6f},
         {6.0f, 34.0f, -0.9f, 0.3f, 0.6f, 0.3f, 0.2f}},
    };
    for (size_t i = 0; i < 3; ++i) {
        glShadeModel(i == 2 ? GL_FLAT : GL_SMOOTH);
        glBegin(GL_TRIANGLES);
        for (const V &v : tris[i]) {
            glColor4f(v.r, v.g, v.b, v.a);
            glTexCoord2f(v.x / 9.0f - 0.5f, v.y / 7.0f - 0.25f);
            glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
    }
}

void blendFunc(GLenum s, GLenum d) { glBlendFunc(s, d); }
// An 8 x 4 texture of scrambled bytes (alpha among them) in the base format given.
void scrambled(GLenum internal, GLenum format, int channels, GLenum env, GLenum filter = GL_NEAREST) {
    std::vector<uint8_t> bytes(size_t(8 * 4 * channels));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 67 + 13);
    texture(internal, format, 8, 4, bytes, env, filter);
}

TEST_F(MmxBlendRoads, BlendedFramesAreTheChainsPixelForPixel) {
    struct Case {
        const char *name;
        std::function<void()> state;
    };
    const Case cases[] = {
        {"src alpha, one minus src alpha, dither", [] { glEnable(GL_DITHER); blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); }},
        {"one minus src alpha, src alpha", [] { glDisable(GL_DITHER); blendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA); }},
        {"dst colour, src colour, dither", [] { glEnable(GL_DITHER); blendFunc(GL_DST_COLOR, GL_SRC_COLOR); }},
        {"one, one minus src colour", [] { glDisable(GL_DITHER); blendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR); }},
        {"one minus dst colour, one minus src alpha, dither",
         [] { glEnable(GL_DITHER); blendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_ALPHA); }},
        {"src alpha, one, depth", [] {
             glDisable(GL_DITHER);
             glClear(GL_DEPTH_BUFFER_BIT);
             glEnable(GL_DEPTH_TEST);
             glDepthFunc(GL_LESS);
             blendFunc(GL_SRC_ALPHA, GL_ONE);
         }},
        {"rgba modulate, src alpha, one minus src alpha, dither", [] {
             glEnable(GL_DITHER);
             scrambled(GL_RGBA, GL_RGBA, 4, GL_MODULATE);
             blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         }},
        {"rgba replace, src alpha, one minus src alpha", [] {
             glDisable(GL_DITHER);
             scrambled(GL_RGBA, GL_RGBA, 4, GL_REPLACE);
             blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         }},
        {"luminance alpha modulate, one minus src alpha, one", [] {
             glDisable(GL_DITHER);
             scrambled(GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, 2, GL_MODULATE);
             blendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_ONE);
         }},
        {"intensity modulate, one, one minus src alpha, dither", [] {
             glEnable(GL_DITHER);
             scrambled(GL_INTENSITY, GL_LUMINANCE, 1, GL_MODULATE);
             blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
         }},
        {"rgb linear modulate, src alpha, one minus src alpha, dither", [] {
             glEnable(GL_DITHER);
             scrambled(GL_RGB, GL_RGB, 3, GL_MODULATE, GL_LINEAR);
             blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
         }},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        Picture pictures[2];
        for (Road r : kRoads) {
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            blendedScene(k.state);
            pictures[int(r)] = read();
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << nameOf(r);
        }
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                for (int c = 0; c < 3; ++c)
                    if (pictures[0].at(x, y, c) != pictures[1].at(x, y, c) && differing++ < 3)
                        ADD_FAILURE() << "(" << x << "," << y << ") channel " << c << ": chain "
                                      << pictures[0].at(x, y, c) << ", MMX " << pictures[1].at(x, y, c);
    }
}

// ---- the exact blend -----------------------------------------------------------------------------------

// A uniform source over a uniform destination: every pixel is the exact blend of the two (in
// field steps) within the precision the fast path keeps, its mean over the window too under
// dither, and both roads draw the same picture. The source's channels sit a quarter step above a
// field value (so that its field bytes are exact), its alpha is a byte; with a texture the
// source is the texel as stored times that colour.
TEST_F(MmxBlendRoads, UniformBlendsAreTheExactValue) {
    struct Case {
        GLenum src, dst;
        bool modulate;  // an RGBA texel modulates the colour, its alpha the fragment's
    };
    const Case cases[] = {
        {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, false}, {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, false},
        {GL_SRC_ALPHA, GL_ONE, false},                 {GL_DST_COLOR, GL_SRC_COLOR, false},
        {GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR, false},
        {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true},  {GL_ONE, GL_ONE_MINUS_SRC_ALPHA, true},
    };
    // Source fields (a quarter step is added), destination fields, per channel; alpha bytes.
    const int source[3] = {27, 9, 16}, destination[3] = {6, 20, 30};
    const int alphas[] = {0, 51, 119, 200, 255};
    const uint8_t texel[4] = {221, 136, 255, 170};  // exact in four bits, as this visual keeps them
    auto weight = [](GLenum factor, double cs, double as, double cd, double max) {
        switch (factor) {
        case GL_ONE: return 1.0;
        case GL_SRC_ALPHA: return as;
        case GL_ONE_MINUS_SRC_ALPHA: return 1.0 - as;
        case GL_SRC_COLOR: return cs / max;
        case GL_ONE_MINUS_SRC_COLOR: return 1.0 - cs / max;
        case GL_DST_COLOR: return cd / max;
        case GL_ONE_MINUS_DST_COLOR: return 1.0 - cd / max;
        default: return 0.0;
        }
    };
    auto colourFactor = [](GLenum f) {
        return f == GL_SRC_COLOR || f == GL_ONE_MINUS_SRC_COLOR || f == GL_DST_COLOR || f == GL_ONE_MINUS_DST_COLOR;
    };
    for (const Case &k : cases)
        for (int alpha : alphas)
            for (bool dither : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "blend " << std::hex << k.src << "," << k.dst << std::dec
                                                  << (k.modulate ? " modulated" : "") << " alpha " << alpha
                                                  << (dither ? " dither" : ""));
                Picture pictures[2];
                std::vector<double> stored;
                for (Road r : kRoads) {
                    open(r);
                    ASSERT_FALSE(HasFatalFailure());
                    glClearColor(float(destination[0] / kSteps), float(destination[1] / kSteps),
                                 float(destination[2] / kSteps), 0);
                    glClear(GL_COLOR_BUFFER_BIT);
                    if (dither) glEnable(GL_DITHER);
                    else glDisable(GL_DITHER);
                    if (k.modulate) {
                        std::vector<uint8_t> bytes;
                        for (int i = 0; i < 4; ++i) bytes.insert(bytes.end(), texel, texel + 4);
                        stored = texture(GL_RGBA, GL_RGBA, 2, 2, bytes, GL_MODULATE);
                    }
                    glEnable(GL_BLEND);
                    glBlendFunc(k.src, k.dst);
                    glColor4ub(uint8_t(0), 0, 0, uint8_t(alpha));  // the alpha byte exactly
                    float colour[4];
                    glGetFloatv(GL_CURRENT_COLOR, colour);
                    glColor4f(float((source[0] + 0.25) / kSteps), float((source[1] + 0.25) / kSteps),
                              float((source[2] + 0.25) / kSteps), colour[3]);
                    rectangle();
                    pictures[int(r)] = read();
                    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << nameOf(r);
                }
                EXPECT_EQ(pictures[0].steps, pictures[1].steps) << "both roads draw the same picture";
                for (int c = 0; c < 3; ++c) {
                    const double max = kSteps, fieldByte = 1.0 / 8;  // a field byte in steps
                    double cs = source[c] + 0.25, as = alpha / 255.0;
                    // What the fast path rounds: the field byte, factors and products to a 255th.
                    double slack = fieldByte;
                    if (k.modulate) {
                        cs *= stored[size_t(c)];
                        as *= stored[3];
                        slack += fieldByte / 2 + max / 510;
                    }
                    if (colourFactor(k.src) || colourFactor(k.dst)) slack += max / 510;
                    const double cd = destination[c];
                    double exact = cs * weight(k.src, cs, as, cd, max) + cd * weight(k.dst, cs, as, cd, max);
                    exact = std::min(exact, max);
                    for (Road r : kRoads) {
                        const Picture &p = pictures[int(r)];
                        double sum = 0;
                        int bad = 0;
                        for (int y = 0; y < kH; ++y)
                            for (int x = 0; x < kW; ++x) {
                                const int v = p.at(x, y, c);
                                sum += v;
                                // Rounded (or, dithered, one of the two neighbours) within the slack.
                                const double reach = dither ? 1.0 : 0.5;
                                if (std::fabs(v - exact) > reach + slack && bad++ < 3)
                                    ADD_FAILURE() << nameOf(r) << " (" << x << "," << y << ") channel " << c << ": "
                                                  << v << ", exact " << exact;
                            }
                        if (dither) {
                            EXPECT_NEAR(sum / (kW * kH), exact, slack) << nameOf(r) << " channel " << c << " mean";
                        }
                    }
                }
            }
}

}  // namespace
