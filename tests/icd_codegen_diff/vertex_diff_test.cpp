// Generated vertex routines against the C range transforms they replace: over vertex sizes,
// strides, matrix types and counts, both fill the same records. The generated transform runs at
// single precision in the C transform's order, so clip coordinates are expected to agree to the
// bit; a tolerance of one unit in the last place is allowed for them all the same, and the clip
// codes, window coordinates and colours must then agree exactly.
#include <cmath>
#include <random>
#include <vector>

#include "tests/icd_arrays/arrays_fixture.h"
#include "tests/icd_codegen_diff/diff_fixture.h"

namespace {

using namespace icd;

bool withinUlp(float a, float b, int ulps) {
    if (std::memcmp(&a, &b, 4) == 0) return true;
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    if ((ia < 0) != (ib < 0)) return a == b;
    return std::abs(ia - ib) <= ulps;
}

struct MatrixCase {
    const char *name;
    void (*load)(GlContext *ctx);
};

class VertexDiff : public ArraysTest {
protected:
    std::vector<float> data;

    void useArray(int size, int strideFloats, int count, std::mt19937 &rng) {
        data.assign(size_t(strideFloats) * size_t(count) + 8, 0.0f);
        std::uniform_real_distribution<float> coord(-2.0f, 2.0f), wDist(0.25f, 2.0f);
        for (int i = 0; i < count; ++i) {
            float *v = &data[size_t(i) * size_t(strideFloats)];
            for (int k = 0; k < size; ++k) v[k] = coord(rng);
            if (size == 4) v[3] = (i % 5 == 4) ? -wDist(rng) : (i % 3 == 0 ? 1.0f : wDist(rng));
        }
        GL(glVertexPointer)(size, GL_FLOAT, strideFloats == size ? 0 : strideFloats * 4, data.data());
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
    }
};

const MatrixCase kMatrices[] = {
    {"identity", [](GlContext *) {}},
    {"scale-translate", [](GlContext *ctx) { GL(glOrtho)(-2.0, 3.0, -1.5, 2.5, -1.0, 4.0); }},
    {"affine 2D", [](GlContext *ctx) {
         GL(glTranslatef)(0.25f, -0.5f, 0.0f);
         GL(glRotatef)(30.0f, 0.0f, 0.0f, 1.0f);
     }},
    {"affine 3D", [](GlContext *ctx) {
         GL(glRotatef)(40.0f, 1.0f, 0.5f, 0.0f);
         GL(glScalef)(0.7f, 1.2f, 0.9f);
     }},
    {"general", [](GlContext *ctx) {
         GL(glFrustum)(-1.0, 1.0, -0.75, 0.75, 1.0, 10.0);
         GL(glTranslatef)(0.1f, -0.2f, -4.0f);
     }},
};

TEST_F(VertexDiff, GeneratedRoutinesFillTheSameRecordsAsTheCRangeTransforms) {
    std::mt19937 rng(77);
    GlArrayState &a = ctx->arrayState;
    int compared = 0;
    for (int mmx : {1, 0}) {
        __glOgOverrideMmx(mmx);
        for (const MatrixCase &mc : kMatrices) {
            for (int size = 2; size <= 4; ++size) {
                for (int strideFloats : {size, size + 3}) {
                    SCOPED_TRACE(::testing::Message() << mc.name << " size " << size << " stride " << strideFloats * 4);
                    GL(glMatrixMode)(GL_MODELVIEW);
                    GL(glLoadIdentity)();
                    GL(glMatrixMode)(GL_PROJECTION);
                    GL(glLoadIdentity)();
                    mc.load(ctx);
                    GL(glMatrixMode)(GL_MODELVIEW);
                    const int total = 48;
                    useArray(size, strideFloats, total, rng);
                    GL(glColor4f)(0.25f, 0.5f, 0.75f, 1.0f);
                    validateNow();
                    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
                    GlRangeTransformProc c = __glChooseRangeTransform(ctx);
                    GlRangeTransformProc g = __glOgGenVertexProc(ctx, size, uint32_t(a.arrayNeedIndex) & 6u);
                    ASSERT_NE(g, nullptr) << "a routine for every float position array";
                    ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(g)));
                    for (int first : {0, 5}) {
                        for (int count : {0, 1, 7, 36}) {
                            SCOPED_TRACE(::testing::Message() << "first " << first << " count " << count);
                            std::vector<GlVertex> fromC(size_t(count) + 1), fromG(size_t(count) + 1);
                            std::memset(a.cacheBase, 0xA5, (size_t(count) + 1) * sizeof(GlVertex));
                            c(ctx, 0, first, count);
                            std::memcpy(fromC.data(), a.cacheBase, fromC.size() * sizeof(GlVertex));
                            std::memset(a.cacheBase, 0xA5, (size_t(count) + 1) * sizeof(GlVertex));
                            callChecked(g, ctx, int32_t(0), int32_t(first), int32_t(count));
                            std::memcpy(fromG.data(), a.cacheBase, fromG.size() * sizeof(GlVertex));
                            EXPECT_EQ(std::memcmp(&fromC[size_t(count)], &fromG[size_t(count)], sizeof(GlVertex)), 0)
                                << "nothing past the range";
                            for (int i = 0; i < count; ++i) {
                                const GlVertex &x = fromC[size_t(i)], &y = fromG[size_t(i)];
                                ASSERT_EQ(x.flags, y.flags) << i;
                                ASSERT_EQ(std::memcmp(x.obj, y.obj, sizeof x.obj), 0) << i;
                                for (int k = 0; k < 4; ++k) ASSERT_TRUE(withinUlp(x.clip[k], y.clip[k], 1)) << i;
                                ASSERT_EQ(std::memcmp(x.frontColor, y.frontColor, sizeof x.frontColor), 0) << i;
                                if (x.flags & kGlVertexWindowDone) {
                                    for (int k = 0; k < 3; ++k) ASSERT_TRUE(withinUlp(x.window[k], y.window[k], 1)) << i;
                                    ASSERT_TRUE(withinUlp(x.invW, y.invW, 1)) << i;
                                }
                                ++compared;
                            }
                        }
                    }
                }
            }
        }
    }
    __glOgOverrideMmx(-1);
    EXPECT_GT(compared, 2000);
}

