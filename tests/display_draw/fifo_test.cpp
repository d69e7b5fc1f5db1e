// The FIFO discipline and transfers seen in the engine's write log, and the copies between
// video and system memory.
#include "tests/display_draw/draw_fixture.h"

#include <cstring>

class Fifo : public DrawTest {
protected:
    void SetUp() override {
        DrawTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(start(16));
    }
    // Image-data methods written for one row of n bytes, and the last value.
    std::vector<uint16_t> rowMethods(ULONG n, uint32_t *last) {
        std::vector<uint8_t> row(n);
        for (ULONG i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(0xA0 + i);
        zk3EngineClearLog();
        vPushImageRows(ppdev(), n, 1, row.data(), static_cast<LONG>(n));
        std::vector<uint16_t> m;
        for (const Zk3FifoWrite &w : writes(ZK_SUB_IMAGE)) {
            m.push_back(w.method);
            *last = w.value;
        }
        return m;
    }
};

namespace {
std::vector<uint16_t> run(uint16_t first, unsigned n) {
    std::vector<uint16_t> v;
    for (unsigned i = 0; i < n; ++i) v.push_back(static_cast<uint16_t>(first + 4 * i));
    return v;
}
std::vector<uint16_t> cat(std::initializer_list<std::vector<uint16_t>> parts) {
    std::vector<uint16_t> v;
    for (const auto &p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}
}  // namespace

TEST_F(Fifo, ImageRowsGoInBurstsThatFitTheFifo) {
    uint32_t last = 0;
    EXPECT_EQ(rowMethods(123, &last), cat({run(0x400, 16), run(0x400, 8), run(0x400, 4), run(0x400, 2), run(0x400, 1)}));
    EXPECT_EQ(last, 0x001A1918u) << "the last 3 bytes in one dword, first byte lowest";
    EXPECT_EQ(rowMethods(127, &last), cat({run(0x400, 31), run(0x400, 1)}));
    EXPECT_EQ(last, 0x001E1D1Cu);
    EXPECT_EQ(rowMethods(3, &last), run(0x400, 1));
    EXPECT_EQ(last, 0x00A2A1A0u);
    zk3DrawClearErrors();   // the rows went without an image started: the engine drew nothing
}

TEST_F(Fifo, FreeSpaceIsReadOnlyWhenTheCachedCountIsShort) {
    ZK_PDEV *p = ppdev();
    p->usFifoFree = 0;
    const uint64_t before = zk3EngineFreeCountReads();
    std::vector<uint8_t> row(248, 1);
    vPushImageRows(p, 248, 1, row.data(), 248);   // two bursts of 124 bytes
    EXPECT_EQ(zk3EngineFreeCountReads() - before, 2u);
    EXPECT_EQ(p->usFifoFree, 0u);
    // A stalled FIFO is waited for: the writer polls until the engine reports room.
    p->usFifoFree = 0;
    zk3EngineHoldFreeCount(5, 8);
    vPushImageRows(p, 16, 1, row.data(), 16);
    EXPECT_EQ(zk3EngineFreeCountReads() - before, 2u + 6u);
    zk3DrawClearErrors();
}

// The drawing data stream (glyph bits): every dword to the monochrome object's one data method,
// in order; room for a group of four, then for each of the last one to three; the free count read
// only while the cached one is short, and a chip already marked stalled asked once per group
// rather than waited for again (each wait would cost the whole limit).
TEST_F(Fifo, DataGoesToTheMonochromeDataPortInGroupsOfFour) {
    ZK_PDEV *p = ppdev();
    const uint32_t data[7] = {0x11111111, 0x22222222, 0x33333333, 0x44444444, 0x55555555, 0x66666666, 0x77777777};
    struct Case {
        bool stalled;
        uint64_t reads;       // free-count reads the stream makes
        uint16_t freeAfter;   // the cached count it leaves
    } cases[] = {{false, 1, ZK3_FIFO_FREE_EMPTY - 28}, {true, 4, 0}};
    for (const Case &c : cases) {
        p->usFifoFree = 0;
        p->bChipStalled = c.stalled;
        if (c.stalled) zk3EngineHoldFreeCount(1000, 0);
        zk3EngineClearLog();
        const uint64_t before = zk3EngineFreeCountReads();
        vPushGlyphData(p, data, 7);
        EXPECT_EQ(zk3EngineFreeCountReads() - before, c.reads) << "stalled " << c.stalled;
        EXPECT_EQ(p->usFifoFree, c.freeAfter) << "stalled " << c.stalled;
        const std::vector<Zk3FifoWrite> w = writes(ZK_SUB_MONO);
        ASSERT_EQ(w.size(), 7u) << "a FIFO without room is written all the same";
        for (size_t i = 0; i < w.size(); ++i) {
            EXPECT_EQ(w[i].method, ZK_MONO_C_DATA) << i;
            EXPECT_EQ(w[i].value, data[i]) << i;
        }
    }
    zk3EngineHoldFreeCount(0, 0);
    p->bChipStalled = false;
    zk3DrawClearErrors();   // the data went without a glyph started: the engine drew nothing
}

// The shared data stream: every dword to method 0x400 of subchannel 2, in order and nowhere else.
// A group of four waits for 16 bytes even when fewer would hold the next dword, each of the last
// one to three for 4; the free count starts from the caller's, is read (the FIFO is empty: 124)
// only while it is short, and goes back to the caller. A held count below the need is read again
// until the room comes.
TEST_F(Fifo, DataStreamGoesToSubchannel2InGroupsOfFour) {
    ZK_PDEV *p = ppdev();
    const uint16_t E = ZK3_FIFO_FREE_EMPTY;
    struct Case {
        ULONG cdw;
        uint16_t freeBefore;
        unsigned held;        // free-count reads that answer 8 first
        uint64_t reads;
        uint16_t freeAfter;
    } cases[] = {
        {0, 7, 0, 0, 7},                 // nothing written, the count handed back as it was
        {1, 4, 0, 0, 0},
        {1, 3, 0, 1, E - 4},
        {3, 8, 0, 1, E - 4},             // 8 -> 4 -> 0, the third reads the FIFO
        {4, 16, 0, 0, 0},
        {4, 15, 0, 1, E - 16},           // a group waits for 16 though three dwords would fit
        {5, 20, 0, 0, 0},
        {6, 19, 0, 1, E - 8},            // 19 -> 3 after the group; the first single reads
        {7, 0, 0, 1, E - 28},
        {8, 16, 0, 1, E - 16},
        {9, 124, 0, 0, 124 - 36},
        {4, 0, 2, 3, E - 16},            // 8, 8, then the room
        {2, 0, 1, 1, 8 - 4 - 4},         // 8 holds both singles
    };
    uint32_t data[9];
    for (unsigned i = 0; i < 9; ++i) data[i] = 0x01010101u * (i + 1) ^ 0x80000000u;
    for (const Case &c : cases) {
        uint16_t free = c.freeBefore;
        zk3EngineHoldFreeCount(c.held, 8);
        zk3EngineClearLog();
        const uint64_t before = zk3EngineFreeCountReads();
        vFifoWriteData(c.cdw, &free, data, p->fifo);
        const std::string at = std::to_string(c.cdw) + " dwords from " + std::to_string(c.freeBefore);
        EXPECT_EQ(zk3EngineFreeCountReads() - before, c.reads) << at;
        EXPECT_EQ(free, c.freeAfter) << at;
        const std::vector<Zk3FifoWrite> &log = zk3EngineLog();
        ASSERT_EQ(log.size(), c.cdw) << at;
        for (size_t i = 0; i < log.size(); ++i) {
            EXPECT_EQ(log[i].subchannel, ZK_SUB_MONO) << at << ", dword " << i;
            EXPECT_EQ(log[i].method, 0x400u) << at << ", dword " << i;
            EXPECT_EQ(log[i].value, data[i]) << at << ", dword " << i;
        }
    }
    zk3EngineHoldFreeCount(0, 0);
    zk3DrawClearErrors();
}

TEST_F(Fifo, SurfacesAreProgrammedOnlyWhenTheyChange) {
    ZK_PDEV *p = ppdev();
    zk3EngineClearLog();
    vSetDestinationSurface(p, 0x1000, 512);
    vSetDestinationSurface(p, 0x1000, 512);
    auto w = writes(ZK_SUB_SURFACE);
    ASSERT_EQ(w.size(), 3u) << "bind once (subchannel 7 held another object), offset, pitch";
    EXPECT_EQ(w[0].method, 0u);
    EXPECT_EQ(w[0].value, ZK_OBJ_DST_SURFACE);
    EXPECT_EQ(w[1].value, 0x1000u);
    EXPECT_EQ(w[2].value, 512u);
    zk3EngineClearLog();
    vSetDestinationSurface(p, 0, static_cast<uint32_t>(p->lDelta));
    EXPECT_EQ(writes(ZK_SUB_SURFACE).size(), 2u) << "no second bind";
    zk3EngineClearLog();
    vSetSourceSurface(p, 64, 128);
    vSetSourceSurface(p, 64, 128);
    w = writes(ZK_SUB_PATTERN);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].value, ZK_OBJ_SRC_SURFACE);
    EXPECT_EQ(w[3].value, ZK_OBJ_PATTERN) << "the pattern object is bound again at once";
    EXPECT_EQ(zk3EngineBound(ZK_SUB_PATTERN), ZK_OBJ_PATTERN);
}

