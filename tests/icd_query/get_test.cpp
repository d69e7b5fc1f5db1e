// The typed glGet forms: one table of (set call, name, expected values in each type) over every
// source kind and conversion, errors that write nothing, matrices, the raster position,
// glIsEnabled for every capability and glGetPointerv.
#include <climits>
#include <functional>
#include <limits>
#include <vector>
#include "tests/icd_query/query_fixture.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr GLint kOne = 2147482496;  // 1.0 over the integer range
constexpr GLboolean T = GL_TRUE, F = GL_FALSE;

struct Row {
    const char *what;
    std::function<void(GlContext *)> set;
    GLenum pname;
    std::vector<GLboolean> b;
    std::vector<GLint> i;
    std::vector<double> real;  // the float form, and the double form widened from it
    bool near = false;         // colours through colour-buffer units: not bit-exact
};

TEST_F(QueryTest, EachSourceKindConvertsToEachType) {
    const Row rows[] = {
        // normalised
        {"current colour white", [&](GlContext *) { GL(glColor4f)(1, 1, 1, 1); }, GL_CURRENT_COLOR,
         {T, T, T, T}, {kOne, kOne, kOne, kOne}, {1, 1, 1, 1}},
        {"current colour mixed", [&](GlContext *) { GL(glColor4f)(0.5f, -1, 0, 0.25f); }, GL_CURRENT_COLOR,
         {T, T, F, T}, {1073741248, -kOne, 0, 536870624}, {0.5, -1, 0, 0.25}},
        {"current normal", [&](GlContext *) { GL(glNormal3f)(0, 0, 1); }, GL_CURRENT_NORMAL,
         {F, F, T}, {0, 0, kOne}, {0, 0, 1}},
        {"depth range from doubles", [&](GlContext *) { GL(glDepthRange)(0.25, 1.0); }, GL_DEPTH_RANGE,
         {T, T}, {536870624, kOne}, {0.25, 1}},
        {"depth clear", [&](GlContext *) { GL(glClearDepth)(0.5); }, GL_DEPTH_CLEAR_VALUE, {T}, {1073741248}, {0.5}},
        {"colour clear", [&](GlContext *) { GL(glClearColor)(0, 0.5f, 1, 0.25f); }, GL_COLOR_CLEAR_VALUE,
         {F, T, T, T}, {0, 1073741248, kOne, 536870624}, {0, 0.5, 1, 0.25}},
        {"accumulation clear", [&](GlContext *) { GL(glClearAccum)(-0.5f, 0, 1, -1); }, GL_ACCUM_CLEAR_VALUE,
         {T, F, T, T}, {-1073741248, 0, kOne, -kOne}, {-0.5, 0, 1, -1}},
        {"alpha reference", [&](GlContext *) { GL(glAlphaFunc)(GL_GREATER, 0.5f); }, GL_ALPHA_TEST_REF,
         {T}, {1073741248}, {0.5}},
        // scaled colour: kept in colour-buffer units, answered in [0, 1]
        {"fog colour", [&](GlContext *) { const GLfloat c[4] = {0.5f, 0.25f, 1, 0}; GL(glFogfv)(GL_FOG_COLOR, c); },
         GL_FOG_COLOR, {T, T, T, F}, {1073741248, 536870624, kOne, 0}, {0.5, 0.25, 1, 0}, true},
        {"light-model ambient default", nullptr, GL_LIGHT_MODEL_AMBIENT,
         {T, T, T, T}, {429496499, 429496499, 429496499, kOne}, {0.2, 0.2, 0.2, 1}, true},
        {"raster colour default", nullptr, GL_CURRENT_RASTER_COLOR,
         {T, T, T, T}, {kOne, kOne, kOne, kOne}, {1, 1, 1, 1}, true},
        // float: truncated toward zero, held to the integer range, NaN true and 0
        {"point size as given", [&](GlContext *) { GL(glPointSize)(2.7f); }, GL_POINT_SIZE, {T}, {2}, {2.7f}},
        {"fog density -0", [&](GlContext *) { GL(glFogf)(GL_FOG_DENSITY, -0.0f); }, GL_FOG_DENSITY, {F}, {0}, {-0.0}},
        {"fog start negative", [&](GlContext *) { GL(glFogf)(GL_FOG_START, -2.7f); }, GL_FOG_START, {T}, {-2}, {-2.7f}},
        {"fog end huge", [&](GlContext *) { GL(glFogf)(GL_FOG_END, 1e20f); }, GL_FOG_END, {T}, {INT_MAX}, {1e20f}},
        {"fog start huge negative", [&](GlContext *) { GL(glFogf)(GL_FOG_START, -1e20f); }, GL_FOG_START,
         {T}, {INT_MIN}, {-1e20f}},
        {"line width range", nullptr, GL_LINE_WIDTH_RANGE, {T, T}, {0, 10}, {0.5, 10}},
        {"line width granularity", nullptr, GL_LINE_WIDTH_GRANULARITY, {T}, {0}, {0.125}},
        {"point size range", nullptr, GL_POINT_SIZE_RANGE, {T, T}, {1, 64}, {1, 64}},
        {"current index", [&](GlContext *) { GL(glIndexf)(3.75f); }, GL_CURRENT_INDEX, {T}, {3}, {3.75}},
        {"texture coordinates", [&](GlContext *) { GL(glTexCoord2f)(0.5f, -2.5f); }, GL_CURRENT_TEXTURE_COORDS,
         {T, T, F, T}, {0, -2, 0, 1}, {0.5, -2.5, 0, 1}},
        {"point attenuation", [&](GlContext *) { const GLfloat a[3] = {1, 0.5f, 0}; GL(__glDoPointParameterfvEXT)(GL_DISTANCE_ATTENUATION_EXT, a); },
         GL_DISTANCE_ATTENUATION_EXT, {T, T, F}, {1, 0, 0}, {1, 0.5, 0}},
        {"cull-vertex eye position", [&](GlContext *) { GLfloat p[4] = {1, -2, 3.5f, 0}; GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, p); },
         GL_CULL_VERTEX_EYE_POSITION_EXT, {T, T, T, F}, {1, -2, 3, 0}, {1, -2, 3.5, 0}},
        // integer
        {"depth function", [&](GlContext *) { GL(glDepthFunc)(GL_GEQUAL); }, GL_DEPTH_FUNC, {T}, {GL_GEQUAL}, {GL_GEQUAL}},
        {"draw buffer as requested", [&](GlContext *) { GL(glDrawBuffer)(GL_LEFT); }, GL_DRAW_BUFFER,
         {T}, {GL_LEFT}, {GL_LEFT}},
        {"viewport", [&](GlContext *) { GL(glViewport)(10, -20, 30, 40); }, GL_VIEWPORT,
         {T, T, T, T}, {10, -20, 30, 40}, {10, -20, 30, 40}},
        {"scissor box", [&](GlContext *) { GL(glScissor)(-5, 6, 0, 8); }, GL_SCISSOR_BOX,
         {T, T, F, T}, {-5, 6, 0, 8}, {-5, 6, 0, 8}},
        {"stipple pattern unsigned", [&](GlContext *) { GL(glLineStipple)(3, 0xF0F0); }, GL_LINE_STIPPLE_PATTERN,
         {T}, {0xF0F0}, {0xF0F0}},
        {"stipple repeat", [&](GlContext *) { GL(glLineStipple)(300, 1); }, GL_LINE_STIPPLE_REPEAT, {T}, {256}, {256}},
        {"stencil write mask", [&](GlContext *) { GL(glStencilMask)(0x1F0); }, GL_STENCIL_WRITEMASK,
         {T}, {0xF0}, {0xF0}},
        {"polygon modes", [&](GlContext *) { GL(glPolygonMode)(GL_BACK, GL_LINE); }, GL_POLYGON_MODE,
         {T, T}, {GL_FILL, GL_LINE}, {GL_FILL, GL_LINE}},
        {"fog hint", [&](GlContext *) { GL(glHint)(GL_FOG_HINT, GL_NICEST); }, GL_FOG_HINT, {T}, {GL_NICEST}, {GL_NICEST}},
        {"viewport limits", nullptr, GL_MAX_VIEWPORT_DIMS, {T, T}, {2048, 2048}, {2048, 2048}},
        {"texture size limit", nullptr, GL_MAX_TEXTURE_SIZE, {T}, {1024}, {1024}},
        {"list nesting", nullptr, GL_MAX_LIST_NESTING, {T}, {64}, {64}},
        {"modelview stack depth", [&](GlContext *) { GL(glPushMatrix)(); }, GL_MODELVIEW_STACK_DEPTH, {T}, {2}, {2}},
        {"projection stack depth", nullptr, GL_PROJECTION_STACK_DEPTH, {T}, {1}, {1}},
        {"pixel map size", nullptr, GL_PIXEL_MAP_R_TO_R_SIZE, {T}, {1}, {1}},
        {"pack alignment", nullptr, GL_PACK_ALIGNMENT, {T}, {4}, {4}},
        {"feedback type", nullptr, GL_FEEDBACK_BUFFER_TYPE, {T}, {GL_2D}, {GL_2D}},
        {"map2 grid domain", nullptr, GL_MAP2_GRID_DOMAIN, {F, T, F, T}, {0, 1, 0, 1}, {0, 1, 0, 1}},
        {"list index", nullptr, GL_LIST_INDEX, {F}, {0}, {0}},
        {"colour array fields",
         [&](GlContext *c) {
             GlClientArray &a = c->arrayState.arrays[kGlArrayColor];
             a.size = 3, a.type = GL_UNSIGNED_BYTE, a.userStride = 12, a.stride = 16, a.count = 7;
         },
         GL_COLOR_ARRAY_STRIDE, {T}, {12}, {12}},
        {"colour array count", nullptr, GL_COLOR_ARRAY_COUNT_EXT, {T}, {7}, {7}},
        {"locked range", [&](GlContext *c) { c->arrayState.lockFirst = 5, c->arrayState.lockCount = 9; },
         GL_ARRAY_ELEMENT_LOCK_COUNT_EXT, {T}, {9}, {9}},
        // boolean
        {"depth write mask", [&](GlContext *) { GL(glDepthMask)(GL_FALSE); }, GL_DEPTH_WRITEMASK, {F}, {0}, {0}},
        {"colour write mask", [&](GlContext *) { GL(glColorMask)(1, 0, 1, 0); }, GL_COLOR_WRITEMASK,
         {T, F, T, F}, {1, 0, 1, 0}, {1, 0, 1, 0}},
        {"edge flag", [&](GlContext *) { GL(glEdgeFlag)(GL_FALSE); }, GL_EDGE_FLAG, {F}, {0}, {0}},
        {"two-sided lighting", [&](GlContext *) { GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 7); },
         GL_LIGHT_MODEL_TWO_SIDE, {T}, {1}, {1}},
        {"double buffer", nullptr, GL_DOUBLEBUFFER, {T}, {1}, {1}},
        {"stereo", nullptr, GL_STEREO, {F}, {0}, {0}},
        {"rgba mode", nullptr, GL_RGBA_MODE, {T}, {1}, {1}},
        {"raster position valid", nullptr, GL_CURRENT_RASTER_POSITION_VALID, {T}, {1}, {1}},
        {"unpack lsb first", nullptr, GL_UNPACK_LSB_FIRST, {F}, {0}, {0}},
        {"capability", [&](GlContext *) { GL(glEnable)(GL_DEPTH_TEST); }, GL_DEPTH_TEST, {T}, {1}, {1}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        if (row.set) row.set(ctx);
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        AllTypes a = get(row.pname);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        int n = int(row.b.size());
        for (int t = 0; t < 4; ++t) EXPECT_EQ(a.written(t), n) << "values written in type " << t;
        for (int k = 0; k < n; ++k) {
            SCOPED_TRACE(k);
            EXPECT_EQ(a.b[k], row.b[k]);
            if (row.near) {
                EXPECT_NEAR(a.i[k], row.i[k], 1024);
                EXPECT_NEAR(a.f[k], row.real[k], 1e-6);
                EXPECT_NEAR(a.d[k], row.real[k], 1e-6);
            } else {
                EXPECT_EQ(a.i[k], row.i[k]);
                EXPECT_EQ(a.f[k], float(row.real[k]));
                EXPECT_EQ(a.d[k], double(float(row.real[k])));
                EXPECT_EQ(std::signbit(a.f[k]), std::signbit(row.real[k]));
            }
        }
    }
}

