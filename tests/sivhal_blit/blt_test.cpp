// Blits through DirectDraw: fills, copies within and between surfaces, colour keys, clipping and
// uploads from system memory, checked on the pixels in video memory; and what the engine
// cannot do is left to DirectDraw.
#include "tests/sivhal_blit/blit_fixture.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

class Blits : public BlitMachine {
protected:
    void SetUp() override { Boot(640, 480, 16); }
};

TEST_F(Blits, FillsWriteTheRectangleOnly) {
    TestSurface *s = Offscreen(200, 100);
    Paint(s);
    const std::vector<uint32_t> before = Image(s);
    kivSivClearWriteLog();
    Ddraw9xResult r = Fill(s, {10, 20, 110, 70}, 0xF81F);   // 100 x 50
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(r.handled, 1u);
    // The size field counts width - 1; the command goes last and starts the engine.
    EXPECT_EQ(Reg(0xA504), (99u << 16) | 50u);
    ASSERT_FALSE(Writes().empty());
    EXPECT_EQ(Writes().back().offset, 0xA500u);
    EXPECT_EQ(Writes().back().value, 0x07E00120u | 4u);
    for (LONG y = 0; y < 100; y++)
        for (LONG x = 0; x < 200; x++) {
            bool inside = x >= 10 && x < 110 && y >= 20 && y < 70;
            ASSERT_EQ(Pixel(s, x, y), inside ? 0xF81Fu : before[y * 200 + x]) << x << "," << y;
        }

    // Depth fills go to any surface as 16-bit values; BLACKNESS and WHITENESS need no source.
    TestSurface *z = Offscreen(64, 32, DDSCAPS_ZBUFFER);
    DDBLTFX fx{};
    fx.dwFillDepth = 0xBEEF;
    EXPECT_EQ(Blt(z, {0, 0, 64, 32}, nullptr, {}, DDBLT_DEPTHFILL, fx).result, DD_OK);
    EXPECT_EQ(Reg(0xA500), 0x07E00124u);
    EXPECT_EQ(Pixel(z, 0, 0), 0xBEEFu);
    EXPECT_EQ(Pixel(z, 63, 31), 0xBEEFu);
    EXPECT_EQ(Blt(s, {0, 0, 4, 4}, nullptr, {}, DDBLT_ROP, Rop(DD_ROP_WHITENESS)).result, DD_OK);
    EXPECT_EQ(Pixel(s, 3, 3), 0xFFFFu);
    EXPECT_EQ(Blt(s, {2, 2, 4, 4}, nullptr, {}, DDBLT_ROP, Rop(DD_ROP_BLACKNESS)).result, DD_OK);
    EXPECT_EQ(Pixel(s, 3, 3), 0u);
    EXPECT_EQ(Pixel(s, 1, 1), 0xFFFFu);
    EXPECT_EQ(kivSiv2dStats()->pixelsOutside, 0u);
}

TEST_F(Blits, OverlappingCopiesWithinASurfaceDoNotSmear) {
    struct Move {
        const char *name;
        LONG dx, dy;
        bool leftToRight, topToBottom;
    };
    const Move moves[] = {
        {"right", 10, 0, false, true}, {"down", 0, 10, true, false}, {"left", -10, 0, true, true},
        {"up", 0, -10, true, true},    {"down-right", 3, 5, false, false},
    };
    TestSurface *s = Offscreen(120, 90);
    for (const Move &m : moves) {
        SCOPED_TRACE(m.name);
        Paint(s);
        const std::vector<uint32_t> before = Image(s);
        const RECTL src = {20, 20, 80, 60};
        const RECTL dst = {src.left + m.dx, src.top + m.dy, src.right + m.dx, src.bottom + m.dy};
        Ddraw9xResult r = Blt(s, dst, s, src, DDBLT_ROP, Rop(DD_ROP_SRCCOPY));
        ASSERT_EQ(r.result, DD_OK);
        EXPECT_EQ((Reg(0xA500) >> 25) & 1, m.leftToRight ? 1u : 0u);
        EXPECT_EQ((Reg(0xA500) >> 26) & 1, m.topToBottom ? 1u : 0u);
        for (LONG y = 0; y < 90; y++)
            for (LONG x = 0; x < 120; x++) {
                bool inside = x >= dst.left && x < dst.right && y >= dst.top && y < dst.bottom;
                uint32_t want = inside ? before[(y - m.dy) * 120 + (x - m.dx)] : before[y * 120 + x];
                ASSERT_EQ(Pixel(s, x, y), want) << x << "," << y;
            }
    }
}

