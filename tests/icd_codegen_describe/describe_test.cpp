// A tool's question "did this context run generated code?", asked the way a tool asks it: a
// program draws through opengl32 into a memory-DC bitmap, then the loaded driver module's
// description export describes the thread's current context. The same program runs a second time
// with "__GL_DISABLE_OG=1" (tests.cmake), which the module reads once per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/kivdemo/scenes.h"
#include "icd/core/drv_exports.h"
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

namespace {

constexpr int kSize = 64;

bool generatorOff() {
    const char *v = std::getenv("__GL_DISABLE_OG");
    return v != nullptr && std::atoi(v) != 0;
}

class DescribeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kivMachineBoot());
        ASSERT_TRUE(kivOpenGlUnloadDriver());
        target = std::make_unique<kivscenes::BitmapTarget>(kSize, kSize);
        ASSERT_TRUE(target->ok) << target->why;
        HMODULE module = kivOpenGlDriverModule();
        ASSERT_NE(module, nullptr);
        describe = reinterpret_cast<decltype(describe)>(GetProcAddress(module, "__glDescribeGeneratedCode"));
        ASSERT_NE(describe, nullptr);
    }
    void TearDown() override {
        target.reset();
        kivOpenGlUnloadDriver();
    }
    std::string line() {
        std::vector<char> text(512, '\0');
        const UINT n = describe(text.data(), UINT(text.size()));
        EXPECT_LT(n, text.size());
        return std::string(text.data());
    }

    std::unique_ptr<kivscenes::BitmapTarget> target;
    decltype(&__glDescribeGeneratedCode) describe = nullptr;
};

// A full-window smooth quad under the depth test, red at the left edge and blue at the right.
void smoothDepthQuad() {
    kivscenes::windowProjection(kSize, kSize);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    glColor3f(1, 0, 0), glVertex3f(0, 0, 0);
    glColor3f(0, 0, 1), glVertex3f(kSize, 0, 0);
    glColor3f(0, 0, 1), glVertex3f(kSize, kSize, 0);
    glColor3f(1, 0, 0), glVertex3f(0, kSize, 0);
    glEnd();
}

// The quad reached the bitmap: red falls and blue grows across it.
void expectQuadDrawn() {
    uint8_t left[4] = {}, right[4] = {};
    glReadPixels(2, kSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, left);
    glReadPixels(kSize - 3, kSize / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, right);
    EXPECT_GT(left[0], 200);
    EXPECT_LT(left[2], 40);
    EXPECT_LT(right[0], 40);
    EXPECT_GT(right[2], 200);
}

// The number the line reports after "; span-routine runs: ", or -1 without one.
long spanRuns(const std::string &line) {
    const std::string tag = "; span-routine runs: ";
    const size_t at = line.find(tag);
    return at == std::string::npos ? -1 : std::strtol(line.c_str() + at + tag.size(), nullptr, 10);
}

// The quad is two triangles: the routine that the line names counts each entry, so the count it
// reports grows by exactly two per quad drawn, and not at all while nothing is drawn.
TEST_F(DescribeProgram, ASmoothDepthTestedQuadRanAGeneratedSpanRoutine) {
    if (generatorOff()) GTEST_SKIP() << "the generator is off in this run";
    smoothDepthQuad();
    const std::string drawn = line();
    glFinish();
    expectQuadDrawn();
    EXPECT_EQ(drawn.rfind("generated code: ", 0), 0u) << drawn;
    EXPECT_NE(drawn.find("span routine"), std::string::npos) << drawn;
    const long before = spanRuns(drawn);
    ASSERT_GE(before, 2) << drawn;
    EXPECT_EQ(spanRuns(line()), before) << "no drawing, no runs";
    for (long quads = 1; quads <= 3; ++quads) {
        smoothDepthQuad();
        glFinish();
        expectQuadDrawn();
        EXPECT_EQ(spanRuns(line()), before + 2 * quads) << quads;
    }
    // Antialiased polygons have no fast path: the rows are no generated routine's any more.
    glEnable(GL_POLYGON_SMOOTH);
    smoothDepthQuad();
    const std::string smoothEdges = line();
    glDisable(GL_POLYGON_SMOOTH);
    EXPECT_EQ(smoothEdges.find("span routine"), std::string::npos) << smoothEdges;
}

TEST_F(DescribeProgram, WithTheGeneratorOffTheSameQuadRanNone) {
    if (!generatorOff()) GTEST_SKIP() << "runs as icd_codegen_describe_no_generator, with __GL_DISABLE_OG=1";
    smoothDepthQuad();
    const std::string drawn = line();
    glFinish();
    expectQuadDrawn();
    // The bitmap's 16-bit rows are no rows for the 32-bit fill loop either.
    EXPECT_EQ(drawn, "generated code: none (no generator); clears: C fill");
}

// A short buffer gets the line's first size - 1 bytes and a terminator, nothing past it; the
// returned length is the whole line's either way.
TEST_F(DescribeProgram, AShortBufferGetsATerminatedPrefixAndNothingPastIt) {
    smoothDepthQuad();
    const std::string whole = line();
    constexpr char kGuard = '\x5A';
    for (UINT size : {0u, 1u, 8u}) {
        std::vector<char> text(size + 16, kGuard);
        EXPECT_EQ(describe(text.data(), size), whole.size()) << size;
        if (size > 0) {
            EXPECT_EQ(std::string(text.data()), whole.substr(0, size - 1)) << size;
        }
        for (size_t i = size; i < text.size(); ++i) ASSERT_EQ(text[i], kGuard) << size << " byte " << i;
    }
    EXPECT_EQ(describe(nullptr, 64), whole.size());
    // Without a current context the line says so.
    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(line(), "generated code: no current context");
}

}  // namespace
