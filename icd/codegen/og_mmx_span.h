// The MMX one-routine span routine of the fast triangle path: the template that walks a
// triangle's rows from a GlSpan record four pixels at a time, and the per-group stages it is
// built from (depth test, colour, blend, dither and pack).
//
// Lane formats shared by the template and the stages: colour lanes are unsigned 16-bit words with
// one field step as 1 << (15 - bits) (a full 5-bit field is 0x7C00); where they take part in a
// product they hold the fast chain's field bytes << 7. Alpha lanes and blend factors are unit
// bytes (1.0 is 255), so that every product of a byte and a factor is exact in a word, as the
// chain forms it; iterated quantities (colour, alpha, depth) are carried as 32-bit pairs so that
// the lanes of every group are exactly what the per-pixel C stages compute.
#pragma once

#include <GL/gl.h>
#include <cstdint>
#include <unordered_map>

#include "icd/codegen/og_context.h"

struct GlContext;
struct GlSpan;
struct GlMipLevel;
struct GlTextureObject;

// Writes the whole MMX span routine at out (never past end), its constants in the upper part of
// the entry's data area (from kGlOgMmxDataStart on, so that a routine emitted after it in the
// same entry may use the bytes below). Returns the end of its code, or null when the state is
// not one it serves or the routine did not fit; the generation state is then as it was before.
uint8_t *__glOgEmitMmxSpanProc(GlContext *ctx, uint8_t *out, uint8_t *end, icd::GlOgCacheEntry *entry);

// Whether the MMX span routine serves the context's current state (what the emitter checks
// before it writes anything): a caller that puts code in front of the routine asks first.
bool __glOgMmxSpanServes(GlContext *ctx);

// The 4-bit code of a blend factor (GL_ZERO 0 .. GL_SRC_ALPHA_SATURATE 10); 0 for any other value.
int32_t __glOgBlendFactorCode(GLenum factor);
// A texture base format with an alpha channel of its own.
bool __glOgFormatHasAlpha(GLenum format);
// A blend factor that uses an alpha value, the fragment's or the destination's.
bool __glOgFactorUsesAlpha(GLenum factor);
// Every stored value of level 0's 1- or 2-byte texel layout as the RGBA word (R in the low byte)
// its fetch proc gives, made once per layout and kept until the driver is unloaded: generated
// routines index it.
const uint32_t *__glOgTexelWords(GlTextureObject *tex, const GlMipLevel *l0);

namespace icd {

constexpr int32_t kGlOgMmxDataStart = 512;

// Everything the template and its stages agree on while one routine is written.
struct GlOgMmxSpanGen {
    GlContext *ctx;
    GlOgWriter w;
    int32_t dir;  // +1 or -1: the scan direction of the row loop being emitted

    // What the state asks for.
    bool smooth, depth, depthWide, depthWrite, dither, blend, colorOff, flatPacked, alpha;
    // Texturing: level 0, both coordinates repeating; GL_MODULATE or GL_REPLACE.
    bool texture, modulate;
    bool linear;        // four texels weighted bilinearly (GL_LINEAR), else the nearest
    bool fragColor;     // the fragment's R, G, B take part (untextured, or modulated)
    bool texAlpha;      // the texture has an alpha channel of its own
    int32_t texelBytes;          // bytes of one stored texel: 1 to 4
    const uint32_t *texelTable;  // 1- and 2-byte layouts: every stored value as an RGBA word
    int32_t depthFunc;   // 0 (GL_NEVER) .. 7 (GL_ALWAYS), the buffer's effective function
    int32_t depthShift;  // fixed-point depth >> shift = stored value (before the epoch tag)
    int32_t depthBytes;  // 2 or 4
    int32_t bits[3], shift[3];  // red, green, blue of the colour buffer
    GLenum srcFactor, dstFactor;

    // The data area: a bump allocator of 8-aligned cells.
    uint8_t *data, *dataNext, *dataEnd;
    bool dataFull;
    uint8_t *cell(int32_t bytes);
    uint8_t *words(uint16_t w0, uint16_t w1, uint16_t w2, uint16_t w3);
    uint8_t *words(uint16_t w) { return words(w, w, w, w); }
    uint8_t *dwords(uint32_t d) { return words(uint16_t(d), uint16_t(d >> 16), uint16_t(d), uint16_t(d >> 16)); }

