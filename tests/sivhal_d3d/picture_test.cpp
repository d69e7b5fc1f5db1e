// Pictures the chip model draws from what the HAL programs, checked with properties: coverage
// within the true triangle, shared edges without gaps or double coverage, colours near the
// vertices, Z order, clipped triangles against their unclipped twins, and what goes around the
// render target left alone.
#include "tests/sivhal_d3d/d3d_fixture.h"

#include <cfenv>
#include <random>

namespace {

class Pictures : public D3dMachine {
protected:
    Surf *target = nullptr;
    ULONG_PTR ctx = 0;
    static constexpr int kSize = 96;
    void SetUp() override {
        D3dMachine::SetUp();
        Open();
    }
    void Open(Surf *z = nullptr) {
        target = Target(kSize, kSize);
        ctx = NewContext(target, z);
        Plain(ctx, D3DSHADE_FLAT);
    }
    // Translucent drawing: a pixel covered once is half white, twice three quarters.
    void HalfWhite() {
        States(ctx, {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}, {D3DRS_BLENDENABLE, 1},
                     {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}});
    }
    // Pixels covered once, twice, and interior pixels (at least one pixel inside the outline
    // of `outline`) that were not covered.
    struct Coverage {
        int once = 0, twice = 0, holes = 0, outside = 0;
    };
    Coverage Count(const std::vector<std::vector<D3DTLVERTEX>> &outline) {
        Coverage c;
        for (int y = 0; y < kSize; y++)
            for (int x = 0; x < kSize; x++) {
                const int g = Pixel(target, x, y).g;
                const bool lit = g > 0;
                if (g >= 0x70 && g <= 0x88)
                    c.once++;
                else if (lit)
                    c.twice++;
                double near = 1e30;
                for (const auto &t : outline)
                    near = std::fmin(near, DistanceToTriangle(t[0], t[1], t[2], x, y));
                if (lit && near > 1.0)
                    c.outside++;
                if (!lit && Interior(outline, x, y))
                    c.holes++;
            }
        return c;
    }
    // Inside the union of the triangles, and at least a pixel away from its outline.
    static bool Interior(const std::vector<std::vector<D3DTLVERTEX>> &tris, double x, double y) {
        for (double dx : {-1.0, 0.0, 1.0})
            for (double dy : {-1.0, 0.0, 1.0}) {
                bool in = false;
                for (const auto &t : tris)
                    in = in || DistanceToTriangle(t[0], t[1], t[2], x + dx, y + dy) == 0;
                if (!in)
                    return false;
            }
        return true;
    }
};

D3DTLVERTEX Half(float x, float y, float z = 0.5f) { return V(x, y, 0x80FFFFFF, z); }

TEST_F(Pictures, LitPixelsLieInTheTriangle) {
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> pos(-20.0f, kSize + 20.0f);
    int drawn = 0;
    for (int i = 0; i < 40; i++) {
        std::vector<D3DTLVERTEX> t = {V(pos(rng), pos(rng)), V(pos(rng), pos(rng)), V(pos(rng), pos(rng))};
        Clear(target, 0);
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, t).result, DD_OK);
        int lit = 0;
        for (int y = 0; y < kSize; y++)
            for (int x = 0; x < kSize; x++)
                if (Lit(target, x, y)) {
                    lit++;
                    EXPECT_LE(DistanceToTriangle(t[0], t[1], t[2], x, y), 1.0) << i << " at " << x << "," << y;
                } else {
                    EXPECT_FALSE(Interior({t}, x, y)) << i << " hole at " << x << "," << y;
                }
        drawn += lit > 0;
    }
    EXPECT_GT(drawn, 20);
}

