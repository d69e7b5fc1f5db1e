// Display lists through the live table: control entries and their errors, lists replaying what
// the same immediate calls do, nesting, glCallLists, recorded errors, the entries that act at once
// while compiling, sharing between contexts, the material merge and the compiled block's layout.
#include <cmath>
#include <functional>
#include "tests/icd_state/state_fixture.h"
#include "icd/core/list.h"
#include "icd/core/names.h"
#include "icd/vertex/power.h"
#include "icd/vertex/vertex_ring.h"

namespace {

class Lists : public StateTest {
protected:
    GLenum error() { return GL(glGetError)(); }
    float modelviewX() {
        GLfloat m[16];
        GL(glGetFloatv)(GL_MODELVIEW_MATRIX, m);
        return m[12];
    }
    void resetModelview() {
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
    }
    // A list translating x by dx.
    void defineTranslate(GLuint name, float dx) {
        GL(glNewList)(name, GL_COMPILE);
        GL(glTranslatef)(dx, 0.0f, 0.0f);
        GL(glEndList)();
    }
    GlDisplayList *object(GLuint name) {
        void *o = __glNamesLockObject(ctx, ctx->state.list.listNames, name);
        if (o != nullptr) __glNamesUnlockObject(ctx, ctx->state.list.listNames, o);
        return static_cast<GlDisplayList *>(o);
    }
};

TEST_F(Lists, ControlEntriesCheckInTheirOrder) {
    struct Row {
        const char *what;
        std::function<void(GlContext *)> call;
        GLenum error;
    };
    const GLint names[1] = {1};
    const Row rows[] = {
        {"glNewList name 0", [](GlContext *ctx) { GL(glNewList)(0, GL_COMPILE); }, GL_INVALID_VALUE},
        {"glNewList mode before name", [](GlContext *ctx) { GL(glNewList)(0, 0); }, GL_INVALID_ENUM},
        {"glEndList without a list", [](GlContext *ctx) { GL(glEndList)(); }, GL_INVALID_OPERATION},
        {"glCallList 0", [](GlContext *ctx) { GL(glCallList)(0); }, GL_INVALID_VALUE},
        {"glCallLists count before type", [&](GlContext *ctx) { GL(glCallLists)(-1, 0, names); }, GL_INVALID_VALUE},
        {"glCallLists type", [&](GlContext *ctx) { GL(glCallLists)(1, GL_DOUBLE, names); }, GL_INVALID_ENUM},
        {"glCallLists nothing", [&](GlContext *ctx) { GL(glCallLists)(0, GL_INT, names); }, GL_NO_ERROR},
        {"glGenLists negative", [](GlContext *ctx) { EXPECT_EQ(GL(glGenLists)(-1), 0u); }, GL_INVALID_VALUE},
        {"glGenLists 0", [](GlContext *ctx) { EXPECT_EQ(GL(glGenLists)(0), 0u); }, GL_NO_ERROR},
        {"glDeleteLists negative", [](GlContext *ctx) { GL(glDeleteLists)(1, -1); }, GL_INVALID_VALUE},
        {"glDeleteLists 0", [](GlContext *ctx) { GL(glDeleteLists)(1, 0); }, GL_NO_ERROR},
        {"glNewList inside glBegin",
         [](GlContext *ctx) {
             ctx->beginMode = kGlInsideBegin;
             GL(glNewList)(1, GL_COMPILE);
             ctx->beginMode = kGlOutsideBegin;
         },
         GL_INVALID_OPERATION},
        {"glIsList inside glBegin",
         [](GlContext *ctx) {
             ctx->beginMode = kGlInsideBegin;
             EXPECT_EQ(GL(glIsList)(1), GL_FALSE);
             ctx->beginMode = kGlOutsideBegin;
         },
         GL_INVALID_OPERATION},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        settle();
        row.call(ctx);
        EXPECT_EQ(ctx->error, row.error);
        EXPECT_EQ(ctx->state.list.listName, 0u);
    }
    // A second glNewList leaves the open list alone.
    settle();
    GL(glNewList)(5, GL_COMPILE);
    GL(glNewList)(6, GL_COMPILE_AND_EXECUTE);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->state.list.listName, 5u);
    EXPECT_EQ(ctx->state.list.listMode, GLenum(GL_COMPILE));
    GL(glEndList)();
    EXPECT_TRUE(GL(glIsList)(5));
    EXPECT_FALSE(GL(glIsList)(6));
}

TEST_F(Lists, CompilingSwitchesTheLiveTableAndBack) {
    const GlProcTable immediate = ctx->liveTable;
    GL(glNewList)(1, GL_COMPILE);
    EXPECT_EQ(ctx->liveTable.slot[slot::glColor3f], ctx->compileTable.slot[slot::glColor3f]);
    EXPECT_EQ(ctx->execTable, &ctx->savedTable);
    GL(glEndList)();
    EXPECT_EQ(std::memcmp(&ctx->liveTable, &immediate, sizeof immediate), 0);
    EXPECT_EQ(ctx->execTable, &ctx->liveTable);
}

