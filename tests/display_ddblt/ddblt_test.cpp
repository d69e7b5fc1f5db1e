// DirectDraw blits as DirectDraw calls the driver's callback: fills, ROPs, copies within and
// between video-memory surfaces, uploads from system memory and source colour keys, checked
// on the pixels in video memory.
#include "tests/display_ddblt/ddblt_fixture.h"

class Blits : public DdFixture {};

INSTANTIATE_TEST_SUITE_P(Depths, Blits, ::testing::Values(8u, 16u, 32u));

TEST_P(Blits, FillsAndConstantRopsCoverTheDestinationRectangleOnly) {
    Surface s(40, 20, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(s);
    seed(s, 1);
    const RECTL rd = rect(3, 2, 30, 9);
    auto inside = [&](LONG x, LONG y) { return x >= rd.left && x < rd.right && y >= rd.top && y < rd.bottom; };
    const uint32_t white = bytes == 1 ? 0xFF : bytes == 2 ? 0xFFFF : 0xFFFFFFFF;
    struct Case { DWORD flags; uint32_t rop; uint32_t fill; bool invert; uint32_t value; };
    const uint32_t c = pattern(9, 9, 7);
    const Case cases[] = {
        {ZK_DDBLT_COLORFILL, 0, c, false, c},
        {ZK_DDBLT_ROP, 0x00000042, 0, false, 0},        // BLACKNESS
        {ZK_DDBLT_ROP, 0x00FF0062, 0, false, white},    // WHITENESS
        {ZK_DDBLT_ROP, 0x00F00021, c, false, c},        // PATCOPY: the fill colour as a solid brush
        {ZK_DDBLT_ROP, 0x005A0049, c, true, c},         // PATINVERT
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.rop);
        seed(s, 1);
        ZK_DD_BLTDATA b = blt(s, rd, nullptr, {}, k.flags | ZK_DDBLT_WAIT, k.rop);
        b.bltFX.dwFillColor = k.fill;
        ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
        EXPECT_EQ(b.ddRVal, ZK_DD_OK);
        check(s, rect(0, 0, 40, 20), [&](LONG x, LONG y) {
            if (!inside(x, y)) return pattern(x, y, 1);
            const uint32_t mask = bytes == 2 && k.value != white ? 0x7FFF : white;
            return k.invert ? (pattern(x, y, 1) ^ k.value) & mask : k.value & white;
        });
    }
}

