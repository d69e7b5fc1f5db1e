// The fast triangle path of the 15- and 16-bit colour buffers: the span record every fast stage
// receives with a 32-bit coverage mask word (bit 31 the chunk's first pixel in walking order),
// the context's chain slots, and the tables the stage, span, staging and store procs come from.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <GL/gl.h>

struct GlContext;
struct GlVertex;
struct GlTextureObject;
struct GlSpan;

// Every chain proc takes the mask in ecx and the span in edx, the register form the generated
// span routines call with.
#define GL_FASTCALL __attribute__((fastcall))
typedef void(GL_FASTCALL *GlFastProc)(uint32_t mask, GlSpan *span);
// A texel proc: the texture, the level (index or 16.16 lambda), s and t in 16.16 (texel units
// after scaling), four output bytes R, G, B, A.
typedef void (*GlTexelProc)(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);

// An iterated 16.16 (or 32-bit fixed) quantity: the value at the current chunk, at the row's
// start, per pixel, per 32-pixel chunk and per row (without and with a carry of the start edge).
struct GlSpanIter {
    int32_t cur, rowStart, step, chunkStep, rowStep[2];
};
// The float form, with a 16-pixel step for the perspective divide, and the plane's gradient in y
// (one row down at the same column), from which the texture routines form the level of detail.
struct GlSpanFloatIter {
    float cur, rowStart, step, chunkStep, halfStep, rowStep[2], dy;
};

struct GlSpan {
    float signedArea;
    int32_t x;  // first pixel of the chunk; negated when the span walks right to left
    int32_t y;
    int32_t yStart, yEnd, yMiddle;
    int32_t startEdgeX, otherEdgeX, lowerEdgeX;
    int32_t startEdgeStep[2], otherEdgeStep[2], lowerEdgeStep[2];
    uint32_t startEdgeFrac, otherEdgeFrac, lowerEdgeFrac;
    uint32_t startEdgeFracStep, otherEdgeFracStep, lowerEdgeFracStep;
    int32_t xStep;  // +1 or -1 pixels per position
    uint8_t *pixel, *pixelRowStart;
    int32_t pixelStep, pixelChunkStep, pixelRowStep[2];
    uint8_t *depthAddress, *depthRowStart;
    int32_t depthAddressStep, depthChunkStep, depthRowStep[2];
    uint8_t *stencilAddress, *stencilRowStart;
    int32_t stencilStep, stencilChunkStep, stencilRowStep[2];
    uint32_t stencilPassMask;
    GlSpanIter fog;  // 16.16, 0-255 (the eye distance under the GL_NICEST hint)
    GlSpanIter z;    // depth fixed point before the buffer's shift
    // red.rowStart is flatPixel under flat shading: the flat colour packed for the buffer.
    GlSpanIter red, green, blue, alpha;  // 16.16 in destination channel steps; alpha 0-255
    GlSpanIter s, t;                     // affine 16.16, 1.0 = the whole texture
    float lodStep16;
    // Working words of the perspective texture routines for a triangle whose q/w is the same at
    // every vertex (an affine mapping): 1/(q/w) and rho squared, formed by the first chunk that
    // needs them; the set-up clears affineR (0: not formed yet).
    float affineR, affineRho2;
    GlSpanFloatIter sw, tw, qw;
    struct {
        float cur, rowStart, step, chunkStep, rowStep[2];
    } lod;
    uint8_t *texImage;
    int32_t texWidth, texLog2Width, texHeight, texLog2Height;
    uint8_t stagingColors[32 * 4];
    uint8_t texels[32 * 4];
    const uint32_t *ditherTableBase;
    const uint32_t *ditherPointer;
    uint8_t *frontPixel, *frontRowStart;
    int32_t frontChunkStep, frontRowStep[2];
    int32_t depthOffset;
    GlContext *context;

    uint32_t flatPixel() const { return uint32_t(red.rowStart); }
};

// The chain's slots: every stage calls a fixed successor slot, so the chooser puts each stage in
// the slot its predecessor calls. Slots the current chain does not use keep stale values.
struct GlFastPathSlots {
    GlFastProc spanRoutine;
    GlFastProc fastStageFirst;
    GlFastProc texRoutine;
    GlFastProc afterStipple, afterDepthTest, afterColor, afterFog, afterAlphaTest;
    GlFastProc afterStencilTest, afterStencilUpdate;
    GlFastProc stencilFailOp, stencilDepthFailOp, stencilDepthPassOp;
    GlFastProc bothBuffersStore;
    GlTexelProc texelMinify, texelMagnify;
    uint8_t envColorBytes[4];  // R, G, B, A of the GL_BLEND environment colour, 0-255
    GlTextureObject *texture;  // unit 0's texture while the chain textures
    uint8_t genericOnly;       // non-zero: every state is drawn generically (to compare the two paths)
};

// What the chooser decides, kept so that a test can see it.
struct GlFastPathKey {
    uint32_t spanIndex;   // 6 bits
    uint32_t storeIndex;  // 7 bits
    uint32_t texelKey;
    uint8_t triangleKey[4];
};

