// Two ICD processes on one machine: the attach count and the notifier live in the mapping both
// share, while each context keeps its own client id.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include "tests/icd_hw/hw_fixture.h"

namespace {

struct ChildReport {
    uint32_t deviceOpen, clientId, attachCount, statusAfterFlush;
};

bool readWithin(int fd, void *p, size_t n, int ms) {
    pollfd f{fd, POLLIN, 0};
    return poll(&f, 1, ms) == 1 && read(fd, p, n) == ssize_t(n);
}

TEST_F(HwTest, AContextOfAnotherProcessSharesTheMappingButNotTheClientId) {
    GlContext *a = createContext();
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->hw.deviceOpen, 1u);
    int up[2], down[2];
    ASSERT_EQ(pipe(up), 0);
    ASSERT_EQ(pipe(down), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ChildReport r{};
        {
            TestWindow w(kDoubleFormat);
            DHGLRC id = DrvCreateContext(w.hdc);
            GlContext *b = id ? contextOf(id) : nullptr;
            if (b != nullptr && b->hw.deviceOpen) {
                r.deviceOpen = 1;
                r.clientId = b->hw.clientId;
                r.attachCount = uint32_t(b->hw.sharedHeader->attachCount);
                if (DrvSetContext(w.hdc, id, nullptr) == nullptr) _exit(4);
                __glHwScreenBlit(4, 4, 0, 0, 8, 8, TRUE);
                __glHwKickoff(&b->hw, 0);
                DrvReleaseContext(id);
                r.statusAfterFlush = b->hw.notifier[15];
            }
            if (write(up[1], &r, sizeof r) != ssize_t(sizeof r)) _exit(2);
            char go;
            if (read(down[0], &go, 1) != 1) _exit(3);
            if (id) DrvDeleteContext(id);
        }
        _exit(0);
    }
    close(up[1]);
    close(down[0]);
    ChildReport r{};
    const bool got = readWithin(up[0], &r, sizeof r, 20000);
    const int32_t seen = a->hw.sharedHeader->attachCount;
    char go = 1;
    signal(SIGPIPE, SIG_IGN);
    (void)!write(down[1], &go, 1);
    int status = 0;
    if (!got) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(up[0]);
    close(down[1]);
    ASSERT_TRUE(got) << "the other process did not answer (status " << status << ")";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(r.deviceOpen, 1u);
    EXPECT_NE(r.clientId, a->hw.clientId);
    EXPECT_GE(r.attachCount, 2u) << "both contexts counted in the one shared word";
    EXPECT_GE(seen, 2) << "this process sees the other's attach";
    EXPECT_EQ(r.statusAfterFlush, 0u) << "the other process's chip answered through the shared notifier";
}

}  // namespace
