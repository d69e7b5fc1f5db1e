// A program reads the front buffer back (glReadPixels, or a copy into a texture) while the screen
// cannot be read (the chip's FIFO held full, its notifiers held, DirectDraw answering busy to
// every lock): it gets the pixels the screen shows, or its memory is left as it was and the
// thread's last error says the read failed, as a failed swap or glFinish says so. Zeros are never
// handed over as pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <GL/gl.h>
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/machine/machine.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/common/bounded_call.h"
#include "tests/icd_window_edges/edge_window.h"

namespace {

constexpr GLubyte kUntouched = 0x5A;   // what the program's memory holds before the read

class FrontRead : public TroubleMachine {};

// Checks the w x h RGBA image read from the window's lower left corner against what the screen
// showed there; pixels holding kUntouched in every byte are counted, not checked.
int checkAgainstScreen(const EdgeWindow &win, const ScreenCopy &screen, const std::vector<GLubyte> &rgba, int w, int h,
                       const char *what) {
    int untouched = 0, wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const GLubyte *p = &rgba[4 * (size_t(y) * size_t(w) + size_t(x))];
            if (p[0] == kUntouched && p[1] == kUntouched && p[2] == kUntouched && p[3] == kUntouched) {
                ++untouched;
                continue;
            }
            const POINT s = win.toScreen(x, y);
            const uint16_t on = screen.at(s.x, s.y);
            if ((!readsAs(p[0], on >> 10) || !readsAs(p[1], (on >> 5) & 31) || !readsAs(p[2], on & 31)) && wrong++ < 3)
                ADD_FAILURE() << what << " " << x << "," << y << " = " << int(p[0]) << "," << int(p[1]) << ","
                              << int(p[2]) << " where the screen shows 0x" << std::hex << on;
        }
    return untouched;
}

struct Hold {
    const char *what;
    void (*hold)();
};
const Hold kHolds[] = {
    {"FIFO held full", [] { zk3EngineHoldFreeCount(~0u, 0); }},
    {"notifiers held", [] { zk3EngineHoldNotifiers(true); }},
    {"every lock answered busy", [] { kivDDrawBusyLocks(1 << 30); }},
};

struct ReadOutcome {
    std::vector<GLubyte> rgba;
    DWORD lastError = ERROR_SUCCESS;
    GLenum glError = GL_NO_ERROR;
};

// Blue on the screen; then, with the screen held, a red frame whose swap is tried, and the front
// buffer read back (on a thread of its own, bounded: a held chip must not hang the program).
TEST_F(FrontRead, AFrontBufferReadThatCannotReadTheScreenNeverAnswersZeros) {
    for (bool doubleBuffered : {true, false})
        for (const Hold &h : kHolds) {
            SCOPED_TRACE(std::string(h.what) + (doubleBuffered ? ", double-buffered" : ", single-buffered"));
            EdgeWindow win(140, 120, 32, 24, doubleBuffered);
            ASSERT_TRUE(win.ok) << win.why;
            glClearColor(0, 0, 1, 0);
            glClear(GL_COLOR_BUFFER_BIT);
            glFinish();
            if (doubleBuffered) {
                ASSERT_TRUE(win.swap());
            }
            const ScreenCopy shown = ScreenCopy::take();
            const POINT corner = win.toScreen(0, 0);
            ASSERT_EQ(shown.at(corner.x, corner.y), 0x001F) << "the blue frame is not on the screen";

            h.hold();
            ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
            const ReadOutcome out = boundedCall("a frame and a read with the screen held", [&] {
                ReadOutcome o;
                if (!wglMakeCurrent(win.hdc, win.rc)) return o;
                glClearColor(1, 0, 0, 0);
                glClear(GL_COLOR_BUFFER_BIT);
                glFinish();
                if (doubleBuffered) win.swap();
                o.rgba.assign(size_t(win.w) * size_t(win.h) * 4, kUntouched);
                glReadBuffer(GL_FRONT);
                glPixelStorei(GL_PACK_ALIGNMENT, 1);
                SetLastError(ERROR_SUCCESS);
                glReadPixels(0, 0, win.w, win.h, GL_RGBA, GL_UNSIGNED_BYTE, o.rgba.data());
                o.lastError = GetLastError();
                o.glError = glGetError();
                wglMakeCurrent(nullptr, nullptr);
                return o;
            });
            const ScreenCopy now = ScreenCopy::take();
            releaseTrouble();
            ASSERT_TRUE(wglMakeCurrent(win.hdc, win.rc));
            ASSERT_EQ(out.rgba.size(), size_t(win.w) * size_t(win.h) * 4);
            EXPECT_EQ(out.glError, GLenum(GL_NO_ERROR));
            // Either every pixel is what the screen shows there, or none was written and the
            // read is reported.
            const int untouched = checkAgainstScreen(win, now, out.rgba, win.w, win.h, "read");
            if (untouched != 0) {
                EXPECT_EQ(untouched, win.w * win.h) << "a read partly written";
                EXPECT_EQ(out.lastError, DWORD(ERROR_GEN_FAILURE)) << "a read that wrote nothing is not reported";
            }
            // Once the screen can be read again, the read answers what it shows.
            std::vector<GLubyte> after(size_t(win.w) * size_t(win.h) * 4, kUntouched);
            glReadBuffer(GL_FRONT);
            glReadPixels(0, 0, win.w, win.h, GL_RGBA, GL_UNSIGNED_BYTE, after.data());
            EXPECT_EQ(checkAgainstScreen(win, ScreenCopy::take(), after, win.w, win.h, "the read after"), 0)
                << "the read after left pixels unwritten";
        }
}

// The same through glCopyTexSubImage2D: the texture's level afterwards holds what the screen
// shows, or what it held before and the copy is reported.
TEST_F(FrontRead, ACopyIntoATextureThatCannotReadTheScreenLeavesTheLevelOrIsReported) {
    for (const Hold &h : kHolds) {
        SCOPED_TRACE(h.what);
        EdgeWindow win(140, 120, 32, 24, true);
        ASSERT_TRUE(win.ok) << win.why;
        glClearColor(0, 0, 1, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_TRUE(win.swap());
        constexpr int kTexW = 32, kTexH = 16;   // sizes of a power of two, inside the window
        const std::vector<GLubyte> grey(size_t(kTexW) * kTexH * 4, kUntouched);
        GLuint tex = 0;
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kTexW, kTexH, 0, GL_RGBA, GL_UNSIGNED_BYTE, grey.data());
        std::vector<GLubyte> before(grey.size(), 0), after(grey.size(), 0);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, before.data());

        h.hold();
        ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
        const DWORD lastError = boundedCall("a copy with the screen held", [&] {
            if (!wglMakeCurrent(win.hdc, win.rc)) return DWORD(0);
            glReadBuffer(GL_FRONT);
            SetLastError(ERROR_SUCCESS);
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kTexW, kTexH);
            const DWORD e = GetLastError();
            wglMakeCurrent(nullptr, nullptr);
            return e;
        });
        const ScreenCopy now = ScreenCopy::take();
        releaseTrouble();
        ASSERT_TRUE(wglMakeCurrent(win.hdc, win.rc));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, after.data());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        if (after == before) {
            EXPECT_EQ(lastError, DWORD(ERROR_GEN_FAILURE)) << "a copy that wrote nothing is not reported";
        } else {
            checkAgainstScreen(win, now, after, kTexW, kTexH, "texel");
        }
        glDeleteTextures(1, &tex);
    }
}

}  // namespace