TEST_F(Blits, SourceKeyedCopyBetweenSurfacesSkipsTheKey) {
    TestSurface *src = Offscreen(32, 16), *dst = Offscreen(64, 32);
    Paint(src);
    Paint(dst);
    const std::vector<uint32_t> before = Image(dst);
    const uint32_t key = 0x07E0;
    for (LONG x = 0; x < 32; x += 3)
        SetPixel(src, x, 5, key);
    // The application's blit key of the source surface, as DirectDraw keeps it.
    DDCOLORKEY ck = {key, key};
    EXPECT_EQ(kivDdraw9xSetColorKey(&drv, &src->lcl, DDCKEY_SRCBLT, &ck).result, DD_OK);
    Ddraw9xResult r = Blt(dst, {8, 4, 40, 20}, src, {0, 0, 32, 16}, DDBLT_ROP | 0x8000 /* DDBLT_KEYSRC */,
                          Rop(DD_ROP_SRCCOPY));
    ASSERT_EQ(r.result, DD_OK);
    EXPECT_EQ(Reg(0xA4FC), key);
    EXPECT_EQ(Reg(0xA500), 0x07980020u | 4u | (1u << 9));
    EXPECT_EQ(Reg(0xA4E4), static_cast<uint32_t>(dst->gbl.lPitch) << 16 | static_cast<uint32_t>(src->gbl.lPitch));
    for (LONG y = 0; y < 16; y++)
        for (LONG x = 0; x < 32; x++) {
            uint32_t s = Pixel(src, x, y);
            ASSERT_EQ(Pixel(dst, x + 8, y + 4), s == key ? before[(y + 4) * 64 + x + 8] : s) << x << "," << y;
        }
}

TEST_F(Blits, ClippedBlitsDrawInsideTheClipListOnly) {
    TestSurface *src = Offscreen(64, 64), *dst = Offscreen(64, 64);
    Paint(src);
    std::memset(At(dst, 0, 0), 0, static_cast<size_t>(dst->gbl.lPitch) * 64);
    const std::vector<RECTL> clip = {{0, 0, 20, 64}, {40, 10, 64, 30}};
    Ddraw9xResult r = Blt(dst, {10, 5, 50, 45}, src, {0, 0, 40, 40}, DDBLT_ROP, Rop(DD_ROP_SRCCOPY), clip);
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(r.handled, 1u);
    for (LONG y = 0; y < 64; y++)
        for (LONG x = 0; x < 64; x++) {
            bool inDest = x >= 10 && x < 50 && y >= 5 && y < 45;
            bool inClip = false;
            for (const RECTL &c : clip)
                inClip |= x >= c.left && x < c.right && y >= c.top && y < c.bottom;
            ASSERT_EQ(Pixel(dst, x, y), inDest && inClip ? Pixel(src, x - 10, y - 5) : 0u) << x << "," << y;
        }
    // A clipped fill as well.
    r = Fill(dst, {0, 0, 64, 64}, 0x1234);
    EXPECT_EQ(Pixel(dst, 63, 63), 0x1234u);
}

TEST_F(Blits, WhatTheEngineCannotDoIsLeftToDirectDraw) {
    TestSurface *a = Offscreen(64, 64), *b = Offscreen(64, 64);
    TestSurface *other = Offscreen(64, 64);
    WithFormat(other, DDPIXELFORMAT{32, DDPF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0});   // 5-5-5
    std::vector<uint16_t> memory(64 * 64);
    TestSurface *sys = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN, 64, 64,
                            static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(memory.data())), 128);
    struct Case {
        const char *name;
        TestSurface *dst;
        RECTL rd;
        TestSurface *src;
        RECTL rs;
        DWORD flags;
        DWORD rop;
    };
    const Case cases[] = {
        {"stretch", b, {0, 0, 40, 40}, a, {0, 0, 20, 20}, DDBLT_ROP, DD_ROP_SRCCOPY},
        {"other ROP", b, {0, 0, 8, 8}, a, {0, 0, 8, 8}, DDBLT_ROP, 0x005A0049},
        {"destination key", b, {0, 0, 8, 8}, a, {0, 0, 8, 8}, DDBLT_ROP | 0x2000, DD_ROP_SRCCOPY},
        {"copy between formats", other, {0, 0, 8, 8}, a, {0, 0, 8, 8}, DDBLT_ROP, DD_ROP_SRCCOPY},
        {"fill of another format", other, {0, 0, 8, 8}, nullptr, {}, DDBLT_COLORFILL, 0},
        {"no operation", b, {0, 0, 8, 8}, a, {0, 0, 8, 8}, 0, 0},
        {"into system memory", sys, {0, 0, 8, 8}, nullptr, {}, DDBLT_COLORFILL, 0},
    };
    // The first blit after the mode set takes the engine back from the driver's Direct3D context
    // (with a one-pixel copy); from then on the engine is the 2D driver's.
    EXPECT_EQ(Fill(b, {0, 0, 1, 1}, 0).result, DD_OK);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        kivSiv2dClearStats();
        Ddraw9xResult r = Blt(c.dst, c.rd, c.src, c.rs, c.flags, Rop(c.rop));
        EXPECT_EQ(r.handled, 0u);
        EXPECT_EQ(r.result, DDERR_UNSUPPORTED);
        EXPECT_EQ(kivSiv2dStats()->commands, 0u);
    }
    // Bad rectangles: outside the surface is refused; an empty one draws nothing.
    EXPECT_EQ(Blt(b, {60, 0, 70, 8}, a, {0, 0, 10, 8}, DDBLT_ROP, Rop(DD_ROP_SRCCOPY)).result, DDERR_INVALIDRECT);
    kivSiv2dClearStats();
    Ddraw9xResult r = Fill(b, {5, 5, 5, 9}, 0xFFFF);
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(kivSiv2dStats()->commands, 0u);
}

