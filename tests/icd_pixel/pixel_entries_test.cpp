// The pixel state entries through the live table: what they store, what they refuse, and what
// the queries answer; and the argument checks of the pixel-rectangle entries.
#include <cmath>
#include "tests/icd_pixel/pixel_fixture.h"

namespace {

GLint getInt(GlContext *ctx, GLenum pname) {
    GLint v = -12345;
    GL(glGetIntegerv)(pname, &v);
    return v;
}
GLfloat getFloat(GlContext *ctx, GLenum pname) {
    GLfloat v = -12345.0f;
    GL(glGetFloatv)(pname, &v);
    return v;
}

}  // namespace

TEST_F(PixelTest, Defaults) {
    const GLenum zeroNames[] = {GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST, GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS,
                                GL_UNPACK_SKIP_PIXELS, GL_PACK_SWAP_BYTES,  GL_PACK_LSB_FIRST,    GL_PACK_ROW_LENGTH,
                                GL_PACK_SKIP_ROWS,     GL_PACK_SKIP_PIXELS, GL_MAP_COLOR,         GL_MAP_STENCIL,
                                GL_INDEX_SHIFT,        GL_INDEX_OFFSET,     GL_RED_BIAS,          GL_DEPTH_BIAS};
    for (GLenum name : zeroNames) EXPECT_EQ(getInt(ctx, name), 0) << std::hex << name;
    EXPECT_EQ(getInt(ctx, GL_UNPACK_ALIGNMENT), 4);
    EXPECT_EQ(getInt(ctx, GL_PACK_ALIGNMENT), 4);
    for (GLenum name : {GL_RED_SCALE, GL_GREEN_SCALE, GL_BLUE_SCALE, GL_ALPHA_SCALE, GL_DEPTH_SCALE, GL_ZOOM_X,
                        GL_ZOOM_Y})
        EXPECT_EQ(getFloat(ctx, name), 1.0f) << std::hex << name;
    for (GLenum m = GL_PIXEL_MAP_I_TO_I; m <= GL_PIXEL_MAP_A_TO_A; ++m) {
        EXPECT_EQ(getInt(ctx, GL_PIXEL_MAP_I_TO_I_SIZE + (m - GL_PIXEL_MAP_I_TO_I)), 1);
        GLfloat v[2] = {-1.0f, -1.0f};
        GL(glGetPixelMapfv)(m, v);
        EXPECT_EQ(v[0], 0.0f);
        EXPECT_EQ(v[1], -1.0f);
    }
    EXPECT_EQ(getInt(ctx, GL_READ_BUFFER), GL_BACK);
    EXPECT_EQ(ctx->state.pixel.readBufferRequested, GLenum(GL_BACK));
    EXPECT_NE(ctx->state.pixel.tables.ubyteRed, nullptr);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
}

namespace {

struct StoreCase {
    const char *what;
    bool isFloat;
    GLenum pname;
    float param;
    GLenum error;
    GLint stored;  // when no error
};

const StoreCase kStores[] = {
    {"row length rounds", true, GL_UNPACK_ROW_LENGTH, 2.5f, GL_NO_ERROR, 3},
    {"negative row length", true, GL_UNPACK_ROW_LENGTH, -2.5f, GL_INVALID_VALUE, 0},
    {"swap takes non-zero", true, GL_UNPACK_SWAP_BYTES, 0.5f, GL_NO_ERROR, 1},
    {"lsb first", false, GL_PACK_LSB_FIRST, 7, GL_NO_ERROR, 1},
    {"alignment 3", false, GL_PACK_ALIGNMENT, 3, GL_INVALID_VALUE, 0},
    {"alignment 8", false, GL_PACK_ALIGNMENT, 8, GL_NO_ERROR, 8},
    {"alignment as float", true, GL_UNPACK_ALIGNMENT, 1.6f, GL_NO_ERROR, 2},
    {"skip rows", false, GL_PACK_SKIP_ROWS, 9, GL_NO_ERROR, 9},
    {"negative skip pixels", false, GL_UNPACK_SKIP_PIXELS, -1, GL_INVALID_VALUE, 0},
    {"skip pixels", true, GL_UNPACK_SKIP_PIXELS, 4.4f, GL_NO_ERROR, 4},
    {"unknown name", false, GL_PACK_ALIGNMENT + 1, 1, GL_INVALID_ENUM, 0},
    {"unknown name as float", true, GL_ZOOM_X, 1.0f, GL_INVALID_ENUM, 0},
};

}  // namespace

