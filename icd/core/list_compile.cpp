// The display-list commands written by hand: calls, glBegin, error nodes, clip planes, the
// vector commands whose payload size follows from their parameter name or count, glEnable and
// glDisable, and the extension commands.
#include "icd/core/list_select.h"
#include "icd/core/list_pack.h"
#include "icd/core/list_routines.h"
#include "icd/core/query.h"
#include "icd/pixel/texture.h"
#include "icd/vertex/texgen.h"

using namespace listpack;

namespace {

GlContext *current() { return __glGetCurrentContext(); }

inline uint32_t roundUp4(uint64_t n) { return uint32_t((n + 3) & ~uint64_t(3)); }

// Payloads larger than this are refused as out of memory rather than wrapped.
constexpr uint64_t kLargestPayload = 0x7FFFFF00u;

void recordEmpty(int16_t opcode, GlListExecProc exec) {
    GlContext *ctx = current();
    GlListNode *node = newNode(ctx, opcode, 0, false);
    if (node != nullptr) __glAppendListNode(ctx, node, exec);
}

// ---- {header words, k values} commands ------------------------------------------------------------------
// One family: H header words (pname, or target/light/face and pname), then k values of T, where k
// is the count of the parameter name (the last header word).
template <int H, class T, int32_t (*Count)(GLenum), int Slot>
struct Params;

template <class T, int32_t (*Count)(GLenum), int Slot>
struct Params<1, T, Count, Slot> {
    static int32_t count(GLenum pname) { return Count(pname); }
    static const uint8_t *exec(const uint8_t *p) {
        GLenum pname = load<GLenum>(p);
        liveSlot<void(APIENTRY *)(GLenum, const T *)>(Slot)(pname, reinterpret_cast<const T *>(p + 4));
        return p + 4 + sizeof(T) * uint32_t(Count(pname));
    }
    static void compile(int16_t opcode, GLenum pname, const T *values) {
        int32_t k = Count(pname);
        if (k < 0) return __glCompileError(current(), GL_INVALID_ENUM);
        GlContext *ctx = current();
        GlListNode *node = newNode(ctx, opcode, 4 + sizeof(T) * uint32_t(k), false);
        if (node == nullptr) return;
        std::memcpy(node->payload(), &pname, 4);
        std::memcpy(node->payload() + 4, values, sizeof(T) * uint32_t(k));
        __glAppendListNode(ctx, node, exec);
    }
};

template <class T, int32_t (*Count)(GLenum), int Slot>
struct Params<2, T, Count, Slot> {
    static int32_t count(GLenum pname) { return Count(pname); }
    // Values of doubles start on the 8-byte boundary after the two header words.
    static const uint8_t *exec(const uint8_t *p) {
        GLenum first = load<GLenum>(p), pname = load<GLenum>(p + 4);
        liveSlot<void(APIENTRY *)(GLenum, GLenum, const T *)>(Slot)(first, pname, reinterpret_cast<const T *>(p + 8));
        return p + 8 + sizeof(T) * uint32_t(Count(pname));
    }
    static GlListNode *node(int16_t opcode, GLenum first, GLenum pname, const T *values) {
        int32_t k = Count(pname);
        if (k < 0) {
            __glCompileError(current(), GL_INVALID_ENUM);
            return nullptr;
        }
        GlListNode *n = newNode(current(), opcode, 8 + sizeof(T) * uint32_t(k), sizeof(T) == 8);
        if (n == nullptr) return nullptr;
        std::memcpy(n->payload(), &first, 4);
        std::memcpy(n->payload() + 4, &pname, 4);
        std::memcpy(n->payload() + 8, values, sizeof(T) * uint32_t(k));
        return n;
    }
    static void compile(int16_t opcode, GLenum first, GLenum pname, const T *values) {
        GlListNode *n = node(opcode, first, pname, values);
        if (n != nullptr) __glAppendListNode(current(), n, exec);
    }
    // The scalar form: only names that take exactly one value.
    static void compileOne(int16_t opcode, GLenum first, GLenum pname, T value) {
        if (Count(pname) != 1) return __glCompileError(current(), GL_INVALID_ENUM);
        compile(opcode, first, pname, &value);
    }
};

// Each command is sized by its own parameter counter: the fv form by the fv counter, the iv
// form by the iv counter.
using Fogfv = Params<1, GLfloat, __glFogfvParamCount, slot::glFogfv>;
using Fogiv = Params<1, GLint, __glFogivParamCount, slot::glFogiv>;
using LightModelfv = Params<1, GLfloat, __glLightModelfvParamCount, slot::glLightModelfv>;
using LightModeliv = Params<1, GLint, __glLightModelivParamCount, slot::glLightModeliv>;
using PointParameterfv = Params<1, GLfloat, __glPointParameterfvEXTParamCount, slot::__glDoPointParameterfvEXT>;
using Lightfv = Params<2, GLfloat, __glLightfvParamCount, slot::glLightfv>;
using Lightiv = Params<2, GLint, __glLightivParamCount, slot::glLightiv>;
using Materialfv = Params<2, GLfloat, __glMaterialfvParamCount, slot::glMaterialfv>;
using Materialiv = Params<2, GLint, __glMaterialivParamCount, slot::glMaterialiv>;
using TexParameterfv = Params<2, GLfloat, __glTexParameterParamCount, slot::glTexParameterfv>;
using TexParameteriv = Params<2, GLint, __glTexParameterivParamCount, slot::glTexParameteriv>;
using TexEnvfv = Params<2, GLfloat, __glTexEnvParamCount, slot::glTexEnvfv>;
using TexEnviv = Params<2, GLint, __glTexEnvivParamCount, slot::glTexEnviv>;
using TexGendv = Params<2, GLdouble, __glTexGenParamCount, slot::glTexGendv>;
using TexGenfv = Params<2, GLfloat, __glTexGenfvParamCount, slot::glTexGenfv>;
using TexGeniv = Params<2, GLint, __glTexGenivParamCount, slot::glTexGeniv>;

// glMaterial: the argument checks of the immediate command are made while compiling and recorded
// as the error they name.
template <class Family, class T>
void compileMaterial(int16_t opcode, GLenum face, GLenum pname, const T *values) {
    GlContext *ctx = current();
    bool faceOk = face == GL_FRONT || face == GL_BACK || face == GL_FRONT_AND_BACK;
    if (!faceOk || Family::count(pname) < 0) return __glCompileError(ctx, GL_INVALID_ENUM);
    if (pname == GL_SHININESS) {
        float v = float(values[0]);
        if (!(v >= 0.0f && v <= 128.0f)) return __glCompileError(ctx, GL_INVALID_VALUE);
    }
    ctx->state.list.compiler.build.contentFlags |= kGlListHasMaterial;
    Family::compile(opcode, face, pname, values);
}

// ---- pixel maps and texture priorities ----------------------------------------------------------
template <class T, int Slot>
struct PixelMap {
    static const uint8_t *exec(const uint8_t *p) {
        GLenum map = load<GLenum>(p);
        GLint size = load<GLint>(p + 4);
        liveSlot<void(APIENTRY *)(GLenum, GLint, const T *)>(Slot)(map, size, reinterpret_cast<const T *>(p + 8));
        return p + 8 + roundUp4(uint64_t(size) * sizeof(T));
    }
    static void compile(int16_t opcode, GLenum map, GLint size, const T *values) {
        if (size < 0) return __glCompileError(current(), GL_INVALID_VALUE);
        uint64_t bytes = 8 + roundUp4(uint64_t(size) * sizeof(T));
        if (bytes > kLargestPayload) return __glSetError(GL_OUT_OF_MEMORY);
        GlListNode *n = newNode(current(), opcode, uint32_t(bytes), false);
        if (n == nullptr) return;
        std::memcpy(n->payload(), &map, 4);
        std::memcpy(n->payload() + 4, &size, 4);
        if (size > 0) std::memcpy(n->payload() + 8, values, size_t(size) * sizeof(T));
        __glAppendListNode(current(), n, exec);
    }
};
using PixelMapfv = PixelMap<GLfloat, slot::glPixelMapfv>;
using PixelMapuiv = PixelMap<GLuint, slot::glPixelMapuiv>;
using PixelMapusv = PixelMap<GLushort, slot::glPixelMapusv>;

// Multi-texture coordinates: n values of T, then the target.
template <class T, int N, int Slot>
void compileMultiTexCoord(int16_t opcode, GLenum target, const T *v) {
    GlContext *ctx = current();
    GlListNode *n = newNode(ctx, opcode, listexec::multiTexCoordBytes<T, N>, sizeof(T) == 8);
    if (n == nullptr) return;
    std::memcpy(n->payload(), v, N * sizeof(T));
    std::memcpy(n->payload() + N * sizeof(T), &target, 4);
    __glAppendListNode(ctx, n, listexec::multiTexCoord<T, N, Slot>);
}

}  // namespace

