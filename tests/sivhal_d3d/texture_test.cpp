// Textures as an application uses them: the four formats (and 4-4-4-4), affine and perspective,
// colour keys burnt into alpha, mip chains built by attaching levels one by one, fog and
// specular, and triangles cut in texture space against their uncut twins.
#include "tests/sivhal_d3d/d3d_fixture.h"

namespace {

constexpr int kTexels = 16;

int Expand5(int x) { return (x << 3) | (x >> 2); }

// A texel of the test pattern as 8-bit red, green, blue: red by column, green by row.
struct Pattern {
    int bits;           // 16 (1-5-5-5), 32 (8-8-8-8) or 4444
    uint32_t Texel(int i, int j) const {
        switch (bits) {
        case 16:
            return 0x8000u | uint32_t(i * 2) << 10 | uint32_t(j * 2) << 5 | uint32_t(31 - i);
        case 4444:
            return 0xF000u | uint32_t(i) << 8 | uint32_t(j) << 4 | uint32_t(15 - i);
        default:
            return 0xFF000000u | uint32_t(i * 16) << 16 | uint32_t(j * 16) << 8 | uint32_t(255 - i * 16);
        }
    }
    Rgb Color(int i, int j) const {
        switch (bits) {
        case 16:
            return {Expand5(i * 2), Expand5(j * 2), Expand5(31 - i)};
        case 4444:
            return {i * 17, j * 17, (15 - i) * 17};
        default:
            return {i * 16, j * 16, 255 - i * 16};
        }
    }
    int Bytes() const { return bits == 32 ? 4 : 2; }
};

// The pixel a colour becomes in a 5-6-5 target, read back widened.
Rgb In565(Rgb c) { return {(c.r >> 3) << 3, (c.g >> 2) << 2, (c.b >> 3) << 3}; }

class Textures : public D3dMachine {
protected:
    Surf *target = nullptr;
    ULONG_PTR ctx = 0;
    static constexpr int kSize = 128;
    void SetUp() override {
        D3dMachine::SetUp();
        target = Target(kSize, kSize);
        ctx = NewContext(target);
        Plain(ctx, D3DSHADE_GOURAUD);
    }
    void Fill(Surf *tex, const Pattern &p) {
        for (int j = 0; j < tex->gbl.wHeight; j++)
            for (int i = 0; i < tex->gbl.wWidth; i++) {
                const uint32_t t = p.Texel(i % kTexels, j % kTexels);
                std::memcpy(Row(tex, j) + i * p.Bytes(), &t, p.Bytes());
            }
    }
    void FillSolid(Surf *tex, uint16_t texel) {
        for (int j = 0; j < tex->gbl.wHeight; j++)
            for (int i = 0; i < tex->gbl.wWidth; i++)
                std::memcpy(Row(tex, j) + 2 * i, &texel, 2);
    }
    // A square of the target with texture coordinates 0..reps and the given rhw at its left
    // and right sides.
    D3d9xResult Quad(float reps, float rhwLeft = 1, float rhwRight = 1, DWORD color = 0xFFFFFFFF,
                     DWORD specLeft = 0xFF000000, DWORD specRight = 0xFF000000, float size = kSize) {
        const D3DTLVERTEX a = V(0, 0, color, 0.5f, 0, 0, rhwLeft, specLeft),
                          b = V(size, 0, color, 0.5f, reps, 0, rhwRight, specRight),
                          c = V(0, size, color, 0.5f, 0, reps, rhwLeft, specLeft),
                          d = V(size, size, color, 0.5f, reps, reps, rhwRight, specRight);
        return Draw(ctx, D3DPT_TRIANGLELIST, {a, b, c, b, d, c});
    }
    Rgb At(int x, int y) { return Pixel(target, x, y); }
};

bool Same(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST_F(Textures, EveryFormatAffine) {
    const struct {
        DDPIXELFORMAT pf;
        int bits;
    } formats[] = {{Rgb16(), 16}, {Rgb32(), 32}, {Rgb16(true), 16}, {Rgb32(true), 32}, {Rgb4444(), 4444}};
    for (const auto &f : formats) {
        Surf *tex = Texture(f.pf, kTexels);
        const Pattern p{f.bits};
        Fill(tex, p);
        States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}});
        Clear(target, 0);
        ASSERT_EQ(Quad(1).result, DD_OK);
        for (int j = 0; j < kTexels; j++)
            for (int i = 0; i < kTexels; i++) {
                const int x = i * 8 + 4, y = j * 8 + 4;
                const Rgb want = In565(p.Color(i, j)), got = At(x, y);
                ASSERT_TRUE(Same(got, want)) << f.bits << " texel " << i << "," << j << " got " << got.r << ","
                                             << got.g << "," << got.b;
            }
    }
}

