// Primitives reaching beyond the 3D engine's coordinate range (about 2048 pixels from the origin)
// are drawn cut to the target, in execute buffers and DrawPrimitive alike; and a textured
// triangle cut in texture space is set up only where it lights pixels of the target.
#include "tests/sivhal_d3d/d3d_fixture.h"

#include <cstring>
#include <functional>
#include <limits>

namespace {

constexpr int kSize = 96;

// Whether pixel (x, y) lies inside the triangle by more than half a pixel: such a pixel must be
// lit whatever the rounding of the edges.
bool Inside(const std::vector<D3DTLVERTEX> &t, int x, int y) {
    const double area = Edge(t[0].sx, t[0].sy, t[1].sx, t[1].sy, t[2].sx, t[2].sy);
    for (int i = 0; i < 3; i++) {
        const D3DTLVERTEX &p = t[i], &q = t[(i + 1) % 3];
        const double e = Edge(p.sx, p.sy, q.sx, q.sy, x, y) * (area > 0 ? 1 : -1);
        if (e <= 0.5 * std::hypot(q.sx - p.sx, q.sy - p.sy))
            return false;
    }
    return true;
}

// The colour the triangle's vertices give pixel (x, y), by its barycentric weights.
Rgb Blend(const std::vector<D3DTLVERTEX> &t, double x, double y) {
    double w[3];
    Weights(t[0], t[1], t[2], x, y, w);
    double c[3] = {};
    for (int k = 0; k < 3; k++)
        for (int ch = 0; ch < 3; ch++)
            c[ch] += w[k] * ((t[k].color >> (16 - 8 * ch)) & 0xFF);
    return {int(c[0]), int(c[1]), int(c[2])};
}

class Range : public D3dMachine {
protected:
    Surf *target = nullptr;
    ULONG_PTR ctx = 0;
    void Open(WORD w, WORD h) {
        target = Target(w, h);
        ctx = NewContext(target);
        Plain(ctx, D3DSHADE_GOURAUD);
    }
    void CheckWedges(const std::vector<D3DTLVERTEX> &wedges, const DWORD *colors, uint32_t background);
    // One triangle through an execute buffer, or through DrawPrimitive.
    void Triangle(bool execute, const std::vector<D3DTLVERTEX> &t) {
        if (execute) {
            ExecBuffer *b = Exec(t);
            b->Triangles({D3DTRIANGLE{{0}, {1}, {2}, 0}});
            b->Exit();
            EXPECT_EQ(Run(ctx, b).result, DD_OK);
        } else {
            EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, t).result, DD_OK);
        }
    }
};

// A triangle with corners beyond the range, drawn on both roads: its pixels are those of the true
// triangle, its colours those of its vertices; the same part drawn as two triangles within the
// range (their corners placed on it by the test's own arithmetic) lights the same pixels.
TEST_F(Range, TrianglesBeyondTheRangeAreDrawnCut) {
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;
    struct Case {
        const char *name;
        std::vector<D3DTLVERTEX> tri;
    };
    const Case cases[] = {
        {"a corner at x = 3000", {V(10, 20, red), V(3000, 80, green), V(10, 90, blue)}},
        {"a corner above the range", {V(20, 90, red), V(60, -2500, green), V(90, 85, blue)}},
        {"two corners out, left and right", {V(-3000, 30, red), V(3000, 70, green), V(48, 92, blue)}},
        {"all corners out, the target inside", {V(-5000, -5000, red), V(5000, -4000, green), V(0, 6000, blue)}},
    };
    for (bool execute : {true, false})
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (execute ? ", execute buffer" : ", DrawPrimitive"));
            Open(kSize, kSize);
            Triangle(execute, c.tri);
            int lit = 0;
            for (int y = 0; y < kSize; y++)
                for (int x = 0; x < kSize; x++) {
                    const bool on = Lit(target, x, y);
                    lit += on;
                    if (Inside(c.tri, x, y)) {
                        EXPECT_TRUE(on) << x << "," << y << " inside the triangle";
                        const Rgb want = Blend(c.tri, x, y), got = Pixel(target, x, y);
                        EXPECT_NEAR(got.r, want.r, 12) << x << "," << y;
                        EXPECT_NEAR(got.g, want.g, 12) << x << "," << y;
                        EXPECT_NEAR(got.b, want.b, 12) << x << "," << y;
                    }
                    if (on) {
                        EXPECT_LE(DistanceToTriangle(c.tri[0], c.tri[1], c.tri[2], x, y), 1.0) << x << "," << y;
                    }
                }
            EXPECT_GT(lit, 0);
        }

    // The first case's part left of x = 1000, as two triangles within the range.
    const std::vector<D3DTLVERTEX> &far = cases[0].tri;
    auto along = [&](const D3DTLVERTEX &a, const D3DTLVERTEX &b, double x) {
        const double s = (x - a.sx) / (b.sx - a.sx);
        return V(float(x), float(a.sy + s * (b.sy - a.sy)));
    };
    const D3DTLVERTEX p = along(far[0], far[1], 1000), q = along(far[2], far[1], 1000);
    Open(kSize, kSize);
    Triangle(true, far);
    const std::vector<uint8_t> cut = Mask(target);
    Open(kSize, kSize);
    Triangle(true, {far[0], p, q});
    Triangle(true, {far[0], q, far[2]});
    const std::vector<uint8_t> twin = Mask(target);
    int differ = 0, lit = 0;
    for (size_t i = 0; i < cut.size(); i++) {
        differ += cut[i] != twin[i];
        lit += twin[i];
    }
    EXPECT_GT(lit, 2500);
    EXPECT_LE(differ, 4) << "of " << lit << " pixels";
}

