// Nearest, repeating textures as a program sees them on two roads of a 5-5-5 memory DC: the C
// chain ("__GL_DISABLE_OG=1") and the generated integer span routine that draws the whole pixel
// ("__GL_FORCE_MMX=0"). Every state the routine takes (GL_REPLACE and GL_MODULATE, smooth and
// flat colour, with and without dither, depth test and perspective, RGB, RGBA and luminance
// textures) must give the chain's picture exactly, and the driver's description must show that
// the routine drew it; where the texel and the colour are known, each pixel must also be the
// texel times the colour with the chain's rounding.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "icd/core/drv_exports.h"
#include "tests/common/road_program.h"

namespace {

constexpr int kW = 72, kH = 40;  // rows longer than two chunks of 32, and of every length modulo 4

enum class Road { Chain, Generated };
constexpr Road kRoads[] = {Road::Chain, Road::Generated};
const char *nameOf(Road r) { return r == Road::Chain ? "fast chain" : "generated routine"; }

class TexturedOneRoutine : public RoadProgram {
protected:
    // MMX is forbidden on both roads: with it the MMX routine would draw the affine states.
    void open(Road r) {
        openRoad(r == Road::Chain ? "1" : "0", "0", kW, kH);
        if (HasFatalFailure()) return;
        describe = reinterpret_cast<decltype(describe)>(GetProcAddress(kivOpenGlDriverModule(), "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
    }

    std::string line() const {
        std::vector<char> text(512, '\0');
        describe(text.data(), UINT(text.size()));
        return std::string(text.data());
    }
    // The span-routine entries the description counts (one per triangle), or -1.
    long spanRuns() const {
        const std::string l = line(), tag = "; span-routine runs: ";
        const size_t at = l.find(tag);
        return at == std::string::npos ? -1 : std::strtol(l.c_str() + at + tag.size(), nullptr, 10);
    }

    decltype(&__glDescribeGeneratedCode) describe = nullptr;
};

// A texture of w x h texels, each byte different from its neighbours', in the format given, nearest
// and repeating, in the environment mode.
void texture(GLenum format, int channels, int w, int h, GLenum env) {
    std::vector<uint8_t> bytes(size_t(w * h * channels));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 73 + 29);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), w, h, 0, format, GL_UNSIGNED_BYTE, bytes.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(env));
}

struct State {
    GLenum env, shade;
    bool dither, depth, perspective;
    GLenum format;
    int channels;
};

// The state, nearer flat bars under the depth test (the textured triangles skip runs of 1 to 4
// pixels in their rows) and the texture.
void scene(const State &k) {
    glClearColor(0.2f, 0.1f, 0.3f, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (k.dither) glEnable(GL_DITHER);
    else glDisable(GL_DITHER);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    if (k.depth) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glColor3f(0.9f, 0.8f, 0.1f);
        for (int x0 : {5, 17, 30, 52}) glRectf(float(x0), 0, float(x0 + 1 + x0 % 5), kH);  // at window depth 0.5
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    texture(k.format, k.channels, 8, 4, k.env);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, k.perspective ? GL_NICEST : GL_FASTEST);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(k.shade);
}

struct Vertex {
    float x, y, s, t, w, r, g, b;
};
constexpr Vertex kTriangles[][3] = {
    {{1.5f, 1.25f, -0.4f, 0.1f, 0.5f, 1.0f, 0.9f, 0.2f}, {70.5f, 6.5f, 3.3f, -0.6f, 3.0f, 0.1f, 0.3f, 0.9f},
     {14.125f, 38.0625f, 0.2f, 2.4f, 1.0f, 0.6f, 1.0f, 0.5f}},
    {{69.5f, 37.5f, 2.9f, 2.2f, 1.5f, 0.95f, 0.5f, 0.3f}, {70.0f, 8.25f, 1.4f, -0.3f, 0.75f, 0.4f, 0.2f, 0.8f},
     {16.0625f, 38.75f, -0.7f, 1.6f, 2.0f, 0.0f, 0.7f, 1.0f}},
    {{3.0f, 30.0f, 0.3f, -0.9f, 1.0f, 0.7f, 0.7f, 0.7f}, {37.0f, 33.5f, 2.1f, 1.3f, 2.5f, 0.3f, 1.0f, 0.1f},
     {6.0f, 38.5f, 0.5f, 0.2f, 0.6f, 1.0f, 0.0f, 0.4f}},
};
constexpr int kTriangleCount = 3;

