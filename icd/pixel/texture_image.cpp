// Texture images: argument checks, glTexImage1D/2D, glTexSubImage1D/2D and their display-list
// bodies, glCopyTexImage1D/2D and glCopyTexSubImage1D/2D, and the colour buffer's copy of a
// level that generated span code reads.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/buffers.h"
#include "icd/core/services.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries_util.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/texture_image.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"

using glstate::markDirty;

namespace {

// Inside glBegin/glEnd: GL_INVALID_OPERATION. Pending pixel or texture state: validate first.
GlContext *imagePrologue() {
    GlContext *ctx = glstate::outsideBegin();
    if (ctx != nullptr && (ctx->dirtyMask & kGlDirtyPixel) && ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    return ctx;
}

int32_t currentUnit(const GlContext *ctx) { return int32_t(ctx->state.unitSelect.activeTexture); }

bool isProxy(GLenum target) { return target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D; }

bool isImageFormat(GLenum format) {
    return format == GL_COLOR_INDEX || (format >= GL_RED && format <= GL_LUMINANCE_ALPHA) || format == GL_ABGR_EXT ||
           format == GL_BGR_EXT || format == GL_BGRA_EXT;
}

// The type against the format, then the format: 0 or the error.
GLenum checkTypeAndFormat(GLenum format, GLenum type) {
    if (type >= GL_BYTE && type <= GL_FLOAT) {
    } else if (type == GL_BITMAP) {
        if (format != GL_COLOR_INDEX) return GL_INVALID_ENUM;
    } else if (type == GL_UNSIGNED_BYTE_3_3_2_EXT) {
        if (format != GL_RGB && format != GL_BGR_EXT) return GL_INVALID_OPERATION;
    } else if (type >= GL_UNSIGNED_SHORT_4_4_4_4_EXT && type <= GL_UNSIGNED_INT_10_10_10_2_EXT) {
        if (format != GL_RGBA && format != GL_ABGR_EXT && format != GL_BGRA_EXT) return GL_INVALID_OPERATION;
    } else {
        return GL_INVALID_ENUM;
    }
    return isImageFormat(format) ? 0 : GL_INVALID_ENUM;
}

bool isTexInternalFormat(GLenum f) {
    return (f >= 1 && f <= 4) || (f >= GL_ALPHA && f <= GL_LUMINANCE_ALPHA) || f == GL_R3_G3_B2 ||
           (f >= GL_ALPHA4 && f <= GL_INTENSITY16) || (f >= GL_RGB4 && f <= GL_RGBA16);
}

GlTextureObject *fail(GLenum error) {
    __glSetError(error);
    return nullptr;
}

// Writes a client image into the region of a level at (xoffset, yoffset) inside its border:
// unpacked with the unpack modes (or taken as tightly packed for display-list bodies) and
// converted into the level's layout by the pixel path, through the pixel transfer when one
// applies.
void loadClientImage(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t xoffset, int32_t yoffset,
                     int32_t width, int32_t rows, GLenum format, GLenum type, const void *pixels, bool packed,
                     GlTexLevelCopyProc proc) {
    if (width <= 0 || rows <= 0) return;
    GlPixelSpan span{};
    __glSetClientImageAsSource(ctx, &span, width, rows, 1, format, type, pixels, packed ? GL_TRUE : GL_FALSE);
    __glSetTexSubLevelAsDest(ctx, &span, tex, level, xoffset, yoffset);
    const GlTexLevelCopy copy{&span};
    proc(ctx, &copy, tex, level);
}

// Sets up the frame-buffer rectangle as the source of a copy into the region of a level and cuts
// it to the readable part; false when nothing of it is readable.
bool setupFramebufferCopy(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level, int32_t xoffset,
                          int32_t yoffset, GLint x, GLint y, GLsizei width, GLsizei rows) {
    __glSetupFramebufferImageSource(ctx, span, x, y, width, rows);
    __glSetTexSubLevelAsDest(ctx, span, tex, level, xoffset, yoffset);
    return __glClipFramebufferImageSource(ctx, span);
}

void markImageChanged(GlContext *ctx, GlTextureObject *tex) {
    tex->consistencyDirty = 1;
    markDirty(ctx, kGlDirtyTexture);
}

void texImage(GlContext *ctx, GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
              GLint border, GLenum format, GLenum type, const void *pixels, int32_t dims, bool packed) {
    GlTextureObject *tex =
        dims == 1 ? __glCheckTexImage1DArgs(ctx, target, level, GLenum(internalFormat), width, border, format, type)
                  : __glCheckTexImage2DArgs(ctx, target, level, GLenum(internalFormat), width, height, border, format,
                                            type);
    if (tex == nullptr) return;
    if (tex->refCount > 2) return __glSetError(GL_INVALID_OPERATION);
    const int32_t h = dims == 1 ? 2 * border + 1 : height;
    uint8_t *image = tex->storeLevel(ctx, tex, level, GLenum(internalFormat), width, h, 2 * border + 1, border);
    if (pixels != nullptr && image != nullptr)
        loadClientImage(ctx, tex, level, -border, -border, width, dims == 1 ? 1 : height, format, type, pixels, packed,
                        tex->levelLoaded);
    markImageChanged(ctx, tex);
}

void texSubImage(GlContext *ctx, GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                 GLsizei height, GLenum format, GLenum type, const void *pixels, int32_t dims, bool packed) {
    GlTextureObject *tex = dims == 1
                               ? __glCheckTexSubImage1DArgs(ctx, target, level, xoffset, width, format, type)
                               : __glCheckTexSubImage2DArgs(ctx, target, level, xoffset, yoffset, width, height, format, type);
    if (tex == nullptr) return;
    const int32_t rows = dims == 1 ? 1 : height;
    if (pixels != nullptr)
        loadClientImage(ctx, tex, level, xoffset, yoffset, width, rows, format, type, pixels, packed,
                        __glCopyTexLevelImage);
    if (tex->levels[0]->border == 0 && width > 0 && rows > 0)
        __glHwUpdateTexSubImage(ctx, tex, level, xoffset, dims == 1 ? 0 : yoffset, xoffset + width,
                                dims == 1 ? 1 : yoffset + height);
}

void copyTexImage(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y, GLsizei width, GLsizei height,
                  GLint border, int32_t dims) {
    GlContext *ctx = imagePrologue();
    if (ctx == nullptr) return;
    GlTextureObject *tex = __glCheckCopyTexImageArgs(ctx, target, level, internalFormat, width, height, border, dims);
    if (tex == nullptr) return;
    if (tex->refCount > 2) return __glSetError(GL_INVALID_OPERATION);
    const int32_t h = dims == 1 ? 2 * border + 1 : height;
    uint8_t *image = tex->storeLevel(ctx, tex, level, internalFormat, width, h, 2 * border + 1, border);
    GlPixelSpan span{};
    const GlTexLevelCopy copy{&span};
    if (image != nullptr && setupFramebufferCopy(ctx, &span, tex, level, -border, -border, x, y, width, dims == 1 ? 1 : height))
        tex->levelCopied(ctx, &copy, tex, level);
    // Marked whether or not anything was readable: the level has its new size and format.
    markImageChanged(ctx, tex);
}

void copyTexSubImage(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y, GLsizei width,
                     GLsizei height, int32_t dims) {
    GlContext *ctx = imagePrologue();
    if (ctx == nullptr) return;
    GlTextureObject *tex = __glCheckCopyTexSubImageArgs(ctx, target, level, xoffset, yoffset, width, height, dims);
    if (tex == nullptr) return;
    if (tex->refCount > 2) return __glSetError(GL_INVALID_OPERATION);
    GlPixelSpan span{};
    if (!setupFramebufferCopy(ctx, &span, tex, level, xoffset, yoffset, x, y, width, dims == 1 ? 1 : height)) return;
    const GlTexLevelCopy copy{&span};
    __glCopyTexLevelFromFramebuffer(ctx, &copy, tex, level);
    if (tex->levels[0]->border == 0)
        __glHwUpdateTexSubImage(ctx, tex, level, xoffset, dims == 1 ? 0 : yoffset, xoffset + width,
                                dims == 1 ? 1 : yoffset + height);
}

}  // namespace

// ---- levels and client images as span halves ------------------------------------------------

void __glSetClientImageAsSource(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                                GLenum format, GLenum type, const GLvoid *pixels, GLboolean packed) {
    __glSetupMemoryImageSource(ctx, span, width, height, depth, format, type, pixels, packed);
}

namespace {

// The fields a level gives either half of a span: its texel layout's format, type and row
// alignment, its image rows of `width` texels (a 1-D level's texels: its middle row).
void describeLevel(GlPixelImageSide &side, const GlTextureObject *tex, const GlMipLevel *l) {
    const GlTexelFormat *f = l->texelFormat;
    side.format = f->format;
    side.type = f->type;
    side.data = l->image;
    side.lsbFirst = 1;
    side.swapBytes = 0;
    side.skipPixels = 0;
    side.skipRows = tex->dimensions == 1 ? l->border : 0;
    side.rowLength = l->width;
    side.alignment = f->alignment;
}

}  // namespace

void __glSetTexLevelAsDest(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level) {
    const GlMipLevel *l = tex->levels[level];
    describeLevel(*__glSpanDst(span), tex, l);
    span->finalFormat = GLenum(l->baseFormat);
    __glComputeDstImageLayout(ctx, span);
}

void __glSetTexLevelAsSource(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level) {
    const GlMipLevel *l = tex->levels[level];
    describeLevel(*__glSpanSrc(span), tex, l);
    span->srcBaseFormat = GLenum(l->baseFormat);
    span->width = l->width;
    span->height = tex->dimensions == 1 ? 1 : l->height;
    span->startX = 0.0f;
    span->zoomX = 1.0f;
    span->keptCount = 0;
    __glComputeSrcImageLayout(ctx, span);
}

void __glSetClientImageAsDest(GlContext *ctx, GlPixelSpan *span, GLsizei width, GLsizei height, GLsizei depth,
                              GLenum format, GLenum type, GLvoid *pixels) {
    __glSetupMemoryImageDest(ctx, span, width, height, depth, format, type, pixels);
}

void __glSetTexSubLevelAsDest(GlContext *ctx, GlPixelSpan *span, GlTextureObject *tex, int32_t level, int32_t xoffset,
                              int32_t yoffset) {
    const GlMipLevel *l = tex->levels[level];
    __glSetTexLevelAsDest(ctx, span, tex, level);
    span->dstSkipPixels = xoffset + l->border;
    if (tex->dimensions != 1) span->dstSkipRows = yoffset + l->border;
    __glComputeDstImageLayout(ctx, span);
}

// ---- argument checks ------------------------------------------------------------------------------

GlTextureObject *__glCheckTexImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                       GLint border, GLenum format, GLenum type, int32_t dims) {
    GlTextureObject *tex = __glLookUpBoundTexture(ctx, currentUnit(ctx), target);
    if (tex == nullptr || tex->dimensions != dims) return fail(GL_INVALID_ENUM);
    if (GLenum e = checkTypeAndFormat(format, type)) return fail(e);
    if (level < 0 || level >= ctx->limits.textureLevels[0]) return fail(GL_INVALID_VALUE);
    if (!isTexInternalFormat(internalFormat)) return fail(GL_INVALID_ENUM);
    if (border != 0 && border != 1) return fail(GL_INVALID_VALUE);
    return tex;
}

