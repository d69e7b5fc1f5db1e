// Texture parameters and environments (glTexParameter*, glTexEnv*), the value counts that
// display-list compilation needs for them, and the completeness test of a texture object.
#include <type_traits>
#include "icd/core/core.h"
#include "icd/core/gl_entries.h"
#include "icd/core/state_entries_util.h"
#include "icd/pixel/texture.h"
#include "icd/vertex/light.h"

using glstate::clampTo;
using glstate::colorComponent;
using glstate::markDirty;
using glstate::outsideBegin;
using glstate::toEnum;

namespace {

bool isMinFilter(GLenum v) { return v == GL_NEAREST || v == GL_LINEAR || (v >= GL_NEAREST_MIPMAP_NEAREST && v <= GL_LINEAR_MIPMAP_LINEAR); }
bool isMagFilter(GLenum v) { return v == GL_NEAREST || v == GL_LINEAR; }
bool isWrap(GLenum v) { return v == GL_CLAMP || v == GL_REPEAT; }
bool isSingleValued(GLenum pname) {
    return pname == GL_TEXTURE_MAG_FILTER || pname == GL_TEXTURE_MIN_FILTER || pname == GL_TEXTURE_WRAP_S ||
           pname == GL_TEXTURE_WRAP_T || pname == GL_TEXTURE_PRIORITY;
}

// A unit value from a parameter: floats as given, integers over the whole integer range.
float unitValue(GLfloat v) { return clampTo(v, 0.0f, 1.0f); }
float unitValue(GLint v) { return clampTo(colorComponent(v), 0.0f, 1.0f); }

// A colour parameter in [0, 1], by the colour clamps of the rest of the pipeline.
void unitColor(GlContext *ctx, float out[4], const GLfloat *in) { __glClampColor(ctx, out, in); }
void unitColor(GlContext *ctx, float out[4], const GLint *in) { __glClampColorFromInt(ctx, out, in); }

template <class T>
void texParameter(GLenum target, GLenum pname, const T *values) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GLenum *params = __glLookUpTextureParams(ctx, int32_t(ctx->state.unitSelect.activeTexture), target);
    if (params == nullptr) return __glSetError(GL_INVALID_ENUM);
    GlTextureObject *tex = __glTextureOfParams(params);
    if (tex->refCount > 2) return __glSetError(GL_INVALID_OPERATION);
    if (values == nullptr) return;
    switch (pname) {
    case GL_TEXTURE_BORDER_COLOR:
        unitColor(ctx, tex->borderColor, values);
        break;
    case GL_TEXTURE_MAG_FILTER:
        if (!isMagFilter(toEnum(values[0]))) return __glSetError(GL_INVALID_ENUM);
        tex->magFilter = toEnum(values[0]);
        break;
    case GL_TEXTURE_MIN_FILTER:
        if (!isMinFilter(toEnum(values[0]))) return __glSetError(GL_INVALID_ENUM);
        tex->minFilter = toEnum(values[0]);
        break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        if (!isWrap(toEnum(values[0]))) return __glSetError(GL_INVALID_ENUM);
        (pname == GL_TEXTURE_WRAP_S ? tex->wrapS : tex->wrapT) = toEnum(values[0]);
        break;
    case GL_TEXTURE_PRIORITY: __glSetTexturePriority(ctx, tex, unitValue(values[0])); break;
    default: return __glSetError(GL_INVALID_ENUM);
    }
    tex->consistencyDirty = 1;
    markDirty(ctx, kGlDirtyGeneral);
}

template <class T>
void texParameterScalar(GLenum target, GLenum pname, T value) {
    if (!isSingleValued(pname)) {
        if (outsideBegin() != nullptr) __glSetError(GL_INVALID_ENUM);
        return;
    }
    texParameter(target, pname, &value);
}

bool isEnvMode(GLenum mode, bool integerForm) {
    return mode == GL_MODULATE || mode == GL_DECAL || mode == GL_BLEND || mode == GL_REPLACE ||
           (integerForm && mode == GL_ADD);
}

template <class T>
void texEnv(GLenum target, GLenum pname, const T *values) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    GlTextureBindingState &b = ctx->state.textures;
    const uint32_t unit = ctx->state.unitSelect.activeTexture;
    const uint32_t index = target - GL_TEXTURE_ENV;
    if (index >= uint32_t(b.envCount) || unit >= uint32_t(b.unitCount) || b.env[unit] == nullptr)
        return __glSetError(GL_INVALID_ENUM);
    if (values == nullptr) return;
    GlTexEnvRecord &env = b.env[unit][index];
    switch (pname) {
    case GL_TEXTURE_ENV_MODE: {
        const GLenum mode = toEnum(values[0]);
        if (!isEnvMode(mode, std::is_integral_v<T>)) return __glSetError(GL_INVALID_ENUM);
        env.mode = mode;
        if (unit == 0 && index == 0) ctx->state.pick.texEnvMode = mode;
        break;
    }
    case GL_TEXTURE_ENV_COLOR: {
        // [0, 1], clamped, -> fragment colour units.
        float unit[4];
        __glFragmentColorUnits(ctx, unit);
        for (int i = 0; i < 4; ++i) env.color[i] = clampTo(colorComponent(values[i]), 0.0f, 1.0f) * unit[i];
        break;
    }
    default: return __glSetError(GL_INVALID_ENUM);
    }
    markDirty(ctx, kGlDirtyTexture);
}

