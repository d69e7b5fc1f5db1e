// Blending as the colour buffer's stores use it: every factor pair glBlendFunc accepts against a
// per-channel reference on buffers with and without alpha, the destination read only when a
// factor needs it, the fused procs against the general composition, saturation and the kept
// source alpha.
#include <cmath>
#include <random>
#include "tests/icd_raster/raster_fixture.h"
#include "icd/raster/blend.h"

namespace {

const GLenum kSourceFactors[] = {GL_ZERO, GL_ONE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA,
                                 GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
const GLenum kDestinationFactors[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                      GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA};

// The factor of one channel, in double, straight from the definitions.
double factor(GLenum f, int ch, const double *S, const double *D, const double *max) {
    double sa = S[3] / max[3], da = D[3] / max[3];
    switch (f) {
    case GL_ZERO: return 0;
    case GL_ONE: return 1;
    case GL_SRC_COLOR: return S[ch] / max[ch];
    case GL_ONE_MINUS_SRC_COLOR: return 1 - S[ch] / max[ch];
    case GL_DST_COLOR: return D[ch] / max[ch];
    case GL_ONE_MINUS_DST_COLOR: return 1 - D[ch] / max[ch];
    case GL_SRC_ALPHA: return sa;
    case GL_ONE_MINUS_SRC_ALPHA: return 1 - sa;
    case GL_DST_ALPHA: return da;
    case GL_ONE_MINUS_DST_ALPHA: return 1 - da;
    case GL_SRC_ALPHA_SATURATE: return ch == 3 ? 1 : std::min(sa, 1 - da);
    }
    return NAN;
}

int g_fetches;
void (*g_realFetch)(GlColorBuffer *, int32_t, int32_t, float *);
void countingFetch(GlColorBuffer *cb, int32_t x, int32_t y, float *out) {
    ++g_fetches;
    g_realFetch(cb, x, y, out);
}

class BlendTest : public RasterTest {
protected:
    void blendFunc(GLenum s, GLenum d, bool on = true) {
        ctx->state.color.blendSrcFactor = s;
        ctx->state.color.blendDstFactor = d;
        if (on) {
            ctx->state.enable.enables |= kGlEnableBlend;
            raster().shadeFlags |= kGlShadeBlend;
        } else {
            ctx->state.enable.enables &= ~kGlEnableBlend;
            raster().shadeFlags &= ~kGlShadeBlend;
        }
        __glPickBlendProcs(ctx);
    }
    GlBlendProcs &procs() { return ctx->state.span.fragment.blend; }
};

struct Format {
    const PixelLayout *layout;
    uint32_t destination;  // a pixel with every channel in mid range
};

TEST_F(BlendTest, EveryFactorPairMatchesTheReferencePerChannel) {
    const Format formats[] = {{&kA8R8G8B8, 0x9C3A71E4}, {&kR5G6B5, 0x6B4D}, {&kX8R8G8B8, 0x00C8501E}};
    const float sources[][4] = {{0.3f, 0.55f, 0.9f, 0.4f}, {1.0f, 0.1f, 0.0f, 1.0f}, {0.8f, 0.8f, 0.25f, 0.05f}};
    for (const Format &fmt : formats) {
        GlColorBuffer *cb = attach(*fmt.layout, 4, 2);
        const double max[4] = {cb->redScale, cb->greenScale, cb->blueScale, cb->alphaScale};
        g_realFetch = cb->fetchPixel;
        cb->fetchPixel = countingFetch;
        for (GLenum s : kSourceFactors)
            for (GLenum d : kDestinationFactors)
                for (const auto &src : sources) {
                    SCOPED_TRACE(testing::Message() << fmt.layout->name << std::hex << " src 0x" << s << " dst 0x" << d
                                                    << std::dec << " colour " << src[0]);
                    blendFunc(s, d);
                    front.setElement(1, 1, fmt.destination);
                    double D[4];
                    {
                        float f[4];
                        g_realFetch(cb, kBias + 1, kBias + 1, f);
                        for (int i = 0; i < 4; ++i) D[i] = f[i];
                    }
                    double S[4];
                    for (int i = 0; i < 4; ++i) S[i] = double(float(src[i] * float(max[i])));
                    g_fetches = 0;
                    store(1, 1, float(S[0]), float(S[1]), float(S[2]), float(S[3]));
                    bool needsDest = d != GL_ZERO || s == GL_DST_ALPHA || s == GL_ONE_MINUS_DST_ALPHA ||
                                     s == GL_DST_COLOR || s == GL_ONE_MINUS_DST_COLOR || s == GL_SRC_ALPHA_SATURATE;
                    EXPECT_EQ(g_fetches, needsDest ? 1 : 0);
                    float got[4];
                    g_realFetch(cb, kBias + 1, kBias + 1, got);
                    int channels = fmt.layout->alpha ? 4 : 3;
                    for (int ch = 0; ch < channels; ++ch) {
                        double v = S[ch] * factor(s, ch, S, D, max) + D[ch] * factor(d, ch, S, D, max);
                        v = std::min(v, max[ch]) + 0.5;
                        double expect = std::floor(v);
                        // Float rounding may move a value sitting on a boundary by one.
                        double slack = std::fabs(v - std::round(v)) < 1e-3 ? 1.0 : 0.0;
                        EXPECT_NEAR(got[ch], expect, slack) << "channel " << ch;
                    }
                }
    }
}

TEST_F(BlendTest, FusedPairsAgreeWithTheGeneralComposition) {
    attach(kA8R8G8B8);
    const GLenum pairs[][2] = {{GL_SRC_ALPHA, GL_ZERO},
                               {GL_SRC_ALPHA, GL_ONE},
                               {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
                               {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> channel(0.0f, 255.0f);
    for (const auto &pair : pairs) {
        blendFunc(pair[0], pair[1]);
        GlBlendProc fused = procs().blend;
        EXPECT_NE(fused, __glBlendGeneral);
        EXPECT_NE(fused, __glBlendGeneralClamped);
        procs().sourceFactor = __glBlendSourceFactorProc(pair[0]);
        procs().destinationFactor = __glBlendDestinationFactorProc(pair[1]);
        procs().combine = __glBlendCombineAdd;
        for (int n = 0; n < 200; ++n) {
            float S[4], D[4], a[4], b[4];
            for (int i = 0; i < 4; ++i) {
                S[i] = channel(rng);
                D[i] = channel(rng);
            }
            fused(ctx, S, D, a);
            __glBlendGeneralClamped(ctx, S, D, b);
            for (int i = 0; i < 4; ++i) EXPECT_NEAR(a[i], b[i], 1e-3f) << i;
        }
    }
}

TEST_F(BlendTest, SaturationClampingAndTheProcChoice) {
    attach(kA8R8G8B8);
    // (ONE, ONE) saturates each channel.
    blendFunc(GL_ONE, GL_ONE);
    EXPECT_EQ(procs().blend, __glBlendGeneralClamped);
    front.setElement(0, 0, 0xC0804020);
    store(0, 0, 100, 100, 100, 100);
    EXPECT_EQ(front.element(0, 0), 0xFFE4A484u);
    // (SRC_ALPHA_SATURATE, ZERO) keeps the source alpha and scales the colour by min(sa, 1 - da).
    blendFunc(GL_SRC_ALPHA_SATURATE, GL_ZERO);
    EXPECT_EQ(procs().blend, __glBlendGeneral);
    front.setElement(0, 0, 0xCC000000);  // da = 0.8
    store(0, 0, 200, 100, 50, 127.5f);   // sa = 0.5 -> f = 0.2
    EXPECT_EQ(front.element(0, 0), 0x8028140Au);
    // (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) with full source alpha stores the source.
    blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(procs().blend, __glBlendSrcAlphaOneMinusSrcAlphaFast);
    front.setElement(0, 0, 0x11223344);
    store(0, 0, 10, 20, 30, 255);
    EXPECT_EQ(front.element(0, 0), 0xFF0A141Eu);
    // Pairs that cannot exceed the maxima skip the clamp.
    blendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
    EXPECT_EQ(procs().blend, __glBlendGeneral);
    blendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
    EXPECT_EQ(procs().blend, __glBlendGeneral);
    blendFunc(GL_DST_COLOR, GL_SRC_COLOR);
    EXPECT_EQ(procs().blend, __glBlendGeneralClamped);
    // Blending off: the entry is still chosen by the factors, the blend passes the source.
    blendFunc(GL_ONE, GL_ZERO, false);
    EXPECT_EQ(procs().blend, __glBlendNone);
    EXPECT_EQ(inputs().blendFragment, __glBlendFragmentNoDest);
    blendFunc(GL_ONE_MINUS_DST_ALPHA, GL_ZERO, false);
    EXPECT_EQ(inputs().blendFragment, __glBlendFragmentReadDest);
}

TEST_F(BlendTest, ColourIndexContextsKeepTheirProcs) {
    attach(kA8R8G8B8);
    blendFunc(GL_ONE, GL_ONE);
    GlBlendProc before = procs().blend;
    ctx->visual.rgbaMode = 0;
    blendFunc(GL_SRC_ALPHA, GL_ONE);
    EXPECT_EQ(procs().blend, before);
    ctx->visual.rgbaMode = 1;
}

}  // namespace
