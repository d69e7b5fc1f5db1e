// Client texels into level layouts: a tight client row (any accepted format and type) is read
// as RGBA in [0, 1], reduced to the level's base format and packed into the level's layout.
#include <cstring>
#include "icd/pixel/texture_convert.h"

namespace {

int32_t componentsOf(GLenum format) {
    switch (format) {
    case GL_RGB:
    case GL_BGR_EXT: return 3;
    case GL_RGBA:
    case GL_ABGR_EXT:
    case GL_BGRA_EXT: return 4;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 1;
    }
}

bool isPacked(GLenum type) { return type >= GL_UNSIGNED_BYTE_3_3_2_EXT && type <= GL_UNSIGNED_INT_10_10_10_2_EXT; }

int32_t typeBytes(GLenum type) {
    switch (type) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE:
    case GL_UNSIGNED_BYTE_3_3_2_EXT: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT:
    case GL_UNSIGNED_SHORT_4_4_4_4_EXT:
    case GL_UNSIGNED_SHORT_5_5_5_1_EXT: return 2;
    default: return 4;
    }
}

// One component of a plain type as a value in [0, 1] (signed types map onto [-1, 1] and clamp).
float component(const uint8_t *p, GLenum type) {
    float v;
    switch (type) {
    case GL_UNSIGNED_BYTE: v = float(*p) / 255.0f; break;
    case GL_BYTE: v = float((2.0 * int8_t(*p) + 1.0) / 255.0); break;
    case GL_UNSIGNED_SHORT: { uint16_t u; std::memcpy(&u, p, 2); v = float(u) / 65535.0f; break; }
    case GL_SHORT: { int16_t s; std::memcpy(&s, p, 2); v = float((2.0 * s + 1.0) / 65535.0); break; }
    case GL_UNSIGNED_INT: { uint32_t u; std::memcpy(&u, p, 4); v = float(double(u) / 4294967295.0); break; }
    case GL_INT: { int32_t s; std::memcpy(&s, p, 4); v = float((2.0 * s + 1.0) / 4294967295.0); break; }
    default: std::memcpy(&v, p, 4); break;
    }
    if (!(v > 0.0f)) return 0.0f;  // negative values and NaN
    return v > 1.0f ? 1.0f : v;
}

// The fields of a packed pixel, most significant first, as values in [0, 1].
void unpackFields(const uint8_t *p, GLenum type, float *out) {
    static const struct {
        GLenum type;
        int count;
        int bits[4];
    } kLayouts[] = {
        {GL_UNSIGNED_BYTE_3_3_2_EXT, 3, {3, 3, 2, 0}},
        {GL_UNSIGNED_SHORT_4_4_4_4_EXT, 4, {4, 4, 4, 4}},
        {GL_UNSIGNED_SHORT_5_5_5_1_EXT, 4, {5, 5, 5, 1}},
        {GL_UNSIGNED_INT_8_8_8_8_EXT, 4, {8, 8, 8, 8}},
        {GL_UNSIGNED_INT_10_10_10_2_EXT, 4, {10, 10, 10, 2}},
    };
    uint32_t word = 0;
    const int bytes = typeBytes(type);
    std::memcpy(&word, p, size_t(bytes));
    int shift = bytes * 8;
    for (const auto &l : kLayouts) {
        if (l.type != type) continue;
        for (int i = 0; i < l.count; ++i) {
            shift -= l.bits[i];
            const uint32_t max = (1u << l.bits[i]) - 1u;
            out[i] = float((word >> shift) & max) / float(max);
        }
    }
}

// A pixel's components in format order into RGBA.
void toRgba(GLenum format, const float *c, float *rgba) {
    rgba[0] = rgba[1] = rgba[2] = 0.0f;
    rgba[3] = 1.0f;
    switch (format) {
    case GL_RED: rgba[0] = c[0]; break;
    case GL_GREEN: rgba[1] = c[0]; break;
    case GL_BLUE: rgba[2] = c[0]; break;
    case GL_ALPHA: rgba[3] = c[0]; break;
    case GL_LUMINANCE: rgba[0] = rgba[1] = rgba[2] = c[0]; break;
    case GL_LUMINANCE_ALPHA:
        rgba[0] = rgba[1] = rgba[2] = c[0];
        rgba[3] = c[1];
        break;
    case GL_RGB: rgba[0] = c[0], rgba[1] = c[1], rgba[2] = c[2]; break;
    case GL_BGR_EXT: rgba[0] = c[2], rgba[1] = c[1], rgba[2] = c[0]; break;
    case GL_RGBA: rgba[0] = c[0], rgba[1] = c[1], rgba[2] = c[2], rgba[3] = c[3]; break;
    case GL_BGRA_EXT: rgba[0] = c[2], rgba[1] = c[1], rgba[2] = c[0], rgba[3] = c[3]; break;
    case GL_ABGR_EXT: rgba[0] = c[3], rgba[1] = c[2], rgba[2] = c[1], rgba[3] = c[0]; break;
    default:  // colour indices go through the index maps, whose defaults map every index to 0
        rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
        break;
    }
}

