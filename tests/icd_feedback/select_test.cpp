// GL_SELECT as a program uses it: hit records (name count, depth range scaled to 32 bits, names)
// opened by the first primitive under a name-stack state and widened by the following ones,
// culling, raster positions, overflow, and the name-stack commands with their errors.
#include <cmath>
#include "tests/icd_feedback/feedback_fixture.h"

namespace {
// The selection word of a window depth in [0, 1].
double wordOf(double depth) { return depth * 4294967295.0; }
constexpr double kWordTolerance = 4294967296.0 * 2e-5;
}  // namespace

TEST_F(FeedbackTest, HitsCarryTheNamesAndTheDepthRangeOfTheirPrimitives) {
    GLint hits = 0;
    auto got = select(
        [&] {
            GL(glInitNames)();
            GL(glPushName)(7);
            GL(glPushName)(9);
            // Two triangles under one state: one hit over all six vertices.
            triangle({{10, 10, 0.5f}, {50, 10, 0.25f}, {10, 50, 0.5f}});
            triangle({{10, 10, 0.75f}, {50, 10, 0.5f}, {10, 50, 0.5f}});
            GL(glLoadName)(3);
            GL(glBegin)(GL_LINES);
            GL(glVertex3f)(1, 1, 0.0f);
            GL(glVertex3f)(9, 9, 1.0f);
            GL(glEnd)();
            GL(glPopName)();
            point(5, 5, 0.125f);
            GL(glPopName)();  // an empty stack: a hit with no names
            GL(glRasterPos3f)(5, 5, 0.375f);
        },
        256, &hits);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(hits, 4);
    ASSERT_EQ(got.size(), 5u + 5u + 4u + 3u);
    const struct {
        size_t at;
        GLuint count;
        double min, max;
        std::vector<GLuint> names;
    } want[] = {
        {0, 2, 0.25, 0.75, {7, 9}},
        {5, 2, 0.0, 1.0, {7, 3}},
        {10, 1, 0.125, 0.125, {7}},
        {14, 0, 0.375, 0.375, {}},
    };
    for (const auto &w : want) {
        SCOPED_TRACE(w.at);
        EXPECT_EQ(got[w.at], w.count);
        EXPECT_NEAR(double(got[w.at + 1]), wordOf(w.min), kWordTolerance);
        EXPECT_NEAR(double(got[w.at + 2]), wordOf(w.max), kWordTolerance);
        for (size_t i = 0; i < w.names.size(); ++i) EXPECT_EQ(got[w.at + 3 + i], w.names[i]);
    }
    EXPECT_EQ(got[6], 0u);        // the near plane
    EXPECT_GT(got[7], 0xFFFF0000u);  // the far plane, not wrapped
}

// A 32-bit depth scale puts far-plane depths at 2^32, which no word holds: they stay the largest
// word instead of wrapping to the nearest.
TEST_F(FeedbackTest, FarPlaneDepthOfAFullWidthScaleStaysTheLargestWord) {
    ctx->buffers.depth.scale = 0xFFFFFFFFu;
    GL(glDepthRange)(0, 1);
    auto got = select([&] {
        point(5, 5, 1.0f);
        GL(glInitNames)();
        point(5, 5, 0.0f);
    });
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[1], 0xFFFFFFFFu);
    EXPECT_EQ(got[2], 0xFFFFFFFFu);
    EXPECT_EQ(got[4], 0u);
}

TEST_F(FeedbackTest, CulledTrianglesRecordNoHit) {
    const float ccw[3][3] = {{10, 10, 0}, {50, 10, 0}, {10, 50, 0}};
    const float cw[3][3] = {{10, 10, 0.5f}, {10, 50, 0.5f}, {50, 10, 0.5f}};
    struct Case {
        bool cull;
        GLenum face;
        GLint hits;      // each triangle under its own name
        GLuint firstName;
    } cases[] = {
        {false, GL_BACK, 2, 1},
        {true, GL_BACK, 1, 1},
        {true, GL_FRONT, 1, 2},
        {true, GL_FRONT_AND_BACK, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.face);
        c.cull ? GL(glEnable)(GL_CULL_FACE) : GL(glDisable)(GL_CULL_FACE);
        GL(glCullFace)(c.face);
        GLint hits = -2;
        auto got = select(
            [&] {
                GL(glPushName)(1);
                triangle(ccw);
                GL(glLoadName)(2);
                triangle(cw);
            },
            256, &hits);
        EXPECT_EQ(hits, c.hits);
        if (c.hits > 0) {
            ASSERT_GE(got.size(), 4u);
            EXPECT_EQ(got[3], c.firstName);
        }
    }
}

// A 2-word buffer and a hit with one name: the count and the minimum fit, then nothing more.
TEST_F(FeedbackTest, SelectOverflowKeepsWhatFitsAndReportsMinusOne) {
    GLint hits = 0;
    auto got = select(
        [&] {
            GL(glPushName)(5);
            point(1, 1, 0.5f);
            GL(glLoadName)(6);
            point(1, 1, 0.5f);
        },
        2, &hits);
    EXPECT_EQ(hits, -1);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], 1u);
    EXPECT_NEAR(double(got[1]), wordOf(0.5), kWordTolerance);
    // Entering the mode again starts over.
    select([&] {}, 2, &hits);
    EXPECT_EQ(hits, 0);
}

TEST_F(FeedbackTest, NameStackCommandsCheckTheStackOnlyWhileSelecting) {
    // Rendering: nothing happens and no error is set.
    GL(glPopName)();
    GL(glLoadName)(1);
    for (int i = 0; i < 200; ++i) GL(glPushName)(GLuint(i));
    GL(glInitNames)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));

    GLuint words[8];
    GL(glSelectBuffer)(8, words);
    GL(glRenderMode)(GL_SELECT);
    const GlSelectBuffer &s = ctx->state.select;
    EXPECT_EQ(s.nameStackTop, s.nameStackBase);  // entering emptied the stack
    GL(glLoadName)(1);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glPopName)();
    EXPECT_EQ(error(), GLenum(GL_STACK_UNDERFLOW));
    for (int i = 0; i < 128; ++i) GL(glPushName)(GLuint(i));
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GL(glPushName)(128);
    EXPECT_EQ(error(), GLenum(GL_STACK_OVERFLOW));
    EXPECT_EQ(s.nameStackTop - s.nameStackBase, 128);
    EXPECT_EQ(s.nameStackTop[-1], 127u);
    GL(glBegin)(GL_POINTS);
    GL(glPopName)();
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    GL(glEnd)();
    EXPECT_EQ(s.nameStackTop - s.nameStackBase, 128);
    GL(glInitNames)();
    EXPECT_EQ(s.nameStackTop, s.nameStackBase);

    // A refused command leaves the open hit open: the two points after the pops widen one record.
    GL(glPushName)(4);
    point(1, 1, 0.25f);
    GL(glPushName)(5);  // closes it
    GL(glPopName)();
    GL(glPopName)();
    point(1, 1, 0.75f);
    GL(glPopName)();  // underflow: changes nothing
    EXPECT_EQ(error(), GLenum(GL_STACK_UNDERFLOW));
    point(1, 1, 0.5f);
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 2);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[3], 4u);
    EXPECT_EQ(words[4], 0u);  // the second hit: no names
    EXPECT_NEAR(double(words[5]), wordOf(0.5), kWordTolerance);
    EXPECT_NEAR(double(words[6]), wordOf(0.75), kWordTolerance);
}
