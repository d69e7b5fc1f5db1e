// The state-setting entries through the live table: what they store, the errors they report
// (and that an error changes nothing), and what they mark for validation.
#include <cmath>
#include <functional>
#include <limits>
#include "tests/icd_state/state_fixture.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr GLenum kBogus = 0x1234;

struct Case {
    const char *what;
    std::function<void()> call;
    GLenum error;
    uint32_t dirty;   // expected dirtyMask afterwards (0: beginMode is left alone)
    uint32_t tables;  // expected tableDirtyMask afterwards
    std::function<void()> check;
};

class Entries : public StateTest {
protected:
    void run(const std::vector<Case> &cases) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            settle();
            GlStateAreas before;
            std::memcpy(&before, &ctx->state, sizeof(before));
            c.call();
            EXPECT_EQ(ctx->error, c.error);
            EXPECT_EQ(ctx->dirtyMask, c.dirty);
            EXPECT_EQ(ctx->tableDirtyMask, c.tables);
            EXPECT_EQ(ctx->beginMode, c.dirty != 0 ? 2 : 0);
            if (c.error != GL_NO_ERROR) {
                EXPECT_EQ(std::memcmp(&before, &ctx->state, sizeof(before)), 0) << "state changed on an error";
            }
            if (c.check) c.check();
        }
    }
};

