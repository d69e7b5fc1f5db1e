// Vector-valued state entries: lights, the light model, materials and colour material, fog,
// point parameters and cull-vertex parameters. The float and integer forms of each command come
// from one template; a scalar form checks its pname before anything else and then runs the
// vector form.
#include "icd/core/state_entries_util.h"
#include "icd/vertex/color_units.h"
#include "icd/vertex/light.h"

using namespace glstate;

namespace {

// A client colour in [0, 1] units, unclamped: the float form as given, the integer form as
// (2i + 1) / (2^32 - 1), so that the largest integer is exactly 1.
template <class T>
void readColor(float out[4], const T *params) {
    for (int i = 0; i < 4; ++i) out[i] = colorComponent(params[i]);
}

// The same into colour-buffer units, without a clamp.
template <class T>
void readScaledColor(GlContext *ctx, float out[4], const T *params) {
    float color[4];
    readColor(color, params);
    __glScaleColor(ctx, out, color);
}

// ---- lights ------------------------------------------------------------------------------------

template <class T>
void lightv(GLenum light, GLenum pname, const T *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    uint32_t index = light - GL_LIGHT0;
    if (index >= uint32_t(ctx->limits.maxLights)) return __glSetError(GL_INVALID_ENUM);
    GlLightSource &l = __glLightSources(ctx)[index];
    float v = 0.0f;
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
        readScaledColor(ctx, pname == GL_AMBIENT ? l.ambient : (pname == GL_DIFFUSE ? l.diffuse : l.specular), params);
        break;
    case GL_POSITION:
        for (int i = 0; i < 4; ++i) l.position[i] = toFloat(params[i]);
        __glTransformLightPosition(ctx, int32_t(index));
        break;
    case GL_SPOT_DIRECTION: {
        const float direction[4] = {toFloat(params[0]), toFloat(params[1]), toFloat(params[2]), 0.0f};
        __glTransformSpotDirection(ctx, int32_t(index), direction);
        break;
    }
    case GL_SPOT_EXPONENT:
        v = toFloat(params[0]);
        if (!nonNegative(v) || !atMost(v, 128.0f)) return __glSetError(GL_INVALID_VALUE);
        l.spotExponent = v;
        break;
    case GL_SPOT_CUTOFF:
        v = toFloat(params[0]);
        if (!nonNegative(v) || !(atMost(v, 90.0f) || bitsOf(v) == bitsOf(180.0f))) return __glSetError(GL_INVALID_VALUE);
        l.spotCutoff = v;
        break;
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION:
        v = toFloat(params[0]);
        if (!nonNegative(v)) return __glSetError(GL_INVALID_VALUE);
        (pname == GL_CONSTANT_ATTENUATION ? l.constantAttenuation
         : pname == GL_LINEAR_ATTENUATION ? l.linearAttenuation
                                          : l.quadraticAttenuation) = v;
        break;
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    markDirty(ctx, kGlDirtyLighting);
}

bool isScalarLightParam(GLenum pname) { return pname >= GL_SPOT_EXPONENT && pname <= GL_QUADRATIC_ATTENUATION; }

template <class T>
void lightModelv(GLenum pname, const T *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlLightModel &m = ctx->state.lighting.lightModel;
    switch (pname) {
    case GL_LIGHT_MODEL_LOCAL_VIEWER: m.localViewer = nonZero(toFloat(params[0])); break;
    case GL_LIGHT_MODEL_TWO_SIDE: m.twoSide = nonZero(toFloat(params[0])); break;
    case GL_LIGHT_MODEL_AMBIENT: readScaledColor(ctx, m.ambient, params); break;
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    markDirty(ctx, kGlDirtyLighting);
}

bool isScalarLightModelParam(GLenum pname) {
    return pname == GL_LIGHT_MODEL_LOCAL_VIEWER || pname == GL_LIGHT_MODEL_TWO_SIDE;
}

// ---- materials ---------------------------------------------------------------------------------

uint32_t materialChangeBits(GLenum pname) {
    switch (pname) {
    case GL_AMBIENT: return kGlMaterialAmbient;
    case GL_DIFFUSE: return kGlMaterialDiffuse;
    case GL_SPECULAR: return kGlMaterialSpecular;
    case GL_EMISSION: return kGlMaterialEmission;
    case GL_SHININESS: return kGlMaterialShininess;
    case GL_AMBIENT_AND_DIFFUSE: return kGlMaterialAmbient | kGlMaterialDiffuse;
    case GL_COLOR_INDEXES:
    case GL_INDEX_SHIFT:
    case GL_INDEX_OFFSET: return kGlMaterialIndexes;
    default: return 0;
    }
}

template <class T>
void storeMaterial(GlContext *ctx, GlMaterial &m, GLenum pname, const T *params) {
    switch (pname) {
    case GL_AMBIENT: readColor(m.ambient, params); break;
    case GL_DIFFUSE: readColor(m.diffuse, params); break;
    case GL_SPECULAR: readColor(m.specular, params); break;
    case GL_AMBIENT_AND_DIFFUSE:
        readColor(m.ambient, params);
        readColor(m.diffuse, params);
        break;
    case GL_EMISSION:
        // Emission is added to scaled products by the lighting, so it is kept scaled.
        readScaledColor(ctx, m.emission, params);
        break;
    case GL_SHININESS: m.shininess = toFloat(params[0]); break;
    case GL_COLOR_INDEXES:
        m.ambientIndex = toFloat(params[0]);
        m.diffuseIndex = toFloat(params[1]);
        m.specularIndex = toFloat(params[2]);
        break;
    case GL_INDEX_SHIFT: m.indexShift = toFloat(params[0]); break;
    case GL_INDEX_OFFSET: m.indexOffset = toFloat(params[0]); break;
    default: break;
    }
}

// Allowed inside glBegin/glEnd: vertices the open primitive still holds are finished with the
// old material first.
template <class T>
void materialv(GLenum face, GLenum pname, const T *params) {
    GlContext *ctx = __glGetCurrentContext();
    bool front = face == GL_FRONT || face == GL_FRONT_AND_BACK;
    bool back = face == GL_BACK || face == GL_FRONT_AND_BACK;
    uint32_t changed = materialChangeBits(pname);
    if (!(front || back) || changed == 0) return __glSetError(GL_INVALID_ENUM);
    if (pname == GL_SHININESS) {
        float v = toFloat(params[0]);
        if (!nonNegative(v) || !atMost(v, 128.0f)) return __glSetError(GL_INVALID_VALUE);
    }
    if (ctx->beginMode == kGlInsideBegin && ctx->state.need.needMaskPending != 0) runProc(ctx, ctx->slots.completePending);
    GlLightingState &lighting = ctx->state.lighting;
    if (back) storeMaterial(ctx, lighting.backMaterial, pname, params);
    if (front) storeMaterial(ctx, lighting.frontMaterial, pname, params);
    __glApplyMaterialChange(ctx, front ? changed : 0, back ? changed : 0);
    // Colour-index lighting without a shift or an offset has a faster proc of its own: a change
    // of either chooses the lighting proc again (inside glBegin/glEnd, at glEnd).
    if (pname == GL_INDEX_SHIFT || pname == GL_INDEX_OFFSET) {
        ctx->dirtyMask |= kGlDirtyLighting;
        __glRequestValidation(ctx);
    }
    if (ctx->state.enable.enables & kGlEnableColorMaterial) runProc(ctx, ctx->slots.applyColor);
}

// ---- fog ---------------------------------------------------------------------------------------

template <class T>
void fogv(GLenum pname, const T *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlFogState &f = ctx->state.fog;
    switch (pname) {
    case GL_FOG_INDEX: {
        uint32_t index = uint32_t(truncToInt(toFloat(params[0]))) & maskOfBits(ctx->visual.indexBits);
        f.fogIndex = float(index);
        f.fogIndexByte = uint8_t(index);
        break;
    }
    case GL_FOG_DENSITY: {
        float v = toFloat(params[0]);
        if (!nonNegative(v)) return __glSetError(GL_INVALID_VALUE);
        f.fogDensity = v;
        break;
    }
    case GL_FOG_START: f.fogStart = toFloat(params[0]); break;
    case GL_FOG_END: f.fogEnd = toFloat(params[0]); break;
    case GL_FOG_MODE: {
        GLenum mode = toEnum(params[0]);
        if (mode != GL_EXP && mode != GL_EXP2 && mode != GL_LINEAR) return __glSetError(GL_INVALID_ENUM);
        f.fogMode = mode;
        break;
    }
    case GL_FOG_COLOR:
        readColor(f.fogColor, params);
        for (float &c : f.fogColor) c = clampTo(c, 0.0f, 1.0f);
        __glScaleColor(ctx, f.fogScaledColor, f.fogColor);
        for (int i = 0; i < 3; ++i) f.fogColorBytes[i] = unitToByteRound(f.fogColor[i]);
        break;
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    if (f.fogMode == GL_LINEAR) {
        float range = f.fogEnd - f.fogStart;
        f.fogOneOverEndMinusStart = range == 0.0f ? 0.0f : 1.0f / range;
    }
    markDirty(ctx, kGlDirtyGeneral);
}

bool isScalarFogParam(GLenum pname) { return pname >= GL_FOG_INDEX && pname <= GL_FOG_MODE; }

// ---- point and cull-vertex parameters ----------------------------------------------------------

void pointParameterv(GLenum pname, const GLfloat *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlPointState &p = ctx->state.point;
    switch (pname) {
    case GL_POINT_SIZE_MIN_EXT:
    case GL_POINT_SIZE_MAX_EXT:
    case GL_POINT_FADE_THRESHOLD_SIZE_EXT:
        if (!nonNegative(params[0])) return __glSetError(GL_INVALID_VALUE);
        (pname == GL_POINT_SIZE_MIN_EXT   ? p.pointSizeMin
         : pname == GL_POINT_SIZE_MAX_EXT ? p.pointSizeMax
                                          : p.pointFadeThreshold) = params[0];
        break;
    case GL_DISTANCE_ATTENUATION_EXT:
        for (int i = 0; i < 3; ++i) p.pointAttenuation[i] = params[i];
        break;
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    markDirty(ctx, kGlDirtyPoint);
}

bool isScalarPointParam(GLenum pname) { return pname >= GL_POINT_SIZE_MIN_EXT && pname <= GL_POINT_FADE_THRESHOLD_SIZE_EXT; }

void cullParameterv(GLenum pname, const GLfloat *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlCullVertexState &c = ctx->state.cullVertex;
    float *dst;
    if (pname == GL_CULL_VERTEX_EYE_POSITION_EXT) {
        dst = c.cullVertexEyePosition;
        c.cullVertexObjectInForce = 0;
    } else if (pname == GL_CULL_VERTEX_OBJECT_POSITION_EXT) {
        dst = c.cullVertexObjectPosition;
        c.cullVertexObjectInForce = 1;
    } else {
        return __glSetError(GL_INVALID_ENUM);
    }
    for (int i = 0; i < 4; ++i) dst[i] = params[i];
    markDirty(ctx, kGlDirtyGeneral);
}

}  // namespace

namespace icd {

void APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat *params) { lightv(light, pname, params); }
void APIENTRY glLightiv(GLenum light, GLenum pname, const GLint *params) { lightv(light, pname, params); }
void APIENTRY glLightf(GLenum light, GLenum pname, GLfloat param) {
    if (!isScalarLightParam(pname)) return __glSetError(GL_INVALID_ENUM);
    lightv(light, pname, &param);
}
void APIENTRY glLighti(GLenum light, GLenum pname, GLint param) {
    if (!isScalarLightParam(pname)) return __glSetError(GL_INVALID_ENUM);
    lightv(light, pname, &param);
}

void APIENTRY glLightModelfv(GLenum pname, const GLfloat *params) { lightModelv(pname, params); }
void APIENTRY glLightModeliv(GLenum pname, const GLint *params) { lightModelv(pname, params); }
void APIENTRY glLightModelf(GLenum pname, GLfloat param) {
    if (!isScalarLightModelParam(pname)) return __glSetError(GL_INVALID_ENUM);
    lightModelv(pname, &param);
}
void APIENTRY glLightModeli(GLenum pname, GLint param) {
    if (!isScalarLightModelParam(pname)) return __glSetError(GL_INVALID_ENUM);
    lightModelv(pname, &param);
}

void APIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat *params) { materialv(face, pname, params); }
void APIENTRY glMaterialiv(GLenum face, GLenum pname, const GLint *params) { materialv(face, pname, params); }
void APIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    if (pname != GL_SHININESS) return __glSetError(GL_INVALID_ENUM);
    materialv(face, pname, &param);
}
void APIENTRY glMateriali(GLenum face, GLenum pname, GLint param) {
    if (pname != GL_SHININESS && pname != GL_INDEX_SHIFT && pname != GL_INDEX_OFFSET)
        return __glSetError(GL_INVALID_ENUM);
    materialv(face, pname, &param);
}

// Face and mode only; when colour material is on, the material takes the current colour again.
void APIENTRY glColorMaterial(GLenum face, GLenum mode) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    bool faceOk = face == GL_FRONT || face == GL_BACK || face == GL_FRONT_AND_BACK;
    bool modeOk = mode == GL_AMBIENT || mode == GL_DIFFUSE || mode == GL_SPECULAR || mode == GL_EMISSION ||
                  mode == GL_AMBIENT_AND_DIFFUSE;
    if (!faceOk || !modeOk) return __glSetError(GL_INVALID_ENUM);
    ctx->state.mode.colorMaterialFace = face;
    ctx->state.mode.colorMaterialParam = mode;
    if (ctx->state.enable.enables & kGlEnableColorMaterial) {
        runProc(ctx, ctx->slots.pickColorMaterial);
        runProc(ctx, ctx->slots.applyColor);
    }
}

