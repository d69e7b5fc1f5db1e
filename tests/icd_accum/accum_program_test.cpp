// A program's view: through opengl32 and the driver module into a memory bitmap whose pixel
// format (the display's) has a 64-bit accumulation buffer. Two pictures averaged with glAccum
// come back as their mean.
#include <gtest/gtest.h>
#include "platform/machine/machine.h"
#include "apps/kivdemo/scenes.h"

namespace {

TEST(AccumProgram, TwoPicturesAveragedThroughTheAccumulationBuffer) {
    ASSERT_TRUE(kivMachineBoot());
    kivscenes::BitmapTarget target(24, 16);
    ASSERT_TRUE(target.ok) << target.why;
    ASSERT_GT(target.pfd.cAccumBits, 0);
    GLint bits[4] = {};
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits[0]);
    EXPECT_EQ(bits[0], 16);

    glDisable(GL_DITHER);
    glClearColor(1, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glAccum(GL_LOAD, 0.5f);
    glClearColor(0, 0, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glAccum(GL_ACCUM, 0.5f);
    glClearColor(0, 1, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glAccum(GL_RETURN, 1.0f);
    glFinish();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const kivscenes::Picture &p = target.picture;
    const float max = float(p.channelMax(0));
    // Entry: max x 0.5 x (32767 / max); back: entry x (1 / (32767 / max)), rounded.
    const float scale = 32767.0f / max;
    const int16_t entry = int16_t(max * 0.5f * scale);
    const int expect = int(float(entry) * (1.0f * (1.0f / scale)) + 0.5f);
    for (int y : {0, 7, 15})
        for (int x : {0, 11, 23}) {
            EXPECT_EQ(p.channel(x, y, 0), expect) << x << "," << y;
            EXPECT_EQ(p.channel(x, y, 1), 0) << x << "," << y;
            EXPECT_EQ(p.channel(x, y, 2), expect) << x << "," << y;
        }
}

}  // namespace
