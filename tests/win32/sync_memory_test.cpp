// Mutexes (recursive, owned, named ones shared with a forked process, abandonment), critical
// sections, interlocked operations, handles, global memory and its failure switch, named file
// mappings shared with a forked process.
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

std::string uniqueName(const char *what) {
    return std::string("kivtest-") + what + "-" + std::to_string(getpid());
}

// Runs `child` in a forked process; returns its exit status (0 = passed).
template <class F> int inChild(F &&child) {
    pid_t pid = fork();
    if (pid == 0) _exit(child());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(Mutex, UnnamedIsRecursiveAndOwned) {
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, INFINITE), WAIT_OBJECT_0);  // again on the same thread
    DWORD other = 0, released = 1, err = 0;
    std::thread([&] {
        other = WaitForSingleObject(m, 20);
        released = ReleaseMutex(m);
        err = GetLastError();
    }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_EQ(released, (DWORD)FALSE);
    EXPECT_EQ(err, (DWORD)ERROR_NOT_OWNER);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_OWNER);
    std::thread([&] {
        other = WaitForSingleObject(m, 0);
        ReleaseMutex(m);
    }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(m));
}

TEST(Mutex, AThreadThatDiesHoldingItLeavesItAbandoned) {
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    std::thread([&] { WaitForSingleObject(m, INFINITE); }).join();
    EXPECT_EQ(WaitForSingleObject(m, 1000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    ReleaseMutex(m);
    CloseHandle(m);
}

TEST(Mutex, NamedOpensTheSameObjectAndSaysItExisted) {
    std::string name = uniqueName("mutex-same");
    HANDLE a = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    HANDLE b = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    DWORD other = 0;
    std::thread([&] { other = WaitForSingleObject(b, 10); }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);  // a was created owned
    EXPECT_TRUE(ReleaseMutex(b));    // the same mutex, owned by this thread
    CloseHandle(a);
    CloseHandle(b);
    // Gone with its last handle.
    EXPECT_EQ(OpenMutexA(0, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST(Mutex, NamedIsSharedWithAForkedProcess) {
    std::string name = uniqueName("mutex-fork");
    HANDLE m = CreateMutexA(nullptr, TRUE, name.c_str());
    ASSERT_NE(m, nullptr);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t pid = fork();
    if (pid == 0) {
        HANDLE c = OpenMutexA(0, FALSE, name.c_str());
        if (!c) _exit(1);
        if (WaitForSingleObject(c, 0) != WAIT_TIMEOUT) _exit(2);  // the parent holds it
        char x = 1;
        if (write(toParent[1], &x, 1) != 1) _exit(3);
        if (read(toChild[0], &x, 1) != 1) _exit(4);           // parent released it
        if (WaitForSingleObject(c, 5000) != WAIT_OBJECT_0) _exit(5);
        _exit(0);  // dies holding it
    }
    char x;
    ASSERT_EQ(read(toParent[0], &x, 1), 1);
    EXPECT_TRUE(ReleaseMutex(m));
    ASSERT_EQ(write(toChild[1], &x, 1), 1);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(WaitForSingleObject(m, 2000), WAIT_ABANDONED);  // the child died holding it
    EXPECT_TRUE(ReleaseMutex(m));
    CloseHandle(m);
}

TEST(Mutex, NamedSharesTheNamespaceWithMappings) {
    std::string name = uniqueName("kind");
    HANDLE m = CreateMutexA(nullptr, FALSE, name.c_str());
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(m);
}

TEST(Handles, BadHandlesGetThePlatformErrorNotACrash) {
    HANDLE bogus = reinterpret_cast<HANDLE>(0x7777);
    EXPECT_FALSE(CloseHandle(bogus));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(ReleaseMutex(nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(MapViewOfFile(bogus, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    HANDLE m = CreateMutexA(nullptr, FALSE, nullptr);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 0), nullptr);  // a mutex is no mapping
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    CloseHandle(m);
    EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
}

TEST(CriticalSection, RecursiveAndExclusive) {
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    int shared = 0;
    std::thread t([&] {
        EnterCriticalSection(&cs);
        shared = 2;
        LeaveCriticalSection(&cs);
    });
    Sleep(20);
    shared = 1;
    LeaveCriticalSection(&cs);
    t.join();
    EXPECT_EQ(shared, 2);
    DeleteCriticalSection(&cs);
}

TEST(Interlocked, Operations) {
    volatile LONG v = 5;
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedIncrement(&v), 10);
    EXPECT_EQ(InterlockedDecrement(&v), 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 3), 9);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);
}

TEST(GlobalMemory, ZeroInitSizeReallocFree) {
    auto *p = static_cast<uint8_t *>(GlobalAlloc(GPTR, 100));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0);
    EXPECT_EQ(GlobalSize(p), 100u);
    std::memset(p, 0xAB, 100);
    EXPECT_EQ(GlobalReAlloc(p, 200, 0), nullptr);  // a fixed block does not move
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(GlobalSize(p), 100u);
    auto *q = static_cast<uint8_t *>(GlobalReAlloc(p, 200, GMEM_MOVEABLE | GMEM_ZEROINIT));
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(GlobalSize(q), 200u);
    EXPECT_EQ(q[99], 0xAB);
    EXPECT_EQ(q[100], 0);
    EXPECT_EQ(q[199], 0);
    EXPECT_EQ(GlobalReAlloc(q, 50, 0), q);  // shrinking stays in place
    EXPECT_EQ(GlobalSize(q), 50u);
    EXPECT_EQ(GlobalLock(q), q);
    EXPECT_EQ(GlobalFree(q), nullptr);
    EXPECT_EQ(GlobalFree(q), q);  // freed twice: the handle comes back, nothing crashes
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(GlobalSize(q), 0u);
    void *empty = GlobalAlloc(GMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);  // a zero-byte block still has an address
    EXPECT_EQ(GlobalSize(empty), 0u);
    GlobalFree(empty);
}

TEST(GlobalMemory, FailureSwitchFailsTheNthAllocationOnce) {
    kivFailGlobalAllocAfter(3);
    void *a = GlobalAlloc(GPTR, 16);
    void *b = GlobalAlloc(GPTR, 16);
    SetLastError(0);
    void *c = GlobalAlloc(GPTR, 16);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_MEMORY);
    void *d = GlobalAlloc(GPTR, 16);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    // Re-allocations that need memory count too; 0 switches it off.
    kivFailGlobalAllocAfter(1);
    EXPECT_EQ(GlobalReAlloc(a, 64, GMEM_MOVEABLE), nullptr);
    EXPECT_EQ(GlobalSize(a), 16u);
    kivFailGlobalAllocAfter(1);
    kivFailGlobalAllocAfter(0);
    void *e = GlobalAlloc(GPTR, 16);
    EXPECT_NE(e, nullptr);
    for (void *p : {a, b, d, e}) GlobalFree(p);
}

TEST(FileMapping, NamedIsRealSharedMemoryAcrossFork) {
    std::string name = uniqueName("map");
    HANDLE m = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10000, name.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    auto *v = static_cast<uint32_t *>(MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v[0], 0u);  // fresh shared memory is zero
    v[0] = 0xC0FFEE;
    v[2499] = 17;
    int rc = inChild([&] {
        HANDLE c = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
        if (!c) return 1;
        auto *w = static_cast<uint32_t *>(MapViewOfFile(c, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (!w || w[0] != 0xC0FFEE || w[2499] != 17) return 2;
        HANDLE again = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
        if (!again || GetLastError() != ERROR_ALREADY_EXISTS) return 3;
        w[1] = 0xBEEF;
        UnmapViewOfFile(w);
        CloseHandle(c);
        CloseHandle(again);
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(v[1], 0xBEEFu);
    // A view outlives the handle of its mapping.
    EXPECT_TRUE(CloseHandle(m));
    v[3] = 3;
    EXPECT_TRUE(UnmapViewOfFile(v));
    EXPECT_FALSE(UnmapViewOfFile(v));
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST(FileMapping, OffsetsAndSizesAreChecked) {
    HANDLE m = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 8192, nullptr);
    ASSERT_NE(m, nullptr);
    auto *whole = static_cast<uint8_t *>(MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 0));
    auto *second = static_cast<uint8_t *>(MapViewOfFile(m, FILE_MAP_READ, 0, 4096, 4096));
    ASSERT_NE(whole, nullptr);
    ASSERT_NE(second, nullptr);
    whole[4096] = 42;
    EXPECT_EQ(second[0], 42);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 4096, 8192), nullptr);
    EXPECT_EQ(MapViewOfFile(m, FILE_MAP_READ, 0, 100, 0), nullptr);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    UnmapViewOfFile(whole);
    UnmapViewOfFile(second);
    CloseHandle(m);
}

}  // namespace
