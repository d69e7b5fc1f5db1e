// Pixel rectangles given what a careless or hostile program gives: client images exactly as long
// as the call describes, placed against an inaccessible page so that a read or write past their
// end faults; packed types with byte swapping and shrinking zoom; the direct byte writers at every
// edge; NaN, infinite and huge raster positions and zooms; coordinates at the int limits.
#include <sys/mman.h>
#include <unistd.h>
#include <climits>
#include <cmath>
#include <limits>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

// `size` bytes that end where an inaccessible page begins.
class GuardedBlock {
public:
    explicit GuardedBlock(size_t size) : size_(size) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        mapped_ = (size + page - 1) / page * page + page;
        base_ = static_cast<uint8_t *>(mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ == MAP_FAILED) base_ = nullptr;
        if (base_ != nullptr) mprotect(base_ + mapped_ - page, page, PROT_NONE);
    }
    ~GuardedBlock() {
        if (base_ != nullptr) munmap(base_, mapped_);
    }
    GuardedBlock(const GuardedBlock &) = delete;
    GuardedBlock &operator=(const GuardedBlock &) = delete;
    uint8_t *data() { return base_ + (mapped_ - size_t(sysconf(_SC_PAGESIZE))) - size_; }
    size_t size() const { return size_; }
    bool ok() const { return base_ != nullptr; }

private:
    uint8_t *base_ = nullptr;
    size_t mapped_ = 0, size_ = 0;
};

class HostileInput : public PixelOpsTest {
protected:
    void SetUp() override {
        PixelOpsTest::SetUp();
        if (HasFatalFailure()) return;
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    }
    // Moves the raster position by (dx, dy) without checking it, as a program's glBitmap does.
    void moveRaster(float dx, float dy) { bitmap(0, 0, 0.0f, 0.0f, dx, dy, nullptr); }
    bool anyPixelSet() {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (at(x, y) != 0) return true;
        return false;
    }
};

// glReadPixels of packed 16-bit pixels with byte swapping writes exactly width x 2 bytes a row:
// the swap steps over one element a pixel, not one a component.
TEST_F(HostileInput, SwappedPackedReadStaysInTheClientBuffer) {
    setPixel(0, 0, 0xFF0000);
    setPixel(1, 0, 0x00FF00);
    setPixel(2, 0, 0x0000FF);
    GL(glPixelStorei)(GL_PACK_SWAP_BYTES, GL_TRUE);
    struct Case {
        GLenum format, type;
        uint16_t red;  // the word of a full red pixel, before the swap
    } cases[] = {
        {GL_RGBA, kGlUnsignedShort4444, 0xF00F},   {kGlFormatBGRA, kGlUnsignedShort4444, 0x00FF},
        {kGlFormatABGR, kGlUnsignedShort4444, 0xF00F}, {GL_RGBA, kGlUnsignedShort5551, 0xF801},
        {kGlFormatBGRA, kGlUnsignedShort5551, 0x003F},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format << " " << c.type);
        GuardedBlock out(6);
        ASSERT_TRUE(out.ok());
        readPixels(0, 0, 3, 1, c.format, c.type, out.data());
        EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        // Swapped: the high byte first.
        EXPECT_EQ(out.data()[0], uint8_t(c.red >> 8));
        EXPECT_EQ(out.data()[1], uint8_t(c.red & 0xFF));
    }
    GL(glPixelStorei)(GL_PACK_SWAP_BYTES, GL_FALSE);
}

// glDrawPixels of packed types under a shrinking zoom compacts whole packed pixels, reading no
// byte past the image; the kept pixels land as drawn at zoom 1 would show them.
TEST_F(HostileInput, ShrunkPackedDrawReadsOnlyTheImage) {
    struct Case {
        GLenum format, type;
        int bytes;
    } cases[] = {
        {GL_RGB, kGlUnsignedByte332, 1},      {kGlFormatBGR, kGlUnsignedByte332, 1},
        {GL_RGBA, kGlUnsignedShort4444, 2},   {kGlFormatABGR, kGlUnsignedShort5551, 2},
        {GL_RGBA, kGlUnsignedInt8888, 4},     {kGlFormatBGRA, kGlUnsignedInt1010102, 4},
    };
    for (int swap = 0; swap < 2; ++swap)
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << std::hex << c.format << " " << c.type << " swap " << swap);
            constexpr int kWide = 16, kTall = 2;
            GuardedBlock image(size_t(kWide * kTall * c.bytes));
            ASSERT_TRUE(image.ok());
            std::memset(image.data(), 0xFF, image.size());  // white everywhere
            GL(glPixelStorei)(GL_UNPACK_SWAP_BYTES, swap);
            clearColor();
            GL(glRasterPos2i)(1, 1);
            GL(glPixelZoom)(0.5f, 1.0f);
            drawPixels(kWide, kTall, c.format, c.type, image.data());
            GL(glPixelZoom)(1.0f, 1.0f);
            EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
            for (int x = 1; x < 1 + kWide / 2; ++x) EXPECT_EQ(at(x, 1), 0xFFFFFFu) << x;
            EXPECT_EQ(at(1 + kWide / 2, 1), 0u);
        }
    GL(glPixelStorei)(GL_UNPACK_SWAP_BYTES, GL_FALSE);
}

