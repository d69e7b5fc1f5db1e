// Surfaces whose pitch reaches past the 2D engine's 16-bit stride fields (32 KB to 128 KB), made
// through DirectDraw's create path and drawn through its blit call as a program does: fills,
// copies between surfaces both ways and over themselves, source-keyed copies, BLACKNESS and
// WHITENESS, depth fills and uploads from system memory. Every pixel of every surface drawn is
// checked against a picture the test keeps by its own arithmetic. Direct3D refuses targets larger
// than the 3D engine reaches, Z buffers that do not cover their target and textures larger than
// the engine's fields, and keeps what it had.
#include "tests/sivhal_blit/blit_fixture.h"

#include <ostream>

namespace {

struct Wide {
    uint8_t bits;   // of the display, and so of the surfaces drawn
    WORD width, height;
};

void PrintTo(const Wide &w, std::ostream *os) { *os << w.width << "x" << w.height << "@" << int(w.bits); }

class WideSurfaces : public BlitMachine, public ::testing::WithParamInterface<Wide> {
protected:
    LONG W = 0, H = 0;
    uint32_t mask = 0;   // of a pixel

    void SetUp() override {
        Boot(640, 480, GetParam().bits);
        W = GetParam().width;
        H = GetParam().height;
        mask = PixelMask();
    }
    void ExpectDrawn(const Ddraw9xResult &r, const char *what) {
        EXPECT_EQ(r.result, DD_OK) << what;
        EXPECT_EQ(r.handled, 1u) << what;
    }
};

TEST_P(WideSurfaces, EveryBlitDrawsEveryRowWhereItBelongs) {
    TestSurface *a = Create(DDSCAPS_OFFSCREENPLAIN, WORD(W), WORD(H));
    TestSurface *b = Create(DDSCAPS_OFFSCREENPLAIN, WORD(W), WORD(H));
    ASSERT_TRUE(a && b);
    // DirectDraw's pitch: the row's bytes, in whole 8-byte units.
    const LONG pitch = (W * LONG(Bpp()) + 7) & ~7;
    ASSERT_EQ(a->gbl.lPitch, pitch);
    ASSERT_GE(pitch, 0x8000);
    Picture pa = Painted(a, 1), pb = Painted(b, 2);
    const LONG dy = H > 1 ? 1 : 0;   // rows a copy moves by, where there are rows to move to

    const uint32_t fill = 0x5A5A5A5A & mask;
    const RECTL wholeRows = {3, 0, W - 5, H}, lastRow = {W - 100, H - 1, W, H};
    ExpectDrawn(Fill(a, wholeRows, fill), "fill");
    ExpectDrawn(Fill(a, lastRow, fill ^ mask), "fill of the last row");
    FillPicture(pa, wholeRows, fill);
    FillPicture(pa, lastRow, fill ^ mask);
    ExpectPicture(a, pa, "fills");

    struct Copy {
        const char *what;
        TestSurface *dst;
        Picture *pd;
        RECTL rd;
        TestSurface *src;
        Picture *ps;
        RECTL rs;
    };
    const Copy copies[] = {
        {"copy to the other surface", b, &pb, {W - 7 - W / 2, 0, W - 7, H}, a, &pa, {0, 0, W / 2, H}},
        {"copy back, rows moved", a, &pa, {5, dy, W - 25, H}, b, &pb, {10, 0, W - 20, H - dy}},
        {"copy over itself right and down", a, &pa, {9, dy, W, H}, a, &pa, {0, 0, W - 9, H - dy}},
        {"copy over itself left and up", a, &pa, {0, 0, W - 9, H - dy}, a, &pa, {9, dy, W, H}},
        {"copy over itself left and down", b, &pb, {0, dy, W - 4, H}, b, &pb, {4, 0, W, H - dy}},
    };
    for (const Copy &c : copies) {
        ExpectDrawn(Blt(c.dst, c.rd, c.src, c.rs, DDBLT_ROP, Rop(DD_ROP_SRCCOPY)), c.what);
        CopyPicture(*c.pd, c.rd, *c.ps, c.rs);
        ExpectPicture(a, pa, c.what);
        ExpectPicture(b, pb, c.what);
    }

    // A source colour key: every fifth pixel of the source is left out.
    const uint32_t key = 0x00C3C3C3 & mask;
    for (LONG y = 0; y < H; y++)
        for (LONG x = 0; x < W; x += 5)
            SetPixel(b, x, y, pb.at(x, y) = key);
    DDBLTFX keyed = Rop(DD_ROP_SRCCOPY);
    keyed.ddckSrcColorkey = {key, key};
    const RECTL kd = {2, 0, W - 1, H}, ks = {0, 0, W - 3, H};
    ExpectDrawn(Blt(a, kd, b, ks, DDBLT_ROP | DDBLT_KEYSRCOVERRIDE, keyed), "keyed copy");
    CopyPicture(pa, kd, pb, ks, &key);
    ExpectPicture(a, pa, "keyed copy");

    const RECTL black = {1, 0, 50, H}, white = {W - 60, dy, W - 2, H};
    ExpectDrawn(Blt(a, black, nullptr, {}, DDBLT_ROP, Rop(DD_ROP_BLACKNESS)), "BLACKNESS");
    ExpectDrawn(Blt(a, white, nullptr, {}, DDBLT_ROP, Rop(DD_ROP_WHITENESS)), "WHITENESS");
    FillPicture(pa, black, 0);
    FillPicture(pa, white, mask);
    ExpectPicture(a, pa, "BLACKNESS and WHITENESS");

    // An upload from a system-memory surface of the same size, rows packed without padding.
    const LONG sysPitch = W * LONG(Bpp());
    std::vector<uint8_t> memory(size_t(sysPitch) * size_t(H));
    TestSurface *sys = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN, WORD(W), WORD(H),
                            static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(memory.data())), sysPitch);
    Picture ps = Painted(sys, 3);
    const RECTL ud = {2, 0, W - 3, H}, us = {1, 0, W - 4, H};
    ExpectDrawn(Blt(a, ud, sys, us, DDBLT_ROP, Rop(DD_ROP_SRCCOPY)), "upload");
    CopyPicture(pa, ud, ps, us);
    ExpectPicture(a, pa, "upload");

    EXPECT_EQ(kivSiv2dStats()->pixelsOutside, 0u);
    EXPECT_EQ(kivSiv2dStats()->strayHostDwords, 0u);
}