TEST_F(Lists, AnEmptyListIsAListThatDoesNothing) {
    GL(glNewList)(3, GL_COMPILE);
    GL(glEndList)();
    EXPECT_TRUE(GL(glIsList)(3));
    GlDisplayList *list = object(3);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    GL(glCallList)(3);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// The same commands given immediately and run from a list leave the same state.
TEST_F(Lists, AListLeavesTheStateItsImmediateCommandsLeave) {
    auto commands = [](GlContext *ctx) {
        const GLshort tex3[3] = {1, 2, 3};
        const GLdouble mat[16] = {1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1, 0, 0.5, 0.25, 0, 1};
        const GLdouble plane[4] = {1, 2, 3, 4};
        const GLfloat diffuse[4] = {0.25f, 0.5f, 0.75f, 1.0f};
        const GLfloat fog[4] = {0.1f, 0.2f, 0.3f, 0.4f};
        const GLdouble objectPlane[4] = {0.5, 0, 0, 1};
        const GLint half = 0x3FFFFFFF, quarter = 0x1FFFFFFF;
        const GLint specular[4] = {half, quarter, 0, half};
        const GLint modelAmbient[4] = {quarter, quarter, half, half};
        const GLint emission[4] = {0, half, quarter, half};
        const GLint fogEnd = 40;
        const GLfloat eyePlane[4] = {0, 1, 0, 2};
        const GLint objectPlaneT[4] = {0, 0, 3, 1};
        GL(glColor3ub)(10, 20, 30);
        GL(glColor4d)(0.5, 0.25, 0.125, 0.75);
        GL(glNormal3b)(10, -20, 30);
        GL(glNormal3s)(1000, -2000, 3000);
        GL(glTexCoord2d)(0.5, 0.75);
        GL(glTexCoord3sv)(tex3);
        GL(glIndexs)(7);
        GL(glEdgeFlag)(GL_FALSE);
        GL(glLineWidth)(3.0f);
        GL(glPointSize)(2.0f);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, 10, 0, 20, -1, 1);
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
        GL(glTranslated)(1, 2, 3);
        GL(glRotatef)(30, 0, 0, 1);
        GL(glMultMatrixd)(mat);
        GL(glPushMatrix)();
        GL(glScalef)(5, 5, 5);
        GL(glPopMatrix)();
        GL(glViewport)(1, 2, 30, 40);
        GL(glDepthRange)(0.25, 0.75);
        GL(glClearColor)(0.1f, 0.2f, 0.3f, 0.4f);
        GL(glClearDepth)(0.5);
        GL(glLineStipple)(3, 0xF0F0);
        GL(glPolygonOffset)(1.5f, 2.5f);
        GL(glBlendFunc)(GL_SRC_ALPHA, GL_ONE);
        GL(glAlphaFunc)(GL_GREATER, 0.5f);
        GL(glStencilFunc)(GL_EQUAL, 1, 0xFF);
        GL(glStencilOp)(GL_KEEP, GL_INCR, GL_DECR);
        GL(glScissor)(2, 3, 4, 5);
        GL(glShadeModel)(GL_FLAT);
        GL(glCullFace)(GL_FRONT);
        GL(glFrontFace)(GL_CW);
        GL(glPolygonMode)(GL_FRONT, GL_LINE);
        GL(glDepthFunc)(GL_GEQUAL);
        GL(glColorMask)(GL_TRUE, GL_FALSE, GL_TRUE, GL_FALSE);
        GL(glDepthMask)(GL_FALSE);
        GL(glHint)(GL_FOG_HINT, GL_NICEST);
        GL(glClipPlane)(GL_CLIP_PLANE0, plane);
        GL(glLightfv)(GL_LIGHT0, GL_DIFFUSE, diffuse);
        GL(glLightf)(GL_LIGHT0, GL_SPOT_EXPONENT, 3.0f);
        GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
        GL(glMaterialf)(GL_FRONT, GL_SHININESS, 10.0f);
        GL(glFogfv)(GL_FOG_COLOR, fog);
        GL(glFogf)(GL_FOG_DENSITY, 0.5f);
        GL(glFogi)(GL_FOG_MODE, GL_EXP2);
        GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
        GL(glTexGendv)(GL_S, GL_OBJECT_PLANE, objectPlane);
        // The integer vector forms, each sized by its own parameter counter.
        GL(glLightiv)(GL_LIGHT0, GL_SPECULAR, specular);
        GL(glLightModeliv)(GL_LIGHT_MODEL_AMBIENT, modelAmbient);
        GL(glMaterialiv)(GL_FRONT, GL_EMISSION, emission);
        GL(glFogiv)(GL_FOG_END, &fogEnd);
        GL(glTexGenfv)(GL_T, GL_EYE_PLANE, eyePlane);
        GL(glTexGeniv)(GL_T, GL_OBJECT_PLANE, objectPlaneT);
        GL(glEnable)(GL_LIGHTING);
        GL(glEnable)(GL_FOG);
        GL(glDisable)(GL_DITHER);
        GL(glRasterPos2i)(1, 1);
    };
    auto snapshot = [&]() {
        std::vector<float> out;
        const GLenum pnames[] = {GL_CURRENT_COLOR, GL_CURRENT_NORMAL, GL_CURRENT_TEXTURE_COORDS, GL_CURRENT_INDEX,
                                 GL_EDGE_FLAG, GL_LINE_WIDTH, GL_POINT_SIZE, GL_MODELVIEW_MATRIX, GL_PROJECTION_MATRIX,
                                 GL_VIEWPORT, GL_DEPTH_RANGE, GL_COLOR_CLEAR_VALUE, GL_DEPTH_CLEAR_VALUE,
                                 GL_LINE_STIPPLE_PATTERN, GL_LINE_STIPPLE_REPEAT, GL_POLYGON_OFFSET_FACTOR,
                                 GL_POLYGON_OFFSET_UNITS, GL_BLEND_SRC, GL_BLEND_DST, GL_ALPHA_TEST_FUNC,
                                 GL_ALPHA_TEST_REF, GL_STENCIL_FUNC, GL_STENCIL_REF, GL_STENCIL_PASS_DEPTH_FAIL,
                                 GL_SCISSOR_BOX, GL_SHADE_MODEL, GL_CULL_FACE_MODE, GL_FRONT_FACE, GL_POLYGON_MODE,
                                 GL_DEPTH_FUNC, GL_COLOR_WRITEMASK, GL_DEPTH_WRITEMASK, GL_FOG_HINT, GL_FOG_COLOR,
                                 GL_FOG_DENSITY, GL_FOG_MODE, GL_FOG_END, GL_LIGHT_MODEL_AMBIENT,
                                 GL_LIGHT_MODEL_TWO_SIDE, GL_LIGHTING, GL_FOG, GL_DITHER,
                                 GL_CURRENT_RASTER_POSITION};
        for (GLenum p : pnames) {
            GLfloat v[16] = {};
            GL(glGetFloatv)(p, v);
            out.insert(out.end(), v, v + 16);
        }
        GLdouble plane[4];
        GL(glGetClipPlane)(GL_CLIP_PLANE0, plane);
        out.insert(out.end(), plane, plane + 4);
        GLfloat v[4];
        GL(glGetLightfv)(GL_LIGHT0, GL_DIFFUSE, v);
        out.insert(out.end(), v, v + 4);
        GL(glGetLightfv)(GL_LIGHT0, GL_SPOT_EXPONENT, v);
        out.push_back(v[0]);
        GL(glGetMaterialfv)(GL_FRONT, GL_SHININESS, v);
        out.push_back(v[0]);
        GLdouble gen[4];
        GL(glGetTexGendv)(GL_S, GL_OBJECT_PLANE, gen);
        out.insert(out.end(), gen, gen + 4);
        GL(glGetLightfv)(GL_LIGHT0, GL_SPECULAR, v);
        out.insert(out.end(), v, v + 4);
        GL(glGetMaterialfv)(GL_FRONT, GL_EMISSION, v);
        out.insert(out.end(), v, v + 4);
        for (GLenum plane : {GL_EYE_PLANE, GL_OBJECT_PLANE}) {
            GL(glGetTexGendv)(GL_T, plane, gen);
            out.insert(out.end(), gen, gen + 4);
        }
        return out;
    };
    const std::vector<float> defaults = snapshot();
    commands(ctx);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    const std::vector<float> immediate = snapshot();
    ASSERT_NE(immediate, defaults);

    __glSetStateDefaults(ctx);
    resetModelview();
    GL(glColor4f)(1, 1, 1, 1);
    GL(glNewList)(1, GL_COMPILE);
    commands(ctx);
    GL(glEndList)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    // Compiled only: nothing happened yet.
    __glSetStateDefaults(ctx);
    GL(glCallList)(1);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(snapshot(), immediate);
}

