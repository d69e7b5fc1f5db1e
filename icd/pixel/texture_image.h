// The argument checks of the texture image entries and their display-list bodies. Each check
// returns the bound object, or null after recording the error.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"

struct GlContext;

GlTextureObject *__glCheckTexImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                       GLint border, GLenum format, GLenum type, int32_t dims);
// size - 2 x border must be 0 or a power of two.
bool __glCheckTexImageSize(GlContext *ctx, GLsizei size, GLint border);
// The common part, then the width (and the height) against the border.
GlTextureObject *__glCheckTexImage1DArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                         GLsizei width, GLint border, GLenum format, GLenum type);
GlTextureObject *__glCheckTexImage2DArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                         GLsizei width, GLsizei height, GLint border, GLenum format, GLenum type);
GlTextureObject *__glCheckCopyTexImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum internalFormat,
                                           GLsizei width, GLsizei height, GLint border, int32_t dims);
GlTextureObject *__glCheckTexSubImageArgs(GlContext *ctx, GLenum target, GLint level, GLenum format, GLenum type,
                                          int32_t dims);
GlTextureObject *__glCheckTexSubImage1DArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset, GLsizei width,
                                            GLenum format, GLenum type);
GlTextureObject *__glCheckTexSubImage2DArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset, GLint yoffset,
                                            GLsizei width, GLsizei height, GLenum format, GLenum type);
GlTextureObject *__glCheckCopyTexSubImageArgs(GlContext *ctx, GLenum target, GLint level, GLint xoffset,
                                              GLint yoffset, GLsizei width, GLsizei height, int32_t dims);
// offset >= -border and offset + size <= levelSize - border, size >= 0.
bool __glCheckTexRegion(GlContext *ctx, const GlMipLevel *level, GLint offset, GLsizei size, int32_t levelSize);

// Display-list bodies: the image is tightly packed in the default layout.
void __glTexImage1DFromList(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLint border,
                            GLenum format, GLenum type, const GLvoid *pixels);
void __glTexImage2DFromList(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                            GLint border, GLenum format, GLenum type, const GLvoid *pixels);
void __glTexSubImage1DFromList(GLenum target, GLint level, GLint xoffset, GLsizei width, GLenum format, GLenum type,
                               const GLvoid *pixels);
void __glTexSubImage2DFromList(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLsizei width,
                               GLsizei height, GLenum format, GLenum type, const GLvoid *pixels);
