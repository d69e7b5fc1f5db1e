// Display-list commands that carry images: glBitmap, glPolygonStipple, glDrawPixels, the texture
// images and the colour tables. The client image is unpacked with the unpack modes in force when
// the list is compiled, into a tight block in the payload, so that running the list never depends
// on the pixel-store state of that moment. Each command's payload is one record struct, written
// when the command is recorded and read when it is replayed, followed by the image.
#include "icd/core/list_select.h"
#include "icd/core/list_pack.h"
#include "icd/core/list_routines.h"
#include "icd/pixel/color_table.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/texture_image.h"

using namespace listpack;

namespace {

// The opcodes of the image commands.
enum ImageOpcode : int16_t {
    kOpBitmap = 4,
    kOpPolygonStipple = 101,
    kOpTexImage1D = 108,
    kOpTexImage2D = 109,
    kOpDrawPixels = 171,
    kOpColorSubTable = 192,
    kOpColorTable = 193,
    kOpTexSubImage1D = 203,
    kOpTexSubImage2D = 204,
};

// The payload records; `imageBytes` bytes of tight image follow each (0: no image).
struct BitmapRecord {
    GLsizei width, height;
    GLfloat xorig, yorig, xmove, ymove;
    uint32_t imageBytes, spare;
};
static_assert(sizeof(BitmapRecord) == 32);

struct DrawPixelsRecord {
    GLsizei width, height;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(DrawPixelsRecord) == 20);

struct TexImage1DRecord {
    GLenum target;
    GLint level, internalFormat;
    GLsizei width;
    GLint border;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(TexImage1DRecord) == 32);

struct TexImage2DRecord {
    GLenum target;
    GLint level, internalFormat;
    GLsizei width, height;
    GLint border;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(TexImage2DRecord) == 36);

struct TexSubImage1DRecord {
    GLenum target;
    GLint level, xoffset;
    GLsizei width;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(TexSubImage1DRecord) == 28);

struct TexSubImage2DRecord {
    GLenum target;
    GLint level, xoffset, yoffset;
    GLsizei width, height;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(TexSubImage2DRecord) == 36);

struct ColorTableRecord {
    GLenum target, internalFormat;
    GLsizei width;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(ColorTableRecord) == 24);

struct ColorSubTableRecord {
    GLenum target;
    GLsizei start, count;
    GLenum format, type;
    uint32_t imageBytes;
};
static_assert(sizeof(ColorSubTableRecord) == 24);

constexpr uint32_t kStippleBytes = 128;  // 32 rows of 32 bits

GlContext *current() { return __glGetCurrentContext(); }
inline uint32_t roundUp4(uint32_t n) { return (n + 3) & ~3u; }

// Runs an immediate command with the unpack modes of a tight image, then restores them.
template <class F>
void withTightUnpack(GlContext *ctx, F run) {
    GlPixelStoreModes saved = ctx->state.pixel.store.unpack;
    GlPixelStoreModes tight{};
    tight.alignment = 1;
    ctx->state.pixel.store.unpack = tight;
    run();
    ctx->state.pixel.store.unpack = saved;
}

bool isIndexFormat(GLenum f) { return f == GL_COLOR_INDEX || f == GL_STENCIL_INDEX; }

// Formats and types an image command accepts. A packed type with a format of the wrong size is
// an operation error raised at once; the others are recorded.
GLenum checkFormat(GLenum format, GLenum type, bool drawPixels) {
    bool formatOk = format == GL_COLOR_INDEX || (format >= GL_RED && format <= GL_LUMINANCE_ALPHA) ||
                    format == GL_ABGR_EXT || format == GL_BGR_EXT || format == GL_BGRA_EXT ||
                    (drawPixels && (format == GL_STENCIL_INDEX || format == GL_DEPTH_COMPONENT));
    if (!formatOk) return GL_INVALID_ENUM;
    if (type == GL_BITMAP) return isIndexFormat(format) ? GL_NO_ERROR : GL_INVALID_ENUM;
    if (type >= GL_BYTE && type <= GL_FLOAT) return GL_NO_ERROR;
    if (type == GL_UNSIGNED_BYTE_3_3_2_EXT)
        return format == GL_RGB || format == GL_BGR_EXT ? GL_NO_ERROR : GL_INVALID_OPERATION;
    if (type >= GL_UNSIGNED_SHORT_4_4_4_4_EXT && type <= GL_UNSIGNED_INT_10_10_10_2_EXT)
        return format == GL_RGBA || format == GL_ABGR_EXT || format == GL_BGRA_EXT ? GL_NO_ERROR
                                                                                     : GL_INVALID_OPERATION;
    return GL_INVALID_ENUM;
}

// The recorded error for a format check that failed (an operation error is raised at once).
void formatError(GlContext *ctx, GLenum error) {
    if (error == GL_INVALID_OPERATION) return __glSetError(GL_INVALID_OPERATION);
    __glCompileError(ctx, error);
}

// Records one image command: the record R, then the image of `size` bytes unpacked from the
// client with the unpack modes (no image when there is none or it cannot be unpacked).
template <class R>
void recordImage(GlContext *ctx, ImageOpcode opcode, R record, int32_t size, GLsizei width, GLsizei height,
                 GLenum format, GLenum type, const void *pixels, GlListExecProc replay) {
    uint32_t imageBytes = 0;
    if (size > 0 && size <= 0x7FFFFFFC && pixels != nullptr) imageBytes = roundUp4(uint32_t(size));
    if (uint64_t(sizeof(R)) + imageBytes > 0x7FFFFF00u) return __glSetError(GL_OUT_OF_MEMORY);
    GlListNode *n = newNode(ctx, opcode, uint32_t(sizeof(R)) + imageBytes, false);
    if (n == nullptr) return;
    if (imageBytes != 0 && !__glUnpackImage(ctx, width, height, format, type, pixels, n->payload() + sizeof(R))) {
        imageBytes = 0;
        n->payloadSize = int32_t(sizeof(R));
    }
    record.imageBytes = imageBytes;
    std::memcpy(n->payload(), &record, sizeof(R));
    __glAppendListNode(ctx, n, replay);
}

// The record at the start of a payload, and its image (null when none was recorded).
template <class R>
R recordAt(const uint8_t *p) {
    R r;
    std::memcpy(&r, p, sizeof(R));
    return r;
}
template <class R>
const void *imageOf(const uint8_t *p, const R &r) {
    return r.imageBytes != 0 ? p + sizeof(R) : nullptr;
}
template <class R>
const uint8_t *next(const uint8_t *p, const R &r) {
    return p + sizeof(R) + r.imageBytes;
}

}  // namespace