TEST_F(Entries, StoreCheckAndMark) {
    const GlStateAreas &s = ctx->state;
    const GLenum ok = GL_NO_ERROR, enumErr = GL_INVALID_ENUM, valueErr = GL_INVALID_VALUE;
    const float fogColor[4] = {2.0f, -1.0f, 0.5f, 1.0f};
    const GLint fogLinear = GL_LINEAR;
    const GLfloat fogEnd = 5.0f;
    const GLfloat attenuation[3] = {1.0f, 2.0f, 3.0f};
    const GLfloat objectPos[4] = {1.0f, 2.0f, 3.0f, 1.0f};
    GLdouble eyePos[4] = {4.0, 5.0, 6.0, 0.0};
    std::vector<Case> cases = {
        {"alpha function clamps the reference", [&] { GL(glAlphaFunc)(GL_GREATER, 1.5f); }, ok, 0x1, 0x1,
         [&] { EXPECT_EQ(s.mode.alphaFunc, GLenum(GL_GREATER)); EXPECT_EQ(s.color.alphaRef, 1.0f); }},
        {"alpha function NaN reference", [&] { GL(glAlphaFunc)(GL_LESS, kNaN); }, ok, 0x1, 0x1,
         [&] { EXPECT_EQ(s.color.alphaRef, 0.0f); }},
        {"alpha function bad func", [&] { GL(glAlphaFunc)(GL_NEVER - 1, 0.5f); }, enumErr, 0, 0, nullptr},
        {"blend factors", [&] { GL(glBlendFunc)(GL_SRC_ALPHA_SATURATE, GL_ONE_MINUS_DST_ALPHA); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.color.blendSrcFactor, GLenum(GL_SRC_ALPHA_SATURATE));
               EXPECT_EQ(s.color.blendDstFactor, GLenum(GL_ONE_MINUS_DST_ALPHA)); }},
        {"source colour is no source factor", [&] { GL(glBlendFunc)(GL_SRC_COLOR, GL_ZERO); }, enumErr, 0, 0, nullptr},
        {"saturate is no destination factor", [&] { GL(glBlendFunc)(GL_ONE, GL_SRC_ALPHA_SATURATE); }, enumErr, 0, 0, nullptr},
        {"clear colour clamps and marks nothing", [&] { GL(glClearColor)(-1.0f, 0.5f, 2.0f, kNaN); }, ok, 0, 0,
         [&] { EXPECT_EQ(s.color.clearColor[0], 0.0f); EXPECT_EQ(s.color.clearColor[1], 0.5f);
               EXPECT_EQ(s.color.clearColor[2], 1.0f); EXPECT_EQ(s.color.clearColor[3], 0.0f); }},
        {"clear accumulation clamps to [-1, 1]", [&] { GL(glClearAccum)(-2.0f, 2.0f, 0.5f, -0.5f); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.color.clearAccum[0], -1.0f); EXPECT_EQ(s.color.clearAccum[1], 1.0f);
               EXPECT_EQ(s.color.clearAccum[3], -0.5f); }},
        {"clear depth NaN is 1", [&] { GL(glClearDepth)(std::nan("")); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.mode.depthClear, 1.0); }},
        {"clear depth clamps", [&] { GL(glClearDepth)(-3.0); }, ok, 0x1, 0, [&] { EXPECT_EQ(s.mode.depthClear, 0.0); }},
        {"clear index keeps four fraction bits", [&] { GL(glClearIndex)(3.53f); }, ok, 0, 0,
         [&] { EXPECT_EQ(s.color.clearIndex, 3.5f); }},
        {"clear index cut to the index bits", [&] { GL(glClearIndex)(65537.25f); }, ok, 0, 0,
         [&] { EXPECT_EQ(s.color.clearIndex, 1.25f); }},
        {"clear stencil cut to the stencil bits", [&] { GL(glClearStencil)(0x1FF); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.depthStencil.stencilClear, 0xFFu); }},
        {"stencil function with a negative reference", [&] { GL(glStencilFunc)(GL_LESS, -5, ~0u); }, ok, 0x1, 0x2,
         [&] { EXPECT_EQ(s.depthStencil.stencilRef, 0u); EXPECT_EQ(s.mode.stencilValueMask, 0xFFu); }},
        {"stencil function with a large reference", [&] { GL(glStencilFunc)(GL_EQUAL, 1000, 0x0F0F); }, ok, 0x1, 0x2,
         [&] { EXPECT_EQ(s.depthStencil.stencilRef, 255u); EXPECT_EQ(s.mode.stencilValueMask, 0x0Fu);
               EXPECT_EQ(s.mode.stencilFunc, GLenum(GL_EQUAL)); }},
        {"stencil function bad func", [&] { GL(glStencilFunc)(GL_ALWAYS + 1, 0, 0); }, enumErr, 0, 0, nullptr},
        {"stencil write mask", [&] { GL(glStencilMask)(0xFFFF); }, ok, 0x1, 0x2,
         [&] { EXPECT_EQ(s.mode.stencilWriteMask, 0xFFu); }},
        {"stencil operations", [&] { GL(glStencilOp)(GL_ZERO, GL_INCR, GL_INVERT); }, ok, 0x1, 0x4,
         [&] { EXPECT_EQ(s.mode.stencilFail, GLenum(GL_ZERO)); EXPECT_EQ(s.mode.stencilDepthFail, GLenum(GL_INCR));
               EXPECT_EQ(s.mode.stencilDepthPass, GLenum(GL_INVERT)); }},
        {"stencil operation bad third", [&] { GL(glStencilOp)(GL_KEEP, GL_KEEP, GL_ALWAYS); }, enumErr, 0, 0, nullptr},
        {"colour mask", [&] { GL(glColorMask)(1, 0, 1, 0); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.color.colorMask[0], 1); EXPECT_EQ(s.color.colorMask[1], 0); EXPECT_EQ(s.color.colorMask[3], 0); }},
        {"index mask cut to the visual", [&] { GL(glIndexMask)(~0u); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.color.indexMask, 0xFFFFu); }},
        {"cull face", [&] { GL(glCullFace)(GL_FRONT_AND_BACK); }, ok, 0x4, 0,
         [&] { EXPECT_EQ(s.mode.cullFace, GLenum(GL_FRONT_AND_BACK)); }},
        {"cull face bad mode", [&] { GL(glCullFace)(GL_CW); }, enumErr, 0, 0, nullptr},
        {"front face", [&] { GL(glFrontFace)(GL_CW); }, ok, 0x4, 0, [&] { EXPECT_EQ(s.mode.frontFace, GLenum(GL_CW)); }},
        {"front face bad mode", [&] { GL(glFrontFace)(GL_FRONT); }, enumErr, 0, 0, nullptr},
        {"depth function", [&] { GL(glDepthFunc)(GL_GEQUAL); }, ok, 0x80, 0,
         [&] { EXPECT_EQ(s.mode.depthFunc, GLenum(GL_GEQUAL)); }},
        {"depth function bad", [&] { GL(glDepthFunc)(GL_ZERO); }, enumErr, 0, 0, nullptr},
        {"depth mask", [&] { GL(glDepthMask)(0); }, ok, 0x80, 0, [&] { EXPECT_EQ(s.depthStencil.depthWriteMask, 0); }},
        {"logic op", [&] { GL(glLogicOp)(GL_XOR); }, ok, 0x1, 0, [&] { EXPECT_EQ(s.mode.logicOp, GLenum(GL_XOR)); }},
        {"logic op past the last", [&] { GL(glLogicOp)(GL_SET + 1); }, enumErr, 0, 0, nullptr},
        {"shade model", [&] { GL(glShadeModel)(GL_FLAT); }, ok, 0x1, 0, [&] { EXPECT_EQ(s.mode.shadeModel, GLenum(GL_FLAT)); }},
        {"shade model bad", [&] { GL(glShadeModel)(GL_SMOOTH + 1); }, enumErr, 0, 0, nullptr},
        {"point smooth hint marks points", [&] { GL(glHint)(GL_POINT_SMOOTH_HINT, GL_NICEST); }, ok, 0x8, 0,
         [&] { EXPECT_EQ(s.mode.hints[1], GLenum(GL_NICEST)); }},
        {"line smooth hint marks lines", [&] { GL(glHint)(GL_LINE_SMOOTH_HINT, GL_FASTEST); }, ok, 0x2, 0, nullptr},
        {"polygon smooth hint marks polygons", [&] { GL(glHint)(GL_POLYGON_SMOOTH_HINT, GL_FASTEST); }, ok, 0x4, 0, nullptr},
        {"fog hint", [&] { GL(glHint)(GL_FOG_HINT, GL_NICEST); }, ok, 0x1, 0, [&] { EXPECT_EQ(s.mode.hints[4], GLenum(GL_NICEST)); }},
        {"hint bad target", [&] { GL(glHint)(kBogus, GL_NICEST); }, enumErr, 0, 0, nullptr},
        {"hint bad mode", [&] { GL(glHint)(GL_FOG_HINT, kBogus); }, enumErr, 0, 0, nullptr},
        {"polygon mode of the back face in lines", [&] { GL(glPolygonMode)(GL_BACK, GL_LINE); }, ok, 0x6, 0,
         [&] { EXPECT_EQ(s.mode.polygonMode[0], GLenum(GL_FILL)); EXPECT_EQ(s.mode.polygonMode[1], GLenum(GL_LINE)); }},
        {"polygon mode of both in points", [&] { GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_POINT); }, ok, 0xC, 0,
         [&] { EXPECT_EQ(s.mode.polygonMode[0], GLenum(GL_POINT)); EXPECT_EQ(s.mode.polygonMode[1], GLenum(GL_POINT)); }},
        {"polygon mode bad mode", [&] { GL(glPolygonMode)(GL_FRONT, kBogus); }, enumErr, 0, 0, nullptr},
        {"polygon mode bad face", [&] { GL(glPolygonMode)(GL_LEFT, GL_FILL); }, enumErr, 0, 0, nullptr},
        {"polygon offset", [&] { GL(glPolygonOffset)(1.5f, -2.0f); }, ok, 0x4, 0,
         [&] { EXPECT_EQ(s.polygonOffset.offsetFactor, 1.5f); EXPECT_EQ(s.polygonOffset.offsetUnits, -2.0f); }},
        {"line stipple factor 0 is 1", [&] { GL(glLineStipple)(0, 0xAAAA); }, ok, 0x2, 0,
         [&] { EXPECT_EQ(s.line.lineStippleRepeat, 1); EXPECT_EQ(s.line.lineStipplePattern, 0xAAAA); }},
        {"line stipple factor 1000 is 256", [&] { GL(glLineStipple)(1000, 0x0F0F); }, ok, 0x2, 0,
         [&] { EXPECT_EQ(s.line.lineStippleRepeat, 256); }},
        {"line width 0", [&] { GL(glLineWidth)(0.0f); }, valueErr, 0, 0, nullptr},
        {"line width -0", [&] { GL(glLineWidth)(-0.0f); }, valueErr, 0, 0, nullptr},
        {"line width NaN", [&] { GL(glLineWidth)(kNaN); }, valueErr, 0, 0, nullptr},
        {"line width quantised, integer rounded", [&] { GL(glLineWidth)(2.45f); }, ok, 0x2, 0,
         [&] { EXPECT_EQ(s.line.lineWidthRequested, 2.45f); EXPECT_EQ(s.line.lineWidth, 2.5f); EXPECT_EQ(s.line.lineWidthInt, 2); }},
        {"line width below the range", [&] { GL(glLineWidth)(0.3f); }, ok, 0x2, 0,
         [&] { EXPECT_EQ(s.line.lineWidth, 0.5f); EXPECT_EQ(s.line.lineWidthInt, 1); }},
        {"line width far above the range", [&] { GL(glLineWidth)(1e10f); }, ok, 0x2, 0,
         [&] { EXPECT_EQ(s.line.lineWidth, 10.0f); EXPECT_EQ(s.line.lineWidthInt, 10); }},
        {"point size -1", [&] { GL(glPointSize)(-1.0f); }, valueErr, 0, 0, nullptr},
        {"point size quantised", [&] { GL(glPointSize)(2.7f); }, ok, 0x8, 0,
         [&] { EXPECT_EQ(s.point.pointSize, 2.5f); EXPECT_EQ(s.point.pointSizeInt, 3); }},
        {"fog density -0 is non-negative", [&] { GL(glFogf)(GL_FOG_DENSITY, -0.0f); }, ok, 0x1, 0,
         [&] { EXPECT_TRUE(std::signbit(s.fog.fogDensity)); }},
        {"fog density negative", [&] { GL(glFogf)(GL_FOG_DENSITY, -1.0f); }, valueErr, 0, 0, nullptr},
        {"fog density NaN", [&] { GL(glFogf)(GL_FOG_DENSITY, kNaN); }, valueErr, 0, 0, nullptr},
        {"fog colour is no scalar", [&] { GL(glFogf)(GL_FOG_COLOR, 1.0f); }, enumErr, 0, 0, nullptr},
        {"fog mode linear", [&] { GL(glFogiv)(GL_FOG_MODE, &fogLinear); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogMode, GLenum(GL_LINEAR)); EXPECT_EQ(s.fog.fogOneOverEndMinusStart, 1.0f); }},
        {"fog end with linear mode", [&] { GL(glFogfv)(GL_FOG_END, &fogEnd); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogEnd, 5.0f); EXPECT_EQ(s.fog.fogOneOverEndMinusStart, 0.2f); }},
        {"fog start at the end", [&] { GL(glFogi)(GL_FOG_START, 5); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogOneOverEndMinusStart, 0.0f); }},
        {"fog mode bad", [&] { GL(glFogf)(GL_FOG_MODE, float(GL_FOG)); }, enumErr, 0, 0, nullptr},
        {"fog mode exp2 as a float", [&] { GL(glFogf)(GL_FOG_MODE, float(GL_EXP2)); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogMode, GLenum(GL_EXP2)); }},
        {"fog index", [&] { GL(glFogf)(GL_FOG_INDEX, 259.9f); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogIndex, 259.0f); EXPECT_EQ(s.fog.fogIndexByte, 3); }},
        {"fog colour clamped and scaled", [&] { GL(glFogfv)(GL_FOG_COLOR, fogColor); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.fog.fogColor[0], 1.0f); EXPECT_EQ(s.fog.fogColor[1], 0.0f);
               EXPECT_EQ(s.fog.fogScaledColor[0], 255.0f); EXPECT_EQ(s.fog.fogScaledColor[2], 127.5f);
               EXPECT_EQ(s.fog.fogColorBytes[0], 255); EXPECT_EQ(s.fog.fogColorBytes[1], 0);
               EXPECT_EQ(s.fog.fogColorBytes[2], 128); }},
        {"fog bad pname", [&] { GL(glFogfv)(kBogus, fogColor); }, enumErr, 0, 0, nullptr},
        {"point size minimum", [&] { GL(__glDoPointParameterfEXT)(GL_POINT_SIZE_MIN_EXT, 2.0f); }, ok, 0x8, 0,
         [&] { EXPECT_EQ(s.point.pointSizeMin, 2.0f); }},
        {"attenuation is no scalar", [&] { GL(__glDoPointParameterfEXT)(GL_DISTANCE_ATTENUATION_EXT, 1.0f); }, enumErr, 0, 0, nullptr},
        {"distance attenuation", [&] { GL(__glDoPointParameterfvEXT)(GL_DISTANCE_ATTENUATION_EXT, attenuation); }, ok, 0x8, 0,
         [&] { EXPECT_EQ(s.point.pointAttenuation[2], 3.0f); }},
        {"negative fade threshold", [&] { GL(__glDoPointParameterfEXT)(GL_POINT_FADE_THRESHOLD_SIZE_EXT, -1.0f); }, valueErr, 0, 0, nullptr},
        {"cull object position", [&] { GL(__glDoCullParameterfvEXT)(GL_CULL_VERTEX_OBJECT_POSITION_EXT, const_cast<GLfloat *>(objectPos)); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.cullVertex.cullVertexObjectPosition[2], 3.0f); EXPECT_EQ(s.cullVertex.cullVertexObjectInForce, 1); }},
        {"cull eye position from doubles", [&] { GL(__glDoCullParameterdvEXT)(GL_CULL_VERTEX_EYE_POSITION_EXT, eyePos); }, ok, 0x1, 0,
         [&] { EXPECT_EQ(s.cullVertex.cullVertexEyePosition[1], 5.0f); EXPECT_EQ(s.cullVertex.cullVertexObjectInForce, 0); }},
        {"cull parameter bad pname", [&] { GL(__glDoCullParameterdvEXT)(kBogus, eyePos); }, enumErr, 0, 0, nullptr},
    };
    run(cases);
}

