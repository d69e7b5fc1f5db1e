// The register words the HAL writes where the driver contract gives them exactly: the worked
// set-up example, the command word for render-state combinations, the destination block, the
// perspective fallback and the formats of points.
#include "tests/sivhal_d3d/d3d_fixture.h"

namespace {

class Registers : public FlatContext {
protected:
    uint32_t CommandOf(const std::vector<D3DTLVERTEX> &tri) {
        kivSivClearWriteLog();
        EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, tri).result, DD_OK);
        EXPECT_EQ(Commands(), 1u);
        return Last(0xB500);
    }
};

// Untextured, Z off, Z write on, 16-bit destination; the Z compare code in bits 20-22.
constexpr uint32_t Base(uint32_t zcode) { return 0x80000002u | 3u << 24 | 1u << 23 | zcode << 20 | 1u << 2; }

TEST_F(Registers, WorkedSetUpExample) {
    kivSivClearWriteLog();
    ASSERT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, {V(10, 10), V(18, 26), V(2, 18)}).result, DD_OK);
    const struct {
        uint32_t reg, value;
    } expected[] = {{0xB560, 0x00100000}, {0xB564, 0x00200000}, {0xB568, 0xFFE00000}, {0xB56C, 0x01200000},
                    {0xB570, 0xFFF80000}, {0xB574, 0x01200000}, {0xB578, 26},         {0xB57C, 0x00080009}};
    for (const auto &e : expected)
        EXPECT_EQ(Last(e.reg), e.value) << std::hex << e.reg;
    // The command word comes last, after every other register of the triangle.
    const auto w = Writes();
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.back().offset, 0xB500u);
    EXPECT_EQ(w.back().value, Base(6));
    // Flat colour of the first vertex, alpha 0xFF without vertex alpha, no gradients.
    EXPECT_EQ(Last(0xB54C), (0xFFu << 16 | 0xFF) << 7);
    EXPECT_EQ(Last(0xB550), (0xFFu << 16 | 0xFF) << 7);
    // The destination block, in its order, before the triangle.
    const uint32_t order[] = {0xB4D8, 0xB4E4, 0xB4DC, 0xB4E0, 0xB4D4, 0xB4E8, 0xB4EC, 0xB4F4};
    for (size_t i = 0; i < 8; i++)
        EXPECT_EQ(w[i].offset, order[i]) << i;
    EXPECT_EQ(w[0].value, static_cast<uint32_t>(target->gbl.fpVidMem - Block()->frameBuffer()));
    EXPECT_EQ(w[1].value, static_cast<uint32_t>(target->gbl.lPitch) << 16);
    EXPECT_EQ(w[2].value, 63u);
    EXPECT_EQ(w[3].value, 63u);
}

TEST_F(Registers, DroppedTrianglesWriteNothing) {
    const std::vector<std::vector<D3DTLVERTEX>> cases = {
        {V(10, 10.2f), V(20, 10.5f), V(15, 10.9f)},            // one row
        {V(10, 10), V(12, 11), V(14, 12)},                     // middle on the long edge
        {V(10, 10), V(20, 10), V(30, 10)},                     // zero area
        {V(10, 10), V(NAN, 20), V(15, 30)},
    };
    EXPECT_EQ(States(ctx, {{D3DRS_CULLMODE, D3DCULL_NONE}}).result, DD_OK);
    for (size_t i = 0; i < cases.size(); i++) {
        kivSivClearWriteLog();
        EXPECT_EQ(Draw(ctx, D3DPT_TRIANGLELIST, cases[i]).result, DD_OK);
        EXPECT_EQ(Commands(), 0u) << i;
    }
    // Execute buffers hand zero-area triangles to set-up, which drops them; nothing is drawn.
    kivSiv3dClearStats();
    ExecBuffer *b = Exec({V(10, 10), V(20, 10), V(30, 10)});
    b->Triangles({{0, 1, 2, 0}});
    EXPECT_EQ(Run(ctx, b).result, DD_OK);
    EXPECT_EQ(kivSiv3dStats()->pixels, 0u);
}