TEST_F(Lists, CompileAndExecuteActsAtOnceAndAgainOnEveryCall) {
    GLfloat width = 0;
    GL(glNewList)(1, GL_COMPILE);
    GL(glLineWidth)(3.0f);
    GL(glGetFloatv)(GL_LINE_WIDTH, &width);  // queries act at once
    GL(glEndList)();
    EXPECT_EQ(width, 1.0f);
    GL(glNewList)(2, GL_COMPILE_AND_EXECUTE);
    GL(glLineWidth)(4.0f);
    GL(glGetFloatv)(GL_LINE_WIDTH, &width);
    GL(glEndList)();
    EXPECT_EQ(width, 4.0f);
    GL(glCallList)(1);
    GL(glGetFloatv)(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
    GL(glCallList)(2);
    GL(glGetFloatv)(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 4.0f);
}

TEST_F(Lists, ErrorsFoundWhileCompilingAreRaisedByEveryRun) {
    struct Row {
        const char *what;
        std::function<void(GlContext *)> compile;
        GLenum error;
    };
    const Row rows[] = {
        {"glBegin with an unknown mode", [](GlContext *ctx) { GL(glBegin)(99); }, GL_INVALID_ENUM},
        {"glLightf with a four-value name", [](GlContext *ctx) { GL(glLightf)(GL_LIGHT0, GL_AMBIENT, 1.0f); },
         GL_INVALID_ENUM},
        {"glCallList 0, as the immediate command says", [](GlContext *ctx) { GL(glCallList)(0); }, GL_INVALID_VALUE},
        {"glMaterialf shininess out of range", [](GlContext *ctx) { GL(glMaterialf)(GL_FRONT, GL_SHININESS, 200.0f); },
         GL_INVALID_VALUE},
        {"glMaterialfv unknown face",
         [](GlContext *ctx) {
             const GLfloat v[4] = {};
             GL(glMaterialfv)(GL_LEFT, GL_AMBIENT, v);
         },
         GL_INVALID_ENUM},
        {"glFogfv unknown name",
         [](GlContext *ctx) {
             const GLfloat v[4] = {};
             GL(glFogfv)(GL_LIGHT0, v);
         },
         GL_INVALID_ENUM},
        {"glPixelMapfv negative size", [](GlContext *ctx) { GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_R, -1, nullptr); },
         GL_INVALID_VALUE},
        {"glCallLists negative count", [](GlContext *ctx) { GL(glCallLists)(-2, GL_INT, nullptr); }, GL_INVALID_VALUE},
        {"glCallLists unknown type",
         [](GlContext *ctx) {
             const GLint n[1] = {1};
             GL(glCallLists)(1, GL_DOUBLE, n);
         },
         GL_INVALID_ENUM},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        settle();
        GL(glNewList)(7, GL_COMPILE);
        row.compile(ctx);
        GL(glColor3f)(0.5f, 0.5f, 0.5f);  // the list goes on after the error node
        GL(glEndList)();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        for (int run = 0; run < 2; ++run) {
            GL(glColor3f)(1, 1, 1);
            GL(glCallList)(7);
            EXPECT_EQ(error(), row.error);
            GLfloat color[4];
            GL(glGetFloatv)(GL_CURRENT_COLOR, color);
            EXPECT_EQ(color[0], 0.5f);
        }
        GL(glNewList)(8, GL_COMPILE_AND_EXECUTE);
        row.compile(ctx);
        GL(glEndList)();
        EXPECT_EQ(error(), row.error) << "at once in GL_COMPILE_AND_EXECUTE";
    }
}

