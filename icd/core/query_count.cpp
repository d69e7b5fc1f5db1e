// How many values the vector forms of the fog, light, light-model, material and point-parameter
// commands carry for a name: the display-list compiler records that many.
#include "icd/core/query.h"

int32_t __glFogfvParamCount(GLenum pname) {
    switch (pname) {
    case GL_FOG_INDEX:
    case GL_FOG_DENSITY:
    case GL_FOG_START:
    case GL_FOG_END:
    case GL_FOG_MODE: return 1;
    case GL_FOG_COLOR: return 4;
    default: return -1;
    }
}
int32_t __glFogivParamCount(GLenum pname) { return __glFogfvParamCount(pname); }

int32_t __glLightfvParamCount(GLenum pname) {
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_POSITION: return 4;
    case GL_SPOT_DIRECTION: return 3;
    case GL_SPOT_EXPONENT:
    case GL_SPOT_CUTOFF:
    case GL_CONSTANT_ATTENUATION:
    case GL_LINEAR_ATTENUATION:
    case GL_QUADRATIC_ATTENUATION: return 1;
    default: return -1;
    }
}
int32_t __glLightivParamCount(GLenum pname) { return __glLightfvParamCount(pname); }

int32_t __glLightModelfvParamCount(GLenum pname) {
    switch (pname) {
    case GL_LIGHT_MODEL_LOCAL_VIEWER:
    case GL_LIGHT_MODEL_TWO_SIDE: return 1;
    case GL_LIGHT_MODEL_AMBIENT: return 4;
    default: return -1;
    }
}
int32_t __glLightModelivParamCount(GLenum pname) { return __glLightModelfvParamCount(pname); }

int32_t __glMaterialfvParamCount(GLenum pname) {
    switch (pname) {
    case GL_AMBIENT:
    case GL_DIFFUSE:
    case GL_SPECULAR:
    case GL_EMISSION:
    case GL_AMBIENT_AND_DIFFUSE: return 4;
    case GL_SHININESS:
    case GL_INDEX_SHIFT:  // glMaterial takes the index shift and offset as well
    case GL_INDEX_OFFSET: return 1;
    case GL_COLOR_INDEXES: return 3;
    default: return -1;
    }
}
int32_t __glMaterialivParamCount(GLenum pname) { return __glMaterialfvParamCount(pname); }

int32_t __glPointParameterfvEXTParamCount(GLenum pname) {
    switch (pname) {
    case GL_POINT_SIZE_MIN_EXT:
    case GL_POINT_SIZE_MAX_EXT:
    case GL_POINT_FADE_THRESHOLD_SIZE_EXT: return 1;
    case GL_DISTANCE_ATTENUATION_EXT: return 3;
    default: return -1;
    }
}
