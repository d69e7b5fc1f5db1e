// Which depth stage the fast chain's chooser puts in the chain: by default the generated stage
// for polygon offset and for 24- and 32-bit depth buffers, the prebuilt stages (the table's, or
// the one fused with smooth colour) for the rest of the 16-bit buffers; "__GL_OG_FAST_DEPTH" 1
// puts the generated stage in every chain and 0 in none.
#include "icd/codegen/og_procs.h"
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "icd/core/pick.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_span.h"
#include "tests/icd_fastpath/fast_buffers_fixture.h"

namespace {

constexpr int kSide = 32;

struct Row {
    const char *name;
    int depthBits;
    std::function<void(GlContext *)> set;
    bool generated;  // what the chooser takes without a setting
};

const Row kRows[] = {
    {"16-bit, less", 16, [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); }, false},
    {"16-bit, smooth (fused with the colour)", 16, [](GlContext *) {}, false},
    {"16-bit, stencil, greater without writes", 16,
     [](GlContext *ctx) {
         GL(glEnable)(GL_STENCIL_TEST);
         GL(glDepthFunc)(GL_GREATER);
         GL(glDepthMask)(GL_FALSE);
     },
     false},
    {"16-bit, polygon offset", 16,
     [](GlContext *ctx) {
         GL(glEnable)(GL_POLYGON_OFFSET_FILL);
         GL(glPolygonOffset)(1.0f, 2.0f);
     },
     true},
    {"24-bit, less", 24, [](GlContext *ctx) { GL(glShadeModel)(GL_FLAT); }, true},
    {"24-bit, smooth, alpha test", 24,
     [](GlContext *ctx) {
         GL(glEnable)(GL_ALPHA_TEST);
         GL(glAlphaFunc)(GL_GREATER, 0.25f);
     },
     true},
    {"32-bit, smooth", 32, [](GlContext *) {}, true},
    {"32-bit, stencil, lequal", 32,
     [](GlContext *ctx) {
         GL(glEnable)(GL_STENCIL_TEST);
         GL(glDepthFunc)(GL_LEQUAL);
     },
     true},
};

class FastDepthChoice : public FastBuffersTest {
protected:
    FastDepthChoice() : FastBuffersTest(kSide) {}
    void TearDown() override {
        __glOgSetFastDepthStageForTest(-1);
        FastBuffersTest::TearDown();
    }
    // The row's buffers (5-6-5 colour) and its state over the defaults with the depth test on,
    // chosen by the validation of the next draw.
    void choose(const Row &row) {
        __glSetStateDefaults(ctx);
        attachBuffers(kRgb16Formats[0], row.depthBits);
        GL(glEnable)(GL_DEPTH_TEST);
        row.set(ctx);
        ctx->beginMode = kGlNeedValidate;
        ctx->dirtyMask = 0x7FF;
        GL(glClear)(0);  // validates
    }
    // The chain's depth stage: the slot the stage before it hands on to, or the first.
    GlFastProc depthStage() const {
        const GlFastPathSlots &sl = ctx->state.span.fast;
        const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
        if (f & kGlShadeStencilTest) return sl.afterStencilTest;
        if (f & kGlShadeAlphaTest) return sl.afterAlphaTest;
        if (f & kGlShadePolygonStipple) return sl.afterStipple;
        return sl.fastStageFirst;
    }
    // One of the prebuilt depth stages of the state: the table's or the one fused with smooth colour.
    bool prebuilt(GlFastProc stage) {
        const int32_t index = __glDepthTestIndex(ctx, &ctx->buffers.depth) +
                              ((ctx->state.span.raster.shadeFlags & kGlShadePolygonOffset) ? 32 : 0);
        if (stage == __glFastDepthTestProcs[size_t(index)]) return true;
        const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
        const GlFastProc fused =
            __glFastDepthSmoothProc(cb->formatCode, (__glFastPathKeyOf(ctx).spanIndex & 1) != 0, index);
        return fused != nullptr && stage == fused;
    }
};

TEST_F(FastDepthChoice, DefaultSettingAndBothForcedChoices) {
    if (const char *og = std::getenv("__GL_DISABLE_OG"); og && std::atoi(og) != 0)
        GTEST_SKIP() << "the generator is off in this run";
    // A run that sets "__GL_OG_FAST_DEPTH" itself chooses for the default as well.
    const char *forcedByRun = std::getenv("__GL_OG_FAST_DEPTH");
    for (int setting : {-1, 0, 1}) {
        __glOgSetFastDepthStageForTest(setting);
        for (const Row &row : kRows) {
            SCOPED_TRACE(testing::Message() << row.name << ", setting " << setting);
            choose(row);
            ASSERT_NE(ctx->state.span.fast.spanRoutine, nullptr) << "the fast chain takes the state";
            const bool wanted = setting >= 0 ? setting != 0
                                : forcedByRun != nullptr ? std::atoi(forcedByRun) != 0
                                                         : row.generated;
            const GlFastProc stage = depthStage();
            if (wanted) {
                // The generator hands back the code it made for this state: the very stage in the chain.
                EXPECT_EQ(stage, __glOgGenDepthTestProc(ctx)) << "the generated depth stage";
                EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(stage)));
            } else {
                EXPECT_TRUE(prebuilt(stage)) << "a prebuilt depth stage";
            }
        }
    }
}

}  // namespace
