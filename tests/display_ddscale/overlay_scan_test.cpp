// The overlay as a viewer sees it: what the overlay scans after DirectDraw showed a surface,
// flipped among two and three buffers, or unlocked a planar surface; and every code the driver
// lists shows its picture.
#include "tests/display_ddscale/ddscale_fixture.h"

#include <string>

namespace {

constexpr uint32_t kYv12 = ZK_FOURCC('Y', 'V', '1', '2'), k420i = ZK_FOURCC('4', '2', '0', 'i'),
                   kIf09 = ZK_FOURCC('I', 'F', '0', '9'), kYvu9 = ZK_FOURCC('Y', 'V', 'U', '9'),
                   kIv32 = ZK_FOURCC('I', 'V', '3', '2'), kIv31 = ZK_FOURCC('I', 'V', '3', '1');
constexpr DWORD kOverlayCaps = ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY;

std::string name(uint32_t code) { return std::string(reinterpret_cast<const char *>(&code), 4); }

// A picture's samples: luma at (x, y), chroma of the cell (i, j) (a pair, or a 2x2 or 4x4 block).
uint8_t luma(LONG x, LONG y, uint32_t salt) { return uint8_t(16 + (x * 13 + y * 31 + salt * 57) % 220); }
uint8_t cb(LONG i, LONG j, uint32_t salt) { return uint8_t(40 + (i * 23 + j * 41 + salt * 11) % 180); }
uint8_t cr(LONG i, LONG j, uint32_t salt) { return uint8_t(30 + (i * 67 + j * 19 + salt * 5) % 190); }

// The overlay's nearest source pixel for window pixel i: steps with the endpoints aligned.
LONG overlaySample(LONG i, LONG window, LONG source) {
    const int64_t step = ((int64_t(source - 1) << 16) / (window - 1)) << 4;
    return LONG(std::min<int64_t>((i * step + (1 << 19)) >> 20, source - 1));
}

}  // namespace

class OverlayScan : public DdNtTest {
protected:
    void SetUp() override {
        DdNtTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(startDd(16));
    }
    // A packed surface whose picture is the samples of `salt`.
    void fillPacked(KivDdNtSurface *s, uint32_t salt) {
        const bool uFirst = s->gbl.ddpfSurface.dwFourCC == kUyvy;
        for (LONG y = 0; y < LONG(s->gbl.wHeight); ++y)
            for (LONG x = 0; x < LONG(s->gbl.wWidth); x += 2) {
                uint8_t *q = at(s, x, y, 2);
                q[uFirst ? 1 : 0] = luma(x, y, salt);
                q[uFirst ? 3 : 2] = luma(x + 1, y, salt);
                q[uFirst ? 0 : 1] = cb(x / 2, y, salt);
                q[uFirst ? 2 : 3] = cr(x / 2, y, salt);
            }
    }
    // Locks a planar surface, writes the picture `salt` into its planes and unlocks it (which
    // converts it for the overlay).
    void writePlanar(KivDdNtSurface *s, uint32_t code, uint32_t salt) {
        const DWORD w = s->gbl.wWidth, h = s->gbl.wHeight;
        uint8_t *bits = nullptr;
        ASSERT_EQ(dd.lock(s, nullptr, 0, &bits).code, ZK_DD_OK) << "the driver or the runtime locks it";
        const DWORD W4 = (w + 3) & ~3u;
        if (code != kYv12 && code != k420i) {
            // Y rows of W4 bytes over (h + 3) & ~3 rows, then V and U at a quarter each way.
            const DWORD H4 = (h + 3) & ~3u, CW = W4 / 4, CH = H4 / 4;
            uint8_t *v = bits + W4 * H4, *u = v + CW * CH;
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x) bits[y * W4 + x] = luma(x, y, salt);
            for (DWORD j = 0; j < CH; ++j)
                for (DWORD i = 0; i < CW; ++i) {
                    v[j * CW + i] = cr(i, j, salt);
                    u[j * CW + i] = cb(i, j, salt);
                }
        } else {
            const DWORD H2 = (h + 1) & ~1u;
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < W4; ++x) {
                    const DWORD i = x, j = y / 2;
                    if (code == kYv12) {
                        bits[y * W4 + x] = luma(x, y, salt);
                        if (i < W4 / 2 && !(y & 1)) {
                            bits[W4 * H2 + j * (W4 / 2) + i] = cr(i, j, salt);
                            bits[W4 * H2 + W4 * H2 / 4 + j * (W4 / 2) + i] = cb(i, j, salt);
                        }
                    } else {   // line pair j: Y, V half line, Y, U half line
                        bits[j * 3 * W4 + (y & 1) * (W4 + W4 / 2) + x] = luma(x, y, salt);
                        if (i < W4 / 2 && !(y & 1)) {
                            bits[j * 3 * W4 + W4 + i] = cr(i, j, salt);
                            bits[j * 3 * W4 + 2 * W4 + W4 / 2 + i] = cb(i, j, salt);
                        }
                    }
                }
        }
        ASSERT_TRUE(dd.unlock(s).ok());
        expectModelClean();
    }
    // The overlay shows `rs` of the picture `salt` (chroma cells `cw` x `ch` pixels) in a window of
    // dw2 x dh2 at (x, y); `halved`: every other source line.
    void expectPicture(RECTL rs, LONG x, LONG y, LONG dw2, LONG dh2, uint32_t salt, LONG cw, LONG ch, bool halved = false) {
        const Zk3OverlayPicture pic = zk3OverlayScan();
        expectModelClean();
        ASSERT_TRUE(pic.visible);
        EXPECT_EQ(pic.x, x);
        EXPECT_EQ(pic.y, y);
        ASSERT_EQ(pic.width, uint32_t(dw2));
        ASSERT_EQ(pic.height, uint32_t(dh2));
        const LONG sw = rs.right - rs.left, sh = (rs.bottom - rs.top) / (halved ? 2 : 1);
        for (LONG k = 0; k < dh2; ++k)
            for (LONG i = 0; i < dw2; ++i) {
                const LONG u = rs.left + overlaySample(i, dw2, sw);
                const LONG v = rs.top + overlaySample(k, dh2, sh) * (halved ? 2 : 1);
                const uint8_t *got = &pic.yuv[(size_t(k) * dw2 + i) * 3];
                ASSERT_EQ((std::vector<int>{got[0], got[1], got[2]}),
                          (std::vector<int>{luma(u, v, salt), cb(u / cw, v / ch, salt), cr(u / cw, v / ch, salt)}))
                    << "window pixel " << i << "," << k << " (source " << u << "," << v << ")";
            }
    }
};