TEST_F(Lists, ALightfWithOneValueReplaysTheVectorForm) {
    GL(glNewList)(1, GL_COMPILE);
    GL(glLightf)(GL_LIGHT1, GL_SPOT_CUTOFF, 45.0f);
    GL(glEndList)();
    GlDisplayList *list = object(1);
    ASSERT_NE(list, nullptr);
    GlListExecProc first;
    std::memcpy(&first, list->code, 4);
    EXPECT_EQ(first, __glListExecRoutine(ctx, 86));  // glLightfv
    GL(glCallList)(1);
    GLfloat cutoff = 0;
    GL(glGetLightfv)(GL_LIGHT1, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_EQ(cutoff, 45.0f);
}

TEST_F(Lists, ASelfCallingListStopsAtTheNestingLimit) {
    GL(glNewList)(9, GL_COMPILE);
    GL(glTranslatef)(1.0f, 0.0f, 0.0f);
    GL(glCallList)(9);
    GL(glEndList)();
    for (int outer = 0; outer < 2; ++outer) {
        resetModelview();
        GL(glCallList)(9);
        EXPECT_EQ(modelviewX(), 64.0f);
        EXPECT_EQ(ctx->state.list.listCallDepth, 0);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(Lists, CallListsDecodesEveryTypeAndAddsTheBase) {
    for (GLuint n = 1; n <= 3; ++n) defineTranslate(100 + n, float(n));  // list 100 + n moves by n
    defineTranslate(0x10203, 1000.0f);
    struct Row {
        const char *what;
        GLenum type;
        std::vector<uint8_t> bytes;
        GLsizei n;
        GLuint base;
        float moved;
    };
    auto words = [](std::initializer_list<uint32_t> v) {
        std::vector<uint8_t> b(v.size() * 4);
        std::memcpy(b.data(), v.begin(), b.size());
        return b;
    };
    auto halves = [](std::initializer_list<uint16_t> v) {
        std::vector<uint8_t> b(v.size() * 2);
        std::memcpy(b.data(), v.begin(), b.size());
        return b;
    };
    const float f[3] = {1.0f, 2.5f, 3.0f};
    std::vector<uint8_t> floats(12);
    std::memcpy(floats.data(), f, 12);
    const Row rows[] = {
        {"bytes", GL_BYTE, {1, 2, 0xFF}, 3, 101, 2 + 3},  // -1 + 101 = list 100: not defined
        {"unsigned bytes", GL_UNSIGNED_BYTE, {1, 2, 3}, 3, 100, 6},
        {"shorts", GL_SHORT, halves({1, 0xFFFF}), 2, 102, 3 + 1},
        {"unsigned shorts", GL_UNSIGNED_SHORT, halves({101, 103}), 2, 0, 4},
        {"ints", GL_INT, words({101, 0xFFFFFFFFu}), 2, 0, 1},
        {"unsigned ints", GL_UNSIGNED_INT, words({2, 3}), 2, 100, 5},
        {"floats", GL_FLOAT, floats, 3, 100, 1 + 2 + 3},
        {"two bytes", GL_2_BYTES, {0, 101, 0, 102}, 2, 0, 3},
        {"three bytes", GL_3_BYTES, {1, 2, 3, 0, 0, 101}, 2, 0, 1001},
        {"four bytes", GL_4_BYTES, {0, 0, 0, 103}, 1, 0, 3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        resetModelview();
        GL(glListBase)(row.base);
        GL(glCallLists)(row.n, row.type, row.bytes.data());
        EXPECT_EQ(modelviewX(), row.moved);
        // The same call compiled into a list.
        GL(glNewList)(50, GL_COMPILE);
        GL(glCallLists)(row.n, row.type, row.bytes.data());
        GL(glEndList)();
        resetModelview();
        GL(glCallList)(50);
        EXPECT_EQ(modelviewX(), row.moved);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    }
}

TEST_F(Lists, CallListsRunsLongArraysInBatches) {
    defineTranslate(5, 1.0f);
    std::vector<uint8_t> names(300, 3);  // list 3 + base 2
    names[7] = 200;                      // unbound: does nothing
    GL(glListBase)(2);
    resetModelview();
    GL(glCallLists)(300, GL_UNSIGNED_BYTE, names.data());
    EXPECT_EQ(modelviewX(), 299.0f);
    EXPECT_EQ(ctx->state.list.listCallDepth, 0);
}

TEST_F(Lists, GenerateDeleteAndAskNames) {
    GLuint first = GL(glGenLists)(5);
    EXPECT_EQ(first, 1u);
    EXPECT_TRUE(GL(glIsList)(5));
    EXPECT_FALSE(GL(glIsList)(6));
    defineTranslate(3, 1.0f);
    EXPECT_EQ(GL(glGenLists)(2), 6u);
    GL(glDeleteLists)(2, 3);
    EXPECT_FALSE(GL(glIsList)(3));
    EXPECT_TRUE(GL(glIsList)(1));
    EXPECT_TRUE(GL(glIsList)(5));
    resetModelview();
    GL(glCallList)(3);
    EXPECT_EQ(modelviewX(), 0.0f);
    EXPECT_EQ(GL(glGenLists)(3), 2u);  // the freed gap
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(Lists, ARedefinitionReplacesTheListOnlyWhenItCloses) {
    defineTranslate(4, 1.0f);
    GlDisplayList *old = object(4);
    GL(glNewList)(4, GL_COMPILE);
    GL(glTranslatef)(2.0f, 0, 0);
    EXPECT_EQ(object(4), old) << "still compiling: the old definition stays";
    GL(glEndList)();
    EXPECT_NE(object(4), old);
    resetModelview();
    GL(glCallList)(4);
    EXPECT_EQ(modelviewX(), 2.0f);
    // A close that cannot make the list object keeps the definition there was.
    GL(glNewList)(4, GL_COMPILE);
    GL(glTranslatef)(3.0f, 0, 0);
    kivFailGlobalAllocAfter(1);
    GL(glEndList)();
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(ctx->state.list.listName, 0u);
    EXPECT_EQ(ctx->execTable, &ctx->liveTable);
    resetModelview();
    GL(glCallList)(4);
    EXPECT_EQ(modelviewX(), 2.0f);
}

TEST_F(Lists, CommandsThatActAtOnceWhileCompiling) {
    settle();
    GL(glNewList)(1, GL_COMPILE);
    GLuint names = GL(glGenLists)(2);
    EXPECT_NE(names, 0u);
    EXPECT_TRUE(GL(glIsList)(names));
    GL(glEnable)(GL_VERTEX_ARRAY);  // client state: now, and not recorded
    EXPECT_TRUE(GL(glIsEnabled)(GL_VERTEX_ARRAY));
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate) << "the arrays are validated again";
    GL(glDeleteLists)(names, 2);
    EXPECT_FALSE(GL(glIsList)(names));
    GL(glEndList)();
    GlDisplayList *list = object(1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0) << "nothing was recorded";
    GL(glDisableClientState)(GL_VERTEX_ARRAY);
    GL(glCallList)(1);
    EXPECT_FALSE(GL(glIsEnabled)(GL_VERTEX_ARRAY));
}

// Doubles in payloads start on 8-byte boundaries of the compiled block whatever comes before them,
// and every value comes back as it was given.
TEST_F(Lists, DoublePayloadsAreAlignedInTheCompiledBlock) {
    const GLdouble plane[4] = {1, -2, 3, -4};
    GL(glNewList)(2, GL_COMPILE);
    GL(glIndexs)(5);                   // 4 bytes
    GL(glColor3d)(0.25, 0.5, 0.75);   // 24, doubles
    GL(glEdgeFlag)(GL_FALSE);          // 4
    GL(glTexCoord1d)(0.125);           // 8, doubles
    GL(glNormal3b)(1, 2, 3);           // 4
    GL(glClipPlane)(GL_CLIP_PLANE1, plane);  // 40, doubles
    GL(glEndList)();
    GlDisplayList *list = object(2);
    ASSERT_NE(list, nullptr);
    struct Entry {
        int opcode;
        uint32_t bytes;
        bool doubles;
    };
    const Entry entries[] = {{26, 4, false}, {6, 24, true}, {21, 4, false}, {48, 8, true}, {27, 4, false}, {76, 40, true}};
    ASSERT_EQ(reinterpret_cast<uintptr_t>(list->code) % 8, 0u);
    const uint8_t *p = list->code;
    for (const Entry &e : entries) {
        GlListExecProc r;
        std::memcpy(&r, p, 4);
        if (r != __glListExecRoutine(ctx, e.opcode)) {  // a pad entry
            p += 4;
            std::memcpy(&r, p, 4);
        }
        ASSERT_EQ(r, __glListExecRoutine(ctx, e.opcode)) << "opcode " << e.opcode;
        p += 4;
        if (e.doubles) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u) << "opcode " << e.opcode;
        }
        p += e.bytes;
    }
    settle();
    GL(glCallList)(2);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->current.index, 5.0f);
    EXPECT_EQ(ctx->current.edgeFlag, 0);
    EXPECT_EQ(ctx->current.texCoord[0], 0.125f);
    GLdouble back[4];
    GL(glGetClipPlane)(GL_CLIP_PLANE1, back);
    EXPECT_EQ(back[1], -2.0);
    GLfloat color[4];
    GL(glGetFloatv)(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[0], 0.25f);
    EXPECT_FLOAT_EQ(color[2], 0.75f);
}

TEST_F(Lists, TheArenaHandsOutEightByteStepsAndKeepsItsFirstBlock) {
    GlListArena *arena = __glArenaCreate(ctx);
    ASSERT_NE(arena, nullptr);
    uint8_t *a = static_cast<uint8_t *>(__glArenaAlloc(arena, 0));
    uint8_t *b = static_cast<uint8_t *>(__glArenaAlloc(arena, 7));
    uint8_t *c = static_cast<uint8_t *>(__glArenaAlloc(arena, 8));
    uint8_t *d = static_cast<uint8_t *>(__glArenaAlloc(arena, 1));
    EXPECT_EQ(b - a, 8);
    EXPECT_EQ(c - b, 8);
    EXPECT_EQ(d - c, 16);
    void *big = __glArenaAlloc(arena, 300000);
    ASSERT_NE(big, nullptr);
    EXPECT_NE(arena->currentBlock, arena->firstBlock);
    EXPECT_EQ(arena->currentBlock->capacity, 300008u);
    __glArenaReset(arena);
    EXPECT_EQ(arena->currentBlock, arena->firstBlock);
    EXPECT_EQ(arena->firstBlock->next, nullptr);
    EXPECT_EQ(__glArenaAlloc(arena, 4), a);
    __glArenaDestroy(arena);
}

// Two contexts of one share group see the same lists; a list that a call holds survives its
// deletion until the call lets it go.
TEST_F(Lists, SharedListsOutliveTheirNamesWhileHeld) {
    TestWindow otherWindow(kDoubleFormat);
    DHGLRC second = DrvCreateContext(otherWindow.hdc);
    ASSERT_NE(second, DHGLRC(0));
    ASSERT_TRUE(DrvShareLists(handle, second));
    GlContext *other = contextOf(second);
    EXPECT_EQ(other->state.list.listNames, ctx->state.list.listNames);
    defineTranslate(12, 7.0f);
    GlNameSpace *ns = ctx->state.list.listNames;
    // A running call in this context holds the list ...
    GlDisplayList *held = static_cast<GlDisplayList *>(__glNamesLockObject(ctx, ns, 12));
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->refCount, 2);
    DrvReleaseContext(handle);
    ASSERT_NE(DrvSetContext(otherWindow.hdc, second, nullptr), nullptr);
    auto call = slotAs<decltype(&icd::glCallList)>(&other->liveTable, slot::glCallList);
    auto load = slotAs<decltype(&icd::glLoadIdentity)>(&other->liveTable, slot::glLoadIdentity);
    load();
    call(12);
    GLfloat m[16];
    slotAs<decltype(&icd::glGetFloatv)>(&other->liveTable, slot::glGetFloatv)(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[12], 7.0f);
    // ... while the other context deletes it.
    slotAs<decltype(&icd::glDeleteLists)>(&other->liveTable, slot::glDeleteLists)(12, 1);
    EXPECT_FALSE(slotAs<decltype(&icd::glIsList)>(&other->liveTable, slot::glIsList)(12));
    EXPECT_EQ(held->refCount, 1);
    DrvReleaseContext(second);
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    resetModelview();
    held->executeProc(ctx, held);  // the held code is intact
    EXPECT_EQ(modelviewX(), 7.0f);
    __glNamesUnlockObject(ctx, ns, held);  // the last reference: the object goes
    EXPECT_TRUE(DrvDeleteContext(second));
    EXPECT_EQ(ns->refCount, 1);
    EXPECT_FALSE(GL(glIsList)(12));
}

