// Frames of windowed programs through opengl32 while DirectDraw answers busy or loses the
// surfaces, while the chip stops answering, and with other windows stacked above: a frame the
// driver reports as drawn is on the screen and reads back, one it could not draw is reported,
// and the frames after work.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <GL/gl.h>
#include "platform/ddraw_nt/ddraw_nt.h"
#include "platform/machine/machine.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zk3/zk3.h"
#include "tests/common/bounded_call.h"
#include "tests/icd_window_edges/edge_window.h"

namespace {

constexpr uint16_t kRed555 = 0x7C00, kGreen555 = 0x03E0, kBlue555 = 0x001F;

class Frames : public TroubleMachine {
protected:
    // The front buffer reads back the blue frame's first pixel.
    static bool readsBlue(const EdgeWindow &) {
        GLubyte p[4] = {0, 0, 0, 0};
        glReadBuffer(GL_FRONT);
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return p[2] > 200;
    }
    // `below` (red or blue) below, green in the top half; with `softwareTop` the top half goes
    // through a logic operation, which the chip cannot do: software draws it, through the lock
    // of the buffer. True when glFinish reports drawing dropped (the thread's last error).
    static bool drawFrame(const EdgeWindow &win, uint16_t below = kRed555, bool softwareTop = false) {
        glClearColor(below == kRed555 ? 1.0f : 0.0f, 0, below == kBlue555 ? 1.0f : 0.0f, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        if (softwareTop) {
            glEnable(GL_COLOR_LOGIC_OP);
            glLogicOp(GL_COPY);
        }
        glColor3f(0, 1, 0);
        glRecti(0, win.h / 2, win.w, win.h);
        glDisable(GL_COLOR_LOGIC_OP);
        SetLastError(ERROR_SUCCESS);
        glFinish();
        return GetLastError() == ERROR_GEN_FAILURE;
    }
    // The frame drawFrame(win, below) drew is on the screen and in the front buffer.
    static void expectShown(const EdgeWindow &win, const char *what, uint16_t below = kRed555) {
        const ScreenCopy now = ScreenCopy::take();
        std::vector<GLubyte> rgba(size_t(win.w) * size_t(win.h) * 4, 0);
        glReadBuffer(GL_FRONT);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, win.w, win.h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << what;
        int wrong = 0;
        for (int y = 0; y < win.h && wrong < 3; y += 3)
            for (int x = 0; x < win.w && wrong < 3; x += 5) {
                const POINT s = win.toScreen(x, y);
                const uint16_t want = y >= win.h / 2 ? kGreen555 : below;
                const GLubyte *p = &rgba[4 * (size_t(y) * size_t(win.w) + size_t(x))];
                const bool readOk = readsAs(p[0], want >> 10) && readsAs(p[1], (want >> 5) & 31) && readsAs(p[2], want & 31);
                if (now.at(s.x, s.y) != want || !readOk) {
                    ++wrong;
                    ADD_FAILURE() << what << ": window " << x << "," << y << " screen 0x" << std::hex
                                  << now.at(s.x, s.y) << " read " << std::dec << int(p[0]) << "," << int(p[1]) << ","
                                  << int(p[2]) << ", drawn 0x" << std::hex << want;
                }
            }
    }
};

struct Trouble {
    const char *what;
    void (*inject)();
};
const Trouble kTroubles[] = {
    {"busy for a few locks", [] { kivDDrawBusyLocks(8); }},
    {"busy for a while", [] { kivDDrawBusyLocks(60); }},
    {"surfaces lost", [] { kivDDrawLoseSurfaces(); }},
    {"busy for good", [] { kivDDrawBusyLocks(1 << 30); }},
};

// DirectDraw answers busy to a number of locks, or loses every surface, before a frame whose
// top half software draws through the buffer's lock (the bottom is the chip's clear): a
// double-buffered frame whose swap returns TRUE is on the screen, one that cannot be shown fails
// its swap, and a single-buffered one glFinish does not report is on the screen; once DirectDraw
// answers again the frames are drawn, shown and read back.
TEST_F(Frames, BusyAndLostSurfacesNeverLoseAFrameInSilence) {
    for (bool doubleBuffered : {true, false})
        for (const Trouble &t : kTroubles) {
            SCOPED_TRACE(std::string(t.what) + (doubleBuffered ? ", double-buffered" : ", single-buffered"));
            EdgeWindow win(200, 150, 64, 48, doubleBuffered);
            ASSERT_TRUE(win.ok) << win.why;
            t.inject();
            const bool dropped = drawFrame(win, kRed555, true);
            const bool reported = doubleBuffered ? !win.swap() : dropped;
            kivDDrawResetInjections();
            if (!reported) expectShown(win, "a frame neither its swap nor glFinish reported");
            // Once DirectDraw answers, the very first frame is drawn and shown.
            drawFrame(win, kBlue555);
            const bool shown = doubleBuffered ? win.swap() : readsBlue(win);
            EXPECT_TRUE(shown) << "the first frame after the trouble not shown";
            expectShown(win, "the frame after", kBlue555);
        }
}

// A single-buffered window draws into the screen itself, so there is no swap to fail: a frame
// drawn while DirectDraw answers busy or has lost the surfaces is on the screen and reads back
// when glFinish returns, or glFinish says it is not (the thread's last error, as a failed swap
// says it). Once DirectDraw answers again, the very first frame is drawn and reads back.
TEST_F(Frames, SingleBufferedFramesAreDrawnOrReported) {
    for (const Trouble &t : kTroubles) {
        SCOPED_TRACE(t.what);
        EdgeWindow win(200, 150, 64, 48, false);
        ASSERT_TRUE(win.ok) << win.why;
        t.inject();
        const bool reported = drawFrame(win, kRed555, true);
        kivDDrawResetInjections();
        if (!reported) expectShown(win, "a frame glFinish did not report");
        // The first frame after is drawn, reads back at once and is not reported, and so is the
        // one after it.
        EXPECT_FALSE(drawFrame(win, kBlue555, true)) << "the first frame after the trouble reported lost";
        expectShown(win, "the first frame after", kBlue555);
        EXPECT_FALSE(drawFrame(win, kRed555, true)) << "the second frame after the trouble reported lost";
        expectShown(win, "the second frame after");
    }
}

// glAccum's return writes the colour buffer in software through its lock: refused while
// DirectDraw answers busy, the frame (red where the returned picture is blue) is reported by the
// swap or by glFinish, or else the blue picture is on the screen.
TEST_F(Frames, AnAccumulationReturnRefusedIsReported) {
    for (bool doubleBuffered : {true, false}) {
        SCOPED_TRACE(doubleBuffered ? "double-buffered" : "single-buffered");
        EdgeWindow win(180, 140, 64, 48, doubleBuffered);
        ASSERT_TRUE(win.ok) << win.why;
        GLint accumBits = 0;
        glGetIntegerv(GL_ACCUM_RED_BITS, &accumBits);
        ASSERT_GT(accumBits, 0) << "the window's format has no accumulation buffer";
        glDrawBuffer(doubleBuffered ? GL_BACK : GL_FRONT);
        glReadBuffer(doubleBuffered ? GL_BACK : GL_FRONT);
        drawFrame(win, kBlue555);
        glAccum(GL_LOAD, 1.0f);
        drawFrame(win, kRed555);
        kivDDrawBusyLocks(1 << 30);
        glAccum(GL_RETURN, 1.0f);
        SetLastError(ERROR_SUCCESS);
        glFinish();
        const bool reported = doubleBuffered ? !win.swap() : GetLastError() == ERROR_GEN_FAILURE;
        kivDDrawResetInjections();
        if (!reported) expectShown(win, "a returned picture neither the swap nor glFinish reported", kBlue555);
        drawFrame(win, kBlue555);
        if (doubleBuffered) {
            EXPECT_TRUE(win.swap()) << "the frame after not shown";
        }
        expectShown(win, "the frame after", kBlue555);
    }
}

// The chip stops answering (its notifiers never written, its FIFO never freeing, its engine busy
// for ever): the program's calls return, a swap that returns TRUE shows its frame, and once the
// chip answers again the frames are drawn and shown.
TEST_F(Frames, AChipThatStopsAnsweringNeverHangsTheProgram) {
    struct Fault {
        const char *what;
        void (*hold)();
    };
    const Fault faults[] = {
        {"notifiers never written", [] { zk3EngineHoldNotifiers(true); }},
        {"FIFO never frees", [] { zk3EngineHoldFreeCount(~0u, 0); }},
        {"engine busy for ever", [] { zk3EngineChip()->setEngineBusy(true); }},
    };
    EdgeWindow win(120, 100, 64, 48, true);
    ASSERT_TRUE(win.ok) << win.why;
    for (const Fault &f : faults) {
        SCOPED_TRACE(f.what);
        f.hold();
        // The calls run on a thread of their own with the context, bounded.
        ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
        const bool swapped = boundedCall("a frame with the chip silent", [&] {
            if (!wglMakeCurrent(win.hdc, win.rc)) return false;
            drawFrame(win);
            const bool ok = win.swap();
            wglMakeCurrent(nullptr, nullptr);
            return ok;
        });
        ASSERT_TRUE(wglMakeCurrent(win.hdc, win.rc));
        zk3EngineHoldNotifiers(false);
        zk3EngineHoldFreeCount(0, 0);
        if (zk3EngineChip() != nullptr) zk3EngineChip()->setEngineBusy(false);
        if (swapped) expectShown(win, "a frame reported while the chip was silent");
        int frames = 0;
        bool shown = false;
        while (!shown && frames++ < 3) {
            drawFrame(win, kBlue555);
            shown = win.swap();
        }
        EXPECT_TRUE(shown) << "no frame after the chip answered again";
        expectShown(win, "the frame after", kBlue555);
    }
}

// A window stacked above a single-buffered window keeps its pixels while the program clears and
// draws the front buffer; the rest of the window shows the drawing.
TEST_F(Frames, FrontBufferDrawingLeavesTheWindowsAboveAlone) {
    EdgeWindow win(300, 200, 96, 64, false);
    ASSERT_TRUE(win.ok) << win.why;
    drawFrame(win);
    HWND cover = CreateWindowExA(0, "cover", "cover", WS_VISIBLE, 330, 210, 30, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(cover, nullptr);
    POINT at{0, 0};
    ClientToScreen(cover, &at);
    RECT area{0, 0, 0, 0};
    GetClientRect(cover, &area);
    const ScreenCopy before = ScreenCopy::take();
    glClearColor(0, 0, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glBegin(GL_TRIANGLES);
    glVertex2i(0, 0);
    glVertex2i(96, 0);
    glVertex2i(96, 64);
    glEnd();
    glBegin(GL_LINES);
    for (int y = 0; y < 64; y += 2) glVertex2f(0.0f, float(y) + 0.5f), glVertex2f(96.0f, float(y) + 0.5f);
    glEnd();
    glFinish();
    const ScreenCopy after = ScreenCopy::take();
    int changed = 0, drawn = 0;
    for (int y = at.y; y < at.y + area.bottom; ++y)
        for (int x = at.x; x < at.x + area.right; ++x) changed += after.at(x, y) != before.at(x, y);
    EXPECT_EQ(changed, 0) << "pixels of the window above were drawn over";
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const POINT s = win.toScreen(x, y);
            if (s.x >= at.x && s.x < at.x + area.right && s.y >= at.y && s.y < at.y + area.bottom) continue;
            drawn += after.at(s.x, s.y) != before.at(s.x, s.y);
        }
    EXPECT_GT(drawn, 96 * 64 / 2) << "the uncovered part shows the drawing";
    DestroyWindow(cover);
}

// A window that appears above a single-buffered window between two primitives, with no state
// change, no clear and no frame boundary in between, keeps its pixels: the drawing that follows
// (by the chip or by software, triangles, lines, points or pixel rectangles) notices it at once.
TEST_F(Frames, AWindowAppearingMidFrameIsNotDrawnOver) {
    struct Drawing {
        const char *what;
        bool software;
        void (*draw)(int w, int h);
    };
    const Drawing drawings[] = {
        {"triangles", false, [](int w, int h) { glRecti(0, 0, w, h); }},
        {"triangles through a logic operation", true, [](int w, int h) { glRecti(0, 0, w, h); }},
        {"lines", false,
         [](int w, int h) {
             glBegin(GL_LINES);
             for (int y = 0; y < h; ++y) glVertex2f(0.0f, float(y) + 0.5f), glVertex2f(float(w), float(y) + 0.5f);
             glEnd();
         }},
        {"points", false,
         [](int w, int h) {
             glBegin(GL_POINTS);
             for (int y = 0; y < h; ++y)
                 for (int x = 0; x < w; ++x) glVertex2f(float(x) + 0.5f, float(y) + 0.5f);
             glEnd();
         }},
        {"pixel rectangle", false,
         [](int w, int h) {
             const std::vector<GLubyte> white(size_t(w) * size_t(h) * 4, 0xFF);
             glRasterPos2i(0, 0);
             glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, white.data());
         }},
    };
    for (const Drawing &d : drawings) {
        SCOPED_TRACE(d.what);
        EdgeWindow win(300, 200, 96, 64, false);
        ASSERT_TRUE(win.ok) << win.why;
        if (d.software) {
            glEnable(GL_COLOR_LOGIC_OP);
            glLogicOp(GL_COPY);
        }
        glClearColor(0, 0, 1, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        // A first primitive chooses the procs while the window is wholly visible.
        glBegin(GL_POINTS);
        glVertex2f(0.5f, 0.5f);
        glEnd();
        glFinish();
        HWND cover = CreateWindowExA(0, "cover", "cover", WS_VISIBLE, 330, 210, 30, 30, nullptr, nullptr, nullptr,
                                     nullptr);
        ASSERT_NE(cover, nullptr);
        const ScreenCopy before = ScreenCopy::take();
        d.draw(win.w, win.h);
        glFinish();
        const ScreenCopy after = ScreenCopy::take();
        int changed = 0, drawn = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x) {
                const POINT s = win.toScreen(x, y);
                const bool covered = s.x >= 330 && s.x < 360 && s.y >= 210 && s.y < 240;
                (covered ? changed : drawn) += after.at(s.x, s.y) != before.at(s.x, s.y);
            }
        EXPECT_EQ(changed, 0) << "pixels of the window above were drawn over";
        EXPECT_GT(drawn, 96 * 64 / 2) << "the uncovered part shows the drawing";
        glDisable(GL_COLOR_LOGIC_OP);
        DestroyWindow(cover);
    }
}

}  // namespace

namespace {

// Without DirectDraw a window's buffers are the program's memory and the driver has no road to
// the screen: frames are drawn, swapped into the memory front buffer and read back, and the
// screen (other windows' pixels) is left alone rather than painted with anything else.
TEST_F(Frames, WithoutDirectDrawFramesStayInTheWindowsMemory) {
    KivMachineConfig c = *kivMachineConfig();
    c.noDirectDraw = 1;
    kivMachineConfigure(&c);
    ASSERT_TRUE(kivMachineBoot());
    EdgeWindow win(200, 150, 64, 48, true);
    ASSERT_TRUE(win.ok) << win.why;
    const ScreenCopy before = ScreenCopy::take();
    drawFrame(win);
    EXPECT_TRUE(win.swap());
    std::vector<GLubyte> rgba(size_t(win.w) * size_t(win.h) * 4, 0);
    glReadBuffer(GL_FRONT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, win.w, win.h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    EXPECT_TRUE(readsAs(rgba[0], 31) && readsAs(rgba[1], 0)) << "the frame in the front buffer";
    const ScreenCopy after = ScreenCopy::take();
    EXPECT_EQ(after.px, before.px) << "the screen was written";
}

}  // namespace