template <class T>
void texEnvScalar(GLenum target, GLenum pname, T value) {
    if (pname != GL_TEXTURE_ENV_MODE) {
        if (outsideBegin() != nullptr) __glSetError(GL_INVALID_ENUM);
        return;
    }
    texEnv(target, pname, &value);
}

}  // namespace

void __glFragmentColorUnits(const GlContext *ctx, float unit[4]) {
    const GlColorBuffers &cbs = ctx->buffers.color;
    const GlColorBuffer *cb = cbs.drawColorBuffer != nullptr ? cbs.drawColorBuffer : &cbs.front;
    if (ctx->visual.rgbaMode && cb->head.context != nullptr) {
        unit[0] = cb->redScale, unit[1] = cb->greenScale, unit[2] = cb->blueScale, unit[3] = cb->alphaScale;
        return;
    }
    // No buffer attached: the maxima the visual's channel bits give.
    const GlColorScales &s = ctx->scales;
    unit[0] = s.redScale * s.redMaxOverScale;
    unit[1] = s.greenScale * s.greenMaxOverScale;
    unit[2] = s.blueScale * s.blueMaxOverScale;
    // A format without alpha bits keeps fragment alpha in the context's units, as a colour
    // buffer's alpha limit does.
    unit[3] = ctx->visual.alphaBits > 0 ? s.alphaScale * s.alphaMaxOverScale : s.alphaScale;
}

int32_t __glTexParameterParamCount(GLenum pname) {
    if (pname == GL_TEXTURE_BORDER_COLOR) return 4;
    return isSingleValued(pname) ? 1 : -1;
}
int32_t __glTexParameterivParamCount(GLenum pname) { return __glTexParameterParamCount(pname); }
int32_t __glTexEnvParamCount(GLenum pname) {
    if (pname == GL_TEXTURE_ENV_MODE) return 1;
    return pname == GL_TEXTURE_ENV_COLOR ? 4 : -1;
}
int32_t __glTexEnvivParamCount(GLenum pname) { return __glTexEnvParamCount(pname); }

bool __glIsTextureConsistent(GlContext *ctx, GlTextureObject *tex, int32_t unit) {
    const GlTextureBindingState &b = ctx->state.textures;
    const GlMipLevel *base = tex->levels[0];
    const GLenum mode = unit >= 0 && unit < b.unitCount && b.env[unit] != nullptr ? b.env[unit][0].mode : GL_MODULATE;
    if (mode == GL_DECAL && base->baseFormat != GL_RGB && base->baseFormat != GL_RGBA) return false;
    if (!tex->consistencyDirty) return tex->consistent != 0;
    tex->consistencyDirty = 0;
    tex->consistent = 0;
    // A level of border texels only has nothing to sample.
    if (base->innerWidth <= 0 || base->innerHeight <= 0 || base->innerDepth <= 0) return false;
    if (base->baseFormat == GL_COLOR_INDEX) {
        const GlColorTable &t = tex->colorTable;
        if (t.baseFormat == 0 || t.baseFormat == GL_COLOR_INDEX || t.width <= 0 || t.entries == nullptr) return false;
    }
    if (tex->minFilter != GL_NEAREST && tex->minFilter != GL_LINEAR) {
        int32_t w = base->innerWidth, h = base->innerHeight, d = base->innerDepth;
        for (int32_t i = 1; i < ctx->limits.textureLevels[0] && !(w == 1 && h == 1); ++i) {
            w = w > 1 ? w >> 1 : 1;
            h = h > 1 ? h >> 1 : 1;
            d = d > 1 ? d >> 1 : 1;
            const GlMipLevel *l = tex->levels[i];
            if (l->border != base->border || l->requestedFormat != base->requestedFormat || l->innerWidth != w ||
                l->innerHeight != h || l->innerDepth != d)
                return false;
        }
    }
    tex->consistent = 1;
    return true;
}

namespace icd {

void APIENTRY glTexParameterf(GLenum target, GLenum pname, GLfloat param) { texParameterScalar(target, pname, param); }
void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) { texParameterScalar(target, pname, param); }
void APIENTRY glTexParameterfv(GLenum target, GLenum pname, const GLfloat *params) { texParameter(target, pname, params); }
void APIENTRY glTexParameteriv(GLenum target, GLenum pname, const GLint *params) { texParameter(target, pname, params); }
void APIENTRY glTexEnvf(GLenum target, GLenum pname, GLfloat param) { texEnvScalar(target, pname, param); }
void APIENTRY glTexEnvi(GLenum target, GLenum pname, GLint param) { texEnvScalar(target, pname, param); }
void APIENTRY glTexEnvfv(GLenum target, GLenum pname, const GLfloat *params) { texEnv(target, pname, params); }
void APIENTRY glTexEnviv(GLenum target, GLenum pname, const GLint *params) { texEnv(target, pname, params); }

}  // namespace icd
