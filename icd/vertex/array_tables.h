// The accepted (array, size, type) combinations of the pointer entries, the fetch proc and the
// immediate vector entry of each, the range-transform members, and the tables built from them.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/array_state.h"

// X(Array, size, type letter, component type, type enumerant): one row per accepted combination.
// The array names match the immediate commands (glVertex3f ...); the fetch proc of a row is
// __glFetchArray<Array><size><letter>.
#define GL_ARRAY_TYPES_SIFD(X, A, N) \
    X(A, N, s, GLshort, GL_SHORT) X(A, N, i, GLint, GL_INT) X(A, N, f, GLfloat, GL_FLOAT) X(A, N, d, GLdouble, GL_DOUBLE)
#define GL_ARRAY_TYPES_COLOR(X, N)                                                                       \
    X(Color, N, b, GLbyte, GL_BYTE) X(Color, N, ub, GLubyte, GL_UNSIGNED_BYTE) X(Color, N, s, GLshort, GL_SHORT) \
    X(Color, N, us, GLushort, GL_UNSIGNED_SHORT) X(Color, N, i, GLint, GL_INT)                              \
    X(Color, N, ui, GLuint, GL_UNSIGNED_INT) X(Color, N, f, GLfloat, GL_FLOAT) X(Color, N, d, GLdouble, GL_DOUBLE)
#define GL_ARRAY_FETCH_LIST(X)                                                                     \
    GL_ARRAY_TYPES_SIFD(X, Vertex, 2) GL_ARRAY_TYPES_SIFD(X, Vertex, 3) GL_ARRAY_TYPES_SIFD(X, Vertex, 4) \
    X(Normal, 3, b, GLbyte, GL_BYTE) GL_ARRAY_TYPES_SIFD(X, Normal, 3)                             \
    GL_ARRAY_TYPES_COLOR(X, 3) GL_ARRAY_TYPES_COLOR(X, 4)                                          \
    X(Index, 1, ub, GLubyte, GL_UNSIGNED_BYTE) GL_ARRAY_TYPES_SIFD(X, Index, 1)                   \
    GL_ARRAY_TYPES_SIFD(X, TexCoord, 1) GL_ARRAY_TYPES_SIFD(X, TexCoord, 2)                       \
    GL_ARRAY_TYPES_SIFD(X, TexCoord, 3) GL_ARRAY_TYPES_SIFD(X, TexCoord, 4)

#define GL_DECLARE_ARRAY_FETCH(A, N, L, T, E) void __glFetchArray##A##N##L(GlContext *ctx, const void *element, GlVertex *v);
GL_ARRAY_FETCH_LIST(GL_DECLARE_ARRAY_FETCH)
#undef GL_DECLARE_ARRAY_FETCH

// One table per array (vertex, normal, colour, index, texture coordinates): the immediate entry
// and the fetch proc of size + 5 x (type - GL_BYTE) for the types GL_BYTE .. GL_DOUBLE. An empty
// entry rejects the combination.
constexpr int kGlArraySetterEntries = 55;
struct GlArraySetterTable {
    GlArrayImmediateProc immediateProc[kGlArraySetterEntries];
    GlArrayFetchProc fetchProc[kGlArraySetterEntries];
};
inline int __glArraySetterIndex(int32_t size, GLenum type) { return int(size) + 5 * int(type - GL_BYTE); }
// By array, kGlArrayVertex .. kGlArrayTexCoord (the edge-flag array has no table).
extern const GlArraySetterTable *const __glArraySetters[kGlArrayEdgeFlag];

// One row of glInterleavedArrays: sizes 0 mean the array is not in the format.
struct GlInterleavedFormat {
    int32_t texCoordSize;
    int32_t colorSize;
    GLenum colorType;
    int32_t colorOffset;
    int32_t normalOffset;  // -1: no normal
    int32_t vertexSize;
    int32_t vertexOffset;
    int32_t defaultStride;
};
// GL_V2F .. GL_T4F_C4F_N3F_V4F.
extern const GlInterleavedFormat __glInterleavedFormats[14];

// The members of the range-transform table (generic ones fetch through attrFetch in two passes;
// the Fast ones read interleaved float arrays directly).
#define GL_RANGE_TRANSFORM_MEMBERS(X)                                                             \
    X(Pos) X(PosNormal) X(PosColor) X(PosIndex) X(PosNormalColor) X(PosNormalIndex) X(PosTex)     \
    X(PosNormalTex) X(PosColorTex) X(PosIndexTex) X(PosNormalColorTex) X(PosNormalIndexTex)       \
    X(PosNormalFast) X(PosTexFast) X(PosNormalTexFast)
#define GL_DECLARE_RANGE_MEMBER(name) \
    void __glTransformArray##name(GlContext *ctx, int32_t firstRecord, int32_t firstElement, int32_t count);
GL_RANGE_TRANSFORM_MEMBERS(GL_DECLARE_RANGE_MEMBER)
#undef GL_DECLARE_RANGE_MEMBER

// [fast][colour index][arrayNeedIndex]
extern const GlRangeTransformProc __glRangeTransformTable[2][2][8];

// formatWord bits of an array's type code and size (arrays kGlArrayVertex .. kGlArrayTexCoord).
uint32_t __glArrayFormatBits(int32_t array, int32_t size, GLenum type);
// The range procs for the vertex array's size from the matrices and clip checks in force:
// rangeTransformPoint, rangeClipCheck, rangeCompleteVertex and sizeCode. Every range transform
// refreshes them, because matrix calls change the composite without revalidating arrays.
void __glArraySetRangeProcs(GlContext *ctx);
// Whether the modes that array validation reads but whose changes do not always revalidate
// arrays (cull face, polygon modes, render mode, the enabled arrays) differ from those of the
// last validation.
bool __glArrayModesChanged(const GlContext *ctx);
