// Texture-coordinate generation: the glTexGen state of coordinates S, T, R and Q, the procs
// that give a vertex its final coordinates of set 0 (generation, then the texture matrix) and
// the parameter counts of the glTexGen commands.
//
// This header is included by the context's area headers: it must not include the context.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/vertex/vertex.h"

struct GlContext;

struct GlTexGenCoord {
    GLenum mode;           // GL_EYE_LINEAR, GL_OBJECT_LINEAR or GL_SPHERE_MAP
    float eyePlane[4];     // the plane as given, taken through the modelview inverse-transpose then
    float objectPlane[4];  // the plane as given
};

// One set per context, S, T, R, Q.
struct GlTexGenState {
    GlTexGenCoord coord[4];
};

// Defaults of the texture-state reset: eye linear everywhere, S planes (1, 0, 0, 0), T planes
// (0, 1, 0, 0), R and Q planes 0.
void __glSetTexGenDefaults(GlContext *ctx);

// The vertex values the enabled generation modes read (eye and normal done bits), for callers
// that complete texture coordinates on their own.
uint32_t __glTexGenNeeds(const GlContext *ctx);

// Values a glTexGen vector command carries for a pname: 1, 4, or -1 for an unknown pname.
int32_t __glTexGenParamCount(GLenum pname);
int32_t __glTexGenfvParamCount(GLenum pname);
int32_t __glTexGenivParamCount(GLenum pname);

// Base procs: each writes texCoord[0] of the vertex (generated or current values, then the
// texture-matrix top).
void __glTexGenEyeLinear(GlContext *ctx, GlVertex *v);
void __glTexGenObjectLinear(GlContext *ctx, GlVertex *v);
void __glTexGenSphereMap(GlContext *ctx, GlVertex *v);
void __glTexGenMixed(GlContext *ctx, GlVertex *v);
void __glTexGenOff(GlContext *ctx, GlVertex *v);

// The device context's choice of texture-coordinate proc, installed into both coordinate slots
// and returned: the generic choice, or none at all when nothing is generated and the texture
// matrix is the identity.
GlVertexProc __glHwChooseTexGenProc(GlContext *ctx);
