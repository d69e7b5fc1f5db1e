// The chip's triangle engine as the back end writes to it: the hardware vertex, the six-word
// register blocks built from GL state, the blend table and the method headers that carry them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <GL/gl.h>
#include "platform/win32/win32.h"

struct GlContext;
struct GlVertex;
struct GlTextureObject;
struct HwState;

// One vertex as the chip takes it (data of method 0x1000 of subchannel 1).
struct HwVertex {
    uint32_t fogTag;   // bits 24-31: 255 - fog x 255 with fog on; low bits: the vertex tag
    uint32_t colour;   // A8R8G8B8, or 0xFFFFFFFF when the texture ignores the vertex colour
    float x, y;        // window position minus the window bias
    float z;
    float invW;
    float s, t;
};
static_assert(sizeof(HwVertex) == 32);
static_assert(offsetof(HwVertex, x) == 8 && offsetof(HwVertex, s) == 24);

// Vertex tags: a triangle is 0, 1, 0x102; the fourth vertex of a quad 0x123.
constexpr uint32_t kHwTagFirst = 0, kHwTagSecond = 1, kHwTagThird = 0x102, kHwTagQuad = 0x123;
constexpr uint32_t kHwVertexWords = 8;
constexpr uint32_t kHwOneVertexHeader = 0x203000;    // one vertex, subchannel 1, method 0x1000
constexpr uint32_t kHwThreeVertexHeader = 0x603000;  // three vertices
constexpr uint32_t kHwBlockHeader = 0x182304;        // six register words, methods 0x304-0x318
constexpr uint32_t kHwBindTriangleObject = 0x42000;  // bind on subchannel 1
constexpr uint32_t kHwControlMethod = 0x42314;       // the control word alone
constexpr uint32_t kHwBlockWords = 9;                // bind, header and six words
constexpr uint32_t kHwTriangleObjectVideo = 0x100C;  // triangle object for textures in video memory

// Register-block words.
enum HwRegWord : int { kHwRegTexOffset, kHwRegTexFormat, kHwRegQuality, kHwRegFogColour, kHwRegControl, kHwRegAlpha };

// The register block a primitive kind needs loaded (loadedBlock values).
enum : uint8_t { kHwBlockTriangle = 0, kHwBlockLine = 1, kHwBlockPoint = 2, kHwBlockNone = 3 };

// ---- blend table ------------------------------------------------------------------------------------
struct HwBlendEntry {
    uint32_t control;     // ORed into the control word
    uint32_t secondPass;  // blend word of a second pass; 0xFFFFFFFF none
    uint8_t exact;        // the chip draws this pair as GL defines it
};
// GL_ZERO 0, GL_ONE 1, GL_SRC_COLOR .. GL_SRC_ALPHA_SATURATE 2 .. 10; anything else 12.
int32_t __glHwBlendFactorIndex(GLenum factor);
const HwBlendEntry &__glHwBlendEntry(GLenum src, GLenum dst);
// The current blend pair needs the second pass.
BOOL __glHwBlendNeedsSecondPass(GlContext *ctx);
uint32_t __glHwAlphaFunctionWord(GLenum func);

// ---- register words -----------------------------------------------------------------------------------
// Builds triangleRegs, blendWord and the texture words from the state when triangleRegsStale.
void __glHwBuildRegisterWords(GlContext *ctx);
// Binds (when the object changed) and writes the triangle block unless the chip holds it.
void __glHwLoadTriangleState(GlContext *ctx);
// Writes the bind and one register block at w; returns the words written (kHwBlockWords).
uint32_t __glHwWriteBlock(HwState *hw, uint32_t *w, const uint32_t regs[6]);

// ---- textures ---------------------------------------------------------------------------------------
constexpr int32_t kHwTexelNormal = 4;              // 16-bit texels, luminance replicated
constexpr int32_t kHwTexelLuminanceExpanded = 15;  // luminance on top, low twelve bits set

// The quality word's low byte describes the texture filters (its upper bits are the setting's
// texture quality).
enum : uint32_t {
    kHwFiltersGiven = 0x01,      // the bits below hold; without it control bit 1 filters both ways
    kHwMinifyLinear = 0x02,      // minification samples four texels of a level
    kHwMinifyTwoLevels = 0x08,   // minification blends the two levels around the level of detail
    kHwMagnifyLinear = 0x10,     // magnification samples four texels
    kHwMagnifyToHalf = 0x20,     // magnification reaches a level of detail of 0.5, not 0
    kHwFilterBits = 0xFF,
};
// The filter bits of the quality word for GL's minifying and magnifying filters.
uint32_t __glHwFilterBits(GLenum minFilter, GLenum magFilter);

// The two luminance forms of a 16-bit luminance texture's hardware copy: expanded, each texel t of
// every level becomes (t << 1) | 0x0FFF (luminance in the alpha nibble, the colour white);
// restored, the levels are written again from the texture's own images. The texture's images keep
// their texels either way. Both move a copy the chip may still read aside first.
uint16_t __glHwExpandedLuminanceTexel(uint16_t t);
void __glHwExpandLuminance(HwState *hw, GlTextureObject *tex);
void __glHwRestoreLuminance(HwState *hw, GlTextureObject *tex);
// The state draws the bound GL_LUMINANCE texture in its expanded form: blending (ZERO,
// ONE_MINUS_SRC_COLOR) with the texture replacing the colour, drawn as (ZERO, ONE_MINUS_SRC_ALPHA)
// by the texture's alpha.
bool __glHwWantsExpandedLuminance(const GlContext *ctx, const GlTextureObject *tex);
// Shifts the s, t pairs (count = 2 x vertices) of each repeating axis by the floor of its
// smallest coordinate.
void __glHwWrapTexCoords(float *pairs, int32_t count, GLenum wrapS, GLenum wrapT);

// ---- fast reciprocal square root ----------------------------------------------------------------
// The seed table is rebuilt at every context creation (__glInitRsqrtTable, a core service).
float __glFastRsqrt(float x);
const uint8_t *__glHwRsqrtSeeds(void);

// ---- vertices ---------------------------------------------------------------------------------------
// The colour word of a colour in 0-255 units: each channel rounded to nearest, alpha on top.
uint32_t __glHwColourWord(const float *rgba);
// What of the vertex colour the chip multiplies the texel by (useVertexColour): all of it, none
// (white), or its alpha alone with white colour channels (a texture without alpha that replaces
// the colour leaves the fragment its own alpha).
enum : uint8_t { kHwColourWhite = 0, kHwColourVertex = 1, kHwColourVertexAlpha = 2 };
uint32_t __glHwVertexColourWord(const HwState *hw, const float *rgba);
// One hardware vertex from a window-space vertex record, with the colour given.
void __glHwEncodeVertex(const GlContext *ctx, const GlVertex *v, uint32_t tag, uint32_t colour, HwVertex *out);
