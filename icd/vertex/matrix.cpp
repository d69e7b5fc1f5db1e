// Matrix arithmetic: copy, identity, product and its type, inverse-transpose, normalisation,
// and the point-transform procs of each matrix type.
#include <bit>
#include <cstring>
#include "icd/vertex/matrix.h"

namespace {
constexpr uint32_t kOneBits = 0x3F800000u;
inline bool isOne(float v) { return std::bit_cast<uint32_t>(v) == kOneBits; }

enum Kind { General, Affine3D, Affine2D, ScaleTranslate, Identity };

// One definition for all fifteen procs. The inputs are read before anything is written, so
// out may be in. A w of exactly 1.0 (by its bits) adds the translation without multiplying.
template <int N, Kind K>
void xform(float out[4], const float *in, const GlMatrix *mat) {
    const float *m = mat->m;
    float x = in[0], y = in[1];
    float z = N >= 3 ? in[2] : 0.0f;
    float w = N == 4 ? in[3] : 1.0f;
    bool wOne = N < 4 || isOne(w);
    auto t = [&](int r) { return wOne ? m[12 + r] : m[12 + r] * w; };
    if constexpr (K == Identity) {
        out[0] = x, out[1] = y, out[2] = z, out[3] = w;
    } else if constexpr (K == ScaleTranslate) {
        out[0] = m[0] * x + t(0);
        out[1] = m[5] * y + t(1);
        out[2] = m[10] * z + t(2);
        out[3] = w;
    } else if constexpr (K == Affine2D) {
        out[0] = m[0] * x + m[4] * y + t(0);
        out[1] = m[1] * x + m[5] * y + t(1);
        out[2] = m[10] * z + t(2);
        out[3] = w;
    } else {
        float r[4];
        int rows = K == General ? 4 : 3;
        for (int i = 0; i < rows; ++i) {
            float s = m[i] * x + m[4 + i] * y;
            if (N >= 3) s += m[8 + i] * z;
            r[i] = s + t(i);
        }
        if (K != General) r[3] = w;
        out[0] = r[0], out[1] = r[1], out[2] = r[2], out[3] = r[3];
    }
}

// Determinant of the 3x3 matrix of M's rows rows[] and columns cols[] (column-major storage).
inline float det3(const float *m, const int rows[3], const int cols[3]) {
    auto e = [&](int r, int c) { return m[4 * cols[c] + rows[r]]; };
    return e(0, 0) * (e(1, 1) * e(2, 2) - e(1, 2) * e(2, 1)) -
           e(0, 1) * (e(1, 0) * e(2, 2) - e(1, 2) * e(2, 0)) +
           e(0, 2) * (e(1, 0) * e(2, 1) - e(1, 1) * e(2, 0));
}

// Signed cofactor of element (r, c) of the upper-left n x n block (n = 3 or 4).
inline float cofactor(const float *m, int n, int r, int c) {
    int rows[3], cols[3], nr = 0, nc = 0;
    for (int i = 0; i < n; ++i) {
        if (i != r) rows[nr++] = i;
        if (i != c) cols[nc++] = i;
    }
    float minor;
    if (n == 4) {
        minor = det3(m, rows, cols);
    } else {
        minor = m[4 * cols[0] + rows[0]] * m[4 * cols[1] + rows[1]] - m[4 * cols[1] + rows[0]] * m[4 * cols[0] + rows[1]];
    }
    return ((r + c) & 1) ? -minor : minor;
}
}  // namespace

#define GL_DEFINE_XFORM(kind)                                                                                  \
    void __glXform2##kind(float out[4], const float *in, const GlMatrix *m) { xform<2, kind>(out, in, m); }  \
    void __glXform3##kind(float out[4], const float *in, const GlMatrix *m) { xform<3, kind>(out, in, m); }  \
    void __glXform4##kind(float out[4], const float *in, const GlMatrix *m) { xform<4, kind>(out, in, m); }
GL_XFORM_KINDS(GL_DEFINE_XFORM)
#undef GL_DEFINE_XFORM

