// The execute routines written by hand (variable payloads, calls, glBegin modes, error nodes and
// the merged material block), with the opcodes they serve.
#pragma once
#include "icd/core/list_pack.h"

namespace listexec {
const uint8_t *callList(const uint8_t *p);
const uint8_t *callLists(const uint8_t *p);
const uint8_t *clipPlane(const uint8_t *p);
const uint8_t *fogfv(const uint8_t *p);
const uint8_t *fogiv(const uint8_t *p);
const uint8_t *lightfv(const uint8_t *p);
const uint8_t *lightiv(const uint8_t *p);
const uint8_t *lightModelfv(const uint8_t *p);
const uint8_t *lightModeliv(const uint8_t *p);
const uint8_t *materialfv(const uint8_t *p);
const uint8_t *materialiv(const uint8_t *p);
const uint8_t *texParameterfv(const uint8_t *p);
const uint8_t *texParameteriv(const uint8_t *p);
const uint8_t *texEnvfv(const uint8_t *p);
const uint8_t *texEnviv(const uint8_t *p);
const uint8_t *texGendv(const uint8_t *p);
const uint8_t *texGenfv(const uint8_t *p);
const uint8_t *texGeniv(const uint8_t *p);
const uint8_t *disable(const uint8_t *p);
const uint8_t *enable(const uint8_t *p);
const uint8_t *pixelMapfv(const uint8_t *p);
const uint8_t *pixelMapuiv(const uint8_t *p);
const uint8_t *pixelMapusv(const uint8_t *p);
const uint8_t *copyColorTable(const uint8_t *p);
const uint8_t *prioritizeTextures(const uint8_t *p);
const uint8_t *pointParameterf(const uint8_t *p);
const uint8_t *pointParameterfv(const uint8_t *p);
const uint8_t *selectTexture(const uint8_t *p);
const uint8_t *selectTextureCoordSet(const uint8_t *p);

// Multi-texture coordinates: n values of T, then the target.
template <class T, int N>
constexpr uint32_t multiTexCoordBytes = (N * sizeof(T) + 4 + (sizeof(T) == 8 ? 7 : 3)) / (sizeof(T) == 8 ? 8 : 4) *
                                        (sizeof(T) == 8 ? 8 : 4);
template <class T, int N, int Slot>
const uint8_t *multiTexCoord(const uint8_t *p) {
    GLenum target = listpack::load<GLenum>(p + N * sizeof(T));
    listpack::liveSlot<void(APIENTRY *)(GLenum, const T *)>(Slot)(target, reinterpret_cast<const T *>(p));
    return p + multiTexCoordBytes<T, N>;
}
// glBegin of one mode; the payload is empty.
template <GLenum Mode>
const uint8_t *begin(const uint8_t *p) {
    listpack::liveSlot<void(APIENTRY *)(GLenum)>(listpack::slot::glBegin)(Mode);
    return p;
}
const uint8_t *errorInvalidValue(const uint8_t *p);
const uint8_t *errorInvalidEnum(const uint8_t *p);
const uint8_t *errorInvalidOperation(const uint8_t *p);
const uint8_t *errorTableTooLarge(const uint8_t *p);
const uint8_t *materialBlock(const uint8_t *p);
const uint8_t *bitmap(const uint8_t *p);
const uint8_t *map1(const uint8_t *p);
const uint8_t *map2(const uint8_t *p);
const uint8_t *polygonStipple(const uint8_t *p);
const uint8_t *drawPixels(const uint8_t *p);
const uint8_t *texImage1D(const uint8_t *p);
const uint8_t *texImage2D(const uint8_t *p);
const uint8_t *texSubImage1D(const uint8_t *p);
const uint8_t *texSubImage2D(const uint8_t *p);
const uint8_t *colorTable(const uint8_t *p);
const uint8_t *colorSubTable(const uint8_t *p);
}  // namespace listexec

struct GlListRoutineRow {
    int16_t opcode;
    GlListExecProc routine;
};