TEST_F(OverlayScan, FlipsAmongTwoAndThreeBuffersShowEachBufferInTurn) {
    for (uint32_t code : {kYuy2, kUyvy})
        for (DWORD count : {2u, 3u}) {
            SCOPED_TRACE(testing::Message() << name(code) << ", " << count << " buffers");
            std::vector<KivDdNtSurface *> chain = make(40, 30, kOverlayCaps, code, count);
            ASSERT_EQ(chain.size(), count);
            for (DWORD i = 0; i < count; ++i) fillPacked(chain[i], i + 1);
            // A window of the source, doubled, then shown at half height: the flips keep the window.
            struct Show { RECTL rs, rd; bool halved; };
            for (const Show &sh : {Show{rect(4, 2, 30, 20), rect(100, 50, 60, 40), false},
                                   Show{rect(0, 0, 40, 30), rect(10, 20, 40, 15), true}}) {
                ASSERT_TRUE(dd.updateOverlay(chain[0], sh.rs, sh.rd, ZK_DDOVER_SHOW).ok());
                const LONG dw2 = (sh.rd.right - sh.rd.left + 2) & ~1, dh2 = (sh.rd.bottom - sh.rd.top + 2) & ~1;
                expectPicture(sh.rs, sh.rd.left, sh.rd.top, dw2, dh2, 1, 2, 1, sh.halved);
                DWORD shown = 0;
                for (DWORD step = 0; step < count + 1; ++step) {
                    const DWORD next = (shown + 1) % count;
                    const KivDdNtResult r = dd.flip(chain[shown], chain[next], ZK_DDFLIP_WAIT);
                    ASSERT_TRUE(r.ok()) << "flip " << step << ": 0x" << std::hex << r.code;
                    shown = next;
                    SCOPED_TRACE(testing::Message() << "after flip " << step << " to buffer " << shown);
                    expectPicture(sh.rs, sh.rd.left, sh.rd.top, dw2, dh2, shown + 1, 2, 1, sh.halved);
                }
                // Back to the first buffer for the next show.
                while (shown != 0) {
                    const DWORD next = (shown + 1) % count;
                    ASSERT_TRUE(dd.flip(chain[shown], chain[next], ZK_DDFLIP_WAIT).ok());
                    shown = next;
                }
            }
            ASSERT_TRUE(dd.updateOverlay(chain[0], rect(0, 0, 40, 30), rect(0, 0, 40, 30), ZK_DDOVER_HIDE).ok());
            EXPECT_FALSE(zk3OverlayScan().visible);
            for (KivDdNtSurface *s : chain) EXPECT_EQ(dd.destroy(s).code, ZK_DD_OK);
        }
}

