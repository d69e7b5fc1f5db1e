// Read-back as a program does it end to end: on the booted machine, through opengl32 and the
// loaded driver module, into a 16-bit DIB section selected into a memory DC; what glClear,
// triangles and glDrawPixels put into the bitmap's words comes back from glReadPixels as the
// nearest client values, full scale as 255 and 1.0.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/machine/machine.h"
#include "platform/opengl32/wgl.h"

namespace {

constexpr int kWidth = 16, kHeight = 8;

// The 40-byte DIB header and its three bit-field masks.
struct DibHeader {
    uint32_t size;
    int32_t width, height;
    uint16_t planes, bitCount;
    uint32_t compression, sizeImage;
    int32_t xPelsPerMeter, yPelsPerMeter;
    uint32_t clrUsed, clrImportant;
    uint32_t masks[3];
};
static_assert(sizeof(DibHeader) == 52);

class Opengl32Readback : public ::testing::Test {
protected:
    HDC screen = nullptr, memdc = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ previous = nullptr;
    HGLRC rc = nullptr;
    void *bits = nullptr;
    uint32_t masks[3] = {};
    int bytes = 0, pitch = 0;

    void SetUp() override {
        ASSERT_TRUE(kivMachineBoot());
        using CreateDibFn = HBITMAP(WINAPI *)(HDC, const void *, UINT, void **, HANDLE, DWORD);
        auto createDib = reinterpret_cast<CreateDibFn>(dlsym(RTLD_DEFAULT, "CreateDIBSection"));
        if (createDib == nullptr) GTEST_SKIP() << "the platform has no DIB sections";
        screen = GetDC(nullptr);
        memdc = CreateCompatibleDC(screen);
        ASSERT_NE(memdc, nullptr);
        PIXELFORMATDESCRIPTOR want{}, pfd{};
        want.nSize = sizeof want;
        want.nVersion = 1;
        want.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL;
        want.iPixelType = PFD_TYPE_RGBA;
        want.cColorBits = 16;
        int format = ChoosePixelFormat(memdc, &want);
        if (format == 0) {
            want.dwFlags = PFD_SUPPORT_OPENGL;
            format = ChoosePixelFormat(memdc, &want);
        }
        ASSERT_NE(format, 0);
        ASSERT_TRUE(DescribePixelFormat(memdc, format, sizeof pfd, &pfd));
        bytes = pfd.cColorBits / 8;
        masks[0] = ((1u << pfd.cRedBits) - 1) << pfd.cRedShift;
        masks[1] = ((1u << pfd.cGreenBits) - 1) << pfd.cGreenShift;
        masks[2] = ((1u << pfd.cBlueBits) - 1) << pfd.cBlueShift;
        pitch = (kWidth * bytes + 3) & ~3;
        DibHeader info{};
        info.size = 40;
        info.width = kWidth;
        info.height = -kHeight;  // top-down
        info.planes = 1;
        info.bitCount = uint16_t(pfd.cColorBits);
        info.compression = 3;  // bit fields
        info.sizeImage = uint32_t(pitch * kHeight);
        std::memcpy(info.masks, masks, sizeof masks);
        dib = createDib(memdc, &info, 0, &bits, nullptr, 0);
        ASSERT_NE(dib, nullptr);
        previous = SelectObject(memdc, dib);
        ASSERT_TRUE(SetPixelFormat(memdc, format, &pfd));
        rc = wglCreateContext(memdc);
        ASSERT_NE(rc, nullptr) << kivOpenGlError();
        ASSERT_TRUE(wglMakeCurrent(memdc, rc)) << kivOpenGlError();
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kWidth, 0, kHeight, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DITHER);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    void TearDown() override {
        if (rc != nullptr) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(rc);
        }
        if (memdc != nullptr && previous != nullptr) SelectObject(memdc, previous);
        if (dib != nullptr) DeleteObject(dib);
        if (memdc != nullptr) DeleteDC(memdc);
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        kivOpenGlUnloadDriver();
    }
    // The word at GL window position (x, y) of the top-down bitmap.
    uint32_t word(int x, int y) const {
        uint32_t v = 0;
        std::memcpy(&v, static_cast<const uint8_t *>(bits) + size_t(kHeight - 1 - y) * pitch + size_t(x) * bytes, bytes);
        return v;
    }
    static uint32_t field(uint32_t w, uint32_t m) { return (w & m) >> __builtin_ctz(m); }
    static uint32_t maxOf(uint32_t m) { return m >> __builtin_ctz(m); }
    static uint32_t nearest(double c, uint32_t max) { return uint32_t(std::floor(c * max + 0.5)); }

    // glReadPixels of the whole picture as bytes and floats agrees with every word.
    void expectReadBackAgrees() {
        std::vector<uint8_t> b(size_t(kWidth) * kHeight * 3);
        std::vector<float> f(size_t(kWidth) * kHeight * 3);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, b.data());
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_FLOAT, f.data());
        ASSERT_EQ(glGetError(), 0u);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    const uint32_t v = field(word(x, y), masks[c]), m = maxOf(masks[c]);
                    const size_t i = size_t((y * kWidth + x) * 3 + c);
                    if (b[i] != nearest(double(v) / m, 255) || std::fabs(f[i] - double(v) / m) > 1e-6) {
                        if (wrong++ < 3)
                            ADD_FAILURE() << "(" << x << ", " << y << ") channel " << c << ": word " << v << "/" << m
                                          << " read " << int(b[i]) << " and " << f[i];
                    }
                }
        EXPECT_EQ(wrong, 0);
    }
};

TEST_F(Opengl32Readback, ClearTrianglesAndDrawPixelsReadBackAsTheirWords) {
    // A full red clear reads 255 and 1.0.
    glClearColor(1.0f, 0.0f, 0.2f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    uint8_t px[3] = {};
    float pf[3] = {};
    glReadPixels(3, 3, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, px);
    glReadPixels(3, 3, 1, 1, GL_RGB, GL_FLOAT, pf);
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(pf[0], 1.0f);
    EXPECT_EQ(field(word(3, 3), masks[0]), maxOf(masks[0]));
    expectReadBackAgrees();
    // A smooth triangle.
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.0f, 0.5f), glVertex2f(0, 0);
    glColor3f(0.0f, 1.0f, 0.25f), glVertex2f(16, 0);
    glColor3f(0.3f, 0.3f, 1.0f), glVertex2f(0, 8);
    glEnd();
    expectReadBackAgrees();
    // Grey bytes drawn land as the nearest channel values, and read back as the nearest bytes.
    std::vector<uint8_t> grey(size_t(kWidth) * 3);
    for (int i = 0; i < kWidth * 3; ++i) grey[size_t(i)] = uint8_t(i * 5 + 3);
    glRasterPos2i(0, 6);
    glDrawPixels(kWidth, 1, GL_RGB, GL_UNSIGNED_BYTE, grey.data());
    for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(field(word(x, 6), masks[c]), nearest(grey[size_t(3 * x + c)] / 255.0, maxOf(masks[c])))
                << x << " " << c;
    expectReadBackAgrees();
}

}  // namespace