// Depth fills are 16-bit; a Z buffer's pitch is the HAL's own, two bytes a pixel.
class WideZ : public WideSurfaces {};

TEST_P(WideZ, DepthFillsReachEveryRow) {
    TestSurface *z = Create(DDSCAPS_ZBUFFER, WORD(W), WORD(H));
    ASSERT_TRUE(z);
    ASSERT_EQ(z->gbl.lPitch, 2 * W);
    Picture pz = Painted(z, 4);
    DDBLTFX fx{};
    const RECTL whole = {0, 0, W, H}, corner = {W - 70, H - 1, W, H};
    fx.dwFillDepth = 0xBEEF;
    ExpectDrawn(Blt(z, whole, nullptr, {}, DDBLT_DEPTHFILL, fx), "depth fill");
    fx.dwFillDepth = 0x1234;
    ExpectDrawn(Blt(z, corner, nullptr, {}, DDBLT_DEPTHFILL, fx), "depth fill of a corner");
    FillPicture(pz, whole, 0xBEEF);
    FillPicture(pz, corner, 0x1234);
    ExpectPicture(z, pz, "depth fills");
}

// Pitches at 16 bits from 32 KB to 128 KB (the widest and the first past the stride field among
// them), 64 KB at 8 bits, and 64 KB and 128 KB at 24 bits; one to three rows.
const Wide kWide[] = {
    {16, 16384, 3}, {16, 32764, 2}, {16, 32767, 2}, {16, 32768, 3}, {16, 65535, 2},
    {8, 65535, 3},  {24, 21846, 2}, {24, 43690, 1},
};
INSTANTIATE_TEST_SUITE_P(Pitches, WideSurfaces, ::testing::ValuesIn(kWide));

std::vector<Wide> At16Bits() {
    std::vector<Wide> v;
    for (const Wide &w : kWide)
        if (w.bits == 16)
            v.push_back(w);
    return v;
}
INSTANTIATE_TEST_SUITE_P(Pitches, WideZ, ::testing::ValuesIn(At16Bits()));

// The 3D engine's target stride field holds 16 bits; its texture fields a 16-bit row stride.
class WideDirect3d : public BlitMachine {
protected:
    D3d9xDevice dev{};
    void SetUp() override {
        Boot(640, 480, 16);
        ASSERT_TRUE(kivD3d9xCreateDevice(&drv, 0x66, &dev));
    }
    void TearDown() override {
        kivD3d9xDestroyAllContexts(&dev);
        BlitMachine::TearDown();
    }
    TestSurface *Target(WORD w, WORD h) {
        TestSurface *t = Create(DDSCAPS_OFFSCREENPLAIN | 0x2000 /* 3DDEVICE */, w, h);
        if (t)
            std::memset(At(t, 0, 0), 0, size_t(t->gbl.lPitch) * h);
        return t;
    }
    bool Blank(TestSurface *s) {
        for (LONG y = 0; y < s->gbl.wHeight; y++)
            for (LONG x = 0; x < s->gbl.wWidth; x++)
                if (Pixel(s, x, y))
                    return false;
        return true;
    }
};

