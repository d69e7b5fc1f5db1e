// The video overlay as DirectDraw drives it: show, move, shrink, key, hide and flip, checked on
// the exact methods the overlay objects receive.
#include "tests/display_ddblt/ddblt_fixture.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace {

constexpr uint32_t kBuffers = 0x80023F90, kScaler = 0x80023FA0, kWindow = 0x80023FB0, kDefault = 0xA0001;
constexpr uint32_t kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'), kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y');

// A method write as (method, value); binds are method 0 with the object.
typedef std::pair<uint16_t, uint32_t> W;

}  // namespace

class Overlay : public DdFixture {
protected:
    Surface video{320, 240, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY};
    Surface back{320, 240, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY};
    ZK_DD_SURFACE_LOCAL *pair[2] = {&video.lcl, &back.lcl};

    void SetUp() override {
        DdFixture::SetUp();
        if (HasFatalFailure()) return;
        for (Surface *s : {&video, &back}) {
            s->gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
            s->gbl.ddpfSurface.dwFourCC = kYuy2;
        }
        // A flipping pair: one creation list, created surface by surface.
        for (Surface *s : {&video, &back}) {
            pair[0] = &s->lcl;
            ZK_DD_CREATESURFACEDATA c{&dd, &s->desc, pair, 2, -1, nullptr};
            ASSERT_EQ(DdCreateSurface(&c), ZK_DDHAL_HANDLED);
            ASSERT_EQ(c.ddRVal, ZK_DD_OK);
        }
        ASSERT_EQ(video.gbl.lPitch, 640);
        ASSERT_EQ(back.gbl.lPitch, 640);
        ASSERT_NE(back.gbl.fpVidMem, video.gbl.fpVidMem);
    }
    ZK_DD_UPDATEOVERLAYDATA update(Surface &s, RECTL rs, RECTL rd, DWORD flags) {
        ZK_DD_UPDATEOVERLAYDATA u{};
        u.lpDD = &dd;
        u.lpDDDestSurface = &primary.lcl;
        u.lpDDSrcSurface = &s.lcl;
        u.rSrc = rs;
        u.rDest = rd;
        u.dwFlags = flags;
        u.ddRVal = -1;
        zk3EngineClearLog();
        EXPECT_EQ(scb.UpdateOverlay(&u), ZK_DDHAL_HANDLED);
        return u;
    }
    std::vector<W> log(unsigned sub) const {
        std::vector<W> out;
        for (const Zk3FifoWrite &w : writes(sub)) out.emplace_back(w.method, w.value);
        return out;
    }
    // Buffer b's five methods.
    static std::vector<W> buffer(ULONG b, uint32_t offset, uint32_t pitch, uint32_t size, uint32_t format) {
        const uint16_t m = uint16_t(0x310 + 20 * b);
        return {{m, offset}, {m + 4, pitch}, {m + 8, size}, {m + 12, format}, {m + 16, 0}};
    }
    static std::vector<W> cat(std::initializer_list<std::vector<W>> parts) {
        std::vector<W> out;
        for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    }
};

INSTANTIATE_TEST_SUITE_P(Depth16, Overlay, ::testing::Values(16u));

