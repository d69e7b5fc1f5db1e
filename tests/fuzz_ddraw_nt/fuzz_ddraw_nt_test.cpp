// Fuzz driver of the display driver's DirectDraw on NT, as the runtime's driver side reaches it:
// surfaces of every kind (video and system memory, YUY2 and UYVY, YV12 and 420i with caps that
// name no memory, overlays) made and released, blits, stretches, fills, locks and overlay calls
// with rectangles a program gets wrong (past every edge, negative, inverted, huge, empty) between
// good ones, at every screen depth. The pixels of a system-memory surface the batch keeps are
// moved into the fuzzer's own pages, so that its last byte (of its last row's pitch, or of a
// planar surface's last plane) lies just before a page without access: a read or write past it
// faults. Every video-memory surface has guard bytes in its rows' padding. Every lock lies inside
// its surface, and every surface lies wholly inside the memory it was put in, apart from every
// other. After every batch no guard has changed, the
// chip model saw nothing drawn outside video memory, and a fill and a lock still work.
//
// Between them come surfaces of any size a description carries (sides up to 2^32 - 1, mostly
// near and past 2^31; the screen's format, YUY2 and RGB of every bit count from 0 to 64; system
// and video memory; YV12 and 420i that are no overlay, among them widths whose planes no video
// memory holds): the answer is the one 64-bit arithmetic gives (surface_sizes.h), and a made
// one lies where it was put, is locked where its pitch says, written there, blitted from near
// a corner and released.
//
// --flips also flips chains of surfaces (with and without waiting).
#include <sys/mman.h>

#include <limits>
#include <memory>

#include "display/driver.h"
#include "platform/ddraw_nt/ddraw_nt_hal.h"
#include "platform/machine/machine.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_draw.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/display_ddscale/surface_sizes.h"
#include "tests/fuzz_common/fuzz_run.h"

namespace {

constexpr size_t kPage = 4096;
constexpr uint32_t kYuy2 = ZK_FOURCC('Y', 'U', 'Y', '2'), kUyvy = ZK_FOURCC('U', 'Y', 'V', 'Y'),
                   kYv12 = ZK_FOURCC('Y', 'V', '1', '2'), k420i = ZK_FOURCC('4', '2', '0', 'i');
constexpr LONG kMax = std::numeric_limits<LONG>::max(), kMin = std::numeric_limits<LONG>::min();
constexpr uint8_t kGuard = 0xA5;

// A system-memory surface's pixels moved to the end of mapped pages followed by one without access.
struct GuardedBits {
    uint8_t *base = nullptr, *bits = nullptr;
    size_t size = 0;
    explicit GuardedBits(size_t bytes) : size(((bytes + kPage - 1) / kPage + 1) * kPage) {
        void *p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) return;
        base = static_cast<uint8_t *>(p);
        mprotect(base + size - kPage, kPage, PROT_NONE);
        bits = base + size - kPage - bytes;
    }
    ~GuardedBits() {
        if (base) munmap(base, size);
    }
};

struct Fuzzed {
    KivDdNtSurface *s;
    std::unique_ptr<GuardedBits> guarded;   // system memory
};

class DirectDrawFuzz {
public:
    bool start() { return dd_.enable(); }
    ~DirectDrawFuzz() { dd_.disable(); }

    void batch(KivFuzzRandom &r) {
        for (int i = 0; i < 60; ++i) {
            const uint32_t what = r.below(100);
            if (what < 15 || surfaces_.empty()) make(r);
            else if (what < 20) release(r);
            else if (what < 70) blt(r);
            else if (what < 82) lock(r);
            else if (what < 88) overlay(r);
            else if (what < 92) huge(r);
            else if (what < 96) hugePlanar(r);
            else flip(r);
            if (::testing::Test::HasFailure()) return;
        }
    }

