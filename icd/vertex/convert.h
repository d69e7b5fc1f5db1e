// The component conversions of the colour and normal commands, shared by the immediate entries
// and the array fetch procs: an element drawn from an array and the same values given to the
// immediate entry must give the same record, bit for bit. Also the load of a client value.
#pragma once
#include <cstdint>
#include <cstring>
#include <GL/gl.h>
#include "icd/core/context.h"

// Signed types map -max..max onto -1..1 through 2c + 1, unsigned ones 0..max onto 0..1, with
// the context's single-precision scale constants. The int forms work in extended precision so
// 2c + 1 never overflows and the product is rounded once.
inline float __glUnitOf(const GlContext *ctx, GLubyte c) { return ctx->ubyteToFloat[c]; }
inline float __glUnitOf(const GlContext *ctx, GLbyte c) { return float(2 * int(c) + 1) * ctx->oneOver255; }
inline float __glUnitOf(const GlContext *ctx, GLshort c) { return float(2 * int(c) + 1) * ctx->oneOver65535; }
inline float __glUnitOf(const GlContext *ctx, GLushort c) { return float(c) * ctx->oneOver65535; }
inline float __glUnitOf(const GlContext *ctx, GLint c) {
    return float((2.0L * (long double)c + 1.0L) * (long double)ctx->oneOverUint);
}
inline float __glUnitOf(const GlContext *ctx, GLuint c) {
    return float((long double)uint64_t(c) * (long double)ctx->oneOverUint);
}
inline float __glUnitOf(const GlContext *, GLfloat c) { return c; }
inline float __glUnitOf(const GlContext *, GLdouble c) { return float(c); }

// Component i of client memory at p. A client array may have any stride, so an element need not
// be aligned for its type: the value is copied out byte-wise (which the compiler turns into one
// plain load), never read through a typed pointer.
template <class T>
inline T __glClientValue(const void *p, int i) {
    T v;
    std::memcpy(&v, static_cast<const uint8_t *>(p) + size_t(i) * sizeof(T), sizeof v);
    return v;
}