TEST_P(Overlay, ShowingScalesKeysAndAlternatesTheBuffers) {
    ZK_PDEV *p = ppdev();
    const ULONG fp = video.gbl.fpVidMem;
    video.lcl.ddckCKDestOverlay.dwColorSpaceLowValue = 0x0123;
    // 320 x 240 doubled into 640 x 480 at (10, 20), keyed on the surface's destination key.
    ZK_DD_UPDATEOVERLAYDATA u = update(video, rect(0, 0, 320, 240), rect(10, 20, 640, 480), ZK_DDOVER_SHOW | ZK_DDOVER_KEYDEST);
    EXPECT_EQ(u.ddRVal, ZK_DD_OK);
    const ULONG b = p->iOverlayBuffer;
    const uint32_t point = 20u << 16 | 10;
    EXPECT_EQ(log(1), cat({{{0, kScaler}, {0x308, point}, {0x300, 521824}, {0x304, 521008}, {0, kBuffers}},
                           buffer(b, fp, 640, 240u << 16 | 320, 0x20000),
                           {{0, kWindow}, {0x308, point}, {0x30C, 482u << 16 | 642}, {0x304, 0x0123 | p->alphaBits},
                            {0, kDefault}}}));
    EXPECT_EQ(p->bOverlayVisible, 1u);
    EXPECT_EQ(p->overlayNotifier.status, 0) << "the overlay took the buffer at once";

    // Half height: every other source line, from (8, 4) of the source, on the other buffer; the
    // override key wins over the surface's.
    u = update(video, rect(8, 4, 312, 236), rect(0, 0, 312, 120), ZK_DDOVER_KEYDEST | ZK_DDOVER_KEYDESTOVERRIDE);
    u.overlayFX.dckDestColorkey.dwColorSpaceLowValue = 0;
    EXPECT_EQ(u.ddRVal, ZK_DD_OK);
    EXPECT_EQ(p->iOverlayBuffer, b ^ 1);
    const auto halved = buffer(b ^ 1, fp + 4 * 640 + 8 * 2, 1280, 118u << 16 | 312, 0x20000);
    const auto all = log(1);
    EXPECT_NE(std::search(all.begin(), all.end(), halved.begin(), halved.end()), all.end());
    // One line shorter than half is more than the overlay can shrink.
    u = update(video, rect(0, 0, 320, 240), rect(0, 0, 320, 119), 0);
    EXPECT_EQ(u.ddRVal, ZK_DDERR_UNSUPPORTED);
    EXPECT_TRUE(log(1).empty());
}

TEST_P(Overlay, HidingMovingAndFlipping) {
    ZK_PDEV *p = ppdev();
    // Shown at half height, a flip to the other surface scans every other line of all of it.
    update(video, rect(0, 0, 320, 240), rect(0, 0, 320, 120), 0);
    zk3EngineClearLog();
    vFlipOverlay(p, &video.lcl, &back.lcl);
    ULONG b = p->iOverlayBuffer;
    const uint32_t fp = back.gbl.fpVidMem;
    auto other = [&](ULONG o) { return std::vector<W>{{uint16_t(0x310 + 20 * o), fp}, {uint16_t(0x314 + 20 * o), 0}, {uint16_t(0x318 + 20 * o), 0}}; };
    auto flipped = log(7);
    if (!flipped.empty() && flipped.front().first == 0) flipped.erase(flipped.begin());
    auto expect = buffer(b, fp, 1280, 120u << 16 | 320, 0x20000);
    expect.pop_back();
    EXPECT_EQ(flipped, cat({expect, other(b ^ 1), {{uint16_t(0x320 + 20 * b), 0}}}));
    EXPECT_EQ(g_zkFlip.bOverlayFlipPending, 1u);
    EXPECT_EQ(g_zkFlip.fpOverlayFlipFrom, video.gbl.fpVidMem);
    p->overlayNotifier.status = 0;
    EXPECT_EQ(ulUpdateFlipStatus(p, video.gbl.fpVidMem), ZK_DD_OK);

    // Moving: window and scaler follow.
    ZK_DD_SETOVERLAYPOSITIONDATA pos{&dd, &video.lcl, &primary.lcl, 30, 40, -1, nullptr};
    zk3EngineClearLog();
    EXPECT_EQ(scb.SetOverlayPosition(&pos), ZK_DDHAL_HANDLED);
    EXPECT_EQ(pos.ddRVal, ZK_DD_OK);
    const uint32_t point = 40u << 16 | 30;
    EXPECT_EQ(log(1), (std::vector<W>{{0, kWindow}, {0x308, point}, {0, kScaler}, {0x308, point}, {0, kDefault}}));

    // Hidden: the window closes, the buffer empties, and a flip shows nothing until the next show.
    EXPECT_EQ(update(video, rect(0, 0, 320, 240), rect(0, 0, 320, 240), ZK_DDOVER_HIDE).ddRVal, ZK_DD_OK);
    b = p->iOverlayBuffer;
    EXPECT_EQ(log(1), cat({{{0, kWindow}, {0x30C, 0}, {0, kBuffers}}, buffer(b, 0, 0, 0, 0x20000), {{0, kDefault}}}));
    EXPECT_EQ(p->bOverlayVisible, 0u);
    zk3EngineClearLog();
    vFlipOverlay(p, &back.lcl, &video.lcl);
    for (const W &w : log(7))
        if (w.first == 0x314 + 20 * p->iOverlayBuffer || w.first == 0x318 + 20 * p->iOverlayBuffer) {
            EXPECT_EQ(w.second, 0u);
        }

    // A visible overlay that is destroyed is switched off first.
    update(back, rect(0, 0, 320, 240), rect(0, 0, 320, 240), 0);
    back.lcl.ddsCaps.dwCaps |= ZK_DDSCAPS_VISIBLE;
    zk3EngineClearLog();
    ZK_DD_DESTROYSURFACEDATA d{&dd, &back.lcl, -1, nullptr};
    EXPECT_EQ(DdDestroySurface(&d), ZK_DDHAL_HANDLED);
    EXPECT_EQ(log(1), (std::vector<W>{{0, kWindow}, {0x30C, 0}, {0, kBuffers}, {0x318, 0}, {0x320, 0}, {0, kDefault}}));
    EXPECT_EQ(p->bOverlayVisible, 0u);
}

