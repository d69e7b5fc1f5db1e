// A process with the driver attached (linked in, as opengl32 would have loaded it), a booted
// machine and windows with pixel formats.
#pragma once
#include <gtest/gtest.h>
#include "platform/win32/win32.h"
#include "platform/machine/machine.h"
#include "icd/core/core.h"
#include "icd/core/drv_exports.h"
#include "icd/core/drawable.h"

inline void attachIcdOnce() {
    static bool attached = false;
    if (attached) return;
    ASSERT_EQ(kivMachineBoot(), 1);
    ASSERT_TRUE(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    attached = true;
}

// Pixel formats the machine's display offers: 1 single-buffered, 2 double-buffered.
constexpr int kSingleFormat = 1;
constexpr int kDoubleFormat = 2;

struct TestWindow {
    HWND hwnd = nullptr;
    HDC hdc = nullptr;
    explicit TestWindow(int format, int w = 320, int h = 240) {
        hwnd = CreateWindowExA(0, "kiv", "test", WS_VISIBLE, 10, 20, w, h, nullptr, nullptr, nullptr, nullptr);
        hdc = GetDC(hwnd);
        if (format != 0) SetPixelFormat(hdc, format, nullptr);
    }
    ~TestWindow() {
        ReleaseDC(hwnd, hdc);
        DestroyWindow(hwnd);
    }
};

// The driver's own roads are tested on windows whose buffers are plain memory, which the tests
// read directly: the machine offers no DirectDraw here. Tests of the hardware road (present,
// chip pictures, windows on the screen) turn it back on.
class IcdTest : public ::testing::Test {
protected:
    void SetUp() override {
        attachIcdOnce();
        setDirectDraw(false);
        SetLastError(0);
    }
    static void setDirectDraw(bool offered) {
        KivMachineConfig c = *kivMachineConfig();
        c.noDirectDraw = offered ? 0 : 1;
        kivMachineConfigure(&c);
    }
    void TearDown() override {
        DrvReleaseContext(0);
        kivFailGlobalAllocAfter(0);
    }
    static GlContext *contextOf(DHGLRC id) {
        GlContextHandle *h = __wglFindContextHandle(uint32_t(id));
        return h != nullptr ? h->context : nullptr;
    }
    static GlContextHandle *handleOf(DHGLRC id) { return __wglFindContextHandle(uint32_t(id)); }
};

// Calls a GL entry of a table slot with its own signature.
template <class Fn>
Fn slotAs(const GlProcTable *table, int slot) {
    return reinterpret_cast<Fn>(table->slot[slot]);
}

// A context made current on a window of its own; closed again (released and deleted) even from
// inside glBegin/glEnd or another render mode.
class CurrentContextTest : public IcdTest {
protected:
    TestWindow *window = nullptr;
    DHGLRC handle = 0;
    GlContext *ctx = nullptr;

    void openContext(int format, int w = 320, int h = 240) {
        window = new TestWindow(format, w, h);
        handle = DrvCreateContext(window->hdc);
        ASSERT_NE(handle, DHGLRC(0));
        ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
        ctx = contextOf(handle);
        ASSERT_NE(ctx, nullptr);
    }
    void closeContext() {
        // A context inside glBegin/glEnd or out of render mode cannot be released.
        if (ctx != nullptr) {
            ctx->beginMode = kGlOutsideBegin;
            ctx->renderMode = GL_RENDER;
        }
        DrvReleaseContext(handle);
        DrvDeleteContext(handle);
        delete window;
        window = nullptr;
    }
    void TearDown() override {
        closeContext();
        IcdTest::TearDown();
    }
};