    // Cells the stages read and write.
    enum { kR, kG, kB, kA, kS, kT, kIters };
    uint8_t *lanes[kIters][2];  // 32-bit pairs of lanes 0-1 and 2-3
    uint8_t *laneOffset[kIters][2], *laneStep[kIters];
    bool iterated[kIters];
    uint8_t *flat[4];      // flat R, G, B, A lane vectors
    uint8_t *flatPixels;   // the packed flat pixel in four lanes
    uint8_t *zLanes[2], *zOffset[2], *zStep, *zValues[2], *epoch;
    uint8_t *pass;
    uint8_t *dstLanes[3], *srcAlpha;  // the destination's field bytes; the source alpha bytes
    uint8_t *ditherTable;  // [channel][y & 3][x & 3] of four words, 128 bytes per channel
    uint8_t *tempColor, *tempDepth, *savedColor, *savedDepth, *rowsLeft;
    // Level 0 as the routine finds it at each call: the image, the coordinate shifts (a 0.16
    // fraction of the texture down to a column or row; a row up to its first texel) and masks.
    uint8_t *texImage, *texShiftS, *texShiftT, *texShiftRow, *texMaskS, *texMaskT, *texIndex, *texels;
    // Bilinear: the shifts of a coordinate up to texels (16.16), the four corners' texel indices
    // [corner][pixel], and per pixel the weight pairs of the upper and the lower texel pair.
    uint8_t *texScaleS, *texScaleT, *texCorners, *texWeights;

    // Perspective: s/q and t/q formed once per segment of the row (16 pixels, the first 16 to 19 so
    // that later ones start on an aligned group), stepped linearly in between.
    bool perspective;
    GlOgNode *reciprocal;  // the 1/q subroutine: q in eax
    uint8_t *segLeft;      // pixels of the current segment from the current group on
    // Walking position of the current segment's end: the next one's start, or the row's last pixel.
    uint8_t *segEnd;
    uint8_t *segLength, *segBoundary;  // the new segment's length; its first pixel's lane in its group
    uint8_t *rowScale;     // the float 2^E that brings the row's S, T, Q below 2^22
    uint8_t *planeEnds;    // the row's S, T, Q at its end, as floats
    uint8_t *segInts;      // S, T, Q (and a spare dword) at a segment end, integers at the row's scale
    uint8_t *segStarts, *segEnds, *segSteps;  // s and t (16.16) at the segment's ends, per pixel
    // s and t lanes of the current group as the current segment gives them (the lanes a group
    // reads keep the previous segment's values before the new one's first pixel).
    uint8_t *segLanes[2][2];
    uint8_t *recipWords;   // 1/q as the multiply-add form (r, 0, r, 0)
    uint8_t *recipLeft, *recipRight, *recipBias;  // the product's shifts for q's magnitude