bool __glCheckTexImageSize(GlContext *, GLsizei size, GLint border) {
    const int64_t inner = int64_t(size) - 2 * int64_t(border);
    if (inner < 0 || (inner & (inner - 1)) != 0) {
        __glSetError(GL_INVALID_VALUE);
        return false;
    }
    return true;
}

namespace {

// The width, and for a 2-D level the height, against the border.
bool imageSizesFit(GlContext *ctx, GLsizei width, GLsizei height, GLint border, int32_t dims) {
    return __glCheckTexImageSize(ctx, width, border) && (dims == 1 || __glCheckTexImageSize(ctx, height, border));
}

}  // namespace

GlTextureObject *__glCheckTexImage1DArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                         GLsizei width, GLint border, GLenum format, GLenum type) {
    GlTextureObject *tex = __glCheckTexImageArgs(ctx, target, level, internalFormat, border, format, type, 1);
    return tex != nullptr && imageSizesFit(ctx, width, 1, border, 1) ? tex : nullptr;
}

GlTextureObject *__glCheckTexImage2DArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                         GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type) {
    GlTextureObject *tex = __glCheckTexImageArgs(ctx, target, level, internalFormat, border, format, type, 2);
    return tex != nullptr && imageSizesFit(ctx, width, height, border, 2) ? tex : nullptr;
}

