// Named objects and the shared-memory folder: a create that finds no room or a read-only folder
// fails with a message naming /dev/shm and leaves nothing there; a process ended by SIGINT or
// SIGTERM takes its named objects with it, and leaves alone those another process still holds.
#include "platform/win32/internal.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// The process ended by a signal below needs the signals' default disposition, which the platform
// replaces with its own clean-up when this program makes its first named object. A run started
// with them ignored (under nohup, or as a background job of a shell without job control) would
// keep them ignored: set them back before anything runs.
const bool g_defaultSignals = [] {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    return true;
}();

std::string uniqueName(const char *what) { return std::string("kivtest-") + what + "-" + std::to_string(getpid()); }

// Where the object of `name` lives: /dev/shm/kiv.<uid>.<namespace>.<name>, each character of the
// namespace other than an ASCII letter or digit written as '_' (test names need no escapes).
std::string shmFile(const std::string &name) {
    std::string path = "/dev/shm/kiv." + std::to_string(getuid()) + ".";
    if (const char *ns = std::getenv("KIV_OBJECT_NAMESPACE"); ns && *ns) {
        for (const char *p = ns; *p; ++p) {
            const char c = *p;
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            path += plain ? c : '_';
        }
        path += '.';
    }
    return path + name;
}
bool exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct CreateFailure {
    int createErrno, reserveErrno;
    DWORD error;
    const char *says;
};

TEST(SharedFolder, AFailedCreateSaysWhyAndLeavesNothing) {
    const CreateFailure cases[] = {
        {0, ENOSPC, ERROR_NOT_ENOUGH_MEMORY, "No space left on device"},
        {EROFS, 0, ERROR_ACCESS_DENIED, "Read-only file system"},
    };
    for (const CreateFailure &c : cases) {
        const std::string name = uniqueName("full");
        kiv::win32::failSharedCreatesForTest(c.createErrno, c.reserveErrno);
        testing::internal::CaptureStderr();
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1 << 20, name.c_str());
        const DWORD error = GetLastError();
        const std::string said = testing::internal::GetCapturedStderr();
        kiv::win32::failSharedCreatesForTest(0, 0);
        EXPECT_EQ(mapping, nullptr) << c.says;
        EXPECT_EQ(error, c.error) << c.says;
        EXPECT_NE(said.find("/dev/shm"), std::string::npos) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_FALSE(exists(shmFile(name))) << c.says;
    }
    // Without the failure the same create works, in the run's namespace and in one that holds
    // characters other than letters and digits.
    const char *run = std::getenv("KIV_OBJECT_NAMESPACE");
    const std::string own = run ? run : "";
    for (const std::string &ns : {own, own + "-tree.b"}) {
        SCOPED_TRACE("namespace " + ns);
        setenv("KIV_OBJECT_NAMESPACE", ns.c_str(), 1);
        const std::string name = uniqueName("room");
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1 << 20, name.c_str());
        EXPECT_NE(mapping, nullptr);
        EXPECT_TRUE(exists(shmFile(name)));
        if (mapping != nullptr) CloseHandle(mapping);
        EXPECT_FALSE(exists(shmFile(name)));
    }
    if (run) setenv("KIV_OBJECT_NAMESPACE", own.c_str(), 1);
    else unsetenv("KIV_OBJECT_NAMESPACE");
}

TEST(SharedFolder, ASignalledProcessTakesItsObjectsWithIt) {
    for (int sig : {SIGINT, SIGTERM}) {
        const std::string shared = uniqueName("held-by-both"), own = uniqueName("held-by-child");
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, shared.c_str());
        ASSERT_NE(mapping, nullptr);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            HANDLE mine = CreateMutexA(nullptr, FALSE, own.c_str());
            HANDLE theirs = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, shared.c_str());
            const char ok = mine && theirs ? 1 : 0;
            if (write(ready[1], &ok, 1) != 1) _exit(3);
            pause();   // until the parent's signal
            _exit(4);
        }
        close(ready[1]);
        char ok = 0;
        ASSERT_EQ(read(ready[0], &ok, 1), 1);
        close(ready[0]);
        EXPECT_EQ(ok, 1);
        EXPECT_TRUE(exists(shmFile(own)));
        kill(pid, sig);
        int status = 0;
        pid_t done = 0;
        for (int tries = 0; tries < 3000 && done == 0; ++tries) {   // at most 30 s, then fail
            done = waitpid(pid, &status, WNOHANG);
            if (done == 0) usleep(10000);
        }
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            FAIL() << "the child did not end on signal " << sig;
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "the signal still ends the process";
        EXPECT_FALSE(exists(shmFile(own))) << "signal " << sig;
        EXPECT_TRUE(exists(shmFile(shared))) << "the parent still holds it";
        CloseHandle(mapping);
        EXPECT_FALSE(exists(shmFile(shared)));
    }
}

}  // namespace
