// Textured triangles drawn by the chip from the texture's copy in its memory, against the
// software rasteriser, each with the triangle proc the chip's road chose: the filters within, across
// and between mipmap levels, the environments with blending and the alpha test, GL_ALPHA textures,
// second blend passes, polygon modes and offset, the luminance texture's expanded form, the copy in
// video memory and in the shared heap, sub-image updates, and many textures evicting each other.
#include <cmath>
#include <limits>
#include "tests/zk3_render/render_fixture.h"
#include "icd/hw/tex_memory.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/texture_object.h"

namespace {

using TriangleProc = void (*)(GlContext *, GlVertex *, GlVertex *, GlVertex *);

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
        TriangleProc chosen = nullptr;
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
            chosen = ctx->slots.primitive.renderTriangle;
        });
        EXPECT_EQ(chosen, __glHwRenderTexTriangle);
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
// 64-texel texture by 1, 2, 4, 8, 32 and 64 (levels 0 to 3, 5 and 6, each level its own colour),
// with either magnification filter.
TEST_F(RenderPair, MipmapLevelsOnTheChip) {
    const GLenum filters[][2] = {{GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST},
                                 {GL_LINEAR_MIPMAP_NEAREST, GL_LINEAR},
                                 {GL_NEAREST_MIPMAP_NEAREST, GL_LINEAR},
                                 {GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST}};
    for (const auto &f : filters) {
        const GLenum filter = f[0], mag = f[1];
        SCOPED_TRACE(testing::Message() << std::hex << filter << " " << mag);
        TriangleProc chosen = nullptr;
        expectSamePicture([&](GlContext *ctx) {
            for (int level = 0, side = 64; side >= 1; ++level, side /= 2) {
                std::vector<uint8_t> t = pattern(std::max(side, 2), level * 5);
                if (side == 1) t.resize(4);
                GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
            }
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(mag));
            GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            GL(glEnable)(GL_TEXTURE_2D);
            texQuad(ctx, 0, 0, 64, 64, 0, 0, 1, 1);
            texQuad(ctx, 64, 0, 96, 32, 0, 0, 1, 1);
            texQuad(ctx, 64, 32, 80, 48, 0, 0, 1, 1);
            texQuad(ctx, 80, 32, 88, 40, 0, 0, 1, 1);
            texQuad(ctx, 88, 32, 90, 34, 0, 0, 1, 1);
            texQuad(ctx, 91, 32, 92, 33, 0, 0, 1, 1);
            if (inVideoMemory(desc(kGlDescriptorBack).base)) chosen = ctx->slots.primitive.renderTriangle;
        });
        EXPECT_EQ(chosen, __glHwRenderTexTriangle);
    }
}

