// Which OpenGL entries and compile routines have their code. An entry listed here as
// KIV_BUILT_<name>() gets no generated placeholder; add the line when the code lands.
#pragma once

// Immediate entries (core names live in namespace icd).
#define KIV_BUILT_glGetError() ~, 1
#define KIV_BUILT_glGetString() ~, 1
// State-setting entries and glClear.
#define KIV_BUILT_glEnable() ~, 1
#define KIV_BUILT_glDisable() ~, 1
#define KIV_BUILT_glEnableClientState() ~, 1
#define KIV_BUILT_glDisableClientState() ~, 1
#define KIV_BUILT_glAlphaFunc() ~, 1
#define KIV_BUILT_glBlendFunc() ~, 1
#define KIV_BUILT_glClearAccum() ~, 1
#define KIV_BUILT_glClearColor() ~, 1
#define KIV_BUILT_glClearIndex() ~, 1
#define KIV_BUILT_glClearDepth() ~, 1
#define KIV_BUILT_glClearStencil() ~, 1
#define KIV_BUILT_glColorMask() ~, 1
#define KIV_BUILT_glIndexMask() ~, 1
#define KIV_BUILT_glCullFace() ~, 1
#define KIV_BUILT_glFrontFace() ~, 1
#define KIV_BUILT_glDepthFunc() ~, 1
#define KIV_BUILT_glDepthMask() ~, 1
#define KIV_BUILT_glStencilFunc() ~, 1
#define KIV_BUILT_glStencilMask() ~, 1
#define KIV_BUILT_glStencilOp() ~, 1
#define KIV_BUILT_glLogicOp() ~, 1
#define KIV_BUILT_glShadeModel() ~, 1
#define KIV_BUILT_glHint() ~, 1
#define KIV_BUILT_glPolygonMode() ~, 1
#define KIV_BUILT_glPolygonOffset() ~, 1
#define KIV_BUILT_glPolygonStipple() ~, 1
#define KIV_BUILT_glLineStipple() ~, 1
#define KIV_BUILT_glLineWidth() ~, 1
#define KIV_BUILT_glPointSize() ~, 1
#define KIV_BUILT_glDrawBuffer() ~, 1
#define KIV_BUILT_glClear() ~, 1
#define KIV_BUILT_glLightf() ~, 1
#define KIV_BUILT_glLightfv() ~, 1
#define KIV_BUILT_glLighti() ~, 1
#define KIV_BUILT_glLightiv() ~, 1
#define KIV_BUILT_glLightModelf() ~, 1
#define KIV_BUILT_glLightModelfv() ~, 1
#define KIV_BUILT_glLightModeli() ~, 1
#define KIV_BUILT_glLightModeliv() ~, 1
#define KIV_BUILT_glMaterialf() ~, 1
#define KIV_BUILT_glMaterialfv() ~, 1
#define KIV_BUILT_glMateriali() ~, 1
#define KIV_BUILT_glMaterialiv() ~, 1
#define KIV_BUILT_glColorMaterial() ~, 1
#define KIV_BUILT_glFogf() ~, 1
#define KIV_BUILT_glFogfv() ~, 1
#define KIV_BUILT_glFogi() ~, 1
#define KIV_BUILT_glFogiv() ~, 1
#define KIV_BUILT___glDoPointParameterfEXT() ~, 1
#define KIV_BUILT___glDoPointParameterfvEXT() ~, 1
#define KIV_BUILT___glDoCullParameterfvEXT() ~, 1
#define KIV_BUILT___glDoCullParameterdvEXT() ~, 1
// Matrices, viewport, depth range, scissor box and clip planes.
#define KIV_BUILT_glMatrixMode() ~, 1
#define KIV_BUILT_glLoadIdentity() ~, 1
#define KIV_BUILT_glPushMatrix() ~, 1
#define KIV_BUILT_glPopMatrix() ~, 1
#define KIV_BUILT_glLoadMatrixf() ~, 1
#define KIV_BUILT_glLoadMatrixd() ~, 1
#define KIV_BUILT_glMultMatrixf() ~, 1
#define KIV_BUILT_glMultMatrixd() ~, 1
#define KIV_BUILT_glRotatef() ~, 1
#define KIV_BUILT_glRotated() ~, 1
#define KIV_BUILT_glScalef() ~, 1
#define KIV_BUILT_glScaled() ~, 1
#define KIV_BUILT_glTranslatef() ~, 1
#define KIV_BUILT_glTranslated() ~, 1
#define KIV_BUILT_glFrustum() ~, 1
#define KIV_BUILT_glOrtho() ~, 1
#define KIV_BUILT_glViewport() ~, 1
#define KIV_BUILT_glDepthRange() ~, 1
#define KIV_BUILT_glScissor() ~, 1
#define KIV_BUILT_glClipPlane() ~, 1

// Core entries that execute at once while a display list is compiled: the compile table holds
// their immediate entry.
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
