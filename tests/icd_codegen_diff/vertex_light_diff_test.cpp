// Lit vertex routines against the C road they stand in for: the C range transform (or the vertex
// cache's C transform) followed by the completion proc, which transforms and normalises the
// normal and lights it with __glLightVertexRgbaInfinite. Over a table of lighting states,
// matrices and normals, the generated routine must leave the same normal and front colour to the
// bit and the same flags.
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "icd/vertex/light.h"
#include "icd/vertex/vertex_cache.h"
#include "tests/icd_arrays/arrays_fixture.h"
#include "tests/icd_codegen_diff/diff_fixture.h"

namespace {

using namespace icd;

constexpr uint32_t kLitDone = kGlVertexNormalDone | kGlVertexFrontColorDone;

bool sameBits(const float *a, const float *b, int n) { return std::memcmp(a, b, size_t(n) * 4) == 0; }

bool withinUlp(float a, float b) {
    int32_t ia, ib;
    std::memcpy(&ia, &a, 4);
    std::memcpy(&ib, &b, 4);
    return ia == ib || ((ia < 0) == (ib < 0) && std::abs(ia - ib) <= 1);
}

struct Modelview {
    const char *name;
    void (*load)(GlContext *ctx);
};
const Modelview kModelviews[] = {
    {"identity", [](GlContext *) {}},
    {"scale", [](GlContext *ctx) { GL(glScalef)(2.0f, 0.5f, 1.5f); }},
    {"rotation", [](GlContext *ctx) { GL(glRotatef)(35.0f, 0.3f, 1.0f, 0.2f); }},
    {"general", [](GlContext *ctx) {
         GL(glTranslatef)(0.3f, -0.2f, -2.0f);
         GL(glRotatef)(-50.0f, 1.0f, 0.0f, 0.4f);
         GL(glScalef)(1.3f, 0.8f, 2.1f);
     }},
};

struct LightState {
    int lights;
    float shininess;
    bool specular;
    bool normalize;
};

class VertexLightDiff : public ArraysTest {
protected:
    std::vector<float> xyz, normals;

    // count positions in the unit box and normals of lengths 1 and 0.3 to 2.5, every fifth one
    // turned away from the first light, the seventh one zero.
    void makeArrays(int count, std::mt19937 &rng) {
        std::uniform_real_distribution<float> coord(-1.0f, 1.0f), length(0.3f, 2.5f);
        xyz.clear();
        normals.clear();
        for (int i = 0; i < count; ++i) {
            xyz.insert(xyz.end(), {coord(rng), coord(rng), coord(rng)});
            float n[3] = {coord(rng), coord(rng), coord(rng)};
            if (i % 5 == 0) n[2] = -std::fabs(n[2]) - 0.5f;
            const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            const float want = (i % 2 == 0) ? 1.0f : length(rng);
            for (float &c : n) c = c / len * want;
            if (i == 7) n[0] = n[1] = n[2] = 0.0f;
            normals.insert(normals.end(), {n[0], n[1], n[2]});
        }
    }

    // The normals as an array of another type: the integer ones at the largest values that keep
    // their sign (a normal up to 2.5 long is held to [-1, 1] per component).
    std::vector<uint8_t> typedNormals;
    template <class T>
    void putNormals(double scale) {
        typedNormals.assign(normals.size() * sizeof(T), 0);
        for (size_t i = 0; i < normals.size(); ++i) {
            const double c = std::fmax(-1.0, std::fmin(1.0, double(normals[i])));
            const T v = T(std::is_floating_point_v<T> ? c : std::floor(c * scale));
            std::memcpy(&typedNormals[i * sizeof(T)], &v, sizeof(T));
        }
    }
    void otherNormals(GLenum type) {
        switch (type) {
        case GL_BYTE: putNormals<GLbyte>(127.0); break;
        case GL_SHORT: putNormals<GLshort>(32767.0); break;
        case GL_INT: putNormals<GLint>(2147483647.0); break;
        default: putNormals<GLdouble>(1.0); break;
        }
    }

    // The lighting of a case under the modelview of a case (lights placed under the identity).
    void setCase(const Modelview &mv, const LightState &st) {
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
        setLighting(st);
        mv.load(ctx);
    }
    static std::string caseName(const Modelview &mv, const LightState &st) {
        std::ostringstream o;
        o << mv.name << " lights " << st.lights << " shininess " << st.shininess << " specular " << st.specular
          << " normalize " << st.normalize;
        return o.str();
    }