GlTextureObject *__glCheckCopyTexImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                           GLsizei width, GLsizei height, GLint border, int32_t dims) {
    GlTextureObject *tex = __glCheckTexImageArgs(ctx, target, level, internalFormat, border, GL_RGBA, GL_FLOAT, dims);
    if (tex == nullptr) return nullptr;
    if (isProxy(target) || (internalFormat >= 1 && internalFormat <= 4)) return fail(GL_INVALID_ENUM);
    return imageSizesFit(ctx, width, height, border, dims) ? tex : nullptr;
}

GlTextureObject *__glCheckTexSubImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum format, GLenum type,
                                          int32_t dims) {
    if (isProxy(target)) return fail(GL_INVALID_ENUM);
    GlTextureObject *tex = __glLookUpBoundTexture(ctx, currentUnit(ctx), target);
    if (tex == nullptr || tex->dimensions != dims) return fail(GL_INVALID_ENUM);
    if (GLenum e = checkTypeAndFormat(format, type)) return fail(e);
    if (level < 0 || level >= ctx->limits.textureLevels[0]) return fail(GL_INVALID_VALUE);
    if (tex->levels[level]->image == nullptr) return fail(GL_INVALID_OPERATION);
    return tex;
}

bool __glCheckTexRegion(GlContext *, const GlMipLevel *level, GLint offset, GLsizei size, int32_t levelSize) {
    const int64_t border = level->border;
    if (size < 0 || offset < -border || int64_t(offset) + size > levelSize - border) {
        __glSetError(GL_INVALID_VALUE);
        return false;
    }
    return true;
}

