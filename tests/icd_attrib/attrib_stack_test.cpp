// glPushAttrib / glPopAttrib through the live table: every group brings back exactly its own
// state, the stack limits and the begin-mode rule report their errors, and a pop marks what
// changed for validation.
#include <algorithm>
#include "tests/icd_attrib/attrib_fixture.h"

namespace {

std::vector<double> getv(GlContext *ctx, GLenum pname, int n) {
    double v[16] = {};
    GL(glGetDoublev)(pname, v);
    return std::vector<double>(v, v + n);
}
std::vector<double> isOn(GlContext *ctx, GLenum cap) { return {double(GL(glIsEnabled)(cap))}; }
void able(GlContext *ctx, GLenum cap, bool on) { on ? GL(glEnable)(cap) : GL(glDisable)(cap); }

// One piece of state, read back through the queries, and the groups whose pop restores it.
struct Value {
    const char *name;
    GLbitfield owners;
    std::vector<double> (*read)(GlContext *ctx);
};

// A group: how to put its state in one of two different settings (v 0 or 1), and its values.
struct GroupRow {
    GLbitfield bit;
    void (*set)(GlContext *ctx, int v);
    std::vector<Value> values;
};

constexpr GLbitfield E = GL_ENABLE_BIT;

const std::vector<GroupRow> &groups() {
    static const std::vector<GroupRow> rows = {
        {GL_CURRENT_BIT,
         [](GlContext *ctx, int v) {
             GL(glColor4f)(0.25f + v * 0.5f, 0.5f, 0.75f - v * 0.5f, 1.0f);
             GL(glNormal3f)(0.0f, 1.0f - v, float(v));
             GL(glTexCoord4f)(0.5f, float(v), 0.25f, 1.0f);
             GL(glRasterPos3f)(0.25f * float(v + 1), 0.5f, 0.0f);
             GL(glEdgeFlag)(GLboolean(v));
         },
         {{"current colour", GL_CURRENT_BIT, [](GlContext *ctx) { return getv(ctx, GL_CURRENT_COLOR, 4); }},
          {"current normal", GL_CURRENT_BIT, [](GlContext *ctx) { return getv(ctx, GL_CURRENT_NORMAL, 3); }},
          {"texture coordinates", GL_CURRENT_BIT, [](GlContext *ctx) { return getv(ctx, GL_CURRENT_TEXTURE_COORDS, 4); }},
          {"raster position", GL_CURRENT_BIT, [](GlContext *ctx) { return getv(ctx, GL_CURRENT_RASTER_POSITION, 4); }},
          {"edge flag", GL_CURRENT_BIT, [](GlContext *ctx) { return getv(ctx, GL_EDGE_FLAG, 1); }}}},
        {GL_POINT_BIT,
         [](GlContext *ctx, int v) {
             GL(glPointSize)(3.0f + 2.0f * float(v));
             able(ctx, GL_POINT_SMOOTH, v);
         },
         {{"point size", GL_POINT_BIT, [](GlContext *ctx) { return getv(ctx, GL_POINT_SIZE, 1); }},
          {"point smooth", GL_POINT_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_POINT_SMOOTH); }}}},
        {GL_LINE_BIT,
         [](GlContext *ctx, int v) {
             GL(glLineWidth)(2.0f + float(v));
             GL(glLineStipple)(2 + v, GLushort(0x0F0F << v));
             able(ctx, GL_LINE_STIPPLE, v);
             able(ctx, GL_LINE_SMOOTH, !v);
         },
         {{"line width and stipple", GL_LINE_BIT,
           [](GlContext *ctx) {
               std::vector<double> r = getv(ctx, GL_LINE_WIDTH, 1);
               r.push_back(getv(ctx, GL_LINE_STIPPLE_PATTERN, 1)[0]);
               r.push_back(getv(ctx, GL_LINE_STIPPLE_REPEAT, 1)[0]);
               return r;
           }},
          {"line stipple", GL_LINE_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_LINE_STIPPLE); }},
          {"line smooth", GL_LINE_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_LINE_SMOOTH); }}}},
        {GL_POLYGON_BIT,
         [](GlContext *ctx, int v) {
             GL(glPolygonMode)(GL_FRONT, v ? GL_POINT : GL_LINE);
             GL(glCullFace)(v ? GL_FRONT : GL_FRONT_AND_BACK);
             GL(glFrontFace)(v ? GL_CW : GL_CCW);
             GL(glPolygonOffset)(1.0f + float(v), 2.0f - float(v));
             able(ctx, GL_CULL_FACE, v);
             able(ctx, GL_POLYGON_OFFSET_FILL, !v);
             able(ctx, GL_POLYGON_SMOOTH, v);
         },
         {{"polygon modes", GL_POLYGON_BIT,
           [](GlContext *ctx) {
               std::vector<double> r = getv(ctx, GL_POLYGON_MODE, 2);
               for (GLenum p : {GL_CULL_FACE_MODE, GL_FRONT_FACE, GL_POLYGON_OFFSET_FACTOR, GL_POLYGON_OFFSET_UNITS})
                   r.push_back(getv(ctx, p, 1)[0]);
               return r;
           }},
          {"cull face", GL_POLYGON_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_CULL_FACE); }},
          {"offset fill", GL_POLYGON_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_POLYGON_OFFSET_FILL); }},
          {"polygon smooth", GL_POLYGON_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_POLYGON_SMOOTH); }}}},
        {GL_POLYGON_STIPPLE_BIT,
         [](GlContext *ctx, int v) {
             GLubyte pattern[128];
             for (int i = 0; i < 128; ++i) pattern[i] = GLubyte(v ? i : 0xA5);
             GL(glPolygonStipple)(pattern);
             able(ctx, GL_POLYGON_STIPPLE, v);
         },
         {{"stipple pattern", GL_POLYGON_STIPPLE_BIT,
           [](GlContext *ctx) {
               GLubyte pattern[128] = {};
               GL(glGetPolygonStipple)(pattern);
               return std::vector<double>(pattern, pattern + 128);
           }},
          {"polygon stipple", GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | E,
           [](GlContext *ctx) { return isOn(ctx, GL_POLYGON_STIPPLE); }}}},
        {GL_PIXEL_MODE_BIT,
         [](GlContext *ctx, int v) {
             GL(glPixelTransferf)(GL_RED_SCALE, 2.0f + float(v));
             GL(glPixelTransferf)(GL_BLUE_BIAS, -0.5f * float(v));
             GL(glPixelTransferi)(GL_INDEX_SHIFT, 1 + v);
             GL(glPixelTransferi)(GL_MAP_COLOR, v);
             GL(glPixelZoom)(0.5f * float(v + 1), 2.0f);
             GL(glReadBuffer)(v ? GL_FRONT : GL_BACK);
         },
         {{"pixel transfer", GL_PIXEL_MODE_BIT,
           [](GlContext *ctx) {
               std::vector<double> r;
               for (GLenum p : {GL_RED_SCALE, GL_BLUE_BIAS, GL_INDEX_SHIFT, GL_MAP_COLOR, GL_ZOOM_X, GL_READ_BUFFER})
                   r.push_back(getv(ctx, p, 1)[0]);
               return r;
           }}}},
        {GL_LIGHTING_BIT,
         [](GlContext *ctx, int v) {
             GL(glShadeModel)(v ? GL_FLAT : GL_SMOOTH);
             const GLfloat diffuse[4] = {0.5f, 0.25f * float(v), 0.125f, 1.0f};
             GL(glLightfv)(GL_LIGHT1, GL_DIFFUSE, diffuse);
             GL(glLightf)(GL_LIGHT2, GL_SPOT_EXPONENT, 4.0f + float(v));
             GL(glMaterialf)(GL_FRONT, GL_SHININESS, 10.0f + float(v));
             GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, v);
             GL(glColorMaterial)(v ? GL_BACK : GL_FRONT, v ? GL_SPECULAR : GL_EMISSION);
             able(ctx, GL_LIGHTING, v);
             able(ctx, GL_LIGHT1, !v);
             able(ctx, GL_COLOR_MATERIAL, v);
         },
         {{"lighting modes", GL_LIGHTING_BIT,
           [](GlContext *ctx) {
               std::vector<double> r;
               for (GLenum p : {GL_SHADE_MODEL, GL_LIGHT_MODEL_TWO_SIDE, GL_COLOR_MATERIAL_FACE,
                                GL_COLOR_MATERIAL_PARAMETER})
                   r.push_back(getv(ctx, p, 1)[0]);
               GLfloat f[4] = {};
               GL(glGetLightfv)(GL_LIGHT1, GL_DIFFUSE, f);
               r.insert(r.end(), f, f + 4);
               GL(glGetLightfv)(GL_LIGHT2, GL_SPOT_EXPONENT, f);
               r.push_back(f[0]);
               GL(glGetMaterialfv)(GL_FRONT, GL_SHININESS, f);
               r.push_back(f[0]);
               return r;
           }},
          {"lighting", GL_LIGHTING_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_LIGHTING); }},
          {"light 1", GL_LIGHTING_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_LIGHT1); }},
          {"colour material", GL_LIGHTING_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_COLOR_MATERIAL); }}}},
        {GL_FOG_BIT,
         [](GlContext *ctx, int v) {
             GL(glFogi)(GL_FOG_MODE, v ? GL_EXP2 : GL_LINEAR);
             GL(glFogf)(GL_FOG_DENSITY, 0.5f + float(v));
             const GLfloat color[4] = {0.25f, 0.5f * float(v), 1.0f, 0.0f};
             GL(glFogfv)(GL_FOG_COLOR, color);
             able(ctx, GL_FOG, v);
         },
         {{"fog", GL_FOG_BIT,
           [](GlContext *ctx) {
               std::vector<double> r = getv(ctx, GL_FOG_COLOR, 4);
               r.push_back(getv(ctx, GL_FOG_MODE, 1)[0]);
               r.push_back(getv(ctx, GL_FOG_DENSITY, 1)[0]);
               return r;
           }},
          {"fog on", GL_FOG_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_FOG); }}}},
        {GL_DEPTH_BUFFER_BIT,
         [](GlContext *ctx, int v) {
             GL(glDepthFunc)(v ? GL_GEQUAL : GL_EQUAL);
             GL(glDepthMask)(GLboolean(v));
             GL(glClearDepth)(0.25 + 0.5 * v);
             able(ctx, GL_DEPTH_TEST, v);
         },
         {{"depth", GL_DEPTH_BUFFER_BIT,
           [](GlContext *ctx) {
               std::vector<double> r;
               for (GLenum p : {GL_DEPTH_FUNC, GL_DEPTH_WRITEMASK, GL_DEPTH_CLEAR_VALUE}) r.push_back(getv(ctx, p, 1)[0]);
               return r;
           }},
          {"depth test", GL_DEPTH_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_DEPTH_TEST); }}}},
        {GL_ACCUM_BUFFER_BIT, [](GlContext *ctx, int v) { GL(glClearAccum)(0.25f, -0.5f * float(v), 0.5f, 1.0f); },
         {{"accumulation clear", GL_ACCUM_BUFFER_BIT, [](GlContext *ctx) { return getv(ctx, GL_ACCUM_CLEAR_VALUE, 4); }}}},
        {GL_STENCIL_BUFFER_BIT,
         [](GlContext *ctx, int v) {
             GL(glStencilFunc)(v ? GL_GREATER : GL_LESS, 0, 0);
             GL(glStencilOp)(v ? GL_ZERO : GL_INVERT, v ? GL_INCR : GL_DECR, v ? GL_REPLACE : GL_KEEP);
             able(ctx, GL_STENCIL_TEST, v);
         },
         {{"stencil", GL_STENCIL_BUFFER_BIT,
           [](GlContext *ctx) {
               std::vector<double> r;
               for (GLenum p : {GL_STENCIL_FUNC, GL_STENCIL_FAIL, GL_STENCIL_PASS_DEPTH_FAIL, GL_STENCIL_PASS_DEPTH_PASS})
                   r.push_back(getv(ctx, p, 1)[0]);
               return r;
           }},
          {"stencil test", GL_STENCIL_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_STENCIL_TEST); }}}},
        {GL_VIEWPORT_BIT,
         [](GlContext *ctx, int v) {
             GL(glViewport)(1 + v, 2, 30 + 10 * v, 40);
             GL(glDepthRange)(0.25 * v, 0.75);
         },
         {{"viewport", GL_VIEWPORT_BIT, [](GlContext *ctx) { return getv(ctx, GL_VIEWPORT, 4); }},
          {"depth range", GL_VIEWPORT_BIT, [](GlContext *ctx) { return getv(ctx, GL_DEPTH_RANGE, 2); }}}},
        {GL_TRANSFORM_BIT,
         [](GlContext *ctx, int v) {
             GL(glMatrixMode)(v ? GL_TEXTURE : GL_PROJECTION);
             const GLdouble plane[4] = {1.0, 2.0 * v, 3.0, 4.0};
             GL(glClipPlane)(GL_CLIP_PLANE2, plane);
             able(ctx, GL_CLIP_PLANE2, v);
             able(ctx, GL_NORMALIZE, !v);
         },
         {{"matrix mode", GL_TRANSFORM_BIT, [](GlContext *ctx) { return getv(ctx, GL_MATRIX_MODE, 1); }},
          {"clip plane", GL_TRANSFORM_BIT,
           [](GlContext *ctx) {
               GLdouble eq[4] = {};
               GL(glGetClipPlane)(GL_CLIP_PLANE2, eq);
               return std::vector<double>(eq, eq + 4);
           }},
          {"clip plane on", GL_TRANSFORM_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_CLIP_PLANE2); }},
          {"normalize", GL_TRANSFORM_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_NORMALIZE); }}}},
        {GL_COLOR_BUFFER_BIT,
         [](GlContext *ctx, int v) {
             GL(glAlphaFunc)(v ? GL_GREATER : GL_LESS, 0.25f + 0.5f * float(v));
             GL(glBlendFunc)(v ? GL_SRC_ALPHA : GL_ONE, v ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
             GL(glLogicOp)(v ? GL_XOR : GL_INVERT);
             GL(glClearColor)(0.5f, 0.25f * float(v), 0.0f, 1.0f);
             GL(glColorMask)(GLboolean(v), 1, GLboolean(!v), 1);
             GL(glDrawBuffer)(v ? GL_FRONT : GL_BACK);
             able(ctx, GL_BLEND, v);
             able(ctx, GL_ALPHA_TEST, !v);
             able(ctx, GL_DITHER, v);
             able(ctx, GL_COLOR_LOGIC_OP, v);
         },
         {{"colour buffer", GL_COLOR_BUFFER_BIT,
           [](GlContext *ctx) {
               std::vector<double> r = getv(ctx, GL_COLOR_CLEAR_VALUE, 4);
               std::vector<double> m = getv(ctx, GL_COLOR_WRITEMASK, 4);
               r.insert(r.end(), m.begin(), m.end());
               for (GLenum p : {GL_ALPHA_TEST_FUNC, GL_ALPHA_TEST_REF, GL_BLEND_SRC, GL_BLEND_DST, GL_LOGIC_OP_MODE,
                                GL_DRAW_BUFFER})
                   r.push_back(getv(ctx, p, 1)[0]);
               return r;
           }},
          {"blend", GL_COLOR_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_BLEND); }},
          {"alpha test", GL_COLOR_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_ALPHA_TEST); }},
          {"dither", GL_COLOR_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_DITHER); }},
          {"logic op", GL_COLOR_BUFFER_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_COLOR_LOGIC_OP); }}}},
        {GL_HINT_BIT,
         [](GlContext *ctx, int v) {
             GL(glHint)(GL_FOG_HINT, v ? GL_NICEST : GL_FASTEST);
             GL(glHint)(GL_PERSPECTIVE_CORRECTION_HINT, v ? GL_FASTEST : GL_NICEST);
         },
         {{"hints", GL_HINT_BIT,
           [](GlContext *ctx) {
               return std::vector<double>{getv(ctx, GL_FOG_HINT, 1)[0], getv(ctx, GL_PERSPECTIVE_CORRECTION_HINT, 1)[0]};
           }}}},
        {GL_EVAL_BIT,
         [](GlContext *ctx, int v) {
             able(ctx, GL_AUTO_NORMAL, v);
             able(ctx, GL_MAP1_VERTEX_3, !v);
             able(ctx, GL_MAP2_COLOR_4, v);
         },
         {{"auto normal", GL_EVAL_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_AUTO_NORMAL); }},
          {"map1 vertex 3", GL_EVAL_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_MAP1_VERTEX_3); }},
          {"map2 colour 4", GL_EVAL_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_MAP2_COLOR_4); }}}},
        {GL_LIST_BIT, [](GlContext *ctx, int v) { GL(glListBase)(GLuint(3 + 4 * v)); },
         {{"list base", GL_LIST_BIT, [](GlContext *ctx) { return std::vector<double>{double(ctx->state.list.listBase)}; }}}},
        {GL_TEXTURE_BIT,
         [](GlContext *ctx, int v) {
             GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, v ? GL_SPHERE_MAP : GL_OBJECT_LINEAR);
             const GLfloat plane[4] = {1.0f, float(v), 0.5f, 0.0f};
             GL(glTexGenfv)(GL_T, GL_OBJECT_PLANE, plane);
             able(ctx, GL_TEXTURE_2D, v);
             able(ctx, GL_TEXTURE_GEN_S, !v);
             GL(glBindTexture)(GL_TEXTURE_2D, GLuint(5 + v));
             GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, v ? GL_LINEAR : GL_NEAREST_MIPMAP_NEAREST);
             GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, v ? GL_DECAL : GL_BLEND);
             // The second unit's enables (selected by the multitexture entries).
             ctx->state.enable.texUnitEnables[1] = v ? kGlEnableTexture2D | kGlEnableTexGenS : kGlEnableTexture1D;
         },
         {{"texture generation", GL_TEXTURE_BIT,
           [](GlContext *ctx) {
               GLfloat f[4] = {};
               GL(glGetTexGenfv)(GL_T, GL_OBJECT_PLANE, f);
               std::vector<double> r(f, f + 4);
               GLint mode = 0;
               GL(glGetTexGeniv)(GL_S, GL_TEXTURE_GEN_MODE, &mode);
               r.push_back(mode);
               return r;
           }},
          {"binding, parameters, environment", GL_TEXTURE_BIT,
           [](GlContext *ctx) {
               GLint filter = 0, mode = 0;
               GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
               GL(glGetTexEnviv)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
               return std::vector<double>{getv(ctx, GL_TEXTURE_BINDING_2D, 1)[0], double(filter), double(mode)};
           }},
          {"texture 2-D", GL_TEXTURE_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_TEXTURE_2D); }},
          {"generation S", GL_TEXTURE_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_TEXTURE_GEN_S); }},
          {"second unit", GL_TEXTURE_BIT | E,
           [](GlContext *ctx) { return std::vector<double>{double(ctx->state.enable.texUnitEnables[1])}; }}}},
        {GL_SCISSOR_BIT,
         [](GlContext *ctx, int v) {
             GL(glScissor)(1 + v, 2, 3, 4 + v);
             able(ctx, GL_SCISSOR_TEST, v);
         },
         {{"scissor box", GL_SCISSOR_BIT, [](GlContext *ctx) { return getv(ctx, GL_SCISSOR_BOX, 4); }},
          {"scissor test", GL_SCISSOR_BIT | E, [](GlContext *ctx) { return isOn(ctx, GL_SCISSOR_TEST); }}}},
        {GL_ENABLE_BIT, [](GlContext *ctx, int v) { able(ctx, GL_CULL_VERTEX_EXT, v); },
         {{"cull vertex", E, [](GlContext *ctx) { return isOn(ctx, GL_CULL_VERTEX_EXT); }}}},
    };
    return rows;
}

