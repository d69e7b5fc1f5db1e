// GL_FEEDBACK as a program uses it: the render-mode and buffer entries with their errors, every
// buffer layout, the tokens of points, lines, polygons, pass-through and pixel operations, faces,
// shading and polygon modes, and truncation on overflow.
#include "tests/icd_feedback/feedback_fixture.h"
#include "icd/vertex/feedback.h"

namespace {
constexpr float P = kGlPointToken, L = kGlLineToken, R = kGlLineResetToken, Poly = kGlPolygonToken;
}

TEST_F(FeedbackTest, RenderModeReportsTheModeLeftAndRefusesBadCalls) {
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 0);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER + 3), 0);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));

    // Without a buffer neither mode is entered: the error leaves the context rendering.
    EXPECT_EQ(GL(glRenderMode)(GL_FEEDBACK), 0);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->renderMode, GLenum(GL_RENDER));
    EXPECT_EQ(GL(glRenderMode)(GL_SELECT), 0);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->renderMode, GLenum(GL_RENDER));

    // Entering a mode asks for validation, so the pickers install the mode's procs.
    float fbuf[16];
    GL(glFeedbackBuffer)(16, GL_2D, fbuf);
    ctx->beginMode = kGlOutsideBegin;
    ctx->dirtyMask = 0;
    EXPECT_EQ(GL(glRenderMode)(GL_FEEDBACK), 0);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & 0x1);
    point(1, 2, 0);
    EXPECT_EQ(ctx->slots.primitive.renderPoint, &__glFeedbackPoint);

    // Inside glBegin/glEnd the mode stays.
    GL(glBegin)(GL_POINTS);
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 0);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glEnd)();
    EXPECT_EQ(ctx->renderMode, GLenum(GL_FEEDBACK));
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 3);  // token, x, y
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(FeedbackTest, BufferEntriesCheckTheirArguments) {
    float fbuf[8];
    GLuint sbuf[8];
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum want;
    } cases[] = {
        {"feedback type below", [&] { GL(glFeedbackBuffer)(8, GL_2D - 1, fbuf); }, GL_INVALID_ENUM},
        {"feedback type above", [&] { GL(glFeedbackBuffer)(8, GL_4D_COLOR_TEXTURE + 1, fbuf); }, GL_INVALID_ENUM},
        {"feedback type before size", [&] { GL(glFeedbackBuffer)(-1, 0, fbuf); }, GL_INVALID_ENUM},
        {"feedback size", [&] { GL(glFeedbackBuffer)(-1, GL_3D, fbuf); }, GL_INVALID_VALUE},
        {"select size", [&] { GL(glSelectBuffer)(-1, sbuf); }, GL_INVALID_VALUE},
        {"feedback empty", [&] { GL(glFeedbackBuffer)(0, GL_3D, fbuf); }, GL_NO_ERROR},
        {"select empty", [&] { GL(glSelectBuffer)(0, sbuf); }, GL_NO_ERROR},
    };
    for (const Case &c : cases) {
        c.call();
        EXPECT_EQ(error(), c.want) << c.what;
    }

    // No buffer is replaced while its mode runs, nor inside glBegin/glEnd.
    GL(glFeedbackBuffer)(8, GL_2D, fbuf);
    GL(glRenderMode)(GL_FEEDBACK);
    GL(glFeedbackBuffer)(8, GL_3D, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->state.feedback.base, fbuf);
    EXPECT_EQ(ctx->state.feedback.type, GLenum(GL_2D));
    GL(glRenderMode)(GL_RENDER);
    GL(glSelectBuffer)(8, sbuf);
    GL(glRenderMode)(GL_SELECT);
    GL(glSelectBuffer)(8, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->state.select.base, sbuf);
    GL(glRenderMode)(GL_RENDER);
    GL(glBegin)(GL_POINTS);
    GL(glFeedbackBuffer)(8, GL_3D, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glSelectBuffer)(8, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glEnd)();
    EXPECT_EQ(ctx->state.feedback.base, fbuf);
    EXPECT_EQ(ctx->state.select.base, sbuf);
}

