// Display-list commands that carry images: glBitmap, glPolygonStipple, glDrawPixels and the
// texture images. The client image is unpacked with the unpack modes in force when the list is
// compiled, into a tight block in the payload, so that running the list never depends on the
// pixel-store state of that moment.
#include "icd/core/built.h"
#include "icd/core/list_pack.h"
#include "icd/core/list_routines.h"
#include "icd/pixel/pixel_span.h"
#include "icd/pixel/texture_image.h"

using namespace listpack;

namespace {

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

// A node of a header of `header` bytes followed by the image unpacked (imageBytes words are
// written by the caller's header). Returns null after an error; *image points at the image area.
GlListNode *imageNode(GlContext *ctx, int16_t opcode, uint32_t header, int32_t size, GLsizei width, GLsizei height,
                      GLenum format, GLenum type, const void *pixels, uint32_t &imageBytes) {
    imageBytes = 0;
    if (size > 0 && size <= 0x7FFFFFFC && pixels != nullptr) imageBytes = roundUp4(uint32_t(size));
    if (uint64_t(header) + imageBytes > 0x7FFFFF00u) {
        __glSetError(GL_OUT_OF_MEMORY);
        return nullptr;
    }
    GlListNode *n = newNode(ctx, opcode, header + imageBytes, false);
    if (n == nullptr) return nullptr;
    // An image that cannot be unpacked is recorded as no image at all.
    if (imageBytes != 0 && !__glUnpackImage(ctx, width, height, format, type, pixels, n->payload() + header))
        imageBytes = 0, n->payloadSize = int32_t(header);
    return n;
}

inline const void *imageOrNull(const uint8_t *image, uint32_t bytes) { return bytes != 0 ? image : nullptr; }

}  // namespace

namespace listexec {

// {width, height, xorig, yorig, xmove, ymove, image bytes, spare, image}
const uint8_t *bitmap(const uint8_t *p) {
    GlContext *ctx = current();
    uint32_t bytes = load<uint32_t>(p + 24);
    withTightUnpack(ctx, [&] {
        liveSlot<void(APIENTRY *)(GLsizei, GLsizei, GLfloat, GLfloat, GLfloat, GLfloat, const GLubyte *)>(slot::glBitmap)(
            load<GLsizei>(p), load<GLsizei>(p + 4), load<GLfloat>(p + 8), load<GLfloat>(p + 12), load<GLfloat>(p + 16),
            load<GLfloat>(p + 20), static_cast<const GLubyte *>(imageOrNull(p + 32, bytes)));
    });
    return p + 32 + bytes;
}

// The 32 x 32 mask, 128 bytes.
const uint8_t *polygonStipple(const uint8_t *p) {
    withTightUnpack(current(), [&] { liveSlot<void(APIENTRY *)(const GLubyte *)>(slot::glPolygonStipple)(p); });
    return p + 128;
}

// {width, height, format, type, image bytes, image}
const uint8_t *drawPixels(const uint8_t *p) {
    uint32_t bytes = load<uint32_t>(p + 16);
    withTightUnpack(current(), [&] {
        liveSlot<void(APIENTRY *)(GLsizei, GLsizei, GLenum, GLenum, const GLvoid *)>(slot::glDrawPixels)(
            load<GLsizei>(p), load<GLsizei>(p + 4), load<GLenum>(p + 8), load<GLenum>(p + 12), imageOrNull(p + 20, bytes));
    });
    return p + 20 + bytes;
}

// {target, level, internalformat, width, border, format, type, image bytes, image}
const uint8_t *texImage1D(const uint8_t *p) {
    uint32_t bytes = load<uint32_t>(p + 28);
    __glTexImage1DFromList(load<GLenum>(p), load<GLint>(p + 4), load<GLint>(p + 8), load<GLsizei>(p + 12),
                           load<GLint>(p + 16), load<GLenum>(p + 20), load<GLenum>(p + 24), imageOrNull(p + 32, bytes));
    return p + 32 + bytes;
}

// {target, level, internalformat, width, height, border, format, type, image bytes, image}
const uint8_t *texImage2D(const uint8_t *p) {
    uint32_t bytes = load<uint32_t>(p + 32);
    __glTexImage2DFromList(load<GLenum>(p), load<GLint>(p + 4), load<GLint>(p + 8), load<GLsizei>(p + 12),
                           load<GLsizei>(p + 16), load<GLint>(p + 20), load<GLenum>(p + 24), load<GLenum>(p + 28),
                           imageOrNull(p + 36, bytes));
    return p + 36 + bytes;
}

// {target, level, xoffset, width, format, type, image bytes, image}
const uint8_t *texSubImage1D(const uint8_t *p) {
    uint32_t bytes = load<uint32_t>(p + 24);
    __glTexSubImage1DFromList(load<GLenum>(p), load<GLint>(p + 4), load<GLint>(p + 8), load<GLsizei>(p + 12),
                              load<GLenum>(p + 16), load<GLenum>(p + 20), imageOrNull(p + 28, bytes));
    return p + 28 + bytes;
}

// {target, level, xoffset, yoffset, width, height, format, type, image bytes, image}
const uint8_t *texSubImage2D(const uint8_t *p) {
    uint32_t bytes = load<uint32_t>(p + 32);
    __glTexSubImage2DFromList(load<GLenum>(p), load<GLint>(p + 4), load<GLint>(p + 8), load<GLint>(p + 12),
                              load<GLsizei>(p + 16), load<GLsizei>(p + 20), load<GLenum>(p + 24), load<GLenum>(p + 28),
                              imageOrNull(p + 36, bytes));
    return p + 36 + bytes;
}

}  // namespace listexec