TEST_F(Textures, PerspectiveFollowsTheTrueCoordinates) {
    Surf *tex = Texture(Rgb32(), kTexels);
    const Pattern p{32};
    Fill(tex, p);
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL},
                 {D3DRS_TEXTUREPERSPECTIVE, 1}});
    ASSERT_EQ(Quad(1, 1.0f, 0.5f).result, DD_OK);
    // The quad's two triangles, and the perspective-correct coordinates at a pixel: the ratio
    // of the interpolated u x rhw (or v x rhw) and rhw.
    const float n = kSize;
    const std::vector<std::vector<D3DTLVERTEX>> tris = {
        {V(0, 0, ~0u, 0.5f, 0, 0, 1), V(n, 0, ~0u, 0.5f, 1, 0, 0.5f), V(0, n, ~0u, 0.5f, 0, 1, 1)},
        {V(n, 0, ~0u, 0.5f, 1, 0, 0.5f), V(n, n, ~0u, 0.5f, 1, 1, 0.5f), V(0, n, ~0u, 0.5f, 0, 1, 1)}};
    int checked = 0;
    for (int y = 4; y < kSize; y += 9)
        for (int x = 0; x < kSize; x++) {
            const auto &t = DistanceToTriangle(tris[0][0], tris[0][1], tris[0][2], x, y) == 0 ? tris[0] : tris[1];
            double w[3], uq = 0, vq = 0, q = 0;
            Weights(t[0], t[1], t[2], x, y, w);
            for (int k = 0; k < 3; k++) {
                uq += w[k] * t[k].tu * t[k].rhw;
                vq += w[k] * t[k].tv * t[k].rhw;
                q += w[k] * t[k].rhw;
            }
            const double u = uq / q * kTexels, v = vq / q * kTexels;
            auto central = [](double c) { return c - std::floor(c) >= 0.3 && c - std::floor(c) <= 0.7; };
            if (!central(u) || !central(v))
                continue;
            const int i = static_cast<int>(u), j = static_cast<int>(v);
            checked++;
            const Rgb want = In565(p.Color(i, j)), got = At(x, y);
            EXPECT_TRUE(Same(got, want)) << x << "," << y << " texel " << i << "," << j;
        }
    EXPECT_GT(checked, 60);
    // The same quad drawn affine shows other texels: at x = 36 (f = 36 / 128 of the way across)
    // the perspective column is f / 2 / ((1 - f) + f / 2) x 16 = 2.6, the affine one f x 16 = 4.5.
    // Red tells the columns apart.
    const int x = 36, y = 4;
    const double f = double(x) / kSize;
    const int perspective = static_cast<int>(f * 0.5 / ((1 - f) + f * 0.5) * kTexels),
              affine = static_cast<int>(f * kTexels);
    EXPECT_EQ(At(x, y).r, In565(p.Color(perspective, 0)).r);
    Clear(target, 0);
    ASSERT_EQ(Quad(1, 1.0f, 1.0f).result, DD_OK);
    EXPECT_EQ(At(x, y).r, In565(p.Color(affine, 0)).r);
}

TEST_F(Textures, ColourKeyBecomesTransparency) {
    Reboot(0x800000);
    target = Target(kSize, kSize);
    ctx = NewContext(target);
    Plain(ctx, D3DSHADE_GOURAUD);
    Surf *tex = Texture(Rgb16(), kTexels);
    // Black and red checkers; black is the key.
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const uint16_t t = ((i + j) & 1) ? 0x7C00 : 0x0000;
            std::memcpy(Row(tex, j) + 2 * i, &t, 2);
        }
    tex->lcl.dwFlags |= DDRAWISURF_HASCKEYSRCBLT;
    tex->lcl.ddckCKSrcBlt = {0, 0};
    // The target shows blue before.
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const uint16_t blue = 0x001F;
            std::memcpy(Row(target, y) + 2 * x, &blue, 2);
        }
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}});
    ASSERT_EQ(Quad(1).result, DD_OK);
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const Rgb got = At(i * 8 + 4, j * 8 + 4);
            if ((i + j) & 1)
                EXPECT_TRUE(got.r == 0xF8 && got.b == 0) << i << "," << j;
            else
                EXPECT_TRUE(got.r == 0 && got.b == 0xF8) << i << "," << j;
        }
    // The key went into the texels' alpha once: red texels carry the alpha bit, black ones not.
    uint16_t t0, t1;
    std::memcpy(&t0, Row(tex, 0), 2);
    std::memcpy(&t1, Row(tex, 0) + 2, 2);
    EXPECT_EQ(t0, 0x0000);
    EXPECT_EQ(t1, 0xFC00);

    // The application locks the texture and writes the checkers the other way round: the key
    // is burnt into the new texels before the next drawing.
    DDHAL_LOCKDATA lock = {};
    lock.lpDD = &drv.gbl;
    lock.lpDDSurface = &tex->lcl;
    EXPECT_EQ(drv.surfaceCallbacks.Lock(&lock), 0u);
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const uint16_t t = ((i + j) & 1) ? 0x0000 : 0x7C00;
            std::memcpy(Row(tex, j) + 2 * i, &t, 2);
        }
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const uint16_t blue = 0x001F;
            std::memcpy(Row(target, y) + 2 * x, &blue, 2);
        }
    ASSERT_EQ(Quad(1).result, DD_OK);
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const Rgb got = At(i * 8 + 4, j * 8 + 4);
            EXPECT_EQ(got.r, ((i + j) & 1) ? 0 : 0xF8) << i << "," << j;
        }
}