GlTextureObject *__glCheckTexSubImage1DArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset, GLsizei width,
                                            GLenum format, GLenum type) {
    GlTextureObject *tex = __glCheckTexSubImageArgs(ctx, target, level, format, type, 1);
    if (tex == nullptr || !__glCheckTexRegion(ctx, tex->levels[level], xoffset, width, tex->levels[level]->width))
        return nullptr;
    return tex;
}

GlTextureObject *__glCheckTexSubImage2DArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset, GLint yoffset,
                                            GLsizei width, GLsizei height, GLenum format, GLenum type) {
    GlTextureObject *tex = __glCheckTexSubImageArgs(ctx, target, level, format, type, 2);
    if (tex == nullptr) return nullptr;
    const GlMipLevel *l = tex->levels[level];
    if (!__glCheckTexRegion(ctx, l, xoffset, width, l->width) || !__glCheckTexRegion(ctx, l, yoffset, height, l->height))
        return nullptr;
    return tex;
}

GlTextureObject *__glCheckCopyTexSubImageArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset,
                                              GLint yoffset, GLsizei width, GLsizei height, int32_t dims) {
    GlTextureObject *tex = __glCheckTexSubImageArgs(ctx, target, level, GL_RGBA, GL_FLOAT, dims);
    if (tex == nullptr) return nullptr;
    const GlMipLevel *l = tex->levels[level];
    if (!__glCheckTexRegion(ctx, l, xoffset, width, l->width)) return nullptr;
    if (dims == 2 && !__glCheckTexRegion(ctx, l, yoffset, height, l->height)) return nullptr;
    if (!__glCheckTexRegion(ctx, l, 0, 1, l->depth)) return nullptr;
    return tex;
}

// ---- display-list bodies: images kept tightly packed in the default layout -----------------------

void __glTexImage1DFromList(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLint border,
                            GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texImage(ctx, target, level, internalFormat, width, 1, border, format, type, pixels, 1, true);
}

void __glTexImage2DFromList(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                            GLint border, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texImage(ctx, target, level, internalFormat, width, height, border, format, type, pixels, 2, true);
}

void __glTexSubImage1DFromList(GLenum target, GLint level, GLint xoffset, GLsizei width, GLenum format, GLenum type,
                               const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texSubImage(ctx, target, level, xoffset, 0, width, 1, format, type, pixels, 1, true);
}

void __glTexSubImage2DFromList(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                               GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texSubImage(ctx, target, level, xoffset, yoffset, width, height, format, type, pixels, 2, true);
}

// ---- the colour buffer's copy of a level ----------------------------------------------------------

namespace {

// R, G, B, A bytes of texel (col, row) (border included) of the layouts that generated code may
// read directly: the byte layouts by their own rule, the 16-bit device layouts the fast path
// draws through the level's fetch (a channel the layout lacks reads as full).
bool texelBytes(GlMipLevel *l, GlTextureObject *tex, int32_t col, int32_t row, uint8_t *c) {
    const uint8_t *t = l->image + (size_t(row) * size_t(l->width) + size_t(col)) * size_t(l->texelFormat->bitsPerTexel >> 3);
    switch (l->texelFormatId) {
    case kGlTexelL8: c[0] = c[1] = c[2] = t[0], c[3] = 0; return true;
    case kGlTexelL8A8: c[0] = c[1] = c[2] = t[0], c[3] = t[1]; return true;
    case kGlTexelRgb8: c[0] = t[0], c[1] = t[1], c[2] = t[2], c[3] = 0; return true;
    case kGlTexelRgba8: c[0] = t[0], c[1] = t[1], c[2] = t[2], c[3] = t[3]; return true;
    case kGlTexelA8: c[0] = c[1] = c[2] = 0, c[3] = t[0]; return true;
    case kGlTexelI8: c[0] = c[1] = c[2] = c[3] = t[0]; return true;
    case kGlTexelXrgb1555:
    case kGlTexelRgb565:
    case kGlTexelArgb4444:
    case kGlTexelArgb1555:
    case kGlTexelA4:
        c[0] = c[1] = c[2] = c[3] = 255;
        l->fetch(l, tex, 0, row - l->border, col - l->border, c);
        return true;
    default: return false;
    }
}

const GlColorBuffer *layoutBuffer(const GlContext *ctx) {
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    return cb != nullptr ? cb : &ctx->buffers.color.front;
}

}  // namespace

