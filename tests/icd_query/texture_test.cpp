// Texture environment, coordinate generation, texture parameters and levels, texture images,
// evaluator and pixel maps, the polygon stipple, and the parameter counts of the vector state
// commands.
#include <functional>
#include <vector>
#include "tests/icd_query/query_fixture.h"
#include "icd/core/query.h"

namespace {

struct Buffers {
    GLfloat f[kQuerySlots];
    GLint i[kQuerySlots];
    GLdouble d[kQuerySlots];
    Buffers() {
        for (int k = 0; k < kQuerySlots; ++k) f[k] = kFloatSentinel, i[k] = kIntSentinel, d[k] = kDoubleSentinel;
    }
    int written() const {
        int n = 0;
        while (n < kQuerySlots && (f[n] != kFloatSentinel || i[n] != kIntSentinel || d[n] != kDoubleSentinel)) ++n;
        return n;
    }
};

// The defaults the setters leave, through every form of each query.
TEST_F(QueryTest, TextureStateDefaults) {
    struct Row {
        const char *what;
        std::function<void(Buffers &)> call;
        std::vector<double> want;
    };
    const Row rows[] = {
        {"env mode", [&](Buffers &b) { GL(glGetTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, b.f); GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, b.i); },
         {GL_MODULATE}},
        {"env colour", [&](Buffers &b) { GL(glGetTexEnvfv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, b.f); GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, b.i); },
         {0, 0, 0, 0}},
        {"gen mode R", [&](Buffers &b) { GL(glGetTexGenfv)(GL_R, GL_TEXTURE_GEN_MODE, b.f); GL(glGetTexGeniv)(GL_R, GL_TEXTURE_GEN_MODE, b.i); GL(glGetTexGendv)(GL_R, GL_TEXTURE_GEN_MODE, b.d); },
         {GL_EYE_LINEAR}},
        {"S object plane", [&](Buffers &b) { GL(glGetTexGenfv)(GL_S, GL_OBJECT_PLANE, b.f); GL(glGetTexGeniv)(GL_S, GL_OBJECT_PLANE, b.i); GL(glGetTexGendv)(GL_S, GL_OBJECT_PLANE, b.d); },
         {1, 0, 0, 0}},
        {"T eye plane", [&](Buffers &b) { GL(glGetTexGenfv)(GL_T, GL_EYE_PLANE, b.f); GL(glGetTexGeniv)(GL_T, GL_EYE_PLANE, b.i); GL(glGetTexGendv)(GL_T, GL_EYE_PLANE, b.d); },
         {0, 1, 0, 0}},
        {"Q eye plane", [&](Buffers &b) { GL(glGetTexGenfv)(GL_Q, GL_EYE_PLANE, b.f); GL(glGetTexGeniv)(GL_Q, GL_EYE_PLANE, b.i); GL(glGetTexGendv)(GL_Q, GL_EYE_PLANE, b.d); },
         {0, 0, 0, 0}},
        {"min filter", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, b.i); },
         {GL_NEAREST_MIPMAP_LINEAR}},
        {"mag filter", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, b.i); },
         {GL_LINEAR}},
        {"wrap t", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, b.i); },
         {GL_REPEAT}},
        {"priority", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, b.i); },
         {1}},
        {"resident", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, b.i); },
         {0}},
        {"border colour", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_TEXTURE_1D, GL_TEXTURE_BORDER_COLOR, b.f); GL(glGetTexParameteriv)(GL_TEXTURE_1D, GL_TEXTURE_BORDER_COLOR, b.i); },
         {0, 0, 0, 0}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        Buffers b;
        row.call(b);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        ASSERT_EQ(b.written(), int(row.want.size()));
        for (size_t k = 0; k < row.want.size(); ++k) {
            EXPECT_EQ(b.f[k], float(row.want[k]));
            EXPECT_EQ(b.i[k], GLint(row.want[k]));
            if (b.d[k] != kDoubleSentinel) {
                EXPECT_EQ(b.d[k], row.want[k]);
            }
        }
    }
    // The environment mode the texture entries keep.
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    GLint mode = 0;
    GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    EXPECT_EQ(mode, GL_DECAL);
}

