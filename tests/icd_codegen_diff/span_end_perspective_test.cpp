// Perspective textures at the default hint end every row's last run on the row's last pixel: a
// program draws two triangles whose rows have every length from 1 to 41 pixels, one walked left to
// right and one right to left, with 1/w falling to a third across each row, on every road. The
// texture's texels encode their own column, row and level, so each pixel shows where its sample
// lay. Every pixel's s and t must lie within the range of the exact values (s/q and t/q in double,
// from the vertices) at its row's first and last pixels, and at both of those pixels the texel must
// be the one the exact division selects. A run stepped towards a division past the row's end, where
// 1/w is near 0, leaves that range by many texels.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "icd/core/drv_exports.h"
#include "tests/common/road_program.h"
#include "tests/common/window_triangle.h"

namespace {

constexpr int kW = 128, kH = 84;
// The texture: 128 x 32 texels and its mipmaps; texel (i, j) of level l shows i | j << 7 | l << 12
// in the 15 bits of a 5-5-5 pixel under GL_REPLACE.
constexpr int kTexW = 128, kTexH = 32, kLevels = 8;

struct Vertex {
    double x, y, w, s, t;
};
struct Triangle {
    Vertex v[3];
};

// Rows of 1 .. 41 pixels and back: a vertical edge 82 rows long at x + 0.25 (or x + 0.75 for the
// mirrored one), the apex 41 pixels across at half height. No pixel centre lies on an edge. 1/w
// falls from 1 at the vertical edge to 1/3 at the apex.
Triangle wedge(double edgeX, int across, double sApex) {
    return {{{edgeX, 1, 1, 0, 0}, {edgeX, 83, 1, 0, 0.98}, {edgeX + across * 41.0, 42, 3, sApex, 0.49}}};
}

using kivtest::Plane;
using kivtest::planeOf;
using kivtest::wellInside;

// s/q (a = 0) or t/q (a = 1) at a window position: the planes of s/w and 1/w, their ratio.
double coordinateAt(const Triangle &tri, int a, double x, double y) {
    auto attr = [&](const Vertex &v) { return (a == 0 ? v.s : v.t) / v.w; };
    const Plane c = planeOf(tri, attr(tri.v[0]), attr(tri.v[1]), attr(tri.v[2]));
    const Plane q = planeOf(tri, 1 / tri.v[0].w, 1 / tri.v[1].w, 1 / tri.v[2].w);
    return c.at(x, y) / q.at(x, y);
}

// OpenGL's bounds on the level of detail at a window position, log2 max(m_u, m_v) and
// log2 (m_u + m_v), from the derivatives of u = s/q and v = t/q in level 0's texels.
void lambdaBounds(const Triangle &tri, double x, double y, double &lo, double &hi) {
    auto attr = [&](const Vertex &v, int a) { return (a == 0 ? v.s : v.t) / v.w; };
    const Plane q = planeOf(tri, 1 / tri.v[0].w, 1 / tri.v[1].w, 1 / tri.v[2].w);
    double m[2];
    for (int a = 0; a < 2; ++a) {
        const Plane c = planeOf(tri, attr(tri.v[0], a), attr(tri.v[1], a), attr(tri.v[2], a));
        const double Q = q.at(x, y), C = c.at(x, y), size = a == 0 ? kTexW : kTexH;
        const double dx = (c.b * Q - C * q.b) / (Q * Q) * size, dy = (c.c * Q - C * q.c) / (Q * Q) * size;
        m[a] = std::max(std::fabs(dx), std::fabs(dy));
    }
    lo = std::log2(std::max(m[0], m[1]));
    hi = std::log2(m[0] + m[1]);
}

// The level a nearest-mipmap-nearest filter takes at lambda (magnified at or below 0.5).
int nearestLevel(double lambda) {
    if (lambda <= 0.5) return 0;
    return std::min(kLevels - 1, int(std::ceil(lambda + 0.5)) - 1);
}

// Whether texel i of a repeating axis of n texels covers a coordinate in [lo, hi] (in textures).
bool covers(int i, int n, double lo, double hi) {
    for (double k = std::floor(lo * n); k <= std::floor(hi * n); k += 1.0)
        if (((int64_t(k) % n) + n) % n == i) return true;
    return false;
}

// The texel a coordinate selects on n texels, or -1 within `margin` texels of a boundary.
int texelOf(double c, int n, double margin) {
    const double u = c * n;
    if (std::fabs(u - std::round(u)) < margin) return -1;
    return int(((int64_t(std::floor(u)) % n) + n) % n);
}

uint8_t byteOf5(int v) { return uint8_t(std::lround(v * 255.0 / 31.0)); }

// The coordinate texture, level 0 alone or with every mipmap, repeating.
void coordinateTexture(bool mipmaps) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, 1);
    for (int level = 0, w = kTexW, h = kTexH; level < (mipmaps ? kLevels : 1); ++level, w = std::max(1, w / 2), h = std::max(1, h / 2)) {
        std::vector<uint8_t> rgb;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const int v = i | j << 7 | level << 12;
                for (int c : {v >> 10, (v >> 5) & 31, v & 31}) rgb.push_back(byteOf5(c));
            }
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}

