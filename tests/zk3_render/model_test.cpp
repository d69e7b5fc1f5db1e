// The triangle class driven through the engine's FIFO, as a channel would: Z-ordered textures
// in each texel layout, nearest and bilinear, replace and modulate; the clip rectangle's edges;
// what the model reports as protocol errors; and the bounded write logs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_draw.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3_engine_mmio.h"
#include "platform/zk3/zk3_triangle.h"
#include "tests/icd_core/icd_fixture.h"

namespace {

constexpr unsigned kSub = 6;   // the subchannel these tests bind their objects in
constexpr uint32_t kMem = 0x7A000100, kPatchColour = 0x7A000001, kPatchDepth = 0x7A000002;
constexpr uint32_t kSurface = 0x7A000010, kDepth = 0x7A000011, kClip = 0x7A000012, kTri = 0x7A000013;
constexpr int kW = 64, kH = 32;
constexpr uint32_t kDepthAt = 0x2000, kTexAt = 0x4000;
constexpr uint32_t kUnblendedNoDepth = 0x4081CF0;   // no depth test, no blend, clamp both
constexpr uint32_t kDefaultTexture = 0x22100000;     // with clamp both: the white default texture
constexpr uint32_t kRepeatBoth = (kUnblendedNoDepth & ~0xF0u) | 0x10 | 0x40;

uint32_t wordOf(float f) {
    uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

// Bit k of v to bit 2k: the texel index of the Z order, written here from its definition.
uint32_t zOrder(uint32_t x, uint32_t y) {
    uint32_t r = 0;
    for (int k = 0; k < 8; ++k) r |= ((x >> k) & 1u) << (2 * k) | ((y >> k) & 1u) << (2 * k + 1);
    return r;
}

class TriangleClass : public IcdTest {
public:
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x10000, 0);

    static void fifo(unsigned sub, uint32_t method, uint32_t value) {
        kivMmioWrite(zk3EngineFifo() + sub * ZK3_SUBCHANNEL_SIZE + method, value, 4);
    }
    static void create(uint32_t cls, uint32_t handle) {
        fifo(kSub, 0, cls);
        fifo(kSub, 0x300, handle);
    }
    static void load(uint32_t handle, std::initializer_list<std::pair<uint32_t, uint32_t>> methods) {
        fifo(kSub, 0, handle);
        for (const auto &m : methods) fifo(kSub, m.first, m.second);
    }

    void SetUp() override {
        IcdTest::SetUp();
        ASSERT_NE(zk3EngineChip(), nullptr);
        zk3EngineDefineMemory(kMem, 2, uint32_t(reinterpret_cast<uintptr_t>(memory.data())), uint32_t(memory.size() - 1));
        create(0x0E, kPatchColour);
        create(0x0E, kPatchDepth);
        create(0x3E, kSurface);
        create(0x45, kDepth);
        create(0x19, kClip);
        create(0x48, kTri);
        load(kSurface, {{0x200, kPatchColour}, {0x304, kMem}, {0x300, 0x1000000}, {0x308, 2 * kW}, {0x30C, 0}});
        load(kDepth, {{0x200, kPatchDepth}, {0x304, kMem}, {0x308, 2 * kW}, {0x30C, kDepthAt}});
        load(kClip, {{0x200, kPatchColour}});
        load(kTri, {{0x300, kMem}, {0x200, kPatchColour}, {0x204, kPatchDepth}});
        zk3DrawClearErrors();
    }
    void TearDown() override {
        for (uint32_t h : {kTri, kClip, kDepth, kSurface, kPatchDepth, kPatchColour}) {
            const Zk3EngineObject *o = zk3EngineFind(h);
            if (o != nullptr) {
                fifo(kSub, 0, o->cls);
                fifo(kSub, 0x304, h);
            }
        }
        fifo(kSub, 0, 0);
        zk3EngineForgetMemory(kMem);
        zk3DrawClearErrors();
        IcdTest::TearDown();
    }

    void block(uint32_t control, uint32_t format = kDefaultTexture, uint32_t alpha = 0x800, uint32_t fog = 0xFFFFFFFFu) {
        load(kTri, {{0x304, kTexAt}, {0x308, format}, {0x30C, 0}, {0x310, fog}, {0x314, control}, {0x318, alpha}});
    }
    // One vertex at window position (x, y) (the pixel grid's corners are at +0.5), colour, s, t.
    static void vertex(uint32_t tag, float x, float y, uint32_t colour, float s = 0, float t = 0) {
        const uint32_t w[8] = {tag, colour, wordOf(x), wordOf(y), 0, wordOf(1.0f), wordOf(s), wordOf(t)};
        for (int i = 0; i < 8; ++i) fifo(kSub, 0x1000 + 4 * uint32_t(i), w[i]);
    }
    // A quad over the pixels [x0, x1) x [y0, y1) with texture coordinates 0..1 across it.
    static void quad(int x0, int y0, int x1, int y1, uint32_t colour) {
        const float l = float(x0) + 0.5f, t = float(y0) + 0.5f, r = float(x1) + 0.5f, b = float(y1) + 0.5f;
        vertex(0, l, t, colour, 0, 0);
        vertex(1, r, t, colour, 1, 0);
        vertex(0x102, l, b, colour, 0, 1);
        vertex(0x123, r, b, colour, 1, 1);
    }
    uint16_t pixel(int x, int y) const {
        uint16_t v;
        std::memcpy(&v, memory.data() + y * 2 * kW + 2 * x, 2);
        return v;
    }
    uint16_t *texels() { return reinterpret_cast<uint16_t *>(memory.data() + kTexAt); }
};

// 8-bit channel from n bits, rounded; 5 bits from 8, rounded: the model's widening and storing.
int widen(int v, int bits) { return (v * 255 + ((1 << bits) - 1) / 2) / ((1 << bits) - 1); }
int to5(double v) { return int(std::floor(std::clamp(v, 0.0, 255.0) * 31.0 / 255.0 + 0.5)); }
uint16_t pack555(double r, double g, double b) { return uint16_t(to5(r) << 10 | to5(g) << 5 | to5(b)); }

}  // namespace

