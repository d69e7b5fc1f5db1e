// Helpers shared by the state-setting entries: the begin-mode check, marking state for
// validation, and argument checks that work on the IEEE bit patterns of floats.
#pragma once
#include <bit>
#include <cstdint>
#include "icd/core/core.h"
#include "icd/core/services.h"
#include "icd/core/state_entries.h"

// Validation runs before the next drawing call; an open glBegin is left alone (its glEnd asks
// for the validation once the dirty state is seen).
inline void __glRequestValidation(GlContext *ctx) {
    if (ctx->beginMode != kGlInsideBegin) ctx->beginMode = kGlNeedValidate;
}

namespace glstate {

inline uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
inline bool isNaN(float f) { return (bitsOf(f) & 0x7FFFFFFFu) > 0x7F800000u; }

// A non-negative check on the bit pattern accepts +0.0, -0.0 and every positive value. A NaN
// is refused: it would otherwise reach widths, sizes and attenuations that the rasterisers
// convert to integers.
inline bool nonNegative(float f) {
    uint32_t b = bitsOf(f);
    return !isNaN(f) && (b < 0x80000000u || b == 0x80000000u);
}
// Strictly positive: -0.0 and +0.0 are refused, and so is a NaN.
inline bool positive(float f) { return int32_t(bitsOf(f)) > 0 && !isNaN(f); }
// Upper bound for a value that passed nonNegative: the bits compare as signed words, so -0.0
// is below every bound.
inline bool atMost(float f, float bound) { return int32_t(bitsOf(f)) <= int32_t(bitsOf(bound)); }
// Non-zero with either zero counting as zero.
inline bool nonZero(float f) { return (bitsOf(f) & 0x7FFFFFFFu) != 0; }

// Truncation toward zero that is defined for every input: NaN gives 0, out-of-range values
// the nearest integer limit.
inline int32_t truncToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

// Clamp where a NaN takes the lower limit.
inline float clampTo(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

// An integer colour component: (2i + 1) / (2^32 - 1).
inline float colorFromInt(GLint i) { return float((2.0 * double(i) + 1.0) / 4294967295.0); }

inline float toFloat(GLfloat v) { return v; }
inline float toFloat(GLint v) { return float(v); }
inline float toFloat(GLdouble v) { return float(v); }
inline float colorComponent(GLfloat v) { return v; }
inline float colorComponent(GLint v) { return colorFromInt(v); }
// An enumerant passed as a float parameter.
inline GLenum toEnum(GLfloat v) { return GLenum(truncToInt(v)); }
inline GLenum toEnum(GLint v) { return GLenum(v); }

inline uint32_t maskOfBits(int32_t bits) {
    if (bits <= 0) return 0;
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

// The current context, or null after reporting GL_INVALID_OPERATION inside glBegin/glEnd.
inline GlContext *outsideBegin() {
    GlContext *ctx = __glGetCurrentContext();
    if (ctx->beginMode == kGlInsideBegin) {
        __glSetError(GL_INVALID_OPERATION);
        return nullptr;
    }
    return ctx;
}

// The state changed: validation runs before the next drawing call.
inline void markDirty(GlContext *ctx, uint32_t groups, uint32_t tables = 0) {
    ctx->beginMode = kGlNeedValidate;
    ctx->dirtyMask |= groups;
    ctx->tableDirtyMask |= tables;
}

inline void runProc(GlContext *ctx, GlProc proc) {
    if (proc != nullptr) proc(ctx);
}

// Line widths and point sizes: the limits, else the nearest granularity step above the minimum.
inline float quantise(float v, float lo, float hi, float step) {
    if (v <= lo) return lo;
    if (v >= hi) return hi;
    return lo + step * float(truncToInt((v - lo) / step + 0.5f));
}

}  // namespace glstate