TEST_F(OverlayScan, EveryPlanarFormatShowsItsPicture) {
    struct Case { uint32_t code; DWORD w, h; };
    std::vector<Case> cases;
    for (uint32_t code : {kYv12, k420i, kYvu9, kIv32, kIv31, kIf09})
        for (DWORD w : {24u, 22u}) cases.push_back({code, w, code == kYv12 || code == k420i ? 10u : 14u});
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << name(k.code) << " " << k.w << "x" << k.h);
        const bool listed = std::find(dd.fourCcs().begin(), dd.fourCcs().end(), k.code) != dd.fourCcs().end();
        if (!listed) {
            EXPECT_EQ(k.code, kIf09) << "every planar code is offered but IF09, which the miniport may withhold";
            continue;
        }
        KivDdNtSurface *s = one(k.w, k.h, kOverlayCaps, k.code);
        ASSERT_TRUE(s);
        const bool nine = k.code != kYv12 && k.code != k420i;
        const LONG cell = nine ? 4 : 2;
        const uint32_t salt = k.code % 7 + k.w;
        writePlanar(s, k.code, salt);
        const RECTL all = rect(0, 0, LONG(k.w), LONG(k.h));
        ASSERT_TRUE(dd.updateOverlay(s, all, rect(8, 6, LONG(k.w), LONG(k.h)), ZK_DDOVER_SHOW).ok());
        expectPicture(all, 8, 6, LONG(k.w + 2) & ~1, LONG(k.h + 2) & ~1, salt, cell, cell);
        ASSERT_TRUE(dd.updateOverlay(s, all, all, ZK_DDOVER_HIDE).ok());
        EXPECT_EQ(dd.destroy(s).code, ZK_DD_OK);
    }
}

TEST_F(OverlayScan, APlanarChainOfThreeFlipsAmongItsOwnPictures) {
    // A YV12 chain whose caps name no memory lies in video memory all the same, an image a surface.
    struct Case { uint32_t code; DWORD caps; };
    for (const Case &k : {Case{kYv12, kOverlayCaps}, Case{kYvu9, kOverlayCaps}, Case{kYv12, ZK_DDSCAPS_OVERLAY}}) {
        const uint32_t code = k.code;
        const DWORD caps = k.caps;
        SCOPED_TRACE(testing::Message() << name(code) << ", caps 0x" << std::hex << caps);
        std::vector<KivDdNtSurface *> chain = make(22, 10, caps, code, 3);
        ASSERT_EQ(chain.size(), 3u);
        for (DWORD i = 0; i < 3; ++i) writePlanar(chain[i], code, 10 * i + 3);
        const LONG cell = code == kYv12 ? 2 : 4;
        const RECTL all = rect(0, 0, 22, 10);
        ASSERT_TRUE(dd.updateOverlay(chain[0], all, rect(0, 0, 44, 20), ZK_DDOVER_SHOW).ok());
        expectPicture(all, 0, 0, 46, 22, 3, cell, cell);
        for (DWORD shown = 0, step = 0; step < 4; ++step) {
            const DWORD next = (shown + 1) % 3;
            ASSERT_TRUE(dd.flip(chain[shown], chain[next], ZK_DDFLIP_WAIT).ok());
            shown = next;
            SCOPED_TRACE(testing::Message() << "buffer " << shown);
            expectPicture(all, 0, 0, 46, 22, 10 * shown + 3, cell, cell);
        }
        // The first surface goes first: the others keep their pictures.
        ASSERT_TRUE(dd.updateOverlay(chain[0], all, all, ZK_DDOVER_HIDE).ok());
        EXPECT_EQ(dd.destroy(chain[0]).code, ZK_DD_OK);
        ASSERT_TRUE(dd.updateOverlay(chain[1], all, rect(0, 0, 44, 20), ZK_DDOVER_SHOW).ok());
        expectPicture(all, 0, 0, 46, 22, 13, cell, cell);
        ASSERT_TRUE(dd.flip(chain[1], chain[2], ZK_DDFLIP_WAIT).ok());
        expectPicture(all, 0, 0, 46, 22, 23, cell, cell);
        ASSERT_TRUE(dd.updateOverlay(chain[1], all, all, ZK_DDOVER_HIDE).ok());
        EXPECT_EQ(dd.destroy(chain[2]).code, ZK_DD_OK);
        EXPECT_EQ(dd.destroy(chain[1]).code, ZK_DD_OK);
        EXPECT_EQ(ppdev()->fpPlanarBlock, 0u) << "the block went with the last surface";
    }
    // A fourth buffer of a planar chain would have to share a packed copy: refused.
    ZK_DDSURFACEDESC d{};
    d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
    d.dwWidth = 22;
    d.dwHeight = 10;
    d.ddsCaps.dwCaps = kOverlayCaps;
    d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
    d.ddpfPixelFormat.dwFourCC = kYv12;
    std::vector<KivDdNtSurface *> four;
    EXPECT_EQ(dd.create(d, 4, &four).code, ZK_DDERR_OUTOFCAPS);
    EXPECT_TRUE(four.empty());
}

TEST_F(OverlayScan, AnOddSourceLeftEdgeStartsOnItsPixelPair) {
    KivDdNtSurface *s = one(40, 30, kOverlayCaps, kYuy2);
    ASSERT_TRUE(s);
    fillPacked(s, 7);
    ASSERT_TRUE(dd.updateOverlay(s, rect(5, 2, 20, 10), rect(30, 40, 20, 10), ZK_DDOVER_SHOW).ok());
    expectPicture(rect(4, 2, 20, 10), 30, 40, 22, 12, 7, 2, 1);
    ASSERT_TRUE(dd.updateOverlay(s, rect(0, 0, 40, 30), rect(0, 0, 40, 30), ZK_DDOVER_HIDE).ok());
}