    // Records 0 and 1 of the cache (from elements 0 and 1) as the C range transform and the
    // routine g write them over the same filler.
    void twoRecords(GlRangeTransformProc g, GlVertex (&fromC)[2], GlVertex (&fromG)[2]) {
        GlArrayState &a = ctx->arrayState;
        std::memset(a.cacheBase, 0xA5, sizeof fromC);
        __glChooseRangeTransform(ctx)(ctx, 0, 0, 2);
        std::memcpy(fromC, a.cacheBase, sizeof fromC);
        std::memset(a.cacheBase, 0xA5, sizeof fromG);
        callChecked(g, ctx, int32_t(0), int32_t(0), int32_t(2));
        std::memcpy(fromG, a.cacheBase, sizeof fromG);
    }

    // Packed float positions and normals, both arrays enabled.
    void packedArrays(const float *xyz3, const float *n3) {
        GL(glVertexPointer)(3, GL_FLOAT, 0, xyz3);
        GL(glNormalPointer)(GL_FLOAT, 0, n3);
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        GL(glEnableClientState)(GL_NORMAL_ARRAY);
    }

    void setLighting(const LightState &st) {
        GL(glEnable)(GL_LIGHTING);
        const float model[4] = {0.15f, 0.1f, 0.05f, 1.0f};
        GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, model);
        for (int i = 0; i < 8; ++i) GL(glDisable)(GLenum(GL_LIGHT0 + i));
        const float dirs[3][4] = {{0.2f, 0.5f, 1.0f, 0.0f}, {-1.0f, 0.3f, 0.4f, 0.0f}, {0.0f, -1.0f, 0.2f, 0.0f}};
        const float diffuse[3][4] = {{0.8f, 0.7f, 0.6f, 1.0f}, {0.3f, 0.9f, 0.2f, 1.0f}, {0.5f, 0.2f, 0.9f, 1.0f}};
        for (int i = 0; i < st.lights; ++i) {
            const GLenum l = GLenum(GL_LIGHT0 + i);
            GL(glEnable)(l);
            GL(glLightfv)(l, GL_POSITION, dirs[i]);
            GL(glLightfv)(l, GL_DIFFUSE, diffuse[i]);
            const float ambient[4] = {0.05f * float(i + 1), 0.04f, 0.1f, 1.0f};
            GL(glLightfv)(l, GL_AMBIENT, ambient);
            const float specular[4] = {1.0f, 0.9f, 0.8f, 1.0f};
            GL(glLightfv)(l, GL_SPECULAR, specular);
        }
        const float materialSpecular[4] = {st.specular ? 0.9f : 0.0f, st.specular ? 0.8f : 0.0f, st.specular ? 1.0f : 0.0f, 1.0f};
        GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_SPECULAR, materialSpecular);
        GL(glMaterialf)(GL_FRONT_AND_BACK, GL_SHININESS, st.shininess);
        const float matDiffuse[4] = {0.9f, 0.6f, 0.8f, 0.7f};
        GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_DIFFUSE, matDiffuse);
        if (st.normalize)
            GL(glEnable)(GL_NORMALIZE);
        else
            GL(glDisable)(GL_NORMALIZE);
    }

    // The C road's records after the completion a drawn triangle asks for.
    void complete(GlVertex *r, int count, int size = 3) {
        for (int i = 0; i < count; ++i) ctx->slots.primitive.completeVertex[size - 1](ctx, r + i, kLitDone);
    }

    static void expectSame(const GlVertex &c, const GlVertex &g, int i) {
        EXPECT_EQ(c.flags, g.flags) << i;
        EXPECT_TRUE(sameBits(c.normal, g.normal, 3))
            << i << " normal " << c.normal[0] << "," << c.normal[1] << "," << c.normal[2] << " against "
            << g.normal[0] << "," << g.normal[1] << "," << g.normal[2];
        EXPECT_TRUE(sameBits(c.frontColor, g.frontColor, 4))
            << i << " colour " << c.frontColor[0] << "," << c.frontColor[1] << "," << c.frontColor[2] << ","
            << c.frontColor[3] << " against " << g.frontColor[0] << "," << g.frontColor[1] << ","
            << g.frontColor[2] << "," << g.frontColor[3];
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(withinUlp(c.clip[k], g.clip[k])) << i;
    }
};

const GLenum kNormalTypes[] = {GL_BYTE, GL_SHORT, GL_INT, GL_DOUBLE};

