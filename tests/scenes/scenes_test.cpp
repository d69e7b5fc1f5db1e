// The demo's scenes drawn as the demo draws them: a program on the booted machine, through
// opengl32 and the driver module, into a DIB section selected into a memory DC. Each picture is
// checked for what the scene's geometry decides exactly (scene_checks.h).
#include <dlfcn.h>

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
        if (dlsym(RTLD_DEFAULT, "CreateDIBSection")) target = new kivscenes::BitmapTarget(kWidth, kHeight);
    }
    static void TearDownTestSuite() {
        delete target;
        target = nullptr;
    }
};

TEST_P(SceneTest, PictureShowsWhatTheGeometryDecides) {
    const kivscenes::Scene *scene = kivscenes::findScene(GetParam().scene);
    ASSERT_NE(scene, nullptr);
    if (!target) GTEST_SKIP() << "the platform has no DIB sections yet";
    ASSERT_TRUE(target->ok) << target->why;
    // A clear alone must reach the bitmap; when it does not, the driver gives memory-DC
    // drawables no colour buffer yet and nothing here can be drawn.
    target->poison();
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    if (target->picture.untouched(0, 0) && target->picture.untouched(kWidth - 1, kHeight - 1))
        GTEST_SKIP() << "a clear leaves the memory-DC bitmap untouched: bitmap drawables have no colour buffer yet";
    // A scene whose feature the driver does not have yet (its probe says why) is skipped.
    const std::string absent = scene->absent ? scene->absent(target->picture) : "";
    if (!absent.empty()) GTEST_SKIP() << absent;
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
