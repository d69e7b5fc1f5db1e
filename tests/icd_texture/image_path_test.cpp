// Texture and colour-table images on the pixel path: every load, copy and read-back runs through
// the context's image-copy slots; byte texels into the 16-bit layouts take the direct
// conversions, anything else the float chain; both store the nearest field value.
#include <cstring>
#include <functional>
#include <vector>
#include "tests/icd_texture/texture_fixture.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/color_table.h"

namespace {

using TextureImagePath = TextureTest;

// A byte as the nearest value of an n-bit field.
uint32_t nearest(int v, int bits) { return uint32_t(v * double((1 << bits) - 1) / 255.0 + 0.5); }
uint16_t xrgb1555(int r, int g, int b) {
    return uint16_t(0x8000 | nearest(r, 5) << 10 | nearest(g, 5) << 5 | nearest(b, 5));
}
uint16_t argb4444(int r, int g, int b, int a) {
    return uint16_t(nearest(a, 4) << 12 | nearest(r, 4) << 8 | nearest(g, 4) << 4 | nearest(b, 4));
}

template <class P>
GlProc asProc(P p) {
    return reinterpret_cast<GlProc>(reinterpret_cast<void (*)(void)>(p));
}

// Passes a copy into a level on to the installed proc and keeps the stages the chooser gave it.
struct ChainSpy {
    using Copy = void (*)(GlContext *, GlTextureObject *, GlPixelSpan *, GLboolean);
    static GlProc &real() {
        static GlProc p;
        return p;
    }
    static std::vector<GlPixelSpanProc> &stages() {
        static std::vector<GlPixelSpanProc> s;
        return s;
    }
    static void copy(GlContext *ctx, GlTextureObject *tex, GlPixelSpan *span, GLboolean applyTransfer) {
        reinterpret_cast<Copy>(reinterpret_cast<void (*)(void)>(real()))(ctx, tex, span, applyTransfer);
        stages().assign(span->stages, span->stages + span->stageCount);
    }
};

// The chain of each load starts with the direct conversion (no unpack to floats before it), and
// the level holds each channel's nearest field value.
TEST_F(TextureImagePath, ByteTexelsTakeTheDirectConversions) {
    struct Case {
        const char *name;
        GLenum internalFormat, format;
        std::vector<uint8_t> pixel;  // two pixels
        uint16_t expected[2];
        GlPixelSpanProc direct;
    } cases[] = {
        {"RGB into x1 R5 G5 B5", GL_RGB, GL_RGB, {9, 130, 255, 7, 8, 250}, {xrgb1555(9, 130, 255), xrgb1555(7, 8, 250)},
         __glByteTexelRGB8ToXRGB1555},
        {"RGBA into x1 R5 G5 B5, alpha dropped", GL_RGB, GL_RGBA, {200, 100, 50, 0, 17, 33, 66, 1},
         {xrgb1555(200, 100, 50), xrgb1555(17, 33, 66)}, __glByteTexelRGBA8ToXRGB1555},
        {"luminance into x1 R5 G5 B5", GL_LUMINANCE, GL_LUMINANCE, {255, 77}, {0xFFFF, xrgb1555(77, 77, 77)},
         __glByteTexelL8ToXRGB1555},
        {"RGBA into A4 R4 G4 B4", GL_RGBA, GL_RGBA, {17, 34, 255, 0x80, 240, 15, 16, 31},
         {argb4444(17, 34, 255, 0x80), argb4444(240, 15, 16, 31)}, __glByteTexelRGBA8ToARGB4444},
        {"luminance-alpha into A4 R4 G4 B4", GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, {0x9F, 0x3C, 0x10, 0xFF},
         {argb4444(0x9F, 0x9F, 0x9F, 0x3C), argb4444(0x10, 0x10, 0x10, 0xFF)}, __glByteTexelLA8ToARGB4444},
        {"luminance into intensity", GL_INTENSITY, GL_LUMINANCE, {0xA7, 0x0F}, {0xAAAA, 0x1111},
         __glByteTexelI8ToARGB4444},
        {"RGBA into A1 R5 G5 B5", GL_RGB5_A1, GL_RGBA, {255, 8, 16, 0x80, 3, 255, 0, 0x7F},
         {uint16_t(0x8000 | 31 << 10 | 1 << 5 | 2), uint16_t(0 << 10 | 31 << 5)}, __glByteTexelRGBA8ToARGB1555},
        {"alpha into the alpha-on-top texels", GL_ALPHA, GL_ALPHA, {0x80, 0x3F}, {0x8FFF, 0x4FFF},
         __glByteTexelA8ToARGB4444},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        settle();  // nothing to validate: the spy stays in the slot
        ChainSpy::real() = ctx->slots.copyImageWithStoreStage;
        ASSERT_NE(ChainSpy::real(), nullptr);
        ChainSpy::stages().clear();
        ctx->slots.copyImageWithStoreStage = asProc(ChainSpy::copy);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GLint(c.internalFormat), 2, 1, 0, c.format, GL_UNSIGNED_BYTE, c.pixel.data());
        ctx->slots.copyImageWithStoreStage = ChainSpy::real();
        ASSERT_EQ(error(), GLenum(GL_NO_ERROR));
        ASSERT_FALSE(ChainSpy::stages().empty());
        EXPECT_EQ(ChainSpy::stages()[0], c.direct);
        const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
        EXPECT_EQ(texel16(l, 0, 0), c.expected[0]);
        EXPECT_EQ(texel16(l, 1, 0), c.expected[1]);
    }
}