TEST_F(Pictures, SharedEdgesNeitherGapNorOverlap) {
    HalfWhite();
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(4.0f, kSize - 4.0f);
    for (int i = 0; i < 20; i++) {
        // A quad split along a diagonal, and a fan of four around an inner point.
        const D3DTLVERTEX a = Half(pos(rng), pos(rng)), b = Half(pos(rng), pos(rng)), c = Half(pos(rng), pos(rng)),
                          d = Half(pos(rng), pos(rng));
        std::vector<std::vector<D3DTLVERTEX>> tris = {{a, b, c}, {a, c, d}};
        Clear(target, 0);
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {a, b, c, a, c, d}).result, DD_OK);
        const Coverage cov = Count(tris);
        // Overlap of the two halves themselves (a bow-tie) is double coverage that belongs to
        // the picture; only pixels along the shared edge count.
        const bool convex = Edge(a.sx, a.sy, b.sx, b.sy, c.sx, c.sy) * Edge(a.sx, a.sy, c.sx, c.sy, d.sx, d.sy) > 0;
        if (convex) {
            EXPECT_LE(cov.twice, 1) << i;
        }
        EXPECT_EQ(cov.holes, 0) << i;
        EXPECT_EQ(cov.outside, 0) << i;
    }
    // A quad whose diagonal is the long edge of one half and the lower edge of the other, passing
    // 4e-6 pixels right of pixel (46, 24): the two halves must give that edge the same registers,
    // or the pixel falls to neither.
    {
        const D3DTLVERTEX p = Half(38.6302947f, 49), q = Half(47.6875f, 3.625f), r = Half(53.3697128f, -1),
                          s = Half(65, -1);
        Clear(target, 0);
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLEFAN, {p, q, r, s}).result, DD_OK);
        const Coverage cov = Count({{p, q, r}, {p, r, s}});
        EXPECT_EQ(cov.holes, 0);
        EXPECT_EQ(cov.twice, 0);
        EXPECT_EQ(Pixel(target, 46, 24).g, Pixel(target, 45, 24).g);
    }
    // Strips and fans share their inner edges the same way.
    const D3DTLVERTEX ring[] = {Half(10, 10), Half(80, 12), Half(86, 70), Half(40, 88), Half(6, 60)};
    const D3DTLVERTEX centre = Half(45.3f, 47.7f);
    std::vector<D3DTLVERTEX> fan = {centre};
    std::vector<std::vector<D3DTLVERTEX>> fanTris;
    for (int i = 0; i <= 5; i++) {
        fan.push_back(ring[i % 5]);
        if (i)
            fanTris.push_back({centre, ring[i - 1], ring[i % 5]});
    }
    Clear(target, 0);
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLEFAN, fan).result, DD_OK);
    Coverage cov = Count(fanTris);
    EXPECT_LE(cov.twice, 2);
    EXPECT_EQ(cov.holes, 0);
    EXPECT_GT(cov.once, 3000);
    const std::vector<D3DTLVERTEX> strip = {Half(5, 5.5f), Half(5, 40.2f), Half(30.5f, 8), Half(33, 44),
                                            Half(60, 3), Half(64.7f, 50), Half(90, 10), Half(91, 47)};
    std::vector<std::vector<D3DTLVERTEX>> stripTris;
    for (size_t i = 0; i + 2 < strip.size(); i++)
        stripTris.push_back({strip[i], strip[i + 1], strip[i + 2]});
    Clear(target, 0);
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLESTRIP, strip).result, DD_OK);
    cov = Count(stripTris);
    EXPECT_LE(cov.twice, 2);
    EXPECT_EQ(cov.holes, 0);
    EXPECT_EQ(cov.outside, 0);
}

TEST_F(Pictures, GouraudColoursFollowTheVertices) {
    Reboot(0, 24);
    target = Target(kSize, kSize);
    ctx = NewContext(target);
    Plain(ctx, D3DSHADE_GOURAUD);
    const std::vector<D3DTLVERTEX> t = {V(4, 4, 0xFFC02010), V(92, 10, 0xFF20C040), V(30, 90, 0xFF4040E0)};
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, t).result, DD_OK);
    auto channel = [](DWORD c, int shift) { return double((c >> shift) & 0xFF); };
    int checked = 0;
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            if (!Lit(target, x, y))
                continue;
            double w[3];
            Weights(t[0], t[1], t[2], x, y, w);
            const Rgb p = Pixel(target, x, y);
            // Within two of the interpolated colour, plus one pixel's step of it (the engine
            // starts each row at the edge without sub-pixel correction).
            for (int s : {16, 8, 0}) {
                const double want = w[0] * channel(t[0].color, s) + w[1] * channel(t[1].color, s) +
                                    w[2] * channel(t[2].color, s);
                const int got = s == 16 ? p.r : s == 8 ? p.g : p.b;
                EXPECT_NEAR(got, want, 2 + 2.5) << x << "," << y;
            }
            // Close to a vertex: within two of its colour and the gradient over the distance.
            for (int k = 0; k < 3; k++) {
                const double dist = std::hypot(x - t[k].sx, y - t[k].sy);
                if (dist < 2.5) {
                    checked++;
                    EXPECT_NEAR(p.r, channel(t[k].color, 16), 2 + 2.5 * dist) << k;
                    EXPECT_NEAR(p.g, channel(t[k].color, 8), 2 + 2.5 * dist) << k;
                    EXPECT_NEAR(p.b, channel(t[k].color, 0), 2 + 2.5 * dist) << k;
                }
            }
        }
    EXPECT_GT(checked, 3);
    // Flat shading: the first vertex's colour everywhere.
    Clear(target, 0);
    States(ctx, {{D3DRS_SHADEMODE, D3DSHADE_FLAT}});
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {t[1], t[2], t[0]}).result, DD_OK);
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++)
            if (Lit(target, x, y)) {
                const Rgb p = Pixel(target, x, y);
                ASSERT_EQ(p.r, 0x20);
                ASSERT_EQ(p.g, 0xC0);
                ASSERT_EQ(p.b, 0x40);
            }
}

