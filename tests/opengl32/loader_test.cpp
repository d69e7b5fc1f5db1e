// opengl32's ICD loader and wgl* calls: the failures before the driver (no pixel format, a
// display driver without OpenGL, no registry entry, no library), then, with the real kivgl
// module, the whole path an application takes.
#include "tests/common/program_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

class Loader : public BootedProgram {
protected:
    void SetUp() override {
        BootedProgram::SetUp();
        if (HasFatalFailure()) return;
        hwnd = CreateWindowExA(0, "t", "t", 0, 10, 10, 64, 48, nullptr, nullptr, nullptr, nullptr);
        hdc = GetDC(hwnd);
    }
    void TearDown() override {
        wglMakeCurrent(nullptr, nullptr);
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
        BootedProgram::TearDown();
    }
    void setFormat(int f) { ASSERT_TRUE(SetPixelFormat(hdc, f, nullptr)); }
    HWND hwnd = nullptr;
    HDC hdc = nullptr;
};

TEST_F(Loader, ADcWithoutAPixelFormatGetsNoContext) {
    EXPECT_EQ(wglCreateContext(hdc), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PIXEL_FORMAT);
    EXPECT_EQ(wglCreateContext(reinterpret_cast<HDC>(0x4321)), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_EQ(kivOpenGlDriverName(), nullptr);
}

TEST_F(Loader, ADisplayDriverWithoutOpenGlNamesNoDriver) {
    setFormat(2);
    KivScreenMode m32{1024, 768, 32};
    kivSetScreenMode(&m32);
    EXPECT_EQ(wglCreateContext(hdc), nullptr);
    EXPECT_NE(std::string(kivOpenGlError()).find("QUERYESCSUPPORT"), std::string::npos) << kivOpenGlError();
    EXPECT_EQ(kivOpenGlDriverName(), nullptr);
}

TEST_F(Loader, TheRegistryMustNameTheLibrary) {
    setFormat(2);
    HKEY k;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kivOpenGlDriversKey(), 0, KEY_ALL_ACCESS, &k), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(k, KIV_ICD_NAME), ERROR_SUCCESS);
    EXPECT_EQ(wglCreateContext(hdc), nullptr);
    EXPECT_NE(std::string(kivOpenGlError()).find("QUOR HALCYNE TAVRIK"), std::string::npos) << kivOpenGlError();
    RegCloseKey(k);
}

TEST_F(Loader, AMissingLibraryFailsWithThePlatformError) {
    setFormat(2);
    setenv("KIV_MODULE_PATH", "/nonexistent-kiv-modules", 1);
    EXPECT_EQ(wglCreateContext(hdc), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_MOD_NOT_FOUND);
    EXPECT_NE(std::string(kivOpenGlError()).find("kivgl"), std::string::npos) << kivOpenGlError();
    unsetenv("KIV_MODULE_PATH");
}

TEST_F(Loader, BadHandlesAreRefused) {
    HGLRC bogus = reinterpret_cast<HGLRC>(0x777);
    EXPECT_FALSE(wglMakeCurrent(hdc, bogus));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    EXPECT_FALSE(wglDeleteContext(bogus));
    EXPECT_FALSE(wglShareLists(bogus, bogus));
    EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));  // nothing current: nothing to release
    EXPECT_EQ(wglGetProcAddress("glLockArraysEXT"), nullptr);
}

// ---- with the real driver --------------------------------------------------------------------

TEST_F(Loader, AnApplicationLoadsTheIcdAndDrawsThroughTheLiveTable) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    setFormat(2);
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    EXPECT_STREQ(kivOpenGlDriverName(), "kivgl");
    EXPECT_EQ(kivOpenGlCurrentTable(), kivOpenGlNopTable());
    ASSERT_TRUE(wglMakeCurrent(hdc, rc)) << kivOpenGlError();
    EXPECT_EQ(wglGetCurrentContext(), rc);
    EXPECT_EQ(wglGetCurrentDC(), hdc);
    const void *table = kivOpenGlCurrentTable();
    EXPECT_NE(table, kivOpenGlNopTable());
    EXPECT_EQ(*static_cast<const uint32_t *>(table), 336u);
    const char *vendor = reinterpret_cast<const char *>(glGetString(GL_VENDOR));
    ASSERT_NE(vendor, nullptr);
    EXPECT_STREQ(vendor, "QUOR AG Germany (Ostrel)");
    EXPECT_STREQ(reinterpret_cast<const char *>(glGetString(GL_VERSION)), "1.1.0");
    EXPECT_EQ(glGetError(), 0u);
    EXPECT_NE(wglGetProcAddress("glLockArraysEXT"), nullptr);
    EXPECT_EQ(wglGetProcAddress("glMTexCoord2fSGIS"), wglGetProcAddress("glMultiTexCoord2fSGIS"));
    EXPECT_TRUE(wglSwapBuffers(hdc));
    // Current here: another thread can neither make it current nor delete it.
    std::thread([&] {
        HDC dc2 = GetDC(hwnd);
        EXPECT_FALSE(wglMakeCurrent(dc2, rc));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_BUSY);
        EXPECT_FALSE(wglDeleteContext(rc));
        EXPECT_EQ(glGetString(GL_VENDOR), nullptr);  // nothing current on this thread
        ReleaseDC(hwnd, dc2);
    }).join();
    // Making the same context current again takes the driver's fast path.
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    EXPECT_EQ(kivOpenGlCurrentTable(), table);
    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_EQ(kivOpenGlCurrentTable(), kivOpenGlNopTable());
    EXPECT_EQ(glGetString(GL_VENDOR), nullptr);
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_FALSE(wglDeleteContext(rc));
    EXPECT_TRUE(kivOpenGlUnloadDriver());
}