// The direct writers of RGB bytes into a 16-bit buffer read only the pixels they draw, wherever
// the image is clipped, whichever way the rows run, at zoom 1 and -1.
TEST_F(HostileInput, DirectRgbWritersReadOnlyTheImage) {
    useFront(kR5G6B5);
    constexpr int kWide = 7, kTall = 5;
    const float starts[][2] = {{0, 0}, {-3, 0}, {kW - 4, 0}, {0, -2}, {0, kH - 3}, {-3.5f, -2.5f}, {kW - 2.5f, kH - 1.5f}};
    const float zooms[][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    for (int inverted = 0; inverted < 2; ++inverted)
        for (int dither = 0; dither < 2; ++dither)
            for (const auto &z : zooms)
                for (const auto &p : starts) {
                    SCOPED_TRACE(testing::Message() << "inverted " << inverted << " dither " << dither << " zoom "
                                                    << z[0] << "," << z[1] << " at " << p[0] << "," << p[1]);
                    ctx->state.transform.drawable.yInverted = uint8_t(inverted);
                    if (dither) GL(glEnable)(GL_DITHER);
                    else GL(glDisable)(GL_DITHER);
                    GuardedBlock image(kWide * kTall * 3);
                    ASSERT_TRUE(image.ok());
                    std::memset(image.data(), 0xFF, image.size());
                    clearColor();
                    GL(glRasterPos2i)(kW / 2, kH / 2);
                    moveRaster(p[0] - kW / 2, p[1] - kH / 2);
                    GL(glPixelZoom)(z[0], z[1]);
                    drawPixels(kWide, kTall, GL_RGB, GL_UNSIGNED_BYTE, image.data());
                    GL(glPixelZoom)(1.0f, 1.0f);
                    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
                }
    // Positions between pixel centres and sizes from a fixed seed.
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int i = 0; i < 400; ++i) {
        const int wide = 1 + int(next(12)), tall = 1 + int(next(9));
        const float x = float(int(next(4 * (kW + 20)))) / 4.0f - 10.0f, y = float(int(next(4 * (kH + 20)))) / 4.0f - 10.0f;
        const float zx = next(2) ? 1.0f : -1.0f, zy = next(2) ? 1.0f : -1.0f;
        ctx->state.transform.drawable.yInverted = uint8_t(next(2));
        SCOPED_TRACE(testing::Message() << wide << "x" << tall << " at " << x << "," << y << " zoom " << zx << ","
                                        << zy << " inverted " << int(ctx->state.transform.drawable.yInverted) << " case "
                                        << i);
        // Bytes take the direct writers, floats the general chain.
        const bool floats = next(2) != 0;
        GuardedBlock image(size_t(wide * tall * 3) * (floats ? sizeof(float) : 1));
        ASSERT_TRUE(image.ok());
        if (floats)
            for (size_t k = 0; k < image.size() / sizeof(float); ++k) reinterpret_cast<float *>(image.data())[k] = 0.5f;
        else
            std::memset(image.data(), 0x80, image.size());
        GL(glRasterPos2i)(kW / 2, kH / 2);
        moveRaster(x - kW / 2, y - kH / 2);
        GL(glPixelZoom)(zx, zy);
        clearColor();
        drawPixels(wide, tall, GL_RGB, floats ? GL_FLOAT : GL_UNSIGNED_BYTE, image.data());
        GL(glPixelZoom)(1.0f, 1.0f);
        // The pixels drawn are those whose centres the image covers (edges through a centre
        // are left out: which side takes them is the rasteriser's rule).
        auto frac = [](float v) { return v - std::floor(v); };
        if (frac(x) == 0.5f || frac(y) == 0.5f) continue;
        auto covered = [](float start, int n, float zoom, float centre) {
            const float end = start + float(n) * zoom;
            return zoom > 0 ? start <= centre && centre < end : end < centre && centre <= start;
        };
        int wrong = 0;
        for (int py = 0; py < kH; ++py)
            for (int px = 0; px < kW; ++px)
                if ((at(px, py) != 0) != (covered(x, wide, zx, px + 0.5f) && covered(y, tall, zy, py + 0.5f))) ++wrong;
        EXPECT_EQ(wrong, 0);
    }
    ctx->state.transform.drawable.yInverted = 0;
    GL(glDisable)(GL_DITHER);
}