TEST_P(Blits, AFillTakesTheModesColourBitsAndItsAlpha) {
    ZK_PDEV *p = ppdev();
    Surface s(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(s);
    zk3EngineClearLog();
    ZK_DD_BLTDATA b = blt(s, rect(5, 1, 7, 3), nullptr, {}, ZK_DDBLT_COLORFILL);
    b.bltFX.dwFillColor = 0x12345678;
    ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
    std::vector<uint32_t> rect;
    for (const Zk3FifoWrite &w : writes(2))
        if (w.method >= 0x3FC) rect.push_back(w.value);
    EXPECT_EQ(rect, (std::vector<uint32_t>{(0x12345678 & p->ulColorBits) | p->alphaBits, 5u << 16 | 1, 7u << 16 | 3}));
}

TEST_P(Blits, CopiesWithinTheScreenOverlapBothWays) {
    // Down-right and up-left by a few pixels: the engine copies overlap-safe.
    for (LONG d : {3, -3}) {
        SCOPED_TRACE(d);
        for (LONG y = 0; y < 40; ++y)
            for (LONG x = 0; x < 60; ++x) put(primary, 100 + x, 100 + y, pattern(x, y, 2));
        const RECTL rs = rect(110, 110, 30, 20), rd = rect(110 + d, 110 + d, 30, 20);
        ZK_DD_BLTDATA b = blt(primary, rd, &primary, rs, ZK_DDBLT_ROP);
        ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
        EXPECT_EQ(b.ddRVal, ZK_DD_OK);
        check(primary, rect(100, 100, 60, 40), [&](LONG x, LONG y) {
            if (x >= rd.left && x < rd.right && y >= rd.top && y < rd.bottom)
                return pattern(x - d - 100, y - d - 100, 2);
            return pattern(x - 100, y - 100, 2);
        });
    }
}

TEST_P(Blits, SourceRopsCombineASurfaceWithTheDestination) {
    Surface src(24, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    Surface dst(24, 8, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(src);
    make(dst);
    const uint32_t mask = bytes == 1 ? 0xFF : bytes == 2 ? 0xFFFF : 0xFFFFFFFF;
    struct Case { uint32_t rop; uint32_t (*f)(uint32_t s, uint32_t d); };
    const Case cases[] = {
        {0x00EE0086, [](uint32_t s, uint32_t d) { return s | d; }},
        {0x008800C6, [](uint32_t s, uint32_t d) { return s & d; }},
        {0x00660046, [](uint32_t s, uint32_t d) { return s ^ d; }},
        {0x00440328, [](uint32_t s, uint32_t d) { return s & ~d; }},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.rop);
        seed(src, 3);
        seed(dst, 4);
        ZK_DD_BLTDATA b = blt(dst, rect(2, 1, 20, 6), &src, rect(1, 2, 20, 6), ZK_DDBLT_ROP, k.rop);
        ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
        check(dst, rect(2, 1, 20, 6), [&](LONG x, LONG y) {
            return k.f(pattern(x - 1, y + 1, 3), pattern(x, y, 4)) & mask;
        });
    }
}

TEST_P(Blits, UploadsFromSystemMemoryStartAnywhereAndMirror) {
    Surface src(40, 12, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    Surface dst(48, 16, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(src);
    make(dst);
    seed(src, 5);
    for (bool mirror : {false, true})
        for (LONG left : {4, 5, 6, 7}) {   // every misalignment within a dword
            SCOPED_TRACE(testing::Message() << "left " << left << (mirror ? " mirrored" : ""));
            seed(dst, 6);
            const RECTL rs = rect(left, 2, 10, 7), rd = rect(9, 3, 10, 7);
            ZK_DD_BLTDATA b = blt(dst, rd, &src, rs, ZK_DDBLT_ROP | (mirror ? ZK_DDBLT_DDFX : 0));
            b.bltFX.dwDDFX = ZK_DDBLTFX_MIRRORUPDOWN;
            ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
            EXPECT_EQ(b.ddRVal, ZK_DD_OK);
            check(dst, rect(0, 0, 48, 16), [&](LONG x, LONG y) {
                if (x < rd.left || x >= rd.right || y < rd.top || y >= rd.bottom) return pattern(x, y, 6);
                const LONG sy = mirror ? rs.bottom - 1 - (y - rd.top) : rs.top + (y - rd.top);
                return pattern(rs.left + (x - rd.left), sy, 5);
            });
        }
    // The clip that hid the misalignment is gone: a copy elsewhere in video memory lands whole.
    ZK_DD_BLTDATA c = blt(dst, rect(0, 13, 48, 3), &dst, rect(0, 0, 48, 3), ZK_DDBLT_ROP);
    ASSERT_EQ(run(c), ZK_DDHAL_HANDLED);
    check(dst, rect(0, 13, 48, 3), [&](LONG x, LONG y) { return pattern(x, y - 13, 6); });
}

TEST_P(Blits, ASourceColourKeyLeavesKeyedPixelsAlone) {
    Surface vid(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    Surface sys(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    Surface dst(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(vid);
    make(sys);
    make(dst);
    const uint32_t key = 0x55;
    for (Surface *src : {&vid, &sys}) {
        SCOPED_TRACE(src == &vid ? "video source" : "system source");
        for (LONG y = 0; y < 4; ++y)
            for (LONG x = 0; x < 16; ++x) put(*src, x, y, (x + y) % 3 == 0 ? key : pattern(x, y, 8));
        seed(dst, 9);
        zk3EngineClearLog();
        ZK_DD_BLTDATA b = blt(dst, rect(0, 0, 16, 4), src, rect(0, 0, 16, 4), ZK_DDBLT_ROP | ZK_DDBLT_KEYSRCOVERRIDE);
        b.bltFX.ddckSrcColorkey.dwColorSpaceLowValue = key;
        ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
        check(dst, rect(0, 0, 16, 4), [&](LONG x, LONG y) { return (x + y) % 3 == 0 ? pattern(x, y, 9) : pattern(x, y, 8); });
        // The key is set with the depth's keying bits and switched off after the blit.
        std::vector<uint32_t> keys;
        for (const Zk3FifoWrite &w : writes(7))
            if (w.object == 0xA0007 && w.method == 0x304) keys.push_back(w.value);
        const uint32_t on = bytes == 1 ? 0xFF00 : bytes == 2 ? 0x8000 : 0xFF000000;
        EXPECT_EQ(keys, (std::vector<uint32_t>{key | on, 0u}));
    }
    // Without the key everything is copied.
    ZK_DD_BLTDATA b = blt(dst, rect(0, 0, 16, 4), &vid, rect(0, 0, 16, 4), ZK_DDBLT_ROP);
    ASSERT_EQ(run(b), ZK_DDHAL_HANDLED);
    check(dst, rect(0, 0, 16, 4), [&](LONG x, LONG y) { return get(vid, x, y); });
}

TEST_P(Blits, RefusalsAreAnsweredAsDirectDrawExpects) {
    ZK_PDEV *p = ppdev();
    Surface vid(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    Surface sys(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    Surface yuv(16, 4, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    make(vid);
    make(sys);
    make(yuv);
    yuv.gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
    yuv.gbl.ddpfSurface.dwFourCC = ZK_FOURCC('Y', 'U', 'Y', '2');
    Surface odd = yuv;
    odd.lcl.lpGbl = &odd.gbl;
    Surface other = yuv;
    other.lcl.lpGbl = &other.gbl;
    other.gbl.ddpfSurface.dwFourCC = ZK_FOURCC('Y', 'V', '1', '2');
    const RECTL r = rect(0, 0, 8, 4), rOdd = rect(1, 0, 8, 4);
    const bool yuvSupported = bytes != 1;
    struct Case { const char *what; Surface *dst; Surface *src; RECTL rs; DWORD flags; uint32_t rop; DWORD result; HRESULT_DD code; };
    const Case cases[] = {
        {"destination key", &vid, &vid, r, ZK_DDBLT_ROP | ZK_DDBLT_KEYDEST, ZK_SRCCOPY, ZK_DDHAL_HANDLED, ZK_DDERR_NOCOLORKEYHW},
        {"destination key override", &vid, &vid, r, ZK_DDBLT_ROP | ZK_DDBLT_KEYDESTOVERRIDE, ZK_SRCCOPY, ZK_DDHAL_HANDLED, ZK_DDERR_NOCOLORKEYHW},
        {"system-memory destination", &sys, &vid, r, ZK_DDBLT_ROP, ZK_SRCCOPY, ZK_DDHAL_NOTHANDLED, -1},
        {"neither ROP nor fill", &vid, &vid, r, 0, ZK_SRCCOPY, ZK_DDHAL_NOTHANDLED, -1},
        {"a ROP the engine is not given", &vid, &vid, r, ZK_DDBLT_ROP, 0x00B8074A, ZK_DDHAL_NOTHANDLED, -1},
        {"a stretch within one surface whose rectangles do not meet", &vid, &vid, rect(8, 0, 4, 2), ZK_DDBLT_ROP,
         ZK_SRCCOPY, ZK_DDHAL_NOTHANDLED, -1},
        {"planar source", &vid, &other, r, ZK_DDBLT_ROP, ZK_SRCCOPY, ZK_DDHAL_HANDLED, ZK_DDERR_UNSUPPORTEDFORMAT},
        {"YUY2 source at an odd pixel", &vid, &odd, rOdd, ZK_DDBLT_ROP, ZK_SRCCOPY, ZK_DDHAL_HANDLED,
         yuvSupported ? ZK_DDERR_INVALIDRECT : ZK_DDERR_UNSUPPORTEDFORMAT},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        ZK_DD_BLTDATA b = blt(*k.dst, r, k.src, k.rs, k.flags, k.rop);
        EXPECT_EQ(run(b), k.result);
        if (k.result == ZK_DDHAL_HANDLED) {
            EXPECT_EQ(b.ddRVal, k.code);
        }
    }
    // A pending flip of the destination: refused without DDBLT_WAIT.
    g_zkFlip.bPrimaryFlipPending = 1;
    g_zkFlip.fpPrimaryFlipFrom = vid.gbl.fpVidMem;
    p->flipNotifier.status = 0xFF;
    ZK_DD_BLTDATA b = blt(vid, r, nullptr, {}, ZK_DDBLT_COLORFILL);
    EXPECT_EQ(run(b), ZK_DDHAL_HANDLED);
    EXPECT_EQ(b.ddRVal, ZK_DDERR_WASSTILLDRAWING);
    p->flipNotifier.status = 0;
    b = blt(vid, r, nullptr, {}, ZK_DDBLT_COLORFILL);
    EXPECT_EQ(run(b), ZK_DDHAL_HANDLED);
    EXPECT_EQ(b.ddRVal, ZK_DD_OK) << "done once the flip completed";
    // No FIFO (the mode is being changed): the surface is lost.
    auto *fifo = p->fifo;
    p->fifo = nullptr;
    b = blt(vid, r, nullptr, {}, ZK_DDBLT_COLORFILL);
    EXPECT_EQ(run(b), ZK_DDHAL_HANDLED);
    EXPECT_EQ(b.ddRVal, ZK_DDERR_SURFACELOST);
    p->fifo = fifo;
}
