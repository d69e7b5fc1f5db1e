// A program drawing with OpenGL into a memory DC's bitmap through opengl32, the driver module and
// the software rasteriser: the DIB section's own bits hold the picture.
#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSize = 64;

// 5-5-5 channels of a pixel.
struct Rgb5 {
    int r, g, b;
};
Rgb5 channels(uint16_t p) { return Rgb5{(p >> 10) & 31, (p >> 5) & 31, p & 31}; }

class BitmapProgram : public ::testing::Test {
protected:
    void SetUp() override {
        saved = *kivMachineConfig();
        savedMode = *kivScreenMode();
        ASSERT_TRUE(kivMachineBoot());
        ASSERT_TRUE(kivOpenGlUnloadDriver());
        memoryDc = CreateCompatibleDC(nullptr);
        ASSERT_NE(memoryDc, nullptr);
    }
    void TearDown() override {
        wglMakeCurrent(nullptr, nullptr);
        if (rc != nullptr) wglDeleteContext(rc);
        if (memoryDc != nullptr) {
            if (previous != nullptr) SelectObject(memoryDc, previous);
            DeleteDC(memoryDc);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
        kivOpenGlUnloadDriver();
        kivMachineConfigure(&saved);
        kivSetScreenMode(&savedMode);
        kivMachineBoot();
    }
    // A 64 x 64 16-bit (5-5-5) DIB section selected into the memory DC.
    void selectDib(bool topDown) {
        BITMAPINFO info;
        std::memset(&info, 0, sizeof info);
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kSize, topDown ? -kSize : kSize, 1, 16, BI_RGB,
                                          0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        previous = SelectObject(memoryDc, bitmap);
        ASSERT_NE(previous, nullptr);
        rowsTopDown = topDown;
    }
    bool makeCurrent() {
        if (!SetPixelFormat(memoryDc, 1, nullptr)) return false;
        rc = wglCreateContext(memoryDc);
        if (rc == nullptr) return false;
        return wglMakeCurrent(memoryDc, rc) != 0;
    }
    // The pixel at GL window position (x, y) read from the bitmap's own memory.
    uint16_t at(int x, int y) const {
        const int row = rowsTopDown ? kSize - 1 - y : y;
        uint16_t p;
        std::memcpy(&p, static_cast<const uint8_t *>(bits) + row * kSize * 2 + x * 2, 2);
        return p;
    }

    KivMachineConfig saved;
    KivScreenMode savedMode;
    HDC memoryDc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    void *bits = nullptr;
    bool rowsTopDown = false;
    HGLRC rc = nullptr;
};

void drawScene() {
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, kSize, 0, kSize, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DITHER);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    // A near white triangle first, then a smooth one behind it over the lower-left half, then a
    // yellow one farther still over everything.
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 1, 1);
    glVertex3f(4, 4, 0.5f);
    glVertex3f(20, 4, 0.5f);
    glVertex3f(4, 20, 0.5f);
    glColor3f(1, 0, 0);
    glVertex3f(0, 0, -0.5f);
    glColor3f(0, 1, 0);
    glVertex3f(64, 0, -0.5f);
    glColor3f(0, 0, 1);
    glVertex3f(0, 64, -0.5f);
    glColor3f(1, 1, 0);
    glVertex3f(0, 0, -0.9f);
    glVertex3f(64, 0, -0.9f);
    glVertex3f(32, 64, -0.9f);
    glEnd();
    glFinish();
}

class BitmapRows : public BitmapProgram, public ::testing::WithParamInterface<bool> {};

TEST_P(BitmapRows, ASmoothDepthTestedTriangleLandsInTheDibSection) {
    selectDib(GetParam());
    ASSERT_TRUE(makeCurrent()) << kivOpenGlError();
    drawScene();
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    // The near triangle wins over both behind it.
    EXPECT_EQ(at(6, 6), 0x7FFF);
    // The smooth triangle: red falls off along x and y, green grows along x, blue along y.
    struct Probe {
        int x, y;
    } probes[] = {{40, 10}, {10, 40}, {25, 25}, {2, 2}};
    for (const Probe &p : probes) {
        const float cx = p.x + 0.5f, cy = p.y + 0.5f;
        const float g = cx / kSize, b = cy / kSize, r = 1.0f - g - b;
        const Rgb5 c = channels(at(p.x, p.y));
        EXPECT_NEAR(c.r, r * 31, 1.0) << p.x << "," << p.y;
        EXPECT_NEAR(c.g, g * 31, 1.0) << p.x << "," << p.y;
        EXPECT_NEAR(c.b, b * 31, 1.0) << p.x << "," << p.y;
    }
    // Where the smooth triangle is absent the far yellow one shows; outside every triangle the
    // clear colour stays.
    EXPECT_EQ(at(40, 40), 0x7FE0);
    EXPECT_EQ(at(2, 62), 0x0000);
    EXPECT_EQ(at(62, 62), 0x0000);
}

INSTANTIATE_TEST_SUITE_P(TopDownAndBottomUp, BitmapRows, ::testing::Bool());

// A device bitmap has no bits the driver could draw into: the context is not made current and
// nothing is written anywhere.
TEST_F(BitmapProgram, ADeviceBitmapIsRefused) {
    HDC screen = GetDC(nullptr);
    bitmap = CreateCompatibleBitmap(screen, kSize, kSize);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(bitmap, nullptr);
    previous = SelectObject(memoryDc, bitmap);
    ASSERT_NE(previous, nullptr);
    ASSERT_TRUE(SetPixelFormat(memoryDc, 1, nullptr));
    rc = wglCreateContext(memoryDc);
    ASSERT_NE(rc, nullptr) << kivOpenGlError();
    EXPECT_FALSE(wglMakeCurrent(memoryDc, rc));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // opengl32's do-nothing table
}

}  // namespace
