// Generated vertex routines against the C range transforms they replace: over vertex sizes,
// strides, matrix types and counts, both fill the same records. The generated transform runs at
// single precision in the C transform's order, so clip coordinates are expected to agree to the
// bit; a tolerance of one unit in the last place is allowed for them all the same, and the clip
// codes, window coordinates and colours must then agree exactly.
#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <utility>
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

// With GL_CULL_VERTEX_EXT the vertex cache's variant gives each record the cull word of the side
// its normal faces, over cull points and directions and the cull faces, as the C routine does.
TEST_F(VertexDiff, TheVertexCacheVariantCullsAsTheCRoutine) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f), unit(-1.0f, 1.0f);
    GlArrayState &a = ctx->arrayState;
    useArray(3, 3, 40, rng);
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    const float eyes[2][4] = {{0.5f, -0.25f, 1.5f, 1.0f}, {0.3f, 0.2f, -1.0f, 0.0f}};
    for (GLenum face : {GL_BACK, GL_FRONT, GL_FRONT_AND_BACK}) {
        for (const float *eye : eyes) {
            SCOPED_TRACE(::testing::Message() << "face " << std::hex << face << std::dec << " eye w " << eye[3]);
            GL(glCullFace)(face);
            GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, const_cast<float *>(eye));
            validateNow();
            ASSERT_TRUE(a.arrayFlags & kGlArrayCullVertex);
            ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 40));
            ASSERT_TRUE(__glArrayBeginRange(ctx));
            GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0x8000);
            ASSERT_NE(g, nullptr);
            std::vector<GlVertex> input(40);
            for (int i = 0; i < 40; ++i) {
                GlVertex &v = input[size_t(i)];
                std::memset(&v, 0, sizeof v);
                for (int k = 0; k < 3; ++k) v.obj[k] = coord(rng), v.normal[k] = i % 9 == 2 ? 0.0f : unit(rng);
                v.obj[3] = 1.0f;
                v.flags = (i % 7 == 3) ? uint32_t(kGlVertexCulled) : 0u;
            }
            std::vector<GlVertex> fromC(40), fromG(40);
            std::memcpy(a.cacheBase, input.data(), 40 * sizeof(GlVertex));
            __glCullTransformVertexRange(ctx, 2, 0, 35);
            std::memcpy(fromC.data(), a.cacheBase, 40 * sizeof(GlVertex));
            std::memcpy(a.cacheBase, input.data(), 40 * sizeof(GlVertex));
            callChecked(g, ctx, int32_t(2), int32_t(0), int32_t(35));
            std::memcpy(fromG.data(), a.cacheBase, 40 * sizeof(GlVertex));
            int culled = 0;
            for (int i = 0; i < 40; ++i) {
                ASSERT_EQ(std::memcmp(&fromC[size_t(i)], &fromG[size_t(i)], sizeof(GlVertex)), 0) << i;
                culled += i >= 2 && i < 37 && (fromC[size_t(i)].flags & kGlVertexCulled) != 0;
            }
            if (face == GL_FRONT_AND_BACK) {
                EXPECT_EQ(culled, 35);
            } else {
                EXPECT_TRUE(culled > 5 && culled < 35) << culled;
            }
        }
    }
    GL(glDisable)(GL_CULL_VERTEX_EXT);
    GL(glCullFace)(GL_BACK);
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

    // A double array has a routine of its own; the float array's hands it to the C transform.
    std::vector<double> d(36, 0.5);
    GL(glVertexPointer)(3, GL_DOUBLE, 0, d.data());
    validateNow();
    GlRangeTransformProc forDouble = __glOgGenVertexProc(ctx, 3, 2);
    EXPECT_NE(forDouble, nullptr);
    EXPECT_NE(forDouble, installed);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 4));
    callChecked(installed, ctx, int32_t(0), int32_t(0), int32_t(4));
    EXPECT_EQ(a.cacheBase[3].obj[2], 0.5f);
}

}  // namespace

namespace {

using namespace icd;

// ---- colour, texture-coordinate and non-float vertex arrays ------------------------------------

// One client array of a state: its type and components (0: the array is not used).
struct ArrayLayout {
    GLenum type;
    int size;
};

int bytesOf(GLenum type) {
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT: return 2;
    case GL_DOUBLE: return 8;
    default: return 4;
    }
}