uint32_t quantise(float v, int bits) { return uint32_t(v * float((1u << bits) - 1u) + 0.5f); }

void put16(uint8_t *out, uint32_t v) {
    const uint16_t h = uint16_t(v);
    std::memcpy(out, &h, 2);
}

// RGBA reduced to the base format, then packed into the layout: the colour channels of a
// luminance or intensity texel repeat its value.
void encode(const float *in, GLenum baseFormat, const GlTexelFormat *row, uint8_t *out) {
    float r = in[0], g = in[1], b = in[2], a = in[3];
    switch (baseFormat) {
    case GL_LUMINANCE: g = b = r, a = 1.0f; break;
    case GL_LUMINANCE_ALPHA: g = b = r; break;
    case GL_INTENSITY: g = b = a = r; break;
    case GL_ALPHA: r = g = b = 0.0f; break;
    case GL_RGB: a = 1.0f; break;
    default: break;
    }
    switch (row->id) {
    case kGlTexelL8:
    case kGlTexelI8:
    case kGlTexelIndex8: out[0] = uint8_t(quantise(r, 8)); break;
    case kGlTexelL8A8: out[0] = uint8_t(quantise(r, 8)), out[1] = uint8_t(quantise(a, 8)); break;
    case kGlTexelRgb8: out[0] = uint8_t(quantise(r, 8)), out[1] = uint8_t(quantise(g, 8)), out[2] = uint8_t(quantise(b, 8)); break;
    case kGlTexelRgba8:
        out[0] = uint8_t(quantise(r, 8)), out[1] = uint8_t(quantise(g, 8)), out[2] = uint8_t(quantise(b, 8));
        out[3] = uint8_t(quantise(a, 8));
        break;
    case kGlTexelA8: out[0] = uint8_t(quantise(a, 8)); break;
    case kGlTexelRgb332: out[0] = uint8_t(quantise(r, 3) << 5 | quantise(g, 3) << 2 | quantise(b, 2)); break;
    case kGlTexelXrgb1555: put16(out, quantise(r, 5) << 10 | quantise(g, 5) << 5 | quantise(b, 5)); break;
    case kGlTexelRgb565: put16(out, quantise(r, 5) << 11 | quantise(g, 6) << 5 | quantise(b, 5)); break;
    case kGlTexelRgba4444: put16(out, quantise(r, 4) << 12 | quantise(g, 4) << 8 | quantise(b, 4) << 4 | quantise(a, 4)); break;
    case kGlTexelArgb4444: put16(out, quantise(a, 4) << 12 | quantise(r, 4) << 8 | quantise(g, 4) << 4 | quantise(b, 4)); break;
    case kGlTexelRgba5551: put16(out, quantise(r, 5) << 11 | quantise(g, 5) << 6 | quantise(b, 5) << 1 | quantise(a, 1)); break;
    case kGlTexelArgb1555: put16(out, quantise(a, 1) << 15 | quantise(r, 5) << 10 | quantise(g, 5) << 5 | quantise(b, 5)); break;
    case kGlTexelA4:  // the luminance-as-alpha form keeps a luminance on top; the low bits are set
        put16(out, quantise(baseFormat == GL_LUMINANCE ? r : a, 4) << 12 | 0x0FFFu);
        break;
    default: put16(out, 0); break;  // 16-bit colour indices: none are accepted from client images
    }
}

}  // namespace

int32_t __glTightRowBytes(int32_t width, GLenum format, GLenum type) {
    if (type == GL_BITMAP) return (width + 7) / 8;
    return width * typeBytes(type) * (isPacked(type) ? 1 : componentsOf(format));
}

void __glClientPixelsToRgba(const uint8_t *src, GLenum format, GLenum type, int32_t width, float *rgba) {
    const int32_t comps = componentsOf(format);
    const int32_t size = typeBytes(type);
    const int32_t pixelBytes = isPacked(type) ? size : size * comps;
    for (int32_t x = 0; x < width; ++x) {
        float c[4] = {0, 0, 0, 0};
        if (isPacked(type)) {
            unpackFields(src + x * pixelBytes, type, c);
        } else if (type != GL_BITMAP) {
            for (int32_t i = 0; i < comps; ++i) c[i] = component(src + x * pixelBytes + i * size, type);
        }
        toRgba(format, c, rgba + 4 * x);
    }
}

void __glConvertTexelRow(const uint8_t *src, GLenum format, GLenum type, int32_t width, GLenum baseFormat,
                         const GlTexelFormat *row, uint8_t *dst) {
    const int32_t bpt = row->bitsPerTexel >> 3;
    float rgba[4 * 64];
    for (int32_t x = 0; x < width; x += 64) {
        const int32_t n = width - x < 64 ? width - x : 64;
        const size_t offset = type == GL_BITMAP ? 0 : size_t(x) * size_t(__glTightRowBytes(1, format, type));
        __glClientPixelsToRgba(src + offset, format, type, n, rgba);
        for (int32_t i = 0; i < n; ++i) encode(rgba + 4 * i, baseFormat, row, dst + (x + i) * bpt);
    }
}