TEST_F(Loader, DeletingTheCurrentContextReleasesItFirst) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    setFormat(2);
    HGLRC a = wglCreateContext(hdc), b = wglCreateContext(hdc);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(wglMakeCurrent(hdc, a));
    ASSERT_TRUE(wglMakeCurrent(hdc, b));  // a is released on the way
    EXPECT_TRUE(wglDeleteContext(a));
    EXPECT_TRUE(wglDeleteContext(b));
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(kivOpenGlCurrentTable(), kivOpenGlNopTable());
    EXPECT_EQ(glGetString(GL_VENDOR), nullptr);
    EXPECT_TRUE(kivOpenGlUnloadDriver());
}

TEST_F(Loader, NineXModeFindsTheContextAtTheNineXOffset) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    KivMachineConfig c = saved;
    c.os = KIV_OS_9X;
    kivMachineConfigure(&c);
    ASSERT_TRUE(kivMachineBoot());
    setFormat(2);
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    const char *vendor = reinterpret_cast<const char *>(glGetString(GL_VENDOR));
    ASSERT_NE(vendor, nullptr);
    EXPECT_STREQ(vendor, "QUOR AG Germany (Ostrel)");
    ASSERT_TRUE(wglMakeCurrent(nullptr, nullptr));
    EXPECT_TRUE(wglDeleteContext(rc));
    EXPECT_TRUE(kivOpenGlUnloadDriver());
}

int nonZeroTlsWords() {
    auto *teb = static_cast<const uint8_t *>(NtCurrentTeb());
    int n = 0;
    for (DWORD s = 0; s < KIV_TLS_SLOTS; ++s) n += *reinterpret_cast<const uint32_t *>(teb + kivTlsSlotOffset(s)) != 0;
    return n;
}

DWORD WINAPI countSlots(LPVOID out) {
    *static_cast<int *>(out) = nonZeroTlsWords();
    return 0;
}

TEST_F(Loader, TheModuleIsReferenceCountedAndThreadsAttachToIt) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    HMODULE a = LoadLibraryA("kivgl.dll");
    ASSERT_NE(a, nullptr) << kivModuleLoadError();
    EXPECT_EQ(LoadLibraryA("KIVGL"), a);
    EXPECT_EQ(GetModuleHandleA("kivgl.dll"), a);
    EXPECT_NE(GetProcAddress(a, "DrvValidateVersion"), nullptr);
    EXPECT_NE(GetProcAddress(a, "DllMain"), nullptr);
    EXPECT_EQ(GetProcAddress(a, "malloc"), nullptr);  // not the module's own
    // A thread started with CreateThread gets DLL_THREAD_ATTACH: the driver fills its TLS slots
    // before the thread runs any of its code; a thread the platform did not start does not.
    int created = -1, plain = -1;
    HANDLE t = CreateThread(nullptr, 0, countSlots, &created, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    std::thread([&] { plain = nonZeroTlsWords(); }).join();
    EXPECT_GT(created, 0);
    EXPECT_EQ(plain, 0);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(GetModuleHandleA("kivgl.dll"), a);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_EQ(GetModuleHandleA("kivgl.dll"), nullptr);  // unloaded with its last reference
}

TEST_F(Loader, APixelFormatMismatchIsRefused) {
    ASSERT_TRUE(haveIcd()) << "kivgl.so is not in the modules folder";
    setFormat(2);
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_NE(rc, nullptr);
    HWND w1 = CreateWindowExA(0, "t", "t", 0, 0, 0, 16, 16, nullptr, nullptr, nullptr, nullptr);
    HDC d1 = GetDC(w1);
    ASSERT_TRUE(SetPixelFormat(d1, 1, nullptr));
    EXPECT_FALSE(wglMakeCurrent(d1, rc));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PIXEL_FORMAT);
    EXPECT_TRUE(wglDeleteContext(rc));
    ReleaseDC(w1, d1);
    DestroyWindow(w1);
    EXPECT_TRUE(kivOpenGlUnloadDriver());
}

}  // namespace