TEST_F(PixelTest, PixelStore) {
    for (const StoreCase &c : kStores) {
        SCOPED_TRACE(c.what);
        settle();
        const GlPixelStoreState before = ctx->state.pixel.store;
        if (c.isFloat) GL(glPixelStoref)(c.pname, c.param);
        else GL(glPixelStorei)(c.pname, GLint(c.param));
        EXPECT_EQ(ctx->error, c.error);
        if (c.error != GL_NO_ERROR) {
            EXPECT_EQ(std::memcmp(&before, &ctx->state.pixel.store, sizeof(before)), 0);
            EXPECT_EQ(ctx->dirtyMask, 0u);
            EXPECT_EQ(ctx->beginMode, kGlOutsideBegin);
            continue;
        }
        EXPECT_EQ(getInt(ctx, c.pname), c.stored);
        EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        EXPECT_EQ(ctx->dirtyMask & kGlDirtyPixel, kGlDirtyPixel);
    }
    // Each name reaches its own field.
    GLint value = 11;
    for (GLenum base : {GLenum(GL_PACK_SWAP_BYTES), GLenum(GL_UNPACK_SWAP_BYTES)})
        for (GLenum name = base + 2; name <= base + 4; ++name) GL(glPixelStorei)(name, value++);
    const GlPixelStoreState &s = ctx->state.pixel.store;
    EXPECT_EQ(s.pack.rowLength, 11);
    EXPECT_EQ(s.pack.skipRows, 12);
    EXPECT_EQ(s.pack.skipPixels, 13);
    EXPECT_EQ(s.unpack.rowLength, 14);
    EXPECT_EQ(s.unpack.skipRows, 15);
    EXPECT_EQ(s.unpack.skipPixels, 16);
}

