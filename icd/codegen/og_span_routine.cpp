// Span routine generator: the routine that walks every row of one fast-path triangle from the
// edge fields of its span record. The stage-list routine cuts each row into chunks of at most 32
// pixels and calls the fast chain through fastStageFirst once per chunk; the one-routine form
// does the whole per-pixel work of an untextured state itself (colour flat or smooth, dither,
// the depth test, the pack and the store), and fills flat rows without depth with 8-byte x87
// integer stores. A nearest, repeating level-0 texture without blend is a one-routine too: a
// replacing texture without dither copies each pixel's texel from level 0's copy in the colour
// buffer's layout; a modulating or dithered one reads the level's own texels as bytes and forms
// each channel with the chain's integer arithmetic. s and t are stepped in fixed point, or under
// perspective divided at every computed pixel on the x87 from the same float sums as the chain's
// texture routine forms them, so that both roads pick the same texel everywhere.
//
// The routine is entered by a jump with esp at the span record and leaves through the context's
// spanReturn word after the unlock step. Record fields are addressed at their offsets in GlSpan
// (the data map passes every slot through), because the set-up that fills the record, C++ or
// generated, writes that one struct.
#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "icd/codegen/og_context.h"
#include "icd/codegen/og_mmx_span.h"
#include "icd/codegen/og_perspective.h"
#include "icd/codegen/og_procs.h"
#include "icd/core/context.h"
#include "icd/pixel/texture_object.h"
#include "icd/raster/color_buffer.h"
#include "icd/raster/depth_buffer.h"
#include "icd/raster/fast_color.h"
#include "icd/raster/fast_span.h"
#include "icd/raster/fast_texture.h"

namespace icd {
namespace {

constexpr uint32_t kSpanKeyTag = 0x5350524E;  // "SPRN"

std::atomic<int> g_spanOverride{-1};

// ---- the key --------------------------------------------------------------------------------------

// Environment code of key B (bits 1-3); GL_DECAL of an RGB texture is GL_REPLACE.
uint32_t envKeyCode(GLenum mode, GLenum base) {
    if (mode == GL_DECAL && base == GL_RGB) mode = GL_REPLACE;
    switch (mode) {
    case GL_DECAL: return 2;
    case GL_BLEND: return 4;
    case GL_REPLACE: return 6;
    case GL_ADD: return 8;
    default: return 0;  // GL_MODULATE and anything else
    }
}

// Base-format bits of key B (bits 13-15).
uint32_t baseKeyBits(GLenum base) {
    switch (base) {
    case GL_ALPHA: return 0xA000;
    case GL_RGB: return 0x4000;
    case GL_RGBA: return 0x6000;
    case GL_LUMINANCE_ALPHA: return 0x2000;
    case GL_INTENSITY: return 0x8000;
    default: return 0;
    }
}

const GlMipLevel *level0(const GlTextureObject *tex) {
    return tex != nullptr && tex->levels != nullptr && tex->levelCount > 0 ? tex->levels[0] : nullptr;
}

bool filtersDiffer(GlContext *ctx) {
    const GlTextureObject *tex = ctx->state.pick.currentTextures[0];
    return tex != nullptr && tex->minFilter != tex->magFilter;
}

// The span routine's key: the tag, the shade flags, key B, the buffers word, the MMX and texel word.
constexpr int32_t kSpanKeyWords = 5, kKeyB = 2, kKeyMmx = 4;
constexpr uint32_t kKeyBStageList = 1;                     // key B: the stage-list routine
constexpr uint32_t kMmxKeyRoutine = 1, kMmxKeyWhole = 2;  // the MMX routine; it draws every triangle

// Key B: the routine kind, the texture state of a one-routine, and the depth and buffer bits.
// The blend-factor codes (bits 4-7, 8-11) belong to the MMX one-routine only.
uint32_t keyB(GlContext *ctx, GlShadeFlags f, bool stageList, bool mmx) {
    uint32_t b = stageList ? kKeyBStageList : 0u;
    if (mmx && (f & kGlShadeBlend))
        b |= uint32_t(__glOgBlendFactorCode(ctx->state.color.blendSrcFactor)) << 4 |
             uint32_t(__glOgBlendFactorCode(ctx->state.color.blendDstFactor)) << 8;
    const bool textured = (f & kGlShadeTexture) != 0;
    if (textured && !stageList) {
        const GlTextureObject *tex = ctx->state.pick.currentTextures[0];
        const GlMipLevel *l0 = level0(tex);
        GLenum base = l0 != nullptr ? GLenum(l0->baseFormat) : GLenum(0);
        if (base == GL_COLOR_INDEX) {
            b |= 0x1000;
            if (f & kGlShadeRgba) base = tex->colorTable.baseFormat;
        }
        const GLenum mode = ctx->state.pick.texEnvMode == 0 ? GL_MODULATE : ctx->state.pick.texEnvMode;
        b |= envKeyCode(mode, base);
        if (!__glOgCanUseMmx(ctx) && l0 != nullptr)
            b |= uint32_t(l0->log2Width & 0xF) << 4 | uint32_t(l0->log2Height & 0xF) << 8;
        b |= baseKeyBits(base);
    }
    if (f & kGlShadeDepthTest) {
        const GlDepthBuffer &db = ctx->buffers.depth;
        b |= uint32_t(ctx->state.mode.depthFunc & 7) << 24;
        if (db.head.depth > 16) b |= 0x8000000;
        if (ctx->state.depthStencil.depthWriteMask) b |= 0x10000000;
    }
    if (ctx->state.span.inputs.drawBothBuffers) b |= 0x20000000;
    if (textured && filtersDiffer(ctx)) b |= 0x40000000;
    return b;
}

// ---- what the routine folds in --------------------------------------------------------------------

// One iterated quantity of the record: where its current value, row start, chunk step and row
// steps lie, and whether it is a float.
struct Iter {
    int32_t cur, rowStart, chunkStep, rowStep;
    bool isFloat;
};
template <class T>
constexpr Iter iterAt(size_t base, bool isFloat) {
    return {int32_t(base + offsetof(T, cur)), int32_t(base + offsetof(T, rowStart)),
            int32_t(base + offsetof(T, chunkStep)), int32_t(base + offsetof(T, rowStep)), isFloat};
}
constexpr Iter fixedIter(size_t base) { return iterAt<GlSpanIter>(base, false); }
constexpr Iter floatIter(size_t base) { return iterAt<GlSpanFloatIter>(base, true); }
#define KIV_ADDRESS_ITER(cur, rowStart, chunkStep, rowStep)                                               \
    Iter {                                                                                                \
        int32_t(offsetof(GlSpan, cur)), int32_t(offsetof(GlSpan, rowStart)), int32_t(offsetof(GlSpan, chunkStep)), \
            int32_t(offsetof(GlSpan, rowStep)), false                                                     \
    }

struct Plan {
    bool stageList;
    bool smooth, dither, depthTest, depthActive, depthWrite, colorMaskOff, simpleFill;
    bool textured, perspective;  // a texture; s and t divided per pixel
    bool stepped;                // under perspective: divided at each 16-pixel run's ends and stepped between
    // The texels: level 0's copy in the buffer's layout (a replacing texture without dither), or
    // the level's own texels of texelBytes through their RGBA words; modulated by the colour.
    bool texelCopy, modulate;
    int32_t texelBytes;
    const uint32_t *texelWords;
    int32_t log2Width, log2Height;
    int32_t depthFunc;   // 0 GL_NEVER .. 7 GL_ALWAYS
    int32_t depthBytes;  // 2 or 4
    int32_t depthShift;
    int32_t pixelBytes;
    int32_t shift[3], max[3];
    int32_t drop[3];  // the bits of a field byte below the field (8 - the field's bits)
    // Every quantity the walk steps per chunk (stage list) and per row.
    Iter iters[16];
    int iterCount = 0;
    void add(Iter it) { iters[iterCount++] = it; }
};

// The iterators the C walker of the fast set-up steps for the same state, so that the chain sees
// the same record on both roads.
void addStageListIters(GlContext *ctx, GlShadeFlags f, Plan &p) {
    p.add(KIV_ADDRESS_ITER(pixel, pixelRowStart, pixelChunkStep, pixelRowStep));
    if (f & kGlShadeSmooth)
        for (size_t off : {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue), offsetof(GlSpan, alpha)})
            p.add(fixedIter(off));
    if (f & kGlShadeDepthTest) {
        p.add(fixedIter(offsetof(GlSpan, z)));
        p.add(KIV_ADDRESS_ITER(depthAddress, depthRowStart, depthChunkStep, depthRowStep));
    }
    if (f & kGlShadeStencilTest) p.add(KIV_ADDRESS_ITER(stencilAddress, stencilRowStart, stencilChunkStep, stencilRowStep));
    if (ctx->state.span.inputs.drawBothBuffers) p.add(KIV_ADDRESS_ITER(frontPixel, frontRowStart, frontChunkStep, frontRowStep));
    if (f & kGlShadeFog) p.add(fixedIter(offsetof(GlSpan, fog)));
    if (f & kGlShadeTexture) {
        if (!filtersDiffer(ctx) && !(f & kGlShadePerspectiveTex)) {
            p.add(fixedIter(offsetof(GlSpan, s)));
            p.add(fixedIter(offsetof(GlSpan, t)));
        } else {
            for (size_t off : {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)}) p.add(floatIter(off));
            p.add(iterAt<decltype(GlSpan::lod)>(offsetof(GlSpan, lod), true));
        }
    }
}

