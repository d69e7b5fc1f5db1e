// A program drawing with OpenGL into a memory DC's bitmap through opengl32, the driver module and
// the software rasteriser: the DIB section's own bits hold the picture.
#include "tests/common/program_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kSize = 64;

// 5-5-5 channels of a pixel.
struct Rgb5 {
    int r, g, b;
};
Rgb5 channels(uint16_t p) { return Rgb5{(p >> 10) & 31, (p >> 5) & 31, p & 31}; }

class BitmapProgram : public BootedProgram {
protected:
    void TearDown() override {
        context.reset();
        dib.reset();
        if (rc != nullptr) wglDeleteContext(rc);
        if (memoryDc != nullptr) {
            if (previous != nullptr) SelectObject(memoryDc, previous);
            DeleteDC(memoryDc);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
        BootedProgram::TearDown();
    }
    // A 64 x 64 5-5-5 DIB section in a memory DC, with a context made current on it.
    bool openDib(bool topDown) {
        dib = std::make_unique<MemoryDib>(kSize, kSize, topDown);
        if (!dib->ok()) return false;
        context = std::make_unique<DibContext>(*dib);
        return context->current;
    }
    uint16_t at(int x, int y) const { return dib->at(x, y); }

    std::unique_ptr<MemoryDib> dib;
    std::unique_ptr<DibContext> context;
    // A memory DC of the test's own, for bitmaps that are no DIB section.
    HDC memoryDc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    HGLRC rc = nullptr;
};

void drawScene() {
    kivscenes::windowProjection(kSize, kSize);
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
    ASSERT_TRUE(openDib(GetParam())) << kivOpenGlError();
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
    memoryDc = CreateCompatibleDC(nullptr);
    ASSERT_NE(memoryDc, nullptr);
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

// A section with explicit channel masks is drawn into only when they are the pixel format's
// (5-5-5): a 5-6-5 section would get every pixel in the wrong fields, so its context is not made
// current and its bits stay as they were; also when its DC and pixels come back with the handle
// values and addresses of the 5-5-5 section before it.
TEST_F(BitmapProgram, ASectionIsDrawnOnlyWhenItsChannelsAreTheFormats) {
    struct Case {
        DWORD masks[3];
        bool drawn;
    } cases[] = {{{0xF800, 0x07E0, 0x001F}, false}, {{0x7C00, 0x03E0, 0x001F}, true}, {{0xF800, 0x07E0, 0x001F}, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.drawn ? "5-5-5" : "5-6-5");
        memoryDc = CreateCompatibleDC(nullptr);
        ASSERT_NE(memoryDc, nullptr);
        struct {
            BITMAPINFOHEADER header;
            DWORD masks[3];
        } info;
        std::memset(&info, 0, sizeof info);
        info.header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), kSize, kSize, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0};
        std::memcpy(info.masks, c.masks, sizeof info.masks);
        void *pixels = nullptr;
        bitmap = CreateDIBSection(memoryDc, reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
        ASSERT_NE(bitmap, nullptr);
        previous = SelectObject(memoryDc, bitmap);
        ASSERT_TRUE(SetPixelFormat(memoryDc, 1, nullptr));
        rc = wglCreateContext(memoryDc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        EXPECT_EQ(wglMakeCurrent(memoryDc, rc) != 0, c.drawn);
        glClearColor(1, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glFinish();
        uint16_t p;
        std::memcpy(&p, pixels, 2);
        EXPECT_EQ(p, c.drawn ? 0x7C00 : 0x0000);  // full red in 5-5-5, or the zeroed section untouched
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(rc);
        rc = nullptr;
        SelectObject(memoryDc, previous);
        previous = nullptr;
        DeleteDC(memoryDc);
        memoryDc = nullptr;
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
}

}  // namespace