// ---- error nodes ------------------------------------------------------------------------------------
void __glCompileError(GlContext *, GLenum code) {
    switch (code) {
    case GL_INVALID_VALUE: return recordEmpty(kGlOpErrorInvalidValue, listexec::errorInvalidValue);
    case GL_INVALID_ENUM: return recordEmpty(kGlOpErrorInvalidEnum, listexec::errorInvalidEnum);
    case GL_INVALID_OPERATION: return recordEmpty(kGlOpErrorInvalidOperation, listexec::errorInvalidOperation);
    case kGlTableTooLarge: return recordEmpty(kGlOpErrorTableTooLarge, listexec::errorTableTooLarge);
    default: return;
    }
}

namespace listexec {
const uint8_t *errorInvalidValue(const uint8_t *p) { return __glSetError(GL_INVALID_VALUE), p; }
const uint8_t *errorInvalidEnum(const uint8_t *p) { return __glSetError(GL_INVALID_ENUM), p; }
const uint8_t *errorInvalidOperation(const uint8_t *p) { return __glSetError(GL_INVALID_OPERATION), p; }
const uint8_t *errorTableTooLarge(const uint8_t *p) { return __glSetError(kGlTableTooLarge), p; }

const uint8_t *callList(const uint8_t *p) {
    __glDoCallList(current(), load<GLuint>(p));
    return p + 4;
}
const uint8_t *callLists(const uint8_t *p) {
    GLsizei n = load<GLsizei>(p);
    GLenum type = load<GLenum>(p + 4);
    __glDoCallLists(current(), n, type, p + 8);
    return p + 8 + roundUp4(uint64_t(n) * uint32_t(__glCallListsElementSize(type)));
}
const uint8_t *clipPlane(const uint8_t *p) {
    liveSlot<void(APIENTRY *)(GLenum, const GLdouble *)>(slot::glClipPlane)(load<GLenum>(p + 32),
                                                                             reinterpret_cast<const GLdouble *>(p));
    return p + 40;
}
const uint8_t *fogfv(const uint8_t *p) { return Fogfv::exec(p); }
const uint8_t *fogiv(const uint8_t *p) { return Fogiv::exec(p); }
const uint8_t *lightfv(const uint8_t *p) { return Lightfv::exec(p); }
const uint8_t *lightiv(const uint8_t *p) { return Lightiv::exec(p); }
const uint8_t *lightModelfv(const uint8_t *p) { return LightModelfv::exec(p); }
const uint8_t *lightModeliv(const uint8_t *p) { return LightModeliv::exec(p); }
const uint8_t *materialfv(const uint8_t *p) { return Materialfv::exec(p); }
const uint8_t *materialiv(const uint8_t *p) { return Materialiv::exec(p); }
const uint8_t *texParameterfv(const uint8_t *p) { return TexParameterfv::exec(p); }
const uint8_t *texParameteriv(const uint8_t *p) { return TexParameteriv::exec(p); }
const uint8_t *texEnvfv(const uint8_t *p) { return TexEnvfv::exec(p); }
const uint8_t *texEnviv(const uint8_t *p) { return TexEnviv::exec(p); }
const uint8_t *texGendv(const uint8_t *p) { return TexGendv::exec(p); }
const uint8_t *texGenfv(const uint8_t *p) { return TexGenfv::exec(p); }
const uint8_t *texGeniv(const uint8_t *p) { return TexGeniv::exec(p); }
const uint8_t *pointParameterfv(const uint8_t *p) { return PointParameterfv::exec(p); }
const uint8_t *disable(const uint8_t *p) { return Replay<void(GLenum)>::exec<slot::glDisable>(p); }
const uint8_t *enable(const uint8_t *p) { return Replay<void(GLenum)>::exec<slot::glEnable>(p); }
const uint8_t *pixelMapfv(const uint8_t *p) { return PixelMapfv::exec(p); }
const uint8_t *pixelMapuiv(const uint8_t *p) { return PixelMapuiv::exec(p); }
const uint8_t *pixelMapusv(const uint8_t *p) { return PixelMapusv::exec(p); }
const uint8_t *copyColorTable(const uint8_t *p) {
    return Replay<void(GLenum, GLenum, GLint, GLint, GLsizei)>::exec<slot::__glDoCopyColorTable>(p);
}
const uint8_t *pointParameterf(const uint8_t *p) {
    return Replay<void(GLenum, GLfloat)>::exec<slot::__glDoPointParameterfEXT>(p);
}
const uint8_t *selectTexture(const uint8_t *p) { return Replay<void(GLenum)>::exec<slot::__glDoSelectTextureSGIS>(p); }
const uint8_t *selectTextureCoordSet(const uint8_t *p) {
    return Replay<void(GLenum)>::exec<slot::__glDoSelectTextureCoordSetSGIS>(p);
}
const uint8_t *prioritizeTextures(const uint8_t *p) {
    GLsizei n = load<GLsizei>(p);
    liveSlot<void(APIENTRY *)(GLsizei, const GLuint *, const GLclampf *)>(slot::glPrioritizeTextures)(
        n, reinterpret_cast<const GLuint *>(p + 4), reinterpret_cast<const GLclampf *>(p + 4 + 4 * uint32_t(n)));
    return p + 4 + 8 * uint32_t(n);
}
}  // namespace listexec