// Nothing of a triangle wholly beyond the range and off the target is set up; a line reaching
// beyond it is drawn up to the target's edge.
TEST_F(Range, WhatLiesOffTheTargetIsNotSetUpAndLinesAreCut) {
    Open(kSize, kSize);
    kivSiv3dClearStats();
    Triangle(false, {V(3000, 0), V(4000, 0), V(3500, 50)});
    Triangle(true, {V(-4000, 10), V(-3000, 10), V(-3500, 60)});
    EXPECT_EQ(kivSiv3dStats()->commands, 0u);
    EXPECT_EQ(kivSiv3dStats()->pixels, 0u);

    EXPECT_EQ(Draw(ctx, D3DPT_LINELIST, {V(10, 40), V(5000, 40)}).result, DD_OK);
    for (int x = 12; x < kSize; x++)
        EXPECT_TRUE(Lit(target, x, 40)) << x;
    EXPECT_FALSE(Lit(target, 5, 40));

    // A line to a point 1e20 or 1e30 pixels away, from either end: every column it crosses has
    // a pixel lit, and every pixel lit is within a pixel of the line.
    const float x0 = 20.5f, y0 = 30.25f, slope = 0.3f;
    for (float r : {1e20f, 1e30f})
        for (bool fromFar : {false, true}) {
            SCOPED_TRACE(testing::Message() << r << (fromFar ? ", from the far end" : ""));
            Open(kSize, kSize);
            const D3DTLVERTEX near = V(x0, y0), far = V(x0 + r, y0 + r * slope);
            EXPECT_EQ(Draw(ctx, D3DPT_LINELIST, {fromFar ? far : near, fromFar ? near : far}).result, DD_OK);
            const double dx = double(far.sx) - near.sx, dy = double(far.sy) - near.sy;
            for (int x = 0; x < kSize; x++) {
                int column = 0;
                for (int y = 0; y < kSize; y++)
                    if (Lit(target, x, y)) {
                        column++;
                        EXPECT_LE(std::fabs(dx * (y - y0) - dy * (x - x0)) / std::hypot(dx, dy), 1.0) << x << "," << y;
                    }
                if (x > x0 + 1) {
                    EXPECT_GT(column, 0) << x;
                }
            }
        }
}

