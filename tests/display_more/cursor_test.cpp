// The hardware pointer as the engine drives it: shapes, the cache of monochrome shapes, colour
// pointers, moves and hiding, checked on the cursor registers and the images in video memory.
#include "tests/display_more/more_fixture.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr ULONG kDecline = 1, kAccept = 2;

// A 32 x 64 AND-over-XOR mask whose rows are made by a salt.
struct Mask {
    TestBitmap bmp;
    explicit Mask(uint32_t salt, LONG cx = 32, LONG cy = 64) : bmp(cx, cy, BMF_1BPP) {
        uint8_t *bits = static_cast<uint8_t *>(bmp.pso->pvScan0);
        for (LONG i = 0; i < bmp.pso->lDelta * cy; ++i) bits[i] = static_cast<uint8_t>((i * 37 + salt * 101) >> 1);
    }
    std::vector<uint8_t> packed() const {
        std::vector<uint8_t> v(256);
        for (int r = 0; r < 64; ++r)
            std::memcpy(&v[r * 4], static_cast<const uint8_t *>(bmp.pso->pvScan0) + r * bmp.pso->lDelta, 4);
        return v;
    }
    bool andBit(int x, int y) const { return (packed()[y * 4 + x / 8] >> (7 - (x & 7))) & 1; }
};

std::vector<uint16_t> expanded(const Mask &m) {
    std::vector<uint16_t> v(1024);
    vExpandPointerMask(m.packed().data(), v.data());
    return v;
}

}  // namespace

class Pointer : public MoreTest {
protected:
    uint8_t *region() { return static_cast<uint8_t *>(ppdev()->cursorMemory); }
    std::vector<uint16_t> imageAt(ULONG offset) {
        const auto *p = reinterpret_cast<const uint16_t *>(region() + offset);
        return std::vector<uint16_t>(p, p + 1024);
    }
    // The cursor region offset the start registers name.
    ULONG shownOffset() {
        const uint32_t a = uint32_t{chip()->crtc(0x30)} << 16 | uint32_t(chip()->crtc(0x31) >> 3) << 11;
        return a - ppdev()->cursorOffset;
    }
    uint32_t position() { return READ_REGISTER_ULONG(ppdev()->regRange7); }
    static uint32_t pos(LONG x, LONG y) { return uint32_t(uint16_t(y)) << 16 | uint16_t(x); }
    ULONG set(const Mask *mask, SURFOBJ *color, LONG xHot, LONG yHot, LONG x, LONG y) {
        return DrvSetPointerShape(screen, mask ? mask->bmp.pso : nullptr, color, nullptr, xHot, yHot, x, y, nullptr, 0);
    }
};

TEST_F(Pointer, TheRegionIsHeldWhileTheHardwareIsOurs) {
    ZK_PDEV *p = ppdev();
    ASSERT_NE(p->cursorMemory, nullptr);
    const uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p->cursorMemory));
    EXPECT_EQ(p->cursorOffset, address - static_cast<uint32_t>(reinterpret_cast<uintptr_t>(chip()->videoMemory())));
    auto held = [&] {
        const auto &r = zk.state().regions;
        return std::count(r.begin(), r.end(), address);
    };
    EXPECT_EQ(held(), 1);
    ASSERT_TRUE(kivEngineAssertMode(false));
    EXPECT_EQ(held(), 0);
    EXPECT_EQ(p->cursorMemory, nullptr);
    Mask m(1);
    EXPECT_EQ(set(&m, nullptr, 0, 0, 10, 10), kDecline) << "no region: the engine draws the pointer";
    ASSERT_TRUE(kivEngineAssertMode(true));
    EXPECT_EQ(held(), 1);
    EXPECT_EQ(set(&m, nullptr, 0, 0, 10, 10), kAccept);
}

TEST_F(Pointer, MonochromeShapesAreCachedInFourSlots) {
    std::vector<std::unique_ptr<Mask>> masks;
    for (uint32_t i = 0; i < 5; ++i) masks.push_back(std::make_unique<Mask>(i + 1));
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(set(masks[i].get(), nullptr, 0, 0, 50, 60), kAccept);
        EXPECT_EQ(shownOffset(), ULONG(i) * 0x1000) << i;
        EXPECT_EQ(imageAt(i * 0x1000), expanded(*masks[i])) << i;
    }
    // A shape seen before is shown from its slot without being converted again.
    std::memset(region() + 0x1000, 0xA5, 2);
    ASSERT_EQ(set(masks[1].get(), nullptr, 0, 0, 50, 60), kAccept);
    EXPECT_EQ(shownOffset(), 0x1000u);
    EXPECT_EQ(imageAt(0x1000)[0], 0xA5A5u);
    // The fifth shape takes the first slot again, which then no longer answers for the first shape.
    ASSERT_EQ(set(masks[4].get(), nullptr, 0, 0, 50, 60), kAccept);
    EXPECT_EQ(shownOffset(), 0u);
    EXPECT_EQ(imageAt(0), expanded(*masks[4]));
    ASSERT_EQ(set(masks[0].get(), nullptr, 0, 0, 50, 60), kAccept);
    EXPECT_EQ(shownOffset(), 0x1000u);
    EXPECT_EQ(imageAt(0x1000), expanded(*masks[0]));
}