TEST_F(Registers, RowCountsAndDirection) {
    struct Case {
        std::vector<D3DTLVERTEX> tri;
        uint32_t counts;
    } cases[] = {
        {{V(10, 10), V(20, 20), V(0, 30)}, 0x800A000Bu},         // middle right of the long edge
        {{V(10, 10.25f), V(20, 20), V(0, 30)}, 0x800A000Au},     // top not on a row: no extra row
        {{V(10, 10), V(20, 10), V(15, 30)}, 0x00140001u},        // flat top: upper part is one row
        {{V(1, 1), V(5, 1), V(3, 0)}, 0x80000002u},              // ties: the third on top, then the second
    };
    for (const Case &c : cases) {
        kivSivClearWriteLog();
        Draw(ctx, D3DPT_TRIANGLELIST, c.tri);
        EXPECT_EQ(Last(0xB57C), c.counts) << c.tri[0].sy;
    }
}

TEST_F(Registers, CommandWordForStates) {
    EXPECT_EQ(CommandOf({V(0, 0), V(20, 0), V(0, 20)}), Base(6));
    // Z compare codes for ZFUNC 1..8, and values outside (always).
    const uint32_t codes[] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (DWORD f = 1; f <= 8; f++) {
        States(ctx, {{D3DRS_ZFUNC, f}});
        EXPECT_EQ(CommandOf({V(0, 0), V(20, 0), V(0, 20)}), Base(codes[f - 1])) << f;
    }
    States(ctx, {{D3DRS_ZFUNC, 1000}});
    EXPECT_EQ(CommandOf({V(0, 0), V(20, 0), V(0, 20)}), Base(7));
    States(ctx, {{D3DRS_ZFUNC, D3DCMP_LESSEQUAL}});

    // Textures: format code, size, filter and blend bits.
    Surf *t1555 = Texture(Rgb16(), 16), *t4444 = Texture(Rgb4444(), 32), *t8888 = Texture(Rgb32(true), 64);
    struct Case {
        Surf *tex;
        DWORD blend, filter, perspective;
        uint32_t bits;
    } cases[] = {
        {t1555, D3DTBLEND_MODULATE, D3DFILTER_NEAREST, 0, 2u << 5 | 4u << 8 | 4u << 12 | 1u << 27 | 1u << 15},
        {t4444, D3DTBLEND_DECAL, D3DFILTER_MIPNEAREST, 0, 1u << 5 | 5u << 8 | 0u << 12 | 1u << 28 | 1u << 16},
        {t8888, D3DTBLEND_ADD, D3DFILTER_MIPLINEAR, 0, 0u << 5 | 6u << 8 | 2u << 12 | 1u << 27},
        {t8888, D3DTBLEND_COPY, 6, 1, 6u << 8 | 3u << 12 | 1u << 28 | 1u << 16 | 1u << 29},
        {t1555, D3DTBLEND_DECALALPHA, 5, 1, 2u << 5 | 4u << 8 | 1u << 12 | 1u << 28 | 1u << 16 | 1u << 29},
    };
    for (const Case &c : cases) {
        const DWORD h = NewTexture(ctx, c.tex);
        States(ctx, {{D3DRS_TEXTUREHANDLE, h}, {D3DRS_TEXTUREMAPBLEND, c.blend}, {D3DRS_TEXTUREMAG, c.filter},
                     {D3DRS_TEXTUREPERSPECTIVE, c.perspective}});
        // rhw differ, so a perspective triangle keeps bit 29.
        const uint32_t cmd = CommandOf({V(0, 0, ~0u, 0.5f, 0, 0, 1.0f), V(20, 0, ~0u, 0.5f, 1, 0, 0.5f),
                                        V(0, 20, ~0u, 0.5f, 0, 1, 0.25f)});
        EXPECT_EQ(cmd, Base(6) | 1u << 26 | c.bits) << c.blend;
    }
    States(ctx, {{D3DRS_TEXTUREHANDLE, 0}, {D3DRS_TEXTUREPERSPECTIVE, 0}});

    // Fog without a texture: the white texel as a modulated 32-bit texture of size code 3.
    States(ctx, {{D3DRS_FOGENABLE, 1}, {D3DRS_FOGCOLOR, 0x102030}});
    EXPECT_EQ(CommandOf({V(0, 0), V(20, 0), V(0, 20)}), (Base(6) & 0x8FF2C31F) | 0x0C00C300);
    EXPECT_EQ(Last(0xB4EC), Block()->whiteTexelOffset());
    EXPECT_EQ(Last(0xB4E4) & 0xFFFF, 8u);
    EXPECT_EQ(Last(0xB4F4), 0x102030u);
    States(ctx, {{D3DRS_FOGENABLE, 0}});

    // Specular through the fog unit with a modulated texture: its colour register holds white.
    const DWORD h = NewTexture(ctx, t1555);
    States(ctx, {{D3DRS_TEXTUREHANDLE, h}, {D3DRS_TEXTUREMAPBLEND, D3DTBLEND_MODULATE}, {D3DRS_SPECULARENABLE, 1},
                 {D3DRS_TEXTUREMAG, D3DFILTER_NEAREST}});
    EXPECT_TRUE(CommandOf({V(0, 0), V(20, 0), V(0, 20)}) & (1u << 17));
    EXPECT_EQ(Last(0xB4F4), 0xFFFFFFu);
    // Alpha blending from the texture's alpha.
    const DWORD ha = NewTexture(ctx, Texture(Rgb16(true), 16));
    States(ctx, {{D3DRS_TEXTUREHANDLE, ha}, {D3DRS_SPECULARENABLE, 0}, {D3DRS_BLENDENABLE, 1},
                 {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}});
    EXPECT_EQ((CommandOf({V(0, 0), V(20, 0), V(0, 20)}) >> 18) & 3, 2u);
    // Vertex alpha when the texture blend takes the vertex's.
    States(ctx, {{D3DRS_TEXTUREMAPBLEND, D3DTBLEND_DECALALPHA}});
    EXPECT_EQ((CommandOf({V(0, 0), V(20, 0), V(0, 20)}) >> 18) & 3, 3u);
}

