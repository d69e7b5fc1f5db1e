// A tool's question "did this context run generated code?", asked the way a tool asks it: a
// program draws through opengl32 into a memory-DC bitmap, then the loaded driver module's
// description export describes the thread's current context. The same program runs a second time
// with "__GL_DISABLE_OG=1" (tests.cmake), which the module reads once per process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "icd/core/drv_exports.h"
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

namespace {

constexpr int kSize = 64;

bool generatorOff() {
    const char *v = std::getenv("__GL_DISABLE_OG");
    return v != nullptr && std::atoi(v) != 0;
}

class DescribeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kivMachineBoot());
        ASSERT_TRUE(kivOpenGlUnloadDriver());
        target = std::make_unique<kivscenes::BitmapTarget>(kSize, kSize);
        ASSERT_TRUE(target->ok) << target->why;
        HMODULE module = kivOpenGlDriverModule();
        ASSERT_NE(module, nullptr);
        describe = reinterpret_cast<decltype(describe)>(GetProcAddress(module, "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
    }
    void TearDown() override {
        target.reset();
        kivOpenGlUnloadDriver();
    }
    std::string line() {
        std::vector<char> text(512, '\0');
        const UINT n = describe(text.data(), UINT(text.size()));
        EXPECT_LT(n, text.size());
        return std::string(text.data());
    }

    std::unique_ptr<kivscenes::BitmapTarget> target;
    decltype(&__glDescribeGeneratedCode) describe = nullptr;
};

// A full-window smooth quad under the depth test, red at the left edge and blue at the right.
void smoothDepthQuad() {
    kivscenes::windowProjection(kSize, kSize);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0), glVertex3f(0, 0, 0);
    glColor3f(0, 0, 1), glVertex3f(kSize, 0, 0);
    glColor3f(0, 0, 1), glVertex3f(kSize, kSize, 0);
    glColor3f(1, 0, 0), glVertex3f(0, kSize, 0);
    glEnd();
}

// The quad reached the bitmap: red falls and blue grows across it.
void expectQuadDrawn() {
    uint8_t left[4] = {}, right[4] = {};
    glReadPixels(2, kSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, left);
    glReadPixels(kSize - 3, kSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, right);
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[2], 40);
    EXPECT_LT(right[0], 40);
    EXPECT_GT(right[2], 200);
}

// The number the line reports after "; span-routine runs: ", or -1 without one.
long spanRuns(const std::string &line) {
    const std::string tag = "; span-routine runs: ";
    const size_t at = line.find(tag);
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + tag.size(), nullptr, 10);
}

// The quad is two triangles: the routine that the line names counts each entry, so the count it
// reports grows by exactly two per quad drawn, and not at all while nothing is drawn.
TEST_F(DescribeProgram, ASmoothDepthTestedQuadRanAGeneratedSpanRoutine) {
    if (generatorOff()) GTEST_SKIP() << "the generator is off in this run";
    smoothDepthQuad();
    const std::string drawn = line();
    glFinish();
    expectQuadDrawn();
    EXPECT_EQ(drawn.rfind("generated code: ", 0), 0u) << drawn;
    EXPECT_NE(drawn.find("span routine"), std::string::npos) << drawn;
    const long before = spanRuns(drawn);
    ASSERT_GE(before, 2) << drawn;
    EXPECT_EQ(spanRuns(line()), before) << "no drawing, no runs";
    for (long quads = 1; quads <= 3; ++quads) {
        smoothDepthQuad();
        glFinish();
        expectQuadDrawn();
        EXPECT_EQ(spanRuns(line()), before + 2 * quads) << quads;
    }
    // Antialiased polygons have no fast path: the rows are no generated routine's any more.
    glEnable(GL_POLYGON_SMOOTH);
    smoothDepthQuad();
    const std::string smoothEdges = line();
    glDisable(GL_POLYGON_SMOOTH);
    EXPECT_EQ(smoothEdges.find("span routine"), std::string::npos) << smoothEdges;
}

// ---- a replacing texture drawn by the one-routine ----

bool mmxForcedOff() {
    const char *v = std::getenv("__GL_FORCE_MMX");
    return v != nullptr && std::atoi(v) == 0;
}