// ---- compile routines ---------------------------------------------------------------------------------
namespace icd {
namespace compile {

void APIENTRY glCallList(GLuint list) {
    // The same error the immediate command raises for list 0.
    if (list == 0) return __glCompileError(current(), GL_INVALID_VALUE);
    record<GLuint>(kGlOpCallList, listexec::callList, list);
}

void APIENTRY glCallLists(GLsizei n, GLenum type, const GLvoid *lists) {
    GlContext *ctx = current();
    if (n < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    // An unknown type is the error the immediate command raises, whatever the count.
    int32_t element = __glCallListsElementSize(type);
    if (element == 0) return __glCompileError(ctx, GL_INVALID_ENUM);
    uint64_t names = uint64_t(n) * uint32_t(element);
    if (8 + names > kLargestPayload) return __glSetError(GL_OUT_OF_MEMORY);
    GlListNode *node = newNode(ctx, kGlOpCallLists, 8 + roundUp4(names), false);
    if (node == nullptr) return;
    std::memcpy(node->payload(), &n, 4);
    std::memcpy(node->payload() + 4, &type, 4);
    if (names != 0) std::memcpy(node->payload() + 8, lists, size_t(names));
    __glAppendListNode(ctx, node, listexec::callLists);
}

void APIENTRY glBegin(GLenum mode) {
    // Opcode 1000 + the position of the mode in this order.
    static const GLenum order[10] = {GL_LINE_LOOP,      GL_LINE_STRIP,   GL_LINES,     GL_POINTS,     GL_POLYGON,
                                     GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN, GL_TRIANGLES, GL_QUAD_STRIP, GL_QUADS};
    for (int i = 0; i < 10; ++i)
        if (order[i] == mode) return recordEmpty(int16_t(kGlListExtOpcodeBase + i), __glListExecTableExt[i]);
    __glCompileError(current(), GL_INVALID_ENUM);
}

void APIENTRY glClipPlane(GLenum plane, const GLdouble *equation) {
    GlContext *ctx = current();
    GlListNode *n = newNode(ctx, 76, 40, true);
    if (n == nullptr) return;
    std::memcpy(n->payload(), equation, 32);
    std::memcpy(n->payload() + 32, &plane, 4);
    __glAppendListNode(ctx, n, listexec::clipPlane);
}

// The client-array caps are client state: they change at once and are not recorded, exactly as
// glEnableClientState and glDisableClientState change them.
void APIENTRY glEnable(GLenum cap) {
    if (cap >= GL_VERTEX_ARRAY && cap <= GL_EDGE_FLAG_ARRAY) return icd::glEnableClientState(cap);
    record<GLenum>(138, listexec::enable, cap);
}
void APIENTRY glDisable(GLenum cap) {
    if (cap >= GL_VERTEX_ARRAY && cap <= GL_EDGE_FLAG_ARRAY) return icd::glDisableClientState(cap);
    record<GLenum>(137, listexec::disable, cap);
}

void APIENTRY glFogfv(GLenum pname, const GLfloat *params) { Fogfv::compile(80, pname, params); }
void APIENTRY glFogiv(GLenum pname, const GLint *params) { Fogiv::compile(82, pname, params); }
void APIENTRY glLightfv(GLenum light, GLenum pname, const GLfloat *params) { Lightfv::compile(86, light, pname, params); }
void APIENTRY glLightiv(GLenum light, GLenum pname, const GLint *params) { Lightiv::compile(88, light, pname, params); }
void APIENTRY glLightf(GLenum light, GLenum pname, GLfloat param) { Lightfv::compileOne(86, light, pname, param); }
void APIENTRY glLighti(GLenum light, GLenum pname, GLint param) { Lightiv::compileOne(88, light, pname, param); }
void APIENTRY glLightModelfv(GLenum pname, const GLfloat *params) { LightModelfv::compile(90, pname, params); }
void APIENTRY glLightModeliv(GLenum pname, const GLint *params) { LightModeliv::compile(92, pname, params); }
void APIENTRY glLightModelf(GLenum pname, GLfloat param) {
    if (LightModelfv::count(pname) != 1) return __glCompileError(current(), GL_INVALID_ENUM);
    LightModelfv::compile(90, pname, &param);
}
void APIENTRY glLightModeli(GLenum pname, GLint param) {
    if (LightModeliv::count(pname) != 1) return __glCompileError(current(), GL_INVALID_ENUM);
    LightModeliv::compile(92, pname, &param);
}
void APIENTRY glMaterialfv(GLenum face, GLenum pname, const GLfloat *params) {
    compileMaterial<Materialfv>(kGlOpMaterialfv, face, pname, params);
}
void APIENTRY glMaterialiv(GLenum face, GLenum pname, const GLint *params) {
    compileMaterial<Materialiv>(kGlOpMaterialiv, face, pname, params);
}
void APIENTRY glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    if (Materialfv::count(pname) != 1) return __glCompileError(current(), GL_INVALID_ENUM);
    compileMaterial<Materialfv>(kGlOpMaterialfv, face, pname, &param);
}
void APIENTRY glMateriali(GLenum face, GLenum pname, GLint param) {
    if (Materialiv::count(pname) != 1) return __glCompileError(current(), GL_INVALID_ENUM);
    compileMaterial<Materialiv>(kGlOpMaterialiv, face, pname, &param);
}
void APIENTRY glTexParameterfv(GLenum target, GLenum pname, const GLfloat *params) {
    TexParameterfv::compile(105, target, pname, params);
}
void APIENTRY glTexParameteriv(GLenum target, GLenum pname, const GLint *params) {
    TexParameteriv::compile(107, target, pname, params);
}
void APIENTRY glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    TexParameterfv::compileOne(105, target, pname, param);
}
void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) {
    TexParameteriv::compileOne(107, target, pname, param);
}
void APIENTRY glTexEnvfv(GLenum target, GLenum pname, const GLfloat *params) { TexEnvfv::compile(111, target, pname, params); }
void APIENTRY glTexEnviv(GLenum target, GLenum pname, const GLint *params) { TexEnviv::compile(113, target, pname, params); }
void APIENTRY glTexEnvf(GLenum target, GLenum pname, GLfloat param) { TexEnvfv::compileOne(111, target, pname, param); }
void APIENTRY glTexEnvi(GLenum target, GLenum pname, GLint param) { TexEnviv::compileOne(113, target, pname, param); }
void APIENTRY glTexGendv(GLenum coord, GLenum pname, const GLdouble *params) { TexGendv::compile(115, coord, pname, params); }
void APIENTRY glTexGenfv(GLenum coord, GLenum pname, const GLfloat *params) { TexGenfv::compile(117, coord, pname, params); }
void APIENTRY glTexGeniv(GLenum coord, GLenum pname, const GLint *params) { TexGeniv::compile(119, coord, pname, params); }
void APIENTRY glTexGend(GLenum coord, GLenum pname, GLdouble param) { TexGendv::compileOne(115, coord, pname, param); }
void APIENTRY glTexGenf(GLenum coord, GLenum pname, GLfloat param) { TexGenfv::compileOne(117, coord, pname, param); }
void APIENTRY glTexGeni(GLenum coord, GLenum pname, GLint param) { TexGeniv::compileOne(119, coord, pname, param); }