void APIENTRY glFogfv(GLenum pname, const GLfloat *params) { fogv(pname, params); }
void APIENTRY glFogiv(GLenum pname, const GLint *params) { fogv(pname, params); }
void APIENTRY glFogf(GLenum pname, GLfloat param) {
    if (!isScalarFogParam(pname)) return __glSetError(GL_INVALID_ENUM);
    fogv(pname, &param);
}
void APIENTRY glFogi(GLenum pname, GLint param) {
    if (!isScalarFogParam(pname)) return __glSetError(GL_INVALID_ENUM);
    fogv(pname, &param);
}

void APIENTRY __glDoPointParameterfvEXT(GLenum pname, const GLfloat *params) { pointParameterv(pname, params); }
void APIENTRY __glDoPointParameterfEXT(GLenum pname, GLfloat param) {
    if (!isScalarPointParam(pname)) return __glSetError(GL_INVALID_ENUM);
    pointParameterv(pname, &param);
}

void APIENTRY __glDoCullParameterfvEXT(GLenum pname, GLfloat *params) { cullParameterv(pname, params); }
void APIENTRY __glDoCullParameterdvEXT(GLenum pname, GLdouble *params) {
    if (pname != GL_CULL_VERTEX_EYE_POSITION_EXT && pname != GL_CULL_VERTEX_OBJECT_POSITION_EXT)
        return __glSetError(GL_INVALID_ENUM);
    GLfloat v[4];
    for (int i = 0; i < 4; ++i) v[i] = GLfloat(params[i]);
    cullParameterv(pname, v);
}

}  // namespace icd
