// What the program-level tests share: a machine booted afresh (the machine and screen mode of
// before put back after), and a memory DC over a 16-bit (5-5-5) DIB section whose own bits take
// the picture. One unit per pixel is kivscenes::windowProjection.
#pragma once
#include <gtest/gtest.h>
#include "tests/common/dib_section.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/kivdemo/scenes.h"
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

// The machine and screen mode of before put back after the test.
class RestoredMachine : public ::testing::Test {
protected:
    void SetUp() override {
        saved = *kivMachineConfig();
        savedMode = *kivScreenMode();
    }
    void TearDown() override {
        kivMachineConfigure(&saved);
        kivSetScreenMode(&savedMode);
        kivMachineBoot();
    }
    KivMachineConfig saved{};
    KivScreenMode savedMode{};
};

// The default machine booted afresh, in the screen mode given if any.
class DefaultMachine : public RestoredMachine {
protected:
    explicit DefaultMachine(KivScreenMode mode = KivScreenMode{}) : startMode_(mode) {}
    void SetUp() override {
        RestoredMachine::SetUp();
        KivMachineConfig c;
        ASSERT_EQ(kivMachineParse(nullptr, &c), 1);
        kivMachineConfigure(&c);
        if (startMode_.width != 0) kivSetScreenMode(&startMode_);
        ASSERT_TRUE(kivMachineBoot());
    }

private:
    KivScreenMode startMode_;
};

// The machine as configured, booted afresh with no OpenGL driver loaded; the driver is unloaded
// again after.
class BootedProgram : public RestoredMachine {
protected:
    void SetUp() override {
        RestoredMachine::SetUp();
        ASSERT_TRUE(kivMachineBoot());
        ASSERT_TRUE(kivOpenGlUnloadDriver());
    }
    void TearDown() override {
        kivOpenGlUnloadDriver();
        RestoredMachine::TearDown();
    }
    // Whether the driver module is there to be loaded.
    static bool haveIcd() {
        const char *dir = std::getenv("KIV_MODULE_PATH");
        std::string path = std::string(dir && *dir ? dir : kivModuleDir()) + "/kivgl.so";
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
};

// A memory DC with a w x h 5-5-5 DIB section selected into it (rows bottom-up unless topDown);
// everything it made is deleted with it, in the order GDI wants.
class MemoryDib {
public:
    MemoryDib(int w, int h, bool topDown = false) : width(w), height(h), topDown_(topDown) {
        dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr) return;
        bitmap = NewDibSection(dc, w, topDown ? -h : h, 16, &bits);
        if (bitmap != nullptr) previous = SelectObject(dc, bitmap);
    }
    ~MemoryDib() {
        if (dc != nullptr) {
            if (previous != nullptr) SelectObject(dc, previous);
            DeleteDC(dc);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
    MemoryDib(const MemoryDib &) = delete;
    MemoryDib &operator=(const MemoryDib &) = delete;

    bool ok() const { return dc != nullptr && bitmap != nullptr && previous != nullptr; }
    // The pixel at GL window position (x, y), read from the bitmap's own memory.
    uint16_t at(int x, int y) const {
        const int row = topDown_ ? height - 1 - y : y;
        uint16_t p;
        std::memcpy(&p, static_cast<const uint8_t *>(bits) + (row * width + x) * 2, 2);
        return p;
    }

    const int width, height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void *bits = nullptr;

private:
    bool topDown_;
};

// A context of pixel format 1 made current on the DIB; deleted (after being made not current)
// with the object.
class DibContext {
public:
    explicit DibContext(MemoryDib &dib) : dc_(dib.dc) {
        if (!dib.ok() || !SetPixelFormat(dc_, 1, nullptr)) return;
        rc = wglCreateContext(dc_);
        current = rc != nullptr && wglMakeCurrent(dc_, rc) != 0;
    }
    ~DibContext() {
        wglMakeCurrent(nullptr, nullptr);
        if (rc != nullptr) wglDeleteContext(rc);
    }
    DibContext(const DibContext &) = delete;
    DibContext &operator=(const DibContext &) = delete;

    HGLRC rc = nullptr;
    bool current = false;

private:
    HDC dc_;
};