namespace listexec {

const uint8_t *bitmap(const uint8_t *p) {
    const auto r = recordAt<BitmapRecord>(p);
    withTightUnpack(current(), [&] {
        liveSlot<void(APIENTRY *)(GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte *)>(slot::glBitmap)(
            r.width, r.height, r.xorig, r.yorig, r.xmove, r.ymove, static_cast<const GLubyte *>(imageOf(p, r)));
    });
    return next(p, r);
}

const uint8_t *polygonStipple(const uint8_t *p) {
    withTightUnpack(current(), [&] { liveSlot<void(APIENTRY *)(const GLubyte *)>(slot::glPolygonStipple)(p); });
    return p + kStippleBytes;
}

const uint8_t *drawPixels(const uint8_t *p) {
    const auto r = recordAt<DrawPixelsRecord>(p);
    withTightUnpack(current(), [&] {
        liveSlot<void(APIENTRY *)(GLsizei, GLsizei, GLenum, GLenum, const GLvoid *)>(slot::glDrawPixels)(
            r.width, r.height, r.format, r.type, imageOf(p, r));
    });
    return next(p, r);
}

const uint8_t *texImage1D(const uint8_t *p) {
    const auto r = recordAt<TexImage1DRecord>(p);
    __glTexImage1DFromList(r.target, r.level, r.internalFormat, r.width, r.border, r.format, r.type, imageOf(p, r));
    return next(p, r);
}

const uint8_t *texImage2D(const uint8_t *p) {
    const auto r = recordAt<TexImage2DRecord>(p);
    __glTexImage2DFromList(r.target, r.level, r.internalFormat, r.width, r.height, r.border, r.format, r.type,
                           imageOf(p, r));
    return next(p, r);
}

const uint8_t *texSubImage1D(const uint8_t *p) {
    const auto r = recordAt<TexSubImage1DRecord>(p);
    __glTexSubImage1DFromList(r.target, r.level, r.xoffset, r.width, r.format, r.type, imageOf(p, r));
    return next(p, r);
}

const uint8_t *texSubImage2D(const uint8_t *p) {
    const auto r = recordAt<TexSubImage2DRecord>(p);
    __glTexSubImage2DFromList(r.target, r.level, r.xoffset, r.yoffset, r.width, r.height, r.format, r.type,
                              imageOf(p, r));
    return next(p, r);
}

const uint8_t *colorTable(const uint8_t *p) {
    const auto r = recordAt<ColorTableRecord>(p);
    __glColorTableFromList(r.target, r.internalFormat, r.width, r.format, r.type, imageOf(p, r));
    return next(p, r);
}

const uint8_t *colorSubTable(const uint8_t *p) {
    const auto r = recordAt<ColorSubTableRecord>(p);
    __glColorSubTableFromList(r.target, r.start, r.count, r.format, r.type, imageOf(p, r));
    return next(p, r);
}

}  // namespace listexec

