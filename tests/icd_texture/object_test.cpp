// Texture objects: the layout choosers, naming and binding with their reference counts, sharing
// between contexts, priorities, residency, level stores and completeness.
#include <functional>
#include "tests/icd_texture/texture_fixture.h"

namespace {

constexpr GLenum kRgb2 = 0x804E;

TEST(TexelFormat, RowsDescribeTheirLayouts) {
    for (int id = 0; id < kGlTexelFormatCount; ++id) {
        const GlTexelFormat *row = __glTexelFormat(id);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->id, id);
        EXPECT_NE(row->fetch, nullptr);
        EXPECT_NE(row->fetchBorder, nullptr);
        EXPECT_NE(row->fetch, row->fetchBorder);
        const int bits = row->redBits + row->greenBits + row->blueBits + row->alphaBits + row->luminanceBits +
                         row->intensityBits;
        EXPECT_LE(bits, row->bitsPerTexel) << id;
        EXPECT_EQ(row->alignment, row->bitsPerTexel == 8 || id == 9 || row->bitsPerTexel == 24 || id == 6 || id == 1 ? 1 : 2) << id;
    }
    EXPECT_EQ(__glTexelFormat(16), nullptr);
    EXPECT_EQ(__glTexelFormat(-1), nullptr);
}

TEST(TexelFormat, ChoosersMapEachInternalFormat) {
    struct Case {
        GLenum internalFormat;
        GLenum base;
        int software, device;  // -1: refused
    } cases[] = {
        {1, GL_LUMINANCE, 0, 4},
        {GL_LUMINANCE8, GL_LUMINANCE, 0, 4},
        {GL_LUMINANCE16, GL_LUMINANCE, 0, 4},
        {2, GL_LUMINANCE_ALPHA, 1, 8},
        {GL_LUMINANCE4_ALPHA4, GL_LUMINANCE_ALPHA, 1, 8},
        {GL_LUMINANCE6_ALPHA2, GL_LUMINANCE_ALPHA, 1, 10},
        {GL_LUMINANCE8_ALPHA8, GL_LUMINANCE_ALPHA, 1, 8},
        {GL_LUMINANCE12_ALPHA4, GL_LUMINANCE_ALPHA, 1, 10},
        {GL_LUMINANCE16_ALPHA16, GL_LUMINANCE_ALPHA, 1, 8},
        {3, GL_RGB, 2, 4},
        {GL_R3_G3_B2, GL_RGB, 2, 4},
        {GL_RGB5, GL_RGB, 2, 4},
        {GL_RGB16, GL_RGB, 2, 4},
        {4, GL_RGBA, 6, 8},
        {GL_RGBA2, GL_RGBA, 6, 8},
        {GL_RGB5_A1, GL_RGBA, 6, 10},
        {GL_RGBA8, GL_RGBA, 6, 8},
        {GL_RGB10_A2, GL_RGBA, 6, 10},
        {GL_RGBA16, GL_RGBA, 6, 8},
        {GL_ALPHA, GL_ALPHA, 11, 15},
        {GL_ALPHA12, GL_ALPHA, 11, 15},
        {GL_INTENSITY, GL_INTENSITY, 12, 8},
        {GL_INTENSITY16, GL_INTENSITY, 12, 8},
        {GL_COLOR_INDEX1_EXT, GL_COLOR_INDEX, 13, 13},
        {GL_COLOR_INDEX8_EXT, GL_COLOR_INDEX, 13, 13},
        {GL_COLOR_INDEX12_EXT, GL_COLOR_INDEX, 14, 14},
        {GL_COLOR_INDEX16_EXT, GL_COLOR_INDEX, 14, 14},
        {kRgb2, 0, -1, -1},
        {0, 0, -1, -1},
        {5, 0, -1, -1},
        {GL_RGBA16 + 1, 0, -1, -1},
        {GL_COLOR_INDEX, 0, -1, -1},
    };
    for (const Case &c : cases) {
        GLenum base = 0xDEAD;
        const GlTexelFormat *row = __glChooseTexelFormat(c.internalFormat, &base);
        EXPECT_EQ(row != nullptr ? row->id : -1, c.software) << std::hex << c.internalFormat;
        if (row != nullptr) {
            EXPECT_EQ(base, c.base) << std::hex << c.internalFormat;
        }
        base = 0xDEAD;
        row = __glChooseDeviceTexelFormat(c.internalFormat, &base);
        EXPECT_EQ(row != nullptr ? row->id : -1, c.device) << std::hex << c.internalFormat;
        if (row != nullptr) {
            EXPECT_EQ(base, c.base) << std::hex << c.internalFormat;
        }
        EXPECT_EQ(__glChooseDeviceTexelFormat(nullptr, c.internalFormat), c.device);
        EXPECT_EQ(__glDeviceHooks->chooseTextureFormat(nullptr, c.internalFormat), c.device);
    }
}

