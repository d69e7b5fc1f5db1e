// Colour units of the pixel rectangles on every colour-buffer layout: a value drawn with
// glDrawPixels lands as the nearest value of each channel, glReadPixels returns the nearest client
// value of what a pixel word holds, and glCopyPixels with pixel transfer gives read, transfer,
// draw. The expected values come from the channel arithmetic written here, never from the
// driver's own tables.
#include <cmath>
#include "tests/icd_pixelops/pixelops_fixture.h"

namespace {

const PixelLayout *const kLayouts[] = {&kR3G3B2, &kX1R5G5B5, &kR5G6B5, &kB8G8R8, &kX8R8G8B8, &kA8R8G8B8};

uint32_t maxOf(uint32_t mask) { return mask >> std::countr_zero(mask); }
uint32_t field(uint32_t word, uint32_t mask) { return (word & mask) >> std::countr_zero(mask); }
// Client byte -> nearest channel value, and channel value -> nearest client byte.
uint32_t toChannel(double c, uint32_t max) { return uint32_t(std::floor(c * max + 0.5)); }
uint32_t toByte(uint32_t v, uint32_t max) { return uint32_t(std::floor(double(v) * 255.0 / max + 0.5)); }

class PixelUnits : public PixelOpsTest, public ::testing::WithParamInterface<const PixelLayout *> {
protected:
    const PixelLayout &L() const { return *GetParam(); }
    void SetUp() override {
        PixelOpsTest::SetUp();
        if (HasFatalFailure()) return;
        useFront(L());
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    }
    uint32_t word(int x, int y) { return colorMem.element(x, row(y)); }
    // The pixel word's channels as [0, 1] values.
    void channels(int x, int y, double out[4]) {
        const uint32_t w = word(x, y);
        out[0] = double(field(w, L().red)) / maxOf(L().red);
        out[1] = double(field(w, L().green)) / maxOf(L().green);
        out[2] = double(field(w, L().blue)) / maxOf(L().blue);
        out[3] = L().alpha != 0 ? double(field(w, L().alpha)) / maxOf(L().alpha) : 1.0;
    }
    // The word's channels equal the nearest channel values of the client colour (r, g, b, a in [0, 1]).
    void expectStored(int x, int y, const double c[4]) {
        const uint32_t w = word(x, y);
        EXPECT_EQ(field(w, L().red), toChannel(c[0], maxOf(L().red))) << "red at " << x;
        EXPECT_EQ(field(w, L().green), toChannel(c[1], maxOf(L().green))) << "green at " << x;
        EXPECT_EQ(field(w, L().blue), toChannel(c[2], maxOf(L().blue))) << "blue at " << x;
        if (L().alpha != 0) {
            EXPECT_EQ(field(w, L().alpha), toChannel(c[3], maxOf(L().alpha))) << "alpha at " << x;
        }
    }
    // glReadPixels of n pixels from (x, y) in bytes and floats agrees with the pixel words.
    void expectReadBack(int x, int y, int n) {
        std::vector<uint8_t> bytes(size_t(n) * 4 + 4, 0xEE);
        std::vector<float> floats(size_t(n) * 4);
        readPixels(x, y, n, 1, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        readPixels(x, y, n, 1, GL_RGBA, GL_FLOAT, floats.data());
        for (int i = 0; i < n; ++i) {
            double c[4];
            channels(x + i, y, c);
            const uint32_t masks[4] = {L().red, L().green, L().blue, L().alpha};
            for (int k = 0; k < 4; ++k) {
                const uint32_t v = masks[k] != 0 ? field(word(x + i, y), masks[k]) : 255;
                const uint32_t max = masks[k] != 0 ? maxOf(masks[k]) : 255;
                EXPECT_EQ(bytes[size_t(4 * i + k)], toByte(v, max)) << "pixel " << i << " channel " << k;
                EXPECT_NEAR(floats[size_t(4 * i + k)], c[k], 1e-6) << "pixel " << i << " channel " << k;
            }
        }
        EXPECT_EQ(bytes[size_t(4 * n)], 0xEE);
    }
};

// Every byte value of one channel, drawn from bytes (the direct writers on 16-bit buffers, the
// table renderers elsewhere) and from floats (the general chain), stored as its nearest channel
// value and read back as the nearest byte of that.
TEST_P(PixelUnits, EveryByteValueRoundTrips) {
    constexpr int kRow = 16;  // pixels a row; 16 rows cover 0..255
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "bytes" : "floats");
        clearColor();
        for (int r = 0; r < 16; ++r) {
            std::vector<uint8_t> rgba;
            std::vector<float> rgbaf;
            for (int i = 0; i < kRow; ++i) {
                const int c = r * kRow + i;
                const uint8_t px[4] = {uint8_t(c), uint8_t(255 - c), uint8_t((c * 7) & 255), uint8_t((c * 3) & 255)};
                for (uint8_t v : px) rgba.push_back(v), rgbaf.push_back(float(v) / 255.0f);
            }
            GL(glRasterPos2i)(0, r);
            if (form == 0)
                drawPixels(kRow, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
            else
                drawPixels(kRow, 1, GL_RGBA, GL_FLOAT, rgbaf.data());
            for (int i = 0; i < kRow; ++i) {
                const double c[4] = {rgba[size_t(4 * i)] / 255.0, rgba[size_t(4 * i + 1)] / 255.0,
                                     rgba[size_t(4 * i + 2)] / 255.0, rgba[size_t(4 * i + 3)] / 255.0};
                expectStored(i, r, c);
            }
            expectReadBack(0, r, kRow);
        }
    }
}

// The same image through each client format and type lands on the same words.
TEST_P(PixelUnits, FormatsAndTypesLandAlike) {
    const uint8_t grey[3] = {128, 200, 37};
    struct Case {
        const char *name;
        GLenum format, type;
        std::vector<uint8_t> data;
        double expect[4];
    };
    auto bytesOf = [](const auto &v) {
        std::vector<uint8_t> b(sizeof(v));
        std::memcpy(b.data(), &v, sizeof(v));
        return b;
    };
    const float f[3] = {128 / 255.0f, 200 / 255.0f, 37 / 255.0f};
    const uint16_t us[3] = {128 * 257, 200 * 257, 37 * 257};
    const uint32_t packed8888 = 128u << 24 | 200u << 16 | 37u << 8 | 255u;
    const uint8_t lum = 128, bgr[3] = {37, 200, 128};
    const Case cases[] = {
        {"RGB bytes", GL_RGB, GL_UNSIGNED_BYTE, bytesOf(grey), {128 / 255.0, 200 / 255.0, 37 / 255.0, 1}},
        {"BGR bytes", kGlFormatBGR, GL_UNSIGNED_BYTE, bytesOf(bgr), {128 / 255.0, 200 / 255.0, 37 / 255.0, 1}},
        {"RGB floats", GL_RGB, GL_FLOAT, bytesOf(f), {128 / 255.0, 200 / 255.0, 37 / 255.0, 1}},
        {"RGB shorts", GL_RGB, GL_UNSIGNED_SHORT, bytesOf(us), {128 / 255.0, 200 / 255.0, 37 / 255.0, 1}},
        {"RGBA 8888", GL_RGBA, kGlUnsignedInt8888, bytesOf(packed8888), {128 / 255.0, 200 / 255.0, 37 / 255.0, 1}},
        {"luminance byte", GL_LUMINANCE, GL_UNSIGNED_BYTE, bytesOf(lum), {128 / 255.0, 128 / 255.0, 128 / 255.0, 1}},
        {"green byte", GL_GREEN, GL_UNSIGNED_BYTE, bytesOf(lum), {0, 128 / 255.0, 0, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clearColor();
        GL(glRasterPos2i)(3, 2);
        drawPixels(1, 1, c.format, c.type, c.data.data());
        expectStored(3, 2, c.expect);
        EXPECT_EQ(word(4, 2), 0u);
        expectReadBack(3, 2, 1);
    }
}

// Scale, bias and colour maps apply in [0, 1] before the one conversion to the buffer, for the
// byte tables and the float chain alike.
TEST_P(PixelUnits, TransferBeforeTheConversion) {
    const uint8_t bytes[4] = {200, 100, 10, 255};
    const float floats[4] = {200 / 255.0f, 100 / 255.0f, 10 / 255.0f, 1.0f};
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.25f);
    const double expect[4] = {0.5 * 200 / 255.0, 100 / 255.0, 10 / 255.0 + 0.25, 1.0};
    for (int form = 0; form < 2; ++form) {
        clearColor();
        GL(glRasterPos2i)(1, 1);
        drawPixels(1, 1, GL_RGBA, form == 0 ? GL_UNSIGNED_BYTE : GL_FLOAT, form == 0 ? (const void *)bytes : floats);
        expectStored(1, 1, expect);
    }
    GL(glPixelTransferf)(GL_RED_SCALE, 1.0f);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.0f);
    // Red through a two-entry map that inverts.
    const float invert[2] = {1.0f, 0.0f};
    GL(glPixelMapfv)(GL_PIXEL_MAP_R_TO_R, 2, invert);
    GL(glPixelTransferi)(GL_MAP_COLOR, GL_TRUE);
    clearColor();
    GL(glRasterPos2i)(1, 1);
    const uint8_t red[4] = {255, 0, 0, 255};
    drawPixels(1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red);
    // Every map applies: G, B and A through their default one-entry maps of 0.
    const double mapped[4] = {0.0, 0.0, 0.0, 0.0};
    expectStored(1, 1, mapped);
    GL(glPixelTransferi)(GL_MAP_COLOR, GL_FALSE);
}

// Colour-index data becomes colour through the I_TO_R..A maps, then the buffer's units.
TEST_P(PixelUnits, IndicesThroughTheMaps) {
    const float toRed[4] = {0.0f, 0.25f, 0.5f, 1.0f}, toGreen[4] = {1.0f, 0.6f, 0.3f, 0.0f};
    const float ones[4] = {1, 1, 1, 1}, zeros[4] = {0, 0, 0, 0};
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_R, 4, toRed);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_G, 4, toGreen);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_B, 4, zeros);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_A, 4, ones);
    const uint8_t index[4] = {0, 1, 2, 3};
    const uint16_t index16[4] = {0, 1, 2, 3};
    for (int form = 0; form < 2; ++form) {
        clearColor();
        GL(glRasterPos2i)(0, 0);
        drawPixels(4, 1, GL_COLOR_INDEX, form == 0 ? GL_UNSIGNED_BYTE : GL_UNSIGNED_SHORT,
                   form == 0 ? (const void *)index : index16);
        for (int i = 0; i < 4; ++i) {
            const double c[4] = {toRed[i], toGreen[i], 0.0, 1.0};
            expectStored(i, 0, c);
        }
    }
    // A bitmap's bits are indices 0 and 1.
    const uint8_t bits[1] = {0xA0};  // 1 0 1 0
    clearColor();
    GL(glRasterPos2i)(0, 1);
    drawPixels(4, 1, GL_COLOR_INDEX, GL_BITMAP, bits);
    for (int i = 0; i < 4; ++i) {
        const int v = (i & 1) ? 0 : 1;
        const double c[4] = {toRed[v], toGreen[v], 0.0, 1.0};
        expectStored(i, 1, c);
    }
}

