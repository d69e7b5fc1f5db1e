// A context current on a window through the driver's exports, with the window's drawable and
// its buffer record at hand.
#pragma once
#include <vector>
#include "tests/icd_core/icd_fixture.h"

class DrawableTest : public IcdTest {
protected:
    TestWindow *window = nullptr;
    DHGLRC handle = 0;

    void SetUp() override {
        IcdTest::SetUp();
        window = new TestWindow(kDoubleFormat, 320, 240);
        handle = DrvCreateContext(window->hdc);
        ASSERT_NE(handle, 0u);
        ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    }
    void TearDown() override {
        DrvReleaseContext(handle);
        DrvDeleteContext(handle);
        delete window;
        IcdTest::TearDown();
    }
    GlContext *ctx() { return contextOf(handle); }
    GlDrawable *drawable() { return handleOf(handle)->drawable; }
    GlDrawableBuffers *rec() { return &drawable()->buffers; }
};

// Destroy-hook counting: a drawable's destroyHook is pointed at it to see the record freed; it
// still runs the device's own hook, which frees what the device keeps with the drawable.
inline std::vector<GlDrawable *> gDestroyed;
inline void countDestroy(GlDrawable *d) {
    gDestroyed.push_back(d);
    if (__glDeviceHooks != nullptr && __glDeviceHooks->destroyDrawable != nullptr) __glDeviceHooks->destroyDrawable(d);
}
