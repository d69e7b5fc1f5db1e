// Colour tables of texture objects: the extension entries that load, partly replace, copy and
// query the table of the texture bound on the current unit, and the two context procs behind
// the loads. Entries are bytes, one per channel of the table's base format.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries_util.h"
#include "icd/pixel/color_table.h"
#include "icd/pixel/pixel_ops.h"
#include "icd/pixel/pixel_image_copy.h"
#include "icd/pixel/texel_format.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/pixel_span.h"

using glstate::markDirty;

namespace {

constexpr int64_t kMaxTableBytes = 32768;

// Inside glBegin/glEnd: GL_INVALID_OPERATION. With validation pending: validate first.
GlContext *prologue() {
    GlContext *ctx = glstate::outsideBegin();
    if (ctx != nullptr && ctx->beginMode == kGlNeedValidate) {
        if (ctx->slots.validate != nullptr) ctx->slots.validate(ctx);
        ctx->beginMode = kGlOutsideBegin;
    }
    return ctx;
}

bool isTableFormat(GLenum format) {
    return (format >= GL_RED && format <= GL_LUMINANCE_ALPHA) || format == GL_ABGR_EXT || format == GL_BGR_EXT ||
           format == GL_BGRA_EXT;
}
bool isTableType(GLenum type) { return type >= GL_BYTE && type <= GL_FLOAT; }

int32_t typeBytes(GLenum type) {
    if (type == GL_BYTE || type == GL_UNSIGNED_BYTE) return 1;
    return type == GL_SHORT || type == GL_UNSIGNED_SHORT ? 2 : 4;
}

int32_t componentsOf(GLenum base) {
    switch (base) {
    case GL_RGB: return 3;
    case GL_RGBA: return 4;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
    }
}

// The table's base format of an internal format; the numbers 1-4 name none.
GLenum baseOf(GLenum internalFormat) {
    if (internalFormat >= 1 && internalFormat <= 4) return 0;
    return __glTexBaseFormat(internalFormat, false);
}

GlColorTable *tableOf(GlContext *ctx, GLenum target) {
    GlTextureObject *tex = __glLookUpBoundTexture(ctx, int32_t(ctx->state.unitSelect.activeTexture), target);
    return tex != nullptr ? &tex->colorTable : nullptr;
}

GlTextureObject *objectOf(GlContext *ctx, GLenum target) {
    return __glLookUpBoundTexture(ctx, int32_t(ctx->state.unitSelect.activeTexture), target);
}

// The entries first .. first + count - 1 of the table as the destination of a pixel span: bytes
// in the order of the base format.
void setTableAsDest(GlContext *ctx, GlPixelSpan *span, const GlColorTable &t, int32_t first, int32_t count) {
    span->dstFormat = t.baseFormat;
    span->dstType = GL_UNSIGNED_BYTE;
    span->dstData = t.entries;
    span->dstLsbFirst = 1;
    span->dstSkipPixels = first;
    span->dstRowLength = first + count;
    span->dstAlignment = 1;
    span->finalFormat = t.baseFormat;
    __glComputeDstImageLayout(ctx, span);
}

// Client entries (unpack modes, or tight when packed), through the pixel path and its transfer,
// into entries first .. first + count - 1.
void loadEntries(GlContext *ctx, GlColorTable &t, int32_t first, int32_t count, GLenum format, GLenum type,
                 const GLvoid *data, bool packed) {
    if (count <= 0 || data == nullptr || t.entries == nullptr) return;
    GlPixelSpan span{};
    __glSetupMemoryImageSource(ctx, &span, count, 1, 1, format, type, data, packed ? GL_TRUE : GL_FALSE);
    setTableAsDest(ctx, &span, t, first, count);
    __glRunCopyImage(ctx, &span, GL_TRUE);
}

// Gives the table room for `width` entries of `base` and records its new description. The
// storage is grown before anything is recorded: a table that cannot grow stays as it was.
bool resize(GlContext *ctx, GlColorTable &t, GLenum target, GLenum internalFormat, GLenum base, int32_t width,
            bool proxy) {
    const int32_t components = componentsOf(base);
    if (!proxy) {
        const int64_t oldBytes = int64_t(t.components) * t.width;
        const int64_t newBytes = int64_t(components) * width;
        if (newBytes > oldBytes || t.entries == nullptr) {
            void *grown = ctx->hostProcs.realloc(ctx, t.entries, size_t(newBytes));
            if (grown == nullptr) {
                __glSetError(GL_OUT_OF_MEMORY);
                return false;
            }
            t.entries = static_cast<uint8_t *>(grown);
        }
    }
    t.target = target;
    t.width = width;
    t.internalFormat = internalFormat;
    t.baseFormat = base;
    t.components = components;
    t.type = GL_UNSIGNED_BYTE;
    t.redBits = t.greenBits = t.blueBits = t.alphaBits = t.luminanceBits = t.intensityBits = 0;
    switch (base) {
    case GL_ALPHA: t.alphaBits = 8; break;
    case GL_RGB: t.redBits = t.greenBits = t.blueBits = 8; break;
    case GL_RGBA: t.redBits = t.greenBits = t.blueBits = t.alphaBits = 8; break;
    case GL_LUMINANCE: t.luminanceBits = 8; break;
    case GL_LUMINANCE_ALPHA: t.luminanceBits = t.alphaBits = 8; break;
    default: t.intensityBits = 8; break;
    }
    return true;
}

// A colour-index texture looks its texels up in the table: its completeness may change.
void tableChanged(GlContext *ctx, GLenum target) {
    if (GlTextureObject *tex = objectOf(ctx, target)) tex->consistencyDirty = 1;
}

// The entries as the [0, 1] groups a read returns: luminance and intensity in red, the missing
// colours 0, a missing alpha 1.
void entriesToRgba(const GlColorTable &t, float *out) {
    const uint8_t *e = t.entries;
    for (int32_t i = 0; i < t.width; ++i, out += 4) {
        float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        switch (t.baseFormat) {
        case GL_ALPHA: c[3] = *e++ / 255.0f; break;
        case GL_RGB: c[0] = e[0] / 255.0f, c[1] = e[1] / 255.0f, c[2] = e[2] / 255.0f, e += 3; break;
        case GL_RGBA:
            for (int k = 0; k < 4; ++k) c[k] = e[k] / 255.0f;
            e += 4;
            break;
        case GL_LUMINANCE_ALPHA: c[0] = e[0] / 255.0f, c[3] = e[1] / 255.0f, e += 2; break;
        default: c[0] = *e++ / 255.0f; break;  // luminance, intensity
        }
        for (int k = 0; k < 4; ++k) out[k] = c[k];
    }
}

template <class T>
void getParameter(GLenum target, GLenum pname, T *values) {
    GlContext *ctx = prologue();
    if (ctx == nullptr) return;
    const GlColorTable *t = __glTextureKind(target) >= 0 ? tableOf(ctx, target) : nullptr;
    if (t == nullptr) return __glSetError(GL_INVALID_ENUM);
    int32_t v;
    switch (pname) {
    case GL_COLOR_TABLE_FORMAT_EXT: v = int32_t(t->internalFormat); break;
    case GL_COLOR_TABLE_WIDTH_EXT: v = t->width; break;
    default:
        if (pname < GL_COLOR_TABLE_RED_SIZE_EXT || pname > GL_COLOR_TABLE_INTENSITY_SIZE_EXT)
            return __glSetError(GL_INVALID_ENUM);
        {
            const int32_t sizes[6] = {t->redBits, t->greenBits, t->blueBits, t->alphaBits, t->luminanceBits, t->intensityBits};
            v = sizes[pname - GL_COLOR_TABLE_RED_SIZE_EXT];
        }
        break;
    }
    if (values != nullptr) values[0] = T(v);
}

}  // namespace

