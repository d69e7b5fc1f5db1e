// The immediate-mode entries seen from a program: the current attributes each form stores, the
// vertex a handler receives (object, clip and window coordinates, size and out-codes, copied
// attributes), the raster position, rectangles, bitmaps and the errors inside glBegin/glEnd.
#include <climits>
#include <cmath>
#include <functional>
#include "tests/icd_immediate/immediate_fixture.h"

namespace {
constexpr float kByteScale = std::bit_cast<float>(0x3B808081u);
constexpr float kShortScale = std::bit_cast<float>(0x37800080u);
constexpr float kIntScale = std::bit_cast<float>(0x2F800005u);

// What the int forms must give: 2c + 1 (or c) in extended precision, rounded once.
float intColor(long double c) { return float((2.0L * c + 1.0L) * (long double)kIntScale); }
float uintColor(long double c) { return float(c * (long double)kIntScale); }
}  // namespace

// Every colour type's conversion, checked to the bit against the stated formula.
TEST_F(ImmediateTest, ColorFormsConvertEachTypeToTheBit) {
    const GLbyte b3[3] = {-128, 127, 0};
    const GLuint ui4[4] = {0xFFFFFFFFu, 0, 1, 0x80000000u};
    const GLint i4[4] = {INT_MIN, INT_MAX, 0, -1};
    const GLdouble d3[3] = {0.1, -2.5, 1e40};
    struct Case {
        const char *what;
        std::function<void()> call;
        float want[4];
    } cases[] = {
        {"3ub", [&] { GL(glColor3ub)(255, 0, 128); }, {1.0f, 0.0f, ctx->ubyteToFloat[128], 1.0f}},
        {"3bv", [&] { GL(glColor3bv)(b3); }, {-255.0f * kByteScale, 255.0f * kByteScale, kByteScale, 1.0f}},
        {"4s", [&] { GL(glColor4s)(-32768, 32767, 0, 1); },
         {-65535.0f * kShortScale, 65535.0f * kShortScale, kShortScale, 3.0f * kShortScale}},
        {"4us", [&] { GL(glColor4us)(65535, 0, 1, 32768); },
         {65535.0f * kShortScale, 0.0f, kShortScale, 32768.0f * kShortScale}},
        {"4iv", [&] { GL(glColor4iv)(i4); }, {intColor(INT_MIN), intColor(INT_MAX), intColor(0), intColor(-1)}},
        {"4uiv", [&] { GL(glColor4uiv)(ui4); },
         {uintColor(4294967295.0L), 0.0f, uintColor(1), uintColor(2147483648.0L)}},
        {"3dv", [&] { GL(glColor3dv)(d3); }, {0.1f, -2.5f, float(1e40), 1.0f}},
        {"4f", [&] { GL(glColor4f)(0.25f, 2.0f, -1.0f, 0.5f); }, {0.25f, 2.0f, -1.0f, 0.5f}},
    };
    for (const Case &c : cases) {
        c.call();
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(bitsOf(ctx->current.color[i]), bitsOf(c.want[i])) << c.what << " component " << i;
    }
    // The unsigned maximum lands just above 1, never negative; the signed extremes stay finite.
    GL(glColor4ui)(0xFFFFFFFFu, 0, 0, 0);
    EXPECT_GT(ctx->current.color[0], 1.0f);
    GL(glColor4i)(INT_MIN, INT_MAX, 0, 0);
    EXPECT_NEAR(ctx->current.color[0], -1.0f, 1e-6f);
    EXPECT_NEAR(ctx->current.color[1], 1.0f, 1e-6f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// The colour a vertex copies is the current colour clamped and scaled to the colour buffer.
TEST_F(ImmediateTest, ScaledColorFollowsEveryColorCall) {
    GL(glColor4f)(0.5f, 2.0f, -1.0f, 0.25f);
    const GlColorScales &s = ctx->scales;
    const float *sc = ctx->current.vertex.scaledColor;
    EXPECT_FLOAT_EQ(sc[0], 0.5f * s.redScale);
    EXPECT_FLOAT_EQ(sc[1], s.greenScale);
    EXPECT_FLOAT_EQ(sc[2], 0.0f);
    EXPECT_FLOAT_EQ(sc[3], 0.25f * s.alphaScale);
}

TEST_F(ImmediateTest, NormalIndexTexCoordAndEdgeFlagForms) {
    GL(glNormal3b)(0, 0, 127);
    EXPECT_EQ(bitsOf(ctx->current.normal[0]), bitsOf(kByteScale));
    EXPECT_EQ(bitsOf(ctx->current.normal[1]), bitsOf(kByteScale));
    EXPECT_EQ(bitsOf(ctx->current.normal[2]), bitsOf(255.0f * kByteScale));
    const GLint ni[3] = {INT_MAX, 0, INT_MIN};
    GL(glNormal3iv)(ni);
    EXPECT_EQ(bitsOf(ctx->current.normal[0]), bitsOf(intColor(INT_MAX)));
    EXPECT_EQ(bitsOf(ctx->current.normal[2]), bitsOf(intColor(INT_MIN)));
    GL(glNormal3d)(3.0, -4.0, 12.0);  // no normalisation
    EXPECT_EQ(ctx->current.normal[2], 12.0f);

    GL(glIndexub)(200);
    EXPECT_EQ(ctx->current.index, 200.0f);
    const GLshort is = -7;
    GL(glIndexsv)(&is);
    EXPECT_EQ(ctx->current.index, -7.0f);

    struct Tex {
        std::function<void()> call;
        float want[4];
    } tex[] = {
        {[&] { GL(glTexCoord1i)(5); }, {5, 0, 0, 1}},
        {[&] { GL(glTexCoord2s)(-3, 4); }, {-3, 4, 0, 1}},
        {[&] { GL(glTexCoord3d)(0.5, 1.5, 2.5); }, {0.5f, 1.5f, 2.5f, 1}},
        {[&] { const GLfloat v[4] = {1, 2, 3, 4}; GL(glTexCoord4fv)(v); }, {1, 2, 3, 4}},
    };
    for (const Tex &t : tex) {
        t.call();
        for (int i = 0; i < 4; ++i) EXPECT_EQ(ctx->current.texCoord[i], t.want[i]) << i;
    }
    GL(glEdgeFlag)(2);  // stored as passed; readers test for non-zero
    EXPECT_EQ(ctx->current.edgeFlag, 2);
    const GLboolean off = 0;
    GL(glEdgeFlagv)(&off);
    EXPECT_EQ(ctx->current.edgeFlag, 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// The multitexture coordinates: which targets store into which set, and the errors.
TEST_F(ImmediateTest, MultiTexCoordTargetsAndErrors) {
    GL(__glDoMultiTexCoord2fSGIS)(0x835F, 0.25f, 0.75f);
    EXPECT_EQ(ctx->current.vertex.texCoord1[0], 0.25f);
    EXPECT_EQ(ctx->current.vertex.texCoord1[1], 0.75f);
    EXPECT_EQ(ctx->current.vertex.texCoord1[3], 1.0f);
    GL(__glDoMultiTexCoord3sSGIS)(0x835E, 1, 2, 3);
    EXPECT_EQ(ctx->current.texCoord[2], 3.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));

    const float before0 = ctx->current.texCoord[0], before1 = ctx->current.vertex.texCoord1[0];
    GL(__glDoMultiTexCoord2fSGIS)(0x8360, 9, 9);  // unit 2: no such coordinate set
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(__glDoMultiTexCoord2fSGIS)(0x835D, 9, 9);  // below GL_TEXTURE0_SGIS
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(__glDoMultiTexCoord4dvSGIS)(0x8362, nullptr);  // rejected before the pointer is read
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    EXPECT_EQ(ctx->current.texCoord[0], before0);
    EXPECT_EQ(ctx->current.vertex.texCoord1[0], before1);

    // glTexCoord writes the selected set.
    GL(__glDoSelectTextureCoordSetSGIS)(0x835F);
    EXPECT_EQ(ctx->state.unitSelect.activeTexCoordSet, 1u);
    GL(glTexCoord2f)(7, 8);
    EXPECT_EQ(ctx->current.vertex.texCoord1[0], 7.0f);
    EXPECT_EQ(ctx->current.texCoord[0], before0);
    GL(__glDoSelectTextureSGIS)(0x835F);
    EXPECT_EQ(ctx->state.unitSelect.activeTexture, 1u);

    struct Bad {
        GLenum target;
        GLenum want;
    } bad[] = {{0x8360, GL_INVALID_OPERATION}, {0x8361, GL_INVALID_OPERATION}, {0x835D, GL_INVALID_ENUM},
               {0x8362, GL_INVALID_ENUM}};
    for (const Bad &b : bad) {
        GL(__glDoSelectTextureSGIS)(b.target);
        EXPECT_EQ(error(), b.want) << std::hex << b.target;
        GL(__glDoSelectTextureCoordSetSGIS)(b.target);
        EXPECT_EQ(error(), b.want) << std::hex << b.target;
    }
    EXPECT_EQ(ctx->state.unitSelect.activeTexture, 1u);
    EXPECT_EQ(ctx->state.unitSelect.activeTexCoordSet, 1u);
}

// Each glVertex form gives the handler one record with its object coordinates, the size code,
// clip coordinates by the composite matrix and, inside the frustum, window coordinates.
TEST_F(ImmediateTest, VertexFormsReachTheHandlerTransformed) {
    recordVertices();
    GL(glMatrixMode)(GL_MODELVIEW);
    GL(glTranslatef)(0.25f, -0.5f, 0.0f);
    const GLdouble d[4] = {0.5, 0.25, -0.5, 2.0};
    const GLint iv[3] = {0, 0, 1};
    const GLshort sv[4] = {1, 1, 1, 2};
    struct Case {
        std::function<void()> call;
        float obj[4];
        uint32_t size;
    } cases[] = {
        {[&] { GL(glVertex2i)(3, 4); }, {3, 4, 0, 1}, 0x400},
        {[&] { GL(glVertex2dv)(d); }, {0.5f, 0.25f, 0, 1}, 0x400},
        {[&] { GL(glVertex2s)(-1, 0); }, {-1, 0, 0, 1}, 0x400},
        {[&] { const GLfloat f[2] = {0.5f, 0.5f}; GL(glVertex2fv)(f); }, {0.5f, 0.5f, 0, 1}, 0x400},
        {[&] { GL(glVertex3f)(0.1f, 0.2f, 0.3f); }, {0.1f, 0.2f, 0.3f, 1}, 0x800},
        {[&] { GL(glVertex3iv)(iv); }, {0, 0, 1, 1}, 0x800},
        {[&] { GL(glVertex3d)(0.5, 0.25, -0.5); }, {0.5f, 0.25f, -0.5f, 1}, 0x800},
        {[&] { GL(glVertex4dv)(d); }, {0.5f, 0.25f, -0.5f, 2}, 0xC00},
        {[&] { GL(glVertex4sv)(sv); }, {1, 1, 1, 2}, 0xC00},
        {[&] { GL(glVertex4i)(0, 0, 0, 1); }, {0, 0, 0, 1}, 0xC00},
    };
    const GlViewport &vp = viewport();
    for (const Case &c : cases) {
        receivedVertices().clear();
        c.call();
        ASSERT_EQ(receivedVertices().size(), 1u);
        const GlVertex &v = receivedVertices()[0];
        for (int i = 0; i < 4; ++i) EXPECT_EQ(v.obj[i], c.obj[i]) << i;
        EXPECT_EQ(v.flags & kGlVertexSizeMask, c.size);
        // identity projection: clip = obj moved by the translation, scaled by w
        EXPECT_FLOAT_EQ(v.clip[0], c.obj[0] + 0.25f * c.obj[3]);
        EXPECT_FLOAT_EQ(v.clip[1], c.obj[1] - 0.5f * c.obj[3]);
        EXPECT_FLOAT_EQ(v.clip[2], c.obj[2]);
        EXPECT_FLOAT_EQ(v.clip[3], c.obj[3]);
        bool inside = std::fabs(v.clip[0]) <= v.clip[3] && std::fabs(v.clip[1]) <= v.clip[3] &&
                      std::fabs(v.clip[2]) <= v.clip[3];
        EXPECT_EQ((v.flags & kGlVertexClipMask) == 0, inside);
        EXPECT_FLOAT_EQ(v.invW, 1.0f / v.clip[3]);
        if (inside) {
            EXPECT_TRUE(v.flags & kGlVertexWindowDone);
            EXPECT_FLOAT_EQ(v.window[0], v.clip[0] / v.clip[3] * vp.xScale + vp.xCenter);
            EXPECT_FLOAT_EQ(v.window[1], v.clip[1] / v.clip[3] * vp.yScale + vp.yCenter);
            EXPECT_FLOAT_EQ(v.window[2], v.clip[2] / v.clip[3] * vp.zScale + vp.zCenter);
        } else {
            EXPECT_FALSE(v.flags & kGlVertexWindowDone);
        }
        EXPECT_EQ(v.flags & (kGlVertexDoneMask & ~kGlVertexWindowDone), 0u);
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// Out-codes: on a plane is inside, beyond it the bit of the side, and with w < 0 an axis
// whose magnitude is below |w| gets both of its bits.
TEST_F(ImmediateTest, OutCodesOfTheFrustumCheck) {
    recordVertices();
    struct Case {
        float v[4];
        uint32_t codes;
    } cases[] = {
        {{1, -1, 1, 1}, 0},
        {{-1, 1, -1, 1}, 0},
        {{1.5f, 0, 0, 1}, kGlClipRight},
        {{-1.5f, 0, 0, 1}, kGlClipLeft},
        {{0, 2, -3, 1}, kGlClipTop | kGlClipNear},
        {{0, -2, 3, 1}, kGlClipBottom | kGlClipFar},
        {{0.5f, 0, 0, -1}, 0x3F0000},
        {{2, -2, 0, -1}, kGlClipRight | kGlClipBottom | kGlClipNear | kGlClipFar},
    };
    for (const Case &c : cases) {
        receivedVertices().clear();
        GL(glVertex4fv)(c.v);
        ASSERT_EQ(receivedVertices().size(), 1u);
        EXPECT_EQ(receivedVertices()[0].flags & kGlVertexClipMask, c.codes)
            << c.v[0] << "," << c.v[1] << "," << c.v[2] << "," << c.v[3];
    }
}

// The record takes the current attributes, and the non-fv forms go through the executed
// table so a replacement installed there sees them.
TEST_F(ImmediateTest, VertexCopiesTheCurrentAttributesAndUsesTheExecutedTable) {
    recordVertices();
    // the copy validation picks for lighting with both texture units
    ctx->slots.primitive.copyAttributes = __glCopyCurrentNormalColorTex2;
    GL(glColor3f)(0.5f, 0.25f, 1.0f);
    GL(glNormal3f)(0, 1, 0);
    GL(glTexCoord2f)(0.75f, 0.125f);
    GL(__glDoMultiTexCoord1fSGIS)(0x835F, 0.5f);
    GL(glVertex3f)(0, 0, 0);
    ASSERT_EQ(receivedVertices().size(), 1u);
    const GlVertex &v = receivedVertices()[0];
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v.frontColor[i], ctx->current.vertex.scaledColor[i]);
    EXPECT_EQ(v.normal[1], 1.0f);
    EXPECT_EQ(v.texCoord[0][0], 0.75f);
    EXPECT_EQ(v.texCoord[1][0], 0.5f);
    EXPECT_EQ(v.texCoord[1][3], 1.0f);
    // the worker fills the record at writePtr and leaves the pointer to the primitive
    EXPECT_EQ(ctx->arrays.vertexBuffer.writePtr, __glVertexRing(ctx));

    static std::vector<std::vector<float>> seen;
    seen.clear();
    struct Spy {
        static void APIENTRY v3(const GLfloat *f) { seen.push_back({f[0], f[1], f[2]}); }
    };
    GlEntry saved = ctx->execTable->slot[slot::glVertex3fv];
    ctx->execTable->slot[slot::glVertex3fv] = reinterpret_cast<GlEntry>(&Spy::v3);
    GL(glVertex3s)(1, 2, 3);
    GL(glVertex3d)(0.5, 0.25, 0.125);
    ctx->execTable->slot[slot::glVertex3fv] = saved;
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(seen[1], (std::vector<float>{0.5f, 0.25f, 0.125f}));
    EXPECT_EQ(receivedVertices().size(), 1u);
}

TEST_F(ImmediateTest, RasterPositionInsideAndOutsideTheFrustum) {
    GL(glMatrixMode)(GL_PROJECTION);
    GL(glOrtho)(0, 320, 0, 240, -1, 1);
    GL(glColor4f)(0.25f, 0.5f, 0.75f, 1.0f);
    GL(glTexCoord4f)(1, 2, 3, 4);
    settle();
    GL(glRasterPos2i)(100, 50);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(ctx->current.rasterPosValid, 1);
    EXPECT_NEAR(ctx->current.rasterPos[0], 100.0f, 1e-3f);
    EXPECT_NEAR(ctx->current.rasterPos[1], 50.0f, 1e-3f);
    const float *rc = ctx->current.vertex.scaledColor;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ctx->current.rasterColor[i], rc[i]);
    EXPECT_EQ(ctx->current.rasterTexCoord[3], 4.0f);
    float kept[4];
    std::memcpy(kept, ctx->current.rasterColor, sizeof(kept));

    // Outside: invalid, the colour and texture coordinates of the last valid position stay;
    // the record carries the out-codes of this position.
    GL(glColor3f)(1, 0, 0);
    GL(glTexCoord1f)(9);
    GL(glRasterPos3f)(-10, 50, 0);
    EXPECT_EQ(ctx->current.rasterPosValid, 0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ctx->current.rasterColor[i], kept[i]);
    EXPECT_EQ(ctx->current.rasterTexCoord[0], 1.0f);
    EXPECT_EQ(ctx->current.vertex.rasterPos.flags & kGlVertexClipMask, uint32_t(kGlClipLeft));

    // Back inside: no stale out-code remains on the record.
    GL(glRasterPos4f)(10, 10, 0, 1);
    EXPECT_EQ(ctx->current.rasterPosValid, 1);
    EXPECT_EQ(ctx->current.vertex.rasterPos.flags & kGlVertexClipMask, 0u);
    EXPECT_EQ(ctx->current.rasterTexCoord[0], 9.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// glRasterPos, glRect and glBitmap are refused inside glBegin/glEnd and validate pending state
// before their work.
TEST_F(ImmediateTest, RasterRectAndBitmapPrologue) {
    static int validations;
    validations = 0;
    ctx->slots.validate = [](GlContext *) { ++validations; };
    const float before = ctx->current.rasterPos[0];
    ctx->beginMode = kGlInsideBegin;
    GL(glRasterPos2f)(5, 5);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glRectf)(0, 0, 1, 1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glBitmap)(-1, 4, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->current.rasterPos[0], before);
    EXPECT_EQ(validations, 0);

    ctx->beginMode = kGlNeedValidate;
    GL(glRasterPos2f)(5, 5);
    EXPECT_EQ(validations, 1);
    EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));

    GL(glBitmap)(-1, 4, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    GL(glBitmap)(4, -1, 0, 0, 0, 0, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));

    static int bitmaps;
    static float moved;
    bitmaps = 0;
    struct Spy {
        static void bitmap(GlContext *, GLsizei w, GLsizei h, GLfloat, GLfloat, GLfloat xm, GLfloat, const GLubyte *) {
            ++bitmaps;
            moved = float(w * 100 + h) + xm;
        }
    };
    ctx->slots.bitmap = GL_AS_PROC(Spy::bitmap);
    GL(glBitmap)(8, 2, 0, 0, 0.5f, 0, nullptr);
    EXPECT_EQ(bitmaps, 1);
    EXPECT_EQ(moved, 802.5f);
}

// glRect draws one quad through the live table: begin, four corners in order, end.
TEST_F(ImmediateTest, RectIsOneQuadThroughTheLiveTable) {
    static std::vector<std::string> calls;
    calls.clear();
    struct Spy {
        static void APIENTRY begin(GLenum mode) { calls.push_back("begin " + std::to_string(mode)); }
        static void APIENTRY vertex(GLfloat x, GLfloat y) {
            calls.push_back(std::to_string(int(x * 10)) + "," + std::to_string(int(y * 10)));
        }
        static void APIENTRY end() { calls.push_back("end"); }
    };
    ctx->liveTable.slot[slot::glBegin] = reinterpret_cast<GlEntry>(&Spy::begin);
    ctx->liveTable.slot[slot::glVertex2f] = reinterpret_cast<GlEntry>(&Spy::vertex);
    ctx->liveTable.slot[slot::glEnd] = reinterpret_cast<GlEntry>(&Spy::end);
    const GLshort a[2] = {1, 2}, b[2] = {3, 4};
    GL(glRectf)(0, 0, 1, 1);
    GL(glRectsv)(a, b);
    std::memcpy(&ctx->liveTable, &__glImmediateProcTable, sizeof(GlProcTable));
    const std::vector<std::string> want = {"begin 7", "0,0", "10,0", "10,10", "0,10", "end",
                                           "begin 7", "10,20", "30,20", "30,40", "10,40", "end"};
    EXPECT_EQ(calls, want);
}

// The swap hint goes to the drawable's clip list on a double-buffered visual only.
TEST_F(ImmediateTest, SwapHintRectangle) {
    GlDrawableBuffers *buffers = ctx->tail.drawableBuffers;
    ASSERT_NE(buffers, nullptr);
    static std::vector<int> rects;
    rects.clear();
    struct Spy {
        static void add(GlDrawableBuffers *, int32_t x, int32_t y, int32_t w, int32_t h) {
            rects.insert(rects.end(), {x, y, w, h});
        }
    };
    auto saved = buffers->addClipRect;
    buffers->addClipRect = Spy::add;
    GL(__glDoAddSwapHintRectWIN)(1, 2, 30, 40);
    ctx->beginMode = kGlInsideBegin;
    GL(__glDoAddSwapHintRectWIN)(5, 6, 7, 8);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    ctx->beginMode = kGlOutsideBegin;
    ctx->visual.doubleBuffer = 0;
    GL(__glDoAddSwapHintRectWIN)(5, 6, 7, 8);
    ctx->visual.doubleBuffer = 1;
    buffers->addClipRect = saved;
    EXPECT_EQ(rects, (std::vector<int>{1, 2, 30, 40}));
}
