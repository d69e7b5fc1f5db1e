// Conversion of a gathered answer to the type a query asks for.
#include <cmath>
#include "icd/core/core.h"
#include "icd/core/query.h"

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

// A normalised value over the integer range: floor(v x 4294964992.0 x 0.5), with the context's
// 32-bit conversion constant (so 1.0 gives 2147482496, not the largest integer). Values outside
// [-1, 1] are held to the integer range.
GLint scaledToInt(const GlContext *ctx, double v) {
    if (!(v == v)) return 0;
    double s = std::floor(v * double(ctx->cUint) * 0.5);
    if (s >= 2147483647.0) return INT32_MAX;
    if (s <= -2147483648.0) return INT32_MIN;
    return GLint(s);
}

}  // namespace

void put(const GlContext *, const Answer &a, GLboolean *out) {
    for (int i = 0; i < a.count; ++i) out[i] = a.v[i] != 0.0 ? GL_TRUE : GL_FALSE;  // a NaN is true
}

void put(const GlContext *ctx, const Answer &a, GLint *out) {
    for (int i = 0; i < a.count; ++i) {
        switch (a.kind) {
        case Kind::Integer:
        case Kind::Boolean: out[i] = GLint(a.v[i]); break;
        case Kind::Float: out[i] = truncated(a.v[i]); break;
        case Kind::Normalised: out[i] = scaledToInt(ctx, a.v[i]); break;
        }
    }
}

void put(const GlContext *, const Answer &a, GLfloat *out) {
    for (int i = 0; i < a.count; ++i) out[i] = GLfloat(a.v[i]);
}

void put(const GlContext *, const Answer &a, GLdouble *out) {
    for (int i = 0; i < a.count; ++i) out[i] = a.v[i];
}

}  // namespace glquery