void __glInitColorTableState(GlContext *) {}
void __glFreeColorTableState(GlContext *) {}

GLenum __glCheckColorTableArgs(GlContext *, GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                               GLenum type) {
    if (__glTextureKind(target) < 0) return GL_INVALID_ENUM;
    const GLenum base = baseOf(internalFormat);
    if (base == 0) return GL_INVALID_ENUM;
    if (width < 0 || (width & (width - 1)) != 0) return GL_INVALID_VALUE;
    if (!isTableFormat(format) || !isTableType(type)) return GL_INVALID_ENUM;
    // In 64 bits: a huge width must not wrap to a small size.
    if (int64_t(width) * typeBytes(type) * componentsOf(base) > kMaxTableBytes) return kGlTableTooLarge;
    return 0;
}

GLenum __glCheckColorSubTableArgs(GlContext *, GLenum target, GLsizei start, GLsizei count, GLenum format,
                                  GLenum type) {
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return GL_INVALID_ENUM;
    if (start < 0 || count < 0) return GL_INVALID_VALUE;
    if (!isTableFormat(format) || !isTableType(type)) return GL_INVALID_ENUM;
    return 0;
}

void __glLoadColorTable(GlContext *ctx, GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                        GLenum type, const GLvoid *data, GLboolean packed) {
    GlColorTable *t = tableOf(ctx, target);
    if (t == nullptr) return;
    const bool proxy = target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D;
    tableChanged(ctx, target);
    if (width == 0) {
        // An empty table describes nothing: no format, no base format, no entries to look up.
        t->internalFormat = t->type = 0;
        t->width = 0;
        t->redBits = t->greenBits = t->blueBits = t->alphaBits = t->luminanceBits = t->intensityBits = 0;
        t->baseFormat = 0;
        return;
    }
    if (!resize(ctx, *t, target, internalFormat, baseOf(internalFormat), width, proxy) || proxy) return;
    loadEntries(ctx, *t, 0, width, format, type, data, packed != 0);
}

void __glLoadColorSubTable(GlContext *ctx, GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                           const GLvoid *data, GLboolean packed) {
    GlColorTable *t = tableOf(ctx, target);
    if (t == nullptr) return;
    // Compared without a sum that could wrap past the table.
    if (count > t->width || start > t->width - count) return __glSetError(GL_INVALID_VALUE);
    loadEntries(ctx, *t, start, count, format, type, data, packed != 0);
    tableChanged(ctx, target);
}

