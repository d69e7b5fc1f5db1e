// Matrix arithmetic against double-precision references: the fifteen point-transform procs,
// the product and its aliasing, the inverse-transpose of every type, normalisation.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <random>
#include "icd/vertex/transform_state.h"

namespace {
constexpr double kTol = 2e-5;  // relative to the magnitude of the result (floats, |elements| <= 2)

// A matrix of the given type whose elements outside the type's form are 0 (or 1 on the
// diagonal where the form fixes it).
GlMatrix randomOfType(std::mt19937 &rng, uint32_t type) {
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    GlMatrix m;
    std::memset(&m, 0, sizeof(m));
    float *e = m.m;
    switch (type) {
    case kGlMatrixGeneral:
        for (float &v : m.m) v = d(rng);
        break;
    case kGlMatrixAffine:
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 3; ++r) e[4 * c + r] = d(rng);
        e[15] = 1.0f;
        break;
    case kGlMatrixPlanar:
        for (int i : {0, 1, 4, 5, 10, 12, 13, 14}) e[i] = d(rng);
        e[15] = 1.0f;
        break;
    case kGlMatrixScaleTranslate:
    case kGlMatrixWindowOrtho:
        for (int i : {0, 5, 10, 12, 13, 14}) e[i] = d(rng);
        e[15] = 1.0f;
        break;
    default:
        __glMakeIdentity(&m);
        break;
    }
    m.type = type;
    return m;
}

void referenceXform(double out[4], const GlMatrix &m, const double in[4]) {
    for (int r = 0; r < 4; ++r) {
        out[r] = 0;
        for (int c = 0; c < 4; ++c) out[r] += double(m.m[4 * c + r]) * in[c];
    }
}

// 4x4 inverse-transpose in double by Gauss-Jordan elimination.
bool referenceInverseTranspose(const GlMatrix &m, double out[16]) {
    double a[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            a[r][c] = m.m[4 * c + r];
            a[r][4 + c] = r == c;
        }
    for (int c = 0; c < 4; ++c) {
        int p = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (std::fabs(a[p][c]) < 1e-12) return false;
        for (int k = 0; k < 8; ++k) std::swap(a[c][k], a[p][k]);
        double inv = 1.0 / a[c][c];
        for (int k = 0; k < 8; ++k) a[c][k] *= inv;
        for (int r = 0; r < 4; ++r)
            if (r != c) {
                double f = a[r][c];
                for (int k = 0; k < 8; ++k) a[r][k] -= f * a[c][k];
            }
    }
    // inverse(r, c) = a[r][4 + c]; its transpose at column-major index 4c + r is inverse(c, r).
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[4 * c + r] = a[c][4 + r];
    return true;
}

struct ProcSet {
    uint32_t type;
    GlXformProc procs[3];
};
const ProcSet kProcSets[] = {
    {kGlMatrixGeneral, {__glXform2General, __glXform3General, __glXform4General}},
    {kGlMatrixAffine, {__glXform2Affine3D, __glXform3Affine3D, __glXform4Affine3D}},
    {kGlMatrixPlanar, {__glXform2Affine2D, __glXform3Affine2D, __glXform4Affine2D}},
    {kGlMatrixScaleTranslate, {__glXform2ScaleTranslate, __glXform3ScaleTranslate, __glXform4ScaleTranslate}},
    {kGlMatrixIdentity, {__glXform2Identity, __glXform3Identity, __glXform4Identity}},
};
}  // namespace

// Every proc matches the double reference, and for a matrix of its type gives exactly what the
// general proc of the same component count gives (w = 1 by its bits and any other w).
TEST(MatrixMath, TransformProcsMatchReferenceAndTheGeneralProc) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-3.0f, 3.0f);
    const GlXformProc general[3] = {__glXform2General, __glXform3General, __glXform4General};
    for (const ProcSet &set : kProcSets) {
        for (int trial = 0; trial < 200; ++trial) {
            GlMatrix m = randomOfType(rng, set.type);
            for (int n = 2; n <= 4; ++n) {
                float in[4] = {d(rng), d(rng), d(rng), trial % 2 ? 1.0f : d(rng)};
                double ref[4], din[4] = {in[0], in[1], n >= 3 ? in[2] : 0.0, n == 4 ? in[3] : 1.0};
                referenceXform(ref, m, din);
                float out[4], viaGeneral[4];
                set.procs[n - 2](out, in, &m);
                general[n - 2](viaGeneral, in, &m);
                for (int i = 0; i < 4; ++i) {
                    SCOPED_TRACE(::testing::Message() << "type " << set.type << " n " << n << " i " << i);
                    EXPECT_NEAR(out[i], ref[i], kTol * 16);
                    EXPECT_EQ(out[i], viaGeneral[i]);
                }
            }
        }
    }
}

TEST(MatrixMath, PickedProcsFollowTheType) {
    GlMatrix m;
    for (uint32_t type = 0; type <= 5; ++type) {
        m.type = type;
        __glSetXformProcs(&m);
        const ProcSet &set = kProcSets[type == 5 ? 3 : type];
        EXPECT_EQ(m.xform2, set.procs[0]);
        EXPECT_EQ(m.xform3, set.procs[1]);
        EXPECT_EQ(m.xform4, set.procs[2]);
        __glSetInverseXformProcs(&m);
        EXPECT_EQ(m.xform4, __glXform4General);
        // A general inverse transforms normals and planes with their own w.
        EXPECT_EQ(m.xform3, type == 0 ? __glXform4General : kProcSets[type >= 3 ? 3 : type].procs[1]);
    }
}

