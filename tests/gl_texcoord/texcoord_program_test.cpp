// Texture coordinates and the level of detail as a program sees them: triangles drawn through
// opengl32 into a memory DC's 16-bit bitmap, read back with glReadPixels, each pixel checked
// against s/q, t/q and lambda computed here in double from the vertices. The same program runs
// once per software road (tests.cmake): generated span routines with and without MMX, the fast
// chain alone, and the generic rasteriser.
//
// The vertices are given in clip coordinates with identity matrices and chosen so that their
// window positions are whole pixels; s, t and q (over w) are then planes in window space that the
// test evaluates at each pixel centre. A pixel within 1/1000 texel of a texel boundary (or near a
// triangle edge) is not judged: float arithmetic may put it either side.
#include "tests/common/program_fixture.h"
#include "tests/common/window_triangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSize = 64;

// A vertex: window position (whole pixels), clip w, and texture coordinates s, t, q as the
// program gives them (the texture sees s/q, t/q).
struct Vertex {
    double x, y, w, s, t, q;
};
struct Triangle {
    Vertex v[3];
};

using kivtest::Plane;
using kivtest::planeOf;
using kivtest::wellInside;

// What the texture sees at a pixel centre: s/q and t/q, and the derivatives of u = W s/q and
// v = H t/q (W x H texels at level 0) along x and y.
struct TexelSpace {
    double s, t;
    double ux, uy, vx, vy;
};
// s/w, t/w, q/w and 1/w are linear in window space; the texture's coordinates are their ratios.
struct TrianglePlanes {
    Plane sw, tw, qw;
    explicit TrianglePlanes(const Triangle &tri)
        : sw(planeOf(tri, tri.v[0].s / tri.v[0].w, tri.v[1].s / tri.v[1].w, tri.v[2].s / tri.v[2].w)),
          tw(planeOf(tri, tri.v[0].t / tri.v[0].w, tri.v[1].t / tri.v[1].w, tri.v[2].t / tri.v[2].w)),
          qw(planeOf(tri, tri.v[0].q / tri.v[0].w, tri.v[1].q / tri.v[1].w, tri.v[2].q / tri.v[2].w)) {}
    TexelSpace at(double x, double y, double width, double height) const {
        const double S = sw.at(x, y), T = tw.at(x, y), Q = qw.at(x, y);
        // d(S/Q) = (dS Q - S dQ) / Q^2
        auto d = [&](double dS, double dQ, double S0) { return (dS * Q - S0 * dQ) / (Q * Q); };
        return {S / Q, T / Q, width * d(sw.b, qw.b, S), width * d(sw.c, qw.c, S), height * d(tw.b, qw.b, T),
                height * d(tw.c, qw.c, T)};
    }
};


// Texel index along an axis of `size` texels under GL_REPEAT, or -1 when u lies too near a
// boundary to judge.
int texelIndex(double u, int size) {
    if (std::fabs(u - std::round(u)) < 1e-3) return -1;
    const int i = int(std::floor(u));
    return ((i % size) + size) % size;
}

// The mip level GL_*_MIPMAP_NEAREST takes at lambda: 0 up to 0.5, else the nearest level,
// at most `last`.
int levelAt(double lambda, int last) {
    if (lambda <= 0.5) return 0;
    return std::min(int(std::ceil(lambda + 0.5)) - 1, last);
}
// The levels an implementation may take at a fragment: lambda lies between log2 of the larger
// single-axis scale and log2 of their sum (the bound on any approximation of rho), give or take
// the driver's log2, which is linear between powers of two (up to 0.043 below half the true
// log2 of rho squared).
struct LevelRange {
    int lo, hi;
};
LevelRange allowedLevels(const TexelSpace &p, int last) {
    const double mu = std::max(std::fabs(p.ux), std::fabs(p.uy)), mv = std::max(std::fabs(p.vx), std::fabs(p.vy));
    const double lo = std::log2(std::max(mu, mv)), hi = std::log2(mu + mv);
    return {levelAt(lo - 0.05, last), levelAt(hi + 1e-3, last)};
}

