// A current context whose object coordinates are window coordinates (x, y) and whose object z
// in [0, 1] is the window depth, with helpers that run drawing in GL_FEEDBACK or GL_SELECT and
// return what the buffer received.
#pragma once
#include <functional>
#include <vector>
#include "tests/icd_state/state_fixture.h"

constexpr float kSentinel = -12345.0f;

class FeedbackTest : public StateTest {
protected:
    static constexpr int kW = 320, kH = 240;  // the test window's client size

    void SetUp() override {
        StateTest::SetUp();
        if (HasFatalFailure()) return;
        GL(glViewport)(0, 0, kW, kH);
        GL(glMatrixMode)(GL_PROJECTION);
        GL(glLoadIdentity)();
        GL(glOrtho)(0, kW, 0, kH, 0, -1);  // eye z 0 is depth 0, eye z 1 depth 1
        GL(glMatrixMode)(GL_MODELVIEW);
        GL(glLoadIdentity)();
        ctx->error = GL_NO_ERROR;
    }
    GLenum error() {
        GLenum e = ctx->error;
        ctx->error = GL_NO_ERROR;
        return e;
    }

    // Draws in GL_FEEDBACK into a buffer of `size` floats (followed by sentinels) and returns the
    // floats written; `count` receives glRenderMode's result.
    std::vector<float> feedback(GLenum type, const std::function<void()> &draw, int size = 256,
                                GLint *count = nullptr) {
        buffer.assign(size_t(size) + 8, kSentinel);
        GL(glFeedbackBuffer)(size, type, buffer.data());
        GL(glRenderMode)(GL_FEEDBACK);
        draw();
        GLint n = GL(glRenderMode)(GL_RENDER);
        if (count != nullptr) *count = n;
        if (n < 0) n = size;
        return std::vector<float>(buffer.begin(), buffer.begin() + n);
    }
    // The same in GL_SELECT, in words.
    std::vector<GLuint> select(const std::function<void()> &draw, int size = 256, GLint *hits = nullptr) {
        words.assign(size_t(size) + 8, 0xDEADBEEFu);
        GL(glSelectBuffer)(size, words.data());
        GL(glRenderMode)(GL_SELECT);
        draw();
        GLint n = GL(glRenderMode)(GL_RENDER);
        if (hits != nullptr) *hits = n;
        size_t used = 0;
        while (used < words.size() && words[used] != 0xDEADBEEFu) ++used;
        return std::vector<GLuint>(words.begin(), words.begin() + used);
    }

    void triangle(const float (&v)[3][3]) {
        GL(glBegin)(GL_TRIANGLES);
        for (const auto &p : v) GL(glVertex3f)(p[0], p[1], p[2]);
        GL(glEnd)();
    }
    void point(float x, float y, float z) {
        GL(glBegin)(GL_POINTS);
        GL(glVertex3f)(x, y, z);
        GL(glEnd)();
    }

    std::vector<float> buffer;
    std::vector<GLuint> words;
};

// Float streams compared value by value within a tolerance that window-coordinate biasing and
// the depth scale leave.
inline void expectStream(const std::vector<float> &got, const std::vector<float> &want, float tol = 2e-3f) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "value " << i;
}
