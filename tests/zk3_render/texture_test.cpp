// Textured triangles drawn by the chip from the texture's copy in its memory, against the
// software rasteriser: both filters, REPLACE and MODULATE, the copy in video memory and in the
// shared heap, a sub-image update seen by the next draw, and many textures evicting each other.
#include "tests/zk3_render/render_fixture.h"
#include "icd/hw/tex_memory.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/texture_object.h"

namespace {

// Texels whose channels are exact in five bits (multiples of 255 / 31 rounded are avoided: the
// values are whole 5-bit steps widened), so that both roads start from the same colours.
uint8_t step5(int v) { return uint8_t(((v & 31) * 255 + 15) / 31); }

std::vector<uint8_t> pattern(int side, int seed) {
    std::vector<uint8_t> t(size_t(4 * side * side));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            uint8_t *p = &t[size_t(4 * (y * side + x))];
            p[0] = step5(x * 31 / (side - 1) + seed);
            p[1] = step5(y * 31 / (side - 1) + 3 * seed);
            p[2] = ((x / 2 + y / 2 + seed) & 1) ? 255 : 0;
            p[3] = 255;
        }
    return t;
}

struct TexCase {
    GLenum internalFormat, filter, env;
    int side;  // 8: below the video-memory minimum, in the heap; 64: in video memory
};

void texQuad(GlContext *ctx, float x0, float y0, float x1, float y1, float s0 = 0, float t0 = 0, float s1 = 1,
             float t1 = 1) {
    GL(glBegin)(GL_QUADS);
    GL(glTexCoord2f)(s0, t0);
    GL(glVertex2f)(x0, y0);
    GL(glTexCoord2f)(s1, t0);
    GL(glVertex2f)(x1, y0);
    GL(glTexCoord2f)(s1, t1);
    GL(glVertex2f)(x1, y1);
    GL(glTexCoord2f)(s0, t1);
    GL(glVertex2f)(x0, y1);
    GL(glEnd)();
}

void setUpTexture(GlContext *ctx, const TexCase &c, int seed) {
    const std::vector<uint8_t> texels = pattern(c.side, seed);
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GLint(c.internalFormat), c.side, c.side, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     texels.data());
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(c.filter));
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(c.filter));
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(c.env));
    GL(glEnable)(GL_TEXTURE_2D);
}

}  // namespace

TEST_F(RenderPair, TexturedTrianglesOnTheChip) {
    const TexCase cases[] = {
        {GL_RGB5, GL_NEAREST, GL_REPLACE, 64},   {GL_RGB5, GL_NEAREST, GL_REPLACE, 8},
        {GL_RGB5, GL_NEAREST, GL_MODULATE, 64},  {GL_RGBA4, GL_NEAREST, GL_MODULATE, 8},
        {GL_RGB5, GL_LINEAR, GL_REPLACE, 64},    {GL_RGB5, GL_LINEAR, GL_MODULATE, 8},
        {GL_RGBA4, GL_LINEAR, GL_REPLACE, 64},   {GL_RGB, GL_NEAREST, GL_MODULATE, 8},
        {GL_RGB5, GL_NEAREST, GL_DECAL, 64},
    };
    for (const TexCase &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.internalFormat << " " << c.filter << " " << c.env << std::dec
                                        << " side " << c.side);
        GLint resident = -1;
        uint32_t object = 0;
        expectSamePicture([&](GlContext *ctx) {
            setUpTexture(ctx, c, 1);
            GL(glColor3f)(1.0f, 0.5f, 0.75f);
            // Magnified and repeated, then minified four to one. Pixel centres are kept off texel
            // boundaries: at an exact tie nearest sampling may fall either way on the two roads.
            // The coordinates are moved by half a step of what reaches a boundary: s by
            // 1 / (2 * 64 * 29), t by 1 / (2 * 64 * 117) (58 and 58.5 pixels span 2 and 1 units).
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            const float ds = 1.0f / 3712.0f, dt = 1.0f / 14976.0f;
            texQuad(ctx, 2.5f, 3.25f, 60.5f, 61.75f, -0.5f + ds, 0.25f + dt, 1.5f + ds, 1.25f + dt);
            GL(glColor3f)(0.8f, 1.0f, 0.4f);
            texQuad(ctx, 64.3f, 10.65f, 64.3f + float(c.side) / 4, 10.65f + float(c.side) / 4);
            if (!inVideoMemory(desc(kGlDescriptorBack).base)) return;
            GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, &resident);
            object = static_cast<HwTexBlock *>(ctx->state.pick.currentTextures[0]->hwBlock)->object;
        });
        EXPECT_EQ(resident, GL_TRUE);
        // Textures narrower than the video-memory minimum (32 texels) live in the shared heap.
        EXPECT_EQ(object, c.side < 32 ? kHwTexObjectHeap : kHwTexObjectVideo);
    }
}