// The one-routine steps only what it reads: the colour (or the texture coordinates) and the
// depth it tests.
void addOneRoutineIters(Plan &p) {
    p.add(KIV_ADDRESS_ITER(pixel, pixelRowStart, pixelChunkStep, pixelRowStep));
    if (p.perspective)
        for (size_t off : {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)}) p.add(floatIter(off));
    else if (p.textured)
        for (size_t off : {offsetof(GlSpan, s), offsetof(GlSpan, t)}) p.add(fixedIter(off));
    if (p.smooth && (!p.textured || p.modulate))
        for (size_t off : {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)}) p.add(fixedIter(off));
    if (p.depthActive) {
        p.add(fixedIter(offsetof(GlSpan, z)));
        p.add(KIV_ADDRESS_ITER(depthAddress, depthRowStart, depthChunkStep, depthRowStep));
    }
}
#undef KIV_ADDRESS_ITER

// A texture the one-routine draws: level 0 sampled nearest at both sizes and repeating both ways,
// GL_REPLACE (GL_DECAL of an RGB texture is the same) or GL_MODULATE. A replacing texture without
// dither copies its texels from the level's copy in the colour buffer's layout, which rounds each
// channel to the field as the chain's replacing span procs do; the others need texel bytes, which
// the copy has lost, and read the level's own texels (1 or 2 bytes, the layouts of levels without
// border) through their RGBA words. While generating, a copy road whose level has no copy yet is
// refused, and the byte road's words are made.
bool planTexture(GlContext *ctx, GlShadeFlags f, Plan &p, bool generating) {
    GlTextureObject *tex = ctx->state.span.fast.texture;
    const GlMipLevel *l0 = level0(tex);
    if (l0 == nullptr || tex->dimensions != 2 || tex->minFilter != GL_NEAREST || tex->magFilter != GL_NEAREST ||
        tex->wrapS != GL_REPEAT || tex->wrapT != GL_REPEAT)
        return false;
    if (l0->image == nullptr || l0->border != 0 || l0->log2Width < 0 || l0->log2Width > 16 || l0->log2Height < 0 ||
        l0->log2Height > 16)
        return false;
    const GLenum base = GLenum(l0->baseFormat);
    const GLenum mode = ctx->state.pick.texEnvMode == 0 ? GL_MODULATE : ctx->state.pick.texEnvMode;
    const bool replace = mode == GL_REPLACE || (mode == GL_DECAL && base == GL_RGB);
    if ((!replace && mode != GL_MODULATE) || base == GL_ALPHA || base == GL_COLOR_INDEX) return false;
    // A visual whose alpha is written takes the chain's alpha-keeping procs, not the ones modelled.
    if (ctx->visual.alphaBits > 0 && ctx->state.color.colorMask[3]) return false;
    p.modulate = !replace;
    p.texelCopy = replace && !(f & kGlShadeDither);
    if (p.texelCopy) {
        if (generating && l0->convertedImage == nullptr) return false;
    } else {
        const GlTexelFormat *row = l0->texelFormat;
        if (row == nullptr || (row->bitsPerTexel != 8 && row->bitsPerTexel != 16) || row->id == kGlTexelIndex8 ||
            row->id == kGlTexelIndex16)
            return false;
        p.texelBytes = row->bitsPerTexel / 8;
        if (generating) p.texelWords = __glOgTexelWords(tex, l0);
    }
    p.textured = true;
    p.perspective = (f & kGlShadePerspectiveTex) != 0;
    p.stepped = p.perspective && !(f & kGlShadePerspectiveExact);
    p.log2Width = l0->log2Width;
    p.log2Height = l0->log2Height;
    return true;
}

// False for a state this generator has no one-routine for: blended one-routines are the MMX
// routine's and so are textured ones but those of planTexture, colour index has no fast buffer,
// and only 2-byte pixels reach it (for texels read as bytes, of channels of 1 to 8 bits).
bool planOneRoutine(GlContext *ctx, GlShadeFlags f, Plan &p, bool generating) {
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    if (cb == nullptr || !(f & kGlShadeRgba) || (f & kGlShadeBlend) || cb->head.elementSize != 2) return false;
    if ((f & kGlShadeTexture) && !planTexture(ctx, f, p, generating)) return false;
    p.pixelBytes = 2;
    const int32_t shifts[3] = {cb->redShift, cb->greenShift, cb->blueShift}, maxima[3] = {cb->redMax, cb->greenMax, cb->blueMax};
    for (int i = 0; i < 3; ++i) {
        if (shifts[i] < 0 || shifts[i] > 31 || maxima[i] <= 0) return false;
        p.shift[i] = shifts[i];
        p.max[i] = maxima[i];
        // Texel bytes become fields of 1 to 8 bits through field bytes.
        const bool fieldBytes = maxima[i] <= 255 && (maxima[i] & (maxima[i] + 1)) == 0;
        if (p.textured && !p.texelCopy && !fieldBytes) return false;
        p.drop[i] = fieldBytes ? 8 - __builtin_popcount(uint32_t(maxima[i])) : 0;
    }
    p.colorMaskOff = (f & kGlShadeColorMask) != 0;
    p.simpleFill = !p.smooth && !p.colorMaskOff && !p.depthActive && !p.textured;
    addOneRoutineIters(p);
    return true;
}

bool plan(GlContext *ctx, GlShadeFlags f, bool stageList, Plan &p, bool generating = true) {
    p.stageList = stageList;
    p.smooth = (f & kGlShadeSmooth) != 0;
    p.dither = (f & kGlShadeDither) != 0;
    const GlDepthBuffer &db = ctx->buffers.depth;
    p.depthTest = (f & kGlShadeDepthTest) != 0;
    p.depthWrite = p.depthTest && ctx->state.depthStencil.depthWriteMask;
    // The buffer's own function: a mirrored buffer (the epoch clears' 1 - z) tests the mirror.
    p.depthFunc = int32_t(db.effectiveFunc) - GL_NEVER;
    if (p.depthFunc < 0 || p.depthFunc > 7) p.depthFunc = GL_ALWAYS - GL_NEVER;
    p.depthActive = p.depthTest && (p.depthWrite || p.depthFunc != GL_ALWAYS - GL_NEVER);
    p.depthBytes = db.head.elementSize;
    p.depthShift = db.shift;
    if (stageList) {
        addStageListIters(ctx, f, p);
        return true;
    }
    // The one-routine tests depth itself.
    if (p.depthActive && ((p.depthBytes != 2 && p.depthBytes != 4) || p.depthShift < 0 || p.depthShift > 31 ||
                          db.head.base == nullptr))
        return false;
    return planOneRoutine(ctx, f, p, generating);
}

// ---- the emitter -----------------------------------------------------------------------------------

// Frame words below the record: the pixel count of the row or chunk, the dither entry where every
// chunk of a stage-list row starts, the rows left in the half, the dither level of the current
// pixel, the simple fill's pattern (16 bytes), and the per-pixel body's four dither levels by
// (count & 3). A textured routine keeps the address of its texels
// (the copy's or the level's); under perspective also the position in the row's chunk of 32, the
// position in its half of 16 as an integer for fild, s/w, t/w, 1/w at the chunk's and at the
// half's start, at the pixel, the caller's and its own two control words, the two 8-byte results
// of the perspective start or step and the fixed s and t of the last computed pixel, and for a
// triangle mapped affinely 1/(q/w) and that it is one; stepped between run ends, also s and t at
// the half's start and at its end, their steps per pixel, the steps to the end, whether the end
// divided, and whether the half divides at every pixel instead. A texture read as bytes keeps per
// channel the flat colour's factor (its field byte x 257), the smooth colour less its rounding
// bias, and the rounding term of the row's four dither levels.
enum : int32_t {
    kCount = 0, kRowDither = 4, kRows = 8, kDitherLevel = 12, kPattern = 16, kDitherLevels = 32, kTexBase = 48, kPos = 52, kPosInHalf = 56,
    kChunkW = 60, kHalfW = 72, kPixelW = 84, kControlSaved = 96, kControlArithmetic = 100, kControlConversion = 104,
    kWorkS = 112, kWorkT = 120, kPreviousS = 128, kPreviousT = 132, kFlatFactors = 136, kColours = 148, kRoundings = 160,
    kRunStart = 208, kRunStep = 216, kRunExact = 224, kRunEnded = 228, kRunEnd = 232, kRunSteps = 240, kAffineR = 244,
    kAffine = 248, kFrameBytes = 256
};
static_assert(kFrameBytes % 8 == 0, "the record stays 8-aligned below the frame");