using Snapshot = std::vector<std::vector<double>>;

class AttribGroups : public AttribTest {
protected:
    void setAll(int v) {
        for (const GroupRow &g : groups()) g.set(ctx, v);
    }
    Snapshot snapshot() {
        Snapshot s;
        for (const GroupRow &g : groups())
            for (const Value &value : g.values) s.push_back(value.read(ctx));
        return s;
    }
    // Push `mask` over setting 0, change everything to setting 1, pop: the values the mask's
    // groups own are back at setting 0, all others stay at setting 1.
    void roundTrip(GLbitfield mask) {
        setAll(0);
        const Snapshot before = snapshot();
        GL(glPushAttrib)(mask);
        setAll(1);
        const Snapshot changed = snapshot();
        GL(glPopAttrib)();
        ASSERT_EQ(takeError(), GLenum(GL_NO_ERROR));
        const Snapshot after = snapshot();
        size_t i = 0;
        for (const GroupRow &g : groups())
            for (const Value &value : g.values) {
                SCOPED_TRACE(value.name);
                ASSERT_NE(before[i], changed[i]) << "the two settings must differ";
                EXPECT_EQ(after[i], (value.owners & mask) ? before[i] : changed[i]);
                ++i;
            }
    }
};

TEST_F(AttribGroups, EachGroupRestoresItsOwnStateAndNothingElse) {
    for (const GroupRow &g : groups()) {
        SCOPED_TRACE(testing::Message() << "group 0x" << std::hex << g.bit);
        roundTrip(g.bit);
    }
}