// A 16 x 8 RGB texture whose texel (i, j) has bytes that rounding and cutting to a 5- or 6-bit
// field tell apart.
constexpr int kTexW = 16, kTexH = 16;
uint8_t texelByte(int i, int j, int channel) {
    return uint8_t(channel == 0 ? 8 * i + 5 : channel == 1 ? 16 * j + 13 : 250 - 15 * i);
}
// A byte rounded to a field of max steps: the nearest of byte x max / 255 (never a tie).
int fieldOf(int byte, int max) { return (2 * byte * max + 255) / 510; }

// One corner of the quad: window position, s, t and clip w.
struct Corner {
    double x, y, s, t, w;
};
// Columns [x0, x1) of a nearer flat magenta bar across the window; x1 0 ends the list.
struct Bar {
    int x0, x1;
};
struct TextureCase {
    const char *name;
    GLenum hint;       // GL_FASTEST: affine; else divided per pixel
    double near;       // texels: centres this close to a texel boundary are not judged
    Bar nearer[5];     // drawn first, under the depth test, where the quad fails it
    Corner corner[4];  // near (2, 2), (62, 2), (62, 62), (2, 62): pixels 2 to 61 covered
};
// Every row's first pixels, and runs of 1 to 7 pixels in its middle, fail the depth test: the
// first pixel drawn lies inside the row, and the texels change over the pixels skipped.
#define KIV_GAPS {{0, 4}, {9, 12}, {20, 21}, {33, 40}, {51, 53}}
// Coordinates beyond 1 and below 0 repeat; w differs per corner where the hint asks for division
// (up to sixteen to one). Centres within a thousandth of a texel of a boundary are not judged: a
// float division may land either side there.
const TextureCase kTextureCases[] = {
    {"affine", GL_FASTEST, 1e-3, {}, {{2, 2, -0.3, 0.1, 1}, {62, 2, 2.7, 0.1, 1}, {62, 62, 2.7, 1.9, 1}, {2, 62, -0.3, 1.9, 1}}},
    {"affine under depth", GL_FASTEST, 1e-3, {{0, 32}}, {{2, 2, 0.2, -1.2, 1}, {62, 2, 1.45, -1.2, 1}, {62, 62, 1.45, 2.3, 1}, {2, 62, 0.2, 2.3, 1}}},
    {"perspective", GL_NICEST, 1e-3, {}, {{2, 2, -0.3, 0.1, 1}, {62, 2, 2.7, 0.1, 1.5}, {62, 62, 2.7, 1.9, 2}, {2, 62, -0.3, 1.9, 1.25}}},
    {"steep perspective", GL_NICEST, 1e-3, {}, {{2, 2, -0.3, 0.1, 0.25}, {62, 2, 2.7, 0.1, 4}, {62, 62, 2.7, 1.9, 3}, {2, 62, -0.3, 1.9, 0.4}}},
    // Corners off the sixteenth-pixel grid (the same pixels covered): the snap must not move the
    // texture with the edges.
    {"off the grid", GL_NICEST, 1e-3, {},
     {{2.37, 2.21, -0.3, 0.1, 0.5}, {61.83, 2.29, 2.7, 0.1, 2}, {61.71, 61.93, 2.7, 1.9, 1.5}, {2.19, 61.62, -0.3, 1.9, 0.8}}},
    {"perspective under depth", GL_NICEST, 1e-3, {{0, 32}}, {{2, 2, 0.1, 0.0, 2}, {62, 2, 2.9, 0.2, 1}, {62, 62, 2.1, 1.9, 1.5}, {2, 62, 0.4, 1.7, 1.25}}},
    // Six repeats across a row, w from a quarter to four: the texel changes every pixel or two,
    // and across the skipped runs, and each row crosses the seam several times.
    {"steep perspective with gaps", GL_NICEST, 1e-3, KIV_GAPS,
     {{2, 2, -1.3, 0.1, 0.25}, {62, 2, 4.7, -0.6, 4}, {62, 62, 4.2, 2.9, 3}, {2, 62, -0.8, 1.9, 0.4}}},
    {"affine with gaps", GL_FASTEST, 1e-3, KIV_GAPS, {{2, 2, -1.3, 0.1, 1}, {62, 2, 4.7, -0.6, 1}, {62, 62, 4.2, 2.9, 1}, {2, 62, -0.8, 1.9, 1}}},
};
#undef KIV_GAPS

