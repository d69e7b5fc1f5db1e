// Texture-coordinate generation: the glTexGen entries, the base procs that give a vertex its
// coordinates of set 0 from its position or normal, and the pickers that choose one of them.
// Set 1 is never generated or transformed: it keeps the value copied from the current
// coordinates.
#include <cmath>
#include "icd/core/state_entries_util.h"
#include "icd/core/pick.h"
#include "icd/vertex/texgen.h"
#include "icd/vertex/array_procs.h"

using namespace glstate;

namespace {

inline GlTexGenState &texGen(GlContext *ctx) { return ctx->state.texGen; }
inline uint32_t genEnables(const GlContext *ctx) {
    return (ctx->state.enable.texUnitEnables[0] / kGlEnableTexGenS) & 0xF;  // bit i: coordinate i
}

// Plane . point, accumulated in double so that large coordinates keep their low bits.
inline float dot4(const float plane[4], const float p[4]) {
    return float(double(plane[0]) * p[0] + double(plane[1]) * p[1] + double(plane[2]) * p[2] +
                 double(plane[3]) * p[3]);
}

typedef void (*NormalizeProc)(float dst[3], const float v[3]);

// The sphere-map s and t of a vertex: the eye direction reflected about the normal.
void sphereMap(GlContext *ctx, const GlVertex *v, float &s, float &t) {
    NormalizeProc normalize =
        ctx->slots.normalize != nullptr ? __glSlotAs<NormalizeProc>(ctx->slots.normalize) : __glNormalize;
    float u[3];
    normalize(u, v->eye);
    const float *n = v->normal;
    const double nu = double(n[0]) * u[0] + double(n[1]) * u[1] + double(n[2]) * u[2];
    const double rx = u[0] - 2.0 * nu * n[0], ry = u[1] - 2.0 * nu * n[1], rz = u[2] - 2.0 * nu * n[2];
    const double m = 2.0 * std::sqrt(rx * rx + ry * ry + (rz + 1.0) * (rz + 1.0));
    if (m == 0.0) {
        s = t = 0.5f;
    } else {
        s = float(rx / m + 0.5);
        t = float(ry / m + 0.5);
    }
}

// texCoord[0] := texture-matrix top x (s, t, r, q).
void finish(GlContext *ctx, GlVertex *v, const float in[4]) {
    const GlTransform *top = ctx->state.transform.texture;
    if (top == nullptr) {
        for (int i = 0; i < 4; ++i) v->texCoord[0][i] = in[i];
        return;
    }
    float out[4];
    top->matrix.xform4(out, in, &top->matrix);
    for (int i = 0; i < 4; ++i) v->texCoord[0][i] = out[i];
}

// S and T both generated in one mode; R and Q keep their current values.
enum class Pair { Eye, Object, Sphere };
template <Pair P>
void generatePair(GlContext *ctx, GlVertex *v) {
    const GlTexGenCoord *c = texGen(ctx).coord;
    float in[4] = {0.0f, 0.0f, v->texCoord[0][2], v->texCoord[0][3]};
    if constexpr (P == Pair::Eye) {
        in[0] = dot4(c[0].eyePlane, v->eye);
        in[1] = dot4(c[1].eyePlane, v->eye);
    } else if constexpr (P == Pair::Object) {
        in[0] = dot4(c[0].objectPlane, v->obj);
        in[1] = dot4(c[1].objectPlane, v->obj);
    } else {
        sphereMap(ctx, v, in[0], in[1]);
    }
    finish(ctx, v, in);
}

bool validMode(int coord, GLenum mode) {
    return mode == GL_EYE_LINEAR || mode == GL_OBJECT_LINEAR || (mode == GL_SPHERE_MAP && coord < 2);
}

// The modelview top's inverse-transpose, brought up to date.
const GlMatrix *modelViewInverseTranspose(GlContext *ctx) {
    GlTransform *top = ctx->state.transform.modelView;
    if (top == nullptr) return nullptr;
    __glRefreshModelViewInverse(ctx, top);
    return &top->inverseTranspose;
}

inline GLenum modeValue(GLfloat v) { return toEnum(v); }
inline GLenum modeValue(GLint v) { return GLenum(v); }
inline GLenum modeValue(GLdouble v) { return GLenum(truncToInt(v)); }

template <class T>
void texGenv(GLenum coord, GLenum pname, const T *params) {
    GlContext *ctx = outsideBegin();
    if (ctx == nullptr) return;
    const uint32_t i = coord - GL_S;
    if (i > 3) return __glSetError(GL_INVALID_ENUM);
    GlTexGenCoord &c = texGen(ctx).coord[i];
    switch (pname) {
    case GL_TEXTURE_GEN_MODE: {
        const GLenum mode = modeValue(params[0]);
        if (!validMode(int(i), mode)) return __glSetError(GL_INVALID_ENUM);
        c.mode = mode;
        // The pickers and the need masks read the modes from the pick state.
        ctx->state.pick.texGenMode[i] = mode;
        break;
    }
    case GL_OBJECT_PLANE:
        for (int k = 0; k < 4; ++k) c.objectPlane[k] = toFloat(params[k]);
        break;
    case GL_EYE_PLANE: {
        const float plane[4] = {toFloat(params[0]), toFloat(params[1]), toFloat(params[2]), toFloat(params[3])};
        // Stored as the modelview in force makes it: later modelview changes leave it alone.
        const GlMatrix *it = modelViewInverseTranspose(ctx);
        if (it != nullptr) {
            it->xform4(c.eyePlane, plane, it);
        } else {
            for (int k = 0; k < 4; ++k) c.eyePlane[k] = plane[k];
        }
        break;
    }
    default:
        return __glSetError(GL_INVALID_ENUM);
    }
    markDirty(ctx, kGlDirtyGeneral);
}

// The scalar forms carry the mode alone.
template <class T>
void texGen1(GLenum coord, GLenum pname, T param) {
    if (pname != GL_TEXTURE_GEN_MODE) {
        GlContext *ctx = __glGetCurrentContext();
        if (ctx->beginMode == kGlInsideBegin) return __glSetError(GL_INVALID_OPERATION);
        return __glSetError(GL_INVALID_ENUM);
    }
    texGenv(coord, pname, &param);
}

}  // namespace

