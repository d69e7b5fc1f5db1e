// The thread environment block and TLS (slot offsets per OS, the one-load %gs read), last error
// and thread ids per thread, CreateThread, GetVersionExA.
#include "platform/machine/machine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace {

// Reads a word of the calling thread's environment block with one %gs-relative load.
uint32_t gsLoad(int32_t offset) {
    uint32_t v;
    __asm__ volatile("movl %%gs:(%1), %0" : "=r"(v) : "r"(offset));
    return v;
}

struct MachineGuard {
    KivMachineConfig saved = *kivMachineConfig();
    ~MachineGuard() { kivMachineConfigure(&saved); }
    void os(KivOs o) {
        KivMachineConfig c = saved;
        c.os = o;
        kivMachineConfigure(&c);
    }
};

TEST(Teb, BlockIsPerThreadWithSelfPointer) {
    auto *teb = static_cast<uint8_t *>(NtCurrentTeb());
    ASSERT_NE(teb, nullptr);
    EXPECT_EQ(*reinterpret_cast<void **>(teb + 0x18), teb);
    void *other = nullptr;
    std::thread([&] { other = NtCurrentTeb(); }).join();
    EXPECT_NE(other, nullptr);
    EXPECT_NE(other, teb);
}

TEST(Teb, ThreadPointerOffsetIsTheSameInEveryThread) {
    int32_t here = kivTebThreadPointerOffset();
    int32_t there = 0;
    std::thread([&] { there = kivTebThreadPointerOffset(); }).join();
    EXPECT_EQ(here, there);
    uintptr_t tp;
    __asm__("movl %%gs:0, %0" : "=r"(tp));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(NtCurrentTeb()), tp + here);
}

class TlsOffsets : public ::testing::TestWithParam<KivOs> {};

TEST_P(TlsOffsets, SlotWordsSitAtTheOsOffsetAndOneGsLoadReadsThem) {
    MachineGuard m;
    m.os(GetParam());
    const uint32_t base = GetParam() == KIV_OS_NT ? 0xE10 : 0x88;
    DWORD a = TlsAlloc(), b = TlsAlloc();
    ASSERT_NE(a, TLS_OUT_OF_INDEXES);
    ASSERT_NE(b, TLS_OUT_OF_INDEXES);
    EXPECT_EQ(kivTlsSlotOffset(a), base + 4 * a);
    auto *teb = static_cast<uint8_t *>(NtCurrentTeb());
    int value = 0;
    ASSERT_TRUE(TlsSetValue(a, &value));
    EXPECT_EQ(*reinterpret_cast<void **>(teb + base + 4 * a), &value);
    EXPECT_EQ(gsLoad(kivTebThreadPointerOffset() + static_cast<int32_t>(base + 4 * a)),
              reinterpret_cast<uint32_t>(&value));
    // Written directly into the block, read back through TlsGetValue.
    *reinterpret_cast<uint32_t *>(teb + base + 4 * b) = 0x12345678;
    EXPECT_EQ(TlsGetValue(b), reinterpret_cast<void *>(0x12345678));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
    // Another thread has its own words: empty at first, and its own value by one load.
    uint32_t seen = 1, mine = 0;
    std::thread([&] {
        seen = gsLoad(kivTebThreadPointerOffset() + static_cast<int32_t>(kivTlsSlotOffset(a)));
        TlsSetValue(a, reinterpret_cast<void *>(0xABC));
        mine = gsLoad(kivTebThreadPointerOffset() + static_cast<int32_t>(kivTlsSlotOffset(a)));
    }).join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(mine, 0xABCu);
    EXPECT_EQ(TlsGetValue(a), &value);
    EXPECT_TRUE(TlsFree(a));
    EXPECT_TRUE(TlsFree(b));
    EXPECT_FALSE(TlsFree(b));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

INSTANTIATE_TEST_SUITE_P(Os, TlsOffsets, ::testing::Values(KIV_OS_NT, KIV_OS_9X));

TEST(Tls, FreedSlotIsClearedAndReallocatedEmpty) {
    DWORD s = TlsAlloc();
    TlsSetValue(s, reinterpret_cast<void *>(7));
    TlsFree(s);
    DWORD t = TlsAlloc();
    EXPECT_EQ(t, s);
    EXPECT_EQ(TlsGetValue(t), nullptr);
    TlsFree(t);
}

TEST(Tls, RunsOutAt64Slots) {
    std::vector<DWORD> got;
    for (;;) {
        DWORD s = TlsAlloc();
        if (s == TLS_OUT_OF_INDEXES) break;
        got.push_back(s);
        ASSERT_LE(got.size(), 64u);
    }
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_ITEMS);
    for (DWORD s : got) TlsFree(s);
    EXPECT_FALSE(TlsGetValue(64));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST(LastError, IsPerThread) {
    SetLastError(1234);
    DWORD other = 99;
    std::thread([&] {
        other = GetLastError();
        SetLastError(5);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

DWORD WINAPI threadBody(LPVOID p) {
    auto *out = static_cast<DWORD *>(p);
    out[0] = GetCurrentThreadId();
    SetLastError(77);
    out[1] = GetLastError();
    return 42;
}

TEST(Threads, CreateThreadRunsWaitsAndReportsItsExitCode) {
    DWORD seen[2] = {0, 0}, id = 0;
    HANDLE t = CreateThread(nullptr, 0, threadBody, seen, 0, &id);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_EQ(seen[0], id);
    EXPECT_NE(id, GetCurrentThreadId());
    EXPECT_EQ(seen[1], 77u);
    EXPECT_TRUE(CloseHandle(t));
    EXPECT_FALSE(CloseHandle(t));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
}

DWORD WINAPI sleeper(LPVOID) {
    Sleep(200);
    return 1;
}

TEST(Threads, WaitTimesOutOnARunningThread) {
    HANDLE t = CreateThread(nullptr, 0, sleeper, nullptr, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(t, 10), WAIT_TIMEOUT);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, (DWORD)STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    CloseHandle(t);
}

TEST(Threads, IdsAreDistinctAndStable) {
    DWORD a = GetCurrentThreadId(), b = 0;
    EXPECT_EQ(GetCurrentThreadId(), a);
    std::thread([&] { b = GetCurrentThreadId(); }).join();
    EXPECT_NE(a, b);
    EXPECT_NE(a, 0u);
}

TEST(Version, NtAndNineX) {
    MachineGuard m;
    OSVERSIONINFOA v;
    std::memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = sizeof v;
    m.os(KIV_OS_NT);
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwMinorVersion, 0u);
    m.os(KIV_OS_9X);
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(v.dwMajorVersion, 4u);
    v.dwOSVersionInfoSize = 20;
    EXPECT_FALSE(GetVersionExA(&v));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

TEST(Environment, GetEnvironmentVariableA) {
    setenv("KIV_TEST_VAR", "hello", 1);
    char buf[16];
    EXPECT_EQ(GetEnvironmentVariableA("KIV_TEST_VAR", buf, sizeof buf), 5u);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(GetEnvironmentVariableA("KIV_TEST_VAR", buf, 3), 6u);
    unsetenv("KIV_TEST_VAR");
    EXPECT_EQ(GetEnvironmentVariableA("KIV_TEST_VAR", buf, sizeof buf), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ENVVAR_NOT_FOUND);
}

}  // namespace
