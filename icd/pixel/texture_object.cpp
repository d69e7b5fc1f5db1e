// The life of a texture object: construction, its levels (store, proxy store, free), the hooks
// that run after texels were copied into a level, and destruction.
#include <cstdlib>
#include <cstring>
#include "icd/core/core.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/texel_format.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/pixel_span.h"

namespace {

// The hardware back end's per-texture block; the back end owns its layout past the flags byte.
constexpr size_t kHwTexBlockBytes = 64;

GlTexelFetchProc nopFetch() { return reinterpret_cast<GlTexelFetchProc>(reinterpret_cast<void (*)(void)>(__glNopProc)); }

int32_t levelsOf(const GlContext *ctx) { return ctx->limits.textureLevels[0] > 0 ? ctx->limits.textureLevels[0] : 11; }

// An empty level: no image, no sizes, no layout.
void emptyLevel(GlContext *ctx, GlMipLevel *l) {
    ctx->hostProcs.free(ctx, l->image);
    ctx->hostProcs.free(ctx, l->convertedImage);
    std::memset(l, 0, sizeof(*l));
    l->requestedFormat = 1;
    l->fetch = nopFetch();
}

// The component sizes a level reports: the stored layout's channels as its base format names
// them (a luminance level kept in a 5-5-5 layout has 5 bits of luminance and no red).
void setComponentSizes(GlMipLevel *l, const GlTexelFormat *row, GLenum base) {
    const int32_t colour = row->luminanceBits > 0 ? row->luminanceBits
                         : row->intensityBits > 0 ? row->intensityBits
                                                  : row->redBits;
    l->redBits = l->greenBits = l->blueBits = l->alphaBits = l->luminanceBits = l->intensityBits = 0;
    switch (base) {
    case GL_LUMINANCE: l->luminanceBits = colour; break;
    case GL_LUMINANCE_ALPHA: l->luminanceBits = colour, l->alphaBits = row->alphaBits; break;
    case GL_INTENSITY: l->intensityBits = colour; break;
    case GL_ALPHA: l->alphaBits = row->alphaBits; break;
    case GL_RGB: l->redBits = row->redBits, l->greenBits = row->greenBits, l->blueBits = row->blueBits; break;
    case GL_RGBA:
        l->redBits = row->redBits, l->greenBits = row->greenBits, l->blueBits = row->blueBits;
        l->alphaBits = row->alphaBits;
        break;
    default:
        l->redBits = row->redBits, l->greenBits = row->greenBits, l->blueBits = row->blueBits;
        l->alphaBits = row->alphaBits, l->luminanceBits = row->luminanceBits, l->intensityBits = row->intensityBits;
        break;
    }
}

void describeLevel(GlMipLevel *l, const GlTexelFormat *row, GLenum internalFormat, GLenum baseFormat, int32_t width,
                   int32_t height, int32_t depth, int32_t border) {
    l->width = width;
    l->height = height;
    l->depth = depth;
    l->area = width * height;
    l->innerWidth = width - 2 * border;
    l->innerHeight = height - 2 * border;
    l->innerDepth = depth - 2 * border;
    l->innerWidthF = float(l->innerWidth);
    l->innerHeightF = float(l->innerHeight);
    l->innerDepthF = float(l->innerDepth);
    l->log2Width = __glFloorLog2(uint32_t(l->innerWidth));
    l->log2Height = __glFloorLog2(uint32_t(l->innerHeight));
    l->log2Depth = __glFloorLog2(uint32_t(l->innerDepth));
    l->border = border;
    l->texelFormat = row;
    l->requestedFormat = int32_t(internalFormat);
    l->baseFormat = int32_t(baseFormat);
    l->texelFormatId = row->id;
    setComponentSizes(l, row, baseFormat);
    l->fetch = border == 1 ? row->fetchBorder : row->fetch;
}

int32_t maxOf(int32_t a, int32_t b) { return a > b ? a : b; }

}  // namespace

int32_t __glFloorLog2(uint32_t x) {
    int32_t n = 0;
    while (x > 1) {
        x >>= 1;
        ++n;
    }
    return n;
}

int32_t __glTexHookReturnZero(GlContext *, GlTextureObject *, int32_t) { return 0; }