void put(uint8_t *p, GLenum type, double v) {
    switch (type) {
    case GL_BYTE: *p = uint8_t(int8_t(v)); break;
    case GL_UNSIGNED_BYTE: *p = uint8_t(v); break;
    case GL_UNSIGNED_INT: { const GLuint u = GLuint(v) * 0x01010101u; std::memcpy(p, &u, 4); break; }
    case GL_SHORT: { const GLshort s = GLshort(v); std::memcpy(p, &s, 2); break; }
    case GL_UNSIGNED_SHORT: { const GLushort s = GLushort(v); std::memcpy(p, &s, 2); break; }
    case GL_INT: { const GLint i = GLint(v); std::memcpy(p, &i, 4); break; }
    case GL_DOUBLE: std::memcpy(p, &v, 8); break;
    default: { const float f = float(v); std::memcpy(p, &f, 4); break; }
    }
}

// Colours and texture coordinates that are not plain fractions: the channel scale's neighbours,
// signed zeros, NaN, infinities, and inputs whose scaled product is subnormal or rounds at the
// edge of the float range.
const float kOddFloats[] = {-0.0f, 0.0f, 1.0f, 1.0000001f, 0.99999994f, -1e-3f, 3.0f,
                            std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            1e-42f, -1e-42f, 3e-43f, 1e-40f, 1.4e-45f, 3e38f};

// A colour or normal component of an integer type over its whole range: the largest and the
// smallest value, -1 and 0, and values drawn from the whole range.
double integerComponent(GLenum type, int i, std::mt19937 &rng) {
    int64_t lo = 0, hi = 0;
    switch (type) {
    case GL_BYTE: lo = -128, hi = 127; break;
    case GL_UNSIGNED_BYTE: hi = 255; break;
    case GL_SHORT: lo = -32768, hi = 32767; break;
    case GL_UNSIGNED_SHORT: hi = 65535; break;
    case GL_INT: lo = INT32_MIN, hi = INT32_MAX; break;
    default: hi = UINT32_MAX; break;
    }
    switch (i % 7) {
    case 0: return double(hi);
    case 1: return double(lo);
    case 2: return lo < 0 ? -1.0 : 0.0;
    default: return double(std::uniform_int_distribution<int64_t>(lo, hi)(rng));
    }
}

// The arrays of one state (vertex, colour, texture coordinates, normal), element by element,
// packed (each array its own tight block) or interleaved (one block, one stride shared by all).
class ArraySet {
public:
    static constexpr int kArrays = 4;
    std::vector<uint8_t> bytes;  // 8-aligned blocks
    int32_t offset[kArrays] = {}, stride[kArrays] = {}, userStride[kArrays] = {};

    void fill(const ArrayLayout (&layouts)[kArrays], int count, bool interleaved, std::mt19937 &rng) {
        int32_t element[kArrays], at = 0;
        for (int k = 0; k < kArrays; ++k) element[k] = layouts[k].size * bytesOf(layouts[k].type);
        if (interleaved) {
            for (int k = 0; k < kArrays; ++k) offset[k] = at, at += (element[k] + 7) & ~7;
            for (int k = 0; k < kArrays; ++k) stride[k] = userStride[k] = at;
            bytes.assign(size_t(at) * size_t(count) + 8, 0);
        } else {
            for (int k = 0; k < kArrays; ++k) {
                offset[k] = at, stride[k] = element[k], userStride[k] = 0;
                at += (element[k] * count + 7) & ~7;
            }
            bytes.assign(size_t(at) + 8, 0);
        }
        std::uniform_real_distribution<double> coord(-2.0, 2.0), unit(-0.25, 1.25), tex(-4.0, 4.0);
        std::uniform_int_distribution<int> byte(0, 255), small(-3, 3), odd(0, int(std::size(kOddFloats)) - 1);
        for (int i = 0; i < count; ++i) {
            for (int k = 0; k < kArrays; ++k) {
                const ArrayLayout &a = layouts[k];
                for (int c = 0; c < a.size; ++c) {
                    uint8_t *p = element0(k) + size_t(i) * size_t(stride[k]) + size_t(c * bytesOf(a.type));
                    const bool colourOrNormal = k == 1 || k == 3;
                    double v;
                    if (colourOrNormal && a.type != GL_FLOAT && a.type != GL_DOUBLE) {
                        v = integerComponent(a.type, i + 3 * c, rng);
                        if (a.type == GL_UNSIGNED_INT) {
                            const GLuint u = GLuint(v);
                            std::memcpy(p, &u, 4);
                            continue;
                        }
                    } else if (k == 3) {
                        v = i % 11 == 5 ? 0.0 : unit(rng) - 0.5;
                    } else if (a.type == GL_SHORT || a.type == GL_INT) {
                        // Integers beyond 2^24 round to even on the way to a float.
                        v = a.type == GL_INT && i % 4 == 1 ? double((1 << 24) + 1 + 2 * small(rng)) : small(rng);
                        if (k == 0 && c == 3) v = (i % 5 == 4) ? -1.0 : (i % 3 == 0 ? 1.0 : 2.0);
                    } else if (k == 0) {  // position
                        v = c == 3 ? ((i % 5 == 4) ? -1.0 : (i % 3 == 0 ? 1.0 : 2.0)) : coord(rng);
                    } else if (a.type == GL_DOUBLE) {
                        v = tex(rng);
                    } else if (a.type == GL_UNSIGNED_BYTE || a.type == GL_BYTE || a.type == GL_UNSIGNED_INT) {
                        v = i % 7 == 0 ? 255 : i % 7 == 1 ? 0 : byte(rng);
                    } else {
                        v = (i + c) % 3 == 0 ? double(kOddFloats[odd(rng)]) : k == 1 ? unit(rng) : tex(rng);
                    }
                    put(p, a.type, v);
                }
            }
        }
    }
    uint8_t *element0(int k) { return bytes.data() + offset[k]; }
};