// What a pixel shows: the texel's column, row and level.
struct Shown {
    int i, j, level;
};
Shown shownBy(uint16_t p) {
    const int v = (p >> 10 & 31) << 10 | (p >> 5 & 31) << 5 | (p & 31);
    return {v & 127, v >> 7 & 31, v >> 12};
}

struct Road {
    const char *name;
    const char *disableOg, *forceMmx;
    GLenum minFilter, magFilter;
    const char *routine;   // what the driver says drew it (null: not asked)
    double endMargin;      // texels of slack at a division: the float arithmetic's, or the MMX reciprocal's
    double sApex;          // s at the apex: a minifying road keeps every pixel minified
};
const Road kRoads[] = {
    {"fast chain, nearest", "1", "0", GL_NEAREST, GL_NEAREST, nullptr, 2e-3, 0.98},
    {"fast chain, minifying nearest, magnifying linear", "1", "0", GL_NEAREST, GL_LINEAR, nullptr, 2e-3, 1.96},
    {"fast chain, nearest mipmaps", "1", "0", GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, nullptr, 2e-3, 1.96},
    {"integer one-routine", "0", "0", GL_NEAREST, GL_NEAREST, "one-routine span routine", 2e-3, 0.98},
    {"MMX span routine", "0", "1", GL_NEAREST, GL_NEAREST, "MMX span routine", 0.1, 0.98},
};

class SpanEndPerspective : public RoadProgram {};