// glCopyPixels with a transfer: the source read into [0, 1], transferred, drawn once.
TEST_P(PixelUnits, CopyIsReadTransferDraw) {
    clearColor();
    const uint8_t src[8] = {255, 0, 0, 255, 60, 120, 180, 255};
    GL(glRasterPos2i)(0, 0);
    drawPixels(2, 1, GL_RGBA, GL_UNSIGNED_BYTE, src);
    double before[2][4];
    channels(0, 0, before[0]);
    channels(1, 0, before[1]);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.25f);
    GL(glPixelTransferf)(GL_GREEN_SCALE, 0.5f);
    GL(glRasterPos2i)(5, 3);
    copyPixels(0, 0, 2, 1, GL_COLOR);
    GL(glPixelTransferf)(GL_BLUE_BIAS, 0.0f);
    GL(glPixelTransferf)(GL_GREEN_SCALE, 1.0f);
    for (int i = 0; i < 2; ++i) {
        const double expect[4] = {before[i][0], before[i][1] * 0.5, std::min(1.0, before[i][2] + 0.25), before[i][3]};
        expectStored(5 + i, 3, expect);
    }
    // A plain copy moves the words unchanged.
    copyPixels(0, 0, 2, 1, GL_COLOR);
    EXPECT_EQ(word(5, 3), word(0, 0));
    EXPECT_EQ(word(6, 3), word(1, 0));
}