struct FetchState {
    ArrayLayout vertex, color, tex;  // color 0: the current colour; tex 0 with texturing: the current one
    bool texturing;
    bool interleaved;
    ArrayLayout normal;  // size 0: the current normal, where the state needs one
};

std::vector<FetchState> fetchStates() {
    std::vector<FetchState> v;
    std::vector<ArrayLayout> colors = {{GL_FLOAT, 0}};
    for (GLenum type : {GL_FLOAT, GL_UNSIGNED_BYTE, GL_BYTE, GL_SHORT, GL_UNSIGNED_SHORT, GL_INT, GL_UNSIGNED_INT,
                        GL_DOUBLE})
        for (int size : {3, 4}) colors.push_back({type, size});
    const GLenum vertexTypes[] = {GL_FLOAT, GL_SHORT, GL_INT, GL_DOUBLE};
    int n = 0;
    for (const ArrayLayout &color : colors)
        for (int tex = -1; tex <= 4; ++tex)  // -1 no texturing, 0 the current coordinates
            for (int size = 2; size <= 4; ++size)
                for (bool interleaved : {false, true}) {
                    // The vertex and texture-coordinate types turn with the state so that every
                    // type meets every colour.
                    const GLenum type = vertexTypes[(n / 2) % 4], texType = vertexTypes[(n / 3 + 1) % 4];
                    ++n;
                    v.push_back({{type, size}, color, {texType, tex < 0 ? 0 : tex}, tex >= 0, interleaved});
                }
    return v;
}

class VertexFetchDiff : public VertexDiff {
protected:
    ArraySet arrays;