TEST_F(Textures, MipChainBuiltByAttachingLevels) {
    // The top level alone, then each smaller level made on its own and attached below the last.
    Surf *top = Texture(Rgb16(), 32, DDSCAPS_MIPMAP);
    const uint16_t colours[] = {0x7C00, 0x03E0, 0x001F, 0x7FE0, 0x7C1F, 0x03FF};   // a colour a level
    FillSolid(top, colours[0]);
    std::vector<Surf *> levels = {top};
    const int blocksBefore = kivVidMemLiveBlocks(&drv.gbl);
    for (int k = 1; k < 6; k++) {
        Surf *level = Texture(Rgb16(), static_cast<WORD>(32 >> k), DDSCAPS_MIPMAP);
        FillSolid(level, colours[k]);
        Surf *parent = levels.back();
        const FLATPTR old = level->gbl.fpVidMem;
        const D3d9xResult r = kivDdraw9xAddAttachedSurface(&drv, &parent->lcl, &level->lcl);
        EXPECT_EQ(r.result, DD_OK);
        EXPECT_EQ(r.handled, 0u);
        // The level now lies right after its parent, its old block is given back, and its
        // texels came along.
        EXPECT_EQ(level->gbl.fpVidMem, parent->gbl.fpVidMem + parent->gbl.wHeight * parent->gbl.lPitch) << k;
        EXPECT_NE(level->gbl.fpVidMem, old);
        EXPECT_EQ(level->gbl.lpVidMemHeap, nullptr);
        uint16_t t;
        std::memcpy(&t, Row(level, level->gbl.wHeight - 1) + 2 * (level->gbl.wWidth - 1), 2);
        EXPECT_EQ(t, colours[k]) << k;
        levels.push_back(level);
    }
    EXPECT_EQ(kivVidMemLiveBlocks(&drv.gbl), blocksBefore);
    // What does not fit the chain stays where it is: a level of the same size.
    Surf *same = Texture(Rgb16(), 32, DDSCAPS_MIPMAP);
    const FLATPTR at = same->gbl.fpVidMem;
    EXPECT_EQ(kivDdraw9xAddAttachedSurface(&drv, &top->lcl, &same->lcl).result, DD_OK);
    EXPECT_EQ(same->gbl.fpVidMem, at);
    EXPECT_EQ(levels[1]->gbl.fpVidMem, top->gbl.fpVidMem + 32 * top->gbl.lPitch);

    // Drawn with a mip filter: magnified, the finest level; minified eight times, level 3.
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, top)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL},
                 {D3DRS_TEXTUREPERSPECTIVE, 1}, {D3DRS_TEXTUREMAG, D3DFILTER_MIPNEAREST}});
    auto levelAt = [&](int x, int y) {
        const uint32_t v = Raw(target, x, y);
        for (int k = 0; k < 6; k++) {
            const uint16_t c = colours[k];
            const uint32_t in565 = uint32_t((c >> 10) & 0x1F) << 11 | uint32_t(Expand5((c >> 5) & 0x1F) >> 2) << 5 |
                                   (c & 0x1F);
            if (v == in565)
                return k;
        }
        return -1;
    };
    ASSERT_EQ(Quad(1, 1.0f, 0.999f).result, DD_OK);
    EXPECT_EQ(levelAt(64, 64), 0);
    Clear(target, 0);
    // 8 repeats of 32 texels over 32 pixels: 8 texels a pixel.
    ASSERT_EQ(Quad(8, 1.0f, 0.999f, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 32).result, DD_OK);
    EXPECT_EQ(levelAt(16, 16), 3);
    // Minified past the last level (a level above 9): the coarsest level, not the finest.
    Clear(target, 0);
    ASSERT_EQ(Quad(100, 1.0f, 0.999f, 0xFFFFFFFF, 0xFF000000, 0xFF000000, 4).result, DD_OK);
    EXPECT_EQ(levelAt(1, 1), 5);
}

