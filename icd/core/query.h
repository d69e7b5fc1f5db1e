// State queries: the answer of one query gathered as a short list of values of one source kind,
// and its conversion to the type the caller asked for. The typed glGet forms and the object
// queries (lights, materials, texture environment ...) share it, so that every query converts
// by the same rules. Also the parameter counts the display-list compiler sizes vectors with.
#pragma once
#include <cstdint>
#include <GL/gl.h>

struct GlContext;

namespace glquery {

// How the gathered values convert.
enum class Kind : uint8_t {
    Integer,      // enumerants, counts, sizes, masks
    Float,        // floats as given: truncated toward zero for the integer form
    Boolean,      // 0 or 1
    Normalised,   // colours, normals, depths: scaled to the integer range for the integer form
    ScaledColor,  // four values kept in colour-buffer units: back to [0, 1] by __glUnscaleColor,
                  // and to the integer range by __glUnscaleColorToInt
};

constexpr int kMaxValues = 16;

// Values are held as doubles: every float, double and 32-bit integer source fits exactly.
struct Answer {
    Kind kind;
    int32_t count;
    double v[kMaxValues];
};

// Writes the answer's values converted to the requested type.
void put(const GlContext *ctx, const Answer &a, GLboolean *out);
void put(const GlContext *ctx, const Answer &a, GLint *out);
void put(const GlContext *ctx, const Answer &a, GLfloat *out);
void put(const GlContext *ctx, const Answer &a, GLdouble *out);

// A capability of glEnable: 1 enabled, 0 disabled, -1 not a capability of this context.
int32_t capabilityState(const GlContext *ctx, GLenum cap);

// The current context, or null after reporting GL_INVALID_OPERATION inside glBegin/glEnd.
GlContext *queryContext();

}  // namespace glquery

// Values carried by the vector forms of the state commands; -1 for a name the command does not
// take (the caller reports GL_INVALID_ENUM).
int32_t __glFogivParamCount(GLenum pname);
int32_t __glFogfvParamCount(GLenum pname);
int32_t __glLightfvParamCount(GLenum pname);
int32_t __glLightivParamCount(GLenum pname);
int32_t __glLightModelfvParamCount(GLenum pname);
int32_t __glLightModelivParamCount(GLenum pname);
int32_t __glMaterialfvParamCount(GLenum pname);
int32_t __glMaterialivParamCount(GLenum pname);
int32_t __glPointParameterfvEXTParamCount(GLenum pname);
