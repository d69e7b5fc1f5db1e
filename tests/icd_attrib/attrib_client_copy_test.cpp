// The client stack (pixel-store modes, client arrays) and the context copy.
#include <cstring>
#include "tests/icd_attrib/attrib_fixture.h"

namespace {

class ClientAttrib : public AttribTest {
protected:
    float bufA[12] = {}, bufB[12] = {};
    GLubyte colours[16] = {};
    const void *pointer(GLenum pname) {
        void *p = nullptr;
        GL(glGetPointerv)(pname, &p);
        return p;
    }
    std::vector<double> vertexArray() {
        std::vector<double> r;
        for (GLenum p : {GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE, GL_COLOR_ARRAY_SIZE,
                         GL_COLOR_ARRAY_TYPE})
            r.push_back(get(p, 1)[0]);
        for (GLenum cap : {GL_VERTEX_ARRAY, GL_COLOR_ARRAY, GL_NORMAL_ARRAY}) r.push_back(enabled(cap));
        return r;
    }
    std::vector<double> pixelStore() {
        std::vector<double> r;
        for (GLenum p : {GL_UNPACK_ALIGNMENT, GL_UNPACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SWAP_BYTES})
            r.push_back(get(p, 1)[0]);
        return r;
    }
    void setA() {
        GL(glVertexPointer)(3, GL_FLOAT, 12, bufA);
        GL(glColorPointer)(4, GL_UNSIGNED_BYTE, 0, colours);
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        GL(glEnableClientState)(GL_COLOR_ARRAY);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 2);
        GL(glPixelStorei)(GL_UNPACK_ROW_LENGTH, 7);
        GL(glPixelStorei)(GL_PACK_SKIP_ROWS, 3);
        GL(glPixelStorei)(GL_PACK_SWAP_BYTES, 1);
    }
    void setB() {
        GL(glVertexPointer)(2, GL_SHORT, 0, bufB);
        GL(glColorPointer)(3, GL_FLOAT, 0, bufB);
        GL(glDisableClientState)(GL_COLOR_ARRAY);
        GL(glEnableClientState)(GL_NORMAL_ARRAY);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 8);
        GL(glPixelStorei)(GL_UNPACK_ROW_LENGTH, 0);
        GL(glPixelStorei)(GL_PACK_SKIP_ROWS, 0);
        GL(glPixelStorei)(GL_PACK_SWAP_BYTES, 0);
    }
};

TEST_F(ClientAttrib, EachClientGroupRestoresItsOwnState) {
    struct Row {
        GLbitfield mask;
        bool arrays, store;
    };
    const Row rows[] = {
        {GL_CLIENT_VERTEX_ARRAY_BIT, true, false},
        {GL_CLIENT_PIXEL_STORE_BIT, false, true},
        {GL_CLIENT_ALL_ATTRIB_BITS, true, true},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "mask 0x" << std::hex << r.mask);
        setA();
        const std::vector<double> arraysA = vertexArray(), storeA = pixelStore();
        GL(glPushClientAttrib)(r.mask);
        setB();
        const std::vector<double> arraysB = vertexArray(), storeB = pixelStore();
        ASSERT_NE(arraysA, arraysB);
        ASSERT_NE(storeA, storeB);
        settle();
        GL(glPopClientAttrib)();
        EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(vertexArray(), r.arrays ? arraysA : arraysB);
        EXPECT_EQ(pointer(GL_VERTEX_ARRAY_POINTER), r.arrays ? static_cast<void *>(bufA) : bufB);
        EXPECT_EQ(pixelStore(), r.store ? storeA : storeB);
        EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        EXPECT_NE(ctx->dirtyMask & kGlDirtyGeneral, 0u);
        if (r.arrays) {
            // The arrays are validated again before the next array draw.
            EXPECT_NE(ctx->dirtyMask & kGlDirtyArrays, 0u);
            EXPECT_EQ(ctx->arrayState.arraysDirty, 1);
        }
    }
}

// Whether the arrays are locked comes back; the locked range is the one in force.
TEST_F(ClientAttrib, LockFlagComesBackButNotTheRange) {
    GL(__glDoLockArraysEXT)(0, 4);
    GL(glPushClientAttrib)(GL_CLIENT_VERTEX_ARRAY_BIT);
    GL(__glDoUnlockArraysEXT)();
    EXPECT_EQ(ctx->arrayState.arrayFlags & kGlArraysLocked, 0u);
    GL(glPopClientAttrib)();
    EXPECT_NE(ctx->arrayState.arrayFlags & kGlArraysLocked, 0u);
    GL(__glDoUnlockArraysEXT)();
    EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
}

