// The cache road: the range transforms and their choice, the cull-vertex test, the locked
// range transformed once, and the failures of the array cache.
#include <cmath>
#include "tests/icd_arrays/arrays_fixture.h"

namespace {
// Interleaved normal and position, as GL_N3F_V3F lays them out.
struct NV {
    float n[3];
    float v[3];
};

int &transformCount() {
    static int n = 0;
    return n;
}
GlRangeTransformProc countedTransform;
void countingTransform(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count) {
    transformCount() += count;
    countedTransform(ctx, firstRecord, firstElement, count);
}

void *failAlloc(GlContext *, size_t) { return nullptr; }
void *failRealloc(GlContext *, void *, size_t) { return nullptr; }
}  // namespace

class CacheRoad : public ArraysTest {
protected:
    NV data[8];
    void SetUp() override {
        ArraysTest::SetUp();
        for (int i = 0; i < 8; ++i) {
            data[i] = {{0.0f, 0.0f, 1.0f}, {0.1f * float(i), -0.05f * float(i), 0.01f * float(i)}};
        }
        GL(glInterleavedArrays)(GL_N3F_V3F, 0, data);
        validateNow();
        spyRenderers();
        transformCount() = 0;
    }
    // Counts the elements the range transform in force fetches from now on.
    void countTransforms() {
        countedTransform = ctx->arrayState.rangeTransform;
        ctx->arrayState.rangeTransform = countingTransform;
    }
    float objX(size_t i) { return renderedRecords().at(i).obj[0]; }
};

TEST_F(CacheRoad, TheRangeTransformFollowsTheStateAndTheLayout) {
    GlArrayState &a = ctx->arrayState;
    // Unlit: position and colour; the colour array is off, so the current colour is fetched.
    EXPECT_EQ(a.arrayNeedIndex, 2);
    EXPECT_EQ(a.referenceTransform, __glTransformArrayPosColor);
    EXPECT_EQ(a.attrFetch[kGlArrayColor], __glArrayCurrentColor);
    EXPECT_EQ(a.attrFetch[kGlArrayVertex], __glFetchArrayVertex3f);
    EXPECT_EQ(a.rangeTransform, __glTransformArrayRangeLazy);
    // Lit with interleaved floats: the fast member; a layout the fast one cannot read: generic.
    GL(glEnable)(GL_LIGHTING);
    validateNow();
    EXPECT_EQ(a.arrayNeedIndex, 1);
    EXPECT_EQ(a.referenceTransform, __glTransformArrayPosNormalFast);
    GL(glNormalPointer)(GL_FLOAT, 12, data);
    validateNow();
    EXPECT_EQ(a.referenceTransform, __glTransformArrayPosNormal);
    // Non-fill polygon modes fetch everything (the mode alone revalidates the arrays at the
    // draw); the lazy stub installs the reference routine and runs it.
    GL(glPolygonMode)(GL_FRONT, GL_LINE);
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(a.arrayNeedIndex, -1);
    EXPECT_EQ(a.referenceTransform, __glTransformArrayGeneric);
    EXPECT_EQ(a.rangeTransform, __glTransformArrayGeneric);
    EXPECT_EQ(a.ogVertexProc, __glTransformArrayGeneric);
    ASSERT_EQ(renderedRecords().size(), 3u);
    EXPECT_FLOAT_EQ(objX(2), 0.2f);
    // Outside GL_RENDER the table's choice is used as it is, without the code generator.
    GL(glPolygonMode)(GL_FRONT, GL_FILL);
    static GLfloat feedback[64];
    GL(glFeedbackBuffer)(64, GL_2D, feedback);
    GL(glRenderMode)(GL_FEEDBACK);
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(a.arrayNeedIndex, -1);
    EXPECT_EQ(a.rangeTransform, __glTransformArrayGeneric);
    GL(glRenderMode)(GL_RENDER);
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(a.arrayNeedIndex, 1);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(CacheRoad, FastAndGenericMembersFillTheSameRecords) {
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    const float eye[4] = {0.3f, 0.0f, 1.0f, 1.0f};  // a point: d = (E - obj) . n
    GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, const_cast<float *>(eye));
    data[2].n[2] = -1.0f;
    data[5].n[0] = 1.0f, data[5].n[2] = 0.0f;
    validateNow();
    GlArrayState &a = ctx->arrayState;
    ASSERT_EQ(__glChooseRangeTransform(ctx), __glTransformArrayPosNormalFast);
    std::vector<GlVertex> fast(8), generic(8);
    __glTransformArrayPosNormalFast(ctx, 0, 0, 8);
    std::memcpy(fast.data(), a.cacheBase, 8 * sizeof(GlVertex));
    std::memset(a.cacheBase, 0, 8 * sizeof(GlVertex));
    __glTransformArrayPosNormal(ctx, 0, 0, 8);
    std::memcpy(generic.data(), a.cacheBase, 8 * sizeof(GlVertex));
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fast[i].flags, generic[i].flags);
        if (fast[i].flags & kGlVertexCulled) continue;
        EXPECT_EQ(std::memcmp(fast[i].obj, generic[i].obj, sizeof(fast[i].obj)), 0);
        EXPECT_EQ(std::memcmp(fast[i].normal, generic[i].normal, 3 * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(fast[i].clip, generic[i].clip, sizeof(fast[i].clip)), 0);
    }
    EXPECT_TRUE(fast[2].flags & kGlVertexCulled);   // faces away
    EXPECT_FALSE(fast[3].flags & kGlVertexCulled);
    EXPECT_TRUE(fast[5].flags & kGlVertexCulled);   // (E - obj) . n = 0.3 - 0.5 < 0
    EXPECT_FALSE(fast[0].flags & kGlVertexCulled);
}