// The engine draws a target's pixels up to 2040 each way (its edge registers hold x and rows
// below 2048, and primitives reaching past them are cut a few pixels inside); the stride field
// holds a pitch below 64 KB; the engine keeps a depth for every pixel it draws, so a Z buffer
// must cover its target.
TEST_F(WideDirect3d, TargetsPastTheEngineFieldsAreRefusedAndNothingChanges) {
    TestSurface *small = Target(16, 16);
    ULONG_PTR ctx = 0;
    ASSERT_EQ(kivD3d9xCreateContext(&dev, &small->lcl, nullptr, &ctx).result, DD_OK);
    struct Case {
        WORD width, height;
        HRESULT want;   // pitch: (width * 2 + 7) & ~7
        WORD zWidth = 0, zHeight = 0;   // 0: no Z buffer
    };
    const Case cases[] = {{2040, 2, DD_OK},
                          {2, 2040, DD_OK},
                          {2041, 2, DDERR_TOOBIGWIDTH},
                          {2, 2041, DDERR_TOOBIGHEIGHT},
                          {2048, 1, DDERR_TOOBIGWIDTH},
                          {1, 4096, DDERR_TOOBIGHEIGHT},
                          {32764, 2, DDERR_TOOBIGWIDTH},
                          {32767, 2, DDERR_TOOBIGWIDTH},
                          {32768, 2, DDERR_TOOBIGWIDTH},
                          {65535, 2, DDERR_TOOBIGWIDTH},
                          {64, 48, DD_OK, 64, 48},
                          {64, 48, DD_OK, 80, 60},
                          {64, 48, DDERR_INVALIDPARAMS, 63, 48},
                          {64, 48, DDERR_INVALIDPARAMS, 64, 47},
                          {2040, 2, DDERR_INVALIDPARAMS, 2039, 2}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", Z " << c.zWidth << "x" << c.zHeight);
        TestSurface *wide = Target(c.width, c.height);
        TestSurface *z = c.zWidth ? Create(DDSCAPS_ZBUFFER, c.zWidth, c.zHeight) : nullptr;
        ASSERT_TRUE(wide && (z || !c.zWidth));
        DDRAWI_DDRAWSURFACE_LCL *zl = z ? &z->lcl : nullptr;
        ULONG_PTR made = 0;
        EXPECT_EQ(kivD3d9xCreateContext(&dev, &wide->lcl, zl, &made).result, c.want);
        EXPECT_EQ(made != 0, c.want == DD_OK) << "a context on a refused target";
        EXPECT_EQ(kivD3d9xSetRenderTarget(&dev, ctx, &wide->lcl, zl).result, c.want);
        if (c.want == DD_OK) {
            ASSERT_EQ(kivD3d9xSetRenderTarget(&dev, ctx, &small->lcl, nullptr).result, DD_OK);
        }
        // The context still draws into the target it had, and nothing into the refused one.
        const D3DTLVERTEX v[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                                  {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0},
                                  {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}};
        D3d9xBatch batch;
        kivD3d9xBatchState(&batch, D3DRS_CULLMODE, D3DCULL_NONE);
        kivD3d9xBatchPrimitive(&batch, D3DPT_TRIANGLELIST, v, 3);
        std::memset(At(small, 0, 0), 0, size_t(small->gbl.lPitch) * 16);
        EXPECT_EQ(kivD3d9xFlushBatch(&dev, ctx, &batch).result, DD_OK);
        EXPECT_NE(Pixel(small, 2, 2), 0u);
        EXPECT_TRUE(Blank(wide));
    }
}

// The texture fields: the row stride in 16 bits, and one size for both axes, the power of two
// the width rounds up to.
TEST_F(WideDirect3d, TexturesPastTheEngineFieldsAreRefused) {
    TestSurface *target = Target(16, 16);
    ULONG_PTR ctx = 0;
    ASSERT_EQ(kivD3d9xCreateContext(&dev, &target->lcl, nullptr, &ctx).result, DD_OK);
    const DDPIXELFORMAT rgb16 = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0};
    const DDPIXELFORMAT rgb32 = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
    struct Case {
        const DDPIXELFORMAT *pf;
        WORD width;     // row stride: texel bytes x width
        HRESULT want;
        WORD height = 1;
    };
    const Case cases[] = {{&rgb16, 32767, DD_OK}, {&rgb16, 32768, D3DERR_TEXTURE_CREATE_FAILED},
                          {&rgb32, 16383, DD_OK}, {&rgb32, 16384, D3DERR_TEXTURE_CREATE_FAILED},
                          {&rgb16, 16, DD_OK, 16}, {&rgb16, 16, D3DERR_TEXTURE_CREATE_FAILED, 17},
                          {&rgb16, 17, DD_OK, 32}, {&rgb16, 17, D3DERR_TEXTURE_CREATE_FAILED, 33},
                          {&rgb16, 1, DD_OK, 1},   {&rgb16, 1, D3DERR_TEXTURE_CREATE_FAILED, 2},
                          {&rgb32, 64, DD_OK, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        TestSurface *t = Create(DDSCAPS_TEXTURE, c.width, c.height, c.pf);
        ASSERT_TRUE(t);
        DWORD handle = 0;
        EXPECT_EQ(kivD3d9xCreateTexture(&dev, ctx, &t->lcl, &handle).result, c.want);
        EXPECT_EQ(handle != 0, c.want == DD_OK) << "a handle for a refused texture";
    }
}

}  // namespace