// Runs of glMaterialfv become one block that sets the same materials and derived lighting values
// as the commands themselves.
TEST_F(Lists, MaterialRunsMergeIntoOneBlock) {
    auto materials = [](GlContext *ctx) {
        const GLfloat ambient[4] = {0.1f, 0.2f, 0.3f, 1.0f};
        const GLfloat diffuse[4] = {0.5f, 0.25f, 0.125f, 0.5f};
        const GLfloat back[4] = {0.9f, 0.8f, 0.7f, 1.0f};
        const GLfloat emission[4] = {0.05f, 0.0f, 0.1f, 1.0f};
        GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
        GL(glMaterialfv)(GL_FRONT, GL_DIFFUSE, diffuse);
        GL(glMaterialfv)(GL_BACK, GL_AMBIENT, back);
        GL(glMaterialf)(GL_FRONT, GL_SHININESS, 17.0f);
        GL(glMaterialfv)(GL_FRONT, GL_EMISSION, emission);
    };
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    materials(ctx);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    GlLightingState lit = ctx->state.lighting;
    GlMaterialCache front = ctx->state.lightingCaches.frontMaterialCache;
    GlMaterialCache backCache = ctx->state.lightingCaches.backMaterialCache;
    ASSERT_NE(front.specularTable, nullptr);
    const int32_t refs = front.specularTable->refCount;

    GL(glNewList)(3, GL_COMPILE);
    materials(ctx);
    GL(glColor3f)(1, 0, 0);
    GL(glEndList)();
    GlDisplayList *list = object(3);
    ASSERT_NE(list, nullptr);
    GlListExecProc first;
    std::memcpy(&first, list->code, 4);
    EXPECT_EQ(first, __glListExecRoutine(ctx, kGlOpMaterialBlock));
    EXPECT_EQ(list->count, 2) << "the block's shininess table is released with the list";
    GlSpecularTable *table = front.specularTable;
    ASSERT_NE(table, nullptr);

    __glSetStateDefaults(ctx);
    GL(glEnable)(GL_LIGHTING);
    GL(glEnable)(GL_LIGHT0);
    // Different values in every field the list sets.
    const GLfloat grey[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    GL(glMaterialfv)(GL_FRONT_AND_BACK, GL_AMBIENT, grey);
    GL(glMaterialfv)(GL_FRONT, GL_DIFFUSE, grey);
    GL(glMaterialfv)(GL_FRONT, GL_EMISSION, grey);
    GL(glMaterialf)(GL_FRONT, GL_SHININESS, 3.0f);
    GL(glCallList)(3);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(std::memcmp(&ctx->state.lighting.frontMaterial, &lit.frontMaterial, sizeof lit.frontMaterial), 0);
    EXPECT_EQ(std::memcmp(&ctx->state.lighting.backMaterial, &lit.backMaterial, sizeof lit.backMaterial), 0);
    const GlMaterialCache &f = ctx->state.lightingCaches.frontMaterialCache;
    EXPECT_EQ(f.specularTable, front.specularTable);
    EXPECT_EQ(std::memcmp(f.sceneColor, front.sceneColor, sizeof f.sceneColor), 0);
    EXPECT_EQ(f.diffuseAlpha, front.diffuseAlpha);
    EXPECT_EQ(std::memcmp(ctx->state.lightingCaches.backMaterialCache.sceneColor, backCache.sceneColor,
                          sizeof backCache.sceneColor),
              0);
    GL(glDeleteLists)(3, 1);
    EXPECT_EQ(table->refCount, refs) << "the block's reference went with the list; the material holds its own";
}

}  // namespace