std::vector<LightState> lightStates() {
    std::vector<LightState> v;
    for (int lights : {1, 2, 3})
        for (float shininess : {0.0f, 10.0f, 128.0f})
            for (bool specular : {false, true})
                for (bool normalize : {false, true}) v.push_back({lights, shininess, specular, normalize});
    return v;
}

// Array mode: float vertex and normal arrays (packed, and interleaved with one stride), the
// current normal when no normal array is enabled, positions of two and four coordinates, and
// normal arrays of bytes, shorts, ints and doubles.
TEST_F(VertexLightDiff, ArrayRoutinesLightTheRecordsAsTheCompletionDoes) {
    std::mt19937 rng(3);
    GlArrayState &a = ctx->arrayState;
    const int total = 40;
    int compared = 0;
    for (const Modelview &mv : kModelviews) {
        for (const LightState &st : lightStates()) {
            for (int layout = 0; layout < 9; ++layout) {
                SCOPED_TRACE(caseName(mv, st) + " layout " + std::to_string(layout));
                setCase(mv, st);
                makeArrays(total, rng);
                std::vector<float> interleaved, xyzw;
                const int size = layout == 3 ? 2 : layout == 4 ? 4 : 3;
                GL(glEnableClientState)(GL_VERTEX_ARRAY);
                if (layout == 0) {
                    GL(glVertexPointer)(3, GL_FLOAT, 0, xyz.data());
                    GL(glNormalPointer)(GL_FLOAT, 0, normals.data());
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                } else if (layout == 1) {
                    for (int i = 0; i < total; ++i) {
                        interleaved.insert(interleaved.end(), &xyz[size_t(3 * i)], &xyz[size_t(3 * i + 3)]);
                        interleaved.insert(interleaved.end(), &normals[size_t(3 * i)], &normals[size_t(3 * i + 3)]);
                    }
                    GL(glVertexPointer)(3, GL_FLOAT, 24, interleaved.data());
                    GL(glNormalPointer)(GL_FLOAT, 24, interleaved.data() + 3);
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                } else if (layout == 2) {
                    GL(glVertexPointer)(3, GL_FLOAT, 0, xyz.data());
                    GL(glDisableClientState)(GL_NORMAL_ARRAY);
                    GL(glNormal3f)(0.3f, -0.4f, 1.2f);
                } else if (layout >= 5) {
                    GL(glVertexPointer)(3, GL_FLOAT, 0, xyz.data());
                    const GLenum type = kNormalTypes[layout - 5];
                    otherNormals(type);
                    GL(glNormalPointer)(type, 0, typedNormals.data());
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                } else {
                    for (int i = 0; i < total; ++i) {
                        xyzw.insert(xyzw.end(), &xyz[size_t(3 * i)], &xyz[size_t(3 * i + 3)]);
                        xyzw.push_back(i % 3 == 0 ? 1.0f : 0.5f + 0.25f * float(i % 5));
                    }
                    GL(glVertexPointer)(size, GL_FLOAT, size == 2 ? 12 : 16, size == 2 ? xyz.data() : xyzw.data());
                    GL(glNormalPointer)(GL_FLOAT, 0, normals.data());
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                }
                validateNow();
                ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
                GlRangeTransformProc c = __glChooseRangeTransform(ctx);
                GlRangeTransformProc g = __glOgGenVertexProc(ctx, size, uint32_t(a.arrayNeedIndex) & 6u);
                ASSERT_NE(g, nullptr) << "a lit routine for the state";
                ASSERT_TRUE(__glOgIsGenerated(ctx, reinterpret_cast<const void *>(g)));
                for (int first : {0, 3}) {
                    const int count = total - first - 1;
                    std::vector<GlVertex> fromC(size_t(count) + 1), fromG(size_t(count) + 1);
                    std::memset(a.cacheBase, 0xA5, fromC.size() * sizeof(GlVertex));
                    c(ctx, 0, first, count);
                    complete(a.cacheBase, count, size);
                    std::memcpy(fromC.data(), a.cacheBase, fromC.size() * sizeof(GlVertex));
                    std::memset(a.cacheBase, 0xA5, fromG.size() * sizeof(GlVertex));
                    callChecked(g, ctx, int32_t(0), int32_t(first), int32_t(count));
                    std::memcpy(fromG.data(), a.cacheBase, fromG.size() * sizeof(GlVertex));
                    EXPECT_EQ(std::memcmp(&fromC[size_t(count)], &fromG[size_t(count)], sizeof(GlVertex)), 0)
                        << "nothing past the range";
                    for (int i = 0; i < count; ++i) {
                        ASSERT_EQ(fromG[size_t(i)].flags & kLitDone, kLitDone) << i;
                        expectSame(fromC[size_t(i)], fromG[size_t(i)], i);
                        ++compared;
                    }
                    if (HasFailure()) return;
                }
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

// Colour-index mode: the routine lights the index as __glLightVertexIndexInfiniteFast does, over
// the light states, the modelviews and normals from a float array, a short array or the current
// normal, with material indexes whose specular index caps some vertices; an index shift leaves the
// lighting to the completion.
TEST_F(VertexLightDiff, ColourIndexRoutinesLightTheIndexAsTheCompletionDoes) {
    std::mt19937 rng(12);
    GlArrayState &a = ctx->arrayState;
    ctx->visual.colorIndexMode = 1;
    ctx->visual.rgbaMode = 0;
    ctx->dirtyMask |= kGlDirtyLighting;
    const int total = 36;
    int compared = 0;
    for (const Modelview &mv : kModelviews) {
        for (const LightState &st : lightStates()) {
            for (int layout = 0; layout < 3; ++layout) {
                SCOPED_TRACE(caseName(mv, st) + " layout " + std::to_string(layout));
                setCase(mv, st);
                const float indexes[3] = {3.0f, 40.0f + float(st.lights), st.specular ? 55.5f : 120.0f};
                GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_COLOR_INDEXES, indexes);
                makeArrays(total, rng);
                GL(glEnableClientState)(GL_VERTEX_ARRAY);
                GL(glVertexPointer)(3, GL_FLOAT, 0, xyz.data());
                if (layout == 0) {
                    GL(glNormalPointer)(GL_FLOAT, 0, normals.data());
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                } else if (layout == 1) {
                    otherNormals(GL_SHORT);
                    GL(glNormalPointer)(GL_SHORT, 0, typedNormals.data());
                    GL(glEnableClientState)(GL_NORMAL_ARRAY);
                } else {
                    GL(glDisableClientState)(GL_NORMAL_ARRAY);
                    GL(glNormal3f)(0.3f, 0.4f, 0.9f);
                }
                validateNow();
                ASSERT_EQ(ctx->slots.primitive.faceColor, __glLightVertexIndexInfiniteFast);
                ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
                GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, uint32_t(a.arrayNeedIndex) & 6u);
                ASSERT_NE(g, nullptr) << "a lit routine for the state";
                const int first = 1, count = total - 2;
                std::vector<GlVertex> fromC(size_t(count) + 1), fromG(size_t(count) + 1);
                std::memset(a.cacheBase, 0xA5, fromC.size() * sizeof(GlVertex));
                __glChooseRangeTransform(ctx)(ctx, 0, first, count);
                complete(a.cacheBase, count);
                std::memcpy(fromC.data(), a.cacheBase, fromC.size() * sizeof(GlVertex));
                std::memset(a.cacheBase, 0xA5, fromG.size() * sizeof(GlVertex));
                callChecked(g, ctx, int32_t(0), int32_t(first), int32_t(count));
                std::memcpy(fromG.data(), a.cacheBase, fromG.size() * sizeof(GlVertex));
                for (size_t i = 0; i < fromC.size(); ++i) {
                    if (i < size_t(count)) {
                        ASSERT_EQ(fromG[i].flags & kLitDone, kLitDone) << i;
                    }
                    ASSERT_EQ(std::memcmp(&fromC[i], &fromG[i], sizeof(GlVertex)), 0)
                        << "record " << i << " index " << fromC[i].frontColor[0] << " / " << fromG[i].frontColor[0];
                    ++compared;
                }
            }
        }
    }
    // An index shift set through glMaterial chooses the lighting proc again at the next
    // validation: the shifted lighting, which the routine leaves to the completion.
    GL(glMateriali)(GL_FRONT, GL_INDEX_SHIFT, 1);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    validateNow();
    ASSERT_EQ(ctx->slots.primitive.faceColor, __glLightVertexIndexInfinite);
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0);
    ASSERT_NE(g, nullptr);
    callChecked(g, ctx, int32_t(0), int32_t(0), int32_t(4));
    EXPECT_EQ(a.cacheBase[2].flags & kLitDone, 0u) << "a shifted index is lit by the completion";
    ctx->visual.colorIndexMode = 0;
    ctx->visual.rgbaMode = 1;
    ctx->dirtyMask |= kGlDirtyLighting;
    EXPECT_GT(compared, 3000);
}

// The vertex cache's routine lights the records glNormal/glVertex wrote, in place, and leaves
// the ones a clip bit marks as the C transform leaves them.
TEST_F(VertexLightDiff, VertexCacheRoutinesLightTheRecordsInPlace) {
    std::mt19937 rng(8);
    GlArrayState &a = ctx->arrayState;
    const int total = 36;
    for (const Modelview &mv : kModelviews) {
        for (const LightState &st : lightStates()) {
            SCOPED_TRACE(caseName(mv, st));
            setCase(mv, st);
            makeArrays(total, rng);
            GL(glVertexPointer)(3, GL_FLOAT, 0, xyz.data());
            GL(glEnableClientState)(GL_VERTEX_ARRAY);
            validateNow();
            // What the vertex cache installs for this state: glVertex copies the current normal.
            ctx->vertexCache.vcacheCopyAttributes = __glVcacheCopyNormal;
            ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, total));
            ASSERT_TRUE(__glArrayBeginRange(ctx));
            GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0x8000);
            ASSERT_NE(g, nullptr);
            std::vector<GlVertex> input(static_cast<size_t>(total));
            for (int i = 0; i < total; ++i) {
                GlVertex &v = input[size_t(i)];
                std::memset(&v, 0, sizeof v);
                for (int k = 0; k < 3; ++k) v.obj[k] = xyz[size_t(3 * i + k)], v.normal[k] = normals[size_t(3 * i + k)];
                v.obj[3] = 1.0f;
                v.flags = (i % 9 == 4) ? uint32_t(kGlVertexCulled) : 0u;
            }
            std::vector<GlVertex> fromC(static_cast<size_t>(total)), fromG(static_cast<size_t>(total));
            std::memcpy(a.cacheBase, input.data(), input.size() * sizeof(GlVertex));
            __glCullTransformVertexRange(ctx, 1, 0, total - 2);
            for (int i = 1; i < total - 1; ++i)
                if (!(input[size_t(i)].flags & kGlVertexCulled)) complete(a.cacheBase + i, 1);
            std::memcpy(fromC.data(), a.cacheBase, fromC.size() * sizeof(GlVertex));
            std::memcpy(a.cacheBase, input.data(), input.size() * sizeof(GlVertex));
            callChecked(g, ctx, int32_t(1), int32_t(0), int32_t(total - 2));
            std::memcpy(fromG.data(), a.cacheBase, fromG.size() * sizeof(GlVertex));
            for (int i = 0; i < total; ++i) {
                if (i == 0 || i == total - 1 || (input[size_t(i)].flags & kGlVertexCulled)) {
                    EXPECT_EQ(std::memcmp(&fromC[size_t(i)], &fromG[size_t(i)], sizeof(GlVertex)), 0) << i;
                    continue;
                }
                ASSERT_EQ(fromG[size_t(i)].flags & kLitDone, kLitDone) << i;
                expectSame(fromC[size_t(i)], fromG[size_t(i)], i);
            }
            if (HasFailure()) return;
        }
    }
}