// ---- state ---------------------------------------------------------------------------------------

void __glSetTexGenDefaults(GlContext *ctx) {
    GlTexGenCoord *c = texGen(ctx).coord;
    for (int i = 0; i < 4; ++i) {
        c[i].mode = GL_EYE_LINEAR;
        ctx->state.pick.texGenMode[i] = GL_EYE_LINEAR;
        for (int k = 0; k < 4; ++k) c[i].eyePlane[k] = c[i].objectPlane[k] = 0.0f;
    }
    c[0].eyePlane[0] = c[0].objectPlane[0] = 1.0f;
    c[1].eyePlane[1] = c[1].objectPlane[1] = 1.0f;
}

uint32_t __glTexGenNeeds(const GlContext *ctx) {
    const uint32_t gen = genEnables(ctx);
    uint32_t need = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(gen & (1u << i))) continue;
        GLenum mode = ctx->state.texGen.coord[i].mode;
        if (mode == GL_EYE_LINEAR || mode == 0) need |= kGlVertexEyeDone;
        else if (mode == GL_SPHERE_MAP) need |= kGlVertexEyeDone | kGlVertexNormalDone;
    }
    return need;
}

int32_t __glTexGenParamCount(GLenum pname) {
    switch (pname) {
    case GL_TEXTURE_GEN_MODE: return 1;
    case GL_OBJECT_PLANE:
    case GL_EYE_PLANE: return 4;
    default: return -1;
    }
}
int32_t __glTexGenfvParamCount(GLenum pname) { return __glTexGenParamCount(pname); }
int32_t __glTexGenivParamCount(GLenum pname) { return __glTexGenParamCount(pname); }