namespace {

// The extension commands that lists record: multi-texture coordinates of every size and type,
// the texture-unit selection and the point parameters.
TEST_F(Lists, ExtensionCommandsReplayTheirValues) {
    const GLenum set1 = GL_TEXTURE0_SGIS + 1;
    auto commands = [&](GlContext *ctx) {
        const GLdouble d3[3] = {0.5, 0.25, 0.125};
        const GLshort s4[4] = {1, 2, 3, 4};
        GL(__glDoMultiTexCoord2fSGIS)(set1, 0.75f, 0.5f);
        GL(__glDoMultiTexCoord1dSGIS)(GL_TEXTURE0_SGIS, 2.0);
        GL(__glDoMultiTexCoord3dvSGIS)(set1, d3);
        GL(__glDoMultiTexCoord4svSGIS)(GL_TEXTURE0_SGIS, s4);
        GL(__glDoMultiTexCoord2iSGIS)(set1, 7, 8);
        GL(__glDoPointParameterfEXT)(GL_POINT_SIZE_MIN_EXT, 2.0f);
    };
    commands(ctx);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    std::vector<float> immediate(__glCurrentTexCoord(ctx, 0), __glCurrentTexCoord(ctx, 0) + 4);
    immediate.insert(immediate.end(), __glCurrentTexCoord(ctx, 1), __glCurrentTexCoord(ctx, 1) + 4);
    GL(glNewList)(1, GL_COMPILE);
    commands(ctx);
    GL(glEndList)();
    for (uint32_t set = 0; set < 2; ++set)
        std::fill(__glCurrentTexCoord(ctx, set), __glCurrentTexCoord(ctx, set) + 4, 0.0f);
    GL(glCallList)(1);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    std::vector<float> replayed(__glCurrentTexCoord(ctx, 0), __glCurrentTexCoord(ctx, 0) + 4);
    replayed.insert(replayed.end(), __glCurrentTexCoord(ctx, 1), __glCurrentTexCoord(ctx, 1) + 4);
    EXPECT_EQ(replayed, immediate);
}

}  // namespace