// What a triangle wrote reads back as the nearest client value of its words.
TEST_P(PixelUnits, TrianglesReadBackAsTheirWords) {
    clearColor();
    GL(glShadeModel)(GL_SMOOTH);
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor3f)(1.0f, 0.0f, 0.2f);
    vertex(0, 0);
    GL(glColor3f)(0.0f, 1.0f, 0.6f);
    vertex(16, 0);
    GL(glColor3f)(0.3f, 0.3f, 1.0f);
    vertex(0, 8);
    GL(glEnd)();
    for (int y = 0; y < 4; ++y) expectReadBack(0, y, 12);
    // Full scale reads 255 and 1.0 whatever the channel's bits.
    clearColor();
    GL(glBegin)(GL_TRIANGLES);
    GL(glColor3f)(1.0f, 1.0f, 1.0f);
    vertex(0, 0);
    vertex(8, 0);
    vertex(0, 8);
    GL(glEnd)();
    uint8_t b[4] = {};
    float f[4] = {};
    readPixels(1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, b);
    readPixels(1, 1, 1, 1, GL_RGBA, GL_FLOAT, f);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(b[k], 255);
        EXPECT_EQ(f[k], 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PixelUnits, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<const PixelLayout *> &i) { return std::string(i.param->name); });

}  // namespace
