// The rectangle entries themselves: their argument errors (recorded, nothing drawn), the begin
// test, feedback's tokens and selection's silence, and drawing only from a valid raster position.
#include <functional>
#include <vector>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

using PixelEntries = PixelOpsTest;

GLenum takeError(GlContext *ctx) {
    GLenum e = ctx->error;
    ctx->error = GL_NO_ERROR;
    return e;
}

TEST_F(PixelEntries, RefusedArgumentsRecordTheirErrorAndDrawNothing) {
    const uint8_t red[4] = {255, 0, 0, 255};
    uint8_t out[16];
    struct Case {
        const char *name;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"negative width", [&] { GL(glDrawPixels)(-1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red); }, GL_INVALID_VALUE},
        {"unknown format", [&] { GL(glDrawPixels)(1, 1, 0x1234, GL_UNSIGNED_BYTE, red); }, GL_INVALID_ENUM},
        {"bitmap of colours", [&] { GL(glDrawPixels)(1, 1, GL_RGBA, GL_BITMAP, red); }, GL_INVALID_ENUM},
        {"read a bitmap of colours", [&] { GL(glReadPixels)(0, 0, 1, 1, GL_RGBA, GL_BITMAP, out); },
         GL_INVALID_OPERATION},
        {"read indices in RGBA", [&] { GL(glReadPixels)(0, 0, 1, 1, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, out); },
         GL_INVALID_OPERATION},
        {"copy of no kind", [&] { GL(glCopyPixels)(0, 0, 1, 1, GL_RGBA); }, GL_INVALID_ENUM},
        {"copy of negative height", [&] { GL(glCopyPixels)(0, 0, 1, -1, GL_COLOR); }, GL_INVALID_VALUE},
    };
    GL(glRasterPos2i)(1, 1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clearColor();
        takeError(ctx);
        c.call();
        EXPECT_EQ(takeError(ctx), c.error);
        EXPECT_EQ(at(1, 1), 0u);
    }
    // Inside glBegin/glEnd every one of them is refused before its arguments are looked at.
    GL(glBegin)(GL_POINTS);
    GL(glDrawPixels)(-1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    EXPECT_EQ(takeError(ctx), GLenum(GL_INVALID_OPERATION));
    GL(glReadPixels)(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
    EXPECT_EQ(takeError(ctx), GLenum(GL_INVALID_OPERATION));
    GL(glCopyPixels)(0, 0, 1, 1, GL_COLOR);
    EXPECT_EQ(takeError(ctx), GLenum(GL_INVALID_OPERATION));
    GL(glEnd)();
}

TEST_F(PixelEntries, DrawingNeedsAValidRasterPositionAndTheRenderMode) {
    const uint8_t red[4] = {255, 0, 0, 255};
    GL(glRasterPos2i)(1, 1);
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    EXPECT_EQ(at(1, 1) & 0xFFFFFF, 0xFF0000u);

    clearColor();
    GL(glRasterPos2i)(-5, 1);  // outside the window: invalid
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    GL(glCopyPixels)(1, 1, 1, 1, GL_COLOR);
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(size_t(kW * kH), 0u));

    // Feedback records each command as its token and the raster position; selection draws nothing.
    GL(glRasterPos2i)(2, 3);
    std::vector<GLfloat> buffer(64, -1.0f);
    GL(glFeedbackBuffer)(GLsizei(buffer.size()), GL_2D, buffer.data());
    GL(glRenderMode)(GL_FEEDBACK);
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    GL(glCopyPixels)(0, 0, 1, 1, GL_COLOR);
    EXPECT_EQ(GL(glRenderMode)(GL_RENDER), 6);
    EXPECT_EQ(buffer[0], GLfloat(GL_DRAW_PIXEL_TOKEN));
    EXPECT_EQ(buffer[1], 2.0f);
    EXPECT_EQ(buffer[2], 3.0f);
    EXPECT_EQ(buffer[3], GLfloat(GL_COPY_PIXEL_TOKEN));
    GLuint names[8];
    GL(glSelectBuffer)(8, names);
    GL(glRenderMode)(GL_SELECT);
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    GL(glRenderMode)(GL_RENDER);
    EXPECT_EQ(snapshot(), std::vector<uint32_t>(size_t(kW * kH), 0u));
    EXPECT_EQ(takeError(ctx), GLenum(GL_NO_ERROR));
}

}  // namespace
