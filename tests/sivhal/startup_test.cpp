// Process attach and detach: thunk connections, the process count, the shared heap and the
// Direct3D tables; several real processes sharing them.
#include "tests/sivhal/hal_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Startup = HalMachine;

void ExpectNoSharedData() {
    EXPECT_EQ(Shared().sharedHeap, nullptr);
    EXPECT_EQ(Shared().tableDir, nullptr);
    EXPECT_EQ(Shared().tableDirCapacity, 0u);
    EXPECT_EQ(Shared().contextTableId, 0u);
    EXPECT_EQ(Shared().textureTableId, 0u);
}

TEST_F(Startup, FirstAttachCreatesSharedDataAndLastDetachFreesIt) {
    for (int round = 0; round < 2; round++) {   // the second round runs on a reset directory
        ASSERT_TRUE(Attach());
        EXPECT_EQ(Shared().attachCount, 1);
        HANDLE heap = Shared().sharedHeap;
        ASSERT_NE(heap, nullptr);
        EXPECT_EQ(Shared().tableDirCapacity, 4u);
        EXPECT_EQ(Shared().contextTableId, 1u);
        EXPECT_EQ(Shared().textureTableId, 2u);
        EXPECT_EQ(Shared().tableDir[0].itemSize, 464u);
        EXPECT_EQ(Shared().tableDir[0].capacity, 64u);
        EXPECT_EQ(Shared().tableDir[1].itemSize, 40u);
        EXPECT_EQ(Shared().tableDir[1].growStep, 64u);
        // Both thunks are connected: sivd16 reaches the HAL and the HAL reaches sivd16.
        EXPECT_EQ(kivSivd16Message(0, 0x10001, nullptr), 0x203u);
        Driver16Fn2(7);
        ASSERT_EQ(sivd16->callCount, 1u);
        EXPECT_EQ(sivd16->calls[0].index, 2u);
        EXPECT_EQ(sivd16->calls[0].args[0], 7u);
        sivd16->callCount = 0;

        ASSERT_TRUE(Detach());
        EXPECT_EQ(Shared().attachCount, 0);
        EXPECT_EQ(kivHeapLiveBlocks(heap), -1);
        ExpectNoSharedData();
        EXPECT_EQ(kivSivd16Message(0, 0x10001, nullptr), 0u);   // thunk gone
    }
}

// The loader sends a detach after a failed attach. The count must come out as it was, never
// reaching the "locked" value -1, and the next attach must work.
TEST_F(Startup, FailedThunkConnectionIsNotCounted) {
    struct Case {
        const char *failing;
        BOOL detachResult;   // the first connection stays made when the second one fails
    } cases[] = {{"I1632_ThunkData16", FALSE}, {"I3216_ThunkData16", FALSE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.failing);
        kivThunkFailConnect(c.failing, 1);
        EXPECT_FALSE(Attach());
        EXPECT_EQ(Shared().attachCount, 0);
        EXPECT_EQ(Detach(), c.detachResult);
        EXPECT_EQ(Shared().attachCount, 0);
        ExpectNoSharedData();
        kivThunkFailConnect(c.failing, 0);
        EXPECT_TRUE(Attach());
        EXPECT_EQ(Shared().attachCount, 1);
        EXPECT_TRUE(Detach());
    }
}

// Each allocation of the shared set-up failing in turn: directory, context items and flags,
// texture items and flags. The attach fails with the count raised and no table made; the
// detach brings the count back and leaves nothing behind.
TEST_F(Startup, FailedSharedSetUpIsUndoneAndCountedOnce) {
    for (unsigned n = 1; n <= 5; n++) {
        SCOPED_TRACE(n);
        kivFailHeapAllocAfter(n);
        EXPECT_FALSE(Attach());
        kivFailHeapAllocAfter(0);
        EXPECT_EQ(Shared().attachCount, 1);
        EXPECT_EQ(Shared().contextTableId, 0u);
        EXPECT_EQ(Shared().textureTableId, 0u);
        EXPECT_TRUE(Detach());
        EXPECT_EQ(Shared().attachCount, 0);
        ExpectNoSharedData();
    }
    EXPECT_TRUE(Attach());
    EXPECT_EQ(Shared().contextTableId, 1u);
}

TEST_F(Startup, InitFromDDrawReturnsItsValue) {
    EXPECT_EQ(InitFromDDraw(0x12345678), 0x12345678u);
    EXPECT_EQ(InitFromDDraw(0), 0u);
}

// ---- several real processes ------------------------------------------------------------------

// A child process that runs HAL commands sent to it over a pipe and answers each with a word.
class ChildProcess {
public:
    enum Command : int { kAttach, kAttachFailingThunk, kDetach, kAllocContext, kReadContext, kQuit };

