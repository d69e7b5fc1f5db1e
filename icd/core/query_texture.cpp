// The texture, evaluator and pixel queries: texture environment, coordinate generation, texture
// parameters and levels, texture images, evaluator maps, pixel maps and the polygon stipple.
// A target with no bound object answers what the setters leave (the OpenGL defaults).
#include <cstring>
#include <type_traits>
#include "icd/core/core.h"
#include "icd/core/pick.h"
#include "icd/core/query.h"
#include "icd/pixel/texture_object.h"
#include "icd/pixel/texture.h"
#include "icd/pixel/pixel_span.h"
#include "icd/vertex/eval.h"

using glquery::Answer;
using glquery::Kind;

namespace {

void setValues(Answer &a, Kind kind, const double *v, int32_t n) {
    a.kind = kind;
    a.count = n;
    for (int32_t i = 0; i < n; ++i) a.v[i] = v[i];
}

void setValue(Answer &a, Kind kind, double v) { setValues(a, kind, &v, 1); }

void setFloats(Answer &a, const float *v, int32_t n) {
    a.kind = Kind::Float;
    a.count = n;
    for (int32_t i = 0; i < n; ++i) a.v[i] = v[i];
}

// ---- texture environment -----------------------------------------------------------------------

// The environment record of the current unit, once the texture state is set up.
const GlTexEnvRecord *envOf(const GlContext *ctx) {
    const GlTextureBindingState &b = ctx->state.textures;
    const uint32_t unit = ctx->state.unitSelect.activeTexture;
    return unit < uint32_t(b.unitCount) && b.env[unit] != nullptr ? &b.env[unit][0] : nullptr;
}

template <class T>
void getTexEnv(GLenum target, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (target != GL_TEXTURE_ENV) return __glSetError(GL_INVALID_ENUM);
    Answer a;
    switch (pname) {
    case GL_TEXTURE_ENV_MODE: {
        const GlTexEnvRecord *env = envOf(ctx);
        GLenum mode = env != nullptr ? env->mode : ctx->state.pick.texEnvMode;
        setValue(a, Kind::Integer, mode != 0 ? mode : GL_MODULATE);
        break;
    }
    case GL_TEXTURE_ENV_COLOR: {
        // Kept in fragment colour units: back to [0, 1] through the same factors.
        double c[4] = {0, 0, 0, 0};
        float unit[4];
        __glFragmentColorUnits(ctx, unit);
        if (const GlTexEnvRecord *env = envOf(ctx))
            for (int i = 0; i < 4; ++i) c[i] = unit[i] > 0.0f ? env->color[i] / unit[i] : 0.0;
        setValues(a, Kind::Normalised, c, 4);
        break;
    }
    default: return __glSetError(GL_INVALID_ENUM);
    }
    glquery::put(ctx, a, params);
}

// ---- texture-coordinate generation -------------------------------------------------------------

template <class T>
void getTexGen(GLenum coord, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    uint32_t index = coord - GL_S;
    if (index >= 4) return __glSetError(GL_INVALID_ENUM);
    const GlTexGenCoord &c = ctx->state.texGen.coord[index];
    Answer a;
    switch (pname) {
    case GL_TEXTURE_GEN_MODE: setValue(a, Kind::Integer, c.mode); break;
    case GL_OBJECT_PLANE: setFloats(a, c.objectPlane, 4); break;
    case GL_EYE_PLANE: setFloats(a, c.eyePlane, 4); break;  // in eye space, as kept
    default: return __glSetError(GL_INVALID_ENUM);
    }
    glquery::put(ctx, a, params);
}

// ---- texture objects ---------------------------------------------------------------------------

bool isTextureTarget(GLenum target) { return target == GL_TEXTURE_1D || target == GL_TEXTURE_2D; }
bool isProxyTarget(GLenum target) { return target == GL_PROXY_TEXTURE_1D || target == GL_PROXY_TEXTURE_2D; }
bool is2D(GLenum target) { return target == GL_TEXTURE_2D || target == GL_PROXY_TEXTURE_2D; }

GlTextureObject *boundTexture(GlContext *ctx, GLenum target) {
    return __glLookUpBoundTexture(ctx, int32_t(ctx->state.unitSelect.activeTexture), target);
}

// The parameters of the bound object; a target with no object answers what a texture starts
// with.
template <class T>
void getTexParameter(GLenum target, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (!isTextureTarget(target)) return __glSetError(GL_INVALID_ENUM);
    const GlTextureObject *tex = boundTexture(ctx, target);
    Answer a;
    switch (pname) {
    case GL_TEXTURE_BORDER_COLOR: {
        double c[4] = {0, 0, 0, 0};
        for (int i = 0; tex != nullptr && i < 4; ++i) c[i] = tex->borderColor[i];
        setValues(a, Kind::Normalised, c, 4);
        break;
    }
    case GL_TEXTURE_MIN_FILTER: setValue(a, Kind::Integer, tex != nullptr ? tex->minFilter : GL_NEAREST_MIPMAP_LINEAR); break;
    case GL_TEXTURE_MAG_FILTER: setValue(a, Kind::Integer, tex != nullptr ? tex->magFilter : GL_LINEAR); break;
    case GL_TEXTURE_WRAP_S: setValue(a, Kind::Integer, tex != nullptr ? tex->wrapS : GL_REPEAT); break;
    case GL_TEXTURE_WRAP_T: setValue(a, Kind::Integer, tex != nullptr ? tex->wrapT : GL_REPEAT); break;
    case GL_TEXTURE_PRIORITY: setValue(a, Kind::Float, tex != nullptr ? tex->priority : 1.0f); break;
    case GL_TEXTURE_RESIDENT: {
        setValue(a, Kind::Boolean, tex != nullptr && __glHwTexBlockResident(tex->hwBlock));
        break;
    }
    default: return __glSetError(GL_INVALID_ENUM);
    }
    glquery::put(ctx, a, params);
}

bool isLevelParameter(GLenum pname) {
    switch (pname) {
    case GL_TEXTURE_WIDTH:
    case GL_TEXTURE_HEIGHT:
    case GL_TEXTURE_COMPONENTS:
    case GL_TEXTURE_BORDER: return true;
    default: return pname >= GL_TEXTURE_RED_SIZE && pname <= GL_TEXTURE_INTENSITY_SIZE;
    }
}

// Every level the context offers can be asked about; a level never stored answers as empty.
int32_t levelCount(const GlContext *ctx, const GlTextureObject *, GLenum target) {
    return ctx->limits.textureLevels[is2D(target) ? 1 : 0];
}

// One level's values: the width with its border, the height without the borders of a 1-D
// texture, the requested format and the channel sizes. An empty level answers zero sizes.
void gatherLevel(const GlTextureObject *tex, const GlMipLevel *level, GLenum pname, Answer &a) {
    static const GlMipLevel kEmpty = [] {
        GlMipLevel l{};
        l.requestedFormat = 1;
        return l;
    }();
    const GlMipLevel &l = level != nullptr ? *level : kEmpty;
    double v = 0;
    switch (pname) {
    case GL_TEXTURE_WIDTH: v = l.width; break;
    case GL_TEXTURE_HEIGHT: v = tex->dimensions == 1 ? l.height - 2 * l.border : l.height; break;
    case GL_TEXTURE_COMPONENTS: v = l.requestedFormat; break;
    case GL_TEXTURE_BORDER: v = l.border; break;
    case GL_TEXTURE_RED_SIZE: v = l.redBits; break;
    case GL_TEXTURE_GREEN_SIZE: v = l.greenBits; break;
    case GL_TEXTURE_BLUE_SIZE: v = l.blueBits; break;
    case GL_TEXTURE_ALPHA_SIZE: v = l.alphaBits; break;
    case GL_TEXTURE_LUMINANCE_SIZE: v = l.luminanceBits; break;
    case GL_TEXTURE_INTENSITY_SIZE: v = l.intensityBits; break;
    default: break;
    }
    setValue(a, Kind::Integer, v);
}

template <class T>
void getTexLevelParameter(GLenum target, GLint level, GLenum pname, T *params) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (!isTextureTarget(target) && !isProxyTarget(target)) return __glSetError(GL_INVALID_ENUM);
    if (!isLevelParameter(pname)) return __glSetError(GL_INVALID_ENUM);
    GlTextureObject *tex = boundTexture(ctx, target);
    if (level < 0 || level >= levelCount(ctx, tex, target)) return __glSetError(GL_INVALID_VALUE);
    if (tex == nullptr) return;  // no texture object to answer for
    Answer a;
    gatherLevel(tex, tex->levels != nullptr ? tex->levels[level] : nullptr, pname, a);
    glquery::put(ctx, a, params);
}