    void SetUp() override {
        VertexDiff::SetUp();
        const uint8_t texels[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    }

    void useState(const FetchState &st, int count, std::mt19937 &rng) {
        const ArrayLayout layouts[ArraySet::kArrays] = {st.vertex, st.color, st.tex, st.normal};
        arrays.fill(layouts, count, st.interleaved, rng);
        GL(glVertexPointer)(st.vertex.size, st.vertex.type, arrays.userStride[0], arrays.element0(0));
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        if (st.color.size) {
            GL(glColorPointer)(st.color.size, st.color.type, arrays.userStride[1], arrays.element0(1));
            GL(glEnableClientState)(GL_COLOR_ARRAY);
        } else {
            GL(glDisableClientState)(GL_COLOR_ARRAY);
            GL(glColor4f)(0.25f, 0.5f, 0.75f, 1.0f);
        }
        if (st.tex.size) {
            GL(glTexCoordPointer)(st.tex.size, st.tex.type, arrays.userStride[2], arrays.element0(2));
            GL(glEnableClientState)(GL_TEXTURE_COORD_ARRAY);
        } else {
            GL(glDisableClientState)(GL_TEXTURE_COORD_ARRAY);
            GL(glTexCoord4f)(0.5f, -0.25f, 2.0f, 0.75f);
        }
        if (st.normal.size) {
            GL(glNormalPointer)(st.normal.type, arrays.userStride[3], arrays.element0(3));
            GL(glEnableClientState)(GL_NORMAL_ARRAY);
        } else {
            GL(glDisableClientState)(GL_NORMAL_ARRAY);
            GL(glNormal3f)(0.25f, -0.5f, 0.75f);
        }
        if (st.texturing)
            GL(glEnable)(GL_TEXTURE_2D);
        else
            GL(glDisable)(GL_TEXTURE_2D);
        validateNow();
    }

    // The records of count elements from first through the C transform and through the routine
    // (records prefilled alike, one past the range to see that nothing is written there).
    void expectSameRecords(GlRangeTransformProc g, int first, int count) {
        GlArrayState &a = ctx->arrayState;
        const size_t n = size_t(count) + 1;
        std::vector<GlVertex> fromC(n), fromG(n);
        std::memset(a.cacheBase, 0xA5, n * sizeof(GlVertex));
        __glChooseRangeTransform(ctx)(ctx, 0, first, count);
        std::memcpy(fromC.data(), a.cacheBase, n * sizeof(GlVertex));
        std::memset(a.cacheBase, 0xA5, n * sizeof(GlVertex));
        callChecked(g, ctx, int32_t(0), int32_t(first), int32_t(count));
        std::memcpy(fromG.data(), a.cacheBase, n * sizeof(GlVertex));
        for (size_t i = 0; i < n; ++i) {
            const GlVertex &x = fromC[i], &y = fromG[i];
            if (std::memcmp(&x, &y, sizeof x) == 0) continue;
            auto differs = [](const float *p, const float *q, const char *name) {
                return std::memcmp(p, q, 16) ? name : "";
            };
            ADD_FAILURE() << "record " << i << " differs:" << (x.flags != y.flags ? " flags" : "")
                          << differs(x.obj, y.obj, " obj") << differs(x.normal, y.normal, " normal")
                          << differs(x.clip, y.clip, " clip")
                          << differs(x.window, y.window, " window") << differs(x.frontColor, y.frontColor, " colour")
                          << differs(x.texCoord[0], y.texCoord[0], " texcoord") << "\n  C colour " << x.frontColor[0]
                          << "," << x.frontColor[1] << "," << x.frontColor[2] << "," << x.frontColor[3]
                          << " generated " << y.frontColor[0] << "," << y.frontColor[1] << "," << y.frontColor[2] << ","
                          << y.frontColor[3];
            return;
        }
    }
};

// Over colour arrays (every type, three and four components, or the current colour),
// texture coordinates (arrays of every type and one to four components, the current ones, or
// none), vertex arrays of every type and size, packed and interleaved, under every matrix kind:
// the generated routine writes the records the C range transform writes, every byte of them.
TEST_F(VertexFetchDiff, GeneratedRoutinesFetchColoursTexCoordsAndPositionsAsTheCTransformDoes) {
    std::mt19937 rng(2024);
    GlArrayState &a = ctx->arrayState;
    const std::vector<FetchState> states = fetchStates();
    const int total = 40;
    int compared = 0;
    for (size_t n = 0; n < states.size(); ++n) {
        const FetchState &st = states[n];
        for (size_t m = 0; m < std::size(kMatrices); ++m) {
            const MatrixCase &mc = kMatrices[m];
            SCOPED_TRACE(::testing::Message() << mc.name << " vertex " << st.vertex.size << "x" << std::hex
                                              << st.vertex.type << " colour " << st.color.size << "x" << st.color.type
                                              << std::dec
                                              << " tex " << st.tex.size << (st.texturing ? " textured" : "")
                                              << (st.interleaved ? " interleaved" : " packed"));
            GL(glMatrixMode)(GL_PROJECTION);
            GL(glLoadIdentity)();
            mc.load(ctx);
            GL(glMatrixMode)(GL_MODELVIEW);
            useState(st, total, rng);
            ASSERT_EQ(a.arrayNeedIndex, st.texturing ? 6 : 2);
            ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
            GlRangeTransformProc g = __glOgGenVertexProc(ctx, st.vertex.size, uint32_t(a.arrayNeedIndex) & 6u);
            ASSERT_NE(g, nullptr) << "a routine for the state";
            ASSERT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(g)),
                      reinterpret_cast<const void *>(__glChooseRangeTransform(ctx)));
            for (auto [first, count] : {std::pair{0, total - 1}, std::pair{3, 1}, std::pair{5, 34}}) {
                SCOPED_TRACE(::testing::Message() << "first " << first << " count " << count);
                expectSameRecords(g, first, count);
                compared += count;
            }
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(compared, 30000);
}

// Values worked out here: unsigned bytes map to k/255 of the channel scale (255 to the scale
// itself), a three-component array gives alpha at full scale, float colours are held to
// [0, scale] with -0.0 kept, and texture coordinates get r 0 and q 1.
TEST_F(VertexFetchDiff, FetchedValuesAgreeWithTheirArithmetic) {
    GlArrayState &a = ctx->arrayState;
    const GlColorScales &sc = ctx->scales;
    const float xy[4] = {0.0f, 0.0f, 0.5f, 0.25f};
    const uint8_t ub[6] = {255, 0, 51, 1, 128, 254};
    const float fc[8] = {-0.0f, 1.5f, -0.5f, 0.5f, 0.25f, 1.0f, 0.0f, 2.0f};
    const float st[4] = {0.125f, -3.0f, 7.0f, 0.5f};
    GL(glVertexPointer)(2, GL_FLOAT, 0, xy);
    GL(glTexCoordPointer)(2, GL_FLOAT, 0, st);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glEnableClientState)(GL_COLOR_ARRAY);
    GL(glEnableClientState)(GL_TEXTURE_COORD_ARRAY);
    GL(glEnable)(GL_TEXTURE_2D);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 0)
            GL(glColorPointer)(3, GL_UNSIGNED_BYTE, 0, ub);
        else
            GL(glColorPointer)(4, GL_FLOAT, 0, fc);
        validateNow();
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 2));
        GlRangeTransformProc g = __glOgGenVertexProc(ctx, 2, 6);
        ASSERT_NE(g, nullptr);
        callChecked(g, ctx, int32_t(0), int32_t(0), int32_t(2));
        const GlVertex &v0 = a.cacheBase[0], &v1 = a.cacheBase[1];
        // A byte k is k times the float nearest 1/255, in [0, 1], then times the channel scale.
        const float oneOver255 = 1.0f / 255.0f;
        if (pass == 0) {
            EXPECT_EQ(v0.frontColor[0], sc.redScale);
            EXPECT_EQ(v0.frontColor[1], 0.0f);
            EXPECT_EQ(v0.frontColor[2], 51.0f * oneOver255 * sc.blueScale);
            EXPECT_EQ(v0.frontColor[3], sc.alphaScale);
            EXPECT_EQ(v1.frontColor[0], oneOver255 * sc.redScale);
            EXPECT_EQ(v1.frontColor[2], 254.0f * oneOver255 * sc.blueScale);
        } else {
            EXPECT_EQ(bitsOf(v0.frontColor[0]), 0x80000000u) << "-0.0 kept";
            EXPECT_EQ(v0.frontColor[1], sc.greenScale);
            EXPECT_EQ(bitsOf(v0.frontColor[2]), 0u);
            EXPECT_EQ(v0.frontColor[3], 0.5f * sc.alphaScale);
            EXPECT_EQ(v1.frontColor[0], 0.25f * sc.redScale);
            EXPECT_EQ(v1.frontColor[3], sc.alphaScale);
        }
        EXPECT_EQ(v1.obj[0], 0.5f);
        EXPECT_EQ(v1.obj[2], 0.0f);
        EXPECT_EQ(v1.obj[3], 1.0f);
        const float t1[4] = {7.0f, 0.5f, 0.0f, 1.0f};
        EXPECT_EQ(std::memcmp(v1.texCoord[0], t1, sizeof t1), 0);
    }
}