TEST_F(Registers, ChooseTextureFilterByAreas) {
    const DWORD h = NewTexture(ctx, Texture(Rgb16(), 16));
    States(ctx, {{D3DRS_TEXTUREHANDLE, h}, {D3DRS_TEXTUREMAG, D3DFILTER_LINEAR}});
    // Screen cross product 100; texture cross products 30 and 20.
    auto filter = [&](float p) {
        return (CommandOf({V(0, 0, ~0u, 0.5f, 0, 0), V(10, 0, ~0u, 0.5f, 100 * p, 0), V(0, 10, ~0u, 0.5f, 0, 1)}) >>
                12) &
               7;
    };
    EXPECT_EQ(filter(0.3f), 5u);
    EXPECT_EQ(filter(0.2f), 6u);
    Block()->driverFlags() |= 0x400000;
    EXPECT_EQ(filter(0.2f), 5u);
}

TEST_F(Registers, PerspectiveFallbackForEqualRhw) {
    const DWORD h = NewTexture(ctx, Texture(Rgb16(), 64));
    States(ctx, {{D3DRS_TEXTUREHANDLE, h}, {D3DRS_TEXTUREPERSPECTIVE, 1}});
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST,
         {V(0, 0, ~0u, 0.5f, 0, 0, 0.5f), V(20, 0, ~0u, 0.5f, 1, 0, 0.5f), V(0, 20, ~0u, 0.5f, 0, 1, 0.5f)});
    EXPECT_EQ(Last(0xB500) & (1u << 29), 0u);
    EXPECT_EQ(Last(0xB504), 0u);
    EXPECT_EQ(Last(0xB508), 0u);
    // Affine start of u in T format with 27 - 6 fraction bits: 0 less the bias (the float with
    // bits 0xBB7D70A4), times 2^21, rounded down.
    const uint32_t biasBits = 0xBB7D70A4;
    float bias;
    std::memcpy(&bias, &biasBits, 4);
    EXPECT_EQ(Last(0xB538), static_cast<uint32_t>(std::floor(-static_cast<double>(bias) * (1 << 21))));
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST,
         {V(0, 0, ~0u, 0.5f, 0, 0, 0.5f), V(20, 0, ~0u, 0.5f, 1, 0, 0.5f), V(0, 20, ~0u, 0.5f, 0, 1, 0.25f)});
    EXPECT_NE(Last(0xB500) & (1u << 29), 0u);
    EXPECT_EQ(Last(0xB508) >> 31, 1u);
    // W: the largest rhw becomes 256 (19 fraction bits); the W start is the bottom vertex's,
    // rhw 0.25 -> 128.
    EXPECT_EQ(Last(0xB514), 128u << 19);
}