TEST_F(Entries, EnableTable) {
    const GlEnableState &e = ctx->state.enable;
    const GlArrayEnableState &a = ctx->state.arrayEnable;
    const GLenum ok = GL_NO_ERROR, enumErr = GL_INVALID_ENUM;
    std::vector<Case> cases = {
        {"fog", [&] { GL(glEnable)(GL_FOG); }, ok, 0x1, 0, [&] { EXPECT_TRUE(e.enables & kGlEnableFog); }},
        {"line stipple", [&] { GL(glEnable)(GL_LINE_STIPPLE); }, ok, 0x2, 0, [&] { EXPECT_TRUE(e.enables & 0x100); }},
        {"polygon stipple", [&] { GL(glEnable)(GL_POLYGON_STIPPLE); }, ok, 0x4, 0, [&] { EXPECT_TRUE(e.enables & 0x2000); }},
        {"depth test", [&] { GL(glEnable)(GL_DEPTH_TEST); }, ok, 0x81, 0, [&] { EXPECT_TRUE(e.enables & 0x10); }},
        {"offset point", [&] { GL(glEnable)(GL_POLYGON_OFFSET_POINT); }, ok, 0x9, 0, [&] { EXPECT_TRUE(e.enables & 0x40000); }},
        {"offset line", [&] { GL(glEnable)(GL_POLYGON_OFFSET_LINE); }, ok, 0x3, 0, [&] { EXPECT_TRUE(e.enables & 0x80000); }},
        {"offset fill", [&] { GL(glEnable)(GL_POLYGON_OFFSET_FILL); }, ok, 0x5, 0, [&] { EXPECT_TRUE(e.enables & 0x100000); }},
        {"cull vertex", [&] { GL(glEnable)(GL_CULL_VERTEX_EXT); }, ok, 0x1, 0, [&] { EXPECT_TRUE(e.enables & 0x1000000); }},
        {"dither off", [&] { GL(glDisable)(GL_DITHER); }, ok, 0x1, 0, [&] { EXPECT_FALSE(e.enables & kGlEnableDither); }},
        {"light 3", [&] { GL(glEnable)(GL_LIGHT3); }, ok, 0x20, 0, [&] { EXPECT_EQ(e.lightEnables, 0x8u); }},
        {"light 8 does not exist", [&] { GL(glEnable)(GL_LIGHT0 + 8); }, enumErr, 0, 0, nullptr},
        {"clip plane 5", [&] { GL(glEnable)(GL_CLIP_PLANE5); }, ok, 0x1, 0, [&] { EXPECT_EQ(e.clipPlaneEnables, 0x20u); }},
        {"clip plane 6 does not exist", [&] { GL(glEnable)(GL_CLIP_PLANE0 + 6); }, enumErr, 0, 0, nullptr},
        {"texture 2D", [&] { GL(glEnable)(GL_TEXTURE_2D); }, ok, 0x1, 0, [&] { EXPECT_EQ(e.texUnitEnables[0], 0x2u); }},
        {"texture generation R", [&] { GL(glEnable)(GL_TEXTURE_GEN_R); }, ok, 0x1, 0, [&] { EXPECT_EQ(e.texUnitEnables[0], 0x12u); }},
        {"map2 vertex 4", [&] { GL(glEnable)(GL_MAP2_VERTEX_4); }, ok, 0x1, 0, [&] { EXPECT_EQ(e.map2Enables, 0x100); }},
        {"map1 colour 4", [&] { GL(glEnable)(GL_MAP1_COLOR_4); }, ok, 0x1, 0, [&] { EXPECT_EQ(e.map1Enables, 0x1); }},
        {"vertex array through glEnable", [&] { GL(glEnable)(GL_VERTEX_ARRAY); }, ok, 0x200, 0,
         [&] { EXPECT_EQ(a.enableMask, 0x20u); EXPECT_EQ(a.enabledFormatMask, 0xFFu); }},
        {"index array", [&] { GL(glEnableClientState)(GL_INDEX_ARRAY); }, ok, 0x200, 0,
         [&] { EXPECT_EQ(a.enableMask, 0x28u); EXPECT_EQ(a.enabledFormatMask, 0xF00000FFu); }},
        {"vertex array off through glDisable", [&] { GL(glDisable)(GL_VERTEX_ARRAY); }, ok, 0x200, 0,
         [&] { EXPECT_EQ(a.enableMask, 0x8u); EXPECT_EQ(a.enabledFormatMask, 0xF0000000u); }},
        {"client state of a capability", [&] { GL(glEnableClientState)(GL_TEXTURE_2D); }, enumErr, 0, 0, nullptr},
        {"unknown capability", [&] { GL(glEnable)(kBogus); }, enumErr, 0, 0, nullptr},
    };
    run(cases);
}

