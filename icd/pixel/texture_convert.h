// Client texels into the layouts of texture levels.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"

// Bytes of one row of a tightly packed client image.
int32_t __glTightRowBytes(int32_t width, GLenum format, GLenum type);
// Converts `width` client pixels of a tight row into texels of `row`, for a level of the base
// format (luminance levels repeat the luminance into the colour channels of RGB layouts).
void __glConvertTexelRow(const uint8_t *src, GLenum format, GLenum type, int32_t width, GLenum baseFormat,
                         const GlTexelFormat *row, uint8_t *dst);
// Reads `width` client pixels of a tight row as RGBA floats in [0, 1] (missing colour channels 0,
// missing alpha 1; luminance repeats into red, green and blue).
void __glClientPixelsToRgba(const uint8_t *src, GLenum format, GLenum type, int32_t width, float *rgba);
