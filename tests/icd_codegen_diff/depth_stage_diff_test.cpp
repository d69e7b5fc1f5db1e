// Generated depth-test stages against the C stages they replace: over a table of buffer kinds,
// functions, write modes, masks and span shapes, both leave the same depth values, mask words,
// stage result and span-done flag. Each call also leaves the x87 state and callee-saved registers
// as it found them.
#include <random>
#include <vector>

#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_depth/depth_fixture.h"

namespace {

using namespace icd;

class DepthStageDiff : public OgDepthFixture<DepthTest> {
protected:
    struct Outcome {
        std::vector<uint32_t> depth;
        std::vector<uint32_t> masks;
        uint8_t result;
        uint8_t done;
    };

    Outcome runStage(GlStageProc stage, const std::vector<uint32_t> &stored, const std::vector<uint32_t> &masks,
                     int x, int y, int n, uint32_t z, int32_t step) {
        for (int i = 0; i < width; ++i) depthMem.setElement(i, y, stored[i]);
        spanAt(x, y, n, z, step);
        std::memcpy(raster().maskWords, masks.data(), masks.size() * 4);
        raster().spanDone = 0;
        Outcome o;
        o.result = callChecked(stage, ctx);
        o.done = raster().spanDone;
        for (int i = 0; i < width; ++i) o.depth.push_back(depthMem.element(i, y));
        o.masks.assign(raster().maskWords, raster().maskWords + masks.size());
        return o;
    }
};

TEST_F(DepthStageDiff, GeneratedStagesMatchTheCStagesOverATableOfStates) {
    std::mt19937 rng(1234);
    const int spanWidth = 140;
    int compared = 0;
    // The depth stages use no MMX: the same code either way, but made under both settings.
    for (int mmx : {1, 0}) {
        __glOgOverrideMmx(mmx);
        for (int kind : {16, 24, 32}) {
            build(kind, spanWidth + 8, 2);
            for (GLenum func = GL_NEVER; func <= GL_ALWAYS; ++func) {
                for (int write : {1, 0}) {
                    SCOPED_TRACE(::testing::Message() << "kind " << kind << " func 0x" << std::hex << func
                                                      << " write " << write);
                    mode().depthFunc = func;
                    ctx->state.depthStencil.depthWriteMask = uint8_t(write);
                    __glUpdateDepthEpoch(&db());
                    useFlags(kGlShadeDepthTest);
                    GlStageProc u = __glSpanDepthTest, m = __glSpanDepthTestMasked;
                    __glOgPickDepthStages(ctx, &u, &m);
                    ASSERT_NE(u, __glSpanDepthTest) << "a generated stage for every function";
                    ASSERT_NE(m, __glSpanDepthTestMasked);
                    if (func != GL_NEVER) {  // a never-passing test draws nothing: no list at all
                        EXPECT_EQ(spanList().unmaskedStages[0], u) << "the picker installed the generated pair";
                        EXPECT_EQ(spanList().maskedStages[0], m);
                    }
                    // Lengths 0, 1, odd, a word, past a cache line; unaligned starts; falling and
                    // rising depth.
                    for (int n : {0, 1, 7, 31, 32, 33, 64, 97, 133}) {
                        for (int x : {0, 1, 3}) {
                            for (int32_t step : {0x18000, -0x23456, 0x7}) {
                                const uint32_t z = (kind == 16 ? 0x80000000u : 0x40000000u) + (rng() & 0xFFFFF);
                                std::vector<uint32_t> stored(static_cast<size_t>(width), 0u);
                                const uint32_t maxStored = kind == 16 ? 0xFFFFu : db().maxValue;
                                for (uint32_t &v : stored) {
                                    uint32_t near = db().epochBase + ((z >> db().shift) & maxStored);
                                    uint32_t r = rng();
                                    v = (r & 1) ? near + (r >> 24) - 128 : rng();
                                    if (kind == 16) v &= 0xFFFF;
                                    if (kind == 24) v = (v & db().maxValue) | (r & 2 ? db().epochBase : 0);
                                }
                                std::vector<uint32_t> masks(kGlMaskWords);
                                for (uint32_t &w : masks) w = rng() | rng();
                                for (bool masked : {false, true}) {
                                    SCOPED_TRACE(::testing::Message() << "n " << n << " x " << x << " step " << step
                                                                      << (masked ? " masked" : " unmasked"));
                                    Outcome c = runStage(masked ? __glSpanDepthTestMasked : __glSpanDepthTest, stored,
                                                         masks, x, 1, n, z, step);
                                    Outcome g = runStage(masked ? m : u, stored, masks, x, 1, n, z, step);
                                    ASSERT_EQ(g.depth, c.depth);
                                    ASSERT_EQ(g.masks, c.masks);
                                    ASSERT_EQ(g.result, c.result);
                                    ASSERT_EQ(g.done, c.done);
                                    ++compared;
                                }
                            }
                        }
                    }
                }
            }
        }
    }
    __glOgOverrideMmx(-1);
    EXPECT_GT(compared, 10000);
}

TEST_F(DepthStageDiff, AStateSeenBeforeReusesItsCodeAndAChangedTestFallsBackToC) {
    build(16, 40, 1);
    useFlags(kGlShadeDepthTest);
    GlStageProc first = spanList().unmaskedStages[0];
    ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(first)));
    GlOgContext *og = __glOgContextOf(ctx);
    const uint32_t generated = og->counters.generated;
    pickAll();
    EXPECT_EQ(spanList().unmaskedStages[0], first) << "same state, same code";
    EXPECT_EQ(og->counters.generated, generated) << "nothing written again";

    // The depth pick changes the test without a new span pick: the stage hands the span to C.
    mode().depthFunc = GL_GREATER;
    __glUpdateDepthEpoch(&db());
    db().pick(ctx, &db(), __glDepthTestIndex(ctx, &db()));
    for (int i = 0; i < 40; ++i) depthMem.setElement(i, 0, 0x100);
    spanAt(0, 0, 40, 0x2000000, 0);  // 0x200 after the shift: greater than every element
    EXPECT_EQ(callChecked(first, ctx), 0);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(depthMem.element(i, 0), 0x200u) << i;
}

TEST_F(DepthStageDiff, NoDepthMemoryIsLeftToTheCStage) {
    build(32, 40, 1);
    useFlags(kGlShadeDepthTest);
    GlStageProc u = spanList().unmaskedStages[0];
    ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(u)));
    spanAt(0, 0, 40, 0x1234, 0);
    raster().depthAddress = nullptr;
    raster().maskWords[0] = raster().maskWords[1] = 0;
    EXPECT_EQ(callChecked(u, ctx), 0);
    EXPECT_EQ(raster().maskWords[0], 0xFFFFFFFFu) << "every pixel passes without depth memory";
}

}  // namespace