void __glCopyMatrix(GlMatrix *dst, const GlMatrix *src) {
    if (dst == src) return;
    std::memcpy(dst->m, src->m, sizeof(dst->m));
    dst->type = src->type;
    dst->orthoWidth = src->orthoWidth;
    dst->orthoHeight = src->orthoHeight;
}

void __glMakeIdentity(GlMatrix *m) {
    std::memset(m->m, 0, sizeof(m->m));
    m->m[0] = m->m[5] = m->m[10] = m->m[15] = 1.0f;
    m->type = kGlMatrixIdentity;
}

void __glMultiplyMatrix(GlMatrix *dst, const GlMatrix *a, const GlMatrix *b) {
    float bb[16];
    std::memcpy(bb, b->m, sizeof(bb));
    for (int r = 0; r < 4; ++r) {
        float ar[4];
        std::memcpy(ar, &a->m[4 * r], sizeof(ar));
        for (int c = 0; c < 4; ++c)
            dst->m[4 * r + c] = ar[0] * bb[c] + ar[1] * bb[4 + c] + ar[2] * bb[8 + c] + ar[3] * bb[12 + c];
    }
}

void __glTransposeMatrix(GlMatrix *dst, const GlMatrix *src) {
    float t[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) t[4 * c + r] = src->m[4 * r + c];
    std::memcpy(dst->m, t, sizeof(t));
}

void __glMatrixProductType(GlMatrix *dst, const GlMatrix *arg, const GlMatrix *cur) {
    uint32_t a = arg->type, c = cur->type;
    uint16_t w = cur->orthoWidth, h = cur->orthoHeight;
    uint32_t t;
    switch (a) {
    case kGlMatrixGeneral: t = kGlMatrixGeneral; break;
    case kGlMatrixAffine: t = c == kGlMatrixGeneral ? kGlMatrixGeneral : kGlMatrixAffine; break;
    case kGlMatrixPlanar: t = c < kGlMatrixPlanar ? c : kGlMatrixPlanar; break;
    case kGlMatrixScaleTranslate: t = c < kGlMatrixScaleTranslate ? c : kGlMatrixScaleTranslate; break;
    case kGlMatrixIdentity: t = c; break;
    default:  // window ortho
        if (c == kGlMatrixIdentity) {
            t = kGlMatrixWindowOrtho;
            w = arg->orthoWidth;
            h = arg->orthoHeight;
        } else {
            t = c > kGlMatrixPlanar ? kGlMatrixScaleTranslate : c;
        }
        break;
    }
    dst->type = t;
    if (t == kGlMatrixWindowOrtho) {
        dst->orthoWidth = w;
        dst->orthoHeight = h;
    }
}

// A singular matrix leaves dst exactly as it was, its type included, so that the procs picked
// for dst always match its numbers.
void __glInvertTransposeMatrix(GlMatrix *dst, const GlMatrix *src) {
    const float *m = src->m;
    float out[16];
    if (src->type == kGlMatrixGeneral) {
        float cof[16];
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) cof[4 * c + r] = cofactor(m, 4, r, c);
        float det = m[0] * cof[0] + m[4] * cof[4] + m[8] * cof[8] + m[12] * cof[12];
        if (det == 0.0f) return;
        float inv = 1.0f / det;
        for (int i = 0; i < 16; ++i) out[i] = cof[i] * inv;
    } else {
        float cof[16] = {};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) cof[4 * c + r] = cofactor(m, 3, r, c);
        float det = m[0] * cof[0] + m[4] * cof[4] + m[8] * cof[8];
        if (det == 0.0f) return;
        float inv = 1.0f / det;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) out[4 * c + r] = cof[4 * c + r] * inv;
        // Row 3 = -(A^-1 t), with A^-1(c, k) = out(k, c).
        for (int c = 0; c < 3; ++c)
            out[4 * c + 3] = -(out[4 * c] * m[12] + out[4 * c + 1] * m[13] + out[4 * c + 2] * m[14]);
        out[12] = out[13] = out[14] = 0.0f;
        out[15] = 1.0f;
    }
    std::memcpy(dst->m, out, sizeof(out));
    dst->type = src->type;
    dst->orthoWidth = src->orthoWidth;
    dst->orthoHeight = src->orthoHeight;
}