// One point with every attribute, in each layout: window x and y without the drawable's bias,
// depth back in [0, 1], the colour back in [0, 1], the texture coordinates and clip w.
TEST_F(FeedbackTest, EveryTypeLaysOutItsVertex) {
    struct Case {
        GLenum type;
        std::vector<float> want;
    } cases[] = {
        {GL_2D, {P, 10, 20}},
        {GL_3D, {P, 10, 20, 0.25f}},
        {GL_3D_COLOR, {P, 10, 20, 0.25f, 0.5f, 0.25f, 1.0f, 0.75f}},
        {GL_3D_COLOR_TEXTURE, {P, 10, 20, 0.25f, 0.5f, 0.25f, 1.0f, 0.75f, 0.125f, 0.375f, 0.5f, 1.0f}},
        {GL_4D_COLOR_TEXTURE, {P, 10, 20, 0.25f, 2.0f, 0.5f, 0.25f, 1.0f, 0.75f, 0.125f, 0.375f, 0.5f, 1.0f}},
    };
    GL(glColor4f)(0.5f, 0.25f, 1.0f, 0.75f);
    GL(glTexCoord4f)(0.125f, 0.375f, 0.5f, 1.0f);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        // w = 2: the same window position, and clip w reported by the 4-D layout.
        auto got = feedback(c.type, [&] {
            GL(glBegin)(GL_POINTS);
            GL(glVertex4f)(20, 40, 0.5f, 2.0f);
            GL(glEnd)();
        });
        expectStream(got, c.want);
    }
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(FeedbackTest, LinesStartWithAResetTokenAndFlatLinesTakeTheLastColour) {
    auto strip = [&] {
        GL(glBegin)(GL_LINE_STRIP);
        GL(glColor3f)(1, 0, 0);
        GL(glVertex2f)(1, 1);
        GL(glColor3f)(0, 1, 0);
        GL(glVertex2f)(5, 1);
        GL(glColor3f)(0, 0, 1);
        GL(glVertex2f)(5, 7);
        GL(glEnd)();
    };
    expectStream(feedback(GL_2D, strip), {R, 1, 1, 5, 1, L, 5, 1, 5, 7});
    auto lines = [&] {
        GL(glBegin)(GL_LINES);
        for (float x : {1.0f, 2.0f, 3.0f, 4.0f}) GL(glVertex2f)(x, x);
        GL(glEnd)();
    };
    expectStream(feedback(GL_2D, lines), {R, 1, 1, 2, 2, R, 3, 3, 4, 4});

    auto colors = [](const std::vector<float> &s) {
        // R, G of each vertex in GL_3D_COLOR: token, then 7 values a vertex.
        return std::vector<float>{s[4], s[5], s[11], s[12], s[19], s[20], s[26], s[27]};
    };
    expectStream(colors(feedback(GL_3D_COLOR, strip)), {1, 0, 0, 1, 0, 1, 0, 0});
    GL(glShadeModel)(GL_FLAT);
    expectStream(colors(feedback(GL_3D_COLOR, strip)), {0, 1, 0, 1, 0, 0, 0, 0});
    // The blue of the last vertex: both ends of the second line.
    auto got = feedback(GL_3D_COLOR, strip);
    EXPECT_EQ(got[21], 1.0f);
    EXPECT_EQ(got[28], 1.0f);
}

