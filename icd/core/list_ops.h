// The display-list opcode list: one recipe per compiled OpenGL command, read by the proc-table
// templates (a listed compile routine is built, so no placeholder is generated for it) and by the
// code that generates the compile and execute routines from it.
//
// Each line is KIV_BUILT_COMPILE_<command>() ~, 1, <kind>, <data>:
//   VEC, opcode, T, n      vector form: n values of type T; runs the command's slot with the payload
//   SCALAR, vector form    scalar form: its arguments packed like the vector, run as the vector form
//   RECTV, opcode, T       glRect*v: two corners of two values each
//   ARGS, opcode           the arguments packed (doubles first), replayed as arguments
//   HAND                   written by hand (variable payloads, checks at compile time, images)
#pragma once

#define KIV_BUILT_COMPILE_glColor3bv() ~, 1, VEC, 5, GLbyte, 3
#define KIV_BUILT_COMPILE_glColor3b() ~, 1, SCALAR, glColor3bv
#define KIV_BUILT_COMPILE_glColor3dv() ~, 1, VEC, 6, GLdouble, 3
#define KIV_BUILT_COMPILE_glColor3d() ~, 1, SCALAR, glColor3dv
#define KIV_BUILT_COMPILE_glColor3fv() ~, 1, VEC, 7, GLfloat, 3
#define KIV_BUILT_COMPILE_glColor3f() ~, 1, SCALAR, glColor3fv
#define KIV_BUILT_COMPILE_glColor3iv() ~, 1, VEC, 8, GLint, 3
#define KIV_BUILT_COMPILE_glColor3i() ~, 1, SCALAR, glColor3iv
#define KIV_BUILT_COMPILE_glColor3sv() ~, 1, VEC, 9, GLshort, 3
#define KIV_BUILT_COMPILE_glColor3s() ~, 1, SCALAR, glColor3sv
#define KIV_BUILT_COMPILE_glColor3ubv() ~, 1, VEC, 10, GLubyte, 3
#define KIV_BUILT_COMPILE_glColor3ub() ~, 1, SCALAR, glColor3ubv
#define KIV_BUILT_COMPILE_glColor3uiv() ~, 1, VEC, 11, GLuint, 3
#define KIV_BUILT_COMPILE_glColor3ui() ~, 1, SCALAR, glColor3uiv
#define KIV_BUILT_COMPILE_glColor3usv() ~, 1, VEC, 12, GLushort, 3
#define KIV_BUILT_COMPILE_glColor3us() ~, 1, SCALAR, glColor3usv
#define KIV_BUILT_COMPILE_glColor4bv() ~, 1, VEC, 13, GLbyte, 4
#define KIV_BUILT_COMPILE_glColor4b() ~, 1, SCALAR, glColor4bv
#define KIV_BUILT_COMPILE_glColor4dv() ~, 1, VEC, 14, GLdouble, 4
#define KIV_BUILT_COMPILE_glColor4d() ~, 1, SCALAR, glColor4dv
#define KIV_BUILT_COMPILE_glColor4fv() ~, 1, VEC, 15, GLfloat, 4
#define KIV_BUILT_COMPILE_glColor4f() ~, 1, SCALAR, glColor4fv
#define KIV_BUILT_COMPILE_glColor4iv() ~, 1, VEC, 16, GLint, 4
#define KIV_BUILT_COMPILE_glColor4i() ~, 1, SCALAR, glColor4iv
#define KIV_BUILT_COMPILE_glColor4sv() ~, 1, VEC, 17, GLshort, 4
#define KIV_BUILT_COMPILE_glColor4s() ~, 1, SCALAR, glColor4sv
#define KIV_BUILT_COMPILE_glColor4ubv() ~, 1, VEC, 18, GLubyte, 4
#define KIV_BUILT_COMPILE_glColor4ub() ~, 1, SCALAR, glColor4ubv
#define KIV_BUILT_COMPILE_glColor4uiv() ~, 1, VEC, 19, GLuint, 4
#define KIV_BUILT_COMPILE_glColor4ui() ~, 1, SCALAR, glColor4uiv
#define KIV_BUILT_COMPILE_glColor4usv() ~, 1, VEC, 20, GLushort, 4
#define KIV_BUILT_COMPILE_glColor4us() ~, 1, SCALAR, glColor4usv
#define KIV_BUILT_COMPILE_glEdgeFlagv() ~, 1, VEC, 21, GLboolean, 1
#define KIV_BUILT_COMPILE_glEdgeFlag() ~, 1, SCALAR, glEdgeFlagv
#define KIV_BUILT_COMPILE_glIndexdv() ~, 1, VEC, 23, GLdouble, 1
#define KIV_BUILT_COMPILE_glIndexd() ~, 1, SCALAR, glIndexdv
#define KIV_BUILT_COMPILE_glIndexfv() ~, 1, VEC, 24, GLfloat, 1
#define KIV_BUILT_COMPILE_glIndexf() ~, 1, SCALAR, glIndexfv
#define KIV_BUILT_COMPILE_glIndexiv() ~, 1, VEC, 25, GLint, 1
#define KIV_BUILT_COMPILE_glIndexi() ~, 1, SCALAR, glIndexiv
#define KIV_BUILT_COMPILE_glIndexsv() ~, 1, VEC, 26, GLshort, 1
#define KIV_BUILT_COMPILE_glIndexs() ~, 1, SCALAR, glIndexsv
#define KIV_BUILT_COMPILE_glNormal3bv() ~, 1, VEC, 27, GLbyte, 3
#define KIV_BUILT_COMPILE_glNormal3b() ~, 1, SCALAR, glNormal3bv
#define KIV_BUILT_COMPILE_glNormal3dv() ~, 1, VEC, 28, GLdouble, 3
#define KIV_BUILT_COMPILE_glNormal3d() ~, 1, SCALAR, glNormal3dv
#define KIV_BUILT_COMPILE_glNormal3fv() ~, 1, VEC, 29, GLfloat, 3
#define KIV_BUILT_COMPILE_glNormal3f() ~, 1, SCALAR, glNormal3fv
#define KIV_BUILT_COMPILE_glNormal3iv() ~, 1, VEC, 30, GLint, 3
#define KIV_BUILT_COMPILE_glNormal3i() ~, 1, SCALAR, glNormal3iv
#define KIV_BUILT_COMPILE_glNormal3sv() ~, 1, VEC, 31, GLshort, 3
#define KIV_BUILT_COMPILE_glNormal3s() ~, 1, SCALAR, glNormal3sv
#define KIV_BUILT_COMPILE_glRasterPos2dv() ~, 1, VEC, 32, GLdouble, 2
#define KIV_BUILT_COMPILE_glRasterPos2d() ~, 1, SCALAR, glRasterPos2dv
#define KIV_BUILT_COMPILE_glRasterPos2fv() ~, 1, VEC, 33, GLfloat, 2
#define KIV_BUILT_COMPILE_glRasterPos2f() ~, 1, SCALAR, glRasterPos2fv
#define KIV_BUILT_COMPILE_glRasterPos2iv() ~, 1, VEC, 34, GLint, 2
#define KIV_BUILT_COMPILE_glRasterPos2i() ~, 1, SCALAR, glRasterPos2iv
#define KIV_BUILT_COMPILE_glRasterPos2sv() ~, 1, VEC, 35, GLshort, 2
#define KIV_BUILT_COMPILE_glRasterPos2s() ~, 1, SCALAR, glRasterPos2sv
#define KIV_BUILT_COMPILE_glRasterPos3dv() ~, 1, VEC, 36, GLdouble, 3
#define KIV_BUILT_COMPILE_glRasterPos3d() ~, 1, SCALAR, glRasterPos3dv
#define KIV_BUILT_COMPILE_glRasterPos3fv() ~, 1, VEC, 37, GLfloat, 3
#define KIV_BUILT_COMPILE_glRasterPos3f() ~, 1, SCALAR, glRasterPos3fv
#define KIV_BUILT_COMPILE_glRasterPos3iv() ~, 1, VEC, 38, GLint, 3
#define KIV_BUILT_COMPILE_glRasterPos3i() ~, 1, SCALAR, glRasterPos3iv
#define KIV_BUILT_COMPILE_glRasterPos3sv() ~, 1, VEC, 39, GLshort, 3
#define KIV_BUILT_COMPILE_glRasterPos3s() ~, 1, SCALAR, glRasterPos3sv
#define KIV_BUILT_COMPILE_glRasterPos4dv() ~, 1, VEC, 40, GLdouble, 4
#define KIV_BUILT_COMPILE_glRasterPos4d() ~, 1, SCALAR, glRasterPos4dv
#define KIV_BUILT_COMPILE_glRasterPos4fv() ~, 1, VEC, 41, GLfloat, 4
#define KIV_BUILT_COMPILE_glRasterPos4f() ~, 1, SCALAR, glRasterPos4fv
#define KIV_BUILT_COMPILE_glRasterPos4iv() ~, 1, VEC, 42, GLint, 4
#define KIV_BUILT_COMPILE_glRasterPos4i() ~, 1, SCALAR, glRasterPos4iv
#define KIV_BUILT_COMPILE_glRasterPos4sv() ~, 1, VEC, 43, GLshort, 4
#define KIV_BUILT_COMPILE_glRasterPos4s() ~, 1, SCALAR, glRasterPos4sv
#define KIV_BUILT_COMPILE_glTexCoord1dv() ~, 1, VEC, 48, GLdouble, 1
#define KIV_BUILT_COMPILE_glTexCoord1d() ~, 1, SCALAR, glTexCoord1dv
#define KIV_BUILT_COMPILE_glTexCoord1fv() ~, 1, VEC, 49, GLfloat, 1
#define KIV_BUILT_COMPILE_glTexCoord1f() ~, 1, SCALAR, glTexCoord1fv
#define KIV_BUILT_COMPILE_glTexCoord1iv() ~, 1, VEC, 50, GLint, 1
#define KIV_BUILT_COMPILE_glTexCoord1i() ~, 1, SCALAR, glTexCoord1iv
#define KIV_BUILT_COMPILE_glTexCoord1sv() ~, 1, VEC, 51, GLshort, 1
#define KIV_BUILT_COMPILE_glTexCoord1s() ~, 1, SCALAR, glTexCoord1sv
#define KIV_BUILT_COMPILE_glTexCoord2dv() ~, 1, VEC, 52, GLdouble, 2
#define KIV_BUILT_COMPILE_glTexCoord2d() ~, 1, SCALAR, glTexCoord2dv
#define KIV_BUILT_COMPILE_glTexCoord2fv() ~, 1, VEC, 53, GLfloat, 2
#define KIV_BUILT_COMPILE_glTexCoord2f() ~, 1, SCALAR, glTexCoord2fv
#define KIV_BUILT_COMPILE_glTexCoord2iv() ~, 1, VEC, 54, GLint, 2
#define KIV_BUILT_COMPILE_glTexCoord2i() ~, 1, SCALAR, glTexCoord2iv
#define KIV_BUILT_COMPILE_glTexCoord2sv() ~, 1, VEC, 55, GLshort, 2
#define KIV_BUILT_COMPILE_glTexCoord2s() ~, 1, SCALAR, glTexCoord2sv
#define KIV_BUILT_COMPILE_glTexCoord3dv() ~, 1, VEC, 56, GLdouble, 3
#define KIV_BUILT_COMPILE_glTexCoord3d() ~, 1, SCALAR, glTexCoord3dv
#define KIV_BUILT_COMPILE_glTexCoord3fv() ~, 1, VEC, 57, GLfloat, 3
#define KIV_BUILT_COMPILE_glTexCoord3f() ~, 1, SCALAR, glTexCoord3fv
#define KIV_BUILT_COMPILE_glTexCoord3iv() ~, 1, VEC, 58, GLint, 3
#define KIV_BUILT_COMPILE_glTexCoord3i() ~, 1, SCALAR, glTexCoord3iv
#define KIV_BUILT_COMPILE_glTexCoord3sv() ~, 1, VEC, 59, GLshort, 3
#define KIV_BUILT_COMPILE_glTexCoord3s() ~, 1, SCALAR, glTexCoord3sv
#define KIV_BUILT_COMPILE_glTexCoord4dv() ~, 1, VEC, 60, GLdouble, 4
#define KIV_BUILT_COMPILE_glTexCoord4d() ~, 1, SCALAR, glTexCoord4dv
#define KIV_BUILT_COMPILE_glTexCoord4fv() ~, 1, VEC, 61, GLfloat, 4
#define KIV_BUILT_COMPILE_glTexCoord4f() ~, 1, SCALAR, glTexCoord4fv
#define KIV_BUILT_COMPILE_glTexCoord4iv() ~, 1, VEC, 62, GLint, 4
#define KIV_BUILT_COMPILE_glTexCoord4i() ~, 1, SCALAR, glTexCoord4iv
#define KIV_BUILT_COMPILE_glTexCoord4sv() ~, 1, VEC, 63, GLshort, 4
#define KIV_BUILT_COMPILE_glTexCoord4s() ~, 1, SCALAR, glTexCoord4sv
#define KIV_BUILT_COMPILE_glVertex2dv() ~, 1, VEC, 64, GLdouble, 2
#define KIV_BUILT_COMPILE_glVertex2d() ~, 1, SCALAR, glVertex2dv
#define KIV_BUILT_COMPILE_glVertex2fv() ~, 1, VEC, 65, GLfloat, 2
#define KIV_BUILT_COMPILE_glVertex2f() ~, 1, SCALAR, glVertex2fv
#define KIV_BUILT_COMPILE_glVertex2iv() ~, 1, VEC, 66, GLint, 2
#define KIV_BUILT_COMPILE_glVertex2i() ~, 1, SCALAR, glVertex2iv
#define KIV_BUILT_COMPILE_glVertex2sv() ~, 1, VEC, 67, GLshort, 2
#define KIV_BUILT_COMPILE_glVertex2s() ~, 1, SCALAR, glVertex2sv
#define KIV_BUILT_COMPILE_glVertex3dv() ~, 1, VEC, 68, GLdouble, 3
#define KIV_BUILT_COMPILE_glVertex3d() ~, 1, SCALAR, glVertex3dv
#define KIV_BUILT_COMPILE_glVertex3fv() ~, 1, VEC, 69, GLfloat, 3
#define KIV_BUILT_COMPILE_glVertex3f() ~, 1, SCALAR, glVertex3fv
#define KIV_BUILT_COMPILE_glVertex3iv() ~, 1, VEC, 70, GLint, 3
#define KIV_BUILT_COMPILE_glVertex3i() ~, 1, SCALAR, glVertex3iv
#define KIV_BUILT_COMPILE_glVertex3sv() ~, 1, VEC, 71, GLshort, 3
#define KIV_BUILT_COMPILE_glVertex3s() ~, 1, SCALAR, glVertex3sv
#define KIV_BUILT_COMPILE_glVertex4dv() ~, 1, VEC, 72, GLdouble, 4
#define KIV_BUILT_COMPILE_glVertex4d() ~, 1, SCALAR, glVertex4dv
#define KIV_BUILT_COMPILE_glVertex4fv() ~, 1, VEC, 73, GLfloat, 4
#define KIV_BUILT_COMPILE_glVertex4f() ~, 1, SCALAR, glVertex4fv
#define KIV_BUILT_COMPILE_glVertex4iv() ~, 1, VEC, 74, GLint, 4
#define KIV_BUILT_COMPILE_glVertex4i() ~, 1, SCALAR, glVertex4iv
#define KIV_BUILT_COMPILE_glVertex4sv() ~, 1, VEC, 75, GLshort, 4
#define KIV_BUILT_COMPILE_glVertex4s() ~, 1, SCALAR, glVertex4sv
#define KIV_BUILT_COMPILE_glIndexubv() ~, 1, VEC, 207, GLubyte, 1
#define KIV_BUILT_COMPILE_glIndexub() ~, 1, SCALAR, glIndexubv
#define KIV_BUILT_COMPILE_glEvalCoord1dv() ~, 1, VEC, 149, GLdouble, 1
#define KIV_BUILT_COMPILE_glEvalCoord1d() ~, 1, SCALAR, glEvalCoord1dv
#define KIV_BUILT_COMPILE_glEvalCoord1fv() ~, 1, VEC, 150, GLfloat, 1
#define KIV_BUILT_COMPILE_glEvalCoord1f() ~, 1, SCALAR, glEvalCoord1fv
#define KIV_BUILT_COMPILE_glEvalCoord2dv() ~, 1, VEC, 151, GLdouble, 2
#define KIV_BUILT_COMPILE_glEvalCoord2d() ~, 1, SCALAR, glEvalCoord2dv
#define KIV_BUILT_COMPILE_glEvalCoord2fv() ~, 1, VEC, 152, GLfloat, 2
#define KIV_BUILT_COMPILE_glEvalCoord2f() ~, 1, SCALAR, glEvalCoord2fv
#define KIV_BUILT_COMPILE_glRectdv() ~, 1, RECTV, 44, GLdouble
#define KIV_BUILT_COMPILE_glRectd() ~, 1, SCALAR, glRectdv
#define KIV_BUILT_COMPILE_glRectfv() ~, 1, RECTV, 45, GLfloat
#define KIV_BUILT_COMPILE_glRectf() ~, 1, SCALAR, glRectfv
#define KIV_BUILT_COMPILE_glRectiv() ~, 1, RECTV, 46, GLint
#define KIV_BUILT_COMPILE_glRecti() ~, 1, SCALAR, glRectiv
#define KIV_BUILT_COMPILE_glRectsv() ~, 1, RECTV, 47, GLshort
#define KIV_BUILT_COMPILE_glRects() ~, 1, SCALAR, glRectsv
#define KIV_BUILT_COMPILE_glLoadMatrixf() ~, 1, VEC, 175, GLfloat, 16
#define KIV_BUILT_COMPILE_glLoadMatrixd() ~, 1, VEC, 176, GLdouble, 16
#define KIV_BUILT_COMPILE_glMultMatrixf() ~, 1, VEC, 178, GLfloat, 16
#define KIV_BUILT_COMPILE_glMultMatrixd() ~, 1, VEC, 179, GLdouble, 16
#define KIV_BUILT_COMPILE_glListBase() ~, 1, ARGS, 2
#define KIV_BUILT_COMPILE_glEnd() ~, 1, ARGS, 22
#define KIV_BUILT_COMPILE_glColorMaterial() ~, 1, ARGS, 77
#define KIV_BUILT_COMPILE_glCullFace() ~, 1, ARGS, 78
#define KIV_BUILT_COMPILE_glFogf() ~, 1, ARGS, 79
#define KIV_BUILT_COMPILE_glFogi() ~, 1, ARGS, 81
#define KIV_BUILT_COMPILE_glFrontFace() ~, 1, ARGS, 83
#define KIV_BUILT_COMPILE_glHint() ~, 1, ARGS, 84
#define KIV_BUILT_COMPILE_glLineStipple() ~, 1, ARGS, 93
#define KIV_BUILT_COMPILE_glLineWidth() ~, 1, ARGS, 94
#define KIV_BUILT_COMPILE_glPointSize() ~, 1, ARGS, 99
#define KIV_BUILT_COMPILE_glPolygonMode() ~, 1, ARGS, 100
#define KIV_BUILT_COMPILE_glScissor() ~, 1, ARGS, 102
#define KIV_BUILT_COMPILE_glShadeModel() ~, 1, ARGS, 103
#define KIV_BUILT_COMPILE_glInitNames() ~, 1, ARGS, 120
#define KIV_BUILT_COMPILE_glLoadName() ~, 1, ARGS, 121
#define KIV_BUILT_COMPILE_glPassThrough() ~, 1, ARGS, 122
#define KIV_BUILT_COMPILE_glPopName() ~, 1, ARGS, 123
#define KIV_BUILT_COMPILE_glPushName() ~, 1, ARGS, 124
#define KIV_BUILT_COMPILE_glDrawBuffer() ~, 1, ARGS, 125
#define KIV_BUILT_COMPILE_glClear() ~, 1, ARGS, 126
#define KIV_BUILT_COMPILE_glClearAccum() ~, 1, ARGS, 127
#define KIV_BUILT_COMPILE_glClearIndex() ~, 1, ARGS, 128
#define KIV_BUILT_COMPILE_glClearColor() ~, 1, ARGS, 129
#define KIV_BUILT_COMPILE_glClearStencil() ~, 1, ARGS, 130
#define KIV_BUILT_COMPILE_glClearDepth() ~, 1, ARGS, 131
#define KIV_BUILT_COMPILE_glStencilMask() ~, 1, ARGS, 132
#define KIV_BUILT_COMPILE_glColorMask() ~, 1, ARGS, 133
#define KIV_BUILT_COMPILE_glDepthMask() ~, 1, ARGS, 134
#define KIV_BUILT_COMPILE_glIndexMask() ~, 1, ARGS, 135
#define KIV_BUILT_COMPILE_glAccum() ~, 1, ARGS, 136
#define KIV_BUILT_COMPILE_glPopAttrib() ~, 1, ARGS, 139
#define KIV_BUILT_COMPILE_glPushAttrib() ~, 1, ARGS, 140
#define KIV_BUILT_COMPILE_glMapGrid1d() ~, 1, ARGS, 145
#define KIV_BUILT_COMPILE_glMapGrid1f() ~, 1, ARGS, 146
#define KIV_BUILT_COMPILE_glMapGrid2d() ~, 1, ARGS, 147
#define KIV_BUILT_COMPILE_glMapGrid2f() ~, 1, ARGS, 148
#define KIV_BUILT_COMPILE_glEvalMesh1() ~, 1, ARGS, 153
#define KIV_BUILT_COMPILE_glEvalPoint1() ~, 1, ARGS, 154
#define KIV_BUILT_COMPILE_glEvalMesh2() ~, 1, ARGS, 155
#define KIV_BUILT_COMPILE_glEvalPoint2() ~, 1, ARGS, 156
#define KIV_BUILT_COMPILE_glAlphaFunc() ~, 1, ARGS, 157
#define KIV_BUILT_COMPILE_glBlendFunc() ~, 1, ARGS, 158
#define KIV_BUILT_COMPILE_glLogicOp() ~, 1, ARGS, 159
#define KIV_BUILT_COMPILE_glStencilFunc() ~, 1, ARGS, 160
#define KIV_BUILT_COMPILE_glStencilOp() ~, 1, ARGS, 161
#define KIV_BUILT_COMPILE_glDepthFunc() ~, 1, ARGS, 162
#define KIV_BUILT_COMPILE_glPixelZoom() ~, 1, ARGS, 163
#define KIV_BUILT_COMPILE_glPixelTransferf() ~, 1, ARGS, 164
#define KIV_BUILT_COMPILE_glPixelTransferi() ~, 1, ARGS, 165
#define KIV_BUILT_COMPILE_glReadBuffer() ~, 1, ARGS, 169
#define KIV_BUILT_COMPILE_glCopyPixels() ~, 1, ARGS, 170
#define KIV_BUILT_COMPILE_glDepthRange() ~, 1, ARGS, 172
#define KIV_BUILT_COMPILE_glFrustum() ~, 1, ARGS, 173
#define KIV_BUILT_COMPILE_glLoadIdentity() ~, 1, ARGS, 174
#define KIV_BUILT_COMPILE_glMatrixMode() ~, 1, ARGS, 177
#define KIV_BUILT_COMPILE_glOrtho() ~, 1, ARGS, 180
#define KIV_BUILT_COMPILE_glPopMatrix() ~, 1, ARGS, 181
#define KIV_BUILT_COMPILE_glPushMatrix() ~, 1, ARGS, 182
#define KIV_BUILT_COMPILE_glRotated() ~, 1, ARGS, 183
#define KIV_BUILT_COMPILE_glRotatef() ~, 1, ARGS, 184
#define KIV_BUILT_COMPILE_glScaled() ~, 1, ARGS, 185
#define KIV_BUILT_COMPILE_glScalef() ~, 1, ARGS, 186
#define KIV_BUILT_COMPILE_glTranslated() ~, 1, ARGS, 187
#define KIV_BUILT_COMPILE_glTranslatef() ~, 1, ARGS, 188
#define KIV_BUILT_COMPILE_glViewport() ~, 1, ARGS, 189
#define KIV_BUILT_COMPILE_glPolygonOffset() ~, 1, ARGS, 198
#define KIV_BUILT_COMPILE_glCopyTexImage1D() ~, 1, ARGS, 199
#define KIV_BUILT_COMPILE_glCopyTexImage2D() ~, 1, ARGS, 200
#define KIV_BUILT_COMPILE_glCopyTexSubImage1D() ~, 1, ARGS, 201
#define KIV_BUILT_COMPILE_glCopyTexSubImage2D() ~, 1, ARGS, 202
#define KIV_BUILT_COMPILE_glBindTexture() ~, 1, ARGS, 205

