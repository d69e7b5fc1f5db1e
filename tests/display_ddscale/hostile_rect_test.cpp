// Rectangles a program gets wrong, passed on unchecked by the runtime: past every edge of their
// surface, negative, inverted, huge and empty, on every blit path, lock and overlay. Each is
// refused with DDERR_INVALIDRECT (or the answer its path gives an empty one) and neither video
// memory nor anything around a system-memory source is touched: the source ends at a page
// without access, so reading past it faults.
#include "tests/display_ddscale/ddscale_fixture.h"

#include <sys/mman.h>

#include <limits>
#include <memory>

namespace {

constexpr DWORD kVideo = ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY;
constexpr DWORD kSystem = ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY;
constexpr LONG kW = 40, kH = 32;   // every surface of the table's cases
constexpr LONG kMax = std::numeric_limits<LONG>::max(), kMin = std::numeric_limits<LONG>::min();

struct Hostile {
    const char *what;
    RECTL r;
};
const Hostile kHostile[] = {
    {"past the right edge", {30, 4, kW + 1, 10}},
    {"past the bottom edge", {2, 30, 10, kH + 1}},
    {"left of the left edge", {-1, 0, 8, 8}},
    {"above the top edge", {0, -5, 8, 8}},
    {"inverted across", {10, 0, 5, 8}},
    {"inverted down", {0, 10, 8, 5}},
    {"far past both edges", {1, 4, 82, 110}},
    {"near the largest coordinate", {kMax - 16, 0, kMax, 8}},
    {"the whole coordinate range", {kMin, kMin, kMax, kMax}},
    {"empty far outside", {5000, 5000, 5000, 5000}},
};
constexpr RECTL kFit{0, 0, 12, 9};   // a rectangle inside every surface

// Memory of the process whose last byte is followed by a page without access.
class GuardedBits {
public:
    explicit GuardedBits(size_t bytes) : size_(((bytes + kPage - 1) / kPage + 1) * kPage) {
        void *p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t *>(p);
        if (base_) mprotect(base_ + size_ - kPage, kPage, PROT_NONE);
        bits_ = base_ ? base_ + size_ - kPage - bytes : nullptr;
    }
    ~GuardedBits() {
        if (base_) munmap(base_, size_);
    }
    GuardedBits(const GuardedBits &) = delete;
    GuardedBits &operator=(const GuardedBits &) = delete;
    uint8_t *bits() const { return bits_; }

private:
    static constexpr size_t kPage = 4096;
    size_t size_;
    uint8_t *base_, *bits_;
};

}  // namespace

class HostileRects : public DdNtDepths {
protected:
    // A system-memory surface moved into guarded memory (the runtime's own copy stays unused).
    KivDdNtSurface *guarded(std::unique_ptr<GuardedBits> *keep, uint32_t code = 0) {
        KivDdNtSurface *s = one(kW, kH, kSystem, code);
        if (!s) return nullptr;
        const size_t size = size_t(s->gbl.lPitch) * s->gbl.wHeight;
        keep->reset(new GuardedBits(size));
        if (!(*keep)->bits()) return nullptr;
        std::memcpy((*keep)->bits(), dd.bits(s), size);
        s->gbl.fpVidMem = ULONG(uintptr_t((*keep)->bits()));
        return s;
    }
    std::vector<uint8_t> videoMemory() const {
        const uint8_t *v = kivVideoPortSim().chip->videoMemory();
        return std::vector<uint8_t>(v, v + kivVideoPortSim().chip->videoMemorySize());
    }
};
INSTANTIATE_TEST_SUITE_P(Depths, HostileRects, ::testing::Values(8u, 16u, 32u));