inline constexpr GlListRoutineRow kGlListRoutines[] = {
    {0, listexec::callList}, {1, listexec::callLists}, {4, listexec::bitmap}, {76, listexec::clipPlane},
    {101, listexec::polygonStipple}, {108, listexec::texImage1D}, {109, listexec::texImage2D},
    {141, listexec::map1}, {142, listexec::map1}, {143, listexec::map2}, {144, listexec::map2},
    {171, listexec::drawPixels}, {203, listexec::texSubImage1D}, {204, listexec::texSubImage2D},
    {80, listexec::fogfv}, {82, listexec::fogiv}, {86, listexec::lightfv}, {88, listexec::lightiv},
    {90, listexec::lightModelfv}, {92, listexec::lightModeliv}, {96, listexec::materialfv},
    {98, listexec::materialiv}, {105, listexec::texParameterfv}, {107, listexec::texParameteriv},
    {111, listexec::texEnvfv}, {113, listexec::texEnviv}, {115, listexec::texGendv},
    {117, listexec::texGenfv}, {119, listexec::texGeniv}, {137, listexec::disable}, {138, listexec::enable},
    {166, listexec::pixelMapfv}, {167, listexec::pixelMapuiv}, {168, listexec::pixelMapusv},
    {192, listexec::colorSubTable}, {193, listexec::colorTable}, {194, listexec::copyColorTable}, {206, listexec::prioritizeTextures}, {208, listexec::pointParameterf},
    {209, listexec::pointParameterfv},
    {210, listexec::multiTexCoord<GLdouble, 1, listpack::slot::__glDoMultiTexCoord1dvSGIS>},
    {211, listexec::multiTexCoord<GLfloat, 1, listpack::slot::__glDoMultiTexCoord1fvSGIS>},
    {212, listexec::multiTexCoord<GLint, 1, listpack::slot::__glDoMultiTexCoord1ivSGIS>},
    {213, listexec::multiTexCoord<GLshort, 1, listpack::slot::__glDoMultiTexCoord1svSGIS>},
    {214, listexec::multiTexCoord<GLdouble, 2, listpack::slot::__glDoMultiTexCoord2dvSGIS>},
    {215, listexec::multiTexCoord<GLfloat, 2, listpack::slot::__glDoMultiTexCoord2fvSGIS>},
    {216, listexec::multiTexCoord<GLint, 2, listpack::slot::__glDoMultiTexCoord2ivSGIS>},
    {217, listexec::multiTexCoord<GLshort, 2, listpack::slot::__glDoMultiTexCoord2svSGIS>},
    {218, listexec::multiTexCoord<GLdouble, 3, listpack::slot::__glDoMultiTexCoord3dvSGIS>},
    {219, listexec::multiTexCoord<GLfloat, 3, listpack::slot::__glDoMultiTexCoord3fvSGIS>},
    {220, listexec::multiTexCoord<GLint, 3, listpack::slot::__glDoMultiTexCoord3ivSGIS>},
    {221, listexec::multiTexCoord<GLshort, 3, listpack::slot::__glDoMultiTexCoord3svSGIS>},
    {222, listexec::multiTexCoord<GLdouble, 4, listpack::slot::__glDoMultiTexCoord4dvSGIS>},
    {223, listexec::multiTexCoord<GLfloat, 4, listpack::slot::__glDoMultiTexCoord4fvSGIS>},
    {224, listexec::multiTexCoord<GLint, 4, listpack::slot::__glDoMultiTexCoord4ivSGIS>},
    {225, listexec::multiTexCoord<GLshort, 4, listpack::slot::__glDoMultiTexCoord4svSGIS>},
    {226, listexec::selectTexture}, {227, listexec::selectTextureCoordSet},
    {1000, listexec::begin<GL_LINE_LOOP>}, {1001, listexec::begin<GL_LINE_STRIP>},
    {1002, listexec::begin<GL_LINES>}, {1003, listexec::begin<GL_POINTS>},
    {1004, listexec::begin<GL_POLYGON>}, {1005, listexec::begin<GL_TRIANGLE_STRIP>},
    {1006, listexec::begin<GL_TRIANGLE_FAN>}, {1007, listexec::begin<GL_TRIANGLES>},
    {1008, listexec::begin<GL_QUAD_STRIP>}, {1009, listexec::begin<GL_QUADS>},
    {1010, listexec::errorInvalidValue}, {1011, listexec::errorInvalidEnum}, {1012, listexec::errorInvalidOperation},
    {1014, listexec::materialBlock}, {1015, listexec::errorTableTooLarge},
};