TEST_F(Pointer, MovesFollowTheHotSpotAndHidingPutsThePointerOffScreen) {
    ZK_PDEV *p = ppdev();
    Mask m(7);
    ASSERT_EQ(set(&m, nullptr, 3, 5, 100, 200), kAccept);
    EXPECT_EQ(position(), pos(97, 195));
    DrvMovePointer(screen, 0, 1, nullptr);
    EXPECT_EQ(position(), pos(-3, -4));
    DrvMovePointer(screen, -1, -1, nullptr);
    EXPECT_EQ(position(), pos(LONG(p->cxScreen) + 61, LONG(p->cyScreen) + 59));
    DrvMovePointer(screen, 500, 300, nullptr);
    EXPECT_EQ(position(), pos(497, 295));
    // Double-scanned modes double the vertical position.
    const ULONG cy = p->cyScreen;
    p->cyScreen = 384;
    DrvMovePointer(screen, 500, 300, nullptr);
    EXPECT_EQ(position(), pos(497, 590));
    p->cyScreen = cy;
}

TEST_F(Pointer, OutputsThatOffsetScaleOrClipThePointer) {
    ZK_PDEV *p = ppdev();
    uint32_t saved[8];
    std::memcpy(saved, p->hardwareConfig, sizeof saved);
    Mask m(9);
    // A scaled output: offset, then scaled by 0x100000 / the factor.
    p->hardwareConfig[0] = 1;
    p->hardwareConfig[5] = 1;
    p->hardwareConfig[3] = 0x80000;   // twice as wide
    p->hardwareConfig[4] = 0x200000;  // half as high
    p->hardwareConfig[6] = 10;
    ASSERT_EQ(set(&m, nullptr, 0, 0, 100, 200), kAccept);
    EXPECT_EQ(position(), pos(220, 100));
    // An output that shows nothing below line 475 works on the working image and clears the rows below it.
    p->hardwareConfig[5] = 0;
    ASSERT_EQ(set(&m, nullptr, 0, 0, 100, 100), kAccept);
    EXPECT_EQ(shownOffset(), 0x4000u);
    const std::vector<uint16_t> full = expanded(m);
    EXPECT_EQ(imageAt(0x4000), full);
    DrvMovePointer(screen, 100, 460, nullptr);
    std::vector<uint16_t> clipped = full;
    std::fill(clipped.begin() + 16 * 32, clipped.end(), 0);
    EXPECT_EQ(imageAt(0x4000), clipped);
    DrvMovePointer(screen, 100, 100, nullptr);
    EXPECT_EQ(imageAt(0x4000), full);
    std::memcpy(p->hardwareConfig, saved, sizeof saved);
}

TEST_F(Pointer, ColourPointersAreConvertedToTheCursorFormat) {
    Mask m(11);
    auto expect = [&](uint32_t (*pixel)(int, int), uint16_t (*as555)(uint32_t)) {
        std::vector<uint16_t> want(1024);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                want[y * 32 + x] = static_cast<uint16_t>(as555(pixel(x, y)) | (m.andBit(x, y) ? 0 : 0x8000));
        return want;
    };
    auto p16 = [](int x, int y) { return uint32_t(x * 2049 + y * 67 + 0x8000 * (x & 1)) & 0xFFFF; };
    auto p32 = [](int x, int y) { return uint32_t(x * 0x070503 + y * 0x030507); };
    auto c16 = [](uint32_t v) { return uint16_t(v & 0x7FFF); };
    auto c32 = [](uint32_t v) { return uint16_t((v >> 19 & 31) << 10 | (v >> 11 & 31) << 5 | (v >> 3 & 31)); };

    TestBitmap dib16(32, 32, BMF_16BPP), dib32(32, 32, BMF_32BPP), dib24(32, 32, BMF_24BPP);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            dib16.set(x, y, p16(x, y));
            dib32.set(x, y, p32(x, y));
        }
    ASSERT_EQ(set(&m, dib16.pso, 4, 4, 300, 300), kAccept);
    EXPECT_EQ(shownOffset(), 0x4000u);
    EXPECT_EQ(imageAt(0x4000), expect(p16, c16));
    EXPECT_EQ(position(), pos(296, 296));
    ASSERT_EQ(set(&m, dib32.pso, 0, 0, 300, 300), kAccept);
    EXPECT_EQ(imageAt(0x4000), expect(p32, c32));
    EXPECT_EQ(set(&m, dib24.pso, 0, 0, 300, 300), kDecline);
    // A colour bitmap the driver keeps in video memory.
    KivEngBitmap &dev = make(32, 32);
    ASSERT_TRUE(dev.bDevice);
    for (int y = 0; y < 32; ++y)
        std::memcpy(reinterpret_cast<uint8_t *>(uintptr_t(nodeOf(dev)->address)) + y * nodeOf(dev)->cjStride,
                    static_cast<uint8_t *>(dib16.pso->pvScan0) + y * dib16.pso->lDelta, 64);
    ASSERT_EQ(set(&m, dev.pso, 0, 0, 300, 300), kAccept);
    EXPECT_EQ(imageAt(0x4000), expect(p16, c16));
}

