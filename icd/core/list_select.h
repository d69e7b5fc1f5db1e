// The preprocessor selection the proc tables and the list recipes are generated with, and the
// core entries that execute at once while a display list is compiled (the compile table holds
// their immediate entry).
#pragma once
// Display-list compile routines: the opcode list names every one with a recipe.
#include "icd/core/list_ops.h"

#define KIV_IMMEDIATE_IN_LIST_glNewList() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glEndList() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glDeleteLists() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGenLists() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glFeedbackBuffer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glSelectBuffer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glRenderMode() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glFinish() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glFlush() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glPixelStoref() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glPixelStorei() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glReadPixels() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetBooleanv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetClipPlane() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetDoublev() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetError() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetFloatv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetIntegerv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetLightfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetLightiv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetMapdv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetMapfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetMapiv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetMaterialfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetMaterialiv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetPixelMapfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetPixelMapuiv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetPixelMapusv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetPolygonStipple() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetString() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexEnvfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexEnviv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexGendv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexGenfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexGeniv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexImage() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexParameterfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexParameteriv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexLevelParameterfv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetTexLevelParameteriv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glIsEnabled() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glIsList() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glColorPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glDisableClientState() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glEdgeFlagPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glEnableClientState() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glIndexPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glInterleavedArrays() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glNormalPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glTexCoordPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glVertexPointer() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glAreTexturesResident() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glDeleteTextures() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGenTextures() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glGetPointerv() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glIsTexture() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glPopClientAttrib() ~, 1
#define KIV_IMMEDIATE_IN_LIST_glPushClientAttrib() ~, 1

// Selection helpers: KIV_IS(prefix, name) is 1 when prefix##name() is defined above, else 0;
// KIV_IF(flag, (yes), (no)) keeps one of two parenthesised token lists.
#define KIV_CAT_(a, b) a##b
#define KIV_CAT(a, b) KIV_CAT_(a, b)
#define KIV_SECOND_(a, b, ...) b
#define KIV_SECOND(...) KIV_SECOND_(__VA_ARGS__)
#define KIV_PROBE(x) KIV_SECOND(x, 0, ~)
#define KIV_IS(prefix, name) KIV_PROBE(prefix##name())
#define KIV_UNPAREN(...) __VA_ARGS__
#define KIV_IF_1(yes, no) KIV_UNPAREN yes
#define KIV_IF_0(yes, no) KIV_UNPAREN no
#define KIV_IF(flag, yes, no) KIV_CAT(KIV_IF_, flag)(yes, no)