// Every name glGet accepts writes exactly its number of values in each type, and no error.
TEST_F(QueryTest, EveryNameWritesItsCount) {
    std::vector<std::pair<GLenum, int>> names = {
        {GL_POINT_SIZE_RANGE, 2}, {GL_LINE_WIDTH_RANGE, 2}, {GL_POLYGON_MODE, 2}, {GL_DEPTH_RANGE, 2},
        {GL_MAX_VIEWPORT_DIMS, 2}, {GL_MAP1_GRID_DOMAIN, 2}, {GL_MAP2_GRID_SEGMENTS, 2},
        {GL_CURRENT_NORMAL, 3}, {GL_DISTANCE_ATTENUATION_EXT, 3},
        {GL_CURRENT_COLOR, 4}, {GL_CURRENT_TEXTURE_COORDS, 4}, {GL_CURRENT_RASTER_COLOR, 4},
        {GL_CURRENT_RASTER_TEXTURE_COORDS, 4}, {GL_CURRENT_RASTER_POSITION, 4}, {GL_LIGHT_MODEL_AMBIENT, 4},
        {GL_FOG_COLOR, 4}, {GL_ACCUM_CLEAR_VALUE, 4}, {GL_VIEWPORT, 4}, {GL_SCISSOR_BOX, 4},
        {GL_COLOR_CLEAR_VALUE, 4}, {GL_COLOR_WRITEMASK, 4}, {GL_MAP2_GRID_DOMAIN, 4},
        {GL_CULL_VERTEX_EYE_POSITION_EXT, 4}, {GL_CULL_VERTEX_OBJECT_POSITION_EXT, 4},
        {GL_MODELVIEW_MATRIX, 16}, {GL_PROJECTION_MATRIX, 16}, {GL_TEXTURE_MATRIX, 16},
    };
    const GLenum single[] = {
        GL_CURRENT_INDEX, GL_CURRENT_RASTER_INDEX, GL_CURRENT_RASTER_POSITION_VALID, GL_CURRENT_RASTER_DISTANCE,
        GL_EDGE_FLAG, GL_POINT_SIZE, GL_POINT_SIZE_GRANULARITY, GL_LINE_WIDTH, GL_LINE_WIDTH_GRANULARITY,
        GL_LINE_STIPPLE_PATTERN, GL_LINE_STIPPLE_REPEAT, GL_POINT_SIZE_MIN_EXT, GL_POINT_SIZE_MAX_EXT,
        GL_POINT_FADE_THRESHOLD_SIZE_EXT, GL_LIST_MODE, GL_MAX_LIST_NESTING, GL_LIST_BASE, GL_LIST_INDEX,
        GL_CULL_FACE_MODE, GL_FRONT_FACE, GL_POLYGON_OFFSET_FACTOR, GL_POLYGON_OFFSET_UNITS,
        GL_LIGHT_MODEL_LOCAL_VIEWER, GL_LIGHT_MODEL_TWO_SIDE, GL_SHADE_MODEL, GL_COLOR_MATERIAL_FACE,
        GL_COLOR_MATERIAL_PARAMETER, GL_FOG_INDEX, GL_FOG_DENSITY, GL_FOG_START, GL_FOG_END, GL_FOG_MODE,
        GL_DEPTH_WRITEMASK, GL_DEPTH_CLEAR_VALUE, GL_DEPTH_FUNC, GL_STENCIL_CLEAR_VALUE, GL_STENCIL_FUNC,
        GL_STENCIL_VALUE_MASK, GL_STENCIL_FAIL, GL_STENCIL_PASS_DEPTH_FAIL, GL_STENCIL_PASS_DEPTH_PASS,
        GL_STENCIL_REF, GL_STENCIL_WRITEMASK, GL_MATRIX_MODE, GL_MODELVIEW_STACK_DEPTH,
        GL_PROJECTION_STACK_DEPTH, GL_TEXTURE_STACK_DEPTH, GL_ATTRIB_STACK_DEPTH, GL_CLIENT_ATTRIB_STACK_DEPTH,
        GL_ALPHA_TEST_FUNC, GL_ALPHA_TEST_REF, GL_BLEND_DST, GL_BLEND_SRC, GL_LOGIC_OP_MODE, GL_AUX_BUFFERS,
        GL_DRAW_BUFFER, GL_READ_BUFFER, GL_INDEX_CLEAR_VALUE, GL_INDEX_WRITEMASK, GL_INDEX_MODE, GL_RGBA_MODE,
        GL_DOUBLEBUFFER, GL_STEREO, GL_RENDER_MODE, GL_PERSPECTIVE_CORRECTION_HINT, GL_POINT_SMOOTH_HINT,
        GL_LINE_SMOOTH_HINT, GL_POLYGON_SMOOTH_HINT, GL_FOG_HINT, GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST,
        GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS, GL_UNPACK_ALIGNMENT, GL_PACK_SWAP_BYTES,
        GL_PACK_LSB_FIRST, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS, GL_PACK_ALIGNMENT,
        GL_MAP_COLOR, GL_MAP_STENCIL, GL_INDEX_SHIFT, GL_INDEX_OFFSET, GL_RED_SCALE, GL_RED_BIAS, GL_ZOOM_X,
        GL_ZOOM_Y, GL_GREEN_SCALE, GL_GREEN_BIAS, GL_BLUE_SCALE, GL_BLUE_BIAS, GL_ALPHA_SCALE, GL_ALPHA_BIAS,
        GL_DEPTH_SCALE, GL_DEPTH_BIAS, GL_MAX_EVAL_ORDER, GL_MAX_LIGHTS, GL_MAX_CLIP_PLANES, GL_MAX_TEXTURE_SIZE,
        GL_MAX_PIXEL_MAP_TABLE, GL_MAX_ATTRIB_STACK_DEPTH, GL_MAX_MODELVIEW_STACK_DEPTH, GL_MAX_NAME_STACK_DEPTH,
        GL_MAX_PROJECTION_STACK_DEPTH, GL_MAX_TEXTURE_STACK_DEPTH, GL_MAX_CLIENT_ATTRIB_STACK_DEPTH,
        GL_SUBPIXEL_BITS, GL_INDEX_BITS, GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS,
        GL_STENCIL_BITS, GL_ACCUM_RED_BITS, GL_ACCUM_GREEN_BITS, GL_ACCUM_BLUE_BITS, GL_ACCUM_ALPHA_BITS,
        GL_NAME_STACK_DEPTH, GL_FEEDBACK_BUFFER_SIZE, GL_FEEDBACK_BUFFER_TYPE, GL_SELECTION_BUFFER_SIZE,
        GL_MAP1_GRID_SEGMENTS, GL_TEXTURE_BINDING_1D, GL_TEXTURE_BINDING_2D, GL_ARRAY_ELEMENT_LOCK_FIRST_EXT,
        GL_ARRAY_ELEMENT_LOCK_COUNT_EXT, GL_LIGHTING, GL_CLIP_PLANE5, GL_LIGHT7, GL_MAP2_VERTEX_4,
        GL_TEXTURE_GEN_Q, GL_EDGE_FLAG_ARRAY, GL_CULL_VERTEX_EXT,
    };
    for (GLenum pname : single) names.push_back({pname, 1});
    for (GLenum pname = GL_PIXEL_MAP_I_TO_I_SIZE; pname <= GL_PIXEL_MAP_A_TO_A_SIZE; ++pname) names.push_back({pname, 1});
    for (GLenum pname = GL_VERTEX_ARRAY_SIZE; pname <= GL_EDGE_FLAG_ARRAY_COUNT_EXT; ++pname) names.push_back({pname, 1});
    for (const auto &[pname, count] : names) {
        SCOPED_TRACE(testing::Message() << "pname 0x" << std::hex << pname);
        AllTypes a = get(pname);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        for (int t = 0; t < 4; ++t) EXPECT_EQ(a.written(t), count) << "type " << t;
    }
}