// A routine serves every placement of arrays of its types: moved arrays and other strides give
// the same routine, which reads the arrays where they are now.
TEST_F(VertexFetchDiff, ARoutineReadsTheArraysWhereTheyAreWhenItRuns) {
    std::mt19937 rng(41);
    const FetchState packed{{GL_SHORT, 3}, {GL_UNSIGNED_BYTE, 4}, {GL_FLOAT, 2}, true, false};
    FetchState interleaved = packed;
    interleaved.interleaved = true;
    useState(packed, 24, rng);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 24));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 6);
    ASSERT_NE(g, nullptr);
    const int32_t packedStride = arrays.stride[1];
    useState(interleaved, 24, rng);
    ASSERT_NE(arrays.stride[1], packedStride);
    EXPECT_EQ(__glOgGenVertexProc(ctx, 3, 6), g) << "the same routine";
    expectSameRecords(g, 2, 21);
}

// Lit states with texture coordinates: the routine lights the records and fetches the texture
// coordinates; after the completion a textured triangle asks for (the normal, the lit colour,
// the texture matrix) every byte of the records is what the C transform and that completion
// leave.
TEST_F(VertexFetchDiff, LitTexturedRoutinesLeaveTheRecordsTheCompletionLeaves) {
    std::mt19937 rng(31);
    GlArrayState &a = ctx->arrayState;
    const uint32_t need = kGlVertexNormalDone | kGlVertexFrontColorDone | kGlVertexTexCoordDone;
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    const float dir[4] = {0.3f, -0.4f, 1.0f, 0.0f}, specular[4] = {0.9f, 0.8f, 0.7f, 1.0f};
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, dir);
    GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    GL(glMaterialf)(GL_FRONT_AND_BACK, GL_SHININESS, 12.0f);
    GL(glMatrixMode)(GL_TEXTURE);
    GL(glScalef)(0.5f, 2.0f, 1.0f);
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glRotatef)(30.0f, 0.2f, 1.0f, 0.1f);
    const int total = 30;
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<float> normals(3 * total);
    for (float &n : normals) n = unit(rng);
    const GLenum vertexTypes[] = {GL_FLOAT, GL_SHORT, GL_DOUBLE};
    int compared = 0;
    for (int tex = 0; tex <= 4; ++tex) {
        for (GLenum type : vertexTypes) {
            for (bool normalize : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "tex " << tex << " vertex type " << std::hex << type
                                                  << (normalize ? " normalize" : ""));
                if (normalize)
                    GL(glEnable)(GL_NORMALIZE);
                else
                    GL(glDisable)(GL_NORMALIZE);
                useState({{type, 3}, {GL_FLOAT, 0}, {GL_FLOAT, tex}, true, tex == 2}, total, rng);
                GL(glNormalPointer)(GL_FLOAT, 0, normals.data());
                GL(glEnableClientState)(GL_NORMAL_ARRAY);
                validateNow();
                ASSERT_EQ(a.arrayNeedIndex, 5);
                ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
                GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, uint32_t(a.arrayNeedIndex) & 6u);
                ASSERT_NE(g, nullptr) << "a lit routine for the state";
                const int first = 2, count = total - 3;
                const size_t n = size_t(count) + 1;
                std::vector<GlVertex> fromC(n), fromG(n);
                std::memset(a.cacheBase, 0xA5, n * sizeof(GlVertex));
                __glChooseRangeTransform(ctx)(ctx, 0, first, count);
                for (int i = 0; i < count; ++i) ctx->slots.primitive.completeVertex[2](ctx, a.cacheBase + i, need);
                std::memcpy(fromC.data(), a.cacheBase, n * sizeof(GlVertex));
                std::memset(a.cacheBase, 0xA5, n * sizeof(GlVertex));
                callChecked(g, ctx, int32_t(0), int32_t(first), int32_t(count));
                for (int i = 0; i < count; ++i) {
                    ASSERT_EQ(a.cacheBase[i].flags & (kGlVertexNormalDone | kGlVertexFrontColorDone),
                              uint32_t(kGlVertexNormalDone | kGlVertexFrontColorDone))
                        << "lit by the routine";
                    ctx->slots.primitive.completeVertex[2](ctx, a.cacheBase + i, need);
                }
                std::memcpy(fromG.data(), a.cacheBase, n * sizeof(GlVertex));
                for (size_t i = 0; i < n; ++i) {
                    ASSERT_EQ(std::memcmp(&fromC[i], &fromG[i], sizeof(GlVertex)), 0)
                        << "record " << i << " normal " << fromC[i].normal[0] << " / " << fromG[i].normal[0]
                        << " colour " << fromC[i].frontColor[0] << " / " << fromG[i].frontColor[0] << " s "
                        << fromC[i].texCoord[0][0] << " / " << fromG[i].texCoord[0][0];
                    ++compared;
                }
            }
        }
    }
    EXPECT_GT(compared, 500);
}

