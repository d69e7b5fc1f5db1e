// A program drawing glDrawArrays(GL_TRIANGLE_STRIP) through opengl32 sees the same pixels (and
// depth values) with generated strip routines as with the C strip renderer, over a table of
// states and strip lengths, with strips inside the window and strips crossing its edges and the
// near plane. "__GL_DISABLE_OG_DRAWVERTEXES" is read when a context is made, so each road gets a
// context of its own.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/gl_program/window_program.h"

namespace {

struct StripState {
    const char *name;
    std::function<void()> set;
};

const StripState kStates[] = {
    {"smooth", [] {}},
    {"flat", [] { glShadeModel(GL_FLAT); }},
    {"depth less", [] {
         glEnable(GL_DEPTH_TEST);
         glDepthFunc(GL_LESS);
     }},
    {"cull back", [] {
         glEnable(GL_CULL_FACE);
         glCullFace(GL_BACK);
     }},
    {"cull front", [] {
         glEnable(GL_CULL_FACE);
         glCullFace(GL_FRONT);
     }},
    {"line mode", [] { glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); }},
    {"front fill back line", [] { glPolygonMode(GL_BACK, GL_LINE); }},
};

struct Picture {
    std::vector<uint8_t> rgba;
    std::vector<float> depth;
};

class StripPixels : public WindowProgram {
protected:
    std::vector<float> xyz, rgb;

    // A zigzag strip of n vertices; `crossing` widens it past the window's edges and pushes
    // every fifth vertex behind the near plane.
    void makeStrip(int n, bool crossing) {
        xyz.clear();
        rgb.clear();
        for (int i = 0; i < n; ++i) {
            const float t = n > 1 ? float(i) / float(n - 1) : 0.0f;
            const float x = crossing ? -12.0f + t * (kW + 24.0f) : 3.0f + t * (kW - 6.0f);
            const float y = (i % 2) == 0 ? (crossing ? kH + 9.0f : kH - 4.0f - 3.0f * std::sin(float(i)))
                                    : (crossing ? -7.0f : 4.0f + 2.0f * std::cos(float(i)));
            const float z = crossing && i % 5 == 3 ? 1.5f : -0.8f + 1.6f * t;
            xyz.insert(xyz.end(), {x, y, z});
            rgb.insert(rgb.end(), {float(i % 7) / 6.0f, float(i % 5) / 4.0f, float(i % 3) / 2.0f});
        }
    }

    Picture draw(bool generated, const StripState &state, int n, bool crossing) {
        setenv("__GL_DISABLE_OG_DRAWVERTEXES", generated ? "0" : "1", 1);
        open(kSingleBuffered);
        unsetenv("__GL_DISABLE_OG_DRAWVERTEXES");
        Picture p;
        if (::testing::Test::HasFatalFailure()) return p;
        glClearColor(0, 0, 0, 0);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        state.set();
        makeStrip(n, crossing);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, xyz.data());
        glColorPointer(3, GL_FLOAT, 0, rgb.data());
        glDrawArrays(GL_TRIANGLE_STRIP, 0, n);
        // The same strip again through an index list, shifted by one element.
        std::vector<GLuint> list;
        for (int i = n - 1; i >= 1; --i) list.push_back(GLuint(i));
        if (!list.empty()) glDrawElements(GL_TRIANGLE_STRIP, GLsizei(list.size()), GL_UNSIGNED_INT, list.data());
        glFinish();
        p.rgba.assign(size_t(kW) * kH * 4, 0);
        p.depth.assign(size_t(kW) * kH, 0.0f);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kW, kH, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
        glReadPixels(0, 0, kW, kH, GL_DEPTH_COMPONENT, GL_FLOAT, p.depth.data());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
        rc = nullptr;
        return p;
    }
};

int lit(const Picture &p) {
    int n = 0;
    for (size_t i = 0; i < p.rgba.size(); i += 4) n += (p.rgba[i] | p.rgba[i + 1] | p.rgba[i + 2]) != 0;
    return n;
}

TEST_F(StripPixels, GeneratedStripsDrawTheSamePixelsAsTheCRenderer) {
    for (const StripState &state : kStates) {
        for (bool crossing : {false, true}) {
            for (int n : {0, 1, 2, 3, 4, 7, 10, 37, 38, 40, 81}) {
                SCOPED_TRACE(::testing::Message() << state.name << (crossing ? " crossing" : " inside") << " n " << n);
                const Picture c = draw(false, state, n, crossing);
                const Picture g = draw(true, state, n, crossing);
                if (HasFatalFailure()) return;
                EXPECT_TRUE(c.rgba == g.rgba);
                EXPECT_TRUE(c.depth == g.depth);
                if (n < 3) {
                    EXPECT_EQ(lit(g), 0) << "fewer than three vertices draw nothing";
                } else if (!crossing && std::string(state.name) != "cull front") {
                    EXPECT_GT(lit(g), 0);  // the strip winds counter-clockwise: front-facing
                }
            }
        }
    }
}

}  // namespace