struct SpanEmitter {
    GlContext *ctx;
    GlOgWriter &w;
    GlOgCacheEntry *entry;
    const Plan &p;
    GlOgNode *eax, *ebx, *ecx, *edx, *esi, *edi, *ebp, *esp;

    SpanEmitter(GlContext *c, GlOgWriter &writer, GlOgCacheEntry *e, const Plan &plan)
        : ctx(c), w(writer), entry(e), p(plan), eax(w.r(kEax)), ebx(w.r(kEbx)), ecx(w.r(kEcx)), edx(w.r(kEdx)),
          esi(w.r(kEsi)), edi(w.r(kEdi)), ebp(w.r(kEbp)), esp(w.r(kEsp)) {}

    GlOgState *s() { return w.s; }
    // The perspective road's constants (set up by routine()).
    GlOgSpanConsts consts{};
    // A record field through the entry's data map.
    int32_t slot(int32_t offset) {
        const int32_t at = __glOgMapSlot(&entry->map, offset, 4, kGlOgMapSlots);
        if (at < 0) s()->ogFailed = 1;
        return kFrameBytes + pushed + (at < 0 ? 0 : at);
    }
    GlOgNode *rec(size_t offset) { return w.at(kEsp, slot(int32_t(offset))); }
    GlOgNode *recIndexed(size_t offset, GlOgNode *index) {
        return __glOgMem(s(), w.imm(slot(int32_t(offset))), esp, index, 4);
    }
    GlOgNode *frame(int32_t offset) { return w.at(kEsp, offset + pushed); }
    GlOgNode *frameIndexed(int32_t offset, GlOgNode *index) { return __glOgMem(s(), w.imm(offset + pushed), esp, index, 4); }
    // Registers lent as scratch while pushed move the frame and the record up.
    int32_t pushed = 0;
    void push(GlOgNode *reg) {
        w.op(__glOgPush(s(), reg));
        pushed += 4;
    }
    void pop(GlOgNode *reg) {
        w.op(__glOgPop(s(), reg));
        pushed -= 4;
    }

    void copy(GlOgNode *dst, GlOgNode *src) {
        w.op(__glOgMov(s(), eax, src));
        w.op(__glOgMov(s(), dst, eax));
    }
    // dst += src, 32-bit wrapping; eax is scratch (ecx keeps the carry of a row).
    void addTo(GlOgNode *dst, GlOgNode *src) {
        w.op(__glOgMov(s(), eax, src));
        w.op(__glOgAdd(s(), dst, eax));
    }
    void floatAddTo(GlOgNode *dst, GlOgNode *src) {
        w.op(__glOgFld(s(), dst));
        w.op(__glOgFadd(s(), src));
        w.op(__glOgFstp(s(), dst));
    }
    void step(const Iter &it, GlOgNode *dst, GlOgNode *src) {
        if (it.isFloat) floatAddTo(dst, src);
        else addTo(dst, src);
    }

    // ecx = the carry of an edge's fraction (which is stored back without it); X += Step[carry].
    void edgeAdvance(size_t x, size_t steps, size_t frac, size_t fracStep) {
        w.op(__glOgMov(s(), eax, rec(frac)));
        w.op(__glOgAdd(s(), eax, rec(fracStep)));
        w.op(__glOgMov(s(), ecx, eax));
        w.op(__glOgShr(s(), ecx, w.imm(31)));
        w.op(__glOgAnd(s(), eax, w.imm(0x7FFFFFFF)));
        w.op(__glOgMov(s(), rec(frac), eax));
        addTo(rec(x), recIndexed(steps, ecx));
    }

    // ditherPointer = ditherTableBase + (y & 3) rows of 35 entries + (x & 3) entries.
    void ditherPointer(size_t xField) {
        __glOgEmitDitherPointer(w, rec(offsetof(GlSpan, y)), rec(xField), rec(offsetof(GlSpan, ditherTableBase)),
                                rec(offsetof(GlSpan, ditherPointer)));
    }

    // The row advance: the start edge's carry steps every row start, then the other edge.
    void rowAdvance() {
        edgeAdvance(offsetof(GlSpan, startEdgeX), offsetof(GlSpan, startEdgeStep), offsetof(GlSpan, startEdgeFrac),
                    offsetof(GlSpan, startEdgeFracStep));
        for (int i = 0; i < p.iterCount; ++i) step(p.iters[i], rec(size_t(p.iters[i].rowStart)), recIndexed(size_t(p.iters[i].rowStep), ecx));
        edgeAdvance(offsetof(GlSpan, otherEdgeX), offsetof(GlSpan, otherEdgeStep), offsetof(GlSpan, otherEdgeFrac),
                    offsetof(GlSpan, otherEdgeFracStep));
        w.op(__glOgInc(s(), rec(offsetof(GlSpan, y))));
    }

    // ---- stage-list row body ----
    void chunkLoop(GlOgNode *rowEnd) {
        GlFastPathSlots &slots = ctx->state.span.fast;
        GlOgNode *chunkTop = w.label(), *full = w.label();
        w.op(__glOgMov(s(), frame(kCount), ebx));
        for (int i = 0; i < p.iterCount; ++i) copy(rec(size_t(p.iters[i].cur)), rec(size_t(p.iters[i].rowStart)));
        copy(rec(offsetof(GlSpan, x)), rec(offsetof(GlSpan, startEdgeX)));
        // Chunks start 32 positions apart, so every chunk of the row starts on the same dither
        // entry; the stages move the record's pointer, which each chunk sets back.
        __glOgEmitDitherPointer(w, rec(offsetof(GlSpan, y)), rec(offsetof(GlSpan, x)),
                                rec(offsetof(GlSpan, ditherTableBase)), frame(kRowDither));
        w.place(chunkTop);
        copy(rec(offsetof(GlSpan, ditherPointer)), frame(kRowDither));
        w.op(__glOgMov(s(), ebx, frame(kCount)));
        w.op(__glOgMov(s(), ecx, w.imm(-1)));
        w.op(__glOgCmp(s(), ebx, w.imm(32)));
        w.op(__glOgJge(s(), full));
        w.op(__glOgMov(s(), ecx, __glOgMem(s(), w.imm(__glOgWord(__glFastMaskTable.data())), nullptr, ebx, 4)));
        w.place(full);
        w.op(__glOgLea(s(), edx, w.at(kEsp, kFrameBytes)));
        w.op(__glOgCall(s(), w.abs(&slots.fastStageFirst)));
        w.op(__glOgSub(s(), frame(kCount), w.imm(32)));
        w.op(__glOgJle(s(), rowEnd));
        w.op(__glOgAdd(s(), rec(offsetof(GlSpan, x)), w.imm(32)));
        for (int i = 0; i < p.iterCount; ++i)
            step(p.iters[i], rec(size_t(p.iters[i].cur)), rec(size_t(p.iters[i].chunkStep)));
        w.op(__glOgJmp(s(), chunkTop));
    }

    // ---- one-routine row bodies ----