// Colour-index mode: the records get the current index beside texture coordinates from their
// array; an index array is left to the C transform.
TEST_F(VertexFetchDiff, ColourIndexRoutinesCopyTheCurrentIndex) {
    std::mt19937 rng(17);
    GlArrayState &a = ctx->arrayState;
    const uint8_t rgba = ctx->visual.rgbaMode;
    ctx->visual.rgbaMode = 0;
    GL(glIndexf)(7.25f);
    useState({{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 3}, true, true}, 20, rng);
    ASSERT_EQ(a.arrayNeedIndex, 6);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 20));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 6);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(__glOgReplacedProc(ctx, reinterpret_cast<const void *>(g)),
              reinterpret_cast<const void *>(&__glTransformArrayPosIndexTex));
    expectSameRecords(g, 1, 18);
    EXPECT_EQ(a.cacheBase[4].frontColor[0], 7.25f);
    const float index[20] = {};
    GL(glIndexPointer)(GL_FLOAT, 0, index);
    GL(glEnableClientState)(GL_INDEX_ARRAY);
    validateNow();
    EXPECT_EQ(__glOgGenVertexProc(ctx, 3, 6), nullptr);
    expectSameRecords(g, 1, 18);
    GL(glDisableClientState)(GL_INDEX_ARRAY);
    ctx->visual.rgbaMode = rgba;
}