// A NaN stored as given answers true as a boolean, 0 as an integer and NaN as a float.
TEST_F(QueryTest, NaNIsTrueAndZero) {
    GL(glFogf)(GL_FOG_END, kNaN);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    AllTypes a = get(GL_FOG_END);
    EXPECT_EQ(a.b[0], GL_TRUE);
    EXPECT_EQ(a.i[0], 0);
    EXPECT_TRUE(std::isnan(a.f[0]));
    EXPECT_TRUE(std::isnan(a.d[0]));
}

// Unknown names, capabilities beyond the context's counts and calls inside glBegin/glEnd report
// their error and write nothing.
TEST_F(QueryTest, ErrorsWriteNothing) {
    const GLenum bad[] = {0x1234, GL_LIGHT0 + 8, GL_CLIP_PLANE0 + 6, GL_TEXTURE_ENV_MODE, GL_VERTEX_ARRAY_POINTER,
                          GL_DISTANCE_ATTENUATION_EXT + 1, GL_VENDOR};
    for (GLenum pname : bad) {
        SCOPED_TRACE(pname);
        AllTypes a;
        GL(glGetBooleanv)(pname, a.b);
        EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
        GL(glGetIntegerv)(pname, a.i);
        EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
        GL(glGetFloatv)(pname, a.f);
        EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
        GL(glGetDoublev)(pname, a.d);
        EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
        EXPECT_TRUE(a.allUntouched());
        EXPECT_EQ(GL(glIsEnabled)(pname), GL_FALSE);
        EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    }

    ctx->beginMode = kGlInsideBegin;
    for (GLenum pname : {GLenum(GL_CURRENT_COLOR), GLenum(GL_DEPTH_TEST), GLenum(0x1234)}) {
        SCOPED_TRACE(pname);
        AllTypes a = get(pname);
        EXPECT_TRUE(a.allUntouched());
        EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    }
    GL(glEnable)(GL_DITHER);
    ctx->beginMode = kGlInsideBegin;
    EXPECT_EQ(GL(glIsEnabled)(GL_DITHER), GL_FALSE);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GLvoid *p = &p;
    GL(glGetPointerv)(GL_VERTEX_ARRAY_POINTER, &p);
    EXPECT_EQ(p, static_cast<GLvoid *>(&p));
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    ctx->beginMode = kGlOutsideBegin;
}