// A 4 x 4 texture stretched over 32 x 32 pixels: each texel covers 8 x 8, and its place in memory
// is its Z-order index. One case per texel layout and environment.
TEST_F(TriangleClass, NearestTexturesInEveryLayoutReplaceAndModulate) {
    struct Case {
        int layout;
        uint32_t colour;  // the vertex colour: white for replace
    };
    for (const Case c : {Case{1, 0xFFFFFFFFu}, Case{2, 0xFFFFFFFFu}, Case{3, 0xFFFFFFFFu}, Case{3, 0xFF80FF40u},
                         Case{2, 0x80FFC020u}}) {
        SCOPED_TRACE(testing::Message() << "layout " << c.layout << " colour " << std::hex << c.colour);
        double expected[4][4][3];
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 4; ++x) {
                const int r = int(x * 7 + 3), g = int(y * 9 + 1), b = int((x ^ y) * 5 + 2);  // 5-bit values
                uint16_t t = 0;
                double rgb[3];
                if (c.layout == 1) {
                    t = uint16_t(0x8000 | r << 10 | g << 5 | b);
                    rgb[0] = widen(r, 5), rgb[1] = widen(g, 5), rgb[2] = widen(b, 5);
                } else if (c.layout == 2) {
                    t = uint16_t(0xF000 | (r >> 1) << 8 | (g >> 1) << 4 | (b >> 1));
                    rgb[0] = widen(r >> 1, 4), rgb[1] = widen(g >> 1, 4), rgb[2] = widen(b >> 1, 4);
                } else {
                    t = uint16_t(r << 11 | (2 * g) << 5 | b);
                    rgb[0] = widen(r, 5), rgb[1] = widen(2 * g, 6), rgb[2] = widen(b, 5);
                }
                texels()[zOrder(x, y)] = t;
                for (int k = 0; k < 3; ++k) expected[y][x][k] = rgb[k] * double((c.colour >> (16 - 8 * k)) & 0xFF) / 255.0;
            }
        block(kRepeatBoth, 0x22000000u | uint32_t(c.layout) << 20);
        quad(0, 0, 32, 32, c.colour);
        EXPECT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const double *e = expected[y / 8][x / 8];
                ASSERT_EQ(pixel(x, y), pack555(e[0], e[1], e[2])) << x << "," << y;
            }
    }
}