TEST_F(CacheRoad, CullVertexWithADirection) {
    // Cull face GL_BACK, identity modelview, an eye direction (w 0) along +z.
    GL(glEnable)(GL_CULL_VERTEX_EXT);
    const float eye[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, const_cast<float *>(eye));
    data[0].n[2] = -1.0f;                                     // faces away: culled
    data[1].n[2] = 1.0f;                                      // faces the eye: kept
    data[2].n[0] = 1.0f, data[2].n[2] = 0.0f;                 // perpendicular: back-facing
    data[3].n[2] = -0.0f, data[3].n[0] = 0.0f;                // d = -0: back-facing
    GL(glDrawArrays)(GL_POINTS, 0, 4);
    ASSERT_EQ(renderedRecords().size(), 4u);
    EXPECT_TRUE(ctx->arrayState.arrayFlags & kGlArrayCullVertex);
    EXPECT_FALSE(ctx->arrayState.arrayFlags & kGlArrayCullPoint);
    EXPECT_TRUE(renderedRecords()[0].flags & kGlVertexCulled);
    EXPECT_FALSE(renderedRecords()[1].flags & kGlVertexCulled);
    EXPECT_TRUE(renderedRecords()[2].flags & kGlVertexCulled);
    EXPECT_TRUE(renderedRecords()[3].flags & kGlVertexCulled);
    // Culled records are neither completed nor transformed; kept ones carry their clip codes.
    EXPECT_TRUE(renderedRecords()[1].flags & kGlVertexWindowDone);
    EXPECT_FALSE(renderedRecords()[0].flags & kGlVertexWindowDone);
    // Front culling swaps the sides (the cull face alone revalidates the arrays at the draw).
    GL(glCullFace)(GL_FRONT);
    renderedRecords().clear();
    GL(glDrawArrays)(GL_POINTS, 0, 2);
    EXPECT_FALSE(renderedRecords()[0].flags & kGlVertexCulled);
    EXPECT_TRUE(renderedRecords()[1].flags & kGlVertexCulled);
}