TEST_F(QueryTest, MatricesAreTheTopEntries) {
    const GLfloat m[16] = {1.5f, 0, 0, 0, 0, -2.75f, 0, 0, 0, 0, 1, 0, 3.25f, -4.5f, 5, 1};
    GL(glLoadMatrixf)(m);
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glPushMatrix)();
    GL(glFrustum)(-1, 1, -1, 1, 1, 10);
    GL(glMatrixMode)(GL_TEXTURE);
    GL(glScalef)(2, 3, 4);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));

    AllTypes mv = get(GL_MODELVIEW_MATRIX);
    for (int t = 0; t < 4; ++t) EXPECT_EQ(mv.written(t), 16);
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(mv.f[k], m[k]);
        EXPECT_EQ(mv.d[k], double(m[k]));
        EXPECT_EQ(mv.i[k], GLint(m[k]));  // truncated
        EXPECT_EQ(mv.b[k], m[k] != 0 ? GL_TRUE : GL_FALSE);
    }
    AllTypes proj = get(GL_PROJECTION_MATRIX);
    EXPECT_EQ(proj.f[0], 1.0f);
    EXPECT_EQ(proj.f[11], -1.0f);
    EXPECT_EQ(proj.f[15], 0.0f);
    AllTypes tex = get(GL_TEXTURE_MATRIX);
    EXPECT_EQ(tex.i[0], 2);
    EXPECT_EQ(tex.i[5], 3);
    EXPECT_EQ(tex.i[10], 4);
    EXPECT_EQ(get(GL_PROJECTION_STACK_DEPTH).i[0], 2);
    EXPECT_EQ(get(GL_MATRIX_MODE).i[0], GL_TEXTURE);
}

