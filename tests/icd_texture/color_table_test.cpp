// Texture colour tables through their extension slots: size limits, proxies, partial loads,
// the stored bytes per base format, copies from the frame buffer and the parameter queries.
#include <climits>
#include <cstring>
#include <functional>
#include <vector>
#include "tests/icd_texture/texture_fixture.h"
#include "icd/pixel/color_table.h"

namespace {

class ColorTables : public TextureTest {
protected:
    const GlColorTable &table(GLenum target = GL_TEXTURE_2D) { return bound(target)->colorTable; }
    GLint param(GLenum target, GLenum pname) {
        GLint v = -1;
        GL(__glDoGetColorTableParameteriv)(target, pname, &v);
        return v;
    }
};

TEST_F(ColorTables, SizesFormatsAndTheirErrors) {
    std::vector<float> floats(4096 * 4, 0.5f);
    struct Case {
        const char *what;
        GLenum target, internalFormat;
        GLsizei width;
        GLenum format, type;
        GLenum error;
    } cases[] = {
        {"256 RGBA floats: 4096 bytes", GL_TEXTURE_2D, GL_RGBA, 256, GL_RGBA, GL_FLOAT, GL_NO_ERROR},
        {"4096 RGBA floats: too large", GL_TEXTURE_2D, GL_RGBA, 4096, GL_RGBA, GL_FLOAT, 0x8031},
        {"a width that wraps 32 bits", GL_TEXTURE_2D, GL_RGBA, 1 << 28, GL_RGBA, GL_FLOAT, 0x8031},
        {"width 3", GL_TEXTURE_2D, GL_RGBA, 3, GL_RGBA, GL_FLOAT, GL_INVALID_VALUE},
        {"negative width", GL_TEXTURE_2D, GL_RGBA, -4, GL_RGBA, GL_FLOAT, GL_INVALID_VALUE},
        {"internal format 4", GL_TEXTURE_2D, 4, 4, GL_RGBA, GL_FLOAT, GL_INVALID_ENUM},
        {"colour-index internal format", GL_TEXTURE_2D, GL_COLOR_INDEX8_EXT, 4, GL_RGBA, GL_FLOAT, GL_INVALID_ENUM},
        {"environment target", GL_TEXTURE_ENV, GL_RGBA, 4, GL_RGBA, GL_FLOAT, GL_INVALID_ENUM},
        {"colour-index data", GL_TEXTURE_2D, GL_RGBA, 4, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, GL_INVALID_ENUM},
        {"packed type", GL_TEXTURE_2D, GL_RGBA, 4, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4_EXT, GL_INVALID_ENUM},
    };
    for (const Case &c : cases) {
        settle();
        const GLsizei before = table().width;
        GL(__glDoColorTable)(c.target, c.internalFormat, c.width, c.format, c.type, floats.data());
        EXPECT_EQ(error(), c.error) << c.what;
        if (c.error != GL_NO_ERROR) {
            EXPECT_EQ(table().width, before) << c.what;
        }
    }
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_WIDTH_EXT), 256);
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_FORMAT_EXT), GL_RGBA);
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_ALPHA_SIZE_EXT), 8);
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_LUMINANCE_SIZE_EXT), 0);
    EXPECT_EQ(table().entries[0], 128);
    // Width 0 empties the table.
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 0, GL_RGBA, GL_FLOAT, nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_WIDTH_EXT), 0);
    EXPECT_EQ(param(GL_TEXTURE_2D, GL_COLOR_TABLE_RED_SIZE_EXT), 0);
    EXPECT_EQ(table().baseFormat, 0u);
    // Inside glBegin/glEnd nothing happens.
    ctx->beginMode = kGlInsideBegin;
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 4, GL_RGBA, GL_FLOAT, floats.data());
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(table().width, 0);
}