// dst = a x b over rows of four floats, also when dst is either operand.
TEST(MatrixMath, MultiplyMatchesReferenceAndAllowsAliasing) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 50; ++trial) {
        GlMatrix a = randomOfType(rng, 0), b = randomOfType(rng, 0);
        double ref[16];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                ref[4 * r + c] = 0;
                for (int k = 0; k < 4; ++k) ref[4 * r + c] += double(a.m[4 * r + k]) * b.m[4 * k + c];
            }
        GlMatrix fresh, intoA = a, intoB = b;
        __glMultiplyMatrix(&fresh, &a, &b);
        __glMultiplyMatrix(&intoA, &intoA, &b);
        __glMultiplyMatrix(&intoB, &a, &intoB);
        for (int i = 0; i < 16; ++i) {
            EXPECT_NEAR(fresh.m[i], ref[i], kTol * 16);
            EXPECT_EQ(intoA.m[i], fresh.m[i]);
            EXPECT_EQ(intoB.m[i], fresh.m[i]);
        }
    }
}

TEST(MatrixMath, ProductTypeTable) {
    struct Case {
        uint32_t arg, cur, result;
    } cases[] = {
        {0, 4, 0}, {1, 0, 0}, {1, 3, 1}, {2, 1, 1}, {2, 4, 2}, {3, 2, 2}, {3, 5, 3}, {4, 0, 0}, {4, 5, 5},
        {5, 4, 5}, {5, 3, 3}, {5, 5, 3}, {5, 2, 2}, {5, 0, 0},
    };
    for (const Case &c : cases) {
        GlMatrix dst{}, arg{}, cur{};
        arg.type = c.arg, cur.type = c.cur;
        arg.orthoWidth = 640, arg.orthoHeight = 480;
        cur.orthoWidth = 320, cur.orthoHeight = 240;
        __glMatrixProductType(&dst, &arg, &cur);
        EXPECT_EQ(dst.type, c.result) << c.arg << " x " << c.cur;
        if (c.result == 5) {
            EXPECT_EQ(dst.orthoWidth, c.arg == 5 ? 640 : 320);
        }
    }
}

TEST(MatrixMath, InverseTransposeOfEveryTypeMatchesReference) {
    std::mt19937 rng(3);
    for (uint32_t type = 0; type <= 4; ++type) {
        for (int trial = 0; trial < 100; ++trial) {
            GlMatrix m = randomOfType(rng, type), it;
            double ref[16];
            if (!referenceInverseTranspose(m, ref)) continue;
            double scale = 0;  // badly conditioned matrices get a wider margin
            for (double v : ref) scale = std::max(scale, std::fabs(v));
            std::memset(&it, 0, sizeof(it));
            __glInvertTransposeMatrix(&it, &m);
            EXPECT_EQ(it.type, type);
            for (int i = 0; i < 16; ++i)
                EXPECT_NEAR(it.m[i], ref[i], 1e-4 * scale * scale) << "type " << type << " element " << i;
        }
    }
}

// A singular matrix leaves the destination as it was, numbers and type alike.
TEST(MatrixMath, SingularInverseKeepsThePreviousResult) {
    for (uint32_t type : {0u, 1u, 3u}) {
        GlMatrix singular;
        __glMakeIdentity(&singular);
        singular.m[5] = 0.0f;  // y collapses
        singular.type = type;
        GlMatrix dst;
        __glMakeIdentity(&dst);
        dst.m[12] = 7.0f;
        GlMatrix before = dst;
        __glInvertTransposeMatrix(&dst, &singular);
        EXPECT_EQ(std::memcmp(dst.m, before.m, sizeof(dst.m)), 0);
        EXPECT_EQ(dst.type, uint32_t(kGlMatrixIdentity));
    }
}

TEST(MatrixMath, NormalizeMatchesReference) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-100.0f, 100.0f);
    for (int trial = 0; trial < 1000; ++trial) {
        float v[3] = {d(rng), d(rng), d(rng)}, n[3];
        __glNormalize(n, v);
        double len = std::sqrt(double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]);
        // The bit seed is within 3.5% and two Newton steps bring that to below 5e-6.
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(n[i], v[i] / len, 6e-6);
    }
    float zero[3] = {0.0f, -0.0f, 0.0f}, out[3] = {9, 9, 9};
    __glNormalize(out, zero);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(out[2], 0.0f);
    float unit[3] = {0.6f, 0.8f, 0.0f};  // length squared rounds to exactly 1: copied as is
    float sq = unit[0] * unit[0] + unit[1] * unit[1];
    __glNormalize(out, unit);
    if (sq == 1.0f) {
        EXPECT_EQ(std::memcmp(out, unit, sizeof(out)), 0);
    }
    float axis[3] = {0.0f, 0.0f, 1.0f};
    __glNormalize(out, axis);
    EXPECT_EQ(out[2], 1.0f);
}