namespace icd::compile {

void APIENTRY glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
                       const GLubyte *bitmap) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    int32_t size = __glImageSize(width, height, GL_COLOR_INDEX, GL_BITMAP);
    if (size < 0) return __glSetError(GL_OUT_OF_MEMORY);
    recordImage(ctx, kOpBitmap, BitmapRecord{width, height, xorig, yorig, xmove, ymove, 0, 0}, size, width, height,
                GL_COLOR_INDEX, GL_BITMAP, bitmap, listexec::bitmap);
}

void APIENTRY glPolygonStipple(const GLubyte *mask) {
    GlContext *ctx = current();
    GlListNode *n = newNode(ctx, kOpPolygonStipple, kStippleBytes, false);
    if (n == nullptr) return;
    if (!__glUnpackImage(ctx, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask, n->payload()))
        std::memset(n->payload(), 0xFF, kStippleBytes);
    __glAppendListNode(ctx, n, listexec::polygonStipple);
}

void APIENTRY glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, true)) return formatError(ctx, e);
    int32_t size = __glImageSize(width, height, format, type);
    if (size < 0) return __glSetError(GL_OUT_OF_MEMORY);
    recordImage(ctx, kOpDrawPixels, DrawPixelsRecord{width, height, format, type, 0}, size, width, height, format,
                type, pixels, listexec::drawPixels);
}

void APIENTRY glTexImage1D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLint border, GLenum format,
                           GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (target == GL_PROXY_TEXTURE_1D) {
        // A proxy answers a question now; nothing to record.
        using F = void(APIENTRY *)(GLenum, GLint, GLint, GLsizei, GLint, GLenum, GLenum, const GLvoid *);
        return reinterpret_cast<F>(ctx->execTable->slot[slot::glTexImage1D])(target, level, internalformat, width,
                                                                             border, format, type, pixels);
    }
    if ((border != 0 && border != 1) || width < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    recordImage(ctx, kOpTexImage1D,
                TexImage1DRecord{target, level, internalformat, width, border, format, type, 0},
                __glImageSize(width, 1, format, type), width, 1, format, type, pixels, listexec::texImage1D);
}

void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                           GLint border, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (target == GL_PROXY_TEXTURE_2D) {
        using F = void(APIENTRY *)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum, const GLvoid *);
        return reinterpret_cast<F>(ctx->execTable->slot[slot::glTexImage2D])(target, level, internalformat, width,
                                                                             height, border, format, type, pixels);
    }
    if ((border != 0 && border != 1) || width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    recordImage(ctx, kOpTexImage2D,
                TexImage2DRecord{target, level, internalformat, width, height, border, format, type, 0},
                __glImageSize(width, height, format, type), width, height, format, type, pixels,
                listexec::texImage2D);
}

void APIENTRY glTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLsizei width, GLenum format, GLenum type,
                              const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    recordImage(ctx, kOpTexSubImage1D, TexSubImage1DRecord{target, level, xoffset, width, format, type, 0},
                __glImageSize(width, 1, format, type), width, 1, format, type, pixels, listexec::texSubImage1D);
}

void APIENTRY glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,
                              GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    recordImage(ctx, kOpTexSubImage2D,
                TexSubImage2DRecord{target, level, xoffset, yoffset, width, height, format, type, 0},
                __glImageSize(width, height, format, type), width, height, format, type, pixels,
                listexec::texSubImage2D);
}

}  // namespace icd::compile

namespace icd {

// A table's argument errors are recorded (a proxy target answers at once); the entries go into
// the list unpacked.
void APIENTRY __glCompileColorTable(GLenum target, GLenum internalformat, GLsizei width, GLenum format, GLenum type,
                                    const GLvoid *table) {
    GlContext *ctx = current();
    if (target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D) {
        using F = void(APIENTRY *)(GLenum, GLenum, GLsizei, GLenum, GLenum, const GLvoid *);
        return reinterpret_cast<F>(ctx->execTable->slot[slot::__glDoColorTable])(target, internalformat, width, format,
                                                                                 type, table);
    }
    if (GLenum e = __glCheckColorTableArgs(ctx, target, internalformat, width, format, type))
        return __glCompileError(ctx, e);
    recordImage(ctx, kOpColorTable, ColorTableRecord{target, internalformat, width, format, type, 0},
                __glImageSize(width, 1, format, type), width, 1, format, type, table, listexec::colorTable);
}

void APIENTRY __glCompileColorSubTable(GLenum target, GLsizei start, GLsizei count, GLenum format, GLenum type,
                                       const GLvoid *table) {
    GlContext *ctx = current();
    if (GLenum e = __glCheckColorSubTableArgs(ctx, target, start, count, format, type)) return __glCompileError(ctx, e);
    recordImage(ctx, kOpColorSubTable, ColorSubTableRecord{target, start, count, format, type, 0},
                __glImageSize(count, 1, format, type), count, 1, format, type, table, listexec::colorSubTable);
}

}  // namespace icd
