// Lists draw the pixels their immediate commands draw: primitives of every glBegin mode, lit
// geometry, bitmaps and stipples whose images were unpacked when the list was compiled, and a
// list of variable-size commands that must step exactly from one to the next.
#include <algorithm>
#include <functional>
#include "tests/icd_pick/pick_fixture.h"
#include "tests/icd_raster/raster_fixture.h"

namespace {

constexpr int kWidth = 16, kHeight = 12;

class ListPixels : public PickTest {
protected:
    PlainMemory memory;
    void SetUp() override {
        openOnMemory(memory, kWidth, kHeight);
    }
    std::vector<uint8_t> pixels() const { return memory.bytes; }
    void clearPixels() { std::fill(memory.bytes.begin(), memory.bytes.end(), 0); }
    // The pixels of the commands given immediately, and then of the same commands from a list.
    void expectSamePixels(const std::function<void(GlContext *)> &commands) {
        clearPixels();
        commands(ctx);
        ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        const std::vector<uint8_t> immediate = pixels();
        int lit = 0;
        for (size_t i = 0; i < immediate.size(); ++i) lit += immediate[i] != 0;
        ASSERT_GT(lit, 0) << "the commands draw something";
        GL(glNewList)(20, GL_COMPILE);
        commands(ctx);
        GL(glEndList)();
        clearPixels();
        GL(glCallList)(20);
        EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(pixels(), immediate);
    }
};

TEST_F(ListPixels, EveryPrimitiveModeDrawsTheSamePixels) {
    const GLenum modes[] = {GL_POINTS, GL_LINES, GL_LINE_LOOP, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP,
                            GL_TRIANGLE_FAN, GL_QUADS, GL_QUAD_STRIP, GL_POLYGON};
    for (GLenum mode : modes) {
        SCOPED_TRACE(mode);
        expectSamePixels([mode](GlContext *ctx) {
            GL(glBegin)(mode);
            GL(glColor3f)(1, 0, 0);
            GL(glVertex2f)(1.5f, 1.5f);
            GL(glColor3ub)(0, 255, 0);
            GL(glVertex2i)(14, 2);
            GL(glColor3d)(0, 0, 1);
            GL(glVertex3d)(13.5, 10.5, 0);
            const GLshort v[2] = {2, 9};
            GL(glVertex2sv)(v);
            GL(glEnd)();
        });
    }
}

TEST_F(ListPixels, LitGeometryWithMaterialsDrawsTheSamePixels) {
    expectSamePixels([](GlContext *ctx) {
        const GLfloat position[4] = {0, 0, 1, 0};
        const GLfloat diffuse[4] = {0.8f, 0.4f, 0.2f, 1};
        const GLfloat specular[4] = {1, 1, 1, 1};
        GL(glEnable)(GL_LIGHTING);
        GL(glEnable)(GL_LIGHT0);
        GL(glLightfv)(GL_LIGHT0, GL_POSITION, position);
        GL(glMaterialfv)(GL_FRONT, GL_DIFFUSE, diffuse);
        GL(glMaterialfv)(GL_FRONT, GL_SPECULAR, specular);
        GL(glMaterialf)(GL_FRONT, GL_SHININESS, 20.0f);
        GL(glBegin)(GL_TRIANGLES);
        GL(glNormal3f)(0, 0, 1);
        GL(glVertex2f)(1, 1);
        GL(glNormal3f)(0.6f, 0, 0.8f);
        GL(glVertex2f)(15, 1);
        GL(glNormal3f)(0, 0.6f, 0.8f);
        GL(glVertex2f)(8, 11);
        GL(glEnd)();
        GL(glDisable)(GL_LIGHTING);
    });
}

TEST_F(ListPixels, ABitmapKeepsTheImageItWasCompiledWith) {
    // Rows of 2 bytes, the second byte of every row unused with alignment 2.
    const GLubyte image[8] = {0xA0, 0xEE, 0x50, 0xEE, 0xF0, 0xEE, 0x90, 0xEE};
    auto bitmap = [&](GlContext *ctx) {
        GL(glColor3f)(1, 1, 1);
        GL(glRasterPos2i)(3, 4);
        GL(glBitmap)(4, 4, 0, 0, 5, 0, image);
        GL(glBitmap)(4, 4, 0, 0, 5, 0, image);
    };
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 2);
    clearPixels();
    bitmap(ctx);
    const std::vector<uint8_t> immediate = pixels();
    GL(glNewList)(21, GL_COMPILE);
    bitmap(ctx);
    GL(glEndList)();
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 4);  // changes nothing for the list
    clearPixels();
    GL(glCallList)(21);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(pixels(), immediate);
    GLint alignment = 0;
    GL(glGetIntegerv)(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
    int set = 0;
    for (uint8_t b : immediate) set += b != 0;
    EXPECT_GT(set, 0);
}

