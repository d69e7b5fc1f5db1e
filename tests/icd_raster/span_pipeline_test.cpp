// The span stage list: the order the picker builds, the runners' unmasked and masked protocol,
// drawing both buffers, and a span run through the real stages into a colour buffer.
#include <string>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/codegen/og_procs.h"

namespace {

// Stages that log their calls and answer as the scenario says.
std::string g_log;
uint8_t g_unmaskedResult[4], g_maskedResult[4], g_setsDone[4];
GlContext *g_ctx;

template <int Id, bool Masked>
uint8_t fakeStage(GlContext *ctx) {
    g_log += (Masked ? 'M' : 'U');
    g_log += char('0' + Id);
    if (!Masked && g_setsDone[Id]) ctx->state.span.raster.spanDone = 1;
    return Masked ? g_maskedResult[Id] : g_unmaskedResult[Id];
}

// A colour-buffer stage that changes the colour array.
uint8_t doubleColors(GlContext *ctx) {
    GlRasterState &rs = ctx->state.span.raster;
    for (int i = 0; i < rs.spanLength * 4; ++i) rs.fragmentColors[i] *= 2;
    return 0;
}

class SpanPipelineTest : public RasterTest {
protected:
    GlStageProc stageOrReplaced(GlStageProc p) {
        const void *c = __glOgReplacedProc(ctx, reinterpret_cast<const void *>(p));
        return reinterpret_cast<GlStageProc>(const_cast<void *>(c));
    }
    void fakeList(int n) {
        GlStageList &l = spanList();
        const GlStageProc u[4] = {fakeStage<0, false>, fakeStage<1, false>, fakeStage<2, false>, fakeStage<3, false>};
        const GlStageProc m[4] = {nullptr, fakeStage<1, true>, fakeStage<2, true>, fakeStage<3, true>};
        for (int i = 0; i < n; ++i) {
            l.unmaskedStages[i] = u[i];
            l.maskedStages[i] = m[i];
        }
        l.stageCount = l.firstColorStage = n;
        std::memset(g_unmaskedResult, 0, 4);
        std::memset(g_maskedResult, 0, 4);
        std::memset(g_setsDone, 0, 4);
        g_log.clear();
        g_ctx = ctx;
    }
};

struct PickCase {
    const char *name;
    uint32_t flags;
    bool scissor, nicest, both;
    std::vector<std::pair<GlStageProc, GlStageProc>> stages;
};

TEST_F(SpanPipelineTest, PickerOrdersTheStages) {
    attach(kX8R8G8B8, 16, 8, true);
    const auto store = std::make_pair(GlStageProc(__glStoreRgbaSpan), GlStageProc(__glStoreRgbaSpanMasked));
    const auto flat = std::make_pair(GlStageProc(__glSpanShadeRgbaFlat), GlStageProc(__glSpanShadeRgbaFlat));
    const PickCase cases[] = {
        {"flat only", kGlShadeRgba, false, false, false, {flat, store}},
        {"early depth", kGlShadeRgba | kGlShadeSmooth | kGlShadePolygonStipple | kGlShadeDepthTest | kGlShadeTexture | kGlShadeFog,
         true, false, false,
         {{__glSpanScissor, nullptr},
          {__glSpanPolygonStipple, __glSpanPolygonStippleMasked},
          {__glSpanDepthTest, __glSpanDepthTestMasked},
          {__glSpanShadeRgbaSmooth, __glSpanShadeRgbaSmooth},
          {__glSpanTexture, __glSpanTextureMasked},
          {__glSpanFog, __glSpanFogMasked},
          store}},
        {"late depth and stencil", kGlShadeRgba | kGlShadeAlphaTest | kGlShadeDepthTest | kGlShadeStencilTest | kGlShadePolygonOffset | kGlShadeFog,
         false, true, false,
         {flat,
          {__glSpanFogNicest, __glSpanFogNicestMasked},
          {__glSpanAlphaTest, __glSpanAlphaTestMasked},
          {__glSpanStencilTest, __glSpanStencilTestMasked},
          {__glSpanDepthStencilTestClamped, __glSpanDepthStencilTestClampedMasked},
          store}},
        {"stencil only, index", kGlShadeSmooth | kGlShadeStencilTest, false, false, false,
         {{__glSpanStencilTest, __glSpanStencilTestMasked},
          {__glSpanStencilDepthPass, __glSpanStencilDepthPassMasked},
          {__glSpanShadeIndexSmooth, __glSpanShadeIndexSmooth},
          store}},
        {"offset depth, index flat", kGlShadeDepthTest | kGlShadePolygonOffset, false, false, false,
         {{__glSpanDepthTestClamped, __glSpanDepthTestClampedMasked}, {__glSpanShadeIndexFlat, __glSpanShadeIndexFlat}, store}},
        {"stencil and depth", kGlShadeRgba | kGlShadeDepthTest | kGlShadeStencilTest, false, false, true,
         {{__glSpanStencilTest, __glSpanStencilTestMasked}, {__glSpanDepthStencilTest, __glSpanDepthStencilTestMasked}, flat, store}},
    };
    for (const PickCase &c : cases) {
        SCOPED_TRACE(c.name);
        raster().shadeFlags = c.flags;
        inputs().scissorCoversViewport = !c.scissor;
        inputs().drawBothBuffers = c.both;
        inputs().effectiveDepthFunc = GL_LESS;
        ctx->state.mode.hints[4] = c.nicest ? GL_NICEST : GL_DONT_CARE;
        __glPickSpanProcs(ctx);
        const GlStageList &l = spanList();
        ASSERT_EQ(l.stageCount, int(c.stages.size()));
        for (int i = 0; i < l.stageCount; ++i) {
            // A generated stage stands in for the C stage it replaces.
            EXPECT_EQ(stageOrReplaced(l.unmaskedStages[i]), c.stages[i].first) << i;
            EXPECT_EQ(stageOrReplaced(l.maskedStages[i]), c.stages[i].second) << i;
        }
        EXPECT_EQ(l.firstColorStage, l.stageCount - (c.both ? 1 : 0));
        EXPECT_EQ(l.runner, c.both ? __glSpanRenderStagesFrontBack : __glSpanRenderStages);
    }
}

TEST_F(SpanPipelineTest, DepthFunctionNeverWithoutStencilDrawsNothing) {
    attach(kX8R8G8B8);
    inputs().effectiveDepthFunc = GL_NEVER;
    for (uint32_t extra : {0u, kGlShadeAlphaTest}) {
        spanList().stageCount = 99;
        raster().shadeFlags = kGlShadeRgba | kGlShadeDepthTest | extra;
        __glPickSpanProcs(ctx);
        EXPECT_EQ(reinterpret_cast<void *>(spanList().runner), reinterpret_cast<void *>(__glNopProc));
        EXPECT_EQ(spanList().stageCount, 99);
    }
    // With stencil on, the stencil operations still run.
    raster().shadeFlags = kGlShadeRgba | kGlShadeDepthTest | kGlShadeStencilTest;
    __glPickSpanProcs(ctx);
    EXPECT_EQ(spanList().runner, __glSpanRenderStages);
    EXPECT_EQ(spanList().stageCount, 4);
    // Without a colour buffer (GL_NONE, or before the context has colour buffers) and with
    // neither test nothing can be drawn either.
    colors().drawColorBuffer = nullptr;
    raster().shadeFlags = kGlShadeRgba;
    __glPickSpanProcs(ctx);
    EXPECT_EQ(reinterpret_cast<void *>(spanList().runner), reinterpret_cast<void *>(__glNopProc));
    // With a test the list ends at the depth and stencil stages: a depth-only or stencil-only
    // pass still writes them.
    inputs().effectiveDepthFunc = GL_LESS;
    const struct {
        uint32_t flags;
        GlStageProc last;
    } passes[] = {{kGlShadeDepthTest, __glSpanDepthTest},
                  {kGlShadeStencilTest, __glSpanStencilDepthPass},
                  {kGlShadeDepthTest | kGlShadeStencilTest, __glSpanDepthStencilTest},
                  {kGlShadeDepthTest | kGlShadeAlphaTest, __glSpanDepthTest}};
    for (const auto &p : passes) {
        raster().shadeFlags = kGlShadeRgba | p.flags;
        __glPickSpanProcs(ctx);
        EXPECT_EQ(spanList().runner, __glSpanRenderStages) << std::hex << p.flags;
        ASSERT_GT(spanList().stageCount, 0);
        EXPECT_EQ(spanList().unmaskedStages[spanList().stageCount - 1], p.last) << std::hex << p.flags;
    }
}

TEST_F(SpanPipelineTest, RunnerContinuesWithTheMaskedTwinsAfterTheFirstRejection) {
    attach(kX8R8G8B8);
    span(0, 0, 8);
    const struct {
        const char *name;
        int rejecting;      // unmasked stage that rejects some pixels, -1 none
        bool allRejected;   // ... and sets spanDone
        int maskedEmpty;    // masked stage that reports no pixel left, -1 none
        const char *log;
    } cases[] = {
        {"nothing rejected", -1, false, -1, "U0U1U2U3"},
        {"first stage rejects", 0, false, -1, "U0M1M2M3"},
        {"second stage rejects", 1, false, -1, "U0U1M2M3"},
        {"every pixel rejected", 1, true, -1, "U0U1"},
        {"masked stage empties the span", 0, false, 2, "U0M1M2"},
    };
    for (const auto &c : cases) {
        fakeList(4);
        if (c.rejecting >= 0) g_unmaskedResult[c.rejecting] = 1, g_setsDone[c.rejecting] = c.allRejected;
        if (c.maskedEmpty >= 0) g_maskedResult[c.maskedEmpty] = 1;
        raster().spanDone = 1;  // the runner clears it first
        EXPECT_EQ(__glSpanRenderStages(ctx), 0);
        EXPECT_EQ(g_log, c.log) << c.name;
    }
}

TEST_F(SpanPipelineTest, BothBuffersReceiveTheSameColours) {
    attach(kX8R8G8B8, 16, 8, true);
    GlStageList &l = spanList();
    l.unmaskedStages[0] = __glSpanShadeRgbaSmooth;
    l.maskedStages[0] = __glSpanShadeRgbaSmooth;
    l.unmaskedStages[1] = l.maskedStages[1] = doubleColors;
    l.unmaskedStages[2] = __glStoreRgbaSpan;
    l.maskedStages[2] = __glStoreRgbaSpanMasked;
    l.firstColorStage = 1;
    l.stageCount = 3;
    GlRasterState &rs = raster();
    const float start[4] = {10, 20, 30, 0}, step[4] = {1, 1, 1, 0};
    std::memcpy(rs.spanColor, start, 16);
    std::memcpy(rs.colorStep, step, 16);
    span(2, 3, 4);
    __glSpanRenderStagesFrontBack(ctx);
    for (int i = 0; i < 4; ++i) {
        uint32_t expected = uint32_t(20 + 2 * i) << 16 | uint32_t(40 + 2 * i) << 8 | uint32_t(60 + 2 * i);
        EXPECT_EQ(front.element(2 + i, 3), expected) << i;
        EXPECT_EQ(back.element(2 + i, 3), expected) << i;
    }
    EXPECT_EQ(rs.targetColorBuffer, &colors().back);

    // A rejection before the colour stages: both buffers are stored through the masked list.
    setClipBox(4, 0, 16, 8);
    l.unmaskedStages[0] = __glSpanScissor;
    l.maskedStages[0] = nullptr;
    l.unmaskedStages[1] = l.maskedStages[1] = __glSpanShadeRgbaFlat;
    l.firstColorStage = 2;
    span(2, 5, 4);
    __glSpanRenderStagesFrontBack(ctx);
    for (int i = 0; i < 4; ++i) {
        uint32_t expected = i < 2 ? 0 : 0x0A141E;
        EXPECT_EQ(front.element(2 + i, 5), expected) << i;
        EXPECT_EQ(back.element(2 + i, 5), expected) << i;
    }
    // Every pixel rejected: nothing stored.
    span(0, 6, 4);
    __glSpanRenderStagesFrontBack(ctx);
    EXPECT_EQ(front.element(3, 6), 0u);
    EXPECT_EQ(back.element(3, 6), 0u);
}

TEST_F(SpanPipelineTest, SpanRunsThroughScissorAlphaTestAndStore) {
    GlColorBuffer *cb = attach(kR5G6B5);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth | kGlShadeAlphaTest;
    inputs().scissorCoversViewport = 0;
    setClipBox(2, 0, 7, 8);
    inputs().alphaTestSize = 256;
    inputs().alphaTestScale = 1.0f;
    for (int i = 0; i < 256; ++i) inputs().alphaTestTable[i] = i >= 160;  // alpha >= 160 passes
    validate();
    ASSERT_EQ(spanList().stageCount, 4);
    GlRasterState &rs = raster();
    const float start[4] = {1, 2, 3, 40}, step[4] = {1, 1, 1, 30};
    std::memcpy(rs.spanColor, start, 16);
    std::memcpy(rs.colorStep, step, 16);
    span(0, 1, 10);
    spanList().runner(ctx);
    // Pixels 0, 1 are cut by the scissor, 7.. by its right edge; alpha 40 + 30 i passes from i = 4.
    for (int x = 0; x < 10; ++x) {
        uint32_t c = uint32_t(1 + x);
        uint32_t expected = x >= 4 && x < 7 ? (c << 11 | (c + 1) << 5 | (c + 2)) : 0;
        EXPECT_EQ(front.element(x, 1), expected) << x;
    }
    EXPECT_EQ(rs.spanLength, 7);
    EXPECT_EQ(cb->storeSpanMasked, __glStoreRgbaSpanMasked);
    // A zero-length span draws nothing and rejects nothing.
    span(0, 2, 0);
    spanList().runner(ctx);
    EXPECT_EQ(rs.spanDone, 0);
}

}  // namespace