    // The row's pattern: the pixel of window column c (c & 3) at kPattern + 2c and again 8 bytes
    // on, so that the 8 bytes at kPattern + 2 (c & 3) are the pixels of columns c .. c + 3. Without
    // dither every entry is flatPixel; with it, the flat colour plus the level of (y & 3, c & 3)
    // in the plain dither table, packed as the per-pixel body packs it.
    void fillPattern() {
        if (!p.dither) {
            w.op(__glOgMov(s(), eax, rec(offsetof(GlSpan, red) + offsetof(GlSpanIter, rowStart))));
            w.op(__glOgAnd(s(), eax, w.imm(0xFFFF)));
            w.op(__glOgMov(s(), ecx, eax));
            w.op(__glOgShl(s(), ecx, w.imm(16)));
            w.op(__glOgOr(s(), eax, ecx));
            for (int32_t k = 0; k < 16; k += 4) w.op(__glOgMov(s(), frame(kPattern + k), eax));
            return;
        }
        w.op(__glOgMov(s(), edx, rec(offsetof(GlSpan, y))));
        w.op(__glOgAnd(s(), edx, w.imm(3)));
        w.op(__glOgImul(s(), edx, w.imm(35 * 4)));
        w.op(__glOgAdd(s(), edx, w.imm(__glOgWord(__glFastDitherTable[0].data()))));
        const size_t colour[3] = {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)};
        for (int32_t c = 0; c < 4; ++c) {
            w.op(__glOgMov(s(), esi, w.at(kEdx, 4 * c)));
            channel(eax, rec(colour[0]), 0, esi);
            for (int i = 1; i < 3; ++i) {
                channel(ecx, rec(colour[i]), i, esi);
                w.op(__glOgOr(s(), eax, ecx));
            }
            for (int32_t copy : {0, 8}) {
                w.op(__glOgOpSize(s()));
                w.op(__glOgMov(s(), frame(kPattern + copy + 2 * c), eax));
            }
        }
    }

    // eax = the pattern entry of the window column in ebp.
    void patternPixel() {
        w.op(__glOgMov(s(), eax, ebp));
        w.op(__glOgAnd(s(), eax, w.imm(3)));
        w.op(__glOgMovzx16(s(), eax, __glOgMem(s(), w.imm(kPattern), esp, eax, 2)));
    }

    // The simple fill of a flat row without depth: from the row's leftmost pixel to increasing
    // addresses, pixel by pixel up to an 8-byte boundary, then four pixels per 8-byte x87 integer
    // store of the pattern at the column's phase (which four pixels further on is the same), the
    // tail pixel by pixel.
    void simpleFill() {
        GlOgNode *leftToRight = w.label(), *head = w.label(), *body = w.label(), *bodyEnd = w.label();
        GlOgNode *tail = w.label(), *done = w.label();
        fillPattern();
        w.op(__glOgMov(s(), edi, rec(offsetof(GlSpan, pixelRowStart))));
        w.op(__glOgMov(s(), ecx, ebx));
        w.op(__glOgMov(s(), ebp, rec(offsetof(GlSpan, startEdgeX))));
        w.op(__glOgCmp(s(), rec(offsetof(GlSpan, pixelStep)), w.imm(0)));
        w.op(__glOgJg(s(), leftToRight));
        // A right-to-left row: edi back count - 1 pixels to its leftmost pixel, whose window
        // column is 1 - otherEdgeX.
        w.op(__glOgLea(s(), edx, __glOgMem(s(), w.imm(-p.pixelBytes), nullptr, ecx, p.pixelBytes)));
        w.op(__glOgSub(s(), edi, edx));
        w.op(__glOgMov(s(), ebp, w.imm(1)));
        w.op(__glOgSub(s(), ebp, rec(offsetof(GlSpan, otherEdgeX))));
        w.place(leftToRight);
        w.place(head);
        w.op(__glOgTest(s(), edi, w.imm(7)));
        w.op(__glOgJe(s(), body));
        patternPixel();
        storePixel(eax);
        w.op(__glOgAdd(s(), edi, w.imm(p.pixelBytes)));
        w.op(__glOgInc(s(), ebp));
        w.op(__glOgDec(s(), ecx));
        w.op(__glOgJne(s(), head));
        w.op(__glOgJmp(s(), done));
        w.place(body);
        w.op(__glOgMov(s(), eax, ebp));
        w.op(__glOgAnd(s(), eax, w.imm(3)));
        w.op(__glOgFild64(s(), __glOgMem(s(), w.imm(kPattern), esp, eax, 2)));
        GlOgNode *four = w.label();
        w.place(four);
        w.op(__glOgCmp(s(), ecx, w.imm(4)));
        w.op(__glOgJl(s(), bodyEnd));
        w.op(__glOgFld(s(), __glOgSt(0)));
        w.op(__glOgFistp64(s(), w.at(kEdi)));
        w.op(__glOgAdd(s(), edi, w.imm(8)));
        w.op(__glOgSub(s(), ecx, w.imm(4)));
        w.op(__glOgJmp(s(), four));
        w.place(bodyEnd);
        w.op(__glOgFstp(s(), __glOgSt(0)));
        w.place(tail);
        w.op(__glOgTest(s(), ecx, ecx));
        w.op(__glOgJe(s(), done));
        patternPixel();
        storePixel(eax);
        w.op(__glOgAdd(s(), edi, w.imm(p.pixelBytes)));
        w.op(__glOgInc(s(), ebp));
        w.op(__glOgDec(s(), ecx));
        w.op(__glOgJmp(s(), tail));
        w.place(done);
    }

    // [edi] = the pixel in value, pixelBytes wide.
    void storePixel(GlOgNode *value) {
        if (p.pixelBytes == 2) w.op(__glOgOpSize(s()));
        w.op(__glOgMov(s(), w.at(kEdi), value));
    }

    // reg = ((colour + d) >> (16 - shift)) & (max << shift) for channel i of the colour in from,
    // d the dither level in `level` (none: 0).
    void channel(GlOgNode *reg, GlOgNode *from, int i, GlOgNode *level = nullptr) {
        w.op(__glOgMov(s(), reg, from));
        if (level != nullptr) w.op(__glOgAdd(s(), reg, level));
        w.shiftBy(reg, 16, p.shift[i]);
        w.op(__glOgAnd(s(), reg, w.imm(int32_t(uint32_t(p.max[i]) << p.shift[i]))));
    }

    // ---- the texture ----

    // ebx = s, ecx = t (16.16, 1.0 the whole texture) of the pixel; under perspective divided here
    // from s/w, t/w and 1/w at the pixel's place in its half, as the chain's texture routine
    // forms them: each a float sum of the half's start and position x step, then 1/w, s/w x (1/w)
    // and t/w x (1/w) as floats, floored to 16.16; 1/w that is not a positive normal gives 0, 0.
    // A triangle mapped affinely takes the triangle's one 1/w instead of dividing. Stepped, a half
    // that runEnds() left undivided takes s and t at its start plus the position times their
    // steps, as floats, floored the same way (through a 1/w of 1.0).
    // The row's first computed pixel starts the segment (started false), every later one steps
    // it: only the low halves of ebx and ecx are kept up to date, the bits texel() reads.
    void coordinates(bool started) {
        if (!p.perspective) return;
        GlOgNode *divide = w.label(), *convert = w.label(), *done = w.label(), *eachPixel = w.label();
        GlOgNode *projective = w.label();
        // Stepped, a triangle mapped affinely has its halves marked exact, so that the stepped
        // pixels test nothing more.
        if (p.stepped) {
            w.op(__glOgCmp(s(), frame(kRunExact), w.imm(0)));
            w.op(__glOgJne(s(), eachPixel));
            for (int i = 0; i < 2; ++i) {
                w.op(__glOgFild(s(), frame(kPosInHalf)));
                w.op(__glOgFmul(s(), frame(kRunStep + 4 * i)));
                w.op(__glOgFadd(s(), frame(kRunStart + 4 * i)));
                w.op(__glOgFstp(s(), frame(kPixelW + 4 * i)));
            }
            w.op(__glOgFld(s(), consts.one));
            w.op(__glOgJmp(s(), convert));
        }
        w.place(eachPixel);
        w.op(__glOgCmp(s(), frame(kAffine), w.imm(0)));
        w.op(__glOgJe(s(), projective));
        positionSum(frame(kPosInHalf), 2);
        w.op(__glOgFld(s(), frame(kAffineR)));
        w.op(__glOgJmp(s(), convert));
        w.place(projective);
        positionSum(frame(kPosInHalf), 3);
        w.op(__glOgCmp(s(), frame(kPixelW + 8), w.imm(0x3FFFFE)));
        w.op(__glOgJg(s(), divide));
        // 0, 0, and the values the next step starts from.
        w.op(__glOgXor(s(), ebx, ebx));
        w.op(__glOgXor(s(), ecx, ecx));
        w.op(__glOgMov(s(), frame(kPreviousS), ebx));
        w.op(__glOgMov(s(), frame(kPreviousT), ebx));
        w.op(__glOgJmp(s(), done));
        w.place(divide);
        w.op(__glOgFld(s(), consts.one));
        w.op(__glOgFdiv(s(), frame(kPixelW + 8)));
        w.place(convert);
        const GlOgPerspectiveWork work{frame(kWorkS),         frame(kWorkT),
                                       frame(kPreviousS),     frame(kPreviousT),
                                       frame(kControlArithmetic), frame(kControlConversion)};
        if (!started) {
            __glOgEmitPerspectiveStart(w, consts, frame(kPixelW), frame(kPixelW + 4), 16, 16, work);
            w.op(__glOgMov(s(), ebx, frame(kWorkS)));
            w.op(__glOgMov(s(), ecx, frame(kWorkT)));
        } else {
            // The packed step added half by half: bx += dx, cx += the high half.
            __glOgEmitPerspectiveStep(w, consts, frame(kPixelW), frame(kPixelW + 4), 16, 16, work);
            w.op(__glOgOpSize(s()));
            w.op(__glOgAdd(s(), ebx, edx));
            w.op(__glOgShr(s(), edx, w.imm(16)));
            w.op(__glOgOpSize(s()));
            w.op(__glOgAdd(s(), ecx, edx));
        }
        w.place(done);
    }

    // eax = the stored texel (s >> (16 - log2 width), t >> (16 - log2 height)), each wrapped to
    // the level: the copy's pixel, or the level's own 1- or 2-byte value; edx is scratch.
    void texel() {
        const int32_t lw = p.log2Width, lh = p.log2Height;
        w.op(__glOgMov(s(), edx, ecx));
        w.shiftBy(edx, 16, lh);
        w.op(__glOgAnd(s(), edx, w.imm(int32_t((1u << lh) - 1))));
        w.shiftBy(edx, 0, lw);
        w.op(__glOgMov(s(), eax, ebx));
        w.shiftBy(eax, 16, lw);
        w.op(__glOgAnd(s(), eax, w.imm(int32_t((1u << lw) - 1))));
        w.op(__glOgAdd(s(), eax, edx));
        w.op(__glOgMov(s(), edx, frame(kTexBase)));
        if (!p.texelCopy && p.texelBytes == 1) w.op(__glOgMovzx8(s(), eax, __glOgMem(s(), nullptr, edx, eax, 1)));
        else w.op(__glOgMovzx16(s(), eax, __glOgMem(s(), nullptr, edx, eax, 2)));
    }

    // reg = its value clamped to [0, the field-byte limit of channel i] (a value below 0 is above
    // the limit as unsigned).
    void clampFieldByte(GlOgNode *reg, int i) {
        const int32_t limit = int32_t(glfast::fieldByteLimit(8 - p.drop[i]));
        GlOgNode *inside = w.label();
        w.op(__glOgCmp(s(), reg, w.imm(limit)));
        w.op(__glOgJbe(s(), inside));
        w.op(__glOgSar(s(), reg, w.imm(31)));
        w.op(__glOgXor(s(), reg, w.imm(-1)));
        w.op(__glOgAnd(s(), reg, w.imm(limit)));
        w.place(inside);
    }
    // reg = the field byte of a colour iterator already less its rounding bias, clamped.
    void colourFieldByte(GlOgNode *reg, int i) {
        w.op(__glOgSar(s(), reg, w.imm(16 - p.drop[i])));
        clampFieldByte(reg, i);
    }

    // The rounding term of channel i without dither: half a step of the field (see texelColour).
    int32_t plainRounding(int i) const { return 32896 + (p.drop[i] > 0 ? (1 << (p.drop[i] - 1)) << 16 : 0); }

    // The pixel from the texel word in eax, as the chain's basic span procs form it: per channel
    // the texel byte tau times the field byte c (modulate; the field's largest field byte for a
    // dithered replace) rounded to a 255th, mul(tau, c) = ((tau c + 128) 257) >> 16, plus the
    // dither level's share of a step r (or half a step), dropped to the field:
    // (mul(tau, c) + r) >> drop = (tau c 257 + 32896 + (r << 16)) >> (16 + drop). The field byte c
    // of the colour is at most the limit, so the sum needs no clamp. ebx, ecx (and under the depth
    // test ebp) are lent while pushed: ebx collects the pixel, ecx holds the dither position, ebp
    // the smooth colour's factor; the pixel ends in edx.
    void texelColour() {
        const bool smoothFactor = p.modulate && p.smooth;
        push(ebx);
        push(ecx);
        if (smoothFactor && p.depthActive) push(ebp);
        if (p.dither) {
            w.op(__glOgMov(s(), ecx, frame(kCount)));
            w.op(__glOgAnd(s(), ecx, w.imm(3)));
        }
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgMovzx8(s(), edx, __glOgMem(s(), w.imm(__glOgWord(p.texelWords) + i), nullptr, eax, 4)));
            if (!p.modulate) {
                w.op(__glOgImul(s(), edx, w.imm(int32_t(glfast::fieldByteLimit(8 - p.drop[i])) * 257)));
            } else if (!p.smooth) {
                w.op(__glOgImul(s(), edx, frame(kFlatFactors + 4 * i)));
            } else {
                w.op(__glOgMov(s(), ebp, frame(kColours + 4 * i)));
                colourFieldByte(ebp, i);
                w.op(__glOgImul(s(), ebp, w.imm(257)));
                w.op(__glOgImul(s(), edx, ebp));
            }
            w.op(__glOgAdd(s(), edx, p.dither ? frameIndexed(kRoundings + 16 * i, ecx) : w.imm(plainRounding(i))));
            w.shiftBy(edx, 16 + p.drop[i], p.shift[i]);
            w.op(__glOgAnd(s(), edx, w.imm(int32_t(uint32_t(p.max[i]) << p.shift[i]))));
            if (i == 0) w.op(__glOgMov(s(), ebx, edx));
            else w.op(__glOgOr(s(), ebx, edx));
        }
        w.op(__glOgMov(s(), edx, ebx));
        if (smoothFactor && p.depthActive) pop(ebp);
        pop(ecx);
        pop(ebx);
    }

    // The first `planes` of s/w, t/w and 1/w at a position of the half into kPixelW: the half's
    // start plus the position (an integer operand) times the plane's step, as floats.
    void positionSum(GlOgNode *position, int planes) {
        const size_t plane[3] = {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)};
        w.op(__glOgFild(s(), position));
        for (int i = 0; i < planes; ++i) {
            if (i + 1 < planes) w.op(__glOgFld(s(), __glOgSt(0)));
            w.op(__glOgFmul(s(), rec(plane[i] + offsetof(GlSpanFloatIter, step))));
            w.op(__glOgFadd(s(), frame(kHalfW + 4 * i)));
            w.op(__glOgFstp(s(), frame(kPixelW + 4 * i)));
        }
    }

    // A textured pixel: its coordinates, its texel, its colour, the store.
    void texturedPixel(bool started) {
        coordinates(started);
        texel();
        if (p.texelCopy) {
            storePixel(eax);
        } else {
            texelColour();
            storePixel(edx);
        }
    }

    // Per call: the flat colour's factors (its field bytes x 257; the record's colour iterators
    // hold the flat colour with the rounding bias, and flat ones are never stepped).
    void flatFactors() {
        if (!p.textured || !p.modulate || p.smooth) return;
        const size_t colour[3] = {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)};
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgMov(s(), edx, rec(colour[i] + offsetof(GlSpanIter, cur))));
            w.op(__glOgSub(s(), edx, w.imm(glfast::colourIteratorBias(p.dither))));
            colourFieldByte(edx, i);
            w.op(__glOgImul(s(), edx, w.imm(257)));
            w.op(__glOgMov(s(), frame(kFlatFactors + 4 * i), edx));
        }
    }

    // Per row with dither: each channel's rounding term of the row's four dither levels, laid
    // out as the levels are (by count & 3): the level's share of a step, d >> (16 - drop), in
    // the high half, plus the product's 32896. eax holds the level, ecx its place; esi is free.
    void roundingTerms() {
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgMov(s(), esi, eax));
            w.shiftBy(esi, 16, p.drop[i]);
            w.shiftBy(esi, 0, 16);
            w.op(__glOgAdd(s(), esi, w.imm(32896)));
            w.op(__glOgMov(s(), frameIndexed(kRoundings + 16 * i, ecx), esi));
        }
    }

    // Stepped: at a half's start (s/w, t/w, 1/w in kHalfW), the chain's divisions at the ends of
    // its run: at the start where the chunk starts (else the last run's end is the start), and at
    // the end: 16 pixels on, or the row's last pixel where the row ends sooner (its planes then
    // the start plus the steps to it times the plane's step), each s/w x (1/w) as a float; the
    // steps (end - start) x the inverse of the steps to the end. The half divides at every pixel
    // instead where an end's 1/w is not a positive normal, as the chain's routine does; a
    // triangle mapped affinely needs none of this. afterPixel: the pixel before the half's first
    // has not been counted off yet.
    void runEnds(bool chunkStart, bool afterPixel) {
        if (!p.stepped) return;
        GlOgNode *done = w.label(), *full = w.label(), *planesDone = w.label(), *startFails = w.label();
        GlOgNode *exact = w.label(), *steps = w.label(), *atStart = w.label(), *whole = w.label();
        const size_t planes[3] = {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)};
        w.op(__glOgCmp(s(), frame(kAffine), w.imm(0)));
        w.op(__glOgJne(s(), done));
        // The steps to the end: the pixels left from the half's first, less one, at most 16.
        w.op(__glOgMov(s(), eax, frame(kCount)));
        w.op(__glOgSub(s(), eax, w.imm(afterPixel ? 2 : 1)));
        w.op(__glOgJl(s(), done));  // the row ended with the last half
        w.op(__glOgCmp(s(), eax, w.imm(16)));
        w.op(__glOgJle(s(), full));
        w.op(__glOgMov(s(), eax, w.imm(16)));
        w.place(full);
        w.op(__glOgMov(s(), frame(kRunSteps), eax));
        if (chunkStart) {
            w.op(__glOgMov(s(), frame(kRunEnded), w.imm(0)));
            divideRunEnd(kHalfW, startFails);
            w.place(startFails);
        }
        for (int i = 0; i < 2; ++i) copy(frame(kRunStart + 4 * i), frame(kRunEnd + 4 * i));
        // The end's planes into kPixelW: a whole run, or the steps to the row's last pixel; none
        // where the half's first pixel is the last (the start is the end).
        w.op(__glOgMov(s(), eax, frame(kRunSteps)));
        w.op(__glOgTest(s(), eax, eax));
        w.op(__glOgJe(s(), atStart));
        w.op(__glOgCmp(s(), eax, w.imm(16)));
        w.op(__glOgJe(s(), whole));
        positionSum(frame(kRunSteps), 3);
        w.op(__glOgJmp(s(), planesDone));
        w.place(whole);
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgFld(s(), frame(kHalfW + 4 * i)));
            w.op(__glOgFadd(s(), rec(planes[i] + offsetof(GlSpanFloatIter, halfStep))));
            w.op(__glOgFstp(s(), frame(kPixelW + 4 * i)));
        }
        w.place(planesDone);
        // The end: whether it divides is the next run's start; the steps only where both do.
        w.op(__glOgMov(s(), edx, frame(kRunEnded)));
        w.op(__glOgMov(s(), frame(kRunEnded), w.imm(0)));
        divideRunEnd(kPixelW, exact);
        w.op(__glOgTest(s(), edx, edx));
        w.op(__glOgJne(s(), steps));
        w.op(__glOgJmp(s(), exact));
        w.place(atStart);
        w.op(__glOgCmp(s(), frame(kRunEnded), w.imm(0)));
        w.op(__glOgJe(s(), exact));
        w.place(steps);
        for (int i = 0; i < 2; ++i) {
            w.op(__glOgFld(s(), frame(kRunEnd + 4 * i)));
            w.op(__glOgFsub(s(), frame(kRunStart + 4 * i)));
            w.op(__glOgMov(s(), eax, frame(kRunSteps)));
            w.op(__glOgFmul(s(), __glOgMem(s(), w.imm(__glOgWord(kGlRunStepInverse.data())), nullptr, eax, 4)));
            w.op(__glOgFstp(s(), frame(kRunStep + 4 * i)));
        }
        w.op(__glOgMov(s(), frame(kRunExact), w.imm(0)));
        w.op(__glOgJmp(s(), done));
        w.place(exact);
        w.op(__glOgMov(s(), frame(kRunExact), w.imm(1)));
        w.place(done);
    }

    // A run's end at `planes` (s/w, t/w, 1/w): where its 1/w is a positive normal, s and t divided
    // into kRunEnd and kRunEnded 1; else a jump to `fails`.
    void divideRunEnd(int32_t planes, GlOgNode *fails) {
        w.op(__glOgCmp(s(), frame(planes + 8), w.imm(0x3FFFFE)));
        w.op(__glOgJle(s(), fails));
        w.op(__glOgFld(s(), consts.one));
        w.op(__glOgFdiv(s(), frame(planes + 8)));
        divided(planes, kRunEnd);
        w.op(__glOgMov(s(), frame(kRunEnded), w.imm(1)));
    }

    // With 1/w in st(0) (popped): the s/w and t/w at `planes` times it, as floats, into `to`.
    void divided(int32_t planes, int32_t to) {
        for (int i = 0; i < 2; ++i) {
            w.op(__glOgFld(s(), frame(planes + 4 * i)));
            if (i == 0) w.op(__glOgFmul(s(), __glOgSt(1)));
            else w.op(__glOgFmulp(s(), __glOgSt(1)));
            w.op(__glOgFstp(s(), frame(to + 4 * i)));
        }
    }

    // Per triangle under perspective: a triangle whose q/w has no gradient (both +-0) and a
    // positive normal value maps the texture affinely, and its one 1/(q/w) goes into kAffineR for
    // every pixel (kAffine 1), as the chain forms it once per triangle.
    void affineSetup() {
        GlOgNode *projective = w.label(), *done = w.label();
        __glOgSetupSpanConsts(s(), &consts);
        const size_t qw = offsetof(GlSpan, qw);
        w.op(__glOgMov(s(), eax, rec(qw + offsetof(GlSpanFloatIter, step))));
        w.op(__glOgOr(s(), eax, rec(qw + offsetof(GlSpanFloatIter, dy))));
        w.op(__glOgAdd(s(), eax, eax));  // nothing left without the sign bits
        w.op(__glOgJne(s(), projective));
        w.op(__glOgCmp(s(), rec(qw + offsetof(GlSpanFloatIter, rowStart)), w.imm(0x3FFFFE)));
        w.op(__glOgJle(s(), projective));
        w.op(__glOgFld(s(), consts.one));
        w.op(__glOgFdiv(s(), rec(qw + offsetof(GlSpanFloatIter, rowStart))));
        w.op(__glOgFstp(s(), frame(kAffineR)));
        w.op(__glOgMov(s(), frame(kAffine), w.imm(1)));
        w.op(__glOgMov(s(), frame(kRunExact), w.imm(1)));
        w.op(__glOgJmp(s(), done));
        w.place(projective);
        w.op(__glOgMov(s(), frame(kAffine), w.imm(0)));
        w.place(done);
    }

    // The row's start: s and t (affine) in ebx and ecx, or the chunk and the half at the row's
    // s/w, t/w, 1/w, position 0.
    void textureRowStart() {
        if (p.modulate && p.smooth) {
            const size_t colour[3] = {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)};
            for (int i = 0; i < 3; ++i) {
                w.op(__glOgMov(s(), eax, rec(colour[i] + offsetof(GlSpanIter, rowStart))));
                w.op(__glOgSub(s(), eax, w.imm(glfast::colourIteratorBias(p.dither))));
                w.op(__glOgMov(s(), frame(kColours + 4 * i), eax));
            }
        }
        if (!p.perspective) {
            w.op(__glOgMov(s(), ebx, rec(offsetof(GlSpan, s) + offsetof(GlSpanIter, rowStart))));
            w.op(__glOgMov(s(), ecx, rec(offsetof(GlSpan, t) + offsetof(GlSpanIter, rowStart))));
            return;
        }
        w.op(__glOgXor(s(), eax, eax));
        w.op(__glOgMov(s(), frame(kPos), eax));
        w.op(__glOgMov(s(), frame(kPosInHalf), eax));
        const size_t planes[3] = {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)};
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgFld(s(), rec(planes[i] + offsetof(GlSpanFloatIter, rowStart))));
            w.op(__glOgFst(s(), frame(kChunkW + 4 * i)));
            w.op(__glOgFstp(s(), frame(kHalfW + 4 * i)));
        }
        runEnds(true, false);
    }

    // One pixel on: s and t by their steps, or the next position; a new half starts at the
    // chunk's start plus its half step, a new chunk at the chunk's start plus its chunk step.
    void textureStep() {
        if (p.modulate && p.smooth) {
            const size_t colour[3] = {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)};
            for (int i = 0; i < 3; ++i) {
                w.op(__glOgMov(s(), eax, rec(colour[i] + offsetof(GlSpanIter, step))));
                w.op(__glOgAdd(s(), frame(kColours + 4 * i), eax));
            }
        }
        if (!p.perspective) {
            w.op(__glOgAdd(s(), ebx, rec(offsetof(GlSpan, s) + offsetof(GlSpanIter, step))));
            w.op(__glOgAdd(s(), ecx, rec(offsetof(GlSpan, t) + offsetof(GlSpanIter, step))));
            return;
        }
        GlOgNode *secondHalf = w.label(), *same = w.label();
        const size_t planes[3] = {offsetof(GlSpan, sw), offsetof(GlSpan, tw), offsetof(GlSpan, qw)};
        w.op(__glOgMov(s(), eax, frame(kPos)));
        w.op(__glOgInc(s(), eax));
        w.op(__glOgAnd(s(), eax, w.imm(31)));
        w.op(__glOgMov(s(), frame(kPos), eax));
        w.op(__glOgMov(s(), edx, eax));
        w.op(__glOgAnd(s(), edx, w.imm(15)));
        w.op(__glOgMov(s(), frame(kPosInHalf), edx));
        w.op(__glOgJne(s(), same));
        w.op(__glOgCmp(s(), eax, w.imm(16)));
        w.op(__glOgJe(s(), secondHalf));
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgFld(s(), frame(kChunkW + 4 * i)));
            w.op(__glOgFadd(s(), rec(planes[i] + offsetof(GlSpanFloatIter, chunkStep))));
            w.op(__glOgFst(s(), frame(kChunkW + 4 * i)));
            w.op(__glOgFstp(s(), frame(kHalfW + 4 * i)));
        }
        runEnds(true, true);
        w.op(__glOgJmp(s(), same));
        w.place(secondHalf);
        for (int i = 0; i < 3; ++i) {
            w.op(__glOgFld(s(), frame(kChunkW + 4 * i)));
            w.op(__glOgFadd(s(), rec(planes[i] + offsetof(GlSpanFloatIter, halfStep))));
            w.op(__glOgFstp(s(), frame(kHalfW + 4 * i)));
        }
        runEnds(false, true);
        w.place(same);
    }

    // The per-pixel body. Registers for the whole row: the colour (16.16) in eax, ebx, ecx (a
    // flat undithered colour: the packed pixel in eax; a texture: s and t in ebx and ecx), the
    // pixel address in edi, the depth address in esi and the depth value in ebp; edx is the one
    // scratch register. The count runs down in the frame, and the dither level of a pixel is the
    // row's level at (count & 3), laid out in the frame at the row's start, so a pixel that fails
    // the depth test just moves on. Under perspective the body is there twice: the row runs the
    // first copy up to its first computed pixel, which starts the segment, and then the second,
    // whose computed pixels step it (no per-pixel test of which one a pixel is).
    void pixels(GlOgNode *rowEnd) {
        const GlDepthBuffer &db = ctx->buffers.depth;
        const bool computed = p.smooth || p.dither;
        w.op(__glOgMov(s(), frame(kCount), ebx));
        if (p.dither) {
            // Pixel k of the row (count n - k) takes ditherPointer[k & 3].
            w.op(__glOgMov(s(), edx, rec(offsetof(GlSpan, ditherPointer))));
            for (int32_t k = 0; k < 4; ++k) {
                w.op(__glOgMov(s(), eax, w.at(kEdx, 4 * k)));
                w.op(__glOgLea(s(), ecx, w.at(kEbx, -k)));
                w.op(__glOgAnd(s(), ecx, w.imm(3)));
                if (p.textured) roundingTerms();
                else w.op(__glOgMov(s(), frameIndexed(kDitherLevels, ecx), eax));
            }
        }
        w.op(__glOgMov(s(), edi, rec(offsetof(GlSpan, pixelRowStart))));
        if (p.depthActive) {
            w.op(__glOgMov(s(), esi, rec(offsetof(GlSpan, depthRowStart))));
            w.op(__glOgMov(s(), ebp, rec(offsetof(GlSpan, z) + offsetof(GlSpanIter, rowStart))));
        }
        const size_t colour[3] = {offsetof(GlSpan, red), offsetof(GlSpan, green), offsetof(GlSpan, blue)};
        GlOgNode *regs[3] = {eax, ebx, ecx};
        if (p.textured) {
            textureRowStart();
        } else if (computed) {
            for (int i = 0; i < 3; ++i)
                w.op(__glOgMov(s(), regs[i], rec(colour[i] + (p.smooth ? offsetof(GlSpanIter, rowStart) : 0))));
        } else {
            w.op(__glOgMov(s(), eax, rec(offsetof(GlSpan, red) + offsetof(GlSpanIter, rowStart))));
        }

        const int phases = p.perspective && !p.colorMaskOff ? 2 : 1;
        GlOgNode *loops[2] = {w.label(), w.label()}, *nexts[2] = {w.label(), w.label()};
        for (int phase = 0; phase < phases; ++phase) {
            GlOgNode *loop = loops[phase], *next = nexts[phase];
            w.place(loop);
            if (p.depthActive) {
                // The stored value: the epoch base plus the depth at the buffer's precision (2-byte
                // elements compare and store the low 16 bits), as the chain's depth stage forms it.
                w.op(__glOgMov(s(), edx, ebp));
                w.shiftBy(edx, p.depthShift, 0);
                w.op(__glOgAdd(s(), edx, w.abs(&db.epochBase)));
                if (p.depthFunc == GL_NEVER - GL_NEVER) {
                    w.op(__glOgJmp(s(), next));
                } else if (p.depthFunc != GL_ALWAYS - GL_NEVER) {
                    if (p.depthBytes == 2) w.op(__glOgOpSize(s()));
                    w.op(__glOgCmp(s(), edx, w.at(kEsi)));
                    w.op(__glOgDepthFailBranch(s(), p.depthFunc, next));
                }
                if (p.depthWrite) {
                    if (p.depthBytes == 2) w.op(__glOgOpSize(s()));
                    w.op(__glOgMov(s(), w.at(kEsi), edx));
                }
            }
            if (!p.colorMaskOff) {
                if (p.textured) {
                    texturedPixel(phase == 1);
                    // The segment has started: on with the copy that steps it.
                    if (phase + 1 < phases) w.op(__glOgJmp(s(), nexts[phase + 1]));
                } else if (computed) {
                    // The pixel's dither level stays in the frame; each channel adds it on the way.
                    if (p.dither) {
                        w.op(__glOgMov(s(), edx, frame(kCount)));
                        w.op(__glOgAnd(s(), edx, w.imm(3)));
                        w.op(__glOgMov(s(), edx, frameIndexed(kDitherLevels, edx)));
                        w.op(__glOgMov(s(), frame(kDitherLevel), edx));
                    }
                    // ebp lends itself as the second scratch register.
                    if (p.depthActive) push(ebp);
                    auto level = [&] { return p.dither ? frame(kDitherLevel) : nullptr; };
                    channel(ebp, eax, 0, level());
                    channel(edx, ebx, 1, level());
                    w.op(__glOgOr(s(), ebp, edx));
                    channel(edx, ecx, 2, level());
                    w.op(__glOgOr(s(), edx, ebp));
                    if (p.depthActive) pop(ebp);
                    storePixel(edx);
                } else {
                    storePixel(eax);
                }
            }
            w.place(next);
            if (p.textured) textureStep();
            else if (p.smooth)
                for (int i = 0; i < 3; ++i) w.op(__glOgAdd(s(), regs[i], rec(colour[i] + offsetof(GlSpanIter, step))));
            if (p.depthActive) {
                w.op(__glOgAdd(s(), esi, rec(offsetof(GlSpan, depthAddressStep))));
                w.op(__glOgAdd(s(), ebp, rec(offsetof(GlSpan, z) + offsetof(GlSpanIter, step))));
            }
            w.op(__glOgAdd(s(), edi, rec(offsetof(GlSpan, pixelStep))));
            w.op(__glOgDec(s(), frame(kCount)));
            w.op(__glOgJne(s(), loop));
            w.op(__glOgJmp(s(), rowEnd));
        }
    }

    // ---- the routine ----
    void routine() {
        GlBufferArea &buffers = ctx->buffers;
        GlOgContext *og = __glOgContextOf(ctx);
        GlOgNode *rowLoop = w.label(), *rowBody = w.label(), *rowEnd = w.label(), *halfEnd = w.label();
        GlOgNode *exit = w.label(), *unlocked = w.label();
        w.op(__glOgSub(s(), esp, w.imm(kFrameBytes)));
        if (p.textured) {
            // The texels of the texture the chain runs with now (a new image gets a new copy).
            const size_t texels = p.texelCopy ? offsetof(GlMipLevel, convertedImage) : offsetof(GlMipLevel, image);
            w.op(__glOgMov(s(), eax, w.abs(&ctx->state.span.fast.texture)));
            w.op(__glOgMov(s(), eax, w.at(kEax, int32_t(offsetof(GlTextureObject, levels)))));
            w.op(__glOgMov(s(), eax, w.at(kEax)));
            w.op(__glOgMov(s(), eax, w.at(kEax, int32_t(texels))));
            w.op(__glOgMov(s(), frame(kTexBase), eax));
            flatFactors();
        }
        if (p.perspective) {
            // The caller's control word with float precision and rounding to nearest for the
            // arithmetic, double precision and rounding down for the conversions.
            w.op(__glOgFnstcw(s(), frame(kControlSaved)));
            w.op(__glOgMovzx16(s(), eax, frame(kControlSaved)));
            w.op(__glOgAnd(s(), eax, w.imm(0xF0FF)));
            w.op(__glOgMov(s(), frame(kControlArithmetic), eax));
            w.op(__glOgOr(s(), eax, w.imm(0x0600)));
            w.op(__glOgMov(s(), frame(kControlConversion), eax));
            w.op(__glOgFldcw(s(), frame(kControlArithmetic)));
            affineSetup();
        }

        w.place(rowLoop);
        w.op(__glOgMov(s(), eax, rec(offsetof(GlSpan, yMiddle))));
        w.op(__glOgMov(s(), ecx, rec(offsetof(GlSpan, yStart))));
        w.op(__glOgMov(s(), rec(offsetof(GlSpan, y)), ecx));
        w.op(__glOgSub(s(), eax, ecx));
        w.op(__glOgJle(s(), halfEnd));
        w.place(rowBody);
        w.op(__glOgMov(s(), frame(kRows), eax));
        if (!p.stageList && p.dither && !p.simpleFill) ditherPointer(offsetof(GlSpan, startEdgeX));
        w.op(__glOgMov(s(), ebx, rec(offsetof(GlSpan, otherEdgeX))));
        w.op(__glOgSub(s(), ebx, rec(offsetof(GlSpan, startEdgeX))));
        w.op(__glOgJle(s(), rowEnd));
        if (p.stageList) chunkLoop(rowEnd);
        else if (p.simpleFill) simpleFill();
        else pixels(rowEnd);

        w.place(rowEnd);
        rowAdvance();
        w.op(__glOgMov(s(), eax, frame(kRows)));
        w.op(__glOgDec(s(), eax));
        w.op(__glOgJne(s(), rowBody));

        // The lower half takes the lower edge's place as the other edge.
        w.place(halfEnd);
        w.op(__glOgMov(s(), eax, rec(offsetof(GlSpan, yEnd))));
        w.op(__glOgCmp(s(), eax, rec(offsetof(GlSpan, yMiddle))));
        w.op(__glOgJe(s(), exit));
        copy(rec(offsetof(GlSpan, yStart)), rec(offsetof(GlSpan, yMiddle)));
        copy(rec(offsetof(GlSpan, yMiddle)), rec(offsetof(GlSpan, yEnd)));
        copy(rec(offsetof(GlSpan, otherEdgeX)), rec(offsetof(GlSpan, lowerEdgeX)));
        copy(rec(offsetof(GlSpan, otherEdgeStep)), rec(offsetof(GlSpan, lowerEdgeStep)));
        copy(rec(offsetof(GlSpan, otherEdgeStep) + 4), rec(offsetof(GlSpan, lowerEdgeStep) + 4));
        copy(rec(offsetof(GlSpan, otherEdgeFrac)), rec(offsetof(GlSpan, lowerEdgeFrac)));
        copy(rec(offsetof(GlSpan, otherEdgeFracStep)), rec(offsetof(GlSpan, lowerEdgeFracStep)));
        w.op(__glOgJmp(s(), rowLoop));

        // The unlock step releases the lock the set-up took: the depth always drops by one (as
        // the C walker's does), the unlock proc runs when it reaches 0 and one is set.
        w.place(exit);
        if (p.perspective) w.op(__glOgFldcw(s(), frame(kControlSaved)));
        w.op(__glOgMov(s(), eax, w.abs(&buffers.lockCount)));
        w.op(__glOgDec(s(), eax));
        w.op(__glOgMov(s(), w.abs(&buffers.lockCount), eax));
        w.op(__glOgJne(s(), unlocked));
        w.op(__glOgMov(s(), ecx, w.abs(&buffers.drawableUnlock)));
        w.op(__glOgTest(s(), ecx, ecx));
        w.op(__glOgJe(s(), unlocked));
        w.op(__glOgPush(s(), w.imm(__glOgWord(ctx))));
        w.op(__glOgCall(s(), ecx));
        w.op(__glOgAdd(s(), esp, w.imm(4)));
        w.place(unlocked);
        w.op(__glOgAdd(s(), esp, w.imm(kFrameBytes)));
        w.op(__glOgMov(s(), eax, w.imm(1)));
        w.op(__glOgJmpRm(s(), w.abs(&og->spanReturn)));
    }
};

}  // namespace
}  // namespace icd

