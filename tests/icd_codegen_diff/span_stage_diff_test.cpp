// Generated shading stages against the C stages they replace, with MMX allowed and forbidden:
// the same fragment colours for flat and smooth spans of many lengths, nothing written past the
// span, and then the same pixels when a span runs through the whole list.
#include <random>
#include <vector>

#include "tests/icd_codegen_diff/diff_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {

using namespace icd;

class ShadeDiff : public RasterTest {
protected:
    void SetUp() override {
        RasterTest::SetUp();
        __glOgSetSmoothShadeForTest(1);
    }
    void TearDown() override {
        __glOgSetSmoothShadeForTest(-1);
        __glOgOverrideMmx(-1);
        RasterTest::TearDown();
    }
    std::vector<float> runStage(GlStageProc stage, int n) {
        float *colors = raster().fragmentColors;
        std::fill(colors, colors + 4 * kGlMaxSpanLength, -7.0f);
        raster().spanLength = n;
        EXPECT_EQ(callChecked(stage, ctx), 0);
        return std::vector<float>(colors, colors + 4 * (n + 1));
    }
};

TEST_F(ShadeDiff, GeneratedShadingMatchesTheCStagesWithAndWithoutMmx) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(0.0f, 255.0f), step(-1.5f, 1.5f);
    for (const PixelLayout *layout : {&kR5G6B5, &kX8R8G8B8}) {
        for (int mmx : {1, 0}) {
            for (bool smooth : {false, true}) {
                SCOPED_TRACE(::testing::Message() << layout->name << (mmx ? " mmx" : " no mmx")
                                                  << (smooth ? " smooth" : " flat"));
                __glOgOverrideMmx(mmx);
                attach(*layout, 160, 2);
                raster().shadeFlags = kGlShadeRgba | (smooth ? kGlShadeSmooth : 0);
                validate();
                GlStageProc c = smooth ? __glSpanShadeRgbaSmooth : __glSpanShadeRgbaFlat;
                GlStageProc g = spanList().unmaskedStages[0];
                ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(g)));
                EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(g)), reinterpret_cast<const void *>(c));
                for (int n : {0, 1, 2, 7, 33, 150}) {
                    for (int k = 0; k < 4; ++k) {
                        raster().spanColor[k] = value(rng);
                        raster().colorStep[k] = step(rng);
                    }
                    ASSERT_EQ(runStage(g, n), runStage(c, n)) << n;
                }
            }
        }
    }
}

TEST_F(ShadeDiff, ASpanThroughTheListDrawsTheSamePixels) {
    for (int mmx : {1, 0}) {
        __glOgOverrideMmx(mmx);
        for (bool smooth : {false, true}) {
            attach(kR5G6B5, 64, 1);
            raster().shadeFlags = kGlShadeRgba | (smooth ? kGlShadeSmooth : 0);
            std::vector<uint8_t> pictures[2];
            for (int generated : {1, 0}) {
                validate();
                if (!generated) spanList().unmaskedStages[0] = spanList().maskedStages[0] =
                                    smooth ? __glSpanShadeRgbaSmooth : __glSpanShadeRgbaFlat;
                std::fill(front.bytes.begin(), front.bytes.end(), 0);
                span(3, 0, 57);
                const float color[4] = {200.0f, 10.5f, 99.0f, 255.0f}, stepping[4] = {-1.25f, 0.75f, 0.5f, 0.0f};
                std::memcpy(raster().spanColor, color, sizeof color);
                std::memcpy(raster().colorStep, stepping, sizeof stepping);
                spanList().runner(ctx);
                pictures[generated] = front.bytes;
            }
            EXPECT_EQ(pictures[1], pictures[0]) << (smooth ? "smooth" : "flat") << (mmx ? " mmx" : "");
            EXPECT_NE(front.element(10, 0), 0u);
        }
    }
}

// Smooth shading stays in C unless asked for: the compiled stage is the faster one.
TEST_F(ShadeDiff, SmoothShadingIsGeneratedOnlyWhenAskedFor) {
    attach(kR5G6B5, 16, 1);
    raster().shadeFlags = kGlShadeRgba | kGlShadeSmooth;
    __glOgSetSmoothShadeForTest(0);
    validate();
    EXPECT_EQ(spanList().unmaskedStages[0], __glSpanShadeRgbaSmooth);
    __glOgSetSmoothShadeForTest(1);
    validate();
    EXPECT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(spanList().unmaskedStages[0])));
}

}  // namespace
