// The vertex-array entries as a program calls them: argument errors, what the pointer calls
// store, glInterleavedArrays, locking, the draw errors and the per-element road.
#include <array>
#include <functional>
#include <utility>
#include "tests/icd_arrays/arrays_fixture.h"

namespace {
const float kFloats[64] = {};
}

TEST_F(ArraysTest, PointerEntryErrorsLeaveTheStateAlone) {
    struct Row {
        const char *name;
        std::function<void(GlContext *)> call;
        GLenum error;
    };
    const void *p = kFloats;
    const Row rows[] = {
        {"vertex 3 GL_BYTE", [&](GlContext *ctx) { GL(glVertexPointer)(3, GL_BYTE, 0, p); }, GL_INVALID_ENUM},
        {"vertex 1 GL_FLOAT", [&](GlContext *ctx) { GL(glVertexPointer)(1, GL_FLOAT, 0, p); }, GL_INVALID_VALUE},
        {"vertex 5 GL_FLOAT", [&](GlContext *ctx) { GL(glVertexPointer)(5, GL_FLOAT, 0, p); }, GL_INVALID_VALUE},
        {"value before enum", [&](GlContext *ctx) { GL(glVertexPointer)(1, GL_BYTE, 0, p); }, GL_INVALID_VALUE},
        {"negative stride", [&](GlContext *ctx) { GL(glVertexPointer)(3, GL_FLOAT, -4, p); }, GL_INVALID_VALUE},
        {"vertex GL_2_BYTES", [&](GlContext *ctx) { GL(glVertexPointer)(2, GL_2_BYTES, 0, p); }, GL_INVALID_ENUM},
        {"vertex type past GL_DOUBLE", [&](GlContext *ctx) { GL(glVertexPointer)(2, 0x140B, 0, p); }, GL_INVALID_ENUM},
        {"colour 4 GL_UNSIGNED_INT", [&](GlContext *ctx) { GL(glColorPointer)(4, GL_UNSIGNED_INT, 0, p); }, GL_NO_ERROR},
        {"colour 2", [&](GlContext *ctx) { GL(glColorPointer)(2, GL_FLOAT, 0, p); }, GL_INVALID_VALUE},
        {"normal GL_UNSIGNED_BYTE", [&](GlContext *ctx) { GL(glNormalPointer)(GL_UNSIGNED_BYTE, 0, p); }, GL_INVALID_ENUM},
        {"normal GL_BYTE", [&](GlContext *ctx) { GL(glNormalPointer)(GL_BYTE, 0, p); }, GL_NO_ERROR},
        {"index GL_BYTE", [&](GlContext *ctx) { GL(glIndexPointer)(GL_BYTE, 0, p); }, GL_INVALID_ENUM},
        {"index GL_UNSIGNED_BYTE", [&](GlContext *ctx) { GL(glIndexPointer)(GL_UNSIGNED_BYTE, 0, p); }, GL_NO_ERROR},
        {"texcoord 0", [&](GlContext *ctx) { GL(glTexCoordPointer)(0, GL_FLOAT, 0, p); }, GL_INVALID_VALUE},
        {"texcoord GL_UNSIGNED_SHORT", [&](GlContext *ctx) { GL(glTexCoordPointer)(1, GL_UNSIGNED_SHORT, 0, p); },
         GL_INVALID_ENUM},
        {"edge flag negative stride", [&](GlContext *ctx) { GL(glEdgeFlagPointer)(-1, p); }, GL_INVALID_VALUE},
        {"EXT negative count", [&](GlContext *ctx) { GL(__glDoVertexPointerEXT)(3, GL_FLOAT, 0, -1, p); },
         GL_INVALID_VALUE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        __glInitArrayState(ctx);
        settle();
        const GlArrayState before = ctx->arrayState;
        row.call(ctx);
        EXPECT_EQ(error(), row.error);
        if (row.error != GL_NO_ERROR) {
            EXPECT_EQ(std::memcmp(&before.arrays, &ctx->arrayState.arrays, sizeof(before.arrays)), 0);
            EXPECT_EQ(before.formatWord, ctx->arrayState.formatWord);
            EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
        } else {
            EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
            EXPECT_TRUE(ctx->dirtyMask & kGlDirtyArrays);
        }
    }
    // Inside glBegin/glEnd every pointer call, lock and draw is refused.
    ctx->beginMode = kGlInsideBegin;
    GL(glVertexPointer)(3, GL_FLOAT, 0, p);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glInterleavedArrays)(GL_V3F, 0, p);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(__glDoLockArraysEXT)(0, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glDrawArrays)(GL_POINTS, 0, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glDrawElements)(GL_POINTS, 1, GL_UNSIGNED_INT, p);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    ctx->beginMode = kGlOutsideBegin;
}