// Texture coordinates near 1e6 on a 3 x 11 target: each triangle spans more texels than the
// engine holds and is cut in texture space, but only pieces that can light a pixel of the target
// are set up, so the engine's commands follow the pixels drawn (without the cut to the target the
// grid has up to 512 x 512 pieces a triangle).
TEST_F(Range, HugeTextureCoordinatesCostWhatIsDrawn) {
    Open(3, 11);
    Surf *tex = Texture(Rgb16(), 16);
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}});
    std::vector<D3DTLVERTEX> list;
    const int kTriangles = 12;
    for (int i = 0; i < kTriangles; i++) {
        const float x = float(i % 4) - 1.5f, y = float(i % 5) * 2.0f - 1.0f;
        list.push_back(V(x, y, 0xFFFFFFFF, 0.5f, 0, 0));
        list.push_back(V(x + 40.0f + float(i), y + 3.0f, 0xFFFFFFFF, 0.5f, 999000.0f, 1000.0f));
        list.push_back(V(x + 1.0f, y + 30.0f + float(i), 0xFFFFFFFF, 0.5f, 5000.0f, 998000.0f));
    }
    kivSiv3dClearStats();
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, list).result, DD_OK);
    const Siv3dStats s = *kivSiv3dStats();
    EXPECT_GT(s.pixels, 0u);
    EXPECT_LE(s.commands, 2 * s.pixels) << s.pixels << " pixels";
}

// A textured, perspective triangle with corners far off the screen (1e6 to 1e30 pixels away,
// nearer the eye there, so that the texture coordinates run over a million texels across the
// target) is cut to the target and then into pieces the engine can texture; the work must follow
// the pixels drawn, not the grid of pieces. Six such wedges from the centre draw exactly their
// pixels in their colours, and a fan of 8,107 vertices whose triangles are slivers lying between
// the pixel centres (or have corners that are not numbers) sets up nothing. Then 2,702 triangles
// of a few pixels with such texture spans draw exactly their pixels. Walking every piece of every
// triangle takes far longer than the test's timeout under an emulator.
TEST_F(Range, FarCornersWithHugeTextureSpansCostThePixelsDrawn) {
    Open(kSize, kSize);
    const uint32_t background = 0x5A5A;   // a pixel drawn black shows too
    Clear(target, 0x5A);
    Surf *white = Texture(Rgb16(), 16);
    for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++)
            std::memcpy(Row(white, y) + 2 * x, "\xFF\xFF", 2);
    EXPECT_EQ(States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, white)},
                           {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_MODULATE},
                           {D3DRS_TEXTUREPERSPECTIVE, 1},
                           {D3DRS_SHADEMODE, D3DSHADE_FLAT}})
                  .result,
              DD_OK);
    const double kPi = 3.14159265358979323846;
    const float far[] = {1e6f, 1e9f, 1e20f, 1e30f};
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // A vertex at distance r in direction a from (cx, cy); rhw grows with the distance, as for a
    // point near the eye, and the texture coordinates are a million texels apart.
    auto out = [](float cx, float cy, double a, float r, float u, float v) {
        const float x = float(cx + r * std::cos(a)), y = float(cy + r * std::sin(a));
        return V(x, y, 0xFFFFFFFF, 0.5f, u, v, r / 100.0f);
    };

    const float cx = 48.4f, cy = 47.7f;
    const DWORD colors[6] = {0xFF48C4F0, 0xFFF80000, 0xFF00FC00, 0xFF0000F8, 0xFFF8FC00, 0xFF80C418};
    std::vector<D3DTLVERTEX> wedges, list;
    for (int k = 0; k < 6; k++) {
        const double a = k * kPi / 3;
        const D3DTLVERTEX tri[3] = {V(cx, cy, colors[k], 0.5f, 0, 0), out(cx, cy, a, far[k % 4], 1e6f, -1e6f),
                                    out(cx, cy, a + 0.5, far[(k + 1) % 4], -1e6f, 1e6f)};
        wedges.insert(wedges.end(), tri, tri + 3);
        list.insert(list.end(), tri, tri + 3);
        // Into the gap after the wedge: a triangle with a corner that is not a number.
        D3DTLVERTEX bad = out(cx, cy, a + 0.8, 1e6f, 0, 1e6f);
        (k & 1 ? bad.sx : bad.sy) = k & 2 ? inf : nan;
        list.insert(list.end(), {V(cx, cy), bad, out(cx, cy, a + 0.9, 1e6f, 1e6f, 0)});
    }
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, list).result, DD_OK);

    // The slivers: from a hub on the line x - y = 0.5, at least 0.35 pixels from every pixel
    // centre, along the line to corners 1e6 to 1e30 pixels away, 2e-5 radians either side of it;
    // one corner in 16 is not a number.
    const float hx = 60.5f, hy = 60.0f;
    std::vector<D3DTLVERTEX> fan = {V(hx, hy, 0xFFFFFFFF, 0.5f, 0, 0)};
    for (int i = 1; i < 8107; i++) {
        fan.push_back(out(hx, hy, kPi / 4 + (i & 1 ? 2e-5 : -2e-5), far[(i / 2) % 4], 1e6f, 1e6f));
        if (i % 16 == 0)
            fan.back().sx = i % 32 ? nan : -inf;
    }
    kivSiv3dClearStats();
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLEFAN, fan).result, DD_OK);
    EXPECT_EQ(kivSiv3dStats()->commands, 0u) << "slivers that cover no pixel centre are set up";

    CheckWedges(wedges, colors, background);

    // 8,106 triangles of a few pixels each (in 144 places), texture coordinates a million texels
    // apart on both axes: every one is cut into the full grid of pieces, of which a handful light
    // a pixel.
    Clear(target, 0x5A);
    std::vector<D3DTLVERTEX> small, places;
    for (int i = 0; i < 8106 / 3; i++) {
        const float x = 2.25f + float(i % 12) * 8, y = 2.5f + float(i / 12 % 12) * 8;
        const D3DTLVERTEX tri[3] = {V(x, y, colors[0], 0.5f, 0, 0, 1.0f), V(x + 4, y, 0xFFFFFFFF, 0.5f, 9e5f, 0, 0.5f),
                                    V(x, y + 4, 0xFFFFFFFF, 0.5f, 0, 9e5f, 2.0f)};
        small.insert(small.end(), tri, tri + 3);
        if (i < 144)
            places.insert(places.end(), tri, tri + 3);
    }
    small.push_back(V(1e30f, 1e30f));   // an unfinished triangle: left out
    EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, small).result, DD_OK);
    CheckWedges(places, std::vector<DWORD>(144, colors[0]).data(), background);
}