TEST_F(Blits, StatusFollowsTheEngine) {
    TestSurface *s = Offscreen(8, 8);
    EXPECT_EQ(kivDdraw9xGetBltStatus(&drv, &s->lcl, DDGBS_ISBLTDONE).result, DD_OK);
    chip->engineBusy = 1;
    EXPECT_EQ(kivDdraw9xGetBltStatus(&drv, &s->lcl, DDGBS_ISBLTDONE).result, DDERR_WASSTILLDRAWING);
    EXPECT_EQ(kivDdraw9xGetBltStatus(&drv, &s->lcl, DDGBS_CANBLT).result, DDERR_WASSTILLDRAWING);
    chip->engineBusy = 0;
}

// An engine whose FIFO never frees, or that stays busy for ever: the blits that wait on it return
// DDERR_WASSTILLDRAWING within the HAL's bound, and once the engine answers the next blit draws.
TEST_F(Blits, AnEngineThatStopsAnsweringFailsTheBlitAndTheNextOneDraws) {
    TestSurface *s = Offscreen(16, 8), *d = Offscreen(16, 8);
    Paint(s);
    std::vector<uint16_t> memory(16 * 8, 0x0456);
    TestSurface *sys = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN, 16, 8,
                            static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(memory.data())), 32);
    DDBLTFX key = Rop(DD_ROP_SRCCOPY);
    key.ddckSrcColorkey = {0x1234, 0x1234};
    enum Blit { kFill, kKeyedCopy, kUpload };
    struct Fault {
        const char *what;
        void (*hold)(SivChip *chip, bool on);
        Blit blit;   // a fill waits for FIFO room, a keyed copy and an upload for an idle engine
    };
    const Fault faults[] = {
        {"FIFO never frees", [](SivChip *c, bool on) { c->fifoFreeSlots = on ? 0 : 16; }, kFill},
        {"engine busy for ever", [](SivChip *c, bool on) { c->engineBusy = on ? 1 : 0; }, kKeyedCopy},
        {"engine busy for ever, upload", [](SivChip *c, bool on) { c->engineBusy = on ? 1 : 0; }, kUpload},
    };
    for (const Fault &f : faults) {
        SCOPED_TRACE(f.what);
        auto blit = [&] {
            switch (f.blit) {
            case kKeyedCopy: return Blt(d, {0, 0, 16, 8}, s, {0, 0, 16, 8}, DDBLT_ROP | DDBLT_KEYSRCOVERRIDE, key);
            case kUpload: return Blt(d, {0, 0, 16, 8}, sys, {0, 0, 16, 8}, DDBLT_ROP, Rop(DD_ROP_SRCCOPY));
            default: return Fill(d, {0, 0, 16, 8}, 0x0321);
            }
        };
        f.hold(chip, true);
        EXPECT_EQ(blit().result, DDERR_WASSTILLDRAWING);
        f.hold(chip, false);
        EXPECT_EQ(blit().result, DD_OK);
        EXPECT_EQ(Pixel(d, 5, 3), f.blit == kKeyedCopy ? Pixel(s, 5, 3) : f.blit == kUpload ? 0x0456u : 0x0321u);
    }
}

// The 8-bit display: byte keys and uploads of lines that are not whole dwords.
class Blits8 : public BlitMachine {
protected:
    void SetUp() override { Boot(640, 480, 8); }
};