void APIENTRY glPixelMapfv(GLenum map, GLint mapsize, const GLfloat *values) { PixelMapfv::compile(166, map, mapsize, values); }
void APIENTRY glPixelMapuiv(GLenum map, GLint mapsize, const GLuint *values) {
    PixelMapuiv::compile(167, map, mapsize, values);
}
void APIENTRY glPixelMapusv(GLenum map, GLint mapsize, const GLushort *values) {
    PixelMapusv::compile(168, map, mapsize, values);
}

void APIENTRY glPrioritizeTextures(GLsizei n, const GLuint *textures, const GLclampf *priorities) {
    GlContext *ctx = current();
    if (n < 0) return __glCompileError(ctx, GL_INVALID_VALUE);
    uint64_t bytes = 4 + 8 * uint64_t(n);
    if (bytes > kLargestPayload) return __glSetError(GL_OUT_OF_MEMORY);
    GlListNode *node = newNode(ctx, 206, uint32_t(bytes), false);
    if (node == nullptr) return;
    std::memcpy(node->payload(), &n, 4);
    if (n > 0) {
        std::memcpy(node->payload() + 4, textures, 4 * size_t(n));
        std::memcpy(node->payload() + 4 + 4 * size_t(n), priorities, 4 * size_t(n));
    }
    __glAppendListNode(ctx, node, listexec::prioritizeTextures);
}

}  // namespace compile