namespace icd::compile {

void APIENTRY glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
                       const GLubyte *bitmap) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    int32_t size = __glImageSize(width, height, GL_COLOR_INDEX, GL_BITMAP);
    if (size < 0) return __glSetError(GL_OUT_OF_MEMORY);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 4, 32, size, width, height, GL_COLOR_INDEX, GL_BITMAP, bitmap, bytes);
    if (n == nullptr) return;
    const uint32_t header[8] = {uint32_t(width), uint32_t(height), 0, 0, 0, 0, bytes, 0};
    std::memcpy(n->payload(), header, sizeof header);
    const GLfloat moves[4] = {xorig, yorig, xmove, ymove};
    std::memcpy(n->payload() + 8, moves, sizeof moves);
    __glAppendListNode(ctx, n, listexec::bitmap);
}

void APIENTRY glPolygonStipple(const GLubyte *mask) {
    GlContext *ctx = current();
    GlListNode *n = newNode(ctx, 101, 128, false);
    if (n == nullptr) return;
    if (!__glUnpackImage(ctx, 32, 32, GL_COLOR_INDEX, GL_BITMAP, mask, n->payload())) std::memset(n->payload(), 0xFF, 128);
    __glAppendListNode(ctx, n, listexec::polygonStipple);
}

void APIENTRY glDrawPixels(GLsizei width, GLsizei height, GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, true)) return formatError(ctx, e);
    int32_t size = __glImageSize(width, height, format, type);
    if (size < 0) return __glSetError(GL_OUT_OF_MEMORY);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 171, 20, size, width, height, format, type, pixels, bytes);
    if (n == nullptr) return;
    const uint32_t header[5] = {uint32_t(width), uint32_t(height), format, type, bytes};
    std::memcpy(n->payload(), header, sizeof header);
    __glAppendListNode(ctx, n, listexec::drawPixels);
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
    int32_t size = __glImageSize(width, 1, format, type);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 108, 32, size, width, 1, format, type, pixels, bytes);
    if (n == nullptr) return;
    const uint32_t header[8] = {target, uint32_t(level), uint32_t(internalformat), uint32_t(width), uint32_t(border),
                                format, type, bytes};
    std::memcpy(n->payload(), header, sizeof header);
    __glAppendListNode(ctx, n, listexec::texImage1D);
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
    int32_t size = __glImageSize(width, height, format, type);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 109, 36, size, width, height, format, type, pixels, bytes);
    if (n == nullptr) return;
    const uint32_t header[9] = {target, uint32_t(level), uint32_t(internalformat), uint32_t(width), uint32_t(height),
                                uint32_t(border), format, type, bytes};
    std::memcpy(n->payload(), header, sizeof header);
    __glAppendListNode(ctx, n, listexec::texImage2D);
}

void APIENTRY glTexSubImage1D(GLenum target, GLint level, GLint xoffset, GLsizei width, GLenum format, GLenum type,
                              const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    int32_t size = __glImageSize(width, 1, format, type);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 203, 28, size, width, 1, format, type, pixels, bytes);
    if (n == nullptr) return;
    const uint32_t header[7] = {target, uint32_t(level), uint32_t(xoffset), uint32_t(width), format, type, bytes};
    std::memcpy(n->payload(), header, sizeof header);
    __glAppendListNode(ctx, n, listexec::texSubImage1D);
}

void APIENTRY glTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width, GLsizei height,
                              GLenum format, GLenum type, const GLvoid *pixels) {
    GlContext *ctx = current();
    if (width < 0 || height < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    if (GLenum e = checkFormat(format, type, false)) return formatError(ctx, e);
    int32_t size = __glImageSize(width, height, format, type);
    uint32_t bytes;
    GlListNode *n = imageNode(ctx, 204, 36, size, width, height, format, type, pixels, bytes);
    if (n == nullptr) return;
    const uint32_t header[9] = {target, uint32_t(level), uint32_t(xoffset), uint32_t(yoffset), uint32_t(width),
                                uint32_t(height), format, type, bytes};
    std::memcpy(n->payload(), header, sizeof header);
    __glAppendListNode(ctx, n, listexec::texSubImage2D);
}

}  // namespace icd::compile