TEST_F(PixelTest, EntriesRefuseInsideBeginEnd) {
    ctx->beginMode = kGlInsideBegin;
    GL(glPixelStorei)(GL_PACK_ALIGNMENT, 1);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->error = GL_NO_ERROR;
    GL(glPixelTransferf)(GL_RED_SCALE, 2.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->error = GL_NO_ERROR;
    const GLfloat one = 1.0f;
    GL(glPixelMapfv)(GL_PIXEL_MAP_R_TO_R, 1, &one);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->error = GL_NO_ERROR;
    GL(glPixelZoom)(2.0f, 2.0f);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->error = GL_NO_ERROR;
    GL(glReadBuffer)(GL_FRONT);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    ctx->beginMode = kGlOutsideBegin;
    EXPECT_EQ(ctx->state.pixel.store.pack.alignment, 4);
    EXPECT_EQ(ctx->state.pixel.transfer.redScale, 1.0f);
    EXPECT_EQ(ctx->state.pixel.maps.maps[kGlMapRToR].table.f[0], 0.0f);
    EXPECT_EQ(ctx->state.pixel.transfer.zoomX, 1.0f);
    EXPECT_EQ(ctx->state.pixel.readBuffer, GLenum(GL_BACK));
}

TEST_F(PixelTest, PixelTransfer) {
    GL(glPixelTransferi)(GL_INDEX_SHIFT, -3);
    EXPECT_EQ(getInt(ctx, GL_INDEX_SHIFT), -3);
    GL(glPixelTransferf)(GL_INDEX_OFFSET, -2.5f);
    EXPECT_EQ(getInt(ctx, GL_INDEX_OFFSET), -3);
    GL(glPixelTransferf)(GL_MAP_COLOR, -0.0f);
    EXPECT_EQ(getInt(ctx, GL_MAP_COLOR), 0);
    GL(glPixelTransferf)(GL_MAP_STENCIL, -0.5f);
    EXPECT_EQ(getInt(ctx, GL_MAP_STENCIL), 1);
    const GLenum floats[] = {GL_RED_SCALE,  GL_RED_BIAS,   GL_GREEN_SCALE, GL_GREEN_BIAS, GL_BLUE_SCALE,
                             GL_BLUE_BIAS,  GL_ALPHA_SCALE, GL_ALPHA_BIAS, GL_DEPTH_SCALE, GL_DEPTH_BIAS};
    float value = 0.125f;
    for (GLenum name : floats) GL(glPixelTransferf)(name, value += 1.0f);
    value = 0.125f;
    for (GLenum name : floats) EXPECT_EQ(getFloat(ctx, name), value += 1.0f) << std::hex << name;
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    // The zoom names sit inside the range but are not transfer names.
    for (GLenum name : {GLenum(GL_ZOOM_X), GLenum(GL_ZOOM_Y), GLenum(0x0D0F), GLenum(0x0D20)}) {
        settle();
        GL(glPixelTransferi)(name, 2);
        EXPECT_EQ(ctx->error, GLenum(GL_INVALID_ENUM)) << std::hex << name;
        EXPECT_EQ(ctx->dirtyMask, 0u);
    }
    EXPECT_EQ(getFloat(ctx, GL_ZOOM_X), 1.0f);
    // A change marks the byte tables stale and the state for validation.
    settle();
    ctx->state.pixel.tables.rgbaValid = 1;
    GL(glPixelTransferf)(GL_RED_SCALE, 0.5f);
    EXPECT_EQ(ctx->state.pixel.tables.rgbaValid, 0);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_EQ(ctx->dirtyMask & kGlDirtyPixel, kGlDirtyPixel);
}

TEST_F(PixelTest, PixelZoomKeepsTheWindowGrid) {
    GL(glPixelZoom)(1.0f, -1.0f);
    EXPECT_EQ(getFloat(ctx, GL_ZOOM_X), 1.0f);
    EXPECT_EQ(getFloat(ctx, GL_ZOOM_Y), -1.0f);
    const float p = ctx->roundingEpsilon;
    ASSERT_GT(p, 0.0f);
    GL(glPixelZoom)(0.3f, -2.5f);
    const float x = getFloat(ctx, GL_ZOOM_X);
    EXPECT_EQ(x, p * std::round(0.3f / p));
    EXPECT_EQ(std::fmod(x, p), 0.0f);
    EXPECT_EQ(getFloat(ctx, GL_ZOOM_Y), -2.5f);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
}

TEST_F(PixelTest, PixelMapSizesAndConversions) {
    struct Case {
        const char *what;
        GLenum map;
        GLint size;
        GLenum error;
    };
    const Case sizes[] = {
        {"index map needs a power of two", GL_PIXEL_MAP_I_TO_R, 3, GL_INVALID_VALUE},
        {"index map needs a size", GL_PIXEL_MAP_I_TO_I, 0, GL_INVALID_VALUE},
        {"colour map of 3", GL_PIXEL_MAP_R_TO_R, 3, GL_NO_ERROR},
        {"negative size", GL_PIXEL_MAP_G_TO_G, -1, GL_INVALID_VALUE},
        {"beyond the table limit", GL_PIXEL_MAP_B_TO_B, 65537, GL_INVALID_VALUE},
        {"huge power of two", GL_PIXEL_MAP_S_TO_S, 1 << 30, GL_INVALID_VALUE},
        {"unknown map", GL_PIXEL_MAP_A_TO_A + 1, 1, GL_INVALID_ENUM},
    };
    const GLfloat values[4] = {1.5f, -0.25f, 0.5f, 2.5f};
    for (const Case &c : sizes) {
        SCOPED_TRACE(c.what);
        settle();
        GL(glPixelMapfv)(c.map, c.size, values);
        EXPECT_EQ(ctx->error, c.error);
    }
    settle();
    // Colour maps clamp to [0, 1]; index maps round half away from zero.
    GLfloat got[4] = {};
    EXPECT_EQ(getInt(ctx, GL_PIXEL_MAP_R_TO_R_SIZE), 3);
    GL(glGetPixelMapfv)(GL_PIXEL_MAP_R_TO_R, got);
    EXPECT_EQ(got[0], 1.0f);
    EXPECT_EQ(got[1], 0.0f);
    EXPECT_EQ(got[2], 0.5f);
    const GLfloat indices[2] = {2.5f, -2.5f};
    GL(glPixelMapfv)(GL_PIXEL_MAP_I_TO_I, 2, indices);
    GLuint ui[2] = {};
    GL(glGetPixelMapuiv)(GL_PIXEL_MAP_I_TO_I, ui);
    EXPECT_EQ(GLint(ui[0]), 3);
    EXPECT_EQ(GLint(ui[1]), -3);
    // The integer forms are normalised for colour maps and copied for index maps.
    const GLushort us[2] = {65535, 0};
    GL(glPixelMapusv)(GL_PIXEL_MAP_A_TO_A, 2, us);
    GL(glGetPixelMapfv)(GL_PIXEL_MAP_A_TO_A, got);
    EXPECT_EQ(got[0], 1.0f);
    EXPECT_EQ(got[1], 0.0f);
    const GLuint uiv[2] = {0xFFFFFFFFu, 0x80000000u};
    GL(glPixelMapuiv)(GL_PIXEL_MAP_G_TO_G, 2, uiv);
    GL(glGetPixelMapfv)(GL_PIXEL_MAP_G_TO_G, got);
    EXPECT_EQ(got[0], 1.0f);  // kept inside [0, 1]
    EXPECT_NEAR(got[1], 0.5f, 1e-6f);
    GLushort back[2] = {};
    GL(glGetPixelMapusv)(GL_PIXEL_MAP_G_TO_G, back);
    EXPECT_EQ(back[0], 65535);
    EXPECT_EQ(back[1], 32768);
    GL(glPixelMapusv)(GL_PIXEL_MAP_S_TO_S, 1, us);
    GL(glGetPixelMapuiv)(GL_PIXEL_MAP_S_TO_S, ui);
    EXPECT_EQ(ui[0], 65535u);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    // A colour map of size 0 gets its one-entry default back.
    GL(glPixelMapfv)(GL_PIXEL_MAP_R_TO_R, 0, values);
    EXPECT_EQ(ctx->error, GLenum(GL_NO_ERROR));
    EXPECT_EQ(getInt(ctx, GL_PIXEL_MAP_R_TO_R_SIZE), 1);
    GL(glGetPixelMapfv)(GL_PIXEL_MAP_R_TO_R, got);
    EXPECT_EQ(got[0], 0.0f);
}

// A new map makes the byte tables built from the old one stale at once and asks for validation,
// so the byte path cannot keep drawing with the old map.
TEST_F(PixelTest, PixelMapInvalidatesTheByteTables) {
    GlPixelTables &t = ctx->state.pixel.tables;
    t.rgbaValid = t.indexValid = t.indexToRGBAValid = 1;
    const GLfloat half = 0.5f;
    GL(glPixelMapfv)(GL_PIXEL_MAP_R_TO_R, 1, &half);
    EXPECT_EQ(t.rgbaValid, 0);
    EXPECT_EQ(t.indexValid, 0);
    EXPECT_EQ(t.indexToRGBAValid, 0);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_EQ(ctx->dirtyMask & kGlDirtyPixel, kGlDirtyPixel);
}

// A table that cannot be allocated: GL_OUT_OF_MEMORY, and the map keeps its old table and size,
// so no transfer reads a missing table.
TEST_F(PixelTest, PixelMapAllocationFailureKeepsTheOldMap) {
    const GLfloat four[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    GL(glPixelMapfv)(GL_PIXEL_MAP_B_TO_B, 4, four);
    const GlPixelMap before = ctx->state.pixel.maps.maps[kGlMapBToB];
    kivFailGlobalAllocAfter(1);
    GL(glPixelMapfv)(GL_PIXEL_MAP_B_TO_B, 2, four);
    EXPECT_EQ(ctx->error, GLenum(GL_OUT_OF_MEMORY));
    ctx->error = GL_NO_ERROR;
    kivFailGlobalAllocAfter(1);
    GL(glPixelMapfv)(GL_PIXEL_MAP_B_TO_B, 0, four);  // the default needs a table too
    kivFailGlobalAllocAfter(0);
    EXPECT_EQ(ctx->error, GLenum(GL_OUT_OF_MEMORY));
    const GlPixelMap &after = ctx->state.pixel.maps.maps[kGlMapBToB];
    EXPECT_EQ(after.size, 4);
    EXPECT_EQ(after.table.p, before.table.p);
    EXPECT_EQ(after.table.f[3], 0.4f);
}

TEST_F(PixelTest, ReadBufferDoubleBuffered) {
    struct Case {
        GLenum mode, error, resolved;
    };
    const Case cases[] = {
        {GL_FRONT_LEFT, GL_NO_ERROR, GL_FRONT}, {GL_LEFT, GL_NO_ERROR, GL_FRONT},
        {GL_BACK_LEFT, GL_NO_ERROR, GL_BACK},   {GL_FRONT, GL_NO_ERROR, GL_FRONT},
        {GL_BACK, GL_NO_ERROR, GL_BACK},        {GL_FRONT_RIGHT, GL_INVALID_OPERATION, 0},
        {GL_RIGHT, GL_INVALID_OPERATION, 0},    {GL_AUX0, GL_INVALID_OPERATION, 0},
        {GL_FRONT_AND_BACK, GL_INVALID_ENUM, 0}, {GL_NONE, GL_INVALID_ENUM, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.mode);
        settle();
        ctx->state.pixel.readBuffer = ctx->state.pixel.readBufferRequested = 0x1234;
        GL(glReadBuffer)(c.mode);
        EXPECT_EQ(ctx->error, c.error);
        if (c.error == GL_NO_ERROR) {
            EXPECT_EQ(ctx->state.pixel.readBuffer, c.resolved);
            EXPECT_EQ(ctx->state.pixel.readBufferRequested, c.mode);
            EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
        } else {
            EXPECT_EQ(ctx->state.pixel.readBuffer, 0x1234u);
            EXPECT_EQ(ctx->state.pixel.readBufferRequested, 0x1234u);
        }
    }
}

TEST_F(PixelTest, ReadBufferSingleBuffered) {
    closeContext();
    open(kSingleFormat);
    ASSERT_FALSE(HasFatalFailure());
    settle();
    EXPECT_EQ(ctx->state.pixel.readBuffer, GLenum(GL_FRONT));
    GL(glReadBuffer)(GL_BACK);
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(ctx->state.pixel.readBuffer, GLenum(GL_FRONT));
}

namespace {

enum Which { Draw, Read };

struct ArgCase {
    Which which;
    GLsizei width;
    GLenum format, type;
    bool indexMode, stencil, depth;
    GLenum error;
};

const ArgCase kArgs[] = {
    {Draw, 2, GL_RGBA, GL_UNSIGNED_BYTE, false, false, false, GL_NO_ERROR},
    {Draw, -1, GL_RGBA, 0x9999, false, false, false, GL_INVALID_VALUE},  // sizes come first
    {Draw, 2, GL_RGBA, GL_BITMAP, false, false, false, GL_INVALID_ENUM},
    {Read, 2, GL_RGBA, GL_BITMAP, false, false, true, GL_INVALID_OPERATION},
    {Draw, 2, GL_COLOR_INDEX, GL_BITMAP, false, false, false, GL_NO_ERROR},
    {Draw, 2, GL_COLOR_INDEX, GL_FLOAT, true, false, false, GL_NO_ERROR},
    {Read, 2, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, false, false, false, GL_INVALID_OPERATION},
    {Read, 2, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, true, false, false, GL_NO_ERROR},
    {Draw, 2, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, false, false, false, GL_INVALID_OPERATION},
    {Draw, 2, GL_STENCIL_INDEX, GL_BITMAP, false, true, false, GL_NO_ERROR},
    {Read, 2, GL_STENCIL_INDEX, GL_INT, false, false, true, GL_INVALID_OPERATION},
    {Draw, 2, GL_DEPTH_COMPONENT, GL_FLOAT, false, false, false, GL_NO_ERROR},
    {Read, 2, GL_DEPTH_COMPONENT, GL_FLOAT, false, false, false, GL_INVALID_OPERATION},
    {Read, 2, GL_DEPTH_COMPONENT, GL_FLOAT, false, false, true, GL_NO_ERROR},
    {Draw, 2, GL_LUMINANCE, GL_SHORT, true, false, false, GL_INVALID_OPERATION},
    {Read, 2, GL_LUMINANCE, GL_SHORT, true, false, false, GL_NO_ERROR},
    {Draw, 2, kGlFormatBGR, kGlUnsignedByte332, false, false, false, GL_NO_ERROR},
    {Draw, 2, GL_RGBA, kGlUnsignedByte332, false, false, false, GL_INVALID_OPERATION},
    {Read, 2, kGlFormatABGR, kGlUnsignedInt1010102, false, false, false, GL_NO_ERROR},
    {Read, 2, GL_RGB, kGlUnsignedShort4444, false, false, false, GL_INVALID_OPERATION},
    {Draw, 2, GL_RGB, kGlUnsignedShort5551, false, false, false, GL_INVALID_OPERATION},
    {Draw, 2, GL_RGB, 0x1407, false, false, false, GL_INVALID_ENUM},
    {Draw, 2, GL_COLOR, GL_FLOAT, false, false, false, GL_INVALID_ENUM},
    {Read, 2, 0x190B, GL_FLOAT, false, false, false, GL_INVALID_ENUM},
};

}  // namespace

TEST_F(PixelTest, DrawAndReadArgumentChecks) {
    const GlVisual saved = ctx->visual;
    for (const ArgCase &c : kArgs) {
        SCOPED_TRACE(testing::Message() << (c.which == Draw ? "draw" : "read") << " format 0x" << std::hex << c.format
                                        << " type 0x" << c.type);
        ctx->visual.colorIndexMode = c.indexMode;
        ctx->visual.rgbaMode = !c.indexMode;
        ctx->visual.stencilBits = c.stencil ? 8 : 0;
        ctx->visual.depthBits = c.depth ? 16 : 0;
        ctx->error = GL_NO_ERROR;
        const bool ok = c.which == Draw ? __glCheckDrawPixelArgs(ctx, c.width, 1, c.format, c.type)
                                        : __glCheckReadPixelArgs(ctx, c.width, 1, c.format, c.type);
        EXPECT_EQ(ok, c.error == GL_NO_ERROR);
        EXPECT_EQ(ctx->error, c.error);
    }
    ctx->visual = saved;
}

TEST_F(PixelTest, CopyArgumentChecks) {
    struct Case {
        GLenum type;
        bool indexMode, stencil, depth;
        GLenum error, format;
    };
    const Case cases[] = {
        {GL_COLOR, false, false, false, GL_NO_ERROR, GL_RGBA},
        {GL_COLOR, true, false, false, GL_NO_ERROR, GL_COLOR_INDEX},
        {GL_DEPTH, false, false, true, GL_NO_ERROR, GL_DEPTH_COMPONENT},
        {GL_DEPTH, false, true, false, GL_INVALID_OPERATION, 0},
        {GL_STENCIL, false, true, false, GL_NO_ERROR, GL_STENCIL_INDEX},
        {GL_STENCIL, false, false, true, GL_INVALID_OPERATION, 0},
        {GL_RGBA, false, true, true, GL_INVALID_ENUM, 0},
    };
    const GlVisual saved = ctx->visual;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.type);
        ctx->visual.colorIndexMode = c.indexMode;
        ctx->visual.rgbaMode = !c.indexMode;
        ctx->visual.stencilBits = c.stencil ? 8 : 0;
        ctx->visual.depthBits = c.depth ? 16 : 0;
        ctx->error = GL_NO_ERROR;
        GLenum format = 0;
        EXPECT_EQ(__glCheckCopyPixelArgs(ctx, 1, 1, c.type, &format), c.error == GL_NO_ERROR);
        EXPECT_EQ(ctx->error, c.error);
        EXPECT_EQ(format, c.format);
    }
    ctx->error = GL_NO_ERROR;
    EXPECT_FALSE(__glCheckCopyPixelArgs(ctx, 1, -1, GL_COLOR, nullptr));
    EXPECT_EQ(ctx->error, GLenum(GL_INVALID_VALUE));
    ctx->visual = saved;
}