// A triangle over the whole target with two corners 5,000 pixels away, its texture coordinates
// growing a few hundred or over a thousand texels a row: the part over the target spans tens of
// times the texels the engine holds, so it is cut into a coarse grid of large pieces, or into
// pieces of about a row. Every pixel shows the texel at its centre by the true coordinates (the
// test's barycentric weights), on both roads. Across a row the coordinates grow a tenth of a
// texel a pixel, since the engine starts every row at its edge with no sub-pixel correction.
TEST_F(Range, FarCornersWithLargeTexelStepsShowTheTexelsAtThePixelCentres) {
    constexpr int kTexels = 16;
    Surf *tex = Texture(Rgb16(), kTexels);
    // Texel (i, j) holds i + 1 in red and j + 1 in green, so that no texel is black.
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const uint16_t t = uint16_t(0x8000 | (i + 1) << 10 | (j + 1) << 5);
            std::memcpy(Row(tex, j) + 2 * i, &t, 2);
        }
    struct Case {
        const char *name;
        float v;   // at the far corner below; 0 at the corners above
    };
    const Case cases[] = {{"about 250 texels a row", 78240.5f}, {"about 1,500 texels a row", 469062.5f}};
    for (bool execute : {true, false})
        for (const Case &k : cases) {
            SCOPED_TRACE(testing::Message() << k.name << (execute ? ", execute buffer" : ", DrawPrimitive"));
            Open(kSize, kSize);
            EXPECT_EQ(States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}})
                          .result,
                      DD_OK);
            const std::vector<D3DTLVERTEX> tri = {V(-1, -1, ~0u, 0.5f, 0, 0), V(5000, -1, ~0u, 0.5f, 31.25f, 0),
                                                  V(-1, 5000, ~0u, 0.5f, 0, k.v)};
            kivSiv3dClearStats();
            Triangle(execute, tri);
            EXPECT_GT(kivSiv3dStats()->commands, 2u) << "not cut in texture space";
            int checked = 0;
            for (int y = 0; y < kSize; y++)
                for (int x = 0; x < kSize; x++) {
                    double w[3];
                    Weights(tri[0], tri[1], tri[2], x, y, w);
                    const double u = w[1] * tri[1].tu * kTexels, v = w[2] * tri[2].tv * kTexels;
                    auto central = [](double c) { return c - std::floor(c) >= 0.2 && c - std::floor(c) <= 0.8; };
                    if (!central(u) || !central(v))
                        continue;
                    checked++;
                    const uint32_t got = Raw(target, x, y);
                    const int i = int(std::fmod(std::floor(u), kTexels)), j = int(std::fmod(std::floor(v), kTexels));
                    ASSERT_EQ(int(got >> 11), i + 1) << x << "," << y << " u " << u;
                    ASSERT_EQ(int((got >> 5) & 63) >> 1, j + 1) << x << "," << y << " v " << v;
                }
            EXPECT_GT(checked, kSize * kSize / 4);
        }
}