// Bilinear: texel centres at +0.5 texel; a 2 x 2 R5G6B5 texture over 16 x 16 pixels, clamped.
TEST_F(TriangleClass, BilinearFilteringBetweenTexelCentres) {
    const int red[2][2] = {{0, 31}, {31, 0}};
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) texels()[zOrder(x, y)] = uint16_t(red[y / 2][x / 2] << 11);
    // 0x30 | 0xC0: both axes clamp; bit 1: linear. A 4 x 4 R5G6B5 texture of 2 x 2 blocks.
    block(kUnblendedNoDepth | 2, 0x22300000u);
    quad(0, 0, 16, 16, 0xFFFFFFFFu);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            auto at = [&](int tx, int ty) { return double(red[std::clamp(ty, 0, 3) / 2][std::clamp(tx, 0, 3) / 2]) * 255.0 / 31.0; };
            const double u = (x + 0.5) / 4.0 - 0.5, v = (y + 0.5) / 4.0 - 0.5;
            const int x0 = int(std::floor(u)), y0 = int(std::floor(v));
            const double a = u - x0, b = v - y0;
            const double r = (1 - a) * (1 - b) * at(x0, y0) + a * (1 - b) * at(x0 + 1, y0) + (1 - a) * b * at(x0, y0 + 1) +
                             a * b * at(x0 + 1, y0 + 1);
            ASSERT_EQ(pixel(x, y), uint16_t(to5(r) << 10)) << x << "," << y;
        }
}

// The clip rectangle bounds drawing to [x, x + w) x [y, y + h); a quad over everything shows it.
TEST_F(TriangleClass, TheClipRectangleIncludesItsLeftAndTopEdgesOnly) {
    load(kClip, {{0x300, 3u << 16 | 5u}, {0x304, 7u << 16 | 10u}});
    block(kUnblendedNoDepth);
    quad(0, 0, kW, kH, 0xFFFFFFFFu);
    ASSERT_TRUE(zk3DrawErrors().empty()) << zk3DrawErrors().front();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(pixel(x, y), (x >= 5 && x < 15 && y >= 3 && y < 10) ? 0x7FFF : 0) << x << "," << y;
}

// Coverage: the quad [2, 6) x [1, 4) covers exactly those pixels (pixel centres on the quad's
// right and bottom edges fall inside, on its left and top edges outside), and a size-1 point's
// half square holding the lower right corner covers its pixel.
TEST_F(TriangleClass, CoverageOfSquaresAndTheHalfSquareOfAPoint) {
    block(kUnblendedNoDepth);
    quad(2, 1, 6, 4, 0xFF00FF00u);
    vertex(0, 20.5f, 10.5f, 0xFFFF0000u);
    vertex(1, 21.5f, 11.5f, 0xFFFF0000u);
    vertex(0x102, 20.5f, 11.5f, 0xFFFF0000u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const uint16_t want = (x >= 2 && x < 6 && y >= 1 && y < 4) ? 0x03E0 : (x == 20 && y == 10) ? 0x7C00 : 0;
            ASSERT_EQ(pixel(x, y), want) << x << "," << y;
        }
}