TEST_F(CacheRoad, ALockedRangeIsTransformedOnceUntilItsInputsChange) {
    GL(__glDoLockArraysEXT)(2, 6);
    GL(glDrawArrays)(GL_POINTS, 2, 3);
    GlArrayState &a = ctx->arrayState;
    EXPECT_TRUE(a.arrayFlags & kGlArrayCacheHoldsLock);
    EXPECT_FALSE(a.arrayFlags & kGlArrayRangeStale);
    ASSERT_EQ(renderedRecords().size(), 3u);
    EXPECT_FLOAT_EQ(objX(0), 0.2f);
    countTransforms();
    renderedRecords().clear();
    GL(glDrawArrays)(GL_POINTS, 4, 4);
    static const GLubyte idx[3] = {7, 2, 5};
    GL(glDrawElements)(GL_POINTS, 3, GL_UNSIGNED_BYTE, idx);
    EXPECT_EQ(transformCount(), 0);
    ASSERT_EQ(renderedRecords().size(), 7u);
    EXPECT_FLOAT_EQ(objX(3), 0.7f);
    EXPECT_FLOAT_EQ(objX(4), 0.7f);
    EXPECT_FLOAT_EQ(objX(5), 0.2f);
    // A matrix call does not revalidate arrays, yet the records must follow it.
    const float x0 = renderedRecords()[0].clip[0];
    GL(glTranslatef)(1.0f, 0.0f, 0.0f);
    renderedRecords().clear();
    GL(glDrawArrays)(GL_POINTS, 4, 1);
    EXPECT_EQ(transformCount(), 6);
    EXPECT_NE(renderedRecords().at(0).clip[0], x0);
    // So must the current colour the records take while the colour array is off.
    GL(glColor3f)(0.0f, 1.0f, 0.0f);
    renderedRecords().clear();
    GL(glDrawArrays)(GL_POINTS, 4, 1);
    EXPECT_EQ(transformCount(), 12);
    EXPECT_EQ(renderedRecords().at(0).frontColor[1], ctx->scales.greenScale);
    GL(glDrawArrays)(GL_POINTS, 2, 6);
    EXPECT_EQ(transformCount(), 12);
    // Any array-state change makes the range stale.
    GL(glEnableClientState)(GL_NORMAL_ARRAY);
    validateNow();
    EXPECT_TRUE(a.arrayFlags & kGlArrayRangeStale);
    GL(__glDoUnlockArraysEXT)();
    validateNow();
    EXPECT_FALSE(a.arrayFlags & kGlArrayCacheHoldsLock);
    EXPECT_EQ(a.cacheBase, a.cacheBlock);
}