// Reciprocal square root seeded from the bit pattern and refined by two folded Newton steps.
void __glNormalize(float dst[3], const float v[3]) {
    float x = v[0], y = v[1], z = v[2];
    float len2 = x * x + y * y + z * z;
    if (!(len2 > 0.0f)) {
        dst[0] = dst[1] = dst[2] = 0.0f;
        return;
    }
    if (len2 == 1.0f) {
        dst[0] = x, dst[1] = y, dst[2] = z;
        return;
    }
    float r = std::bit_cast<float>(0x5F375A00u - (std::bit_cast<uint32_t>(len2) >> 1));
    float e = r * r * len2;
    float d = 3.0f - e;
    r = r * d * (12.0f - e * d * d) * (1.0f / 16.0f);
    dst[0] = x * r, dst[1] = y * r, dst[2] = z * r;
}

void __glSetXformProcs(GlMatrix *m) {
    switch (m->type) {
    case kGlMatrixGeneral:
        m->xform2 = __glXform2General, m->xform3 = __glXform3General, m->xform4 = __glXform4General;
        break;
    case kGlMatrixAffine:
        m->xform2 = __glXform2Affine3D, m->xform3 = __glXform3Affine3D, m->xform4 = __glXform4Affine3D;
        break;
    case kGlMatrixPlanar:
        m->xform2 = __glXform2Affine2D, m->xform3 = __glXform3Affine2D, m->xform4 = __glXform4Affine2D;
        break;
    case kGlMatrixIdentity:
        m->xform2 = __glXform2Identity, m->xform3 = __glXform3Identity, m->xform4 = __glXform4Identity;
        break;
    default:  // scale-translate and window ortho
        m->xform2 = __glXform2ScaleTranslate, m->xform3 = __glXform3ScaleTranslate;
        m->xform4 = __glXform4ScaleTranslate;
        break;
    }
}

// Normals and planes of a general matrix go through the full 4x4 proc with their own w.
void __glSetInverseXformProcs(GlMatrix *m) {
    m->xform4 = __glXform4General;
    switch (m->type) {
    case kGlMatrixGeneral: m->xform3 = __glXform4General; break;
    case kGlMatrixAffine: m->xform3 = __glXform3Affine3D; break;
    case kGlMatrixPlanar: m->xform3 = __glXform3Affine2D; break;
    default: m->xform3 = __glXform3ScaleTranslate; break;
    }
}

void __glPickMatrixXformProcs(GlContext *, GlMatrix *m) { __glSetXformProcs(m); }
void __glPickInverseXformProcs(GlContext *, GlMatrix *m) { __glSetInverseXformProcs(m); }

void __glMultiplyOp(GlContext *, GlMatrix *cur, const GlMatrix *arg) {
    GlMatrix before;
    before.type = cur->type;
    before.orthoWidth = cur->orthoWidth;
    before.orthoHeight = cur->orthoHeight;
    __glMultiplyMatrix(cur, arg, cur);
    __glMatrixProductType(cur, arg, &before);
}

void __glScaleOp(GlContext *, GlMatrix *cur, const GlMatrix *arg) {
    if (cur->type >= kGlMatrixIdentity) cur->type = kGlMatrixScaleTranslate;
    for (int i = 0; i < 4; ++i) {
        cur->m[i] *= arg->m[0];
        cur->m[4 + i] *= arg->m[5];
        cur->m[8 + i] *= arg->m[10];
    }
}

void __glTranslateOp(GlContext *, GlMatrix *cur, const GlMatrix *arg) {
    if (cur->type >= kGlMatrixIdentity) cur->type = kGlMatrixScaleTranslate;
    float x = arg->m[12], y = arg->m[13], z = arg->m[14];
    for (int i = 0; i < 4; ++i) cur->m[12 + i] += x * cur->m[i] + y * cur->m[4 + i] + z * cur->m[8 + i];
}
