// Planar surfaces placed where they fit, made as a program makes them through the runtime. A
// YV12 surface whose caps name neither system nor video memory, made after a 16 x 16 one (kept,
// or released before), of sizes video memory holds and of sizes it does not: each is refused
// with DirectDraw's error and leaves nothing made, or lies wholly inside the memory it was put
// in, apart from the first (their planes worked out here from the layout), and is locked at its
// far corner and written there and at its planes' last byte, as a program fills it.
#include "tests/display_ddscale/ddscale_fixture.h"
#include "tests/display_ddscale/surface_sizes.h"

#include "platform/videoprt/videoprt_sim.h"

namespace {

constexpr uint32_t kYv12 = ZK_FOURCC('Y', 'V', '1', '2');

uint64_t roundUp(uint64_t v, uint64_t to) { return (v + to - 1) / to * to; }

// Where a YV12 surface of w x h should lie. Its Y plane has rows of the width rounded to 4, and
// as many rows as the height rounded to 2; the V and U planes, half as wide and half as high,
// follow: 12 bits a pixel in all. A surface that is no overlay is the planes alone, in video
// memory when there is room, else in the process's memory. Its packed copy's rows (pixel pairs
// of 4 bytes, rounded to 16) are what no pitch past 2 GB - 1 holds, nor does a process hold such
// planes: both refused.
struct PlanarPlace {
    HRESULT_DD code = ZK_DD_OK;
    SurfaceWhere where = SurfaceWhere::Video;
    uint64_t pitch = 0, planes = 0;
    bool roomMayLack = false;
};

PlanarPlace expectPlanar(uint64_t w, uint64_t h, uint64_t videoBytes) {
    PlanarPlace o;
    if (roundUp(roundUp(w, 2) * 4 / 2, 16) > kSurfaceLargestBlock) {
        o.code = ZK_DDERR_OUTOFMEMORY;
        return o;
    }
    o.pitch = roundUp(w, 4);
    o.planes = o.pitch * roundUp(h, 2) * 3 / 2;
    const uint64_t block = roundUp(o.planes, 16);
    if (block <= kSurfaceSureVideo) return o;
    o.where = block <= videoBytes ? SurfaceWhere::Either : SurfaceWhere::System;
    if (block > kSurfaceLargestBlock) o.code = ZK_DDERR_OUTOFMEMORY;
    o.roomMayLack = block > kSurfaceSureProcess;
    return o;
}

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
    uint64_t videoBytes = 0, screenBytes = 0;

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
    // The memory a made surface's planes lie in: [first, end) of video memory, or its block of
    // the process's.
    ::testing::AssertionResult placedWithin(const KivDdNtSurface *s, const PlanarPlace &o) {
        const bool video = s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY;
        const bool system = s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY;
        if (video == system) return ::testing::AssertionFailure() << "caps name " << (video ? "both memories" : "neither memory");
        if (o.where != SurfaceWhere::Either && video != (o.where == SurfaceWhere::Video))
            return ::testing::AssertionFailure() << "made in " << (video ? "video" : "system") << " memory";
        if (uint64_t(int64_t(s->gbl.lPitch)) != o.pitch)
            return ::testing::AssertionFailure() << "pitch " << s->gbl.lPitch << ", expected " << o.pitch;
        if (system) {
            if (dd.bits(s) != s->userMemory.data() || o.planes > s->userMemory.size())
                return ::testing::AssertionFailure() << "planes of " << o.planes << " bytes outside the process block";
            return ::testing::AssertionSuccess();
        }
        const uint64_t fp = s->gbl.fpVidMem;
        if (fp < screenBytes || fp + o.planes > videoBytes)
            return ::testing::AssertionFailure() << "planes at " << fp << ".." << fp + o.planes << " outside "
                                                 << screenBytes << ".." << videoBytes;
        return ::testing::AssertionSuccess();
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
    const PlanarPlace small = expectPlanar(16, 16, videoBytes);
    ASSERT_EQ(small.planes, 384u);
    for (const DWORD caps : {DWORD{ZK_DDSCAPS_TEXTURE}, DWORD{ZK_DDSCAPS_ZBUFFER}})
        for (const bool keepFirst : {true, false})
            for (const Size &size : kSizes) {
                SCOPED_TRACE(::testing::Message() << "caps 0x" << std::hex << caps << std::dec << ", the first "
                                                  << (keepFirst ? "kept" : "released") << ", then " << size.w
                                                  << " x " << size.h << " (" << size.what << ")");
                KivDdNtSurface *first = nullptr;
                ASSERT_TRUE(makePlanar(16, 16, caps, &first).ok());
                ASSERT_TRUE(placedWithin(first, small));
                fill(first, small.planes, 0x3C);
                if (!keepFirst) dd.release(first);

                const PlanarPlace o = expectPlanar(size.w, size.h, videoBytes);
                KivDdNtSurface *s = nullptr;
                const KivDdNtResult r = makePlanar(size.w, size.h, caps, &s);
                if (o.code != ZK_DD_OK || r.code != ZK_DD_OK) {
                    const bool right = r.code == o.code || (o.roomMayLack && r.code == ZK_DDERR_OUTOFMEMORY);
                    EXPECT_TRUE(right) << "answered 0x" << std::hex << r.code << ", expected 0x" << o.code;
                    EXPECT_EQ(s, nullptr) << "refused, yet a surface was made";
                } else {
                    ASSERT_NE(s, nullptr);
                    ASSERT_TRUE(placedWithin(s, o));
                    if (keepFirst && (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) {
                        const uint64_t a = s->gbl.fpVidMem, b = first->gbl.fpVidMem;
                        ASSERT_TRUE(a + o.planes <= b || b + small.planes <= a) << "the planes overlap the first's";
                    }
                    // The far corner, where the pitch puts it, then the planes' last byte.
                    const LONG w = LONG(size.w), h = LONG(size.h);
                    const RECTL corner{w - 1, h - 1, w, h};
                    uint8_t *got = nullptr;
                    ASSERT_EQ(dd.lock(s, &corner, ZK_DDLOCK_WAIT, &got).code, ZK_DD_OK);
                    ASSERT_EQ(got, dd.bits(s) + (size.h - 1) * o.pitch + (size.w - 1));
                    *got = 0x5A;
                    ASSERT_TRUE(dd.unlock(s).ok());
                    ASSERT_EQ(dd.lock(s, nullptr, ZK_DDLOCK_WAIT, &got).code, ZK_DD_OK);
                    got[o.planes - 1] = 0xA5;
                    ASSERT_TRUE(dd.unlock(s).ok());
                    dd.release(s);
                }
                if (!keepFirst) continue;
                // The first keeps every byte the program gave it.
                const uint8_t *bits = dd.bits(first);
                for (uint64_t i = 0; i < small.planes; ++i) ASSERT_EQ(bits[i], 0x3C) << "byte " << i << " of the first";
                dd.release(first);
            }
}

}  // namespace