TEST_F(CacheRoad, ADrawOutsideTheLockedRangeStaysInsideTheCache) {
    GL(__glDoLockArraysEXT)(0, 4);
    GL(glDrawArrays)(GL_POINTS, 0, 4);
    GlArrayState &a = ctx->arrayState;
    EXPECT_FALSE(a.arrayFlags & kGlArrayRangeStale);
    renderedRecords().clear();
    // Elements 2..7 reach past the range: the batch way, within the block.
    GL(glDrawArrays)(GL_POINTS, 2, 6);
    ASSERT_EQ(renderedRecords().size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(objX(i), 0.1f * float(2 + i));
    EXPECT_TRUE(a.arrayFlags & kGlArraysLocked);
    EXPECT_TRUE(a.arrayFlags & kGlArrayCacheHoldsLock);
    EXPECT_TRUE(a.arrayFlags & kGlArrayRangeStale);  // the batch overwrote the range's records
    EXPECT_EQ(a.cacheBase, a.cacheBlock - 0);
    // An index outside the range does the same; the next draw inside it transforms it again.
    static const GLushort idx[2] = {1, 6};
    renderedRecords().clear();
    GL(glDrawElements)(GL_POINTS, 2, GL_UNSIGNED_SHORT, idx);
    ASSERT_EQ(renderedRecords().size(), 2u);
    EXPECT_FLOAT_EQ(objX(1), 0.6f);
    renderedRecords().clear();
    GL(glDrawArrays)(GL_POINTS, 1, 3);
    EXPECT_FALSE(a.arrayFlags & kGlArrayRangeStale);
    ASSERT_EQ(renderedRecords().size(), 3u);
    EXPECT_FLOAT_EQ(objX(2), 0.3f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(CacheRoad, ALockNoBlockCanHoldIsRefused) {
    GlArrayState &a = ctx->arrayState;
    GlVertex *block = a.cacheBlock;
    const int32_t bytes = a.cacheBytes;
    // 30,000,000 records would wrap a 32-bit byte count to a small block.
    GL(__glDoLockArraysEXT)(0, 30000000);
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(rendererCalls(), 0);
    EXPECT_EQ(a.cacheBlock, block);
    EXPECT_EQ(a.cacheBytes, bytes);
    EXPECT_FALSE(a.arrayFlags & kGlArrayCacheHoldsLock);
    GL(__glDoUnlockArraysEXT)();
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(rendererCalls(), 1);
}

TEST_F(CacheRoad, AFailedGrowthKeepsTheOldBlockAndDrawsNothing) {
    GlArrayState &a = ctx->arrayState;
    GlVertex *block = a.cacheBlock;
    const int32_t bytes = a.cacheBytes;
    const GlHostProcs saved = ctx->hostProcs;
    ctx->hostProcs.alloc = failAlloc;
    ctx->hostProcs.realloc = failRealloc;
    GL(__glDoLockArraysEXT)(0, 100);  // 16,000 bytes: more than the block holds
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(rendererCalls(), 0);
    EXPECT_EQ(a.cacheBlock, block);
    EXPECT_EQ(a.cacheBytes, bytes);
    EXPECT_EQ(ctx->vertexCache.records, block);
    // The temporary index list of glDrawElements as well.
    GL(__glDoUnlockArraysEXT)();
    static const GLubyte idx[3] = {0, 1, 2};
    GL(glDrawElements)(GL_POINTS, 3, GL_UNSIGNED_BYTE, idx);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(rendererCalls(), 0);
    ctx->hostProcs = saved;
    // This lock is taken and reads all 100 elements: the arrays hold as many.
    NV wide[100];
    for (int i = 0; i < 100; ++i) wide[i] = data[i % 8];
    GL(glInterleavedArrays)(GL_N3F_V3F, 0, wide);
    GL(__glDoLockArraysEXT)(0, 100);
    GL(glDrawArrays)(GL_POINTS, 0, 3);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(rendererCalls(), 1);
    EXPECT_EQ(a.cacheBytes, 16384 + 32);
    EXPECT_EQ(ctx->vertexCache.records, a.cacheBlock);
    for (int i = 0; i < a.cacheBytes / 160; ++i) ASSERT_EQ(a.cacheBlock[i].color, a.cacheBlock[i].frontColor);
}

TEST_F(CacheRoad, AnArrayEnabledBeforeItsPointerReadsTheCurrentAttribute) {
    __glInitArrayState(ctx);
    spyRenderers();
    GL(glColor3f)(1.0f, 0.0f, 0.0f);
    GL(glEnableClientState)(GL_COLOR_ARRAY);  // never given a pointer
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glVertexPointer)(3, GL_FLOAT, sizeof(NV), data[0].v);
    GL(glDrawArrays)(GL_POINTS, 0, 2);
    ASSERT_EQ(renderedRecords().size(), 2u);
    EXPECT_EQ(renderedRecords()[1].frontColor[0], ctx->scales.redScale);
    EXPECT_FLOAT_EQ(objX(1), 0.1f);
    // A vertex array without a pointer: the per-element road, whose vertex entry does nothing.
    __glInitArrayState(ctx);
    spyRenderers();
    renderedRecords().clear();
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    validateNow();
    EXPECT_TRUE(ctx->arrayState.arrayFlags & kGlArrayNoVertexArray);
    static const GLubyte idx[2] = {0, 1};
    spySlot(slot::glBegin, spyBegin);
    spySlot(slot::glEnd, spyEnd);
    GL(glDrawElements)(GL_TRIANGLES, 2, GL_UNSIGNED_BYTE, idx);
    EXPECT_EQ(immediateCalls(), (std::vector<std::string>{"Begin(4)", "End"}));
    EXPECT_TRUE(renderedRecords().empty());
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(CacheRoad, AllAttributeTransformsTakeTheIndexInColourIndexMode) {
    static const float index[2] = {5.0f, 6.0f};
    GL(glIndexPointer)(GL_FLOAT, 0, index);
    GL(glEnableClientState)(GL_INDEX_ARRAY);
    GL(glColor3f)(0.5f, 0.5f, 0.5f);
    validateNow();
    GlArrayState &a = ctx->arrayState;
    const uint8_t rgba = ctx->visual.rgbaMode;
    ctx->visual.rgbaMode = 0;
    a.attrFetch[kGlArrayIndex] = __glFetchArrayIndex1f;
    a.fullTransform(ctx, 0, 1, 1);
    EXPECT_EQ(a.cacheBase[0].frontColor[0], 6.0f);
    EXPECT_TRUE(a.cacheBase[0].flags & kGlVertexWindowDone);
    a.cacheBase[1].flags = kGlVertexCulled;
    a.refetchVertex(ctx, a.cacheBase + 1, 0);
    EXPECT_EQ(a.cacheBase[1].frontColor[0], 5.0f);
    EXPECT_TRUE(a.cacheBase[1].flags & kGlVertexCulled);  // kept through the refetch
    __glTransformArrayGeneric(ctx, 2, 1, 1);
    EXPECT_EQ(a.cacheBase[2].frontColor[0], 6.0f);
    ctx->visual.rgbaMode = rgba;
    __glTransformArrayGeneric(ctx, 2, 1, 1);
    EXPECT_EQ(a.cacheBase[2].frontColor[0], ctx->current.vertex.scaledColor[0]);
}

// Array changes made together with state of other groups (here the point size) are picked up at
// the next draw all the same.
TEST_F(CacheRoad, ArrayChangesMadeWithOtherStateAreSeen) {
    static const GLshort shorts[4][2] = {{1, 2}, {3, 4}, {5, 6}, {7, 8}};
    GL(glVertexPointer)(2, GL_SHORT, 0, shorts);
    GL(glPointSize)(2.0f);
    GL(glDrawArrays)(GL_POINTS, 1, 2);
    ASSERT_EQ(renderedRecords().size(), 2u);
    EXPECT_EQ(renderedRecords()[1].obj[0], 5.0f);
    EXPECT_EQ(renderedRecords()[1].obj[3], 1.0f);
    EXPECT_EQ(renderedRecords()[1].flags & kGlVertexSizeMask, uint32_t(kGlVertexSize2));
    // The vertex array switched off: nothing reaches the renderers.
    GL(glDisableClientState)(GL_VERTEX_ARRAY);
    GL(glPointSize)(1.0f);
    GL(glDrawArrays)(GL_POINTS, 0, 2);
    EXPECT_EQ(rendererCalls(), 1);
    EXPECT_TRUE(ctx->arrayState.arrayFlags & kGlArrayNoVertexArray);
}

// The environment switches keep the code generator's stubs out: read at every reset, kept while
// the variable is missing, process-wide.
TEST_F(CacheRoad, EnvironmentSwitchesKeepTheReferenceRoutines) {
    setenv("__GL_DISABLE_OG_VARRAY", "1", 1);
    setenv("__GL_DISABLE_OG_DRAWVERTEXES", "257", 1);  // the low byte: 1
    __glInitArrayState(ctx);
    unsetenv("__GL_DISABLE_OG_VARRAY");
    unsetenv("__GL_DISABLE_OG_DRAWVERTEXES");
    GlArrayState &a = ctx->arrayState;
    EXPECT_EQ(a.renderers[GL_TRIANGLE_STRIP], __glDrawArrayTriangleStrip);
    GL(glInterleavedArrays)(GL_N3F_V3F, 0, data);
    validateNow();
    EXPECT_EQ(a.rangeTransform, a.referenceTransform);
    EXPECT_EQ(a.renderers[GL_TRIANGLE_STRIP], __glDrawArrayTriangleStrip);
    __glInitArrayState(ctx);  // still set
    EXPECT_EQ(__glArraySwitches.disableOgVarray, 1);
    setenv("__GL_DISABLE_OG_VARRAY", "0", 1);
    setenv("__GL_DISABLE_OG_DRAWVERTEXES", "0", 1);
    __glInitArrayState(ctx);
    unsetenv("__GL_DISABLE_OG_VARRAY");
    unsetenv("__GL_DISABLE_OG_DRAWVERTEXES");
    EXPECT_EQ(a.renderers[GL_TRIANGLE_STRIP], __glDrawArrayTriangleStripLazy);
    GL(glInterleavedArrays)(GL_N3F_V3F, 0, data);
    validateNow();
    EXPECT_EQ(a.rangeTransform, __glTransformArrayRangeLazy);
}