TEST_F(Blits8, ByteKeyIsARangeOfOne) {
    TestSurface *s = Offscreen(16, 4), *d = Offscreen(16, 4);
    Paint(s);
    std::memset(At(d, 0, 0), 0xEE, static_cast<size_t>(d->gbl.lPitch) * 4);
    SetPixel(s, 3, 1, 0x12);
    SetPixel(s, 4, 1, 0x13);
    DDBLTFX fx = Rop(DD_ROP_SRCCOPY);
    fx.ddckSrcColorkey = {0x12, 0x12};
    ASSERT_EQ(Blt(d, {0, 0, 16, 4}, s, {0, 0, 16, 4}, DDBLT_ROP | DDBLT_KEYSRCOVERRIDE, fx).result, DD_OK);
    EXPECT_EQ(Reg(0xA4FC), 0x1212u);
    EXPECT_EQ(Pixel(d, 3, 1), 0xEEu);
    EXPECT_EQ(Pixel(d, 4, 1), 0x13u);
}

TEST_F(Blits8, UploadSendsWholeDwordsAndReadsNoFurtherThanTheRectangle) {
    // The source's last line ends where its memory ends: the page after it is unreadable.
    const long page = sysconf(_SC_PAGESIZE);
    auto *mem = static_cast<uint8_t *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(mem, MAP_FAILED);
    ASSERT_EQ(mprotect(mem + page, page, PROT_NONE), 0);
    const LONG pitch = 3, lines = 5;
    uint8_t *pixels = mem + page - pitch * lines;
    for (LONG i = 0; i < pitch * lines; i++)
        pixels[i] = static_cast<uint8_t>(0x40 + i);
    TestSurface *sys = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN, 3, 5,
                            static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(pixels)), pitch);
    TestSurface *d = Offscreen(16, 8);
    std::memset(At(d, 0, 0), 0, static_cast<size_t>(d->gbl.lPitch) * 8);
    Ddraw9xResult r = Blt(d, {4, 2, 7, 7}, sys, {0, 0, 3, 5}, DDBLT_ROP, Rop(DD_ROP_SRCCOPY));
    // The upload is the whole blit: DirectDraw is told it is done.
    EXPECT_EQ(r.result, DD_OK);
    EXPECT_EQ(r.handled, 1u);
    EXPECT_EQ(Reg(0xA500), 0x079808A0u);
    EXPECT_EQ(Reg(0xA504), (2u << 16) | 5u);
    EXPECT_EQ(kivSiv2dStats()->hostDwords, 5u);   // one dword per 3-byte line
    EXPECT_EQ(kivSiv2dStats()->strayHostDwords, 0u);
    for (LONG y = 0; y < 8; y++)
        for (LONG x = 0; x < 16; x++) {
            bool inside = x >= 4 && x < 7 && y >= 2 && y < 7;
            ASSERT_EQ(Pixel(d, x, y), inside ? pixels[(y - 2) * pitch + (x - 4)] : 0u) << x << "," << y;
        }
    munmap(mem, 2 * page);
}

TEST_F(Blits8, MipChainUploadsEveryLevel) {
    TestSurface *src[3], *dst[3];
    std::vector<std::vector<uint8_t>> mem;
    for (int i = 0; i < 3; i++) {
        WORD n = static_cast<WORD>(16 >> i);
        mem.emplace_back(n * n);
        for (size_t k = 0; k < mem.back().size(); k++)
            mem.back()[k] = static_cast<uint8_t>(i * 50 + k);
        src[i] = Make(DDSCAPS_SYSTEMMEMORY | DDSCAPS_TEXTURE | DDSCAPS_MIPMAP, n, n,
                      static_cast<FLATPTR>(reinterpret_cast<uintptr_t>(mem.back().data())), n);
        dst[i] = Offscreen(n, n, DDSCAPS_TEXTURE | DDSCAPS_MIPMAP);
        std::memset(At(dst[i], 0, 0), 0, static_cast<size_t>(dst[i]->gbl.lPitch) * n);
    }
    for (int i = 0; i < 2; i++) {
        src[i]->lcl.lpAttachList = &src[i + 1]->lcl;
        dst[i]->lcl.lpAttachList = &dst[i + 1]->lcl;
    }
    src[0]->lcl.dwMipMapCount = 3;
    Ddraw9xResult r = Blt(dst[0], {0, 0, 16, 16}, src[0], {0, 0, 16, 16}, DDBLT_ROP, Rop(DD_ROP_SRCCOPY));
    EXPECT_EQ(r.result, DD_OK);
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        LONG n = 16 >> i;
        EXPECT_EQ(Pixel(dst[i], 0, 0), mem[i][0]);
        EXPECT_EQ(Pixel(dst[i], n - 1, n - 1), mem[i][n * n - 1]);
    }
}

}  // namespace