// Wrapping repeats the texture: coordinates far out along an axis draw the texels they would
// near the origin.
TEST_F(Textures, WrappedCoordinatesFarOut) {
    Surf *tex = Texture(Rgb32(), kTexels);
    const Pattern p{32};
    Fill(tex, p);
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}});
    auto draw = [&](float u0) {
        Clear(target, 0);
        EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST,
                       {V(0, 0, ~0u, 0.5f, u0, 0), V(128, 0, ~0u, 0.5f, u0 + 1, 0), V(0, 128, ~0u, 0.5f, u0, 1)})
                      .result,
                  DD_OK);
        return Mask(target);
    };
    const std::vector<uint8_t> near = draw(2.0f);
    std::vector<uint32_t> nearPixels;
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++)
            nearPixels.push_back(Raw(target, x, y));
    draw(130.0f);
    size_t same = 0, lit = 0;
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const uint32_t v = Raw(target, x, y);
            lit += v != 0;
            same += v == nearPixels[static_cast<size_t>(y) * kSize + x];
        }
    EXPECT_GT(lit, 7000u);
    EXPECT_EQ(same, nearPixels.size());
}

TEST_F(Textures, FogAndSpecular) {
    const DWORD fogBlue = 0x0000FF;
    States(ctx, {{D3DRS_FOGENABLE, 1}, {D3DRS_FOGCOLOR, fogBlue}});
    // Untextured gouraud: fog folded into the vertex colours. Left side fully fogged (fog
    // factor 0), right side clear (255).
    ASSERT_EQ(Quad(1, 1, 1, 0xFFFF0000, 0x00000000, 0xFF000000).result, DD_OK);
    Rgb left = At(1, 64), right = At(kSize - 2, 64), mid = At(64, 64);
    EXPECT_LE(left.r, 8);
    EXPECT_GE(left.b, 0xF0);
    EXPECT_GE(right.r, 0xF0);
    EXPECT_LE(right.b, 8);
    EXPECT_NEAR(mid.r, 128, 12);
    EXPECT_NEAR(mid.b, 128, 12);
    // Flat: the first vertex's colour folded with its own factor.
    States(ctx, {{D3DRS_SHADEMODE, D3DSHADE_FLAT}});
    Clear(target, 0);
    ASSERT_EQ(Quad(1, 1, 1, 0xFFFF0000, 0x80000000, 0xFF000000).result, DD_OK);
    mid = At(30, 30);   // in the triangle whose first vertex is the half-fogged one
    EXPECT_NEAR(mid.r, 0x80, 9);
    EXPECT_NEAR(mid.b, 0x7F, 9);
    States(ctx, {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}});

    // Textured: the fog unit mixes the fog colour in by the interpolated factor.
    Surf *tex = Texture(Rgb32(), kTexels);
    for (int j = 0; j < kTexels; j++)
        for (int i = 0; i < kTexels; i++) {
            const uint32_t white = 0xFFFFFFFF;
            std::memcpy(Row(tex, j) + 4 * i, &white, 4);
        }
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_MODULATE}});
    Clear(target, 0);
    ASSERT_EQ(Quad(1, 1, 1, 0xFFFF0000, 0x00000000, 0xFF000000).result, DD_OK);
    left = At(1, 64);
    right = At(kSize - 2, 64);
    EXPECT_LE(left.r, 16);
    EXPECT_GE(left.b, 0xE0);
    EXPECT_GE(right.r, 0xE0);
    EXPECT_LE(right.b, 16);

    // Specular: added into untextured colours, saturating.
    States(ctx, {{D3DRS_FOGENABLE, 0}, {D3DRS_TEXTUREHANDLE, 0}, {D3DRS_SPECULARENABLE, 1}});
    Clear(target, 0);
    ASSERT_EQ(Quad(1, 1, 1, 0xFF404040, 0xFF303030, 0xFFF0F0F0).result, DD_OK);
    left = At(1, 64);
    right = At(kSize - 2, 64);
    EXPECT_NEAR(left.r, 0x70, 8);
    EXPECT_NEAR(left.g, 0x70, 8);
    EXPECT_GE(right.r, 0xF0);   // 0x40 + 0xF0 saturates
    // With a modulated texture the fog unit adds white by 255 less the largest specular channel.
    States(ctx, {{D3DRS_TEXTUREHANDLE, NewTexture(ctx, tex)}});
    Clear(target, 0);
    ASSERT_EQ(Quad(1, 1, 1, 0xFF808080, 0xFF404040, 0xFF404040).result, DD_OK);
    mid = At(64, 64);
    // 0x80 x (0xBF / 255) + 255 x (0x40 / 255)
    EXPECT_NEAR(mid.g, 0x80 * 0xBF / 255 + 0x40, 8);
}