TEST_F(ArraysTest, PointerCallsStoreTheLayoutAndTheProcsOfTheirTable) {
    const GlClientArray *arr = ctx->arrayState.arrays;
    GL(glVertexPointer)(3, GL_DOUBLE, 0, kFloats);
    EXPECT_EQ(arr[kGlArrayVertex].stride, 24);  // packed
    EXPECT_EQ(arr[kGlArrayVertex].userStride, 0);
    EXPECT_EQ(arr[kGlArrayVertex].fetchProc, __glFetchArrayVertex3d);
    EXPECT_EQ(reinterpret_cast<void *>(arr[kGlArrayVertex].immediateProc),
              reinterpret_cast<void *>(&__glDispatchVertex3dv));
    GL(glColorPointer)(3, GL_UNSIGNED_BYTE, 7, kFloats + 1);
    EXPECT_EQ(arr[kGlArrayColor].stride, 7);
    EXPECT_EQ(arr[kGlArrayColor].pointer, kFloats + 1);
    EXPECT_EQ(arr[kGlArrayColor].fetchProc, __glFetchArrayColor3ub);
    GL(glNormalPointer)(GL_SHORT, 0, kFloats);
    EXPECT_EQ(arr[kGlArrayNormal].stride, 6);
    GL(glIndexPointer)(GL_UNSIGNED_BYTE, 0, kFloats);
    EXPECT_EQ(arr[kGlArrayIndex].stride, 1);
    EXPECT_EQ(reinterpret_cast<void *>(arr[kGlArrayIndex].immediateProc),
              reinterpret_cast<void *>(&__glDispatchIndexubv));
    GL(glTexCoordPointer)(2, GL_INT, 0, kFloats);
    EXPECT_EQ(arr[kGlArrayTexCoord].stride, 8);
    GL(glEdgeFlagPointer)(0, kFloats);
    EXPECT_EQ(arr[kGlArrayEdgeFlag].stride, 1);
    EXPECT_EQ(arr[kGlArrayEdgeFlag].fetchProc, __glFetchArrayEdgeFlag);
    // Type codes and sizes of every array: vertex double (11) x 3, normal short (3), colour
    // ubyte (2) x 3, texcoord int (5) x 2, edge flag given, index ubyte (2).
    EXPECT_EQ(ctx->arrayState.formatWord, 0x3Bu | 0x300u | 0x32000u | 0x2500000u | 0x8000000u | 0x20000000u);

    // The EXT forms keep their count; the core call sets it back to 0.
    GL(__glDoTexCoordPointerEXT)(4, GL_FLOAT, 0, 12, kFloats);
    EXPECT_EQ(arr[kGlArrayTexCoord].count, 12);
    EXPECT_EQ(arr[kGlArrayTexCoord].size, 4);
    GL(__glDoTexCoordPointerEXT)(9, GL_FLOAT, 0, 5, kFloats);  // rejected, count stored all the same
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    EXPECT_EQ(arr[kGlArrayTexCoord].count, 5);
    EXPECT_EQ(arr[kGlArrayTexCoord].size, 4);
    GL(glTexCoordPointer)(4, GL_FLOAT, 0, kFloats);
    EXPECT_EQ(arr[kGlArrayTexCoord].count, 0);
    GL(__glDoEdgeFlagPointerEXT)(0, 3, reinterpret_cast<const GLboolean *>(kFloats));
    EXPECT_EQ(arr[kGlArrayEdgeFlag].count, 3);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(ArraysTest, InterleavedFormatsSetEveryArray) {
    struct Row {
        GLenum format;
        int tex, color;
        GLenum colorType;
        int colorOffset, normalOffset, vertex, vertexOffset, stride;
    };
    const Row rows[] = {
        {GL_V2F, 0, 0, 0, 0, -1, 2, 0, 8},
        {GL_V3F, 0, 0, 0, 0, -1, 3, 0, 12},
        {GL_C4UB_V2F, 0, 4, GL_UNSIGNED_BYTE, 0, -1, 2, 4, 12},
        {GL_C4UB_V3F, 0, 4, GL_UNSIGNED_BYTE, 0, -1, 3, 4, 16},
        {GL_C3F_V3F, 0, 3, GL_FLOAT, 0, -1, 3, 12, 24},
        {GL_N3F_V3F, 0, 0, 0, 0, 0, 3, 12, 24},
        {GL_C4F_N3F_V3F, 0, 4, GL_FLOAT, 0, 16, 3, 28, 40},
        {GL_T2F_V3F, 2, 0, 0, 0, -1, 3, 8, 20},
        {GL_T4F_V4F, 4, 0, 0, 0, -1, 4, 16, 32},
        {GL_T2F_C4UB_V3F, 2, 4, GL_UNSIGNED_BYTE, 8, -1, 3, 12, 24},
        {GL_T2F_C3F_V3F, 2, 3, GL_FLOAT, 8, -1, 3, 20, 32},
        {GL_T2F_N3F_V3F, 2, 0, 0, 0, 8, 3, 20, 32},
        {GL_T2F_C4F_N3F_V3F, 2, 4, GL_FLOAT, 8, 24, 3, 36, 48},
        {GL_T4F_C4F_N3F_V4F, 4, 4, GL_FLOAT, 16, 32, 4, 44, 60},
    };
    const uint8_t *base = reinterpret_cast<const uint8_t *>(kFloats);
    const GlClientArray *arr = ctx->arrayState.arrays;
    for (const Row &row : rows) {
        for (int userStride : {0, 100}) {
            SCOPED_TRACE(testing::Message() << std::hex << row.format << " stride " << userStride);
            GL(glEnableClientState)(GL_EDGE_FLAG_ARRAY);
            GL(glEnableClientState)(GL_INDEX_ARRAY);
            GL(glEnableClientState)(GL_NORMAL_ARRAY);
            GL(glInterleavedArrays)(row.format, userStride, base);
            ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
            const int stride = userStride != 0 ? userStride : row.stride;
            uint32_t mask = kGlArrayEnableVertex;
            EXPECT_EQ(arr[kGlArrayVertex].pointer, base + row.vertexOffset);
            EXPECT_EQ(arr[kGlArrayVertex].size, row.vertex);
            EXPECT_EQ(arr[kGlArrayVertex].type, GLenum(GL_FLOAT));
            EXPECT_EQ(arr[kGlArrayVertex].stride, stride);
            if (row.tex) {
                mask |= kGlArrayEnableTexCoord;
                EXPECT_EQ(arr[kGlArrayTexCoord].pointer, base);
                EXPECT_EQ(arr[kGlArrayTexCoord].size, row.tex);
                EXPECT_EQ(arr[kGlArrayTexCoord].stride, stride);
            }
            if (row.color) {
                mask |= kGlArrayEnableColor;
                EXPECT_EQ(arr[kGlArrayColor].pointer, base + row.colorOffset);
                EXPECT_EQ(arr[kGlArrayColor].size, row.color);
                EXPECT_EQ(arr[kGlArrayColor].type, row.colorType);
                EXPECT_EQ(arr[kGlArrayColor].stride, stride);
            }
            if (row.normalOffset >= 0) {
                mask |= kGlArrayEnableNormal;
                EXPECT_EQ(arr[kGlArrayNormal].pointer, base + row.normalOffset);
                EXPECT_EQ(arr[kGlArrayNormal].stride, stride);
            }
            EXPECT_EQ(ctx->state.arrayEnable.enableMask, mask);
            EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        }
    }
    GL(glInterleavedArrays)(GL_V3F, -1, base);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    GL(glInterleavedArrays)(GL_T4F_C4F_N3F_V4F + 1, 0, base);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(glInterleavedArrays)(GL_V2F - 1, 0, base);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
}

TEST_F(ArraysTest, LockAndUnlockErrors) {
    GL(__glDoUnlockArraysEXT)();
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(__glDoLockArraysEXT)(-1, 3);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    GL(__glDoLockArraysEXT)(0, -3);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    GL(__glDoLockArraysEXT)(2, 5);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->arrayState.lockFirst, 2);
    EXPECT_EQ(ctx->arrayState.lockCount, 5);
    GL(__glDoLockArraysEXT)(0, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->arrayState.lockFirst, 2);
    GL(__glDoUnlockArraysEXT)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->arrayState.lockCount, 0);
    EXPECT_FALSE(ctx->arrayState.arrayFlags & kGlArraysLocked);
}

