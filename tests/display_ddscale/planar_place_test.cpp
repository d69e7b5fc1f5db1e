// Planar surfaces placed where they fit, made as a program makes them through the runtime: a
// YV12 surface whose caps name neither system nor video memory, made after a 16 x 16 one (kept,
// or released before), of sizes video memory holds and of sizes it does not. Each is refused
// with DirectDraw's error and leaves nothing made, or lies wholly inside the memory it was put
// in and apart from the first (its planes' bytes worked out from the layout in surface_sizes.h),
// and is locked at its far corner and written there and at its planes' last byte.
#include "tests/display_ddscale/ddscale_fixture.h"
#include "tests/display_ddscale/surface_sizes.h"

#include "platform/videoprt/videoprt_sim.h"

namespace {

constexpr uint32_t kYv12 = ZK_FOURCC('Y', 'V', '1', '2');

struct Size {
    uint64_t w, h;
    const char *what;
};
const Size kSizes[] = {
    {16, 16, "the first one's size"},
    {8, 6, "smaller"},
    {1366, 3, "rows not a multiple of 4, an odd height"},
    {640, 480, "larger, within video memory"},
    {16777215, 1, "50 MB of planes, more than video memory"},
    {268435455, 1, "805 MB of planes"},
    {536870912, 4, "planes past 2 GB"},
    {0x40000000, 1, "packed rows past 2 GB"},
};

class PlanarPlacement : public DdNtDepths {
protected:
    uint64_t videoBytes = 0, screenBytes = 0;   // the screen lies at the start of video memory

    void SetUp() override {
        DdNtDepths::SetUp();
        if (HasFatalFailure()) return;
        videoBytes = kivVideoPortSim().chip->videoMemorySize();
        const ZK_VIDEOMEMORYINFO &vmi = dd.halInfo().vmiData;
        screenBytes = uint64_t(vmi.lDisplayPitch) * vmi.dwDisplayHeight;
    }
    KivDdNtResult makePlanar(uint64_t w, uint64_t h, DWORD caps, KivDdNtSurface **s) {
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = DWORD(w);
        d.dwHeight = DWORD(h);
        d.ddsCaps.dwCaps = caps;
        d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
        d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
        d.ddpfPixelFormat.dwFourCC = kYv12;
        std::vector<KivDdNtSurface *> made;
        const KivDdNtResult r = dd.create(d, 1, &made);
        *s = made.empty() ? nullptr : made[0];
        return r;
    }
    // The program fills the whole surface: every byte of the planes gets `salt`.
    void fill(KivDdNtSurface *s, uint64_t planes, uint8_t salt) {
        uint8_t *bits = nullptr;
        ASSERT_EQ(dd.lock(s, nullptr, ZK_DDLOCK_WAIT, &bits).code, ZK_DD_OK);
        ASSERT_EQ(bits, dd.bits(s));
        std::memset(bits, salt, size_t(planes));
        ASSERT_TRUE(dd.unlock(s).ok());
    }
};

INSTANTIATE_TEST_SUITE_P(Depths, PlanarPlacement, ::testing::Values(8u, 16u, 32u));

TEST_P(PlanarPlacement, ASurfaceNamingNoMemoryLiesWhollyWhereItIsPutAfterASmallOne) {
    const SurfaceOutcome small = expectPlanarSurface(16, 16, videoBytes);
    ASSERT_EQ(small.block, 384u);
    for (const DWORD caps : {DWORD{ZK_DDSCAPS_TEXTURE}, DWORD{ZK_DDSCAPS_ZBUFFER}})
        for (const bool keepFirst : {true, false})
            for (const Size &size : kSizes) {
                SCOPED_TRACE(::testing::Message() << "caps 0x" << std::hex << caps << std::dec << ", the first "
                                                  << (keepFirst ? "kept" : "released") << ", then " << size.w
                                                  << " x " << size.h << " (" << size.what << ")");
                KivDdNtSurface *first = nullptr;
                const KivDdNtResult made = makePlanar(16, 16, caps, &first);
                ASSERT_TRUE(surfaceAnswerRight(small, made, first));
                ASSERT_TRUE(surfaceLiesWithin(small, first, dd.bits(first), screenBytes, videoBytes));
                fill(first, small.block, 0x3C);
                if (!keepFirst) dd.release(first);

                const SurfaceOutcome o = expectPlanarSurface(size.w, size.h, videoBytes);
                KivDdNtSurface *s = nullptr;
                const KivDdNtResult r = makePlanar(size.w, size.h, caps, &s);
                ASSERT_TRUE(surfaceAnswerRight(o, r, s));
                if (s) {
                    ASSERT_TRUE(surfaceLiesWithin(o, s, dd.bits(s), screenBytes, videoBytes));
                    if (keepFirst && (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) {
                        const uint64_t a = s->gbl.fpVidMem, b = first->gbl.fpVidMem;
                        ASSERT_TRUE(a + o.block <= b || b + small.block <= a) << "the planes overlap the first's";
                    }
                    // The far corner, where the pitch puts it, then the planes' last byte.
                    const LONG w = LONG(size.w), h = LONG(size.h);
                    const RECTL corner{w - 1, h - 1, w, h};
                    uint8_t *got = nullptr;
                    ASSERT_EQ(dd.lock(s, &corner, ZK_DDLOCK_WAIT, &got).code, ZK_DD_OK);
                    ASSERT_EQ(got, dd.bits(s) + surfacePixelOffset(o, size.w - 1, size.h - 1));
                    *got = 0x5A;
                    ASSERT_TRUE(dd.unlock(s).ok());
                    ASSERT_EQ(dd.lock(s, nullptr, ZK_DDLOCK_WAIT, &got).code, ZK_DD_OK);
                    got[o.block - 1] = 0xA5;
                    ASSERT_TRUE(dd.unlock(s).ok());
                    dd.release(s);
                }
                if (!keepFirst) continue;
                // The first keeps every byte the program gave it.
                const uint8_t *bits = dd.bits(first);
                for (uint64_t i = 0; i < small.block; ++i) ASSERT_EQ(bits[i], 0x3C) << "byte " << i << " of the first";
                dd.release(first);
            }
}

}  // namespace
