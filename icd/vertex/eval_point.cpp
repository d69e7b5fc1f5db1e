// Evaluating the enabled maps at one parameter: the Bernstein bases, the sums over the control
// points, the analytic normal of a surface, and the order in which colour, texture coordinates,
// normal and vertex are produced; glEvalCoord*.
#include <cstring>
#include "icd/vertex/eval_exec.h"
#include "icd/vertex/matrix_procs.h"
#include "icd/vertex/transform_state.h"

using evalexec::applyColor;
using evalexec::evalCoord1;
using evalexec::evalCoord2;
using evalexec::KeptAttributes;

namespace {

constexpr uint32_t bit(int32_t index) { return 1u << index; }

// One parameter's basis. Within one evaluated point, maps of the same order at the same parameter
// share it; nothing is carried from one point to the next.
enum : int32_t { kBasisNone = 0, kBasisWithDeriv = 1, kBasisValues = 2 };
struct Basis {
    int32_t order = 0;  // 0: nothing computed yet
    int32_t kind = kBasisNone;
    float t = 0.0f;
    float b[kGlEvalBasisSize];
    float d[kGlEvalBasisSize];
};

const Basis &basisAt(Basis &cache, int32_t order, float t, bool deriv) {
    if (cache.order != order || cache.t != t || cache.kind == kBasisNone || (deriv && cache.kind != kBasisWithDeriv)) {
        if (deriv) __glComputeBernsteinDeriv(order, t, cache.b, cache.d);
        else __glComputeBernstein(order, t, cache.b);
        cache.order = order;
        cache.t = t;
        cache.kind = deriv ? kBasisWithDeriv : kBasisValues;
    }
    return cache;
}

// The value of 1-D map `index` at u into out (k values); false, writing nothing, when the map
// has no points.
bool evalMap1(const GlEvalState &e, Basis &cache, int32_t index, float u, float *out) {
    const GlEvalMap1 &m = e.map1[index];
    const float *p = e.points1[index];
    if (p == nullptr || m.u1 == m.u2) return false;
    const Basis &b = basisAt(cache, m.order, (u - m.u1) / (m.u2 - m.u1), false);
    const int32_t k = m.components;
    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t i = 0; i < m.order; ++i, p += k)
        for (int32_t c = 0; c < k; ++c) sum[c] += b.b[i] * p[c];
    std::memcpy(out, sum, size_t(k) * sizeof(float));
    return true;
}

// The value of 2-D map `index` at (u, v); with du and dv also both partial derivatives (up to
// positive factors).
bool evalMap2(const GlEvalState &e, Basis &cu, Basis &cv, int32_t index, float u, float v, float *out, float *du,
              float *dv) {
    const GlEvalMap2 &m = e.map2[index];
    const float *p = e.points2[index];
    if (p == nullptr || m.u1 == m.u2 || m.v1 == m.v2) return false;
    const bool deriv = du != nullptr;
    const Basis &bu = basisAt(cu, m.uorder, (u - m.u1) / (m.u2 - m.u1), deriv);
    const Basis &bv = basisAt(cv, m.vorder, (v - m.v1) / (m.v2 - m.v1), deriv);
    const int32_t k = m.components;
    float sum[4] = {}, sumU[4] = {}, sumV[4] = {};
    for (int32_t i = 0; i < m.uorder; ++i) {
        // The column of row i along v: its value and, for the derivatives, its v slope.
        float row[4] = {}, rowV[4] = {};
        for (int32_t j = 0; j < m.vorder; ++j, p += k)
            for (int32_t c = 0; c < k; ++c) {
                row[c] += bv.b[j] * p[c];
                if (deriv) rowV[c] += bv.d[j] * p[c];
            }
        for (int32_t c = 0; c < k; ++c) {
            sum[c] += bu.b[i] * row[c];
            if (deriv) {
                sumU[c] += bu.d[i] * row[c];
                sumV[c] += bu.b[i] * rowV[c];
            }
        }
    }
    std::memcpy(out, sum, size_t(k) * sizeof(float));
    if (deriv) {
        std::memcpy(du, sumU, sizeof(sumU));
        std::memcpy(dv, sumV, sizeof(sumV));
    }
    return true;
}

// Colour step: an evaluated index replaces the current one; an evaluated colour replaces the
// current colour (kept in `kept`) through applyColor. True when the colour is to be put back.
template <class Eval>
bool colorStep(GlContext *ctx, uint32_t on, const Eval &eval, float kept[4], GlEvalPoint *record) {
    GlCurrentState &c = ctx->current;
    if (!ctx->visual.rgbaMode) {
        float index;
        if (!(on & bit(kGlEvalIndex)) || !eval(kGlEvalIndex, &index)) return false;
        c.index = index;
        if (record != nullptr) record->flags |= kGlEvalPointColor, record->color[0] = index;
        return false;
    }
    if (!(on & bit(kGlEvalColor4))) return false;
    std::memcpy(kept, c.color, sizeof(c.color));
    if (!eval(kGlEvalColor4, c.color)) return false;
    applyColor(ctx);
    if (record != nullptr) {
        record->flags |= kGlEvalPointColor;
        std::memcpy(record->color, c.color, sizeof(record->color));
    }
    return true;
}