    // Nothing written outside the surfaces, nothing drawn outside video memory, and the driver
    // still fills and locks.
    void check() {
        checkGuards();
        for (const Fuzzed &f : surfaces_) ASSERT_TRUE(placedApart(f.s, extent(f.s)));
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        KivDdNtSurface *p = dd_.primary();
        ZK_DDBLTFX fx{};
        fx.dwFillColor = 0x21;
        ASSERT_TRUE(dd_.blt(p, RECTL{0, 0, 4, 2}, nullptr, RECTL{}, ZK_DDBLT_COLORFILL | ZK_DDBLT_WAIT, fx).ok());
        uint8_t *bits = nullptr;
        const RECTL r{1, 1, 3, 2};
        ASSERT_EQ(dd_.lock(p, &r, ZK_DDLOCK_WAIT, &bits).code, ZK_DD_OK);
        EXPECT_EQ(bits, dd_.bits(p) + p->gbl.lPitch + p->gbl.ddpfSurface.dwRGBBitCount / 8);
        EXPECT_EQ(bits[0], 0x21);
        dd_.unlock(p);
        for (Fuzzed &f : surfaces_) dd_.release(f.s);
        surfaces_.clear();
    }

private:
    KivDirectDrawNt dd_;
    std::vector<Fuzzed> surfaces_;

    uint32_t depthBytes() const { return dd_.halInfo().vmiData.ddpfDisplay.dwRGBBitCount / 8; }
    uint64_t videoBytes() const { return kivVideoPortSim().chip->videoMemorySize(); }
    uint64_t screenBytes() const {
        return uint64_t(dd_.halInfo().vmiData.lDisplayPitch) * dd_.halInfo().vmiData.dwDisplayHeight;
    }