// A line cut by the window's left edge reports the texture coordinates at the cut point too,
// with no texture current: set 0 is carried through the clipper.
TEST_F(FeedbackTest, ClippedEndsKeepTheirTextureCoordinates) {
    GL(glTexCoord4f)(0.5f, 0.25f, 0.0f, 1.0f);
    auto got = feedback(GL_3D_COLOR_TEXTURE, [&] {
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(-10, 5);
        GL(glVertex2f)(10, 5);
        GL(glEnd)();
    });
    ASSERT_EQ(got.size(), 1u + 2 * 11);
    EXPECT_EQ(got[1], 0.0f);  // the cut end lies on the left edge
    for (int end = 0; end < 2; ++end) {
        SCOPED_TRACE(end);
        const float *t = &got[1 + 11 * end + 7];
        EXPECT_EQ(t[0], 0.5f);
        EXPECT_EQ(t[1], 0.25f);
        EXPECT_EQ(t[2], 0.0f);
        EXPECT_EQ(t[3], 1.0f);
    }
    // Generated coordinates are made before the cut: s = object x gives 0 at the left edge.
    const GLfloat plane[4] = {1, 0, 0, 0};
    GL(glTexGeni)(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    GL(glTexGenfv)(GL_S, GL_OBJECT_PLANE, plane);
    GL(glEnable)(GL_TEXTURE_GEN_S);
    got = feedback(GL_3D_COLOR_TEXTURE, [&] {
        GL(glBegin)(GL_LINES);
        GL(glVertex2f)(-10, 5);
        GL(glVertex2f)(10, 5);
        GL(glEnd)();
    });
    ASSERT_EQ(got.size(), 1u + 2 * 11);
    EXPECT_EQ(got[1 + 7], 0.0f);
    EXPECT_EQ(got[1 + 11 + 7], 10.0f);
    EXPECT_EQ(got[1 + 8], 0.25f);
}

// Triangles are reported in the order the primitive hands them over: the third vertex first.
TEST_F(FeedbackTest, TrianglesByPolygonModeAndEdgeFlags) {
    auto draw = [&] {
        GL(glBegin)(GL_TRIANGLES);
        GL(glVertex2f)(10, 10);
        GL(glEdgeFlag)(0);
        GL(glVertex2f)(50, 10);
        GL(glEdgeFlag)(1);
        GL(glVertex2f)(10, 50);
        GL(glEnd)();
    };
    expectStream(feedback(GL_2D, draw), {Poly, 3, 10, 50, 10, 10, 50, 10});
    GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_LINE);
    // The edge that starts at the second vertex is hidden.
    expectStream(feedback(GL_2D, draw), {R, 10, 50, 10, 10, L, 10, 10, 50, 10});
    GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_POINT);
    expectStream(feedback(GL_2D, draw), {P, 10, 50, P, 10, 10});
    // Each face by its own mode: a clockwise triangle shows its back.
    GL(glPolygonMode)(GL_FRONT, GL_FILL);
    GL(glPolygonMode)(GL_BACK, GL_LINE);
    expectStream(feedback(GL_2D, [&] { triangle({{10, 10, 0}, {10, 50, 0}, {50, 10, 0}}); }),
                 {R, 50, 10, 10, 10, L, 10, 10, 10, 50, L, 10, 50, 50, 10});
    // A quad is two polygons.
    GL(glPolygonMode)(GL_FRONT_AND_BACK, GL_FILL);
    auto quad = feedback(GL_2D, [&] { GL(glRecti)(0, 0, 4, 4); });
    ASSERT_EQ(quad.size(), 16u);
    EXPECT_EQ(quad[0], Poly);
    EXPECT_EQ(quad[8], Poly);
}

