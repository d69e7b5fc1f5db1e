// Surfaces too large for 32-bit arithmetic at the driver's own entries. DdCreateSurface works
// every road's pitch and block out in 64 bits: it places what video memory holds, hands the
// process's memory sizes that its records carry unwrapped, and refuses the rest. DdLock and
// DdBlt meet records as a runtime that wrapped its arithmetic would have made them (rows that
// do not hold the width, a block past the top of the address space, a negative pitch, no memory
// at all): the lock gives no address and the blit reads nothing, while a sound record of the
// same kind works. Every record's block is real and no larger than the record's own arithmetic
// made it, so a read past it is caught.
#include "tests/display_ddblt/ddblt_fixture.h"

namespace {

constexpr uint64_t kLargest = 0x7FFFFFFF;
constexpr DWORD kVideo = ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY;
constexpr DWORD kPlain = ZK_DDSCAPS_OFFSCREENPLAIN;

class HugeRecords : public DdFixture {};
INSTANTIATE_TEST_SUITE_P(Screen16, HugeRecords, ::testing::Values(16u));

uint64_t roundUp(uint64_t v, uint64_t to) { return (v + to - 1) / to * to; }
// Rows of pixel pairs, two bytes a pixel, in rows of 16 bytes.
uint64_t packedPitch(uint64_t w) { return roundUp(roundUp(w, 2) * 2, 16); }

TEST_P(HugeRecords, CreateWorksSizesOutInSixtyFourBitsAndRefusesWhatNoRecordHolds) {
    struct Kind {
        const char *what;
        uint32_t code;   // FOURCC, or none
        bool fourCc;
        DWORD caps;
        // The pitch of the rows that bound the kind (0: it never goes to the process's memory),
        // and the block the process's memory would get when it is not that pitch x h: a planar
        // kind's, whose Y rows are then laid out on the width rounded to 4.
        uint64_t (*pitch)(uint64_t w);
        uint64_t (*planar)(uint64_t w, uint64_t h);
    };
    const Kind kinds[] = {
        {"the screen's format", 0, false, kVideo, nullptr, nullptr},
        {"FOURCC 0 (the screen's pixels)", 0, true, kVideo, [](uint64_t w) { return roundUp(2 * w, 16); }, nullptr},
        {"YUY2", ZK_FOURCC('Y', 'U', 'Y', '2'), true, kVideo, packedPitch, nullptr},
        // Its packed copy after the planes.
        {"YVU9 off video memory", ZK_FOURCC('Y', 'V', 'U', '9'), true, kPlain, packedPitch,
         [](uint64_t w, uint64_t h) { return packedPitch(w) * h + roundUp(roundUp(w, 4) * roundUp(h, 4) / 8 * 10, 16); }},
        // No overlay: the planes alone, 12 bits a pixel of whole row pairs.
        {"YV12, no overlay", ZK_FOURCC('Y', 'V', '1', '2'), true, kVideo, packedPitch,
         [](uint64_t w, uint64_t h) { return roundUp(roundUp(w, 4) * roundUp(h, 2) / 2 * 3, 16); }},
    };
    const struct {
        uint64_t w, h;
    } sizes[] = {{0x40000001, 3}, {268435457, 8}, {268435457, 1}, {0x7FFFFFFF, 1}, {65536, 65536}, {0xFFFFFFFF, 0xFFFFFFFF}};
    for (const Kind &k : kinds)
        for (const auto &size : sizes) {
            SCOPED_TRACE(::testing::Message() << k.what << ", " << size.w << " x " << size.h);
            Surface s(DWORD(size.w), DWORD(size.h), k.caps, k.code, k.fourCc);
            ZK_DD_CREATESURFACEDATA c{&dd, &s.desc, s.list, 1, -1, nullptr};
            const DWORD handled = DdCreateSurface(&c);
            ASSERT_NE(handled == ZK_DDHAL_HANDLED && c.ddRVal == ZK_DD_OK, true) << "video memory holds none of these";
            // The process's memory, where the kind goes there: the 64-bit pitch and block, or a refusal.
            const uint64_t P = k.pitch ? k.pitch(size.w) : 0;
            // Past the largest pitch the block is too (and is not worked out: it would not fit 64 bits).
            const uint64_t block = P > kLargest ? 0 : k.planar ? k.planar(size.w, size.h) : P * size.h;
            if (k.pitch && (P > kLargest || block > kLargest)) {
                if (handled == ZK_DDHAL_HANDLED) {
                    EXPECT_EQ(c.ddRVal, ZK_DDERR_OUTOFMEMORY);
                } else {
                    EXPECT_NE(s.gbl.fpVidMem, ZK_DDHAL_PLEASEALLOC_USERMEM) << "no process memory asked for";
                }
                continue;
            }
            if (!k.pitch) {
                EXPECT_EQ(handled, ZK_DDHAL_NOTHANDLED);
                EXPECT_EQ(s.gbl.fpVidMem, 0u) << "nothing placed";
                continue;
            }
            ASSERT_EQ(handled, ZK_DDHAL_NOTHANDLED);
            EXPECT_EQ(s.gbl.fpVidMem, ZK_DDHAL_PLEASEALLOC_USERMEM);
            EXPECT_EQ(uint64_t(s.gbl.dwBlockSizeX), block);
            EXPECT_EQ(uint64_t(s.desc.lPitch), k.planar ? roundUp(size.w, 4) : P);
        }
}

TEST_P(HugeRecords, LocksAndBlitsRefuseRecordsWhoseSizesWrapped) {
    Surface dst(64, 32, kVideo);
    make(dst);
    seed(dst, 4);
    struct Record {
        const char *what;
        DWORD w, h;
        LONG pitch;
        size_t block;   // bytes the record's own arithmetic gave
        RECTL corner;   // the far corner a program locks and blits from
        bool sound;
    };
    const Record records[] = {
        {"16 bits x 268,435,457: 4-byte rows and block", 268435457, 1, 4, 4, {268435453, 0, 268435457, 1}, false},
        {"134,217,742 x 64: rows of 268,435,484 bytes in a 1,792-byte block", 134217742, 64, 268435484, 1792,
         {134217738, 62, 134217742, 64}, false},
        {"rows over 2 GB: a negative pitch", 0x40000001, 2, LONG(0x80000010u), 64, {0x3FFFFFFD, 0, 0x40000001, 2}, false},
        {"a sound record of the same kind", 300, 20, 600, 600 * 20, {296, 18, 300, 20}, true},
    };
    for (const Record &k : records) {
        SCOPED_TRACE(k.what);
        Surface s(k.w, k.h, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
        s.gbl.ddpfSurface.dwFlags = ZK_DDPF_RGB;
        s.gbl.ddpfSurface.dwRGBBitCount = 16;
        s.gbl.lPitch = k.pitch;
        s.sysBits.assign(k.block, 0x33);
        s.gbl.fpVidMem = ULONG(reinterpret_cast<uintptr_t>(s.sysBits.data()));
        ZK_DD_LOCKDATA l{&dd, &s.lcl, 1, k.corner, nullptr, -1, nullptr, ZK_DDLOCK_WAIT};
        ASSERT_EQ(DdLock(&l), ZK_DDHAL_HANDLED);
        const RECTL copyTo = rect(2, 3, k.corner.right - k.corner.left, k.corner.bottom - k.corner.top);
        ZK_DD_BLTDATA copy = blt(dst, copyTo, &s, k.corner, ZK_DDBLT_ROP | ZK_DDBLT_WAIT);
        ZK_DD_BLTDATA stretch = blt(dst, rect(20, 3, 11, 7), &s, k.corner, ZK_DDBLT_ROP | ZK_DDBLT_WAIT);
        ASSERT_EQ(run(copy), ZK_DDHAL_HANDLED);
        ASSERT_EQ(run(stretch), ZK_DDHAL_HANDLED);
        if (k.sound) {
            EXPECT_EQ(l.ddRVal, ZK_DD_OK);
            EXPECT_EQ(l.lpSurfData, s.sysBits.data() + 18 * 600 + 296 * 2);
            EXPECT_EQ(copy.ddRVal, ZK_DD_OK);
            EXPECT_EQ(stretch.ddRVal, ZK_DD_OK);
            check(dst, copyTo, [&](LONG, LONG) { return 0x3333u; });
            continue;
        }
        EXPECT_EQ(l.ddRVal, ZK_DDERR_INVALIDPARAMS);
        EXPECT_EQ(copy.ddRVal, ZK_DDERR_UNSUPPORTEDFORMAT);
        EXPECT_EQ(stretch.ddRVal, ZK_DDERR_UNSUPPORTEDFORMAT);
        check(dst, rect(0, 0, 64, 32), [&](LONG x, LONG y) { return pattern(x, y, 4); });
    }
    // A record with no memory (a 0-bit surface given none) has no address to lock.
    Surface none(16, 16, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    none.gbl.ddpfSurface.dwFlags = ZK_DDPF_RGB;
    ZK_DD_LOCKDATA l{&dd, &none.lcl, 0, {}, reinterpret_cast<void *>(1), -1, nullptr, 0};
    ASSERT_EQ(DdLock(&l), ZK_DDHAL_HANDLED);
    EXPECT_EQ(l.ddRVal, ZK_DDERR_SURFACELOST);
}

// A lock's address is the rectangle's first pixel: an empty rectangle on the surface's right or
// bottom edge has none inside the surface and is refused; one inside it gets the address of the
// pixel where it lies.
TEST_P(HugeRecords, EmptyLockRectanglesGetAnAddressOnlyInsideTheSurface) {
    Surface s(40, 12, ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_SYSTEMMEMORY);
    s.gbl.ddpfSurface.dwFlags = ZK_DDPF_RGB;
    s.gbl.ddpfSurface.dwRGBBitCount = 16;
    s.gbl.lPitch = 80;
    s.sysBits.assign(80 * 12, 0);
    s.gbl.fpVidMem = ULONG(reinterpret_cast<uintptr_t>(s.sysBits.data()));
    struct Case {
        RECTL r;
        bool inside;
    };
    const Case cases[] = {
        {{40, 0, 40, 12}, false}, {{0, 12, 40, 12}, false}, {{40, 12, 40, 12}, false},
        {{39, 11, 39, 11}, true},  {{5, 7, 5, 9}, true},     {{39, 11, 40, 12}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.r.left << "," << c.r.top << " " << c.r.right << "," << c.r.bottom);
        ZK_DD_LOCKDATA l{&dd, &s.lcl, 1, c.r, nullptr, -1, nullptr, ZK_DDLOCK_WAIT};
        ASSERT_EQ(DdLock(&l), ZK_DDHAL_HANDLED);
        if (!c.inside) {
            EXPECT_EQ(l.ddRVal, ZK_DDERR_INVALIDRECT);
            continue;
        }
        EXPECT_EQ(l.ddRVal, ZK_DD_OK);
        EXPECT_EQ(l.lpSurfData, s.sysBits.data() + c.r.top * 80 + c.r.left * 2);
    }
}

// DirectDraw works out the address of a surface outside the process's memory from its record,
// within video memory. A record whose rows pass the end of video memory gets no address at all,
// whatever its caps name; a record inside it is passed on.
TEST_P(HugeRecords, LocksOfRecordsPastTheEndOfVideoMemoryGiveNoAddress) {
    const ULONG end = ppdev()->cjVideoMemory;
    struct Record {
        const char *what;
        DWORD caps;
        ULONG fp;
        LONG pitch;
        DWORD h;
        bool inside;
    };
    const Record records[] = {
        {"its last row past the end", ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY, end - 64, 64, 2, false},
        {"rows of 16 MB, caps naming no memory", ZK_DDSCAPS_ZBUFFER, 0x180000, 0x1000000, 1, false},
        {"its last row ending at the end", ZK_DDSCAPS_OFFSCREENPLAIN | ZK_DDSCAPS_VIDEOMEMORY, end - 128, 64, 2, true},
    };
    for (const Record &k : records) {
        SCOPED_TRACE(k.what);
        Surface s(32, k.h, k.caps);
        s.gbl.ddpfSurface.dwFlags = ZK_DDPF_RGB;
        s.gbl.ddpfSurface.dwRGBBitCount = 16;
        s.gbl.lPitch = k.pitch;
        s.gbl.fpVidMem = k.fp;
        ZK_DD_LOCKDATA l{&dd, &s.lcl, 0, {}, nullptr, -1, nullptr, ZK_DDLOCK_WAIT};
        const DWORD handled = DdLock(&l);
        if (k.inside) {
            EXPECT_EQ(handled, ZK_DDHAL_NOTHANDLED) << "DirectDraw works the address out";
            continue;
        }
        ASSERT_EQ(handled, ZK_DDHAL_HANDLED);
        EXPECT_EQ(l.ddRVal, ZK_DDERR_INVALIDPARAMS);
        EXPECT_EQ(l.lpSurfData, nullptr);
    }
}

}  // namespace
