// Two contexts sharing texture objects: one draws a texture (on the chip, which places a copy of
// it in its memory, or in software), then either context is deleted first, and the other goes
// on with the texture: replaces its texels and draws it, deletes it, or is deleted itself.
#include <memory>
#include "tests/zk3_render/render_fixture.h"

namespace {

constexpr GLuint kName = 7;
constexpr int kQuad0 = 8, kQuad1 = 40;  // the textured quad's corners, in pixels

struct Rgb {
    int r, g, b;
};
constexpr Rgb kFirst{255, 0, 0}, kSecond{0, 0, 255};

enum class Survivor { kReplacesAndDraws, kDeletesTheTexture, kIsDeleted };

class SharedTextures : public RenderPair {
protected:
    std::unique_ptr<TestWindow> win;
    DHGLRC maker = 0, other = 0;

    void TearDown() override {
        DrvReleaseContext(0);
        for (DHGLRC id : {maker, other})
            if (id != 0) DrvDeleteContext(id);
        win.reset();
        RenderPair::TearDown();
    }

    GlContext *use(DHGLRC id) {
        EXPECT_NE(DrvSetContext(win->hdc, id, nullptr), nullptr);
        return contextOf(id);
    }

    static std::vector<uint8_t> solid(int side, Rgb c) {
        std::vector<uint8_t> t(size_t(4 * side * side));
        for (size_t i = 0; i < t.size(); i += 4) {
            t[i] = uint8_t(c.r);
            t[i + 1] = uint8_t(c.g);
            t[i + 2] = uint8_t(c.b);
            t[i + 3] = 255;
        }
        return t;
    }

    // Clears, draws the texture over the quad and reads the quad's middle back.
    static Rgb drawAndRead(GlContext *ctx) {
        windowProjection(ctx, ctx->handle->drawable->width, ctx->handle->drawable->height);
        GL(glDisable)(GL_DITHER);
        GL(glClearColor)(0, 0, 0, 0);
        GL(glClear)(GL_COLOR_BUFFER_BIT);
        GL(glBindTexture)(GL_TEXTURE_2D, kName);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        GL(glEnable)(GL_TEXTURE_2D);
        GL(glBegin)(GL_QUADS);
        const float c[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto &v : c) {
            GL(glTexCoord2f)(v[0], v[1]);
            GL(glVertex2f)(v[0] != 0 ? kQuad1 : kQuad0, v[1] != 0 ? kQuad1 : kQuad0);
        }
        GL(glEnd)();
        GL(glFinish)();
        uint8_t p[3] = {};
        GL(glReadBuffer)(GL_BACK);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glReadPixels)((kQuad0 + kQuad1) / 2, (kQuad0 + kQuad1) / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }

    static void expectColour(Rgb got, Rgb want) {
        // One step of a five-bit channel apart at most.
        EXPECT_LE(std::abs(got.r - want.r), 8) << got.r;
        EXPECT_LE(std::abs(got.g - want.g), 8) << got.g;
        EXPECT_LE(std::abs(got.b - want.b), 8) << got.b;
    }
};

TEST_F(SharedTextures, EitherContextGoesFirstAndTheOtherKeepsUsingTheTexture) {
    for (bool video : {true, false})
        for (int side : {64, 8})  // 64: a copy in video memory; 8: in the shared heap
            for (bool makerFirst : {true, false})
                for (Survivor next : {Survivor::kReplacesAndDraws, Survivor::kDeletesTheTexture, Survivor::kIsDeleted}) {
                    SCOPED_TRACE(testing::Message() << (video ? "chip" : "software") << " side " << side
                                                    << (makerFirst ? ", maker" : ", other") << " deleted first, then "
                                                    << int(next));
                    kivDDrawOffer(video);
                    win = std::make_unique<TestWindow>(kDoubleFormat);
                    maker = DrvCreateContext(win->hdc);
                    other = DrvCreateContext(win->hdc);
                    ASSERT_NE(maker, DHGLRC(0));
                    ASSERT_NE(other, DHGLRC(0));
                    ASSERT_TRUE(DrvShareLists(maker, other));

                    GlContext *ctx = use(maker);
                    ASSERT_NE(ctx, nullptr);
                    ASSERT_EQ(inVideoMemory(ctx->handle->drawable->buffers.descriptors[kGlDescriptorBack].base), video);
                    GL(glBindTexture)(GL_TEXTURE_2D, kName);
                    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
                    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                                     solid(side, kFirst).data());
                    const uint64_t before = zk3TriangleStats().pixelsWritten;
                    expectColour(drawAndRead(ctx), kFirst);
                    GLint resident = 0;
                    GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, &resident);
                    if (video) {
                        EXPECT_GT(zk3TriangleStats().pixelsWritten, before) << "the chip drew the texture";
                        EXPECT_EQ(resident, GL_TRUE) << "the chip road placed a copy";
                    }
                    // The other context draws the shared texture while the maker holds its copy.
                    ctx = use(other);
                    expectColour(drawAndRead(ctx), kFirst);

                    DHGLRC &gone = makerFirst ? maker : other, &kept = makerFirst ? other : maker;
                    DrvReleaseContext(0);
                    ASSERT_TRUE(DrvDeleteContext(gone));
                    gone = 0;
                    ctx = use(kept);
                    ASSERT_NE(ctx, nullptr);
                    if (next == Survivor::kReplacesAndDraws) {
                        GL(glBindTexture)(GL_TEXTURE_2D, kName);
                        GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE,
                                            solid(side, kSecond).data());
                        const uint64_t was = zk3TriangleStats().pixelsWritten;
                        expectColour(drawAndRead(ctx), kSecond);
                        if (video) {
                            EXPECT_GT(zk3TriangleStats().pixelsWritten, was) << "the survivor draws on the chip";
                        }
                        GL(glDeleteTextures)(1, &kName);
                    } else if (next == Survivor::kDeletesTheTexture) {
                        GL(glDeleteTextures)(1, &kName);
                        GL(glBindTexture)(GL_TEXTURE_2D, kName);  // a fresh object by the same name
                        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                                         solid(side, kSecond).data());
                        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
                        expectColour(drawAndRead(ctx), kSecond);
                    }
                    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
                    DrvReleaseContext(0);
                    ASSERT_TRUE(DrvDeleteContext(kept));
                    kept = 0;
                    win.reset();
                }
}

}  // namespace
