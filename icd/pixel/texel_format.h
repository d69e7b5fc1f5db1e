// The internal-format classes the texture entries and the colour tables accept.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"

// The base format of an internal format that names a colour layout (1-4, the unsized and sized
// alpha, luminance, luminance-alpha, intensity, RGB and RGBA formats, and the colour-index
// formats when `indexFormats` is set); 0 for anything else.
GLenum __glTexBaseFormat(GLenum internalFormat, bool indexFormats);

// The device chooser as the device hook record holds it: the row id, or -1 when the internal
// format has no device row.
int32_t __glChooseDeviceTexelFormat(GlContext *ctx, GLenum internalFormat);
