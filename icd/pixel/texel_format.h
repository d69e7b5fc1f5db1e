// The internal-format classes the texture entries and the colour tables accept, and the texel
// fetch procs the layout rows carry.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"

// The fetch procs of the layout rows: plain and bordered twin of each layout.
#define GL_TEXEL_FETCH_PROCS(X)                                                          \
    X(__glFetchTexelL8) X(__glFetchTexelL8Border) X(__glFetchTexelL8A8)                   \
    X(__glFetchTexelL8A8Border) X(__glFetchTexelRgb8) X(__glFetchTexelRgb8Border)         \
    X(__glFetchTexelRgb332) X(__glFetchTexelRgb332Border) X(__glFetchTexelXrgb1555)       \
    X(__glFetchTexelXrgb1555Border) X(__glFetchTexelRgb565) X(__glFetchTexelRgb565Border) \
    X(__glFetchTexelRgba8) X(__glFetchTexelRgba8Border) X(__glFetchTexelRgba4444)         \
    X(__glFetchTexelRgba4444Border) X(__glFetchTexelArgb4444)                             \
    X(__glFetchTexelArgb4444Border) X(__glFetchTexelRgba5551)                             \
    X(__glFetchTexelRgba5551Border) X(__glFetchTexelArgb1555)                             \
    X(__glFetchTexelArgb1555Border) X(__glFetchTexelA8) X(__glFetchTexelA8Border)         \
    X(__glFetchTexelI8) X(__glFetchTexelI8Border) X(__glFetchTexelIndex8)                 \
    X(__glFetchTexelIndex8Border) X(__glFetchTexelIndex16) X(__glFetchTexelIndex16Border) \
    X(__glFetchTexelA4) X(__glFetchTexelA4Border)

#define GL_DECLARE_TEXEL_FETCH(name) \
    void name(GlMipLevel *level, GlTextureObject *tex, int32_t r, int32_t t, int32_t s, uint8_t *out);
GL_TEXEL_FETCH_PROCS(GL_DECLARE_TEXEL_FETCH)
#undef GL_DECLARE_TEXEL_FETCH

// The base format of an internal format that names a colour layout (1-4, the unsized and sized
// alpha, luminance, luminance-alpha, intensity, RGB and RGBA formats, and the colour-index
// formats when `indexFormats` is set); 0 for anything else.
GLenum __glTexBaseFormat(GLenum internalFormat, bool indexFormats);

// The device chooser as the device hook record holds it: the row id, or -1 when the internal
// format has no device row.
int32_t __glChooseDeviceTexelFormat(GlContext *ctx, GLenum internalFormat);