GlTextureObject *__glNewTextureObject(GlContext *ctx, GLuint name, int32_t kind) {
    const int32_t levels = levelsOf(ctx);
    GlTextureObject *tex = static_cast<GlTextureObject *>(ctx->hostProcs.calloc(ctx, 1, sizeof(GlTextureObject)));
    if (tex == nullptr) return nullptr;
    tex->levels = static_cast<GlMipLevel **>(ctx->hostProcs.calloc(ctx, size_t(levels), sizeof(GlMipLevel *)));
    GlMipLevel *records = static_cast<GlMipLevel *>(ctx->hostProcs.calloc(ctx, size_t(levels), sizeof(GlMipLevel)));
    uint8_t *hw = static_cast<uint8_t *>(std::calloc(1, kHwTexBlockBytes));
    if (tex->levels == nullptr || records == nullptr || hw == nullptr) {
        std::free(hw);
        ctx->hostProcs.free(ctx, records);
        ctx->hostProcs.free(ctx, tex->levels);
        ctx->hostProcs.free(ctx, tex);
        return nullptr;
    }
    __glHwTexBlockInit(hw);
    tex->hwBlock = hw;
    tex->owner = ctx;
    tex->refCount = 1;
    tex->kind = kind;
    tex->name = name;
    tex->priority = 1.0f;
    tex->wrapS = tex->wrapT = GL_REPEAT;
    tex->minFilter = GL_NEAREST_MIPMAP_LINEAR;
    tex->magFilter = GL_LINEAR;
    tex->destroy = __glDeleteTextureObject;
    tex->reloadHook = __glTexHookReturnZero;
    tex->freeLevel = __glFreeTexLevel;
    tex->levelLoaded = __glTexLevelCopied;
    tex->levelCopied = __glTexLevelCopiedFromFramebuffer;
    tex->colorTable.internalFormat = GL_RGBA;
    tex->dimensions = (kind == 1 || kind == 3) ? 2 : 1;
    tex->storeLevel = kind < 2 ? __glStoreTexLevel : __glStoreProxyTexLevel;
    // A proxy answers level queries for every level the context has.
    if (kind >= 2) tex->levelCount = levels;
    if (kind == 0) tex->colorTable.target = GL_TEXTURE_1D;
    if (kind == 1) tex->colorTable.target = GL_TEXTURE_2D;
    tex->consistencyDirty = 1;
    for (int32_t i = 0; i < levels; ++i) {
        tex->levels[i] = &records[i];
        records[i].requestedFormat = 1;
        records[i].fetch = nopFetch();
    }
    return tex;
}

// The hardware copies go whatever level 0 looks like now: a level 0 that became bordered after
// an upload would otherwise keep its copy in the shared heap for good.
void __glDeleteTextureObject(GlContext *ctx, GlTextureObject *tex) {
    __glHwTexRelease(ctx, tex);
    std::free(tex->hwBlock);
    tex->hwBlock = nullptr;
    __glFreeTextureObject(ctx, tex);
}

void __glFreeTextureObject(GlContext *ctx, GlTextureObject *tex) {
    const int32_t levels = levelsOf(ctx);
    if (tex->levels != nullptr) {
        for (int32_t i = 0; i < levels; ++i) tex->freeLevel(ctx, tex, i);
        ctx->hostProcs.free(ctx, tex->levels[0]);  // the one block of level records
        ctx->hostProcs.free(ctx, tex->levels);
    }
    ctx->hostProcs.free(ctx, tex->colorTable.entries);
    ctx->hostProcs.free(ctx, tex);
}

void __glFreeTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level) {
    GlMipLevel *l = tex->levels[level];
    ctx->hostProcs.free(ctx, l->image);
    ctx->hostProcs.free(ctx, l->convertedImage);
    l->image = nullptr;
    l->convertedImage = nullptr;
}