TEST_F(ListPixels, VariableSizeCommandsStepToTheNextOne) {
    const GLushort map[3] = {1, 2, 3};
    const GLubyte rgb[9] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    const GLubyte names[3] = {30, 31, 32};
    const GLfloat fogColor[4] = {0.5f, 0.5f, 0.5f, 1};
    const GLfloat density = 0.25f;
    const GLfloat model[4] = {0.1f, 0.1f, 0.1f, 1};
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glNewList)(22, GL_COMPILE);
    GL(glPixelMapusv)(GL_PIXEL_MAP_R_TO_R, 3, map);  // 6 bytes of values
    GL(glRasterPos2i)(0, 0);
    GL(glDrawPixels)(3, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    GL(glCallLists)(3, GL_UNSIGNED_BYTE, names);
    GL(glFogfv)(GL_FOG_COLOR, fogColor);
    GL(glFogfv)(GL_FOG_DENSITY, &density);
    GL(glLightModelfv)(GL_LIGHT_MODEL_AMBIENT, model);
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_R, 1, fogColor);
    GL(glColor3f)(0.25f, 0.5f, 0.75f);  // the sentinel
    GL(glEndList)();
    GL(glColor3f)(1, 1, 1);
    GL(glCallList)(22);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    GLfloat color[4], fog = 0;
    GL(glGetFloatv)(GL_CURRENT_COLOR, color);
    EXPECT_EQ(color[0], 0.25f);
    EXPECT_EQ(color[2], 0.75f);
    GL(glGetFloatv)(GL_FOG_DENSITY, &fog);
    EXPECT_EQ(fog, 0.25f);
}

TEST_F(ListPixels, PackedPixelsOfTheWrongSizeFailAtOnce) {
    const GLubyte pixel[4] = {};
    GL(glNewList)(23, GL_COMPILE);
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_UNSIGNED_BYTE_3_3_2_EXT, pixel);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_INVALID_OPERATION));
    GL(glDrawPixels)(1, 1, GL_RGBA, GL_BITMAP, pixel);  // recorded
    GL(glEndList)();
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    GL(glCallList)(23);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_INVALID_ENUM));
}

// Array draws are recorded as the immediate commands of their elements: the list keeps the values
// the arrays held when it was compiled.
TEST_F(ListPixels, ArrayDrawsKeepTheValuesOfTheirElements) {
    GLfloat vertices[8] = {1, 1, 15, 1, 15, 11, 1, 11};
    GLubyte colors[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255};
    const GLubyte indices[3] = {0, 2, 3};
    auto draw = [&](GlContext *ctx) {
        GL(glVertexPointer)(2, GL_FLOAT, 0, vertices);
        GL(glColorPointer)(4, GL_UNSIGNED_BYTE, 0, colors);
        GL(glEnableClientState)(GL_VERTEX_ARRAY);
        GL(glEnableClientState)(GL_COLOR_ARRAY);
        GL(glDrawArrays)(GL_TRIANGLES, 0, 3);
        GL(glDrawElements)(GL_TRIANGLES, 3, GL_UNSIGNED_BYTE, indices);
    };
    clearPixels();
    draw(ctx);
    const std::vector<uint8_t> immediate = pixels();
    ASSERT_NE(std::count(immediate.begin(), immediate.end(), 0), std::ptrdiff_t(immediate.size()));
    GL(glNewList)(24, GL_COMPILE);
    draw(ctx);
    GL(glEndList)();
    std::fill(std::begin(vertices), std::end(vertices), 0.0f);  // the list holds its own copy
    GL(glDisableClientState)(GL_COLOR_ARRAY);
    clearPixels();
    GL(glCallList)(24);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(pixels(), immediate);
}

}  // namespace

namespace {

// Texture images are unpacked when compiled; a proxy image is a question answered at once.
TEST_F(ListPixels, TextureImagesKeepTheirTexelsAndProxiesActAtOnce) {
    // Two rows of 4 RGB texels, each row padded to 16 bytes for alignment 8.
    const GLubyte texels[32] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 1, 2, 3, 77, 77, 77, 77,
                                9,   9, 9, 8, 8,   8, 1, 2, 3,   4, 5, 6, 77, 77, 77, 77};
    auto upload = [&](GlContext *ctx) {
        GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    };
    auto levelTexels = [&]() {
        std::vector<GLubyte> out(24, 0);
        GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
        GL(glGetTexImage)(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, out.data());
        return out;
    };
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 8);
    upload(ctx);
    const std::vector<GLubyte> immediate = levelTexels();
    ASSERT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    GL(glNewList)(25, GL_COMPILE);
    upload(ctx);
    GL(glTexImage2D)(GL_PROXY_TEXTURE_2D, 0, GL_RGB, 8, 4, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    GLint proxyWidth = 0;
    GL(glGetTexLevelParameteriv)(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    EXPECT_EQ(proxyWidth, 8);
    GL(glEndList)();
    const GLubyte black[24] = {};
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);  // would read the list's texels wrongly if applied again
    GL(glTexImage2D)(GL_TEXTURE_2D, 0, GL_RGB, 4, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, black);
    GL(glCallList)(25);
    EXPECT_EQ(GL(glGetError)(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(levelTexels(), immediate);
}

}  // namespace