using TextureObjects = TextureTest;

TEST_F(TextureObjects, NamesAreGeneratedAscendingAndBecomeTexturesWhenBound) {
    GLuint names[3] = {0, 0, 0};
    GL(glGenTextures)(3, names);
    EXPECT_EQ(names[0], 1u);
    EXPECT_EQ(names[1], 2u);
    EXPECT_EQ(names[2], 3u);
    GLuint more[2];
    GL(glGenTextures)(2, more);  // generated names stay reserved
    EXPECT_EQ(more[0], 4u);
    EXPECT_EQ(more[1], 5u);
    EXPECT_FALSE(GL(glIsTexture)(2));  // reserved, not yet an object
    GL(glBindTexture)(GL_TEXTURE_2D, 2);
    EXPECT_TRUE(GL(glIsTexture)(2));
    EXPECT_FALSE(GL(glIsTexture)(0));
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D), 2);
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_1D), 0);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & kGlDirtyTexture);
    const GLuint all[5] = {1, 2, 3, 4, 5};
    GL(glDeleteTextures)(5, all);
    EXPECT_FALSE(GL(glIsTexture)(2));
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D), 0);
    GL(glGenTextures)(2, names);
    EXPECT_EQ(names[0], 1u);  // freed names are given again
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GL(glBindTexture)(GL_TEXTURE_1D, 7);  // a name never generated works as well
    EXPECT_TRUE(GL(glIsTexture)(7));
}

TEST_F(TextureObjects, ErrorsChangeNothing) {
    GLuint name = 99;
    GLboolean resident[2] = {7, 7};
    const GLuint names[2] = {1, 2};
    const GLclampf priorities[2] = {0.5f, 0.5f};
    struct Case {
        const char *what;
        std::function<void()> call;
        GLenum error;
    } cases[] = {
        {"gen negative", [&] { GL(glGenTextures)(-1, &name); }, GL_INVALID_VALUE},
        {"delete negative", [&] { GL(glDeleteTextures)(-1, &name); }, GL_INVALID_VALUE},
        {"prioritize negative", [&] { GL(glPrioritizeTextures)(-1, names, priorities); }, GL_INVALID_VALUE},
        {"resident negative", [&] { EXPECT_FALSE(GL(glAreTexturesResident)(-1, names, resident)); }, GL_INVALID_VALUE},
        {"resident unknown", [&] { EXPECT_FALSE(GL(glAreTexturesResident)(1, names, resident)); }, GL_INVALID_VALUE},
        {"bind proxy target", [&] { GL(glBindTexture)(GL_PROXY_TEXTURE_2D, 1); }, GL_INVALID_ENUM},
        {"bind 3-D target", [&] { GL(glBindTexture)(GL_TEXTURE_2D + 1, 1); }, GL_INVALID_ENUM},
    };
    for (const Case &c : cases) {
        settle();
        c.call();
        EXPECT_EQ(error(), c.error) << c.what;
        EXPECT_EQ(name, 99u) << c.what;
        EXPECT_EQ(resident[1], 7) << c.what;
        EXPECT_FALSE(GL(glIsTexture)(1)) << c.what;
    }
    // Inside glBegin/glEnd every entry refuses.
    const std::function<void()> inside[] = {
        [&] { GL(glGenTextures)(1, &name); },
        [&] { GL(glDeleteTextures)(1, names); },
        [&] { GL(glBindTexture)(GL_TEXTURE_2D, 1); },
        [&] { GL(glPrioritizeTextures)(1, names, priorities); },
        [&] { EXPECT_FALSE(GL(glAreTexturesResident)(1, names, resident)); },
        [&] { EXPECT_FALSE(GL(glIsTexture)(1)); },
    };
    for (const auto &call : inside) {
        settle();
        ctx->beginMode = kGlInsideBegin;
        call();
        ctx->beginMode = kGlOutsideBegin;
        EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
        EXPECT_EQ(name, 99u);
        EXPECT_FALSE(GL(glIsTexture)(1));
    }
}