TEST_P(Overlay, RefusalsAreAnsweredWithTheirCodes) {
    ZK_PDEV *p = ppdev();
    Surface rgb(64, 64, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY);
    Surface plain(64, 64, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY);
    plain.gbl.ddpfSurface = video.gbl.ddpfSurface;
    Surface stranger(64, 64, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY);
    stranger.gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
    stranger.gbl.ddpfSurface.dwFourCC = kUyvy;
    const RECTL r = rect(0, 0, 64, 64);
    struct Case { const char *what; Surface *s; RECTL rs, rd; DWORD flags; HRESULT_DD code; };
    const Case cases[] = {
        {"no overlay code", &rgb, r, r, 0, ZK_DDERR_INVALIDSURFACETYPE},
        {"not an overlay", &plain, r, r, 0, ZK_DDERR_NOTAOVERLAYSURFACE},
        {"not registered", &stranger, r, r, 0, ZK_DDERR_OUTOFCAPS},
        {"source key", &video, r, r, ZK_DDOVER_KEYSRC, ZK_DDERR_NOCOLORKEYHW},
        {"source key override", &video, r, r, ZK_DDOVER_KEYSRCOVERRIDE, ZK_DDERR_NOCOLORKEYHW},
        {"left of the screen", &video, r, rect(-1, 0, 64, 64), 0, ZK_DDERR_INVALIDPOSITION},
        {"empty source", &video, rect(5, 5, 0, 10), r, 0, ZK_DDERR_INVALIDRECT},
        {"source beyond the surface", &video, rect(300, 0, 64, 64), r, 0, ZK_DDERR_INVALIDRECT},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_EQ(update(*k.s, k.rs, k.rd, k.flags).ddRVal, k.code);
        EXPECT_TRUE(log(1).empty()) << "nothing reaches the overlay";
    }
    ZK_DD_SETOVERLAYPOSITIONDATA pos{&dd, &video.lcl, &primary.lcl, 0, -2, -1, nullptr};
    EXPECT_EQ(scb.SetOverlayPosition(&pos), ZK_DDHAL_HANDLED);
    EXPECT_EQ(pos.ddRVal, ZK_DDERR_INVALIDPOSITION);
    pos = {&dd, &stranger.lcl, &primary.lcl, 0, 0, -1, nullptr};
    EXPECT_EQ(scb.SetOverlayPosition(&pos), ZK_DDHAL_HANDLED);
    EXPECT_EQ(pos.ddRVal, ZK_DDERR_OUTOFCAPS);
    auto *fifo = p->fifo;
    p->fifo = nullptr;
    EXPECT_EQ(update(video, r, r, 0).ddRVal, ZK_DDERR_SURFACELOST);
    p->fifo = fifo;
}