// The vertex cache's variant transforms records written already, skipping the ones a clip bit
// marks, as __glCullTransformVertexRange does.
TEST_F(VertexDiff, TheVertexCacheVariantMatchesTheCRoutine) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f);
    GlArrayState &a = ctx->arrayState;
    for (const MatrixCase &mc : kMatrices) {
        for (int size = 2; size <= 4; ++size) {
            SCOPED_TRACE(::testing::Message() << mc.name << " size " << size);
            GL(glMatrixMode)(GL_PROJECTION);
            GL(glLoadIdentity)();
            mc.load(ctx);
            GL(glMatrixMode)(GL_MODELVIEW);
            useArray(size, size, 40, rng);
            validateNow();
            ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 40));
            ASSERT_TRUE(__glArrayBeginRange(ctx));
            GlRangeTransformProc g = __glOgGenVertexProc(ctx, size, 0x8000);
            ASSERT_NE(g, nullptr);
            EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(g)),
                      reinterpret_cast<const void *>(&__glCullTransformVertexRange));
            std::vector<GlVertex> input(40);
            for (int i = 0; i < 40; ++i) {
                GlVertex &v = input[size_t(i)];
                std::memset(&v, 0, sizeof v);
                for (int k = 0; k < 4; ++k) v.obj[k] = k < size ? coord(rng) : (k == 3 ? 1.0f : 0.0f);
                v.flags = (i % 7 == 3) ? uint32_t(kGlVertexCulled) : 0u;
            }
            std::vector<GlVertex> fromC(40), fromG(40);
            for (auto [proc, out] : {std::pair{static_cast<GlRangeTransformProc>(__glCullTransformVertexRange), &fromC},
                                     std::pair{g, &fromG}}) {
                std::memcpy(a.cacheBase, input.data(), 40 * sizeof(GlVertex));
                if (proc == g) callChecked(g, ctx, int32_t(2), int32_t(0), int32_t(35));
                else proc(ctx, 2, 0, 35);
                std::memcpy(out->data(), a.cacheBase, 40 * sizeof(GlVertex));
            }
            for (int i = 0; i < 40; ++i) {
                const GlVertex &x = fromC[size_t(i)], &y = fromG[size_t(i)];
                ASSERT_EQ(x.flags, y.flags) << i;
                for (int k = 0; k < 4; ++k) ASSERT_TRUE(withinUlp(x.clip[k], y.clip[k], 1)) << i;
                for (int k = 0; k < 3; ++k) ASSERT_TRUE(withinUlp(x.window[k], y.window[k], 1)) << i;
                ASSERT_TRUE(withinUlp(x.invW, y.invW, 1)) << i;
            }
            EXPECT_EQ(fromG[0].flags, 0u) << "records before the range untouched";
            EXPECT_EQ(fromG[37].flags, 0u) << "records after the range untouched";
        }
    }
}

// A draw asks the lazy stub, which installs the generated routine; a draw with the same state
// later reuses it; a state it was not made for runs the C transform.
TEST_F(VertexDiff, TheLazyStubInstallsTheRoutineFromTheCache) {
    std::mt19937 rng(5);
    GlArrayState &a = ctx->arrayState;
    useArray(3, 3, 12, rng);
    validateNow();
    spyRenderers();
    GL(glDrawArrays)(GL_TRIANGLES, 0, 9);
    ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(a.rangeTransform)));
    EXPECT_EQ(a.ogVertexProc, a.rangeTransform);
    ASSERT_EQ(renderedRecords().size(), 9u);
    EXPECT_EQ(renderedRecords()[4].obj[1], data[4 * 3 + 1]);
    GlRangeTransformProc installed = a.rangeTransform;
    const uint32_t generated = __glOgContextOf(ctx)->counters.generated;
    GL(glVertexPointer)(3, GL_FLOAT, 0, data.data());
    validateNow();
    spyRenderers();
    GL(glDrawArrays)(GL_TRIANGLES, 0, 3);
    EXPECT_EQ(a.rangeTransform, installed);
    EXPECT_EQ(__glOgContextOf(ctx)->counters.generated, generated) << "same state, same code";

    // A double array: the routine hands over to the C transform.
    std::vector<double> d(36, 0.5);
    GL(glVertexPointer)(3, GL_DOUBLE, 0, d.data());
    validateNow();
    EXPECT_EQ(__glOgGenVertexProc(ctx, 3, 2), nullptr);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 4));
    callChecked(installed, ctx, int32_t(0), int32_t(0), int32_t(4));
    EXPECT_EQ(a.cacheBase[3].obj[2], 0.5f);
}

}  // namespace