bool inBar(const Bar (&bars)[5], int x) {
    for (const Bar &b : bars)
        if (x >= b.x0 && x < b.x1) return true;
    return false;
}

// The texel a pixel centre sees in triangle (a, b, c) of the quad, from s/w, t/w and 1/w
// interpolated linearly in the window and divided here in double; false where the centre lies
// within `near` texels of a texel boundary (float arithmetic may put it either side).
bool expectedTexel(const Corner &a, const Corner &b, const Corner &c, double x, double y, double near, int *col, int *row) {
    const double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    const double l1 = ((x - a.x) * (c.y - a.y) - (c.x - a.x) * (y - a.y)) / det;
    const double l2 = ((b.x - a.x) * (y - a.y) - (x - a.x) * (b.y - a.y)) / det;
    const double l0 = 1 - l1 - l2;
    auto at = [&](double va, double vb, double vc) { return l0 * va + l1 * vb + l2 * vc; };
    const double q = at(1 / a.w, 1 / b.w, 1 / c.w);
    const double u = at(a.s / a.w, b.s / b.w, c.s / c.w) / q * kTexW, v = at(a.t / a.w, b.t / b.w, c.t / c.w) / q * kTexH;
    auto nearBoundary = [near](double w) { return std::fabs(w - std::floor(w + 0.5)) < near; };
    if (nearBoundary(u) || nearBoundary(v)) return false;
    *col = int(((long long)std::floor(u) % kTexW + kTexW) % kTexW);
    *row = int(((long long)std::floor(v) % kTexH + kTexH) % kTexH);
    return true;
}