TEST_F(Pictures, ZOrderFollowsTheCompareFunction) {
    Surf *z = ZBuffer(kSize, kSize);
    ASSERT_EQ(kivD3d9xSetRenderTarget(&dev, ctx, &target->lcl, &z->lcl).result, DD_OK);
    Plain(ctx, D3DSHADE_FLAT);
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00;
    auto tri = [](float z, DWORD c) { return std::vector<D3DTLVERTEX>{V(10, 10, c, z), V(80, 20, c, z), V(30, 85, c, z)}; };
    const std::vector<D3DTLVERTEX> nearRed = tri(0.25f, red), farGreen = tri(0.75f, green);
    struct Case {
        DWORD func;
        uint16_t clearZ;
        bool redFirst;
        int expectRed;   // 1 red, 0 green, -1 nothing drawn
    } cases[] = {
        {D3DCMP_LESS, 0xFFFF, true, 1},        {D3DCMP_LESS, 0xFFFF, false, 1},
        {D3DCMP_GREATER, 0, true, 0},          {D3DCMP_GREATER, 0, false, 0},
        {D3DCMP_ALWAYS, 0xFFFF, true, 0},      {D3DCMP_ALWAYS, 0xFFFF, false, 1},
        {D3DCMP_NEVER, 0xFFFF, true, -1},      {D3DCMP_LESSEQUAL, 0xFFFF, false, 1},
        {D3DCMP_GREATEREQUAL, 0, true, 0},     {D3DCMP_NOTEQUAL, 0xFFFF, true, 0},
    };
    for (const Case &c : cases) {
        Clear(target, 0);
        ClearZ(z, c.clearZ);
        States(ctx, {{D3DRS_ZFUNC, c.func}});
        Draw(ctx, D3DPT_TRIANGLELIST, c.redFirst ? nearRed : farGreen);
        Draw(ctx, D3DPT_TRIANGLELIST, c.redFirst ? farGreen : nearRed);
        const Rgb p = Pixel(target, 40, 40);
        if (c.expectRed < 0)
            EXPECT_FALSE(Lit(target, 40, 40)) << c.func;
        else
            EXPECT_EQ(p.r > 0, c.expectRed == 1) << c.func << " red first " << c.redFirst;
    }
    // The same triangle twice with EQUAL: the second passes where the first wrote.
    Clear(target, 0);
    ClearZ(z, 0xFFFF);
    States(ctx, {{D3DRS_ZFUNC, D3DCMP_LESS}});
    Draw(ctx, D3DPT_TRIANGLELIST, farGreen);
    States(ctx, {{D3DRS_ZFUNC, D3DCMP_EQUAL}});
    Draw(ctx, D3DPT_TRIANGLELIST, tri(0.75f, red));
    EXPECT_GT(Pixel(target, 40, 40).r, 0);
    // Without Z writes the buffer keeps its values.
    ClearZ(z, 0xFFFF);
    States(ctx, {{D3DRS_ZFUNC, D3DCMP_LESS}, {D3DRS_ZWRITEENABLE, 0}});
    Draw(ctx, D3DPT_TRIANGLELIST, nearRed);
    uint16_t zv;
    std::memcpy(&zv, Row(z, 40) + 80, 2);
    EXPECT_EQ(zv, 0xFFFF);
}