TEST_F(SpanEndPerspective, EveryRowsCoordinatesStayBetweenItsEndsAndItsLastPixelDivides) {
    ASSERT_TRUE(haveIcd()) << "no driver module";
    for (const Road &road : kRoads) {
        SCOPED_TRACE(road.name);
        openRoad(road.disableOg, road.forceMmx, kW, kH);
        ASSERT_FALSE(HasFatalFailure());
        const auto describe = reinterpret_cast<decltype(&__glDescribeGeneratedCode)>(
            GetProcAddress(kivOpenGlDriverModule(), "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
        glDisable(GL_DITHER);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        const bool mip = road.minFilter == GL_NEAREST_MIPMAP_NEAREST;
        coordinateTexture(mip);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(road.minFilter));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(road.magFilter));
        glEnable(GL_TEXTURE_2D);
        const Triangle tris[2] = {wedge(2.25, 1, road.sApex), wedge(125.75, -1, road.sApex)};
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glColor3f(1, 1, 1);
        glBegin(GL_TRIANGLES);
        for (const Triangle &tri : tris)
            for (const Vertex &v : tri.v) {
                glTexCoord4f(float(v.s), float(v.t), 0.0f, 1.0f);
                glVertex4d((v.x * 2 / kW - 1) * v.w, (v.y * 2 / kH - 1) * v.w, 0.5 * v.w, v.w);
            }
        glEnd();
        glPopMatrix();
        const std::vector<uint16_t> got = pixels();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        if (road.routine != nullptr) {
            std::vector<char> text(512, '\0');
            describe(text.data(), UINT(text.size()));
            EXPECT_NE(std::string(text.data()).find(road.routine), std::string::npos) << text.data();
        }

        // Rows judged by [direction][length].
        int judged[2][42] = {};
        int outside = 0, wrongEnd = 0;
        for (int d = 0; d < 2; ++d) {
            const Triangle &tri = tris[d];
            for (int y = 0; y < kH; ++y) {
                const double cy = y + 0.5;
                int first = kW, last = -1;
                for (int x = 0; x < kW; ++x)
                    if (wellInside(tri, x + 0.5, cy, 0.0)) {
                        first = std::min(first, x);
                        last = std::max(last, x);
                    }
                if (last < 0) continue;
                // The walk's first and last pixels.
                const int walkFirst = d == 0 ? first : last, walkLast = d == 0 ? last : first;
                double lo[2], hi[2], lamLo = 1e9, lamHi = -1e9;
                for (int a = 0; a < 2; ++a) {
                    const double e0 = coordinateAt(tri, a, walkFirst + 0.5, cy), e1 = coordinateAt(tri, a, walkLast + 0.5, cy);
                    lo[a] = std::min(e0, e1);
                    hi[a] = std::max(e0, e1);
                }
                for (int x : {walkFirst, walkLast}) {
                    double l0, l1;
                    lambdaBounds(tri, x + 0.5, cy, l0, l1);
                    lamLo = std::min(lamLo, l0);
                    lamHi = std::max(lamHi, l1);
                }
                ++judged[d][last - first + 1];
                for (int x = first; x <= last; ++x) {
                    const Shown sh = shownBy(got[size_t(y * kW + x)]);
                    const int w = std::max(1, kTexW >> sh.level), h = std::max(1, kTexH >> sh.level);
                    const double margin = road.endMargin / std::min(w, h);
                    bool in = covers(sh.i, w, lo[0] - margin, hi[0] + margin) && covers(sh.j, h, lo[1] - margin, hi[1] + margin);
                    if (mip) in = in && sh.level >= nearestLevel(lamLo) && sh.level <= nearestLevel(lamHi);
                    else in = in && sh.level == 0;
                    if (!in && ++outside <= 4)
                        ADD_FAILURE() << "pixel " << x << "," << y << " (row of " << last - first + 1 << ") shows texel "
                                      << sh.i << "," << sh.j << " of level " << sh.level << ", outside s " << lo[0] * w
                                      << ".." << hi[0] * w << ", t " << lo[1] * h << ".." << hi[1] * h;
                    if (x != walkFirst && x != walkLast) continue;
                    // The row's ends show the exact division's texel (where no boundary is near).
                    const int want[2] = {texelOf(coordinateAt(tri, 0, x + 0.5, cy), w, road.endMargin),
                                         texelOf(coordinateAt(tri, 1, x + 0.5, cy), h, road.endMargin)};
                    if ((want[0] >= 0 && want[0] != sh.i) || (want[1] >= 0 && want[1] != sh.j))
                        if (++wrongEnd <= 4)
                            ADD_FAILURE() << "pixel " << x << "," << y << " ends a row of " << last - first + 1
                                          << " and shows texel " << sh.i << "," << sh.j << " of level " << sh.level
                                          << ", the division there gives " << want[0] << "," << want[1];
                }
            }
        }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(wrongEnd, 0);
        for (int d = 0; d < 2; ++d)
            for (int n = 1; n <= 40; ++n) EXPECT_GE(judged[d][n], 1) << "rows of " << n << " pixels, direction " << d;
    }
}

}  // namespace