// NaN, infinite and huge raster positions and zooms draw and copy nothing (or what lies inside),
// and leave the program running.
TEST_F(HostileInput, NonFiniteAndHugeRasterPositionsAndZooms) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float moves[] = {nan, inf, -inf, 3e9f, -3e9f, 1e30f, -1e30f};
    const float zooms[] = {nan, inf, -inf, 1e30f, -1e30f, 1e-30f, -1e-30f, 4e9f};
    const uint8_t image[4 * 4 * 3] = {};
    for (float m : moves) {
        SCOPED_TRACE(m);
        clearColor();
        GL(glRasterPos2i)(4, 4);
        moveRaster(m, 0.0f);
        drawPixels(4, 4, GL_RGB, GL_UNSIGNED_BYTE, image);
        copyPixels(0, 0, 4, 4, GL_COLOR);
        GL(glRasterPos2i)(4, 4);
        moveRaster(0.0f, m);
        drawPixels(4, 4, GL_RGB, GL_UNSIGNED_BYTE, image);
        copyPixels(0, 0, 4, 4, GL_COLOR);
        EXPECT_FALSE(anyPixelSet());
    }
    fillPattern();
    for (float z : zooms) {
        SCOPED_TRACE(z);
        for (int axis = 0; axis < 2; ++axis) {
            GL(glRasterPos2i)(4, 4);
            if (axis == 0) GL(glPixelZoom)(z, 1.0f);
            else GL(glPixelZoom)(1.0f, z);
            drawPixels(4, 4, GL_RGB, GL_UNSIGNED_BYTE, image);
            copyPixels(0, 0, 4, 4, GL_COLOR);
            copyPixels(2, 2, 8, 8, GL_COLOR);
        }
    }
    GL(glPixelZoom)(1.0f, 1.0f);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    // The program carries on: a plain draw still lands.
    const uint8_t red[3] = {255, 0, 0};
    GL(glRasterPos2i)(1, 1);
    drawPixels(1, 1, GL_RGB, GL_UNSIGNED_BYTE, red);
    EXPECT_EQ(at(1, 1), 0xFF0000u);
}

// Rectangles at the int limits read nothing and write no byte of the client's image; a copy
// from there draws nothing.
TEST_F(HostileInput, CoordinatesAtTheIntLimits) {
    fillPattern();
    const std::vector<uint32_t> before = snapshot();
    struct Rect {
        GLint x, y;
        GLsizei w, h;
    } rects[] = {
        {INT_MAX, 0, 4, 1},       {INT_MAX - 2, 0, 3000, 1}, {0, INT_MAX, 4, 2},  {0, INT_MAX - 1, 4, 3},
        {INT_MIN, 0, 4, 1},       {0, INT_MIN, 4, 1},        {INT_MIN, INT_MIN, 5, 5},
        {-2147483000, 0, 4, 1},   {INT_MAX - 6144, 0, 4, 1}, {INT_MAX - 6144, INT_MAX - 6144, 4, 4},
    };
    for (int inverted = 0; inverted < 2; ++inverted) {
        ctx->state.transform.drawable.yInverted = uint8_t(inverted);
        for (const Rect &r : rects) {
            SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " " << r.w << "x" << r.h << " inverted " << inverted);
            std::vector<uint8_t> out(size_t(r.w) * size_t(r.h) * 4, 0xEE);
            readPixels(r.x, r.y, r.w, r.h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
            for (uint8_t b : out) ASSERT_EQ(b, 0xEE);
            GL(glRasterPos2i)(2, 2);
            copyPixels(r.x, r.y, r.w, r.h, GL_COLOR);
            EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        }
    }
    // Copies need no client memory: any size a program names is its to ask for. Only what lies
    // inside the window is copied, onto the raster position far outside it.
    GL(glRasterPos2i)(kW - 1, kH - 1);
    moveRaster(1e6f, 1e6f);
    const Rect huge[] = {{0, 0, INT_MAX, 1}, {0, 0, 1, INT_MAX}, {-5, -5, INT_MAX, INT_MAX}, {INT_MIN, 0, INT_MAX, 2}};
    for (const Rect &r : huge) {
        copyPixels(r.x, r.y, r.w, r.h, GL_COLOR);
        EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    }
    ctx->state.transform.drawable.yInverted = 0;
    EXPECT_EQ(snapshot(), before);
}

}  // namespace