void __glConvertTexLevelRegion(GlContext *ctx, GlTextureObject *tex, int32_t level, int32_t x, int32_t y,
                               int32_t width, int32_t height) {
    GlMipLevel *l = tex->levels[level];
    if (l->image == nullptr || l->convertedImage == nullptr) return;
    const GlColorBuffer *cb = layoutBuffer(ctx);
    const GlVisual &v = ctx->visual;
    const int32_t bits[4] = {v.redBits, v.greenBits, v.blueBits, v.alphaBits};
    const int32_t shifts[4] = {cb->redShift, cb->greenShift, cb->blueShift, cb->alphaShift};
    const int32_t element = cb->head.elementSize > 0 ? cb->head.elementSize : 1;
    for (int32_t row = y; row < y + height; ++row)
        for (int32_t col = x; col < x + width; ++col) {
            const size_t index = size_t(row) * size_t(l->width) + size_t(col);
            uint8_t c[4];
            if (!texelBytes(l, tex, col, row, c)) return;
            // Each channel rounded to its field (c x max / 255 to nearest), as the fast path's
            // replacing span procs round a texel without dither, so that a copy drawn from this
            // one is the picture the chain draws.
            uint32_t pixel = 0;
            for (int i = 0; i < 4; ++i)
                if (bits[i] > 0 && bits[i] <= 8) {
                    const uint32_t x = uint32_t(c[i]) * ((1u << bits[i]) - 1) + 128;
                    pixel |= ((x + (x >> 8)) >> 8) << shifts[i];
                }
            std::memcpy(l->convertedImage + index * size_t(element), &pixel, size_t(element));
        }
}

bool __glConvertTexLevelToDrawable(GlContext *ctx) {
    GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    if (tex == nullptr) return false;
    GlMipLevel *l = tex->levels[0];
    if (l->convertedImage != nullptr) return true;
    uint8_t probe[4];
    if (l->image == nullptr || !texelBytes(l, tex, 0, 0, probe)) return false;
    const GlColorBuffer *cb = layoutBuffer(ctx);
    const size_t element = size_t(cb->head.elementSize > 0 ? cb->head.elementSize : 1);
    void *block = ctx->hostProcs.realloc(ctx, nullptr, element * size_t(l->width) * size_t(l->height));
    if (block == nullptr) return false;  // the caller takes a path that samples the level itself
    l->convertedImage = static_cast<uint8_t *>(block);
    __glConvertTexLevelRegion(ctx, tex, 0, 0, 0, l->width, l->height);
    return true;
}

// ---- entries --------------------------------------------------------------------------------------

namespace icd {

void APIENTRY glTexImage1D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLint border,
                           GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texImage(ctx, target, level, internalformat, width, 1, border, format, type, pixels, 1, false);
}

void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                           GLint border, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr)
        texImage(ctx, target, level, internalformat, width, height, border, format, type, pixels, 2, false);
}

void APIENTRY glTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLsizei width, GLenum format, GLenum type,
                              const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texSubImage(ctx, target, level, xoffset, 0, width, 1, format, type, pixels, 1, false);
}

void APIENTRY glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,
                              GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = imagePrologue();
    if (ctx != nullptr) texSubImage(ctx, target, level, xoffset, yoffset, width, height, format, type, pixels, 2, false);
}

void APIENTRY glCopyTexImage1D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,
                               GLint border) {
    copyTexImage(target, level, internalformat, x, y, width, 1, border, 1);
}

void APIENTRY glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,
                               GLsizei height, GLint border) {
    copyTexImage(target, level, internalformat, x, y, width, height, border, 2);
}

void APIENTRY glCopyTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLint x, GLint y, GLsizei width) {
    copyTexSubImage(target, level, xoffset, 0, x, y, width, 1, 1);
}

void APIENTRY glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                                  GLsizei width, GLsizei height) {
    copyTexSubImage(target, level, xoffset, yoffset, x, y, width, height, 2);
}

}  // namespace icd