// The raster position answers in window coordinates without the driver's bias, the same on a
// drawable whose rows run top-down, z back in [0, 1].
TEST_F(QueryTest, RasterPositionWithoutTheBias) {
    for (int inverted = 0; inverted < 2; ++inverted) {
        SCOPED_TRACE(inverted);
        ctx->state.transform.drawable.yInverted = uint8_t(inverted);
        GL(glViewport)(0, 0, 320, 240);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, 320, 0, 240, -1, 1);
        GL(glRasterPos3f)(100, 50, -0.5f);
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        AllTypes a = get(GL_CURRENT_RASTER_POSITION);
        EXPECT_EQ(a.written(2), 4);
        EXPECT_NEAR(a.f[0], 100.0f, 1e-3f);
        EXPECT_NEAR(a.f[1], 50.0f, 1e-3f);
        EXPECT_NEAR(a.f[2], 0.75f, 1e-5f);  // z -0.5 in eye space is 0.5 in clip space
        EXPECT_EQ(a.f[3], 1.0f);
        EXPECT_EQ(a.i[0], 100);
        EXPECT_EQ(get(GL_CURRENT_RASTER_POSITION_VALID).b[0], GL_TRUE);
        EXPECT_NEAR(get(GL_CURRENT_RASTER_DISTANCE).f[0], std::sqrt(100.0 * 100 + 50 * 50 + 0.25), 1e-3);
    }
}