// The texture enables follow the active unit, texture generation the active coordinate set.
TEST_F(Entries, TextureEnablesFollowTheSelectors) {
    settle();
    ctx->state.unitSelect.activeTexture = 1;
    ctx->state.unitSelect.activeTexCoordSet = 0;
    GL(glEnable)(GL_TEXTURE_1D);
    GL(glEnable)(GL_TEXTURE_GEN_Q);
    EXPECT_EQ(ctx->state.enable.texUnitEnables[1], 0x1u);
    EXPECT_EQ(ctx->state.enable.texUnitEnables[0], 0x20u);
}

// Inside glBegin/glEnd the begin test comes first, except for the scalar forms, which test
// their pname before it, and glMaterial, which has no begin test.
TEST_F(Entries, CheckOrderInsideBegin) {
    const GLenum op = GL_INVALID_OPERATION, enumErr = GL_INVALID_ENUM;
    struct Row {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } rows[] = {
        {"bad cull face", [&] { GL(glCullFace)(kBogus); }, op},
        {"enable", [&] { GL(glEnable)(GL_FOG); }, op},
        {"client state", [&] { GL(glEnableClientState)(GL_VERTEX_ARRAY); }, op},
        {"fog scalar bad pname", [&] { GL(glFogf)(kBogus, 1.0f); }, enumErr},
        {"fog scalar good pname", [&] { GL(glFogf)(GL_FOG_DENSITY, 1.0f); }, op},
        {"fog vector bad pname", [&] { GL(glFogfv)(kBogus, nullptr); }, op},
        {"light scalar position", [&] { GL(glLightf)(GL_LIGHT0, GL_POSITION, 1.0f); }, enumErr},
        {"light scalar bad light", [&] { GL(glLightf)(kBogus, GL_SPOT_EXPONENT, 1.0f); }, op},
        {"light model scalar ambient", [&] { GL(glLightModelf)(GL_LIGHT_MODEL_AMBIENT, 1.0f); }, enumErr},
        {"material scalar ambient", [&] { GL(glMaterialf)(GL_FRONT, GL_AMBIENT, 1.0f); }, enumErr},
        {"material shininess", [&] { GL(glMaterialf)(GL_FRONT, GL_SHININESS, 5.0f); }, GL_NO_ERROR},
        {"point parameter scalar attenuation", [&] { GL(__glDoPointParameterfEXT)(GL_DISTANCE_ATTENUATION_EXT, 1.0f); }, enumErr},
        {"cull parameter doubles bad pname", [&] { GL(__glDoCullParameterdvEXT)(kBogus, nullptr); }, enumErr},
        {"clear", [&] { GL(glClear)(GL_COLOR_BUFFER_BIT); }, op},
        {"draw buffer", [&] { GL(glDrawBuffer)(GL_FRONT); }, op},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        settle();
        ctx->beginMode = kGlInsideBegin;
        uint32_t enables = ctx->state.enable.enables;
        r.call();
        EXPECT_EQ(ctx->error, r.error);
        EXPECT_EQ(ctx->beginMode, kGlInsideBegin);
        EXPECT_EQ(ctx->dirtyMask, 0u);
        EXPECT_EQ(ctx->state.enable.enables, enables);
    }
    EXPECT_EQ(ctx->state.lighting.frontMaterial.shininess, 5.0f);
}

}  // namespace