TEST_F(ColorTables, ProxiesRecordWhatWouldFitAndAllocateNothing) {
    GL(__glDoColorTable)(GL_PROXY_TEXTURE_1D, GL_LUMINANCE_ALPHA, 64, GL_LUMINANCE_ALPHA, GL_UNSIGNED_SHORT, nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(param(GL_PROXY_TEXTURE_1D, GL_COLOR_TABLE_WIDTH_EXT), 64);
    EXPECT_EQ(param(GL_PROXY_TEXTURE_1D, GL_COLOR_TABLE_LUMINANCE_SIZE_EXT), 8);
    EXPECT_EQ(table(GL_PROXY_TEXTURE_1D).entries, nullptr);
    GL(__glDoColorTable)(GL_PROXY_TEXTURE_1D, GL_RGBA, 8192, GL_RGBA, GL_FLOAT, nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(param(GL_PROXY_TEXTURE_1D, GL_COLOR_TABLE_WIDTH_EXT), 0);
    EXPECT_EQ(liveBlocks(), 0u);
    GLfloat f = -1;
    GL(__glDoGetColorTableParameterfv)(GL_PROXY_TEXTURE_1D, GL_COLOR_TABLE_FORMAT_EXT, &f);
    EXPECT_EQ(f, 0.0f);
    GL(__glDoGetColorTableParameteriv)(GL_TEXTURE_2D, GL_TEXTURE_WIDTH, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(__glDoGetColorTableParameteriv)(GL_TEXTURE_ENV, GL_COLOR_TABLE_WIDTH_EXT, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
}

TEST_F(ColorTables, EntriesAreBytesOfTheBaseFormat) {
    const uint8_t rgba[2 * 4] = {10, 20, 30, 40, 50, 60, 70, 80};
    struct Case {
        GLenum internalFormat;
        std::vector<uint8_t> bytes;
        std::vector<uint8_t> readBack;  // glGetColorTableEXT as RGBA bytes
    } cases[] = {
        {GL_RGBA, {10, 20, 30, 40, 50, 60, 70, 80}, {10, 20, 30, 40, 50, 60, 70, 80}},
        {GL_RGB8, {10, 20, 30, 50, 60, 70}, {10, 20, 30, 255, 50, 60, 70, 255}},
        {GL_ALPHA4, {40, 80}, {0, 0, 0, 40, 0, 0, 0, 80}},
        {GL_LUMINANCE, {10, 50}, {10, 0, 0, 255, 50, 0, 0, 255}},
        {GL_LUMINANCE_ALPHA, {10, 40, 50, 80}, {10, 0, 0, 40, 50, 0, 0, 80}},
        {GL_INTENSITY, {10, 50}, {10, 0, 0, 255, 50, 0, 0, 255}},
    };
    for (const Case &c : cases) {
        // Rows of 8 bytes meet the default unpack alignment.
        GL(__glDoColorTable)(GL_TEXTURE_1D, c.internalFormat, 2, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR)) << std::hex << c.internalFormat;
        const GlColorTable &t = table(GL_TEXTURE_1D);
        EXPECT_EQ(t.type, GLenum(GL_UNSIGNED_BYTE));
        EXPECT_EQ(std::vector<uint8_t>(t.entries, t.entries + c.bytes.size()), c.bytes) << std::hex << c.internalFormat;
        // Read back through the pack path: the groups of the base format, then a guard byte.
        std::vector<uint8_t> back(9, 0xEE);
        GL(__glDoGetColorTable)(GL_TEXTURE_1D, GL_RGBA, GL_UNSIGNED_BYTE, back.data());
        EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
        EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 8), c.readBack) << std::hex << c.internalFormat;
        EXPECT_EQ(back[8], 0xEE);
    }
    GL(__glDoGetColorTable)(GL_TEXTURE_ENV, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(__glDoGetColorTable)(GL_TEXTURE_1D, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
}

TEST_F(ColorTables, SubTablesReplaceExactlyTheirEntries) {
    std::vector<uint8_t> grey(256, 7);
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_LUMINANCE, 256, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey.data());
    const uint8_t white[4] = {255, 255, 255, 255};
    GL(__glDoColorSubTable)(GL_TEXTURE_2D, 250, 4, GL_LUMINANCE, GL_UNSIGNED_BYTE, white);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const GlColorTable &t = table();
    EXPECT_EQ(t.entries[249], 7);
    EXPECT_EQ(t.entries[250], 255);
    EXPECT_EQ(t.entries[253], 255);
    EXPECT_EQ(t.entries[254], 7);
    struct Case {
        GLenum target;
        GLsizei start, count;
        GLenum error;
    } cases[] = {
        {GL_TEXTURE_2D, 250, 10, GL_INVALID_VALUE},  {GL_TEXTURE_2D, 0x7FFFFFF0, 0x20, GL_INVALID_VALUE},
        {GL_TEXTURE_2D, -1, 1, GL_INVALID_VALUE},    {GL_TEXTURE_2D, 0, -1, GL_INVALID_VALUE},
        {GL_PROXY_TEXTURE_2D, 0, 1, GL_INVALID_ENUM}, {GL_TEXTURE_2D, 256, 0, GL_NO_ERROR},
    };
    for (const Case &c : cases) {
        GL(__glDoColorSubTable)(c.target, c.start, c.count, GL_LUMINANCE, GL_UNSIGNED_BYTE, white);
        EXPECT_EQ(error(), c.error) << c.start << "+" << c.count;
    }
    EXPECT_EQ(t.entries[255], 7);
}

TEST_F(ColorTables, AColourIndexTextureIsCompleteOnceItsTableIsLoaded) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    store(GL_TEXTURE_2D, 0, GL_COLOR_INDEX8_EXT, 4, 4);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    tex->consistencyDirty = 1;
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
    const uint8_t entries[4 * 3] = {};
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGB, 4, GL_RGB, GL_UNSIGNED_BYTE, entries);
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 0));
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGB, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));  // an emptied table looks nothing up
}