namespace {

// A glCallLists whose names would not fit in a payload is refused as out of memory, rather than
// recorded with a size that wrapped round.
TEST_F(Lists, CallListsTooLargeForAListIsRefused) {
    const GLint names[4] = {1, 2, 3, 4};
    GL(glNewList)(1, GL_COMPILE);
    GL(glCallLists)(0x40000000, GL_INT, names);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    GL(glEndList)();
    GlDisplayList *list = object(1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
}

}  // namespace

namespace {

// A map compiled into a list is the map after the list runs: the evaluators answer its points.
TEST_F(Lists, ACalledListDefinesItsMaps) {
    const GLfloat points[2][3] = {{1, 2, 3}, {4, 5, 6}};
    GL(glNewList)(3, GL_COMPILE);
    GL(glMap1f)(GL_MAP1_VERTEX_3, 0, 2, 3, 2, &points[0][0]);
    GL(glEndList)();
    GLfloat before[6] = {};
    GL(glGetMapfv)(GL_MAP1_VERTEX_3, GL_COEFF, before);
    EXPECT_NE(before[3], 4.0f) << "compiling alone must not define the map";
    GL(glCallList)(3);
    GLfloat coeff[6] = {}, domain[2] = {};
    GLint order = 0;
    GL(glGetMapfv)(GL_MAP1_VERTEX_3, GL_COEFF, coeff);
    GL(glGetMapfv)(GL_MAP1_VERTEX_3, GL_DOMAIN, domain);
    GL(glGetMapiv)(GL_MAP1_VERTEX_3, GL_ORDER, &order);
    EXPECT_EQ(std::vector<float>(coeff, coeff + 6), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(domain[1], 2.0f);
    EXPECT_EQ(order, 2);
}

// Maps keep their control points as tight floats, v fastest, whatever the caller's strides and
// type; bad maps record their errors.
TEST_F(Lists, MapsStoreTheirPointsTightAsFloats) {
    const GLdouble line[2][4] = {{1, 2, 3, 99}, {4, 5, 6, 99}};  // stride 4, three values used
    const GLfloat patch[2][2][3] = {{{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}};
    GL(glNewList)(1, GL_COMPILE);
    GL(glMap1d)(GL_MAP1_VERTEX_3, 0.0, 2.0, 4, 2, &line[0][0]);
    GL(glMap2f)(GL_MAP2_VERTEX_3, 0, 1, 3, 2, 0, 1, 6, 2, &patch[0][0][0]);  // u and v swapped
    GL(glEndList)();
    GlDisplayList *list = object(1);
    ASSERT_NE(list, nullptr);
    const uint8_t *p = list->code;
    GlListExecProc r;
    std::memcpy(&r, p, 4);
    EXPECT_EQ(r, __glListExecRoutine(ctx, 141));
    GLfloat ends[2], map1[6];
    GLint order = 0;
    std::memcpy(ends, p + 8, sizeof ends);
    std::memcpy(&order, p + 16, 4);
    std::memcpy(map1, p + 20, sizeof map1);
    EXPECT_EQ(ends[1], 2.0f);
    EXPECT_EQ(order, 2);
    EXPECT_EQ(std::vector<float>(map1, map1 + 6), (std::vector<float>{1, 2, 3, 4, 5, 6}));
    p += 4 + 16 + 24;
    std::memcpy(&r, p, 4);
    EXPECT_EQ(r, __glListExecRoutine(ctx, 144));
    GLfloat points[12];
    std::memcpy(points, p + 4 + 28, sizeof points);
    EXPECT_EQ(std::vector<float>(points, points + 12), (std::vector<float>{1, 2, 3, 7, 8, 9, 4, 5, 6, 10, 11, 12}));

    struct Row {
        const char *what;
        std::function<void(GlContext *)> compile;
        GLenum error;
    };
    const GLfloat pts[4 * 31] = {};
    const Row rows[] = {
        {"order above the limit", [&](GlContext *ctx) { GL(glMap1f)(GL_MAP1_VERTEX_4, 0, 1, 4, 31, pts); },
         GL_INVALID_VALUE},
        {"stride below the point size", [&](GlContext *ctx) { GL(glMap1f)(GL_MAP1_VERTEX_4, 0, 1, 3, 2, pts); },
         GL_INVALID_VALUE},
        {"empty domain", [&](GlContext *ctx) { GL(glMap1f)(GL_MAP1_INDEX, 1, 1, 1, 2, pts); }, GL_INVALID_VALUE},
        {"a two-dimensional target", [&](GlContext *ctx) { GL(glMap1f)(GL_MAP2_INDEX, 0, 1, 1, 2, pts); },
         GL_INVALID_ENUM},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        GL(glNewList)(2, GL_COMPILE);
        row.compile(ctx);
        GL(glEndList)();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        GL(glCallList)(2);
        EXPECT_EQ(error(), row.error);
    }
}

}  // namespace