// Colours of the levels of a 32 x 32 texture, each channel off or full.
constexpr uint8_t kLevelRgb[6][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
// The byte whose 5-bit channel value is i (0 to 31).
uint8_t byteOf5(int i) { return uint8_t(std::lround(i * 255.0 / 31.0)); }

class TexCoordProgram : public BootedProgram {
protected:
    void SetUp() override {
        BootedProgram::SetUp();
        if (HasFatalFailure()) return;
        dib = std::make_unique<MemoryDib>(kSize, kSize);
        ASSERT_TRUE(dib->ok());
        context = std::make_unique<DibContext>(*dib);
        ASSERT_TRUE(context->current) << kivOpenGlError();
        glViewport(0, 0, kSize, kSize);
        glDisable(GL_DITHER);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glGetIntegerv(GL_RED_BITS, &redBits);
        ASSERT_EQ(redBits, 5) << "a 16-bit window format";
    }
    void TearDown() override {
        context.reset();
        dib.reset();
        BootedProgram::TearDown();
    }

    // A 32 x 32 texture whose texel (i, j) has the 5-bit channels i, j and 31.
    static void indexTexture() {
        std::vector<uint8_t> texels;
        for (int j = 0; j < 32; ++j)
            for (int i = 0; i < 32; ++i) texels.insert(texels.end(), {byteOf5(i), byteOf5(j), 255});
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 32, 32, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    // Six levels 32 .. 1, each of one colour.
    static void levelTexture(GLenum minFilter, GLenum magFilter) {
        for (int level = 0, side = 32; side >= 1; ++level, side /= 2) {
            std::vector<uint8_t> texels;
            for (int i = 0; i < side * side; ++i) texels.insert(texels.end(), kLevelRgb[level], kLevelRgb[level] + 3);
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
        }
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(magFilter));
    }

    // Draws the triangles (clip coordinates from the window positions and w) over a black clear
    // and reads the window back in 5-bit channel steps.
    struct Pixel {
        int r, g, b;
    };
    std::vector<Pixel> draw(const std::vector<Triangle> &tris) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        glEnable(GL_TEXTURE_2D);
        glBegin(GL_TRIANGLES);
        for (const Triangle &tri : tris)
            for (const Vertex &v : tri.v) {
                glTexCoord4f(float(v.s), float(v.t), 0.0f, float(v.q));
                // Window x = (x_c / w + 1) 32: positions on whole pixels are exact in binary.
                glVertex4f(float((v.x / 32.0 - 1.0) * v.w), float((v.y / 32.0 - 1.0) * v.w), 0.0f, float(v.w));
            }
        glEnd();
        glFinish();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        std::vector<float> rgba(size_t(kSize * kSize * 4));
        glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_FLOAT, rgba.data());
        std::vector<Pixel> out(size_t(kSize * kSize));
        for (size_t i = 0; i < out.size(); ++i)
            out[i] = {int(std::lround(rgba[4 * i] * 31.0f)), int(std::lround(rgba[4 * i + 1] * 31.0f)),
                      int(std::lround(rgba[4 * i + 2] * 31.0f))};
        return out;
    }

    std::unique_ptr<MemoryDib> dib;
    std::unique_ptr<DibContext> context;
    GLint redBits = 0;
};

// A case's name as a test name: its letters and digits, the rest as underscores.
template <class Case>
std::string nameOf(const ::testing::TestParamInfo<Case> &info) {
    std::string n;
    for (const char *c = info.param.name; *c != 0; ++c) n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return n;
}

// Calls f(x, y, triangle) for each pixel centre well inside one of the triangles.
template <class F>
void forEachInside(const std::vector<Triangle> &tris, F &&f) {
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            for (const Triangle &tri : tris)
                if (wellInside(tri, x + 0.5, y + 0.5, 0.01)) f(x, y, tri);
}

// Two triangles of a quad with corners in the order lower left, lower right, upper right,
// upper left.
std::vector<Triangle> quad(const Vertex (&c)[4]) { return {{{c[0], c[1], c[2]}}, {{c[0], c[2], c[3]}}}; }

struct CoordCase {
    const char *name;
    GLenum hint;
    Vertex corners[4];
};
// s, t, q given as (s/q) q at each corner.
constexpr Vertex projective(double x, double y, double w, double s, double t, double q) { return {x, y, w, s * q, t * q, q}; }

// w 1 on the left edge, 4 on the right, two repeats in s.
constexpr Vertex kTiltedQuad[4] = {projective(2, 2, 1, 0, 0, 1), projective(62, 20, 4, 2, 0, 1),
                                   projective(62, 44, 4, 2, 1, 1), projective(2, 62, 1, 0, 1, 1)};

// Every case asks for GL_NICEST, the division at every pixel that the test holds each pixel to
// (the default hint divides once per 16 pixels and steps in between).
const CoordCase kCoordCases[] = {
    // q from 1 to 2 at w = 1 over a 60 x 45 quad.
    {"q varies, w 1", GL_NICEST,
     {projective(2, 2, 1, 0, 0, 1), projective(62, 2, 1, 1, 0, 2), projective(62, 47, 1, 1, 1, 1.5),
      projective(2, 47, 1, 0, 1, 1.25)}},
    // A quad tilted away to the right.
    {"tilted quad", GL_NICEST, kTiltedQuad[0], kTiltedQuad[1], kTiltedQuad[2], kTiltedQuad[3]},
    // Tilted the other way and towards the top, with q and w both varying.
    {"tilted quad, q varies", GL_NICEST,
     {projective(4, 3, 2, 0, 0, 1.5), projective(60, 6, 1, 1.5, 0, 1), projective(58, 60, 1, 1.5, 1.5, 2),
      projective(6, 58, 4, 0, 1.5, 1)}},
};

class TexCoords : public TexCoordProgram, public ::testing::WithParamInterface<CoordCase> {};