TEST_F(ColorTables, CopiesReadOneRowOfTheFramebuffer) {
    GL(glClearColor)(0.0f, 0.0f, 1.0f, 1.0f);
    GL(glClear)(GL_COLOR_BUFFER_BIT);
    GL(glFinish)();
    settle();
    GL(__glDoCopyColorTable)(GL_TEXTURE_2D, GL_RGB, 4, 4, 8);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const GlColorTable &t = table();
    ASSERT_EQ(t.width, 8);
    EXPECT_EQ(t.entries[0], 0);
    EXPECT_EQ(t.entries[2], 255);
    EXPECT_EQ(t.entries[7 * 3 + 2], 255);
    GL(__glDoCopyColorTable)(GL_PROXY_TEXTURE_2D, GL_RGB, 0, 0, 8);
    EXPECT_EQ(error(), GLenum(GL_INVALID_ENUM));
    GL(__glDoCopyColorTable)(GL_TEXTURE_2D, GL_RGB, 0, 0, 6);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    ctx->beginMode = kGlInsideBegin;
    GL(__glDoCopyColorTable)(GL_TEXTURE_2D, GL_RGB, 0, 0, 4);
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(t.width, 8);
}

}  // namespace

namespace {

// glColorTableEXT and glColorSubTableEXT inside a display list: nothing happens while the list
// is compiled; calling it loads what the immediate calls load, with the unpack modes of the
// moment of compiling; an argument error is raised when the list runs.
TEST_F(ColorTables, CompiledIntoListsAndReplayed) {
    const uint8_t rgba[16] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130, 140, 150, 160};
    const uint8_t sub[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    GLuint names[2] = {};
    GL(glGenTextures)(2, names);
    // The immediate result, on the first texture.
    GL(glBindTexture)(GL_TEXTURE_2D, names[0]);
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 4, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    GL(__glDoColorSubTable)(GL_TEXTURE_2D, 1, 2, GL_RGBA, GL_UNSIGNED_BYTE, sub);
    const std::vector<uint8_t> expected(table().entries, table().entries + 16);
    // The same calls compiled, on the second texture; the unpack modes change after compiling.
    GL(glBindTexture)(GL_TEXTURE_2D, names[1]);
    const GLuint list = GL(glGenLists)(1);
    GL(glPixelStorei)(GL_UNPACK_ALIGNMENT, 1);
    GL(glNewList)(list, GL_COMPILE);
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 4, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    GL(__glDoColorSubTable)(GL_TEXTURE_2D, 1, 2, GL_RGBA, GL_UNSIGNED_BYTE, sub);
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 3, GL_RGBA, GL_UNSIGNED_BYTE, rgba);  // recorded error
    GL(glEndList)();
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(table().width, 0);
    GL(glPixelStorei)(GL_UNPACK_SKIP_PIXELS, 1);
    GL(glCallList)(list);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    ASSERT_EQ(table().width, 4);
    EXPECT_EQ(std::vector<uint8_t>(table().entries, table().entries + 16), expected);
    GL(glPixelStorei)(GL_UNPACK_SKIP_PIXELS, 0);
    GL(glDeleteLists)(list, 1);
    GL(glDeleteTextures)(2, names);
}

}  // namespace

namespace {

// Loaded entries take the pixel transfer, as texture images do.
TEST_F(ColorTables, EntriesTakeThePixelTransfer) {
    const uint8_t rgba[8] = {200, 100, 50, 255, 10, 20, 30, 40};
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    GL(glPixelTransferf)(GL_ALPHA_BIAS, -1.0f);
    GL(__glDoColorTable)(GL_TEXTURE_2D, GL_RGBA, 2, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    GL(glPixelTransferf)(GL_RED_SCALE, 1.0f);
    GL(glPixelTransferf)(GL_ALPHA_BIAS, 0.0f);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    const std::vector<uint8_t> expected = {100, 100, 50, 0, 5, 20, 30, 0};
    EXPECT_EQ(std::vector<uint8_t>(table().entries, table().entries + 8), expected);
}

}  // namespace