// Triangles with corners far away (1e10 to 1e30 pixels), drawn on both roads, untextured and
// through the texture cut (a white texture, perspective, a million texels across): each lights
// every pixel of the target inside it and none outside, and the engine's commands follow the
// pixels drawn (one triangle, or a piece a pixel where the texture runs a million texels across),
// not the size of the coordinates. The triangle cut to the target is drawn as a fan, whose inner
// edges may pass a hair from a pixel centre: the pieces either side must split that pixel, not
// both leave it.
TEST_F(Range, FarCornersLightExactlyThePixelsInside) {
    // Corner k lies at (x, y) + distance (dx, dy).
    struct Corner {
        float x, y;
        double dx, dy;
    };
    struct Shape {
        const char *name;
        Corner corners[3];
        bool powerOfTwo;   // the distance rounded to the nearest power of two, so that whole
                           // multiples of it are exact in floats
        double only = 0;   // the one distance it is drawn at (0: every one)
        int width = kSize, height = kSize;   // the target
        bool coversTarget = false;           // every pixel of the target lies inside
    };
    auto ray = [](float x, float y, double angle) { return Corner{x, y, std::cos(angle), std::sin(angle)}; };
    const Shape shapes[] = {
        {"a wedge from inside the target",
         {{48.4f, 47.7f, 0, 0}, ray(48.4f, 47.7f, 0.3), ray(48.4f, 47.7f, 0.8)}, false},
        {"a wedge from outside, turning the other way",
         {{-20.25f, 61.5f, 0, 0}, ray(-20.25f, 61.5f, 0.35), ray(-20.25f, 61.5f, -0.4)}, false},
        {"nearly a half-plane", {{30.7f, 51.1f, 0, 0}, ray(30.7f, 51.1f, 2.9), ray(30.7f, 51.1f, -0.2)}, false},
        {"a sliver across the target",
         {{2.5f, 3.25f, 0, 0}, ray(2.5f, 3.25f, 0.7854), ray(2.5f, 3.25f, 0.7857)}, false},
        // All three far; the edge between the first two runs through the origin at a slope of 1/3.
        {"three corners far, an edge across the target", {{0, 0, 3, 1}, {0, 0, -3, -1}, {0, 0, -1, 3}}, true},
        // Cut to a 64 x 48 target: a pentagon whose fan edge from (38.63, 49) to (53.37, -1) passes
        // 4e-6 pixels right of pixel (46, 24), which lies 2.3 pixels inside the triangle.
        {"a fan edge a hair from a pixel centre",
         {{47.6875f, 3.625f, 0, 0}, {0, 0, 0.91121050335366349, -0.74167364437095219},
          {0, 0, -8.94732992512e-7, 4.482455830528e-6}},
         false, 1e18, 64, 48},
        // Cut to a 64 x 48 target: the edge from (65, 73), on the line of the box's right side, to
        // (80.0625, 3.02e22) crosses that line at its own end, running nearly along it.
        {"an edge from a corner on the box's side, nearly along it",
         {{16.75f, -10.6875f, 0, 0}, {65, 73, 0, 0}, {0, 0, 0x1.404p+6 / 0x1p74, 0x1.9947ap+74 / 0x1p74}},
         false, 0x1p74, 64, 48},
        // Targets as wide and as tall as the engine draws: the wedge covers all of them, the last
        // column or row too (its sides pass half a pixel outside the corners).
        {"a wedge over a target as wide as the engine draws",
         {{1020, -1, 0, 0}, ray(1020, -1, 0.0005), ray(1020, -1, 3.1411)}, false, 0, 2040, 3, true},
        {"a wedge over a target as tall as the engine draws",
         {{-1, 1020, 0, 0}, ray(-1, 1020, 1.5703), ray(-1, 1020, -1.5703)}, false, 0, 3, 2040, true},
    };
    const double distances[] = {1e10, 1e15, 1e19, 1e20, 1e30};
    const float uv[3][2] = {{0, 0}, {1e6f, 0}, {0, 1e6f}};
    for (bool textured : {false, true})
        for (bool execute : {true, false})
            for (const Shape &s : shapes)
                for (double r : distances) {
                    if (s.only && r != distances[0])
                        continue;
                    const double d = s.only       ? s.only
                                     : s.powerOfTwo ? std::ldexp(1.0, int(std::lround(std::log2(r))))
                                                    : r;
                    SCOPED_TRACE(testing::Message() << s.name << ", corners " << d << " away"
                                                    << (textured ? ", textured" : "")
                                                    << (execute ? ", execute buffer" : ", DrawPrimitive"));
                    Open(WORD(s.width), WORD(s.height));
                    Plain(ctx, D3DSHADE_FLAT);
                    if (textured) {
                        Surf *white = Texture(Rgb16(), 16);
                        Clear(white, 0xFF);
                        EXPECT_EQ(States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, white)},
                                               {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_MODULATE},
                                               {D3DRS_TEXTUREPERSPECTIVE, 1}})
                                      .result,
                                  DD_OK);
                    }
                    std::vector<D3DTLVERTEX> tri;
                    for (int k = 0; k < 3; k++) {
                        const Corner &c = s.corners[k];
                        const bool far = c.dx != 0 || c.dy != 0;
                        // Nearer the eye far out, as a plane seen edge-on.
                        tri.push_back(V(float(c.x + d * c.dx), float(c.y + d * c.dy), 0xFFFFFFFF, 0.5f, uv[k][0],
                                        uv[k][1], far ? float(d / 100) : 0.5f));
                    }
                    kivSiv3dClearStats();
                    Triangle(execute, tri);
                    int inside = 0, missed = 0, outside = 0, lit = 0;
                    for (int y = 0; y < s.height; y++)
                        for (int x = 0; x < s.width; x++) {
                            const int verdict = Verdict(tri, x, y);
                            const bool on = Lit(target, x, y);
                            lit += on;
                            inside += verdict > 0;
                            missed += verdict > 0 && !on;
                            outside += verdict < 0 && on;
                        }
                    if (s.coversTarget) {
                        EXPECT_EQ(inside, s.width * s.height);
                    }
                    EXPECT_EQ(missed, 0) << "of " << inside << " pixels inside";
                    EXPECT_EQ(outside, 0) << "pixels lit outside";
                    EXPECT_LE(kivSiv3dStats()->commands, textured ? 2u * lit + 8 : 5u) << lit << " pixels lit";
                }
}