TEST_F(TextureObjects, ANameKeepsItsKind) {
    GL(glBindTexture)(GL_TEXTURE_1D, 5);
    GlTextureObject *one = bound(GL_TEXTURE_1D);
    EXPECT_EQ(one->dimensions, 1);
    GL(glBindTexture)(GL_TEXTURE_2D, 5);
    EXPECT_EQ(error(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(bound(GL_TEXTURE_1D), one);
    EXPECT_EQ(getInt(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(one->refCount, 2);  // the look-up's reference went back
}

TEST_F(TextureObjects, ReferenceCountsFollowTablesAndBindingsWithoutLeaks) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    EXPECT_EQ(tex->refCount, 2);  // table + unit 0
    GL(glBindTexture)(GL_TEXTURE_2D, 1);  // binding again changes nothing
    EXPECT_EQ(tex->refCount, 2);
    ctx->state.unitSelect.activeTexture = 1;
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    EXPECT_EQ(tex->refCount, 3);
    GL(glBindTexture)(GL_TEXTURE_2D, 0);
    EXPECT_EQ(tex->refCount, 2);
    ctx->state.unitSelect.activeTexture = 0;
    EXPECT_EQ(bound(GL_TEXTURE_2D, 1), ctx->state.textures.defaults[1]);
    EXPECT_EQ(ctx->state.textures.defaults[1]->refCount, 2);  // one per unit, never counted up
    store(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4);
    EXPECT_GT(liveBlocks(), 0u);
    const GLuint names[1] = {1};
    GL(glDeleteTextures)(1, names);
    EXPECT_EQ(bound(GL_TEXTURE_2D), ctx->state.textures.defaults[1]);
    EXPECT_EQ(liveBlocks(), 0u);  // object, level records, level pointers and image
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureObjects, DeletingATextureBoundOnUnitOneLeavesTheDefaultThere) {
    ctx->state.unitSelect.activeTexture = 1;
    GL(glBindTexture)(GL_TEXTURE_1D, 3);
    ctx->state.unitSelect.activeTexture = 0;
    GL(glBindTexture)(GL_TEXTURE_1D, 4);
    settle();
    const GLuint names[3] = {3, 0, 4};
    GL(glDeleteTextures)(3, names);
    EXPECT_EQ(bound(GL_TEXTURE_1D, 1), ctx->state.textures.defaults[0]);
    EXPECT_EQ(bound(GL_TEXTURE_1D, 0), ctx->state.textures.defaults[0]);
    EXPECT_EQ(ctx->state.textures.cache[1][0].name, 0u);
    EXPECT_EQ(ctx->beginMode, kGlNeedValidate);
    EXPECT_TRUE(ctx->dirtyMask & kGlDirtyGeneral);
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(TextureObjects, PrioritiesAreClampedAndSurviveEveryUnitsRebind) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    ctx->state.unitSelect.activeTexture = 1;
    GL(glBindTexture)(GL_TEXTURE_2D, 2);
    GLfloat p = -1;
    GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &p);
    EXPECT_EQ(p, 1.0f);
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    const GLuint names[3] = {1, 2, 77};
    const GLclampf priorities[3] = {0.25f, 7.0f, 0.5f};
    GL(glPrioritizeTextures)(3, names, priorities);  // an unknown name is skipped
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &p);
    EXPECT_EQ(p, 0.25f);
    GL(glBindTexture)(GL_TEXTURE_2D, 0);  // unit 1 lets go of texture 1
    GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &p);
    EXPECT_EQ(p, 1.0f);  // the default, untouched
    ctx->state.unitSelect.activeTexture = 0;
    GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &p);
    EXPECT_EQ(p, 0.25f);
    GL(glBindTexture)(GL_TEXTURE_2D, 2);
    GL(glGetTexParameterfv)(GL_TEXTURE_2D, GL_TEXTURE_PRIORITY, &p);
    EXPECT_EQ(p, 1.0f);
}

