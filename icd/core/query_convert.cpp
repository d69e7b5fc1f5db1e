// Conversion of a gathered answer to the type a query asks for.
#include <cmath>
#include "icd/core/core.h"
#include "icd/core/query.h"
#include "icd/vertex/color_units.h"
#include "icd/vertex/light.h"

namespace glquery {
namespace {

// Truncation toward zero that is defined for every value: a NaN gives 0, values beyond the
// integer range the nearest limit.
GLint truncated(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return GLint(v);
}

// The four floats of a colour kept in colour-buffer units (held exactly as doubles).
void scaledOf(const Answer &a, float out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = float(a.v[i]);
}

// A colour kept in colour-buffer units, back in [0, 1]; other answers as they are.
void unitValues(const GlContext *ctx, const Answer &a, double *v) {
    if (a.kind != Kind::ScaledColor) {
        for (int i = 0; i < a.count; ++i) v[i] = a.v[i];
        return;
    }
    float scaled[4], unit[4];
    scaledOf(a, scaled);
    __glUnscaleColor(const_cast<GlContext *>(ctx), unit, scaled);
    for (int i = 0; i < 4; ++i) v[i] = unit[i];
}

}  // namespace

void put(const GlContext *ctx, const Answer &a, GLboolean *out) {
    double v[kMaxValues];
    unitValues(ctx, a, v);
    for (int i = 0; i < a.count; ++i) out[i] = v[i] != 0.0 ? GL_TRUE : GL_FALSE;  // a NaN is true
}

void put(const GlContext *ctx, const Answer &a, GLint *out) {
    if (a.kind == Kind::ScaledColor) {
        float scaled[4];
        scaledOf(a, scaled);
        return __glUnscaleColorToInt(const_cast<GlContext *>(ctx), out, scaled);
    }
    for (int i = 0; i < a.count; ++i) {
        switch (a.kind) {
        case Kind::Integer:
        case Kind::Boolean: out[i] = GLint(a.v[i]); break;
        case Kind::Float: out[i] = truncated(a.v[i]); break;
        case Kind::Normalised: out[i] = unitToIntFloor(a.v[i]); break;
        case Kind::ScaledColor: break;  // answered above
        }
    }
}

void put(const GlContext *ctx, const Answer &a, GLfloat *out) {
    double v[kMaxValues];
    unitValues(ctx, a, v);
    for (int i = 0; i < a.count; ++i) out[i] = GLfloat(v[i]);
}

void put(const GlContext *ctx, const Answer &a, GLdouble *out) {
    double v[kMaxValues];
    unitValues(ctx, a, v);
    for (int i = 0; i < a.count; ++i) out[i] = v[i];
}

}  // namespace glquery
