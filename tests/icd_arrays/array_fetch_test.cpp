// Fetch procs: every accepted combination converts as the immediate entry of the same command,
// the defaults of the missing components, and the procs an array has before its pointer call.
#include <cmath>
#include "tests/icd_arrays/arrays_fixture.h"

namespace {
// Sample components of every type, with their extremes.
template <class T>
const T *samples();
template <>
const GLbyte *samples() {
    static const GLbyte v[4] = {-128, 127, 0, -1};
    return v;
}
template <>
const GLubyte *samples() {
    static const GLubyte v[4] = {255, 0, 128, 1};
    return v;
}
template <>
const GLshort *samples() {
    static const GLshort v[4] = {-32768, 32767, 5, -1};
    return v;
}
template <>
const GLushort *samples() {
    static const GLushort v[4] = {65535, 0, 300, 1};
    return v;
}
template <>
const GLint *samples() {
    static const GLint v[4] = {INT32_MIN, INT32_MAX, 77, -1};
    return v;
}
template <>
const GLuint *samples() {
    static const GLuint v[4] = {0xFFFFFFFFu, 0, 123456, 1};
    return v;
}
template <>
const GLfloat *samples() {
    static const GLfloat v[4] = {0.25f, -2.0f, 1.5f, 0.75f};
    return v;
}
template <>
const GLdouble *samples() {
    static const GLdouble v[4] = {0.1, -3.0, 0.3333333333, 2.5};
    return v;
}

struct Combination {
    const char *name;
    int32_t array, size;
    GLenum type;
    const void *data;
};
#define GL_COMBINATION(A, N, L, T, E) {#A #N #L, kGlArray##A, N, E, samples<T>()},
const Combination kCombinations[] = {GL_ARRAY_FETCH_LIST(GL_COMBINATION)};
#undef GL_COMBINATION
}  // namespace