// Texture step: the widest enabled texture map gives set 0; what it does not give is t 0, r 0,
// q 1.
template <class Eval>
void texCoordStep(GlContext *ctx, uint32_t on, const Eval &eval, GlEvalPoint *record) {
    for (int32_t index = kGlEvalTexCoord4; index >= kGlEvalTexCoord1; --index) {
        if (!(on & bit(index))) continue;
        float t[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        if (!eval(index, t)) return;
        std::memcpy(ctx->current.texCoord, t, sizeof(t));
        if (record != nullptr) {
            record->flags |= kGlEvalPointTexCoord;
            std::memcpy(record->texCoord, t, sizeof(t));
        }
        return;
    }
}

// The vertex map in force: VERTEX_4 before VERTEX_3; -1 when neither is enabled.
inline int32_t vertexMapOf(uint32_t on) {
    return (on & bit(kGlEvalVertex4)) ? kGlEvalVertex4 : (on & bit(kGlEvalVertex3)) ? kGlEvalVertex3 : -1;
}

void issueVertex(GlContext *ctx, int32_t map, const float *v) {
    if (map == kGlEvalVertex4) GL_EVAL_EXEC(ctx, glVertex4fv)(v);
    else GL_EVAL_EXEC(ctx, glVertex3fv)(v);
}

void recordVertex(GlEvalPoint *record, int32_t map, const float *v) {
    if (record == nullptr) return;
    record->flags |= map == kGlEvalVertex4 ? kGlEvalPointVertex4 : kGlEvalPointVertex3;
    std::memcpy(record->vertex, v, sizeof(record->vertex));
}

void recordNormal(GlEvalPoint *record, const float *n) {
    if (record == nullptr) return;
    record->flags |= kGlEvalPointNormal;
    std::memcpy(record->normal, n, 3 * sizeof(float));
    record->normal[3] = 0.0f;
}

// The unit normal of a surface from its two tangents, through the context's normalise proc.
void autoNormal(GlContext *ctx, const float du[3], const float dv[3]) {
    const float n[3] = {du[1] * dv[2] - dv[1] * du[2], dv[0] * du[2] - du[0] * dv[2], du[0] * dv[1] - dv[0] * du[1]};
    typedef void (*NormalizeProc)(float dst[3], const float v[3]);
    NormalizeProc normalize =
        ctx->slots.normalize != nullptr ? __glSlotAs<NormalizeProc>(ctx->slots.normalize) : __glNormalize;
    normalize(ctx->current.normal, n);
}

inline void putColorBack(GlContext *ctx, const float kept[4]) {
    std::memcpy(ctx->current.color, kept, sizeof(ctx->current.color));
    applyColor(ctx);
}

}  // namespace

// The triangle recurrence in place, one degree at a time; entry j of degree i is built from
// entries j - 1 and j of degree i - 1, so it runs from the top down.
void __glComputeBernstein(int32_t order, float t, float *basis) {
    const float s = 1.0f - t;
    basis[0] = 1.0f;
    if (order == 1) return;
    basis[0] = s;
    basis[1] = t;
    for (int32_t i = 2; i < order; ++i) {
        basis[i] = t * basis[i - 1];
        for (int32_t j = i - 1; j > 0; --j) basis[j] = t * basis[j - 1] + s * basis[j];
        basis[0] = s * basis[0];
    }
}

// The derivative of a basis function of degree n is n times the difference of two of degree
// n - 1; the factor n is left out.
void __glComputeBernsteinDeriv(int32_t order, float t, float *basis, float *deriv) {
    if (order == 1) {
        basis[0] = 1.0f;
        deriv[0] = 0.0f;
        return;
    }
    if (order == 2) {
        basis[0] = 1.0f - t, basis[1] = t;
        deriv[0] = -1.0f, deriv[1] = 1.0f;
        return;
    }
    __glComputeBernstein(order - 1, t, basis);
    const int32_t n = order - 1;
    deriv[0] = -basis[0];
    for (int32_t j = 1; j < n; ++j) deriv[j] = basis[j - 1] - basis[j];
    deriv[n] = basis[n - 1];
    const float s = 1.0f - t;
    basis[n] = t * basis[n - 1];
    for (int32_t j = n - 1; j > 0; --j) basis[j] = t * basis[j - 1] + s * basis[j];
    basis[0] = s * basis[0];
}