TEST_F(ArraysTest, DrawErrorsComeInTheirOrder) {
    spyRenderers();
    static const float v[9] = {};
    GL(glVertexPointer)(3, GL_FLOAT, 0, v);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    struct Row {
        const char *name;
        std::function<void(GlContext *)> call;
        GLenum error;
    };
    static const GLushort idx[3] = {0, 1, 2};
    const Row rows[] = {
        {"first -1", [](GlContext *ctx) { GL(glDrawArrays)(GL_TRIANGLES, -1, 3); }, GL_INVALID_VALUE},
        {"count -1", [](GlContext *ctx) { GL(glDrawArrays)(GL_TRIANGLES, 0, -1); }, GL_INVALID_VALUE},
        {"mode 10", [](GlContext *ctx) { GL(glDrawArrays)(10, 0, 3); }, GL_INVALID_ENUM},
        {"mode 10 and first -1", [](GlContext *ctx) { GL(glDrawArrays)(10, -1, 3); }, GL_INVALID_VALUE},
        {"count 0", [](GlContext *ctx) { GL(glDrawArrays)(GL_POINTS, 0, 0); }, GL_NO_ERROR},
        {"EXT mode 10", [](GlContext *ctx) { GL(__glDoDrawArraysEXT)(10, 0, 3); }, GL_INVALID_ENUM},
        {"elements count -1", [](GlContext *ctx) { GL(glDrawElements)(GL_POINTS, -1, GL_UNSIGNED_SHORT, idx); },
         GL_INVALID_VALUE},
        {"elements mode 10", [](GlContext *ctx) { GL(glDrawElements)(10, 3, GL_UNSIGNED_SHORT, idx); },
         GL_INVALID_ENUM},
        {"elements GL_SHORT", [](GlContext *ctx) { GL(glDrawElements)(GL_POINTS, 3, GL_SHORT, idx); },
         GL_INVALID_ENUM},
        {"elements count 0", [](GlContext *ctx) { GL(glDrawElements)(GL_POINTS, 0, GL_UNSIGNED_BYTE, idx); },
         GL_NO_ERROR},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        row.call(ctx);
        EXPECT_EQ(error(), row.error);
        EXPECT_EQ(rendererCalls(), 0);
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);  // the prologue validated all the same
    }
}