// Generation modes and planes as glTexGen keeps them: the eye plane in eye space, through the
// modelview matrix in force when it was given.
TEST_F(QueryTest, TexGenRoundTrip) {
    GL(glTexGeni)(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    const GLfloat object[4] = {0.5f, -1.5f, 2, 3.25f};
    GL(glTexGenfv)(GL_R, GL_OBJECT_PLANE, object);
    GL(glTranslatef)(0, 0, -5);
    const GLdouble eye[4] = {0, 0, 1, 0};
    GL(glTexGendv)(GL_Q, GL_EYE_PLANE, eye);
    GL(glLoadIdentity)();
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));

    GLint mode = 0;
    GL(glGetTexGeniv)(GL_T, GL_TEXTURE_GEN_MODE, &mode);
    EXPECT_EQ(mode, GL_SPHERE_MAP);
    GLdouble d[4];
    GL(glGetTexGendv)(GL_R, GL_OBJECT_PLANE, d);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(d[k], object[k]);
    GLint i[4];
    GL(glGetTexGeniv)(GL_R, GL_OBJECT_PLANE, i);
    EXPECT_EQ(i[1], -1);  // truncated
    GLfloat f[4];
    GL(glGetTexGenfv)(GL_Q, GL_EYE_PLANE, f);
    EXPECT_EQ(f[2], 1.0f);
    EXPECT_EQ(f[3], 5.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// Argument checks of every query of this file, in their order: the begin mode, then
// enumerants, then ranges, then combinations. Nothing is written on an error, nor where only a
// texture object not kept yet could answer (the pixel and evaluator maps answer: their own tests
// read them back).
TEST_F(QueryTest, TextureAndMapQueryChecks) {
    struct Case {
        const char *what;
        std::function<void(Buffers &)> call;
        GLenum error;
    };
    GLubyte image[64];
    const Case cases[] = {
        {"env target", [&](Buffers &b) { GL(glGetTexEnvfv)(GL_TEXTURE_2D, GL_TEXTURE_ENV_MODE, b.f); }, GL_INVALID_ENUM},
        {"env name", [&](Buffers &b) { GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_GEN_MODE, b.i); }, GL_INVALID_ENUM},
        {"gen coord below", [&](Buffers &b) { GL(glGetTexGenfv)(GL_S - 1, GL_TEXTURE_GEN_MODE, b.f); }, GL_INVALID_ENUM},
        {"gen coord above", [&](Buffers &b) { GL(glGetTexGendv)(GL_Q + 1, GL_EYE_PLANE, b.d); }, GL_INVALID_ENUM},
        {"gen name", [&](Buffers &b) { GL(glGetTexGeniv)(GL_S, GL_TEXTURE_ENV_MODE, b.i); }, GL_INVALID_ENUM},
        {"parameter target", [&](Buffers &b) { GL(glGetTexParameterfv)(GL_PROXY_TEXTURE_2D, GL_TEXTURE_WRAP_S, b.f); }, GL_INVALID_ENUM},
        {"parameter name", [&](Buffers &b) { GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_WIDTH, b.i); }, GL_INVALID_ENUM},
        {"level target", [&](Buffers &b) { GL(glGetTexLevelParameteriv)(GL_TEXTURE_ENV, 0, GL_TEXTURE_WIDTH, b.i); }, GL_INVALID_ENUM},
        {"level name before level", [&](Buffers &b) { GL(glGetTexLevelParameterfv)(GL_TEXTURE_2D, 99, GL_TEXTURE_WRAP_S, b.f); }, GL_INVALID_ENUM},
        {"level at the count", [&](Buffers &b) { GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 11, GL_TEXTURE_WIDTH, b.i); }, GL_INVALID_VALUE},
        {"level negative", [&](Buffers &b) { GL(glGetTexLevelParameterfv)(GL_PROXY_TEXTURE_1D, -1, GL_TEXTURE_HEIGHT, b.f); }, GL_INVALID_VALUE},
        {"image proxy target", [&](Buffers &) { GL(glGetTexImage)(GL_PROXY_TEXTURE_1D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image); }, GL_INVALID_ENUM},
        {"image format", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, image); }, GL_INVALID_ENUM},
        {"image type", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_RGBA, GL_BITMAP, image); }, GL_INVALID_ENUM},
        {"image level", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_2D, 11, GL_RGBA, GL_UNSIGNED_BYTE, image); }, GL_INVALID_VALUE},
        {"image 3-3-2 with four components", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE_3_3_2_EXT, image); }, GL_INVALID_OPERATION},
        {"image 4-4-4-4 with three components", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_1D, 0, GL_BGR_EXT, GL_UNSIGNED_SHORT_4_4_4_4_EXT, image); }, GL_INVALID_OPERATION},
        {"image 3-3-2 with BGR", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_1D, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE_3_3_2_EXT, image); }, GL_NO_ERROR},
        {"image 10-10-10-2 with ABGR", [&](Buffers &) { GL(glGetTexImage)(GL_TEXTURE_2D, 3, GL_ABGR_EXT, GL_UNSIGNED_INT_10_10_10_2_EXT, image); }, GL_NO_ERROR},
        {"map target below", [&](Buffers &b) { GL(glGetMapfv)(GL_MAP1_COLOR_4 - 1, GL_ORDER, b.f); }, GL_INVALID_ENUM},
        {"map target between", [&](Buffers &b) { GL(glGetMapiv)(GL_MAP1_VERTEX_4 + 1, GL_ORDER, b.i); }, GL_INVALID_ENUM},
        {"map query", [&](Buffers &b) { GL(glGetMapdv)(GL_MAP2_VERTEX_3, GL_DOMAIN + 1, b.d); }, GL_INVALID_ENUM},
        {"pixel map", [&](Buffers &b) { GL(glGetPixelMapfv)(GL_PIXEL_MAP_A_TO_A + 1, b.f); }, GL_INVALID_ENUM},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Buffers b;
        std::memset(image, 0x5A, sizeof(image));
        c.call(b);
        EXPECT_EQ(error(), c.error);
        EXPECT_EQ(b.written(), 0);
        for (GLubyte v : image) ASSERT_EQ(v, 0x5A);
    }
    ctx->beginMode = kGlInsideBegin;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Buffers b;
        c.call(b);
        EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
        EXPECT_EQ(b.written(), 0);
    }
    GLubyte stipple[128];
    std::memset(stipple, 0x5A, sizeof(stipple));
    GL(glGetPolygonStipple)(stipple);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(stipple[0], 0x5A);
    ctx->beginMode = kGlOutsideBegin;
}