// The chip takes one level of detail per triangle. A mipmapped quad scaled alike both ways is
// the chip's; one stretched four to one (OpenGL's level of detail between log2 4 and log2 5, the
// chip's log2 2) is drawn by the software rasteriser behind the chip's drawing (the reference
// scene of a perspective floor shows the same). Either way the picture is the software one's.
TEST_F(RenderPair, MipmappedTrianglesTheChipCannotServeGoToSoftware) {
    struct Case {
        const char *name;
        void (*quad)(GlContext *ctx);
        bool chipDraws;
    };
    const Case cases[] = {
        {"shrunk alike both ways", [](GlContext *ctx) { texQuad(ctx, 4, 4, 36, 36); }, true},
        {"stretched four to one", [](GlContext *ctx) { texQuad(ctx, 4, 4, 68, 20); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t chipTriangles = 0;
        expectSamePicture([&](GlContext *ctx) {
            // Each level one colour: the picture shows the levels read, not where texels fall.
            for (int level = 0, side = 64; side >= 1; ++level, side /= 2) {
                std::vector<uint8_t> t(size_t(4 * side * side));
                for (size_t i = 0; i < t.size(); i += 4)
                    t[i] = step5(31 - 4 * level), t[i + 1] = step5(4 * level), t[i + 2] = step5(9), t[i + 3] = 255;
                GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
            }
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            GL(glEnable)(GL_TEXTURE_2D);
            const uint64_t before = zk3TriangleStats().triangles;
            c.quad(ctx);
            GL(glFinish)();
            if (inVideoMemory(desc(kGlDescriptorBack).base)) chipTriangles = zk3TriangleStats().triangles - before;
        }, false);
        EXPECT_EQ(chipTriangles, c.chipDraws ? 2u : 0u);
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

namespace {

// A texture whose alpha varies as much as its colour: 4-bit alpha steps across and down.
std::vector<uint8_t> alphaPattern(int side, int seed) {
    std::vector<uint8_t> t = pattern(side, seed);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) t[size_t(4 * (y * side + x) + 3)] = uint8_t(17 * ((x + 3 * y + seed) % 16));
    return t;
}

// Opaque flat stripes for blending to mix with: flat, so that both roads store the same
// background and a blend's difference is its own.
void background(GlContext *ctx) {
    GL(glShadeModel)(GL_FLAT);
    for (int i = 0; i < 4; ++i) {
        GL(glColor3f)(i & 1 ? 0.9f : 0.3f, i & 2 ? 0.8f : 0.1f, 0.25f * float(i));
        texQuad(ctx, 0, 16.0f * float(i), 96, 16.0f * float(i + 1));
    }
}

}  // namespace

// Textured states the chip draws itself, each against the software rasteriser, with the triangle
// proc the chooser installed on the chip's road: environments with blending and the alpha test
// (the fragment keeps its own alpha where the texture has none), GL_ALPHA textures, blend pairs
// with a second pass, and the polygon modes (front faces filled, back faces as outlines or
// corners drawn by the line and point procs).
TEST_F(RenderPair, TexturedStatesTheChipDrawsItself) {
    struct Case {
        const char *name;
        GLenum internalFormat, env;
        GLenum src, dst;       // GL_NONE: no blending
        GLenum alphaFunc;      // GL_NONE: no alpha test
        GLenum backMode;       // back faces' polygon mode
        TriangleProc proc;
    };
    constexpr GLenum kNo = GL_NONE;
    const Case cases[] = {
        {"alpha texture replacing, blended", GL_ALPHA, GL_REPLACE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, kNo, GL_FILL,
         __glHwRenderTriangleTwoPass},
        {"alpha texture modulating, blended", GL_ALPHA, GL_MODULATE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, kNo, GL_FILL,
         __glHwRenderTexTriangle},
        {"alpha texture modulating, alpha test", GL_ALPHA, GL_MODULATE, kNo, kNo, GL_GEQUAL, GL_FILL,
         __glHwRenderTexTriangle},
        {"rgb replacing, blended by the vertex alpha", GL_RGB5, GL_REPLACE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, kNo,
         GL_FILL, __glHwRenderTexTriangle},
        {"rgb decal, blended and alpha-tested by the vertex alpha", GL_RGB5, GL_DECAL, GL_ONE_MINUS_SRC_ALPHA,
         GL_SRC_ALPHA, GL_GREATER, GL_FILL, __glHwRenderTexTriangle},
        {"rgba replacing, blended by the texel alpha", GL_RGBA4, GL_REPLACE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, kNo,
         GL_FILL, __glHwRenderTexTriangle},
        {"rgba replacing, alpha test", GL_RGBA4, GL_REPLACE, kNo, kNo, GL_LESS, GL_FILL, __glHwRenderTexTriangle},
        {"luminance replacing, blended by the vertex alpha", GL_LUMINANCE, GL_REPLACE, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO,
         kNo, GL_FILL, __glHwRenderTexTriangle},
        {"intensity replacing, blended by the intensity", GL_INTENSITY, GL_REPLACE, GL_SRC_ALPHA,
         GL_ONE_MINUS_SRC_ALPHA, kNo, GL_FILL, __glHwRenderTexTriangle},
        {"second pass (ONE, SRC_COLOR)", GL_RGBA4, GL_MODULATE, GL_ONE, GL_SRC_COLOR, kNo, GL_FILL,
         __glHwRenderTriangleTwoPass},
        {"second pass (ONE, ONE_MINUS_SRC_ALPHA), replacing", GL_RGBA4, GL_REPLACE, GL_ONE, GL_ONE_MINUS_SRC_ALPHA, kNo,
         GL_FILL, __glHwRenderTriangleTwoPass},
        {"back faces outlined", GL_RGB5, GL_MODULATE, kNo, kNo, kNo, GL_LINE, __glHwRenderTriangleTwoPass},
        {"back faces as corners", GL_RGB5, GL_REPLACE, kNo, kNo, kNo, GL_POINT, __glHwRenderTriangleTwoPass},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TriangleProc chosen = nullptr;
        expectSamePicture([&](GlContext *ctx) {
            background(ctx);
            const std::vector<uint8_t> texels = alphaPattern(16, 5);
            GL(glTexImage2D)(GL_TEXTURE_2D, 0, GLint(c.internalFormat), 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                             texels.data());
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(c.env));
            GL(glEnable)(GL_TEXTURE_2D);
            if (c.src != kNo) {
                GL(glEnable)(GL_BLEND);
                GL(glBlendFunc)(c.src, c.dst);
            }
            if (c.alphaFunc != kNo) {
                GL(glEnable)(GL_ALPHA_TEST);
                GL(glAlphaFunc)(c.alphaFunc, 0.5f);
            }
            GL(glPolygonMode)(GL_BACK, c.backMode);
            GL(glPointSize)(3.0f);
            // A flat alpha of 0.6 or 0.3 per quad: the vertex alpha shows where the texture has none.
            GL(glShadeModel)(GL_FLAT);
            GL(glColor4f)(1.0f, 0.7f, 0.9f, 0.6f);
            texQuad(ctx, 4.3f, 4.6f, 44.3f, 60.6f, 0, 0, 1.25f, 1.75f);
            GL(glColor4f)(0.6f, 1.0f, 0.5f, 0.3f);
            texQuad(ctx, 90.4f, 6.7f, 50.4f, 58.7f, 0, 0, 1.25f, 1.625f);  // back-facing
            if (inVideoMemory(desc(kGlDescriptorBack).base)) chosen = ctx->slots.primitive.renderTriangle;
        });
        EXPECT_EQ(chosen, c.proc) << "the chip's road chose another triangle proc (software is "
                                  << (chosen == __glFlushThenTriangle ? "it" : "not it") << ")";
    }
}

// Polygon offset of textured triangles: a coplanar quad drawn again in front of the first with
// GL_LESS, through the chip's second triangle proc, textured like the first.
TEST_F(RenderPair, PolygonOffsetOfTexturedTriangles) {
    TriangleProc chosen = nullptr;
    expectSamePicture([&](GlContext *ctx) {
        const std::vector<uint8_t> texels = pattern(16, 6);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB5, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        GL(glEnable)(GL_TEXTURE_2D);
        GL(glEnable)(GL_DEPTH_TEST);
        GL(glColor3f)(0.3f, 0.4f, 1.0f);
        texQuad(ctx, 6.3f, 4.6f, 90.3f, 58.6f);
        GL(glEnable)(GL_POLYGON_OFFSET_FILL);
        GL(glPolygonOffset)(0.0f, -4.0f);
        GL(glColor3f)(1.0f, 0.9f, 0.2f);
        texQuad(ctx, 6.3f, 4.6f, 60.3f, 58.6f, 0, 0, 54.0f / 84, 1);
        if (inVideoMemory(desc(kGlDescriptorBack).base)) chosen = ctx->slots.primitive.renderTriangle;
    });
    EXPECT_EQ(chosen, __glHwRenderTriangleTwoPass);
}

// GL's filters that blend two levels, and minification and magnification filters that differ.
// The quads shrink the 64-texel texture (each level its own colours) by 2^(k/2): the level of
// detail is 0.5, 1.5, 2.5 and 3.5 (a boundary between levels for the nearest-level filters, which
// the test above draws), with a magnified quad beside. The chip takes one level of
// detail per triangle, log2 of texels per pixel from the areas; the software rasteriser a
// piecewise-linear log2 per pixel. For these square, unstretched quads both agree at every half
// step; in between they part by at most 0.043, a blend of two levels by that fraction of their
// difference (the quads shrunk by 1.5 and 3 stay within a step for that reason).
TEST_F(RenderPair, FiltersBetweenAndAcrossLevelsOnTheChip) {
    struct Case {
        GLenum minFilter, magFilter;
    };
    const Case cases[] = {
        {GL_NEAREST_MIPMAP_LINEAR, GL_NEAREST}, {GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR},
        {GL_LINEAR_MIPMAP_LINEAR, GL_NEAREST},  {GL_LINEAR, GL_NEAREST},
        {GL_NEAREST, GL_LINEAR},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.minFilter << " " << c.magFilter);
        TriangleProc chosen = nullptr;
        uint32_t quality = 0;
        expectSamePicture([&](GlContext *ctx) {
            for (int level = 0, side = 64; side >= 1; ++level, side /= 2) {
                std::vector<uint8_t> t = pattern(std::max(side, 2), level * 5);
                if (side == 1) t.resize(4);
                GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
            }
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(c.minFilter));
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(c.magFilter));
            GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
            GL(glEnable)(GL_TEXTURE_2D);
            const float r2 = 1.41421356f;
            float x = 0.0f;
            for (float shrink : {r2, 2 * r2, 4 * r2, 8 * r2}) {
                const float side = 64.0f / shrink;
                texQuad(ctx, x, 0, x + side, side);
                x += std::ceil(side) + 1;
            }
            texQuad(ctx, 70, 24, 94, 48, 0.1f, 0.2f, 0.1f + 24.0f / 128, 0.2f + 24.0f / 128);  // magnified twice
            texQuad(ctx, 0, 46, 64.0f / 1.5f, 46 + 64.0f / 1.5f);
            texQuad(ctx, 46, 50, 46 + 64.0f / 3, 50 + 64.0f / 3);
            if (!inVideoMemory(desc(kGlDescriptorBack).base)) return;
            chosen = ctx->slots.primitive.renderTriangle;
            quality = ctx->hw.triangleRegs[kHwRegQuality];
        });
        EXPECT_EQ(chosen, __glHwRenderTexTriangle);
        EXPECT_EQ(quality & 0xFFFF0000u, 0xF40000u) << "the texture-quality setting's word stays beside the filters";
    }
}