// ---- the context copy --------------------------------------------------------------------------

class ContextCopy : public AttribTest {
protected:
    TestWindow *otherWindow = nullptr;
    DHGLRC otherHandle = 0;
    GlContext *other = nullptr;
    void SetUp() override {
        AttribTest::SetUp();
        // A single-buffered destination, made current once so that it has its defaults.
        otherWindow = new TestWindow(kSingleFormat);
        otherHandle = DrvCreateContext(otherWindow->hdc);
        ASSERT_NE(otherHandle, DHGLRC(0));
        ASSERT_NE(DrvSetContext(otherWindow->hdc, otherHandle, nullptr), nullptr);
        other = contextOf(otherHandle);
        __glSetStateDefaults(other);
        ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    }
    void TearDown() override {
        DrvReleaseContext(otherHandle);
        DrvDeleteContext(otherHandle);
        delete otherWindow;
        AttribTest::TearDown();
    }
    // Reads the destination's state through its own live table.
    template <class F>
    auto inOther(F f) {
        EXPECT_NE(DrvSetContext(otherWindow->hdc, otherHandle, nullptr), nullptr);
        GlContext *saved = ctx;
        ctx = other;
        auto r = f();
        ctx = saved;
        EXPECT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
        return r;
    }
};

TEST_F(ContextCopy, CopiesExactlyTheMaskedGroupsAndMarksTheDestination) {
    ASSERT_NE(ctx->procs.copy, nullptr);
    GL(glDepthFunc)(GL_GEQUAL);
    GL(glEnable)(GL_DEPTH_TEST);
    const GLfloat diffuse[4] = {0.5f, 0.25f, 0.125f, 1.0f};
    GL(glLightfv)(GL_LIGHT3, GL_DIFFUSE, diffuse);
    GL(glEnable)(GL_LIGHT3);
    GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE);
    GL(glLineWidth)(3.0f);
    GL(glRasterPos2f)(0.5f, 0.25f);
    other->beginMode = kGlOutsideBegin;
    other->dirtyMask = 0;

    ctx->procs.copy(other, ctx, GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT);
    EXPECT_EQ(other->beginMode, kGlNeedValidate);
    EXPECT_NE(other->dirtyMask & kGlDirtyGeneral, 0u);
    // The raster-position record's colour pointer is the destination's own.
    const GlVertex &rp = other->current.vertex.rasterPos;
    EXPECT_TRUE(rp.color == rp.frontColor || rp.color == rp.backColor);
    auto read = [&] {
        GLfloat light[4] = {};
        GL(glGetLightfv)(GL_LIGHT3, GL_DIFFUSE, light);
        std::vector<double> r(light, light + 4);
        for (GLenum p : {GL_DEPTH_FUNC, GL_BLEND_SRC, GL_LINE_WIDTH}) r.push_back(get(p, 1)[0]);
        for (GLenum cap : {GL_DEPTH_TEST, GL_LIGHT3}) r.push_back(enabled(cap));
        std::vector<double> pos = get(GL_CURRENT_RASTER_POSITION, 2);
        r.insert(r.end(), pos.begin(), pos.end());
        return r;
    };
    const std::vector<double> source = read();
    const std::vector<double> copied = inOther(read);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(copied[i], source[i]) << "light diffuse " << i;
    EXPECT_EQ(copied[4], GL_GEQUAL);
    EXPECT_EQ(copied[5], GL_ONE) << "colour buffer not in the mask";
    EXPECT_EQ(copied[6], 1.0) << "line not in the mask";
    EXPECT_EQ(copied[7], 1.0);
    EXPECT_EQ(copied[8], 1.0);
    EXPECT_EQ(copied[9], source[9]);
    EXPECT_EQ(copied[10], source[10]);

    // The colour-buffer group: the source draws to its back buffer, which a single-buffered
    // destination does not have.
    ctx->procs.copy(other, ctx, GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(inOther([&] { return get(GL_BLEND_SRC, 1)[0]; }), GL_SRC_ALPHA);
    EXPECT_EQ(inOther([&] { return get(GL_DRAW_BUFFER, 1)[0]; }), GL_FRONT);
    EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
}

}  // namespace