// A sub-image replaces texels between two draws of the same frame: the first quad keeps the old
// texels (the chip has not drawn it yet when the texels change), the second shows the new ones.
// Each pixel centre falls on a texel centre, so that both roads sample the same texels.
TEST_F(RenderPair, ASubImageIsSeenByTheNextDrawOnly) {
    for (int side : {8, 64}) {
        SCOPED_TRACE(testing::Message() << "side " << side);
        expectSamePicture([side](GlContext *ctx) {
            setUpTexture(ctx, {GL_RGB5, GL_NEAREST, GL_REPLACE, side}, 2);
            texQuad(ctx, 2, 2, 34, 58, 0, 0, 0.5f, 0.875f);
            std::vector<uint8_t> patch(size_t(4 * side / 2 * side / 2));
            for (size_t i = 0; i < patch.size(); i += 4) patch[i] = 255, patch[i + 1] = 0, patch[i + 2] = step5(9), patch[i + 3] = 255;
            GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, side / 4, side / 4, side / 2, side / 2, GL_RGBA, GL_UNSIGNED_BYTE,
                                patch.data());
            texQuad(ctx, 50, 2, 82, 58, 0, 0, 0.5f, 0.875f);
        });
    }
}

// More textures than the heap holds, with video memory refused: drawing each makes room by
// evicting the least recently used copies (after the chip is done with them), and textures drawn
// again after their eviction are placed and uploaded afresh.
TEST_F(RenderPair, ManyTexturesEvictEachOther) {
    constexpr int kTextures = 48, kSide = 256;  // 128 KB each, 6 MB against the 5 MB heap
    GLint firstResident = -1;
    expectSamePicture([&](GlContext *ctx) {
        const bool chip = inVideoMemory(desc(kGlDescriptorBack).base);
        if (chip) kivDDrawSetVideoBudget(0);
        GLuint names[kTextures];
        GL(glGenTextures)(kTextures, names);
        std::vector<uint8_t> texels(size_t(4 * kSide * kSide));
        for (int i = 0; i < kTextures; ++i) {
            GL(glBindTexture)(GL_TEXTURE_2D, names[i]);
            for (size_t k = 0; k < texels.size(); k += 4)
                texels[k] = step5(i % 32), texels[k + 1] = step5(31 - i % 16), texels[k + 2] = step5((7 * i) % 32),
                texels[k + 3] = 255;
            GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB5, kSide, kSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        }
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
        GL(glEnable)(GL_TEXTURE_2D);
        for (int i = 0; i < kTextures; ++i) {
            GL(glBindTexture)(GL_TEXTURE_2D, names[i]);
            const float x = float(i % 12) * 8.0f, y = float(i / 12) * 8.0f;
            texQuad(ctx, x + 0.3f, y + 0.6f, x + 7.3f, y + 7.6f);
        }
        if (chip) {
            GL(glBindTexture)(GL_TEXTURE_2D, names[0]);
            GL(glGetTexParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_RESIDENT, &firstResident);
        }
        for (int i = 0; i < 12; ++i) {  // the first ones again, evicted by now
            GL(glBindTexture)(GL_TEXTURE_2D, names[i]);
            const float x = float(i) * 8.0f;
            texQuad(ctx, x + 0.3f, 40.6f, x + 7.3f, 47.6f);
        }
        GL(glDeleteTextures)(kTextures, names);
    });
    EXPECT_EQ(firstResident, GL_FALSE);
}