// Every blit path with the rectangle of the table as its destination, as its source, or as both
// (same size: the unscaled paths).
TEST_P(HostileRects, BlitsRefuseRectanglesOutsideTheirSurfacesAndTouchNothing) {
    const bool yuv = GetParam() != 8;
    std::unique_ptr<GuardedBits> rgbBits, yuvBits;
    KivDdNtSurface *vid = one(kW, kH, kVideo), *dst = one(kW, kH, kVideo), *sys = guarded(&rgbBits);
    KivDdNtSurface *sysYuv = yuv ? guarded(&yuvBits, kYuy2) : nullptr;
    ASSERT_TRUE(vid && dst && sys && (!yuv || sysYuv));
    seed(vid, 1);
    seed(dst, 2);
    struct Path {
        const char *what;
        KivDdNtSurface *src;   // null: a colour fill
        DWORD flags;
    };
    std::vector<Path> paths = {
        {"colour fill", nullptr, ZK_DDBLT_COLORFILL},
        {"from video memory", vid, ZK_DDBLT_ROP},
        {"from system memory", sys, ZK_DDBLT_ROP},
        {"keyed from system memory", sys, ZK_DDBLT_ROP | ZK_DDBLT_KEYSRCOVERRIDE},
        {"within one surface", dst, ZK_DDBLT_ROP},
    };
    if (yuv) paths.push_back({"YUY2 from system memory", sysYuv, ZK_DDBLT_ROP});
    const std::vector<uint8_t> before = videoMemory();
    for (const Path &path : paths)
        for (const Hostile &h : kHostile)
            for (int which = 0; which < 3; ++which) {   // destination, source, both
                if (!path.src && which > 0) continue;
                SCOPED_TRACE(testing::Message() << path.what << ", " << h.what << " as "
                                                << (which == 0 ? "destination" : which == 1 ? "source" : "both"));
                const RECTL rd = which == 1 ? kFit : h.r, rs = which == 0 ? kFit : h.r;
                ZK_DDBLTFX fx = rop();
                fx.dwFillColor = 0x1234;
                const KivDdNtResult r = dd.blt(dst, rd, path.src, rs, path.flags | ZK_DDBLT_WAIT, fx);
                EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
                EXPECT_EQ(r.code, ZK_DDERR_INVALIDRECT);
                expectModelClean();
            }
    // Empty rectangles inside the surfaces draw nothing: the unscaled paths take them as done, the
    // stretches as done or as a degenerate scale, and a stretch within one surface that overlaps
    // nothing is left to DirectDraw.
    for (const Path &path : paths)
        for (const RECTL &rd : {RECTL{5, 5, 5, 5}, RECTL{5, 5, 9, 5}, RECTL{kW, kH, kW, kH}}) {
            SCOPED_TRACE(testing::Message() << path.what << ", empty " << rd.left << "," << rd.top << "," << rd.right << "," << rd.bottom);
            for (const RECTL &rs : {rd, kFit}) {
                const KivDdNtResult r = dd.blt(dst, rd, path.src, rs, path.flags | ZK_DDBLT_WAIT, rop());
                if (path.src == dst && r.handled == ZK_DDHAL_NOTHANDLED) continue;
                EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
                EXPECT_TRUE(r.code == ZK_DD_OK || r.code == ZK_DDERR_INVALIDRECT) << std::hex << r.code;
                expectModelClean();
            }
        }
    EXPECT_TRUE(videoMemory() == before) << "a refused or empty blit wrote video memory";
    // Rectangles touching the far edges are no hostile ones: the copy takes place.
    const RECTL edge{kW - 7, kH - 5, kW, kH};
    ASSERT_TRUE(dd.blt(dst, edge, vid, edge, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, rop()).ok());
    check(dst, RECTL{0, 0, kW, kH}, [&](LONG x, LONG y) {
        return x >= edge.left && y >= edge.top ? pattern(x, y, 1) : pattern(x, y, 2);
    });
}

