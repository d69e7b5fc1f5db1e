// What the driver tells DirectDraw it can do, held against what it does: every code of its list
// makes an overlay that shows, and a blit of every kind it claims is handled.
#include "tests/display_ddscale/ddscale_fixture.h"

INSTANTIATE_TEST_SUITE_P(Depths, DdNtDepthsCaps, ::testing::Values(8u, 16u, 32u));

TEST_P(DdNtDepthsCaps, EveryListedCodeMakesAnOverlayThatShows) {
    const ZK_DDCORECAPS &caps = dd.halInfo().ddCaps;
    EXPECT_TRUE(caps.dwCaps & ZK_DDCAPS_OVERLAYFOURCC);
    ASSERT_FALSE(dd.fourCcs().empty());
    for (DWORD code : dd.fourCcs()) {
        SCOPED_TRACE(std::string(reinterpret_cast<const char *>(&code), 4));
        KivDdNtSurface *s = one(32, 16, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, code);
        ASSERT_TRUE(s);
        ASSERT_EQ(dd.unlock(s).code, ZK_DD_OK);
        const KivDdNtResult r = dd.updateOverlay(s, rect(0, 0, 32, 16), rect(0, 0, 64, 32), ZK_DDOVER_SHOW);
        EXPECT_TRUE(r.ok()) << "0x" << std::hex << r.code;
        EXPECT_TRUE(zk3OverlayScan().visible);
        // The least stretch it claims: half the height.
        const DWORD least = caps.dwMinOverlayStretch;
        EXPECT_TRUE(dd.updateOverlay(s, rect(0, 0, 32, 16), rect(0, 0, 32 * least / 1000, 16 * least / 1000), 0).ok());
        EXPECT_TRUE(dd.updateOverlay(s, rect(0, 0, 32, 16), rect(0, 0, 32, 16), ZK_DDOVER_HIDE).ok());
        EXPECT_EQ(dd.destroy(s).code, ZK_DD_OK);
        expectModelClean();
    }
}

TEST_P(DdNtDepthsCaps, TheBlitCapsAreWhatTheBlitsDo) {
    const ZK_DDCORECAPS &caps = dd.halInfo().ddCaps;
    KivDdNtSurface *src = one(32, 16, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    KivDdNtSurface *dst = one(64, 32, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    ASSERT_TRUE(src && dst);
    auto handled = [&](KivDdNtSurface *from, RECTL rs, RECTL rd, DWORD flags = ZK_DDBLT_ROP) {
        ZK_DDBLTFX fx = rop();
        fx.dwFillColor = 3;
        return dd.blt(dst, rd, from, rs, flags, fx).ok();
    };
    EXPECT_EQ(bool(caps.dwCaps & ZK_DDCAPS_BLTCOLORFILL), handled(nullptr, {}, rect(0, 0, 8, 8), ZK_DDBLT_COLORFILL));
    EXPECT_EQ(bool(caps.dwCaps & ZK_DDCAPS_BLTSTRETCH), handled(src, rect(0, 0, 32, 16), rect(0, 0, 64, 32)));
    EXPECT_EQ(bool(caps.dwFXCaps & ZK_DDFXCAPS_BLTSTRETCHX), handled(src, rect(0, 0, 16, 16), rect(0, 0, 40, 16)));
    EXPECT_EQ(bool(caps.dwFXCaps & ZK_DDFXCAPS_BLTSTRETCHY), handled(src, rect(0, 0, 16, 8), rect(0, 0, 16, 30)));
    EXPECT_EQ(bool(caps.dwFXCaps & ZK_DDFXCAPS_BLTSHRINKX), handled(src, rect(0, 0, 32, 8), rect(0, 0, 9, 8)));
    EXPECT_EQ(bool(caps.dwFXCaps & ZK_DDFXCAPS_BLTSHRINKY), handled(src, rect(0, 0, 8, 16), rect(0, 0, 8, 5)));
    EXPECT_TRUE(caps.dwCKeyCaps & ZK_DDCKEYCAPS_SRCBLT);
    EXPECT_TRUE(handled(src, rect(0, 0, 32, 16), rect(0, 0, 32, 16), ZK_DDBLT_ROP | ZK_DDBLT_KEYSRCOVERRIDE));
    // FOURCC sources: YUY2 and UYVY where the scaler converts them (not at 8 bpp, where no
    // such surface is made).
    if (GetParam() != 8) {
        EXPECT_TRUE(caps.dwCaps & ZK_DDCAPS_BLTFOURCC);
        for (uint32_t code : {kYuy2, kUyvy}) {
            KivDdNtSurface *yuv = one(32, 16, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY, code);
            ASSERT_TRUE(yuv);
            EXPECT_TRUE(handled(yuv, rect(0, 0, 32, 16), rect(0, 0, 50, 20)));
        }
    } else {
        EXPECT_FALSE(caps.dwCaps & ZK_DDCAPS_BLTFOURCC);
    }
    expectModelClean();
}