bool isImageFormat(GLenum format) {
    return (format >= GL_RED && format <= GL_LUMINANCE_ALPHA) || format == GL_ABGR_EXT || format == GL_BGR_EXT ||
           format == GL_BGRA_EXT;
}

bool isPackedType(GLenum type) { return type >= GL_UNSIGNED_BYTE_3_3_2_EXT && type <= GL_UNSIGNED_INT_10_10_10_2_EXT; }

bool isImageType(GLenum type) { return (type >= GL_BYTE && type <= GL_FLOAT) || isPackedType(type); }

// The packed types carry whole pixels of three or four components.
bool packedTypeFits(GLenum format, GLenum type) {
    if (type == GL_UNSIGNED_BYTE_3_3_2_EXT) return format == GL_RGB || format == GL_BGR_EXT;
    if (isPackedType(type)) return format == GL_RGBA || format == GL_ABGR_EXT || format == GL_BGRA_EXT;
    return true;
}

// ---- evaluator and pixel maps ------------------------------------------------------------------

bool isMapTarget(GLenum target) {
    return (target >= GL_MAP1_COLOR_4 && target <= GL_MAP1_VERTEX_4) ||
           (target >= GL_MAP2_COLOR_4 && target <= GL_MAP2_VERTEX_4);
}

// The map's control points, orders or domain, converted a run of values at a time.
template <class T>
void getMap(GLenum target, GLenum query, T *v) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (!isMapTarget(target) || query < GL_COEFF || query > GL_DOMAIN) return __glSetError(GL_INVALID_ENUM);
    Answer a;
    a.kind = query == GL_ORDER ? Kind::Integer : Kind::Float;
    for (int32_t at = 0;; at += a.count) {
        a.count = __glEvalMapValues(ctx, target, query, at, a.v, glquery::kMaxValues);
        if (a.count == 0) break;
        glquery::put(ctx, a, v + at);
    }
}