TEST_F(Textures, ClippedTriangleCoversItsUncutTwin) {
    Surf *tex = Texture(Rgb16(), 256);
    const DWORD h = NewTexture(ctx, tex);
    States(ctx, {{D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}, {D3DRS_WRAPU, 0}});
    // u from 0 to 20 repeats: 5120 texels, far more than the engine's texture registers take.
    const std::vector<D3DTLVERTEX> tri = {V(3, 5, ~0u, 0.5f, 0, 0), V(120, 20, ~0u, 0.5f, 20, 0.1f),
                                          V(30, 122, ~0u, 0.5f, 2, 0.9f)};
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, tri).result, DD_OK);   // the twin, untextured
    const std::vector<uint8_t> twin = Mask(target);
    Clear(target, 0);
    FillSolid(tex, 0xFFFF);
    States(ctx, {{D3DRS_TEXTUREHANDLE, h}});
    kivSivClearWriteLog();
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, tri).result, DD_OK);
    EXPECT_GT(Commands(), 2u);   // drawn in pieces
    const std::vector<uint8_t> cut = Mask(target);
    int missing = 0, extra = 0, lit = 0;
    for (int y = 0; y < kSize; y++)
        for (int x = 0; x < kSize; x++) {
            const size_t i = static_cast<size_t>(y) * kSize + x;
            lit += cut[i];
            missing += twin[i] && !cut[i];
            extra += cut[i] && DistanceToTriangle(tri[0], tri[1], tri[2], x, y) > 1.0;
        }
    EXPECT_EQ(extra, 0);
    // Pixels along the pieces' shared edges may differ by one sample; the twin's body is covered.
    EXPECT_LE(missing, 4);
    EXPECT_GT(lit, 4000);
}

// Every piece of a cut triangle samples the texels of the whole: u over 2.5 repeats of a
// 1024-texel texture (2560 texels) across a 1000-pixel-wide triangle.
TEST_F(Textures, PiecesOfACutTriangleKeepTheirTexels) {
    Surf *wide = Target(1024, 64);
    const ULONG_PTR wideCtx = NewContext(wide);
    Plain(wideCtx, D3DSHADE_GOURAUD);
    Surf *tex = Create(DDSCAPS_TEXTURE, 1024, 4, std::vector<DDPIXELFORMAT>{Rgb16()}.data());
    // Stripes four texels wide, numbered in red.
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 1024; i++) {
            const uint16_t t = 0x8000 | uint16_t(((i / 4) & 31) << 10);
            std::memcpy(Row(tex, j) + 2 * i, &t, 2);
        }
    EXPECT_EQ(States(wideCtx, {{D3DRS_TEXTUREHANDLE, NewTexture(wideCtx, tex)},
                               {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECAL}})
                  .result,
              DD_OK);
    const std::vector<D3DTLVERTEX> tri = {V(5, 2, ~0u, 0.5f, 0, 0.5f), V(1010, 20, ~0u, 0.5f, 2.5f, 0.5f),
                                          V(30, 60, ~0u, 0.5f, 0.3f, 0.5f)};
    kivSivClearWriteLog();
    ASSERT_EQ(Draw(wideCtx, D3DPT_TRIANGLELIST, tri).result, DD_OK);
    EXPECT_GT(Commands(), 1u);
    int checked = 0, wrong = 0;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 1024; x++) {
            if (!Lit(wide, x, y) || DistanceToTriangle(tri[0], tri[1], tri[2], x, y) > 0)
                continue;
            double w[3];
            Weights(tri[0], tri[1], tri[2], x, y, w);
            const double u = (w[0] * tri[0].tu + w[1] * tri[1].tu + w[2] * tri[2].tu) * 1024;
            const int want = (static_cast<int>(std::floor(u)) / 4) & 31, got = (Raw(wide, x, y) >> 11) & 31;
            const int diff = std::abs(want - got);
            checked++;
            wrong += std::min(diff, 32 - diff) > 1;
        }
    EXPECT_GT(checked, 20000);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
