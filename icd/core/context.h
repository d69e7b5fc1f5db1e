// The rendering context: one zero-filled record holding everything of an OpenGL context.
// Application contexts are 184,664 bytes; the screen context that serves threads without a
// context is the same record cut before the hardware state (184,304 bytes).
#pragma once
#include <cstdint>
#include <cstddef>
#include <GL/gl.h>
#include "icd/core/records.h"
#include "icd/core/proctable.h"
#include "icd/core/current_state.h"
#include "icd/core/state_areas.h"
#include "icd/core/proc_slots.h"
#include "icd/core/arrays_area.h"
#include "icd/vertex/array_state.h"
#include "icd/core/buffer_area.h"
#include "icd/hw/hw_state.h"

constexpr size_t kGlContextSize = 184664;
constexpr size_t kGlScreenContextSize = 184304;

// stateFlags
constexpr uint32_t kGlStateDerivedBuilt = 0x1;
constexpr uint32_t kGlStateBuffersInstalled = 0x2;
constexpr uint32_t kGlStateForceResize = 0x4;

struct GlLimits {
    int32_t maxLights;
    int32_t maxClipPlanes;
    int32_t textureBindingWords[4];
    int32_t maxViewportWidth, maxViewportHeight;
    int32_t biasX, biasY;
    float biasXf, biasYf;
    int32_t subpixelBits;
    int32_t textureLevels[2];
    int32_t maxListNesting;
    float pointSizeMin, pointSizeMax, pointSizeGranularity;
    float lineWidthMin, lineWidthMax, lineWidthGranularity;
    int32_t maxEvalOrder;
    int32_t maxPixelMapTable;
    int32_t maxAttribStackDepth, maxClientAttribStackDepth;
    int32_t maxNameStackDepth;
    int32_t maxModelViewStackDepth, maxProjectionStackDepth, maxTextureStackDepth;
};

// Colour scales are stored red, blue, green, alpha; read them through the named fields.
struct GlColorScales {
    float redScale, blueScale, greenScale, alphaScale;
    float oneOverRedScale, oneOverBlueScale, oneOverGreenScale, oneOverAlphaScale;
    float redMaxOverScale, blueMaxOverScale, greenMaxOverScale, alphaMaxOverScale;
    double depthFraction, oneOverDepthFraction;
    int32_t indexRange;
    float indexScale;
};

struct GlCodeCaches {
    int32_t entryCount[5];
    int32_t entrySize[5];
    void *cache[5];
    int32_t scratchSize;
    void *scratch;
    void *generator;     // the code generator's own record; null: no generated code
    uint32_t modeFlags;  // bit 0x10 forbids generated MMX code
};

struct GlGrowableArray {
    void *data;
    int32_t count, capacity, elementSize;
};

// The blocks the context allocates at initialisation beside its areas.
constexpr int32_t kGlSpareBlockBytes = 4160;
constexpr int32_t kGlBufferEntryCount = 40, kGlBufferEntryBytes = 104, kGlBufferBytes = 3072;

struct GlContextTail {
    GlDrawableBuffers *drawableBuffers;
    void *wglSwapBuffersAddress;  // glFinish tells a swap from its return address
    uint8_t hwPresent;
    uint8_t hwOpenFailed;
    uint8_t reserved0[2];
    GlContext *self;
    int32_t busIsAgp;
    GlGrowableArray words;   // 4-byte elements
    GlGrowableArray pairs;   // 8-byte elements
    // Blocks allocated at initialisation. The span arrays the span and line stages share:
    // fragment colours and colours read back (2048 pixels x 16 bytes each), and the live-pixel
    // mask words (64 x 4 bytes).
    uint8_t *spanColors, *spanDestinationColors;
    uint8_t *spanMaskWords;
    uint8_t *spareBlock;               // kGlSpareBlockBytes, zeroed; kept for the context's life, read by nothing
    uint8_t *bufferEntries;            // kGlBufferEntryCount entries, word 0 = the entry's buffer
    uint8_t *bufferBlock;              // kGlBufferEntryCount buffers of kGlBufferBytes
    uint8_t isScreenContext;
    uint8_t reserved1[3];
};

// Areas 1-24 in their order; GlContext adds the reserve and the hardware state.
// Where the program stands with glBegin/glEnd, and whether changed state awaits validation before
// the next drawing call (state changes inside glBegin wait until glEnd).
enum GlBeginMode : int32_t { kGlOutsideBegin = 0, kGlInsideBegin = 1, kGlNeedValidate = 2 };

struct GlContextAreas {
    GlHostProcs hostProcs;
    GlContextHandle *handle;
    GlContextProcs procs;
    uint32_t stateFlags;
    GlCurrentState current;
    GlBeginMode beginMode;
    GLenum renderMode;
    GLenum error;       // first error since the last glGetError
    GlVisual visual;
    float half, one;
    float c255, oneOver255, c65535, oneOver65535, cUint, oneOverUint;  // conversion constants
    const char *vendor, *renderer, *version, *extensions;
    GlLimits limits;
    GlColorScales scales;
    float ubyteToFloat[256];
    float roundingEpsilon, halfMinusEpsilon;
    uint8_t viewportInsideWindow;
    uint8_t reserved0[3];
    GlStateAreas state;
    GlProcTable *execTable;
    GlProcTable compileTable, liveTable, savedTable;
    uint32_t tableDirtyMask, dirtyMask;
    GlProcSlots slots;
    GlArraysArea arrays;
    GlArrayState arrayState;
    GlVertexCache vertexCache;
    GlBufferArea buffers;
    GlCodeCaches codeCaches;
    GlContextTail tail;
};
static_assert(alignof(GlContextAreas) == 4);
static_assert(sizeof(GlContextAreas) % 4 == 0);

struct GlContext : GlContextAreas {
    // Unassigned bytes: the areas above grow into it, so the hardware state keeps its place.
    uint8_t reserve[kGlScreenContextSize - sizeof(GlContextAreas)];
    HwState hw;  // application contexts only
};
static_assert(sizeof(GlContext) == kGlContextSize);
static_assert(sizeof(GlContextAreas) + sizeof(GlContext::reserve) == kGlScreenContextSize);