namespace {

void colorTable(GLenum target, GLenum internalformat, GLsizei width, GLenum format, GLenum type, const GLvoid *table,
                GLboolean packed) {
    GlContext *ctx = prologue();
    if (ctx == nullptr) return;
    const bool proxy = target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D;
    const GLenum e = __glCheckColorTableArgs(ctx, target, internalformat, width, format, type);
    if (e == kGlTableTooLarge && proxy) {
        width = 0;  // a proxy that would not fit records an empty table, without an error
    } else if (e != 0) {
        return __glSetError(e);
    }
    __glLoadColorTable(ctx, target, internalformat, width, format, type, table, packed);
    markDirty(ctx, kGlDirtyPixel | kGlDirtyGeneral);
}

void colorSubTable(GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type, const GLvoid *table,
                   GLboolean packed) {
    GlContext *ctx = prologue();
    if (ctx == nullptr) return;
    if (GLenum e = __glCheckColorSubTableArgs(ctx, target, start, count, format, type)) return __glSetError(e);
    __glLoadColorSubTable(ctx, target, start, count, format, type, table, packed);
    markDirty(ctx, kGlDirtyPixel | kGlDirtyGeneral);
}

}  // namespace

void __glColorTableFromList(GLenum target, GLenum internalFormat, GLsizei width, GLenum format, GLenum type,
                            const GLvoid *table) {
    colorTable(target, internalFormat, width, format, type, table, GL_TRUE);
}
void __glColorSubTableFromList(GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                               const GLvoid *table) {
    colorSubTable(target, start, count, format, type, table, GL_TRUE);
}

namespace icd {

void APIENTRY __glDoColorTable(GLenum target, GLenum internalformat, GLsizei width, GLenum format, GLenum type,
                               const GLvoid *table) {
    colorTable(target, internalformat, width, format, type, table, GL_FALSE);
}

void APIENTRY __glDoColorSubTable(GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                                  const GLvoid *table) {
    colorSubTable(target, start, count, format, type, table, GL_FALSE);
}

// Validation runs first here as well: the frame-buffer read takes the read buffer it chooses.
void APIENTRY __glDoCopyColorTable(GLenum target, GLenum internalformat, GLint x, GLint y, GLsizei width) {
    GlContext *ctx = prologue();
    if (ctx == nullptr) return;
    if (GLenum e = __glCheckColorTableArgs(ctx, target, internalformat, width, GL_RGBA, GL_FLOAT)) return __glSetError(e);
    if (target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D) return __glSetError(GL_INVALID_ENUM);
    GlColorTable *t = tableOf(ctx, target);
    if (t == nullptr) return;
    if (width == 0) {
        __glLoadColorTable(ctx, target, internalformat, 0, GL_RGBA, GL_FLOAT, nullptr, GL_TRUE);
        return markDirty(ctx, kGlDirtyPixel);
    }
    if (!resize(ctx, *t, target, internalformat, baseOf(internalformat), width, false)) return;
    tableChanged(ctx, target);
    GlPixelSpan span{};
    __glSetupFramebufferImageSource(ctx, &span, x, y, width, 1);
    setTableAsDest(ctx, &span, *t, 0, width);
    if (__glClipFramebufferImageSource(ctx, &span) && __glRunCopyImageFromFramebuffer(ctx, nullptr, &span))
        markDirty(ctx, kGlDirtyPixel);
}

// The table's entries packed into client memory through the pixel path with the pack modes.
void APIENTRY __glDoGetColorTable(GLenum target, GLenum format, GLenum type, GLvoid *table) {
    GlContext *ctx = prologue();
    if (ctx == nullptr) return;
    if (target != GL_TEXTURE_1D && target != GL_TEXTURE_2D) return __glSetError(GL_INVALID_ENUM);
    if (!isTableFormat(format) || !isTableType(type)) return __glSetError(GL_INVALID_ENUM);
    const GlColorTable *t = tableOf(ctx, target);
    if (t == nullptr || t->width <= 0 || t->entries == nullptr || table == nullptr) return;
    float *rgba = static_cast<float *>(ctx->hostProcs.alloc(ctx, size_t(t->width) * 16));
    if (rgba == nullptr) return __glSetError(GL_OUT_OF_MEMORY);
    entriesToRgba(*t, rgba);
    GlPixelSpan span{};
    __glSetupRgbaToImage(ctx, &span, rgba, t->width, 1, format, type, table);
    __glRunCopyImage(ctx, &span, GL_FALSE);
    ctx->hostProcs.free(ctx, rgba);
}

void APIENTRY __glDoGetColorTableParameterfv(GLenum target, GLenum pname, GLfloat *params) {
    getParameter(target, pname, params);
}
void APIENTRY __glDoGetColorTableParameteriv(GLenum target, GLenum pname, GLint *params) {
    getParameter(target, pname, params);
}

}  // namespace icd
