// The demo's scenes drawn as the demo draws them: a program on the booted machine, through
// opengl32 and the driver module, into a DIB section selected into a memory DC. Each picture is
// checked for what the scene's geometry decides exactly (scene_checks.h).
#include <gtest/gtest.h>

#include "platform/machine/machine.h"
#include "tests/scenes/scene_checks.h"

namespace {

// 4:3 like the demo's default; small enough to check every pixel quickly.
constexpr int kWidth = 160, kHeight = 120;


struct Case {
    const char *scene;
    void (*check)(const kivscenes::Picture &);
};

const Case kCases[] = {
    {"triangle", scenecheck::checkTriangle}, {"depth", scenecheck::checkDepthOrder},
    {"torus", scenecheck::checkTorus},       {"blend", scenecheck::checkBlend},
    {"stencil", scenecheck::checkStencil},   {"fog", scenecheck::checkFog},
    {"arrays", scenecheck::checkArrays},     {"lines", scenecheck::checkLines},
    {"texture", scenecheck::checkTexture},
};

// One bitmap and context for the suite, as the demo draws every scene into one.
class SceneTest : public ::testing::TestWithParam<Case> {
protected:
    static inline kivscenes::BitmapTarget *target = nullptr;
    static void SetUpTestSuite() {
        ASSERT_TRUE(kivMachineBoot());
        target = new kivscenes::BitmapTarget(kWidth, kHeight);
    }
    static void TearDownTestSuite() {
        delete target;
        target = nullptr;
    }
};

TEST_P(SceneTest, PictureShowsWhatTheGeometryDecides) {
    const kivscenes::Scene *scene = kivscenes::findScene(GetParam().scene);
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->ok) << target->why;
    // A clear alone reaches the bitmap: the memory-DC drawable has its colour buffer.
    target->poison();
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    ASSERT_FALSE(target->picture.untouched(0, 0) || target->picture.untouched(kWidth - 1, kHeight - 1))
        << "a clear leaves the memory-DC bitmap untouched";
    while (glGetError() != GL_NO_ERROR) {
    }
    scene->draw(kWidth, kHeight);
    glFinish();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    GetParam().check(target->picture);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.scene); });

}  // namespace