// GL_CULL_VERTEX_EXT over the cull faces, a cull point and a cull direction, normal arrays of
// every type and the current normal, with colour arrays and texture coordinates, and lit states
// whose float arrays share one stride (the fast members, which write a culled record nothing but
// its flags): culled and kept records alike are what the C transform writes, every byte.
TEST_F(VertexFetchDiff, CullVertexRoutinesCullAsTheCTransformDoes) {
    std::mt19937 rng(63);
    GlArrayState &a = ctx->arrayState;
    const struct {
        const char *name;
        FetchState st;
        bool lit;
        GlRangeTransformProc member;
    } rows[] = {
        {"float normals", {{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 0}, false, false, {GL_FLOAT, 3}}, false,
         __glTransformArrayPosNormalColor},
        {"byte normals", {{GL_FLOAT, 3}, {GL_UNSIGNED_BYTE, 4}, {GL_FLOAT, 2}, true, true, {GL_BYTE, 3}}, false,
         __glTransformArrayPosNormalColorTex},
        {"short normals", {{GL_DOUBLE, 4}, {GL_SHORT, 3}, {GL_FLOAT, 0}, false, false, {GL_SHORT, 3}}, false,
         __glTransformArrayPosNormalColor},
        {"int normals", {{GL_SHORT, 2}, {GL_FLOAT, 4}, {GL_FLOAT, 0}, true, true, {GL_INT, 3}}, false,
         __glTransformArrayPosNormalColorTex},
        {"double normals", {{GL_INT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 0}, false, false, {GL_DOUBLE, 3}}, false,
         __glTransformArrayPosNormalColor},
        {"current normal", {{GL_FLOAT, 3}, {GL_UNSIGNED_SHORT, 4}, {GL_FLOAT, 0}, false, true, {GL_FLOAT, 0}}, false,
         __glTransformArrayPosNormalColor},
        {"lit, short normals", {{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 0}, false, false, {GL_SHORT, 3}}, true,
         __glTransformArrayPosNormal},
        {"lit, fast", {{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 0}, false, true, {GL_FLOAT, 3}}, true,
         __glTransformArrayPosNormalFast},
        {"lit, fast, textured", {{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 2}, true, true, {GL_FLOAT, 3}}, true,
         __glTransformArrayPosNormalTexFast},
    };
    const float eyes[2][4] = {{0.5f, -0.25f, 1.5f, 1.0f}, {0.3f, 0.2f, -1.0f, 0.0f}};  // a point, a direction
    const int total = 40;
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    GL(glEnable)(GL_LIGHT0);
    for (GLenum face : {GL_BACK, GL_FRONT, GL_FRONT_AND_BACK}) {
        GL(glCullFace)(face);
        for (const float *eye : eyes) {
            GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, const_cast<float *>(eye));
            for (const auto &row : rows) {
                SCOPED_TRACE(::testing::Message() << row.name << " face " << std::hex << face << std::dec << " eye w "
                                                  << eye[3]);
                if (row.lit)
                    GL(glEnable)(GL_LIGHTING);
                else
                    GL(glDisable)(GL_LIGHTING);
                useState(row.st, total, rng);
                ASSERT_EQ(__glChooseRangeTransform(ctx), row.member);
                ASSERT_TRUE(a.arrayFlags & kGlArrayCullVertex);
                ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
                GlRangeTransformProc g = __glOgGenVertexProc(ctx, row.st.vertex.size, uint32_t(a.arrayNeedIndex) & 6u);
                ASSERT_NE(g, nullptr) << "a culling routine for the state";
                expectSameRecords(g, 2, total - 3);
                int culled = 0;
                for (int i = 0; i < total - 3; ++i) culled += (a.cacheBase[i].flags & kGlVertexCulled) != 0;
                if (face == GL_FRONT_AND_BACK) {
                    EXPECT_EQ(culled, total - 3);
                } else if (row.st.normal.size) {
                    EXPECT_TRUE(culled > 0 && culled < total - 3) << culled << " culled";
                }
                if (HasFailure()) return;
            }
        }
    }
    GL(glDisable)(GL_LIGHTING);
    GL(glCullFace)(GL_BACK);
}

