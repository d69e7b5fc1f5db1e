// Off-screen surfaces of every size a description can carry, made as a program makes them through
// the runtime, at every screen depth: in system and in video memory, of the screen's format, of
// every RGB bit count from 0 to 64 and of YUY2. Widths whose rows wrap in 32 bits, blocks past
// 2 GB, areas past 2^31 pixels, sides past what a rectangle names: each is refused with
// DirectDraw's error and nothing is made, or made with the pitch that 64-bit arithmetic gives.
// A made surface lies wholly inside the memory it was put in; it is locked at its far corner and
// in its middle (the address expected from that pitch), written there, and, where the blits read
// it, copied and stretched from its far corner onto the screen.
#include "tests/display_ddscale/ddscale_fixture.h"
#include "tests/display_ddscale/surface_sizes.h"

#include "platform/videoprt/videoprt_sim.h"

namespace {

struct Size {
    uint64_t w, h;
    const char *what;
};
const Size kSizes[] = {
    {9, 3, "4-bit rows of 4.5 bytes, which take 8"},
    {300, 200, "an ordinary size"},
    {268435457, 1, "16-bit rows of 2^32 + 16 bits, 4 bytes in 32-bit arithmetic"},
    {268435457, 8, "the same rows, 4 GB of them"},
    {134217742, 64, "16-bit rows of 268,435,484 bytes, 17 GB (1,792 bytes in 32 bits)"},
    {0x40000000, 1, "32-bit rows of 2^32 bytes (no pitch in 32 bits)"},
    {0x40000001, 3, "32-bit rows of 2^32 + 4 bytes (a 16-byte pitch in 32 bits)"},
    {65536, 32768, "16-bit: a block of 2^32 bytes (0 in 32 bits)"},
    {46341, 46341, "an area past 2^31 pixels"},
    {0x7FFFFFFF, 1, "the widest a rectangle names"},
    {3, 0x7FFFFFFF, "the tallest"},
    {0x80000000, 1, "wider than a rectangle names"},
    {1, 0x80000000, "taller"},
    {0xFFFFFFFF, 0xFFFFFFFF, "the largest description"},
    {0, 5, "no width"},
    {5, 0, "no height"},
};

class HugeSurfaces : public DdNtDepths {
protected:
    // A pixel value of the screen's format for position (i, j) of a small rectangle.
    uint32_t value(LONG i, LONG j) const {
        const uint32_t v = uint32_t(i * 37 + j * 101 + 11) * 2654435761u >> 7;
        return bytes == 1 ? v & 0xFF : bytes == 2 ? v & 0x7FFF : v & 0xFFFFFF;
    }

    // A made surface: its far corner and middle locked where the pitch says, and written there.
    void lockAndWrite(KivDdNtSurface *s, const SurfaceAsk &a, const SurfaceOutcome &o) {
        const LONG w = LONG(a.w), h = LONG(a.h);
        for (const RECTL r : {RECTL{w - 1, h - 1, w, h}, RECTL{w / 2, h / 2, w / 2 + 1, h / 2 + 1}}) {
            uint8_t *got = nullptr;
            const KivDdNtResult l = dd.lock(s, &r, ZK_DDLOCK_WAIT, &got);
            ASSERT_EQ(l.code, ZK_DD_OK);
            ASSERT_EQ(got, dd.bits(s) + surfacePixelOffset(o, uint64_t(r.left), uint64_t(r.top)))
                << "pixel " << r.left << "," << r.top;
            *got = 0x5A;   // the program writes what it locked
            dd.unlock(s);
        }
        // A row past the surface gets no address.
        if (h < 0x7FFFFFFF) {
            const RECTL past{w - 1, h - 1, w, h + 1};
            uint8_t *got = reinterpret_cast<uint8_t *>(1);
            EXPECT_EQ(dd.lock(s, &past, ZK_DDLOCK_WAIT, &got).code, ZK_DDERR_INVALIDRECT);
            EXPECT_EQ(got, nullptr);
        }
    }