// ---- the per-element road --------------------------------------------------------------------
class PerElementRoad : public ArraysTest {
protected:
    // Element i: normal (i, 0, 1) in bytes, colour (10i, 0, 0, 255), texcoord (i, 0.5), index
    // 7 + i, edge flag i odd, vertex (i, 2i, 0).
    GLbyte normals[4][3];
    GLubyte colors[4][4];
    float tex[4][2];
    float index[4];
    GLboolean edges[4];
    float verts[4][3];
    void SetUp() override {
        ArraysTest::SetUp();
        for (int i = 0; i < 4; ++i) {
            normals[i][0] = GLbyte(i), normals[i][1] = 0, normals[i][2] = 1;
            colors[i][0] = GLubyte(10 * i), colors[i][1] = colors[i][2] = 0, colors[i][3] = 255;
            tex[i][0] = float(i), tex[i][1] = 0.5f;
            index[i] = float(7 + i);
            edges[i] = GLboolean(i & 1);
            verts[i][0] = float(i), verts[i][1] = float(2 * i), verts[i][2] = 0.0f;
        }
        GL(glNormalPointer)(GL_BYTE, 0, normals);
        GL(glColorPointer)(4, GL_UNSIGNED_BYTE, 0, colors);
        GL(glTexCoordPointer)(2, GL_FLOAT, 0, tex);
        GL(glIndexPointer)(GL_FLOAT, 0, index);
        GL(glEdgeFlagPointer)(0, edges);
        GL(glVertexPointer)(3, GL_FLOAT, 0, verts);
        for (GLenum a : {GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_INDEX_ARRAY, GL_EDGE_FLAG_ARRAY,
                         GL_VERTEX_ARRAY})
            GL(glEnableClientState)(a);
        spyRenderers();
        spyImmediate();
    }
    // Validation puts the immediate entries back: spy on them after it.
    void spyImmediate() {
        validateNow();
        spySlot(slot::glNormal3bv, spyVector<spyname::N3b, GLbyte, 3>);
        spySlot(slot::glColor4ubv, spyVector<spyname::C4ub, GLubyte, 4>);
        spySlot(slot::glTexCoord2fv, spyVector<spyname::T2f, float, 2>);
        spySlot(slot::glIndexfv, spyVector<spyname::If, float, 1>);
        spySlot(slot::glEdgeFlagv, spyVector<spyname::E, GLboolean, 1>);
        spySlot(slot::glVertex3fv, spyVector<spyname::V3f, float, 3>);
        spySlot(slot::glBegin, spyBegin);
        spySlot(slot::glEnd, spyEnd);
    }
    std::vector<std::string> element(int i) {
        auto f = [](double v) { return std::to_string(v).substr(0, 6); };
        return {"N3b(" + f(i) + ",0.0000,1.0000)",
                "C4ub(" + f(10 * i) + ",0.0000,0.0000,255.00)",
                "T2f(" + f(i) + ",0.5000)",
                "If(" + f(7 + i) + ")",
                "E(" + f(i & 1) + ")",
                "V3f(" + f(i) + "," + f(2 * i) + ",0.0000)"};
    }
};