TEST_F(Registers, PointsAndLines) {
    States(ctx, {{D3DRS_SHADEMODE, D3DSHADE_GOURAUD}});
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_POINTLIST, {V(5.25f, 7.5f, 0xFF102030)});
    EXPECT_EQ(Last(0xB56C), static_cast<uint32_t>(6.25 * (1 << 20)));
    EXPECT_EQ(Last(0xB574), static_cast<uint32_t>(5.25 * (1 << 20)));
    EXPECT_EQ(Last(0xB578), 7u);
    EXPECT_EQ(Last(0xB57C), 0x80010000u);
    EXPECT_EQ(Last(0xB54C), (0x20u << 16 | 0x30) << 7);
    EXPECT_EQ(Writes().back().offset, 0xB500u);
    // A horizontal line: one row, from the bottom end (of equal rows, the second) leftwards.
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_LINELIST, {V(2, 9.5f), V(12, 9.5f)});
    EXPECT_EQ(Last(0xB578), 9u);
    EXPECT_EQ(Last(0xB57C), 0x00010000u);
    EXPECT_EQ(Last(0xB574), 12u << 20);
    EXPECT_EQ(Last(0xB56C), 2u << 20);
    // Both ends at one place: drawn as a point, with no division by a zero run.
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_LINELIST, {V(4, 4), V(4, 4)});
    EXPECT_EQ(Last(0xB57C), 0x80010000u);
    EXPECT_EQ(Last(0xB574), 4u << 20);
}

}  // namespace

namespace {

TEST_F(Registers, PerspectiveBasesAndLevels) {
    const DWORD h = NewTexture(ctx, Texture(Rgb16(), 64));
    States(ctx, {{D3DRS_TEXTUREHANDLE, h}, {D3DRS_TEXTUREPERSPECTIVE, 1}, {D3DRS_TEXTUREMAG, D3DFILTER_LINEAR}});
    // The smallest U is -3.2 texels: base -3, less the bias, brought up by a texture width.
    kivSivClearWriteLog();
    Draw(ctx, D3DPT_TRIANGLELIST, {V(0, 0, ~0u, 0.5f, -0.05f, 0, 1.0f), V(40, 0, ~0u, 0.5f, 0.5f, 0, 0.5f),
                                   V(0, 40, ~0u, 0.5f, 0.25f, 0.5f, 0.25f)});
    const uint32_t biasBits = 0xBB7D70A4;
    float bias;
    std::memcpy(&bias, &biasBits, 4);
    // T format of a perspective 64-texel texture: 16 - 6 fraction bits.
    EXPECT_EQ(Last(0xB508), static_cast<uint32_t>(std::floor((-3.0 - bias + 64) * 1024)) | 0x80000000u);
    // The linear filter writes no mip level.
    EXPECT_TRUE(WroteReg(0xB530));
    EXPECT_EQ(Last(0xB530) | Last(0xB518) | Last(0xB524), 0u);
}

TEST_F(Registers, TwentyFourBitTargetsTakeVertexAlpha) {
    Reboot(0, 24);
    target = Target(32, 32);
    ctx = NewContext(target);
    Plain(ctx, D3DSHADE_FLAT);
    const uint32_t cmd = CommandOf({V(0, 0, 0x80102030), V(20, 0), V(0, 20)});
    EXPECT_EQ((cmd >> 2) & 7, 2u);
    EXPECT_EQ((cmd >> 18) & 3, 3u);
    // The forced alpha is the one written, not the vertex's.
    EXPECT_EQ(Last(0xB550) >> 23, 0xFFu);
    // With fog on, nothing is forced.
    States(ctx, {{D3DRS_FOGENABLE, 1}});
    EXPECT_EQ((CommandOf({V(0, 0), V(20, 0), V(0, 20)}) >> 18) & 3, 0u);
}

}  // namespace