// Three textured triangles of changing colour (w from a half to three, coordinates repeating),
// all inside the window, in clip coordinates (window x = (x_c / w + 1) kW / 2), at window depth
// 0.75, behind the bars.
void triangles() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    for (const auto &tri : kTriangles)
        for (const Vertex &v : tri) {
            glColor3f(v.r, v.g, v.b);
            glTexCoord2f(v.s, v.t);
            glVertex4f((v.x * 2 / kW - 1) * v.w, (v.y * 2 / kH - 1) * v.w, 0.5f * v.w, v.w);
        }
    glEnd();
    glPopMatrix();
}

TEST_F(TexturedOneRoutine, EveryStateItTakesIsTheChainsPicture) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    struct Format {
        GLenum format;
        int channels;
    };
    const Format formats[] = {{GL_RGB, 3}, {GL_RGBA, 4}, {GL_LUMINANCE, 1}};
    std::vector<State> states;
    for (GLenum env : {GL_REPLACE, GL_MODULATE})
        for (GLenum shade : {GL_SMOOTH, GL_FLAT})
            for (bool dither : {false, true})
                for (bool depth : {false, true})
                    for (bool perspective : {false, true})
                        for (const Format &f : formats) states.push_back({env, shade, dither, depth, perspective, f.format, f.channels});
    std::vector<std::vector<uint16_t>> pictures[2];
    for (Road r : kRoads) {
        open(r);
        ASSERT_FALSE(HasFatalFailure());
        for (const State &k : states) {
            scene(k);
            glFinish();
            const long before = spanRuns();
            triangles();
            glFinish();
            pictures[int(r)].push_back(pixels());
            EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << nameOf(r);
            if (r == Road::Generated) {
                const std::string drawn = line();
                EXPECT_NE(drawn.find("one-routine span routine"), std::string::npos) << drawn;
                EXPECT_EQ(spanRuns(), before + kTriangleCount) << drawn;
            }
        }
    }
    for (size_t i = 0; i < states.size(); ++i) {
        const State &k = states[i];
        SCOPED_TRACE(::testing::Message() << (k.env == GL_MODULATE ? "modulate" : "replace")
                                          << (k.shade == GL_SMOOTH ? " smooth" : " flat") << (k.dither ? " dither" : "")
                                          << (k.depth ? " depth" : "") << (k.perspective ? " perspective" : "")
                                          << " format " << std::hex << k.format);
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint16_t chain = pictures[0][i][size_t(y * kW + x)], generated = pictures[1][i][size_t(y * kW + x)];
                if (chain != generated && differing++ < 3)
                    ADD_FAILURE() << "(" << x << "," << y << "): chain " << std::hex << chain << ", generated " << generated;
            }
        EXPECT_EQ(differing, 0);
    }
}