// Colour, texture coordinates, normal, then the vertex.
void __glEvalMaps1(GlContext *ctx, float u) {
    const GlEvalState &e = ctx->state.eval;
    const uint32_t on = ctx->state.enable.map1Enables;
    Basis cache;
    auto eval = [&](int32_t index, float *out) { return evalMap1(e, cache, index, u, out); };
    float kept[4];
    const bool colored = colorStep(ctx, on, eval, kept, nullptr);
    texCoordStep(ctx, on, eval, nullptr);
    if (on & bit(kGlEvalNormal)) eval(kGlEvalNormal, ctx->current.normal);
    const int32_t map = vertexMapOf(on);
    float vertex[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (map >= 0 && eval(map, vertex)) issueVertex(ctx, map, vertex);
    if (colored) putColorBack(ctx, kept);
}

// The normal (analytic or mapped) and the vertex first, then colour and texture coordinates.
void __glEvalMaps2(GlContext *ctx, float u, float v, GlEvalPoint *record) {
    const GlEvalState &e = ctx->state.eval;
    const uint32_t on = ctx->state.enable.map2Enables;
    Basis cu, cv;
    auto eval = [&](int32_t index, float *out) { return evalMap2(e, cu, cv, index, u, v, out, nullptr, nullptr); };
    if (record != nullptr) record->flags = 0;
    int32_t map = vertexMapOf(on);
    float vertex[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    if (map >= 0 && (ctx->state.enable.enables & kGlEnableAutoNormal)) {
        float du[4], dv[4];
        if (evalMap2(e, cu, cv, map, u, v, vertex, du, dv)) {
            // The tangents of the projected point x/w are these scaled by w squared; they are
            // taken along the normalised parameters, which run against u (v) when the domain is
            // reversed.
            const float w = map == kGlEvalVertex4 ? vertex[3] : 1.0f;
            const GlEvalMap2 &m = e.map2[map];
            const float su = m.u2 > m.u1 ? 1.0f : -1.0f, sv = m.v2 > m.v1 ? 1.0f : -1.0f;
            for (int c = 0; c < 3; ++c) {
                if (map == kGlEvalVertex4) {
                    du[c] = w * du[c] - du[3] * vertex[c];
                    dv[c] = w * dv[c] - dv[3] * vertex[c];
                }
                du[c] *= su;
                dv[c] *= sv;
            }
            autoNormal(ctx, du, dv);
            recordNormal(record, ctx->current.normal);
        } else {
            map = -1;
        }
    } else {
        if ((on & bit(kGlEvalNormal)) && eval(kGlEvalNormal, ctx->current.normal))
            recordNormal(record, ctx->current.normal);
        if (map >= 0 && !eval(map, vertex)) map = -1;
    }
    float kept[4];
    const bool colored = colorStep(ctx, on, eval, kept, record);
    texCoordStep(ctx, on, eval, record);
    if (map >= 0) {
        recordVertex(record, map, vertex);
        issueVertex(ctx, map, vertex);
    }
    if (colored) putColorBack(ctx, kept);
}

void __glEmitEvalPoint(GlContext *ctx, const GlEvalPoint *record) {
    GlCurrentState &c = ctx->current;
    const uint32_t f = record->flags;
    const bool rgba = ctx->visual.rgbaMode;
    float keptColor[4], keptIndex = c.index;
    if (f & kGlEvalPointColor) {
        if (rgba) {
            std::memcpy(keptColor, c.color, sizeof(keptColor));
            std::memcpy(c.color, record->color, sizeof(c.color));
            applyColor(ctx);
        } else {
            c.index = record->color[0];
        }
    }
    if (f & kGlEvalPointTexCoord) std::memcpy(c.texCoord, record->texCoord, sizeof(c.texCoord));
    if (f & kGlEvalPointNormal) std::memcpy(c.normal, record->normal, sizeof(c.normal));
    if (f & kGlEvalPointVertex3) GL_EVAL_EXEC(ctx, glVertex3fv)(record->vertex);
    else if (f & kGlEvalPointVertex4) GL_EVAL_EXEC(ctx, glVertex4fv)(record->vertex);
    if (f & kGlEvalPointColor) {
        if (rgba) putColorBack(ctx, keptColor);
        else c.index = keptIndex;
    }
}

void __glEvaluateCoord1(GlContext *ctx, float u) {
    const KeptAttributes kept(ctx);
    __glEvalMaps1(ctx, u);
    kept.restore(ctx);
}

void __glEvaluateCoord2(GlContext *ctx, float u, float v) {
    const KeptAttributes kept(ctx);
    __glEvalMaps2(ctx, u, v, nullptr);
    kept.restore(ctx);
}

// glEvalCoord: the parameters as floats; allowed inside and outside glBegin/glEnd.
#define GL_EVAL_COORD_ENTRIES(sfx, T)                                                               \
    void APIENTRY glEvalCoord1##sfx(T u) { evalCoord1(__glGetCurrentContext(), float(u)); }         \
    void APIENTRY glEvalCoord1##sfx##v(const T *u) { evalCoord1(__glGetCurrentContext(), float(u[0])); } \
    void APIENTRY glEvalCoord2##sfx(T u, T v) { evalCoord2(__glGetCurrentContext(), float(u), float(v)); } \
    void APIENTRY glEvalCoord2##sfx##v(const T *u) {                                                 \
        evalCoord2(__glGetCurrentContext(), float(u[0]), float(u[1]));                               \
    }

namespace icd {
GL_EVAL_COORD_ENTRIES(d, GLdouble)
GL_EVAL_COORD_ENTRIES(f, GLfloat)
}  // namespace icd