TEST_P(Overlay, UnlockingAPlanarOverlayFillsItsPackedCopy) {
    ZK_PDEV *p = ppdev();
    const uint32_t kYv12 = ZK_FOURCC('Y', 'V', '1', '2'), k420i = ZK_FOURCC('4', '2', '0', 'i');
    struct Case { uint32_t code; DWORD w, h; };
    for (const Case &k : {Case{kYv12, 8, 4}, Case{kYv12, 6, 6}, Case{k420i, 8, 4}}) {
        SCOPED_TRACE(testing::Message() << std::string(reinterpret_cast<const char *>(&k.code), 4) << " " << k.w << "x" << k.h);
        // Give the video memory back between cases: a fresh heap each time.
        fn<PFN_Disable>(INDEX_DrvDisableDirectDraw)(dd.dhpdev);
        ASSERT_TRUE(fn<PFN_Enable>(INDEX_DrvEnableDirectDraw)(dd.dhpdev, &cb, &scb, &pcb));
        std::memset(p->apOverlaySurface, 0, sizeof p->apOverlaySurface);
        p->cOverlaySurfaces = 0;
        p->pOverlaySurfaceList = nullptr;
        Surface s(k.w, k.h, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY);
        s.gbl.ddpfSurface.dwFlags = ZK_DDPF_FOURCC;
        s.gbl.ddpfSurface.dwFourCC = k.code;
        ZK_DD_CREATESURFACEDATA c{&dd, &s.desc, s.list, 1, -1, nullptr};
        ASSERT_EQ(DdCreateSurface(&c), ZK_DDHAL_HANDLED);
        ASSERT_EQ(c.ddRVal, ZK_DD_OK);
        ASSERT_EQ(s.gbl.fpVidMem, p->fpPlanarBlock);
        // The planes, laid out on widths rounded up to 4 (width 6: Y pitch 8, chroma pitch 4).
        const DWORD W4 = (k.w + 3) & ~3u, H2 = (k.h + 1) & ~1u, P = (((k.w + 1) & ~1u) * 2 + 15) & ~15u;
        ASSERT_EQ(P, 16u);
        uint8_t *fb = p->frameBuffer + s.gbl.fpVidMem;
        auto Y = [](DWORD x, DWORD y) { return uint8_t(0x10 + 16 * y + x); };
        auto V = [](DWORD i, DWORD j) { return uint8_t(0x80 + 16 * j + i); };
        auto U = [](DWORD i, DWORD j) { return uint8_t(0xC0 + 16 * j + i); };
        for (DWORD y = 0; y < k.h; ++y)
            for (DWORD x = 0; x < W4; ++x) {
                const DWORD j = y / 2;
                if (k.code == kYv12) {
                    fb[y * W4 + x] = Y(x, y);
                    if (x < W4 / 2 && !(y & 1)) {
                        fb[W4 * H2 + j * (W4 / 2) + x] = V(x, y);
                        fb[W4 * H2 + W4 * H2 / 4 + j * (W4 / 2) + x] = U(x, y);
                    }
                } else {
                    // Line pair j: Y, first half chroma (V), Y, second half chroma (U).
                    fb[j * 3 * W4 + (y & 1) * (W4 + W4 / 2) + x] = Y(x, y);
                    if (x < W4 / 2 && !(y & 1)) {
                        fb[j * 3 * W4 + W4 + x] = V(x, y);
                        fb[j * 3 * W4 + 2 * W4 + W4 / 2 + x] = U(x, y);
                    }
                }
            }
        ZK_DD_UNLOCKDATA u{&dd, &s.lcl, -1, nullptr};
        EXPECT_EQ(scb.Unlock(&u), ZK_DDHAL_HANDLED);
        EXPECT_EQ(u.ddRVal, ZK_DD_OK);
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        const uint8_t *pk = p->frameBuffer + p->fpPackedFirst;
        for (DWORD y = 0; y < k.h; ++y)
            for (DWORD i = 0; i < (k.w + 1) / 2; ++i) {
                const uint8_t *q = pk + y * P + 4 * i;
                const DWORD j = y / 2;
                ASSERT_EQ((std::vector<int>{q[0], q[1], q[2], q[3]}),
                          (std::vector<int>{Y(2 * i, y), U(i, 2 * j), Y(2 * i + 1, y), V(i, 2 * j)}))
                    << "pixels " << 2 * i << "," << y;
            }
        EXPECT_EQ(p->subchannel7Object, 0u) << "the next user binds its own object";
    }
}