// ---- extension commands ------------------------------------------------------------------------------------
void APIENTRY __glCompilePointParameterfEXT(GLenum pname, GLfloat param) {
    record<GLenum, GLfloat>(208, listexec::pointParameterf, pname, param);
}
void APIENTRY __glCompilePointParameterfvEXT(GLenum pname, const GLfloat *params) {
    PointParameterfv::compile(209, pname, params);
}
void APIENTRY __glCompileSelectTextureSGIS(GLenum target) { record<GLenum>(226, listexec::selectTexture, target); }
void APIENTRY __glCompileSelectTextureCoordSetSGIS(GLenum target) {
    record<GLenum>(227, listexec::selectTextureCoordSet, target);
}
void APIENTRY __glCompileCopyColorTable(GLenum target, GLenum internalformat, GLint x, GLint y, GLsizei width) {
    record<GLenum, GLenum, GLint, GLint, GLsizei>(194, listexec::copyColorTable, target, internalformat, x, y, width);
}

// Sixteen vector forms (opcodes 210 .. 225: sizes 1 to 4, each in d, f, i, s) and their scalars.
#define MTC_VECTOR(n, sfx, T, index)                                                                    \
    void APIENTRY __glCompileMultiTexCoord##n##sfx##vSGIS(GLenum target, const T *v) {                  \
        compileMultiTexCoord<T, n, listpack::slot::__glDoMultiTexCoord##n##sfx##vSGIS>(int16_t(210 + index), \
                                                                                      target, v);       \
    }