// Every pixel shows the texel floor(32 s/q), floor(32 t/q) of its centre.
TEST_P(TexCoords, EachPixelShowsTheTexelHoldingItsCoordinates) {
    const CoordCase &c = GetParam();
    indexTexture();
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, c.hint);
    const std::vector<Triangle> tris = quad(c.corners);
    const std::vector<Pixel> got = draw(tris);
    int judged = 0, wrongS = 0, wrongT = 0;
    forEachInside(tris, [&](int x, int y, const Triangle &tri) {
        const TexelSpace p = TrianglePlanes(tri).at(x + 0.5, y + 0.5, 32, 32);
        const int i = texelIndex(32.0 * p.s, 32), j = texelIndex(32.0 * p.t, 32);
        if (i < 0 || j < 0) return;
        const Pixel &px = got[size_t(y * kSize + x)];
        ++judged;
        wrongS += px.r != i;
        wrongT += px.g != j;
        if ((px.r != i || px.g != j) && wrongS + wrongT <= 4)
            ADD_FAILURE() << c.name << ": pixel " << x << "," << y << " shows texel " << px.r << "," << px.g
                          << ", its centre lies in " << i << "," << j << " (u " << 32.0 * p.s << ", v " << 32.0 * p.t << ")";
    });
    EXPECT_GT(judged, 2000) << c.name;
    EXPECT_EQ(wrongS, 0) << c.name << ": of " << judged;
    EXPECT_EQ(wrongT, 0) << c.name << ": of " << judged;
}

INSTANTIATE_TEST_SUITE_P(Cases, TexCoords, ::testing::ValuesIn(kCoordCases), nameOf<CoordCase>);

struct LodCase {
    const char *name;
    GLenum minFilter, magFilter;
    Vertex corners[4];
};
const LodCase kLodCases[] = {
    // A floor receding to the top: w from 1 at the bottom edge to 8 at the top one, the texture
    // repeated eight times across.
    {"receding floor, nearest", GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST,
     {projective(0, 0, 1, 0, 0, 1), projective(64, 0, 1, 8, 0, 1), projective(40, 60, 8, 8, 8, 1),
      projective(24, 60, 8, 0, 8, 1)}},
    {"receding floor, bilinear", GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR,
     {projective(0, 0, 1, 0, 0, 1), projective(64, 0, 1, 8, 0, 1), projective(40, 60, 8, 8, 8, 1),
      projective(24, 60, 8, 0, 8, 1)}},
    // A wall tilted away to the right: magnified on the left, minified on the right.
    {"tilted wall", GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR,
     {projective(2, 2, 1, 0, 0, 1), projective(62, 20, 6, 4, 0, 1), projective(62, 44, 6, 4, 1, 1),
      projective(2, 62, 1, 0, 1, 1)}},
    // Nearly edge-on: the exact lambda stays low along x while the vertex values are large.
    {"steep wall", GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR,
     {projective(1, 8, 1, 0, 0, 1), projective(63, 28, 16, 1, 0, 1), projective(63, 36, 16, 1, 1, 1),
      projective(1, 56, 1, 0, 1, 1)}},
};

class LevelOfDetail : public TexCoordProgram, public ::testing::WithParamInterface<LodCase> {};

// Every pixel shows a level that a lambda within OpenGL's bound at its centre selects.
TEST_P(LevelOfDetail, EachPixelShowsALevelWithinTheBound) {
    const LodCase &c = GetParam();
    levelTexture(c.minFilter, c.magFilter);
    const std::vector<Triangle> tris = quad(c.corners);
    const std::vector<Pixel> got = draw(tris);
    auto levelOf = [](const Pixel &p) {
        for (int l = 0; l < 6; ++l)
            if (p.r == kLevelRgb[l][0] / 255 * 31 && p.g == kLevelRgb[l][1] / 255 * 31 && p.b == kLevelRgb[l][2] / 255 * 31)
                return l;
        return -1;
    };
    int judged = 0, wrong = 0;
    int seen[6] = {};
    forEachInside(tris, [&](int x, int y, const Triangle &tri) {
        const TexelSpace p = TrianglePlanes(tri).at(x + 0.5, y + 0.5, 32, 32);
        const LevelRange allowed = allowedLevels(p, 5);
        const int level = levelOf(got[size_t(y * kSize + x)]);
        ++judged;
        if (level >= 0) ++seen[level];
        if (level >= allowed.lo && level <= allowed.hi) return;
        if (++wrong <= 4)
            ADD_FAILURE() << c.name << ": pixel " << x << "," << y << " shows level " << level << ", allowed "
                          << allowed.lo << " to " << allowed.hi;
    });
    EXPECT_GT(judged, 1000) << c.name;
    EXPECT_EQ(wrong, 0) << c.name << ": of " << judged;
    // The picture spans several levels, so the check is not met by one level alone.
    EXPECT_GE(std::count_if(seen, seen + 6, [](int n) { return n > 0; }), 3) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, LevelOfDetail, ::testing::ValuesIn(kLodCases), nameOf<LodCase>);

}  // namespace