// Colour-index mode has no raster colour and keeps a raster index; RGBA mode the reverse.
TEST_F(QueryTest, RasterColourAndIndexFollowTheMode) {
    EXPECT_EQ(get(GL_CURRENT_RASTER_INDEX).f[0], 1.0f);
    ctx->visual.rgbaMode = 0;
    ctx->current.rasterIndex = 7.5f;
    ctx->current.rasterColor[0] = 99.0f;
    EXPECT_EQ(get(GL_CURRENT_RASTER_INDEX).f[0], 7.5f);
    AllTypes c = get(GL_CURRENT_RASTER_COLOR);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c.f[k], 1.0f);
    ctx->visual.rgbaMode = 1;
}

// Every capability of glEnable answers through glIsEnabled and glGetBooleanv; texture enables
// follow the active texture unit.
TEST_F(QueryTest, IsEnabledForEveryCapability) {
    std::vector<GLenum> caps = {
        GL_ALPHA_TEST, GL_AUTO_NORMAL, GL_BLEND, GL_COLOR_MATERIAL, GL_CULL_FACE, GL_DEPTH_TEST, GL_DITHER,
        GL_FOG, GL_INDEX_LOGIC_OP, GL_COLOR_LOGIC_OP, GL_LIGHTING, GL_LINE_SMOOTH, GL_LINE_STIPPLE,
        GL_NORMALIZE, GL_POINT_SMOOTH, GL_POLYGON_OFFSET_FILL, GL_POLYGON_OFFSET_LINE, GL_POLYGON_OFFSET_POINT,
        GL_POLYGON_SMOOTH, GL_POLYGON_STIPPLE, GL_SCISSOR_TEST, GL_STENCIL_TEST, GL_TEXTURE_1D, GL_TEXTURE_2D,
        GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q, GL_CULL_VERTEX_EXT,
        GL_VERTEX_ARRAY, GL_NORMAL_ARRAY, GL_COLOR_ARRAY, GL_INDEX_ARRAY, GL_TEXTURE_COORD_ARRAY,
        GL_EDGE_FLAG_ARRAY};
    for (GLenum c = GL_CLIP_PLANE0; c < GL_CLIP_PLANE0 + 6; ++c) caps.push_back(c);
    for (GLenum c = GL_LIGHT0; c < GL_LIGHT0 + 8; ++c) caps.push_back(c);
    for (GLenum c = GL_MAP1_COLOR_4; c <= GL_MAP1_VERTEX_4; ++c) caps.push_back(c);
    for (GLenum c = GL_MAP2_COLOR_4; c <= GL_MAP2_VERTEX_4; ++c) caps.push_back(c);

    auto enabledCount = [&] {
        int n = 0;
        for (GLenum c : caps) n += GL(glIsEnabled)(c) == GL_TRUE;
        return n;
    };
    for (GLenum c : caps) GL(glDisable)(c);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(enabledCount(), 0);
    for (GLenum cap : caps) {
        SCOPED_TRACE(cap);
        GL(glEnable)(cap);
        EXPECT_EQ(GL(glIsEnabled)(cap), GL_TRUE);
        EXPECT_EQ(enabledCount(), 1);  // its own bit, no other
        AllTypes a = get(cap);
        EXPECT_EQ(a.written(0), 1);
        EXPECT_EQ(a.b[0], GL_TRUE);
        EXPECT_EQ(a.i[0], 1);
        EXPECT_EQ(a.d[0], 1.0);
        GL(glDisable)(cap);
        EXPECT_EQ(GL(glIsEnabled)(cap), GL_FALSE);
        EXPECT_EQ(get(cap).f[0], 0.0f);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    }

    GL(glEnable)(GL_TEXTURE_2D);
    GL(glEnable)(GL_TEXTURE_GEN_T);
    ctx->state.unitSelect.activeTexture = 1;
    EXPECT_EQ(GL(glIsEnabled)(GL_TEXTURE_2D), GL_FALSE);
    EXPECT_EQ(GL(glIsEnabled)(GL_TEXTURE_GEN_T), GL_TRUE);  // follows the coordinate set
    ctx->state.unitSelect.activeTexCoordSet = 1;
    EXPECT_EQ(GL(glIsEnabled)(GL_TEXTURE_GEN_T), GL_FALSE);
    ctx->state.unitSelect.activeTexture = 0;
    ctx->state.unitSelect.activeTexCoordSet = 0;
    EXPECT_EQ(GL(glIsEnabled)(GL_TEXTURE_2D), GL_TRUE);
}