    void Start() {
        int down[2], up[2];
        ASSERT_EQ(pipe(down), 0);
        ASSERT_EQ(pipe(up), 0);
        pid_ = fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            close(down[1]);
            close(up[0]);
            Serve(down[0], up[1]);
        }
        close(down[0]);
        close(up[1]);
        to_ = down[1];
        from_ = up[0];
    }
    int Run(Command c, int arg = 0) {
        int msg[2] = {c, arg};
        if (write(to_, msg, sizeof msg) != sizeof msg)
            return -1000;
        int r;
        if (read(from_, &r, sizeof r) != sizeof r)
            return -1001;
        return r;
    }
    int Stop() {
        Run(kQuit);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(to_);
        close(from_);
        return status;
    }

private:
    [[noreturn]] static void Serve(int in, int out) {
        int msg[2];
        while (read(in, msg, sizeof msg) == sizeof msg) {
            int r = 0;
            switch (msg[0]) {
            case kAttach:
                r = HalDllEntry(HalModule(), DLL_PROCESS_ATTACH, nullptr);
                break;
            case kAttachFailingThunk:
                kivThunkFailConnect("I1632_ThunkData16", 1);
                r = HalDllEntry(HalModule(), DLL_PROCESS_ATTACH, nullptr);
                kivThunkFailConnect("I1632_ThunkData16", 0);
                break;
            case kDetach:
                r = HalDllEntry(HalModule(), DLL_PROCESS_DETACH, nullptr);
                break;
            case kAllocContext: {
                DWORD h = 0;
                if (AllocHandle(Shared().contextTableId, &h))
                    static_cast<HalContext *>(LookupHandle(Shared().contextTableId, h))->processId = msg[1];
                r = static_cast<int>(h);
                break;
            }
            case kReadContext: {
                auto *c = static_cast<HalContext *>(LookupHandle(Shared().contextTableId, msg[1]));
                r = c ? static_cast<int>(c->processId) : -1;
                break;
            }
            case kQuit:
                (void)!write(out, &r, sizeof r);
                _exit(0);
            }
            (void)!write(out, &r, sizeof r);
        }
        _exit(1);
    }
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

// The count, the heap and the tables are one for all processes: the second process creates
// nothing, a context one process makes is seen by another, a process whose thunk connection
// failed leaves the count alone, and the heap goes with the last process.
TEST_F(Startup, ProcessesShareCountHeapAndTables) {
    ChildProcess a, b, c;
    a.Start();
    b.Start();
    c.Start();

    ASSERT_EQ(a.Run(ChildProcess::kAttach), TRUE);
    EXPECT_EQ(Shared().attachCount, 1);
    HANDLE heap = Shared().sharedHeap;
    ASSERT_NE(heap, nullptr);
    int blocks = kivHeapLiveBlocks(heap);

    ASSERT_EQ(b.Run(ChildProcess::kAttach), TRUE);
    EXPECT_EQ(Shared().attachCount, 2);
    EXPECT_EQ(Shared().sharedHeap, heap);
    EXPECT_EQ(kivHeapLiveBlocks(heap), blocks);

    int h = a.Run(ChildProcess::kAllocContext, 4321);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(b.Run(ChildProcess::kReadContext, h), 4321);

    EXPECT_EQ(c.Run(ChildProcess::kAttachFailingThunk), FALSE);
    EXPECT_EQ(c.Run(ChildProcess::kDetach), FALSE);
    EXPECT_EQ(Shared().attachCount, 2);

    EXPECT_EQ(a.Run(ChildProcess::kDetach), TRUE);
    EXPECT_EQ(Shared().attachCount, 1);
    EXPECT_EQ(b.Run(ChildProcess::kReadContext, h), 4321);

    EXPECT_EQ(b.Run(ChildProcess::kDetach), TRUE);
    EXPECT_EQ(Shared().attachCount, 0);
    EXPECT_EQ(kivHeapLiveBlocks(heap), -1);
    ExpectNoSharedData();

    EXPECT_EQ(a.Stop(), 0);
    EXPECT_EQ(b.Stop(), 0);
    EXPECT_EQ(c.Stop(), 0);
}

// Processes attaching and detaching at the same time keep the count exact: the attach lock
// serialises them across processes.
TEST_F(Startup, ConcurrentAttachAndDetachKeepTheCount) {
    constexpr int kProcesses = 4, kRounds = 300;
    pid_t pids[kProcesses];
    for (pid_t &pid : pids) {
        pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int bad = 0;
            for (int i = 0; i < kRounds; i++) {
                bad += !HalDllEntry(HalModule(), DLL_PROCESS_ATTACH, nullptr);
                bad += Shared().contextTableId == 0;
                bad += !HalDllEntry(HalModule(), DLL_PROCESS_DETACH, nullptr);
            }
            _exit(bad ? 1 : 0);
        }
    }
    for (pid_t pid : pids) {
        int status = -1;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(Shared().attachCount, 0);
    ExpectNoSharedData();
}

}  // namespace