// The colours against arithmetic of their own: one light along +z, diffuse only, no ambient
// anywhere, so a normal (0, 0, 1) gets the diffuse product at full strength and (0, 0, -1)
// nothing; the channels are clamped at the colour scales.
TEST_F(VertexLightDiff, OneDiffuseLightGivesTheDiffuseProduct) {
    GlArrayState &a = ctx->arrayState;
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    const float zero[4] = {0, 0, 0, 1}, dir[4] = {0, 0, 1, 0}, diffuse[4] = {0.5f, 0.25f, 3.0f, 1.0f};
    const float matDiffuse[4] = {1, 1, 1, 0.5f};
    GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, zero);
    GL(glLightfv)(GL_LIGHT0, GL_AMBIENT, zero);
    GL(glLightfv)(GL_LIGHT0, GL_SPECULAR, zero);
    GL(glLightfv)(GL_LIGHT0, GL_POSITION, dir);
    GL(glLightfv)(GL_LIGHT0, GL_DIFFUSE, diffuse);
    GL(glMaterialfv)(GL_FRONT, GL_AMBIENT, zero);
    GL(glMaterialfv)(GL_FRONT, GL_DIFFUSE, matDiffuse);
    const float xyz[6] = {0, 0, 0, 0.5f, 0.5f, 0};
    const float n[6] = {0, 0, 1, 0, 0, -1};
    packedArrays(xyz, n);
    validateNow();
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 2));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0);
    ASSERT_NE(g, nullptr);
    callChecked(g, ctx, int32_t(0), int32_t(0), int32_t(2));
    const GlColorScales &s = ctx->scales;
    const GlVertex &lit = a.cacheBase[0], &dark = a.cacheBase[1];
    EXPECT_EQ(lit.frontColor[0], 0.5f * s.redScale);
    EXPECT_EQ(lit.frontColor[1], 0.25f * s.greenScale);
    EXPECT_EQ(lit.frontColor[2], s.blueScale) << "clamped";
    EXPECT_EQ(lit.frontColor[3], 0.5f * s.alphaScale);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(dark.frontColor[k], 0.0f);
    EXPECT_EQ(dark.normal[2], -1.0f);
}