TEST_F(FeedbackTest, FacesCullAndChooseTheirColours) {
    const float ccw[3][3] = {{10, 10, 0}, {50, 10, 0}, {10, 50, 0}};
    const float cw[3][3] = {{10, 10, 0}, {10, 50, 0}, {50, 10, 0}};
    auto both = [&] {
        triangle(ccw);
        triangle(cw);
    };
    GL(glEnable)(GL_CULL_FACE);
    auto got = feedback(GL_2D, both);
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[2], 10.0f);  // the counter-clockwise one, third vertex first
    EXPECT_EQ(got[3], 50.0f);
    GL(glCullFace)(GL_FRONT);
    got = feedback(GL_2D, both);
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[2], 50.0f);
    GL(glCullFace)(GL_FRONT_AND_BACK);
    EXPECT_TRUE(feedback(GL_2D, both).empty());
    GL(glDisable)(GL_CULL_FACE);

    // Smooth: each vertex its own colour; flat: the last vertex's for all three.
    auto colored = [&] {
        GL(glBegin)(GL_TRIANGLES);
        GL(glColor3f)(1, 0, 0);
        GL(glVertex2f)(10, 10);
        GL(glColor3f)(0, 1, 0);
        GL(glVertex2f)(50, 10);
        GL(glColor3f)(0, 0, 1);
        GL(glVertex2f)(10, 50);
        GL(glEnd)();
    };
    auto reds = [](const std::vector<float> &s) { return std::vector<float>{s[5], s[12], s[19]}; };
    expectStream(reds(feedback(GL_3D_COLOR, colored)), {0, 1, 0});
    GL(glShadeModel)(GL_FLAT);
    expectStream(reds(feedback(GL_3D_COLOR, colored)), {0, 0, 0});

    // Two-sided lighting: the back face is lit with the back material. Only the ambient terms
    // remain (no light is on): 0.2 x the material's ambient colour.
    GL(glShadeModel)(GL_SMOOTH);
    const float red[4] = {1, 0, 0, 1}, gray[4] = {0.2f, 0.2f, 0.2f, 1};
    GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, gray);  // in colour-buffer units, as the fixture's reset is not
    GL(glMaterialfv)(GL_BACK, GL_AMBIENT, red);
    GL(glLightModeli)(GL_LIGHT_MODEL_TWO_SIDE, 1);
    GL(glEnable)(GL_LIGHTING);
    got = feedback(GL_3D_COLOR, both);
    ASSERT_EQ(got.size(), 2u * 23u);
    expectStream({got[5], got[6], got[7], got[8]}, {0.04f, 0.04f, 0.04f, 1.0f});
    expectStream({got[23 + 5], got[23 + 6], got[23 + 7], got[23 + 8]}, {0.2f, 0.0f, 0.0f, 1.0f});
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// A triangle needs 11 floats in GL_3D: a 5-float buffer takes the first five, the rest is
// dropped and the count reads -1 until the mode is entered again.
TEST_F(FeedbackTest, OverflowTruncatesAtTheBufferEnd) {
    GLint count = 0;
    auto got = feedback(GL_3D, [&] { triangle({{10, 10, 0.5f}, {50, 10, 0.5f}, {10, 50, 0.5f}}); }, 5, &count);
    EXPECT_EQ(count, -1);
    expectStream(got, {Poly, 3, 10, 50, 0.5f});
    EXPECT_EQ(buffer[5], kSentinel);
    // Exactly full is not an overflow.
    feedback(GL_2D, [&] { point(1, 2, 0); }, 3, &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(buffer[3], kSentinel);
    // An empty buffer overflows at the first value; a pass-through alone overflows it too.
    feedback(GL_2D, [&] { GL(glPassThrough)(1.0f); }, 0, &count);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(buffer[0], kSentinel);
}

TEST_F(FeedbackTest, PassThroughWritesItsTokenOnlyInFeedback) {
    expectStream(feedback(GL_3D, [&] { GL(glPassThrough)(7.0f); }), {kGlPassThroughToken, 7.0f});
    GL(glPassThrough)(7.0f);  // rendering: nothing, no error
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GLuint words[4];
    GL(glSelectBuffer)(4, words);
    GL(glRenderMode)(GL_SELECT);
    GL(glPassThrough)(7.0f);
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 0);
    auto inside = feedback(GL_3D, [&] {
        GL(glBegin)(GL_POINTS);
        GL(glPassThrough)(7.0f);
        GL(glEnd)();
    });
    EXPECT_TRUE(inside.empty());
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
}

// The pixel path reports bitmaps and pixel rectangles at the raster position, with its colour
// and texture coordinates; a raster position alone writes nothing.
TEST_F(FeedbackTest, PixelOperationsReportTheRasterPosition) {
    struct Case {
        void (*proc)(GlContext *, GlVertex *);
        float token;
    } cases[] = {
        {__glFeedbackBitmap, kGlBitmapToken},
        {__glFeedbackDrawPixel, kGlDrawPixelToken},
        {__glFeedbackCopyPixel, kGlCopyPixelToken},
    };
    GL(glColor4f)(0.25f, 0.5f, 0.75f, 1.0f);
    GL(glTexCoord2f)(0.5f, 0.25f);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.token);
        auto got = feedback(GL_3D_COLOR_TEXTURE, [&] {
            GL(glRasterPos3f)(30, 40, 0.75f);
            c.proc(ctx, &ctx->current.vertex.rasterPos);
        });
        expectStream(got, {c.token, 30, 40, 0.75f, 0.25f, 0.5f, 0.75f, 1.0f, 0.5f, 0.25f, 0.0f, 1.0f});
    }
}