TEST_F(ArraysTest, FetchConvertsAsTheImmediateEntryOfTheSameCommand) {
    // The immediate entry stores the current attribute; the fetch proc the record's field. The
    // colour is compared after the colour scaling both apply.
    ASSERT_EQ(sizeof(kCombinations) / sizeof(kCombinations[0]), 54u);
    for (const Combination &c : kCombinations) {
        if (c.array == kGlArrayVertex) continue;  // vertices are not current state: below
        SCOPED_TRACE(c.name);
        const int i = __glArraySetterIndex(c.size, c.type);
        const GlArraySetterTable &t = *__glArraySetters[c.array];
        ASSERT_NE(t.fetchProc[i], nullptr);
        GlVertex v{};
        t.fetchProc[i](ctx, c.data, &v);
        t.immediateProc[i](c.data);
        const GlCurrentState &cur = ctx->current;
        switch (c.array) {
        case kGlArrayNormal:
            for (int k = 0; k < 3; ++k) EXPECT_EQ(bitsOf(v.normal[k]), bitsOf(cur.normal[k])) << k;
            break;
        case kGlArrayColor:
            for (int k = 0; k < 4; ++k) EXPECT_EQ(bitsOf(v.frontColor[k]), bitsOf(cur.vertex.scaledColor[k])) << k;
            break;
        case kGlArrayIndex: EXPECT_EQ(bitsOf(v.frontColor[0]), bitsOf(cur.index)); break;
        default:
            for (int k = 0; k < 4; ++k) EXPECT_EQ(bitsOf(v.texCoord[0][k]), bitsOf(cur.texCoord[k])) << k;
            break;
        }
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(ArraysTest, FetchFillsTheMissingComponents) {
    GlVertex v{};
    const GLshort s[2] = {3, -4};
    __glFetchArrayVertex2s(ctx, s, &v);
    EXPECT_EQ(v.obj[0], 3.0f);
    EXPECT_EQ(v.obj[1], -4.0f);
    EXPECT_EQ(v.obj[2], 0.0f);
    EXPECT_EQ(v.obj[3], 1.0f);
    const GLdouble d[4] = {0.1, 2.0, 3.0, 4.0};
    __glFetchArrayVertex3d(ctx, d, &v);
    EXPECT_EQ(v.obj[0], float(0.1));
    EXPECT_EQ(v.obj[3], 1.0f);
    __glFetchArrayVertex4d(ctx, d, &v);
    EXPECT_EQ(v.obj[3], 4.0f);
    __glFetchArrayTexCoord1d(ctx, d, &v);
    EXPECT_EQ(v.texCoord[0][0], float(0.1));
    EXPECT_EQ(v.texCoord[0][1], 0.0f);
    EXPECT_EQ(v.texCoord[0][2], 0.0f);
    EXPECT_EQ(v.texCoord[0][3], 1.0f);
    // Colour: red 1.0 scaled to the red scale, the missing alpha 1.0 to the alpha scale.
    const GLubyte red[3] = {255, 0, 0};
    __glFetchArrayColor3ub(ctx, red, &v);
    EXPECT_EQ(v.frontColor[0], ctx->scales.redScale);
    EXPECT_EQ(v.frontColor[1], 0.0f);
    EXPECT_EQ(v.frontColor[3], ctx->scales.alphaScale);
    // Out-of-range float colours are clamped.
    const float big[4] = {2.0f, -1.0f, 0.5f, 1.0f};
    __glFetchArrayColor4f(ctx, big, &v);
    EXPECT_EQ(v.frontColor[0], ctx->scales.redScale);
    EXPECT_EQ(v.frontColor[1], 0.0f);
    const GLboolean flag = 0;
    v.edgeFlag = 1;
    __glFetchArrayEdgeFlag(ctx, &flag, &v);
    EXPECT_EQ(v.edgeFlag, 0);
}

TEST_F(ArraysTest, ArraysStartAsFourFloatsWithProcsThatAreSafeToCall) {
    const GlArrayState &a = ctx->arrayState;
    EXPECT_EQ(a.arrays[kGlArrayVertex].fetchProc, __glFetchArrayVertex4f);
    EXPECT_EQ(a.arrays[kGlArrayNormal].fetchProc, __glFetchArrayNormal3f);
    EXPECT_EQ(a.arrays[kGlArrayColor].fetchProc, __glFetchArrayColor4f);
    EXPECT_EQ(a.arrays[kGlArrayIndex].fetchProc, __glFetchArrayIndex1f);
    EXPECT_EQ(a.arrays[kGlArrayTexCoord].fetchProc, __glFetchArrayTexCoord4f);
    EXPECT_EQ(a.arrays[kGlArrayEdgeFlag].fetchProc, __glFetchArrayEdgeFlag);
    for (int i = 0; i < kGlArrayCount; ++i) {
        ASSERT_NE(a.arrays[i].immediateProc, nullptr);
        a.arrays[i].immediateProc(nullptr);  // does nothing with the (missing) element
    }
    EXPECT_EQ(a.arrays[kGlArrayVertex].size, 4);
    EXPECT_EQ(a.arrays[kGlArrayColor].type, GLenum(GL_FLOAT));
    EXPECT_EQ(a.batchSize, 36);
    EXPECT_EQ(a.cacheGranule, 4096);
    EXPECT_EQ(a.cacheBytes, 8224);  // 38 records rounded to the granule, plus 32
    EXPECT_EQ(ctx->vertexCache.records, a.cacheBlock);
    for (int i = 0; i < a.cacheBytes / 160; ++i) ASSERT_EQ(a.cacheBlock[i].color, a.cacheBlock[i].frontColor);
}

TEST_F(ArraysTest, CurrentAttributeProcsCopyTheCurrentState) {
    GL(glNormal3f)(0.0f, 1.0f, 0.0f);
    GL(glColor4f)(0.5f, 0.25f, 1.0f, 1.0f);
    GL(glTexCoord2f)(3.0f, 4.0f);
    GL(glIndexf)(9.0f);
    GL(glEdgeFlag)(0);
    GlVertex v{};
    v.edgeFlag = 1;
    __glArrayCurrentNormal(ctx, nullptr, &v);
    __glArrayCurrentTexCoord(ctx, nullptr, &v);
    __glArrayCurrentEdgeFlag(ctx, nullptr, &v);
    __glArrayCurrentColor(ctx, nullptr, &v);
    EXPECT_EQ(v.normal[1], 1.0f);
    EXPECT_EQ(v.texCoord[0][1], 4.0f);
    EXPECT_EQ(v.texCoord[0][3], 1.0f);
    EXPECT_EQ(v.edgeFlag, 0);
    EXPECT_EQ(std::memcmp(v.frontColor, ctx->current.vertex.scaledColor, sizeof(v.frontColor)), 0);
    __glArrayCurrentIndex(ctx, nullptr, &v);
    EXPECT_EQ(v.frontColor[0], 9.0f);
}