// Mipmaps with a nearest-level filter: the chip reads one level per triangle, the one nearest to
// its texels per pixel, as GL chooses for a quad scaled alike both ways. The quads shrink the
// 64-texel texture by 1, 2, 4, 8, 32 and 64 (levels 0 to 3, 5 and 6, each level its own colour).
TEST_F(RenderPair, MipmapLevelsOnTheChip) {
    for (GLenum filter : {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR_MIPMAP_NEAREST}) {
        SCOPED_TRACE(testing::Message() << std::hex << filter);
        expectSamePicture([filter](GlContext *ctx) {
            for (int level = 0, side = 64; side >= 1; ++level, side /= 2) {
                std::vector<uint8_t> t = pattern(std::max(side, 2), level * 5);
                if (side == 1) t.resize(4);
                GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
            }
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                                filter == GL_NEAREST_MIPMAP_NEAREST ? GL_NEAREST : GL_LINEAR);
            GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            GL(glEnable)(GL_TEXTURE_2D);
            texQuad(ctx, 0, 0, 64, 64, 0, 0, 1, 1);
            texQuad(ctx, 64, 0, 96, 32, 0, 0, 1, 1);
            texQuad(ctx, 64, 32, 80, 48, 0, 0, 1, 1);
            texQuad(ctx, 80, 32, 88, 40, 0, 0, 1, 1);
            texQuad(ctx, 88, 32, 90, 34, 0, 0, 1, 1);
            texQuad(ctx, 91, 32, 92, 33, 0, 0, 1, 1);
        });
    }
}

// Each context counts itself into the process's texture-manager users and out again.
TEST_F(RenderPair, AContextCountsItselfOutOfTheTextureManager) {
    const int32_t before = __glTextureManagerUsers;
    open(true);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(__glTextureManagerUsers, before + 1);
    closeContext();
    EXPECT_EQ(__glTextureManagerUsers, before);
}

// Polygons crossing the window's edges are clipped and drawn as fans: untextured through the
// chip's polygon proc, textured (repeating, coordinates beyond 1 and below 0) through the
// textured triangle proc with the clipped vertices' coordinates.
TEST_F(RenderPair, ClippedPolygonsPlainAndTextured) {
    for (bool textured : {false, true}) {
        SCOPED_TRACE(textured ? "textured" : "plain");
        expectSamePicture([textured](GlContext *ctx) {
            if (textured) {
                setUpTexture(ctx, {GL_RGB5, GL_LINEAR, GL_MODULATE, 64}, 3);
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
                GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
            }
            GL(glShadeModel)(GL_SMOOTH);
            GL(glBegin)(GL_POLYGON);
            GL(glColor3f)(1.0f, 0.2f, 0.3f);
            GL(glTexCoord2f)(-1.3f, -0.6f);
            GL(glVertex2f)(-20.3f, -10.6f);
            GL(glColor3f)(0.3f, 1.0f, 0.2f);
            GL(glTexCoord2f)(1.7f, -0.4f);
            GL(glVertex2f)(120.2f, 5.3f);
            GL(glColor3f)(0.2f, 0.4f, 1.0f);
            GL(glTexCoord2f)(1.4f, 1.8f);
            GL(glVertex2f)(110.6f, 80.1f);
            GL(glColor3f)(0.9f, 0.9f, 0.2f);
            GL(glTexCoord2f)(-0.8f, 1.2f);
            GL(glVertex2f)(-5.4f, 70.7f);
            GL(glEnd)();
        });
    }
}

// The bound texture specified again, at another size and in another place (video memory, then
// the heap, then video memory), between draws of one frame: each quad shows the image that was
// current when it was drawn, and the copy the chip has yet to read is not freed under it.
TEST_F(RenderPair, ATextureSpecifiedAgainBetweenDraws) {
    expectSamePicture([](GlContext *ctx) {
        const int sides[] = {64, 16, 32};
        for (int i = 0; i < 3; ++i) {
            setUpTexture(ctx, {GL_RGB5, GL_NEAREST, GL_MODULATE, sides[i]}, 4 * i + 1);
            GL(glColor3f)(1.0f, 0.9f - 0.2f * float(i), 0.8f);
            const float x = 2.0f + 32.0f * float(i);
            texQuad(ctx, x, 2, x + 28, 58, 0, 0, 28.0f / 64, 56.0f / 64);
        }
    });
}
