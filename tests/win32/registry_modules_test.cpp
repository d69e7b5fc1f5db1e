// The registry (in memory, persisted through KIV_REGISTRY and shared with another process
// through the file), modules (missing ones, the platform's own), devices.
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

extern "C" BOOL WINAPI wglSwapBuffers(HDC hdc);

namespace {

std::string readFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct RegistryFile {
    std::string path = "/tmp/kivtest-registry-" + std::to_string(getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name();
    RegistryFile() {
        std::remove(path.c_str());
        setenv("KIV_REGISTRY", path.c_str(), 1);
    }
    ~RegistryFile() {
        unsetenv("KIV_REGISTRY");
        std::remove(path.c_str());
        std::remove((path + ".lock").c_str());
    }
};

TEST(Registry, ValuesWrittenAreRead) {
    HKEY k;
    DWORD disp = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\KivTest\\Values", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &k, &disp),
              ERROR_SUCCESS);
    DWORD n = 0x1234;
    ASSERT_EQ(RegSetValueExA(k, "Number", 0, REG_DWORD, reinterpret_cast<BYTE *>(&n), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k, "Text", 0, REG_SZ, reinterpret_cast<const BYTE *>("abc"), 3), ERROR_SUCCESS);
    DWORD type = 0, size = 4, got = 0;
    EXPECT_EQ(RegQueryValueExA(k, "number", nullptr, &type, reinterpret_cast<BYTE *>(&got), &size),
              ERROR_SUCCESS);  // names are compared without case
    EXPECT_EQ(type, (DWORD)REG_DWORD);
    EXPECT_EQ(got, 0x1234u);
    char text[8];
    size = 2;
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, &type, reinterpret_cast<BYTE *>(text), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);  // with the terminator the platform adds
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, &type, reinterpret_cast<BYTE *>(text), &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(RegQueryValueExA(k, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(k, "Text"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    HKEY again;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\kivtest\\values", 0, KEY_READ, &again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KivTest\\Nothing", 0, KEY_READ, &again),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(k), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\KivTest\\Values"), ERROR_SUCCESS);
}

TEST(Registry, PersistsToTheFileAndSeesChangesOfAnotherProcess) {
    RegistryFile file;
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KivTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    DWORD v = 7;
    ASSERT_EQ(RegSetValueExA(k, "Seven", 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), 4), ERROR_SUCCESS);
    std::string text = readFile(file.path);
    EXPECT_NE(text.find("HKLM\\SOFTWARE\\KivTest\tSeven\t4\t07000000"), std::string::npos) << text;
    // Another process writes a value; this one reads it from the file.
    pid_t pid = fork();
    if (pid == 0) {
        HKEY c;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KivTest", 0, KEY_ALL_ACCESS, &c) != ERROR_SUCCESS) _exit(1);
        DWORD w = 8;
        if (RegSetValueExA(c, "Eight", 0, REG_DWORD, reinterpret_cast<BYTE *>(&w), 4) != ERROR_SUCCESS) _exit(2);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    DWORD got = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(k, "Eight", nullptr, nullptr, reinterpret_cast<BYTE *>(&got), &size), ERROR_SUCCESS);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(RegQueryValueExA(k, "Seven", nullptr, nullptr, reinterpret_cast<BYTE *>(&got), &size), ERROR_SUCCESS);
    EXPECT_EQ(got, 7u);
    // A fresh file written by hand (as a fresh process would find it) is read as it is.
    {
        std::ofstream o(file.path + ".new");
        o << "K HKLM\\SOFTWARE\\KivTest\nV HKLM\\SOFTWARE\\KivTest\tText\t1\t686900\n";
    }
    std::rename((file.path + ".new").c_str(), file.path.c_str());
    char buf[8];
    size = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(k, "Text", nullptr, nullptr, reinterpret_cast<BYTE *>(buf), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "hi");
    EXPECT_EQ(RegQueryValueExA(k, "Seven", nullptr, nullptr, reinterpret_cast<BYTE *>(&got), &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(k);
}

TEST(Modules, AMissingModuleFailsWithThePlatformError) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("nosuchdriver.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    EXPECT_NE(std::string(kivModuleLoadError()).find("nosuchdriver.so"), std::string::npos);
    EXPECT_EQ(GetModuleHandleA("nosuchdriver.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    setenv("KIV_MODULE_PATH", "/nonexistent-a:/nonexistent-b", 1);
    EXPECT_EQ(LoadLibraryA("kivgl.dll"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    unsetenv("KIV_MODULE_PATH");
}

TEST(Modules, Opengl32IsTheProgramAndExportsWglSwapBuffers) {
    HMODULE gl = GetModuleHandleA("opengl32.dll");
    ASSERT_NE(gl, nullptr);
    EXPECT_EQ(LoadLibraryA("OPENGL32.DLL"), gl);
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(gl, "wglSwapBuffers")), reinterpret_cast<void *>(&wglSwapBuffers));
    EXPECT_TRUE(FreeLibrary(gl));
    EXPECT_EQ(reinterpret_cast<void *>(GetProcAddress(gl, "glBegin")) != nullptr, true);
    // What the program does not define itself is not its export.
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(gl, "malloc"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(gl, "NoSuchEntry"), nullptr);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "glBegin"), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1234)));
}

struct FakeDevice {
    int opens = 0, closes = 0;
    DWORD lastCode = 0;
};

TEST(Devices, RegisteredDevicesOpenAndAnswer) {
    static FakeDevice dev;
    KivDeviceOps ops{};
    ops.context = &dev;
    ops.open = [](void *c, DWORD) -> void * {
        static_cast<FakeDevice *>(c)->opens++;
        return c;
    };
    ops.control = [](void *c, void *, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                     LPDWORD returned) -> BOOL {
        static_cast<FakeDevice *>(c)->lastCode = code;
        std::memcpy(out, in, inSize < outSize ? inSize : outSize);
        *returned = outSize;
        return TRUE;
    };
    ops.close = [](void *c, void *) { static_cast<FakeDevice *>(c)->closes++; };
    kivRegisterDevice("\\\\.\\KIVTEST", &ops);
    EXPECT_EQ(CreateFileA("\\\\.\\NOTHING", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    HANDLE h = CreateFileA("\\\\.\\kivtest", GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    uint32_t in = 5, out = 0;
    DWORD ret = 0;
    EXPECT_TRUE(DeviceIoControl(h, 0x222004, &in, 4, &out, 4, &ret, nullptr));
    EXPECT_EQ(out, 5u);
    EXPECT_EQ(ret, 4u);
    EXPECT_EQ(dev.lastCode, 0x222004u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(dev.opens, 1);
    EXPECT_EQ(dev.closes, 1);
    EXPECT_FALSE(DeviceIoControl(h, 1, nullptr, 0, nullptr, 0, &ret, nullptr));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    kivRegisterDevice("\\\\.\\KIVTEST", nullptr);
}

}  // namespace