// A luminance texture replacing the colour under the blend (ZERO, ONE_MINUS_SRC_COLOR) is drawn
// by the chip from its expanded form (the luminance as alpha); drawn otherwise, from its normal
// form. Switching back and forth keeps every quad right, the chip drawing each, and the texture's
// own texels come back unchanged through glGetTexImage. A sub-image replaced while the copy is
// expanded reaches it expanded. The expanded form holds four bits of luminance: the rows drawn
// hold luminances it keeps whole, the rows below every 5-bit value, the ones whose lowest bit it
// drops included.
TEST_F(RenderPair, ALuminanceTextureTakesItsExpandedFormAndBack) {
    constexpr int kSide = 32;
    std::vector<uint8_t> luminance(kSide * kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int k = (x + y) & 15;
            luminance[size_t(y * kSide + x)] = y < kSide / 2 ? step5(2 * k + (k >> 3)) : step5(x + y);
        }
    constexpr int kPatch = 8;
    const std::vector<uint8_t> patch(kPatch * kPatch, step5(2));
    std::vector<uint8_t> expectedTexels = luminance;
    for (int y = 3; y < 3 + kPatch; ++y)
        for (int x = 4; x < 4 + kPatch; ++x) expectedTexels[size_t(y * kSide + x)] = patch[0];
    std::vector<uint8_t> readBackTexels;
    std::vector<int> expandedWhenDrawn;
    std::vector<TriangleProc> chosen;
    expectSamePicture([&](GlContext *ctx) {
        const bool chip = inVideoMemory(desc(kGlDescriptorBack).base);
        background(ctx);
        GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_LUMINANCE, kSide, kSide, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                         luminance.data());
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        GL(glEnable)(GL_TEXTURE_2D);
        GL(glColor4f)(0.9f, 0.6f, 0.3f, 1.0f);
        for (int i = 0; i < 4; ++i) {
            const bool expanded = i % 2 == 0;
            if (expanded) {
                GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
                GL(glEnable)(GL_BLEND);
                GL(glBlendFunc)(GL_ZERO, GL_ONE_MINUS_SRC_COLOR);
            } else {
                GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, i == 1 ? GL_MODULATE : GL_REPLACE);
                GL(glDisable)(GL_BLEND);
            }
            const float x = 1.3f + 24.0f * float(i);
            texQuad(ctx, x, 2.6f, x + 22, 40.6f, 0, 0, 22.0f / kSide, 0.5f);
            if (i == 2) {  // a patch into the expanded copy, drawn above the quad
                GL(glTexSubImage2D)(GL_TEXTURE_2D, 0, 4, 3, kPatch, kPatch, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                                    patch.data());
                // Texels 0-15 across 22 pixels and 2-13 up 20 rows. The corners lie on the
                // 1/16-pixel grid the software rasteriser snaps vertices to, so both roads
                // interpolate from the same corners. Off the grid they part by up to 1/16 pixel,
                // and a pixel centre can lie on a texel boundary for one road only: corners at
                // (49.3, 42.6) snap to (49.25, 42.5625), and pixel 57's centre then sits exactly
                // on the boundary of texels 5 and 6, (57.5 - 49.25) * 16 / 22 = 6, where the chip
                // reads 5.96 (pixel 68 likewise at texel 14). On the grid, pixel i samples texel
                // (16 i - 781) / 22 across, an odd numerator: 1/22 of a texel or more from a
                // boundary; row j samples 2 + (16 j - 673) * 11 / 320 up, a numerator of 5 modulo
                // 16: 5/320 of a texel or more.
                const float x0 = 789.0f / 16, y0 = 681.0f / 16;  // 49.3125, 42.5625
                texQuad(ctx, x0, y0, x0 + 22, y0 + 20, 0, 2.0f / kSide, 16.0f / kSide, 13.0f / kSide);
            }
            if (chip) {
                expandedWhenDrawn.push_back(ctx->hw.alphaExpanded);
                chosen.push_back(ctx->slots.primitive.renderTriangle);
            }
        }
        if (!chip) return;
        readBackTexels.assign(luminance.size(), 0);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, readBackTexels.data());
    });
    EXPECT_EQ(expandedWhenDrawn, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(chosen, std::vector<TriangleProc>(4, __glHwRenderTexTriangle));
    EXPECT_EQ(readBackTexels, expectedTexels);
}