// Through a 16-bit bitmap: each case's quad (two triangles) with GL_REPLACE, nearest, repeating,
// no dither, and under depth the case's nearer flat magenta bars drawn first. Every pixel reads
// back as the texel s/w / 1/w, t/w / 1/w picks, rounded to the buffer's fields (the magenta where
// a nearer bar is, black outside the quad). Where the one-routine serves (a divided texture whatever the processor;
// affine ones with MMX forbidden), the line names it and counts the quad's two triangles.
TEST_F(DescribeProgram, AReplacingTextureIsCopiedFromTheTexelThatTheDivisionPicks) {
    std::vector<uint8_t> texels;
    for (int j = 0; j < kTexH; ++j)
        for (int i = 0; i < kTexW; ++i)
            for (int ch = 0; ch < 3; ++ch) texels.push_back(texelByte(i, j, ch));
    GLint bits[3] = {};
    glGetIntegerv(GL_RED_BITS, &bits[0]);
    glGetIntegerv(GL_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_BLUE_BITS, &bits[2]);
    for (GLint b : bits) ASSERT_TRUE(b == 5 || b == 6) << b;
    for (const TextureCase &c : kTextureCases) {
        SCOPED_TRACE(c.name);
        kivscenes::windowProjection(kSize, kSize);
        glDisable(GL_DITHER);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_TEXTURE_2D);
        const bool depth = c.nearer[0].x1 != 0;
        if (depth) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(GL_LESS);
            glColor3f(1, 0, 1);
            for (const Bar &b : c.nearer) glRectf(float(b.x0), 0, float(b.x1), kSize);  // at z 0: window depth 0.5
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        glBindTexture(GL_TEXTURE_2D, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kTexW, kTexH, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, c.hint);
        glEnable(GL_TEXTURE_2D);
        // Clip coordinates: window x = (x_c / w + 1) 32, whole pixels exact in binary.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        const long before = spanRuns(line());
        glBegin(GL_TRIANGLES);
        for (int k : {0, 1, 2, 0, 2, 3}) {
            const Corner &v = c.corner[k];
            glTexCoord2f(float(v.s), float(v.t));
            // Window depth 0.75, behind the magenta.
            glVertex4f(float((v.x / 32 - 1) * v.w), float((v.y / 32 - 1) * v.w), float(0.5 * v.w), float(v.w));
        }
        glEnd();
        glFinish();
        const std::string drawn = line();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<float> rgba(size_t(kSize * kSize * 4));
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, rgba.data());
        int judged = 0, bad = 0;  // a few wrong pixels say enough
        for (int y = 0; y < kSize && bad < 8; ++y)
            for (int x = 0; x < kSize && bad < 8; ++x) {
                int expected[3];
                const bool inside = x >= 2 && x < kSize - 2 && y >= 2 && y < kSize - 2;
                if (depth && inBar(c.nearer, x)) {
                    for (int ch = 0; ch < 3; ++ch) expected[ch] = ch == 1 ? 0 : (1 << bits[ch]) - 1;
                } else if (!inside) {
                    for (int ch = 0; ch < 3; ++ch) expected[ch] = 0;
                } else {
                    // Below the diagonal from corner 0 to corner 2: corners 0, 1, 2. Within a
                    // pixel of it either triangle may own the pixel.
                    const Corner &d0 = c.corner[0], &d2 = c.corner[2];
                    const double side = (d2.x - d0.x) * (y + 0.5 - d0.y) - (d2.y - d0.y) * (x + 0.5 - d0.x);
                    if (std::fabs(side) < std::hypot(d2.x - d0.x, d2.y - d0.y)) continue;
                    const bool lower = side < 0;
                    int col, row;
                    if (!expectedTexel(c.corner[0], c.corner[lower ? 1 : 2], c.corner[lower ? 2 : 3], x + 0.5, y + 0.5, c.near, &col, &row))
                        continue;
                    for (int ch = 0; ch < 3; ++ch) expected[ch] = fieldOf(texelByte(col, row, ch), (1 << bits[ch]) - 1);
                }
                ++judged;
                for (int ch = 0; ch < 3; ++ch) {
                    const int max = (1 << bits[ch]) - 1;
                    const int got = int(std::lround(rgba[size_t(4 * (y * kSize + x) + ch)] * float(max)));
                    EXPECT_EQ(got, expected[ch]) << "pixel " << x << ", " << y << " channel " << ch;
                    if (got != expected[ch]) ++bad;
                }
            }
        EXPECT_GT(judged, kSize * kSize * 3 / 4);
        if (generatorOff()) continue;
        if (c.hint != GL_FASTEST || mmxForcedOff()) {
            EXPECT_NE(drawn.find("one-routine span routine"), std::string::npos) << drawn;
            EXPECT_EQ(spanRuns(drawn), before + 2) << drawn;
        }
    }
}

TEST_F(DescribeProgram, WithTheGeneratorOffTheSameQuadRanNone) {
    if (!generatorOff()) GTEST_SKIP() << "runs as icd_codegen_describe_no_generator, with __GL_DISABLE_OG=1";
    smoothDepthQuad();
    const std::string drawn = line();
    glFinish();
    expectQuadDrawn();
    // The bitmap's 16-bit rows are no rows for the 32-bit fill loop either.
    EXPECT_EQ(drawn, "generated code: none (no generator); clears: C fill");
}

// A short buffer gets the line's first size - 1 bytes and a terminator, nothing past it; the
// returned length is the whole line's either way.
TEST_F(DescribeProgram, AShortBufferGetsATerminatedPrefixAndNothingPastIt) {
    smoothDepthQuad();
    const std::string whole = line();
    constexpr char kGuard = '\x5A';
    for (UINT size : {0u, 1u, 8u}) {
        std::vector<char> text(size + 16, kGuard);
        EXPECT_EQ(describe(text.data(), size), whole.size()) << size;
        if (size > 0) {
            EXPECT_EQ(std::string(text.data()), whole.substr(0, size - 1)) << size;
        }
        for (size_t i = size; i < text.size(); ++i) ASSERT_EQ(text[i], kGuard) << size << " byte " << i;
    }
    EXPECT_EQ(describe(nullptr, 64), whole.size());
    // Without a current context the line says so.
    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(line(), "generated code: no current context");
}

}  // namespace