// ---- base procs ----------------------------------------------------------------------------------

void __glTexGenEyeLinear(GlContext *ctx, GlVertex *v) { generatePair<Pair::Eye>(ctx, v); }
void __glTexGenObjectLinear(GlContext *ctx, GlVertex *v) { generatePair<Pair::Object>(ctx, v); }
void __glTexGenSphereMap(GlContext *ctx, GlVertex *v) { generatePair<Pair::Sphere>(ctx, v); }

void __glTexGenOff(GlContext *ctx, GlVertex *v) {
    const float in[4] = {v->texCoord[0][0], v->texCoord[0][1], v->texCoord[0][2], v->texCoord[0][3]};
    finish(ctx, v, in);
}

// Each coordinate by its own enable and mode; the sphere map is computed at most once.
void __glTexGenMixed(GlContext *ctx, GlVertex *v) {
    const GlTexGenCoord *c = texGen(ctx).coord;
    const uint32_t gen = genEnables(ctx);
    float in[4] = {v->texCoord[0][0], v->texCoord[0][1], v->texCoord[0][2], v->texCoord[0][3]};
    float sphere[2];
    bool sphereDone = false;
    for (int i = 0; i < 4; ++i) {
        if (!(gen & (1u << i))) continue;
        switch (c[i].mode) {
        case GL_OBJECT_LINEAR: in[i] = dot4(c[i].objectPlane, v->obj); break;
        case GL_SPHERE_MAP:
            if (i >= 2) break;  // never stored for R and Q
            if (!sphereDone) {
                sphereMap(ctx, v, sphere[0], sphere[1]);
                sphereDone = true;
            }
            in[i] = sphere[i];
            break;
        default: in[i] = dot4(c[i].eyePlane, v->eye); break;
        }
    }
    finish(ctx, v, in);
}

// ---- pickers -------------------------------------------------------------------------------------

// The device context's picker: the generic choice, except that with nothing generated and an
// identity texture matrix the coordinates copied into a vertex are already final, so no proc
// runs at all. A change of the texture matrix revalidates, so the shortcut never outlives it.
GlVertexProc __glHwChooseTexGenProc(GlContext *ctx) {
    __glPickTexGenProcs(ctx);
    GlPrimitiveProcs &p = ctx->slots.primitive;
    const GlTransform *top = ctx->state.transform.texture;
    if (p.texCoord == __glTexGenOff && (top == nullptr || top->matrix.type == kGlMatrixIdentity)) {
        const GlVertexProc none = reinterpret_cast<GlVertexProc>(reinterpret_cast<void (*)(void)>(&__glNopProc));
        p.texCoord = p.rasterTexCoord = none;
        ctx->state.pick.texGenInner = none;
    }
    return p.texCoord;
}

void __glHwPickTexGenProcs(GlContext *ctx) { __glHwChooseTexGenProc(ctx); }

// ---- entries -------------------------------------------------------------------------------------

namespace icd {
void APIENTRY glTexGend(GLenum coord, GLenum pname, GLdouble param) { texGen1(coord, pname, param); }
void APIENTRY glTexGenf(GLenum coord, GLenum pname, GLfloat param) { texGen1(coord, pname, param); }
void APIENTRY glTexGeni(GLenum coord, GLenum pname, GLint param) { texGen1(coord, pname, param); }
void APIENTRY glTexGendv(GLenum coord, GLenum pname, const GLdouble *params) { texGenv(coord, pname, params); }
void APIENTRY glTexGenfv(GLenum coord, GLenum pname, const GLfloat *params) { texGenv(coord, pname, params); }
void APIENTRY glTexGeniv(GLenum coord, GLenum pname, const GLint *params) { texGenv(coord, pname, params); }
}  // namespace icd
