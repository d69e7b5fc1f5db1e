// The generated span routines entered the way the fast set-up enters them (__glOgRunSpanRoutine,
// itself called through the register-checking trampoline): the rows and chunks the stage-list
// routine hands to the chain for hand-made edge records, the lock released at the exit, and the
// cache that keeps one routine per state.
#include <vector>

#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_depth/depth_fixture.h"
#include "icd/raster/fast_span.h"

namespace {

using namespace icd;

// What the chain saw of one chunk.
struct Chunk {
    int32_t y, x;
    uint32_t mask;
    uintptr_t pixel;
    int32_t red;
    bool operator==(const Chunk &o) const {
        return y == o.y && x == o.x && mask == o.mask && pixel == o.pixel && red == o.red;
    }
};
std::ostream &operator<<(std::ostream &os, const Chunk &c) {
    return os << "{y " << c.y << " x " << c.x << " mask " << std::hex << c.mask << std::dec << " pixel "
              << c.pixel << " red " << c.red << "}";
}
std::vector<Chunk> g_chunks;
void GL_FASTCALL recordChunk(uint32_t mask, GlSpan *sp) { g_chunks.push_back({sp->y, sp->x, mask, reinterpret_cast<uintptr_t>(sp->pixel), sp->red.cur}); }

std::vector<GlContext *> g_unlocks;
void recordUnlock(GlContext *ctx) { g_unlocks.push_back(ctx); }

// One edge of a hand-made record: X + Frac / 2^31, stepped by q or q + 1 per row.
struct EdgeSpec {
    int32_t x, q;
    uint32_t frac, fracStep;
    // Its integer x after n rows: X0 + n q + the carries out of the 31-bit fraction.
    int32_t after(int32_t n) const { return x + n * q + int32_t((uint64_t(frac) + uint64_t(n) * fracStep) >> 31); }
};

class SpanRoutineTest : public OgDepthFixture<DepthTest> {
protected:
    void SetUp() override {
        OgDepthFixture<DepthTest>::SetUp();
        og = __glOgContextOf(ctx);
        ASSERT_NE(og, nullptr);
        build(16);
        raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth;
        __glOgSetSpanRoutinesForTest(1);
        g_chunks.clear();
        g_unlocks.clear();
    }
    void TearDown() override {
        __glOgSetSpanRoutinesForTest(-1);
        ctx->state.span.fast.spanRoutine = nullptr;
        ctx->buffers.lockCount = 0;
        OgDepthFixture<DepthTest>::TearDown();
    }
    GlOgContext *og = nullptr;
    uint8_t pixels[64] = {};

    // A record of rows [y0, y1) and [y1, y2) between a start edge and an upper and lower other
    // edge, walking left to right; the red iterator steps 1 per pixel, 100 per chunk row start.
    GlSpan record(int32_t y0, int32_t y1, int32_t y2, EdgeSpec start, EdgeSpec upper, EdgeSpec lower) {
        GlSpan sp{};
        sp.context = ctx;
        sp.yStart = y0;
        sp.yMiddle = y1;
        sp.yEnd = y2;
        auto put = [](const EdgeSpec &e, int32_t &x, int32_t step[2], uint32_t &frac, uint32_t &fracStep) {
            x = e.x;
            step[0] = e.q;
            step[1] = e.q + 1;
            frac = e.frac;
            fracStep = e.fracStep;
        };
        put(start, sp.startEdgeX, sp.startEdgeStep, sp.startEdgeFrac, sp.startEdgeFracStep);
        put(upper, sp.otherEdgeX, sp.otherEdgeStep, sp.otherEdgeFrac, sp.otherEdgeFracStep);
        put(lower, sp.lowerEdgeX, sp.lowerEdgeStep, sp.lowerEdgeFrac, sp.lowerEdgeFracStep);
        sp.xStep = 1;
        sp.pixelRowStart = pixels;
        sp.pixelStep = 2;
        sp.pixelChunkStep = 64;
        sp.pixelRowStep[0] = 1000;
        sp.pixelRowStep[1] = 1002;
        sp.red = GlSpanIter{0, 5, 1, 32, {100, 101}};
        sp.ditherTableBase = __glFastDitherTable[0].data();
        return sp;
    }

