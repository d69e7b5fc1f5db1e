// Offscreen surfaces described with a pixel size other than the screen's (0, 4, 8, 12, 14, 16, 24
// and 32 bits), in system and in video memory, as blit sources with and without a stretch. The
// engine reads sources at the screen's pixel size only: a video-memory surface of another size
// is refused when it is made, a system-memory one (which DirectDraw makes without the driver)
// when it is blitted from, and the destination is left alone. A pixel size DirectDraw has no
// format for (0, 12, 14 bits) is refused when it is made, in either memory. A source of the
// screen's own size is copied and stretched exactly.
#include "tests/display_ddscale/ddscale_fixture.h"

namespace {

constexpr DWORD kVideo = ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY;
constexpr DWORD kSystem = ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY;
// 0 last: before the driver refused it, a blit from it read near address 0.
const DWORD kBitCounts[] = {4, 8, 12, 14, 16, 24, 32, 0};
constexpr LONG kSrcW = 48, kSrcH = 40, kDstW = 100, kDstH = 90;

class SourceFormat : public DdNtDepths {
protected:
    // An offscreen surface whose description gives `bits` bits a pixel; the screen's own masks
    // when that is the screen's size, none (a palette-less count) otherwise.
    KivDdNtResult makeRgb(DWORD bits, DWORD caps, KivDdNtSurface **out) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = kSrcW;
        d.dwHeight = kSrcH;
        d.ddsCaps.dwCaps = caps;
        d.ddpfPixelFormat = dd.halInfo().vmiData.ddpfDisplay;
        d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
        d.ddpfPixelFormat.dwFlags = ZK_DDPF_RGB | (bits == 8 && GetParam() == 8 ? ZK_DDPF_PALETTEINDEXED8 : 0);
        d.ddpfPixelFormat.dwRGBBitCount = bits;
        if (bits != GetParam()) d.ddpfPixelFormat.dwRBitMask = d.ddpfPixelFormat.dwGBitMask = d.ddpfPixelFormat.dwBBitMask = 0;
        std::vector<KivDdNtSurface *> made;
        const KivDdNtResult r = dd.create(d, 1, &made);
        *out = made.empty() ? nullptr : made[0];
        return r;
    }
};

INSTANTIATE_TEST_SUITE_P(Depths, SourceFormat, ::testing::Values(8u, 16u, 32u));

TEST_P(SourceFormat, SourcesOfAnotherPixelSizeAreRefusedAndOfTheScreensSizeCopiedExactly) {
    const uint32_t depth = GetParam();
    const bool cpuFed = depth == 8;
    KivDdNtSurface *dst = one(kDstW, kDstH, kVideo);
    ASSERT_TRUE(dst);
    for (DWORD caps : {kVideo, kSystem})
        for (DWORD bits : kBitCounts) {
            const bool video = caps == kVideo;
            SCOPED_TRACE(testing::Message() << bits << " bits, " << (video ? "video" : "system") << " memory");
            KivDdNtSurface *src = nullptr;
            const KivDdNtResult made = makeRgb(bits, caps, &src);
            if ((video && bits != depth) || bits == 0 || bits == 12 || bits == 14) {
                // The driver sees a video-memory surface made: it refuses what its blits cannot read;
                // DirectDraw refuses a size it has no format for before any memory is given.
                EXPECT_EQ(made.handled, ZK_DDHAL_HANDLED);
                EXPECT_EQ(made.code, ZK_DDERR_INVALIDPIXELFORMAT);
                EXPECT_EQ(src, nullptr);
                continue;
            }
            ASSERT_TRUE(made.ok()) << "0x" << std::hex << made.code;
            ASSERT_TRUE(src);
            if (bits == depth) seed(src, 7);
            struct Shape {
                const char *what;
                RECTL rs, rd;
            };
            const Shape shapes[] = {
                {"copied", rect(3, 2, 30, 20), rect(10, 12, 30, 20)},
                {"stretched up", rect(0, 0, kSrcW, kSrcH), rect(1, 1, kDstW - 2, kDstH - 3)},
                {"shrunk", rect(4, 5, 40, 34), rect(20, 30, 13, 11)},
            };
            for (const Shape &k : shapes) {
                SCOPED_TRACE(k.what);
                seed(dst, 3);
                const KivDdNtResult r = dd.blt(dst, k.rd, src, k.rs, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, rop());
                expectModelClean();
                if (bits != depth) {
                    EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
                    EXPECT_EQ(r.code, ZK_DDERR_UNSUPPORTEDFORMAT);
                    check(dst, rect(0, 0, kDstW, kDstH), [&](LONG x, LONG y) { return pattern(x, y, 3); });
                    continue;
                }
                ASSERT_TRUE(r.ok()) << r.handled << " 0x" << std::hex << r.code;
                const LONG sw = k.rs.right - k.rs.left, sh = k.rs.bottom - k.rs.top;
                const LONG dw = k.rd.right - k.rd.left, dh = k.rd.bottom - k.rd.top;
                auto sample = [&](LONG i, LONG d, LONG s) {
                    return d == s ? i : cpuFed ? cpuSample(i, d, s) : engineSample(i, d, s);
                };
                check(dst, rect(0, 0, kDstW, kDstH), [&](LONG x, LONG y) {
                    if (x < k.rd.left || x >= k.rd.right || y < k.rd.top || y >= k.rd.bottom) return pattern(x, y, 3);
                    return pattern(k.rs.left + sample(x - k.rd.left, dw, sw), k.rs.top + sample(y - k.rd.top, dh, sh), 7);
                });
            }
            dd.release(src);
        }
}

}  // namespace