// The pattern as a bitmap of 32 rows of four bytes, each row padded to the pack alignment (the
// padding is left alone).
TEST_F(QueryTest, PolygonStipplePacksRowsToTheAlignment) {
    for (int k = 0; k < 128; ++k) ctx->state.mode.polygonStipple[k] = GLubyte(k * 7 + 1);
    for (GLint alignment : {1, 4, 8}) {
        SCOPED_TRACE(alignment);
        ctx->state.pixel.store.pack.alignment = alignment;
        const int stride = alignment == 8 ? 8 : 4;
        std::vector<GLubyte> out(32 * stride + 4, 0xEE);
        GL(glGetPolygonStipple)(out.data());
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        for (int row = 0; row < 32; ++row) {
            for (int k = 0; k < stride; ++k) {
                GLubyte want = k < 4 ? GLubyte((row * 4 + k) * 7 + 1) : 0xEE;
                ASSERT_EQ(out[row * stride + k], want) << "row " << row << " byte " << k;
            }
        }
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out[32 * stride + k], 0xEE);
    }
    ctx->state.pixel.store.pack.alignment = 4;
}

TEST(ParameterCounts, OfTheVectorStateCommands) {
    struct Row {
        int32_t (*count)(GLenum);
        GLenum pname;
        int32_t want;
    };
    const Row rows[] = {
        {__glFogfvParamCount, GL_FOG_INDEX, 1}, {__glFogivParamCount, GL_FOG_MODE, 1},
        {__glFogfvParamCount, GL_FOG_COLOR, 4}, {__glFogivParamCount, GL_FOG_HINT, -1},
        {__glLightfvParamCount, GL_POSITION, 4}, {__glLightivParamCount, GL_SPOT_DIRECTION, 3},
        {__glLightfvParamCount, GL_QUADRATIC_ATTENUATION, 1}, {__glLightivParamCount, GL_SHININESS, -1},
        {__glLightModelfvParamCount, GL_LIGHT_MODEL_TWO_SIDE, 1}, {__glLightModelivParamCount, GL_LIGHT_MODEL_AMBIENT, 4},
        {__glLightModelfvParamCount, GL_AMBIENT, -1},
        {__glMaterialfvParamCount, GL_AMBIENT_AND_DIFFUSE, 4}, {__glMaterialivParamCount, GL_EMISSION, 4},
        {__glMaterialfvParamCount, GL_SHININESS, 1}, {__glMaterialivParamCount, GL_COLOR_INDEXES, 3},
        {__glMaterialfvParamCount, GL_INDEX_OFFSET, 1}, {__glMaterialivParamCount, GL_POSITION, -1},
        {__glPointParameterfvEXTParamCount, GL_POINT_SIZE_MAX_EXT, 1},
        {__glPointParameterfvEXTParamCount, GL_DISTANCE_ATTENUATION_EXT, 3},
        {__glPointParameterfvEXTParamCount, GL_POINT_SIZE, -1},
    };
    for (const Row &row : rows) EXPECT_EQ(row.count(row.pname), row.want) << "pname 0x" << std::hex << row.pname;
}

}  // namespace