TEST_F(PerElementRoad, ArrayElementIssuesTheAttributesThenTheVertex) {
    GL(glArrayElement)(2);
    GL(__glDoArrayElementEXT)(3);
    std::vector<std::string> want = element(2), more = element(3);
    want.insert(want.end(), more.begin(), more.end());
    EXPECT_EQ(immediateCalls(), want);
    // Only the enabled arrays are issued.
    immediateCalls().clear();
    GL(glDisableClientState)(GL_TEXTURE_COORD_ARRAY);
    GL(glDisableClientState)(GL_INDEX_ARRAY);
    GL(glDisableClientState)(GL_EDGE_FLAG_ARRAY);
    GL(glArrayElement)(1);
    std::vector<std::string> e = element(1);
    EXPECT_EQ(immediateCalls(), (std::vector<std::string>{e[0], e[1], e[5]}));
}

TEST_F(PerElementRoad, LitColourMaterialDrawsThroughTheImmediateEntries) {
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_COLOR_MATERIAL);
    spyImmediate();
    static const GLushort shorts[3] = {3, 0, 2};
    static const GLuint ints[3] = {3, 0, 2};
    GL(glDrawElements)(GL_TRIANGLES, 3, GL_UNSIGNED_SHORT, shorts);
    EXPECT_TRUE(ctx->arrayState.arrayFlags & kGlArrayLitColorMaterial);
    std::vector<std::string> want = {"Begin(4)"};
    for (int i : {3, 0, 2}) {
        std::vector<std::string> e = element(i);
        want.insert(want.end(), e.begin(), e.end());
    }
    want.push_back("End");
    EXPECT_EQ(immediateCalls(), want);
    immediateCalls().clear();
    GL(glDrawElements)(GL_TRIANGLES, 3, GL_UNSIGNED_INT, ints);
    EXPECT_EQ(immediateCalls(), want);
    // glDrawArrays through the draw loop of the enabled arrays issues the same calls.
    immediateCalls().clear();
    GL(glDrawArrays)(GL_TRIANGLE_STRIP, 1, 3);
    want = {"Begin(5)"};
    for (int i : {1, 2, 3}) {
        std::vector<std::string> e = element(i);
        want.insert(want.end(), e.begin(), e.end());
    }
    want.push_back("End");
    EXPECT_EQ(immediateCalls(), want);
    EXPECT_EQ(rendererCalls(), 0);
}