// ---- tables ---------------------------------------------------------------------------------------
// 4 rows of 35 entries: dither level << 12, the row repeated; the mirrored table has entries 1 and
// 3 of every four exchanged and serves right-to-left spans.
// Both lie in one object (whose range a stage may test a dither pointer against).
using GlFastDitherTable = std::array<std::array<uint32_t, 35>, 4>;
struct GlFastDitherTables {
    GlFastDitherTable plain, mirrored;
};
extern const GlFastDitherTables __glFastDitherTables;
extern const GlFastDitherTable &__glFastDitherTable, &__glFastDitherTableMirrored;
// Entry n: the top n bits set.
extern const std::array<uint32_t, 33> __glFastMaskTable;

template <size_t N>
using GlFastProcTable = std::array<GlFastProc, N>;
// Null entries are combinations no proc serves; the chooser refuses the fast path for them.
extern const GlFastProcTable<64> __glSpanTable555, __glSpanTable565;
extern const GlFastProcTable<64> __glStagingSpanTable555, __glStagingSpanTable565;
extern const GlFastProcTable<128> __glStoreSpanTable555, __glStoreSpanTable565;
extern const GlFastProcTable<12> __glStoreSpanByFormat;
// Basic, staging and store tables by the colour buffer's format code; null rows have none.
struct GlSpanTables {
    const GlFastProcTable<64> *basic, *staging;
    const GlFastProcTable<128> *store;
};
extern const GlSpanTables __glSpanTablesByFormat[12];

// ---- the chooser and the rasteriser ----------------------------------------------------------------
// The key the latest pick of this context chose (zero when it refused the fast path).
const GlFastPathKey &__glFastPathKeyOf(const GlContext *ctx);
void __glFillTriangleFast(GlContext *ctx, GlVertex *a, GlVertex *b, GlVertex *c);

// ---- fragment stages ---------------------------------------------------------------------------
void GL_FASTCALL __glFastPolygonStipple(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastAlphaTest(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilTest(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilUpdate(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilKeep(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilZero(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilReplace(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilIncr(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilDecr(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStencilInvert(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastStageNone(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glStoreSpanBothBuffers(uint32_t mask, GlSpan *span);
// Null for an operation without a proc.
GlFastProc __glPickFastStencilOp(GLenum op);
// The depth-test stage for a test index (function - GL_NEVER, + 8 without writes, + 16 for
// 32-bit elements), + 32 for the polygon-offset form that clamps the offset depth.
extern const GlFastProcTable<64> __glFastDepthTestProcs;
// The 16-bit depth test (index 0-15 as above) fused with the smooth untextured colour of the
// format code's layout, for chains where that colour is all that follows the test; null where
// none is built (GL_NEVER, other layouts).
GlFastProc __glFastDepthSmoothProc(int32_t formatCode, bool dither, int32_t depthIndex);

// Fog stages by format code 4 or 5 (the fogged bytes are limited to what the stores can dither).
GlFastProc __glFastFogProc(int32_t formatCode, bool nicest);
// The colour-index fog stages: (1 - f) x the fog index added to each staged 16.16 index, f from
// the interpolated factor, or per pixel from the eye distance (nicest). No chain holds them while
// the chooser refuses colour-index states, for which there are no span procs to stage indices.
void GL_FASTCALL __glFastFogIndex(uint32_t mask, GlSpan *span);
void GL_FASTCALL __glFastFogIndexNicest(uint32_t mask, GlSpan *span);

// ---- texturing -------------------------------------------------------------------------------------
// The texel procs, one instance per texel source (fast_texture.h): the chooser installs the
// instance of the source that the texture's levels are read through, so that the layout is
// decided once, when the procs are installed, and never at a sample.
template <int Source>
void __glTexelNearest(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelLinear(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelNearestScaled(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelLinearScaled(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelNearestMipNearest(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelLinearMipNearest(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelNearestMipLinear(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);
template <int Source>
void __glTexelLinearMipLinear(GlTextureObject *tex, int32_t lod, int32_t s, int32_t t, uint8_t *out);

// Texture routines: [road][entry bytes 1, 3, 4]. The road is the kind (0 affine, 1 perspective,
// 2 min/mag, 3 mip), plus kGlTexExact for the perspective kinds under GL_NICEST: s and t divided
// and the level of detail formed at every position instead of once per 16 positions.
enum GlTexRoutineKind { kGlTexAffine = 0, kGlTexPerspective = 1, kGlTexMinMag = 2, kGlTexMip = 3, kGlTexExact = 4 };
constexpr int kGlTexRoads = 8;
extern const std::array<GlFastProcTable<3>, kGlTexRoads> __glTexSpanRoutines;
// The same routine with its texel procs compiled in, for a minify and magnify kind and a texel
// source (see fast_texture.h); null where none is built (the kGlTexExact roads among them).
GlFastProc __glTexSpanRoutineInline(int road, int entryBytes, int minKind, int magKind, int source);
// The basic span proc of smooth GL_MODULATE with colour entries (format code 4 or 5, dithered or
// not) fused with its texture routine, for the filters and source the four-pixel bilinear form
// serves; null for the others.
GlFastProc __glTexModulateProc(int road, int minKind, int magKind, int source, int32_t formatCode, bool dither);

// The squared texel-space scale at a vertex's s, t, q (already divided by w) for the triangle
// whose gradients of s/w, t/w, 1/w per x and per y are given, in level-0 texels of the fast
// path's texture: the set-up's level-of-detail plane takes it times q at each vertex.
float __glLodAtVertex(GlContext *ctx, const double grad[3][2], double s, double t, double q);