// The feedback and selection buffers, their sizes, the feedback type and the name stack.
TEST_F(QueryTest, FeedbackAndSelection) {
    EXPECT_EQ(get(GL_FEEDBACK_BUFFER_TYPE).i[0], GL_2D);
    GLfloat feedback[12];
    GLuint select[9];
    GL(glFeedbackBuffer)(12, GL_3D_COLOR, feedback);
    GL(glSelectBuffer)(9, select);
    GL(glRenderMode)(GL_SELECT);
    GL(glInitNames)();
    GL(glPushName)(4);
    GL(glPushName)(5);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(get(GL_FEEDBACK_BUFFER_SIZE).i[0], 12);
    EXPECT_EQ(get(GL_FEEDBACK_BUFFER_TYPE).i[0], GL_3D_COLOR);
    EXPECT_EQ(get(GL_SELECTION_BUFFER_SIZE).i[0], 9);
    EXPECT_EQ(get(GL_NAME_STACK_DEPTH).i[0], 2);
    EXPECT_EQ(get(GL_RENDER_MODE).i[0], GL_SELECT);
    GLvoid *p = nullptr;
    GL(glGetPointerv)(GL_FEEDBACK_BUFFER_POINTER, &p);
    EXPECT_EQ(p, static_cast<GLvoid *>(feedback));
    GL(__glDoGetPointervEXT)(GL_SELECTION_BUFFER_POINTER, &p);
    EXPECT_EQ(p, static_cast<GLvoid *>(select));
    GL(glRenderMode)(GL_RENDER);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// The array queries answer what the pointer entries keep: the stride as given, the element
// count of the EXT forms, the locked range.
TEST_F(QueryTest, ClientArraysThroughTheirEntries) {
    EXPECT_EQ(get(GL_VERTEX_ARRAY_SIZE).i[0], 4);
    EXPECT_EQ(get(GL_NORMAL_ARRAY_TYPE).i[0], GL_FLOAT);
    EXPECT_EQ(get(GL_TEXTURE_COORD_ARRAY_STRIDE).i[0], 0);
    static const GLubyte colors[24] = {};
    static const GLshort vertices[20] = {};
    GL(glColorPointer)(3, GL_UNSIGNED_BYTE, 0, colors);
    GL(__glDoVertexPointerEXT)(2, GL_SHORT, 8, 5, vertices);
    GL(glEnableClientState)(GL_VERTEX_ARRAY);
    GL(__glDoLockArraysEXT)(1, 3);
    ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(get(GL_COLOR_ARRAY_SIZE).i[0], 3);
    EXPECT_EQ(get(GL_COLOR_ARRAY_TYPE).i[0], GL_UNSIGNED_BYTE);
    EXPECT_EQ(get(GL_COLOR_ARRAY_STRIDE).i[0], 0);  // as given, not the packed element size
    EXPECT_EQ(get(GL_COLOR_ARRAY_COUNT_EXT).i[0], 0);
    EXPECT_EQ(get(GL_VERTEX_ARRAY_SIZE).i[0], 2);
    EXPECT_EQ(get(GL_VERTEX_ARRAY_STRIDE).i[0], 8);
    EXPECT_EQ(get(GL_VERTEX_ARRAY_COUNT_EXT).i[0], 5);
    EXPECT_EQ(get(GL_ARRAY_ELEMENT_LOCK_FIRST_EXT).i[0], 1);
    EXPECT_EQ(get(GL_ARRAY_ELEMENT_LOCK_COUNT_EXT).i[0], 3);
    EXPECT_EQ(get(GL_VERTEX_ARRAY).b[0], GL_TRUE);
    GLvoid *p = nullptr;
    GL(glGetPointerv)(GL_COLOR_ARRAY_POINTER, &p);
    EXPECT_EQ(p, static_cast<const GLvoid *>(colors));
    GL(__glDoUnlockArraysEXT)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(QueryTest, PointersOfTheClientArrays) {
    static const float vertices[8] = {};
    static const unsigned char colors[8] = {};
    ctx->arrayState.arrays[kGlArrayVertex].pointer = vertices;
    ctx->arrayState.arrays[kGlArrayColor].pointer = colors;
    struct {
        GLenum pname;
        const void *want;
    } rows[] = {
        {GL_VERTEX_ARRAY_POINTER, vertices}, {GL_COLOR_ARRAY_POINTER, colors},
        {GL_NORMAL_ARRAY_POINTER, nullptr},  {GL_INDEX_ARRAY_POINTER, nullptr},
        {GL_TEXTURE_COORD_ARRAY_POINTER, nullptr}, {GL_EDGE_FLAG_ARRAY_POINTER, nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.pname);
        GLvoid *p = &p, *q = &q;
        GL(glGetPointerv)(row.pname, &p);
        GL(__glDoGetPointervEXT)(row.pname, &q);
        EXPECT_EQ(p, row.want);
        EXPECT_EQ(q, row.want);
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GLvoid *p = &p;
    GL(glGetPointerv)(GL_VERTEX_ARRAY_SIZE, &p);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(p, static_cast<GLvoid *>(&p));
}

}  // namespace