TEST_F(Pointer, ShapesTheHardwareCannotShowAreDeclined) {
    ZK_PDEV *p = ppdev();
    Mask wide(1, 64, 64), square(1, 32, 32), good(2);
    EXPECT_EQ(set(&wide, nullptr, 0, 0, 10, 10), kDecline);
    EXPECT_EQ(set(&square, nullptr, 0, 0, 10, 10), kDecline);
    EXPECT_EQ(set(nullptr, nullptr, 0, 0, 10, 10), kDecline);
    ASSERT_EQ(set(&good, nullptr, 0, 0, 10, 10), kAccept);
    // In the 960 x 720 mode the pointer is the engine's: nothing reaches the registers.
    p->chipFlags |= ZK_MODE_960x720;
    const uint32_t before = position();
    EXPECT_EQ(set(&good, nullptr, 0, 0, 200, 200), kDecline);
    DrvMovePointer(screen, 300, 300, nullptr);
    EXPECT_EQ(position(), before);
    p->chipFlags &= ~ZK_MODE_960x720;
}

// An indexed colour pointer takes its colours from the translation it comes with (the palette
// the image was drawn for), whatever the driver's own palette holds.
class IndexedPointer : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(8));
    }
};

TEST_F(IndexedPointer, ShowsTheColoursOfTheTranslationsPalette) {
    Mask m(21);
    TestBitmap dib8(32, 32, BMF_8BPP);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) dib8.set(x, y, uint32_t(x * 8 + y) & 0xFF);
    // The driver's palette after a change, and another palette the image was made with.
    std::vector<ULONG> driverPal(256), imagePal(256);
    for (ULONG i = 0; i < 256; ++i) {
        driverPal[i] = (i * 3 & 0xFF) | (i * 5 & 0xFF) << 8 | (i * 7 & 0xFF) << 16;
        imagePal[i] = (255 - i) | (i * 11 & 0xFF) << 8 | (i * 13 & 0xFF) << 16;   // red, green, blue
    }
    ASSERT_TRUE(kivEngineSetPalette(0, 256, driverPal.data()));
    auto image = [&](const std::vector<ULONG> &pal) {
        std::vector<uint16_t> want(1024);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const ULONG e = pal[(x * 8 + y) & 0xFF];
                const uint16_t c = uint16_t(((e & 0xFF) >> 3) << 10 | ((e >> 8 & 0xFF) >> 3) << 5 | (e >> 16 & 0xFF) >> 3);
                want[y * 32 + x] = uint16_t(c | (m.andBit(x, y) ? 0 : 0x8000));
            }
        return want;
    };
    auto shown = [&] {
        const auto *p = reinterpret_cast<const uint16_t *>(static_cast<uint8_t *>(ppdev()->cursorMemory) + 0x4000);
        return std::vector<uint16_t>(p, p + 1024);
    };
    KivXlateObj xlate = KivXlateObj::fromPalette(imagePal, [](ULONG e) { return e & 0xFF; });
    ASSERT_EQ(DrvSetPointerShape(screen, m.bmp.pso, dib8.pso, xlate.get(), 0, 0, 100, 100, nullptr, 0), kAccept);
    EXPECT_EQ(shown(), image(imagePal));
    // Another palette, another picture of the same indices.
    std::reverse(imagePal.begin(), imagePal.end());
    KivXlateObj again = KivXlateObj::fromPalette(imagePal, [](ULONG e) { return e & 0xFF; });
    ASSERT_EQ(DrvSetPointerShape(screen, m.bmp.pso, dib8.pso, again.get(), 0, 0, 100, 100, nullptr, 0), kAccept);
    EXPECT_EQ(shown(), image(imagePal));
}