#define KIV_BUILT_COMPILE_glCallList() ~, 1, HAND
#define KIV_BUILT_COMPILE_glCallLists() ~, 1, HAND
#define KIV_BUILT_COMPILE_glBegin() ~, 1, HAND
#define KIV_BUILT_COMPILE_glClipPlane() ~, 1, HAND
#define KIV_BUILT_COMPILE_glEnable() ~, 1, HAND
#define KIV_BUILT_COMPILE_glDisable() ~, 1, HAND
#define KIV_BUILT_COMPILE_glFogfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glFogiv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLighti() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightiv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightModelf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightModeli() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightModelfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glLightModeliv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMaterialf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMateriali() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMaterialfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMaterialiv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexParameterf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexParameteri() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexParameterfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexParameteriv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexEnvf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexEnvi() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexEnvfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexEnviv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGend() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGenf() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGeni() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGendv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGenfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexGeniv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glPixelMapfv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glPixelMapuiv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glPixelMapusv() ~, 1, HAND
#define KIV_BUILT_COMPILE_glPrioritizeTextures() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMap1d() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMap1f() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMap2d() ~, 1, HAND
#define KIV_BUILT_COMPILE_glMap2f() ~, 1, HAND
#define KIV_BUILT_COMPILE_glBitmap() ~, 1, HAND
#define KIV_BUILT_COMPILE_glPolygonStipple() ~, 1, HAND
#define KIV_BUILT_COMPILE_glDrawPixels() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexImage1D() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexImage2D() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexSubImage1D() ~, 1, HAND
#define KIV_BUILT_COMPILE_glTexSubImage2D() ~, 1, HAND