// Every pixel inside one of the triangles by more than half a pixel shows its flat colour times a
// white texel (the 5-6-5 bits of the colour); every pixel more than a pixel from all of them still
// shows the background.
void Range::CheckWedges(const std::vector<D3DTLVERTEX> &wedges, const DWORD *colors, uint32_t background) {
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const Rgb got = Pixel(target, x, y);
            double nearest = 1e30;
            for (size_t k = 0; k < wedges.size() / 3; k++) {
                const std::vector<D3DTLVERTEX> tri(wedges.begin() + 3 * k, wedges.begin() + 3 * k + 3);
                nearest = std::min(nearest, DistanceToTriangle(tri[0], tri[1], tri[2], x, y));
                if (Inside(tri, x, y)) {
                    const DWORD c = colors[k];
                    EXPECT_EQ(got.r, int((c >> 16) & 0xF8)) << x << "," << y << " in wedge " << k;
                    EXPECT_EQ(got.g, int((c >> 8) & 0xFC)) << x << "," << y << " in wedge " << k;
                    EXPECT_EQ(got.b, int(c & 0xF8)) << x << "," << y << " in wedge " << k;
                }
            }
            if (nearest > 1.0) {
                EXPECT_EQ(Raw(target, x, y), background) << x << "," << y << " lies outside every wedge";
            }
        }
}

}  // namespace