    // The chunks the chain must see, from the edges' own arithmetic.
    std::vector<Chunk> expected(const GlSpan &sp, const EdgeSpec &start, const EdgeSpec &upper, const EdgeSpec &lower) {
        std::vector<Chunk> out;
        uintptr_t rowPixel = reinterpret_cast<uintptr_t>(sp.pixelRowStart);
        int32_t rowRed = sp.red.rowStart;
        for (int32_t y = sp.yStart, n = 0; y < sp.yEnd; ++y, ++n) {
            const int32_t left = start.after(n);
            const int32_t right = y < sp.yMiddle ? upper.after(n) : lower.after(y - sp.yMiddle);
            for (int32_t x = left; x < right; x += 32) {
                const int32_t k = (x - left) / 32, count = right - x;
                out.push_back({y, x, count >= 32 ? 0xFFFFFFFFu : ~0u << (32 - count), rowPixel + 64 * k, rowRed + 32 * k});
            }
            const int32_t carry = left + start.q == start.after(n + 1) ? 0 : 1;
            rowPixel += uintptr_t(sp.pixelRowStep[carry]);
            rowRed += sp.red.rowStep[carry];
        }
        return out;
    }

    int32_t run(const GlSpan &sp, void *entry) {
        return callChecked(__glOgRunSpanRoutine, ctx, &sp, static_cast<const void *>(entry));
    }
};

TEST_F(SpanRoutineTest, TheStageListRoutineHandsEveryChunkOfEveryRowToTheChain) {
    struct Case {
        const char *name;
        int32_t y0, y1, y2;
        EdgeSpec start, upper, lower;
    };
    const Case cases[] = {
        {"rows of 33 and 32 pixels", 4, 5, 6, {2, 0, 0, 0}, {35, 0, 0, 0}, {34, 0, 0, 0}},
        {"empty upper half", 7, 7, 10, {0, 0, 0, 0}, {0, 0, 0, 0}, {3, 1, 0, 0}},
        {"empty lower half", 2, 5, 5, {9, 0, 0, 0}, {10, 0, 0, 0}, {99, 0, 0, 0}},
        {"one-pixel rows, rows of no pixels and less", 0, 3, 6, {4, -1, 0, 0}, {5, -1, 0, 0}, {2, -2, 0, 0}},
        {"carrying fractions", 10, 16, 22, {3, 0, 0x60000000u, 0x30000000u}, {40, 2, 0x7FFFFFFFu, 0x55555555u},
         {70, -3, 0x10000000u, 0x70000000u}},
        {"a 70-pixel row: masks full, full, 6 pixels", 1, 2, 2, {-20, 0, 0, 0}, {50, 0, 0, 0}, {0, 0, 0, 0}},
    };
    void *entry = __glOgGenSpanProc(ctx, 1);
    ASSERT_NE(entry, nullptr);
    ctx->state.span.fast.fastStageFirst = recordChunk;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_chunks.clear();
        ctx->buffers.lockCount = 1;
        const GlSpan sp = record(c.y0, c.y1, c.y2, c.start, c.upper, c.lower);
        EXPECT_EQ(run(sp, entry), 1);
        EXPECT_EQ(g_chunks, expected(sp, c.start, c.upper, c.lower));
    }
}

TEST_F(SpanRoutineTest, TheExitReleasesTheLockTheSetUpTook) {
    ctx->buffers.drawableUnlock = recordUnlock;
    ctx->state.span.fast.fastStageFirst = recordChunk;
    for (int stageList : {1, 0}) {
        if (stageList == 0) {
            // The one-routine: a 5-6-5 buffer and a flat colour.
            ctx->buffers.color.drawColorBuffer->head.elementSize = 2;
            raster().shadeFlags = kGlShadeRgba;
        }
        void *entry = __glOgGenSpanProc(ctx, stageList);
        ASSERT_NE(entry, nullptr) << "stage list " << stageList;
        const GlSpan sp = record(0, 1, 1, {0, 0, 0, 0}, {3, 0, 0, 0}, {0, 0, 0, 0});
        g_unlocks.clear();
        ctx->buffers.lockCount = 2;
        EXPECT_EQ(run(sp, entry), 1);
        EXPECT_EQ(ctx->buffers.lockCount, 1);
        EXPECT_TRUE(g_unlocks.empty()) << "an outer bracket still holds the lock";
        ctx->buffers.lockCount = 1;
        EXPECT_EQ(run(sp, entry), 1);
        EXPECT_EQ(ctx->buffers.lockCount, 0);
        ASSERT_EQ(g_unlocks.size(), 1u);
        EXPECT_EQ(g_unlocks[0], ctx);
        // Without an unlock proc the depth still drops, as the set-up raised it regardless.
        ctx->buffers.drawableUnlock = nullptr;
        ctx->buffers.lockCount = 1;
        EXPECT_EQ(run(sp, entry), 1);
        EXPECT_EQ(ctx->buffers.lockCount, 0);
        ctx->buffers.drawableUnlock = recordUnlock;
    }
    ctx->buffers.drawableUnlock = nullptr;
    ctx->buffers.color.drawColorBuffer->head.elementSize = 4;
}