TEST_F(TextureObjects, ResidencyWalksTheNamesAndStopsAtTheFirstUnknown) {
    GL(glBindTexture)(GL_TEXTURE_2D, 3);
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    store(GL_TEXTURE_2D, 0, GL_RGB, 4, 4);
    GL(glBindTexture)(GL_TEXTURE_2D, 4);  // mipmapped, nothing loaded
    settle();
    GLboolean r[3] = {9, 9, 9};
    const GLuint stop[3] = {3, 0, 4};
    EXPECT_FALSE(GL(glAreTexturesResident)(3, stop, r));
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    EXPECT_EQ(r[0], GL_TRUE);
    EXPECT_EQ(r[1], 9);
    EXPECT_EQ(r[2], 9);
    const GLuint both[2] = {4, 3};
    EXPECT_FALSE(GL(glAreTexturesResident)(2, both, r));
    EXPECT_EQ(r[0], GL_FALSE);
    EXPECT_EQ(r[1], GL_TRUE);
    EXPECT_TRUE(GL(glAreTexturesResident)(1, both + 1, r));
    EXPECT_FALSE(GL(glAreTexturesResident)(0, both, r));
    // A complete bordered mipmap counts its 1 x 1 inner level as the last one.
    GL(glBindTexture)(GL_TEXTURE_2D, 4);
    for (int level = 0; level < 3; ++level) store(GL_TEXTURE_2D, level, GL_RGB, (4 >> level) + 2, (4 >> level) + 2, 1);
    bound(GL_TEXTURE_2D)->consistencyDirty = 1;  // the image entries set it; the direct stores do not
    EXPECT_TRUE(GL(glAreTexturesResident)(1, both, r));
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureObjects, TwoContextsShareTheirObjects) {
    TestWindow other(kDoubleFormat);
    DHGLRC second = DrvCreateContext(other.hdc);
    ASSERT_NE(second, DHGLRC(0));
    ASSERT_TRUE(DrvShareLists(handle, second));
    GL(glBindTexture)(GL_TEXTURE_2D, 6);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    DrvReleaseContext(handle);
    ASSERT_NE(DrvSetContext(other.hdc, second, nullptr), nullptr);
    GlContext *b = contextOf(second);
    ASSERT_NE(b, nullptr);
    AllocTracker::wrap(b);
    EXPECT_TRUE(slotAs<decltype(&icd::glIsTexture)>(&b->liveTable, slot::glIsTexture)(6));
    slotAs<decltype(&icd::glBindTexture)>(&b->liveTable, slot::glBindTexture)(GL_TEXTURE_2D, 6);
    EXPECT_EQ(__glLookUpBoundTexture(b, 0, GL_TEXTURE_2D), tex);
    EXPECT_EQ(tex->refCount, 3);
    // Bound in two contexts the object is read-only for parameters.
    slotAs<decltype(&icd::glTexParameteri)>(&b->liveTable, slot::glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    EXPECT_EQ(slotAs<decltype(&icd::glGetError)>(&b->liveTable, slot::glGetError)(), GLenum(GL_INVALID_OPERATION));
    EXPECT_EQ(tex->wrapS, GLenum(GL_REPEAT));
    const GLuint name = 6;
    slotAs<decltype(&icd::glDeleteTextures)>(&b->liveTable, slot::glDeleteTextures)(1, &name);
    EXPECT_EQ(tex->refCount, 1);  // the first context still holds it
    DrvReleaseContext(second);
    EXPECT_TRUE(DrvDeleteContext(second));
    ASSERT_NE(DrvSetContext(window->hdc, handle, nullptr), nullptr);
    EXPECT_EQ(bound(GL_TEXTURE_2D), tex);
    EXPECT_FALSE(GL(glIsTexture)(6));
    GL(glBindTexture)(GL_TEXTURE_2D, 0);
    EXPECT_EQ(liveBlocks(), 0u);
}

TEST_F(TextureObjects, ConstructionFailureLeavesTheBindingAlone) {
    AllocTracker::failAfter() = 2;  // the level pointer array
    GL(glBindTexture)(GL_TEXTURE_2D, 8);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    EXPECT_EQ(bound(GL_TEXTURE_2D), ctx->state.textures.defaults[1]);
    EXPECT_FALSE(GL(glIsTexture)(8));
    EXPECT_EQ(liveBlocks(), 0u);
}

// ---- level stores ------------------------------------------------------------------------------

TEST_F(TextureObjects, LevelStoresCheckTheSizeLimitAndDescribeTheLevel) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    EXPECT_NE(store(GL_TEXTURE_2D, 0, GL_RGBA, 1024, 1024), nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(store(GL_TEXTURE_2D, 0, GL_RGBA, 2048, 1), nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    EXPECT_EQ(tex->levels[0]->width, 1024);  // unchanged
    EXPECT_EQ(store(GL_TEXTURE_2D, 1, GL_RGBA, 1024, 1), nullptr);
    EXPECT_EQ(error(), GLenum(GL_INVALID_VALUE));
    ASSERT_NE(store(GL_TEXTURE_2D, 0, GL_RGB5_A1, 256, 64), nullptr);
    const GlMipLevel &l = *tex->levels[0];
    EXPECT_EQ(tex->levelCount, 9);
    EXPECT_EQ(tex->maxLevel, 8);
    EXPECT_EQ(l.texelFormatId, 10);
    EXPECT_EQ(l.area, 256 * 64);
    EXPECT_EQ(l.log2Width, 8);
    EXPECT_EQ(l.log2Height, 6);
    EXPECT_EQ(l.innerWidthF, 256.0f);
    EXPECT_EQ(l.requestedFormat, GL_RGB5_A1);
    EXPECT_EQ(l.baseFormat, GL_RGBA);
    EXPECT_EQ(l.alphaBits, 1);
    EXPECT_EQ(l.fetch, __glTexelFormat(10)->fetch);
    EXPECT_EQ(tex->lastTexelFormat, __glTexelFormat(10));
    // Bordered levels take the software rows and their bordered fetch.
    ASSERT_NE(store(GL_TEXTURE_2D, 1, GL_LUMINANCE8, 130, 34, 1), nullptr);
    EXPECT_EQ(tex->levels[1]->texelFormatId, 0);
    EXPECT_EQ(tex->levels[1]->innerWidth, 128);
    EXPECT_EQ(tex->levels[1]->fetch, __glTexelFormat(0)->fetchBorder);
    ASSERT_NE(store(GL_TEXTURE_2D, 2, GL_LUMINANCE8, 64, 16), nullptr);
    EXPECT_EQ(tex->levels[2]->texelFormatId, 4);
    // GL_TEXTURE_WIDTH and friends report the stored level.
    GLint v = 0;
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &v);
    EXPECT_EQ(v, 130);
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 1, GL_TEXTURE_BORDER, &v);
    EXPECT_EQ(v, 1);
    GL(glGetTexLevelParameteriv)(GL_TEXTURE_2D, 1, GL_TEXTURE_LUMINANCE_SIZE, &v);
    EXPECT_EQ(v, 8);
    // A size of 0 empties the level again.
    EXPECT_EQ(store(GL_TEXTURE_2D, 1, GL_RGBA, 0, 0), nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(tex->levels[1]->image, nullptr);
    EXPECT_EQ(tex->levels[1]->requestedFormat, 1);
    EXPECT_EQ(tex->levels[1]->width, 0);
    EXPECT_EQ(reinterpret_cast<void *>(tex->levels[1]->fetch), reinterpret_cast<void *>(__glNopProc));
}

TEST_F(TextureObjects, AFailedStoreEmptiesTheLevelWithoutLeaking) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    ASSERT_NE(store(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8), nullptr);
    const size_t before = liveBlocks();
    AllocTracker::failAfter() = 1;
    EXPECT_EQ(store(GL_TEXTURE_2D, 0, GL_RGBA, 64, 64), nullptr);
    EXPECT_EQ(error(), GLenum(GL_OUT_OF_MEMORY));
    const GlMipLevel &l = *tex->levels[0];
    EXPECT_EQ(l.image, nullptr);
    EXPECT_EQ(l.width, 0);
    EXPECT_EQ(reinterpret_cast<void *>(l.fetch), reinterpret_cast<void *>(__glNopProc));
    EXPECT_EQ(liveBlocks(), before - 1);  // the old image went, nothing else
}

