// Small vector and bit-pattern helpers of the lighting code.
#pragma once
#include <bit>
#include <cstdint>
#include "icd/vertex/light_cache.h"
#include "icd/vertex/matrix_procs.h"

namespace gllight {

inline uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
// Non-zero with the sign bit ignored: -0.0 counts as zero.
inline bool nonZero(float f) { return (bitsOf(f) & 0x7FFFFFFFu) != 0; }
// "bits <= 0" as a signed word: every negative value, both zeros.
inline bool notPositiveBits(float f) { return int32_t(bitsOf(f)) <= 0; }

inline float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Unit vector by the reciprocal square root of the pipeline; (0, 0, 0) for a zero vector.
inline void unit3(float out[3], const float v[3]) { __glNormalize(out, v); }

// From the vertex point V to the light point L, both homogeneous (eye x, y, z, w).
inline void pointToPoint(float out[3], const float l[4], const float v[4]) {
    bool lw = nonZero(l[3]), vw = nonZero(v[3]);
    for (int i = 0; i < 3; ++i) {
        if (!lw && !vw)
            out[i] = l[i] - v[i];
        else if (lw && vw)
            out[i] = l[i] * v[3] - v[i] * l[3];
        else if (vw)
            out[i] = l[i];
        else
            out[i] = -v[i];
    }
}

inline float *ambientProduct(GlLightCache &l, int face) { return face ? l.backAmbientProduct : l.frontAmbientProduct; }
inline float *diffuseProduct(GlLightCache &l, int face) { return face ? l.backDiffuseProduct : l.frontDiffuseProduct; }
inline float *specularProduct(GlLightCache &l, int face) { return face ? l.backSpecularProduct : l.frontSpecularProduct; }

}  // namespace gllight