// Sphere mapping needs the normal of unlit vertices: the routine fetches it into the records
// (arrays of every type, or the current normal) beside the colours and texture coordinates.
TEST_F(VertexFetchDiff, SphereMappedRoutinesFetchTheNormal) {
    std::mt19937 rng(71);
    GlArrayState &a = ctx->arrayState;
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    GL(glTexGeni)(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    GL(glEnable)(GL_TEXTURE_GEN_S);
    GL(glEnable)(GL_TEXTURE_GEN_T);
    const int total = 30;
    const GLenum normalTypes[] = {GL_FLOAT, GL_BYTE, GL_SHORT, GL_INT, GL_DOUBLE, 0};  // 0: no array
    for (GLenum normalType : normalTypes) {
        SCOPED_TRACE(::testing::Message() << "normal type " << std::hex << normalType);
        const FetchState st{{GL_FLOAT, 3}, {GL_SHORT, 4}, {GL_FLOAT, 2}, true, normalType == GL_INT,
                            {normalType ? normalType : GLenum(GL_FLOAT), normalType ? 3 : 0}};
        useState(st, total, rng);
        ASSERT_EQ(a.arrayNeedIndex, 7);
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
        GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, uint32_t(a.arrayNeedIndex) & 6u);
        ASSERT_NE(g, nullptr);
        expectSameRecords(g, 3, total - 4);
        if (normalType == 0) {
            EXPECT_EQ(a.cacheBase[5].normal[1], -0.5f) << "the current normal";
        }
    }
    GL(glDisable)(GL_TEXTURE_GEN_S);
    GL(glDisable)(GL_TEXTURE_GEN_T);
}

// A culling routine hands the range to C when cull vertex went off or the member changed (a fast
// member's culled records differ from a generic one's), and a routine made without cull vertex
// does when it came on.
TEST_F(VertexFetchDiff, CullRoutinesOfAnotherCullStateRunTheCTransform) {
    std::mt19937 rng(6);
    GlArrayState &a = ctx->arrayState;
    const float eye[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, const_cast<float *>(eye));
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    const FetchState interleaved{{GL_FLOAT, 3}, {GL_FLOAT, 0}, {GL_FLOAT, 0}, false, true, {GL_FLOAT, 3}};
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    useState(interleaved, 24, rng);
    ASSERT_EQ(__glChooseRangeTransform(ctx), __glTransformArrayPosNormalFast);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 24));
    GlRangeTransformProc fast = __glOgGenVertexProc(ctx, 3, 0);
    ASSERT_NE(fast, nullptr);
    // The same float arrays, the positions read at a stride of their own: a generic member.
    auto ownVertexStride = [&] {
        GL(glVertexPointer)(3, GL_FLOAT, 16, arrays.element0(0));
        validateNow();
        ASSERT_EQ(__glChooseRangeTransform(ctx), __glTransformArrayPosNormal);
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 24));
    };
    ownVertexStride();
    EXPECT_NE(__glOgGenVertexProc(ctx, 3, 0), fast);
    expectSameRecords(fast, 1, 22);
    GL(glDisable)(GL_CULL_VERTEX_EXT);
    validateNow();
    GlRangeTransformProc unculled = __glOgGenVertexProc(ctx, 3, 0);
    ASSERT_NE(unculled, nullptr);
    expectSameRecords(fast, 1, 22);
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    ownVertexStride();
    int culled = 0;
    expectSameRecords(unculled, 1, 22);
    for (int i = 0; i < 22; ++i) culled += (a.cacheBase[i].flags & kGlVertexCulled) != 0;
    EXPECT_GT(culled, 0) << "the C transform culled";
}

// A routine checks the fetch procs on entry: called after the arrays changed to other types (which
// have routines of their own) it hands the range to C, which then fills the records.
TEST_F(VertexFetchDiff, ARoutineCalledWithArraysOfOtherTypesRunsTheCTransform) {
    std::mt19937 rng(9);
    useState({{GL_FLOAT, 3}, {GL_UNSIGNED_BYTE, 4}, {GL_FLOAT, 2}, true, false}, 8, rng);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 8));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 6);
    ASSERT_NE(g, nullptr);
    const struct {
        const char *name;
        FetchState st;
    } others[] = {
        {"short colour", {{GL_FLOAT, 3}, {GL_SHORT, 4}, {GL_FLOAT, 2}, true, false}},
        {"double colour", {{GL_FLOAT, 3}, {GL_DOUBLE, 3}, {GL_FLOAT, 2}, true, false}},
        {"byte colour", {{GL_FLOAT, 3}, {GL_BYTE, 4}, {GL_INT, 2}, true, false}},
        {"unsigned int colour", {{GL_FLOAT, 3}, {GL_UNSIGNED_INT, 3}, {GL_DOUBLE, 4}, true, true}},
    };
    for (const auto &o : others) {
        SCOPED_TRACE(o.name);
        useState(o.st, 8, rng);
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 8));
        GlRangeTransformProc own = __glOgGenVertexProc(ctx, 3, 6);
        EXPECT_NE(own, nullptr);
        EXPECT_NE(own, g);
        expectSameRecords(g, 1, 6);
    }
}

}  // namespace