// Texture coordinates no texture reaches (huge, infinite, not a number) under every filter kind:
// the chip's road draws them without a fault or a model error. The texel they show is not
// compared: neither road has a fraction left to sample by.
TEST_F(RenderPair, TextureCoordinatesBeyondAnyTextureDrawWithoutFault) {
    const float huge = 1e30f, inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    for (GLenum filter : {GL_NEAREST, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR}) {
        SCOPED_TRACE(filter);
        uint64_t chipPixels = 0;
        draw(true, [&](GlContext *ctx) {
            for (int level = 0, side = 8; side >= 1; ++level, side /= 2) {
                std::vector<uint8_t> t = pattern(std::max(side, 2), level);
                GL(glTexImage2D)(GL_TEXTURE_2D, level, GL_RGB5, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.data());
            }
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(filter));
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(filter == GL_NEAREST ? GL_NEAREST : GL_LINEAR));
            GL(glEnable)(GL_TEXTURE_2D);
            texQuad(ctx, 2, 2, 30, 30, -huge, huge, huge, -huge);
            texQuad(ctx, 34, 2, 62, 30, 0, 0, inf, 1);
            texQuad(ctx, 66, 2, 94, 30, nan, 0, 1, nan);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
            GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
            texQuad(ctx, 2, 34, 30, 62, -huge, huge, huge, -huge);
            texQuad(ctx, 34, 34, 62, 62, -inf, 0, inf, 1);
        }, &chipPixels);
        ASSERT_FALSE(HasFatalFailure());
    }
}