// Under perspective the integer routine draws even where MMX is allowed. The bound texture
// specified again at other sizes (same layout) between draws: each draw reads the texture at its
// own size, as the chain does, on a routine of its own.
TEST_F(TexturedOneRoutine, ATextureSpecifiedAgainAtAnotherSizeIsDrawnAtThatSize) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    std::vector<std::vector<uint16_t>> pictures[2];
    for (Road r : kRoads) {
        openRoad(r == Road::Chain ? "1" : "0", "1", kW, kH);
        ASSERT_FALSE(HasFatalFailure());
        describe = reinterpret_cast<decltype(describe)>(GetProcAddress(kivOpenGlDriverModule(), "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
        glDisable(GL_DITHER);
        glShadeModel(GL_SMOOTH);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        for (GLenum env : {GL_REPLACE, GL_MODULATE})
            for (int side : {16, 4, 8, 2}) {
                glClear(GL_COLOR_BUFFER_BIT);
                texture(GL_RGB, 3, side, side, env);
                glEnable(GL_TEXTURE_2D);
                const long before = spanRuns();
                triangles();
                pictures[int(r)].push_back(pixels());
                if (r == Road::Generated) {
                    const std::string drawn = line();
                    EXPECT_NE(drawn.find("one-routine span routine"), std::string::npos) << drawn;
                    EXPECT_EQ(spanRuns(), before + kTriangleCount) << drawn;
                }
            }
    }
    for (size_t i = 0; i < pictures[0].size(); ++i) EXPECT_TRUE(pictures[0][i] == pictures[1][i]) << "draw " << i;
}

// ---- texel times colour ---------------------------------------------------------------------------

// The 4 x 4 ordered-dither levels by window row and column (y & 3, x & 3).
constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// A flat colour a quarter step above the 5-bit fields F modulates an 8 x 4 RGB texture whose texels
// cover 4 x 4 pixels each. Per channel the fast path's field byte of the colour is 8F + 2 (eighths
// of a step), the product with the texel byte tau is rounded to a 255th, and the field is that plus
// half a step (no dither) or the dither level's share of a step (level / 2 eighths), cut to the
// field: (round(tau (8F + 2) / 255) + 4 or level / 2) / 8, rounded down.
TEST_F(TexturedOneRoutine, FlatModulatedPixelsAreTexelTimesColour) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    const int fields[3] = {27, 9, 16};
    for (bool dither : {false, true})
        for (Road r : kRoads) {
            SCOPED_TRACE(::testing::Message() << nameOf(r) << (dither ? " dither" : ""));
            open(r);
            ASSERT_FALSE(HasFatalFailure());
            if (dither) glEnable(GL_DITHER);
            else glDisable(GL_DITHER);
            texture(GL_RGB, 3, 8, 4, GL_MODULATE);
            glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
            glEnable(GL_TEXTURE_2D);
            // The texels as the level keeps them (fewer bits than the bytes given).
            std::vector<uint8_t> stored(8 * 4 * 4);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, stored.data());
            glShadeModel(GL_FLAT);
            glColor3f((fields[0] + 0.25f) / 31, (fields[1] + 0.25f) / 31, (fields[2] + 0.25f) / 31);
            const long before = spanRuns();
            glBegin(GL_TRIANGLES);
            const float corners[6][2] = {{0, 0}, {kW, 0}, {0, kH}, {kW, 0}, {kW, kH}, {0, kH}};
            for (const auto &v : corners) {
                glTexCoord2f(v[0] / 32, v[1] / 16);
                glVertex2f(v[0], v[1]);
            }
            glEnd();
            const std::vector<uint16_t> got = pixels();
            if (r == Road::Generated) {
                EXPECT_EQ(spanRuns(), before + 2) << line();
            }
            int bad = 0;
            for (int y = 0; y < kH; ++y)
                for (int x = 0; x < kW; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const int tau = stored[size_t((((y / 4) % 4) * 8 + (x / 4) % 8) * 4 + c)];
                        const int product = (2 * tau * (8 * fields[c] + 2) + 255) / 510;
                        const int expected = (product + (dither ? kBayer[y & 3][x & 3] / 2 : 4)) / 8;
                        const int field = (got[size_t(y * kW + x)] >> (10 - 5 * c)) & 31;
                        if (field != expected && bad++ < 3)
                            ADD_FAILURE() << "(" << x << "," << y << ") channel " << c << ": " << field << ", expected "
                                          << expected << " (texel byte " << tau << ")";
                    }
        }
}

}  // namespace