TEST_F(TextureObjects, ProxyStoresRecordWhatWouldFitAndAllocateNothing) {
    GlTextureObject *proxy = bound(GL_PROXY_TEXTURE_2D);
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(store(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, 512, 256), nullptr);
    EXPECT_EQ(proxy->levels[0]->width, 512);
    EXPECT_EQ(proxy->levels[0]->texelFormatId, 8);
    EXPECT_EQ(proxy->levels[0]->image, nullptr);
    EXPECT_EQ(store(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, 2048, 2), nullptr);
    EXPECT_EQ(error(), GLenum(GL_NO_ERROR));
    EXPECT_EQ(proxy->levels[0]->width, 0);
    EXPECT_EQ(proxy->levels[0]->texelFormatId, 0);
    EXPECT_EQ(liveBlocks(), 0u);
}

// ---- completeness --------------------------------------------------------------------------------

TEST_F(TextureObjects, CompletenessFollowsTheMipmapChainAndTheFilter) {
    GL(glBindTexture)(GL_TEXTURE_2D, 1);
    GlTextureObject *tex = bound(GL_TEXTURE_2D);
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));  // nothing stored
    const int sizes[4][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (int i = 0; i < 4; ++i) store(GL_TEXTURE_2D, i, GL_RGB, sizes[i][0], sizes[i][1]);
    tex->consistencyDirty = 1;
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 0));
    store(GL_TEXTURE_2D, 1, GL_RGB, 4, 2);
    tex->consistencyDirty = 1;
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
    tex->consistencyDirty = 0;
    tex->consistent = 1;  // a clean cache answers from the cache
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 0));
    store(GL_TEXTURE_2D, 1, GL_RGBA, 4, 1);  // another internal format
    tex->consistencyDirty = 1;
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
    GL(glTexParameteri)(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);  // sets the dirty byte
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 0));
    // Decal needs RGB or RGBA: checked on every call, the cache notwithstanding.
    store(GL_TEXTURE_2D, 0, GL_LUMINANCE, 8, 2);
    tex->consistencyDirty = 1;
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 0));
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
    EXPECT_TRUE(__glIsTextureConsistent(ctx, tex, 1));  // unit 1 still modulates
    // Border texels alone are nothing to sample.
    GL(glTexEnvi)(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    store(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 1);
    tex->consistencyDirty = 1;
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
    // A colour-index level needs a loaded table.
    store(GL_TEXTURE_2D, 0, GL_COLOR_INDEX8_EXT, 4, 4);
    tex->consistencyDirty = 1;
    EXPECT_FALSE(__glIsTextureConsistent(ctx, tex, 0));
}

}  // namespace