    // Operand nodes are shared: one node per address or value for the whole generation.
    std::unordered_map<uintptr_t, GlOgNode *> memNodes;
    std::unordered_map<int64_t, GlOgNode *> spanNodes;
    std::unordered_map<uint64_t, uint8_t *> constCells;
    GlOgNode *abs(const void *address);
    GlOgNode *field(size_t offset);                               // [esp + offset] of the span record
    GlOgNode *fieldIndexed(size_t offset, int indexReg, int scale);  // [esp + offset + reg * scale]
    GlOgNode *mm(int i) { return __glOgMm(i); }
    GlOgNode *r(int reg) { return __glOgR32(reg); }
    GlOgState *s() { return w.s; }
    void op(GlOgNode *insn) { w.op(insn); }
};

// The lanes of the colour and the texture coordinates one group (four pixels) on.
void __glOgEmitMmxStepGroup(GlOgMmxSpanGen &g);
// After a whole group: the pixel and depth pointers and the depth lanes one group on, the pixels
// left (EBX) four fewer.
void __glOgEmitGroupAdvance(GlOgMmxSpanGen &g);
// The memory operand of an 8-byte constant of four words w in the routine's data area.
inline GlOgNode *__glOgWordConst4(GlOgMmxSpanGen &g, uint16_t w) { return g.abs(g.words(w)); }

// ---- perspective ---------------------------------------------------------------------------------
// The 1/q subroutine, called with q (an integer below 2^24) in eax: leaves the 16-bit reciprocal r
// (2^39 / q = r 2^n) in recipWords, n in MM2, and the shifts that bring q's products to 16.16 in
// recipLeft, recipRight and recipBias. q below 2 or from 2^24 gives the largest r and n = 1.
// Uses eax, ecx, edx and MM0 to MM3.
void __glOgEmitReciprocal(GlOgMmxSpanGen &g);
// eax = q in [2, 2^24) shifted left by 8 + n so that its leading one has left the register, ecx =
// n (q in [2^(24 - n), 2^(25 - n))): a binary tree of compares against 0x1000000 >> n.
void __glOgEmitNormalizeTree(GlOgMmxSpanGen &g, GlOgNode *done);
// Dword lanes x (|x| < 2^30) times a multiplier m in [0, 0x7FFF] given as words (m, 0, m, 0),
// divided by 2^15: from two word multiply-adds, the high part x >> 15 and the low 15 bits. t is
// scratch. MulFixed rounds down, MulFixedHigh toward zero (u a second scratch register).
void __glOgEmitMulFixed(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *m, GlOgNode *t);
void __glOgEmitMulFixedHigh(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *m, GlOgNode *t, GlOgNode *u);
// x (a segment end's S and T at the multiplier's scale) times the reciprocal, shifted by its
// counts to 16.16 (the right shift rounding toward zero). t and u are scratch.
void __glOgEmitMulFixedShift(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *t, GlOgNode *u);
// Adds bias (2^k - 1 in each lane) to the lanes of x whose lane in sign is negative, so that an
// arithmetic right shift by k that follows rounds toward zero; sign is overwritten.
void __glOgEmitBiasDwords(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *sign, GlOgNode *bias);
void __glOgEmitBiasWords(GlOgMmxSpanGen &g, GlOgNode *x, GlOgNode *sign, GlOgNode *bias);
// Shifts the four dwords at `fields` left by count, through MM0.
void __glOgEmitShiftFields(GlOgMmxSpanGen &g, uint8_t *fields, int count);
// The process-wide reciprocal table, made on first use: entry i = f(i) | (f(i + 1) - f(i)) << 17,
// f(i) = floor(0x800000 / (256 + i)).
const uint32_t *__glOgReciprocalTable();
// The first segment's length by the first pixel's place in its aligned group, [backward][x & 3].
extern const int32_t kGlOgFirstSegment[2][4];
// 0x8000 / n for a segment of n pixels (n = 1 gives 0x7FFF; entry 0 is 0).
extern const int32_t kGlOgSegmentReciprocal[20];
// Per row: the row's scale from its S, T, Q at both ends, the segment state, s and t at its start.
void __glOgEmitPerspectiveRow(GlOgMmxSpanGen &g);
// At a group's start, when the current segment ends within the group: the next segment's end,
// its steps and the lanes of its pixels in the group.
void __glOgEmitNextSegment(GlOgMmxSpanGen &g);

// The per-group stages, for the group at EDI (colour) and ESI (depth); a last group of one to
// three pixels is a copy whose uncovered lanes are never copied back. The depth test leaves the
// passing lanes in `pass`, their four mask bytes in EDX, and jumps to `none` when none passes.
void __glOgEmitMmxDepthTest(GlOgMmxSpanGen &g, GlOgNode *none);
// The group's colour in MM5, MM6, MM7 (R, G, B lanes), or packed in MM0 for a plain flat colour;
// blends with the destination, dithers, packs and stores.
void __glOgEmitMmxColor(GlOgMmxSpanGen &g);
void __glOgEmitMmxBlend(GlOgMmxSpanGen &g);
// The group's four texels as RGBA words, lanes 0-1 in MM0 and 2-3 in MM1 (indices from the
// coordinate lanes, then two texel pairs fetched by the level's layout), and one channel of them
// (MM0 and MM1 kept) into another MMX register as a colour lane (channels 0-2) or an alpha lane
// (channel 3).
void __glOgEmitTexelFetch(GlOgMmxSpanGen &g);
// Bilinear: the four pixels' filtered texels as RGBA words into `texels`, with every MMX register
// free (before the colour lanes are formed); __glOgEmitTexelFetch then only loads them.
void __glOgEmitTexelFilter(GlOgMmxSpanGen &g);
void __glOgEmitTexelPair(GlOgMmxSpanGen &g, int pair, GlOgNode *into);
// The forms a texel channel is taken in: its bytes as words, or at the colour lanes' scale as the
// fast chain's field byte of it.
enum class GlOgTexelForm { Byte, Lane };
void __glOgEmitTexelChannel(GlOgMmxSpanGen &g, int channel, GlOgNode *into, GlOgTexelForm form);
// One blend factor of a channel into an MMX register as unit bytes, the source's field bytes in
// the channel's colour register; false for a factor that is 0 (no term).
bool __glOgEmitBlendFactor(GlOgMmxSpanGen &g, GLenum factor, int channel, GlOgNode *into);
// Whether the blend factors can be formed exactly for the colour buffer's channels (a colour
// taken as a factor is divided by its field's largest value: exact for 2 to 6 bits).
bool __glOgMmxBlendServes(const GlOgMmxSpanGen &g);

}  // namespace icd
