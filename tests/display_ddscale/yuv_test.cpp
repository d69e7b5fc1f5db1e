// YUY2 and UYVY sources blitted to the display's format through DirectDraw: converted by the
// engine's scaler at 16 and 32 bits per pixel, unscaled and scaled, read in place or staged,
// each pixel checked against the reference conversion; refused where the chip cannot.
#include "tests/display_ddscale/ddscale_fixture.h"

namespace {

// The reference conversion: studio-range BT.601 in integers.
uint32_t reference(int y, int u, int v, uint32_t bytes) {
    auto clamp = [](int x) { return uint32_t(x < 0 ? 0 : x > 255 ? 255 : x); };
    const int c = y - 16, d = u - 128, e = v - 128;
    const uint32_t r = clamp((298 * c + 409 * e + 128) >> 8);
    const uint32_t g = clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
    const uint32_t b = clamp((298 * c + 516 * d + 128) >> 8);
    return bytes == 2 ? (r >> 3) << 10 | (g >> 3) << 5 | b >> 3 : r << 16 | g << 8 | b;
}

// Source samples: luma of pixel (x, y), chroma of the pair x / 2 on line y.
uint8_t lumaAt(LONG x, LONG y) { return uint8_t(16 + (x * 37 + y * 53) % 220); }
uint8_t cbAt(LONG pair, LONG y) { return uint8_t(30 + (pair * 71 + y * 29) % 200); }
uint8_t crAt(LONG pair, LONG y) { return uint8_t(20 + (pair * 43 + y * 97) % 210); }

}  // namespace

class Yuv : public DdNtTest, public ::testing::WithParamInterface<uint32_t> {};
INSTANTIATE_TEST_SUITE_P(Depths, Yuv, ::testing::Values(16u, 32u));

TEST_P(Yuv, PackedSourcesAreConvertedToTheDisplayFormat) {
    ASSERT_TRUE(startDd(GetParam()));
    KivDdNtSurface *dst = one(64, 40, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(dst);
    struct Kind { const char *what; DWORD caps; };
    const Kind kinds[] = {
        {"video memory", ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY},        // read in place
        {"texture", ZK_DDSCAPS_TEXTURE | ZK_DDSCAPS_VIDEOMEMORY},                    // staged by the CPU
        {"system memory", ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY},      // staged by the CPU
    };
    struct Size { LONG dw, dh; };
    for (uint32_t code : {kYuy2, kUyvy})
        for (const Kind &kind : kinds) {
            KivDdNtSurface *src = one(30, 12, kind.caps, code);
            ASSERT_TRUE(src);
            const bool uFirst = code == kUyvy;
            for (LONG y = 0; y < 12; ++y)
                for (LONG pair = 0; pair < 15; ++pair) {
                    uint8_t *q = at(src, 2 * pair, y, 2);
                    q[uFirst ? 1 : 0] = lumaAt(2 * pair, y);
                    q[uFirst ? 3 : 2] = lumaAt(2 * pair + 1, y);
                    q[uFirst ? 0 : 1] = cbAt(pair, y);
                    q[uFirst ? 2 : 3] = crAt(pair, y);
                }
            for (const Size &sz : {Size{26, 10}, Size{47, 29}, Size{11, 5}}) {
                SCOPED_TRACE(testing::Message() << (uFirst ? "UYVY " : "YUY2 ") << kind.what << " to " << sz.dw << "x" << sz.dh);
                seed(dst, 1);
                const RECTL rs = rect(2, 1, 26, 10), rd = rect(3, 4, sz.dw, sz.dh);
                const KivDdNtResult r = dd.blt(dst, rd, src, rs, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, rop());
                ASSERT_TRUE(r.ok()) << r.handled << " 0x" << std::hex << r.code;
                expectModelClean();
                check(dst, rect(0, 0, 64, 40), [&](LONG x, LONG y) {
                    if (x < rd.left || x >= rd.right || y < rd.top || y >= rd.bottom) return pattern(x, y, 1);
                    const LONG sx = rs.left + engineSample(x - rd.left, sz.dw, 26);
                    const LONG sy = rs.top + engineSample(y - rd.top, sz.dh, 10);
                    return reference(lumaAt(sx, sy), cbAt(sx / 2, sy), crAt(sx / 2, sy), bytes);
                });
            }
            dd.destroy(src);
        }
}

TEST_P(Yuv, RefusalsOfYuvSources) {
    ASSERT_TRUE(startDd(GetParam()));
    KivDdNtSurface *dst = one(32, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *src = one(32, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY, kYuy2);
    ASSERT_TRUE(src && dst);
    // A pair cut in two, and a source key the scaler cannot apply.
    KivDdNtResult r = dd.blt(dst, rect(0, 0, 8, 4), src, rect(1, 0, 8, 4), ZK_DDBLT_ROP, rop());
    EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
    EXPECT_EQ(r.code, ZK_DDERR_INVALIDRECT);
    r = dd.blt(dst, rect(0, 0, 8, 4), src, rect(0, 0, 8, 4), ZK_DDBLT_ROP | ZK_DDBLT_KEYSRCOVERRIDE, rop());
    EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
    EXPECT_EQ(r.code, ZK_DDERR_NOCOLORKEYHW);
}

TEST_F(DdNtTest, AtEightBitsPerPixelYuvSourcesAreRefused) {
    ASSERT_TRUE(startDd(8));
    // YUV surfaces are not made at 8 bpp; a plain surface described as YUY2 stands for one.
    KivDdNtSurface *dst = one(32, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *src = one(32, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    src->gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
    src->gbl.ddpfSurface.dwFourCC = kYuy2;
    const KivDdNtResult r = dd.blt(dst, rect(0, 0, 8, 4), src, rect(0, 0, 8, 4), ZK_DDBLT_ROP, rop());
    EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
    EXPECT_EQ(r.code, ZK_DDERR_UNSUPPORTEDFORMAT);
}