// A routine called after the state it was made for changed hands the range to the C transform:
// the records then carry no lighting, as the C transform leaves them.
TEST_F(VertexLightDiff, ARoutineOfAnotherStateRunsTheCTransform) {
    const float xyz[6] = {0.1f, 0.2f, 0.3f, -0.4f, 0.5f, 0.6f}, n[6] = {0, 0, 2, 0, 1, 1};
    packedArrays(xyz, n);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    validateNow();
    ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 2));
    GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0);
    ASSERT_NE(g, nullptr);
    const std::pair<const char *, void (*)(GlContext *)> changes[] = {
        {"normalize", [](GlContext *ctx) { GL(glEnable)(GL_NORMALIZE); }},
        {"two-sided", [](GlContext *ctx) { GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1); }},
        {"colour material", [](GlContext *ctx) { GL(glEnable)(GL_COLOR_MATERIAL); }},
        {"local light", [](GlContext *ctx) {
             const float p[4] = {0, 0, 1, 1};
             GL(glLightfv)(GL_LIGHT0, GL_POSITION, p);
         }},
        {"unlit", [](GlContext *ctx) { GL(glDisable)(GL_LIGHTING); }},
    };
    for (const auto &[name, change] : changes) {
        SCOPED_TRACE(name);
        GL(glPushAttrib)(GL_ALL_ATTRIB_BITS);
        change(ctx);
        validateNow();
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 2));
        GlVertex fromC[2], fromG[2];
        twoRecords(g, fromC, fromG);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(fromG[i].flags & kLitDone, 0u) << i;
            EXPECT_EQ(fromC[i].flags, fromG[i].flags) << i;
            EXPECT_TRUE(sameBits(fromC[i].normal, fromG[i].normal, 3)) << i;
        }
        GL(glPopAttrib)();
    }
}