TEST_F(SpanRoutineTest, AStateSeenBeforeReusesItsRoutineAndAFifthStateEvictsTheOldest) {
    // The span cache to itself: the span list's generated stages give way to their C procs.
    GlStageList &list = spanList();
    for (int i = 0; i < kGlMaxStages; ++i) {
        list.unmaskedStages[i] = reinterpret_cast<GlStageProc>(const_cast<void *>(
            __glOgReplacedProc(ctx, reinterpret_cast<const void *>(list.unmaskedStages[i]))));
        list.maskedStages[i] = reinterpret_cast<GlStageProc>(const_cast<void *>(
            __glOgReplacedProc(ctx, reinterpret_cast<const void *>(list.maskedStages[i]))));
    }
    GlOgCache &cache = og->caches[kGlOgCacheSpan];
    for (int i = 0; i < cache.entryCount; ++i) cache.entries[i].key[0] = uint32_t(kGlOgEmptyKey);
    const uint32_t states[5] = {kGlShadeRgba, kGlShadeRgba | kGlShadeSmooth, kGlShadeRgba | kGlShadeDither,
                                kGlShadeRgba | kGlShadeSmooth | kGlShadeDither, kGlShadeRgba | kGlShadeFog};
    void *entries[5] = {};
    for (int i = 0; i < 4; ++i) {
        raster().shadeFlags = states[i];
        const uint32_t generated = og->counters.generated;
        entries[i] = __glOgGenSpanProc(ctx, 1);
        ASSERT_NE(entries[i], nullptr);
        EXPECT_EQ(og->counters.generated, generated + 1);
    }
    // Again: the same routines, nothing written.
    const uint32_t generated = og->counters.generated, reused = og->counters.reused;
    for (int i = 0; i < 4; ++i) {
        raster().shadeFlags = states[i];
        EXPECT_EQ(__glOgGenSpanProc(ctx, 1), entries[i]);
    }
    EXPECT_EQ(og->counters.generated, generated);
    EXPECT_EQ(og->counters.reused, reused + 4);
    // A fifth state takes the least recently used entry: the first state's.
    raster().shadeFlags = states[4];
    entries[4] = __glOgGenSpanProc(ctx, 1);
    EXPECT_EQ(entries[4], entries[0]);
    EXPECT_EQ(og->counters.generated, generated + 1);
    raster().shadeFlags = states[1];
    EXPECT_EQ(__glOgGenSpanProc(ctx, 1), entries[1]) << "the others stay";
    // The routine installed in the slot is never the one evicted.
    ctx->state.span.fast.spanRoutine = reinterpret_cast<GlFastProc>(entries[2]);
    for (uint32_t extra : {kGlShadeRgba | kGlShadeFog | kGlShadeSmooth, kGlShadeRgba | kGlShadeFog | kGlShadeDither,
                           kGlShadeRgba | kGlShadeStencilTest, kGlShadeRgba | kGlShadeStencilTest | kGlShadeSmooth}) {
        raster().shadeFlags = extra;
        EXPECT_NE(__glOgGenSpanProc(ctx, 1), entries[2]);
    }
    raster().shadeFlags = states[2];
    const uint32_t before = og->counters.generated;
    EXPECT_EQ(__glOgGenSpanProc(ctx, 1), entries[2]);
    EXPECT_EQ(og->counters.generated, before);
}