// The map's entries: the two index maps hold integers, the colour maps floats in [0, 1], which
// the integer forms scale to the type's full range (rounded).
template <class T>
void getPixelMap(GLenum map, T *values) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (map < GL_PIXEL_MAP_I_TO_I || map > GL_PIXEL_MAP_A_TO_A) return __glSetError(GL_INVALID_ENUM);
    const uint32_t m = map - GL_PIXEL_MAP_I_TO_I;
    const GlPixelMap &pm = ctx->state.pixel.maps.maps[m];
    if (pm.table.p == nullptr) return;
    for (int32_t i = 0; i < pm.size; ++i) {
        if (m <= uint32_t(kGlMapSToS)) {
            values[i] = T(pm.table.i[i]);
        } else if constexpr (std::is_same_v<T, GLfloat>) {
            values[i] = pm.table.f[i];
        } else {
            const double full = std::is_same_v<T, GLuint> ? 4294967295.0 : 65535.0;
            values[i] = T(double(pm.table.f[i]) * full + 0.5);
        }
    }
}

}  // namespace

namespace icd {

void APIENTRY glGetTexEnvfv(GLenum target, GLenum pname, GLfloat *params) { getTexEnv(target, pname, params); }
void APIENTRY glGetTexEnviv(GLenum target, GLenum pname, GLint *params) { getTexEnv(target, pname, params); }

void APIENTRY glGetTexGendv(GLenum coord, GLenum pname, GLdouble *params) { getTexGen(coord, pname, params); }
void APIENTRY glGetTexGenfv(GLenum coord, GLenum pname, GLfloat *params) { getTexGen(coord, pname, params); }
void APIENTRY glGetTexGeniv(GLenum coord, GLenum pname, GLint *params) { getTexGen(coord, pname, params); }

void APIENTRY glGetTexParameterfv(GLenum target, GLenum pname, GLfloat *params) { getTexParameter(target, pname, params); }
void APIENTRY glGetTexParameteriv(GLenum target, GLenum pname, GLint *params) { getTexParameter(target, pname, params); }

void APIENTRY glGetTexLevelParameterfv(GLenum target, GLint level, GLenum pname, GLfloat *params) {
    getTexLevelParameter(target, level, pname, params);
}
void APIENTRY glGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint *params) {
    getTexLevelParameter(target, level, pname, params);
}

void APIENTRY glGetTexImage(GLenum target, GLint level, GLenum format, GLenum type, GLvoid *pixels) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    if (!isTextureTarget(target) || !isImageFormat(format) || !isImageType(type)) return __glSetError(GL_INVALID_ENUM);
    GlTextureObject *tex = boundTexture(ctx, target);
    if (level < 0 || level >= levelCount(ctx, tex, target)) return __glSetError(GL_INVALID_VALUE);
    if (!packedTypeFits(format, type)) return __glSetError(GL_INVALID_OPERATION);
    __glGetTexLevelImage(ctx, tex, level, format, type, pixels);
}

void APIENTRY glGetMapdv(GLenum target, GLenum query, GLdouble *v) { getMap(target, query, v); }
void APIENTRY glGetMapfv(GLenum target, GLenum query, GLfloat *v) { getMap(target, query, v); }
void APIENTRY glGetMapiv(GLenum target, GLenum query, GLint *v) { getMap(target, query, v); }

void APIENTRY glGetPixelMapfv(GLenum map, GLfloat *values) { getPixelMap(map, values); }
void APIENTRY glGetPixelMapuiv(GLenum map, GLuint *values) { getPixelMap(map, values); }
void APIENTRY glGetPixelMapusv(GLenum map, GLushort *values) { getPixelMap(map, values); }

// The 32 x 32 pattern as a bitmap written with the pack modes.
void APIENTRY glGetPolygonStipple(GLubyte *mask) {
    GlContext *ctx = glquery::queryContext();
    if (ctx == nullptr) return;
    __glPackBitmapImage(ctx, 32, 32, ctx->state.mode.polygonStipple, mask);
}

}  // namespace icd