uint8_t *__glStoreTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum internalFormat, int32_t width,
                           int32_t height, int32_t depth, int32_t border) {
    const int32_t maxSize = ctx->state.texture.maxTextureSize;
    const int64_t largest =
        maxOf(width - 2 * border, height - 2 * border) * (int64_t(1) << (level < 31 ? level : 31));
    if (largest > maxSize) {
        __glSetError(GL_INVALID_VALUE);
        return nullptr;
    }
    GLenum baseFormat = 0;
    const GlTexelFormat *row = border == 1 ? __glChooseTexelFormat(internalFormat, &baseFormat)
                                           : __glChooseDeviceTexelFormat(internalFormat, &baseFormat);
    if (row == nullptr) {  // the entries check internal formats first
        __glSetError(GL_INVALID_ENUM);
        return nullptr;
    }
    GlMipLevel *l = tex->levels[level];
    const size_t bytes = size_t(row->bitsPerTexel >> 3) * size_t(width) * size_t(height);
    // Whatever the level held, the hardware copy of the texture no longer matches it.
    if (l->image != nullptr && l->border == 0) __glHwTexImageChanged(ctx, tex, level, 0);
    if (bytes == 0) {
        emptyLevel(ctx, l);
    } else {
        uint8_t *image = static_cast<uint8_t *>(ctx->hostProcs.realloc(ctx, l->image, bytes));
        if (image == nullptr) {
            // The old texels went with the failed store: the level is empty, not half described.
            emptyLevel(ctx, l);
            __glSetError(GL_OUT_OF_MEMORY);
            return nullptr;
        }
        l->image = image;
        ctx->hostProcs.free(ctx, l->convertedImage);
        l->convertedImage = nullptr;
        describeLevel(l, row, internalFormat, baseFormat, width, height, depth, border);
        tex->lastTexelFormat = row;
    }
    tex->levelCount = __glFloorLog2(uint32_t(largest)) + 1;
    if (level == 0) tex->maxLevel = maxOf(maxOf(l->log2Height, l->log2Width), l->log2Depth);
    return l->image;
}

uint8_t *__glStoreProxyTexLevel(GlContext *ctx, GlTextureObject *tex, int32_t level, GLenum internalFormat,
                                int32_t width, int32_t height, int32_t depth, int32_t border) {
    const int32_t maxSize = ctx->state.texture.maxTextureSize;
    const int32_t shift = level < 31 ? level : 31;
    GlMipLevel *l = tex->levels[level];
    GLenum baseFormat = 0;
    const GlTexelFormat *row = __glChooseDeviceTexelFormat(internalFormat, &baseFormat);
    std::memset(l, 0, sizeof(*l));
    l->requestedFormat = 1;
    l->fetch = nopFetch();
    const bool tooLarge = (int64_t(width - 2 * border) << shift) > maxSize ||
                          (int64_t(height - 2 * border) << shift) > maxSize;
    if (!tooLarge && row != nullptr) describeLevel(l, row, internalFormat, baseFormat, width, height, depth, border);
    l->fetch = nopFetch();  // a proxy has no texels to fetch
    if (!tooLarge && level == 0) tex->maxLevel = maxOf(maxOf(l->log2Height, l->log2Width), l->log2Depth);
    return nullptr;
}

namespace {

// Runs one copy into a level; the rectangle it may write (border included) is taken before the
// copy cuts it, and the level's colour-buffer copy is refreshed over it.
template <class Copy>
void copyIntoLevel(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level, Copy copy) {
    GlMipLevel *l = tex->levels[level];
    if (span != nullptr && l->image != nullptr && span->width > 0 && span->height > 0) {
        const int32_t x = span->dstSkipPixels, y = span->dstSkipRows, width = span->width, rows = span->height;
        if (copy() && l->convertedImage != nullptr) __glConvertTexLevelRegion(ctx, tex, level, x, y, width, rows);
    }
    tex->reload = 1;
}

}  // namespace

void __glCopyTexLevelImage(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level) {
    GlPixelSpan *span = copy != nullptr ? copy->span : nullptr;
    copyIntoLevel(ctx, span, tex, level, [&] {
        __glRunCopyImageWithStoreStage(ctx, tex, span, GL_TRUE);
        return true;
    });
}

void __glCopyTexLevelFromFramebuffer(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex,
                                     int32_t level) {
    GlPixelSpan *span = copy != nullptr ? copy->span : nullptr;
    copyIntoLevel(ctx, span, tex, level, [&] { return __glRunCopyImageFromFramebuffer(ctx, tex, span); });
}

void __glTexLevelCopied(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex, int32_t level) {
    __glCopyTexLevelImage(ctx, copy, tex, level);
    if (tex->levels[0]->border == 0) __glHwTexImageChanged(ctx, tex, level, 1);
}

void __glTexLevelCopiedFromFramebuffer(GlContext *ctx, const GlTexLevelCopy *copy, GlTextureObject *tex,
                                       int32_t level) {
    __glCopyTexLevelFromFramebuffer(ctx, copy, tex, level);
    if (tex->levels[0]->border == 0) __glHwTexImageChanged(ctx, tex, level, 1);
}