// What the model reports: a method the class does not have, a vertex cut short, a blend word
// outside the table, a texture in a freed heap block. Tests elsewhere assert these lists empty.
TEST_F(TriangleClass, ProtocolFaultsAreReported) {
    struct Case {
        const char *what;
        void (*run)(TriangleClass *);
    };
    const Case cases[] = {
        {"is not the triangle class's", [](TriangleClass *) { fifo(kSub, 0x400, 1); }},
        {"cut short",
         [](TriangleClass *) {
             fifo(kSub, 0x1000, 0);
             fifo(kSub, 0x1004, 0);
             fifo(kSub, 0x314, kUnblendedNoDepth);
         }},
        {"not in the chip's table",
         [](TriangleClass *t) {
             t->block(0x70000F00u | (kUnblendedNoDepth & 0x0FFFF0FFu));
             t->quad(0, 0, 4, 4, 0xFFFFFFFFu);
         }},
        {"free heap block",
         [](TriangleClass *t) {
             std::memcpy(t->memory.data() + kTexAt - 32, "FREE", 4);
             t->block(kRepeatBoth, 0x22300000u);
             t->quad(0, 0, 4, 4, 0xFFFFFFFFu);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        zk3DrawClearErrors();
        fifo(kSub, 0, kTri);
        c.run(this);
        ASSERT_FALSE(zk3DrawErrors().empty());
        EXPECT_NE(zk3DrawErrors().front().find(c.what), std::string::npos) << zk3DrawErrors().front();
    }
    zk3DrawClearErrors();
}

// A long-running program: the engine's and the register file's logs keep the recent writes, the
// counters all of them.
TEST_F(TriangleClass, TheWriteLogsStayBounded) {
    const size_t keep = zk3EngineLogKeep();
    const uint64_t before = zk3EngineWriteCount();
    fifo(kSub, 0, kTri);
    const uint32_t n = uint32_t(3 * keep + 17);
    for (uint32_t i = 0; i < n; ++i) fifo(kSub, 0x30C, i);
    EXPECT_EQ(zk3EngineWriteCount() - before, n + 1);
    EXPECT_GE(zk3EngineLog().size(), keep);
    EXPECT_LE(zk3EngineLog().size(), 2 * keep);
    EXPECT_EQ(zk3EngineLog().back().value, n - 1);
    EXPECT_EQ(zk3EngineLog().back().method, 0x30C);

    kiv::ZkChip chip(kiv::ZkChipConfig{});
    const uint32_t m = uint32_t(2 * kiv::ZkChip::kLogKeep + 5);
    for (uint32_t i = 0; i < m; ++i) chip.write(0x100, i, 4);
    EXPECT_EQ(chip.writeCount(), m);
    EXPECT_GE(chip.writeLog().size(), kiv::ZkChip::kLogKeep);
    EXPECT_LE(chip.writeLog().size(), 2 * kiv::ZkChip::kLogKeep);
    EXPECT_EQ(chip.writeLog().back().value, m - 1);
}

// A client's command buffer as the pusher sees it: a push must not run into the start of another
// part pushed from before, and the words of the previous push must stay as they were until the
// next push; a buffer that alternates halves and refills each only after pushing the other is
// clean.
TEST_F(TriangleClass, CommandHalvesAlteredOrOverrunAreReported) {
    constexpr uint32_t kPush = 0x7A000200;
    std::vector<uint32_t> buffer(0x200, 0);
    zk3EngineDefineMemory(kPush, 2, uint32_t(reinterpret_cast<uintptr_t>(buffer.data())), uint32_t(4 * buffer.size() - 1));
    uint8_t *regs = zk3EnginePusherRegs();
    const uint32_t saved[4] = {*reinterpret_cast<uint32_t *>(regs + 0x1200), *reinterpret_cast<uint32_t *>(regs + 0x1204),
                               *reinterpret_cast<uint32_t *>(regs + 0x1224), *reinterpret_cast<uint32_t *>(regs + 0x1228)};
    fifo(kSub, 0, kTri);
    // Two words at word `at`: the triangle object's quality method, a harmless state write.
    auto fillAt = [&](uint32_t at, uint32_t value) {
        buffer[at] = 1u << 18 | kSub << 13 | 0x30C;
        buffer[at + 1] = value;
    };
    auto push = [&](uint32_t startWord, uint32_t words) {
        for (uint32_t off : {0x500u, 0x1200u, 0x1240u}) kivMmioWrite(regs + off, 1, 4);
        kivMmioWrite(regs + 0x1204, kPush, 4);
        kivMmioWrite(regs + 0x1228, 4 * startWord, 4);
        kivMmioWrite(regs + 0x1224, 4 * words, 4);
        kivMmioWrite(regs + 0x1220, 1, 4);
    };
    const uint64_t clean = zk3EngineErrorCount();
    fillAt(0, 1);
    push(0, 2);
    fillAt(0x100, 2);
    push(0x100, 2);
    fillAt(0, 3);     // half A refilled after half B went
    push(0, 2);
    EXPECT_EQ(zk3EngineErrorCount(), clean) << zk3EngineErrors().back();

    buffer[1] = 4;    // half A altered after its push
    fillAt(0x100, 5);
    push(0x100, 2);
    ASSERT_EQ(zk3EngineErrorCount(), clean + 1);
    EXPECT_NE(zk3EngineErrors().back().find("changed before the next push"), std::string::npos);

    for (uint32_t w = 0; w < 0x102; w += 2) fillAt(w, w);   // half A written on into half B
    push(0, 0x102);
    ASSERT_EQ(zk3EngineErrorCount(), clean + 2);
    EXPECT_NE(zk3EngineErrors().back().find("runs into the part of the buffer pushed from 0x400"), std::string::npos)
        << zk3EngineErrors().back();

    const uint32_t offsets[4] = {0x1200, 0x1204, 0x1224, 0x1228};
    for (int i = 0; i < 4; ++i) *reinterpret_cast<uint32_t *>(regs + offsets[i]) = saved[i];
    zk3EngineForgetMemory(kPush);
}