TEST_F(AttribGroups, AllAttribBitsRestoreEverythingAndCombinedMasksTheirGroups) {
    roundTrip(GL_ALL_ATTRIB_BITS);
    roundTrip(GL_LIGHTING_BIT | GL_TRANSFORM_BIT | GL_TEXTURE_BIT);
    roundTrip(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

TEST_F(AttribGroups, NestedPushesPopInReverseOrder) {
    GL(glDepthFunc)(GL_LESS);
    GL(glPushAttrib)(GL_DEPTH_BUFFER_BIT);
    GL(glDepthFunc)(GL_EQUAL);
    GL(glPushAttrib)(GL_ALL_ATTRIB_BITS);
    GL(glDepthFunc)(GL_ALWAYS);
    GL(glPopAttrib)();
    EXPECT_EQ(depth(GL_DEPTH_FUNC), GL_EQUAL);
    GL(glPopAttrib)();
    EXPECT_EQ(depth(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
}

// ---- limits and errors -----------------------------------------------------------------------

struct StackRow {
    const char *name;
    void (*push)(GlContext *ctx);
    void (*pop)(GlContext *ctx);
    GLenum depthName, maxName;
};
const StackRow kStacks[] = {
    {"server", [](GlContext *ctx) { GL(glPushAttrib)(GL_ALL_ATTRIB_BITS); }, [](GlContext *ctx) { GL(glPopAttrib)(); },
     GL_ATTRIB_STACK_DEPTH, GL_MAX_ATTRIB_STACK_DEPTH},
    {"client", [](GlContext *ctx) { GL(glPushClientAttrib)(GL_CLIENT_ALL_ATTRIB_BITS); },
     [](GlContext *ctx) { GL(glPopClientAttrib)(); }, GL_CLIENT_ATTRIB_STACK_DEPTH, GL_MAX_CLIENT_ATTRIB_STACK_DEPTH},
};

TEST_F(AttribTest, SeventeenthPushOverflowsAndAPopTooManyUnderflows) {
    for (const StackRow &s : kStacks) {
        SCOPED_TRACE(s.name);
        ASSERT_EQ(depth(s.maxName), 16);
        for (int i = 0; i < 16; ++i) s.push(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(depth(s.depthName), 16);
        s.push(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_STACK_OVERFLOW));
        EXPECT_EQ(depth(s.depthName), 16);
        for (int i = 0; i < 16; ++i) s.pop(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(depth(s.depthName), 0);
        s.pop(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_STACK_UNDERFLOW));
        EXPECT_EQ(depth(s.depthName), 0);
    }
}

TEST_F(AttribTest, InsideBeginEndPushAndPopAreRefused) {
    for (const StackRow &s : kStacks) {
        SCOPED_TRACE(s.name);
        s.push(ctx);
        GL(glBegin)(GL_POINTS);
        s.push(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_INVALID_OPERATION));
        s.pop(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_INVALID_OPERATION));
        GL(glEnd)();
        EXPECT_EQ(depth(s.depthName), 1);
        s.pop(ctx);
        // Even on an empty stack the begin-mode check comes first.
        GL(glBegin)(GL_POINTS);
        s.pop(ctx);
        EXPECT_EQ(takeError(), GLenum(GL_INVALID_OPERATION));
        GL(glEnd)();
        EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
    }
}

// ---- marking for validation --------------------------------------------------------------------

TEST_F(AttribTest, PushMarksNothingAndPopMarksWhatItRestored) {
    struct Row {
        GLbitfield mask;
        uint32_t dirty, tables;
    };
    const Row rows[] = {
        {GL_ENABLE_BIT, 0x1BF, 0},
        {GL_COLOR_BUFFER_BIT, 0x1, kGlTableAlphaTest},
        {GL_STENCIL_BUFFER_BIT, 0x1, kGlTableStencilFunc | kGlTableStencilOp},
        {GL_DEPTH_BUFFER_BIT, 0x81, 0},
        {GL_LIGHTING_BIT, 0x21, 0},
        {GL_LINE_BIT, 0x3, 0},
        {GL_POINT_BIT, 0x9, 0},
        {GL_POLYGON_BIT, 0x5, 0},
        {GL_PIXEL_MODE_BIT, 0x11, 0},
        {GL_SCISSOR_BIT, 0x101, 0},
        {GL_HINT_BIT, 0x1, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << "group 0x" << std::hex << r.mask);
        settle();
        GL(glPushAttrib)(r.mask);
        EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
        EXPECT_EQ(ctx->dirtyMask, 0u);
        GL(glPopAttrib)();
        EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        EXPECT_EQ(ctx->dirtyMask & r.dirty, r.dirty);
        EXPECT_EQ(ctx->tableDirtyMask & r.tables, r.tables);
        EXPECT_EQ(entry(0)->mask, 0u);
    }
}

// A popped entry gives its side copies back at once, so that reusing the entry for other groups
// or destroying the context with it never frees them again.
TEST_F(AttribTest, SideCopiesAreFreedOnceWhateverTheEntryIsUsedForNext) {
    static std::vector<void *> live, freedTwice;
    live.clear();
    freedTwice.clear();
    GlHostProcs saved = ctx->hostProcs;
    ctx->hostProcs.calloc = [](GlContext *c, size_t n, size_t size) {
        void *p = __wglHostProcs.procs.calloc(c, n, size);
        live.push_back(p);
        return p;
    };
    ctx->hostProcs.free = [](GlContext *c, void *p) {
        auto it = std::find(live.begin(), live.end(), p);
        if (it == live.end()) {
            freedTwice.push_back(p);
            return;
        }
        live.erase(it);
        __wglHostProcs.procs.free(c, p);
    };
    GL(glPushAttrib)(GL_LIGHTING_BIT | GL_TRANSFORM_BIT | GL_TEXTURE_BIT);
    EXPECT_EQ(live.size(), 3u);  // the entry, the lights, the clip planes
    GL(glPopAttrib)();
    EXPECT_EQ(live.size(), 1u);  // the entry stays with its slot
    EXPECT_EQ(entry(0)->lighting.lights, nullptr);
    EXPECT_EQ(entry(0)->transform.clipPlanes, nullptr);
    GL(glPushAttrib)(GL_CURRENT_BIT);
    GL(glPushAttrib)(GL_LIGHTING_BIT);  // left on the stack
    __glFreeAttribStack(ctx);
    EXPECT_TRUE(live.empty());
    EXPECT_TRUE(freedTwice.empty());
    EXPECT_EQ(depth(GL_ATTRIB_STACK_DEPTH), 0);
    ctx->hostProcs = saved;
}

TEST_F(AttribTest, APushThatCannotAllocateReportsOutOfMemoryAndLeavesTheStack) {
    static int allowed;
    GlHostProcs saved = ctx->hostProcs;
    ctx->hostProcs.calloc = [](GlContext *c, size_t n, size_t size) -> void * {
        if (allowed-- <= 0) return nullptr;
        return __wglHostProcs.procs.calloc(c, n, size);
    };
    // No entry; the entry (kept for its slot) but no lights; lights but no clip planes.
    for (int a : {0, 1, 1}) {
        SCOPED_TRACE(a);
        allowed = a;
        GL(glPushAttrib)(GL_LIGHTING_BIT | GL_TRANSFORM_BIT);
        EXPECT_EQ(takeError(), GLenum(GL_OUT_OF_MEMORY));
        EXPECT_EQ(depth(GL_ATTRIB_STACK_DEPTH), 0);
    }
    allowed = 1000;
    GL(glPushAttrib)(GL_LIGHTING_BIT | GL_TRANSFORM_BIT);
    EXPECT_EQ(depth(GL_ATTRIB_STACK_DEPTH), 1);
    GL(glPopAttrib)();
    EXPECT_EQ(takeError(), GLenum(GL_NO_ERROR));
    ctx->hostProcs = saved;
}

}  // namespace