// The source the report named: columns 1-82 and lines 4-110 of a 4 x 32 system-memory surface,
// stretched. Reading it would run past the surface's memory.
TEST_P(HostileRects, AStretchFromPastASystemSurfaceReadsNothingOutsideIt) {
    KivDdNtSurface *s = one(4, 32, kSystem), *dst = one(kW, kH, kVideo);
    ASSERT_TRUE(s && dst);
    GuardedBits bits(size_t(s->gbl.lPitch) * 32);
    ASSERT_TRUE(bits.bits());
    s->gbl.fpVidMem = ULONG(uintptr_t(bits.bits()));
    const KivDdNtResult r = dd.blt(dst, RECTL{0, 0, 30, 20}, s, RECTL{1, 4, 82, 110}, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, rop());
    EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
    EXPECT_EQ(r.code, ZK_DDERR_INVALIDRECT);
}

// A lock's address is the rectangle's first pixel, in system and video memory; a rectangle
// outside the surface gets no address.
TEST_P(HostileRects, LocksOfRectanglesOutsideTheSurfaceAreRefused) {
    KivDdNtSurface *vid = one(kW, kH, kVideo), *sys = one(kW, kH, kSystem);
    ASSERT_TRUE(vid && sys);
    for (KivDdNtSurface *s : {vid, sys}) {
        SCOPED_TRACE(s == vid ? "video memory" : "system memory");
        for (const Hostile &h : kHostile) {
            SCOPED_TRACE(h.what);
            uint8_t *got = reinterpret_cast<uint8_t *>(1);
            const KivDdNtResult r = dd.lock(s, &h.r, ZK_DDLOCK_WAIT, &got);
            EXPECT_EQ(r.handled, ZK_DDHAL_HANDLED);
            EXPECT_EQ(r.code, ZK_DDERR_INVALIDRECT);
            EXPECT_EQ(got, nullptr);
        }
        const RECTL inside{kW - 3, kH - 2, kW, kH};
        uint8_t *got = nullptr;
        ASSERT_EQ(dd.lock(s, &inside, ZK_DDLOCK_WAIT, &got).code, ZK_DD_OK);
        EXPECT_EQ(got, dd.bits(s) + (kH - 2) * s->gbl.lPitch + (kW - 3) * bytes);
        dd.unlock(s);
    }
}

// The overlay reads its source rectangle from the surface and cannot be clipped: a source outside
// the surface or a window past the screen is refused, a negative position as the wrong position.
TEST_F(DdNtTest, OverlaysRefuseRectanglesOutsideTheSurfaceOrTheScreen) {
    ASSERT_TRUE(startDd(16));
    KivDdNtSurface *o = one(kW, kH, ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY, kYuy2);
    ASSERT_TRUE(o);
    const LONG cx = LONG(ppdev()->cxScreen), cy = LONG(ppdev()->cyScreen);
    const RECTL window{100, 100, 160, 140};
    for (const Hostile &h : kHostile) {
        SCOPED_TRACE(h.what);
        EXPECT_EQ(dd.updateOverlay(o, h.r, window, ZK_DDOVER_SHOW).code, ZK_DDERR_INVALIDRECT) << "source";
    }
    struct Window {
        RECTL r;
        HRESULT_DD answer;
    };
    for (const Window &w : {Window{{cx - 10, 10, cx + 1, 40}, ZK_DDERR_INVALIDRECT},
                            Window{{10, cy - 10, 40, cy + 1}, ZK_DDERR_INVALIDRECT},
                            Window{{10, 10, kMax, 40}, ZK_DDERR_INVALIDRECT},
                            Window{{50, 40, 20, 60}, ZK_DDERR_INVALIDRECT},
                            Window{{-1, 10, 40, 40}, ZK_DDERR_INVALIDPOSITION},
                            Window{{kMin, 0, kMax, 40}, ZK_DDERR_INVALIDPOSITION}}) {
        SCOPED_TRACE(testing::Message() << "window " << w.r.left << "," << w.r.top << "," << w.r.right << "," << w.r.bottom);
        EXPECT_EQ(dd.updateOverlay(o, kFit, w.r, ZK_DDOVER_SHOW).code, w.answer);
    }
    EXPECT_TRUE(dd.updateOverlay(o, RECTL{0, 0, kW, kH}, RECTL{cx - 60, cy - 40, cx, cy}, ZK_DDOVER_SHOW).ok());
    expectModelClean();
}