// States the routine does not light (a local light, two-sided lighting, a projective modelview)
// get a routine that only fetches the normal, as the C transform does, and leaves the lighting
// to the completion: unmarked records, the same as the C transform's.
TEST_F(VertexLightDiff, StatesItDoesNotLightGetTheNormalOnly) {
    const float xyz[6] = {0.1f, 0.2f, 0.3f, -0.4f, 0.5f, 0.6f}, n[6] = {0, 0, 2, 0.5f, -1, 1};
    packedArrays(xyz, n);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    const std::pair<const char *, void (*)(GlContext *)> states[] = {
        {"local light", [](GlContext *ctx) {
             const float local[4] = {1, 2, 3, 1};
             GL(glLightfv)(GL_LIGHT0, GL_POSITION, local);
         }},
        {"two-sided", [](GlContext *ctx) { GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1); }},
        // Its normals need the plane constant of the full 4x4 transform.
        {"projective modelview", [](GlContext *ctx) {
             const float projective[16] = {1, 0, 0, 0.25f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
             GL(glMultMatrixf)(projective);
         }},
    };
    for (const auto &[name, change] : states) {
        SCOPED_TRACE(name);
        GL(glPushAttrib)(GL_ALL_ATTRIB_BITS);
        GL(glPushMatrix)();
        change(ctx);
        validateNow();
        ASSERT_TRUE(__glEnsureArrayCache(ctx, 0, 2));
        GlRangeTransformProc g = __glOgGenVertexProc(ctx, 3, 0);
        ASSERT_NE(g, nullptr);
        GlVertex fromC[2], fromG[2];
        twoRecords(g, fromC, fromG);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(fromG[i].flags & kLitDone, 0u) << i;
            EXPECT_EQ(std::memcmp(&fromC[i], &fromG[i], sizeof(GlVertex)), 0) << i;
        }
        GL(glPopMatrix)();
        GL(glPopAttrib)();
    }
}

}  // namespace