using namespace icd;

bool __glOgSpanRoutinesEnabled() {
    const int forced = g_spanOverride.load();
    if (forced >= 0) return forced != 0;
    static const bool enabled = [] {
        const char *v = std::getenv("__GL_OG_SPAN");
        return v == nullptr || std::atoi(v) != 0;
    }();
    return enabled;
}

void __glOgSetSpanRoutinesForTest(int enabled) { g_spanOverride.store(enabled); }

bool __glOgTexturedOneRoutineServes(GlContext *ctx) {
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    Plan p{};
    return __glOgContextOf(ctx) != nullptr && __glOgSpanRoutinesEnabled() && (f & kGlShadeTexture) &&
           plan(ctx, f, false, p, false) && p.textured;
}

void *__glOgGenSpanProc(GlContext *ctx, int stageList) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (og == nullptr || !__glOgSpanRoutinesEnabled()) return nullptr;
    const bool list = (stageList & 0xFF) != 0;
    const GlShadeFlags f = ctx->state.span.raster.shadeFlags;
    // With MMX the one-routine is the MMX routine: the whole of it for textured or blended states,
    // else for triangles larger than 50 pixels, the integer code after it drawing the small ones
    // (whose rows are too short for four-pixel groups to pay).
    const bool mmx = !list && __glOgCanUseMmx(ctx) && __glOgMmxSpanServes(ctx);
    Plan p{};
    const bool integer = plan(ctx, f, list, p);
    const bool mmxWhole = mmx && (!integer || (f & (kGlShadeTexture | kGlShadeBlend)));
    if (!integer && !mmx) return nullptr;
    const GlColorBuffer *cb = ctx->buffers.color.drawColorBuffer;
    // Beyond key A and key B: what the one-routine folds in from the buffers (the colour format,
    // the depth precision, the depth buffer's effective function), which the two words alone do
    // not tell apart. The stage-list routine leaves all of it to the chain.
    const uint32_t buffers = list ? 0u
                                  : uint32_t(cb != nullptr ? cb->formatCode & 0xFF : 0xFF) | uint32_t(p.depthShift & 0xFF) << 8 |
                                        uint32_t(p.depthBytes & 0xFF) << 16 | uint32_t(p.depthFunc) << 24;
    // The MMX routine also folds in its filter (repeating level 0).
    const GlTextureObject *tex = ctx->state.span.fast.texture;
    const GlMipLevel *l0 = (f & kGlShadeTexture) ? level0(tex) : nullptr;
    uint32_t mmxWord = 0;
    if (mmx) {
        mmxWord = kMmxKeyRoutine | (mmxWhole ? kMmxKeyWhole : 0u);
        if (l0 != nullptr) mmxWord |= (tex->magFilter == GL_LINEAR ? 4u : 0u) | (tex->minFilter != tex->magFilter ? 8u : 0u);
    }
    // The texel layout a textured routine reads (the MMX routine's, or the integer one's bytes),
    // and level 0's size, which the integer routine folds in: key B holds it only where MMX is not
    // allowed, but under perspective the integer routine draws whatever the processor.
    if (l0 != nullptr)
        mmxWord |= uint32_t(l0->texelFormatId & 0xFF) << 8 | uint32_t(l0->log2Width & 0x1F) << 16 |
                   uint32_t(l0->log2Height & 0x1F) << 21;
    uint32_t key[kSpanKeyWords] = {};
    key[0] = kSpanKeyTag;
    key[1] = f & ~(kGlShadePolygonStipple | kGlShadeTwoSided | kGlShadeCull);
    key[kKeyB] = keyB(ctx, f, list, mmx);
    key[3] = buffers;
    key[kKeyMmx] = mmxWord;
    bool hit = false;
    GlOgCacheEntry *e = __glOgLookUpCode(ctx, kGlOgCacheSpan, key, kSpanKeyWords, &hit);
    if (e == nullptr) return nullptr;
    og->currentMap = &e->map;
    if (hit) return e->code;
    GlOgWriter w;
    if (!__glOgBeginWrite(ctx, kGlOgCacheSpan, e, &w)) return nullptr;
    __glOgResetDataMap(&e->map);
    e->map.passThrough = 1;
    e->replaces = nullptr;
    // One count per entry, that is per triangle, whatever form the routine takes.
    w.op(__glOgInc(w.s, w.abs(&og->spanRuns)));
    GlOgNode *small = nullptr, *affine = nullptr;
    // Under perspective the MMX routine divides once per segment through a 16-bit reciprocal; a
    // triangle whose q/w has no gradient maps the texture affinely, which every road draws exactly
    // and alike under every hint: the routine that runs the chain, emitted after the MMX code,
    // takes it (q/w's x and y gradients both +-0).
    Plan listPlan{};
    if (mmx && (f & kGlShadePerspectiveTex) && plan(ctx, f, true, listPlan)) {
        affine = w.label();
        const int32_t qw = int32_t(offsetof(GlSpan, qw));
        w.op(__glOgMov(w.s, w.r(kEax), w.at(kEsp, qw + int32_t(offsetof(GlSpanFloatIter, step)))));
        w.op(__glOgOr(w.s, w.r(kEax), w.at(kEsp, qw + int32_t(offsetof(GlSpanFloatIter, dy)))));
        w.op(__glOgAdd(w.s, w.r(kEax), w.r(kEax)));  // nothing left without the sign bits
        w.op(__glOgJe(w.s, affine));
    }
    if (mmx) {
        if (!mmxWhole) {
            // |signedArea| <= 50.0 (the float's bits without the sign, compared as integers).
            small = w.label();
            w.op(__glOgMov(w.s, w.r(kEax), w.at(kEsp, int32_t(offsetof(GlSpan, signedArea)))));
            w.op(__glOgAnd(w.s, w.r(kEax), w.imm(0x7FFFFFFF)));
            w.op(__glOgCmp(w.s, w.r(kEax), w.imm(0x42480000)));
            w.op(__glOgJle(w.s, small));
        }
        uint8_t *end = __glOgEmitMmxSpanProc(ctx, w.p, e->code + og->caches[kGlOgCacheSpan].entrySize, e);
        if (end == nullptr) w.s->ogFailed = 1;  // it serves the state, so only room ran out
        else w.p = end;
    }
    if (!mmxWhole) {
        if (small != nullptr) w.place(small);
        SpanEmitter(ctx, w, e, p).routine();
    }
    if (affine != nullptr) {
        w.place(affine);
        SpanEmitter(ctx, w, e, listPlan).routine();
    }
    return __glOgFinishWrite(ctx, &w);
}

const char *__glOgSpanRoutineForm(GlContext *ctx, const void *routine) {
    GlOgContext *og = __glOgContextOf(ctx);
    if (og == nullptr || routine == nullptr) return nullptr;
    const GlOgCache &c = og->caches[kGlOgCacheSpan];
    for (int32_t i = 0; i < c.entryCount; ++i) {
        const GlOgCacheEntry &e = c.entries[i];
        if (e.code != routine || e.key[0] != kSpanKeyTag) continue;
        if (e.key[kKeyB] & kKeyBStageList) return "stage-list span routine";
        if (!(e.key[kKeyMmx] & kMmxKeyRoutine)) return "one-routine span routine";
        return (e.key[kKeyMmx] & kMmxKeyWhole) ? "MMX span routine"
                                               : "MMX span routine (integer one-routine for small triangles)";
    }
    return nullptr;
}