TEST_F(Pictures, NothingOutsideTheTargetIsTouched) {
    // Surfaces before and after the target in video memory keep their bytes.
    Surf *after = Target(kSize, kSize);
    Clear(after, 0x5A);
    const std::vector<uint8_t> before(Row(after, 0), Row(after, 0) + after->gbl.lPitch * kSize);
    const std::vector<std::vector<D3DTLVERTEX>> tris = {
        {V(-40, 10), V(150, -30), V(60, 200)},                 // over every side
        {V(-500, -500), V(1500, 40), V(40, 1500)},             // far beyond, still in the engine's range
        {V(90, 90), V(500, 95), V(95, 400)},
    };
    for (const auto &t : tris) {
        Clear(target, 0);
        ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, t).result, DD_OK);
        for (int y = 0; y < kSize; y++)
            for (int x = 0; x < kSize; x++)
                if (Lit(target, x, y))
                    ASSERT_LE(DistanceToTriangle(t[0], t[1], t[2], x, y), 1.0);
                else
                    ASSERT_FALSE(Interior({t}, x, y)) << x << "," << y;
    }
    EXPECT_EQ(std::memcmp(before.data(), Row(after, 0), before.size()), 0);
    EXPECT_EQ(kivSiv3dStats()->pixelsOutside, 0u);
}

TEST_F(Pictures, PointsAndLinesHaveTheirFootprints) {
    Draw(ctx, D3DPT_POINTLIST, {V(10.5f, 20.75f), V(30, 40)});
    EXPECT_TRUE(Lit(target, 11, 20));
    EXPECT_TRUE(Lit(target, 30, 40));
    int lit = 0;
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++)
            lit += Lit(target, x, y);
    EXPECT_EQ(lit, 2);
    // Lines: every lit pixel within a pixel of the segment, each row or column of its run lit.
    const std::vector<std::pair<D3DTLVERTEX, D3DTLVERTEX>> lines = {
        {V(5, 50.5f), V(90, 50.5f)}, {V(50.5f, 5), V(50.5f, 90)}, {V(5, 5), V(90, 60)}, {V(80, 10), V(20, 85)}};
    for (const auto &[a, b] : lines) {
        Clear(target, 0);
        Draw(ctx, D3DPT_LINELIST, {a, b});
        const bool steep = std::fabs(b.sy - a.sy) > std::fabs(b.sx - a.sx);
        std::vector<int> runs(kSize, 0);
        for (int y = 0; y < kSize; y++)
            for (int x = 0; x < kSize; x++)
                if (Lit(target, x, y)) {
                    const D3DTLVERTEX c = V((a.sx + b.sx) / 2, (a.sy + b.sy) / 2);
                    EXPECT_LE(DistanceToTriangle(a, b, c, x, y), 1.5) << x << "," << y;
                    runs[steep ? y : x]++;
                }
        const int from = static_cast<int>(std::ceil(std::fmin(steep ? a.sy : a.sx, steep ? b.sy : b.sx))) + 1;
        const int to = static_cast<int>(std::fmax(steep ? a.sy : a.sx, steep ? b.sy : b.sx)) - 1;
        for (int i = from; i < to; i++)
            EXPECT_GE(runs[i], 1) << i;
    }
}

TEST_F(Pictures, CullingByWinding) {
    States(ctx, {{D3DRS_CULLMODE, D3DCULL_CCW}});
    const std::vector<D3DTLVERTEX> cw = {V(10, 10), V(60, 10), V(10, 60)}, ccw = {V(10, 10), V(10, 60), V(60, 10)};
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST, cw);
    Draw(ctx, D3DPT_TRIANGLELIST, ccw);
    EXPECT_EQ(Commands(), 1u);
    States(ctx, {{D3DRS_CULLMODE, D3DCULL_CW}});
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST, cw);
    Draw(ctx, D3DPT_TRIANGLELIST, ccw);
    // A strip keeps one winding for all its triangles, so one mode draws all and one none.
    const std::vector<D3DTLVERTEX> strip = {V(5, 5), V(5, 40), V(30, 8), V(33, 44), V(60, 3), V(64, 50)};
    Draw(ctx, D3DPT_TRIANGLESTRIP, strip);
    const uint32_t cwDrawn = Commands() - 1;
    States(ctx, {{D3DRS_CULLMODE, D3DCULL_CCW}});
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLESTRIP, strip);
    EXPECT_EQ(cwDrawn + Commands(), 4u);
    EXPECT_TRUE(cwDrawn == 0 || cwDrawn == 4);
    // Zero-area DrawPrimitive triangles are culled in either winding mode.
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST, {V(10, 10), V(20, 20), V(30, 30)});
    EXPECT_EQ(chip->writeCount, 8u);   // the destination block only
}