    // The far corner's last few pixels copied to the screen and stretched onto it.
    void blitFarCorner(KivDdNtSurface *src, const SurfaceAsk &a, const SurfaceOutcome &o) {
        KivDdNtSurface *screen = dd.primary();
        const bool yuv = a.kind == SurfaceKind::Yuy2;
        const LONG sw = LONG(std::min<uint64_t>(a.w, 6)), sh = LONG(std::min<uint64_t>(a.h, 4));
        const LONG left = LONG(a.w - uint64_t(sw)) & (yuv ? ~1 : ~0), top = LONG(a.h - uint64_t(sh));
        const RECTL rs{left, top, left + sw, top + sh};
        for (LONG j = 0; j < sh; ++j)
            for (LONG i = 0; i < sw; ++i) {
                const uint32_t v = value(i, j);
                std::memcpy(dd.bits(src) + surfacePixelOffset(o, uint64_t(left + i), uint64_t(top + j)), &v,
                            o.pixelBits / 8);
            }
        const RECTL copyTo = rect(8, 8, sw, sh), stretchTo = rect(40, 8, 13, 9);
        for (const RECTL &rd : {copyTo, stretchTo}) {
            const KivDdNtResult r = dd.blt(screen, rd, src, rs, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, rop());
            expectModelClean();
            if (!surfaceBlitReadable(a, GetParam())) {
                EXPECT_EQ(r.code, ZK_DDERR_UNSUPPORTEDFORMAT);
                continue;
            }
            ASSERT_TRUE(r.ok()) << "0x" << std::hex << r.code;
            if (yuv) continue;   // converted: its colours are the YUV tests' concern
            const LONG dw = rd.right - rd.left, dh = rd.bottom - rd.top;
            auto sample = [&](LONG i, LONG d, LONG s) {
                return d == s ? i : GetParam() == 8 ? cpuSample(i, d, s) : engineSample(i, d, s);
            };
            check(screen, rd, [&](LONG x, LONG y) {
                return value(sample(x - rd.left, dw, sw), sample(y - rd.top, dh, sh));
            });
        }
    }
};

INSTANTIATE_TEST_SUITE_P(Depths, HugeSurfaces, ::testing::Values(8u, 16u, 32u));

TEST_P(HugeSurfaces, EachSizeIsRefusedWithItsErrorOrMadeWithItsPitch) {
    const uint32_t depth = GetParam();
    const uint64_t videoBytes = kivVideoPortSim().chip->videoMemorySize();
    const uint64_t screenBytes = uint64_t(dd.halInfo().vmiData.lDisplayPitch) * dd.halInfo().vmiData.dwDisplayHeight;
    std::vector<SurfaceAsk> asks;
    for (const bool video : {false, true}) {
        asks.push_back({0, 0, SurfaceKind::Screen, 0, video});
        asks.push_back({0, 0, SurfaceKind::Yuy2, 0, video});
        for (uint32_t bits = 0; bits <= 64; ++bits) asks.push_back({0, 0, SurfaceKind::Rgb, bits, video});
    }
    for (const Size &size : kSizes)
        for (SurfaceAsk a : asks) {
            a.w = size.w;
            a.h = size.h;
            SCOPED_TRACE(::testing::Message() << size.w << " x " << size.h << " (" << size.what << "), "
                                              << (a.kind == SurfaceKind::Screen ? "the screen's format"
                                                  : a.kind == SurfaceKind::Yuy2 ? "YUY2"
                                                                                : "RGB")
                                              << " " << a.bits << " bits, " << (a.video ? "video" : "system")
                                              << " memory");
            const SurfaceOutcome o = expectSurface(a, depth, videoBytes);
            std::vector<KivDdNtSurface *> made;
            const KivDdNtResult r = dd.create(surfaceDescription(a, dd.halInfo().vmiData.ddpfDisplay), 1, &made);
            KivDdNtSurface *s = made.empty() ? nullptr : made[0];
            ASSERT_TRUE(surfaceAnswerRight(o, r, s));
            if (!s) continue;
            ASSERT_TRUE(surfaceLiesWithin(o, s, dd.bits(s), screenBytes, videoBytes));
            lockAndWrite(s, a, o);
            if (!HasFatalFailure()) blitFarCorner(s, a, o);
            dd.release(s);
            if (HasFatalFailure()) return;
        }
}

}  // namespace