// Data that needs floats (a transfer scale, float data, a layout without a direct stage) takes
// the float chain: each field is value x (2^n - 1) rounded to the nearest.
TEST_F(TextureImagePath, OtherTexelsTakeTheFloatChain) {
    const uint8_t rgb[3] = {255, 130, 255};
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    GL(glPixelTransferf)(GL_RED_SCALE, 1.0f);
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    // red 0.5 x 31 = 15.5, green 130 / 255 x 31 = 15.8, blue 31, each to the nearest.
    EXPECT_EQ(texel16(l, 0, 0), 0x8000 | 16 << 10 | 16 << 5 | 31);
    const float rgba[4] = {0.5f, 0.25f, 1.0f, 0.75f};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_FLOAT, rgba);
    // 7.5, 3.75, 15, 11.25 to the nearest; alpha on top.
    EXPECT_EQ(texel16(l, 0, 0), 11 << 12 | 8 << 8 | 4 << 4 | 15);
    // RGB bytes into a luminance-alpha level: luminance is red, alpha 1.
    const uint8_t colour[3] = {0x90, 0x10, 0x20};
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, colour);
    EXPECT_EQ(texel16(l, 0, 0), 0xF000 | 8 * 0x111);  // 0x90 / 255 x 15 = 8.47
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

// Counts the calls of each image-copy slot and passes them on to the installed procs.
struct SlotSpy {
    static int &count(int i) {
        static int n[4];
        return n[i];
    }
    static GlProc &real(int i) {
        static GlProc p[4];
        return p[i];
    }
    template <int I, class... A>
    static void spy(A... args) {
        ++count(I);
        reinterpret_cast<void (*)(A...)>(reinterpret_cast<void (*)(void)>(real(I)))(args...);
    }
};

TEST_F(TextureImagePath, LoadsCopiesAndReadsRunThroughTheImageCopySlots) {
    GL(glClearColor)(0.0f, 1.0f, 0.0f, 1.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glFinish)();
    GlProc *slots[4] = {&ctx->slots.copyImage, &ctx->slots.copyImageWithStoreStage, &ctx->slots.copyImageFromTexture,
                        &ctx->slots.copyImageFromFramebuffer};
    const GlProc spies[4] = {
        asProc(SlotSpy::spy<0, GlContext *, GlPixelSpan *, GLboolean>),
        asProc(SlotSpy::spy<1, GlContext *, GlTextureObject *, GlPixelSpan *, GLboolean>),
        asProc(SlotSpy::spy<2, GlContext *, GlTextureObject *, GlPixelSpan *, GLboolean>),
        asProc(SlotSpy::spy<3, GlContext *, GlTextureObject *, GlPixelSpan *>),
    };
    const uint8_t red[4 * 4] = {255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255};
    struct Step {
        const char *name;
        int slot;
        std::function<void()> run;
    } steps[] = {
        {"glTexImage2D", 1, [&] { GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, red); }},
        {"glTexSubImage2D", 1, [&] { GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 1, 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, red); }},
        {"glCopyTexSubImage2D", 3, [&] { GL(glCopyTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, 4, 4, 1, 1); }},
        {"glCopyTexImage2D", 3, [&] { GL(glCopyTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 4, 2, 2, 0); }},
        {"glCopyColorTableEXT", 3, [&] { GL(__glDoCopyColorTable)(GL_TEXTURE_2D, GL_RGB, 0, 0, 4); }},
        {"glColorSubTableEXT", 0, [&] { GL(__glDoColorSubTable)(GL_TEXTURE_2D, 3, 1, GL_RGBA, GL_UNSIGNED_BYTE, red); }},
    };
    // Validation picks the slots afresh: each step runs with the state validated and the spies in.
    auto spyOn = [&] {
        settle();
        for (int i = 0; i < 4; ++i) {
            ASSERT_NE(*slots[i], nullptr);
            SlotSpy::real(i) = *slots[i];
            SlotSpy::count(i) = 0;
            *slots[i] = spies[i];
        }
    };
    auto spyOff = [&] {
        for (int i = 0; i < 4; ++i) *slots[i] = SlotSpy::real(i);
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.name);
        spyOn();
        s.run();
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(SlotSpy::count(s.slot), 1);
        spyOff();
    }
    const GlMipLevel *l = bound(GL_TEXTURE_2D)->levels[0];
    EXPECT_EQ(texel16(l, 1, 1) & 0x7FFF, 0x03E0);  // the copied green
    const GlColorTable &t = bound(GL_TEXTURE_2D)->colorTable;
    EXPECT_EQ(t.entries[0], 0);
    EXPECT_EQ(t.entries[1], 255);
    EXPECT_EQ(t.entries[3 * 3], 255);  // the sub-table's red
    EXPECT_EQ(t.entries[3 * 3 + 1], 0);
    // glGetTexImage goes through the copy from a texture.
    uint8_t back[2 * 2 * 4] = {};
    spyOn();
    GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, back);
    EXPECT_EQ(SlotSpy::count(2), 1);
    spyOff();
    EXPECT_EQ(back[4 * 3 + 1], 255);
    EXPECT_EQ(back[4 * 3 + 3], 255);
}

}  // namespace
