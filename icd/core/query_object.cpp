// The object queries: lights, materials and clip planes. Each gathers its answer like glGet
// does and converts it by the same rules, so the integer forms return colours scaled over the
// integer range and other floats truncated.
#include <cstring>
#include "icd/core/core.h"
#include "icd/core/query.h"
#include "icd/vertex/light.h"

using glquery::Answer;
using glquery::Kind;

namespace {

void setValues(Answer &a, Kind kind, const float *v, int32_t n) {
    a.kind = kind;
    a.count = n;
    for (int32_t i = 0; i < n; ++i) a.v[i] = v[i];
}

// A colour kept in colour-buffer units: converted back when it is answered.
void setScaled(Answer &a, const float *scaled) { setValues(a, Kind::ScaledColor, scaled, 4); }

// ---- lights ------------------------------------------------------------------------------------

bool gatherLight(const GlLightSource &l, GLenum pname, Answer &a) {
    switch (pname) {
    case GL_AMBIENT: setScaled(a, l.ambient); break;
    case GL_DIFFUSE: setScaled(a, l.diffuse); break;
    case GL_SPECULAR: setScaled(a, l.specular); break;
    case GL_POSITION: setValues(a, Kind::Float, l.eyePosition, 4); break;
    case GL_SPOT_DIRECTION: setValues(a, Kind::Float, l.spotDirection, 3); break;
    case GL_SPOT_EXPONENT: setValues(a, Kind::Float, &l.spotExponent, 1); break;
    case GL_SPOT_CUTOFF: setValues(a, Kind::Float, &l.spotCutoff, 1); break;
    case GL_CONSTANT_ATTENUATION: setValues(a, Kind::Float, &l.constantAttenuation, 1); break;
    case GL_LINEAR_ATTENUATION: setValues(a, Kind::Float, &l.linearAttenuation, 1); break;
    case GL_QUADRATIC_ATTENUATION: setValues(a, Kind::Float, &l.quadraticAttenuation, 1); break;
    default: return false;
    }
    return true;
}

template <class T>
void getLight(GLenum light, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    uint32_t index = light - GL_LIGHT0;
    GlLightSource *lights = __glLightSources(ctx);
    Answer a;
    if (index >= uint32_t(ctx->limits.maxLights) || lights == nullptr || !gatherLight(lights[index], pname, a))
        return __glSetError(GL_INVALID_ENUM);
    glquery::put(ctx, a, params);
}

// ---- materials ---------------------------------------------------------------------------------

// Ambient, diffuse and specular are kept as given; emission in colour-buffer units.
bool gatherMaterial(const GlMaterial &m, GLenum pname, Answer &a) {
    switch (pname) {
    case GL_AMBIENT: setValues(a, Kind::Normalised, m.ambient, 4); break;
    case GL_DIFFUSE: setValues(a, Kind::Normalised, m.diffuse, 4); break;
    case GL_SPECULAR: setValues(a, Kind::Normalised, m.specular, 4); break;
    case GL_EMISSION: setScaled(a, m.emission); break;
    case GL_SHININESS: setValues(a, Kind::Float, &m.shininess, 1); break;
    case GL_COLOR_INDEXES: {
        const float indexes[3] = {m.ambientIndex, m.diffuseIndex, m.specularIndex};
        setValues(a, Kind::Float, indexes, 3);
        break;
    }
    case GL_INDEX_SHIFT: setValues(a, Kind::Float, &m.indexShift, 1); break;
    case GL_INDEX_OFFSET: setValues(a, Kind::Float, &m.indexOffset, 1); break;
    default: return false;
    }
    return true;
}

template <class T>
void getMaterial(GLenum face, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    const GlLightingState &lit = ctx->state.lighting;
    const GlMaterial *m = face == GL_FRONT ? &lit.frontMaterial : face == GL_BACK ? &lit.backMaterial : nullptr;
    Answer a;
    if (m == nullptr || !gatherMaterial(*m, pname, a)) return __glSetError(GL_INVALID_ENUM);
    glquery::put(ctx, a, params);
}

}  // namespace

namespace icd {

void APIENTRY glGetLightfv(GLenum light, GLenum pname, GLfloat *params) { getLight(light, pname, params); }
void APIENTRY glGetLightiv(GLenum light, GLenum pname, GLint *params) { getLight(light, pname, params); }
void APIENTRY glGetMaterialfv(GLenum face, GLenum pname, GLfloat *params) { getMaterial(face, pname, params); }
void APIENTRY glGetMaterialiv(GLenum face, GLenum pname, GLint *params) { getMaterial(face, pname, params); }

// The plane as it is kept: in eye space, through the inverse of the modelview matrix in force
// when it was given.
void APIENTRY glGetClipPlane(GLenum plane, GLdouble *equation) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    uint32_t index = plane - GL_CLIP_PLANE0;
    if (index >= uint32_t(ctx->limits.maxClipPlanes) || ctx->arrays.clipPlanes == nullptr)
        return __glSetError(GL_INVALID_ENUM);
    const float *eq = static_cast<const float *>(ctx->arrays.clipPlanes) + 4 * index;
    for (int i = 0; i < 4; ++i) equation[i] = eq[i];
}

}  // namespace icd