    static bool planar(const KivDdNtSurface *s) {
        const ZK_DDPIXELFORMAT &pf = s->gbl.ddpfSurface;
        return (pf.dwFlags & ZK_DDPF_FOURCC) && (pf.dwFourCC == kYv12 || pf.dwFourCC == k420i);
    }
    // The bytes of a surface from its first pixel: its rows, or a YV12 or 420i surface's planes
    // (12 bits a pixel on the width rounded to 4 and the height rounded to 2).
    static uint64_t extent(const KivDdNtSurface *s) {
        if (!planar(s)) return uint64_t(uint32_t(s->gbl.lPitch)) * s->gbl.wHeight;
        return (uint64_t{s->gbl.wWidth} + 3) / 4 * 4 * ((uint64_t{s->gbl.wHeight} + 1) / 2 * 2) * 3 / 2;
    }
    // A surface outside the process's memory lies in video memory past the screen, apart from
    // every other surface the batch keeps (`bytes` of it from its first pixel).
    ::testing::AssertionResult placedApart(const KivDdNtSurface *s, uint64_t bytes) const {
        if (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY) return ::testing::AssertionSuccess();
        if (!(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) return ::testing::AssertionFailure() << "caps name no memory";
        const uint64_t a = s->gbl.fpVidMem;
        if (a < screenBytes() || a + bytes > videoBytes())
            return ::testing::AssertionFailure() << "bytes " << a << ".." << a + bytes << " outside video memory";
        for (const Fuzzed &f : surfaces_) {
            const KivDdNtSurface *o = f.s;
            if (o == s || (o->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY)) continue;
            const uint64_t b = o->gbl.fpVidMem;
            if (a < b + extent(o) && b < a + bytes)
                return ::testing::AssertionFailure() << "bytes " << a << ".." << a + bytes << " overlap another surface's "
                                                     << b << ".." << b + extent(o);
        }
        return ::testing::AssertionSuccess();
    }

    // A rectangle for a surface of w x h: inside it mostly, else wrong in one of the ways programs
    // get it wrong.
    RECTL rect(KivFuzzRandom &r, LONG w, LONG h) {
        auto inside = [&](LONG n) { return LONG(r.below(uint32_t(n) + 1)); };
        LONG l = inside(w), t = inside(h);
        RECTL g{l, t, l + inside(w - l), t + inside(h - t)};
        switch (r.below(12)) {
        case 0: g.right = w + 1 + LONG(r.below(100)); break;
        case 1: g.bottom = h + 1 + LONG(r.below(100)); break;
        case 2: g.left = -1 - LONG(r.below(100)); break;
        case 3: g.top = -1 - LONG(r.below(100)); break;
        case 4: std::swap(g.left, g.right); break;
        case 5: std::swap(g.top, g.bottom); break;
        case 6: g = r.pick({RECTL{kMin, kMin, kMax, kMax}, RECTL{kMax - 8, 0, kMax, 4}, RECTL{0, kMax - 3, 4, kMax},
                            RECTL{kMin, 0, kMin + 5, 3}, RECTL{LONG(r.word()), LONG(r.word()), LONG(r.word()), LONG(r.word())}});
                break;
        case 7: g.right = g.left; break;   // empty
        default: break;
        }
        return g;
    }
    RECTL rectOf(KivFuzzRandom &r, const KivDdNtSurface *s) { return rect(r, LONG(s->gbl.wWidth), LONG(s->gbl.wHeight)); }

    KivDdNtSurface *pick(KivFuzzRandom &r) {
        if (surfaces_.empty() || r.chance(15)) return dd_.primary();
        return surfaces_[r.below(uint32_t(surfaces_.size()))].s;
    }

    // Guard bytes sit in the rows of the heap block past the surface's own width and in the
    // pitch's padding: the fuzzer fills them at creation.
    static size_t rowBytes(const KivDdNtSurface *s) {
        // Whole bytes a pixel for FOURCC codes: two for the packed ones, one in a planar Y row.
        const ZK_DDPIXELFORMAT &pf = s->gbl.ddpfSurface;
        if (pf.dwFlags & ZK_DDPF_FOURCC) return size_t(s->gbl.wWidth) * (pf.dwRGBBitCount / 8);
        return size_t(s->gbl.wWidth) * pf.dwRGBBitCount / 8;
    }
    void guard(const KivDdNtSurface *s) {
        if (!(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) return;
        for (DWORD y = 0; y < s->gbl.wHeight; ++y)
            std::memset(dd_.bits(s) + size_t(y) * s->gbl.lPitch + rowBytes(s), kGuard, size_t(s->gbl.lPitch) - rowBytes(s));
    }
    void checkGuards() {
        for (const Fuzzed &f : surfaces_) {
            const KivDdNtSurface *s = f.s;
            if (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_OVERLAY) continue;   // overlays' chains share their memory
            if (!(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_VIDEOMEMORY)) continue;
            for (DWORD y = 0; y < s->gbl.wHeight; ++y)
                for (size_t x = rowBytes(s); x < size_t(s->gbl.lPitch); ++x)
                    ASSERT_EQ(dd_.bits(s)[size_t(y) * s->gbl.lPitch + x], kGuard)
                        << "byte " << x << " of line " << y << " of a " << s->gbl.wWidth << " x " << s->gbl.wHeight << " surface";
        }
    }

    void make(KivFuzzRandom &r) {
        if (surfaces_.size() >= 10) return;
        const uint32_t kind = r.below(100);
        const bool yuv = kind < 25 && depthBytes() != 1, twelve = kind >= 85;
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = 1 + r.below(r.chance(10) ? 1300 : 90);
        d.dwHeight = 1 + r.below(r.chance(10) ? 300 : 70);
        if (yuv) d.dwWidth = (d.dwWidth + 1) & ~1u;
        const bool overlay = (yuv || twelve) && r.chance(30);
        if (twelve) {
            // Overlays whose caps name video memory or none, and the others naming none: each
            // in its own place, or an image of its chain's block.
            d.ddsCaps.dwCaps = overlay ? ZK_DDSCAPS_OVERLAY | r.pick({0u, DWORD{ZK_DDSCAPS_VIDEOMEMORY}})
                                       : r.pick({0u, DWORD{ZK_DDSCAPS_TEXTURE}, DWORD{ZK_DDSCAPS_ZBUFFER}});
        } else {
            d.ddsCaps.dwCaps = overlay ? ZK_DDSCAPS_OVERLAY | ZK_DDSCAPS_VIDEOMEMORY
                               : r.chance(60) ? ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY
                                              : ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY;
        }
        if (yuv || twelve) {
            d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
            d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
            d.ddpfPixelFormat.dwFourCC = twelve ? r.pick({kYv12, k420i}) : r.chance(50) ? kYuy2 : kUyvy;
        }
        const DWORD count = overlay ? 1 + r.below(twelve ? 3 : 2) : r.chance(80) ? 1 : 2 + r.below(2);
        std::vector<KivDdNtSurface *> made;
        if (!dd_.create(d, count, &made).ok()) return;
        for (KivDdNtSurface *s : made) {
            Fuzzed f{s, nullptr};
            ASSERT_TRUE(placedApart(s, extent(s))) << d.dwWidth << " x " << d.dwHeight << ", caps 0x" << std::hex
                                                   << d.ddsCaps.dwCaps;
            if (s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_SYSTEMMEMORY) {
                const size_t bytes = size_t(extent(s));
                f.guarded.reset(new GuardedBits(bytes));
                if (!f.guarded->bits) continue;
                r.fill(f.guarded->bits, bytes);
                s->gbl.fpVidMem = ULONG(uintptr_t(f.guarded->bits));
            }
            guard(s);
            surfaces_.push_back(std::move(f));
        }
    }

    void release(KivFuzzRandom &r) {
        const size_t i = r.below(uint32_t(surfaces_.size()));
        dd_.release(surfaces_[i].s);
        surfaces_.erase(surfaces_.begin() + long(i));
    }

    void blt(KivFuzzRandom &r) {
        KivDdNtSurface *dst = pick(r), *src = r.chance(80) ? pick(r) : nullptr;
        ZK_DDBLTFX fx{};
        fx.dwFillColor = r.word();
        fx.dwROP = r.pick({0xCC0020u, 0xEE0086u, 0x8800C6u, 0x330008u, 0x660046u, 0xF00021u, 0x000042u, 0xFF0062u});
        fx.dwDDFX = r.chance(20) ? ZK_DDBLTFX_MIRRORUPDOWN : 0;
        fx.ddckSrcColorkey.dwColorSpaceLowValue = r.word();
        DWORD flags = src ? ZK_DDBLT_ROP : r.pick({ZK_DDBLT_COLORFILL, ZK_DDBLT_ROP});
        if (r.chance(20)) flags |= ZK_DDBLT_KEYSRCOVERRIDE;
        if (r.chance(20)) flags |= ZK_DDBLT_DDFX;
        if (r.chance(70)) flags |= ZK_DDBLT_WAIT;
        const RECTL rd = rectOf(r, dst);
        // Same size now and then, for the unscaled paths.
        auto span = [](LONG a, LONG b) { return LONG(int64_t{b} - int64_t{a}); };   // wraps like the program's own
        const RECTL rs = src ? (r.chance(40) ? RECTL{0, 0, span(rd.left, rd.right), span(rd.top, rd.bottom)} : rectOf(r, src))
                             : RECTL{};
        dd_.blt(dst, rd, src, rs, flags, fx);
    }

    void lock(KivFuzzRandom &r) {
        KivDdNtSurface *s = pick(r);
        const RECTL rc = rectOf(r, s);
        uint8_t *bits = nullptr;
        const bool whole = r.chance(20);
        const KivDdNtResult res = dd_.lock(s, whole ? nullptr : &rc, r.chance(70) ? ZK_DDLOCK_WAIT : 0, &bits);
        if (res.code != ZK_DD_OK || !bits) return;
        // A program writes the first pixel of what it locked: inside the surface, or the lock was wrong.
        const bool empty = !whole && (rc.left == rc.right || rc.top == rc.bottom);
        if (!empty && !(s->lcl.ddsCaps.dwCaps & ZK_DDSCAPS_PRIMARYSURFACE)) {
            uint8_t *first = dd_.bits(s), *end = first + size_t(extent(s));
            ASSERT_TRUE(bits >= first && bits < end) << "a lock handed out memory outside its surface";
            *bits = uint8_t(r.word());
        }
        dd_.unlock(s);
    }

    void overlay(KivFuzzRandom &r) {
        KivDdNtSurface *s = pick(r);
        const LONG cx = LONG(dd_.halInfo().vmiData.dwDisplayWidth), cy = LONG(dd_.halInfo().vmiData.dwDisplayHeight);
        if (r.chance(30)) {
            dd_.setOverlayPosition(s, r.chance(80) ? LONG(r.below(uint32_t(cx))) : LONG(r.word()),
                                   r.chance(80) ? LONG(r.below(uint32_t(cy))) : LONG(r.word()));
            return;
        }
        ZK_DDOVERLAYFX fx{};
        const DWORD flags = r.pick({ZK_DDOVER_SHOW, ZK_DDOVER_SHOW | ZK_DDOVER_KEYDEST, ZK_DDOVER_HIDE});
        dd_.updateOverlay(s, rectOf(r, s), rect(r, cx, cy), flags, &fx);
    }

    // A side of a surface: small, near a power of two up to 2^31, near the largest a rectangle
    // names, or any 32-bit value.
    static uint64_t side(KivFuzzRandom &r) {
        int64_t n;
        switch (r.below(5)) {
        case 0: n = r.below(70); break;
        case 1: n = (int64_t{1} << r.below(32)) + int64_t(r.below(5)) - 2; break;
        case 2: n = int64_t{0x7FFFFFFF} + int64_t(r.below(5)) - 2; break;
        case 3: n = int64_t(r.word() >> r.below(32)); break;
        default: n = r.word(); break;
        }
        return uint64_t(std::min<int64_t>(std::max<int64_t>(n, 0), 0xFFFFFFFF));
    }

    // A surface made of any size: it lies wholly where it was put; a pixel of it is locked where
    // its pitch says and written there, a rectangle past its last row gets no address, and the
    // last byte of its block is written through a lock of the whole, as a program fills it.
    void lockAndWrite(KivFuzzRandom &r, const SurfaceOutcome &o, KivDdNtSurface *s) {
        ASSERT_TRUE(surfaceLiesWithin(o, s, dd_.bits(s), screenBytes(), videoBytes()));
        ASSERT_TRUE(placedApart(s, o.block));
        const LONG w = LONG(s->gbl.wWidth), h = LONG(s->gbl.wHeight);
        const LONG x = LONG(r.below(uint32_t(w))), y = LONG(r.below(uint32_t(h)));
        const RECTL one{x, y, x + 1, y + 1};
        uint8_t *bits = nullptr;
        ASSERT_EQ(dd_.lock(s, &one, ZK_DDLOCK_WAIT, &bits).code, ZK_DD_OK);
        ASSERT_EQ(bits, dd_.bits(s) + surfacePixelOffset(o, uint64_t(x), uint64_t(y)));
        *bits = 0xC3;
        dd_.unlock(s);
        if (h < 0x7FFFFFFF) {
            const RECTL past{x, y, x + 1, h + 1};
            EXPECT_EQ(dd_.lock(s, &past, 0, &bits).code, ZK_DDERR_INVALIDRECT);
        }
        ASSERT_EQ(dd_.lock(s, nullptr, ZK_DDLOCK_WAIT, &bits).code, ZK_DD_OK);
        ASSERT_EQ(bits, dd_.bits(s));
        bits[o.block - 1] = 0x3C;
        dd_.unlock(s);
    }

    void huge(KivFuzzRandom &r) {
        SurfaceAsk a{side(r), side(r), SurfaceKind::Screen, 0, r.chance(50)};
        if (r.chance(50)) (r.chance(50) ? a.w : a.h) = 1 + r.below(64);   // one long side
        const uint32_t pick = r.below(10);
        if (pick == 0) a.kind = SurfaceKind::Yuy2;
        else if (pick > 1) a.kind = SurfaceKind::Rgb, a.bits = r.chance(50) ? r.pick({1u, 2u, 4u, 8u, 16u, 24u, 32u}) : r.below(65);
        const uint32_t depth = depthBytes() * 8;
        SurfaceOutcome o = expectSurface(a, depth, kivVideoPortSim().chip->videoMemorySize());
        if (o.code == ZK_DD_OK && o.where != SurfaceWhere::System) {
            // The batch's other surfaces hold video memory too.
            if (a.kind == SurfaceKind::Yuy2) o.where = SurfaceWhere::Either;
            else o.roomMayLack = true;
        }
        std::vector<KivDdNtSurface *> made;
        const KivDdNtResult res = dd_.create(surfaceDescription(a, dd_.halInfo().vmiData.ddpfDisplay), 1, &made);
        KivDdNtSurface *s = made.empty() ? nullptr : made[0];
        ASSERT_TRUE(surfaceAnswerRight(o, res, s)) << a.w << " x " << a.h << ", kind " << int(a.kind) << ", " << a.bits
                                                   << " bits, " << (a.video ? "video" : "system");
        if (!s) return;
        lockAndWrite(r, o, s);
        if (::testing::Test::HasFatalFailure()) return;
        const LONG w = LONG(a.w), h = LONG(a.h);
        const LONG sw = std::min<LONG>(w, 1 + LONG(r.below(5))), sh = std::min<LONG>(h, 1 + LONG(r.below(5)));
        const LONG left = (r.chance(50) ? w - sw : 0) & ~1, top = r.chance(50) ? h - sh : 0;
        const RECTL rs{left, top, left + sw, top + sh};
        const RECTL rd = r.chance(50) ? RECTL{4, 4, 4 + sw, 4 + sh} : RECTL{4, 4, 4 + LONG(1 + r.below(20)), 4 + LONG(1 + r.below(20))};
        ZK_DDBLTFX fx{};
        fx.dwROP = ZK_SRCCOPY;
        const KivDdNtResult b = dd_.blt(dd_.primary(), rd, s, rs, ZK_DDBLT_ROP | ZK_DDBLT_WAIT, fx);
        const bool stretched = rd.right - rd.left != sw || rd.bottom - rd.top != sh;
        if (!surfaceBlitReadable(a, depth)) EXPECT_EQ(b.code, ZK_DDERR_UNSUPPORTEDFORMAT);
        else EXPECT_TRUE(b.ok() || (stretched && b.code == ZK_DDERR_INVALIDRECT)) << "0x" << std::hex << b.code;
        dd_.release(s);
    }

    // A YV12 or 420i surface that is no overlay, its caps naming no memory, of any size (the
    // widths whose planes passed video memory among them), made after whatever planar surfaces
    // the batch keeps: it lies wholly where it was put, and is locked and written at a pixel of
    // its Y plane and at its planes' last byte.
    void hugePlanar(KivFuzzRandom &r) {
        uint64_t w = side(r), h = side(r);
        if (r.chance(30)) w = r.pick({16777215u, 268435455u, 536870912u}), h = 1 + r.below(4);
        else if (r.chance(50)) (r.chance(50) ? w : h) = 1 + r.below(64);
        SurfaceOutcome o = expectPlanarSurface(w, h, videoBytes());
        if (o.where == SurfaceWhere::Video) o.where = SurfaceWhere::Either;   // the batch's surfaces hold video memory too
        ZK_DDSURFACEDESC d{};
        d.dwFlags = ZK_DDSD_WIDTH | ZK_DDSD_HEIGHT;
        d.dwWidth = DWORD(w);
        d.dwHeight = DWORD(h);
        d.ddsCaps.dwCaps = r.pick({0u, DWORD{ZK_DDSCAPS_TEXTURE}, DWORD{ZK_DDSCAPS_ZBUFFER}});
        d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
        d.ddpfPixelFormat.dwFlags = ZK_DDPF_FOURCC;
        d.ddpfPixelFormat.dwFourCC = r.pick({kYv12, k420i});
        std::vector<KivDdNtSurface *> made;
        const KivDdNtResult res = dd_.create(d, 1, &made);
        KivDdNtSurface *s = made.empty() ? nullptr : made[0];
        ASSERT_TRUE(surfaceAnswerRight(o, res, s)) << w << " x " << h << ", caps 0x" << std::hex << d.ddsCaps.dwCaps;
        if (!s) return;
        lockAndWrite(r, o, s);
        dd_.release(s);
    }

    void flip(KivFuzzRandom &r) {
        KivDdNtSurface *a = pick(r), *b = pick(r);
        if (a->gbl.wWidth != b->gbl.wWidth || a->gbl.wHeight != b->gbl.wHeight) return;
        dd_.flip(a, b, r.chance(50) ? ZK_DDFLIP_WAIT : 0);
    }
};

}  // namespace

TEST(FuzzDirectDrawNt, HostileRectanglesNeverReachOutsideTheirSurfaces) {
    ASSERT_EQ(kivMachineBoot(), 1);
    static const KivScreenMode kModes[] = {{1024, 768, 16}, {800, 600, 32}, {640, 480, 8}};
    const KivScreenMode home = *kivScreenMode();
    kivFuzzForEachSeed("fuzz_ddraw_nt", [&](KivFuzzRandom &r, int n) {
        kivVideoPortSim().chip->clearWriteLog();
        zk3EngineClearLog();
        zk3DrawClearErrors();
        kivSetScreenMode(&kModes[n % 3]);
        DirectDrawFuzz fuzz;
        ASSERT_TRUE(fuzz.start());
        fuzz.batch(r);
        fuzz.check();
    });
    kivSetScreenMode(&home);
}

int main(int argc, char **argv) { return kivFuzzMain(argc, argv); }
