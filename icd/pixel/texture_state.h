// The texture state of a context: the objects bound on each unit, the default objects, the
// per-unit environment records and the constructor the device installs.
#pragma once
#include <cstdint>
#include <GL/gl.h>
#include "icd/pixel/texture_object.h"

constexpr int32_t kGlTextureUnits = 2;
constexpr int32_t kGlTextureKinds = 4;  // 1-D, 2-D, 1-D proxy, 2-D proxy
constexpr int32_t kGlTexEnvTargets = 1;  // environment records per unit
// Dirty word: texture images and bindings changed.
constexpr uint32_t kGlDirtyTexture = 0x400;

// One texture environment: mode and colour (in fragment colour units).
struct GlTexEnvRecord {
    GLenum mode;
    float color[4];
};
static_assert(sizeof(GlTexEnvRecord) == 20);

// The {name, priority} of the object bound on a unit for a kind.
struct GlTextureUnitCache {
    GLuint name;
    float priority;
};

struct GlTextureBindingState {
    int32_t textureKinds;
    int32_t unitCount;
    int32_t envCount;
    GlTextureObject *bound[kGlTextureUnits][kGlTextureKinds];  // never null once set up
    GlTextureObject *defaults[kGlTextureKinds];
    GlTextureUnitCache cache[kGlTextureUnits][kGlTextureKinds];
    GlTexEnvRecord *env[kGlTextureUnits];
    GlTextureObject *(*newTextureObject)(GlContext *ctx, GLuint name, int32_t kind);
};
