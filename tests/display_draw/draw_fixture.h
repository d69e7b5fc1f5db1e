// Drawing through the display driver as the graphics engine does, on the booted machine: the
// driver's entries draw on the primary surface through the engine model, and the result is
// compared pixel for pixel with the engine's own renderer run on a copy of the screen.
#pragma once
#include "tests/display/fixture.h"

#include <cstdint>
#include <string>
#include <vector>

#include "display/blt.h"
#include "platform/ntgdi/eng_draw.h"
#include "platform/zk3/zk3_draw.h"

// An engine bitmap owned by a test (deleted with it).
struct TestBitmap {
    HSURF hsurf = nullptr;
    SURFOBJ *pso = nullptr;
    TestBitmap() = default;
    TestBitmap(LONG cx, LONG cy, ULONG format, bool topDown = true, LONG stride = 0, void *bits = nullptr);
    ~TestBitmap();
    TestBitmap(const TestBitmap &) = delete;
    TestBitmap &operator=(const TestBitmap &) = delete;
    void set(LONG x, LONG y, uint32_t v) { kivEngSetPixel(pso, x, y, v); }
    uint32_t get(LONG x, LONG y) const { return kivEngGetPixel(pso, x, y); }
    void seed(uint32_t salt);   // pseudo-random pixels
};

class DrawTest : public DisplayTest {
protected:
    uint32_t bpp_ = 16;
    SURFOBJ *screen = nullptr;
    std::vector<uint8_t> refBits;
    TestBitmap *ref = nullptr;   // the engine's copy of the screen

    void SetUp() override;
    void TearDown() override;
    bool start(uint32_t bpp);
    ZK_PDEV *ppdev() const { return pdev(); }
    ULONG format() const { return pdev()->iBitmapFormat; }
    // Pseudo-random screen contents, copied into the reference.
    void seedScreen(uint32_t salt);
    // Copies the screen into the reference (after the driver drew something the test wants both to start from).
    void syncReference();
    uint32_t screenPixel(LONG x, LONG y) const;
    // Differences between the screen and the reference (empty when equal).
    std::string compare(const RECTL *only = nullptr) const;
    // Values of ROP3 method writes since the log was cleared.
    std::vector<uint32_t> ropWrites() const;
    // Method writes to one subchannel since the log was cleared.
    std::vector<Zk3FifoWrite> writes(unsigned sub) const;
};

class DrawAllDepths : public DrawTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override;
};