// The one-routine on one row of a 5-6-5 buffer with a 16-bit depth buffer, against the row worked
// out here: colour fields (c >> 16) packed at 11, 5 and 0, the depth value z >> 16 compared
// unsigned with the stored one, guard elements around the row untouched.
TEST_F(SpanRoutineTest, TheOneRoutineDrawsARowAsItsArithmeticSays) {
    GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    const GlColorBuffer saved = *cb;
    cb->head.elementSize = 2;
    cb->formatCode = 5;
    cb->redShift = 11, cb->greenShift = 5, cb->blueShift = 0;
    cb->redMax = 31, cb->greenMax = 63, cb->blueMax = 31;
    ASSERT_EQ(db().head.elementSize, 2);
    ASSERT_EQ(db().shift, 16) << "16-bit elements keep the top half of the depth value";
    struct Case {
        const char *name;
        GLenum func;
        bool write, smooth, maskOff;
        int32_t count, direction, first;  // pixels, +1 or -1, element index of the first pixel
        uint32_t z, zStep;
    };
    const Case cases[] = {
        {"less, smooth", GL_LESS, true, true, false, 37, 1, 3, 0x12345678u, 0x00400000u},
        {"never", GL_NEVER, true, true, false, 9, 1, 4, 0x10000000u, 0},
        {"always, a 16-bit depth value", GL_ALWAYS, true, false, false, 1, 1, 5, 0x12345678u, 0},
        {"greater without writes, right to left", GL_GREATER, false, true, false, 33, -1, 40, 0x7FFF0000u, 0x01000000u},
        {"colour mask off, lequal", GL_LEQUAL, true, true, true, 12, 1, 6, 0x20000000u, 0x03000000u},
        {"simple fill, one pixel right to left at 4 mod 8", GL_ALWAYS, false, false, false, 1, -1, 2, 0, 0},
        {"simple fill, 13 pixels", GL_ALWAYS, false, false, false, 13, 1, 1, 0, 0},
        {"simple fill, 29 pixels right to left", GL_ALWAYS, false, false, false, 29, -1, 35, 0, 0},
    };
    alignas(8) uint16_t colour[48], depth[48];
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const bool fill = !c.smooth && c.func == GL_ALWAYS && !c.write;
        raster().shadeFlags = kGlShadeRgba | (c.smooth ? kGlShadeSmooth : 0) | (fill ? 0 : kGlShadeDepthTest) |
                              (c.maskOff ? kGlShadeColorMask : 0);
        mode().depthFunc = c.func;
        db().effectiveFunc = c.func;  // the function the buffer tests, unmirrored
        ctx->state.depthStencil.depthWriteMask = c.write ? 1 : 0;
        void *entry = __glOgGenSpanProc(ctx, 0);
        ASSERT_NE(entry, nullptr);
        for (int i = 0; i < 48; ++i) {
            colour[i] = uint16_t(0xA500 + i);
            depth[i] = uint16_t(0x1000 * (i % 16) + 0x234);
        }
        std::vector<uint16_t> expectColour(colour, colour + 48), expectDepth(depth, depth + 48);
        GlSpan sp = record(0, 1, 1, {0, 0, 0, 0}, {c.count, 0, 0, 0}, {0, 0, 0, 0});
        sp.xStep = c.direction;
        sp.pixelRowStart = reinterpret_cast<uint8_t *>(&colour[c.first]);
        sp.pixelStep = 2 * c.direction;
        sp.depthRowStart = reinterpret_cast<uint8_t *>(&depth[c.first]);
        sp.depthAddressStep = 2 * c.direction;
        sp.z = GlSpanIter{0, int32_t(c.z), int32_t(c.zStep), 0, {0, 0}};
        const int32_t r0 = 0x00048000, g0 = 0x003F8000, b0 = 0x00100000, dr = 0x00008000, dg = -0x00010000, db = 0x4000;
        sp.red = GlSpanIter{r0, r0, c.smooth ? dr : 0, 0, {0, 0}};
        sp.green = GlSpanIter{g0, g0, c.smooth ? dg : 0, 0, {0, 0}};
        sp.blue = GlSpanIter{b0, b0, c.smooth ? db : 0, 0, {0, 0}};
        const uint32_t flat = uint32_t(r0 >> 16) << 11 | uint32_t(g0 >> 16) << 5 | uint32_t(b0 >> 16);
        if (!c.smooth) sp.red.rowStart = int32_t(flat);
        for (int32_t k = 0; k < c.count; ++k) {
            const int e = c.first + k * c.direction;
            const uint32_t z = (c.z + uint32_t(k) * c.zStep) >> 16;
            bool pass = true;
            if (!fill) {
                const uint32_t s = depth[e];
                switch (c.func) {
                case GL_NEVER: pass = false; break;
                case GL_LESS: pass = z < s; break;
                case GL_LEQUAL: pass = z <= s; break;
                case GL_GREATER: pass = z > s; break;
                default: break;
                }
                if (pass && c.write) expectDepth[size_t(e)] = uint16_t(z);
            }
            if (pass && !c.maskOff)
                expectColour[size_t(e)] = c.smooth ? uint16_t(uint32_t((r0 + k * dr) >> 16) << 11 |
                                                             uint32_t((g0 + k * dg) >> 16) << 5 | uint32_t((b0 + k * db) >> 16))
                                                   : uint16_t(flat);
        }
        ctx->buffers.lockCount = 1;
        EXPECT_EQ(run(sp, entry), 1);
        EXPECT_EQ(std::vector<uint16_t>(colour, colour + 48), expectColour);
        EXPECT_EQ(std::vector<uint16_t>(depth, depth + 48), expectDepth);
    }
    *cb = saved;
}

TEST_F(SpanRoutineTest, TheSwitchTurnsGeneratedSpanRoutinesOff) {
    __glOgSetSpanRoutinesForTest(0);
    EXPECT_EQ(__glOgGenSpanProc(ctx, 1), nullptr);
    __glOgSetSpanRoutinesForTest(1);
    EXPECT_NE(__glOgGenSpanProc(ctx, 1), nullptr);
}

}  // namespace
