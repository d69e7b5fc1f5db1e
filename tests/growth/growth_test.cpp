// What a long-running program must not pile up: the frame buffer asked for again and again is
// the one view of the process; mode changes give back the driver's own mappings; and windows,
// device contexts and contexts made, drawn with and deleted leave the heap and the mappings as
// they found them. KIV_GROWTH_CYCLES sets the number of context cycles (a few hundred by
// default, so that the emulator runs the test in seconds; 10,000 for a long run).
#include <malloc.h>

#include <cstdlib>

#include "include/zk_escape.h"
#include "platform/videoprt/videoprt_sim.h"
#include "platform/zk3/zk3.h"
#include "platform/zk3/zk3_engine.h"
#include "platform/zkgfx/zkgfx.h"
#include "tests/gl_program/window_program.h"

namespace {

constexpr uint32_t kThisProcess = 0xFFFFFFFFu;

size_t mappingsOf(uint32_t process) {
    size_t n = 0;
    for (const KivVideoPortMapping &m : kivVideoPortSim().mappings) n += m.process == process;
    return n;
}

uint32_t mapFrameBuffer(HDC dc) {
    uint32_t process = kThisProcess, address = 0;
    if (ExtEscape(dc, int(ESC_ZK_MAP_FRAME_BUFFER), 4, reinterpret_cast<LPCSTR>(&process), 4,
                  reinterpret_cast<LPSTR>(&address)) != 1)
        return 0;
    return address;
}

int cycles() {
    const char *v = std::getenv("KIV_GROWTH_CYCLES");
    return v && *v ? std::atoi(v) : 300;
}

}  // namespace

class Growth : public WindowProgram {};

TEST_F(Growth, TheFrameBufferAskedForAgainIsTheProcesssOneView) {
    const size_t kernel = mappingsOf(0), before = kivVideoPortSim().mappings.size();
    const uint32_t first = mapFrameBuffer(hdc);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(uint32_t(uintptr_t(kivVideoPortSim().chip->frameBufferAperture())), first);
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(mapFrameBuffer(hdc), first) << "call " << i;
    EXPECT_EQ(kivVideoPortSim().mappings.size(), before + 1);
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
    EXPECT_EQ(mappingsOf(0), kernel);
    // The view goes with the machine: a new boot starts without it, and maps one again.
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
    ASSERT_TRUE(kivMachineBoot());
    EXPECT_EQ(mappingsOf(kThisProcess), 0u);
    hwnd = CreateWindowExA(0, "t", "t", WS_VISIBLE, 10, 10, kW, kH, nullptr, nullptr, nullptr, nullptr);
    hdc = GetDC(hwnd);
    EXPECT_EQ(mapFrameBuffer(hdc), uint32_t(uintptr_t(kivVideoPortSim().chip->frameBufferAperture())));
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
}

// The driver maps the frame buffer for itself at every mode set and unmaps it at the next; the
// process's view, at the same address, must not be taken for it.
TEST_F(Growth, ModeChangesGiveBackTheDriversMappingsBesideTheProcesssView) {
    const size_t kernel = mappingsOf(0);
    ASSERT_NE(mapFrameBuffer(hdc), 0u);
    const KivScreenMode home = *kivScreenMode();
    static const KivScreenMode kModes[] = {{800, 600, 16}, {1024, 768, 32}, {640, 480, 8}, {1280, 1024, 16}};
    for (int round = 0; round < 5; ++round)
        for (const KivScreenMode &m : kModes) {
            kivSetScreenMode(&m);
            kivSetScreenMode(&home);
        }
    EXPECT_EQ(mappingsOf(0), kernel);
    EXPECT_EQ(mappingsOf(kThisProcess), 1u);
}

// Each cycle makes a window, its DC and a context, draws a triangle and reads it back, and takes
// them all down again. After a warm-up (caches and bounded logs at their size), further cycles
// leave the heap's bytes in use and the mappings where they were.
TEST_F(Growth, ContextWindowAndDcCyclesLeaveTheHeapAndTheMappings) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not built";
    ReleaseDC(hwnd, hdc);
    DestroyWindow(hwnd);
    hwnd = nullptr;
    hdc = nullptr;
    auto cycle = [](int i) {
        // The models' records of writes and requests are bounded, but at thousands of entries: a
        // cycle keeps them to itself.
        kivVideoPortSim().chip->clearWriteLog();
        zk3EngineClearLog();
        kivZkgfxState().requestCodes.clear();
        HWND w = CreateWindowExA(0, "t", "t", WS_VISIBLE, 20 + i % 7, 30 + i % 5, kProgramW, kProgramH, nullptr,
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(w, nullptr);
        HDC dc = GetDC(w);
        ASSERT_TRUE(SetPixelFormat(dc, kDoubleBuffered, nullptr));
        HGLRC rc = wglCreateContext(dc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(dc, rc));
        pixelProjection(kProgramW, kProgramH);
        clearTo(0, 0, 1);
        glColor3f(1, 0, 0);
        glBegin(GL_TRIANGLES);
        glVertex2f(0, 0);
        glVertex2f(kProgramW, 0);
        glVertex2f(0, kProgramH);
        glEnd();
        glFinish();
        // (8.5, 8.5) is inside the triangle, (60.5, 44.5) beyond its long edge x + y * 4/3 = 64.
        const Rgb in = rgbAt(8, 8), out = rgbAt(60, 44);
        SwapBuffers(dc);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
        ReleaseDC(w, dc);
        DestroyWindow(w);
        ASSERT_EQ(in, (Rgb{255, 0, 0})) << "cycle " << i;
        ASSERT_EQ(out, (Rgb{0, 0, 255})) << "cycle " << i;
    };
    const int n = cycles();
    for (int i = 0; i < 100; ++i) {
        cycle(i);
        ASSERT_FALSE(HasFatalFailure());
    }
    // The record of pusher runs is bounded (twice the runs it keeps) but grows by doubling up to
    // that: its room is counted apart from what the cycles leave.
    auto inUse = [] { return mallinfo2().uordblks - zk3EnginePusherRuns().capacity() * sizeof(Zk3PusherRun); };
    const size_t heap = inUse(), mappings = kivVideoPortSim().mappings.size();
    for (int i = 0; i < n; ++i) {
        cycle(i);
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_EQ(kivVideoPortSim().mappings.size(), mappings);
    const size_t after = inUse();
    EXPECT_LE(after, heap) << n << " cycles left " << (after - heap) << " more bytes in use";
}