#define MTC_SIZE(n, ...)                                                                                           \
    MTC_VECTOR(n, d, GLdouble, 4 * (n - 1)) MTC_VECTOR(n, f, GLfloat, 4 * (n - 1) + 1)                                \
    MTC_VECTOR(n, i, GLint, 4 * (n - 1) + 2) MTC_VECTOR(n, s, GLshort, 4 * (n - 1) + 3)
MTC_SIZE(1) MTC_SIZE(2) MTC_SIZE(3) MTC_SIZE(4)
#undef MTC_SIZE
#undef MTC_VECTOR

#define MTC_SCALARS(sfx, T)                                                                                  \
    void APIENTRY __glCompileMultiTexCoord1##sfx##SGIS(GLenum target, T s) {                                  \
        const T v[1] = {s};                                                                                   \
        __glCompileMultiTexCoord1##sfx##vSGIS(target, v);                                                     \
    }                                                                                                         \
    void APIENTRY __glCompileMultiTexCoord2##sfx##SGIS(GLenum target, T s, T t) {                             \
        const T v[2] = {s, t};                                                                                \
        __glCompileMultiTexCoord2##sfx##vSGIS(target, v);                                                     \
    }                                                                                                         \
    void APIENTRY __glCompileMultiTexCoord3##sfx##SGIS(GLenum target, T s, T t, T r) {                        \
        const T v[3] = {s, t, r};                                                                             \
        __glCompileMultiTexCoord3##sfx##vSGIS(target, v);                                                     \
    }                                                                                                         \
    void APIENTRY __glCompileMultiTexCoord4##sfx##SGIS(GLenum target, T s, T t, T r, T q) {                   \
        const T v[4] = {s, t, r, q};                                                                          \
        __glCompileMultiTexCoord4##sfx##vSGIS(target, v);                                                     \
    }
MTC_SCALARS(d, GLdouble)
MTC_SCALARS(f, GLfloat)
MTC_SCALARS(i, GLint)
MTC_SCALARS(s, GLshort)
#undef MTC_SCALARS

}  // namespace icd
