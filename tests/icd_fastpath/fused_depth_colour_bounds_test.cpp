// The proc that fuses the 16-bit depth test with the smooth colour, on spans that end where the
// memory does: the span's depth and colour elements lie against a page the process may not touch,
// before its first element or after its last, so that any load or store outside the span's own
// elements stops the program. Every span length of a chunk, both walking directions, masks cut to
// the span with and without holes, the walker's own dither rows, depth buffers with and without an
// epoch base: each against the two procs it stands for (the depth stage, then the basic span proc)
// run on ordinary memory.
#include <gtest/gtest.h>

#include "tests/icd_fastpath/depth_walks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "icd/core/context.h"
#include "icd/raster/fast_span.h"

namespace {

// Elements of 16 bits placed against an inaccessible page: a span of n walk positions whose
// lowest element starts a page (Low) or whose highest element ends one.
class FencedRow {
public:
    FencedRow() {
        page_ = size_t(sysconf(_SC_PAGESIZE));
        void *m = mmap(nullptr, 3 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = m == MAP_FAILED ? nullptr : static_cast<uint8_t *>(m);
        if (base_ != nullptr) {
            mprotect(base_, page_, PROT_NONE);
            mprotect(base_ + 2 * page_, page_, PROT_NONE);
        }
    }
    ~FencedRow() {
        if (base_ != nullptr) munmap(base_, 3 * page_);
    }
    bool ok() const { return base_ != nullptr; }
    // The element of walk position 0 for a span of n positions walked by xStep, lying against the
    // fence below (low) or above.
    uint16_t *first(int n, int32_t xStep, bool low) {
        uint16_t *lo = reinterpret_cast<uint16_t *>(base_ + page_);
        uint16_t *lowest = low ? lo : lo + page_ / 2 - size_t(n);
        return xStep > 0 ? lowest : lowest + (n - 1);
    }

private:
    size_t page_ = 0;
    uint8_t *base_ = nullptr;
};

struct Colour {
    int32_t red, redStep, green, greenStep, blue, blueStep;
};
const Colour kColours[] = {
    {2 << 16, int32_t(0.9 * 65536), 28 << 16, -int32_t(0.8 * 65536), (15 << 16) + 12345, int32_t(0.3 * 65536)},
    {0, int32_t(0.96 * 65536), (29 << 16) + 0xFFFF, -int32_t(0.9 * 65536), 31 << 16, -int32_t(0.97 * 65536)},
};

// One case: the layout, dither, function and writes, the depth and colour iterators, the
// direction, the span's length and mask, and which end of the span meets the fence.
struct Case {
    bool r565, dithered;
    int func;
    bool write;
    const DepthWalk &depth;
    const Colour &colour;
    int32_t xStep;
    int n;
    bool holes, low;
};

void check(GlContext *ctx, FencedRow &depthRow, FencedRow &colourRow, const Case &k) {
    SCOPED_TRACE(testing::Message() << (k.r565 ? "565" : "555") << (k.dithered ? " dithered" : "") << ", function "
                                    << k.func << (k.write ? " writes" : "") << ", " << k.depth.name << ", xStep "
                                    << k.xStep << ", " << k.n << " positions" << (k.holes ? " with holes" : "")
                                    << (k.low ? ", fenced below" : ", fenced above"));
    const int32_t index = k.func + (k.write ? 0 : 8);
    const GlFastProc fused = __glFastDepthSmoothProc(k.r565 ? 5 : 4, k.dithered, index);
    ASSERT_NE(fused, nullptr);
    const DepthWalk &d = k.depth;
    ctx->buffers.depth.shift = d.shift;
    ctx->buffers.depth.epochBase = d.epochBase;
    ctx->state.span.fast.afterDepthTest = (k.r565 ? __glSpanTable565 : __glSpanTable555)[2 | (k.dithered ? 1 : 0)];
    // The last position stays live, so that the span is n long.
    uint32_t mask = 0xFFFFFFFFu << (32 - k.n);
    if (k.holes) mask &= 0xB6DB6DB6u | (0x80000000u >> (k.n - 1));
    // The stored depths: the walk's own, one below and one above in turn.
    auto fill = [&](uint16_t *depth, uint16_t *colour) {
        for (int i = 0; i < k.n; ++i) {
            const uint32_t v = d.epochBase + ((d.z + uint32_t(i) * d.step) >> d.shift);
            depth[k.xStep * i] = uint16_t(v + uint32_t(i % 3) - 1);
            colour[k.xStep * i] = uint16_t(0x4321 + 97 * i);
        }
    };
    auto run = [&](GlFastProc proc, uint16_t *depth, uint16_t *colour) {
        GlSpan sp{};
        sp.context = ctx;
        sp.xStep = k.xStep;
        sp.pixel = reinterpret_cast<uint8_t *>(colour);
        sp.depthAddress = reinterpret_cast<uint8_t *>(depth);
        sp.z = {int32_t(d.z), 0, int32_t(d.step), 0, {0, 0}};
        // Row 2 of the walker's table for the direction, entered at column 1.
        sp.ditherPointer = (k.xStep > 0 ? __glFastDitherTable : __glFastDitherTableMirrored)[2].data() + 1;
        const Colour &c = k.colour;
        sp.red = {c.red, 0, c.redStep, 0, {0, 0}};
        sp.green = {c.green >> (k.r565 ? 0 : 1), 0, c.greenStep >> (k.r565 ? 0 : 1), 0, {0, 0}};
        sp.blue = {c.blue, 0, c.blueStep, 0, {0, 0}};
        proc(mask, &sp);
    };
    uint16_t *depth = depthRow.first(k.n, k.xStep, k.low), *colour = colourRow.first(k.n, k.xStep, k.low);
    std::vector<uint16_t> depthChain(64), colourChain(64);
    uint16_t *dc = depthChain.data() + (k.xStep > 0 ? 0 : 63), *cc = colourChain.data() + (k.xStep > 0 ? 0 : 63);
    fill(depth, colour);
    fill(dc, cc);
    run(fused, depth, colour);
    run(__glFastDepthTestProcs[size_t(index)], dc, cc);
    for (int i = 0; i < k.n; ++i) {
        ASSERT_EQ(depth[k.xStep * i], dc[k.xStep * i]) << "depth at position " << i;
        ASSERT_EQ(colour[k.xStep * i], cc[k.xStep * i]) << "colour at position " << i;
    }
}

TEST(FusedDepthColour, StaysInsideItsSpanAndDrawsAsTheChain) {
    FencedRow depthRow, colourRow;
    ASSERT_TRUE(depthRow.ok() && colourRow.ok());
    auto ctx = std::make_unique<GlContext>();
    for (bool r565 : {false, true})
        for (bool dithered : {true, false})
            for (int func : {1, 3, 5, 7})
                for (bool write : {true, false})
                    for (const DepthWalk &d : kDepthWalks)
                        for (const Colour &c : kColours)
                            for (int32_t xStep : {1, -1})
                                for (int n = 1; n <= 32; ++n)
                                    for (bool holes : {false, true})
                                        for (bool low : {true, false})
                                            check(ctx.get(), depthRow, colourRow,
                                                  {r565, dithered, func, write, d, c, xStep, n, holes, low});
}

}  // namespace