TEST_F(Fifo, VideoToMemoryCopiesAreExactByEngineAndByCpu) {
    ZK_PDEV *p = ppdev();
    seedScreen(21);
    const ULONG dmaSize = p->cjDmaBuffer;
    ASSERT_TRUE(p->pDmaBuffer != nullptr && dmaSize >= 0x9000) << "the display driver took no DMA buffer of the miniport";
    struct Case { LONG cbRow, rows, srcPitch; ULONG dma; bool engine; };
    const Case cases[] = {
        {2048, 40, p->lDelta, dmaSize, true},      // 8 lines a chunk, five chunks
        {0x4800, 3, 0x4800, dmaSize, true},        // wider than a strip: strips of 0x4000, a line a chunk
        {333, 7, p->lDelta, 0x9000, true},
        {333, 7, p->lDelta, 0x8FFF, false},
    };
    for (const Case &c : cases) {
        p->cjDmaBuffer = c.dma;
        const uint64_t copies = zk3DrawStats().memoryCopies;
        std::vector<uint8_t> out(static_cast<size_t>(c.cbRow + 5) * c.rows, 0xEE);
        const uint8_t *src = p->frameBuffer + 3 * p->lDelta + 6;
        EXPECT_TRUE(bCopyVideoToMemory(p, out.data() + 1, c.cbRow + 5, src, c.srcPitch, c.cbRow, c.rows));
        for (LONG r = 0; r < c.rows; ++r)
            ASSERT_EQ(std::memcmp(out.data() + 1 + static_cast<size_t>(r) * (c.cbRow + 5),
                                  src + static_cast<size_t>(r) * c.srcPitch, c.cbRow), 0)
                << "row " << r << " of " << c.cbRow << " bytes";
        EXPECT_EQ(out[0], 0xEE);
        EXPECT_EQ(zk3DrawStats().memoryCopies > copies, c.engine) << c.cbRow << " bytes, buffer 0x" << std::hex << c.dma;
    }
    p->cjDmaBuffer = dmaSize;
}

TEST(PointerImage, MaskExpansionAndChecksum) {
    uint8_t mask[256] = {};
    mask[0] = 0x80;          // AND bit of pixel 0
    mask[128] = 0xC0;        // XOR bits of pixels 0 and 1
    mask[1] = 0x00;
    uint16_t out[1024];
    vExpandPointerMask(mask, out);
    EXPECT_EQ(out[0], 0x7FFF);   // AND 1 XOR 1
    EXPECT_EQ(out[1], 0xFFFF);   // AND 0 XOR 1
    EXPECT_EQ(out[2], 0x8000);   // AND 0 XOR 0
    EXPECT_EQ(ulPointerMaskChecksum(mask), 0x140u) << "dwords 0 and 32 against none";
    uint8_t even[256] = {};
    even[0] = 1;
    even[64] = 1;   // dword 16: the other sum
    EXPECT_EQ(ulPointerMaskChecksum(even), 0x12345678u);
}