namespace {
std::vector<std::string> &loopCalls() {
    static std::vector<std::string> log;
    return log;
}
template <int Mask>
void APIENTRY spyLoop(GLenum mode, GLint first, GLsizei count) {
    loopCalls().push_back(std::to_string(Mask) + ":" + std::to_string(mode) + "," + std::to_string(first) + "," +
                          std::to_string(count));
}
template <int... M>
constexpr std::array<GlDrawLoop, 64> loopsOf(std::integer_sequence<int, M...>) {
    return {spyLoop<M>...};
}
const std::array<GlDrawLoop, 64> kSpyLoops = loopsOf(std::make_integer_sequence<int, 64>());
}  // namespace

TEST_F(PerElementRoad, DrawArraysTakesTheLoopOfTheEnabledArraysWhenTheCacheCannotServe) {
    ctx->arrayState.drawLoops = kSpyLoops.data();
    loopCalls().clear();
    // The cache road serves the plain state.
    GL(glDrawArrays)(GL_POINTS, 0, 2);
    EXPECT_EQ(rendererCalls(), 1);
    EXPECT_TRUE(loopCalls().empty());
    // No vertex array: the loop of what is enabled.
    GL(glDisableClientState)(GL_VERTEX_ARRAY);
    GL(glDrawArrays)(GL_LINES, 1, 3);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_COLOR_MATERIAL);
    GL(glDrawArrays)(GL_TRIANGLES, 0, 3);
    GL(__glDoDrawArraysEXT)(GL_TRIANGLE_FAN, 1, 3);
    EXPECT_EQ(loopCalls(), (std::vector<std::string>{"31:1,1,3", "63:4,0,3", "63:6,1,3"}));
    EXPECT_EQ(rendererCalls(), 1);
}

TEST_F(PerElementRoad, CompileFormsRecordImmediateCommands) {
    // While a list is compiled the live table holds the compile routines; the compile forms issue
    // the elements' immediate commands through it, count 0 included.
    using Draw = void(APIENTRY *)(GLenum, GLint, GLsizei);
    reinterpret_cast<Draw>(ctx->compileTable.slot[slot::glDrawArrays])(GL_LINE_STRIP, 1, 2);
    std::vector<std::string> want = {"Begin(3)"};
    for (int i : {1, 2}) {
        std::vector<std::string> e = element(i);
        want.insert(want.end(), e.begin(), e.end());
    }
    want.push_back("End");
    EXPECT_EQ(immediateCalls(), want);
    immediateCalls().clear();
    reinterpret_cast<Draw>(ctx->compileTable.slot[slot::__glDoDrawArraysEXT])(GL_POINTS, 0, 0);
    EXPECT_EQ(immediateCalls(), (std::vector<std::string>{"Begin(0)", "End"}));
    immediateCalls().clear();
    static const GLubyte bytes[2] = {3, 1};
    using Elements = void(APIENTRY *)(GLenum, GLsizei, GLenum, const GLvoid *);
    reinterpret_cast<Elements>(ctx->compileTable.slot[slot::glDrawElements])(GL_LINES, 2, GL_UNSIGNED_BYTE, bytes);
    want = {"Begin(1)"};
    for (int i : {3, 1}) {
        std::vector<std::string> e = element(i);
        want.insert(want.end(), e.begin(), e.end());
    }
    want.push_back("End");
    EXPECT_EQ(immediateCalls(), want);
    reinterpret_cast<Draw>(ctx->compileTable.slot[slot::glDrawArrays])(10, 0, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(rendererCalls(), 0);
}