TEST_F(Pictures, TheRoundingModeComesBack) {
    for (int mode : {FE_UPWARD, FE_TONEAREST, FE_DOWNWARD}) {
        std::fesetround(mode);
        Draw(ctx, D3DPT_TRIANGLELIST, {V(0, 0), V(20, 0), V(0, 20)});
        EXPECT_EQ(std::fegetround(), mode);
        Draw(ctx + 50, D3DPT_TRIANGLELIST, {V(0, 0), V(20, 0), V(0, 20)});   // refused
        EXPECT_EQ(std::fegetround(), mode);
        ExecBuffer *b = Exec({V(0, 0), V(20, 0), V(0, 20)});
        b->Triangles({{0, 1, 2, 0}});
        Run(ctx, b);
        EXPECT_EQ(std::fegetround(), mode);
    }
    std::fesetround(FE_TONEAREST);
}

}  // namespace

namespace {

// Lines carry their colours and texels from one end to the other, drawn either way.
TEST_F(Pictures, LinesInterpolateFromEndToEnd) {
    Reboot(0, 24);
    target = Target(kSize, kSize);
    ctx = NewContext(target);
    Plain(ctx, D3DSHADE_GOURAUD);
    const D3DTLVERTEX red = V(4, 10.5f, 0xFFFF0000), blue = V(90, 10.5f, 0xFF0000FF);
    for (bool leftFirst : {true, false}) {
        Clear(target, 0);
        Draw(ctx, D3DPT_LINELIST, leftFirst ? std::vector<D3DTLVERTEX>{red, blue} : std::vector<D3DTLVERTEX>{blue, red});
        const Rgb l = Pixel(target, 5, 10), r = Pixel(target, 88, 10), mid = Pixel(target, 47, 10);
        EXPECT_GE(l.r, 240) << leftFirst;
        EXPECT_LE(l.b, 15) << leftFirst;
        EXPECT_LE(r.r, 15) << leftFirst;
        EXPECT_GE(r.b, 240) << leftFirst;
        EXPECT_NEAR(mid.r, 128, 8) << leftFirst;
    }
    // A steep line: colours per row.
    Clear(target, 0);
    Draw(ctx, D3DPT_LINELIST, {V(20.5f, 4, 0xFFFF0000), V(30.5f, 90, 0xFF0000FF)});
    int x = 0;
    while (x < kSize && !Lit(target, x, 6))
        x++;
    EXPECT_GE(Pixel(target, x, 6).r, 230);
    x = 0;
    while (x < kSize && !Lit(target, x, 89))
        x++;
    EXPECT_GE(Pixel(target, x, 89).b, 230);

    // A textured line in perspective: red counts texel columns; the far end has half the rhw.
    Surf *tex = Texture(Rgb32(), 16);
    for (int j = 0; j < 16; j++)
        for (int i = 0; i < 16; i++) {
            const uint32_t t = 0xFF000000u | uint32_t(i * 16) << 16;
            std::memcpy(Row(tex, j) + 4 * i, &t, 4);
        }
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL},
                 {D3DRS_TEXTUREPERSPECTIVE, 1}});
    for (bool leftFirst : {true, false}) {
        Clear(target, 0);
        const D3DTLVERTEX a = V(0, 20.5f, ~0u, 0.5f, 0, 0.5f, 1.0f), b = V(kSize, 20.5f, ~0u, 0.5f, 1, 0.5f, 0.5f);
        Draw(ctx, D3DPT_LINELIST, leftFirst ? std::vector<D3DTLVERTEX>{a, b} : std::vector<D3DTLVERTEX>{b, a});
        int checked = 0;
        for (int px = 1; px < kSize - 1; px++) {
            const double s = px / double(kSize), u = 0.5 * s / ((1 - s) + 0.5 * s) * 16;
            if (u - std::floor(u) < 0.3 || u - std::floor(u) > 0.7)
                continue;
            checked++;
            EXPECT_EQ(Pixel(target, px, 20).r / 16, static_cast<int>(u)) << px << " " << leftFirst;
        }
        EXPECT_GT(checked, 30);
    }
}

}  // namespace