class PlanarChain : public DdFixture {};
INSTANTIATE_TEST_SUITE_P(Depth16, PlanarChain, ::testing::Values(16u));

// A chain's planar images share the block its first surface makes, an image a surface. A later
// surface of the chain whose image is larger than the block's, or one past the images the block
// holds, would lie past its own image: it is refused, and nothing is placed or registered. One
// that fits takes the next image.
TEST_P(PlanarChain, ASurfaceThatDoesNotFitTheChainsBlockIsRefused) {
    ZK_PDEV *p = ppdev();
    const uint32_t kYv12 = ZK_FOURCC('Y', 'V', '1', '2');
    constexpr DWORD kCaps = ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY;
    // Planes of 12 bits a pixel on the width rounded to 4 and the height rounded to 2.
    auto planes = [](DWORD w, DWORD h) { return ((w + 3) & ~3u) * ((h + 1) & ~1u) * 3 / 2; };
    const ULONG image = planes(16, 16);   // the first surface's, 384 bytes, two of them in the block
    struct Step {
        DWORD w, h, count;
        HRESULT_DD code;
        ULONG at;   // the image it takes, when made
        const char *what;
    };
    const Step steps[] = {
        {16, 16, 2, ZK_DD_OK, 0, "the first makes the block"},
        {32, 32, 2, ZK_DDERR_OUTOFVIDEOMEMORY, 0, "an image four times as large"},
        {17, 16, 2, ZK_DDERR_OUTOFVIDEOMEMORY, 0, "a width that rounds past the block's"},
        {8, 6, 2, ZK_DD_OK, 1, "a smaller image, in the second place"},
        {16, 16, 3, ZK_DDERR_OUTOFCAPS, 0, "a third image in a block of two"},
    };
    std::vector<std::unique_ptr<Surface>> made;
    ZK_DD_SURFACE_LOCAL *list[1] = {nullptr};   // the chain's one creation list
    for (const Step &k : steps) {
        SCOPED_TRACE(k.what);
        auto s = std::make_unique<Surface>(k.w, k.h, kCaps, kYv12);
        list[0] = &s->lcl;
        const ULONG registered = p->cOverlaySurfaces;
        ZK_DD_CREATESURFACEDATA c{&dd, &s->desc, list, k.count, -1, nullptr};
        ASSERT_EQ(DdCreateSurface(&c), ZK_DDHAL_HANDLED);
        ASSERT_EQ(c.ddRVal, k.code);
        if (k.code != ZK_DD_OK) {
            EXPECT_EQ(s->gbl.fpVidMem, 0u) << "nothing placed";
            EXPECT_EQ(p->cOverlaySurfaces, registered) << "nothing registered";
            continue;
        }
        EXPECT_EQ(s->gbl.fpVidMem, p->fpPlanarBlock + k.at * image);
        EXPECT_LE(s->gbl.fpVidMem + planes(k.w, k.h), p->fpPlanarBlock + 2 * image) << "inside the block";
        EXPECT_TRUE(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY);
        made.push_back(std::move(s));
    }
    for (auto &s : made) {
        ZK_DD_DESTROYSURFACEDATA d{&dd, &s->lcl, -1, nullptr};
        EXPECT_EQ(scb.DestroySurface(&d), ZK_DDHAL_HANDLED);
    }
    EXPECT_EQ(p->fpPlanarBlock, 0u) << "the block went with the chain";
    EXPECT_EQ(p->cOverlaySurfaces, 0u);
}
