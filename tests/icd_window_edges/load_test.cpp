// Windowed programs under load: several threads, each with its own window, context and back
// buffer, drawing, swapping every fourth frame, resizing and reading back, while a second process
// does the same (the two share the driver's named mutex and texture heap). Every frame is checked;
// the whole run is bounded, so a deadlock fails the test instead of hanging it.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <GL/gl.h>
#include "platform/machine/machine.h"
#include "platform/zk3/zk3_engine.h"
#include "tests/common/bounded_call.h"
#include "tests/icd_window_edges/edge_window.h"

extern char **environ;

namespace {

constexpr int kThreads = 3, kFrames = 16;
constexpr const char *kChildVariable = "KIV_WINDOW_LOAD_CHILD";

// A colour of its own for every thread and frame, exact in 5 bits a channel.
uint16_t frameColour(int thread, int frame) {
    return uint16_t(((thread * 7 + 3) & 31) << 10 | ((frame * 5 + 1) & 31) << 5 | ((thread + frame) & 31));
}

// One thread's run: its window, its frames. Returns what went wrong, empty when nothing did.
std::string runWindowThread(int thread) {
    int w = 48 + 8 * thread, h = 40;
    EdgeWindow win(40 + 200 * thread, 60 + 20 * thread, w, h, true);
    if (!win.ok) return "thread " + std::to_string(thread) + ": " + win.why;
    std::string wrong;
    for (int frame = 0; frame < kFrames && wrong.empty(); ++frame) {
        if (frame % 8 == 7) {   // a resize between frames
            w = w == 48 + 8 * thread ? w + 16 : 48 + 8 * thread;
            win.w = w;
            if (!win.moveTo(40 + 200 * thread, 60 + 20 * thread)) return "resize failed";
        }
        const uint16_t c = frameColour(thread, frame);
        glClearColor(float((c >> 10) & 31) / 31.0f, float((c >> 5) & 31) / 31.0f, float(c & 31) / 31.0f, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
        glRecti(0, 0, w / 2, h);
        glFinish();
        std::vector<GLubyte> rgba(size_t(w) * size_t(h) * 4, 0);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        for (int y = 0; y < h && wrong.empty(); y += 7)
            for (int x = 0; x < w && wrong.empty(); x += 5) {
                const GLubyte *p = &rgba[4 * (size_t(y) * size_t(w) + size_t(x))];
                const uint16_t want = x < w / 2 ? 0x7FFF : c;
                if (!readsAs(p[0], (want >> 10) & 31) || !readsAs(p[1], (want >> 5) & 31) || !readsAs(p[2], want & 31))
                    wrong = "thread " + std::to_string(thread) + " frame " + std::to_string(frame) + ": read " +
                            std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]) + " at " +
                            std::to_string(x) + "," + std::to_string(y);
            }
        if (frame % 4 != 3 || !wrong.empty()) continue;
        if (!win.swap()) return "thread " + std::to_string(thread) + " frame " + std::to_string(frame) + ": swap failed";
        const ScreenCopy now = ScreenCopy::take();
        const POINT dark = win.toScreen(w - 1, 0), light = win.toScreen(0, h - 1);
        if (now.at(dark.x, dark.y) != c || now.at(light.x, light.y) != 0x7FFF)
            wrong = "thread " + std::to_string(thread) + " frame " + std::to_string(frame) + ": not on the screen";
    }
    return wrong;
}

// Every thread's run at once; what went wrong in any of them.
std::vector<std::string> runThreads() {
    std::vector<std::string> wrong(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back([t, &wrong] { wrong[t] = runWindowThread(t); });
    for (std::thread &t : threads) t.join();
    return wrong;
}

class WindowLoad : public DefaultMachine {};

// The second process's part: run only when the first one starts it.
TEST_F(WindowLoad, SecondProcessPart) {
    if (std::getenv(kChildVariable) == nullptr) GTEST_SKIP() << "run by ThreadsAndTwoProcessesDrawEveryFrame";
    for (const std::string &w : runThreads()) EXPECT_TRUE(w.empty()) << w;
}

TEST_F(WindowLoad, ThreadsAndTwoProcessesDrawEveryFrame) {
    if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP();
    // The second process: this program again, running the part above.
    std::string filter = "--gtest_filter=WindowLoad.SecondProcessPart";
    char self[] = "/proc/self/exe";
    char *argv[] = {self, filter.data(), nullptr};
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.emplace_back(std::string(kChildVariable) + "=1");
    std::vector<char *> envp;
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, argv, envp.data()), 0);

    const std::vector<std::string> wrong = boundedCall("the threads' frames", runThreads);
    for (const std::string &w : wrong) EXPECT_TRUE(w.empty()) << w;

    // The second process gets the same bound as this one's threads.
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + kBoundedCallLimit;
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the second process did not finish";
    }
    ASSERT_EQ(done, child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the second process's frames failed";
}

}  // namespace
